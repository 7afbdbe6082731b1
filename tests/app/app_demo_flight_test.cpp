// app_demo_flight_test.cpp -- the sample game flown headless from an input
// file: the keyboard opens the throttle on the runway, pulls the stick back
// and fires the gun; the player's Falcon leaves the ground and climbs while
// the enemy's aircraft, gunship, ground and sea units act on their own.
// Every unit's state is checked after every world step: no NaN or infinity
// ever appears.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "app/app_local.h"
#include "test_support.h"
#include "units/units_flight.h"
#include "world/world_local.h"
#include "app_games_folder.h"

namespace {

using test::SteadyClock;

using apptest::GamesFolder;

bool Finite(const core::Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// What the step hook saw.
struct Watch {
  void (*previous)(void* user) = nullptr;
  int steps = 0;
  int badSteps = 0;           // steps with a unit holding a value that is not finite
  std::string firstBad;       // the first such unit and field
  std::vector<float> height;  // the player's height after each step
  std::vector<float> speed;   // and its speed (world units a step)
  std::vector<int> state;     // and its state
  std::vector<float> pitch;   // and its pitch angle
  std::vector<float> blend;   // the environment's blend toward entry 1
  std::vector<float> fov;     // the camera's field of view (radians)
  std::vector<int> cameraMode;
  int enemyMoved = 0;
};
Watch* gWatch = nullptr;

// Runs once per world step, after the units' steps and the scripts' slice.
void CheckStep(void* user) {
  auto* engine = static_cast<app::Engine*>(user);
  Watch& w = *gWatch;
  w.steps++;
  world::GameWorld& world = engine->world;
  bool bad = false;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    units::Unit* u = world::GetUnitAt(world, slot);
    if (!u) continue;
    const char* field = nullptr;
    if (!Finite(u->velocity)) field = "velocity";
    else if (!Finite(u->moment)) field = "moment";
    else if (!Finite(u->control) || !std::isfinite(u->throttle)) field = "controls";
    else if (!Finite(u->GetObjectPosition()) || !Finite(u->GetObjectWorldPosition())) field = "position";
    else if (!Finite(u->GetObjectAngles())) field = "angles";
    else if (!std::isfinite(units::GetStallFactor(*u)) || !std::isfinite(u->gearContactRate)) field = "flight words";
    else if (!Finite(u->steeringPoint) || !Finite(u->aimPoint)) field = "steering";
    if (field && !bad) {
      bad = true;
      if (w.firstBad.empty())
        w.firstBad = std::string(u->label.Get()) + " (type " + std::to_string(u->type ? u->type->typeValue : -1) +
                     ", state " + std::to_string(u->state) + "): " + field + " at step " + std::to_string(w.steps);
    }
  }
  if (bad) w.badSteps++;
  w.blend.push_back(world.environment.GetEnvironmentBlend());
  w.fov.push_back(world.camera.fov);
  w.cameraMode.push_back(world.camera.mode);
  if (units::Unit* player = world.playerUnit) {
    w.height.push_back(player->GetObjectWorldPosition().y);
    const core::Vec3& v = player->velocity;
    w.speed.push_back(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z));
    w.state.push_back(player->state);
    w.pitch.push_back(player->GetObjectAngles().x);
  }
  if (w.previous) w.previous(user);
}

const char* kSettings = "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:160,HEIGHT:120},FPS:0}";

// The sample game in a work folder, run on an input file; the step hook
// watches every step.
struct DemoRun {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  Watch watch;
  std::string out;
  int exitCode = -1;

  explicit DemoRun(const std::string& drive) {
    test::WriteFile("tkw4.dat", kSettings);
    std::filesystem::create_directory_symlink(GamesFolder() / "Demo", "Demo");
    std::filesystem::create_directory_symlink(GamesFolder() / "Corvane", "Corvane");
    std::filesystem::create_directories("zadazorad/script");
    for (const char* inc : {"system.inc", "mission.inc"})
      std::filesystem::create_symlink(GamesFolder() / "ZadAzorad" / "Script" / inc,
                                      std::string("zadazorad/script/") + inc);
    gWatch = &watch;
    exitCode = apptest::RunGame("demo.rsp", drive, CheckStep, &watch.previous, &out);
    gWatch = nullptr;
  }
};

// Keys of the keyboard's default assignment: C opens the throttle (the
// throttle axis pushed forward), the down arrow pulls the stick back, X
// holds the gun trigger.
constexpr int kKeyThrottle = 46;
constexpr int kKeyPullUp = 208;
constexpr int kKeyGun = 45;

TEST(DemoFlight, ThePlayerTakesOffClimbsAndFiresWithNoUnitEverHoldingANaN) {
  std::string drive = "keyboard\n";
  drive += "at 20 0 key " + std::to_string(kKeyThrottle) + " down\n";
  drive += "at 420 0 key " + std::to_string(kKeyPullUp) + " down\n";
  drive += "at 470 0 key " + std::to_string(kKeyPullUp) + " up\n";
  drive += "at 700 0 key " + std::to_string(kKeyGun) + " down\n";
  drive += "at 760 0 key " + std::to_string(kKeyGun) + " up\n";
  drive += "at 1500 close\n";
  DemoRun run(drive);
  EXPECT_EQ(run.exitCode, 0);
  for (const test::RecordedBox& box : run.boxes.Boxes()) ADD_FAILURE() << box.caption << ": " << box.text;
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  EXPECT_FALSE(std::filesystem::exists("RuntimeError.txt"));

  const Watch& w = run.watch;
  ASSERT_GE(w.steps, 1490);
  EXPECT_EQ(w.badSteps, 0) << w.firstBad;
  ASSERT_GE(w.height.size(), 1400u);

  // On its tires before the throttle opens: it neither sinks nor rises.
  EXPECT_NEAR(w.height[10], 2.15f, 0.5f);
  // Rolling: the speed grows along the runway.
  EXPECT_GT(w.speed[400], w.speed[100]);
  // Airborne and climbing after the pull, alive and in flight.
  EXPECT_GT(w.height[900], 30.0f);
  EXPECT_GT(w.height[900], w.height[500]);
  EXPECT_EQ(w.state[900], 0);
  // The script saw the take-off.
  EXPECT_NE(run.out.find(": the Falcon took off."), std::string::npos) << run.out;
}

// The whole two minutes of the sample game flown hard: rolls both ways,
// loops, gun bursts, both Sparrows, weapon switches, then a dive into the
// ground. Every unit's state stays finite through every step, the crash
// and the falling wreck included, until the world ends the game.
TEST(DemoFlight, TwoMinutesOfHardFlyingAndACrashKeepEveryUnitFinite) {
  std::string drive = "keyboard\n";
  auto key = [&](int frame, int code, bool down) {
    drive += "at " + std::to_string(frame) + " 0 key " + std::to_string(code) + (down ? " down\n" : " up\n");
  };
  key(20, kKeyThrottle, true);
  key(420, kKeyPullUp, true);
  key(480, kKeyPullUp, false);
  for (int f = 900; f < 5400; f += 600) {
    key(f, f % 1200 ? 203 : 205, true);  // roll left or right
    key(f + 90, f % 1200 ? 203 : 205, false);
    key(f + 150, kKeyPullUp, true);  // and pull through
    key(f + 330, kKeyPullUp, false);
    key(f + 360, kKeyGun, true);
    key(f + 420, kKeyGun, false);
    key(f + 450, 44, true);  // Z: a Sparrow
    key(f + 452, 44, false);
    key(f + 500, 31, true);  // S: the next weapon slot
    key(f + 502, 31, false);
  }
  key(5600, 200, true);  // push over into a dive until the ground
  drive += "at 7300 close\n";
  DemoRun run(drive);
  EXPECT_EQ(run.exitCode, 0);
  const Watch& w = run.watch;
  EXPECT_GE(w.steps, 7000);
  EXPECT_EQ(w.badSteps, 0) << w.firstBad;
  EXPECT_NE(run.out.find("Demo: the world ends the game."), std::string::npos);
  // It flew, and the dive ended it: wrecked or falling.
  float highest = 0;
  for (float h : w.height) highest = std::max(highest, h);
  EXPECT_GT(highest, 100.0f);
  ASSERT_FALSE(w.state.empty());
  EXPECT_GE(w.state.back(), units::kUnitStateFinal) << run.out;
}

// A game of one aircraft written here, flown from an input file: level
// flight at 1,000 high, the throttle key held. The speed each step is worked
// out in the test from the flight rules for level flight (drag 1/600 of the
// speed, thrust (t x POWER) / 600 with t = throttle + 1, full throttle
// t = POWER + 1, the step's gain held to POWER / 240), from the throttle the
// step really saw; height and pitch stay where they were.
const char* kFlyMaster =
    "{JET:{ALIAS:\"Jet\",NAME:\"Jet\",TYPE:\"PLANE\",MODEL_FILE:\"Demo\\\\Unit\\\\plane.x\",MODE:1,DEFENSE:100,"
    "SPEED:2.0,POWER:2.0,WEIGHT:10.0,STABILITY:3.0,MOBILITY:{pitch:60.0,yaw:20.0,roll:120.0}}}";
const char* kFlyPlacement =
    "[{ID:\"JET\",POS:{x:0,y:1000,z:0},LABEL:\"Jet1\",TEAM:\"BLUE\",LEVEL:1,OPTION:[\"PLAYER\"]}]";

struct FlyWatch {
  std::vector<float> speed, height, pitch, throttle;
};
FlyWatch* gFly = nullptr;

void WatchJet(void* user) {
  auto* engine = static_cast<app::Engine*>(user);
  units::Unit* jet = engine->world.playerUnit;
  if (!jet || !gFly) return;
  const core::Vec3& v = jet->velocity;
  gFly->speed.push_back(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z));
  gFly->height.push_back(jet->GetObjectWorldPosition().y);
  gFly->pitch.push_back(jet->GetObjectAngles().x);
  gFly->throttle.push_back(jet->throttle);
}

TEST(DemoFlight, AnAircraftOfItsOwnTypeFliesLevelAtTheSpeedTheRulesGive) {
  test::ScopedWorkFolder work;
  test::WriteFile("tkw4.dat", kSettings);
  std::filesystem::create_directory_symlink(GamesFolder() / "Demo", "Demo");
  test::WriteFile("Fly/fly.rsp",
                  "systemcall finish(string next, string replay);\r\n"
                  "function main() { finish(\"world.script\", \"\"); }\r\n");
  test::WriteFile("Fly/world.script",
                  std::string("systemcall load_unit_master(object master);\r\n"
                              "systemcall load_unit_data(array placements, int options, string source, int listPaths);\r\n"
                              "object master = ") + kFlyMaster + ";\r\narray placements = " + kFlyPlacement +
                      ";\r\nfunction main() { load_unit_master(master); load_unit_data(placements, 0, \"\", 1);"
                      " while (1) { __system_interrupt__(1, \"wait\"); } }\r\n");
  test::WriteFile("drive.txt", "keyboard\nat 30 0 key " + std::to_string(kKeyThrottle) + " down\nat 330 close\n");
  test::ScopedEnv input("TKW4_INPUT_SCRIPT", "drive.txt");
  FlyWatch fly;
  {
    app::Engine engine;
    SteadyClock clock;
    engine.clock.source = SteadyClock::Read;
    engine.clock.user = &clock;
    engine.world.host.updateFlightHud = WatchJet;
    gFly = &fly;
    std::string arg = "fly.rsp";
    char* argv[] = {const_cast<char*>("tkw4"), arg.data()};
    app::WinMain(engine, 2, argv);
    gFly = nullptr;
  }
  ASSERT_GE(fly.speed.size(), 300u);
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");

  const float power = 2.0f;
  int full = 0;
  for (size_t i = 1; i < fly.speed.size(); i++) {
    SCOPED_TRACE(i);
    float s = fly.speed[i - 1];
    float t = fly.throttle[i] + 1.0f;
    if (t > 1.0f) t = (t - 1.0f) * power + 1.0f;
    float expected = s - s / 600.0f + t * power / 600.0f;
    if (expected > s + power / 60.0f * 0.25f) expected = s + power / 60.0f * 0.25f;
    ASSERT_NEAR(fly.speed[i], expected, 1e-4f);
    ASSERT_NEAR(fly.height[i], 1000.0f, 0.01f);
    ASSERT_NEAR(fly.pitch[i], 0.0f, 1e-5f);
    if (fly.throttle[i] == 1.0f) full++;
  }
  // The key held the throttle fully open for most of the flight, and the
  // jet sped up from its placed 2.0.
  EXPECT_GT(full, 250);
  EXPECT_GT(fly.speed.back(), 2.5f);
}

// The tower's menu answered with the keys: down to "Hold on the runway",
// Z decides. The throttle key then does nothing for ten seconds: the
// Falcon stays put, and is cleared for take-off afterwards.
TEST(DemoFlight, HoldingOnTheRunwayAtTheTowersCallKeepsTheThrottleShut) {
  DemoRun run("keyboard\n"
              "at 150 0 key 208 down\nat 151 0 key 208 up\n"
              "at 180 0 key 44 down\nat 181 0 key 44 up\n"
              "at 200 0 key " + std::to_string(kKeyThrottle) + " down\n"
              "at 1000 close\n");
  EXPECT_NE(run.out.find(": the pilot answered: Hold on the runway."), std::string::npos) << run.out;
  const Watch& w = run.watch;
  ASSERT_GE(w.speed.size(), 990u);
  size_t cleared = run.out.find(": the Falcon is cleared for take-off.");
  ASSERT_NE(cleared, std::string::npos);
  // Held: still at the release, then rolling once cleared.
  for (size_t i = 200; i < 760; i++) ASSERT_LT(w.speed[i], 0.05f) << i;
  EXPECT_GT(w.speed[980], 0.2f);
}

// Nothing pressed: the Falcon waits on the runway on its tires, taking no
// harm from the ground, while its engine idles.
TEST(DemoFlight, AFalconLeftAloneRestsOnItsTires) {
  DemoRun run("keyboard\nat 300 close\n");
  const Watch& w = run.watch;
  ASSERT_GE(w.height.size(), 290u);
  EXPECT_EQ(w.badSteps, 0) << w.firstBad;
  for (size_t i = 5; i < w.height.size(); i++) {
    ASSERT_NEAR(w.height[i], 2.15f, 0.5f) << i;
    ASSERT_LT(w.speed[i], 0.05f) << i;
    ASSERT_EQ(w.state[i], 0) << i;
  }
  EXPECT_EQ(run.out.find("the Falcon was hit"), std::string::npos) << run.out;
}

// The world script packs the Demo's sounds into a package in the working
// folder, mounts it, reads a renamed entry that only the package holds, then
// takes its entries out and deletes it: nothing of it is left behind.
TEST(DemoFlight, TheWorldScriptPacksMountsReadsAndRemovesAPackage) {
  DemoRun run("keyboard\nat 300 close\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  EXPECT_FALSE(std::filesystem::exists("RuntimeError.txt"));
  const std::string& out = run.out;
  EXPECT_NE(out.find("Demo: packed Demo/Se into demo_sounds.pac; mounted it; read Packed/chime.wav from it into "
                     "sound slot 104 (found: 1)."),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Demo: removed the package's entries and deleted demo_sounds.pac; Packed/chime.wav is found: 0."),
            std::string::npos)
      << out;
  EXPECT_FALSE(std::filesystem::exists("demo_sounds.pac"));
  // The entry was read from the package: the sound system opened it.
  std::string log = test::ReadFile("system.log");
  EXPECT_EQ(log.find("Packed/chime.wav]"), std::string::npos) << log;
  EXPECT_EQ(log.find("demo_sounds.pac\""), std::string::npos) << log;
}

}  // namespace

// The mission thread of the sample game, left to run its two minutes: the
// chase camera follows the Falcon, then the player's view returns; the weather
// blends from the clear day to the overcast one, the Falcon's position and
// state are reported from the getters, and the effect volume is stored in
// the options file, where a fresh read of it finds it.
TEST(DemoFlight, TheMissionOpensTheViewBringsTheWeatherInAndSavesAnOption) {
  DemoRun run("at 7300 close\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  EXPECT_FALSE(std::filesystem::exists("RuntimeError.txt"));
  const Watch& w = run.watch;
  ASSERT_GE(w.steps, 7000);
  EXPECT_EQ(w.badSteps, 0) << w.firstBad;
  const std::string& out = run.out;

  // The opening: the chase camera (which hands on to the next shot after
  // two seconds), then after five the player's cockpit view (35 degrees).
  EXPECT_EQ(w.cameraMode[10], 6);
  EXPECT_NE(w.cameraMode[250], 0);
  EXPECT_EQ(w.cameraMode[400], 0);
  EXPECT_NEAR(w.fov[400], 0.6109f, 1e-3f);
  EXPECT_NE(out.find("Demo: mission: the chase camera follows the Falcon."), std::string::npos) << out;
  EXPECT_NE(out.find("Demo: mission: step 301: the camera goes back to the player's view."), std::string::npos)
      << out;

  // The weather: clear for twenty seconds, then a steady blend to overcast.
  EXPECT_FLOAT_EQ(w.blend[60 * 19], 0.0f);
  EXPECT_GT(w.blend[60 * 66], 0.45f);
  EXPECT_LT(w.blend[60 * 66], 0.6f);
  EXPECT_FLOAT_EQ(w.blend[60 * 112], 1.0f);
  for (size_t i = 1; i < w.blend.size(); i++) ASSERT_GE(w.blend[i], w.blend[i - 1]) << "step " << i;
  EXPECT_NE(out.find(": overcast, fog from 350 to 2400."), std::string::npos) << out;

  // The Falcon's state from the getters: on the runway, whole.
  EXPECT_NE(out.find("Demo: mission: step 601: the Falcon is at (0, 2, -892), 1 units a second, HP 600 (100%), heading 0"),
            std::string::npos)
      << out;

  // The option: read, set and saved; the file holds it for the next start.
  EXPECT_NE(out.find("Demo: mission: the effect volume was 100%, is now 90%; saved the options to tkw4.dat."),
            std::string::npos)
      << out;
  std::string saved = test::ReadFile("tkw4.dat");
  EXPECT_NE(saved.find("SE_VOLUME:-300"), std::string::npos) << saved;
}
