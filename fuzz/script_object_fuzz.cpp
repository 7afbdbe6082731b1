// script_object_fuzz.cpp -- reads arbitrary bytes as object text the way
// data files are read (the initial value of one extern object), then writes
// the result in both forms, reads the written text back, and runs the
// compound operations over it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "script/script_local.h"

namespace {

// Compiles `text` as the value of the extern object `name`; its compound,
// or null.
script::CScriptArray* ReadObject(script::ScriptEngine& se, const std::string& text, const char* name) {
  std::string source = std::string("extern object ") + name + "=\r\n" + text + "\r\n;\r\n";
  se.LoadScriptMemory(source.c_str(), "data.txt");
  script::CScriptValue* v = se.FindGlobal(name);
  return v && v->type == script::kValueCompound ? v->data.array : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static script::ScriptEngine* engine = new script::ScriptEngine;
  script::ScriptEngine& se = *engine;
  std::string text(reinterpret_cast<const char*>(data), size);
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  script::CScriptArray* object = ReadObject(se, text, "__fuzz_data__");
  if (!object) return 0;
  std::string compact = script::WriteCompoundText(object, 0);
  std::string indented = script::WriteCompoundText(object, 1);
  script::GetMemberInt(object, "a.b[1]");
  script::GetMemberString(object, "[0].x");
  try {
    script::ScriptPools& pools = se.pools;
    script::CScriptArray* copy = script::CopyCompound(pools, object);
    script::CScriptArray* half = script::CompoundBinaryOp(pools, object, script::kWordDivide, 2.0f);
    script::CScriptArray* negated = script::ApplyElementwiseOp(pools, object, script::kOpNegate, 0);
    script::AddCompounds(pools, copy, half);
    script::AddCompounds(pools, copy, negated);
    if (script::CScriptValue* first = script::GetElement(copy, 0)) script::RemoveMember(pools, copy, first);
    script::WriteCompoundText(copy, 2);
    pools.ReleaseScriptArray(copy);
    pools.ReleaseScriptArray(half);
    pools.ReleaseScriptArray(negated);
  } catch (const script::ScriptError&) {
    // Mismatched kinds and types are raised errors, not faults.
  }
  // What was written reads back.
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  ReadObject(se, compact, "__fuzz_compact__");
  ReadObject(se, indented, "__fuzz_indented__");
  return 0;
}
