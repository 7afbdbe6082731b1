// tkw4_script.cpp -- runs one script headless, as the engine's start-up
// runs its start script, for tests of the script language:
//
//   tkw4-script FILE
//
// The script engine is emptied and reset (which registers the built-in
// calls), FILE is loaded and compiled with the working folder as it is, and
// the compile results are written ("CompileError.txt", and after errors
// "CompiledCode.txt" and "CompiledValue.txt"). Then the script's threads run
// step after step until none lives or a run-time error ends them; an error
// writes "RuntimeError.txt" with the listing and the globals, then the
// compile results again (they hold what a `load_object` could not read).
// The script's console output goes to stdout. Exit status: 0 when the script
// ended normally, 1 after a compile error, 2 after a run-time error (a
// script's `exit_application` ends the run with its own code). Running out
// of memory is a compile or run-time error like the others.

#include <cstdio>
#include <new>

#include "script/script_public.h"

namespace {

bool compiled = false;  // the run has begun

int Run(const char* path) {
  script::ScriptEngine se;
  se.warnings.show = [](void*, const char* text) { std::fprintf(stderr, "tkw4-script: %s\n", text); };
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);

  int loaded = se.LoadScript(path);
  se.WriteCompileResults();
  if (!loaded) {
    std::fprintf(stderr, "tkw4-script: %s does not compile: see CompileError.txt\n", path);
    return 1;
  }
  compiled = true;
  for (;;) {
    int step = se.RunScriptStep();
    if (step < 0) return 0;  // no thread lives any more
    if (step == 0) break;    // a run-time error ended every thread
  }
  // As start-up does after a failed first run: the compile results (the
  // errors a `load_object` left, or none), then the run-time error.
  se.WriteCompileResults();
  se.WriteRuntimeError();
  std::fprintf(stderr, "tkw4-script: %s stopped with a run-time error: see RuntimeError.txt\n", path);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tkw4-script FILE\n");
    return 64;
  }
  try {
    return Run(argv[1]);
  } catch (const std::bad_alloc&) {
    // Out of memory outside the compile and the step, which report it
    // themselves (making the engine, writing a file).
    std::fprintf(stderr, "tkw4-script: %s: out of memory\n", argv[1]);
    return compiled ? 2 : 1;
  }
}
