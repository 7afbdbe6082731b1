// units_flight_test.cpp -- the flight model: skill and stall speed, the
// controls and turn rates, level flight against the formulas worked by hand,
// the stall, the engine rpm word, a type without POWER, crashes into flat
// and sloped ground, an aircraft resting on its tires and taking off, the
// falling wreck and path flight.

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "units/units_flight.h"
#include "units_weapon_fixture.h"

namespace {

using unittest::WeaponWorld;
using units::Unit;
using units::UnitType;
using units::Vec3;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
float Length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
float Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

class FlightTest : public WeaponWorld {
 protected:
  // POWER 1 (stall speed 0.6), STABILITY 6 (controls move 0.2 a step),
  // MOBILITY 1.2, 0.6, 2.4 radians a second (0.02, 0.01, 0.04 a step).
  UnitType& planeType = AddType("PLANE", units::kTypePlane);

  FlightTest() {
    planeType.power = 1.0f;
    planeType.stability = 6.0f;
    planeType.mobility = {1.2f, 0.6f, 2.4f};
    planeType.defense = 1000;
  }

  // A plane with the box model (-1..1) at a point, turned by `angles`,
  // flying at `velocity`; with `player` the world's player unit.
  Unit* Plane(Vec3 at, Vec3 angles, Vec3 velocity, bool player = false) {
    uint32_t flags = player ? world::kPutPlayer : world::kPutNotPlayer;
    Unit* u = world::PutUnit(world, "A", &planeType, 1, "", flags, at, angles, nullptr);
    EXPECT_NE(u, nullptr);
    if (!u) return nullptr;
    u->SetObjectModel(&box);
    u->velocity = velocity;
    u->hp = u->maxHp = 1000;  // a player's would hang on the game level
    return u;
  }

  void Fly(Unit& u, float roll, float pitch, float throttle, float yaw) {
    units::StepFlightModel(world, u, units::FlightGunInput{}, units::FlightWeaponInput{}, roll, pitch, throttle, yaw);
  }

  // A ground slab (box.x scaled 5000 x 1 x 5000) whose centre is at y = -1,
  // turned about x by `pitchDegrees`; unturned its top face is y = 0.
  void AddGroundTurned(float pitchDegrees) {
    const char* master = R"({SLAB:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND"],SCALE:{x:5000,y:1,z:5000}}})";
    ASSERT_EQ(world::LoadMapMaster(world, Compile(master)), 1);
    std::string placement =
        "[{ID:\"SLAB\",POS:{x:0,y:-1,z:0},ROT:{x:" + std::to_string(pitchDegrees) + ",y:0,z:0}}]";
    ASSERT_EQ(world::ReadMapPlacements(world, Compile(placement), 0), 1);
  }
};

// [SECTION] Skill and stall speed

TEST_F(FlightTest, SkillRisesWithLevelToOneAndIsFullForPlayers) {
  const struct {
    int32_t level;
    float skill;
  } cases[] = {{-1, 1.0f}, {0, 0.7f}, {1, 0.73f}, {5, 0.85f}, {10, 1.0f}, {20, 1.0f}};
  for (const auto& c : cases) EXPECT_FLOAT_EQ(units::FlightSkill(c.level), c.skill) << c.level;
}

TEST_F(FlightTest, StallSpeedRisesAboveTheStallHeight) {
  planeType.power = 2.0f;
  Unit* u = Plane({0, 1200, 0}, {}, {});
  ASSERT_NE(u, nullptr);
  EXPECT_FLOAT_EQ(units::StallSpeed(world, *u), 1.2f);  // below the default height 3000
  world.stallHeight = 1000;
  EXPECT_NEAR(units::StallSpeed(world, *u), 2.2f, 1e-5f);  // 200 above: +1.0
  u->SetObjectPosition(0, 999, 0);
  EXPECT_FLOAT_EQ(units::StallSpeed(world, *u), 1.2f);
  u->flags |= units::kUnitSimple;
  EXPECT_EQ(units::StallSpeed(world, *u), 0.0f);
  u->flags &= ~units::kUnitSimple;
  planeType.power = -1.0f;  // never below 0
  u->SetObjectPosition(0, 0, 0);
  EXPECT_EQ(units::StallSpeed(world, *u), 0.0f);
  Unit untyped;
  EXPECT_EQ(units::StallSpeed(world, untyped), 0.0f);
}

// [SECTION] Controls and turn rates

TEST_F(FlightTest, ControlsMoveAtTheirRateAndPitchStopsAtMinusSevenTenths) {
  Unit* u = Plane({0, 500, 0}, {}, {0, 0, 1.5f});
  ASSERT_NE(u, nullptr);
  Fly(*u, -1, -1, 0, -1);
  EXPECT_FLOAT_EQ(u->control.x, -0.2f);  // 2 x STABILITY / 60 a step
  EXPECT_FLOAT_EQ(u->control.y, -0.2f);
  EXPECT_FLOAT_EQ(u->control.z, -0.2f);
  for (int i = 0; i < 10; i++) Fly(*u, -1, -1, 0.5f, -1);
  EXPECT_FLOAT_EQ(u->control.x, -1.0f);
  EXPECT_FLOAT_EQ(u->control.y, -0.7f);
  EXPECT_FLOAT_EQ(u->control.z, -1.0f);
  EXPECT_FLOAT_EQ(u->throttle, -0.5f);  // the request negated
  Fly(*u, 0, 0, -3, 0);
  EXPECT_FLOAT_EQ(u->throttle, 1.0f);
}

TEST_F(FlightTest, ARemoteUnitKeepsItsControlsAndTurnRates) {
  Unit* u = Plane({0, 500, 0}, {}, {0, 0, 1.5f});
  ASSERT_NE(u, nullptr);
  u->flags |= units::kUnitRemote;
  u->control = {0.3f, 0.2f, 0.1f};
  u->moment = {0.001f, 0.002f, 0.003f};
  Fly(*u, 1, 1, 0, 1);
  EXPECT_FLOAT_EQ(u->control.x, 0.3f);
  EXPECT_FLOAT_EQ(u->control.y, 0.2f);
  EXPECT_FLOAT_EQ(u->control.z, 0.1f);
  EXPECT_FLOAT_EQ(u->moment.x, 0.001f);
  EXPECT_FLOAT_EQ(u->moment.y, 0.002f);
  EXPECT_FLOAT_EQ(u->moment.z, 0.003f);
  // Out-of-range controls it was sent are still held to their ranges.
  u->control = {3, -3, -3};
  Fly(*u, 0, 0, 0, 0);
  EXPECT_FLOAT_EQ(u->control.x, 1.0f);
  EXPECT_FLOAT_EQ(u->control.y, -0.7f);
  EXPECT_FLOAT_EQ(u->control.z, -1.0f);
}

TEST_F(FlightTest, ATurnRateWithinOneStepOfItsTargetClosesATenth) {
  Unit* u = Plane({0, 500, 0}, {}, {0, 0, 1.5f});
  ASSERT_NE(u, nullptr);
  u->control = {0, 0.5f, 0};
  // Target 0.5 x 0.02 x 0.73 (skill of LEVEL 1); a step is 0.02 x 0.1.
  const float target = 0.5f * 0.02f * 0.73f;
  const float step = 0.02f * 0.1f;
  u->moment.x = target - 0.5f * step;  // half a step short: closes a tenth of that
  Fly(*u, 0, 0.5f, 0, 0);
  EXPECT_NEAR(u->moment.x, target - 0.45f * step, 1e-7f);
  // Farther away it moves by one whole step.
  u->moment.x = target - 3 * step;
  Fly(*u, 0, 0.5f, 0, 0);
  EXPECT_NEAR(u->moment.x, target - 2 * step, 1e-7f);
  // Beyond twice the type's rate it first falls halfway back to it.
  u->moment.x = 10 * 0.02f;
  Fly(*u, 0, 0.5f, 0, 0);
  EXPECT_NEAR(u->moment.x, (10 * 0.02f + 2 * 0.02f) / 2 - step, 1e-6f);
}

// [SECTION] Level flight, pitch and the stall

TEST_F(FlightTest, LevelFlightFollowsDragAndThrustStepByStep) {
  Unit* u = Plane({0, 500, 0}, {}, {0, 0, 1.5f});
  ASSERT_NE(u, nullptr);
  float speed = 1.5f, z = 0;
  int32_t rpm = u->engineRpm;  // 10000 at placement
  for (int n = 1; n <= 5; n++) {
    // throttle 0.5: thrust factor (0.5 x POWER + 1) = 1.5; drag 1/600.
    float rpmTarget = speed / 1.0f * 5000 + 1.5f * 0.5f * 5000;
    rpm = std::abs(int32_t(rpmTarget) - rpm) < 50 ? int32_t(rpmTarget) : rpm + (int32_t(rpmTarget) > rpm ? 50 : -50);
    speed = speed - speed / 600 + 1.5f / 600;
    z += speed;
    Fly(*u, 0, 0, -0.5f, 0);
    Vec3 p = u->GetObjectPosition();
    EXPECT_NEAR(p.z, z, 1e-4f) << n;
    EXPECT_NEAR(p.y, 500.0f, 1e-4f) << n;
    EXPECT_NEAR(u->velocity.z, speed, 1e-6f) << n;
    EXPECT_NEAR(u->velocity.y, 0.0f, 1e-7f) << n;
    EXPECT_EQ(u->engineRpm, rpm) << n;
    EXPECT_EQ(units::GetStallFactor(*u), 0.0f);
    EXPECT_EQ(u->controlWord, 5);  // wing sweep, held to 5..45
  }
  EXPECT_EQ(u->engineRpm, 10250);
}

TEST_F(FlightTest, PullingUpRaisesTheNoseByTheTurnRateAndTheVelocityFollows) {
  Unit* u = Plane({0, 500, 0}, {}, {0, 0, 1.5f});
  ASSERT_NE(u, nullptr);
  // Step 1: control 0.2, target 0.2 x 0.02 x 0.73 = 0.00292, one step of
  // 0.002 toward it. Step 2: control 0.4, target 0.00584: 0.004.
  Fly(*u, 0, 1, 0, 0);
  EXPECT_NEAR(u->moment.x, 0.002f, 1e-7f);
  EXPECT_NEAR(u->GetObjectAngles().x, 0.002f, 1e-6f);
  Fly(*u, 0, 1, 0, 0);
  EXPECT_NEAR(u->moment.x, 0.004f, 1e-7f);
  EXPECT_NEAR(u->GetObjectAngles().x, 0.006f, 1e-6f);
  EXPECT_NEAR(u->GetObjectAngles().y, 0.0f, 1e-6f);
  EXPECT_NEAR(u->GetObjectAngles().z, 0.0f, 1e-6f);
  EXPECT_GT(u->velocity.y, 0.0f);
}

TEST_F(FlightTest, RollAndYawControlsTurnRight) {
  Unit* right = Plane({0, 500, 0}, {}, {0, 0, 1.5f});
  ASSERT_NE(right, nullptr);
  for (int i = 0; i < 30; i++) Fly(*right, 1, 0, 0, 0);
  Vec3 up = right->GetObjectWorldUp();
  EXPECT_GT(up.x, 0.1f);  // banked right: the top leans right
  Unit* rudder = Plane({0, 500, 0}, {}, {0, 0, 1.5f});
  ASSERT_NE(rudder, nullptr);
  for (int i = 0; i < 30; i++) Fly(*rudder, 0, 0, 0, 1);
  EXPECT_GT(rudder->GetObjectWorldFront().x, 0.01f);
}

TEST_F(FlightTest, BelowStallSpeedTheStallFactorEntersAndTheNoseDrops) {
  Unit* u = Plane({0, 500, 0}, {}, {0, 0, 0.2f});
  ASSERT_NE(u, nullptr);
  Fly(*u, 0, 0, 0, 0);
  EXPECT_FLOAT_EQ(units::GetStallFactor(*u), 0.15f);
  Fly(*u, 0, 0, 0, 0);
  EXPECT_FLOAT_EQ(units::GetStallFactor(*u), 0.16f);
  for (int i = 0; i < 40; i++) Fly(*u, 0, 0, 0, 0);
  EXPECT_LT(u->GetObjectAngles().x, -0.1f);
  EXPECT_LT(u->GetObjectPosition().y, 499.0f);
  EXPECT_LT(u->velocity.y, 0.0f);
  // A fast unit recovers by 0.1 a step.
  units::SetStallFactor(*u, 0.5f);
  u->velocity = {0, 0, 2.0f};
  Fly(*u, 0, 0, 0, 0);
  EXPECT_NEAR(units::GetStallFactor(*u), 0.4f, 1e-6f);
}

TEST_F(FlightTest, RpmIsZeroAtRestAndAtLeastSixtyWhenMoving) {
  Unit* u = Plane({0, 500, 0}, {}, {});
  ASSERT_NE(u, nullptr);
  Fly(*u, 0, 0, 1, 0);  // closed throttle
  EXPECT_EQ(u->engineRpm, 0);
  ASSERT_GT(Length(u->velocity), 0.0f);  // below stall speed the engine still pulls
  for (int i = 0; i < 200; i++) Fly(*u, 0, 0, 1, 0);
  EXPECT_GE(u->engineRpm, 60);
  u->velocity = {0, 0, 0.0001f};
  u->engineRpm = 0;
  Fly(*u, 0, 0, 1, 0);
  EXPECT_EQ(u->engineRpm, 60);
}

TEST_F(FlightTest, ATypeWithoutPowerStandsStill) {
  planeType.power = 0;
  for (bool player : {false, true}) {
    Unit* u = Plane({player ? 100.0f : 0.0f, 100, 0}, {0.3f, 0.5f, 0.2f}, {}, player);
    ASSERT_NE(u, nullptr);
    const Vec3 start = u->GetObjectPosition();
    for (int i = 0; i < 120; i++) Fly(*u, 1, 1, -1, 1);
    EXPECT_TRUE(Finite(u->velocity));
    EXPECT_TRUE(Finite(u->moment));
    EXPECT_TRUE(Finite(u->GetObjectAngles()));
    EXPECT_EQ(Length(u->velocity), 0.0f);
    Vec3 p = u->GetObjectPosition();
    EXPECT_EQ(p.x, start.x);
    EXPECT_EQ(p.y, start.y);
    EXPECT_EQ(p.z, start.z);
    EXPECT_EQ(u->engineRpm, 0);
    EXPECT_TRUE(std::isfinite(units::GetStallFactor(*u)));
  }
}

// [SECTION] Ground contact

TEST_F(FlightTest, ImpactDamageGrowsWithTheAngleAndIsFatalAboveSevenTenths) {
  AddGroundTurned(0);
  // Diving along its nose at minus cosine 0.5025 (200 c = 100.5): 140 hit
  // points, spread 80 % to 120 % by tenths.
  const float dive = std::asin(0.5025f);
  Unit* u = Plane({0, 1.5f, 0}, {-dive, 0, 0}, {0, -0.5025f * 3, std::cos(dive) * 3}, true);
  ASSERT_NE(u, nullptr);
  Fly(*u, 0, 0, 0, 0);
  const std::set<int32_t> spread = {112, 126, 140, 154, 168};
  EXPECT_EQ(spread.count(1000 - u->hp), 1u) << u->hp;
  // It bounces: controls, throttle and turn rates cleared, the velocity
  // mirrored off the ground, the unit out of it, the crash forgotten.
  EXPECT_EQ(u->control.y, 0.0f);
  EXPECT_EQ(u->throttle, 0.0f);
  EXPECT_EQ(Length(u->moment), 0.0f);
  EXPECT_GT(u->velocity.y, 0.0f);
  EXPECT_EQ(u->lastDamageSource, nullptr);
  EXPECT_EQ(u->pendingFlag, 0);

  // Steeper than cos 0.7: destroyed; the nose struck, so the wreck rests
  // where it struck (998).
  const float steep = 0.9f;
  Unit* v = Plane({20, 1.5f, 0}, {-steep, 0, 0}, {0, -std::sin(steep) * 3, std::cos(steep) * 3}, true);
  ASSERT_NE(v, nullptr);
  Fly(*v, 0, 0, 0, 0);
  EXPECT_EQ(v->hp, 0);
  EXPECT_EQ(v->pendingFlag, 1);
  EXPECT_EQ(v->pendingState, units::kUnitStateFinal);
  EXPECT_NEAR(v->GetObjectPosition().y, 0.0f, 1e-3f);
}

TEST_F(FlightTest, AWingTipStrikeSendsTheWreckTumbling) {
  AddGroundTurned(0);
  // A wide plane rolled 80 degrees (its left tip down), dropping one unit:
  // only the left tip reaches the ground.
  Unit* u = Plane({0, 3.5f, 0}, {0, 0, 80 * units::kDegreesToRadians}, {0, -1.0f, 0}, true);
  ASSERT_NE(u, nullptr);
  u->SetObjectScale(3, 0.5f, 1);
  Fly(*u, 0, 0, 0, 0);
  EXPECT_EQ(u->hp, 0);
  EXPECT_EQ(u->pendingState, units::kUnitStateDestroyed);
  EXPECT_EQ(units::BehaviourInt(*u, 8), 0);
  EXPECT_EQ(units::BehaviourInt(*u, 9), 8);
  EXPECT_EQ(units::BehaviourInt(*u, 10), 0);
}

TEST_F(FlightTest, AGlancingContactNeverHeals) {
  AddGroundTurned(0);
  // Climbing away (minus cosine about -0.28) while a fast roll sweeps the
  // left wing tip through the ground: 40 + 200 c is below 0.
  planeType.defense = 500;
  Unit* u = Plane({0, 0.7f, 0}, {std::atan(0.3f), 0, 0}, {0, 0.15f, 0.5f}, true);
  ASSERT_NE(u, nullptr);
  u->SetObjectScale(3, 0.5f, 1);
  u->flags |= units::kUnitRemote;  // keeps the turn rate it was given
  u->moment = {0, 0, 0.5f};
  u->hp = 300;
  Fly(*u, 0, 0, 0, 0);
  EXPECT_EQ(u->hp, 300);
  EXPECT_EQ(u->moment.z, 0.0f);  // the contact happened: it bounced
}

// In a network game a copy of another peer's aircraft never crashes here:
// its owner flies it, and a crash here would send the owner a fatal hit for
// a contact that only the copy's drift made.
TEST_F(FlightTest, ACopyOfAnotherPeersAircraftNeverCrashesHere) {
  AddGroundTurned(0);
  for (bool copy : {false, true}) {
    world.networkGame = copy ? 1 : 0;
    Unit* u = Plane({0, 3.5f, 0}, {0, 0, 80 * units::kDegreesToRadians}, {0, -1.0f, 0}, true);
    ASSERT_NE(u, nullptr);
    u->SetObjectScale(3, 0.5f, 1);
    if (copy) u->flags |= units::kUnitRemote;
    Fly(*u, 0, 0, 0, 0);
    EXPECT_EQ(u->hp == 0, !copy) << (copy ? "a copy" : "an own aircraft");
    EXPECT_EQ(u->pendingState == units::kUnitStateDestroyed, !copy);
    if (copy) {
      EXPECT_LT(u->velocity.y, 0.0f);  // no bounce either: no contact was taken
    }
  }
  world.networkGame = 0;
}

TEST_F(FlightTest, AContactOnASlopeBouncesOffItsNormal) {
  AddGroundTurned(20);  // rising toward +z
  Unit* u = Plane({0, 5, -60}, {}, {0, 0, 2}, true);
  ASSERT_NE(u, nullptr);
  int steps = 0;
  while (u->hp == 1000 && steps < 100) {
    Fly(*u, 0, 0, 0, 0);
    steps++;
  }
  ASSERT_LT(u->hp, 1000);
  // c = sin 20 degrees: 40 + 68 = 108, spread 86..129.
  EXPECT_GE(1000 - u->hp, 86);
  EXPECT_LE(1000 - u->hp, 129);
  Vec3 normal{};
  core::DirectionFromAngles(nullptr, &normal, {20 * units::kDegreesToRadians, 0, 0});
  EXPECT_LT(normal.z, 0.0f);
  EXPECT_GT(Dot(u->velocity, normal), 0.0f);  // leaving the slope
  EXPECT_GT(u->velocity.y, 0.0f);
  EXPECT_EQ(u->state, 0);
}

// [SECTION] The landing gear

class RunwayTest : public FlightTest {
 protected:
  UnitType& tireType = AddType("TIRE", 0);
  Unit* plane = nullptr;

  void SetUp() override {
    AddGroundTurned(0);
    tireType.tirePos = {0, 0, 0};
    // A nose wheel and two main wheels half a unit below the body's bottom.
    const Vec3 wheels[3] = {{0, -1.5f, 1.5f}, {-1, -1.5f, -0.5f}, {1, -1.5f, -0.5f}};
    for (const Vec3& w : wheels) {
      units::ChildEntry child;
      child.key = "TIRE";
      child.type = &tireType;
      child.position = w;
      planeType.children.push_back(child);
    }
    plane = Plane({0, 1.5f, 0}, {}, {}, true);
    ASSERT_NE(plane, nullptr);
  }
};

TEST_F(RunwayTest, AnAircraftRestsOnItsTiresUnhurt) {
  int tires = 0;
  for (Unit* a : plane->attachments) tires += a != nullptr;
  ASSERT_EQ(tires, 3);
  for (int i = 0; i < 600; i++) Fly(*plane, 0, 0, 1, 0);  // throttle closed: the brake
  EXPECT_EQ(plane->hp, 1000);
  EXPECT_EQ(plane->pendingFlag, 0);
  Vec3 p = plane->GetObjectPosition();
  EXPECT_NEAR(p.y, 1.5f, 0.05f);
  EXPECT_NEAR(p.z, 0.0f, 0.5f);
  EXPECT_NEAR(plane->GetObjectAngles().x, 0.0f, 0.05f);
  EXPECT_NEAR(plane->GetObjectAngles().z, 0.0f, 0.02f);
  EXPECT_GT(plane->gearContactRate, 0.5f);
  EXPECT_TRUE(Finite(plane->velocity));
}

TEST_F(RunwayTest, FullThrottleOnTheRunwayReachesFlyingSpeed) {
  for (int i = 0; i < 60; i++) Fly(*plane, 0, 0, 1, 0);
  const float stall = units::StallSpeed(world, *plane);
  int steps = 0;
  while (Length(plane->velocity) < stall && steps < 3000) {
    Fly(*plane, 0, 0, -1, 0);
    steps++;
  }
  EXPECT_LT(steps, 3000);
  EXPECT_EQ(plane->hp, 1000);
  EXPECT_NEAR(plane->GetObjectPosition().y, 1.5f, 0.1f);
  EXPECT_GT(plane->GetObjectPosition().z, 10.0f);
  // Pulling up, it leaves the ground.
  for (int i = 0; i < 240; i++) Fly(*plane, 0, 1, -1, 0);
  EXPECT_EQ(plane->hp, 1000);
  EXPECT_GT(plane->GetObjectPosition().y, 5.0f);
  EXPECT_EQ(plane->gearContactRate, 0.0f);
}

TEST_F(RunwayTest, OnTheGroundRollSteersTheNoseWheel) {
  for (int i = 0; i < 150; i++) Fly(*plane, 0, 0, -1, 0);  // rolling
  const float yaw = plane->GetObjectAngles().y;
  for (int i = 0; i < 60; i++) Fly(*plane, 1, 0, 0, 0);
  EXPECT_LT(plane->GetObjectAngles().y, yaw - 0.01f);  // the nose swings right
  EXPECT_NEAR(plane->GetObjectAngles().z, 0.0f, 0.02f);  // without leaning over
  EXPECT_EQ(plane->hp, 1000);
}

TEST_F(RunwayTest, AGentleTouchdownLandsUnhurt) {
  // Tires 0.3 above the runway, sinking 0.02 a step at flying speed.
  plane->SetObjectPosition(0, 1.8f, 0);
  plane->velocity = {0, -0.02f, 0.7f};
  plane->gearContactRate = 0;
  for (Vec3& spring : plane->attachmentVectors) spring = {};
  for (int i = 0; i < 120; i++) Fly(*plane, 0, 0, 0, 0);
  EXPECT_EQ(plane->hp, 1000);
  EXPECT_GT(plane->gearContactRate, 0.5f);
  EXPECT_NEAR(plane->GetObjectPosition().y, 1.5f, 0.05f);
}

// [SECTION] The falling wreck

TEST_F(FlightTest, AFallingWreckTumblesAndRestsWhereItHits) {
  AddGroundTurned(0);
  Unit* u = Plane({0, 10, 0}, {}, {0, 0, 0.5f});
  ASSERT_NE(u, nullptr);
  units::SetUnitState(*u, units::kUnitStateDestroyed, 0);
  units::BehaviourInt(*u, 8) = 6;
  units::StepBallisticFall(world, *u);
  EXPECT_NEAR(u->GetObjectAngles().x, 6.0f / 30.0f, 1e-6f);  // WEIGHT 1
  EXPECT_NEAR(u->velocity.y, -0.006f, 1e-7f);
  int steps = 1;
  while (!u->pendingFlag && steps < 200) {
    units::StepBallisticFall(world, *u);
    steps++;
  }
  EXPECT_EQ(u->pendingState, units::kUnitStateFinal);
  EXPECT_NEAR(steps, 58, 2);  // 10 = 0.006 n (n + 1) / 2
  EXPECT_NEAR(u->GetObjectPosition().y, 0.0f, 1e-3f);
}

TEST_F(FlightTest, AWreckThatNeverLandsIsReleasedAfter1200Steps) {
  Unit* u = Plane({0, 10000, 0}, {}, {});
  ASSERT_NE(u, nullptr);
  units::SetUnitState(*u, units::kUnitStateDestroyed, 1200);
  units::StepBallisticFall(world, *u);
  EXPECT_NE(u->unitId, 0);  // 1200 is not yet beyond
  units::UnitAge(*u) = 1201;
  units::StepBallisticFall(world, *u);
  EXPECT_EQ(u->unitId, 0);
}

// [SECTION] Path flight

TEST_F(FlightTest, PathFlightFollowsThePathAndTurnsTheNoseAlongIt) {
  units::PathPointPool pool;
  units::PathPoint* a = units::NewPathPoint(pool, 1, 1, 1, 1);
  units::PathPoint* b = units::NewPathPoint(pool, 2, 1, 1, 1);
  units::PathPoint* c = units::NewPathPoint(pool, 3, 1, 1, 1);
  ASSERT_TRUE(a && b && c);
  units::SetPathPointPosition(*a, 0, 100, 0);
  units::SetPathPointPosition(*b, 10, 100, 0);
  units::SetPathPointPosition(*c, 1000, 100, 0);
  units::SetPathPointOnCurve(*b, 1);  // control, on-curve, control: two straight links
  units::SetNextPathPoint(*a, b);
  units::SetPrevPathPoint(*b, a);
  units::SetNextPathPoint(*b, c);
  units::SetPrevPathPoint(*c, b);

  Unit* u = Plane({0, 100, 0}, {}, {0, 0, 4});
  ASSERT_NE(u, nullptr);
  units::SetUnitPath(*u, a, 0);
  units::SetUnitPathParameter(*u, 0);
  u->speedTarget = 6;
  u->speedRate = 1;
  for (int i = 0; i < 4; i++) units::StepPathFlight(world, *u);
  // 5, 6, 6, 6 along +x: past the first point, the nose along the path.
  EXPECT_EQ(u->path, b);
  EXPECT_EQ(u->speedRate, 0.0f);
  Vec3 p = u->GetObjectPosition();
  EXPECT_NEAR(p.x, 23.0f, 0.05f);
  EXPECT_NEAR(p.y, 100.0f, 1e-4f);
  Vec3 front = u->GetObjectWorldFront();
  EXPECT_NEAR(front.x, 1.0f, 1e-4f);
  EXPECT_NEAR(u->velocity.x, 6.0f, 1e-3f);
  EXPECT_EQ(u->control.z, 0.0f);
  EXPECT_TRUE(Finite(u->GetObjectAngles()));
}

}  // namespace
