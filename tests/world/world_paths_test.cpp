// world_paths_test.cpp -- the next script and unit-data paths the world
// takes up at its next frame: stored up to 259 bytes, refused beyond.

#include <gtest/gtest.h>

#include "core/core_public.h"
#include "test_support.h"
#include "world/world_public.h"

namespace {

TEST(WorldPaths, PathsThatDoNotFitAreRefused) {
  test::ScopedWorkFolder work;
  std::string longest(259, 'p');
  std::string tooLong(260, 'q');
  {
    core::LogSystem log("system.log", core::kLogInfo);
    world::GameWorld world;
    world.log = &log;
    EXPECT_STREQ(world.GetStartFileName(), "");
    EXPECT_STREQ(world.GetNextUnitDataPath(), "");
    EXPECT_EQ(world.SetNextScriptPath("next.rsp"), 1);
    EXPECT_EQ(world.SetNextUnitDataPath("units.dat"), 1);
    EXPECT_STREQ(world.GetStartFileName(), "next.rsp");
    EXPECT_STREQ(world.GetNextUnitDataPath(), "units.dat");

    EXPECT_EQ(world.SetNextScriptPath(tooLong.c_str()), 0);
    EXPECT_EQ(world.SetNextUnitDataPath((tooLong + tooLong).c_str()), 0);
    EXPECT_STREQ(world.GetStartFileName(), "next.rsp");  // what was stored stays
    EXPECT_STREQ(world.GetNextUnitDataPath(), "units.dat");

    EXPECT_EQ(world.SetNextScriptPath(longest.c_str()), 1);
    EXPECT_EQ(world.SetNextUnitDataPath(longest.c_str()), 1);
    EXPECT_EQ(world.GetStartFileName(), longest);
    EXPECT_EQ(world.GetNextUnitDataPath(), longest);
    EXPECT_EQ(world.SetNextScriptPath(nullptr), 1);
    EXPECT_STREQ(world.GetStartFileName(), "");
  }
  std::string log = test::ReadFile("system.log");
  EXPECT_NE(log.find(test::Sjis("パスが長すぎます（260バイト）。")), std::string::npos);
  EXPECT_NE(log.find(test::Sjis("パスが長すぎます（520バイト）。")), std::string::npos);
}

// The world's error label is where the script engine notes the first path
// point an error is traced to.
TEST(WorldPaths, TheScriptEngineWritesTheWorldsErrorLabel) {
  world::GameWorld world;
  EXPECT_EQ(world.scriptEngine.pathPoints.errorLabel, &world.errorLabel);
}

}  // namespace
