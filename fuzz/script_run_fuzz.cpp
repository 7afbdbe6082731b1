// script_run_fuzz.cpp -- compiles arbitrary bytes as a script held in memory
// and runs its threads for a few steps, with the endless-loop guard, the
// pools, texts and thread table kept small so every input ends quickly.
// Each input runs three times: with name and label links checked against
// fresh lookups throughout, then as the engine runs it, then word by word
// with fresh namespaces for every call and fresh records for every object;
// the last two must see the same calls, results and errors.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "script/script_local.h"

namespace {

// What a run did, as the calls and the engine saw it.
std::string trace;

// Every call the scripts may declare lands here: it reads every entry,
// changes the ones a refer parameter writes back, and answers by the call's
// name with each kind of result.
script::SystemCallResult* Handler(script::SystemCallResult* result, script::SystemCallContext context,
                                  script::SystemCallArgument* args, char* scratch) {
  size_t seen = 0;
  for (int i = 0; i < script::kSystemCallArguments; i++) {
    if (args[i].text) seen += std::strlen(args[i].text);
    if (args[i].compound) seen += size_t(script::GetElementCount(args[i].compound));
    if (args[i].type == script::kCallInt) args[i].intValue = int32_t(uint32_t(args[i].intValue) + 1u);
    if (args[i].type == script::kCallFloat) args[i].floatValue *= 2.0f;
    if (args[i].type == script::kCallString) args[i].text = "written";
  }
  std::snprintf(scratch, script::kSystemCallScratchBytes, "%s:%zu", context.callName, seen);
  trace += scratch;
  trace += ';';
  *result = script::SystemCallResult{};
  switch (context.callName[0] % 6) {
    case 0: result->type = script::kCallInt; result->intValue = int32_t(seen); break;
    case 1: result->type = script::kCallFloat; result->floatValue = 0.5f; break;
    case 2: result->type = script::kCallString; result->text = scratch; break;
    case 3:
      result->type = script::kCallObject;
      result->compound = script::NewCompound(context.engine->pools, nullptr);
      script::SetMemberInt(context.engine->pools, result->compound, "n", int32_t(seen));
      break;
    case 4:
      // The first compound argument handed back: the engine must copy it.
      result->type = script::kCallArray;
      result->compound = args[0].compound;
      break;
    default: result->type = 9; break;  // pushes nothing
  }
  return result;
}

script::SystemCallResult* Raise(script::SystemCallResult*, script::SystemCallContext, script::SystemCallArgument*,
                                char*) {
  script::RaiseScriptError("%s", "raised");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TKW4_MSGBOX", "1", 1);  // exhausted pools answer their box unshown
  return 0;
}

namespace {

// One run of the script text; what it did.
std::string Run(script::ScriptEngine* engine, const std::string& text, bool verify, bool fast) {
  trace.clear();
  engine->ClearScriptEngine();
  engine->ResetScriptEngine(nullptr, nullptr);
  engine->run.instructionLimit = 20000;
  engine->run.verifyLinks = verify;
  engine->run.runSteps = fast;
  engine->run.reuseNamespaces = fast;
  engine->run.keepObjects = fast;
  engine->run.maxTextBytes = 1 << 16;
  engine->run.threadLimit = 512;
  engine->run.exitApplication = [](int) {};
  for (const char* name : {"print", "trace", "expect", "a", "b", "c", "d", "e", "f", "call0", "call1", "call2",
                           "call3", "call4", "call5"})
    engine->RegisterSystemCall(name, Handler);
  engine->RegisterSystemCall("raise", Raise);
  // The built-ins that reach outside the process (the console, boxes, file
  // choosers, files anywhere) answer like any other call here; the maths and
  // string calls, exist_file and load_object of the working folder stay.
  for (const char* name : {"print_string", "input_string", "message_box", "save_object", "get_read_file_name",
                           "get_write_file_name", "get_folder_name"})
    engine->RegisterSystemCall(name, Handler);
  engine->LoadScriptMemory(text.c_str(), "fuzz.txt");
  for (int step = 0; step < 6; step++) {
    int live = engine->RunScriptFrame(step == 3);
    trace += "\nframe " + std::to_string(live) + "\n";
    if (live < 0) break;
  }
  trace += engine->GetCallListText();
  return trace;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One engine for the whole run, emptied before every load as the host does.
  static script::ScriptEngine* engine = [] {
    auto* se = new script::ScriptEngine;
    se->pools.literals.capacityLimit = 1u << 19;
    se->pools.values.capacityLimit = 1u << 19;
    se->pools.arrays.capacityLimit = 1u << 17;
    return se;
  }();
  std::string text(reinterpret_cast<const char*>(data), size);
  Run(engine, text, true, true);
  std::string fast = Run(engine, text, false, true);
  std::string plain = Run(engine, text, false, false);
  if (fast != plain) {
    std::fprintf(stderr, "steps, kept namespaces and kept objects changed the run:\n--- fast\n%s\n--- plain\n%s\n",
                 fast.c_str(), plain.c_str());
    std::abort();
  }
  return 0;
}
