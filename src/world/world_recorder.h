// world_recorder.h -- the replay recorder: a run's input kept step by step,
// and the small records of the world that the world queries work on.
//
// The recorder keeps every step's input in memory so that the next run can
// play it back: the world restarts its random sequence from seed 0 at every
// reset, so the same input gives the same game. Nothing goes to disk.
//
// - Recording: StepInput calls RecordStep once per step while no replay
//   plays; a full recorder refuses further steps and the run goes on.
// - Playback: the reset rewinds the playback index (RewindRecorder with
//   rewindOnly) and StepInput calls PlayStep once per step; playback ends at
//   the recorded count, a full recording included.
// - Markers: one per 6 steps, the handle of the first counted unit destroyed
//   in them; the cameras look ahead for the next destruction through
//   FindRecorderMarker.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/core_public.h"

namespace units {
struct Unit;
}

namespace world {

// One step's input: 128 logical buttons as bits (bit i of word i / 32) held,
// triggered and repeating, and the four analogue values as signed bytes
// (value x 100 truncated, -100 to 100), byte k of the word for value k.
struct RecordedStep {
  uint32_t held[4];
  uint32_t trigger[4];
  uint32_t repeat[4];
  uint32_t analogue;
};
static_assert(sizeof(RecordedStep) == 13 * 4, "a step record is 13 words");

// The player unit's world position at that step, truncated to whole units.
struct RecordedPosition {
  int16_t x, y, z;
};
static_assert(sizeof(RecordedPosition) == 6, "a position record is three int16");

class InputRecorder {
 public:
  static constexpr int32_t kMaxSteps = 400000;
  static constexpr int32_t kMarkerSpan = 6;  // steps per marker
  static constexpr int32_t kMarkerCount = (kMaxSteps + kMarkerSpan - 1) / kMarkerSpan;  // 66,667
  static constexpr int kButtons = 128;
  static constexpr int kAnalogues = 4;

  // Allocates the three zero-filled tables (about 23 MB, taken from the
  // system lazily); Ready() says whether they could be had.
  InputRecorder();
  bool Ready() const { return steps_ && positions_ && markers_; }

  // Appends one step: the bits of the non-zero entries of the three button
  // arrays (kButtons each; a null array records no button), the analogue
  // values (kAnalogues, clamped to -100..100; null: 0) and the position
  // (each coordinate truncated and held to the int16 range; null: origin).
  // The index written, or -1 when the recorder is full.
  int32_t RecordStep(const int32_t* held, const int32_t* trigger, const int32_t* repeat, const int32_t* analogue,
                     const float* position);
  // Reads the step at the playback index into the outputs that are given
  // (buttons as 0 or 1, analogue values as integers, the position as
  // floats) and advances the index. The index read, or -1 once every
  // recorded step has been played: then the given outputs are zeroed (no
  // button, no stick, the origin) and the index stays.
  int32_t PlayStep(int32_t* held, int32_t* trigger, int32_t* repeat, int32_t* analogue, float* position);
  // Playback index 0; unless `rewindOnly`, also count 0 with the positions
  // and markers cleared (step records are overwritten as they are recorded).
  void RewindRecorder(bool rewindOnly);
  // Stores `value` in the marker of the current 6-step slot when that
  // marker is empty (0), so the first destruction of the slot is kept.
  void SetRecorderMarker(int32_t value);
  // Looks ahead over steps [playback index + from, playback index + to):
  // the first non-empty marker among the recorded ones gives its value (a
  // unit handle) and, through `offset`, its distance in steps from the
  // start of the range's first slot; -1 when there is none.
  int32_t FindRecorderMarker(int32_t from, int32_t to, int32_t* offset) const;
  // The recorded position n steps after the playback index, while a replay
  // plays (index non-zero) and that step is recorded; else the origin.
  void RecorderPositionAt(int32_t n, float out[3]) const;
  void SetRecorderName(const char* text) { name = text ? text : ""; }
  void SetRecorderLength(int32_t gameTime, int32_t isValid) {
    recordedGameTime = gameTime;
    valid = isValid;
  }

  // The run's name (emptied when a run ends normally).
  std::string name;
  int32_t count = 0;      // steps recorded
  int32_t playIndex = 0;  // next step PlayStep reads
  int32_t recordedGameTime = 0;
  int32_t valid = 0;

 private:
  struct FreeBlock {
    void operator()(void* block) const { std::free(block); }
  };
  std::unique_ptr<RecordedStep[], FreeBlock> steps_;
  std::unique_ptr<RecordedPosition[], FreeBlock> positions_;
  std::unique_ptr<int16_t[], FreeBlock> markers_;
};

// The replay keys of one displayed frame, read from the freshly polled
// logical pad (held states of the 128 buttons) before the frame's steps and
// again before each step: button 3 doubles the speed, button 0 multiplies it
// by 5 (10 with both), button 1 holds the replay still. Holding never makes
// the speed 0: a frame that holds draws without stepping and the next frame
// reads the keys again.
struct ReplayKeys {
  int32_t speed = 1;
  bool hold = false;
};
ReplayKeys ReadReplayKeys(const int32_t* held);

// The flight area: a box with a margin band inside its faces, and a centre.
struct FlightArea {
  float min[3] = {-5000.0f, -5000.0f, -5000.0f};
  float max[3] = {5000.0f, 5000.0f, 5000.0f};
  float margin = 900.0f;
  float center[3] = {0.0f, 0.0f, 0.0f};
};
// Stores the box and margin and centres the area in the box. 1.
int SetFlightArea(FlightArea& area, float x0, float y0, float z0, float x1, float y1, float z1, float margin);
// Stores the centre. 1.
int SetFlightAreaCenter(FlightArea& area, float x, float y, float z);
// -1 outside the box (its faces are inside); 1 inside but within the margin
// of a face; 0 deeper inside. A position that is not a number is outside.
int OutArea(const FlightArea& area, float x, float y, float z);

// The network data table: 40 rows (one per player) of 8 words.
struct NetworkDataTable {
  static constexpr int kRows = 40;
  static constexpr int kColumns = 8;
  int32_t entries[kRows][kColumns] = {};
};
// The entry; 0 outside the table.
int32_t GetNetworkData(const NetworkDataTable& table, int row, int column);
// Stores the entry and returns its old value; outside the table nothing is
// stored and 0x7FFFFFFF returned.
int32_t SetNetworkData(NetworkDataTable& table, int row, int column, int32_t value);

// The screen fade: the value moves toward the target by the step.
struct ScreenFade {
  float value = 0.0f;
  float target = 0.0f;
  float step = 0.0f;
};
// Each of the three is stored only while its current value is not negative
// (a negative field keeps its value).
void FadeScreen(ScreenFade& fade, float value, float target, float step);

// The unit's position n steps ahead: during a replay (`replaying`), for a
// PLAYER unit, the position the recorder holds there when its x is non-zero;
// else position + velocity x n.
core::Vec3 PredictUnitPosition(const InputRecorder* recorder, bool replaying, units::Unit& unit, int32_t n);

}  // namespace world
