// script_pools.cpp -- taking and releasing words, values and compounds from
// the engine's three record pools.

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/core_public.h"
#include "platform/platform_public.h"
#include "script/script_local.h"

namespace script {

void* TakeChunkMemory(size_t bytes) {
  // Below a large page a chunk takes ordinary pages: a large one would be
  // cleared whole at the first touch.
  constexpr size_t kLargePage = size_t(2) << 20;
  if (bytes < kLargePage) return std::aligned_alloc(64, (bytes + 63) / 64 * 64);
  return platform::AllocateLargePages(bytes);
}
void GiveChunkMemory(void* memory, size_t bytes) {
  if (bytes < (size_t(2) << 20))
    std::free(memory);
  else
    platform::FreeLargePages(memory);
}

namespace {

// Pool exhaustion is reported the way it always was: a box without caption.
// The same text goes to the log, where a run without a desktop keeps it.
void ReportExhausted(core::LogSystem* log, const char* message) {
  core::Logf(log, core::kLogError, "%s\n", message);
  platform::ShowMessageBox(message, "", platform::kMbOk);
}

}  // namespace

// ----------------------------------------------------------------------------
// Clearing records
// ----------------------------------------------------------------------------

void ResetLiteralRecord(CScriptLiteral* word) {
  word->kind = kWordEnd;
  word->text.clear();  // the buffer stays for the next taker
  word->payload = ScriptPayload{};
  word->position = SourcePosition{};
  word->next = nullptr;
  word->link = RunLink{};
  word->stepEpoch = 0;
  word->step = nullptr;
  word->stepOp = 0;
  word->run.reset();  // a clear-all frees the kept namespaces' records anyway
}

void ResetValueRecord(CScriptValue* value) {
  value->text.clear();  // the buffer stays for the next taker
  ResetValueKeepingName(value);
}

void ResetValueKeepingName(CScriptValue* value) {
  value->kind = kWordName;
  value->type = kValueUndefined;
  value->attributes = 0;
  value->stringValue.clear();
  value->data = ScriptPayload{};
  value->owner = nullptr;
}

void ResetArrayRecord(CScriptArray* array) {
  array->elements.clear();
  array->memberNodes.clear();
  array->memberRoot = -1;
  array->kind = kCompoundEmpty;
  array->owner = nullptr;
  array->freeSlot = 0;
  array->freeNode = -1;
  array->nameBits = 0;
  array->spareOf = nullptr;
  array->spareEpoch = 0;
  array->keptValues.clear();  // a clear-all frees their records anyway
  array->argumentCopy = false;
  array->shape = 0;
  array->shapeSize = 0;
  array->shapeStamp = 0;
  array->slotEpoch = 0;
  array->memberIndex.reset();
}

// ----------------------------------------------------------------------------
// Taking records
// ----------------------------------------------------------------------------

CScriptLiteral* ScriptPools::AllocScriptLiteral() {
  CScriptLiteral* word = literals.Take();
  if (!word) {
    ReportExhausted(log, core::Sjis("割り当て可能なCScriptLiteralインスタンスがなくなりました。"));
    return nullptr;
  }
  word->next = nullptr;
  return word;
}

CScriptValue* ScriptPools::AllocScriptValue() {
  CScriptValue* value = values.Take();
  // Kept objects hold records that are free in all but name.
  if (!value && (!spareObjects.empty() || !argumentCopies.empty())) {
    ReleaseSpareObjects();
    value = values.Take();
  }
  if (!value) {
    ReportExhausted(log, core::Sjis("割り当て可能なCScriptValueインスタンスがなくなりました。"));
    return nullptr;
  }
  value->kind = kWordName;
  value->text.clear();  // a record given back kept its name (see ResetValueKeepingName)
  return value;
}

CScriptArray* ScriptPools::AllocScriptArray(CScriptValue* owner) {
  CScriptArray* array = arrays.Take();
  if (!array && (!spareObjects.empty() || !argumentCopies.empty())) {
    ReleaseSpareObjects();
    array = arrays.Take();
  }
  if (!array) {
    ReportExhausted(log, core::Sjis("割り当て可能なCScriptArrayインスタンスがなくなりました。"));
    return nullptr;
  }
  array->owner = owner;
  array->stamp = NewStamp();
  return array;
}

// ----------------------------------------------------------------------------
// Releasing records
//
// A released record is cleared first: a word of kind 14 and a value of type
// 7 give their compound back, a compound gives back every element value.
// ----------------------------------------------------------------------------

void ScriptPools::FreeScriptLiteral(CScriptLiteral* word) {
  if (!word || !literals.Release(word)) return;
  CScriptArray* held = word->kind == kWordCompound ? word->payload.array : nullptr;
  std::vector<CScriptValue*> spares;
  if (word->run) spares.swap(word->run->spareNamespaces);
  ResetLiteralRecord(word);
  if (held) ReleaseScriptArray(held);
  for (CScriptValue* holder : spares) FreeScriptValue(holder);
}

void ScriptPools::FreeScriptValue(CScriptValue* value) {
  if (!value || !values.Release(value)) return;
  CScriptArray* held = value->type == kValueCompound ? value->data.array : nullptr;
  ResetValueKeepingName(value);
  if (held) ReleaseScriptArray(held);
}

void ScriptPools::ReleaseScriptArray(CScriptArray* array) {
  // Nested compounds are released from a work list, not by recursion, so
  // no nesting depth can exhaust the machine stack.
  std::vector<CScriptArray*>& pending = releasePending;
  pending.clear();
  pending.push_back(array);
  while (!pending.empty()) {
    CScriptArray* a = pending.back();
    pending.pop_back();
    if (!a) continue;
    if (keepSpareObjects && KeepSpareObject(a)) continue;
    // A kept object is given back only by ReleaseSpareObjects.
    if (!spareObjects.empty() && std::find(spareObjects.begin(), spareObjects.end(), a) != spareObjects.end())
      continue;
    if (!arrays.Release(a)) continue;
    std::vector<CScriptValue*> elements;
    elements.swap(a->elements);
    // Kept member records are cleared already but for their names, and
    // hold no compound.
    for (CScriptValue* kept : a->keptValues) values.Release(kept);
    ResetArrayRecord(a);
    for (CScriptValue* element : elements) {
      if (!element || !values.Release(element)) continue;
      CScriptArray* held = element->type == kValueCompound ? element->data.array : nullptr;
      ResetValueKeepingName(element);
      if (held) pending.push_back(held);
    }
    elements.clear();
    a->elements.swap(elements);  // keep the table's memory for the next taker
  }
}

bool ScriptPools::MayKeep(const CScriptArray* a) {
  return !refersMade && a->kind == kCompoundObject && a->elements.size() <= kScannedMemberSlots && a->memberRoot < 0 &&
         !a->memberIndex && !a->spareOf && a->keptValues.empty() && !a->shape && arrays.InUse(a->poolSlot) &&
         arrays.At(a->poolSlot) == a;
}

bool ScriptPools::KeepArgumentCopy(CScriptArray* a) {
  if (!keepSpareObjects || !a->argumentCopy || argumentCopies.size() >= kMostArgumentCopies || !MayKeep(a))
    return false;
  // Packed, its members filling the slots below freeSlot and none above,
  // and of numbers, texts and calls only: a copy into it writes values.
  const size_t used = size_t(a->freeSlot);
  if (SlotsToScan(a) != used) return false;
  for (size_t slot = 0; slot < used; slot++) {
    const CScriptValue* member = a->elements[slot];
    if (member->owner != a || member->type == kValueCompound || member->type == kValueRefer) return false;
  }
  a->owner = nullptr;
  argumentCopies.push_back(a);
  return true;
}

bool ScriptPools::KeepSpareObject(CScriptArray* a) {
  constexpr size_t kSlots = kScannedMemberSlots;  // one growth step of member slots, scanned, without a tree
  if (spareObjects.size() >= kMostSpareObjects || a->elements.size() != kSlots || !MayKeep(a)) return false;
  // Last slot first: the next taker's first member takes the record that
  // stood first, the name it mostly has written already.
  CScriptValue* members[kSlots];
  size_t count = 0;
  CScriptValue** slots = a->elements.data();
  for (size_t i = SlotsToScan(a); i-- > 0;) {
    CScriptValue* member = slots[i];
    if (!member) continue;
    if (member->owner != a) return false;
    members[count++] = member;
  }
  for (size_t i = 0; i < count; i++) {
    CScriptValue* member = members[i];
    if (__builtin_expect(member->type == kValueCompound, 0) && member->data.array)
      releasePending.push_back(member->data.array);
    ResetValueKeepingName(member);
  }
  a->keptValues.assign(members, members + count);
  a->elements.clear();  // the table's memory stays for the next taker
  a->memberNodes.clear();
  a->kind = kCompoundEmpty;
  a->owner = nullptr;
  a->freeSlot = 0;
  a->freeNode = -1;
  a->nameBits = 0;
  a->shapeSize = 0;
  a->shapeStamp = 0;
  a->spareEpoch = 0;
  a->argumentCopy = false;
  spareObjects.push_back(a);
  return true;
}

void ScriptPools::ReleaseSpareObjects() {
  std::vector<CScriptArray*> spares;
  spares.swap(spareObjects);
  spares.insert(spares.end(), argumentCopies.begin(), argumentCopies.end());
  argumentCopies.clear();
  bool keep = keepSpareObjects;
  keepSpareObjects = false;
  for (CScriptArray* a : spares) ReleaseScriptArray(a);
  keepSpareObjects = keep;
}

CScriptValue* TakeKeptValue(CScriptArray* a) {
  if (a->keptValues.empty()) return nullptr;
  CScriptValue* v = a->keptValues.back();
  a->keptValues.pop_back();
  return v;
}

void ReleaseKeptValues(ScriptPools& pools, CScriptArray* a) {
  for (CScriptValue* kept : a->keptValues) pools.values.Release(kept);
  a->keptValues.clear();
}

namespace {

// FNV-1a over the name, folded to a bit of the callable-name filter.
uint32_t NameBit(std::string_view name) {
  uint32_t h = 2166136261u;
  for (char c : name) h = (h ^ uint8_t(c)) * 16777619u;
  return (h ^ (h >> 16)) & (1024 * 64 - 1);
}

}  // namespace

void ScriptPools::AddCallableName(std::string_view name) {
  uint32_t bit = NameBit(name);
  callableBits[bit / 64] |= uint64_t(1) << (bit % 64);
  callableNames.emplace(name);
}

bool ScriptPools::MayBeCallable(std::string_view name) const {
  uint32_t bit = NameBit(name);
  if (!(callableBits[bit / 64] & (uint64_t(1) << (bit % 64)))) return false;
  return callableNames.count(std::string(name)) != 0;
}

uint32_t ScriptPools::ShapeAfterSlow(ShapeMemo& memo, uint32_t shape, const std::string& name) {
  uint32_t child = FindShapeAfter(shape, name);
  if (child) {
    memo.from = shape;
    memo.to = child;
    memo.name = name;
  }
  return child;
}

uint32_t ScriptPools::FindShapeAfter(uint32_t shape, const std::string& name) {
  shapeKey.assign(reinterpret_cast<const char*>(&shape), sizeof shape);
  shapeKey.append(name);
  auto found = shapeChildren.find(shapeKey);
  if (found != shapeChildren.end()) return found->second;
  if (shapeParents.size() >= kMostShapes) return 0;
  uint32_t child = uint32_t(shapeParents.size());
  shapeParents.emplace_back(shape, name);
  shapeChildren.emplace(shapeKey, child);
  return child;
}

CScriptValue* ScriptPools::DeadValue() {
  CScriptArray* held = deadValue.type == kValueCompound ? deadValue.data.array : nullptr;
  ResetValueRecord(&deadValue);
  if (held) ReleaseScriptArray(held);
  return &deadValue;
}

void ScriptPools::ClearAll() {
  ResetValueRecord(&deadValue);  // what it may hold goes with the rest
  callableNames.clear();
  spareObjects.clear();  // their records go with the rest
  argumentCopies.clear();
  refersMade = false;
  std::fill(callableBits.begin(), callableBits.end(), 0);
  // Everything goes, so nothing needs to give anything back.
  literals.ClearAll([](CScriptLiteral* w) { ResetLiteralRecord(w); });
  values.ClearAll([](CScriptValue* v) { ResetValueRecord(v); });
  arrays.ClearAll([](CScriptArray* a) { ResetArrayRecord(a); });
}

}  // namespace script
