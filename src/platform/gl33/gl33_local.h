// gl33_local.h -- the OpenGL 3.3 device's records, shared by its files.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/platform_gfx.h"
#include "platform/platform_local.h"

namespace platform {

// [gl33_texture.cpp]

// A texture: the GL object, its levels' sizes and, for lockable pools, a
// copy of every level in the texture's own format (top row first).
struct GfxTexture {
  GfxDevice* dev = nullptr;
  int refs = 1;                 // ReleaseTexture and surfaces drop it
  GLuint id = 0;
  int width = 0, height = 0, levels = 1;
  uint32_t format = kFmtA8R8G8B8;
  uint32_t usage = 0;
  uint32_t pool = kPoolManaged;
  std::vector<std::vector<uint8_t>> cpu;  // per level; empty for render targets
};

// A surface: one level of a texture (holding a texture reference), or a
// depth buffer of its own.
struct GfxSurface {
  int refs = 1;
  GfxTexture* texture = nullptr;  // colour surface
  int level = 0;
  GLuint depth = 0;               // depth renderbuffer
  int width = 0, height = 0;
  uint32_t format = 0;
  GfxDevice* dev = nullptr;
};

struct GfxBuffer {
  GfxDevice* dev = nullptr;
  GLuint id = 0;
  bool index = false;
  int bytes = 0;
  std::vector<uint8_t> shadow;  // what Lock hands out; Unlock uploads it
  GLuint vaos[5] = {};          // per layout, made on first use (vertex buffers)
};

// How a colour format is stored and uploaded in GL.
struct GlFormat {
  GLenum internal, format, type;
  int bytes;  // bytes per pixel of the data handed over
};
bool GlFormatOf(uint32_t format, GlFormat* out);
std::vector<uint8_t>& TextureLevelData(GfxTexture* t, int level);
void LevelSize(const GfxTexture* t, int level, int* w, int* h);
void AddRefTexture(GfxTexture* t);

// [gl33_effect.cpp]

enum class ParamType { Float, Vec2, Vec3, Vec4, Mat4, Sampler };

struct EffectParam {
  std::string name;
  ParamType type = ParamType::Float;
  float value[16] = {};
  GfxTexture* texture = nullptr;  // held with a reference
  uint32_t serial = 1;            // bumped by every set
  int unit = -1;                  // texture unit of a sampler
};

struct EffectProgram {
  std::string name;
  GLuint program = 0;
  std::vector<GLint> location;    // per parameter, -1 when unused
  std::vector<uint32_t> synced;   // serial last sent, per parameter
  uint32_t syncedChange = 0;      // effect change count last fully synced
  GLint pixelLocation = -1;       // tkw_pixel
  uint32_t pixelSerial = 0;       // viewport serial last sent
};

// An effect: its parameters with their values, one program per pass, and
// per pass a twin whose colour varyings are flat (used while the shade mode
// is flat). The twins are made with the passes and live as long; a source
// that declares no COLOR_VARYING has none (flatPasses empty), as flat
// shading could change nothing in it.
struct GfxEffect {
  GfxDevice* dev = nullptr;
  std::string technique;
  std::vector<EffectParam> params;
  std::vector<EffectProgram> passes;
  std::vector<EffectProgram> flatPasses;  // empty, or one per pass
  std::vector<std::vector<int>> passSamplers;  // sampler parameters each pass uses
  uint32_t change = 1;  // bumped by every parameter set
  int current = -1;     // pass begun, -1 none
};

// [gl33_device.cpp]

// A program of the fixed pipeline with its uniform locations. There are two,
// the same code with smooth and with flat vertex colours; each keeps its own
// uniforms, so each remembers how far it caught up with the device.
struct FixedProgram {
  GLuint program = 0;
  GLint world = -1, view = -1, proj = -1, pixel = -1;
  GLint lighting = -1, lightDir = -1, lightDiffuse = -1, lightAmbient = -1, ambient = -1;
  GLint matDiffuse = -1, matAmbient = -1, matEmissive = -1;
  GLint fog = -1, fogRange = -1, fogColor = -1;
  GLint textured = -1, colorScale = -1, sampler = -1, hasNormal = -1;
  uint32_t pixelSerial = 0;   // viewport serial last sent
  uint32_t syncedChange = 0;  // fixed-state change count last sent
};

constexpr int kMaxTargets = 4;
constexpr int kSamplerCount = 16;
constexpr int kFixedUnit = 15;   // fixed pipeline's stage 0
constexpr int kSpriteUnit = 14;  // DrawSprites
constexpr size_t kStreamBytes = 8u << 20;

struct GfxDevice {
  Window* window = nullptr;
  void* context = nullptr;  // SDL_GLContext
  GfxPresentParams params{};
  GfxCaps caps{};

  // The back buffer: a render-target texture, its surface and depth.
  GfxTexture* backBuffer = nullptr;
  GfxSurface* backSurface = nullptr;
  GfxSurface* backDepth = nullptr;

  // Current targets (each held with a reference) and the framebuffer
  // object they are attached to.
  GfxSurface* targets[kMaxTargets] = {};
  GfxSurface* depth = nullptr;
  GLuint fbo = 0;
  bool fboDirty = true;
  GfxViewport viewport{};
  uint32_t viewportSerial = 1;

  // Stored states (Direct3D numbering).
  uint32_t rs[256] = {};
  uint32_t samp[kSamplerCount][8] = {};
  uint32_t tss[8] = {};
  GLuint samplers[kSamplerCount] = {};
  GLuint spriteSampler = 0;
  GLuint unitTexture[kSamplerCount] = {};  // what each unit has bound
  int activeUnit = -1;

  Matrix world{}, view{}, proj{};
  GfxLight light{};
  bool lightOn = false;
  GfxMaterial material{};
  uint32_t fixedChange = 1;  // bumped by every change the fixed programs read
  GfxTexture* stageTexture = nullptr;  // held with a reference

  uint32_t layout = kLayoutNone;
  GfxBuffer* vertices = nullptr;
  GfxBuffer* indices = nullptr;
  GLuint streamVbo = 0;
  GLuint streamVaos[5] = {};
  size_t streamOffset = 0;

  GfxEffect* effect = nullptr;  // effect whose pass is begun
  GLuint currentProgram = 0;

  FixedProgram fixed;      // smooth (Gouraud) vertex colours
  FixedProgram fixedFlat;  // the first vertex's colour over the whole triangle
  GLuint spriteProgram = 0, spriteVao = 0, spriteVbo = 0;
  GLint spriteTarget = -1;
  GLuint blitFbo = 0;            // reads the back buffer for Present
  int streamStride[5] = {};      // stride each stream VAO is set up for

  // Counters (GetFrameStats). An object lasts while neither a transform
  // (transformSerial, bumped by every world, view or projection set and
  // every matrix parameter set) nor the vertex buffer changes.
  GfxFrameStats stats;
  uint32_t transformSerial = 1;
  uint32_t objectTransform = 0;      // transformSerial of the current object
  const GfxBuffer* objectSource = nullptr;  // its vertex buffer (null: streamed)
  uint32_t drawsInObject = 0;        // 0: the next draw starts an object

  int liveDefaultTextures = 0;  // render targets alive (Reset refuses then)
  // Every texture made on the device: a texture released after the device
  // (a holder that outlives the renderer's teardown) must not reach back
  // into it, so the device's release orphans them.
  std::unordered_set<GfxTexture*> textures;
  std::unordered_set<GfxBuffer*> buffers;  // likewise for vertex and index buffers
  int lostState = 0;            // 0 fine, 1 lost (Present fails), 2 not reset
  uint32_t resetError = 0;
};

// gl33_device.cpp
// Counts a draw of `primitives` from `source` (null: streamed from memory);
// `alone` makes it an object of its own whatever changed.
void CountDraw(GfxDevice* dev, int primitives, const GfxBuffer* source, bool alone);
void BindProgram(GfxDevice* dev, GLuint program);
void BindUnit(GfxDevice* dev, int unit, GLuint texture);
void SyncFramebuffer(GfxDevice* dev);
GLuint CompileProgram(const std::string& vertex, const std::string& fragment, std::string* errors);
void UploadMatrix(GLint location, const Matrix& m);
uint32_t StoredSampler(GfxDevice* dev, int sampler, uint32_t type);

// gl33_effect.cpp
// The preludes of every vertex and fragment shader the device compiles. A
// shader source that defines TKW_FLAT before them gets its COLOR_VARYING
// declarations flat.
extern const char kVertexPrelude[];
extern const char kFragmentPrelude[];
// Sends the effect's changed parameters to the current pass's program.
void CommitEffect(GfxEffect* effect);

// gl33_texture.cpp
void DestroyBuffer(GfxBuffer* b);

// The entries of the table, by file.
namespace gl33 {
// gl33_texture.cpp
uint32_t CreateTexture(GfxDevice* dev, int width, int height, int levels, uint32_t usage, uint32_t format,
                       uint32_t pool, GfxTexture** out);
void ReleaseTexture(GfxTexture* t);
int GetLevelCount(GfxTexture* t);
void GetLevelDesc(GfxTexture* t, int level, int* w, int* h, uint32_t* format);
GfxSurface* GetSurfaceLevel(GfxTexture* t, int level);
uint32_t LockRect(GfxTexture* t, int level, GfxLockedRect* out);
void UnlockRect(GfxTexture* t, int level);
uint32_t CreateDepthStencilSurface(GfxDevice* dev, int width, int height, uint32_t format, GfxSurface** out);
void ReleaseSurface(GfxSurface* s);
void GetSurfaceDesc(GfxSurface* s, int* w, int* h, uint32_t* format);
uint32_t GetRenderTargetData(GfxDevice* dev, GfxSurface* src, GfxSurface* dst);
uint32_t CreateBuffer(GfxDevice* dev, int bytes, bool index, GfxBuffer** out);
void* LockBuffer(GfxBuffer* b);
void UnlockBuffer(GfxBuffer* b);
void ReleaseBuffer(GfxBuffer* b);
// gl33_effect.cpp
uint32_t CreateEffect(GfxDevice* dev, const char* text, int length, GfxEffect** out, std::string* errors);
void ReleaseEffect(GfxEffect* e);
int GetParameterByName(GfxEffect* e, const char* name);
uint32_t SetTechnique(GfxEffect* e, const char* name);
void SetFloat(GfxEffect* e, int handle, float value);
void SetVector(GfxEffect* e, int handle, const float* values, int count);
void SetMatrix(GfxEffect* e, int handle, const Matrix& m);
void SetEffectTexture(GfxEffect* e, int handle, GfxTexture* texture);
int GetParameterValue(GfxEffect* e, int handle, float* out);
GfxTexture* GetEffectTexture(GfxEffect* e, int handle);
uint32_t Begin(GfxEffect* e, int* passes);
uint32_t BeginPass(GfxEffect* e, int pass);
uint32_t CommitChanges(GfxEffect* e);
uint32_t EndPass(GfxEffect* e);
uint32_t End(GfxEffect* e);
int CurrentPass(GfxEffect* e);
}  // namespace gl33

}  // namespace platform
