// platform_gfx.h -- the drawing device: a small Direct3D-9-shaped layer that
// the renderer calls and platform/gl33/ implements over OpenGL 3.3 core.
//
// Conventions the layer fixes once, so that the renderer's code reads as it
// was designed (row vectors, left-handed, Direct3D's clip space):
//  - Matrices are row-major row-vector matrices (platform_math.h); every
//    shader receives them as they are and multiplies `v * M`.
//  - Clip z runs 0..1; each vertex shader ends in TkwClip(), which remaps it
//    to GL's -1..1 and applies the half-pixel rule below.
//  - Pixel centres sit on whole pixel coordinates, as in Direct3D 9, so a
//    2D sprite whose corners lie half a pixel off the centres samples its
//    texels exactly.
//  - Every image (textures, render targets, the back buffer) is stored top
//    row first. The device draws only into framebuffer objects and flips y
//    there; a triangle that is clockwise on screen is clockwise in the
//    cull-mode sense, as in Direct3D.
//  - Vertex attributes are bound by meaning at fixed locations (GfxAttrib).
//  - Formats are Direct3D's format numbers (GfxFormat). X8R8G8B8 reads alpha
//    1; R16F is a one-channel half-float target.
//  - Results are Direct3D's HRESULT numbers: 0 success, else a GfxError.
//
// Main thread only; one device at a time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_math.h"

namespace platform {

struct Window;

// Opaque objects of the layer. Textures, surfaces, buffers and effects are
// released with their Release entry; a surface is a counted reference to one
// level of a texture (or a depth buffer).
struct GfxDevice;
struct GfxTexture;
struct GfxSurface;
struct GfxBuffer;
struct GfxEffect;

// ----------------------------------------------------------------------------
// Numbers
// ----------------------------------------------------------------------------

enum GfxFormat : uint32_t {
  kFmtUnknown = 0,
  kFmtR8G8B8 = 20,
  kFmtA8R8G8B8 = 21,
  kFmtX8R8G8B8 = 22,
  kFmtR5G6B5 = 23,
  kFmtX1R5G5B5 = 24,
  kFmtA1R5G5B5 = 25,
  kFmtD32 = 71,
  kFmtD24S8 = 75,
  kFmtD24X8 = 77,
  kFmtD16 = 80,
  kFmtR16F = 111,
  kFmtG16R16F = 112,
  kFmtA16B16G16R16F = 113,
  kFmtR32F = 114,
  kFmtA32B32G32R32F = 116,
};

// Bytes per pixel of a colour format (0 for depth and unknown formats).
int GfxFormatBytes(uint32_t format);

enum GfxError : uint32_t {
  kGfxOk = 0,
  kGfxErrOutOfVideoMemory = 0x8876017Cu,
  kGfxErrDeviceLost = 0x88760868u,
  kGfxErrDeviceNotReset = 0x88760869u,
  kGfxErrNotAvailable = 0x8876086Au,
  kGfxErrInvalidCall = 0x8876086Cu,
  kGfxErrDriverInternal = 0x88760827u,
  kGfxErrOutOfMemory = 0x8007000Eu,  // E_OUTOFMEMORY
  kGfxErrFail = 0x80004005u,         // E_FAIL
};

enum GfxPool : uint32_t { kPoolDefault = 0, kPoolManaged = 1, kPoolSystemMem = 2 };
enum GfxUsage : uint32_t { kUsageRenderTarget = 0x1 };

enum GfxPrimitive : uint32_t {
  kPrimPointList = 1,
  kPrimLineList = 2,
  kPrimLineStrip = 3,
  kPrimTriangleList = 4,
  kPrimTriangleStrip = 5,
  kPrimTriangleFan = 6,
};

enum GfxClearFlags : uint32_t { kClearTarget = 0x1, kClearZBuffer = 0x2, kClearStencil = 0x4 };

// Render states; values are Direct3D's (cull 1 none, 2 clockwise, 3
// counter-clockwise; fill 2 wireframe, 3 solid; shade 1 flat, 2 Gouraud;
// blend factors 1 zero .. 10 inverse destination colour; fog mode 3 linear).
enum GfxRenderState : uint32_t {
  kRsZEnable = 7,
  kRsFillMode = 8,
  kRsShadeMode = 9,
  kRsZWriteEnable = 14,
  kRsSrcBlend = 19,
  kRsDestBlend = 20,
  kRsCullMode = 22,
  kRsAlphaBlendEnable = 27,
  kRsFogEnable = 28,
  kRsSpecularEnable = 29,
  kRsFogColor = 34,
  kRsFogTableMode = 35,
  kRsFogStart = 36,  // float bits
  kRsFogEnd = 37,    // float bits
  kRsLighting = 137,
  kRsAmbient = 139,
  kRsFogVertexMode = 140,
  kRsNormalizeNormals = 143,
  kRsVertexBlend = 151,
  kRsSeparateAlphaBlendEnable = 206,
  kRsSrcBlendAlpha = 207,
  kRsDestBlendAlpha = 208,
};

enum : uint32_t { kCullNone = 1, kCullCW = 2, kCullCCW = 3 };
enum : uint32_t { kFillWireframe = 2, kFillSolid = 3 };
enum : uint32_t { kShadeFlat = 1, kShadeGouraud = 2 };
enum : uint32_t {
  kBlendZero = 1,
  kBlendOne = 2,
  kBlendSrcColor = 3,
  kBlendInvSrcColor = 4,
  kBlendSrcAlpha = 5,
  kBlendInvSrcAlpha = 6,
  kBlendDestAlpha = 7,
  kBlendInvDestAlpha = 8,
  kBlendDestColor = 9,
  kBlendInvDestColor = 10,
};

enum GfxSamplerState : uint32_t {
  kSampAddressU = 1,
  kSampAddressV = 2,
  kSampMagFilter = 5,
  kSampMinFilter = 6,
  kSampMipFilter = 7,
};
enum : uint32_t { kAddressWrap = 1, kAddressMirror = 2, kAddressClamp = 3 };
enum : uint32_t { kFilterNone = 0, kFilterPoint = 1, kFilterLinear = 2 };

enum GfxStageState : uint32_t {
  kTssColorOp = 1,
  kTssColorArg1 = 2,
  kTssColorArg2 = 3,
  kTssAlphaOp = 4,
  kTssAlphaArg1 = 5,
  kTssAlphaArg2 = 6,
};
enum : uint32_t { kTopModulate = 4, kTopModulate2x = 5, kTopModulate4x = 6 };
enum : uint32_t { kTaDiffuse = 0, kTaTexture = 2 };

enum GfxTransform : uint32_t { kTransformView = 2, kTransformProjection = 3, kTransformWorld = 256 };

// Vertex layouts, each a fixed stream-0 format. The effect path uses the
// declarations, the fixed pipeline the flexible-format equivalents.
enum GfxLayout : uint32_t {
  kLayoutNone = 0,
  // 88 bytes: position 0, normal 12, colour float4 24, uv 40, tangent 48,
  // binormal 60, blend weights float4 72.
  kLayoutMesh = 1,
  // 40 bytes: position 0, uv 16, colour float4 24 (bytes 12..15 unused).
  kLayoutSprite = 2,
  // 48 bytes (FVF 0x15A): position 0, three blend weights 12, normal 24,
  // packed ARGB diffuse 36, uv 40.
  kLayoutFvfMesh = 3,
  // 40 bytes (FVF 0x8142): position 0, packed ARGB diffuse 12, uv 16.
  kLayoutFvfSprite = 4,
};
int GfxLayoutStride(uint32_t layout);

// Attribute locations every vertex shader of the layer declares.
enum GfxAttrib : int {
  kAttribPosition = 0,
  kAttribNormal = 1,
  kAttribColor = 2,    // float4 colour (effect layouts)
  kAttribTexCoord = 3,
  kAttribTangent = 4,
  kAttribBinormal = 5,
  kAttribBlendWeight = 6,
  kAttribDiffuse = 7,  // packed ARGB colour (fixed layouts), as 0..1
};

// ----------------------------------------------------------------------------
// Records
// ----------------------------------------------------------------------------

struct GfxDisplayMode {
  int width, height, refreshRate;
  uint32_t format;
};

struct GfxRect {
  int32_t left, top, right, bottom;
};

struct GfxViewport {
  int x, y, width, height;
  float minZ, maxZ;
};

struct GfxCaps {
  uint32_t vertexShaderVersion;  // 0xFFFE0300 for 3.0
  uint32_t pixelShaderVersion;   // 0xFFFF0300 for 3.0
  int numSimultaneousRTs;        // colour targets one draw can write
  int maxTextureSize;
};

struct GfxPresentParams {
  int backBufferWidth, backBufferHeight;
  uint32_t backBufferFormat;
  bool windowed;
  bool autoDepthStencil;
  uint32_t depthStencilFormat;
};

struct GfxLockedRect {
  int pitch;   // bytes from one row to the next
  void* bits;  // top row first
};

// A directional light and a material of the fixed pipeline (colours r, g,
// b, a).
struct GfxLight {
  float diffuse[4], specular[4], ambient[4];
  Vec3 direction;
};
struct GfxMaterial {
  float diffuse[4], ambient[4], specular[4], emissive[4];
  float power;
};

// A vertex of DrawSprites: pixel position of the current target, uv and a
// packed 0xAARRGGBB colour.
struct GfxSpriteVertex {
  float x, y, u, v;
  uint32_t colour;
};

// What the device sent to GL since the last ResetFrameStats (or since it
// was made): plain counts, each bumped where the GL call is made, so a
// state the layer skips because it is already set is not counted.
//  - Draws: every glDraw* of the layer (DrawPrimitive, DrawIndexedPrimitive,
//    DrawPrimitiveUP; DrawSprites is one). `primitives` sums their counts
//    (DrawSprites: two triangles a quad); `singlePrimitiveDraws` counts the
//    draws of one lone triangle, line or point, the sign of geometry sent a
//    primitive at a time.
//  - Objects: a draw starts a new object when a transform (the fixed
//    pipeline's world, view or projection, or any matrix parameter of the
//    effect) or the vertex buffer changed since the draw before it, and
//    every DrawSprites call is one. `maxDrawsPerObject` is the longest run
//    of draws inside one object: a model draws one per material subset, a
//    sprite one.
//  - State changes, by kind: program binds (glUseProgram), texture binds,
//    render states (depth, blend, cull, fill: one per state change that
//    reached GL, two for a DrawSprites, which sets its own and puts the
//    device's back), sampler states, uniform uploads (one per glUniform*),
//    framebuffer changes (binding or re-attaching targets), viewports and
//    vertex-array binds. Clears are counted apart.
struct GfxFrameStats {
  uint32_t drawCalls = 0;
  uint32_t primitives = 0;
  uint32_t singlePrimitiveDraws = 0;
  uint32_t objects = 0;
  uint32_t maxDrawsPerObject = 0;
  uint32_t clears = 0;
  uint32_t programBinds = 0;
  uint32_t textureBinds = 0;
  uint32_t renderStates = 0;
  uint32_t samplerStates = 0;
  uint32_t uniformUploads = 0;
  uint32_t framebufferChanges = 0;
  uint32_t viewports = 0;
  uint32_t vertexArrayBinds = 0;

  // Every state change of the kinds above, uniform uploads included.
  uint32_t StateChanges() const {
    return programBinds + textureBinds + renderStates + samplerStates + uniformUploads + framebufferChanges +
           viewports + vertexArrayBinds;
  }
};

// ----------------------------------------------------------------------------
// The display system (what the renderer asks before a device exists): the
// adapters with their modes, the monitors and the depth formats. Tests hand
// the renderer their own table; SdlDisplayApi() describes the real one.
// ----------------------------------------------------------------------------

struct GfxDisplayApi {
  void* user = nullptr;
  // Starts the display system; false when none is there.
  bool (*Start)(void* user) = nullptr;
  // Number of adapters (0 when none).
  int (*AdapterCount)(void* user) = nullptr;
  // Modes of an adapter in one format; EnumMode fills mode `index` (0 ..
  // ModeCount - 1), false when out of range.
  int (*ModeCount)(void* user, int adapter, uint32_t format) = nullptr;
  bool (*EnumMode)(void* user, int adapter, uint32_t format, int index, GfxDisplayMode* out) = nullptr;
  // The adapter's desktop mode; false for an adapter that does not exist.
  bool (*DesktopMode)(void* user, int adapter, GfxDisplayMode* out) = nullptr;
  // Fills up to `max` monitor rectangles (desktop coordinates) and returns
  // how many there are (at most `max`).
  int (*Monitors)(void* user, GfxRect* rects, int max) = nullptr;
  // Whether a depth format can go with the adapter and target formats.
  bool (*DepthStencilMatch)(void* user, int adapter, uint32_t adapterFormat, uint32_t targetFormat,
                            uint32_t depthFormat) = nullptr;
  // The capabilities a device on the adapter will have; false when none.
  bool (*DeviceCaps)(void* user, int adapter, GfxCaps* caps) = nullptr;
};

// The SDL displays: every mode is offered in X8R8G8B8 (R5G6B5 for 16-bit
// modes), D16, D24S8 and D24X8 match, shader model 3.0, four targets.
GfxDisplayApi SdlDisplayApi();

// ----------------------------------------------------------------------------
// The device: what the layer offers. Every entry is a plain function; an
// entry taking a null object does nothing and returns an error or null.
// ----------------------------------------------------------------------------

struct GfxApi {
  // --- Device life -------------------------------------------------------
  // Makes the GL context on `window` and the back buffer of the given size,
  // format and depth format. Fills `*out`; 0 or an error (no GL 3.3 context:
  // kGfxErrNotAvailable).
  uint32_t (*CreateDevice)(Window* window, const GfxPresentParams& params, GfxDevice** out);
  // Releases the device; every object made from it must be released before.
  void (*ReleaseDevice)(GfxDevice* dev);
  // Ends the frame: the back buffer is scaled onto the window and shown.
  // kGfxErrDeviceLost while a simulated loss lasts.
  uint32_t (*Present)(GfxDevice* dev);
  // 0, kGfxErrDeviceLost or kGfxErrDeviceNotReset (after SimulateLoss).
  uint32_t (*TestCooperativeLevel)(GfxDevice* dev);
  // Re-makes the back buffer with new parameters and returns every state to
  // its default; ends a simulated loss. 0 or an error; kGfxErrInvalidCall
  // while default-pool textures (render targets) are still alive.
  uint32_t (*Reset)(GfxDevice* dev, const GfxPresentParams& params);
  // Test hook: the next Present fails with kGfxErrDeviceLost and the device
  // reports kGfxErrDeviceNotReset until Reset. `resetError`, when not 0, is
  // what the first Reset answers (the loss then lasts).
  void (*SimulateLoss)(GfxDevice* dev, uint32_t resetError);
  // Estimated free texture memory in bytes.
  uint32_t (*GetAvailableTextureMem)(GfxDevice* dev);
  // Scene brackets (kept for the call order; drawing works outside them).
  void (*BeginScene)(GfxDevice* dev);
  void (*EndScene)(GfxDevice* dev);

  // --- Targets -----------------------------------------------------------
  // Clears the viewport of the current targets: colour 0xAARRGGBB, depth z.
  void (*Clear)(GfxDevice* dev, uint32_t flags, uint32_t colour, float z);
  void (*SetViewport)(GfxDevice* dev, const GfxViewport& viewport);
  GfxViewport (*GetViewport)(GfxDevice* dev);
  // Colour target `index` (0 .. NumSimultaneousRTs - 1). Null unbinds (not
  // allowed for index 0). Setting target 0 resets the viewport to its size.
  uint32_t (*SetRenderTarget)(GfxDevice* dev, int index, GfxSurface* surface);
  // The current target / depth surface, a new reference (null when none).
  GfxSurface* (*GetRenderTarget)(GfxDevice* dev, int index);
  uint32_t (*SetDepthStencilSurface)(GfxDevice* dev, GfxSurface* surface);
  GfxSurface* (*GetDepthStencilSurface)(GfxDevice* dev);
  // A depth buffer of its own; 0 or an error.
  uint32_t (*CreateDepthStencilSurface)(GfxDevice* dev, int width, int height, uint32_t format,
                                        GfxSurface** out);
  void (*ReleaseSurface)(GfxSurface* surface);
  // Copies a render-target surface into a system-memory texture level of the
  // same size. Float formats arrive as A8R8G8B8 (a system-memory texture
  // made in a float format is stored as A8R8G8B8).
  uint32_t (*GetRenderTargetData)(GfxDevice* dev, GfxSurface* source, GfxSurface* destination);
  // Size and format of a surface.
  void (*GetSurfaceDesc)(GfxSurface* surface, int* width, int* height, uint32_t* format);

  // --- Textures ----------------------------------------------------------
  // levels 0 means the full chain down to 1x1. Usage kUsageRenderTarget
  // needs the default pool. 0 or an error.
  uint32_t (*CreateTexture)(GfxDevice* dev, int width, int height, int levels, uint32_t usage,
                            uint32_t format, uint32_t pool, GfxTexture** out);
  void (*ReleaseTexture)(GfxTexture* texture);
  int (*GetLevelCount)(GfxTexture* texture);
  void (*GetLevelDesc)(GfxTexture* texture, int level, int* width, int* height, uint32_t* format);
  // A surface reference to a level (release it).
  GfxSurface* (*GetSurfaceLevel)(GfxTexture* texture, int level);
  // The level's pixels, top row first, in the texture's format; Unlock
  // sends them to the GPU. Render targets cannot be locked.
  uint32_t (*LockRect)(GfxTexture* texture, int level, GfxLockedRect* out);
  void (*UnlockRect)(GfxTexture* texture, int level);
  // Fixed pipeline texture of a stage (0 only); null unbinds.
  void (*SetTexture)(GfxDevice* dev, int stage, GfxTexture* texture);

  // --- State -------------------------------------------------------------
  // kRsShadeMode flat gives every triangle the colour of its first vertex as
  // submitted (strip triangle i: vertex i; fan triangle i: vertex i + 1):
  // the fixed pipeline's lit vertex colour and an effect's COLOR_VARYING
  // outputs. Texture coordinates and every other output still interpolate.
  void (*SetRenderState)(GfxDevice* dev, uint32_t state, uint32_t value);
  uint32_t (*GetRenderState)(GfxDevice* dev, uint32_t state);
  // Sampler 0 is the one the effect's first texture and the fixed pipeline
  // use; the others stay linear with wrap addressing.
  void (*SetSamplerState)(GfxDevice* dev, int sampler, uint32_t type, uint32_t value);
  uint32_t (*GetSamplerState)(GfxDevice* dev, int sampler, uint32_t type);
  void (*SetTextureStageState)(GfxDevice* dev, int stage, uint32_t type, uint32_t value);
  void (*SetTransform)(GfxDevice* dev, uint32_t which, const Matrix& m);
  void (*SetLight)(GfxDevice* dev, int index, const GfxLight& light);
  void (*LightEnable)(GfxDevice* dev, int index, bool on);
  void (*SetMaterial)(GfxDevice* dev, const GfxMaterial& material);
  void (*SetVertexLayout)(GfxDevice* dev, uint32_t layout);

  // --- Geometry ----------------------------------------------------------
  // Static vertex or index (16-bit) buffers of `bytes` bytes.
  uint32_t (*CreateVertexBuffer)(GfxDevice* dev, int bytes, GfxBuffer** out);
  uint32_t (*CreateIndexBuffer)(GfxDevice* dev, int bytes, GfxBuffer** out);
  void* (*LockBuffer)(GfxBuffer* buffer);  // whole buffer
  void (*UnlockBuffer)(GfxBuffer* buffer);
  void (*ReleaseBuffer)(GfxBuffer* buffer);
  void (*SetStreamSource)(GfxDevice* dev, GfxBuffer* vertices);
  void (*SetIndices)(GfxDevice* dev, GfxBuffer* indices);
  // Draws with the current layout, state and program (the effect pass begun
  // last, else the fixed pipeline). Counts are primitives.
  void (*DrawPrimitive)(GfxDevice* dev, uint32_t type, int startVertex, int count);
  void (*DrawIndexedPrimitive)(GfxDevice* dev, uint32_t type, int baseVertex, int startIndex, int count);
  // Draws vertices straight from memory (`stride` bytes each).
  void (*DrawPrimitiveUP)(GfxDevice* dev, uint32_t type, int count, const void* vertices, int stride);
  // Text and overlay quads (two triangles per 4 vertices, corners in order
  // top-left, top-right, bottom-right, bottom-left) in pixels of target 0,
  // texture x colour, alpha blended, no depth, no culling, whatever the
  // device state; the state is left as it was.
  void (*DrawSprites)(GfxDevice* dev, GfxTexture* texture, const GfxSpriteVertex* vertices, int quads);

  // --- Effect ------------------------------------------------------------
  // Compiles an effect source (GLSL, see resources/effect.glsl for the
  // annotations: "//! pass NAME vertex=FN fragment=FN" lines and top-level
  // "uniform TYPE NAME;" declarations). On failure `errors` gets the
  // compiler's log and the result is kGfxErrInvalidCall.
  uint32_t (*CreateEffect)(GfxDevice* dev, const char* text, int length, GfxEffect** out,
                           std::string* errors);
  void (*ReleaseEffect)(GfxEffect* effect);
  // Parameter handle by exact name (declared parameters only), 0 when absent.
  int (*GetParameterByName)(GfxEffect* effect, const char* name);
  // 0 when the technique exists (the effect has one technique, named by
  // its "//! technique NAME" line).
  uint32_t (*SetTechnique)(GfxEffect* effect, const char* name);
  // Setters: a null handle does nothing. Values live in the effect and
  // reach every pass; inside a pass, CommitChanges sends what changed.
  void (*SetFloat)(GfxEffect* effect, int handle, float value);
  void (*SetVector)(GfxEffect* effect, int handle, const float* values, int count);
  void (*SetMatrix)(GfxEffect* effect, int handle, const Matrix& m);
  void (*SetEffectTexture)(GfxEffect* effect, int handle, GfxTexture* texture);
  // Reads a parameter's floats back (up to 16); the count, 0 for a null
  // handle. Textures read as 0 or 1 (bound).
  int (*GetParameterValue)(GfxEffect* effect, int handle, float* out);
  GfxTexture* (*GetEffectTexture)(GfxEffect* effect, int handle);
  // Passes: Begin gives the pass count; BeginPass makes pass n's program
  // current and sends every parameter; EndPass, End return to the fixed
  // pipeline.
  uint32_t (*Begin)(GfxEffect* effect, int* passes);
  uint32_t (*BeginPass)(GfxEffect* effect, int pass);
  uint32_t (*CommitChanges)(GfxEffect* effect);
  uint32_t (*EndPass)(GfxEffect* effect);
  uint32_t (*End)(GfxEffect* effect);
  // The pass current now (-1 outside passes), for tests.
  int (*CurrentPass)(GfxEffect* effect);

  // --- Counters ----------------------------------------------------------
  // What the device has sent to GL since the last reset (GfxFrameStats);
  // zeros for a null device. Reset zeroes them and starts a new object.
  GfxFrameStats (*GetFrameStats)(GfxDevice* dev);
  void (*ResetFrameStats)(GfxDevice* dev);
};

// The OpenGL 3.3 implementation.
const GfxApi& Gl33Api();

// ----------------------------------------------------------------------------
// Benchmark support: the same work as a frame of sprite and mesh draws,
// issued as bare GL calls with nothing of the layer in between, so that the
// layer's own cost can be measured against it. Uses pass `pass` of `effect`
// for sprites and `meshPass` for meshes; sprite vertices are 4 per sprite
// in the sprite layout, drawn as fans; meshes draw `triangles` indexed
// triangles from the buffers. Returns nothing; time it from outside.
// ----------------------------------------------------------------------------

struct GfxBareFrame {
  GfxEffect* effect;
  int spritePass, meshPass;
  GfxTexture* const* textures;
  int textureCount;
  const void* spriteVertices;  // 4 x 40 bytes per sprite
  int sprites;
  GfxBuffer* meshVertices;
  GfxBuffer* meshIndices;
  int meshes, triangles;
  const Matrix* worlds;  // one per draw, sprites first
};
void Gl33DrawBareFrame(GfxDevice* dev, const GfxBareFrame& frame);

}  // namespace platform
