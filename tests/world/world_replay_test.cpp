// world_replay_test.cpp -- determinism: a run of the sample scene driven by
// an input file is recorded, then replayed from its reset, and the world's
// state (every unit's position, angles, HP and state) hashes the same at
// every step; two live runs from the same input agree as well.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "app/app_local.h"
#include "test_support.h"
#include "units/units_public.h"
#include "world/world_local.h"

namespace {

namespace fs = std::filesystem;

// FNV-1a over the bytes of every live unit's slot, position, angles, HP,
// state and velocity, in slot order.
uint64_t HashWorld(world::GameWorld& w) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; i++) h = (h ^ p[i]) * 1099511628211ull;
  };
  for (int slot = 1; slot < world::CountUnitSlots(w); slot++) {
    units::Unit* u = world::GetUnitAt(w, slot);
    if (!u) continue;
    mix(&slot, sizeof slot);
    mix(&u->position, sizeof u->position);
    mix(&u->angles, sizeof u->angles);
    mix(&u->hp, sizeof u->hp);
    mix(&u->state, sizeof u->state);
    mix(&u->velocity, sizeof u->velocity);
  }
  return h;
}

// The engine record, as start-up leaves it, on the sample scene.
struct ReplayFixture {
  test::ScopedWorkFolder work;
  std::unique_ptr<test::ScopedEnv> input;
  std::unique_ptr<app::Engine> engine;
  platform::Window* window = nullptr;

  explicit ReplayFixture(const char* inputScript) {
    const char* source = std::getenv("TKW4_SOURCE_DIR");
    fs::create_directory_symlink(fs::path(source ? source : ".") / "games" / "Demo", "Demo");
    test::WriteFile("drive.txt", inputScript);
    input = std::make_unique<test::ScopedEnv>("TKW4_INPUT_SCRIPT", "drive.txt");
    engine = std::make_unique<app::Engine>();
    app::Engine& e = *engine;
    e.settings.fps = 0;
    e.app.pacer.frameRate = 60;  // one step a frame: a hash for every step
    EXPECT_EQ(e.graphics.CreateDirect3D(), 1);
    window = e.graphics.CreateMainWindow("replay", false, 0, 0, 64, 48);
    EXPECT_NE(window, nullptr);
    EXPECT_EQ(e.graphics.InitDevice(1), 1);
    e.input.InitDirectInput(window);
    api::RegisterSystemCalls(e.world, window);
    LoadMaster();
    e.world.LoadWorld();
    e.world.SetNextScriptPath("Demo/Unit/demo.plc");
  }

  // The sample unit master read into the world's database, as a game's
  // `load_unit_master` would.
  void LoadMaster() {
    script::ScriptEngine& se = engine->world.scriptEngine;
    const char* text = "extern object sample_master=\r\n#include \"Demo/Unit/unit_master.txt\"\r\n;\r\n";
    ASSERT_EQ(se.LoadScriptMemory(text, "master"), 1) << se.GetErrorListText();
    const script::CScriptValue* v = script::FollowRefer(se.FindGlobal("sample_master"));
    ASSERT_TRUE(v && v->type == script::kValueCompound);
    units::UnitDatabase& db = world::GetUnitDatabase(engine->world);
    const script::CScriptArray* master = v->data.array;
    ASSERT_NE(units::ReadUnitMaster(db, master), 0);
  }

  // One displayed frame as the main loop runs it; the hash of the step it
  // ran, by the step counter, while the run state runs.
  void Frame(std::map<int, uint64_t>* hashes) {
    engine->input.UpdateInput(0);
    engine->world.RunWorldFrame(window);
    if (hashes && engine->world.state == world::WorldState::Run) (*hashes)[engine->world.stepCounter] = HashWorld(engine->world);
  }
};

// The player's fighter opens the throttle on the runway and rolls, steers
// its nose wheel, fires its gun and its missile key: the flight model and
// the landing gear run on recorded input.
const char* kDrive =
    "keyboard\n"
    "at 10 0 key 46 down\n"  // C: throttle
    "at 20 0 key 44 down\n"   // Z
    "at 50 0 key 44 up\n"
    "at 70 0 key 45 down\n"   // X
    "at 90 0 key 45 up\n"
    "at 100 0 key 205 down\n"  // right arrow: roll, the nose wheel steers
    "at 120 0 key 205 up\n";

TEST(Replay, ARecordedRunReplaysToTheSameStateAtEveryStep) {
  ReplayFixture f(kDrive);
  world::GameWorld& w = f.engine->world;
  std::map<int, uint64_t> recorded;
  for (int frame = 0; frame < 150; frame++) f.Frame(&recorded);
  ASSERT_EQ(w.state, world::WorldState::Run);
  // The scene has units and they move: the hash is not the same throughout.
  EXPECT_GT(world::CountUnitSlots(w), 0);
  EXPECT_NE(recorded.begin()->second, recorded.rbegin()->second);
  EXPECT_GT(f.engine->recorder.count, 100);
  // The player's fighter is rolling down the runway under the throttle.
  ASSERT_NE(w.playerUnit, nullptr);
  const core::Vec3 v = w.playerUnit->velocity;
  EXPECT_GT(std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z), 0.05f);

  // The run ends with a replay request; the next reset plays it back.
  w.SetNextUnitDataPath("*");
  w.RequestFinish();
  f.Frame(nullptr);
  ASSERT_EQ(w.state, world::WorldState::Start);
  std::map<int, uint64_t> replayed;
  for (int frame = 0; frame < 150; frame++) f.Frame(&replayed);
  EXPECT_EQ(w.playback, 1);
  int compared = 0;
  for (const auto& [step, hash] : replayed) {
    auto it = recorded.find(step);
    if (it == recorded.end()) continue;
    ASSERT_EQ(hash, it->second) << "step " << step;
    compared++;
  }
  EXPECT_GE(compared, 140);
}

TEST(Replay, TwoRunsFromTheSameInputAgreeStepByStep) {
  std::map<int, uint64_t> runs[2];
  for (auto& run : runs) {
    ReplayFixture f(kDrive);
    for (int frame = 0; frame < 120; frame++) f.Frame(&run);
  }
  ASSERT_FALSE(runs[0].empty());
  EXPECT_EQ(runs[0], runs[1]);
}

// Logical button 1 (the down arrow) held during a replay: frames draw
// without stepping, and letting go resumes the replay where it stood.
TEST(Replay, HoldingButton1StandsTheReplayStillUntilItIsReleased) {
  ReplayFixture f("keyboard\nat 100 0 key 208 down\nat 120 0 key 208 up\n");
  world::GameWorld& w = f.engine->world;
  for (int frame = 0; frame < 60; frame++) f.Frame(nullptr);
  w.SetNextUnitDataPath("*");
  w.RequestFinish();
  while (f.engine->input.GetPadNow(input::kGroupAll, 1) == 0) f.Frame(nullptr);
  ASSERT_EQ(w.playback, 1);
  int held = w.stepCounter;
  for (int frame = 0; frame < 10; frame++) f.Frame(nullptr);
  EXPECT_EQ(w.stepCounter, held);
  // The frame that reads the key released steps again.
  while (f.engine->input.GetPadNow(input::kGroupAll, 1) != 0) f.Frame(nullptr);
  EXPECT_EQ(w.stepCounter, held + 1);
  f.Frame(nullptr);
  EXPECT_EQ(w.stepCounter, held + 2);
}

// The first 6 steps of a state see no pad input, whatever is held.
TEST(StepInput, TheFirstSixStepsOfAStateSeeNoInput) {
  // The down arrow (logical 1) pressed at the second run step, after the
  // reset has cleared the pads, and held.
  ReplayFixture f("keyboard\nat 3 0 key 208 down\n");
  world::GameWorld& w = f.engine->world;
  int32_t held[128];
  f.Frame(nullptr);  // the start state's step: the reset
  for (int step = 0; step < 8; step++) {
    f.Frame(nullptr);
    ASSERT_EQ(w.stepCounter, step + 1);
    world::GetStepInput(w, held, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(held[1], step < 6 ? 0 : 1) << "run step " << step;
  }
}

}  // namespace
