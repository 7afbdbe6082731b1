// render_public.h -- the renderer as the rest of the engine calls it: the
// device and main window, render state, cameras, text, textures and render
// targets, the effect with its lights, fog and shadows.
//
// Notes for callers:
//  - One GraphicsSystem, owned by the engine record. Start-up calls
//    CreateDirect3D, CreateMainWindow, InitDevice in that order; each frame
//    ends with PresentFrame; ReleaseDirect3D releases the device at exit.
//  - State setters store the requested state, skip the device call when it
//    equals the stored one and return the previous value. Texture creation
//    returns 0 or the device's error code; other operations 1 or 0, or -1
//    for a refusal.
//  - Texts are Shift-JIS; positions, sizes and wrap widths of the 2D layer
//    are in 2D units: 768 units tall, origin at the centre, y down.
//  - Everything runs on the main thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_public.h"
#include "render/render_drawables.h"

namespace core {
class LogSystem;
}
namespace core {
class FilePackageTable;
}

namespace render {

using platform::Matrix;
using platform::Vec3;

class GraphicsSystem;
struct Font;

// ----------------------------------------------------------------------------
// TextureHolderFlags: one word per holder. Load bits are OR-ed in after the
// load; blend and addressing bits are read by SetBlendMode and
// SetTextureAddressing; target kinds choose the effect pass while the holder
// is render target 0.
// ----------------------------------------------------------------------------

enum : uint32_t {
  kTexNoColorKey = 0x2,
  kTexKeyGreen = 0x4,     // colour key 0xFF00FF00
  kTexKeyRed = 0x8,       // 0xFFFF0000
  kTexKeyBlue = 0x10,     // 0xFF0000FF
  kTexKeyWhite = 0x20,    // 0xFFFFFFFF; none of 0x2..0x20: opaque black
  kTexHalfSize = 0x80,
  kTexQuarterSize = 0x100,
  kTexMipChain = 0x200,
  kTexNormalMap = 0x400,  // heights become a normal map
  kTex16Bit = 0x800,      // load: 16-bit; effect slot: bump texture
  kTexBumpSlot = 0x800,
  kTexSpecularSlot = 0x1000,
  kTexLightSlot = 0x2000,
  kTexHeatSlot = 0x4000,
  kTexAdditive = 0x8000,           // source alpha / one
  kTexBlendInvDestColor = 0x10000, // inverse destination colour / inverse source alpha
  kTexBlendZeroInvSrc = 0x20000,   // zero / inverse source colour
  kTexAddressMirror = 0x40000,
  kTexAddressClamp = 0x80000,
  kTexAllow16Bit = 0x100000,       // 16-bit allowed when the load has no colour key
  kTexRenderTarget = 0x1000000,    // has a depth surface
  kTargetShadowMap = 0x2000000,
  kTargetBloomCopy = 0x4000000,
  kTargetSmallCopy = 0x8000000,
  kTargetGlareCopy = 0x10000000,
  kTargetHeatCopy = 0x20000000,
};

// RenderStateFlags bits (SetRenderFlags / ClearRenderFlags).
enum : uint32_t {
  kRenderCull = 0x1,
  kRenderLighting = 0x2,
  kRenderFog = 0x4,
  kRenderMipFilter = 0x8,
  kRenderWireframe = 0x10,
  kRenderFlatShading = 0x80,
  kRenderDepthWrite = 0x100,
  kRenderDepthTest = 0x200,
  kRenderColorX2 = 0x400,
  kRenderColorX4 = 0x800,
};

// The effect's passes, by number.
enum : int {
  SHADER_PASS_2DSPRITE = 0,
  SHADER_PASS_2DSPRITE_L = 1,
  SHADER_PASS_2DSPRITE_R = 2,
  SHADER_PASS_3DSPRITE = 3,
  SHADER_PASS_3DMESH = 4,
  SHADER_PASS_3DMESH_MIRROR = 5,
  SHADER_PASS_3DMESH_SHADOW = 6,
  SHADER_PASS_3DMESH_SHADOW_MIRROR = 7,
  SHADER_PASS_3DMESH_SHADOWMAP = 8,
  SHADER_PASS_BLOOM_COPY = 9,
  SHADER_PASS_GLARE_COPY = 10,
  SHADER_PASS_SMALL_COPY = 11,
  SHADER_PASS_HEAT_COPY = 12,
};

constexpr int kRenderTargetSlots = 64;
constexpr int kSpotLightSlots = 16;      // renderer slots (8 reach the effect)
constexpr int kEffectSpotLights = 8;
constexpr int kSpotLightPoolSize = 128;  // the world's timed pool
constexpr int kFontCacheSize = 256;
constexpr int kMaxDisplayModes = 256;
constexpr int kMaxDepthFormats = 8;
constexpr int kMaxMonitors = 7;

// ----------------------------------------------------------------------------
// TextureHolder: one texture or render target. Constructed empty; holders do
// not own the bytes they were loaded from. Operations take the renderer that
// made (or will make) the texture.
// ----------------------------------------------------------------------------

struct TextureHolder {
  platform::GfxTexture* texture = nullptr;
  platform::GfxSurface* depthSurface = nullptr;  // render targets only
  uint32_t flags = 0;                            // TextureHolderFlags
  int32_t width = 0, height = 0;                 // after the load's size reduction
  int32_t bytesPerPixel = 0;                     // 4, or 2 for 16-bit textures
  uint32_t HolderUsesEffect = 0;                 // made while the effect path was on
  uint32_t targetFormat = 0;                     // format a render target was made with

  void InitTextureHolder();

  // 0 or the device's error code.
  uint32_t CreateFilledTexture(GraphicsSystem& gs, int w, int h, uint32_t colour, uint32_t flagBits);
  // Makes and registers a render target (registered also when creation
  // failed, so a reset tries again). 0 or the error code.
  uint32_t CreateRenderTarget(GraphicsSystem& gs, int w, int h, uint32_t format);
  // Makes texture and depth surface of the holder's size; no count change.
  uint32_t CreateRenderTargetTexture(GraphicsSystem& gs, uint32_t format);
  // 1 or 0. Reads through the file layer (package entries first).
  int LoadTextureFile(GraphicsSystem& gs, const char* name, uint32_t flagBits);
  int LoadTextureFromMemory(GraphicsSystem& gs, const void* bytes, int size, uint32_t flagBits);
  // Gives the memory back, unregisters a render target, clears the holder.
  void ReleaseTexture(GraphicsSystem& gs);
  // Releases texture and depth surface only (device loss).
  void ReleaseTextureSurfaces(GraphicsSystem& gs);

  uint32_t SetTextureFlags(uint32_t bits) { return flags |= bits; }
  uint32_t ClearTextureFlags(uint32_t bits) { return flags &= ~bits; }
  uint32_t GetTextureFlags() const { return flags; }
  int GetTextureWidth(int* out = nullptr) const;
  int GetTextureHeight(int* out = nullptr) const;
  // The top level as a surface, a new reference (null without texture).
  platform::GfxSurface* GetTextureSurface(GraphicsSystem& gs) const;

  // 1, or 0 without texture or depth surface.
  int MakeTextureCurrentTarget(GraphicsSystem& gs, int index);

  // Pixels as blue, green, red bytes; returns the byte count, or 0. A null
  // `out` asks for the count only.
  int ReadTexturePixels(GraphicsSystem& gs, uint8_t* out, int x0, int y0, int x1, int y1);
  int ReadAllTexturePixels(GraphicsSystem& gs, uint8_t* out);
  // ".jpg" JPEG, ".dds" DDS, anything else a 24-bit BMP; non-zero on success.
  int SaveTexture(GraphicsSystem& gs, const char* fileName);
};

// ----------------------------------------------------------------------------
// The world's pool of timed spot lights (held by the world, submitted by the
// renderer once per frame). Parallel arrays; lifetime 0 marks a free slot.
// ----------------------------------------------------------------------------

struct SpotLightPool {
  Vec3 position[kSpotLightPoolSize];
  Vec3 direction[kSpotLightPoolSize];
  Vec3 colour[kSpotLightPoolSize];
  float power[kSpotLightPoolSize];
  float cone[kSpotLightPoolSize];
  int32_t lifetime[kSpotLightPoolSize];  // steps; 0 free
  int32_t age[kSpotLightPoolSize];       // steps

  SpotLightPool() { ZeroSpotLightPool(); }
  void ClearSpotLights() { ZeroSpotLightPool(); }
  void ZeroSpotLightPool();
  // The first free slot, or -1 when all 128 are live.
  int AddSpotLight(const Vec3& pos, const Vec3& dir, const Vec3& col, float pow, float con, int32_t life);
  // One world step: every live slot ages; one that reaches its lifetime is freed.
  void AgeSpotLights();
};

// ----------------------------------------------------------------------------
// GraphicsSystem
// ----------------------------------------------------------------------------

struct DisplayModeEntry {
  int32_t adapter, width, height;
  uint32_t format;
  char formatName[32];
};

struct DepthFormatEntry {
  uint32_t format;
  char name[32];
};

struct TextureMemoryCount {
  uint32_t current = 0;
  uint32_t lowest = 0xFFFFFFFFu;
  uint32_t atCreation = 0;
};

struct DeviceDescription {
  DisplayModeEntry modes[kMaxDisplayModes] = {};
  DisplayModeEntry modeInUse = {};
  DepthFormatEntry depthFormats[kMaxDepthFormats] = {};
  DepthFormatEntry depthInUse = {};
  platform::GfxCaps caps = {};
  int hardwareVertexProcessing = 0;
  TextureMemoryCount memory;

  int CountDisplayModes() const;
  int CountDepthFormats() const;
  // Appends; a full table drops the mode.
  void AddDisplayMode(int adapter, int w, int h, uint32_t format);
  void AddDepthFormat(uint32_t format);
};

struct FontCache {
  Font* current = nullptr;
  Font* fonts[kFontCacheSize] = {};
  char* faces[kFontCacheSize] = {};  // heap copies, at most 63 characters
  int heights[kFontCacheSize] = {};
};

// The six 1x1 defaults made with the device.
struct DefaultTextures {
  TextureHolder white, grey, black, clear, blackAdditive, whiteAdditive;
};

// The effect's parameter handles (0: the effect lacks the parameter).
struct EffectHandles {
  int world[5], view, proj, shadowVproj[3], objectColor, lightColor, refColor, envColor, lightDir;
  int spotColor[kSpotLightSlots], spotPos[kSpotLightSlots], spotDir[kSpotLightSlots];
  int spotPower[kSpotLightSlots], spotSize[kSpotLightSlots];
  int cameraPos, emphasis, texture, bumpTexture, specularTexture, lightTexture, heatTexture;
  int shadowTexture[4], shadowDepth, shadowSize, mirrorTexture, mirrorOffset, mirrorRate, zSign;
  int mirrorHeight, mirrorViewDir, mirrorViewUp, mirrorViewRight, fogStart, fogEnd, fogColor, glareRate;
  int pixelWidth, pixelHeight, envTexture;
};

class GraphicsSystem {
 public:
  GraphicsSystem();
  ~GraphicsSystem();
  GraphicsSystem(const GraphicsSystem&) = delete;
  GraphicsSystem& operator=(const GraphicsSystem&) = delete;

  // --- Wiring, set once by the engine before start-up -------------------
  core::LogSystem* log = nullptr;
  platform::Clock* clock = nullptr;
  core::FilePackageTable* packages = nullptr;
  // The display system listed by CreateDirect3D (SDL's unless replaced).
  platform::GfxDisplayApi display;
  // The head-mounted display runtime (the platform's unless replaced).
  platform::HeadsetApi headsetApi;
  // Ends the program after an effect error (std::exit unless replaced).
  void (*quitProgram)(int code) = nullptr;

  // --- Creation and window (render_device.cpp) ----------------------------
  // Starts the display system and lists monitors and modes. 1 or 0.
  int CreateDirect3D();
  // Creates the main window, hidden until InitDevice shows it. Null on
  // failure. `title` is Shift-JIS.
  platform::Window* CreateMainWindow(const char* title, bool withMenu, int screenMode, int adapter, int width,
                                     int height);
  // Destroys the main window (the caller has run its destruction handling).
  void DestroyMainWindow();
  platform::Window* MainWindow() const { return window_; }
  // Creates the device on the main window and sets every default. 1 or 0.
  int InitDevice(int shadersWanted);
  // -1 without a device; 1 when the device was reset during the call, else 0.
  int PresentFrame();
  // The main window's client area changed to width x height (height 0 while
  // the window is minimised). GetClientSize reports the new size at once.
  // With a device and a non-empty area of another size than the back
  // buffer's, the device is reset to a back buffer of the new size (the
  // registered targets are made again at their own sizes, the back buffer
  // bound with its full viewport) and the result is 1; otherwise (no
  // device, an empty area, the same size, or a reset that failed, which
  // keeps the old back buffer) 0. Call between frames, not inside a scene.
  int ResizeClient(int width, int height);
  // The device's default states; `afterReset` 1 also rebuilds what a reset
  // dropped (fonts, saved targets, effect handles).
  void RestoreDeviceState(int afterReset);
  // Begins (begin 1) or ends (0) the scene and effect pass. Returns 0.
  int BeginScenePass(int begin, int pass);

  // --- State (render_state.cpp) -------------------------------------------
  uint32_t SetRenderFlags(uint32_t bits);
  uint32_t ClearRenderFlags(uint32_t bits);
  uint32_t GetRenderFlags() const { return RenderStateFlags; }
  int SetDrawMode(int mode);
  uint32_t SetBlendMode(uint32_t holderFlags);
  uint32_t SetTextureAddressing(uint32_t holderFlags);
  uint32_t SetCullReversed(int on);
  int SetMirrorMode(int on);
  void SetStereoShift(float pixels) { stereoShift_ = pixels; }
  float GetStereoShift() const { return stereoShift_; }
  void SetDepthRange(float zNear, float zFar) {
    near_ = zNear;
    far_ = zFar;
  }

  // --- Cameras (render_state.cpp) -----------------------------------------
  int SetCamera3D(const Vec3& eye, const Vec3& direction, const Vec3& up, float fov);
  int SetCameraWithRoll(const Vec3& eye, const Vec3& direction, float roll, float fov);
  int SetShadowCamera(const Vec3& eye, const Vec3& direction, const Vec3& up, float size);
  int SetCamera2D(float x, float y, float z, float zoom);
  Vec3 GetCameraEye(Vec3* copy = nullptr) const;
  Vec3 GetCameraDirection(Vec3* copy = nullptr) const;
  Vec3 GetCameraUp(Vec3* copy = nullptr) const;
  float GetCameraFov(float* out = nullptr) const;
  Matrix GetViewMatrix();
  Matrix GetViewProjection();
  Vec3 ProjectPoint(const Vec3& point);
  Vec3 TransformPointToView(const Vec3& point);
  // The stereo pan of a world point for the sound system (thousandths), and
  // minus twice its distance from the eye, a volume change in hundredths
  // of a decibel (render_collision.cpp).
  float GetSoundPan(const Vec3& point);
  float GetCameraDistance(const Vec3& point);

  // --- Text (render_text.cpp) ---------------------------------------------
  // Returns non-zero (the font) when a font is current, else 0.
  intptr_t SetFont(const char* face, int height, uint32_t colour, int shadow);
  float SetTextLineSpacing(float spacing);
  // 1 when drawn; 0 for an empty text, without a font, or when no
  // character fits a line.
  int DrawText(float x, float y, const char* text, int wrapWidth);

  // --- Effect, lights, fog, shadows (render_effect.cpp) -------------------
  int CreateEffect(const char* header);
  void GetEffectHandles();
  int CommitEffectChanges();
  void SetLight(const Vec3& direction, const Vec3& diffuse, const Vec3& ambient);
  void GetLightDirection(Vec3* out) const { *out = lightDirNormal_; }
  void SetFog(float start, float end, const Vec3& colour);
  void GetFog(float* start, float* end, Vec3* colour) const;
  void SetObjectColorParameter(float r, float g, float b, float a);
  float SetGlareRate(float rate);
  int SetSpotLight(int slot, const Vec3& position, const Vec3& direction, const Vec3& colour, float power,
                   float cone);
  int SetShadowedPasses(int on);
  int SetAnaglyphEye(int eye);
  int SetShadowCascade(int n);
  void SetMirrorHeight(float h);
  int SetMirrorRate(float rate);
  void SetMirrorView();
  // Once per frame before the scene: the 16 best lights of the pool.
  void SubmitSpotLights(const SpotLightPool& pool);

  // --- Textures and targets (render_texture.cpp) --------------------------
  int RegisterRenderTarget(TextureHolder* holder, uint32_t format);
  int UnregisterRenderTarget(TextureHolder* holder);
  int SetRenderTarget(TextureHolder* holder, int index, int clear);
  int BindTextureToEffect(uint32_t slotFlags, TextureHolder* holder);
  int BindTexture(platform::GfxTexture* texture);
  int BindBumpTexture(platform::GfxTexture* texture);
  int BindSpecularTexture(platform::GfxTexture* texture);
  int BindLightTexture(platform::GfxTexture* texture);
  int BindHeatTexture(platform::GfxTexture* texture);
  int BindMirrorTexture(platform::GfxTexture* texture);
  int BindTextureAsMirror(TextureHolder* holder);
  int BindShadowTexture(int cascade, platform::GfxTexture* texture);
  int BindShadowMap(int cascade, TextureHolder* holder);
  TextureHolder* GetWhiteTexture() { return &defaults_.white; }
  TextureHolder* GetGreyTexture() { return &defaults_.grey; }
  TextureHolder* GetBlackTexture() { return &defaults_.black; }
  TextureHolder* GetClearTexture() { return &defaults_.clear; }
  TextureHolder* GetBlackAdditiveTexture() { return &defaults_.blackAdditive; }
  TextureHolder* GetWhiteAdditiveTexture() { return &defaults_.whiteAdditive; }
  TextureMemoryCount& GetTextureMemoryCount() { return description_.memory; }
  // Lowers the free-memory estimate (clamped at 0) and tracks the lowest.
  void CountTextureMemory(int64_t bytesUsed);

  // --- Stereo and VR (render_stereo.cpp) ----------------------------------
  // Loads the head-mounted display runtime. 1 or 0 (not installed).
  int StartVRRuntime();
  // Switches the 3D-glasses driver's stereo on or off. 1, or 0 (logged)
  // when the driver is missing.
  int InitStereo(int on);
  // Opens and configures the head-mounted display, when there is one.
  int StartVR();
  // Each of these does nothing without a display.
  void BeginVRFrame();
  void DismissVRWarning();
  // Hands the two eye images to the display, with the poses last read by
  // GetHeadRotationVector.
  void SubmitVRFrame(TextureHolder* left, TextureHolder* right);
  // Restarts tracking and makes the current head orientation straight ahead.
  void RecenterVR();
  // The up, down, left and right tangents of an eye's field of view (zeros
  // without a display or for an eye other than 0 and 1).
  void GetEyeFovTangents(int eye, float out[4]) const;
  // The head's rotation as its axis scaled by the angle in radians; zeros
  // without a display or while the orientation is not tracked. Also reads
  // the eyes' poses for the next SubmitVRFrame.
  Vec3 GetHeadRotationVector();
  int HasHeadset() const { return headset_ != nullptr; }
  // The two Ostra modes' eye camera: eye 0 is shifted by -shift pixels,
  // eye 1 by +shift (the next camera set takes it).
  void SetEyeStereoShift(int eye, float shift) { SetStereoShift(eye == 0 ? -shift : shift); }
  // Releases the device (and the head-mounted display).
  void ReleaseDirect3D();

  // --- Readers ------------------------------------------------------------
  platform::GfxDevice* GetDevice() const { return device_; }
  const platform::GfxApi& Gfx() const { return *gfx_; }
  platform::GfxEffect* GetEffect() const { return effect_; }
  const EffectHandles& Handles() const { return handles_; }
  int AreShadersOn() const { return shadersOn_; }
  int IsMirrorMode() const { return mirror_; }
  void GetScreenSize(int* w, int* h) const {
    *w = targetWidth_;
    *h = targetHeight_;
  }
  void GetClientSize(int* w, int* h) const {
    *w = clientWidth_;
    *h = clientHeight_;
  }
  int GetMonitorCount() const { return monitorCount_; }
  platform::GfxRect GetMonitorRect(int n) const;
  int CountDisplayModes() const { return description_.CountDisplayModes(); }
  DisplayModeEntry GetDisplayMode(int n) const;
  int CountDepthFormats() const { return description_.CountDepthFormats(); }
  DepthFormatEntry GetDepthFormat(int n) const;
  int GetMeasuredFps() const { return measuredFps_; }
  int GetDrawMode() const { return DrawMode; }
  uint32_t GetTargetFlags() const { return targetFlags_; }
  int IsDeviceLost() const { return deviceLost_; }
  int GetAnaglyphEye() const { return anaglyphEye_; }
  int GetShadowedPasses() const { return shadowedPasses_; }
  int GetCullMode() const { return cullMode_; }
  const Matrix& GetProjection() const { return projection_; }
  TextureHolder* GetRegisteredTarget(int slot) const { return registry_[slot]; }
  const FontCache& GetFontCache() const { return fonts_; }

 private:
  friend struct TextureHolder;

  // render_state.cpp
  void ApplyFlag(uint32_t bit, bool on);
  void ApplyMode0Fog();
  // render_text.cpp
  Font* MakeFont(const char* face, int height);
  void ReleaseFonts();
  // render_effect.cpp
  void SendSpotColours(bool lit);
  // render_device.cpp
  // Releases what the device holds in its default pool, resets it with the
  // present parameters and restores every state and registered target;
  // returns the reset's result.
  uint32_t ResetDevice();
  // render_stereo.cpp
  void ReleaseHeadset();
  // render_texture.cpp
  int BindSlot(int slot, int handle, platform::GfxTexture* texture, platform::GfxTexture* fallback);
  void ForgetSlotCaches();

  // 1. Window.
  platform::Window* window_ = nullptr;
  char title_[256] = {};
  // 2. Device.
  const platform::GfxApi* gfx_ = nullptr;
  platform::GfxDevice* device_ = nullptr;
  bool displayStarted_ = false;
  // 3. Present parameters.
  platform::GfxPresentParams present_ = {};
  // 4. Format availability (by format code 0..31).
  uint8_t formatAvailable_[32] = {};
  // 5. Monitors.
  int monitorCount_ = 0;
  int adapter_ = 0;
  platform::GfxRect monitors_[kMaxMonitors] = {};
  // 6. Sizes.
  int screenMode_ = 0;
  int targetWidth_ = 1024, targetHeight_ = 768;  // render target 0
  int clientWidth_ = 1024, clientHeight_ = 768;
  int hasMenu_ = 0;
  // 7.
  int shadersOn_ = 0;
  int inScene_ = 0;
  // 8. Matrices.
  Matrix view_ = platform::MatrixIdentity(), viewProjection_ = platform::MatrixIdentity();
  Matrix projection_ = platform::MatrixIdentity();
  // 9. Light.
  platform::GfxLight light_ = {};
  Vec3 lightDirNormal_ = {0, 0, 0};
  Vec3 lightDir_ = {3, 5, 1}, lightDiffuse_ = {1, 1, 1}, lightAmbient_ = {0.15f, 0.15f, 0.15f};
  // 10. Cameras.
  Vec3 eye_ = {0, 0, 0}, direction_ = {0, 0, 1}, up_ = {0, 1, 0};
  float fov_ = 0.0f;
  float stereoShift_ = 0.0f;
  float camera2D_[3] = {};
  float zoom_ = 1.0f;
  float near_ = 1.0f, far_ = 10000.0f;
  // 11. State words.
  uint32_t RenderStateFlags = 0;
  int DrawMode = -1;
  uint32_t blendFlags_ = 0, addressFlags_ = 0;
  int cullMode_ = platform::kCullCCW;
  int mirror_ = 0;
  int shadowedPasses_ = 0;
  float glareRate_ = 0.0f;
  int anaglyphEye_ = 0;
  // 12. Object colour and spot slots as last sent.
  float objectColor_[4] = {1, 1, 1, 1};
  float spotPos_[kSpotLightSlots][4] = {}, spotDir_[kSpotLightSlots][4] = {}, spotColor_[kSpotLightSlots][4] = {};
  float spotPower_[kSpotLightSlots] = {}, spotSize_[kSpotLightSlots] = {};
  // 13. Fog.
  float fogStart_ = 0.0f, fogEnd_ = 0.0f;
  Vec3 fogColor_ = {0, 0, 0};
  // 14. The device's own targets.
  platform::GfxSurface* savedTargets_[4] = {};
  platform::GfxSurface* savedDepth_ = nullptr;
  platform::GfxViewport savedViewport_ = {};
  uint32_t targetFlags_ = 0;
  int backWidth_ = 0, backHeight_ = 0;
  // 15. Render-target registry.
  TextureHolder* registry_[kRenderTargetSlots] = {};
  uint32_t registryFormat_[kRenderTargetSlots] = {};
  // 16. Frame counting and device loss.
  int measuredFps_ = 0;
  int deviceLost_ = 1;  // until the first successful present
  int wasReset_ = 0;
  // 17, 18. Fonts and font settings.
  FontCache fonts_;
  int fontHeight_ = 16;
  uint32_t fontColour_ = 0xFFFFFFFF;
  int fontShadow_ = 0;
  char fontFace_[64] = {};
  float lineSpacing_ = 0.0f;
  void* fontLibrary_ = nullptr;  // FT_Library, made on first use
  // 19.
  DefaultTextures defaults_;
  // 20. Present clock.
  uint32_t previousPresent_ = 0, lastPresent_ = 0;
  int framesThisSecond_ = 0;
  // 22.
  DeviceDescription description_;
  // 23. Effect.
  platform::GfxEffect* effect_ = nullptr;
  EffectHandles handles_ = {};
  // Last texture bound per effect slot (diffuse, bump, specular, light,
  // heat, mirror, shadow 0..2); an impossible value forces the next bind.
  platform::GfxTexture* boundSlot_[9] = {};
  // 24. Head-mounted display (null when none), the eyes' render poses for
  // the next submit, their render descriptions and submitted textures.
  platform::HeadMountedDisplay* headset_ = nullptr;
  platform::HeadsetPose eyePoses_[2] = {};
  platform::HeadsetEyeDesc eyeDescs_[2] = {};
  platform::HeadsetEyeTexture eyeTextures_[2] = {};
};

// The address a slot cache holds when its next binding must not be skipped.
platform::GfxTexture* UnboundSlot();

}  // namespace render
