// world_pools_test.cpp -- the unit and effect pools, placing units (HP by
// game level, level clamp, player and camera units, children), releasing
// units and their descendants, the target finder, the population
// statistics and the engine-sound cache.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/core_public.h"
#include "sound/sound_public.h"
#include "test_support.h"
#include "world/world_local.h"
#include "world_test_files.h"

namespace {

using worldtest::TinyWav;
using world::Vec3;

struct PoolFixture {
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  world::GameWorld world;
  // Stands in for a loaded surface: units with graphics are the ones that
  // are stepped and targeted. Never drawn here.
  render::TextureHolder surface{};

  PoolFixture() { world.log = &log; }

  units::UnitType* AddType(const char* key, int32_t defense, int mode = 0, uint32_t attributes = 0) {
    auto type = std::make_unique<units::UnitType>();
    type->key = key;
    type->name = key;
    type->defense = defense;
    type->mode = mode;
    type->attributes = attributes;
    units::UnitType* raw = type.get();
    world.unitDatabase->types.push_back(std::move(type));
    return raw;
  }

  units::Unit* Put(const char* team, units::UnitType* type, Vec3 at = {}, uint32_t flags = 0, int level = 1) {
    units::Unit* u = world::PutUnit(world, team, type, level, "", flags, at, Vec3{}, nullptr);
    if (u) u->surface = &surface;
    return u;
  }
};

TEST(UnitPool, GrowsBy260SlotsAndNeverHandsOutSlot0) {
  PoolFixture f;
  EXPECT_EQ(world::CountUnitSlots(f.world), 0);
  units::Unit* first = world::AllocUnit(f.world);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->unitId, 1);
  EXPECT_EQ(world::CountUnitSlots(f.world), 260);
  EXPECT_EQ(world::GetUnitAt(f.world, 0), nullptr);
  for (int i = 2; i <= 259; i++) ASSERT_EQ(world::AllocUnit(f.world)->unitId, i);
  EXPECT_EQ(world::CountUnitSlots(f.world), 260);
  EXPECT_EQ(world::AllocUnit(f.world)->unitId, 260);
  EXPECT_EQ(world::CountUnitSlots(f.world), 520);
  for (int i = 261; i <= 519; i++) world::AllocUnit(f.world);
  world::AllocUnit(f.world);
  EXPECT_EQ(world::CountUnitSlots(f.world), 780);

  // A released slot is the next one handed out.
  world::ReleaseUnit(f.world, world::GetUnitAt(f.world, 17));
  EXPECT_EQ(world::GetUnitAt(f.world, 17), nullptr);
  EXPECT_EQ(world::AllocUnit(f.world)->unitId, 17);
}

TEST(UnitPool, NetworkIdsNumberThisPeersUnitsAndAFreeSlotAnnouncesNothing) {
  PoolFixture f;
  f.world.networkGame = 1;
  f.world.networkOwnId = 3;
  f.world.networkUnitCounter = 0xFFFFFF;
  EXPECT_EQ(world::AllocUnit(f.world)->networkId, (3 << 24) | 0xFFFFFF);
  EXPECT_EQ(world::AllocUnit(f.world)->networkId, 3 << 24);  // the counter wraps in 24 bits
  // Taking free slots announces no deletion: only live units are released.
  EXPECT_EQ(f.world.announcedDeletions, 0);
  units::UnitType* type = f.AddType("tank", 10);
  units::Unit* parent = f.Put("red", type);
  units::Unit* child = world::PutUnit(f.world, "red", type, 1, "", 0, Vec3{}, Vec3{}, parent);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(world::ReleaseMatchingUnits(f.world, parent), 2);
  EXPECT_EQ(f.world.announcedDeletions, 2);
}

TEST(EffectPool, MakesBlocksOf256AndNoneInReducedEffectsMode) {
  PoolFixture f;
  world::EffectObject* first = world::AllocEffect(f.world);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(world::CountEffectSlots(f.world), 256);
  render::CMesh placeholder;  // any model makes an object busy
  for (world::EffectObject* e : f.world.effectPool) e->SetObjectModel(&placeholder);
  world::EffectObject* next = world::AllocEffect(f.world);
  EXPECT_EQ(world::CountEffectSlots(f.world), 512);
  EXPECT_EQ(next, f.world.effectPool[256]);
  EXPECT_EQ(next->alpha, 255);
  f.world.reducedEffects = 1;
  EXPECT_EQ(world::AllocEffect(f.world), nullptr);
  for (world::EffectObject* e : f.world.effectPool) e->ReleaseObject();
}

TEST(PutUnit, HitPointsAndLevelFollowTheGameLevel) {
  struct Case {
    int gameLevel;
    const char* team;
    uint32_t flags;
    int level;
    int hp;
    int unitLevel;
  };
  const Case cases[] = {
      {0, "red", world::kPutPlayer, 3, 225, -1},  // x 3, then another team than the player's x 3 / 4
      {0, "blue", world::kPutPlayer, 3, 300, -1},  // the player's team
      {0, "red", 0, 3, 75, 3},                    // game level 0 adds nothing to the level
      {1, "red", world::kPutPlayer, 3, 200, -1},
      {1, "red", 0, 3, 100, 5},                   // + 2 x game level for enemies
      {2, "red", 0, 5, 100, 9},
      {2, "red", 0, 9, 100, 10},                  // clamped to 10
      {2, "blue", 0, 0, 100, 1},                  // clamped to 1
      {1, "red", world::kPutNoHp, 3, 0, 5},
  };
  for (const Case& c : cases) {
    PoolFixture f;
    units::UnitType* type = f.AddType("fighter", 100);
    f.world.gameLevel = 1;
    units::Unit* player = f.Put("blue", type, {}, world::kPutPlayer);
    ASSERT_EQ(f.world.playerUnit, player);
    f.world.gameLevel = c.gameLevel;
    units::Unit* u = f.Put(c.team, type, {}, c.flags | world::kPutNotPlayer, c.level);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->hp, c.hp) << c.gameLevel << c.team << c.flags;
    EXPECT_EQ(u->maxHp, c.hp);
    EXPECT_EQ(u->level, c.unitLevel) << c.gameLevel << c.team << c.level;
  }
}

TEST(PutUnit, TheFirstUnitBecomesPlayerAndCameraUnitsAndChildrenFollow) {
  PoolFixture f;
  EXPECT_EQ(world::PutUnit(f.world, "blue", nullptr, 1, "", 0, Vec3{}, Vec3{}, nullptr), nullptr);
  units::UnitType* turret = f.AddType("turret", 5);
  units::UnitType* ship = f.AddType("ship", 50);
  ship->speed = 2.0f;
  ship->children.push_back({"turret", turret, Vec3{0, 3, 0}, Vec3{}, "gun"});
  ship->children.push_back({"missing", nullptr, Vec3{}, Vec3{}, "none"});
  ship->children.push_back({"turret", turret, Vec3{0, 4, 0}, Vec3{}, "never"});

  // Not the player: flag 0x40.
  units::Unit* buoy = f.Put("blue", turret, {}, world::kPutNotPlayer);
  EXPECT_EQ(f.world.playerUnit, nullptr);
  units::Unit* u = world::PutUnit(f.world, "blue", ship, 1, "flagship", 0, Vec3{1, 2, 3}, Vec3{}, nullptr);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(f.world.playerUnit, u);
  EXPECT_EQ(f.world.focusUnit, u);
  EXPECT_EQ(f.world.targetUnit, u);
  EXPECT_STREQ(u->label.Get(), "flagship");
  EXPECT_FLOAT_EQ(u->velocity.z, 2.0f);  // the front at zero angles
  EXPECT_EQ(u->score, 10);
  // The first child is placed under it; the failing second ends the list.
  units::Unit* gun = world::GetUnitAt(f.world, u->unitId + 1);
  ASSERT_NE(gun, nullptr);
  EXPECT_EQ(gun->parent, u);
  EXPECT_EQ(gun->master, u);
  EXPECT_STREQ(gun->label.Get(), "gun");
  EXPECT_EQ(world::GetUnitAt(f.world, u->unitId + 2), nullptr);
  (void)buoy;

  // Released with its descendants; the world's references cleared.
  EXPECT_EQ(world::ReleaseMatchingUnits(f.world, u), 2);
  EXPECT_EQ(f.world.playerUnit, nullptr);
  EXPECT_EQ(world::GetUnitAt(f.world, gun->unitId), nullptr);
}

TEST(FindTarget, NearestBeyondOrFarthestNearerAndOnlyLivingUnits) {
  PoolFixture f;
  units::UnitType* type = f.AddType("tank", 10);
  units::Unit* me = f.Put("blue", type);
  units::Unit* a = f.Put("red", type, {0, 0, 100});
  units::Unit* dead = f.Put("red", type, {0, 0, 150});
  units::Unit* b = f.Put("red", type, {0, 0, 200});
  f.Put("blue", type, {0, 0, 120});  // a friend
  f.Put("", type, {0, 0, 130});      // no printed team
  dead->hp = 0;

  EXPECT_EQ(world::FindTarget(f.world, me, nullptr, 0, 1, 0), a);
  EXPECT_EQ(world::FindTarget(f.world, me, a, 0, 1, 0), b);  // the dead one is skipped
  EXPECT_EQ(world::FindTarget(f.world, me, b, 0, 1, 0), nullptr);
  // Backward: the farthest nearer than the current target, living only.
  EXPECT_EQ(world::FindTarget(f.world, me, nullptr, 0, 0, 0), b);
  EXPECT_EQ(world::FindTarget(f.world, me, b, 0, 0, 0), a);
  EXPECT_EQ(world::FindTarget(f.world, me, a, 0, 0, 0), nullptr);

  // The cone keeps to what lies in front; weapon ranges by class.
  units::Unit* behind = f.Put("red", type, {0, 0, -50});
  EXPECT_EQ(world::FindTarget(f.world, me, nullptr, 0, 0, 0), b);
  EXPECT_EQ(world::FindTarget(f.world, me, nullptr, 1, 1, 0), a);
  EXPECT_EQ(world::FindTarget(f.world, me, nullptr, 0, 1, 0), behind);
  units::UnitType* missile = f.AddType("missile", 1, 0, units::kAttrWeapon);
  missile->range[0] = 150;
  me->weaponTypes[0] = missile;
  EXPECT_EQ(world::FindTarget(f.world, me, a, 0, 1, 1), nullptr);  // b lies beyond the range
  missile->range[0] = 0;
  EXPECT_EQ(world::FindTarget(f.world, me, nullptr, 0, 1, 1), nullptr);
}

TEST(Population, CountsInOutAndDestroyedByTeamAndClass) {
  PoolFixture f;
  units::UnitType* tank = f.AddType("tank", 10, 2);
  units::UnitType* shot = f.AddType("shot", 1, 0, units::kAttrWeapon);
  units::Unit* t1 = f.Put("red", tank, {}, world::kPutTarget | world::kPutNotPlayer);
  units::Unit* t2 = f.Put("red", tank, {}, world::kPutNotPlayer);
  units::Unit* s = f.Put("red", shot, {}, world::kPutNotPlayer);
  world::PopulationRecord* red = world::FindNamedRecord(f.world, "red");
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(red->appeared[2], 2);
  EXPECT_EQ(red->alive[2], 2);
  EXPECT_EQ(red->targetAppeared[2], 1);
  EXPECT_EQ(world::CountUnitIn(f.world, s), 1);  // a weapon is never counted
  EXPECT_EQ(red->appeared[0], 0);
  EXPECT_EQ(world::FindNamedRecord(f.world, "blue"), nullptr);

  // In and out again: as before.
  world::CountUnitOut(f.world, t2);
  EXPECT_EQ(red->appeared[2], 1);
  world::CountUnitIn(f.world, t2);
  world::CountUnitIn(f.world, t2);  // already counted: nothing
  EXPECT_EQ(red->appeared[2], 2);
  EXPECT_EQ(red->alive[2], 2);

  // A destroyed TARGET unit moves one count from target alive to target
  // destroyed; two of one type give one name entry with count 2.
  world::CountUnitDestroyed(f.world, t1);
  EXPECT_EQ(red->targetAlive[2], 0);
  EXPECT_EQ(red->targetDestroyed[2], 1);
  world::CountUnitDestroyed(f.world, t2);
  world::CountUnitDestroyed(f.world, t2);  // no longer counted: nothing
  EXPECT_EQ(red->destroyed[2], 2);
  EXPECT_EQ(red->alive[2], 0);
  EXPECT_STREQ(red->destroyedNames[0], "tank");
  EXPECT_EQ(red->destroyedCounts[0], 2);
  EXPECT_EQ(red->destroyedNames[1], nullptr);
  EXPECT_EQ(red->destroyedNames.size(), 260u);

  // A reset frees the records.
  world::ResetPopulation(f.world);
  EXPECT_EQ(world::FindNamedRecord(f.world, "red"), nullptr);
}

TEST(SoundCache, KeepsSixteenNamesLeastRecentlyUsedAndForgetsFailedLoads) {
  PoolFixture f;
  worldtest::TestSound started(&f.log);
  ASSERT_EQ(started.Start(), 0);
  sound::SoundSystem& sound = started.sound;
  f.world.sound = &sound;
  for (int i = 0; i < 17; i++) test::WriteFile("e" + std::to_string(i) + ".wav", TinyWav());

  for (int i = 0; i < 16; i++) EXPECT_EQ(world::CacheSoundName(f.world, ("e" + std::to_string(i) + ".wav").c_str()), 48 + i);
  EXPECT_EQ(world::CacheSoundName(f.world, "e0.wav"), 48);  // a hit
  // Names compare with case: "E0.wav" (the same file to the file layer) is
  // a miss and takes the least recently used slot (e1's), the seventeenth
  // name the next one (e2's).
  EXPECT_EQ(world::CacheSoundName(f.world, "E0.wav"), 49);
  EXPECT_EQ(world::CacheSoundName(f.world, "e16.wav"), 50);
  EXPECT_EQ(world::CacheSoundName(f.world, "e0.wav"), 48);

  // A failed load keeps no name: asking again tries again instead of
  // answering with a silent slot.
  EXPECT_EQ(world::CacheSoundName(f.world, "missing.wav"), -1);
  test::WriteFile("missing.wav", TinyWav());
  int slot = world::CacheSoundName(f.world, "missing.wav");
  EXPECT_GE(slot, 48);
  EXPECT_LE(slot, 63);
  f.world.sound = nullptr;
}

}  // namespace
