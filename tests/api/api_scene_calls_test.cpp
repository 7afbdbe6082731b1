// api_scene_calls_test.cpp -- the data-loading system calls: their argument
// checks and error texts, and what load_unit_data and put_group give back.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "api/api_public.h"
#include "core/core_public.h"
#include "test_support.h"
#include "world/world_public.h"

namespace {

const char* kDeclarations =
    "systemcall load_unit_master(object master);\r\n"
    "systemcall load_map_master(object master);\r\n"
    "systemcall load_map_data(array terrain, int options, string source);\r\n"
    "systemcall load_unit_data(array placements, int options, string source, int listPaths);\r\n"
    "systemcall load_group(string group);\r\n"
    "systemcall put_group(string group, int options, int listPaths);\r\n";

class SceneCalls : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  world::GameWorld world;

  void SetUp() override {
    test::WriteFile("zadazorad/script/system.inc", "// system\r\n");
    test::WriteFile("zadazorad/script/mission.inc", "// mission\r\n");
    api::RegisterSystemCalls(world, nullptr);
  }
  // Compiles the declarations and `body` as main, runs one step; the
  // run-time error text ("" when none).
  std::string Run(const std::string& globals, const std::string& body) {
    script::ScriptEngine& se = world.scriptEngine;
    std::string text = std::string(kDeclarations) + globals + "int result = -5;\r\nfunction main() {\r\n" + body + "\r\n}\r\n";
    EXPECT_EQ(se.LoadScriptMemory(text.c_str(), "test.spt"), 1) << se.GetErrorListText();
    se.RunScriptFrame(0);
    return se.run.error.stored ? se.run.error.text : "";
  }
  int Result() { return int(script::ScriptEngine::ValueToFloat(world.FindScriptGlobal("result"))); }
};

// A value that is not a compound is refused with the call's own text.
TEST_F(SceneCalls, ArgumentsThatAreNoCompoundAreRefused) {
  struct Case {
    const char* call;
    const char* error;
  } cases[] = {
      {"load_unit_master(1);", "load_unit_master関数の引数がオブジェクトではありません。"},
      {"load_map_master(\"x\");", "load_map_master関数の第1引数がオブジェクトではありません。"},
      {"load_map_data(2, 0, \"a.map\");", "load_map_data関数の第1引数が配列ではありません。"},
      {"load_unit_data(3, 0, \"a.plc\", 1);", "load_unit_data関数の第1引数が配列ではありません。"},
  };
  for (const Case& c : cases) {
    SetUp();
    EXPECT_EQ(Run("", c.call), test::Sjis(c.error)) << c.call;
  }
}

// load_unit_data: the records read, the paths made, every group put; the
// points plus the units. put_group puts a group again; load_group gives 0.
TEST_F(SceneCalls, UnitDataPlacesItsUnitsAndPaths) {
  std::string globals =
      "object master = {PLANE:{NAME:\"Plane\"}};\r\n"
      "array data = [{ID:\"PLANE\",GROUP:\"AIR\",POS:{x:1,y:2,z:3},PATH:\"Start\"},{ID:\"PLANE\",POS:{x:0,y:0,z:0}},\r\n"
      " {UNIT_PATH:[{POS:{x:0,y:0,z:0},LABEL:\"Start\",OPTION:[\"OFF_CURVE\"]},\r\n"
      "             {POS:{x:9,y:0,z:0},COMMAND:\"PASTTIME\",OPE:[\"\",\"1\"],SCRIPT:`\r\nint fired;`,"
      "OPTION:[\"ON_CURVE\",\"ACTIVE\"]}]}];\r\n"
      "int again = -5;\r\nint loaded = -5;\r\n";
  EXPECT_EQ(Run(globals,
                "load_unit_master(master);\r\n"
                "result = load_unit_data(data, 2127872, \"data.plc\", 1);\r\n"
                "again = put_group(\"AIR\", 2127872, 1);\r\n"
                "loaded = load_group(\"\");"),
            "");
  EXPECT_EQ(Result(), 4);  // two points, two units
  EXPECT_EQ(int(script::ScriptEngine::ValueToFloat(world.FindScriptGlobal("again"))), 1);
  EXPECT_EQ(int(script::ScriptEngine::ValueToFloat(world.FindScriptGlobal("loaded"))), 0);
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  int listed = 0;
  for (units::PathPoint* p : world.triggerLists.lists[units::kTriggerAuto]) listed += p != nullptr;
  EXPECT_EQ(listed, 1);
}

// A path script that does not compile: the error file names it and no path
// event stays listed.
TEST_F(SceneCalls, ABrokenPathScriptEmptiesTheTriggerLists) {
  std::string globals =
      "array data = [{UNIT_PATH:[{POS:{x:0,y:0,z:0},LABEL:\"Bad\",COMMAND:\"PASTTIME\",OPE:[\"\",\"1\"],"
      "SCRIPT:`\r\nint a = ;`,OPTION:[\"ON_CURVE\",\"ACTIVE\"]}]}];\r\n";
  Run(globals, "result = load_unit_data(data, 0, \"data.plc\", 1);");
  EXPECT_EQ(Result(), 1);
  EXPECT_NE(test::ReadFile("CompileError.txt").find("Bad("), std::string::npos);
  for (units::PathPoint* p : world.triggerLists.lists[units::kTriggerAuto]) EXPECT_EQ(p, nullptr);
}

}  // namespace
