// ui_public.h -- the flight HUD and the script-driven message windows.
// The flight HUD is ui_hud.h (included here). Of the windows, for now only
// what the script engine's error window needs: plane windows that hold their
// place, size, texts and colours; skins, drawing, the text reveal and the
// menus are still to come.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "ui/ui_hud.h"

namespace ui {

// One script window. A slot is free while `inUse` is false.
struct MessageWindow {
  bool inUse = false;
  bool shown = false;       // hidden by SetWindowText with a null text
  int32_t skin = 0;         // window skin number, 0 to 15
  float x = 0.0f;           // top left corner in the 2D layer (768 units tall,
  float y = 0.0f;           // origin at the screen centre, y down)
  float z = 0.0f;           // draw-order key: lower draws first
  int32_t width = 0;
  int32_t height = 0;
  int32_t displayTime = 0;  // steps until it closes; -1 stays until closed
  std::string text;         // Shift-JIS; "\n" already turned into line breaks
  std::string subText;      // at most kMaxSubTextBytes bytes
  uint32_t textColor = 0xFFFFFF;     // 0xRRGGBB
  uint32_t subTextColor = 0xFFFFFF;  // 0xRRGGBB
};

// The one window object: the scripts' message windows.
class WindowManager {
 public:
  static constexpr int kWindowCount = 256;
  static constexpr size_t kMaxSubTextBytes = 127;

  // Opens a text window in the first free slot: empty text and sub text,
  // shown. `displayTime` counts steps, -1 keeps it until it is closed. Null
  // when all 256 windows are in use.
  MessageWindow* CreatePlaneWindow(int skin, float x, float y, float z, int width, int height, int displayTime);
  // A non-null sub text is stored (cut at 127 bytes, never inside a two-byte
  // character); a non-null text replaces the window's text, the two
  // characters backslash and n becoming a line break; a null text with a
  // sub text given hides the window.
  void SetWindowText(MessageWindow* window, const char* subText, const char* text);
  // Stores the text and sub-text colours (0xRRGGBB).
  void SetWindowColors(MessageWindow* window, uint32_t textColor, uint32_t subTextColor);

  // Opens the run-time error window: the whole 2D layer, white text with the
  // sub-text colour 0xFF8080, staying until it is closed. Nothing opens
  // when every window is in use. Shaped as the script engine's
  // ErrorWindowOpener callback, `user` being the WindowManager.
  static void ShowErrorWindow(void* user, const char* text);

  // The window in a slot (0 to 255), or null outside the range.
  MessageWindow* Window(int slot) { return slot >= 0 && slot < kWindowCount ? &windows_[size_t(slot)] : nullptr; }
  // The number of windows in use.
  int CountOpen() const;

 private:
  std::array<MessageWindow, kWindowCount> windows_;
};

}  // namespace ui
