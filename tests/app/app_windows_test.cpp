// app_windows_test.cpp -- the message windows in the running engine: a
// menu opened by the game's script, moved and decided by the keys of an
// input file, reports the line chosen; the windows are drawn every frame.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/app_local.h"
#include "test_support.h"

namespace {

using test::SteadyClock;

const char* kSettings = "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:320,HEIGHT:240},FPS:0}";

const char* kStartScript =
    "systemcall finish(string next, string replay);\r\n"
    "function main() { finish(\"world.script\", \"\"); }\r\n";

// A menu of four lines; the script waits for a decision and keeps the line.
const char* kMenuScript =
    "systemcall create_select_window(int skin, object position, int selection, string items);\r\n"
    "systemcall get_window_status(int window);\r\n"
    "systemcall get_window_cursor(int window);\r\n"
    "systemcall get_window_cursor_string(int window);\r\n"
    "systemcall close_window(int window);\r\n"
    "int handle = 0; int chosen = -1; string item = \"\"; int moves = 0;\r\n"
    "function main() {\r\n"
    "  handle = create_select_window(0, {x:-100, y:-50, z:0}, 200, \"alpha\\\\nbeta\\\\ngamma\\\\ndelta\");\r\n"
    "  while (chosen < 0) {\r\n"
    "    int s = get_window_status(handle);\r\n"
    "    if (s == 8 || s == 10) moves++;\r\n"
    "    if (s == 2 || s == 10) {\r\n"
    "      chosen = get_window_cursor(handle);\r\n"
    "      item = get_window_cursor_string(handle);\r\n"
    "      close_window(handle);\r\n"
    "    }\r\n"
    "    __system_interrupt__(1, \"wait\");\r\n"
    "  }\r\n"
    "  while (1) __system_interrupt__(1, \"wait\");\r\n"
    "}\r\n";

int RunProgram(app::Engine& engine, SteadyClock& clock) {
  engine.clock.source = SteadyClock::Read;
  engine.clock.user = &clock;
  char name[] = "tkw4";
  char* argv[] = {name};
  return app::WinMain(engine, 1, argv);
}

std::string Global(app::Engine& engine, const char* name, int* number) {
  script::CScriptValue* v = engine.world.FindScriptGlobal(name);
  if (!v) return "<none>";
  v = script::FollowRefer(v);
  if (number) *number = int(script::ScriptEngine::ValueToFloat(v));
  return v->type == script::kValueString ? v->stringValue.str() : "";
}

TEST(EngineWindows, AMenuDrivenByTheInputFileReportsTheChosenLine) {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  test::WriteFile("tkw4.dat", kSettings);
  test::WriteFile("Game/game.rsp", kStartScript);
  test::WriteFile("Game/world.script", kMenuScript);
  // Down twice, up once, down once (line 2), then Z decides.
  test::WriteFile("drive.txt",
                  "keyboard\n"
                  "at 20 0 key 208 down\nat 21 0 key 208 up\n"
                  "at 30 0 key 208 down\nat 31 0 key 208 up\n"
                  "at 40 0 key 200 down\nat 41 0 key 200 up\n"
                  "at 50 0 key 208 down\nat 51 0 key 208 up\n"
                  "at 60 0 key 44 down\nat 61 0 key 44 up\n"
                  "at 90 close\n");
  test::ScopedEnv input("TKW4_INPUT_SCRIPT", "drive.txt");
  auto engine = std::make_unique<app::Engine>();
  SteadyClock clock;
  RunProgram(*engine, clock);
  EXPECT_TRUE(boxes.Boxes().empty());
  int chosen = -5, moves = -5, handle = -5;
  Global(*engine, "chosen", &chosen);
  Global(*engine, "moves", &moves);
  Global(*engine, "handle", &handle);
  EXPECT_EQ(handle, 1);
  EXPECT_EQ(chosen, 2);
  EXPECT_EQ(moves, 4);
  EXPECT_EQ(Global(*engine, "item", nullptr), "gamma");
  EXPECT_EQ(test::ReadFile("RuntimeError.txt"), "");
}

}  // namespace
