// script_thread.cpp -- thread records and their word stacks: creating and
// ending threads, and the per-thread stacks of local namespaces.

#include <cstdio>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ----------------------------------------------------------------------------
// Word stacks
//
// A push writes into the record at the end entry and takes a record from
// the pool only the first time a depth is reached; a pop leaves its record
// readable until the next push overwrites it.
// ----------------------------------------------------------------------------

namespace {

CScriptLiteral* PushSlot(ScriptEngine& se, WordStack& stack) {
  if (stack.entries.empty()) stack.entries.assign(size_t(WordStack::kCapacity), nullptr);
  if (stack.end >= WordStack::kCapacity) RaiseScriptError("%s", Sjis("スタックオーバーフロー(データスタック)"));
  CScriptLiteral*& slot = stack.entries[size_t(stack.end)];
  if (!slot) {
    slot = se.pools.AllocScriptLiteral();
    if (!slot) RaiseScriptError("%s", Sjis("割り当て可能なCScriptLiteralインスタンスがなくなりました。"));
  }
  stack.end++;
  slot->text.clear();
  return slot;
}

}  // namespace

CScriptLiteral* StackPushInt(ScriptEngine& se, WordStack& stack, int32_t value) {
  CScriptLiteral* w = PushSlot(se, stack);
  SetIntValue(se.pools, w, value);
  return w;
}

CScriptLiteral* StackPushFloat(ScriptEngine& se, WordStack& stack, float value) {
  CScriptLiteral* w = PushSlot(se, stack);
  SetFloatValue(se.pools, w, value);
  return w;
}

CScriptLiteral* StackPushText(ScriptEngine& se, WordStack& stack, const char* text, int kind) {
  CScriptLiteral* w = PushSlot(se, stack);
  SetValueFromText(se.pools, w, text, kind);
  return w;
}

CScriptLiteral* StackPushHandle(ScriptEngine& se, WordStack& stack, CScriptLiteral* target) {
  CScriptLiteral* w = PushSlot(se, stack);
  SetHandleValue(se.pools, w, target);
  return w;
}

CScriptLiteral* StackPushCompound(ScriptEngine& se, WordStack& stack, CScriptArray* array) {
  CScriptLiteral* w = PushSlot(se, stack);
  SetObjectValue(se.pools, w, array);
  return w;
}

CScriptLiteral* StackPushReference(ScriptEngine& se, WordStack& stack, CScriptValue* variable) {
  CScriptLiteral* w = PushSlot(se, stack);
  SetCallValue(se.pools, w, variable);
  return w;
}

CScriptLiteral* StackPop(WordStack& stack) {
  if (stack.end <= 0) RaiseScriptError("%s", Sjis("スタックアンダーフロー(データスタック)"));
  return stack.entries[size_t(--stack.end)];
}

void StackTrimToMarker(WordStack& stack) {
  while (stack.end > 0 && stack.entries[size_t(stack.end - 1)]->kind != kWordCallMarker) stack.end--;
}

void FreeWordStack(ScriptEngine& se, WordStack& stack) {
  for (CScriptLiteral* w : stack.entries) se.pools.FreeScriptLiteral(w);
  std::vector<CScriptLiteral*>().swap(stack.entries);
  stack.end = 0;
}

// ----------------------------------------------------------------------------
// Local namespaces
//
// A thread's root namespace is the member "[index]function" of the global
// namespace; each call nests one more namespace, named by the function,
// inside the current one. Lookups see only the innermost one.
// ----------------------------------------------------------------------------

namespace {

CScriptArray*& TopOf(ScriptEngine& se, int32_t thread) {
  std::vector<CScriptArray*>& tops = se.namespaces.threadTop;
  if (size_t(thread) >= tops.size()) tops.resize(size_t(thread) + 1, nullptr);
  return tops[size_t(thread)];
}

}  // namespace

void PushLocalNamespace(ScriptEngine& se, const char* functionName) {
  int32_t thread = se.namespaces.currentThread;
  if (thread < 0) return;
  CScriptArray*& top = TopOf(se, thread);
  CScriptValue* member;
  if (!top) {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "[%d]", thread);
    std::string name = std::string(prefix) + (functionName ? functionName : "");
    member = AddObjectMember(se.pools, GlobalNamespace(se), name.c_str(), kValueUndefined, 0);
  } else {
    member = AddObjectMember(se.pools, top, functionName ? functionName : "", kValueUndefined, 0);
  }
  if (member->type != kValueCompound || !member->data.array) {
    CScriptArray* space = NewCompound(se.pools, member);
    SetValueType(se.pools, member, kValueCompound, member->attributes);
    member->data.array = space;
  }
  member->data.array->kind = kCompoundObject;
  TopOf(se, thread) = member->data.array;
}

std::string PopLocalNamespace(ScriptEngine& se) {
  int32_t thread = se.namespaces.currentThread;
  CScriptArray* top = thread >= 0 ? TopOf(se, thread) : nullptr;
  if (!top) RaiseScriptError("%s", Sjis("スタックアンダーフロー(ローカル変数名前空間)"));
  CScriptValue* holder = top->owner;
  if (!holder || !holder->owner) RaiseScriptError("%s", Sjis("スタックアンダーフロー(ローカル変数配列)"));
  CScriptArray* outer = holder->owner;
  std::string name = holder->text;
  TopOf(se, thread) = outer == se.namespaces.global ? nullptr : outer;
  RemoveMember(se.pools, outer, holder);
  return name;
}

void DropLocalNamespaces(ScriptEngine& se, int32_t thread) {
  if (thread < 0) return;
  int32_t saved = se.namespaces.currentThread;
  se.namespaces.currentThread = thread;
  try {
    while (TopOf(se, thread)) PopLocalNamespace(se);
  } catch (const ScriptError&) {
    TopOf(se, thread) = nullptr;  // a broken chain is simply forgotten
  }
  se.namespaces.currentThread = saved;
}

// ----------------------------------------------------------------------------
// Creating and ending threads
// ----------------------------------------------------------------------------

int32_t CreateThreadFromValue(ScriptEngine& se, CScriptValue* function, CScriptLiteral* argument) {
  if (!function) RaiseScriptError("%s", Sjis("ジャンプ先の関数がありません。create_threadシステム割り込み命令は失敗しました。"));
  int32_t key = 0;
  for (const ScriptThread* t : se.threads)
    if (t && t->orderKey > key) key = t->orderKey;
  key++;
  size_t index = 0;
  while (index < se.threads.size() && se.threads[index] && se.threads[index]->currentWord) index++;
  if (index == se.threads.size()) se.threads.resize(se.threads.size() + 256, nullptr);
  if (!se.threads[index]) se.threads[index] = new ScriptThread;
  ScriptThread* t = se.threads[index];
  t->data.end = 0;
  t->calls.end = 0;
  t->runWhilePaused = 0;
  t->orderKey = key;
  t->wait = 0;
  int32_t thread = int32_t(index);
  int32_t saved = se.namespaces.currentThread;
  se.namespaces.currentThread = thread;
  try {
    DropLocalNamespaces(se, thread);
    PushLocalNamespace(se, function->text.c_str());
  } catch (...) {
    se.namespaces.currentThread = saved;
    throw;
  }
  se.namespaces.currentThread = saved;
  StackPushInt(se, t->calls, 0);  // the root marker
  ResolveFunctionTarget(se, function, thread);
  // The argument: an int arrives as a float and a float as an int.
  switch (argument ? int(argument->kind) : int(kWordEnd)) {
    case kWordInt: StackPushFloat(se, t->data, float(argument->payload.i)); break;
    case kWordFloat: StackPushInt(se, t->data, TruncateToInt(argument->payload.f)); break;
    case kWordString: StackPushText(se, t->data, argument->text.c_str(), kWordString); break;
    case kWordCompound: StackPushCompound(se, t->data, argument->payload.array); break;
    default:
      t->currentWord = nullptr;
      RaiseScriptError("%s", Sjis("スレッドへの引数が数値ではありません。"));
  }
  return thread;
}

int32_t CreateScriptThread(ScriptEngine& se, CScriptValue* function, int32_t argument) {
  CScriptLiteral* word = se.pools.AllocScriptLiteral();
  if (!word) RaiseScriptError("%s", Sjis("割り当て可能なCScriptLiteralインスタンスがなくなりました。"));
  SetIntValue(se.pools, word, argument);
  int32_t thread;
  try {
    thread = CreateThreadFromValue(se, function, word);
  } catch (...) {
    se.pools.FreeScriptLiteral(word);
    throw;
  }
  se.pools.FreeScriptLiteral(word);
  return thread;
}

void EndThread(ScriptEngine& se, int32_t thread) {
  if (thread < 0) {
    for (size_t i = 0; i < se.threads.size(); i++) EndThread(se, int32_t(i));
    return;
  }
  if (size_t(thread) >= se.threads.size() || !se.threads[size_t(thread)]) return;
  ScriptThread* t = se.threads[size_t(thread)];
  t->currentWord = nullptr;
  DropLocalNamespaces(se, thread);
  FreeWordStack(se, t->data);
  FreeWordStack(se, t->calls);
}

}  // namespace script
