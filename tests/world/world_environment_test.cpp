// world_environment_test.cpp -- the environment record: entries and their
// refusals, blends, the active entry, the thunder countdown, the defaults
// and the world's environment operations.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "core/core_public.h"
#include "test_support.h"
#include "world/world_local.h"

namespace {

using world::EnvironmentRecord;
using world::Vec3;

// Two entries that differ in every field.
EnvironmentRecord TwoEntries() {
  EnvironmentRecord e;
  e.SetSkyEntry(0, "sky0a.bmp", "sky0b.bmp", 3);
  e.SetSkyEntry(1, "sky1a.bmp", "sky1b.bmp", 4);
  e.SetFogEntry(0, 10.0f, 1000.0f, Vec3{0.0f, 0.2f, 0.4f});
  e.SetFogEntry(1, 50.0f, 3000.0f, Vec3{0.8f, 0.6f, 0.0f});
  e.SetLightEntry(0, Vec3{1.0f, 0.0f, 0.0f}, Vec3{0.2f, 0.2f, 0.2f}, Vec3{0.1f, 0.1f, 0.1f});
  e.SetLightEntry(1, Vec3{0.0f, 0.0f, 5.0f}, Vec3{0.6f, 0.6f, 0.6f}, Vec3{0.5f, 0.5f, 0.5f});
  e.SetShadowEntry(0, 7);
  e.SetShadowEntry(1, 9);
  return e;
}

TEST(Environment, ActiveEntryIsTheNearestAndNeverLeavesTheTwoEntries) {
  EnvironmentRecord e = TwoEntries();
  const struct {
    float blend;
    int entry;
  } cases[] = {
      {0.0f, 0}, {0.49f, 0}, {0.5f, 1}, {1.0f, 1},
      // A script may store any blend; the entry read stays 0 or 1.
      {1.7f, 1}, {2.0f, 1}, {1e30f, 1}, {-0.6f, 0}, {-1.6f, 0}, {-1e30f, 0},
      {std::numeric_limits<float>::quiet_NaN(), 0},
  };
  for (const auto& c : cases) {
    e.SetEnvironmentBlend(c.blend);
    EXPECT_EQ(e.ActiveEntry(), c.entry) << c.blend;
    EXPECT_EQ(e.GetActiveWeather(), c.entry ? 4 : 3) << c.blend;
    EXPECT_EQ(e.GetActiveShadowState(), c.entry ? 9 : 7) << c.blend;
  }
}

TEST(Environment, LightningCountdownSignalsOnceOnTheStepItReachesZero) {
  EnvironmentRecord e;
  EXPECT_EQ(e.TickLightningCountdown(), 0);
  e.SetLightningCount(3);
  const int expected[] = {0, 0, 1, 0, 0, 0};
  for (int want : expected) EXPECT_EQ(e.TickLightningCountdown(), want);
  EXPECT_EQ(e.GetLightningCount(), 0);
  // A negative count is no countdown: it never signals and stays put.
  e.SetLightningCount(-2);
  for (int i = 0; i < 4; i++) EXPECT_EQ(e.TickLightningCountdown(), 0);
  EXPECT_EQ(e.GetLightningCount(), -2);
}

TEST(Environment, BlendsFogAndLightBetweenTheEntries) {
  EnvironmentRecord e = TwoEntries();
  e.SetEnvironmentBlend(0.25f);
  float nearDistance = 0, farDistance = 0;
  Vec3 colour{};
  e.GetBlendedFog(&nearDistance, &farDistance, &colour);
  EXPECT_FLOAT_EQ(farDistance, 1500.0f);
  EXPECT_FLOAT_EQ(nearDistance, 20.0f);
  EXPECT_FLOAT_EQ(colour.x, 0.2f);
  EXPECT_FLOAT_EQ(colour.y, 0.3f);
  EXPECT_FLOAT_EQ(colour.z, 0.3f);
  e.GetBlendedFog(nullptr, nullptr, nullptr);  // every output optional

  // The stored directions are unit vectors; the blend is normalised again.
  EXPECT_FLOAT_EQ(e.lightDirection[1][2], 1.0f);
  e.SetEnvironmentBlend(0.5f);
  Vec3 direction{}, a{}, b{};
  e.GetBlendedLight(&direction, &a, &b);
  EXPECT_NEAR(direction.x, std::sqrt(0.5f), 1e-6f);
  EXPECT_NEAR(direction.z, std::sqrt(0.5f), 1e-6f);
  EXPECT_FLOAT_EQ(a.y, 0.4f);
  EXPECT_FLOAT_EQ(b.z, 0.3f);
}

TEST(Environment, EntrySettersRefuseAnEntryOtherThanZeroOrOne) {
  for (int entry : {-1, 2, 1000}) {
    EnvironmentRecord e = TwoEntries();
    const EnvironmentRecord before = e;
    EXPECT_EQ(e.SetFogEntry(entry, 1.0f, 2.0f, Vec3{1, 1, 1}), 0) << entry;
    EXPECT_EQ(e.SetLightEntry(entry, Vec3{0, 1, 0}, Vec3{1, 1, 1}, Vec3{1, 1, 1}), 0) << entry;
    EXPECT_EQ(e.SetShadowEntry(entry, 5), 0) << entry;
    EXPECT_EQ(e.SetSkyEntry(entry, "x.bmp", "y.bmp", 5), 0) << entry;
    char name[EnvironmentRecord::kSkyNameBytes] = "untouched";
    EXPECT_EQ(e.GetSkyTextureNames(entry, name, nullptr), 0) << entry;
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(std::memcmp(&e, &before, sizeof e), 0) << entry;
  }
  EnvironmentRecord e;
  EXPECT_EQ(e.SetFogEntry(1, 1.0f, 2.0f, Vec3{}), 1);
  EXPECT_EQ(e.SetShadowEntry(0, 5), 1);
  EXPECT_EQ(e.SetLightEntry(1, Vec3{0, 2, 0}, Vec3{}, Vec3{}), 1);
  EXPECT_FLOAT_EQ(e.lightDirection[1][1], 1.0f);
}

TEST(Environment, SkyNamesAreCutToTheirFieldAndTerminated) {
  EnvironmentRecord e;
  std::memset(e.skyFiles, 'Z', sizeof e.skyFiles);
  const std::string longName(300, 'a');
  EXPECT_EQ(e.SetSkyEntry(1, longName.c_str(), nullptr, 4), 1);
  char first[EnvironmentRecord::kSkyNameBytes], second[EnvironmentRecord::kSkyNameBytes];
  EXPECT_EQ(e.GetSkyTextureNames(1, first, second), 1);
  EXPECT_EQ(std::string(first), longName.substr(0, EnvironmentRecord::kSkyNameBytes - 1));
  EXPECT_STREQ(second, "");
  EXPECT_EQ(e.weather[1], 4);
  // Entry 0's names are not touched.
  EXPECT_EQ(e.skyFiles[0][0], 'Z');
}

struct WorldFixture {
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  world::GameWorld world;
  WorldFixture() { world.log = &log; }
};

TEST(Environment, ResetGivesTheDefaultsAtTheWorldsScale) {
  WorldFixture f;
  f.world.SetSystemScale(2.0f);
  f.world.environment = TwoEntries();
  f.world.environment.SetLightningCount(5);
  f.world.environment.SetLightRate(3.0f);
  world::ResetEnvironment(f.world);
  const EnvironmentRecord& e = world::GetEnvironment(f.world);
  EXPECT_EQ(e.blend, 0.0f);
  EXPECT_EQ(e.fogNear[0], 0.0f);
  EXPECT_EQ(e.fogFar[0], 6000.0f);
  EXPECT_EQ(e.fogFar[1], 0.0f);
  const float n = std::sqrt(64.0f + 25.0f + 16.0f);
  EXPECT_NEAR(e.lightDirection[0][0], -8.0f / n, 1e-6f);
  EXPECT_NEAR(e.lightDirection[0][1], -5.0f / n, 1e-6f);
  EXPECT_NEAR(e.lightDirection[0][2], 4.0f / n, 1e-6f);
  EXPECT_EQ(e.lightColourA[0][1], 0.25f);
  EXPECT_EQ(e.lightColourB[0][2], 0.75f);
  EXPECT_EQ(e.shadow[0], 1);
  EXPECT_EQ(e.shadow[1], 0);
  EXPECT_EQ(e.weather[0], 0);
  EXPECT_EQ(e.weather[1], 0);
  EXPECT_EQ(e.skyFiles[0][0], 0);
  EXPECT_EQ(e.skyFiles[3][0], 0);
  EXPECT_EQ(e.lightningCount, 0);
  EXPECT_EQ(e.lightRate, 0.0f);
}

TEST(Environment, WorldOperationsForwardToTheRecord) {
  WorldFixture f;
  world::GameWorld& w = f.world;
  EXPECT_EQ(world::set_fog_state(w, 1, 5.0f, 9.0f, Vec3{1, 0, 0}), 1);
  EXPECT_EQ(w.environment.fogFar[1], 9.0f);
  EXPECT_EQ(world::set_fog_state(w, 2, 5.0f, 9.0f, Vec3{}), 0);
  EXPECT_EQ(world::set_light_state(w, -1, Vec3{0, 1, 0}, Vec3{}, Vec3{}), 0);
  EXPECT_EQ(world::set_shadow_state(w, 1, 4), 1);
  EXPECT_EQ(w.environment.shadow[1], 4);
  EXPECT_EQ(world::set_shadow_state(w, 3, 4), 0);
  world::set_light_rate(w, 0.5f);
  EXPECT_EQ(w.environment.GetLightRate(), 0.5f);
  world::SetLightningCount(w, 12);
  EXPECT_EQ(w.environment.lightningCount, 12);

  EXPECT_EQ(world::set_sky_state(w, 1, "a.bmp", "b.bmp", 4), 1);
  EXPECT_EQ(world::set_sky_state(w, 2, "c.bmp", "d.bmp", 3), 0);
  EXPECT_STREQ(w.environment.skyFiles[2], "a.bmp");
  EXPECT_EQ(world::GetWeatherKind(w), 0);
  w.environment.SetEnvironmentBlend(0.5f);
  EXPECT_EQ(world::GetWeatherKind(w), 4);
}

TEST(Environment, SpriteFromFileFindsOrMakesOneTypePerFileAndKey) {
  WorldFixture f;
  units::UnitType* a = world::create_sprite_from_file(f.world, "flare.png", 2);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(world::create_sprite_from_file(f.world, "flare.png", 2), a);
  units::UnitType* b = world::create_sprite_from_file(f.world, "flare.png", 3);
  EXPECT_NE(b, a);
  EXPECT_NE(world::create_sprite_from_file(f.world, "spark.png", 2), a);
}

}  // namespace
