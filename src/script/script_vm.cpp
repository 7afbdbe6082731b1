// script_vm.cpp -- the virtual machine: the frame step that gives every
// thread one slice in order-key order, the run-time error it keeps, the
// operand decoders with their cached links, the system interrupts, and the
// one Execute() loop that runs a slice word by word.
//
// Index:
//   [SECTION] Run-time errors
//   [SECTION] Operand decoders
//   [SECTION] System interrupts
//   [SECTION] Execute
//   [SECTION] Frame step

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/core_public.h"
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
// ============================================================================

namespace {

uint64_t LocalStamp(const ScriptEngine& se) {
  int32_t t = se.namespaces.currentThread;
  if (t < 0 || size_t(t) >= se.namespaces.threadTop.size()) return 0;
  const CScriptArray* top = se.namespaces.threadTop[size_t(t)];
  return top ? top->stamp : 0;
}

uint64_t GlobalStamp(const ScriptEngine& se) { return se.namespaces.global ? se.namespaces.global->stamp : 0; }

bool LinkHolds(const ScriptEngine& se, const RunLink& link) {
  return link.localStamp == LocalStamp(se) && link.globalStamp == GlobalStamp(se);
}

void KeepLink(const ScriptEngine& se, RunLink* link, CScriptValue* value, const CScriptLiteral* origin) {
  link->value = value;
  link->origin = origin;
  link->localStamp = LocalStamp(se);
  link->globalStamp = GlobalStamp(se);
}

// The consistency check of verifyLinks: a kept link must be what a fresh
// lookup finds. A difference is a fault of the engine, not of the script.
void VerifyLink(ScriptEngine& se, const char* name, const CScriptValue* kept) {
  if (LookupName(se, name) == kept) return;
  std::fprintf(stderr, "script: stale name link for [%s]\n", name);
  std::abort();
}

// A popped operand word with its value.
struct Operand {
  CScriptLiteral* word;
  StackOperand value;
  int kind;  // OperandClass
};

Operand PopOperand(WordStack& data) {
  Operand o;
  o.word = StackPop(data);
  o.kind = LookupStackVariable(o.word, &o.value);
  return o;
}

// The text a label or callee operand is named by in messages: the
// variable's name, else the word's own text.
const char* OperandName(Operand& o) {
  if (o.value.name) return o.value.name;
  return WordPrintedText(*o.word);
}

// Sends the thread to the word after the definition of the label named by
// `name`, through the jump word's link; `origin` is the string literal of
// the code the name came from (null: a computed name, never linked).
void JumpToNamedLabel(ScriptEngine& se, ScriptThread* t, CScriptLiteral* jump, const CScriptLiteral* origin,
                      const char* name) {
  RunLink& link = jump->link;
  CScriptValue* named;
  if (origin && link.value && link.origin == origin && LinkHolds(se, link)) {
    named = link.value;
    if (se.run.verifyLinks) VerifyLink(se, name, named);
  } else {
    named = LookupName(se, name);
    if (named && origin) KeepLink(se, &link, named, origin);
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
  RunLink& link = word->link;
  if (link.value && LinkHolds(se, link)) {
    if (se.run.verifyLinks) VerifyLink(se, word->text.c_str(), link.value);
    return link.value;
  }
  CScriptValue* v = LookupName(se, word->text.c_str());
  if (!v) v = DefineVariable(se, word->text.c_str(), kValueUndefined, kAttrUntyped);
  KeepLink(se, &link, v, nullptr);
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
  PushLocalNamespace(se, target->text.c_str());
  if (function) {
    ResolveFunctionTarget(se, function, index);
  } else {
    t->currentWord = target->next;  // a function handle word: its target
  }
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

void Execute(ScriptEngine& se, int32_t index) {
  ScriptThread* t = se.threads[size_t(index)];
  WordStack& data = t->data;
  const int32_t limit = se.run.instructionLimit;
  int32_t count = 0;
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

    switch (kOpcodeOfKind[w->kind]) {
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
      case Opcode::LogicalOr: ExecuteBinary(se, data, kOpcodeOfKind[w->kind]); break;
      case Opcode::Assign: ExecuteAssign(se, data); break;
      case Opcode::AddAssign:
      case Opcode::SubtractAssign:
      case Opcode::MultiplyAssign:
      case Opcode::DivideAssign:
      case Opcode::ModuloAssign:
      case Opcode::BitAndAssign:
      case Opcode::BitOrAssign:
      case Opcode::XorAssign: ExecuteCompoundAssign(se, data, kOpcodeOfKind[w->kind]); break;
      case Opcode::PostIncrement:
      case Opcode::PostDecrement:
      case Opcode::PreIncrement:
      case Opcode::PreDecrement: ExecuteIncrement(se, data, kOpcodeOfKind[w->kind]); break;
      case Opcode::Not:
      case Opcode::BitNot:
      case Opcode::Plus:
      case Opcode::Negate: ExecuteUnary(se, data, kOpcodeOfKind[w->kind]); break;
      case Opcode::Discard: StackTrimToMarker(data); break;
      case Opcode::Member: ExecuteMember(se, data, w); break;
      case Opcode::Declare: ExecuteDeclare(se, t, w); break;
      case Opcode::JumpIfFalse:
      case Opcode::JumpIfTrue: {
        Operand label = PopLabel(data);
        bool valid = false;
        bool truth = ConditionIsTrue(StackPop(data), &valid);
        // A condition that is no number or text jumps neither way.
        if (valid && truth == (kOpcodeOfKind[w->kind] == Opcode::JumpIfTrue))
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
      case Opcode::Marker: StackPushText(se, data, "@", kWordCallMarker); break;
      case Opcode::BindParameter: ExecuteBindParameter(se, t); break;
      case Opcode::CastInt:
      case Opcode::CastFloat:
      case Opcode::CastString:
      case Opcode::CastFunction: ExecuteCast(se, data, kOpcodeOfKind[w->kind]); break;
      case Opcode::BuildArray:
        StackPushCompound(se, data, BuildCompoundFromStack(se, data, kCompoundArray));
        break;
      case Opcode::BuildObject:
        StackPushCompound(se, data, BuildCompoundFromStack(se, data, kCompoundObject));
        break;
    }
    count++;
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
      Execute(*this, picked);
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
