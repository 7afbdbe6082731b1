// units_ground_test.cpp -- the ground, sea and fixed behaviours: gun, laser
// and launcher mountings, tracking, line of fire, ships stopping and
// sinking, debris, vehicles on and above the ground, the toy box, effects
// and runways.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "units/units_flight.h"
#include "units_weapon_fixture.h"
#include "world/world_environment.h"
#include "world/world_map.h"

namespace {

using unittest::WeaponWorld;
using units::Unit;
using units::UnitType;
using units::Vec3;

constexpr float kDeg = 0.017453292f;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
float Length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
Vec3 Normal(const Vec3& v) {
  float l = Length(v);
  return {v.x / l, v.y / l, v.z / l};
}
float AngleBetween(const Vec3& a, const Vec3& b) {
  float c = (a.x * b.x + a.y * b.y + a.z * b.z) / (Length(a) * Length(b));
  return std::acos(std::fmax(-1.0f, std::fmin(1.0f, c)));
}

class GroundTest : public WeaponWorld {
 protected:
  UnitType& targetType = AddType("TARGET", units::kTypeObject);
  UnitType& shotType = AddType("SHOT", units::kTypeGun);
  UnitType& beamType = AddType("BEAM", units::kTypeLaser);
  UnitType& missileType = AddType("MSL", units::kTypeMissile);
  UnitType& mountType = AddType("MOUNT", units::kTypeAaGunFree);

  void SetUp() override {
    targetType.defense = 100;
    shotType.attributes = units::kAttrWeapon;
    shotType.speed = 10;
    shotType.range[0] = 5000;
    beamType.attributes = units::kAttrWeapon;
    beamType.range[0] = 5000;
    missileType.attributes = units::kAttrWeapon;
    missileType.reloadTime = 1;
    missileType.speed = 6;
    missileType.power = 10;
    missileType.range[0] = 5000;
    // A turret turning at most 90 degrees a second each way, braking well.
    mountType.defense = 100;
    mountType.stability = 10;
    mountType.mobility = {90 * kDeg, 90 * kDeg, 0};
    mountType.gunType = &shotType;
    mountType.gunCycle = 1;
    mountType.range[0] = 2000;
    mountType.gunPos[0] = {0, 0, 0};
    for (int b = 1; b < 4; b++) mountType.gunPos[b] = {units::kUndefinedPoint, 0, 0};
  }

  // A mounting of `kind` at the origin facing +z, aiming at `target` (held
  // locked so the automatic targeting keeps it).
  Unit* PutMount(int32_t kind, Unit* target) {
    mountType.typeValue = kind;
    Unit* m = Put(mountType, "A", {0, 0, 0});
    if (m) {
      m->target = target;
      m->lockWord = 1;
    }
    return m;
  }

  // Runs the unit's own update n times (its shots are left where they are
  // made, so they can be counted).
  void Run(Unit& unit, int n) {
    for (int i = 0; i < n; i++) units::UpdateUnit(world, unit);
  }

  // One map of box objects: `master` the definitions, `placements` the
  // placed objects.
  void LoadMap(const std::string& master, const std::string& placements) {
    ASSERT_EQ(world::LoadMapMaster(world, Compile(master)), 1);
    ASSERT_EQ(world::ReadMapPlacements(world, Compile(placements), 0), 1);
  }
  // A broad wall across the z axis at z = 250.
  void AddWall() {
    LoadMap(R"({WALL_A:{MODEL_FILE:"box.x",SCALE:{x:1000,y:1000,z:1}}})", R"([{ID:"WALL_A",POS:{x:0,y:0,z:250}}])");
  }
};

// [SECTION] Guns, lasers, launchers

// Each mounting turns only the axes it owns toward a target up and to the
// left; a FIXED gun placed at a yaw keeps it and fires along it.
TEST_F(GroundTest, EachMountingTurnsOnlyItsOwnAxes) {
  struct Case {
    int32_t offset;
    bool pitches, yaws;
  };
  const Case cases[] = {{0, false, false}, {1, false, true}, {2, true, false}, {3, true, true}, {4, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    Unit* target = Put(targetType, "B", {-300, 200, 400});
    Unit* gun = PutMount(units::kTypeAaGunFixed + c.offset, target);
    ASSERT_NE(gun, nullptr);
    gun->SetObjectAngles(0.1f, 0.3f, 0);
    Run(*gun, 120);
    Vec3 a = gun->GetObjectAngles();
    if (c.pitches)
      EXPECT_GT(a.x, 0.3f);
    else
      EXPECT_FLOAT_EQ(a.x, 0.1f);
    if (c.yaws)
      EXPECT_GT(a.y, 0.5f);
    else
      EXPECT_FLOAT_EQ(a.y, 0.3f);
    EXPECT_FLOAT_EQ(a.z, 0.0f);
    if (c.offset == 0) {
      // Fires every step, each shot along the gun's own axis.
      std::vector<Unit*> shots = UnitsOf(shotType);
      EXPECT_EQ(shots.size(), 120u);
      Vec3 front = gun->GetObjectWorldFront();
      for (Unit* s : shots) EXPECT_LT(AngleBetween(s->velocity, front), 1e-4f);
    }
    for (Unit* s : UnitsOf(shotType)) world::ReleaseUnit(world, s);
    world::ReleaseUnit(world, gun);
    world::ReleaseUnit(world, target);
  }
}

// A turret tracks a target crossing its field from left to right: once it
// has caught up its front stays on the target while the target moves on.
TEST_F(GroundTest, ATurretTracksATargetCrossingItsField) {
  for (int32_t kind : {int32_t(units::kTypeAaGunFixed + 1), int32_t(units::kTypeAaGunFree), int32_t(units::kTypeAaLaserFree)}) {
    SCOPED_TRACE(kind);
    if (kind == units::kTypeAaLaserFree) mountType.gunType = &beamType;
    Unit* target = Put(targetType, "B", {-300, 0, 300});
    target->velocity = {1, 0, 0};
    Unit* gun = PutMount(kind, target);
    ASSERT_NE(gun, nullptr);
    float worst = 0;
    for (int i = 0; i < 600; i++) {
      Vec3 p = target->GetObjectPosition();
      target->SetObjectPosition(p.x + 1, p.y, p.z);
      units::UpdateUnit(world, *gun);
      if (i >= 150) {
        Vec3 to = Normal(target->GetObjectWorldPosition());
        worst = std::fmax(worst, AngleBetween(gun->GetObjectWorldFront(), to));
      }
    }
    // From 45 degrees left to 45 degrees right; the lead of a LEVEL 1 gun
    // is about a degree.
    EXPECT_LT(worst, 0.05f);
    EXPECT_LT(gun->GetObjectAngles().y, -0.7f);
    EXPECT_TRUE(Finite(gun->moment));
    for (Unit* s : UnitsOf(shotType)) world::ReleaseUnit(world, s);
    for (Unit* s : UnitsOf(beamType)) world::ReleaseUnit(world, s);
    world::ReleaseUnit(world, gun);
    world::ReleaseUnit(world, target);
  }
}

// A gun needs a clear line to its aim point: behind a wall it turns toward
// the target but holds its fire. A laser fires through. Out of range, with
// the gun stopped or without a target nothing fires.
TEST_F(GroundTest, FireNeedsRangeALineOfFireAndAnOpenGun) {
  AddWall();
  struct Case {
    const char* name;
    int32_t kind;
    Vec3 at;
    int range;
    int gunStop;
    bool fires;
  };
  const Case cases[] = {
      {"gun behind the wall", units::kTypeAaGunFree, {100, 50, 500}, 2000, 0, false},
      {"gun in the open", units::kTypeAaGunFree, {100, 50, 200}, 2000, 0, true},
      {"laser behind the wall", units::kTypeAaLaserFree, {100, 50, 500}, 2000, 0, true},
      {"out of range", units::kTypeAaGunFree, {100, 50, 200}, 100, 0, false},
      {"gun stopped", units::kTypeAaGunFree, {100, 50, 200}, 2000, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    mountType.gunType = c.kind == units::kTypeAaLaserFree ? &beamType : &shotType;
    mountType.range[0] = c.range;
    Unit* target = Put(targetType, "B", c.at);
    Unit* gun = PutMount(c.kind, target);
    ASSERT_NE(gun, nullptr);
    gun->gunStop = uint8_t(c.gunStop);
    Run(*gun, 60);
    size_t fired = UnitsOf(shotType).size() + UnitsOf(beamType).size();
    EXPECT_EQ(fired > 0, c.fires);
    EXPECT_LT(gun->GetObjectAngles().y, -0.1f);  // turned toward +x all the same
    EXPECT_GT(gun->GetObjectAngles().x, 0.05f);
    for (Unit* s : UnitsOf(shotType)) world::ReleaseUnit(world, s);
    for (Unit* s : UnitsOf(beamType)) world::ReleaseUnit(world, s);
    world::ReleaseUnit(world, gun);
    world::ReleaseUnit(world, target);
  }
}

// The units' segment test blocks the fire with a LARGE unit in the way;
// the target itself (the aim point lies on it) does not.
TEST_F(GroundTest, ALargeUnitInTheWayBlocksTheFireButTheTargetDoesNot) {
  targetType.attributes = units::kAttrLarge;
  shotType.speed = 100;  // little drop: the aim point lies within the target's box
  struct Case {
    const char* name;
    bool blocker;
    bool fires;
  };
  for (const Case& c : {Case{"clear", false, true}, Case{"blocked", true, false}}) {
    SCOPED_TRACE(c.name);
    Unit* target = Put(targetType, "B", {0, 0, 300});
    Unit* blocker = c.blocker ? Put(targetType, "C", {0, 0, 150}) : nullptr;
    Unit* gun = PutMount(units::kTypeAaGunFixed, target);
    ASSERT_NE(gun, nullptr);
    Run(*gun, 10);
    EXPECT_EQ(!UnitsOf(shotType).empty(), c.fires);
    for (Unit* s : UnitsOf(shotType)) world::ReleaseUnit(world, s);
    world::ReleaseUnit(world, gun);
    world::ReleaseUnit(world, target);
    if (blocker) world::ReleaseUnit(world, blocker);
  }
}

// Cases that once divided by zero: a shot type of SPEED 0 (no drop: the gun
// still turns to its target), a gun cycle of 0 (never fires), a target right
// on the gun.
TEST_F(GroundTest, AZeroShotSpeedCycleOrDistanceStaysFinite) {
  struct Case {
    const char* name;
    float shotSpeed;
    int cycle;
    Vec3 at;
    bool fires;
    bool turns;
  };
  const Case cases[] = {
      {"shot speed 0", 0, 1, {100, 20, 300}, true, true},
      {"cycle 0", 10, 0, {100, 20, 300}, false, true},
      {"target on the gun", 10, 1, {0, 0, 0}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shotType.speed = c.shotSpeed;
    mountType.gunCycle = c.cycle;
    Unit* target = Put(targetType, "B", c.at);
    target->velocity = {0.5f, 0, 0};
    Unit* gun = PutMount(units::kTypeAaGunFree, target);
    ASSERT_NE(gun, nullptr);
    for (int i = 0; i < 30; i++) {
      units::UpdateUnit(world, *gun);
      ASSERT_TRUE(Finite(gun->moment));
      ASSERT_TRUE(Finite(gun->GetObjectAngles()));
    }
    EXPECT_EQ(!UnitsOf(shotType).empty(), c.fires);
    EXPECT_EQ(gun->GetObjectAngles().y < -0.1f, c.turns);
    for (Unit* s : UnitsOf(shotType)) {
      EXPECT_TRUE(Finite(s->velocity));
      world::ReleaseUnit(world, s);
    }
    world::ReleaseUnit(world, gun);
    world::ReleaseUnit(world, target);
  }
}

// The gun cycle spreads the fire over its steps by unit id.
TEST_F(GroundTest, TheGunCycleFiresOnceACycle) {
  mountType.gunCycle = 10;
  Unit* target = Put(targetType, "B", {0, 0, 300});
  Unit* gun = PutMount(units::kTypeAaGunFixed, target);
  ASSERT_NE(gun, nullptr);
  Run(*gun, 100);
  EXPECT_EQ(UnitsOf(shotType).size(), 10u);
}

// Idle mountings: a BRANCH part on a dead parent stands still, a destroyed
// one smokes and stops sliding sideways, a laser left in state 1 returns
// to state 0 after 90 steps (a gun does not).
TEST_F(GroundTest, IdleMountings) {
  Unit* target = Put(targetType, "B", {-300, 0, 300});
  {
    mountType.attributes = units::kAttrBranch;
    Unit* carrier = Put(targetType, "A", {0, 0, 0});
    Unit* gun = PutMount(units::kTypeAaGunFree, target);
    units::SetUnitParent(*gun, carrier);
    carrier->hp = 0;
    gun->velocity = {1, 0, 0};
    Run(*gun, 30);
    EXPECT_FLOAT_EQ(gun->GetObjectAngles().y, 0.0f);
    EXPECT_FLOAT_EQ(gun->GetObjectPosition().x, 0.0f);
    carrier->hp = 100;
    Run(*gun, 30);
    EXPECT_GT(gun->GetObjectAngles().y, 0.1f);
    mountType.attributes = 0;
    for (Unit* s : UnitsOf(shotType)) world::ReleaseUnit(world, s);
  }
  {
    Unit* gun = PutMount(units::kTypeAaGunFree, target);
    units::SetUnitState(*gun, units::kUnitStateDestroyed, 0);
    gun->velocity = {1, -1, 1};
    Run(*gun, 5);
    EXPECT_FLOAT_EQ(gun->velocity.x, 0.0f);
    EXPECT_FLOAT_EQ(gun->velocity.z, 0.0f);
    EXPECT_FLOAT_EQ(gun->GetObjectPosition().y, -5.0f);
    EXPECT_TRUE(UnitsOf(shotType).empty());
  }
  for (int32_t kind : {int32_t(units::kTypeAaLaserFixed + 1), int32_t(units::kTypeAaGunFixed + 1)}) {
    SCOPED_TRACE(kind);
    Unit* m = PutMount(kind, target);
    units::SetUnitState(*m, units::kUnitStateReady, 0);
    Run(*m, 90);
    EXPECT_EQ(m->state, units::kUnitStateReady);
    Run(*m, 1);
    EXPECT_EQ(m->state, kind == (units::kTypeAaLaserFixed + 1) ? units::kUnitStateIdle : units::kUnitStateReady);
  }
}

class LauncherTest : public GroundTest {
 protected:
  void SetUp() override {
    GroundTest::SetUp();
    mountType.gunType = nullptr;
    mountType.payload[0] = 10;
    mountType.weaponTypes[0] = &missileType;
    mountType.weaponPos[0][0] = {0, 1, 0};
    for (int i = 1; i < 4; i++) mountType.weaponPos[0][i] = {units::kUndefinedPoint, 0, 0};
    mountType.weaponCycle[0] = 50;
    mountType.range[0] = 2000;
    // Scope of class 0: 30 degrees either side, level to 60 up.
    mountType.weaponScope[0] = {30 * kDeg, -30 * kDeg, 60 * kDeg, 0};
  }

  // The launched missiles: those off the rail.
  std::vector<Unit*> Launched() {
    std::vector<Unit*> out;
    for (Unit* m : UnitsOf(missileType))
      if (!m->parent) out.push_back(m);
    return out;
  }
};

// A launcher fires when the target lies within its scope, then waits
// WEAPON_CYCLE steps before the next; the missile is handed the target and
// leaves at speed 1 along its own axis.
TEST_F(LauncherTest, FiresWithinScopeAndReloadsByTheWeaponCycle) {
  struct Case {
    const char* name;
    int32_t kind;
    Vec3 at;
    int launches;  // in 120 steps
  };
  const Case cases[] = {
      {"ahead, fixed", units::kTypeAaMissileFixed, {0, 100, 400}, 3},
      {"behind, fixed", units::kTypeAaMissileFixed, {0, 100, -400}, 0},
      {"below the scope, free", units::kTypeAaMissileFree, {0, -300, 300}, 0},
      {"out of range", units::kTypeAaMissileFixed, {0, 100, 2400}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Unit* target = Put(targetType, "B", c.at);
    Unit* launcher = PutMount(c.kind, target);
    ASSERT_NE(launcher, nullptr);
    // Launches on steps 2, 52 and 102: the first missile loads in a step.
    std::vector<int> launchSteps;
    for (int i = 1; i <= 120; i++) {
      for (Unit* m : UnitsOf(missileType))
        if (!m->GetObjectModel()) m->SetObjectModel(&box);  // the rail's missiles show
      Step();
      for (Unit* m : Launched()) {
        launchSteps.push_back(i);
        EXPECT_EQ(m->target, target);
        EXPECT_NEAR(Length(m->velocity), 1.0f, 1e-5f);
        EXPECT_EQ(units::BehaviourInt(*launcher, 11), 49);  // counted down once already
        world::ReleaseUnit(world, m);                       // out of the way
      }
    }
    EXPECT_EQ(int(launchSteps.size()), c.launches);
    for (size_t k = 1; k < launchSteps.size(); k++) EXPECT_EQ(launchSteps[k] - launchSteps[k - 1], 50);
    for (Unit* m : UnitsOf(missileType)) world::ReleaseUnit(world, m);
    world::ReleaseMatchingUnits(world, launcher);
    world::ReleaseUnit(world, target);
  }
}

// [SECTION] Ships

// A ship left in state 0 stops by itself after 7000 steps, then slows by
// 5 % a step; state 30 keeps its speed.
TEST_F(GroundTest, AShipLeftAloneStopsAfter7000Steps) {
  UnitType& shipType = AddType("SHIP", units::kTypeShip);
  shipType.defense = 100;
  Unit* ship = Put(shipType, "A", {0, 0, 0});
  ship->velocity = {0, 0, 0.01f};
  Run(*ship, 7000);
  EXPECT_EQ(ship->state, units::kUnitStateIdle);
  EXPECT_FLOAT_EQ(ship->velocity.z, 0.01f);
  Run(*ship, 1);
  EXPECT_EQ(ship->state, units::kUnitStateReady);
  float z = ship->GetObjectPosition().z;
  Run(*ship, 1);
  EXPECT_FLOAT_EQ(ship->velocity.z, 0.01f * 0.95f);
  EXPECT_FLOAT_EQ(ship->GetObjectPosition().z, z + 0.01f * 0.95f);
  Run(*ship, 1);
  EXPECT_FLOAT_EQ(ship->velocity.z, 0.01f * 0.95f * 0.95f);

  units::SetUnitState(*ship, 30, 0);
  ship->velocity = {0, 0, 2};
  Run(*ship, 10);
  EXPECT_FLOAT_EQ(ship->velocity.z, 2.0f);
}

// A sinking ship holds still for 120 steps, then goes down ever faster and
// heels over; after 1200 steps it is gone with what it carries. A ship of no
// size sinks in place without a NaN.
TEST_F(GroundTest, ASinkingShipStartsAt120StepsAndIsGoneAfter1200) {
  UnitType& shipType = AddType("SHIP", units::kTypeShip);
  shipType.defense = 100;
  Unit* ship = Put(shipType, "A", {0, 0, 0});
  Unit* turret = Put(targetType, "A", {0, 1, 0});
  units::SetUnitParent(*turret, ship);
  units::SetUnitState(*ship, units::kUnitStateDestroyed, 0);
  float radius = ship->GetObjectRadius();
  ASSERT_GT(radius, 0.0f);
  Run(*ship, 121);  // ages 0..120: a = 0
  EXPECT_FLOAT_EQ(ship->GetObjectPosition().y, 0.0f);
  EXPECT_FLOAT_EQ(ship->GetObjectAngles().x, 0.0f);
  Run(*ship, 1);  // age 121
  float a = 1.0f / 2400.0f;
  EXPECT_FLOAT_EQ(ship->velocity.y, -(radius * a) / 60);
  EXPECT_FLOAT_EQ(ship->GetObjectAngles().x, a / 40);
  EXPECT_FLOAT_EQ(ship->GetObjectAngles().z, a / 30);
  Run(*ship, 1200 - 122);  // ages 122..1199
  EXPECT_NE(ship->unitId, 0);
  EXPECT_LT(ship->GetObjectPosition().y, 0.0f);
  EXPECT_GT(ship->GetObjectAngles().z, ship->GetObjectAngles().x);
  Run(*ship, 1);  // age 1200
  EXPECT_EQ(ship->unitId, 0);
  EXPECT_EQ(turret->unitId, 0);

  Unit* tiny = Put(shipType, "A", {0, 0, 0});
  tiny->SetObjectScale(0, 0, 0);
  units::SetUnitState(*tiny, units::kUnitStateDestroyed, 500);
  Run(*tiny, 10);
  EXPECT_TRUE(Finite(tiny->velocity));
  EXPECT_TRUE(Finite(tiny->GetObjectPosition()));
}

// [SECTION] Debris, effects, runways

// Debris spins by its spin words plus one degree, drops by 0.005 a step and
// is gone after 480 steps with anything hanging on it.
TEST_F(GroundTest, DebrisSpinsFallsAndIsGoneAfter480Steps) {
  UnitType& dustType = AddType("DUST", units::kTypeDust);
  Unit* dust = Put(dustType, "", {0, 100, 0});
  Unit* spark = Put(targetType, "", {0, 0, 0});
  units::SetUnitParent(*spark, dust);
  units::BehaviourInt(*dust, 8) = 2;
  units::BehaviourInt(*dust, 9) = -2;
  units::BehaviourInt(*dust, 10) = -1;
  Run(*dust, 1);
  Vec3 a = dust->GetObjectAngles();
  EXPECT_FLOAT_EQ(a.x, 3 * kDeg);
  EXPECT_FLOAT_EQ(a.y, -1 * kDeg);
  EXPECT_FLOAT_EQ(a.z, -1 * kDeg);
  EXPECT_FLOAT_EQ(dust->velocity.y, -0.005f);
  EXPECT_FLOAT_EQ(dust->GetObjectPosition().y, 100 - 0.005f);
  Run(*dust, 479);
  EXPECT_NE(dust->unitId, 0);
  Run(*dust, 1);
  EXPECT_EQ(dust->unitId, 0);
  EXPECT_EQ(spark->unitId, 0);
}

// An effect ends with its owner's final states (above 980), not before.
TEST_F(GroundTest, AnEffectEndsWithItsOwner) {
  UnitType& effectType = AddType("FX", units::kTypeEffect);
  Unit* owner = Put(targetType, "A", {0, 0, 0});
  Unit* effect = Put(effectType, "", {0, 0, 0});
  units::SetUnitMaster(*effect, owner);
  units::SetUnitState(*owner, 980, 0);
  Run(*effect, 3);
  EXPECT_NE(effect->unitId, 0);
  units::SetUnitState(*owner, units::kUnitStateDestroyed, 0);
  Run(*effect, 1);
  EXPECT_EQ(effect->unitId, 0);
}

TEST_F(GroundTest, ARunwayShowsOnlyOutsideState0) {
  UnitType& runwayType = AddType("RUNWAY", units::kTypeRunway);
  Unit* runway = Put(runwayType, "", {0, 0, 0});
  Run(*runway, 1);
  EXPECT_EQ(runway->IsObjectShown(), 0);
  units::SetUnitState(*runway, 5, 0);
  Run(*runway, 1);
  EXPECT_EQ(runway->IsObjectShown(), 1);
}

// [SECTION] Vehicles

class VehicleTest : public GroundTest {
 protected:
  UnitType& vehicleType = AddType("TANK", units::kTypeVehicle);
  Unit* target = nullptr;

  void SetUp() override {
    GroundTest::SetUp();
    AddGround();  // top face at y = 0
    vehicleType.defense = 100;
    vehicleType.power = 1;
    vehicleType.stability = 10;
    vehicleType.mobility = {0, 30 * kDeg, 0};
    target = Put(targetType, "B", {0, 0, 3000});
  }

  Unit* PutVehicle(Vec3 at, Vec3 velocity) {
    Unit* v = Put(vehicleType, "A", at);
    if (v) {
      v->velocity = velocity;
      v->target = target;
      v->lockWord = 1;
    }
    return v;
  }
};

// On the ground the vertical velocity brings the gap back to 1 (standing
// on the ground) and the horizontal velocity is kept; in the air the
// horizontal velocity goes, and the fall grows by 9.8/3600 a step to -0.5.
TEST_F(VehicleTest, KeepsToTheGroundOrFallsOntoIt) {
  struct Case {
    const char* name;
    float y;
    float vy;    // after one step
    bool keepsX;
  };
  const Case cases[] = {
      {"standing", 0, 0, true},
      {"sunk by 0.3", -0.3f, 0.3f, true},
      {"0.5 up", 0.5f, -9.8f / 3600, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Unit* v = PutVehicle({0, c.y, 0}, {0.2f, 0, 0});
    Run(*v, 1);
    EXPECT_NEAR(v->velocity.y, c.vy, 1e-5f);
    EXPECT_FLOAT_EQ(v->velocity.x, c.keepsX ? 0.2f : 0.0f);
    world::ReleaseUnit(world, v);
  }

  // A vehicle driving along the ground stays on it and keeps its speed.
  Unit* v = PutVehicle({0, 0, 0}, {0.5f, 0, 0});
  Run(*v, 200);
  EXPECT_NEAR(v->GetObjectPosition().x, 100.0f, 0.01f);
  EXPECT_NEAR(v->GetObjectPosition().y, 0.0f, 0.01f);
  world::ReleaseUnit(world, v);

  // High above: the fall grows a step at a time up to -0.5.
  Unit* high = PutVehicle({0, 2000, 0}, {1, 0, 0});
  Run(*high, 2);
  EXPECT_FLOAT_EQ(high->velocity.y, -9.8f / 3600 - 9.8f / 3600);
  EXPECT_FLOAT_EQ(high->velocity.x, 0.0f);
  Run(*high, 200);
  EXPECT_FLOAT_EQ(high->velocity.y, -0.5f);
}

// A vehicle turns in yaw toward its target, its pitch held level, and
// without POWER, a target or in another state it neither steers nor falls.
TEST_F(VehicleTest, SteersInYawOnlyAndOnlyWithPowerAndATarget) {
  target->SetObjectPosition(-3000, 500, 0);  // to the left (positive yaw) and up
  Unit* v = PutVehicle({0, 0, 0}, {});
  Run(*v, 200);
  EXPECT_NEAR(v->GetObjectAngles().y, 1.5708f, 0.05f);
  EXPECT_FLOAT_EQ(v->GetObjectAngles().x, 0.0f);

  struct Case {
    const char* name;
    float power;
    bool withTarget;
    int32_t state;
  };
  const Case cases[] = {{"power 0", 0, true, 0}, {"no target", 1, false, 0}, {"state 30", 1, true, 30}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    vehicleType.power = c.power;
    Unit* idle = PutVehicle({0, 50, 0}, {});
    if (!c.withTarget) idle->target = nullptr;
    units::SetUnitState(*idle, c.state, 0);
    Run(*idle, 20);
    EXPECT_FLOAT_EQ(idle->GetObjectAngles().y, 0.0f);
    EXPECT_FLOAT_EQ(idle->GetObjectPosition().y, 50.0f);
    EXPECT_TRUE(Finite(idle->velocity));
    world::ReleaseUnit(world, idle);
  }
}

// A destroyed vehicle smokes and stops.
TEST_F(VehicleTest, ADestroyedVehicleStops) {
  Unit* v = PutVehicle({0, 0, 0}, {1, 0, 1});
  units::SetUnitState(*v, units::kUnitStateDestroyed, 0);
  Run(*v, 3);
  EXPECT_FLOAT_EQ(Length(v->velocity), 0.0f);
  EXPECT_FLOAT_EQ(v->GetObjectPosition().x, 0.0f);
}

// [SECTION] The toy box

// States 10 to 17 jam the units within the box's range: 10/14 all, 11/15
// its own team, 12/16 the others, 13/17 player units; 10 to 13 with flag 1,
// 14 to 17 with flag 2, always at level 2. INERT units and units out of
// range are left alone.
TEST_F(GroundTest, TheToyBoxJamsByState) {
  UnitType& boxType = AddType("BOX", units::kTypeToybox);
  boxType.range[0] = 100;
  Unit* box = Put(boxType, "A", {0, 0, 0});
  Unit* own = Put(targetType, "A", {50, 0, 0});
  Unit* other = Put(targetType, "B", {0, 50, 0});
  Unit* player = Put(targetType, "B", {0, 0, 50});
  player->flags |= units::kUnitPlayer;
  Unit* inert = Put(targetType, "B", {-50, 0, 0});
  inert->flags |= units::kUnitInert;
  Unit* far = Put(targetType, "B", {0, 0, 150});
  struct Case {
    int32_t state;
    bool own, other, player;
  };
  const Case cases[] = {{10, true, true, true}, {11, true, false, false}, {12, false, true, true},
                        {13, false, false, true}};
  for (int flagSet = 0; flagSet < 2; flagSet++) {
    for (const Case& c : cases) {
      int32_t state = c.state + 4 * flagSet;
      uint32_t flag = flagSet ? 2u : 1u;
      SCOPED_TRACE(state);
      for (Unit* u : {own, other, player, inert, far}) units::SetUnitJamming(*u, 0, 0);
      units::SetUnitState(*box, state, 0);
      Run(*box, 1);
      for (auto [u, jammed] : {std::pair{own, c.own}, std::pair{other, c.other}, std::pair{player, c.player},
                               std::pair{inert, false}, std::pair{far, false}}) {
        EXPECT_EQ(u->flightWords[units::kFlightJamLevel], jammed ? 2u : 0u);
        EXPECT_EQ(u->flightWords[units::kFlightJamFlags], jammed ? flag : 0u);
      }
    }
  }
}

// State 1 strikes lightning and starts the thunder countdown, then returns
// to 0; states 30 to 32 spin about one axis; 998 hides the box in place.
TEST_F(GroundTest, TheToyBoxStrikesSpinsAndHides) {
  UnitType& boxType = AddType("BOX", units::kTypeToybox);
  Unit* box = Put(boxType, "A", {0, 0, 0});
  box->velocity = {1, 0, 0};
  units::SetUnitState(*box, 1, 0);
  Run(*box, 1);
  EXPECT_EQ(world::GetEnvironment(world).GetLightningCount(), 10);
  EXPECT_EQ(box->state, 0);
  EXPECT_FLOAT_EQ(box->GetObjectPosition().x, 1.0f);

  for (int axis = 0; axis < 3; axis++) {
    SCOPED_TRACE(axis);
    box->SetObjectAngles(0, 0, 0);
    units::SetUnitState(*box, 30 + axis, 0);
    Run(*box, 2);
    Vec3 a = box->GetObjectAngles();
    const float angle[3] = {a.x, a.y, a.z};
    for (int k = 0; k < 3; k++) EXPECT_FLOAT_EQ(angle[k], k == axis ? 2 * 0.7853982f : 0.0f);
  }

  units::SetUnitState(*box, units::kUnitStateFinal, 0);
  float x = box->GetObjectPosition().x;
  Run(*box, 2);
  EXPECT_FLOAT_EQ(box->GetObjectScale().x, 0.0f);
  EXPECT_FLOAT_EQ(box->GetObjectPosition().x, x);
}

// A falling toy box draws its spin words from the world's generator in the
// first step of state 999: each within -2..2.
TEST_F(GroundTest, AFallingToyBoxDrawsItsSpin) {
  UnitType& boxType = AddType("BOX", units::kTypeToybox);
  Unit* box = Put(boxType, "A", {0, 0, 0});
  units::SetUnitState(*box, units::kUnitStateDestroyed, 0);
  for (int k = 8; k <= 10; k++) units::BehaviourInt(*box, k) = 77;
  Run(*box, 1);
  for (int k = 8; k <= 10; k++) {
    EXPECT_GE(units::BehaviourInt(*box, k), -2);
    EXPECT_LE(units::BehaviourInt(*box, k), 2);
  }
}

}  // namespace
