// units_flight_weapons_test.cpp -- the end of the flight step: counters,
// the weapon switch, dropping a target, gun heat and firing, lock-on with
// its triggers and tones, and the vapour trails.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sound/sound_public.h"
#include "units/units_flight.h"
#include "units/units_projectile.h"
#include "units_weapon_fixture.h"
#include "world/world_test_files.h"

namespace unittest {
namespace {

constexpr float kUndefined = units::kUndefinedPoint;

bool Finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

class FlightStep : public WeaponWorld {
 protected:
  UnitType& fighter = AddType("FIGHTER", units::kTypePlane);
  UnitType& enemyType = AddType("ENEMY", units::kTypePlane);
  UnitType& gun = AddType("GUN", units::kTypeGun);
  UnitType& missile = AddType("MSL", units::kTypeMissile);
  UnitType& bomb = AddType("BOMB", units::kTypeBomb);
  Unit* unit = nullptr;
  Unit* enemy = nullptr;
  core::FilePackageTable soundPackages;
  sound::SoundSystem sound;

  void SetUp() override {
    fighter.defense = 100;
    fighter.gunType = &gun;
    fighter.gunPos[0] = {0, 0, 2};
    fighter.gunCycle = 4;
    fighter.gunHeat = 10;
    fighter.lockOn[0] = 4;  // the cursor closes 20 a step at depth 1000
    for (int s = 0; s < 4; s++) fighter.payload[s] = 2;
    fighter.weaponPos[0][0] = {1, -1, 0};
    gun.attributes = units::kAttrWeapon;
    gun.speed = 5;
    gun.range[0] = 800;
    missile.attributes = units::kAttrWeapon;
    missile.reloadTime = 1;
    missile.range[0] = 2000;
    bomb.attributes = units::kAttrWeapon | units::kAttrBomb;
    bomb.reloadTime = 1;
    bomb.range[0] = 2000;
    enemyType.defense = 100;
    enemyType.hudNameFile = "enemy.png";  // only named units are locked on
    unit = Put(fighter, "blue", {0, 0, 0});
    enemy = Put(enemyType, "red", {0, 0, 1000});
    ASSERT_TRUE(unit && enemy);
    units::SetWeapon(world, *unit, 0, &missile);
    unit->target = enemy;
  }
  void TearDown() override { world.sound = nullptr; }

  // A started sound system on the null driver with the given slots loaded.
  void StartSound(std::initializer_list<int> slots) {
    soundPackages.log = &log;
    sound.log = &log;
    sound.packages = &soundPackages;
    sound.driver = platform::AudioDriver::Null;
    ASSERT_EQ(sound.InitDirectSound(nullptr), 0);
    test::WriteFile("silence.wav", worldtest::TinyWav(8000));
    for (int slot : slots) ASSERT_GE(sound.LoadSoundEffect(slot, "silence.wav", 2, 0), 0) << slot;
    world.sound = &sound;
  }
  bool Playing(int slot) { return (sound.GetSoundStatus(slot, -1) & sound::kStatusPlaying) != 0; }

  // Path points listed for the given trigger commands, any unit matching;
  // each event function logs "command:handle,".
  void WatchTriggers(std::initializer_list<int> commands) {
    std::string text = "string log = \"\";\r\n";
    int id = 100;
    for (int command : commands) {
      units::PathPoint* p = units::NewPathPoint(*world.pathPoints, id++, 1, 1, 1);
      ASSERT_NE(p, nullptr);
      units::SetPathPointTrigger(*p, uint32_t(command), "*", "");
      world::SetPathPointListed(world, p, 1);
      text += "function " + units::EventFunctionName(*p) + "(int h) { log = log + \"" + std::to_string(command) +
              ":\" + h + \",\"; }\r\n";
    }
    world.scriptEngine.ClearScriptEngine();
    world.scriptEngine.ResetScriptEngine(nullptr, nullptr);
    ASSERT_EQ(world.scriptEngine.LoadScriptMemory(text.c_str(), "watch.txt"), 1)
        << world.scriptEngine.GetErrorListText();
  }
  // What the event functions logged since the last call.
  std::string Fired() {
    world.scriptEngine.RunScriptFrame(0);
    script::CScriptValue* v = world.scriptEngine.FindGlobal("log");
    std::string text = v ? v->stringValue.c_str() : "?";
    if (v) script::AssignStringToVariable(world.scriptEngine.pools, v, "");
    return text;
  }
  static std::string Entry(int command, const Unit* u) {
    return std::to_string(command) + ":" + std::to_string(u->unitId) + ",";
  }

  void Finish(int change = 0) {
    units::FinishFlightStep(world, *unit, units::FlightGunInput{0}, units::FlightWeaponInput{0, change});
  }
};

// [SECTION] Counters

// Each counter falls by one a step while above 0 and never goes below it;
// a negative value a script set stays. The words beside them are left
// alone, and the flight-area word follows the position.
TEST_F(FlightStep, CountersCountDownToZeroOnly) {
  unit->target = nullptr;  // no lock-on to set the range counter
  for (int32_t start : {3, 1, 0, -2}) {
    SCOPED_TRACE(start);
    int32_t expected = start > 0 ? start - 1 : start;
    uint32_t expectedWord = start > 0 ? uint32_t(start - 1) : start == 0 ? 0u : uint32_t(start);
    for (int i = 0; i < 4; i++) unit->flightWords[i] = uint32_t(start);
    unit->flightWords[units::kFlightJamFlags] = 7;
    unit->flightWord = start;
    unit->damageByMark = unit->killMark = unit->hitMark = int16_t(start);
    unit->missileWords[0] = unit->missileWords[1] = int16_t(start);
    Finish();
    for (int i = 0; i < 4; i++) EXPECT_EQ(unit->flightWords[i], expectedWord) << i;
    EXPECT_EQ(unit->flightWords[units::kFlightJamFlags], 7u);
    EXPECT_EQ(unit->flightWord, expected);
    EXPECT_EQ(unit->damageByMark, expected);
    EXPECT_EQ(unit->killMark, expected);
    EXPECT_EQ(unit->hitMark, expected);
    EXPECT_EQ(unit->missileWords[0], expected);
    EXPECT_EQ(unit->missileWords[1], start);  // the second missile word is not a counter
  }

  world::set_flight_area(world, -100, -100, -100, 100, 100, 100, 10);
  Finish();
  EXPECT_EQ(unit->flightWords[units::kFlightArea], 0u);
  unit->SetObjectPosition(95, 0, 0);
  Finish();
  EXPECT_EQ(unit->flightWords[units::kFlightArea], 1u);
  unit->SetObjectPosition(500, 0, 0);
  Finish();
  EXPECT_EQ(int32_t(unit->flightWords[units::kFlightArea]), -1);
}

// [SECTION] Weapon switch

// The switch skips empty slots and slots of MOUNTED_NONE; with nothing else
// usable it comes back to where it began after four tries. CHG runs each
// time; the switch sound plays only for a slot with ammunition and a unit
// with a view.
TEST_F(FlightStep, WeaponSwitchSkipsUnusableSlots) {
  StartSound({20});
  WatchTriggers({world::kTriggerChange});
  UnitType& none = AddType("NONE", units::kTypeMountedNone);
  none.reloadTime = 1;
  units::SetWeapon(world, *unit, 1, nullptr);
  units::SetWeapon(world, *unit, 2, &none);
  units::SetWeapon(world, *unit, 3, &missile);
  unit->target = nullptr;

  struct Case {
    int from, to;
  };
  for (Case c : {Case{0, 3}, Case{3, 0}, Case{1, 3}, Case{2, 3}}) {
    SCOPED_TRACE(c.from);
    unit->currentWeaponSlot = c.from;
    sound.StopSoundSlot(20, -1);
    Finish(1);
    EXPECT_EQ(unit->currentWeaponSlot, c.to);
    EXPECT_EQ(Fired(), Entry(world::kTriggerChange, unit));
    EXPECT_TRUE(Playing(20));
  }

  // Only slot 0 usable: four tries end on slot 0 again.
  units::SetWeapon(world, *unit, 3, nullptr);
  unit->currentWeaponSlot = 0;
  Finish(1);
  EXPECT_EQ(unit->currentWeaponSlot, 0);

  // A slot without ammunition is reached but makes no sound; nor does a
  // unit without a view.
  unit->ammo[0][0] = 0;
  unit->currentWeaponSlot = 1;
  sound.StopSoundSlot(20, -1);
  Finish(1);
  EXPECT_EQ(unit->currentWeaponSlot, 0);
  EXPECT_FALSE(Playing(20));
  unit->ammo[0][0] = 2;
  unit->viewWord = 0;
  Finish(1);
  EXPECT_FALSE(Playing(20));
  Fired();

  // No switch word: nothing moves, no trigger.
  unit->currentWeaponSlot = 2;
  Finish(0);
  EXPECT_EQ(unit->currentWeaponSlot, 2);
  EXPECT_EQ(Fired(), "");
}

// [SECTION] Dropping the target

// A target the current weapon can no longer lock on (no ammunition, a
// friend, jammed) is let go, and the lock with it; a lockable one is kept.
TEST_F(FlightStep, TargetThatCannotBeLockedIsDropped) {
  Finish();
  EXPECT_EQ(unit->target, enemy);

  unit->lockWord = 1;
  unit->aimPoint = {0, 0, 1000};
  unit->ammo[0][0] = 0;
  Finish();
  EXPECT_EQ(unit->target, nullptr);
  EXPECT_EQ(unit->lockWord, 0);
  EXPECT_EQ(unit->aimPoint.z, 0.0f);

  unit->ammo[0][0] = 2;
  unit->target = enemy;
  units::SetUnitJamming(*unit, units::kJamBlind, 10);
  Finish();
  EXPECT_EQ(unit->target, nullptr);
}

// [SECTION] Gun heat and firing

// The cycle is GUN_CYCLE plus two for each threshold from 260 to 480 the
// heat has reached; the heat is clamped to 0..500 first. The cycle shows
// as the cool word right after a shot.
TEST_F(FlightStep, GunHeatThresholdsLengthenTheCycle) {
  fighter.gunHeat = 0;  // firing adds no heat here
  struct Case {
    int32_t heat, cycle;
  } cases[] = {{0, 4},    {259, 4},  {260, 6},  {279, 6},  {280, 8},  {300, 10},
               {479, 26}, {480, 28}, {500, 28}, {900, 28}, {-50, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.heat);
    unit->gunHeat = c.heat;
    unit->gunCoolWord = 0;
    units::UpdateGunHeat(world, *unit, units::FlightGunInput{1}, units::FlightWeaponInput{});
    EXPECT_EQ(unit->gunCoolWord, c.cycle);
    EXPECT_EQ(unit->gunHeat, std::clamp(c.heat, 0, 500));
  }
}

// Held, the gun fires once a cycle and heats by GUN_HEAT a shot; released,
// it cools by one a step to 0. A stopped gun does not fire, nor one whose
// cycle is 0.
TEST_F(FlightStep, GunFiresOnceACycleAndCools) {
  auto shots = [&] { return UnitsOf(gun).size(); };
  for (int i = 0; i < 12; i++)
    units::UpdateGunHeat(world, *unit, units::FlightGunInput{1}, units::FlightWeaponInput{});
  EXPECT_EQ(shots(), 3u);  // steps 1, 5 and 9
  EXPECT_EQ(unit->gunHeat, 30);
  for (int i = 0; i < 40; i++) units::UpdateGunHeat(world, *unit, units::FlightGunInput{0}, units::FlightWeaponInput{});
  EXPECT_EQ(unit->gunHeat, 0);
  EXPECT_EQ(unit->gunCoolWord, 0);
  EXPECT_EQ(shots(), 3u);

  units::StopGun(*unit, 1);
  units::UpdateGunHeat(world, *unit, units::FlightGunInput{1}, units::FlightWeaponInput{});
  EXPECT_EQ(shots(), 3u);
  EXPECT_EQ(unit->gunHeat, 0);  // the stopped trigger counts as released
  units::StopGun(*unit, 0);
  fighter.gunCycle = 0;
  units::UpdateGunHeat(world, *unit, units::FlightGunInput{1}, units::FlightWeaponInput{});
  EXPECT_EQ(shots(), 3u);
}

// The weapon fires the ready child of the current slot and uses one round;
// a stopped slot, an empty slot or no ready child use none. The hard points
// are filled again from the stock while the unit lives.
TEST_F(FlightStep, WeaponFireUsesAmmunitionOnlyOnALaunch) {
  units::SpawnWeaponSlot(world, *unit, 0, 0);
  ASSERT_NE(unit->weaponChildren[0][0], nullptr);  // placed from the stock
  units::SetUnitState(*unit->weaponChildren[0][0], units::kUnitStateReady, -1);
  EXPECT_EQ(unit->ammo[0][0], 2);

  units::StopWeapon(*unit, 0, 1);
  units::UpdateGunHeat(world, *unit, units::FlightGunInput{}, units::FlightWeaponInput{1, 0});
  EXPECT_EQ(unit->ammo[0][0], 2);
  units::StopWeapon(*unit, 0, 0);

  Unit* child = unit->weaponChildren[0][0];
  units::UpdateGunHeat(world, *unit, units::FlightGunInput{}, units::FlightWeaponInput{1, 0});
  EXPECT_EQ(unit->ammo[0][0], 1);
  EXPECT_EQ(child->parent, nullptr);  // launched
  // The empty hard point took the last of the stock in the same step.
  ASSERT_NE(unit->weaponChildren[0][0], nullptr);
  EXPECT_NE(unit->weaponChildren[0][0], child);
  EXPECT_EQ(unit->ammo[0][1], 0);

  // The new child is not ready yet: no launch, no round used.
  units::UpdateGunHeat(world, *unit, units::FlightGunInput{}, units::FlightWeaponInput{1, 0});
  EXPECT_EQ(unit->ammo[0][0], 1);
}

// [SECTION] Lock-on

// The cursor closes in on a target ahead and locks it once within the
// tolerance. On the step of locking LOCK runs for the unit and LOCKED for
// the target; CAUTION, WARNING and RANGE ran once at first sight. The
// player hears the lock tone while the cursor closes and the locked tone
// after; leaving the sight clears the lock and silences both.
TEST_F(FlightStep, LockCursorConvergesAndLocks) {
  StartSound({14, 15});
  WatchTriggers({world::kTriggerCaution, world::kTriggerWarning, world::kTriggerRange, world::kTriggerLock,
                 world::kTriggerLocked});
  unit->flags |= units::kUnitPlayer;
  enemy->SetObjectPosition(30, 0, 1000);

  units::StepLockOn(world, *unit);
  EXPECT_EQ(Fired(), Entry(world::kTriggerCaution, enemy) + Entry(world::kTriggerWarning, enemy) +
                         Entry(world::kTriggerRange, unit));
  EXPECT_EQ(enemy->flightWords[units::kFlightCaution], 10u);
  EXPECT_EQ(enemy->flightWords[units::kFlightWarning], 5u);
  EXPECT_EQ(unit->flightWord, 2);
  EXPECT_EQ(unit->lockWord, 0);
  EXPECT_NEAR(units::Length(unit->aimPoint), 20.0f, 0.01f);  // depth 1000 x 0.005 x 4
  EXPECT_EQ(unit->aimingWords[1], -1);  // no lock event yet
  EXPECT_TRUE(Playing(14));
  EXPECT_FALSE(Playing(15));

  int steps = 1;
  float last = 1e9f;
  while (!unit->lockWord && steps < 200) {
    float gap = units::Length(units::Sub(unit->aimPoint, Vec3{30, 0, 1000}));
    EXPECT_LT(gap, last);  // closes every step
    last = gap;
    units::StepLockOn(world, *unit);
    steps++;
  }
  // 1000.45 away, closing 20 a step: after 49 moves the 50th step finds
  // it within 40 (0.01 x 4 x depth 1000).
  EXPECT_EQ(steps, 50);
  EXPECT_EQ(Fired(), Entry(world::kTriggerLock, unit) + Entry(world::kTriggerLocked, enemy));
  // The lock event word the scripts read holds the locked target.
  EXPECT_EQ(unit->aimingWords[1], int16_t(enemy->unitId));
  EXPECT_NEAR(unit->aimPoint.x, 30.0f, 1e-3f);
  EXPECT_NEAR(unit->aimPoint.z, 1000.0f, 1e-2f);
  EXPECT_FALSE(Playing(14));
  EXPECT_TRUE(Playing(15));

  // Held: no second LOCK.
  units::StepLockOn(world, *unit);
  EXPECT_EQ(unit->lockWord, 1);
  EXPECT_EQ(Fired(), "");

  // Behind the unit: lock and cursor cleared, both tones off.
  enemy->SetObjectPosition(0, 0, -500);
  units::StepLockOn(world, *unit);
  EXPECT_EQ(unit->lockWord, 0);
  EXPECT_EQ(units::Length(unit->aimPoint), 0.0f);
  EXPECT_FALSE(Playing(14));
  EXPECT_FALSE(Playing(15));

  // Locking on silently: a player without a view, and a copy of another
  // peer's player.
  enemy->SetObjectPosition(30, 0, 1000);
  unit->viewWord = 0;
  units::StepLockOn(world, *unit);
  EXPECT_GT(units::Length(unit->aimPoint), 0.0f);
  EXPECT_FALSE(Playing(14));
  unit->viewWord = 1;
  unit->flags |= units::kUnitRemote;
  units::StepLockOn(world, *unit);
  EXPECT_FALSE(Playing(14));
}

// Where a target can be seen: ahead within the cone (offset / depth below
// 0.25) and nearer than 3000; a bomber's sight looks ahead and below. A
// target at the unit's own position is out of sight, with no NaN anywhere.
TEST_F(FlightStep, SightOfTheLockOn) {
  struct Case {
    const char* name;
    Vec3 at;
    bool bomber;
    bool seen;
  } cases[] = {
      {"ahead", {0, 0, 1000}, false, true},
      {"edge of the cone", {240, 0, 1000}, false, true},
      {"outside the cone", {260, 0, 1000}, false, false},
      {"too far", {0, 0, 3100}, false, false},
      {"behind", {0, 0, -100}, false, false},
      {"beside", {100, 0, 0}, false, false},
      {"on the unit", {0, 0, 0}, false, false},
      {"bomber, below", {0, -300, 1000}, true, true},
      {"bomber, above", {0, 300, 1000}, true, false},
      {"wide below", {0, -340, 1000}, false, false},
      {"bomber, wide below", {0, -340, 1000}, true, true},  // the height counts by half
  };
  units::SetWeapon(world, *unit, 1, &bomb);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unit->currentWeaponSlot = c.bomber ? 1 : 0;
    unit->aimPoint = {};
    enemy->flightWords[units::kFlightCaution] = 0;
    enemy->SetObjectPosition(c.at.x, c.at.y, c.at.z);
    units::StepLockOn(world, *unit);
    EXPECT_EQ(enemy->flightWords[units::kFlightCaution], c.seen ? 10u : 0u);
    EXPECT_TRUE(Finite(unit->aimPoint));
  }
}

// A lock factor of 0 (the unit's LOCK_ON or the target's LOCKED_ON for its
// class) ends the step: nothing is seen, nothing warned.
TEST_F(FlightStep, ZeroLockFactorDoesNothing) {
  enemyType.lockedOn[0] = 0;
  units::StepLockOn(world, *unit);
  EXPECT_EQ(enemy->flightWords[units::kFlightCaution], 0u);
  EXPECT_EQ(units::Length(unit->aimPoint), 0.0f);
}

// An AI unit's lock timer runs down one a step in range and takes the lock
// when it runs out, whatever the cursor; out of sight it is held to at
// most 48 + 5 x (id % 10) - 4 x LEVEL. GUNRANGE runs once per target.
TEST_F(FlightStep, AiLockTimerTakesTheLock) {
  WatchTriggers({world::kTriggerLock, world::kTriggerGunRange});
  fighter.lockOn[0] = 0.01f;  // the cursor alone would take ages
  unit->aimWord = 3;
  enemy->SetObjectPosition(0, 0, 600);  // inside gun range too
  for (int i = 0; i < 2; i++) units::StepLockOn(world, *unit);
  EXPECT_EQ(unit->lockWord, 0);
  EXPECT_EQ(unit->aimingWords[0], int16_t(enemy->unitId));
  units::StepLockOn(world, *unit);
  EXPECT_EQ(unit->lockWord, 1);
  EXPECT_EQ(unit->aimWord, 0);
  EXPECT_EQ(Fired(), Entry(world::kTriggerGunRange, unit) + Entry(world::kTriggerLock, unit));

  enemy->SetObjectPosition(0, 0, -600);
  unit->aimWord = 1000;
  units::StepLockOn(world, *unit);
  EXPECT_EQ(unit->aimWord, 48 + 5 * (unit->unitId % 10) - 4 * unit->level);
  EXPECT_EQ(unit->lockWord, 0);
}

// [SECTION] Vapour trails

// Pulling hard and fast raises the trail level by 3 a step to a ceiling
// set by the speed (at most 48); easing off lowers it by 4 to 0 and
// clears the emitters. A type without WING_POS never trails.
TEST_F(FlightStep, VapourTrailLevelRisesToItsCeilingAndFalls) {
  fighter.wingPos[0] = {-5, 0, 0};
  fighter.wingPos[1] = {5, 0, 0};
  unit->control = {1, 0.5f, 0};
  unit->velocity = {0, 0, 1.5f};  // ceiling (1.5 - 1.35) x 128 = 19
  int expected[] = {3, 6, 9, 12, 15, 18, 19, 19};
  for (int level : expected) {
    units::EmitVapourTrails(world, *unit);
    EXPECT_EQ(unit->trailWord, level);
  }
  // The trail points sit on the wings.
  EXPECT_EQ(unit->trailPoints[0].x, -5.0f);
  EXPECT_EQ(unit->trailPoints[1].x, 5.0f);
  EXPECT_EQ(unit->trailPoints[2].x, 0.0f);

  unit->velocity = {0, 0, 3};
  for (int i = 0; i < 20; i++) units::EmitVapourTrails(world, *unit);
  EXPECT_EQ(unit->trailWord, 48);

  unit->control = {0.5f, 0.5f, 0};  // 0.5 does not pull hard enough
  units::EmitVapourTrails(world, *unit);
  EXPECT_EQ(unit->trailWord, 44);
  for (int i = 0; i < 20; i++) units::EmitVapourTrails(world, *unit);
  EXPECT_EQ(unit->trailWord, 0);
  EXPECT_EQ(unit->trailPoints[0].x, 0.0f);
  EXPECT_EQ(unit->trailStates[0][0], 0);

  // In a scene a lighter pull is enough; without wing points nothing is.
  unit->sceneNumber = 1;
  units::EmitVapourTrails(world, *unit);
  EXPECT_EQ(unit->trailWord, 3);
  unit->sceneNumber = 0;
  fighter.wingPos[0] = {kUndefined, 0, 0};
  unit->trailWord = 0;
  unit->control = {1, 1, 0};
  units::EmitVapourTrails(world, *unit);
  EXPECT_EQ(unit->trailWord, 0);
}

// A fast-moving unit's trail points follow their wings every third step and
// jump to them when more than 100 behind.
TEST_F(FlightStep, TrailPointsFollowTheWings) {
  fighter.wingPos[0] = {-5, 0, 0};
  unit->control = {1, 1, 0};
  unit->velocity = {0, 0, 3};
  units::EmitVapourTrails(world, *unit);  // starts on the wing
  for (int step = 1; step <= 6; step++) {
    unit->SetObjectPosition(0, 0, float(step) * 3);
    units::EmitVapourTrails(world, *unit);
    float expected = step < 3 ? 0.0f : step < 6 ? 9.0f : 18.0f;
    EXPECT_EQ(unit->trailPoints[0].z, expected) << step;
  }
  unit->SetObjectPosition(0, 0, 500);
  units::EmitVapourTrails(world, *unit);
  EXPECT_EQ(unit->trailPoints[0].z, 500.0f);
}

}  // namespace
}  // namespace unittest
