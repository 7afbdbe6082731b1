// script_compound.cpp -- compound values: elements and members with the
// member tree, dotted member paths and the typed getters and setters that
// host code uses, removal, copies, element-wise operations and adding.

#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "script/script_local.h"

namespace script {

using core::Sjis;

// ----------------------------------------------------------------------------
// Member tree
//
// An AVL tree over the members' names in the compound's node array, linked
// by index. Insertion rebalances; removal unlinks the node without
// rebalancing (members are seldom removed) and chains it for reuse.
//
// A small object (at most kScannedSlots element slots, which is one growth
// step) has no tree: its few members are found faster by a scan of the
// slots. Its tree is built when its slots grow past that, and kept from
// then on until the compound is emptied. Names are unique within a
// compound, so a scan and the tree find the same member.
// ----------------------------------------------------------------------------

namespace {

constexpr int32_t kNodeGrowth = 16;
constexpr size_t kScannedSlots = kScannedMemberSlots;

int32_t NodeHeight(const CScriptArray* a, int32_t n) { return n < 0 ? 0 : a->memberNodes[size_t(n)].height; }

void FixHeight(CScriptArray* a, int32_t n) {
  MemberNode& node = a->memberNodes[size_t(n)];
  int32_t l = NodeHeight(a, node.left), r = NodeHeight(a, node.right);
  node.height = 1 + (l > r ? l : r);
}

int32_t RotateNode(CScriptArray* a, int32_t n, bool toLeft) {
  std::vector<MemberNode>& nodes = a->memberNodes;
  int32_t child;
  if (toLeft) {
    child = nodes[size_t(n)].right;
    nodes[size_t(n)].right = nodes[size_t(child)].left;
    nodes[size_t(child)].left = n;
  } else {
    child = nodes[size_t(n)].left;
    nodes[size_t(n)].left = nodes[size_t(child)].right;
    nodes[size_t(child)].right = n;
  }
  FixHeight(a, n);
  FixHeight(a, child);
  return child;
}

int32_t BalanceNode(CScriptArray* a, int32_t n) {
  FixHeight(a, n);
  std::vector<MemberNode>& nodes = a->memberNodes;
  int32_t diff = NodeHeight(a, nodes[size_t(n)].left) - NodeHeight(a, nodes[size_t(n)].right);
  if (diff > 1) {
    int32_t l = nodes[size_t(n)].left;
    if (NodeHeight(a, nodes[size_t(l)].left) < NodeHeight(a, nodes[size_t(l)].right))
      nodes[size_t(n)].left = RotateNode(a, l, true);
    return RotateNode(a, n, false);
  }
  if (diff < -1) {
    int32_t r = nodes[size_t(n)].right;
    if (NodeHeight(a, nodes[size_t(r)].right) < NodeHeight(a, nodes[size_t(r)].left))
      nodes[size_t(n)].right = RotateNode(a, r, false);
    return RotateNode(a, n, true);
  }
  return n;
}

int32_t InsertNode(CScriptArray* a, int32_t at, int32_t node, const char* name) {
  if (at < 0) return node;
  MemberNode& here = a->memberNodes[size_t(at)];
  if (std::strcmp(name, here.value->text.c_str()) < 0)
    a->memberNodes[size_t(at)].left = InsertNode(a, here.left, node, name);
  else
    a->memberNodes[size_t(at)].right = InsertNode(a, here.right, node, name);
  return BalanceNode(a, at);
}

void TreeNodeInsert(CScriptArray* a, CScriptValue* value) {
  int32_t node = a->freeNode;
  if (node >= 0) {
    a->freeNode = a->memberNodes[size_t(node)].left;
  } else {
    // Grown by 16 nodes at a time; links are indexes, so nothing moves.
    node = int32_t(a->memberNodes.size());
    size_t used = a->memberNodes.size();
    a->memberNodes.reserve(used + size_t(kNodeGrowth) - used % size_t(kNodeGrowth));
    a->memberNodes.emplace_back();
  }
  MemberNode& n = a->memberNodes[size_t(node)];
  n.value = value;
  n.left = n.right = -1;
  n.height = 1;
  a->memberRoot = InsertNode(a, a->memberRoot, node, value->text.c_str());
}

bool HasTree(const CScriptArray* a) { return a->elements.size() > kScannedSlots; }

// The member tree's part of TreeInsert, for an object that has a tree.
[[gnu::noinline]] void TreeGrowAndInsert(CScriptArray* a, CScriptValue* value, bool grown) {
  if (grown && size_t(a->elements.size()) - 16 <= kScannedSlots)
    for (CScriptValue* member : a->elements)
      if (member && member != value) TreeNodeInsert(a, member);
  TreeNodeInsert(a, value);
}

// Records a new member of an object, which already stands in its slot: its
// name's filter bit, and its tree node when the object has a tree. Slots
// that have just grown past kScannedSlots get the tree of all members.
[[gnu::always_inline]] inline void TreeInsert(CScriptArray* a, CScriptValue* value, bool grown = false,
                                             uint64_t nameBit = 0) {
  a->nameBits |= nameBit ? nameBit : NameFilterBit(value->text.data(), value->text.size());
  if (!HasTree(a)) return;
  TreeGrowAndInsert(a, value, grown);
}

CScriptValue* ScanMembers(const CScriptArray* a, const char* name) {
  size_t length = 0;
  bool measured = false;
  for (CScriptValue* member : a->elements) {
    if (!member) continue;
    if (!measured) {
      length = std::strlen(name);
      measured = true;
    }
    if (member->text.size() == length && (length == 0 || member->text[0] == name[0]) &&
        std::memcmp(member->text.data(), name, length) == 0)
      return member;
  }
  return nullptr;
}

int32_t TreeFind(const CScriptArray* a, const char* name) {
  int32_t at = a->memberRoot;
  while (at >= 0) {
    const MemberNode& n = a->memberNodes[size_t(at)];
    int c = std::strcmp(name, n.value->text.c_str());
    if (c == 0) return at;
    at = c < 0 ? n.left : n.right;
  }
  return -1;
}

// Unlinks the node of `name` (when present) from the tree.
void TreeRemove(CScriptArray* a, const char* name) {
  std::vector<MemberNode>& nodes = a->memberNodes;
  int32_t* link = &a->memberRoot;
  while (*link >= 0) {
    int c = std::strcmp(name, nodes[size_t(*link)].value->text.c_str());
    if (c == 0) break;
    link = c < 0 ? &nodes[size_t(*link)].left : &nodes[size_t(*link)].right;
  }
  int32_t node = *link;
  if (node < 0) return;
  MemberNode& n = nodes[size_t(node)];
  if (n.left < 0) {
    *link = n.right;
  } else if (n.right < 0) {
    *link = n.left;
  } else {
    // Two children: the smallest node of the right subtree takes its place.
    int32_t* successorLink = &n.right;
    while (nodes[size_t(*successorLink)].left >= 0) successorLink = &nodes[size_t(*successorLink)].left;
    int32_t successor = *successorLink;
    *successorLink = nodes[size_t(successor)].right;
    nodes[size_t(successor)].left = n.left;
    nodes[size_t(successor)].right = n.right;
    nodes[size_t(successor)].height = n.height;
    *link = successor;
  }
  n.value = nullptr;
  n.right = -1;
  n.left = a->freeNode;
  a->freeNode = node;
}

// The number of a compiler label, as MakeLabel spells it ("*L" and at least
// four digits, no leading zero past four), or -1 for any other name.
int32_t LabelNumber(std::string_view name) {
  if (name.size() < 6 || name.size() > 10 || name[0] != '*' || name[1] != 'L') return -1;
  if (name.size() > 6 && name[2] == '0') return -1;
  int32_t n = 0;
  for (size_t i = 2; i < name.size(); i++) {
    if (name[i] < '0' || name[i] > '9') return -1;
    n = n * 10 + (name[i] - '0');
    if (n > (1 << 24)) return -1;
  }
  return n;
}

const char* OwnerName(const CScriptArray* a) { return a->owner ? a->owner->text.c_str() : nullptr; }

// A new value from the pool, or the exhaustion error.
CScriptValue* NewValue(ScriptPools& pools) {
  CScriptValue* v = pools.AllocScriptValue();
  if (!v) RaiseScriptError("%s", Sjis("割り当て可能なCScriptValueインスタンスがなくなりました。"));
  return v;
}

// Makes a cleared record (one from the pool, or a kept one) a member of `a`
// of `type`: for most types what SetValueType does to a record that holds
// no compound, text or payload, done directly.
void MakeClearedMember(ScriptPools& pools, CScriptArray* a, CScriptValue* v, int type, int attributes) {
  v->kind = kWordName;
  v->owner = a;
  if (type == kValueFunction || type == kValueSystemCall) {
    SetValueType(pools, v, type, attributes);
    return;
  }
  v->type = uint8_t(type);
  v->attributes = uint16_t(attributes);
}

// The lowest free member slot of `a`, which becomes an object, growing its
// slots by 16 when none is free (`*grown` says so).
int32_t TakeMemberSlot(CScriptArray* a, bool* grown) {
  a->kind = kCompoundObject;
  int32_t count = int32_t(a->elements.size());
  int32_t slot = a->freeSlot;
  while (slot < count && a->elements[size_t(slot)]) slot++;
  *grown = slot >= count;
  if (*grown) a->elements.resize(size_t(count + 16), nullptr);
  a->freeSlot = slot + 1;
  return slot;
}

}  // namespace

CScriptArray* NewCompound(ScriptPools& pools, CScriptValue* owner) {
  CScriptArray* a = pools.AllocScriptArray(owner);
  if (!a) RaiseScriptError("%s", Sjis("割り当て可能なCScriptArrayインスタンスがなくなりました。"));
  return a;
}

CScriptValue** MemberIndex::Reserve(std::string_view name) {
  int32_t label = LabelNumber(name);
  if (label >= 0) {
    if (labels.size() <= size_t(label)) labels.resize(size_t(label) + 1, nullptr);
    return &labels[size_t(label)];
  }
  return &names.try_emplace(std::string(name), nullptr).first->second;
}

CScriptValue* MemberIndex::Find(std::string_view name) const {
  int32_t label = LabelNumber(name);
  if (label >= 0) return size_t(label) < labels.size() ? labels[size_t(label)] : nullptr;
  auto it = names.find(name);
  return it == names.end() ? nullptr : it->second;
}

void MemberIndex::Erase(std::string_view name) {
  int32_t label = LabelNumber(name);
  if (label >= 0) {
    if (size_t(label) < labels.size()) labels[size_t(label)] = nullptr;
    return;
  }
  auto it = names.find(name);
  if (it != names.end()) names.erase(it);
}

void MemberIndex::Clear() {
  names.clear();
  labels.clear();
}

// ----------------------------------------------------------------------------
// Elements and members
// ----------------------------------------------------------------------------

CScriptValue* AddArrayElement(ScriptPools& pools, CScriptArray* a, int32_t index, int type, int attributes) {
  if (a->kind == kCompoundObject) {
    if (const char* owner = OwnerName(a))
      RaiseScriptError(Sjis("%s[%d]は指定できません。オブジェクトに配列を追加しました。"), owner, index);
    RaiseScriptError(Sjis("[%d]は指定できません。オブジェクトに配列を追加しました。"), index);
  }
  int32_t count = int32_t(a->elements.size());
  if (index < 0) {
    index = a->freeSlot;
    while (index < count && a->elements[size_t(index)]) index++;
    a->freeSlot = index;
  }
  if (index > kMaxArrayIndex) RaiseScriptError(Sjis("配列のインデックス[%d]が大きすぎます。"), index);
  if (index < count && a->elements[size_t(index)]) return a->elements[size_t(index)];
  CScriptValue* v = NewValue(pools);
  a->kind = kCompoundArray;
  if (index >= count) a->elements.resize(size_t(index + 1 > count + 16 ? index + 1 : count + 16), nullptr);
  // "[%d]", written without a format call: arrays are made an element at
  // a time, and a declared array may have many.
  char name[16];
  char* end = name + sizeof name;
  char* p = end;
  *--p = ']';
  uint32_t n = uint32_t(index);  // never negative here
  do {
    *--p = char('0' + n % 10);
    n /= 10;
  } while (n);
  *--p = '[';
  v->text.assign(p, size_t(end - p));
  v->kind = kWordName;
  v->owner = a;
  SetValueType(pools, v, type, attributes);
  a->elements[size_t(index)] = v;
  a->stamp = pools.NewStamp();
  return v;
}

void AddArrayElements(ScriptPools& pools, CScriptArray* a, int32_t count, int type, int attributes) {
  if (!a->elements.empty() || a->kind == kCompoundObject || count <= 0 || count > kMaxArrayIndex) {
    for (int32_t i = 0; i < count; i++) AddArrayElement(pools, a, i, type, attributes);
    return;
  }
  // Element by element the table grows 16 slots at a time: to the next
  // multiple of 16.
  a->kind = kCompoundArray;
  a->elements.assign(size_t((count + 15) / 16 * 16), nullptr);
  // "[0]", "[1]", ...: each name is the last one with its number counted up.
  char name[16] = "[0]";
  size_t length = 3;
  for (int32_t i = 0; i < count; i++) {
    if (i > 0) {
      size_t digit = length - 2;  // the last digit
      for (;;) {
        if (name[digit] != '9') {
          name[digit]++;
          break;
        }
        name[digit] = '0';
        if (digit == 1) {
          // All nines: one digit more.
          std::memmove(name + 2, name + 1, length - 1);
          name[1] = '1';
          length++;
          break;
        }
        digit--;
      }
    }
    CScriptValue* v = NewValue(pools);
    v->text.append(name, length);  // a record from the pool has no text
    MakeClearedMember(pools, a, v, type, attributes);
    a->elements[size_t(i)] = v;
  }
  a->stamp = pools.NewStamp();
}

namespace {

// A call's namespace that keeps its shape has taken `v` into the slot after
// its shape's: the shape grows by the name, and the stamp is the epoch's
// for the new shape. Past the last shape kept the namespace has none, and
// a counted stamp.
void AdvanceShape(ScriptPools& pools, CScriptArray* a, const CScriptValue* v) {
  if (a->slotEpoch && (a->shape = pools.ShapeAfter(a->shape, v->text)) != 0) {
    a->shapeSize++;
    a->stamp = ScriptPools::ShapedStamp(a->slotEpoch, a->shape);
    a->shapeStamp = a->stamp;
  } else {
    a->shape = 0;
    a->stamp = pools.NewStamp();
  }
}

}  // namespace

CScriptValue* AddObjectMember(ScriptPools& pools, CScriptArray* a, const char* name, int type, int attributes,
                              uint64_t nameBit) {
  if (!name) name = "";
  // An indexed compound finds and reserves the name's entry in one step.
  CScriptValue** entry = nullptr;
  if (a->memberIndex) {
    entry = a->memberIndex->Reserve(name);
    if (*entry) return *entry;
  } else if (!(nameBit && a->shape && a->shapeStamp == a->stamp && !(a->nameBits & nameBit))) {
    // (A call's namespace that keeps its shape has every member's bit.)
    if (CScriptValue* existing = FindMember(a, name)) return existing;
  }
  if (a->kind == kCompoundArray) {
    if (a->memberIndex) a->memberIndex->Erase(name);
    if (const char* owner = OwnerName(a))
      RaiseScriptError(Sjis("%s.%s は使用できません。配列にオブジェクトを追加しました。"), owner, name);
    RaiseScriptError(Sjis(".%s は使用できません。配列にオブジェクトを追加しました。"), name);
  }
  CScriptValue* v;
  try {
    if (!a->keptValues.empty()) {
      v = a->keptValues.back();  // cleared as the pool gives one, but for its name
      a->keptValues.pop_back();
    } else {
      v = NewValue(pools);
    }
  } catch (...) {
    if (a->memberIndex) a->memberIndex->Erase(name);
    throw;
  }
  bool grown;
  int32_t slot = TakeMemberSlot(a, &grown);
  // A call's namespace that gets its next member in the next slot keeps a
  // shape; any other change leaves the shape behind with the old stamp.
  bool shaped = a->shape && a->shapeStamp == a->stamp && uint32_t(slot) == a->shapeSize;
  v->text.assign(name);
  v->kind = kWordName;
  v->owner = a;
  SetValueType(pools, v, type, attributes);
  a->elements[size_t(slot)] = v;
  // An indexed compound (the global namespace) is searched by its index
  // alone; the tree serves every other object.
  if (entry) *entry = v;  // nothing changed the index since it was reserved
  else TreeInsert(a, v, grown, nameBit);
  if (shaped) {
    AdvanceShape(pools, a, v);
  } else {
    a->stamp = pools.NewStamp();
  }
  return v;
}

CScriptValue* AppendShapedMember(ScriptPools& pools, CScriptArray* a, const char* name, size_t length,
                                 uint64_t nameBit, int type, int attributes) {
  // A namespace that keeps its shape holds the names of its shape and no
  // other, each with its bit in the filter: a name whose bit is clear is
  // new, and the slot after the shape's is where a new member goes.
  if (!nameBit || !a->shape || a->shapeStamp != a->stamp || a->memberIndex || a->kind != kCompoundObject ||
      (a->nameBits & nameBit) || a->keptValues.empty())
    return nullptr;
  size_t count = a->elements.size();
  uint32_t slot = a->shapeSize;
  if (count > kScannedSlots || slot >= count || int32_t(slot) != a->freeSlot || a->elements[slot]) return nullptr;
  CScriptValue* v = a->keptValues.back();
  a->keptValues.pop_back();
  a->freeSlot = int32_t(slot) + 1;
  // A kept record keeps the name it had.
  if (!SameName(v->text, name, length)) v->text.assign(name, length);
  MakeClearedMember(pools, a, v, type, attributes);
  a->elements[slot] = v;
  a->nameBits |= nameBit;
  AdvanceShape(pools, a, v);
  return v;
}

CScriptValue* GetElement(const CScriptArray* a, int32_t index) {
  if (!a || index < 0 || size_t(index) >= a->elements.size()) return nullptr;
  return a->elements[size_t(index)];
}

CScriptValue* FindMember(const CScriptArray* a, const char* name) {
  if (!a || !name) return nullptr;
  if (a->memberIndex) return a->memberIndex->Find(name);
  if (!HasTree(a)) return a->kind == kCompoundObject ? ScanMembers(a, name) : nullptr;
  if (a->memberRoot < 0) return nullptr;
  int32_t node = TreeFind(a, name);
  return node < 0 ? nullptr : a->memberNodes[size_t(node)].value;
}

const char* GetElementName(const CScriptArray* a, int32_t index) {
  const CScriptValue* v = GetElement(a, index);
  return v ? v->text.c_str() : nullptr;
}

int32_t GetElementCount(const CScriptArray* a) { return a ? int32_t(a->elements.size()) : 0; }

// ----------------------------------------------------------------------------
// Member paths
// ----------------------------------------------------------------------------

namespace {

// One step of a dotted path: an index or a member name, and where the rest
// begins (null when this is the last step).
struct PathStep {
  bool isIndex = false;
  int32_t index = 0;
  std::string name;
  const char* rest = nullptr;
};

PathStep ReadStep(const char* p) {
  PathStep step;
  // The step ends at the first "." or "[" after its first character.
  const char* end = p + (*p ? 1 : 0);
  while (*end && *end != '.' && *end != '[') end++;
  if (*p == '[') {
    step.isIndex = true;
    step.index = ParseDecimalInt(p + 1);
  } else if (*p >= '0' && *p <= '9') {
    step.isIndex = true;
    step.index = ParseDecimalInt(p);
  } else {
    step.name.assign(p, size_t(end - p));
  }
  step.rest = *end ? end + 1 : nullptr;
  return step;
}

}  // namespace

namespace {

// Walks a path; `pools` is needed (and used) only when creating.
CScriptValue* WalkPath(ScriptPools* pools, CScriptArray* a, const char* path, bool create) {
  if (!a || !path) return nullptr;
  if (!pools) create = false;
  const char* p = path;
  for (;;) {
    PathStep step = ReadStep(p);
    CScriptValue* found;
    if (step.isIndex) {
      found = GetElement(a, step.index);
      if (!found && create) found = AddArrayElement(*pools, a, step.index, kValueUndefined, 0);
    } else {
      found = FindMember(a, step.name.c_str());
      if (!found && create) found = AddObjectMember(*pools, a, step.name.c_str(), kValueUndefined, 0);
    }
    if (!found || !step.rest) return found;
    CScriptValue* holder = FollowRefer(found);
    if (!holder) return nullptr;
    if (holder->type != kValueCompound || !holder->data.array) {
      if (!create) return nullptr;
      // A value on the way that holds no compound is given an empty one.
      CScriptArray* fresh = NewCompound(*pools, holder);
      SetValueType(*pools, holder, kValueCompound, holder->attributes);
      holder->data.array = fresh;
    }
    a = holder->data.array;
    p = step.rest;
  }
}

}  // namespace

CScriptValue* ResolveMemberPath(ScriptPools& pools, CScriptArray* a, const char* path, bool create) {
  return WalkPath(&pools, a, path, create);
}

CScriptValue* FindMemberPath(const CScriptArray* a, const char* path) {
  return WalkPath(nullptr, const_cast<CScriptArray*>(a), path, false);
}

CScriptValue* SetMemberString(ScriptPools& pools, CScriptArray* a, const char* path, const char* value) {
  CScriptValue* v = ResolveMemberPath(pools, a, path, true);
  if (v) AssignStringToVariable(pools, v, value);
  return v;
}

CScriptValue* SetMemberInt(ScriptPools& pools, CScriptArray* a, const char* path, int32_t value) {
  CScriptValue* v = ResolveMemberPath(pools, a, path, true);
  if (v) AssignIntToVariable(pools, v, value);
  return v;
}

CScriptValue* SetMemberFloat(ScriptPools& pools, CScriptArray* a, const char* path, float value) {
  CScriptValue* v = ResolveMemberPath(pools, a, path, true);
  if (v) AssignFloatToVariable(pools, v, value);
  return v;
}

// ----------------------------------------------------------------------------
// Typed getters
// ----------------------------------------------------------------------------

namespace {

int32_t IntOf(const CScriptValue* v) {
  v = FollowRefer(v);
  if (!v) return 0;
  if (v->type == kValueInt) return v->data.i;
  if (v->type == kValueFloat) return TruncateToInt(v->data.f);
  return 0;
}

float FloatOf(const CScriptValue* v) {
  v = FollowRefer(v);
  if (!v) return 0.0f;
  if (v->type == kValueFloat) return v->data.f;
  if (v->type == kValueInt) return float(v->data.i);
  return 0.0f;
}

const char* StringOf(const CScriptValue* v) {
  if (!v) return "";
  v = FollowRefer(v);
  if (!v || v->type != kValueString) return nullptr;
  return v->stringValue.c_str();
}

CScriptArray* CompoundOf(const CScriptValue* v) {
  v = FollowRefer(v);
  return v && v->type == kValueCompound ? v->data.array : nullptr;
}

}  // namespace

int32_t GetElementInt(const CScriptArray* a, int32_t index) { return IntOf(GetElement(a, index)); }
float GetElementFloat(const CScriptArray* a, int32_t index) { return FloatOf(GetElement(a, index)); }
const char* GetElementString(const CScriptArray* a, int32_t index) { return StringOf(GetElement(a, index)); }
int32_t GetMemberInt(const CScriptArray* a, const char* path) { return IntOf(FindMemberPath(a, path)); }
float GetMemberFloat(const CScriptArray* a, const char* path) { return FloatOf(FindMemberPath(a, path)); }
const char* GetMemberString(const CScriptArray* a, const char* path) { return StringOf(FindMemberPath(a, path)); }
CScriptArray* GetElementCompound(const CScriptArray* a, int32_t index) { return CompoundOf(GetElement(a, index)); }
CScriptArray* GetMemberCompound(const CScriptArray* a, const char* path) { return CompoundOf(FindMemberPath(a, path)); }

const char* MemberReader::Format(const char* format, int a, int b) {
  std::snprintf(path, sizeof path, format, a, b);
  return path;
}

std::string MemberReader::Text(const char* p) const {
  const char* s = GetMemberString(object, p);
  return s ? s : "";
}

platform::Vec3 MemberReader::Vector(const char* base, platform::Vec3 fallback, float scale) const {
  std::string at = std::string(base) + ".x";
  float x = Has(at.c_str()) ? GetMemberFloat(object, at.c_str()) * scale : fallback.x;
  at.back() = 'y';
  float y = Has(at.c_str()) ? GetMemberFloat(object, at.c_str()) * scale : fallback.y;
  at.back() = 'z';
  float z = Has(at.c_str()) ? GetMemberFloat(object, at.c_str()) * scale : fallback.z;
  return {x, y, z};
}

// ----------------------------------------------------------------------------
// Removing and clearing
// ----------------------------------------------------------------------------

void InsertMember(CScriptArray* a, CScriptValue* value, uint64_t nameBit) {
  bool grown;
  int32_t slot = TakeMemberSlot(a, &grown);
  value->owner = a;
  a->elements[size_t(slot)] = value;
  TreeInsert(a, value, grown, nameBit);
}

bool DetachMember(ScriptPools& pools, CScriptArray* a, CScriptValue* value) {
  for (size_t i = 0; i < a->elements.size(); i++) {
    if (a->elements[i] != value) continue;
    if (a->memberIndex) a->memberIndex->Erase(value->text);
    else if (a->memberRoot >= 0) TreeRemove(a, value->text.c_str());
    a->elements[i] = nullptr;
    if (int32_t(i) < a->freeSlot) a->freeSlot = int32_t(i);
    a->stamp = pools.NewStamp();
    value->owner = nullptr;
    return true;
  }
  return false;
}

namespace {

// Forgets what the compound knew of its members once its slots are empty:
// the tree, the free-slot hint, the name filter and the shape.
void ForgetMembers(CScriptArray* a) {
  a->memberNodes.clear();
  a->memberRoot = -1;
  a->freeNode = -1;
  a->freeSlot = 0;
  a->nameBits = 0;
  a->shape = 0;
}

}  // namespace

void EmptyCompound(ScriptPools& pools, CScriptArray* a) {
  for (CScriptValue* element : a->elements)
    if (element) pools.FreeScriptValue(element);
  a->elements.clear();
  ForgetMembers(a);
}

namespace {

// A compound member of a namespace being emptied (an object parameter,
// mostly) gives its compound back as FreeScriptValue would, and its record
// is kept like the others. An argument copy is kept whole here, and only
// here: the call is over, and no word left names a member of it (a word
// given back anywhere else may still name one, and must read it cleared).
[[gnu::noinline]] void KeepCompoundMember(ScriptPools& pools, CScriptArray* a, CScriptValue* member) {
  CScriptArray* held = member->data.array;
  ResetValueKeepingName(member);
  a->keptValues.push_back(member);
  if (held && held->argumentCopy && pools.KeepArgumentCopy(held)) return;
  if (held) pools.ReleaseScriptArray(held);
}

}  // namespace

void EmptyKeptNamespace(ScriptPools& pools, CScriptArray* a) {
  constexpr size_t kMostKeptValues = 16;
  // One growth step of slots stays, all empty, which a scan finds as empty
  // as none: the next call's first member need not grow them again.
  bool keepSlots = a->elements.size() == kScannedSlots;
  // Records that stood in shape order go back on the kept ones in slot
  // order, and the epoch stays, unless one of them is given back.
  bool inOrder = a->slotEpoch && a->shape && a->shapeStamp == a->stamp;
  size_t used = MemberSlotsInUse(a);
  CScriptValue** slots = a->elements.data();
  // Last slot first: the next call's first member takes the record that
  // stood first, the name it mostly has written already.
  for (size_t i = used; i-- > 0;) {
    CScriptValue*& element = slots[i];
    CScriptValue* member = element;
    if (!member) continue;
    element = nullptr;
    if (a->keptValues.size() >= kMostKeptValues) {
      pools.FreeScriptValue(member);
      inOrder = false;
      continue;
    }
    if (__builtin_expect(member->type == kValueCompound, 0)) {
      KeepCompoundMember(pools, a, member);
      continue;
    }
    ResetValueKeepingName(member);
    a->keptValues.push_back(member);
  }
  if (!keepSlots) a->elements.clear();
  if (!inOrder) a->slotEpoch = 0;
  ForgetMembers(a);
}

int RemoveMember(ScriptPools& pools, CScriptArray* a, CScriptValue* value) {
  if (!a || !value) return 0;
  for (size_t i = 0; i < a->elements.size(); i++) {
    if (a->elements[i] != value) continue;
    // Found at this level: only now does its name leave this level's tree.
    if (a->memberIndex) a->memberIndex->Erase(value->text);
    else if (a->memberRoot >= 0) TreeRemove(a, value->text.c_str());
    a->elements[i] = nullptr;  // an array keeps its count: the index becomes a hole
    if (int32_t(i) < a->freeSlot) a->freeSlot = int32_t(i);
    a->stamp = pools.NewStamp();
    pools.FreeScriptValue(value);
    return 1;
  }
  for (CScriptValue* element : a->elements)
    if (element && element->type == kValueCompound && RemoveMember(pools, element->data.array, value)) return 1;
  return 0;
}

void ClearScriptArray(ScriptPools& pools, CScriptArray* a) {
  if (!a) return;
  for (CScriptValue*& element : a->elements) {
    CScriptValue* v = element;
    element = nullptr;
    pools.FreeScriptValue(v);
  }
  ForgetMembers(a);
  if (a->memberIndex) a->memberIndex->Clear();
  a->kind = kCompoundEmpty;
  a->owner = nullptr;
  a->stamp = pools.NewStamp();
}

// ----------------------------------------------------------------------------
// Copies and element-wise operations
// ----------------------------------------------------------------------------

namespace {

// One pass over a compound making a transformed copy.
struct Transform {
  ScriptPools& pools;
  int opcode;
  bool floatOperand;  // CompoundBinaryOp: int elements become floats
  int32_t i;
  float f;

  int32_t IntResult(int32_t x) const {
    switch (opcode) {
      case kOpCopy: return x;
      case kOpNegate: return WrapSub(0, x);
      case kWordMultiply: return WrapMul(x, i);
      case kWordDivide: return i == 0 ? 0 : IntDivide(x, i);
      default: return 0;
    }
  }
  float FloatResult(float x, float by) const {
    switch (opcode) {
      case kOpCopy: return x;
      case kOpNegate: return -x;
      case kWordMultiply: return x * by;
      case kWordDivide: return x / by;
      default: return 0.0f;
    }
  }

  CScriptArray* Copy(const CScriptArray* src, int depth) {
    if (depth > kMaxCompoundDepth) RaiseScriptError("%s", Sjis("配列またはオブジェクトの入れ子が深すぎます。"));
    // An object may be a kept one (ScriptPools::spareObjects), its member
    // records with them.
    CScriptArray* dst = src->kind == kCompoundObject ? pools.TakeSpareObject(src->owner) : nullptr;
    if (!dst) dst = NewCompound(pools, src->owner);
    try {
      dst->kind = src->kind;
      dst->elements.assign(src->elements.size(), nullptr);  // a compound from the pool has none
      // An object without a tree needs only its name filter, and the
      // source's holds every name the copy gets (a filter may hold more).
      const bool filterOnly = dst->kind == kCompoundObject && !HasTree(dst) && !src->memberIndex;
      const size_t scanned = SlotsToScan(src);
      for (size_t slot = 0; slot < scanned; slot++) {
        const CScriptValue* s = src->elements[slot];
        if (!s) continue;
        CScriptValue* d = TakeKeptValue(dst);
        if (!d) d = NewValue(pools);
        dst->elements[slot] = d;
        if (!SameName(d->text, s->text.data(), s->text.size())) d->text = s->text;
        d->kind = kWordName;
        d->owner = dst;
        d->type = s->type;
        d->attributes = s->attributes;
        CopyPayload(s, d, depth);
        if (dst->kind == kCompoundObject && !filterOnly) TreeInsert(dst, d);
      }
      if (filterOnly) dst->nameBits = src->nameBits;
      dst->freeSlot = src->freeSlot;
      if (!dst->keptValues.empty()) ReleaseKeptValues(pools, dst);
    } catch (...) {
      pools.ReleaseScriptArray(dst);
      throw;
    }
    return dst;
  }

  void CopyPayload(const CScriptValue* s, CScriptValue* d, int depth) {
    switch (s->type) {
      case kValueString: d->stringValue = s->stringValue; break;
      case kValueRefer:  // links stay links
        d->data.value = s->data.value;
        pools.NoteRefer();
        break;
      case kValueFunction:
      case kValueSystemCall: d->data.word = s->data.word; break;
      case kValueCompound:
        if (s->data.array) {
          d->data.array = Copy(s->data.array, depth + 1);
          d->data.array->owner = d;
        }
        break;
      case kValueInt:
        if (floatOperand && (opcode == kWordMultiply || opcode == kWordDivide)) {
          d->type = kValueFloat;
          d->data.f = FloatResult(float(s->data.i), f);
        } else {
          d->data.i = IntResult(s->data.i);
        }
        break;
      case kValueFloat: d->data.f = FloatResult(s->data.f, floatOperand ? f : float(i)); break;
      default: break;
    }
  }
};

}  // namespace

CScriptArray* ApplyElementwiseOp(ScriptPools& pools, const CScriptArray* a, int opcode, int32_t operand) {
  if (!a) return nullptr;
  Transform t{pools, opcode, false, operand, float(operand)};
  return t.Copy(a, 0);
}

CScriptArray* CompoundBinaryOp(ScriptPools& pools, const CScriptArray* a, int opcode, float operand) {
  if (!a) return nullptr;
  Transform t{pools, opcode, true, TruncateToInt(operand), operand};
  return t.Copy(a, 0);
}

CScriptArray* CopyCompound(ScriptPools& pools, const CScriptArray* a) { return ApplyElementwiseOp(pools, a, kOpCopy, 0); }

CScriptArray* TakeKeptObjectCopy(ScriptPools& pools, const CScriptArray* src) {
  std::vector<CScriptArray*>& kept = pools.argumentCopies;
  if (kept.empty() || !src || src->kind != kCompoundObject || HasTree(src) || src->memberIndex) return nullptr;
  // Kept copies are packed (ScriptPools::KeepArgumentCopy): so must `src` be.
  const size_t used = size_t(src->freeSlot);
  const size_t count = src->elements.size();
  if (SlotsToScan(src) != used) return nullptr;
  for (size_t k = kept.size(); k-- > 0;) {
    CScriptArray* dst = kept[k];
    if (dst->elements.size() != count || size_t(dst->freeSlot) != used) continue;
    // The same names in the same slots, and nothing in them that a copy
    // would do more with than copy its value.
    bool fits = true;
    for (size_t slot = 0; slot < used && fits; slot++) {
      const CScriptValue* s = src->elements[slot];
      fits = s->type != kValueCompound && s->type != kValueRefer &&
             SameName(dst->elements[slot]->text, s->text.data(), s->text.size());
    }
    if (!fits) continue;
    kept[k] = kept.back();
    kept.pop_back();
    // What CopyCompound would leave, in the records that stand there (the
    // values alone: none needs Transform's other work). The compound keeps
    // its stamp: its member records are the same ones, under the same
    // names, in the same slots.
    for (size_t slot = 0; slot < used; slot++) {
      const CScriptValue* s = src->elements[slot];
      CScriptValue* d = dst->elements[slot];
      d->attributes = s->attributes;
      d->data = ScriptPayload{};
      if (d->type == kValueString && s->type != kValueString) d->stringValue.clear();
      d->type = s->type;
      switch (s->type) {
        case kValueInt: d->data.i = s->data.i; break;
        case kValueFloat: d->data.f = s->data.f; break;
        case kValueString: d->stringValue = s->stringValue; break;
        case kValueFunction:
        case kValueSystemCall: d->data.word = s->data.word; break;
        default: break;
      }
    }
    dst->nameBits = src->nameBits;
    dst->owner = src->owner;
    return dst;
  }
  return nullptr;
}

// ----------------------------------------------------------------------------
// Adding compounds
// ----------------------------------------------------------------------------

namespace {

void AddInto(ScriptPools& pools, CScriptArray* target, const CScriptArray* source, int depth) {
  if (depth > kMaxCompoundDepth) RaiseScriptError("%s", Sjis("配列またはオブジェクトの入れ子が深すぎます。"));
  // An empty source adds nothing, whatever the target's kind.
  if (target->kind != kCompoundEmpty && source->kind != kCompoundEmpty && source->kind != target->kind) {
    const char* owner = OwnerName(target);
    if (target->kind == kCompoundObject) {
      if (owner) RaiseScriptError(Sjis("[%s]にはオブジェクト以外を加算できません。"), owner);
      RaiseScriptError("%s", Sjis("オブジェクトにはオブジェクト以外を加算できません。"));
    }
    if (owner) RaiseScriptError(Sjis("[%s]には配列以外を加算できません。"), owner);
    RaiseScriptError("%s", Sjis("配列には配列以外を加算できません。"));
  }
  // By index: the source may grow while it is read when it lies inside the
  // target.
  for (size_t slot = 0; slot < source->elements.size(); slot++) {
    const CScriptValue* s = source->elements[slot];
    if (!s) continue;
    CScriptValue* t = nullptr;
    if (source->kind == kCompoundObject) {
      t = AddObjectMember(pools, target, s->text.c_str(), s->type, s->attributes);
      if (!t) RaiseScriptError(Sjis("変数[%s]が追加できません。上限数です。"), s->text.c_str());
    } else {
      t = AddArrayElement(pools, target, int32_t(slot), s->type, s->attributes);
      if (!t) RaiseScriptError(Sjis("変数[%d]が追加できません。上限数です。"), int32_t(slot));
    }
    CScriptValue* end = FollowRefer(t);
    if (!end) RaiseScriptError(Sjis("変数[%s]の参照が循環しています。"), t->text.c_str());
    switch (s->type) {
      case kValueString:
        if (end->type != kValueString) RaiseScriptError(Sjis("[%s]に文字列を加算しようとしました。"), end->text.c_str());
        end->stringValue += s->stringValue;
        break;
      case kValueInt:
        if (end->type == kValueInt) end->data.i = WrapAdd(end->data.i, s->data.i);
        else if (end->type == kValueFloat) end->data.f += float(s->data.i);
        else RaiseScriptError(Sjis("[%s]に整数を加算しようとしました。"), end->text.c_str());
        break;
      case kValueFloat:
        if (end->type == kValueFloat) end->data.f += s->data.f;
        else if (end->type == kValueInt) AssignFloatToVariable(pools, end, float(end->data.i) + s->data.f);
        else RaiseScriptError(Sjis("[%s]に小数を加算しようとしました。"), end->text.c_str());
        break;
      case kValueCompound:
        if (end->type != kValueCompound)
          RaiseScriptError(Sjis("[%s]に配列またはオブジェクトを加算しようとしました。"), end->text.c_str());
        if (!end->data.array) AssignCompoundToVariable(pools, end, NewCompound(pools, end));
        if (s->data.array) AddInto(pools, end->data.array, s->data.array, depth + 1);
        break;
      default: break;  // other source types are skipped
    }
  }
}

}  // namespace

void AddCompounds(ScriptPools& pools, CScriptArray* target, const CScriptArray* source) {
  if (!target || !source) return;
  AddInto(pools, target, source, 0);
}

}  // namespace script
