// input_snapshot.cpp -- the logical pad merged over every device, as the
// world takes it once per step and the replay records it.

#include <cstring>

#include "input/input_local.h"

namespace input {

void InputSystem::SnapshotInput(int32_t* held, int32_t* trigger, int32_t* repeat, float* axesA,
                                float* axesB) const {
  int32_t h[kLogicalButtonCount], t[kLogicalButtonCount], r[kLogicalButtonCount];
  for (int b = 0; b < kLogicalButtonCount; b++) {
    h[b] = GetPadNow(kGroupAll, b);
    t[b] = GetPadTrigger(kGroupAll, b);
    r[b] = GetPadRepeat(kGroupAll, b);
  }
  if (held) std::memcpy(held, h, sizeof h);
  if (trigger) std::memcpy(trigger, t, sizeof t);
  if (repeat) std::memcpy(repeat, r, sizeof r);
  if (!axesA && !axesB) return;

  static constexpr int kAxisButtons[kAxisCount] = {80, 82, 84, 88, 90, 92};
  float axes[kAxisCount];
  for (int k = 0; k < kAxisCount; k++) {
    float v = float(GetPadAnalog(kGroupAll, kAxisButtons[k])) / 100.0f;
    axes[k] = v < -1.0f ? -1.0f : v > 1.0f ? 1.0f : v;
  }
  // Logical buttons 88 and 89 halve axis 4 while either is held.
  if (h[88] || h[89]) axes[4] *= 0.5f;
  if (axesA) std::memcpy(axesA, axes, 3 * sizeof(float));
  if (axesB) std::memcpy(axesB, axes + 3, 3 * sizeof(float));
}

void InputSystem::SnapshotInput(InputSnapshot* s) const {
  if (s) SnapshotInput(s->held, s->trigger, s->repeat, s->axesA, s->axesB);
}

}  // namespace input
