// input_devices.cpp -- the device slots: enumeration and set-up of the
// keyboards and game controllers, reading them into raw values with their
// calibration, enabling, and release.

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "input/input_local.h"

namespace input {

using core::Sjis;

namespace {

// Raw codes of a pad's axes and sliders: the positive direction, the
// negative one follows it.
constexpr int kAxisRawCodes[platform::kJoystickAxisCount] = {64, 66, 68, 72, 74, 76, 80, 82};

// Radians per degree, in the single precision the hat directions were
// always computed in.
constexpr float kRadiansPerDegree = 0.0174533f;

int16_t Clamp1000(int64_t v) { return int16_t(v > kRawFull ? kRawFull : v); }

uint32_t FirstWord(const uint8_t id[16]) {
  uint32_t w;
  std::memcpy(&w, id, 4);
  return w;
}

// The enumeration callback: hands each device to the input system.
bool FoundDevice(void* user, const platform::InputDeviceInstance& info) {
  return static_cast<InputSystem*>(user)->RegisterFoundDevice(info) != 0;
}

}  // namespace

InputSystem::InputSystem() {
  for (int s = 0; s < kSlotCount; s++) ResetSlot(s);
}

InputSystem::~InputSystem() { DestroyInputSystem(); }

// A slot as built: everything zero, the extremes ready for calibration,
// every button unmapped, dead zones at their default, pad mode on, disabled,
// no device.
void InputSystem::ResetSlot(int slot) {
  InputDeviceSlot& s = slots_[slot];
  std::memset(&s, 0, sizeof s);
  for (int c = 0; c < kRawCodeCount; c++) s.rawMin[c] = kRawFull;
  std::memset(s.map, kUnmapped, sizeof s.map);
  for (int32_t& d : s.deadZone) d = kDefaultDeadZone;
  s.padMode = 1;
}

// A slot without its device, as a failed set-up leaves it: what the setters
// gave it (dead zones, pad mode) stays.
void InputSystem::ClearSlotDevice(int slot) {
  int32_t deadZone[kAxisCount];
  std::memcpy(deadZone, slots_[slot].deadZone, sizeof deadZone);
  int32_t padMode = slots_[slot].padMode;
  ResetSlot(slot);
  std::memcpy(slots_[slot].deadZone, deadZone, sizeof deadZone);
  slots_[slot].padMode = padMode;
}

// Keyboards are enumerated before game controllers so that they take the
// lowest slots: the saved assignments of the settings file are matched by
// slot position first, and the keyboard is nearly always there.
int InputSystem::InitDirectInput(platform::Window* window) {
  if (backend_) return 0;  // the devices are listed once per run
  window_ = window;
  std::string error;
  backend_ = platform::OpenInputBackend(window, &error);
  if (!backend_) {
    // The box says what failed; the log says why (a broken input script
    // names its file and line).
    if (!error.empty()) core::Log(log, core::kLogError, (error + "\n").c_str());
    platform::ShowMessageBox(Sjis("DirectInput8の初期化に失敗しました。"), "", platform::kMbOk | platform::kMbIconError,
                             window);
    return 1;
  }
  core::Log(log, core::kLogInfo, Sjis("--------- 入力デバイスを列挙します --------\r\n"));
  core::Log(log, core::kLogInfo, Sjis("--------- キーボードを列挙します --------\r\n"));
  platform::EnumInputDevices(backend_, platform::InputDeviceClass::Keyboard, FoundDevice, this);
  core::Log(log, core::kLogInfo, Sjis("--------- ゲームパッドを列挙します --------\r\n"));
  platform::EnumInputDevices(backend_, platform::InputDeviceClass::GameController, FoundDevice, this);
  core::Log(log, core::kLogInfo, Sjis("--------- 入力デバイスの列挙終了 --------\r\n"));
  return 0;
}

// The log lines of each device found are what users send in when a pad is
// not recognised, so every device is logged before it is accepted or not.
int InputSystem::RegisterFoundDevice(const platform::InputDeviceInstance& info) {
  core::Log(log, core::kLogInfo, Sjis("--- 入力デバイスが見つかりました ---\r\n"));
  core::Logf(log, core::kLogInfo, "Instance[%s]-[%x]\r\n", info.instanceName, FirstWord(info.instanceId));
  core::Logf(log, core::kLogInfo, "Product [%s]-[%x]\r\n", info.productName, FirstWord(info.productId));
  core::Logf(log, core::kLogInfo, "DeviceType [%d]\r\n", int(info.deviceType & 0xF));
  // Some systems report one device under two classes or twice in one list:
  // the instance id tells.
  for (const InputDeviceSlot& s : slots_) {
    if (s.device && std::memcmp(s.instanceInfo.instanceId, info.instanceId, 16) == 0) {
      core::Log(log, core::kLogInfo, Sjis("既に登録済みなので登録しません\r\n"));
      return 1;
    }
  }
  // The first free slot; with all eight taken the enumeration stops here.
  int slot = 0;
  while (slot < kSlotCount && slots_[slot].device) slot++;
  if (slot == kSlotCount) return 0;
  core::Logf(log, core::kLogInfo, Sjis("デバイスID[%d]に登録します\r\n"), slot);
  return InitInputDevice(slot, info, backend_, window_);
}

int InputSystem::InitInputDevice(int slot, const platform::InputDeviceInstance& info, platform::InputBackend* backend,
                                 platform::Window* window) {
  if (slot < 0 || slot >= kSlotCount) return 1;
  ClearSlotDevice(slot);
  InputDeviceSlot& s = slots_[slot];
  s.window = window;
  s.instanceInfo = info;

  // The low four bits of the type word choose the set-up: 3 keyboard, 2
  // mouse (never used), 4 joystick, anything else is set up as a joystick
  // but with only two buttons mapped.
  int type = int(info.deviceType & 0xF);
  bool keyboard = type == kKindKeyboard;
  if (type == kKindMouse) {
    core::Log(log, core::kLogInfo, Sjis("ポインティングデバイス\r\n"));
    core::Log(log, core::kLogInfo, Sjis("ポインティングデバイスは登録されません。\r\n"));
    ClearSlotDevice(slot);
    return 1;
  }
  bool joystick = type == 4;
  if (keyboard)
    core::Log(log, core::kLogInfo, Sjis("キーボードデバイス\r\n"));
  else
    core::Log(log, core::kLogInfo, joystick ? Sjis("ジョイスティックデバイス\r\n") : Sjis("その他のデバイス\r\n"));

  // Each failing step leaves the slot free (and nameless) for the next
  // device found.
  auto fail = [&](const char* why, platform::InputDevice* device) {
    core::Log(log, core::kLogInfo, why);
    platform::ReleaseInputDevice(device);
    ClearSlotDevice(slot);
    return 1;
  };
  platform::InputDevice* device = platform::CreateInputDevice(backend, info.instanceId);
  if (!device) return fail(Sjis("DirectInputDeviceの作成に失敗しました\r\n"), nullptr);
  platform::InputDataFormat format = keyboard ? platform::InputDataFormat::Keyboard : platform::InputDataFormat::Joystick;
  if (!platform::SetInputDataFormat(device, format)) return fail(Sjis("データフォーマット設定に失敗しました\r\n"), device);
  if (!platform::SetInputCooperativeLevel(device, window, !keyboard)) {
    return fail(keyboard ? Sjis("バックグラウンド動作設定に失敗しました\r\n") : Sjis("バックグラウンド動作に失敗しました\r\n"),
                device);
  }

  // Default maps. They hold only until start-up applies the saved
  // assignments, which replace every map entry of a recognised device.
  if (keyboard) {
    static constexpr uint8_t kKeyboardMap[][2] = {
        {0, 200}, {1, 208}, {2, 203}, {3, 205},  // arrows up, down, left, right
        {8, 44},  {9, 45},  {10, 46}, {11, 47},  // Z, X, C, V
        {12, 30}, {13, 31}, {14, 32}, {15, 33},  // A, S, D, F
        {64, 1},  {65, 57}, {66, 157}, {67, 29}, // Esc, Space, right Ctrl, left Ctrl
        {68, 59}, {69, 60}, {70, 61}, {71, 62},  // F1..F4
    };
    for (const auto& m : kKeyboardMap) s.map[m[0]] = m[1];
    core::Log(log, core::kLogInfo, Sjis("キーボードデバイスを登録しました。\r\n"));
  } else {
    // Axes report on -1000..1000 so each direction is already on the raw
    // scale of 0..1000.
    for (int a = 0; a < platform::kJoystickAxisCount; a++) platform::SetInputAxisRange(device, a, -kRawFull, kRawFull);
    if (joystick) {
      // The stick's Y-, Y+, X-, X+ drive up, down, left, right.
      s.map[0] = 67;
      s.map[1] = 66;
      s.map[2] = 65;
      s.map[3] = 64;
      for (int b = 0; b < 8; b++) s.map[8 + b] = uint8_t(b);
      core::Log(log, core::kLogInfo, Sjis("ジョイスティックデバイスを登録しました。\r\n"));
    } else {
      s.map[8] = 0;
      s.map[9] = 1;
      core::Log(log, core::kLogInfo, Sjis("その他のデバイスを登録しました。\r\n"));
    }
  }
  s.device = device;
  s.enabled = 1;
  // A device that cannot be acquired now reads zeros and is acquired again
  // at its first read.
  platform::AcquireInputDevice(device);
  return 1;
}

// One read into `raw`, calibrated against `rawMax`/`rawMin` (the slot's own
// or a caller's copy). A disabled device returns before the calibration, so
// the zeros it reads while the window is inactive never count as movement.
void InputSystem::ReadDevice(int slot, int16_t* raw, int16_t* rawMax, int16_t* rawMin) {
  InputDeviceSlot& s = slots_[slot];
  std::memset(raw, 0, sizeof(int16_t) * kRawCodeCount);
  if (!s.enabled) return;

  bool ok;
  if (GetDeviceKind(slot) == kKindKeyboard) {
    uint8_t keys[platform::kKeyboardStateBytes];
    platform::InputResult r = platform::GetKeyboardState(s.device, keys);
    ok = r == platform::InputResult::Ok;
    if (ok) {
      for (int c = 0; c < kRawCodeCount; c++) raw[c] = keys[c] ? kRawFull : 0;
    } else if (r == platform::InputResult::InputLost || r == platform::InputResult::NotAcquired) {
      // One line per loss, however many frames it lasts; acquisition is
      // tried again at every read until the device is back.
      if (!s.lost)
        core::Log(log, core::kLogError, Sjis("キーボードデバイスが入力フォーカスを失いました。復帰を試みます。\n"));
      platform::AcquireInputDevice(s.device);
    }
  } else {
    platform::PollInputDevice(s.device);
    platform::JoystickState js;
    platform::InputResult r = platform::GetJoystickState(s.device, &js);
    ok = r == platform::InputResult::Ok;
    if (ok) {
      // Buttons 1 to 32 only: raw codes 32 and up belong to the axes.
      for (int b = 0; b < 32; b++)
        if (js.buttons[b] & 0x80) raw[b] = kRawFull;
      // Each axis is two half-axes, so a direction can be mapped to a button
      // and the two halves of one axis to opposite logical buttons.
      for (int a = 0; a < platform::kJoystickAxisCount; a++) {
        int32_t v = js.axis[a];
        if (v > 0) raw[kAxisRawCodes[a]] = Clamp1000(v);
        if (v < 0) raw[kAxisRawCodes[a] + 1] = Clamp1000(-int64_t(v));
      }
      // A centred hat reports a value past the last direction. Whole degrees
      // in single precision: a diagonal reads 707 on both of its directions,
      // just past the 700 that pad mode asks of a hat direction.
      if (js.pov[0] <= 35999) {
        float angle = float(js.pov[0] / 100) * kRadiansPerDegree;
        int u = int(std::cos(angle) * 1000.0f);
        int w = int(std::sin(angle) * 1000.0f);
        if (u > 0) raw[kRawHatUp] = Clamp1000(u);
        if (u < 0) raw[kRawHatDown] = Clamp1000(-u);
        if (w > 0) raw[kRawHatRight] = Clamp1000(w);
        if (w < 0) raw[kRawHatLeft] = Clamp1000(-w);
      }
    } else if (r == platform::InputResult::InputLost || r == platform::InputResult::NotAcquired) {
      if (!s.lost)
        core::Log(log, core::kLogError, Sjis("ゲームコントローラが入力フォーカスを失いました。復帰を試みます。\n"));
      platform::AcquireInputDevice(s.device);
    }
  }
  s.lost = ok ? 0 : 1;
  // Code 255 stands for "unmapped" and must never come on.
  raw[kRawNone] = 0;

  // Calibration: a code reads 0 until it has been seen to move across half
  // the scale, which keeps a throttle resting at full or a key held during
  // start-up from firing at once.
  for (int c = 0; c < kRawCodeCount; c++) {
    if (raw[c] > rawMax[c]) rawMax[c] = raw[c];
    if (raw[c] < rawMin[c]) rawMin[c] = raw[c];
    if (rawMax[c] - rawMin[c] < 500) raw[c] = 0;
  }
}

int InputSystem::PollDeviceState(int slot, InputRawBuffer* buffer) {
  if (slot < 0 || slot >= kSlotCount || !slots_[slot].device) return 1;
  InputDeviceSlot& s = slots_[slot];
  if (buffer)
    ReadDevice(slot, buffer->raw, buffer->rawMax, buffer->rawMin);
  else
    ReadDevice(slot, s.raw, s.rawMax, s.rawMin);
  return 0;
}

// Scripts and the editor read raw values through here (the key-assignment
// screens); the logical pad is not touched.
int InputSystem::PollDevice(int slotOrGroup, InputRawBuffer* buffer) {
  int slot = -1;
  if (slotOrGroup >= kSlotCount) {
    slot = -1;
  } else if (slotOrGroup >= 0) {
    slot = slotOrGroup;
  } else if (slotOrGroup == kGroupKeyboards || slotOrGroup == kGroupPads) {
    int kind = slotOrGroup == kGroupKeyboards ? kKindKeyboard : kKindPad;
    for (int s = 0; s < kSlotCount && slot < 0; s++)
      if (slots_[s].device && GetDeviceKind(s) == kind) slot = s;
  } else {
    slot = 0;
  }
  bool present = slot >= 0 && slots_[slot].device;
  if (buffer) {
    std::memset(buffer->raw, 0, sizeof buffer->raw);
    if (!present) return 0;
    // Calibrated as the slot is, without moving the slot's own extremes.
    std::memcpy(buffer->rawMax, slots_[slot].rawMax, sizeof buffer->rawMax);
    std::memcpy(buffer->rawMin, slots_[slot].rawMin, sizeof buffer->rawMin);
  }
  if (!present) return 0;
  PollDeviceState(slot, buffer);
  return 1;
}

// Free slots read as pads (kind 4) and so take part in the pad group; they
// read all zeros, so they never change a group's result.
bool InputSystem::InGroup(int slot, int group) const {
  if (group >= 0) return slot == group;
  if (group == kGroupKeyboards) return GetDeviceKind(slot) == kKindKeyboard;
  if (group == kGroupPads) return GetDeviceKind(slot) == kKindPad;
  return true;
}

int InputSystem::SetDeviceEnabled(int slotOrGroup, int flag) {
  if (slotOrGroup >= kSlotCount) return 0;
  if (slotOrGroup >= 0) {
    int previous = slots_[slotOrGroup].enabled;
    slots_[slotOrGroup].enabled = flag;
    return previous;
  }
  for (int s = 0; s < kSlotCount; s++)
    if (InGroup(s, slotOrGroup)) slots_[s].enabled = flag;
  return 0;
}

int InputSystem::GetDeviceKind(int slot) const {
  if (slot < 0 || slot >= kSlotCount) return 0;
  int type = int(slots_[slot].instanceInfo.deviceType & 0xF);
  return type == kKindKeyboard || type == kKindMouse ? type : kKindPad;
}

const char* InputSystem::GetDeviceName(int slot) const {
  if (slot < 0 || slot >= kSlotCount) return "";
  if (GetDeviceKind(slot) == kKindKeyboard) return "Keyboard";
  return slots_[slot].instanceInfo.productName;
}

// Every device is unacquired and released (the first slot's first), then the
// device system is closed. Safe to call twice.
void InputSystem::DestroyInputSystem() {
  if (slots_[0].device) platform::UnacquireInputDevice(slots_[0].device);
  for (int s = 0; s < kSlotCount; s++) {
    platform::ReleaseInputDevice(slots_[s].device);
    slots_[s].device = nullptr;
  }
  platform::CloseInputBackend(backend_);
  backend_ = nullptr;
}

const InputDeviceSlot* InputSystem::Slot(int slot) const {
  return slot >= 0 && slot < kSlotCount ? &slots_[slot] : nullptr;
}

}  // namespace input
