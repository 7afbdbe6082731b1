// script_syscall_test.cpp -- the system-call interface: the registry, the
// arguments converted by the declared parameter types, refer write-back,
// results, the context, and handlers that raise, compile or start threads.

#include <cstring>

#include "script_test_util.h"

namespace {

using scripttest::DescribeArgument;
using scripttest::RunFixture;

// What the recording handler saw and what it answers.
struct Recording {
  std::vector<script::SystemCallArgument> arguments;  // the 16 entries
  std::vector<std::string> texts;                     // their texts, copied
  std::string callName;
  std::string file;
  int line = 0;
  const char* sourceTag = nullptr;
  script::ScriptEngine* engine = nullptr;
  int calls = 0;
  // The answer: applied to the result; `edit` may change the entries.
  script::SystemCallResult answer;
  void (*edit)(script::SystemCallArgument* args, char* scratch) = nullptr;
};
Recording* gRecording = nullptr;

script::SystemCallResult* Record(script::SystemCallResult* result, script::SystemCallContext context,
                                 script::SystemCallArgument* args, char* scratch) {
  Recording& r = *gRecording;
  r.calls++;
  r.arguments.assign(args, args + script::kSystemCallArguments);
  r.texts.clear();
  for (int i = 0; i < script::kSystemCallArguments; i++) r.texts.push_back(args[i].text ? args[i].text : "");
  r.callName = context.callName;
  r.file = context.file ? context.file : "";
  r.line = context.line;
  r.sourceTag = context.sourceTag;
  r.engine = context.engine;
  *result = r.answer;
  if (r.edit) r.edit(args, scratch);
  return result;
}

class SystemCalls : public RunFixture {
 protected:
  Recording recording;
  void SetUp() override {
    RunFixture::SetUp();
    gRecording = &recording;
  }
  void TearDown() override {
    gRecording = nullptr;
    RunFixture::TearDown();
  }
  // Loads `source` and registers the recording handler as `name`.
  std::string LoadWith(const std::string& source, const char* name = "rec") {
    std::string errors = LoadSource(source);
    se.RegisterSystemCall(name, Record);
    return errors;
  }
  // The "type:value" form of entry i as the handler saw it (its texts
  // live only until the step ends: the copies are read).
  std::string Described(int i) const {
    script::SystemCallArgument a = recording.arguments[size_t(i)];
    a.text = recording.texts[size_t(i)].c_str();
    return DescribeArgument(a);
  }
};

script::SystemCallResult* Answer1(script::SystemCallResult* result, script::SystemCallContext,
                                  script::SystemCallArgument*, char*) {
  result->type = script::kCallInt;
  result->intValue = 1;
  return result;
}

script::SystemCallResult* Answer2(script::SystemCallResult* result, script::SystemCallContext,
                                  script::SystemCallArgument*, char*) {
  result->type = script::kCallInt;
  result->intValue = 2;
  return result;
}

// Names are exact and case-sensitive; the last registration wins; clearing
// or resetting the engine empties the registry.
TEST(SystemCallRegistry, NamesAreExactAndTheLastRegistrationWins) {
  script::ScriptEngine se;
  EXPECT_EQ(se.RegisterSystemCall("play_se", Answer1), 1);
  EXPECT_EQ(se.FindSystemCallHandler("play_se"), &Answer1);
  EXPECT_EQ(se.FindSystemCall("Play_se"), nullptr);
  EXPECT_EQ(se.FindSystemCall("play_se_3d"), nullptr);
  se.RegisterSystemCall("play_se", Answer2);
  EXPECT_EQ(se.FindSystemCallHandler("play_se"), &Answer2);
  EXPECT_EQ(se.registry.Count(), 1);
  se.ClearScriptEngine();
  EXPECT_EQ(se.FindSystemCall("play_se"), nullptr);
  se.RegisterSystemCall("a", Answer1);
  se.ResetScriptEngine(nullptr, nullptr);
  EXPECT_EQ(se.FindSystemCall("a"), nullptr);
}

// Each argument arrives converted by its declared parameter type.
TEST_F(SystemCalls, ArgumentsFollowTheDeclaredTypes) {
  ASSERT_EQ(LoadWith("systemcall rec(int a, float b, string c, string d, string e, string f, string g, array h,\n"
                     "               array i, object j, refer k, refer l, variable m, variable n, function o, systemcall p);\n"
                     "function main() {\n"
                     "  string number = \"2.5\";\n"
                     "  float f = 1.5;\n"
                     "  rec(2.7, 3, 3, 2.5, {a: 1, b: [2]}, \"12\", number, 7, [1], [2], f, {o: 1}, \"v\", rec, main, 1);\n"
                     "}\n"),
            "");
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(CallList(), "");
  ASSERT_EQ(recording.calls, 1);
  const auto& a = recording.arguments;
  EXPECT_EQ(Described(0), "int:2");
  EXPECT_FLOAT_EQ(a[0].floatValue, 2.7f);
  EXPECT_EQ(Described(1), "float:3.000000");
  EXPECT_EQ(a[1].intValue, 3);
  EXPECT_EQ(Described(2), "string:3");
  EXPECT_EQ(Described(3), "string:2.500000");
  EXPECT_EQ(Described(4), "string:{a:1,b:[2]}");
  // A string literal reads as an int but not as a float; a string
  // variable reads as both.
  EXPECT_EQ(Described(5), "string:12");
  EXPECT_EQ(a[5].intValue, 12);
  EXPECT_EQ(a[5].floatValue, 0.0f);
  EXPECT_EQ(Described(6), "string:2.5");
  EXPECT_EQ(a[6].intValue, 2);
  EXPECT_EQ(a[6].floatValue, 2.5f);
  // An array parameter given a number gets a zero entry.
  EXPECT_EQ(a[7].type, script::kCallInt);
  EXPECT_EQ(a[7].intValue, 0);
  EXPECT_EQ(a[7].compound, nullptr);
  EXPECT_EQ(Described(8), "compound:[1]");
  EXPECT_EQ(a[8].type, script::kCallArray);
  EXPECT_EQ(a[9].type, script::kCallObject);
  // refer and variable parameters take the argument's own type; an object
  // arrives as type 3.
  EXPECT_EQ(Described(10), "float:1.500000");
  EXPECT_EQ(a[11].type, script::kCallArray);
  EXPECT_EQ(Described(11), "compound:{o:1}");
  EXPECT_EQ(Described(12), "string:v");
  // A function given to a variable parameter, function and systemcall
  // parameters: zero entries.
  for (int i = 13; i < 16; i++) {
    EXPECT_EQ(a[size_t(i)].type, script::kCallInt) << i;
    EXPECT_EQ(a[size_t(i)].intValue, 0) << i;
    EXPECT_EQ(recording.texts[size_t(i)], "") << i;
  }
  EXPECT_EQ(recording.callName, "rec");
  EXPECT_EQ(recording.engine, &se);
  EXPECT_EQ(recording.file, Path("main.txt"));
  EXPECT_EQ(recording.line, 9);
  EXPECT_EQ(recording.sourceTag, nullptr);
}

// Surplus arguments are dropped; with fewer arguments than parameters the
// first parameters stay zero and the caller's stack is left alone.
TEST_F(SystemCalls, ArgumentCountsThatDoNotMatch) {
  // The calls are compiled before the declaration, so the compiler cannot
  // check their counts.
  ASSERT_EQ(LoadWith("function main() {\n"
                     "  trace(rec(1, 2, 3));\n"
                     "  int x = 10 + rec();\n"
                     "  trace(x);\n"
                     "  x = 20 + rec(9);\n"
                     "  trace(x);\n"
                     "}\n"
                     "systemcall rec(int a, int b);\n"),
            "");
  recording.answer.type = script::kCallInt;
  recording.answer.intValue = 5;
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(CallList(), "");
  EXPECT_EQ(printed, "int:5|int:15|int:25|");
  EXPECT_EQ(recording.calls, 3);
  EXPECT_EQ(Described(0), "int:0");  // the last call: rec(9) fills b
  EXPECT_EQ(Described(1), "int:9");
}

void WriteBack(script::SystemCallArgument* args, char* scratch) {
  std::strcpy(scratch, "back");
  for (int i = 0; i < 5; i++) {
    args[i].text = scratch;
    args[i].intValue = 42;
    args[i].floatValue = 4.5f;
  }
  args[2].type = script::kCallFloat;  // the int variable gets a float back
  args[3].type = script::kCallString;  // an int variable gets no text
}

// refer parameters take back what the handler left in their entries; an
// argument that is no variable takes nothing.
TEST_F(SystemCalls, ReferParametersAreWrittenBack) {
  ASSERT_EQ(LoadWith("systemcall rec(refer a, refer b, refer c, refer d, refer e);\n"
                     "function main() {\n"
                     "  string s = \"in\";\n"
                     "  int i = 1;\n"
                     "  int j = 2;\n"
                     "  int k = 3;\n"
                     "  rec(s, i, j, k, \"literal\");\n"
                     "  trace(s); trace(i); trace(j); trace(k);\n"
                     "}\n"),
            "");
  recording.edit = WriteBack;
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(CallList(), "");
  EXPECT_EQ(recording.texts[0], "in");
  EXPECT_EQ(printed, "string:back|int:42|int:4|int:3|");
}

void ReplaceCompound(script::SystemCallArgument* args, char*) {
  // The second argument's compound is handed back into the first: it must
  // arrive as a copy, not shared with the second variable.
  args[0].compound = args[1].compound;
}

TEST_F(SystemCalls, CompoundsWrittenBackAreOwnedOnce) {
  ASSERT_EQ(LoadWith("systemcall rec(refer a, refer b);\n"
                     "function main() {\n"
                     "  array x = [1];\n"
                     "  array y = [2];\n"
                     "  rec(x, y);\n"
                     "  x[0] = 5;\n"
                     "  trace(x); trace(y);\n"
                     "  y[0] = 7;\n"
                     "  trace(x);\n"
                     "}\n"),
            "");
  recording.edit = ReplaceCompound;
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(CallList(), "");
  EXPECT_EQ(printed, "compound:[5]|compound:[2]|compound:[5]|");
}

// Results: ints, floats, compounds taken over; a type outside 0 to 4
// pushes nothing.
TEST_F(SystemCalls, ResultsArePushedByType) {
  ASSERT_EQ(LoadWith("systemcall rec();\nfunction main() { variable v = rec(); trace(v); }\n"), "");
  recording.answer.type = script::kCallFloat;
  recording.answer.floatValue = 2.5f;
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "float:2.500000|");

  ASSERT_EQ(LoadWith("systemcall rec();\nfunction main() { variable v = rec(); trace(v); v.more = 1; trace(v); }\n"), "");
  printed.clear();
  recording.answer = script::SystemCallResult{};
  recording.answer.type = script::kCallObject;
  recording.answer.compound = script::NewCompound(se.pools, nullptr);
  script::SetMemberInt(se.pools, recording.answer.compound, "made", 1);
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "compound:{made:1}|compound:{made:1,more:1}|");

  ASSERT_EQ(LoadWith("systemcall rec();\nfunction main() { rec(); print(\"after\"); }\n"), "");
  printed.clear();
  recording.answer = script::SystemCallResult{};
  recording.answer.type = 7;
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(printed, "after|");
  EXPECT_EQ(CallList(), "");
}

std::string* gPushed = nullptr;

script::SystemCallResult* FillScratch(script::SystemCallResult* result, script::SystemCallContext,
                                      script::SystemCallArgument*, char* scratch) {
  std::memset(scratch, 'x', script::kSystemCallScratchBytes - 1);
  scratch[script::kSystemCallScratchBytes - 1] = '\0';
  result->type = script::kCallString;
  result->text = scratch;
  return result;
}

script::SystemCallResult* Measure(script::SystemCallResult* result, script::SystemCallContext,
                                  script::SystemCallArgument* args, char* scratch) {
  if (gPushed) *gPushed = args[0].text ? args[0].text : "";
  std::strcpy(scratch, "overwritten");
  result->type = script::kCallInt;
  result->intValue = 0;
  return result;
}

// The scratch buffer holds 65,536 bytes; a text result is copied before the
// next call reuses the buffer.
TEST_F(SystemCalls, TheScratchBufferIsCopiedOut) {
  std::string pushed;
  gPushed = &pushed;
  ASSERT_EQ(LoadSource("systemcall fill();\nsystemcall measure(string s);\n"
                       "function main() { string a = fill(); measure(\"x\"); measure(a); }\n"),
            "");
  se.RegisterSystemCall("fill", FillScratch);
  se.RegisterSystemCall("measure", Measure);
  EXPECT_EQ(Step(), 1);
  EXPECT_EQ(CallList(), "");
  EXPECT_EQ(pushed.size(), script::kSystemCallScratchBytes - 1);
  gPushed = nullptr;
}

script::SystemCallResult* Raise(script::SystemCallResult*, script::SystemCallContext context,
                                script::SystemCallArgument*, char*) {
  script::RaiseScriptError("%s%s", context.callName, test::Sjis("関数の引数がオブジェクトではありません。").c_str());
}

// A text raised by a handler is a run-time error at the call; a declared
// name without a handler fails only when called, with the full name.
TEST_F(SystemCalls, FailuresAreRunTimeErrorsAtTheCall) {
  ASSERT_EQ(LoadSource("systemcall boom(object o);\nsystemcall missing();\n"
                       "function main() {\n  print(\"a\");\n  boom(1);\n}\n"
                       "function never() { missing(); }\n"),
            "");
  se.RegisterSystemCall("boom", Raise);
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(CallList(), Path("main.txt") + "(8行目)-boom関数の引数がオブジェクトではありません。\r\n"
                                          "<--- functions call list --->\r\n[Called as a thread.]-main\r\n");
  ASSERT_EQ(LoadSource("systemcall missing();\nfunction main() { missing(); }\n"), "");
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(RunError(), "システム関数[0.missing]の実体が定義されていません。");
  // A system-call variable without a signature.
  ASSERT_EQ(LoadSource("function main() { systemcall local; local(); }\n"), "");
  EXPECT_EQ(Step(), -1);
  EXPECT_EQ(RunError(), "システムコール[local]が定義されていません。");
}

script::SystemCallResult* Spawn(script::SystemCallResult* result, script::SystemCallContext context,
                                script::SystemCallArgument*, char*) {
  script::ScriptEngine& se = *context.engine;
  // More code and a thread from it, and a thread of a function of the
  // running script.
  se.LoadScriptMemory("function autorun extra() { print(\"extra\"); }\r\n", "extra.txt");
  script::CreateScriptThread(se, se.FindGlobal("helper"), 0);
  result->type = script::kCallInt;
  result->intValue = 9;
  return result;
}

// Handlers may compile and start threads during the call: both run later
// in the same step.
TEST_F(SystemCalls, HandlersMayCompileAndStartThreads) {
  ASSERT_EQ(LoadSource("extern systemcall spawn();\n"
                       "extern function helper(int x) { print(\"helper\"); }\n"
                       "function autorun start() { trace(spawn()); print(\"start\"); }\n"),
            "");
  se.RegisterSystemCall("spawn", Spawn);
  EXPECT_EQ(Step(), 3);
  EXPECT_EQ(printed, "int:9|start|extra|helper|");
  EXPECT_EQ(CallList(), "");
}

script::SystemCallResult* Tag(script::SystemCallResult* result, script::SystemCallContext context,
                              script::SystemCallArgument*, char*) {
  if (gRecording) gRecording->sourceTag = context.sourceTag;
  result->type = script::kCallInt;
  result->intValue = 0;
  return result;
}

// Code compiled from memory hands its text to the handler as the source tag.
TEST_F(SystemCalls, CodeFromMemoryCarriesItsText) {
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  se.RegisterSystemCall("tag", Tag);
  const char* text = "systemcall tag();\r\nfunction main() { tag(); }\r\n";
  ASSERT_EQ(se.LoadScriptMemory(text, "path point"), 1);
  recording.sourceTag = nullptr;
  EXPECT_EQ(Step(), 1);
  ASSERT_NE(recording.sourceTag, nullptr);
  EXPECT_STREQ(recording.sourceTag, text);
}

}  // namespace
