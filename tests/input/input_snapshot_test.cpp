// input_snapshot_test.cpp -- the per-step snapshot of the logical pad over
// every device.

#include <cstring>

#include "input_fixture.h"

namespace {

using inputtest::InputTest;

TEST(InputSnapshot, WithoutDevicesEverythingReadsZero) {
  input::InputSystem input;
  input.UpdateInput(0);
  input::InputSnapshot s;
  std::memset(&s, 0x7F, sizeof s);
  input.SnapshotInput(&s);
  for (int b = 0; b < input::kLogicalButtonCount; b++) {
    ASSERT_EQ(s.held[b], 0);
    ASSERT_EQ(s.trigger[b], 0);
    ASSERT_EQ(s.repeat[b], 0);
  }
  for (int k = 0; k < 3; k++) {
    EXPECT_EQ(s.axesA[k], 0.0f);
    EXPECT_EQ(s.axesB[k], 0.0f);
  }
}

TEST_F(InputTest, SnapshotMergesEveryDevice) {
  ASSERT_EQ(Open("keyboard\npad \"P\"\n"
                 "at 2 0 key 44 down\n"   // Z: logical 8 on the keyboard
                 "at 2 1 button 0 down\n"  // button 1: logical 8 on the pad
                 "at 3 1 button 1 down\n"),
            0);
  Frames(2);
  input::InputSnapshot s;
  input.SnapshotInput(&s);
  EXPECT_EQ(s.held[8], 1);
  EXPECT_EQ(s.trigger[8], 1);
  EXPECT_EQ(s.repeat[8], 1);
  EXPECT_EQ(s.held[9], 0);
  Frames(1);
  input.SnapshotInput(&s);
  EXPECT_EQ(s.held[8], 1);
  EXPECT_EQ(s.trigger[8], 0);
  EXPECT_EQ(s.repeat[8], 0);
  EXPECT_EQ(s.trigger[9], 1);
  int held = 0;
  for (int b = 0; b < input::kLogicalButtonCount; b++) held += s.held[b];
  EXPECT_EQ(held, 2);
}

TEST_F(InputTest, SnapshotAxesAndTheHalvingOfAxis4) {
  // The pad's X rotation (raw 72/73) drives axis 4 through 90/91, Y
  // rotation axis 3 through 88/89; dead zones 0.
  ASSERT_EQ(Open("pad \"P\"\n"
                 "at 2 0 rx 1000 x -500 slider2 1000\n"
                 "at 3 0 ry 1000\n"
                 "at 4 0 ry 0 button 2 down\n"),
            0);
  input.SetButtonMap(0, 90, 72);
  input.SetButtonMap(0, 91, 73);
  input.SetButtonMap(0, 88, 74);
  input.SetButtonMap(0, 89, 75);
  input.SetButtonMap(0, 80, 64);
  input.SetButtonMap(0, 81, 65);
  input.SetButtonMap(0, 92, 82);
  input.SetButtonMap(0, 93, 83);
  input.SetDeadZone(-1, -1, 0);
  Frames(2);
  float a[3], b[3];
  input.SnapshotInput(nullptr, nullptr, nullptr, a, b);
  EXPECT_FLOAT_EQ(a[0], -0.5f);
  EXPECT_FLOAT_EQ(a[1], 0.0f);
  EXPECT_FLOAT_EQ(b[0], 0.0f);
  EXPECT_FLOAT_EQ(b[1], 1.0f);
  EXPECT_FLOAT_EQ(b[2], 1.0f);
  Frames(1);  // 88 held: axis 4 halved
  input.SnapshotInput(nullptr, nullptr, nullptr, a, b);
  EXPECT_FLOAT_EQ(b[0], 1.0f);
  EXPECT_FLOAT_EQ(b[1], 0.5f);
  // 89 held (mapped to a button) halves it too.
  input.SetButtonMap(0, 89, 2);
  Frames(1);
  input.SnapshotInput(nullptr, nullptr, nullptr, a, b);
  EXPECT_FLOAT_EQ(b[1], 0.5f);
  EXPECT_FLOAT_EQ(b[0], -1.0f);  // 89 at full is the negative half of axis 3
}

TEST_F(InputTest, SnapshotOutputsAreOptionalAndWrittenWhole) {
  ASSERT_EQ(Open("keyboard\nat 2 0 key 44 down\n"), 0);
  Frames(2);
  int32_t held[input::kLogicalButtonCount];
  std::memset(held, 0x7F, sizeof held);
  input.SnapshotInput(held, nullptr, nullptr, nullptr, nullptr);
  for (int b = 0; b < input::kLogicalButtonCount; b++) ASSERT_EQ(held[b], b == 8 ? 1 : 0) << b;
  int32_t trigger[input::kLogicalButtonCount];
  input.SnapshotInput(nullptr, trigger, nullptr, nullptr, nullptr);
  EXPECT_EQ(trigger[8], 1);
  float onlyB[3] = {9, 9, 9};
  input.SnapshotInput(nullptr, nullptr, nullptr, nullptr, onlyB);
  EXPECT_EQ(onlyB[0], 0.0f);
}

}  // namespace
