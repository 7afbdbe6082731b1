// render_device_test.cpp -- the device layer's conventions and the
// renderer's device, state and camera operations, headless on GL.

#include <cmath>
#include <cstring>

#include "render_fixture.h"
#include "test_support.h"

#include "core/core_public.h"

namespace {

using namespace platform;
using render::GraphicsSystem;
using rendertest::RenderFixture;

// ---------------------------------------------------------------------------
// Maths the renderer's cameras rest on
// ---------------------------------------------------------------------------

TEST(RenderMath, ProjectionsMapDepthToZeroOne) {
  struct Case {
    Matrix m;
    float nearZ, farZ;  // view z of the near and far planes
  } cases[] = {
      {MatrixPerspectiveFovLH(1.0f, 1.5f, 2.0f, 100.0f), 2.0f, 100.0f},
      {MatrixPerspectiveFovRH(1.0f, 1.5f, 2.0f, 100.0f), -2.0f, -100.0f},
      {MatrixOrthoLH(10.0f, 8.0f, 2.0f, 100.0f), 2.0f, 100.0f},
      {MatrixOrthoRH(10.0f, 8.0f, 2.0f, 100.0f), -2.0f, -100.0f},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(Vec3TransformCoord({0, 0, c.nearZ}, c.m).z, 0.0f, 1e-5f);
    EXPECT_NEAR(Vec3TransformCoord({0, 0, c.farZ}, c.m).z, 1.0f, 1e-5f);
  }
  // The vertical field of view: a point on the upper edge lands on y = 1.
  Matrix p = MatrixPerspectiveFovLH(3.14159265f / 2, 2.0f, 1.0f, 10.0f);
  EXPECT_NEAR(Vec3TransformCoord({0, 5, 5}, p).y, 1.0f, 1e-5f);
  EXPECT_NEAR(Vec3TransformCoord({10, 0, 5}, p).x, 1.0f, 1e-5f);
}

TEST(RenderMath, RightHandedLookAtMirrorsTheLeftHandedOne) {
  Vec3 eye{1, 2, 3}, at{4, 2, 7}, up{0, 1, 0};
  Matrix lh = MatrixLookAtLH(eye, at, up), rh = MatrixLookAtRH(eye, at, up);
  Vec3 p{5, 6, 9};
  Vec3 a = Vec3TransformCoord(p, lh), b = Vec3TransformCoord(p, rh);
  EXPECT_NEAR(a.z, -b.z, 1e-4f);  // in front: +z left-handed, -z right-handed
  EXPECT_NEAR(a.y, b.y, 1e-4f);
  EXPECT_NEAR(a.x, -b.x, 1e-4f);
  Matrix t = MatrixTranspose(lh);
  EXPECT_EQ(t.m[0][3], lh.m[3][0]);
}

// ---------------------------------------------------------------------------
// Display listing through a stand-in display system
// ---------------------------------------------------------------------------

struct FakeDisplay {
  std::vector<GfxDisplayMode> modes;
  std::vector<uint32_t> depths;

  static bool Start(void*) { return true; }
  static int Count(void*) { return 1; }
  static int ModeCount(void* u, int, uint32_t format) {
    int n = 0;
    for (auto& m : static_cast<FakeDisplay*>(u)->modes) n += m.format == format;
    return n;
  }
  static bool Enum(void* u, int, uint32_t format, int index, GfxDisplayMode* out) {
    for (auto& m : static_cast<FakeDisplay*>(u)->modes)
      if (m.format == format && index-- == 0) {
        *out = m;
        return true;
      }
    return false;
  }
  static bool Desktop(void*, int adapter, GfxDisplayMode* out) {
    if (adapter != 0) return false;
    *out = {1920, 1080, 60, kFmtX8R8G8B8};
    return true;
  }
  static int Monitors(void*, GfxRect* r, int max) {
    if (max > 0) r[0] = {0, 0, 1920, 1080};
    return 1;
  }
  static bool Depth(void* u, int, uint32_t, uint32_t, uint32_t d) {
    for (uint32_t x : static_cast<FakeDisplay*>(u)->depths)
      if (x == d) return true;
    return false;
  }
  static bool Caps(void*, int, GfxCaps* c) {
    *c = {0xFFFE0300u, 0xFFFF0300u, 4, 4096};
    return true;
  }
  GfxDisplayApi Api() {
    GfxDisplayApi a;
    a.user = this;
    a.Start = Start;
    a.AdapterCount = Count;
    a.ModeCount = ModeCount;
    a.EnumMode = Enum;
    a.DesktopMode = Desktop;
    a.Monitors = Monitors;
    a.DepthStencilMatch = Depth;
    a.DeviceCaps = Caps;
    return a;
  }
};

TEST(RenderDisplay, ListsWideModesOnceAndPicksTheLastDepthFormat) {
  test::ScopedWorkFolder folder;
  core::LogSystem log("system.log", 0);
  FakeDisplay fake;
  fake.modes = {{1280, 1024, 60, kFmtX8R8G8B8}, {1280, 960, 60, kFmtX8R8G8B8}, {1920, 1080, 60, kFmtX8R8G8B8},
                {1920, 1080, 75, kFmtX8R8G8B8}, {800, 600, 60, kFmtR5G6B5}};
  fake.depths = {kFmtD16, kFmtD24X8, kFmtD32};
  {
    GraphicsSystem gs;
    gs.log = &log;
    gs.display = fake.Api();
    ASSERT_EQ(gs.CreateDirect3D(), 1);
    ASSERT_EQ(gs.CountDisplayModes(), 3);
    EXPECT_EQ(gs.GetDisplayMode(0).width, 1280);
    EXPECT_EQ(gs.GetDisplayMode(0).height, 960);
    EXPECT_EQ(gs.GetDisplayMode(1).width, 1920);
    EXPECT_STREQ(gs.GetDisplayMode(2).formatName, "R5G6B5");
    EXPECT_EQ(gs.GetMonitorCount(), 1);

    ASSERT_NE(gs.CreateMainWindow("t", false, 0, 0, 32, 24), nullptr);
    ASSERT_EQ(gs.InitDevice(0), 1);
    ASSERT_EQ(gs.CountDepthFormats(), 3);
    EXPECT_EQ(gs.GetDepthFormat(-1).format, uint32_t(kFmtD32));
    EXPECT_STREQ(gs.GetDepthFormat(0).name, "D3DFMT_D16");
    EXPECT_STREQ(gs.GetDepthFormat(1).name, "D3DFMT_D24X8");
    EXPECT_EQ(gs.GetDisplayMode(-1).width, 32);
  }
  log.CloseLog();
  std::string text = test::ReadFile("system.log");
  EXPECT_NE(text.find("(0)[ 1920 x 1080 ] - X8R8G8B8"), std::string::npos);
  EXPECT_NE(text.find("Z-Buffer[D3DFMT_D32]"), std::string::npos);
  EXPECT_NE(text.find(test::Sjis("各種描画設定終了")), std::string::npos);
}

TEST(RenderDisplay, AColourFormatNoModeOffersRefusesTheDevice) {
  test::MessageBoxRecorder boxes;
  FakeDisplay fake;
  fake.modes = {{800, 600, 60, kFmtR5G6B5}};  // the desktop's X8R8G8B8 is never listed
  GraphicsSystem gs;
  gs.display = fake.Api();
  ASSERT_EQ(gs.CreateDirect3D(), 1);
  ASSERT_NE(gs.CreateMainWindow("caption", false, 0, 0, 32, 24), nullptr);
  EXPECT_EQ(gs.InitDevice(1), 0);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "caption");
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("現在のWindowsの色設定ではDirectXが利用できません。"));
}

// ---------------------------------------------------------------------------
// Start-up state and render flags
// ---------------------------------------------------------------------------

class RenderState : public RenderFixture {};

TEST_F(RenderState, FlagWordMatchesTheDeviceAfterStartUp) {
  Start(1);
  // Cull, lighting, mip filter, depth write and depth test: what the device
  // does after start-up, so clearing depth test reaches the device.
  EXPECT_EQ(gs.GetRenderFlags(), 0x30Bu);
  EXPECT_EQ(gs.GetDrawMode(), 0);
  const GfxApi& api = gs.Gfx();
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsZEnable), 1u);
  gs.ClearRenderFlags(render::kRenderDepthTest);
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsZEnable), 0u);
  gs.SetRenderFlags(render::kRenderDepthTest);
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsZEnable), 1u);
}

TEST_F(RenderState, SetAndClearSkipWhenAnyBitIsAlreadyInThatState) {
  Start(0);
  const GfxApi& api = gs.Gfx();
  ASSERT_TRUE(gs.GetRenderFlags() & render::kRenderCull);
  uint32_t before = gs.GetRenderFlags();
  EXPECT_EQ(gs.SetRenderFlags(render::kRenderCull | render::kRenderFog), before);
  EXPECT_EQ(gs.GetRenderFlags(), before);
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsFogEnable), 0u);  // fog untouched
  EXPECT_EQ(gs.ClearRenderFlags(render::kRenderWireframe), before);  // none set: nothing
  gs.SetRenderFlags(render::kRenderWireframe);
  EXPECT_EQ(api.GetRenderState(gs.GetDevice(), kRsFillMode), uint32_t(kFillWireframe));
  // Colour x2 and x4 on the fixed path: x4 wins, clearing it falls back to x2.
  gs.SetRenderFlags(render::kRenderColorX2);
  gs.SetRenderFlags(render::kRenderColorX4);
  gs.ClearRenderFlags(render::kRenderColorX4);
  EXPECT_EQ(gs.GetRenderFlags() & 0xC00u, 0x400u);
}

TEST_F(RenderState, DrawModeZeroLeavesFogOffForAnEmptyRangeAndLightOffForShadowMaps) {
  Start(1);
  gs.SetFog(100, 100, {1, 1, 1});
  gs.SetDrawMode(2);
  gs.SetDrawMode(0);
  EXPECT_FALSE(gs.GetRenderFlags() & render::kRenderFog);
  EXPECT_TRUE(gs.GetRenderFlags() & render::kRenderLighting);
  gs.SetFog(10, 100, {1, 1, 1});
  gs.SetDrawMode(2);
  gs.SetDrawMode(0);
  EXPECT_TRUE(gs.GetRenderFlags() & render::kRenderFog);

  UseTarget(16, 16, kFmtR16F, render::kTargetShadowMap);
  // The holder's kind is read when it becomes the target.
  ASSERT_EQ(gs.SetRenderTarget(&target, 0, 0), 0);
  EXPECT_EQ(gs.GetDrawMode(), -1);
  gs.SetDrawMode(0);
  EXPECT_FALSE(gs.GetRenderFlags() & render::kRenderLighting);
  EXPECT_FALSE(gs.GetRenderFlags() & render::kRenderFog);
  EXPECT_EQ(gs.SetRenderTarget(nullptr, 0, 0), 0);
  EXPECT_EQ(gs.GetTargetFlags(), 0u);
}

TEST_F(RenderState, BlendAndAddressingFollowTheHolderFlags) {
  Start(1);
  const GfxApi& api = gs.Gfx();
  GfxDevice* d = gs.GetDevice();
  struct Case {
    uint32_t flags, src, dst;
  } cases[] = {{render::kTexAdditive, kBlendSrcAlpha, kBlendOne},
               {render::kTexBlendInvDestColor, kBlendInvDestColor, kBlendInvSrcAlpha},
               {render::kTexBlendZeroInvSrc, kBlendZero, kBlendInvSrcColor},
               {0x1, kBlendSrcAlpha, kBlendInvSrcAlpha}};
  for (const Case& c : cases) {
    gs.SetBlendMode(c.flags);
    EXPECT_EQ(api.GetRenderState(d, kRsSrcBlend), c.src);
    EXPECT_EQ(api.GetRenderState(d, kRsDestBlend), c.dst);
  }
  EXPECT_EQ(gs.SetBlendMode(0x1), 0x1u);  // unchanged: returns at once
  gs.SetTextureAddressing(render::kTexAddressMirror);
  EXPECT_EQ(api.GetSamplerState(d, 0, kSampAddressU), uint32_t(kAddressMirror));
  gs.SetTextureAddressing(render::kTexAddressClamp);
  EXPECT_EQ(api.GetSamplerState(d, 0, kSampAddressV), uint32_t(kAddressClamp));
  EXPECT_EQ(gs.SetCullReversed(1), uint32_t(kCullCCW));
  EXPECT_EQ(api.GetRenderState(d, kRsCullMode), uint32_t(kCullCW));
}

// ---------------------------------------------------------------------------
// Cameras
// ---------------------------------------------------------------------------

TEST_F(RenderState, NegativeFieldOfViewGivesAnOrthographicCamera) {
  Start(1);
  gs.SetDrawMode(0);
  gs.SetCamera3D({0, 0, 0}, {0, 0, 1}, {0, 1, 0}, -10.0f);
  Matrix vp = MatrixMultiply(gs.GetViewMatrix(), gs.GetProjection());
  // 10 units tall whatever the distance.
  EXPECT_NEAR(Vec3TransformCoord({0, 5, 50}, vp).y, 1.0f, 1e-5f);
  EXPECT_NEAR(Vec3TransformCoord({0, 5, 500}, vp).y, 1.0f, 1e-5f);
  EXPECT_FLOAT_EQ(gs.GetCameraFov(), -10.0f);
  float depth[1];
  ASSERT_EQ(gs.Gfx().GetParameterValue(gs.GetEffect(), gs.Handles().shadowDepth, depth), 1);
  EXPECT_FLOAT_EQ(depth[0], 10.0f);
}

TEST_F(RenderState, TheThreeDCameraWaitsWhileTwoDIsDrawn) {
  Start(1);
  gs.SetDrawMode(2);
  EXPECT_EQ(gs.SetCamera3D({0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f), 0);
  Matrix twoD = gs.GetProjection();
  gs.SetDrawMode(0);
  EXPECT_NE(std::memcmp(&twoD, &gs.GetProjection(), sizeof twoD), 0);
  // A 2D point at the origin lies at the centre of the target, y down.
  gs.SetDrawMode(2);
  Matrix p = gs.GetProjection();
  Vec3 centre = Vec3TransformCoord({0, 0, 0}, p);
  Vec3 below = Vec3TransformCoord({0, 100, 0}, p);
  EXPECT_NEAR(centre.x, -1.0f / 64, 1e-6f);  // half a pixel of a 64-wide target
  EXPECT_NEAR(centre.y, 1.0f / 48, 1e-6f);
  EXPECT_LT(below.y, centre.y);
}

TEST_F(RenderState, CameraWithRollAndProjectPoint) {
  Start(1);
  gs.SetDrawMode(0);
  gs.SetCameraWithRoll({0, 0, 0}, {0, 0, 1}, 0.0f, 3.14159265f / 2);
  EXPECT_NEAR(gs.GetCameraUp().y, 1.0f, 1e-6f);
  Vec3 p = gs.ProjectPoint({0, 0, 10});
  EXPECT_NEAR(p.x, 0.0f, 1e-6f);
  EXPECT_GT(p.z, 0.0f);
  EXPECT_LT(p.z, 1.0f);
  EXPECT_NEAR(gs.TransformPointToView({1, 2, 3}).z, 3.0f, 1e-6f);
}

// ---------------------------------------------------------------------------
// Pixels
// ---------------------------------------------------------------------------

class RenderPixels : public RenderFixture, public ::testing::WithParamInterface<int> {};

TEST_P(RenderPixels, OneUnitWhiteSpriteAtTheOriginLightsTheCentrePixel) {
  Start(GetParam());
  // 768 pixels tall: one 2D unit is one pixel at zoom 1.
  UseTarget(64, 768);
  DrawQuad2D(0, 0, 1, 1, gs.GetWhiteTexture()->texture);
  EXPECT_EQ(Pixel(32, 384), (std::vector<int>{255, 255, 255}));
  for (auto [x, y] : {std::pair{31, 384}, {33, 384}, {32, 383}, {32, 385}})
    EXPECT_EQ(Pixel(x, y), (std::vector<int>{0, 0, 0})) << x << "," << y;
}

TEST_P(RenderPixels, CheckerboardReadsBackTexelExact) {
  Start(GetParam());
  UseTarget(64, 768);
  render::TextureHolder board;
  ASSERT_EQ(board.CreateFilledTexture(gs, 4, 4, 0, 0), 0u);
  const GfxApi& api = gs.Gfx();
  GfxLockedRect locked;
  ASSERT_EQ(api.LockRect(board.texture, 0, &locked), 0u);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++)
      reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.bits) + y * locked.pitch)[x] =
          (x + y) % 2 ? 0xFF000000u : 0xFFFFFFFFu;
  // The top-left texel is red, to show rows are not flipped.
  *static_cast<uint32_t*>(locked.bits) = 0xFFFF0000u;
  api.UnlockRect(board.texture, 0);
  DrawQuad2D(0, 0, 4, 4, board.texture);
  for (int y = 0; y < 4; y++)
    for (int x = 0; x < 4; x++) {
      int v = (x + y) % 2 ? 0 : 255;
      std::vector<int> want = x == 0 && y == 0 ? std::vector<int>{255, 0, 0} : std::vector<int>{v, v, v};
      EXPECT_EQ(Pixel(32 + x, 384 + y), want) << x << "," << y;
    }
  board.ReleaseTexture(gs);
}

INSTANTIATE_TEST_SUITE_P(EffectAndFixed, RenderPixels, ::testing::Values(1, 0));

TEST_F(RenderState, ClockwiseTrianglesAreFrontFaces) {
  Start(1);
  UseTarget(16, 16);
  LookForward();
  gs.SetDrawMode(0);
  ASSERT_TRUE(gs.GetRenderFlags() & render::kRenderCull);
  const GfxApi& api = gs.Gfx();
  auto draw = [&](bool clockwise) {
    gs.SetRenderTarget(&target, 0, 1);
    gs.SetDrawMode(0);
    gs.SetLight({0, 0, 1}, {0, 0, 0}, {1, 1, 1});
    rendertest::MeshVertex v[3];
    float pts[3][2] = {{-5, 5}, {5, 5}, {0, -5}};  // clockwise on screen
    for (int i = 0; i < 3; i++) {
      int k = clockwise ? i : 2 - i;
      v[i] = {pts[k][0], pts[k][1], 10, 0, 0, -1, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0};
    }
    api.SetMatrix(gs.GetEffect(), gs.Handles().world[0], MatrixIdentity());
    gs.BeginScenePass(1, render::SHADER_PASS_3DMESH);
    api.DrawPrimitiveUP(gs.GetDevice(), kPrimTriangleList, 1, v, sizeof v[0]);
    return Pixel(8, 7);
  };
  EXPECT_EQ(draw(true), (std::vector<int>{255, 255, 255}));
  EXPECT_EQ(draw(false), (std::vector<int>{0, 0, 0}));
  gs.SetCullReversed(1);
  EXPECT_EQ(draw(false), (std::vector<int>{255, 255, 255}));
  gs.SetCullReversed(0);
}

TEST_F(RenderState, FormatsKeepTheirNumbersAndMeanings) {
  Start(1);
  const GfxApi& api = gs.Gfx();
  // X8R8G8B8 reads alpha 1 whatever was written.
  UseTarget(4, 4, kFmtX8R8G8B8);
  api.Clear(gs.GetDevice(), kClearTarget, 0x00336699u, 1.0f);
  GfxTexture* copy = nullptr;
  ASSERT_EQ(api.CreateTexture(gs.GetDevice(), 4, 4, 1, 0, kFmtX8R8G8B8, kPoolSystemMem, &copy), 0u);
  GfxSurface* from = api.GetSurfaceLevel(target.texture, 0);
  GfxSurface* to = api.GetSurfaceLevel(copy, 0);
  ASSERT_EQ(api.GetRenderTargetData(gs.GetDevice(), from, to), 0u);
  GfxLockedRect locked;
  ASSERT_EQ(api.LockRect(copy, 0, &locked), 0u);
  EXPECT_EQ(*static_cast<uint32_t*>(locked.bits), 0xFF336699u);
  api.UnlockRect(copy, 0);
  api.ReleaseSurface(from);
  api.ReleaseSurface(to);
  api.ReleaseTexture(copy);
  gs.SetRenderTarget(nullptr, 0, 0);
  target.ReleaseTexture(gs);
  // R16F holds one half-float channel: 0.5 red reads back as 128.
  UseTarget(4, 4, kFmtR16F);
  api.Clear(gs.GetDevice(), kClearTarget, 0xFF800000u, 1.0f);
  EXPECT_EQ(Pixel(1, 1)[0], 128);
  EXPECT_EQ(GfxFormatBytes(kFmtR16F), 2);
}

// ---------------------------------------------------------------------------
// Targets, device loss, present
// ---------------------------------------------------------------------------

TEST_F(RenderState, SecondTargetsNeedTheEffect) {
  Start(0);
  EXPECT_EQ(gs.SetRenderTarget(nullptr, 1, 0), -1);
  EXPECT_EQ(gs.SetRenderTarget(nullptr, 99, 0), -1);
  EXPECT_EQ(gs.SetRenderTarget(nullptr, 0, 0), 0);
  render::TextureHolder empty;
  EXPECT_EQ(gs.SetRenderTarget(&empty, 0, 0), -1);
}

TEST_F(RenderState, PresentRecoversFromALostDeviceAndRebuildsTargets) {
  Start(1);
  render::TextureHolder bloom;
  ASSERT_EQ(bloom.CreateRenderTarget(gs, 8, 4, kFmtA16B16G16R16F), 0u);
  bloom.SetTextureFlags(render::kTargetBloomCopy);
  render::TextureHolder plain;
  ASSERT_EQ(plain.CreateFilledTexture(gs, 2, 2, 0xFF112233u, 0), 0u);
  GfxTexture* plainTexture = plain.texture;
  EXPECT_EQ(gs.PresentFrame(), 0);
  EXPECT_NE(gs.SetFont(core::Sjis("ＭＳ ゴシック"), 12, 0xFFFFFF, 1), 0);
  ASSERT_NE(gs.GetFontCache().fonts[0], nullptr);

  gs.Gfx().SimulateLoss(gs.GetDevice(), 0);
  EXPECT_EQ(gs.PresentFrame(), 1);
  EXPECT_EQ(gs.PresentFrame(), 0);
  EXPECT_EQ(gs.GetFontCache().fonts[0], nullptr);  // made again by the next SetFont
  EXPECT_NE(gs.SetFont(nullptr, -1, 0xFFFFFF, -1), 0);
  // The target is back with its size, kind and format; the plain texture
  // was never touched.
  ASSERT_NE(bloom.texture, nullptr);
  EXPECT_EQ(bloom.width, 8);
  EXPECT_TRUE(bloom.flags & render::kTargetBloomCopy);
  EXPECT_EQ(bloom.targetFormat, uint32_t(kFmtA16B16G16R16F));
  EXPECT_EQ(plain.texture, plainTexture);
  // As after start-up, with the fog the device had by then.
  EXPECT_EQ(gs.GetRenderFlags(), 0x30Fu);
  bloom.ReleaseTexture(gs);
  plain.ReleaseTexture(gs);
}

TEST_F(RenderState, AFailedResetKeepsTheDeviceLostUntilTheNextTry) {
  test::ScopedWorkFolder folder;
  core::LogSystem log("system.log", 0);
  gs.log = &log;
  Start(1);
  gs.PresentFrame();
  gs.Gfx().SimulateLoss(gs.GetDevice(), kGfxErrOutOfVideoMemory);
  EXPECT_EQ(gs.PresentFrame(), 1);
  EXPECT_EQ(gs.IsDeviceLost(), 1);
  EXPECT_EQ(gs.SetFont(nullptr, -1, 0xFFFFFF, -1), 0);  // no fonts while lost
  EXPECT_EQ(gs.PresentFrame(), 1);  // the second reset succeeds
  EXPECT_EQ(gs.PresentFrame(), 0);
  EXPECT_EQ(gs.IsDeviceLost(), 0);
  gs.ReleaseDirect3D();
  gs.log = nullptr;
  log.CloseLog();
  std::string text = test::ReadFile("system.log");
  EXPECT_NE(text.find(test::Sjis("サーフェイスリセット[D3DERR_OUTOFVIDEOMEMORY]")), std::string::npos);
  EXPECT_NE(text.find(test::Sjis("サーフェイスリセット\r\n")), std::string::npos);
}

TEST_F(RenderState, FramesPerSecondCountsWholeSecondsOfTheClock) {
  struct Fake {
    uint32_t now = 500;
    static uint32_t Now(void* u) { return static_cast<Fake*>(u)->now; }
  } fake;
  platform::Clock clock{Fake::Now, &fake};
  gs.clock = &clock;
  Start(0);
  for (int i = 0; i < 30; i++) {
    gs.PresentFrame();
    fake.now += 20;  // 500 .. 1080: the 26th present (at 1000) is in a new second
  }
  EXPECT_EQ(gs.GetMeasuredFps(), 26);
  EXPECT_EQ(gs.PresentFrame() , 0);
  gs.clock = nullptr;
}

TEST(RenderDevice, NoDeviceMeansRefusals) {
  GraphicsSystem gs;
  EXPECT_EQ(gs.PresentFrame(), -1);
  EXPECT_EQ(gs.SetDrawMode(0), 0);
  EXPECT_EQ(gs.DrawText(0, 0, "abc", 0), 0);
  EXPECT_EQ(gs.SetGlareRate(0.5f), 0.0f);
  EXPECT_EQ(gs.SetShadowedPasses(1), 0);
  EXPECT_EQ(gs.SetAnaglyphEye(1), 0);
  EXPECT_EQ(gs.SetShadowCascade(3), 0);
  EXPECT_EQ(gs.SetShadowCascade(0), 1);
}

}  // namespace

namespace {

TEST(RenderDisplay, ACardWithoutShaderModelThreeAsksFirst) {
  struct Old : FakeDisplay {
    static bool OldCaps(void*, int, platform::GfxCaps* c) {
      *c = {0xFFFE0200u, 0xFFFF0200u, 1, 2048};
      return true;
    }
  } fake;
  fake.modes = {{640, 480, 60, platform::kFmtX8R8G8B8}};
  fake.depths = {platform::kFmtD16};
  for (int answer : {platform::kIdNo, platform::kIdYes}) {
    test::MessageBoxRecorder boxes(answer);
    GraphicsSystem gs;
    gs.display = fake.Api();
    gs.display.DeviceCaps = Old::OldCaps;
    ASSERT_EQ(gs.CreateDirect3D(), 1);
    ASSERT_NE(gs.CreateMainWindow("t", false, 0, 0, 32, 24), nullptr);
    EXPECT_EQ(gs.InitDevice(1), answer == platform::kIdYes ? 1 : 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].flags, platform::kMbYesNo | platform::kMbIconWarning);
    if (answer == platform::kIdYes) {
      EXPECT_EQ(gs.SetRenderTarget(nullptr, 1, 0), -1);  // one target only
    }
  }
}

}  // namespace
