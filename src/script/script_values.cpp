// script_values.cpp -- operations on single values shared by the compiler and
// the virtual machine: raised errors, refer chains, value types, the typed
// assignments, the word setters for records, and operand resolution.

#include <cstdarg>
#include <cstdio>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ----------------------------------------------------------------------------
// Raised errors
// ----------------------------------------------------------------------------

void RaiseScriptError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ScriptError error;
  error.text = FormatArgs(format, args);
  va_end(args);
  throw error;
}

// ----------------------------------------------------------------------------
// Refer chains
//
// A refer value forwards to another value; chains are followed to their
// first value of another type. A chain can loop (a refer made to point at
// itself through others): it is detected by a second walker moving two steps
// per step of the first, so a loop costs at most twice its length.
// ----------------------------------------------------------------------------

CScriptValue* FollowRefer(CScriptValue* value) {
  CScriptValue* slow = value;
  CScriptValue* fast = value;
  for (;;) {
    if (!fast || fast->type != kValueRefer) return fast;
    fast = fast->data.value;
    if (!fast || fast->type != kValueRefer) return fast;
    fast = fast->data.value;
    slow = slow->data.value;
    if (slow == fast) return nullptr;  // a loop: no end
  }
}

const CScriptValue* FollowRefer(const CScriptValue* value) { return FollowRefer(const_cast<CScriptValue*>(value)); }

namespace {

// The end of a variable's chain for an assignment; a loop is an error.
CScriptValue* AssignTarget(CScriptValue* variable) {
  CScriptValue* end = FollowRefer(variable);
  if (!end) RaiseScriptError(Sjis("変数[%s]の参照が循環しています。"), variable->text.c_str());
  return end;
}

// Gives back the compound a value holds, leaving its payload empty.
void DropHeldCompound(ScriptPools& pools, CScriptValue* value, const CScriptArray* keep = nullptr) {
  if (value->type == kValueCompound && value->data.array) {
    CScriptArray* held = value->data.array;
    value->data.array = nullptr;
    if (held != keep) pools.ReleaseScriptArray(held);
  }
}

bool IsUntyped(const CScriptValue* v) { return (v->attributes & kAttrUntyped) != 0; }

}  // namespace

// ----------------------------------------------------------------------------
// Value types and typed assignment
// ----------------------------------------------------------------------------

void SetValueType(ScriptPools& pools, CScriptValue* value, int type, int attributes) {
  if ((type == kValueFunction || type == kValueSystemCall) && !value->text.empty() && value->text[0] != '*') {
    // Compiler labels ("*L0001") can never be name tokens: they are left out.
    size_t dot = value->text.rfind('.');
    std::string_view name(value->text);
    pools.AddCallableName(dot == std::string::npos ? name : name.substr(dot + 1));
  }
  DropHeldCompound(pools, value);
  value->stringValue.clear();
  value->data = ScriptPayload{};
  value->type = uint8_t(type);
  value->attributes = uint16_t(attributes);
}

namespace {

// Turns a value into one of `type` keeping its attributes.
void BecomeType(ScriptPools& pools, CScriptValue* v, int type) { SetValueType(pools, v, type, v->attributes); }

}  // namespace

void AssignIntToVariable(ScriptPools& pools, CScriptValue* variable, int32_t value) {
  CScriptValue* v = AssignTarget(variable);
  if (!IsUntyped(v)) {
    switch (v->type) {
      case kValueString: {
        char text[16];
        std::snprintf(text, sizeof text, "%d", value);
        v->stringValue.assign(text);
        return;
      }
      case kValueFloat: v->data.f = float(value); return;
      case kValueCompound:
        RaiseScriptError(Sjis("変数[%s]はintでもfloatでもstringでもないため、整数を代入できません。"), v->text.c_str());
      default: break;  // undefined, int, function, system call
    }
  }
  BecomeType(pools, v, kValueInt);
  v->data.i = value;
}

void AssignFloatToVariable(ScriptPools& pools, CScriptValue* variable, float value) {
  CScriptValue* v = AssignTarget(variable);
  if (!IsUntyped(v)) {
    switch (v->type) {
      case kValueString: {
        char text[kFloatTextBytes];
        std::snprintf(text, sizeof text, "%f", double(value));
        v->stringValue.assign(text);
        return;
      }
      case kValueInt: v->data.i = TruncateToInt(value); return;
      case kValueCompound:
        RaiseScriptError(Sjis("変数[%s]はintでもfloatでもstringでもないため、小数を代入できません。"), v->text.c_str());
      default: break;
    }
  }
  BecomeType(pools, v, kValueFloat);
  v->data.f = value;
}

void AssignStringToVariable(ScriptPools& pools, CScriptValue* variable, const char* text) {
  CScriptValue* v = AssignTarget(variable);
  if (!text) text = "";
  if (IsUntyped(v) || v->type == kValueUndefined || v->type == kValueString) {
    if (v->type != kValueString) BecomeType(pools, v, kValueString);
    // The text may be the value's own: copy before assigning.
    if (text != v->stringValue.c_str()) v->stringValue.assign(text);
    return;
  }
  switch (v->type) {
    case kValueInt: v->data.i = ParseDecimalInt(text); return;
    case kValueFloat: v->data.f = ParseFloat(text); return;
    default:
      RaiseScriptError(Sjis("変数[%s]はintでもfloatでもstringでもないため、文字列を代入できません。"), v->text.c_str());
  }
}

void AssignReference(ScriptPools& pools, CScriptValue* variable, CScriptValue* target) {
  // The variable itself, not the end of its old chain, becomes the link.
  CScriptValue* v = variable;
  if (!IsUntyped(v) && v->type != kValueUndefined && v->type != kValueRefer)
    RaiseScriptError(Sjis("変数[%s]はrefer型ではないため参照を代入できません。"), v->text.c_str());
  BecomeType(pools, v, kValueRefer);
  v->data.value = target;
  pools.NoteRefer();
}

void AssignCompoundToVariable(ScriptPools& pools, CScriptValue* variable, CScriptArray* array) {
  CScriptValue* v = AssignTarget(variable);
  if (!IsUntyped(v) && v->type != kValueUndefined && v->type != kValueCompound)
    RaiseScriptError(Sjis("変数[%s]はarray型ではないため配列を代入できません。"), v->text.c_str());
  if (v->type == kValueCompound) {
    DropHeldCompound(pools, v, array);
  } else {
    BecomeType(pools, v, kValueCompound);
  }
  v->data.array = array;
  if (array) array->owner = v;
}

void AssignCallTarget(ScriptPools& pools, CScriptValue* variable, CScriptLiteral* target) {
  CScriptValue* v = AssignTarget(variable);
  if (!IsUntyped(v) && v->type != kValueUndefined && v->type != kValueFunction)
    RaiseScriptError(Sjis("変数[%s]はfunction型ではないため関数コール先を代入できません。"), v->text.c_str());
  if (v->type != kValueFunction) BecomeType(pools, v, kValueFunction);
  v->data.word = target;
}

// ----------------------------------------------------------------------------
// Word setters for records
// ----------------------------------------------------------------------------

void SetObjectValue(ScriptPools& pools, CScriptLiteral* word, CScriptArray* array) {
  if (!array) {
    SetIntValue(pools, word, 0);
    return;
  }
  if (word->kind == kWordCompound && word->payload.array == array) return;
  SetIntValue(pools, word, 0);  // gives back a compound held before
  word->payload = ScriptPayload{};
  word->payload.array = array;
  word->kind = kWordCompound;
}

void SetHandleValue(ScriptPools& pools, CScriptLiteral* word, CScriptLiteral* target) {
  SetIntValue(pools, word, 0);
  word->payload = ScriptPayload{};
  word->payload.word = target;
  word->kind = kWordFunctionConstant;
}

void SetCallValue(ScriptPools& pools, CScriptLiteral* word, CScriptValue* variable) {
  SetIntValue(pools, word, 0);
  word->payload = ScriptPayload{};
  word->payload.value = variable;
  word->kind = kWordReference;
}

void GiveUpCompound(CScriptLiteral* word) {
  // The compound now belongs elsewhere: the word forgets it without release.
  word->payload = ScriptPayload{};
  word->kind = kWordInt;
}

// ----------------------------------------------------------------------------
// Operand resolution
// ----------------------------------------------------------------------------

int LookupStackVariable(CScriptLiteral* word, StackOperand* out) {
  *out = StackOperand{};
  if (!word) return kOperandNone;
  switch (word->kind) {
    case kWordInt:
      out->i = word->payload.i;
      out->f = float(word->payload.i);
      return kOperandInt;
    case kWordFloat:
      out->f = word->payload.f;
      out->i = TruncateToInt(word->payload.f);
      return kOperandFloat;
    case kWordString:
      out->text = word->text.c_str();
      out->i = ParseDecimalInt(out->text);
      return kOperandString;
    case kWordCompound:
      out->array = word->payload.array;
      return kOperandCompound;
    case kWordFunctionConstant:
      out->target = word->payload.word;
      out->text = word->text.c_str();
      return kOperandFunction;
    case kWordName:
    case kWordFunctionName:
      // The virtual machine stacks names as variable references; a bare name
      // here means the code list is faulty.
      RaiseScriptError(Sjis("[%s]はリテラルが変数としてスタックに詰まれています。"), word->text.c_str());
    case kWordReference: break;
    default: return kOperandNone;
  }
  CScriptValue* named = word->payload.value;
  if (!named) return kOperandNone;
  out->name = named->text.c_str();
  out->variable = named;
  CScriptValue* v = FollowRefer(named);
  if (!v) RaiseScriptError(Sjis("変数[%s]の参照が循環しています。"), named->text.c_str());
  switch (v->type) {
    case kValueString:
      out->text = v->stringValue.c_str();
      out->i = ParseDecimalInt(out->text);
      out->f = ParseFloat(out->text);
      return kOperandString;
    case kValueInt:
      out->i = v->data.i;
      out->f = float(v->data.i);
      return kOperandInt;
    case kValueFloat:
      out->f = v->data.f;
      out->i = TruncateToInt(v->data.f);
      return kOperandFloat;
    case kValueFunction:
    case kValueSystemCall:
      out->target = v->data.word;
      out->text = v->data.word ? v->data.word->text.c_str() : nullptr;
      return kOperandFunction;
    case kValueCompound:
      out->array = v->data.array;
      return kOperandCompound;
    default:
      RaiseScriptError(Sjis("[%s]は定義されていない変数です。"), named->text.c_str());
  }
}

}  // namespace script
