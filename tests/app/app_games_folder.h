// app_games_folder.h -- where the app tests find the bundled games: the
// source tree's games/ folder (TKW4_SOURCE_DIR when set, else the tree the
// tests were built from); and a bundled game run headless from the work
// folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/app_local.h"
#include "test_support.h"

namespace apptest {

inline std::filesystem::path GamesFolder() {
  const char* source = std::getenv("TKW4_SOURCE_DIR");
  return std::filesystem::path(source ? source : TKW4_SOURCE_ROOT) / "games";
}

// Runs the engine on `startFile` as the program would, driven by the input
// file `drive` (written to the work folder) on a steady clock, with `hook`
// as the per-step hook (the one it replaces goes to *previous when asked
// for). WinMain's exit code; what the run printed goes to *out.
inline int RunGame(const char* startFile, const std::string& drive, void (*hook)(void* user),
                   void (**previous)(void* user), std::string* out) {
  test::WriteFile("drive.txt", drive);
  test::ScopedEnv input("TKW4_INPUT_SCRIPT", "drive.txt");
  testing::internal::CaptureStdout();
  int exitCode;
  {
    app::Engine engine;
    test::SteadyClock clock;
    engine.clock.source = test::SteadyClock::Read;
    engine.clock.user = &clock;
    if (previous) *previous = engine.world.host.updateFlightHud;
    engine.world.host.updateFlightHud = hook;
    std::string arg = startFile;
    char* argv[] = {const_cast<char*>("tkw4"), arg.data()};
    exitCode = app::WinMain(engine, 2, argv);
  }
  *out = testing::internal::GetCapturedStdout();
  return exitCode;
}

}  // namespace apptest
