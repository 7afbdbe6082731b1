// app_input_headless_test.cpp -- a headless run of the engine's main loop driven
// by an input script: devices found, saved assignments matched, keys and
// axes replayed frame by frame, and the window closed by the script.

#include "app/app_local.h"
#include "input/input_fixture.h"

namespace {

using inputtest::ScopedEnv;

TEST(HeadlessRun, AnInputScriptDrivesTheMainLoop) {
  test::ScopedWorkFolder work;
  test::WriteFile("drive.txt",
                  "# a keyboard and a pad; Z from frame 10, the stick right from 20\n"
                  "keyboard\n"
                  "pad \"Script Pad\"\n"
                  "at 10 0 key 44 down\n"
                  "at 20 1 x 1000\n"
                  "at 40 close\n");
  ScopedEnv script("TKW4_INPUT_SCRIPT", "drive.txt");
  app::Engine engine;
  core::ResetSettings(&engine.settings);
  struct FakeClock {
    uint32_t now = 5000;
  } fake;
  engine.clock.source = [](void* user) {
    auto* f = static_cast<FakeClock*>(user);
    f->now += 4;
    return f->now;
  };
  engine.clock.user = &fake;
  engine.settings.fps = 0;

  ASSERT_EQ(engine.graphics.CreateDirect3D(), 1);
  platform::Window* window = engine.graphics.CreateMainWindow("test", false, 0, 0, 64, 48);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(engine.graphics.InitDevice(1), 1);
  // What start-up does with the devices: list them, then match and apply
  // the saved assignments (none yet: each device gets a new entry).
  ASSERT_EQ(engine.input.InitDirectInput(window), 0);
  const char* names[core::kPadEntryCount];
  for (int slot = 0; slot < core::kPadEntryCount; slot++) names[slot] = engine.input.GetDeviceName(slot);
  app::MatchPadEntries(&engine.settings, names);
  app::ApplyPadEntries(engine.settings, engine.input);
  EXPECT_STREQ(engine.settings.padName[1], "Script Pad");

  EXPECT_EQ(app::RunMainLoop(engine), 0);
  EXPECT_EQ(engine.app.QuitRequested, 1);
  EXPECT_EQ(engine.graphics.MainWindow(), nullptr);

  // The loop ended in frame 40: Z was held in frames 10 to 40.
  EXPECT_EQ(engine.input.GetPadNow(input::kGroupAll, 8), 1);
  EXPECT_EQ(engine.input.Slot(0)->holdCount[8], 31);
  // The pad's stick went right through the new entry's map (80/81 on the X
  // axis) and dead zone (200).
  EXPECT_EQ(engine.input.GetPadAnalog(1, 80), 100);
  EXPECT_EQ(engine.input.GetPadNow(1, 3), 1);
  float axesA[3];
  engine.input.SnapshotInput(nullptr, nullptr, nullptr, axesA, nullptr);
  EXPECT_FLOAT_EQ(axesA[0], 1.0f);
  EXPECT_NE(test::ReadFile("system.log").find("Instance[Script Pad]"), std::string::npos);
}

}  // namespace
