// platform_input.h -- keyboards and game controllers, read by polling: the
// device layer under the engine's input system.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct Window;

// ----------------------------------------------------------------------------
// Devices as enumeration reports them
//
// A device is known by a 16-byte instance id, unique to one attached device
// (the same device reported twice carries the same id), and a 16-byte
// product id shared by every device of one model. Names are Shift-JIS.
//
// The device type word keeps the numbering the engine's saved logs and
// dispatch were written against: its low four bits are 2 for a mouse, 3 for
// a keyboard, 4 for a joystick and 5 to 8 for other game controllers
// (gamepad, wheel, flight stick, first-person controller).
// ----------------------------------------------------------------------------

enum : uint32_t {
  kInputTypeMouse = 0x12,
  kInputTypeKeyboard = 0x13,
  kInputTypeJoystick = 0x14,
  kInputTypeGamepad = 0x15,
  kInputTypeDriving = 0x16,
  kInputTypeFlight = 0x17,
};

constexpr int kInputNameBytes = 260;

struct InputDeviceInstance {
  uint8_t instanceId[16];
  uint8_t productId[16];
  uint32_t deviceType;                  // kInputType*
  char instanceName[kInputNameBytes];   // Shift-JIS, zero-terminated
  char productName[kInputNameBytes];    // Shift-JIS, zero-terminated
};

// The two classes the input system enumerates, keyboards first.
enum class InputDeviceClass { Keyboard, GameController };

// Results of the device calls that the input system tells apart.
enum class InputResult {
  Ok,
  Failed,       // any other failure
  InputLost,    // the device was taken away (focus, unplugging); it is now
                // unacquired and must be acquired again before reading
  NotAcquired,  // the device is not acquired: acquire it, then read again
};

// The two state layouts a device can be read in.
enum class InputDataFormat { Keyboard, Joystick };

constexpr int kKeyboardStateBytes = 256;  // one byte per keyboard scan code
constexpr int kJoystickAxisCount = 8;     // X, Y, Z, X/Y/Z rotation, 2 sliders
constexpr int kJoystickPovCount = 4;
constexpr int kJoystickButtonCount = 128;
constexpr uint32_t kPovCentred = 0xFFFFFFFFu;

// One read of a game controller.
struct JoystickState {
  // X, Y, Z, X rotation, Y rotation, Z rotation, slider 1, slider 2, each on
  // the range set by SetInputAxisRange (-1000..1000 until then; an axis the
  // device lacks rests at the middle of its range).
  int32_t axis[kJoystickAxisCount];
  // Hats in hundredths of a degree clockwise from up (0..35999), or
  // kPovCentred when centred or absent.
  uint32_t pov[kJoystickPovCount];
  // The high bit is set while the button is down.
  uint8_t buttons[kJoystickButtonCount];
};

// ----------------------------------------------------------------------------
// The device system
//
// Two backends stand behind these calls, chosen when the system is opened:
//
// - SDL's: one keyboard, read through SDL's keyboard state and reported with
//   the PC scan-code numbers (Esc 1, Enter 28, arrows 200/208/203/205, right
//   Ctrl 157 ...), and every joystick SDL lists, through its joystick API.
//   Joysticks are read in the background too.
// - The scripted one, when the environment variable TKW4_INPUT_SCRIPT names
//   a file: the devices it declares, whose states it replays frame by frame,
//   so a whole game can be driven without any device. The file format is
//   described in platform_input_script.cpp.
//
// Call order: OpenInputBackend, then enumeration and device creation; once
// per displayed frame UpdateInputBackend and the reads; every device is
// released before CloseInputBackend. Main thread only.
// ----------------------------------------------------------------------------

struct InputBackend;  // the open device system
struct InputDevice;   // one opened device

// Opens the device system for the main window `window` (may be null).
// Null when it cannot be opened, with the reason (Shift-JIS) in `error`.
InputBackend* OpenInputBackend(Window* window, std::string* error);
void CloseInputBackend(InputBackend* backend);

// Moves to the next displayed frame: SDL's joystick states are refreshed,
// the script applies the events of its next frame.
void UpdateInputBackend(InputBackend* backend);

// Reports the attached devices of a class in the system's order through
// `found`, until it returns false or the list ends.
using InputDeviceFound = bool (*)(void* user, const InputDeviceInstance& device);
void EnumInputDevices(InputBackend* backend, InputDeviceClass deviceClass, InputDeviceFound found,
                      void* user);

// Opens the attached device with this instance id. Null when it cannot.
InputDevice* CreateInputDevice(InputBackend* backend, const uint8_t instanceId[16]);
// Releases a device (null is ignored); it is unacquired first.
void ReleaseInputDevice(InputDevice* device);

// Set-up of an opened device, before it is acquired. Each returns false
// when the device refuses: the keyboard layout on a controller or the
// reverse, or a refusal the scripted backend was told to give.
bool SetInputDataFormat(InputDevice* device, InputDataFormat format);
// Exclusive or shared use together with `window`; devices are always read
// in the background.
bool SetInputCooperativeLevel(InputDevice* device, Window* window, bool exclusive);
// The range reported for controller axis 0..7 (see JoystickState).
bool SetInputAxisRange(InputDevice* device, int axis, int32_t minimum, int32_t maximum);

// Takes the device for reading. Ok, or Failed while it is unplugged.
InputResult AcquireInputDevice(InputDevice* device);
void UnacquireInputDevice(InputDevice* device);

// Reads the device. A failed read leaves the output zeroed (keyboard) or
// centred (controller).
InputResult PollInputDevice(InputDevice* device);
InputResult GetKeyboardState(InputDevice* device, uint8_t state[kKeyboardStateBytes]);
InputResult GetJoystickState(InputDevice* device, JoystickState* state);

// ----------------------------------------------------------------------------
// Test support: virtual controllers in SDL's joystick list, so tests can
// drive the SDL backend itself without hardware. Each is attached with the
// given counts (at most 8 axes, 128 buttons, 4 hats) and a UTF-8 name;
// values are taken at the next UpdateInputBackend. The handle is -1 when
// SDL refuses.
// ----------------------------------------------------------------------------

int AttachVirtualController(const char* name, int axes, int buttons, int hats);
void SetVirtualControllerAxis(int handle, int axis, int16_t value);
void SetVirtualControllerButton(int handle, int button, bool down);
void SetVirtualControllerHat(int handle, int hat, uint32_t pov);  // as JoystickState::pov
void DetachVirtualController(int handle);

// The keyboard scan code the SDL backend reports for an SDL scancode (USB
// usage number), 0 when the key has none.
int ScanCodeOfSdlScancode(int sdlScancode);

}  // namespace platform
