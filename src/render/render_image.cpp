// render_image.cpp -- image files: header sniffing, decoding (stb_image and
// our own DDS reader), colour keys, resizing, normal maps, and the BMP, DDS
// and JPEG writers.

#include <algorithm>
#include <cstring>

#include "render/render_local.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_NO_STDIO
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_MAX_DIMENSIONS 8192
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace render {

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]); }
int Be16(const uint8_t* p) { return int(p[0]) << 8 | int(p[1]); }

void PutLe16(std::string* s, uint32_t v) {
  s->push_back(char(v & 255));
  s->push_back(char((v >> 8) & 255));
}
void PutLe32(std::string* s, uint32_t v) {
  PutLe16(s, v & 0xFFFF);
  PutLe16(s, v >> 16);
}

// ---------------------------------------------------------------------------
// DDS
// ---------------------------------------------------------------------------

uint32_t Rgb565ToArgb(uint32_t c) {
  uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
  r = (r << 3) | (r >> 2);
  g = (g << 2) | (g >> 4);
  b = (b << 3) | (b >> 2);
  return 0xFF000000u | r << 16 | g << 8 | b;
}

uint32_t Mix(uint32_t a, uint32_t b, int wa, int wb, int div) {
  uint32_t out = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    uint32_t ca = (a >> shift) & 255, cb = (b >> shift) & 255;
    out |= ((ca * uint32_t(wa) + cb * uint32_t(wb)) / uint32_t(div)) << shift;
  }
  return out;
}

// Decodes one 4x4 colour block of DXT1 (with its one-bit alpha when
// `dxt1`) into 16 pixels.
void DecodeColourBlock(const uint8_t* block, uint32_t out[16], bool dxt1) {
  uint32_t c0 = uint32_t(block[0]) | uint32_t(block[1]) << 8, c1 = uint32_t(block[2]) | uint32_t(block[3]) << 8;
  uint32_t palette[4] = {Rgb565ToArgb(c0), Rgb565ToArgb(c1), 0, 0};
  if (c0 > c1 || !dxt1) {
    palette[2] = Mix(palette[0], palette[1], 2, 1, 3);
    palette[3] = Mix(palette[0], palette[1], 1, 2, 3);
  } else {
    palette[2] = Mix(palette[0], palette[1], 1, 1, 2);
    palette[3] = 0;
  }
  uint32_t bits = Le32(block + 4);
  for (int i = 0; i < 16; i++) out[i] = palette[(bits >> (2 * i)) & 3];
}

bool DecodeDds(const uint8_t* bytes, size_t size, Image* out, std::string* error) {
  if (size < 128 || std::memcmp(bytes, "DDS ", 4) != 0) {
    *error = "truncated DDS header";
    return false;
  }
  int height = int(Le32(bytes + 12)), width = int(Le32(bytes + 16));
  uint32_t pfFlags = Le32(bytes + 80), fourCC = Le32(bytes + 84), bitCount = Le32(bytes + 88);
  uint32_t masks[4] = {Le32(bytes + 92), Le32(bytes + 96), Le32(bytes + 100), Le32(bytes + 104)};
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    *error = "bad DDS size";
    return false;
  }
  const uint8_t* data = bytes + 128;
  size_t left = size - 128;
  out->width = width;
  out->height = height;
  if (pfFlags & 0x4) {  // compressed
    int kind = fourCC == 0x31545844u ? 1 : fourCC == 0x33545844u ? 3 : fourCC == 0x35545844u ? 5 : 0;
    if (!kind) {
      *error = "unsupported DDS compression";
      return false;
    }
    size_t blockBytes = kind == 1 ? 8 : 16;
    int bw = (width + 3) / 4, bh = (height + 3) / 4;
    if (left < size_t(bw) * size_t(bh) * blockBytes) {
      *error = "truncated DDS data";
      return false;
    }
    out->pixels.assign(size_t(width) * size_t(height), 0);
    for (int by = 0; by < bh; by++) {
      for (int bx = 0; bx < bw; bx++) {
        const uint8_t* block = data + (size_t(by) * size_t(bw) + size_t(bx)) * blockBytes;
        uint32_t px[16];
        DecodeColourBlock(kind == 1 ? block : block + 8, px, kind == 1);
        if (kind == 3) {
          for (int i = 0; i < 16; i++) {
            uint32_t a = (block[i / 2] >> ((i & 1) * 4)) & 15;
            px[i] = (px[i] & 0xFFFFFFu) | (a * 17) << 24;
          }
        } else if (kind == 5) {
          uint32_t a0 = block[0], a1 = block[1], alpha[8] = {a0, a1};
          for (int i = 2; i < 8; i++)
            alpha[i] = a0 > a1 ? ((8 - uint32_t(i)) * a0 + (uint32_t(i) - 1) * a1) / 7
                               : i < 6 ? ((6 - uint32_t(i)) * a0 + (uint32_t(i) - 1) * a1) / 5 : i == 6 ? 0 : 255;
          uint64_t bits = 0;
          for (int i = 0; i < 6; i++) bits |= uint64_t(block[2 + i]) << (8 * i);
          for (int i = 0; i < 16; i++) px[i] = (px[i] & 0xFFFFFFu) | alpha[(bits >> (3 * i)) & 7] << 24;
        }
        for (int i = 0; i < 16; i++) {
          int x = bx * 4 + i % 4, y = by * 4 + i / 4;
          if (x < width && y < height) out->pixels[size_t(y) * size_t(width) + size_t(x)] = px[i];
        }
      }
    }
    return true;
  }
  if (!(pfFlags & 0x40) || (bitCount != 16 && bitCount != 24 && bitCount != 32)) {
    *error = "unsupported DDS pixel format";
    return false;
  }
  size_t bpp = bitCount / 8;
  if (left < size_t(width) * size_t(height) * bpp) {
    *error = "truncated DDS data";
    return false;
  }
  out->pixels.assign(size_t(width) * size_t(height), 0);
  bool hasAlpha = (pfFlags & 0x1) && masks[3];
  auto channel = [](uint32_t v, uint32_t mask) -> uint32_t {
    if (!mask) return 0;
    int shift = __builtin_ctz(mask);
    uint32_t max = mask >> shift;
    return ((v & mask) >> shift) * 255u / max;
  };
  for (size_t i = 0; i < size_t(width) * size_t(height); i++) {
    const uint8_t* p = data + i * bpp;
    uint32_t v = bpp == 2 ? uint32_t(p[0]) | uint32_t(p[1]) << 8
                          : bpp == 3 ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 : Le32(p);
    uint32_t a = hasAlpha ? channel(v, masks[3]) : 255;
    out->pixels[i] = a << 24 | channel(v, masks[0]) << 16 | channel(v, masks[1]) << 8 | channel(v, masks[2]);
  }
  return true;
}

// Whether every Huffman table of a JPEG stays within its 256 symbols and
// its segment. The bundled decoder trusts the counts and writes past its
// table when they add up to more.
bool JpegTablesSafe(const uint8_t* b, size_t size) {
  size_t pos = 2;
  while (pos + 4 <= size) {
    if (b[pos] != 0xFF) return false;
    int marker = b[pos + 1];
    if (marker == 0xFF) {
      pos++;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
      pos += 2;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return true;  // scan data follows: no more tables
    size_t length = size_t(Be16(b + pos + 2));
    if (length < 2 || pos + 2 + length > size) return false;
    if (marker == 0xC4) {
      size_t at = pos + 4, end = pos + 2 + length;
      while (at < end) {
        if (at + 17 > end) return false;
        size_t symbols = 0;
        for (int i = 1; i <= 16; i++) symbols += b[at + size_t(i)];
        if (symbols > 256 || at + 17 + symbols > end) return false;
        at += 17 + symbols;
      }
    }
    pos += 2 + length;
  }
  return true;
}

// Whether an uncompressed BMP holds all the rows its header announces
// (the decoder would fill the missing ones from nothing, at any size).
bool BmpComplete(const uint8_t* b, size_t size) {
  if (size < 34) return false;
  uint32_t offset = Le32(b + 10), compression = Le32(b + 30);
  int64_t w = int32_t(Le32(b + 18)), h = int32_t(Le32(b + 22));
  int bits = b[28] | b[29] << 8;
  if (compression != 0) return true;
  if (w <= 0 || h == 0 || bits <= 0 || w > 65536 || h > 65536 || h < -65536) return false;
  int64_t row = (w * bits + 31) / 32 * 4;
  return int64_t(offset) + row * (h < 0 ? -h : h) <= int64_t(size);
}

int Brightness32(uint32_t p) { return int(((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255)) / 3; }
int Brightness16(uint16_t p) { return int(((p >> 10) & 31) + ((p >> 5) & 31) + (p & 31)) / 3; }

void AppendBytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

}  // namespace

SniffResult SniffImageSize(const uint8_t* b, size_t size, int* width, int* height) {
  *width = *height = -1;
  if (size >= 2 && b[0] == 'B' && b[1] == 'M') {
    if (size < 26) return SniffResult::Bad;
    *width = int(Le32(b + 18));
    *height = int(Le32(b + 22));
    return SniffResult::Known;
  }
  if (size >= 2 && b[0] == 0xFF && b[1] == 0xD8) {
    if (size < 3 || b[2] != 0xFF) return SniffResult::Bad;
    size_t pos = 2;
    // Each segment is FF, a marker and a big-endian length that counts
    // itself; every step moves forward and stays inside the data.
    while (pos + 4 <= size) {
      if (b[pos] != 0xFF) return SniffResult::Bad;
      int marker = b[pos + 1];
      if (marker == 0xFF) {  // fill byte
        pos++;
        continue;
      }
      if (marker == 0xC0 || marker == 0xC2) {
        if (pos + 9 > size) return SniffResult::Bad;
        *height = Be16(b + pos + 5);
        *width = Be16(b + pos + 7);
        return SniffResult::Known;
      }
      if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
        pos += 2;
        continue;
      }
      int length = Be16(b + pos + 2);
      if (length < 2) return SniffResult::Bad;
      pos += 2 + size_t(length);
    }
    return SniffResult::Bad;
  }
  if (size >= 3 && std::memcmp(b, "DDS", 3) == 0) {
    if (size < 20) return SniffResult::Bad;
    *height = int(Le32(b + 12));
    *width = int(Le32(b + 16));
    return SniffResult::Known;
  }
  if (size >= 4 && b[0] == 0x89 && std::memcmp(b + 1, "PNG", 3) == 0) {
    if (size < 24) return SniffResult::Bad;
    *width = int(Be32(b + 16));
    *height = int(Be32(b + 20));
    return SniffResult::Known;
  }
  return SniffResult::Unknown;
}

bool DecodeImage(const uint8_t* bytes, size_t size, Image* out, std::string* error) {
  if (size >= 4 && std::memcmp(bytes, "DDS ", 4) == 0) return DecodeDds(bytes, size, out, error);
  if (size > 0x7FFFFFFF) {
    *error = "image too large";
    return false;
  }
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8 && !JpegTablesSafe(bytes, size)) {
    *error = "broken JPEG tables";
    return false;
  }
  if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M' && !BmpComplete(bytes, size)) {
    *error = "truncated BMP";
    return false;
  }
  int w = 0, h = 0, channels = 0;
  // Textures beyond 8192 x 4096 pixels are refused before any decoding.
  if (stbi_info_from_memory(bytes, int(size), &w, &h, &channels) && int64_t(w) * h > (int64_t(8192) << 12)) {
    *error = "image too large";
    return false;
  }
  stbi_uc* data = stbi_load_from_memory(bytes, int(size), &w, &h, &channels, 4);
  if (!data) {
    *error = stbi_failure_reason() ? stbi_failure_reason() : "undecodable image";
    return false;
  }
  out->width = w;
  out->height = h;
  out->pixels.resize(size_t(w) * size_t(h));
  for (size_t i = 0; i < out->pixels.size(); i++) {
    const stbi_uc* p = data + i * 4;
    out->pixels[i] = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | uint32_t(p[2]);
  }
  stbi_image_free(data);
  return true;
}

void ApplyColourKey(Image* image, uint32_t key) {
  for (uint32_t& p : image->pixels)
    if (p == key) p = 0;
}

Image ResizeImage(const Image& src, int w, int h) {
  if (w == src.width && h == src.height) return src;
  Image out;
  out.width = w;
  out.height = h;
  out.pixels.resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; y++) {
    int y0 = int(int64_t(y) * src.height / h), y1 = std::max(y0 + 1, int(int64_t(y + 1) * src.height / h));
    for (int x = 0; x < w; x++) {
      int x0 = int(int64_t(x) * src.width / w), x1 = std::max(x0 + 1, int(int64_t(x + 1) * src.width / w));
      uint64_t sum[4] = {};
      int n = 0;
      for (int sy = y0; sy < y1 && sy < src.height; sy++)
        for (int sx = x0; sx < x1 && sx < src.width; sx++, n++) {
          uint32_t p = src.pixels[size_t(sy) * size_t(src.width) + size_t(sx)];
          for (int c = 0; c < 4; c++) sum[c] += (p >> (8 * c)) & 255;
        }
      uint32_t p = 0;
      for (int c = 0; c < 4; c++) p |= uint32_t((sum[c] + uint64_t(n) / 2) / uint64_t(std::max(n, 1))) << (8 * c);
      out.pixels[size_t(y) * size_t(w) + size_t(x)] = p;
    }
  }
  return out;
}

Image HalveImage(const Image& image) {
  return ResizeImage(image, std::max(1, image.width / 2), std::max(1, image.height / 2));
}

void HeightsToNormals32(uint32_t* pixels, int w, int h) {
  std::vector<uint32_t> copy(pixels, pixels + size_t(w) * size_t(h));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int c = int(copy[size_t(y) * size_t(w) + size_t(x)] & 255);
      int right = Brightness32(copy[size_t(y) * size_t(w) + size_t(std::min(x + 1, w - 1))]);
      int down = Brightness32(copy[size_t(std::min(y + 1, h - 1)) * size_t(w) + size_t(x)]);
      int dx = (c - right) / 2, dy = (c - down) / 2;
      pixels[size_t(y) * size_t(w) + size_t(x)] = uint32_t(int64_t(0xFF808080u) + dy * 65536 + dx * 256);
    }
}

void HeightsToNormals16(uint16_t* pixels, int w, int h) {
  std::vector<uint16_t> copy(pixels, pixels + size_t(w) * size_t(h));
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int c = copy[size_t(y) * size_t(w) + size_t(x)] & 31;
      int right = Brightness16(copy[size_t(y) * size_t(w) + size_t(std::min(x + 1, w - 1))]);
      int down = Brightness16(copy[size_t(std::min(y + 1, h - 1)) * size_t(w) + size_t(x)]);
      int dx = (c - right) / 2, dy = (c - down) / 2;
      pixels[size_t(y) * size_t(w) + size_t(x)] = uint16_t(0xBDF0 + dy * 1024 + dx * 32);
    }
}

uint16_t ToA1R5G5B5(uint32_t argb) {
  uint32_t a = (argb >> 31) & 1, r = (argb >> 19) & 31, g = (argb >> 11) & 31, b = (argb >> 3) & 31;
  return uint16_t(a << 15 | r << 10 | g << 5 | b);
}

std::string EncodeBmp24(const uint8_t* bgr, int width, int height) {
  uint32_t rowBytes = (uint32_t(width) * 24 / 8 + 3) / 4 * 4;
  uint32_t imageSize = uint32_t(height) * rowBytes;
  std::string out;
  out.reserve(54 + imageSize);
  out += "BM";
  PutLe32(&out, 54 + imageSize);
  PutLe16(&out, 0);
  PutLe16(&out, 0);
  PutLe32(&out, 54);
  PutLe32(&out, 40);
  PutLe32(&out, uint32_t(width));
  PutLe32(&out, uint32_t(height));
  PutLe16(&out, 1);
  PutLe16(&out, 24);
  PutLe32(&out, 0);
  PutLe32(&out, imageSize);
  for (int i = 0; i < 4; i++) PutLe32(&out, 0);
  for (int y = height - 1; y >= 0; y--) {
    out.append(reinterpret_cast<const char*>(bgr + size_t(y) * size_t(width) * 3), size_t(width) * 3);
    out.append(rowBytes - uint32_t(width) * 3, '\0');
  }
  return out;
}

std::string EncodeDds32(const uint32_t* pixels, int width, int height) {
  std::string out = "DDS ";
  PutLe32(&out, 124);
  PutLe32(&out, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000);  // caps, height, width, pitch, pixel format
  PutLe32(&out, uint32_t(height));
  PutLe32(&out, uint32_t(width));
  PutLe32(&out, uint32_t(width) * 4);
  PutLe32(&out, 0);  // depth
  PutLe32(&out, 1);  // mip levels
  for (int i = 0; i < 11; i++) PutLe32(&out, 0);
  PutLe32(&out, 32);        // pixel format size
  PutLe32(&out, 0x41);      // RGB with alpha
  PutLe32(&out, 0);         // fourCC
  PutLe32(&out, 32);        // bits
  PutLe32(&out, 0x00FF0000u);
  PutLe32(&out, 0x0000FF00u);
  PutLe32(&out, 0x000000FFu);
  PutLe32(&out, 0xFF000000u);
  PutLe32(&out, 0x1000);  // texture
  for (int i = 0; i < 4; i++) PutLe32(&out, 0);
  for (size_t i = 0; i < size_t(width) * size_t(height); i++) PutLe32(&out, pixels[i]);
  return out;
}

std::string EncodeJpeg(const uint8_t* bgr, int width, int height) {
  std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
  for (size_t i = 0; i < rgb.size(); i += 3) {
    rgb[i] = bgr[i + 2];
    rgb[i + 1] = bgr[i + 1];
    rgb[i + 2] = bgr[i];
  }
  std::string out;
  if (!stbi_write_jpg_to_func(AppendBytes, &out, width, height, 3, rgb.data(), 90)) out.clear();
  return out;
}

}  // namespace render
