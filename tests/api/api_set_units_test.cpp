// api_set_units_test.cpp -- the unit setter calls run from game scripts:
// flags on a unit and its descendants (or the unit alone), targeting words
// and texts, team names and the statistics, one unit's state, transforms,
// parents (cycles refused), paths; bad handles, bad indexes and numbers
// where objects are expected for every call.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "api/api_args.h"
#include "api_fixture.h"
#include "units/units_public.h"

namespace {

using core::Vec3;

// A world with a plane and a missile type, and a family placed after the
// script's reset: root (1) <- child (2) <- grandchild (3), and a loner (4).
struct SetWorld : apitest::PlacingWorld {
  units::UnitType* plane = AddType("plane", 100, 0);
  units::UnitType* missile = AddType("missile", 10, units::kAttrWeapon);
  units::UnitType* tank = AddType("tank", 50, 0);
  units::Unit* root = nullptr;
  units::Unit* child = nullptr;
  units::Unit* grandchild = nullptr;
  units::Unit* loner = nullptr;

  // Starts `text`, places the family, runs the script.
  void RunWith(const std::string& text) {
    Start(text);
    PlaceFamily();
    Finish();
  }
  void PlaceFamily() {
    root = Place(plane, "root", nullptr, {10, 0, 0});
    child = Place(plane, "child", root, {0, 0, 5});
    grandchild = Place(tank, "grand", child);
    loner = Place(plane, "loner", nullptr, {-3, 0, 0});
    ASSERT_EQ(root->unitId, 1);
    ASSERT_EQ(loner->unitId, 4);
  }
  std::vector<units::Unit*> Family() const { return {root, child, grandchild, loner}; }

  world::PopulationRecord* Team(const char* name) { return world::FindNamedRecord(world, name); }
};

void ExpectVec(const Vec3& v, float x, float y, float z, const std::string& what) {
  EXPECT_NEAR(v.x, x, 1e-4f) << what;
  EXPECT_NEAR(v.y, y, 1e-4f) << what;
  EXPECT_NEAR(v.z, z, 1e-4f) << what;
}

// [SECTION] Flags

struct FlagCase {
  const char* call;
  uint32_t mask;
  bool inverse;  // the flag argument 0 sets the bit (set_active_unit)
  bool family;   // acts on the descendants too
};

TEST(SetUnitFlags, EachFlagReachesTheDescendantsUnlessUnitOnly) {
  const FlagCase cases[] = {
      {"set_target_flag", units::kUnitTarget, false, true},
      {"set_ignored", units::kUnitIgnored, false, true},
      {"set_barrier", units::kUnitBarrier, false, true},
      {"set_priority_target", units::kUnitPriorityTarget, false, true},
      {"set_priority_nontarget", units::kUnitPriorityNonTarget, false, true},
      {"set_active_unit", units::kUnitFrozen, true, true},
      {"set_key_unit", units::kUnitPlayerHitsOnly, false, false},
  };
  for (const FlagCase& c : cases) {
    // On for the root, then off again from the child down.
    std::string on = c.inverse ? "0" : "1", off = c.inverse ? "1" : "0";
    SetWorld f;
    f.RunWith(std::string("function main() {\r\n  ") + c.call + "(1, " + on + ");\r\n  " + c.call + "(7, " + on +
              ");\r\n}\r\n");
    ASSERT_EQ(f.RuntimeError(), "") << c.call;
    EXPECT_NE(f.root->flags & c.mask, 0u) << c.call;
    EXPECT_EQ((f.child->flags & c.mask) != 0, c.family) << c.call;
    EXPECT_EQ((f.grandchild->flags & c.mask) != 0, c.family) << c.call;
    EXPECT_EQ(f.loner->flags & c.mask, 0u) << c.call;

    SetWorld g;
    g.Start(std::string("function main() {\r\n  ") + c.call + "(1, " + on + ");\r\n  " + c.call + "(2, " + off +
            ");\r\n}\r\n");
    g.PlaceFamily();
    g.Finish();
    EXPECT_NE(g.root->flags & c.mask, 0u) << c.call;
    EXPECT_EQ(g.child->flags & c.mask, 0u) << c.call;
    EXPECT_EQ(g.grandchild->flags & c.mask, 0u) << c.call;
  }
}

// The TARGET counts follow the flag: a unit made a target after it was
// counted enters them, and leaves them again, never going below zero.
TEST(SetUnitFlags, TargetFlagMovesCountedUnitsInAndOutOfTheTargetCounts) {
  SetWorld f;
  f.Start("function main() {\r\n"
          "  set_target_flag(4, 1); set_target_flag(4, 1);\r\n"  // twice: counted once
          "  set_target_flag(1, 1);\r\n"
          "  set_target_flag(1, 0);\r\n"
          "}\r\n");
  f.PlaceFamily();
  world::CountUnitOut(f.world, f.child);  // not counted: stays out
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  world::PopulationRecord* red = f.Team("red");
  ASSERT_NE(red, nullptr);
  EXPECT_EQ(red->targetAlive[0], 1);  // the loner
  EXPECT_EQ(red->targetAppeared[0], 1);
  EXPECT_EQ(red->alive[0], 3);  // root, grandchild, loner; the child was counted out
  EXPECT_EQ(f.child->flags & units::kUnitCounted, 0u);
  // Destroying the loner leaves the counts at zero, not below.
  world::CountUnitDestroyed(f.world, f.loner);
  EXPECT_EQ(red->targetAlive[0], 0);
}

// [SECTION] Targeting words and texts

TEST(SetUnitTargeting, WordsLabelsJammingAndTargetOverTheFamily) {
  SetWorld f;
  f.RunWith("function main() {\r\n"
            "  set_duck(1, 5); set_duck(3, 0);\r\n"
            "  set_important(2, 1);\r\n"
            "  set_territory(1, {x:1, y:2, z:3});\r\n"
            "  set_defensive(1, 1); set_defensive(2, 0);\r\n"
            "  set_priority_mode(1, 1, 11); set_priority_mode(1, 3, 33);\r\n"
            "  set_priority_mode(1, 0, 99); set_priority_mode(1, 4, 99); set_priority_mode(1, -1, 99);\r\n"
            "  set_ignore_mode(2, 2, 22); set_ignore_mode(2, 4, 99); set_ignore_mode(2, 0, 99);\r\n"
            "  set_priority_label(1, \"a.b\"); set_ignore_label(2, \"enemy\");\r\n"
            "  set_exclusive_label(3, \"x\"); set_priority_label(1, \"longer text than before\");\r\n"
            "  set_jamming(2, 6);\r\n"
            "  set_target(1, 4); set_target(4, 9999); set_target(4, -1);\r\n"
            "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.root->duckFlag, 1);
  EXPECT_EQ(f.child->duckFlag, 1);
  EXPECT_EQ(f.grandchild->duckFlag, 0);
  EXPECT_EQ(f.root->importantFlag, 0);
  EXPECT_EQ(f.child->importantFlag, 1);
  EXPECT_EQ(f.grandchild->importantFlag, 1);
  // Leaving the defence resets the first two territory values.
  EXPECT_EQ(f.root->defensiveFlag, 1);
  ExpectVec(f.root->territory, 1, 2, 3, "root territory");
  EXPECT_EQ(f.child->defensiveFlag, 0);
  ExpectVec(f.child->territory, 0, 300, 3, "child territory");
  ExpectVec(f.loner->territory, 0, 0, 0, "loner territory");
  // Mode words 1..3 only; other indexes change nothing.
  for (units::Unit* u : {f.root, f.child, f.grandchild}) {
    EXPECT_EQ(u->classPriority[0], 0);
    EXPECT_EQ(u->classPriority[1], 11);
    EXPECT_EQ(u->classPriority[2], 0);
    EXPECT_EQ(u->classPriority[3], 33);
  }
  EXPECT_EQ(f.loner->classPriority[1], 0);
  EXPECT_EQ(f.root->classIgnore[2], 0);
  EXPECT_EQ(f.child->classIgnore[2], 22);
  EXPECT_EQ(f.child->classIgnore[0] + f.child->classIgnore[1] + f.child->classIgnore[3], 0);
  EXPECT_STREQ(f.grandchild->priorityLabel.Get(), "longer text than before");
  EXPECT_STREQ(f.root->ignoreLabel.Get(), "");
  EXPECT_STREQ(f.grandchild->ignoreLabel.Get(), "enemy");
  EXPECT_STREQ(f.grandchild->exclusiveLabel.Get(), "x");
  EXPECT_STREQ(f.child->exclusiveLabel.Get(), "");
  // Jamming: the flags at the highest level.
  EXPECT_EQ(f.child->flightWords[4], 6u);
  EXPECT_EQ(f.child->flightWords[3], 8388607u);
  EXPECT_EQ(f.root->flightWords[4], 0u);
  // The target of the family; a bad other handle changes nothing.
  EXPECT_EQ(f.root->target, f.loner);
  EXPECT_EQ(f.grandchild->target, f.loner);
  EXPECT_EQ(f.loner->target, nullptr);
}

TEST(SetUnitTargeting, JammingZeroClearsAndDrawFlagAndColourReachTheFamily) {
  SetWorld f;
  f.Start("function main() {\r\n"
          "  set_jamming(1, 3); set_jamming(2, 0);\r\n"
          "  set_draw_flag(2, 0);\r\n"
          "  set_color(1, {r:255, g:51, b:0.9, a:127.5});\r\n"
          "}\r\n");
  f.PlaceFamily();
  for (units::Unit* u : f.Family()) u->SetObjectVisible(1);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.root->flightWords[4], 3u);
  EXPECT_EQ(f.child->flightWords[3] | f.child->flightWords[4], 0u);
  EXPECT_EQ(f.grandchild->flightWords[3] | f.grandchild->flightWords[4], 0u);
  EXPECT_NE(f.root->shown, 0);
  EXPECT_EQ(f.child->shown, 0);
  EXPECT_EQ(f.grandchild->shown, 0);
  // Members read as whole numbers.
  for (units::Unit* u : {f.root, f.grandchild}) {
    float c[4];
    u->GetObjectColor(c);
    EXPECT_FLOAT_EQ(c[0], 1.0f);
    EXPECT_FLOAT_EQ(c[1], 0.2f);
    EXPECT_FLOAT_EQ(c[2], 0.0f);
    EXPECT_FLOAT_EQ(c[3], 127.0f / 255.0f);
  }
}

// [SECTION] Teams and the statistics

TEST(SetUnitTeams, TeamNameMovesTheCountsAndLeavesUncountedUnitsOut) {
  SetWorld f;
  f.Start("function main() {\r\n"
          "  set_team_name(1, \"blue\");\r\n"
          "  set_printed_name(4, \"shown\");\r\n"
          "}\r\n");
  f.PlaceFamily();
  // A destroyed unit has left the counts: renaming its team must not bring
  // it back among the living.
  world::CountUnitDestroyed(f.world, f.grandchild);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  for (units::Unit* u : {f.root, f.child, f.grandchild}) {
    EXPECT_STREQ(u->team.Get(), "blue");
    EXPECT_STREQ(u->printedTeam.Get(), "blue");
  }
  world::PopulationRecord* red = f.Team("red");
  world::PopulationRecord* blue = f.Team("blue");
  ASSERT_TRUE(red && blue);
  EXPECT_EQ(red->alive[0], 1);  // the loner
  EXPECT_EQ(blue->alive[0], 2);  // root and child; the destroyed grandchild not
  EXPECT_EQ(f.grandchild->flags & units::kUnitCounted, 0u);
  // The printed name alone leaves the real team and its counts.
  EXPECT_STREQ(f.loner->team.Get(), "red");
  EXPECT_STREQ(f.loner->printedTeam.Get(), "shown");
  EXPECT_EQ(f.Team("shown"), nullptr);
}

TEST(SetUnitTeams, LabelChildLabelsDescendantsOfTheNamedTypeOnly) {
  SetWorld f;
  f.RunWith("function main() {\r\n"
            "  set_label_child(1, \"plane\", \"wing\");\r\n"
            "  set_label_child(1, \"nothing\", \"zzz\");\r\n"
            "  set_label_child(2, \"tank\", \"turret\");\r\n"
            "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_STREQ(f.root->label.Get(), "root");  // the unit itself is not a child
  EXPECT_STREQ(f.child->label.Get(), "wing");
  EXPECT_STREQ(f.grandchild->label.Get(), "turret");
  EXPECT_STREQ(f.loner->label.Get(), "loner");
}

// [SECTION] State of one unit

TEST(SetUnitState, HitPointsLabelScoreSectionAndType) {
  SetWorld f;
  f.RunWith("function main() {\r\n"
            "  set_hp(1, 1000000);\r\n"
            "  set_hp(2, 50);\r\n"
            "  set_hp(4, 40); set_hp(4, -1);\r\n"  // a negative hp fills to the max
            "  set_label(3, \"renamed\");\r\n"
            "  set_score(2, 77);\r\n"
            "  set_section(2, 123);\r\n"
            "  set_unit_id(4, \"tank\"); set_unit_id(3, \"nothing\");\r\n"
            "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.root->hp, 999998);
  EXPECT_EQ(f.root->maxHp, 999998);
  EXPECT_EQ(f.child->hp, 50);
  EXPECT_EQ(f.child->maxHp, 50);
  EXPECT_EQ(f.grandchild->maxHp, 50);  // unit only: as placed
  EXPECT_EQ(f.loner->hp, 40);
  EXPECT_EQ(f.loner->maxHp, 40);
  EXPECT_STREQ(f.grandchild->label.Get(), "renamed");
  EXPECT_STREQ(f.child->label.Get(), "child");
  EXPECT_EQ(f.child->score, 77);
  EXPECT_EQ(f.root->score, 10);
  EXPECT_EQ(f.child->pendingState, 123);
  EXPECT_EQ(f.loner->type, f.tank);
  EXPECT_EQ(f.grandchild->type, f.tank);
}

TEST(SetUnitState, MasterAndPylonTakeOnlyValidValues) {
  SetWorld f;
  f.Start("function main() {\r\n"
          "  set_master(1, 4); set_master(1, 0); set_master(1, -1); set_master(1, 99999);\r\n"
          "  set_pylon(1, 3);\r\n"
          "  set_pylon(1, 4); set_pylon(1, -1); set_pylon(1, 1000000);\r\n"
          "  set_pylon(2, 0);\r\n"
          "}\r\n");
  f.PlaceFamily();
  f.child->currentWeaponSlot = 2;
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.root->master, f.loner);
  EXPECT_EQ(f.root->currentWeaponSlot, 3);
  EXPECT_EQ(f.child->currentWeaponSlot, 0);
}

TEST(SetUnitState, EngineLandingSpeedAndMotion) {
  SetWorld f;
  f.RunWith("float lr1; float lr2; float lr3; float lrBad;\r\n"
            "function main() {\r\n"
            "  set_engine_rpm(1, 1.5);\r\n"
            "  set_engine_rpm(2, 1000000000.0);\r\n"  // held to what the word stores
            "  lr1 = set_landing_rate(1, 0.25);\r\n"
            "  lr2 = set_landing_rate(2, 2.0);\r\n"
            "  lr3 = set_landing_rate(3, -1.0);\r\n"
            "  lrBad = set_landing_rate(-1, 0.5);\r\n"
            "  set_mov(4, {x:3, z:4});\r\n"
            "  set_speed(4, 10.0);\r\n"  // along the velocity
            "  set_speed_target(1, 5.0, 120.0);\r\n"
            "  set_moment(3, {pitch:90, yaw:-180, roll:45});\r\n"
            "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.root->engineRpm, 15000);
  EXPECT_EQ(f.child->engineRpm, 2147480064);  // 214748 x 10000 in float
  EXPECT_FLOAT_EQ(f.Number("lr1"), 0.25f);
  EXPECT_FLOAT_EQ(f.Number("lr2"), 1.0f);
  EXPECT_FLOAT_EQ(f.Number("lr3"), 0.0f);
  EXPECT_FLOAT_EQ(f.Number("lrBad"), 0.0f);
  EXPECT_FLOAT_EQ(f.root->landingRate, 0.25f);
  EXPECT_FLOAT_EQ(f.child->landingRate, 1.0f);
  ExpectVec(f.loner->velocity, 6, 0, 8, "speed along the velocity");
  EXPECT_FLOAT_EQ(f.loner->speedTarget, 10.0f);
  EXPECT_FLOAT_EQ(f.root->speedTarget, 5.0f);
  EXPECT_FLOAT_EQ(f.root->speedRate, 2.0f);
  ExpectVec(f.grandchild->moment, 90 * 0.017453292f, -180 * 0.017453292f, 45 * 0.017453292f, "moment");
}

TEST(SetUnitState, PathFollowsAValidPointAndRunsReachOtherwiseClears) {
  SetWorld f;
  // The script's reset empties the path points: the point is made after it.
  f.Start("function main() {\r\n"
          "  set_path(1, 268435456);\r\n"
          "  set_path(2, 268435456); set_path(2, -1);\r\n"
          "  set_path(3, 268435456 + 999);\r\n"
          "}\r\n");
  units::PathPoint* point = units::NewPathPoint(*f.world.pathPoints, 5, 1, 1, 1);
  ASSERT_EQ(units::GetPathPointAt(*f.world.pathPoints, 0), point);
  f.PlaceFamily();
  f.grandchild->state = 5;
  f.Finish(1);
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.root->path, point);
  EXPECT_EQ(f.root->pendingState, units::kUnitStateFollowPath);
  EXPECT_EQ(f.child->path, nullptr);
  EXPECT_EQ(f.child->pendingState, 0);
  EXPECT_EQ(f.grandchild->path, nullptr);
  EXPECT_EQ(f.grandchild->pendingState, 0);
}

// [SECTION] Transforms

TEST(SetUnitTransform, PositionsRotationsScaleAndPivot) {
  SetWorld f;
  f.RunWith("function main() {\r\n"
            "  set_local_pos(4, {x:1, y:2, z:3});\r\n"
            "  set_pos(2, {x:11, y:0, z:0});\r\n"  // the root stands at x 10
            "  set_pos(1, {x:4, y:5, z:6});\r\n"
            "  set_rot(4, {pitch:10, yaw:90, roll:-30});\r\n"
            "  set_local_rot(3, {yaw:45});\r\n"
            "  set_scale(4, {x:2, y:3, z:4});\r\n"
            "  set_offset(4, {x:1, y:0, z:-1});\r\n"
            "  set_sprite_rect(4, {x:0, y:0}, {x:16, y:16});\r\n"  // no renderer: nothing
            "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  ExpectVec(f.loner->GetObjectPosition(), 1, 2, 3, "local position");
  ExpectVec(f.root->GetObjectPosition(), 4, 5, 6, "root without parent");
  // The child's world position went through the root's frame as it stood.
  ExpectVec(f.child->GetObjectPosition(), 1, 0, 0, "child in the root's frame");
  ExpectVec(f.loner->GetObjectAngles(), 10 * 0.017453292f, 90 * 0.017453292f, -30 * 0.017453292f, "angles");
  ExpectVec(f.grandchild->GetObjectAngles(), 0, 45 * 0.017453292f, 0, "local angles");
  ExpectVec(f.loner->GetObjectScale(), 2, 3, 4, "scale");
  ExpectVec(f.loner->GetObjectPivot(), 1, 0, -1, "pivot");
}

TEST(SetUnitTransform, WorldPositionUnderATurnedParent) {
  SetWorld f;
  f.Start("function main() {\r\n  set_pos(2, {x:10, y:0, z:7});\r\n}\r\n");
  f.PlaceFamily();
  f.root->SetObjectAngles(0, 1.5707963f, 0);  // turned a quarter
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  ExpectVec(f.child->GetObjectWorldPosition(), 10, 0, 7, "world position kept");
}

// [SECTION] Parents

TEST(SetUnitParent, AttachAtTheOriginDetachKeepingTheWorldPlace) {
  SetWorld f;
  f.Start("function main() {\r\n"
          "  set_parent(4, 1);\r\n"
          "  set_parent(2, -1);\r\n"
          "  set_parent(3, 0);\r\n"  // slot 0 holds no unit: detached as for -1
          "}\r\n");
  f.PlaceFamily();
  f.root->SetObjectAngles(0, 1.5707963f, 0);
  f.loner->SetObjectAngles(0.3f, 0.2f, 0.1f);
  f.grandchild->SetObjectPosition(1, 2, 3);
  Vec3 grandWorld = f.grandchild->GetObjectWorldPosition();
  Vec3 childWorld = f.child->GetObjectWorldPosition();
  Vec3 childFront = f.child->GetObjectWorldFront();
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.loner->parent, f.root);
  EXPECT_EQ(f.loner->GetObjectParent(), f.root);
  ExpectVec(f.loner->GetObjectPosition(), 0, 0, 0, "at the parent's origin");
  ExpectVec(f.loner->GetObjectAngles(), 0, 0, 0, "aligned");
  EXPECT_EQ(f.child->parent, nullptr);
  EXPECT_EQ(f.child->GetObjectParent(), nullptr);
  ExpectVec(f.child->GetObjectWorldPosition(), childWorld.x, childWorld.y, childWorld.z, "where it stood");
  ExpectVec(f.child->GetObjectWorldFront(), childFront.x, childFront.y, childFront.z, "facing as it did");
  EXPECT_EQ(f.grandchild->parent, nullptr);
  ExpectVec(f.grandchild->GetObjectPosition(), grandWorld.x, grandWorld.y, grandWorld.z, "grandchild kept");
}

TEST(SetUnitParent, AParentThatWouldCloseALoopIsRefused) {
  SetWorld f;
  f.Start("int isAnc;\r\n"
          "function main() {\r\n"
          "  set_parent(1, 1);\r\n"  // itself
          "  set_parent(1, 2);\r\n"  // its child
          "  set_parent(1, 3);\r\n"  // its grandchild
          "  set_parent(2, 3);\r\n"
          "  isAnc = is_ancestor(3, 1);\r\n"
          "}\r\n");
  f.PlaceFamily();
  f.root->SetObjectAngles(0.1f, 0.2f, 0.3f);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.root->parent, nullptr);
  EXPECT_EQ(f.root->GetObjectParent(), nullptr);
  ExpectVec(f.root->GetObjectPosition(), 10, 0, 0, "root unmoved");
  ExpectVec(f.root->GetObjectAngles(), 0.1f, 0.2f, 0.3f, "root unturned");
  EXPECT_EQ(f.child->parent, f.root);
  ExpectVec(f.child->GetObjectPosition(), 0, 0, 5, "child unmoved");
  EXPECT_EQ(f.grandchild->parent, f.child);
  EXPECT_EQ(f.Number("isAnc"), 1.0f);
  // Walks up the tree end.
  EXPECT_EQ(units::GetUnitRoot(f.grandchild), f.grandchild);
  EXPECT_NE(units::MatchLabelPath(*f.grandchild, "root.child.grand", 0), nullptr);
}

// [SECTION] Read back by the script

// A game script sets and reads back through the other calls: HP and damage,
// the world place through transform, the tree through is_ancestor.
TEST(SetUnitReadBack, ScriptSeesWhatItSet) {
  SetWorld f;
  f.RunWith("int hp; int damage; int anc; int notAnc; object at; object local;\r\n"
            "function main() {\r\n"
            "  set_hp(4, 80);\r\n"
            "  add_damage(4, 30);\r\n"
            "  hp = get_hp(4);\r\n"
            "  damage = get_damage(4);\r\n"
            "  set_parent(4, 2);\r\n"
            "  anc = is_ancestor(4, 1);\r\n"
            "  set_parent(2, -1);\r\n"
            "  notAnc = is_ancestor(4, 1);\r\n"
            "  set_pos(4, {x:7, y:8, z:9});\r\n"
            "  at = transform(4, {});\r\n"
            "  local = inv_transform(2, {x:7, y:8, z:9});\r\n"
            "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("hp"), 50.0f);
  EXPECT_EQ(f.Number("damage"), 30.0f);
  EXPECT_EQ(f.Number("anc"), 1.0f);
  EXPECT_EQ(f.Number("notAnc"), 0.0f);
  ASSERT_NE(f.Object("at"), nullptr);
  ExpectVec(api::ReadVector(f.Object("at")), 7, 8, 9, "world place read back");
  Vec3 local = f.loner->GetObjectPosition();
  ExpectVec(api::ReadVector(f.Object("local")), local.x, local.y, local.z, "local place read back");
}

// [SECTION] Bad handles and bad arguments

struct UnitSnapshot {
  std::string text;
  explicit UnitSnapshot(units::Unit& u) {
    char buffer[1024];
    Vec3 p = u.GetObjectPosition(), a = u.GetObjectAngles(), s = u.GetObjectScale(), o = u.GetObjectPivot();
    float c[4];
    u.GetObjectColor(c);
    std::snprintf(buffer, sizeof buffer,
                  "flags %x duck %d def %d imp %d target %p master %p parent %p pm %d %d %d im %d %d %d "
                  "jam %u %u shown %d colour %g %g %g %g hp %d/%d slot %d score %d state %d/%d type %p rpm %d "
                  "land %g speed %g %g vel %g %g %g mom %g %g %g terr %g %g %g path %p pos %g %g %g "
                  "rot %g %g %g scale %g %g %g pivot %g %g %g",
                  u.flags, u.duckFlag, u.defensiveFlag, u.importantFlag, (void*)u.target, (void*)u.master,
                  (void*)u.parent, u.classPriority[1], u.classPriority[2], u.classPriority[3], u.classIgnore[1],
                  u.classIgnore[2], u.classIgnore[3], u.flightWords[3], u.flightWords[4], u.shown, c[0], c[1],
                  c[2], c[3], u.hp, u.maxHp, u.currentWeaponSlot, u.score, u.state, u.pendingState, (void*)u.type,
                  u.engineRpm, u.landingRate, u.speedTarget, u.speedRate, u.velocity.x, u.velocity.y,
                  u.velocity.z, u.moment.x, u.moment.y, u.moment.z, u.territory.x, u.territory.y, u.territory.z,
                  (void*)u.path, p.x, p.y, p.z, a.x, a.y, a.z, s.x, s.y, s.z, o.x, o.y, o.z);
    text = buffer;
    text += std::string(" texts ") + u.label.Get() + "|" + u.team.Get() + "|" + u.printedTeam.Get() + "|" +
            u.priorityLabel.Get() + "|" + u.ignoreLabel.Get() + "|" + u.exclusiveLabel.Get();
  }
};

// Every unit call with H for the unit handle; the other unit arguments name
// live units, P a live path point.
const char* const kUnitCalls[] = {
    "set_target_flag(H, 1)",
    "set_ignored(H, 1)",
    "set_barrier(H, 1)",
    "set_priority_target(H, 1)",
    "set_priority_nontarget(H, 1)",
    "set_key_unit(H, 1)",
    "set_active_unit(H, 0)",
    "set_duck(H, 0)",
    "set_defensive(H, 0)",
    "set_important(H, 1)",
    "set_target(H, 4)",
    "set_priority_mode(H, 1, 5)",
    "set_ignore_mode(H, 2, 5)",
    "set_priority_label(H, \"p\")",
    "set_ignore_label(H, \"i\")",
    "set_exclusive_label(H, \"e\")",
    "set_jamming(H, 3)",
    "set_draw_flag(H, 0)",
    "set_color(H, {r:1, g:2, b:3, a:4})",
    "set_team_name(H, \"blue\")",
    "set_printed_name(H, \"blue\")",
    "set_label_child(H, \"plane\", \"x\")",
    "set_hp(H, 5)",
    "set_label(H, \"x\")",
    "set_master(H, 4)",
    "set_pylon(H, 2)",
    "set_score(H, 7)",
    "set_section(H, 3)",
    "set_unit_id(H, \"tank\")",
    "set_engine_rpm(H, 2.0)",
    "set_landing_rate(H, 0.5)",
    "set_speed(H, 3.0)",
    "set_speed_target(H, 3.0, 60.0)",
    "set_mov(H, {x:1})",
    "set_moment(H, {yaw:10})",
    "set_territory(H, {x:1, y:2, z:3})",
    "set_path(H, P)",
    "set_parent(H, 4)",
    "set_animation(H, \"a\", \"b\", 1.0, \"c\", 0.0, 1.0)",
    "set_local_pos(H, {x:5})",
    "set_pos(H, {x:5})",
    "set_local_rot(H, {yaw:10})",
    "set_rot(H, {yaw:10})",
    "set_scale(H, {x:2})",
    "set_offset(H, {x:2})",
    "set_sprite_rect(H, {x:0}, {x:8, y:8})",
};

std::string Fill(std::string text, char key, const std::string& value) {
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
    text.replace(at, 1, value);
  return text;
}

TEST(SetUnitBadArguments, EveryCallIgnoresHandlesThatNameNoLiveUnit) {
  const size_t count = sizeof kUnitCalls / sizeof kUnitCalls[0];
  ASSERT_EQ(count, 46u);
  int slots = 0;
  {
    SetWorld probe;
    probe.PlaceFamily();
    slots = world::CountUnitSlots(probe.world);
  }
  // Slot 5 is freed below; slot 0 never holds a unit.
  for (int handle : {-1, 0, 5, slots, slots + 1000, 268435456}) {
    SetWorld f;
    units::PathPoint* point = units::NewPathPoint(*f.world.pathPoints, 5, 1, 1, 1);
    ASSERT_NE(point, nullptr);
    std::string globals, body;
    for (size_t i = 0; i < count; i++) {
      std::string call = Fill(Fill(kUnitCalls[i], 'H', std::to_string(handle)), 'P', "268435456");
      globals += "float r" + std::to_string(i) + " = -7.0;\r\n";
      body += "  r" + std::to_string(i) + " = " + call + ";\r\n";
    }
    std::string script = globals + "function main() {\r\n" + body + "}\r\n";
    f.Start(script);
    f.PlaceFamily();
    units::Unit* freed = f.Place(f.plane);
    ASSERT_EQ(freed->unitId, 5);
    world::ResetUnitSlot(f.world, 5);
    ASSERT_EQ(world::CountUnitSlots(f.world), slots);
    std::vector<std::string> before;
    for (units::Unit* u : f.Family()) before.push_back(UnitSnapshot(*u).text);
    world::PopulationRecord before_red = *f.Team("red");
    f.Finish(1);
    ASSERT_EQ(f.RuntimeError(), "") << handle;
    for (size_t i = 0; i < f.Family().size(); i++)
      EXPECT_EQ(UnitSnapshot(*f.Family()[i]).text, before[i]) << "handle " << handle << " unit " << i + 1;
    EXPECT_EQ(f.Team("blue"), nullptr) << handle;
    EXPECT_EQ(f.Team("red")->alive[0], before_red.alive[0]) << handle;
    EXPECT_EQ(world::GetUnitAt(f.world, 5), nullptr) << handle;
    for (size_t i = 0; i < count; i++) {
      bool landing = std::string(kUnitCalls[i]).find("set_landing_rate") == 0;
      EXPECT_EQ(f.Number(("r" + std::to_string(i)).c_str()), landing ? 0.0f : 1.0f)
          << "handle " << handle << ": " << kUnitCalls[i];
    }
  }
}

TEST(SetUnitBadArguments, BadOtherHandlesChangeNothing) {
  SetWorld f;
  f.Start("function main() {\r\n"
          "  set_target(1, -1); set_target(1, 0); set_target(1, 99999); set_target(1, 268435456);\r\n"
          "  set_master(2, -1); set_master(2, 0); set_master(2, 99999); set_master(2, 268435456);\r\n"
          "}\r\n");
  f.PlaceFamily();
  f.root->target = f.loner;
  f.child->master = f.loner;
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.root->target, f.loner);
  EXPECT_EQ(f.child->target, nullptr);
  EXPECT_EQ(f.child->master, f.loner);
}

struct ErrorCase {
  const char* call;
  const char* text;  // UTF-8
};

TEST(SetUnitBadArguments, NumbersWhereObjectsAreExpectedRaiseTheCallsErrorBeforeActing) {
  const ErrorCase cases[] = {
      {"set_color(1, 255)", "set_color関数の第2引数がオブジェクトではありません。"},
      {"set_mov(1, 3)", "set_mov関数の第2引数がオブジェクトではありません。"},
      {"set_moment(1, 3)", "set_moment関数の引数がオブジェクトではありません。"},
      {"set_territory(1, 3)", "set_territory関数の第2引数がオブジェクトではありません。"},
      {"set_local_pos(1, 3)", "set_local_pos関数の第2引数がオブジェクトではありません。"},
      {"set_pos(1, \"x\")", "set_pos関数の第2引数がオブジェクトではありません。"},
      {"set_local_rot(1, 3)", "set_local_rot関数の第2引数がオブジェクトではありません。"},
      {"set_rot(1, 3)", "set_rot関数の第2引数がオブジェクトではありません。"},
      {"set_scale(1, 3)", "set_scale関数の第2引数がオブジェクトではありません。"},
      {"set_offset(1, 3)", "set_offset関数の第2引数がオブジェクトではありません。"},
      {"set_sprite_rect(1, 3, {x:1})", "set_sprite_rect関数の第2引数がオブジェクトではありません。"},
      {"set_sprite_rect(1, {x:1}, 3)", "set_sprite_rect関数の第3引数がオブジェクトではありません。"},
      // Raised for a bad handle too: the argument is checked first.
      {"set_mov(-1, 3)", "set_mov関数の第2引数がオブジェクトではありません。"},
  };
  for (const ErrorCase& c : cases) {
    SetWorld f;
    f.Start(std::string("function main() {\r\n  print_log(\"before\");\r\n  ") + c.call +
            ";\r\n  print_log(\"after\");\r\n}\r\n");
    f.PlaceFamily();
    std::string before = UnitSnapshot(*f.root).text;
    f.Finish();
    std::string error = f.RuntimeError();
    EXPECT_NE(error.find(test::Sjis(c.text)), std::string::npos) << c.call << "\n" << error;
    EXPECT_NE(error.find(test::Sjis("start.rsp(4行目)")), std::string::npos) << c.call << "\n" << error;
    std::string log = test::ReadFile("system.log");
    EXPECT_EQ(log.find("after"), std::string::npos) << c.call;
    EXPECT_EQ(UnitSnapshot(*f.root).text, before) << c.call;
  }
}

}  // namespace
