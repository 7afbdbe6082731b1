// world_map_tree.cpp -- the spatial tree over the placed map objects: its
// upkeep and build, and the segment and overlap searches that walk it.

#include <algorithm>
#include <cmath>

#include "world_map_internal.h"

namespace world {

namespace {

constexpr int kItemGrowth = 16;
constexpr int kSplitAbove = 5;

// Adds objects as one by one at the first null entry, the array growing by
// 16 when full; in one pass over the array.
void AddItems(SpatialTreeNode& node, const std::vector<MapObject*>& objects) {
  size_t next = 0, slot = 0;
  for (; slot < node.items.size() && next < objects.size(); slot++)
    if (!node.items[slot]) node.items[slot] = objects[next++];
  if (next < objects.size()) {
    size_t old = node.items.size();
    size_t rest = objects.size() - next;
    node.items.resize(old + (rest + kItemGrowth - 1) / kItemGrowth * kItemGrowth, nullptr);
    for (size_t k = 0; k < rest; k++) node.items[old + k] = objects[next + k];
  }
  node.itemCapacity = int32_t(node.items.size());
}

void AddItem(SpatialTreeNode& node, MapObject* object) { AddItems(node, {object}); }

bool NodeHolds(const SpatialTreeNode& node, const MapObject* object) {
  for (const MapObject* item : node.items)
    if (item == object) return true;
  for (const auto& child : node.child)
    if (child && NodeHolds(*child, object)) return true;
  return false;
}

bool NodeRemove(SpatialTreeNode& node, const MapObject* object) {
  for (MapObject*& item : node.items)
    if (item == object) {
      item = nullptr;
      return true;
    }
  for (auto& child : node.child)
    if (child && NodeRemove(*child, object)) return true;
  return false;
}

// Every object of the subtree below the node, taken out of the children.
void Gather(SpatialTreeNode& node, std::vector<MapObject*>* out) {
  for (auto& child : node.child) {
    if (!child) continue;
    for (MapObject*& item : child->items)
      if (item) {
        out->push_back(item);
        item = nullptr;
      }
    Gather(*child, out);
  }
}

// Shows a box: the display object's centre and half size (at least 1).
void ShowBox(render::DisplayObject& box, MapObjectWorld& map, const Vec3& lo, const Vec3& hi) {
  if (map.boxModel.containerCount > 0 && box.model != &map.boxModel) box.SetObjectModel(&map.boxModel);
  box.SetObjectPosition((lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f);
  box.SetObjectScale(std::fmax(1.0f, (hi.x - lo.x) * 0.5f), std::fmax(1.0f, (hi.y - lo.y) * 0.5f),
                     std::fmax(1.0f, (hi.z - lo.z) * 0.5f));
}

float Axis(const Vec3& v, int axis) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; }

float LightRateFromPosition(const Vec3& p) {
  float scaled = platform::Vec3Length(p) * 10000.0f;
  double whole = std::isfinite(scaled) ? std::trunc(double(scaled)) : 0.0;
  double rest = std::fmod(whole, 9973.0);
  return float(rest + 1.0) / 9973.0f;
}

struct Placed {
  size_t slot;  // its entry in the node's items
  Vec3 lo, hi, position;
};

void BuildNode(SpatialTreeNode& node, MapObjectWorld& map) {
  // 1. The subtree's objects into the node; their box and mean position.
  std::vector<MapObject*> gathered;
  Gather(node, &gathered);
  AddItems(node, gathered);
  std::vector<Placed> placed;
  for (size_t slot = 0; slot < node.items.size(); slot++) {
    MapObject* item = node.items[slot];
    if (!item) continue;
    Placed p{slot, {}, {}, item->GetObjectWorldPosition()};
    GetMapObjectBox(item, &p.lo, &p.hi);
    placed.push_back(p);
  }
  Vec3 lo{}, hi{}, mean{};
  if (!placed.empty()) {
    lo = placed[0].lo;
    hi = placed[0].hi;
    for (const Placed& p : placed) {
      lo = {std::fmin(lo.x, p.lo.x), std::fmin(lo.y, p.lo.y), std::fmin(lo.z, p.lo.z)};
      hi = {std::fmax(hi.x, p.hi.x), std::fmax(hi.y, p.hi.y), std::fmax(hi.z, p.hi.z)};
      mean = platform::Vec3Add(mean, p.position);
    }
    mean = platform::Vec3Scale(mean, 1.0f / float(placed.size()));
  }

  // 2, 3. Above five objects: split on the axis of largest spread; an
  // object moves down when the child's room exceeds its own extent.
  if (int(placed.size()) > kSplitAbove) {
    Vec3 spread{};
    for (const Placed& p : placed) {
      spread.x += std::fabs(p.position.x - mean.x);
      spread.y += std::fabs(p.position.y - mean.y);
      spread.z += std::fabs(p.position.z - mean.z);
    }
    int axis = (spread.x >= spread.y && spread.x >= spread.z) ? 0 : (spread.y >= spread.z ? 1 : 2);
    float m = Axis(mean, axis);
    std::vector<int> destination(placed.size(), -1);
    int moved[2] = {0, 0};
    for (size_t i = 0; i < placed.size(); i++) {
      float p = Axis(placed[i].position, axis);
      int side = m > p ? 0 : 1;
      float room = side == 0 ? m - Axis(lo, axis) : Axis(hi, axis) - m;
      float extent = Axis(placed[i].hi, axis) - Axis(placed[i].lo, axis);
      if (room > extent) {
        destination[i] = side;
        moved[side]++;
      }
    }
    // A child that would take every object would repeat this node for
    // ever (objects whose boxes lie off their positions can do that): the
    // node keeps them.
    if (moved[0] == int(placed.size()) || moved[1] == int(placed.size())) destination.assign(placed.size(), -1);
    std::vector<MapObject*> down[2];
    for (size_t i = 0; i < placed.size(); i++) {
      int side = destination[i];
      if (side < 0) continue;
      down[side].push_back(node.items[placed[i].slot]);
      node.items[placed[i].slot] = nullptr;
    }
    for (int side = 0; side < 2; side++) {
      if (down[side].empty()) continue;
      if (!node.child[side]) {
        node.child[side] = std::make_unique<SpatialTreeNode>();
        node.child[side]->world = &map;
      }
      AddItems(*node.child[side], down[side]);
    }
  }

  // 4. The children that hold objects are built; empty ones go.
  for (int k = 0; k < 2; k++) {
    std::unique_ptr<SpatialTreeNode>& child = node.child[k];
    if (!child) continue;
    bool holds = false;
    for (MapObject* item : child->items) holds = holds || item;
    if (!holds) {
      child.reset();
      node.childBox[k].ReleaseObject();
      continue;
    }
    BuildNode(*child, map);
    ShowBox(node.childBox[k], map, child->extentMin, child->extentMax);
  }

  // 5. Objects without a light rate get one from their position.
  for (MapObject* item : node.items)
    if (item && item->lightRate < 0) item->lightRate = LightRateFromPosition(item->GetObjectWorldPosition());

  // 6. Items compacted; the node's box is its subtree's.
  std::vector<MapObject*> kept;
  for (MapObject* item : node.items)
    if (item) kept.push_back(item);
  size_t capacity = std::max<size_t>(kItemGrowth, (kept.size() + kItemGrowth - 1) / kItemGrowth * kItemGrowth);
  kept.resize(capacity, nullptr);
  node.items = std::move(kept);
  node.itemCapacity = int32_t(capacity);
  node.extentMin = lo;
  node.extentMax = hi;
  node.hasExtent = !placed.empty();
  ShowBox(node, map, lo, hi);
}

// Where the segment from a to b first meets the box, as a fraction of the
// segment (0 when a lies inside); false when it misses.
bool SegmentMeetsBox(const Vec3& a, const Vec3& b, const Vec3& lo, const Vec3& hi, float* entry) {
  float t0 = 0.0f, t1 = 1.0f;
  const float start[3] = {a.x, a.y, a.z}, end[3] = {b.x, b.y, b.z};
  const float low[3] = {lo.x, lo.y, lo.z}, high[3] = {hi.x, hi.y, hi.z};
  for (int i = 0; i < 3; i++) {
    float d = end[i] - start[i];
    if (d == 0.0f) {
      if (start[i] < low[i] || start[i] > high[i]) return false;
      continue;
    }
    float ta = (low[i] - start[i]) / d, tb = (high[i] - start[i]) / d;
    if (ta > tb) std::swap(ta, tb);
    t0 = std::fmax(t0, ta);
    t1 = std::fmin(t1, tb);
    if (!(t0 <= t1)) return false;
  }
  if (entry) *entry = t0;
  return true;
}

struct RayBest {
  MapObject* object = nullptr;
  float distance = 1000000.0f;
  Vec3 point{}, normal{};
};

void RayNode(GameWorld& world, SpatialTreeNode& node, bool isRoot, const Vec3& a, const Vec3& b, int filter,
             RayBest& best) {
  float entry = 0;
  bool meets = node.hasExtent && SegmentMeetsBox(a, b, node.extentMin, node.extentMax, &entry);
  // The root holds objects added since the last build too: it is always
  // entered.
  if (!isRoot && !meets) return;
  if ((filter & kMapFilterNodeBox) && meets) {
    MapObject* first = nullptr;
    for (MapObject* item : node.items)
      if (item) {
        first = item;
        break;
      }
    Vec3 at = platform::Vec3Add(a, platform::Vec3Scale(platform::Vec3Subtract(b, a), entry));
    float d = platform::Vec3Length(platform::Vec3Subtract(at, a));
    if (first && d < best.distance) {
      best = {first, d, at, {0, 0, 0}};
    }
  }
  for (MapObject* item : node.items) {
    if (!item || !item->model || !PassesMapFilter(item, filter, true)) continue;
    Vec3 p, n;
    if (!item->TestObjectHitSegment(world.graphics, &p, &n, a, b, 0)) continue;
    float d = platform::Vec3Length(platform::Vec3Subtract(p, a));
    if (d < best.distance) best = {item, d, p, n};
  }
  for (auto& child : node.child)
    if (child) RayNode(world, *child, false, a, b, filter, best);
}

bool BoxesOverlap(const Vec3& alo, const Vec3& ahi, const Vec3& blo, const Vec3& bhi) {
  return alo.x <= bhi.x && ahi.x >= blo.x && alo.y <= bhi.y && ahi.y >= blo.y && alo.z <= bhi.z && ahi.z >= blo.z;
}

MapObject* OverlapNode(GameWorld& world, SpatialTreeNode& node, bool isRoot, render::DisplayObject* object,
                       const Vec3& lo, const Vec3& hi, int filter) {
  if (!isRoot && !(node.hasExtent && BoxesOverlap(lo, hi, node.extentMin, node.extentMax))) return nullptr;
  for (MapObject* item : node.items) {
    if (!item || item == object || !item->model || !PassesMapFilter(item, filter, false)) continue;
    if (render::DisplayObject::TestObjectHitObject(world.graphics, item, object) ||
        render::DisplayObject::TestObjectHitObject(world.graphics, object, item))
      return item;
  }
  for (auto& child : node.child)
    if (child)
      if (MapObject* found = OverlapNode(world, *child, false, object, lo, hi, filter)) return found;
  return nullptr;
}

}  // namespace

void AddToSpatialTree(GameWorld& world, MapObject* object) {
  if (object) AddItem(MapOf(world).root, object);
}

bool IsInSpatialTree(GameWorld& world, const MapObject* object) {
  return object && NodeHolds(MapOf(world).root, object);
}

void RemoveFromSpatialTree(MapObjectWorld& map, const MapObject* object) { NodeRemove(map.root, object); }

void ClearSpatialTree(MapObjectWorld& map) {
  map.root.child[0].reset();
  map.root.child[1].reset();
  map.root.childBox[0].ReleaseObject();
  map.root.childBox[1].ReleaseObject();
  map.root.items.clear();
  map.root.itemCapacity = 0;
  map.root.hasExtent = false;
}

void BuildSpatialTree(GameWorld& world) {
  MapObjectWorld& map = MapOf(world);
  BuildNode(map.root, map);
}

MapObject* RayCastMapObjects(GameWorld& world, Vec3 start, Vec3 end, int filter, Vec3* hit, Vec3* normal) {
  RayBest best;
  RayNode(world, MapOf(world).root, true, start, end, filter, best);
  if (!best.object) return nullptr;
  if (hit) *hit = best.point;
  if (normal) *normal = best.normal;
  return best.object;
}

MapObject* MapObjectOverlap(GameWorld& world, render::DisplayObject* object, int filter) {
  if (!object) return nullptr;
  Vec3 lo, hi;
  GetMapObjectBox(object, &lo, &hi);
  return OverlapNode(world, MapOf(world).root, true, object, lo, hi, filter);
}

}  // namespace world
