// platform_window.h -- windows, displays and the event queue.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

struct Window;  // one top-level window; opaque outside platform/

// Key codes of window events are the Windows virtual-key numbers, the
// numbering the engine's window procedure was written against. Letters and
// digits are their upper-case ASCII codes.
enum : int {
  kVkLButton = 0x01,
  kVkRButton = 0x02,
  kVkMButton = 0x04,
  kVkBack = 0x08,
  kVkTab = 0x09,
  kVkReturn = 0x0D,
  kVkShift = 0x10,
  kVkControl = 0x11,
  kVkMenu = 0x12,  // Alt
  kVkPause = 0x13,
  kVkCapital = 0x14,
  kVkEscape = 0x1B,
  kVkSpace = 0x20,
  kVkPrior = 0x21,  // Page Up
  kVkNext = 0x22,   // Page Down
  kVkEnd = 0x23,
  kVkHome = 0x24,
  kVkLeft = 0x25,
  kVkUp = 0x26,
  kVkRight = 0x27,
  kVkDown = 0x28,
  kVkSnapshot = 0x2C,
  kVkInsert = 0x2D,
  kVkDelete = 0x2E,
  kVkNumpad0 = 0x60,
  kVkMultiply = 0x6A,
  kVkAdd = 0x6B,
  kVkSubtract = 0x6D,
  kVkDecimal = 0x6E,
  kVkDivide = 0x6F,
  kVkF1 = 0x70,  // F1..F12 are 0x70..0x7B
  kVkF12 = 0x7B,
};

enum class EventKind {
  None,
  KeyDown,     // key, repeat
  KeyUp,       // key
  MouseDown,   // button, doubleClick, x, y
  MouseUp,     // button, x, y
  MouseMove,   // x, y, dx, dy
  MouseWheel,  // wheel (notches, positive away from the user)
  Focus,       // active: the window gained (true) or lost (false) the focus
  Close,       // the user asked to close the window
  Command,     // code: a menu or accelerator command id
  App,         // code and param: an application message posted by PostAppEvent
  Quit,        // the process is asked to end (signal, session end)
  Resize,      // x, y: the window's new client width and height; a
               // minimised window reports height 0, its restore the size
               // it has again
};

enum : int { kMouseLeft = 0, kMouseRight = 1, kMouseMiddle = 2 };

struct Event {
  EventKind kind = EventKind::None;
  Window* window = nullptr;  // the window the event belongs to, when any
  int key = 0;               // virtual-key code
  bool repeat = false;       // key held down: auto-repeat
  bool ctrl = false;         // Ctrl held when the event arose
  bool shift = false;        // Shift held when the event arose
  int button = 0;            // kMouseLeft, kMouseRight, kMouseMiddle
  bool doubleClick = false;
  int x = 0, y = 0;          // pointer position in window pixels
  int dx = 0, dy = 0;        // pointer motion
  int wheel = 0;
  bool active = false;
  uint32_t code = 0;         // Command id or App message number
  void* param = nullptr;     // App message payload (ownership by convention)
};

struct WindowDesc {
  const char* title = "";  // Shift-JIS
  int width = 640;
  int height = 480;
  bool fullScreen = false;
  int display = 0;          // monitor index; out of range means the first
  bool hidden = false;      // stays hidden until ShowWindow
};

struct DisplayMode {
  int width;
  int height;
  int refreshRate;  // Hz, 0 when unknown
  int display;      // monitor index
};

// Starts the video subsystem; false (with the reason in `error`) when no
// video driver works. Windows and display queries start it on demand.
bool InitVideo(const char** error = nullptr);

int DisplayCount();
std::vector<DisplayMode> ListDisplayModes(int display);
// Size of the monitor in pixels; false when the index is out of range.
bool GetDisplaySize(int display, int* width, int* height);

// Creates a shown top-level window able to carry an OpenGL context. Null on
// failure.
Window* CreateWindow(const WindowDesc& desc);
void DestroyWindow(Window* window);
void SetWindowTitle(Window* window, const char* title);  // Shift-JIS
// The client area's size in pixels; a minimised window's height is 0.
void GetWindowClientSize(Window* window, int* width, int* height);
// Shows a window created hidden.
void ShowWindow(Window* window);
// Sets the client area's size in pixels.
void SetWindowClientSize(Window* window, int width, int height);
// Moves the window's outer top-left corner to desktop (x, y).
void SetWindowPosition(Window* window, int x, int y);
// The frame's thickness around the client area (0 where the window system
// does not tell).
void GetWindowBorders(Window* window, int* left, int* top, int* right, int* bottom);
// Shows or hides the mouse pointer over the program's windows.
void ShowPointer(bool show);

// Takes the oldest waiting event of any window of this thread, translated.
// False when none is waiting; never blocks.
bool PollEvent(Event* event);

// Posts a Close, Command or App event to the queue, as a window message
// posted to the window.
void PostCloseEvent(Window* window);
void PostCommandEvent(Window* window, uint32_t command);
void PostAppEvent(Window* window, uint32_t code, void* param);
// Posts a key going down or up in the window, as the user's typing would
// (the scripted input's window keys): a KeyDown or KeyUp event of the
// virtual key with the Ctrl and Shift states given. Keys without an SDL
// equivalent are dropped.
void PostKeyEvent(Window* window, bool down, int vk, bool ctrl, bool shift);

// Whether a virtual key is held now (for Ctrl and Shift tests).
bool IsKeyHeld(int vk);

// Captures the pointer so drags continue outside the window.
void CapturePointer(bool capture);

}  // namespace platform
