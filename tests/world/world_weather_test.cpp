// world_weather_test.cpp -- the environment step: the sun's visibility by
// rays and clouds, the glare it sets, rain and snow by weather kind, the
// thunder; the weather reset and the effect textures with sun and flare.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "render/render_fixture.h"
#include "sound/sound_public.h"
#include "test_support.h"
#include "world/world_local.h"
#include "world_test_files.h"

namespace {

using worldtest::TinyWav;
using world::EffectObject;
using world::Vec3;

struct WeatherFixture {
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  world::GameWorld world;
  render::TextureHolder surface{};  // a cloud with a surface; never drawn

  WeatherFixture() {
    world.log = &log;
    // Camera at the origin looking down +z; the sun straight ahead.
    world.camera.view.eye = Vec3{};
    world.environment.SetLightEntry(0, Vec3{0.0f, 0.0f, -1.0f}, Vec3{0.25f, 0.25f, 0.25f}, Vec3{0.75f, 0.75f, 0.75f});
  }

  // A cloud facing the sun segment, `r` units to the side of it, 500 out.
  void AddCloud(int i, float r) {
    EffectObject& cloud = world.weather->clouds[i];
    cloud.surface = &surface;
    cloud.SetObjectPosition(r, 0.0f, 500.0f);
  }
};

TEST(SunVisibility, FallsWithTheRaysBlocked) {
  const Vec3 eye{1.0f, 2.0f, 3.0f}, sun{0.0f, 0.0f, 1.0f}, side{1.0f, 0.0f, 0.0f}, up{0.0f, 1.0f, 0.0f};
  const struct {
    int ring;
    bool centre;
    int visibility;
  } cases[] = {
      {0, false, 255}, {0, true, 255}, {3, false, 255}, {3, true, 240}, {4, false, 224}, {4, true, 208},
      {5, false, 192}, {7, false, 128}, {7, true, 112}, {8, false, 0},   {8, true, 0},
  };
  for (const auto& c : cases) {
    int calls = 0;
    auto blocked = [&](Vec3 from, Vec3 to) {
      EXPECT_EQ(from.x, eye.x);
      bool centreRay = calls == 8;
      if (centreRay) {
        EXPECT_NEAR(to.z - eye.z, 1500.0f, 1e-3f);
      } else {
        // A ring of radius 114 round the sun point 4500 out.
        EXPECT_NEAR(to.z - eye.z, 4500.0f, 1e-3f);
        EXPECT_NEAR(std::hypot(to.x - eye.x, to.y - eye.y), 114.0f, 1e-3f);
      }
      bool hit = centreRay ? c.centre : calls < c.ring;
      calls++;
      return hit;
    };
    EXPECT_EQ(world::MeasureSunVisibility(eye, sun, side, up, blocked), c.visibility) << c.ring << " " << c.centre;
    EXPECT_EQ(calls, 9);
  }
}

TEST(SunVisibility, CloudsCrossingTheSunSegmentNearTheirCentreTakeTheirShare) {
  const struct {
    float r;
    int cover;
  } cases[] = {{0.0f, 240}, {0.5f, 240}, {0.75f, 248}, {0.9f, 253}, {1.0f, 256}, {5.0f, 256}};
  for (const auto& c : cases) {
    WeatherFixture f;
    f.AddCloud(7, c.r);
    EXPECT_EQ(world::MeasureCloudCover(f.world, Vec3{}, Vec3{0.0f, 0.0f, 1.0f}), c.cover) << c.r;
  }
  // A cloud behind the eye, or beyond the sun point, or one without a
  // surface, is not crossed.
  WeatherFixture f;
  f.AddCloud(0, 0.0f);
  f.world.weather->clouds[0].SetObjectPosition(0.0f, 0.0f, -10.0f);
  f.AddCloud(1, 0.0f);
  f.world.weather->clouds[1].SetObjectPosition(0.0f, 0.0f, 1600.0f);
  f.world.weather->clouds[2].SetObjectPosition(0.0f, 0.0f, 500.0f);
  EXPECT_EQ(world::MeasureCloudCover(f.world, Vec3{}, Vec3{0.0f, 0.0f, 1.0f}), 256);
}

TEST(WeatherStep, GlareTakesTheSunsVisibilityThroughTheClouds) {
  const struct {
    int clouds;
    float r;
    int alpha;
  } cases[] = {{0, 0.0f, 255}, {1, 0.5f, 239}, {2, 0.75f, 239}, {8, 0.5f, 127}, {16, 0.5f, 0}, {20, 0.5f, 0}};
  for (const auto& c : cases) {
    WeatherFixture f;
    for (int i = 0; i < c.clouds; i++) f.AddCloud(i, c.r);
    world::StepWeatherEffects(f.world);
    for (const EffectObject& glare : f.world.weather->glare) EXPECT_EQ(glare.alpha, c.alpha) << c.clouds;
  }
}

TEST(WeatherStep, LargeUnitsInTheSunsWayDimTheGlare) {
  const char* root = std::getenv("TKW4_SOURCE_DIR");
  const std::string box = test::ReadFile(std::string(root ? root : ".") + "/tests/render/data/box.x");
  ASSERT_FALSE(box.empty());
  // At 1000 out the ring rays pass 25.3 from the sun axis.
  const struct {
    Vec3 at;
    float half;
    int alpha;
  } cases[] = {
      {{0.0f, 0.0f, 1000.0f}, 200.0f, 0},     // every ray
      {{15.0f, 0.0f, 1000.0f}, 20.0f, 240},   // three ring rays and the centre
      {{0.0f, 0.0f, 1000.0f}, 10.0f, 255},    // the centre ray only
      {{500.0f, 0.0f, 1000.0f}, 200.0f, 255}, // beside the sun
  };
  for (const auto& c : cases) {
    WeatherFixture f;
    render::GraphicsSystem gs;  // no device: the model is only hit-tested
    gs.log = &f.log;
    render::CMesh mesh;
    ASSERT_EQ(mesh.BuildMeshFromX(gs, box.data(), int(box.size()), 0), 1);
    units::UnitType type;
    type.key = type.name = "ROCK";
    type.attributes = units::kAttrLarge;
    units::Unit* rock = world::PutUnit(f.world, "", &type, 1, "", 0, c.at, Vec3{}, nullptr);
    ASSERT_NE(rock, nullptr);
    rock->SetObjectModel(&mesh);
    rock->SetObjectScale(c.half, c.half, c.half);
    world::StepWeatherEffects(f.world);
    EXPECT_EQ(f.world.weather->glare[5].alpha, c.alpha) << c.at.x << " " << c.half;
    world::ReleaseUnit(f.world, rock);
  }
}

TEST(WeatherStep, OnlyRainOrSnowWeatherMovesItsParticles) {
  const struct {
    int kind;
    bool rainMoves, snowMoves;
  } cases[] = {{0, false, false}, {1, false, false}, {2, false, false}, {3, true, false},
               {4, false, true},  {5, false, false}, {9, false, false}};
  for (const auto& c : cases) {
    WeatherFixture f;
    f.world.environment.SetSkyEntry(0, "", "", c.kind);
    world::ScatterWeatherParticles(f.world);
    // The volume's centre is at the eye's scatter: put the eye there.
    f.world.camera.view.eye = Vec3{0.0f, 0.0f, -10.0f / std::tan(f.world.camera.view.fov)};
    std::vector<Vec3> rain, snow;
    for (auto& p : f.world.weather->rain) rain.push_back(p.GetObjectPosition());
    for (auto& p : f.world.weather->snow) snow.push_back(p.GetObjectPosition());
    world::StepWeatherEffects(f.world);
    int rainMoved = 0, snowMoved = 0;
    for (int i = 0; i < world::WeatherObjects::kRain; i++)
      rainMoved += f.world.weather->rain[i].GetObjectPosition().y != rain[size_t(i)].y;
    for (int i = 0; i < world::WeatherObjects::kSnow; i++)
      snowMoved += f.world.weather->snow[i].GetObjectPosition().y != snow[size_t(i)].y;
    EXPECT_EQ(rainMoved, c.rainMoves ? world::WeatherObjects::kRain : 0) << c.kind;
    EXPECT_EQ(snowMoved, c.snowMoves ? world::WeatherObjects::kSnow : 0) << c.kind;
  }
}

TEST(WeatherStep, ThunderPlaysOnceOnTheStepTheCountdownRunsOut) {
  WeatherFixture f;
  worldtest::TestSound started(&f.log);
  ASSERT_EQ(started.Start(), 0);
  sound::SoundSystem& sound = started.sound;
  test::WriteFile("thunder.wav", TinyWav());
  ASSERT_EQ(sound.LoadSoundEffect(32, "thunder.wav", 4, 0), 0);
  f.world.sound = &sound;
  auto playing = [&sound] {
    int n = 0;
    for (int copy = 0; copy < 4; copy++) n += (sound.GetSoundStatus(32, copy) & sound::kStatusPlaying) != 0;
    return n;
  };

  world::SetLightningCount(f.world, 3);
  const int expected[] = {0, 0, 1, 1, 1, 1};
  for (int want : expected) {
    world::StepWeatherEffects(f.world);
    EXPECT_EQ(playing(), want);
  }
  f.world.sound = nullptr;
  // Without a sound system the countdown still runs out.
  world::SetLightningCount(f.world, 1);
  world::StepWeatherEffects(f.world);
  EXPECT_EQ(f.world.environment.lightningCount, 0);
}

TEST(WeatherReset, ScattersRainAndSnowRoundTheCentreAndReleasesTheClouds) {
  WeatherFixture f;
  f.AddCloud(3, 0.0f);
  f.world.weather->clouds[3].spriteFlag = 2;
  world::ScatterWeatherParticles(f.world);
  for (const render::DisplayObject& drop : f.world.weather->rain) {
    Vec3 p = drop.GetObjectPosition();
    for (float v : {p.x, p.y, p.z}) {
      EXPECT_GE(v, -15.0f);
      EXPECT_LE(v, 14.99f + 1e-4f);
    }
    EXPECT_FLOAT_EQ(drop.GetObjectScale().z, 0.6f);
    EXPECT_FLOAT_EQ(drop.GetObjectPivot().z, -1.0f);
  }
  float colour[4];
  f.world.weather->rain[0].GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[2], 0.8f);
  EXPECT_FLOAT_EQ(colour[3], 0.3f);
  f.world.weather->snow[0].GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[0], 1.0f);
  EXPECT_FLOAT_EQ(colour[3], 0.75f);
  EXPECT_FLOAT_EQ(f.world.weather->snow[5].GetObjectScale().y, 0.01f);
  EXPECT_EQ(f.world.weather->clouds[3].GetObjectSurface(), nullptr);
  EXPECT_EQ(f.world.weather->clouds[3].spriteFlag, 0);
  // No renderer: no textures, so the particles have no surface.
  EXPECT_EQ(f.world.weather->rain[0].GetObjectSurface(), nullptr);

  // The same seed scatters the same way.
  f.world.random.Seed(7);
  world::ScatterWeatherParticles(f.world);
  Vec3 first = f.world.weather->snow[9].GetObjectPosition();
  f.world.random.Seed(7);
  world::ScatterWeatherParticles(f.world);
  EXPECT_EQ(f.world.weather->snow[9].GetObjectPosition().x, first.x);
}

TEST(EffectTextures, MissingFilesAreLoggedAndMakeNoSunOrFlare) {
  WeatherFixture f;
  world::LoadEffectTextures(f.world);  // no renderer: nothing is tried
  EXPECT_FALSE(f.world.weather->textures.loaded);

  core::FilePackageTable packages;
  packages.log = &f.log;
  render::GraphicsSystem gs;  // no device: every image fails to load
  gs.log = &f.log;
  gs.packages = &packages;
  f.world.graphics = &gs;
  world::LoadEffectTextures(f.world);
  world::WeatherObjects& w = *f.world.weather;
  EXPECT_TRUE(w.textures.loaded);
  EXPECT_EQ(w.textures.sun.texture, nullptr);
  EXPECT_FALSE(world::EffectIsLive(w.sun));
  for (const EffectObject& piece : w.glare) {
    EXPECT_FALSE(world::EffectIsLive(piece));
    EXPECT_EQ(piece.type, world::kEffectSunGlare);
    EXPECT_EQ(piece.alphaLimit, 255);
  }
  EXPECT_EQ(w.glare[2].blendPercent, -250.0f);
  EXPECT_EQ(w.glare[6].size, 1.2f);
  std::string text = test::ReadFile("system.log");
  EXPECT_NE(text.find("ZadAzorad\\Effect\\glare.jpg"), std::string::npos);
  EXPECT_NE(text.find("ZadAzorad\\Effect\\Heat.x"), std::string::npos);
  // The world still steps and draws nothing of them.
  world::StepWeatherEffects(f.world);
  EXPECT_EQ(world::PrepareEffectDraw(f.world, w.sun, Vec3{}), -1);
  f.world.graphics = nullptr;
}


// A grey 24-bit BMP of w x h.
std::string GreyBmp(int w, int h) { return rendertest::MakeBmp(w, h, std::vector<uint32_t>(size_t(w * h), 0x808080u)); }

class EffectTexturesGl : public rendertest::RenderFixture {};

TEST_F(EffectTexturesGl, SunAndFlareTakeTheirImagesCellsAndTints) {
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  core::FilePackageTable packages;
  packages.log = &log;
  gs.log = &log;
  gs.packages = &packages;
  Start(0);
  std::filesystem::create_directories("ZadAzorad/Effect");
  test::WriteFile("ZadAzorad/Effect/sun.jpg", GreyBmp(128, 128));
  test::WriteFile("ZadAzorad/Effect/sunlight.jpg", GreyBmp(256, 256));
  test::WriteFile("ZadAzorad/Effect/glare.jpg", GreyBmp(64, 64));
  test::WriteFile("ZadAzorad/Effect/rain.bmp", GreyBmp(8, 8));

  world::GameWorld w;
  w.log = &log;
  w.graphics = &gs;
  w.SetSystemScale(2.0f);
  world::LoadEffectTextures(w);
  world::WeatherObjects& weather = *w.weather;
  ASSERT_NE(weather.textures.sun.texture, nullptr);
  EXPECT_EQ(weather.textures.smoke.texture, nullptr);  // missing: left empty

  EffectObject& sun = weather.sun;
  EXPECT_TRUE(world::EffectIsLive(sun));
  EXPECT_EQ(sun.type, world::kEffectSky);
  EXPECT_FLOAT_EQ(sun.GetObjectScale().x, 15.3f);
  EXPECT_FLOAT_EQ(sun.GetObjectPivot().x, 64.0f);
  EXPECT_FLOAT_EQ(sun.GetObjectPivot().z, -18000.0f);
  EXPECT_FLOAT_EQ(sun.glareRate, 0.35f);

  // Piece 0 shows all of "glare.jpg" in white; piece 3 the top right cell
  // of "sunlight.jpg", tinted.
  EffectObject& whole = weather.glare[0];
  EXPECT_EQ(whole.GetObjectSurface(), &weather.textures.glare);
  render::SurfaceVertex v0, v2;
  ASSERT_TRUE(whole.GetObjectVertex(2, &v2));
  EXPECT_FLOAT_EQ(v2.u, 1.0f);
  EffectObject& piece = weather.glare[3];
  EXPECT_EQ(piece.GetObjectSurface(), &weather.textures.sunlight);
  ASSERT_TRUE(piece.GetObjectVertex(0, &v0));
  ASSERT_TRUE(piece.GetObjectVertex(2, &v2));
  EXPECT_FLOAT_EQ(v0.u, 0.5f);
  EXPECT_FLOAT_EQ(v0.v, 0.0f);
  EXPECT_FLOAT_EQ(v2.u, 1.0f);
  EXPECT_FLOAT_EQ(v2.v, 0.5f);
  EXPECT_FLOAT_EQ(piece.GetObjectPivot().x, 64.0f);  // centred on its cell
  float colour[4];
  piece.GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[0], 0.5f);
  EXPECT_FLOAT_EQ(colour[1], 0.3f);
  EXPECT_FLOAT_EQ(colour[3], 1.0f);
  EXPECT_EQ(piece.alpha, 255);
  EXPECT_EQ(piece.blendPercent, 170.0f);

  // The rain takes its image when the weather is scattered.
  world::ScatterWeatherParticles(w);
  EXPECT_EQ(weather.rain[0].GetObjectSurface(), &weather.textures.rain);
  EXPECT_EQ(weather.snow[0].GetObjectSurface(), nullptr);
  // The images go back to the renderer with the world.
  EXPECT_EQ(weather.textures.graphics, &gs);
}

}  // namespace
