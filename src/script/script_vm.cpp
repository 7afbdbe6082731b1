// script_vm.cpp -- the virtual machine: the one Execute() loop that runs a
// thread's slice word by word, the system interrupts it calls, and the frame
// step that gives every thread one slice in order-key order.
//
// The name links it reads through are in script_vm_links.cpp, the steps it
// runs in script_vm_steps.cpp; script_vm.h holds what the three share.
//
// Index:
//   [SECTION] Run-time errors
//   [SECTION] System interrupts and calls
//   [SECTION] Execute
//   [SECTION] Frame step

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "core/core_public.h"
#include "script/script_dispatch.h"
#include "script/script_vm.h"

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
// [SECTION] System interrupts and calls
//
// `__system_interrupt__(operands..., "name")`: thread control and two small
// queries. The name is the last operand, on top of the stack. Then the call
// instruction and its step.
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

// The step "f call" for a function called by name: a step runner
// (script_vm.h) kept beside the call instruction it stands for, which it
// hands over to when it cannot run.
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

// Whether the member step's member name is known to have no variable in
// the namespaces as they stand, while its holder name has one.
inline bool MemberNameMissing(const CodeStep& s, const Scope& scope) {
  return s.makeLocalStamp == scope.localStamp && s.makeGlobalStamp == scope.globalStamp &&
         (s.makeLocalStamp | s.makeGlobalStamp) && !scope.verify;
}

// A member step "a m ." whose member name m has no variable yet, while a
// has one: the name is made as its word would make it (the words would
// push a, which changes nothing, then make m), so the step can run. True
// when the name was made: the local namespace has changed, and the scope
// must be read again.
[[gnu::noinline]] bool MakeStepMemberName(ScriptEngine& se, ScriptThread* t, CodeStep& s, const Scope& scope) {
  if (!StackRoom(t->data, 2) || !s.a || !s.b || (s.b->kind != kWordName && s.b->kind != kWordFunctionName))
    return false;
  se.run.executing = s.first;
  se.namespaces.currentLink = s.link;
  if (!MemberNameMissing(s, scope)) {
    if (!ResolveName(se, s.a, s.a->text, scope) || ResolveName(se, s.b, s.b->text, scope)) return false;
    s.makeLocalStamp = scope.localStamp;
    s.makeGlobalStamp = scope.globalStamp;
  }
  se.run.executing = s.b;
  se.namespaces.currentLink = s.b->position.linkIndex;
  MakeName(se, s.b, scope);
  return true;
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
        if ((successor = RunIntAssign<kVerify, true>(se, t, *step, scope, &count))) goto chain;
        goto stepFailed;
      VM_STEP_CASE(StepAssign):
        if ((successor = RunIntAssign<kVerify, false>(se, t, *step, scope, &count))) goto chain;
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
      VM_STEP_CASE(StepMember):
        if (MemberNameMissing(*step, scope)) goto makeMemberName;
        if ((successor = RunMember<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto makeMemberName;
      VM_STEP_CASE(StepMemberOp):
        if (MemberNameMissing(*step, scope)) goto makeMemberName;
        if ((successor = RunMemberOp<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto makeMemberName;
      VM_STEP_CASE(StepMemberArith):
        if (MemberNameMissing(*step, scope)) goto makeMemberName;
        if ((successor = RunMemberArith<kVerify>(se, t, *step, scope, &count))) goto chain;
        goto makeMemberName;
      VM_STEP_CASE(StepElementMember):
        if ((successor = RunElementMember<kVerify>(se, t, *step, scope, &count))) goto chain;
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
          // Numbers read straight from the words or the variables they name
          // (members, mostly): ExecuteBinary's number cases.
          StackNumber x{}, y{};
          if (ReadStackNumber(l, &x) && ReadStackNumber(r, &y)) {
            data.end--;
            if (x.isInt && y.isInt) {
              ReplaceStackInt(l, op == Opcode::Add ? WrapAdd(x.i, y.i) : op == Opcode::Subtract ? WrapSub(x.i, y.i) : WrapMul(x.i, y.i));
              l->kind = kWordInt;
            } else {
              ReplaceStackFloat(l, op == Opcode::Add ? x.f + y.f : op == Opcode::Subtract ? x.f - y.f : x.f * y.f);
            }
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
  makeMemberName:
    // A member step whose member name has no variable yet makes it as its
    // word would, and runs again at once in the changed scope.
    if (MakeStepMemberName(se, t, *step, scope)) {
      scope = CurrentScope(se);
      scopeKnown = true;
      if (kVerify) se.namespaces.currentLink = step->link;
      VM_GOTO_STEP(step);
    }
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

namespace {

// Small objects given back during a frame are kept for the frame's next
// copies and literals, and all go back to the pools when it ends, however
// it ends.
struct SpareObjectsOfFrame {
  SpareObjectsOfFrame(ScriptPools& p, bool keep) : pools(p), was(p.keepSpareObjects) {
    pools.keepSpareObjects = was || keep;
  }
  ~SpareObjectsOfFrame() {
    pools.keepSpareObjects = was;
    if (!was) pools.ReleaseSpareObjects();
  }
  ScriptPools& pools;
  bool was;
};

}  // namespace

int ScriptEngine::RunScriptFrame(int paused) {
  SpareObjectsOfFrame spares(pools, run.keepObjects);
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
    ReleaseMemoryReserve();
    failed = true;
    failure = Sjis(kOutOfMemoryText);
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
