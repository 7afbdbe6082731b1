// script_syscall.cpp -- the system-call interface: the registry of native
// handlers by name, and the call instruction's system-call branch, which
// converts the arguments by the declared parameter types, calls the
// handler, writes `refer` parameters back and pushes the result.

#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ----------------------------------------------------------------------------
// Registry
//
// A NameTree keyed by the exact name; the node's value is the handler.
// ----------------------------------------------------------------------------

int ScriptEngine::RegisterSystemCall(const char* name, SystemCallHandler handler) {
  NameTreeNode* node = registry.Insert(name ? name : "");
  if (!node) return 0;
  node->value = reinterpret_cast<void*>(handler);
  return 1;
}

NameTreeNode* ScriptEngine::FindSystemCall(const char* name) { return registry.Find(name ? name : ""); }

SystemCallHandler ScriptEngine::FindSystemCallHandler(const char* name) {
  NameTreeNode* node = FindSystemCall(name);
  return node ? reinterpret_cast<SystemCallHandler>(node->value) : nullptr;
}

// ----------------------------------------------------------------------------
// The system-call branch of the call instruction
// ----------------------------------------------------------------------------

namespace {

// Parameter type codes of a signature (the keyword kinds).
constexpr int kCodeInt = kWordTypeInt;            // 111
constexpr int kCodeFloat = kWordTypeFloat;        // 112
constexpr int kCodeString = kWordTypeString;      // 113
constexpr int kCodeRefer = kWordTypeRefer;        // 114
constexpr int kCodeVariable = kWordTypeVariable;  // 115
constexpr int kCodeArray = kWordTypeArray;        // 118
constexpr int kCodeObject = kWordTypeObject;      // 119

// What the call keeps of one argument besides its entry.
struct ArgumentSource {
  CScriptValue* variable = nullptr;     // the variable it referred to, if any
  bool wasString = false;               // its value was a string before the call
  CScriptArray* compound = nullptr;     // the compound it handed over, if any
};

// The code a refer or variable parameter takes from its argument's class.
int CodeOfClass(int kind) {
  switch (kind) {
    case kOperandInt: return kCodeInt;
    case kOperandFloat: return kCodeFloat;
    case kOperandString: return kCodeString;
    case kOperandCompound: return kCodeArray;  // an object passed this way arrives as type 3
    default: return 0;                         // a function: nothing
  }
}

// Fills one entry from a resolved argument by its declared code.
void ConvertArgument(ScriptEngine& se, int position, int code, int kind, const StackOperand& op,
                     SystemCallArgument* entry) {
  switch (code) {
    case kCodeInt:
    case kCodeFloat:
      entry->type = code == kCodeInt ? kCallInt : kCallFloat;
      entry->intValue = op.i;
      entry->floatValue = op.f;
      return;
    case kCodeString: {
      entry->type = kCallString;
      entry->intValue = op.i;
      entry->floatValue = op.f;
      std::string& buffer = se.run.conversion[size_t(position)];
      char number[kFloatTextBytes];
      switch (kind) {
        case kOperandInt: std::snprintf(number, sizeof number, "%d", op.i); buffer = number; break;
        case kOperandFloat: std::snprintf(number, sizeof number, "%f", double(op.f)); buffer = number; break;
        case kOperandCompound: buffer = WriteCompoundText(op.array, 0); break;
        default: buffer = op.text ? op.text : ""; break;  // a string; a function's name
      }
      entry->text = buffer.c_str();
      return;
    }
    case kCodeArray:
    case kCodeObject:
      if (kind != kOperandCompound) return;  // the entry stays zero: the handler decides
      entry->type = code == kCodeArray ? kCallArray : kCallObject;
      entry->compound = op.array;
      return;
    default: return;  // function and systemcall parameters get nothing
  }
}

// A compound the handler handed back may be one an argument brought in,
// which its variable or stack word still owns: such a one is copied.
CScriptArray* OwnedResultCompound(ScriptPools& pools, CScriptArray* compound, const ArgumentSource* sources, int count) {
  for (int p = 0; p < count; p++)
    if (compound && sources[p].compound == compound) return CopyCompound(pools, compound);
  return compound;
}

}  // namespace

void CallSystemFunction(ScriptEngine& se, WordStack& data, CScriptValue* callee, const CScriptLiteral* callWord) {
  const FunctionSignature* signature = se.signatures.Find(callee);
  if (!signature) RaiseScriptError(Sjis("システムコール[%s]が定義されていません。"), callee->text.c_str());
  int count = signature->parameterCount < kSystemCallArguments ? signature->parameterCount : kSystemCallArguments;
  uint8_t codes[kSystemCallArguments] = {};
  for (int p = 0; p < count; p++) codes[p] = signature->parameterTypes[p];

  // The arguments, last first. With fewer arguments than parameters the
  // pops stop at the call's marker: the first parameters stay zero and the
  // caller's stack below the marker is left alone.
  SystemCallArgument arguments[kSystemCallArguments] = {};
  ArgumentSource sources[kSystemCallArguments] = {};
  for (int p = count - 1; p >= 0; p--) {
    if (data.end <= 0 || data.entries[size_t(data.end - 1)]->kind == kWordCallMarker) break;
    CScriptLiteral* word = StackPop(data);
    StackOperand op;
    int kind = LookupStackVariable(word, &op);
    sources[p].variable = op.variable;
    sources[p].wasString = kind == kOperandString;
    int code = codes[p];
    if (code == kCodeRefer || code == kCodeVariable) code = CodeOfClass(kind);
    ConvertArgument(se, p, code, kind, op, &arguments[p]);
    sources[p].compound = arguments[p].compound;
  }
  // Surplus arguments go with the marker.
  StackTrimToMarker(data);
  StackPop(data);

  const char* dot = std::strrchr(callee->text.c_str(), '.');
  const char* callName = dot ? dot + 1 : callee->text.c_str();
  SystemCallHandler handler = se.FindSystemCallHandler(callName);
  if (!handler) RaiseScriptError(Sjis("システム関数[%s]の実体が定義されていません。"), callee->text.c_str());

  if (se.run.scratch.size() < kSystemCallScratchBytes) se.run.scratch.assign(kSystemCallScratchBytes, 0);
  // A handler may compile, which moves the engine's folder for a while: it
  // gets a copy that stays put.
  se.run.callFolder = se.currentFolder;
  SystemCallContext context;
  context.callName = callName;
  context.engine = &se;
  context.folder = se.run.callFolder.c_str();
  context.file = callWord->position.fileName;
  context.line = callWord->position.line;
  context.sourceTag = callWord->position.sourceTag;
  SystemCallResult result;
  SystemCallResult* filled = handler(&result, context, arguments, se.run.scratch.data());
  if (!filled) filled = &result;

  // `refer` parameters take back what the handler left in their entries.
  ScriptPools& pools = se.pools;
  for (int p = count - 1; p >= 0; p--) {
    CScriptValue* variable = sources[p].variable;
    if (codes[p] != kCodeRefer || !variable) continue;  // no variable: nothing to write
    const SystemCallArgument& entry = arguments[p];
    switch (entry.type) {
      case kCallInt: AssignIntToVariable(pools, variable, entry.intValue); break;
      case kCallFloat: AssignFloatToVariable(pools, variable, entry.floatValue); break;
      case kCallString:
        if (sources[p].wasString) AssignStringToVariable(pools, variable, entry.text);
        break;
      case kCallArray:
      case kCallObject: {
        const CScriptValue* end = FollowRefer(variable);
        if (end && end->type == kValueCompound && end->data.array == entry.compound) break;  // its own
        CScriptArray* compound = OwnedResultCompound(pools, entry.compound, sources, count);
        AssignOwnedCompound(pools, variable, compound);
        break;
      }
      default: break;
    }
  }

  switch (filled->type) {
    case kCallInt: StackPushInt(se, data, filled->intValue); break;
    case kCallFloat: StackPushFloat(se, data, filled->floatValue); break;
    case kCallString: StackPushText(se, data, filled->text ? filled->text : "", kWordString); break;
    case kCallArray:
    case kCallObject:
      StackPushCompound(se, data, OwnedResultCompound(pools, filled->compound, sources, count));
      break;
    default: break;  // any other type pushes nothing
  }
}

}  // namespace script
