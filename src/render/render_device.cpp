// render_device.cpp -- display list, main window and the presenting of
// frames. The drawing device itself is a stand-in: frames are counted and
// presented, nothing is drawn yet.

#include <cstdio>

#include "app/app_public.h"
#include "core/core_public.h"
#include "render/render_public.h"

namespace render {

GraphicsSystem::~GraphicsSystem() { DestroyMainWindow(); }

int GraphicsSystem::CreateDirect3D() {
  const char* error = nullptr;
  if (!platform::InitVideo(&error)) {
    if (log) log->WriteLogf(app::kLogError, "video: %s\n", error ? error : "no driver");
    return 0;
  }
  monitors_.clear();
  modes_.clear();
  int count = platform::DisplayCount();
  for (int i = 0; i < count; i++) {
    Monitor m{0, 0};
    platform::GetDisplaySize(i, &m.width, &m.height);
    monitors_.push_back(m);
    for (const platform::DisplayMode& mode : platform::ListDisplayModes(i)) modes_.push_back(mode);
  }
  return 1;
}

platform::Window* GraphicsSystem::CreateMainWindow(const char* title, bool withMenu,
                                                   int screenMode, int adapter, int width,
                                                   int height) {
  (void)withMenu;
  platform::WindowDesc desc;
  desc.title = title;
  desc.width = width;
  desc.height = height;
  desc.fullScreen = screenMode == 1 && !platform::IsHeadless();
  desc.display = adapter;
  window_ = platform::CreateWindow(desc);
  return window_;
}

void GraphicsSystem::DestroyMainWindow() {
  if (!window_) return;
  platform::DestroyWindow(window_);
  window_ = nullptr;
}

int GraphicsSystem::InitDevice(int shadersWanted) {
  (void)shadersWanted;
  if (!window_) return 0;
  device_ = true;
  return 1;
}

int GraphicsSystem::PresentFrame() {
  if (!device_) return -1;
  uint32_t now = clock ? clock->NowMs() : platform::MonotonicMs();
  fpsCount_++;
  if (now - fpsSecondStart_ >= 1000) {
    measuredFps_ = fpsCount_;
    fpsCount_ = 0;
    fpsSecondStart_ = now;
  }
  return 0;
}

int GraphicsSystem::SetFont(const char* face, int height, uint32_t colour, int shadow) {
  if (face) fontFace_ = face;
  if (height >= 0) fontHeight_ = height;
  fontColour_ = colour <= 0x00FFFFFF ? colour + 0xFF000000u : colour;
  if (shadow >= 0) fontShadow_ = shadow;
  return 1;
}

int GraphicsSystem::DrawText(float x, float y, const char* text, int wrapWidth) {
  (void)x;
  (void)y;
  (void)wrapWidth;
  return (text && *text) ? 1 : 0;
}

int GraphicsSystem::InitStereo(int on) {
  // No 3D-glasses driver exists on this platform: the engine reports it as a
  // machine without one does and runs without stereo.
  (void)on;
  if (log) log->WriteLog(core::Sjis("NVAPI初期化失敗\n"), app::kLogError);
  return 0;
}

// No head-mounted display runtime exists on this platform.
int GraphicsSystem::StartVRRuntime() { return 0; }

int GraphicsSystem::StartVR() { return 0; }

void GraphicsSystem::ReleaseDirect3D() { device_ = false; }

}  // namespace render
