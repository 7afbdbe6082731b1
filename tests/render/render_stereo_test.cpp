// render_stereo_test.cpp -- the head-mounted display through a fake runtime,
// the machine without one, and the Ostra eyes' projection shift in pixels.

#include <cmath>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "render_fixture.h"
#include "test_support.h"

namespace {

using render::GraphicsSystem;
using render::Vec3;
namespace p = platform;

// A display that records what the renderer asks of it.
class FakeHeadset : public p::HeadMountedDisplay {
 public:
  p::HeadsetFov fov[2] = {{1.1f, 1.2f, 0.9f, 1.3f}, {1.1f, 1.2f, 1.3f, 0.9f}};
  p::HeadsetTracking tracking;
  std::vector<std::string> calls;
  int backWidth = 0, backHeight = 0, multisample = 0;
  uint32_t distortionCaps = 0, trackSupported = 0, trackRequired = 99;
  float offsetsSeen[2][3] = {};
  p::HeadsetPose posesSubmitted[2];
  p::HeadsetEyeTexture texturesSubmitted[2];
  bool destroyed = false;

  p::HeadsetFov DefaultEyeFov(int eye) override { return fov[eye]; }
  void FovTextureSize(int eye, const p::HeadsetFov&, float, int* w, int* h) override {
    *w = 1182 + eye;
    *h = 1461;
  }
  void Resolution(int* w, int* h) override {
    *w = 1920;
    *h = 1080;
  }
  int ConfigureRendering(int bw, int bh, int ms, uint32_t caps, const p::HeadsetFov f[2],
                         p::HeadsetEyeDesc out[2]) override {
    calls.push_back("configure");
    backWidth = bw, backHeight = bh, multisample = ms, distortionCaps = caps;
    for (int e = 0; e < 2; e++) {
      out[e].eye = e;
      out[e].fov = f[e];
      out[e].headToEye[0] = e == 0 ? 0.032f : -0.032f;
    }
    return 1;
  }
  int AttachToWindow(p::Window*) override {
    calls.push_back("attach");
    return 1;
  }
  void BeginFrame(unsigned index) override { calls.push_back("begin " + std::to_string(index)); }
  void DismissSafetyNotice() override { calls.push_back("dismiss"); }
  void EndFrame(const p::HeadsetPose poses[2], const p::HeadsetEyeTexture textures[2]) override {
    calls.push_back("end");
    for (int e = 0; e < 2; e++) posesSubmitted[e] = poses[e], texturesSubmitted[e] = textures[e];
  }
  void EyePoses(unsigned, const float offsets[2][3], p::HeadsetPose out[2]) override {
    for (int e = 0; e < 2; e++) {
      for (int i = 0; i < 3; i++) offsetsSeen[e][i] = offsets[e][i];
      out[e] = tracking.head;
      out[e].position[0] = offsets[e][0];
    }
  }
  double TimeInSeconds() override { return 12.5; }
  p::HeadsetTracking TrackingState(double) override { return tracking; }
  int ConfigureTracking(uint32_t supported, uint32_t required) override {
    calls.push_back("track");
    trackSupported = supported, trackRequired = required;
    return 1;
  }
  void RecenterPose() override { calls.push_back("recenter"); }
  void Destroy() override { destroyed = true; }

  p::HeadsetApi Api() {
    p::HeadsetApi api;
    api.user = this;
    api.StartRuntime = [](void*) { return true; };
    api.Create = [](void* user, int) -> p::HeadMountedDisplay* { return static_cast<FakeHeadset*>(user); };
    return api;
  }
};

void SetOrientation(FakeHeadset& h, float x, float y, float z, float w,
                    uint32_t status = p::kHeadsetOrientationTracked) {
  h.tracking.head.orientation[0] = x;
  h.tracking.head.orientation[1] = y;
  h.tracking.head.orientation[2] = z;
  h.tracking.head.orientation[3] = w;
  h.tracking.status = status;
}

TEST(RenderStereo, MachineWithoutRuntimeOrDriverGoesOnWithoutThem) {
  test::ScopedWorkFolder folder;
  core::LogSystem log("system.log", 0);
  {
    GraphicsSystem gs;
    gs.log = &log;
    EXPECT_EQ(gs.StartVRRuntime(), 0);
    EXPECT_EQ(gs.InitStereo(1), 0);
    EXPECT_EQ(gs.StartVR(), 0);
    EXPECT_EQ(gs.HasHeadset(), 0);
    // Every headset operation does nothing.
    render::TextureHolder eye;
    gs.BeginVRFrame();
    gs.DismissVRWarning();
    gs.SubmitVRFrame(&eye, &eye);
    gs.RecenterVR();
    Vec3 r = gs.GetHeadRotationVector();
    EXPECT_EQ(r.x, 0.0f);
    EXPECT_EQ(r.y, 0.0f);
    EXPECT_EQ(r.z, 0.0f);
    float fov[4] = {9, 9, 9, 9};
    gs.GetEyeFovTangents(0, fov);
    for (float f : fov) EXPECT_EQ(f, 0.0f);
    gs.ReleaseDirect3D();
  }
  log.CloseLog();
  std::string text = test::ReadFile("system.log");
  EXPECT_NE(text.find(test::Sjis("NVAPI初期化失敗")), std::string::npos);
  size_t start = text.find(test::Sjis("OculusVR初期化処理開始"));
  size_t end = text.find(test::Sjis("OculusVR初期化処理終了"));
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_LT(start, end);
  EXPECT_EQ(text.find(test::Sjis("テクスチャサイズ")), std::string::npos);
}

TEST(RenderStereo, StartConfiguresTheDisplayAndLogsItsSizes) {
  test::ScopedWorkFolder folder;
  core::LogSystem log("system.log", 0);
  FakeHeadset fake;
  {
    GraphicsSystem gs;
    gs.log = &log;
    gs.headsetApi = fake.Api();
    EXPECT_EQ(gs.StartVRRuntime(), 1);
    EXPECT_EQ(gs.StartVR(), 1);
    EXPECT_EQ(gs.HasHeadset(), 1);
    EXPECT_EQ(fake.backWidth, 1024);  // the client size before any window
    EXPECT_EQ(fake.backHeight, 768);
    EXPECT_EQ(fake.multisample, 1);
    EXPECT_EQ(fake.distortionCaps, 0x8Au);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"configure", "attach"}));
    // The eyes' tangents are those the display was configured with.
    float t[4];
    gs.GetEyeFovTangents(1, t);
    EXPECT_EQ(t[0], 1.1f);
    EXPECT_EQ(t[1], 1.2f);
    EXPECT_EQ(t[2], 1.3f);
    EXPECT_EQ(t[3], 0.9f);
    gs.GetEyeFovTangents(2, t);  // no third eye
    EXPECT_EQ(t[0], 0.0f);
    gs.ReleaseDirect3D();
    EXPECT_TRUE(fake.destroyed);
    EXPECT_EQ(gs.HasHeadset(), 0);
    gs.BeginVRFrame();  // the released display is not touched again
    EXPECT_EQ(fake.calls.size(), 2u);
  }
  log.CloseLog();
  std::string text = test::ReadFile("system.log");
  size_t start = text.find(test::Sjis("OculusVR初期化処理開始"));
  size_t size0 = text.find(test::Sjis("テクスチャサイズ=(1182,1461)"));
  size_t size1 = text.find(test::Sjis("テクスチャサイズ=(1183,1461)"));
  size_t res = text.find(test::Sjis("ピクセル解像度=(1920,1080)"));
  size_t end = text.find(test::Sjis("OculusVR初期化処理終了"));
  ASSERT_NE(start, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  EXPECT_LT(start, size0);
  EXPECT_LT(size0, size1);
  EXPECT_LT(size1, res);
  EXPECT_LT(res, end);
}

TEST(RenderStereo, FramesRecentringAndSubmittedEyes) {
  FakeHeadset fake;
  GraphicsSystem gs;
  gs.headsetApi = fake.Api();
  ASSERT_EQ(gs.StartVR(), 1);
  fake.calls.clear();
  gs.RecenterVR();
  EXPECT_EQ(fake.trackSupported, 0x30u);
  EXPECT_EQ(fake.trackRequired, 0u);
  gs.BeginVRFrame();
  gs.DismissVRWarning();
  SetOrientation(fake, 0, 0.5f, 0, 0.8660254f);
  gs.GetHeadRotationVector();
  // The head-to-eye offsets come from the eyes' render descriptions.
  EXPECT_EQ(fake.offsetsSeen[0][0], 0.032f);
  EXPECT_EQ(fake.offsetsSeen[1][0], -0.032f);

  render::TextureHolder left, right;
  left.width = 640, left.height = 800;
  right.width = 320, right.height = 400;
  gs.SubmitVRFrame(&left, &right);
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"track", "recenter", "begin 0", "dismiss", "end"}));
  const int sizes[2][2] = {{640, 800}, {320, 400}};
  for (int e = 0; e < 2; e++) {
    const p::HeadsetEyeTexture& t = fake.texturesSubmitted[e];
    EXPECT_EQ(t.api, 3);
    EXPECT_EQ(t.width, sizes[e][0]);
    EXPECT_EQ(t.height, sizes[e][1]);
    EXPECT_EQ(t.viewport[0], 0);
    EXPECT_EQ(t.viewport[1], 0);
    EXPECT_EQ(t.viewport[2], sizes[e][0]);
    EXPECT_EQ(t.viewport[3], sizes[e][1]);
    // The poses are the ones read with the head rotation.
    EXPECT_EQ(fake.posesSubmitted[e].orientation[1], 0.5f);
    EXPECT_EQ(fake.posesSubmitted[e].position[0], e == 0 ? 0.032f : -0.032f);
  }
  gs.ReleaseDirect3D();
}

TEST(RenderStereo, HeadRotationIsAxisTimesAngleTheShortWayRound) {
  const float s45 = std::sqrt(0.5f);
  const float pi = 3.14159265f;
  struct Case {
    const char* what;
    float x, y, z, w;
    uint32_t status;
    Vec3 expect;
  } cases[] = {
      {"straight ahead", 0, 0, 0, 1, 1, {0, 0, 0}},
      {"90 degrees about the vertical", 0, s45, 0, s45, 1, {0, pi / 2, 0}},
      {"the same turn with a negated quaternion", 0, -s45, 0, -s45, 1, {0, pi / 2, 0}},
      {"270 degrees is 90 back", 0, s45, 0, -s45, 1, {0, -pi / 2, 0}},
      {"60 degrees about x", 0.5f, 0, 0, 0.8660254f, 1, {pi / 3, 0, 0}},
      {"not tracked", 0, s45, 0, s45, 0, {0, 0, 0}},
      {"other bits without orientation", 0, s45, 0, s45, 0x6, {0, 0, 0}},
      {"tracked among other bits", 0, 0, s45, s45, 0x7, {0, 0, pi / 2}},
  };
  FakeHeadset fake;
  GraphicsSystem gs;
  gs.headsetApi = fake.Api();
  ASSERT_EQ(gs.StartVR(), 1);
  for (const Case& c : cases) {
    SetOrientation(fake, c.x, c.y, c.z, c.w, c.status);
    Vec3 r = gs.GetHeadRotationVector();
    EXPECT_NEAR(r.x, c.expect.x, 1e-5f) << c.what;
    EXPECT_NEAR(r.y, c.expect.y, 1e-5f) << c.what;
    EXPECT_NEAR(r.z, c.expect.z, 1e-5f) << c.what;
  }
  gs.ReleaseDirect3D();
}

TEST(RenderStereo, SecondStartReplacesTheDisplay) {
  FakeHeadset first, second;
  GraphicsSystem gs;
  gs.headsetApi = first.Api();
  ASSERT_EQ(gs.StartVR(), 1);
  gs.headsetApi = second.Api();
  ASSERT_EQ(gs.StartVR(), 1);
  EXPECT_TRUE(first.destroyed);
  EXPECT_FALSE(second.destroyed);
  gs.BeginVRFrame();
  EXPECT_EQ(first.calls.size(), 2u);
  EXPECT_EQ(second.calls.back(), "begin 0");
  gs.ReleaseDirect3D();
  EXPECT_TRUE(second.destroyed);
}

// The Ostra modes draw each eye with the projection shifted by the eye's
// stereo shift in pixels: left for eye 0, right for eye 1.
class OstraEyes : public rendertest::RenderFixture {
 protected:
  // The first lit column of the middle row after drawing a square centred
  // on the view with this eye's shift.
  int LeftEdge(int eye, float shift) {
    gs.SetRenderTarget(&target, 0, 1);
    gs.SetEyeStereoShift(eye, shift);
    gs.SetDrawMode(0);
    gs.SetCamera3D({0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f);
    DrawMeshSquare(10, 4, 1, 0, 0, false);
    gs.BeginScenePass(0, 0);
    for (int x = 0; x < 64; x++)
      if (Pixel(x, 24)[0] > 128) return x;
    return -1;
  }

  void ExpectEyesShifted() {
    UseTarget(64, 48);
    int centre = LeftEdge(0, 0.0f);
    ASSERT_GT(centre, 0);
    EXPECT_EQ(LeftEdge(0, 5.0f), centre - 5);
    EXPECT_EQ(LeftEdge(1, 5.0f), centre + 5);
    EXPECT_EQ(LeftEdge(1, -3.0f), centre - 3);
  }
};

TEST_F(OstraEyes, EyesAreShiftedByTheirPixelsWithTheEffect) {
  Start(1);
  ExpectEyesShifted();
}

TEST_F(OstraEyes, EyesAreShiftedByTheirPixelsWithoutTheEffect) {
  Start(0);
  ExpectEyesShifted();
}

// The anaglyph eye needs the effect's colour matrices: without the effect it
// stores nothing and a white sprite stays white; with it the eyes alternate
// and each call answers the eye before it.
TEST_F(OstraEyes, AnaglyphEyeIsRefusedWithoutTheEffect) {
  Start(0);
  UseTarget(64, 48);
  EXPECT_EQ(gs.SetAnaglyphEye(1), 0);
  EXPECT_EQ(gs.GetAnaglyphEye(), 0);
  DrawQuad2D(-4000, -4000, 4000, 4000, gs.GetWhiteTexture()->texture);
  EXPECT_EQ(Pixel(32, 24), (std::vector<int>{255, 255, 255}));
}

TEST_F(OstraEyes, AnaglyphEyesSplitRedFromCyan) {
  Start(1);
  UseTarget(64, 48);
  EXPECT_EQ(gs.SetAnaglyphEye(1), 0);
  DrawQuad2D(-4000, -4000, 4000, 4000, gs.GetWhiteTexture()->texture);
  std::vector<int> left = Pixel(32, 24);
  EXPECT_GT(left[0], 200);
  EXPECT_EQ(left[1], 0);
  EXPECT_LT(left[2], 10);
  EXPECT_EQ(gs.SetAnaglyphEye(2), 1);
  gs.SetRenderTarget(&target, 0, 1);
  DrawQuad2D(-4000, -4000, 4000, 4000, gs.GetWhiteTexture()->texture);
  std::vector<int> right = Pixel(32, 24);
  EXPECT_EQ(right[0], 0);
  EXPECT_GT(right[1], 200);
  EXPECT_GT(right[2], 200);
  EXPECT_EQ(gs.SetAnaglyphEye(0), 2);
  gs.SetRenderTarget(&target, 0, 1);
  DrawQuad2D(-4000, -4000, 4000, 4000, gs.GetWhiteTexture()->texture);
  EXPECT_EQ(Pixel(32, 24), (std::vector<int>{255, 255, 255}));
}

}  // namespace
