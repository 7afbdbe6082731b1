// units_ops.cpp -- unit operations: branch roots and hit points, motion,
// texts and label paths, the event queues, wing deflection and view axes.

#include <algorithm>
#include <cstring>

#include "sound/sound_public.h"
#include "units_local.h"

namespace units {

namespace {

// A BRANCH chain longer than this is a parent loop made by mistake; the walk
// stops rather than spin.
constexpr int kMaxChainLength = 4096;

constexpr int16_t kEventMarkSteps = 60;
constexpr int32_t kQueueFirstEntries = 16;

bool HasBranch(const Unit* unit) { return unit->type && (unit->type->attributes & kAttrBranch); }

// Entries waiting in a queue: contiguous from the start up to the first free
// one (amount 0 in the damage-by queue, unit id 0 in the others).
int CountQueued(const UnitEventQueue& queue, bool freeByAmount) {
  int n = 0;
  while (n < queue.capacity) {
    const UnitEvent& e = queue.entries[n];
    if (freeByAmount ? e.amount == 0 : e.unitId == 0) break;
    n++;
  }
  return n;
}

void AppendEvent(UnitEventQueue& queue, bool freeByAmount, UnitEvent event) {
  int n = CountQueued(queue, freeByAmount);
  if (n == queue.capacity) {
    int32_t grown = queue.capacity ? queue.capacity * 2 : kQueueFirstEntries;
    auto entries = std::make_unique<UnitEvent[]>(grown);  // zeroed: every entry free
    if (queue.capacity) std::memcpy(entries.get(), queue.entries.get(), sizeof(UnitEvent) * queue.capacity);
    queue.entries = std::move(entries);
    queue.capacity = grown;
  }
  queue.entries[n] = event;
}

int PopEvent(UnitEventQueue& queue, bool freeByAmount, UnitEvent* out, int pop) {
  int n = CountQueued(queue, freeByAmount);
  if (n == 0) {
    if (out) *out = {0, 0};
    return 0;
  }
  if (out) *out = queue.entries[0];
  if (pop) {
    std::memmove(&queue.entries[0], &queue.entries[1], sizeof(UnitEvent) * (n - 1));
    queue.entries[n - 1] = {0, 0};
  }
  return n;
}

// Turns v about a unit axis by an angle.
Vec3 TurnAbout(const Vec3& v, const Vec3& axis, float angle) {
  return platform::Vec3TransformNormal(v, platform::MatrixRotationAxis(axis, angle));
}

}  // namespace

// [SECTION] Links and the branch root

Unit* GetUnitRoot(Unit* unit) {
  for (int i = 0; unit && i < kMaxChainLength && HasBranch(unit) && unit->parent; i++) unit = unit->parent;
  return unit;
}

render::DisplayObject* GetUnitAttachment(const Unit& unit, int n) {
  if (n > 15) return nullptr;
  if (n >= 0) return unit.attachments[n];
  for (render::DisplayObject* object : unit.attachments)
    if (object) return object;
  return nullptr;
}

// [SECTION] Hit points

int32_t GetUnitHp(Unit& unit) {
  Unit* root = GetUnitRoot(&unit);
  if (!unit.type || !root->type || root->maxHp <= 0) return 0;
  return root->hp;
}

float GetUnitHpRatio(Unit& unit) {
  Unit* root = GetUnitRoot(&unit);
  if (!unit.type || !root->type || root->maxHp <= 0) return 0;
  return std::max(0.0f, float(root->hp) / float(root->maxHp));
}

int32_t GetUnitDamageTaken(Unit& unit) {
  Unit* root = GetUnitRoot(&unit);
  return root->maxHp - root->hp;
}

int32_t SetUnitHp(Unit& unit, int32_t hp, int32_t max) {
  Unit* root = GetUnitRoot(&unit);
  if (!root->type) return root->hp;
  if (max > 0) root->maxHp = max;
  root->hp = hp < 0 ? root->maxHp : hp;
  return root->hp;
}

int32_t SupplyHp(Unit& unit, int32_t percent) {
  Unit* root = GetUnitRoot(&unit);
  // In 64 bits: a large percentage of a large capacity must not wrap.
  int64_t hp = int64_t(root->hp) + int64_t(percent) * root->maxHp / 100;
  root->hp = int32_t(std::clamp<int64_t>(hp, 0, std::max(0, root->maxHp)));
  return root->hp;
}

// [SECTION] Motion and controls

namespace {
void CopyOut(const Vec3& v, Vec3* out, Vec3* copy) {
  if (out) *out = v;
  if (copy) *copy = v;
}
}  // namespace

void GetUnitVelocity(const Unit& unit, Vec3* out, Vec3* copy) { CopyOut(unit.velocity, out, copy); }
void GetUnitMoment(const Unit& unit, Vec3* out, Vec3* copy) { CopyOut(unit.moment, out, copy); }
void GetUnitControl(const Unit& unit, Vec3* out, Vec3* copy) { CopyOut(unit.control, out, copy); }

float GetUnitEngineRpm(const Unit& unit) { return float(unit.engineRpm) / 10000.0f; }

float SetUnitEngineRpm(Unit& unit, float value) {
  float old = GetUnitEngineRpm(unit);
  unit.engineRpm = int32_t(value * 10000.0f);
  return old;
}

float GetUnitLandingRate(const Unit& unit) { return unit.landingRate; }

float SetUnitLandingRate(Unit& unit, float rate) {
  unit.landingRate = std::clamp(rate, 0.0f, 1.0f);
  return unit.landingRate;
}

void SetUnitSpeed(Unit& unit, float speed, float rate) {
  unit.speedTarget = speed > 0 ? speed : 0;
  if (rate > 0) {
    unit.speedRate = rate;
    return;
  }
  Vec3 direction = unit.velocity;
  if (platform::Vec3Length(direction) == 0) direction = unit.GetObjectWorldFront();
  unit.velocity = platform::Vec3Scale(platform::Vec3Normalize(direction), speed);
  unit.speedRate = 0;
}

void SetUnitImpulse(Unit& unit, const Vec3& velocity, const Vec3& rotation, int32_t steps) {
  unit.impulseVelocity = velocity;
  unit.impulseRotation = rotation;
  unit.impulseSteps = steps;
}

void SetUnitTerritory(Unit& unit, float a, float b, float c) { unit.territory = {a, b, c}; }

void SetUnitPath(Unit& unit, PathPoint* point, int32_t index) {
  unit.path = point;
  unit.pathIndex = index;
}

Vec3 GetUnitHeadPos(Unit& unit) {
  if (!unit.type) return unit.GetObjectWorldPosition();
  return unit.TransformPointToWorld(unit.type->headPos);
}

Vec3 GetWingDeflection(const Unit& unit, float side) {
  float c0 = unit.control.x, c1 = unit.control.y, c2 = unit.control.z;
  float a, b;
  if (side > 0) {
    a = -c1 - c0;
    b = c2 / 3;
  } else if (side < 0) {
    a = c0 - c1;
    b = c2 / 3;
  } else {
    a = -c1;
    b = 0;
  }
  a = std::clamp(a, -1.0f, 1.0f);
  // The rate as the master wrote it (percent), in degrees; a unit flying on
  // its own has no master and so no deflection.
  float m = 0;
  if (unit.master && unit.master->type) m = std::min(unit.master->type->vectorRate * 100.0f, 30.0f);
  return {m * a * kDegreesToRadians, m * b * kDegreesToRadians, 0};
}

void GetUnitViewAxes(Unit& unit, Vec3* direction, Vec3* up, const Vec3* fromDirection, const Vec3* fromUp) {
  Vec3 forward = fromDirection ? *fromDirection : unit.GetObjectWorldFront();
  Vec3 upAxis = fromUp ? *fromUp : unit.GetObjectWorldUp();
  forward = TurnAbout(forward, upAxis, unit.viewYaw);
  Vec3 side = TurnAbout(forward, upAxis, 1.5707960f);
  forward = TurnAbout(forward, side, unit.viewPitch);
  upAxis = TurnAbout(upAxis, side, unit.viewPitch);
  if (direction) *direction = forward;
  if (up) *up = upAxis;
}

// [SECTION] Texts and label paths

const char* SetUnitLabel(Unit& unit, const char* text) { return unit.label.Set(text); }
const char* SetUnitGroup(Unit& unit, const char* text) { return unit.group.Set(text); }
const char* SetUnitPathLabel(Unit& unit, const char* text) { return unit.pathLabel.Set(text); }

const char* SetUnitTeam(Unit& unit, const char* text) {
  const char* stored = unit.team.Set(text);
  for (auto& slot : unit.weaponChildren)
    for (Unit* child : slot)
      if (child && child != &unit) SetUnitTeam(*child, stored);
  return stored;
}

const char* SetUnitPrintedTeam(Unit& unit, const char* text) {
  const char* stored = unit.printedTeam.Set(text);
  for (auto& slot : unit.weaponChildren)
    for (Unit* child : slot)
      if (child && child != &unit) SetUnitPrintedTeam(*child, stored);
  return stored;
}

const char* MatchLabelPath(Unit& unit, const char* text, int inner) {
  if (!text) return nullptr;
  Unit* at = &unit;
  // Unlabelled units take no part: the path names their labelled ancestors.
  // A labelled unit's ancestors consume the leading part of the path first.
  for (int i = 0; at->parent && i < kMaxChainLength; i++) {
    if (at->label.Get()[0] == 0) {
      at = at->parent;
      continue;
    }
    text = MatchLabelPath(*at->parent, text, 1);
    if (!text) return nullptr;
    break;
  }
  const char* label = at->label.Get();
  const char* dot = std::strchr(text, '.');
  if (!dot) return std::strcmp(text, label) == 0 ? text + std::strlen(text) : nullptr;
  // A part matches every label that begins with it.
  if (std::strncmp(text, label, size_t(dot - text)) == 0 && inner) return dot + 1;
  return nullptr;
}

// [SECTION] Jamming, sound, weapon stops

void SetUnitJamming(Unit& unit, uint32_t flags, uint32_t level) {
  uint32_t& unitLevel = unit.flightWords[3];
  uint32_t& unitFlags = unit.flightWords[4];
  if (flags) {
    unitFlags |= flags;
    unitLevel = std::max(unitLevel, level);
  } else {
    unitFlags = unitLevel = 0;
  }
}

void SetUnitSoundChannel(Unit& unit, int32_t slot) { unit.soundChannel = slot; }

int StopUnitEngineSound(sound::SoundSystem* sound, Unit& unit) {
  if (unit.soundCopy < 0) return unit.soundCopy;
  int status = sound ? sound->GetSoundStatus(unit.soundChannel, unit.soundCopy) : 0;
  if (sound && (status & sound::kStatusPlaying)) sound->StopSoundSlot(unit.soundChannel, unit.soundCopy);
  unit.soundCopy = -1;
  return status;
}

int StopGun(Unit& unit, int value) {
  unit.gunStop = uint8_t(value);
  return 0;
}

int StopWeapon(Unit& unit, int slot, int value) {
  if (slot < 0 || slot >= kUnitWeaponSlots) return -1;
  unit.weaponStops[slot] = uint8_t(value);
  return 0;
}

// [SECTION] Event queues

void RecordDamageBy(Unit& unit, Unit* attacker, int32_t amount) {
  if (attacker && HasBranch(attacker)) attacker = GetUnitRoot(attacker);
  if ((unit.flags & kUnitInert) || amount == 0) return;
  AppendEvent(unit.damageByQueue, true, {attacker ? attacker->unitId : 0, amount});
  unit.damageByMark = kEventMarkSteps;
}

void RecordHit(world::GameWorld& world, Unit& unit, Unit* victim, int32_t amount) {
  victim = GetUnitRoot(victim);
  if (!victim) return;
  // The trigger names this unit: its weapon hit.
  world::RunPathTriggers(world, kTriggerHit, &unit, &unit);
  AppendEvent(unit.hitQueue, false, {victim->unitId, (victim->flags & kUnitInert) ? 0 : amount});
  unit.hitMark = kEventMarkSteps;
}

void RecordKill(world::GameWorld& world, Unit& unit, Unit* victim) {
  victim = GetUnitRoot(victim);
  if (!victim) return;
  world::RunPathTriggers(world, kTriggerDestroy, &unit, &unit);
  AppendEvent(unit.killQueue, false, {victim->unitId, 0});
  unit.killMark = kEventMarkSteps;
}

int PopDamageEvent(Unit& unit, UnitEvent* out, int pop) { return PopEvent(unit.damageByQueue, true, out, pop); }
int PopHitEvent(Unit& unit, UnitEvent* out, int pop) { return PopEvent(unit.hitQueue, false, out, pop); }
int PopDestroyEvent(Unit& unit, UnitEvent* out, int pop) { return PopEvent(unit.killQueue, false, out, pop); }

}  // namespace units
