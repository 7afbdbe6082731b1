// api_get_world_test.cpp -- the getters that read the world: event states
// consumed once and written into refer arguments, the statistics of a
// name, the pads read from a step input set by the test (and not from it in
// the raw forms), the game and engine words, unit-master copies, and the
// preset for every table index out of range and for a missing player type.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "api_fixture.h"
#include "input/input_public.h"
#include "units/units_public.h"

namespace {

using apitest::PlacingWorld;
using apitest::WorldFixture;

// [SECTION] Calling a getter straight through its handler
//
// The words a script cannot hold still (the step input, the clocks) are
// set by the test and read by calling the getter handler with hand-made
// arguments, as the script engine would.

script::SystemCallArgument Int(int32_t v) {
  script::SystemCallArgument a;
  a.type = script::kCallInt;
  a.intValue = v;
  a.floatValue = float(v);
  return a;
}

script::SystemCallArgument Text(const char* text) {
  script::SystemCallArgument a;
  a.type = script::kCallString;
  a.text = text;
  return a;
}

struct Answer {
  int32_t type = -1;
  int32_t i = 0;
  float f = 0.0f;
  std::string text;
};

Answer CallGetter(world::GameWorld& world, const char* name, std::initializer_list<script::SystemCallArgument> given) {
  script::SystemCallArgument args[script::kSystemCallArguments] = {};
  int n = 0;
  for (const script::SystemCallArgument& a : given) args[n++] = a;
  std::vector<char> scratch(script::kSystemCallScratchBytes);
  script::SystemCallContext context;
  context.callName = name;
  context.engine = &world.scriptEngine;
  script::SystemCallResult result;
  script::SystemCallResult* filled = api::HandleGetterSystemCall(&result, context, args, scratch.data());
  Answer answer;
  answer.type = filled->type;
  answer.i = filled->intValue;
  answer.f = filled->floatValue;
  if (filled->type == script::kCallString) answer.text = filled->text ? filled->text : "<null>";
  return answer;
}

// The getter handler's preset, which every out-of-range index keeps.
bool IsPreset(const Answer& a) { return a.type == script::kCallInt && a.i == 1; }

// [SECTION] Event states

// A shooter in slot 1, its two foes in slots 2 and 3.
struct EventWorld : PlacingWorld {
  units::UnitType* plane = AddType("plane", 100, 0);
  units::UnitType* tank = AddType("tank", 100, 0);
  units::Unit* shooter = nullptr;
  units::Unit* foe = nullptr;
  units::Unit* other = nullptr;

  void PlaceAll() {
    shooter = Place(plane);
    foe = Place(tank);
    other = Place(plane);
    ASSERT_EQ(shooter->unitId, 1);
    ASSERT_EQ(foe->unitId, 2);
    ASSERT_EQ(other->unitId, 3);
  }
};

TEST(EventStates, QueuesReportTheOldestEntryOnceAndWriteTheReferArguments) {
  EventWorld f;
  f.Start("int d1; int d2; int d3; string n1 = \"-\"; string n2 = \"-\"; string n3 = \"kept\";\r\n"
          "int s1 = -9; int s2 = -9; int s3 = -9; int a1 = -9; int a2 = -9; int a3 = -9;\r\n"
          "int h1; int h2; string hn = \"-\"; int hv = -9; int ha = -9;\r\n"
          "int k1; int k2; string kn = \"-\"; int kv = -9;\r\n"
          "int bad; string bn = \"kept\"; int bv = -9; int ba = -9;\r\n"
          "function main() {\r\n"
          "  d1 = get_damage_state(1, n1, s1, a1);\r\n"
          "  d2 = get_damage_state(1, n2, s2, a2);\r\n"
          "  d3 = get_damage_state(1, n3, s3, a3);\r\n"
          "  h1 = get_hit_state(1, hn, hv, ha);\r\n"
          "  h2 = get_hit_state(1, hn, hv, ha);\r\n"
          "  k1 = get_destroy_state(1, kn, kv);\r\n"
          "  k2 = get_destroy_state(1, kn, kv);\r\n"
          "  bad = get_damage_state(-1, bn, bv, ba) + get_hit_state(99, bn, bv, ba) + get_destroy_state(0, bn, bv);\r\n"
          "}\r\n");
  f.PlaceAll();
  units::RecordDamageBy(*f.shooter, f.foe, 30);
  units::RecordDamageBy(*f.shooter, f.other, 5);
  units::RecordHit(f.world, *f.shooter, f.foe, 12);
  units::RecordKill(f.world, *f.shooter, f.other);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  // Two waiting, the oldest first; then the other; then none, and nothing
  // written.
  EXPECT_EQ(f.Number("d1"), 2.0f);
  EXPECT_EQ(f.Text("n1"), "tank");
  EXPECT_EQ(f.Number("s1"), 2.0f);
  EXPECT_EQ(f.Number("a1"), 30.0f);
  EXPECT_EQ(f.Number("d2"), 1.0f);
  EXPECT_EQ(f.Text("n2"), "plane");
  EXPECT_EQ(f.Number("s2"), 3.0f);
  EXPECT_EQ(f.Number("a2"), 5.0f);
  EXPECT_EQ(f.Number("d3"), 0.0f);
  EXPECT_EQ(f.Text("n3"), "kept");
  EXPECT_EQ(f.Number("s3"), -9.0f);
  EXPECT_EQ(f.Number("a3"), -9.0f);
  // Hit and kill queues: reported once.
  EXPECT_EQ(f.Number("h1"), 1.0f);
  EXPECT_EQ(f.Number("h2"), 0.0f);
  EXPECT_EQ(f.Text("hn"), "tank");
  EXPECT_EQ(f.Number("hv"), 2.0f);
  EXPECT_EQ(f.Number("ha"), 12.0f);
  EXPECT_EQ(f.Number("k1"), 1.0f);
  EXPECT_EQ(f.Number("k2"), 0.0f);
  EXPECT_EQ(f.Text("kn"), "plane");
  EXPECT_EQ(f.Number("kv"), 3.0f);
  // Bad handles: 0, and the refer arguments keep their values.
  EXPECT_EQ(f.Number("bad"), 0.0f);
  EXPECT_EQ(f.Text("bn"), "kept");
  EXPECT_EQ(f.Number("bv"), -9.0f);
  EXPECT_EQ(f.Number("ba"), -9.0f);
}

// One event word per call: the first read reports it and clears it to -1,
// the second finds nothing.
struct WordCase {
  const char* call;
  int16_t* (*select)(units::Unit&);
  int16_t value;
  int first;                   // the first call's result
  const char* name;            // the name written on a report
};

int16_t* GunRange(units::Unit& u) { return &u.aimingWords[0]; }
int16_t* Lock(units::Unit& u) { return &u.aimingWords[1]; }
int16_t* Miss(units::Unit& u) { return &u.missileWords[1]; }
int16_t* Fox(units::Unit& u) { return &u.launchTarget; }

TEST(EventStates, EventWordsReportOnceAndClear) {
  const WordCase cases[] = {
      {"get_fox_state", Fox, 2, 1, "tank"},
      {"get_fox_state", Fox, 0, 1, ""},  // launched without a target
      {"get_fox_state", Fox, -1, 0, nullptr},
      {"get_gun_range_state", GunRange, 3, 1, "plane"},
      {"get_gun_range_state", GunRange, 0, 0, nullptr},
      {"get_lock_state", Lock, 2, 1, "tank"},
      {"get_lock_state", Lock, -1, 0, nullptr},
      {"get_miss_state", Miss, 2, 1, "tank"},
      {"get_miss_state", Miss, 0, 0, nullptr},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.value));
    EventWorld f;
    f.Start(std::string("int r1; int r2; string n = \"kept\"; int o = -9;\r\n") +
            "function main() { r1 = " + c.call + "(1, n, o); r2 = " + c.call + "(1, n, o); }\r\n");
    f.PlaceAll();
    *c.select(*f.shooter) = c.value;
    f.Finish();
    ASSERT_EQ(f.RuntimeError(), "");
    EXPECT_EQ(f.Number("r1"), float(c.first));
    EXPECT_EQ(f.Number("r2"), 0.0f);
    if (c.first) {
      EXPECT_EQ(f.Text("n"), c.name);
      EXPECT_EQ(f.Number("o"), float(c.value));
      EXPECT_EQ(*c.select(*f.shooter), -1);
    } else {
      EXPECT_EQ(f.Text("n"), "kept");
      EXPECT_EQ(f.Number("o"), -9.0f);
      EXPECT_EQ(*c.select(*f.shooter), c.value);  // not consumed
    }
  }
}

// [SECTION] Statistics

TEST(Statistics, CountersOfANameByClassAndTargetFlag) {
  WorldFixture f;
  world::PopulationRecord& red = f.world.population.emplace_back();
  red.team = "red";
  red.used = true;
  for (int c = 0; c < 4; c++) {
    red.appeared[c] = 10 + c;
    red.alive[c] = 20 + c;
    red.destroyed[c] = 30 + c;
    red.targetAppeared[c] = 40 + c;
    red.targetAlive[c] = 50 + c;
    red.targetDestroyed[c] = 60 + c;
  }
  struct Case {
    const char* call;
    const char* name;
    int unitClass, target;
    int expected;  // 1 is also the preset
  } cases[] = {
      {"get_total_num", "red", 2, 0, 12},
      {"get_total_num", "red", 3, 1, 43},
      {"get_arrive_num", "red", 0, 0, 20},
      {"get_arrive_num", "red", 1, 7, 51},       // any non-zero selects TARGET
      {"get_arrive_num", "red", 4, 0, 86},       // 20 + 21 + 22 + 23
      {"get_arrive_num", "red", 99, 1, 206},     // 50 + 51 + 52 + 53
      {"get_destroy_num", "red", 1, 0, 31},
      {"get_destroy_num", "red", 0, 1, 60},
      {"get_total_num", "blue", 0, 0, 0},        // no record
      {"get_destroy_num", "", 0, 0, 0},
      // Out of range: the preset, nothing read past the counters.
      {"get_total_num", "red", 4, 0, 1},
      {"get_total_num", "red", -1, 0, 1},
      {"get_destroy_num", "red", 4, 1, 1},
      {"get_arrive_num", "red", -1, 0, 1},
      {"get_arrive_num", "red", -2147483647 - 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + c.name + " " + std::to_string(c.unitClass));
    Answer a = CallGetter(f.world, c.call, {Text(c.name), Int(c.unitClass), Int(c.target)});
    EXPECT_EQ(a.type, script::kCallInt);
    EXPECT_EQ(a.i, c.expected);
  }
}

// [SECTION] Pads

TEST(Pads, ButtonsAndAxesComeFromTheStepInputAndTheRawFormsFromTheDevices) {
  WorldFixture f;
  input::InputSystem input;  // no devices: its arrays read zeros
  f.world.input = &input;
  f.world.held[5] = 1;
  f.world.trigger[6] = 1;
  f.world.repeat[127] = 1;
  const float axes[6] = {0.25f, -0.5f, 0.75f, 0.1f, 0.2f, -1.0f};
  for (int i = 0; i < 6; i++) f.world.axes[i] = axes[i];

  struct ButtonCase {
    const char* call;
    int code;
    int expected;
  } buttons[] = {
      {"get_pad_now", 5, 1},     {"get_pad_now", 6, 0},      {"get_pad_trg", 6, 1},   {"get_pad_trg", 5, 0},
      {"get_pad_rep", 127, 1},   {"get_pad_now_raw", 5, 0},  {"get_pad_trg_raw", 6, 0}, {"get_pad_rep_raw", 127, 0},
  };
  for (const ButtonCase& c : buttons) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.code));
    Answer a = CallGetter(f.world, c.call, {Int(c.code)});
    EXPECT_EQ(a.type, script::kCallInt);
    EXPECT_EQ(a.i, c.expected);
  }

  struct AxisCase {
    const char* call;
    int code;
    float expected;
  } analog[] = {
      {"get_pad_analog", 80, 0.25f}, {"get_pad_analog", 82, -0.5f}, {"get_pad_analog", 84, 0.75f},
      {"get_pad_analog", 92, -1.0f}, {"get_pad_analog", 86, 0.0f},  {"get_pad_analog", 88, 0.0f},
      {"get_pad_analog", -1, 0.0f},  {"get_pad_analog", 1000, 0.0f}, {"get_pad_analog_raw", 80, 0.0f},
      {"get_pad_analog_raw", 92, 0.0f},
  };
  for (const AxisCase& c : analog) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.code));
    Answer a = CallGetter(f.world, c.call, {Int(c.code)});
    EXPECT_EQ(a.type, script::kCallFloat);
    EXPECT_EQ(a.f, c.expected);
  }
  f.world.input = nullptr;
}

TEST(Pads, MapsNamesAndSensitivityOfASlot) {
  WorldFixture f;
  input::InputSystem input;
  core::SettingsBlock settings{};
  core::ResetSettings(&settings);
  settings.padFree[3][0] = 7;
  settings.padFree[3][1] = 9;
  f.world.input = &input;
  f.world.settings = &settings;
  input.SetButtonMap(2, 5, 42);

  Answer map = CallGetter(f.world, "get_pad_map", {Int(2), Int(5)});
  EXPECT_EQ(map.type, script::kCallInt);
  EXPECT_EQ(map.i, 42);
  EXPECT_EQ(CallGetter(f.world, "get_pad_map", {Int(2), Int(6)}).i, input.GetButtonMap(2, 6));
  Answer name = CallGetter(f.world, "get_pad_map_str", {Int(0), Int(64)});
  EXPECT_EQ(name.type, script::kCallString);
  EXPECT_EQ(name.text, input.GetRawCodeName(0, 64));
  Answer device = CallGetter(f.world, "get_pad_name", {Int(7)});
  EXPECT_EQ(device.type, script::kCallString);
  EXPECT_EQ(device.text, "");  // a free slot
  Answer free = CallGetter(f.world, "get_pad_sensitivity", {Int(3)});
  EXPECT_EQ(free.type, script::kCallInt);
  EXPECT_EQ(free.i, 7);

  f.world.input = nullptr;
  f.world.settings = nullptr;
}

TEST(Pads, IndexesOutOfRangeKeepThePreset) {
  WorldFixture f;
  input::InputSystem input;
  core::SettingsBlock settings{};
  core::ResetSettings(&settings);
  f.world.input = &input;
  f.world.settings = &settings;
  struct Case {
    const char* call;
    int a, b;
  } cases[] = {
      {"get_pad_now", -1, 0},           {"get_pad_now", 128, 0},         {"get_pad_trg", 128, 0},
      {"get_pad_rep", -5, 0},           {"get_pad_now_raw", 128, 0},     {"get_pad_trg_raw", -1, 0},
      {"get_pad_rep_raw", 1 << 20, 0},  {"get_pad_map", 8, 0},           {"get_pad_map", -1, 0},
      {"get_pad_map", 0, 128},          {"get_pad_map", 0, -1},          {"get_pad_map_str", 8, 0},
      {"get_pad_map_str", -3, 0},       {"get_pad_map_str", 0, 256},     {"get_pad_map_str", 0, -1},
      {"get_pad_name", 8, 0},           {"get_pad_name", -1, 0},         {"get_pad_sensitivity", 8, 0},
      {"get_pad_sensitivity", -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.a) + " " + std::to_string(c.b));
    EXPECT_TRUE(IsPreset(CallGetter(f.world, c.call, {Int(c.a), Int(c.b)})));
  }
  // Without an input system or settings the slot calls keep the preset too.
  f.world.input = nullptr;
  f.world.settings = nullptr;
  EXPECT_TRUE(IsPreset(CallGetter(f.world, "get_pad_map", {Int(0), Int(0)})));
  EXPECT_TRUE(IsPreset(CallGetter(f.world, "get_pad_name", {Int(0)})));
  EXPECT_TRUE(IsPreset(CallGetter(f.world, "get_pad_sensitivity", {Int(0)})));
  // The raw forms read zeros without devices at all.
  EXPECT_EQ(CallGetter(f.world, "get_pad_now_raw", {Int(0)}).i, 0);
}

// [SECTION] Game and engine

TEST(GameWords, ClocksModesAndPlayerTypes) {
  PlacingWorld f;
  units::UnitType* jet = f.AddType("jet", 100, 0);
  units::UnitType* aam = f.AddType("aam", 10, units::kAttrWeapon);
  f.world.gameTime = 1234;
  f.world.restCountdown = 77;
  f.world.playback = 1;
  f.editorMode = 1;
  f.world.eventMode = -1;
  f.world.gameLevel = 2;
  struct Case {
    const char* call;
    int expected;
  } words[] = {
      {"get_past_time", 1234}, {"get_rest_time", 77}, {"get_replay_mode", 1},
      {"get_debug_mode", 1},   {"get_event_mode", -1}, {"get_game_level", 2},
  };
  for (const Case& c : words) {
    SCOPED_TRACE(c.call);
    Answer a = CallGetter(f.world, c.call, {});
    EXPECT_EQ(a.type, script::kCallInt);
    EXPECT_EQ(a.i, c.expected);
  }
  f.editorMode = 0;
  EXPECT_EQ(CallGetter(f.world, "get_debug_mode", {}).i, 0);

  // No player type chosen yet: the preset, never a read through null.
  f.world.playerType = nullptr;
  EXPECT_TRUE(IsPreset(CallGetter(f.world, "get_player_unit", {})));
  EXPECT_TRUE(IsPreset(CallGetter(f.world, "get_player_weapon", {Int(1)})));
  f.world.playerType = jet;
  f.world.playerWeaponTypes[1] = aam;
  Answer unit = CallGetter(f.world, "get_player_unit", {});
  EXPECT_EQ(unit.type, script::kCallString);
  EXPECT_EQ(unit.text, "jet");
  EXPECT_EQ(CallGetter(f.world, "get_player_weapon", {Int(1)}).text, "aam");
  for (int n : {-1, 4, 1 << 30}) {
    Answer a = CallGetter(f.world, "get_player_weapon", {Int(n)});
    EXPECT_EQ(a.type, script::kCallString) << n;
    EXPECT_EQ(a.text, "") << n;
  }

  Answer language = CallGetter(f.world, "get_language", {});
#if defined(TKW4_EDITION_ENGLISH)
  EXPECT_EQ(language.text, "English");
#else
  EXPECT_EQ(language.text, "Japanese");
#endif
}

TEST(GameWords, ScriptNamesFromTheCallAndTheWorld) {
  WorldFixture f;
  test::WriteFile("part.rsp", "function part() { inner = get_script_name(); }\r\n");
  f.Run("#include \"part.rsp\"\r\n"
        "string outer; string inner; string root;\r\n"
        "function main() { outer = get_script_name(); part(); root = get_root_script_name(); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_NE(f.Text("outer").find("start.rsp"), std::string::npos) << f.Text("outer");
  EXPECT_NE(f.Text("inner").find("part.rsp"), std::string::npos) << f.Text("inner");
  EXPECT_EQ(f.Text("root"), f.world.GetStartFileName());
  EXPECT_NE(f.Text("root").find("start.rsp"), std::string::npos);
}

TEST(GameWords, UnitMasterGivesAFreshCopyOfTheDefinition) {
  WorldFixture f;
  f.Run("object a; object b; int none = 5;\r\n"
        "function main() {\r\n"
        "  load_unit_master({JET:{NAME:\"Jet\",DEFENSE:120,SPEED:1.5,WEAPON:[\"AAM\",\"BOMB\"],SUB:{x:2}}});\r\n"
        "  a = get_unit_master(\"JET\");\r\n"
        "  a.DEFENSE = 7;\r\n"
        "  b = get_unit_master(\"JET\");\r\n"
        "  none = get_unit_master(\"NOTHING\");\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  script::CScriptArray* a = f.Object("a");
  script::CScriptArray* b = f.Object("b");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(script::GetMemberInt(a, "DEFENSE"), 7);
  // The second copy does not see the change made to the first.
  EXPECT_STREQ(script::GetMemberString(b, "NAME"), "Jet");
  EXPECT_EQ(script::GetMemberInt(b, "DEFENSE"), 120);
  EXPECT_FLOAT_EQ(script::GetMemberFloat(b, "SPEED"), 1.5f);
  EXPECT_STREQ(script::GetMemberString(b, "WEAPON[1]"), "BOMB");
  EXPECT_FLOAT_EQ(script::GetMemberFloat(b, "SUB.x"), 2.0f);
  // No such key: the preset.
  EXPECT_EQ(f.Number("none"), 1.0f);
  // The globals that carried the copies went again.
  EXPECT_EQ(f.world.FindScriptGlobal("__system_unit_master_data0"), nullptr);
}

}  // namespace
