// world_recorder_test.cpp -- the replay recorder: recording, playback to the
// end of a full recording, markers, look-ahead positions, the replay keys.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "units/units_services.h"
#include "world/world_recorder.h"

namespace {

using world::InputRecorder;

struct StepInput {
  std::array<int32_t, 128> held{}, trigger{}, repeat{};
  std::array<int32_t, 4> analogue{};
  float position[3] = {};
};

// A recorder is 23 MB of lazily zeroed tables: one per test, on the heap.
std::unique_ptr<InputRecorder> MakeRecorder() {
  auto recorder = std::make_unique<InputRecorder>();
  EXPECT_TRUE(recorder->Ready());
  return recorder;
}

TEST(WorldRecorder, AStepPlaysBackAsRecorded) {
  auto r = MakeRecorder();
  StepInput in;
  in.held[0] = 1;
  in.held[31] = 7;  // any non-zero entry is a set bit
  in.held[32] = 1;
  in.held[127] = -1;
  in.trigger[64] = 1;
  in.repeat[100] = 1;
  in.analogue = {-100, 100, 37, -250};  // the last one held to -100
  in.position[0] = 123.9f;
  in.position[1] = -45.7f;
  in.position[2] = 40000.0f;  // beyond int16: held to its edge
  EXPECT_EQ(r->RecordStep(in.held.data(), in.trigger.data(), in.repeat.data(), in.analogue.data(), in.position), 0);
  EXPECT_EQ(r->count, 1);

  StepInput out;
  EXPECT_EQ(r->PlayStep(out.held.data(), out.trigger.data(), out.repeat.data(), out.analogue.data(), out.position), 0);
  for (int i = 0; i < 128; i++) {
    EXPECT_EQ(out.held[i], in.held[i] ? 1 : 0) << i;
    EXPECT_EQ(out.trigger[i], in.trigger[i] ? 1 : 0) << i;
    EXPECT_EQ(out.repeat[i], in.repeat[i] ? 1 : 0) << i;
  }
  EXPECT_EQ(out.analogue, (std::array<int32_t, 4>{-100, 100, 37, -100}));
  EXPECT_EQ(out.position[0], 123.0f);
  EXPECT_EQ(out.position[1], -45.0f);
  EXPECT_EQ(out.position[2], 32767.0f);
  EXPECT_EQ(r->playIndex, 1);
}

// Recording fills all 400,000 steps and refuses the next; the full recording
// then plays from its first step to its last, and playback past the count
// yields no input and keeps the index.
TEST(WorldRecorder, AFullRecorderReplaysToItsEnd) {
  auto r = MakeRecorder();
  StepInput in;
  for (int32_t i = 0; i < InputRecorder::kMaxSteps; i++) {
    in.held.fill(0);
    in.held[i % 128] = 1;
    in.analogue[0] = i % 201 - 100;
    in.position[0] = float(i % 30000);
    ASSERT_EQ(r->RecordStep(in.held.data(), nullptr, nullptr, in.analogue.data(), in.position), i);
  }
  EXPECT_EQ(r->RecordStep(in.held.data(), nullptr, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(r->count, InputRecorder::kMaxSteps);

  r->RewindRecorder(true);  // a replay's reset keeps the steps
  EXPECT_EQ(r->count, InputRecorder::kMaxSteps);
  StepInput out;
  for (int32_t i = 0; i < InputRecorder::kMaxSteps; i++) {
    ASSERT_EQ(r->PlayStep(out.held.data(), nullptr, nullptr, out.analogue.data(), out.position), i);
    if (i % 9973 == 0 || i == InputRecorder::kMaxSteps - 1) {
      EXPECT_EQ(out.held[i % 128], 1) << i;
      EXPECT_EQ(out.held[(i + 1) % 128], 0) << i;
      EXPECT_EQ(out.analogue[0], i % 201 - 100) << i;
      EXPECT_EQ(out.position[0], float(i % 30000)) << i;
    }
  }
  out.held[5] = 1;
  out.analogue[2] = 9;
  out.position[1] = 4.0f;
  EXPECT_EQ(r->PlayStep(out.held.data(), nullptr, nullptr, out.analogue.data(), out.position), -1);
  EXPECT_EQ(r->playIndex, InputRecorder::kMaxSteps);
  EXPECT_EQ(out.held[5], 0);
  EXPECT_EQ(out.analogue[2], 0);
  EXPECT_EQ(out.position[1], 0.0f);
}

TEST(WorldRecorder, PlaybackEndsAtTheRecordedCount) {
  auto r = MakeRecorder();
  StepInput in;
  in.held[2] = 1;
  for (int i = 0; i < 3; i++) r->RecordStep(in.held.data(), nullptr, nullptr, nullptr, nullptr);
  r->RewindRecorder(true);
  StepInput out;
  for (int i = 0; i < 3; i++) EXPECT_EQ(r->PlayStep(out.held.data(), nullptr, nullptr, nullptr, nullptr), i);
  EXPECT_EQ(r->PlayStep(out.held.data(), nullptr, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(out.held[2], 0);
  // A cleared recorder has nothing to play.
  r->RewindRecorder(false);
  EXPECT_EQ(r->count, 0);
  EXPECT_EQ(r->PlayStep(out.held.data(), nullptr, nullptr, nullptr, nullptr), -1);
}

// The marker of a 6-step slot keeps the first destruction; the look-ahead
// walks markers, bounded by the markers the recording can hold.
TEST(WorldRecorder, MarkersKeepTheFirstDestructionOfTheirSlot) {
  auto r = MakeRecorder();
  for (int i = 0; i < 14; i++) r->RecordStep(nullptr, nullptr, nullptr, nullptr, nullptr);  // slot 2
  r->SetRecorderMarker(41);
  r->SetRecorderMarker(42);
  for (int i = 0; i < 12; i++) r->RecordStep(nullptr, nullptr, nullptr, nullptr, nullptr);  // 26: slot 4
  r->SetRecorderMarker(77);
  r->RewindRecorder(true);

  int32_t offset = -5;
  EXPECT_EQ(r->FindRecorderMarker(0, 60, &offset), 41);
  EXPECT_EQ(offset, 12);
  EXPECT_EQ(r->FindRecorderMarker(18, 60, &offset), 77);
  EXPECT_EQ(offset, 6);
  EXPECT_EQ(r->FindRecorderMarker(0, 12, &offset), -1);   // slots 0 and 1 only
  EXPECT_EQ(r->FindRecorderMarker(30, 30, &offset), -1);  // empty range
  EXPECT_EQ(r->FindRecorderMarker(-60, -6, &offset), -1); // before the start
  EXPECT_EQ(r->FindRecorderMarker(-60, 15, nullptr), -1);  // slots 0 and 1
  EXPECT_EQ(r->FindRecorderMarker(-60, 18, nullptr), 41);

  // Rewinding for a new recording clears the markers.
  r->RewindRecorder(false);
  for (int i = 0; i < 30; i++) r->RecordStep(nullptr, nullptr, nullptr, nullptr, nullptr);
  r->RewindRecorder(true);
  EXPECT_EQ(r->FindRecorderMarker(0, 60, &offset), -1);
}

// Ranges far beyond the recording, even to the largest int, stop at the
// last marker slot instead of reading past the marker table.
TEST(WorldRecorder, MarkerSearchIsBoundedByTheMarkerCount) {
  auto r = MakeRecorder();
  for (int32_t i = 0; i < InputRecorder::kMaxSteps; i++) r->RecordStep(nullptr, nullptr, nullptr, nullptr, nullptr);
  r->SetRecorderMarker(9);  // the last slot, 66,666
  r->RewindRecorder(true);
  int32_t offset = 0;
  const int32_t big = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(r->FindRecorderMarker(0, big, &offset), 9);
  EXPECT_EQ(offset, (InputRecorder::kMarkerCount - 1) * 6);
  EXPECT_EQ(r->FindRecorderMarker(InputRecorder::kMaxSteps + 6, big, &offset), -1);
  EXPECT_EQ(r->FindRecorderMarker(big, big, &offset), -1);

  // A short recording never looks at markers past its own end.
  auto s = MakeRecorder();
  for (int i = 0; i < 7; i++) s->RecordStep(nullptr, nullptr, nullptr, nullptr, nullptr);
  s->RewindRecorder(true);
  EXPECT_EQ(s->FindRecorderMarker(0, big, &offset), -1);
}

TEST(WorldRecorder, PositionsAheadOnlyWhileAReplayPlays) {
  auto r = MakeRecorder();
  for (int i = 0; i < 10; i++) {
    float p[3] = {float(i), float(2 * i), float(-i)};
    r->RecordStep(nullptr, nullptr, nullptr, nullptr, p);
  }
  r->RewindRecorder(true);
  float out[3] = {9, 9, 9};
  r->RecorderPositionAt(3, out);  // index 0: no replay step yet
  EXPECT_EQ(out[0], 0.0f);
  for (int i = 0; i < 4; i++) r->PlayStep(nullptr, nullptr, nullptr, nullptr, nullptr);
  r->RecorderPositionAt(3, out);
  EXPECT_EQ(out[0], 7.0f);
  EXPECT_EQ(out[1], 14.0f);
  EXPECT_EQ(out[2], -7.0f);
  r->RecorderPositionAt(6, out);  // step 10 is not recorded
  EXPECT_EQ(out[0], 0.0f);
  r->RecorderPositionAt(-5, out);
  EXPECT_EQ(out[1], 0.0f);
}

// Holding button 1 stops the steps of a frame but never makes the speed 0,
// so the next frame reads the keys again and a release resumes the replay.
TEST(WorldRecorder, ReplayKeys) {
  struct Case {
    int b0, b1, b3;
    int32_t speed;
    bool hold;
  };
  const Case cases[] = {
      {0, 0, 0, 1, false}, {0, 0, 1, 2, false}, {1, 0, 0, 5, false},
      {1, 0, 1, 10, false}, {0, 1, 0, 1, true}, {1, 1, 1, 10, true},
  };
  for (const Case& c : cases) {
    std::array<int32_t, 128> held{};
    held[0] = c.b0;
    held[1] = c.b1;
    held[3] = c.b3;
    world::ReplayKeys keys = world::ReadReplayKeys(held.data());
    EXPECT_EQ(keys.speed, c.speed) << c.b0 << c.b1 << c.b3;
    EXPECT_EQ(keys.hold, c.hold) << c.b0 << c.b1 << c.b3;
  }
  EXPECT_EQ(world::ReadReplayKeys(nullptr).speed, 1);
}

// A recorded PLAYER unit's position during a replay; else its motion.
TEST(WorldRecorder, PredictedPositions) {
  auto r = MakeRecorder();
  for (int i = 0; i < 10; i++) {
    float p[3] = {float(i < 8 ? 100 + i : 0), 5, 6};
    r->RecordStep(nullptr, nullptr, nullptr, nullptr, p);
  }
  r->RewindRecorder(true);
  r->PlayStep(nullptr, nullptr, nullptr, nullptr, nullptr);
  units::Unit unit;
  unit.SetObjectPosition(1, 2, 3);
  unit.velocity = {1, 0, -1};
  unit.flags = units::kUnitPlayer;
  auto at = [&](int n, bool replaying, const InputRecorder* recorder) {
    core::Vec3 p = world::PredictUnitPosition(recorder, replaying, unit, n);
    return std::array<float, 3>{p.x, p.y, p.z};
  };
  EXPECT_EQ(at(2, true, r.get()), (std::array<float, 3>{103, 5, 6}));
  EXPECT_EQ(at(2, false, r.get()), (std::array<float, 3>{3, 2, 1}));
  EXPECT_EQ(at(8, true, r.get()), (std::array<float, 3>{9, 2, -5}));  // recorded x 0
  EXPECT_EQ(at(20, true, r.get()), (std::array<float, 3>{21, 2, -17}));  // beyond the recording
  unit.flags = 0;
  EXPECT_EQ(at(2, true, r.get()), (std::array<float, 3>{3, 2, 1}));
}

}  // namespace
