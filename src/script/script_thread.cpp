// script_thread.cpp -- thread records and their word stacks: creating,
// returning from calls and ending threads, and the per-thread stacks of
// local namespaces.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

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

CScriptLiteral* StackSlotSlow(ScriptEngine& se, WordStack& stack) {
  if (stack.end >= WordStack::kCapacity) RaiseScriptError("%s", Sjis("スタックオーバーフロー(データスタック)"));
  if (size_t(stack.end) == stack.entries.size()) stack.entries.push_back(nullptr);
  CScriptLiteral*& slot = stack.entries[size_t(stack.end)];
  if (!slot) {
    slot = se.pools.AllocScriptLiteral();
    if (!slot) RaiseScriptError("%s", Sjis("割り当て可能なCScriptLiteralインスタンスがなくなりました。"));
  }
  return slot;
}

CScriptLiteral* StackPushText(ScriptEngine& se, WordStack& stack, const char* text, int kind) {
  CScriptLiteral* w = StackPushSlot(se, stack);
  SetValueFromText(se.pools, w, text, kind);
  return w;
}

CScriptLiteral* StackPushTextSafe(ScriptEngine& se, WordStack& stack, const char* text, int kind) {
  // The push clears the record's text first: a text inside it is copied out.
  size_t end = size_t(stack.end);
  CScriptLiteral* slot = end < stack.entries.size() ? stack.entries[end] : nullptr;
  if (!slot) slot = StackSlotSlow(se, stack);
  const char* buffer = slot->text.data();
  if (text && text >= buffer && text <= buffer + slot->text.size()) {
    std::string copy(text);
    return StackPushText(se, stack, copy.c_str(), kind);
  }
  return StackPushText(se, stack, text, kind);
}

CScriptLiteral* StackPushCompound(ScriptEngine& se, WordStack& stack, CScriptArray* array) {
  CScriptLiteral* w = StackPushSlot(se, stack);
  SetObjectValue(se.pools, w, array);
  return w;
}

void RaiseStackUnderflow() { RaiseScriptError("%s", Sjis("スタックアンダーフロー(データスタック)")); }

void FreeWordStack(ScriptEngine& se, WordStack& stack) {
  for (CScriptLiteral* w : stack.entries) se.pools.FreeScriptLiteral(w);
  std::vector<CScriptLiteral*>().swap(stack.entries);
  stack.end = 0;
}

CScriptArray* TakeOrCopyCompound(ScriptPools& pools, CScriptLiteral* word, CScriptArray* array) {
  if (OwnsCompound(word, array)) {
    GiveUpCompound(word);
    return array;
  }
  return array ? CopyCompound(pools, array) : nullptr;
}

void AssignOwnedCompound(ScriptPools& pools, CScriptValue* variable, CScriptArray* array) {
  try {
    AssignCompoundToVariable(pools, variable, array);
  } catch (...) {
    pools.ReleaseScriptArray(array);
    throw;
  }
}

// ----------------------------------------------------------------------------
// Local namespaces
//
// A thread's root namespace is the member "[index]function" of the global
// namespace; each call nests one more namespace, named by the function,
// inside the current one. Lookups see only the innermost one.
//
// Stamps: the virtual machine keeps name links while the innermost and the
// global namespace keep their stamps. A nested namespace is never seen by a
// lookup of the code running under its holder: that code runs again only
// after the nested one is popped. So adding and removing a new holder leaves
// the holder's stamp as it was, and a caller's links survive its calls. A
// holder that was an existing member (a variable of that name) changes the
// stamp at the push, so links to the old member go. The global namespace
// gets new stamps either way: thread roots may be named by any lookup.
// ----------------------------------------------------------------------------

namespace {

[[gnu::noinline]] CScriptArray*& GrowTops(ScriptEngine& se, int32_t thread) {
  std::vector<CScriptArray*>& tops = se.namespaces.threadTop;
  tops.resize(size_t(thread) + 1, nullptr);
  return tops[size_t(thread)];
}

inline CScriptArray*& TopOf(ScriptEngine& se, int32_t thread) {
  std::vector<CScriptArray*>& tops = se.namespaces.threadTop;
  if (size_t(thread) >= tops.size()) return GrowTops(se, thread);
  return tops[size_t(thread)];
}

}  // namespace

namespace {

// Most namespaces a function's entry word keeps for later calls: as many as
// its calls were deep at once, up to this.
constexpr size_t kMostSpareNamespaces = 64;

// PushLocalNamespace; true when the holder is a new member of the thread's
// innermost namespace (not a thread root, not a variable of that name).
bool PushNamespace(ScriptEngine& se, const char* functionName) {
  int32_t thread = se.namespaces.currentThread;
  if (thread < 0) return false;
  if (!functionName) functionName = "";
  CScriptArray* top = TopOf(se, thread);
  CScriptValue* member;
  bool created = false;
  if (!top) {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "[%d]", thread);
    std::string name = std::string(prefix) + functionName;
    member = AddObjectMember(se.pools, GlobalNamespace(se), name.c_str(), kValueUndefined, 0);
  } else {
    uint64_t before = top->stamp;
    member = AddObjectMember(se.pools, top, functionName, kValueUndefined, 0);
    created = top->stamp != before;  // an existing member leaves the stamp
    top->stamp = created ? before : se.pools.NewStamp();
  }
  if (member->type != kValueCompound || !member->data.array) {
    CScriptArray* space = NewCompound(se.pools, member);
    SetValueType(se.pools, member, kValueCompound, member->attributes);
    member->data.array = space;
  }
  member->data.array->kind = kCompoundObject;
  TopOf(se, thread) = member->data.array;
  return created;
}

}  // namespace

void PushLocalNamespace(ScriptEngine& se, const char* functionName) { PushNamespace(se, functionName); }

namespace {

// Whether a namespace has a member of the name: FindMember, with the scan
// of a small one done here without a call per slot.
bool HasMemberNamed(const CScriptArray* a, const std::string& name) {
  if (a->memberIndex || a->elements.size() > kScannedMemberSlots || a->kind != kCompoundObject || name.empty())
    return FindMember(a, name.c_str()) != nullptr;
  const size_t length = name.size();
  size_t used = MemberSlotsInUse(a);
  for (size_t slot = 0; slot < used; slot++) {
    const CScriptValue* member = a->elements[slot];
    if (!member || member->text.size() != length) continue;
    const char* text = member->text.data();
    size_t i = 0;
    while (i < length && text[i] == name[i]) i++;
    if (i == length) return true;
  }
  return false;
}

// A call's namespace starts with the empty shape when it has no member
// (`emptied`: it was emptied for this call, when its slots may be left),
// and with the stamp of its slot epoch, a new one unless its kept records
// are known to be in slot order.
void StartShape(ScriptPools& pools, CScriptArray* space, bool emptied) {
  if (!space || (!emptied && !space->elements.empty()) || space->kind != kCompoundObject || space->memberIndex)
    return;
  if (!emptied) space->slotEpoch = 0;
  if (!space->slotEpoch) space->slotEpoch = pools.NewStamp();
  space->shape = ScriptPools::kEmptyShape;
  space->shapeSize = 0;
  space->stamp = ScriptPools::ShapedStamp(space->slotEpoch, space->shape);
  space->shapeStamp = space->stamp;
}

}  // namespace

// A call's namespace is the function's, named by its entry word, made new
// in the caller's namespace as PushLocalNamespace makes it. A namespace of
// an earlier call that the entry word kept is the same thing: a member of
// that name, of compound type with no attributes, holding an empty object,
// put where a new member would go. Only the records differ, and the
// compound gets a new stamp as a new one would.
void PushCallNamespace(ScriptEngine& se, CScriptLiteral* entry) {
  int32_t thread = se.namespaces.currentThread;
  if (thread < 0) return;
  CScriptArray* top = TopOf(se, thread);
  const std::string& name = entry->text;
  // An entry word is no name word: its link only keeps its name's bit.
  WordRun& kept = RunOf(entry);
  uint64_t& bit = kept.hints.nameBit;
  if (!bit) bit = NameFilterBit(name.data(), name.size());
  if (se.run.verifyLinks)
    ENGINE_ASSERT(bit == NameFilterBit(name.data(), name.size()), "stale name bit for [%s]", name.c_str());
  if (top && !kept.spareNamespaces.empty() && top->kind != kCompoundArray && !top->memberIndex &&
      (!(top->nameBits & bit) || !HasMemberNamed(top, name))) {
    CScriptValue* holder = kept.spareNamespaces.back();
    kept.spareNamespaces.pop_back();
    InsertMember(top, holder, bit);  // the caller's stamp stays, as for a new holder
    CScriptArray* space = holder->data.array;
    space->stamp = se.pools.NewStamp();
    space->spareEpoch = se.run.codeEpoch;
    TopOf(se, thread) = space;
    StartShape(se.pools, space, true);
    return;
  }
  bool created = PushNamespace(se, name.c_str());
  CScriptArray* space = TopOf(se, thread);
  StartShape(se.pools, space, false);
  if (!created || !se.run.reuseNamespaces) return;
  space->spareOf = entry;
  space->spareEpoch = se.run.codeEpoch;
}

namespace {

// Removes the current thread's innermost namespace; its name goes to
// `name` when given.
void UnlinkLocalNamespace(ScriptEngine& se, std::string* name) {
  int32_t thread = se.namespaces.currentThread;
  CScriptArray* top = thread >= 0 ? TopOf(se, thread) : nullptr;
  if (!top) RaiseScriptError("%s", Sjis("スタックアンダーフロー(ローカル変数名前空間)"));
  CScriptValue* holder = top->owner;
  if (!holder || !holder->owner) RaiseScriptError("%s", Sjis("スタックアンダーフロー(ローカル変数配列)"));
  CScriptArray* outer = holder->owner;
  if (name) *name = holder->text;
  TopOf(se, thread) = outer == se.namespaces.global ? nullptr : outer;
  uint64_t before = outer->stamp;
  // A call's namespace goes back to its function's entry word, emptied,
  // while the code is as it was and the holder is as the call made it.
  CScriptLiteral* entry = top->spareOf;
  if (entry && top->spareEpoch == se.run.codeEpoch && outer != se.namespaces.global &&
      holder->type == kValueCompound && holder->data.array == top && holder->attributes == 0 &&
      SameName(holder->text, entry->text.data(), entry->text.size()) && RunOf(entry).spareNamespaces.size() < kMostSpareNamespaces &&
      DetachMember(se.pools, outer, holder)) {
    outer->stamp = before;
    EmptyKeptNamespace(se.pools, top);
    entry->run->spareNamespaces.push_back(holder);
    return;
  }
  RemoveMember(se.pools, outer, holder);
  if (outer != se.namespaces.global) outer->stamp = before;
}

}  // namespace

std::string PopLocalNamespace(ScriptEngine& se) {
  std::string name;
  UnlinkLocalNamespace(se, &name);
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
  key = WrapAdd(key, 1);
  // The first free slot; the thread whose slice is running never counts as
  // free, even when its current word has just run out. By index: the table
  // grows here.
  size_t index = 0;
  while (index < se.threads.size() && se.threads[index] &&
         (se.threads[index]->currentWord || int32_t(index) == se.run.runningThread))
    index++;
  if (index == se.threads.size()) {
    if (se.threads.size() + 256 > size_t(se.run.threadLimit))
      RaiseScriptError("%s", Sjis("これ以上スレッドは生成できません。create_threadシステム割り込み命令は失敗しました。"));
    se.threads.resize(se.threads.size() + 256, nullptr);
  }
  if (size_t(se.namespaces.threadTop.size()) < se.threads.size())
    se.namespaces.threadTop.resize(se.threads.size(), nullptr);
  if (!se.threads[index]) {
    se.threads[index] = new (std::nothrow) ScriptThread;
    if (!se.threads[index])
      RaiseScriptError("%s", Sjis("これ以上スレッドは生成できません。create_threadシステム割り込み命令は失敗しました。"));
  }
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
  StackOperand op;
  switch (argument ? LookupStackVariable(argument, &op) : int(kOperandNone)) {
    case kOperandInt: StackPushFloat(se, t->data, float(op.i)); break;
    case kOperandFloat: StackPushInt(se, t->data, op.i); break;
    case kOperandString: StackPushText(se, t->data, op.text ? op.text : "", kWordString); break;
    case kOperandCompound:
      StackPushCompound(se, t->data, TakeOrCopyCompound(se.pools, argument, op.array));
      break;
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

// ----------------------------------------------------------------------------
// Returning
// ----------------------------------------------------------------------------

namespace {

// Whether `value` is a variable of the namespace `space`, or a member or
// element inside one of its compounds.
bool HeldBy(const CScriptValue* value, const CScriptArray* space) {
  for (int depth = 0; value && depth <= kMaxCompoundDepth + 1; depth++) {
    const CScriptArray* a = value->owner;
    if (!a) return false;
    if (a == space) return true;
    value = a->owner;
  }
  return false;
}

// A callee's code may push a call marker and return before its call: the
// return then takes that marker for the call's, and the words the callee
// pushed before it stay on the caller's stack. Those naming a variable of
// the callee's namespace (or a member inside one) would read a record the
// return gives back, and whatever took it next: they name the pools' dead
// value instead, which reads as an undefined variable without a name, as
// a record given back does. The caller's own words go down to its marker;
// from `from` down, the first of them that names a variable.
[[gnu::noinline]] void DropStrayReferencesFrom(ScriptEngine& se, WordStack& data, int32_t thread, int32_t from) {
  const CScriptArray* top = TopOf(se, thread);
  if (!top) return;
  for (int32_t i = from + 1; i-- > 0;) {
    CScriptLiteral* w = data.entries[size_t(i)];
    if (w->kind == kWordCallMarker) break;
    if (w->kind == kWordReference && HeldBy(w->payload.value, top)) w->payload.value = se.pools.DeadValue();
  }
}

// Mostly the caller's words down to its marker name no variable (pending
// results), or there are none.
inline void DropStrayReferences(ScriptEngine& se, WordStack& data, int32_t thread) {
  for (int32_t i = data.end; i-- > 0;) {
    uint8_t kind = data.entries[size_t(i)]->kind;
    if (kind == kWordCallMarker) return;
    if (kind == kWordReference) return DropStrayReferencesFrom(se, data, thread, i);
  }
}

}  // namespace

void ReturnIntToCaller(ScriptEngine& se, ScriptThread* t, int32_t value) {
  DropStrayReferences(se, t->data, se.namespaces.currentThread);
  StackPushInt(se, t->data, value);
  UnlinkLocalNamespace(se, nullptr);
  CScriptLiteral* back = StackPop(t->calls);
  t->currentWord = back->kind == kWordFunctionConstant ? back->payload.word : nullptr;
}

void ReturnFromCall(ScriptEngine& se, int32_t thread) {
  ScriptThread* t = se.threads[size_t(thread)];
  WordStack& data = t->data;
  CScriptLiteral* value = StackPop(data);
  StackTrimToMarker(data);
  if (data.end > 0) {
    // A call returns: its marker is on top and takes the value. The value
    // is copied out before the callee's namespace (which may hold it) goes.
    StackPop(data);
    // An int, or an int variable, is what most calls give back.
    const CScriptValue* named = value->kind == kWordReference ? value->payload.value : nullptr;
    if (value->kind == kWordInt || (named && named->type == kValueInt)) {
      ReturnIntToCaller(se, t, named ? named->data.i : value->payload.i);
      return;
    }
    DropStrayReferences(se, data, thread);
    StackOperand op;
    switch (LookupStackVariable(value, &op)) {
      case kOperandInt: StackPushInt(se, data, op.i); break;
      case kOperandFloat: StackPushFloat(se, data, op.f); break;
      case kOperandString: StackPushText(se, data, op.text ? op.text : "", kWordString); break;
      case kOperandFunction: {
        std::string name = op.text ? op.text : "";
        StackPushHandle(se, data, op.target)->text = name;
        break;
      }
      case kOperandCompound:
        // A compound in a variable of the namespace that goes now is taken
        // out of it rather than copied (unless a refer may lead into it).
        if (named && named->type == kValueCompound && named->data.array == op.array && op.array &&
            named->owner && named->owner == TopOf(se, thread) && !se.pools.refersMade) {
          CScriptValue* variable = value->payload.value;
          variable->data.array = nullptr;
          op.array->owner = nullptr;
          op.array->argumentCopy = false;
          StackPushCompound(se, data, op.array);
          break;
        }
        StackPushCompound(se, data, TakeOrCopyCompound(se.pools, value, op.array));
        break;
      default: RaiseScriptError("%s", Sjis("returnの戻り値が不正な型です。"));
    }
    UnlinkLocalNamespace(se, nullptr);
    CScriptLiteral* back = StackPop(t->calls);
    t->currentWord = back->kind == kWordFunctionConstant ? back->payload.word : nullptr;
    return;
  }
  // No call is active: the thread's root function returns and the thread
  // ends at its next loop turn. The end of "main" ends the script.
  t->wait = -1;
  std::string name = PopLocalNamespace(se);
  size_t from = 0;
  if (!name.empty() && name[0] == '[') {
    size_t close = name.find(']');
    if (close != std::string::npos) from = close + 1;
  }
  if (name.compare(from, std::string::npos, "main") == 0)
    for (size_t i = 0; i < se.threads.size(); i++)
      if (se.threads[i]) se.threads[i]->currentWord = nullptr;
}

}  // namespace script
