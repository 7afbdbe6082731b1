// gl33_device.cpp -- the GL 3.3 device: context and back buffer, targets,
// render states, the fixed pipeline's program, drawing and presenting.

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/gl33/gl33_local.h"

namespace platform {

namespace {

// The fixed pipeline: one directional light with the material, linear fog on
// view depth, stage 0 texture modulated 1x, 2x or 4x. The lit vertex colour
// is the one output flat shading holds still (COLOR_VARYING); texture
// coordinates and fog depth always interpolate.
const char kFixedVertex[] = R"(
uniform mat4 u_world;
uniform mat4 u_view;
uniform mat4 u_proj;
uniform int u_lighting;
uniform int u_hasNormal;
uniform vec3 u_lightDir;
uniform vec4 u_lightDiffuse;
uniform vec4 u_lightAmbient;
uniform vec4 u_ambient;
uniform vec4 u_matAmbient;
uniform vec4 u_matEmissive;
COLOR_VARYING vec4 vColor;
out vec2 vUv;
out float vDepth;
void main() {
  vec4 viewPos = vec4(aPosition, 1.0) * u_world * u_view;
  gl_Position = TkwClip(viewPos * u_proj);
  vec4 c = aDiffuse;
  if (u_lighting != 0) {
    // The vertex colour is the diffuse material, as with colour vertices.
    float d = 0.0;
    if (u_hasNormal != 0) {
      vec3 n = normalize((vec4(aNormal, 0.0) * u_world).xyz);
      d = max(0.0, dot(n, -u_lightDir));
    }
    vec3 rgb = c.rgb * u_lightDiffuse.rgb * d + u_matAmbient.rgb * (u_ambient.rgb + u_lightAmbient.rgb) +
               u_matEmissive.rgb;
    c = vec4(clamp(rgb, 0.0, 1.0), c.a);
  }
  vColor = c;
  vUv = aTexCoord;
  vDepth = viewPos.z;
}
)";

const char kFixedFragment[] = R"(
uniform int u_textured;
uniform float u_colorScale;
uniform sampler2D u_tex;
uniform int u_fog;
uniform vec2 u_fogRange;
uniform vec3 u_fogColor;
COLOR_VARYING vec4 vColor;
in vec2 vUv;
in float vDepth;
void main() {
  vec4 c = vColor;
  if (u_textured != 0) {
    vec4 t = texture(u_tex, vUv);
    c = vec4(clamp(c.rgb * t.rgb * u_colorScale, 0.0, 1.0), c.a * t.a);
  }
  if (u_fog != 0) {
    float range = u_fogRange.y - u_fogRange.x;
    // An empty range fogs everything past its start instead of dividing by 0.
    float f = range > 0.0 ? clamp((u_fogRange.y - vDepth) / range, 0.0, 1.0) : (vDepth < u_fogRange.x ? 1.0 : 0.0);
    c.rgb = mix(u_fogColor, c.rgb, f);
  }
  oColor0 = c;
}
)";

// Overlay quads in pixels of target 0: x right, y down, whole pixels on
// pixel edges.
const char kSpriteVertex[] = R"(#version 330 core
layout(location = 0) in vec2 aPos;
layout(location = 3) in vec2 aUv;
layout(location = 7) in vec4 aCol;
uniform vec2 u_target;
out vec2 vUv;
out vec4 vCol;
void main() {
  gl_Position = vec4(aPos.x * 2.0 / u_target.x - 1.0, aPos.y * 2.0 / u_target.y - 1.0, 0.0, 1.0);
  vUv = aUv;
  vCol = aCol;
}
)";

const char kSpriteFragment[] = R"(#version 330 core
uniform sampler2D u_tex;
in vec2 vUv;
in vec4 vCol;
layout(location = 0) out vec4 oColor0;
void main() { oColor0 = texture(u_tex, vUv) * vCol; }
)";

GLenum BlendFactor(uint32_t f) {
  switch (f) {
    case kBlendZero: return GL_ZERO;
    case kBlendOne: return GL_ONE;
    case kBlendSrcColor: return GL_SRC_COLOR;
    case kBlendInvSrcColor: return GL_ONE_MINUS_SRC_COLOR;
    case kBlendSrcAlpha: return GL_SRC_ALPHA;
    case kBlendInvSrcAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    case kBlendDestAlpha: return GL_DST_ALPHA;
    case kBlendInvDestAlpha: return GL_ONE_MINUS_DST_ALPHA;
    case kBlendDestColor: return GL_DST_COLOR;
    case kBlendInvDestColor: return GL_ONE_MINUS_DST_COLOR;
    default: return GL_ONE;
  }
}

GLenum PrimitiveMode(uint32_t type) {
  switch (type) {
    case kPrimPointList: return GL_POINTS;
    case kPrimLineList: return GL_LINES;
    case kPrimLineStrip: return GL_LINE_STRIP;
    case kPrimTriangleStrip: return GL_TRIANGLE_STRIP;
    case kPrimTriangleFan: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
  }
}

int VertexCount(uint32_t type, int primitives) {
  switch (type) {
    case kPrimPointList: return primitives;
    case kPrimLineList: return primitives * 2;
    case kPrimLineStrip: return primitives + 1;
    case kPrimTriangleStrip:
    case kPrimTriangleFan: return primitives + 2;
    default: return primitives * 3;
  }
}

void Attrib(int location, int size, GLenum type, bool normalized, int stride, int offset) {
  glEnableVertexAttribArray(GLuint(location));
  glVertexAttribPointer(GLuint(location), size, type, normalized ? GL_TRUE : GL_FALSE, stride,
                        reinterpret_cast<const void*>(uintptr_t(offset)));
}

// Points the bound VAO's attributes at the bound array buffer.
void SetupAttribs(uint32_t layout, int stride) {
  for (int i = 0; i < 8; i++) glDisableVertexAttribArray(GLuint(i));
  switch (layout) {
    case kLayoutMesh:
      Attrib(kAttribPosition, 3, GL_FLOAT, false, stride, 0);
      Attrib(kAttribNormal, 3, GL_FLOAT, false, stride, 12);
      Attrib(kAttribColor, 4, GL_FLOAT, false, stride, 24);
      Attrib(kAttribTexCoord, 2, GL_FLOAT, false, stride, 40);
      Attrib(kAttribTangent, 3, GL_FLOAT, false, stride, 48);
      Attrib(kAttribBinormal, 3, GL_FLOAT, false, stride, 60);
      Attrib(kAttribBlendWeight, 4, GL_FLOAT, false, stride, 72);
      break;
    case kLayoutSprite:
      Attrib(kAttribPosition, 3, GL_FLOAT, false, stride, 0);
      Attrib(kAttribTexCoord, 2, GL_FLOAT, false, stride, 16);
      Attrib(kAttribColor, 4, GL_FLOAT, false, stride, 24);
      break;
    case kLayoutFvfMesh:
      Attrib(kAttribPosition, 3, GL_FLOAT, false, stride, 0);
      Attrib(kAttribBlendWeight, 3, GL_FLOAT, false, stride, 12);
      Attrib(kAttribNormal, 3, GL_FLOAT, false, stride, 24);
      Attrib(kAttribDiffuse, GL_BGRA, GL_UNSIGNED_BYTE, true, stride, 36);
      Attrib(kAttribTexCoord, 2, GL_FLOAT, false, stride, 40);
      break;
    case kLayoutFvfSprite:
      Attrib(kAttribPosition, 3, GL_FLOAT, false, stride, 0);
      Attrib(kAttribDiffuse, GL_BGRA, GL_UNSIGNED_BYTE, true, stride, 12);
      Attrib(kAttribTexCoord, 2, GL_FLOAT, false, stride, 16);
      break;
    default: break;
  }
  // Attributes a layout lacks read as white colour and zero otherwise.
  glVertexAttrib4f(kAttribColor, 1, 1, 1, 1);
  glVertexAttrib4f(kAttribDiffuse, 1, 1, 1, 1);
}

void ApplyBlend(GfxDevice* dev) {
  if (dev->rs[kRsAlphaBlendEnable]) glEnable(GL_BLEND);
  else glDisable(GL_BLEND);
  GLenum src = BlendFactor(dev->rs[kRsSrcBlend]), dst = BlendFactor(dev->rs[kRsDestBlend]);
  if (dev->rs[kRsSeparateAlphaBlendEnable])
    glBlendFuncSeparate(src, dst, BlendFactor(dev->rs[kRsSrcBlendAlpha]), BlendFactor(dev->rs[kRsDestBlendAlpha]));
  else
    glBlendFunc(src, dst);
}

// Targets are stored top row first, so on-screen clockwise is GL's
// counter-clockwise: front faces are GL_CCW, and culling Direct3D's
// counter-clockwise faces culls GL's back faces.
void ApplyCull(GfxDevice* dev) {
  uint32_t cull = dev->rs[kRsCullMode];
  if (cull == kCullNone) {
    glDisable(GL_CULL_FACE);
    return;
  }
  glEnable(GL_CULL_FACE);
  glCullFace(cull == kCullCW ? GL_FRONT : GL_BACK);
}

void ApplyRasterState(GfxDevice* dev) {
  glFrontFace(GL_CCW);
  // A flat colour comes from the first vertex of each triangle as it was
  // submitted (strips: vertex i of triangle i; fans: the vertex after the
  // hub), as in Direct3D. The y flip into top-row-first targets happens in
  // clip space and reorders no vertex, so the flip does not change it.
  glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
  if (dev->rs[kRsZEnable]) glEnable(GL_DEPTH_TEST);
  else glDisable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDepthMask(dev->rs[kRsZWriteEnable] ? GL_TRUE : GL_FALSE);
  glPolygonMode(GL_FRONT_AND_BACK, dev->rs[kRsFillMode] == kFillWireframe ? GL_LINE : GL_FILL);
  ApplyCull(dev);
  ApplyBlend(dev);
  glViewport(dev->viewport.x, dev->viewport.y, dev->viewport.width, dev->viewport.height);
  glDepthRange(dev->viewport.minZ, dev->viewport.maxZ);
}

void ApplySampler(GfxDevice* dev, int s) {
  const uint32_t* st = dev->samp[s];
  auto address = [](uint32_t a) {
    return a == kAddressMirror ? GL_MIRRORED_REPEAT : a == kAddressClamp ? GL_CLAMP_TO_EDGE : GL_REPEAT;
  };
  GLuint so = dev->samplers[s];
  dev->stats.samplerStates++;
  glSamplerParameteri(so, GL_TEXTURE_WRAP_S, address(st[kSampAddressU]));
  glSamplerParameteri(so, GL_TEXTURE_WRAP_T, address(st[kSampAddressV]));
  bool magLinear = st[kSampMagFilter] == kFilterLinear;
  bool minLinear = st[kSampMinFilter] == kFilterLinear;
  GLenum min;
  if (st[kSampMipFilter] == kFilterNone) min = minLinear ? GL_LINEAR : GL_NEAREST;
  else if (st[kSampMipFilter] == kFilterPoint) min = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  else min = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  glSamplerParameteri(so, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
  glSamplerParameteri(so, GL_TEXTURE_MIN_FILTER, GLint(min));
}

// The states a new or reset device starts with (Direct3D's defaults).
void DefaultStates(GfxDevice* dev) {
  std::memset(dev->rs, 0, sizeof dev->rs);
  dev->rs[kRsZEnable] = dev->params.autoDepthStencil ? 1 : 0;
  dev->rs[kRsFillMode] = kFillSolid;
  dev->rs[kRsShadeMode] = kShadeGouraud;
  dev->rs[kRsZWriteEnable] = 1;
  dev->rs[kRsSrcBlend] = kBlendOne;
  dev->rs[kRsDestBlend] = kBlendZero;
  dev->rs[kRsCullMode] = kCullCCW;
  dev->rs[kRsLighting] = 1;
  dev->rs[kRsFogTableMode] = 0;
  float fogEnd = 1.0f;
  std::memcpy(&dev->rs[kRsFogEnd], &fogEnd, 4);
  dev->rs[kRsSrcBlendAlpha] = kBlendOne;
  dev->rs[kRsDestBlendAlpha] = kBlendZero;
  for (int s = 0; s < kSamplerCount; s++) {
    dev->samp[s][kSampAddressU] = kAddressWrap;
    dev->samp[s][kSampAddressV] = kAddressWrap;
    // Sampler 0 starts as Direct3D's (point, no mips); the effect's other
    // textures are filtered.
    dev->samp[s][kSampMagFilter] = s == 0 ? kFilterPoint : kFilterLinear;
    dev->samp[s][kSampMinFilter] = s == 0 ? kFilterPoint : kFilterLinear;
    dev->samp[s][kSampMipFilter] = s == 0 ? kFilterNone : kFilterLinear;
    ApplySampler(dev, s);
  }
  std::memset(dev->tss, 0, sizeof dev->tss);
  dev->tss[kTssColorOp] = kTopModulate;
  dev->tss[kTssColorArg1] = kTaTexture;
  dev->tss[kTssAlphaOp] = kTopModulate;
  dev->tss[kTssAlphaArg1] = kTaTexture;
  dev->world = dev->view = dev->proj = MatrixIdentity();
  dev->light = GfxLight{};
  dev->light.diffuse[0] = dev->light.diffuse[1] = dev->light.diffuse[2] = 1.0f;
  dev->light.direction = {0, 0, 1};
  dev->lightOn = false;
  dev->material = GfxMaterial{};
  dev->fixedChange++;
  dev->viewport = {0, 0, dev->params.backBufferWidth, dev->params.backBufferHeight, 0.0f, 1.0f};
  dev->viewportSerial++;
  ApplyRasterState(dev);
}

void HoldSurface(GfxSurface** slot, GfxSurface* s) {
  if (s) s->refs++;
  if (*slot) gl33::ReleaseSurface(*slot);
  *slot = s;
}

uint32_t MakeBackBuffer(GfxDevice* dev) {
  const GfxPresentParams& p = dev->params;
  uint32_t format = p.backBufferFormat;
  GlFormat f{};
  if (!GlFormatOf(format, &f)) format = kFmtX8R8G8B8;
  uint32_t r = gl33::CreateTexture(dev, p.backBufferWidth, p.backBufferHeight, 1, kUsageRenderTarget, format,
                                   kPoolDefault, &dev->backBuffer);
  if (r != kGfxOk) return r;
  dev->liveDefaultTextures--;  // the device's own target does not block Reset
  dev->backSurface = gl33::GetSurfaceLevel(dev->backBuffer, 0);
  if (p.autoDepthStencil) {
    r = gl33::CreateDepthStencilSurface(dev, p.backBufferWidth, p.backBufferHeight,
                                        p.depthStencilFormat ? p.depthStencilFormat : kFmtD24S8, &dev->backDepth);
    if (r != kGfxOk) return r;
  }
  HoldSurface(&dev->targets[0], dev->backSurface);
  for (int i = 1; i < kMaxTargets; i++) HoldSurface(&dev->targets[i], nullptr);
  HoldSurface(&dev->depth, dev->backDepth);
  dev->fboDirty = true;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, dev->blitFbo);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, dev->backBuffer->id, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, dev->fbo);
  return kGfxOk;
}

void DropBackBuffer(GfxDevice* dev) {
  for (GfxSurface*& t : dev->targets) HoldSurface(&t, nullptr);
  HoldSurface(&dev->depth, nullptr);
  gl33::ReleaseSurface(dev->backSurface);
  gl33::ReleaseSurface(dev->backDepth);
  dev->backSurface = dev->backDepth = nullptr;
  if (dev->backBuffer) {
    dev->liveDefaultTextures++;
    gl33::ReleaseTexture(dev->backBuffer);
  }
  dev->backBuffer = nullptr;
}

// Brings the bound fixed program's uniforms up to the device's state.
void UpdateFixed(GfxDevice* dev, FixedProgram& f) {
  if (f.pixelSerial != dev->viewportSerial) {
    f.pixelSerial = dev->viewportSerial;
    glUniform2f(f.pixel, 1.0f / float(dev->viewport.width), 1.0f / float(dev->viewport.height));
    dev->stats.uniformUploads++;
  }
  if (f.syncedChange == dev->fixedChange) return;
  f.syncedChange = dev->fixedChange;
  dev->stats.uniformUploads += 16;  // every glUniform* below
  UploadMatrix(f.world, dev->world);
  UploadMatrix(f.view, dev->view);
  UploadMatrix(f.proj, dev->proj);
  glUniform1i(f.lighting, dev->rs[kRsLighting] ? 1 : 0);
  glUniform1i(f.hasNormal, dev->layout == kLayoutFvfMesh || dev->layout == kLayoutMesh ? 1 : 0);
  Vec3 dir = Vec3Normalize(dev->light.direction);
  glUniform3f(f.lightDir, dir.x, dir.y, dir.z);
  static const float kZero[4] = {0, 0, 0, 0};
  glUniform4fv(f.lightDiffuse, 1, dev->lightOn ? dev->light.diffuse : kZero);
  glUniform4fv(f.lightAmbient, 1, dev->lightOn ? dev->light.ambient : kZero);
  uint32_t a = dev->rs[kRsAmbient];
  glUniform4f(f.ambient, float((a >> 16) & 255) / 255.0f, float((a >> 8) & 255) / 255.0f, float(a & 255) / 255.0f,
              float(a >> 24) / 255.0f);
  glUniform4fv(f.matAmbient, 1, dev->material.ambient);
  glUniform4fv(f.matEmissive, 1, dev->material.emissive);
  glUniform1i(f.fog, dev->rs[kRsFogEnable] ? 1 : 0);
  float start, end;
  std::memcpy(&start, &dev->rs[kRsFogStart], 4);
  std::memcpy(&end, &dev->rs[kRsFogEnd], 4);
  glUniform2f(f.fogRange, start, end);
  uint32_t c = dev->rs[kRsFogColor];
  glUniform3f(f.fogColor, float((c >> 16) & 255) / 255.0f, float((c >> 8) & 255) / 255.0f, float(c & 255) / 255.0f);
  glUniform1i(f.textured, dev->stageTexture ? 1 : 0);
  uint32_t op = dev->tss[kTssColorOp];
  glUniform1f(f.colorScale, op == kTopModulate4x ? 4.0f : op == kTopModulate2x ? 2.0f : 1.0f);
}

// Everything a draw needs before the GL call: targets, program and its
// values, textures.
void PrepareDraw(GfxDevice* dev) {
  SyncFramebuffer(dev);
  if (dev->effect) {
    CommitEffect(dev->effect);
    return;
  }
  // The shade mode picks the program; both stay compiled.
  FixedProgram& f = dev->rs[kRsShadeMode] == kShadeFlat ? dev->fixedFlat : dev->fixed;
  BindProgram(dev, f.program);
  UpdateFixed(dev, f);
  BindUnit(dev, kFixedUnit, dev->stageTexture ? dev->stageTexture->id : 0);
}

GLuint BufferVao(GfxDevice* dev, GfxBuffer* b) {
  uint32_t layout = dev->layout < 5 ? dev->layout : 0;
  GLuint& vao = b->vaos[layout];
  if (!vao) {
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glBindBuffer(GL_ARRAY_BUFFER, b->id);
    SetupAttribs(layout, GfxLayoutStride(layout));
  }
  return vao;
}

// Looks up the uniforms of a compiled fixed program and points its sampler
// at stage 0's unit.
void FindFixedUniforms(GfxDevice* dev, FixedProgram& f) {
  GLuint p = f.program;
  f.world = glGetUniformLocation(p, "u_world");
  f.view = glGetUniformLocation(p, "u_view");
  f.proj = glGetUniformLocation(p, "u_proj");
  f.pixel = glGetUniformLocation(p, "tkw_pixel");
  f.lighting = glGetUniformLocation(p, "u_lighting");
  f.hasNormal = glGetUniformLocation(p, "u_hasNormal");
  f.lightDir = glGetUniformLocation(p, "u_lightDir");
  f.lightDiffuse = glGetUniformLocation(p, "u_lightDiffuse");
  f.lightAmbient = glGetUniformLocation(p, "u_lightAmbient");
  f.ambient = glGetUniformLocation(p, "u_ambient");
  f.matAmbient = glGetUniformLocation(p, "u_matAmbient");
  f.matEmissive = glGetUniformLocation(p, "u_matEmissive");
  f.fog = glGetUniformLocation(p, "u_fog");
  f.fogRange = glGetUniformLocation(p, "u_fogRange");
  f.fogColor = glGetUniformLocation(p, "u_fogColor");
  f.textured = glGetUniformLocation(p, "u_textured");
  f.colorScale = glGetUniformLocation(p, "u_colorScale");
  f.sampler = glGetUniformLocation(p, "u_tex");
  BindProgram(dev, p);
  glUniform1i(f.sampler, kFixedUnit);
}

bool MakeFixedPrograms(GfxDevice* dev) {
  std::string version = "#version 330 core\n";
  std::string flat = version + "#define TKW_FLAT 1\n";
  std::string errors;
  dev->fixed.program = CompileProgram(version + kVertexPrelude + kFixedVertex,
                                      version + kFragmentPrelude + kFixedFragment, &errors);
  dev->fixedFlat.program =
      CompileProgram(flat + kVertexPrelude + kFixedVertex, flat + kFragmentPrelude + kFixedFragment, &errors);
  dev->spriteProgram = CompileProgram(kSpriteVertex, kSpriteFragment, &errors);
  if (!dev->fixed.program || !dev->fixedFlat.program || !dev->spriteProgram) {
    SDL_Log("gl33: built-in programs failed: %s", errors.c_str());
    return false;
  }
  FindFixedUniforms(dev, dev->fixed);
  FindFixedUniforms(dev, dev->fixedFlat);
  BindProgram(dev, dev->spriteProgram);
  glUniform1i(glGetUniformLocation(dev->spriteProgram, "u_tex"), kSpriteUnit);
  dev->spriteTarget = glGetUniformLocation(dev->spriteProgram, "u_target");
  return true;
}

// ---------------------------------------------------------------------------
// Entries
// ---------------------------------------------------------------------------

void ReleaseDevice(GfxDevice* dev);

uint32_t CreateDevice(Window* window, const GfxPresentParams& params, GfxDevice** out) {
  *out = nullptr;
  SDL_Window* sdl = SdlWindowOf(window);
  if (!sdl || params.backBufferWidth <= 0 || params.backBufferHeight <= 0) return kGfxErrInvalidCall;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GLContext context = SDL_GL_CreateContext(sdl);
  if (!context) return kGfxErrNotAvailable;
  if (SDL_GL_MakeCurrent(sdl, context) != 0 || epoxy_gl_version() < 33) {
    SDL_GL_DeleteContext(context);
    return kGfxErrNotAvailable;
  }
  SDL_GL_SetSwapInterval(1);
  GfxDevice* dev = new GfxDevice;
  dev->window = window;
  dev->context = context;
  dev->params = params;
  GLint maxDraw = 1, maxSize = 2048;
  glGetIntegerv(GL_MAX_DRAW_BUFFERS, &maxDraw);
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  dev->caps = {0xFFFE0300u, 0xFFFF0300u, std::min(int(maxDraw), kMaxTargets), int(maxSize)};

  glGenFramebuffers(1, &dev->fbo);
  glGenFramebuffers(1, &dev->blitFbo);
  glBindFramebuffer(GL_FRAMEBUFFER, dev->fbo);
  glGenSamplers(kSamplerCount, dev->samplers);
  for (int u = 0; u < kSamplerCount; u++) glBindSampler(GLuint(u), dev->samplers[u]);
  // The fixed pipeline's stage 0 follows sampler 0.
  glBindSampler(kFixedUnit, dev->samplers[0]);
  glGenSamplers(1, &dev->spriteSampler);
  glSamplerParameteri(dev->spriteSampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glSamplerParameteri(dev->spriteSampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glSamplerParameteri(dev->spriteSampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glSamplerParameteri(dev->spriteSampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glBindSampler(kSpriteUnit, dev->spriteSampler);

  glGenBuffers(1, &dev->streamVbo);
  glBindBuffer(GL_ARRAY_BUFFER, dev->streamVbo);
  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(kStreamBytes), nullptr, GL_STREAM_DRAW);
  glGenVertexArrays(5, dev->streamVaos);
  for (uint32_t l = 0; l < 5; l++) {
    glBindVertexArray(dev->streamVaos[l]);
    glBindBuffer(GL_ARRAY_BUFFER, dev->streamVbo);
    dev->streamStride[l] = GfxLayoutStride(l);
    SetupAttribs(l, dev->streamStride[l]);
  }
  glGenVertexArrays(1, &dev->spriteVao);
  glGenBuffers(1, &dev->spriteVbo);
  glBindVertexArray(dev->spriteVao);
  glBindBuffer(GL_ARRAY_BUFFER, dev->spriteVbo);
  Attrib(0, 2, GL_FLOAT, false, sizeof(GfxSpriteVertex), 0);
  Attrib(3, 2, GL_FLOAT, false, sizeof(GfxSpriteVertex), 8);
  Attrib(7, GL_BGRA, GL_UNSIGNED_BYTE, true, sizeof(GfxSpriteVertex), 16);
  glBindVertexArray(0);

  if (!MakeFixedPrograms(dev) || MakeBackBuffer(dev) != kGfxOk) {
    ReleaseDevice(dev);
    return kGfxErrNotAvailable;
  }
  DefaultStates(dev);
  *out = dev;
  return kGfxOk;
}

void ReleaseDevice(GfxDevice* dev) {
  if (!dev) return;
  HoldSurface(&dev->targets[0], nullptr);
  DropBackBuffer(dev);
  gl33::ReleaseTexture(dev->stageTexture);
  glDeleteProgram(dev->fixed.program);
  glDeleteProgram(dev->fixedFlat.program);
  glDeleteProgram(dev->spriteProgram);
  glDeleteVertexArrays(5, dev->streamVaos);
  glDeleteVertexArrays(1, &dev->spriteVao);
  glDeleteBuffers(1, &dev->streamVbo);
  glDeleteBuffers(1, &dev->spriteVbo);
  glDeleteSamplers(kSamplerCount, dev->samplers);
  glDeleteSamplers(1, &dev->spriteSampler);
  glDeleteFramebuffers(1, &dev->fbo);
  glDeleteFramebuffers(1, &dev->blitFbo);
  SDL_GL_MakeCurrent(SdlWindowOf(dev->window), nullptr);
  SDL_GL_DeleteContext(static_cast<SDL_GLContext>(dev->context));
  // Textures still held elsewhere lose their device: releasing one later
  // only frees its record.
  for (GfxTexture* t : dev->textures) {
    t->dev = nullptr;
    t->id = 0;
  }
  for (GfxBuffer* b : dev->buffers) {
    b->dev = nullptr;
    b->id = 0;
    for (GLuint& vao : b->vaos) vao = 0;
  }
  delete dev;
}

uint32_t Present(GfxDevice* dev) {
  if (!dev) return kGfxErrInvalidCall;
  if (dev->lostState) {
    dev->lostState = 2;
    return kGfxErrDeviceLost;
  }
  SDL_Window* sdl = SdlWindowOf(dev->window);
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(sdl, &w, &h);
  dev->stats.framebufferChanges++;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, dev->blitFbo);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  // The back buffer is stored top row first; the window's first row is its
  // bottom one.
  glBlitFramebuffer(0, 0, dev->params.backBufferWidth, dev->params.backBufferHeight, 0, h, w, 0,
                    GL_COLOR_BUFFER_BIT, GL_LINEAR);
  SDL_GL_SwapWindow(sdl);
  glBindFramebuffer(GL_FRAMEBUFFER, dev->fbo);
  return kGfxOk;
}

uint32_t TestCooperativeLevel(GfxDevice* dev) {
  if (!dev) return kGfxErrInvalidCall;
  return dev->lostState ? kGfxErrDeviceNotReset : kGfxOk;
}

uint32_t Reset(GfxDevice* dev, const GfxPresentParams& params) {
  if (!dev) return kGfxErrInvalidCall;
  if (dev->liveDefaultTextures > 0) return kGfxErrInvalidCall;
  if (dev->resetError) {
    uint32_t r = dev->resetError;
    dev->resetError = 0;
    return r;
  }
  DropBackBuffer(dev);
  dev->params = params;
  uint32_t r = MakeBackBuffer(dev);
  if (r != kGfxOk) return r;
  gl33::ReleaseTexture(dev->stageTexture);
  dev->stageTexture = nullptr;
  DefaultStates(dev);
  dev->lostState = 0;
  return kGfxOk;
}

void SimulateLoss(GfxDevice* dev, uint32_t resetError) {
  if (!dev) return;
  dev->lostState = 1;
  dev->resetError = resetError;
}

uint32_t GetAvailableTextureMem(GfxDevice* dev) {
  // GL core has no query for it; the figure only feeds the engine's own
  // estimate of what is left.
  return dev ? 512u << 20 : 0;
}

void BeginScene(GfxDevice*) {}
void EndScene(GfxDevice*) {}

void Clear(GfxDevice* dev, uint32_t flags, uint32_t colour, float z) {
  if (!dev) return;
  SyncFramebuffer(dev);
  dev->stats.clears++;
  const GfxViewport& v = dev->viewport;
  glEnable(GL_SCISSOR_TEST);
  glScissor(v.x, v.y, v.width, v.height);
  GLbitfield mask = 0;
  if (flags & kClearTarget) {
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    float c[4] = {float((colour >> 16) & 255) / 255.0f, float((colour >> 8) & 255) / 255.0f,
                  float(colour & 255) / 255.0f, float(colour >> 24) / 255.0f};
    for (int i = 0; i < kMaxTargets; i++)
      if (dev->targets[i]) glClearBufferfv(GL_COLOR, i, c);
  }
  if ((flags & kClearZBuffer) && dev->depth) {
    glDepthMask(GL_TRUE);
    glClearDepth(z);
    mask |= GL_DEPTH_BUFFER_BIT;
  }
  if ((flags & kClearStencil) && dev->depth) mask |= GL_STENCIL_BUFFER_BIT;
  if (mask) glClear(mask);
  glDepthMask(dev->rs[kRsZWriteEnable] ? GL_TRUE : GL_FALSE);
  glDisable(GL_SCISSOR_TEST);
}

void SetViewport(GfxDevice* dev, const GfxViewport& v) {
  if (!dev) return;
  dev->viewport = v;
  dev->viewportSerial++;
  dev->stats.viewports++;
  glViewport(v.x, v.y, v.width, v.height);
  glDepthRange(v.minZ, v.maxZ);
}

GfxViewport GetViewport(GfxDevice* dev) { return dev ? dev->viewport : GfxViewport{}; }

uint32_t SetRenderTarget(GfxDevice* dev, int index, GfxSurface* s) {
  if (!dev || index < 0 || index >= dev->caps.numSimultaneousRTs) return kGfxErrInvalidCall;
  if (index == 0 && !s) return kGfxErrInvalidCall;
  if (s && (!s->texture || !(s->texture->usage & kUsageRenderTarget))) return kGfxErrInvalidCall;
  HoldSurface(&dev->targets[index], s);
  dev->fboDirty = true;
  if (index == 0) SetViewport(dev, {0, 0, s->width, s->height, 0.0f, 1.0f});
  return kGfxOk;
}

GfxSurface* GetRenderTarget(GfxDevice* dev, int index) {
  if (!dev || index < 0 || index >= kMaxTargets || !dev->targets[index]) return nullptr;
  dev->targets[index]->refs++;
  return dev->targets[index];
}

uint32_t SetDepthStencilSurface(GfxDevice* dev, GfxSurface* s) {
  if (!dev || (s && !s->depth)) return kGfxErrInvalidCall;
  HoldSurface(&dev->depth, s);
  dev->fboDirty = true;
  return kGfxOk;
}

GfxSurface* GetDepthStencilSurface(GfxDevice* dev) {
  if (!dev || !dev->depth) return nullptr;
  dev->depth->refs++;
  return dev->depth;
}

void SetTexture(GfxDevice* dev, int stage, GfxTexture* t) {
  if (!dev || stage != 0 || dev->stageTexture == t) return;
  AddRefTexture(t);
  gl33::ReleaseTexture(dev->stageTexture);
  dev->stageTexture = t;
  dev->fixedChange++;
}

void SetRenderState(GfxDevice* dev, uint32_t state, uint32_t value) {
  if (!dev || state >= 256 || dev->rs[state] == value) return;
  dev->rs[state] = value;
  switch (state) {
    case kRsZEnable:
      if (value) glEnable(GL_DEPTH_TEST);
      else glDisable(GL_DEPTH_TEST);
      dev->stats.renderStates++;
      break;
    case kRsZWriteEnable:
      glDepthMask(value ? GL_TRUE : GL_FALSE);
      dev->stats.renderStates++;
      break;
    case kRsFillMode:
      glPolygonMode(GL_FRONT_AND_BACK, value == kFillWireframe ? GL_LINE : GL_FILL);
      dev->stats.renderStates++;
      break;
    case kRsCullMode:
      ApplyCull(dev);
      dev->stats.renderStates++;
      break;
    case kRsShadeMode: break;  // picks the program at the next draw
    case kRsAlphaBlendEnable:
    case kRsSrcBlend:
    case kRsDestBlend:
    case kRsSeparateAlphaBlendEnable:
    case kRsSrcBlendAlpha:
    case kRsDestBlendAlpha:
      ApplyBlend(dev);
      dev->stats.renderStates++;
      break;
    default: dev->fixedChange++; break;
  }
}

uint32_t GetRenderState(GfxDevice* dev, uint32_t state) { return dev && state < 256 ? dev->rs[state] : 0; }

void SetSamplerState(GfxDevice* dev, int sampler, uint32_t type, uint32_t value) {
  if (!dev || sampler < 0 || sampler >= kSamplerCount || type >= 8 || dev->samp[sampler][type] == value) return;
  dev->samp[sampler][type] = value;
  ApplySampler(dev, sampler);
}

uint32_t GetSamplerState(GfxDevice* dev, int sampler, uint32_t type) {
  return StoredSampler(dev, sampler, type);
}

void SetTextureStageState(GfxDevice* dev, int stage, uint32_t type, uint32_t value) {
  if (!dev || stage != 0 || type >= 8) return;
  dev->tss[type] = value;
  dev->fixedChange++;
}

void SetTransform(GfxDevice* dev, uint32_t which, const Matrix& m) {
  if (!dev) return;
  if (which == kTransformWorld) dev->world = m;
  else if (which == kTransformView) dev->view = m;
  else if (which == kTransformProjection) dev->proj = m;
  else return;
  dev->fixedChange++;
  dev->transformSerial++;
}

void SetLight(GfxDevice* dev, int index, const GfxLight& light) {
  if (!dev || index != 0) return;
  dev->light = light;
  dev->fixedChange++;
}

void LightEnable(GfxDevice* dev, int index, bool on) {
  if (!dev || index != 0) return;
  dev->lightOn = on;
  dev->fixedChange++;
}

void SetMaterial(GfxDevice* dev, const GfxMaterial& m) {
  if (!dev) return;
  dev->material = m;
  dev->fixedChange++;
}

void SetVertexLayout(GfxDevice* dev, uint32_t layout) {
  if (!dev || layout > kLayoutFvfSprite || dev->layout == layout) return;
  dev->layout = layout;
  dev->fixedChange++;
}

void SetStreamSource(GfxDevice* dev, GfxBuffer* b) {
  if (dev && (!b || !b->index)) dev->vertices = b;
}

void SetIndices(GfxDevice* dev, GfxBuffer* b) {
  if (dev && (!b || b->index)) dev->indices = b;
}

void DrawPrimitive(GfxDevice* dev, uint32_t type, int start, int count) {
  if (!dev || !dev->vertices || count <= 0) return;
  PrepareDraw(dev);
  glBindVertexArray(BufferVao(dev, dev->vertices));
  dev->stats.vertexArrayBinds++;
  glDrawArrays(PrimitiveMode(type), start, VertexCount(type, count));
  CountDraw(dev, count, dev->vertices, false);
}

void DrawIndexedPrimitive(GfxDevice* dev, uint32_t type, int baseVertex, int startIndex, int count) {
  if (!dev || !dev->vertices || !dev->indices || count <= 0) return;
  PrepareDraw(dev);
  glBindVertexArray(BufferVao(dev, dev->vertices));
  dev->stats.vertexArrayBinds++;
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, dev->indices->id);
  glDrawElementsBaseVertex(PrimitiveMode(type), VertexCount(type, count), GL_UNSIGNED_SHORT,
                           reinterpret_cast<const void*>(uintptr_t(startIndex) * 2), baseVertex);
  CountDraw(dev, count, dev->vertices, false);
}

void DrawPrimitiveUP(GfxDevice* dev, uint32_t type, int count, const void* data, int stride) {
  if (!dev || !data || count <= 0 || stride <= 0) return;
  uint32_t layout = dev->layout < 5 ? dev->layout : 0;
  if (layout == kLayoutNone) return;
  int vertices = VertexCount(type, count);
  size_t bytes = size_t(vertices) * size_t(stride);
  if (bytes > kStreamBytes) return;
  PrepareDraw(dev);
  // Each draw's vertices start at a multiple of the stride, so the stream
  // VAO's attribute pointers stay put and the draw names its first vertex.
  size_t offset = (dev->streamOffset + size_t(stride) - 1) / size_t(stride) * size_t(stride);
  glBindBuffer(GL_ARRAY_BUFFER, dev->streamVbo);
  GLbitfield access = GL_MAP_WRITE_BIT | GL_MAP_UNSYNCHRONIZED_BIT | GL_MAP_INVALIDATE_RANGE_BIT;
  if (offset + bytes > kStreamBytes) {
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(kStreamBytes), nullptr, GL_STREAM_DRAW);
    offset = 0;
  }
  void* target = glMapBufferRange(GL_ARRAY_BUFFER, GLintptr(offset), GLsizeiptr(bytes), access);
  if (!target) return;
  std::memcpy(target, data, bytes);
  glUnmapBuffer(GL_ARRAY_BUFFER);
  dev->streamOffset = offset + bytes;
  glBindVertexArray(dev->streamVaos[layout]);
  dev->stats.vertexArrayBinds++;
  if (dev->streamStride[layout] != stride) {
    dev->streamStride[layout] = stride;
    SetupAttribs(layout, stride);
  }
  glDrawArrays(PrimitiveMode(type), GLint(offset / size_t(stride)), vertices);
  CountDraw(dev, count, nullptr, false);
}

void DrawSprites(GfxDevice* dev, GfxTexture* texture, const GfxSpriteVertex* v, int quads) {
  if (!dev || !texture || !v || quads <= 0 || !dev->targets[0]) return;
  SyncFramebuffer(dev);
  std::vector<GfxSpriteVertex> triangles;
  triangles.reserve(size_t(quads) * 6);
  for (int q = 0; q < quads; q++) {
    const GfxSpriteVertex* c = v + q * 4;
    triangles.insert(triangles.end(), {c[0], c[1], c[2], c[0], c[2], c[3]});
  }
  int w = dev->targets[0]->width, h = dev->targets[0]->height;
  glViewport(0, 0, w, h);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_BLEND);
  glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ZERO, GL_ONE);
  BindProgram(dev, dev->spriteProgram);
  glUniform2f(dev->spriteTarget, float(w), float(h));
  BindUnit(dev, kSpriteUnit, texture->id);
  glBindVertexArray(dev->spriteVao);
  glBindBuffer(GL_ARRAY_BUFFER, dev->spriteVbo);
  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(triangles.size() * sizeof(GfxSpriteVertex)), triangles.data(),
               GL_STREAM_DRAW);
  glDrawArrays(GL_TRIANGLES, 0, GLsizei(triangles.size()));
  ApplyRasterState(dev);
  // Its own state and the device's put back; the uniform; the vertex array.
  dev->stats.renderStates += 2;
  dev->stats.uniformUploads++;
  dev->stats.vertexArrayBinds++;
  CountDraw(dev, quads * 2, nullptr, true);
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared helpers
// ---------------------------------------------------------------------------

void CountDraw(GfxDevice* dev, int primitives, const GfxBuffer* source, bool alone) {
  GfxFrameStats& s = dev->stats;
  s.drawCalls++;
  s.primitives += uint32_t(primitives);
  if (primitives == 1) s.singlePrimitiveDraws++;
  if (alone || dev->drawsInObject == 0 || dev->objectTransform != dev->transformSerial ||
      dev->objectSource != source) {
    s.objects++;
    dev->drawsInObject = 0;
    dev->objectTransform = dev->transformSerial;
    dev->objectSource = source;
  }
  dev->drawsInObject++;
  s.maxDrawsPerObject = std::max(s.maxDrawsPerObject, dev->drawsInObject);
  // A DrawSprites batch closes its object: whatever follows starts anew.
  if (alone) dev->drawsInObject = 0;
}

void BindProgram(GfxDevice* dev, GLuint program) {
  if (dev->currentProgram == program) return;
  dev->currentProgram = program;
  dev->stats.programBinds++;
  glUseProgram(program);
}

void BindUnit(GfxDevice* dev, int unit, GLuint texture) {
  // The unit becomes the active one even when it holds the texture already:
  // callers go on to upload to or set parameters of "the bound texture",
  // which GL takes from the active unit.
  if (dev->activeUnit != unit) {
    dev->activeUnit = unit;
    glActiveTexture(GLenum(GL_TEXTURE0 + unit));
  }
  if (dev->unitTexture[unit] == texture) return;
  dev->unitTexture[unit] = texture;
  dev->stats.textureBinds++;
  glBindTexture(GL_TEXTURE_2D, texture);
}

void SyncFramebuffer(GfxDevice* dev) {
  if (!dev->fboDirty) return;
  dev->fboDirty = false;
  dev->stats.framebufferChanges++;
  glBindFramebuffer(GL_FRAMEBUFFER, dev->fbo);
  GLenum buffers[kMaxTargets];
  for (int i = 0; i < kMaxTargets; i++) {
    GfxSurface* s = dev->targets[i];
    glFramebufferTexture2D(GL_FRAMEBUFFER, GLenum(GL_COLOR_ATTACHMENT0 + i), GL_TEXTURE_2D,
                           s ? s->texture->id : 0, s ? s->level : 0);
    buffers[i] = s ? GLenum(GL_COLOR_ATTACHMENT0 + i) : GL_NONE;
  }
  glDrawBuffers(kMaxTargets, buffers);
  GfxSurface* d = dev->depth;
  bool stencil = d && (d->format == kFmtD24S8 || d->format == kFmtD24X8);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
  if (d)
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                              GL_RENDERBUFFER, d->depth);
}

void UploadMatrix(GLint location, const Matrix& m) {
  // Row-vector matrices: the shaders compute v * M, so GL takes them
  // transposed from its column-major view.
  glUniformMatrix4fv(location, 1, GL_TRUE, &m.m[0][0]);
}

uint32_t StoredSampler(GfxDevice* dev, int sampler, uint32_t type) {
  return dev && sampler >= 0 && sampler < kSamplerCount && type < 8 ? dev->samp[sampler][type] : 0;
}

int GfxLayoutStride(uint32_t layout) {
  switch (layout) {
    case kLayoutMesh: return 88;
    case kLayoutSprite: return 40;
    case kLayoutFvfMesh: return 48;
    case kLayoutFvfSprite: return 40;
    default: return 0;
  }
}

const GfxApi& Gl33Api() {
  static const GfxApi api = [] {
    GfxApi a{};
    a.CreateDevice = CreateDevice;
    a.ReleaseDevice = ReleaseDevice;
    a.Present = Present;
    a.TestCooperativeLevel = TestCooperativeLevel;
    a.Reset = Reset;
    a.SimulateLoss = SimulateLoss;
    a.GetAvailableTextureMem = GetAvailableTextureMem;
    a.BeginScene = BeginScene;
    a.EndScene = EndScene;
    a.Clear = Clear;
    a.SetViewport = SetViewport;
    a.GetViewport = GetViewport;
    a.SetRenderTarget = SetRenderTarget;
    a.GetRenderTarget = GetRenderTarget;
    a.SetDepthStencilSurface = SetDepthStencilSurface;
    a.GetDepthStencilSurface = GetDepthStencilSurface;
    a.CreateDepthStencilSurface = gl33::CreateDepthStencilSurface;
    a.ReleaseSurface = gl33::ReleaseSurface;
    a.GetRenderTargetData = gl33::GetRenderTargetData;
    a.GetSurfaceDesc = gl33::GetSurfaceDesc;
    a.CreateTexture = gl33::CreateTexture;
    a.ReleaseTexture = gl33::ReleaseTexture;
    a.GetLevelCount = gl33::GetLevelCount;
    a.GetLevelDesc = gl33::GetLevelDesc;
    a.GetSurfaceLevel = gl33::GetSurfaceLevel;
    a.LockRect = gl33::LockRect;
    a.UnlockRect = gl33::UnlockRect;
    a.SetTexture = SetTexture;
    a.SetRenderState = SetRenderState;
    a.GetRenderState = GetRenderState;
    a.SetSamplerState = SetSamplerState;
    a.GetSamplerState = GetSamplerState;
    a.SetTextureStageState = SetTextureStageState;
    a.SetTransform = SetTransform;
    a.SetLight = SetLight;
    a.LightEnable = LightEnable;
    a.SetMaterial = SetMaterial;
    a.SetVertexLayout = SetVertexLayout;
    a.CreateVertexBuffer = [](GfxDevice* d, int bytes, GfxBuffer** out) {
      return gl33::CreateBuffer(d, bytes, false, out);
    };
    a.CreateIndexBuffer = [](GfxDevice* d, int bytes, GfxBuffer** out) {
      return gl33::CreateBuffer(d, bytes, true, out);
    };
    a.LockBuffer = gl33::LockBuffer;
    a.UnlockBuffer = gl33::UnlockBuffer;
    a.ReleaseBuffer = gl33::ReleaseBuffer;
    a.SetStreamSource = SetStreamSource;
    a.SetIndices = SetIndices;
    a.DrawPrimitive = DrawPrimitive;
    a.DrawIndexedPrimitive = DrawIndexedPrimitive;
    a.DrawPrimitiveUP = DrawPrimitiveUP;
    a.DrawSprites = DrawSprites;
    a.CreateEffect = gl33::CreateEffect;
    a.ReleaseEffect = gl33::ReleaseEffect;
    a.GetParameterByName = gl33::GetParameterByName;
    a.SetTechnique = gl33::SetTechnique;
    a.SetFloat = gl33::SetFloat;
    a.SetVector = gl33::SetVector;
    a.SetMatrix = gl33::SetMatrix;
    a.SetEffectTexture = gl33::SetEffectTexture;
    a.GetParameterValue = gl33::GetParameterValue;
    a.GetEffectTexture = gl33::GetEffectTexture;
    a.Begin = gl33::Begin;
    a.BeginPass = gl33::BeginPass;
    a.CommitChanges = gl33::CommitChanges;
    a.EndPass = gl33::EndPass;
    a.End = gl33::End;
    a.CurrentPass = gl33::CurrentPass;
    a.GetFrameStats = [](GfxDevice* d) { return d ? d->stats : GfxFrameStats{}; };
    a.ResetFrameStats = [](GfxDevice* d) {
      if (!d) return;
      d->stats = GfxFrameStats{};
      d->drawsInObject = 0;
    };
    return a;
  }();
  return api;
}

}  // namespace platform
