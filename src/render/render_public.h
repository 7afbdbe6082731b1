// render_public.h -- the renderer and its main window, as the rest of the
// engine calls them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_public.h"

namespace app {
class LogSystem;
}

namespace render {

// The renderer and the main window it draws into. One instance, owned by the
// engine record; start-up creates the display list, the window and the
// device in that order, and shutdown releases them in reverse.
class GraphicsSystem {
 public:
  ~GraphicsSystem();

  // Wiring, set once by the engine before start-up.
  app::LogSystem* log = nullptr;
  platform::Clock* clock = nullptr;

  // Starts the display system and lists the monitors and their display
  // modes. 1 on success, 0 when no display system is there.
  int CreateDirect3D();

  // Creates the main window with the given title (Shift-JIS), menu flag,
  // screen mode (1 full screen), adapter and size. Null on failure.
  platform::Window* CreateMainWindow(const char* title, bool withMenu, int screenMode,
                                     int adapter, int width, int height);
  // Destroys the main window (the caller has run its destruction handling).
  void DestroyMainWindow();
  platform::Window* MainWindow() const { return window_; }

  // Creates the drawing device on the main window. 1 or 0.
  int InitDevice(int shadersWanted);

  // Shows the finished frame. -1 without a device, else 0 (1 when the device
  // had to be reset during the call).
  int PresentFrame();

  // Text: the font for DrawText and drawing at a 2D position. SetFont
  // returns non-zero when a font is set; DrawText 1 when drawn, 0 for an
  // empty text.
  int SetFont(const char* face, int height, uint32_t colour, int shadow);
  int DrawText(float x, float y, const char* text, int wrapWidth);

  // Frames presented in the last whole second.
  int GetMeasuredFps() const { return measuredFps_; }

  // Stereo output: the 3D glasses driver and the head-mounted display.
  // StartVRRuntime loads the head-mounted display's runtime (1 or 0);
  // StartVR opens its session once the device exists.
  int StartVRRuntime();
  int InitStereo(int on);
  int StartVR();
  // Ends the head-mounted display session and releases the device.
  void ReleaseDirect3D();

  int MonitorCount() const { return int(monitors_.size()); }
  const std::vector<platform::DisplayMode>& DisplayModes() const { return modes_; }

 private:
  struct Monitor {
    int width, height;
  };
  std::vector<Monitor> monitors_;
  std::vector<platform::DisplayMode> modes_;
  platform::Window* window_ = nullptr;
  bool device_ = false;
  // Frame-rate measurement: presents counted since `fpsSecondStart_`.
  uint32_t fpsSecondStart_ = 0;
  int fpsCount_ = 0;
  int measuredFps_ = 0;
  // The font last set (face, height, colour, shadow).
  std::string fontFace_;
  int fontHeight_ = 16;
  uint32_t fontColour_ = 0xFFFFFFFF;
  int fontShadow_ = 0;
};

}  // namespace render
