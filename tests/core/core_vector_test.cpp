// core_vector_test.cpp -- direction vectors and orientation angles.

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/core_public.h"

namespace {

using core::Vec3;
constexpr float kPi = platform::kPi;

void ExpectNear(const Vec3& a, const Vec3& b, float tolerance = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

bool IsFinite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

TEST(AnglesFromDirection, HandComputedCases) {
  struct Case {
    Vec3 direction;
    Vec3 angles;  // pitch, yaw, roll
  };
  const Case cases[] = {
      {{0, 0, 1}, {0, 0, 0}},
      {{1, 0, 0}, {0, -kPi / 2, 0}},
      {{-1, 0, 0}, {0, kPi / 2, 0}},
      {{0, 1, 0}, {kPi / 2, 0, 0}},
      {{0, -1, 0}, {-kPi / 2, 0, 0}},
      {{0, 0, -1}, {0, -kPi, 0}},
      {{1, 1, 0}, {kPi / 4, -kPi / 2, 0}},
      {{0, 3, 3}, {kPi / 4, 0, 0}},  // length does not matter
  };
  for (const Case& c : cases) {
    Vec3 angles{9, 9, 9};
    EXPECT_EQ(core::AnglesFromDirection(&angles, c.direction, nullptr), 1);
    EXPECT_NEAR(angles.x, c.angles.x, 1e-6f);
    EXPECT_NEAR(std::fabs(angles.y), std::fabs(c.angles.y), 1e-6f);  // +-pi alike
    if (std::fabs(c.angles.y) < 3.0f) {
      EXPECT_NEAR(angles.y, c.angles.y, 1e-6f);
    }
    EXPECT_EQ(angles.z, 0.0f);
  }
}

TEST(AnglesFromDirection, RollFromUpVector) {
  // Looking along +z, an up turned by r about the view axis gives roll r.
  for (float roll : {0.3f, 1.2f, -0.7f, -2.5f, 2.9f, 0.001f}) {
    Vec3 up{-std::sin(roll), std::cos(roll), 0};
    Vec3 angles;
    core::AnglesFromDirection(&angles, {0, 0, 1}, &up);
    EXPECT_NEAR(angles.z, roll, 1e-4f) << roll;
  }
  // The direction's own up gives roll 0 (to the float precision of the
  // quarter turn that makes the own up).
  Vec3 up{0, 1, 0};
  Vec3 angles;
  core::AnglesFromDirection(&angles, {0, 0, 1}, &up);
  EXPECT_NEAR(angles.z, 0.0f, 1e-6f);
}

TEST(AnglesFromDirection, RoundTripsThroughDirectionFromAngles) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> coord(-1.0f, 1.0f), roll(-3.0f, 3.0f);
  for (int i = 0; i < 500; i++) {
    Vec3 d = platform::Vec3Normalize({coord(rng), coord(rng), coord(rng)});
    if (platform::Vec3Length(d) == 0.0f) continue;
    // An up vector of the direction with a known roll.
    float r = roll(rng);
    Vec3 up;
    core::RotateVectorAboutAxis(&up, d, r);

    Vec3 angles;
    core::AnglesFromDirection(&angles, d, &up);
    Vec3 forward, upBack;
    core::DirectionFromAngles(&forward, &upBack, angles);
    ExpectNear(forward, d, 2e-4f);
    ExpectNear(upBack, platform::Vec3Normalize(up), 2e-3f);
  }
}

TEST(AnglesFromDirection, VerticalDirectionsNeverGiveNaN) {
  const Vec3 directions[] = {{0, 1, 0}, {0, -1, 0}, {0, 5, 0}, {0, 0, 0}};
  const Vec3 ups[] = {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}, {0, 0, -1}, {0, -1, 0}, {0, 0, 0}};
  for (const Vec3& d : directions) {
    for (const Vec3& u : ups) {
      Vec3 angles;
      core::AnglesFromDirection(&angles, d, &u);
      EXPECT_TRUE(IsFinite(angles)) << d.y << " " << u.x << u.y << u.z;
      Vec3 rolled;
      core::RotateVectorAboutAxis(&rolled, d, 0.5f);
      EXPECT_TRUE(IsFinite(rolled));
    }
  }
  // Straight up is taken as facing yaw 0: its own up points back (-z), as
  // DirectionFromAngles gives for pitch +90 degrees, and a sideways up is a
  // quarter roll.
  Vec3 angles;
  Vec3 up{0, 0, -1};
  core::AnglesFromDirection(&angles, {0, 1, 0}, &up);
  ExpectNear(angles, {kPi / 2, 0, 0});
  Vec3 side{-1, 0, 0};
  core::AnglesFromDirection(&angles, {0, 1, 0}, &side);
  Vec3 forward, back;
  core::DirectionFromAngles(&forward, &back, angles);
  ExpectNear(forward, {0, 1, 0}, 1e-5f);
  ExpectNear(back, side, 1e-4f);
}

TEST(DirectionFromAngles, TurnsFrontAndUp) {
  Vec3 forward, up;
  core::DirectionFromAngles(&forward, &up, {0, 0, 0});
  ExpectNear(forward, {0, 0, 1});
  ExpectNear(up, {0, 1, 0});
  core::DirectionFromAngles(&forward, &up, {kPi / 2, 0, 0});  // pitch up
  ExpectNear(forward, {0, 1, 0});
  ExpectNear(up, {0, 0, -1});
  core::DirectionFromAngles(&forward, nullptr, {0, -kPi / 2, 0});  // yaw
  ExpectNear(forward, {1, 0, 0});
  core::DirectionFromAngles(nullptr, &up, {0, 0, kPi / 2});  // roll
  ExpectNear(up, {-1, 0, 0});
}

TEST(SnapToGrid, RoundsHalvesAwayFromZero) {
  const float in[] = {14.9f, 15.0f, -15.0f, -14.9f, 0.0f, 4.99f, 5.0f, -5.0f, 123.0f};
  const float out[] = {10.0f, 20.0f, -20.0f, -10.0f, 0.0f, 0.0f, 10.0f, -10.0f, 120.0f};
  for (size_t i = 0; i < std::size(in); i++) {
    Vec3 r, copy{1, 1, 1};
    EXPECT_EQ(core::SnapToGrid(&r, &copy, {in[i], in[i], in[i]}, 10.0f), &r);
    EXPECT_EQ(r.x, out[i]) << in[i];
    EXPECT_EQ(copy.z, out[i]);
  }
  // No grid: unchanged rather than NaN.
  Vec3 r;
  core::SnapToGrid(&r, nullptr, {1.5f, -2.5f, 3.0f}, 0.0f);
  ExpectNear(r, {1.5f, -2.5f, 3.0f}, 0.0f);
}

}  // namespace

// The game's generator: its first values from seed 0, and a reseed restarts
// the sequence.
TEST(RandomGenerator, KnownSequenceAndReseed) {
  core::RandomGenerator random;
  random.Seed(0);
  const int expected[] = {38, 7719, 21238, 2437, 8855, 11797, 8365, 32285};
  for (int value : expected) EXPECT_EQ(random.Next(), value);
  random.Seed(0);
  EXPECT_EQ(random.Next(), 38);
  random.Seed(1);
  EXPECT_EQ(random.Next(), 41);  // (214013 + 2531011) >> 16
  for (int i = 0; i < 100000; i++) {
    int v = random.Next();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
  }
}
