// make_system_content.cpp -- writes the system package's content: effect,
// sky and box textures (PNG, JPEG and BMP through stb_image_write, DXT5 DDS
// through this tool's own block writer), three small text X models, the
// flight HUD's images and the sixteen window skins.
//
//   tkw4-make-system-content FOLDER
//
// FOLDER is games/ZadAzorad; the files go to FOLDER/Effect, FOLDER/Sky,
// FOLDER/Hud, FOLDER/Window and FOLDER itself. Every image is drawn from
// fixed hash noise and fixed shapes, so the output is the same on every run
// and the committed files can be made again byte for byte.
//
// Index (sections in file order):
//   Pictures and noise     Picture, hash noise, glowing bolts
//   Encoders               PNG, JPEG, BMP, DXT5 DDS
//   The effect textures    smoke, fire, sparks, clouds, bolts, sky ...
//   The models             heat sleeve, unit quad, system box
//   Line art               anti-aliased lines, circles, panels, polygons
//   The stroke font        the HUD's letters and digit strips
//   The flight HUD's images  one function per file of Hud/
//   The window skins       Window/window00.png .. window15.png

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

// ----------------------------------------------------------------------------
// Line art: shapes painted with anti-aliased coverage
// ----------------------------------------------------------------------------

// Straight-alpha "over": paints colour c with coverage k onto pixel d.
void Over(Rgba& d, Rgba c, float k) {
  float a = Clamp01(c.a * k);
  if (a <= 0) return;
  float outA = a + d.a * (1 - a);
  d.r = (c.r * a + d.r * d.a * (1 - a)) / outA;
  d.g = (c.g * a + d.g * d.a * (1 - a)) / outA;
  d.b = (c.b * a + d.b * d.a * (1 - a)) / outA;
  d.a = outA;
}

// Calls f(x, y) for the pixel centres of the box around (x0, y0)-(x1, y1)
// that lie in the picture; f returns the coverage of the pixel.
void PaintBox(Picture* p, float x0, float y0, float x1, float y1, Rgba c, const std::function<float(float, float)>& f) {
  int ix0 = std::max(0, int(std::floor(x0)) - 1), iy0 = std::max(0, int(std::floor(y0)) - 1);
  int ix1 = std::min(p->width - 1, int(std::ceil(x1)) + 1), iy1 = std::min(p->height - 1, int(std::ceil(y1)) + 1);
  for (int y = iy0; y <= iy1; y++)
    for (int x = ix0; x <= ix1; x++) {
      float k = f(float(x) + 0.5f, float(y) + 0.5f);
      if (k > 0) Over(p->At(x, y), c, k);
    }
}

float SegmentDistance(float px, float py, float ax, float ay, float bx, float by) {
  float dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? Clamp01(((px - ax) * dx + (py - ay) * dy) / len2) : 0.0f;
  return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

// A line of the given width with round ends (a zero-length line is a dot).
void Line(Picture* p, float ax, float ay, float bx, float by, float width, Rgba c) {
  float h = width / 2;
  PaintBox(p, std::min(ax, bx) - h, std::min(ay, by) - h, std::max(ax, bx) + h, std::max(ay, by) + h, c,
           [=](float x, float y) { return Clamp01(h + 0.5f - SegmentDistance(x, y, ax, ay, bx, by)); });
}

void Polyline(Picture* p, const std::vector<std::array<float, 2>>& pts, float width, Rgba c) {
  for (size_t i = 1; i < pts.size(); i++) Line(p, pts[i - 1][0], pts[i - 1][1], pts[i][0], pts[i][1], width, c);
}

// A circle line of radius r; a filled disc when `fill` is set.
void Circle(Picture* p, float cx, float cy, float r, float width, Rgba c, bool fill = false) {
  float h = width / 2;
  PaintBox(p, cx - r - h, cy - r - h, cx + r + h, cy + r + h, c, [=](float x, float y) {
    float d = std::hypot(x - cx, y - cy);
    return fill ? Clamp01(r + 0.5f - d) : Clamp01(h + 0.5f - std::fabs(d - r));
  });
}

// Distance to a rounded rectangle's outline, negative inside.
float RoundRectDistance(float x, float y, float x0, float y0, float x1, float y1, float radius) {
  float cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  float qx = std::fabs(x - cx) - ((x1 - x0) / 2 - radius), qy = std::fabs(y - cy) - ((y1 - y0) / 2 - radius);
  float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
  return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

void FillRoundRect(Picture* p, float x0, float y0, float x1, float y1, float radius, Rgba c) {
  PaintBox(p, x0, y0, x1, y1, c,
           [=](float x, float y) { return Clamp01(0.5f - RoundRectDistance(x, y, x0, y0, x1, y1, radius)); });
}

void StrokeRoundRect(Picture* p, float x0, float y0, float x1, float y1, float radius, float width, Rgba c) {
  float h = width / 2;
  PaintBox(p, x0 - h, y0 - h, x1 + h, y1 + h, c, [=](float x, float y) {
    return Clamp01(h + 0.5f - std::fabs(RoundRectDistance(x, y, x0, y0, x1, y1, radius)));
  });
}

// A filled convex polygon (corners in either turning order).
void FillPolygon(Picture* p, const std::vector<std::array<float, 2>>& pts, Rgba c) {
  float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
  for (const auto& q : pts) x0 = std::min(x0, q[0]), y0 = std::min(y0, q[1]), x1 = std::max(x1, q[0]), y1 = std::max(y1, q[1]);
  float area = 0;
  for (size_t i = 0; i < pts.size(); i++) {
    const auto &a = pts[i], &b = pts[(i + 1) % pts.size()];
    area += a[0] * b[1] - b[0] * a[1];
  }
  float turn = area < 0 ? -1.0f : 1.0f;
  PaintBox(p, x0, y0, x1, y1, c, [&](float x, float y) {
    float inside = 1e9f;  // signed distance to the nearest edge, positive inside
    for (size_t i = 0; i < pts.size(); i++) {
      const auto &a = pts[i], &b = pts[(i + 1) % pts.size()];
      float ex = b[0] - a[0], ey = b[1] - a[1], len = std::hypot(ex, ey);
      if (len <= 0) continue;
      inside = std::min(inside, turn * (ex * (y - a[1]) - ey * (x - a[0])) / len);
    }
    return Clamp01(inside + 0.5f);
  });
}

// ----------------------------------------------------------------------------
// The stroke font
// ----------------------------------------------------------------------------

// Glyphs on a 4 x 6 grid (x right, y down, the baseline at 6): strokes of
// points "x,y", strokes parted by '|'. A stroke of one point is a dot.
const char* GlyphStrokes(char ch) {
  switch (ch) {
    case '0': case 'O': return "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0";
    case '1': return "1,1 2,0 2,6|1,6 3,6";
    case '2': return "0,1 1,0 3,0 4,1 4,2 0,6 4,6";
    case '3': return "0,1 1,0 3,0 4,1 4,2 3,3 1.5,3|3,3 4,4 4,5 3,6 1,6 0,5";
    case '4': return "3,6 3,0 0,4 4,4";
    case '5': return "4,0 0,0 0,3 3,3 4,4 4,5 3,6 0,6";
    case '6': return "3.5,0 1,0 0,1 0,5 1,6 3,6 4,5 4,4 3,3 0,3";
    case '7': return "0,0 4,0 4,1 1.5,6";
    case '8': return "1,0 3,0 4,1 4,2 3,3 1,3 0,2 0,1 1,0|1,3 0,4 0,5 1,6 3,6 4,5 4,4 3,3";
    case '9': return "4,3 1,3 0,2 0,1 1,0 3,0 4,1 4,5 3,6 0.5,6";
    case '.': return "2,5.6";
    case ':': return "2,1.6|2,4.6";
    case '-': return "0.5,3 3.5,3";
    case '/': return "4,0 0,6";
    case '=': return "0.5,2 3.5,2|0.5,4 3.5,4";
    case '%': return "4,0 0,6|0,0 1,0 1,1 0,1 0,0|3,5 4,5 4,6 3,6 3,5";
    case 'A': return "0,6 0,2 2,0 4,2 4,6|0,4 4,4";
    case 'B': return "0,0 3,0 4,1 4,2 3,3 0,3|3,3 4,4 4,5 3,6 0,6 0,0";
    case 'C': return "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5";
    case 'D': return "0,0 3,0 4,1 4,5 3,6 0,6 0,0";
    case 'E': return "4,0 0,0 0,6 4,6|0,3 3,3";
    case 'F': return "4,0 0,0 0,6|0,3 3,3";
    case 'G': return "4,1 3,0 1,0 0,1 0,5 1,6 3,6 4,5 4,3 2,3";
    case 'H': return "0,0 0,6|4,0 4,6|0,3 4,3";
    case 'I': return "1,0 3,0|2,0 2,6|1,6 3,6";
    case 'J': return "4,0 4,5 3,6 1,6 0,5";
    case 'K': return "0,0 0,6|4,0 0,4|1.3,3 4,6";
    case 'L': return "0,0 0,6 4,6";
    case 'M': return "0,6 0,0 2,3 4,0 4,6";
    case 'N': return "0,6 0,0 4,6 4,0";
    case 'P': return "0,6 0,0 3,0 4,1 4,2 3,3 0,3";
    case 'Q': return "1,0 3,0 4,1 4,5 3,6 1,6 0,5 0,1 1,0|2.5,4.5 4,6";
    case 'R': return "0,6 0,0 3,0 4,1 4,2 3,3 0,3|2,3 4,6";
    case 'S': return "4,1 3,0 1,0 0,1 0,2 1,3 3,3 4,4 4,5 3,6 1,6 0,5";
    case 'T': return "0,0 4,0|2,0 2,6";
    case 'U': return "0,0 0,5 1,6 3,6 4,5 4,0";
    case 'V': return "0,0 2,6 4,0";
    case 'W': return "0,0 1,6 2,3 3,6 4,0";
    case 'X': return "0,0 4,6|4,0 0,6";
    case 'Y': return "0,0 2,3 4,0|2,3 2,6";
    case 'Z': return "0,0 4,0 0,6 4,6";
    default: return "";  // a space, or a character the font lacks
  }
}

// Draws one glyph with its grid corner at (x, y), grid units ux by uy.
void Glyph(Picture* p, char ch, float x, float y, float ux, float uy, float width, Rgba c) {
  std::vector<std::array<float, 2>> stroke;
  const char* s = GlyphStrokes(ch);
  auto flush = [&] {
    if (stroke.size() == 1) Line(p, stroke[0][0], stroke[0][1], stroke[0][0], stroke[0][1], width * 1.3f, c);
    Polyline(p, stroke, width, c);
    stroke.clear();
  };
  while (*s) {
    if (*s == '|') {
      flush();
      s++;
      continue;
    }
    char* end = nullptr;
    float gx = std::strtof(s, &end);
    float gy = std::strtof(end + 1, &end);
    stroke.push_back({x + gx * ux, y + gy * uy});
    s = end;
    while (*s == ' ') s++;
  }
  flush();
}

// A line of text of cap height h, centred on (cx, cy) (or starting at cx
// when `left` is set), shrunk to fit maxWidth.
void Text(Picture* p, const std::string& text, float cx, float cy, float h, float width, Rgba c, float maxWidth = 1e9f,
          bool left = false) {
  float u = h / 6;
  float advance = 6 * u, total = advance * float(text.size()) - 2 * u;
  if (total > maxWidth) {
    u *= maxWidth / total;
    width *= std::max(0.6f, maxWidth / total);
    advance = 6 * u;
    total = maxWidth;
  }
  float x = left ? cx : cx - total / 2, y = cy - 3 * u;
  for (char ch : text) {
    Glyph(p, ch, x, y, u, u, width, c);
    x += advance;
  }
}

// The digit strip that the HUD's number sprites index: glyphs "0".."9",
// ".", ":", "-", "/", "=" in cells of cw x ch from (x0, y0) to the right.
constexpr char kDigitStrip[] = "0123456789.:-/=";
void DigitStrip(Picture* p, float x0, float y0, float cw, float ch, float width, Rgba c) {
  float ux = cw * 0.68f / 4, uy = ch * 0.6f / 6;
  for (int k = 0; kDigitStrip[k]; k++)
    Glyph(p, kDigitStrip[k], x0 + float(k) * cw + (cw - 4 * ux) / 2, y0 + (ch - 6 * uy) / 2, ux, uy, width, c);
}

// ----------------------------------------------------------------------------
// The flight HUD's images
// ----------------------------------------------------------------------------
//
// Line art is white on a transparent background: every HUD sprite is given
// its colour (HUD green, the alert red, the blip and tag colours), which
// multiplies the image, so white ink shows exactly the sprite's colour. The
// target arrow alone keeps its sprite colour white and is drawn HUD green.
// Plates (drawn blended, not additive) are dark translucent panels with
// light lines. Each picture puts its parts into the texel rectangles the
// HUD cuts from it.

const Rgba kInk = {1, 1, 1, 1};
const Rgba kDimInk = {1, 1, 1, 0.45f};
const Rgba kHudGreen = {0, 1, 0.25f, 1};
const Rgba kPlateFill = {0.06f, 0.12f, 0.08f, 0.55f};
const Rgba kPlateLine = {0.85f, 1, 0.9f, 0.9f};
const Rgba kPlateDim = {0.85f, 1, 0.9f, 0.35f};

// hud_level: digits 32 x 64 at row 0, boresight (640,0)-(704,64), flight
// path mark (704,0)-(768,64), speed box (832,0)-(1024,64), altitude box
// (832,64)-(1024,128), horizon bar (0,64)-(640,128), climb bars
// (0,128)-(640,192), dive bars (0,192)-(640,256), tape pointer
// (768,128)-(1024,192). Bars are centred on x 320 of their cell.
Picture HudLevel() {
  Picture p(1024, 256);
  DigitStrip(&p, 0, 0, 32, 64, 3.5f, kInk);
  // Boresight: the gun cross, a "W" with short wings.
  Polyline(&p, {{644, 32}, {656, 32}, {664, 42}, {672, 32}, {680, 42}, {688, 32}, {700, 32}}, 2.5f, kInk);
  // Flight-path mark: a ring with wings and a fin.
  Circle(&p, 736, 32, 8, 2.5f, kInk);
  Line(&p, 712, 32, 728, 32, 2.5f, kInk);
  Line(&p, 744, 32, 760, 32, 2.5f, kInk);
  Line(&p, 736, 24, 736, 14, 2.5f, kInk);
  // Speed and altitude boxes: the readout's frame with its unit.
  for (int row = 0; row < 2; row++) {
    float y0 = float(row) * 64;
    StrokeRoundRect(&p, 836, y0 + 6, 1020, y0 + 58, 6, 2.5f, kInk);
    Text(&p, row == 0 ? "KM/H" : "FT", 990, y0 + 32, 14, 2, kInk, 56);
  }
  // Horizon bar: one long line with a gap at the centre.
  Line(&p, 8, 96, 276, 96, 3, kInk);
  Line(&p, 364, 96, 632, 96, 3, kInk);
  // Climb bars: solid, ends turned down toward the horizon.
  Polyline(&p, {{40, 176}, {40, 160}, {272, 160}}, 2.5f, kInk);
  Polyline(&p, {{368, 160}, {600, 160}, {600, 176}}, 2.5f, kInk);
  // Dive bars: dashed, ends turned up toward the horizon.
  Line(&p, 40, 224, 40, 208, 2.5f, kInk);
  Line(&p, 600, 224, 600, 208, 2.5f, kInk);
  for (float x = 40; x < 272; x += 40) {
    Line(&p, x, 224, std::min(x + 24, 272.0f), 224, 2.5f, kInk);
    Line(&p, 640 - x, 224, std::max(640 - x - 24, 368.0f), 224, 2.5f, kInk);
  }
  // Tape pointer: a small value box pointing right at the tape.
  Polyline(&p, {{900, 144}, {1000, 144}, {1020, 160}, {1000, 176}, {900, 176}, {900, 144}}, 2.5f, kInk);
  return p;
}

// hud_speedbar: the scrolling tape in (0,0)-(32,880). One value step is 16
// texels; the HUD wraps its offset by 160 texels, so rows 0..640 repeat
// every 160 rows; below row 640 (the zero mark) the tape is empty.
Picture HudSpeedBar() {
  Picture p(32, 1024);
  for (int y = 0; y < p.height; y++)
    for (int x = 0; x < p.width; x++) {
      float py = float(y) + 0.5f, px = float(x) + 0.5f;
      if (py > 642) continue;
      float m = std::fmod(py + 8, 16.0f) - 8;  // distance to the nearest minor tick
      float along = std::fmod(py + 80, 160.0f) - 80;
      float length = 10, width = 1.5f;
      if (std::fabs(along) <= 8) length = 28, width = 3;
      else if (std::fabs(std::fabs(along) - 80) <= 8) length = 20, width = 2;
      float k = Clamp01(width / 2 + 0.5f - std::fabs(m)) * Clamp01(length + 0.5f - px);
      if (py > 641.5f) k = 0;
      if (k > 0) Over(p.At(x, y), kInk, k);
    }
  return p;
}

Picture HudArrow() {
  Picture p(64, 64);
  FillPolygon(&p, {{32, 4}, {54, 34}, {40, 30}, {40, 58}, {24, 58}, {24, 30}, {10, 34}}, {0, 1, 0.25f, 0.35f});
  Polyline(&p, {{32, 4}, {54, 34}, {40, 30}, {40, 58}, {24, 58}, {24, 30}, {10, 34}, {32, 4}}, 2.5f, kHudGreen);
  return p;
}

// hud_cnt: the distance digits (16 x 32) at row 0, marker box
// (0,64)-(64,128), locked box (64,64)-(128,128), pipper (128,64)-(192,128),
// foe tag (192,64)-(256,96), friend tag (192,96)-(256,128).
Picture HudCnt() {
  Picture p(256, 128);
  DigitStrip(&p, 0, 0, 16, 32, 2, kInk);
  // Marker: four corner brackets.
  for (int cx = 0; cx < 2; cx++)
    for (int cy = 0; cy < 2; cy++) {
      float x = cx ? 58.0f : 6.0f, y = cy ? 122.0f : 70.0f, sx = cx ? -1.0f : 1.0f, sy = cy ? -1.0f : 1.0f;
      Polyline(&p, {{x, y + sy * 14}, {x, y}, {x + sx * 14, y}}, 2.5f, kInk);
    }
  // Locked: a closed box with a diamond inside.
  StrokeRoundRect(&p, 70, 70, 122, 122, 2, 3, kInk);
  Polyline(&p, {{96, 80}, {112, 96}, {96, 112}, {80, 96}, {96, 80}}, 2, kInk);
  // Pipper: a dot in a small ring with four ticks.
  Circle(&p, 160, 96, 7, 2, kInk);
  Circle(&p, 160, 96, 1.8f, 0, kInk, true);
  Line(&p, 160, 76, 160, 84, 2, kInk);
  Line(&p, 160, 108, 160, 116, 2, kInk);
  Line(&p, 140, 96, 148, 96, 2, kInk);
  Line(&p, 172, 96, 180, 96, 2, kInk);
  // Tags: a word over a caret pointing down at the box.
  Text(&p, "TGT", 224, 74, 12, 2, kInk);
  FillPolygon(&p, {{216, 84}, {232, 84}, {224, 93}}, kInk);
  Text(&p, "ALLY", 224, 106, 12, 2, kInk);
  FillPolygon(&p, {{216, 116}, {232, 116}, {224, 125}}, kInk);
  return p;
}

// hud_gun: the sight ring (0,0)-(128,128); a funnel tick cut as
// (192,0)-(224,64) and turned about its lower-left corner, so the tick lies
// 40..56 texels from that corner, inside the ring's radius; the lead line
// samples the single texel (200,17), which the tick covers.
Picture HudGun() {
  Picture p(256, 128);
  Circle(&p, 64, 64, 58, 2.5f, kInk);
  Circle(&p, 64, 64, 2, 0, kInk, true);
  Line(&p, 200.5f, 8, 200.5f, 24, 6, kInk);
  return p;
}

// hud_bomb: the bomb sight (0,0)-(128,128); the fall line samples the
// texel (64,3), which the sight's top tick covers.
Picture HudBomb() {
  Picture p(128, 128);
  Circle(&p, 64, 64, 40, 2.5f, kInk);
  Line(&p, 64.5f, 1, 64.5f, 20, 4, kInk);
  Line(&p, 64.5f, 108, 64.5f, 126, 2.5f, kInk);
  Line(&p, 2, 64.5f, 20, 64.5f, 2.5f, kInk);
  Line(&p, 108, 64.5f, 126, 64.5f, 2.5f, kInk);
  Polyline(&p, {{64, 56}, {72, 64}, {64, 72}, {56, 64}, {64, 56}}, 2, kInk);
  return p;
}

// A round scope plate of radius r centred on (cx, cy).
void ScopePlate(Picture* p, float cx, float cy, float r) {
  Circle(p, cx, cy, r, 0, kPlateFill, true);
  Circle(p, cx, cy, r - 2, 2, kPlateLine);
}

// hud_radar_plate: one scope per radar range, (0,0), (256,0), (0,256),
// (256,256), each 256 x 256; blips reach 120 texels from the centre.
Picture HudRadarPlate() {
  Picture p(512, 512);
  const char* ranges[4] = {"600", "1200", "2000", "4000"};
  for (int i = 0; i < 4; i++) {
    float cx = float(i % 2) * 256 + 128, cy = float(i / 2) * 256 + 128;
    ScopePlate(&p, cx, cy, 124);
    Circle(&p, cx, cy, 60, 1.5f, kPlateDim);
    Line(&p, cx - 118, cy, cx + 118, cy, 1, kPlateDim);
    Line(&p, cx, cy - 118, cx, cy + 118, 1, kPlateDim);
    for (int t = 0; t < 12; t++) {
      float a = float(t) * kPi / 6;
      Line(&p, cx + std::sin(a) * 110, cy - std::cos(a) * 110, cx + std::sin(a) * 120, cy - std::cos(a) * 120, 2, kPlateLine);
    }
    Text(&p, ranges[i], cx + 84, cy + 108, 10, 1.5f, kPlateLine);
  }
  return p;
}

Picture HudCompassPlate() {
  Picture p(256, 256);
  ScopePlate(&p, 128, 128, 124);
  FillPolygon(&p, {{120, 4}, {136, 4}, {128, 18}}, kPlateLine);  // the heading index
  return p;
}

// The rose: ticks every 10 degrees, longer every 30, the four cardinals.
Picture HudCompass() {
  Picture p(256, 256);
  Circle(&p, 128, 128, 104, 1.5f, kInk);
  for (int t = 0; t < 36; t++) {
    float a = float(t) * kPi / 18, inner = t % 3 == 0 ? 88.0f : 96.0f;
    Line(&p, 128 + std::sin(a) * inner, 128 - std::cos(a) * inner, 128 + std::sin(a) * 104, 128 - std::cos(a) * 104,
         t % 3 == 0 ? 2.5f : 1.5f, kInk);
  }
  const char* cardinals = "NESW";
  for (int i = 0; i < 4; i++) {
    float a = float(i) * kPi / 2;
    Text(&p, std::string(1, cardinals[i]), 128 + std::sin(a) * 70, 128 - std::cos(a) * 70, 20, 2.5f, kInk);
  }
  return p;
}

// A rectangular panel filling the picture.
Picture Panel(int w, int h, float radius) {
  Picture p(w, h);
  FillRoundRect(&p, 1, 1, float(w) - 1, float(h) - 1, radius, kPlateFill);
  StrokeRoundRect(&p, 2, 2, float(w) - 2, float(h) - 2, radius, 2, kPlateLine);
  return p;
}

// hud_weapon_slot: ammunition digits (20 x 40) at row 0, the slot names
// in 128 x 32 cells: slot s at column s % 2, row s / 2 from y 64.
Picture HudWeaponSlot() {
  Picture p(512, 128);
  DigitStrip(&p, 0, 0, 20, 40, 2.5f, kInk);
  const char* names[4] = {"MAIN", "SUB", "CENTER", "EXTRA"};
  for (int s = 0; s < 4; s++) Text(&p, names[s], float(s % 2) * 128 + 6, float(64 + 32 * (s / 2)) + 16, 16, 2.5f, kInk, 116, true);
  return p;
}

// hud_gunheat: the bar (0,0)-(256,32), cut from the left as the gun heats.
Picture HudGunHeat() {
  Picture p(256, 32);
  for (float x = 3; x < 252; x += 8) FillRoundRect(&p, x, 7, x + 6, 25, 1, kInk);
  return p;
}

// hud_damage: the caption frame (0,0)-(192,32) (the digits stand in it at
// texels 112..160), digits (16 x 32) at row 32, the bar in (0,64)-(256,128)
// in its lower half, below the caption.
Picture HudDamage() {
  Picture p(256, 128);
  Text(&p, "DAMAGE", 6, 16, 13, 2, kInk, 100, true);
  Text(&p, "%", 174, 16, 13, 2, kInk);
  Line(&p, 2, 30, 190, 30, 1.5f, kInk);
  DigitStrip(&p, 0, 32, 16, 32, 2, kInk);
  for (float x = 3; x < 252; x += 8) FillRoundRect(&p, x, 100, x + 6, 124, 1, kInk);
  return p;
}

// hud_msg: the message rows, 256 x 64 each, row n at y 64 n. The rows'
// meanings are the HUD's: 0 a missile homes on the player, 1 and 2 the
// other alerts, 3 and 4 the cautions, 5 to 8 the notices (damage taken,
// a kill, a hit, a missile that missed).
constexpr const char* kMessageRows[9] = {"MISSILE", "WARNING", "CAUTION", "OUT OF AREA", "STALL",
                                         "DAMAGED", "DESTROYED", "HIT", "MISSED"};
Picture HudMsg() {
  Picture p(256, 1024);
  for (int row = 0; row < 9; row++) Text(&p, kMessageRows[row], 128, float(row) * 64 + 32, 26, 3.5f, kInk, 236);
  return p;
}

// The message plate: a light band the HUD draws faintly in the alert colour.
Picture HudMsgPlate() {
  Picture p(256, 64);
  FillRoundRect(&p, 2, 6, 254, 58, 8, {1, 1, 1, 0.7f});
  StrokeRoundRect(&p, 3, 7, 253, 57, 8, 2, kInk);
  return p;
}

// The map plate: a square chart with a grid; blips reach 240 texels.
Picture HudMapPlate() {
  Picture p(512, 512);
  FillRoundRect(&p, 1, 1, 511, 511, 8, kPlateFill);
  for (float g = 64; g < 512; g += 64) {
    Line(&p, g, 8, g, 504, g == 256 ? 1.5f : 1, kPlateDim);
    Line(&p, 8, g, 504, g, g == 256 ? 1.5f : 1, kPlateDim);
  }
  StrokeRoundRect(&p, 3, 3, 509, 509, 8, 2.5f, kPlateLine);
  Text(&p, "N", 256, 22, 16, 2.5f, kPlateLine);
  return p;
}

// The gun-heat plate (0,0)-(256,31): a slim panel marked in quarters.
Picture HudGunHeatPlate() {
  Picture p = Panel(256, 32, 6);
  for (float x = 64; x < 256; x += 64) Line(&p, x, 4, x, 8, 1.5f, kPlateLine);
  return p;
}

Picture HudTimer() {
  Picture p(512, 64);
  DigitStrip(&p, 0, 0, 32, 64, 3.5f, kInk);
  return p;
}

// ----------------------------------------------------------------------------
// The window skins
// ----------------------------------------------------------------------------
//
// The window drawing cuts a skin at one texel column cx and row cy (the
// style's cut, skin n drawn in style n), stretches that column and row over
// the window and draws the four corner blocks whole: everything left of cx
// and above cy stays the top-left corner, everything right of cx and below
// cy the other corners. So each skin is at least twice its cut plus one
// texel, its borders lie in the corner blocks and the cut column and row
// carry plain fill. Skins 8 to 15 have no cut: texel (0, 0) fills the
// window and the whole skin sits at its lower-right, so they are flat.

struct SkinColours {
  Rgba fill, border, accent;
};

// The sixteen schemes, one per skin.
const SkinColours kSkinColours[16] = {
    {{0.05f, 0.08f, 0.25f, 0.85f}, {0.75f, 0.82f, 1.0f, 1}, {0.35f, 0.45f, 0.9f, 1}},   // 0 navy
    {{0.04f, 0.18f, 0.08f, 0.85f}, {0.7f, 1.0f, 0.75f, 1}, {0.3f, 0.75f, 0.35f, 1}},    // 1 green
    {{0.25f, 0.04f, 0.05f, 0.85f}, {1.0f, 0.72f, 0.7f, 1}, {0.85f, 0.3f, 0.28f, 1}},    // 2 red
    {{0.12f, 0.12f, 0.13f, 0.85f}, {0.85f, 0.85f, 0.88f, 1}, {0.5f, 0.5f, 0.55f, 1}},   // 3 charcoal
    {{0.03f, 0.17f, 0.19f, 0.85f}, {0.65f, 0.95f, 1.0f, 1}, {0.15f, 0.6f, 0.68f, 1}},   // 4 teal
    {{0.16f, 0.06f, 0.22f, 0.85f}, {0.9f, 0.75f, 1.0f, 1}, {0.6f, 0.35f, 0.8f, 1}},     // 5 purple
    {{0.2f, 0.12f, 0.04f, 0.88f}, {1.0f, 0.85f, 0.55f, 1}, {0.8f, 0.52f, 0.15f, 1}},    // 6 amber
    {{0.04f, 0.06f, 0.14f, 0.88f}, {0.8f, 0.86f, 1.0f, 1}, {0.3f, 0.38f, 0.62f, 1}},    // 7 night blue
    {{0.0f, 0.0f, 0.0f, 0.6f}, {}, {}},                                                   // 8 black
    {{0.1f, 0.2f, 0.45f, 0.7f}, {}, {}},                                                  // 9 blue
    {{0.1f, 0.35f, 0.15f, 0.7f}, {}, {}},                                                 // 10 green
    {{0.45f, 0.1f, 0.1f, 0.7f}, {}, {}},                                                  // 11 red
    {{0.35f, 0.32f, 0.1f, 0.7f}, {}, {}},                                                 // 12 olive
    {{0.25f, 0.28f, 0.32f, 0.7f}, {}, {}},                                                // 13 slate
    {{0.3f, 0.12f, 0.3f, 0.7f}, {}, {}},                                                  // 14 plum
    {{0.95f, 0.95f, 0.95f, 0.25f}, {}, {}},                                               // 15 white veil
};

// The cut (cx, cy) of each style, as the window drawing uses it.
constexpr int kSkinCut[16][2] = {{16, 16}, {16, 16}, {16, 16}, {16, 16}, {34, 64}, {16, 16}, {96, 32}, {124, 112},
                                 {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},  {0, 0}};

int PowerOfTwoAbove(int n) {
  int p = 1;
  while (p < n) p *= 2;
  return p;
}

Picture WindowSkin(int n) {
  const SkinColours& s = kSkinColours[n];
  int cx = kSkinCut[n][0], cy = kSkinCut[n][1];
  if (cx == 0) {
    Picture p(32, 32);
    p.Fill([&](float, float, Rgba& c) { c = s.fill; });
    return p;
  }
  // Twice the cut and one texel, so the right and bottom blocks are no
  // narrower than the left and top ones.
  Picture p(PowerOfTwoAbove(2 * cx + 1), PowerOfTwoAbove(2 * cy + 1));
  float w = float(p.width), h = float(p.height);
  // The border sits within 14 texels of the edges: inside every corner
  // block (the smallest cut is 16).
  FillRoundRect(&p, 1, 1, w - 1, h - 1, 8, s.fill);
  switch (n) {
    case 0:  // a double line
      StrokeRoundRect(&p, 3, 3, w - 3, h - 3, 7, 2, s.border);
      StrokeRoundRect(&p, 8, 8, w - 8, h - 8, 3, 1, s.accent);
      break;
    case 1:  // one line with corner studs
      StrokeRoundRect(&p, 4, 4, w - 4, h - 4, 6, 2, s.border);
      for (float x : {8.0f, w - 8})
        for (float y : {8.0f, h - 8}) Circle(&p, x, y, 2.5f, 0, s.accent, true);
      break;
    case 2:  // square corners, thick line
      StrokeRoundRect(&p, 4, 4, w - 4, h - 4, 1, 3, s.border);
      break;
    case 3:  // a bevel: light above and left, dark below and right
      StrokeRoundRect(&p, 3, 3, w - 3, h - 3, 4, 2, s.accent);
      Line(&p, 5, 3, w - 5, 3, 2, s.border);
      Line(&p, 3, 5, 3, h - 5, 2, s.border);
      break;
    case 4:  // an accent band on the left for an icon column (text from 36)
      FillRoundRect(&p, 3, 3, 30, h - 3, 5, s.accent);
      StrokeRoundRect(&p, 3, 3, w - 3, h - 3, 6, 2, s.border);
      for (float y = 12; y < 60; y += 12) Line(&p, 10, y, 23, y, 2, s.border);
      break;
    case 5:  // a left bar (text from 20)
      StrokeRoundRect(&p, 3, 3, w - 3, h - 3, 6, 2, s.border);
      Line(&p, 9, 8, 9, h - 8, 3, s.accent);
      break;
    case 6:  // a title tab in the top-left block, the sub text at (9, 9)
      StrokeRoundRect(&p, 3, 14, w - 3, h - 3, 6, 2, s.border);
      FillRoundRect(&p, 3, 3, 92, 28, 5, s.accent);
      StrokeRoundRect(&p, 3, 3, 92, 28, 5, 2, s.border);
      break;
    case 7: {  // a portrait pane left of x 118, the name 25 above the bottom
      StrokeRoundRect(&p, 3, 3, w - 3, h - 3, 8, 2, s.border);
      FillRoundRect(&p, 8, 8, 114, 104, 4, s.accent);
      StrokeRoundRect(&p, 8, 8, 114, 104, 4, 1.5f, s.border);
      Line(&p, 118, 8, 118, h - 8, 1.5f, s.accent);
      Line(&p, 8, h - 30, 114, h - 30, 1.5f, s.accent);
      break;
    }
    default: break;
  }
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tkw4-make-system-content FOLDER\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  std::vector<std::pair<std::string, std::function<std::string()>>> files = {
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
      {"Hud/hud_level.png", [] { return Png(HudLevel(), true); }},
      {"Hud/arrow.png", [] { return Png(HudArrow(), true); }},
      {"Hud/hud_speedbar.png", [] { return Png(HudSpeedBar(), true); }},
      {"Hud/hud_cnt.png", [] { return Png(HudCnt(), true); }},
      {"Hud/hud_gun.png", [] { return Png(HudGun(), true); }},
      {"Hud/hud_bomb.png", [] { return Png(HudBomb(), true); }},
      {"Hud/hud_radar_plate.png", [] { return Png(HudRadarPlate(), true); }},
      {"Hud/hud_compass_plate.png", [] { return Png(HudCompassPlate(), true); }},
      {"Hud/hud_compass.png", [] { return Png(HudCompass(), true); }},
      {"Hud/hud_weapon_plate.png", [] { return Png(Panel(256, 128, 10), true); }},
      {"Hud/hud_weapon_slot.png", [] { return Png(HudWeaponSlot(), true); }},
      {"Hud/hud_gunheat_plate.png", [] { return Png(HudGunHeatPlate(), true); }},
      {"Hud/hud_gunheat.png", [] { return Png(HudGunHeat(), true); }},
      {"Hud/hud_damage_plate.png", [] { return Png(Panel(256, 128, 10), true); }},
      {"Hud/hud_damage.png", [] { return Png(HudDamage(), true); }},
      {"Hud/hud_msg_plate.png", [] { return Png(HudMsgPlate(), true); }},
      {"Hud/hud_msg.png", [] { return Png(HudMsg(), true); }},
      {"Hud/hud_map_plate.png", [] { return Png(HudMapPlate(), true); }},
      {"Hud/timer.png", [] { return Png(HudTimer(), true); }},
  };
  std::vector<std::pair<std::string, std::function<std::string()>>> skins;
  for (int n = 0; n < 16; n++) {
    char name[32];
    std::snprintf(name, sizeof name, "Window/window%02d.png", n);
    skins.push_back({name, [n] { return Png(WindowSkin(n), true); }});
  }
  files.insert(files.end(), skins.begin(), skins.end());
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
