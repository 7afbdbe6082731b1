// units_weapons_test.cpp -- weapon slots: arming and the ammunition triple,
// the children on the hard points and their labels, resupply, launching
// from a slot and firing the gun from its barrels.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>

#include "units/units_shots.h"
#include "units_typed_world.h"
#include "world/world_public.h"

namespace {

using units::Unit;
using units::UnitType;
using units::Vec3;

constexpr float kUndefined = units::kUndefinedPoint;

struct WeaponFixture : unitstest::TypedWorld {
  // A carrier with every hard point and barrel undefined and PAYLOAD 10 in
  // each slot.
  Unit* AddCarrier(UnitType* type, const char* team = "blue") {
    for (int s = 0; s < 4; s++) {
      type->payload[s] = 10;
      type->gunPos[s] = {kUndefined, 0, 0};
      for (int i = 0; i < 4; i++) type->weaponPos[s][i] = {kUndefined, 0, 0};
    }
    Unit* unit = world::AllocUnit(world);
    unit->type = type;
    unit->surface = &surface;
    units::SetUnitTeam(*unit, team);
    return unit;
  }
};

// [SECTION] Arming

TEST_F(WeaponFixture, SetWeaponFillsTheTripleFromPayloadAndReloadTime) {
  struct Case {
    int32_t payload, reloadTime, typeValue;
    bool kept;
    int32_t n;
  } cases[] = {
      {10, 4, units::kTypeMissile, true, 2},  {10, 20, units::kTypeMissile, true, 1},  // never 0 for a weapon that fits
      {10, 10, units::kTypeBomb, true, 1},    {9, 3, units::kTypeMissile, true, 3},
      {0, 4, units::kTypeMissile, false, 0},                                              // no payload: no weapon
      {10, 0, units::kTypeMissile, false, 0},                                             // no reload time: no weapon
      {10, 4, units::kTypeNone, false, 0},    {10, 4, units::kTypeMountedNone, true, 0},  // kept, but carries nothing
  };
  UnitType* carrierType = AddType("carrier", units::kTypePlane);
  UnitType* weapon = AddType("weapon", 0);
  Unit* unit = AddCarrier(carrierType);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "payload " << c.payload << " reload " << c.reloadTime << " type "
                                    << c.typeValue);
    carrierType->payload[1] = c.payload;
    weapon->reloadTime = c.reloadTime;
    weapon->typeValue = c.typeValue;
    unit->ammo[1][0] = unit->ammo[1][1] = unit->ammo[1][2] = 77;
    units::SetWeapon(world, *unit, 1, weapon);
    EXPECT_EQ(unit->weaponTypes[1], c.kept ? weapon : nullptr);
    EXPECT_EQ(unit->ammo[1][0], c.n);
    EXPECT_EQ(unit->ammo[1][1], c.n);
    EXPECT_EQ(unit->ammo[1][2], c.n);
  }
}

TEST_F(WeaponFixture, TheCurrentSlotMovesOnToTheNextLoadedSlot) {
  UnitType* none = AddType("none", units::kTypeMountedNone);
  UnitType* missile = AddType("missile", units::kTypeMissile);
  missile->reloadTime = 5;
  Unit* unit = AddCarrier(AddType("carrier", units::kTypePlane));

  units::SetWeapon(world, *unit, 0, none);
  units::SetWeapon(world, *unit, 1, none);
  EXPECT_EQ(unit->currentWeaponSlot, 0);  // all empty: slot 0

  unit->currentWeaponSlot = 3;
  units::SetWeapon(world, *unit, 2, missile);
  EXPECT_EQ(unit->currentWeaponSlot,
            2);  // 3 empty, wraps to 0, 1 empty, 2 loaded

  units::SetWeapon(world, *unit, 3, missile);
  EXPECT_EQ(unit->currentWeaponSlot, 2);  // a loaded current slot stays

  // -1 arms all four at once.
  units::SetWeapon(world, *unit, -1, missile);
  for (int s = 0; s < 4; s++) {
    EXPECT_EQ(unit->weaponTypes[s], missile);
    EXPECT_EQ(unit->ammo[s][0], 2);
  }
  // A slot outside 0..3 changes nothing.
  units::SetWeapon(world, *unit, 4, nullptr);
  units::SetWeapon(world, *unit, -2, nullptr);
  EXPECT_EQ(unit->weaponTypes[0], missile);
  EXPECT_EQ(unit->ammo[3][0], 2);
}

// [SECTION] Children on the hard points

TEST_F(WeaponFixture, ChildrenTakeTheSlotLabelsTheModelsUse) {
  const char* labels[4] = {"WeaponMain", "WeaponSub", "WeaponCenter", "WeaponExrtra"};
  UnitType* carrierType = AddType("carrier", units::kTypePlane);
  UnitType* missile = AddType("missile", units::kTypeMissile);
  missile->reloadTime = 5;
  Unit* unit = AddCarrier(carrierType);
  for (int s = 0; s < 4; s++) {
    carrierType->weaponPos[s][0] = {float(s), -1, 2};
    units::SetWeapon(world, *unit, s, missile);
    ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, s, 0), 0);
    Unit* child = unit->weaponChildren[s][0];
    ASSERT_NE(child, nullptr);
    EXPECT_STREQ(units::kWeaponSlotLabels[s], labels[s]);
    EXPECT_STREQ(child->label.Get(), labels[s]);
  }
}

TEST_F(WeaponFixture, SpawnPutsChildrenOnTheDefinedHardPointsOnly) {
  UnitType* carrierType = AddType("carrier", units::kTypePlane);
  UnitType* missile = AddType("missile", units::kTypeMissile);
  missile->reloadTime = 5;  // PAYLOAD 10: (2, 2, 2)
  Unit* unit = AddCarrier(carrierType);
  unit->SetObjectPosition(100, 50, 0);
  carrierType->weaponPos[0][1] = {2, -1, 0};
  carrierType->weaponPos[0][3] = {-2, -1, 0};
  carrierType->weaponRot[0][3] = {0, 0.5f, 0};
  units::SetWeapon(world, *unit, 0, missile);

  ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 0), 0);
  EXPECT_EQ(unit->weaponChildren[0][0], nullptr);
  EXPECT_EQ(unit->weaponChildren[0][2], nullptr);
  Unit* child = unit->weaponChildren[0][3];
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->parent, unit);
  EXPECT_EQ(child->master, unit);
  EXPECT_EQ(child->type, missile);
  EXPECT_STREQ(child->team.Get(), "blue");
  Vec3 at = child->GetObjectWorldPosition();
  EXPECT_NEAR(at.x, 98, 1e-4);
  EXPECT_NEAR(at.y, 49, 1e-4);
  EXPECT_NEAR(child->GetObjectAngles().y, 0.5f, 1e-6);
  EXPECT_EQ(child->state, units::kUnitStateIdle);  // loading, not ready
  EXPECT_EQ(child->behaviourWords[8], 0u);
  EXPECT_EQ(unit->ammo[0][1], 0);  // two children from a stock of 2

  // Filled hard points are not filled again; an empty stock spawns nothing.
  EXPECT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 0), -1);
  // Forced: the child is ready at once and the stock may go below 0.
  unit->weaponChildren[0][1] = nullptr;
  ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 1), 0);
  Unit* forced = unit->weaponChildren[0][1];
  ASSERT_NE(forced, nullptr);
  EXPECT_EQ(forced->state, units::kUnitStateReady);
  EXPECT_EQ(forced->behaviourWords[8], 5u);
  EXPECT_EQ(unit->ammo[0][1], -1);
  EXPECT_EQ(unit->weaponChildren[0][3], child);
}

TEST_F(WeaponFixture, SpawnRefusesWhatItCannotDo) {
  UnitType* carrierType = AddType("carrier", units::kTypePlane);
  UnitType* missile = AddType("missile", units::kTypeMissile);
  missile->reloadTime = 5;
  Unit* unit = AddCarrier(carrierType);
  // Four undefined hard points: nothing spawns, and that is no failure.
  units::SetWeapon(world, *unit, 2, missile);
  EXPECT_EQ(units::SpawnWeaponSlot(world, *unit, 2, 1), 0);
  for (Unit* child : unit->weaponChildren[2]) EXPECT_EQ(child, nullptr);

  carrierType->weaponPos[2][0] = {0, 0, 0};
  EXPECT_EQ(units::SpawnWeaponSlot(world, *unit, 1, 1),
            -1);  // no weapon in slot 1
  EXPECT_EQ(units::SpawnWeaponSlot(world, *unit, 4, 1), -1);
  EXPECT_EQ(units::SpawnWeaponSlot(world, *unit, -1, 1), -1);
  unit->flags |= units::kUnitRemote;  // another peer fills its own slots
  EXPECT_EQ(units::SpawnWeaponSlot(world, *unit, 2, 1), -1);
  EXPECT_EQ(unit->weaponChildren[2][0], nullptr);
}

TEST_F(WeaponFixture, AMountedWeaponBackFromFreeFlightIsCalledHome) {
  UnitType* carrierType = AddType("carrier", units::kTypePlane);
  UnitType* cannon = AddType("cannon", units::kTypeMountedCannon);
  cannon->attributes = units::kAttrMounted;
  cannon->reloadTime = 10;
  Unit* unit = AddCarrier(carrierType);
  carrierType->weaponPos[0][0] = {0, -1, 0};
  units::SetWeapon(world, *unit, 0, cannon);
  ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 1), 0);
  Unit* child = unit->weaponChildren[0][0];
  units::SetUnitState(*child, units::kUnitStateFreeFlight, 0);
  EXPECT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 1), 0);
  EXPECT_EQ(unit->weaponChildren[0][0], child);
  EXPECT_EQ(child->pendingFlag, 1);
  EXPECT_EQ(child->pendingState, units::kUnitStateIdle);
}

TEST_F(WeaponFixture, AChildReleasedByThePoolNoLongerHoldsItsHardPoint) {
  UnitType* carrierType = AddType("carrier", units::kTypePlane);
  UnitType* missile = AddType("missile", units::kTypeMissile);
  missile->reloadTime = 5;
  Unit* unit = AddCarrier(carrierType);
  carrierType->weaponPos[0][0] = {0, -1, 0};
  units::SetWeapon(world, *unit, 0, missile);
  ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 1), 0);
  Unit* child = unit->weaponChildren[0][0];
  world::ReleaseUnit(world, child);          // destroyed and gone: the record is free
  Unit* stranger = world::AllocUnit(world);  // and handed out again
  ASSERT_EQ(stranger, child);
  stranger->type = missile;
  units::SetUnitState(*stranger, units::kUnitStateReady, 0);

  // The stranger is not fired from the slot, and the hard point is filled anew.
  EXPECT_EQ(units::ShootMissile(world, *unit), nullptr);
  ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 1), 0);
  EXPECT_NE(unit->weaponChildren[0][0], nullptr);
  EXPECT_NE(unit->weaponChildren[0][0], stranger);
}

TEST_F(WeaponFixture, ReleaseEmptiesOneSlotOrAll) {
  UnitType* carrierType = AddType("carrier", units::kTypePlane);
  UnitType* missile = AddType("missile", units::kTypeMissile);
  missile->reloadTime = 1;
  Unit* unit = AddCarrier(carrierType);
  render::TextureHolder childSurface{};
  for (int s = 0; s < 4; s++) {
    carrierType->weaponPos[s][0] = {0, -1, float(s)};
    units::SetWeapon(world, *unit, s, missile);
    ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, s, 1), 0);
    unit->weaponChildren[s][0]->surface = &childSurface;
  }
  Unit* first = unit->weaponChildren[1][0];
  units::ReleaseWeaponChildren(world, *unit, 1);
  EXPECT_EQ(unit->weaponChildren[1][0], nullptr);
  EXPECT_EQ(first->surface, nullptr);  // nothing to show: the world lets it go
  EXPECT_NE(unit->weaponChildren[0][0], nullptr);

  units::ReleaseWeaponChildren(world, *unit, 9);  // no such slot: nothing
  EXPECT_NE(unit->weaponChildren[2][0], nullptr);
  units::ReleaseWeaponChildren(world, *unit, -1);
  for (auto& slot : unit->weaponChildren)
    for (Unit* child : slot) EXPECT_EQ(child, nullptr);
}

// [SECTION] Resupply

TEST_F(WeaponFixture, SupplyAddsAShareOfTheCapacityPlusOneUpToIt) {
  UnitType* carrierType = AddType("carrier", units::kTypePlane);
  UnitType* missile = AddType("missile", units::kTypeMissile);
  missile->reloadTime = 1;
  carrierType->payload[0] = 10;
  Unit* unit = AddCarrier(carrierType);
  carrierType->payload[0] = 10;
  units::SetWeapon(world, *unit, 0, missile);  // (10, 10, 10)
  struct Case {
    int32_t current, percent, expected;
  } cases[] = {{0, 0, 1}, {0, 50, 6}, {9, 0, 10}, {10, 0, 10}, {3, 100, 10}, {0, 2000000000, 10}, {5, -100, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.current << " + " << c.percent << "%");
    unit->ammo[0][0] = c.current;
    units::SupplyWeapon(world, *unit, 0, c.percent);
    EXPECT_EQ(unit->ammo[0][0], c.expected);
  }
  // A slot without a weapon takes nothing.
  units::SupplyWeapon(world, *unit, 1, 50);
  EXPECT_EQ(unit->ammo[1][0], 0);
}

TEST_F(WeaponFixture, SupplyRefillsTheHardPointsFromTheStock) {
  UnitType* carrierType = AddType("carrier", units::kTypePlane);
  UnitType* missile = AddType("missile", units::kTypeMissile);
  missile->reloadTime = 5;
  Unit* unit = AddCarrier(carrierType);
  carrierType->weaponPos[3][0] = {0, -1, 0};
  units::SetWeapon(world, *unit, 3, missile);
  units::SupplyWeapon(world, *unit, 3, 0);
  EXPECT_NE(unit->weaponChildren[3][0], nullptr);
  EXPECT_EQ(unit->ammo[3][1], 1);
}

// [SECTION] Launching

struct LaunchFixture : WeaponFixture {
  UnitType* carrierType = nullptr;
  UnitType* missile = nullptr;
  Unit* unit = nullptr;
  Unit* enemy = nullptr;

  void SetUp() override {
    carrierType = AddType("carrier", units::kTypePlane);
    missile = AddType("missile", units::kTypeMissile);
    missile->reloadTime = 5;
    missile->scale = {2, 2, 2};
    unit = AddCarrier(carrierType);
    carrierType->weaponPos[0][0] = {0, -1, 0};
    carrierType->weaponPos[0][1] = {3, -1, 0};
    units::SetWeapon(world, *unit, 0, missile);
    unit->SetObjectPosition(0, 100, 0);
    unit->velocity = {0, 0, 2};
    enemy = AddCarrier(AddType("enemy", units::kTypePlane), "red");
    enemy->SetObjectPosition(0, 100, 500);
  }
};

TEST_F(LaunchFixture, NothingReadyNothingLaunched) {
  ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 0), 0);  // loading, state 0
  EXPECT_EQ(units::ShootMissile(world, *unit), nullptr);
  EXPECT_NE(unit->weaponChildren[0][0], nullptr);
  EXPECT_NE(unit->weaponChildren[0][1], nullptr);
  unit->currentWeaponSlot = 7;  // a corrupt slot number is refused
  EXPECT_EQ(units::ShootMissile(world, *unit), nullptr);
}

TEST_F(LaunchFixture, ALockedLaunchLeavesTheHardPointTowardTheTarget) {
  ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 1), 0);
  Unit* second = unit->weaponChildren[0][1];
  units::SetUnitState(*unit->weaponChildren[0][0], units::kUnitStateIdle,
                      0);  // only the second is ready
  unit->lockWord = 1;
  unit->target = enemy;

  Unit* launched = units::ShootMissile(world, *unit);
  ASSERT_EQ(launched, second);
  EXPECT_EQ(unit->weaponChildren[0][1], nullptr);
  EXPECT_NE(unit->weaponChildren[0][0], nullptr);
  EXPECT_EQ(launched->parent, nullptr);
  Vec3 at = launched->GetObjectWorldPosition();
  EXPECT_NEAR(at.x, 3, 1e-4);
  EXPECT_NEAR(at.y, 99, 1e-4);
  EXPECT_FLOAT_EQ(launched->GetObjectScale().x, 2);
  EXPECT_EQ(launched->target, enemy);
  EXPECT_EQ(unit->launchTarget, int16_t(enemy->unitId));
  // Along the carrier's velocity plus the hard point's forward, at the
  // carrier's speed.
  EXPECT_NEAR(launched->velocity.x, 0, 1e-5);
  EXPECT_NEAR(launched->velocity.z, 2, 1e-5);
  EXPECT_EQ(launched->pendingFlag, 1);
  EXPECT_EQ(launched->pendingState, units::kUnitStateLaunched);
}

TEST_F(LaunchFixture, WithoutALockTheMissileFliesFree) {
  ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 1), 0);
  unit->target = enemy;
  unit->launchTarget = 9;
  Unit* first = unit->weaponChildren[0][0];
  Unit* launched = units::ShootMissile(world, *unit);
  ASSERT_EQ(launched, first);  // the first ready child goes
  EXPECT_EQ(launched->target, nullptr);
  EXPECT_EQ(unit->launchTarget, 0);
}

TEST_F(LaunchFixture, AMountedWeaponFiresWhereItSits) {
  UnitType* pod = AddType("pod", 47);  // MOUNTED_MISSILEPOD
  pod->attributes = units::kAttrMounted;
  pod->reloadTime = 5;
  units::SetWeapon(world, *unit, 0, pod);
  ASSERT_EQ(units::SpawnWeaponSlot(world, *unit, 0, 1), 0);
  Unit* mounted = unit->weaponChildren[0][0];
  EXPECT_EQ(units::ShootMissile(world, *unit), mounted);
  EXPECT_EQ(unit->weaponChildren[0][0], mounted);
  EXPECT_EQ(mounted->parent, unit);
  EXPECT_EQ(mounted->pendingState, units::kUnitStateLaunched);
}

// [SECTION] The gun

struct GunFixture : WeaponFixture {
  UnitType* carrierType = nullptr;
  UnitType* gun = nullptr;
  Unit* unit = nullptr;

  void SetUp() override {
    carrierType = AddType("carrier", units::kTypePlane);
    gun = AddType("gun", units::kTypeGun);
    gun->speed = 10;
    gun->gunPrecision = 0.2f;
    carrierType->gunType = gun;
    unit = AddCarrier(carrierType);
    carrierType->gunPos[0] = {1, 0, 2};
    carrierType->gunPos[1] = {-1, 0, 2};
    unit->SetObjectPosition(0, 100, 0);
    unit->velocity = {0, 0, 3};
  }
};

TEST_F(GunFixture, BarrelsTakeTurnsOverTheDefinedOnes) {
  std::vector<int> barrels;
  for (int i = 0; i < 4; i++) {
    barrels.push_back(unit->gunBarrel);
    ASSERT_NE(units::ShootGun(world, *unit, Vec3{0, 0, 100}), nullptr);
  }
  EXPECT_EQ(barrels, (std::vector<int>{0, 1, 0, 1}));

  carrierType->gunPos[2] = {0, 1, 2};
  carrierType->gunPos[3] = {0, -1, 2};
  std::vector<float> xs;
  for (int i = 0; i < 5; i++) {
    Unit* shot = units::ShootGunForward(world, *unit);
    ASSERT_NE(shot, nullptr);
    xs.push_back(shot->GetObjectPosition().x + 10 * (shot->GetObjectPosition().y - 100));
  }
  // From barrels 0, 1, 2, 3, 0: the shots start at each barrel in turn.
  EXPECT_EQ(xs, (std::vector<float>{1, -1, 10, -10, 1}));
}

TEST_F(GunFixture, NoGunOrNoBarrelNoShot) {
  carrierType->gunPos[0] = {kUndefined, 0, 0};
  EXPECT_EQ(units::ShootGun(world, *unit, Vec3{0, 0, 1}), nullptr);
  carrierType->gunPos[0] = {1, 0, 2};
  carrierType->gunType = nullptr;
  EXPECT_EQ(units::ShootGunForward(world, *unit), nullptr);
  unit->type = nullptr;
  EXPECT_EQ(units::ShootGunForward(world, *unit), nullptr);
}

TEST_F(GunFixture, ShotsSpreadWithinHalfThePrecisionOverSeeds) {
  // Fired straight ahead: velocity = own (0, 0, 3) + 10 forward + spread,
  // the spread on each axis one of -5..5 tenths of the precision.
  std::set<int> seen[3];
  for (uint32_t seed = 0; seed < 200; seed++) {
    world.random.Seed(seed);
    Unit* shot = units::ShootGun(world, *unit, Vec3{0, 0, 1});
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->master, unit);
    Vec3 spread = platform::Vec3Subtract(shot->velocity, Vec3{0, 0, 13});
    float axes[3] = {spread.x, spread.y, spread.z};
    for (int a = 0; a < 3; a++) {
      float steps = axes[a] / (0.1f * gun->gunPrecision);
      EXPECT_LE(std::fabs(steps), 5.0f + 1e-3f);
      EXPECT_NEAR(steps, std::round(steps),
                  1e-3);  // on the tenth-precision grid
      seen[a].insert(int(std::lround(steps)));
    }
    shot->removalMark = 1;
  }
  for (int a = 0; a < 3; a++) EXPECT_EQ(seen[a].size(), 11u);
}

TEST_F(GunFixture, ABurstFiresOneShotPerCall) {
  int before = 0;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) before += world::GetUnitAt(world, slot) ? 1 : 0;
  std::set<Unit*> shots;
  for (int i = 0; i < 10; i++) shots.insert(units::ShootGunForward(world, *unit));
  int after = 0;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) after += world::GetUnitAt(world, slot) ? 1 : 0;
  EXPECT_EQ(shots.size(), 10u);
  EXPECT_FALSE(shots.count(nullptr));
  EXPECT_EQ(after - before, 10);
}

TEST_F(GunFixture, ALaserGunHangsItsBeamOnTheBarrel) {
  gun->typeValue = units::kTypeLaser;
  Unit* laser = units::ShootGun(world, *unit, Vec3{0, 0, 50});
  ASSERT_NE(laser, nullptr);
  EXPECT_EQ(laser->parent, unit);
  EXPECT_EQ(laser->master, unit);
  Vec3 at = laser->GetObjectWorldPosition();
  EXPECT_NEAR(at.x, 1, 1e-4);
  EXPECT_NEAR(at.y, 100, 1e-4);
  EXPECT_NEAR(at.z, 2, 1e-4);
}

}  // namespace
