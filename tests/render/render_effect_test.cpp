// render_effect_test.cpp -- the effect's passes and parameters, light, fog,
// spot lights, shadows and the path without shaders.

#include <cfloat>
#include <cmath>

#include "render_fixture.h"
#include "test_support.h"

#include "core/core_public.h"

namespace {

using namespace platform;
using render::TextureHolder;
using rendertest::RenderFixture;

class Effect : public RenderFixture {
 protected:
  std::vector<float> Param(int handle) {
    float v[16] = {};
    int n = gs.Gfx().GetParameterValue(gs.GetEffect(), handle, v);
    return std::vector<float>(v, v + n);
  }
};

TEST_F(Effect, SpritePassMultipliesVertexAndObjectColour) {
  Start(1);
  UseTarget(64, 768);
  gs.SetObjectColorParameter(0.5f, 0.5f, 0.5f, 1.0f);
  DrawQuad2D(0, 0, 1, 1, gs.GetWhiteTexture()->texture, 0.5f, 0, 0, 1);
  EXPECT_EQ(Pixel(32, 384), (std::vector<int>{64, 0, 0}));
}

TEST_F(Effect, AnaglyphEyesUseTheirColourMatrices) {
  Start(1);
  UseTarget(64, 768);
  struct Case {
    int eye;
    float r, g, b;
    std::vector<int> expect;
  } cases[] = {
      {1, 1, 0, 0, {106, 0, 0}},    // 0.4155
      {1, 0, 1, 0, {120, 0, 0}},    // 0.4710
      {1, 0, 0, 1, {43, 0, 3}},     // 0.1670, -0.0258, 0.0128
      {2, 1, 0, 0, {0, 96, 0}},     // -0.0109, 0.3756, -0.0651
      {2, 0, 1, 0, {0, 187, 0}},    // 0.7333
      {2, 0, 0, 1, {0, 3, 255}},    // 1.2968 saturates
      {0, 0.2f, 0.4f, 0.6f, {51, 102, 153}},
  };
  for (const Case& c : cases) {
    gs.SetAnaglyphEye(c.eye);
    DrawQuad2D(0, 0, 1, 1, gs.GetWhiteTexture()->texture, c.r, c.g, c.b, 1);
    EXPECT_EQ(gs.Gfx().CurrentPass(gs.GetEffect()), c.eye == 0 ? 0 : c.eye);
    std::vector<int> got = Pixel(32, 384);
    for (int i = 0; i < 3; i++) EXPECT_NEAR(got[size_t(i)], c.expect[size_t(i)], 1) << "eye " << c.eye << " " << i;
  }
}

TEST_F(Effect, PassesAreRemappedForShadowsAndEyes) {
  Start(1);
  const GfxApi& api = gs.Gfx();
  gs.SetShadowedPasses(1);
  gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
  EXPECT_EQ(api.CurrentPass(gs.GetEffect()), render::SHADER_PASS_3DMESH_SHADOW);
  gs.BeginScenePass(1, render::SHADER_PASS_3DMESH_MIRROR);
  EXPECT_EQ(api.CurrentPass(gs.GetEffect()), render::SHADER_PASS_3DMESH_SHADOW_MIRROR);
  gs.SetShadowedPasses(0);
  gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
  EXPECT_EQ(api.CurrentPass(gs.GetEffect()), render::SHADER_PASS_3DMESH);
  gs.BeginScenePass(0, 0);
  EXPECT_EQ(api.CurrentPass(gs.GetEffect()), -1);
  int passes = 0;
  api.Begin(gs.GetEffect(), &passes);
  EXPECT_EQ(passes, 13);
}

class FogBothPaths : public Effect, public ::testing::WithParamInterface<int> {};

TEST_P(FogBothPaths, FogAtHalfRangeBlendsHalfway) {
  Start(GetParam());
  UseTarget(16, 16);
  LookForward();
  gs.SetFog(10.0f, 30.0f, {1, 1, 1});
  DrawMeshSquare(20.0f, 100.0f, 0, 0, 0, false);
  std::vector<int> p = Pixel(8, 8);
  for (int c : p) EXPECT_NEAR(c, 128, 1);
  gs.SetRenderTarget(&target, 0, 1);
  DrawMeshSquare(35.0f, 100.0f, 0, 0, 0, false);
  EXPECT_EQ(Pixel(8, 8), (std::vector<int>{255, 255, 255}));
}

INSTANTIATE_TEST_SUITE_P(EffectAndFixed, FogBothPaths, ::testing::Values(1, 0));

TEST_F(Effect, EmptyFogRangeAndFreeSpotSlotsShadeCleanly) {
  Start(1);
  ASSERT_TRUE(gs.CreateEffect("#define MULTI\n"));
  UseTarget(16, 16);
  LookForward();
  gs.SetLight({0, 0, 1}, {0, 0, 0}, {1, 1, 1});
  gs.SetFog(10.0f, 10.0f, {1, 0, 0});
  render::SpotLightPool pool;
  gs.SubmitSpotLights(pool);  // every place free: far away, nearly no power
  DrawMeshSquare(20.0f, 100.0f, 0.5f, 0.5f, 0.5f);
  std::vector<int> p = Pixel(8, 8);
  for (int c : p) EXPECT_NEAR(c, 128, 1);
}

TEST_F(Effect, ASpotLightLightsWhatItPointsAt) {
  Start(1);
  ASSERT_TRUE(gs.CreateEffect("#define MULTI\n"));
  UseTarget(16, 16);
  LookForward();
  gs.SetLight({0, 0, 1}, {0, 0, 0}, {0, 0, 0});
  render::SpotLightPool pool;
  ASSERT_EQ(pool.AddSpotLight({0, 0, 10}, {0, 0, 1}, {1, 0, 0}, 20.0f, 0.5f, 100), 0);
  gs.SubmitSpotLights(pool);
  DrawMeshSquare(20.0f, 100.0f, 1, 1, 1);
  std::vector<int> p = Pixel(8, 8);
  EXPECT_GT(p[0], 200);
  EXPECT_LE(p[1], 2);  // a trace of the default fog
}

TEST_F(Effect, SpotLightConesAndSlots) {
  Start(1);
  ASSERT_EQ(gs.SetSpotLight(0, {1, 2, 3}, {0, 0, 2}, {1, 1, 1}, 5.0f, 0.0f), 1);
  std::vector<float> size = Param(gs.Handles().spotSize[0]);
  ASSERT_EQ(size.size(), 1u);
  EXPECT_EQ(size[0], 0.5f / FLT_MIN);
  EXPECT_TRUE(std::isfinite(size[0]));
  EXPECT_EQ(Param(gs.Handles().spotDir[0]), (std::vector<float>{0, 0, 1}));
  gs.SetSpotLight(1, {0, 0, 0}, {0, 1, 0}, {1, 1, 1}, 5.0f, 2.0f);
  EXPECT_EQ(Param(gs.Handles().spotSize[1]), std::vector<float>{0.5f});
  EXPECT_EQ(gs.SetSpotLight(8, {0, 0, 0}, {0, 1, 0}, {1, 1, 1}, 5.0f, 1.0f), 0);  // no handle
  EXPECT_EQ(gs.SetSpotLight(16, {0, 0, 0}, {0, 1, 0}, {1, 1, 1}, 5.0f, 1.0f), 0);
}

TEST_F(Effect, SpotLightsNearestTheViewGoFirstAndFade) {
  Start(1);
  gs.SetCamera3D({0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f);
  render::SpotLightPool pool;
  // Twenty equal lights at growing distances from the point 100 ahead,
  // added farthest first so that slot order is not distance order.
  for (int i = 19; i >= 0; i--)
    EXPECT_GE(pool.AddSpotLight({float(i * 10), 0, 100}, {0, -1, 0}, {1, 1, 1}, 10.0f, 1.0f, 50), 0);
  gs.SubmitSpotLights(pool);
  for (int place = 0; place < render::kEffectSpotLights; place++) {
    std::vector<float> pos = Param(gs.Handles().spotPos[place]);
    EXPECT_EQ(pos[0], float(place * 10)) << place;
  }
  // Power fades with age: (lifetime - age + 1) / lifetime.
  EXPECT_EQ(Param(gs.Handles().spotPower[0]), std::vector<float>{10.0f * 51 / 50});
  // A light of one step is gone after one ageing; a full pool refuses.
  render::SpotLightPool small;
  int slot = small.AddSpotLight({0, 0, 0}, {0, 1, 0}, {1, 1, 1}, 1, 1, 1);
  small.AgeSpotLights();
  EXPECT_EQ(small.lifetime[slot], 0);
  for (int i = 0; i < render::kSpotLightPoolSize; i++) small.AddSpotLight({0, 0, 0}, {0, 1, 0}, {1, 1, 1}, 1, 1, 9);
  EXPECT_EQ(small.AddSpotLight({0, 0, 0}, {0, 1, 0}, {1, 1, 1}, 1, 1, 9), -1);
  // An empty pool sends every place black and out of reach.
  gs.SubmitSpotLights(render::SpotLightPool());
  EXPECT_EQ(Param(gs.Handles().spotColor[3]), (std::vector<float>{0, 0, 0, 1}));
  EXPECT_EQ(Param(gs.Handles().spotPos[3])[0], -3.4028235e38f);
}

TEST_F(Effect, LightFogColourAndEmphasisReachTheirParameters) {
  Start(1);
  gs.SetLight({0, -2, 0}, {0.5f, 0.6f, 0.7f}, {0.1f, 0.2f, 0.3f});
  EXPECT_EQ(Param(gs.Handles().lightDir), (std::vector<float>{0, 1, 0}));
  EXPECT_EQ(Param(gs.Handles().lightColor), (std::vector<float>{0.5f, 0.6f, 0.7f, 1}));
  EXPECT_EQ(Param(gs.Handles().envColor), (std::vector<float>{0.1f, 0.2f, 0.3f, 1}));
  Vec3 dir;
  gs.GetLightDirection(&dir);
  EXPECT_EQ(dir.y, -1.0f);
  // Lighting off blacks the lights out and the ambient goes white; back on
  // restores them.
  gs.ClearRenderFlags(render::kRenderLighting);
  EXPECT_EQ(Param(gs.Handles().lightColor), (std::vector<float>{0, 0, 0, 1}));
  EXPECT_EQ(Param(gs.Handles().envColor), (std::vector<float>{1, 1, 1, 1}));
  gs.SetRenderFlags(render::kRenderLighting);
  EXPECT_EQ(Param(gs.Handles().envColor), (std::vector<float>{0.1f, 0.2f, 0.3f, 1}));

  gs.SetFog(20, 400, {0.25f, 0.5f, 1});
  gs.SetFog(-1, 500, {1, 0, 0});
  float start, end;
  Vec3 colour;
  gs.GetFog(&start, &end, &colour);
  EXPECT_EQ(start, 20);
  EXPECT_EQ(end, 500);
  EXPECT_EQ(Param(gs.Handles().fogColor), (std::vector<float>{1, 0, 0, 1}));

  gs.SetRenderFlags(render::kRenderColorX2);
  EXPECT_EQ(Param(gs.Handles().emphasis), std::vector<float>{2});
  gs.SetRenderFlags(render::kRenderColorX4);
  EXPECT_EQ(Param(gs.Handles().emphasis), std::vector<float>{4});
  gs.ClearRenderFlags(render::kRenderColorX4);
  EXPECT_EQ(Param(gs.Handles().emphasis), std::vector<float>{2});

  EXPECT_EQ(gs.SetGlareRate(0.3f), 0.0f);
  EXPECT_EQ(gs.SetGlareRate(0.3f), 0.3f);
  gs.SetMirrorMode(1);
  EXPECT_EQ(Param(gs.Handles().zSign), std::vector<float>{-1});
  gs.SetMirrorMode(0);
  EXPECT_EQ(gs.Handles().envTexture, 0);  // the effect has no such parameter
  EXPECT_EQ(gs.Handles().spotColor[8], 0);
}

TEST_F(Effect, ShadowCascadesTakeTheCurrentCamera) {
  Start(1);
  gs.SetDrawMode(0);
  std::vector<float> before = Param(gs.Handles().shadowVproj[0]);
  EXPECT_EQ(gs.SetShadowCascade(3), 0);
  EXPECT_EQ(Param(gs.Handles().shadowVproj[0]), before);
  gs.SetShadowCamera({0, 100, 0}, {0, -1, 0}, {0, 0, 1}, 50.0f);
  EXPECT_EQ(gs.SetShadowCascade(1), 1);
  Matrix vp = MatrixMultiply(gs.GetViewMatrix(), gs.GetProjection());
  std::vector<float> got = Param(gs.Handles().shadowVproj[1]);
  for (int i = 0; i < 16; i++) EXPECT_FLOAT_EQ(got[size_t(i)], vp.m[i / 4][i % 4]);

  TextureHolder map;
  ASSERT_EQ(map.CreateRenderTarget(gs, 32, 32, kFmtR16F), 0u);
  EXPECT_EQ(gs.BindShadowMap(0, &map), 0);  // not a shadow map kind
  map.SetTextureFlags(render::kTargetShadowMap);
  EXPECT_EQ(gs.BindShadowMap(0, &map), 1);
  EXPECT_EQ(Param(gs.Handles().shadowSize), std::vector<float>{0.5f / 32});
  EXPECT_EQ(gs.Gfx().GetEffectTexture(gs.GetEffect(), gs.Handles().shadowTexture[0]), map.texture);
  EXPECT_EQ(gs.BindShadowTexture(3, map.texture), 0);
  map.ReleaseTexture(gs);
}

TEST_F(Effect, ACasterShadowsTheReceiver) {
  Start(1);
  ASSERT_TRUE(gs.CreateEffect("#define SHADOW\n"));
  // The caster: a small square at height 10 seen from a light straight above.
  TextureHolder map;
  ASSERT_EQ(map.CreateRenderTarget(gs, 64, 64, kFmtR16F), 0u);
  map.SetTextureFlags(render::kTargetShadowMap);
  ASSERT_EQ(gs.SetRenderTarget(&map, 0, 1), 0);
  gs.SetDepthRange(1.0f, 200.0f);  // depth to spare between caster and ground
  gs.SetDrawMode(0);
  gs.SetCamera3D({0, 100, 0}, {0, -1, 0}, {0, 0, 1}, -40.0f);
  gs.SetShadowCascade(0);
  const GfxApi& api = gs.Gfx();
  rendertest::MeshVertex quad[4];
  float c[4][2] = {{-5, -5}, {-5, 5}, {5, 5}, {5, -5}};
  for (int i = 0; i < 4; i++) quad[i] = {c[i][0], 10, c[i][1], 0, 1, 0, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0};
  api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], MatrixIdentity());
  gs.ClearRenderFlags(render::kRenderCull);
  gs.BindTexture(nullptr);
  gs.BeginScenePass(1, render::SHADER_PASS_3DMESH_SHADOWMAP);
  api.DrawPrimitiveUP(gs.GetDevice(), kPrimTriangleFan, 2, quad, sizeof quad[0]);
  // The receiver: the ground, looked at from above by the scene camera.
  UseTarget(32, 32);
  gs.SetDrawMode(0);
  gs.ClearRenderFlags(render::kRenderCull);
  gs.SetCamera3D({0, 50, 0}, {0, -1, 0}, {0, 0, 1}, 1.2f);
  gs.SetLight({0, -1, 0}, {1, 1, 1}, {0, 0, 0});
  gs.BindShadowMap(0, &map);
  gs.SetShadowedPasses(1);
  for (int i = 0; i < 4; i++) {
    quad[i].y = 0;
    quad[i].x *= 8;
    quad[i].z *= 8;
  }
  gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
  api.DrawPrimitiveUP(gs.GetDevice(), kPrimTriangleFan, 2, quad, sizeof quad[0]);
  EXPECT_LT(Pixel(16, 16)[0], 40);   // under the caster
  EXPECT_GT(Pixel(1, 1)[0], 200);    // out in the light
  gs.SetShadowedPasses(0);
  gs.SetRenderTarget(nullptr, 0, 0);
  map.ReleaseTexture(gs);
}

TEST_F(Effect, RebuildingTheEffectForgetsWhatSlotsHeld) {
  Start(1);
  TextureHolder tex;
  ASSERT_EQ(tex.CreateFilledTexture(gs, 1, 1, 0xFF00FF00u, 0), 0u);
  const GfxApi& api = gs.Gfx();
  gs.BindTexture(tex.texture);
  gs.BindLightTexture(tex.texture);
  ASSERT_TRUE(gs.CreateEffect("#define GLARE\n"));
  gs.BindTexture(tex.texture);
  gs.BindLightTexture(tex.texture);
  EXPECT_EQ(api.GetEffectTexture(gs.GetEffect(), gs.Handles().texture), tex.texture);
  EXPECT_EQ(api.GetEffectTexture(gs.GetEffect(), gs.Handles().lightTexture), tex.texture);
  // The defaults stand in for missing slots; effect-made holders only.
  gs.BindBumpTexture(nullptr);
  EXPECT_EQ(api.GetEffectTexture(gs.GetEffect(), gs.Handles().bumpTexture), gs.GetGreyTexture()->texture);
  TextureHolder fixedMade = tex;
  fixedMade.HolderUsesEffect = 0;
  EXPECT_EQ(gs.BindTextureToEffect(render::kTexSpecularSlot, &fixedMade), 0);
  EXPECT_EQ(gs.BindTextureToEffect(0, &fixedMade), 1);
  tex.ReleaseTexture(gs);
}

TEST_F(Effect, ABrokenShaderShowsTheEffectErrorBoxAndQuits) {
  test::MessageBoxRecorder boxes;
  Start(1);
  int quitCode = 0;
  static int* seen;
  seen = &quitCode;
  gs.quitProgram = [](int code) { *seen = code; };
  EXPECT_EQ(gs.CreateEffect("#error this header breaks the build\n"), 0);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Effect error");
  EXPECT_NE(boxes.Boxes()[0].text.find("this header breaks the build"), std::string::npos);
  EXPECT_EQ(quitCode, -1);
  EXPECT_EQ(gs.GetEffect(), nullptr);
}

TEST_F(Effect, TheFixedPipelineLightsWithTheDirectionalLight) {
  Start(0);
  UseTarget(16, 16);
  LookForward();
  gs.SetFog(0, 0, {0, 0, 0});
  gs.SetDrawMode(2);
  gs.SetDrawMode(0);
  // Facing the light (the normal points back at the camera, the light
  // shines away from it): half grey diffuse, no ambient light.
  gs.SetLight({0, 0, 1}, {1, 1, 1}, {0, 0, 0});
  gs.Gfx().SetRenderState(gs.GetDevice(), kRsAmbient, 0);
  DrawMeshSquare(20.0f, 100.0f, 0.5f, 0.5f, 0.5f);
  for (int c : Pixel(8, 8)) EXPECT_NEAR(c, 128, 1);
  gs.SetRenderTarget(&target, 0, 1);
  gs.SetDrawMode(0);
  gs.SetLight({0, 0, -1}, {1, 1, 1}, {0, 0, 0});  // from behind: dark
  DrawMeshSquare(20.0f, 100.0f, 0.5f, 0.5f, 0.5f);
  for (int c : Pixel(8, 8)) EXPECT_LE(c, 1);
}

}  // namespace

namespace {

using namespace platform;

class EffectHeaders : public rendertest::RenderFixture {};

TEST_F(EffectHeaders, EverySwitchCombinationBuilds) {
  test::MessageBoxRecorder boxes;
  Start(1);
  const char* headers[] = {
      "",
      "#define BLOOM\n",
      "#define GLARE\n",
      "#define BLOOM\n#define GLARE\n",
      "#define MIRROR\n",
      "#define MULTI\n#define BUMP\n",
      "#define SHADOW\n",
      "#define SHADOW\n#define ALLSHADOW\n",
      "#define HEAT\n",
      "#define BLOOM\n#define GLARE\n#define MIRROR\n#define MULTI\n#define BUMP\n#define SHADOW\n#define ALLSHADOW\n",
  };
  for (const char* header : headers) {
    EXPECT_EQ(gs.CreateEffect(header), 1) << header;
    int passes = 0;
    gs.Gfx().Begin(gs.GetEffect(), &passes);
    EXPECT_EQ(passes, 13);
    // The parameters are the same whatever the switches.
    EXPECT_NE(gs.Handles().mirrorHeight, 0);
    EXPECT_NE(gs.Handles().shadowVproj[2], 0);
    EXPECT_NE(gs.Handles().spotSize[7], 0);
  }
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(EffectHeaders, MirrorParametersFollowTheTargetAndCamera) {
  Start(1, 64, 48);
  EXPECT_EQ(gs.SetMirrorRate(0.75f), 1);
  float v[16];
  const GfxApi& api = gs.Gfx();
  ASSERT_EQ(api.GetParameterValue(gs.GetEffect(), gs.Handles().mirrorOffset, v), 2);
  EXPECT_FLOAT_EQ(v[0], 0.5f + 1.0f / 128);
  EXPECT_FLOAT_EQ(v[1], 0.5f - 1.0f / 96);
  gs.SetCamera3D({0, 0, 0}, {0, -1, 0}, {0, 0, 1}, 1.0f);  // straight down
  gs.SetMirrorView();
  ASSERT_EQ(api.GetParameterValue(gs.GetEffect(), gs.Handles().mirrorViewDir, v), 3);
  EXPECT_EQ(v[2], 1.0f);
  gs.SetCamera3D({0, 0, 0}, {3, 1, 0}, {0, 1, 0}, 1.0f);
  gs.SetMirrorView();
  api.GetParameterValue(gs.GetEffect(), gs.Handles().mirrorViewRight, v);
  EXPECT_FLOAT_EQ(v[2], -1.0f);  // up x (1, 0, 0)
  gs.SetMirrorHeight(12.5f);
  api.GetParameterValue(gs.GetEffect(), gs.Handles().mirrorHeight, v);
  EXPECT_EQ(v[0], 12.5f);
}

}  // namespace
