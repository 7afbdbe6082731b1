// app_pads.cpp -- matching the saved pad assignments to the devices found.

#include <cstdio>
#include <cstring>

#include "app/app_local.h"

namespace app {

namespace {

// One saved pad entry, gathered from the settings block's parallel arrays.
struct PadEntry {
  char name[128];
  uint8_t map[kPadButtonCount];
  int32_t free[kPadAxisCount];
};

PadEntry ReadEntry(const SettingsBlock& s, int n) {
  PadEntry e;
  std::memcpy(e.name, s.padName[n], sizeof e.name);
  std::memcpy(e.map, s.padMap[n], sizeof e.map);
  std::memcpy(e.free, s.padFree[n], sizeof e.free);
  return e;
}

void WriteEntry(SettingsBlock* s, int n, const PadEntry& e) {
  std::memcpy(s->padName[n], e.name, sizeof e.name);
  std::memcpy(s->padMap[n], e.map, sizeof e.map);
  std::memcpy(s->padFree[n], e.free, sizeof e.free);
}

// Moves entry `from` to position `to` (to < from), shifting the entries in
// between up by one.
void MoveEntryDown(SettingsBlock* s, int from, int to) {
  PadEntry moving = ReadEntry(*s, from);
  for (int n = from; n > to; n--) WriteEntry(s, n, ReadEntry(*s, n - 1));
  WriteEntry(s, to, moving);
}

// A fresh entry for a device never seen before, with the default map of a
// keyboard or of a game controller.
PadEntry NewEntry(const char* deviceName) {
  PadEntry e;
  std::memset(&e, 0, sizeof e);
  std::snprintf(e.name, sizeof e.name, "%s", deviceName);
  std::memset(e.map, 255, sizeof e.map);
  const int32_t deadZones[kPadAxisCount] = {2, 2, 0, 2, 2, 2};
  std::memcpy(e.free, deadZones, sizeof e.free);

  struct Default {
    int logical;
    int keyboard;  // -1: stays unmapped
    int pad;
  };
  static const Default kDefaults[] = {
      {0, 200, 67},  {1, 208, 66},  {2, 203, 65},  {3, 205, 64},  {8, 44, 0},
      {9, 45, 1},    {12, 30, 2},   {13, 31, 3},   {14, -1, 11},  {65, 57, 9},
      {66, 157, 8},  {67, 29, -1},  {68, 59, 10},  {80, 205, 64}, {81, 203, 65},
      {82, 208, 66}, {83, 200, 67}, {84, 47, 5},   {85, 46, 4},   {88, -1, 72},
      {89, -1, 73},  {90, -1, 74},  {91, -1, 75},  {92, -1, 76},  {93, -1, 77},
  };
  bool keyboard = std::strcmp(deviceName, "Keyboard") == 0;
  for (const Default& d : kDefaults) {
    int raw = keyboard ? d.keyboard : d.pad;
    if (raw >= 0) e.map[d.logical] = uint8_t(raw);
  }
  return e;
}

}  // namespace

void MatchPadEntries(SettingsBlock* s, const char* const deviceNames[kPadEntryCount]) {
  for (int slot = 0; slot < kPadEntryCount; slot++) {
    const char* device = deviceNames[slot];
    if (!device || !*device) continue;
    int found = -1;
    for (int n = slot; n < kPadEntryCount; n++) {
      if (std::strncmp(s->padName[n], device, sizeof s->padName[n]) == 0) {
        found = n;
        break;
      }
    }
    if (found == slot) continue;
    if (found > slot) {
      MoveEntryDown(s, found, slot);
    } else {
      // A new device: the entries from here on move up and the last is lost.
      for (int n = kPadEntryCount - 1; n > slot; n--) WriteEntry(s, n, ReadEntry(*s, n - 1));
      WriteEntry(s, slot, NewEntry(device));
    }
  }
}

void ApplyPadEntries(const SettingsBlock& s, input::InputSystem& input) {
  // After matching, entry b belongs to the device in slot b. Each slot takes
  // its own entry's map, so two devices of one product name keep their own
  // assignments.
  for (int b = 0; b < kPadEntryCount; b++) {
    const char* device = input.GetDeviceName(b);
    if (!s.padName[b][0] || std::strncmp(s.padName[b], device, sizeof s.padName[b]) != 0) continue;
    for (int logical = 0; logical < kPadButtonCount; logical++)
      input.SetButtonMap(b, logical, s.padMap[b][logical]);
  }
  // Dead zones follow position, device or not.
  for (int b = 0; b < kPadEntryCount; b++)
    for (int k = 0; k < kPadAxisCount; k++) input.SetDeadZone(b, k, s.padFree[b][k] * 100);
}

}  // namespace app
