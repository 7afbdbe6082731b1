// world_triggers_test.cpp -- the trigger command table, the lists points
// stand in, and the conditions of every family firing at the right step.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform_public.h"
#include "script/script_public.h"
#include "test_support.h"
#include "units/units_services.h"
#include "world/world_public.h"
#include "world/world_triggers.h"

namespace {

using namespace world;

TEST(WorldTriggers, CommandTable) {
  for (int i = 0; i < kTriggerCommandCount; i++) {
    EXPECT_EQ(TriggerCommandTable[i].code, i);
    ASSERT_NE(TriggerCommandTable[i].keyword, nullptr);
    EXPECT_EQ(FindTriggerCommand(TriggerCommandTable[i].keyword), i);
  }
  EXPECT_EQ(TriggerCommandTable[kTriggerCommandCount].code, 0);
  EXPECT_EQ(TriggerCommandTable[kTriggerCommandCount].keyword, nullptr);
  EXPECT_STREQ(TriggerCommandTable[5].keyword, "ID_APPEAR");
  EXPECT_STREQ(TriggerCommandTable[6].keyword, "ID_DISAP");
  EXPECT_STREQ(TriggerCommandTable[29].keyword, "CHG");
  EXPECT_EQ(FindTriggerCommand("near"), -1);  // byte compare
  EXPECT_EQ(FindTriggerCommand(nullptr), -1);
  // Shift-JIS: "経過時間が" is 8C 6F 89 DF 8E 9E 8A D4 82 AA.
  EXPECT_EQ(std::memcmp(TriggerCommandDescription(2), "\x8C\x6F\x89\xDF\x8E\x9E\x8A\xD4\x82\xAA[OP2]", 15), 0);
  EXPECT_STREQ(TriggerCommandDescription(39), "");
}

TEST(WorldTriggers, ListOfEachCommand) {
  const int expected[kTriggerCommandCount] = {
      0, 1, 1, 1, 4, 7, 8, 7, 8, 7, 8, 11, 11, 13, 14, 15, 16, 17, 18, 19,
      20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 11, 11, 11, 11, 11, 11,
  };
  for (int code = 0; code < kTriggerCommandCount; code++) EXPECT_EQ(TriggerListOf(code), expected[code]) << code;
  EXPECT_EQ(TriggerListOf(-1), -1);
  EXPECT_EQ(TriggerListOf(39), -1);
}

// Slots grow by 20; a point stands once; removal leaves a hole the next
// addition fills; emptying keeps the slots.
TEST(WorldTriggers, ListSlots) {
  TriggerLists lists;
  auto* points = reinterpret_cast<units::PathPoint*>(alignof(std::max_align_t));  // stand-in addresses
  auto point = [&](int i) { return reinterpret_cast<units::PathPoint*>(reinterpret_cast<char*>(points) + 64 * i); };
  EXPECT_EQ(lists.SlotCount(7), 0);
  EXPECT_EQ(lists.SetListed(7, point(0), 1), 1);
  EXPECT_EQ(lists.SlotCount(7), 20);
  EXPECT_EQ(lists.SetListed(7, point(0), 1), 1);
  EXPECT_EQ(lists.lists[7][1], nullptr);
  for (int i = 1; i < 20; i++) lists.SetListed(7, point(i), 1);
  EXPECT_EQ(lists.SlotCount(7), 20);
  lists.SetListed(7, point(20), 1);
  EXPECT_EQ(lists.SlotCount(7), 40);
  EXPECT_EQ(lists.lists[7][20], point(20));

  lists.SetListed(7, point(99), 0);  // not listed: nothing changes
  lists.SetListed(7, point(5), 0);
  EXPECT_EQ(lists.lists[7][5], nullptr);
  lists.SetListed(7, point(21), 1);
  EXPECT_EQ(lists.lists[7][5], point(21));

  lists.Clear();
  EXPECT_EQ(lists.SlotCount(7), 40);
  for (units::PathPoint* slot : lists.lists[7]) EXPECT_EQ(slot, nullptr);
  lists.SetListed(7, point(3), 1);
  EXPECT_EQ(lists.lists[7][0], point(3));
  EXPECT_EQ(lists.SlotCount(7), 40);
  EXPECT_EQ(lists.SetListed(39, point(1), 1), 0);
}

// A small scene on records: units U ("alpha", handle 7, HP 30 of 100, at
// (10, 20, 30), type "F15"), P ("wing") and its child C ("beta", handle 9),
// two more living "alpha" units, a dead one and a branch part labelled
// "alpha" (neither counted); one path point "P" whose event function
// appends the handle it gets to the global `log`.
class Triggers : public ::testing::Test {
 protected:
  Triggers() {
    fighter.key = "F15";
    branch.key = "PART";
    branch.attributes = 0x400;
    Make(u, 7, "alpha", &fighter, 30);
    u.maxHp = 100;
    u.SetObjectPosition(10, 20, 30);
    Make(p, 8, "wing", &fighter, 50);
    Make(c, 9, "beta", &fighter, 50);
    c.parent = &p;
    Make(others[0], 10, "alpha", &fighter, 1);
    Make(others[1], 11, "alpha", &fighter, 1);
    Make(others[2], 12, "alpha", &fighter, 0);  // dead
    Make(others[3], 13, "alpha", &branch, 5);   // a branch part
    pool = {nullptr, &u, &p, &c, &others[0], &others[1], &others[2], &others[3]};

    point.label = "P";
    point.identity = 0x2a;
    point.SetObjectPosition(10, 25, 25);  // 7.0711 from U

    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    std::string text = "string log = \"\";\r\nfloat limit = 1.5;\r\nfloat _later = 2.0;\r\nint count = 3;\r\n"
                       "string words = \"4 units\";\r\nint __Q__1 = 5;\r\nfunction " +
                       units::EventFunctionName(point) + "(int h) { log = log + h + \",\"; }\r\n";
    EXPECT_EQ(se.LoadScriptMemory(text.c_str(), "triggers.txt"), 1) << se.GetErrorListText();

    scene.engine = &se;
    scene.gameTime = 90;
    scene.restCountdown = 120;
    scene.pool = &pool;
    scene.countSlots = [](void* pool) { return int32_t(static_cast<std::vector<units::Unit*>*>(pool)->size()); };
    scene.unitAt = [](void* pool, int32_t slot) { return (*static_cast<std::vector<units::Unit*>*>(pool))[size_t(slot)]; };
  }

  static void Make(units::Unit& unit, int32_t handle, const char* label, units::UnitType* type, int32_t hp) {
    unit.unitId = handle;
    unit.label.Set(label);
    unit.type = type;
    unit.hp = hp;
    unit.maxHp = 100;
  }

  // Runs the scripts' frame and returns what the event functions logged.
  std::string Fired() {
    se.RunScriptFrame(0);
    script::CScriptValue* log = se.FindGlobal("log");
    std::string text = log ? log->stringValue.c_str() : "?";
    script::AssignStringToVariable(se.pools, log, "");
    return text;
  }

  test::ScopedWorkFolder work;
  script::ScriptEngine se;
  units::UnitType fighter, branch;
  units::Unit u, p, c, others[4];
  std::vector<units::Unit*> pool;
  units::PathPoint point;
  TriggerLists lists;
  TriggerScene scene;
};

// Every family of conditions, each at its edge: the command in its list,
// run with the given units; the expected handle logged ("" none) and
// whether the point is still listed afterwards.
TEST_F(Triggers, ConditionsOfEachFamilyFireAtTheirEdge) {
  enum Who { kNone, kU, kC };
  struct Case {
    int command;
    const char* op1;
    const char* op2;
    Who unit, subject;
    const char* fired;
  };
  const Case cases[] = {
      {kTriggerNop, "*", "1", kU, kU, ""},
      {kTriggerAuto, "", "", kNone, kNone, "0,"},
      // Clocks: game time 90 steps, 120 left; seconds x 60 truncated.
      {kTriggerPastTime, "", "1.5", kNone, kNone, "0,"},
      {kTriggerPastTime, "", "1.52", kNone, kNone, ""},  // 91 steps
      {kTriggerPastTime, "", "", kNone, kNone, ""},
      {kTriggerPastTime, "", "limit", kNone, kNone, "0,"},  // a global: 1.5
      {kTriggerPastTime, "", "_later", kNone, kNone, ""},   // a global: 2.0
      {kTriggerPastTime, "", "missing", kNone, kNone, "0,"},  // no such global: 0
      {kTriggerRestTime, "", "2", kNone, kNone, "0,"},
      {kTriggerRestTime, "", "1.99", kNone, kNone, ""},  // 119 steps
      // Label tests: "*" for any unit, or the label path of the subject.
      {kTriggerAppear, "*", "", kU, kU, "7,"},
      {kTriggerAppear, "*", "", kNone, kNone, "0,"},
      {kTriggerAppear, "alpha", "", kU, kU, "7,"},
      {kTriggerAppear, "wing.beta", "", kC, kC, "9,"},
      {kTriggerAppear, "beta", "", kC, kC, ""},  // a labelled parent must be named
      {kTriggerAppear, "", "", kU, kU, ""},
      {kTriggerDamaged, "alpha", "", kC, kU, "9,"},  // the handle is the unit's, the label the subject's
      {kTriggerDisappear, "alpha", "", kU, kC, ""},
      {kTriggerTouch, "alpha", "", kU, kU, "7,"},
      {kTriggerLock, "alpha", "", kU, kNone, ""},
      {kTriggerIdAppear, "F15", "", kU, kU, "7,"},
      {kTriggerIdAppear, "F16", "", kU, kU, ""},
      {kTriggerIdDisappear, "F15", "", kU, kNone, ""},
      // Counts: three living, counted units labelled "alpha".
      {kTriggerMore, "alpha", "3", kU, kU, "7,"},
      {kTriggerMore, "alpha", "4", kU, kU, ""},
      {kTriggerMore, "alpha", "count", kU, kU, "7,"},  // a global int: 3
      {kTriggerMore, "alpha", "2.9", kU, kU, "7,"},     // read as the integer 2
      {kTriggerMore, "alpha", "words", kU, kU, ""},     // a global text: 4
      {kTriggerLess, "alpha", "4", kU, kU, "7,"},
      {kTriggerLess, "alpha", "3", kU, kU, ""},
      {kTriggerLess, "*", "9", kU, kU, ""},  // no wildcard here
      // Distances from the unit to the point: 7.0711.
      {kTriggerNear, "alpha", "7.08", kU, kU, "7,"},
      {kTriggerNear, "alpha", "7.07", kU, kU, ""},
      {kTriggerFar, "alpha", "7.07", kU, kU, "7,"},
      {kTriggerFar, "alpha", "7.08", kU, kU, ""},
      {kTriggerNear, "*", "100", kU, kU, ""},  // label match only
      // HP: 30 of 100.
      {kTriggerHp, "alpha", "31", kU, kU, "7,"},
      {kTriggerHp, "alpha", "30", kU, kU, ""},
      // Sides of the point (10, 25, 25) for U at (10, 20, 30).
      {kTriggerXPlus, "alpha", "", kU, kU, "7,"},
      {kTriggerXMinus, "alpha", "", kU, kU, ""},
      {kTriggerYPlus, "alpha", "", kU, kU, ""},
      {kTriggerYMinus, "alpha", "", kU, kU, "7,"},
      {kTriggerZPlus, "alpha", "", kU, kU, "7,"},
      {kTriggerZMinus, "alpha", "", kU, kU, ""},
      {kTriggerZMinus, "alpha", "", kNone, kU, ""},
  };
  auto who = [&](Who w) { return w == kU ? &u : w == kC ? &c : nullptr; };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(TriggerCommandTable[k.command].keyword) + " " + k.op1 + " " + k.op2);
    lists.Clear();
    point.triggerCommand = uint32_t(k.command);
    point.operand1 = k.op1;
    point.operand2 = k.op2;
    int list = TriggerListOf(k.command);
    lists.SetListed(list, &point, 1);
    EXPECT_EQ(RunTriggerList(lists, scene, list, who(k.unit), who(k.subject)), 1);
    EXPECT_EQ(Fired(), k.fired);
    bool leaves = k.fired[0] && TriggerFiresOnce(k.command);
    EXPECT_EQ(lists.lists[size_t(list)][0], leaves ? nullptr : &point);
  }
}

// A point fires at the step its condition first holds, and a point that
// leaves its list fires once.
TEST_F(Triggers, ElapsedTimeFiresAtItsStepAndOnce) {
  point.triggerCommand = kTriggerPastTime;
  point.operand2 = "1.5";
  lists.SetListed(TriggerListOf(kTriggerPastTime), &point, 1);
  std::string fired;
  for (int32_t step = 0; step < 200; step++) {
    scene.gameTime = step;
    RunTriggerList(lists, scene, kTriggerAuto, nullptr, nullptr);
    if (!Fired().empty()) fired += std::to_string(step) + ";";
  }
  EXPECT_EQ(fired, "90;");

  // An APPEAR point stays and fires for every appearing unit.
  lists.Clear();
  point.triggerCommand = kTriggerAppear;
  point.operand1 = "*";
  lists.SetListed(kTriggerAppear, &point, 1);
  RunTriggerList(lists, scene, kTriggerAppear, &u, &u);
  RunTriggerList(lists, scene, kTriggerAppear, &c, &c);
  EXPECT_EQ(Fired(), "7,9,");
}

// A missing event function starts nothing and the point still counts as
// fired; a failed start is kept as the run-time error and the walk goes on.
TEST_F(Triggers, MissingFunctionsAndFailedStarts) {
  units::PathPoint stranger;
  stranger.label = "R";
  stranger.identity = 1;
  stranger.triggerCommand = kTriggerAuto;
  point.triggerCommand = kTriggerAuto;
  lists.SetListed(kTriggerAuto, &stranger, 1);
  lists.SetListed(kTriggerAuto, &point, 1);
  EXPECT_EQ(RunTriggerList(lists, scene, kTriggerAuto, &u, &u), 2);
  EXPECT_EQ(lists.lists[kTriggerAuto][0], nullptr);
  EXPECT_EQ(Fired(), "7,");
  EXPECT_FALSE(se.run.error.stored);

  // A global of the function's name that is no function cannot start.
  stranger.label = "Q";
  lists.SetListed(kTriggerAuto, &stranger, 1);
  lists.SetListed(kTriggerAuto, &point, 1);
  EXPECT_EQ(RunTriggerList(lists, scene, kTriggerAuto, &u, &u), 2);
  EXPECT_TRUE(se.run.error.stored);
  EXPECT_EQ(lists.lists[kTriggerAuto][1], nullptr);  // the walk went on
}

// Unknown codes never fire; a list outside the table is not run.
TEST_F(Triggers, UnknownCodes) {
  point.triggerCommand = 40;
  point.operand1 = "*";
  lists.SetListed(kTriggerNear, &point, 1);
  EXPECT_EQ(RunTriggerList(lists, scene, kTriggerNear, &u, &u), 1);
  EXPECT_EQ(Fired(), "");
  EXPECT_EQ(lists.lists[kTriggerNear][0], &point);
  EXPECT_EQ(RunTriggerList(lists, scene, 39, &u, &u), 0);
  EXPECT_EQ(RunTriggerList(lists, scene, -1, &u, &u), 0);
}

// The world's lists: a point stands in the list of its command; the HP
// list runs when damage has been applied (RunHpTriggers, which the damage
// code calls beside DAMAGED), so an HP point fires once its unit's HP ratio
// falls below OP2 percent, and then leaves the list.
TEST(WorldTriggers, HpPointsRunAfterDamage) {
  test::ScopedWorkFolder work;
  world::GameWorld world;
  units::PathPoint point, clock;
  point.label = "H";
  point.identity = 3;
  units::SetPathPointTrigger(point, kTriggerHp, "alpha", "50");
  clock.label = "T";
  clock.identity = 4;
  units::SetPathPointTrigger(clock, kTriggerPastTime, "", "1");
  script::ScriptEngine& se = world.scriptEngine;
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  std::string text = "string log = \"\";\r\nfunction " + units::EventFunctionName(point) +
                     "(int h) { log = log + \"hp\" + h + \",\"; }\r\nfunction " + units::EventFunctionName(clock) +
                     "(int h) { log = log + \"t,\"; }\r\n";
  ASSERT_EQ(se.LoadScriptMemory(text.c_str(), "hp.txt"), 1) << se.GetErrorListText();
  auto fired = [&] {
    se.RunScriptFrame(0);
    script::CScriptValue* log = se.FindGlobal("log");
    std::string got = log->stringValue.c_str();
    script::AssignStringToVariable(se.pools, log, "");
    return got;
  };

  EXPECT_EQ(SetPathPointListed(world, &point, 1), 1);
  EXPECT_EQ(SetPathPointListed(world, &clock, 1), 1);
  EXPECT_EQ(world.triggerLists.lists[kTriggerHp][0], &point);
  EXPECT_EQ(world.triggerLists.lists[kTriggerAuto][0], &clock);  // PASTTIME stands in AUTO

  units::UnitType type;
  units::Unit unit;
  unit.type = &type;
  unit.unitId = 5;
  unit.label.Set("alpha");
  unit.maxHp = 200;
  unit.hp = 120;  // 60 %
  EXPECT_EQ(RunHpTriggers(world, &unit), 1);
  EXPECT_EQ(fired(), "");
  unit.hp = 99;  // the damage applied: 49.5 %
  EXPECT_EQ(RunHpTriggers(world, &unit), 1);
  EXPECT_EQ(fired(), "hp5,");
  EXPECT_EQ(world.triggerLists.lists[kTriggerHp][0], nullptr);
  unit.hp = 10;
  EXPECT_EQ(RunHpTriggers(world, &unit), 0);
  EXPECT_EQ(fired(), "");

  // The world's clocks drive the AUTO list.
  world.gameTime = 59;
  RunPathTriggers(world, kTriggerAuto, nullptr, nullptr);
  EXPECT_EQ(fired(), "");
  world.gameTime = 60;
  RunPathTriggers(world, kTriggerAuto, nullptr, nullptr);
  EXPECT_EQ(fired(), "t,");

  // Removal, and emptying every list with a null point.
  SetPathPointListed(world, &point, 1);
  SetPathPointListed(world, &point, 0);
  EXPECT_EQ(world.triggerLists.lists[kTriggerHp][0], nullptr);
  SetPathPointListed(world, &point, 1);
  SetPathPointListed(world, &clock, 1);
  EXPECT_EQ(SetPathPointListed(world, nullptr, 0), 1);
  for (const auto& list : world.triggerLists.lists)
    for (units::PathPoint* slot : list) EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(world.triggerLists.SlotCount(kTriggerHp), 20);
}

// The world's path points by label and by position: only labelled points
// are found, the first one wins; by name and by script storage.
TEST(WorldTriggers, WorldPathPointLookups) {
  world::GameWorld world;
  ASSERT_NE(world.pathPoints, nullptr);
  EXPECT_EQ(CountPathPoints(world), 0);
  units::PathPoint* unnamed = units::NewPathPoint(*world.pathPoints, 1, 1, 1, 1);
  units::PathPoint* first = units::NewPathPoint(*world.pathPoints, 2, 1, 1, 1);
  units::PathPoint* second = units::NewPathPoint(*world.pathPoints, 3, 1, 1, 1);
  ASSERT_TRUE(unnamed && first && second);
  units::SetPathPointPosition(*unnamed, 5, 5, 5);
  units::SetPathPointPosition(*first, 5, 5, 5.009f);
  units::SetPathPointPosition(*second, 5, 5, 5);
  units::SetPathPointLabel(*first, "gate");
  units::SetPathPointLabel(*second, "gate");
  units::SetPathPointScript(*second, "x = 1;");
  EXPECT_GE(CountPathPoints(world), 3);

  EXPECT_EQ(FindPathPointByLabel(world, "gate"), first);
  EXPECT_EQ(FindPathPointByLabel(world, "Gate"), nullptr);
  EXPECT_EQ(FindPathPointByLabel(world, ""), nullptr);
  EXPECT_EQ(FindPathPointAt(world, 5, 5, 5), first);  // the unlabelled one is passed over
  EXPECT_EQ(FindPathPointAt(world, 5, 5, 5.02f), nullptr);
  EXPECT_EQ(FindPathPointByName(world, "gate"), first);
  EXPECT_EQ(FindPathPointByName(world, nullptr), nullptr);
  EXPECT_EQ(FindPathPointByScript(world, second->wrapperScript.c_str()), second);
  std::string copy = second->wrapperScript;
  EXPECT_EQ(FindPathPointByScript(world, copy.c_str()), nullptr);  // same text, other storage
}

}  // namespace
