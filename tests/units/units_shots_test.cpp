// units_shots_test.cpp -- gun shots and lasers: flight under the shot drop,
// range in steps, the damage amount rules, the hit search and the laser's
// fade and hit schedule.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <vector>

#include "units/units_shots.h"
#include "units_typed_world.h"
#include "world/world_public.h"

namespace {

using units::Unit;
using units::UnitType;
using units::Vec3;

struct ShotFixture : unitstest::TypedWorld {
  Unit* AddUnit(UnitType* type, const char* team, Vec3 at) {
    Unit* unit = world::AllocUnit(world);
    unit->type = type;
    unit->surface = &surface;
    units::SetUnitTeam(*unit, team);
    units::SetUnitPrintedTeam(*unit, team);
    unit->SetObjectPosition(at.x, at.y, at.z);
    return unit;
  }

  // A target of 1000 HP whose hit box is a 6-unit cube about its position.
  Unit* AddVictim(UnitType* type, const char* team, Vec3 at) {
    Unit* unit = AddUnit(type, team, at);
    unit->hp = unit->maxHp = 1000;
    unit->radius = 3;
    unit->hitBoxMin = {-3, -3, -3};
    unit->hitBoxMax = {3, 3, 3};
    return unit;
  }

  // A shot as the gun spawns it: owned, flying along its velocity.
  Unit* Fire(UnitType* type, Unit* owner, Vec3 at, Vec3 velocity) {
    Unit* shot = world::SpawnOwnedUnit(world, at, velocity, owner, type);
    shot->surface = &surface;
    return shot;
  }

  // One world step of a shot: its behaviour, then the age the step adds.
  void Step(Unit& shot) {
    units::UpdateGunShotUnit(world, shot);
    units::UnitAge(shot)++;
  }
};

// [SECTION] Flight and range

TEST_F(ShotFixture, AShotFallsByTheDropEveryStep) {
  UnitType* gun = AddType("gun", units::kTypeGun);
  gun->range[0] = 100000;
  Unit* shot = Fire(gun, nullptr, Vec3{0, 500, 0}, Vec3{0, 0, 4});
  Vec3 expected{0, 500, 0};
  float vy = 0;
  for (int step = 1; step <= 50; step++) {
    Step(*shot);
    vy -= units::kShotDrop;
    expected.y += vy;
    expected.z += 4;
    ASSERT_NEAR(shot->velocity.y, -units::kShotDrop * float(step), 1e-5);
  }
  EXPECT_FLOAT_EQ(shot->velocity.z, 4);
  Vec3 at = shot->GetObjectPosition();
  EXPECT_NEAR(at.y, expected.y, 1e-3);
  EXPECT_NEAR(at.z, expected.z, 1e-3);
  EXPECT_EQ(shot->removalMark, 0);
}

TEST(ShotRange, StepsAreTheRangeOverTheSpeedAndNeverDivideByZero) {
  units::UnitType type;
  type.range[0] = 3000;
  type.range[1] = 25;
  type.range[2] = 0;
  type.range[3] = -40;
  struct Case {
    float speed;
    int32_t steps[4];
  } cases[] = {
      {10.0f, {300, 2, 0, -4}}, {4.0f, {750, 6, 0, -10}},
      {0.0f, {0, 0, 0, 0}},                                                // no speed covers no range
      {-1.0f, {0, 0, 0, 0}},    {1e-30f, {INT_MAX, INT_MAX, 0, INT_MIN}},  // held to the int range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speed);
    int32_t steps[4];
    units::RangeInSteps(type, c.speed, steps);
    for (int k = 0; k < 4; k++) EXPECT_EQ(steps[k], c.steps[k]) << "class " << k;
  }
}

TEST_F(ShotFixture, AShotEndsOnceItsAgePassesTheLargestRange) {
  UnitType* gun = AddType("gun", units::kTypeGun);
  gun->range[0] = 30;
  gun->range[2] = 55;  // speed 10 (a hair more once falling): 5 steps
  Unit* shot = Fire(gun, nullptr, Vec3{0, 500, 0}, Vec3{0, 0, 10});
  for (int age = 0; age <= 5; age++) {
    Step(*shot);
    ASSERT_EQ(shot->removalMark, 0) << "age " << age;
  }
  Step(*shot);  // age 6 > 5
  EXPECT_EQ(shot->removalMark, 1);
}

TEST_F(ShotFixture, AShotWithoutSpeedIsNeverDividedBy) {
  UnitType* gun = AddType("gun", units::kTypeGun);
  gun->range[0] = 3000;
  Unit* shot = Fire(gun, nullptr, Vec3{0, 500, 0}, Vec3{0, 0, 0});
  Step(*shot);  // speed 0: no range in steps, but age 0 is not past it
  EXPECT_EQ(shot->removalMark, 0);
  Vec3 at = shot->GetObjectPosition();
  EXPECT_TRUE(std::isfinite(at.y));
  EXPECT_FLOAT_EQ(shot->velocity.y, -units::kShotDrop);
  // From then on it falls, and its speed gives it range again.
  Step(*shot);
  EXPECT_EQ(shot->removalMark, 0);
  EXPECT_NEAR(shot->GetObjectPosition().y, 500 - 3 * units::kShotDrop, 1e-4);
}

// [SECTION] The damage amount

TEST_F(ShotFixture, DamageAmountRules) {
  UnitType* gun = AddType("gun", units::kTypeGun);
  UnitType* ownerType = AddType("owner", units::kTypePlane);
  UnitType* victimType = AddType("victim", units::kTypeShip);
  victimType->mode = 2;
  Unit* owner = AddUnit(ownerType, "blue", {});
  Unit* victim = AddVictim(victimType, "red", {});
  Unit* other = AddVictim(victimType, "red", {});
  Unit* shot = Fire(gun, owner, {}, {0, 0, 1});

  struct Case {
    const char* what;
    int32_t damage, gunDamage;
    bool withOwner;
    int eventMode;
    Unit* target;
    uint32_t ownerFlags, victimFlags;
    bool laser;
    int32_t expected;
  } cases[] = {
      {"own damage", 30, 7, true, 0, nullptr, 0, 0, false, 30},
      {"negative: the owner's gun damage", -1, 7, true, 0, nullptr, 0, 0, false, 7},
      {"negative both: 4", -1, -1, true, 0, nullptr, 0, 0, false, 4},
      {"no owner: 4", -1, 7, false, 0, nullptr, 0, 0, false, 4},
      {"aimed at the victim", 30, 7, true, 0, victim, 0, 0, false, 30},
      {"aimed at another: nothing", 30, 7, true, 0, other, 0, 0, false, 0},
      {"aimed at another in an event", 30, 7, true, 1, other, 0, 0, false, 30},
      {"a player's shot hurts anyone", 30, 7, true, 0, other, units::kUnitPlayer, 0, false, 30},
      {"anyone hurts a player", 30, 7, true, 0, other, 0, units::kUnitPlayer, false, 30},
      {"a laser keeps its own damage", -3, 7, true, 0, nullptr, 0, 0, true, -3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gun->damage[2] = c.damage;
    ownerType->gunDamage[2] = c.gunDamage;
    units::SetUnitMaster(*shot, c.withOwner ? owner : nullptr);
    world.eventMode = c.eventMode;
    owner->flags = c.ownerFlags;
    victim->flags = c.victimFlags;
    // A shot carries its own target; a laser goes by its owner's.
    shot->target = c.laser ? nullptr : c.target;
    owner->target = c.laser ? c.target : nullptr;
    EXPECT_EQ(units::WeaponDamageAmount(world, *shot, *victim, c.laser), c.expected);
  }
}

// [SECTION] The hit search

// Shots from a blue owner at red victims of 1000 HP.
struct HitFixture : ShotFixture {
  UnitType* gun = nullptr;
  UnitType* ownerType = nullptr;
  UnitType* victimType = nullptr;
  Unit* owner = nullptr;

  void SetUp() override {
    gun = AddType("gun", units::kTypeGun);
    gun->range[0] = 3000;
    gun->damage[0] = 10;
    ownerType = AddType("owner", units::kTypePlane);
    victimType = AddType("victim", units::kTypePlane);
    owner = AddUnit(ownerType, "blue", Vec3{0, 100, -100});
  }
};

TEST_F(HitFixture, AShotPassingTwoEnemiesHitsBothAndEnds) {
  Unit* near = AddVictim(victimType, "red", Vec3{0, 100, 24});
  Unit* far = AddVictim(victimType, "red", Vec3{0, 100, 27});
  Unit* friendly = AddVictim(victimType, "blue", Vec3{0, 100, 26});
  Unit* shot = Fire(gun, owner, Vec3{0, 100, 0}, Vec3{0, 0, 10});
  units::UnitAge(*shot) = 2;
  shot->SetObjectPosition(0, 100, 15);
  Step(*shot);
  EXPECT_EQ(shot->removalMark, 1);
  units::UnitEvent e{};
  EXPECT_EQ(units::PopHitEvent(*owner, &e, 0), 2);
  EXPECT_LT(near->hp, 1000);
  EXPECT_LT(far->hp, 1000);
  EXPECT_EQ(friendly->hp, 1000);
}

TEST_F(HitFixture, NoHitInTheFirstTwoStepsNorBeyondTheClassRange) {
  AddVictim(victimType, "red", Vec3{0, 100, 5});
  Unit* shot = Fire(gun, owner, Vec3{0, 100, 0}, Vec3{0, 0, 10});
  Step(*shot);  // ages 0 and 1 pass through it
  shot->SetObjectPosition(0, 100, 0);
  Step(*shot);
  EXPECT_EQ(shot->removalMark, 0);
  // Class 0 reaches 300 steps at speed 10; past them the victim is safe.
  gun->range[1] = 100000;
  units::UnitAge(*shot) = 301;
  shot->SetObjectPosition(0, 100, 0);
  shot->velocity = {0, 0, 10};
  Step(*shot);
  EXPECT_EQ(shot->removalMark, 0);
  units::UnitEvent e{};
  EXPECT_EQ(units::PopHitEvent(*owner, &e, 0), 0);
}

TEST_F(HitFixture, AnInertOrBarrierVictimStopsTheShotUnharmed) {
  Unit* wall = AddVictim(victimType, "red", Vec3{0, 100, 20});
  wall->flags |= units::kUnitBarrier;
  Unit* shot = Fire(gun, owner, Vec3{0, 100, 0}, Vec3{0, 0, 10});
  units::UnitAge(*shot) = 2;
  shot->SetObjectPosition(0, 100, 12);
  Step(*shot);
  EXPECT_EQ(shot->removalMark, 1);
  EXPECT_EQ(wall->hp, 1000);
  units::UnitEvent e{};
  ASSERT_EQ(units::PopHitEvent(*owner, &e, 0), 1);
  EXPECT_EQ(e.amount, 0);
}

TEST_F(HitFixture, AGunBurstWearsDownATargetWithinTheSpreadsBounds) {
  // Twenty shots at 10 a step from 150 away: a spread of at most 0.1 a step
  // on each axis and the drop keep every shot within the target's box.
  ownerType->gunType = gun;
  ownerType->gunPos[0] = {0, 0, 0};
  for (int b = 1; b < 4; b++) ownerType->gunPos[b] = {units::kUndefinedPoint, 0, 0};
  gun->speed = 10;
  gun->gunPrecision = 0.2f;
  gun->range[0] = 400;
  owner->SetObjectPosition(0, 100, 0);
  for (uint32_t seed = 0; seed < 8; seed++) {
    SCOPED_TRACE(seed);
    world.random.Seed(seed);
    Unit* target = AddVictim(victimType, "red", Vec3{0, 100, 150});
    std::vector<Unit*> shots;
    for (int i = 0; i < 20; i++) shots.push_back(units::ShootGunForward(world, *owner));
    for (int step = 0; step < 40; step++)
      for (Unit* shot : shots)
        if (!shot->removalMark) Step(*shot);
    for (Unit* shot : shots) EXPECT_EQ(shot->removalMark, 1);
    units::UnitEvent e{};
    EXPECT_EQ(units::PopHitEvent(*owner, &e, 0), 20);
    // Each hit takes 10, give or take the damage's own spread of 20 %.
    EXPECT_LE(target->hp, 1000 - 20 * 8);
    EXPECT_GE(target->hp, 1000 - 20 * 12);
    while (units::PopHitEvent(*owner, &e, 1) > 1) {
    }
    for (Unit* shot : shots) world::ReleaseUnit(world, shot);
    world::ReleaseUnit(world, target);
  }
}

TEST_F(HitFixture, AGrenadeIgnoresTheClassRangeAGunDoesNot) {
  gun->range[0] = 10;  // class 0: one step at speed 10
  gun->range[1] = 1000;
  struct Case {
    int32_t typeValue;
    bool hits;
  } cases[] = {{units::kTypeGun, false}, {units::kTypeBeam, false}, {units::kTypeGrenade, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typeValue);
    gun->typeValue = c.typeValue;
    Unit* victim = AddVictim(victimType, "red", Vec3{0, 100, 20});
    Unit* shot = Fire(gun, owner, Vec3{0, 100, 0}, Vec3{0, 0, 10});
    units::UnitAge(*shot) = 5;
    shot->SetObjectPosition(0, 100, 12);
    Step(*shot);
    EXPECT_EQ(victim->hp < 1000, c.hits);
    EXPECT_EQ(shot->removalMark, c.hits ? 1 : 0);
    world::ReleaseUnit(world, shot);
    world::ReleaseUnit(world, victim);
  }
}

TEST_F(HitFixture, AnAIShotHurtsOnlyItsTargetOutsideEvents) {
  Unit* aimedAt = AddVictim(victimType, "red", Vec3{0, 100, 500});
  struct Case {
    uint32_t ownerFlags;
    int eventMode;
    bool hurt;
  } cases[] = {{0, 0, false}, {units::kUnitPlayer, 0, true}, {0, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.ownerFlags << " event " << c.eventMode);
    owner->flags = c.ownerFlags;
    world.eventMode = c.eventMode;
    Unit* bystander = AddVictim(victimType, "red", Vec3{0, 100, 20});
    bystander->sceneNumber = c.eventMode;  // placed in the same scene as the shot
    Unit* shot = Fire(gun, owner, Vec3{0, 100, 0}, Vec3{0, 0, 10});
    shot->target = aimedAt;
    units::UnitAge(*shot) = 2;
    shot->SetObjectPosition(0, 100, 12);
    Step(*shot);
    EXPECT_EQ(shot->removalMark, 1);  // the shot is spent either way
    EXPECT_EQ(bystander->hp < 1000, c.hurt);
    world::ReleaseUnit(world, shot);
    world::ReleaseUnit(world, bystander);
  }
  EXPECT_EQ(aimedAt->hp, 1000);
}

TEST_F(HitFixture, ALaserBurnsEverySixthStepFromTwelveOn) {
  UnitType* laserType = AddType("laser", units::kTypeLaser);
  laserType->damage[0] = 10;
  owner->SetObjectPosition(0, 100, 0);
  Unit* victim = AddVictim(victimType, "red", Vec3{0, 100, 50});
  Unit* laser = Fire(laserType, owner, Vec3{0, 100, 0}, Vec3{0, 0, 1});
  units::SetUnitParent(*laser, owner);
  laser->SetObjectPosition(0, 0, 0);
  laser->SetObjectScale(1, 1, 100);  // the beam reaches 100 ahead
  std::vector<int32_t> burns;
  int32_t hp = victim->hp;
  for (int32_t age = 0; age <= 40; age++) {
    units::UpdateLaserUnit(world, *laser);
    units::UnitAge(*laser)++;
    if (victim->hp < hp) burns.push_back(age);
    hp = victim->hp;
  }
  EXPECT_EQ(burns, (std::vector<int32_t>{12, 18, 24, 30, 36}));
}

// [SECTION] Lasers

TEST(LaserAlpha, FadesInHoldsAndFadesOut) {
  struct Case {
    int32_t age;
    float before, after;
  } cases[] = {{0, 255, 16}, {1, 16, 32}, {14, 0, 240}, {15, 0, 255}, {59, 255, 255}, {60, 255, 247}, {90, 7, -1}};
  for (const Case& c : cases) EXPECT_FLOAT_EQ(units::LaserAlpha(c.age, c.before), c.after) << "age " << c.age;
}

TEST_F(ShotFixture, ALaserLivesUntilItsAlphaIsSpent) {
  UnitType* laserType = AddType("laser", units::kTypeLaser);
  Unit* owner = AddUnit(AddType("owner", units::kTypeAaLaserFixed), "blue", {});
  Unit* laser = Fire(laserType, owner, {}, {0, 0, 1});
  units::SetUnitParent(*laser, owner);
  int32_t age = 0;
  for (; age < 200 && !laser->removalMark; age++) {
    units::UpdateLaserUnit(world, *laser);
    units::UnitAge(*laser)++;
    float colour[4];
    laser->GetObjectColor(colour);
    if (age == 0) {
      EXPECT_NEAR(colour[3] * 255, 16, 1e-3);
    }
    if (age == 59) {
      EXPECT_NEAR(colour[3] * 255, 255, 1e-3);
    }
  }
  // Full until step 59, then 255 / 8: 32 more steps (the alpha below 1 at age
  // 91).
  EXPECT_EQ(age - 1, 91);
}

TEST_F(ShotFixture, ALaserAimsAtItsTargetFromItsParent) {
  UnitType* laserType = AddType("laser", units::kTypeLaser);
  Unit* owner = AddUnit(AddType("owner", units::kTypeAaLaserFixed), "blue", Vec3{10, 0, 0});
  Unit* target = AddUnit(AddType("target", units::kTypePlane), "red", Vec3{10, 0, 50});
  Unit* laser = Fire(laserType, owner, {}, {1, 0, 0});
  units::SetUnitParent(*laser, owner);
  laser->SetObjectPosition(0, 0, 0);
  laser->target = target;
  units::UpdateLaserUnit(world, *laser);
  Vec3 front = laser->GetObjectWorldFront();
  EXPECT_NEAR(front.x, 0, 1e-5);
  EXPECT_NEAR(front.z, 1, 1e-5);
}

}  // namespace
