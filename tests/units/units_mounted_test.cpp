// units_mounted_test.cpp -- mounted weapons (loading, each kind's shots and
// end), the swept hit test's results, explosions and sub-munitions.

#include <gtest/gtest.h>

#include <cmath>

#include "units_weapon_fixture.h"

namespace {

using unittest::WeaponWorld;
using units::Unit;
using units::UnitType;
using units::Vec3;

class MountedTest : public WeaponWorld {
 protected:
  UnitType& carrierType = AddType("CARRIER", units::kTypePlane);
  UnitType& shotType = AddType("SHOT", units::kTypeGun);
  UnitType& laserType = AddType("LASER", units::kTypeLaser);
  UnitType& missileType = AddType("MSL", units::kTypeMissile);
  UnitType& mountType = AddType("MOUNT", units::kTypeMountedCannon);
  Unit* carrier = nullptr;

  void SetUp() override {
    carrierType.defense = 100;
    shotType.attributes = units::kAttrWeapon;
    laserType.attributes = units::kAttrWeapon;
    missileType.attributes = units::kAttrWeapon;
    mountType.attributes = units::kAttrWeapon | units::kAttrMounted;
    mountType.reloadTime = 100;
    mountType.gunType = &shotType;
    mountType.weaponTypes[0] = &missileType;
    carrier = Put(carrierType, "A", {0, 10, 0});
    carrier->velocity = {0, 0, 1};
  }

  // A mounted weapon on the carrier, facing its front.
  Unit* Mount(int32_t kind) {
    mountType.typeValue = kind;
    Unit* w = Spawn(mountType, carrier, {0, 0, 0}, {0, 0, 1});
    if (!w) return nullptr;
    units::SetUnitParent(*w, carrier);
    w->SetObjectPosition(1, 0, 0);
    w->SetObjectAngles(0, 0, 0);
    return w;
  }
};

// Loading counts up to RELOAD_TIME, then the weapon is ready (shown on the
// player's unit only, or in an event scene).
TEST_F(MountedTest, LoadsThenWaitsReady) {
  mountType.reloadTime = 3;
  Unit* w = Mount(units::kTypeMountedCannon);
  ASSERT_NE(w, nullptr);
  for (int i = 0; i < 3; i++) units::UpdateUnit(world, *w);
  EXPECT_EQ(w->state, units::kUnitStateIdle);
  units::UpdateUnit(world, *w);
  EXPECT_EQ(w->state, units::kUnitStateReady);
  EXPECT_EQ(int32_t(w->behaviourWords[8]), 4);
  units::UpdateUnit(world, *w);
  EXPECT_EQ(w->IsObjectShown(), 0);  // not on the player's unit
  world.playerUnit = carrier;
  units::UpdateUnit(world, *w);
  EXPECT_EQ(w->IsObjectShown(), 1);
  world.playerUnit = nullptr;
}

// Each kind fired once: the units it makes, the steps until it is spent,
// and the spread of its shots about barrel x 2.5 + the carrier's velocity.
TEST_F(MountedTest, EachKindFiresItsShotsAndIsSpent) {
  struct Case {
    int32_t kind;
    const UnitType* made;
    int count;      // units made by one firing
    int steps;      // steps in state 2
    float spread;   // per axis: (rand % 10 - 4) x spread
    bool spreadZ;
  };
  const Case cases[] = {
      {units::kTypeMountedCannon + 1, &shotType, 69, 201, 0.004f, false},  // CHAINGUN
      {units::kTypeMountedCannon, &shotType, 1, 1, 0.004f, true},          // CANNON
      {units::kTypeMountedCannon + 2, &shotType, 20, 1, 0.04f, true},      // SHOTGUN
      {units::kTypeMountedCannon + 4, &missileType, 1, 1, 0, false},       // MISSILEPOD
      {units::kTypeMountedCannon + 3, &laserType, 1, 81, 0, false},        // LASER
      {units::kTypeMountedItem, nullptr, 0, 7, 0, false},                  // ITEM, POWER 5.5
  };
  mountType.power = 5.5f;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    mountType.gunType = c.kind == units::kTypeMountedCannon + 3 ? &laserType : &shotType;
    Unit* w = Mount(c.kind);
    ASSERT_NE(w, nullptr);
    units::SetUnitState(*w, units::kUnitStateLaunched, 0);
    int steps = 0;
    while (w->state == units::kUnitStateLaunched && steps < 400) {
      units::UpdateUnit(world, *w);
      steps++;
      if (c.kind == units::kTypeMountedCannon + 1 && steps == 101) {
        EXPECT_EQ(int32_t(w->behaviourWords[8]), 50);  // (200 - 100) x 100 / 200
      }
    }
    EXPECT_EQ(steps, c.steps);
    EXPECT_EQ(w->state, units::kUnitStateFreeFlight);
    EXPECT_EQ(int32_t(w->behaviourWords[8]), 0);
    if (c.made) {
      std::vector<Unit*> made = UnitsOf(*c.made);
      ASSERT_EQ(int(made.size()), c.count);
      for (Unit* u : made) {
        EXPECT_EQ(u->master, carrier);
        if (c.made != &shotType) continue;
        Vec3 off{u->velocity.x, u->velocity.y, u->velocity.z - 2.5f - 1.0f};
        for (float v : {off.x, off.y}) {
          EXPECT_GE(v, -4 * c.spread - 1e-6f);
          EXPECT_LE(v, 5 * c.spread + 1e-6f);
        }
        if (!c.spreadZ) EXPECT_NEAR(off.z, 0.0f, 1e-6f);
        else EXPECT_LE(std::fabs(off.z), 5 * c.spread + 1e-5f);
      }
      if (c.made == &missileType) {
        EXPECT_EQ(made[0]->state, units::kUnitStateLaunched);
        EXPECT_FLOAT_EQ(made[0]->velocity.z, 1.0f);
      }
      if (c.made == &laserType) {
        EXPECT_EQ(made[0]->parent, carrier);
        EXPECT_EQ(int32_t(made[0]->behaviourWords[8]), 10);
        EXPECT_FLOAT_EQ(made[0]->GetObjectScale().x, 0.25f);
        EXPECT_FLOAT_EQ(made[0]->GetObjectPosition().z, 0.4f);
      }
      for (Unit* u : made) {
        units::SetUnitParent(*u, nullptr);
        world::ReleaseUnit(world, u);
      }
    }
    // Spent: the counter stays 0 until the slot reloads it.
    units::UpdateUnit(world, *w);
    EXPECT_EQ(int32_t(w->behaviourWords[8]), 0);
    units::SetUnitParent(*w, nullptr);
    world::ReleaseUnit(world, w);
  }
}

// A weapon fired without a master does nothing and stays fired.
TEST_F(MountedTest, FiredWithoutMasterMakesNothing) {
  Unit* w = Mount(units::kTypeMountedCannon);
  ASSERT_NE(w, nullptr);
  units::SetUnitMaster(*w, nullptr);
  units::SetUnitState(*w, units::kUnitStateLaunched, 0);
  units::UpdateUnit(world, *w);
  EXPECT_EQ(w->state, units::kUnitStateLaunched);
  EXPECT_TRUE(UnitsOf(shotType).empty());
}

class SweepTest : public WeaponWorld {
 protected:
  UnitType& planeType = AddType("PLANE", units::kTypePlane);
  UnitType& missileType = AddType("MSL", units::kTypeMissile);
  Unit* shooter = nullptr;

  void SetUp() override {
    planeType.defense = 100;
    missileType.attributes = units::kAttrWeapon;
    missileType.damage[0] = 40;
    missileType.blast = 20;
    shooter = Put(planeType, "A", {0, 0, -1000});
  }
  // A projectile at `to`, moving 6 per step along +z.
  Unit* Projectile(Vec3 to) {
    Unit* p = Spawn(missileType, shooter, to, {0, 0, 6});
    if (p) units::SetUnitState(*p, units::kUnitStateLaunched, 0);
    return p;
  }
};

// The results: 0 nothing, 1 terrain, 3 a unit, 4 a unit and the fuse; a
// struck projectile is ended (999 from the next step).
TEST_F(SweepTest, ResultsForNothingTerrainUnitAndFuse) {
  AddGround();
  Unit* p = Projectile({0, 50, 100});
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(units::SweepHitUnits(world, *p, {0, 50, 94}, {0, 50, 100}, 1.0f), 0);
  EXPECT_EQ(p->pendingFlag, 0);

  EXPECT_EQ(units::SweepHitUnits(world, *p, {0, 3, 94}, {0, -3, 100}, 1.0f), 1);
  EXPECT_EQ(p->pendingState, units::kUnitStateDestroyed);

  Unit* victim = Put(planeType, "B", {0, 50, 202.5f});
  p = Projectile({0, 50, 200});
  EXPECT_EQ(units::SweepHitUnits(world, *p, {0, 50, 194}, {0, 50, 200}, 1.0f), 3);
  EXPECT_TRUE(HitOnly(*p, victim->unitId));
  EXPECT_TRUE(HitOnly(*shooter, victim->unitId));
  EXPECT_EQ(p->pendingState, units::kUnitStateDestroyed);

  // Off to the side beyond the radius factor: no unit hit.
  victim->SetObjectPosition(1.5f, 50, 202.5f);
  p = Projectile({0, 50, 200});
  EXPECT_EQ(units::SweepHitUnits(world, *p, {0, 50, 194}, {0, 50, 200}, 1.0f), 0);
  EXPECT_EQ(units::SweepHitUnits(world, *p, {0, 50, 194}, {0, 50, 200}, 2.0f), 3);

  // Fused: the nearest unit (2.5 away) is farther than the smallest distance
  // seen (1), which lies within BLAST.
  victim->SetObjectPosition(0, 50, 202.5f);
  missileType.attributes |= units::kAttrNearfuse;
  p = Projectile({0, 50, 200});
  p->behaviourWords[9] = 1;
  EXPECT_EQ(units::SweepHitUnits(world, *p, {0, 50, 194}, {0, 50, 200}, 1.0f), 4);
}

// Its own team, an INERT or a BARRIER unit stops the projectile but takes
// no hit; the shooter's own parts and other scenes are passed through.
TEST_F(SweepTest, OwnTeamAndProtectedUnitsAreNotHurt) {
  struct Case {
    const char* name;
    const char* team;
    uint32_t flags;
    int scene;
    bool part;
    int result;
    bool booked;
  };
  const Case cases[] = {
      {"enemy", "B", 0, 0, false, 3, true},
      {"own team", "A", 0, 0, false, 3, false},
      {"barrier", "B", units::kUnitBarrier, 0, false, 3, false},
      {"inert", "B", units::kUnitInert, 0, false, 0, false},  // INERT small units are not struck
      {"other scene", "B", 0, 1, false, 0, false},
      {"shooter's part", "B", 0, 0, true, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Unit* victim = Put(planeType, c.team, {0, 50, 202.5f});
    victim->flags |= c.flags;
    victim->sceneNumber = c.scene;
    if (c.part) units::SetUnitParent(*victim, shooter);
    if (c.part) victim->SetObjectPosition(0, 50, 1202.5f);  // local to the shooter at z -1000
    Unit* p = Projectile({0, 50, 200});
    EXPECT_EQ(units::SweepHitUnits(world, *p, {0, 50, 194}, {0, 50, 200}, 1.0f), c.result);
    EXPECT_EQ(HitOnly(*p, victim->unitId), c.booked);
    Hits(*shooter);
    units::SetUnitParent(*victim, nullptr);
    world::ReleaseUnit(world, victim);
    world::ReleaseUnit(world, p);
  }
}

// A blast of BLAST 2 (or 0) still reaches 3; units beyond are untouched,
// its own team is never hurt.
TEST_F(SweepTest, BlastRadiusIsAtLeast3AndSparesItsOwnTeam) {
  Unit* near = Put(planeType, "B", {0, 0, 2.9f});
  Unit* far = Put(planeType, "B", {0, 0, -3.1f});
  Unit* own = Put(planeType, "A", {0, 0.5f, 0});
  Unit* p = Projectile({0, 100, 0});
  // Each blast is a new projectile: one that already hurt a unit is not its
  // enemy any more.
  for (float blast : {0.0f, 2.0f}) {
    SCOPED_TRACE(blast);
    missileType.blast = blast;
    Unit* shot = Projectile({0, 100, 0});
    EXPECT_EQ(units::ExplodeProjectile(world, *shot, {0, 0, 0}, {0, 1, 0}, 1, 0), 1);
    EXPECT_EQ(Hits(*shot), std::vector<int32_t>{near->unitId});
    world::ReleaseUnit(world, shot);
  }
  missileType.blast = 10;
  EXPECT_EQ(units::ExplodeProjectile(world, *p, {0, 0, 0}, {0, 1, 0}, 0, 0), 1);
  EXPECT_EQ(Hits(*p).size(), 2u);
  (void)far;
  (void)own;
}

TEST_F(SweepTest, AnExplosionWithNobodyInRangeReports0) {
  Put(planeType, "B", {0, 0, 50});
  Unit* p = Projectile({0, 100, 0});
  missileType.blast = 10;
  EXPECT_EQ(units::ExplodeProjectile(world, *p, {0, 0, 0}, {0, 1, 0}, 1, 0), 0);
  EXPECT_TRUE(Hits(*p).empty());
}

// A sub-munition leaves at its TIME with the projectile's master, flying;
// a remote projectile or a bad entry spawns none; AUTOLOCK without a
// candidate keeps no target.
TEST_F(SweepTest, SubMunitionsSpawnAtTheirTime) {
  UnitType& childType = AddType("CHILD", units::kTypeMissile);
  childType.attributes = units::kAttrWeapon | units::kAttrAutolock;
  units::ScatterEntry entry;
  entry.key = "CHILD";
  entry.type = &childType;
  entry.time = 3;
  missileType.scatter.push_back(entry);
  missileType.range[0] = 0;

  Unit* p = Projectile({0, 100, 0});
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(units::SpawnSubMunition(world, *p, 1), 0);
  EXPECT_EQ(units::SpawnSubMunition(world, *p, -1), 0);
  p->flags |= units::kUnitRemote;
  EXPECT_EQ(units::SpawnSubMunition(world, *p, 0), 0);
  p->flags &= ~units::kUnitRemote;
  EXPECT_TRUE(UnitsOf(childType).empty());

  for (int i = 0; i < 4; i++) Step();
  std::vector<Unit*> children = UnitsOf(childType);
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0]->master, shooter);
  EXPECT_EQ(children[0]->target, nullptr);
  EXPECT_EQ(children[0]->state, units::kUnitStateLaunched);
  EXPECT_NEAR(children[0]->velocity.z, p->velocity.z, 0.5f);
}

}  // namespace
