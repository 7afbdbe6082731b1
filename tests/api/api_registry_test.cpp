// api_registry_test.cpp -- the registry after every registration point
// (start-up, a finish, a run-time error), the nine handlers' names, the
// system include against the registry, and the dispatch's presets.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "api_fixture.h"

namespace {

// The 29 calls the script engine serves itself.
const std::set<std::string> kBuiltins = {
    "sin", "cos", "tan", "asin", "acos", "atan", "atan2", "abs", "fabs", "iabs",
    "log", "log10", "pow", "exp", "sqrt", "string_length", "string_head", "string_tail",
    "print_string", "input_string", "string_align_right", "string_align_left", "message_box", "exist_file",
    "save_object", "load_object", "get_read_file_name", "get_write_file_name", "get_folder_name"};

// Every name of the registry with its handler.
std::map<std::string, script::SystemCallHandler> Registry(script::ScriptEngine& se) {
  std::map<std::string, script::SystemCallHandler> out;
  for (int32_t i = 0; i < se.registry.Count(); i++) {
    const script::NameTreeNode& node = se.registry.Node(i);
    out[node.name] = reinterpret_cast<script::SystemCallHandler>(node.value);
  }
  return out;
}

// The names the system include declares, in its order.
std::vector<std::string> DeclaredNames() {
  std::vector<std::string> names;
  std::string text = test::ReadFile(apitest::SystemIncludePath());
  size_t at = 0;
  while ((at = text.find("\nsystemcall ", at)) != std::string::npos) {
    at += 12;
    size_t open = text.find('(', at);
    names.push_back(text.substr(at, open - at));
  }
  return names;
}

// Checks the registry holds the built-ins and exactly the engine's 275
// names, each bound to the handler that serves it.
void ExpectFullRegistry(script::ScriptEngine& se) {
  std::map<std::string, script::SystemCallHandler> registry = Registry(se);
  EXPECT_EQ(registry.size(), 304u);
  for (const std::string& name : kBuiltins) EXPECT_TRUE(registry.count(name)) << name;
  size_t tables = 0;
  const api::CallTable* table = api::SystemCallTables(&tables);
  size_t engine = 0;
  for (size_t t = 0; t < tables; t++)
    for (size_t i = 0; i < table[t].count; i++, engine++)
      EXPECT_EQ(registry[table[t].entries[i].name], table[t].handler) << table[t].entries[i].name;
  EXPECT_EQ(engine, 275u);
}

TEST(Registry, HoldsTheBuiltinsAndTheNineHandlersNames) {
  apitest::WorldFixture f;
  ExpectFullRegistry(f.world.scriptEngine);

  // The handlers serve as many names as they are designed to, none twice.
  const std::map<std::string, size_t> expected = {
      {"HandleGeneralSystemCall", 72}, {"HandleFileSystemCall", 12}, {"HandleGetterSystemCall", 75},
      {"HandleNetworkSystemCall", 10}, {"HandleSetterSystemCall", 79}, {"HandleSaveSystemOption", 1},
      {"HandleWindowSystemCall", 15},  {"HandleVrSystemCall", 2},      {"HandleVectorSystemCall", 9}};
  size_t tables = 0;
  const api::CallTable* table = api::SystemCallTables(&tables);
  ASSERT_EQ(tables, 9u);
  std::set<std::string> all;
  for (size_t t = 0; t < tables; t++) {
    EXPECT_EQ(table[t].count, expected.at(table[t].handlerName)) << table[t].handlerName;
    for (size_t i = 0; i < table[t].count; i++) EXPECT_TRUE(all.insert(table[t].entries[i].name).second);
  }
  // `log` is the engine's natural logarithm still.
  EXPECT_EQ(all.count("log"), 0u);
}

TEST(Registry, IsRebuiltWholeAtFinishAndAfterARunTimeError) {
  apitest::WorldFixture f;
  test::WriteFile("next.rsp",
                  "#include \"/zadazorad/script/system.inc\"\r\n"
                  "float l = 0.0;\r\n"
                  "function main() { l = log(exp(2.0)); vector_length(3); }\r\n");
  f.Run("function main() { finish(\"next.rsp\", \"\"); }\r\n", 2);
  // The finish registered the calls again and the next script runs with them.
  ExpectFullRegistry(f.world.scriptEngine);
  for (int i = 0; i < 4 && f.Global("l") == nullptr; i++) f.world.RunWorldFrame(nullptr);
  // Its run-time error empties the engine and registers everything again.
  for (int i = 0; i < 4; i++) f.world.RunWorldFrame(nullptr);
  EXPECT_NE(f.RuntimeError().find(test::Sjis("vector_length関数の第1引数がオブジェクトではありません。")),
            std::string::npos);
  ExpectFullRegistry(f.world.scriptEngine);
}

TEST(Registry, LogIsTheNaturalLogarithm) {
  apitest::WorldFixture f;
  f.Run("float a = 0.0; float b = 0.0;\r\n"
        "function main() { a = log(2.718281828); b = log(100.0); }\r\n");
  EXPECT_NEAR(f.Number("a"), 1.0f, 1e-5f);
  EXPECT_NEAR(f.Number("b"), std::log(100.0f), 1e-5f);
}

TEST(SystemInclude, CompilesAndDeclaresEveryRegisteredCall) {
  apitest::WorldFixture f;
  std::vector<std::string> declared = DeclaredNames();
  std::set<std::string> unique(declared.begin(), declared.end());
  EXPECT_EQ(declared.size(), unique.size()) << "a call is declared twice";

  std::map<std::string, script::SystemCallHandler> registry = Registry(f.world.scriptEngine);
  std::set<std::string> registered;
  for (const auto& entry : registry) registered.insert(entry.first);
  EXPECT_EQ(unique, registered);

  // The engine's compiler takes it whole, and each name is a system call.
  script::ScriptEngine& se = f.world.scriptEngine;
  ASSERT_EQ(se.LoadScriptMemory(test::ReadFile(apitest::SystemIncludePath()).c_str(), "system.inc"), 1)
      << se.GetErrorListText();
  for (const std::string& name : declared) {
    script::CScriptValue* v = se.FindGlobal(name.c_str());
    ASSERT_NE(v, nullptr) << name;
    EXPECT_EQ(v->type, script::kValueSystemCall) << name;
  }
}

TEST(SystemInclude, AGameScriptDeclaringACallAgainTheSameWayCompiles) {
  apitest::WorldFixture f;
  script::ScriptEngine& se = f.world.scriptEngine;
  std::string text = test::ReadFile(apitest::SystemIncludePath()) +
                     "systemcall print_string(string text);\r\n"
                     "systemcall finish(string next, string replay);\r\n"
                     "systemcall sqrt(float x);\r\n"
                     "function main() { print_log(\"a\"); }\r\n";
  EXPECT_EQ(se.LoadScriptMemory(text.c_str(), "game.rsp"), 1) << se.GetErrorListText();
}

// A handler called with a name it does not serve leaves its preset, with
// no error; a served name without behaviour raises its error.
TEST(Dispatch, UnservedNamesReturnThePresetAndUnbuiltNamesRaise) {
  apitest::WorldFixture f;
  struct Case {
    script::SystemCallHandler handler;
    const char* name;
    int type;
    int intValue;
  };
  const Case cases[] = {
      {api::HandleGeneralSystemCall, "get_hp", script::kCallInt, 1},
      {api::HandleGetterSystemCall, "get_nothing", script::kCallInt, 1},
      {api::HandleSetterSystemCall, "set_", script::kCallInt, 1},
      {api::HandleVrSystemCall, "vector_cross", script::kCallInt, 0},
      {api::HandleVectorSystemCall, "vector_", script::kCallFloat, 0},
  };
  std::vector<char> scratch(script::kSystemCallScratchBytes);
  for (const Case& c : cases) {
    script::SystemCallArgument args[script::kSystemCallArguments] = {};
    script::SystemCallResult result;
    result.type = 77;
    script::SystemCallContext context;
    context.callName = c.name;
    context.engine = &f.world.scriptEngine;
    script::SystemCallResult* filled = c.handler(&result, context, args, scratch.data());
    EXPECT_EQ(filled->type, c.type) << c.name;
    EXPECT_EQ(filled->intValue, c.intValue) << c.name;
    EXPECT_EQ(filled->floatValue, 0.0f) << c.name;
  }

  // A registered name whose behaviour is not built yet, while there is one.
  size_t tables = 0;
  const api::CallTable* table = api::SystemCallTables(&tables);
  const api::CallTable* owner = nullptr;
  const char* unbuilt = nullptr;
  for (size_t t = 0; t < tables && !unbuilt; t++)
    for (size_t i = 0; i < table[t].count && !unbuilt; i++)
      if (!table[t].entries[i].function) owner = &table[t], unbuilt = table[t].entries[i].name;
  if (!unbuilt) return;
  script::SystemCallArgument args[script::kSystemCallArguments] = {};
  script::SystemCallResult result;
  script::SystemCallContext context;
  context.callName = unbuilt;
  context.engine = &f.world.scriptEngine;
  try {
    owner->handler(&result, context, args, scratch.data());
    ADD_FAILURE() << "no error raised";
  } catch (const script::ScriptError& e) {
    EXPECT_EQ(e.text, std::string(unbuilt) + ": this system call is not available yet");
  }
}

}  // namespace
