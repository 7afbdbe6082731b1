// render_stereo.cpp -- stereo output: the 3D-glasses driver switch and the
// head-mounted display, neither of which exists on this platform, so both
// report their absence the way a machine without them does.

#include "render/render_local.h"

namespace render {

using core::Sjis;

int GraphicsSystem::InitStereo(int on) {
  (void)on;
  Logf(log, core::kLogError, "%s", Sjis("NVAPI初期化失敗\n"));
  return 0;
}

// No head-mounted display runtime exists here.
int GraphicsSystem::StartVRRuntime() { return 0; }

int GraphicsSystem::StartVR() {
  // Without a display every VR operation does nothing; the start and end
  // lines are still written.
  Logf(log, core::kLogInfo, "%s", Sjis("OculusVR初期化処理開始\n"));
  Logf(log, core::kLogInfo, "%s", Sjis("OculusVR初期化処理終了\n"));
  return 0;
}

}  // namespace render
