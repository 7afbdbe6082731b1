// api_weapons_test.cpp -- the weapon and destruction calls run from game
// scripts: arming, supplying and reading weapon slots, firing the gun and
// missiles with and without a target, destroying by handle and by label,
// and what bad handles, bad slots and arguments of the wrong kind do.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "api_fixture.h"
#include "units/units_public.h"

namespace {

using apitest::WorldFixture;
using core::Vec3;

// A world with a carrier type (payload 10 in every slot, hard point 0 of
// slot 0 defined), a missile and a bomb type, and units placed after the
// reset that starts the script (so `main` runs with them in the pool).
struct WeaponWorld : apitest::PlacingWorld {
  units::UnitType* plane = nullptr;
  units::UnitType* missile = nullptr;
  units::UnitType* bomb = nullptr;

  WeaponWorld() {
    plane = AddType("plane", 100, 0, units::kTypeNone);
    for (int slot = 0; slot < 4; slot++) plane->payload[slot] = 10;
    plane->weaponPos[0][0] = Vec3{1, 0, 0};
    missile = AddType("missile", 10, units::kAttrWeapon, units::kTypeMissile);
    missile->reloadTime = 4;
    bomb = AddType("bomb", 10, units::kAttrWeapon, units::kTypeBomb);
    bomb->reloadTime = 20;
  }

  std::string Log() { return test::ReadFile("system.log"); }
};

// The script text with every "H" replaced by `handle`.
std::string WithHandle(std::string text, const std::string& handle) {
  for (size_t at = text.find('H'); at != std::string::npos; at = text.find('H', at + handle.size()))
    text.replace(at, 1, handle);
  return text;
}

// [SECTION] Firing: lock and target

// A live target handle locks the shooter onto that unit; 0, a bad handle,
// a freed slot or a path point's handle fire unlocked and clear a target
// held before.
TEST(WeaponCalls, ShootingLocksOntoALiveTargetOnly) {
  WeaponWorld probe;
  int slots = world::CountUnitSlots(probe.world);
  struct Case {
    std::string target;
    bool locked;
  } cases[] = {
      {"2", true},
      {"0", false},
      {"-1", false},
      {"3", false},  // emptied before the call
      {std::to_string(slots), false},
      {"268435456", false},
      {"\"2\"", true},    // a text of digits converts to its number
      {"2.75", true},      // a float is cut to its whole part
      {"\"two\"", false},  // any other text reads as 0
  };
  for (const char* call : {"shoot_gun", "shoot_missile"}) {
    for (const Case& c : cases) {
      std::string text = std::string(call) + "(1, " + c.target + ")";
      WeaponWorld f;
      f.Start("int r = -7;\r\nfunction main() { r = " + text + "; }\r\n");
      units::Unit* shooter = f.Place(f.plane);
      units::Unit* target = f.Place(f.plane, "", nullptr, {0, 0, 50});
      units::Unit* old = f.Place(f.plane);
      shooter->target = old;  // a target from before, to be replaced or cleared
      shooter->lockWord = 1;
      world::ResetUnitSlot(f.world, old->unitId);
      f.Finish();
      ASSERT_EQ(f.RuntimeError(), "") << text;
      EXPECT_EQ(f.Number("r"), 1.0f) << text;
      EXPECT_EQ(shooter->lockWord, c.locked ? 1 : 0) << text;
      EXPECT_EQ(shooter->target, c.locked ? target : nullptr) << text;
      EXPECT_EQ(target->lockWord, 0) << text;
    }
  }
}

// [SECTION] Slots read and checked

TEST(WeaponCalls, AmmoIsReadOnlyFromAnArmedSlotWithAChild) {
  struct Case {
    const char* call;
    int expected;
  } cases[] = {
      {"get_ammo(1, 0)", 7},   {"get_ammo(1, 1)", -1},  // armed, but nothing on its hard points
      {"get_ammo(1, 2)", -1},                          // a child but no weapon type
      {"get_ammo(1, 3)", 0},                           // armed and loaded, current count spent
      {"get_ammo(1, -1)", -1}, {"get_ammo(1, 4)", -1},  {"get_ammo(1, 99)", -1},
      {"get_ammo(0, 0)", -1},  {"get_ammo(-1, 0)", -1}, {"get_ammo(3, 0)", -1},  // slot 3 emptied
      {"get_ammo(99, 0)", -1},
  };
  for (const Case& c : cases) {
    WeaponWorld f;
    f.Start(std::string("int r = -7;\r\nfunction main() { r = ") + c.call + "; }\r\n");
    units::Unit* u = f.Place(f.plane);
    units::Unit* child = f.Place(f.missile, "", u);
    world::ResetUnitSlot(f.world, f.Place(f.plane)->unitId);
    u->weaponTypes[0] = u->weaponTypes[1] = u->weaponTypes[3] = f.missile;
    u->weaponChildren[0][2] = u->weaponChildren[2][0] = u->weaponChildren[3][3] = child;
    u->ammo[0][0] = 7;
    u->ammo[1][0] = 5;
    u->ammo[2][0] = 6;
    u->ammo[3][0] = 0;
    f.Finish();
    ASSERT_EQ(f.RuntimeError(), "") << c.call;
    EXPECT_EQ(f.Number("r"), float(c.expected)) << c.call;
  }
}

TEST(WeaponCalls, IsWeaponByTheUnitsType) {
  WeaponWorld f;
  f.Start("int a; int b; int c; int d; int e;\r\n"
          "function main() { a = is_weapon(1); b = is_weapon(2); c = is_weapon(0); d = is_weapon(-1); "
          "e = is_weapon(3); }\r\n");
  f.Place(f.plane);
  f.Place(f.missile);
  world::ResetUnitSlot(f.world, f.Place(f.missile)->unitId);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("a"), 0.0f);
  EXPECT_EQ(f.Number("b"), 1.0f);
  EXPECT_EQ(f.Number("c"), 0.0f);
  EXPECT_EQ(f.Number("d"), 0.0f);
  EXPECT_EQ(f.Number("e"), 0.0f);  // a freed missile is no longer anything
}

// Slots outside 0..3 touch no slot array: the call does nothing and (for
// the calls that arm and fill slots) says so in the log. change_weapon
// takes -1 for all four slots; the others do not.
TEST(WeaponCalls, BadSlotsChangeNothing) {
  const char* calls[] = {
      "change_weapon(1, S, \"missile\")",
      "supply_weapon(1, S, 100)",
      "stop_weapon(1, S, 1)",
  };
  for (const char* slot : {"-2", "4", "99", "-2147483647"}) {
    for (const char* call : calls) {
      std::string text = call;
      text.replace(text.find('S'), 1, slot);
      bool logs = text.rfind("stop_weapon", 0) != 0;
      WeaponWorld f;
      f.Start("int r = -7;\r\nfunction main() { r = " + text + "; }\r\n");
      units::Unit* u = f.Place(f.plane);
      u->weaponTypes[0] = f.bomb;
      u->ammo[0][0] = 1;
      u->ammo[0][2] = 4;
      f.Finish();
      ASSERT_EQ(f.RuntimeError(), "") << text;
      EXPECT_EQ(f.Number("r"), 1.0f) << text;
      for (int s = 0; s < 4; s++) {
        EXPECT_EQ(u->weaponTypes[s], s == 0 ? f.bomb : nullptr) << text << " slot " << s;
        EXPECT_EQ(u->weaponStops[s], 0) << text << " slot " << s;
        EXPECT_EQ(u->weaponChildren[s][0], nullptr) << text << " slot " << s;
      }
      EXPECT_EQ(u->ammo[0][0], 1) << text;
      std::string line = std::string("weapon slot ") + slot + " is not 0 to 3";
      EXPECT_EQ(f.Log().find(line) != std::string::npos, logs) << text;
    }
  }
  // -1 is no slot to supply.
  WeaponWorld f;
  f.Start("function main() { supply_weapon(1, -1, 100); }\r\n");
  f.Place(f.plane);
  f.Finish();
  EXPECT_NE(f.Log().find("supply_weapon: weapon slot -1 is not 0 to 3"), std::string::npos);
}

// A weapon name no type carries is worth a log line; an empty name is the
// way to disarm a slot and is not.
TEST(WeaponCalls, UnknownWeaponNamesAreLogged) {
  WeaponWorld f;
  f.Start("function main() { change_weapon(1, 0, \"nosuch\"); change_weapon(1, 1, \"\"); "
          "change_weapon(1, 2, 7); }\r\n");
  f.Place(f.plane);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  std::string log = f.Log();
  EXPECT_NE(log.find("change_weapon: no unit type named \"nosuch\""), std::string::npos);
  EXPECT_NE(log.find("change_weapon: no unit type named \"7\""), std::string::npos);  // a number becomes its text
  EXPECT_EQ(log.find("no unit type named \"\""), std::string::npos);
}

// [SECTION] Bad handles

// Slot 0, a slot emptied before the call, the slot count, -1, a path
// point's handle and a text leave every unit alone and answer the call's
// value for a bad handle.
TEST(WeaponCalls, BadHandlesChangeNothing) {
  struct Call {
    const char* text;
    float result;
  } calls[] = {
      {"change_weapon(H, 0, \"missile\")", 1},
      {"supply_weapon(H, 0, 100)", 1},
      {"shoot_gun(H, 1)", 1},
      {"shoot_missile(H, 1)", 1},
      {"destroy(H)", 0},
      {"is_weapon(H)", 0},
      {"get_ammo(H, 0)", -1},
      {"stop_gun(H, 1)", 1},
      {"stop_weapon(H, 0, 1)", 1},
  };
  WeaponWorld probe;
  int slots = world::CountUnitSlots(probe.world);
  for (std::string handle : {std::string("-1"), std::string("0"), std::string("2"), std::to_string(slots),
                             std::string("268435456"), std::string("\"one\""), std::string("0.5")}) {
    for (const Call& call : calls) {
      std::string text = WithHandle(call.text, handle);
      WeaponWorld f;
      f.Start("int r = -7;\r\nfunction main() { r = " + text + "; }\r\n");
      units::Unit* a = f.Place(f.plane);
      units::Unit* b = f.Place(f.plane);
      units::SetUnitHp(*a, 60, 100);
      a->weaponTypes[0] = f.bomb;
      a->ammo[0][0] = 1;
      a->ammo[0][2] = 4;
      world::ResetUnitSlot(f.world, b->unitId);  // slot 2 emptied
      ASSERT_NE(units::NewPathPoint(*f.world.pathPoints, 1, 1, 1, 1), nullptr);
      f.Finish();
      ASSERT_EQ(f.RuntimeError(), "") << text;
      EXPECT_EQ(f.Number("r"), call.result) << text;
      ASSERT_EQ(f.At(1), a) << text;
      EXPECT_EQ(a->hp, 60) << text;
      EXPECT_EQ(a->lockWord, 0) << text;
      EXPECT_EQ(a->target, nullptr) << text;
      EXPECT_EQ(a->weaponTypes[0], f.bomb) << text;
      EXPECT_EQ(a->ammo[0][0], 1) << text;
      EXPECT_EQ(a->gunStop, 0) << text;
      EXPECT_EQ(a->weaponStops[0], 0) << text;
      EXPECT_EQ(b->unitId, 0) << text;  // the emptied slot stays empty
    }
  }
}

// [SECTION] Destruction

TEST(WeaponCalls, DestroyLeavesUnitsWithoutHpAlone) {
  WeaponWorld f;
  f.Start("int dead; int bad; int n;\r\n"
          "function main() { dead = destroy(1); bad = destroy(0); n = destroy_label(\"gone\"); }\r\n");
  units::Unit* u = f.Place(f.plane, "gone");
  units::SetUnitHp(*u, 0, 100);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("dead"), 0.0f);
  EXPECT_EQ(f.Number("bad"), 0.0f);
  EXPECT_EQ(f.Number("n"), 0.0f);
  EXPECT_EQ(u->state, 0);
}

// [SECTION] What the calls reach

// The shot of the gun type that `shooter` fired, or null.
units::Unit* ShotOf(WeaponWorld& f, units::Unit* shooter, units::UnitType* gun) {
  for (int slot = 1; slot < world::CountUnitSlots(f.world); slot++)
    if (units::Unit* u = f.At(slot))
      if (u->type == gun && u->master == shooter) return u;
  return nullptr;
}

// change_weapon lets the old children go, arms the slot with its triple
// (payload 10 / reload 4 = 2; a bomb of reload 20 still 1) and puts a ready
// child on each defined hard point; an empty name disarms; -1 arms all four.
TEST(WeaponEffects, ChangeWeaponArmsTheSlotAndPutsItsChildren) {
  struct Case {
    const char* call;
    units::UnitType* WeaponWorld::*type;  // slot 0's weapon, null member: none
    int triple[3];                        // slot 0
    bool child;
    bool allSlots;
  } cases[] = {
      {"change_weapon(1, 0, \"missile\")", &WeaponWorld::missile, {2, 1, 2}, true, false},
      {"change_weapon(1, 0, \"bomb\")", &WeaponWorld::bomb, {1, 0, 1}, true, false},
      {"change_weapon(1, 0, \"\")", nullptr, {0, 0, 0}, false, false},
      {"change_weapon(1, 0, \"nosuch\")", nullptr, {0, 0, 0}, false, false},
      {"change_weapon(1, -1, \"missile\")", &WeaponWorld::missile, {2, 1, 2}, true, true},
  };
  for (const Case& c : cases) {
    WeaponWorld f;
    f.Start(std::string("function main() { change_weapon(1, 0, \"missile\"); ") + c.call + "; }\r\n");
    units::Unit* u = f.Place(f.plane);
    f.Finish();
    ASSERT_EQ(f.RuntimeError(), "") << c.call;
    units::UnitType* expected = c.type ? f.*(c.type) : nullptr;
    EXPECT_EQ(u->weaponTypes[0], expected) << c.call;
    for (int i = 0; i < 3; i++) EXPECT_EQ(u->ammo[0][i], c.triple[i]) << c.call << " entry " << i;
    units::Unit* child = u->weaponChildren[0][0];
    ASSERT_EQ(child != nullptr, c.child) << c.call;
    if (child) {
      EXPECT_EQ(child->type, expected) << c.call;
      EXPECT_EQ(child->parent, u) << c.call;
      EXPECT_STREQ(child->label.Get(), "WeaponMain") << c.call;
      EXPECT_EQ(child->state, units::kUnitStateReady) << c.call;  // forced: ready at once
    }
    for (int s = 1; s < 4; s++) {
      EXPECT_EQ(u->weaponTypes[s], c.allSlots ? f.missile : nullptr) << c.call << " slot " << s;
      EXPECT_EQ(u->ammo[s][0], c.allSlots ? 2 : 0) << c.call << " slot " << s;
      EXPECT_EQ(u->weaponChildren[s][0], nullptr) << c.call << " slot " << s;  // no hard point there
    }
  }
}

// supply_weapon adds percent x max / 100 + 1, up to max, then fills the
// hard points from the stock.
TEST(WeaponEffects, SupplyWeaponTopsUpAndRefills) {
  struct Case {
    const char* call;
    int stock;
    int current;
    bool child;
  } cases[] = {
      {"supply_weapon(1, 0, 0)", 0, 1, false},   // 0 % still adds one
      {"supply_weapon(1, 0, 50)", 0, 2, false},  // 50 % of 2 + 1
      {"supply_weapon(1, 0, 100)", 1, 2, true},  // capped at max; the stock fills the hard point
      {"supply_weapon(1, 1, 100)", 0, 0, false}, // slot 1 has no weapon
  };
  for (const Case& c : cases) {
    WeaponWorld f;
    f.Start(std::string("function main() { ") + c.call + "; }\r\n");
    units::Unit* u = f.Place(f.plane);
    u->weaponTypes[0] = f.missile;
    u->ammo[0][0] = 0;
    u->ammo[0][1] = c.stock;
    u->ammo[0][2] = 2;
    f.Finish();
    ASSERT_EQ(f.RuntimeError(), "") << c.call;
    EXPECT_EQ(u->ammo[0][0], c.current) << c.call;
    EXPECT_EQ(u->weaponChildren[0][0] != nullptr, c.child) << c.call;
    EXPECT_EQ(u->ammo[1][0], 0) << c.call;
  }
}

// shoot_missile launches the ready child: detached, given the target (or
// none) and the launcher's launch-target word.
TEST(WeaponEffects, ShootMissileLaunchesTheReadyChildAtTheTarget) {
  for (const char* target : {"2", "0"}) {
    WeaponWorld f;
    f.Start(std::string("function main() { change_weapon(1, 0, \"missile\"); shoot_missile(1, ") + target +
            "); }\r\n");
    units::Unit* u = f.Place(f.plane);
    units::Unit* aim = f.Place(f.plane, "", nullptr, {0, 0, 500});
    f.Finish(1);
    ASSERT_EQ(f.RuntimeError(), "") << target;
    EXPECT_EQ(u->weaponChildren[0][0], nullptr) << target;
    units::Unit* missile = nullptr;
    for (int slot = 1; slot < world::CountUnitSlots(f.world); slot++)
      if (units::Unit* other = f.At(slot))
        if (other->type == f.missile && other->master == u) missile = other;
    ASSERT_NE(missile, nullptr) << target;
    EXPECT_EQ(missile->parent, nullptr) << target;
    bool locked = target[0] == '2';
    EXPECT_EQ(missile->target, locked ? aim : nullptr) << target;
    EXPECT_EQ(u->launchTarget, locked ? aim->unitId : 0) << target;
  }
}

// shoot_gun fires toward the target's head from the unit's own frame, or
// along the barrel without a target.
TEST(WeaponEffects, ShootGunAimsAtTheTargetOrAhead) {
  struct Case {
    const char* target;
    Vec3 at;       // where unit 2 stands
    Vec3 heading;  // expected direction of the shot
  } cases[] = {
      {"2", {50, 0, 0}, {1, 0, 0}},
      {"2", {0, 30, 0}, {0, 1, 0}},
      {"0", {50, 0, 0}, {0, 0, 1}},
      {"2", {0, 0, 0}, {0, 0, 1}},  // the head at the gun's own origin: ahead
  };
  for (const Case& c : cases) {
    WeaponWorld f;
    units::UnitType* gun = f.AddType("gun", 1, units::kAttrWeapon, units::kTypeGun);
    gun->speed = 10;
    f.plane->gunType = gun;
    f.plane->gunPos[0] = Vec3{0, 0, 0};
    f.Start(std::string("function main() { shoot_gun(1, ") + c.target + "); }\r\n");
    units::Unit* u = f.Place(f.plane);
    f.Place(f.plane, "", nullptr, c.at);
    f.Finish(1);
    ASSERT_EQ(f.RuntimeError(), "") << c.target;
    units::Unit* shot = ShotOf(f, u, gun);
    ASSERT_NE(shot, nullptr) << c.target << " at " << c.at.x << "," << c.at.y;
    Vec3 v = shot->velocity;
    float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    ASSERT_GT(length, 0.0f);
    EXPECT_NEAR(v.x / length, c.heading.x, 0.01f) << c.target << " at " << c.at.x << "," << c.at.y;
    EXPECT_NEAR(v.y / length, c.heading.y, 0.01f) << c.target << " at " << c.at.x << "," << c.at.y;
    EXPECT_NEAR(v.z / length, c.heading.z, 0.01f) << c.target << " at " << c.at.x << "," << c.at.y;
  }
}

// destroy answers 1 only for a unit it brought down; destroy_label counts
// the units of the event mode the label selects, attached parts going down
// with their carrier uncounted.
TEST(WeaponEffects, DestroyCountsOnlyWhatWentDown) {
  WeaponWorld f;
  f.Start("int a; int b; int c; int again; int n;\r\n"
          "function main() { a = destroy(1); b = destroy(2); c = destroy(3); again = destroy(1); "
          "n = destroy_label(\"x\"); }\r\n");
  units::Unit* plain = f.Place(f.plane);
  units::Unit* inert = f.Place(f.plane);
  inert->flags |= units::kUnitInert;
  units::Unit* tough = f.Place(f.plane);
  units::SetUnitHp(*tough, units::kKillDamage, units::kKillDamage);
  units::Unit* x1 = f.Place(f.plane, "x");
  units::Unit* part = f.Place(f.plane, "x", x1);
  units::Unit* x2 = f.Place(f.plane, "x");
  units::Unit* elsewhere = f.Place(f.plane, "x");
  elsewhere->sceneNumber = 1;
  f.Finish(1);
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("a"), 1.0f);
  EXPECT_EQ(plain->hp, 0);
  EXPECT_GE(plain->state, units::kUnitStateDestroyedFrom);
  EXPECT_EQ(f.Number("b"), 0.0f);  // INERT takes no damage
  EXPECT_GT(inert->hp, 0);
  EXPECT_EQ(f.Number("c"), 0.0f);  // HP this high never falls
  EXPECT_EQ(f.Number("again"), 0.0f);
  EXPECT_EQ(f.Number("n"), 2.0f);
  EXPECT_EQ(x1->hp, 0);
  EXPECT_EQ(part->hp, 0);
  EXPECT_EQ(x2->hp, 0);
  EXPECT_GT(elsewhere->hp, 0);
}

}  // namespace
