// world_frame_test.cpp -- the world's frame alone: steps per frame, the
// states and their first steps, the reset with its start script, scripts
// living across frames, finish, run-time errors, pause, the hit pause and
// the on-screen message lines.

#include <gtest/gtest.h>

#include <string>

#include "api/api_world_fixture.h"

namespace {

struct WorldFixture : apitest::RegisteredWorld {
  // Starts the world on a script file holding `text`.
  void Start(const std::string& text, const char* name = "start.rsp") {
    test::WriteFile(name, text);
    ASSERT_EQ(world.SetNextScriptPath(name), 1);
  }

  int Global(const char* name) {
    script::CScriptValue* v = world.FindScriptGlobal(name);
    return v ? int(script::ScriptEngine::ValueToFloat(v)) : -12345;
  }

  // Runs frames until the world says the game ended; the frame count.
  int RunUntilEnd(int limit) {
    for (int frame = 1; frame <= limit; frame++)
      if (world.RunWorldFrame(nullptr)) return frame;
    return -1;
  }
};

// A script whose one thread counts the steps it has run in `steps`.
const char* kCounter =
    "int steps = 0;\r\n"
    "function main() {\r\n"
    "  while (1) { steps++; __system_interrupt__(1, \"wait\"); }\r\n"
    "}\r\n";

TEST(WorldFrame, RunsTheStepsThatCoverTheFrame) {
  struct Case {
    int frameRate;
    int stepsPerFrame;
  };
  for (Case c : {Case{60, 1}, Case{30, 2}, Case{20, 3}, Case{15, 4}}) {
    WorldFixture f;
    f.frameRate = c.frameRate;
    f.Start(kCounter);
    // Frame 1 holds the start state's step (the reset) and the first run
    // steps; from then on every step is a run step with one script slice.
    f.world.RunWorldFrame(nullptr);
    EXPECT_EQ(f.world.state, world::WorldState::Run);
    int before = f.Global("steps");
    EXPECT_EQ(before, c.stepsPerFrame - 1) << c.frameRate;
    for (int i = 0; i < 10; i++) f.world.RunWorldFrame(nullptr);
    EXPECT_EQ(f.Global("steps") - before, 10 * c.stepsPerFrame) << c.frameRate;
    EXPECT_EQ(f.world.stepCounter, 11 * c.stepsPerFrame - 1) << c.frameRate;
  }
}

TEST(WorldFrame, ResetRunsTheStartFileAndReseedsTheGenerator) {
  WorldFixture f;
  f.Start(kCounter);
  // Whatever was drawn before, the game's sequence starts from seed 0.
  for (int i = 0; i < 17; i++) world::Rand(f.world);
  f.world.RunWorldFrame(nullptr);
  EXPECT_STREQ(f.world.GetLastStartFileName(), "start.rsp");
  EXPECT_EQ(world::Rand(f.world), 38);
  EXPECT_EQ(world::Rand(f.world), 7719);
  EXPECT_EQ(world::Rand(f.world), 21238);
  EXPECT_EQ(world::Rand(f.world), 2437);
  EXPECT_EQ(f.world.restCountdown, 18000);
  EXPECT_EQ(f.world.stallHeight, 3000);
  // The start state's step was the reset; the run state began at the next.
  EXPECT_EQ(f.world.stepCounter, 0);
  EXPECT_EQ(f.Global("steps"), 0);
  std::string log = test::ReadFile("system.log");
  size_t start = log.find(test::Sjis("ワールド初期化処理開始@Reset"));
  size_t end = log.find(test::Sjis("ワールドリセット処理終了@Reset"));
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_LT(start, log.find(test::Sjis("プレイヤー情報初期化@Reset")));
  EXPECT_LT(log.find(test::Sjis("プレイヤー情報初期化@Reset")), end);
}

TEST(WorldFrame, FinishRestartsWithTheNextFileOrEndsTheGame) {
  WorldFixture f;
  test::WriteFile("second.rsp",
                  "systemcall finish(string next, string replay);\r\n"
                  "int second = 1;\r\n"
                  "function main() {\r\n"
                  "  __system_interrupt__(3, \"wait\");\r\n"
                  "  finish(\"\", \"\");\r\n"
                  "}\r\n");
  f.Start("systemcall finish(string next, string replay);\r\n"
          "function main() {\r\n"
          "  __system_interrupt__(5, \"wait\");\r\n"
          "  finish(\"second.rsp\", \"\");\r\n"
          "}\r\n");
  int frames = f.RunUntilEnd(100);
  // start + 6 run steps (the wait of 5, then finish), start again + 4 run
  // steps: the game ended in frame 12.
  EXPECT_EQ(frames, 12);
  EXPECT_TRUE(f.world.gameEnded == false);  // shutdown restored the defaults
  EXPECT_STREQ(f.world.GetStartFileName(), "");
  EXPECT_EQ(f.world.state, world::WorldState::Start);
  EXPECT_NE(test::ReadFile("system.log").find(test::Sjis("メインパート終了")), std::string::npos);
}

TEST(WorldFrame, HostOperationsDriveTheStatesAsFinishWould) {
  WorldFixture f;
  f.Start(kCounter);
  for (int i = 0; i < 5; i++) EXPECT_EQ(f.world.RunWorldFrame(nullptr), 0);
  EXPECT_EQ(f.Global("steps"), 4);
  // What `finish` does: the next script stored and the run asked to end.
  test::WriteFile("next.rsp", "int fresh = 7;\r\n");
  f.world.SetNextScriptPath("next.rsp");
  f.world.RequestFinish();
  EXPECT_EQ(f.world.RunWorldFrame(nullptr), 0);
  EXPECT_EQ(f.world.state, world::WorldState::Start);
  EXPECT_EQ(f.world.RunWorldFrame(nullptr), 0);
  EXPECT_EQ(f.world.state, world::WorldState::Run);
  EXPECT_EQ(f.Global("fresh"), 7);
  EXPECT_EQ(f.Global("steps"), -12345);  // the old script is gone
  f.world.SetNextScriptPath("");
  f.world.RequestFinish();
  EXPECT_EQ(f.world.RunWorldFrame(nullptr), 1);
}

TEST(WorldFrame, AnEditorTestRunStartsFromAFreshRegistry) {
  WorldFixture f;
  f.editorMode = 1;
  f.Start(kCounter);
  f.world.RunWorldFrame(nullptr);
  ASSERT_EQ(f.world.state, world::WorldState::Edit);
  // A call registered while editing must not survive into the test run:
  // every start of a script begins with the engine's own calls only.
  auto stray = [](script::SystemCallResult* r, script::SystemCallContext, script::SystemCallArgument*, char*) {
    return r;
  };
  f.world.scriptEngine.RegisterSystemCall("stray_call", stray);
  ASSERT_NE(f.world.scriptEngine.FindSystemCallHandler("stray_call"), nullptr);
  f.world.testRunRequested = 1;
  for (int i = 0; i < 3; i++) f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(f.world.state, world::WorldState::Run);
  EXPECT_EQ(f.world.scriptEngine.FindSystemCallHandler("stray_call"), nullptr);
  EXPECT_NE(f.world.scriptEngine.FindSystemCallHandler("finish"), nullptr);
  EXPECT_GE(f.Global("steps"), 1);
}

TEST(WorldFrame, ARunTimeErrorEmptiesTheEngineAndTheWorldGoesOn) {
  WorldFixture f;
  f.Start("int steps = 0;\r\n"
          "function main() {\r\n"
          "  int zero = 0;\r\n"
          "  __system_interrupt__(3, \"wait\");\r\n"
          "  steps = 1 % zero;\r\n"
          "}\r\n");
  for (int i = 0; i < 10; i++) EXPECT_EQ(f.world.RunWorldFrame(nullptr), 0);
  EXPECT_NE(test::ReadFile("RuntimeError.txt").find(test::Sjis("ゼロによる除算")), std::string::npos);
  EXPECT_TRUE(platform::PathExists("RuntimeValue.txt"));
  EXPECT_TRUE(platform::PathExists("CompiledCode.txt"));
  EXPECT_EQ(f.world.FindScriptGlobal("steps"), nullptr);  // the engine was emptied
  EXPECT_EQ(f.world.state, world::WorldState::Run);
  EXPECT_EQ(f.world.stepCounter, 9);
}

TEST(WorldFrame, AStartFileThatDoesNotCompileLeavesTheWorldRunning) {
  WorldFixture f;
  f.Start("int broken = ;\r\n");
  for (int i = 0; i < 3; i++) EXPECT_EQ(f.world.RunWorldFrame(nullptr), 0);
  EXPECT_NE(test::ReadFile("CompileError.txt").find("start.rsp"), std::string::npos);
  EXPECT_EQ(f.world.state, world::WorldState::Run);
}

TEST(WorldFrame, PauseHoldsTheCounterAndClocksButNotTheCameraCountdown) {
  WorldFixture f;
  f.Start(kCounter);
  for (int i = 0; i < 4; i++) f.world.RunWorldFrame(nullptr);
  int counter = f.world.stepCounter;
  int time = f.world.gameTime;
  int rest = f.world.restCountdown;
  f.world.paused = 1;
  f.world.camera.countdown = 48;
  for (int i = 0; i < 10; i++) f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(f.world.stepCounter, counter);
  EXPECT_EQ(f.world.gameTime, time);
  EXPECT_EQ(f.world.restCountdown, rest);
  EXPECT_EQ(f.world.camera.countdown, 38);
  EXPECT_EQ(f.world.UpdateEngineSounds(0.0f), 1);
  f.world.paused = 0;
  f.world.timerStopped = 1;
  f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(f.world.stepCounter, counter + 1);
  EXPECT_EQ(f.world.gameTime, time);  // the timer stands
}

TEST(WorldFrame, TheHitPauseCountsDownAndTakesTheLargest) {
  WorldFixture f;
  f.Start(kCounter);
  f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(world::RaiseStoredMax(f.world, 5), 1);
  world::RaiseStoredMax(f.world, 3);
  EXPECT_EQ(f.world.freezeCountdown, 5);
  for (int i = 0; i < 2; i++) f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(f.world.freezeCountdown, 3);
  world::RaiseStoredMax(f.world, -1);
  EXPECT_EQ(f.world.freezeCountdown, 0);
  f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(f.world.freezeCountdown, 0);
}

TEST(WorldFrame, EventSkipRunsAtSpeed10000OnceFaded) {
  WorldFixture f;
  f.frameRate = 60;
  f.Start(kCounter);
  f.world.RunWorldFrame(nullptr);
  f.world.eventMode = -1;
  // The fade climbs 0.05 a step; until it is full the speed stays 1.
  int before = f.Global("steps");
  for (int i = 0; i < 20; i++) f.world.RunWorldFrame(nullptr);
  EXPECT_FLOAT_EQ(f.world.fade.value, 1.0f);
  EXPECT_EQ(f.Global("steps") - before, 20);
  before = f.Global("steps");
  f.world.RunWorldFrame(nullptr);
  // Speed 1 read at the frame's start, 10000 from its first step on: the
  // frame ran 10000 x 60 / 60 steps.
  EXPECT_EQ(f.Global("steps") - before, 10000);
}

TEST(ScreenMessages, LinesAreCutShiftedAndTimed) {
  WorldFixture f;
  auto& lines = f.world.messages;
  std::string longText(200, 'a');
  EXPECT_EQ(world::PushScreenMessage(f.world, longText.c_str()), 127);
  EXPECT_EQ(std::string(lines[0].text), std::string(127, 'a'));
  EXPECT_EQ(lines[0].timer, 420);

  // A newline: the part after it is the newest line, kept whole, whatever
  // the length of the part before it.
  std::string before(150, 'b');
  std::string after(100, 'c');
  world::PushScreenMessage(f.world, (before + "\n" + after).c_str());
  EXPECT_EQ(std::string(lines[0].text), after);
  EXPECT_EQ(std::string(lines[1].text), std::string(127, 'b'));
  EXPECT_EQ(std::string(lines[2].text), std::string(127, 'a'));

  // A two-byte character is never split at the limit.
  std::string sjis = std::string(126, 'd') + test::Sjis("あ");
  world::PushScreenMessage(f.world, sjis.c_str());
  EXPECT_EQ(std::string(lines[0].text), std::string(126, 'd'));

  // The ninth line drops the oldest; timers run down by one a step.
  for (int i = 0; i < 8; i++) world::PushScreenMessage(f.world, std::to_string(i).c_str());
  EXPECT_STREQ(lines[0].text, "7");
  EXPECT_STREQ(lines[7].text, "0");
  f.Start(kCounter);
  for (int i = 0; i < 3; i++) f.world.RunWorldFrame(nullptr);
  EXPECT_EQ(lines[0].timer, 417);
}

}  // namespace
