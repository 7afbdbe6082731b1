// units_combat_services_test.cpp -- what the combat reaches in the world:
// placed units armed on their slots, the weapon sounds, the muzzle flash,
// and the release of a carrier's weapon children.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "sound/sound_public.h"
#include "units/units_shots.h"
#include "units_weapon_fixture.h"
#include "world/world_test_files.h"
#include "world/world_environment.h"

namespace unittest {
namespace {

constexpr float kUndefined = units::kUndefinedPoint;

// One second of 8-bit mono silence at 8000 Hz: long enough to still play
// while the null driver's clock stands.
std::string SilentWav() { return worldtest::TinyWav(8000); }

class CombatServices : public WeaponWorld {
 protected:
  // A carrier type: PAYLOAD 10 in every slot, every hard point and barrel
  // undefined until a test defines one.
  UnitType& Carrier(const char* key) {
    UnitType& type = AddType(key, units::kTypePlane);
    for (int s = 0; s < 4; s++) {
      type.payload[s] = 10;
      type.gunPos[s] = {kUndefined, 0, 0};
      for (int i = 0; i < 4; i++) type.weaponPos[s][i] = {kUndefined, 0, 0};
    }
    type.defense = 100;
    return type;
  }
  UnitType& Missile(const char* key, int32_t reloadTime) {
    UnitType& type = AddType(key, units::kTypeMissile);
    type.reloadTime = reloadTime;
    type.scale = {1, 1, 1};
    return type;
  }

  // A started sound system on the null driver, the given slots loaded.
  void StartSound(std::initializer_list<int> slots) {
    soundPackages.log = &log;
    sound.log = &log;
    sound.packages = &soundPackages;
    sound.driver = platform::AudioDriver::Null;
    ASSERT_EQ(sound.InitDirectSound(nullptr), 0);
    test::WriteFile("silence.wav", SilentWav());
    for (int slot : slots) ASSERT_GE(sound.LoadSoundEffect(slot, "silence.wav", 2, 0), 0) << slot;
    world.sound = &sound;
  }
  bool Playing(int slot) { return (sound.GetSoundStatus(slot, -1) & sound::kStatusPlaying) != 0; }

  void TearDown() override { world.sound = nullptr; }

  // Two slabs whose top faces are y = 0: ground for x below 0, water above.
  void AddGroundAndWater() {
    const char* master =
        R"({GROUND_A:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND"],SCALE:{x:5000,y:1,z:5000}},)"
        R"(WATER_A:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND","WATER"],SCALE:{x:5000,y:1,z:5000}}})";
    ASSERT_EQ(world::LoadMapMaster(world, Compile(master)), 1);
    ASSERT_EQ(world::ReadMapPlacements(
                  world, Compile(R"([{ID:"GROUND_A",POS:{x:-5000,y:-1,z:0}},{ID:"WATER_A",POS:{x:5000,y:-1,z:0}}])"), 0),
              1);
  }

  core::FilePackageTable soundPackages;
  sound::SoundSystem sound;

};

// [SECTION] Placed units carry their weapons

TEST_F(CombatServices, PlacedUnitsAreArmedAndTheirHardPointsFilled) {
  UnitType& carrier = Carrier("carrier");
  UnitType& missile = Missile("missile", 2);  // 10 / 2: five rounds
  UnitType& bomb = Missile("bomb", 20);       // 10 / 20: still one
  carrier.weaponTypes[0] = &missile;
  carrier.weaponTypes[1] = &bomb;
  carrier.weaponTypes[2] = &missile;
  carrier.payload[2] = 0;  // no payload in this slot: it stays empty
  carrier.weaponPos[0][0] = {1, -1, 0};
  carrier.weaponPos[0][2] = {-1, -1, 0};
  carrier.weaponPos[1][1] = {0, -2, 0};

  Unit* unit = world::PutUnit(world, "blue", &carrier, 1, "", world::kPutNotPlayer, Vec3{}, Vec3{}, nullptr);
  ASSERT_NE(unit, nullptr);

  struct Expect {
    int slot;
    UnitType* weapon;
    int32_t current, stock, max;
    int children;
  };
  const Expect table[] = {
      {0, &missile, 5, 3, 5, 2},  // two hard points take two from the stock
      {1, &bomb, 1, 0, 1, 1},
      {2, nullptr, 0, 0, 0, 0},
      {3, nullptr, 0, 0, 0, 0},
  };
  for (const Expect& e : table) {
    SCOPED_TRACE(testing::Message() << "slot " << e.slot);
    EXPECT_EQ(unit->weaponTypes[e.slot], e.weapon);
    EXPECT_EQ(unit->ammo[e.slot][0], e.current);
    EXPECT_EQ(unit->ammo[e.slot][1], e.stock);
    EXPECT_EQ(unit->ammo[e.slot][2], e.max);
    int children = 0;
    for (Unit* child : unit->weaponChildren[e.slot]) {
      if (!child) continue;
      children++;
      EXPECT_EQ(child->type, e.weapon);
      EXPECT_EQ(child->parent, unit);
      EXPECT_EQ(child->master, unit);
      EXPECT_STREQ(child->label.Get(), units::kWeaponSlotLabels[e.slot]);
      EXPECT_STREQ(child->team.Get(), "blue");
      EXPECT_EQ(child->state, units::kUnitStateIdle);  // loading on the pylon, not ready at once
    }
    EXPECT_EQ(children, e.children);
  }
  EXPECT_EQ(unit->weaponChildren[0][1], nullptr);  // undefined hard point
  EXPECT_EQ(unit->currentWeaponSlot, 0);
}

TEST_F(CombatServices, ThePlayersOwnUnitTakesTheChosenWeapons) {
  UnitType& you = Carrier("__SYSTEM__YOU");
  UnitType& chosen = Carrier("chosen");
  UnitType& typeWeapon = Missile("type weapon", 5);
  UnitType& chosenWeapon = Missile("chosen weapon", 1);
  you.weaponTypes[0] = &typeWeapon;
  chosen.weaponTypes[0] = &typeWeapon;
  chosen.weaponPos[0][0] = {0, -1, 0};
  world.playerType = &chosen;
  world.playerWeaponTypes[0] = &chosenWeapon;

  Unit* unit = world::PutUnit(world, "blue", &you, 1, "", world::kPutNotPlayer, Vec3{}, Vec3{}, nullptr);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(unit->type, &chosen);
  EXPECT_EQ(unit->weaponTypes[0], &chosenWeapon);
  EXPECT_EQ(unit->ammo[0][2], 10);
  ASSERT_NE(unit->weaponChildren[0][0], nullptr);
  EXPECT_EQ(unit->weaponChildren[0][0]->type, &chosenWeapon);
}

// Releasing the carrier's weapon children leaves alone a record the pool
// has since handed to another unit: it is no child any more.
TEST_F(CombatServices, ReleasingChildrenSparesAReusedRecord) {
  UnitType& carrier = Carrier("carrier");
  UnitType& missile = Missile("missile", 5);
  carrier.weaponTypes[0] = &missile;
  carrier.weaponPos[0][0] = {0, -1, 0};
  Unit* unit = Put(carrier, "blue", Vec3{});
  ASSERT_NE(unit, nullptr);
  Unit* child = unit->weaponChildren[0][0];
  ASSERT_NE(child, nullptr);
  world::ReleaseUnit(world, child);
  Unit* stranger = world::AllocUnit(world);
  ASSERT_EQ(stranger, child);
  stranger->type = &missile;
  stranger->SetObjectModel(&box);

  units::ReleaseWeaponChildren(world, *unit, -1);
  EXPECT_EQ(unit->weaponChildren[0][0], nullptr);
  EXPECT_NE(stranger->GetObjectModel(), nullptr);  // still there to be shown
}

// [SECTION] Sounds

TEST_F(CombatServices, OnlyThePlayersDestructionSoundsSlot18) {
  StartSound({18});
  UnitType& plane = Carrier("plane");
  for (bool player : {false, true}) {
    SCOPED_TRACE(player ? "player" : "other");
    sound.StopSoundSlot(18, -1);
    Unit* victim = Put(plane, "red", Vec3{});
    ASSERT_NE(victim, nullptr);
    if (player) victim->flags |= units::kUnitPlayer;
    units::ApplyDamage(world, victim, units::kKillDamage, 0, nullptr, nullptr);
    EXPECT_TRUE(units::IsUnitDestroyed(*victim));
    EXPECT_EQ(Playing(18), player);
  }
  // Without a sound system the destruction still goes through.
  world.sound = nullptr;
  Unit* victim = Put(plane, "red", Vec3{});
  victim->flags |= units::kUnitPlayer;
  units::ApplyDamage(world, victim, units::kKillDamage, 0, nullptr, nullptr);
  EXPECT_TRUE(units::IsUnitDestroyed(*victim));
}

TEST_F(CombatServices, ExplosionsAreHeard) {
  StartSound({8, 9});
  UnitType& launcher = Carrier("launcher");
  UnitType& small = Missile("small", 1);
  UnitType& large = Missile("large", 1);
  large.blast = 10;  // a blast above 3 adds the hit sound
  Unit* owner = Put(launcher, "blue", Vec3{0, 0, 0});

  Unit* shell = Spawn(small, owner, Vec3{0, 500, 0}, Vec3{0, 0, 1});
  units::ExplodeProjectile(world, *shell, Vec3{0, 500, 0}, Vec3{0, 1, 0}, 1, 0);
  EXPECT_TRUE(Playing(9));
  EXPECT_FALSE(Playing(8));

  sound.StopSoundSlot(9, -1);
  Unit* big = Spawn(large, owner, Vec3{0, 500, 0}, Vec3{0, 0, 1});
  units::ExplodeProjectile(world, *big, Vec3{0, 500, 0}, Vec3{0, 1, 0}, 1, 0);
  EXPECT_TRUE(Playing(9));
  EXPECT_TRUE(Playing(8));

  // Without effects: silent.
  sound.StopSoundSlot(8, -1);
  sound.StopSoundSlot(9, -1);
  units::ExplodeProjectile(world, *big, Vec3{0, 500, 0}, Vec3{0, 1, 0}, 0, 0);
  EXPECT_FALSE(Playing(8) || Playing(9));
}

// [SECTION] Water

TEST_F(CombatServices, TheTerrainCastTellsWaterApart) {
  AddGroundAndWater();
  struct Case {
    float x;
    int hit, water;
  } table[] = {{-100, 1, 0}, {100, 1, 1}, {20000, 0, 0}};
  for (const Case& c : table) {
    SCOPED_TRACE(c.x);
    Vec3 at{}, normal{};
    int water = -1;
    EXPECT_EQ(world::CastRayAgainstTerrain(world, &at, &normal, Vec3{c.x, 10, 0}, Vec3{c.x, -10, 0}, 3, &water) != 0,
              c.hit != 0);
    EXPECT_EQ(water, c.water);
  }
}

TEST_F(CombatServices, AProjectileIntoWaterSplashes) {
  AddGroundAndWater();
  UnitType& launcher = Carrier("launcher");
  UnitType& rocket = Missile("rocket", 1);
  Unit* owner = Put(launcher, "blue", Vec3{0, 500, 0});
  for (float x : {-100.0f, 100.0f}) {
    SCOPED_TRACE(x);
    for (world::EffectObject* e : world.effectPool) world::ResetEffectObject(*e);
    Unit* p = Spawn(rocket, owner, Vec3{x, 5, 0}, Vec3{0, -10, 0});
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(units::SweepHitUnits(world, *p, Vec3{x, 5, 0}, Vec3{x, -5, 0}, 1.0f), 1);
    bool splashed = false;
    for (world::EffectObject* e : world.effectPool) splashed |= e->type == world::kEffectSplash;
    EXPECT_EQ(splashed, x > 0);
  }
}

// [SECTION] Muzzle flash

TEST_F(CombatServices, TheMuzzleFlashHangsTwoSpritesOnTheUnit) {
  UnitType& plane = Carrier("plane");
  Unit* unit = Put(plane, "blue", Vec3{10, 20, 30});
  ASSERT_NE(unit, nullptr);
  const Vec3 muzzle{0, 0.5f, 2};
  EXPECT_EQ(world::CreateSmokeFlash(world, unit, muzzle), 2);

  int attached = 0;
  for (int i = 0; i < world::CountEffectSlots(world); i++) {
    world::EffectObject* e = world.effectPool[size_t(i)];
    if (!e || e->GetObjectParent() != unit) continue;
    attached++;
    EXPECT_EQ(e->type, world::kEffectAttached);
    Vec3 at = e->GetObjectPosition();
    EXPECT_EQ(at.x, muzzle.x);
    EXPECT_EQ(at.y, muzzle.y);
    EXPECT_EQ(at.z, muzzle.z);
  }
  EXPECT_EQ(attached, 2);

  EXPECT_EQ(world::CreateSmokeFlash(world, nullptr, muzzle), 0);
  world.reducedEffects = 1;
  EXPECT_EQ(world::CreateSmokeFlash(world, unit, muzzle), 0);
}

// [SECTION] Missile trails

TEST_F(CombatServices, ATrailSpriteSpansItsSegment) {
  ASSERT_EQ(world::CreateTrailSprite(world, Vec3{0, 0, 0}, Vec3{0, 0, 8}, 0.1f, 300), 1);
  world::EffectObject* sprite = world.effectPool[size_t(world.effectRing)];  // the one just taken
  EXPECT_EQ(sprite->type, world::kEffectSpreadSprite);
  Vec3 at = sprite->GetObjectPosition();
  EXPECT_FLOAT_EQ(at.z, 4.0f);  // the midpoint
  Vec3 scale = sprite->GetObjectScale();
  EXPECT_FLOAT_EQ(scale.x, 0.1f);
  EXPECT_FLOAT_EQ(scale.z, 4.0f);  // half the length
  EXPECT_EQ(sprite->alpha, 255);   // held to the alpha range

  // Nothing to lay: no length, no alpha, a broken point.
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(world::CreateTrailSprite(world, Vec3{1, 2, 3}, Vec3{1, 2, 3}, 0.1f, 100), 0);
  EXPECT_EQ(world::CreateTrailSprite(world, Vec3{0, 0, 0}, Vec3{0, 0, 1}, 0.1f, 0), 0);
  EXPECT_EQ(world::CreateTrailSprite(world, Vec3{0, 0, 0}, Vec3{inf, 0, 0}, 0.1f, 100), 0);
}

}  // namespace
}  // namespace unittest
