// input_public.h -- keyboards and game controllers in eight device slots,
// mapped to a logical pad of 128 buttons.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_public.h"

namespace app {
class LogSystem;
}

namespace input {

constexpr int kSlotCount = 8;
constexpr int kLogicalButtonCount = 128;
constexpr int kAxisCount = 6;
constexpr uint8_t kUnmapped = 255;

// Device groups accepted where a slot is expected.
enum : int { kGroupAll = -1, kGroupKeyboards = -2, kGroupPads = -3 };

// One device slot: what the pad matching and the queries read of it.
struct InputDeviceSlot {
  std::string name;                           // "Keyboard" or the product name
  bool keyboard = false;
  bool enabled = true;
  uint8_t map[kLogicalButtonCount];           // raw code of each logical button
  int deadZone[kAxisCount] = {};              // 0..1000 scale
};

class InputSystem {
 public:
  app::LogSystem* log = nullptr;

  InputSystem();

  // Finds the devices and fills the slots, keyboards first. 0 on success.
  int InitDirectInput(platform::Window* window);

  // "Keyboard" for a keyboard, the product name for a controller, "" for an
  // empty slot or a slot number out of range.
  const char* GetDeviceName(int slot) const;

  // Sets the raw code of a logical button for one slot (returns the previous
  // code) or every slot of a group (returns 0).
  int SetButtonMap(int slot, int logical, int raw);
  // Sets a dead zone for one slot and axis (returns the previous value), or
  // for all slots (negative slot) and/or all axes (negative axis): 0.
  int SetDeadZone(int slot, int axis, int value);
  int GetDeadZone(int slot, int axis) const;
  int GetButtonMap(int slot, int logical) const;

  // Enables or disables one slot (returns the previous flag) or a group.
  int SetDeviceEnabled(int slotOrGroup, int flag);

  // Polls every slot and updates the logical pads (once per frame).
  void UpdateInput(int noPoll);

  // Test hook: the device in a slot, as enumeration would have found it.
  void SetSlotDevice(int slot, const char* name, bool keyboard);

 private:
  InputDeviceSlot slots_[kSlotCount];
};

}  // namespace input
