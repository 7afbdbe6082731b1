// render_shading_test.cpp -- flat and smooth shading: render flag 0x80 on its
// way to the device, and the colours triangles get with it on both paths.

#include <array>
#include <vector>

#include "render_fixture.h"

namespace {

using namespace platform;
using rendertest::RenderFixture;

struct Corner {
  float x, y;     // world units on the plane z = 10, seen by LookForward()
  float r, g, b;  // vertex colour
};

// Red, green and blue corners of a triangle that fills most of a 16 x 16
// target: top-left, top-right and bottom-centre (clockwise on screen).
constexpr std::array<Corner, 3> kCorners = {{{-9, 9, 1, 0, 0}, {9, 9, 0, 1, 0}, {0, -9, 0, 0, 1}}};

std::vector<int> Rgb(const Corner& c) { return {int(c.r * 255), int(c.g * 255), int(c.b * 255)}; }

// Parameter: 1 the effect path, 0 the fixed-function path.
class Shading : public RenderFixture, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    Start(GetParam());
    UseTarget(16, 16);
    LookForward();
    // No fog (an empty range) and no light: a pixel shows its vertex colour.
    gs.SetFog(10.0f, 10.0f, {0, 0, 0});
  }

  // Draws the corners in the order given, as `primitive` (`count`
  // primitives), in draw mode 0 without light, fog or culling, onto a
  // cleared target.
  void Draw(const std::vector<Corner>& corners, uint32_t primitive, int count) {
    gs.SetRenderTarget(&target, 0, 1);  // clears it
    gs.SetDrawMode(0);
    gs.ClearRenderFlags(render::kRenderLighting);
    gs.ClearRenderFlags(render::kRenderFog);
    gs.ClearRenderFlags(render::kRenderCull);
    gs.BindTexture(nullptr);
    const GfxApi& api = gs.Gfx();
    if (gs.GetEffect()) {
      std::vector<rendertest::MeshVertex> v;
      for (const Corner& c : corners)
        v.push_back({c.x, c.y, 10, 0, 0, -1, c.r, c.g, c.b, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0});
      api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], MatrixIdentity());
      gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
      api.DrawPrimitiveUP(gs.GetDevice(), primitive, count, v.data(), sizeof v[0]);
    } else {
      std::vector<rendertest::FvfMeshVertex> v;
      for (const Corner& c : corners) {
        uint32_t packed = 0xFF000000u | uint32_t(c.r * 255) << 16 | uint32_t(c.g * 255) << 8 | uint32_t(c.b * 255);
        v.push_back({c.x, c.y, 10, 0, 0, 0, 0, 0, -1, packed, 0, 0});
      }
      api.SetTransform(gs.GetDevice(), kTransformWorld, MatrixIdentity());
      gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
      api.DrawPrimitiveUP(gs.GetDevice(), primitive, count, v.data(), sizeof v[0]);
    }
  }

  void DrawTriangle(const std::array<int, 3>& order) {
    Draw({kCorners[size_t(order[0])], kCorners[size_t(order[1])], kCorners[size_t(order[2])]}, kPrimTriangleList, 1);
  }
};

// Pixels well inside the triangle: near each corner, then the middle.
constexpr std::pair<int, int> kNearCorner[3] = {{4, 2}, {11, 2}, {8, 11}};
constexpr std::pair<int, int> kMiddle = {8, 5};

// Every order of the three corners, both windings: with flat shading the
// whole triangle has the colour of the corner submitted first, wherever it
// lies on screen; smooth, each corner's colour leads near it.
TEST_P(Shading, FlatTrianglesTakeTheFirstSubmittedVertexColour) {
  const std::array<int, 3> orders[] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {0, 2, 1}, {2, 1, 0}, {1, 0, 2}};
  gs.SetRenderFlags(render::kRenderFlatShading);
  for (const auto& order : orders) {
    DrawTriangle(order);
    std::vector<int> want = Rgb(kCorners[size_t(order[0])]);
    for (auto [x, y] : kNearCorner) EXPECT_EQ(Pixel(x, y), want) << "first " << order[0] << " at " << x << "," << y;
    EXPECT_EQ(Pixel(kMiddle.first, kMiddle.second), want) << "first " << order[0];
  }

  gs.ClearRenderFlags(render::kRenderFlatShading);
  for (const auto& order : orders) {
    DrawTriangle(order);
    for (int corner = 0; corner < 3; corner++) {
      std::vector<int> p = Pixel(kNearCorner[corner].first, kNearCorner[corner].second);
      for (int channel = 0; channel < 3; channel++) {
        if (channel == corner) continue;
        EXPECT_GT(p[size_t(corner)], p[size_t(channel)]) << "corner " << corner;
      }
    }
    // The middle mixes all three.
    for (int c : Pixel(kMiddle.first, kMiddle.second)) EXPECT_GT(c, 20) << "first " << order[0];
  }
}

// Strips and fans count their triangles as Direct3D does: triangle i of a
// strip takes vertex i, triangle i of a fan the vertex after the hub (i + 1).
TEST_P(Shading, StripsAndFansTakeEachTrianglesOwnFirstVertex) {
  gs.SetRenderFlags(render::kRenderFlatShading);
  // A square: the upper-left half and the lower-right half.
  Corner tl{-9, 9, 1, 0, 0}, tr{9, 9, 0, 1, 0}, bl{-9, -9, 0, 0, 1}, br{9, -9, 1, 1, 1};
  std::pair<int, int> upperLeft = {3, 3}, lowerRight = {12, 12};
  std::pair<int, int> upperRight = {12, 3}, lowerLeft = {3, 12};

  Draw({tl, tr, bl, br}, kPrimTriangleStrip, 2);  // (tl tr bl), (tr bl br)
  EXPECT_EQ(Pixel(upperLeft.first, upperLeft.second), Rgb(tl));
  EXPECT_EQ(Pixel(lowerRight.first, lowerRight.second), Rgb(tr));

  Draw({tl, tr, br, bl}, kPrimTriangleFan, 2);  // (tl tr br), (tl br bl)
  EXPECT_EQ(Pixel(upperRight.first, upperRight.second), Rgb(tr));
  EXPECT_EQ(Pixel(lowerLeft.first, lowerLeft.second), Rgb(br));
}

// 2D sprites use their own programs (the effect's sprite pass, the fixed
// path's sprite layout): a fan quad with four corner colours shows its
// second and third vertices' colours in its two halves.
TEST_P(Shading, FlatSpritesInTwoDToo) {
  gs.SetRenderFlags(render::kRenderFlatShading);
  gs.SetRenderTarget(&target, 0, 1);
  struct {
    float x, y, r, g, b;
  } corners[4] = {{-300, -300, 1, 0, 0}, {300, -300, 0, 1, 0}, {300, 300, 0, 0, 1}, {-300, 300, 1, 1, 1}};
  rendertest::SpriteVertex v[4];
  for (int i = 0; i < 4; i++) {
    const auto& c = corners[i];
    uint32_t packed = 0xFF000000u | uint32_t(c.r * 255) << 16 | uint32_t(c.g * 255) << 8 | uint32_t(c.b * 255);
    v[i] = {c.x, c.y, 0, packed, 0, 0, c.r, c.g, c.b, 1};
  }
  gs.SetDrawMode(2);
  gs.BindTexture(gs.GetWhiteTexture()->texture);
  const GfxApi& api = gs.Gfx();
  if (gs.GetEffect()) {
    api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], MatrixIdentity());
  } else {
    api.SetTransform(gs.GetDevice(), kTransformWorld, MatrixIdentity());
  }
  gs.BeginScenePass(1, render::SHADER_PASS_2DSPRITE);
  api.DrawPrimitiveUP(gs.GetDevice(), kPrimTriangleFan, 2, v, sizeof v[0]);
  EXPECT_EQ(Pixel(11, 4), (std::vector<int>{0, 255, 0}));  // (top-left, top-right, bottom-right)
  EXPECT_EQ(Pixel(4, 11), (std::vector<int>{0, 0, 255}));  // (top-left, bottom-right, bottom-left)
}

// The flag reaches the device's shade mode through the setters, outlives
// draw-mode changes and an effect rebuild, and a device reset starts smooth
// again with the flag word saying so.
TEST_P(Shading, TheFlagRoundTripsToTheDevice) {
  const GfxApi& api = gs.Gfx();
  uint32_t before = gs.GetRenderFlags();
  ASSERT_FALSE(before & render::kRenderFlatShading);
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsShadeMode), uint32_t(kShadeGouraud));
  EXPECT_EQ(gs.SetRenderFlags(render::kRenderFlatShading), before);
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsShadeMode), uint32_t(kShadeFlat));
  gs.SetDrawMode(2);
  gs.SetDrawMode(0);
  EXPECT_TRUE(gs.GetRenderFlags() & render::kRenderFlatShading);
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsShadeMode), uint32_t(kShadeFlat));
  if (gs.GetEffect()) {
    ASSERT_EQ(gs.CreateEffect("#define MULTI\n"), 1);
  }
  DrawTriangle({1, 2, 0});
  EXPECT_EQ(Pixel(kMiddle.first, kMiddle.second), Rgb(kCorners[1]));

  EXPECT_TRUE(gs.ClearRenderFlags(render::kRenderFlatShading) & render::kRenderFlatShading);
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsShadeMode), uint32_t(kShadeGouraud));
  DrawTriangle({1, 2, 0});
  EXPECT_NE(Pixel(kMiddle.first, kMiddle.second), Rgb(kCorners[1]));

  gs.SetRenderFlags(render::kRenderFlatShading);
  gs.Gfx().SimulateLoss(gs.GetDevice(), 0);
  EXPECT_EQ(gs.PresentFrame(), 1);
  EXPECT_FALSE(gs.GetRenderFlags() & render::kRenderFlatShading);
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsShadeMode), uint32_t(kShadeGouraud));
}

INSTANTIATE_TEST_SUITE_P(EffectAndFixed, Shading, ::testing::Values(1, 0));

}  // namespace
