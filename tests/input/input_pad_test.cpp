// input_pad_test.cpp -- the logical pad: hysteresis, repeat, analogue axes,
// groups, keyboard rules, pad mode, setters, learning and refusals.

#include <cstring>
#include <vector>

#include "input/input_local.h"
#include "input_fixture.h"

namespace {

using inputtest::InputTest;

// The raw values and extremes of a slot at one moment.
struct RawRecord {
  explicit RawRecord(const input::InputDeviceSlot* s) {
    std::memcpy(raw, s->raw, sizeof raw);
    std::memcpy(rawMax, s->rawMax, sizeof rawMax);
    std::memcpy(rawMin, s->rawMin, sizeof rawMin);
  }
  bool Same(const input::InputDeviceSlot* s) const {
    return std::memcmp(raw, s->raw, sizeof raw) == 0 && std::memcmp(rawMax, s->rawMax, sizeof rawMax) == 0 &&
           std::memcmp(rawMin, s->rawMin, sizeof rawMin) == 0;
  }
  int16_t raw[input::kRawCodeCount];
  int16_t rawMax[input::kRawCodeCount];
  int16_t rawMin[input::kRawCodeCount];
};

// A script whose pad (device 0) has its X axis at values[i] in frame i + 1.
std::string PadAxisScript(const std::vector<int>& values) {
  std::string s = "pad \"Stick\"\n";
  for (size_t i = 0; i < values.size(); i++)
    s += "at " + std::to_string(i + 1) + " 0 x " + std::to_string(values[i]) + "\n";
  return s;
}

TEST_F(InputTest, HeldStatesFollowTheHysteresis) {
  // Frames 1 and 2 calibrate (0 then full); then the thresholds.
  struct Step {
    int x;
    int held;
  };
  const Step steps[] = {{0, 0},   {1000, 1}, {0, 0},   {450, 0}, {500, 0},
                        {501, 1}, {450, 1},  {400, 1}, {399, 0}, {450, 0}};
  std::vector<int> xs;
  for (const Step& s : steps) xs.push_back(s.x);
  ASSERT_EQ(Open(PadAxisScript(xs)), 0);
  // Logical 3 (right) is a direction; 20 a button on the same raw code.
  input.SetButtonMap(0, 20, 64);
  for (const Step& s : steps) {
    Frames(1);
    EXPECT_EQ(input.GetPadNow(0, 3), s.held) << "x " << s.x;
    EXPECT_EQ(input.GetPadNow(0, 20), s.held) << "x " << s.x;
  }
}

TEST_F(InputTest, TriggerAndReleaseLastOneUpdate) {
  ASSERT_EQ(Open("keyboard\nat 2 0 key 44 down\nat 5 0 key 44 up\n"), 0);
  Frames(2);  // Z (logical 8) goes down
  EXPECT_EQ(input.GetPadTrigger(0, 8), 1);
  EXPECT_EQ(input.Slot(0)->holdCount[8], 1);
  // A further world step in the same frame: no new read, the count goes on.
  input.UpdateInput(1);
  EXPECT_EQ(input.GetPadTrigger(0, 8), 0);
  EXPECT_EQ(input.GetPadNow(0, 8), 1);
  EXPECT_EQ(input.Slot(0)->holdCount[8], 2);
  Frames(3);  // frame 5: up
  EXPECT_EQ(input.GetPadNow(0, 8), 0);
  EXPECT_EQ(input.Slot(0)->release[8], 1);
  EXPECT_EQ(input.Slot(0)->holdCount[8], 0);
  Frames(1);
  EXPECT_EQ(input.Slot(0)->release[8], 0);
}

TEST_F(InputTest, RepeatFiresOnItsScheduleForAsLongAsTheKeyIsHeld) {
  ASSERT_EQ(Open("keyboard\nat 2 0 key 44 down\n"), 0);
  Frames(1);
  std::vector<int> fired;
  for (int k = 1; k <= 1000; k++) {  // k-th update with Z held
    Frames(1);
    if (input.GetPadRepeat(0, 8)) fired.push_back(k);
  }
  std::vector<int> expected{1};
  for (int k = 20; k < 40; k += 5) expected.push_back(k);
  for (int k = 40; k < 60; k += 4) expected.push_back(k);
  for (int k = 60; k <= 1000; k += 3) expected.push_back(k);
  EXPECT_EQ(fired, expected);
  // The first ones as players know them.
  const int firsts[] = {1, 20, 25, 30, 35, 40, 44, 48, 52, 56, 60, 63, 66};
  for (size_t i = 0; i < std::size(firsts); i++) EXPECT_EQ(fired[i], firsts[i]);
  // Past 255 the count cycles in its top three values instead of wrapping.
  EXPECT_GE(input.Slot(0)->holdCount[8], 253);
}

TEST(InputRules, HoldCountSaturatesKeepingTheThreeStepCadence) {
  EXPECT_EQ(input::NextHoldCount(0), 1);
  EXPECT_EQ(input::NextHoldCount(254), 255);
  EXPECT_EQ(input::NextHoldCount(255), 253);
  EXPECT_EQ(input::RepeatFires(19), 0);
  EXPECT_EQ(input::RepeatFires(255), 1);
  EXPECT_EQ(input::RepeatFires(253), 0);
}

TEST_F(InputTest, AnalogueHalfAxesScaleThroughTheDeadZone) {
  struct Case {
    int x;
    int axis;  // GetPadAnalog of logical 80
  };
  const Case cases[] = {{600, 50}, {-600, -50}, {1000, 100}, {-1000, -100}, {200, 0},
                        {199, 0},  {300, 12},   {0, 0}};
  std::string script = "pad \"Stick\"\n";
  int frame = 1;
  for (const Case& c : cases) {
    // Each case after a swing across both ends, so both halves are calibrated.
    script += "at " + std::to_string(frame++) + " 0 x 1000\n";
    script += "at " + std::to_string(frame++) + " 0 x -1000\n";
    script += "at " + std::to_string(frame++) + " 0 x 0\n";
    script += "at " + std::to_string(frame++) + " 0 x " + std::to_string(c.x) + "\n";
  }
  ASSERT_EQ(Open(script), 0);
  input.SetButtonMap(0, 80, 64);
  input.SetButtonMap(0, 81, 65);
  EXPECT_EQ(input.GetDeadZone(0, 0), 200);
  for (const Case& c : cases) {
    Frames(4);
    EXPECT_EQ(input.GetPadAnalog(0, 80), c.axis) << "x " << c.x;
    EXPECT_EQ(input.GetPadAnalog(0, 81), -c.axis) << "x " << c.x;
    // Any other logical button gives its raw value unscaled.
    input.SetButtonMap(0, 40, 64);
    EXPECT_EQ(input.GetPadAnalog(0, 40), c.x > 0 ? c.x : 0);
  }
}

TEST_F(InputTest, BothHalvesFullReadZeroAndGroupsSumToTheLimit) {
  ASSERT_EQ(Open("pad \"A\"\npad \"B\"\n"
                 "at 2 0 button 0 down button 1 down x 800\n"
                 "at 2 1 x 800\n"),
            0);
  Frames(1);
  input.SetButtonMap(0, 82, 0);  // axis 1 from two buttons
  input.SetButtonMap(0, 83, 1);
  input.SetButtonMap(-3, 80, 64);
  input.SetDeadZone(-1, -1, 0);
  Frames(1);
  EXPECT_EQ(input.GetPadAnalog(0, 82), 0);
  EXPECT_EQ(input.GetPadAnalog(0, 80), 80);
  EXPECT_EQ(input.GetPadAnalog(1, 80), 80);
  EXPECT_EQ(input.GetPadAnalog(input::kGroupAll, 80), 100);  // 160, clamped
  EXPECT_EQ(input.GetPadAnalog(input::kGroupKeyboards, 80), 0);
  // Held on both: the group query is 1.
  input.SetButtonMap(-1, 30, 64);
  Frames(1);
  EXPECT_EQ(input.GetPadNow(input::kGroupPads, 30), 1);
  EXPECT_EQ(input.GetPadNow(input::kGroupKeyboards, 30), 0);
}

TEST_F(InputTest, DeadZonesOutOfRangeAreBoundedWhenUsed) {
  ASSERT_EQ(Open("pad \"Stick\"\nat 1 0 x 0\nat 2 0 x 1000\nat 3 0 x 999\nat 4 0 x 0\n"), 0);
  input.SetButtonMap(0, 80, 64);
  input.SetButtonMap(0, 81, 65);
  // Stored as given (the settings file keeps it), used as 999.
  EXPECT_EQ(input.SetDeadZone(0, 0, 1000), 200);
  EXPECT_EQ(input.GetDeadZone(0, 0), 1000);
  Frames(2);
  EXPECT_EQ(input.GetPadAnalog(0, 80), 100);
  input.SetDeadZone(0, 0, 5000);
  Frames(1);
  EXPECT_EQ(input.GetPadAnalog(0, 80), 0);  // 999 is inside the zone
  // A negative dead zone acts as none: the resting axis reads 0.
  input.SetDeadZone(0, 0, -500);
  Frames(1);
  EXPECT_EQ(input.GetPadAnalog(0, 80), 0);
  EXPECT_EQ(input::ScaleHalfAxis(600, 200), 500);
  EXPECT_EQ(input::ScaleHalfAxis(1000, 1000), 1000);
  EXPECT_EQ(input::ScaleHalfAxis(0, -500), 0);
}

TEST_F(InputTest, SetDeadZoneAddressesSlotsAndAxes) {
  EXPECT_EQ(input.SetDeadZone(-1, -1, 300), 0);
  for (int s = 0; s < input::kSlotCount; s++)
    for (int k = 0; k < input::kAxisCount; k++) ASSERT_EQ(input.GetDeadZone(s, k), 300);
  EXPECT_EQ(input.SetDeadZone(2, -1, 400), 0);
  EXPECT_EQ(input.SetDeadZone(-1, 5, 500), 0);
  EXPECT_EQ(input.GetDeadZone(2, 0), 400);
  EXPECT_EQ(input.GetDeadZone(3, 0), 300);
  EXPECT_EQ(input.GetDeadZone(7, 5), 500);
  EXPECT_EQ(input.SetDeadZone(2, 5, 600), 500);
}

TEST_F(InputTest, KeyboardEnterConfirmsAndBackspaceOrEscCancel) {
  ASSERT_EQ(Open("keyboard\n"
                 "at 2 0 key 28 down\n"
                 "at 4 0 key 28 up key 14 down\n"
                 "at 6 0 key 14 up key 1 down\n"
                 "at 8 0 key 1 up\n"),
            0);
  struct Expect {
    int b8, b9;
  };
  const Expect frames[] = {{0, 0}, {1, 0}, {1, 0}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 0}};
  for (const Expect& e : frames) {
    Frames(1);
    EXPECT_EQ(input.GetPadNow(0, 8), e.b8);
    EXPECT_EQ(input.GetPadNow(0, 9), e.b9);
  }
  EXPECT_EQ(input.GetPadNow(0, 64), 0);  // Esc, system key 64, is up again
}

TEST_F(InputTest, EnterConfirmsEvenWhileTheMappedKeyIsUpButNotWhenUnmapped) {
  ASSERT_EQ(Open("keyboard\nat 2 0 key 44 down\nat 3 0 key 28 down\nat 4 0 key 44 up\n"), 0);
  Frames(2);
  EXPECT_EQ(input.GetPadTrigger(0, 8), 1);
  Frames(2);  // Z up, Enter still down: no release, no second trigger
  EXPECT_EQ(input.GetPadNow(0, 8), 1);
  EXPECT_EQ(input.GetPadTrigger(0, 8), 0);
  EXPECT_EQ(input.Slot(0)->holdCount[8], 3);
  input.ClearInputState(0);
  input.SetButtonMap(0, 8, input::kUnmapped);
  Frames(1);
  EXPECT_EQ(input.GetPadNow(0, 8), 0);
}

TEST_F(InputTest, UnmappedDirectionsLetGoWhileUnmappedButtonsKeepTheirState) {
  ASSERT_EQ(Open("keyboard\nat 2 0 key 200 down key 44 down\n"), 0);
  Frames(2);
  ASSERT_EQ(input.GetPadNow(0, 0), 1);
  ASSERT_EQ(input.GetPadNow(0, 8), 1);
  input.SetButtonMap(0, 0, input::kUnmapped);
  input.SetButtonMap(0, 8, input::kUnmapped);
  Frames(1);
  EXPECT_EQ(input.GetPadNow(0, 0), 0);
  EXPECT_EQ(input.Slot(0)->release[0], 1);
  EXPECT_EQ(input.GetPadNow(0, 8), 1);
}

TEST_F(InputTest, HatDrivesTheDirectionsInPadMode) {
  ASSERT_EQ(Open("pad \"Hat\" type 5\nat 2 0 hat 4500\nat 3 0 hat -1\nat 5 0 hat 4500\n"), 0);
  Frames(2);
  EXPECT_EQ(input.GetPadNow(0, 0), 1);  // up
  EXPECT_EQ(input.GetPadNow(0, 3), 1);  // right
  EXPECT_EQ(input.GetPadNow(0, 1), 0);
  EXPECT_EQ(input.GetPadNow(0, 2), 0);
  Frames(1);
  EXPECT_EQ(input.GetPadNow(0, 0), 0);
  EXPECT_EQ(input.SetPadMode(0, 0), 0);
  Frames(2);
  EXPECT_EQ(Raw(0, input::kRawHatUp), 707);
  EXPECT_EQ(input.GetPadNow(0, 0), 0);
  input.SetPadMode(-1, 1);
  Frames(1);
  EXPECT_EQ(input.GetPadNow(0, 0), 1);
}

TEST_F(InputTest, LearningTakesThePressedKeyAndSwaps) {
  ASSERT_EQ(Open("keyboard\nat 2 0 key 28 down key 44 down\n"), 0);
  Frames(2);
  // Logical 20 is unmapped, Z belongs to 8.
  RawRecord before(input.Slot(0));
  input.LearnButtonMap(0, 20);
  EXPECT_EQ(input.GetButtonMap(0, 20), 44);
  EXPECT_EQ(input.GetButtonMap(0, 8), input::kUnmapped);
  // Learning reads into scratch: the slot's values and extremes stay.
  EXPECT_TRUE(before.Same(input.Slot(0)));
  // Learning again with the code already on the button changes nothing.
  input.LearnButtonMap(0, 20);
  EXPECT_EQ(input.GetButtonMap(0, 20), 44);
}

TEST_F(InputTest, LearningIgnoresReservedCodesAndUncalibratedKeys) {
  ASSERT_EQ(Open("keyboard\n"
                 "at 0 0 key 30 down\n"  // A held since start-up: never seen up
                 "at 2 0 key 200 down key 14 down\n"
                 "pad \"Stick\"\n"
                 "at 2 1 x 1000 y -1000 button 5 down button 3 down\n"),
            0);
  Frames(2);
  input.LearnButtonMap(0, 20);
  EXPECT_EQ(input.GetButtonMap(0, 20), input::kUnmapped);  // arrows, Backspace, A all left out
  // On a pad the X and Y axes are left out; the lowest code pressed wins.
  input.LearnButtonMap(1, 8);
  EXPECT_EQ(input.GetButtonMap(1, 8), 3);
  EXPECT_EQ(input.GetButtonMap(1, 11), 0);  // had button 4 (code 3), took button 1
  // Without a device nothing is read and nothing changes.
  input.LearnButtonMap(5, 8);
  EXPECT_EQ(input.GetButtonMap(5, 8), input::kUnmapped);
}

TEST_F(InputTest, SlotsAbove7AndButtonsOutside0To127AreRefused) {
  ASSERT_EQ(Open("keyboard\nat 2 0 key 44 down\n"), 0);
  Frames(2);
  const int badSlots[] = {8, 9, 100, 1 << 30};
  for (int slot : badSlots) {
    EXPECT_EQ(input.GetPadNow(slot, 8), 0);
    EXPECT_EQ(input.GetPadTrigger(slot, 8), 0);
    EXPECT_EQ(input.GetPadRepeat(slot, 8), 0);
    EXPECT_EQ(input.GetPadAnalog(slot, 80), 0);
    EXPECT_EQ(input.GetButtonMap(slot, 8), input::kUnmapped);
    EXPECT_EQ(input.SetButtonMap(slot, 8, 3), 0);
    EXPECT_EQ(input.SetDeadZone(slot, 0, 3), 0);
    EXPECT_EQ(input.GetDeadZone(slot, 0), 0);
    EXPECT_EQ(input.SetPadMode(slot, 0), 0);
    EXPECT_EQ(input.SetDeviceEnabled(slot, 0), 0);
    EXPECT_STREQ(input.GetRawCodeName(slot, 44), "");
    EXPECT_STREQ(input.GetDeviceName(slot), "");
    EXPECT_EQ(input.GetDeviceKind(slot), 0);
    EXPECT_EQ(input.Slot(slot), nullptr);
    input.LearnButtonMap(slot, 8);
    input.ClearInputState(slot);
    input.UpdateDeviceSlot(slot, 0);
  }
  const int badButtons[] = {-1, 128, 255, -1000};
  for (int b : badButtons) {
    EXPECT_EQ(input.GetPadNow(0, b), 0);
    EXPECT_EQ(input.GetPadNow(-1, b), 0);
    EXPECT_EQ(input.GetPadTrigger(-1, b), 0);
    EXPECT_EQ(input.GetPadRepeat(-1, b), 0);
    EXPECT_EQ(input.GetPadAnalog(-1, b), 0);
    EXPECT_EQ(input.GetButtonMap(0, b), input::kUnmapped);
    EXPECT_EQ(input.SetButtonMap(0, b, 3), 0);
    EXPECT_EQ(input.SetButtonMap(-1, b, 3), 0);
    input.LearnButtonMap(0, b);
  }
  // Nothing above changed the keyboard.
  EXPECT_EQ(input.GetButtonMap(0, 8), 44);
  EXPECT_EQ(input.GetPadNow(0, 8), 1);
  EXPECT_EQ(input.GetDeadZone(0, 0), input::kDefaultDeadZone);
  // A raw code outside 0..255 unmaps; the old code comes back.
  EXPECT_EQ(input.SetButtonMap(0, 8, 300), 44);
  EXPECT_EQ(input.SetButtonMap(0, 8, -1), 255);
  EXPECT_EQ(input.GetButtonMap(0, 8), input::kUnmapped);
}

TEST_F(InputTest, ClearInputStateZeroesOneSlotOrAll) {
  ASSERT_EQ(Open("keyboard\npad \"P\"\nat 2 0 key 44 down\nat 2 1 button 0 down\n"), 0);
  Frames(2);
  input.ClearInputState(1);
  EXPECT_EQ(input.GetPadNow(1, 8), 0);
  EXPECT_EQ(input.GetPadNow(0, 8), 1);
  input.ClearInputState(-1);
  EXPECT_EQ(input.GetPadNow(0, 8), 0);
  EXPECT_EQ(input.Slot(0)->holdCount[8], 0);
  // The next update sees the held key as newly pressed.
  Frames(1);
  EXPECT_EQ(input.GetPadTrigger(-1, 8), 1);
}

TEST_F(InputTest, RawCodeNamesByDeviceKind) {
  ASSERT_EQ(Open("keyboard\npad \"P\"\n"), 0);
  struct Name {
    int slot, code;
    const char* utf8;
  };
  const Name names[] = {
      {0, 1, "ESC"},       {0, 14, "Back"},    {0, 43, "\\"},     {0, 56, "L-Atl"},
      {0, 184, "R-Atl"},   {0, 200, "[UP]"},   {0, 203, "[LEFT]"}, {0, 205, "[RIGHT]"},
      {0, 208, "[DOWN]"},  {0, 157, "R-Ctrl"}, {0, 211, "Del"},     {0, 112, "カナ"},
      {0, 121, "変換"},    {0, 123, "無変換"}, {0, 148, "漢字"},    {0, 237, "Media"},
      {0, 0, ""},          {0, 84, ""},        {0, 255, ""},
      {1, 0, "Button1"},   {1, 31, "Button32"}, {1, 32, ""},        {1, 64, "X axis +"},
      {1, 77, "Z rot -"},  {1, 83, "Slider2-"}, {1, 96, "POV-Up"},  {1, 99, "POV-Right"},
      {1, 200, ""},
      {5, 96, "POV-Up"},   {5, 200, ""},  // a free slot reads as a pad
      {0, 256, ""},        {0, -1, ""},
  };
  for (const Name& n : names)
    EXPECT_EQ(std::string(input.GetRawCodeName(n.slot, n.code)), test::Sjis(n.utf8)) << n.slot << " " << n.code;
  int keyboardNames = 0, padNames = 0;
  for (int c = 0; c < input::kRawCodeCount; c++) {
    if (*input.GetRawCodeName(0, c)) keyboardNames++;
    if (*input.GetRawCodeName(1, c)) padNames++;
  }
  EXPECT_EQ(keyboardNames, 144);
  EXPECT_EQ(padNames, 52);
}

}  // namespace
