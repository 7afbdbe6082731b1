// units_damage_test.cpp -- damage (spread, one hit per shot, the rules that
// spare a victim, destruction and its chain, damage levels), the hit
// message's wire coding, AI and player targeting, the enemy and lock-on
// tests.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>

#include "core/core_public.h"
#include "test_support.h"
#include "units/units_combat.h"
#include "units/units_local.h"
#include "world/world_public.h"

namespace {

using units::Unit;
using units::UnitType;
using units::Vec3;

// A world with a few unit kinds; units are placed as the world places them
// (never the player unless asked) and given something to show.
struct DamageWorld : ::testing::Test {
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  world::GameWorld world;
  render::TextureHolder surface{};
  UnitType* plane = nullptr;   // an aircraft with a HUD name, class 0
  UnitType* tank = nullptr;    // a ground unit with a HUD name, class 2
  UnitType* shot = nullptr;    // a gun shot (WEAPON)
  UnitType* dust = nullptr;

  void SetUp() override {
    world.log = &log;
    plane = AddType("plane", 100, 0, 0);
    tank = AddType("tank", 100, 2, 0);
    shot = AddType("shot", 1, 0, units::kAttrWeapon);
    shot->hudNameFile.clear();
    dust = AddType("dust", 1, 0, 0);
    dust->hudNameFile.clear();
    world.dustTypes[0] = dust;
  }

  UnitType* AddType(const char* key, int32_t defense, int mode, uint32_t attributes) {
    auto type = std::make_unique<UnitType>();
    type->key = type->name = key;
    type->defense = defense;
    type->mode = mode;
    type->attributes = attributes;
    type->hudNameFile = std::string(key) + "_name.png";
    UnitType* raw = type.get();
    world.unitDatabase->types.push_back(std::move(type));
    return raw;
  }

  Unit* Put(const char* team, UnitType* type, Vec3 at = {}, Unit* parent = nullptr) {
    Unit* u = world::PutUnit(world, team, type, 1, "", world::kPutNotPlayer, at, Vec3{}, parent);
    EXPECT_NE(u, nullptr);
    if (u) u->surface = &surface;
    return u;
  }
  // A shot fired by `owner` (its team and master).
  Unit* Fire(Unit* owner) {
    Unit* s = world::SpawnOwnedUnit(world, Vec3{}, Vec3{0, 0, 1}, owner, shot);
    EXPECT_NE(s, nullptr);
    if (s) s->surface = &surface;
    return s;
  }
  // Seeds the world's generator so that the next hit takes exactly its
  // amount (the spread's middle step).
  void SeedForFullAmount() {
    for (uint32_t seed = 0;; seed++) {
      core::RandomGenerator probe;
      probe.Seed(seed);
      if (probe.Next() % 5 == 2) {
        world.random.Seed(seed);
        return;
      }
    }
  }
  int CountLive(const UnitType* type) {
    int n = 0;
    for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
      Unit* u = world::GetUnitAt(world, slot);
      if (u && u->type == type) n++;
    }
    return n;
  }
};

// [SECTION] The spread and one hit per shot

TEST_F(DamageWorld, EveryHitTakes80To120PercentAndAllFiveStepsOccur) {
  Unit* victim = Put("red", plane);
  for (int32_t amount : {10, 7, 50, 1234}) {
    SCOPED_TRACE(amount);
    std::set<int32_t> seen;
    for (uint32_t seed = 0; seed < 300; seed++) {
      victim->hp = victim->maxHp = 100000;
      world.random.Seed(seed * 7919u + 1u);
      int32_t left = units::ApplyDamage(world, victim, amount, 0, nullptr, nullptr);
      int32_t taken = 100000 - left;
      ASSERT_EQ(left, victim->hp);
      ASSERT_GE(int64_t(taken) * 10, int64_t(amount) * 8 - 9);  // truncated 80 %
      ASSERT_LE(int64_t(taken) * 10, int64_t(amount) * 12);
      bool onStep = false;
      for (int k = 8; k <= 12; k++) onStep |= taken == amount * k / 10;
      ASSERT_TRUE(onStep) << taken;
      seen.insert(taken);
    }
    std::set<int32_t> steps;
    for (int k = 8; k <= 12; k++) steps.insert(amount * k / 10);
    EXPECT_EQ(seen, steps);
  }
}

TEST_F(DamageWorld, ABurstOfShotsEndsWithinTheSpreadOverManySeeds) {
  Unit* gunner = Put("blue", plane);
  Unit* victim = Put("red", tank);
  constexpr int kShots = 12;
  constexpr int32_t kAmount = 25, kHp = 1000;
  for (uint32_t seed = 0; seed < 50; seed++) {
    victim->hp = victim->maxHp = kHp;
    world.random.Seed(seed);
    for (int i = 0; i < kShots; i++) {
      Unit* s = Fire(gunner);
      units::ApplyDamage(world, victim, kAmount, 29, gunner, s);
      units::ApplyDamage(world, victim, kAmount, 29, gunner, s);  // still inside: no second hit
      world::ReleaseUnit(world, s);
    }
    ASSERT_GE(victim->hp, kHp - kShots * kAmount * 12 / 10);
    ASSERT_LE(victim->hp, kHp - kShots * (kAmount * 8 / 10));
  }
}

TEST_F(DamageWorld, AShotHurtsOnceButAReusedRecordIsANewShot) {
  Unit* gunner = Put("blue", plane);
  Unit* victim = Put("red", plane);
  victim->hp = victim->maxHp = 1000;
  Unit* first = Fire(gunner);
  int32_t after = units::ApplyDamage(world, victim, 100, 29, gunner, first);
  EXPECT_LT(after, 1000);
  EXPECT_EQ(units::ApplyDamage(world, victim, 100, 29, gunner, first), after);
  EXPECT_EQ(victim->hp, after);
  // The victim is not the enemy of the shot that last hurt it.
  EXPECT_EQ(units::IsEnemyUnit(world, *first, *victim), 0);

  // Released and handed out again: the same record, another shot.
  world::ReleaseUnit(world, first);
  Unit* second = Fire(gunner);
  ASSERT_EQ(second, first);
  EXPECT_EQ(units::IsEnemyUnit(world, *second, *victim), 1);
  int32_t again = units::ApplyDamage(world, victim, 100, 29, gunner, second);
  EXPECT_LT(again, after);
  // Hits without a shot always count.
  EXPECT_LT(units::ApplyDamage(world, victim, 100, 0, gunner, nullptr), again);
}

// [SECTION] What spares a victim

TEST_F(DamageWorld, SameTeamShotsDoNothingButStillCountAsTheHit) {
  Unit* gunner = Put("red", plane);
  Unit* victim = Put("red", plane);
  victim->hp = victim->maxHp = 100;
  Unit* s = Fire(gunner);
  EXPECT_EQ(units::ApplyDamage(world, victim, 50, 29, gunner, s), 100);
  EXPECT_EQ(victim->lastDamageSource, s);
  // A hit of nothing still jolts a flying unit.
  EXPECT_FLOAT_EQ(std::fabs(victim->control.x), 0.5f);
  EXPECT_EQ(units::PopDamageEvent(*victim, nullptr, 0), 0);
}

TEST_F(DamageWorld, GhostInertBranchAndPlayerHitsOnlyRules) {
  Unit* player = Put("blue", plane);
  world.playerUnit = player;
  Unit* other = Put("blue", plane);

  // GHOST: only the kill amount.
  UnitType* ghost = AddType("ghost", 100, 0, units::kAttrGhost);
  Unit* g = Put("red", ghost);
  EXPECT_EQ(units::ApplyDamage(world, g, 50, 1, player, nullptr), 100);
  EXPECT_EQ(units::ApplyDamage(world, g, 999998, 1, player, nullptr), 100);
  EXPECT_EQ(units::ApplyDamage(world, g, units::kKillDamage, 1, player, nullptr), 0);
  EXPECT_EQ(g->state, units::kUnitStateDestroyed);

  // INERT: nothing at all, not even the shot booked.
  Unit* crate = Put("red", plane);
  crate->flags |= units::kUnitInert;
  Unit* s = Fire(player);
  EXPECT_EQ(units::ApplyDamage(world, crate, units::kKillDamage, 1, player, s), 100);
  EXPECT_EQ(crate->lastDamageSource, nullptr);
  EXPECT_EQ(crate->state, 0);

  // BRANCH: a part passes the hit to the root of its chain; without parent
  // it takes it itself.
  UnitType* branch = AddType("turret", 30, 2, units::kAttrBranch);
  Unit* hull = Put("red", tank);
  Unit* turret = Put("red", branch, Vec3{}, hull);
  Unit* barrel = Put("red", branch, Vec3{}, turret);
  EXPECT_EQ(units::ApplyDamage(world, barrel, 50, 1, player, Fire(player)), hull->hp);
  EXPECT_LT(hull->hp, 100);
  EXPECT_EQ(turret->hp, 30);
  EXPECT_EQ(barrel->hp, 30);
  EXPECT_NE(hull->lastDamageSource, nullptr);
  EXPECT_EQ(barrel->lastDamageSource, nullptr);
  Unit* loose = Put("red", branch);
  EXPECT_LT(units::ApplyDamage(world, loose, 10, 1, player, nullptr), 30);

  // PLAYER_HITS_ONLY: shots owned by another unit do nothing; the player's
  // and ownerless ones hurt.
  struct Case {
    Unit* owner;
    bool hurts;
  };
  for (Case c : {Case{other, false}, Case{player, true}, Case{nullptr, true}}) {
    Unit* guarded = Put("red", plane);
    guarded->flags |= units::kUnitPlayerHitsOnly;
    Unit* shotOf = Fire(c.owner);
    shotOf->team.Set("blue");  // an ownerless shot has no team either
    int32_t left = units::ApplyDamage(world, guarded, 50, 1, c.owner, shotOf);
    EXPECT_EQ(left < 100, c.hurts) << (c.owner ? c.owner->unitId : 0);
  }
}

TEST_F(DamageWorld, InvulnerableDestroyedAndUnfallingUnits) {
  Unit* gunner = Put("blue", plane);
  Unit* victim = Put("red", plane);
  victim->invulnerableSteps = 3;
  Unit* s = Fire(gunner);
  EXPECT_EQ(units::ApplyDamage(world, victim, 50, 1, gunner, s), 100);
  EXPECT_EQ(victim->lastDamageSource, s);  // booked before the test

  victim->invulnerableSteps = 0;
  victim->state = 950;
  EXPECT_EQ(units::ApplyDamage(world, victim, 50, 1, gunner, nullptr), 100);

  // HP of the kill amount or more never falls, yet the hit is booked.
  victim->state = 0;
  victim->hp = victim->maxHp = units::kKillDamage;
  EXPECT_EQ(units::ApplyDamage(world, victim, 50, 1, gunner, nullptr), units::kKillDamage);
  units::UnitEvent e{};
  EXPECT_EQ(units::PopDamageEvent(*victim, &e, 1), 1);
  EXPECT_EQ(e.unitId, gunner->unitId);
  EXPECT_GE(e.amount, 40);
}

TEST_F(DamageWorld, ANegativeAmountNeitherHealsNorHurts) {
  Unit* victim = Put("red", plane);
  victim->hp = 40;
  for (uint32_t seed = 0; seed < 20; seed++) {
    world.random.Seed(seed);
    EXPECT_EQ(units::ApplyDamage(world, victim, -50, 1, nullptr, nullptr), 40);
  }
  EXPECT_EQ(units::ApplyDamage(world, victim, INT32_MIN, 1, nullptr, nullptr), 40);
  // A huge amount does not wrap into a heal.
  EXPECT_EQ(units::ApplyDamage(world, victim, 900000000, 1, nullptr, nullptr), 0);
}

TEST_F(DamageWorld, ACrashDestroysTheUnitThatBooksItselfAsSource) {
  Unit* victim = Put("red", plane);
  EXPECT_EQ(units::ApplyDamage(world, victim, units::kKillDamage, 0, victim, victim), 0);
  EXPECT_EQ(victim->state, units::kUnitStateDestroyed);
  // Even a unit only the player may hurt, carried by another, is not
  // spared its own crash.
  Unit* carrier = Put("red", tank);
  Unit* guarded = Put("red", plane, Vec3{}, carrier);
  guarded->flags |= units::kUnitPlayerHitsOnly;
  EXPECT_EQ(units::ApplyDamage(world, guarded, units::kKillDamage, 0, guarded, guarded), 0);
  // The team rule still holds for shots of the same team.
  Unit* friendShot = Fire(carrier);
  Unit* mate = Put("red", plane);
  EXPECT_EQ(units::ApplyDamage(world, mate, units::kKillDamage, 0, carrier, friendShot), 100);
}

// [SECTION] Damage levels and destruction

TEST_F(DamageWorld, DamageLevelsFollowTheHpRatio) {
  struct Case {
    int32_t from, damage;
    int32_t level;
  };
  // Of 1000 HP. From 70 % to 10 % in one hit raises 1, 2 and 4 in turn.
  for (Case c : {Case{1000, 200, 0}, Case{700, 200, 1}, Case{700, 350, 2}, Case{700, 600, 4}, Case{500, 200, 2},
                 Case{300, 150, 4}, Case{150, 50, 0}, Case{600, 10, 0}, Case{610, 10, 1}, Case{410, 10, 2},
                 Case{210, 10, 4}}) {
    SCOPED_TRACE(c.from * 1000 + c.damage);
    Unit* victim = Put("red", plane);
    victim->maxHp = 1000;
    victim->hp = c.from;
    SeedForFullAmount();
    EXPECT_EQ(units::ApplyDamage(world, victim, c.damage, 0, nullptr, nullptr), c.from - c.damage);
    EXPECT_EQ(victim->damageLevel, c.level);
    world::ReleaseUnit(world, victim);
  }
}

TEST_F(DamageWorld, DestructionBooksTheKillAndTakesAttachedPartsAlong) {
  Unit* gunner = Put("blue", plane);
  Unit* carrier = Put("red", tank);
  Unit* part = Put("red", plane, Vec3{}, carrier);
  Unit* subPart = Put("red", plane, Vec3{}, part);
  Unit* missile = Put("red", shot, Vec3{}, carrier);
  carrier->velocity = {1, 0, 0};
  carrier->counter = 40;
  Unit* s = Fire(gunner);

  EXPECT_EQ(units::ApplyDamage(world, carrier, units::kKillDamage, 3, gunner, s), 0);
  EXPECT_EQ(carrier->state, units::kUnitStateDestroyed);
  EXPECT_EQ(carrier->pendingState, units::kUnitStateDestroyed);
  EXPECT_EQ(units::UnitAge(*carrier), 0);
  EXPECT_EQ(carrier->score, 0);
  EXPECT_EQ(carrier->damageLevel, 0);
  EXPECT_STREQ(carrier->team.Get(), "");
  EXPECT_STREQ(carrier->printedTeam.Get(), "");
  EXPECT_LE(std::abs(int32_t(carrier->behaviourWords[8])), 2);
  EXPECT_LE(std::abs(int32_t(carrier->behaviourWords[10])), 10);
  // The attacker has the kill of the carrier first, then of each part.
  units::UnitEvent e{};
  EXPECT_EQ(units::PopDestroyEvent(*gunner, &e, 0), 3);
  EXPECT_EQ(e.unitId, carrier->unitId);

  // The parts went down with it; the weapon child did not.
  EXPECT_EQ(part->state, units::kUnitStateDestroyed);
  EXPECT_EQ(subPart->state, units::kUnitStateDestroyed);
  EXPECT_EQ(part->hp, 0);
  EXPECT_EQ(missile->state, 0);
  // Five pieces of debris from the carrier; the parts (kind -1) made none.
  EXPECT_EQ(CountLive(dust), 5);
  // The population statistics saw it destroyed.
  world::PopulationRecord* record = world::FindNamedRecord(world, "red");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->destroyed[2], 1);
}

TEST_F(DamageWorld, DebrisByKind) {
  struct Case {
    int32_t kind, amount, hp;
    int debris;
  };
  // Heavy hits (damage above 30) of a positive kind throw two pieces,
  // destruction five; kind 0 and negative kinds none.
  for (Case c : {Case{1, 100, 1000, 2}, Case{0, 100, 1000, 0}, Case{1, 20, 1000, 0}, Case{-1, 100, 1000, 0},
                 Case{2, units::kKillDamage, 100, 5}, Case{0, units::kKillDamage, 100, 0},
                 Case{-1, units::kKillDamage, 100, 0}}) {
    SCOPED_TRACE(c.kind * 10 + c.debris);
    Unit* victim = Put("red", plane);
    victim->hp = victim->maxHp = c.hp;
    int before = CountLive(dust);
    units::ApplyDamage(world, victim, c.amount, c.kind, nullptr, nullptr);
    EXPECT_EQ(CountLive(dust) - before, c.debris);
  }
}

TEST_F(DamageWorld, ARemoteVictimIsLeftToItsPeer) {
  world.networkGame = 1;
  Unit* local = Put("red", plane);
  Unit* copy = Put("red", plane);
  copy->flags |= units::kUnitRemote;
  EXPECT_EQ(units::ApplyDamage(world, copy, 50, 1, nullptr, nullptr), 100);
  EXPECT_LT(units::ApplyDamage(world, local, 50, 1, nullptr, nullptr), 100);
  // Outside a network game there are no copies: every unit is simulated here.
  world.networkGame = 0;
  EXPECT_LT(units::ApplyDamage(world, copy, 50, 1, nullptr, nullptr), 100);
}

// [SECTION] The hit message on the wire

TEST(HitWire, AKillKeepsItsMeaningAndAmountsStayInRange) {
  struct Case {
    int32_t amount;
    int16_t wire;
    int32_t back;
  };
  for (Case c : {Case{units::kKillDamage, units::kHitAmountKill, units::kKillDamage}, Case{0, 0, 0},
                 Case{12, 12, 12}, Case{32766, 32766, 32766}, Case{32767, 32766, 32766},
                 Case{40000, 32766, 32766}, Case{-5, 0, 0}, Case{1000000, 32766, 32766}}) {
    SCOPED_TRACE(c.amount);
    EXPECT_EQ(units::EncodeHitAmount(c.amount), c.wire);
    EXPECT_EQ(units::DecodeHitAmount(c.wire), c.back);
  }
  // A negative value from the wire hurts nothing.
  EXPECT_EQ(units::DecodeHitAmount(-3), 0);
}

TEST(HitWire, TheRecordIsTwelveLittleEndianBytes) {
  units::HitRecord record;
  record.victimId = 0x03000102;
  record.attackerId = -1;
  record.amount = units::kKillDamage;
  record.kind = -1;
  uint8_t bytes[units::kHitRecordBytes];
  units::WriteHitRecord(record, bytes);
  const uint8_t expected[units::kHitRecordBytes] = {0x02, 0x01, 0x00, 0x03, 0xFF, 0xFF,
                                                    0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF};
  for (int i = 0; i < units::kHitRecordBytes; i++) EXPECT_EQ(bytes[i], expected[i]) << i;
  units::HitRecord back = units::ReadHitRecord(bytes);
  EXPECT_EQ(back.victimId, record.victimId);
  EXPECT_EQ(back.attackerId, -1);
  EXPECT_EQ(back.amount, units::kKillDamage);
  EXPECT_EQ(back.kind, -1);
  record.amount = 300;
  record.kind = 29;
  units::WriteHitRecord(record, bytes);
  back = units::ReadHitRecord(bytes);
  EXPECT_EQ(back.amount, 300);
  EXPECT_EQ(back.kind, 29);
}

// [SECTION] AI targeting

struct AutoTargetWorld : DamageWorld {
  Unit* ai = nullptr;
  void SetUp() override {
    DamageWorld::SetUp();
    ai = Put("blue", plane);  // at the origin, facing +z: it measures from (0, 0, 100)
  }
  // Runs the choice in a step where this unit chooses.
  Unit* Choose() {
    ai->counter = ai->unitId % 60 + 120;
    units::AutoSelectTarget(world, *ai);
    return ai->target;
  }
};

TEST_F(AutoTargetWorld, TheNearestToThePointAheadWinsAndTiesKeepTheEarlierSlot) {
  Unit* behind = Put("red", plane, {0, 0, -100});  // 200 from the point ahead
  Unit* ahead = Put("red", plane, {0, 0, 150});    // 50
  EXPECT_EQ(Choose(), ahead);
  Unit* twin = Put("red", plane, {0, 0, 50});      // also 50, a later slot
  EXPECT_EQ(Choose(), ahead);
  (void)twin;
  // Beyond 100000 nothing is chosen.
  for (Unit* u : {behind, ahead, twin}) u->SetObjectPosition(0, 0, 200000);
  EXPECT_EQ(Choose(), nullptr);
}

TEST_F(AutoTargetWorld, OnlyOnItsStepOfTheSecondAndWithoutALock) {
  Unit* enemy = Put("red", plane, {0, 0, 150});
  ai->counter = ai->unitId % 60 + 1;
  units::AutoSelectTarget(world, *ai);
  EXPECT_EQ(ai->target, nullptr);
  ai->counter = ai->unitId % 60 + 60;
  units::AutoSelectTarget(world, *ai);
  EXPECT_EQ(ai->target, enemy);
  // Locked on: the target stays even once it would not be chosen.
  ai->lockWord = 1;
  enemy->hp = 0;
  EXPECT_EQ(Choose(), enemy);
  ai->lockWord = 0;
  EXPECT_EQ(Choose(), nullptr);
  // A unit without team, a weapon and an inert unit choose nothing.
  enemy->hp = 10;
  ai->team.Set("");
  ai->target = enemy;
  EXPECT_EQ(Choose(), nullptr);
  ai->team.Set("blue");
  ai->flags |= units::kUnitInert;
  ai->target = enemy;
  EXPECT_EQ(Choose(), enemy);
}

TEST_F(AutoTargetWorld, CandidatesLeftOut) {
  Unit* fallback = Put("red", plane, {0, 0, 900});  // far, always eligible
  struct Case {
    const char* what;
    void (*spoil)(AutoTargetWorld& f, Unit& c);
    bool fallbackStays = true;
  };
  const Case cases[] = {
      {"same team", [](AutoTargetWorld&, Unit& c) { c.team.Set("blue"); }},
      {"no team", [](AutoTargetWorld&, Unit& c) { c.team.Set(""); }},
      {"inert", [](AutoTargetWorld&, Unit& c) { c.flags |= units::kUnitInert; }},
      {"ignored", [](AutoTargetWorld&, Unit& c) { c.flags |= units::kUnitIgnored; }},
      {"no HP", [](AutoTargetWorld&, Unit& c) { c.hp = 0; }},
      {"other scene", [](AutoTargetWorld&, Unit& c) { c.sceneNumber = 1; }},
      {"nothing to show", [](AutoTargetWorld&, Unit& c) { c.surface = nullptr; }},
      {"a weapon", [](AutoTargetWorld& f, Unit& c) { c.type = f.shot; }},
      {"no HUD name", [](AutoTargetWorld& f, Unit& c) { c.type = f.dust; }},
      {"class ignored", [](AutoTargetWorld& f, Unit&) { f.ai->classIgnore[0] = 1; }, false},
      {"ignore label", [](AutoTargetWorld& f, Unit& c) {
         c.label.Set("boat");
         f.ai->ignoreLabel.Set("boat");
       }},
      {"not the exclusive label", [](AutoTargetWorld& f, Unit& c) {
         c.label.Set("boat");
         f.ai->exclusiveLabel.Set("ship");
       }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Unit* near = Put("red", plane, {0, 0, 120});
    EXPECT_EQ(Choose(), near);
    c.spoil(*this, *near);
    Unit* chosen = Choose();
    EXPECT_NE(chosen, near);
    // Some rules leave out the (unlabelled, class 0) fallback too.
    EXPECT_EQ(chosen, c.fallbackStays ? fallback : nullptr);
    ai->classIgnore[0] = 0;
    ai->ignoreLabel.Set("");
    ai->exclusiveLabel.Set("");
    near->surface = nullptr;
    world::ReleaseUnit(world, near);
  }
  // The exclusive label keeps only its own, however far.
  fallback->label.Set("ship");
  Put("red", plane, {0, 0, 120});
  ai->exclusiveLabel.Set("ship");
  EXPECT_EQ(Choose(), fallback);
}

TEST_F(AutoTargetWorld, EachPriorityHalvesTheScore) {
  // The near one scores 100; the far one 399 before its halvings.
  Unit* near = Put("red", plane, {0, 0, 200});
  Unit* far = Put("red", tank, {0, 0, 499});
  world.gameLevel = 0;
  struct Case {
    const char* what;
    void (*favour)(AutoTargetWorld& f, Unit& far);
    int halvings;
  };
  const Case cases[] = {
      {"none", [](AutoTargetWorld&, Unit&) {}, 0},
      {"priority label", [](AutoTargetWorld& f, Unit& c) {
         c.label.Set("boss");
         f.ai->priorityLabel.Set("boss");
       }, 1},
      {"class priority", [](AutoTargetWorld& f, Unit&) { f.ai->classPriority[2] = 1; }, 1},
      {"target units", [](AutoTargetWorld& f, Unit& c) {
         c.flags |= units::kUnitTarget;
         f.ai->flags |= units::kUnitPriorityTarget;
       }, 1},
      {"non-target units", [](AutoTargetWorld& f, Unit&) { f.ai->flags |= units::kUnitPriorityNonTarget; }, 1},
      {"player at level 1", [](AutoTargetWorld& f, Unit& c) {
         f.world.gameLevel = 1;
         f.world.playerUnit = &c;
       }, 1},
      {"player at level 2", [](AutoTargetWorld& f, Unit& c) {
         f.world.gameLevel = 2;
         f.world.playerUnit = &c;
       }, 2},
      {"label and class", [](AutoTargetWorld& f, Unit& c) {
         c.label.Set("boss");
         f.ai->priorityLabel.Set("boss");
         f.ai->classPriority[2] = 1;
       }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.favour(*this, *far);
    // 399 / 2 = 199 loses to 100; 399 / 4 = 99 wins. The non-target rule
    // favours the near one too (both are no TARGET), so it never wins there.
    Unit* expected = c.halvings >= 2 ? far : near;
    EXPECT_EQ(Choose(), expected);
    // Moved to score 201, the near one loses to a single halving (199).
    near->SetObjectPosition(0, 0, 301);
    bool nonTargetRule = (ai->flags & units::kUnitPriorityNonTarget) != 0;
    EXPECT_EQ(Choose(), (c.halvings >= 1 && !nonTargetRule) ? far : near);
    near->SetObjectPosition(0, 0, 200);
    far->label.Set("");
    far->flags &= ~units::kUnitTarget;
    ai->priorityLabel.Set("");
    ai->classPriority[2] = 0;
    ai->flags &= ~(units::kUnitPriorityTarget | units::kUnitPriorityNonTarget);
    world.gameLevel = 0;
    world.playerUnit = nullptr;
  }
}

// [SECTION] Player targeting

struct PlayerTargetWorld : DamageWorld {
  Unit* player = nullptr;
  void SetUp() override {
    DamageWorld::SetUp();
    player = Put("blue", plane);  // at the origin facing +z
    world.playerUnit = player;
  }
  void Step(int next, int previous, int age = 1) {
    player->counter = age;
    units::SelectPlayerTarget(world, *player, units::PlayerTargetInput{next, previous});
  }
};

TEST_F(PlayerTargetWorld, WithoutTargetTheNearestEnemyIsTaken) {
  Unit* far = Put("red", plane, {0, 0, 900});
  Unit* near = Put("red", plane, {300, 0, -200});
  Unit* friendly = Put("blue", plane, {0, 0, 50});
  Unit* unnamed = Put("red", plane, {0, 0, 60});
  unnamed->type = dust;
  Step(0, 0);
  EXPECT_EQ(player->target, near);
  (void)far;
  (void)friendly;
}

TEST_F(PlayerTargetWorld, TapsCycleForwardAndBackAndResetTheLock) {
  Unit* a = Put("red", plane, {0, 0, 100});
  Unit* b = Put("red", plane, {0, 0, 200});
  Unit* c = Put("red", plane, {0, 0, 300});
  player->target = a;
  player->lockWord = 5;
  // Holding counts; the release of a short hold moves on.
  Step(1, 0);
  Step(1, 0);
  EXPECT_EQ(player->targetCyclingWord, 2);
  EXPECT_EQ(player->target, a);
  Step(0, 0);
  EXPECT_EQ(player->target, b);
  EXPECT_EQ(player->lockWord, 0);
  EXPECT_EQ(player->targetCyclingWord, 0);
  Step(1, 0);
  Step(0, 0);
  EXPECT_EQ(player->target, c);
  // Past the last one the finder starts over.
  Step(1, 0);
  Step(0, 0);
  EXPECT_EQ(player->target, a);
  // Back: the previous button.
  player->target = c;
  Step(0, 1);
  EXPECT_EQ(player->targetCyclingWord, -1);
  Step(0, 0);
  EXPECT_EQ(player->target, b);
  // A long hold is no tap.
  player->lockWord = 7;
  for (int i = 0; i < 31; i++) Step(1, 0);
  Step(0, 0);
  EXPECT_EQ(player->target, b);
  EXPECT_EQ(player->lockWord, 7);
}

TEST_F(PlayerTargetWorld, DroppedTargetsAndWhatReplacesThem) {
  Unit* ahead = Put("red", plane, {0, 0, 1000});
  Unit* behind = Put("red", plane, {0, 0, -1000});
  // Behind and beyond 800: let go on a test step, unless a button is held.
  player->target = behind;
  Step(0, 0, 7);
  EXPECT_EQ(player->target, behind);
  Step(1, 0, 10);
  EXPECT_EQ(player->target, behind);
  player->targetCyclingWord = 0;
  Step(0, 0, 10);
  EXPECT_EQ(player->target, ahead);

  // An unmarked target far ahead in the sight is let go for a nearer one;
  // a marked one is kept.
  Unit* distant = Put("red", plane, {0, 0, 5000});
  player->target = distant;
  Step(0, 0, 20);
  EXPECT_EQ(player->target, ahead);
  distant->importantFlag = 1;
  player->target = distant;
  Step(0, 0, 20);
  EXPECT_EQ(player->target, distant);

  // Gone over to the player's team, inert or out of HP: dropped at once,
  // held button or not.
  struct Case {
    const char* what;
    void (*spoil)(Unit& t);
    int held;
  };
  const Case cases[] = {
      {"printed team", [](Unit& t) { t.printedTeam.Set("blue"); }, 1},
      {"inert", [](Unit& t) { t.flags |= units::kUnitInert; }, 1},
      {"no HP", [](Unit& t) { t.hp = 0; }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Unit* t = Put("red", plane, {0, 0, 500});
    player->target = t;
    player->targetCyclingWord = 0;
    c.spoil(*t);
    Step(c.held, 0, 3);
    EXPECT_NE(player->target, t);
    EXPECT_NE(player->target, nullptr);
    world::ReleaseUnit(world, t);
  }
}

// [SECTION] Enemy and lock-on tests

TEST_F(DamageWorld, IsEnemyUnitRules) {
  Unit* me = Put("blue", plane);
  Unit* owner = Put("red", plane);
  me->master = owner;
  struct Case {
    const char* what;
    void (*make)(DamageWorld& f, Unit& other, Unit& me);
    int expected;
  };
  const Case cases[] = {
      {"enemy", [](DamageWorld&, Unit&, Unit&) {}, 1},
      {"same team", [](DamageWorld&, Unit& o, Unit&) { o.team.Set("blue"); }, 0},
      {"other scene", [](DamageWorld&, Unit& o, Unit&) { o.sceneNumber = 2; }, 0},
      {"nothing to show", [](DamageWorld&, Unit& o, Unit&) { o.surface = nullptr; }, 0},
      {"a weapon", [](DamageWorld& f, Unit& o, Unit&) { o.type = f.shot; }, 0},
      {"hurt by me",
       [](DamageWorld&, Unit& o, Unit& m) {
         o.lastDamageSource = &m;
         o.lastDamageSourceSerial = m.spawnSerial;
       },
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Unit* other = Put("red", plane);
    c.make(*this, *other, *me);
    EXPECT_EQ(units::IsEnemyUnit(world, *me, *other), c.expected);
    other->surface = &surface;
  }
  EXPECT_EQ(units::IsEnemyUnit(world, *me, *me), 0);
  EXPECT_EQ(units::IsEnemyUnit(world, *me, *owner), 0);
}

TEST_F(DamageWorld, LockOnRangeRules) {
  UnitType* missile = AddType("missile", 1, 0, units::kAttrWeapon);
  missile->range[0] = 3000;
  missile->range[2] = 1500;
  Unit* carrier = Put("blue", plane);
  carrier->weaponTypes[1] = missile;
  carrier->currentWeaponSlot = 1;
  carrier->ammo[1][0] = 2;
  Unit* air = Put("red", plane);
  Unit* ground = Put("red", tank);
  EXPECT_FLOAT_EQ(units::GetLockOnRange(world, *carrier, *air), 3000);
  EXPECT_FLOAT_EQ(units::GetLockOnRange(world, *carrier, *ground), 1500);

  struct Case {
    const char* what;
    void (*spoil)(Unit& me, Unit& other);
    float expected;
  };
  const Case cases[] = {
      {"no ammo", [](Unit& m, Unit&) { m.ammo[1][0] = 0; }, 0},
      {"empty slot", [](Unit& m, Unit&) { m.currentWeaponSlot = 2; }, 0},
      {"slot out of range", [](Unit& m, Unit&) { m.currentWeaponSlot = 9; }, 0},
      {"jammed", [](Unit& m, Unit&) { units::SetUnitJamming(m, 0x2, 3); }, 0},
      {"jammed other bit", [](Unit& m, Unit&) { units::SetUnitJamming(m, 0x4, 3); }, 3000},
      {"jam flag without level", [](Unit& m, Unit&) { m.flightWords[4] = 0x2; }, 3000},
      {"inert", [](Unit&, Unit& o) { o.flags |= units::kUnitInert; }, 0},
      {"printed as mine", [](Unit&, Unit& o) { o.printedTeam.Set("blue"); }, 0},
      {"printed empty", [](Unit&, Unit& o) { o.printedTeam.Set(""); }, 0},
      {"no HUD name", [](Unit&, Unit& o) { o.type = nullptr; }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Unit* other = Put("red", plane);
    c.spoil(*carrier, *other);
    EXPECT_FLOAT_EQ(units::GetLockOnRange(world, *carrier, *other), c.expected);
    carrier->ammo[1][0] = 2;
    carrier->currentWeaponSlot = 1;
    units::SetUnitJamming(*carrier, 0, 0);
  }

  // A weapon unit locks on with its own type, ammo or not.
  Unit* launched = world::SpawnOwnedUnit(world, Vec3{}, Vec3{0, 0, 1}, carrier, missile);
  ASSERT_NE(launched, nullptr);
  EXPECT_FLOAT_EQ(units::GetLockOnRange(world, *launched, *ground), 1500);
}

}  // namespace
