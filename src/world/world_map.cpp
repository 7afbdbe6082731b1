// world_map.cpp -- map objects: the definition and object tables, placing
// and removing objects with their children, the lookups the editor and the
// scene files use, and the world's segment tests over map objects and units.
//
// Index
//  [SECTION] Records and life cycle
//  [SECTION] Placing and removing
//  [SECTION] Lookups
//  [SECTION] Queries
//  [SECTION] Segments against the world

#include <strings.h>

#include <cmath>
#include <cstring>

#include "world_map_internal.h"

namespace world {

namespace {

constexpr size_t kFirstTableEntries = 256;
// Children placed within children: a definition that names itself (or a
// ring of definitions naming each other) stops here instead of recursing
// without end.
constexpr int kMaxChildDepth = 16;

}  // namespace

// [SECTION] Records and life cycle

MapObjectDefinition::MapObjectDefinition() {
  for (int i = 0; i < kMapConnectionPoints; i++) connectionPoints[i] = {kMapNoPoint, kMapNoPoint, kMapNoPoint};
  for (int i = 0; i < kMapAeroLights; i++) {
    aeroLightPos[i] = {};
    aeroLightType[i] = -1;
  }
}

MapObjectWorld::MapObjectWorld() {
  definitions.resize(kFirstTableEntries);
  objects.resize(kFirstTableEntries);
  aeroQueue = std::make_unique<AeroLightEntry[]>(kAeroLightQueueSize);
  root.world = this;
}

MapObjectWorld::~MapObjectWorld() {
  // Objects leave their parents before any of them is destroyed, so no
  // destructor walks a freed parent's child list.
  for (auto& object : objects)
    if (object) object->SetObjectParent(nullptr);
  ClearSpatialTree(*this);
  for (auto& definition : definitions)
    if (definition) ReleaseDefinitionResources(*this, *definition);
  ReleaseSkyLayers(*this);
  if (graphics) {
    boxTexture.ReleaseTexture(*graphics);
    for (render::TextureHolder& t : lightTextures) t.ReleaseTexture(*graphics);
  }
}

MapObjectWorld* NewMapObjectWorld() { return new MapObjectWorld(); }
void DeleteMapObjectWorld(MapObjectWorld* map) { delete map; }

MapObjectWorld& MapOf(GameWorld& world) {
  MapObjectWorld& map = *world.map;
  map.environment = &world.environment;
  if (world.graphics) map.graphics = world.graphics;
  return map;
}

bool SameMapFileName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

bool PassesMapFilter(const MapObject* object, int filter, bool landingBit) {
  if (landingBit && (filter & kMapFilterLanding) && !(object->attributes & kMapLanding)) return false;
  return (object->attributes & kMapGround) ? (filter & kMapFilterGround) != 0 : (filter & kMapFilterOthers) != 0;
}

void GetMapObjectBox(render::DisplayObject* object, Vec3* lo, Vec3* hi) {
  if (!object->model) {
    *lo = *hi = object->GetObjectWorldPosition();
    return;
  }
  // The world box follows the object's (and its parents') placement.
  object->worldBoxValid = 0;
  object->GetObjectWorldBounds(hi, lo, nullptr);
}

// [SECTION] Placing and removing

namespace {

// An object entry back to its unplaced state, its model released.
void ResetRemovedObject(MapObject& object) {
  object.ReleaseObject();
  object.attributes = 0;
  object.definition = nullptr;
  object.lightRate = -1.0f;
  object.parentObject = nullptr;
  object.placed = false;
}

// The entry a new object goes to: the first free one from searchStart on
// (wrapping), the table doubling once every entry was passed.
int TakeObjectEntry(MapObjectWorld& map) {
  int n = int(map.objects.size());
  int taken = -1;
  for (int k = 0; k < n; k++) {
    int i = (map.searchStart + k) % n;
    if (!map.objects[size_t(i)] || !map.objects[size_t(i)]->placed) {
      taken = i;
      break;
    }
  }
  if (taken < 0) {
    map.objects.resize(size_t(n) * 2);
    taken = n;
  }
  std::unique_ptr<MapObject>& entry = map.objects[size_t(taken)];
  if (!entry) {
    entry = std::make_unique<MapObject>();
  } else {
    ResetRemovedObject(*entry);
  }
  map.searchStart = taken + 1;
  return taken;
}

void CarryAeroLights(MapObject& object) {
  const MapObjectDefinition* d = object.definition;
  for (int i = 0; i < kMapAeroLights; i++)
    object.aeroLightWorld[i] = d ? object.TransformPointToWorld(d->aeroLightPos[i]) : Vec3{};
}

MapObject* PlaceObject(GameWorld& world, Vec3 position, Vec3 rotation, MapObjectDefinition* definition,
                       MapObject* parent, int depth) {
  if (!definition) return nullptr;
  MapObjectWorld& map = MapOf(world);
  if (depth > kMaxChildDepth) {
    core::Logf(world.log, core::kLogError, "map object [%s]: children nested too deep, not placed\n",
               definition->name.c_str());
    return nullptr;
  }
  render::CMesh* model = LoadMapDefinitionModel(world, definition);
  int index = TakeObjectEntry(map);
  MapObject* object = map.objects[size_t(index)].get();
  object->SetObjectModel(model);
  object->SetObjectScale(definition->scale.x, definition->scale.y, definition->scale.z);
  object->SetObjectPosition(position.x, position.y, position.z);
  object->SetObjectAngles(rotation.x, rotation.y, rotation.z);
  object->definition = definition;
  object->lightRate = definition->lightRate;
  object->attributes = definition->attributes;
  object->SetObjectGlareRate(definition->glareRate);
  object->placed = true;
  object->blinkPhase = index;
  // A child is attached before its lights are carried out, so they follow
  // the parent's placement too.
  if (parent) {
    object->SetObjectParent(parent);
    object->parentObject = parent;
  }
  CarryAeroLights(*object);
  AddToSpatialTree(world, object);
  for (const MapChildEntry& child : definition->children)
    PlaceObject(world, child.position, child.rotation, child.definition, object, depth + 1);
  return object;
}

}  // namespace

MapObject* CreateMapObject(GameWorld& world, Vec3 position, Vec3 rotation, MapObjectDefinition* definition) {
  return PlaceObject(world, position, rotation, definition, nullptr, 0);
}

MapObject* CreateMapObjectByName(GameWorld& world, Vec3 position, Vec3 rotation, const char* name) {
  MapObjectDefinition* definition = FindMapDefinition(world, name);
  if (!definition) {
    core::Logf(world.log, core::kLogError, "map object [%s]: no such definition\n", name ? name : "");
    return nullptr;
  }
  return CreateMapObject(world, position, rotation, definition);
}

void RemoveMapObject(GameWorld& world, MapObject* object) {
  if (!object || !object->placed) return;
  MapObjectWorld& map = MapOf(world);
  for (auto& other : map.objects)
    if (other && other->placed && other->parentObject == object) RemoveMapObject(world, other.get());
  RemoveFromSpatialTree(map, object);
  ResetRemovedObject(*object);
}

void RemoveAllMapObjects(GameWorld& world) {
  MapObjectWorld& map = MapOf(world);
  for (auto& object : map.objects)
    if (object) object->SetObjectParent(nullptr);
  for (auto& object : map.objects)
    if (object && object->placed) ResetRemovedObject(*object);
  map.searchStart = 0;
  ClearSpatialTree(map);
}

// [SECTION] Lookups

MapObjectDefinition* FindMapDefinition(GameWorld& world, const char* name) {
  if (!name || !*name) return nullptr;
  MapObjectWorld& map = MapOf(world);
  for (auto& d : map.definitions)
    if (d && d->name == name) return d.get();
  for (auto& d : map.definitions)
    if (d && d->alias == name) return d.get();
  return nullptr;
}

int ListMapDefinitionNames(GameWorld& world, char* buffer) {
  MapObjectWorld& map = MapOf(world);
  int size = 0;
  for (auto& d : map.definitions) {
    if (!d || (d->attributes & kMapUnlisted)) continue;
    if (buffer) std::memcpy(buffer + size, d->name.c_str(), d->name.size() + 1);
    size += int(d->name.size()) + 1;
  }
  if (buffer) buffer[size] = 0;
  return size + 1;
}

int GetMapObjectDefinitionName(MapObject* object, char* buffer) {
  if (!object || !object->definition) return 0;
  const std::string& name = object->definition->name;
  if (buffer) std::memcpy(buffer, name.c_str(), name.size() + 1);
  return int(name.size()) + 1;
}

int GetObjectCapacity(GameWorld& world) { return int(MapOf(world).objects.size()); }

MapObject* GetObjectAt(GameWorld& world, int index) {
  MapObjectWorld& map = MapOf(world);
  if (index < 0 || size_t(index) >= map.objects.size()) return nullptr;
  MapObject* object = map.objects[size_t(index)].get();
  return object && object->placed ? object : nullptr;
}

MapObjectDefinition* GetObjectDefinition(MapObject* object) { return object ? object->definition : nullptr; }

MapObjectDefinition* SetMapObjectDefinition(MapObject* object, MapObjectDefinition* definition) {
  if (!object) return nullptr;
  MapObjectDefinition* previous = object->definition;
  object->definition = definition;
  object->lightRate = definition ? definition->lightRate : -1.0f;
  return previous;
}

int CountMapObjects(GameWorld& world) {
  int count = 0;
  for (auto& object : MapOf(world).objects)
    if (object && object->placed) count++;
  return count;
}

void SetMapView(GameWorld& world, Vec3 viewer, float drawRange) {
  MapObjectWorld& map = MapOf(world);
  map.viewer = viewer;
  map.drawRange = drawRange;
}

void SetMapQualityFlags(GameWorld& world, int flags) { MapOf(world).qualityFlags = flags; }

// [SECTION] Queries

Vec3 FindNearestMirrorMapObject(GameWorld& world, Vec3 point) {
  float best = 100000000.0f;
  Vec3 found{};
  for (auto& object : MapOf(world).objects) {
    if (!object || !object->placed || !(object->attributes & kMapMirrorMap)) continue;
    Vec3 p = object->GetObjectWorldPosition();
    float d = platform::Vec3Length(platform::Vec3Subtract(p, point));
    if (d < best) {
      best = d;
      found = p;
    }
  }
  return found;
}

Vec3 SnapToConnectionPoint(GameWorld& world, MapObject* object, float largestDistance) {
  if (!object) return {};
  Vec3 own = object->GetObjectPosition();
  const MapObjectDefinition* d = object->definition;
  if (!d || !d->hasConnectionPoints) return own;
  auto isPoint = [](const Vec3& p) { return p.x != kMapNoPoint || p.y != kMapNoPoint || p.z != kMapNoPoint; };
  float best = largestDistance;
  Vec3 result = own;
  for (int i = 0; i < kMapConnectionPoints && isPoint(d->connectionPoints[i]); i++) {
    Vec3 mine = object->TransformPointToWorld(d->connectionPoints[i]);
    for (auto& other : MapOf(world).objects) {
      if (!other || !other->placed || other.get() == object) continue;
      const MapObjectDefinition* od = other->definition;
      if (!od || !od->hasConnectionPoints) continue;
      for (int j = 0; j < kMapConnectionPoints && isPoint(od->connectionPoints[j]); j++) {
        Vec3 theirs = other->TransformPointToWorld(od->connectionPoints[j]);
        Vec3 delta = platform::Vec3Subtract(theirs, mine);
        float distance = platform::Vec3Length(delta);
        if (distance < best) {
          best = distance;
          result = platform::Vec3Add(own, delta);
        }
      }
    }
  }
  return result;
}

// [SECTION] Segments against the world

int CastRayAgainstTerrain(GameWorld& world, Vec3* hit, Vec3* normal, Vec3 from, Vec3 to, int mode, int* onWater) {
  MapObject* object = RayCastMapObjects(world, from, to, mode, hit, normal);
  if (onWater) *onWater = object && (object->attributes & kMapWater) ? 1 : 0;
  return object != nullptr;
}

namespace {

// False when the segment passes farther from the object's origin than any
// point of its model can lie (its bounding radius, which holds its scale; a
// parent's frame could stretch it further, so parts are always tested).
// Saves the exact test for the objects the segment nears.
bool SegmentMayReach(render::DisplayObject& object, const Vec3& from, const Vec3& to) {
  if (object.parent) return true;
  float reach = object.GetObjectRadius();
  float gap = DistanceToSegment(object.GetObjectWorldPosition(), from, to);
  return !(gap > reach * 1.001f + 0.01f);
}

}  // namespace

int CastRayAgainstWorld(GameWorld& world, units::Unit* skip, Vec3* hit, Vec3 from, Vec3 to) {
  Vec3 best{};
  float nearest = 0;
  bool found = false;
  Vec3 p;
  if (RayCastMapObjects(world, from, to, kMapFilterGround | kMapFilterOthers | kMapFilterLanding, &p, nullptr)) {
    best = p;
    nearest = platform::Vec3Length(platform::Vec3Subtract(p, from));
    found = true;
  }
  // This runs for every obstacle probe and ground fit: only the slots
  // marked as holding a model are read, in slot order (a unit with a model
  // is always a live one).
  const uint32_t slots = uint32_t(CountUnitSlots(world));
  for (uint32_t i : world.unitModelSlots) {
    if (i >= slots) break;
    units::Unit* unit = world.unitPool[i];
    if (!unit || unit == skip || !unit->model) continue;
    if (unit->type && (unit->type->attributes & units::kAttrLanding)) continue;
    if (!SegmentMayReach(*unit, from, to)) continue;
    if (!unit->TestObjectHitSegment(world.graphics, &p, nullptr, from, to, 1)) continue;
    float d = platform::Vec3Length(platform::Vec3Subtract(p, from));
    if (!found || d < nearest) {
      best = p;
      nearest = d;
      found = true;
    }
  }
  if (found && hit) *hit = best;
  return found ? 1 : 0;
}

}  // namespace world
