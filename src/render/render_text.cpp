// render_text.cpp -- fonts (FreeType faces with a glyph atlas), the font
// cache, and DrawText with its Shift-JIS-safe line wrapping.

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "render/render_local.h"

namespace render {

using namespace platform;

namespace {

constexpr int kAtlasSize = 1024;

struct Glyph {
  int x = 0, y = 0, w = 0, h = 0;  // place in the atlas
  int left = 0, top = 0;           // bearing from the pen on the baseline
  float advance = 0.0f;
};

// Decodes the first code point of a UTF-8 text (0 for an empty one).
uint32_t FirstCodePoint(const std::string& s) {
  if (s.empty()) return 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
  if (p[0] < 0x80) return p[0];
  int extra = p[0] >= 0xF0 ? 3 : p[0] >= 0xE0 ? 2 : 1;
  uint32_t cp = p[0] & (0x3F >> extra);
  for (int i = 1; i <= extra && i < int(s.size()); i++) cp = cp << 6 | (p[i] & 0x3F);
  return cp;
}

int CharLength(const char* text, int at, int end) {
  return core::IsSjisLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < end ? 2 : 1;
}

bool IsWordByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '\'' || c == '-';
}

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

// One font: a FreeType face at a cell height and the glyphs drawn so far.
struct Font {
  FT_Face face = nullptr;
  int height = 0;
  int ascent = 0;
  GfxTexture* atlas = nullptr;
  std::vector<uint32_t> atlasPixels;  // mirror of the atlas, uploaded when dirty
  bool dirty = false;
  int penX = 1, penY = 1, rowHeight = 0;
  std::unordered_map<uint16_t, Glyph> glyphs;  // by Shift-JIS code
};

std::string FontFileForFace(const char* face) {
  std::string name = Cp932ToUtf8(face ? face : "");
  auto has = [&](const char* word) { return name.find(word) != std::string::npos; };
  const char* const* candidates;
  static const char* const kMincho[] = {"/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf",
                                        "/usr/share/fonts/truetype/fonts-japanese-mincho.ttf", nullptr};
  static const char* const kGothic[] = {"/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
                                        "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf", nullptr};
  static const char* const kSerif[] = {"/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf", nullptr};
  static const char* const kMono[] = {"/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf", nullptr};
  static const char* const kSans[] = {"/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf", nullptr};
  if (has("明朝") || has("Mincho")) candidates = kMincho;
  else if (has("ゴシック") || has("Gothic") || has("メイリオ")) candidates = kGothic;
  else if (has("Times") || has("Serif") || has("Century")) candidates = kSerif;
  else if (has("Courier") || has("Mono") || has("Consolas")) candidates = kMono;
  else if (has("Arial") || has("Helvetica") || has("Sans") || has("Verdana") || has("Tahoma")) candidates = kSans;
  else candidates = kGothic;
  for (const char* const* c = candidates; *c; c++)
    if (PathExists(*c)) return *c;
  for (const char* const* c = kGothic; *c; c++)
    if (PathExists(*c)) return *c;
  return "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
}

// ----------------------------------------------------------------------------
// Fonts
// ----------------------------------------------------------------------------

namespace {

void DestroyFont(const GfxApi* g, Font* font) {
  if (!font) return;
  if (font->face) FT_Done_Face(font->face);
  if (g && font->atlas) g->ReleaseTexture(font->atlas);
  delete font;
}

const Glyph& GlyphOf(const GfxApi& g, GfxDevice* dev, Font* font, const char* text, int length) {
  uint16_t code = uint16_t(length == 2 ? (uint8_t(text[0]) << 8 | uint8_t(text[1])) : uint8_t(text[0]));
  auto found = font->glyphs.find(code);
  if (found != font->glyphs.end()) return found->second;
  Glyph& glyph = font->glyphs[code];
  uint32_t cp = FirstCodePoint(Cp932ToUtf8(std::string(text, size_t(length))));
  if (cp == '\t') cp = ' ';
  if (!font->face || FT_Load_Char(font->face, cp, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) return glyph;
  FT_GlyphSlot slot = font->face->glyph;
  glyph.advance = float(slot->advance.x) / 64.0f;
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  int w = int(slot->bitmap.width), h = int(slot->bitmap.rows);
  if (w == 0 || h == 0 || !dev) return glyph;
  if (!font->atlas) {
    if (g.CreateTexture(dev, kAtlasSize, kAtlasSize, 1, 0, kFmtA8R8G8B8, kPoolManaged, &font->atlas) != kGfxOk)
      return glyph;
    font->atlasPixels.assign(size_t(kAtlasSize) * kAtlasSize, 0x00FFFFFFu);
  }
  if (font->penX + w + 1 > kAtlasSize) {
    font->penX = 1;
    font->penY += font->rowHeight + 1;
    font->rowHeight = 0;
  }
  if (font->penY + h + 1 > kAtlasSize) return glyph;  // the atlas is full: drawn as a blank
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint8_t coverage = slot->bitmap.buffer[y * slot->bitmap.pitch + x];
      font->atlasPixels[size_t(font->penY + y) * kAtlasSize + size_t(font->penX + x)] =
          uint32_t(coverage) << 24 | 0x00FFFFFFu;
    }
  glyph.x = font->penX;
  glyph.y = font->penY;
  glyph.w = w;
  glyph.h = h;
  font->penX += w + 1;
  font->rowHeight = std::max(font->rowHeight, h);
  font->dirty = true;
  return glyph;
}

void UploadAtlas(const GfxApi& g, Font* font) {
  if (!font->dirty || !font->atlas) return;
  GfxLockedRect locked;
  if (g.LockRect(font->atlas, 0, &locked) == kGfxOk) {
    std::memcpy(locked.bits, font->atlasPixels.data(), font->atlasPixels.size() * 4);
    g.UnlockRect(font->atlas, 0);
  }
  font->dirty = false;
}

float Advance(const GfxApi& g, GfxDevice* dev, Font* font, const char* text, int bytes) {
  float width = 0.0f;
  for (int i = 0; i < bytes;) {
    int n = CharLength(text, i, bytes);
    width += GlyphOf(g, dev, font, text + i, n).advance;
    i += n;
  }
  return width;
}

}  // namespace

Font* GraphicsSystem::MakeFont(const char* face, int height) {
  if (!fontLibrary_) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return nullptr;
    fontLibrary_ = library;
  }
  std::string file = FontFileForFace(face);
  FT_Face ftFace = nullptr;
  if (FT_New_Face(static_cast<FT_Library>(fontLibrary_), file.c_str(), 0, &ftFace) != 0) return nullptr;
  // The height is the character cell's, as the engine's fonts were sized.
  FT_Size_RequestRec request = {FT_SIZE_REQUEST_TYPE_CELL, 0, FT_Long(std::max(height, 1)) * 64, 0, 0};
  if (FT_Request_Size(ftFace, &request) != 0) {
    FT_Done_Face(ftFace);
    return nullptr;
  }
  Font* font = new Font;
  font->face = ftFace;
  font->height = height;
  font->ascent = int(ftFace->size->metrics.ascender >> 6);
  return font;
}

void GraphicsSystem::ReleaseFonts() {
  for (int i = 0; i < kFontCacheSize; i++) {
    DestroyFont(gfx_, fonts_.fonts[i]);
    fonts_.fonts[i] = nullptr;
    std::free(fonts_.faces[i]);
    fonts_.faces[i] = nullptr;
    fonts_.heights[i] = 0;
  }
  fonts_.current = nullptr;
  if (fontLibrary_) FT_Done_FreeType(static_cast<FT_Library>(fontLibrary_));
  fontLibrary_ = nullptr;
}

intptr_t GraphicsSystem::SetFont(const char* face, int height, uint32_t colour, int shadow) {
  fontColour_ = colour <= 0x00FFFFFFu ? colour + 0xFF000000u : colour;
  if (shadow >= 0) fontShadow_ = shadow;
  if (height >= 0) fontHeight_ = height;
  if (face) std::snprintf(fontFace_, sizeof fontFace_, "%s", face);
  if (deviceLost_ || !device_) {
    fonts_.current = nullptr;
    return 0;
  }
  int empty = -1;
  for (int i = 0; i < kFontCacheSize; i++) {
    if (!fonts_.fonts[i]) {
      empty = i;
      break;
    }
    if (fonts_.heights[i] == fontHeight_ && std::strcmp(fonts_.faces[i], fontFace_) == 0) {
      fonts_.current = fonts_.fonts[i];
      return reinterpret_cast<intptr_t>(fonts_.current);
    }
  }
  // A full cache gives up entry 0 for the new font.
  int slot = empty >= 0 ? empty : 0;
  Font* font = MakeFont(fontFace_, fontHeight_);
  if (!font) {
    fonts_.current = nullptr;
    return 0;
  }
  if (fonts_.fonts[slot]) DestroyFont(gfx_, fonts_.fonts[slot]);
  std::free(fonts_.faces[slot]);
  fonts_.fonts[slot] = font;
  fonts_.faces[slot] = strndup(fontFace_, 63);
  fonts_.heights[slot] = fontHeight_;
  fonts_.current = font;
  return reinterpret_cast<intptr_t>(font);
}

float GraphicsSystem::SetTextLineSpacing(float spacing) {
  float previous = lineSpacing_;
  if (spacing >= 0.0f) lineSpacing_ = spacing;
  return previous;
}

// ----------------------------------------------------------------------------
// Wrapping
// ----------------------------------------------------------------------------

int FindLineBreak(const char* text, int length, float limit, const std::function<float(int)>& measure,
                  bool* quoteOpen) {
  // Character starts, so that no search splits a two-byte character.
  std::vector<int> starts;
  for (int i = 0; i < length; i += CharLength(text, i, length)) starts.push_back(i);
  starts.push_back(length);
  // The longest prefix that fits, by halving the range of character counts.
  int lo = 0, hi = int(starts.size()) - 1;
  while (lo < hi) {
    int mid = (lo + hi + 1) / 2;
    if (measure(starts[size_t(mid)]) <= limit) lo = mid;
    else hi = mid - 1;
  }
  if (lo == 0) return -1;
  int brk = starts[size_t(lo)];
  // Double quotes alternate between opening and closing.
  bool open = *quoteOpen;
  for (int i = 0; i < brk; i += CharLength(text, i, length))
    if (text[i] == '"') open = !open;
  // Closing marks stay on the upper line.
  if (brk < length) {
    char c = text[brk];
    if (std::strchr("!),.>?]}", c) || (c == '"' && open)) {
      brk++;
      if (c == '"') open = !open;
    } else if (brk + 1 < length) {
      static const char* const kMarks[] = {"。", "、", "」", "』", "＞", "？", "！", "）", "｝", "】"};
      for (const char* mark : kMarks) {
        const char* sjis = core::Sjis(mark);
        if (text[brk] == sjis[0] && text[brk + 1] == sjis[1]) {
          brk += 2;
          break;
        }
      }
    }
  }
  // A break inside a Latin word moves back to the word's start; a word that
  // is wider than the whole line keeps the hard break.
  if (brk > 0 && brk < length && IsWordByte(text[brk]) && IsWordByte(text[brk - 1])) {
    int start = brk;
    auto isCharStart = [&](int at) { return std::binary_search(starts.begin(), starts.end(), at); };
    while (start > 0 && isCharStart(start - 1) && IsWordByte(text[start - 1])) start--;
    if (start > 0 && text[start - 1] == '"' && IsLetter(text[start])) start--;
    if (start > 0) brk = start;
  }
  *quoteOpen = open;
  return brk;
}

// ----------------------------------------------------------------------------
// DrawText
// ----------------------------------------------------------------------------

int GraphicsSystem::DrawText(float x, float y, const char* text, int wrapWidth) {
  if (!text || !*text) return 0;
  Font* font = fonts_.current;
  // Without a current font (device lost, creation failed) nothing is drawn.
  if (!font || !device_) return 0;
  const GfxApi& g = *gfx_;
  float h = float(targetHeight_), w = float(targetWidth_);
  float s = h * zoom_ / 768.0f;
  float px = (w / h * 384.0f + (camera2D_[0] + x) * zoom_) * h / 768.0f;
  float py = ((camera2D_[1] + y) * zoom_ + 384.0f) * h / 768.0f;
  int shadowOffset = int(float(fontHeight_) * s) / 8;
  float limit = float(wrapWidth) * s;
  uint32_t colour = 0xFF000000u | (fontColour_ & 0x00FFFFFFu);

  std::vector<GfxSpriteVertex> shadowQuads, quads;
  auto emitLine = [&](const char* line, int bytes, float top) {
    float pen = std::floor(px);
    int baseline = int(std::floor(top)) + font->ascent;
    for (int i = 0; i < bytes;) {
      int n = CharLength(line, i, bytes);
      if (line[i] == '\r') {
        i += n;
        continue;
      }
      const Glyph& glyph = GlyphOf(g, device_, font, line + i, n);
      if (glyph.w > 0) {
        float gx = pen + float(glyph.left), gy = float(baseline - glyph.top);
        float u0 = float(glyph.x) / kAtlasSize, v0 = float(glyph.y) / kAtlasSize;
        float u1 = float(glyph.x + glyph.w) / kAtlasSize, v1 = float(glyph.y + glyph.h) / kAtlasSize;
        for (int pass = 0; pass < 2; pass++) {
          float o = pass == 0 ? float(shadowOffset) : 0.0f;
          uint32_t c = pass == 0 ? 0xFF000000u : colour;
          std::vector<GfxSpriteVertex>& out = pass == 0 ? shadowQuads : quads;
          out.push_back({gx + o, gy + o, u0, v0, c});
          out.push_back({gx + o + float(glyph.w), gy + o, u1, v0, c});
          out.push_back({gx + o + float(glyph.w), gy + o + float(glyph.h), u1, v1, c});
          out.push_back({gx + o, gy + o + float(glyph.h), u0, v1, c});
        }
      }
      pen += glyph.advance;
      i += n;
    }
  };

  int length = int(std::strlen(text));
  int pos = 0, lineNo = 0;
  bool quoteOpen = false;
  while (pos < length) {
    int end = pos;
    while (end < length && text[end] != '\n') end += CharLength(text, end, length);
    int lineEnd = end, next = end < length ? end + 1 : end;
    if (limit > 0.0f) {
      const char* line = text + pos;
      auto measure = [&](int bytes) { return Advance(g, device_, font, line, bytes); };
      if (measure(end - pos) > limit) {
        int brk = FindLineBreak(line, end - pos, limit, measure, &quoteOpen);
        if (brk < 0) return 0;
        lineEnd = pos + brk;
        next = lineEnd;
        if (next < length && text[next] == '\r') next++;
        if (next < length && text[next] == '\n') next++;
        while (next < length && text[next] == ' ') next++;
      }
    }
    emitLine(text + pos, lineEnd - pos, py + float(lineNo) * (float(fontHeight_) + lineSpacing_) * s);
    lineNo++;
    pos = next;
  }
  UploadAtlas(g, font);
  if (font->atlas) {
    g.DrawSprites(device_, font->atlas, shadowQuads.data(), int(shadowQuads.size() / 4));
    g.DrawSprites(device_, font->atlas, quads.data(), int(quads.size() / 4));
  }
  return 1;
}

}  // namespace render
