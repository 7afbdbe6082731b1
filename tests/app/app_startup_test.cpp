// app_startup_test.cpp -- the start-up sequence, the command line, the
// settings file as start-up reads and writes it, and the main loop, run
// headless.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/app_local.h"
#include "app_settings_dump.h"
#include "test_support.h"

namespace {

TEST(StartFile, TakesTheFileNameOfTheArguments) {
  struct Case {
    std::vector<std::string> args;  // after the program's name
    const char* startFile;
  };
  const Case cases[] = {
      {{}, ""},
      {{"game.rsp"}, "game.rsp"},
      {{"C:\\Games\\Air\\mission.rsp"}, "mission.rsp"},
      {{"/home/me/games/air/mission.rsp"}, "mission.rsp"},
      {{"games\\air/mixed.rsp"}, "mixed.rsp"},
      {{"with space.rsp\""}, "with space.rsp"},  // one trailing quote removed
      {{"my", "game.rsp"}, "my game.rsp"},       // the rest of the line is one name
      {{"C:\\folder\\"}, ""},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv{const_cast<char*>("tkw4")};
    for (const std::string& a : c.args) argv.push_back(const_cast<char*>(a.c_str()));
    EXPECT_EQ(app::StartFileFromArguments(int(argv.size()), argv.data()), c.startFile);
  }
}

TEST(Settings, DefaultsOfAFreshInstallation) {
  app::SettingsBlock s;
  std::memset(&s, 0x5A, sizeof s);
  app::ResetSettings(&s);
  EXPECT_EQ(s.version, 20130331);
  EXPECT_EQ(s.screenMode, 1);
  EXPECT_EQ(s.width, 1024);
  EXPECT_EQ(s.height, 768);
  EXPECT_EQ(s.shaderFlag, 1);
  EXPECT_EQ(s.shadow, 2);
  EXPECT_EQ(s.bloom, 0);
  EXPECT_EQ(s.viewMode, 1);
  EXPECT_EQ(s.fps, 0);
  EXPECT_EQ(s.drawFps, 1);
  EXPECT_EQ(s.networkPort[0], 17328);
  EXPECT_EQ(s.networkPort[1], 0);
  EXPECT_STREQ(s.networkUrl[0], "127.0.0.1");
  EXPECT_STREQ(s.networkUrl[1], "");
  EXPECT_STREQ(s.startFile, "");
  EXPECT_EQ(s.stereoType, 0);
  for (int n = 0; n < app::kPadEntryCount; n++) {
    EXPECT_STREQ(s.padName[n], "");
    for (int b = 0; b < app::kPadButtonCount; b++) ASSERT_EQ(s.padMap[n][b], 255);
    for (int k = 0; k < app::kPadAxisCount; k++) ASSERT_EQ(s.padFree[n][k], 0);
  }
}

// Runs the program in the current folder as `tkw4 args...`.
int RunProgram(app::Engine& engine, std::vector<std::string> args) {
  std::vector<char*> argv{const_cast<char*>("tkw4")};
  for (std::string& a : args) argv.push_back(a.data());
  return app::WinMain(engine, int(argv.size()), argv.data());
}

TEST(Startup, StopsAtTheStartScriptWithItsErrorBox) {
  test::ScopedWorkFolder work;
  test::WriteFile("Demo/demo.rsp", "// start\r\nint broken = ;\r\n");
  test::MessageBoxRecorder boxes;
  {
    auto owned = std::make_unique<app::Engine>();  // megabytes: off the stack
    app::Engine& engine = *owned;
    EXPECT_EQ(RunProgram(engine, {}), 0);  // a failed compile ends with 0
  }

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Please refer \"CompileError.txt\"");
  EXPECT_NE(boxes.Boxes()[0].text.find("/Demo/demo.rsp"), std::string::npos);
  EXPECT_EQ(test::ReadFile("CompileError.txt"), boxes.Boxes()[0].text);
  // A compile error leaves no run-time error file behind.
  EXPECT_FALSE(platform::PathExists("RuntimeError.txt"));

  std::string log = test::ReadFile("system.log");
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < log.size();) {
    size_t end = log.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos);
    ASSERT_EQ(log[pos + 12], '|');
    lines.push_back(log.substr(pos + 13, end - pos - 13));
    pos = end + 2;
  }
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], test::Sjis("system.log:ログの取得を開始します。"));
  EXPECT_EQ(lines[1], test::Sjis("設定ファイル\"tkw4.dat\"を読み込みます。"));
  EXPECT_EQ(lines[2], test::Sjis("設定ファイル\"tkw4.dat\"が読み込みオープンできません。"));
  EXPECT_EQ(lines.back(), test::Sjis("ログファイルをクローズします。"));
}

TEST(Startup, CommandLineChoosesTheGame) {
  test::ScopedWorkFolder work;
  test::WriteFile("Alpha/a.rsp", "x");
  test::WriteFile("Beta/b.rsp", "x");
  test::MessageBoxRecorder boxes;
  {
    auto owned = std::make_unique<app::Engine>();  // megabytes: off the stack
    app::Engine& engine = *owned;
    EXPECT_EQ(RunProgram(engine, {"C:\\anywhere\\b.rsp"}), 0);
    EXPECT_STREQ(engine.settings.startFile, "b.rsp");
    EXPECT_STREQ(engine.settings.StartFolder, "Beta");
    EXPECT_STREQ(engine.settings.StartPackage, "");
    EXPECT_EQ(engine.app.GameList.size(), 2u);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find("/Beta/b.rsp"), std::string::npos);
  }
  {
    // Without an argument the start file of the settings file is taken.
    auto owned = std::make_unique<app::Engine>();  // megabytes: off the stack
    app::Engine& engine = *owned;
    EXPECT_EQ(RunProgram(engine, {}), 0);
    EXPECT_STREQ(engine.settings.startFile, "b.rsp");
    EXPECT_STREQ(engine.settings.StartFolder, "Beta");
  }
  std::remove("tkw4.dat");
  {
    // Without either the first game is taken.
    auto owned = std::make_unique<app::Engine>();  // megabytes: off the stack
    app::Engine& engine = *owned;
    EXPECT_EQ(RunProgram(engine, {}), 0);
    EXPECT_STREQ(engine.settings.startFile, "a.rsp");
    EXPECT_STREQ(engine.settings.StartFolder, "Alpha");
  }
}

// A start script that fails while it runs: its box, "RuntimeError.txt" and
// the error window, and the program ends with 0. One that runs cleanly
// leaves no run-time error file and opens no window.
TEST(Startup, ARunTimeErrorOfTheStartScriptIsShownAndWritten) {
  test::ScopedWorkFolder work;
  test::WriteFile("Demo/demo.rsp", "function main() {\r\n  int zero = 0;\r\n  int x = 1 % zero;\r\n}\r\n");
  test::MessageBoxRecorder boxes;
  {
    auto owned = std::make_unique<app::Engine>();  // megabytes: off the stack
    app::Engine& engine = *owned;
    EXPECT_EQ(RunProgram(engine, {}), 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, "Please refer \"RuntimeError.txt\"");
    EXPECT_EQ(boxes.Boxes()[0].text, test::ReadFile("RuntimeError.txt"));
    EXPECT_NE(boxes.Boxes()[0].text.find(test::Sjis("demo.rsp(3行目)-ゼロによる除算")), std::string::npos);
    EXPECT_EQ(engine.windows.CountOpen(), 1);
    EXPECT_EQ(engine.windows.Window(0)->text.find(boxes.Boxes()[0].text), 0u);
  }
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  EXPECT_TRUE(platform::PathExists("CompiledCode.txt"));
  EXPECT_TRUE(platform::PathExists("CompiledValue.txt"));

  std::remove("RuntimeError.txt");
  test::WriteFile("Demo/demo.rsp", "function main() {\r\n  int one = 1;\r\n}\r\n");
  {
    auto owned = std::make_unique<app::Engine>();  // megabytes: off the stack
    app::Engine& engine = *owned;
    EXPECT_EQ(RunProgram(engine, {}), 1);  // no start file for the world
    EXPECT_EQ(engine.windows.CountOpen(), 0);
  }
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_FALSE(platform::PathExists("RuntimeError.txt"));
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
}

TEST(MainLoop, RunsFramesUntilTheWindowCloses) {
  test::ScopedWorkFolder work;
  app::Engine engine;
  struct FakeClock {
    uint32_t now = 5000;
    int reads = 0;
    app::Engine* engine;
  } fake{5000, 0, &engine};
  engine.clock.source = [](void* user) {
    auto* f = static_cast<FakeClock*>(user);
    f->now += 4;
    if (++f->reads == 1500) platform::PostCloseEvent(f->engine->graphics.MainWindow());
    return f->now;
  };
  engine.clock.user = &fake;
  engine.settings.fps = 0;
  engine.settings.drawFps = 1;

  ASSERT_EQ(engine.graphics.CreateDirect3D(), 1);
  ASSERT_NE(engine.graphics.CreateMainWindow("test", false, 0, 0, 64, 48), nullptr);
  ASSERT_EQ(engine.graphics.InitDevice(1), 1);

  EXPECT_EQ(app::RunMainLoop(engine), 0);
  EXPECT_EQ(engine.app.QuitRequested, 1);
  EXPECT_EQ(engine.graphics.MainWindow(), nullptr);
  // About 6 s of fake time at 4 ms a read, frames at 60 a second: the
  // measured rate is that of whole seconds of presented frames.
  EXPECT_GT(engine.graphics.GetMeasuredFps(), 30);
  EXPECT_LE(engine.graphics.GetMeasuredFps(), 61);
  EXPECT_GE(engine.app.pacer.frameLoadPercent, 0);
  EXPECT_EQ(engine.sound.FadeStepCount(), 1);
}

// The settings file "tkw4.dat" as it stands now, read into a fresh block.
app::SettingsBlock ReadSettingsFile() {
  app::Engine reader;
  EXPECT_EQ(app::LoadSettings(reader, nullptr), 1);
  return reader.settings;
}

TEST(StartupSettings, ARunLeavesAFileThatReadsBackToTheBlock) {
  test::ScopedWorkFolder work;
  test::WriteFile("Demo/demo.rsp", "int fine = 1;\r\n");
  test::MessageBoxRecorder boxes;
  app::Engine engine;
  // The script leaves no start file: start-up ends after the first run, with
  // the settings written before the start-up dialog.
  EXPECT_EQ(RunProgram(engine, {"demo.rsp"}), 1);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(apptest::DumpStoredFields(ReadSettingsFile()), apptest::DumpStoredFields(engine.settings));
  EXPECT_STREQ(ReadSettingsFile().startFile, "demo.rsp");
  EXPECT_STREQ(engine.settings.StartFolder, "Demo");
}

TEST(StartupSettings, AnOutdatedFileGivesTheDefaults) {
  test::ScopedWorkFolder work;
  test::WriteFile("Demo/demo.rsp", "int fine = 1;\r\n");
  test::WriteFile("tkw4.dat",
                  "{VER:20130330,RSP_FILE:\"old.rsp\",SCREEN:{WIDTH:640},"
                  "PAD:[{NAME:\"Keyboard\",MAP:[1,2,3]}],NETWORK:{PORT:[0],URL:[\"\"]}}");
  test::MessageBoxRecorder boxes;
  app::Engine engine;
  EXPECT_EQ(RunProgram(engine, {"demo.rsp"}), 1);
  app::SettingsBlock expected;
  app::ResetSettings(&expected);
  std::snprintf(expected.startFile, sizeof expected.startFile, "demo.rsp");  // the command line still counts
  EXPECT_EQ(apptest::DumpStoredFields(engine.settings), apptest::DumpStoredFields(expected));
  for (int n = 0; n < app::kPadEntryCount; n++)
    for (int b = 0; b < app::kPadButtonCount; b++) ASSERT_EQ(engine.settings.padMap[n][b], 255);
  EXPECT_EQ(apptest::DumpStoredFields(ReadSettingsFile()), apptest::DumpStoredFields(expected));
}

TEST(StartupSettings, AFileThatDoesNotCompileGivesItsBoxAndTheDefaults) {
  test::ScopedWorkFolder work;
  test::WriteFile("Demo/demo.rsp", "int fine = 1;\r\n");
  test::WriteFile("tkw4.dat", "{VER:20130331,SCREEN:{WIDTH:640,}}}\r\n");
  test::MessageBoxRecorder boxes;
  app::Engine engine;
  EXPECT_EQ(RunProgram(engine, {}), 1);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "CompileError");
  EXPECT_EQ(engine.settings.width, 1024);
  EXPECT_EQ(ReadSettingsFile().width, 1024);
  std::string log = test::ReadFile("system.log");
  EXPECT_NE(log.find(test::Sjis("設定ファイル\"tkw4.dat\"が読み込みオープンできません。")), std::string::npos);
}

// The engine's clock, 40 ms a reading, closes the main window once it has
// been read `frames` times with the window up.
struct CloseLater {
  app::Engine* engine;
  uint32_t now = 1000;
  int framesLeft;
  CloseLater(app::Engine& e, int frames) : engine(&e), framesLeft(frames) {
    e.clock.source = [](void* user) {
      auto* c = static_cast<CloseLater*>(user);
      c->now += 40;
      if (c->engine->graphics.MainWindow() && c->framesLeft > 0 && --c->framesLeft == 0)
        platform::PostCloseEvent(c->engine->graphics.MainWindow());
      return c->now;
    };
    e.clock.user = this;
  }
};

TEST(StartupSettings, TheSettingsAreWrittenAgainBeforeTheWorldLoads) {
  test::ScopedWorkFolder work;
  // Edit mode runs start-up to the end; it asks for a window and switches
  // the network off after the first write of the settings.
  test::WriteFile("Demo/demo.rsp", "int __system_editmode = 1;\r\n");
  test::WriteFile("tkw4.dat",
                  "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:320,HEIGHT:240},"
                  "NETWORK:{FLAG:1,PORT:[5000],URL:[\"127.0.0.1\"],NAME:[\"me\"]},FPS:1,EDITOR:{V_ROT_REV:1}}");
  test::MessageBoxRecorder boxes;
  app::Engine engine;
  CloseLater closer(engine, 20);
  RunProgram(engine, {});
  EXPECT_EQ(engine.app.EditorMode, 1);
  EXPECT_EQ(engine.settings.networkFlag, app::kNetworkOff);
  EXPECT_TRUE(boxes.Boxes().empty());
  app::SettingsBlock written = ReadSettingsFile();
  EXPECT_EQ(apptest::DumpStoredFields(written), apptest::DumpStoredFields(engine.settings));
  // What changed after the first write is in the file: the network is off
  // and the start-up dialog's choice of game is there.
  EXPECT_EQ(written.networkFlag, app::kNetworkOff);
  EXPECT_STREQ(written.startFile, "demo.rsp");
  EXPECT_EQ(written.width, 320);
  EXPECT_EQ(written.fps, 1);
  EXPECT_EQ(written.editorVRotRev, 1);
  EXPECT_STREQ(written.networkName[0], "me");
}

// A network that cannot be reached is shown in a warning box; the game then
// starts without it and the settings remember it off.
TEST(StartupNetwork, AFailedConnectionShowsItsMessageAndPlayGoesOnWithoutNetwork) {
  test::ScopedWorkFolder work;
  test::WriteFile("Demo/demo.rsp",
                  "systemcall finish(string next, string replay);\r\n"
                  "function main() {\r\n  finish(\"world.script\", \"\");\r\n}\r\n");
  test::WriteFile("Demo/world.script", "function main() {\r\n}\r\n");
  // Port 1 on this machine: nothing listens, the connection is refused.
  test::WriteFile("tkw4.dat",
                  "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:160,HEIGHT:120},"
                  "NETWORK:{FLAG:1,PORT:[1],URL:[\"127.0.0.1\"],NAME:[\"me\"]},FPS:0}");
  test::MessageBoxRecorder boxes;
  app::Engine engine;
  CloseLater closer(engine, 10);
  RunProgram(engine, {"demo.rsp"});
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("TCP-Socketの接続に失敗しました。"));
  EXPECT_EQ(engine.settings.networkFlag, app::kNetworkOff);
  EXPECT_FALSE(engine.network.IsOpen());
  EXPECT_EQ(ReadSettingsFile().networkFlag, app::kNetworkOff);
  EXPECT_GT(engine.world.stepCounter, 0);  // the world ran
}

}  // namespace
