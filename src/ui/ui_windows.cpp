// ui_windows.cpp -- the scripts' message windows: the table of 256 plane
// windows with their texts and colours.

#include "ui/ui_public.h"

#include "core/core_public.h"

namespace ui {

MessageWindow* WindowManager::CreatePlaneWindow(int skin, float x, float y, float z, int width, int height,
                                                int displayTime) {
  for (MessageWindow& w : windows_) {
    if (w.inUse) continue;
    w = MessageWindow{};
    w.inUse = true;
    w.shown = true;
    w.skin = skin;
    w.x = x;
    w.y = y;
    w.z = z;
    w.width = width;
    w.height = height;
    w.displayTime = displayTime;
    return &w;
  }
  return nullptr;
}

void WindowManager::SetWindowText(MessageWindow* window, const char* subText, const char* text) {
  if (!window) return;
  if (subText) {
    size_t length = 0;
    while (subText[length]) {
      size_t piece = core::IsSjisLeadByte(static_cast<unsigned char>(subText[length])) && subText[length + 1] ? 2 : 1;
      if (length + piece > kMaxSubTextBytes) break;
      length += piece;
    }
    window->subText.assign(subText, length);
  }
  if (text) {
    // Scripts write line breaks as the two characters backslash and n; the
    // second byte of a two-byte character is never taken for the backslash.
    window->text.clear();
    for (const char* p = text; *p; p++) {
      if (core::IsSjisLeadByte(static_cast<unsigned char>(*p)) && p[1]) {
        window->text += p[0];
        window->text += p[1];
        p++;
      } else if (p[0] == '\\' && p[1] == 'n') {
        window->text += '\n';
        p++;
      } else {
        window->text += *p;
      }
    }
    window->shown = true;
  } else if (subText) {
    window->shown = false;
  }
}

void WindowManager::SetWindowColors(MessageWindow* window, uint32_t textColor, uint32_t subTextColor) {
  if (!window) return;
  window->textColor = textColor;
  window->subTextColor = subTextColor;
}

int WindowManager::CountOpen() const {
  int count = 0;
  for (const MessageWindow& w : windows_) count += w.inUse ? 1 : 0;
  return count;
}

void WindowManager::ShowErrorWindow(void* user, const char* text) {
  WindowManager* windows = static_cast<WindowManager*>(user);
  if (MessageWindow* window = windows->CreatePlaneWindow(0, -512.0f, -384.0f, 0.0f, 1024, 768, -1)) {
    windows->SetWindowText(window, "", text);
    windows->SetWindowColors(window, 0xFFFFFF, 0xFF8080);
  }
}

}  // namespace ui
