// world_recorder.cpp -- the replay recorder: recording, playback, markers
// and the replay keys.

#include "world_recorder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "units/units_services.h"

namespace world {

namespace {

template <typename T>
T* AllocZeroed(size_t count) {
  return static_cast<T*>(std::calloc(count, sizeof(T)));
}

// A coordinate truncated toward zero and held to the int16 range (NaN: 0),
// so a unit far outside the usual area still records its side of the origin.
int16_t TruncateToInt16(float value) {
  if (!(value == value)) return 0;
  if (value >= 32767.0f) return 32767;
  if (value <= -32768.0f) return -32768;
  return int16_t(value);
}

void ZeroOutputs(int32_t* held, int32_t* trigger, int32_t* repeat, int32_t* analogue, float* position) {
  for (int32_t* buttons : {held, trigger, repeat})
    if (buttons) std::fill(buttons, buttons + InputRecorder::kButtons, 0);
  if (analogue) std::fill(analogue, analogue + InputRecorder::kAnalogues, 0);
  if (position) std::fill(position, position + 3, 0.0f);
}

void PackBits(uint32_t words[4], const int32_t* buttons) {
  if (!buttons) return;
  for (int i = 0; i < InputRecorder::kButtons; i++)
    if (buttons[i]) words[i / 32] |= uint32_t(1) << (i % 32);
}

void UnpackBits(int32_t* buttons, const uint32_t words[4]) {
  if (!buttons) return;
  for (int i = 0; i < InputRecorder::kButtons; i++) buttons[i] = int32_t((words[i / 32] >> (i % 32)) & 1);
}

}  // namespace

// [SECTION] Recorder

InputRecorder::InputRecorder()
    : steps_(AllocZeroed<RecordedStep>(size_t(kMaxSteps))),
      positions_(AllocZeroed<RecordedPosition>(size_t(kMaxSteps))),
      markers_(AllocZeroed<int16_t>(size_t(kMarkerCount))) {}

int32_t InputRecorder::RecordStep(const int32_t* held, const int32_t* trigger, const int32_t* repeat,
                                  const int32_t* analogue, const float* position) {
  if (!Ready() || count < 0 || count >= kMaxSteps) return -1;
  int32_t index = count;
  RecordedStep& step = steps_[size_t(index)];
  std::memset(&step, 0, sizeof step);
  PackBits(step.held, held);
  PackBits(step.trigger, trigger);
  PackBits(step.repeat, repeat);
  if (analogue)
    for (int k = 0; k < kAnalogues; k++) {
      int32_t v = std::clamp(analogue[k], int32_t(-100), int32_t(100));
      step.analogue |= uint32_t(uint8_t(int8_t(v))) << (8 * k);
    }
  RecordedPosition& at = positions_[size_t(index)];
  at = {0, 0, 0};
  if (position) at = {TruncateToInt16(position[0]), TruncateToInt16(position[1]), TruncateToInt16(position[2])};
  count = index + 1;
  return index;
}

int32_t InputRecorder::PlayStep(int32_t* held, int32_t* trigger, int32_t* repeat, int32_t* analogue,
                                float* position) {
  // Playback ends with the recording: past the recorded count the tables
  // hold nothing of this run, and a full recording plays to its last step.
  if (!Ready() || playIndex < 0 || playIndex >= count) {
    ZeroOutputs(held, trigger, repeat, analogue, position);
    return -1;
  }
  int32_t index = playIndex;
  const RecordedStep& step = steps_[size_t(index)];
  UnpackBits(held, step.held);
  UnpackBits(trigger, step.trigger);
  UnpackBits(repeat, step.repeat);
  if (analogue)
    for (int k = 0; k < kAnalogues; k++) analogue[k] = int32_t(int8_t(uint8_t(step.analogue >> (8 * k))));
  if (position) {
    const RecordedPosition& at = positions_[size_t(index)];
    position[0] = float(at.x);
    position[1] = float(at.y);
    position[2] = float(at.z);
  }
  playIndex = index + 1;
  return index;
}

void InputRecorder::RewindRecorder(bool rewindOnly) {
  playIndex = 0;
  if (rewindOnly || !Ready()) {
    if (!rewindOnly) count = 0;
    return;
  }
  // Only what the last recording can have written is non-zero: its
  // positions and the markers up to the slot of its count.
  int32_t used = std::clamp(count, int32_t(0), kMaxSteps);
  std::memset(positions_.get(), 0, size_t(used) * sizeof(RecordedPosition));
  int32_t markers = std::min(used / kMarkerSpan + 1, kMarkerCount);
  std::memset(markers_.get(), 0, size_t(markers) * sizeof(int16_t));
  count = 0;
}

void InputRecorder::SetRecorderMarker(int32_t value) {
  if (!Ready() || count < 0) return;
  int32_t slot = count / kMarkerSpan;
  if (slot >= kMarkerCount) return;
  if (markers_[size_t(slot)] == 0) markers_[size_t(slot)] = int16_t(value);
}

int32_t InputRecorder::FindRecorderMarker(int32_t from, int32_t to, int32_t* offset) const {
  if (!Ready()) return -1;
  int64_t a = (int64_t(playIndex) + from) / kMarkerSpan;
  int64_t b = (int64_t(playIndex) + to) / kMarkerSpan;
  if (a < 0) a = 0;
  if (b < 0) b = 0;
  if (a >= b) return -1;
  // The slots are markers, so the walk is bounded in markers: the table's
  // length and the last slot the recording can have marked.
  int64_t end = std::min<int64_t>({b, kMarkerCount, int64_t(std::max(count, int32_t(0))) / kMarkerSpan + 1});
  for (int64_t slot = a; slot < end; slot++) {
    int16_t value = markers_[size_t(slot)];
    if (value != 0) {
      if (offset) *offset = int32_t((slot - a) * kMarkerSpan);
      return value;
    }
  }
  return -1;
}

void InputRecorder::RecorderPositionAt(int32_t n, float out[3]) const {
  out[0] = out[1] = out[2] = 0.0f;
  if (!Ready() || playIndex == 0) return;
  int64_t at = int64_t(playIndex) + n;
  if (at < 0 || at >= count) return;
  const RecordedPosition& p = positions_[size_t(at)];
  out[0] = float(p.x);
  out[1] = float(p.y);
  out[2] = float(p.z);
}

// [SECTION] Replay keys

ReplayKeys ReadReplayKeys(const int32_t* held) {
  ReplayKeys keys;
  if (!held) return keys;
  if (held[3]) keys.speed = 2;
  if (held[0]) keys.speed *= 5;
  keys.hold = held[1] != 0;
  return keys;
}

// [SECTION] Prediction

core::Vec3 PredictUnitPosition(const InputRecorder* recorder, bool replaying, units::Unit& unit, int32_t n) {
  if (recorder && replaying && (unit.flags & units::kUnitPlayer)) {
    float at[3];
    recorder->RecorderPositionAt(n, at);
    if (at[0] != 0.0f) return {at[0], at[1], at[2]};
  }
  core::Vec3 p = unit.GetObjectPosition();
  float steps = float(n);
  return {p.x + unit.velocity.x * steps, p.y + unit.velocity.y * steps, p.z + unit.velocity.z * steps};
}

}  // namespace world
