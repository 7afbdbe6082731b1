// world_effects_test.cpp -- the effect objects' lives and motion by type,
// the splash column, the draw rules (the sun glare among them), the cloud
// fade and placement, and the rain and snow wrap.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/core_public.h"
#include "test_support.h"
#include "world/world_local.h"

namespace {

using world::EffectObject;
using world::Vec3;

struct EffectFixture {
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  world::GameWorld world;
  // Stands in for a loaded model: an effect object with a model is live.
  // Never drawn here (the world has no renderer).
  render::CMesh model;

  EffectFixture() { world.log = &log; }

  EffectObject* Make(int type, int alpha = 255, int holdSteps = 0) {
    EffectObject* e = world::AllocEffect(world);
    e->SetObjectModel(&model);
    e->type = type;
    e->alpha = alpha;
    e->holdSteps = holdSteps;
    return e;
  }

  // The age at which the update releases the object (-1: still live after
  // `limit` updates).
  int ReleaseAge(EffectObject* e, int limit = 1000) {
    for (int i = 0; i < limit; i++) {
      int age = e->counter;
      EXPECT_EQ(world::UpdateEffectObject(world, *e), 0);
      if (!world::EffectIsLive(*e)) return age;
    }
    return -1;
  }
};

TEST(EffectObjects, EachTypeIsReleasedWhenItsLifeRunsOut) {
  const struct {
    int type, alpha, hold, age;
  } cases[] = {
      {0, 255, 0, 254},   {1, 128, 0, 63},    {4, 255, 10, 264}, {5, 255, 10, 393}, {6, 255, 0, 254},
      {11, 255, 0, 3},    {13, 1, 0, 27},     {14, 255, 0, 10},  {16, 255, 0, 84},  {24, 255, 0, 7},
      {25, 255, 0, 3},    {26, 255, 0, 15},   {27, 255, 0, 7},   {28, 255, 0, 21},  {29, 255, 0, 15},
  };
  for (const auto& c : cases) {
    EffectFixture f;
    EffectObject* e = f.Make(c.type, c.alpha, c.hold);
    EXPECT_EQ(f.ReleaseAge(e), c.age) << "type " << c.type;
    // Released objects come back reset.
    EXPECT_EQ(e->type, 0);
    EXPECT_EQ(e->alpha, 255);
    EXPECT_EQ(e->counter, 0);
  }
  // Types without a rule of their own live on (they age).
  EffectFixture f;
  EffectObject* other = f.Make(3, 255);
  EXPECT_EQ(f.ReleaseAge(other, 50), -1);
  EXPECT_EQ(other->counter, 50);
}

TEST(EffectObjects, AlphaFollowsTheTypesCurve) {
  EffectFixture f;
  // Lightning holds full alpha for its first two steps.
  EffectObject* bolt = f.Make(14);
  const int boltAlpha[] = {255, 255, 240, 210};
  for (int want : boltAlpha) {
    world::UpdateEffectObject(f.world, *bolt);
    EXPECT_EQ(bolt->alpha, want);
  }
  // Smoke rises to 192 at once, holds there until age 202, then fades.
  EffectObject* smoke = f.Make(5, 255, 10);
  for (int age = 0; age < 202; age++) {
    world::UpdateEffectObject(f.world, *smoke);
    ASSERT_EQ(smoke->alpha, 192) << age;
  }
  world::UpdateEffectObject(f.world, *smoke);
  EXPECT_EQ(smoke->alpha, 191);
  world::UpdateEffectObject(f.world, *smoke);
  EXPECT_EQ(smoke->alpha, 190);
  // A sonic boom spreads with its age.
  EffectObject* sonic = f.Make(13, 1);
  for (int i = 0; i < 7; i++) world::UpdateEffectObject(f.world, *sonic);
  EXPECT_FLOAT_EQ(sonic->GetObjectScale().x, 0.5f);
  EXPECT_EQ(sonic->alpha, 62);
}

TEST(EffectObjects, AnAttachedSpriteFadesWithItsParentAndGoesWithoutOne) {
  EffectFixture f;
  render::DisplayObject parent;
  EffectObject* attached = f.Make(12);
  attached->SetObjectParent(&parent);
  world::UpdateEffectObject(f.world, *attached);
  world::UpdateEffectObject(f.world, *attached);
  EXPECT_EQ(attached->alpha, 255 - 48);
  EXPECT_EQ(f.ReleaseAge(attached), 6);
  EXPECT_EQ(parent.GetObjectFirstChild(), nullptr);

  // Without a parent nothing would ever fade it: it is released at once.
  EffectObject* orphan = f.Make(12);
  EXPECT_EQ(f.ReleaseAge(orphan, 5), 0);
}

TEST(EffectObjects, MovingTypesFollowTheirVelocity) {
  EffectFixture f;
  f.world.SetSystemScale(2.0f);

  EffectObject* spark = f.Make(6);
  world::SetEffectVelocity(*spark, 1.0f, 1.0f, -1.0f);
  world::UpdateEffectObject(f.world, *spark);
  EXPECT_FLOAT_EQ(spark->velocity.y, 0.99f - 0.015f);
  EXPECT_FLOAT_EQ(spark->GetObjectPosition().x, 0.99f);
  EXPECT_FLOAT_EQ(spark->GetObjectPosition().y, 0.99f - 0.015f);

  EffectObject* debris = f.Make(28);
  world::SetEffectVelocity(*debris, 2.0f, 0.0f, 0.0f);
  world::UpdateEffectObject(f.world, *debris);
  EXPECT_FLOAT_EQ(debris->GetObjectPosition().x, 2.0f);  // moved before the velocity changes
  EXPECT_FLOAT_EQ(debris->velocity.x, 1.9f);
  EXPECT_FLOAT_EQ(debris->velocity.y, -0.0027222224f);

  // Fire eases toward its drift and grows with the world's scale.
  EffectObject* fire = f.Make(4, 255, 100);
  fire->SetObjectScale(0.1f, 0.1f, 4.0f);
  fire->drift = Vec3{0.0f, 0.5f, 0.0f};
  world::SetEffectVelocity(*fire, 1.0f, 0.0f, 0.0f);
  world::UpdateEffectObject(f.world, *fire);
  EXPECT_FLOAT_EQ(fire->velocity.x, 0.9f);
  EXPECT_FLOAT_EQ(fire->velocity.y, 0.5f);
  EXPECT_FLOAT_EQ(fire->GetObjectScale().x, 0.104f);
  EXPECT_FLOAT_EQ(fire->GetObjectScale().y, 0.104f);
  EXPECT_FLOAT_EQ(fire->GetObjectScale().z, 4.0f);
  EXPECT_EQ(fire->alpha, 255);  // held until age 100
}

TEST(EffectObjects, ASplashRisesToItsPeakAndIsReleasedWhenItHasFallenThrough) {
  for (float size : {1.0f, 4.0f, 16.0f}) {
    EffectFixture f;
    EffectObject* splash = f.Make(15, 192);
    splash->size = size;
    splash->SetObjectScale(-0.01f, 0.0f, 1.0f);
    const double k = std::sqrt(2.0 * size / 5.0);
    // Scale y turns positive once T = (age + 1) / 60 passes 2K.
    const int releaseAge = int(std::floor(120.0 * k));
    float lowest = 0.0f;
    int age = 0;
    for (; age < 1000 && world::EffectIsLive(*splash); age++) {
      float y = splash->GetObjectPosition().y;
      world::UpdateEffectObject(f.world, *splash);
      if (!world::EffectIsLive(*splash)) break;
      const double t = (age + 1) / 60.0;
      lowest = std::fmin(lowest, splash->GetObjectScale().y);
      EXPECT_NEAR(splash->GetObjectScale().x, -0.01f - (age + 1) * size / 6400.0f, 1e-5f);
      // It sinks once past half its rise and fades once past its peak.
      EXPECT_NEAR(y - splash->GetObjectPosition().y, t > k / 2 ? 0.1f : 0.0f, 1e-4f) << age;
      if (t <= k) EXPECT_EQ(splash->alpha, 192) << age;
      else EXPECT_LT(splash->alpha, 192) << age;
    }
    EXPECT_EQ(age, releaseAge) << size;
    EXPECT_NEAR(lowest, -2.0f * size / 128.0f, 0.002f * size) << size;
  }
  // A splash of no size has no column: it goes on its first step.
  EffectFixture f;
  EffectObject* flat = f.Make(15, 192);
  EXPECT_EQ(f.ReleaseAge(flat, 3), 0);
  // Past its peak the alpha may run below 0 before the column falls
  // through: it is drawn clear, not at its last colour.
  EffectObject* late = f.Make(15, -40);
  late->SetObjectColor(-1.0f, -1.0f, -1.0f, 0.3f);
  world::PrepareEffectDraw(f.world, *late, Vec3{});
  float colour[4];
  late->GetObjectColor(colour);
  EXPECT_EQ(colour[3], 0.0f);
}

TEST(EffectObjects, OnlyLiveObjectsAreSteppedAndDrawn) {
  EffectFixture f;
  EffectObject* idle = world::AllocEffect(f.world);
  EXPECT_EQ(world::UpdateEffectObject(f.world, *idle), -1);
  EXPECT_EQ(world::PrepareEffectDraw(f.world, *idle, Vec3{}), -1);
  EXPECT_EQ(idle->counter, 0);
  EffectObject* live = f.Make(1, 100);
  world::UpdateEffectObjects(f.world);
  EXPECT_EQ(live->alpha, 98);
  EXPECT_EQ(idle->counter, 0);
}

TEST(EffectDraw, SetsColourAndAnglesByType) {
  EffectFixture f;
  const Vec3 angles{0.1f, 0.2f, 0.3f};
  const struct {
    int type;
    bool turned, yawOnly, grey;
  } cases[] = {
      {4, true, false, false}, {6, true, false, false},  {25, true, false, false}, {28, true, false, false},
      {5, true, false, true},  {15, false, true, false}, {0, false, false, false}, {24, false, false, false},
  };
  for (const auto& c : cases) {
    EffectObject* e = f.Make(c.type, 51);
    e->SetObjectColor(0.9f, 0.8f, 0.7f, 0.6f);
    EXPECT_EQ(world::PrepareEffectDraw(f.world, *e, angles), 0);
    float colour[4];
    e->GetObjectColor(colour);
    if (c.grey) {
      EXPECT_FLOAT_EQ(colour[0], 0.2f) << c.type;
      EXPECT_FLOAT_EQ(colour[3], 0.6f) << c.type;
    } else {
      EXPECT_FLOAT_EQ(colour[0], 0.9f) << c.type;
      EXPECT_FLOAT_EQ(colour[3], 0.2f) << c.type;
    }
    Vec3 a = e->GetObjectAngles();
    Vec3 want = c.turned ? angles : c.yawOnly ? Vec3{0.0f, 0.2f, 0.0f} : Vec3{};
    EXPECT_EQ(a.x, want.x) << c.type;
    EXPECT_EQ(a.y, want.y) << c.type;
    EXPECT_EQ(a.z, want.z) << c.type;
  }
}

// The sun straight ahead of the camera (looking down +z from the origin).
struct SunFixture : EffectFixture {
  EffectObject glare;
  SunFixture() {
    world.environment.SetLightEntry(0, Vec3{0.0f, 0.0f, -1.0f}, Vec3{}, Vec3{});
    world.environment.weather[0] = 0;
    world.camera.view.eye = Vec3{};
    glare.SetObjectModel(&model);
    glare.type = world::kEffectSunGlare;
    glare.alphaLimit = 255;
    glare.size = 1.0f;
    glare.SetObjectColor(-1.0f, -1.0f, -1.0f, 0.5f);
  }
  float DrawnAlpha() {
    EXPECT_EQ(world::PrepareEffectDraw(world, glare, Vec3{}), 0);
    float colour[4];
    glare.GetObjectColor(colour);
    return colour[3];
  }
};

TEST(EffectDraw, SunGlareAlphaIsCappedByItsLimitAndTheWeatherStepsMeasure) {
  const struct {
    int stepAlpha, limit;
    float want;
  } cases[] = {{255, 255, 1.0f}, {100, 255, 100 / 255.0f}, {255, 50, 50 / 255.0f}, {30, 60, 30 / 255.0f}, {0, 255, 0.0f}};
  for (const auto& c : cases) {
    SunFixture f;
    f.glare.alpha = c.stepAlpha;
    f.glare.alphaLimit = c.limit;
    EXPECT_FLOAT_EQ(f.DrawnAlpha(), c.want) << c.stepAlpha << " " << c.limit;
  }
  // Looking away from the sun dims it: at 20 degrees from the view, d =
  // 2 sin(10 deg), b = trunc(255 e^(4 (0.25 - d))) = 172.
  SunFixture f;
  const double a = 20.0 * 3.14159265358979 / 180.0;
  f.world.environment.SetLightEntry(0, Vec3{-float(std::sin(a)), 0.0f, -float(std::cos(a))}, Vec3{}, Vec3{});
  const int b = int(255.0 * std::exp(4.0 * (0.25 - 2.0 * std::sin(a / 2.0))));
  EXPECT_EQ(b, 172);
  EXPECT_NEAR(f.DrawnAlpha(), float(b - 32) / 255.0f, 1e-6f);
}

TEST(EffectDraw, SunGlareShowsOnlyForASunUpInAClearSkyNearTheView) {
  const struct {
    Vec3 light;
    int weather;
    bool drawn;
  } cases[] = {
      {{0.0f, 0.0f, -1.0f}, 0, true},   {{0.0f, 0.0f, -1.0f}, 1, true},  {{0.0f, 0.0f, -1.0f}, 5, true},
      {{0.0f, 0.0f, -1.0f}, 3, false},  {{0.0f, 0.0f, -1.0f}, 4, false}, {{0.0f, 0.2f, -1.0f}, 0, false},  // below
      {{-1.0f, 0.0f, -0.5f}, 0, false},  // more than 60 degrees off the view
  };
  for (const auto& c : cases) {
    SunFixture f;
    f.world.environment.SetLightEntry(0, c.light, Vec3{}, Vec3{});
    f.world.environment.weather[0] = c.weather;
    EXPECT_EQ(f.DrawnAlpha() != 0.5f, c.drawn) << c.weather << " " << c.light.y;
  }
}

TEST(EffectDraw, SunGlarePiecesLieBetweenTheSunAndTheViewAxis) {
  SunFixture f;
  // The sun 45 degrees up in front of the camera.
  f.world.environment.SetLightEntry(0, Vec3{0.0f, -1.0f, -1.0f}, Vec3{}, Vec3{});
  f.world.camera.view.fov = 0.8f;
  const float r = std::sqrt(0.5f);
  for (float percent : {0.0f, 100.0f, -250.0f}) {
    f.glare.blendPercent = percent;
    f.DrawnAlpha();
    const float w = percent / 100.0f;
    Vec3 p = f.glare.GetObjectPosition();
    EXPECT_NEAR(p.y, 100.0f * (1.0f - w) * r, 1e-3f) << percent;
    EXPECT_NEAR(p.z, 100.0f * ((1.0f - w) * r + w), 1e-3f) << percent;
    const float k = std::tan(0.4f) * p.z / 384.0f;
    EXPECT_NEAR(f.glare.GetObjectScale().x, k, 1e-5f);
    EXPECT_NEAR(f.glare.GetObjectScale().y, -k, 1e-5f);
  }
}

TEST(EffectDraw, SkyBillboardStandsAtTheEyeFacingTheSun) {
  SunFixture f;
  f.glare.type = world::kEffectSky;
  f.world.camera.view.eye = Vec3{5.0f, 6.0f, 7.0f};
  f.world.environment.SetLightEntry(0, Vec3{0.0f, -1.0f, -1.0f}, Vec3{}, Vec3{});
  EXPECT_EQ(world::PrepareEffectDraw(f.world, f.glare, Vec3{}), 0);
  EXPECT_EQ(f.glare.GetObjectPosition().x, 5.0f);
  Vec3 angles;
  core::AnglesFromDirection(&angles, Vec3{0.0f, std::sqrt(0.5f), std::sqrt(0.5f)}, nullptr);
  EXPECT_NEAR(f.glare.GetObjectAngles().x, angles.x, 1e-6f);
  // Under rain it is not placed.
  f.world.environment.weather[0] = 3;
  f.world.camera.view.eye = Vec3{};
  world::PrepareEffectDraw(f.world, f.glare, Vec3{});
  EXPECT_EQ(f.glare.GetObjectPosition().x, 5.0f);
}

TEST(CloudSprites, FadeWithDepthAndHeight) {
  const struct {
    int flag;
    Vec3 at;
    float alpha;  // < 0: not drawn, state unchanged
  } cases[] = {
      {1, {0, 0, 20}, 0.5f},     {1, {0, 0, 500}, 1.0f},    {1, {0, 0, 9500}, 0.5f}, {1, {0, 0, 10500}, -1.0f},
      {1, {0, 0, -10}, -1.0f},   {0, {0, 20, 500}, 0.5f},   {0, {0, -60, 500}, 1.0f}, {0, {0, 60, 7100}, 0.5f},
      {0, {0, 10, 7100}, 0.125f}, {0, {0, 60, 8000}, -1.0f},
  };
  for (const auto& c : cases) {
    EffectFixture f;
    f.world.camera.view.eye = Vec3{};
    EffectObject cloud;
    cloud.SetObjectModel(&f.model);
    cloud.spriteFlag = c.flag;
    cloud.SetObjectPosition(c.at.x, c.at.y, c.at.z);
    cloud.SetObjectColor(0.3f, 0.3f, 0.3f, 0.9f);
    cloud.SetObjectVisible(0);
    EXPECT_EQ(world::SetHeightFadeAlpha(f.world, cloud, Vec3{0.5f, 0.5f, 0.5f}), 0);
    float colour[4];
    cloud.GetObjectColor(colour);
    if (c.alpha < 0) {
      EXPECT_FLOAT_EQ(colour[3], 0.9f) << c.at.z;
      EXPECT_EQ(cloud.IsObjectShown(), 0);
      EXPECT_EQ(cloud.GetObjectAngles().x, 0.0f);
    } else {
      EXPECT_FLOAT_EQ(colour[3], c.alpha) << c.flag << " " << c.at.y << " " << c.at.z;
      EXPECT_FLOAT_EQ(colour[0], 0.3f);
      EXPECT_EQ(cloud.IsObjectShown(), 1);
      EXPECT_EQ(cloud.GetObjectAngles().x, c.flag ? 0.5f : 0.0f);
    }
  }
}

TEST(CloudSprites, StayNearTheViewAndTakeTheLight) {
  EffectObject cloud;
  const Vec3 eye{100.0f, 50.0f, 0.0f}, ahead{0.0f, 0.0f, 1.0f}, sun{0.0f, 0.5f, 0.866f};
  const Vec3 a{0.25f, 0.5f, 1.0f}, b{0.75f, 0.25f, 0.0f};
  // The field's centre is 7000 ahead of the eye: (100, 7000).
  const struct {
    Vec3 at, want;
  } places[] = {
      {{100, 0, 7000}, {100, 0, 7000}},      {{8200, 0, 7000}, {-7800, 0, 7000}},
      {{-7950, 0, 16000}, {8050, 0, 0}},    {{100, 0, -41000}, {100, 0, 7000}},
  };
  for (const auto& p : places) {
    cloud.SetObjectPosition(p.at.x, p.at.y, p.at.z);
    world::PlaceCloudObject(cloud, eye, ahead, sun, a, b);
    EXPECT_FLOAT_EQ(cloud.GetObjectPosition().x, p.want.x);
    EXPECT_FLOAT_EQ(cloud.GetObjectPosition().z, p.want.z);
  }
  // Below the eye: lit from above (g = 1); above it: from below (g = 0.5).
  const struct {
    float y;
    Vec3 want;
  } heights[] = {{0.0f, {1.0f, 0.75f, 1.0f}}, {100.0f, {0.875f, 0.5f, 0.5f}}};
  float colour[4];
  for (const auto& h : heights) {
    cloud.SetObjectPosition(0, h.y, 7000);
    world::PlaceCloudObject(cloud, eye, ahead, sun, a, b);
    cloud.GetObjectColor(colour);
    EXPECT_FLOAT_EQ(colour[0], h.want.x) << h.y;
    EXPECT_FLOAT_EQ(colour[1], h.want.y) << h.y;
    EXPECT_FLOAT_EQ(colour[2], h.want.z) << h.y;
  }
  // A standing cloud stays white.
  cloud.spriteFlag = 1;
  world::PlaceCloudObject(cloud, eye, ahead, sun, a, b);
  cloud.GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[1], 1.0f);
  EXPECT_FLOAT_EQ(colour[2], 1.0f);
}

TEST(WeatherParticles, FallAndAreKeptInACubeInFrontOfTheCamera) {
  // Field of view 45 degrees: the volume's centre is 10 ahead of the eye.
  const float fov = platform::kPi / 4.0f;
  const Vec3 eye{0.0f, 0.0f, 0.0f}, ahead{0.0f, 0.0f, 1.0f}, wind{0.3f, 0.0f, 0.4f};
  const float q = 10.0f / std::tan(fov);
  const struct {
    float x, wantX;
  } cases[] = {{5.0f, 5.0f}, {16.0f, -14.0f}, {-16.0f, 14.0f}, {1234.0f, -6.0f}, {-1234.0f, 6.0f}};
  for (const auto& c : cases) {
    render::DisplayObject drop;
    drop.SetObjectPosition(c.x, 0.0f, q);
    world::WrapRainParticle(drop, eye, ahead, wind, fov);
    EXPECT_NEAR(drop.GetObjectPosition().x, c.wantX, 1e-3f) << c.x;
    EXPECT_NEAR(drop.GetObjectPosition().y, -0.3f, 1e-5f) << c.x;
    EXPECT_NEAR(drop.GetObjectPosition().z, q, 1e-4f) << c.x;
  }
  render::DisplayObject flake;
  flake.SetObjectPosition(0.0f, 2.0f, q);
  world::WrapSnowParticle(flake, eye, ahead, wind, fov);
  EXPECT_FLOAT_EQ(flake.GetObjectPosition().y, 2.0f - 0.045f);
  const float along = std::sqrt(0.09f + 0.045f * 0.045f + 0.16f);
  EXPECT_FLOAT_EQ(flake.GetObjectScale().z, 0.03f + along / 3.0f);
  EXPECT_FLOAT_EQ(flake.GetObjectScale().x, 0.03f);
  // Without a usable field of view the volume stays round the eye.
  render::DisplayObject stray;
  stray.SetObjectPosition(0.0f, 0.0f, 20.0f);
  world::WrapRainParticle(stray, eye, ahead, wind, 0.0f);
  EXPECT_NEAR(stray.GetObjectPosition().z, -10.0f, 1e-4f);
  EXPECT_TRUE(std::isfinite(stray.GetObjectPosition().x));
}

}  // namespace
