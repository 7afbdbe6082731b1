// units_paths_test.cpp -- path points: curves and distances along them,
// links, event-script wrappers and their error frames, temporary script
// files and the path-point pool.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "script/script_public.h"
#include "test_support.h"
#include "units/units_services.h"
#include "world/world_public.h"
#include "world/world_services.h"

namespace {

using units::PathPoint;
using units::PathPointRecord;
using units::Vec3;

// A chain of loose points (no pool) at the given positions; `onCurve` marks
// the on-curve points; `closed` links the last back to the first.
struct Chain {
  std::vector<std::unique_ptr<PathPoint>> points;

  Chain(const std::vector<Vec3>& positions, const std::vector<int>& onCurve, bool closed = false) {
    for (size_t i = 0; i < positions.size(); i++) {
      points.push_back(std::make_unique<PathPoint>());
      PathPoint& p = *points.back();
      p.SetObjectPosition(positions[i].x, positions[i].y, positions[i].z);
      p.onCurve = onCurve[i];
      if (i > 0) {
        points[i - 1]->next = &p;
        p.prev = points[i - 1].get();
      }
    }
    if (closed && points.size() > 1) {
      points.back()->next = points.front().get();
      points.front()->prev = points.back().get();
    }
  }
  ~Chain() {
    for (auto& p : points) p->next = p->prev = nullptr;
  }
  PathPoint& operator[](size_t i) { return *points[i]; }
};

void ExpectNear(const Vec3& a, const Vec3& b, float tolerance = 1e-3f) {
  EXPECT_NEAR(a.x, b.x, tolerance);
  EXPECT_NEAR(a.y, b.y, tolerance);
  EXPECT_NEAR(a.z, b.z, tolerance);
}

// ----------------------------------------------------------------------------
// Curves
// ----------------------------------------------------------------------------

TEST(PathCurves, ThreePointEditorPathIsTwoStraightLinks) {
  Chain c({{0, 0, 0}, {100, 0, 0}, {200, 0, 0}}, {0, 1, 0});
  struct Case {
    float t;
    float x;
  } cases[] = {{0, 0}, {0.5f, 50}, {1, 100}, {1.5f, 150}, {2, 200}, {3, 200}, {40, 200}, {-1, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.t);
    ExpectNear(units::GetPathPosition(c[0], k.t), {k.x, 0, 0});
  }
  // Evaluated from the last point: negative t runs back over the links.
  ExpectNear(units::GetPathPosition(c[2], -0.5f), {150, 0, 0});
  ExpectNear(units::GetPathPosition(c[2], -1.5f), {50, 0, 0});
}

TEST(PathCurves, OnCurveSpanIsAQuadraticBezier) {
  // X0 Y1 X1 Y2 X2: from X0, t = 2 is the middle of the span Y1 X1 Y2.
  Vec3 x0{0, 0, 0}, y1{10, 0, 0}, x1{20, 10, 0}, y2{30, 0, 0}, x2{40, 0, 0};
  Chain c({x0, y1, x1, y2, x2}, {0, 1, 0, 1, 0});
  Vec3 expected{0.25f * y1.x + 0.5f * x1.x + 0.25f * y2.x, 0.25f * y1.y + 0.5f * x1.y + 0.25f * y2.y, 0};
  ExpectNear(units::GetPathPosition(c[0], 2), expected);
  // The same point reached from the control point inside the span.
  ExpectNear(units::GetPathPosition(c[2], 0), expected);
  ExpectNear(units::GetPathPosition(c[1], 1), expected);
  // The span ends at the next on-curve point and the last link is straight.
  ExpectNear(units::GetPathPosition(c[0], 3), y2);
  ExpectNear(units::GetPathPosition(c[0], 3.5f), {35, 0, 0});
  ExpectNear(units::GetPathPosition(c[0], 9), x2);
}

TEST(PathCurves, LonePointStaysPutAndFacesItsOwnForward) {
  PathPoint p;
  p.SetObjectPosition(3, 4, 5);
  p.SetObjectAngles(0, 1.5707963f, 0);
  for (float t : {-5.0f, 0.0f, 0.5f, 7.0f}) ExpectNear(units::GetPathPosition(p, t), {3, 4, 5});
  ExpectNear(units::GetPathDirection(p), p.GetObjectWorldFront());
  EXPECT_NEAR(platform::Vec3Length(units::GetPathDirection(p)), 1, 1e-5f);
}

TEST(PathCurves, DirectionAtTheEndsOfAPath) {
  Chain c({{0, 0, 0}, {0, 0, 10}, {0, 0, 20}}, {0, 1, 0});
  ExpectNear(units::GetPathDirection(c[0]), {0, 0, 1});
  ExpectNear(units::GetPathDirection(c[2]), {0, 0, 1});  // from the point before
}

// Two on-curve points next to each other sent the evaluation back and forth
// between them for ever; it now ends, and the on-curve point after another
// one starts its own span.
TEST(PathCurves, AdjacentOnCurvePointsEndTheWalk) {
  Chain c({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0}}, {0, 1, 1, 0});
  ExpectNear(units::GetPathPosition(c[1], 1.5f), {25, 0, 0});
  ExpectNear(units::GetPathPosition(c[2], 0.5f), {25, 0, 0});
  ExpectNear(units::GetPathPosition(c[0], 2.5f), {25, 0, 0});
  ExpectNear(units::GetPathPosition(c[2], 1), {30, 0, 0});
  // A chain of on-curve points only, closed: every t still ends.
  Chain ring({{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}}, {1, 1, 1, 1}, true);
  for (float t : {-3.5f, 0.5f, 1.5f, 2.5f, 1e9f, -1e9f, INFINITY, NAN}) {
    SCOPED_TRACE(t);
    units::GetPathPosition(ring[0], t);
    units::FindPathParameterByDistance(ring[0], 0, 5);
  }
}

TEST(PathCurves, ClosedPathWrapsAround) {
  // A square of four links, control and on-curve points alternating.
  Chain c({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {10, 0, -10}}, {0, 1, 0, 1}, true);
  for (float t : {0.0f, 0.7f, 1.3f, 2.5f, 3.9f}) {
    SCOPED_TRACE(t);
    ExpectNear(units::GetPathPosition(c[0], t + 4), units::GetPathPosition(c[0], t));
  }
}

TEST(PathCurves, DistanceAlongAStraightPath) {
  Chain c({{0, 0, 0}, {100, 0, 0}, {200, 0, 0}}, {0, 1, 0});
  float t = units::FindPathParameterByDistance(c[0], 0, 50);
  EXPECT_NEAR(t, 0.5f, 0.001f);
  t = units::FindPathParameterByDistance(c[0], 0.5f, 100);
  EXPECT_NEAR(units::GetPathPosition(c[0], t).x, 150, 0.1f);
  // Longer than the rest of the path: stops at the end.
  t = units::FindPathParameterByDistance(c[0], 0, 1000);
  ExpectNear(units::GetPathPosition(c[0], t), {200, 0, 0}, 0.01f);
  EXPECT_NEAR(t, 2, 0.02f);
  // A lone point does not move.
  PathPoint p;
  EXPECT_EQ(units::FindPathParameterByDistance(p, 0, 10), 0);
}

// The world is replayed and compared bit for bit, so the curve walk must
// give the same float bits whatever is done to make it faster. The samples
// cover a closed irregular loop (both directions, several turns), an open
// chain with a point that hangs from a moved, turned parent, and the
// distance walk; all their bits are folded into one hash.
TEST(PathCurves, PositionsAndDistancesKeepTheirExactBits) {
  Chain loop({{3.25f, 1.5f, -7.75f}, {41.3f, 2.1f, 5.9f}, {77.7f, -3.3f, 40.1f}, {60.2f, 0.7f, 93.4f},
              {12.9f, 4.4f, 88.8f}, {-30.6f, 1.1f, 61.3f}, {-45.5f, -2.2f, 14.7f}, {-20.1f, 0.3f, -19.9f}},
             {0, 1, 0, 1, 1, 0, 1, 0}, true);
  Chain open({{0.5f, 0, 0.25f}, {33.3f, 1, 12.1f}, {70.7f, 2, -5.5f}, {101.1f, 0, 20.2f}, {130.9f, 3, 44.4f}},
             {0, 1, 0, 1, 0});
  render::DisplayObject parent;
  parent.SetObjectPosition(5.5f, -1.25f, 9.75f);
  parent.SetObjectAngles(0.1f, 0.7f, -0.2f);
  open[2].SetObjectParent(&parent);

  uint64_t hash = 1469598103934665603ull;
  auto fold = [&hash](float f) {
    hash ^= std::bit_cast<uint32_t>(f);
    hash *= 1099511628211ull;
  };
  auto foldPoint = [&fold](const Vec3& p) {
    fold(p.x);
    fold(p.y);
    fold(p.z);
  };
  for (PathPoint* start : {&loop[0], &loop[3], &loop[4], &open[0], &open[1], &open[3]}) {
    for (float t = -5.3f; t < 9.0f; t += 0.173f) foldPoint(units::GetPathPosition(*start, t));
    for (float t : {0.0f, 0.37f, 1.0f, 1.91f}) {
      for (float distance : {0.3f, 1.7f, 12.5f, 140.0f}) fold(units::FindPathParameterByDistance(*start, t, distance));
    }
    foldPoint(units::GetPathDirection(*start));
  }
  // A unit following the loop, at a speed that changes on the way.
  world::GameWorld world;
  units::Unit unit;
  unit.path = &loop[1];
  unit.velocity = {0, 0, 0.75f};
  unit.speedTarget = 3.3f;
  unit.speedRate = 0.01f;
  for (int step = 0; step < 400; step++) {
    units::FollowPath(world, unit);
    units::UnitAge(unit)++;
    foldPoint(unit.GetObjectPosition());
    foldPoint(unit.GetObjectAngles());
    fold(units::GetUnitPathParameter(unit));
  }
  unit.path = nullptr;
  // A few values in the open, so a change shows where it went wrong.
  EXPECT_EQ(std::bit_cast<uint32_t>(units::GetPathPosition(loop[0], 0.731f).x), 0x41f6c0c6u);
  EXPECT_EQ(std::bit_cast<uint32_t>(units::GetPathPosition(open[1], 1.37f).z), 0x4203691cu);
  EXPECT_EQ(std::bit_cast<uint32_t>(units::FindPathParameterByDistance(loop[1], 0.25f, 17.5f)), 0x3f21d3d2u);
  EXPECT_EQ(hash, 15711729898661602658ull);
  open[2].SetObjectParent(nullptr);
}

// ----------------------------------------------------------------------------
// Links
// ----------------------------------------------------------------------------

TEST(PathLinks, CountsAndFlags) {
  Chain c({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, {0, 1, 0, 1}, true);
  PathPoint stranger;
  EXPECT_EQ(units::CountLinksForward(c[0], &c[0]), 0);
  EXPECT_EQ(units::CountLinksForward(c[0], &c[3]), 3);
  EXPECT_EQ(units::CountLinksBackward(c[0], &c[3]), 1);
  EXPECT_EQ(units::CountLinksForward(c[0], &stranger), -1);  // once round, then gives up
  EXPECT_EQ(units::CountLinksBackward(c[0], nullptr), -1);

  // On-curve setter: 1 only when it differs from every neighbour.
  EXPECT_EQ(units::SetPathPointOnCurve(c[0], 0), 1);
  EXPECT_EQ(units::SetPathPointOnCurve(c[0], 1), 0);  // the next point is on-curve
  EXPECT_EQ(c[0].onCurve, 1);                         // stored all the same

  // Centring: on-curve with both links moves to the midpoint.
  c[1].SetObjectPosition(5, 5, 5);
  EXPECT_EQ(units::CenterPathPointBetweenLinks(c[1]), 1);
  ExpectNear(c[1].GetObjectPosition(), {1, 0, 0});
  EXPECT_EQ(units::CenterPathPointBetweenLinks(c[2]), 0);  // a control point

  // Detaching joins the neighbours.
  units::DetachPathPoint(c[1]);
  EXPECT_EQ(c[0].next, &c[2]);
  EXPECT_EQ(c[2].prev, &c[0]);
  EXPECT_EQ(c[1].next, nullptr);
  EXPECT_EQ(c[1].prev, nullptr);
}

// ----------------------------------------------------------------------------
// Event-script wrappers
// ----------------------------------------------------------------------------

TEST(PathScripts, WrapperTextAndFunctionName) {
  PathPoint p;
  p.identity = 0x3A9F10;
  units::SetPathPointLabel(p, "Gate1");
  char name[64];
  EXPECT_EQ(units::FormatEventFunctionName(p, name), 5 + 24);
  EXPECT_STREQ(name, "__Gate1__3a9f10");
  units::SetPathPointScript(p, "print_string(\"hi\");");
  EXPECT_EQ(p.wrapperScript,
            "#include \"/zadazorad/script/system.inc\"\r\n"
            "#include \"/zadazorad/script/mission.inc\"\r\n"
            "extern function __Gate1__3a9f10 (int __unit_handle__) {print_string(\"hi\");}\r\n");
  // An empty script empties the event script and keeps the wrapper.
  std::string wrapper = p.wrapperScript;
  units::SetPathPointScript(p, "");
  EXPECT_EQ(p.eventScript, "");
  EXPECT_EQ(p.wrapperScript, wrapper);
  units::SetPathPointScript(p, nullptr);
  EXPECT_EQ(p.wrapperScript, wrapper);
}

// A compile error inside a point's event script is reported under the
// point's label and the line within the script, as the host's frame text
// gives it.
TEST(PathScripts, ErrorInAnEventScriptNamesThePointAndItsLine) {
  test::ScopedWorkFolder work;
  platform::MakeDirectories("zadazorad/script");
  test::WriteFile("zadazorad/script/system.inc", "");
  test::WriteFile("zadazorad/script/mission.inc", "");
  units::PathPointPool pool;
  PathPoint* good = units::NewPathPoint(pool, 1, 1, 1, 1);
  PathPoint* bad = units::NewPathPoint(pool, 2, 1, 1, 1);
  units::SetPathPointLabel(*good, "Start");
  units::SetPathPointScript(*good, "int a;\r\na = 1;\r\n");
  units::SetPathPointLabel(*bad, "Gate2");
  units::SetPathPointScript(*bad, "int b;\r\nb = = 2;\r\n");

  script::ScriptEngine se;
  std::string errorLabel;
  se.pathPoints.find = units::FindPathPointLabelForScript;
  se.pathPoints.user = &pool;
  se.pathPoints.errorLabel = &errorLabel;
  se.ResetScriptEngine(nullptr, nullptr);
  EXPECT_EQ(se.LoadScriptMemory(good->wrapperScript.c_str(), "__path__"), 1) << se.GetErrorListText();
  EXPECT_EQ(se.LoadScriptMemory(bad->wrapperScript.c_str(), "__path__"), 0);
  std::string errors = se.GetErrorListText();
  EXPECT_EQ(errors.rfind(test::Sjis("Gate2(2行目)-"), 0), 0u) << errors;
  EXPECT_EQ(errorLabel, "Gate2");
  // The compiled function carries the point's name.
  EXPECT_NE(se.FindGlobal(units::EventFunctionName(*good).c_str()), nullptr);
}

// ----------------------------------------------------------------------------
// Temporary script files
// ----------------------------------------------------------------------------

TEST(PathScripts, TemporaryFileNameIsBoundedAndStaysInItsFolder) {
  struct Case {
    const char* label;
    const char* name;
  } cases[] = {
      {"Gate1", "tmp\\__tmp__Gate1.spt"},
      {"../../etc/passwd", "tmp\\__tmp__.._.._etc_passwd.spt"},
      {"a\\b:c*d?e\"f<g>h|i\tj", "tmp\\__tmp__a_b_c_d_e_f_g_h_i_j.spt"},
      {"", "tmp\\__tmp__.spt"},
  };
  for (const Case& k : cases) EXPECT_EQ(units::BuildEventScriptFileName("tmp\\", k.label), k.name);

  // A Shift-JIS character whose second byte is a backslash stays whole.
  std::string so = test::Sjis("ソ");
  ASSERT_EQ(so[1], '\\');
  EXPECT_EQ(units::BuildEventScriptFileName("tmp\\", so.c_str()), "tmp\\__tmp__" + so + ".spt");

  // A long label is cut so the whole name fits a 260-byte buffer, never in
  // the middle of a two-byte character.
  std::string longLabel(1000, 'L');
  std::string name = units::BuildEventScriptFileName("tmp\\", longLabel.c_str());
  EXPECT_EQ(name.size(), 259u);
  EXPECT_EQ(name.substr(name.size() - 4), ".spt");
  std::string kana;
  for (int i = 0; i < 300; i++) kana += so;
  name = units::BuildEventScriptFileName("tmp\\", ("x" + kana).c_str());
  EXPECT_LE(name.size(), 259u);
  EXPECT_EQ((name.size() - std::string("tmp\\__tmp__x.spt").size()) % 2, 0u);
  // A prefix that leaves no room gives no name.
  EXPECT_EQ(units::BuildEventScriptFileName(std::string(300, 'p').c_str(), "a"), "");
}

TEST(PathScripts, TemporaryFileRoundTrip) {
  test::ScopedWorkFolder work;
  platform::MakeDirectories("tmp");
  PathPoint p;
  // No label: no file and no name.
  EXPECT_EQ(units::FindEventScriptFile(p, "tmp\\", 0, nullptr), nullptr);
  EXPECT_EQ(p.fileName, "");

  units::SetPathPointLabel(p, "Gate1");
  units::SetPathPointScript(p, "a = 1;\r\n");
  EXPECT_EQ(units::FindEventScriptFile(p, "tmp\\", 0, nullptr), nullptr);  // not written yet
  EXPECT_EQ(p.fileName, "tmp\\__tmp__Gate1.spt");                        // but named
  ASSERT_NE(units::WriteEventScriptFile(p, "tmp\\"), nullptr);
  EXPECT_EQ(test::ReadFile("tmp/__tmp__Gate1.spt"), "a = 1;\r\n");
  EXPECT_EQ(units::IsEventScriptFileNewer(p), 0);

  // An outside edit is reported once and reloads into the script and the
  // wrapper.
  platform::FileTime later = p.fileTime + 10000000;
  test::WriteFile("tmp/__tmp__Gate1.spt", "b = 2;\r\n");
  p.fileTime = 0;
  EXPECT_EQ(units::IsEventScriptFileNewer(p), 1);
  EXPECT_EQ(units::IsEventScriptFileNewer(p), 0);
  EXPECT_EQ(units::ReloadEventScriptFile(p), 0);
  EXPECT_EQ(p.eventScript, "b = 2;\r\n");
  EXPECT_NE(p.wrapperScript.find("{b = 2;\r\n}"), std::string::npos);

  // Finding an existing file notes the given time, or rewrites it.
  EXPECT_NE(units::FindEventScriptFile(p, "tmp\\", 0, &later), nullptr);
  EXPECT_EQ(p.fileTime, later);
  units::SetPathPointScript(p, "c = 3;");
  EXPECT_NE(units::FindEventScriptFile(p, "tmp\\", 1, nullptr), nullptr);
  EXPECT_EQ(test::ReadFile("tmp/__tmp__Gate1.spt"), "c = 3;");

  EXPECT_EQ(units::DeleteEventScriptFile(p), 1);
  EXPECT_FALSE(platform::PathExists("tmp/__tmp__Gate1.spt"));
  EXPECT_EQ(units::DeleteEventScriptFile(p), 0);
}

// ----------------------------------------------------------------------------
// The pool
// ----------------------------------------------------------------------------

TEST(PathPool, HandlesSlotsAndGrowth) {
  units::PathPointPool pool;
  EXPECT_EQ(units::CountPathPoints(pool), 0);
  PathPoint* a = units::NewPathPoint(pool, 7, 0.5f, 0.25f, 1);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(units::CountPathPoints(pool), 260);  // 256 asked, 16 bytes more
  EXPECT_EQ(a->id, 7);
  float colour[4];
  a->GetObjectColor(colour);
  EXPECT_EQ(colour[0], 0.5f);
  EXPECT_EQ(colour[1], 0.25f);
  EXPECT_EQ(units::GetPathPointHandle(a), units::kPathPointHandleBase);
  PathPoint* b = units::NewPathPoint(pool, 8, 1, 1, 1);
  EXPECT_EQ(units::GetPathPointHandle(b), units::kPathPointHandleBase + 1);
  EXPECT_EQ(units::FindPathPointByHandle(pool, units::kPathPointHandleBase + 1), b);
  for (int32_t bad : {-1, 0, 1, units::kPathPointHandleBase - 1, units::kPathPointHandleBase + 2,
                      units::kPathPointHandleBase + 260, INT32_MAX})
    EXPECT_EQ(units::FindPathPointByHandle(pool, bad), nullptr) << bad;

  // Identities differ, so two points of one label name different functions.
  units::SetPathPointLabel(*a, "Same");
  units::SetPathPointLabel(*b, "Same");
  EXPECT_NE(units::EventFunctionName(*a), units::EventFunctionName(*b));
  EXPECT_EQ(units::FindPathPointByLabel(pool, "Same"), a);
  EXPECT_EQ(units::FindPathPointByLabel(pool, ""), nullptr);
  EXPECT_EQ(units::FindPathPointById(pool, 8), b);
  b->SetObjectPosition(1, 2, 3);
  EXPECT_EQ(units::FindPathPointAt(pool, 1, 2, 3.005f), b);
  EXPECT_EQ(units::FindPathPointAt(pool, 1, 2, 3.02f), nullptr);

  // A detached point's slot is taken again first.
  units::DetachPathPoint(*a);
  EXPECT_EQ(units::GetPathPointAt(pool, 0), nullptr);
  EXPECT_EQ(units::NewPathPoint(pool, 9, 1, 1, 1), a);
  EXPECT_EQ(a->label, "");

  // Past the first 260 the table grows by 260 more.
  for (int i = 0; i < 258; i++) ASSERT_NE(units::NewPathPoint(pool, 100 + i, 1, 1, 1), nullptr);
  EXPECT_EQ(units::CountPathPoints(pool), 260);
  PathPoint* c = units::NewPathPoint(pool, 999, 1, 1, 1);
  EXPECT_EQ(units::CountPathPoints(pool), 520);
  EXPECT_EQ(units::GetPathPointHandle(c), units::kPathPointHandleBase + 260);

  units::DetachAllPathPoints(pool);
  for (int i = 0; i < units::CountPathPoints(pool); i++) EXPECT_EQ(units::GetPathPointAt(pool, i), nullptr);
}

// ----------------------------------------------------------------------------
// Live paths and path following
// ----------------------------------------------------------------------------

// A world whose unit database holds one path's records: control and
// on-curve points alternating along +x every 100 units.
class FollowFixture : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  units::UnitDatabase db;
  world::GameWorld world;
  units::PathPointPool pool;
  int32_t nextId = 1;

  void SetUp() override {
    world.unitDatabase = &db;
    platform::MakeDirectories("zadazorad/script");
    test::WriteFile("zadazorad/script/system.inc", "");
    test::WriteFile("zadazorad/script/mission.inc", "");
  }
  void TearDown() override {
    units::FreePathPointRecords(world::GetUnitDatabase(world));
    units::DetachAllPathPoints(pool);
  }
  // Records at x = 0, 100, ..., (count - 1) x 100, the odd ones on-curve.
  void AddLine(int count, uint32_t lastOptions = 0) {
    units::UnitDatabase& db = world::GetUnitDatabase(world);
    PathPointRecord* previous = nullptr;
    for (int i = 0; i < count; i++) {
      uint32_t options = (i % 2 ? units::kPathOnCurve : 0u) | (i == count - 1 ? lastOptions : 0u);
      int k = units::SetPathPointRecord(db, -1, {i * 100.0f, 0, 0}, "", ("P" + std::to_string(i)).c_str(), "",
                                        options, nullptr, 0, "", "");
      if (previous) previous->next = db.pathPoints[size_t(k)];
      previous = db.pathPoints[size_t(k)];
    }
  }
  PathPoint* Point(int i) { return units::FindPathPointByLabel(pool, ("P" + std::to_string(i)).c_str()); }
};

TEST_F(FollowFixture, RecordsBecomeLinkedLivePoints) {
  AddLine(5, units::kPathLoop);
  units::UnitDatabase& db = world::GetUnitDatabase(world);
  db.pathPoints[1]->options |= units::kPathActive;
  db.pathPoints[1]->command = 2;
  db.pathPoints[1]->operand2 = "10";
  db.pathPoints[1]->script = "int started;\r\n";
  EXPECT_EQ(units::CreatePathsFromRecords(world, pool, &nextId, world.scriptEngine), 5);
  EXPECT_EQ(nextId, 6);
  ASSERT_NE(Point(0), nullptr);
  EXPECT_EQ(Point(0)->id, 1);
  EXPECT_EQ(Point(0)->next, Point(1));
  EXPECT_EQ(Point(1)->prev, Point(0));
  EXPECT_EQ(Point(4)->next, Point(0));  // LOOP closes the chain
  EXPECT_EQ(Point(0)->prev, Point(4));
  EXPECT_EQ(Point(1)->onCurve, 1);
  EXPECT_EQ(Point(2)->onCurve, 0);
  EXPECT_EQ(Point(1)->active, 1);
  EXPECT_EQ(Point(1)->triggerCommand, 2u);
  EXPECT_STREQ(units::GetPathPointOperand(*Point(1), 1), "10");
  EXPECT_EQ(db.pathPoints[1]->livePoint, Point(1));
  EXPECT_TRUE(db.pathPoints[1]->options & units::kPathLive);
  // The tint is random but within its range.
  float colour[4];
  Point(3)->GetObjectColor(colour);
  for (int i = 0; i < 3; i++) {
    EXPECT_GE(colour[i], 64 / 255.0f - 1e-6f);
    EXPECT_LE(colour[i], 1.0f);
  }
  // The wrapper compiled: its function exists, named for the point.
  EXPECT_EQ(world.scriptEngine.errors.count, 0) << world.scriptEngine.GetErrorListText();
  EXPECT_NE(world.scriptEngine.FindGlobal(units::EventFunctionName(*Point(1)).c_str()), nullptr);
}

TEST_F(FollowFixture, AnErrorInAPointsScriptNamesThePoint) {
  AddLine(3);
  world::GetUnitDatabase(world).pathPoints[2]->script = "\r\nint a;\r\na = = 1;";
  units::CreatePathsFromRecords(world, pool, &nextId, world.scriptEngine);
  std::string errors = world.scriptEngine.GetErrorListText();
  EXPECT_EQ(errors.rfind(test::Sjis("P2(3行目)-"), 0), 0u) << errors;
  EXPECT_EQ(world.errorLabel, "P2");
}

// A unit bound to the start of a straight path moves its speed every step:
// after N steps it stands speed x N along the path, facing along it, and it
// is bound to the point it last passed.
TEST_F(FollowFixture, UnitMovesItsSpeedEveryStep) {
  AddLine(7);
  units::CreatePathsFromRecords(world, pool, &nextId, world.scriptEngine);
  units::Unit unit;
  unit.path = Point(0);
  unit.state = units::kUnitStateFollowPath;
  unit.velocity = {0, 0, 2.5f};
  for (int step = 0; step < 100; step++) {
    units::FollowPath(world, unit);
    units::UnitAge(unit)++;
  }
  Vec3 p = unit.GetObjectPosition();
  EXPECT_NEAR(p.x, 250, 0.1f);
  EXPECT_NEAR(p.y, 0, 1e-4f);
  EXPECT_NEAR(p.z, 0, 1e-4f);
  EXPECT_EQ(unit.path, Point(2));
  EXPECT_NEAR(units::GetUnitPathParameter(unit), 0.5f, 0.002f);
  ExpectNear(unit.velocity, {2.5f, 0, 0});
  ExpectNear(unit.GetObjectFront(), {1, 0, 0});

  // Past the end of the open path the unit stays at its last point, keeps
  // its bound point and its velocity's direction.
  for (int step = 0; step < 400; step++) units::FollowPath(world, unit);
  ExpectNear(unit.GetObjectPosition(), {600, 0, 0}, 0.01f);
  EXPECT_EQ(unit.path, Point(6));
  ExpectNear(platform::Vec3Normalize(unit.velocity), {1, 0, 0});
}

// Passing several points in one step runs the REACH list once for each, in
// path order: each point's event script starts with the unit on it.
TEST_F(FollowFixture, PassingPointsFiresReachInPathOrder) {
  AddLine(7);
  units::UnitDatabase& db = world::GetUnitDatabase(world);
  for (int i = 1; i <= 4; i++) {
    db.pathPoints[size_t(i)]->command = 4;  // REACH
    db.pathPoints[size_t(i)]->options |= units::kPathActive;
    db.pathPoints[size_t(i)]->script = "reached = reached * 10 + " + std::to_string(i) + ";";
  }
  world.scriptEngine.ResetScriptEngine(nullptr, nullptr);
  ASSERT_EQ(world.scriptEngine.LoadScriptMemory("extern int reached = 0;\r\n", "globals"), 1);
  units::CreatePathsFromRecords(world, pool, &nextId, world.scriptEngine);
  ASSERT_EQ(world.scriptEngine.errors.count, 0) << world.scriptEngine.GetErrorListText();

  units::Unit unit;
  unit.path = Point(0);
  unit.velocity = {0, 0, 250};  // two and a half links in one step
  units::FollowPath(world, unit);
  EXPECT_EQ(unit.path, Point(2));
  world.scriptEngine.RunScriptFrame(0);
  units::FollowPath(world, unit);  // on to P5: P3 and P4
  EXPECT_EQ(unit.path, Point(4));
  world.scriptEngine.RunScriptFrame(0);
  const script::CScriptValue* reached = script::FollowRefer(world.scriptEngine.FindGlobal("reached"));
  ASSERT_NE(reached, nullptr);
  EXPECT_EQ(reached->data.i, 1234);
}

TEST_F(FollowFixture, SpeedChangesAndStoppedUnits) {
  AddLine(3);
  units::CreatePathsFromRecords(world, pool, &nextId, world.scriptEngine);
  units::Unit unit;
  unit.path = Point(0);
  SetUnitPathParameter(unit, 0.5f);
  // At rest: placed on its path in the first step of its state only.
  units::FollowPath(world, unit);
  ExpectNear(unit.GetObjectPosition(), {50, 0, 0}, 0.01f);
  units::UnitAge(unit) = 1;
  unit.SetObjectPosition(0, 0, 0);
  units::FollowPath(world, unit);
  ExpectNear(unit.GetObjectPosition(), {0, 0, 0});

  // Speeding up by 1 a step toward 3, then holding it.
  unit.speedTarget = 3;
  unit.speedRate = 1;
  float x = 50;
  for (float expected : {1.0f, 2.0f, 3.0f, 3.0f}) {
    units::FollowPath(world, unit);
    x += expected;
    EXPECT_NEAR(unit.GetObjectPosition().x, x, 0.01f);
  }
  EXPECT_EQ(unit.speedRate, 0);
}

TEST(PathFollowing, GroundPlaneCountsOnlyTheProbesThatHit) {
  // Three probes of a box; the third misses (its gap stays 0).
  const float x[] = {0, 1, -1};
  const float z[] = {2, -1, -1};
  const float gap[] = {0.5f, 0.5f, 0};
  const bool hit[] = {true, true, false};
  float lift, slopeX, slopeZ;
  units::FitGroundPlane(x, z, gap, hit, 3, &lift, &slopeX, &slopeZ);
  EXPECT_FLOAT_EQ(lift, 0.5f);  // counting the miss would tilt and lower it
  EXPECT_FLOAT_EQ(slopeX, 0);
  EXPECT_FLOAT_EQ(slopeZ, 0);
  // A tilt along z: gap = 1 + 0.25 z.
  const float tilted[] = {1.5f, 0.75f, 0.75f};
  const bool all[] = {true, true, true};
  units::FitGroundPlane(x, z, tilted, all, 3, &lift, &slopeX, &slopeZ);
  EXPECT_FLOAT_EQ(slopeZ, 0.25f);
  EXPECT_FLOAT_EQ(lift, 1.0f);
  // One probe alone: no slope, its gap.
  const bool one[] = {false, true, false};
  units::FitGroundPlane(x, z, tilted, one, 3, &lift, &slopeX, &slopeZ);
  EXPECT_EQ(slopeX, 0);
  EXPECT_EQ(slopeZ, 0);
  EXPECT_FLOAT_EQ(lift, 0.75f);
}

TEST(PathFollowing, ScopesAndTurns) {
  const float q = 0.7853982f;  // 45 degrees
  struct Case {
    Vec3 direction;
    int inScope;
  } cases[] = {
      {{0, 0, 1}, 1}, {{1, 0, 1}, 1}, {{1, 0, 0}, 0}, {{0, 1, 1}, 1}, {{0, 2, 1}, 0}, {{0, 0, -1}, 0},
  };
  for (const Case& k : cases) EXPECT_EQ(units::IsDirectionInScope(k.direction, q, -q, q, -q), k.inScope);
  Vec3 out;
  units::ClampDirectionToScope(&out, {1, 0, 0}, q, -q, q, -q);
  ExpectNear(out, platform::Vec3Normalize({1, 0, 1}));

  // Without stability (no type) the turn rates are 0.
  units::Unit unit;
  unit.moment = {0.3f, 0.2f, 0.1f};
  units::TurnTowardPoint(unit, &out, {100, 0, 100}, 1, -1, 1, -1);
  ExpectNear(out, {0, 0, 0});
}

TEST(PathFollowing, ProbesWithNothingAheadHandBackTheVelocity) {
  world::GameWorld world;
  units::Unit unit;
  Vec3 out;
  EXPECT_EQ(units::ProbeObstacles(world, unit, &out, {1, 2, 3}, 0), 0);
  ExpectNear(out, {1, 2, 3});
  EXPECT_EQ(units::ProbeObstacles(world, unit, &out, {1, 2, 3}, 1), 0);
  ExpectNear(out, {1, 2, 3});
}

}  // namespace
