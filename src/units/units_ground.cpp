// units_ground.cpp -- the ground, sea and fixed behaviours: debris, attached
// effects, static things, runways, ground guns, lasers and missile launchers
// in their five mountings, ships, vehicles and the scripted toy box.
//
// Words of the unit these steps own:
//  - behaviour words 9 to 11 ([8]..[10], integers): the spin of debris and
//    of a falling toy box, in whole degrees a step (the damage code fills
//    them at death);
//  - behaviour word 12 ([11], integer): a launcher's reload count, steps
//    until it may launch again;
//  - the steering point: the vehicle's goal.
//
// Mountings of the guns, launchers and lasers. The type value's offset from
// the kind's first value picks the axes a mounting may turn: FIXED none, YAW
// the yaw, PITCH the pitch, ROLL and FREE both. The limits of a free axis
// come from the type's scope table for the target's class (left and right
// bound the yaw, top and bottom the pitch). An axis a mounting holds does
// not turn at all: it keeps the angle it was placed with, so a FIXED gun
// fires along its mounting axis whatever that axis is.

#include <cstring>

#include "units/units_flight.h"
#include "units_local.h"
#include "units_projectile.h"

namespace units {

namespace {

constexpr int kTerrainMode = 3;           // ground and every other map object
constexpr float kDefaultShotSpeed = 8.0f; // a gun without a shot type
constexpr float kHalfGravity = 4.9f;      // the shot drop, per second squared
constexpr float kYawFree = 3.141592f;

constexpr int32_t kDustLifeSteps = 480;
constexpr float kDustDrop = 0.005f;

constexpr int32_t kShipStopAfter = 7000;
constexpr float kShipBraking = 0.95f;
constexpr int32_t kShipSinkDelay = 120;
constexpr float kShipSinkRamp = 2400.0f;
constexpr float kShipSinkRateMax = 0.05f;
constexpr int32_t kShipSinkSteps = 1200;
constexpr int32_t kShipHoldState = 30;

constexpr int32_t kLaserIdleReturn = 90;

constexpr float kVehicleLookAhead = 150.0f;
constexpr int32_t kVehicleProbeEvery = 16;
constexpr float kVehicleGravity = 9.8f / 3600;
constexpr float kVehicleFallMax = -0.5f;
constexpr float kVehicleNoGround = 1000.0f;
// The ground probe reaches from 1 above the unit's origin to this far below
// it: farther than a step of the fastest fall (0.5) lets the ground catch it
// (and a vehicle running down a gentle slope keeps to it).
constexpr float kVehicleProbeBelow = 2.0f;

constexpr float kToyboxLightningSize = 256.0f;
constexpr int kToyboxThunderSteps = 10;
constexpr float kToyboxSpin = 0.7853982f;
constexpr uint32_t kToyboxJamLevel = 2;

enum : int32_t {
  kMountFixed = 0,
  kMountYaw = 1,
  kMountPitch = 2,
  kMountRoll = 3,
  kMountFree = 4,
};

int32_t& SpinWord(Unit& unit, int axis) { return BehaviourInt(unit, 8 + axis); }
int32_t& ReloadCount(Unit& unit) { return BehaviourInt(unit, 11); }

// Moves the unit (in its parent's frame) by its velocity.
void MoveByVelocity(Unit& unit) {
  Vec3 p = Add(unit.GetObjectPosition(), unit.velocity);
  unit.SetObjectPosition(p.x, p.y, p.z);
}

// Turns the unit by its angular velocity.
void TurnByMoment(Unit& unit) {
  Vec3 a = Add(unit.GetObjectAngles(), unit.moment);
  unit.SetObjectAngles(a.x, a.y, a.z);
}

// The unit is released together with everything it carries; the record is
// reset by the release.
void EndUnit(world::GameWorld& world, Unit& unit) { world::ReleaseMatchingUnits(world, &unit); }

// A BRANCH part whose parent has no hit points left stands still.
bool IsBranchOfDeadParent(Unit& unit) {
  return unit.type && (unit.type->attributes & kAttrBranch) && unit.parent && GetUnitHp(*unit.parent) < 1;
}

// A gun, laser or launcher works in state 0, with a live target, not INERT
// and simulated on this peer.
bool IsMountActive(const Unit& unit) {
  return unit.type && unit.state == kUnitStateIdle && IsLiveTarget(unit.target) && !(unit.flags & kUnitInert) &&
         IsUnitLocal(unit);
}

// What a mounting may turn and within which limits.
struct MountLimits {
  float maxPitch = 0, minPitch = 0, maxYaw = 0, minYaw = 0;
  bool turnsPitch = false, turnsYaw = false;
};

MountLimits LimitsOfMount(const UnitType& type, int32_t firstValue, int targetClass) {
  MountLimits limits;
  int32_t mount = type.typeValue - firstValue;
  limits.turnsPitch = mount == kMountPitch || mount == kMountRoll || mount == kMountFree;
  limits.turnsYaw = mount == kMountYaw || mount == kMountRoll || mount == kMountFree;
  const WeaponScope& scope = type.weaponScope[targetClass];
  if (limits.turnsPitch) {
    limits.maxPitch = scope.top;
    limits.minPitch = scope.bottom;
  }
  if (limits.turnsYaw) {
    limits.maxYaw = scope.left;
    limits.minYaw = scope.right;
  }
  return limits;
}

// Turns the mounting toward a world point on the axes it may turn and
// applies the turn; a held axis keeps its angle.
void TurnMount(Unit& unit, const Vec3& point, const MountLimits& limits) {
  if (limits.turnsPitch || limits.turnsYaw)
    TurnTowardPoint(unit, nullptr, point, limits.maxPitch, limits.minPitch, limits.maxYaw, limits.minYaw);
  if (!limits.turnsPitch) unit.moment.x = 0;
  if (!limits.turnsYaw) unit.moment.y = 0;
  unit.moment.z = 0;
  TurnByMoment(unit);
}

// The idle step shared by guns, lasers and launchers: a destroyed one
// smokes and stops sliding.
void StepIdleMount(world::GameWorld& world, Unit& unit) {
  if (unit.state <= kUnitStateDestroyedFrom) return;
  EmitRandomEffect(world, unit);
  unit.velocity.x = 0;
  unit.velocity.z = 0;
}

// Where a target will be: its position led by its velocity for `lead`
// steps per 5 units of distance `d`.
Vec3 LeadPoint(const Vec3& targetPosition, const Vec3& targetVelocity, float lead, float d) {
  return Add(targetPosition, Mul(targetVelocity, lead * (d / 5.0f)));
}

// True on the steps of the gun's firing cycle: the cycle spreads the units'
// shots over its steps by unit id. A cycle of 0 never fires.
bool IsGunCycleStep(Unit& unit, int32_t cycle) {
  if (cycle == 0) return false;
  return unit.unitId % cycle == UnitAge(unit) % cycle;
}

// A gun or laser may fire this step: its cycle comes round, the target is
// within the range of its class and the gun is not stopped.
bool MountMayFire(Unit& unit, const UnitType& type, int targetClass, float distance) {
  return IsGunCycleStep(unit, type.gunCycle) && distance < float(type.range[targetClass]) && unit.gunStop == 0;
}

// Nothing between the gun's head and the aim point: no map object and no
// unit but the target itself (the aim point lies on or in it).
bool HasLineOfFire(world::GameWorld& world, Unit& unit, const Unit& target, const Vec3& from, const Vec3& to) {
  Vec3 hit;
  if (world::CastRayAgainstTerrain(world, &hit, nullptr, from, to, kTerrainMode)) return false;
  Unit* blocker = world::vector_unit_collision(world, &unit, nullptr, nullptr, from, to);
  return blocker == nullptr || blocker == &target;
}

// The gap under a vehicle: the distance from 1 above its origin down to the
// nearer of the units and the map below; kVehicleNoGround when nothing is
// there. A gap of 1 is standing on the ground.
float MeasureGroundGap(world::GameWorld& world, Unit& unit, const Vec3& position) {
  Vec3 from = Add(position, Vec3{0, 1, 0});
  Vec3 to = Sub(position, Vec3{0, kVehicleProbeBelow, 0});
  float gap = kVehicleNoGround;
  float unitDistance = 0;
  if (world::vector_unit_collision(world, &unit, nullptr, &unitDistance, from, to)) gap = unitDistance;
  Vec3 ground;
  if (world::CastRayAgainstTerrain(world, &ground, nullptr, from, to, kTerrainMode)) {
    float d = Length(Sub(ground, from));
    if (d < gap) gap = d;
  }
  return gap;
}

// Whether the toy box picks `other` for jamming under a selection (0 all,
// 1 its own team, 2 the others, 3 player units).
bool ToyboxPicks(Unit& box, Unit& other, int32_t selection) {
  switch (selection) {
    case 1:  // its own team
      return std::strcmp(other.team.Get(), box.team.Get()) == 0;
    case 2:  // every other team
      return std::strcmp(other.team.Get(), box.team.Get()) != 0;
    case 3:  // player units
      return (other.flags & kUnitPlayer) != 0;
    default:  // all
      return true;
  }
}

// Jams, with `jamFlag` at level 2, every live unit with a type, not INERT,
// within the box type's range for its class, that the selection takes.
void JamAround(world::GameWorld& world, Unit& box, int32_t selection, uint32_t jamFlag) {
  if (!box.type) return;
  Vec3 centre = box.GetObjectWorldPosition();
  int slots = world::CountUnitSlots(world);
  for (int slot = 1; slot < slots; slot++) {
    Unit* other = world::GetUnitAt(world, slot);
    if (!other || !other->type || (other->flags & kUnitInert)) continue;
    float d = Length(Sub(other->GetObjectWorldPosition(), centre));
    if (!(d < float(box.type->range[TargetClass(*other)]))) continue;
    if (!ToyboxPicks(box, *other, selection)) continue;
    SetUnitJamming(*other, jamFlag, kToyboxJamLevel);
  }
}

}  // namespace

// [SECTION] Debris, effects, static things, runways

int UpdateDustUnit(world::GameWorld& world, Unit& unit) {
  if (UnitAge(unit) >= kDustLifeSteps) {
    EndUnit(world, unit);
    return 0;
  }
  Vec3 a = unit.GetObjectAngles();
  a.x += float(SpinWord(unit, 0) + 1) * kDegreesToRadians;
  a.y += float(SpinWord(unit, 1) + 1) * kDegreesToRadians;
  a.z += float(SpinWord(unit, 2)) * kDegreesToRadians;
  unit.SetObjectAngles(a.x, a.y, a.z);
  unit.velocity.y -= kDustDrop;
  MoveByVelocity(unit);
  return 0;
}

int UpdateEffectUnit(world::GameWorld& world, Unit& unit) {
  // An effect lives as long as the unit that carries it: it ends with the
  // owner's final states.
  if (unit.master && unit.master->state > 980) EndUnit(world, unit);
  return 0;
}

int UpdateStaticUnit(world::GameWorld& world, Unit& unit) {
  if (unit.type && (unit.type->attributes & kAttrBranch) && unit.parent && unit.parent->hp <= 0) return 0;
  if (unit.state == kUnitStateFollowPath && !unit.parent) FollowPath(world, unit);
  if (unit.state > 900) EmitRandomEffect(world, unit);
  return 0;
}

int UpdateRunwayUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateIdle) {
    unit.SetObjectVisible(0);
    return 0;
  }
  unit.SetObjectVisible(1);
  EmitRandomEffect(world, unit);
  return 0;
}

// [SECTION] Guns, lasers and launchers

int UpdateAaGunUnit(world::GameWorld& world, Unit& unit) {
  if (IsBranchOfDeadParent(unit)) return 0;
  if (IsMountActive(unit)) {
    const UnitType& type = *unit.type;
    Unit& target = *unit.target;
    int targetClass = TargetClass(target);
    Vec3 position = unit.GetObjectWorldPosition();
    Vec3 targetPosition = target.GetObjectWorldPosition();

    // 1. Distance and shot speed.
    float d = Length(Sub(targetPosition, position));
    float v = type.gunType ? type.gunType->speed : kDefaultShotSpeed;

    // 2. Lead by skill, then raised by the shot's drop over its flight time
    // (a shot type of no speed has no flight time to drop in).
    Vec3 aim = LeadPoint(targetPosition, target.velocity, float(unit.level) / 9.0f, d);
    if (v != 0) {
      float t = d / (v * 60);
      aim.y += t * t * kHalfGravity;
    }

    // 3. Turn.
    TurnMount(unit, aim, LimitsOfMount(type, kTypeAaGunFixed, targetClass));

    // 4. Fire along the barrel's own axis when the way is clear.
    if (MountMayFire(unit, type, targetClass, d) &&
        HasLineOfFire(world, unit, target, GetUnitHeadPos(unit), aim)) {
      if (ShootGun(world, unit, Vec3{0, 0, 1})) world::AddCameraShake(world, position, 8);
    }
  } else {
    StepIdleMount(world, unit);
  }
  MoveByVelocity(unit);
  return 0;
}

int UpdateAaLaserUnit(world::GameWorld& world, Unit& unit) {
  if (IsBranchOfDeadParent(unit)) return 0;
  if (IsMountActive(unit)) {
    const UnitType& type = *unit.type;
    Unit& target = *unit.target;
    int targetClass = TargetClass(target);
    Vec3 position = unit.GetObjectWorldPosition();
    // A beam needs neither lead nor drop, nor a clear line: it burns through.
    Vec3 aim = target.GetObjectWorldPosition();
    float d = Length(Sub(aim, position));
    TurnMount(unit, aim, LimitsOfMount(type, kTypeAaLaserFixed, targetClass));
    if (MountMayFire(unit, type, targetClass, d)) {
      if (ShootGun(world, unit, Vec3{0, 0, 1})) world::AddCameraShake(world, position, 6);
    }
  } else {
    StepIdleMount(world, unit);
    if (unit.state == kUnitStateReady && UnitAge(unit) >= kLaserIdleReturn) RequestUnitState(unit, kUnitStateIdle);
  }
  MoveByVelocity(unit);
  return 0;
}

int UpdateAaMissileUnit(world::GameWorld& world, Unit& unit) {
  if (IsBranchOfDeadParent(unit)) return 0;
  if (IsMountActive(unit)) {
    const UnitType& type = *unit.type;
    Unit& target = *unit.target;
    int targetClass = TargetClass(target);
    Vec3 position = unit.GetObjectWorldPosition();
    Vec3 targetPosition = target.GetObjectWorldPosition();
    float d = Length(Sub(targetPosition, position));

    // 1. Lead and turn.
    Vec3 aim = LeadPoint(targetPosition, target.velocity, float(unit.level) * 0.125f, d);
    TurnMount(unit, aim, LimitsOfMount(type, kTypeAaMissileFixed, targetClass));

    // 2. Launch when reloaded and the aim point lies within the scope of the
    // target's class, seen from the launcher as it now points.
    int32_t& reload = ReloadCount(unit);
    int slot = unit.currentWeaponSlot;
    bool slotOpen = slot >= 0 && slot < kUnitWeaponSlots && unit.weaponStops[slot] == 0;
    if (d < float(type.range[targetClass]) && reload < 1 && IsUnitLocal(unit) && slotOpen) {
      const WeaponScope& scope = type.weaponScope[targetClass];
      if (IsDirectionInScope(unit.TransformPointToLocal(aim), scope.top, scope.bottom, scope.left, scope.right)) {
        for (int s = 0; s < kUnitWeaponSlots; s++) SpawnWeaponSlot(world, unit, s, 0);
        // The launcher hands its target to the missile: held locked for
        // the launch, as an aircraft's AI does, else the missile would fly
        // off unguided.
        int32_t lock = unit.lockWord;
        unit.lockWord = 1;
        Unit* missile = ShootMissile(world, unit);
        unit.lockWord = lock;
        if (missile) {
          reload = type.weaponCycle[slot];
          missile->velocity = Normalize(missile->GetObjectWorldFront());
          world::AddCameraShake(world, position, 10);
        }
        SpawnWeaponSlot(world, unit, unit.currentWeaponSlot, 0);
      }
    }

    // 3. Reload.
    if (reload > 0) reload--;
  } else {
    StepIdleMount(world, unit);
  }
  MoveByVelocity(unit);
  return 0;
}

// [SECTION] Ships and vehicles

int UpdateShipUnit(world::GameWorld& world, Unit& unit) {
  switch (unit.state) {
    case kUnitStateIdle:
      // A ship left to itself comes to a stop in the end.
      if (UnitAge(unit) >= kShipStopAfter) RequestUnitState(unit, kUnitStateReady);
      break;
    case kUnitStateReady:
      unit.velocity = Mul(unit.velocity, kShipBraking);
      break;
    case kShipHoldState:
      break;
    case kUnitStateFollowPath:
      FollowPath(world, unit);
      return 0;
    default: {
      // Sinking: slowly at first, the rate growing to its largest, heeling
      // over as it goes down.
      if (UnitAge(unit) >= kShipSinkSteps) {
        EndUnit(world, unit);
        return 0;
      }
      float a = float(UnitAge(unit) - kShipSinkDelay) / kShipSinkRamp;
      if (a < 0) a = 0;
      if (a > kShipSinkRateMax) a = kShipSinkRateMax;
      unit.velocity = Vec3{0, -(unit.GetObjectRadius() * a) / 60, 0};
      Vec3 angles = unit.GetObjectAngles();
      unit.SetObjectAngles(angles.x + a / 40, angles.y, angles.z + a / 30);
      break;
    }
  }
  MoveByVelocity(unit);
  return 0;
}

int UpdateVehicleUnit(world::GameWorld& world, Unit& unit) {
  if (IsBranchOfDeadParent(unit)) return 0;
  if (!unit.parent && IsLiveTarget(unit.target) && unit.state == kUnitStateIdle && unit.type &&
      unit.type->power > 0) {
    Unit& target = *unit.target;
    Vec3 position = unit.GetObjectWorldPosition();
    Vec3 targetPosition = target.GetObjectWorldPosition();
    float d = Length(Sub(targetPosition, position));

    // 1. The aim point.
    Vec3 aim = LeadPoint(targetPosition, target.velocity, float(unit.level) * 0.125f, d);

    // 2. Now and then a look ahead for obstacles picks the steering point.
    if (UnitAge(unit) == 0 || UnitAge(unit) % kVehicleProbeEvery == unit.unitId % kVehicleProbeEvery) {
      float speed = Length(unit.velocity);
      float length = speed * kVehicleLookAhead;
      Vec3 direction = length < unit.GetObjectRadius() ? unit.GetObjectWorldFront() : Normalize(unit.velocity);
      Vec3 correction{};
      if (ProbeObstacles(world, unit, &correction, Mul(direction, length), 1))
        unit.steeringPoint = Add(position, correction);
      else
        unit.steeringPoint = aim;
    }

    // 3. Turn in yaw only.
    TurnTowardPoint(unit, nullptr, unit.steeringPoint, 0, 0, kYawFree, -kYawFree);
    TurnByMoment(unit);

    // 4. Keep to the ground, or fall onto it.
    float gap = MeasureGroundGap(world, unit, position);
    if (gap > 1) {
      unit.velocity.x = 0;
      unit.velocity.z = 0;
      unit.velocity.y -= kVehicleGravity;
      if (unit.velocity.y < kVehicleFallMax) unit.velocity.y = kVehicleFallMax;
    } else {
      unit.velocity.y = 1 - gap;
    }
  }
  if (unit.state == kUnitStateFollowPath) {
    FollowPath(world, unit);
    return 0;
  }
  if (unit.state > kUnitStateDestroyedFrom) {
    EmitRandomEffect(world, unit);
    unit.velocity = {};
  }
  MoveByVelocity(unit);
  return 0;
}

// [SECTION] The toy box

int UpdateToyboxUnit(world::GameWorld& world, Unit& unit) {
  int32_t state = unit.state;
  if (state == 1) {
    world::CreateLightning(world, unit.GetObjectWorldPosition(), Vec3{}, kToyboxLightningSize);
    world::SetLightningCount(world, kToyboxThunderSteps);
    RequestUnitState(unit, kUnitStateIdle);
  } else if (state == 2) {
    EmitRandomEffect(world, unit);
  } else if (state >= 10 && state <= 13) {
    JamAround(world, unit, state - 10, 1);
  } else if (state >= 14 && state <= 17) {
    JamAround(world, unit, state - 14, 2);
  } else if (state >= 30 && state <= 32) {
    Vec3 a = unit.GetObjectAngles();
    if (state == 30) a.x += kToyboxSpin;
    if (state == 31) a.y += kToyboxSpin;
    if (state == 32) a.z += kToyboxSpin;
    unit.SetObjectAngles(a.x, a.y, a.z);
  } else if (state == kUnitStateFinal) {
    unit.SetObjectScale(0, 0, 0);
    return 0;
  } else if (state == kUnitStateDestroyed) {
    if (UnitAge(unit) == 0)
      for (int axis = 0; axis < 3; axis++) SpinWord(unit, axis) = world::Rand(world) % 5 - 2;
    if (!unit.parent) StepBallisticFall(world, unit);
    return 0;
  }
  if (!unit.parent) MoveByVelocity(unit);
  return 0;
}

}  // namespace units
