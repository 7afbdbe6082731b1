// gl33_texture.cpp -- textures, surfaces, depth buffers and vertex and index
// buffers of the GL device.

#include <algorithm>
#include <cstring>

#include "platform/gl33/gl33_local.h"

namespace platform {

int GfxFormatBytes(uint32_t format) {
  switch (format) {
    case kFmtA8R8G8B8:
    case kFmtX8R8G8B8:
    case kFmtG16R16F:
    case kFmtR32F: return 4;
    case kFmtR8G8B8: return 3;
    case kFmtR5G6B5:
    case kFmtX1R5G5B5:
    case kFmtA1R5G5B5:
    case kFmtR16F: return 2;
    case kFmtA16B16G16R16F: return 8;
    case kFmtA32B32G32R32F: return 16;
    default: return 0;
  }
}

bool GlFormatOf(uint32_t format, GlFormat* out) {
  switch (format) {
    case kFmtA8R8G8B8: *out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4}; return true;
    case kFmtX8R8G8B8: *out = {GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4}; return true;
    case kFmtR8G8B8: *out = {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, 3}; return true;
    case kFmtR5G6B5: *out = {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2}; return true;
    case kFmtX1R5G5B5: *out = {GL_RGB5, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2}; return true;
    case kFmtA1R5G5B5: *out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2}; return true;
    case kFmtR16F: *out = {GL_R16F, GL_RED, GL_HALF_FLOAT, 2}; return true;
    case kFmtG16R16F: *out = {GL_RG16F, GL_RG, GL_HALF_FLOAT, 4}; return true;
    case kFmtA16B16G16R16F: *out = {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8}; return true;
    case kFmtR32F: *out = {GL_R32F, GL_RED, GL_FLOAT, 4}; return true;
    case kFmtA32B32G32R32F: *out = {GL_RGBA32F, GL_RGBA, GL_FLOAT, 16}; return true;
    default: return false;
  }
}

void LevelSize(const GfxTexture* t, int level, int* w, int* h) {
  *w = std::max(1, t->width >> level);
  *h = std::max(1, t->height >> level);
}

std::vector<uint8_t>& TextureLevelData(GfxTexture* t, int level) {
  if (int(t->cpu.size()) < t->levels) t->cpu.resize(size_t(t->levels));
  std::vector<uint8_t>& data = t->cpu[size_t(level)];
  if (data.empty()) {
    int w, h;
    LevelSize(t, level, &w, &h);
    GlFormat f{};
    GlFormatOf(t->format, &f);
    data.assign(size_t(w) * size_t(h) * size_t(f.bytes), 0);
  }
  return data;
}

void AddRefTexture(GfxTexture* t) {
  if (t) t->refs++;
}

namespace gl33 {

int FullChain(int w, int h) {
  int levels = 1;
  while (w > 1 || h > 1) {
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
    levels++;
  }
  return levels;
}

uint32_t CreateTexture(GfxDevice* dev, int width, int height, int levels, uint32_t usage, uint32_t format,
                       uint32_t pool, GfxTexture** out) {
  *out = nullptr;
  if (!dev || width <= 0 || height <= 0 || width > dev->caps.maxTextureSize ||
      height > dev->caps.maxTextureSize)
    return kGfxErrInvalidCall;
  if ((usage & kUsageRenderTarget) && pool != kPoolDefault) return kGfxErrInvalidCall;
  // Formats a system-memory copy of a render target cannot hold as they are
  // arrive as A8R8G8B8 (see GetRenderTargetData).
  if (pool == kPoolSystemMem && format != kFmtA8R8G8B8 && format != kFmtX8R8G8B8 && format != kFmtR5G6B5 &&
      format != kFmtX1R5G5B5 && format != kFmtA1R5G5B5)
    format = kFmtA8R8G8B8;
  GlFormat f{};
  if (!GlFormatOf(format, &f)) return kGfxErrInvalidCall;
  int full = FullChain(width, height);
  if (levels <= 0 || levels > full) levels = full;
  GfxTexture* t = new GfxTexture;
  t->dev = dev;
  t->width = width;
  t->height = height;
  t->levels = levels;
  t->format = format;
  t->usage = usage;
  t->pool = pool;
  if (pool != kPoolSystemMem) {
    glGenTextures(1, &t->id);
    BindUnit(dev, kFixedUnit, t->id);
    // A texture with fewer levels than its full chain is complete only when
    // its last level is named.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
    if (format == kFmtR16F || format == kFmtR32F) {
      // One-channel formats read (r, 1, 1, 1), as Direct3D samples them.
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_G, GL_ONE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_B, GL_ONE);
    }
    if (format == kFmtX1R5G5B5 || format == kFmtX8R8G8B8 || format == kFmtR5G6B5)
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    while (glGetError() != GL_NO_ERROR) {
    }
    for (int l = 0; l < levels; l++) {
      int w, h;
      LevelSize(t, l, &w, &h);
      glTexImage2D(GL_TEXTURE_2D, l, GLint(f.internal), w, h, 0, f.format, f.type, nullptr);
    }
    if (glGetError() == GL_OUT_OF_MEMORY) {
      glDeleteTextures(1, &t->id);
      delete t;
      return kGfxErrOutOfVideoMemory;
    }
  }
  if (pool == kPoolDefault) dev->liveDefaultTextures++;
  dev->textures.insert(t);
  *out = t;
  return kGfxOk;
}

void ReleaseTexture(GfxTexture* t) {
  if (!t || --t->refs > 0) return;
  if (!t->dev) {  // its device is gone, and its GL name with the context
    delete t;
    return;
  }
  t->dev->textures.erase(t);
  if (t->id) {
    for (GLuint& bound : t->dev->unitTexture)
      if (bound == t->id) bound = 0;
    glDeleteTextures(1, &t->id);
  }
  if (t->pool == kPoolDefault) t->dev->liveDefaultTextures--;
  delete t;
}

int GetLevelCount(GfxTexture* t) { return t ? t->levels : 0; }

void GetLevelDesc(GfxTexture* t, int level, int* w, int* h, uint32_t* format) {
  int lw = 0, lh = 0;
  if (t && level >= 0 && level < t->levels) LevelSize(t, level, &lw, &lh);
  if (w) *w = lw;
  if (h) *h = lh;
  if (format) *format = t ? t->format : 0;
}

GfxSurface* GetSurfaceLevel(GfxTexture* t, int level) {
  if (!t || level < 0 || level >= t->levels) return nullptr;
  GfxSurface* s = new GfxSurface;
  s->texture = t;
  s->level = level;
  s->dev = t->dev;
  LevelSize(t, level, &s->width, &s->height);
  s->format = t->format;
  AddRefTexture(t);
  return s;
}

uint32_t LockRect(GfxTexture* t, int level, GfxLockedRect* out) {
  if (!t || level < 0 || level >= t->levels || (t->usage & kUsageRenderTarget)) return kGfxErrInvalidCall;
  std::vector<uint8_t>& data = TextureLevelData(t, level);
  int w, h;
  LevelSize(t, level, &w, &h);
  out->bits = data.data();
  out->pitch = int(data.size() / size_t(h));
  return kGfxOk;
}

void UnlockRect(GfxTexture* t, int level) {
  if (!t || !t->id || level < 0 || level >= t->levels || int(t->cpu.size()) <= level) return;
  GlFormat f{};
  GlFormatOf(t->format, &f);
  int w, h;
  LevelSize(t, level, &w, &h);
  BindUnit(t->dev, kFixedUnit, t->id);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, f.format, f.type, t->cpu[size_t(level)].data());
}

uint32_t CreateDepthStencilSurface(GfxDevice* dev, int width, int height, uint32_t format, GfxSurface** out) {
  *out = nullptr;
  if (!dev || width <= 0 || height <= 0) return kGfxErrInvalidCall;
  GLenum internal;
  switch (format) {
    case kFmtD16: internal = GL_DEPTH_COMPONENT16; break;
    case kFmtD32: internal = GL_DEPTH_COMPONENT32F; break;
    case kFmtD24S8:
    case kFmtD24X8: internal = GL_DEPTH24_STENCIL8; break;
    default: return kGfxErrInvalidCall;
  }
  GfxSurface* s = new GfxSurface;
  s->dev = dev;
  s->width = width;
  s->height = height;
  s->format = format;
  glGenRenderbuffers(1, &s->depth);
  glBindRenderbuffer(GL_RENDERBUFFER, s->depth);
  glRenderbufferStorage(GL_RENDERBUFFER, internal, width, height);
  *out = s;
  return kGfxOk;
}

void ReleaseSurface(GfxSurface* s) {
  if (!s || --s->refs > 0) return;
  if (s->texture) ReleaseTexture(s->texture);
  if (s->depth) glDeleteRenderbuffers(1, &s->depth);
  delete s;
}

void GetSurfaceDesc(GfxSurface* s, int* w, int* h, uint32_t* format) {
  if (w) *w = s ? s->width : 0;
  if (h) *h = s ? s->height : 0;
  if (format) *format = s ? s->format : 0;
}

uint32_t GetRenderTargetData(GfxDevice* dev, GfxSurface* src, GfxSurface* dst) {
  if (!dev || !src || !dst || !src->texture || !dst->texture || dst->texture->pool != kPoolSystemMem ||
      src->width != dst->width || src->height != dst->height)
    return kGfxErrInvalidCall;
  GfxTexture* d = dst->texture;
  std::vector<uint8_t>& data = TextureLevelData(d, dst->level);
  GlFormat f{};
  GlFormatOf(d->format, &f);
  // Read through a framebuffer so that any renderable format converts to
  // the destination's layout.
  GLuint fbo = 0;
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, src->texture->id, src->level);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  bool ok = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (ok) glReadPixels(0, 0, src->width, src->height, f.format, f.type, data.data());
  glBindFramebuffer(GL_READ_FRAMEBUFFER, dev->fbo);
  glDeleteFramebuffers(1, &fbo);
  return ok ? kGfxOk : kGfxErrInvalidCall;
}

uint32_t CreateBuffer(GfxDevice* dev, int bytes, bool index, GfxBuffer** out) {
  *out = nullptr;
  if (!dev || bytes <= 0) return kGfxErrInvalidCall;
  GfxBuffer* b = new GfxBuffer;
  b->dev = dev;
  b->index = index;
  b->bytes = bytes;
  b->shadow.assign(size_t(bytes), 0);
  glGenBuffers(1, &b->id);
  glBindBuffer(GL_COPY_WRITE_BUFFER, b->id);
  glBufferData(GL_COPY_WRITE_BUFFER, bytes, nullptr, GL_STATIC_DRAW);
  dev->buffers.insert(b);
  *out = b;
  return kGfxOk;
}

void* LockBuffer(GfxBuffer* b) { return b ? b->shadow.data() : nullptr; }

void UnlockBuffer(GfxBuffer* b) {
  if (!b || !b->dev) return;
  glBindBuffer(GL_COPY_WRITE_BUFFER, b->id);
  glBufferSubData(GL_COPY_WRITE_BUFFER, 0, b->bytes, b->shadow.data());
}

void ReleaseBuffer(GfxBuffer* b) { DestroyBuffer(b); }

}  // namespace gl33

void DestroyBuffer(GfxBuffer* b) {
  if (!b) return;
  GfxDevice* dev = b->dev;
  if (!dev) {  // its device is gone, and its GL names with the context
    delete b;
    return;
  }
  dev->buffers.erase(b);
  if (dev->vertices == b) dev->vertices = nullptr;
  if (dev->indices == b) dev->indices = nullptr;
  for (GLuint vao : b->vaos)
    if (vao) glDeleteVertexArrays(1, &vao);
  glDeleteBuffers(1, &b->id);
  delete b;
}

}  // namespace platform
