// input_devices.cpp -- the device slots and their maps. Device enumeration
// is a stand-in: the keyboard alone is found, and nothing is polled yet.

#include <cstring>

#include "input/input_public.h"

namespace input {

namespace {

bool InGroup(const InputDeviceSlot& s, int group) {
  if (s.name.empty()) return false;
  if (group == kGroupKeyboards) return s.keyboard;
  if (group == kGroupPads) return !s.keyboard;
  return true;
}

}  // namespace

InputSystem::InputSystem() {
  for (InputDeviceSlot& s : slots_) std::memset(s.map, kUnmapped, sizeof s.map);
}

int InputSystem::InitDirectInput(platform::Window* window) {
  (void)window;
  SetSlotDevice(0, "Keyboard", true);
  return 0;
}

const char* InputSystem::GetDeviceName(int slot) const {
  if (slot < 0 || slot >= kSlotCount) return "";
  return slots_[slot].name.c_str();
}

int InputSystem::SetButtonMap(int slot, int logical, int raw) {
  if (logical < 0 || logical >= kLogicalButtonCount) return 0;
  if (slot >= 0 && slot < kSlotCount) {
    int previous = slots_[slot].map[logical];
    slots_[slot].map[logical] = uint8_t(raw);
    return previous;
  }
  for (InputDeviceSlot& s : slots_)
    if (slot == kGroupAll || InGroup(s, slot)) s.map[logical] = uint8_t(raw);
  return 0;
}

int InputSystem::GetButtonMap(int slot, int logical) const {
  if (slot < 0 || slot >= kSlotCount || logical < 0 || logical >= kLogicalButtonCount) return kUnmapped;
  return slots_[slot].map[logical];
}

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
  if (slot < 0 || slot >= kSlotCount || axis < 0 || axis >= kAxisCount) return 0;
  return slots_[slot].deadZone[axis];
}

int InputSystem::SetDeviceEnabled(int slotOrGroup, int flag) {
  if (slotOrGroup >= 0 && slotOrGroup < kSlotCount) {
    int previous = slots_[slotOrGroup].enabled ? 1 : 0;
    slots_[slotOrGroup].enabled = flag != 0;
    return previous;
  }
  for (InputDeviceSlot& s : slots_)
    if (InGroup(s, slotOrGroup)) s.enabled = flag != 0;
  return 0;
}

void InputSystem::UpdateInput(int noPoll) { (void)noPoll; }

void InputSystem::SetSlotDevice(int slot, const char* name, bool keyboard) {
  if (slot < 0 || slot >= kSlotCount) return;
  slots_[slot].name = name ? name : "";
  slots_[slot].keyboard = keyboard;
}

}  // namespace input
