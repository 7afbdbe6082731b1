// platform_input_local.h -- what the device layer's two backends share: the
// device record and the scripted backend's interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_input.h"

struct _SDL_Joystick;

namespace platform {

struct InputScript;
struct InputDevice;

// The open device system. Exactly one of the two backends is in use: the
// script when `script` is set, else SDL's.
struct InputBackend {
  Window* window = nullptr;        // the main window, for scripted closes
  InputScript* script = nullptr;   // owned
  bool joysticksStarted = false;   // SDL's joystick subsystem is ours to stop
  std::vector<InputDevice*> devices;  // SDL controllers opened and not yet released
};

// One opened device. Set-up, acquisition and the scaling of axes to their
// ranges are common; only the raw reads differ by backend.
struct InputDevice {
  InputBackend* backend = nullptr;
  uint8_t instanceId[16] = {};
  uint32_t deviceType = 0;
  int scripted = -1;                   // index of the script's device
  _SDL_Joystick* joystick = nullptr;   // SDL: the controller; null for the keyboard
  bool formatSet = false;
  InputDataFormat format = InputDataFormat::Keyboard;
  bool acquired = false;
  int32_t rangeMin[kJoystickAxisCount];
  int32_t rangeMax[kJoystickAxisCount];
};

// ----------------------------------------------------------------------------
// platform_input_script.cpp
//
// Controller axes of the script are on the scale -1000..1000; the common
// code maps them onto each device's range.
// ----------------------------------------------------------------------------

// Reads and checks a script file. Null with the reason (Shift-JIS, naming the
// file and line) in `error`. The events of frame 0 are applied at once.
InputScript* LoadInputScript(const char* path, std::string* error);
void FreeInputScript(InputScript* script);

// Moves to the next frame and applies its events; a scripted close is posted
// to `window`.
void AdvanceInputScript(InputScript* script, Window* window);

void EnumScriptDevices(InputScript* script, InputDeviceClass deviceClass, InputDeviceFound found,
                       void* user);
// The index of the declared device with this instance id, or -1.
int FindScriptDevice(const InputScript* script, const uint8_t instanceId[16]);
uint32_t ScriptDeviceType(const InputScript* script, int device);

// Set-up steps a declared device was told to refuse.
enum class ScriptRefusal { None, Create, Format, Cooperative };
ScriptRefusal ScriptDeviceRefusal(const InputScript* script, int device);

bool ScriptDevicePlugged(const InputScript* script, int device);
// True once for each scripted loss of the device (the read that sees it).
bool TakeScriptDeviceLoss(InputScript* script, int device);

void ReadScriptKeyboard(const InputScript* script, int device, uint8_t state[kKeyboardStateBytes]);
// Axes on -1000..1000; hats and buttons as in JoystickState.
void ReadScriptJoystick(const InputScript* script, int device, JoystickState* state);

}  // namespace platform
