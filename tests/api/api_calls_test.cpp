// api_calls_test.cpp -- the calls built so far, run from game scripts: the
// vector calls against hand-computed values, compound arguments and their
// errors, refer arguments, the calls not yet available, the world's flow,
// screen, event and network-data words, and finish.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "api_fixture.h"
#include "units/units_public.h"

namespace {

using apitest::WorldFixture;

// [SECTION] Vector calls

struct VectorCase {
  const char* expression;  // a vector call's result
  float x, y, z;
};

TEST(VectorCalls, VectorResultsMatchHandComputedValues) {
  const VectorCase cases[] = {
      {"vector_cross({x:1, y:0, z:0}, {x:0, y:1, z:0})", 0, 0, 1},
      {"vector_cross({x:1, y:2, z:3}, {x:4, y:5, z:6})", -3, 6, -3},
      {"vector_cross({x:2}, {y:3})", 0, 0, 6},  // missing members read 0
      {"vector_normalize({x:0, y:3, z:4})", 0, 0.6f, 0.8f},
      {"vector_normalize({x:-2.5})", -1, 0, 0},
      {"vector_normalize({})", 0, 0, 0},  // zero stays zero
      {"vector_rot2dir({})", 0, 0, 1},
      {"vector_rot2up({})", 0, 1, 0},
      {"vector_rot2dir({pitch:1.5707963})", 0, 1, 0},  // pitch up: nose up
      {"vector_rot2up({pitch:1.5707963})", 0, 0, -1},
      {"vector_rot2dir(vector_dir2rot({x:3, y:0, z:4}, {y:1}))", 0.6f, 0, 0.8f},
      {"vector_rot2dir(vector_dir2rot({x:-1, y:1, z:0}, {y:1}))", -0.70710677f, 0.70710677f, 0},
      {"vector_rot2up(vector_dir2rot({x:0, y:0, z:5}, {x:1}))", 1, 0, 0},
  };
  std::string script;
  int n = 0;
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) script += "object v" + std::to_string(n++) + ";\r\n";
  script += "function main() {\r\n";
  n = 0;
  for (const VectorCase& c : cases) script += "  v" + std::to_string(n++) + " = " + c.expression + ";\r\n";
  script += "}\r\n";
  WorldFixture f;
  f.Run(script);
  ASSERT_EQ(f.RuntimeError(), "");
  n = 0;
  for (const VectorCase& c : cases) {
    std::string name = "v" + std::to_string(n++);
    script::CScriptArray* v = f.Object(name.c_str());
    ASSERT_NE(v, nullptr) << c.expression;
    EXPECT_NEAR(script::GetMemberFloat(v, "x"), c.x, 1e-5f) << c.expression;
    EXPECT_NEAR(script::GetMemberFloat(v, "y"), c.y, 1e-5f) << c.expression;
    EXPECT_NEAR(script::GetMemberFloat(v, "z"), c.z, 1e-5f) << c.expression;
    // A fresh object of exactly three members.
    EXPECT_EQ(WorldFixture::MemberCount(v), 3) << c.expression;
  }
}

TEST(VectorCalls, NumberResultsAndRotations) {
  WorldFixture f;
  f.Run("float d0; float d1; float l0; float l1; float l2; object r0; object r1;\r\n"
        "function main() {\r\n"
        "  d0 = vector_dot({x:1, y:0, z:0}, {x:0, y:1, z:0});\r\n"
        "  d1 = vector_dot({x:1, y:2, z:3}, {x:4, y:5, z:6});\r\n"
        "  l0 = vector_length({x:3, y:4, z:0});\r\n"
        "  l1 = vector_length({});\r\n"
        "  l2 = vector_length({x:2, y:3, z:6});\r\n"
        "  r0 = vector_dir2rot({x:0, y:0, z:1}, {x:0, y:1, z:0});\r\n"
        "  r1 = vector_dir2rot({x:0, y:1, z:0}, {x:0, y:0, z:-1});\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("d0"), 0.0f);
  EXPECT_EQ(f.Number("d1"), 32.0f);
  EXPECT_EQ(f.Number("l0"), 5.0f);
  EXPECT_EQ(f.Number("l1"), 0.0f);
  EXPECT_EQ(f.Number("l2"), 7.0f);
  // Radians, members named as rotations, nothing converted to degrees.
  script::CScriptArray* r0 = f.Object("r0");
  ASSERT_NE(r0, nullptr);
  EXPECT_EQ(WorldFixture::MemberCount(r0), 3);
  EXPECT_NEAR(script::GetMemberFloat(r0, "pitch"), 0.0f, 1e-6f);
  EXPECT_NEAR(script::GetMemberFloat(r0, "yaw"), 0.0f, 1e-6f);
  EXPECT_NEAR(script::GetMemberFloat(r0, "roll"), 0.0f, 1e-6f);
  script::CScriptArray* r1 = f.Object("r1");
  ASSERT_NE(r1, nullptr);
  EXPECT_NEAR(script::GetMemberFloat(r1, "pitch"), 1.5707963f, 1e-5f);
}

// [SECTION] Compound arguments and errors

struct ErrorCase {
  const char* call;
  const char* text;  // UTF-8
};

TEST(CallErrors, ANumberWhereAnObjectIsExpectedRaisesTheCallsError) {
  const ErrorCase cases[] = {
      {"vector_length(5)", "vector_length関数の第1引数がオブジェクトではありません。"},
      {"vector_cross({x:1}, 2)", "vector_cross関数の第2引数がオブジェクトではありません。"},
      {"vector_dir2rot(\"x\", {y:1})", "vector_dir2rot関数の第1引数がオブジェクトではありません。"},
      {"out_area(1)", "out_area関数の第1引数がオブジェクトではありません。"},
      {"set_flight_area({x:1}, 3, 1.0)", "set_flight_area関数の第2引数がオブジェクトではありません。"},
      {"set_flight_area_center(0)", "set_flight_area_center関数の第1引数がオブジェクトではありません。"},
      {"set_fade_color(255)", "set_fade_color関数の第1引数がオブジェクトではありません。"},
      {"load_unit_master(5)", "load_unit_master関数の引数がオブジェクトではありません。"},
      {"load_map_data(5, 0, \"x\")", "load_map_data関数の第1引数が配列ではありません。"},
      {"vector_map_collision({}, 2)", "vector_map_collision関数の第2引数がオブジェクトではありません。"},
  };
  for (const ErrorCase& c : cases) {
    WorldFixture f;
    // The error stands at the call's line; nothing after it runs.
    f.Run(std::string("function main() {\r\n  print_log(\"before\");\r\n  ") + c.call +
          ";\r\n  print_log(\"after\");\r\n}\r\n");
    std::string error = f.RuntimeError();
    EXPECT_NE(error.find(test::Sjis(c.text)), std::string::npos) << c.call << "\n" << error;
    EXPECT_NE(error.find(test::Sjis("start.rsp(4行目)")), std::string::npos) << c.call << "\n" << error;
    std::string log = test::ReadFile("system.log");
    EXPECT_NE(log.find("before"), std::string::npos) << c.call;
    EXPECT_EQ(log.find("after"), std::string::npos) << c.call;
  }
}

TEST(CallErrors, AnEmptyObjectReadsAsTheZeroVector) {
  WorldFixture f;
  f.world.flightArea.center[0] = 7.0f;
  f.Run("int inside; int outside;\r\n"
        "function main() {\r\n"
        "  set_flight_area({x:-100, y:-100, z:-100}, {x:100, y:100, z:100}, 10.0);\r\n"
        "  inside = out_area({});\r\n"
        "  outside = out_area({x:500});\r\n"
        "  set_flight_area_center({});\r\n"
        "  set_fade_color({});\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("inside"), 0.0f);
  EXPECT_EQ(f.Number("outside"), -1.0f);
  EXPECT_EQ(f.world.flightArea.center[0], 0.0f);
  EXPECT_EQ(f.world.flightArea.margin, 10.0f);
  for (float c : f.world.fadeColour) EXPECT_EQ(c, 0.0f);
}

TEST(EnvironmentCalls, TheEntrySettersFillTheirEntryAndRefuseAnEntryOutOfRange) {
  WorldFixture f;
  test::WriteFile("sky_a.png", "");
  f.Run("function main() {\r\n"
        "  set_fog_state(1, 100.0, 900.0, {r:255, g:51, b:0});\r\n"
        "  set_light_state(0, {x:0, y:-2, z:0}, {r:255, g:255, b:255}, {r:51, g:51, b:51});\r\n"
        "  set_sky_state(1, \"sky_a.png\", \"/sky_b.png\", 3);\r\n"
        "  set_shadow_state(1, 2);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  world::EnvironmentRecord& env = f.world.environment;
  EXPECT_EQ(env.fogNear[1], 100.0f);
  EXPECT_EQ(env.fogFar[1], 900.0f);
  EXPECT_NEAR(env.fogColour[1][1], 0.2f, 1e-6f);
  EXPECT_NEAR(env.lightDirection[0][1], -1.0f, 1e-6f);  // normalised
  EXPECT_NEAR(env.lightColourB[0][0], 0.2f, 1e-6f);
  EXPECT_EQ(env.shadow[1], 2);
  EXPECT_EQ(env.weather[1], 3);
  // Both sky files are found from the calling script's folder, a leading
  // slash from the working folder.
  char first[world::EnvironmentRecord::kSkyNameBytes], second[world::EnvironmentRecord::kSkyNameBytes];
  env.GetSkyTextureNames(1, first, second);
  EXPECT_NE(std::string(first).find("sky_a.png"), std::string::npos);
  EXPECT_NE(std::string(second).find("sky_b.png"), std::string::npos);

  for (const char* call : {"set_fog_state(2, 1.0, 2.0, {})", "set_light_state(-1, {}, {}, {})",
                           "set_sky_state(5, \"a\", \"b\", 0)"}) {
    WorldFixture g;
    g.Run(std::string("function main() {\r\n  ") + call + ";\r\n}\r\n");
    EXPECT_NE(g.RuntimeError().find(test::Sjis("関数の第1引数が範囲を超えています。")), std::string::npos) << call;
  }
  WorldFixture h;
  h.Run("function main() {\r\n  set_fog_state(0, 1.0, 2.0, 7);\r\n}\r\n");
  EXPECT_NE(h.RuntimeError().find(test::Sjis("set_fog_state関数の第4引数がオブジェクトではありません。")),
            std::string::npos);
}

TEST(CallErrors, ReferArgumentsThatTheCallDoesNotWriteKeepTheirValues) {
  WorldFixture f;
  // Declared here as a game might, with refer parameters.
  test::WriteFile("refer.rsp",
                  "systemcall rand(refer n);\r\n"
                  "systemcall print_log(refer text);\r\n"
                  "systemcall vector_length(refer v);\r\n"
                  "int i = 7; float x = 2.5; string s = \"kept\"; object o = {x:3, y:4};\r\n"
                  "int r; float l;\r\n"
                  "function main() { r = rand(i); print_log(s); rand(x); l = vector_length(o); }\r\n");
  ASSERT_EQ(f.world.SetNextScriptPath("refer.rsp"), 1);
  for (int i = 0; i < 3; i++) f.world.RunWorldFrame(nullptr);
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("i"), 7.0f);
  EXPECT_EQ(f.Number("x"), 2.5f);
  EXPECT_EQ(f.Text("s"), "kept");
  EXPECT_EQ(f.Number("l"), 5.0f);
  script::CScriptArray* o = f.Object("o");
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(script::GetMemberFloat(o, "x"), 3.0f);
  EXPECT_GE(f.Number("r"), 0.0f);
  EXPECT_LT(f.Number("r"), 7.0f);
}

// [SECTION] Unit handles

// A handle names a unit only while its slot holds a live one: slot 0, an
// emptied slot, the slot count, a negative handle and a path point's handle
// all leave the call at its value for a bad handle.
TEST(UnitCalls, HandlesOfNoLiveUnitAreIgnored) {
  WorldFixture f;
  auto plane = std::make_unique<units::UnitType>();
  plane->key = plane->name = "plane";
  plane->defense = 100;
  auto missile = std::make_unique<units::UnitType>();
  missile->key = missile->name = "missile";
  missile->defense = 10;
  missile->attributes = units::kAttrWeapon;
  units::UnitType* planeType = plane.get();
  units::UnitType* missileType = missile.get();
  f.world.unitDatabase->types.push_back(std::move(plane));
  f.world.unitDatabase->types.push_back(std::move(missile));

  int slots = world::CountUnitSlots(f.world);
  std::string rows;
  for (int handle : {-1, 0, 1, 2, 3, slots, 268435456}) rows += "  row(" + std::to_string(handle) + ");\r\n";
  f.Run("string hp = \"\"; string damage = \"\"; string weapon = \"\";\r\n"
        "function row(int h) {\r\n"
        "  hp += get_hp(h) + \",\"; damage += get_damage(h) + \",\"; weapon += is_weapon(h) + \",\";\r\n"
        "}\r\n"
        "function main() {\r\n" + rows + "}\r\n",
        1);  // the reset only: the units are placed after it
  f.world.freezeCountdown = 1000;  // and not stepped away for having no model
  units::Unit* a = world::PutUnit(f.world, "red", planeType, 1, "", 0, core::Vec3{}, core::Vec3{}, nullptr);
  units::Unit* b = world::PutUnit(f.world, "red", missileType, 1, "", 0, core::Vec3{}, core::Vec3{}, nullptr);
  units::Unit* c = world::PutUnit(f.world, "red", planeType, 1, "", 0, core::Vec3{}, core::Vec3{}, nullptr);
  ASSERT_TRUE(a && b && c);
  ASSERT_EQ(a->unitId, 1);
  ASSERT_EQ(b->unitId, 2);
  ASSERT_EQ(c->unitId, 3);
  units::SetUnitHp(*a, 60, 100);
  units::SetUnitHp(*b, 30, 30);
  world::ResetUnitSlot(f.world, 3);
  ASSERT_NE(units::NewPathPoint(*f.world.pathPoints, 1, 1.0f, 1.0f, 1.0f), nullptr);
  for (int i = 0; i < 2; i++) f.world.RunWorldFrame(nullptr);

  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Text("hp"), "-1,-1,60,30,-1,-1,-1,");
  EXPECT_EQ(f.Text("damage"), "0,0,40,0,0,0,0,");
  EXPECT_EQ(f.Text("weapon"), "0,0,0,1,0,0,0,");
}

// [SECTION] Other calls

TEST(OtherCalls, RandFollowsTheWorldsGeneratorAndNeverDividesByZero) {
  WorldFixture f;
  f.Run("int a; int b; int c; int d; int e;\r\n"
        "function main() { a = rand(0); b = rand(-5); c = rand(1); d = rand(32768); e = rand(1000); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  // The reset seeds the generator with 0: the sequence is the generator's.
  core::RandomGenerator expected;
  expected.Seed(0);
  EXPECT_EQ(f.Number("a"), 0.0f);
  expected.Next();
  EXPECT_EQ(f.Number("b"), 0.0f);
  expected.Next();
  EXPECT_EQ(f.Number("c"), 0.0f);
  expected.Next();
  EXPECT_EQ(f.Number("d"), float(expected.Next() % 32768));
  EXPECT_EQ(f.Number("e"), float(expected.Next() % 1000));
}

TEST(OtherCalls, FlowWordsOfTheWorld) {
  WorldFixture f;
  f.Run("int p; int level; int mode;\r\n"
        "function main() {\r\n"
        "  pause_input(5); stop_timer(3); abort_replay(); set_event_hud(9);\r\n"
        "  level = get_game_level();\r\n"
        "  set_event_mode(7); mode = get_event_mode();\r\n"
        "  fade_screen(0.0, 1.0, 2.0);\r\n"
        "  p = pause(1);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.world.inputPaused, 1);
  EXPECT_EQ(f.world.timerStopped, 3);
  EXPECT_EQ(f.world.replayAborted, 1);
  EXPECT_EQ(f.world.eventHud, 9);
  EXPECT_EQ(f.world.paused, 1);
  EXPECT_EQ(f.Number("p"), 1.0f);
  EXPECT_EQ(f.Number("level"), 1.0f);
  EXPECT_EQ(f.Number("mode"), 1.0f);
  EXPECT_EQ(f.world.eventMode, 1);
  // From clear (1 - 0) to dark (1 - 1) over 120 steps.
  EXPECT_EQ(f.world.fade.target, 0.0f);
  EXPECT_FLOAT_EQ(f.world.fade.step, 1.0f / 120.0f);
}

TEST(OtherCalls, FadeScreenWithoutTimeTakesOneStep) {
  WorldFixture f;
  f.Run("function main() { fade_screen(1.0, 0.25, 0.0); }\r\n");
  EXPECT_EQ(f.world.fade.target, 0.75f);
  EXPECT_EQ(f.world.fade.step, 1.0f);
  EXPECT_EQ(f.world.fade.value, 0.75f);
}

TEST(OtherCalls, SetEventModeStartsTheChanceAgainFromSeedZero) {
  WorldFixture f;
  f.Run("int a; int b;\r\n"
        "function main() { a = rand(32768); rand(5); rand(5); set_event_mode(0); b = rand(32768); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("a"), f.Number("b"));
  EXPECT_EQ(f.world.eventMode, 0);
}

TEST(OtherCalls, NetworkDataAndTheNetworkWorld) {
  WorldFixture f;
  f.Run("int old; int now; int again; int outside; int world;\r\n"
        "function main() {\r\n"
        "  old = set_network_data(3, 42); again = set_network_data(3, 43);\r\n"
        "  now = get_network_data(0, 3); outside = get_network_data(40, 3);\r\n"
        "  world = set_network_world(1);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("old"), 0.0f);
  EXPECT_EQ(f.Number("again"), 42.0f);
  EXPECT_EQ(f.Number("now"), 43.0f);
  EXPECT_EQ(f.Number("outside"), 0.0f);
  // No session is open: the world refuses the network game.
  EXPECT_EQ(f.Number("world"), -1.0f);
  EXPECT_EQ(f.world.networkGame, 0);
}

TEST(OtherCalls, PrintLogWritesOneLine) {
  WorldFixture f;
  f.Run("int n;\r\nfunction main() { n = print_log(\"the script speaks\"); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_GT(f.Number("n"), 0.0f);
  EXPECT_NE(test::ReadFile("system.log").find("the script speaks"), std::string::npos);
}

// [SECTION] finish

TEST(Finish, AMissingFileRaisesItsErrorWithTheResolvedPath) {
  WorldFixture f;
  f.Run("function main() { finish(\"missing.rsp\", \"\"); }\r\n");
  std::string expected = test::Sjis("finish関数で指定された\"" + f.work.Path() + "/missing.rsp\"がオープンできません。");
  EXPECT_NE(f.RuntimeError().find(expected), std::string::npos) << f.RuntimeError();
}

TEST(Finish, TheNextScriptStaysStoredWhenTheSecondFileFails) {
  WorldFixture f;
  test::WriteFile("next.rsp", "function main() { }\r\n");
  f.Run("function main() { finish(\"next.rsp\", \"nothing.dat\"); }\r\n", 2);
  EXPECT_NE(f.RuntimeError().find(test::Sjis("nothing.dat\"がオープンできません。")), std::string::npos);
  EXPECT_EQ(std::string(f.world.GetStartFileName()), f.work.Path() + "/next.rsp");
  EXPECT_EQ(f.world.finishRequested, 0);
}

TEST(Finish, AStarAsTheSecondFileIsStoredAsItIs) {
  WorldFixture f;
  test::WriteFile("next.rsp", "function main() { }\r\n");
  f.Run("function main() { finish(\"next.rsp\", \"*\"); }\r\n", 2);
  EXPECT_EQ(f.RuntimeError(), "");
  EXPECT_STREQ(f.world.GetNextUnitDataPath(), "*");
}

}  // namespace
