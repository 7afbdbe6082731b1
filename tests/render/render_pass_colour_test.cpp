// render_pass_colour_test.cpp -- the colours the effect's passes really draw:
// 3D sprites, mirror and shadowed mirror meshes, bump mapping, all three
// shadow cascades, the mesh pass's bloom and glare outputs, and the post
// passes' spreads, down-sampling and heat copy, read back from the target.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "render_fixture.h"

namespace {

using namespace platform;
using render::TextureHolder;
using rendertest::MeshVertex;
using rendertest::RenderFixture;
using rendertest::SpriteVertex;

class PassColour : public RenderFixture {
 protected:
  std::deque<TextureHolder> owned;  // stable addresses

  ~PassColour() override {
    for (TextureHolder& h : owned) h.ReleaseTexture(gs);
  }

  // The effect built with `header`, no fog, emphasis 1.
  void StartEffect(const char* header, int width = 64, int height = 48) {
    Start(1, width, height);
    ASSERT_EQ(gs.CreateEffect(header), 1);
    gs.SetFog(0, 0, {0, 0, 0});
  }

  // A 1 x 1 texture of one ARGB colour, released with the fixture.
  GfxTexture* Filled(uint32_t argb) {
    owned.emplace_back();
    EXPECT_EQ(owned.back().CreateFilledTexture(gs, 1, 1, argb, 0), 0u);
    return owned.back().texture;
  }

  // A w x h render target, released with the fixture.
  TextureHolder* Target(int w, int h) {
    owned.emplace_back();
    EXPECT_EQ(owned.back().CreateRenderTarget(gs, w, h, kFmtA8R8G8B8), 0u);
    return &owned.back();
  }

  // Red, green, blue of one pixel of any target.
  std::vector<int> Read(TextureHolder& holder, int x, int y) {
    uint8_t bgr[3] = {};
    EXPECT_EQ(holder.ReadTexturePixels(gs, bgr, x, y, x + 1, y + 1), 3);
    return {bgr[2], bgr[1], bgr[0]};
  }

  // The fixture's target made anew at w x h.
  void Retarget(int w, int h) {
    gs.SetRenderTarget(nullptr, 0, 0);
    target.ReleaseTexture(gs);
    UseTarget(w, h);
  }

  // One case of the mesh pass's three outputs on a 16 x 16 target: the effect
  // built with `header`, targets 1 and 2 bound, `draw` run, then the red of
  // the centre pixel of each output compared (-1: the output is not written).
  struct OutputCase {
    const char* header;
    int scene, out1, out2;
  };
  template <typename Draw>
  void CheckMeshOutputs(const OutputCase& c, Draw draw) {
    ASSERT_EQ(gs.CreateEffect(c.header), 1);
    gs.SetFog(0, 0, {0, 0, 0});
    Retarget(16, 16);
    TextureHolder* out1 = Target(16, 16);
    TextureHolder* out2 = Target(16, 16);
    ASSERT_EQ(gs.SetRenderTarget(out1, 1, 1), 0);
    ASSERT_EQ(gs.SetRenderTarget(out2, 2, 1), 0);
    draw();
    EXPECT_NEAR(Pixel(8, 8)[0], c.scene, 2) << c.header;
    if (c.out1 >= 0) {
      EXPECT_NEAR(Read(*out1, 8, 8)[0], c.out1, 2) << c.header;
    }
    if (c.out2 >= 0) {
      EXPECT_NEAR(Read(*out2, 8, 8)[0], c.out2, 2) << c.header;
    }
    gs.SetRenderTarget(nullptr, 2, 0);
    gs.SetRenderTarget(nullptr, 1, 0);
  }

  // Pixels (x0, y0) to (x1, y1) (exclusive) of a w x h target in one colour,
  // drawn with the plain sprite pass: 768 2D units span the target's height
  // around its centre.
  void PaintPixels(int w, int h, int x0, int y0, int x1, int y1, float r, float g, float b) {
    float unit = 768.0f / float(h);
    DrawQuad2D((float(x0) - float(w) / 2) * unit, (float(y0) - float(h) / 2) * unit, (float(x1) - float(w) / 2) * unit,
               (float(y1) - float(h) / 2) * unit, gs.GetWhiteTexture()->texture, r, g, b, 1);
  }

  // The whole w x h target 0 covered by `texture` through `pass`.
  void CopyWith(int w, int h, GfxTexture* texture, int pass) {
    float halfWidth = 384.0f * float(w) / float(h);
    DrawQuad2D(-halfWidth, -384, halfWidth, 384, texture, 1, 1, 1, 1, pass);
  }

  // A ground square of side 200 at height 0, normal up, with `pass`; the
  // camera looks straight down at it from 50 units above.
  void DrawGround(int pass) {
    MeshVertex quad[4];
    float c[4][2] = {{-100, -100}, {-100, 100}, {100, 100}, {100, -100}};
    for (int i = 0; i < 4; i++) quad[i] = {c[i][0], 0, c[i][1], 0, 1, 0, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0};
    gs.SetDrawMode(0);
    gs.ClearRenderFlags(render::kRenderCull);
    gs.BindTexture(nullptr);
    gs.SetCamera3D({0, 50, 0}, {0, -1, 0}, {0, 0, 1}, 1.2f);
    gs.Gfx().SetMatrix(gs.GetEffect(), gs.Handles().world[0], MatrixIdentity());
    gs.BeginScenePass(1, pass);
    gs.Gfx().DrawPrimitiveUP(gs.GetDevice(), kPrimTriangleFan, 2, quad, sizeof quad[0]);
  }

  // Cascade n: an orthographic light camera above (x, 0, 0) seeing a
  // square of `size`, with `map` as its shadow map.
  void Cascade(int n, float x, float size, GfxTexture* map) {
    gs.SetDrawMode(0);
    gs.SetDepthRange(1.0f, 200.0f);  // the ground well inside the light's depth
    gs.SetShadowCamera({x, 100, 0}, {0, -1, 0}, {0, 0, 1}, size);
    ASSERT_EQ(gs.SetShadowCascade(n), 1);
    ASSERT_EQ(gs.BindShadowTexture(n, map), 1);
  }
};

void ExpectNear(const std::vector<int>& got, const std::vector<int>& want, int tolerance, const char* what) {
  for (size_t i = 0; i < 3; i++) EXPECT_NEAR(got[i], want[i], tolerance) << what << " channel " << i;
}

// ----------------------------------------------------------------------------
// P3: 3D sprites
// ----------------------------------------------------------------------------

TEST_F(PassColour, ThreeDSpritesShowTextureTimesColourTimesEmphasis) {
  StartEffect("");
  Retarget(32, 32);
  LookForward();
  GfxTexture* tex = Filled(0xFF80FFFFu);
  struct Case {
    uint32_t flag;
    std::vector<int> want;
  } cases[] = {
      {0, {128, 128, 64}},
      {render::kRenderColorX2, {255, 255, 128}},
      {render::kRenderColorX4, {255, 255, 255}},
  };
  for (const Case& c : cases) {
    gs.ClearRenderFlags(render::kRenderColorX2 | render::kRenderColorX4);
    if (c.flag) gs.SetRenderFlags(c.flag);
    gs.SetDrawMode(1);
    SpriteVertex v[4] = {{-20, 20, 10, 0, 0, 0, 1, 0.5f, 0.25f, 1},
                         {20, 20, 10, 0, 1, 0, 1, 0.5f, 0.25f, 1},
                         {20, -20, 10, 0, 1, 1, 1, 0.5f, 0.25f, 1},
                         {-20, -20, 10, 0, 0, 1, 1, 0.5f, 0.25f, 1}};
    gs.BindTexture(tex);
    gs.Gfx().SetMatrix(gs.GetEffect(), gs.Handles().world[0], MatrixIdentity());
    gs.BeginScenePass(1, render::SHADER_PASS_3DSPRITE);
    gs.Gfx().DrawPrimitiveUP(gs.GetDevice(), kPrimTriangleFan, 2, v, sizeof v[0]);
    ExpectNear(Pixel(16, 16), c.want, 2, "3D sprite");
  }
}

// ----------------------------------------------------------------------------
// P5 / P7: mirror meshes
// ----------------------------------------------------------------------------

// Lit by the ambient only, white specular, so the mirror blend is
// clamp(Fresnel x rate) and nothing else adds.
class MirrorColour : public PassColour {
 protected:
  TextureHolder* image = nullptr;

  // A 64 x 48 mirror image in four quadrants: red, green / blue, white.
  void MakeMirrorImage() {
    image = Target(64, 48);
    ASSERT_EQ(gs.SetRenderTarget(image, 0, 1), 0);
    PaintPixels(64, 48, 0, 0, 32, 24, 1, 0, 0);
    PaintPixels(64, 48, 32, 0, 64, 24, 0, 1, 0);
    PaintPixels(64, 48, 0, 24, 32, 48, 0, 0, 1);
    PaintPixels(64, 48, 32, 24, 64, 48, 1, 1, 1);
    ASSERT_EQ(Read(*image, 8, 6), (std::vector<int>{255, 0, 0}));
    ASSERT_EQ(Read(*image, 56, 42), (std::vector<int>{255, 255, 255}));
  }

  // The square faces the camera; its normal (nx, ny, nz) may lean.
  void DrawMirrorSquare(float rate, float nx = 0, float ny = 0, float nz = -1) {
    Retarget(64, 48);
    LookForward();
    gs.SetLight({0, 1, 0}, {0, 0, 0}, {1, 1, 1});
    gs.BindSpecularTexture(Filled(0xFFFFFFFFu));
    gs.BindMirrorTexture(image->texture);
    gs.SetMirrorHeight(-1.0e6f);
    gs.SetMirrorRate(rate);
    gs.SetMirrorView();
    gs.SetDrawMode(0);
    gs.BindTexture(nullptr);
    MeshVertex v[4];
    float corners[4][2] = {{-20, 20}, {20, 20}, {20, -20}, {-20, -20}};
    for (int i = 0; i < 4; i++)
      v[i] = {corners[i][0], corners[i][1], 10, nx, ny, nz, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0};
    gs.Gfx().SetMatrix(gs.GetEffect(), gs.Handles().world[0], MatrixIdentity());
    gs.BeginScenePass(1, render::SHADER_PASS_3DMESH_MIRROR);
    gs.Gfx().DrawPrimitiveUP(gs.GetDevice(), kPrimTriangleFan, 2, v, sizeof v[0]);
  }
};

TEST_F(MirrorColour, TheMirrorImageIsLookedUpWhereThePixelIsOnScreen) {
  StartEffect("#define MIRROR\n");
  MakeMirrorImage();
  DrawMirrorSquare(5.0f);  // Fresnel 0.2 x 5: the image replaces the texture
  ExpectNear(Pixel(12, 10), {255, 0, 0}, 3, "top left");
  ExpectNear(Pixel(52, 10), {0, 255, 0}, 3, "top right");
  ExpectNear(Pixel(12, 38), {0, 0, 255}, 3, "bottom left");
  ExpectNear(Pixel(52, 38), {255, 255, 255}, 3, "bottom right");
  // A normal leaning along the camera's right or up moves the lookup by a
  // fifth of its lean: about 0.14 of the image, here across the middle.
  // (The lookup sits half a texel above the pixel's own row, so the rows
  // tested keep a texel or more from the image's middle line.)
  struct Case {
    float nx, ny;
    int x, y;
    std::vector<int> want;
  } cases[] = {
      {0.7071f, 0, 24, 10, {0, 255, 0}},    // red's right edge reads green
      {0.7071f, 0, 24, 38, {255, 255, 255}},
      {-0.7071f, 0, 40, 10, {255, 0, 0}},   // green's left edge reads red
      {0, 0.7071f, 12, 30, {255, 0, 0}},    // blue's top edge reads red
      {0, -0.7071f, 52, 20, {255, 255, 255}},  // green's bottom edge reads white
  };
  for (const Case& c : cases) {
    MakeMirrorImage();
    DrawMirrorSquare(5.0f, c.nx, c.ny, -0.7071f);
    ExpectNear(Pixel(c.x, c.y), c.want, 3, (std::to_string(c.x) + "," + std::to_string(c.y)).c_str());
  }
}

TEST_F(MirrorColour, TheRateWeighsTheImageAndNoMirrorSwitchDrawsPlain) {
  struct Case {
    const char* header;
    float rate;
    std::vector<int> want;  // near the centre, in the red quadrant
  } cases[] = {
      {"#define MIRROR\n", 5.0f, {255, 0, 0}},
      {"#define MIRROR\n", 1.0f, {255, 204, 204}},  // head on, Fresnel 0.2
      {"#define MIRROR\n", 0.0f, {255, 255, 255}},
      {"", 5.0f, {255, 255, 255}},
  };
  Start(1, 64, 48);
  for (const Case& c : cases) {
    ASSERT_EQ(gs.CreateEffect(c.header), 1);
    gs.SetFog(0, 0, {0, 0, 0});
    MakeMirrorImage();
    DrawMirrorSquare(c.rate);
    ExpectNear(Pixel(20, 15), c.want, 3, c.header);
  }
}

TEST_F(MirrorColour, ShadowedMirrorMeshesTakeBothTheImageAndTheShadow) {
  StartEffect("#define MIRROR\n#define SHADOW\n");
  Retarget(64, 48);
  gs.SetLight({1, -1, 0}, {1, 1, 1}, {0, 0, 0});
  gs.BindSpecularTexture(Filled(0xFFFFFFFFu));
  gs.BindMirrorTexture(Filled(0xFFFF0000u));
  gs.SetMirrorHeight(-1.0e6f);
  Cascade(0, 0, 20, Filled(0xFFFFFFFFu));  // shadows everything it sees
  gs.SetMirrorRate(5.0f);
  gs.SetShadowedPasses(1);
  DrawGround(render::SHADER_PASS_3DMESH_MIRROR);
  EXPECT_EQ(gs.Gfx().CurrentPass(gs.GetEffect()), render::SHADER_PASS_3DMESH_SHADOW_MIRROR);
  std::vector<int> centre = Pixel(32, 24), corner = Pixel(1, 1);
  EXPECT_LT(centre[0], 30);  // under the cascade
  EXPECT_GT(corner[0], 150);  // the light on the mirrored red
  EXPECT_LT(corner[1], 30);
  EXPECT_LT(corner[2], 30);
  // The same mesh unshadowed is red all over.
  gs.SetShadowedPasses(0);
  DrawGround(render::SHADER_PASS_3DMESH_MIRROR);
  EXPECT_GT(Pixel(32, 24)[0], 150);
  EXPECT_LT(Pixel(32, 24)[1], 30);
}

// ----------------------------------------------------------------------------
// Shadow cascades
// ----------------------------------------------------------------------------

TEST_F(PassColour, AllShadowAddsCascadesOneAndTwoAndTwoOnlyOutsideOne) {
  struct Case {
    const char* header;
    uint32_t cascade1;
    bool centreDark, cornerDark;
  } cases[] = {
      {"#define SHADOW\n", 0xFFFFFFFFu, false, false},  // cascade 0 alone, and it is clear
      {"#define SHADOW\n#define ALLSHADOW\n", 0xFF000000u, false, true},
      {"#define SHADOW\n#define ALLSHADOW\n", 0xFFFFFFFFu, true, true},
  };
  Start(1, 64, 48);
  for (const Case& c : cases) {
    ASSERT_EQ(gs.CreateEffect(c.header), 1);
    gs.SetFog(0, 0, {0, 0, 0});
    Retarget(64, 48);
    gs.SetLight({1, -1, 0}, {1, 1, 1}, {0, 0, 0});
    gs.BindSpecularTexture(Filled(0xFF000000u));
    Cascade(0, 0, 200, Filled(0xFF000000u));
    Cascade(1, 0, 20, Filled(c.cascade1));   // the centre only
    Cascade(2, 0, 200, Filled(0xFFFFFFFFu));  // all of the ground
    gs.SetShadowedPasses(1);
    DrawGround(render::SHADER_PASS_3DMESH);
    gs.SetShadowedPasses(0);
    int lit = 180;  // cos 45 degrees
    int centre = Pixel(32, 24)[0], corner = Pixel(1, 1)[0];
    EXPECT_NEAR(centre, c.centreDark ? 0 : lit, 4) << c.header;
    EXPECT_NEAR(corner, c.cornerDark ? 0 : lit, 4) << c.header;
  }
}

// ----------------------------------------------------------------------------
// Bump mapping
// ----------------------------------------------------------------------------

TEST_F(PassColour, BumpTexturesBendTheNormalAlongTangentAndBinormal) {
  // The square faces the camera (normal -z, tangent +x, binormal +y); the
  // light comes in at 45 degrees from the -x side.
  struct Case {
    const char* header;
    uint32_t bump;
    int want;
  } cases[] = {
      {"#define BUMP\n", 0xFF808080u, 180},  // flat: cos 45 degrees
      {"#define BUMP\n", 0xFFFF8080u, 255},  // leans into the light
      {"#define BUMP\n", 0xFF008080u, 0},    // leans away
      {"#define BUMP\n", 0xFF80FF80u, 128},  // leans down: cos 60 degrees
      {"", 0xFFFF8080u, 180},                // no switch: the map is ignored
  };
  Start(1, 32, 32);
  for (const Case& c : cases) {
    ASSERT_EQ(gs.CreateEffect(c.header), 1);
    gs.SetFog(0, 0, {0, 0, 0});
    Retarget(32, 32);
    LookForward();
    gs.SetLight({1, 0, 1}, {1, 1, 1}, {0, 0, 0});
    gs.BindSpecularTexture(Filled(0xFF000000u));
    gs.BindBumpTexture(Filled(c.bump));
    DrawMeshSquare(10, 40, 1, 1, 1);
    EXPECT_NEAR(Pixel(16, 16)[0], c.want, 3) << c.header << std::hex << c.bump;
  }
}

// ----------------------------------------------------------------------------
// The mesh pass's bloom and glare outputs
// ----------------------------------------------------------------------------

TEST_F(PassColour, MeshLightMapsSplitBetweenSceneBloomAndGlare) {
  // Ambient 0.5 on white, a light map of 0.4, glare rate 0.5, no specular.
  const OutputCase cases[] = {
      {"", 230, -1, -1},                                 // 0.5 + 0.4
      {"#define BLOOM\n", 128, 102, -1},                 // bloom 0.4
      {"#define GLARE\n", 179, 51, -1},                  // 0.5 + 0.2; glare 0.2
      {"#define BLOOM\n#define GLARE\n", 128, 51, 51},  // bloom 0.2, glare 0.2
  };
  Start(1, 16, 16);
  for (const OutputCase& c : cases) {
    CheckMeshOutputs(c, [&] {
      LookForward();
      gs.SetLight({0, 1, 0}, {0, 0, 0}, {0.5f, 0.5f, 0.5f});
      gs.BindSpecularTexture(Filled(0xFF000000u));
      gs.BindLightTexture(Filled(0xFF666666u));
      gs.SetGlareRate(0.5f);
      DrawMeshSquare(10, 40, 1, 1, 1);
    });
  }
}

TEST_F(PassColour, MeshSpecularGoesToBloomAndAFifthToGlare) {
  // A dark square (0.2) under a white light from behind the camera: head on
  // the specular is 0.2 (Fresnel), the diffuse 0.2; no light map.
  const OutputCase cases[] = {
      {"", 102, -1, -1},
      {"#define BLOOM\n", 51, 51, -1},
      {"#define GLARE\n", 92, 10, -1},                 // 0.2 + 0.8 x 0.2; glare 0.2 x 0.2
      {"#define BLOOM\n#define GLARE\n", 51, 41, 10},
  };
  Start(1, 16, 16);
  for (const OutputCase& c : cases) {
    CheckMeshOutputs(c, [&] {
      LookForward();
      gs.SetLight({0, 0, 1}, {1, 1, 1}, {0, 0, 0});
      gs.BindSpecularTexture(Filled(0xFFFFFFFFu));
      gs.BindLightTexture(nullptr);
      gs.SetGlareRate(0.5f);
      DrawMeshSquare(10, 40, 0.2f, 0.2f, 0.2f);
    });
  }
}

TEST_F(PassColour, ARebuiltEffectStillSendsTheGlareRate) {
  StartEffect("#define GLARE\n", 16, 16);
  EXPECT_EQ(gs.SetGlareRate(0.5f), 0.0f);
  // Rebuilt as when the shader settings change; the caller sends the
  // same rate again, which the setter skips as unchanged.
  ASSERT_EQ(gs.CreateEffect("#define GLARE\n"), 1);
  EXPECT_EQ(gs.SetGlareRate(0.5f), 0.5f);
  Retarget(16, 16);
  TextureHolder* glare = Target(16, 16);
  ASSERT_EQ(gs.SetRenderTarget(glare, 1, 1), 0);
  LookForward();
  gs.SetLight({0, 1, 0}, {0, 0, 0}, {0, 0, 0});
  gs.BindSpecularTexture(Filled(0xFF000000u));
  gs.BindLightTexture(Filled(0xFFFFFFFFu));
  DrawMeshSquare(10, 40, 1, 1, 1);
  ExpectNear(Pixel(8, 8), {128, 128, 128}, 2, "scene: the light map's other half");
  ExpectNear(Read(*glare, 8, 8), {128, 128, 128}, 2, "glare");
  gs.SetRenderTarget(nullptr, 1, 0);
}

TEST_F(PassColour, FogTakesTheSceneToItsColourAndBloomAndGlareToBlack) {
  StartEffect("#define BLOOM\n#define GLARE\n", 16, 16);
  Retarget(16, 16);
  TextureHolder* bloom = Target(16, 16);
  TextureHolder* glare = Target(16, 16);
  ASSERT_EQ(gs.SetRenderTarget(bloom, 1, 1), 0);
  ASSERT_EQ(gs.SetRenderTarget(glare, 2, 1), 0);
  LookForward();
  gs.SetLight({0, 1, 0}, {0, 0, 0}, {0.5f, 0.5f, 0.5f});
  gs.BindSpecularTexture(Filled(0xFF000000u));
  gs.BindLightTexture(Filled(0xFFFFFFFFu));
  gs.SetGlareRate(0.5f);
  gs.SetFog(2, 10, {0, 1, 0});  // the square at depth 10: fog 1, or very near it
  DrawMeshSquare(10, 40, 1, 1, 1);
  ExpectNear(Pixel(8, 8), {0, 255, 0}, 3, "scene");
  ExpectNear(Read(*bloom, 8, 8), {0, 0, 0}, 3, "bloom");
  ExpectNear(Read(*glare, 8, 8), {0, 0, 0}, 3, "glare");
  gs.SetFog(0, 20, {0, 1, 0});  // half way
  DrawMeshSquare(10, 40, 1, 1, 1);
  ExpectNear(Pixel(8, 8), {64, 191, 64}, 3, "scene half");
  ExpectNear(Read(*bloom, 8, 8), {64, 64, 64}, 3, "bloom half");
  ExpectNear(Read(*glare, 8, 8), {64, 64, 64}, 3, "glare half");
  gs.SetRenderTarget(nullptr, 2, 0);
  gs.SetRenderTarget(nullptr, 1, 0);
}

// ----------------------------------------------------------------------------
// Post passes
// ----------------------------------------------------------------------------

TEST_F(PassColour, BloomAndGlareCopiesSpreadALightOneAndTwoTexels) {
  // One white texel in a 9 x 9 black field, copied at the same size.
  struct Case {
    const char* header;
    int pass;
    int near, far;
  } cases[] = {
      {"#define BLOOM\n", render::SHADER_PASS_BLOOM_COPY, 128, 64},
      {"#define GLARE\n", render::SHADER_PASS_GLARE_COPY, 230, 115},
      {"", render::SHADER_PASS_BLOOM_COPY, 0, 0},  // plain copies without the switch
      {"", render::SHADER_PASS_GLARE_COPY, 0, 0},
  };
  Start(1, 64, 48);
  for (const Case& c : cases) {
    ASSERT_EQ(gs.CreateEffect(c.header), 1);
    TextureHolder* source = Target(9, 9);
    ASSERT_EQ(gs.SetRenderTarget(source, 0, 1), 0);
    PaintPixels(9, 9, 4, 4, 5, 5, 1, 1, 1);
    ASSERT_EQ(Read(*source, 4, 4), (std::vector<int>{255, 255, 255}));
    Retarget(9, 9);
    CopyWith(9, 9, source->texture, c.pass);
    EXPECT_NEAR(Pixel(4, 4)[0], 255, 1) << c.header;
    for (int d : {-1, 1}) {
      EXPECT_NEAR(Pixel(4 + d, 4)[0], c.near, 2) << c.header << " x " << d;
      EXPECT_NEAR(Pixel(4, 4 + d)[0], c.near, 2) << c.header << " y " << d;
      EXPECT_NEAR(Pixel(4 + 2 * d, 4)[0], c.far, 2) << c.header << " x " << 2 * d;
      EXPECT_NEAR(Pixel(4, 4 + 2 * d)[1], c.far, 2) << c.header << " y " << 2 * d;
      EXPECT_EQ(Pixel(4 + d, 4 + d)[0], 0) << c.header;  // no diagonals
      EXPECT_EQ(Pixel(4 + 3 * d, 4)[0], 0) << c.header;
    }
  }
}

TEST_F(PassColour, SmallCopiesAverageEachTwoByTwoBlock) {
  StartEffect("");
  // A 4 x 2 source: the left block four reds, the right block green 200.
  TextureHolder* source = Target(4, 2);
  ASSERT_EQ(gs.SetRenderTarget(source, 0, 1), 0);
  const float reds[4] = {0, 80, 160, 240};
  for (int i = 0; i < 4; i++) PaintPixels(4, 2, i % 2, i / 2, i % 2 + 1, i / 2 + 1, reds[i] / 255, 0, 0);
  PaintPixels(4, 2, 2, 0, 4, 2, 0, 200.0f / 255, 0);
  ASSERT_EQ(Read(*source, 1, 1), (std::vector<int>{240, 0, 0}));
  Retarget(2, 1);
  CopyWith(2, 1, source->texture, render::SHADER_PASS_SMALL_COPY);
  ExpectNear(Pixel(0, 0), {120, 0, 0}, 1, "left block");
  ExpectNear(Pixel(1, 0), {0, 200, 0}, 1, "right block");
}

TEST_F(PassColour, HeatCopiesBlendTheSceneByTheHeatsLargestChannel) {
  struct Case {
    uint32_t heat;
    std::vector<int> want;  // over black
  } cases[] = {
      {0xFF204060u, {24, 48, 72}},  // alpha 0x60
      {0xFF00C000u, {48, 96, 144}},  // alpha 0xC0
      {0xFF000000u, {0, 0, 0}},
      {0xFFFFFFFFu, {64, 128, 192}},
  };
  StartEffect("");
  GfxTexture* scene = Filled(0xFF4080C0u);
  for (const Case& c : cases) {
    Retarget(8, 8);
    gs.BindHeatTexture(Filled(c.heat));
    CopyWith(8, 8, scene, render::SHADER_PASS_HEAT_COPY);
    ExpectNear(Pixel(4, 4), c.want, 2, "heat");
  }
}

}  // namespace
