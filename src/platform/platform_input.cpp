// platform_input.cpp -- the device layer: device set-up, acquisition and
// reads common to both backends, and SDL's keyboard and joysticks.

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform_input_local.h"
#include "platform/platform_local.h"

namespace platform {

namespace {

// ----------------------------------------------------------------------------
// Keyboard scan codes
//
// The engine and its saved settings number keys by the PC keyboard's scan
// codes, extended keys with the high bit (0x80 | code). SDL numbers them by
// USB usage; this table turns one into the other. Keys without a scan code
// (F16 and up, most media keys) read nowhere.
// ----------------------------------------------------------------------------

struct ScanCodePair {
  int sdl;
  uint8_t scanCode;
};

constexpr ScanCodePair kScanCodePairs[] = {
    {SDL_SCANCODE_A, 30},  {SDL_SCANCODE_B, 48},  {SDL_SCANCODE_C, 46},  {SDL_SCANCODE_D, 32},
    {SDL_SCANCODE_E, 18},  {SDL_SCANCODE_F, 33},  {SDL_SCANCODE_G, 34},  {SDL_SCANCODE_H, 35},
    {SDL_SCANCODE_I, 23},  {SDL_SCANCODE_J, 36},  {SDL_SCANCODE_K, 37},  {SDL_SCANCODE_L, 38},
    {SDL_SCANCODE_M, 50},  {SDL_SCANCODE_N, 49},  {SDL_SCANCODE_O, 24},  {SDL_SCANCODE_P, 25},
    {SDL_SCANCODE_Q, 16},  {SDL_SCANCODE_R, 19},  {SDL_SCANCODE_S, 31},  {SDL_SCANCODE_T, 20},
    {SDL_SCANCODE_U, 22},  {SDL_SCANCODE_V, 47},  {SDL_SCANCODE_W, 17},  {SDL_SCANCODE_X, 45},
    {SDL_SCANCODE_Y, 21},  {SDL_SCANCODE_Z, 44},
    {SDL_SCANCODE_1, 2},   {SDL_SCANCODE_2, 3},   {SDL_SCANCODE_3, 4},   {SDL_SCANCODE_4, 5},
    {SDL_SCANCODE_5, 6},   {SDL_SCANCODE_6, 7},   {SDL_SCANCODE_7, 8},   {SDL_SCANCODE_8, 9},
    {SDL_SCANCODE_9, 10},  {SDL_SCANCODE_0, 11},
    {SDL_SCANCODE_RETURN, 28},        {SDL_SCANCODE_ESCAPE, 1},
    {SDL_SCANCODE_BACKSPACE, 14},     {SDL_SCANCODE_TAB, 15},
    {SDL_SCANCODE_SPACE, 57},         {SDL_SCANCODE_MINUS, 12},
    {SDL_SCANCODE_EQUALS, 13},        {SDL_SCANCODE_LEFTBRACKET, 26},
    {SDL_SCANCODE_RIGHTBRACKET, 27},  {SDL_SCANCODE_BACKSLASH, 43},
    {SDL_SCANCODE_NONUSHASH, 43},     {SDL_SCANCODE_SEMICOLON, 39},
    {SDL_SCANCODE_APOSTROPHE, 40},    {SDL_SCANCODE_GRAVE, 41},
    {SDL_SCANCODE_COMMA, 51},         {SDL_SCANCODE_PERIOD, 52},
    {SDL_SCANCODE_SLASH, 53},         {SDL_SCANCODE_CAPSLOCK, 58},
    {SDL_SCANCODE_F1, 59},  {SDL_SCANCODE_F2, 60},  {SDL_SCANCODE_F3, 61},  {SDL_SCANCODE_F4, 62},
    {SDL_SCANCODE_F5, 63},  {SDL_SCANCODE_F6, 64},  {SDL_SCANCODE_F7, 65},  {SDL_SCANCODE_F8, 66},
    {SDL_SCANCODE_F9, 67},  {SDL_SCANCODE_F10, 68}, {SDL_SCANCODE_F11, 87}, {SDL_SCANCODE_F12, 88},
    {SDL_SCANCODE_F13, 100}, {SDL_SCANCODE_F14, 101}, {SDL_SCANCODE_F15, 102},
    {SDL_SCANCODE_PRINTSCREEN, 183},  {SDL_SCANCODE_SCROLLLOCK, 70},
    {SDL_SCANCODE_PAUSE, 197},        {SDL_SCANCODE_INSERT, 210},
    {SDL_SCANCODE_HOME, 199},         {SDL_SCANCODE_PAGEUP, 201},
    {SDL_SCANCODE_DELETE, 211},       {SDL_SCANCODE_END, 207},
    {SDL_SCANCODE_PAGEDOWN, 209},     {SDL_SCANCODE_RIGHT, 205},
    {SDL_SCANCODE_LEFT, 203},         {SDL_SCANCODE_DOWN, 208},
    {SDL_SCANCODE_UP, 200},           {SDL_SCANCODE_NUMLOCKCLEAR, 69},
    {SDL_SCANCODE_KP_DIVIDE, 181},    {SDL_SCANCODE_KP_MULTIPLY, 55},
    {SDL_SCANCODE_KP_MINUS, 74},      {SDL_SCANCODE_KP_PLUS, 78},
    {SDL_SCANCODE_KP_ENTER, 156},     {SDL_SCANCODE_KP_1, 79},
    {SDL_SCANCODE_KP_2, 80},          {SDL_SCANCODE_KP_3, 81},
    {SDL_SCANCODE_KP_4, 75},          {SDL_SCANCODE_KP_5, 76},
    {SDL_SCANCODE_KP_6, 77},          {SDL_SCANCODE_KP_7, 71},
    {SDL_SCANCODE_KP_8, 72},          {SDL_SCANCODE_KP_9, 73},
    {SDL_SCANCODE_KP_0, 82},          {SDL_SCANCODE_KP_PERIOD, 83},
    {SDL_SCANCODE_NONUSBACKSLASH, 86}, {SDL_SCANCODE_APPLICATION, 221},
    {SDL_SCANCODE_POWER, 222},        {SDL_SCANCODE_KP_EQUALS, 141},
    {SDL_SCANCODE_KP_COMMA, 179},     {SDL_SCANCODE_MUTE, 160},
    {SDL_SCANCODE_VOLUMEUP, 176},     {SDL_SCANCODE_VOLUMEDOWN, 174},
    // Japanese keys: ro, katakana/hiragana, yen, henkan, muhenkan.
    {SDL_SCANCODE_INTERNATIONAL1, 115}, {SDL_SCANCODE_INTERNATIONAL2, 112},
    {SDL_SCANCODE_INTERNATIONAL3, 125}, {SDL_SCANCODE_INTERNATIONAL4, 121},
    {SDL_SCANCODE_INTERNATIONAL5, 123},
    {SDL_SCANCODE_LCTRL, 29},   {SDL_SCANCODE_LSHIFT, 42},  {SDL_SCANCODE_LALT, 56},
    {SDL_SCANCODE_LGUI, 219},   {SDL_SCANCODE_RCTRL, 157},  {SDL_SCANCODE_RSHIFT, 54},
    {SDL_SCANCODE_RALT, 184},   {SDL_SCANCODE_RGUI, 220},
    {SDL_SCANCODE_AUDIONEXT, 153},  {SDL_SCANCODE_AUDIOPREV, 144},
    {SDL_SCANCODE_AUDIOSTOP, 164},  {SDL_SCANCODE_AUDIOPLAY, 162},
    {SDL_SCANCODE_AUDIOMUTE, 160},  {SDL_SCANCODE_MEDIASELECT, 237},
    {SDL_SCANCODE_MAIL, 236},       {SDL_SCANCODE_CALCULATOR, 161},
    {SDL_SCANCODE_COMPUTER, 235},   {SDL_SCANCODE_AC_SEARCH, 229},
    {SDL_SCANCODE_AC_HOME, 178},    {SDL_SCANCODE_AC_BACK, 234},
    {SDL_SCANCODE_AC_FORWARD, 233}, {SDL_SCANCODE_AC_STOP, 232},
    {SDL_SCANCODE_AC_REFRESH, 231}, {SDL_SCANCODE_AC_BOOKMARKS, 230},
    {SDL_SCANCODE_SLEEP, 223},
};

struct ScanCodeTable {
  uint8_t of[SDL_NUM_SCANCODES];
};

constexpr ScanCodeTable MakeScanCodeTable() {
  ScanCodeTable t{};
  for (const ScanCodePair& p : kScanCodePairs) t.of[p.sdl] = p.scanCode;
  return t;
}

constexpr ScanCodeTable kScanCodes = MakeScanCodeTable();

// ----------------------------------------------------------------------------
// SDL devices and their ids
// ----------------------------------------------------------------------------

// The one keyboard SDL offers, under ids of our own.
constexpr uint8_t kKeyboardInstanceId[16] = {'t', 'k', 'w', '4', '-', 's', 'y', 's',
                                             '-', 'k', 'e', 'y', 'b', 'o', 'a', 'r'};
constexpr uint8_t kKeyboardProductId[16] = {'t', 'k', 'w', '4', '-', 'k', 'e', 'y',
                                            'b', 'o', 'a', 'r', 'd', 0, 0, 1};
constexpr const char* kKeyboardName = "Keyboard";

// FNV-1a, to fold a device's identity into a 16-byte id.
uint64_t Fnv1a(const void* data, size_t size, uint64_t hash) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; i++) hash = (hash ^ p[i]) * 0x100000001B3ull;
  return hash;
}

// A joystick's instance id: its model's id, its device path and its place
// among the joysticks of the same model and path (path-less virtual ones),
// so that a device unplugged and plugged in again on the same port comes
// back under the same id and can be re-acquired.
void JoystickInstanceId(int index, uint8_t out[16]) {
  SDL_JoystickGUID guid = SDL_JoystickGetDeviceGUID(index);
  const char* path = SDL_JoystickPathForIndex(index);
  std::string key(path ? path : "");
  int ordinal = 0;
  for (int j = 0; j < index; j++) {
    SDL_JoystickGUID other = SDL_JoystickGetDeviceGUID(j);
    const char* otherPath = SDL_JoystickPathForIndex(j);
    if (std::memcmp(&guid, &other, sizeof guid) == 0 && key == (otherPath ? otherPath : "")) ordinal++;
  }
  uint64_t h = Fnv1a(&guid, sizeof guid, 0xCBF29CE484222325ull);
  h = Fnv1a(key.data(), key.size(), h);
  h = Fnv1a(&ordinal, sizeof ordinal, h);
  uint64_t h2 = Fnv1a(&h, sizeof h, 0x84222325CBF29CE4ull);
  std::memcpy(out, &h, 8);
  std::memcpy(out + 8, &h2, 8);
}

// The type word from SDL's guess at the controller's kind. Most pads are
// "game controllers" (type 5), which the input system sets up with two
// buttons only: the saved or default assignments of start-up do the rest.
uint32_t DeviceTypeOf(SDL_JoystickType type) {
  switch (type) {
    case SDL_JOYSTICK_TYPE_GAMECONTROLLER: return kInputTypeGamepad;
    case SDL_JOYSTICK_TYPE_WHEEL: return kInputTypeDriving;
    case SDL_JOYSTICK_TYPE_FLIGHT_STICK:
    case SDL_JOYSTICK_TYPE_THROTTLE: return kInputTypeFlight;
    default: return kInputTypeJoystick;
  }
}

void CopyName(char* out, const std::string& name) { std::snprintf(out, kInputNameBytes, "%s", name.c_str()); }

// What enumeration reports of SDL joystick `index`. Names come from SDL in
// UTF-8 and go out in Shift-JIS like every text of the engine.
InputDeviceInstance JoystickInstance(int index) {
  InputDeviceInstance d;
  std::memset(&d, 0, sizeof d);
  JoystickInstanceId(index, d.instanceId);
  // The product id carries vendor and product in its first 32 bits.
  uint32_t vidPid = uint32_t(SDL_JoystickGetDeviceVendor(index)) |
                    uint32_t(SDL_JoystickGetDeviceProduct(index)) << 16;
  std::memcpy(d.productId, &vidPid, 4);
  std::memcpy(d.productId + 10, "PIDVID", 6);
  d.deviceType = DeviceTypeOf(SDL_JoystickGetDeviceType(index));
  const char* name = SDL_JoystickNameForIndex(index);
  std::string sjis = Utf8ToCp932(name ? name : "");
  CopyName(d.instanceName, sjis);
  CopyName(d.productName, sjis);
  return d;
}

InputDeviceInstance KeyboardInstance() {
  InputDeviceInstance d;
  std::memset(&d, 0, sizeof d);
  std::memcpy(d.instanceId, kKeyboardInstanceId, 16);
  std::memcpy(d.productId, kKeyboardProductId, 16);
  d.deviceType = kInputTypeKeyboard;
  CopyName(d.instanceName, kKeyboardName);
  CopyName(d.productName, kKeyboardName);
  return d;
}

// Whether another of the backend's devices reads SDL joystick `index`.
bool HeldByAnother(const InputBackend* b, const InputDevice* self, int index) {
  SDL_JoystickID jid = SDL_JoystickGetDeviceInstanceID(index);
  for (const InputDevice* d : b->devices)
    if (d != self && d->joystick && SDL_JoystickGetAttached(d->joystick) && SDL_JoystickInstanceID(d->joystick) == jid)
      return true;
  return false;
}

// The SDL device index of the attached joystick with this id that no other
// device of the backend reads, or -1.
int FindJoystick(const InputBackend* b, const InputDevice* self, const uint8_t instanceId[16]) {
  int n = SDL_NumJoysticks();
  for (int i = 0; i < n; i++) {
    uint8_t id[16];
    JoystickInstanceId(i, id);
    if (std::memcmp(id, instanceId, 16) == 0 && !HeldByAnother(b, self, i)) return i;
  }
  return -1;
}

bool IsKeyboardType(uint32_t type) { return (type & 0xF) == 3; }

// Whether the device can be read now; an SDL joystick that was unplugged and
// has come back is opened again.
bool Attached(InputDevice* d, bool reopen) {
  if (d->backend->script) return ScriptDevicePlugged(d->backend->script, d->scripted);
  if (!d->joystick) return true;  // the keyboard
  if (SDL_JoystickGetAttached(d->joystick)) return true;
  if (!reopen) return false;
  int index = FindJoystick(d->backend, d, d->instanceId);
  if (index < 0) return false;
  SDL_Joystick* again = SDL_JoystickOpen(index);
  if (!again) return false;
  SDL_JoystickClose(d->joystick);
  d->joystick = again;
  return true;
}

// SDL's -32768..32767 on -1000..1000, the middle at 0.
int32_t NormaliseSdlAxis(int16_t v) { return int32_t((int64_t(v) + 32768) * 2000 / 65535) - 1000; }

uint32_t PovOfHat(uint8_t hat) {
  switch (hat) {
    case SDL_HAT_UP: return 0;
    case SDL_HAT_RIGHTUP: return 4500;
    case SDL_HAT_RIGHT: return 9000;
    case SDL_HAT_RIGHTDOWN: return 13500;
    case SDL_HAT_DOWN: return 18000;
    case SDL_HAT_LEFTDOWN: return 22500;
    case SDL_HAT_LEFT: return 27000;
    case SDL_HAT_LEFTUP: return 31500;
    default: return kPovCentred;
  }
}

uint8_t HatOfPov(uint32_t pov) {
  if (pov > 35999) return SDL_HAT_CENTERED;
  static constexpr uint8_t kHats[8] = {SDL_HAT_UP,   SDL_HAT_RIGHTUP,  SDL_HAT_RIGHT, SDL_HAT_RIGHTDOWN,
                                       SDL_HAT_DOWN, SDL_HAT_LEFTDOWN, SDL_HAT_LEFT,  SDL_HAT_LEFTUP};
  return kHats[((pov + 2250) / 4500) % 8];
}

// SDL numbers a joystick's axes in the order the device lists them, which
// for the usual HID controller is X, Y, Z, the rotations and the sliders,
// the order JoystickState keeps. Controls the device lacks stay at rest.
void ReadSdlJoystick(SDL_Joystick* j, JoystickState* s) {
  int axes = SDL_JoystickNumAxes(j);
  for (int a = 0; a < kJoystickAxisCount && a < axes; a++) s->axis[a] = NormaliseSdlAxis(SDL_JoystickGetAxis(j, a));
  int hats = SDL_JoystickNumHats(j);
  for (int h = 0; h < kJoystickPovCount && h < hats; h++) s->pov[h] = PovOfHat(SDL_JoystickGetHat(j, h));
  int buttons = SDL_JoystickNumButtons(j);
  for (int b = 0; b < kJoystickButtonCount && b < buttons; b++)
    s->buttons[b] = SDL_JoystickGetButton(j, b) ? 0x80 : 0;
}

// SDL's keyboard state follows the events the main loop takes, and is
// cleared by SDL when the window loses the focus.
void ReadSdlKeyboard(uint8_t state[kKeyboardStateBytes]) {
  int count = 0;
  const Uint8* keys = SDL_GetKeyboardState(&count);
  if (!keys) return;
  for (int sc = 0; sc < count && sc < SDL_NUM_SCANCODES; sc++)
    if (keys[sc] && kScanCodes.of[sc]) state[kScanCodes.of[sc]] = 0x80;
}

// The common tests before a read: the layout asked for, acquisition and a
// loss since the last read.
// A loss unacquires the device: the reader is told once (InputLost), later
// reads say NotAcquired until the device is acquired again.
InputResult CheckReadable(InputDevice* d, InputDataFormat format) {
  if (!d->formatSet || d->format != format) return InputResult::Failed;
  if (!d->acquired) return InputResult::NotAcquired;
  bool lost = d->backend->script && TakeScriptDeviceLoss(d->backend->script, d->scripted);
  if (lost || !Attached(d, false)) {
    d->acquired = false;
    return InputResult::InputLost;
  }
  return InputResult::Ok;
}

}  // namespace

// ----------------------------------------------------------------------------
// The device system
// ----------------------------------------------------------------------------

// The scripted backend replaces SDL's whole: with a script set, no real
// device is read, so a run is reproducible whatever is plugged in.
InputBackend* OpenInputBackend(Window* window, std::string* error) {
  const char* scriptPath = std::getenv("TKW4_INPUT_SCRIPT");
  InputBackend* b = new InputBackend;
  b->window = window;
  if (scriptPath && *scriptPath) {
    std::string reason;
    b->script = LoadInputScript(scriptPath, &reason);
    if (!b->script) {
      if (error) *error = reason;
      delete b;
      return nullptr;
    }
    return b;
  }
  // Controllers are read whether or not the window has the focus. Without a
  // joystick subsystem the keyboard alone is offered.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  b->joysticksStarted = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
  return b;
}

void CloseInputBackend(InputBackend* b) {
  if (!b) return;
  FreeInputScript(b->script);
  if (b->joysticksStarted) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
  delete b;
}

void UpdateInputBackend(InputBackend* b) {
  if (!b) return;
  if (b->script) {
    AdvanceInputScript(b->script, b->window);
  } else if (b->joysticksStarted) {
    SDL_JoystickUpdate();
  }
}

void EnumInputDevices(InputBackend* b, InputDeviceClass deviceClass, InputDeviceFound found, void* user) {
  if (!b || !found) return;
  if (b->script) {
    EnumScriptDevices(b->script, deviceClass, found, user);
    return;
  }
  if (deviceClass == InputDeviceClass::Keyboard) {
    found(user, KeyboardInstance());
    return;
  }
  if (!b->joysticksStarted) return;
  int n = SDL_NumJoysticks();
  for (int i = 0; i < n; i++)
    if (!found(user, JoystickInstance(i))) return;
}

// Every axis starts on -1000..1000; SetInputAxisRange may change it.
InputDevice* CreateInputDevice(InputBackend* b, const uint8_t instanceId[16]) {
  if (!b || !instanceId) return nullptr;
  InputDevice* d = new InputDevice;
  d->backend = b;
  std::memcpy(d->instanceId, instanceId, 16);
  for (int a = 0; a < kJoystickAxisCount; a++) {
    d->rangeMin[a] = -1000;
    d->rangeMax[a] = 1000;
  }
  if (b->script) {
    d->scripted = FindScriptDevice(b->script, instanceId);
    if (d->scripted < 0 || ScriptDeviceRefusal(b->script, d->scripted) == ScriptRefusal::Create) {
      delete d;
      return nullptr;
    }
    d->deviceType = ScriptDeviceType(b->script, d->scripted);
    return d;
  }
  if (std::memcmp(instanceId, kKeyboardInstanceId, 16) == 0) {
    d->deviceType = kInputTypeKeyboard;
    return d;
  }
  int index = b->joysticksStarted ? FindJoystick(b, d, instanceId) : -1;
  d->joystick = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
  if (!d->joystick) {
    delete d;
    return nullptr;
  }
  d->deviceType = DeviceTypeOf(SDL_JoystickGetDeviceType(index));
  b->devices.push_back(d);
  return d;
}

void ReleaseInputDevice(InputDevice* d) {
  if (!d) return;
  UnacquireInputDevice(d);
  std::vector<InputDevice*>& all = d->backend->devices;
  for (size_t i = 0; i < all.size(); i++) {
    if (all[i] == d) {
      all.erase(all.begin() + long(i));
      break;
    }
  }
  if (d->joystick) SDL_JoystickClose(d->joystick);
  delete d;
}

bool SetInputDataFormat(InputDevice* d, InputDataFormat format) {
  if (!d) return false;
  if (d->backend->script && ScriptDeviceRefusal(d->backend->script, d->scripted) == ScriptRefusal::Format)
    return false;
  // A keyboard gives only the keyboard layout, a controller only its own.
  if (IsKeyboardType(d->deviceType) != (format == InputDataFormat::Keyboard)) return false;
  d->format = format;
  d->formatSet = true;
  return true;
}

bool SetInputCooperativeLevel(InputDevice* d, Window* window, bool exclusive) {
  (void)window;
  (void)exclusive;  // SDL shares every device; nothing else can take one away
  if (!d) return false;
  return !(d->backend->script && ScriptDeviceRefusal(d->backend->script, d->scripted) == ScriptRefusal::Cooperative);
}

bool SetInputAxisRange(InputDevice* d, int axis, int32_t minimum, int32_t maximum) {
  if (!d || axis < 0 || axis >= kJoystickAxisCount || minimum >= maximum) return false;
  d->rangeMin[axis] = minimum;
  d->rangeMax[axis] = maximum;
  return true;
}

// Acquiring is where an unplugged SDL controller that has come back is
// found again (see Attached).
InputResult AcquireInputDevice(InputDevice* d) {
  if (!d || !d->formatSet) return InputResult::Failed;
  if (!Attached(d, true)) return InputResult::Failed;
  d->acquired = true;
  return InputResult::Ok;
}

void UnacquireInputDevice(InputDevice* d) {
  if (d) d->acquired = false;
}

InputResult PollInputDevice(InputDevice* d) {
  if (!d) return InputResult::Failed;
  // States are refreshed once per frame by UpdateInputBackend; polling only
  // tells whether the device can be read.
  return d->acquired ? InputResult::Ok : InputResult::NotAcquired;
}

InputResult GetKeyboardState(InputDevice* d, uint8_t state[kKeyboardStateBytes]) {
  std::memset(state, 0, kKeyboardStateBytes);
  if (!d) return InputResult::Failed;
  InputResult r = CheckReadable(d, InputDataFormat::Keyboard);
  if (r != InputResult::Ok) return r;
  if (d->backend->script)
    ReadScriptKeyboard(d->backend->script, d->scripted, state);
  else
    ReadSdlKeyboard(state);
  return InputResult::Ok;
}

// A failed read still returns a well-formed state: buttons up, hats
// centred, axes at the middle of their ranges.
InputResult GetJoystickState(InputDevice* d, JoystickState* state) {
  std::memset(state, 0, sizeof *state);
  for (uint32_t& pov : state->pov) pov = kPovCentred;
  if (!d) return InputResult::Failed;
  InputResult r = CheckReadable(d, InputDataFormat::Joystick);
  if (r == InputResult::Ok) {
    if (d->backend->script)
      ReadScriptJoystick(d->backend->script, d->scripted, state);
    else
      ReadSdlJoystick(d->joystick, state);
  }
  // Axes come as -1000..1000 and go out on each axis's range; a failed read
  // leaves them at the middle.
  for (int a = 0; a < kJoystickAxisCount; a++) {
    int64_t lo = d->rangeMin[a], hi = d->rangeMax[a];
    state->axis[a] = int32_t(lo + (int64_t(state->axis[a]) + 1000) * (hi - lo) / 2000);
  }
  return r;
}

// ----------------------------------------------------------------------------
// Test support
// ----------------------------------------------------------------------------

int AttachVirtualController(const char* name, int axes, int buttons, int hats) {
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return -1;
  SDL_VirtualJoystickDesc desc;
  std::memset(&desc, 0, sizeof desc);
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = uint16_t(SDL_clamp(axes, 0, kJoystickAxisCount));
  desc.nbuttons = uint16_t(SDL_clamp(buttons, 0, kJoystickButtonCount));
  desc.nhats = uint16_t(SDL_clamp(hats, 0, kJoystickPovCount));
  desc.name = name;
  int index = SDL_JoystickAttachVirtualEx(&desc);
  // The virtual device keeps one reference of its own, through which its
  // values are set; the handle is its SDL instance id.
  SDL_Joystick* j = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
  if (!j) {
    if (index >= 0) SDL_JoystickDetachVirtual(index);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    return -1;
  }
  return SDL_JoystickInstanceID(j);
}

void SetVirtualControllerAxis(int handle, int axis, int16_t value) {
  if (SDL_Joystick* j = SDL_JoystickFromInstanceID(handle)) SDL_JoystickSetVirtualAxis(j, axis, value);
}

void SetVirtualControllerButton(int handle, int button, bool down) {
  if (SDL_Joystick* j = SDL_JoystickFromInstanceID(handle)) SDL_JoystickSetVirtualButton(j, button, down ? 1 : 0);
}

void SetVirtualControllerHat(int handle, int hat, uint32_t pov) {
  if (SDL_Joystick* j = SDL_JoystickFromInstanceID(handle)) SDL_JoystickSetVirtualHat(j, hat, HatOfPov(pov));
}

void DetachVirtualController(int handle) {
  SDL_Joystick* j = SDL_JoystickFromInstanceID(handle);
  if (!j) return;
  int n = SDL_NumJoysticks();
  for (int i = 0; i < n; i++) {
    if (SDL_JoystickGetDeviceInstanceID(i) == handle) {
      SDL_JoystickDetachVirtual(i);
      break;
    }
  }
  SDL_JoystickClose(j);
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

int ScanCodeOfSdlScancode(int sdlScancode) {
  if (sdlScancode < 0 || sdlScancode >= SDL_NUM_SCANCODES) return 0;
  return kScanCodes.of[sdlScancode];
}

}  // namespace platform
