// world_render_pixel_test.cpp -- the pixels of small scenes drawn whole by
// RenderFrame: sky and fog, light and shadow, the mirror, glare, the screen
// fade, red-cyan stereo, and every shader switch of the settings.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "world/world_render_fixture.h"
#include "world/world_services.h"

namespace {

using worldtest::Picture;
using worldtest::Rgb;
using worldtest::WorldFrameFixture;
using world::Vec3;

constexpr float kQuarterTurn = 1.57079633f;

class PixelFrameTest : public WorldFrameFixture {
 protected:
  void SetUp() override { StartWorld(); }

  // The settings changed: the next frame rebuilds, then draws.
  Picture RebuildAndDraw() {
    world.renderRebuild = 1;
    EXPECT_EQ(Frame(), 1);
    return Scene();
  }
};

// [SECTION] Sky, fog and light

TEST_F(PixelFrameTest, TheSkyShowsAtTheTopAndFogTakesTheFarBoxMoreThanTheNearOne) {
  PlainSky(0x2040C0);
  ASSERT_EQ(Frame(), 1);
  const Rgb sky = Scene().At(32, 0);
  EXPECT_NEAR(sky.r, 0x20, 24);
  EXPECT_NEAR(sky.g, 0x40, 24);
  EXPECT_NEAR(sky.b, 0xC0, 24);

  // Yellow fog from 5 to 40: a red box 6 ahead on the left, one 12 ahead
  // on the right.
  world.environment.SetFogEntry(0, 5.0f, 40.0f, {1, 1, 0});
  Place(1, red, {-3, 0, 6});
  Place(2, red, {3, 0, 12});
  ASSERT_EQ(Frame(), 1);
  const Picture p = Scene();
  const Rgb nearBox = p.At(20, 24), farBox = p.At(38, 24), top = p.At(32, 0);
  EXPECT_GE(nearBox.r, 200);
  EXPECT_GE(farBox.r, 200);
  EXPECT_GE(farBox.g - nearBox.g, 30) << "the far box takes more of the fog's yellow";
  EXPECT_LE(farBox.b, 40) << "the fog's colour, not a grey";
  // The sky far beyond the fog is the fog's colour.
  EXPECT_GE(top.r, 230);
  EXPECT_GE(top.g, 230);
  EXPECT_LE(top.b, 30);
}

TEST_F(PixelFrameTest, ALitBoxIsBrighterOnItsSunnySide) {
  // A white box turned an eighth round shows two faces, left and right.
  units::Unit* box = Place(1, white, {0, 0, 5});
  box->SetObjectAngles(0, kQuarterTurn / 2, 0);
  struct Case {
    Vec3 light;
    bool leftLit;
  } cases[] = {{{1, 0, 0}, true}, {{-1, 0, 0}, false}};
  for (const Case& c : cases) {
    world.environment.SetLightEntry(0, c.light, {1, 1, 1}, {0.2f, 0.2f, 0.2f});
    ASSERT_EQ(Frame(), 1);
    const Picture p = Scene();
    const Rgb left = p.At(29, 24), right = p.At(35, 24);
    const Rgb& lit = c.leftLit ? left : right;
    const Rgb& unlit = c.leftLit ? right : left;
    EXPECT_GE(lit.Sum(), 600) << "light " << c.light.x;
    EXPECT_GE(unlit.Sum(), 90) << "the ambient light still reaches the shadowed side";
    EXPECT_LE(unlit.Sum(), 240) << "light " << c.light.x;
  }
}

// [SECTION] Shadows

// A green box 0.5 over a white ground, seen from above and in front, the
// sun above and to the left: its shadow falls on the ground to its right.
class ShadowPixelTest : public PixelFrameTest {
 protected:
  void SetUp() override {
    PixelFrameTest::SetUp();
    world.camera.worldScale = 0.01f;  // the cascades of 8 and 30 units
    world.environment.SetLightEntry(0, {0.6f, -1, 0.3f}, {1, 1, 1}, {0.2f, 0.2f, 0.2f});
    Place(1, white, {0, -0.1f, 0}, {20, 0.1f, 20});
    Place(2, green, {0, 1.5f, 0});
    gs.SetCamera3D({0, 4, -4}, platform::Vec3Normalize({0, -1, 1}), platform::Vec3Normalize({0, 1, 1}),
                   kQuarterTurn);
  }
  Picture Draw(int shadowSetting, int shadowState) {
    settings.shadow = shadowSetting;
    world.environment.SetShadowEntry(0, shadowState);
    return RebuildAndDraw();
  }
  // Ground pixels (white without shadows) at least `by` darker in `shaded`.
  static std::vector<int> Darkened(const Picture& plain, const Picture& shaded, int by) {
    std::vector<int> xs;
    for (int y = 0; y < plain.h; y++) {
      for (int x = 0; x < plain.w; x++) {
        const Rgb a = plain.At(x, y), b = shaded.At(x, y);
        if (a.Sum() >= 700 && a.Sum() - b.Sum() >= by) xs.push_back(x);
      }
    }
    return xs;
  }
};

TEST_F(ShadowPixelTest, TheBoxShadowsTheGroundBesideIt) {
  const Picture plain = Draw(0, 1);
  const Picture shaded = Draw(2, 1);
  const std::vector<int> xs = Darkened(plain, shaded, 300);
  ASSERT_GE(xs.size(), 3u) << "a shadow darker than the ground beside it";
  // The box covers columns 25 to 39; its shadow reaches past its right
  // side, away from the sun, and nowhere past its left.
  int rightmost = 0, leftmost = plain.w;
  for (int x : xs) rightmost = std::max(rightmost, x), leftmost = std::min(leftmost, x);
  EXPECT_GE(rightmost, 41);
  EXPECT_GE(leftmost, 25);
  // The rest of the ground keeps its light.
  EXPECT_EQ(plain.At(4, 44).Sum(), shaded.At(4, 44).Sum());
}

TEST_F(ShadowPixelTest, NoShadowWithoutTheSettingOrWithoutTheEnvironmentsShadowState) {
  const Picture plain = Draw(0, 1);
  struct Case {
    int setting, state;
  } cases[] = {{0, 1}, {2, 0}, {3, 0}, {1, 0}};
  for (const Case& c : cases) {
    const Picture p = Draw(c.setting, c.state);
    EXPECT_EQ(p.CountDifferences(plain, 2), 0) << "SHADOW " << c.setting << " state " << c.state;
  }
  // The screenshot frame turns every cascade on, but not against state 0.
  settings.shadow = 2;
  world.environment.SetShadowEntry(0, 0);
  world.renderRebuild = 1;
  ASSERT_EQ(Frame(), 1);
  world.screenshotRequest = 1;
  ASSERT_EQ(Frame(), 1);
  for (const world::ShadowCascadeRecord& record : world.cascades)
    EXPECT_EQ(record.eye.x, 999999.0f) << "no static map was rendered";
}

// The static maps are cached: drawn on the first frame, again only once the
// light's eye moved a tenth of the cascade's extent, or after a camera mode
// change.
TEST_F(ShadowPixelTest, StaticShadowMapsAreRedrawnOnlyWhenTheLightEyeMovesFarEnough) {
  Draw(2, 1);
  const Vec3 first[3] = {world.cascades[0].eye, world.cascades[1].eye, world.cascades[2].eye};
  for (const Vec3& eye : first) EXPECT_NE(eye.x, 999999.0f);
  auto eyeNow = [&](int e) { return world.cascades[e].eye; };
  auto same = [](Vec3 a, Vec3 b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
  // Cascade 1 has an extent of 8: a step of 0.5 keeps its map, 1.0 does not.
  // Cascade 2 (30) keeps its map through both.
  gs.SetCamera3D({0.5f, 4, -4}, platform::Vec3Normalize({0, -1, 1}), platform::Vec3Normalize({0, 1, 1}),
                 kQuarterTurn);
  ASSERT_EQ(Frame(), 1);
  EXPECT_TRUE(same(eyeNow(1), first[1]));
  EXPECT_TRUE(same(eyeNow(2), first[2]));
  gs.SetCamera3D({1.0f, 4, -4}, platform::Vec3Normalize({0, -1, 1}), platform::Vec3Normalize({0, 1, 1}),
                 kQuarterTurn);
  ASSERT_EQ(Frame(), 1);
  EXPECT_FALSE(same(eyeNow(1), first[1]));
  EXPECT_NEAR(eyeNow(1).x, first[1].x + 1.0f, 1e-3f);
  EXPECT_TRUE(same(eyeNow(2), first[2]));
  // A camera mode change makes every cascade render anew at the next frame.
  const Vec3 before = eyeNow(2);
  world::SetCameraMode(world, 2);
  EXPECT_EQ(eyeNow(2).y, before.y - 10000.0f);
  ASSERT_EQ(Frame(), 1);
  // Cascade 2 kept its first eye through the small moves; now it takes the
  // camera's present one.
  EXPECT_NEAR(eyeNow(2).x, first[2].x + 1.0f, 1e-3f);
  EXPECT_NEAR(eyeNow(2).y, first[2].y, 1e-3f);
  EXPECT_NEAR(eyeNow(1).y, first[1].y, 1e-3f);
  // A full fade draws no shadow pass: the records stay as they are.
  world::SetCameraMode(world, 2);
  const float lowered = eyeNow(2).y;
  world.fade.value = 1.0f;
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(eyeNow(2).y, lowered);
}

// [SECTION] The mirror

// A white MIRROR_MAP plane one below the eye, a green box over it and a red
// one over that, 16 ahead. The plane mixes the mirror image into its colour
// by its Fresnel term, so the reflections show as tints of the grey water.
class MirrorPixelTest : public PixelFrameTest {
 protected:
  void SetUp() override {
    PixelFrameTest::SetUp();
    world.environment.SetLightEntry(0, {0, -1, 0.2f}, {0.5f, 0.5f, 0.5f}, {0.2f, 0.2f, 0.2f});
    test::WriteFile("water.x", BoxText("1.000000;1.000000;1.000000;1.000000;;"));
    LoadMap("{WATER:{MODEL_FILE:\"water.x\",SCALE:{x:30,y:0.01,z:30},ATTRIBUTE:[\"MIRROR_MAP\"]}}",
            "[{ID:\"WATER\",POS:{x:0,y:-1,z:10}}]");
    Place(1, green, {0, 0.5f, 16}, {3, 1, 1});
    Place(2, red, {0, 2.5f, 16}, {3, 1, 1});
    gs.SetCamera3D({0, 1, 0}, {0, 0, 1}, {0, 1, 0}, kQuarterTurn);
  }
  // The first row from `y0` down of column x tinted green (g - r) or red
  // (r - g) by at least 4 (the water is a pure grey); -1 when none.
  static int FirstTinted(const Picture& p, int x, int y0, bool green) {
    for (int y = y0; y < p.h; y++) {
      const Rgb c = p.At(x, y);
      if ((green ? c.g - c.r : c.r - c.g) >= 4) return y;
    }
    return -1;
  }
};

TEST_F(MirrorPixelTest, TheWaterShowsTheObjectsAboveItUpsideDown) {
  settings.mirror = 1;
  const Picture on = RebuildAndDraw();
  // The boxes themselves: red above green over the horizon (row 24).
  const int redBox = FirstTinted(on, 32, 0, false), greenBox = FirstTinted(on, 32, 0, true);
  ASSERT_GE(redBox, 0);
  ASSERT_GE(greenBox, 0);
  EXPECT_LT(redBox, greenBox);
  // Their reflections in the water below: green nearer the horizon, red
  // under it.
  const int water = 28;
  const int greenImage = FirstTinted(on, 32, water, true), redImage = FirstTinted(on, 32, water, false);
  ASSERT_GT(greenImage, 0) << "a green reflection";
  ASSERT_GT(redImage, 0) << "a red reflection";
  EXPECT_LT(greenImage, redImage) << "the reflection is flipped";
  // Away from the boxes the water shows nothing of them.
  EXPECT_EQ(FirstTinted(on, 4, water, true), -1);
  EXPECT_EQ(FirstTinted(on, 4, water, false), -1);

  // Without the mirror switch the water is plain.
  settings.mirror = 0;
  const Picture off = RebuildAndDraw();
  EXPECT_EQ(FirstTinted(off, 32, water, true), -1);
  EXPECT_EQ(FirstTinted(off, 32, water, false), -1);
  EXPECT_EQ(off.At(32, 10).Sum(), on.At(32, 10).Sum()) << "the sky is no mirror";
}

// [SECTION] Glare

TEST_F(PixelFrameTest, GlareBrightensThePixelsAroundABrightSprite) {
  PlainSky(0x101010);
  render::TextureHolder white8;
  ASSERT_EQ(white8.CreateFilledTexture(gs, 8, 8, 0xFFFFFFFF, 0), 0u);
  white8.SetTextureFlags(render::kTexAdditive);
  // A white additive disc below the eye, its face turned up to it, half
  // of its light given to the glare.
  world::EffectObject* disc = world.effectPool[0];
  disc->SetObjectSurface(gs, &white8, render::kSurfaceDisc, 10);
  disc->SetObjectPosition(0, -2, 4);
  disc->SetObjectAngles(2 * kQuarterTurn, 0, 0);
  disc->SetObjectGlareRate(0.5f);
  disc->SetObjectVisible(1);

  settings.glare = 0;
  const Picture plain = RebuildAndDraw();
  // The disc's row and its left edge.
  int row = -1, left = -1;
  for (int y = 0; y < plain.h && row < 0; y++)
    for (int x = 0; x < plain.w; x++)
      if (plain.At(x, y).Sum() >= 600) {
        row = y + 1, left = x;
        break;
      }
  ASSERT_GE(row, 0) << "the disc is drawn";
  for (int x = 0; x < plain.w; x++)
    if (plain.At(x, row).Sum() >= 600) {
      left = x;
      break;
    }
  ASSERT_GE(left, 3);
  settings.glare = 1;
  const Picture glare = RebuildAndDraw();
  const Rgb beside = glare.At(left - 2, row), before = plain.At(left - 2, row);
  EXPECT_LE(before.Sum(), 3 * 0x10 + 30) << "the dark sky beside the disc";
  EXPECT_GE(beside.Sum(), before.Sum() + 30) << "the glare spreads past the disc";
  // The glare fades with the distance: the far corner gains less.
  const int nearGain = beside.Sum() - before.Sum();
  const int farGain = glare.At(2, 2).Sum() - plain.At(2, 2).Sum();
  EXPECT_GT(nearGain, farGain + 20);
  world::ResetEffectObject(*disc);
  white8.ReleaseTexture(gs);
}

// [SECTION] The screen fade

TEST_F(PixelFrameTest, TheFadeCoversTheFrameInItsColour) {
  Place(1, green, {0, 0, 5});
  ASSERT_EQ(Frame(), 1);
  const Picture clear = Scene();
  world::set_fade_color(world, 1, 0, 0, 1);
  // Full: red everywhere, the green box gone.
  world.fade.value = 1.0f;
  ASSERT_EQ(Frame(), 1);
  const Picture full = Scene();
  int red = 0;
  for (const Rgb& c : full.pixels) red += c.r >= 245 && c.g <= 10 && c.b <= 10;
  EXPECT_EQ(red, full.w * full.h);
  // Half: the scene shows through by half.
  world.fade.value = 0.5f;
  ASSERT_EQ(Frame(), 1);
  const Picture half = Scene();
  for (const auto& [x, y] : {std::pair{32, 24}, std::pair{32, 2}, std::pair{4, 44}}) {
    const Rgb was = clear.At(x, y), now = half.At(x, y);
    EXPECT_NEAR(now.r, (was.r + 255) / 2, 4) << x << "," << y;
    EXPECT_NEAR(now.g, was.g / 2, 4) << x << "," << y;
    EXPECT_NEAR(now.b, was.b / 2, 4) << x << "," << y;
  }
  EXPECT_GE(clear.At(32, 24).g, 150) << "the green box under the fade";
  // No fade: the frame as it was.
  world.fade.value = 0.0f;
  ASSERT_EQ(Frame(), 1);
  EXPECT_EQ(Scene().CountDifferences(clear, 0), 0);
}

// [SECTION] Red-cyan stereo

TEST_F(PixelFrameTest, RedCyanStereoPutsTheEyesIntoTheirOwnChannels) {
  // A white box off the centre, close: the eyes see it in different places.
  Place(1, white, {1.5f, 0, 4});
  world.environment.SetLightEntry(0, {0, 0, 1}, {1, 1, 1}, {0.2f, 0.2f, 0.2f});
  struct Case {
    int flag, stereo, inches;
    bool separated;
  } cases[] = {
      {1, world::kStereoColour, 20, true},  // the effect's eye passes
      {0, world::kStereoColour, 20, true},  // the fixed pipeline's tints
      {1, world::kStereoColour, 0, false},  // no display size: one plain eye
      {1, world::kStereoNone, 20, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flag " << c.flag << " stereo " << c.stereo << " inches " << c.inches);
    settings.shaderFlag = c.flag;
    settings.stereoType = c.stereo;
    settings.displayInch = c.inches;
    world.renderRebuild = 1;
    ASSERT_EQ(Frame(), 1);
    const Picture back = BackBuffer();
    int redOnly = 0, cyanOnly = 0, redX = 0, cyanX = 0;
    for (int y = 0; y < back.h; y++) {
      for (int x = 0; x < back.w; x++) {
        const Rgb p = back.At(x, y);
        if (p.r >= 180 && p.g <= 80 && p.b <= 80) redOnly++, redX += x;
        if (p.r <= 80 && p.g >= 180 && p.b >= 180) cyanOnly++, cyanX += x;
      }
    }
    if (!c.separated) {
      EXPECT_EQ(redOnly, 0);
      EXPECT_EQ(cyanOnly, 0);
      continue;
    }
    ASSERT_GT(redOnly, 0) << "eye 0 alone in the red channel";
    ASSERT_GT(cyanOnly, 0) << "eye 1 alone in green and blue";
    EXPECT_GE(std::abs(redX / redOnly - cyanX / cyanOnly), 4) << "the box is shifted between the eyes";
    // The sky, seen by both eyes alike, is white again.
    const Rgb sky = back.At(2, 2);
    EXPECT_GE(sky.r, 200);
    EXPECT_GE(sky.g, 200);
    EXPECT_GE(sky.b, 200);
  }
}

// [SECTION] The shader switches

// One scene with something for every switch: a white MIRROR_MAP ground, a
// green box over it (the camera's shadow unit, with a bump map), a blue
// spot light on the box and a bright disc above the eye. Every switch alone
// must draw a whole frame that differs from the one with all switches off.
TEST_F(PixelFrameTest, EveryShaderSwitchChangesTheFrameAndNoneBreaksIt) {
  PlainSky(0x101030);
  world.environment.SetLightEntry(0, {0.6f, -1, 0.3f}, {0.7f, 0.7f, 0.7f}, {0.2f, 0.2f, 0.2f});
  world.environment.SetShadowEntry(0, 1);
  world.camera.worldScale = 0.01f;
  test::WriteFile("ground.x", BoxText("1.000000;1.000000;1.000000;1.000000;;"));
  LoadMap("{GROUND:{MODEL_FILE:\"ground.x\",SCALE:{x:20,y:0.05,z:20},ATTRIBUTE:[\"MIRROR_MAP\"]}}",
          "[{ID:\"GROUND\",POS:{x:0,y:-0.05,z:0}}]");
  PlainSky(0x101030);
  world.camera.shadowUnit = Place(2, green, {0, 1.5f, 0});
  // The box's maps: a bump map that tilts every normal, a light map that
  // glows (into the bloom target under BLOOM).
  render::TextureHolder bump, glow;
  ASSERT_EQ(bump.CreateFilledTexture(gs, 8, 8, 0xFFE0E080, 0), 0u);
  ASSERT_EQ(glow.CreateFilledTexture(gs, 8, 8, 0xFF808080, 0), 0u);
  green.SetMeshBumpTexture(-1, -1, &bump);
  green.SetMeshLightTexture(-1, -1, &glow);
  world.spotLights.AddSpotLight({0, 1.5f, -3}, {0, 0, 1}, {0, 0, 1}, 30.0f, 1.0f, 100000);
  render::TextureHolder white8;
  ASSERT_EQ(white8.CreateFilledTexture(gs, 8, 8, 0xFFFFFFFF, 0), 0u);
  white8.SetTextureFlags(render::kTexAdditive);
  world::EffectObject* disc = world.effectPool[0];
  disc->SetObjectSurface(gs, &white8, render::kSurfaceDisc, 10);
  disc->SetObjectPosition(2.5f, 0.5f, 1.0f);
  disc->SetObjectAngles(2 * kQuarterTurn, 0, 0);  // its face up, toward the eye
  disc->SetObjectGlareRate(0.5f);
  disc->SetObjectVisible(1);
  gs.SetCamera3D({0, 4, -4}, platform::Vec3Normalize({0, -1, 1}), platform::Vec3Normalize({0, 1, 1}), kQuarterTurn);

  struct Case {
    const char* name;
    int flag, shadow, mirror, bump, glare, bloom, multi;
  } cases[] = {
      {"SHADOW 1", 1, 1, 0, 0, 0, 0, 0}, {"SHADOW 2", 1, 2, 0, 0, 0, 0, 0},
      {"SHADOW 3", 1, 3, 0, 0, 0, 0, 0}, {"MIRROR", 1, 0, 1, 0, 0, 0, 0},  {"BUMP", 1, 0, 0, 1, 0, 0, 0},
      {"GLARE", 1, 0, 0, 0, 1, 0, 0},    {"BLOOM", 1, 0, 0, 0, 0, 1, 0},   {"MULTI_LIGHT", 1, 0, 0, 0, 0, 0, 1},
      {"all on", 1, 3, 1, 1, 1, 1, 1},
  };
  auto apply = [&](const Case& c) {
    settings.shaderFlag = c.flag, settings.shadow = c.shadow, settings.mirror = c.mirror, settings.bump = c.bump;
    settings.glare = c.glare, settings.bloom = c.bloom, settings.multiLight = c.multi;
  };
  apply({"off", 1, 0, 0, 0, 0, 0, 0});
  const Picture off = RebuildAndDraw();
  ASSERT_GE(off.CountColours(), 4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    apply(c);
    const Picture p = RebuildAndDraw();
    EXPECT_GE(p.CountColours(), 4) << "a whole frame, not a blank one";
    int bright = 0;
    for (const Rgb& px : p.pixels) bright += px.Sum() >= 120;
    EXPECT_GE(bright, p.w * p.h / 4) << "the lit ground fills the lower frame";
    EXPECT_GE(p.CountDifferences(off), 3) << "the switch shows in the frame";
  }
  // SHADER.FLAG 0 drops every extra pass and target whatever the other
  // switches say. The device keeps the pipeline it was started with and the
  // effect is not rebuilt, so after a frame with every switch off the frame
  // stays the same.
  apply({"off", 1, 0, 0, 0, 0, 0, 0});
  RebuildAndDraw();
  apply({"FLAG 0", 0, 3, 1, 1, 1, 1, 1});
  const Picture fixed = RebuildAndDraw();
  EXPECT_EQ(fixed.CountDifferences(off, 2), 0);
  EXPECT_FALSE(world.renderTargets.glare[0].texture);
  EXPECT_FALSE(world.renderTargets.shadow[0][0].texture);
  EXPECT_EQ(Log().find("rror"), std::string::npos) << "no effect or device error was logged";
  green.SetMeshBumpTexture(-1, -1, nullptr);
  green.SetMeshLightTexture(-1, -1, nullptr);
  glow.ReleaseTexture(gs);
  world.camera.shadowUnit = nullptr;
  world::ResetEffectObject(*disc);
  bump.ReleaseTexture(gs);
  white8.ReleaseTexture(gs);
}

}  // namespace
