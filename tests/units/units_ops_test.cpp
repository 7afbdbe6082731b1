// units_ops_test.cpp -- unit operations: branch roots, HP, speed, texts,
// label paths, the event queues, wing deflection and view axes.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "units/units_local.h"
#include "world/world_public.h"

namespace {

using units::Unit;
using units::UnitEvent;
using units::Vec3;

struct BranchFixture : ::testing::Test {
  units::UnitType hullType, partType;
  Unit hull, part, subPart;

  void SetUp() override {
    partType.attributes = units::kAttrBranch;
    hull.type = &hullType;
    part.type = &partType;
    subPart.type = &partType;
    units::SetUnitParent(part, &hull);
    units::SetUnitParent(subPart, &part);
    hull.maxHp = 100;
    hull.hp = 40;
    part.maxHp = 10;
    part.hp = 10;
  }
};

TEST_F(BranchFixture, HitPointsOfAPartAreThoseOfItsRoot) {
  EXPECT_EQ(units::GetUnitRoot(&subPart), &hull);
  EXPECT_EQ(units::GetUnitHp(subPart), 40);
  EXPECT_FLOAT_EQ(units::GetUnitHpRatio(subPart), 0.4f);
  EXPECT_EQ(units::GetUnitDamageTaken(part), 60);
  EXPECT_EQ(units::SetUnitHp(subPart, -1, 0), 100);
  EXPECT_EQ(hull.hp, 100);
  EXPECT_EQ(part.hp, 10);
  units::SetUnitHp(part, 20, 50);
  EXPECT_EQ(hull.maxHp, 50);
  EXPECT_EQ(hull.hp, 20);
  // A parent that is not BRANCH itself ends the chain.
  hull.type = nullptr;
  EXPECT_EQ(units::GetUnitHp(part), 0);
  EXPECT_EQ(units::SetUnitHp(part, 5, 0), 20);  // nothing without a type
}

TEST_F(BranchFixture, SupplyHpStaysWithinZeroAndTheCapacity) {
  struct Case {
    int32_t percent;
    int32_t expected;
  };
  for (Case c : {Case{-200, 0}, Case{25, 65}, Case{500, 100}, Case{0, 40}, Case{-10, 30}}) {
    SCOPED_TRACE(c.percent);
    hull.hp = 40;
    EXPECT_EQ(units::SupplyHp(subPart, c.percent), c.expected);
    EXPECT_EQ(hull.hp, c.expected);
  }
  // A large capacity and percentage do not wrap.
  hull.maxHp = 2000000000;
  hull.hp = 0;
  EXPECT_EQ(units::SupplyHp(hull, 100), 2000000000);
}

TEST(UnitOps, SetUnitSpeedStopsKeepsDirectionOrOnlyStartsAChange) {
  Unit unit;
  unit.velocity = {3, 0, 4};
  units::SetUnitSpeed(unit, 10, 0);
  EXPECT_FLOAT_EQ(unit.velocity.x, 6);
  EXPECT_FLOAT_EQ(unit.velocity.z, 8);
  EXPECT_FLOAT_EQ(unit.speedTarget, 10);
  units::SetUnitSpeed(unit, 20, 0.5f);
  EXPECT_FLOAT_EQ(unit.velocity.x, 6);
  EXPECT_FLOAT_EQ(unit.speedRate, 0.5f);
  EXPECT_FLOAT_EQ(unit.speedTarget, 20);
  units::SetUnitSpeed(unit, 0, 0);
  EXPECT_FLOAT_EQ(platform::Vec3Length(unit.velocity), 0);
  EXPECT_FLOAT_EQ(unit.speedTarget, 0);
  EXPECT_FLOAT_EQ(unit.speedRate, 0);
  // From rest the unit sets off along its world front (+z unturned).
  units::SetUnitSpeed(unit, 2, 0);
  EXPECT_NEAR(unit.velocity.z, 2, 1e-5);
  units::SetUnitSpeed(unit, -3, 0);
  EXPECT_FLOAT_EQ(unit.speedTarget, 0);
}

TEST(UnitOps, FieldSettersClampAndConvert) {
  Unit unit;
  EXPECT_FLOAT_EQ(units::SetUnitLandingRate(unit, 1.5f), 1.0f);
  EXPECT_FLOAT_EQ(units::SetUnitLandingRate(unit, -2), 0.0f);
  units::SetUnitEngineRpm(unit, 0.25f);
  EXPECT_EQ(unit.engineRpm, 2500);
  EXPECT_FLOAT_EQ(units::SetUnitEngineRpm(unit, 3), 0.25f);
  EXPECT_EQ(units::StopGun(unit, 0x1FF), 0);
  EXPECT_EQ(unit.gunStop, 0xFF);
  EXPECT_EQ(units::StopWeapon(unit, 3, 1), 0);
  EXPECT_EQ(unit.weaponStops[3], 1);
  EXPECT_EQ(units::StopWeapon(unit, 4, 1), -1);
  EXPECT_EQ(units::StopWeapon(unit, -1, 1), -1);
  units::SetUnitJamming(unit, 0x2, 5);
  units::SetUnitJamming(unit, 0x4, 3);
  EXPECT_EQ(unit.flightWords[4], 0x6u);
  EXPECT_EQ(unit.flightWords[3], 5u);
  units::SetUnitJamming(unit, 0, 9);
  EXPECT_EQ(unit.flightWords[4], 0u);
  EXPECT_EQ(unit.flightWords[3], 0u);
  // No playing copy: the negative index comes back.
  EXPECT_EQ(units::StopUnitEngineSound(nullptr, unit), -1);
}

TEST(UnitOps, TeamNamesReachEveryWeaponChildAndTheirs) {
  Unit carrier, missile, pod, podMissile;
  carrier.weaponChildren[0][1] = &pod;
  carrier.weaponChildren[3][3] = &missile;
  pod.weaponChildren[2][0] = &podMissile;
  EXPECT_STREQ(units::SetUnitTeam(carrier, "blue"), "blue");
  EXPECT_STREQ(missile.team.Get(), "blue");
  EXPECT_STREQ(podMissile.team.Get(), "blue");
  units::SetUnitPrintedTeam(carrier, "BLUE FORCE");
  EXPECT_STREQ(podMissile.printedTeam.Get(), "BLUE FORCE");
  EXPECT_STREQ(podMissile.team.Get(), "blue");
}

TEST(UnitText, GrowsToFitAndKeepsItsBuffer) {
  units::UnitText text;
  EXPECT_STREQ(text.Get(), "");
  text.Set("a fairly long label");
  const char* buffer = text.Get();
  EXPECT_EQ(text.Set("short"), buffer);
  EXPECT_STREQ(text.Get(), "short");
  // Copying its own text into itself is safe.
  text.Set(text.Get());
  EXPECT_STREQ(text.Get(), "short");
  text.Set(nullptr);
  EXPECT_STREQ(text.Get(), "");
}

TEST(UnitOps, LabelPathsNameTheLabelledAncestorsOutermostFirst) {
  Unit ship, turret, gun, lone, anonymous;
  units::SetUnitLabel(ship, "ship");
  units::SetUnitLabel(turret, "turret1");
  units::SetUnitLabel(gun, "gun");
  units::SetUnitLabel(lone, "lone");
  units::SetUnitParent(turret, &ship);
  units::SetUnitParent(gun, &turret);
  // `anonymous` never had a label: it reads as the empty label and passes
  // the match on to its parent.
  units::SetUnitParent(anonymous, &turret);

  struct Case {
    Unit* unit;
    const char* path;
    bool matches;
  };
  const Case cases[] = {
      {&turret, "ship.turret1", true},
      {&turret, "turret1", false},          // a labelled parent must be named
      {&gun, "ship.turret1.gun", true},
      {&gun, "ship.turret.gun", true},      // a part matches labels beginning with it
      {&gun, "ship.gun", false},
      {&gun, "sh.turret1.gun", true},
      {&gun, "ship.turret1.gu", false},     // the last part must be whole
      {&lone, "lone", true},
      {&lone, "ship.lone", false},          // no parent to take the first part
      {&anonymous, "ship.turret1", true},
      {&anonymous, "ship.turret1.x", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const char* rest = units::MatchLabelPath(*c.unit, c.path, 0);
    EXPECT_EQ(rest != nullptr, c.matches);
    if (rest) {
      EXPECT_EQ(*rest, 0);
    }
  }
  // Inner matching hands back the rest after the consumed part.
  EXPECT_STREQ(units::MatchLabelPath(ship, "ship.turret1", 1), "turret1");
  EXPECT_EQ(units::MatchLabelPath(ship, nullptr, 0), nullptr);
}

struct QueueFixture : ::testing::Test {
  world::GameWorld world;
  Unit shooter, victim;
  void SetUp() override {
    shooter.unitId = 3;
    victim.unitId = 9;
  }
};

TEST_F(QueueFixture, PoppingTheOnlyEntryEmptiesTheQueue) {
  units::RecordDamageBy(victim, &shooter, 25);
  EXPECT_EQ(victim.damageByMark, 60);
  UnitEvent event{-1, -1};
  EXPECT_EQ(units::PopDamageEvent(victim, &event, 0), 1);  // peek
  EXPECT_EQ(units::PopDamageEvent(victim, &event, 1), 1);
  EXPECT_EQ(event.unitId, 3);
  EXPECT_EQ(event.amount, 25);
  event = {-1, -1};
  EXPECT_EQ(units::PopDamageEvent(victim, &event, 1), 0);
  EXPECT_EQ(event.unitId, 0);
  EXPECT_EQ(event.amount, 0);
  // A queue never made reads as empty too.
  EXPECT_EQ(units::PopHitEvent(victim, &event, 1), 0);
}

TEST_F(QueueFixture, QueuesStartAtSixteenAndDoubleKeepingOrder) {
  for (int i = 1; i <= 40; i++) units::RecordDamageBy(victim, nullptr, i);
  EXPECT_EQ(victim.damageByQueue.capacity, 64);
  UnitEvent event;
  for (int i = 1; i <= 40; i++) {
    ASSERT_EQ(units::PopDamageEvent(victim, &event, 1), 41 - i);
    // Damage without an attacker books unit id 0: the amount marks the entry.
    EXPECT_EQ(event.unitId, 0);
    EXPECT_EQ(event.amount, i);
  }
  Unit fresh;
  units::RecordKill(world, fresh, &victim);
  EXPECT_EQ(fresh.killQueue.capacity, 16);
}

TEST_F(QueueFixture, WhatTheQueuesBook) {
  // An INERT unit books no damage, nor does an amount of 0.
  victim.flags = units::kUnitInert;
  units::RecordDamageBy(victim, &shooter, 10);
  victim.flags = 0;
  units::RecordDamageBy(victim, &shooter, 0);
  EXPECT_EQ(units::PopDamageEvent(victim, nullptr, 0), 0);
  EXPECT_EQ(victim.damageByMark, 0);

  // A hit on an INERT victim books amount 0; hits and kills go to the root.
  units::UnitType hullType, partType;
  partType.attributes = units::kAttrBranch;
  Unit hull, part;
  hull.unitId = 20;
  part.unitId = 21;
  hull.type = &hullType;
  part.type = &partType;
  units::SetUnitParent(part, &hull);
  units::RecordHit(world, shooter, &part, 30);
  hull.flags = units::kUnitInert;
  units::RecordHit(world, shooter, &hull, 30);
  units::RecordHit(world, shooter, nullptr, 30);
  EXPECT_EQ(shooter.hitMark, 60);
  UnitEvent event;
  EXPECT_EQ(units::PopHitEvent(shooter, &event, 1), 2);
  EXPECT_EQ(event.unitId, 20);
  EXPECT_EQ(event.amount, 30);
  EXPECT_EQ(units::PopHitEvent(shooter, &event, 1), 1);
  EXPECT_EQ(event.unitId, 20);
  EXPECT_EQ(event.amount, 0);

  units::RecordKill(world, shooter, &part);
  EXPECT_EQ(units::PopDestroyEvent(shooter, &event, 1), 1);
  EXPECT_EQ(event.unitId, 20);
  EXPECT_EQ(shooter.killMark, 60);

  // A BRANCH attacker is booked as its root.
  units::RecordDamageBy(victim, &part, 7);
  EXPECT_EQ(units::PopDamageEvent(victim, &event, 1), 1);
  EXPECT_EQ(event.unitId, 20);
}

TEST(UnitOps, WingDeflectionFollowsTheControlsScaledByTheMastersRate) {
  units::UnitType carrierType;
  carrierType.vectorRate = 0.2f;  // written as 20
  Unit carrier, wing;
  wing.control = {0.5f, 0.25f, 0.9f};
  // Without a master there is no rate and so no deflection.
  Vec3 none = units::GetWingDeflection(wing, 1);
  EXPECT_FLOAT_EQ(none.x, 0);
  EXPECT_FLOAT_EQ(none.y, 0);
  wing.master = &carrier;
  EXPECT_FLOAT_EQ(units::GetWingDeflection(wing, 1).x, 0);  // a master without type
  carrier.type = &carrierType;
  const float k = units::kDegreesToRadians;
  Vec3 right = units::GetWingDeflection(wing, 1);
  EXPECT_NEAR(right.x, 20 * -0.75f * k, 1e-6);
  EXPECT_NEAR(right.y, 20 * 0.3f * k, 1e-6);
  EXPECT_FLOAT_EQ(right.z, 0);
  Vec3 left = units::GetWingDeflection(wing, -1);
  EXPECT_NEAR(left.x, 20 * 0.25f * k, 1e-6);
  Vec3 tail = units::GetWingDeflection(wing, 0);
  EXPECT_NEAR(tail.x, 20 * -0.25f * k, 1e-6);
  EXPECT_FLOAT_EQ(tail.y, 0);
  // The angle is clamped to one, the rate to 30 degrees.
  carrierType.vectorRate = 0.9f;
  wing.control = {2, 2, 0};
  EXPECT_NEAR(units::GetWingDeflection(wing, 1).x, -30 * k, 1e-6);
}

TEST(UnitOps, ViewAxesTurnByYawThenPitch) {
  Unit unit;
  Vec3 direction, up;
  units::GetUnitViewAxes(unit, &direction, &up, nullptr, nullptr);
  EXPECT_NEAR(direction.z, 1, 1e-5);
  EXPECT_NEAR(up.y, 1, 1e-5);
  unit.viewYaw = 1.5707963f;
  units::GetUnitViewAxes(unit, &direction, &up, nullptr, nullptr);
  EXPECT_NEAR(std::fabs(direction.x), 1, 1e-5);
  EXPECT_NEAR(up.y, 1, 1e-5);
  // A pitch turns forward and up together, keeping them square.
  unit.viewYaw = 0;
  unit.viewPitch = 0.5f;
  units::GetUnitViewAxes(unit, &direction, &up, nullptr, nullptr);
  EXPECT_NEAR(std::fabs(direction.y), std::sin(0.5f), 1e-5);
  EXPECT_NEAR(platform::Vec3Dot(direction, up), 0, 1e-5);
  // Given vectors replace the unit's own.
  Vec3 from{1, 0, 0}, fromUp{0, 1, 0};
  unit.viewPitch = 0;
  units::GetUnitViewAxes(unit, &direction, nullptr, &from, &fromUp);
  EXPECT_NEAR(direction.x, 1, 1e-5);
}

TEST(UnitOps, HeadPositionIsTheTypesPointInTheWorld) {
  units::UnitType type;
  type.headPos = {0, 2, 1};
  Unit unit;
  unit.SetObjectPosition(10, 0, 0);
  EXPECT_NEAR(units::GetUnitHeadPos(unit).x, 10, 1e-5);
  unit.type = &type;
  Vec3 head = units::GetUnitHeadPos(unit);
  EXPECT_NEAR(head.x, 10, 1e-5);
  EXPECT_NEAR(head.y, 2, 1e-5);
  EXPECT_NEAR(head.z, 1, 1e-5);
}

}  // namespace
