// input_pad.cpp -- the logical pad of every slot: held states with
// hysteresis, trigger, release, hold counts and key repeat, analogue
// half-axes with dead zones, the group queries, the map setters and
// learning.

#include <cstring>

#include "input/input_local.h"

namespace input {

namespace {

bool ValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }
bool ValidButton(int logical) { return logical >= 0 && logical < kLogicalButtonCount; }

// Held with hysteresis: on above 500, off below 400, kept in between.
uint8_t Hysteresis(uint8_t held, int value) {
  if (!held && value > kPressAbove) return 1;
  if (held && value < kReleaseBelow) return 0;
  return held;
}

// The partner of a half-axis button and the axis the pair forms, or -1.
int AxisOfButton(int logical, int* partner) {
  static constexpr int kFirst[kAxisCount] = {80, 82, 84, 88, 90, 92};
  for (int k = 0; k < kAxisCount; k++) {
    if (logical == kFirst[k] || logical == kFirst[k] + 1) {
      *partner = logical ^ 1;
      return k;
    }
  }
  return -1;
}

int Clamp100(int v) { return v < -100 ? -100 : v > 100 ? 100 : v; }

}  // namespace

// ----------------------------------------------------------------------------
// Rules shared with the snapshot and the tests
// ----------------------------------------------------------------------------

int RepeatFires(int c) {
  if (c < 20) return 0;
  if (c < 40) return c % 5 == 0;
  if (c < 60) return c % 4 == 0;
  return c % 3 == 0;
}

uint8_t NextHoldCount(uint8_t c) { return c == 255 ? 253 : uint8_t(c + 1); }

int ScaleHalfAxis(int value, int deadZone) {
  // A dead zone of 1000 or more would leave no scale to divide by.
  int d = deadZone < 0 ? 0 : deadZone > 999 ? 999 : deadZone;
  if (value < d) return 0;
  return (value - d) * 1000 / (1000 - d);
}

// ----------------------------------------------------------------------------
// Update
// ----------------------------------------------------------------------------

// With `noPoll` the raw values of the last read are used again: the world's
// later steps of one displayed frame see the same input, but each step still
// moves triggers, releases and hold counts on.
void InputSystem::UpdateInput(int noPoll) {
  if (!noPoll) platform::UpdateInputBackend(backend_);
  for (int s = 0; s < kSlotCount; s++) UpdateDeviceSlot(s, noPoll);
}

void InputSystem::UpdateDeviceSlot(int slot, int noPoll) {
  if (!ValidSlot(slot)) return;
  InputDeviceSlot& s = slots_[slot];
  if (!noPoll) PollDeviceState(slot, nullptr);

  // Trigger and release are the change against the previous update.
  uint8_t previous[kLogicalButtonCount];
  std::memcpy(previous, s.held, sizeof previous);

  // Directions first, in the order left, right, up, down. An unmapped
  // direction reads code 255, which is always 0, so it lets go.
  static constexpr int kDirections[4] = {2, 3, 0, 1};
  for (int b : kDirections) s.held[b] = Hysteresis(s.held[b], s.raw[s.map[b]]);

  // In pad mode a pad's hat also presses the directions; the next update
  // lets go of them once both the hat and the mapped axis have.
  if (s.padMode && GetDeviceKind(slot) == kKindPad) {
    if (s.raw[kRawHatLeft] > kHatPressAbove) s.held[2] = 1;
    if (s.raw[kRawHatRight] > kHatPressAbove) s.held[3] = 1;
    if (s.raw[kRawHatUp] > kHatPressAbove) s.held[0] = 1;
    if (s.raw[kRawHatDown] > kHatPressAbove) s.held[1] = 1;
  }

  // Every other button. An unmapped button is skipped whole: its states stay
  // as they were (a button unmapped while held stays held), unlike a
  // direction, which lets go.
  bool keyboard = GetDeviceKind(slot) == kKindKeyboard;
  for (int b = 4; b < kLogicalButtonCount; b++) {
    if (s.map[b] == kUnmapped) continue;  // states stay as they are
    s.held[b] = Hysteresis(s.held[b], s.raw[s.map[b]]);
    // On a keyboard Enter always confirms and Backspace or Esc cancel.
    if (keyboard && b == 8 && !s.held[8] && s.raw[kRawEnter]) s.held[8] = 1;
    if (keyboard && b == 9 && !s.held[9] && (s.raw[kRawBackspace] || s.raw[kRawEsc])) s.held[9] = 1;
  }

  for (int b = 0; b < kLogicalButtonCount; b++) {
    s.trigger[b] = s.held[b] && !previous[b];
    s.release[b] = previous[b] && !s.held[b];
    s.holdCount[b] = s.held[b] ? NextHoldCount(s.holdCount[b]) : 0;
  }
}

void InputSystem::ClearInputState(int slot) {
  for (int i = 0; i < kSlotCount; i++) {
    if (slot >= 0 && i != slot) continue;
    InputDeviceSlot& s = slots_[i];
    std::memset(s.held, 0, sizeof s.held);
    std::memset(s.trigger, 0, sizeof s.trigger);
    std::memset(s.holdCount, 0, sizeof s.holdCount);
    std::memset(s.release, 0, sizeof s.release);
  }
}

// ----------------------------------------------------------------------------
// Queries
// ----------------------------------------------------------------------------

// The group queries OR the slots of the group; a single slot is a group of
// one. Slot numbers above 7 address nothing.
int InputSystem::GetPadNow(int slotOrGroup, int logical) const {
  if (slotOrGroup >= kSlotCount || !ValidButton(logical)) return 0;
  for (int s = 0; s < kSlotCount; s++)
    if (InGroup(s, slotOrGroup) && slots_[s].held[logical]) return 1;
  return 0;
}

int InputSystem::GetPadTrigger(int slotOrGroup, int logical) const {
  if (slotOrGroup >= kSlotCount || !ValidButton(logical)) return 0;
  for (int s = 0; s < kSlotCount; s++)
    if (InGroup(s, slotOrGroup) && slots_[s].trigger[logical]) return 1;
  return 0;
}

int InputSystem::PadRepeat(int slot, int logical) const {
  const InputDeviceSlot& s = slots_[slot];
  if (s.trigger[logical]) return 1;
  return RepeatFires(s.holdCount[logical]);
}

int InputSystem::GetPadRepeat(int slotOrGroup, int logical) const {
  if (slotOrGroup >= kSlotCount || !ValidButton(logical)) return 0;
  for (int s = 0; s < kSlotCount; s++)
    if (InGroup(s, slotOrGroup) && PadRepeat(s, logical)) return 1;
  return 0;
}

// The axis of a half-axis pair on -100..100: the button's own half minus its
// partner's, each past the axis's dead zone, so asking for the second
// member of a pair gives the negated axis.
int InputSystem::PadAnalog(int slot, int logical) const {
  const InputDeviceSlot& s = slots_[slot];
  int partner = 0;
  int axis = AxisOfButton(logical, &partner);
  if (axis < 0) return s.raw[s.map[logical]];
  int d = s.deadZone[axis];
  int value = ScaleHalfAxis(s.raw[s.map[logical]], d) - ScaleHalfAxis(s.raw[s.map[partner]], d);
  return Clamp100(value / 10);
}

// Over a group the slots add up: a keyboard and a pad pushing the same way
// reach the end of the axis sooner, never beyond it.
int InputSystem::GetPadAnalog(int slotOrGroup, int logical) const {
  if (slotOrGroup >= kSlotCount || !ValidButton(logical)) return 0;
  if (slotOrGroup >= 0) return PadAnalog(slotOrGroup, logical);
  int sum = 0;
  for (int s = 0; s < kSlotCount; s++)
    if (InGroup(s, slotOrGroup)) sum += PadAnalog(s, logical);
  return Clamp100(sum);
}

// ----------------------------------------------------------------------------
// Maps, dead zones, pad mode
// ----------------------------------------------------------------------------

int InputSystem::GetButtonMap(int slot, int logical) const {
  if (!ValidSlot(slot) || !ValidButton(logical)) return kUnmapped;
  return slots_[slot].map[logical];
}

// The settings file keeps one byte per map entry: a code outside 0..255
// cannot be stored, and is taken as "unmapped" rather than wrapped onto
// another control.
int InputSystem::SetButtonMap(int slotOrGroup, int logical, int raw) {
  if (slotOrGroup >= kSlotCount || !ValidButton(logical)) return 0;
  uint8_t code = raw >= 0 && raw < kRawCodeCount ? uint8_t(raw) : kUnmapped;
  if (slotOrGroup >= 0) {
    int previous = slots_[slotOrGroup].map[logical];
    slots_[slotOrGroup].map[logical] = code;
    return previous;
  }
  for (int s = 0; s < kSlotCount; s++)
    if (InGroup(s, slotOrGroup)) slots_[s].map[logical] = code;
  return 0;
}

// The key-assignment screens call this while the player presses the control
// to assign. The reserved keys are left out because they drive the screen
// itself.
void InputSystem::LearnButtonMap(int slot, int logical) {
  if (!ValidSlot(slot) || !ValidButton(logical)) return;
  // Read into a scratch buffer calibrated with the slot's own extremes,
  // which stay as they are.
  InputRawBuffer scratch;
  std::memset(scratch.raw, 0, sizeof scratch.raw);
  std::memcpy(scratch.rawMax, slots_[slot].rawMax, sizeof scratch.rawMax);
  std::memcpy(scratch.rawMin, slots_[slot].rawMin, sizeof scratch.rawMin);
  PollDeviceState(slot, &scratch);

  // The lowest code above the threshold, leaving out the keys that move the
  // cursor, confirm and cancel, and a pad's main stick.
  bool keyboard = GetDeviceKind(slot) == kKindKeyboard;
  int chosen = -1;
  for (int code = kRawCodeCount - 1; code >= 0; code--) {
    if (keyboard && (code == 200 || code == 208 || code == 205 || code == 203 || code == kRawEnter ||
                     code == kRawBackspace || code == kRawEsc))
      continue;
    if (!keyboard && code >= 64 && code <= 67) continue;
    if (scratch.raw[code] > kLearnAbove) chosen = code;
  }
  if (chosen < 0) return;

  uint8_t* map = slots_[slot].map;
  int holder = -1;
  for (int b = 0; b < kLogicalButtonCount; b++)
    if (map[b] == chosen) holder = b;
  // Swap, so no raw code is lost from the pad.
  uint8_t old = map[logical];
  map[logical] = uint8_t(chosen);
  if (holder >= 0) map[holder] = old;
}

// Values are stored as given, so the settings file reads back what it
// wrote; PadAnalog bounds them when it uses them.
int InputSystem::SetDeadZone(int slot, int axis, int value) {
  if (slot >= kSlotCount || axis >= kAxisCount) return 0;
  if (slot >= 0 && axis >= 0) {
    int previous = slots_[slot].deadZone[axis];
    slots_[slot].deadZone[axis] = value;
    return previous;
  }
  for (int s = 0; s < kSlotCount; s++) {
    if (slot >= 0 && s != slot) continue;
    for (int a = 0; a < kAxisCount; a++)
      if (axis < 0 || a == axis) slots_[s].deadZone[a] = value;
  }
  return 0;
}

int InputSystem::GetDeadZone(int slot, int axis) const {
  if (!ValidSlot(slot) || axis < 0 || axis >= kAxisCount) return 0;
  return slots_[slot].deadZone[axis];
}

int InputSystem::SetPadMode(int slot, int flag) {
  if (slot >= kSlotCount) return 0;
  for (int s = 0; s < kSlotCount; s++)
    if (slot < 0 || s == slot) slots_[s].padMode = flag;
  return 0;
}

const char* InputSystem::GetRawCodeName(int slot, int raw) const {
  if (!ValidSlot(slot) || raw < 0 || raw >= kRawCodeCount) return "";
  return GetDeviceKind(slot) == kKindKeyboard ? KeyboardCodeName(raw) : PadCodeName(raw);
}

}  // namespace input
