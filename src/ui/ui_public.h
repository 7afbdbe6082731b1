// ui_public.h -- the flight HUD (ui_hud.h, included here) and the
// script-driven message windows: plane windows that type
// their text out, select windows (menus) moved by the pad, their opening
// and closing animation, the window manager with its 256 windows and 16
// skins, and the drawing of the windows in the 2D layer.
//
// Notes for callers:
//  - Texts are Shift-JIS byte strings; positions and sizes are 2D units
//    (768 units tall, origin at the screen centre, y down).
//  - A window is free while its display object has no surface texture.
//  - The manager works without a renderer (tests, tools): windows then get
//    an empty stand-in surface and nothing is drawn.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "render/render_public.h"

#include "ui/ui_hud.h"

namespace sound {
class SoundSystem;
}

namespace ui {

// MessageWindow flags.
enum : int32_t {
  kWindowDecided = 0x2,
  kWindowCancelled = 0x4,
  kWindowMoved = 0x8,
  kWindowActive = 0x10,
  kWindowSilent = 0x20,  // no cursor sound
};

// Animation states.
enum : int32_t {
  kWindowHidden = -1,
  kWindowWidening = 0,
  kWindowGrowing = 1,
  kWindowShown = 10,
  kWindowShrinking = 20,
  kWindowNarrowing = 21,
};

// Window kinds.
enum : int32_t { kPlaneWindow = 0, kSelectWindow = 2 };

// SetWindowAnchor flags: which edge of the window its position names.
enum : int32_t { kAnchorLeft = 0x1, kAnchorRight = 0x2, kAnchorTop = 0x4, kAnchorBottom = 0x8 };

constexpr int kCursorSoundSlot = 5;
constexpr size_t kSubTextBytes = 128;  // 127 bytes and a terminator
constexpr size_t kFaceBytes = 64;      // 63 bytes and a terminator
constexpr size_t kShapedTextBytes = 1020;

// The edition's default window face: a proportional Mincho face in the
// Japanese edition (the text layer maps it to IPA Mincho), Arial (Liberation
// Sans) in the English one.
const char* DefaultWindowFace();

// One on-screen window a script opens. The display object carries the skin
// texture, the position, the scale of the animation and, in `counter`, the
// step count (reset at every state change).
class MessageWindow : public render::DisplayObject {
 public:
  MessageWindow();

  // --- Life cycle ---------------------------------------------------------
  // Back to defaults: no surface (free), texts "", margins 8, spacing 4,
  // font size 20, state 0, both faces the default face, colours white, no
  // sprites, draw order -1.
  void ResetWindow();
  // ResetWindow and release of the display object: the window is free.
  void HideWindow();
  bool IsFree() const { return surface == nullptr; }

  // --- Texts --------------------------------------------------------------
  // A non-null sub text is stored (127 bytes at most, never half a
  // character). Both null: the window is hidden. A non-null text replaces
  // the text, backslash-n becoming a line break, and sets the line count
  // (and the visible lines, the first time). Then the window is shown: the
  // typing restarts in state 10, a hidden window opens again.
  void SetWindowText(const char* sub, const char* text);
  // Copies without escapes, line count or restart.
  void SetWindowTextsPlain(const char* sub, const char* text);
  // Copies the sub text and the text into the buffers given (each bounded
  // by its size, never splitting a character); returns the text.
  const char* GetWindowText(char* subOut, size_t subSize, char* textOut, size_t textSize) const;
  // The cursor's line into `out` (at most len - 1 bytes); null when the text
  // ends before that line or the line is an empty last line.
  const char* GetWindowCursorString(char* out, size_t len) const;
  // Mode 1: the cursor; else 8, 2, 4 (first bit matching): that flag's
  // value, cleared once read; else 0.
  int GetWindowStatus(int mode);

  // --- Input, cursor, fonts -----------------------------------------------
  int SetWindowActive(int on);      // the previous active bit (1 or 0)
  int IsWindowInputActive() const;  // only select windows take pad input
  int SetWindowCursor(int line);    // the previous cursor; scrolled into view
  void SetWindowFontName(const char* face);
  void SetWindowSubFontName(const char* face);
  // Size above 0, spacing and margins 0 or above are taken (others keep);
  // the opening restarts; a select window's height follows its lines.
  int SetWindowFont(int size, int spacing, float left, float top, float right, float bottom);
  int SetWindowSubFont(int size);
  int SetWindowSkinStyle(int style);
  void SetWindowColors(uint32_t text, uint32_t sub);
  int SetWindowKind(int newKind);
  void SetWindowState(int newState);
  void LimitWindowLines(int n);
  void SetWindowAnchor(int anchorFlags);
  void SetWindowAnchorPoint(float x, float y);

  // --- Sprites ------------------------------------------------------------
  int AddWindowSprite(render::DisplayObject* object);
  // Null empties the list (1); 1 when the object was found, else 0.
  int DeleteWindowSprite(render::DisplayObject* object);

  // --- Steps --------------------------------------------------------------
  int CloseWindow();  // the previous active bit
  // One step with the 128 logical buttons held, pressed and repeating (any
  // may be null). 0, or -1 for a hidden window.
  int StepWindow(const int32_t* held, const int32_t* trigger, const int32_t* repeat);
  int StepCount() const { return counter; }

  // The text as drawn this step: the typing reveal of a plane window, the
  // visible lines of a select window revealed a character a step.
  std::string ShapeWindowText() const;

  // --- Fields -------------------------------------------------------------
  char subText[kSubTextBytes] = {};
  std::string text;
  int32_t state = kWindowHidden;
  int32_t style = 0;
  int32_t kind = kPlaneWindow;
  int32_t windowFlags = 0;
  int32_t cursor = 0;
  int32_t lineCount = 0;
  int32_t visibleLines = 0;
  int32_t firstLine = 0;
  int32_t fontSize = 20;
  int32_t lineSpacing = 4;
  float marginLeft = 8, marginTop = 8, marginRight = 8, marginBottom = 8;
  char fontFace[kFaceBytes] = {};
  int32_t subFontSize = 16;
  char subFontFace[kFaceBytes] = {};
  float anchorX = 0, anchorY = 0;
  uint32_t textColor = 0xFFFFFF, subTextColor = 0xFFFFFF;
  std::vector<render::DisplayObject*> sprites;
  render::TextureHolder* cursorTexture = nullptr;
  int32_t drawOrder = -1;
  int32_t displayTime = 0;
  int32_t width = 0, height = 0;
  // Counts the openings of this window, so a handle kept across a close can
  // tell that the window has since been reused.
  uint32_t serial = 0;
  sound::SoundSystem* sound = nullptr;  // for the cursor sound
};

// One piece of a window's nine-piece frame: the skin's texel rectangle, its
// alignment to the placement point (kAlign* of the renderer), its scale and
// its placement in 2D units.
struct FramePiece {
  float left, top, right, bottom;
  uint32_t align;
  float scaleX, scaleY;
  float x, y;
};

// The corner cut (cx, cy) and sub-text offset of a frame style; styles
// outside 0 to 15 have no corners.
struct FrameStyle {
  int cutX, cutY;
  int subX, subY;
};
FrameStyle GetFrameStyle(int style);

// The nine pieces of `window` over a tw x th skin, in drawing order, for a
// draw offset (dx, dy). The frame origin goes to `origin` when given.
std::array<FramePiece, 9> ComputeFramePieces(MessageWindow& window, int tw, int th, float dx, float dy,
                                             float* originX = nullptr, float* originY = nullptr);

// A script's window handle: the window and the opening it was made for, so
// a handle kept after its window was hidden (a world reset) and opened again
// for someone else names nothing.
struct ScriptWindowHandle {
  MessageWindow* window = nullptr;
  uint32_t serial = 0;
};

// The one window object.
class WindowManager {
 public:
  static constexpr int kWindowCount = 256;
  static constexpr int kSkinCount = 16;
  static constexpr size_t kMaxSubTextBytes = kSubTextBytes - 1;

  static constexpr int kScriptHandles = 16;

  // The renderer the skins are loaded into and the windows drawn with, and
  // the sound system of the cursor sound; either may be null.
  render::GraphicsSystem* graphics = nullptr;
  sound::SoundSystem* sound = nullptr;
  // The scripts' window handles 1 to 15 (entry 0 is never used), kept by
  // the window calls.
  std::array<ScriptWindowHandle, kScriptHandles> scriptHandles{};

  WindowManager();
  ~WindowManager();
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;

  // n 0..15: loads skin n from `file` (0). n below 0: the 16 skin files
  // "ZadAzorad\Window\window%02d.png" and the white texture once (0), -1
  // when already loaded. A skin that does not load stays empty.
  int LoadWindowSkins(int n, const char* file);
  // Hides every window, releases the skins and clears the loaded mark.
  void ReleaseWindows();
  int SkinsLoaded() const { return skinsLoaded_; }
  // The skin's texture, null for a number outside 0 to 15.
  render::TextureHolder* Skin(int n) { return n >= 0 && n < kSkinCount ? &skins_[size_t(n)] : nullptr; }

  MessageWindow* FindFreeWindow();
  // Null when no window is free. Skins outside 0..15 or that did not load
  // draw no frame.
  MessageWindow* CreatePlaneWindow(int skin, float x, float y, float z, int width, int height, int displayTime);
  MessageWindow* CreateSelectWindow(int skin, float x, float y, float z, int width, const char* text,
                                    int lineLimit);
  // n below 0 hides every window at once; else starts closing window n.
  void CloseWindows(int n);
  // Takes the object out of every window's sprites (its unit is released).
  void ForgetWindowSprite(render::DisplayObject* object);
  void StepWindows(const int32_t* held, const int32_t* trigger, const int32_t* repeat);
  // Every window with a surface in ascending draw order (ties by index).
  void DrawWindows();
  // -1 when the window is not shown, else 0.
  int DrawWindow(MessageWindow* window, float dx, float dy);
  // The windows in the order DrawWindows takes them.
  std::vector<MessageWindow*> DrawingOrder();

  // Kept for the script engine's error window.
  void SetWindowText(MessageWindow* window, const char* sub, const char* text) {
    if (window) window->SetWindowText(sub, text);
  }
  void SetWindowColors(MessageWindow* window, uint32_t text, uint32_t sub) {
    if (window) window->SetWindowColors(text, sub);
  }
  // Opens the run-time error window over the whole 2D layer: white text,
  // sub-text colour 0xFF8080, staying until closed. Nothing opens when every
  // window is in use. Shaped as the script engine's ErrorWindowOpener,
  // `user` being the WindowManager.
  static void ShowErrorWindow(void* user, const char* text);

  MessageWindow* Window(int slot) { return slot >= 0 && slot < kWindowCount ? &windows_[size_t(slot)] : nullptr; }
  int IndexOf(const MessageWindow* window) const;
  int CountOpen() const;

 private:
  void AttachSurface(MessageWindow& window, int skin);
  void DrawFrame(MessageWindow& window, render::TextureHolder* skin, float dx, float dy);

  std::array<render::TextureHolder, kSkinCount> skins_{};
  std::array<MessageWindow, kWindowCount> windows_;
  render::TextureHolder white_{};
  render::TextureHolder noSkin_{};   // the stand-in surface without a renderer
  render::DisplayObject piece_;      // draws the frame pieces and bars
  int skinsLoaded_ = 0;
};

}  // namespace ui
