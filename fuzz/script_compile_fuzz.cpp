// script_compile_fuzz.cpp -- compiles arbitrary bytes as a script held in
// memory, as the host does, and writes the listing and the global values of
// whatever was compiled.

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
  script::WriteCompiledCodeListing(*engine);
  script::WriteCompoundText(engine->namespaces.global, 0);
  script::WriteCompoundText(engine->namespaces.global, 1);
  return 0;
}
