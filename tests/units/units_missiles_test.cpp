// units_missiles_test.cpp -- missiles and bombs: the pylon states, guidance
// against a moving target, jamming, the turn delay, a target without a
// position, the proximity fuse, the bomb's impact prediction and ECM bombs.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "units_weapon_fixture.h"

namespace {

using unittest::WeaponWorld;
using units::Unit;
using units::UnitType;
using units::Vec3;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
float Distance(const Vec3& a, const Vec3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

class MissileTest : public WeaponWorld {
 protected:
  // Plain objects: an aircraft's own behaviour would fly them and draw
  // from the world's generator, which the seeker noise here draws from too.
  UnitType& shooterType = AddType("SHOOTER", units::kTypeObject);
  UnitType& targetType = AddType("TARGET", units::kTypeObject);
  UnitType& missileType = AddType("MSL", units::kTypeMissile);
  Unit* shooter = nullptr;
  Unit* target = nullptr;

  void SetUp() override {
    targetType.defense = 1000;
    shooterType.defense = 1000;
    missileType.attributes = units::kAttrWeapon;
    missileType.speed = 6.0f;
    missileType.power = 10.0f;          // +0.1 per step
    missileType.mobility = {6, 6, 6};   // 0.1 radian per step
    missileType.range[0] = 5000;
    missileType.damage[0] = 100;
    shooter = Put(shooterType, "A", {0, 0, -2000});
    target = Put(targetType, "B", {0, 0, 600});
  }

  // A missile launched from the origin along +z at speed 2 toward `target`.
  Unit* Launch(UnitType& type) {
    Unit* m = Spawn(type, shooter, {0, 0, 0}, {0, 0, 2});
    if (!m) return nullptr;
    m->target = target;
    units::SetUnitState(*m, units::kUnitStateLaunched, 0);
    return m;
  }

  // Steps until the missile is hit (state 999) or `limit` steps have run,
  // the target moving by its velocity each step; the steps run.
  int FlyUntilHit(Unit& m, int limit) {
    for (int i = 1; i <= limit; i++) {
      Vec3 p = target->GetObjectPosition();
      target->SetObjectPosition(p.x + target->velocity.x, p.y + target->velocity.y, p.z + target->velocity.z);
      Step();
      if (m.state == units::kUnitStateDestroyed) return i;
    }
    return -1;
  }
};

TEST_F(MissileTest, LoadsOnThePylonAndFallsBackWhileItsCounterIsShort) {
  missileType.reloadTime = 3;
  Unit* m = Spawn(missileType, shooter, {0, 0, 0}, {0, 0, 1});
  ASSERT_NE(m, nullptr);
  units::SetUnitParent(*m, shooter);
  for (int i = 0; i < 2; i++) Step();
  EXPECT_EQ(m->state, units::kUnitStateIdle);
  EXPECT_EQ(m->IsObjectShown(), 0);
  Step();  // the counter reaches RELOAD_TIME
  EXPECT_EQ(m->state, units::kUnitStateReady);
  EXPECT_EQ(m->counter, 0);
  Step();
  EXPECT_EQ(m->IsObjectShown(), 1);
  EXPECT_EQ(m->engineRpm, 0);
  m->behaviourWords[8] = 1;  // spent by a resupply: loads again at once
  Step();
  EXPECT_EQ(m->state, units::kUnitStateIdle);
}

// A missile closing on a target that crosses its path hits it: the missile
// is ended (999), the hit is booked on the missile and on the shooter, and
// the target saw the missile warning. Distance 600 at up to 6 per step after
// a climb from 2: about 115 steps.
TEST_F(MissileTest, HitsAMovingTargetWithinTheExpectedSteps) {
  for (int32_t kind : {units::kTypeMissile, units::kTypeMissilePrediction}) {
    SCOPED_TRACE(kind);
    missileType.typeValue = kind;
    target->SetObjectPosition(-40, 10, 600);
    target->velocity = {0.5f, 0, 0};
    Unit* m = Launch(missileType);
    ASSERT_NE(m, nullptr);
    int steps = FlyUntilHit(*m, 200);
    EXPECT_GT(steps, 90);
    EXPECT_LT(steps, 140);
    EXPECT_EQ(target->flightWords[2], 2u);
    // The strike is booked first; the blast about it (radius 3) may book
    // the target once more.
    EXPECT_TRUE(HitOnly(*m, target->unitId));
    EXPECT_TRUE(HitOnly(*shooter, target->unitId));
    // It rides on the target until it is gone, then leaves.
    Step();
    EXPECT_EQ(m->parent, target);
    for (int i = 0; i < 200 && m->state != units::kUnitStateFinal; i++) Step();
    EXPECT_EQ(m->state, units::kUnitStateFinal);
    for (int i = 0; i < 11; i++) Step();
    EXPECT_EQ(m->removalMark, 1);
    units::SetUnitParent(*m, nullptr);
    world::ReleaseUnit(world, m);
  }
}

// Jamming with flag 0x2 blinds the seeker: the missile flies on straight
// and misses an off-axis target; the other flag bit alone does not.
TEST_F(MissileTest, AJammedSeekerMissesAndAnotherJammingBitDoesNot) {
  struct Case {
    uint32_t flags;
    bool hits;
  };
  for (Case c : {Case{0x2, false}, Case{0x3, false}, Case{0x1, true}}) {
    SCOPED_TRACE(c.flags);
    target->SetObjectPosition(60, 0, 600);
    target->velocity = {};
    Unit* m = Launch(missileType);
    ASSERT_NE(m, nullptr);
    units::SetUnitJamming(*m, c.flags, 100000);
    int steps = FlyUntilHit(*m, 200);
    EXPECT_EQ(steps > 0, c.hits);
    if (!c.hits) {
      EXPECT_TRUE(Hits(*m).empty());
      // Noise on the aim point only: it never turned toward x = 60.
      EXPECT_LT(std::fabs(m->GetObjectPosition().x), 30.0f);
    }
    world::ReleaseUnit(world, m);
  }
}

// No turn before age 5; a target at the largest float (no position) is not
// steered at: the missile flies on straight, finite, without a miss.
TEST_F(MissileTest, TurnsOnlyFromAge5AndNeverTowardTheLargestFloat) {
  target->SetObjectPosition(300, 0, 300);
  Unit* m = Launch(missileType);
  ASSERT_NE(m, nullptr);
  for (int i = 0; i < 5; i++) Step();
  EXPECT_FLOAT_EQ(m->GetObjectPosition().x, 0.0f);
  Step();
  Step();
  EXPECT_GT(m->GetObjectPosition().x, 0.0f);
  world::ReleaseUnit(world, m);

  for (int32_t kind : {units::kTypeMissile, units::kTypeMissilePrediction, units::kTypeMissileFoot}) {
    SCOPED_TRACE(kind);
    missileType.typeValue = kind;
    target->SetObjectPosition(FLT_MAX, FLT_MAX, FLT_MAX);
    target->velocity = {1, 0, 0};
    m = Launch(missileType);
    ASSERT_NE(m, nullptr);
    for (int i = 0; i < 40; i++) Step();
    Vec3 p = m->GetObjectPosition();
    EXPECT_TRUE(Finite(p));
    EXPECT_FLOAT_EQ(p.x, 0.0f);
    EXPECT_FLOAT_EQ(p.y, 0.0f);
    EXPECT_EQ(m->state, units::kUnitStateLaunched);
    world::ReleaseUnit(world, m);
  }
}

// The lead of a predicting missile divides by its closing speed; a SPEED of
// 0 (or a target running away faster) still gives a finite course.
TEST_F(MissileTest, APredictingMissileWithoutSpeedStaysFinite) {
  missileType.typeValue = units::kTypeMissilePrediction;
  missileType.speed = 0;
  target->velocity = {0, 0, 3};
  Unit* m = Launch(missileType);
  ASSERT_NE(m, nullptr);
  for (int i = 0; i < 30; i++) Step();
  EXPECT_TRUE(Finite(m->GetObjectPosition()));
  EXPECT_TRUE(Finite(m->GetObjectAngles()));
}

// A target that falls behind is a miss: the predicting missile flies on for
// 64 steps (count 128, 2 a step), then explodes; the shooter's missile words
// name the target.
TEST_F(MissileTest, AMissGoesToFreeFlightAndEndsWhenItsCountRunsOut) {
  missileType.typeValue = units::kTypeMissilePrediction;
  target->SetObjectPosition(0, 0, 100);
  Unit* m = Launch(missileType);
  ASSERT_NE(m, nullptr);
  m->SetObjectPosition(0, 0, 150);  // already past it
  Step();
  EXPECT_EQ(m->state, units::kUnitStateFreeFlight);
  EXPECT_EQ(int32_t(m->behaviourWords[8]), 128);
  EXPECT_EQ(shooter->missileWords[0], 30);
  EXPECT_EQ(shooter->missileWords[1], int16_t(target->unitId));
  int steps = 0;
  while (m->state == units::kUnitStateFreeFlight && steps < 100) {
    Step();
    steps++;
  }
  EXPECT_EQ(m->state, units::kUnitStateFinal);
  EXPECT_EQ(steps, 65);
}

// A proximity-fused missile flying past a unit explodes on the first step
// after its closest approach when that came within BLAST; with the shooter
// near it never fuses.
TEST_F(MissileTest, ProximityFuseFiresJustAfterTheClosestApproach) {
  missileType.attributes |= units::kAttrNearfuse;
  missileType.blast = 20;
  missileType.range[0] = 0;  // no guidance: straight along z
  target->SetObjectPosition(12, 0, 300);
  Unit* m = Launch(missileType);
  ASSERT_NE(m, nullptr);
  float nearest = 1e9f;
  int nearestStep = -1, endStep = -1;
  for (int i = 1; i <= 200 && endStep < 0; i++) {
    Step();
    if (m->state == units::kUnitStateDestroyed) {
      endStep = i;
      break;
    }
    float d = Distance(target->GetObjectPosition(), m->GetObjectPosition());
    if (d < nearest) {
      nearest = d;
      nearestStep = i;
    }
  }
  ASSERT_GT(endStep, 0);
  EXPECT_LT(nearest, 20.0f);
  EXPECT_LE(endStep - nearestStep, 2);
  EXPECT_GE(endStep - nearestStep, 1);
  world::ReleaseUnit(world, m);

  // The shooter rides along the missile's path: within 1.5 x BLAST at the
  // pass, and the first distance measured after is beyond BLAST.
  shooter->SetObjectPosition(0, 0, 290);
  m = Launch(missileType);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(FlyUntilHit(*m, 150), -1);
}

// From (0, 100, 0) at (1, 0, 0) over flat ground at y = 0: the 30-step
// segment from x 210 to 240 meets the ground at x = 222.616.
TEST_F(MissileTest, BombPredictionLandsOnTheGround) {
  UnitType& bombType = AddType("BOMB", units::kTypeBomb);
  bombType.attributes = units::kAttrWeapon;
  Unit* bomb = Spawn(bombType, shooter, {0, 100, 0}, {1, 0, 0});
  ASSERT_NE(bomb, nullptr);
  // Nothing to land on within 600 steps.
  Vec3 none = units::PredictBombImpact(world, *bomb);
  EXPECT_EQ(none.x, FLT_MAX);
  EXPECT_EQ(none.y, FLT_MAX);
  EXPECT_EQ(none.z, FLT_MAX);

  AddGround();
  Vec3 p = units::PredictBombImpact(world, *bomb);
  EXPECT_NEAR(p.x, 222.616f, 0.01f);
  EXPECT_NEAR(p.y, 0.0f, 1e-3f);
  EXPECT_NEAR(p.z, 0.0f, 1e-4f);

  // A SIMPLE bomb does not fall: level flight never lands.
  bomb->flags |= units::kUnitSimple;
  EXPECT_EQ(units::PredictBombImpact(world, *bomb).x, FLT_MAX);
}

// A dropped bomb falls by 0.004 per step and ends on the ground.
TEST_F(MissileTest, ADroppedBombFallsAndEndsOnTheGround) {
  AddGround();
  UnitType& bombType = AddType("BOMB", units::kTypeBomb);
  bombType.attributes = units::kAttrWeapon;
  Unit* bomb = Spawn(bombType, shooter, {0, 100, 0}, {1, 0, 0});
  ASSERT_NE(bomb, nullptr);
  units::SetUnitState(*bomb, units::kUnitStateLaunched, 0);
  Step();
  EXPECT_FLOAT_EQ(bomb->velocity.y, -0.004f);
  EXPECT_FLOAT_EQ(bomb->GetObjectPosition().y, 99.996f);
  int steps = 1;
  while (bomb->state == units::kUnitStateLaunched && steps < 400) {
    Step();
    steps++;
  }
  EXPECT_EQ(bomb->state, units::kUnitStateDestroyed);
  EXPECT_EQ(steps, 224);
}

// BOMB_ECM jams everyone in range, BOMB_ECM_E other teams, BOMB_ECM_F its
// own team.
TEST_F(MissileTest, EcmBombsJamByTeam) {
  Unit* friendUnit = Put(targetType, "A", {0, 0, 520});
  target->SetObjectPosition(0, 0, 480);
  Unit* far = Put(targetType, "B", {0, 0, 5000});
  UnitType& ecm = AddType("ECM", units::kTypeBombNapalm + 1);
  ecm.attributes = units::kAttrWeapon;
  ecm.range[0] = 100;
  struct Case {
    int32_t kind;
    bool jamsFriend, jamsEnemy;
  };
  for (Case c : {Case{units::kTypeBombNapalm + 1, true, true}, Case{units::kTypeBombNapalm + 2, false, true},
                 Case{units::kTypeBombEcmF, true, false}}) {
    SCOPED_TRACE(c.kind);
    ecm.typeValue = c.kind;
    for (Unit* u : {friendUnit, target, far}) units::SetUnitJamming(*u, 0, 0);
    Unit* bomb = Spawn(ecm, shooter, {0, 50, 500}, {0, 0, 1});
    ASSERT_NE(bomb, nullptr);
    units::SetUnitState(*bomb, units::kUnitStateLaunched, 0);
    units::UpdateBombUnit(world, *bomb);
    EXPECT_EQ(friendUnit->flightWords[3] == 2 && friendUnit->flightWords[4] == 3, c.jamsFriend);
    EXPECT_EQ(target->flightWords[3] == 2 && target->flightWords[4] == 3, c.jamsEnemy);
    EXPECT_EQ(far->flightWords[3], 0u);
    world::ReleaseUnit(world, bomb);
  }
}

}  // namespace
