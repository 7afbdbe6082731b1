// gl33_display.cpp -- the display system as the renderer lists it: SDL's
// displays as adapters, their modes, monitors, depth formats and the
// capabilities a GL 3.3 device offers.

#include <SDL2/SDL.h>

#include "platform/gl33/gl33_local.h"

namespace platform {

namespace {

uint32_t FormatOfSdl(uint32_t sdlFormat) {
  return SDL_BITSPERPIXEL(sdlFormat) == 16 ? kFmtR5G6B5 : kFmtX8R8G8B8;
}

bool Start(void*) { return EnsureVideo(); }

int AdapterCount(void*) {
  if (!EnsureVideo()) return 0;
  int n = SDL_GetNumVideoDisplays();
  return n < 0 ? 0 : n;
}

// SDL lists modes in all formats together; a format's modes are those of
// its kind, in SDL's order.
int ModeCount(void*, int adapter, uint32_t format) {
  if (!EnsureVideo()) return 0;
  int n = SDL_GetNumDisplayModes(adapter), count = 0;
  for (int i = 0; i < n; i++) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(adapter, i, &m) == 0 && FormatOfSdl(m.format) == format) count++;
  }
  return count;
}

bool EnumMode(void*, int adapter, uint32_t format, int index, GfxDisplayMode* out) {
  if (!EnsureVideo()) return false;
  int n = SDL_GetNumDisplayModes(adapter);
  for (int i = 0; i < n; i++) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(adapter, i, &m) != 0 || FormatOfSdl(m.format) != format) continue;
    if (index-- == 0) {
      *out = {m.w, m.h, m.refresh_rate, format};
      return true;
    }
  }
  return false;
}

bool DesktopMode(void*, int adapter, GfxDisplayMode* out) {
  if (!EnsureVideo()) return false;
  SDL_DisplayMode m;
  if (SDL_GetDesktopDisplayMode(adapter, &m) != 0) return false;
  *out = {m.w, m.h, m.refresh_rate, FormatOfSdl(m.format)};
  return true;
}

int Monitors(void*, GfxRect* rects, int max) {
  int n = AdapterCount(nullptr), count = 0;
  for (int i = 0; i < n && count < max; i++) {
    SDL_Rect r;
    if (SDL_GetDisplayBounds(i, &r) != 0) continue;
    rects[count++] = {r.x, r.y, r.x + r.w, r.y + r.h};
  }
  return count;
}

bool DepthStencilMatch(void*, int, uint32_t, uint32_t, uint32_t depthFormat) {
  return depthFormat == kFmtD16 || depthFormat == kFmtD24S8 || depthFormat == kFmtD24X8;
}

bool DeviceCaps(void*, int adapter, GfxCaps* caps) {
  if (adapter < 0 || adapter >= AdapterCount(nullptr)) return false;
  *caps = {0xFFFE0300u, 0xFFFF0300u, kMaxTargets, 8192};
  return true;
}

}  // namespace

GfxDisplayApi SdlDisplayApi() {
  GfxDisplayApi api;
  api.Start = Start;
  api.AdapterCount = AdapterCount;
  api.ModeCount = ModeCount;
  api.EnumMode = EnumMode;
  api.DesktopMode = DesktopMode;
  api.Monitors = Monitors;
  api.DepthStencilMatch = DepthStencilMatch;
  api.DeviceCaps = DeviceCaps;
  return api;
}

}  // namespace platform
