// script_vm.h -- what the VM's three files share: the fast paths of the name
// links and of the steps, inline for the one Execute() loop.
//
// script_vm_links.cpp keeps the links from name words to variables,
// script_vm_steps.cpp decodes runs of words into steps, and script_vm.cpp
// runs them in Execute(). What the loop calls on every word or step is
// defined here, inline, so that it compiles into the loop as it would in
// one file; the rest is declared under the name of the file that defines
// it.
//
// Index:
//   [SECTION] Name links
//   [SECTION] Steps
//   [SECTION] Step runners
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

// ============================================================================
// [SECTION] Name links
//
// script_vm_links.cpp tells how a link is kept and found again.
// ============================================================================

// The two namespaces a lookup reads, as they stand.
struct Scope {
  CScriptArray* local;   // the thread's innermost local namespace, or null
  uint64_t localStamp;   // its stamp, 0 without one
  uint64_t globalStamp;  // the global namespace's stamp, 0 before it exists
  bool verify;           // RunState::verifyLinks
};

// The local namespace's shape while it holds, else 0.
[[gnu::always_inline]] inline uint32_t ScopeShape(const Scope& scope) {
  const CScriptArray* local = scope.local;
  return local && local->shapeStamp == scope.localStamp ? local->shape : 0;
}

[[gnu::always_inline]] inline Scope CurrentScope(const ScriptEngine& se) {
  int32_t t = se.namespaces.currentThread;
  const std::vector<CScriptArray*>& tops = se.namespaces.threadTop;
  CScriptArray* top = t >= 0 && size_t(t) < tops.size() ? tops[size_t(t)] : nullptr;
  return {top, top ? top->stamp : 0, se.namespaces.global ? se.namespaces.global->stamp : 0, se.run.verifyLinks};
}

[[gnu::always_inline]] inline bool LinkHolds(const RunLink& link, const Scope& scope) {
  return link.value && link.localStamp == scope.localStamp && link.globalStamp == scope.globalStamp;
}

// LookupName for a linked name when the link no longer holds, through its
// hints; the link then holds the result. Null when there is no such
// variable (the link is left as it was; its hints keep the stamps).
CScriptValue* ResolveAgain(ScriptEngine& se, CScriptLiteral* holder, const std::string& name, const Scope& scope);

// What LookupName finds for a linked name.
// `holder` is the word that keeps the link: the name word, or the jump word
// of a label literal.
[[gnu::always_inline]] inline CScriptValue* ResolveName(ScriptEngine& se, CScriptLiteral* holder,
                                                        const std::string& name, const Scope& scope) {
  if (LinkHolds(holder->link, scope)) return holder->link.value;
  return ResolveAgain(se, holder, name, scope);
}

// LinkName for a name word that ResolveName has just found no variable
// for under `scope` (the namespaces as they stand): the new variable, made
// and linked as LinkName makes it.
CScriptValue* MakeName(ScriptEngine& se, CScriptLiteral* word, const Scope& scope);

// A jump word's link made for another label literal, and its hints, are of
// another name: they start afresh for `label`.
inline void RelinkForLabel(CScriptLiteral* jump, const CScriptLiteral* label) {
  if (jump->link.origin == label) return;
  jump->link = RunLink{};
  jump->link.origin = label;
  if (jump->run) jump->run->hints = LinkHints{};
}

// script_vm_links.cpp

// The consistency check of verifyLinks: a kept link must be what a fresh
// lookup finds. A difference is a fault of the engine, not of the script.
void VerifyLink(ScriptEngine& se, const char* name, const CScriptValue* kept);
// The link check for shapes: the namespace holds exactly the names of its
// shape, in order, in its first slots, and nothing else.
[[gnu::cold, gnu::noinline]] void VerifyShape(const ScriptEngine& se, const CScriptArray* local);
// The slot a member stands in, when the namespace is small enough to look;
// -1 otherwise.
int32_t SlotOf(const CScriptArray* a, const CScriptValue* member);
// The text a label or callee operand is named by in messages: the
// variable's name, else the word's own text.
const char* OperandName(Operand& o);
// Sends the thread to the word after the definition of the label named by
// `name`, through the jump word's link; `origin` is the string literal of
// the code the name came from (null: a computed name, never linked).
void JumpToNamedLabel(ScriptEngine& se, ScriptThread* t, CScriptLiteral* jump, const CScriptLiteral* origin,
                      const char* name);
// Pops a jump's label operand, which must be a string. A string word is
// taken as it is (its text read as a number is of no use here).
Operand PopLabel(WordStack& data);
// The folder of the script file that holds the executing code: the file's
// name up to its last separator; a name without one after its first
// character stays whole.
void EnterFile(ScriptEngine& se, const char* fileName);

// JumpToNamedLabel for a popped string word.
inline void JumpToLabel(ScriptEngine& se, ScriptThread* t, CScriptLiteral* jump, CScriptLiteral* label,
                        const char* name) {
  // Only a string literal's copy names the same label every time.
  JumpToNamedLabel(se, t, jump, label->kind == kWordString ? label->link.origin : nullptr, name);
}

// ============================================================================
// [SECTION] Steps
//
// A step is a run of words that the loop executes as one (script_opcodes.h,
// Notes). Decoding looks at a word the first time it runs in a version of
// the code list and keeps the result on the word. Running a step first
// checks everything its words would look at, changes nothing until all of
// it holds, and then does what the words would have done, minus the stack
// pushes and pops between them. When a check fails the step is not run:
// its first word runs alone, the slow way, which also sets up the links a
// later pass of the step will find.
// ============================================================================

// script_vm_steps.cpp

// Decodes the word: the step it starts, else its own opcode.
void DecodeStep(ScriptEngine& se, CScriptLiteral* w);
// The step's variables and labels when the stamps have moved on: by the
// slots kept for the local namespace's shape, else from its words' links.
// False when a name has no variable yet.
[[gnu::noinline]] bool StepVariablesAgain(ScriptEngine& se, CodeStep& s, const Scope& scope);
// "t = t + piece" for a text variable t, appended in place; false, with
// nothing changed, when the words must run.
bool AppendInPlace(ScriptEngine& se, const CodeStep& s);
// No step may follow: what a step keeps for a way out that leads to no
// step, or to one that may not follow directly. Only its address is used.
extern CodeStep kNoStep;
// The step that may follow directly at `next`, for a step that ran in the
// current file; kNoStep when none may.
[[gnu::noinline]] CodeStep* FollowingStep(ScriptEngine& se, CScriptLiteral* next);
// The checks of verifyLinks for what steps keep besides names: the word
// after a label, and a step that follows another directly.
[[gnu::cold, gnu::noinline]] void VerifyLabelNext(const CScriptLiteral* label, const CScriptLiteral* next);
[[gnu::cold, gnu::noinline]] void VerifyChained(const ScriptEngine& se, const CScriptLiteral* w, const CodeStep* kept);

// Whether a word kind is one of the six comparisons.
inline bool IsComparison(int kind) {
  return kind == kWordGreater || kind == kWordLess || kind == kWordGreaterEqual || kind == kWordLessEqual ||
         kind == kWordEqual || kind == kWordNotEqual;
}

// ============================================================================
// [SECTION] Step runners
//
// What Execute() does for each step, inline in its loop. Each Run* returns
// null, having changed nothing, when the step cannot run; the loop then
// runs its first word alone. Otherwise it returns where the step that may
// follow is kept (FinishStep). The call step, RunCall, stands in
// script_vm.cpp beside the call instruction.
// ============================================================================

// The step's variables from the slots kept for the local namespace's
// shape; false when a slot is not there.
[[gnu::always_inline]] inline bool ShapeVariable(const CodeStep& s, int i, CScriptValue* const* slots, size_t count,
                                                 CScriptValue** out) {
  int32_t slot = s.shapeSlots[i];
  if (slot < 0) {
    *out = s.shapeGlobals[i];
    return true;
  }
  if (size_t(slot) >= count || !slots[slot]) return false;
  *out = slots[slot];
  return true;
}

// (Each variable goes through a scalar of its own: a table on the stack
// written a pointer at a time and read back two at a time stalls.)
[[gnu::always_inline]] inline bool ShapeVariables(CodeStep& s, const Scope& scope) {
  CScriptValue* const* slots = scope.local->elements.data();
  size_t count = scope.local->elements.size();
  CScriptValue *a = nullptr, *b = nullptr, *c = nullptr, *label = nullptr, *tail = nullptr;
  const int used = s.shapeUsed;
  if ((used > 0 && !ShapeVariable(s, 0, slots, count, &a)) || (used > 1 && !ShapeVariable(s, 1, slots, count, &b)) ||
      (used > 2 && !ShapeVariable(s, 2, slots, count, &c)) ||
      (used > 3 && !ShapeVariable(s, 3, slots, count, &label)) ||
      (used > 4 && !ShapeVariable(s, 4, slots, count, &tail)))
    return false;
  s.va = a;
  s.vb = b;
  s.vc = c;
  s.vLabel = label;
  s.vTail = tail;
  return true;
}

// Fills the step's variables and labels; false when a name has no variable
// yet. With verifyLinks each is checked against a fresh lookup.
template <bool kVerify>
[[gnu::always_inline]] inline bool StepVariables(ScriptEngine& se, CodeStep& s, const Scope& scope) {
  if (s.localStamp != scope.localStamp || s.globalStamp != scope.globalStamp) {
    // A call's namespace of the kept shape, the commonest case in a called
    // function, is taken here; the rest (and every check) out of the way.
    if (!kVerify && s.shape && s.shape == ScopeShape(scope) && s.shapeGlobalStamp == scope.globalStamp &&
        ShapeVariables(s, scope)) {
      s.localStamp = scope.localStamp;
      s.globalStamp = scope.globalStamp;
    } else if (!StepVariablesAgain(se, s, scope)) {
      return false;
    }
  }
  if (kVerify) {
    if (s.va) VerifyLink(se, s.a->text.c_str(), s.va);
    if (s.vb) VerifyLink(se, s.b->text.c_str(), s.vb);
    if (s.vc) VerifyLink(se, s.c->text.c_str(), s.vc);
  }
  return true;
}

// An int operand: an int literal, or a variable holding an int (through
// refer links).
[[gnu::always_inline]] inline bool ReadInt(const CScriptLiteral* word, const CScriptValue* v, int32_t* out) {
  if (!v) {
    if (word->kind != kWordInt) return false;
    *out = word->payload.i;
    return true;
  }
  if (v->type == kValueRefer) v = FollowRefer(v);
  if (!v || v->type != kValueInt) return false;
  *out = v->data.i;
  return true;
}

// An int variable that may be assigned: not const, no refer link.
[[gnu::always_inline]] inline bool IsIntTarget(const CScriptValue* v) {
  return v && v->type == kValueInt && !(v->attributes & kAttrConst);
}

// What the int assignment does to an int variable.
[[gnu::always_inline]] inline void StoreInt(CScriptValue* v, int32_t value) {
  v->data = ScriptPayload{};
  v->data.i = value;
}

// How many of its strides ahead a step's element access fetches early.
constexpr int64_t kPrefetchStrides = 4;

// The element the index names in the compound of a variable, when the
// variable holds a compound and the element exists. A step that walks a
// table with a stride (a loop over every n-th element) has the element a
// few strides ahead brought into the cache meanwhile: a hint, which changes
// nothing the step reads.
[[gnu::always_inline]] inline CScriptValue* HeldElement(CodeStep& s, const CScriptValue* holder,
                                                        const CScriptLiteral* indexWord,
                                                        const CScriptValue* indexVariable) {
  if (holder && holder->type == kValueRefer) holder = FollowRefer(holder);
  if (!holder || holder->type != kValueCompound || !holder->data.array) return nullptr;
  int32_t index;
  if (!ReadInt(indexWord, indexVariable, &index)) return nullptr;
  const std::vector<CScriptValue*>& elements = holder->data.array->elements;
  if (uint32_t(index) >= elements.size()) return nullptr;
  if (s.lastTable == elements.data()) {
    // The record a few strides ahead. (The table of pointers itself is
    // small enough to stay in the cache: fetching its entries early only
    // costs.)
    int64_t stride = int64_t(index) - s.lastIndex;
    uint64_t ahead = uint64_t(int64_t(index) + kPrefetchStrides * stride);
    if (ahead < elements.size()) __builtin_prefetch(elements[size_t(ahead)], 1);
  }
  s.lastTable = elements.data();
  s.lastIndex = index;
  return elements[size_t(index)];
}

// Where a jump of the step sends the thread, when its label variable is a
// label (else the jump word itself raises the error).
[[gnu::always_inline]] inline bool LabelTarget(ScriptEngine& se, bool verify, const CScriptValue* v,
                                               const CScriptLiteral* label, const CScriptLiteral** seenWord,
                                               CScriptLiteral** seenNext, CodeStep** seenStep,
                                               CScriptLiteral** target) {
  if (!v) return false;
  if (verify) VerifyLink(se, label->text.c_str(), v);
  // The label the jump found last time, the common case, first.
  if (__builtin_expect(!verify && v->type == kValueFunction && v->data.word == *seenWord && *seenWord, 1)) {
    *target = *seenNext;
    return true;
  }
  if (v->type == kValueRefer) v = FollowRefer(v);
  if (!v || (v->type != kValueFunction && v->type != kValueSystemCall) || !v->data.word) return false;
  const CScriptLiteral* word = v->data.word;
  if (__builtin_expect(word == *seenWord, 1)) {
    *target = *seenNext;
    if (__builtin_expect(verify, 0)) VerifyLabelNext(word, *target);
  } else {
    *target = word->next;
    *seenWord = word;
    *seenNext = *target;
    *seenStep = nullptr;  // found again when next needed
  }
  return true;
}

[[gnu::always_inline]] inline int32_t IntArithmetic(int kind, int32_t x, int32_t y) {
  // Adding, the commonest, without the switch's jump.
  if (kind == kWordAdd || kind == kWordAddAssign) return WrapAdd(x, y);
  switch (kind) {
    case kWordAdd:
    case kWordAddAssign: return WrapAdd(x, y);
    case kWordSubtract:
    case kWordSubtractAssign: return WrapSub(x, y);
    case kWordMultiply:
    case kWordMultiplyAssign: return WrapMul(x, y);
    case kWordBitAndAssign: return x & y;
    case kWordBitOrAssign: return x | y;
    default: return x ^ y;  // kWordXorAssign
  }
}

[[gnu::always_inline]] inline bool MaskComparison(uint8_t mask, int32_t x, int32_t y) {
  int outcome = (x > y) - (x < y) + 1;
  return (mask >> outcome) & 1;
}

// An int on the stack given `value` in its own record: what popping it and
// pushing the value would leave there.
[[gnu::always_inline]] inline void ReplaceStackInt(CScriptLiteral* w, int32_t value) {
  w->text.clear();
  w->link.origin = nullptr;
  w->payload = ScriptPayload{};
  w->payload.i = value;
}

// A float result written into a stack word that owns nothing (an int, a
// float or a reference), where the push of the result would go.
[[gnu::always_inline]] inline void ReplaceStackFloat(CScriptLiteral* w, float value) {
  w->text.clear();
  w->link.origin = nullptr;
  w->payload = ScriptPayload{};
  w->payload.f = value;
  w->kind = kWordFloat;
}

// A number operand as LookupStackVariable reads it (an int's float is the
// int converted), for words that need no more: int and float words, and
// references to int or float variables without a refer link. False for any
// other word, which the operator's general path reads.
struct StackNumber {
  int32_t i;
  float f;
  bool isInt;
};
[[gnu::always_inline]] inline bool ReadStackNumber(const CScriptLiteral* w, StackNumber* out) {
  int type;
  ScriptPayload data;
  switch (w->kind) {
    case kWordInt: type = kValueInt; data = w->payload; break;
    case kWordFloat: type = kValueFloat; data = w->payload; break;
    case kWordReference:
      if (!w->payload.value) return false;
      type = w->payload.value->type;
      data = w->payload.value->data;
      break;
    default: return false;
  }
  if (type == kValueInt) {
    out->i = data.i;
    out->f = float(data.i);
    out->isInt = true;
    return true;
  }
  if (type == kValueFloat) {
    out->f = data.f;
    out->isInt = false;
    return true;
  }
  return false;
}

// Whether the stack has records for `depth` more entries: the words' pushes
// then neither take a record from the pool nor overflow.
[[gnu::always_inline]] inline bool StackRoom(const WordStack& data, int depth) {
  return size_t(data.end) + size_t(depth) <= data.entries.size();
}

// The end of a step: the thread goes on at `next` after the step's words
// up to `last`, `words` of them counted. Returns where the step that may
// follow is kept (`successor`), for the caller's chain.
[[gnu::always_inline]] inline CodeStep** FinishStep(ScriptEngine& se, ScriptThread* t, CScriptLiteral* last,
                                                    CScriptLiteral* next, int words, int32_t* count,
                                                    CodeStep** successor) {
  se.run.executing = last;
  t->currentWord = next;
  *count += words;
  return successor;
}

// The statement's end: ";" and, when it has one and it can be taken, the
// tail jump.
template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** FinishStatement(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                         int32_t* count) {
  StackTrimToMarker(t->data);
  CScriptLiteral* target;
  if (s.tailJump &&
      LabelTarget(se, kVerify, s.vTail, s.tailLabel, &s.tailWord, &s.tailNext, &s.tailStep, &target))
    return FinishStep(se, t, s.tailJump, target, s.length + 2, count, &s.tailStep);
  return FinishStep(se, t, s.last, s.after, s.length, count, &s.afterStep);
}

// A conditional jump's end: on a false condition its jump, on a true one
// the tail jump when it has one, else the word after it. Null when the
// jump's label is no label.
template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** FinishCondition(ScriptEngine& se, ScriptThread* t, CodeStep& s, bool truth,
                                                         int32_t* count) {
  CScriptLiteral* target;
  if (!truth) {
    if (!LabelTarget(se, kVerify, s.vLabel, s.label, &s.labelWord, &s.labelNext, &s.labelStep, &target))
      return nullptr;
    return FinishStep(se, t, s.jump, target, s.length, count, &s.labelStep);
  }
  if (s.tailJump &&
      LabelTarget(se, kVerify, s.vTail, s.tailLabel, &s.tailWord, &s.tailNext, &s.tailStep, &target))
    return FinishStep(se, t, s.tailJump, target, s.length + 2, count, &s.tailStep);
  return FinishStep(se, t, s.jump, s.after, s.length, count, &s.afterStep);
}

// The step's variables found and both int operands (a, b) read.
template <bool kVerify>
[[gnu::always_inline]] inline bool ReadIntOperands(ScriptEngine& se, CodeStep& s, const Scope& scope, int32_t* x,
                                                   int32_t* y) {
  return StepVariables<kVerify>(se, s, scope) && ReadInt(s.a, s.va, x) && ReadInt(s.b, s.vb, y);
}

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunCompareJump(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                        const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 2)) return nullptr;
  int32_t x, y;
  if (!ReadIntOperands<kVerify>(se, s, scope, &x, &y)) return nullptr;
  return FinishCondition<kVerify>(se, t, s, MaskComparison(s.compareMask, x, y), count);
}

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunIndexJump(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                      const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 2)) return nullptr;
  if (!StepVariables<kVerify>(se, s, scope)) return nullptr;
  const CScriptValue* element = HeldElement(s, s.va, s.b, s.vb);
  if (element && element->type == kValueRefer) element = FollowRefer(element);
  if (!element || element->type != kValueInt) return nullptr;
  return FinishCondition<kVerify>(se, t, s, element->data.i != 0, count);
}

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunIncrement(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                      const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 1)) return nullptr;
  if (!StepVariables<kVerify>(se, s, scope) || !IsIntTarget(s.va)) return nullptr;
  CScriptValue* v = s.va;
  bool up = s.operation == kWordIncrement || s.operation == kWordPrefixIncrement;
  StoreInt(v, up ? WrapAdd(v->data.i, 1) : WrapSub(v->data.i, 1));
  return FinishStatement<kVerify>(se, t, s, count);
}

// `a = b;` (kCompound false) and `a op= b;` (true) on an int variable.
template <bool kVerify, bool kCompound>
[[gnu::always_inline]] inline CodeStep** RunIntAssign(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                      const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 2)) return nullptr;
  int32_t y;
  if (!StepVariables<kVerify>(se, s, scope) || !IsIntTarget(s.va) || !ReadInt(s.b, s.vb, &y)) return nullptr;
  StoreInt(s.va, kCompound ? IntArithmetic(s.operation, s.va->data.i, y) : y);
  return FinishStatement<kVerify>(se, t, s, count);
}

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunIndexAssign(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                        const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 2)) return nullptr;
  if (!StepVariables<kVerify>(se, s, scope)) return nullptr;
  CScriptValue* element = HeldElement(s, s.va, s.b, s.vb);
  int32_t y;
  if (!IsIntTarget(element) || !ReadInt(s.c, s.vc, &y)) return nullptr;
  StoreInt(element, y);
  return FinishStatement<kVerify>(se, t, s, count);
}

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunPushBinary(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                       const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 2)) return nullptr;
  int32_t x, y;
  if (!ReadIntOperands<kVerify>(se, s, scope, &x, &y)) return nullptr;
  int32_t result = IsComparison(s.operation) ? int32_t(MaskComparison(s.compareMask, x, y))
                                             : IntArithmetic(s.operation, x, y);
  StackPushInt(se, t->data, result);
  return FinishStep(se, t, s.last, s.after, s.length, count, &s.afterStep);
}


template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunAssignBinary(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                         const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 3)) return nullptr;
  int32_t x, y;
  if (!StepVariables<kVerify>(se, s, scope)) return nullptr;
  if (IsIntTarget(s.va) && ReadInt(s.b, s.vb, &x) && ReadInt(s.c, s.vc, &y)) {
    StoreInt(s.va, IntArithmetic(s.operation, x, y));
  } else if (!AppendInPlace(se, s)) {
    return nullptr;
  }
  if (s.statement) return FinishStatement<kVerify>(se, t, s, count);
  StackPushReference(se, t->data, s.va);
  return FinishStep(se, t, s.last, s.after, s.length, count, &s.afterStep);
}

// The member of the object a member step reached: the member named by the
// last part of the member word's text (the name its variable is found
// under), in the slot where the step last found it, else by a search.
// Null when the holder holds no object or the object lacks the member (the
// words then make it).
[[gnu::always_inline]] inline CScriptValue* StepMemberOf(CodeStep& s, const CScriptValue* holder,
                                                         const CScriptLiteral* memberWord) {
  if (holder && holder->type == kValueRefer) holder = FollowRefer(holder);
  if (!holder || holder->type != kValueCompound || !holder->data.array) return nullptr;
  const CScriptArray* a = holder->data.array;
  if (a->kind != kCompoundObject) return nullptr;
  const char* name = memberWord->text.c_str() + s.memberOffset;
  size_t length = memberWord->text.size() - s.memberOffset;
  // Objects built alike hold a member in the same slot, and a member's name
  // is unique in its object.
  if (uint32_t(s.memberSlot) < a->elements.size()) {
    CScriptValue* m = a->elements[size_t(s.memberSlot)];
    if (m && SameName(m->text, name, length)) return m;
  }
  CScriptValue* m = FindMember(a, name);
  if (m) s.memberSlot = SlotOf(a, m);
  return m;
}

// The checks of verifyLinks for a member step: the member the words find.
void VerifyStepMember(const CScriptValue* memberVariable, const CScriptValue* holder, const CScriptValue* found);

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunMember(ScriptEngine& se, ScriptThread* t, CodeStep& s, const Scope& scope,
                                                   int32_t* count) {
  if (!StackRoom(t->data, 2) || !StepVariables<kVerify>(se, s, scope) || !s.va || !s.vb) return nullptr;
  CScriptValue* member = StepMemberOf(s, s.va, s.b);
  if (!member) return nullptr;
  if (kVerify) VerifyStepMember(s.vb, s.va, member);
  StackPushReference(se, t->data, member);
  return FinishStep(se, t, s.last, s.after, s.length, count, &s.afterStep);
}

// A variable's number as it stands (int or float; a refer link is no
// number here, as for the arithmetic words' own fast path).
[[gnu::always_inline]] inline bool VariableNumber(const CScriptValue* v, StackNumber* out) {
  if (v->type == kValueInt) {
    out->i = v->data.i;
    out->f = float(v->data.i);
    out->isInt = true;
    return true;
  }
  if (v->type == kValueFloat) {
    out->f = v->data.f;
    out->isInt = false;
    return true;
  }
  return false;
}

// A number operand word of a step: an int or float literal, or the
// variable its name is linked to.
[[gnu::always_inline]] inline bool ReadNumber(const CScriptLiteral* word, const CScriptValue* v, StackNumber* out) {
  if (v) return VariableNumber(v, out);
  if (word->kind == kWordInt) {
    out->i = word->payload.i;
    out->f = float(out->i);
    out->isInt = true;
    return true;
  }
  if (word->kind != kWordFloat) return false;
  out->f = word->payload.f;
  out->isInt = false;
  return true;
}

// x op y as "+", "-" and "*" compute numbers: ints wrap, anything else is
// float.
[[gnu::always_inline]] inline bool ArithmeticIsInt(const StackNumber& x, const StackNumber& y) {
  return x.isInt && y.isInt;
}
[[gnu::always_inline]] inline float FloatArithmetic(int kind, float x, float y) {
  return kind == kWordAdd ? x + y : kind == kWordSubtract ? x - y : x * y;
}

// `a m . op`: the number on top of the stack op the member, the result in
// the top's own record, where the operator's would go.
template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunMemberOp(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                     const Scope& scope, int32_t* count) {
  WordStack& data = t->data;
  if (data.end < 1 || !StackRoom(data, 2) || !StepVariables<kVerify>(se, s, scope) || !s.va || !s.vb)
    return nullptr;
  CScriptLiteral* top = data.entries[size_t(data.end - 1)];
  StackNumber x{}, y{};
  if (!ReadStackNumber(top, &x)) return nullptr;
  CScriptValue* member = StepMemberOf(s, s.va, s.b);
  if (!member || !VariableNumber(member, &y)) return nullptr;
  if (kVerify) VerifyStepMember(s.vb, s.va, member);
  if (ArithmeticIsInt(x, y)) {
    ReplaceStackInt(top, IntArithmetic(s.operation, x.i, y.i));
    top->kind = kWordInt;
  } else {
    ReplaceStackFloat(top, FloatArithmetic(s.operation, x.f, y.f));
  }
  return FinishStep(se, t, s.last, s.after, s.length, count, &s.afterStep);
}

// `a m . c op`: the member op the number c, pushed.
template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunMemberArith(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                        const Scope& scope, int32_t* count) {
  WordStack& data = t->data;
  if (!StackRoom(data, 2) || !StepVariables<kVerify>(se, s, scope) || !s.va || !s.vb) return nullptr;
  StackNumber x{}, y{};
  if (!ReadNumber(s.c, s.vc, &y)) return nullptr;
  CScriptValue* member = StepMemberOf(s, s.va, s.b);
  if (!member || !VariableNumber(member, &x)) return nullptr;
  if (kVerify) VerifyStepMember(s.vb, s.va, member);
  if (ArithmeticIsInt(x, y)) StackPushInt(se, data, IntArithmetic(s.operation, x.i, y.i));
  else StackPushFloat(se, data, FloatArithmetic(s.operation, x.f, y.f));
  return FinishStep(se, t, s.last, s.after, s.length, count, &s.afterStep);
}

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunElementMember(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                          const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 3) || !StepVariables<kVerify>(se, s, scope) || !s.va || !s.vc) return nullptr;
  CScriptValue* element = HeldElement(s, s.va, s.b, s.vb);
  if (!element) return nullptr;
  CScriptValue* member = StepMemberOf(s, element, s.c);
  if (!member) return nullptr;
  if (kVerify) VerifyStepMember(s.vc, element, member);
  StackPushReference(se, t->data, member);
  return FinishStep(se, t, s.last, s.after, s.length, count, &s.afterStep);
}

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunJump(ScriptEngine& se, ScriptThread* t, CodeStep& s, const Scope& scope,
                                                 int32_t* count) {
  if (!StackRoom(t->data, 1) || !StepVariables<kVerify>(se, s, scope)) return nullptr;
  CScriptLiteral* target;
  if (!LabelTarget(se, kVerify, s.vLabel, s.label, &s.labelWord, &s.labelNext, &s.labelStep, &target)) return nullptr;
  return FinishStep(se, t, s.jump, target, s.length, count, &s.labelStep);
}

// "n return" in a call, n an int variable: the value goes back to the
// caller without being pushed and popped. False, with nothing changed, when
// the words must run: a value that is no int, or no call to return from.
template <bool kVerify>
[[gnu::always_inline]] inline bool RunReturn(ScriptEngine& se, ScriptThread* t, CodeStep& s, const Scope& scope,
                                             int32_t* count) {
  WordStack& data = t->data;
  int32_t value;
  if (!StackRoom(data, 1) || !StepVariables<kVerify>(se, s, scope) || !ReadInt(s.a, s.va, &value)) return false;
  // The return trims the stack to the call's marker and takes the marker.
  int32_t end = MarkerEnd(data);
  if (end == 0) return false;  // the thread's root function ends: the words do it
  data.end = end - 1;
  FinishStep(se, t, s.last, s.after, s.length, count, nullptr);
  ReturnIntToCaller(se, t, value);
  return true;
}

}  // namespace script
