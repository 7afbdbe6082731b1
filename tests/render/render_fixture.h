// render_fixture.h -- a renderer on a small hidden window, with helpers that
// draw quads and read pixels back, for the renderer's pixel tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/render_public.h"

namespace rendertest {

// The 40-byte vertex of draw modes 1 and 2.
struct SpriteVertex {
  float x, y, z;
  uint32_t diffuse;  // packed ARGB (fixed pipeline)
  float u, v;
  float r, g, b, a;  // colour (effect)
};
static_assert(sizeof(SpriteVertex) == 40);

// The 88-byte vertex of the effect's mesh layout.
struct MeshVertex {
  float x, y, z;
  float nx, ny, nz;
  float r, g, b, a;
  float u, v;
  float tx, ty, tz;
  float bx, by, bz;
  float w0, w1, w2, w3;
};
static_assert(sizeof(MeshVertex) == 88);

// The 48-byte vertex of the fixed pipeline's mesh layout.
struct FvfMeshVertex {
  float x, y, z;
  float b0, b1, b2;
  float nx, ny, nz;
  uint32_t diffuse;
  float u, v;
};
static_assert(sizeof(FvfMeshVertex) == 48);

class RenderFixture : public ::testing::Test {
 protected:
  render::GraphicsSystem gs;

  ~RenderFixture() override { target.ReleaseTexture(gs); }

  // Display list, hidden window and device; `shaders` chooses the effect.
  void Start(int shaders, int width = 64, int height = 48) {
    gs.quitProgram = [](int) {};
    ASSERT_EQ(gs.CreateDirect3D(), 1);
    ASSERT_NE(gs.CreateMainWindow("render test", false, 0, 0, width, height), nullptr);
    ASSERT_EQ(gs.InitDevice(shaders), 1);
  }

  // A w x h render target as target 0, cleared to black.
  render::TextureHolder target;
  void UseTarget(int w, int h, uint32_t format = platform::kFmtA8R8G8B8, uint32_t kindFlags = 0) {
    ASSERT_EQ(target.CreateRenderTarget(gs, w, h, format), 0u);
    target.SetTextureFlags(kindFlags);
    ASSERT_EQ(gs.SetRenderTarget(&target, 0, 1), 0);
  }

  // Blue, green, red of one pixel of the target.
  std::vector<int> Pixel(int x, int y) {
    uint8_t bgr[3] = {};
    EXPECT_EQ(target.ReadTexturePixels(gs, bgr, x, y, x + 1, y + 1), 3);
    return {bgr[2], bgr[1], bgr[0]};
  }

  // A quad of 2D units from (x0, y0) to (x1, y1), texture coordinates 0..1,
  // drawn in draw mode 2 with pass P0 (or `pass`) and the given texture.
  void DrawQuad2D(float x0, float y0, float x1, float y1, platform::GfxTexture* texture,
                  float r = 1, float g = 1, float b = 1, float a = 1, int pass = render::SHADER_PASS_2DSPRITE) {
    uint32_t packed = uint32_t(a * 255) << 24 | uint32_t(r * 255) << 16 | uint32_t(g * 255) << 8 | uint32_t(b * 255);
    SpriteVertex v[4] = {{x0, y0, 0, packed, 0, 0, r, g, b, a},
                         {x1, y0, 0, packed, 1, 0, r, g, b, a},
                         {x1, y1, 0, packed, 1, 1, r, g, b, a},
                         {x0, y1, 0, packed, 0, 1, r, g, b, a}};
    gs.SetDrawMode(2);
    gs.BindTexture(texture);
    const platform::GfxApi& api = gs.Gfx();
    if (gs.GetEffect()) {
      api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], platform::MatrixIdentity());
    } else {
      api.SetTransform(gs.GetDevice(), platform::kTransformWorld, platform::MatrixIdentity());
    }
    gs.BeginScenePass(1, pass);
    api.DrawPrimitiveUP(gs.GetDevice(), platform::kPrimTriangleFan, 2, v, sizeof(SpriteVertex));
  }

  // A square of side `size` facing the camera at depth z (camera at the
  // origin looking down +z), in draw mode 0 with the mesh pass.
  // Unlit (`lit` false), the square shows its vertex colour.
  void DrawMeshSquare(float z, float size, float r, float g, float b, bool lit = true) {
    const platform::GfxApi& api = gs.Gfx();
    gs.SetDrawMode(0);
    if (!lit) gs.ClearRenderFlags(render::kRenderLighting);
    gs.BindTexture(nullptr);
    float h = size / 2;
    if (gs.GetEffect()) {
      MeshVertex v[4];
      float corners[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};
      for (int i = 0; i < 4; i++)
        v[i] = {corners[i][0], corners[i][1], z, 0, 0, -1, r, g, b, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0};
      api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], platform::MatrixIdentity());
      gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
      api.DrawPrimitiveUP(gs.GetDevice(), platform::kPrimTriangleFan, 2, v, sizeof(MeshVertex));
    } else {
      uint32_t packed = 0xFF000000u | uint32_t(r * 255) << 16 | uint32_t(g * 255) << 8 | uint32_t(b * 255);
      FvfMeshVertex v[4];
      float corners[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};
      for (int i = 0; i < 4; i++) v[i] = {corners[i][0], corners[i][1], z, 0, 0, 0, 0, 0, -1, packed, 0, 0};
      api.SetTransform(gs.GetDevice(), platform::kTransformWorld, platform::MatrixIdentity());
      gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
      api.DrawPrimitiveUP(gs.GetDevice(), platform::kPrimTriangleFan, 2, v, sizeof(FvfMeshVertex));
    }
  }

  // Camera at the origin looking down +z with a quarter-turn field of view.
  void LookForward() { gs.SetCamera3D({0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 3.14159265f / 2); }

};

// Little-endian words, and a BMP file made of them (test images).
inline void Put16(std::string* s, uint32_t v) {
  s->push_back(char(v & 255));
  s->push_back(char(v >> 8 & 255));
}
inline void Put32(std::string* s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

// A 24-bit BMP file of 0xRRGGBB pixels given top row first.
inline std::string MakeBmp(int w, int h, const std::vector<uint32_t>& pixels) {
  int row = (w * 3 + 3) / 4 * 4;
  std::string s = "BM";
  Put32(&s, 54 + row * h);
  Put32(&s, 0);
  Put32(&s, 54);
  Put32(&s, 40);
  Put32(&s, w);
  Put32(&s, h);
  Put16(&s, 1);
  Put16(&s, 24);
  Put32(&s, 0);
  Put32(&s, row * h);
  for (int i = 0; i < 4; i++) Put32(&s, 0);
  for (int y = h - 1; y >= 0; y--) {
    for (int x = 0; x < w; x++) {
      uint32_t p = pixels[size_t(y * w + x)];
      s.push_back(char(p & 255));
      s.push_back(char(p >> 8 & 255));
      s.push_back(char(p >> 16 & 255));
    }
    s.append(size_t(row - w * 3), '\0');
  }
  return s;
}

}  // namespace rendertest
