// input_public.h -- keyboards and game controllers in eight device slots,
// each mapped to a logical pad of 128 buttons, and the per-step snapshot of
// the logical pad merged over every device.
#pragma once

#include <cstdint>

#include "platform/platform_public.h"

namespace core {
class LogSystem;
}

namespace input {

constexpr int kSlotCount = 8;
constexpr int kRawCodeCount = 256;
constexpr int kLogicalButtonCount = 128;
constexpr int kAxisCount = 6;
constexpr uint8_t kUnmapped = 255;       // map entry of a logical button without raw code
constexpr int kRawFull = 1000;           // raw values run from 0 to this
constexpr int kDefaultDeadZone = 200;

// Groups accepted where a slot number is expected. Any other negative number
// addresses every slot too.
enum : int { kGroupAll = -1, kGroupKeyboards = -2, kGroupPads = -3 };

// Device kinds, from the low four bits of the device type word: a keyboard,
// a mouse, and every other value (free slots included) a pad.
enum : int { kKindMouse = 2, kKindKeyboard = 3, kKindPad = 4 };

// ----------------------------------------------------------------------------
// Raw codes
//
// Every control of a device reads as one raw value of 0 to 1000 under a raw
// code 0..255:
// - keyboards: the key's scan code (Esc 1, Enter 28, Backspace 14, arrows
//   200/208/203/205 ...); 1000 while the key is down;
// - pads: 0..31 buttons 1 to 32; 64/65 X axis +/-, 66/67 Y, 68/69 Z, 72/73
//   X rotation, 74/75 Y rotation, 76/77 Z rotation, 80/81 slider 1, 82/83
//   slider 2 (each the magnitude of that direction); 96/97/98/99 hat
//   up/down/left/right. Other codes stay 0.
// Code 255 always reads 0, so a logical button mapped to 255 never comes on.
// ----------------------------------------------------------------------------

enum : int {
  kRawEsc = 1,
  kRawBackspace = 14,
  kRawEnter = 28,
  kRawDelete = 211,
  kRawHatUp = 96,
  kRawHatDown = 97,
  kRawHatLeft = 98,
  kRawHatRight = 99,
  kRawNone = 255,
};

// The raw values of one read, with the running extremes that calibrate them:
// a code reads 0 until it has been seen to move across at least 500 of the
// scale, so an axis resting at one end or a key held down when the device
// was set up stays silent until it has moved once.
struct InputRawBuffer {
  int16_t raw[kRawCodeCount];     // current values, 0..1000
  int16_t rawMax[kRawCodeCount];  // running maximum (starts at 0)
  int16_t rawMin[kRawCodeCount];  // running minimum (starts at 1000)
};

// One device slot: the device, its raw values and its logical pad. A slot is
// free while `device` is null; a free slot reads as all zeros.
struct InputDeviceSlot {
  int16_t raw[kRawCodeCount];      // current raw values, 0..1000, by raw code
  int16_t rawMax[kRawCodeCount];   // running maximum since the slot was set up
  int16_t rawMin[kRawCodeCount];   // running minimum since the slot was set up
  uint8_t map[kLogicalButtonCount];        // logical button -> raw code; 255 none
  uint8_t held[kLogicalButtonCount];       // 0 or 1
  uint8_t trigger[kLogicalButtonCount];    // went down in this update
  uint8_t holdCount[kLogicalButtonCount];  // updates held; sticks in 253..255
  uint8_t release[kLogicalButtonCount];    // went up in this update
  platform::InputDeviceInstance instanceInfo;  // as enumerated
  platform::Window* window;                // the window given at set-up
  int32_t deadZone[kAxisCount];            // axis 0..5, raw scale (default 200)
  int32_t enabled;                         // 0: every read gives zeros
  int32_t padMode;                         // 1: a pad's hat also drives buttons 0..3
  platform::InputDevice* device;           // null while the slot is free
  int32_t lost;                            // reads fail; the loss has been logged
};

// The logical pad merged over every device, taken once per world step.
// Axes 0..5 are the half-axis pairs 80/81, 82/83, 84/85, 88/89, 90/91,
// 92/93, the first member positive. Release states stay in the slots.
struct InputSnapshot {
  int32_t held[kLogicalButtonCount];
  int32_t trigger[kLogicalButtonCount];
  int32_t repeat[kLogicalButtonCount];
  float axesA[3];  // axes 0, 1, 2, -1..1
  float axesB[3];  // axes 3, 4, 5, -1..1
};

// The input system: one per program, owned by the engine record. Main thread
// only.
//
// - InitDirectInput once at start-up, after the main window exists; then the
//   pad matching applies the saved maps and dead zones through the setters.
// - UpdateInput(0) once per displayed frame before the game frame; the world
//   calls UpdateInput(1) before its second and later steps of a frame, so a
//   trigger lasts one step while hold counts go on counting.
// - Slot arguments: 0..7 one slot, kGroupKeyboards, kGroupPads, or any other
//   negative number for every slot. Slot numbers above 7 and logical buttons
//   outside 0..127 are refused: queries give 0, setters change nothing.
// - Without devices every query reads zeros.
class InputSystem {
 public:
  core::LogSystem* log = nullptr;

  InputSystem();
  ~InputSystem();  // DestroyInputSystem
  InputSystem(const InputSystem&) = delete;
  InputSystem& operator=(const InputSystem&) = delete;

  // --------------------------------------------------------------------------
  // Devices (input_devices.cpp)
  // --------------------------------------------------------------------------

  // Opens the device system for `window` and fills the slots: keyboards
  // first, then game controllers, each device once, at most eight. 0 on
  // success; 1 when the device system cannot be opened (after an error box;
  // every slot stays free and the program goes on).
  int InitDirectInput(platform::Window* window);
  // The enumeration step for one device: 1 to go on, 0 when all eight slots
  // are taken.
  int RegisterFoundDevice(const platform::InputDeviceInstance& info);
  // Creates and sets up the device of one slot; a device that fails leaves
  // the slot free. Always 1.
  int InitInputDevice(int slot, const platform::InputDeviceInstance& info, platform::InputBackend* backend,
                      platform::Window* window);
  // Reads one device into `buffer` (raw values, then calibration against the
  // buffer's extremes), or into the slot itself when `buffer` is null. 1
  // when the slot has no device (nothing is written), else 0. A disabled
  // device reads zeros and leaves the extremes alone.
  int PollDeviceState(int slot, InputRawBuffer* buffer);
  // Reads slot 0..7, or the first device of a group (-2 the first keyboard,
  // -3 the first pad, other negatives slot 0), into `buffer` (null: into the
  // slot). The buffer's extremes are taken from the slot, whose own stay as
  // they are. 1 when a device was read; 0 when there is no such device (the
  // buffer's raw values are then zero).
  int PollDevice(int slotOrGroup, InputRawBuffer* buffer);
  // One slot: sets its enabled flag, returns the previous one. A group: sets
  // every slot of it, returns 0. The keyboards follow the window's focus.
  int SetDeviceEnabled(int slotOrGroup, int flag);
  // kKindKeyboard, kKindMouse or kKindPad; 0 for a slot outside 0..7.
  int GetDeviceKind(int slot) const;
  // "Keyboard" for a keyboard, else the product name; "" for a free slot or
  // a slot outside 0..7. Start-up matches saved assignments by this name.
  const char* GetDeviceName(int slot) const;
  // Releases every device and the device system (also run on destruction).
  void DestroyInputSystem();

  // --------------------------------------------------------------------------
  // Logical pad (input_pad.cpp)
  // --------------------------------------------------------------------------

  // Updates every slot: reads the devices (unless `noPoll`), then the held,
  // trigger, release and hold-count states.
  void UpdateInput(int noPoll);
  void UpdateDeviceSlot(int slot, int noPoll);
  // Zeroes held, trigger, hold count and release of one slot, or of all
  // eight for a negative slot.
  void ClearInputState(int slot);

  // Held, pressed in this update, key repeat: 0 or 1, OR over a group.
  int GetPadNow(int slotOrGroup, int logical) const;
  int GetPadTrigger(int slotOrGroup, int logical) const;
  int GetPadRepeat(int slotOrGroup, int logical) const;
  // For the half-axis buttons 80..93 (not 86, 87): the axis of the pair in
  // -100..100 after the dead zone, negated for the second member; for other
  // buttons the raw value 0..1000 behind the button. Over a group the sum,
  // clamped to -100..100.
  int GetPadAnalog(int slotOrGroup, int logical) const;

  // The raw code of a logical button; 255 for a slot outside 0..7.
  int GetButtonMap(int slot, int logical) const;
  // One slot: stores the raw code (outside 0..255: 255) and returns the old
  // one. A group: stores into every slot of it, returns 0.
  int SetButtonMap(int slotOrGroup, int logical, int raw);
  // Maps the logical button to the raw code pressed now (above 800),
  // swapping with the button that had that code. The arrows, Enter,
  // Backspace and Esc of a keyboard and the X and Y axes of a pad are never
  // learnt. The slot's own states are not touched.
  void LearnButtonMap(int slot, int logical);
  // One slot and axis: stores the value and returns the old one. A negative
  // slot means all eight slots, a negative axis all six axes: 0. Values of
  // 1000 or more act as 999, negative values as 0.
  int SetDeadZone(int slot, int axis, int value);
  int GetDeadZone(int slot, int axis) const;
  // Sets pad mode of one slot or, negative, of all eight. Returns 0.
  int SetPadMode(int slot, int flag);
  // The display name of a raw code on this slot's kind of device (a free
  // slot reads as a pad); "" for a code without name, a code outside 0..255
  // or a slot outside 0..7.
  const char* GetRawCodeName(int slot, int raw) const;

  // --------------------------------------------------------------------------
  // Snapshot (input_snapshot.cpp)
  // --------------------------------------------------------------------------

  // The logical pad over every device: each output is optional (null skips
  // it) and is written whole. Arrays of 128; axes as InputSnapshot.
  void SnapshotInput(int32_t* held, int32_t* trigger, int32_t* repeat, float* axesA, float* axesB) const;
  void SnapshotInput(InputSnapshot* snapshot) const;

  // A read-only view of one slot (null outside 0..7), for tests and tools.
  const InputDeviceSlot* Slot(int slot) const;

 private:
  // input_devices.cpp
  void ResetSlot(int slot);
  void ClearSlotDevice(int slot);
  bool InGroup(int slot, int group) const;
  void ReadDevice(int slot, int16_t* raw, int16_t* rawMax, int16_t* rawMin);

  // input_pad.cpp
  int PadRepeat(int slot, int logical) const;
  int PadAnalog(int slot, int logical) const;

  platform::Window* window_ = nullptr;           // the main window
  platform::InputBackend* backend_ = nullptr;    // null until InitDirectInput succeeds
  InputDeviceSlot slots_[kSlotCount];
};

}  // namespace input
