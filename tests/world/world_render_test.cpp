// world_render_test.cpp -- the render pass around the pixels: the target
// sizes, the effect header, the stamps and counters it prints, the targets
// a rebuild makes, what one frame does to the world's frame state (rebuild
// and screenshot requests, the sound pause, the host's draw hooks) and the
// text overlays on the back buffer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "render/render_local.h"  // DecodeImage: the screenshot as stb_image reads it
#include "world/world_render_fixture.h"

namespace {

using worldtest::Picture;
using worldtest::Rgb;
using worldtest::WorldFrameFixture;

// [SECTION] Pure helpers

TEST(RenderTargetSizes, ResolutionCodesScaleTheClientAndTheHeadsetTakesANarrowEye) {
  struct Case {
    int w, h, code;
    bool headset;
    int wantW, wantH;
  } cases[] = {
      {64, 48, 0, false, 64, 48},   {64, 48, 1, false, 128, 96},     {64, 48, 2, false, 32, 24},
      {64, 48, 3, false, 256, 192}, {65, 49, 2, false, 32, 24},      // integer halving
      {64, 48, 9, false, 64, 48},   // an unknown code leaves the size alone
      {1920, 1080, 0, true, 960, 1080}, {1920, 1080, 1, true, 1920, 2160}, {800, 600, 0, true, 533, 600},
  };
  for (const Case& c : cases) {
    int w = -1, h = -1;
    world::RenderTargetSize(c.w, c.h, c.code, c.headset, &w, &h);
    EXPECT_EQ(w, c.wantW) << c.w << "x" << c.h << " code " << c.code << " headset " << c.headset;
    EXPECT_EQ(h, c.wantH) << c.w << "x" << c.h << " code " << c.code << " headset " << c.headset;
  }
}

TEST(RenderTargetSizes, ChainsHalveUntilASideReachesOneAndStopAtTwelveLevels) {
  struct Case {
    int w, h, levels;
  } cases[] = {
      {1024, 768, 9},   // down to 4 x 3
      {64, 48, 5},      // 64x48 .. 4x3
      {4, 4, 2},        {2, 2, 1},       {1, 1, 1}, {3, 1000, 1},
      {8192, 8192, 12}, {65536, 65536, 12},
  };
  for (const Case& c : cases) EXPECT_EQ(world::CountChainLevels(c.w, c.h), c.levels) << c.w << "x" << c.h;
}

TEST(EffectHeader, LinesFollowTheSwitchesInTheirOrderAndAScreenshotAddsAllButBloom) {
  core::SettingsBlock s{};
  struct Case {
    int bloom, glare, mirror, multi, bump, shadow;
    bool screenshot;
    const char* header;
  } cases[] = {
      {0, 0, 0, 0, 0, 0, false, ""},
      {1, 0, 0, 0, 0, 0, false, "#define BLOOM 1\n"},
      {0, 1, 0, 0, 0, 0, false, "#define GLARE 1\n"},
      {0, 0, 1, 0, 0, 0, false, "#define MIRROR 1\n"},
      {0, 0, 0, 1, 0, 0, false, "#define MULTI 1\n"},
      {0, 0, 0, 0, 1, 0, false, "#define BUMP 1\n"},
      {0, 0, 0, 0, 0, 1, false, "#define SHADOW 1\n"},
      {0, 0, 0, 0, 0, 2, false, "#define SHADOW 1\n#define ALLSHADOW 1\n"},
      {0, 0, 0, 0, 0, 3, false, "#define SHADOW 1\n#define ALLSHADOW 1\n"},
      {0, 0, 0, 0, 0, -1, false, ""},
      {1, 1, 1, 1, 1, 2, false,
       "#define BLOOM 1\n#define GLARE 1\n#define MIRROR 1\n#define MULTI 1\n#define BUMP 1\n#define SHADOW 1\n"
       "#define ALLSHADOW 1\n"},
      {0, 0, 0, 0, 0, 0, true,
       "#define GLARE 1\n#define MIRROR 1\n#define MULTI 1\n#define BUMP 1\n#define SHADOW 1\n#define ALLSHADOW 1\n"},
      {1, 0, 0, 0, 0, 0, true,
       "#define BLOOM 1\n#define GLARE 1\n#define MIRROR 1\n#define MULTI 1\n#define BUMP 1\n#define SHADOW 1\n"
       "#define ALLSHADOW 1\n"},
  };
  for (const Case& c : cases) {
    s.bloom = c.bloom, s.glare = c.glare, s.mirror = c.mirror, s.multiLight = c.multi, s.bump = c.bump;
    s.shadow = c.shadow;
    EXPECT_EQ(world::BuildEffectHeader(s, c.screenshot), c.header)
        << c.bloom << c.glare << c.mirror << c.multi << c.bump << c.shadow << c.screenshot;
  }
}

TEST(FrameTexts, TheScreenshotStampHasSeventeenDigitsForFourDigitYears) {
  struct Case {
    platform::LocalTime t;
    const char* stamp;
  } cases[] = {
      {{2026, 3, 5, 4, 9, 14, 7, 42}, "20260305091407042"},
      {{1000, 1, 1, 0, 0, 0, 0, 0}, "10000101000000000"},
      {{9999, 12, 31, 6, 23, 59, 59, 999}, "99991231235959999"},
  };
  for (const Case& c : cases) {
    const std::string stamp = world::FormatScreenshotStamp(c.t);
    EXPECT_EQ(stamp, c.stamp);
    EXPECT_EQ(stamp.size(), 17u);
  }
}

TEST(FrameTexts, TheTrafficLineCarriesTheFiveCountsWithTheirUnits) {
  const int32_t counters[5] = {12, 10, 2, 345, 0};
  EXPECT_EQ(world::FormatTrafficLine(counters),
            test::Sjis("受信データ(12件) ＝ 正常(10件)＋ 異常(2件)   送信(345件) 送信詰まり(0件)"));
  // No count is followed by a stray format letter, whatever its size.
  const int32_t wide[5] = {2147483647, -2147483647 - 1, 7, 0, 99};
  const std::string line = world::FormatTrafficLine(wide);
  EXPECT_NE(line.find("(2147483647" + test::Sjis("件") + ")"), std::string::npos);
  EXPECT_NE(line.find("(-2147483648" + test::Sjis("件") + ")"), std::string::npos);
  for (size_t i = 1; i < line.size(); i++) {
    const bool digit = line[i - 1] >= '0' && line[i - 1] <= '9';
    EXPECT_FALSE(digit && (line[i] == 'u' || line[i] == 'd')) << line;
  }
}

// [SECTION] The targets a rebuild makes

class RebuildTargetsTest : public WorldFrameFixture {
 protected:
  void SetUp() override { StartWorld(); }
  int ChainLength(render::TextureHolder* chain) {
    int n = 0;
    while (n < world::kGlareLevels && chain[n].texture) n++;
    return n;
  }
  void ExpectSize(const render::TextureHolder& h, int w, int hgt, const char* what) {
    EXPECT_TRUE(h.texture) << what;
    EXPECT_EQ(h.width, w) << what;
    EXPECT_EQ(h.height, hgt) << what;
  }
};

TEST_F(RebuildTargetsTest, EverySwitchOnMakesTheWholeTable) {
  settings.glare = settings.bloom = settings.mirror = 1;
  settings.shadow = 2;
  ASSERT_EQ(world::RebuildRenderTargets(world, 0), 1);
  world::WorldRenderTargets& t = world.renderTargets;
  ExpectSize(t.scene[0], 64, 48, "scene");
  EXPECT_FALSE(t.scene[1].texture) << "eye 1 belongs to the headset";
  ExpectSize(t.bloom, 64, 48, "bloom");
  // 64x48 .. 4x3: the chain's last level has both sides at least 2.
  ASSERT_EQ(ChainLength(t.glare), world::CountChainLevels(64, 48));
  ExpectSize(t.glare[4], 4, 3, "glare 4");
  for (int e = 0; e < world::kShadowCascades; e++) {
    for (const render::TextureHolder& map : t.shadow[e]) {
      ExpectSize(map, 48, 48, "shadow map");
      EXPECT_EQ(map.targetFormat, platform::kFmtR16F);
      EXPECT_TRUE(map.flags & render::kTargetShadowMap);
    }
    EXPECT_EQ(world.cascades[e].eye.x, 999999.0f) << "the first frame renders every static map";
    EXPECT_EQ(world.cascades[e].eye.y, 999999.0f);
  }
  ExpectSize(t.mirror, 32, 24, "mirror");
  ExpectSize(t.mirrorBloom, 32, 24, "mirror bloom");
  EXPECT_EQ(ChainLength(t.mirrorGlare), world::CountChainLevels(32, 24));
  // Twice the resolution: every target follows.
  ASSERT_EQ(world::RebuildRenderTargets(world, 1), 1);
  ExpectSize(t.scene[0], 128, 96, "scene x2");
  ExpectSize(t.shadow[2][1], 96, 96, "shadow x2");
  ExpectSize(t.mirror, 64, 48, "mirror x2");
  EXPECT_EQ(ChainLength(t.glare), world::CountChainLevels(128, 96));
}

TEST_F(RebuildTargetsTest, EachSwitchMakesOnlyItsOwnTargets) {
  struct Case {
    int flag, shadow, glare, bloom, mirror;
    int cascades, shadowSide, glareLevels, mirrorGlareLevels;
    bool bloomMade, mirrorMade;
  } cases[] = {
      {0, 3, 1, 1, 1, 0, 0, 0, 0, false, false},  // the fixed pipeline: the scene target alone
      {1, 0, 0, 0, 0, 0, 0, 0, 0, false, false},
      {1, 1, 0, 0, 0, 1, 48, 0, 0, false, false},
      {1, 2, 0, 0, 0, 3, 48, 0, 0, false, false},
      {1, 3, 0, 0, 0, 3, 96, 0, 0, false, false},
      {1, 0, 1, 0, 0, 0, 0, 5, 0, false, false},
      {1, 0, 0, 1, 0, 0, 0, 0, 0, true, false},
      {1, 0, 0, 0, 1, 0, 0, 0, 0, false, true},
      {1, 0, 1, 0, 1, 0, 0, 5, 4, false, true},
  };
  world::WorldRenderTargets& t = world.renderTargets;
  for (const Case& c : cases) {
    settings.shaderFlag = c.flag, settings.shadow = c.shadow, settings.glare = c.glare;
    settings.bloom = c.bloom, settings.mirror = c.mirror;
    SCOPED_TRACE(testing::Message() << "flag " << c.flag << " shadow " << c.shadow << " glare " << c.glare
                                    << " bloom " << c.bloom << " mirror " << c.mirror);
    ASSERT_EQ(world::RebuildRenderTargets(world, 0), 1);
    ExpectSize(t.scene[0], 64, 48, "scene");
    for (int e = 0; e < world::kShadowCascades; e++) {
      for (const render::TextureHolder& map : t.shadow[e]) {
        EXPECT_EQ(map.texture != nullptr, e < c.cascades) << "cascade " << e;
        if (map.texture) {
          EXPECT_EQ(map.width, c.shadowSide);
        }
      }
    }
    EXPECT_EQ(ChainLength(t.glare), c.glareLevels);
    EXPECT_EQ(t.bloom.texture != nullptr, c.bloomMade);
    EXPECT_EQ(t.mirror.texture != nullptr, c.mirrorMade);
    EXPECT_EQ(ChainLength(t.mirrorGlare), c.mirrorGlareLevels);
    EXPECT_FALSE(t.mirrorBloom.texture);
  }
}

TEST_F(RebuildTargetsTest, AScreenshotRequestTurnsOnEveryTargetButBloomAtTheCodesSize) {
  world.screenshotRequest = 1;
  ASSERT_EQ(world::RebuildRenderTargets(world, 3), 1);
  world::WorldRenderTargets& t = world.renderTargets;
  ExpectSize(t.scene[0], 256, 192, "scene x4");
  EXPECT_EQ(ChainLength(t.glare), world::CountChainLevels(256, 192));
  for (int e = 0; e < world::kShadowCascades; e++) ExpectSize(t.shadow[e][0], 192, 192, "shadow");
  ExpectSize(t.mirror, 128, 96, "mirror");
  EXPECT_FALSE(t.bloom.texture);
  world.screenshotRequest = 0;
}

TEST_F(RebuildTargetsTest, TheHeadsetGetsTwoEyeTargetsOfItsOwnShape) {
  settings.stereoType = world::kStereoHeadset;
  ASSERT_EQ(world::RebuildRenderTargets(world, 0), 1);
  // 48 high: 48 x 960 / 1080 = 42 wide.
  ExpectSize(world.renderTargets.scene[0], 42, 48, "eye 0");
  ExpectSize(world.renderTargets.scene[1], 42, 48, "eye 1");
  settings.stereoType = world::kStereoNone;
  ASSERT_EQ(world::RebuildRenderTargets(world, 0), 1);
  EXPECT_FALSE(world.renderTargets.scene[1].texture) << "a rebuild releases what it no longer makes";
}

// [SECTION] One frame's state

class FrameStateTest : public WorldFrameFixture {
 protected:
  void SetUp() override {
    StartWorld();
    Place(1, red, {0, 0, 5});
  }
  static bool HasRed(const Picture& p) {
    const Rgb c = p.At(p.w / 2, p.h / 2);
    return c.r >= 150 && c.g <= 60 && c.b <= 60;
  }
  std::vector<std::string> Screenshots() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(work.Path())) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("screenshot", 0) == 0) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The name is "screenshot", 17 digits, then `tail`.
  static bool NamedLike(const std::string& name, const std::string& tail) {
    if (name.size() != 10 + 17 + tail.size() || name.rfind("screenshot", 0) != 0) return false;
    for (size_t i = 10; i < 27; i++)
      if (name[i] < '0' || name[i] > '9') return false;
    return name.compare(27, std::string::npos, tail) == 0;
  }
};

TEST_F(FrameStateTest, TheRebuildRequestIsClearedAndPausesVoiceAndMusicForSixFrames) {
  settings.highDef = 2;
  world.renderRebuild = 1;
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(world.renderRebuild, 0);
  EXPECT_EQ(world.renderTargets.scene[0].width, 32) << "rebuilt at SHADER.HIGHDEF";
  // The frame of the request counts the first of the six.
  EXPECT_EQ(world.soundPauseCountdown, 5);
  for (int frame = 4; frame >= 0; frame--) {
    ASSERT_EQ(Frame(), 1);
    EXPECT_EQ(world.soundPauseCountdown, frame);
  }
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(world.soundPauseCountdown, 0);
  EXPECT_EQ(world.renderTargets.scene[0].width, 32) << "no rebuild without a request";
}

TEST_F(FrameStateTest, AMinimisedWindowSkipsTheFrameAndTheNextSizeIsDrawnAgain) {
  ASSERT_EQ(Frame(), 1);
  // Minimised: no height to draw to, so no aspect is taken and nothing is
  // drawn; a rebuild asked for waits for a size.
  gs.ResizeClient(64, 0);
  world.renderRebuild = 1;
  EXPECT_EQ(Frame(), 0);
  EXPECT_EQ(world.renderRebuild, 1);
  EXPECT_EQ(gs.PresentFrame(), 0);
  // Restored at another size: the rebuild makes targets of that size and
  // the frame draws the scene.
  gs.ResizeClient(80, 60);
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(world.renderRebuild, 0);
  EXPECT_EQ(world.renderTargets.scene[0].width, 80);
  EXPECT_EQ(world.renderTargets.scene[0].height, 60);
  EXPECT_TRUE(HasRed(Scene()));
}

TEST_F(FrameStateTest, AScreenshotIsSavedAtFourTimesTheClientSizeAndTheTargetsComeBack) {
  world.screenshotRequest = 1;
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(world.screenshotRequest, 0);
  EXPECT_EQ(settings.aeroLight, 1);
  EXPECT_EQ(world.soundPauseCountdown, 5);
  const std::vector<std::string> names = Screenshots();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(NamedLike(names[0], ".bmp")) << names[0];
  const std::string bytes = test::ReadFile(work.Path() + "/" + names[0]);
  render::Image image;
  std::string error;
  ASSERT_TRUE(render::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image, &error))
      << error;
  EXPECT_EQ(image.width, 4 * kWidth);
  EXPECT_EQ(image.height, 4 * kHeight);
  // The red box in the middle of the saved image.
  const uint32_t centre = image.pixels[size_t(image.height / 2 * image.width + image.width / 2)];
  EXPECT_GE(int(centre >> 16 & 255), 150);
  EXPECT_LE(int(centre >> 8 & 255), 60);
  // The targets are back at SHADER.HIGHDEF size with the settings' own
  // switches (no mirror, no glare).
  EXPECT_EQ(world.renderTargets.scene[0].width, kWidth);
  EXPECT_FALSE(world.renderTargets.mirror.texture);
  EXPECT_FALSE(world.renderTargets.glare[0].texture);
  // The screen shows the scene of the screenshot frame too: the composite
  // came before the rebuild released its target.
  EXPECT_TRUE(HasRed(BackBuffer()));
  // The next frame takes no picture.
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(Screenshots().size(), 1u);
  EXPECT_TRUE(HasRed(BackBuffer()));
}

TEST_F(FrameStateTest, TwoEyeSoftwareStereoSavesALeftAndARightImage) {
  settings.stereoType = world::kStereoSideBySide;
  settings.displayInch = 20;
  world.screenshotRequest = 1;
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(world.screenshotRequest, 0);
  const std::vector<std::string> names = Screenshots();
  ASSERT_EQ(names.size(), 2u);
  int left = 0, right = 0;
  for (const std::string& name : names) {
    left += NamedLike(name, "_l.bmp");
    right += NamedLike(name, "_r.bmp");
    EXPECT_EQ(test::ReadFile(work.Path() + "/" + name).size(), size_t(54 + 4 * kWidth * 3 * 4 * kHeight)) << name;
  }
  EXPECT_EQ(left, 1);
  EXPECT_EQ(right, 1);
  EXPECT_EQ(world.renderTargets.scene[0].width, kWidth);
}

// Which of the host's draw hooks a frame calls: the HUD and the windows,
// the editor's paths (edit mode) and overlay (edit state).
TEST_F(FrameStateTest, TheHooksFollowTheFadeTheStateAndAShiftScreenshot) {
  struct Calls {
    int hud = 0, windows = 0, paths = 0, overlay = 0;
  } calls;
  world.host.user = &calls;
  world.host.drawHud = [](void* u) { static_cast<Calls*>(u)->hud++; };
  world.host.drawWindows = [](void* u) { static_cast<Calls*>(u)->windows++; };
  world.host.drawEditorPaths = [](void* u) { static_cast<Calls*>(u)->paths++; };
  world.host.drawEditorOverlay = [](void* u) { static_cast<Calls*>(u)->overlay++; };
  int editMode = 1;
  world.editorMode = &editMode;
  struct Case {
    float fade;
    world::WorldState state;
    bool screenshot, shift;
    int hud, windows, paths, overlay;
  } cases[] = {
      {0.0f, world::WorldState::Run, false, false, 1, 1, 1, 0},
      {1.0f, world::WorldState::Run, false, false, 0, 1, 0, 0},  // no 3D scene, no HUD
      {0.0f, world::WorldState::Edit, false, false, 0, 1, 1, 1},
      {0.0f, world::WorldState::Run, true, false, 1, 1, 0, 0},   // no editor marks in a picture
      {0.0f, world::WorldState::Run, true, true, 0, 0, 0, 0},    // Shift: neither HUD nor windows
      {0.0f, world::WorldState::Edit, true, true, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    calls = {};
    world.fade.value = c.fade;
    world.state = c.state;
    world.screenshotRequest = c.screenshot;
    world.shiftHeld = c.shift;
    ASSERT_EQ(Frame(), 1);
    SCOPED_TRACE(testing::Message() << "fade " << c.fade << " edit " << (c.state == world::WorldState::Edit)
                                    << " screenshot " << c.screenshot << " shift " << c.shift);
    EXPECT_EQ(calls.hud, c.hud);
    EXPECT_EQ(calls.windows, c.windows);
    EXPECT_EQ(calls.paths, c.paths);
    EXPECT_EQ(calls.overlay, c.overlay);
  }
  world.editorMode = nullptr;
  world.host = {};
}

// [SECTION] Overlays on the back buffer

// Text is drawn on the back buffer after the composite; a 256 x 192 window
// gives the 2D layer's 20-unit fonts five pixels.
class OverlayTest : public WorldFrameFixture {
 protected:
  void SetUp() override {
    StartWorld(256, 192);
    PlainSky(0x000000);
    gs.PresentFrame();  // fonts are made once the device has presented
  }
  // Bright pixels of the back buffer in rows y0..y1 (the scene is black).
  int BrightPixels(int y0, int y1, int x0 = 0, int x1 = 255) {
    const Picture p = BackBuffer();
    int n = 0;
    for (int y = y0; y <= y1 && y < p.h; y++)
      for (int x = x0; x <= x1 && x < p.w; x++) n += p.At(x, y).Sum() >= 60;
    return n;
  }
};

TEST_F(OverlayTest, TheReplayClockShowsOnlyInAReplayOutsideTheCockpitViewsAndFades) {
  world.gameTime = 125;
  world.recordedGameTime = 3600;
  world.speed = 2;
  struct Case {
    int playback, mode, eventMode;
    float fade;
    bool shown;
  } cases[] = {
      {1, 2, 0, 0.0f, true},   {0, 2, 0, 0.0f, false}, {1, 0, 0, 0.0f, false}, {1, 1, 0, 0.0f, false},
      {1, 2, 1, 0.0f, false},  {1, 2, 0, 0.5f, false},
  };
  for (const Case& c : cases) {
    world.playback = c.playback;
    world.camera.mode = c.mode;
    world.eventMode = c.eventMode;
    world.fade.value = c.fade;
    ASSERT_EQ(Frame(), 1);
    // The marks' line: y 364 of the 768-tall layer, rows 187 on.
    const int bright = BrightPixels(186, 191);
    EXPECT_EQ(bright > 0, c.shown) << "playback " << c.playback << " mode " << c.mode << " event " << c.eventMode
                                   << " fade " << c.fade << ": " << bright;
  }
  // The speed mark stands left of the clock (x -460: columns 13 on); a
  // speed without a mark leaves only the clock.
  world.playback = 1;
  world.camera.mode = 2;
  world.eventMode = 0;
  world.fade.value = 0.0f;
  for (int speed : {10, 5, 2, 0}) {
    world.speed = speed;
    ASSERT_EQ(Frame(), 1);
    EXPECT_GT(BrightPixels(186, 191, 0, 100), 0) << "speed " << speed;
  }
  world.speed = 1;
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(BrightPixels(186, 191, 0, 100), 0);
  EXPECT_GT(BrightPixels(186, 191, 101, 255), 0) << "the clock";
}

TEST_F(OverlayTest, MessageLinesShowOnlyInANetworkGame) {
  std::snprintf(world.messages[0].text, sizeof world.messages[0].text, "%s", "MESSAGE MESSAGE MESSAGE");
  world.messages[0].timer = 100;
  // Line 0 at y -320: rows 32 on.
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(BrightPixels(28, 40), 0);
  world.networkGame = 1;
  ASSERT_EQ(Frame(), 1);
  EXPECT_GT(BrightPixels(28, 40), 0);
  world.messages[0].timer = 0;
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(BrightPixels(28, 40), 0);
}

}  // namespace
