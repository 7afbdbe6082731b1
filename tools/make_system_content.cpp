// make_system_content.cpp -- writes the system package's effect, sky and
// box content: procedural textures (PNG, JPEG and BMP through
// stb_image_write, DXT5 DDS through this tool's own block writer) and three
// small text X models.
//
//   tkw4-make-system-content FOLDER
//
// FOLDER is games/ZadAzorad; the files go to FOLDER/Effect, FOLDER/Sky and
// FOLDER itself. Every image is drawn from fixed hash noise, so the output
// is the same on every run and the committed files can be made again byte
// for byte.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

#include "x_text_writer.h"

namespace {

constexpr float kPi = 3.14159265358979f;

// ----------------------------------------------------------------------------
// Pictures and noise
// ----------------------------------------------------------------------------

struct Rgba {
  float r = 0, g = 0, b = 0, a = 0;
};

struct Picture {
  int width = 0, height = 0;
  std::vector<Rgba> pixels;
  Picture(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h)) {}
  Rgba& At(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  // Calls f(u, v, pixel) for every pixel; u and v are the pixel centre in
  // 0..1 across the picture.
  void Fill(const std::function<void(float, float, Rgba&)>& f) {
    for (int y = 0; y < height; y++)
      for (int x = 0; x < width; x++) f((float(x) + 0.5f) / float(width), (float(y) + 0.5f) / float(height), At(x, y));
  }
};

float Clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }
float Smooth(float e0, float e1, float x) {
  float t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}
float Mix(float a, float b, float t) { return a + (b - a) * t; }

uint32_t Hash(int x, int y, int seed) {
  uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}
float Lattice(int x, int y, int seed) { return float(Hash(x, y, seed) & 0xFFFF) / 65535.0f; }

// Value noise that tiles with the given period (in lattice cells).
float Noise(float x, float y, int period, int seed) {
  int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  float fx = x - float(x0), fy = y - float(y0);
  auto wrap = [period](int v) { return ((v % period) + period) % period; };
  float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  float a = Lattice(wrap(x0), wrap(y0), seed), b = Lattice(wrap(x0 + 1), wrap(y0), seed);
  float c = Lattice(wrap(x0), wrap(y0 + 1), seed), d = Lattice(wrap(x0 + 1), wrap(y0 + 1), seed);
  return Mix(Mix(a, b, sx), Mix(c, d, sx), sy);
}

// Fractal noise over u, v in 0..1 (tiling), about 0..1.
float Fbm(float u, float v, int baseCells, int octaves, int seed) {
  float sum = 0, amplitude = 0.5f, norm = 0;
  int cells = baseCells;
  for (int o = 0; o < octaves; o++) {
    sum += amplitude * Noise(u * float(cells), v * float(cells), cells, seed + o * 17);
    norm += amplitude;
    amplitude *= 0.5f;
    cells *= 2;
  }
  return sum / norm;
}

// Distance from the centre, 1 at the middle of an edge.
float Radius(float u, float v) { return std::hypot(u - 0.5f, v - 0.5f) * 2.0f; }

// Brightness of a glowing line segment (a, b) at p, in pixels.
float SegmentGlow(float px, float py, float ax, float ay, float bx, float by, float core, float halo) {
  float dx = bx - ax, dy = by - ay;
  float t = Clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy + 1e-9f));
  float d = std::hypot(px - (ax + t * dx), py - (ay + t * dy));
  return std::exp(-(d * d) / (core * core)) + 0.35f * std::exp(-d / halo);
}

// A jagged bolt from (x0, y0) to (x1, y1) in pixels: midpoint displacement.
void BoltPoints(std::vector<std::array<float, 2>>* out, float x0, float y0, float x1, float y1, float spread,
                int depth, int seed) {
  if (depth == 0) {
    out->push_back({x1, y1});
    return;
  }
  float mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
  float nx = -(y1 - y0), ny = x1 - x0;
  float len = std::hypot(nx, ny) + 1e-9f;
  float off = (Lattice(depth, seed, 99) - 0.5f) * spread;
  mx += nx / len * off;
  my += ny / len * off;
  BoltPoints(out, x0, y0, mx, my, spread / 2, depth - 1, seed * 2 + 1);
  BoltPoints(out, mx, my, x1, y1, spread / 2, depth - 1, seed * 2 + 2);
}

// Adds the glow of a polyline to the picture as an additive value (kept in
// the red channel, the caller colours it).
void AddBolt(Picture* glow, const std::vector<std::array<float, 2>>& points, float core, float halo, float weight) {
  for (int y = 0; y < glow->height; y++)
    for (int x = 0; x < glow->width; x++) {
      float best = 0;
      for (size_t i = 1; i < points.size(); i++)
        best = std::max(best, SegmentGlow(float(x) + 0.5f, float(y) + 0.5f, points[i - 1][0], points[i - 1][1],
                                          points[i][0], points[i][1], core, halo));
      glow->At(x, y).r += best * weight;
    }
}

// Colours the glow AddBolt gathered: blue and alpha take the glow k, red
// and green k x linear + k^2 x square each (the core runs to white).
void ColourBolt(Picture* glow, float redLinear, float redSquare, float greenLinear, float greenSquare) {
  glow->Fill([=](float, float, Rgba& c) {
    float k = Clamp01(c.r);
    c = {Clamp01(k * redLinear + k * k * redSquare), Clamp01(k * greenLinear + k * k * greenSquare), k, k};
  });
}

// ----------------------------------------------------------------------------
// Encoders
// ----------------------------------------------------------------------------

uint8_t Byte(float v) { return uint8_t(std::lround(Clamp01(v) * 255.0f)); }

void Append(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

std::vector<uint8_t> Bytes(const Picture& p, int channels) {
  std::vector<uint8_t> out;
  out.reserve(p.pixels.size() * size_t(channels));
  for (const Rgba& c : p.pixels) {
    out.push_back(Byte(c.r));
    out.push_back(Byte(c.g));
    out.push_back(Byte(c.b));
    if (channels == 4) out.push_back(Byte(c.a));
  }
  return out;
}

std::string Png(const Picture& p, bool alpha) {
  int channels = alpha ? 4 : 3;
  std::vector<uint8_t> bytes = Bytes(p, channels);
  std::string out;
  stbi_write_png_compression_level = 9;
  stbi_write_png_to_func(Append, &out, p.width, p.height, channels, bytes.data(), p.width * channels);
  return out;
}

std::string Jpeg(const Picture& p) {
  std::vector<uint8_t> bytes = Bytes(p, 3);
  std::string out;
  stbi_write_jpg_to_func(Append, &out, p.width, p.height, 3, bytes.data(), 90);
  return out;
}

std::string Bmp(const Picture& p) {
  std::vector<uint8_t> bytes = Bytes(p, 3);
  std::string out;
  stbi_write_bmp_to_func(Append, &out, p.width, p.height, 3, bytes.data());
  return out;
}

void PutLe32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; i++) s->push_back(char((v >> (8 * i)) & 255));
}

uint32_t To565(float r, float g, float b) {
  return uint32_t(std::lround(Clamp01(r) * 31)) << 11 | uint32_t(std::lround(Clamp01(g) * 63)) << 5 |
         uint32_t(std::lround(Clamp01(b) * 31));
}
std::array<float, 3> From565(uint32_t c) {
  return {float((c >> 11) & 31) / 31.0f, float((c >> 5) & 63) / 63.0f, float(c & 31) / 31.0f};
}

// One DXT5 block: eight-level alpha between the block's extremes, four
// colours between the two corners of the block's colour box.
void EncodeDxt5Block(const Rgba* px, std::string* out) {
  float amin = 1, amax = 0;
  float lo[3] = {1, 1, 1}, hi[3] = {0, 0, 0};
  for (int i = 0; i < 16; i++) {
    amin = std::min(amin, px[i].a), amax = std::max(amax, px[i].a);
    const float c[3] = {px[i].r, px[i].g, px[i].b};
    for (int k = 0; k < 3; k++) lo[k] = std::min(lo[k], c[k]), hi[k] = std::max(hi[k], c[k]);
  }
  uint32_t a0 = Byte(amax), a1 = Byte(amin);
  uint8_t head[2] = {uint8_t(a0), uint8_t(a1)};
  out->append(reinterpret_cast<const char*>(head), 2);
  uint64_t alphaBits = 0;
  if (a0 > a1) {
    float levels[8] = {float(a0), float(a1)};
    for (int i = 2; i < 8; i++) levels[i] = float((8 - i) * int(a0) + (i - 1) * int(a1)) / 7.0f;
    for (int i = 0; i < 16; i++) {
      float a = px[i].a * 255.0f;
      int best = 0;
      for (int k = 1; k < 8; k++)
        if (std::fabs(levels[k] - a) < std::fabs(levels[best] - a)) best = k;
      alphaBits |= uint64_t(best) << (3 * i);
    }
  }
  for (int i = 0; i < 6; i++) out->push_back(char((alphaBits >> (8 * i)) & 255));
  uint32_t c0 = To565(hi[0], hi[1], hi[2]), c1 = To565(lo[0], lo[1], lo[2]);
  if (c0 < c1) std::swap(c0, c1);
  std::array<float, 3> p0 = From565(c0), p1 = From565(c1), palette[4] = {p0, p1, {}, {}};
  for (int k = 0; k < 3; k++) {
    palette[2][k] = (2 * p0[k] + p1[k]) / 3;
    palette[3][k] = (p0[k] + 2 * p1[k]) / 3;
  }
  uint32_t bits = 0;
  if (c0 != c1) {
    for (int i = 0; i < 16; i++) {
      int best = 0;
      float bestD = 1e9f;
      for (int k = 0; k < 4; k++) {
        float dr = palette[k][0] - px[i].r, dg = palette[k][1] - px[i].g, db = palette[k][2] - px[i].b;
        float d = dr * dr + dg * dg + db * db;
        if (d < bestD) bestD = d, best = k;
      }
      bits |= uint32_t(best) << (2 * i);
    }
  }
  out->push_back(char(c0 & 255));
  out->push_back(char(c0 >> 8));
  out->push_back(char(c1 & 255));
  out->push_back(char(c1 >> 8));
  PutLe32(out, bits);
}

// A DXT5 DDS of one level (sides multiples of four).
std::string Dds(const Picture& p) {
  std::string out = "DDS ";
  PutLe32(&out, 124);
  PutLe32(&out, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000);  // caps, height, width, pixel format, linear size
  PutLe32(&out, uint32_t(p.height));
  PutLe32(&out, uint32_t(p.width));
  PutLe32(&out, uint32_t(p.width / 4) * uint32_t(p.height / 4) * 16);
  PutLe32(&out, 0);  // depth
  PutLe32(&out, 1);  // levels
  for (int i = 0; i < 11; i++) PutLe32(&out, 0);
  PutLe32(&out, 32);          // pixel format size
  PutLe32(&out, 0x4);         // four-character code
  PutLe32(&out, 0x35545844);  // "DXT5"
  for (int i = 0; i < 5; i++) PutLe32(&out, 0);
  PutLe32(&out, 0x1000);  // texture
  for (int i = 0; i < 4; i++) PutLe32(&out, 0);
  for (int by = 0; by < p.height / 4; by++)
    for (int bx = 0; bx < p.width / 4; bx++) {
      Rgba block[16];
      for (int i = 0; i < 16; i++) block[i] = p.pixels[size_t(by * 4 + i / 4) * size_t(p.width) + size_t(bx * 4 + i % 4)];
      EncodeDxt5Block(block, &out);
    }
  return out;
}

// ----------------------------------------------------------------------------
// The effect textures
// ----------------------------------------------------------------------------

// Heat colours: dark red through orange and yellow to white.
Rgba FireColour(float t) {
  t = Clamp01(t);
  return {Clamp01(t * 2.2f), Clamp01(t * 1.3f - 0.3f), Clamp01(t * 2.0f - 1.4f), 1};
}

// A soft puff: radial fall-off broken up by noise.
float Puff(float u, float v, int seed, float roughness) {
  float r = Radius(u, v);
  float n = Fbm(u, v, 4, 4, seed);
  return Clamp01((1.0f - r * (1.0f + roughness * (n - 0.5f) * 2.0f)) * 1.4f);
}

Picture Smoke() {
  Picture p(64, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float d = std::pow(Puff(u, v, 11, 0.5f), 1.5f) * 0.8f;
    c = {d, d, d, 1};
  });
  return p;
}

Picture Fire1() {
  Picture p(64, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float d = Puff(u, v, 21, 0.6f);
    c = FireColour(0.3f + 0.6f * d);
    c.a = Clamp01(d * d * 1.3f);
  });
  return p;
}

Picture Fire2() {
  Picture p(64, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float d = std::pow(Puff(u, v, 31, 0.7f), 1.3f);
    float g = d * (0.55f + 0.25f * Fbm(u, v, 8, 3, 33));
    c = {g, g, g, Clamp01(d * 1.2f)};
  });
  return p;
}

Picture Spark(int size, float r, float g, float b, float sharpness) {
  Picture p(size, size);
  p.Fill([=](float u, float v, Rgba& c) {
    float d = Radius(u, v);
    float core = std::exp(-d * d * sharpness), halo = 0.4f * std::exp(-d * 4.0f) * Clamp01(1.0f - d);
    float k = Clamp01(core + halo);
    c = {Clamp01(k * r + core * 0.6f), Clamp01(k * g + core * 0.6f), Clamp01(k * b + core * 0.6f), k};
  });
  return p;
}

Picture Rain() {
  // Colour-keyed on black: everything outside the streak is pure black.
  Picture p(16, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float across = std::fabs(u - 0.5f) * 2.0f;
    float k = Clamp01(1.0f - across * 1.6f) * Smooth(0.0f, 0.3f, v) * Smooth(1.0f, 0.7f, v);
    if (k < 0.05f) {
      c = {0, 0, 0, 1};
      return;
    }
    c = {0.45f + 0.35f * k, 0.5f + 0.35f * k, 0.6f + 0.35f * k, 1};
  });
  return p;
}

// A cloud seen from below: a broad, ragged sheet thinning toward the edges.
Picture FlatCloud() {
  Picture p(256, 256);
  p.Fill([](float u, float v, Rgba& c) {
    float r = Radius(u, v);
    float n = Fbm(u, v, 4, 6, 41);
    float d = Smooth(0.42f, 0.72f, n + 0.38f * (1.0f - r)) * Smooth(1.0f, 0.7f, r);
    float shade = 0.78f + 0.22f * Fbm(u, v, 8, 4, 47);
    c = {shade, shade, Clamp01(shade + 0.03f), d * 0.95f};
  });
  return p;
}

// A heaped cloud for the camera-facing sprites: lit from above.
Picture HeapCloud(int size, int seed) {
  Picture p(size, size);
  p.Fill([seed](float u, float v, Rgba& c) {
    float d = 0;
    for (int i = 0; i < 6; i++) {
      float cx = 0.3f + 0.4f * Lattice(i, 1, seed), cy = 0.45f + 0.2f * Lattice(i, 2, seed);
      float rr = 0.16f + 0.1f * Lattice(i, 3, seed);
      float q = std::hypot(u - cx, v - cy) / rr;
      d = std::max(d, 1.0f - q);
    }
    float n = Fbm(u, v, 4, 5, seed + 5);
    float density = Smooth(0.0f, 0.5f, d + (n - 0.5f) * 0.5f) * Smooth(1.0f, 0.8f, Radius(u, v));
    float light = 0.62f + 0.38f * Clamp01(1.2f - v * 1.3f + (n - 0.5f) * 0.4f);
    c = {light, light, Clamp01(light + 0.04f), density};
  });
  return p;
}

Picture Electric() {
  Picture glow(128, 128);
  for (int arm = 0; arm < 5; arm++) {
    float a = float(arm) * 2.0f * kPi / 5.0f + 0.4f;
    std::vector<std::array<float, 2>> pts = {{64, 64}};
    BoltPoints(&pts, 64, 64, 64 + std::cos(a) * 58, 64 + std::sin(a) * 58, 30, 5, arm + 3);
    AddBolt(&glow, pts, 1.3f, 5.0f, 1.0f);
  }
  ColourBolt(&glow, 0.6f, 0.4f, 0.75f, 0.25f);
  return glow;
}

Picture Lightning() {
  // The bolt runs from the top row down, centred on x = 128 (the pivot).
  Picture glow(256, 512);
  std::vector<std::array<float, 2>> trunk = {{128, 0}};
  BoltPoints(&trunk, 128, 0, 128, 512, 150, 7, 5);
  AddBolt(&glow, trunk, 2.0f, 9.0f, 1.0f);
  for (int b = 0; b < 3; b++) {
    const std::array<float, 2>& from = trunk[size_t(20 + b * 30)];
    std::vector<std::array<float, 2>> branch = {from};
    float dir = b % 2 ? 1.0f : -1.0f;
    BoltPoints(&branch, from[0], from[1], from[0] + dir * 70, from[1] + 120, 50, 5, 40 + b);
    AddBolt(&glow, branch, 1.2f, 5.0f, 0.6f);
  }
  ColourBolt(&glow, 0.8f, 0.2f, 0.8f, 0.2f);
  return glow;
}

Picture Splash() {
  // One 64 x 128 cell: the column's foot on the bottom row, spray on top.
  Picture p(64, 128);
  p.Fill([](float u, float v, Rgba& c) {
    float h = 1.0f - v;  // height above the water, 0..1
    float width = 0.12f + 0.28f * (1.0f - h) * (1.0f - h) + 0.1f * h;
    float across = std::fabs(u - 0.5f) / width;
    float n = Fbm(u, v, 4, 4, 61);
    float body = Clamp01(1.0f - across) * Smooth(1.0f, 0.75f, h + (n - 0.5f) * 0.3f);
    float drops = Smooth(0.78f, 0.9f, Fbm(u, v, 16, 2, 67)) * Smooth(0.2f, 0.6f, h) * Clamp01(1.3f - across * 0.6f);
    float d = Clamp01(body * (0.6f + 0.4f * n) + drops);
    float s = 0.85f + 0.15f * n;
    c = {s * 0.9f, s * 0.95f, s, d};
  });
  return p;
}

// A spike along v, bright at v = 0 and narrowing to nothing at v = 1.
Picture Spike() {
  Picture p(64, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float w = 0.5f * (1.0f - v) + 0.02f;
    float k = std::exp(-std::pow((u - 0.5f) / (w * 0.5f), 2.0f)) * (1.0f - v) * Smooth(0.0f, 0.08f, v + 0.04f);
    c = {Clamp01(k * 1.2f), Clamp01(k * 1.05f), Clamp01(k * 0.7f), k};
  });
  return p;
}

Picture Flash() {
  Picture p(64, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float r = Radius(u, v), a = std::atan2(v - 0.5f, u - 0.5f);
    float rays = std::pow(std::fabs(std::cos(a * 4.0f)), 24.0f) * Clamp01(1.0f - r);
    float k = Clamp01(std::exp(-r * r * 9.0f) + rays * 0.7f);
    c = {Clamp01(k * 1.1f), Clamp01(k), Clamp01(k * 0.7f), k};
  });
  return p;
}

// A beam: narrow across u, fading toward both ends of v.
Picture Beam() {
  Picture p(64, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float k = std::exp(-std::pow((u - 0.5f) / 0.12f, 2.0f)) * std::sin(v * kPi);
    c = {Clamp01(k * 1.1f), Clamp01(k), Clamp01(k * 0.75f), k};
  });
  return p;
}

Picture Fireball() {
  Picture p(64, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float r = Radius(u, v);
    float n = Fbm(u, v, 4, 4, 71);
    float ring = std::exp(-std::pow((r - 0.6f) / 0.18f, 2.0f));
    float k = Clamp01((std::exp(-r * r * 4.0f) * 0.8f + ring * 0.6f) * (0.7f + 0.6f * n)) * Smooth(1.0f, 0.85f, r);
    c = FireColour(0.4f + k * 0.8f);
    c.a = k;
  });
  return p;
}

Picture Ring(int size, float radius, float thickness) {
  Picture p(size, size);
  p.Fill([=](float u, float v, Rgba& c) {
    float r = Radius(u, v);
    float k = std::exp(-std::pow((r - radius) / thickness, 2.0f)) * Smooth(1.0f, 0.92f, r);
    c = {k, k, k, k};
  });
  return p;
}

Picture Sun() {
  Picture p(128, 128);
  p.Fill([](float u, float v, Rgba& c) {
    float r = Radius(u, v);
    float disc = Smooth(0.22f, 0.18f, r), halo = std::exp(-r * 3.5f) * 0.8f * Smooth(1.0f, 0.8f, r);
    float k = Clamp01(disc + halo);
    c = {k, Clamp01(k * 0.96f), Clamp01(k * 0.85f + disc * 0.15f), 1};
  });
  return p;
}

// Four 128 x 128 flare cells: a hexagonal disc, a thin ring, a soft disc and
// a wide halo.
Picture Sunlight() {
  Picture p(256, 256);
  p.Fill([](float u, float v, Rgba& c) {
    int cell = (u < 0.5f ? 0 : 1) + (v < 0.5f ? 0 : 2);
    float cu = std::fmod(u, 0.5f) * 2.0f, cv = std::fmod(v, 0.5f) * 2.0f;
    float r = Radius(cu, cv), k = 0;
    if (cell == 0) {
      float a = std::atan2(cv - 0.5f, cu - 0.5f);
      float hex = r * std::cos(std::fmod(a + kPi / 6 + 2 * kPi, kPi / 3) - kPi / 6);
      k = Smooth(0.75f, 0.65f, hex) * (0.55f + 0.45f * hex);
    } else if (cell == 1) {
      k = std::exp(-std::pow((r - 0.7f) / 0.06f, 2.0f));
    } else if (cell == 2) {
      k = Smooth(0.9f, 0.2f, r);
    } else {
      k = std::exp(-std::pow((r - 0.55f) / 0.25f, 2.0f)) * 0.7f;
    }
    k *= Smooth(1.0f, 0.9f, r);
    c = {k, k, k, 1};
  });
  return p;
}

Picture Glare() {
  Picture p(256, 256);
  p.Fill([](float u, float v, Rgba& c) {
    float r = Radius(u, v), a = std::atan2(v - 0.5f, u - 0.5f);
    float streaks = 0;
    for (int i = 0; i < 3; i++) {
      float n = Lattice(i, 0, 81);
      streaks += std::pow(std::fabs(std::cos(a * float(3 + i * 2) + n * 6.0f)), 60.0f) * (0.4f - 0.1f * float(i));
    }
    float k = std::exp(-r * 6.0f) * 1.2f + streaks * Clamp01(1.0f - r) + 0.15f * std::exp(-std::pow((r - 0.75f) / 0.05f, 2.0f));
    k *= Smooth(1.0f, 0.9f, r);
    c = {Clamp01(k), Clamp01(k * 0.97f), Clamp01(k * 0.9f), 1};
  });
  return p;
}

Picture Gunfire() {
  Picture p(64, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float r = Radius(u, v), a = std::atan2(v - 0.5f, u - 0.5f);
    float petals = 0.55f + 0.45f * std::pow(std::fabs(std::cos(a * 2.5f)), 3.0f);
    float k = Clamp01(Smooth(petals, 0.0f, r) * 1.3f);
    c = FireColour(0.5f + k * 0.7f);
    c.a = k;
  });
  return p;
}

Picture SystemBox() {
  // Bright edges on a dark face, for the boxes that show the spatial tree.
  Picture p(64, 64);
  p.Fill([](float u, float v, Rgba& c) {
    float e = std::min(std::min(u, 1 - u), std::min(v, 1 - v));
    float k = Smooth(0.06f, 0.02f, e);
    c = {0.15f + 0.7f * k, 0.25f + 0.7f * k, 0.2f + 0.5f * k, 1};
  });
  return p;
}

// Sky layers are mapped from the zenith at the centre out to the horizon.
Picture Sky(bool cloudy) {
  Picture p(256, 256);
  p.Fill([cloudy](float u, float v, Rgba& c) {
    float r = Clamp01(Radius(u, v));
    Rgba zenith = cloudy ? Rgba{0.55f, 0.58f, 0.62f, 1} : Rgba{0.18f, 0.38f, 0.78f, 1};
    Rgba horizon = cloudy ? Rgba{0.78f, 0.8f, 0.82f, 1} : Rgba{0.72f, 0.84f, 0.95f, 1};
    float t = r * r;
    c = {Mix(zenith.r, horizon.r, t), Mix(zenith.g, horizon.g, t), Mix(zenith.b, horizon.b, t), 1};
    if (cloudy) {
      float n = Smooth(0.45f, 0.75f, Fbm(u, v, 4, 5, 91));
      float shade = 0.86f + 0.1f * Fbm(u, v, 8, 3, 97);
      c = {Mix(c.r, shade, n), Mix(c.g, shade, n), Mix(c.b, shade + 0.02f, n), 1};
    }
  });
  return p;
}

// ----------------------------------------------------------------------------
// The models
// ----------------------------------------------------------------------------

// The heat haze: a widening sleeve along +z from 0 to 1, open at both ends
// and seen from inside and out.
xtext::Mesh HeatModel() {
  xtext::Mesh m;
  m.name = "Heat";
  m.comment = "The heat-haze sleeve along +z; written by tkw4-make-system-content.";
  const int segments = 12;
  const float rings[3][2] = {{0.0f, 0.25f}, {0.5f, 0.7f}, {1.0f, 1.0f}};  // z, radius
  for (int r = 0; r < 3; r++)
    for (int s = 0; s <= segments; s++) {
      float a = float(s) * 2.0f * kPi / float(segments);
      float ca = std::cos(a), sa = std::sin(a);
      m.positions.push_back({ca * rings[r][1], sa * rings[r][1], rings[r][0]});
      m.normals.push_back({ca, sa, 0});
      m.uvs.push_back({float(s) / float(segments), float(r) / 2.0f});
    }
  for (int r = 0; r < 2; r++)
    for (int s = 0; s < segments; s++) {
      int a = r * (segments + 1) + s, b = a + 1, c = a + segments + 1, d = c + 1;
      m.faces.push_back({a, c, d, b});
      m.faces.push_back({a, b, d, c});
    }
  m.diffuse = {1, 1, 1, 0.5f};
  return m;
}

// A quad of side 1 in the x-y plane, centred, facing -z (and +z).
xtext::Mesh SurfaceXy() {
  xtext::Mesh m;
  m.name = "SurfaceXY";
  m.comment = "A unit quad in the x-y plane; written by tkw4-make-system-content.";
  m.positions = {{-0.5f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, -0.5f, 0}, {-0.5f, -0.5f, 0}};
  m.normals = {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}};
  m.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  m.faces = {{0, 1, 2, 3}, {3, 2, 1, 0}};
  return m;
}

// A box from -1 to 1, each face with its own corners and the whole texture.
xtext::Mesh SystemBoxModel() {
  xtext::Mesh m;
  m.name = "SystemBox";
  m.comment = "The system box from -1 to 1; written by tkw4-make-system-content.";
  const float normals[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  for (const auto& n : normals) {
    // Two axes across the face, chosen so the corners run clockwise seen
    // from outside (the front-face order of a left-handed renderer).
    std::array<float, 3> up = std::fabs(n[1]) > 0.5f ? std::array<float, 3>{0, 0, 1} : std::array<float, 3>{0, 1, 0};
    std::array<float, 3> side = {up[1] * n[2] - up[2] * n[1], up[2] * n[0] - up[0] * n[2], up[0] * n[1] - up[1] * n[0]};
    int base = int(m.positions.size());
    const float corners[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
    for (int k = 0; k < 4; k++) {
      float s = corners[k][0], t = corners[k][1];
      m.positions.push_back({n[0] + s * side[0] + t * up[0], n[1] + s * side[1] + t * up[1], n[2] + s * side[2] + t * up[2]});
      m.normals.push_back({n[0], n[1], n[2]});
      m.uvs.push_back({(s + 1) / 2, (1 - t) / 2});
    }
    m.faces.push_back({base, base + 1, base + 2, base + 3});
  }
  m.texture = "systembox.jpg";
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tkw4-make-system-content FOLDER\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  const std::vector<std::pair<std::string, std::function<std::string()>>> files = {
      {"Effect/smoke.jpg", [] { return Jpeg(Smoke()); }},
      {"Effect/Fire1.png", [] { return Png(Fire1(), true); }},
      {"Effect/Fire2.png", [] { return Png(Fire2(), true); }},
      {"Effect/Fire3.bmp", [] { return Bmp(Spark(32, 1.0f, 0.8f, 0.35f, 30.0f)); }},
      {"Effect/rain.bmp", [] { return Bmp(Rain()); }},
      {"Effect/snow.bmp", [] { return Bmp(Spark(32, 0.9f, 0.92f, 0.95f, 18.0f)); }},
      {"Effect/cloud0.dds", [] { return Dds(FlatCloud()); }},
      {"Effect/cloud1.dds", [] { return Dds(HeapCloud(256, 51)); }},
      {"Effect/electric.png", [] { return Png(Electric(), true); }},
      {"Effect/lightning.png", [] { return Png(Lightning(), true); }},
      {"Effect/splash.png", [] { return Png(Splash(), true); }},
      {"Effect/Hit1.png", [] { return Png(Spike(), true); }},
      {"Effect/Hit2.png", [] { return Png(Flash(), true); }},
      {"Effect/Hit3.png", [] { return Png(Beam(), true); }},
      {"Effect/Hit4.png", [] { return Png(Fireball(), true); }},
      {"Effect/Hit5.png", [] { return Png(Spark(32, 1.0f, 0.85f, 0.5f, 40.0f), true); }},
      {"Effect/Heat.x", [] { return xtext::MeshToText(HeatModel()); }},
      {"Effect/sun.jpg", [] { return Jpeg(Sun()); }},
      {"Effect/sunlight.jpg", [] { return Jpeg(Sunlight()); }},
      {"Effect/glare.jpg", [] { return Jpeg(Glare()); }},
      {"Effect/cloud0.png", [] { return Png(HeapCloud(128, 57), true); }},
      {"Effect/gunfire.png", [] { return Png(Gunfire(), true); }},
      {"Effect/sonic.png", [] { return Png(Ring(128, 0.75f, 0.14f), true); }},
      {"Effect/surface_xy.x", [] { return xtext::MeshToText(SurfaceXy()); }},
      {"Effect/aero_light_red.png", [] { return Png(Spark(32, 1.0f, 0.25f, 0.2f, 25.0f), true); }},
      {"Effect/aero_light_blue.png", [] { return Png(Spark(32, 0.3f, 0.5f, 1.0f, 25.0f), true); }},
      {"Effect/aero_light_white.png", [] { return Png(Spark(32, 1.0f, 1.0f, 0.95f, 25.0f), true); }},
      {"systembox.x", [] { return xtext::MeshToText(SystemBoxModel()); }},
      {"systembox.jpg", [] { return Jpeg(SystemBox()); }},
      {"Sky/sky_clear.png", [] { return Png(Sky(false), false); }},
      {"Sky/sky_cloudy.png", [] { return Png(Sky(true), false); }},
  };
  for (const auto& [name, make] : files) {
    std::filesystem::path path = root / name;
    std::filesystem::create_directories(path.parent_path());
    std::string bytes = make();
    if (bytes.empty() || !xtext::Write(path, bytes)) {
      std::fprintf(stderr, "tkw4-make-system-content: cannot write %s\n", path.string().c_str());
      return 1;
    }
  }
  return 0;
}
