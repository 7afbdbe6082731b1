// render_collision_test.cpp -- segments against models and objects, the
// overlap tests, point and view tests, and the sound pan and distance.

#include <cmath>

#include "model_fixture.h"

namespace {

using namespace rendertest;
using platform::Vec3;
using render::CMesh;
using render::DisplayObject;

class CollisionTest : public ::testing::Test {
 protected:
  render::GraphicsSystem gs;  // no device: the tests run headless
  CMesh box;
  void SetUp() override { ASSERT_EQ(Build(gs, box, Fixture("box.x"), 0), 1); }
};

TEST_F(CollisionTest, SegmentHitsAKnownTriangleAtTheRightDistance) {
  Vec3 p, n, e;
  // Straight down the z axis: the front face (z = -1) is hit first.
  EXPECT_EQ(box.RayHitMesh(&p, &n, &e, {0.25f, 0.5f, -5}, {0.25f, 0.5f, 5}, 0, nullptr), 2);
  EXPECT_VEC3_NEAR(p, 0.25f, 0.5f, -1, 1e-5);
  EXPECT_VEC3_NEAR(n, 0, 0, -1, 1e-6);
  EXPECT_NEAR(Vec3Length(e), 1.0f, 1e-6);
  EXPECT_NEAR(platform::Vec3Dot(e, n), 0.0f, 1e-6);
  // The hit's distance from the start is 4.
  EXPECT_NEAR(Vec3Length(platform::Vec3Subtract(p, {0.25f, 0.5f, -5})), 4.0f, 1e-5);
  EXPECT_GE(box.lastHitFace, 0);
  // Back faces culled: only the near face counts.
  EXPECT_EQ(box.RayHitMesh(nullptr, nullptr, nullptr, {0.25f, 0.5f, -5}, {0.25f, 0.5f, 5}, 1, nullptr), 1);
  // From the far side the nearest is the back face.
  EXPECT_EQ(box.RayHitMesh(&p, &n, nullptr, {0.25f, 0.5f, 5}, {0.25f, 0.5f, -5}, 1, nullptr), 1);
  EXPECT_VEC3_NEAR(p, 0.25f, 0.5f, 1, 1e-5);
  EXPECT_VEC3_NEAR(n, 0, 0, 1, 1e-6);
}

TEST_F(CollisionTest, SegmentsThatStopShortOrPassByMiss) {
  Vec3 p = {9, 9, 9};
  // On the line through the model but ending before it: the radius test
  // passes, the distance limit refuses.
  EXPECT_EQ(box.RayHitMesh(&p, nullptr, nullptr, {0.25f, 0.5f, -5}, {0.25f, 0.5f, -1.5f}, 0, nullptr), 0);
  // Shorter than the distance to the far face: only the near one.
  EXPECT_EQ(box.RayHitMesh(nullptr, nullptr, nullptr, {0.25f, 0.5f, -5}, {0.25f, 0.5f, 0}, 0, nullptr), 1);
  // A line farther from the origin than the radius.
  EXPECT_EQ(box.RayHitMesh(&p, nullptr, nullptr, {3, 3, -5}, {3, 3, 5}, 0, nullptr), 0);
  // Outputs stay untouched on a miss.
  EXPECT_VEC3_NEAR(p, 9, 9, 9, 0);
}

TEST_F(CollisionTest, HitsFartherThanTheStartingDistanceStillReportTheirFace) {
  // One huge triangle 2e8 units away: the only hit lies past the distance
  // the nearest-hit search starts from (1e8).
  std::string far =
      "xof 0303txt 0032\nMesh { 3; -1e9;-1e9;2e8;, 0;1e9;2e8;, 1e9;-1e9;2e8;; 1; 3;0,1,2;; }";
  CMesh mesh;
  ASSERT_EQ(Build(gs, mesh, far, 0), 1);
  Vec3 p, n;
  EXPECT_EQ(mesh.RayHitMesh(&p, &n, nullptr, {0, 0, 0}, {0, 0, 3e8f}, 0, nullptr), 1);
  EXPECT_NEAR(p.z, 2e8f, 100.0f);
  EXPECT_EQ(mesh.lastHitFace, 0);
  // Coordinates that overflow to infinity hit nothing and crash nothing.
  std::string inf = "xof 0303txt 0032\nMesh { 3; 1e39;0;0;, 0;1e39;0;, 0;0;1e39;; 1; 3;0,1,2;; }";
  CMesh broken;
  ASSERT_EQ(Build(gs, broken, inf, 0), 1);
  EXPECT_EQ(broken.RayHitMesh(&p, &n, nullptr, {0, 0, -5}, {0, 0, 5}, 0, nullptr), 0);
}

TEST_F(CollisionTest, ObjectSegmentTestsWorkInWorldSpaceUnderScaleAndTurn) {
  DisplayObject o;
  o.SetObjectModel(&box);
  o.SetObjectPosition(10, 0, 0);
  o.SetObjectScale(1, 4, 1);
  o.SetObjectAngles(0, 1.57079632679f, 0);  // +z turns to -x
  Vec3 p, n;
  // Along -x towards the object: its local front face (z = -1) now faces +x.
  EXPECT_GE(o.TestObjectHitSegment(nullptr, &p, &n, {20, 3, 0}, {0, 3, 0}, 1), 1);
  EXPECT_VEC3_NEAR(p, 11, 3, 0, 1e-4);
  EXPECT_VEC3_NEAR(n, 1, 0, 0, 1e-5);
  // Above the stretched box (y up to 4) nothing.
  EXPECT_EQ(o.TestObjectHitSegment(nullptr, &p, &n, {20, 4.5f, 0}, {0, 4.5f, 0}, 0), 0);
  // The object without content tests nothing.
  DisplayObject empty;
  EXPECT_EQ(empty.TestObjectHitSegment(nullptr, &p, &n, {20, 0, 0}, {0, 0, 0}, 0), 0);
  EXPECT_EQ(empty.HitTestObjectSegments(nullptr, &p, &n, nullptr), -1);

  // A list of swept segments: the second one crosses the box.
  Vec3 a0 = {20, 10, 0}, a1 = {0, 10, 0}, b0 = {20, 0, 0}, b1 = {0, 0, 0};
  const Vec3* list[] = {&a0, &a1, &b0, &b1, nullptr, nullptr};
  EXPECT_EQ(o.HitTestObjectSegments(nullptr, &p, &n, list), 1);
  EXPECT_VEC3_NEAR(p, 11, 0, 0, 1e-4);
  const Vec3* none[] = {&a0, &a1, nullptr};
  EXPECT_EQ(o.HitTestObjectSegments(nullptr, &p, &n, none), -1);
}

TEST_F(CollisionTest, SweptSegmentsStartInTheCachedFrame) {
  DisplayObject carrier;
  carrier.SetObjectModel(&box);
  carrier.SetObjectPosition(0, 0, 0);
  carrier.CacheObjectWorld();
  carrier.SetObjectPosition(0, 0, 10);  // moved far along z since the cache
  // A point that was 3 in front of the box and now is 3 in front of it
  // again did not cross it in the carrier's frame...
  Vec3 a = {0, 0, -3}, b = {0, 0, 7};
  const Vec3* riding[] = {&a, &b, nullptr};
  Vec3 p;
  EXPECT_EQ(carrier.HitTestObjectSegments(nullptr, &p, nullptr, riding), -1);
  // ...while one that stood still was passed through.
  Vec3 c = {0, 0, 5}, d = {0, 0, 5};
  const Vec3* still[] = {&c, &d, nullptr};
  EXPECT_EQ(carrier.HitTestObjectSegments(nullptr, &p, nullptr, still), 0);
}

TEST_F(CollisionTest, ObjectsTouchWhenTheirTrianglesDo) {
  DisplayObject a, b;
  a.SetObjectModel(&box);
  b.SetObjectModel(&box);
  b.SetObjectPosition(1.5f, 0.3f, 0.2f);  // overlapping, no faces in one plane
  EXPECT_EQ(DisplayObject::TestObjectBoundsOverlap(nullptr, &a, &b), 1);
  EXPECT_EQ(DisplayObject::TestObjectHitObject(nullptr, &a, &b), 1);
  b.SetObjectPosition(2.5f, 0, 0);
  EXPECT_EQ(DisplayObject::TestObjectBoundsOverlap(nullptr, &a, &b), 0);
  EXPECT_EQ(DisplayObject::TestObjectHitObject(nullptr, &a, &b), 0);
  // A small box deep inside a large one: the boxes overlap, no edge of the
  // small one crosses a face of the large one.
  b.SetObjectPosition(0, 0, 0);
  b.SetObjectScale(10, 10, 10);
  a.SetObjectScale(0.5f, 0.5f, 0.5f);
  EXPECT_EQ(DisplayObject::TestObjectBoundsOverlap(nullptr, &a, &b), 1);
  EXPECT_EQ(DisplayObject::TestObjectHitObject(nullptr, &a, &b), 0);
  DisplayObject none;
  EXPECT_EQ(DisplayObject::TestObjectHitObject(nullptr, &none, &b), 0);
}

TEST_F(CollisionTest, PointsAndSegmentBoxesAgainstModelAndSurfaceBoxes) {
  DisplayObject o;
  o.SetObjectModel(&box);
  // The model box includes its maximum.
  EXPECT_EQ(DisplayObject::IsPointInObjectBounds(nullptr, &o, {1, 1, 1}), 1);
  EXPECT_EQ(DisplayObject::IsPointInObjectBounds(nullptr, &o, {1.01f, 0, 0}), 0);
  EXPECT_EQ(DisplayObject::TestObjectBoxSegment(nullptr, &o, {1, 5, 0}, {1, -5, 0}), 1);
  // A surface object's hit box excludes its maximum.
  render::TextureHolder holder;
  holder.width = holder.height = 8;
  DisplayObject s;
  s.surface = &holder;
  s.hitBoxMin = {0, 0, 0};
  s.hitBoxMax = {2, 2, 2};
  EXPECT_EQ(DisplayObject::IsPointInObjectBounds(nullptr, &s, {0, 0, 0}), 1);
  EXPECT_EQ(DisplayObject::IsPointInObjectBounds(nullptr, &s, {2, 1, 1}), 0);
  EXPECT_EQ(DisplayObject::TestObjectBoxSegment(nullptr, &s, {2, 1, 1}, {3, 1, 1}), 0);
  EXPECT_EQ(DisplayObject::TestObjectBoxSegment(nullptr, &s, {1.5f, 1, 1}, {3, 1, 1}), 1);
  Vec3 p;
  EXPECT_EQ(s.TestObjectHitSegment(nullptr, &p, nullptr, {1, 1, -3}, {1, 1, 3}, 0), 1);
  EXPECT_EQ(s.TestObjectHitSegment(nullptr, &p, nullptr, {2, 1, -3}, {2, 1, 3}, 0), 0);
  EXPECT_EQ(DisplayObject::IsPointInObjectBounds(nullptr, &o, {0, 0, 0}), 1);
  DisplayObject empty;
  EXPECT_EQ(DisplayObject::IsPointInObjectBounds(nullptr, &empty, {0, 0, 0}), 0);
}

TEST_F(CollisionTest, ViewTestCullsBehindBeyondAndBesideTheView) {
  DisplayObject o;
  o.SetObjectModel(&box);
  platform::Matrix view = platform::MatrixLookAtLH({0, 0, 0}, {0, 0, 1}, {0, 1, 0});
  const float fov = 1.57079632679f;
  struct Case {
    Vec3 at;
    int visible;
  } cases[] = {
      {{0, 0, 10}, 1},   {{0, 0, -10}, 0},  {{0, 0, -1}, 1},     // its radius reaches the eye
      {{0, 0, 200}, 0},  {{0, 0, 101}, 1},  {{30, 0, 10}, 0},    // beside the view
      {{0, 11, 10}, 1},  {{0, 13, 10}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.at.x) + "," + std::to_string(c.at.y) + "," + std::to_string(c.at.z));
    o.SetObjectPosition(c.at.x, c.at.y, c.at.z);
    EXPECT_EQ(DisplayObject::TestObjectOnScreen(nullptr, &o, view, fov, 100), c.visible);
  }
  // Orthographic (negative fov): a half size of 5.
  o.SetObjectPosition(6, 0, 10);
  EXPECT_EQ(DisplayObject::TestObjectOnScreen(nullptr, &o, view, -5, 100), 1);
  o.SetObjectPosition(7, 0, 10);
  EXPECT_EQ(DisplayObject::TestObjectOnScreen(nullptr, &o, view, -5, 100), 0);
  // Hidden by its own flag: never on screen, whatever its parents.
  o.SetObjectPosition(0, 0, 10);
  o.SetObjectVisible(0);
  EXPECT_EQ(DisplayObject::TestObjectOnScreen(nullptr, &o, view, fov, 100), 0);
}

TEST_F(CollisionTest, SoundPanAndDistanceFromTheCamera) {
  gs.SetCamera3D({0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f);
  EXPECT_NEAR(gs.GetSoundPan({0, 0, 50}), 0.0f, 1e-4);
  EXPECT_NEAR(gs.GetSoundPan({10, 0, 0}), 1000.0f, 1e-3);
  EXPECT_NEAR(gs.GetSoundPan({-10, 0, 0}), -1000.0f, 1e-3);
  EXPECT_NEAR(gs.GetSoundPan({30, 40, 0}), 30.0f / std::sqrt(1600.0f + 100.0f) * 1000.0f, 1e-2);
  EXPECT_NEAR(gs.GetCameraDistance({3, 4, 0}), -10.0f, 1e-5);
}

}  // namespace
