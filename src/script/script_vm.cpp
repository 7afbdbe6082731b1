// script_vm.cpp -- the virtual machine: the frame step that gives every
// thread one slice in order-key order, the run-time error it keeps, the
// operand decoders with their cached links, the system interrupts, and the
// one Execute() loop that runs a slice word by word.
//
// Index:
//   [SECTION] Run-time errors
//   [SECTION] Operand decoders
//   [SECTION] System interrupts
//   [SECTION] Steps
//   [SECTION] Execute
//   [SECTION] Frame step

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/core_public.h"
#include "script/script_dispatch.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ============================================================================
// [SECTION] Run-time errors
// ============================================================================

void ScriptEngine::SetRunErrorOnce(const char* text, const SourcePosition* position) {
  if (run.error.stored) return;
  run.error.stored = true;
  run.error.text = text ? text : "";
  run.error.hasPosition = position != nullptr;
  run.error.position = position ? *position : SourcePosition{};
}

// ============================================================================
// [SECTION] Operand decoders
//
// Name words resolve through LookupName once and keep the variable on the
// word (RunLink) together with the stamps of the two namespaces a lookup
// reads: the thread's innermost local namespace and the global namespace.
// While both stamps are unchanged no member came or went, so the lookup
// would find the same variable; the hot path is two compares and no text.
// Jumps whose label is a string literal keep the label's variable the same
// way, keyed by the literal the label came from.
//
// A call runs its function's words under a new local namespace each time,
// so there the stamps have always moved on. The link's hints then redo the
// lookup cheaply: the name is first tried at the slot where it stood in the
// last local namespace it was found in; a namespace whose name filter lacks
// the name's bit does not hold it; and what the global namespace gave for
// the name is kept while that namespace keeps its stamp. The result is what
// LookupName finds, always (verifyLinks checks it).
// ============================================================================

namespace {

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

void KeepLink(const ScriptEngine& se, RunLink* link, CScriptValue* value, const CScriptLiteral* origin) {
  Scope scope = CurrentScope(se);
  link->value = value;
  link->origin = origin;
  link->localStamp = scope.localStamp;
  link->globalStamp = scope.globalStamp;
}

// The consistency check of verifyLinks: a kept link must be what a fresh
// lookup finds. A difference is a fault of the engine, not of the script.
void VerifyLink(ScriptEngine& se, const char* name, const CScriptValue* kept) {
  ENGINE_ASSERT(LookupName(se, name) == kept, "stale name link for [%s]", name);
}

// The same check for what steps keep besides names: the word after a
// label, and a step that follows another directly. Out of the way of the
// steps themselves.
[[gnu::cold, gnu::noinline]] void VerifyLabelNext(const CScriptLiteral* label, const CScriptLiteral* next) {
  ENGINE_ASSERT(next == label->next, "stale word after a step's label");
}

[[gnu::cold, gnu::noinline]] void VerifyChained(const ScriptEngine& se, const CScriptLiteral* w, const CodeStep* kept) {
  ENGINE_ASSERT(w && w->stepEpoch == se.run.codeEpoch && IsChainedStep(Opcode(w->stepOp)) && w->step == kept &&
                kept->first == w && w->position.fileName == se.run.lastFile && kept->link == w->position.linkIndex,
                "stale chained step");
}

// The link check for shapes: the namespace holds exactly the names of its
// shape, in order, in its first slots, and nothing else.
[[gnu::cold, gnu::noinline]] void VerifyShape(const ScriptEngine& se, const CScriptArray* local) {
  const ScriptPools& pools = se.pools;
  std::vector<const std::string*> names;
  for (uint32_t shape = local->shape; shape > ScriptPools::kEmptyShape; shape = pools.shapeParents[shape].first)
    names.insert(names.begin(), &pools.shapeParents[shape].second);
  bool holds = names.size() == local->shapeSize && local->kind == kCompoundObject && !local->memberIndex;
  for (size_t i = 0; holds && i < local->elements.size(); i++) {
    const CScriptValue* member = local->elements[i];
    holds = i < names.size() ? member && member->text == *names[i] : !member;
  }
  ENGINE_ASSERT(holds, "stale namespace shape");
}

// The step's variables from the slots kept for the local namespace's
// shape; false when a slot is not there.
// The slot a member stands in, when the namespace is small enough to look.
int32_t SlotOf(const CScriptArray* a, const CScriptValue* member) {
  constexpr size_t kMostSlotsSearched = 64;
  size_t count = a->elements.size() < kMostSlotsSearched ? a->elements.size() : kMostSlotsSearched;
  for (size_t i = 0; i < count; i++)
    if (a->elements[i] == member) return int32_t(i);
  return -1;
}

// LookupName for a linked name when the link no longer holds, through its
// hints; the link then holds the result. Null when there is no such
// variable (the link is left as it was).
CScriptValue* ResolveAgain(ScriptEngine& se, CScriptLiteral* holder, const std::string& name, const Scope& scope) {
  RunLink& link = holder->link;
  LinkHints& hint = RunOf(holder).hints;
  LinkNameBit(hint, name);
  CScriptValue* found = nullptr;
  // A namespace of the shape the link was last resolved under has the name
  // where that one had it.
  const uint32_t shape = ScopeShape(scope);
  if (shape && hint.shape == shape) {
    if (hint.slot >= 0) {
      if (size_t(hint.slot) < scope.local->elements.size()) found = scope.local->elements[size_t(hint.slot)];
    } else if (scope.globalStamp && hint.globalValueStamp == scope.globalStamp) {
      found = hint.globalValue;
    }
    if (found) {
      if (__builtin_expect(scope.verify, 0)) VerifyShape(se, scope.local);
      link.value = found;
      link.localStamp = scope.localStamp;
      link.globalStamp = scope.globalStamp;
      return found;
    }
  }
  if (CScriptArray* local = scope.local) {
    const char* last = name.c_str() + hint.lastOffset;
    bool tree = !local->memberIndex;
    if (tree && local->kind == kCompoundObject && hint.slot >= 0 && size_t(hint.slot) < local->elements.size()) {
      CScriptValue* member = local->elements[size_t(hint.slot)];
      if (member && SameName(member->text, last, hint.lastLength)) found = member;
    }
    if (!found && (!tree || (local->nameBits & hint.nameBit))) {
      found = FindMember(local, last);
      if (found) hint.slot = SlotOf(local, found);
    }
  }
  if (!found) {
    if (hint.globalValueStamp != scope.globalStamp || !scope.globalStamp) {
      hint.globalValue = LookupGlobalName(se, name.c_str());
      hint.globalValueStamp = scope.globalStamp;
    }
    found = hint.globalValue;
  }
  if (found) {
    link.value = found;
    link.localStamp = scope.localStamp;
    link.globalStamp = scope.globalStamp;
    hint.shape = 0;
    if (shape) {
      if (found->owner == scope.local) {
        if (hint.slot >= 0 && size_t(hint.slot) < scope.local->elements.size() &&
            scope.local->elements[size_t(hint.slot)] == found)
          hint.shape = shape;
      } else if (found == hint.globalValue && hint.globalValueStamp == scope.globalStamp) {
        hint.slot = -1;
        hint.shape = shape;
      }
    }
  }
  return found;
}

// What LookupName finds for a linked name.
// `holder` is the word that keeps the link: the name word, or the jump word
// of a label literal.
[[gnu::always_inline]] inline CScriptValue* ResolveName(ScriptEngine& se, CScriptLiteral* holder,
                                                        const std::string& name, const Scope& scope) {
  if (LinkHolds(holder->link, scope)) return holder->link.value;
  return ResolveAgain(se, holder, name, scope);
}

// The text a label or callee operand is named by in messages: the
// variable's name, else the word's own text.
const char* OperandName(Operand& o) {
  if (o.value.name) return o.value.name;
  return WordPrintedText(*o.word);
}

// A jump word's link made for another label literal, and its hints, are of
// another name: they start afresh for `label`.
void RelinkForLabel(CScriptLiteral* jump, const CScriptLiteral* label) {
  if (jump->link.origin == label) return;
  jump->link = RunLink{};
  jump->link.origin = label;
  if (jump->run) jump->run->hints = LinkHints{};
}

// Sends the thread to the word after the definition of the label named by
// `name`, through the jump word's link; `origin` is the string literal of
// the code the name came from (null: a computed name, never linked).
void JumpToNamedLabel(ScriptEngine& se, ScriptThread* t, CScriptLiteral* jump, const CScriptLiteral* origin,
                      const char* name) {
  CScriptValue* named;
  if (origin) {
    RelinkForLabel(jump, origin);
    named = ResolveName(se, jump, origin->text, CurrentScope(se));
    if (named && se.run.verifyLinks) VerifyLink(se, name, named);
  } else {
    named = LookupName(se, name);
  }
  const CScriptValue* v = FollowRefer(named);
  if (!v) RaiseScriptError(Sjis("ジャンプ先のラベル[%s]が存在しません。"), name);
  if (v->type != kValueFunction && v->type != kValueSystemCall)
    RaiseScriptError(Sjis("ラベル名ではない字句[%s]にジャンプしようとしています。"), name);
  if (!v->data.word) RaiseScriptError(Sjis("ジャンプ先のラベル[%s]が存在しません。"), name);
  t->currentWord = v->data.word->next;
}

// The same for a popped string word.
void JumpToLabel(ScriptEngine& se, ScriptThread* t, CScriptLiteral* jump, CScriptLiteral* label, const char* name) {
  // Only a string literal's copy names the same label every time.
  JumpToNamedLabel(se, t, jump, label->kind == kWordString ? label->link.origin : nullptr, name);
}

// Pops a jump's label operand, which must be a string. A string word is
// taken as it is (its text read as a number is of no use here).
Operand PopLabel(WordStack& data) {
  Operand label;
  label.word = StackPop(data);
  if (label.word->kind == kWordString) {
    label.kind = kOperandString;
    label.value = StackOperand{};
    label.value.text = label.word->text.c_str();
    return label;
  }
  label.kind = LookupStackVariable(label.word, &label.value);
  if (label.kind != kOperandString)
    RaiseScriptError(Sjis("ジャンプ先のラベル[%s]が文字列形式ではありません"), OperandName(label));
  return label;
}

// The folder of the script file that holds the executing code: the file's
// name up to its last separator; a name without one after its first
// character stays whole.
void EnterFile(ScriptEngine& se, const char* fileName) {
  se.run.lastFile = fileName;
  if (!fileName) return;
  std::string_view name(fileName);
  size_t cut = name.find_last_of("/\\");
  se.currentFolder.assign(cut == std::string_view::npos || cut == 0 ? name : name.substr(0, cut));
}

}  // namespace

CScriptValue* LinkName(ScriptEngine& se, CScriptLiteral* word) {
  if (CScriptValue* v = ResolveName(se, word, word->text, CurrentScope(se))) {
    if (se.run.verifyLinks) VerifyLink(se, word->text.c_str(), v);
    return v;
  }
  CScriptValue* v = DefineVariable(se, word->text.c_str(), kValueUndefined, kAttrUntyped);
  KeepLink(se, &word->link, v, nullptr);
  return v;
}

// ============================================================================
// [SECTION] System interrupts
//
// `__system_interrupt__(operands..., "name")`: thread control and two small
// queries. The name is the last operand, on top of the stack.
// ============================================================================

namespace {

enum class InterruptResult { Continue, EndSlice };

// A thread index operand: int or float (truncated).
int32_t PopThreadIndex(WordStack& data, const char* notNumber) {
  Operand n = PopOperand(data);
  if (n.kind != kOperandInt && n.kind != kOperandFloat) RaiseScriptError("%s", notNumber);
  return n.value.i;
}

InterruptResult SystemInterrupt(ScriptEngine& se, ScriptThread* t, int32_t index) {
  WordStack& data = t->data;
  Operand op = PopOperand(data);
  if (op.kind != kOperandString)
    RaiseScriptError("%s", Sjis("システム割り込み命令の最後の引数が文字列型ではありません。"));
  const char* name = op.value.text ? op.value.text : "";
  if (std::strcmp(name, "wait") == 0) {
    Operand n = PopOperand(data);
    if (n.kind != kOperandInt && n.kind != kOperandFloat)
      RaiseScriptError("%s", Sjis("waitシステム割り込み命令の引数に数値以外が指定されています。"));
    if (n.value.i < 1)
      RaiseScriptError("%s", Sjis("waitシステム割り込み命令の引数にゼロまたは負の値が指定されています。"));
    t->wait = n.value.i;
    StackPushInt(se, data, 1);
  } else if (std::strcmp(name, "create_thread") == 0) {
    CScriptLiteral* argument = StackPop(data);
    Operand function = PopOperand(data);
    if (function.kind != kOperandFunction)
      RaiseScriptError("%s", Sjis("create_threadシステム割り込み命令は関数以外ではスレッドを作成できません。"));
    // A function handle word refers to no variable: no target function.
    int32_t created = CreateThreadFromValue(se, function.value.variable, argument);
    StackPushInt(se, data, created);
  } else if (std::strcmp(name, "get_thread_id") == 0) {
    StackPushInt(se, data, index);
  } else if (std::strcmp(name, "exist_value") == 0) {
    Operand path = PopOperand(data);
    if (path.kind != kOperandString)
      RaiseScriptError("%s", Sjis("exist_valueシステム割り込み命令の引数に文字列以外が指定されています。"));
    bool found = FindGlobalVariable(se, path.value.text) != nullptr;
    StackPushInt(se, data, found ? 1 : 0);
  } else if (std::strcmp(name, "exit_thread") == 0) {
    int32_t target = PopThreadIndex(data, Sjis("exit_threadシステム割り込み命令の引数に数値以外が指定されています。"));
    if (target < 0 || size_t(target) >= se.threads.size())
      RaiseScriptError("%s", Sjis("exit_threadシステム割り込み命令の引数にスレッド数上限を超える値または負の値が指定されています。"));
    EndThread(se, target);
    // The running thread's stacks are gone with it: nothing more of it runs.
    if (target == index) return InterruptResult::EndSlice;
    StackPushInt(se, data, 0);
  } else if (std::strcmp(name, "pause_thread") == 0) {
    Operand flag = PopOperand(data);
    Operand target = PopOperand(data);
    // An index outside the table names no thread: nothing is written.
    int32_t i = target.value.i;
    if (i >= 0 && size_t(i) < se.threads.size() && se.threads[size_t(i)])
      se.threads[size_t(i)]->runWhilePaused = flag.value.i;
    StackPushInt(se, data, 1);
  } else if (std::strcmp(name, "exit_application") == 0) {
    Operand code = PopOperand(data);
    if (se.run.exitApplication) {
      se.run.exitApplication(code.value.i);
      return InterruptResult::EndSlice;
    }
    std::fflush(nullptr);
    std::exit(code.value.i);
  } else {
    RaiseScriptError(Sjis("[%s]はシステム割り込み命令のオペランドではありません。"), name);
  }
  return InterruptResult::Continue;
}

// The call instruction: a label (string callee), a system call, or a
// function.
void CallInstruction(ScriptEngine& se, ScriptThread* t, int32_t index, CScriptLiteral* callWord) {
  Operand callee = PopOperand(t->data);
  if (callee.kind == kOperandString) {
    // A label called as a subroutine: its namespace is named by the label.
    std::string label = callee.value.text ? callee.value.text : "";
    StackPushHandle(se, t->calls, t->currentWord);
    PushLocalNamespace(se, label.c_str());
    JumpToLabel(se, t, callWord, callee.word, label.c_str());
    return;
  }
  if (callee.kind != kOperandFunction)
    RaiseScriptError(Sjis("ジャンプ先のラベル[%s]が文字列形式ではありません"), OperandName(callee));
  CScriptValue* function = callee.value.variable ? FollowRefer(callee.value.variable) : nullptr;
  if (function && function->type == kValueSystemCall) {
    CallSystemFunction(se, t->data, function, callWord);
    return;
  }
  CScriptLiteral* target = callee.value.target;
  if (!target) RaiseScriptError(Sjis("ジャンプ先の関数[%s]の実体がありません。"), OperandName(callee));
  StackPushHandle(se, t->calls, t->currentWord);
  PushCallNamespace(se, target);
  if (function) {
    ResolveFunctionTarget(se, function, index);
  } else {
    t->currentWord = target->next;  // a function handle word: its target
  }
}

}  // namespace

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

namespace {

bool IsNameWord(const CScriptLiteral* w) { return w && (w->kind == kWordName || w->kind == kWordFunctionName); }
bool IsIntOperand(const CScriptLiteral* w) { return w && (w->kind == kWordInt || IsNameWord(w)); }
bool IsComparison(int kind) {
  return kind == kWordGreater || kind == kWordLess || kind == kWordGreaterEqual || kind == kWordLessEqual ||
         kind == kWordEqual || kind == kWordNotEqual;
}
// A comparison as a mask of the outcomes it holds for (bit 0: less, 1:
// equal, 2: greater), so that a step compares without a switch.
constexpr uint8_t ComparisonMask(int kind) {
  switch (kind) {
    case kWordGreater: return 4;
    case kWordLess: return 1;
    case kWordGreaterEqual: return 6;
    case kWordLessEqual: return 3;
    case kWordEqual: return 2;
    default: return 5;  // kWordNotEqual
  }
}

bool IsIntArithmetic(int kind) { return kind == kWordAdd || kind == kWordSubtract || kind == kWordMultiply; }
bool IsIntCompoundAssign(int kind) {
  return kind == kWordAddAssign || kind == kWordSubtractAssign || kind == kWordMultiplyAssign ||
         kind == kWordBitAndAssign || kind == kWordBitOrAssign || kind == kWordXorAssign;
}
bool IsIncrement(int kind) {
  return kind == kWordIncrement || kind == kWordDecrement || kind == kWordPrefixIncrement ||
         kind == kWordPrefixDecrement;
}
int KindAt(CScriptLiteral* const* words, int i) { return words[i] ? words[i]->kind : -1; }

// The step that starts at words[0], or Nop when the words form none.
Opcode MatchStep(CScriptLiteral* const* words, CodeStep* s) {
  CScriptLiteral* a = words[0];
  int k1 = KindAt(words, 1), k2 = KindAt(words, 2), k3 = KindAt(words, 3), k4 = KindAt(words, 4),
      k5 = KindAt(words, 5);
  if (a && a->kind == kWordString && k1 == kWordJump) {
    s->label = a;
    s->jump = words[1];
    s->length = 2;
    return Opcode::StepJump;
  }
  if (!IsNameWord(a)) return Opcode::Nop;
  s->a = a;
  if (k1 == kWordCallCode) {
    s->length = 2;
    return Opcode::StepCall;
  }
  if (k1 == kWordReturnCode) {
    s->length = 2;
    return Opcode::StepReturn;
  }
  if (IsIncrement(k1) && k2 == kWordSemicolon) {
    s->operation = uint8_t(k1);
    s->length = 3;
    s->statement = true;
    return Opcode::StepIncrement;
  }
  if (!IsIntOperand(words[1])) return Opcode::Nop;
  s->b = words[1];
  if ((IsComparison(k2) || k2 == kWordIndex) && k3 == kWordString && k4 == kWordJumpIfFalse) {
    s->operation = uint8_t(k2);
    s->label = words[3];
    s->jump = words[4];
    s->length = 5;
    return k2 == kWordIndex ? Opcode::StepIndexJump : Opcode::StepCompareJump;
  }
  if (k2 == kWordIndex && IsIntOperand(words[3]) && k4 == kWordAssign && k5 == kWordSemicolon) {
    s->c = words[3];
    s->length = 6;
    s->statement = true;
    return Opcode::StepIndexAssign;
  }
  if (IsIntCompoundAssign(k2) && k3 == kWordSemicolon) {
    s->operation = uint8_t(k2);
    s->length = 4;
    s->statement = true;
    return Opcode::StepCompoundAssign;
  }
  if (k2 == kWordAssign && k3 == kWordSemicolon) {
    s->length = 4;
    s->statement = true;
    return Opcode::StepAssign;
  }
  // The right operand may be a text literal for "+": a text variable that
  // takes itself plus a piece grows in place (RunAssignBinary).
  if ((IsIntOperand(words[2]) || (k3 == kWordAdd && KindAt(words, 2) == kWordString)) && IsIntArithmetic(k3) &&
      k4 == kWordAssign) {
    s->c = words[2];
    s->operation = uint8_t(k3);
    s->statement = k5 == kWordSemicolon;
    s->length = s->statement ? 6 : 5;
    return Opcode::StepAssignBinary;
  }
  if (IsIntArithmetic(k2) || IsComparison(k2)) {
    s->operation = uint8_t(k2);
    s->length = 3;
    return Opcode::StepPushBinary;
  }
  return Opcode::Nop;
}

// Decodes the word: the step it starts, else its own opcode.
void DecodeStep(ScriptEngine& se, CScriptLiteral* w) {
  RunState& run = se.run;
  if (run.stepsEpoch != run.codeEpoch) {
    run.steps.clear();
    run.stepsEpoch = run.codeEpoch;
  }
  w->stepEpoch = run.codeEpoch;
  w->step = nullptr;
  w->stepOp = uint8_t(kOpcodeOfKind[w->kind]);
  constexpr int kLook = 9;
  CScriptLiteral* words[kLook] = {};
  words[0] = w;
  for (int i = 1; i < kLook && words[i - 1]; i++) words[i] = words[i - 1]->next;
  CodeStep s;
  Opcode op = MatchStep(words, &s);
  if (op == Opcode::Nop) return;
  // A step that jumps on may take the next "label" goto along.
  bool conditional = op == Opcode::StepCompareJump || op == Opcode::StepIndexJump;
  if ((s.statement || conditional) && s.length + 2 <= kMostStepWords && KindAt(words, s.length) == kWordString &&
      KindAt(words, s.length + 1) == kWordJump) {
    s.tailLabel = words[s.length];
    s.tailJump = words[s.length + 1];
  }
  s.last = words[s.length - 1];
  s.after = words[s.length];
  s.op = uint8_t(op);
  s.link = w->position.linkIndex;
  s.first = w;
  if (IsComparison(s.operation)) s.compareMask = ComparisonMask(s.operation);
  // The words of a step all come from one file and link, so setting the
  // folder and link once stands for every word.
  int covered = s.tailJump ? s.length + 2 : s.length;
  for (int i = 1; i < covered; i++)
    if (words[i]->position.fileName != w->position.fileName || words[i]->position.linkIndex != w->position.linkIndex)
      return;
  run.steps.push_back(s);
  w->step = &run.steps.back();
  w->stepOp = uint8_t(op);
}

// What a jump word of the step finds for its label literal: the label's
// variable, or null. The word's link is set up for the literal as the jump
// itself would set it up.
CScriptValue* ResolveLabel(ScriptEngine& se, CScriptLiteral* jump, const CScriptLiteral* label, const Scope& scope) {
  if (!jump) return nullptr;
  RelinkForLabel(jump, label);
  return ResolveName(se, jump, label->text, scope);
}

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

// Keeps where the step's variables were found, for other namespaces of the
// same shape.
void KeepShapeSlots(CodeStep& s, const Scope& scope) {
  s.shape = 0;
  uint32_t shape = ScopeShape(scope);
  if (!shape) return;
  CScriptValue* v[5] = {s.va, s.vb, s.vc, s.vLabel, s.vTail};
  s.shapeUsed = 0;
  for (int i = 0; i < 5; i++) {
    s.shapeSlots[i] = -1;
    s.shapeGlobals[i] = nullptr;
    if (!v[i]) continue;
    s.shapeUsed = uint8_t(i + 1);
    if (v[i]->owner != scope.local) {
      s.shapeGlobals[i] = v[i];
      continue;
    }
    int32_t slot = SlotOf(scope.local, v[i]);
    if (slot < 0 || slot > 127) return;
    s.shapeSlots[i] = int8_t(slot);
  }
  s.shape = shape;
  s.shapeGlobalStamp = scope.globalStamp;
}

// The step's variables and labels from its words' links, and where they
// were found for the local namespace's shape. False when a name has no
// variable yet (its word makes one when it runs).
[[gnu::noinline]] bool StepResolveAll(ScriptEngine& se, CodeStep& s, const Scope& scope) {
  CScriptValue *a = nullptr, *b = nullptr, *c = nullptr;
  if (IsNameWord(s.a) && !(a = ResolveName(se, s.a, s.a->text, scope))) return false;
  if (IsNameWord(s.b) && !(b = ResolveName(se, s.b, s.b->text, scope))) return false;
  if (IsNameWord(s.c) && !(c = ResolveName(se, s.c, s.c->text, scope))) return false;
  s.va = a;
  s.vb = b;
  s.vc = c;
  s.vLabel = ResolveLabel(se, s.jump, s.label, scope);
  s.vTail = ResolveLabel(se, s.tailJump, s.tailLabel, scope);
  KeepShapeSlots(s, scope);
  s.localStamp = scope.localStamp;
  s.globalStamp = scope.globalStamp;
  return true;
}

// The step's variables and labels when the stamps have moved on: by the
// slots kept for the local namespace's shape, else from its words' links.
// Out of the steps' way: their loops seldom come here.
[[gnu::noinline]] bool StepVariablesAgain(ScriptEngine& se, CodeStep& s, const Scope& scope) {
  // A chained step comes here without what the loop's turn sets for its
  // first word: where a lookup's errors are placed, and the link whose
  // file-level names it finds.
  se.run.executing = s.first;
  se.namespaces.currentLink = s.link;
  if (s.shape && s.shape == ScopeShape(scope) && s.shapeGlobalStamp == scope.globalStamp &&
      ShapeVariables(s, scope)) {
    if (__builtin_expect(scope.verify, 0)) VerifyShape(se, scope.local);
    s.localStamp = scope.localStamp;
    s.globalStamp = scope.globalStamp;
    return true;
  }
  return StepResolveAll(se, s, scope);
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

[[gnu::always_inline]] inline bool IntComparison(int kind, int32_t x, int32_t y) {
  switch (kind) {
    case kWordGreater: return x > y;
    case kWordLess: return x < y;
    case kWordGreaterEqual: return x >= y;
    case kWordLessEqual: return x <= y;
    case kWordEqual: return x == y;
    default: return x != y;  // kWordNotEqual
  }
}

// An int on the stack given `value` in its own record: what popping it and
// pushing the value would leave there.
[[gnu::always_inline]] inline void ReplaceStackInt(CScriptLiteral* w, int32_t value) {
  w->text.clear();
  w->link.origin = nullptr;
  w->payload = ScriptPayload{};
  w->payload.i = value;
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

// Each Run* returns null, having changed nothing, when the step cannot
// run; the caller then runs its first word alone. Otherwise it returns
// where the step that may follow is kept (FinishStep).

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunCompareJump(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                        const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 2)) return nullptr;
  int32_t x, y;
  if (!StepVariables<kVerify>(se, s, scope) || !ReadInt(s.a, s.va, &x) || !ReadInt(s.b, s.vb, &y)) return nullptr;
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

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunCompoundAssign(ScriptEngine& se, ScriptThread* t, CodeStep& s,
                                                           const Scope& scope, int32_t* count) {
  if (!StackRoom(t->data, 2)) return nullptr;
  int32_t y;
  if (!StepVariables<kVerify>(se, s, scope) || !IsIntTarget(s.va) || !ReadInt(s.b, s.vb, &y)) return nullptr;
  StoreInt(s.va, IntArithmetic(s.operation, s.va->data.i, y));
  return FinishStatement<kVerify>(se, t, s, count);
}

template <bool kVerify>
[[gnu::always_inline]] inline CodeStep** RunAssign(ScriptEngine& se, ScriptThread* t, CodeStep& s, const Scope& scope,
                                                   int32_t* count) {
  if (!StackRoom(t->data, 2)) return nullptr;
  int32_t y;
  if (!StepVariables<kVerify>(se, s, scope) || !IsIntTarget(s.va) || !ReadInt(s.b, s.vb, &y)) return nullptr;
  StoreInt(s.va, y);
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
  if (!StepVariables<kVerify>(se, s, scope) || !ReadInt(s.a, s.va, &x) || !ReadInt(s.b, s.vb, &y)) return nullptr;
  int32_t result = IsComparison(s.operation) ? int32_t(MaskComparison(s.compareMask, x, y))
                                             : IntArithmetic(s.operation, x, y);
  StackPushInt(se, t->data, result);
  return FinishStep(se, t, s.last, s.after, s.length, count, &s.afterStep);
}

// "t = t + piece" for a text variable t: the piece (an int's "%d", a
// float's "%f", a text) is appended in place. The words would build the
// joined text, push it and assign it to t: the same text, copied twice more.
bool AppendInPlace(ScriptEngine& se, const CodeStep& s) {
  CScriptValue* v = s.va;
  if (s.operation != kWordAdd || !v || v != s.vb || v->type != kValueString || (v->attributes & kAttrConst))
    return false;
  char number[kFloatTextBytes];
  const char* piece;
  size_t length;
  const CScriptValue* r = s.vc;
  if (r && r->type == kValueRefer) r = FollowRefer(r);
  int type;
  if (s.vc) type = r ? r->type : -1;  // null: a refer loop, which the words report
  else type = s.c->kind == kWordInt ? kValueInt : s.c->kind == kWordString ? kValueString : -1;
  switch (type) {
    case kValueInt: {
      int32_t i = r ? r->data.i : s.c->payload.i;
      length = size_t(std::snprintf(number, sizeof number, "%d", i));
      piece = number;
      break;
    }
    case kValueFloat:
      length = size_t(std::snprintf(number, sizeof number, "%f", double(r->data.f)));
      piece = number;
      break;
    case kValueString: {
      const std::string& text = r ? r->stringValue.str() : s.c->text;
      piece = text.c_str();
      length = text.size();
      break;
    }
    default: return false;  // no number or text, or a refer loop
  }
  std::string& target = v->stringValue.Own();
  // The joined text's limit, checked as the words would.
  if (target.size() + length > se.run.maxTextBytes) return false;
  target.append(piece, length);  // appending itself is allowed
  return true;
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

template <bool kVerify>
bool RunCall(ScriptEngine& se, ScriptThread* t, CodeStep& s, const Scope& scope, int32_t* count, int32_t limit) {
  if (!StackRoom(t->data, 1)) return false;
  se.namespaces.currentLink = s.link;  // a first call makes its namespace by name
  if (!StepVariables<kVerify>(se, s, scope)) return false;
  CScriptValue* function = s.va->type == kValueRefer ? FollowRefer(s.va) : s.va;
  if (!function || function->type != kValueFunction || !function->data.word) return false;
  // From here on it is the call word's work, and its errors are placed there.
  CScriptLiteral* entry = function->data.word;
  FinishStep(se, t, s.last, s.after, s.length, count, nullptr);
  StackPushHandle(se, t->calls, s.after);
  PushCallNamespace(se, entry);
  CScriptLiteral* first = entry->next;
  t->currentWord = first;
  // The callee's first word binds its first parameter, mostly: it runs
  // here, as the loop's next turn would run it (below the limit, in the
  // same file).
  if (first && first->kind == kWordPopValue && *count < limit && first->position.fileName == se.run.lastFile) {
    t->currentWord = first->next;
    se.run.executing = first;
    se.namespaces.currentLink = first->position.linkIndex;
    ExecuteBindParameter(se, t);
    ++*count;
  }
  return true;
}

// No step may follow: what a step keeps for a way out that leads to no
// step, or to one that may not follow directly.
CodeStep kNoStep;

// The step that may follow directly at `next`, for a step that ran in the
// current file: the step of this code version that starts there, in the
// same file.
[[gnu::noinline]] CodeStep* FollowingStep(ScriptEngine& se, CScriptLiteral* next) {
  if (!next) return &kNoStep;
  if (next->stepEpoch != se.run.codeEpoch) DecodeStep(se, next);
  if (!IsChainedStep(Opcode(next->stepOp)) || next->position.fileName != se.run.lastFile) return &kNoStep;
  return next->step;
}

}  // namespace

// ============================================================================
// [SECTION] Execute
//
// One slice of one thread: words run until the thread waits or ends. Each
// turn first tests the instruction counter, then the wait counter, then
// takes the next word.
// ============================================================================

namespace {

template <bool kVerify>
void Execute(ScriptEngine& se, int32_t index) {
  ScriptThread* t = se.threads[size_t(index)];
  WordStack& data = t->data;
  const int32_t limit = se.run.instructionLimit;
  int32_t count = 0;
  Scope scope{};
  bool scopeKnown = false;
  CodeStep* step = nullptr;  // the step being run
  CodeStep** successor;      // where the step that ran keeps the one that may follow
  const int32_t chainLimit = limit - kMostStepWords;
  // Each step's own jump for a step that follows another (script_dispatch.h).
  VM_STEP_TABLE;
  for (;;) {
    if (count == limit) RaiseScriptError("%s", Sjis("システムに処理を返しません。無限ループの疑い。"));
    if (t->wait != 0) {
      if (t->wait < 0) t->currentWord = nullptr;  // the thread ends
      else t->wait--;
      return;
    }
    CScriptLiteral* w = t->currentWord;
    if (!w) return;
    t->currentWord = w->next;
    se.run.executing = w;
    se.namespaces.currentLink = w->position.linkIndex;
    if (w->position.fileName != se.run.lastFile) EnterFile(se, w->position.fileName);

    if (w->stepEpoch != se.run.codeEpoch) DecodeStep(se, w);
    Opcode op = Opcode(w->stepOp);
    if (op >= kFirstStep) {
      // A step runs only when all of its words fit below the limit.
      if (count > chainLimit || !se.run.runSteps) {
        op = kOpcodeOfKind[w->kind];
      } else {
        step = w->step;
        if (!scopeKnown) {
          scope = CurrentScope(se);
          scopeKnown = true;
        }
      }
    }
  dispatch:
    switch (op) {
      VM_STEP_CASE(StepCompareJump):
        if ((successor = RunCompareJump<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepIndexJump):
        if ((successor = RunIndexJump<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepIncrement):
        if ((successor = RunIncrement<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepCompoundAssign):
        if ((successor = RunCompoundAssign<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepAssign):
        if ((successor = RunAssign<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepIndexAssign):
        if ((successor = RunIndexAssign<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepPushBinary):
        if ((successor = RunPushBinary<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepAssignBinary):
        if ((successor = RunAssignBinary<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepJump):
        if ((successor = RunJump<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepReturn):
        if (RunReturn<kVerify>(se, t, *step, scope, &count)) {
          scopeKnown = false;  // back in the caller's namespace
          continue;
        }
        goto stepFailed;
      VM_STEP_CASE(StepCall):
        if (RunCall<kVerify>(se, t, *step, scope, &count, limit)) {
          // The callee's namespace; its code mostly starts with a step
          // (after the binding the call took along), which starts here as
          // the loop's turn would start it.
          scope = CurrentScope(se);
          scopeKnown = true;
          w = t->currentWord;
          if (!w || count > chainLimit || w->position.fileName != se.run.lastFile) continue;
          if (w->stepEpoch != se.run.codeEpoch) DecodeStep(se, w);
          if (!IsChainedStep(Opcode(w->stepOp))) continue;
          step = w->step;
          if (kVerify) {
            VerifyChained(se, w, step);
            se.namespaces.currentLink = step->link;
          }
          VM_GOTO_STEP(step);
        }
        goto stepFailed;
      case Opcode::Nop: break;
      case Opcode::End: t->wait = -1; break;
      case Opcode::PushInt: StackPushInt(se, data, w->payload.i); break;
      case Opcode::PushFloat: StackPushFloat(se, data, w->payload.f); break;
      case Opcode::PushString: {
        // A label literal followed by its jump, the commonest pair of every
        // loop and branch: the jump runs at once with the literal's name,
        // without the push and pop between them. Both words count, and the
        // pair is taken apart near the instruction limit, so the endless-loop
        // error stands where it would.
        CScriptLiteral* jump = w->next;
        Opcode jumpOp = jump ? kOpcodeOfKind[jump->kind] : Opcode::Nop;
        if ((jumpOp == Opcode::Jump || jumpOp == Opcode::JumpIfFalse) && count + 1 < limit) {
          count++;
          t->currentWord = jump->next;
          se.run.executing = jump;
          se.namespaces.currentLink = jump->position.linkIndex;
          if (jump->position.fileName != se.run.lastFile) EnterFile(se, jump->position.fileName);
          if (jumpOp == Opcode::Jump) {
            JumpToNamedLabel(se, t, jump, w, w->text.c_str());
          } else {
            bool valid = false;
            bool truth = ConditionIsTrue(StackPop(data), &valid);
            if (valid && !truth) JumpToNamedLabel(se, t, jump, w, w->text.c_str());
          }
          break;
        }
        StackPushText(se, data, w->text.c_str(), kWordString)->link.origin = w;
        break;
      }
      case Opcode::PushHandle: StackPushHandle(se, data, w->payload.word)->text = w->text; break;
      case Opcode::PushName: StackPushReference(se, data, LinkName(se, w))->link.origin = w; break;
      case Opcode::Add:
      case Opcode::Subtract:
      case Opcode::Multiply:
        // Two ints on top (call results, mostly): ExecuteBinary's int case,
        // the result written into the left operand's record, where its push
        // would go.
        if (data.end >= 2) {
          CScriptLiteral* l = data.entries[size_t(data.end - 2)];
          const CScriptLiteral* r = data.entries[size_t(data.end - 1)];
          if (l->kind == kWordInt && r->kind == kWordInt) {
            int32_t x = l->payload.i, y = r->payload.i;
            int32_t result = op == Opcode::Add ? WrapAdd(x, y) : op == Opcode::Subtract ? WrapSub(x, y) : WrapMul(x, y);
            data.end--;
            ReplaceStackInt(l, result);
            break;
          }
        }
        ExecuteBinary(se, data, op);
        break;
      case Opcode::Divide:
      case Opcode::Modulo:
      case Opcode::Greater:
      case Opcode::Less:
      case Opcode::GreaterEqual:
      case Opcode::LessEqual:
      case Opcode::Equal:
      case Opcode::NotEqual:
      case Opcode::Xor:
      case Opcode::BitAnd:
      case Opcode::BitOr:
      case Opcode::ShiftLeft:
      case Opcode::ShiftRight:
      case Opcode::LogicalAnd:
      case Opcode::LogicalOr: ExecuteBinary(se, data, op); break;
      case Opcode::Assign: ExecuteAssign(se, data); break;
      case Opcode::AddAssign:
      case Opcode::SubtractAssign:
      case Opcode::MultiplyAssign:
      case Opcode::DivideAssign:
      case Opcode::ModuloAssign:
      case Opcode::BitAndAssign:
      case Opcode::BitOrAssign:
      case Opcode::XorAssign: ExecuteCompoundAssign(se, data, op); break;
      case Opcode::PostIncrement:
      case Opcode::PostDecrement:
      case Opcode::PreIncrement:
      case Opcode::PreDecrement: ExecuteIncrement(se, data, op); break;
      case Opcode::Not:
      case Opcode::BitNot:
      case Opcode::Plus:
      case Opcode::Negate: ExecuteUnary(se, data, op); break;
      case Opcode::Discard: StackTrimToMarker(data); break;
      case Opcode::Member: ExecuteMember(se, data, w); break;
      case Opcode::Declare: ExecuteDeclare(se, t, w); break;
      case Opcode::JumpIfFalse:
      case Opcode::JumpIfTrue: {
        Operand label = PopLabel(data);
        bool valid = false;
        bool truth = ConditionIsTrue(StackPop(data), &valid);
        // A condition that is no number or text jumps neither way.
        if (valid && truth == (op == Opcode::JumpIfTrue))
          JumpToLabel(se, t, w, label.word, label.value.text);
        break;
      }
      case Opcode::Jump: {
        Operand label = PopLabel(data);
        JumpToLabel(se, t, w, label.word, label.value.text);
        break;
      }
      case Opcode::Call: CallInstruction(se, t, index, w); break;
      case Opcode::Return: ReturnFromCall(se, index); break;
      case Opcode::Interrupt:
        if (SystemInterrupt(se, t, index) == InterruptResult::EndSlice) return;
        break;
      case Opcode::Index: ExecuteIndex(se, data); break;
      case Opcode::Marker: {
        // StackPushText's work, without its text copy, for a record that
        // holds no compound.
        CScriptLiteral* m = StackPushSlot(se, data);
        if (m->kind == kWordCompound) {
          SetValueFromText(se.pools, m, "@", kWordCallMarker);
          break;
        }
        m->payload = ScriptPayload{};
        m->text.push_back('@');
        m->kind = kWordCallMarker;
        break;
      }
      case Opcode::BindParameter: ExecuteBindParameter(se, t); break;
      case Opcode::CastInt:
        // An int on top is popped and pushed back as the same int, into the
        // same record (a call's result, mostly).
        if (data.end > 0 && data.entries[size_t(data.end - 1)]->kind == kWordInt) {
          CScriptLiteral* top = data.entries[size_t(data.end - 1)];
          ReplaceStackInt(top, top->payload.i);
          break;
        }
        ExecuteCast(se, data, op);
        break;
      case Opcode::CastFloat:
      case Opcode::CastString:
      case Opcode::CastFunction: ExecuteCast(se, data, op); break;
      case Opcode::BuildArray:
        StackPushCompound(se, data, BuildCompoundFromStack(se, data, kCompoundArray));
        break;
      case Opcode::BuildObject:
        StackPushCompound(se, data, BuildCompoundFromStack(se, data, kCompoundObject));
        break;
    }
    // A word may have made a name or changed the namespaces: the next step
    // reads them afresh. Steps themselves change neither, but for a call.
    scopeKnown = false;
    count++;
    continue;
  stepFailed:
    // A step that cannot run as one runs its first word alone, as the loop's
    // turn would. (A chained step had not set what the turn sets.)
    w = step->first;
    t->currentWord = w->next;
    se.run.executing = w;
    se.namespaces.currentLink = w->position.linkIndex;
    op = kOpcodeOfKind[w->kind];
    goto dispatch;
  chain:
    // A step that ran leads most often into another: that one starts here,
    // with what the loop's turn would check. A step that comes here neither
    // waits nor changes the namespaces (a call or a return goes on by
    // itself), and it stays below the limit. Which step follows at each way
    // out of a step is kept with it.
    {
      CodeStep* next = *successor;
      if (__builtin_expect(!next, 0)) next = *successor = FollowingStep(se, t->currentWord);
      if (next == &kNoStep || count > chainLimit) continue;
      if (kVerify) {
        VerifyChained(se, t->currentWord, next);
        se.namespaces.currentLink = next->link;  // the checks look names up
      }
      // What the loop's turn would set for the step's first word is left to
      // the step: the thread's next word and the word being executed are
      // its own when it runs, and the ways that read the current link or
      // may raise an error (a lookup, or running the first word alone) set
      // them first.
      step = next;
      VM_GOTO_STEP(step);
    }
  }
}

}  // namespace

// ============================================================================
// [SECTION] Frame step
// ============================================================================

namespace {

// What both exits of a step do: the per-step buffers go and the folder
// comes back.
void EndStep(ScriptEngine& se, const std::string& savedFolder) {
  se.namespaces.currentThread = -1;
  se.run.runningThread = -1;
  for (std::string& buffer : se.run.conversion) std::string().swap(buffer);
  std::vector<char>().swap(se.run.scratch);
  std::string().swap(se.run.text);
  std::string().swap(se.run.callFolder);
  se.currentFolder = savedFolder;
}

}  // namespace

int ScriptEngine::RunScriptFrame(int paused) {
  std::string savedFolder = currentFolder;
  int live = 0;
  int32_t lastKey = -1;
  int32_t failing = -1;
  run.lastFile = nullptr;
  run.executing = nullptr;
  bool failed = false;
  std::string failure;
  try {
    for (;;) {
      // The smallest key above the last one run; the first of equal keys.
      // By index: threads are created while the step runs.
      int32_t picked = -1;
      int32_t pickedKey = 0;
      for (size_t i = 0; i < threads.size(); i++) {
        const ScriptThread* candidate = threads[i];
        if (!candidate || candidate->orderKey <= lastKey) continue;
        if (picked < 0 || candidate->orderKey < pickedKey) {
          picked = int32_t(i);
          pickedKey = candidate->orderKey;
        }
      }
      if (picked < 0) break;
      lastKey = pickedKey;
      ScriptThread* t = threads[size_t(picked)];
      if (paused && !t->runWhilePaused) continue;
      namespaces.currentThread = picked;
      run.runningThread = picked;
      failing = picked;
      if (t->currentWord) live++;
      if (run.verifyLinks) Execute<true>(*this, picked);
      else Execute<false>(*this, picked);
      run.runningThread = -1;
    }
  } catch (const ScriptError& e) {
    failed = true;
    failure = e.text;
  } catch (const std::bad_alloc&) {
    failed = true;
    failure = Sjis("メモリが不足しています。");
  }
  if (!failed) {
    EndStep(*this, savedFolder);
    return live;
  }
  // The first error is kept with the word that raised it; the failing
  // thread's pending calls are listed; every thread ends.
  bool first = !run.error.stored;
  SetRunErrorOnce(failure.c_str(), run.executing ? &run.executing->position : nullptr);
  size_t kept = callList.size();
  if (failing >= 0) BuildCallList(*this, failing);
  if (!first) callList.resize(kept);  // the list belongs to the stored error
  for (ScriptThread* t : threads)
    if (t) t->currentWord = nullptr;
  EndStep(*this, savedFolder);
  return -1;
}

}  // namespace script
