// input_devices_test.cpp -- enumeration into the slots with its log lines,
// set-up failures, reading and calibration, enabling, lost devices and
// PollDevice.

#include <cstring>

#include "input_fixture.h"

namespace {

using inputtest::InputTest;

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
  return n;
}

// The position of each part in order, or npos when one is missing or out of
// order.
bool InOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& p : parts) {
    at = text.find(p, at);
    if (at == std::string::npos) return false;
    at += p.size();
  }
  return true;
}

TEST_F(InputTest, EnumerationLogsEveryDeviceInShiftJis) {
  ASSERT_EQ(Open("pad \"Flight Stick\"\n"
                 "keyboard\n"
                 "pad \"Game Pad\" type 5 id 0x1234\n"),
            0);
  std::string log = Log();
  using test::Sjis;
  EXPECT_TRUE(InOrder(log, {
                               Sjis("--------- 入力デバイスを列挙します --------\r\n"),
                               Sjis("--------- キーボードを列挙します --------\r\n"),
                               Sjis("--- 入力デバイスが見つかりました ---\r\n"),
                               "Instance[Keyboard]-[2]\r\n",
                               "Product [Keyboard]-[",
                               "DeviceType [3]\r\n",
                               Sjis("デバイスID[0]に登録します\r\n"),
                               Sjis("キーボードデバイス\r\n"),
                               Sjis("キーボードデバイスを登録しました。\r\n"),
                               Sjis("--------- ゲームパッドを列挙します --------\r\n"),
                               "Instance[Flight Stick]-[1]\r\n",
                               "DeviceType [4]\r\n",
                               Sjis("デバイスID[1]に登録します\r\n"),
                               Sjis("ジョイスティックデバイス\r\n"),
                               Sjis("ジョイスティックデバイスを登録しました。\r\n"),
                               "Instance[Game Pad]-[1234]\r\n",
                               "DeviceType [5]\r\n",
                               Sjis("デバイスID[2]に登録します\r\n"),
                               Sjis("その他のデバイス\r\n"),
                               Sjis("その他のデバイスを登録しました。\r\n"),
                               Sjis("--------- 入力デバイスの列挙終了 --------\r\n"),
                           }))
      << log;
  // Keyboards take the lowest slots whatever the order of declaration.
  EXPECT_STREQ(input.GetDeviceName(0), "Keyboard");
  EXPECT_STREQ(input.GetDeviceName(1), "Flight Stick");
  EXPECT_STREQ(input.GetDeviceName(2), "Game Pad");
  EXPECT_STREQ(input.GetDeviceName(3), "");
  EXPECT_EQ(input.GetDeviceKind(0), input::kKindKeyboard);
  EXPECT_EQ(input.GetDeviceKind(2), input::kKindPad);
  EXPECT_EQ(input.GetDeviceKind(3), input::kKindPad);  // a free slot reads as a pad
}

TEST_F(InputTest, DefaultMapsByDeviceType) {
  ASSERT_EQ(Open("keyboard\npad \"Stick\"\npad \"Other\" type 6\n"), 0);
  const int keyboard[][2] = {{0, 200}, {1, 208}, {2, 203}, {3, 205}, {8, 44},  {9, 45},  {10, 46},
                             {11, 47}, {12, 30}, {13, 31}, {14, 32}, {15, 33}, {64, 1},  {65, 57},
                             {66, 157}, {67, 29}, {68, 59}, {69, 60}, {70, 61}, {71, 62}};
  const int stick[][2] = {{0, 67}, {1, 66}, {2, 65}, {3, 64}, {8, 0},  {9, 1},
                          {10, 2}, {11, 3}, {12, 4}, {13, 5}, {14, 6}, {15, 7}};
  const int other[][2] = {{8, 0}, {9, 1}};
  auto check = [&](int slot, const int (*map)[2], size_t n) {
    int mapped = 0;
    for (int b = 0; b < input::kLogicalButtonCount; b++)
      if (input.GetButtonMap(slot, b) != input::kUnmapped) mapped++;
    EXPECT_EQ(mapped, int(n)) << slot;
    for (size_t i = 0; i < n; i++) EXPECT_EQ(input.GetButtonMap(slot, map[i][0]), map[i][1]) << slot;
  };
  check(0, keyboard, std::size(keyboard));
  check(1, stick, std::size(stick));
  check(2, other, std::size(other));
  for (int k = 0; k < input::kAxisCount; k++) EXPECT_EQ(input.GetDeadZone(1, k), 200);
}

TEST_F(InputTest, ANinthDeviceStopsTheEnumeration) {
  std::string script;
  for (int i = 0; i < 10; i++) script += "pad \"Pad " + std::to_string(i) + "\"\n";
  ASSERT_EQ(Open(script), 0);
  for (int s = 0; s < input::kSlotCount; s++) EXPECT_EQ(input.GetDeviceName(s), "Pad " + std::to_string(s));
  std::string log = Log();
  EXPECT_EQ(Count(log, test::Sjis("--- 入力デバイスが見つかりました ---")), 9u);
  EXPECT_NE(log.find("Instance[Pad 8]"), std::string::npos);
  EXPECT_EQ(log.find("Instance[Pad 9]"), std::string::npos);
  EXPECT_EQ(log.find(test::Sjis("デバイスID[8]")), std::string::npos);
}

TEST_F(InputTest, ADeviceReportedTwiceIsRegisteredOnce) {
  ASSERT_EQ(Open("pad \"Twin\" id 7\npad \"Twin\" id 7\npad \"Twin\" id 8\n"), 0);
  EXPECT_STREQ(input.GetDeviceName(0), "Twin");
  EXPECT_STREQ(input.GetDeviceName(1), "Twin");  // the one with id 8
  EXPECT_STREQ(input.GetDeviceName(2), "");
  EXPECT_EQ(Count(Log(), test::Sjis("既に登録済みなので登録しません")), 1u);
}

TEST_F(InputTest, ADeviceThatFailsSetUpLeavesItsSlotFreeForTheNext) {
  struct Case {
    const char* declaration;
    const char* utf8Line;
  };
  const Case cases[] = {
      {"keyboard \"Broken\" fail create", "DirectInputDeviceの作成に失敗しました\r\n"},
      {"keyboard \"Broken\" fail format", "データフォーマット設定に失敗しました\r\n"},
      {"keyboard \"Broken\" fail cooperative", "バックグラウンド動作設定に失敗しました\r\n"},
      {"pad \"Broken\" fail create", "DirectInputDeviceの作成に失敗しました\r\n"},
      {"pad \"Broken\" fail format", "データフォーマット設定に失敗しました\r\n"},
      {"pad \"Broken\" fail cooperative", "バックグラウンド動作に失敗しました\r\n"},
      {"keyboard \"Mouse\" type 2", "ポインティングデバイスは登録されません。\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.declaration);
    test::ScopedWorkFolder folder;
    core::LogSystem caseLog("system.log", 0);
    {
      input::InputSystem in;
      in.log = &caseLog;
      test::WriteFile("input.txt", std::string(c.declaration) + "\n");
      inputtest::ScopedEnv env("TKW4_INPUT_SCRIPT", "input.txt");
      ASSERT_EQ(in.InitDirectInput(nullptr), 0);
      // The failed device leaves no name behind for the pad matching.
      for (int s = 0; s < input::kSlotCount; s++) EXPECT_STREQ(in.GetDeviceName(s), "") << s;
      EXPECT_EQ(in.PollDevice(0, nullptr), 0);
    }
    EXPECT_NE(test::ReadFile("system.log").find(test::Sjis(c.utf8Line)), std::string::npos);
  }
  // A free slot is offered to the next device found.
  ASSERT_EQ(Open("keyboard \"Broken\" fail format\npad \"Good\"\n"), 0);
  EXPECT_STREQ(input.GetDeviceName(0), "Good");
}

TEST_F(InputTest, AKeyHeldAtStartReadsZeroUntilReleased) {
  ASSERT_EQ(Open("keyboard\nat 0 0 key 57 down\nat 5 0 key 57 up\nat 8 0 key 57 down\n"), 0);
  for (int f = 1; f <= 10; f++) {
    Frames(1);
    int expected = f >= 8 ? 1000 : 0;
    EXPECT_EQ(Raw(0, 57), expected) << "frame " << f;
    EXPECT_EQ(input.GetPadNow(0, 65), expected ? 1 : 0) << "frame " << f;  // Space
  }
}

TEST_F(InputTest, AnAxisRestingAtItsEndReadsZeroUntilMovedAcrossHalfTheScale) {
  ASSERT_EQ(Open("pad \"Throttle\"\nat 0 0 slider1 1000\nat 3 0 slider1 600\nat 4 0 slider1 400\n"
                 "at 5 0 slider1 1000\n"),
            0);
  // 1000 down to 400 is the first span of 500 or more.
  const int expected[] = {0, 0, 0, 400, 1000};
  for (int e : expected) {
    Frames(1);
    EXPECT_EQ(Raw(0, 80), e);
  }
}

TEST_F(InputTest, PadControlsReadOnTheirRawCodes) {
  // Frame 1 rests every control at 0, frame 2 moves them.
  ASSERT_EQ(Open("pad \"Full\"\n"
                 "at 2 0 x 1000 y -700 z 600 rx -1000 ry 800 rz -900 slider1 1000 slider2 -1000\n"
                 "at 2 0 button 0 down button 31 down button 32 down\n"),
            0);
  Frames(2);
  struct Code {
    int code, value;
  };
  const Code codes[] = {{64, 1000}, {65, 0},    {66, 0},    {67, 700},  {68, 600}, {69, 0},
                        {72, 0},    {73, 1000}, {74, 800},  {75, 0},    {76, 0},   {77, 900},
                        {80, 1000}, {81, 0},    {82, 0},    {83, 1000}, {0, 1000}, {31, 1000},
                        {32, 0},    {70, 0},    {255, 0}};
  for (const Code& c : codes) EXPECT_EQ(Raw(0, c.code), c.value) << c.code;
}

TEST_F(InputTest, HatDirectionsReadAsCosineAndSine) {
  struct Case {
    int pov;
    int up, down, left, right;
  };
  const Case cases[] = {
      {-1, 0, 0, 0, 0}, {0, 1000, 0, 0, 0}, {4500, 707, 0, 0, 707}, {9000, 0, 0, 0, 1000},
      {13500, 0, 707, 0, 707}, {22500, 0, 707, 707, 0}, {31500, 707, 0, 707, 0},
  };
  std::string script = "pad \"Hat\"\n";
  int frame = 1;
  for (const Case& c : cases) {
    // Centre before each, so every direction is calibrated from 0.
    script += "at " + std::to_string(frame++) + " 0 hat -1\n";
    script += "at " + std::to_string(frame++) + " 0 hat " + std::to_string(c.pov) + "\n";
  }
  ASSERT_EQ(Open(script), 0);
  for (const Case& c : cases) {
    Frames(2);
    EXPECT_EQ(Raw(0, input::kRawHatUp), c.up) << c.pov;
    EXPECT_EQ(Raw(0, input::kRawHatDown), c.down) << c.pov;
    EXPECT_EQ(Raw(0, input::kRawHatLeft), c.left) << c.pov;
    EXPECT_EQ(Raw(0, input::kRawHatRight), c.right) << c.pov;
  }
}

TEST_F(InputTest, ADisabledKeyboardReadsZerosAndKeepsItsCalibration) {
  ASSERT_EQ(Open("keyboard\npad \"P\"\nat 2 0 key 44 down key 28 down\nat 2 1 button 0 down\n"), 0);
  Frames(1);
  EXPECT_EQ(input.SetDeviceEnabled(input::kGroupKeyboards, 0), 0);
  Frames(3);
  for (int c = 0; c < input::kRawCodeCount; c++) ASSERT_EQ(Raw(0, c), 0) << c;
  EXPECT_EQ(input.Slot(0)->rawMax[44], 0);  // the extremes did not move
  EXPECT_EQ(input.GetPadNow(0, 8), 0);
  EXPECT_EQ(input.GetPadNow(1, 8), 1);      // pads go on in the background
  // Focus back: the keys read at once.
  EXPECT_EQ(input.SetDeviceEnabled(0, 1), 0);
  Frames(1);
  EXPECT_EQ(Raw(0, 44), 1000);
  EXPECT_EQ(input.GetPadTrigger(0, 8), 1);
}

TEST_F(InputTest, ALostDeviceIsLoggedOnceAndAcquiredAgain) {
  ASSERT_EQ(Open("keyboard\npad \"P\"\n"
                 "at 1 0 key 44 up\n"
                 "at 2 0 key 44 down\n"
                 "at 2 1 button 0 down\n"
                 "at 4 0 lost\n"
                 "at 6 1 unplug\n"
                 "at 100 1 plug\n"),
            0);
  Frames(3);
  EXPECT_EQ(input.GetPadNow(0, 8), 1);
  Frames(1);  // frame 4: the keyboard's read fails, reads zero
  EXPECT_EQ(Raw(0, 44), 0);
  EXPECT_EQ(input.GetPadNow(0, 8), 0);
  Frames(1);  // acquired again
  EXPECT_EQ(Raw(0, 44), 1000);
  EXPECT_EQ(input.GetPadTrigger(0, 8), 1);

  Frames(50);  // the pad is gone from frame 6 on
  EXPECT_EQ(Raw(1, 0), 0);
  Frames(50);  // back at frame 100
  EXPECT_EQ(Raw(1, 0), 1000);
  std::string log = Log();
  EXPECT_EQ(Count(log, test::Sjis("キーボードデバイスが入力フォーカスを失いました。復帰を試みます。\r\n")), 1u);
  EXPECT_EQ(Count(log, test::Sjis("ゲームコントローラが入力フォーカスを失いました。復帰を試みます。\r\n")), 1u);
}

TEST_F(InputTest, PollDeviceReadsTheFirstDeviceOfAGroupWithTheSlotsCalibration) {
  ASSERT_EQ(Open("pad \"P\"\nkeyboard\nat 2 0 x 1000\nat 2 1 key 211 down\n"), 0);
  Frames(2);
  input::InputRawBuffer buffer;
  std::memset(&buffer, 0x55, sizeof buffer);  // whatever the caller had there
  EXPECT_EQ(input.PollDevice(input::kGroupKeyboards, &buffer), 1);
  EXPECT_EQ(buffer.raw[211], 1000);
  EXPECT_EQ(buffer.raw[44], 0);
  std::memset(&buffer, 0x55, sizeof buffer);
  EXPECT_EQ(input.PollDevice(input::kGroupPads, &buffer), 1);
  EXPECT_EQ(buffer.raw[64], 1000);
  EXPECT_EQ(buffer.raw[211], 0);
  // A pad read alone into the slot itself.
  EXPECT_EQ(input.PollDevice(1, nullptr), 1);
  EXPECT_EQ(Raw(1, 64), 1000);
  // No device there: 0, and the buffer reads zeros.
  std::memset(&buffer, 0x55, sizeof buffer);
  EXPECT_EQ(input.PollDevice(4, &buffer), 0);
  for (int c = 0; c < input::kRawCodeCount; c++) ASSERT_EQ(buffer.raw[c], 0);
  EXPECT_EQ(input.PollDevice(9, &buffer), 0);
  EXPECT_EQ(input.PollDeviceState(4, &buffer), 1);
  EXPECT_EQ(input.PollDeviceState(0, &buffer), 0);
}

TEST_F(InputTest, ABrokenInputScriptFailsTheStartWithABoxAndAClearLogLine) {
  test::MessageBoxRecorder boxes;
  EXPECT_EQ(Open("keyboard\npad \"P\"\nat 3 1 key 44 down\n"), 1);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("DirectInput8の初期化に失敗しました。"));
  EXPECT_EQ(boxes.Boxes()[0].caption, "");
  EXPECT_EQ(boxes.Boxes()[0].flags & platform::kMbIconMask, platform::kMbIconError);
  EXPECT_NE(Log().find("input script \"input.txt\" line 3: device 1 is not a keyboard"), std::string::npos)
      << Log();
  // Every query reads zeros; the program goes on.
  Frames(3);
  for (int s = 0; s < input::kSlotCount; s++) EXPECT_STREQ(input.GetDeviceName(s), "");
  EXPECT_EQ(input.GetPadNow(-1, 8), 0);
}

TEST_F(InputTest, DestructionReleasesEveryDevice) {
  ASSERT_EQ(Open("keyboard\npad \"P\"\npad \"Q\"\n"), 0);
  input.DestroyInputSystem();
  for (int s = 0; s < input::kSlotCount; s++) EXPECT_EQ(input.Slot(s)->device, nullptr);
  Frames(2);  // reads after release give zeros, never touch a freed device
  EXPECT_EQ(input.GetPadNow(-1, 8), 0);
}

}  // namespace
