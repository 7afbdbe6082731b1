// world_effect_creators_test.cpp -- the effect creators: object counts,
// types and order, the burst's kinds, positions and throw, the particle
// stream, the cloud field, splash children, zero directions, the world
// scale clamp, the count caps, reduced-effects mode, point lights and
// determinism with and without a renderer.
//
// Surfaces need no device: the fixture's renderer is never started and the
// effect textures are holders given a size, so every test runs headless.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/core_public.h"
#include "test_support.h"
#include "world/world_local.h"
#include "world/world_test_files.h"

namespace {

using world::EffectObject;
using world::Vec3;

struct CreatorFixture {
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  world::GameWorld world;
  render::GraphicsSystem gs;  // never started

  explicit CreatorFixture(bool withRenderer = true) {
    world.log = &log;
    gs.log = &log;
    if (withRenderer) world.graphics = &gs;
    worldtest::SizeEffectTextures(world.weather->textures);
  }
  ~CreatorFixture() { world.graphics = nullptr; }

  // Live effect objects in the order the pool handed them out (fewer than
  // 256 of them: the ring starts after slot 0 and wraps to it last).
  std::vector<EffectObject*> Live() {
    std::vector<EffectObject*> out;
    size_t n = world.effectPool.size();
    for (size_t k = 1; k <= n; k++) {
      EffectObject* e = world.effectPool[k % n];
      if (world::EffectIsLive(*e)) out.push_back(e);
    }
    return out;
  }
  int LiveClouds() {
    int n = 0;
    for (EffectObject& c : world.weather->clouds) n += c.GetObjectSurface() != nullptr;
    return n;
  }
};

float Length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

void ExpectNear(const Vec3& a, const Vec3& b, float tolerance, const char* what) {
  EXPECT_NEAR(a.x, b.x, tolerance) << what;
  EXPECT_NEAR(a.y, b.y, tolerance) << what;
  EXPECT_NEAR(a.z, b.z, tolerance) << what;
}

// [SECTION] Hit effect

TEST(HitEffect, Makes43PartsInOrderAtThePointWithTheirTextures) {
  CreatorFixture f;
  const Vec3 p = {10, 20, 30};
  EXPECT_EQ(world::CreateHitEffect(f.world, p, {0, 0, 1}), 0);
  std::vector<EffectObject*> live = f.Live();
  ASSERT_EQ(live.size(), 43u);
  std::vector<int> expected(10, 24);
  expected.insert(expected.end(), {25, 26, 27});
  expected.insert(expected.end(), 20, 28);
  expected.insert(expected.end(), 10, 29);
  world::EffectTextures& t = f.world.weather->textures;
  for (size_t i = 0; i < live.size(); i++) {
    EffectObject* e = live[i];
    EXPECT_EQ(e->type, expected[i]) << i;
    ExpectNear(e->GetObjectPosition(), p, 0, "part position");
    render::TextureHolder* want = e->type == 29 ? &t.hit[4] : &t.hit[std::min(e->type - 24, 4)];
    EXPECT_EQ(e->GetObjectSurface(), want) << i;
  }
  // The flying sparks carry R / 3000 (|R| up to 866) and the streaks U / 3.
  for (int i = 13; i < 33; i++) EXPECT_LE(Length(live[size_t(i)]->velocity), 866.1f / 3000.0f);
  for (int i = 33; i < 43; i++) EXPECT_GT(Length(live[size_t(i)]->velocity), 0.0f);
  // The beam is turned along Q: straight ahead has no pitch or yaw.
  ExpectNear(live[11]->GetObjectAngles(), {0, 0, 0}, 1e-6f, "beam angles");
  ExpectNear(live[11]->GetObjectScale(), {0.25f, 0.25f, 8}, 0, "beam scale");
}

TEST(HitEffect, APoolThatRunsOutKeepsThePartsAlreadyMade) {
  CreatorFixture f;
  world::CreateHitEffect(f.world, {}, {1, 0, 0});
  f.world.reducedEffects = 1;
  world::CreateHitEffect(f.world, {}, {1, 0, 0});
  EXPECT_EQ(f.Live().size(), 43u);
}

// [SECTION] Splash

TEST(Splash, ChildrenByTableOfSizes) {
  struct Case {
    float size;
    size_t objects;
  } cases[] = {{8, 3}, {20, 7}, {6, 1}, {6.5f, 3}, {0, 1}, {-3, 1}, {INFINITY, 1}, {NAN, 1}, {1e30f, 1023}};
  for (const Case& c : cases) {
    CreatorFixture f;
    ASSERT_NE(world::CreateSplash(f.world, {1, 2, 3}, c.size), nullptr) << c.size;
    EXPECT_EQ(f.Live().size(), c.objects) << c.size;
  }
}

TEST(Splash, ChildrenStandOnTheHalfSizeCircleAtTheSameHeight) {
  CreatorFixture f;
  const Vec3 p = {100, 5, -40};
  EffectObject* root = world::CreateSplash(f.world, p, 8);
  std::vector<EffectObject*> live = f.Live();
  ASSERT_EQ(live.size(), 3u);
  EXPECT_EQ(live[0], root);
  EXPECT_FLOAT_EQ(root->size, 16);
  EXPECT_EQ(root->alpha, 192);
  EXPECT_FLOAT_EQ(std::fabs(root->GetObjectScale().x), 8.0f / 64);
  for (int i = 1; i < 3; i++) {
    Vec3 c = live[size_t(i)]->GetObjectPosition();
    EXPECT_FLOAT_EQ(c.y, p.y);
    EXPECT_NEAR(std::hypot(c.x - p.x, c.z - p.z), 4.0f, 1e-4f);
    EXPECT_FLOAT_EQ(live[size_t(i)]->size, 8);
  }
  // A size of 0 or below counts as half a unit.
  CreatorFixture g;
  EXPECT_FLOAT_EQ(world::CreateSplash(g.world, p, -1)->size, 1.0f);
}

// [SECTION] Bomb

TEST(Bomb, CountsByTableOfSizesVectorsAndScales) {
  struct Case {
    int size;
    Vec3 vector;
    float scale;
    size_t objects;
  } cases[] = {
      {0, {0, 0, 0}, 1, 1},     {10, {0, 0, 0}, 1, 31},   {10, {20, 0, 0}, 1, 31}, {10, {0, 0, 0}, 2, 16},
      {-1, {0, 0, 0}, 1, 0},    {1, {0, 5, 0}, 0.5f, 7},  {0, {0, 0, 0}, 0, 1},    {0, {0, 0, 0}, -3, 1},
  };
  for (const Case& c : cases) {
    CreatorFixture f;
    f.world.SetSystemScale(c.scale);
    EXPECT_EQ(world::CreateBomb(f.world, {}, c.vector, c.size, 0.004f), 0);
    EXPECT_EQ(f.Live().size(), c.objects) << c.size << " at scale " << c.scale;
  }
}

TEST(Bomb, ASmallBurstUsesOnlyTheFirstSixKindsAlongTheSegment) {
  CreatorFixture f;
  const Vec3 p = {5, 6, 7}, v = {12, 0, 16};  // |V| = 20, so s = 0.5
  world::CreateBomb(f.world, p, v, 10, 0.004f);
  std::vector<EffectObject*> live = f.Live();
  ASSERT_EQ(live.size(), 31u);
  world::EffectTextures& t = f.world.weather->textures;
  const Vec3 throwV = {6, 0, 8};
  for (size_t i = 0; i < live.size(); i++) {
    EffectObject* e = live[i];
    float fi = float(i);
    ExpectNear(e->GetObjectPosition(), {p.x - v.x * fi / 31, p.y, p.z - v.z * fi / 31}, 1e-4f, "burst base");
    Vec3 spread = {e->velocity.x - throwV.x, e->velocity.y - throwV.y, e->velocity.z - throwV.z};
    switch (e->type) {
      case world::kEffectParticle:  // kind 0: D + T
        EXPECT_EQ(e->GetObjectSurface(), &t.fire3);
        EXPECT_LE(Length(spread), 1.0001f);
        EXPECT_FLOAT_EQ(e->glareRate, 0.04f);
        break;
      case world::kEffectBurstFire:  // kinds 1, 3, 5: 0.1 s D + T
        EXPECT_EQ(e->GetObjectSurface(), &t.fire1);
        EXPECT_EQ(e->alpha, 255);
        EXPECT_LE(Length(spread), 0.0501f);
        EXPECT_GE(e->holdSteps, 1);  // rand() % 120 + trunc(1.5)
        break;
      case world::kEffectBurstSmoke:  // kinds 2, 4: start dim
        EXPECT_EQ(e->GetObjectSurface(), &t.fire2);
        EXPECT_EQ(e->alpha, 32);
        EXPECT_LE(Length(spread), 0.0501f);
        break;
      default: ADD_FAILURE() << "type " << e->type;
    }
  }
}

TEST(Bomb, ASlowVectorKeepsTheFullSizeAndHoldsLonger) {
  CreatorFixture f;
  world::CreateBomb(f.world, {}, {0, 0, 0.5f}, 10, 0.004f);
  std::vector<EffectObject*> live = f.Live();
  ASSERT_EQ(live.size(), 31u);
  bool sawLargeKind = false;
  for (EffectObject* e : live) {
    if (e->type != world::kEffectParticle) {
      EXPECT_GE(e->holdSteps, 30);
    }
    if (e->type == world::kEffectBurstSmoke && e->alpha == 128) sawLargeKind = true;
  }
  EXPECT_TRUE(sawLargeKind);  // kinds 10, 12 or 14 show up among 31 draws of 15
}

TEST(Bomb, AZeroScaleIsClampedAndNothingTurnsNonFinite) {
  for (float scale : {0.0f, -1.0f, NAN}) {
    CreatorFixture f;
    f.world.SetSystemScale(scale);
    world::CreateBomb(f.world, {}, {0, 0, 0}, 0, 0.004f);
    world::CreateBomb(f.world, {}, {3, 4, 0}, 2, 0.004f);
    std::vector<EffectObject*> live = f.Live();
    ASSERT_GE(live.size(), 2u);
    for (EffectObject* e : live) {
      Vec3 s = e->GetObjectScale(), q = e->GetObjectPosition();
      for (float x : {s.x, s.y, s.z, q.x, q.y, q.z, e->velocity.x, e->velocity.y, e->velocity.z, e->drift.y,
                      e->glareRate})
        ASSERT_TRUE(std::isfinite(x)) << "scale " << scale;
    }
  }
}

TEST(Bomb, AHugeSizeOrCountIsCapped) {
  CreatorFixture f;
  world::CreateBomb(f.world, {}, {0, 0, 0}, 2000000000, 0.004f);
  EXPECT_EQ(f.world.effectPool.size(), 4096u);
  world::CreateParticle(f.world, {}, {1, 0, 0}, 2000000000);
  EXPECT_EQ(f.world.effectPool.size(), 8192u);
}

// [SECTION] Particles

TEST(Particle, CountsAndPositionsAlongTheVector) {
  for (int count : {0, -5}) {
    CreatorFixture f;
    EXPECT_EQ(world::CreateParticle(f.world, {}, {1, 1, 1}, count), 0);
    EXPECT_TRUE(f.Live().empty());
  }
  CreatorFixture f;
  const Vec3 p = {1, 2, 3}, v = {4, -8, 12};
  world::CreateParticle(f.world, p, v, 4);
  std::vector<EffectObject*> live = f.Live();
  ASSERT_EQ(live.size(), 4u);
  for (size_t i = 0; i < 4; i++) {
    float k = float(i) / 4;
    ExpectNear(live[i]->GetObjectPosition(), {p.x - v.x * k, p.y - v.y * k, p.z - v.z * k}, 1e-5f, "particle");
    Vec3 dv = {live[i]->velocity.x - v.x, live[i]->velocity.y - v.y, live[i]->velocity.z - v.z};
    EXPECT_LE(Length(dv), 0.0501f);
    EXPECT_EQ(live[i]->type, world::kEffectParticle);
    ExpectNear(live[i]->GetObjectScale(), {0.05f, 0.05f, 2}, 0, "particle scale");
  }
}

// [SECTION] Clouds

TEST(Cloud, AFieldTakes256UntilThe512ObjectsRunOut) {
  CreatorFixture f;
  const Vec3 c = {0, 3000, 0};
  EXPECT_EQ(world::CreateCloud(f.world, c, 16, 500), 1);
  EXPECT_EQ(f.LiveClouds(), 256);
  EffectObject& first = f.world.weather->clouds[0];
  EXPECT_EQ(first.spriteFlag, 0);
  EXPECT_EQ(first.GetObjectSurface(), &f.world.weather->textures.cloud[0]);
  EXPECT_NEAR(first.GetObjectPosition().x, -8000, 50);
  EXPECT_NEAR(first.GetObjectPosition().y, 3000, 50);
  EXPECT_FLOAT_EQ(first.GetObjectScale().x, 500.0f * 2 / 256);
  EXPECT_EQ(world::CreateCloud(f.world, c, 16, 500), 1);
  EXPECT_EQ(f.LiveClouds(), 512);
  EXPECT_EQ(world::CreateCloud(f.world, c, 16, 500), 1);  // a full pool is no error
  EXPECT_EQ(f.LiveClouds(), 512);
  EXPECT_EQ(world::CreateCloud(f.world, c, 3, 100), 0);
}

TEST(Cloud, OtherKindsAreSpritesThatRememberTheirKind) {
  CreatorFixture f;
  EXPECT_EQ(world::CreateCloud(f.world, {1, 2, 3}, 3, 64), 1);
  EffectObject& cloud = f.world.weather->clouds[0];
  EXPECT_EQ(cloud.spriteFlag, 3);
  EXPECT_EQ(cloud.GetObjectSurface(), &f.world.weather->textures.cloud[1]);
  EXPECT_EQ(cloud.surfaceShape, render::kSurfaceSprite);
  float colour[4];
  cloud.GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[3], 0.85f);
  // Without a texture, or without a renderer, no cloud is made.
  f.world.weather->textures.cloud[1].width = 0;
  EXPECT_EQ(world::CreateCloud(f.world, {}, 3, 64), 0);
  CreatorFixture headless(false);
  EXPECT_EQ(world::CreateCloud(headless.world, {}, 0, 64), 0);
}

// [SECTION] Single effects

TEST(SingleEffects, ZeroDirectionsAndVectors) {
  CreatorFixture f;
  // A lightning bolt with no direction is still turned somewhere.
  EffectObject* bolt = world::CreateLightning(f.world, {}, {0, 0, 0}, 1024);
  ASSERT_NE(bolt, nullptr);
  EXPECT_EQ(bolt->type, world::kEffectLightning);
  EXPECT_FLOAT_EQ(std::fabs(bolt->GetObjectScale().x), 2.0f);
  EXPECT_FLOAT_EQ(bolt->GetObjectScale().z, 2.0f);
  Vec3 a = bolt->GetObjectAngles();
  EXPECT_TRUE(a.x != 0 || a.y != 0);
  // Heat keeps the depth of the vector it was given, zero or not.
  EffectObject* heat = world::CreateHeat(f.world, {}, {0, 0, 0}, {0, 1, 0}, 2, nullptr);
  ASSERT_NE(heat, nullptr);
  ExpectNear(heat->GetObjectScale(), {2, 2, 0}, 0, "heat scale");
  Vec3 h = heat->GetObjectAngles();
  EXPECT_TRUE(h.x != 0 || h.y != 0);
  EffectObject* heat2 = world::CreateHeat(f.world, {}, {0, 0, 5}, {0, 1, 0}, 2, nullptr);
  EXPECT_FLOAT_EQ(heat2->GetObjectScale().z, 5.0f);
}

TEST(SingleEffects, SonicElectricAndPolygon) {
  CreatorFixture f;
  EffectObject* sonic = world::CreateSonic(f.world, {1, 1, 1}, {3, 4, 0}, 0);
  ASSERT_NE(sonic, nullptr);
  EXPECT_EQ(sonic->type, world::kEffectSonic);
  EXPECT_EQ(sonic->alpha, 1);
  EXPECT_FLOAT_EQ(sonic->size, 5.0f);
  float colour[4];
  sonic->GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[0], 0.25f);
  EXPECT_FLOAT_EQ(colour[1], 1.0f);
  EXPECT_FLOAT_EQ(colour[2], 0.5f);
  EXPECT_FLOAT_EQ(colour[3], 0.0f);
  world::CreateSonic(f.world, {}, {0, 0, 1}, 1)->GetObjectColor(colour);
  EXPECT_FLOAT_EQ(colour[0], 1.0f);

  // The spark shows the first 128 x 128 cell of its sheet.
  EffectObject* spark = world::CreateElectric(f.world, {});
  ASSERT_NE(spark, nullptr);
  render::SurfaceVertex v{};
  spark->GetObjectVertex(2, &v);
  EXPECT_FLOAT_EQ(v.u, 0.25f);
  EXPECT_FLOAT_EQ(v.v, 1.0f);

  const Vec3 points[4] = {{10, 0, 0}, {11, 0, 0}, {10, 1, 0}, {11, 1, 2}};
  const float colours[16] = {1, 0, 0, 1, 0, 1, 0, 0.5f, -1, -1, -1, -1, 2, 0.5f, 0.25f, 1};
  EffectObject* strip = world::CreatePolygonEffect(f.world, points, colours, 4, nullptr);
  ASSERT_NE(strip, nullptr);
  EXPECT_EQ(strip->alpha, 128);
  EXPECT_EQ(strip->vertexCount, 4);
  ExpectNear(strip->GetObjectPosition(), points[0], 0, "strip");
  const uint32_t diffuse[4] = {0xFFFF0000u, 0x7F00FF00u, 0xFFFFFFFFu, 0xFFFF7F3Fu};
  for (int i = 0; i < 4; i++) {
    strip->GetObjectVertex(i, &v);
    ExpectNear({v.x, v.y, v.z}, {points[i].x - 10, points[i].y, points[i].z}, 0, "strip vertex");
    EXPECT_FLOAT_EQ(v.u, float(i & 1));
    EXPECT_FLOAT_EQ(v.v, float(i >> 1));
    EXPECT_EQ(v.diffuse, diffuse[i]) << i;  // negative keeps the old byte, above 1 saturates
  }
  EXPECT_EQ(world::CreatePolygonEffect(f.world, points, colours, 0, nullptr), nullptr);
}

// [SECTION] Reduced effects, lights, determinism

TEST(Creators, ReducedEffectsMakeNothingButClouds) {
  CreatorFixture f;
  f.world.reducedEffects = 1;
  const Vec3 pts[3] = {};
  EXPECT_EQ(world::CreateElectric(f.world, {}), nullptr);
  EXPECT_EQ(world::CreateHeat(f.world, {}, {0, 0, 1}, {0, 1, 0}, 1, nullptr), nullptr);
  EXPECT_EQ(world::CreateLightning(f.world, {}, {0, 0, 1}, 10), nullptr);
  EXPECT_EQ(world::CreatePolygonEffect(f.world, pts, nullptr, 3, nullptr), nullptr);
  EXPECT_EQ(world::CreateSonic(f.world, {}, {0, 0, 1}, 0), nullptr);
  EXPECT_EQ(world::CreateSplash(f.world, {}, 20), nullptr);
  world::CreateBomb(f.world, {}, {0, 0, 1}, 10, 0.004f);
  world::CreateHitEffect(f.world, {}, {0, 0, 1});
  world::CreateParticle(f.world, {}, {0, 0, 1}, 4);
  EXPECT_TRUE(f.world.effectPool.empty());
  EXPECT_EQ(world::CreateCloud(f.world, {}, 0, 100), 1);
  EXPECT_EQ(f.LiveClouds(), 1);
}

TEST(Creators, PointLightsFillThePoolThenRefuse) {
  CreatorFixture f;
  for (int i = 0; i < render::kSpotLightPoolSize; i++)
    ASSERT_EQ(world::AddPointLight(f.world, {float(i), 0, 0}, {0, -1, 0}, {1, 1, 1}, 10, 1, 30), i);
  EXPECT_EQ(world::AddPointLight(f.world, {}, {0, -1, 0}, {1, 1, 1}, 10, 1, 30), -1);
  EXPECT_FLOAT_EQ(f.world.spotLights.position[5].x, 5.0f);
  EXPECT_EQ(f.world.spotLights.lifetime[5], 30);
}

// Runs every effect creator once from seed 7 (clouds are scenery, made
// only with a renderer, and are left out).
void RunAll(world::GameWorld& w) {
  w.random.Seed(7);
  const Vec3 pts[4] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
  world::CreateBomb(w, {1, 2, 3}, {0, 4, 0}, 6, 0.004f);
  world::CreateHitEffect(w, {0, 1, 0}, {1, 0, 0});
  world::CreateParticle(w, {}, {0, 0, 3}, 5);
  world::CreateSplash(w, {}, 14);
  world::CreateLightning(w, {}, {0, 0, 0}, 100);
  world::CreateHeat(w, {}, {0, 0, 0}, {0, 1, 0}, 1, nullptr);
  world::CreateElectric(w, {});
  world::CreateSonic(w, {}, {1, 0, 0}, 1);
  world::CreatePolygonEffect(w, pts, nullptr, 4, nullptr);
}

TEST(Creators, TheSameSeedMakesTheSameObjectsWithOrWithoutARenderer) {
  CreatorFixture a, b, headless(false);
  RunAll(a.world);
  RunAll(b.world);
  RunAll(headless.world);
  std::vector<EffectObject*> la = a.Live(), lb = b.Live();
  ASSERT_EQ(la.size(), lb.size());
  ASSERT_EQ(la.size(), 78u);  // heat has no model here and stays free
  for (size_t i = 0; i < la.size(); i++) {
    EXPECT_EQ(la[i]->type, lb[i]->type);
    ExpectNear(la[i]->GetObjectPosition(), lb[i]->GetObjectPosition(), 0, "position");
    ExpectNear(la[i]->GetObjectAngles(), lb[i]->GetObjectAngles(), 0, "angles");
    ExpectNear(la[i]->velocity, lb[i]->velocity, 0, "velocity");
    EXPECT_EQ(la[i]->holdSteps, lb[i]->holdSteps);
  }
  // A peer without a renderer draws exactly the same random numbers.
  EXPECT_EQ(a.world.random.seed, headless.world.random.seed);
  EXPECT_TRUE(headless.Live().empty());
}

}  // namespace
