// platform_window.cpp -- SDL windows, display listing and the translation of
// SDL events into the engine's window events.

#include <SDL2/SDL.h>

#include <cstring>

#include "platform/platform_local.h"

namespace platform {

struct Window {
  SDL_Window* sdl = nullptr;
};

namespace {

constexpr const char* kWindowDataKey = "tkw4.window";

// Registered once; every posted event is of this SDL type, with the event
// kind in `code`.
uint32_t UserEventType() {
  static uint32_t type = SDL_RegisterEvents(1);
  return type;
}

int VirtualKeyOf(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + int(key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + int(key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return kVkF1 + int(key - SDLK_F1);
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return kVkNumpad0 + 1 + int(key - SDLK_KP_1);
  switch (key) {
    case SDLK_KP_0: return kVkNumpad0;
    case SDLK_BACKSPACE: return kVkBack;
    case SDLK_TAB: return kVkTab;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return kVkReturn;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return kVkShift;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return kVkControl;
    case SDLK_LALT:
    case SDLK_RALT: return kVkMenu;
    case SDLK_PAUSE: return kVkPause;
    case SDLK_CAPSLOCK: return kVkCapital;
    case SDLK_ESCAPE: return kVkEscape;
    case SDLK_SPACE: return kVkSpace;
    case SDLK_PAGEUP: return kVkPrior;
    case SDLK_PAGEDOWN: return kVkNext;
    case SDLK_END: return kVkEnd;
    case SDLK_HOME: return kVkHome;
    case SDLK_LEFT: return kVkLeft;
    case SDLK_UP: return kVkUp;
    case SDLK_RIGHT: return kVkRight;
    case SDLK_DOWN: return kVkDown;
    case SDLK_PRINTSCREEN: return kVkSnapshot;
    case SDLK_INSERT: return kVkInsert;
    case SDLK_DELETE: return kVkDelete;
    case SDLK_KP_MULTIPLY: return kVkMultiply;
    case SDLK_KP_PLUS: return kVkAdd;
    case SDLK_KP_MINUS: return kVkSubtract;
    case SDLK_KP_PERIOD: return kVkDecimal;
    case SDLK_KP_DIVIDE: return kVkDivide;
    default: return 0;
  }
}

SDL_Scancode ScancodeOfVirtualKey(int vk) {
  if (vk >= 'A' && vk <= 'Z') return SDL_Scancode(SDL_SCANCODE_A + (vk - 'A'));
  if (vk >= '1' && vk <= '9') return SDL_Scancode(SDL_SCANCODE_1 + (vk - '1'));
  if (vk == '0') return SDL_SCANCODE_0;
  if (vk >= kVkF1 && vk <= kVkF12) return SDL_Scancode(SDL_SCANCODE_F1 + (vk - kVkF1));
  switch (vk) {
    case kVkTab: return SDL_SCANCODE_TAB;
    case kVkReturn: return SDL_SCANCODE_RETURN;
    case kVkEscape: return SDL_SCANCODE_ESCAPE;
    case kVkSpace: return SDL_SCANCODE_SPACE;
    case kVkPrior: return SDL_SCANCODE_PAGEUP;
    case kVkNext: return SDL_SCANCODE_PAGEDOWN;
    case kVkLeft: return SDL_SCANCODE_LEFT;
    case kVkUp: return SDL_SCANCODE_UP;
    case kVkRight: return SDL_SCANCODE_RIGHT;
    case kVkDown: return SDL_SCANCODE_DOWN;
    case kVkDelete: return SDL_SCANCODE_DELETE;
    default: return SDL_SCANCODE_UNKNOWN;
  }
}

// The SDL key of a virtual key, for the keys posted as typed (0 for none).
SDL_Keycode KeycodeOfVirtualKey(int vk) {
  if (vk >= 'A' && vk <= 'Z') return SDL_Keycode(SDLK_a + (vk - 'A'));
  if (vk >= '0' && vk <= '9') return SDL_Keycode(SDLK_0 + (vk - '0'));
  if (vk >= kVkF1 && vk <= kVkF12) return SDL_Keycode(SDLK_F1 + (vk - kVkF1));
  switch (vk) {
    case kVkShift: return SDLK_LSHIFT;
    case kVkControl: return SDLK_LCTRL;
    case kVkMenu: return SDLK_LALT;
    case kVkTab: return SDLK_TAB;
    case kVkReturn: return SDLK_RETURN;
    case kVkEscape: return SDLK_ESCAPE;
    case kVkSpace: return SDLK_SPACE;
    case kVkPrior: return SDLK_PAGEUP;
    case kVkNext: return SDLK_PAGEDOWN;
    case kVkLeft: return SDLK_LEFT;
    case kVkUp: return SDLK_UP;
    case kVkRight: return SDLK_RIGHT;
    case kVkDown: return SDLK_DOWN;
    case kVkDelete: return SDLK_DELETE;
    default: return 0;
  }
}

Window* WindowOfId(uint32_t id) {
  SDL_Window* sdl = SDL_GetWindowFromID(id);
  return sdl ? static_cast<Window*>(SDL_GetWindowData(sdl, kWindowDataKey)) : nullptr;
}

int MouseButtonOf(uint8_t sdlButton) {
  switch (sdlButton) {
    case SDL_BUTTON_RIGHT: return kMouseRight;
    case SDL_BUTTON_MIDDLE: return kMouseMiddle;
    default: return kMouseLeft;
  }
}

void PostUser(Window* window, EventKind kind, uint32_t code, void* param) {
  if (!EnsureVideo()) return;
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = UserEventType();
  e.user.windowID = window ? SDL_GetWindowID(window->sdl) : 0;
  e.user.code = int(kind);
  e.user.data1 = param;
  e.user.data2 = reinterpret_cast<void*>(uintptr_t(code));
  SDL_PushEvent(&e);
}

}  // namespace

bool EnsureVideo() { return InitVideo(nullptr); }

bool InitVideo(const char** error) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  // The engine decides itself when the program ends: closing the last
  // window is a Close event, not a quit.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    if (error) *error = SDL_GetError();
    return false;
  }
  return true;
}

int DisplayCount() {
  if (!EnsureVideo()) return 0;
  int n = SDL_GetNumVideoDisplays();
  return n < 0 ? 0 : n;
}

std::vector<DisplayMode> ListDisplayModes(int display) {
  std::vector<DisplayMode> modes;
  if (!EnsureVideo()) return modes;
  int n = SDL_GetNumDisplayModes(display);
  for (int i = 0; i < n; i++) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(display, i, &m) != 0) continue;
    modes.push_back({m.w, m.h, m.refresh_rate, display});
  }
  return modes;
}

bool GetDisplaySize(int display, int* width, int* height) {
  if (!EnsureVideo()) return false;
  SDL_Rect r;
  if (SDL_GetDisplayBounds(display, &r) != 0) return false;
  if (width) *width = r.w;
  if (height) *height = r.h;
  return true;
}

Window* CreateWindow(const WindowDesc& desc) {
  if (!EnsureVideo()) return nullptr;
  int display = (desc.display >= 0 && desc.display < DisplayCount()) ? desc.display : 0;
  Uint32 flags = SDL_WINDOW_OPENGL | (desc.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
  if (desc.fullScreen) flags |= SDL_WINDOW_FULLSCREEN;
  std::string title = Cp932ToUtf8(desc.title ? desc.title : "");
  SDL_Window* sdl = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                                     SDL_WINDOWPOS_CENTERED_DISPLAY(display), desc.width,
                                     desc.height, flags);
  if (!sdl) return nullptr;
  Window* window = new Window;
  window->sdl = sdl;
  SDL_SetWindowData(sdl, kWindowDataKey, window);
  return window;
}

void DestroyWindow(Window* window) {
  if (!window) return;
  SDL_DestroyWindow(window->sdl);
  delete window;
}

SDL_Window* SdlWindowOf(Window* window) { return window ? window->sdl : nullptr; }

namespace {

int ShowSdlBox(const char* text, const char* caption, unsigned flags, const int* ids, const char* const* labels,
               int count, Window* owner) {
  SDL_MessageBoxButtonData data[3];
  if (count > 3) count = 3;
  for (int i = 0; i < count; i++) {
    data[i].flags = 0;
    if (i == 0) data[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    if (ids[i] == kIdCancel || count == 1) data[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    data[i].buttonid = ids[i];
    data[i].text = labels[i];
  }
  SDL_MessageBoxData box{};
  unsigned icon = flags & kMbIconMask;
  box.flags = icon == kMbIconError     ? SDL_MESSAGEBOX_ERROR
              : icon == kMbIconWarning ? SDL_MESSAGEBOX_WARNING
                                       : SDL_MESSAGEBOX_INFORMATION;
  box.window = owner ? owner->sdl : nullptr;
  box.title = caption;
  box.message = text;
  box.numbuttons = count;
  box.buttons = data;
  int pressed = -1;
  if (SDL_ShowMessageBox(&box, &pressed) != 0) return kDesktopBoxRefused;
  return pressed;
}

// Every program with this file (any that makes a window) shows its boxes
// on the desktop from the start, before its first window.
struct DesktopBoxes {
  DesktopBoxes() {
    PlatformState& st = State();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.desktopBox = ShowSdlBox;
  }
} desktopBoxes;

}  // namespace

void SetWindowTitle(Window* window, const char* title) {
  if (!window) return;
  SDL_SetWindowTitle(window->sdl, Cp932ToUtf8(title ? title : "").c_str());
}

void GetWindowClientSize(Window* window, int* width, int* height) {
  int w = 0, h = 0;
  if (window) SDL_GetWindowSize(window->sdl, &w, &h);
  // SDL keeps the size a minimised window had; the engine's windows report
  // no client area then, so that nothing is drawn into it.
  if (window && (SDL_GetWindowFlags(window->sdl) & SDL_WINDOW_MINIMIZED)) h = 0;
  if (width) *width = w;
  if (height) *height = h;
}

void ShowWindow(Window* window) {
  if (window) SDL_ShowWindow(window->sdl);
}

void SetWindowClientSize(Window* window, int width, int height) {
  if (window) SDL_SetWindowSize(window->sdl, width, height);
}

void SetWindowPosition(Window* window, int x, int y) {
  if (!window) return;
  int left = 0, top = 0;
  GetWindowBorders(window, &left, &top, nullptr, nullptr);
  SDL_SetWindowPosition(window->sdl, x + left, y + top);
}

void GetWindowBorders(Window* window, int* left, int* top, int* right, int* bottom) {
  int t = 0, l = 0, b = 0, r = 0;
  if (window && SDL_GetWindowBordersSize(window->sdl, &t, &l, &b, &r) != 0) t = l = b = r = 0;
  if (left) *left = l;
  if (top) *top = t;
  if (right) *right = r;
  if (bottom) *bottom = b;
}

void ShowPointer(bool show) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

bool PollEvent(Event* out) {
  if (!SDL_WasInit(SDL_INIT_EVENTS)) return false;
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    Event ev;
    SDL_Keymod mods = SDL_GetModState();
    ev.ctrl = (mods & KMOD_CTRL) != 0;
    ev.shift = (mods & KMOD_SHIFT) != 0;
    switch (e.type) {
      case SDL_QUIT:
        ev.kind = EventKind::Quit;
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        ev.kind = e.type == SDL_KEYDOWN ? EventKind::KeyDown : EventKind::KeyUp;
        ev.window = WindowOfId(e.key.windowID);
        ev.key = VirtualKeyOf(e.key.keysym.sym);
        ev.repeat = e.key.repeat != 0;
        // The modifiers as they were when the key arose, not as they are
        // when the queue is read.
        ev.ctrl = (e.key.keysym.mod & KMOD_CTRL) != 0;
        ev.shift = (e.key.keysym.mod & KMOD_SHIFT) != 0;
        if (ev.key == 0) continue;
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        ev.kind = e.type == SDL_MOUSEBUTTONDOWN ? EventKind::MouseDown : EventKind::MouseUp;
        ev.window = WindowOfId(e.button.windowID);
        ev.button = MouseButtonOf(e.button.button);
        if (e.button.button != SDL_BUTTON_LEFT && e.button.button != SDL_BUTTON_RIGHT &&
            e.button.button != SDL_BUTTON_MIDDLE)
          continue;
        // A second click in quick succession is the double-click, as the
        // desktop's double-click time decides.
        ev.doubleClick = e.type == SDL_MOUSEBUTTONDOWN && e.button.clicks >= 2 && e.button.clicks % 2 == 0;
        ev.x = e.button.x;
        ev.y = e.button.y;
        break;
      case SDL_MOUSEMOTION:
        ev.kind = EventKind::MouseMove;
        ev.window = WindowOfId(e.motion.windowID);
        ev.x = e.motion.x;
        ev.y = e.motion.y;
        ev.dx = e.motion.xrel;
        ev.dy = e.motion.yrel;
        break;
      case SDL_MOUSEWHEEL: {
        ev.kind = EventKind::MouseWheel;
        ev.window = WindowOfId(e.wheel.windowID);
        int y = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) y = -y;
        if (y == 0) continue;
        ev.wheel = y;
        break;
      }
      case SDL_WINDOWEVENT:
        ev.window = WindowOfId(e.window.windowID);
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
          ev.kind = EventKind::Focus;
          ev.active = true;
        } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
          ev.kind = EventKind::Focus;
          ev.active = false;
        } else if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
          ev.kind = EventKind::Close;
        } else if (e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
          ev.kind = EventKind::Resize;
          ev.x = e.window.data1;
          ev.y = e.window.data2;
        } else if (e.window.event == SDL_WINDOWEVENT_MINIMIZED) {
          // SDL keeps the width; the client area has no height now.
          ev.kind = EventKind::Resize;
          if (ev.window) SDL_GetWindowSize(ev.window->sdl, &ev.x, nullptr);
          ev.y = 0;
        } else if (e.window.event == SDL_WINDOWEVENT_RESTORED || e.window.event == SDL_WINDOWEVENT_MAXIMIZED) {
          ev.kind = EventKind::Resize;
          if (ev.window) SDL_GetWindowSize(ev.window->sdl, &ev.x, &ev.y);
        } else {
          continue;
        }
        break;
      default:
        if (e.type != UserEventType()) continue;
        ev.kind = EventKind(e.user.code);
        ev.window = e.user.windowID ? WindowOfId(e.user.windowID) : nullptr;
        ev.param = e.user.data1;
        ev.code = uint32_t(reinterpret_cast<uintptr_t>(e.user.data2));
        break;
    }
    *out = ev;
    return true;
  }
  return false;
}

void PostCloseEvent(Window* window) { PostUser(window, EventKind::Close, 0, nullptr); }

void PostCommandEvent(Window* window, uint32_t command) {
  PostUser(window, EventKind::Command, command, nullptr);
}

void PostAppEvent(Window* window, uint32_t code, void* param) {
  PostUser(window, EventKind::App, code, param);
}

void PostKeyEvent(Window* window, bool down, int vk, bool ctrl, bool shift) {
  SDL_Keycode key = KeycodeOfVirtualKey(vk);
  if (!key || !EnsureVideo()) return;
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.windowID = window ? SDL_GetWindowID(window->sdl) : 0;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.sym = key;
  e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
  e.key.keysym.mod = Uint16((ctrl ? KMOD_LCTRL : 0) | (shift ? KMOD_LSHIFT : 0));
  SDL_PushEvent(&e);
}

bool IsKeyHeld(int vk) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  if (vk == kVkControl) return (SDL_GetModState() & KMOD_CTRL) != 0;
  if (vk == kVkShift) return (SDL_GetModState() & KMOD_SHIFT) != 0;
  if (vk == kVkMenu) return (SDL_GetModState() & KMOD_ALT) != 0;
  SDL_Scancode sc = ScancodeOfVirtualKey(vk);
  if (sc == SDL_SCANCODE_UNKNOWN) return false;
  const Uint8* keys = SDL_GetKeyboardState(nullptr);
  return keys && keys[sc];
}

void Shutdown() { SDL_Quit(); }

void CapturePointer(bool capture) {
  if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_CaptureMouse(capture ? SDL_TRUE : SDL_FALSE);
}

}  // namespace platform
