// script_notation.cpp -- the object text notation: the writer (compact and
// indented forms) and the three readers: at compile time into a compound,
// into code that builds one at run time, and from a thread's data stack.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ----------------------------------------------------------------------------
// Writer
//
// The indented form (depth 1 and more) puts every object member on its own
// line at `depth` tabs, opens a nested compound on its member's line, keeps
// arrays of numbers and texts on one line and starts each compound element
// of an array on a new line. Settings files and saved objects are compared
// byte for byte: CR LF and tabs exactly as below.
// ----------------------------------------------------------------------------

namespace {

class TextWriter {
 public:
  std::string out;

  void Write(const CScriptArray* a, int depth) {
    if (!a || a->kind == kCompoundEmpty) return;  // an empty compound writes nothing
    bool indented = depth >= 1;
    bool object = a->kind == kCompoundObject;
    // A refer can lead back to a compound being written: that value is
    // written as nothing, like an undefined one. Too deep a nesting is cut
    // the same way.
    if (OnPath(a) || path_.size() >= size_t(kMaxCompoundDepth)) return;
    path_.push_back(a);
    out += object ? '{' : '[';
    bool first = true;
    bool nested = false;
    for (const CScriptValue* v : a->elements) {
      if (!v) continue;  // holes leave no trace
      if (!first) out += ',';
      first = false;
      if (indented && object) NewLine(depth);
      if (object) {
        out += v->text;
        out += ':';
      }
      const CScriptValue* value = FollowRefer(v);
      if (!value) continue;
      switch (value->type) {
        case kValueString:
          if (value->attributes & kAttrRawString) {
            out += '`';
            out += value->stringValue;
            out += '`';
          } else {
            out += '"';
            out += EscapeStringAlloc(value->stringValue.c_str());
            out += '"';
          }
          break;
        case kValueInt: Append("%d", value->data.i); break;
        case kValueFloat: AppendFloat(value->data.f); break;
        case kValueFunction: out += value->data.word ? value->data.word->text : "(null)"; break;
        case kValueCompound:
          if (!value->data.array) break;
          if (indented && !object) NewLine(depth);
          nested = true;
          Write(value->data.array, indented ? depth + 1 : 0);
          break;
        default: break;  // undefined, system-call declaration: an empty value
      }
    }
    if (indented && (object || nested)) NewLine(depth - 1);
    out += object ? '}' : ']';
    path_.pop_back();
  }

 private:
  bool OnPath(const CScriptArray* a) const {
    for (const CScriptArray* p : path_)
      if (p == a) return true;
    return false;
  }
  void NewLine(int tabs) {
    out += "\r\n";
    out.append(size_t(tabs > 0 ? tabs : 0), '\t');
  }
  void Append(const char* format, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    out += text;
  }
  void AppendFloat(float value) {
    char text[kFloatTextBytes];
    std::snprintf(text, sizeof text, "%f", double(value));
    out += text;
  }

  std::vector<const CScriptArray*> path_;  // the compounds being written, outermost first
};

}  // namespace

std::string WriteCompoundText(const CScriptArray* array, int depth) {
  TextWriter writer;
  writer.Write(array, depth);
  return std::move(writer.out);
}

int WriteCompoundText(const CScriptArray* array, char* buffer, int depth) {
  std::string text = WriteCompoundText(array, depth);
  if (buffer) std::memcpy(buffer, text.c_str(), text.size() + 1);
  return int(text.size()) + 1;
}

namespace {

// The float the writer's text of `value` reads back as.
float ReadBack(float value) {
  char text[kFloatTextBytes];
  std::snprintf(text, sizeof text, "%f", double(value));
  return float(std::strtod(text, nullptr));
}

}  // namespace

float QuotientToWrite(float value, float unit) {
  float quotient = value / unit;
  if (!std::isfinite(quotient)) return quotient;
  constexpr int kReach = 8;
  float candidates[2 * kReach + 1];
  float below = quotient;
  float above = quotient;
  candidates[0] = quotient;
  for (int i = 1; i <= kReach; i++) {
    below = std::nextafter(below, -INFINITY);
    above = std::nextafter(above, INFINITY);
    candidates[2 * i - 1] = below;
    candidates[2 * i] = above;
  }
  // The value nearest to `value` that a candidate reads back as.
  float best = 0;
  float bestError = INFINITY;
  for (float c : candidates) {
    float read = ReadBack(c) * unit;
    float error = std::fabs(read - value);
    if (error < bestError) {
      bestError = error;
      best = read;
    }
  }
  // Of the texts that read back as that value, the smallest.
  float chosen = INFINITY;
  for (float c : candidates) {
    float written = ReadBack(c);
    if (written * unit == best && written < chosen) chosen = written;
  }
  return chosen;
}

// ----------------------------------------------------------------------------
// Readers: shared grammar pieces
// ----------------------------------------------------------------------------

namespace {

// The key of an object member at `t`: a label token ("key:" is one token),
// or a name or string followed by ":" or "=". False after a listed error.
bool ReadKey(ScriptEngine& se, CScriptLiteral* t, std::string* key, CScriptLiteral** value) {
  se.compile.token = t;
  if (t->kind == kWordLabel) {
    *key = t->text;
    *value = t->next;
    return true;
  }
  if (t->kind != kWordName && t->kind != kWordFunctionName && t->kind != kWordString) {
    AddCompileErrorf(se, &t->position, Sjis("[%s]はJSON式の変数名として解釈できません。"), WordPrintedText(*t));
    return false;
  }
  CScriptLiteral* separator = t->next;
  if (!separator || (separator->kind != kWordColon && separator->kind != kWordAssign)) {
    AddCompileErrorf(se, &t->position, Sjis("JSON式の変数名[%s]の次に「:」が足りません。"), t->text.c_str());
    return false;
  }
  *key = t->text;
  *value = separator->next;
  return true;
}

// The literal's closing token kind.
int CloserOf(int kind) { return kind == kWordOpenBrace ? kWordCloseBrace : kWordCloseBracket; }

// After an error: the token after the literal's closing bracket (or the
// stop token where the skip ended).
CScriptLiteral* SkipToCloser(CScriptLiteral* t, int closer) {
  int depth = 0;
  for (; t; t = t->next) {
    int k = t->kind;
    if (depth == 0 && k == closer) return t->next;
    if (depth == 0 && k == kWordSemicolon) return t;  // the statement ends first
    if (OpensGroup(k)) depth++;
    else if (ClosesGroup(k) && depth > 0) depth--;
  }
  return nullptr;
}

// The position where a literal that runs to the end of the tokens is
// reported: its last token.
const SourcePosition* LastPosition(CScriptLiteral* first) {
  CScriptLiteral* last = first;
  while (last->next) last = last->next;
  return &last->position;
}

}  // namespace

// ----------------------------------------------------------------------------
// Compile-time reader
// ----------------------------------------------------------------------------

namespace {

// Stores one constant word as the member or element `v` created for it.
void StoreNew(ScriptEngine& se, CScriptValue* v, CScriptLiteral* word) {
  switch (word->kind) {
    case kWordInt: v->data.i = word->payload.i; break;
    case kWordFloat: v->data.f = word->payload.f; break;
    case kWordString: v->stringValue = word->text; break;
    case kWordFunctionConstant: v->data.word = word->payload.word; break;
    case kWordCompound:
      v->data.array = word->payload.array;
      v->data.array->owner = v;
      GiveUpCompound(word);
      break;
    default: break;
  }
  (void)se;
}

// The member type of a constant word; 0 for a kind that makes no member.
int TypeOfWord(const CScriptLiteral* word) {
  switch (word->kind) {
    case kWordInt: return kValueInt;
    case kWordFloat: return kValueFloat;
    case kWordString: return kValueString;
    case kWordFunctionConstant: return kValueFunction;
    case kWordCompound: return kValueCompound;
    default: return kValueUndefined;
  }
}

// A key met again: the later value is assigned with the first member's type.
void AssignAgain(ScriptEngine& se, CScriptValue* v, CScriptLiteral* word) {
  ScriptPools& pools = se.pools;
  switch (word->kind) {
    case kWordInt: AssignIntToVariable(pools, v, word->payload.i); break;
    case kWordFloat: AssignFloatToVariable(pools, v, word->payload.f); break;
    case kWordString: AssignStringToVariable(pools, v, word->text.c_str()); break;
    case kWordFunctionConstant: AssignCallTarget(pools, v, word->payload.word); break;
    case kWordCompound:
      AssignCompoundToVariable(pools, v, word->payload.array);
      GiveUpCompound(word);
      break;
    default: break;
  }
}

// Frees a constant word when it goes out of scope.
struct WordHolder {
  ScriptEngine& se;
  CScriptLiteral* word;
  ~WordHolder() { se.pools.FreeScriptLiteral(word); }
};

CScriptArray* ParseLiteral(ScriptEngine& se, CScriptLiteral* first, CScriptLiteral** next) {
  CompileNesting nesting(se);
  bool object = first->kind == kWordOpenBrace;
  int closer = CloserOf(first->kind);
  CScriptArray* a = NewCompound(se.pools, nullptr);
  // Set at the bracket: "{}" and "[]" are an object and an array.
  a->kind = object ? kCompoundObject : kCompoundArray;
  CScriptLiteral* t = first->next;
  int32_t index = 0;
  try {
    for (;;) {
      se.compile.token = t;
      if (!t) {
        AddCompileError(se, object ? Sjis("JSON式の値の間に「,」が足りません。") : Sjis("JSON式の配列要素の間に「,」が足りません。"),
                        LastPosition(first));
        break;
      }
      if (t->kind == closer) {
        *next = t->next;
        return a;
      }
      std::string key;
      CScriptLiteral* valueToken = t;
      if (object && !ReadKey(se, t, &key, &valueToken)) break;
      if (!valueToken) {
        AddCompileError(se, Sjis("演算子の次に値がありません。"), &t->position);
        break;
      }
      CScriptLiteral* after = nullptr;
      CScriptLiteral* word = EvaluateConstantExpression(se, valueToken, 0, &after);
      if (!word) {
        t = after;
        break;
      }
      WordHolder hold{se, word};
      int type = TypeOfWord(word);
      if (type != kValueUndefined) {
        if (object) {
          if (CScriptValue* existing = FindMember(a, key.c_str())) AssignAgain(se, existing, word);
          else StoreNew(se, AddObjectMember(se.pools, a, key.c_str(), type, 0), word);
        } else {
          StoreNew(se, AddArrayElement(se.pools, a, index, type, 0), word);
        }
      }
      index++;  // a value that makes no element still takes its index
      t = after;
      se.compile.token = t;
      if (t && t->kind == kWordComma) {
        t = t->next;
        continue;
      }
      if (t && t->kind == closer) continue;
      const SourcePosition* where = t ? &t->position : LastPosition(first);
      AddCompileError(se, object ? Sjis("JSON式の値の間に「,」が足りません。") : Sjis("JSON式の配列要素の間に「,」が足りません。"),
                      where);
      break;
    }
  } catch (...) {
    se.pools.ReleaseScriptArray(a);
    throw;
  }
  // After an error: on past the literal; an object keeps what was read.
  *next = t ? SkipToCloser(t, closer) : nullptr;
  if (object) return a;
  se.pools.ReleaseScriptArray(a);
  return nullptr;
}

}  // namespace

CScriptArray* ParseCompoundLiteral(ScriptEngine& se, CScriptLiteral* first, CScriptLiteral** next) {
  *next = first ? first->next : nullptr;
  if (!first || (first->kind != kWordOpenBrace && first->kind != kWordOpenBracket)) {
    if (first)
      AddCompileErrorf(se, &first->position, Sjis("式の中に不正な字句「%s」があります。"), WordPrintedText(*first));
    return nullptr;
  }
  return ParseLiteral(se, first, next);
}

// ----------------------------------------------------------------------------
// Code-generating reader
//
// An object's members are inserted before those compiled earlier, so the
// last member's words come first: the virtual machine then pops the first
// member first and creates the members in source order.
// ----------------------------------------------------------------------------

int CompileCompoundLiteral(ScriptEngine& se, CScriptLiteral* first, CScriptLiteral** next) {
  CompileNesting nesting(se);
  bool object = first->kind == kWordOpenBrace;
  int closer = CloserOf(first->kind);
  CScriptLiteral* mark = se.codeCursor;  // members go in right after it
  CScriptLiteral* end = nullptr;         // the last word of the first member
  int32_t count = 0;
  CScriptLiteral* t = first->next;
  for (;;) {
    se.compile.token = t;
    if (!t) {
      AddCompileError(se, object ? Sjis("JSON式の値の間に「,」が足りません。") : Sjis("JSON式の配列要素の間に「,」が足りません。"),
                      LastPosition(first));
      *next = nullptr;
      return 0;
    }
    if (t->kind == closer) break;
    CScriptLiteral* valueToken = t;
    if (object) {
      std::string key;
      if (!ReadKey(se, t, &key, &valueToken)) {
        *next = SkipToCloser(t, closer);
        return 0;
      }
      se.codeCursor = mark;
      EmitInstruction(se, key, kWordName, t->position);
    }
    if (!valueToken) {
      AddCompileError(se, Sjis("演算子の次に値がありません。"), &t->position);
      *next = nullptr;
      return 0;
    }
    CScriptLiteral* after = nullptr;
    if (!CompileExpression(se, valueToken, kWordComma, &after)) {
      *next = after;
      return 0;
    }
    if (object && !end) end = se.codeCursor;
    count++;
    t = after;
    se.compile.token = t;
    if (t && t->kind == kWordComma) {
      t = t->next;
      continue;
    }
    if (t && t->kind == closer) continue;
    AddCompileError(se, object ? Sjis("JSON式の値の間に「,」が足りません。") : Sjis("JSON式の配列要素の間に「,」が足りません。"),
                    t ? &t->position : LastPosition(first));
    *next = t ? SkipToCloser(t, closer) : nullptr;
    return 0;
  }
  if (end) WordListTail(se, end);
  EmitInt(se, count, first->position);
  EmitInstruction(se, object ? "{Object}" : "{Array}", object ? kWordBuildObject : kWordBuildArray, first->position);
  *next = t->next;
  return 1;
}

// ----------------------------------------------------------------------------
// Run-time reader
// ----------------------------------------------------------------------------

namespace {

// The key a stack word names: its text, or the referenced variable's name
// after its last ".".
std::string KeyOfWord(const CScriptLiteral* word) {
  if (word->kind == kWordReference && word->payload.value) {
    const std::string& name = word->payload.value->text;
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
  }
  return word->text;
}

// Stores a stack word into a new element `v` (untyped).
void StoreStackWord(ScriptEngine& se, CScriptValue* v, CScriptLiteral* word) {
  ScriptPools& pools = se.pools;
  switch (word->kind) {
    case kWordInt: SetValueType(pools, v, kValueInt, kAttrUntyped); v->data.i = word->payload.i; break;
    case kWordFloat: SetValueType(pools, v, kValueFloat, kAttrUntyped); v->data.f = word->payload.f; break;
    case kWordString: SetValueType(pools, v, kValueString, kAttrUntyped); v->stringValue = word->text; break;
    case kWordFunctionConstant:
    case kWordFunctionName:
      SetValueType(pools, v, kValueFunction, kAttrUntyped);
      v->data.word = word->kind == kWordFunctionConstant ? word->payload.word : nullptr;
      break;
    case kWordReference:
      SetValueType(pools, v, kValueRefer, kAttrUntyped);
      v->data.value = word->payload.value;
      pools.NoteRefer();
      break;
    case kWordCompound: {
      SetValueType(pools, v, kValueCompound, kAttrUntyped);
      CScriptArray* array = word->payload.array;
      if (!array) break;
      if (array->owner && array->owner->type == kValueCompound && array->owner->data.array == array) {
        v->data.array = CopyCompound(pools, array);  // a variable's compound is copied
      } else {
        v->data.array = array;  // a temporary one is taken over
        GiveUpCompound(word);
      }
      v->data.array->owner = v;
      break;
    }
    default: SetValueType(pools, v, kValueUndefined, kAttrUntyped); break;
  }
}

// The members of an object literal of at most one slot table's members
// whose keys are all name references (every key the compiler emits), built
// as the general loop below builds them: a new record per new name, in the
// order popped, in the lowest free slots of a table of 16 slots, and a key
// met again given the later value. Only the searches and the text copies
// of the key are cheaper. False, with nothing done, for any other literal.
bool BuildSmallObject(ScriptEngine& se, WordStack& stack, CScriptArray* a, int32_t count) {
  if (count <= 0 || size_t(count) > kScannedMemberSlots || stack.end < 2 * count || !a->elements.empty() ||
      a->kind != kCompoundObject || a->memberIndex)
    return false;
  for (int32_t i = 0; i < count; i++) {
    const CScriptLiteral* key = stack.entries[size_t(stack.end - 2 - 2 * i)];
    if (key->kind != kWordReference || !key->payload.value) return false;
  }
  ScriptPools& pools = se.pools;
  int32_t used = 0;
  for (int32_t i = 0; i < count; i++) {
    CScriptLiteral* value = StackPop(stack);
    CScriptLiteral* key = StackPop(stack);
    // The key as KeyOfWord gives it, up to a zero byte as its c_str() reads.
    const std::string& variable = key->payload.value->text;
    size_t dot = variable.rfind('.');
    const char* name = variable.c_str() + (dot == std::string::npos ? 0 : dot + 1);
    size_t length = std::strlen(name);
    CScriptValue* v = nullptr;
    for (int32_t slot = 0; slot < used; slot++) {
      CScriptValue* member = a->elements[size_t(slot)];
      if (SameName(member->text, name, length)) {
        v = member;
        break;
      }
    }
    if (v) {
      // A key met again: its member takes the later value, untyped.
      StoreStackWord(se, v, value);
      continue;
    }
    v = TakeKeptValue(a);  // a kept object's record, cleared but for its name
    if (!v) v = pools.AllocScriptValue();
    if (!v) RaiseScriptError("%s", Sjis("割り当て可能なCScriptValueインスタンスがなくなりました。"));
    if (used == 0) a->elements.assign(kScannedMemberSlots, nullptr);  // empty until now
    a->elements[size_t(used)] = v;
    used++;
    a->freeSlot = used;
    if (!SameName(v->text, name, length)) v->text.assign(name, length);
    v->kind = kWordName;
    v->owner = a;
    v->attributes = kAttrUntyped;  // a record from the pool is cleared: undefined
    a->nameBits |= NameFilterBit(name, length);
    a->stamp = pools.NewStamp();
    StoreStackWord(se, v, value);
  }
  return true;
}

}  // namespace

CScriptArray* BuildCompoundFromStack(ScriptEngine& se, WordStack& stack, int kind) {
  if (kind != kCompoundObject && kind != kCompoundArray)
    RaiseScriptError("%s", Sjis("JSON式の解釈が開始出来ません。"));
  CScriptLiteral* countWord = StackPop(stack);
  if (countWord->kind != kWordInt) RaiseScriptError("%s", Sjis("JSON式の要素数が整数ではありません。"));
  int32_t count = countWord->payload.i;
  // An object may be a kept one (ScriptPools::spareObjects), its member
  // records with them.
  CScriptArray* a = kind == kCompoundObject ? se.pools.TakeSpareObject(nullptr) : nullptr;
  if (!a) a = NewCompound(se.pools, nullptr);
  a->kind = kind;
  try {
    if (kind == kCompoundObject && BuildSmallObject(se, stack, a, count)) {
      if (!a->keptValues.empty()) ReleaseKeptValues(se.pools, a);
      return a;
    }
    if (!a->keptValues.empty()) ReleaseKeptValues(se.pools, a);
    if (kind == kCompoundObject) {
      for (int32_t i = 0; i < count; i++) {
        CScriptLiteral* value = StackPop(stack);
        CScriptLiteral* key = StackPop(stack);
        CScriptValue* v = AddObjectMember(se.pools, a, KeyOfWord(key).c_str(), kValueUndefined, kAttrUntyped);
        StoreStackWord(se, v, value);
      }
    } else {
      for (int32_t i = count - 1; i >= 0; i--) {
        CScriptLiteral* value = StackPop(stack);
        StoreStackWord(se, AddArrayElement(se.pools, a, i, kValueUndefined, kAttrUntyped), value);
      }
    }
  } catch (...) {
    se.pools.ReleaseScriptArray(a);
    throw;
  }
  return a;
}

}  // namespace script
