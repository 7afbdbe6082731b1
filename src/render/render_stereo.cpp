// render_stereo.cpp -- stereo output: the 3D-glasses driver switch (absent on
// this platform) and the head-mounted display: start, frames, tracking.

#include <cmath>

#include "render/render_local.h"

namespace render {

using core::Sjis;

int GraphicsSystem::InitStereo(int on) {
  // The glasses' driver does not exist here: the program goes on without
  // driver stereo, whatever was asked.
  (void)on;
  Logf(log, core::kLogError, "%s", Sjis("NVAPI初期化失敗\n"));
  return 0;
}

int GraphicsSystem::StartVRRuntime() {
  return headsetApi.StartRuntime && headsetApi.StartRuntime(headsetApi.user) ? 1 : 0;
}

int GraphicsSystem::StartVR() {
  Logf(log, core::kLogInfo, "%s", Sjis("OculusVR初期化処理開始\n"));
  ReleaseHeadset();  // a second start replaces the display, never leaks it
  headset_ = headsetApi.Create ? headsetApi.Create(headsetApi.user, 0) : nullptr;
  if (headset_) {
    platform::HeadsetFov fov[2] = {headset_->DefaultEyeFov(0), headset_->DefaultEyeFov(1)};
    for (int eye = 0; eye < 2; eye++) {
      int w = 0, h = 0;
      headset_->FovTextureSize(eye, fov[eye], 1.0f, &w, &h);
      Logf(log, core::kLogInfo, Sjis("テクスチャサイズ=(%d,%d)\n"), w, h);
    }
    int rw = 0, rh = 0;
    headset_->Resolution(&rw, &rh);
    Logf(log, core::kLogInfo, Sjis("ピクセル解像度=(%d,%d)\n"), rw, rh);
    // Neither result is examined: a display that failed to configure shows
    // nothing, and the game goes on.
    headset_->ConfigureRendering(clientWidth_, clientHeight_, 1, platform::kHeadsetDistortionCaps, fov, eyeDescs_);
    headset_->AttachToWindow(window_);
  }
  Logf(log, core::kLogInfo, "%s", Sjis("OculusVR初期化処理終了\n"));
  return headset_ ? 1 : 0;
}

void GraphicsSystem::BeginVRFrame() {
  if (headset_) headset_->BeginFrame(0);
}

void GraphicsSystem::DismissVRWarning() {
  if (headset_) headset_->DismissSafetyNotice();
}

void GraphicsSystem::SubmitVRFrame(TextureHolder* left, TextureHolder* right) {
  if (!headset_) return;
  TextureHolder* holders[2] = {left, right};
  for (int eye = 0; eye < 2; eye++) {
    platform::HeadsetEyeTexture& t = eyeTextures_[eye];
    TextureHolder* h = holders[eye];
    t.api = platform::kHeadsetApiDevice;
    t.width = h ? h->width : 0;
    t.height = h ? h->height : 0;
    t.viewport[0] = 0;
    t.viewport[1] = 0;
    t.viewport[2] = t.width;
    t.viewport[3] = t.height;
    t.texture = h ? h->texture : nullptr;
  }
  headset_->EndFrame(eyePoses_, eyeTextures_);
}

void GraphicsSystem::RecenterVR() {
  if (!headset_) return;
  headset_->ConfigureTracking(platform::kHeadsetTrackOrientationAndYaw, 0);
  headset_->RecenterPose();
}

void GraphicsSystem::GetEyeFovTangents(int eye, float out[4]) const {
  platform::HeadsetFov fov;
  if (headset_ && (eye == 0 || eye == 1)) fov = eyeDescs_[eye].fov;
  out[0] = fov.up;
  out[1] = fov.down;
  out[2] = fov.left;
  out[3] = fov.right;
}

Vec3 GraphicsSystem::GetHeadRotationVector() {
  if (!headset_) return {0, 0, 0};
  const float offsets[2][3] = {
      {eyeDescs_[0].headToEye[0], eyeDescs_[0].headToEye[1], eyeDescs_[0].headToEye[2]},
      {eyeDescs_[1].headToEye[0], eyeDescs_[1].headToEye[1], eyeDescs_[1].headToEye[2]}};
  headset_->EyePoses(0, offsets, eyePoses_);
  platform::HeadsetTracking state = headset_->TrackingState(headset_->TimeInSeconds());
  if (!(state.status & platform::kHeadsetOrientationTracked)) return {0, 0, 0};
  const float* q = state.head.orientation;
  float n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
  if (!(n > 0.0f)) return {0, 0, 0};
  // The half angle, taken the short way round so that the result turns by
  // at most half a turn.
  float a = std::atan2(n, q[3]);
  if (q[3] < 0.0f) a -= 3.141592f;
  float g = a / n * 2.0f;
  return {q[0] * g, q[1] * g, q[2] * g};
}

void GraphicsSystem::ReleaseHeadset() {
  if (!headset_) return;
  headset_->Destroy();
  headset_ = nullptr;
  for (int eye = 0; eye < 2; eye++) {
    eyePoses_[eye] = {};
    eyeDescs_[eye] = {};
    eyeTextures_[eye] = {};
  }
}

}  // namespace render
