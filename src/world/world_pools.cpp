// world_pools.cpp -- the unit and effect pools, placing and spawning units,
// the target finder, the population statistics and the engine-sound cache.
//
// Index:
// [SECTION] The unit pool
// [SECTION] Placing units
// [SECTION] Releasing units
// [SECTION] The target finder
// [SECTION] Population statistics
// [SECTION] Engine sounds and the sound-name cache
// [SECTION] The effect pool

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>

#include "sound/sound_public.h"
#include "world/world_local.h"

namespace world {

namespace {

constexpr uint32_t kUnitPoolGrowthBytes = 1024;  // with the 16 bytes every growth adds: 260 slots
constexpr int kDestroyedNamesFirst = 260;
constexpr const char* kSystemYou = "__SYSTEM__YOU";
constexpr const char* kSystemDustLabel = "__SYSTEM__DUST";

float Distance(Vec3 a, Vec3 b) {
  float x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
  return std::sqrt(x * x + y * y + z * z);
}

int ClassOf(const units::UnitType* type) {
  int c = type ? type->mode : 0;
  return c < 0 ? 0 : c > 3 ? 3 : c;
}

// 1 when the unit stands on the other side of the player's team.
bool IsOtherTeamThanPlayer(GameWorld& world, const char* team) {
  return world.playerUnit && std::strcmp(world.playerUnit->team.Get(), team ? team : "") != 0;
}

}  // namespace

// [SECTION] The unit pool

bool GrowUnitPool(GameWorld& world) {
  uint32_t oldCount = world.unitPool.Count();
  if (!world.unitPool.GrowZeroed(world.unitPool.size + kUnitPoolGrowthBytes)) return false;
  uint32_t newCount = world.unitPool.Count();
  for (uint32_t slot = oldCount; slot < newCount; slot++) world.unitPool[slot] = new units::Unit();
  world.unitSlotWord.resize(newCount, -1);
  // Every slot owns its flame and HUD sprites; the flame blocks point at
  // them (the pointers stay valid: each slot's sprites are their own block).
  world.slotSprites.reserve(newCount);
  world.flameBlocks.resize(newCount);
  for (uint32_t slot = uint32_t(world.slotSprites.size()); slot < newCount; slot++) {
    world.slotSprites.push_back(std::make_unique<UnitSlotSprites>());
    for (int k = 0; k < 4; k++) world.flameBlocks[slot].sprite[k] = &world.slotSprites[slot]->flames[k];
  }
  return true;
}

void FreeUnitPool(GameWorld& world) {
  // Children first lose their links, so no record outlives a parent it
  // points at while the pool is torn down.
  for (uint32_t slot = 0; slot < world.unitPool.Count(); slot++)
    if (world.unitPool[slot]) units::ResetUnit(*world.unitPool[slot]);
  for (uint32_t slot = 0; slot < world.unitPool.Count(); slot++) delete world.unitPool[slot];
  world.unitPool.Free();
  world.unitSlotWord.clear();
  world.flameBlocks.clear();
  world.slotSprites.clear();
  world.playerUnit = world.focusUnit = world.targetUnit = nullptr;
}

void ClearUnitSlots(GameWorld& world) {
  for (int slot = 0; slot < CountUnitSlots(world); slot++) ResetUnitSlot(world, slot);
  world.playerUnit = world.focusUnit = world.targetUnit = nullptr;
}

int CountUnitSlots(GameWorld& world) { return int(world.unitPool.Count()); }

units::Unit* GetUnitSlot(GameWorld& world, int slot) {
  return slot >= 0 && slot < CountUnitSlots(world) ? world.unitPool[uint32_t(slot)] : nullptr;
}

units::Unit* GetUnitAt(GameWorld& world, int slot) {
  if (slot <= 0) return nullptr;
  units::Unit* unit = GetUnitSlot(world, slot);
  return unit && UnitIsLive(unit) ? unit : nullptr;
}

units::Unit* GetPlayerUnit(GameWorld& world) { return world.playerUnit; }

Vec3 GetPlayerUnitPosition(GameWorld& world) {
  return world.playerUnit ? world.playerUnit->GetObjectWorldPosition() : Vec3{};
}

units::Unit* AllocUnit(GameWorld& world) {
  int slot = 1;
  for (;; slot++) {
    while (slot >= CountUnitSlots(world))
      if (!GrowUnitPool(world)) return nullptr;
    if (!UnitIsLive(world.unitPool[uint32_t(slot)])) break;
  }
  units::Unit* unit = world.unitPool[uint32_t(slot)];
  // The slot is free: whatever a stale record still hangs under it is
  // released without announcing units that do not exist.
  ReleaseMatchingUnits(world, unit);
  ResetUnitSlot(world, slot);
  unit->unitId = slot;
  if (world.networkGame) {
    unit->networkId = int32_t((uint32_t(world.networkOwnId) << 24) | (uint32_t(world.networkUnitCounter) & 0xFFFFFF));
    world.networkUnitCounter = (world.networkUnitCounter + 1) & 0xFFFFFF;
  }
  return unit;
}

// [SECTION] Placing units

units::Unit* PutUnit(GameWorld& world, const char* team, units::UnitType* type, int level, const char* label,
                     uint32_t flags, Vec3 position, Vec3 angles, units::Unit* parent) {
  // 1. The player's own unit takes the chosen type.
  bool own = false;
  if (type && type->key == kSystemYou) {
    type = world.playerType;
    own = true;
  }
  if (!type) return nullptr;
  if (!team) team = "";

  // 2. A slot and the type's graphics.
  units::Unit* unit = AllocUnit(world);
  if (!unit) return nullptr;
  LoadMasterModels(world, unit, type);

  // 3. Hit points by the game level.
  int32_t hp = type->defense;
  if (flags & kPutPlayer) {
    if (world.gameLevel <= 0) hp *= 3;
    else if (world.gameLevel == 1) hp *= 2;
  }
  if (world.gameLevel == 0 && IsOtherTeamThanPlayer(world, team)) hp = hp * 3 / 4;
  if (flags & kPutNoHp) hp = 0;

  // 5. Motion, type and pose.
  units::SetUnitEngineRpm(*unit, 1.0f);
  unit->type = type;
  unit->SetObjectPosition(position.x, position.y, position.z);
  unit->home = position;
  unit->SetObjectAngles(angles.x, angles.y, angles.z);
  Vec3 front{};
  core::DirectionFromAngles(&front, nullptr, angles);
  float speed = type->speed < 0.0f ? 0.0f : type->speed;
  unit->velocity = Vec3{front.x * speed, front.y * speed, front.z * speed};
  unit->SetObjectScale(type->scale.x, type->scale.y, type->scale.z);
  unit->hp = unit->maxHp = hp;

  // 6. Parent and owner.
  if (parent) {
    units::SetUnitParent(*unit, parent);
    units::SetUnitMaster(*unit, parent->master ? parent->master : parent);
  }

  // 8. Texts and flags.
  unit->flags = flags & (units::kUnitTarget | units::kUnitPlayer);
  if (type->attributes & units::kAttrObject) unit->flags |= units::kUnitInert;
  if (type->attributes & units::kAttrAlpha) unit->flags |= units::kUnitBlended;
  units::SetUnitTeam(*unit, team);
  units::SetUnitPrintedTeam(*unit, team);
  units::SetUnitGroup(*unit, "");
  unit->sceneNumber = world.eventMode;
  if (label) units::SetUnitLabel(*unit, label);
  unit->duckFlag = world.networkGame ? 0 : 1;
  unit->defensiveFlag = 1;
  if (type->attributes & units::kAttrInvisible) unit->SetObjectVisible(0);
  unit->score = 10;

  // 9. Level: enemies grow with the game level outside network games.
  if (!world.networkGame && IsOtherTeamThanPlayer(world, team)) level += 2 * world.gameLevel;
  level = level < 1 ? 1 : level > 10 ? 10 : level;
  unit->level = (unit->flags & units::kUnitPlayer) ? -1 : level;

  // 10. A start countdown drawn from the game's generator.
  unit->worldValue = Rand(world) % 60 + 20;

  // 11. Weapons of the slots: each slot armed (its ammunition counted from
  // the payload), then its children put on the hard points. They wait there
  // loading, as a resupplied slot's do.
  for (int slot = 0; slot < units::kUnitWeaponSlots; slot++)
    units::SetWeapon(world, *unit, slot, own ? world.playerWeaponTypes[slot] : type->weaponTypes[slot]);
  for (int slot = 0; slot < units::kUnitWeaponSlots; slot++) units::SpawnWeaponSlot(world, *unit, slot, 0);
  world.unitSlotWord[size_t(unit->unitId)] = -1;

  // 12. The player and the camera's units.
  if (!(flags & kPutNotPlayer) && !IsEditingWorld(world)) {
    if (!world.playerUnit) world.playerUnit = unit;
    if (!world.focusUnit) world.focusUnit = unit;
    if (!world.targetUnit) world.targetUnit = unit;
    if (flags & kPutPlayer) {
      world.focusUnit = world.playerUnit = unit;
      unit->level = -1;
    }
  }

  // 13. The type's children, each attached; the first failure ends them.
  if (!(flags & kPutNoChildren)) {
    for (const units::ChildEntry& child : type->children) {
      units::Unit* made = PutUnit(world, team, child.type, level, child.label.c_str(), flags & 0x40001,
                                  child.position, child.rotation, unit);
      if (!made) break;
      units::AttachToUnit(*unit, made);
    }
  }

  // 14-16. Statistics, the engine sound.
  if (!(flags & kPutNotCounted)) CountUnitIn(world, unit);
  if (!type->engineSoundFile.empty()) {
    int channel = CacheSoundName(world, type->engineSoundFile.c_str());
    if (channel >= 0) units::SetUnitSoundChannel(*unit, channel);
  }

  // 17. The APPEAR triggers.
  RunPathTriggers(world, kTriggerAppear, unit, unit);
  return unit;
}

units::Unit* SpawnOwnedUnit(GameWorld& world, Vec3 position, Vec3 direction, units::Unit* owner,
                            units::UnitType* type) {
  if (!type) return nullptr;
  units::Unit* unit = AllocUnit(world);
  if (!unit) return nullptr;
  LoadMasterModels(world, unit, type);
  unit->SetObjectGlareRate(type->glareRate);
  unit->type = type;
  unit->SetObjectPosition(position.x, position.y, position.z);
  float length = std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
  Vec3 unitDirection = length > 0.0f ? Vec3{direction.x / length, direction.y / length, direction.z / length}
                                     : Vec3{0.0f, 0.0f, 1.0f};
  Vec3 angles{};
  core::AnglesFromDirection(&angles, unitDirection, nullptr);
  unit->SetObjectAngles(angles.x, angles.y, angles.z);
  unit->velocity = direction;
  units::SetUnitMaster(*unit, owner);
  unit->SetObjectScale(type->scale.x, type->scale.y, type->scale.z);
  unit->sceneNumber = world.eventMode;
  if (owner) {
    units::SetUnitTeam(*unit, owner->team.Get());
    units::SetUnitPrintedTeam(*unit, owner->printedTeam.Get());
  } else {
    units::SetUnitTeam(*unit, "");
    units::SetUnitPrintedTeam(*unit, "");
    unit->flags |= units::kUnitInert;
  }
  if (world.networkGame) AnnounceShot(world, *unit, owner);
  if (!type->engineSoundFile.empty()) {
    int channel = CacheSoundName(world, type->engineSoundFile.c_str());
    if (channel >= 0) units::SetUnitSoundChannel(*unit, channel);
  }
  if (owner && owner->label.Get()[0]) RunPathTriggers(world, kTriggerAppear, unit, unit);
  return unit;
}

units::Unit* PutSystemDust(GameWorld& world, Vec3 position, Vec3 direction) {
  units::UnitType* dust = world.dustTypes[0];  // found by load_unit_master
  units::Unit* unit = PutUnit(world, "", dust, 0, kSystemDustLabel, 0, position, Vec3{}, nullptr);
  if (!unit) return nullptr;
  Vec3 angles{};
  core::AnglesFromDirection(&angles, direction, nullptr);
  unit->SetObjectAngles(angles.x, angles.y, angles.z);
  unit->moment.x = float(Rand(world) % 5 - 2);
  unit->moment.y = float(Rand(world) % 5 - 2);
  RunPathTriggers(world, kTriggerAppear, unit, unit);
  return unit;
}

// [SECTION] Releasing units

void ReleaseUnit(GameWorld& world, units::Unit* unit) {
  if (!unit) return;
  if (world.focusUnit == unit) world.focusUnit = nullptr;
  if (world.targetUnit == unit) world.targetUnit = nullptr;
  if (world.playerUnit == unit) world.playerUnit = nullptr;
  units::SetUnitParent(*unit, nullptr);
  int slot = unit->unitId;
  if (world.host.unitReleased) world.host.unitReleased(world.host.user, unit);
  units::ResetUnit(*unit);
  if (slot > 0 && slot < CountUnitSlots(world)) world.unitSlotWord[size_t(slot)] = -1;
}

int ReleaseMatchingUnits(GameWorld& world, units::Unit* unit) {
  if (!unit) return 0;
  // Marked first, released after: releasing unlinks the parent chains the
  // marking follows. Only slots that hold a unit are looked at.
  int slots = CountUnitSlots(world);
  std::vector<uint8_t> marked(size_t(slots), 0);
  for (int slot = 1; slot < slots; slot++) {
    units::Unit* other = world.unitPool[uint32_t(slot)];
    if (!UnitIsLive(other)) continue;
    if (other == unit || render::DisplayObject::IsObjectDescendant(other, unit)) marked[size_t(slot)] = 1;
  }
  int released = 0;
  for (int slot = 1; slot < slots; slot++) {
    if (!marked[size_t(slot)]) continue;
    if (world.networkGame) {
      world.announcedDeletions++;
      NotifyUnitDeleted(world, world.unitPool[uint32_t(slot)]->networkId);
    }
    ReleaseUnit(world, world.unitPool[uint32_t(slot)]);
    released++;
  }
  return released;
}

// [SECTION] The target finder

units::Unit* FindTarget(GameWorld& world, units::Unit* unit, units::Unit* current, int cone, int forward,
                        int weapon) {
  if (!unit) return nullptr;
  // Ranges by the candidate's class, from the current weapon.
  int32_t ranges[4] = {INT_MAX, INT_MAX, INT_MAX, INT_MAX};
  if (weapon) {
    int slot = unit->currentWeaponSlot;
    const units::UnitType* weaponType =
        slot >= 0 && slot < units::kUnitWeaponSlots ? unit->weaponTypes[slot] : nullptr;
    for (int c = 0; c < 4; c++) ranges[c] = weaponType ? weaponType->range[c] : 0;
  }
  int32_t largest = 0;
  for (int32_t r : ranges) largest = r > largest ? r : largest;

  Vec3 from = units::GetUnitHeadPos(*unit);
  float d0 = current ? Distance(from, units::GetUnitHeadPos(*current)) : (forward ? 0.0f : FLT_MAX);
  float limit = forward ? (cone ? FLT_MAX : float(largest)) : 0.0f;
  units::Unit* choice = nullptr;
  const char* ownTeam = unit->team.Get();

  for (int slot = 1; slot < CountUnitSlots(world); slot++) {
    units::Unit* c = GetUnitAt(world, slot);
    if (!c || !UnitHasGraphics(c) || (c->flags & units::kUnitInert) || !c->type) continue;
    if ((c->type->attributes & units::kAttrWeapon) || c->type->name.empty()) continue;
    if (ranges[ClassOf(c->type)] <= 0) continue;
    const char* team = c->printedTeam.Get();
    if (!team[0] || std::strcmp(team, ownTeam) == 0) continue;
    Vec3 at = units::GetUnitHeadPos(*c);
    if (cone) {
      Vec3 local = unit->TransformPointToLocal(at);
      if (!(local.z > 0.0f) || std::fabs(local.x) / local.z > 0.38f || std::fabs(local.y) / local.z > 0.3f)
        continue;
    }
    // Both ways a target must still be alive.
    if (units::GetUnitHp(*c) <= 0) continue;
    float d = Distance(from, at);
    if (forward) {
      if (d0 < d && d < limit) {
        choice = c;
        limit = d;
      }
    } else if (d < d0 && d > limit) {
      choice = c;
      limit = d;
    }
  }
  return choice;
}

// [SECTION] Population statistics

namespace {

// A type never counted: weapons and branch parts.
bool NeverCounted(const units::Unit* unit) {
  return !unit->type || (unit->type->attributes & (units::kAttrWeapon | units::kAttrBranch));
}

void GiveLists(PopulationRecord& record) {
  record.destroyedNames.assign(kDestroyedNamesFirst, nullptr);
  record.destroyedCounts.assign(kDestroyedNamesFirst, 0);
}

}  // namespace

PopulationRecord* FindNamedRecord(GameWorld& world, const char* team) {
  if (!team) team = "";
  for (PopulationRecord& record : world.population)
    if (record.used && record.team == team) return &record;
  return nullptr;
}

void ResetPopulation(GameWorld& world) {
  for (PopulationRecord& record : world.population) {
    record = PopulationRecord{};
    GiveLists(record);
  }
}

void FreePopulation(GameWorld& world) { world.population.clear(); }

int CountUnitIn(GameWorld& world, units::Unit* unit) {
  if (!unit || NeverCounted(unit)) return 1;
  if ((unit->flags & (units::kUnitInert | units::kUnitCounted)) || unit->sceneNumber) return 0;
  const char* team = unit->team.Get();
  PopulationRecord* record = FindNamedRecord(world, team);
  if (!record) {
    for (PopulationRecord& free : world.population)
      if (!free.used) {
        record = &free;
        break;
      }
  }
  if (!record) {
    world.population.emplace_back();
    record = &world.population.back();
    GiveLists(*record);
  }
  if (!record->used) {
    record->used = true;
    record->team = team;
  }
  int c = ClassOf(unit->type);
  record->appeared[c]++;
  record->alive[c]++;
  if (unit->flags & units::kUnitTarget) {
    record->targetAppeared[c]++;
    record->targetAlive[c]++;
  }
  unit->flags |= units::kUnitCounted;
  return 1;
}

int CountUnitOut(GameWorld& world, units::Unit* unit) {
  if (!unit || NeverCounted(unit)) return 1;
  units::StopUnitEngineSound(world.sound, *unit);
  PopulationRecord* record = FindNamedRecord(world, unit->team.Get());
  if ((unit->flags & units::kUnitCounted) && record) {
    int c = ClassOf(unit->type);
    record->appeared[c]--;
    record->alive[c]--;
    if (unit->flags & units::kUnitTarget) {
      record->targetAppeared[c]--;
      record->targetAlive[c]--;
    }
    unit->flags &= ~uint32_t(units::kUnitCounted);
  }
  return 0;
}

int CountUnitDestroyed(GameWorld& world, units::Unit* unit) {
  if (!unit || NeverCounted(unit)) return 1;
  units::StopUnitEngineSound(world.sound, *unit);
  PopulationRecord* record = FindNamedRecord(world, unit->team.Get());
  if (!(unit->flags & units::kUnitCounted) || !record) return 0;
  MarkRecorderDestruction(world, unit->unitId);
  int c = ClassOf(unit->type);
  record->destroyed[c]++;
  record->alive[c]--;
  if (unit->flags & units::kUnitTarget) {
    record->targetDestroyed[c]++;
    record->targetAlive[c]--;
  }
  unit->flags &= ~uint32_t(units::kUnitCounted);

  // The type's name in the destroyed-type list: its entry, or the first
  // empty one; both lists doubled when full.
  const char* name = unit->type->name.c_str();
  size_t entry = 0;
  while (entry < record->destroyedNames.size() && record->destroyedNames[entry] &&
         std::strcmp(record->destroyedNames[entry], name) != 0)
    entry++;
  if (entry == record->destroyedNames.size()) {
    size_t grown = record->destroyedNames.empty() ? size_t(kDestroyedNamesFirst) : record->destroyedNames.size() * 2;
    record->destroyedNames.resize(grown, nullptr);
    record->destroyedCounts.resize(grown, 0);
  }
  record->destroyedNames[entry] = name;
  record->destroyedCounts[entry]++;
  return 0;
}

// [SECTION] Engine sounds and the sound-name cache

void UpdateUnitEngineSounds(GameWorld& world, float fade) {
  int slots = CountUnitSlots(world);
  int eventOn = world.eventMode != 0;
  std::vector<float> distance(size_t(slots), FLT_MAX);
  float nearest[4] = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
  for (int slot = 1; slot < slots; slot++) {
    units::Unit* u = GetUnitAt(world, slot);
    if (!u || !UnitHasGraphics(u) || units::GetUnitEngineRpm(*u) <= 0.0f || !u->type ||
        u->type->engineSoundFile.empty() || UnitEventFlag(u) != eventOn || (u->flags & units::kUnitFrozen))
      continue;
    float d = Distance(world.camera.eye, u->GetObjectWorldPosition());
    distance[size_t(slot)] = d;
    // Keep the four smallest, in order.
    for (int k = 0; k < 4; k++)
      if (d < nearest[k]) {
        for (int m = 3; m > k; m--) nearest[m] = nearest[m - 1];
        nearest[k] = d;
        break;
      }
  }
  float limit = nearest[3];
  // The listener is the camera's eye; it moves with the unit it rides in the
  // cockpit and behind views, else by the camera's own drift. While the
  // screen is faded out past 1, or with no unit in focus, the sounds are
  // left as they are.
  units::Unit* focus = world.focusUnit;
  bool listening = fade <= 1.0f && focus;
  Vec3 listenerVelocity = world.camera.drift;
  if (focus && (world.camera.mode == 0 || world.camera.mode == 1)) listenerVelocity = focus->velocity;
  for (int slot = 1; slot < slots; slot++) {
    units::Unit* u = GetUnitAt(world, slot);
    if (!u || !UnitHasGraphics(u)) continue;
    bool sounding = u->state != units::kUnitStateFinal && u->state != units::kUnitStateDestroyed &&
                    distance[size_t(slot)] < FLT_MAX && distance[size_t(slot)] <= limit;
    // The fade value ranks the volume: a fading screen quietens them all.
    if (!sounding) units::StopUnitEngineSound(world.sound, *u);
    else if (listening) units::UpdateEngineSound(world, *u, world.camera.eye, listenerVelocity, fade);
  }
}

int CacheSoundName(GameWorld& world, const char* fileName) {
  if (!fileName) fileName = "";
  int hit = -1;
  int oldest = 0;
  int32_t oldestAge = -1;
  for (int k = 0; k < GameWorld::kSoundCacheSlots; k++) {
    SoundCacheSlot& slot = world.soundCache[size_t(k)];
    if (hit < 0 && std::strcmp(slot.name, fileName) == 0 && slot.name[0]) {
      slot.age = 0;
      hit = k;
      continue;
    }
    slot.age++;
    if (slot.age > oldestAge) {
      oldestAge = slot.age;
      oldest = k;
    }
  }
  if (hit >= 0) return GameWorld::kSoundCacheFirstSlot + hit;

  SoundCacheSlot& slot = world.soundCache[size_t(oldest)];
  std::snprintf(slot.name, sizeof slot.name, "%s", fileName);
  // 0 when loaded; without a sound system nothing loads.
  int result = world.sound ? world.sound->LoadSoundEffect(GameWorld::kSoundCacheFirstSlot + oldest, fileName, 8, 0) : 1;
  if (result != 0) {
    // A failed load is not kept as a hit: the next request tries again.
    slot.name[0] = 0;
    return -1;
  }
  slot.age = 0;
  return GameWorld::kSoundCacheFirstSlot + oldest;
}

// [SECTION] The effect pool

namespace {

void GrowEffectPool(GameWorld& world) {
  for (int i = 0; i < GameWorld::kEffectPoolGrowth; i++) world.effectPool.push_back(new EffectObject());
}

}  // namespace

void EnsureEffectPool(GameWorld& world) {
  if (world.effectPool.empty()) {
    GrowEffectPool(world);
    world.effectRing = 0;
  }
}

void FreeEffectPool(GameWorld& world) {
  for (EffectObject* e : world.effectPool) delete e;
  world.effectPool.clear();
  world.effectRing = 0;
}

EffectObject* AllocEffect(GameWorld& world) {
  if (world.reducedEffects) return nullptr;
  EnsureEffectPool(world);
  for (int pass = 0; pass < 2; pass++) {
    int count = int(world.effectPool.size());
    for (int tries = 0; tries < count; tries++) {
      world.effectRing = (world.effectRing + 1) % count;
      EffectObject* effect = world.effectPool[size_t(world.effectRing)];
      if (EffectIsLive(*effect)) continue;
      ResetEffectObject(*effect);
      return effect;
    }
    // All busy: 256 more, and the search goes on from the first of them.
    world.effectRing = count - 1;
    GrowEffectPool(world);
  }
  return nullptr;
}

int CountEffectSlots(GameWorld& world) { return int(world.effectPool.size()); }

}  // namespace world
