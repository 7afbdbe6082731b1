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

namespace {

using test::SteadyClock;

std::filesystem::path GamesFolder() {
  const char* source = std::getenv("TKW4_SOURCE_DIR");
  return std::filesystem::path(source ? source : TKW4_SOURCE_ROOT) / "games";
}

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

// The sample's fight, from its printed lines: the Falcon (unit 1) meets
// the Raven of the other team with two Sparrows armed; after the chime it
// launches one, which hits; both fighters' guns hit the other as they close
// head-on; every hit lowers the HP by a damage in the spread of its weapon;
// the Raven is destroyed while they pass (the paths meet about step 1050),
// its wreck blast is heard, and the Falcon lives on.
void ExpectTheFight(const std::string& out) {
  std::vector<int> meet = NumbersAfter(out, "Demo: the Falcon (unit ");
  ASSERT_EQ(meet.size(), 5u) << out;  // unit, HP, Sparrows, Raven's unit, HP
  EXPECT_EQ(meet[0], 1);
  EXPECT_GT(meet[1], 0);
  EXPECT_EQ(meet[2], 2);
  EXPECT_GT(meet[3], 1);
  const int falconHp = meet[1], ravenHp = meet[4];
  EXPECT_GT(ravenHp, 0);

  // The Sparrow first, not before the chime (the launch shares its sound
  // slot), then the guns, the Raven's from further out.
  size_t launched = out.find(": the Falcon launched a Sparrow at the Raven from ");
  size_t ravenFires = out.find(": the Raven opened fire on the Falcon from ");
  size_t falconFires = out.find(": the Falcon opened fire on the Raven from ");
  ASSERT_NE(launched, std::string::npos) << out;
  ASSERT_NE(ravenFires, std::string::npos) << out;
  ASSERT_NE(falconFires, std::string::npos) << out;
  EXPECT_LT(out.find("Demo: the path trigger AirTimer fired"), launched);
  EXPECT_LT(launched, ravenFires);
  EXPECT_LT(ravenFires, falconFires);

  // Each hit line: the step, the HP before and after, the damage taken so
  // far. The HP only falls, by what the damage taken grows.
  struct Side {
    const char* key;
    int hp;
    int hits = 0;
    int lastStep = 0;
    int taken = 0;
  } sides[] = {{": the Falcon was hit: HP ", falconHp}, {": the Raven was hit: HP ", ravenHp}};
  for (Side& side : sides) {
    for (size_t at = out.find(side.key); at != std::string::npos; at = out.find(side.key, at + 1)) {
      size_t lineStart = out.rfind('\n', at) + 1;
      std::vector<int> step = NumbersAfter(out, "Demo: step ", lineStart);
      std::vector<int> hit = NumbersAfter(out, side.key, at);
      ASSERT_EQ(hit.size(), 3u) << out.substr(lineStart, 120);
      EXPECT_EQ(hit[0], side.hp) << side.key;
      EXPECT_LT(hit[1], hit[0]) << side.key;
      EXPECT_EQ(hit[2] - side.taken, hit[0] - hit[1]) << side.key;
      EXPECT_GE(step[0], side.lastStep);
      side.hp = hit[1];
      side.taken = hit[2];
      side.lastStep = step[0];
      side.hits++;
    }
  }
  // The Sparrow (DAMAGE 200 against fighters) and at least one gun hit.
  EXPECT_GE(sides[1].hits, 2);
  EXPECT_EQ(sides[1].hp, 0);
  EXPECT_GE(sides[1].taken, ravenHp);
  // The Raven's gun hit the Falcon (GUN_DAMAGE 10 spread 8..12 a hit), and
  // the Falcon lived on.
  EXPECT_GE(sides[0].hits, 1);
  EXPECT_GT(sides[0].hp, 0);
  EXPECT_LT(sides[0].hp, falconHp);
  EXPECT_LE(sides[0].taken, 12 * sides[0].hits);
  EXPECT_GE(sides[0].taken, 8 * sides[0].hits);

  // Destroyed while the two pass each other, its blast heard in a slot of
  // its own (slot 40, copy 0).
  size_t destroyed = out.find(": the Raven was destroyed");
  ASSERT_NE(destroyed, std::string::npos) << out;
  std::vector<int> down = NumbersAfter(out, "Demo: step ", out.rfind('\n', destroyed) + 1);
  ASSERT_FALSE(down.empty());
  EXPECT_GE(down[0], 900);
  EXPECT_LE(down[0], 1200);
  EXPECT_EQ(down[0], sides[1].lastStep);
  EXPECT_NE(out.find(": the Raven was destroyed; played Se/blast.wav where it fell (sound handle 2621440)."),
            std::string::npos);
  EXPECT_NE(out.find("Demo: the fight is over: the Falcon has HP " + std::to_string(sides[0].hp) +
                     ", the Raven HP 0."),
            std::string::npos);
}

// The sample game headless for 30 seconds of game time: the start script
// hands the world its script, which loads the scene (masters, terrain, units
// on their paths) and its sounds through the system calls; the units move
// along their paths, the timed path trigger fires and chimes, the clock
// ticks and blasts go off, until the input file closes the window. The
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
  int32_t ravenHp = -1, ravenState = -1;
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
      if (std::string(u->label.Get()) == "Raven1") {
        ravenHp = u->hp;
        ravenState = u->state;
      }
    }
  }
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(exitCode, 0);
  // The Raven's wreck: no HP left, in the destroyed state.
  EXPECT_EQ(ravenHp, 0);
  EXPECT_EQ(ravenState, units::kUnitStateDestroyed);
  EXPECT_GE(steps, 1800);  // 30 seconds of game time
  for (const test::RecordedBox& box : game.boxes.Boxes()) ADD_FAILURE() << box.caption << ": " << box.text;
  EXPECT_NE(out.find("Demo: the start script is running."), std::string::npos);
  EXPECT_NE(out.find("Demo: the world is running."), std::string::npos);
  EXPECT_NE(out.find("Demo: loaded the unit master (Unit/unit_master.txt)."), std::string::npos) << out;
  EXPECT_NE(out.find("Demo: loaded the map master (Map/map_master.txt)."), std::string::npos);
  EXPECT_NE(out.find("Demo: loaded the terrain (Map/demo.map)."), std::string::npos);
  EXPECT_NE(out.find("Demo: loaded the sounds (Se/tick.wav, Se/chime.wav, Se/blast.wav)."), std::string::npos);
  // The file's 19 path points and 5 units, and the weapon children on
  // their hard points (placement arms the slots); the tank's path event
  // ran.
  EXPECT_NE(out.find("Demo: placed the sample units (Unit/demo.plc): 26 path points and units."), std::string::npos);
  EXPECT_GE(units, 5);
  EXPECT_NE(out.find("The tank has appeared."), std::string::npos);
  EXPECT_NE(out.find("Demo: the world has run 61 steps."), std::string::npos);
  EXPECT_NE(out.find("Demo: the world has run 1801 steps."), std::string::npos);
  // The timed path trigger fired and chimed; the clock ticked; the effects
  // were made and the blasts sounded, each sound a copy of its slot (slot x
  // 65536 + copy).
  EXPECT_NE(out.find("Ten seconds have passed."), std::string::npos) << out;
  EXPECT_NE(out.find("Demo: the path trigger AirTimer fired and played Se/chime.wav (sound handle 1376256)."),
            std::string::npos);
  EXPECT_NE(out.find("Demo: played Se/tick.wav (sound handle 1310720)."), std::string::npos);
  EXPECT_NE(out.find("Demo: made a field of clouds overhead."), std::string::npos);
  EXPECT_NE(out.find("Demo: made a blast beside the gun and a splash at sea; played Se/blast.wav at the gun "
                     "(sound handle 1441792)."),
            std::string::npos);
  EXPECT_EQ(out.find("Demo: the world ends the game."), std::string::npos);  // closed before
  ExpectTheFight(out);
  EXPECT_FALSE(platform::PathExists("RuntimeError.txt"));
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  // The units on paths left their placements; the gun without one stayed.
  struct Placed {
    const char* label;
    core::Vec3 at;
    bool moves;
  };
  for (Placed p : {Placed{"Falcon1", {2000, 500, -2000}, true}, Placed{"Raven1", {-3419, 530, 2859}, true},
                   Placed{"Tank1", {-300, 0, -600}, true},
                   Placed{"Ship1", {3000, 0, -1000}, true}, Placed{"Gun1", {200, 0, 300}, false}}) {
    ASSERT_EQ(positions.count(p.label), 1u) << p.label;
    core::Vec3 v = positions[p.label];
    float moved = std::sqrt((v.x - p.at.x) * (v.x - p.at.x) + (v.z - p.at.z) * (v.z - p.at.z));
    if (p.moves) EXPECT_GT(moved, 50.0f) << p.label;
    else EXPECT_LT(moved, 1.0f) << p.label;
  }
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
