// platform_input_script.cpp -- the scripted input backend: devices declared
// in a text file whose states it replays frame by frame, so that a game can
// be driven without a keyboard or controller.
//
// The file is named by the environment variable TKW4_INPUT_SCRIPT. It is
// plain text (UTF-8), one statement a line; blanks separate words, "#"
// starts a comment, names stand in double quotes. Devices are declared in
// the order the system lists them, and numbered from 0 in that order:
//
//   keyboard ["NAME"] [OPTION...]      a keyboard (default name "Keyboard")
//   pad "NAME" [OPTION...]             a game controller
//
//   OPTION: type N    device type: 2 mouse, 3 keyboard, 4 joystick,
//                     5 gamepad, 6 wheel, 7 flight stick (default 3 for a
//                     keyboard, 4 for a pad)
//           id N      instance id; two devices with one id are one device
//                     reported twice (default: the device's number + 1)
//           fail create|format|cooperative
//                     the device refuses that set-up step
//
// Events change a device's state from a frame on and hold until changed:
//
//   at FRAME DEVICE CHANGE [CHANGE...]
//   at FRAME close                     asks the main window to close, as
//                                      the user closing it would (at frame
//                                      1 at the earliest)
//   at FRAME window KEY down|up [ctrl] [shift]
//                                      a key typed in the main window (its
//                                      own key handling, not a device's
//                                      state): KEY is a letter, a digit,
//                                      f1..f12, shift or ctrl; ctrl and
//                                      shift are the modifiers held with it
//                                      (at frame 1 at the earliest)
//
//   CHANGE: key CODE down|up|1|0       keyboard scan code 0..255
//           button N down|up|1|0       controller button 0..127
//           x|y|z|rx|ry|rz|slider1|slider2 VALUE     axis, -1000..1000
//           hat VALUE                  hundredths of a degree clockwise
//                                      from up, 0..35999, or -1 centred
//           lost                       the next read fails as when the
//                                      device loses the focus
//           unplug / plug              the device is gone / back
//
// Frame 0 is the state from the start; frame n is the state of the n-th
// displayed frame's read (each UpdateInputBackend moves one frame on).
// Events of one frame apply in file order.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform_input_local.h"
#include "platform/platform_public.h"

namespace platform {

namespace {

constexpr int kMaxScriptDevices = 64;
constexpr size_t kMaxScriptBytes = 16u << 20;

// One declared device and its state now. The state changes only when the
// script's frames advance, so every read of one frame sees the same values.
struct ScriptDevice {
  InputDeviceInstance instance;
  InputDeviceClass deviceClass;
  ScriptRefusal refusal = ScriptRefusal::None;
  bool plugged = true;
  int pendingLosses = 0;
  uint8_t keys[kKeyboardStateBytes] = {};
  JoystickState joystick;
};

enum class ChangeKind { Key, Button, Axis, Hat, Lost, Unplug, Plug, Close, WindowKey };

struct ScriptEvent {
  long frame;
  int device;  // -1 for close and window keys
  ChangeKind kind;
  int index;   // key, button or axis number; a window key's virtual key
  int32_t value;  // a window key's bits: 1 down, 2 ctrl, 4 shift
};

const char* const kAxisNames[kJoystickAxisCount] = {"x", "y", "z", "rx", "ry", "rz", "slider1", "slider2"};

// Splits a line into words; a double-quoted word keeps its blanks. False on
// an unclosed quote.
bool SplitWords(const std::string& line, std::vector<std::string>* words) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      i++;
    } else if (c == '#') {
      break;
    } else if (c == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) return false;
      words->push_back(line.substr(i, end + 1 - i));  // keeps the quotes
      i = end + 1;
    } else {
      size_t end = i;
      while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r' && line[end] != '#')
        end++;
      words->push_back(line.substr(i, end - i));
      i = end;
    }
  }
  return true;
}

// The virtual key of a window key's name; 0 for a name not known.
int WindowKeyOf(const std::string& name) {
  std::string n;
  for (char c : name) n += char(std::tolower(static_cast<unsigned char>(c)));
  if (n.size() == 1 && n[0] >= 'a' && n[0] <= 'z') return 'A' + (n[0] - 'a');
  if (n.size() == 1 && n[0] >= '0' && n[0] <= '9') return n[0];
  if (n == "shift") return kVkShift;
  if (n == "ctrl") return kVkControl;
  if (n.size() >= 2 && n[0] == 'f') {
    int f = std::atoi(n.c_str() + 1);
    if (f >= 1 && f <= 12 && n == "f" + std::to_string(f)) return kVkF1 + f - 1;
  }
  return 0;
}

bool IsQuoted(const std::string& w) { return w.size() >= 2 && w.front() == '"' && w.back() == '"'; }

bool ParseNumber(const std::string& w, long minimum, long maximum, long* out) {
  if (w.empty() || IsQuoted(w)) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(w.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || v < minimum || v > maximum) return false;
  *out = v;
  return true;
}

bool ParseSwitch(const std::string& w, int32_t* out) {
  if (w == "down" || w == "1") {
    *out = 1;
  } else if (w == "up" || w == "0") {
    *out = 0;
  } else {
    return false;
  }
  return true;
}

void IdBytes(uint32_t id, uint8_t out[16]) {
  std::memset(out, 0, 16);
  std::memcpy(out, &id, 4);
  std::memcpy(out + 4, "tkw4-scripted", 12);
}

}  // namespace

// A loaded script: its devices, its events sorted by frame, and how far the
// replay has come.
struct InputScript {
  std::vector<ScriptDevice> devices;
  std::vector<ScriptEvent> events;  // by frame, file order within a frame
  size_t next = 0;                  // first event not applied yet
  long frame = 0;
};

namespace {

// The parser keeps the line it is on for its messages.
struct Parser {
  InputScript* script = nullptr;
  std::string path;
  int line = 0;
  std::string error;

  bool Fail(const std::string& message) {
    char where[64];
    std::snprintf(where, sizeof where, "\" line %d: ", line);
    error = Utf8ToCp932("input script \"" + path + where + message);
    return false;
  }

  bool Declare(const std::vector<std::string>& w) {
    if (script->devices.size() >= size_t(kMaxScriptDevices)) return Fail("more than 64 devices");
    ScriptDevice d;
    std::memset(&d.instance, 0, sizeof d.instance);
    std::memset(&d.joystick, 0, sizeof d.joystick);
    for (uint32_t& pov : d.joystick.pov) pov = kPovCentred;
    bool keyboard = w[0] == "keyboard";
    d.deviceClass = keyboard ? InputDeviceClass::Keyboard : InputDeviceClass::GameController;
    size_t i = 1;
    std::string name = keyboard ? "Keyboard" : "";
    if (i < w.size() && IsQuoted(w[i])) {
      name = w[i].substr(1, w[i].size() - 2);
      i++;
    }
    if (!keyboard && name.empty()) return Fail("a pad needs a name in double quotes");
    long type = keyboard ? 3 : 4;
    long id = long(script->devices.size()) + 1;
    for (; i < w.size(); i += 2) {
      if (i + 1 >= w.size()) return Fail("\"" + w[i] + "\" needs a value");
      const std::string& option = w[i];
      const std::string& value = w[i + 1];
      if (option == "type") {
        if (!ParseNumber(value, 0, 15, &type)) return Fail("type must be 0..15");
      } else if (option == "id") {
        if (!ParseNumber(value, 0, 0x7FFFFFFF, &id)) return Fail("id must be a number");
      } else if (option == "fail") {
        if (value == "create") {
          d.refusal = ScriptRefusal::Create;
        } else if (value == "format") {
          d.refusal = ScriptRefusal::Format;
        } else if (value == "cooperative") {
          d.refusal = ScriptRefusal::Cooperative;
        } else {
          return Fail("fail takes create, format or cooperative");
        }
      } else {
        return Fail("unknown option \"" + option + "\"");
      }
    }
    IdBytes(uint32_t(id), d.instance.instanceId);
    uint32_t product = 0x811C9DC5u;
    for (unsigned char c : name) product = (product ^ c) * 0x01000193u;
    std::memcpy(d.instance.productId, &product, 4);
    std::memcpy(d.instance.productId + 10, "PIDVID", 6);
    d.instance.deviceType = 0x10u | uint32_t(type);
    std::string sjis = Utf8ToCp932(name);
    std::snprintf(d.instance.instanceName, kInputNameBytes, "%s", sjis.c_str());
    std::snprintf(d.instance.productName, kInputNameBytes, "%s", sjis.c_str());
    script->devices.push_back(d);
    return true;
  }

  bool Event(const std::vector<std::string>& w) {
    long frame = 0;
    if (w.size() < 3 || !ParseNumber(w[1], 0, 0x7FFFFFFF, &frame)) return Fail("at needs a frame number 0 or more");
    if (w[2] == "close") {
      if (w.size() != 3) return Fail("close takes nothing more");
      // The window exists from the first frame on.
      script->events.push_back({frame > 0 ? frame : 1, -1, ChangeKind::Close, 0, 0});
      return true;
    }
    if (w[2] == "window") {
      int vk = w.size() >= 4 ? WindowKeyOf(w[3]) : 0;
      if (!vk) return Fail("window needs a key: a letter, a digit, f1..f12, shift or ctrl");
      int32_t down = 0;
      if (w.size() < 5 || !ParseSwitch(w[4], &down)) return Fail("window key needs down or up");
      int32_t bits = down;
      for (size_t i = 5; i < w.size(); i++) {
        if (w[i] == "ctrl") bits |= 2;
        else if (w[i] == "shift") bits |= 4;
        else return Fail("unknown modifier \"" + w[i] + "\"");
      }
      script->events.push_back({frame > 0 ? frame : 1, -1, ChangeKind::WindowKey, vk, bits});
      return true;
    }
    long device = 0;
    if (!ParseNumber(w[2], 0, kMaxScriptDevices - 1, &device) || size_t(device) >= script->devices.size())
      return Fail("\"" + w[2] + "\" is not a device declared above");
    bool keyboard = script->devices[device].deviceClass == InputDeviceClass::Keyboard;
    if (w.size() == 3) return Fail("nothing to change");
    for (size_t i = 3; i < w.size();) {
      const std::string& what = w[i];
      ScriptEvent e{frame, int(device), ChangeKind::Lost, 0, 0};
      auto value = [&](size_t k) -> const std::string& {
        static const std::string kNone;
        return k < w.size() ? w[k] : kNone;
      };
      long n = 0;
      if (what == "lost" || what == "unplug" || what == "plug") {
        e.kind = what == "lost" ? ChangeKind::Lost : what == "unplug" ? ChangeKind::Unplug : ChangeKind::Plug;
        i += 1;
      } else if (what == "key") {
        if (!keyboard) return Fail("device " + w[2] + " is not a keyboard");
        if (!ParseNumber(value(i + 1), 0, 255, &n)) return Fail("key needs a scan code 0..255");
        if (!ParseSwitch(value(i + 2), &e.value)) return Fail("key needs down or up");
        e.kind = ChangeKind::Key;
        e.index = int(n);
        i += 3;
      } else if (what == "button") {
        if (keyboard) return Fail("device " + w[2] + " is a keyboard");
        if (!ParseNumber(value(i + 1), 0, kJoystickButtonCount - 1, &n)) return Fail("button needs a number 0..127");
        if (!ParseSwitch(value(i + 2), &e.value)) return Fail("button needs down or up");
        e.kind = ChangeKind::Button;
        e.index = int(n);
        i += 3;
      } else if (what == "hat") {
        if (keyboard) return Fail("device " + w[2] + " is a keyboard");
        if (!ParseNumber(value(i + 1), -1, 35999, &n)) return Fail("hat needs 0..35999 or -1");
        e.kind = ChangeKind::Hat;
        e.value = int32_t(n);
        i += 2;
      } else {
        int axis = int(std::find(kAxisNames, kAxisNames + kJoystickAxisCount, what) - kAxisNames);
        if (axis == kJoystickAxisCount) return Fail("unknown change \"" + what + "\"");
        if (keyboard) return Fail("device " + w[2] + " is a keyboard");
        if (!ParseNumber(value(i + 1), -1000, 1000, &n)) return Fail(what + " needs a value -1000..1000");
        e.kind = ChangeKind::Axis;
        e.index = axis;
        e.value = int32_t(n);
        i += 2;
      }
      script->events.push_back(e);
    }
    return true;
  }

  bool Statement(const std::string& text) {
    std::vector<std::string> w;
    if (!SplitWords(text, &w)) return Fail("unclosed double quote");
    if (w.empty()) return true;
    if (w[0] == "keyboard" || w[0] == "pad") return Declare(w);
    if (w[0] == "at") return Event(w);
    return Fail("unknown statement \"" + w[0] + "\"");
  }
};

// A change holds until the next change of the same control.
void Apply(InputScript* s, const ScriptEvent& e, Window* window) {
  if (e.kind == ChangeKind::Close) {
    if (window) PostCloseEvent(window);  // without a main window there is nothing to close
    return;
  }
  if (e.kind == ChangeKind::WindowKey) {
    if (window) PostKeyEvent(window, (e.value & 1) != 0, e.index, (e.value & 2) != 0, (e.value & 4) != 0);
    return;
  }
  ScriptDevice& d = s->devices[e.device];
  switch (e.kind) {
    case ChangeKind::Key: d.keys[e.index] = e.value ? 0x80 : 0; break;
    case ChangeKind::Button: d.joystick.buttons[e.index] = e.value ? 0x80 : 0; break;
    case ChangeKind::Axis: d.joystick.axis[e.index] = e.value; break;
    case ChangeKind::Hat: d.joystick.pov[0] = e.value < 0 ? kPovCentred : uint32_t(e.value); break;
    case ChangeKind::Lost: d.pendingLosses++; break;
    case ChangeKind::Unplug: d.plugged = false; break;
    case ChangeKind::Plug: d.plugged = true; break;
    case ChangeKind::Close:
    case ChangeKind::WindowKey: break;
  }
}

void ApplyDue(InputScript* s, Window* window) {
  while (s->next < s->events.size() && s->events[s->next].frame <= s->frame) Apply(s, s->events[s->next++], window);
}

}  // namespace

// The whole file is checked before anything is replayed: a typo fails the
// start with its line instead of misdriving a run halfway through.
InputScript* LoadInputScript(const char* path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  std::string fail;
  auto refuse = [&](const std::string& why) -> InputScript* {
    if (error) *error = Utf8ToCp932("input script \"" + std::string(path) + "\": " + why);
    return nullptr;
  };
  if (!in) return refuse("cannot be opened");
  std::ostringstream all;
  all << in.rdbuf();
  std::string text = all.str();
  if (text.size() > kMaxScriptBytes) return refuse("larger than 16 MB");
  if (text.find('\0') != std::string::npos) return refuse("not a text file");

  InputScript* script = new InputScript;
  Parser p;
  p.script = script;
  p.path = path;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    p.line++;
    if (!p.Statement(line)) {
      if (error) *error = p.error;
      delete script;
      return nullptr;
    }
  }
  std::stable_sort(script->events.begin(), script->events.end(),
                   [](const ScriptEvent& a, const ScriptEvent& b) { return a.frame < b.frame; });
  ApplyDue(script, nullptr);  // frame 0: no window yet to close
  return script;
}

void FreeInputScript(InputScript* script) { delete script; }

void AdvanceInputScript(InputScript* s, Window* window) {
  if (!s) return;
  s->frame++;
  ApplyDue(s, window);
}

// An unplugged device is not listed: "at 0 N unplug" starts a run with the
// device missing, as when it was unplugged before start-up.
void EnumScriptDevices(InputScript* s, InputDeviceClass deviceClass, InputDeviceFound found, void* user) {
  for (const ScriptDevice& d : s->devices) {
    if (d.deviceClass != deviceClass || !d.plugged) continue;
    if (!found(user, d.instance)) return;
  }
}

int FindScriptDevice(const InputScript* s, const uint8_t instanceId[16]) {
  for (size_t i = 0; i < s->devices.size(); i++)
    if (std::memcmp(s->devices[i].instance.instanceId, instanceId, 16) == 0) return int(i);
  return -1;
}

uint32_t ScriptDeviceType(const InputScript* s, int device) { return s->devices[device].instance.deviceType; }

ScriptRefusal ScriptDeviceRefusal(const InputScript* s, int device) { return s->devices[device].refusal; }

bool ScriptDevicePlugged(const InputScript* s, int device) { return s->devices[device].plugged; }

bool TakeScriptDeviceLoss(InputScript* s, int device) {
  ScriptDevice& d = s->devices[device];
  if (d.pendingLosses == 0) return false;
  d.pendingLosses--;
  return true;
}

void ReadScriptKeyboard(const InputScript* s, int device, uint8_t state[kKeyboardStateBytes]) {
  std::memcpy(state, s->devices[device].keys, kKeyboardStateBytes);
}

void ReadScriptJoystick(const InputScript* s, int device, JoystickState* state) {
  *state = s->devices[device].joystick;
}

}  // namespace platform
