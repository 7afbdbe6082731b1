// platform_math_test.cpp -- the row-vector, left-handed conventions.

#include <gtest/gtest.h>

#include <cmath>

#include "platform/platform_public.h"

namespace {

using namespace platform;

void ExpectNear(const Vec3& a, const Vec3& b, float tolerance = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(Math, RotationSignsMatchTheLeftHandedConvention) {
  // A positive turn about x takes +y to +z; about y, +z to +x; about z,
  // +x to +y.
  ExpectNear(Vec3TransformCoord({0, 1, 0}, MatrixRotationX(kPi / 2)), {0, 0, 1});
  ExpectNear(Vec3TransformCoord({0, 0, 1}, MatrixRotationY(kPi / 2)), {1, 0, 0});
  ExpectNear(Vec3TransformCoord({1, 0, 0}, MatrixRotationZ(kPi / 2)), {0, 1, 0});
  // About an axis: the same as the named rotations, any axis length.
  for (float a : {0.3f, -1.1f, 2.0f}) {
    Matrix byAxis = MatrixRotationAxis({2, 0, 0}, a);
    Matrix named = MatrixRotationX(a);
    for (int i = 0; i < 4; i++)
      for (int j = 0; j < 4; j++) EXPECT_NEAR(byAxis.m[i][j], named.m[i][j], 1e-6f);
  }
  // A zero axis turns nothing.
  ExpectNear(Vec3TransformCoord({1, 2, 3}, MatrixRotationAxis({0, 0, 0}, 1.0f)), {1, 2, 3});
}

TEST(Math, YawPitchRollAppliesRollThenPitchThenYaw) {
  float yaw = 0.4f, pitch = -0.9f, roll = 1.3f;
  Matrix ypr = MatrixRotationYawPitchRoll(yaw, pitch, roll);
  Vec3 v{0.2f, -0.5f, 0.7f};
  Vec3 stepwise = Vec3TransformCoord(
      Vec3TransformCoord(Vec3TransformCoord(v, MatrixRotationZ(roll)), MatrixRotationX(pitch)),
      MatrixRotationY(yaw));
  ExpectNear(Vec3TransformCoord(v, ypr), stepwise);
}

TEST(Math, LookAtAndInverse) {
  Vec3 eye{1, 2, 3};
  Matrix view = MatrixLookAtLH(eye, {1, 2, 10}, {0, 1, 0});
  // Looking down +z from the eye: the eye is the origin, the target on +z.
  ExpectNear(Vec3TransformCoord(eye, view), {0, 0, 0});
  ExpectNear(Vec3TransformCoord({1, 2, 10}, view), {0, 0, 7});
  ExpectNear(Vec3TransformCoord({2, 2, 3}, view), {1, 0, 0});  // +x stays right

  Matrix inverse;
  float det = 0;
  ASSERT_TRUE(MatrixInverse(&inverse, &det, view));
  EXPECT_NEAR(det, 1.0f, 1e-5f);
  ExpectNear(Vec3TransformCoord({0, 0, 7}, inverse), {1, 2, 10});

  Matrix singular = MatrixScaling(1, 0, 1);
  Matrix untouched = MatrixIdentity();
  EXPECT_FALSE(MatrixInverse(&untouched, &det, singular));
  EXPECT_EQ(det, 0.0f);
  EXPECT_EQ(untouched.m[1][1], 1.0f);
}

TEST(Math, NormalizeKeepsZeroAndTransformsTranslate) {
  Vec3 zero = Vec3Normalize({0, 0, 0});
  EXPECT_EQ(zero.x, 0.0f);
  EXPECT_EQ(zero.y, 0.0f);
  EXPECT_EQ(zero.z, 0.0f);
  ExpectNear(Vec3Normalize({3, 0, 4}), {0.6f, 0, 0.8f});
  Matrix m = MatrixMultiply(MatrixScaling(2, 2, 2), MatrixTranslation(1, 0, 0));
  ExpectNear(Vec3TransformCoord({1, 1, 1}, m), {3, 2, 2});
  ExpectNear(Vec3TransformNormal({1, 1, 1}, m), {2, 2, 2});
  ExpectNear(Vec3Cross({1, 0, 0}, {0, 1, 0}), {0, 0, 1});
}

}  // namespace
