// render_texture.cpp -- texture holders: loading, filled textures, render
// targets and their registry, binding to the effect's slots, pixel
// read-back and saving.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "render/render_local.h"

namespace render {

using core::Sjis;
using namespace platform;

namespace {

// Slot caches of the effect's texture slots, by binder.
enum : int {
  kSlotDiffuse = 0,
  kSlotBump,
  kSlotSpecular,
  kSlotLight,
  kSlotHeat,
  kSlotMirror,
  kSlotShadow0,
};

uint32_t ColourKeyOf(uint32_t flags) {
  if (flags & kTexNoColorKey) return 0;
  if (flags & kTexKeyGreen) return 0xFF00FF00u;
  if (flags & kTexKeyRed) return 0xFFFF0000u;
  if (flags & kTexKeyBlue) return 0xFF0000FFu;
  if (flags & kTexKeyWhite) return 0xFFFFFFFFu;
  return 0xFF000000u;
}

// An image file replaces an old one only once it is whole.
bool WriteFileBytes(const char* name, const std::string& bytes) {
  return platform::WriteWholeFile(name, bytes.data(), bytes.size());
}

}  // namespace

GfxTexture* UnboundSlot() {
  // Never a texture: the address of a constant, so the first bind of a
  // slot is never taken for a repeat.
  static const char kUnbound = 0;
  return reinterpret_cast<GfxTexture*>(const_cast<char*>(&kUnbound));
}

// ----------------------------------------------------------------------------
// TextureHolder
// ----------------------------------------------------------------------------

void TextureHolder::InitTextureHolder() {
  texture = nullptr;
  depthSurface = nullptr;
  flags = 0;
  width = height = bytesPerPixel = 0;
}

int TextureHolder::GetTextureWidth(int* out) const {
  if (out) *out = width;
  return width;
}

int TextureHolder::GetTextureHeight(int* out) const {
  if (out) *out = height;
  return height;
}

GfxSurface* TextureHolder::GetTextureSurface(GraphicsSystem& gs) const {
  return texture ? gs.Gfx().GetSurfaceLevel(texture, 0) : nullptr;
}

uint32_t TextureHolder::CreateFilledTexture(GraphicsSystem& gs, int w, int h, uint32_t colour, uint32_t flagBits) {
  if (!gs.device_) return kGfxErrInvalidCall;
  const GfxApi& g = gs.Gfx();
  GfxTexture* t = nullptr;
  uint32_t r = g.CreateTexture(gs.device_, w, h, 1, 0, kFmtA8R8G8B8, kPoolManaged, &t);
  if (r != kGfxOk) return r;
  GfxLockedRect locked;
  if (g.LockRect(t, 0, &locked) == kGfxOk) {
    for (int y = 0; y < h; y++) {
      uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + size_t(y) * size_t(locked.pitch));
      for (int x = 0; x < locked.pitch / 4; x++) row[x] = colour;
    }
    g.UnlockRect(t, 0);
  }
  texture = t;
  width = w;
  height = h;
  bytesPerPixel = 4;
  gs.CountTextureMemory(int64_t(w) * h * 4);
  flags |= flagBits;
  HolderUsesEffect = gs.shadersOn_ ? 1 : 0;
  return kGfxOk;
}

uint32_t TextureHolder::CreateRenderTarget(GraphicsSystem& gs, int w, int h, uint32_t format) {
  width = w;
  height = h;
  bytesPerPixel = 4;
  gs.CountTextureMemory(int64_t(w) * h * 4);
  uint32_t r = CreateRenderTargetTexture(gs, format);
  gs.RegisterRenderTarget(this, format);
  return r;
}

uint32_t TextureHolder::CreateRenderTargetTexture(GraphicsSystem& gs, uint32_t format) {
  targetFormat = format;
  if (!gs.device_) return kGfxErrInvalidCall;
  const GfxApi& g = gs.Gfx();
  uint32_t r = g.CreateTexture(gs.device_, width, height, 1, kUsageRenderTarget, format, kPoolDefault, &texture);
  if (r != kGfxOk) {
    texture = nullptr;
    return r;
  }
  r = g.CreateDepthStencilSurface(gs.device_, width, height, gs.description_.depthInUse.format, &depthSurface);
  if (r != kGfxOk) {
    g.ReleaseTexture(texture);
    texture = nullptr;
    depthSurface = nullptr;
    return r;
  }
  flags |= kTexRenderTarget;
  HolderUsesEffect = gs.shadersOn_ ? 1 : 0;
  return kGfxOk;
}

int TextureHolder::LoadTextureFile(GraphicsSystem& gs, const char* name, uint32_t flagBits) {
  Logf(gs.log, core::kLogInfo, Sjis("画像ファイル[%s]を読み込みます。\n"), name ? name : "");
  if (!gs.packages || !name) return 0;
  void* data = nullptr;
  int32_t size = core::ReadWholeFile(*gs.packages, &data, name);
  if (size <= 0 || !data) {
    core::HeapFreeCached(data);
    return 0;
  }
  int r = LoadTextureFromMemory(gs, data, size, flagBits);
  core::HeapFreeCached(data);
  return r;
}

int TextureHolder::LoadTextureFromMemory(GraphicsSystem& gs, const void* bytes, int size, uint32_t flagBits) {
  if (texture) {
    Logf(gs.log, core::kLogInfo, "%s", Sjis("既にこのオブジェクトには読み込み済みです。\n"));
    return 1;
  }
  if (!gs.device_ || !bytes || size <= 0) return 0;
  const uint8_t* data = static_cast<const uint8_t*>(bytes);
  uint32_t key = ColourKeyOf(flagBits);

  // The size the header announces, reduced as asked.
  int w = -1, h = -1;
  if (SniffImageSize(data, size_t(size), &w, &h) == SniffResult::Bad) {
    Logf(gs.log, core::kLogInfo, "%s", Sjis("未知フォーマットです。\n"));
    return 0;
  }
  if (w > 0 && h > 0) {
    if (flagBits & kTexHalfSize) {
      w /= 2;
      h /= 2;
    } else if (flagBits & kTexQuarterSize) {
      w /= 4;
      h /= 4;
    }
  }
  bool sixteen = !(flagBits & kTexNormalMap) &&
                 ((flagBits & kTex16Bit) || ((flagBits & kTexNoColorKey) && (flagBits & kTexAllow16Bit)));
  int bpp = sixteen ? 2 : 4;

  // Decode, key, scale, build the chain and fill the texture.
  Image image;
  std::string error;
  GfxTexture* t = nullptr;
  bool ok = DecodeImage(data, size_t(size), &image, &error);
  if (ok) {
    if (key) ApplyColourKey(&image, key);
    if (w <= 0 || h <= 0) {
      w = image.width;
      h = image.height;
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    image = ResizeImage(image, w, h);
    const GfxApi& g = gs.Gfx();
    ok = g.CreateTexture(gs.device_, w, h, (flagBits & kTexMipChain) ? 0 : 1, 0,
                         sixteen ? kFmtA1R5G5B5 : kFmtA8R8G8B8, kPoolManaged, &t) == kGfxOk;
    for (int level = 0; ok && level < g.GetLevelCount(t); level++) {
      if (level > 0) image = HalveImage(image);
      GfxLockedRect locked;
      if (g.LockRect(t, level, &locked) != kGfxOk) break;
      for (int y = 0; y < image.height; y++) {
        uint8_t* row = static_cast<uint8_t*>(locked.bits) + size_t(y) * size_t(locked.pitch);
        const uint32_t* src = image.pixels.data() + size_t(y) * size_t(image.width);
        if (sixteen)
          for (int x = 0; x < image.width; x++) reinterpret_cast<uint16_t*>(row)[x] = ToA1R5G5B5(src[x]);
        else
          std::memcpy(row, src, size_t(image.width) * 4);
      }
      if (flagBits & kTexNormalMap) HeightsToNormals32(static_cast<uint32_t*>(locked.bits), image.width, image.height);
      g.UnlockRect(t, level);
    }
  }
  if (w > 0 && h > 0) gs.CountTextureMemory(int64_t(w) * h * bpp);
  if (!ok) {
    Logf(gs.log, core::kLogInfo, "%s", Sjis("テクスチャの作成失敗\n"));
    texture = nullptr;
    return 0;
  }
  texture = t;
  width = w;
  height = h;
  bytesPerPixel = bpp;
  HolderUsesEffect = gs.shadersOn_ ? 1 : 0;
  flags |= flagBits;
  return 1;
}

void TextureHolder::ReleaseTexture(GraphicsSystem& gs) {
  gs.CountTextureMemory(-int64_t(width) * height * bytesPerPixel);
  // Unregistered by membership: a target whose creation failed has no depth
  // surface but still holds a registry slot.
  gs.UnregisterRenderTarget(this);
  ReleaseTextureSurfaces(gs);
  InitTextureHolder();
  HolderUsesEffect = 0;
  targetFormat = 0;
}

void TextureHolder::ReleaseTextureSurfaces(GraphicsSystem& gs) {
  if (!gs.gfx_) return;
  gs.Gfx().ReleaseTexture(texture);
  gs.Gfx().ReleaseSurface(depthSurface);
  texture = nullptr;
  depthSurface = nullptr;
}

int TextureHolder::MakeTextureCurrentTarget(GraphicsSystem& gs, int index) {
  if (!texture || !depthSurface || !gs.device_) return 0;
  const GfxApi& g = gs.Gfx();
  GfxSurface* surface = g.GetSurfaceLevel(texture, 0);
  uint32_t r = g.SetRenderTarget(gs.device_, index, surface);
  g.ReleaseSurface(surface);
  if (r != kGfxOk) return 0;
  if (index == 0) {
    g.SetDepthStencilSurface(gs.device_, depthSurface);
    g.SetViewport(gs.device_, {0, 0, width, height, 0.0f, 1.0f});
  }
  return 1;
}

int TextureHolder::ReadTexturePixels(GraphicsSystem& gs, uint8_t* out, int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, int(width));
  y1 = std::min(y1, int(height));
  if (x1 <= x0 || y1 <= y0) return 0;
  // Three bytes a pixel whatever the texture's own size per pixel.
  int count = (y1 - y0) * (x1 - x0) * 3;
  if (!out) return count;
  if (!texture || !gs.device_) return 0;
  const GfxApi& g = gs.Gfx();
  GfxTexture* source = texture;
  GfxTexture* copy = nullptr;
  if (flags & kTexRenderTarget) {
    uint32_t format = 0;
    int w = 0, h = 0;
    g.GetLevelDesc(texture, 0, &w, &h, &format);
    if (g.CreateTexture(gs.device_, w, h, 1, 0, format, kPoolSystemMem, &copy) != kGfxOk) return 0;
    GfxSurface* from = g.GetSurfaceLevel(texture, 0);
    GfxSurface* to = g.GetSurfaceLevel(copy, 0);
    uint32_t r = g.GetRenderTargetData(gs.device_, from, to);
    g.ReleaseSurface(from);
    g.ReleaseSurface(to);
    if (r != kGfxOk) {
      g.ReleaseTexture(copy);
      return 0;
    }
    source = copy;
  }
  uint32_t format = 0;
  g.GetLevelDesc(source, 0, nullptr, nullptr, &format);
  int bpp = GfxFormatBytes(format);
  GfxLockedRect locked;
  if ((bpp != 4 && bpp != 2) || g.LockRect(source, 0, &locked) != kGfxOk) {
    g.ReleaseTexture(copy);
    return 0;
  }
  uint8_t* o = out;
  for (int y = y0; y < y1; y++) {
    const uint8_t* row = static_cast<const uint8_t*>(locked.bits) + size_t(y) * size_t(locked.pitch);
    for (int x = x0; x < x1; x++) {
      if (bpp == 4) {
        const uint8_t* p = row + size_t(x) * 4;
        *o++ = p[0];
        *o++ = p[1];
        *o++ = p[2];
      } else {
        uint16_t p = uint16_t(row[size_t(x) * 2] | row[size_t(x) * 2 + 1] << 8);
        *o++ = uint8_t((p & 31) << 3);
        *o++ = uint8_t(((p >> 5) & 31) << 3);
        *o++ = uint8_t(((p >> 10) & 31) << 3);
      }
    }
  }
  g.UnlockRect(source, 0);
  g.ReleaseTexture(copy);
  return count;
}

int TextureHolder::ReadAllTexturePixels(GraphicsSystem& gs, uint8_t* out) {
  return ReadTexturePixels(gs, out, 0, 0, width, height);
}

int TextureHolder::SaveTexture(GraphicsSystem& gs, const char* fileName) {
  if (!texture || !fileName) return 0;
  const char* base = std::max(std::strrchr(fileName, '/'), std::strrchr(fileName, '\\'));
  const char* dot = std::strrchr(base ? base : fileName, '.');
  int count = ReadAllTexturePixels(gs, nullptr);
  if (count <= 0) return 0;
  std::vector<uint8_t> bgr(static_cast<size_t>(count));
  if (ReadAllTexturePixels(gs, bgr.data()) != count) return 0;
  if (dot && strcasecmp(dot, ".jpg") == 0) {
    std::string jpeg = EncodeJpeg(bgr.data(), width, height);
    return !jpeg.empty() && WriteFileBytes(fileName, jpeg) ? 1 : 0;
  }
  if (dot && strcasecmp(dot, ".dds") == 0) {
    std::vector<uint32_t> argb(size_t(width) * size_t(height));
    for (size_t i = 0; i < argb.size(); i++)
      argb[i] = 0xFF000000u | uint32_t(bgr[i * 3 + 2]) << 16 | uint32_t(bgr[i * 3 + 1]) << 8 | bgr[i * 3];
    return WriteFileBytes(fileName, EncodeDds32(argb.data(), width, height)) ? 1 : 0;
  }
  return WriteFileBytes(fileName, EncodeBmp24(bgr.data(), width, height)) ? count : 0;
}

// ----------------------------------------------------------------------------
// GraphicsSystem: memory count, registry, targets
// ----------------------------------------------------------------------------

void GraphicsSystem::CountTextureMemory(int64_t bytesUsed) {
  TextureMemoryCount& m = description_.memory;
  int64_t now = int64_t(m.current) - bytesUsed;
  m.current = uint32_t(std::clamp<int64_t>(now, 0, 0xFFFFFFFFll));
  m.lowest = std::min(m.lowest, m.current);
}

int GraphicsSystem::RegisterRenderTarget(TextureHolder* holder, uint32_t format) {
  for (int i = 0; i < kRenderTargetSlots; i++) {
    if (registry_[i]) continue;
    registry_[i] = holder;
    registryFormat_[i] = format;
    return i;
  }
  return kRenderTargetSlots;
}

int GraphicsSystem::UnregisterRenderTarget(TextureHolder* holder) {
  for (int i = 0; i < kRenderTargetSlots; i++) {
    if (registry_[i] != holder) continue;
    registry_[i] = nullptr;
    registryFormat_[i] = 0;
    return i;
  }
  return kRenderTargetSlots;
}

int GraphicsSystem::SetRenderTarget(TextureHolder* holder, int index, int clear) {
  if (!device_ || index < 0 || index >= description_.caps.numSimultaneousRTs || (!effect_ && index > 0)) return -1;
  const GfxApi& g = *gfx_;
  if (!holder) {
    g.SetRenderTarget(device_, index, savedTargets_[index]);
    if (index == 0) {
      g.SetDepthStencilSurface(device_, savedDepth_);
      g.SetViewport(device_, savedViewport_);
      targetWidth_ = backWidth_;
      targetHeight_ = backHeight_;
      targetFlags_ = 0;
    }
  } else {
    if (!holder->MakeTextureCurrentTarget(*this, index)) return -1;
    if (index == 0) {
      targetFlags_ = holder->flags;
      targetWidth_ = holder->width;
      targetHeight_ = holder->height;
    }
  }
  if (index == 0 && effect_) {
    g.SetFloat(effect_, handles_.pixelWidth, 1.0f / float(targetWidth_));
    g.SetFloat(effect_, handles_.pixelHeight, 1.0f / float(targetHeight_));
  }
  if (clear) g.Clear(device_, kClearTarget | kClearZBuffer, 0xFF000000u, 1.0f);
  DrawMode = -1;
  return 0;
}

// ----------------------------------------------------------------------------
// Binding to the effect's slots
// ----------------------------------------------------------------------------

void GraphicsSystem::ForgetSlotCaches() {
  for (GfxTexture*& slot : boundSlot_) slot = UnboundSlot();
}

int GraphicsSystem::BindSlot(int slot, int handle, GfxTexture* texture, GfxTexture* fallback) {
  if (!device_) return 0;
  if (!effect_) return 1;
  if (!texture) texture = fallback;
  if (boundSlot_[slot] == texture) return 1;
  boundSlot_[slot] = texture;
  gfx_->SetEffectTexture(effect_, handle, texture);
  return 1;
}

int GraphicsSystem::BindTexture(GfxTexture* texture) {
  if (!device_) return 0;
  if (effect_) return BindSlot(kSlotDiffuse, handles_.texture, texture, defaults_.white.texture);
  if (boundSlot_[kSlotDiffuse] == texture) return 1;
  boundSlot_[kSlotDiffuse] = texture;
  gfx_->SetTexture(device_, 0, texture);
  return 1;
}

int GraphicsSystem::BindBumpTexture(GfxTexture* texture) {
  return BindSlot(kSlotBump, handles_.bumpTexture, texture, defaults_.grey.texture);
}

int GraphicsSystem::BindSpecularTexture(GfxTexture* texture) {
  return BindSlot(kSlotSpecular, handles_.specularTexture, texture, defaults_.grey.texture);
}

int GraphicsSystem::BindLightTexture(GfxTexture* texture) {
  return BindSlot(kSlotLight, handles_.lightTexture, texture, defaults_.clear.texture);
}

int GraphicsSystem::BindHeatTexture(GfxTexture* texture) {
  int r = BindSlot(kSlotHeat, handles_.heatTexture, texture, defaults_.clear.texture);
  if (effect_) CommitEffectChanges();
  return r;
}

int GraphicsSystem::BindMirrorTexture(GfxTexture* texture) {
  int r = BindSlot(kSlotMirror, handles_.mirrorTexture, texture, nullptr);
  if (effect_) CommitEffectChanges();
  return r;
}

int GraphicsSystem::BindTextureAsMirror(TextureHolder* holder) {
  if (!holder || !holder->HolderUsesEffect) return 0;
  return BindMirrorTexture(holder->texture);
}

int GraphicsSystem::BindShadowTexture(int cascade, GfxTexture* texture) {
  if (cascade < 0 || cascade > 2) return 0;
  int r = BindSlot(kSlotShadow0 + cascade, handles_.shadowTexture[cascade], texture, nullptr);
  if (effect_) CommitEffectChanges();
  return r;
}

int GraphicsSystem::BindShadowMap(int cascade, TextureHolder* holder) {
  if (!holder || !holder->HolderUsesEffect || !(holder->flags & kTargetShadowMap)) return 0;
  int r = BindShadowTexture(cascade, holder->texture);
  if (r && effect_) gfx_->SetFloat(effect_, handles_.shadowSize, 0.5f / float(holder->width));
  return r;
}

int GraphicsSystem::BindTextureToEffect(uint32_t slotFlags, TextureHolder* holder) {
  if (!device_) return 0;
  GfxTexture* texture = holder ? holder->texture : nullptr;
  if (!holder || !holder->HolderUsesEffect) {
    if (slotFlags != 0) return 0;
    return BindTexture(texture);
  }
  if (slotFlags & kTexBumpSlot) return BindBumpTexture(texture);
  if (slotFlags & kTexSpecularSlot) return BindSpecularTexture(texture);
  if (slotFlags & kTexLightSlot) return BindLightTexture(texture);
  if (slotFlags & kTexHeatSlot) return BindHeatTexture(texture);
  return BindTexture(texture);
}

}  // namespace render
