// script_front_fuzz.cpp -- feeds arbitrary bytes to the script front end
// (tokeniser, preprocessor and its "#if" evaluator) as a script held in
// memory, and to the string escape.

#include <cstddef>
#include <cstdint>
#include <string>

#include "script/script_local.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One engine for the whole run, emptied before every load as the host does:
  // its pools keep their records across loads.
  static script::ScriptEngine* engine = new script::ScriptEngine;
  std::string text(reinterpret_cast<const char*>(data), size);
  engine->ClearScriptEngine();
  engine->ResetScriptEngine(nullptr, nullptr);
  engine->LoadScriptMemory(text.c_str(), "fuzz.txt");
  engine->GetErrorListText();
  script::EscapeStringAlloc(text.c_str());
  return 0;
}
