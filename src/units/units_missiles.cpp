// units_missiles.cpp -- missiles and bombs: loading on the pylon, flight and
// guidance, the bomb's impact prediction, trails and the end of a flight.
//
// A missile or bomb is a weapon unit that hangs on its carrier's hard point
// until the carrier launches it (state 2). Behaviour word 9 is its reload
// counter on the pylon, its trail level in flight and its miss count in free
// flight (99): a missile that misses flies on until that count runs out.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "core/core_public.h"
#include "units/units_combat.h"
#include "units_local.h"
#include "units_projectile.h"

namespace units {

namespace {

constexpr float kTurnEpsilon = 0.00001f;
constexpr float kBombGravity = 0.004f;
constexpr int kPredictSteps = 600;
constexpr int kPredictCastEvery = 30;
constexpr int kTerrainMode = 3;

// Turns the unit to face `forward` with `up`, roll held at 0 when asked.
void SetFacing(Unit& unit, const Vec3& forward, const Vec3* up, bool noRoll) {
  Vec3 angles{};
  core::AnglesFromDirection(&angles, forward, up);
  if (noRoll) angles.z = 0;
  unit.SetObjectAngles(angles.x, angles.y, angles.z);
}


// Spawns every sub-munition whose TIME is this age.
void SpawnTimedMunitions(world::GameWorld& world, Unit& unit, int32_t age) {
  const auto& entries = unit.type->scatter;
  for (size_t i = 0; i < entries.size(); i++)
    if (entries[i].time == age) SpawnSubMunition(world, unit, int(i));
}

// The pylon states shared by missiles and bombs: 0 loading (hidden, the
// reload counter rising), 1 ready. True when the state was one of them.
bool StepOnPylon(world::GameWorld& world, Unit& unit) {
  if (unit.state != kUnitStateIdle && unit.state != kUnitStateReady) return false;
  unit.engineRpm = 0;
  int32_t& reload = BehaviourInt(unit, 8);
  if (unit.state == kUnitStateIdle) {
    unit.SetObjectVisible(0);
    reload++;
    if (reload >= unit.type->reloadTime) {
      RequestUnitState(unit, kUnitStateReady);
      PlayWeaponSound(world, kSoundWeaponLoaded, unit.GetObjectWorldPosition());
    }
  } else {
    unit.SetObjectVisible(1);
    if (reload < unit.type->reloadTime) SetUnitState(unit, kUnitStateIdle, 0);
  }
  return true;
}

// The smoke trail from the last trail point to the exhaust, and the short
// exhaust light. The trail point follows every `moveEvery` steps, or at once
// when it lies more than 100 away.
void StepTrail(world::GameWorld& world, Unit& unit, int32_t level, int32_t moveEvery) {
  if (level <= 0) return;
  Vec3 boxMin{};
  unit.GetObjectBox(nullptr, &boxMin, nullptr);
  Vec3 exhaust = unit.TransformPointToWorld({0, 0, boxMin.z + 0.125f});
  Vec3& last = unit.trailPoints[0];
  float length = Length(Sub(exhaust, last));
  // One sprite a segment, laid as the trail point moves on (a jump of more
  // than 100 leaves no sprite across the gap).
  if (UnitAge(unit) % moveEvery == 0 || length > 100.0f) {
    if (length <= 100.0f) world::CreateTrailSprite(world, last, exhaust, 0.1f, level);
    last = exhaust;
  }
  world::AddPointLight(world, exhaust, Vec3{0, 0, 0}, Vec3{1.0f, 0.75f, 0.4f}, 6.0f, float(level) / 255.0f, 2);
}

// The aim point of a missile at its target (a live unit with a type).
Vec3 MissileAimPoint(Unit& missile, Unit& target, const Vec3& position, const Vec3& forward) {
  const UnitType& type = *missile.type;
  Vec3 head = GetUnitHeadPos(target);
  float distance = Length(Sub(head, position));
  switch (type.typeValue) {
    case kTypeMissilePrediction: {
      float closing = std::max(type.speed - Dot(target.velocity, forward), 0.1f);
      return Add(head, Mul(target.velocity, distance / closing));
    }
    case kTypeMissilePrediction + 2:  // MISSILE_HEAD: down on the target from above
      return Add(head, Vec3{0, std::max(0.0f, distance - 90.0f), 0});
    case kTypeMissileFoot: {  // in at the target's height
      Vec3 level = Normalize(Vec3{position.x - head.x, 0, position.z - head.z});
      return Add(head, Mul(level, std::max(0.0f, distance - 90.0f)));
    }
    case kTypeMissilePrediction + 1: {  // MISSILE_TORNADO: a spiral about its own axis
      float radius = distance > 40.0f ? distance * 0.5f + 30.0f : distance;
      float spin = float(UnitAge(missile)) * 3.0f * kDegreesToRadians;
      if (missile.unitId % 2 == 0) spin = -spin;
      Vec3 toward = Mul(Normalize(Sub(head, position)), radius);
      return Add(position, TurnAbout(toward, forward, spin));
    }
    default:
      return head;
  }
}

// The turn rate of a missile at its target, radians per step.
float MissileTurnRate(world::GameWorld& world, Unit& missile, Unit& target) {
  const UnitType& type = *missile.type;
  if (UnitAge(missile) < type.weaponDelay[TargetClass(target)]) return 0.0f;
  float rate = type.mobility.x / 60.0f;
  if (target.flags & kUnitPlayer) {
    if (target.networkId == -1) {
      int level = world::GetGameLevel(world);
      if (level == 0) rate *= 0.8f;
      else if (level > 1) rate *= 1.1f;
    } else {
      rate *= 1.2f;
    }
  }
  return rate;
}

// A missile whose aim point fell behind it has missed: it flies on in free
// flight, and the shooter learns whom it missed.
void MissileMissed(Unit& missile, Unit& target) {
  if (missile.type->typeValue == kTypeMissilePrediction && missile.state == kUnitStateLaunched) BehaviourInt(missile, 8) = 128;
  if (missile.master) {
    missile.master->missileWords[0] = 30;
    missile.master->missileWords[1] = int16_t(target.unitId & 0xFFFF);
  }
  RequestUnitState(missile, kUnitStateFreeFlight);
}

// Steering and the miss test, when the missile has a target it may turn to.
void SteerMissile(world::GameWorld& world, Unit& missile, Unit& target, const Vec3& aim, const Vec3& position,
                  Vec3& forward, Vec3& up) {
  // A target without a usable position (the largest float marks none)
  // would turn the missile toward infinity: no guidance this step.
  if (!IsUsablePoint(aim)) return;
  Vec3 aimDirection = Normalize(Sub(aim, position));
  float offset = Length(Sub(aimDirection, forward));
  if (!(offset > kTurnEpsilon)) return;
  if (Dot(aimDirection, forward) < 0.0f) {
    // Once missed, a missile in free flight does not miss again (that would
    // restart its state and age every step).
    if (missile.state == kUnitStateLaunched) MissileMissed(missile, target);
    return;
  }
  float factor = std::clamp(float(UnitAge(missile) - 5) / 20.0f, 0.0f, 1.0f);
  float angle = std::min(offset, MissileTurnRate(world, missile, target)) * factor;
  Vec3 axis = Normalize(Cross(forward, aimDirection));
  if (angle <= 0.0f || Length(axis) == 0.0f) return;
  forward = Normalize(TurnAbout(forward, axis, angle));
  up = Normalize(TurnAbout(up, axis, angle));
}

// One flight step of a missile (states 2 and 99).
void FlyMissile(world::GameWorld& world, Unit& missile) {
  const UnitType& type = *missile.type;
  const int32_t age = UnitAge(missile);
  missile.SetObjectVisible(1);
  if (age == 0 && missile.state == kUnitStateLaunched) {
    missile.engineRpm = 10000;
    SetUnitHp(missile, 1, 1);
  }

  float speed = Length(missile.velocity);
  if (speed < type.speed) speed += type.power / 100.0f;

  const Vec3 previous = missile.GetObjectPosition();
  Vec3 forward{}, up{};
  core::DirectionFromAngles(&forward, &up, missile.GetObjectAngles());
  const bool tornado = type.typeValue == kTypeMissilePrediction + 1;

  Unit* target = IsLiveTarget(missile.target) ? missile.target : nullptr;
  if (target) {
    Vec3 aim = MissileAimPoint(missile, *target, previous, forward);
    if (missile.state == kUnitStateLaunched) target->flightWords[2] = 2;  // missile warning
    if (IsUnitBlinded(missile)) {
      // A blinded seeker sees noise ahead, not the target.
      aim = Add(previous, Mul(forward, 100.0f));
      aim.x += float(world::Rand(world) % 9 - 4) / 6.0f;
      aim.y += float(world::Rand(world) % 9 - 4) / 6.0f;
      aim.z += float(world::Rand(world) % 9 - 4) / 6.0f;
    }
    if (type.range[TargetClass(*target)] != 0) SteerMissile(world, missile, *target, aim, previous, forward, up);
  }
  if (tornado) up = Vec3{0, 1, 0};
  SetFacing(missile, forward, &up, tornado);

  missile.velocity = Mul(forward, speed);
  MoveBy(missile, missile.velocity);
  const Vec3 position = missile.GetObjectPosition();

  SpawnTimedMunitions(world, missile, age);
  if (missile.flightWords[3] > 0) missile.flightWords[3]--;

  int hit = 0;
  if (age >= 7 && IsUnitLocal(missile)) hit = SweepHitUnits(world, missile, previous, position, 1.0f);

  int32_t& count = BehaviourInt(missile, 8);
  if (missile.state == kUnitStateFreeFlight) {
    count -= 2;
    if (count < 0 && !hit) {
      world::RunPathTriggers(world, kTriggerMiss, &missile, &missile);
      if (missile.master) world::RunPathTriggers(world, kTriggerMiss, &missile, missile.master);
      ExplodeProjectile(world, missile, position, Vec3{0, 1, 0}, 1, 0);
      RequestUnitState(missile, kUnitStateFinal);
      hit = 1;
    }
  } else if (!(missile.pendingFlag && missile.pendingState == kUnitStateFreeFlight)) {
    // The trail level; at a miss the count keeps what the miss gave it.
    count = std::min(age * 5 - 5, 128);
  }
  StepTrail(world, missile, missile.state == kUnitStateLaunched ? count : 0, 3);
  if (hit) return;

  const bool head = type.typeValue == kTypeMissilePrediction + 2;
  const int32_t explodeAt = head ? 900 : 600, freeAt = head ? 800 : 500;
  if (age >= explodeAt) {
    ExplodeProjectile(world, missile, position, Vec3{0, 1, 0}, 1, 0);
    RequestUnitState(missile, kUnitStateFinal);
  } else if (age == freeAt) {
    RequestUnitState(missile, kUnitStateFreeFlight);
  }
}

// The sideways (x) and vertical (y) parts of a direction in the unit's frame.
Vec3 ToLocalDirection(const Vec3& v, const Vec3& right, const Vec3& up, const Vec3& forward) {
  return Normalize(Vec3{Dot(v, right), Dot(v, up), Dot(v, forward)});
}

// Turns a guided bomb's fall so its predicted impact moves onto the target.
void GuideBomb(world::GameWorld& world, Unit& bomb, Unit& target, const Vec3& position) {
  Vec3 impact = PredictBombImpact(world, bomb);
  // No impact within the look-ahead: nothing to steer by this step.
  if (!IsUsablePoint(impact)) return;
  const float speed = Length(bomb.velocity);
  Vec3 forward = Normalize(bomb.velocity);
  if (speed == 0.0f) return;
  Vec3 up{};
  core::DirectionFromAngles(nullptr, &up, bomb.GetObjectAngles());
  Vec3 right = Normalize(Cross(up, forward));
  if (Length(right) == 0.0f) return;
  up = Cross(forward, right);
  Vec3 toImpact = ToLocalDirection(Sub(impact, position), right, up, forward);
  Vec3 toTarget = ToLocalDirection(Sub(GetUnitHeadPos(target), position), right, up, forward);
  const UnitType& type = *bomb.type;
  float factor = std::clamp(float(UnitAge(bomb) - 5) / 20.0f, 0.0f, 1.0f);
  float pitchLimit = type.mobility.x / 60.0f, yawLimit = type.mobility.y / 60.0f;
  float pitch = std::clamp(toTarget.y - toImpact.y, -pitchLimit, pitchLimit) * factor;
  float yaw = std::clamp(toTarget.x - toImpact.x, -yawLimit, yawLimit) * factor;
  // Positive pitch raises the nose toward up, positive yaw turns it right.
  Vec3 direction = TurnAbout(forward, Cross(forward, up), pitch);
  direction = TurnAbout(direction, Normalize(Cross(direction, right)), yaw);
  bomb.velocity = Mul(Normalize(direction), speed);
}

// Jams the units an ECM bomb reaches.
void JamAround(world::GameWorld& world, Unit& bomb, const Vec3& position) {
  const int32_t kind = bomb.type->typeValue;
  for (int i = world::CountUnitSlots(world) - 1; i > 0; i--) {
    Unit* unit = world::GetUnitAt(world, i);
    if (!unit || unit == &bomb || !unit->type || !unit->GetObjectModel()) continue;
    bool sameTeam = std::strcmp(unit->team.Get(), bomb.team.Get()) == 0;
    if (kind == kTypeBombNapalm + 2 && sameTeam) continue;  // BOMB_ECM_E: other teams
    if (kind == kTypeBombEcmF && !sameTeam) continue;       // BOMB_ECM_F: its own team
    float range = float(bomb.type->range[TargetClass(*unit)]);
    if (Length(Sub(unit->GetObjectWorldPosition(), position)) < range) SetUnitJamming(*unit, 3, 2);
  }
}

// A napalm bomb burning: a line of fire ahead along its level heading.
void BurnNapalm(world::GameWorld& world, Unit& bomb) {
  const int32_t age = UnitAge(bomb);
  bomb.SetObjectScale(0, 0, 0);
  if (age > 0 && age % 2 == 0) {
    Vec3 forward{};
    core::DirectionFromAngles(&forward, nullptr, bomb.GetObjectAngles());
    Vec3 level = Normalize(Vec3{forward.x, 0, forward.z});
    Vec3 point = Add(bomb.GetObjectPosition(), Mul(level, float(age) * bomb.type->blast / 6.0f));
    point.x += float(world::Rand(world) % 11 - 5) * 0.5f;
    point.z += float(world::Rand(world) % 11 - 5) * 0.5f;
    ExplodeProjectile(world, bomb, point, Vec3{0, 1, 0}, age % 10 == 0, 0);
  }
  if (age >= 61) RequestUnitState(bomb, kUnitStateDestroyed);
}

// One flight step of a bomb (states 2 and 99).
void FlyBomb(world::GameWorld& world, Unit& bomb) {
  const UnitType& type = *bomb.type;
  const int32_t age = UnitAge(bomb);
  bomb.SetObjectVisible(1);
  const Vec3 previous = bomb.GetObjectPosition();

  if (bomb.target && !IsLiveTarget(bomb.target)) bomb.target = nullptr;
  if (bomb.target && Dot(Sub(GetUnitHeadPos(*bomb.target), previous), bomb.velocity) < 0.0f) bomb.target = nullptr;
  if (bomb.target && !IsUnitBlinded(bomb)) GuideBomb(world, bomb, *bomb.target, previous);

  const bool simple = (bomb.flags & kUnitSimple) != 0;
  if (!simple) bomb.velocity.y -= kBombGravity;
  MoveBy(bomb, bomb.velocity);
  const Vec3 position = bomb.GetObjectPosition();
  if (Length(bomb.velocity) > 0.0f) SetFacing(bomb, Normalize(bomb.velocity), nullptr, false);

  SpawnTimedMunitions(world, bomb, age);
  if (bomb.flightWords[3] > 0) bomb.flightWords[3]--;
  if (type.typeValue >= kTypeBombNapalm + 1 && type.typeValue <= kTypeBombEcmF) JamAround(world, bomb, position);

  if (IsUnitLocal(bomb)) {
    int hit = SweepHitUnits(world, bomb, previous, position, 3.0f);
    if (hit && type.typeValue == kTypeBombNapalm) RequestUnitState(bomb, 3);
    if (hit) return;
  }

  int32_t& count = BehaviourInt(bomb, 8);
  if (bomb.state == kUnitStateFreeFlight) {
    count -= 2;
    if (count < 0) RequestUnitState(bomb, kUnitStateFinal);
  } else {
    count = std::min(age * 5 - 5, 64);
  }
  if (!simple) StepTrail(world, bomb, bomb.state == kUnitStateLaunched ? count : 0, 5);

  if (age > 1200) RequestUnitState(bomb, kUnitStateFinal);
  else if (age == 1001) RequestUnitState(bomb, kUnitStateFreeFlight);
}

}  // namespace

int UpdateMissileUnit(world::GameWorld& world, Unit& unit) {
  if (!unit.type) return 0;
  if (StepOnPylon(world, unit)) return 0;
  if (unit.state == kUnitStateDestroyed && IsLiveTarget(unit.target) && unit.parent != unit.target &&
      unit.target != &unit) {
    // A hit missile rides on what it hit until it is gone.
    SetUnitParent(unit, unit.target);
    unit.SetObjectPosition(0, 0, 0);
  }
  if (StepWeaponEnding(world, unit, 200)) return 0;
  if (unit.state == kUnitStateLaunched || unit.state == kUnitStateFreeFlight) FlyMissile(world, unit);
  return 0;
}

int UpdateBombUnit(world::GameWorld& world, Unit& unit) {
  if (!unit.type) return 0;
  if (StepOnPylon(world, unit)) return 0;
  if (StepWeaponEnding(world, unit, 180)) return 0;
  if (unit.state == 3 && unit.type->typeValue == kTypeBombNapalm) BurnNapalm(world, unit);
  else if (unit.state == kUnitStateLaunched || unit.state == kUnitStateFreeFlight) FlyBomb(world, unit);
  return 0;
}

Vec3 PredictBombImpact(world::GameWorld& world, Unit& bomb) {
  const bool simple = (bomb.flags & kUnitSimple) != 0;
  Vec3 point = bomb.GetObjectWorldPosition();
  Vec3 velocity = bomb.velocity;
  Vec3 last = point;
  for (int step = 1; step <= kPredictSteps; step++) {
    if (!simple) velocity.y -= kBombGravity;
    point = Add(point, velocity);
    if (step % kPredictCastEvery != 0) continue;
    Vec3 ground{}, unitHit{};
    bool onGround = world::CastRayAgainstTerrain(world, &ground, nullptr, last, point, kTerrainMode) != 0;
    bool onUnit = world::vector_unit_collision(world, &bomb, &unitHit, nullptr, last, point) != nullptr;
    if (onGround && onUnit) return Length(Sub(unitHit, last)) < Length(Sub(ground, last)) ? unitHit : ground;
    if (onGround) return ground;
    if (onUnit) return unitHit;
    last = point;
  }
  return Vec3{FLT_MAX, FLT_MAX, FLT_MAX};
}

}  // namespace units
