// api_startup_test.cpp -- the program registers the engine's calls before
// its start script runs, again with the window, and again at every finish:
// the start script and each start file of the world can call them.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/app_local.h"
#include "test_support.h"

namespace {

using test::SteadyClock;

const char* kDeclarations =
    "systemcall print_log(string text);\r\n"
    "systemcall vector_length(object v);\r\n"
    "systemcall finish(string next, string replay);\r\n";

TEST(StartupRegistration, TheStartScriptAndEveryStartFileReachTheEnginesCalls) {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  test::WriteFile("tkw4.dat", "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:320,HEIGHT:240},FPS:0}");
  test::WriteFile("Game/game.rsp", std::string(kDeclarations) +
                                       "function main() {\r\n"
                                       "  print_log(\"start \" + vector_length({x:3, y:4}));\r\n"
                                       "  finish(\"world.script\", \"\");\r\n"
                                       "}\r\n");
  test::WriteFile("Game/world.script", std::string(kDeclarations) +
                                           "function main() {\r\n"
                                           "  print_log(\"world \" + vector_length({x:6, y:8}));\r\n"
                                           "  finish(\"last.script\", \"\");\r\n"
                                           "}\r\n");
  test::WriteFile("Game/last.script", std::string(kDeclarations) +
                                          "function main() {\r\n"
                                          "  print_log(\"last \" + vector_length({z:2}));\r\n"
                                          "  finish(\"\", \"\");\r\n"
                                          "}\r\n");
  app::Engine engine;
  SteadyClock clock;
  engine.clock.source = SteadyClock::Read;
  engine.clock.user = &clock;
  std::vector<char*> argv{const_cast<char*>("tkw4")};
  app::WinMain(engine, int(argv.size()), argv.data());

  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_FALSE(std::filesystem::exists("RuntimeError.txt")) << test::ReadFile("RuntimeError.txt");
  std::string log = test::ReadFile("system.log");
  size_t start = log.find("start 5");
  size_t world = log.find("world 10");
  size_t last = log.find("last 2");
  ASSERT_NE(start, std::string::npos) << log;
  ASSERT_NE(world, std::string::npos) << log;
  ASSERT_NE(last, std::string::npos) << log;
  EXPECT_LT(start, world);
  EXPECT_LT(world, last);
  EXPECT_EQ(engine.world.scriptEngine.registry.Count(), 304);
}

}  // namespace
