// script_host.cpp -- the host operations of the script engine. A stand-in
// until the compiler exists: every load fails with one compile error that
// says so, which start-up reports like any other compile error.

#include <cstdio>

#include "app/app_public.h"
#include "platform/platform_public.h"
#include "script/script_public.h"

namespace script {

int ScriptEngine::LoadScript(const char* path) {
  std::string resolved = platform::ResolvePath(path ? path : "");
  errorText_ = "\"" + std::string(path ? path : "") + "\"(0): ";
  if (!platform::PathExists(resolved.c_str()))
    errorText_ += "the start script cannot be opened.\r\n";
  else
    errorText_ += "this build has no script compiler yet; the start script cannot run.\r\n";
  if (log) log->WriteLog(errorText_.c_str(), app::kLogError);
  return 0;
}

int ScriptEngine::RunScriptStep() { return errorText_.empty() ? -1 : 0; }

std::string ScriptEngine::GetErrorListText() const { return errorText_; }

std::string ScriptEngine::GetCallListText() const { return {}; }

int ScriptEngine::WriteCompileResults() {
  if (FILE* f = std::fopen("CompileError.txt", "wb")) {
    std::fwrite(errorText_.data(), 1, errorText_.size(), f);
    std::fclose(f);
  }
  return int(errorText_.size());
}

int ScriptEngine::WriteRuntimeError() { return 0; }

CScriptValue* ScriptEngine::FindGlobal(const char* name) {
  (void)name;
  return nullptr;
}

float ScriptEngine::ValueToFloat(const CScriptValue* value) {
  (void)value;
  return 0.0f;
}

}  // namespace script
