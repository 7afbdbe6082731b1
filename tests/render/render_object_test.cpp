// render_object_test.cpp -- display objects: links, placement and
// matrices, axes, bounds, surfaces and texts, and what they draw.

#include <cmath>
#include <string>

#include "model_fixture.h"
#include "render_fixture.h"

namespace {

using namespace rendertest;
using platform::Matrix;
using platform::Vec3;
using render::DisplayObject;

constexpr float kHalfPi = 1.57079632679f;

// ----------------------------------------------------------------------------
// Links
// ----------------------------------------------------------------------------

TEST(DisplayObjectLinks, ChildrenKeepTheirOrderAndUnlinkCleanly) {
  DisplayObject parent, a, b, c, other;
  a.SetObjectParent(&parent);
  b.SetObjectParent(&parent);
  c.SetObjectParent(&parent);
  EXPECT_EQ(parent.GetObjectFirstChild(), &a);
  EXPECT_EQ(a.GetObjectNextSibling(), &b);
  EXPECT_EQ(b.GetObjectNextSibling(), &c);
  // Itself or its own parent again: nothing changes.
  b.SetObjectParent(&b);
  b.SetObjectParent(&parent);
  EXPECT_EQ(a.GetObjectNextSibling(), &b);
  EXPECT_EQ(b.GetObjectNextSibling(), &c);
  // The middle one leaves: the first links to the third.
  b.SetObjectParent(nullptr);
  EXPECT_EQ(b.GetObjectParent(), nullptr);
  EXPECT_EQ(b.GetObjectNextSibling(), nullptr);
  EXPECT_EQ(a.GetObjectNextSibling(), &c);
  // The first leaves for another parent.
  a.SetObjectParent(&other);
  EXPECT_EQ(parent.GetObjectFirstChild(), &c);
  EXPECT_EQ(other.GetObjectFirstChild(), &a);
  EXPECT_TRUE(DisplayObject::IsObjectDescendant(&a, &other));
  EXPECT_FALSE(DisplayObject::IsObjectDescendant(&a, &a));
  EXPECT_FALSE(DisplayObject::IsObjectDescendant(&a, nullptr));
}

TEST(DisplayObjectLinks, ACycleIsRefusedAndNoListNamesTheObject) {
  DisplayObject top, mid, low;
  mid.SetObjectParent(&top);
  low.SetObjectParent(&mid);
  top.SetObjectParent(&low);  // top is an ancestor of low
  EXPECT_EQ(top.GetObjectParent(), nullptr);
  EXPECT_EQ(low.GetObjectFirstChild(), nullptr);
  // The chain is intact and finite.
  EXPECT_TRUE(DisplayObject::IsObjectDescendant(&low, &top));
  // A child leaving with its parent field consistent: moving mid under
  // another parent takes low with it.
  DisplayObject other;
  mid.SetObjectParent(&other);
  EXPECT_EQ(top.GetObjectFirstChild(), nullptr);
  EXPECT_TRUE(DisplayObject::IsObjectDescendant(&low, &other));
}

TEST(DisplayObjectLinks, ShownOnlyWhenEveryAncestorIs) {
  DisplayObject parent, child;
  child.SetObjectParent(&parent);
  EXPECT_EQ(child.IsObjectShown(), 0);  // hidden after InitObject
  child.SetObjectVisible(1);
  EXPECT_EQ(child.IsObjectShown(), 0);
  EXPECT_EQ(parent.SetObjectVisible(1), 0);
  EXPECT_EQ(child.IsObjectShown(), 1);
}

// ----------------------------------------------------------------------------
// Placement and matrices
// ----------------------------------------------------------------------------

TEST(DisplayObjectPlacement, ChildIsPlacedInItsParentsFrameWithoutTheParentsPivot) {
  DisplayObject parent, child;
  parent.SetObjectPosition(10, 0, 0);
  parent.SetObjectPivot(1, 2, 3);
  parent.SetObjectAngles(0, kHalfPi, 0);  // yaw: +z turns towards -x
  parent.SetObjectScale(2, 2, 2);
  child.SetObjectParent(&parent);
  child.SetObjectPosition(0, 0, 1);
  Vec3 pivot = parent.GetObjectPivot();
  EXPECT_VEC3_NEAR(pivot, 1, 2, 3, 0);
  // The child's origin: (0, 0, 1) scaled by 2, turned to -x, moved by 10.
  Matrix w = child.GetObjectWorldMatrix();
  EXPECT_VEC3_NEAR(Vec3(w.m[3][0], w.m[3][1], w.m[3][2]), 8, 0, 0, 1e-5);
  // The world position includes the parent's pivot: (0, 0, 1) - pivot
  // through the parent's scale, turn and position.
  Vec3 wp = child.GetObjectWorldPosition();
  EXPECT_VEC3_NEAR(wp, 14, -4, -2, 1e-4);
  // Through the parent's full world matrix (pivot included).
  Vec3 expected = parent.TransformPointToWorld({0, 0, 1});
  EXPECT_VEC3_NEAR(wp, expected.x, expected.y, expected.z, 1e-5);
  // The parent's own world matrix does move by its pivot.
  Vec3 origin = parent.TransformPointToWorld({0, 0, 0});
  EXPECT_VEC3_NEAR(origin, 16, -4, -2, 1e-4);
  // And back: world to local and local to world agree.
  Vec3 back = child.TransformPointToLocal(child.TransformPointToWorld({1, 2, 3}));
  EXPECT_VEC3_NEAR(back, 1, 2, 3, 1e-4);
}

TEST(DisplayObjectPlacement, FrontAndUpAxesForKnownAngles) {
  struct Case {
    float pitch, yaw, roll;
    Vec3 front, up;
  } cases[] = {
      {0, 0, 0, {0, 0, 1}, {0, 1, 0}},
      {0, kHalfPi, 0, {-1, 0, 0}, {0, 1, 0}},   // yaw turns +z towards -x
      {kHalfPi, 0, 0, {0, 1, 0}, {0, 0, -1}},   // pitch raises the nose
      {0, 0, kHalfPi, {0, 0, 1}, {-1, 0, 0}},   // roll about the front
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.pitch) + " " + std::to_string(c.yaw) + " " + std::to_string(c.roll));
    DisplayObject o;
    o.SetObjectAngles(c.pitch, c.yaw, c.roll);
    EXPECT_VEC3_NEAR(o.GetObjectFront(), c.front.x, c.front.y, c.front.z, 1e-5);
    EXPECT_VEC3_NEAR(o.GetObjectUp(), c.up.x, c.up.y, c.up.z, 1e-5);
    EXPECT_VEC3_NEAR(o.GetObjectWorldFront(), c.front.x, c.front.y, c.front.z, 1e-5);
    // The same axes come out of the matrix: rows 2 and 1.
    Matrix m = o.GetObjectWorldMatrix();
    EXPECT_VEC3_NEAR(Vec3(m.m[2][0], m.m[2][1], m.m[2][2]), c.front.x, c.front.y, c.front.z, 1e-5);
    EXPECT_VEC3_NEAR(Vec3(m.m[1][0], m.m[1][1], m.m[1][2]), c.up.x, c.up.y, c.up.z, 1e-5);
    // Under a parent that yaws a quarter turn, through both.
    DisplayObject parent;
    parent.SetObjectAngles(0, kHalfPi, 0);
    parent.SetObjectScale(3, 3, 3);  // scaling does not lengthen the axes
    o.SetObjectParent(&parent);
    Vec3 f = o.GetObjectWorldFront();
    Vec3 u = o.GetObjectWorldUp();
    // A quarter yaw: (x, y, z) -> (z, y, -x).
    EXPECT_VEC3_NEAR(f, c.front.z * -1, c.front.y, c.front.x, 1e-5);
    EXPECT_VEC3_NEAR(u, c.up.z * -1, c.up.y, c.up.x, 1e-5);
    o.SetObjectParent(nullptr);
  }
  DisplayObject look;
  look.SetObjectLookAt({1, 0, 0}, nullptr);
  EXPECT_VEC3_NEAR(look.GetObjectFront(), 1, 0, 0, 1e-5);
}

TEST(DisplayObjectPlacement, SettersAndGetters) {
  DisplayObject o;
  o.SetObjectPivot(1, 2, 3);
  EXPECT_VEC3_NEAR(o.GetObjectPivot(), 1, 2, 3, 0);
  o.SetObjectColor(-1, 0.5f, -1, 2);
  float c[4];
  o.GetObjectColor(c);
  EXPECT_EQ(c[0], 1.0f);
  EXPECT_EQ(c[1], 0.5f);
  EXPECT_EQ(c[2], 1.0f);
  EXPECT_EQ(c[3], 1.0f);
  EXPECT_EQ(o.SetObjectGlareRate(0.5f), 0.0f);
  EXPECT_EQ(o.SetObjectGlareRate(0.0f), 0.5f);
  std::string longText(300, '7');
  o.SetObjectText(longText.c_str());
  EXPECT_EQ(std::string(o.text).size(), 255u);
  EXPECT_EQ(o.SetObjectText(nullptr), o.textBuffer);
  o.SetObjectRotation2D(0.5f);
  EXPECT_VEC3_NEAR(o.GetObjectAngles(), 0, 0, 0.5f, 0);
}

TEST(DisplayObjectPlacement, CachedWorldGivesTheMotionOfARidingPoint) {
  DisplayObject carrier;
  carrier.SetObjectPosition(5, 0, 0);
  carrier.CacheObjectWorld();
  carrier.SetObjectPosition(7, 0, 0);
  carrier.SetObjectAngles(0, kHalfPi, 0);
  Vec3 motion = carrier.GetObjectPointMotion({7, 0, 1});
  // (7, 0, 1) is local (1, 0, 0) now: one cache ago that was (6, 0, 0).
  EXPECT_VEC3_NEAR(motion, 1, 0, 1, 1e-5);
  EXPECT_VEC3_NEAR(carrier.TransformPointByCachedWorld({0, 0, 0}), 5, 0, 0, 0);
}

// ----------------------------------------------------------------------------
// Models on objects
// ----------------------------------------------------------------------------

TEST(DisplayObjectModel, BoundsFollowScaleAndPivotAndObjectsKeepTheirOwnPose) {
  render::GraphicsSystem gs;
  render::CMesh box, arm;
  ASSERT_EQ(Build(gs, box, Fixture("box.x"), 0), 1);
  ASSERT_EQ(Build(gs, arm, Fixture("arm.x"), render::kMeshHierarchy), 1);
  DisplayObject o;
  o.SetObjectModel(&box);
  EXPECT_EQ(o.shown, 1);
  o.SetObjectScale(2, 1, 1);
  o.SetObjectPivot(1, 0, 0);
  Vec3 lo, hi;
  o.GetObjectBox(&hi, &lo, nullptr);
  EXPECT_VEC3_NEAR(lo, -3, -1, -1, 1e-5);
  EXPECT_VEC3_NEAR(hi, 1, 1, 1, 1e-5);
  EXPECT_NEAR(o.GetObjectRadius(), std::sqrt(11.0f), 1e-5);
  o.SetObjectPosition(10, 0, 0);
  o.GetObjectWorldBounds(&hi, &lo, nullptr);
  // The world matrix moves by the pivot before the scale.
  EXPECT_VEC3_NEAR(lo, 6, -1, -1, 1e-5);
  EXPECT_VEC3_NEAR(hi, 10, 1, 1, 1e-5);
  o.SetObjectModel(nullptr);
  EXPECT_EQ(o.shown, 0);

  // Two objects of one arm: each its own moment.
  DisplayObject a, b;
  a.SetObjectModel(&arm);
  b.SetObjectModel(&arm);
  EXPECT_EQ(a.SetObjectAnimation(nullptr, "Lift", 1.0f, nullptr, 0, 1), 1);
  EXPECT_EQ(b.SetObjectAnimation(nullptr, "Lift", 0.0f, nullptr, 0, 1), 1);
  DisplayObject none;
  EXPECT_EQ(none.SetObjectAnimation(nullptr, "Lift", 0.0f, nullptr, 0, 1), 0);
  EXPECT_STREQ(a.containers[0].frameName, "Root");
  // Each keeps its own skinned pose after the other was posed: the tip of
  // the arm is one unit higher on a.
  std::vector<Vec3> pa = Posed(arm, 0, a.containers), pb = Posed(arm, 0, b.containers);
  ASSERT_EQ(pa.size(), pb.size());
  for (size_t i = 0; i < pa.size(); i++) EXPECT_NEAR(pa[i].y - pb[i].y, 1.0f, 1e-5);
}

// ----------------------------------------------------------------------------
// Surfaces
// ----------------------------------------------------------------------------

class SurfaceTest : public RenderFixture {
 protected:
  render::TextureHolder tex;
  void SetUp() override {
    Start(1);
    ASSERT_EQ(tex.CreateFilledTexture(gs, 64, 16, 0xFFFFFFFF, 0), 0u);
  }
  void TearDown() override { tex.ReleaseTexture(gs); }
};

TEST_F(SurfaceTest, ShapesBuildTheirVerticesAndRadius) {
  struct Case {
    uint32_t shape;
    int count, vertices;
    uint32_t shapeAfter;
  } cases[] = {
      {render::kSurfaceQuad2D, 0, 4, 0},         {render::kSurfaceCentredSprite, 0, 4, 1},
      {render::kSurfaceCentredXZ, 0, 4, 2},      {render::kSurfaceCentredYZ, 0, 4, 3},
      {render::kSurfaceDisc, 10, 10, 7},         {render::kSurfaceOctahedron, 0, 12, 11},
      {render::kSurfaceDoubleCone, 0, 260, 12},  {render::kSurfaceCone, 0, 130, 13},
      {render::kSurfaceCross, 0, 8, 16},         {render::kSurfaceLensLeft, 0, 544, 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shape);
    DisplayObject o;
    EXPECT_EQ(o.SetObjectSurface(gs, &tex, c.shape, c.count), 0);
    EXPECT_EQ(o.surfaceShape, c.shapeAfter);
    EXPECT_EQ(o.vertexCount, c.vertices);
    EXPECT_EQ(o.vertices != o.inlineVertices, c.vertices > 4);
    EXPECT_EQ(o.flags, render::kObjectSprite3D);
    EXPECT_EQ(o.shown, 1);
    render::SurfaceVertex v;
    EXPECT_TRUE(o.GetObjectVertex(c.vertices - 1, &v));
    EXPECT_FALSE(o.GetObjectVertex(c.vertices, &v));
    EXPECT_FALSE(o.SetObjectVertex(-1, v));
    EXPECT_EQ(v.r, 1.0f);  // effect path: the colour multiplier
    o.ReleaseObject();
    EXPECT_EQ(o.vertices, o.inlineVertices);
  }
  DisplayObject quad;
  quad.SetObjectSurface(gs, &tex, render::kSurfaceQuad2D, 0);
  render::SurfaceVertex v2;
  quad.GetObjectVertex(2, &v2);
  EXPECT_EQ(v2.x, 64.0f);
  EXPECT_EQ(v2.y, 16.0f);
  quad.SetObjectScale(2, 2, 2);
  EXPECT_NEAR(quad.radius, std::sqrt(12.0f) * (std::sqrt(64.0f * 64 + 16 * 16) + 1), 1e-3);
  // Half the texture: the rectangle in texels comes back.
  quad.BuildSurfaceGeometry(gs, 16, 0, 48, 8);
  float x0, y0, x1, y1;
  ASSERT_EQ(quad.GetObjectSurfacePixelRect(&x0, &y0, &x1, &y1), 1);
  EXPECT_EQ(x0, 16.0f);
  EXPECT_EQ(x1, 48.0f);
  EXPECT_EQ(y1, 8.0f);
  // Alignment: centred, then left and bottom edges.
  Vec3 p = quad.AlignObjectSurface(0);
  EXPECT_VEC3_NEAR(p, 16, 4, 0, 1e-5);
  p = quad.AlignObjectSurface(render::kAlignLeft | render::kAlignBottom);
  EXPECT_VEC3_NEAR(p, 0, 8, 0, 1e-5);
  EXPECT_VEC3_NEAR(quad.GetObjectPivot(), 0, 8, 0, 1e-5);
  DisplayObject empty;
  EXPECT_VEC3_NEAR(empty.AlignObjectSurface(0), 0, 0, 0, 0);
  EXPECT_EQ(empty.SetObjectSurface(gs, nullptr, 3, 0), 0);
  EXPECT_EQ(empty.BuildSurfaceGeometry(gs, 0, 0, 1, 1), 0);
}

// ----------------------------------------------------------------------------
// Drawing
// ----------------------------------------------------------------------------

class DrawTest : public RenderFixture, public ::testing::WithParamInterface<int> {};

TEST_P(DrawTest, ARenderedBoxShowsItsMaterialColourInTheCentre) {
  Start(GetParam());
  UseTarget(32, 32);
  render::CMesh box;
  ASSERT_EQ(Build(gs, box, Fixture("box.x"), 0), 1);
  // The light falls straight onto the face the camera sees, nothing else.
  gs.SetLight({0, 0, 1}, {1, 1, 1}, {0, 0, 0});
  LookForward();
  DisplayObject o;
  o.SetObjectModel(&box);
  o.SetObjectPosition(0, 0, 5);
  EXPECT_EQ(o.DrawObject(gs), 1);
  std::vector<int> c = Pixel(16, 16);
  EXPECT_GE(c[0], 200) << c[0] << "," << c[1] << "," << c[2];
  EXPECT_LE(c[1], 40);
  EXPECT_LE(c[2], 40);
  // The corner stays clear.
  std::vector<int> corner = Pixel(0, 0);
  EXPECT_EQ(corner[0], 0);
  // A hidden object draws nothing and answers -1.
  o.SetObjectVisible(0);
  EXPECT_EQ(o.DrawObject(gs), -1);
}

TEST_P(DrawTest, ASkinnedArmIsDrawnWhereItsPoseSays) {
  Start(GetParam());
  UseTarget(32, 32);
  render::CMesh arm;
  ASSERT_EQ(Build(gs, arm, Fixture("arm.x"), render::kMeshHierarchy), 1);
  gs.SetLight({0, 0, 1}, {1, 1, 1}, {0, 0, 0});
  gs.ClearRenderFlags(render::kRenderCull);
  LookForward();
  DisplayObject o;
  o.SetObjectModel(&arm);
  o.SetObjectPosition(0, -2, 6);
  // Bend's end lays the upper half along -x: left of the centre at the
  // height of the elbow there is arm, straight above there is none.
  o.SetObjectAnimation(nullptr, "Bend", 1.0f, nullptr, 0, 1);
  EXPECT_EQ(o.DrawObject(gs), 1);
  // At depth 6 with a quarter-turn view, 32 pixels span 12 units: a unit
  // is 2.67 pixels. The bent upper half lies along -x around the centre's
  // height; where it stood unbent (1.3 units up) there is nothing.
  std::vector<int> left = Pixel(12, 16);
  std::vector<int> above = Pixel(16, 12);
  EXPECT_GT(left[1], 100);
  EXPECT_EQ(above[1], 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, DrawTest, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param ? "Effect" : "Fixed"; });

TEST_F(SurfaceTest, DigitTextsDrawGlyphsCellByCell) {
  UseTarget(64, 48);
  // A strip of 16 glyph cells of 4 x 16 texels: cell k is grey level k.
  render::TextureHolder glyphs;
  ASSERT_EQ(glyphs.CreateFilledTexture(gs, 64, 16, 0xFF000000, 0), 0u);
  platform::GfxLockedRect lock;
  ASSERT_EQ(gs.Gfx().LockRect(glyphs.texture, 0, &lock), 0u);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 64; x++) {
      uint32_t level = uint32_t(x / 4 * 16 + 15);
      static_cast<uint32_t*>(lock.bits)[y * lock.pitch / 4 + x] = 0xFF000000u | level << 16 | level << 8 | level;
    }
  gs.Gfx().UnlockRect(glyphs.texture, 0);
  DisplayObject o;
  o.SetObjectTexture(gs, &glyphs);
  o.BuildSurfaceGeometry(gs, 0, 0, 4, 16);  // the cell of glyph 0
  o.SetObjectVisible(1);
  // 2D units: 768 tall on 48 pixels, so a 4-texel cell would be a quarter
  // pixel; the scale makes it 16 pixels wide and tall.
  o.SetObjectScale(64, 16, 1);
  o.SetObjectPosition(-512, -384, 0);  // the top-left corner
  o.SetObjectText("1 2");
  gs.SetRenderTarget(&target, 0, 1);
  EXPECT_EQ(o.DrawObject(gs), 1);
  // Cells are 4 x 64 = 256 units wide: 16 pixels. Glyph 1 in the first,
  // nothing in the second, glyph 2 in the third.
  EXPECT_NEAR(Pixel(8, 4)[0], 31, 2);
  EXPECT_EQ(Pixel(24, 4)[0], 0);
  EXPECT_NEAR(Pixel(40, 4)[0], 47, 2);
  // One, a letter, two: the letter takes no cell.
  gs.SetRenderTarget(&target, 0, 1);
  o.SetObjectText("1a2");
  o.DrawObject(gs);
  EXPECT_NEAR(Pixel(8, 4)[0], 31, 2);
  EXPECT_NEAR(Pixel(24, 4)[0], 47, 2);
  // The text, pivot and rectangle are as they were.
  EXPECT_STREQ(o.text, "1a2");
  float x0, x1;
  o.GetObjectSurfacePixelRect(&x0, nullptr, &x1, nullptr);
  EXPECT_EQ(x0, 0.0f);
  EXPECT_EQ(x1, 4.0f);
  glyphs.ReleaseTexture(gs);
}

TEST_F(SurfaceTest, ADiscSurfaceDrawsThroughDrawObjectAtEvenWhenAnAncestorHidesIt) {
  UseTarget(32, 32);
  LookForward();
  DisplayObject parent, disc;
  disc.SetObjectParent(&parent);
  disc.SetObjectSurface(gs, &tex, render::kSurfaceDisc, 10);
  disc.SetObjectPosition(0, 0, 5);
  EXPECT_EQ(disc.DrawObject(gs), -1);  // the parent is hidden
  EXPECT_EQ(disc.DrawObjectAt(gs, 0, 0, 0), 0);
  // The disc of radius 1 at depth 5 covers the centre, not the corner.
  EXPECT_GT(Pixel(16, 16)[0], 200);
  EXPECT_EQ(Pixel(1, 1)[0], 0);
}

}  // namespace
