// units_aircraft_test.cpp -- the PLANE and VTOL behaviours: the goal of each
// state, the first straight steps, the leash, the escort, the choice of the
// next state against the draws of the world's generator, steering and
// throttle, weapons, the temporary skill, take-off, launch, the wreck, and
// the VTOL's hover, speed limits, firing scopes, take-off and landing.
//
// The flight model is stepped by another part of the units; these tests
// look at what the behaviours decide: the state, the steering point and the
// controls and weapon inputs they hand over (PlanPlaneControls).

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "units/units_flight.h"
#include "units_weapon_fixture.h"

namespace {

using unittest::WeaponWorld;
using units::PathPoint;
using units::PlaneControls;
using units::Unit;
using units::UnitType;
using units::Vec3;

constexpr float kPi = 3.14159265f;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
float Distance(const Vec3& a, const Vec3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }
float Length(const Vec3& v) { return std::hypot(v.x, v.y, v.z); }

void ExpectNear(const Vec3& actual, const Vec3& expected, float tolerance = 1e-3f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class AircraftTest : public WeaponWorld {
 protected:
  UnitType& planeType = AddType("PLANE", units::kTypePlane);
  UnitType& vtolType = AddType("VTOL", units::kTypeVtol);
  UnitType& enemyType = AddType("ENEMY", units::kTypePlane);
  UnitType& gunType = AddType("GUN", units::kTypeGun);
  UnitType& missileType = AddType("MSL", units::kTypeMissile);
  UnitType& propType = AddType("PROP", units::kTypeObject);

  void SetUp() override {
    planeType.defense = vtolType.defense = enemyType.defense = 100;
    // Pitch 1.2 rad/s (0.02 a step), roll 2 rad/s: the pull starts within
    // 1 radian of bank.
    planeType.mobility = {1.2f, 1.2f, 2.0f};
    planeType.power = 1;
    vtolType.mobility = {1.0f, 2.0f, 0.0f};
    vtolType.stability = 60;
    vtolType.power = 6;
    enemyType.hudNameFile = "enemy.bmp";  // lockable
    gunType.attributes = units::kAttrWeapon;
    gunType.speed = 5;
    gunType.range[0] = 600;
    missileType.attributes = units::kAttrWeapon;
    missileType.reloadTime = 1;
    missileType.range[0] = 1500;
  }

  Unit* Plane(Vec3 at, int32_t level, int32_t state = 0) {
    Unit* u = Put(planeType, "A", at);
    u->level = level;
    units::SetUnitState(*u, state, 0);
    return u;
  }
  Unit* Vtol(Vec3 at) { return Put(vtolType, "A", at); }
  Unit* Enemy(Vec3 at) { return Put(enemyType, "B", at); }

  // The end of UnitUpdate: age, then a pending state lands.
  static void Finish(Unit& u) {
    units::UnitAge(u)++;
    if (u.pendingFlag) {
      u.pendingFlag = 0;
      u.state = u.pendingState;
      units::UnitAge(u) = 0;
    }
  }
  void StepPlane(Unit& u) {
    units::UpdatePlaneUnit(world, u);
    Finish(u);
  }
  void StepVtol(Unit& u) {
    units::UpdateVtolUnit(world, u);
    Finish(u);
  }
  // One step of the behaviour at a given age in the current state.
  void PlaneAt(Unit& u, int32_t age) {
    units::UnitAge(u) = age;
    units::UpdatePlaneUnit(world, u);
  }
};

// ---------------------------------------------------------------------------
// PLANE: goals, straight start, leash, escort
// ---------------------------------------------------------------------------

// Each state's goal, stored as the steering point. The plane stands at
// (0, 300, 0) facing +z with no player unit: dy = (0 - 300) / 30 = -10.
TEST_F(AircraftTest, EveryStateStoresItsGoalAsTheSteeringPoint) {
  const Vec3 p{0, 300, 0};
  const Vec3 kept{7, 8, 9};
  struct Case {
    int32_t state;
    bool withTarget;
    Vec3 goal;
  };
  const Case cases[] = {
      {0, false, {0, 290, 50}},
      {10, false, {0, 290, 50}},
      {1, false, {19.4709f, 290, 46.0530f}},   // turn right: heading less 0.4
      {2, false, {-19.4709f, 290, 46.0530f}},  // turn left
      {3, false, {0, 350, 0}},
      {4, false, {0, 250, 0}},
      {5, true, {100, 300, 400}},
      {8, true, {100, 300, 400}},
      {5, false, kept},  // no target: the last goal stands
      {6, false, {50, 300, 50}},
      {7, false, {0, 0, 0}},  // no player: the origin
      {210, false, {299.0008f, 214.7760f, 319.9667f}},
      {42, false, kept},  // a state of no row keeps its goal
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    Unit* plane = Plane(p, 10, c.state);
    Unit* enemy = c.withTarget ? Enemy({100, 300, 400}) : nullptr;
    plane->target = enemy;
    plane->home = {50, 300, 50};
    plane->duckFlag = 0;
    units::BehaviourInt(*plane, 0) = 100;  // orbit centre (100, 200, 300)
    units::BehaviourInt(*plane, 1) = 200;
    units::BehaviourInt(*plane, 2) = 300;
    units::BehaviourInt(*plane, 8) = 1000;  // duration
    plane->steeringPoint = kept;
    PlaneAt(*plane, 100);  // a = 0.1 for the orbit
    ExpectNear(plane->steeringPoint, c.goal);
    EXPECT_EQ(plane->pendingFlag, 0);
    world::ReleaseUnit(world, plane);
    if (enemy) world::ReleaseUnit(world, enemy);
  }
}

// Below state 11 a plane flies straight for its first (12 - LEVEL) x 6
// steps: 72 at LEVEL 0, none from LEVEL 12 on. A climbing plane shows it:
// straight ahead first, then 50 up.
TEST_F(AircraftTest, FliesStraightForItsFirstStepsByLevel) {
  struct Case {
    int32_t level;
    int32_t straightSteps;
  };
  for (Case c : {Case{0, 72}, Case{5, 42}, Case{12, 0}, Case{20, 0}}) {
    SCOPED_TRACE(c.level);
    Unit* plane = Plane({0, 0, 0}, c.level, 3);
    units::BehaviourInt(*plane, 8) = 1000;
    plane->duckFlag = 0;
    if (c.straightSteps > 0) {
      PlaneAt(*plane, c.straightSteps - 1);
      ExpectNear(plane->steeringPoint, {0, 0, 50});
    }
    // The first step flew the plane on: the goal is taken from where it is.
    Vec3 at = plane->GetObjectPosition();
    PlaneAt(*plane, c.straightSteps);
    ExpectNear(plane->steeringPoint, {at.x, at.y + 50, at.z});
    world::ReleaseUnit(world, plane);
  }
  // States from 11 on keep their own goal from the first step.
  Unit* orbit = Plane({0, 0, 0}, 0, 210);
  PlaneAt(*orbit, 0);
  ExpectNear(orbit->steeringPoint, {200, 0, 0});
}

// LEVEL 4 reaches (4 + 16) x 50 = 1000 from home. The point checked is the
// one the plane heads for: its velocity over the pitch rate (0.02 a step)
// ahead. Jamming and the flight area's margin send it home too; a plane
// not kept defensive goes where it likes within the area.
TEST_F(AircraftTest, TheLeashSendsAPlaneHomeUntilItIsBackWithinReach) {
  struct Case {
    const char* what;
    Vec3 at;
    Vec3 velocity;
    int32_t defensive;
    uint32_t jamFlags;
    bool home;
  };
  const Case cases[] = {
      {"beyond reach", {0, 100, 1100}, {0, 0, 0}, 1, 0, true},
      {"within reach", {0, 100, 900}, {0, 0, 0}, 1, 0, false},
      {"heading out", {0, 100, 900}, {0, 0, 3}, 1, 0, true},    // 900 + 3 / 0.02
      {"heading back", {0, 100, 1100}, {0, 0, -3}, 1, 0, false},
      {"jammed", {0, 100, 10}, {0, 0, 0}, 1, 0x2, true},
      {"not defensive", {0, 100, 1100}, {0, 0, 0}, 0, 0, false},
      {"in the margin", {0, 100, 4200}, {0, 0, 0}, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Unit* plane = Plane(c.at, 4, 1);
    plane->home = {0, 100, 0};
    plane->velocity = c.velocity;
    plane->defensiveFlag = c.defensive;
    plane->flightWords[units::kFlightJamFlags] = c.jamFlags;
    plane->duckFlag = 0;
    units::BehaviourInt(*plane, 8) = 1000;
    PlaneAt(*plane, 100);
    EXPECT_EQ(Distance(plane->steeringPoint, plane->home) < 0.001f, c.home);
    world::ReleaseUnit(world, plane);
  }

  // Flown back by hand: home is the goal until the plane is within reach.
  Unit* plane = Plane({0, 100, 1300}, 4, 1);
  plane->home = {0, 100, 0};
  plane->duckFlag = 0;
  units::BehaviourInt(*plane, 8) = 100000;
  units::UnitAge(*plane) = 100;
  for (float z = 1300; z > 700; z -= 50) {
    // The flight step moves it on; each probe starts from rest at z.
    plane->SetObjectPosition(0, 100, z);
    plane->velocity = {0, 0, 0};
    StepPlane(*plane);
    EXPECT_EQ(Distance(plane->steeringPoint, plane->home) < 0.001f, z > 1000) << z;
  }
}

// A type that cannot pitch has no look-ahead: the leash measures the plane
// itself, and nothing turns into NaN.
TEST_F(AircraftTest, ALeashWithoutPitchRateMeasuresThePlaneItself) {
  planeType.mobility = {0, 0, 0};
  Unit* plane = Plane({0, 100, 900}, 4, 1);
  plane->home = {0, 100, 0};
  plane->velocity = {0, 0, 2};
  plane->duckFlag = 0;
  units::BehaviourInt(*plane, 8) = 1000;
  PlaneAt(*plane, 100);
  EXPECT_TRUE(Finite(plane->steeringPoint));
  EXPECT_GT(Distance(plane->steeringPoint, plane->home), 1.0f);
  PlaneControls c = units::PlanPlaneControls(world, *plane, false);
  EXPECT_TRUE(std::isfinite(c.roll) && std::isfinite(c.pitch) && std::isfinite(c.throttle));
}

// A wingman (duck flag, the player's team, no network id) keeps the player
// as its home; another team, a cleared flag or a network unit does not.
TEST_F(AircraftTest, AnEscortTakesThePlayerAsHome) {
  Unit* player = Put(planeType, "A", {300, 200, 100});
  world.playerUnit = player;
  struct Case {
    const char* team;
    int32_t duck;
    int32_t networkId;
    bool follows;
  };
  for (Case c : {Case{"A", 1, -1, true}, Case{"B", 1, -1, false}, Case{"A", 0, -1, false},
                 Case{"A", 1, 0x1000005, false}}) {
    SCOPED_TRACE(c.team);
    Unit* plane = Put(planeType, c.team, {0, 200, 0});
    plane->duckFlag = c.duck;
    plane->networkId = c.networkId;
    plane->home = {0, 200, 0};
    PlaneAt(*plane, 0);
    EXPECT_EQ(Distance(plane->home, {300, 200, 100}) < 0.001f, c.follows);
    world::ReleaseUnit(world, plane);
  }
  world.playerUnit = nullptr;
}

// ---------------------------------------------------------------------------
// PLANE: the next state
// ---------------------------------------------------------------------------

// The state choice against the world's generator: a copy of it gives the
// draws the step will take. Warned with nothing of its own in range: the
// weaving table; an escort far from the player: join; otherwise the chance
// LEVEL x 5 % of an attack, then the table for a target ahead or not.
TEST_F(AircraftTest, TheNextStateFollowsTheTablesForTheDraws) {
  struct Band {
    int below;
    int32_t state;
  };
  const std::vector<Band> warnedTable = {{10, 10}, {30, 1}, {50, 2}, {70, 3}, {90, 4}, {100, 5}};
  const std::vector<Band> aheadTable = {{30, 10}, {40, 1}, {50, 2}, {70, 3}, {80, 4}, {100, 5}};
  const std::vector<Band> otherTable = {{10, 10}, {25, 1}, {40, 2}, {50, 3}, {60, 4}, {100, 5}};
  auto pick = [](const std::vector<Band>& table, int r) {
    for (const Band& b : table)
      if (r < b.below) return b.state;
    return int32_t(-1);
  };
  enum Situation { kWarned, kWarnedButInRange, kEscortFar, kTargetAhead, kTargetBehind, kNoTarget };
  const int32_t level = 4;
  Unit* enemy = Enemy({0, 0, 0});
  for (Situation s : {kWarned, kWarnedButInRange, kEscortFar, kTargetAhead, kTargetBehind, kNoTarget}) {
    for (uint32_t seed : {1u, 7u, 4242u, 65535u, 1234567u, 99999999u}) {
      SCOPED_TRACE(testing::Message() << "situation " << s << " seed " << seed);
      Unit* plane = Plane({0, 100, 0}, level, 10);
      plane->duckFlag = s == kEscortFar ? 1 : 0;
      if (s == kEscortFar) plane->SetObjectPosition(0, 400, 0);  // 400 from the origin
      if (s == kWarned || s == kWarnedButInRange) plane->flightWords[seed % 2] = 5;
      if (s == kWarnedButInRange) plane->flightWord = 2;
      enemy->SetObjectPosition(0, 100, s == kTargetBehind ? -500.0f : 500.0f);
      plane->target = s == kNoTarget || s == kEscortFar || s == kWarned ? nullptr : enemy;
      units::BehaviourInt(*plane, 8) = 0;  // due: duration / 6 = 0 is below the age

      world.random.Seed(seed);
      core::RandomGenerator draws = world.random;
      int32_t expected;
      if (s == kWarned) expected = pick(warnedTable, draws.Next() % 100);
      else if (s == kEscortFar) expected = 7;
      else if (draws.Next() % 100 < level * 5) expected = 5;
      else expected = pick(s == kTargetAhead || s == kWarnedButInRange ? aheadTable : otherTable, draws.Next() % 100);
      const int32_t duration = draws.Next() % 240 + 120;

      PlaneAt(*plane, 1);
      EXPECT_EQ(plane->pendingFlag, 1);
      EXPECT_EQ(plane->pendingState, expected);
      EXPECT_EQ(units::BehaviourInt(*plane, 8), duration);
      EXPECT_EQ(world.random.seed, draws.seed);  // no other draw was taken
      world::ReleaseUnit(world, plane);
    }
  }
}

// When each state is due: cruise by its limit (word 2, else id % 30 + 30)
// over age / 6; the turns and the others by the duration; state 10 by a
// sixth of it, and only as the stored state; 103 after word 2 minutes,
// with home moved over the origin; 210 never.
TEST_F(AircraftTest, EachStateIsReDecidedWhenItsTimeIsUp) {
  struct Case {
    int32_t state;
    int32_t word2;
    int32_t duration;
    int32_t age;
    bool due;
  };
  const Case cases[] = {
      {0, 20, 0, 126, true},     {0, 20, 0, 125, false},  // 20 < 126 / 6 = 21
      {1, 0, 200, 201, true},    {1, 0, 200, 200, false},  {6, 0, 200, 201, true},
      {10, 0, 600, 101, true},   {10, 0, 600, 100, false},  // 600 / 6 = 100
      {103, 2, 0, 180, true},    {103, 2, 0, 179, false},   // 179 / 60 = 2 <= 2
      {210, 0, 0, 5000, false},  {42, 0, 10, 11, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "state " << c.state << " age " << c.age);
    Unit* plane = Plane({0, 100, 0}, 12, c.state);
    plane->duckFlag = 0;
    plane->home = {0, 100, 0};
    units::BehaviourInt(*plane, 1) = c.word2;
    units::BehaviourInt(*plane, 8) = c.duration;
    PlaneAt(*plane, c.age);
    EXPECT_EQ(plane->pendingFlag, c.due ? 1 : 0);
    world::ReleaseUnit(world, plane);
  }
  // Climb-out: home moves over the origin at the unit's height.
  Unit* plane = Plane({40, 123, 60}, 12, 103);
  PlaneAt(*plane, 60);
  ExpectNear(plane->home, {0, 123, 0});
}

// ---------------------------------------------------------------------------
// PLANE: steering, throttle, weapons
// ---------------------------------------------------------------------------

// The bank error e from the goal's direction seen from behind, R = -e eased
// by 4 degrees beyond 0.2, and the pull (pi/2 - |e|) x 2 g.y within the
// roll rate x 0.5 (here 1 radian) of bank. A goal on the nose or at the
// plane itself asks for nothing.
TEST_F(AircraftTest, SteeringRollsTheGoalOverheadAndPullsTowardIt) {
  struct Case {
    const char* what;
    Vec3 direction;
    float roll, pitch;
  };
  const Case cases[] = {
      {"above", {0, 1, 0}, 0, 1},
      {"right", {1, 0, 0}, 1, 0},
      {"left", {-1, 0, 0}, -1, 0},
      {"ahead, up and a little left", {-0.0958851f, 0.1755165f, 1}, -0.4301868f, 0.3685854f},
      {"ahead, up and a little right", {0.0958851f, 0.1755165f, 1}, 0.4301868f, 0.3685854f},
      {"within 0.2 of overhead", {0.0298876f, 0.1977542f, 1}, 0, 0.5510245f},
      {"below", {0, -1, 0.001f}, 1, 0},
      {"on the nose", {0, 0, 1}, 0, 0},
      {"at the plane", {0, 0, 0}, 0, 0},
  };
  Unit* plane = Plane({0, 1000, 0}, 10, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    plane->steeringPoint = {c.direction.x * 100, 1000 + c.direction.y * 100, c.direction.z * 100};
    PlaneControls k = units::PlanPlaneControls(world, *plane, false);
    EXPECT_NEAR(k.roll, c.roll, 1e-4f);
    EXPECT_NEAR(k.pitch, c.pitch, 1e-4f);
    EXPECT_TRUE(std::isfinite(k.throttle));
  }
  // Without a roll rate there is never a pull.
  planeType.mobility.z = 0;
  plane->steeringPoint = {0, 1100, 0};
  EXPECT_EQ(units::PlanPlaneControls(world, *plane, false).pitch, 0.0f);
}

// The throttle rules in order, each overriding the ones before (1 asks for
// no power, -1 for full), bounded by the engine limits. POWER 1, the plane
// at height 100 with its nose 30 degrees up (forward y = 0.5).
TEST_F(AircraftTest, ThrottleRulesOverrideInOrderWithinTheEngineLimits) {
  struct Case {
    const char* what;
    int32_t state;
    float speed;
    float height;
    float targetAhead;  // distance straight ahead, 0 for none
    bool probeHit;
    float limitLow, limitHigh;
    float throttle;
  };
  const Case cases[] = {
      {"nothing applies", 1, 1.1f, 100, 0, false, -1, 1, 0},
      {"far target on the nose: full", 1, 1.1f, 100, 500, false, -1, 1, -1},
      {"state 0 cancels that", 0, 1.1f, 100, 500, false, -1, 1, 0},
      {"low and fast: back off", 1, 1.1f, -20, 0, false, -1, 1, 1},  // (-20 + 30 - 10) / 10 + 0.3
      {"faster than forward y + 0.9", 1, 1.45f, 100, 0, false, -1, 1, 1},
      {"obstacle ahead above 1.2", 1, 1.3f, 100, 0, true, -1, 1, 1},
      {"close target ahead above 1.2", 1, 1.3f, 100, 200, false, -1, 1, 1},
      {"obstacle ahead below 1.2", 1, 1.15f, 100, 0, true, -1, 1, 0},
      {"slower than POWER", 1, 0.5f, 0, 0, true, -1, 1, -1},
      {"high limit 0.5", 1, 0.5f, 100, 0, false, -1, 0.5f, -0.5f},
      {"low limit 0.25", 1, 1.45f, 100, 0, false, 0.25f, 1, -0.25f},
  };
  const float pitch = 0.5235988f;  // 30 degrees: forward (0, 0.5, 0.866)
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Unit* plane = Plane({0, c.height, 0}, 10, c.state);
    plane->SetObjectAngles(pitch, 0, 0);
    const Vec3 forward = plane->GetObjectWorldFront();
    plane->velocity = {forward.x * c.speed, forward.y * c.speed, forward.z * c.speed};
    plane->engineLimitLow = c.limitLow;
    plane->engineLimitHigh = c.limitHigh;
    Unit* enemy = nullptr;
    if (c.targetAhead > 0) {
      enemy = Enemy({forward.x * c.targetAhead, c.height + forward.y * c.targetAhead, forward.z * c.targetAhead});
      plane->target = enemy;
    }
    plane->steeringPoint = {forward.x * 100, c.height + forward.y * 100, forward.z * 100};
    EXPECT_NEAR(units::PlanPlaneControls(world, *plane, c.probeHit).throttle, c.throttle, 1e-6f);
    world::ReleaseUnit(world, plane);
    if (enemy) world::ReleaseUnit(world, enemy);
  }
}

// The gun within its range and a cone of sqrt(x² + y²) / z < 0.5 ahead, on
// the steps age % 70 < LEVEL x 50; a missile within the current slot's
// range when the target cannot be locked or is locked, then not again for
// the 240 steps of its reload count.
TEST_F(AircraftTest, GunAndMissileInputsFollowRangeConeSkillAndReload) {
  planeType.gunType = &gunType;
  Unit* plane = Plane({0, 1000, 0}, 10, 1);
  plane->weaponTypes[0] = &missileType;
  plane->ammo[0][0] = 1;
  Unit* enemy = Enemy({0, 1000, 500});
  plane->target = enemy;
  struct Case {
    const char* what;
    Vec3 at;
    int32_t level;
    int32_t age;
    bool gun;
  };
  const Case cases[] = {
      {"ahead in range", {0, 1000, 500}, 10, 0, true},
      {"inside the cone", {240, 1000, 500}, 10, 0, true},
      {"outside the cone", {260, 1000, 500}, 10, 0, false},
      {"behind", {0, 1000, -500}, 10, 0, false},
      {"beyond the gun's range", {0, 1000, 700}, 10, 0, false},
      {"LEVEL 1 on step 49 of 70", {0, 1000, 500}, 1, 49, true},
      {"LEVEL 1 on step 50 of 70", {0, 1000, 500}, 1, 120, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    enemy->SetObjectPosition(c.at.x, c.at.y, c.at.z);
    plane->level = c.level;
    units::UnitAge(*plane) = c.age;
    EXPECT_EQ(units::PlanPlaneControls(world, *plane, false).gun.trigger, c.gun ? 1 : 0);
  }

  enemy->SetObjectPosition(0, 1000, 1000);  // beyond the gun, within the missile
  plane->aimWord = 0;
  plane->lockWord = 0;
  // Lockable but not locked: no missile.
  EXPECT_EQ(units::PlanPlaneControls(world, *plane, false).weapon.fire, 0);
  EXPECT_EQ(plane->aimWord, 0);
  // Locked: a missile, and the reload count.
  plane->lockWord = 1;
  EXPECT_EQ(units::PlanPlaneControls(world, *plane, false).weapon.fire, 1);
  EXPECT_EQ(plane->aimWord, 240);
  EXPECT_EQ(units::PlanPlaneControls(world, *plane, false).weapon.fire, 0);
  // A target that cannot be locked at all is fired at once reloaded.
  plane->lockWord = 0;
  enemyType.hudNameFile.clear();
  plane->aimWord = 1;
  EXPECT_EQ(units::PlanPlaneControls(world, *plane, false).weapon.fire, 0);
  plane->aimWord = 0;
  EXPECT_EQ(units::PlanPlaneControls(world, *plane, false).weapon.fire, 1);
  plane->aimWord = -5;  // below 0 is as run out as 0
  EXPECT_EQ(units::PlanPlaneControls(world, *plane, false).weapon.fire, 1);
  // Beyond the missile's range: nothing.
  plane->aimWord = 0;
  enemy->SetObjectPosition(0, 1000, 1600);
  EXPECT_EQ(units::PlanPlaneControls(world, *plane, false).weapon.fire, 0);
}

// A plane cruising low finds the ground with its probe: the goal turns up, the temporary skill is 10, the throttle backs off above 1.2, and
// the skill wears off one a step. The LEVEL is the plane's own again after
// every flight step.
TEST_F(AircraftTest, AnObstacleTurnsTheGoalAsideAndTheTemporarySkillWearsOff) {
  AddGround();
  Unit* plane = Plane({0, 20, 0}, 5, 0);  // cruise, 20 above the ground
  plane->duckFlag = 0;
  plane->defensiveFlag = 0;
  units::BehaviourInt(*plane, 8) = 1000;
  plane->velocity = {0, 0, 1.3f};
  units::UnitAge(*plane) = 48 + plane->unitId % 16;  // past the straight start
  StepPlane(*plane);
  EXPECT_EQ(plane->planeWord, 10);
  EXPECT_EQ(plane->level, 5);
  EXPECT_GT(plane->steeringPoint.y, 20.0f);  // turned up, away from the ground
  EXPECT_TRUE(Finite(plane->steeringPoint));
  for (int i = 9; i >= 0; i--) {
    StepPlane(*plane);
    EXPECT_EQ(plane->planeWord, i);
  }
  StepPlane(*plane);
  EXPECT_EQ(plane->planeWord, 0);
}

// A target at the unit's own position, a type without POWER or MOBILITY:
// every step of either aircraft stays finite.
TEST_F(AircraftTest, DegenerateTypesAndTargetsStayFinite) {
  for (UnitType* type : {&planeType, &vtolType}) {
    type->power = 0;
    type->mobility = {0, 0, 0};
    type->stability = 0;
    type->gunType = &gunType;
    type->gunPos[0] = {0, 0, 0};
    type->gunCycle = 1;
  }
  for (int32_t state : {0, 1, 3, 5, 6, 7, 10, 103, 210}) {
    SCOPED_TRACE(state);
    Unit* plane = Plane({0, 100, 0}, 3, state);
    Unit* vtol = Put(vtolType, "A", {0, 100, 0});
    Unit* enemy = Enemy({0, 100, 0});
    plane->target = vtol->target = enemy;
    plane->home = {0, 100, 0};
    plane->steeringPoint = vtol->steeringPoint = {0, 100, 0};
    for (int i = 0; i < 100; i++) {
      StepPlane(*plane);
      StepVtol(*vtol);
      const PlaneControls c = units::PlanPlaneControls(world, *plane, i % 2 == 0);
      ASSERT_TRUE(std::isfinite(c.roll) && std::isfinite(c.pitch) && std::isfinite(c.throttle));
      ASSERT_TRUE(Finite(plane->steeringPoint) && Finite(plane->GetObjectPosition()) && Finite(plane->velocity));
      ASSERT_TRUE(Finite(vtol->steeringPoint) && Finite(vtol->GetObjectPosition()) && Finite(vtol->velocity));
      ASSERT_TRUE(Finite(vtol->GetObjectAngles()));
    }
    ExpectNear(vtol->GetObjectPosition(), {0, 100, 0}, 0);  // no POWER: it stays
    world::ReleaseMatchingUnits(world, plane);
    world::ReleaseMatchingUnits(world, vtol);
    world::ReleaseUnit(world, enemy);
  }
}

// ---------------------------------------------------------------------------
// PLANE: special states
// ---------------------------------------------------------------------------

// Vertical take-off climbs at 0.5 + age / 600 (at most 1) and turns into
// state 2 in the step its height passes 600.
TEST_F(AircraftTest, AVerticalTakeOffBecomesState2Above600) {
  Unit* plane = Plane({0, 590, 0}, 5, 110);
  for (int step = 0; step < 100 && plane->state == 110; step++) {
    const float before = plane->GetObjectPosition().y;
    const float speed = std::min(float(step) / 600.0f + 0.5f, 1.0f);
    StepPlane(*plane);
    EXPECT_NEAR(Length(plane->velocity), speed, 1e-5f);
    EXPECT_GT(plane->GetObjectPosition().y, before);
    EXPECT_EQ(plane->state == 2, plane->GetObjectPosition().y > 600.0f);
  }
  EXPECT_EQ(plane->state, 2);
  EXPECT_LT(plane->GetObjectPosition().y, 601.0f);
}

// Launch: home over the launch point (words 3 and 4, z negated) at the
// unit's height, no longer defensive, moving by its own velocity; after 60
// steps it flies straight (state 10).
TEST_F(AircraftTest, ALaunchMovesByItsVelocityThenFliesStraight) {
  Unit* plane = Plane({0, 50, 0}, 5, 102);
  plane->velocity = {0, 0, 2};
  units::BehaviourInt(*plane, 2) = 300;
  units::BehaviourInt(*plane, 3) = 400;
  for (int i = 0; i < 60; i++) StepPlane(*plane);
  EXPECT_EQ(plane->state, 102);
  ExpectNear(plane->GetObjectPosition(), {0, 50, 120});
  ExpectNear(plane->home, {300, 50, -400});
  EXPECT_EQ(plane->defensiveFlag, 0);
  StepPlane(*plane);
  EXPECT_EQ(plane->state, 10);
  // Without a launch point home is over the origin.
  Unit* other = Plane({20, 70, 30}, 5, 102);
  StepPlane(*other);
  ExpectNear(other->home, {0, 70, 0});
}

// Parked: stopped, nothing decided. A plane another peer simulates decides
// nothing either: it carries on with what it received.
TEST_F(AircraftTest, ParkedAndRemotePlanesDecideNothing) {
  for (bool remote : {false, true}) {
    SCOPED_TRACE(remote);
    Unit* plane = Plane({0, 100, 0}, 12, remote ? 1 : 30);
    if (remote) plane->flags |= units::kUnitRemote;
    plane->velocity = {0, 0, 1};
    plane->steeringPoint = {1, 2, 3};
    units::BehaviourInt(*plane, 8) = 0;
    PlaneAt(*plane, 500);
    ExpectNear(plane->steeringPoint, {1, 2, 3});
    EXPECT_EQ(plane->pendingFlag, 0);
    if (!remote) ExpectNear(plane->velocity, {0, 0, 0});
  }
}

// The wreck: hidden, one point light at its first step, its weapon children
// and the units it owns released after 300 steps, itself after 3600.
TEST_F(AircraftTest, AWreckLetsItsChildrenGoAfter300AndItselfAfter3600) {
  planeType.payload[0] = 10;
  planeType.weaponPos[0][0] = {1, 0, 0};
  planeType.weaponTypes[0] = &missileType;
  Unit* plane = Plane({0, 0, 0}, 5, 0);
  Unit* child = plane->weaponChildren[0][0];
  ASSERT_NE(child, nullptr);
  Unit* owned = Spawn(propType, plane, {50, 0, 0}, {0, 0, 1});
  ASSERT_NE(owned, nullptr);
  Unit* bystander = Put(propType, "C", {80, 0, 0});
  units::SetUnitState(*plane, units::kUnitStateFinal, 0);

  Step();
  EXPECT_EQ(plane->IsObjectShown(), 0);
  EXPECT_EQ(world.spotLights.lifetime[0], 120);
  for (int i = 1; i < 300; i++) Step();
  EXPECT_EQ(units::UnitAge(*plane), 300);
  EXPECT_NE(child->unitId, 0);
  EXPECT_NE(owned->unitId, 0);
  Step();  // age 300
  EXPECT_EQ(plane->weaponChildren[0][0], nullptr);
  EXPECT_EQ(child->unitId, 0);
  EXPECT_EQ(owned->unitId, 0);
  EXPECT_NE(plane->unitId, 0);
  for (int i = 301; i < 3600; i++) Step();
  EXPECT_NE(plane->unitId, 0);
  Step();  // age 3600
  EXPECT_EQ(plane->unitId, 0);
  EXPECT_EQ(plane->type, nullptr);
  EXPECT_NE(bystander->unitId, 0);
}

// ---------------------------------------------------------------------------
// VTOL
// ---------------------------------------------------------------------------

// With a target in state 0 the VTOL steers for 20 above the lead point
// (target position + velocity x distance / 5), re-aimed every 16 steps,
// and closes on it, kept level.
TEST_F(AircraftTest, AVtolHeadsFor20AboveTheLeadPoint) {
  Unit* vtol = Vtol({0, 0, 0});
  Unit* enemy = Enemy({0, 100, 500});
  enemy->velocity = {1, 0, 0};
  vtol->target = enemy;
  const float d = std::hypot(100.0f, 500.0f);
  StepVtol(*vtol);
  const Vec3 goal{d / 5, 120, 500};
  ExpectNear(vtol->steeringPoint, goal);
  // The lead shrinks as the distance does: the goal slides toward the
  // target's path while the VTOL closes in.
  const float start = Distance(vtol->GetObjectPosition(), goal);
  float nearest = start;
  for (int i = 0; i < 900; i++) {
    StepVtol(*vtol);
    ASSERT_TRUE(Finite(vtol->GetObjectPosition()));
    const Vec3 p = vtol->GetObjectPosition();
    const float lead = Distance(p, enemy->GetObjectPosition()) / 5;
    ExpectNear(vtol->steeringPoint, {lead, 120, 500}, 60.0f);
    nearest = std::min(nearest, Distance(p, vtol->steeringPoint));
  }
  // It overshoots (height weighs tenfold, momentum carries it) but passes
  // close.
  EXPECT_LT(nearest, start / 4);
  EXPECT_NEAR(vtol->GetObjectAngles().x, 0, 1e-6f);  // kept level
}

// Speed changes stay within + POWER / 240 and - POWER / 120 a step (drag
// may take a little more at high speed), never below 0; a VTOL without
// POWER at rest stays put and one on the move only slows down.
TEST_F(AircraftTest, AVtolsSpeedChangesWithinItsPowerAndNeverGoesNegative) {
  Unit* enemy = Enemy({0, 50, 400});
  struct Case {
    float power;
    Vec3 velocity;
  };
  for (Case c : {Case{6, {0, 0, 0}}, Case{6, {0, 0, -3}}, Case{6, {3, 0, 0}}, Case{0, {0, 0, 0}}, Case{0, {0, 0, 1}}}) {
    SCOPED_TRACE(testing::Message() << c.power << " " << c.velocity.z);
    vtolType.power = c.power;
    Unit* vtol = Vtol({0, 0, 0});
    vtol->target = enemy;
    vtol->velocity = c.velocity;
    float speed = Length(c.velocity);
    for (int i = 0; i < 400; i++) {
      StepVtol(*vtol);
      const float now = Length(vtol->velocity);
      ASSERT_TRUE(std::isfinite(now));
      EXPECT_LE(now, speed + c.power / 240 + 1e-5f);
      EXPECT_GE(now, speed - std::max(c.power / 120, speed / 600) - 1e-5f);
      if (c.power == 0) {
        EXPECT_LE(now, speed);
      }
      speed = now;
    }
    // Drag alone: (599 / 600)^400 is about 0.51.
    if (c.power == 0) {
      EXPECT_LE(speed, 0.52f * Length(c.velocity));
    }
    if (c.power == 0 && Length(c.velocity) == 0) ExpectNear(vtol->GetObjectPosition(), {0, 0, 0}, 0);
    world::ReleaseUnit(world, vtol);
  }
}

// Take-off: from the ground, with its goal high above, the VTOL rises.
TEST_F(AircraftTest, AVtolTakesOffTowardAGoalAboveIt) {
  AddGround();
  Unit* vtol = Vtol({0, 1, 0});
  Unit* enemy = Enemy({0, 300, 200});
  vtol->target = enemy;
  float height = 1;
  for (int i = 0; i < 300; i++) {
    StepVtol(*vtol);
    EXPECT_GE(vtol->GetObjectPosition().y, height);
    height = vtol->GetObjectPosition().y;
  }
  EXPECT_GT(height, 60.0f);
}

// A target diving low puts its lead point under the ground: the goal stays
// 20 above the ground, and a VTOL heading down never passes into it.
TEST_F(AircraftTest, AVtolChasingADivingTargetStaysAboveTheGround) {
  AddGround();
  Unit* vtol = Vtol({0, 60, 0});
  Unit* enemy = Enemy({0, 40, 300});
  enemy->velocity = {0, -3, 0};  // lead point far below the ground
  vtol->target = enemy;
  vtol->velocity = {0, -2, 0};
  float lowest = 60;
  for (int i = 0; i < 600; i++) {
    enemy->SetObjectPosition(0, 40, 300);
    StepVtol(*vtol);
    lowest = std::min(lowest, vtol->GetObjectPosition().y);
    if (i % 16 == 0) {
      EXPECT_GE(vtol->steeringPoint.y, 20.0f - 1e-3f) << i;
    }
  }
  EXPECT_GE(lowest, 0.0f);
}

// An obstacle on the way turns the steering point aside from the VTOL's
// own position (not from the origin): low over the ground, the probe down
// and ahead finds it and the point moves up and on.
TEST_F(AircraftTest, AVtolsProbeTurnsItsSteeringPointAsideFromWhereItIs) {
  AddGround();
  Unit* vtol = Vtol({1000, 5, 1000});
  Unit* enemy = Enemy({1000, 1, 1400});
  vtol->target = enemy;
  StepVtol(*vtol);
  const Vec3 s = vtol->steeringPoint;
  EXPECT_TRUE(Finite(s));
  EXPECT_NEAR(s.x, 1000, 1.0f);
  EXPECT_GT(s.y, 21.0f);
  EXPECT_GT(s.z, 1000.0f);
}

// Landing: state 800 with a landing rate follows its path down to the end.
TEST_F(AircraftTest, AVtolLandsAlongItsPath) {
  std::vector<std::unique_ptr<PathPoint>> path;
  for (int i = 0; i < 5; i++) {
    path.push_back(std::make_unique<PathPoint>());
    path.back()->SetObjectPosition(0, 100 - 25.0f * i, 50.0f * i);
    path.back()->onCurve = i % 2;
    if (i > 0) {
      path[size_t(i - 1)]->next = path.back().get();
      path.back()->prev = path[size_t(i - 1)].get();
    }
  }
  Unit* vtol = Vtol({0, 100, 0});
  vtol->path = path[0].get();
  vtol->velocity = {0, 0, 1};
  vtol->landingRate = 0.5f;
  units::SetUnitState(*vtol, units::kUnitStateFollowPath, 0);
  float height = 100;
  for (int i = 0; i < 300; i++) {
    StepVtol(*vtol);
    EXPECT_LE(vtol->GetObjectPosition().y, height + 1e-4f);
    height = vtol->GetObjectPosition().y;
  }
  ExpectNear(vtol->GetObjectPosition(), {0, 0, 200}, 0.01f);
  vtol->path = nullptr;
  for (auto& p : path) p->next = p->prev = nullptr;
}

// Guns fire on the firing cycle toward the lead point, clamped into the
// scope of the target's class; missiles only within that scope, locked on
// for the launch, then reloading (12 - LEVEL) x 50 steps and the slot
// filled again.
TEST_F(AircraftTest, AVtolFiresOnlyWithinItsScope) {
  vtolType.gunType = &gunType;
  vtolType.gunPos[0] = {0, 0, 0};
  vtolType.gunCycle = 1;
  vtolType.range[0] = 1000;
  vtolType.weaponScope[0] = {0.5f, -0.5f, 0.3f, -0.3f};  // left, right, top, bottom
  vtolType.payload[0] = 10;
  vtolType.weaponPos[0][0] = {0, -1, 0};
  vtolType.weaponTypes[0] = &missileType;
  Unit* enemy = Enemy({0, 0, 0});

  struct Case {
    const char* what;
    Vec3 target;
    Vec3 shotDirection;
    bool missile;
  };
  const Case cases[] = {
      {"ahead", {0, 0, 300}, {0, 0, 1}, true},
      {"right, beyond the yaw scope", {300, 0, 300}, {0.4794255f, 0, 0.8775826f}, false},
      {"above, beyond the pitch scope", {0, 400, 300}, {0, 0.2955202f, 0.9553365f}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Unit* vtol = Vtol({0, 0, 0});
    vtol->level = 2;
    vtol->target = enemy;
    enemy->SetObjectPosition(c.target.x, c.target.y, c.target.z);
    Unit* child = vtol->weaponChildren[0][0];
    ASSERT_NE(child, nullptr);
    units::SetUnitState(*child, units::kUnitStateReady, 0);
    StepVtol(*vtol);

    std::vector<Unit*> shots = UnitsOf(gunType);
    ASSERT_EQ(shots.size(), 1u);
    const Vec3 v = shots[0]->velocity;
    ExpectNear({v.x / 5, v.y / 5, v.z / 5}, c.shotDirection);
    world::ReleaseUnit(world, shots[0]);

    EXPECT_EQ(vtol->lockWord, 0);
    if (c.missile) {
      EXPECT_EQ(child->parent, nullptr);
      EXPECT_EQ(child->pendingState, units::kUnitStateLaunched);
      EXPECT_EQ(child->target, enemy);
      EXPECT_EQ(units::BehaviourInt(*vtol, 8), 499);
      EXPECT_NE(vtol->weaponChildren[0][0], nullptr);  // filled again
      EXPECT_NE(vtol->weaponChildren[0][0], child);
      world::ReleaseUnit(world, child);
    } else {
      EXPECT_EQ(vtol->weaponChildren[0][0], child);
      EXPECT_EQ(units::BehaviourInt(*vtol, 8), 0);
    }
    world::ReleaseMatchingUnits(world, vtol);
  }
}

// A reload count a script set below 0 counts as run out; a LEVEL above 12
// gives no reload at all rather than a count that never runs out.
TEST_F(AircraftTest, AVtolsReloadBelowZeroIsReady) {
  vtolType.range[0] = 1000;
  vtolType.payload[0] = 10;
  vtolType.weaponPos[0][0] = {0, -1, 0};
  vtolType.weaponTypes[0] = &missileType;
  Unit* enemy = Enemy({0, 0, 300});
  Unit* vtol = Vtol({0, 0, 0});
  vtol->level = 14;
  vtol->target = enemy;
  for (int shot = 0; shot < 3; shot++) {
    SCOPED_TRACE(shot);
    Unit* child = vtol->weaponChildren[0][0];
    ASSERT_NE(child, nullptr);
    units::SetUnitState(*child, units::kUnitStateReady, 0);
    StepVtol(*vtol);
    EXPECT_EQ(child->parent, nullptr);
    EXPECT_LE(units::BehaviourInt(*vtol, 8), 0);
  }
}

}  // namespace
