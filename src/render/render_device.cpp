// render_device.cpp -- the display list, the main window, device creation,
// the device's default states, scene and pass brackets, and the present
// with its device-loss recovery.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "render/render_local.h"

namespace render {

using core::Sjis;
using platform::GfxRect;

namespace {

const char* FormatName(uint32_t format) {
  switch (format) {
    case platform::kFmtA8R8G8B8: return "A8R8G8B8";
    case platform::kFmtX8R8G8B8: return "X8R8G8B8";
    case platform::kFmtR5G6B5: return "R5G6B5";
    case platform::kFmtX1R5G5B5: return "X1R5G5B5";
    case platform::kFmtA1R5G5B5: return "A1R5G5B5";
    default: return "Other";
  }
}

const char* DepthName(uint32_t format) {
  switch (format) {
    case platform::kFmtD32: return "D3DFMT_D32";
    case platform::kFmtD24S8: return "D3DFMT_D24S8";
    case platform::kFmtD24X8: return "D3DFMT_D24X8";
    case platform::kFmtD16: return "D3DFMT_D16";
    default: return "Other";
  }
}

const char* ResetResultText(uint32_t r) {
  switch (r) {
    case platform::kGfxOk: return "サーフェイスリセット\n";
    case platform::kGfxErrOutOfVideoMemory: return "サーフェイスリセット[D3DERR_OUTOFVIDEOMEMORY]\n";
    case platform::kGfxErrOutOfMemory: return "サーフェイスリセット[E_OUTOFMEMORY]\n";
    case platform::kGfxErrDriverInternal: return "サーフェイスリセット[D3DERR_DRIVERINTERNALERROR]\n";
    case platform::kGfxErrDeviceLost: return "サーフェイスリセット[D3DERR_DEVICELOST]\n";
    default: return "サーフェイスリセット[D3DERR_INVALIDCALL]\n";
  }
}

void DefaultQuit(int code) { std::exit(code); }

}  // namespace

// ----------------------------------------------------------------------------
// DeviceDescription
// ----------------------------------------------------------------------------

int DeviceDescription::CountDisplayModes() const {
  int n = 0;
  while (n < kMaxDisplayModes && modes[n].width != 0) n++;
  return n;
}

int DeviceDescription::CountDepthFormats() const {
  int n = 0;
  while (n < kMaxDepthFormats && depthFormats[n].format != 0) n++;
  return n;
}

void DeviceDescription::AddDisplayMode(int adapter, int w, int h, uint32_t format) {
  int n = CountDisplayModes();
  if (n >= kMaxDisplayModes) return;
  DisplayModeEntry& e = modes[n];
  e.adapter = adapter;
  e.width = w;
  e.height = h;
  e.format = format;
  std::snprintf(e.formatName, sizeof e.formatName, "%s", FormatName(format));
}

void DeviceDescription::AddDepthFormat(uint32_t format) {
  int n = CountDepthFormats();
  if (n >= kMaxDepthFormats) return;
  depthFormats[n].format = format;
  std::snprintf(depthFormats[n].name, sizeof depthFormats[n].name, "%s", DepthName(format));
}

// ----------------------------------------------------------------------------
// GraphicsSystem: construction
// ----------------------------------------------------------------------------

GraphicsSystem::GraphicsSystem()
    : display(platform::SdlDisplayApi()), headsetApi(platform::PlatformHeadsetApi()), quitProgram(DefaultQuit) {
  for (platform::GfxTexture*& slot : boundSlot_) slot = UnboundSlot();
}

GraphicsSystem::~GraphicsSystem() {
  ReleaseDirect3D();
  DestroyMainWindow();
}

platform::GfxRect GraphicsSystem::GetMonitorRect(int n) const {
  return n >= 0 && n < monitorCount_ ? monitors_[n] : GfxRect{0, 0, 0, 0};
}

DisplayModeEntry GraphicsSystem::GetDisplayMode(int n) const {
  if (n < 0) return description_.modeInUse;
  return n < kMaxDisplayModes ? description_.modes[n] : DisplayModeEntry{};
}

DepthFormatEntry GraphicsSystem::GetDepthFormat(int n) const {
  if (n < 0) return description_.depthInUse;
  return n < kMaxDepthFormats ? description_.depthFormats[n] : DepthFormatEntry{};
}

// ----------------------------------------------------------------------------
// Creation
// ----------------------------------------------------------------------------

int GraphicsSystem::CreateDirect3D() {
  if (!gfx_) gfx_ = &platform::Gl33Api();
  if (!displayStarted_) {
    if (!display.Start || !display.Start(display.user)) {
      Logf(log, core::kLogError, "%s", Sjis("Direct3D作成失敗"));
      return 0;
    }
    displayStarted_ = true;
  }
  std::memset(formatAvailable_, 0, sizeof formatAvailable_);

  Logf(log, core::kLogInfo, "%s", Sjis("========== 利用できるディスプレイの列挙 ==========\n"));
  monitorCount_ = display.Monitors ? display.Monitors(display.user, monitors_, kMaxMonitors) : 0;
  for (int i = 0; i < monitorCount_; i++)
    Logf(log, core::kLogError, "(%d,%d)-(%d,%d)\n", monitors_[i].left, monitors_[i].top, monitors_[i].right,
         monitors_[i].bottom);

  Logf(log, core::kLogInfo, "%s", Sjis("========== 利用できる画面モードの列挙 ==========\n"));
  static const uint32_t kFormats[] = {platform::kFmtX8R8G8B8, platform::kFmtA8R8G8B8, platform::kFmtX1R5G5B5,
                                      platform::kFmtA1R5G5B5, platform::kFmtR5G6B5};
  int adapters = display.AdapterCount ? display.AdapterCount(display.user) : 0;
  for (int adapter = 0; adapter < 8 && adapter < adapters; adapter++) {
    for (uint32_t format : kFormats) {
      int count = display.ModeCount(display.user, adapter, format);
      for (int i = 0; i < count; i++) {
        platform::GfxDisplayMode m;
        if (!display.EnumMode(display.user, adapter, format, i, &m)) continue;
        // 4:3 or wider only; refresh rates are not told apart.
        if (m.width * 3 / 4 < m.height) continue;
        bool known = false;
        for (int k = 0; k < description_.CountDisplayModes() && !known; k++) {
          const DisplayModeEntry& e = description_.modes[k];
          known = e.adapter == adapter && e.width == m.width && e.height == m.height && e.format == format;
        }
        if (known) continue;
        formatAvailable_[format] = 1;
        description_.AddDisplayMode(adapter, m.width, m.height, format);
        Logf(log, core::kLogError, "(%d)[ %d x %d ] - %s\n", adapter, m.width, m.height, FormatName(format));
      }
    }
  }
  Logf(log, core::kLogError, "========================================\n");
  return 1;
}

platform::Window* GraphicsSystem::CreateMainWindow(const char* title, bool withMenu, int screenMode, int adapter,
                                                   int width, int height) {
  std::snprintf(title_, sizeof title_, "%s", title ? title : "");
  targetWidth_ = clientWidth_ = width;
  targetHeight_ = clientHeight_ = height;
  adapter_ = adapter;
  screenMode_ = screenMode;
  hasMenu_ = withMenu ? 1 : 0;
  platform::WindowDesc desc;
  desc.title = title_;
  desc.width = width;
  desc.height = height;
  desc.fullScreen = screenMode == 1 && !platform::IsHeadless();
  desc.display = adapter;
  desc.hidden = true;  // shown once the device stands
  window_ = platform::CreateWindow(desc);
  if (window_) Logf(log, core::kLogError, "%s", Sjis("ウィンドウ作成成功\n"));
  return window_;
}

void GraphicsSystem::DestroyMainWindow() {
  if (!window_) return;
  if (device_) ReleaseDirect3D();
  platform::DestroyWindow(window_);
  window_ = nullptr;
}

int GraphicsSystem::InitDevice(int shadersWanted) {
  using namespace platform;
  if (!window_) return 0;
  // 1. The display list, the present parameters, the desktop modes.
  if (!displayStarted_ && !CreateDirect3D()) return 0;
  present_ = GfxPresentParams{};
  GfxDisplayMode desktop[8] = {};
  int desktops = 0;
  while (desktops < 8 && display.DesktopMode && display.DesktopMode(display.user, desktops, &desktop[desktops]))
    desktops++;

  // 2, 3. The back buffer's format.
  uint32_t format = 0;
  if (screenMode_ == 1) {
    static const uint32_t kOrder[] = {kFmtX8R8G8B8, kFmtA8R8G8B8, kFmtR8G8B8, kFmtR5G6B5, kFmtX1R5G5B5, kFmtA1R5G5B5};
    for (uint32_t f : kOrder)
      if (!format && formatAvailable_[f]) format = f;
    Logf(log, core::kLogError, "%s", Sjis("フルスクリーンモード\n"));
  } else {
    format = adapter_ >= 0 && adapter_ < desktops ? desktop[adapter_].format : 0;
    Logf(log, core::kLogError, "%s", Sjis("ウィンドウモード\n"));
  }
  if (format >= 32 || !formatAvailable_[format]) {
    ShowMessageBox(Sjis("現在のWindowsの色設定ではDirectXが利用できません。"), title_, kMbOk | kMbIconWarning,
                   window_);
    Logf(log, core::kLogError, "%s", Sjis("色解像度に非対応\n"));
    return 0;
  }

  // 4. Present parameters; the window's size and place.
  present_.backBufferWidth = targetWidth_;
  present_.backBufferHeight = targetHeight_;
  present_.backBufferFormat = format;
  present_.windowed = screenMode_ != 1;
  present_.autoDepthStencil = true;
  if (screenMode_ == 1) {
    SetWindowClientSize(window_, targetWidth_, targetHeight_);
    SetWindowPosition(window_, 0, 0);
  } else {
    SetWindowClientSize(window_, targetWidth_, targetHeight_);
    int left = 0, top = 0, right = 0, bottom = 0;
    GetWindowBorders(window_, &left, &top, &right, &bottom);
    // Centred on the chosen adapter's monitor; an adapter without a monitor
    // rectangle keeps the window where the system put it.
    if (adapter_ >= 0 && adapter_ < monitorCount_) {
      const GfxRect& m = monitors_[adapter_];
      int outerW = targetWidth_ + left + right, outerH = targetHeight_ + top + bottom;
      SetWindowPosition(window_, m.left + (m.right - m.left - outerW) / 2, m.top + (m.bottom - m.top - outerH) / 2);
    }
  }
  GetWindowClientSize(window_, &clientWidth_, &clientHeight_);

  // 5. Depth format: the last that matches wins.
  static const uint32_t kDepths[] = {kFmtD16, kFmtD24S8, kFmtD24X8, kFmtD32};
  for (uint32_t d : kDepths) {
    if (!display.DepthStencilMatch || !display.DepthStencilMatch(display.user, adapter_, format, format, d)) continue;
    present_.depthStencilFormat = d;
    description_.AddDepthFormat(d);
    Logf(log, core::kLogError, "Z-Buffer[%s]\n", DepthName(d));
  }
  if (!present_.depthStencilFormat) Logf(log, core::kLogError, "%s", Sjis("Zバッファ作成失敗\n"));
  description_.modeInUse = {};
  description_.modeInUse.adapter = adapter_;
  description_.modeInUse.width = targetWidth_;
  description_.modeInUse.height = targetHeight_;
  description_.modeInUse.format = format;
  std::snprintf(description_.modeInUse.formatName, 32, "%s", FormatName(format));
  description_.depthInUse.format = present_.depthStencilFormat;
  std::snprintf(description_.depthInUse.name, 32, "%s", DepthName(present_.depthStencilFormat));

  // 6, 7. Capabilities.
  description_.caps = GfxCaps{};
  if (display.DeviceCaps) display.DeviceCaps(display.user, adapter_, &description_.caps);
  if (shadersWanted &&
      (description_.caps.vertexShaderVersion < 0xFFFE0300u || description_.caps.pixelShaderVersion < 0xFFFF0300u)) {
    int answer = ShowMessageBox(Sjis("このPCに搭載されたビデオカードでは、プログラマブルシェーダが使えない可能性が"
                                     "あります。Tarnwickを起動しますか？"),
                                title_, kMbYesNo | kMbIconWarning, window_);
    if (answer != kIdYes) return 0;
  }
  if (description_.caps.numSimultaneousRTs > 4) description_.caps.numSimultaneousRTs = 4;
  Logf(log, core::kLogError, Sjis("レンダリングターゲット数=%d\n"), description_.caps.numSimultaneousRTs);

  // 8. The device.
  if (gfx_->CreateDevice(window_, present_, &device_) != kGfxOk) {
    device_ = nullptr;
    Logf(log, core::kLogError, "%s", Sjis("Direct3D初期化失敗\n"));
    return 0;
  }
  description_.hardwareVertexProcessing = 1;
  Logf(log, core::kLogError, "[T&L HAL]\n");

  // 9, 10. The effect; the memory estimate.
  shadersOn_ = shadersWanted ? 1 : 0;
  if (shadersOn_ && !CreateEffect(nullptr)) return 0;
  description_.memory.current = description_.memory.atCreation = gfx_->GetAvailableTextureMem(device_);
  Logf(log, core::kLogError, "%s", Sjis("DirectX初期化成功\n"));

  // 11. The default textures.
  defaults_.white.CreateFilledTexture(*this, 1, 1, 0xFFFFFFFFu, 0);
  defaults_.grey.CreateFilledTexture(*this, 1, 1, 0xFF808080u, 0);
  defaults_.black.CreateFilledTexture(*this, 1, 1, 0xFF000000u, 0);
  defaults_.clear.CreateFilledTexture(*this, 1, 1, 0x00000000u, 0);
  defaults_.blackAdditive.CreateFilledTexture(*this, 1, 1, 0xFF000000u, kTexAdditive);
  defaults_.whiteAdditive.CreateFilledTexture(*this, 1, 1, 0xFFFFFFFFu, kTexAdditive);

  // 12. Zeroed state, the device defaults.
  fogColor_ = {0, 0, 0};
  DrawMode = -1;
  fogStart_ = fogEnd_ = 0.0f;
  shadowedPasses_ = 0;
  glareRate_ = 0.0f;
  anaglyphEye_ = 0;
  SetDepthRange(1.0f, 10000.0f);
  RestoreDeviceState(0);
  SetStereoShift(0.0f);

  // 13. The device's own targets.
  for (int i = 0; i < description_.caps.numSimultaneousRTs; i++) savedTargets_[i] = gfx_->GetRenderTarget(device_, i);
  savedDepth_ = gfx_->GetDepthStencilSurface(device_);
  savedViewport_ = gfx_->GetViewport(device_);
  backWidth_ = targetWidth_;
  backHeight_ = targetHeight_;
  blendFlags_ = addressFlags_ = 0;
  targetFlags_ = 0;
  cullMode_ = kCullCCW;
  mirror_ = 0;
  shadowedPasses_ = 0;

  // 14. Fog, mirror, the spot slots off.
  SetFog(0.0f, 10000.0f, {1, 1, 1});
  SetMirrorRate(1.0f);
  for (int i = 0; i < kSpotLightSlots; i++) SetSpotLight(i, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, 1.0f, 1.0f);

  // 15. The default font; the window appears.
  SetFont(Sjis("ＭＳ 明朝"), 16, 0xFFFFFFFFu, 1);
  SetTextLineSpacing(0.0f);
  BeginScenePass(0, 0);
  Logf(log, core::kLogError, "%s", Sjis("各種描画設定終了\n"));
  ShowWindow(window_);
  return 1;
}

void GraphicsSystem::RestoreDeviceState(int afterReset) {
  using namespace platform;
  const GfxApi& g = *gfx_;
  GfxDevice* d = device_;
  if (!d) return;
  // 1. Render states.
  g.SetRenderState(d, kRsCullMode, kCullCCW);
  g.SetRenderState(d, kRsLighting, 1);
  g.SetRenderState(d, kRsShadeMode, kShadeGouraud);
  g.SetRenderState(d, kRsAmbient, 0xFF404040u);
  g.SetSamplerState(d, 0, kSampMipFilter, kFilterLinear);
  g.SetRenderState(d, kRsZEnable, 1);
  g.SetRenderState(d, kRsZWriteEnable, 1);
  g.SetRenderState(d, kRsNormalizeNormals, 1);
  g.SetRenderState(d, kRsSpecularEnable, 1);
  g.SetSamplerState(d, 0, kSampAddressU, kAddressWrap);
  g.SetSamplerState(d, 0, kSampAddressV, kAddressWrap);
  g.SetRenderState(d, kRsAlphaBlendEnable, 1);
  g.SetRenderState(d, kRsSrcBlend, kBlendSrcAlpha);
  g.SetRenderState(d, kRsDestBlend, kBlendInvSrcAlpha);
  if (effect_) {
    // The target's alpha stays as it is.
    g.SetRenderState(d, kRsSeparateAlphaBlendEnable, 1);
    g.SetRenderState(d, kRsSrcBlendAlpha, kBlendZero);
    g.SetRenderState(d, kRsDestBlendAlpha, kBlendOne);
  }
  g.SetTextureStageState(d, 0, kTssAlphaOp, kTopModulate);
  g.SetTextureStageState(d, 0, kTssColorOp, kTopModulate);
  g.SetTextureStageState(d, 0, kTssColorArg1, kTaTexture);
  g.SetTextureStageState(d, 0, kTssAlphaArg1, kTaTexture);
  g.SetTextureStageState(d, 0, kTssColorArg2, kTaDiffuse);
  g.SetTextureStageState(d, 0, kTssAlphaArg2, kTaDiffuse);
  g.SetSamplerState(d, 0, kSampMagFilter, kFilterLinear);
  g.SetSamplerState(d, 0, kSampMinFilter, kFilterLinear);
  GfxMaterial material{};
  for (int i = 0; i < 4; i++) material.diffuse[i] = material.ambient[i] = 0.5f;
  material.power = 5.0f;
  g.SetMaterial(d, material);
  // The word says what the device now does: cull, lighting, depth write and
  // depth test are on (mip filtering too, but that bit is left for the draw
  // modes to set, as they always do).
  RenderStateFlags = kRenderCull | kRenderLighting | kRenderDepthWrite | kRenderDepthTest;

  // 2. Fog, the plain texture, the draw modes.
  SetFog(fogStart_, fogEnd_, fogColor_);
  BindTexture(nullptr);
  SetDrawMode(1);
  SetDrawMode(0);

  // 3. Light 0.
  if (afterReset) g.SetLight(d, 0, light_);
  else SetLight({3, 5, 1}, {1, 1, 1}, {0.15f, 0.15f, 0.15f});
  g.LightEnable(d, 0, true);

  // 4. What a reset dropped.
  if (afterReset) {
    ReleaseFonts();
    for (GfxSurface*& s : savedTargets_) {
      g.ReleaseSurface(s);
      s = nullptr;
    }
    g.ReleaseSurface(savedDepth_);
    for (int i = 0; i < description_.caps.numSimultaneousRTs; i++) savedTargets_[i] = g.GetRenderTarget(d, i);
    savedDepth_ = g.GetDepthStencilSurface(d);
    savedViewport_ = g.GetViewport(d);
    GetEffectHandles();
  }
  // 5. The pointer: hidden in full screen.
  ShowPointer(screenMode_ != 1);
}

int GraphicsSystem::BeginScenePass(int begin, int pass) {
  const platform::GfxApi& g = *gfx_;
  if (!device_) return 0;
  if (effect_) {
    if (shadowedPasses_ && pass == SHADER_PASS_3DMESH) pass = SHADER_PASS_3DMESH_SHADOW;
    if (shadowedPasses_ && pass == SHADER_PASS_3DMESH_MIRROR) pass = SHADER_PASS_3DMESH_SHADOW_MIRROR;
    if (anaglyphEye_ == 1 && pass == SHADER_PASS_2DSPRITE) pass = SHADER_PASS_2DSPRITE_L;
    if (anaglyphEye_ == 2 && pass == SHADER_PASS_2DSPRITE) pass = SHADER_PASS_2DSPRITE_R;
    if (begin) {
      if (!inScene_) {
        g.BeginScene(device_);
        g.Begin(effect_, nullptr);
        inScene_ = 1;
      }
      // Re-beginning the pass that is open only brings its values up to
      // date, which is all a pass change would do here.
      if (g.CurrentPass(effect_) == pass) {
        g.CommitChanges(effect_);
      } else {
        if (g.CurrentPass(effect_) >= 0) g.EndPass(effect_);
        g.BeginPass(effect_, pass);
      }
    } else if (inScene_) {
      if (g.CurrentPass(effect_) >= 0) g.EndPass(effect_);
      g.End(effect_);
      g.EndScene(device_);
      inScene_ = 0;
    }
    return 0;
  }
  if ((begin != 0) != (inScene_ != 0)) {
    if (begin) g.BeginScene(device_);
    else g.EndScene(device_);
    inScene_ = begin ? 1 : 0;
  }
  return 0;
}

int GraphicsSystem::PresentFrame() {
  using namespace platform;
  if (!device_) return -1;
  const GfxApi& g = *gfx_;
  BindTexture(nullptr);
  BeginScenePass(0, 0);
  uint32_t r = g.Present(device_);
  if (r == kGfxOk) {
    deviceLost_ = 0;
    wasReset_ = 0;
  } else {
    uint32_t level = g.TestCooperativeLevel(device_);
    if (level == kGfxErrDeviceLost) {
      Logf(log, core::kLogInfo, "%s", Sjis("サーフェイスロスト\n"));
      deviceLost_ = 1;
    } else if (level == kGfxErrDeviceNotReset) {
      deviceLost_ = 1;
      ResetDevice();
      wasReset_ = 1;
    }
    // A failed reset leaves the device lost; the next present tries again.
  }
  // 5. The next frame starts black.
  g.BeginScene(device_);
  g.Clear(device_, kClearTarget | kClearZBuffer, 0xFF000000u, 1.0f);
  g.EndScene(device_);
  // 6. Frames per second: counted over whole seconds of the clock.
  previousPresent_ = lastPresent_;
  lastPresent_ = clock ? clock->NowMs() : MonotonicMs();
  framesThisSecond_++;
  if (previousPresent_ / 1000 != lastPresent_ / 1000) {
    measuredFps_ = framesThisSecond_;
    framesThisSecond_ = 0;
  }
  return wasReset_;
}

uint32_t GraphicsSystem::ResetDevice() {
  using namespace platform;
  const GfxApi& g = *gfx_;
  // (a) The effect lets go of the targets it samples.
  if (effect_) {
    int handles[] = {handles_.shadowTexture[0], handles_.shadowTexture[1], handles_.shadowTexture[2],
                     handles_.texture,          handles_.envTexture,       handles_.mirrorTexture,
                     handles_.lightTexture};
    for (int h : handles) g.SetEffectTexture(effect_, h, nullptr);
    ForgetSlotCaches();
  }
  // (b) Registered targets release their surfaces.
  for (TextureHolder* holder : registry_) {
    if (!holder) continue;
    Logf(log, core::kLogInfo, "%s", Sjis("サーフェス開放\n"));
    holder->ReleaseTextureSurfaces(*this);
  }
  // (c) The device's own targets: the device takes the back buffer back.
  for (GfxSurface*& s : savedTargets_) {
    g.ReleaseSurface(s);
    s = nullptr;
  }
  g.ReleaseSurface(savedDepth_);
  savedDepth_ = nullptr;
  // A bound holder would keep its texture alive through the reset.
  g.SetTexture(device_, 0, nullptr);
  // (d, e) Fonts forget their textures; the reset.
  ReleaseFonts();
  uint32_t result = g.Reset(device_, present_);
  Logf(log, core::kLogInfo, "%s", Sjis(ResetResultText(result)));
  // (f) Whatever the result: the defaults, the targets, light, fog and
  // object colour again.
  targetFlags_ = 0;
  targetWidth_ = backWidth_;
  targetHeight_ = backHeight_;
  RestoreDeviceState(1);
  for (int i = 0; i < kRenderTargetSlots; i++)
    if (registry_[i]) registry_[i]->CreateRenderTargetTexture(*this, registryFormat_[i]);
  g.SetLight(device_, 0, light_);
  SetLight(lightDir_, lightDiffuse_, lightAmbient_);
  SetFog(fogStart_, fogEnd_, fogColor_);
  SetObjectColorParameter(objectColor_[0], objectColor_[1], objectColor_[2], objectColor_[3]);
  return result;
}

int GraphicsSystem::ResizeClient(int width, int height) {
  clientWidth_ = width < 0 ? 0 : width;
  clientHeight_ = height < 0 ? 0 : height;
  // A minimised window keeps its back buffer: nothing is drawn into it
  // until the window comes back, and a buffer of no pixels cannot be made.
  if (!device_ || width <= 0 || height <= 0) return 0;
  if (width == backWidth_ && height == backHeight_) return 0;
  BeginScenePass(0, 0);
  int oldWidth = backWidth_, oldHeight = backHeight_;
  present_.backBufferWidth = backWidth_ = width;
  present_.backBufferHeight = backHeight_ = height;
  if (ResetDevice() != platform::kGfxOk) {
    // The device kept the buffer it had; so does the record of it, and the
    // next resize tries again.
    Logf(log, core::kLogError, "back buffer %d x %d not made; it stays %d x %d\n", width, height, oldWidth,
         oldHeight);
    present_.backBufferWidth = backWidth_ = targetWidth_ = oldWidth;
    present_.backBufferHeight = backHeight_ = targetHeight_ = oldHeight;
    return 0;
  }
  description_.modeInUse.width = width;
  description_.modeInUse.height = height;
  // The new buffer starts black, as every presented frame's successor does.
  gfx_->BeginScene(device_);
  gfx_->Clear(device_, platform::kClearTarget | platform::kClearZBuffer, 0xFF000000u, 1.0f);
  gfx_->EndScene(device_);
  return 1;
}

void GraphicsSystem::ReleaseDirect3D() {
  ReleaseHeadset();
  if (!device_) return;
  const platform::GfxApi& g = *gfx_;
  BeginScenePass(0, 0);
  ReleaseFonts();
  defaults_.white.ReleaseTexture(*this);
  defaults_.grey.ReleaseTexture(*this);
  defaults_.black.ReleaseTexture(*this);
  defaults_.clear.ReleaseTexture(*this);
  defaults_.blackAdditive.ReleaseTexture(*this);
  defaults_.whiteAdditive.ReleaseTexture(*this);
  for (TextureHolder*& holder : registry_)
    if (holder) holder->ReleaseTextureSurfaces(*this);
  for (platform::GfxSurface*& s : savedTargets_) {
    g.ReleaseSurface(s);
    s = nullptr;
  }
  g.ReleaseSurface(savedDepth_);
  savedDepth_ = nullptr;
  g.SetTexture(device_, 0, nullptr);
  if (effect_) g.ReleaseEffect(effect_);
  effect_ = nullptr;
  handles_ = EffectHandles{};
  g.ReleaseDevice(device_);
  device_ = nullptr;
  shadersOn_ = 0;
  ForgetSlotCaches();
}

}  // namespace render
