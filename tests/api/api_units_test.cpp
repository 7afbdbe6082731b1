// api_units_test.cpp -- the unit and path calls run from game scripts:
// placing, deleting and releasing units (descendants, labels, event
// modes), health, engine limits and gun stops, moving, turning and
// transforming, path points switched on and off, bad handles, missing
// vectors and texts longer than the scratch buffer.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "api_fixture.h"
#include "units/units_public.h"

namespace {

using apitest::WorldFixture;
using core::Vec3;

// A world with a plane and a missile type, and units placed after the reset
// that starts the script (so `main` runs with them in the pool).
struct UnitWorld : apitest::PlacingWorld {
  units::UnitType* plane = nullptr;
  units::UnitType* missile = nullptr;

  UnitWorld() {
    plane = AddType("plane", 100, 0);
    missile = AddType("missile", 10, units::kAttrWeapon);
  }

  int Alive() {
    world::PopulationRecord* r = world::FindNamedRecord(world, "red");
    return r ? r->alive[0] : -1;
  }
};

void ExpectVec(const Vec3& v, float x, float y, float z, const char* what) {
  EXPECT_NEAR(v.x, x, 1e-4f) << what;
  EXPECT_NEAR(v.y, y, 1e-4f) << what;
  EXPECT_NEAR(v.z, z, 1e-4f) << what;
}

// [SECTION] Placing

TEST(PutUnit, PlacesByNameWithLabelAndFlagsOrAnswersMinusOne) {
  UnitWorld f;
  f.plane->alias = "f15";
  f.Run("int a; int b; int c; int d;\r\n"
        "function main() {\r\n"
        "  a = put_unit(\"f15\", {x:1, y:2, z:3}, \"lead\");\r\n"
        "  b = put_player_unit(\"plane\", {}, \"me\");\r\n"  // by NAME too
        "  c = put_unit(\"nothing\", {}, \"x\");\r\n"
        "  d = put_unit(\"\", {}, \"x\");\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  ASSERT_GE(f.Number("a"), 1.0f);
  units::Unit* a = f.At(int(f.Number("a")));
  units::Unit* b = f.At(int(f.Number("b")));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->type, f.plane);
  ExpectVec(a->GetObjectPosition(), 1, 2, 3, "position");
  EXPECT_STREQ(a->label.Get(), "lead");
  EXPECT_EQ(a->flags & units::kUnitPlayer, 0u);
  EXPECT_NE(b->flags & units::kUnitPlayer, 0u);
  EXPECT_STREQ(b->label.Get(), "me");
  EXPECT_EQ(f.Number("c"), -1.0f);
  EXPECT_EQ(f.Number("d"), -1.0f);
}

TEST(PutUnit, SpritesFromTypesAndImageFiles) {
  UnitWorld f;
  f.Run("int a; int b; int c; int d;\r\n"
        "function main() {\r\n"
        "  a = create_sprite(\"plane\", {x:0, y:0}, {x:32, y:16});\r\n"
        "  b = create_sprite(\"nothing\", {}, {});\r\n"
        "  c = create_sprite_from_file(\"pic.png\");\r\n"
        "  d = create_sprite_from_file(\"pic.png\");\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  units::Unit* a = f.At(int(f.Number("a")));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->type, f.plane);
  EXPECT_EQ(f.Number("b"), -1.0f);
  // The image's type is made once, from the path beside the script.
  units::Unit* c = f.At(int(f.Number("c")));
  units::Unit* d = f.At(int(f.Number("d")));
  ASSERT_TRUE(c && d);
  EXPECT_NE(c, d);
  ASSERT_NE(c->type, nullptr);
  EXPECT_EQ(c->type, d->type);
  ExpectVec(c->GetObjectPosition(), 0, 0, 0, "origin");
}

// [SECTION] Deleting and releasing

TEST(DeleteUnit, CountsDescendantsDeletesAfterTheStepAndRunsOnce) {
  UnitWorld f;
  f.Start("int lone; int tree; int again; int bad; int hpNow;\r\n"
          "function main() {\r\n"
          "  lone = delete_unit(1);\r\n"
          "  tree = delete_unit(2);\r\n"
          "  again = delete_unit(2);\r\n"
          "  bad = delete_unit(0);\r\n"
          "  hpNow = get_hp(4);\r\n"  // still there until the step ends
          "}\r\n");
  units::Unit* lone = f.Place(f.plane);
  units::Unit* root = f.Place(f.plane);
  units::Unit* child = f.Place(f.plane, "", root);
  f.Place(f.missile, "", child);  // a grandchild
  units::Unit* other = f.Place(f.plane);
  ASSERT_EQ(lone->unitId, 1);
  ASSERT_EQ(other->unitId, 5);
  EXPECT_EQ(f.Alive(), 4);  // the missile is a weapon: counted apart
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("lone"), 0.0f);
  EXPECT_EQ(f.Number("tree"), 2.0f);
  EXPECT_EQ(f.Number("again"), 0.0f);  // already deleted: not counted out twice
  EXPECT_EQ(f.Number("bad"), 0.0f);
  EXPECT_GT(f.Number("hpNow"), 0.0f);
  for (int slot = 1; slot <= 4; slot++) EXPECT_EQ(f.At(slot), nullptr) << slot;
  EXPECT_EQ(f.At(5), other);
  EXPECT_EQ(f.Alive(), 1);
}

TEST(DeleteUnit, LabelsSelectWithinTheEventModeAndTakeDescendants) {
  struct Case {
    const char* label;
    int marked;
    const char* gone;  // slots 1..5, '1' deleted
  } cases[] = {
      {"a", 2, "11000"},   // a and its child
      {"b", 1, "00100"},
      {"", 4, "11110"},    // every unit of event mode 0; slot 5 is of another event
      {"zzz", 0, "00000"},
  };
  for (const Case& c : cases) {
    UnitWorld f;
    f.Start(std::string("int n;\r\nfunction main() { n = delete_unit_label(\"") + c.label + "\"); }\r\n");
    units::Unit* a = f.Place(f.plane, "a");
    f.Place(f.plane, "", a);
    f.Place(f.plane, "b");
    f.Place(f.plane, "c");
    units::Unit* e = f.Place(f.plane, "b");
    e->sceneNumber = 1;
    f.Finish();
    ASSERT_EQ(f.RuntimeError(), "") << c.label;
    EXPECT_EQ(f.Number("n"), float(c.marked)) << c.label;
    for (int slot = 1; slot <= 5; slot++)
      EXPECT_EQ(f.At(slot) == nullptr, c.gone[slot - 1] == '1') << c.label << " slot " << slot;
  }
}

TEST(ReleaseObject, GoesAtOnceWithItsDescendantsButNotItsWeapons) {
  UnitWorld f;
  f.Start("int during;\r\n"
          "function main() { release_object(1); during = get_hp(2); release_object(0); release_object(99); }\r\n");
  units::Unit* root = f.Place(f.plane);
  f.Place(f.plane, "", root);
  units::Unit* weapon = f.Place(f.missile, "", root);
  units::Unit* other = f.Place(f.plane);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("during"), -1.0f);  // released within the call
  EXPECT_EQ(f.At(1), nullptr);
  EXPECT_EQ(f.At(2), nullptr);
  EXPECT_EQ(f.At(3), weapon);
  EXPECT_EQ(f.At(4), other);
  EXPECT_EQ(f.Alive(), 1);
}

TEST(ReleaseObject, ByLabelAndAllOfTheEventMode) {
  UnitWorld f;
  f.Start("int between;\r\n"
          "function main() { release_object_label(\"x\"); between = get_hp(3); release_all_object(); }\r\n");
  f.Place(f.plane, "x");
  f.Place(f.plane, "x");
  f.Place(f.plane, "y");
  f.Place(f.missile, "z");
  units::Unit* elsewhere = f.Place(f.plane, "x");
  elsewhere->sceneNumber = 2;
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_GT(f.Number("between"), 0.0f);
  for (int slot = 1; slot <= 4; slot++) EXPECT_EQ(f.At(slot), nullptr) << slot;
  EXPECT_EQ(f.At(5), elsewhere);
}

// [SECTION] Health, engine, gun stops

TEST(Health, DamageNeverKillsAndADeadUnitIsLeftAlone) {
  struct Case {
    int hp;
    const char* call;  // on unit 1
    int expected;
  } cases[] = {
      {60, "add_damage(1, 10)", 50},   {60, "add_damage(1, 100)", 1},       {60, "add_damage(1, 60)", 1},
      {0, "add_damage(1, 10)", 0},     {60, "add_damage(1, -2147483647)", 2147483647},
      {50, "supply_hp(1, 20)", 70},    {90, "supply_hp(1, 50)", 100},       {0, "supply_hp(1, 50)", 0},
      {50, "supply_hp(1, -100)", 0},
  };
  for (const Case& c : cases) {
    UnitWorld f;
    f.Start(std::string("function main() { ") + c.call + "; }\r\n");
    units::Unit* u = f.Place(f.plane);
    units::SetUnitHp(*u, c.hp, 100);
    f.Finish();
    ASSERT_EQ(f.RuntimeError(), "") << c.call;
    EXPECT_EQ(u->hp, c.expected) << c.call << " from " << c.hp;
    EXPECT_EQ(u->maxHp, 100) << c.call;
  }
}

TEST(Health, EngineLimitsAndStops) {
  UnitWorld f;
  f.Start("function main() { limit_engine(1, 0.25, 0.75); stop_gun(1, 257); stop_weapon(1, 2, 1); "
          "stop_weapon(1, 4, 1); }\r\n");
  units::Unit* u = f.Place(f.plane);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(u->engineLimitLow, 0.25f);
  EXPECT_EQ(u->engineLimitHigh, 0.75f);
  EXPECT_EQ(u->gunStop, 1);  // the low byte
  EXPECT_EQ(u->weaponStops[2], 1);
  EXPECT_EQ(u->weaponStops[3], 0);
}

// [SECTION] Moving, turning, transforming

TEST(Motion, MoveTurnTransformAndAncestors) {
  UnitWorld f;
  f.Start("object w; object l; object back; object anim; int up; int down; int self; int bad;\r\n"
          "function main() {\r\n"
          "  move(1, {x:1, y:2, z:3}); move(1, {z:7});\r\n"
          "  rel_rot(1, {yaw:90}); rel_rot(1, {yaw:90, pitch:10});\r\n"
          "  w = transform(2, {x:1});\r\n"
          "  l = inv_transform(2, {x:10, y:5, z:0});\r\n"
          "  back = transform(2, inv_transform(2, {x:3, y:-4, z:5}));\r\n"
          "  anim = transform_animation(2, \"frame\", {z:2});\r\n"
          "  up = is_ancestor(3, 2); down = is_ancestor(2, 3); self = is_ancestor(2, 2); bad = is_ancestor(3, 0);\r\n"
          "}\r\n");
  units::Unit* a = f.Place(f.plane, "", nullptr, {10, 0, 0});
  units::Unit* b = f.Place(f.plane, "", nullptr, {10, 5, 0});
  f.Place(f.plane, "", b);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  ExpectVec(a->GetObjectPosition(), 11, 2, 10, "moved");
  ExpectVec(a->GetObjectAngles(), 10 * 0.017453292f, 180 * 0.017453292f, 0, "turned");
  script::CScriptArray* w = f.Object("w");
  ASSERT_NE(w, nullptr);
  EXPECT_NEAR(script::GetMemberFloat(w, "x"), 11.0f, 1e-4f);
  EXPECT_NEAR(script::GetMemberFloat(w, "y"), 5.0f, 1e-4f);
  script::CScriptArray* l = f.Object("l");
  ASSERT_NE(l, nullptr);
  EXPECT_NEAR(script::GetMemberFloat(l, "x"), 0.0f, 1e-4f);
  EXPECT_NEAR(script::GetMemberFloat(l, "y"), 0.0f, 1e-4f);
  script::CScriptArray* back = f.Object("back");
  ASSERT_NE(back, nullptr);
  EXPECT_NEAR(script::GetMemberFloat(back, "y"), -4.0f, 1e-4f);
  EXPECT_EQ(WorldFixture::MemberCount(back), 3);
  // No model: the frame leaves the point as it is.
  script::CScriptArray* anim = f.Object("anim");
  ASSERT_NE(anim, nullptr);
  EXPECT_NEAR(script::GetMemberFloat(anim, "x"), 10.0f, 1e-4f);
  EXPECT_NEAR(script::GetMemberFloat(anim, "z"), 2.0f, 1e-4f);
  EXPECT_EQ(f.Number("up"), 1.0f);
  EXPECT_EQ(f.Number("down"), 0.0f);
  EXPECT_EQ(f.Number("self"), 0.0f);
  EXPECT_EQ(f.Number("bad"), 1.0f);  // a bad handle leaves the preset
}

// [SECTION] Bad handles

// Slot 0, a slot emptied before the call, the slot count, -1 and a path
// point's handle name no unit: every unit call leaves the units alone and
// answers its value for a bad handle.
TEST(BadHandles, UnitCallsActOnlyOnLiveUnits) {
  const char* calls[] = {
      "r = add_damage(H, 10);",          "r = supply_hp(H, 50);",        "r = limit_engine(H, 0.5, 0.5);",
      "r = stop_gun(H, 1);",             "r = stop_weapon(H, 0, 1);",    "r = move(H, {x:1});",
      "r = rel_rot(H, {yaw:1});",        "r = release_object(H);",       "o = transform(H, {x:1});",
      "o = inv_transform(H, {x:1});",    "o = transform_animation(H, \"f\", {x:1});",
      "r = is_ancestor(H, 1);",          "r = delete_unit(H);",
  };
  UnitWorld probe;
  int slots = world::CountUnitSlots(probe.world);
  for (int handle : {-1, 0, 2, slots, 268435456}) {
    for (const char* call : calls) {
      std::string text = call;
      text.replace(text.find('H'), 1, std::to_string(handle));
      UnitWorld f;
      f.Start("int r = -7; int o = -7;\r\nfunction main() { " + text + " }\r\n");
      units::Unit* a = f.Place(f.plane, "", nullptr, {1, 1, 1});
      units::Unit* b = f.Place(f.plane);
      units::SetUnitHp(*a, 60, 100);
      world::ResetUnitSlot(f.world, b->unitId);  // slot 2 emptied
      ASSERT_EQ(units::NewPathPoint(*f.world.pathPoints, 1, 1, 1, 1) != nullptr, true);
      f.Finish();
      ASSERT_EQ(f.RuntimeError(), "") << text;
      bool isDelete = text.find("delete_unit") != std::string::npos;
      if (text[0] == 'r') EXPECT_EQ(f.Number("r"), isDelete ? 0.0f : 1.0f) << text;
      else EXPECT_EQ(f.Number("o"), 1.0f) << text;
      ASSERT_EQ(f.At(1), a) << text;
      EXPECT_EQ(a->hp, 60) << text;
      EXPECT_EQ(a->removalMark, 0) << text;
      ExpectVec(a->GetObjectPosition(), 1, 1, 1, text.c_str());
      EXPECT_EQ(b->unitId, 0) << text;  // the emptied slot stays empty
    }
  }
}

// [SECTION] Errors

struct ErrorCase {
  const char* call;
  const char* text;  // UTF-8
};

TEST(UnitCallErrors, NumbersWhereObjectsAreExpected) {
  const ErrorCase cases[] = {
      {"put_unit(\"plane\", 0, \"\")", "put_unit関数の第2引数がオブジェクトではありません。"},
      {"put_player_unit(\"plane\", \"x\", \"\")", "put_player_unit関数の第2引数がオブジェクトではありません。"},
      {"create_sprite(\"plane\", 1, {})", "create_sprite関数の第2引数がオブジェクトではありません。"},
      {"create_sprite(\"plane\", {}, 1)", "create_sprite関数の第3引数がオブジェクトではありません。"},
      {"move(1, 5)", "move関数の第2引数がオブジェクトではありません。"},
      {"move(0, 5)", "move関数の第2引数がオブジェクトではありません。"},  // read before the handle
      {"rel_rot(1, 0)", "rel_rot関数の第2引数がオブジェクトではありません。"},
      {"transform(1, 2)", "transform関数の第2引数がオブジェクトではありません。"},
      {"inv_transform(1, 2)", "inv_transform関数の第2引数がオブジェクトではありません。"},
      {"transform_animation(1, \"f\", 3)", "transform_animation関数の第3引数がオブジェクトではありません。"},
  };
  for (const ErrorCase& c : cases) {
    UnitWorld f;
    f.Start(std::string("function main() {\r\n  ") + c.call + ";\r\n  put_unit(\"plane\", {}, \"after\");\r\n}\r\n");
    units::Unit* u = f.Place(f.plane);
    f.Finish();
    std::string error = f.RuntimeError();
    EXPECT_NE(error.find(test::Sjis(c.text)), std::string::npos) << c.call << "\n" << error;
    EXPECT_NE(error.find(test::Sjis("start.rsp(3行目)")), std::string::npos) << c.call << "\n" << error;
    // Nothing was made, and the unit was not moved.
    EXPECT_EQ(f.At(2), nullptr) << c.call;
    ExpectVec(u->GetObjectPosition(), 0, 0, 0, c.call);
  }
}

// [SECTION] Paths

TEST(Paths, PointsArmedAndDisarmedByHandleAndByLabel) {
  UnitWorld f;
  f.Start("function main() {\r\n"
          "  active_path(268435456, 1); active_path(268435457, 1); active_path(268435456 + 99, 1);\r\n"
          "  active_path(0, 1); active_path(-1, 1);\r\n"
          "  active_path_label(\"gate\", 1); active_path_label(\"gate\", 0); active_path_label(\"gate\", 1);\r\n"
          "  active_path_label(\"far\", 1); active_path_label(\"far\", 0);\r\n"
          "}\r\n");
  units::PathPointPool& pool = *f.world.pathPoints;
  units::PathPoint* p[4];
  const char* labels[] = {"a", "b", "gate", "gate"};
  for (int i = 0; i < 4; i++) {
    p[i] = units::NewPathPoint(pool, 10 + i, 1, 1, 1);
    ASSERT_NE(p[i], nullptr);
    units::SetPathPointLabel(*p[i], labels[i]);
    p[i]->triggerCommand = world::kTriggerAppear;
  }
  units::PathPoint* far = units::NewPathPoint(pool, 20, 1, 1, 1);
  units::SetPathPointLabel(*far, "far");
  far->triggerCommand = world::kTriggerAppear;
  world::SetPathPointListed(f.world, far, 1);
  ASSERT_EQ(p[0]->poolSlot, 0);
  f.Finish(2);
  ASSERT_EQ(f.RuntimeError(), "");
  int list = world::TriggerListOf(int(world::kTriggerAppear));
  ASSERT_GE(list, 0);
  const std::vector<units::PathPoint*>& listed = f.world.triggerLists.lists[size_t(list)];
  auto isListed = [&](units::PathPoint* point) {
    for (units::PathPoint* q : listed)
      if (q == point) return true;
    return false;
  };
  EXPECT_TRUE(isListed(p[0]));
  EXPECT_TRUE(isListed(p[1]));
  EXPECT_TRUE(isListed(p[2]));
  EXPECT_TRUE(isListed(p[3]));
  EXPECT_FALSE(isListed(far));
}

// [SECTION] Texts longer than the scratch buffer

TEST(LongTexts, NamesAndLabelsBeyondTheScratchBufferAreHandled) {
  UnitWorld f;
  std::string longName(70000, 'n');
  f.Start("string big; int a; int b; int c; int d;\r\n"
          "function main() {\r\n"
          "  big = \"" + longName + "\";\r\n"
          "  a = put_unit(big, {}, big);\r\n"
          "  b = put_unit(\"plane\", {}, big);\r\n"
          "  c = delete_unit_label(big);\r\n"
          "  active_path_label(big, 1);\r\n"
          "  release_object_label(big);\r\n"
          "  d = get_hp(2);\r\n"
          "}\r\n");
  f.Place(f.plane);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("a"), -1.0f);
  EXPECT_EQ(f.Number("b"), 2.0f);
  EXPECT_EQ(f.Number("c"), 1.0f);   // the long label matched whole
  EXPECT_EQ(f.Number("d"), -1.0f);  // and released by it
}

}  // namespace
