// units_aircraft.cpp -- the behaviours of computer-driven aircraft: the
// PLANE's state machine (goals, escort, leash, state choice, steering and
// weapons, handed to the flight model) and the VTOL's hover toward its target
// with guns and missiles fired within their scopes.
//
// A PLANE's state word picks its goal each step; the goal is kept as the
// unit's steering point, and the steering turns it into roll, pitch and
// throttle requests for StepFlightModel. Behaviour word 9 is the PLANE's
// state duration and the VTOL's missile reload count; the aim word is the
// PLANE's missile reload count (the flight model's lock-on step runs it down
// as its AI lock timer); the plane word is a temporary skill.
//
// Index
//   [SECTION] Small helpers
//   [SECTION] Path, wreck and fall (PLANE and VTOL)
//   [SECTION] PLANE special states
//   [SECTION] PLANE goals and the choice of the next state
//   [SECTION] PLANE steering and weapons
//   [SECTION] The PLANE step
//   [SECTION] The VTOL step

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/core_public.h"
#include "units/units_flight.h"
#include "units_local.h"
#include "units_projectile.h"

namespace units {

namespace {

// ----------------------------------------------------------------------------
// [SECTION] Small helpers
// ----------------------------------------------------------------------------

constexpr float kPi = 3.14159265f;
constexpr float kHalfPi = 1.57079633f;
constexpr float kTwoPi = 6.28318531f;

// PLANE states. 1 turns right and 2 left (a positive yaw faces left).
enum : int32_t {
  kPlaneCruise = 0,
  kPlaneTurnRight = 1,
  kPlaneTurnLeft = 2,
  kPlaneClimb = 3,
  kPlaneDescend = 4,
  kPlaneAttack = 5,
  kPlaneReturn = 6,
  kPlaneJoin = 7,
  kPlaneChase = 8,
  kPlaneStraight = 10,
  kPlaneParked = 30,
  kPlaneLaunch = 102,
  kPlaneClimbOut = 103,
  kPlaneVerticalTakeOff = 110,
  kPlaneLevelOff = 201,
  kPlaneOrbit = 210,
  kPlaneDrift = 700,
};

// Behaviour words 1 to 4 (set by scripts) and word 9.
int32_t& ScriptWord(Unit& unit, int n) { return BehaviourInt(unit, n - 1); }
int32_t& StateDuration(Unit& unit) { return BehaviourInt(unit, 8); }
int32_t& VtolReload(Unit& unit) { return BehaviourInt(unit, 8); }

// Into [-pi, pi) by whole turns; anything not finite reads as 0.
float WrapTurn(float angle) {
  if (!std::isfinite(angle)) return 0;
  return angle - kTwoPi * std::floor((angle + kPi) / kTwoPi);
}

float Clamp1(float value) { return std::clamp(value, -1.0f, 1.0f); }


// One flight step with a skill of `level` in place of the unit's LEVEL. The
// LEVEL is put back unless the step ended the unit's life (the record may
// then belong to nobody).
void FlyWithLevel(world::GameWorld& world, Unit& unit, int32_t level, const FlightGunInput& gun,
                  const FlightWeaponInput& weapon, float roll, float pitch, float throttle, float yaw) {
  const int32_t own = unit.level;
  const uint32_t serial = unit.spawnSerial;
  unit.level = level;
  StepFlightModel(world, unit, gun, weapon, roll, pitch, throttle, yaw);
  if (unit.spawnSerial == serial) unit.level = own;
}

// ----------------------------------------------------------------------------
// [SECTION] Path, wreck and fall (PLANE and VTOL)
// ----------------------------------------------------------------------------

constexpr int32_t kWreckReleaseChildrenAt = 300;
constexpr int32_t kWreckReleaseAt = 3600;
// The glow of a fresh wreck: orange, reaching 60 units, for two seconds.
constexpr Vec3 kWreckLightColour{1.0f, 0.5f, 0.2f};
constexpr float kWreckLightRange = 60.0f;
constexpr int kWreckLightSteps = 120;

// State 800: a landing aircraft keeps to its path as a ground unit does (the
// ground fit sets it down); otherwise it flies the path.
void StepOnPath(world::GameWorld& world, Unit& unit) {
  if (unit.landingRate > 0) FollowPath(world, unit);
  else StepPathFlight(world, unit);
}

// Every live unit that `unit` owns, with what hangs below it.
void ReleaseOwnedUnits(world::GameWorld& world, Unit& unit) {
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    Unit* other = world::GetUnitAt(world, slot);
    if (other && other != &unit && other->master == &unit) world::ReleaseMatchingUnits(world, other);
  }
}

// State 998: the hidden wreck glows once, lets its weapons and owned units go
// after 300 steps and is itself released after 3600. ReleaseMatchingUnits
// (not a bare ReleaseUnit) so that nothing is left hanging from the freed
// record; the caller must not touch the unit after a release.
// Returns false when the unit was released.
bool StepWreck(world::GameWorld& world, Unit& unit) {
  const int32_t age = UnitAge(unit);
  unit.SetObjectVisible(0);
  if (age == 0)
    world::AddPointLight(world, GetUnitHeadPos(unit), Vec3{0, 0, 0}, kWreckLightColour, kWreckLightRange, 1.0f,
                         kWreckLightSteps);
  if (age >= kWreckReleaseAt) {
    world::ReleaseMatchingUnits(world, &unit);
    return false;
  }
  if (age == kWreckReleaseChildrenAt) {
    ReleaseWeaponChildren(world, unit, -1);
    ReleaseOwnedUnits(world, unit);
    return true;
  }
  StopLoopSounds(world, unit);
  return true;
}

// State 999: a small burst along the fall every step, then the fall itself
// (which ends in 998 at the first thing it hits).
void StepFalling(world::GameWorld& world, Unit& unit) {
  world::CreateBomb(world, GetUnitHeadPos(unit), unit.velocity, 1, 0.004f);
  StepBallisticFall(world, unit);
}

// The states both aircraft share; true when the state was one of them.
bool StepSharedState(world::GameWorld& world, Unit& unit) {
  switch (unit.state) {
    case kUnitStateFollowPath:
      StepOnPath(world, unit);
      return true;
    case kUnitStateFinal:
      StepWreck(world, unit);
      return true;
    case kUnitStateDestroyed:
      StepFalling(world, unit);
      return true;
    default:
      return false;
  }
}

// ----------------------------------------------------------------------------
// [SECTION] PLANE special states
// ----------------------------------------------------------------------------

// State 700 (and every step of a plane another peer simulates): the flight
// step carries on with the controls the unit holds, at full skill. The
// throttle is handed over negated so that it stays as it is.
void StepDrift(world::GameWorld& world, Unit& unit) {
  FlyWithLevel(world, unit, -1, FlightGunInput{}, FlightWeaponInput{}, unit.control.x, unit.control.y,
               -unit.throttle, unit.control.z);
}

// State 102: the catapult run. Home becomes the launch point (or the
// origin's column) at the unit's height and the unit stops keeping near it;
// it moves by its velocity alone; after 60 steps it flies straight on.
void StepLaunch(Unit& unit, const Vec3& position) {
  const int32_t x = ScriptWord(unit, 3), z = ScriptWord(unit, 4);
  unit.home = x != 0 ? Vec3{float(x), position.y, -float(z)} : Vec3{0, position.y, 0};
  unit.defensiveFlag = 0;
  MoveBy(unit, unit.velocity);
  if (UnitAge(unit) >= 60) RequestUnitState(unit, kPlaneStraight);
}

// State 110: straight up, a little slower at first, until above 600.
void StepVerticalTakeOff(Unit& unit) {
  const float speed = std::min(float(UnitAge(unit)) / 600.0f + 0.5f, 1.0f);
  const Vec3 direction = Normalize(Vec3{1, 1000, 1});
  unit.velocity = Mul(direction, speed);
  Vec3 angles{};
  core::AnglesFromDirection(&angles, direction, nullptr);
  unit.SetObjectAngles(angles.x, angles.y, angles.z);
  MoveBy(unit, unit.velocity);
  if (unit.GetObjectWorldPosition().y > 600.0f) RequestUnitState(unit, kPlaneTurnLeft);
}

// State 201: rolls the wings level (within 3 degrees) and, while not upside
// down, the nose to the horizon. A bank to the left is a positive roll angle
// and is met with a positive roll request, as the steering does.
void StepLevelOff(world::GameWorld& world, Unit& unit) {
  constexpr float kRollSlack = 0.05235988f;  // 3 degrees
  const Vec3 angles = unit.GetObjectAngles();
  const float roll = WrapTurn(angles.z);
  float r = 0;
  if (std::fabs(roll) > kRollSlack) r = (roll > 0 ? roll - kRollSlack : roll + kRollSlack) * 0.5f;
  const float p = std::fabs(roll) < kHalfPi ? -3.0f * WrapTurn(angles.x) : 0.0f;
  const Vec3 controls = Normalize(Vec3{r, p, 0});
  FlyWithLevel(world, unit, std::max(unit.level, unit.planeWord), FlightGunInput{}, FlightWeaponInput{}, controls.x,
               controls.y, 0, 0);
}

// ----------------------------------------------------------------------------
// [SECTION] PLANE goals and the choice of the next state
// ----------------------------------------------------------------------------

// The point 50 ahead at the heading turned by `turn`, drifting toward the
// player's altitude (dy).
Vec3 CruiseGoal(world::GameWorld& world, Unit& unit, const Vec3& position, float turn) {
  const float angle = unit.GetObjectAngles().y + kHalfPi + turn;
  const float dy = (world::GetPlayerUnitPosition(world).y - position.y) / 30.0f;
  return Add(position, Vec3{50.0f * std::cos(angle), dy, 50.0f * std::sin(angle)});
}

// The point the unit is expected to reach before a turn takes hold: its
// velocity over the pitch rate. A type that cannot pitch gives no reach
// beyond the unit itself.
Vec3 LeashPoint(const Unit& unit, const Vec3& position) {
  const float pitchRate = unit.type->mobility.x / 60.0f;
  if (!(pitchRate > 0)) return position;
  return Add(position, Mul(unit.velocity, 1.0f / pitchRate));
}

// One row of a state-choice table: a draw r below `below` takes `state`.
struct Band {
  int below;
  int32_t state;
};
constexpr Band kWarnedChoice[] = {{10, kPlaneStraight}, {30, kPlaneTurnRight}, {50, kPlaneTurnLeft},
                                  {70, kPlaneClimb},    {90, kPlaneDescend},   {100, kPlaneAttack}};
constexpr Band kAheadChoice[] = {{30, kPlaneStraight}, {40, kPlaneTurnRight}, {50, kPlaneTurnLeft},
                                 {70, kPlaneClimb},    {80, kPlaneDescend},   {100, kPlaneAttack}};
constexpr Band kOtherChoice[] = {{10, kPlaneStraight}, {25, kPlaneTurnRight}, {40, kPlaneTurnLeft},
                                 {50, kPlaneClimb},    {60, kPlaneDescend},   {100, kPlaneAttack}};

template <size_t N>
int32_t Pick(const Band (&table)[N], int r) {
  for (const Band& band : table)
    if (r < band.below) return band.state;
  return kPlaneAttack;
}

// Requests the next state and draws its duration. A plane that is warned
// (locked on or homed on) while it has nothing in range of its own weaves;
// an escort far from the player joins it; otherwise a skilled plane attacks
// more often, and one with its target ahead flies straight more.
void ChooseNextPlaneState(world::GameWorld& world, Unit& unit, const Vec3* targetLocal, const Vec3& position) {
  const bool warned = unit.flightWords[kFlightCaution] != 0 || unit.flightWords[kFlightWarning] != 0;
  int32_t next;
  if (warned && unit.flightWord == 0) {
    next = Pick(kWarnedChoice, world::Rand(world) % 100);
  } else if (unit.duckFlag && Length(Sub(world::GetPlayerUnitPosition(world), position)) > 350.0f) {
    next = kPlaneJoin;
  } else {
    const bool ahead = targetLocal && targetLocal->z > 0;
    if (world::Rand(world) % 100 < unit.level * 5) next = kPlaneAttack;
    else next = Pick(ahead ? kAheadChoice : kOtherChoice, world::Rand(world) % 100);
  }
  RequestUnitState(unit, next);
  StateDuration(unit) = world::Rand(world) % 240 + 120;
}

// ----------------------------------------------------------------------------
// [SECTION] PLANE steering and weapons
// ----------------------------------------------------------------------------

// A goal ahead this close to the nose (the squared sine of its angle off
// the nose) has no bank direction worth the name: atan2 of two rounding
// errors would ask for a full roll either way.
constexpr float kOnTheNose = 1e-6f;

}  // namespace

PlaneControls PlanPlaneControls(world::GameWorld& world, Unit& unit, bool probeHit) {
  PlaneControls c;
  if (!unit.type) return c;
  const UnitType& type = *unit.type;
  const Vec3 position = unit.GetObjectWorldPosition();

  // a. The bank error: how far the goal lies from straight overhead. A goal
  // on the nose, or at the plane itself, needs no bank.
  const Vec3 g = Normalize(unit.TransformPointToLocal(unit.steeringPoint));
  const float lateral = std::sqrt(g.x * g.x + g.y * g.y);
  const bool noBank = (g.x == 0 && g.y == 0 && g.z == 0) || (g.z > 0 && lateral * lateral <= kOnTheNose);
  float e = 0;
  if (!noBank) {
    e = std::atan2(g.y, g.x) - kHalfPi;
    if (e < -kPi) e += kTwoPi;
  }
  // b. Roll the goal overhead, leaving the last 4 degrees to settle.
  constexpr float kRollEase = 0.06981317f;
  if (std::fabs(e) > 0.2f) c.roll = e > 0 ? -e + kRollEase : -e - kRollEase;
  // c. Pull toward it once the bank is nearly there.
  if (std::fabs(e) < type.mobility.z / 60.0f * 30.0f) c.pitch = Clamp1((kHalfPi - std::fabs(e)) * g.y * 2.0f);

  // d. Throttle, each rule overriding the ones before (the request is
  // negated by the flight step: 1 idles, -1 is full power). Full power for a
  // far target on the nose, half in a cruise; idle when fast for the height
  // or the climb, or fast with something close ahead; full power whenever
  // slower than POWER (at least 1); then the engine limits.
  Unit* target = IsLiveTarget(unit.target) ? unit.target : nullptr;
  Vec3 targetPosition{}, targetLocal{};
  float distance = 0;
  if (target) {
    targetPosition = target->GetObjectWorldPosition();
    targetLocal = unit.TransformPointToLocal(targetPosition);
    distance = Length(Sub(targetPosition, position));
  }
  const float speed = Length(unit.velocity);
  const Vec3 forward = unit.GetObjectWorldFront();
  const bool closeAhead = target && targetLocal.z > 0 && targetLocal.z < 320.0f &&
                          targetLocal.z * targetLocal.z > targetLocal.x * targetLocal.x + targetLocal.y * targetLocal.y;
  float t = 0;
  if (lateral < 0.4f && target && distance >= 300.0f) t = -1;
  if (unit.state == kPlaneCruise) t = 0;
  if (speed > (position.y + forward.y * 60.0f - 10.0f) / 10.0f + 0.3f) t = 1;
  if (speed > forward.y + 0.9f) t = 1;
  if (speed > 1.2f && (probeHit || closeAhead)) t = 1;
  if (speed < std::max(type.power, 1.0f)) t = -1;
  t = std::max(t, -unit.engineLimitHigh);
  t = std::min(t, -unit.engineLimitLow);

  // e. Every request within -1..1.
  c.roll = Clamp1(c.roll);
  c.pitch = Clamp1(c.pitch);
  c.throttle = Clamp1(t);

  // Weapons: the gun within its range and a narrow cone ahead, on the share
  // of steps the LEVEL allows; a missile within range when the target cannot
  // be locked at all or is locked, once the reload count has run out.
  if (target) {
    const int cls = TargetClass(*target);
    const int slot = unit.currentWeaponSlot;
    // The missile's range is that of the current slot's weapon: what the
    // weapon input fires.
    const UnitType* missile = slot >= 0 && slot < kUnitWeaponSlots ? unit.weaponTypes[slot] : nullptr;
    const float gunRange = type.gunType ? float(type.gunType->range[cls]) : -10000.0f;
    const float missileRange = missile ? float(missile->range[cls]) : -10000.0f;
    const Vec3& l = targetLocal;
    if (distance < gunRange && l.z > 0 && std::sqrt(l.x * l.x + l.y * l.y) / l.z < 0.5f &&
        UnitAge(unit) % 70 < unit.level * 50)
      c.gun.trigger = 1;
    // A count below 0 (set so by a script) is as good as run out.
    if (distance < missileRange && (GetLockOnRange(world, unit, *target) == 0 || unit.lockWord != 0) &&
        unit.aimWord <= 0) {
      c.weapon.fire = 1;
      unit.aimWord = 240;
    }
  }
  return c;
}

// ----------------------------------------------------------------------------
// [SECTION] The PLANE step
// ----------------------------------------------------------------------------

int UpdatePlaneUnit(world::GameWorld& world, Unit& unit) {
  if (!unit.type) return 0;
  // The plane word is the skill an obstacle scare gives; it is temporary,
  // so it wears off one a step (left alone, every plane that once dodged a
  // hill would fly as an ace for the rest of its life).
  if (unit.planeWord > 0) unit.planeWord--;

  // 1. Pose, and the target in the unit's own frame.
  const Vec3 position = unit.GetObjectWorldPosition();
  const int32_t age = UnitAge(unit);
  Unit* target = IsLiveTarget(unit.target) ? unit.target : nullptr;
  Vec3 targetPosition{}, targetLocal{};
  if (target) {
    targetPosition = target->GetObjectWorldPosition();
    targetLocal = unit.TransformPointToLocal(targetPosition);
  }

  // 2. Escort: a wingman of the player's team keeps the player as its home.
  Unit* player = world::GetPlayerUnit(world);
  if (player && player != &unit && unit.duckFlag && unit.networkId < 0 &&
      std::strcmp(unit.team.Get(), player->team.Get()) == 0)
    unit.home = player->GetObjectWorldPosition();

  // 3. A newly spawned or re-decided plane first flies straight, the less
  // skilled the longer.
  int32_t state = unit.state;
  if (state < 11 && age < (12 - unit.level) * 6) state = kPlaneStraight;

  // 4. Leash: home when the point it is heading for leaves its reach (or it
  // is jammed), and back inside the flight area.
  if (state < 100) {
    const Vec3 reach = LeashPoint(unit, position);
    if (unit.defensiveFlag &&
        (Length(Sub(reach, unit.home)) > float((unit.level + 16) * 50) || unit.flightWords[kFlightJamFlags] != 0))
      state = kPlaneReturn;
    if (world::out_area(world, reach.x, reach.y, reach.z) != 0) state = kPlaneReturn;
  }

  // 5. A plane another peer simulates carries on with what it received.
  if (!IsUnitLocal(unit) && unit.state < kUnitStateDestroyedFrom) {
    StepDrift(world, unit);
    return 0;
  }

  // 6. The goal of the state, or its own step.
  if (StepSharedState(world, unit)) return 0;
  Vec3 goal = unit.steeringPoint;  // states without a goal of their own keep it
  bool due = false;
  switch (state) {
    case kPlaneParked:
      unit.velocity = Vec3{0, 0, 0};
      return 0;
    case kPlaneLaunch:
      StepLaunch(unit, position);
      return 0;
    case kPlaneVerticalTakeOff:
      StepVerticalTakeOff(unit);
      return 0;
    case kPlaneLevelOff:
      StepLevelOff(world, unit);
      return 0;
    case kPlaneDrift:
      StepDrift(world, unit);
      return 0;
    case kPlaneCruise: {
      goal = CruiseGoal(world, unit, position, 0);
      const int32_t limit = ScriptWord(unit, 2) != 0 ? ScriptWord(unit, 2) : unit.unitId % 30 + 30;
      due = limit < age / 6;
      break;
    }
    case kPlaneStraight:
      goal = CruiseGoal(world, unit, position, 0);
      due = unit.state == kPlaneStraight && StateDuration(unit) / 6 < age;
      break;
    case kPlaneTurnRight:
    case kPlaneTurnLeft:
      goal = CruiseGoal(world, unit, position, state == kPlaneTurnRight ? -0.4f : 0.4f);
      due = age > StateDuration(unit);
      break;
    case kPlaneClimb:
    case kPlaneDescend:
      goal = Add(position, Vec3{0, state == kPlaneClimb ? 50.0f : -50.0f, 0});
      due = age > StateDuration(unit);
      break;
    case kPlaneAttack:
    case kPlaneChase:
      if (target) goal = targetPosition;  // without a target the last goal stands
      due = age > StateDuration(unit);
      break;
    case kPlaneReturn:
      goal = unit.home;
      due = age > StateDuration(unit);
      break;
    case kPlaneJoin:
      goal = world::GetPlayerUnitPosition(world);
      due = age > StateDuration(unit);
      break;
    case kPlaneClimbOut:
      if (age / 60 <= ScriptWord(unit, 2)) {
        goal = CruiseGoal(world, unit, position, 0);
      } else {
        unit.home = Vec3{0, position.y, 0};
        due = true;
      }
      break;
    case kPlaneOrbit: {
      const Vec3 centre{float(ScriptWord(unit, 1)), float(ScriptWord(unit, 2)), float(ScriptWord(unit, 3))};
      const float a = float(age) / 1000.0f;
      goal = Add(centre, Vec3{200.0f * std::cos(a), 50.0f * std::sin(3.0f * a), 200.0f * std::sin(a)});
      break;
    }
    default:
      due = age > StateDuration(unit);
      break;
  }

  // 7. Every 16 steps (spread over the units) the way to the goal is probed;
  // an obstacle turns the goal aside and sharpens the pilot for a while.
  bool probeHit = false;
  if (age % 16 == unit.unitId % 16) {
    Vec3 correction{};
    if (ProbeObstacles(world, unit, &correction, Sub(goal, position), 0)) {
      goal = Add(position, correction);
      unit.planeWord = 10;
      probeHit = true;
    }
  }
  unit.steeringPoint = goal;

  // 8. The next state.
  if (due) ChooseNextPlaneState(world, unit, target ? &targetLocal : nullptr, position);

  // 9-11. Steering and weapons, then the flight step at the better of the
  // LEVEL and the temporary skill.
  const PlaneControls c = PlanPlaneControls(world, unit, probeHit);
  FlyWithLevel(world, unit, std::max(unit.level, unit.planeWord), c.gun, c.weapon, c.roll, c.pitch, c.throttle, 0);
  return 0;
}

// ----------------------------------------------------------------------------
// [SECTION] The VTOL step
// ----------------------------------------------------------------------------

namespace {

// The steering point toward `goal`: the way there is probed (forced, so the
// full probe fan looks), at least the unit's radius ahead; an obstacle turns
// the point aside.
Vec3 VtolSteeringPoint(world::GameWorld& world, Unit& unit, const Vec3& position, const Vec3& goal) {
  Vec3 look = Sub(goal, position);
  const float length = Length(look);
  const float radius = unit.GetObjectRadius();
  if (length < radius) look = length > 0 ? Mul(look, radius / length) : Mul(unit.GetObjectWorldFront(), radius);
  Vec3 correction{};
  if (ProbeObstacles(world, unit, &correction, look, 1)) return Add(position, correction);
  return goal;
}

// The goal's height, never within 20 of the ground below it: a lead point
// extrapolated from a diving target can lie under the ground.
constexpr float kVtolClearance = 20.0f;
constexpr float kGroundSearch = 100000.0f;
constexpr int kVtolGroundMode = 3;

Vec3 AboveGround(world::GameWorld& world, Vec3 goal) {
  Vec3 hit;
  if (world::CastRayAgainstTerrain(world, &hit, nullptr, {goal.x, kGroundSearch, goal.z},
                                   {goal.x, -kGroundSearch, goal.z}, kVtolGroundMode) &&
      goal.y < hit.y + kVtolClearance)
    goal.y = hit.y + kVtolClearance;
  return goal;
}

// A step that would pass into the ground loses its downward part.
Vec3 KeepAboveGround(world::GameWorld& world, const Vec3& position, Vec3 velocity) {
  if (!(velocity.y < 0.0f)) return velocity;
  Vec3 hit;
  if (world::CastRayAgainstTerrain(world, &hit, nullptr, position, Add(position, velocity), kVtolGroundMode))
    velocity.y = 0.0f;
  return velocity;
}

// The velocity after one step of hovering toward the steering point: drag,
// then thrust along the unit's forward and up axes toward the goal (its
// height weighted tenfold), the change of speed held within what POWER
// gives. Drag is never cancelled by those limits: a unit without POWER
// slows down instead of gliding on for ever.
Vec3 HoverVelocity(Unit& unit) {
  const float power = unit.type->power;
  Vec3 v = unit.velocity;
  const float oldSpeed = Length(v);
  v = Vec3{v.x - v.x / 600.0f, v.y - v.y / 600.0f, v.z - v.z / 600.0f};
  const float dragged = Length(v);

  const Vec3 forward = unit.GetObjectWorldFront();
  const Vec3 up = unit.GetObjectWorldUp();
  Vec3 goal = unit.TransformPointToLocal(unit.steeringPoint);
  // Moving forward, it does not brake for a goal behind it: it comes round.
  if (Dot(v, forward) > 0 && goal.z < 0) goal.z = 0;
  goal.y *= 10.0f;
  const Vec3 g = Normalize(goal);
  v = Add(v, Add(Mul(forward, g.z * power / 600.0f), Mul(up, g.y * power / 600.0f)));

  float speed = Length(v);
  const float most = oldSpeed + power / 60.0f * 0.25f;
  const float least = std::min(oldSpeed - power / 60.0f * 0.5f, dragged);
  speed = std::min(speed, most);
  speed = std::max(speed, least);
  speed = std::max(speed, 0.0f);
  return Mul(Normalize(v), speed);
}

// The scope of a target class: largest and smallest pitch (top, bottom) and
// yaw (left, right; a positive yaw turns left).
void ScopeLimits(const UnitType& type, int cls, float* maxPitch, float* minPitch, float* maxYaw, float* minYaw) {
  const WeaponScope& scope = type.weaponScope[cls & 3];
  *maxPitch = scope.top;
  *minPitch = scope.bottom;
  *maxYaw = scope.left;
  *minYaw = scope.right;
}

// Guns on the unit's firing cycle, aimed at the lead point but never outside
// the scope of the target's class.
void FireVtolGun(world::GameWorld& world, Unit& unit, const Unit& target, const Vec3& aim, float distance) {
  const UnitType& type = *unit.type;
  const int32_t cycle = type.gunCycle;
  const int cls = TargetClass(target);
  if (!type.gunType || cycle <= 0 || UnitAge(unit) % cycle != unit.unitId % cycle) return;
  if (!(distance < float(type.gunType->range[cls]))) return;
  float maxPitch, minPitch, maxYaw, minYaw;
  ScopeLimits(type, cls, &maxPitch, &minPitch, &maxYaw, &minYaw);
  Vec3 direction{};
  ClampDirectionToScope(&direction, unit.TransformPointToLocal(aim), maxPitch, minPitch, maxYaw, minYaw);
  if (!IsUnitLocal(unit)) return;
  if (ShootGun(world, unit, Mul(direction, std::max(distance, 1.0f))))
    world::AddCameraShake(world, unit.GetObjectWorldPosition(), 6.0f);
}

// A missile at a target within the type's range and the scope of its class,
// once the reload count has run out; launched locked on, then the slot is
// filled again.
void FireVtolMissile(world::GameWorld& world, Unit& unit, const Unit& target, const Vec3& aim, float distance) {
  const UnitType& type = *unit.type;
  const int cls = TargetClass(target);
  int32_t& reload = VtolReload(unit);
  if (!(distance < float(type.range[cls])) || reload > 0 || !IsUnitLocal(unit)) return;
  float maxPitch, minPitch, maxYaw, minYaw;
  ScopeLimits(type, cls, &maxPitch, &minPitch, &maxYaw, &minYaw);
  if (!IsDirectionInScope(unit.TransformPointToLocal(aim), maxPitch, minPitch, maxYaw, minYaw)) return;
  unit.lockWord = 1;
  Unit* missile = ShootMissile(world, unit);
  unit.lockWord = 0;
  if (missile) {
    reload = (12 - unit.level) * 50;
    world::AddCameraShake(world, unit.GetObjectWorldPosition(), 10.0f);
  }
  SpawnWeaponSlot(world, unit, unit.currentWeaponSlot, 0);
}

}  // namespace

int UpdateVtolUnit(world::GameWorld& world, Unit& unit) {
  if (!unit.type) return 0;
  if (StepSharedState(world, unit)) return 0;

  const Vec3 position = unit.GetObjectWorldPosition();
  const int32_t age = UnitAge(unit);
  Unit* target = IsLiveTarget(unit.target) ? unit.target : nullptr;

  // 1. The lead point: where the target will be when a shot gets there.
  Vec3 lead{};
  float distance = 0;
  if (target) {
    const Vec3 at = target->GetObjectWorldPosition();
    distance = Length(Sub(at, position));
    lead = Add(at, Mul(target->velocity, distance / 5.0f));
    if (unit.state == 0 && (age % 16 == unit.unitId % 16 || age == 0))
      unit.steeringPoint = VtolSteeringPoint(world, unit, position, AboveGround(world, Add(lead, Vec3{0, 20.0f, 0})));
  }

  // 2. Turn (level, any heading) and hover toward the steering point.
  Vec3 turn{};
  TurnTowardPoint(unit, &turn, unit.steeringPoint, 0, 0, kPi, -kPi);
  const Vec3 velocity = HoverVelocity(unit);

  // 3-4. Weapons, from the pose the step began with.
  if (target) {
    FireVtolGun(world, unit, *target, lead, distance);
    FireVtolMissile(world, unit, *target, lead, distance);
  }
  if (VtolReload(unit) > 0) VtolReload(unit)--;

  // 5. The new angles, velocity and position; the ground stops a descent
  // (hovering toward a goal below it would carry the craft through it).
  const Vec3 angles = unit.GetObjectAngles();
  unit.SetObjectAngles(angles.x + turn.x, angles.y + turn.y, angles.z);
  unit.velocity = KeepAboveGround(world, position, velocity);
  MoveBy(unit, unit.velocity);
  return 0;
}

}  // namespace units
