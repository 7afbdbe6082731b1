// app_world_test.cpp -- start-up reaches the world: after the start script
// the main loop runs the world's frame every frame, until the input file
// closes the window or the world ends the game; the sample game run
// headless.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/app_local.h"
#include "test_support.h"
#include "units/units_public.h"
#include "world/world_local.h"
#include "app_games_folder.h"

namespace {

using test::SteadyClock;

using apptest::GamesFolder;

int RunProgram(app::Engine& engine, SteadyClock& clock, std::vector<std::string> args) {
  engine.clock.source = SteadyClock::Read;
  engine.clock.user = &clock;
  std::vector<char*> argv{const_cast<char*>("tkw4")};
  for (std::string& a : args) argv.push_back(a.data());
  return app::WinMain(engine, int(argv.size()), argv.data());
}

const char* kSettings = "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:320,HEIGHT:240},FPS:0}";

// The start script hands the world its start file as `finish` does.
const char* kStartScript =
    "systemcall finish(string next, string replay);\r\n"
    "function main() { finish(\"world.script\", \"\"); }\r\n";

// A work folder with the settings, the start script (when given) and the
// input file that drives the devices and closes the window (when given);
// message boxes are recorded while it stands.
struct GameFolder {
  test::ScopedWorkFolder work;
  std::unique_ptr<test::ScopedEnv> input;
  test::MessageBoxRecorder boxes;

  GameFolder(const char* startScript, const char* drive) {
    test::WriteFile("tkw4.dat", kSettings);
    if (startScript) test::WriteFile("Game/game.rsp", startScript);
    if (!drive) return;
    test::WriteFile("drive.txt", drive);
    input = std::make_unique<test::ScopedEnv>("TKW4_INPUT_SCRIPT", "drive.txt");
  }
};

TEST(StartupWorld, TheWorldRunsEveryFrameUntilTheInputFileClosesTheWindow) {
  GameFolder game(kStartScript, "keyboard\nat 30 close\n");
  test::WriteFile("Game/world.script",
                  "int steps = 0;\r\n"
                  "function main() { while (1) { steps++; __system_interrupt__(1, \"wait\"); } }\r\n");
  app::Engine engine;
  SteadyClock clock;
  RunProgram(engine, clock, {});
  EXPECT_TRUE(game.boxes.Boxes().empty());
  EXPECT_EQ(engine.app.QuitRequested, 1);
  EXPECT_EQ(engine.graphics.MainWindow(), nullptr);
  // The first frame held the reset; every frame after it ran one run step
  // with one slice of the world's script, up to the close in the input
  // file's frame 30 (its frame 0 is start-up's first read of the devices).
  script::CScriptValue* steps = engine.world.FindScriptGlobal("steps");
  ASSERT_NE(steps, nullptr);
  EXPECT_EQ(int(script::ScriptEngine::ValueToFloat(steps)), 30);
  EXPECT_EQ(engine.world.state, world::WorldState::Run);
  EXPECT_EQ(engine.world.stepCounter, 30);
  std::string log = test::ReadFile("system.log");
  EXPECT_NE(log.find(test::Sjis("ワールドリセット処理終了@Reset")), std::string::npos);
  EXPECT_EQ(log.find(test::Sjis("メインパート終了")), std::string::npos);  // the game did not end
}

TEST(StartupWorld, TheGameEndsWhenTheWorldSaysSo) {
  GameFolder game(kStartScript, nullptr);
  // A second start file, then the end: the world restarts once, then ends.
  test::WriteFile("Game/world.script",
                  "systemcall finish(string next, string replay);\r\n"
                  "function main() { __system_interrupt__(5, \"wait\"); finish(\"last.script\", \"\"); }\r\n");
  test::WriteFile("Game/last.script",
                  "systemcall finish(string next, string replay);\r\n"
                  "int last = 1;\r\n"
                  "function main() { __system_interrupt__(5, \"wait\"); finish(\"\", \"\"); }\r\n");
  app::Engine engine;
  SteadyClock clock;
  RunProgram(engine, clock, {});
  EXPECT_TRUE(game.boxes.Boxes().empty());
  EXPECT_EQ(engine.app.QuitRequested, 1);
  EXPECT_EQ(engine.graphics.MainWindow(), nullptr);
  std::string log = test::ReadFile("system.log");
  size_t first = log.find(test::Sjis("ワールドリセット処理終了@Reset"));
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.find(test::Sjis("ワールドリセット処理終了@Reset"), first + 1), std::string::npos);
  EXPECT_NE(log.find(test::Sjis("メインパート終了")), std::string::npos);
  // The world wrote the settings when the game ended, after the start-up's.
  EXPECT_NE(test::ReadFile("tkw4.dat").find("RSP_FILE"), std::string::npos);
}

TEST(StartupWorld, ABadStartFileOfTheWorldIsReportedAndTheLoopGoesOn) {
  GameFolder game(kStartScript, "keyboard\nat 10 close\n");
  test::WriteFile("Game/world.script", "int broken = ;\r\n");
  app::Engine engine;
  SteadyClock clock;
  RunProgram(engine, clock, {});
  EXPECT_EQ(engine.graphics.MainWindow(), nullptr);
  EXPECT_NE(test::ReadFile("CompileError.txt").find("world.script"), std::string::npos);
}

// The numbers after `key` in the line of `out` that holds it, up to the
// line's end; empty when there is no such line.
std::vector<int> NumbersAfter(const std::string& out, const std::string& key, size_t from = 0) {
  std::vector<int> numbers;
  size_t at = out.find(key, from);
  if (at == std::string::npos) return numbers;
  size_t end = out.find('\n', at);
  std::string line = out.substr(at + key.size(), end == std::string::npos ? std::string::npos : end - at - key.size());
  for (size_t i = 0; i < line.size();) {
    if (std::isdigit(static_cast<unsigned char>(line[i])) || (line[i] == '-' && i + 1 < line.size() &&
                                                              std::isdigit(static_cast<unsigned char>(line[i + 1])))) {
      size_t used = 0;
      numbers.push_back(std::stoi(line.substr(i), &used));
      i += used;
    } else {
      i++;
    }
  }
  return numbers;
}

// The RED side at work, from the Demo's status lines (every ten seconds:
// each live RED unit's position): the Raven flies its own behaviour, the
// Kite its path, the Hornet hovers, the tank and the corvette follow their
// road and lane, the gun stands. Returns the positions of the last line.
std::map<std::string, core::Vec3> ExpectTheRedSideActs(const std::string& out) {
  std::map<std::string, core::Vec3> first, last;
  for (size_t at = out.find("Demo: step 600:"); at != std::string::npos;
       at = out.find(": Raven (", at + 1)) {
    size_t lineStart = out.rfind('\n', at) + 1;
    size_t lineEnd = out.find('\n', at);
    std::string line = out.substr(lineStart, lineEnd - lineStart);
    std::map<std::string, core::Vec3> now;
    for (const char* name : {"Raven", "Kite", "Hornet", "tank", "corvette", "AA gun"}) {
      std::vector<int> p = NumbersAfter(line, std::string(" ") + name + " (");
      if (p.size() >= 3) now[name] = {float(p[0]), float(p[1]), float(p[2])};
    }
    if (first.empty()) first = now;
    last = now;
  }
  EXPECT_FALSE(first.empty()) << out;
  for (const char* name : {"Raven", "Kite", "Hornet", "tank", "corvette"}) {
    if (!first.count(name) || !last.count(name)) continue;  // destroyed meanwhile
    core::Vec3 a = first[name], b = last[name];
    EXPECT_GT(std::hypot(a.x - b.x, a.z - b.z), 50.0f) << name;
  }
  if (first.count("AA gun") && last.count("AA gun")) {
    EXPECT_EQ(first["AA gun"].x, last["AA gun"].x);
    EXPECT_EQ(first["AA gun"].z, last["AA gun"].z);
  }
  return last;
}

// The sample game headless for 30 seconds of game time: the start script
// hands the world its script, which loads the scene (masters, terrain, the
// units) and its sounds through the system calls; the RED units fly, hover
// and drive by their behaviours and paths while the player's Falcon waits
// on the runway, the timed path trigger fires and chimes, the clock ticks
// and blasts go off, until the input file closes the window. The
// steady clock makes every frame one step, so the 30 seconds take as long
// as the machine needs to run 1800 steps.
TEST(StartupWorld, TheSampleGameRunsItsWorldHeadless) {
  GameFolder game(nullptr, "keyboard\nat 1830 close\n");
  std::filesystem::create_directory_symlink(GamesFolder() / "Demo", "Demo");
  // The system includes the path points' event scripts compile against
  // (the system package holds them in a full installation).
  std::filesystem::create_directories("zadazorad/script");
  for (const char* inc : {"system.inc", "mission.inc"})
    std::filesystem::create_symlink(GamesFolder() / "ZadAzorad" / "Script" / inc, std::string("zadazorad/script/") + inc);
  testing::internal::CaptureStdout();
  int units = 0;
  int exitCode = -1;
  int32_t steps = 0;
  std::map<std::string, core::Vec3> positions;
  int32_t falconHp = -1, falconMaxHp = -1, falconState = -1;
  {
    app::Engine engine;
    SteadyClock clock;
    exitCode = RunProgram(engine, clock, {"demo.rsp"});
    EXPECT_EQ(engine.graphics.MainWindow(), nullptr);
    steps = engine.world.stepCounter;
    for (int slot = 1; slot < world::CountUnitSlots(engine.world); slot++) {
      units::Unit* u = world::GetUnitAt(engine.world, slot);
      if (!u) continue;
      units++;
      positions[u->label.Get()] = u->GetObjectWorldPosition();
      if (u == engine.world.playerUnit) {
        falconHp = u->hp;
        falconMaxHp = u->maxHp;
        falconState = u->state;
      }
    }
  }
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(exitCode, 0);
  // Nobody flew the Falcon: it waited on the runway on its tires, in one
  // piece.
  EXPECT_EQ(falconState, 0);
  EXPECT_GT(falconHp, 0);
  EXPECT_EQ(falconMaxHp, 600);
  EXPECT_GE(steps, 1800);  // 30 seconds of game time
  for (const test::RecordedBox& box : game.boxes.Boxes()) ADD_FAILURE() << box.caption << ": " << box.text;
  EXPECT_NE(out.find("Demo: the start script is running."), std::string::npos);
  EXPECT_NE(out.find("Demo: the world is running."), std::string::npos);
  EXPECT_NE(out.find("Demo: loaded the unit master (Unit/unit_master.txt)."), std::string::npos) << out;
  EXPECT_NE(out.find("Demo: loaded the map master (Map/map_master.txt)."), std::string::npos);
  EXPECT_NE(out.find("Demo: loaded the terrain (Map/demo.map)."), std::string::npos);
  EXPECT_NE(out.find("Demo: loaded the sounds (Se/tick.wav, Se/chime.wav, Se/blast.wav)."), std::string::npos);
  // The file's 16 path points and 7 units, and the 9 units the placement
  // adds (the Falcon's three tires and the six missiles on the three
  // fighters' hard points);
  // the tank's path event ran.
  EXPECT_NE(out.find("Demo: placed the sample units (Unit/demo.plc): 32 path points and units."), std::string::npos);
  EXPECT_NE(out.find("Demo: the Falcon (unit 1, HP 600, 2 Sparrows) stands on the runway"), std::string::npos);
  EXPECT_GE(units, 7);
  EXPECT_NE(out.find("The tank has appeared."), std::string::npos);
  EXPECT_NE(out.find("Demo: the world has run 61 steps."), std::string::npos);
  EXPECT_NE(out.find("Demo: the world has run 1801 steps."), std::string::npos);
  // The timed path trigger fired and chimed; the clock ticked; the effects
  // were made and the blasts sounded, each sound a copy of its slot (slot x
  // 65536 + copy).
  EXPECT_NE(out.find("Ten seconds have passed."), std::string::npos) << out;
  EXPECT_NE(out.find("Demo: the path trigger AirTimer fired and played Se/chime.wav (sound handle 6619136)."),
            std::string::npos);
  EXPECT_NE(out.find("Demo: played Se/tick.wav (sound handle 6553600)."), std::string::npos);
  EXPECT_NE(out.find("Demo: made a field of clouds overhead."), std::string::npos);
  EXPECT_NE(out.find("Demo: made a blast beside the gun and a splash at sea; played Se/blast.wav at the gun "
                     "(sound handle 6684672)."),
            std::string::npos);
  EXPECT_EQ(out.find("Demo: the world ends the game."), std::string::npos);  // closed before
  std::map<std::string, core::Vec3> red = ExpectTheRedSideActs(out);
  EXPECT_FALSE(platform::PathExists("RuntimeError.txt"));
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  // The Falcon stayed on the runway's centre line where it was placed (at
  // idle it creeps ahead at a walking pace); the status lines agree with
  // where the world left the RED units.
  ASSERT_EQ(positions.count("Falcon1"), 1u);
  EXPECT_NEAR(positions["Falcon1"].x, 0.0f, 1.0f);
  EXPECT_NEAR(positions["Falcon1"].y, 2.15f, 0.5f);
  EXPECT_NEAR(positions["Falcon1"].z, -900.0f, 50.0f);
  for (const char* label : {"Raven1", "Kite1", "Hornet1", "Tank1", "Ship1", "Gun1"})
    EXPECT_EQ(positions.count(label), 1u) << label;
  ASSERT_TRUE(red.count("AA gun"));
  EXPECT_NEAR(red["AA gun"].x, 700.0f, 1.0f);
  EXPECT_NEAR(red["AA gun"].z, 1800.0f, 1.0f);
  // The scene's models loaded without a failure.
  std::string log = test::ReadFile("system.log");
  EXPECT_NE(log.find(test::Sjis("Xファイル[Demo\\Map\\ground.x]を読み込みます。")), std::string::npos);
  EXPECT_NE(log.find(test::Sjis("Xファイル[Demo\\Map\\tower.x]を読み込みます。")), std::string::npos);
  EXPECT_NE(log.find(test::Sjis("Xファイル[Demo\\Unit\\plane.x]を読み込みます。")), std::string::npos);
  EXPECT_EQ(log.find(test::Sjis("Xファイル読み込み失敗")), std::string::npos);
}

// A start script that names a placement file: the world reads it at its
// reset, puts its units on their paths and runs them headless until the
// input file closes the window.
TEST(StartupWorld, APlacementStartFileRunsItsUnitsHeadless) {
  GameFolder game("systemcall finish(string next, string replay);\r\n"
                  "function main() { finish(\"/Demo/Unit/demo.plc\", \"\"); }\r\n",
                  "keyboard\nat 60 close\n");
  std::filesystem::create_directory_symlink(GamesFolder() / "Demo", "Demo");
  // The system includes the path points' event scripts compile against
  // (the system package holds them in a full installation).
  std::filesystem::create_directories("zadazorad/script");
  for (const char* inc : {"system.inc", "mission.inc"})
    std::filesystem::create_symlink(GamesFolder() / "ZadAzorad" / "Script" / inc, std::string("zadazorad/script/") + inc);
  app::Engine engine;
  // The unit master, as a game's `load_unit_master` would have read it
  // (the system calls that read it come later).
  {
    script::ScriptEngine& se = engine.world.scriptEngine;
    se.ResetScriptEngine(nullptr, nullptr);
    ASSERT_EQ(se.LoadScriptMemory("extern object m=\r\n#include \"Demo/Unit/unit_master.txt\"\r\n;\r\n", "m"), 1);
    const script::CScriptArray* master = script::FollowRefer(se.FindGlobal("m"))->data.array;
    units::UnitDatabase& db = world::GetUnitDatabase(engine.world);
    ASSERT_NE(units::ReadUnitMaster(db, master), 0);
  }
  SteadyClock clock;
  RunProgram(engine, clock, {"game.rsp"});
  EXPECT_TRUE(game.boxes.Boxes().empty());
  EXPECT_EQ(engine.graphics.MainWindow(), nullptr);
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  // The scene's units stand in the pool; the fighter flew along its path.
  int live = 0;
  units::Unit* falcon = nullptr;
  for (int slot = 1; slot < world::CountUnitSlots(engine.world); slot++) {
    units::Unit* u = world::GetUnitAt(engine.world, slot);
    if (!u) continue;
    live++;
    if (std::string(u->label.Get()) == "Falcon1") falcon = u;
  }
  EXPECT_GE(live, 4);
  ASSERT_NE(falcon, nullptr);
  EXPECT_STREQ(falcon->group.Get(), "AIR");
  std::string log = test::ReadFile("system.log");
  size_t interpret = log.find(test::Sjis("ユニット配置ファイル解釈処理開始"));
  ASSERT_NE(interpret, std::string::npos);
  EXPECT_NE(log.find(test::Sjis("ユニット配置ファイル取込処理開始"), interpret), std::string::npos);
  EXPECT_TRUE(falcon->position.x != 2000.0f || falcon->position.z != -2000.0f);
}

}  // namespace
