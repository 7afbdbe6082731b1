// render_state.cpp -- the render-flag word, draw modes, blending and
// addressing, cull and mirror modes, and the 3D, shadow and 2D cameras.

#include "render/render_local.h"

namespace render {

using namespace platform;

namespace {

// The order in which a call's bits reach the device.
constexpr uint32_t kFlagOrder[] = {kRenderCull,       kRenderLighting,    kRenderFog,        kRenderWireframe,
                                   kRenderMipFilter,  kRenderFlatShading, kRenderDepthWrite, kRenderDepthTest,
                                   kRenderColorX2,    kRenderColorX4};

void SetMatrixParam(const GfxApi& g, GfxEffect* e, int handle, const Matrix& m) { g.SetMatrix(e, handle, m); }

}  // namespace

// ----------------------------------------------------------------------------
// Render flags
// ----------------------------------------------------------------------------

void GraphicsSystem::ApplyFlag(uint32_t bit, bool on) {
  const GfxApi& g = *gfx_;
  GfxDevice* d = device_;
  switch (bit) {
    case kRenderCull: g.SetRenderState(d, kRsCullMode, on ? uint32_t(cullMode_) : kCullNone); break;
    case kRenderLighting:
      if (effect_) {
        if (on) {
          SendSpotColours(true);
          SetLight(lightDir_, lightDiffuse_, lightAmbient_);
        } else {
          SendSpotColours(false);
          static const float kBlack[4] = {0, 0, 0, 1}, kWhite[4] = {1, 1, 1, 1};
          g.SetVector(effect_, handles_.lightColor, kBlack, 4);
          g.SetVector(effect_, handles_.refColor, kBlack, 4);
          g.SetVector(effect_, handles_.envColor, kWhite, 4);
        }
      } else {
        g.SetRenderState(d, kRsLighting, on ? 1 : 0);
      }
      break;
    case kRenderFog: g.SetRenderState(d, kRsFogEnable, on && !effect_ ? 1 : 0); break;
    case kRenderMipFilter: g.SetSamplerState(d, 0, kSampMipFilter, on ? kFilterLinear : kFilterNone); break;
    case kRenderWireframe: g.SetRenderState(d, kRsFillMode, on ? kFillWireframe : kFillSolid); break;
    case kRenderFlatShading: g.SetRenderState(d, kRsShadeMode, on ? kShadeFlat : kShadeGouraud); break;
    case kRenderDepthWrite: g.SetRenderState(d, kRsZWriteEnable, on ? 1 : 0); break;
    case kRenderDepthTest: g.SetRenderState(d, kRsZEnable, on ? 1 : 0); break;
    case kRenderColorX2:
      if (effect_) g.SetFloat(effect_, handles_.emphasis, on ? 2.0f : 1.0f);
      else if (!(RenderStateFlags & kRenderColorX4))
        g.SetTextureStageState(d, 0, kTssColorOp, on ? kTopModulate2x : kTopModulate);
      break;
    case kRenderColorX4: {
      bool x2 = (RenderStateFlags & kRenderColorX2) != 0;
      if (effect_) g.SetFloat(effect_, handles_.emphasis, on ? 4.0f : x2 ? 2.0f : 1.0f);
      else g.SetTextureStageState(d, 0, kTssColorOp, on ? kTopModulate4x : x2 ? kTopModulate2x : kTopModulate);
      break;
    }
    default: break;
  }
}

uint32_t GraphicsSystem::SetRenderFlags(uint32_t bits) {
  uint32_t old = RenderStateFlags;
  if ((old & bits) || !device_) return old;
  for (uint32_t bit : kFlagOrder)
    if (bits & bit) ApplyFlag(bit, true);
  RenderStateFlags |= bits;
  return old;
}

uint32_t GraphicsSystem::ClearRenderFlags(uint32_t bits) {
  uint32_t old = RenderStateFlags;
  if (!(old & bits) || !device_) return old;
  for (uint32_t bit : kFlagOrder)
    if (bits & bit) ApplyFlag(bit, false);
  RenderStateFlags &= ~bits;
  return old;
}

void GraphicsSystem::ApplyMode0Fog() {
  if (fogStart_ == fogEnd_) ClearRenderFlags(kRenderFog);
  else SetRenderFlags(kRenderFog);
}

int GraphicsSystem::SetDrawMode(int mode) {
  if (mode == DrawMode) return mode;
  if (!device_) return 0;
  int previous = DrawMode;
  DrawMode = mode;
  const GfxApi& g = *gfx_;
  bool sprite = mode == 1 || mode == 2;
  if (effect_) g.SetVertexLayout(device_, sprite ? kLayoutSprite : kLayoutMesh);
  else g.SetVertexLayout(device_, sprite ? kLayoutFvfSprite : kLayoutFvfMesh);
  switch (mode) {
    case 0:
      SetCamera3D(eye_, direction_, up_, fov_);
      SetRenderFlags(kRenderDepthWrite);
      SetRenderFlags(kRenderMipFilter);
      SetRenderFlags(kRenderCull);
      if (targetFlags_ & kTargetShadowMap) {
        ClearRenderFlags(kRenderLighting);
        ClearRenderFlags(kRenderFog);
        ClearRenderFlags(kRenderWireframe);
      } else {
        SetRenderFlags(kRenderLighting);
        ApplyMode0Fog();
        ClearRenderFlags(kRenderWireframe);
      }
      break;
    case 1:
      SetCamera3D(eye_, direction_, up_, fov_);
      ClearRenderFlags(kRenderDepthWrite);
      SetRenderFlags(kRenderMipFilter);
      ClearRenderFlags(kRenderCull);
      ClearRenderFlags(kRenderLighting);
      ClearRenderFlags(kRenderFog);
      ClearRenderFlags(kRenderWireframe);
      break;
    case 2:
      SetCamera2D(camera2D_[0], camera2D_[1], camera2D_[2], zoom_);
      ClearRenderFlags(kRenderDepthWrite);
      ClearRenderFlags(kRenderMipFilter);
      ClearRenderFlags(kRenderCull);
      ClearRenderFlags(kRenderLighting);
      ClearRenderFlags(kRenderFog);
      ClearRenderFlags(kRenderWireframe);
      break;
    case 3:
      SetCamera3D(eye_, direction_, up_, fov_);
      ClearRenderFlags(kRenderCull);
      SetRenderFlags(kRenderLighting);
      SetRenderFlags(kRenderWireframe);
      ApplyMode0Fog();
      break;
    case 4:
      SetCamera3D(eye_, direction_, up_, fov_);
      ClearRenderFlags(kRenderDepthWrite);
      SetRenderFlags(kRenderMipFilter);
      ClearRenderFlags(kRenderCull);
      ClearRenderFlags(kRenderLighting);
      ClearRenderFlags(kRenderWireframe);
      break;
    default: break;
  }
  return previous;
}

uint32_t GraphicsSystem::SetBlendMode(uint32_t holderFlags) {
  uint32_t previous = blendFlags_;
  if (holderFlags == blendFlags_ || !device_) return previous;
  blendFlags_ = holderFlags;
  uint32_t src = kBlendSrcAlpha, dst = kBlendInvSrcAlpha;
  if (holderFlags & kTexAdditive) {
    dst = kBlendOne;
  } else if (holderFlags & kTexBlendInvDestColor) {
    src = kBlendInvDestColor;
  } else if (holderFlags & kTexBlendZeroInvSrc) {
    src = kBlendZero;
    dst = kBlendInvSrcColor;
  }
  gfx_->SetRenderState(device_, kRsSrcBlend, src);
  gfx_->SetRenderState(device_, kRsDestBlend, dst);
  // The effect's fog colour depends on the blending (see SetFog).
  if (effect_) SetFog(-1.0f, -1.0f, fogColor_);
  return previous;
}

uint32_t GraphicsSystem::SetTextureAddressing(uint32_t holderFlags) {
  uint32_t previous = addressFlags_;
  if (holderFlags == addressFlags_ || !device_) return previous;
  addressFlags_ = holderFlags;
  uint32_t mode = (holderFlags & kTexAddressMirror) ? kAddressMirror
                  : (holderFlags & kTexAddressClamp) ? kAddressClamp
                                                     : kAddressWrap;
  gfx_->SetSamplerState(device_, 0, kSampAddressU, mode);
  gfx_->SetSamplerState(device_, 0, kSampAddressV, mode);
  return previous;
}

uint32_t GraphicsSystem::SetCullReversed(int on) {
  uint32_t previous = uint32_t(cullMode_);
  cullMode_ = on ? kCullCW : kCullCCW;
  if (device_ && (RenderStateFlags & kRenderCull)) gfx_->SetRenderState(device_, kRsCullMode, uint32_t(cullMode_));
  return previous;
}

int GraphicsSystem::SetMirrorMode(int on) {
  int previous = mirror_;
  mirror_ = on;
  if (effect_) gfx_->SetFloat(effect_, handles_.zSign, on ? -1.0f : 1.0f);
  return previous;
}

// ----------------------------------------------------------------------------
// Cameras
// ----------------------------------------------------------------------------

int GraphicsSystem::SetCamera3D(const Vec3& eye, const Vec3& direction, const Vec3& up, float fov) {
  eye_ = eye;
  direction_ = direction;
  up_ = up;
  fov_ = fov;
  if (DrawMode == 2) return 0;
  if (fov < 0.0f) return SetShadowCamera(eye, direction, up, -fov);
  view_ = GetViewMatrix();
  float aspect = float(targetWidth_) / float(targetHeight_);
  Matrix projection = mirror_ ? MatrixPerspectiveFovRH(fov, aspect, near_, far_)
                              : MatrixPerspectiveFovLH(fov, aspect, near_, far_);
  projection_ = MatrixMultiply(projection, MatrixTranslation(2.0f * stereoShift_ / float(targetWidth_), 0, 0));
  if (!device_) return 1;
  const GfxApi& g = *gfx_;
  if (effect_) {
    SetMatrixParam(g, effect_, handles_.view, view_);
    SetMatrixParam(g, effect_, handles_.proj, projection_);
    float pos[4] = {eye.x, eye.y, eye.z, 0.0f};
    g.SetVector(effect_, handles_.cameraPos, pos, 4);
  } else {
    g.SetTransform(device_, kTransformView, view_);
    g.SetTransform(device_, kTransformProjection, projection_);
  }
  return 1;
}

int GraphicsSystem::SetCameraWithRoll(const Vec3& eye, const Vec3& direction, float roll, float fov) {
  Vec3 up;
  core::RotateVectorAboutAxis(&up, direction, roll);
  return SetCamera3D(eye, direction, up, fov);
}

int GraphicsSystem::SetShadowCamera(const Vec3& eye, const Vec3& direction, const Vec3& up, float size) {
  eye_ = eye;
  direction_ = direction;
  up_ = up;
  fov_ = -size;
  if (DrawMode == 2) return 0;
  view_ = GetViewMatrix();
  projection_ = MatrixMultiply(MatrixTranslation(0, 0, -near_),
                               MatrixScaling(float(targetHeight_) / float(targetWidth_) * 2.0f / size, 2.0f / size,
                                             1.0f / (far_ - near_)));
  if (device_ && effect_) {
    const GfxApi& g = *gfx_;
    SetMatrixParam(g, effect_, handles_.view, view_);
    SetMatrixParam(g, effect_, handles_.proj, projection_);
    g.SetFloat(effect_, handles_.shadowDepth, size);
    float pos[4] = {eye.x, eye.y, eye.z, 0.0f};
    g.SetVector(effect_, handles_.cameraPos, pos, 4);
  }
  return 1;
}

int GraphicsSystem::SetCamera2D(float x, float y, float z, float zoom) {
  camera2D_[0] = x;
  camera2D_[1] = y;
  camera2D_[2] = z;
  zoom_ = zoom;
  if (DrawMode != 2) return 0;
  float h = float(targetHeight_), w = float(targetWidth_);
  view_ = MatrixTranslation(x, y, z);
  // Half a pixel up and left in 2D units, then 768 units to the height.
  projection_ = MatrixMultiply(MatrixTranslation(-384.0f / h, -384.0f / h, 0),
                               MatrixScaling(h / w / 384.0f * zoom, -zoom / 384.0f, 1.0f));
  if (!device_) return 1;
  const GfxApi& g = *gfx_;
  if (effect_) {
    SetMatrixParam(g, effect_, handles_.view, view_);
    SetMatrixParam(g, effect_, handles_.proj, projection_);
  } else {
    g.SetTransform(device_, kTransformView, view_);
    g.SetTransform(device_, kTransformProjection, projection_);
  }
  return 1;
}

Vec3 GraphicsSystem::GetCameraEye(Vec3* copy) const {
  if (copy) *copy = eye_;
  return eye_;
}

Vec3 GraphicsSystem::GetCameraDirection(Vec3* copy) const {
  if (copy) *copy = direction_;
  return direction_;
}

Vec3 GraphicsSystem::GetCameraUp(Vec3* copy) const {
  if (copy) *copy = up_;
  return up_;
}

float GraphicsSystem::GetCameraFov(float* out) const {
  if (out) *out = fov_;
  return fov_;
}

Matrix GraphicsSystem::GetViewMatrix() {
  Vec3 at = Vec3Add(eye_, direction_);
  view_ = mirror_ ? MatrixLookAtRH(eye_, at, up_) : MatrixLookAtLH(eye_, at, up_);
  return view_;
}

Matrix GraphicsSystem::GetViewProjection() {
  Matrix view = GetViewMatrix();
  float aspect = float(targetWidth_) / float(targetHeight_);
  Matrix projection = mirror_ ? MatrixPerspectiveFovRH(fov_, aspect, near_, far_)
                              : MatrixPerspectiveFovLH(fov_, aspect, near_, far_);
  projection = MatrixMultiply(projection, MatrixTranslation(2.0f * stereoShift_ / float(targetWidth_), 0, 0));
  viewProjection_ = MatrixMultiply(view, projection);
  return viewProjection_;
}

Vec3 GraphicsSystem::ProjectPoint(const Vec3& point) { return Vec3TransformCoord(point, GetViewProjection()); }

Vec3 GraphicsSystem::TransformPointToView(const Vec3& point) { return Vec3TransformCoord(point, GetViewMatrix()); }

}  // namespace render
