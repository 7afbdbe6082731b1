// render_carry_test.cpp -- models past the frame and container tables, the
// billboards' glare and fog, and the mirror clip kept to the mirror image.

#include <string>
#include <vector>

#include "model_fixture.h"
#include "render/render_drawables.h"
#include "render/render_local.h"
#include "render_fixture.h"

namespace {

using namespace rendertest;
using platform::Vec3;
using render::CMesh;
using render::TextureHolder;

// ----------------------------------------------------------------------------
// Models larger than the tables
// ----------------------------------------------------------------------------

// A root frame with `children` child frames, each holding a one-triangle
// mesh and one grandchild frame of its own (without a mesh).
std::string WideTree(int children) {
  std::string s = "xof 0303txt 0032\nFrame Root {\n";
  for (int i = 0; i < children; i++) {
    s += "Frame C" + std::to_string(i) + " {\n";
    s += "Mesh M" + std::to_string(i) + " { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n";
    s += "Frame G" + std::to_string(i) + " { }\n}\n";
  }
  s += "}\n";
  return s;
}


class LargeModels : public ModelFixture {};

TEST_F(LargeModels, FirstFramesAndContainersLoadAndLinkCleanly) {
  struct Case {
    const char* what;
    std::string text;
    int frames, containers;
  } cases[] = {
      {"129 frames in a chain", Chain(129, false), 128, 0},
      {"33 meshes in a chain", Chain(33, true), 33, 32},
      // Root + 70 x (child, grandchild) = 141 frames: the root and 127 more
      // fit; 32 of the 64 meshes on kept frames fit, the other 6 children's
      // meshes go with their frames.
      {"a wide tree past both tables", WideTree(70), 128, 32},
      {"exactly full tables", Chain(32, true), 32, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CMesh mesh;
    ASSERT_EQ(Build(gs, mesh, c.text, render::kMeshHierarchy), 1);
    EXPECT_EQ(mesh.frameCount, c.frames);
    EXPECT_EQ(mesh.containerCount, c.containers);
    // Every kept frame is reachable from the root and no link points at a
    // frame that was never made.
    int reached = 0;
    std::vector<render::MeshFrame*> stack = {mesh.rootFrame};
    while (!stack.empty()) {
      render::MeshFrame* f = stack.back();
      stack.pop_back();
      if (!f) continue;
      reached++;
      stack.push_back(f->sibling);
      stack.push_back(f->firstChild);
    }
    EXPECT_EQ(reached, c.frames);
    int linked = 0;
    for (int i = 0; i < mesh.frameCount; i++)
      for (render::MeshContainer* m = mesh.frames[i]->meshContainer; m; m = m->next) linked++;
    EXPECT_EQ(linked, c.containers);
    if (c.containers) {
      EXPECT_EQ(mesh.GetMeshFaceCount(-1), c.containers);
      EXPECT_NE(mesh.records[c.containers - 1].meshSlot, nullptr);
    }
  }
}

TEST_F(LargeModels, TheLogNamesWhatWasLeftOut) {
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, WideTree(70), render::kMeshHierarchy), 1);
  std::string log = Log();
  EXPECT_NE(log.find("13 frames and 38 meshes"), std::string::npos) << log;
  EXPECT_EQ(log.find(test::Sjis("アニメーションつきXファイル読み込み失敗")), std::string::npos);
}

TEST_F(LargeModels, FullTablesLogNothingLeftOut) {
  CMesh a, b;
  ASSERT_EQ(Build(gs, a, Chain(128, false), render::kMeshHierarchy), 1);
  ASSERT_EQ(Build(gs, b, Chain(32, true), render::kMeshHierarchy), 1);
  EXPECT_EQ(Log().find("left out"), std::string::npos);
}

// An animation naming a frame that was left out animates the kept ones.
TEST_F(LargeModels, AnimationOfALeftOutFrameIsSkipped) {
  std::string text = Chain(130, false);
  text += "AnimationSet Walk {\n"
          " Animation { {F1} AnimationKey { 2; 2; 0;3;0,0,0;;, 100;3;5,0,0;;; } }\n"
          " Animation { {F129} AnimationKey { 2; 2; 0;3;0,0,0;;, 100;3;9,0,0;;; } }\n"
          "}\n";
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, text, render::kMeshHierarchy), 1);
  EXPECT_EQ(mesh.frameCount, 128);
  ASSERT_NE(mesh.animationController, nullptr);
  ASSERT_EQ(mesh.animationController->sets.size(), 1u);
  ASSERT_EQ(mesh.animationController->sets[0].animations.size(), 1u);
  EXPECT_EQ(mesh.animationController->sets[0].animations[0].frameIndex, 1);
}

// ----------------------------------------------------------------------------
// Billboards: glare and fog
// ----------------------------------------------------------------------------

class Billboards : public RenderFixture {
 protected:
  TextureHolder glare;
  ~Billboards() override { glare.ReleaseTexture(gs); }

  // The effect with `header`, a 16 x 16 scene target and, when asked, a
  // glare target as target 1; the camera at the origin looking down +z.
  void Begin(const char* header, bool glareTarget) {
    Start(1);
    ASSERT_TRUE(gs.CreateEffect(header));
    UseTarget(16, 16);
    if (glareTarget) {
      ASSERT_EQ(glare.CreateRenderTarget(gs, 16, 16, platform::kFmtA8R8G8B8), 0u);
      ASSERT_EQ(gs.SetRenderTarget(&glare, 1, 1), 0);
    }
    LookForward();
  }

  // A square billboard of side `size` facing the camera at depth z, centred
  // at height y, drawn as a display object's 3D sprite with `holder`.
  int Draw(TextureHolder* holder, float z, float size, float r, float g, float b, float y = 0) {
    float h = size / 2;
    render::SurfaceVertex v[4];
    float corners[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};
    for (int i = 0; i < 4; i++)
      v[i] = {corners[i][0], y + corners[i][1], z, 0xFFFFFFFFu, 0, 0, r, g, b, 1};
    gs.SetDrawMode(1);
    return render::DisplayObject::DrawSurface(gs, holder, nullptr, v, render::kSurfaceSprite, 4);
  }

  std::vector<int> Glare(int x, int y) {
    uint8_t bgr[3] = {};
    EXPECT_EQ(glare.ReadTexturePixels(gs, bgr, x, y, x + 1, y + 1), 3);
    return {bgr[2], bgr[1], bgr[0]};
  }
};

void ExpectNear(const std::vector<int>& got, const std::vector<int>& want, int tolerance = 2) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); i++) EXPECT_NEAR(got[i], want[i], tolerance) << "channel " << i;
}

TEST_F(Billboards, GlareRateSplitsTheColourBetweenSceneAndGlare) {
  Begin("#define GLARE 1\n", true);
  gs.SetFog(1000, 2000, {1, 1, 1});  // far beyond the billboard
  gs.SetGlareRate(0.25f);
  Draw(gs.GetWhiteTexture(), 10, 20, 1, 1, 1);
  ExpectNear(Pixel(8, 8), {191, 191, 191});
  ExpectNear(Glare(8, 8), {64, 64, 64});
}

TEST_F(Billboards, GlareIsTheThirdOutputUnderBloom) {
  Begin("#define BLOOM 1\n#define GLARE 1\n", false);
  TextureHolder bloom;
  ASSERT_EQ(bloom.CreateRenderTarget(gs, 16, 16, platform::kFmtA8R8G8B8), 0u);
  ASSERT_EQ(glare.CreateRenderTarget(gs, 16, 16, platform::kFmtA8R8G8B8), 0u);
  ASSERT_EQ(gs.SetRenderTarget(&bloom, 1, 1), 0);
  ASSERT_EQ(gs.SetRenderTarget(&glare, 2, 1), 0);
  gs.SetFog(1000, 2000, {1, 1, 1});
  gs.SetGlareRate(0.5f);
  Draw(gs.GetWhiteTexture(), 10, 20, 0, 1, 0);
  ExpectNear(Pixel(8, 8), {0, 128, 0});
  ExpectNear(Glare(8, 8), {0, 128, 0});
  uint8_t bgr[3] = {9, 9, 9};
  ASSERT_EQ(bloom.ReadTexturePixels(gs, bgr, 8, 8, 9, 9), 3);
  EXPECT_EQ(bgr[0] + bgr[1] + bgr[2], 0);
  gs.SetRenderTarget(nullptr, 2, 0);
  gs.SetRenderTarget(nullptr, 1, 0);
  bloom.ReleaseTexture(gs);
}

TEST_F(Billboards, FogFadesBillboardsAndTheirGlare) {
  Begin("#define GLARE 1\n", true);
  TextureHolder additive, darkening;
  ASSERT_EQ(additive.CreateFilledTexture(gs, 4, 4, 0xFFFFFFFFu, render::kTexAdditive), 0u);
  ASSERT_EQ(darkening.CreateFilledTexture(gs, 4, 4, 0xFFFFFFFFu, render::kTexBlendZeroInvSrc), 0u);
  gs.SetFog(10, 30, {1, 1, 1});
  struct Case {
    const char* what;
    TextureHolder* holder;
    float z, rate;
    float r, g, b;
    std::vector<int> scene, glareLight;
  } cases[] = {
      // Plain blending: halfway towards the white fog, glare halfway to black.
      {"plain, half fog", gs.GetWhiteTexture(), 20, 0.0f, 0, 0, 0, {128, 128, 128}, {0, 0, 0}},
      {"plain, past the fog's end", gs.GetWhiteTexture(), 35, 0.0f, 0, 0, 0, {255, 255, 255}, {0, 0, 0}},
      {"plain, before the fog", gs.GetWhiteTexture(), 5, 0.0f, 0, 0, 0, {0, 0, 0}, {0, 0, 0}},
      {"glare, half fog", gs.GetWhiteTexture(), 20, 0.5f, 1, 1, 1, {191, 191, 191}, {64, 64, 64}},
      // Added light fades to nothing, never to a quad of fog colour.
      {"additive, half fog", &additive, 20, 0.0f, 1, 0, 0, {128, 0, 0}, {0, 0, 0}},
      {"additive, past the fog's end", &additive, 35, 0.0f, 1, 0, 0, {0, 0, 0}, {0, 0, 0}},
      // After the additive draws the fog colour is white again.
      {"plain after additive", gs.GetWhiteTexture(), 20, 0.0f, 0, 0, 0, {128, 128, 128}, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(gs.SetRenderTarget(&target, 0, 1), 0);
    ASSERT_EQ(gs.SetRenderTarget(&glare, 1, 1), 0);
    LookForward();
    gs.SetGlareRate(c.rate);
    Draw(c.holder, c.z, c.z * 2, c.r, c.g, c.b);
    ExpectNear(Pixel(8, 8), c.scene);
    ExpectNear(Glare(8, 8), c.glareLight);
  }
  // Darkening by (1 - colour): a white sprite in full fog takes nothing away
  // from a grey background.
  ASSERT_EQ(gs.SetRenderTarget(&target, 0, 1), 0);
  LookForward();
  Draw(gs.GetWhiteTexture(), 50, 200, 0, 0, 0);  // past the fog's end: white
  Draw(&darkening, 35, 70, 1, 1, 1);
  ExpectNear(Pixel(8, 8), {255, 255, 255});
  gs.SetRenderTarget(nullptr, 1, 0);
  additive.ReleaseTexture(gs);
  darkening.ReleaseTexture(gs);
}

// Unlit models (draw mode 4, the 3D-sprite pass) blend by their first
// texture the same way: added light fades to black, and GetFog still answers
// the colour that was set.
TEST_F(Billboards, AdditiveModelsFadeToBlackAndTheFogColourComesBack) {
  Begin("", false);
  gs.SetFog(10, 30, {0, 0, 1});
  const platform::GfxApi& api = gs.Gfx();
  auto drawSquare = [&](uint32_t blend) {
    ASSERT_EQ(gs.SetRenderTarget(&target, 0, 1), 0);
    LookForward();
    gs.SetDrawMode(4);
    gs.SetBlendMode(blend);
    gs.BindTexture(nullptr);
    MeshVertex v[4];
    float corners[4][2] = {{-40, 40}, {40, 40}, {40, -40}, {-40, -40}};
    for (int i = 0; i < 4; i++)
      v[i] = {corners[i][0], corners[i][1], 20, 0, 0, -1, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0};
    api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], platform::MatrixIdentity());
    gs.BeginScenePass(1, render::SHADER_PASS_3DSPRITE);
    api.DrawPrimitiveUP(gs.GetDevice(), platform::kPrimTriangleFan, 2, v, sizeof(MeshVertex));
  };
  drawSquare(render::kTexAdditive);
  ExpectNear(Pixel(8, 8), {128, 0, 0});
  Vec3 colour;
  gs.GetFog(nullptr, nullptr, &colour);
  EXPECT_EQ(colour.z, 1.0f);
  drawSquare(0);
  ExpectNear(Pixel(8, 8), {128, 0, 128});
}

// ----------------------------------------------------------------------------
// The mirror clip
// ----------------------------------------------------------------------------

class MirrorClip : public Billboards {
 protected:
  // A square of the mesh pass `pass` facing the camera at depth z, spanning
  // heights -size/2 to size/2, in vertex colour (white ambient light).
  void DrawMesh(float z, float size, int pass) {
    const platform::GfxApi& api = gs.Gfx();
    gs.SetDrawMode(0);
    gs.BindTexture(nullptr);
    float h = size / 2;
    MeshVertex v[4];
    float corners[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};
    for (int i = 0; i < 4; i++)
      v[i] = {corners[i][0], corners[i][1], z, 0, 0, -1, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0};
    api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], platform::MatrixIdentity());
    gs.ClearRenderFlags(render::kRenderCull);
    gs.BeginScenePass(1, pass);
    api.DrawPrimitiveUP(gs.GetDevice(), platform::kPrimTriangleFan, 2, v, sizeof(MeshVertex));
  }

  // Whether the top and the bottom row of the target show something.
  std::pair<bool, bool> TopAndBottom() {
    std::vector<int> top = Pixel(8, 1), bottom = Pixel(8, 14);
    return {top[0] + top[1] + top[2] > 60, bottom[0] + bottom[1] + bottom[2] > 60};
  }
};

TEST_F(MirrorClip, OnlyTheMirrorImageClipsBelowThePlane) {
  Begin("#define MIRROR 1\n", false);
  gs.SetFog(1000, 2000, {0, 0, 0});
  gs.SetLight({0, 0, 1}, {0, 0, 0}, {1, 1, 1});
  gs.SetMirrorHeight(0.0f);  // the plane through the middle of every square
  struct Case {
    const char* what;
    int pass;  // -1: a billboard
  } cases[] = {
      {"billboard", -1},
      {"mirror pass", render::SHADER_PASS_3DMESH_MIRROR},
      {"shadowed mirror pass", render::SHADER_PASS_3DMESH_SHADOW_MIRROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int mirror : {0, 1}) {
      SCOPED_TRACE(mirror ? "mirror image" : "main scene");
      gs.SetMirrorMode(mirror);
      ASSERT_EQ(gs.SetRenderTarget(&target, 0, 1), 0);
      LookForward();
      if (c.pass < 0) Draw(gs.GetWhiteTexture(), 10, 40, 1, 1, 1);
      else DrawMesh(10, 40, c.pass);
      auto [top, bottom] = TopAndBottom();
      EXPECT_TRUE(top);
      // The main scene draws what lies below the plane; the mirror image
      // leaves it out.
      EXPECT_EQ(bottom, !mirror);
    }
  }
  gs.SetMirrorMode(0);
}

}  // namespace
