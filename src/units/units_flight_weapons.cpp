// units_flight_weapons.cpp -- the end of the flight step: the counters, the
// weapon switch, lock-on, gun heat and vapour trails.
//
// [SECTION] Helpers
// [SECTION] The end of the flight step
// [SECTION] Gun heat and firing
// [SECTION] Lock-on
// [SECTION] Vapour trails

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "units/units_flight.h"
#include "units_projectile.h"
#include "units_shots.h"

namespace units {

// [SECTION] Helpers

namespace {

// Gun heat: the clamp, the first threshold that slows the gun, the spacing
// of the thresholds and the last one; each threshold reached lengthens the
// cycle by two steps.
constexpr int32_t kMaxGunHeat = 500;
constexpr int32_t kFirstHeatThreshold = 260;
constexpr int32_t kHeatThresholdStep = 20;
constexpr int32_t kLastHeatThreshold = 480;
constexpr int32_t kCyclePerThreshold = 2;

// Lock-on: the sight cone (offset / depth), the farthest a target is seen,
// the counters a seen and an aimed-at target get, the unit's range counter,
// the lock tolerance and the cursor's pace (both x depth x lock factor).
constexpr float kLockViewCone = 0.25f;
constexpr float kLockViewDistance = 3000.0f;
constexpr uint32_t kCautionSteps = 10;
constexpr uint32_t kWarningSteps = 5;
constexpr int32_t kRangeSteps = 2;
constexpr float kLockTolerance = 0.01f;
constexpr float kCursorPace = 0.005f;
// The AI lock timer is held to at most this, plus 5 per unit id % 10, less
// 4 per LEVEL, while the target is out of sight; out of weapon range it
// runs down three times as fast.
constexpr int32_t kAiLockBase = 48;
constexpr int32_t kAiLockFastPace = 3;

// Vapour trails: the pull (roll^2 + pitch^2) that makes them, with a scene
// number set, and for a unit that can make none; the least speed; the
// level's pace up and down, its ceiling and the speed scale; the sprite
// width; the jump of a trail point; the steps a sprite stretches.
constexpr float kTrailPull = 0.99f;
constexpr float kTrailPullInScene = 0.1f;
constexpr float kTrailPullNever = 100.0f;
constexpr float kTrailMinSpeed = 0.45f;
constexpr int32_t kTrailRise = 3;
constexpr int32_t kTrailFall = 4;
constexpr int32_t kTrailMaxLevel = 48;
constexpr float kTrailSpeedFloor = 1.35f;
constexpr float kTrailSpeedScale = 128.0f;
constexpr float kTrailWidth = 0.05f;
constexpr float kTrailJump = 100.0f;
constexpr int32_t kTrailSegmentSteps = 3;

bool ValidSlot(int slot) { return slot >= 0 && slot < kUnitWeaponSlots; }

// The weapon type of the current slot, or null.
UnitType* CurrentWeapon(const Unit& unit) {
  return ValidSlot(unit.currentWeaponSlot) ? unit.weaponTypes[unit.currentWeaponSlot] : nullptr;
}

// A slot the weapon switch may stop on: armed with something that fires.
bool UsableSlot(const Unit& unit, int slot) {
  const UnitType* weapon = unit.weaponTypes[slot];
  return weapon && weapon->typeValue != kTypeMountedNone;
}

// Counts a counter down by one while it is above 0; a negative value (set
// by a script) stays as it is.
template <class Word>
void CountDown(Word& word) {
  if (word > 0) word = Word(word - 1);
}

// Sets a target's counter and raises its trigger when it was 0.
void RaiseCounter(world::GameWorld& world, Unit& target, uint32_t& counter, uint32_t steps, int trigger) {
  bool fresh = counter == 0;
  counter = steps;
  if (fresh) world::RunPathTriggers(world, trigger, &target, &target);
}

void ClearLock(Unit& unit) {
  unit.aimPoint = Vec3{0, 0, 0};
  unit.lockWord = 0;
}

// The lock is taken: the cursor sits on the target; the first step of a
// lock raises LOCK for the unit and LOCKED for the target, and leaves the
// target's index in the second aiming word for the scripts' lock state.
void TakeLock(world::GameWorld& world, Unit& unit, Unit& target, const Vec3& local) {
  unit.aimPoint = local;
  if (unit.lockWord) return;
  unit.lockWord = 1;
  unit.aimingWords[1] = int16_t(uint16_t(target.unitId & 0xFFFF));
  world::RunPathTriggers(world, kTriggerLock, &unit, &unit);
  world::RunPathTriggers(world, kTriggerLocked, &target, &target);
}

// The player's lock tones: the lock tone while the cursor closes in, the
// locked tone while the lock holds; each stops when its cause ends. Only
// this machine's player unit with a view sounds them: a copy of another
// peer's player locks on silently here.
void SoundLockTones(world::GameWorld& world, Unit& unit, bool locking, bool locked) {
  if ((unit.flags & (kUnitPlayer | kUnitRemote)) != kUnitPlayer) return;
  bool heard = unit.viewWord != 0;
  struct Tone {
    int slot;
    bool on;
  };
  for (Tone tone : {Tone{kSoundLockTone, heard && locking}, Tone{kSoundLockedTone, heard && locked}}) {
    bool playing = world::IsWorldSoundPlaying(world, tone.slot) != 0;
    if (tone.on && !playing) world::PlayWorldSoundLooping(world, tone.slot, 0, 0, 0);
    if (!tone.on && playing) world::StopWorldSound(world, tone.slot);
  }
}

}  // namespace

// [SECTION] The end of the flight step

void FinishFlightStep(world::GameWorld& world, Unit& unit, const FlightGunInput& gun,
                      const FlightWeaponInput& weapon) {
  // 1. The flight-area word of the position.
  Vec3 position = unit.GetObjectWorldPosition();
  unit.flightWords[kFlightArea] = uint32_t(world::out_area(world, position.x, position.y, position.z));

  // 2. The counters: caution, warning, missile warning, jamming level, the
  // range counter and the four event marks.
  // The flight words are counted as signed words, as scripts read them.
  for (int i = kFlightCaution; i <= kFlightJamLevel; i++) {
    int32_t word = int32_t(unit.flightWords[i]);
    CountDown(word);
    unit.flightWords[i] = uint32_t(word);
  }
  CountDown(unit.flightWord);
  CountDown(unit.damageByMark);
  CountDown(unit.killMark);
  CountDown(unit.hitMark);
  CountDown(unit.missileWords[0]);

  // 3. The weapon switch: on to the next usable slot, four tries at most;
  // with none usable it comes round to where it began.
  if (weapon.change) {
    int slot = ValidSlot(unit.currentWeaponSlot) ? unit.currentWeaponSlot : 0;
    for (int tries = 0; tries < kUnitWeaponSlots; tries++) {
      slot = (slot + 1) % kUnitWeaponSlots;
      if (UsableSlot(unit, slot)) break;
    }
    unit.currentWeaponSlot = slot;
    world::RunPathTriggers(world, kTriggerChange, &unit, &unit);
    if (unit.viewWord != 0 && unit.ammo[slot][0] > 0) PlaySoundAt(world, kSoundWeaponSwitch, position, 0);
  }

  // 4. A target that can no longer be locked is let go, and the lock with
  // it: a lock without a target would keep an AI unit from ever choosing
  // again.
  if (unit.target && GetLockOnRange(world, unit, *unit.target) == 0.0f) {
    unit.target = nullptr;
    ClearLock(unit);
  }

  // 5. Lock-on, the gun and weapons, the trails.
  StepLockOn(world, unit);
  UpdateGunHeat(world, unit, gun, weapon);
  EmitVapourTrails(world, unit);
}

// [SECTION] Gun heat and firing

void UpdateGunHeat(world::GameWorld& world, Unit& unit, const FlightGunInput& gun, const FlightWeaponInput& weapon) {
  int slot = ValidSlot(unit.currentWeaponSlot) ? unit.currentWeaponSlot : 0;
  int32_t fire = weapon.fire;
  int32_t trigger = gun.trigger;

  // 1. A stopped slot does not fire, a stopped gun does not shoot.
  if (unit.weaponStops[slot]) fire = 0;
  if (unit.gunStop) trigger = 0;

  // 2. The weapon: one round less for each launch.
  if (fire && unit.ammo[slot][0] > 0 && ShootMissile(world, unit)) unit.ammo[slot][0]--;

  // 3. The gun cools while the trigger is off.
  if (!trigger) unit.gunHeat--;
  unit.gunHeat = std::clamp(unit.gunHeat, int32_t(0), kMaxGunHeat);

  // 4. A hot gun fires slower: two steps more for each threshold reached.
  int32_t cycle = unit.type ? unit.type->gunCycle : 0;
  for (int32_t t = kFirstHeatThreshold; t <= kLastHeatThreshold; t += kHeatThresholdStep)
    if (unit.gunHeat >= t) cycle += kCyclePerThreshold;
  if (unit.gunCoolWord > cycle) unit.gunCoolWord = cycle;
  if (unit.gunCoolWord > 0) unit.gunCoolWord--;

  // 5. The gun fires once its cycle has run.
  if (trigger && cycle > 0 && unit.gunCoolWord == 0 && ShootGunForward(world, unit)) {
    unit.gunCoolWord = cycle;
    unit.gunHeat += unit.type ? unit.type->gunHeat : 0;
  }

  // 6. The hard points are filled again while the unit lives.
  if (unit.hp > 0)
    for (int s = 0; s < kUnitWeaponSlots; s++) SpawnWeaponSlot(world, unit, s, 0);
}

// [SECTION] Lock-on

void StepLockOn(world::GameWorld& world, Unit& unit) {
  bool locking = false;
  Unit* target = unit.target;
  // A lock factor of 0 locks nothing; a negative one (no sense in data)
  // would drive the cursor away and is taken as 0.
  int c = target ? TargetClassOf(target->type) : 0;
  float k = (target && target->type && unit.type) ? unit.type->lockOn[c] * target->type->lockedOn[c] : 0.0f;
  if (!target || !target->type || target->unitId == 0 || !(k > 0.0f)) {
    if (!target || target->unitId == 0) ClearLock(unit);
    SoundLockTones(world, unit, false, unit.lockWord != 0);
    return;
  }

  // 1. The target in the unit's frame: x right, y up, z ahead. A bomber
  // looks ahead and below, its sight flattened in height.
  Vec3 at = target->GetObjectWorldPosition();
  Vec3 local = unit.TransformPointToLocal(at);
  float distance = Length(Sub(at, unit.GetObjectWorldPosition()));
  const UnitType* weapon = CurrentWeapon(unit);
  bool bomber = weapon && (weapon->attributes & kAttrBomb);
  bool ahead = local.z > 0.0f && (!bomber || local.y < 0.0f);
  float offset = bomber ? std::sqrt(local.x * local.x + local.y * local.y * 0.5f)
                        : std::sqrt(local.x * local.x + local.y * local.y);

  // 2. Out of sight: the AI's lock timer is held short, the lock is lost.
  // A target straight beside or behind (z 0 or less) is never in sight, so
  // the depth divides nothing at 0.
  bool inView = ahead && offset / local.z < kLockViewCone && distance < kLockViewDistance;
  if (!inView) {
    int32_t hold = kAiLockBase + 5 * (unit.unitId % 10) - 4 * unit.level;
    if (unit.aimWord > hold) unit.aimWord = hold;
    ClearLock(unit);
    SoundLockTones(world, unit, false, false);
    return;
  }

  // 3. In sight: the target is warned; within gun range the unit's
  // GUNRANGE fires once for this target.
  RaiseCounter(world, *target, target->flightWords[kFlightCaution], kCautionSteps, kTriggerCaution);
  const UnitType* gunType = unit.type ? unit.type->gunType : nullptr;
  if (gunType && distance < float(gunType->range[c])) {
    int16_t index = int16_t(uint16_t(target->unitId & 0xFFFF));
    if (unit.aimingWords[0] != index) {
      unit.aimingWords[0] = index;
      world::RunPathTriggers(world, kTriggerGunRange, &unit, &unit);
    }
  }

  // 4. Within the weapon's range and lockable: the counters, then the
  // cursor closes in on the target until it lies within the tolerance.
  bool player = (unit.flags & kUnitPlayer) != 0;
  float weaponRange = weapon ? float(weapon->range[c]) : 0.0f;
  bool inRange = distance < weaponRange && GetLockOnRange(world, unit, *target) != 0.0f;
  if (inRange) {
    RaiseCounter(world, *target, target->flightWords[kFlightWarning], kWarningSteps, kTriggerWarning);
    bool fresh = unit.flightWord == 0;
    unit.flightWord = kRangeSteps;
    if (fresh) world::RunPathTriggers(world, kTriggerRange, &unit, &unit);

    Vec3 gap = Sub(local, unit.aimPoint);
    if (Length(gap) / local.z < kLockTolerance * k) {
      TakeLock(world, unit, *target, local);
    } else {
      unit.aimPoint = Add(unit.aimPoint, Mul(Normalize(gap), local.z * kCursorPace * k));
      locking = true;
    }
  }

  // 5. The AI takes the lock when its timer runs out: one step a step in
  // range, three a step in sight of a weapon without range for the class.
  if (!player && unit.sceneNumber == 0) {
    if (inRange) unit.aimWord--;
    else if (!(weaponRange > 0.0f)) unit.aimWord -= kAiLockFastPace;
    if ((inRange || !(weaponRange > 0.0f)) && unit.aimWord <= 0) {
      unit.aimWord = 0;
      TakeLock(world, unit, *target, local);
    }
  }

  // 6. The player's tones follow the cursor.
  SoundLockTones(world, unit, locking && !unit.lockWord, unit.lockWord != 0);
}

// [SECTION] Vapour trails

void EmitVapourTrails(world::GameWorld& world, Unit& unit) {
  // 1. How hard the unit must pull: easier in a scene; never without wing
  // points or for a SIMPLE unit.
  bool noWings = !unit.type || unit.type->wingPos[0].x == kUndefinedPoint || (unit.flags & kUnitSimple);
  float threshold = noWings ? kTrailPullNever : unit.sceneNumber != 0 ? kTrailPullInScene : kTrailPull;
  float pull = unit.control.x * unit.control.x + unit.control.y * unit.control.y;
  float speed = Length(unit.velocity);

  // 2. The level rises while the unit pulls fast, to a ceiling set by the
  // speed; else it falls away.
  if (pull > threshold && speed > kTrailMinSpeed) {
    float scaled = (speed - kTrailSpeedFloor) * kTrailSpeedScale;
    int32_t ceiling = scaled <= 0.0f ? 0 : scaled >= float(kTrailMaxLevel) ? kTrailMaxLevel : int32_t(scaled);
    unit.trailWord = std::min(unit.trailWord + kTrailRise, ceiling);
  } else {
    unit.trailWord = std::max(unit.trailWord - kTrailFall, 0);
  }

  // 3. Without a level the emitters are cleared.
  if (unit.trailWord <= 0) {
    for (int i = 0; i < 4; i++) {
      unit.trailPoints[i] = Vec3{0, 0, 0};
      unit.trailWords[i] = 0;
      for (int32_t& w : unit.trailStates[i]) w = 0;
    }
    return;
  }

  // 4. Each wing point keeps a trail point; every third step a sprite is
  // laid from it to the wing and it moves on. A fresh emitter starts on
  // the wing; a jump of more than 100 leaves no sprite across the gap.
  for (int i = 0; i < 4; i++) {
    const Vec3& wingLocal = unit.type->wingPos[i];
    if (wingLocal.x == kUndefinedPoint) break;
    Vec3 wing = unit.TransformPointToWorld(wingLocal);
    Vec3& point = unit.trailPoints[i];
    int32_t& started = unit.trailStates[i][0];
    if (!started || Length(Sub(wing, point)) > kTrailJump) {
      point = wing;
      started = 1;
      unit.trailWords[i] = 0;
      continue;
    }
    if (++unit.trailWords[i] >= kTrailSegmentSteps) {
      world::CreateTrailSprite(world, point, wing, kTrailWidth, unit.trailWord);
      point = wing;
      unit.trailWords[i] = 0;
    }
  }
}

}  // namespace units
