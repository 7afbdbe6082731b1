// script_public.h -- the script engine as the host sees it: load and compile
// a start script, run its threads, report errors.
#pragma once

#include <string>

namespace app {
class LogSystem;
}

namespace script {

struct CScriptValue;  // one variable or value of the script engine

class ScriptEngine {
 public:
  app::LogSystem* log = nullptr;

  // Loads and compiles a script and the files it links. 1 when the
  // compile-error list is empty, else 0.
  int LoadScript(const char* path);
  // Runs one slice of every live thread. 1 when a live thread was found,
  // -1 when none was, 0 after a run-time error.
  int RunScriptStep();

  // The compile errors as text ("" when there are none).
  std::string GetErrorListText() const;
  // The run-time error with its call list as text ("" when there is none).
  std::string GetCallListText() const;

  // Writes "CompileError.txt" (and the listings after a failed compile).
  // Returns the length of the error text, 0 on success.
  int WriteCompileResults();
  // Writes "RuntimeError.txt" and shows the error. Without a stored run-time
  // error it writes and shows nothing and returns 0.
  int WriteRuntimeError();

  // A global variable of the compiled scripts, or null.
  CScriptValue* FindGlobal(const char* name);
  // The value read as a float (0 for null).
  static float ValueToFloat(const CScriptValue* value);

 private:
  std::string errorText_;
};

}  // namespace script
