// api_get_units_test.cpp -- the unit getters run from game scripts: values,
// texts, vectors and rotations read back after the test set them, bad
// handles for every call, the label and child searches and their handle
// arrays, path handles along open and looped paths, angle wrapping at its
// boundary, and texts longer than the scratch buffer.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "api_fixture.h"
#include "units/units_public.h"

namespace {

using core::Vec3;

constexpr float kDeg = 0.017453292f;

// A world with unit types for the getters: a plane that shows a HUD name
// (a live unit when it has HP), a BRANCH part and a prop without HUD name.
struct GetterWorld : apitest::PlacingWorld {
  units::UnitType* plane = nullptr;
  units::UnitType* part = nullptr;
  units::UnitType* prop = nullptr;

  GetterWorld() {
    plane = AddType("plane", 100, 0);
    plane->hudNameFile = "plane_name.png";
    plane->mode = 2;
    plane->headPos = Vec3{0, 1, 0};
    part = AddType("part", 100, units::kAttrBranch);
    part->hudNameFile = "part_name.png";
    prop = AddType("prop", 100, 0);
  }

  // A script of globals r0, r1, ... set in `main` to the expressions.
  void StartExpressions(const std::vector<std::string>& expressions) {
    std::string text;
    for (size_t i = 0; i < expressions.size(); i++) text += "variable r" + std::to_string(i) + ";\r\n";
    text += "function main() {\r\n";
    for (size_t i = 0; i < expressions.size(); i++)
      text += "  r" + std::to_string(i) + " = " + expressions[i] + ";\r\n";
    text += "}\r\n";
    Start(text);
  }

  // A global's value in a short form: "i:1", "f:0.5", "s:text",
  // "{x:1,y:2,z:3}" for an object, "[1,2,-1]" for an array.
  std::string Describe(const char* name) { return DescribeValue(Global(name)); }
  std::string R(size_t i) { return Describe(("r" + std::to_string(i)).c_str()); }

  static std::string Number(const script::CScriptValue* v) {
    char buffer[64];
    if (v->type == script::kValueInt) std::snprintf(buffer, sizeof buffer, "%d", v->data.i);
    else if (v->type == script::kValueFloat) std::snprintf(buffer, sizeof buffer, "%g", double(v->data.f));
    else return "?";
    return buffer;
  }

  static std::string DescribeValue(const script::CScriptValue* v) {
    if (!v) return "<none>";
    v = script::FollowRefer(v);
    switch (v->type) {
      case script::kValueInt: return "i:" + Number(v);
      case script::kValueFloat: return "f:" + Number(v);
      case script::kValueString: return "s:" + v->stringValue.str();
      case script::kValueCompound: {
        const script::CScriptArray* c = v->data.array;
        std::string out;
        bool isArray = true;
        for (int32_t i = 0; i < script::GetElementCount(c); i++) {
          const script::CScriptValue* e = script::GetElement(c, i);
          if (!e) continue;
          const char* elementName = script::GetElementName(c, i);
          bool indexed = elementName && elementName[0] == '[';
          isArray = isArray && indexed;
          if (!out.empty()) out += ",";
          out += indexed ? Number(e) : std::string(elementName ? elementName : "?") + ":" + Number(e);
        }
        return isArray && !out.empty() ? "[" + out + "]" : "{" + out + "}";
      }
      default: return "<type " + std::to_string(v->type) + ">";
    }
  }
};

// [SECTION] Values and texts read back

TEST(GetUnitValues, ReadBackWhatWasSet) {
  GetterWorld f;
  f.StartExpressions({"get_hp(1)", "get_hp_rate(1)", "get_damage(1)", "get_master(1)", "get_parent(1)",
                      "get_mode(1)", "get_pylon(1)", "get_score(1)", "get_engine_rpm(1)", "get_landing_rate(1)",
                      "get_speed(1)", "get_label(1)", "get_team_name(1)", "get_printed_name(1)", "get_unit_id(1)",
                      "get_master(2)", "get_parent(2)", "get_hp_rate(3)"});
  units::Unit* u = f.Place(f.plane, "lead");
  units::Unit* owner = f.Place(f.plane, "owner");
  units::Unit* carrier = f.Place(f.plane, "carrier");
  units::SetUnitHp(*u, 60, 100);
  units::SetUnitMaster(*u, owner);
  units::SetUnitParent(*u, carrier);
  u->currentWeaponSlot = 2;
  u->score = 7;
  units::SetUnitEngineRpm(*u, 0.5f);
  units::SetUnitLandingRate(*u, 0.25f);
  units::SetUnitVelocity(*u, Vec3{3, 4, 0});
  units::SetUnitTeam(*u, "blue");
  units::SetUnitPrintedTeam(*u, "shown");
  units::SetUnitHp(*carrier, 0, 100);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  const char* expected[] = {"i:60",   "f:0.6",   "i:40",      "i:2",       "i:3",       "i:2",
                            "i:2",    "i:7",     "f:0.5",     "f:0.25",    "f:5",       "s:lead",
                            "s:blue", "s:shown", "s:plane",   "i:-1",      "i:-1",      "f:0"};
  for (size_t i = 0; i < sizeof expected / sizeof expected[0]; i++) EXPECT_EQ(f.R(i), expected[i]) << "r" << i;
}

// A link to a record that was freed since names no unit.
TEST(GetUnitValues, LinksToFreedUnitsReadAsNone) {
  GetterWorld f;
  f.StartExpressions({"get_master(1)", "get_parent(1)"});
  units::Unit* u = f.Place(f.plane);
  units::Unit* owner = f.Place(f.plane);
  units::SetUnitMaster(*u, owner);
  world::ResetUnitSlot(f.world, owner->unitId);
  u->parent = owner;  // a stale link, as a pooled record can leave one
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.R(0), "i:-1");
  EXPECT_EQ(f.R(1), "i:-1");
  u->parent = nullptr;
}

TEST(GetUnitValues, AmmoOnlyForArmedSlotsWithChildren) {
  GetterWorld f;
  units::UnitType* missile = f.AddType("missile", 10, units::kAttrWeapon);
  f.StartExpressions({"get_ammo(1, 0)", "get_ammo(1, 1)", "get_ammo(1, 2)", "get_ammo(1, 4)", "get_ammo(1, -1)",
                      "get_ammo(1, 2147483647)"});
  units::Unit* u = f.Place(f.plane);
  units::Unit* child = f.Place(missile, "", u);
  u->weaponTypes[0] = missile;
  u->weaponChildren[0][3] = child;
  u->ammo[0][0] = 12;
  u->weaponTypes[1] = missile;  // armed, but nothing on its hard points
  u->ammo[1][0] = 5;
  u->ammo[2][0] = 9;            // no weapon type
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  const char* expected[] = {"i:12", "i:-1", "i:-1", "i:-1", "i:-1", "i:-1"};
  for (size_t i = 0; i < 6; i++) EXPECT_EQ(f.R(i), expected[i]) << "r" << i;
  for (auto& slot : u->weaponChildren) for (auto*& c : slot) c = nullptr;
}

// [SECTION] Vectors and rotations read back

TEST(GetUnitVectors, PositionsMotionScaleAndHead) {
  GetterWorld f;
  f.StartExpressions({"get_pos(2)", "get_local_pos(2)", "get_head_pos(1)", "get_mov(1)", "get_scale(1)",
                      "get_moment(1)", "get_control(1)", "get_screen_size()", "get_length(1, 2)",
                      "get_length(2, 2)"});
  units::Unit* u = f.Place(f.plane, "", nullptr, {10, 0, 0});
  f.Place(f.plane, "", u, {1, 2, 3});
  units::SetUnitVelocity(*u, Vec3{1, -2, 0.5f});
  units::SetUnitMoment(*u, Vec3{0.5f * kDeg * 10, 0, -90 * kDeg});
  units::SetUnitControl(*u, Vec3{0.25f, -0.5f, 0.75f});
  units::SetUnitControlExtra(*u, 1.0f);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.R(0), "{x:11,y:2,z:3}");  // carried by the parent
  EXPECT_EQ(f.R(1), "{x:1,y:2,z:3}");
  EXPECT_EQ(f.R(2), "{x:10,y:1,z:0}");
  EXPECT_EQ(f.R(3), "{x:1,y:-2,z:0.5}");
  EXPECT_EQ(f.R(4), "{x:1,y:1,z:1}");
  EXPECT_EQ(f.R(5), "{pitch:5,yaw:0,roll:-90}");
  EXPECT_EQ(f.R(6), "{roll:0.25,pitch:-0.5,yaw:0.75,power:1}");  // in that order, unconverted
  EXPECT_EQ(f.R(7), "{x:0,y:0,z:0}");                             // no renderer
  script::CScriptArray* screen = f.Global("r7")->data.array;
  EXPECT_EQ(script::FindMember(screen, "x")->type, script::kValueInt);
  EXPECT_EQ(f.R(8), "f:3.74166");  // |(1, 2, 3)|
  EXPECT_EQ(f.R(9), "f:0");
}

// Directions and orientation of a unit alone and of one carried by a turned,
// scaled parent: the world axes are the parent's scale long, the rotation
// is taken from their directions.
TEST(GetUnitVectors, DirectionsAndRotationsThroughTheParent) {
  GetterWorld f;
  f.StartExpressions({"get_dir(1)", "get_up(1)", "get_rot(1)", "get_dir(2)", "get_up(2)", "get_rot(2)",
                      "get_local_rot(2)"});
  units::Unit* parent = f.Place(f.plane, "", nullptr, {5, 5, 5});
  units::Unit* child = f.Place(f.plane, "", parent, {0, 0, 1});
  parent->SetObjectAngles(0, 90 * kDeg, 0);
  parent->SetObjectScale(2, 2, 2);
  child->SetObjectAngles(20 * kDeg, 0, 0);
  Vec3 parentFront = parent->GetObjectWorldFront();
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  auto vector = [&](size_t i) {
    script::CScriptArray* o = f.Global(("r" + std::to_string(i)).c_str())->data.array;
    return Vec3{script::GetMemberFloat(o, "x"), script::GetMemberFloat(o, "y"), script::GetMemberFloat(o, "z")};
  };
  auto rotation = [&](size_t i) {
    script::CScriptArray* o = f.Global(("r" + std::to_string(i)).c_str())->data.array;
    return Vec3{script::GetMemberFloat(o, "pitch"), script::GetMemberFloat(o, "yaw"),
                script::GetMemberFloat(o, "roll")};
  };
  Vec3 d1 = vector(0), u1 = vector(1), r1 = rotation(2);
  EXPECT_NEAR(d1.x, parentFront.x, 1e-5f);
  EXPECT_NEAR(d1.z, parentFront.z, 1e-5f);
  EXPECT_NEAR(std::fabs(d1.x), 1.0f, 1e-5f);  // yaw 90: along x
  EXPECT_NEAR(u1.y, 1.0f, 1e-5f);
  EXPECT_NEAR(r1.x, 0.0f, 1e-3f);
  EXPECT_NEAR(r1.y, 90.0f, 1e-3f);
  // The child: pitched 20 degrees on a parent turned 90 and scaled 2.
  Vec3 d2 = vector(3), u2 = vector(4), r2 = rotation(5);
  EXPECT_NEAR(std::sqrt(d2.x * d2.x + d2.y * d2.y + d2.z * d2.z), 2.0f, 1e-4f);
  EXPECT_NEAR(std::sqrt(u2.x * u2.x + u2.y * u2.y + u2.z * u2.z), 2.0f, 1e-4f);
  EXPECT_NEAR(d2.y, 2.0f * std::sin(20 * kDeg), 1e-4f);
  EXPECT_NEAR(r2.x, 20.0f, 1e-3f);
  EXPECT_NEAR(r2.y, 90.0f, 1e-3f);
  EXPECT_NEAR(r2.z, 0.0f, 1e-3f);
  EXPECT_EQ(f.R(6), "{pitch:20,yaw:0,roll:0}");
}

// Angles come back wrapped into [-3.141592, 3.141592) before they become
// degrees: 200 reads -160, the upper bound itself reads as the lower one.
TEST(GetUnitVectors, RotationsWrapAtTheBoundary) {
  struct Case {
    float radians;
    float degrees;
  } cases[] = {
      {200 * kDeg, -160.0f},
      {3.141592f, -3.141592f / kDeg},
      {-3.141592f, -3.141592f / kDeg},
      {3.1415f, 3.1415f / kDeg},
      {-3.1416f, (-3.1416f + 6.283184f) / kDeg},
      {720 * kDeg + 0.5f, 0.5f / kDeg},
      {-7 * 6.283184f - 1.0f, -1.0f / kDeg},
  };
  for (const Case& c : cases) {
    GetterWorld f;
    f.StartExpressions({"get_local_rot(1)", "get_rot(1)"});
    units::Unit* u = f.Place(f.plane);
    u->SetObjectAngles(c.radians, 0, 0);
    f.Finish();
    ASSERT_EQ(f.RuntimeError(), "") << c.radians;
    for (const char* name : {"r0", "r1"}) {
      script::CScriptArray* o = f.Global(name)->data.array;
      ASSERT_NE(o, nullptr) << name;
      EXPECT_NEAR(script::GetMemberFloat(o, "pitch"), c.degrees, 2e-3f) << name << " " << c.radians;
      EXPECT_GE(script::GetMemberFloat(o, "pitch"), -180.0f) << name << " " << c.radians;
      EXPECT_LT(script::GetMemberFloat(o, "pitch"), 180.0f) << name << " " << c.radians;
    }
  }
}

TEST(GetUnitVectors, TirePositionsAndTextureSizes) {
  render::TextureHolder holder;  // outlives the world that points at it
  holder.width = 64;
  holder.height = 32;
  GetterWorld f;
  f.StartExpressions({"get_tire_pos(1, -1)", "get_tire_pos(1, 1)", "get_tire_pos(1, 2)", "get_tire_pos(1, 16)",
                      "get_tire_pos(1, -2147483647)", "get_texture_size(1)", "get_texture_size(2)"});
  units::Unit* u = f.Place(f.plane, "", nullptr, {10, 0, 0});
  units::Unit* wheel = f.Place(f.prop, "", nullptr, {12, 0, 4});
  units::Unit* other = f.Place(f.prop, "", nullptr, {10, 3, 0});
  u->SetObjectScale(2, 2, 2);
  u->attachments[1] = wheel;  // slot 0 left empty
  u->attachments[2] = other;
  u->surface = &holder;
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.R(0), "{x:1,y:0,z:2}");  // the first held, in the scaled frame
  EXPECT_EQ(f.R(1), "{x:1,y:0,z:2}");
  EXPECT_EQ(f.R(2), "{x:0,y:1.5,z:0}");
  EXPECT_EQ(f.R(3), "i:1");  // past the attachments
  EXPECT_EQ(f.R(4), "{x:1,y:0,z:2}");
  EXPECT_EQ(f.R(5), "{x:64,y:32,z:0}");
  EXPECT_EQ(f.R(6), "{x:0,y:0,z:0}");  // neither surface nor model
  u->surface = nullptr;
  u->attachments[1] = u->attachments[2] = nullptr;
}

// [SECTION] Bad handles

// Every unit getter for -1, slot 0, an emptied slot, the slot count and a
// path point's handle: the row's value for a bad handle, or the preset.
TEST(GetUnitBadHandles, EveryCallGivesItsValueForABadHandle) {
  struct Row {
    const char* call;  // H is the handle
    const char* expected;
  } rows[] = {
      {"get_hp(H)", "i:-1"},
      {"get_hp_rate(H)", "f:0"},
      {"get_damage(H)", "i:0"},
      {"get_master(H)", "i:-1"},
      {"get_parent(H)", "i:-1"},
      {"get_mode(H)", "i:-1"},
      {"get_pylon(H)", "i:-1"},
      {"get_score(H)", "i:-1"},
      {"get_ammo(H, 0)", "i:-1"},
      {"get_engine_rpm(H)", "f:0"},
      {"get_landing_rate(H)", "f:0"},
      {"get_speed(H)", "f:0"},
      {"get_label(H)", "i:1"},
      {"get_team_name(H)", "i:1"},
      {"get_printed_name(H)", "i:1"},
      {"get_unit_id(H)", "s:"},
      {"get_pos(H)", "{x:0,y:0,z:0}"},
      {"get_local_pos(H)", "i:0"},
      {"get_head_pos(H)", "{x:0,y:0,z:0}"},
      {"get_mov(H)", "{x:0,y:0,z:0}"},
      {"get_scale(H)", "{x:1,y:1,z:1}"},
      {"get_dir(H)", "{x:0,y:0,z:0}"},
      {"get_up(H)", "{x:0,y:0,z:0}"},
      {"get_tire_pos(H, -1)", "i:1"},
      {"get_texture_size(H)", "i:1"},
      {"get_rot(H)", "{pitch:0,yaw:0,roll:0}"},
      {"get_local_rot(H)", "i:0"},
      {"get_moment(H)", "{pitch:0,yaw:0,roll:0}"},
      {"get_control(H)", "{roll:0,pitch:0,yaw:0,power:0}"},
      {"get_length(H, 1)", "f:0"},
      {"get_length(1, H)", "f:0"},
      {"get_child_handle(H, 0)", "i:0"},
      {"get_child_handle_array(H)", "i:1"},
  };
  GetterWorld probe;
  int slots = world::CountUnitSlots(probe.world);
  for (int handle : {-1, 0, 2, slots, 268435456}) {
    std::vector<std::string> expressions;
    for (const Row& row : rows) {
      std::string text = row.call;
      text.replace(text.find('H'), 1, std::to_string(handle));
      expressions.push_back(text);
    }
    GetterWorld f;
    f.StartExpressions(expressions);
    units::Unit* a = f.Place(f.plane, "a", nullptr, {1, 1, 1});
    units::Unit* b = f.Place(f.plane, "b", a);
    f.Place(f.plane, "c", a);
    units::SetUnitVelocity(*a, Vec3{1, 1, 1});
    units::SetUnitTeam(*b, "team");
    world::ResetUnitSlot(f.world, b->unitId);  // slot 2 emptied, its fields left behind
    ASSERT_NE(units::NewPathPoint(*f.world.pathPoints, 1, 1, 1, 1), nullptr);
    f.Finish();
    ASSERT_EQ(f.RuntimeError(), "") << handle;
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++)
      EXPECT_EQ(f.R(i), rows[i].expected) << expressions[i];
  }
}

// [SECTION] Searches by label, by parent and along paths

TEST(GetUnitHandles, LabelSearchesCountDownInPoolOrderWithinTheScene) {
  GetterWorld f;
  f.StartExpressions({"get_handle(\"x\", 0)", "get_handle(\"x\", 2)", "get_handle(\"x\", 3)",
                      "get_handle(\"x\", -5)", "get_handle(\"none\", 0)", "get_handle_array(\"x\")",
                      "get_handle_array(\"none\")", "get_handle_array(\"\")", "get_handle(\"w.x\", 0)"});
  f.Place(f.plane, "x");                                 // 1
  units::Unit* w = f.Place(f.plane, "w");                // 2
  f.Place(f.prop, "x", w);                               // 3, w.x
  units::Unit* elsewhere = f.Place(f.plane, "x");        // 4: of another scene
  elsewhere->sceneNumber = 1;
  units::Unit* untyped = f.Place(f.plane, "x");          // 5: no type
  f.Place(f.part, "x");                                  // 6
  f.Place(f.prop, "x");                                  // 7
  untyped->type = nullptr;
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  // 3 is "x" under the labelled "w": only the path "w.x" names it.
  const char* expected[] = {"i:1", "i:7", "i:-1", "i:1", "i:-1", "[1,6,7,-1]", "[-1]", "[1,2,3,6,7,-1]", "i:3"};
  for (size_t i = 0; i < sizeof expected / sizeof expected[0]; i++) EXPECT_EQ(f.R(i), expected[i]) << "r" << i;
  untyped->type = f.plane;
}

// Live units: in the scene, HP above 0, neither INERT nor of a BRANCH type,
// of a type that shows a HUD name.
TEST(GetUnitHandles, UnitSearchesTakeLiveUnitsOnly) {
  GetterWorld f;
  f.StartExpressions({"get_unit_handle(\"x\", 0)", "get_unit_handle(\"x\", 1)", "get_unit_handle(\"x\", 2)",
                      "get_unit_handle_array(\"x\")", "get_unit_num(\"x\")", "get_unit_num(\"\")",
                      "get_unit_handle_array(\"y\")", "get_unit_num(\"y\")", "get_unit_handle(\"y\", 0)"});
  units::Unit* dead = f.Place(f.plane, "x");    // 1
  f.Place(f.plane, "x");                        // 2
  units::Unit* inert = f.Place(f.plane, "x");   // 3
  f.Place(f.part, "x");                         // 4: BRANCH
  f.Place(f.prop, "x");                         // 5: no HUD name
  units::Unit* away = f.Place(f.plane, "x");    // 6: another scene
  f.Place(f.plane, "x");                        // 7
  f.Place(f.plane, "y");                        // 8
  units::Unit* deadY = f.Place(f.plane, "y");   // 9
  units::SetUnitHp(*dead, 0, 100);
  units::SetUnitHp(*deadY, 0, 100);
  inert->flags |= units::kUnitInert;
  away->sceneNumber = 3;
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  const char* expected[] = {"i:2", "i:7", "i:-1", "[2,7,-1]", "i:2", "i:3", "[8,-1]", "i:1", "i:8"};
  for (size_t i = 0; i < sizeof expected / sizeof expected[0]; i++) EXPECT_EQ(f.R(i), expected[i]) << "r" << i;
}

TEST(GetUnitHandles, UnitSearchesWithoutAnyLiveMatchGiveTheEmptyList) {
  GetterWorld f;
  f.StartExpressions({"get_unit_handle_array(\"x\")", "get_unit_handle(\"x\", 0)", "get_unit_num(\"x\")"});
  units::Unit* u = f.Place(f.plane, "x");
  units::SetUnitHp(*u, 0, 100);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.R(0), "[-1]");
  EXPECT_EQ(f.R(1), "i:-1");
  EXPECT_EQ(f.R(2), "i:0");
}

TEST(GetUnitHandles, ChildrenInPoolOrderWithinTheScene) {
  GetterWorld f;
  f.StartExpressions({"get_child_handle(1, 0)", "get_child_handle(1, 1)", "get_child_handle(1, 2)",
                      "get_child_handle(1, -1)", "get_child_handle_array(1)", "get_child_handle_array(2)",
                      "get_child_handle(2, 0)"});
  units::Unit* root = f.Place(f.plane);            // 1
  f.Place(f.plane);                                // 2: no children
  f.Place(f.plane, "", root);                      // 3
  f.Place(f.prop, "", root);                       // 4
  units::Unit* away = f.Place(f.plane, "", root);  // 5: another scene
  f.Place(f.plane, "", f.At(3));                   // 6: a grandchild
  away->sceneNumber = 2;
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  const char* expected[] = {"i:3", "i:4", "i:0", "i:3", "[3,4,-1]", "[-1]", "i:0"};
  for (size_t i = 0; i < sizeof expected / sizeof expected[0]; i++) EXPECT_EQ(f.R(i), expected[i]) << "r" << i;
}

// Points a, b, c linked a -> b -> c, and a loop p -> q -> r -> p: a positive
// n follows the previous-point links, a negative one the next-point links.
// A large n on the loop ends at once, where whole turns would.
TEST(GetUnitHandles, PathHandlesAlongOpenAndLoopedPaths) {
  GetterWorld f;
  f.StartExpressions({"get_path_handle(\"b\", 0)", "get_path_handle(\"b\", 1)", "get_path_handle(\"b\", -1)",
                      "get_path_handle(\"b\", 2)", "get_path_handle(\"b\", -2)", "get_path_handle(\"none\", 0)",
                      "get_path_handle(\"q\", 2000000000)", "get_path_handle(\"q\", -2147483647 - 1)",
                      "get_path_handle(\"q\", 4)"});
  units::PathPointPool& pool = *f.world.pathPoints;
  const char* labels[] = {"a", "b", "c", "p", "q", "r"};
  units::PathPoint* p[6];
  for (int i = 0; i < 6; i++) {
    p[i] = units::NewPathPoint(pool, 10 + i, 1, 1, 1);
    ASSERT_NE(p[i], nullptr);
    units::SetPathPointLabel(*p[i], labels[i]);
  }
  auto link = [](units::PathPoint* from, units::PathPoint* to) {
    units::SetNextPathPoint(*from, to);
    units::SetPrevPathPoint(*to, from);
  };
  link(p[0], p[1]);
  link(p[1], p[2]);
  link(p[3], p[4]);
  link(p[4], p[5]);
  link(p[5], p[3]);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  auto handle = [&](int i) { return "i:" + std::to_string(268435456 + p[i]->poolSlot); };
  EXPECT_EQ(f.R(0), handle(1));
  EXPECT_EQ(f.R(1), handle(0));
  EXPECT_EQ(f.R(2), handle(2));
  EXPECT_EQ(f.R(3), "i:-1");  // the path ends first
  EXPECT_EQ(f.R(4), "i:-1");
  EXPECT_EQ(f.R(5), "i:-1");
  EXPECT_EQ(f.R(6), handle(5));  // 2000000000 = 2 mod 3 back: q -> p -> r
  EXPECT_EQ(f.R(7), handle(3));  // 2147483648 = 2 mod 3 forward: q -> r -> p
  EXPECT_EQ(f.R(8), handle(3));  // 4 = 1 mod 3: back to p
}

TEST(GetUnitDistances, LengthByLabelTakesTheFirstShownUnitOfTheScene) {
  render::TextureHolder holder;
  GetterWorld f;
  f.StartExpressions({"get_length_label(\"a\", \"b\")", "get_length_label(\"a\", \"hidden\")",
                      "get_length_label(\"none\", \"a\")", "get_length_label(\"a\", \"a\")",
                      "get_length_label(\"p.b\", \"a\")"});
  units::Unit* a = f.Place(f.plane, "a", nullptr, {0, 0, 0});
  units::Unit* away = f.Place(f.plane, "b", nullptr, {100, 0, 0});  // another scene
  units::Unit* b = f.Place(f.plane, "b", nullptr, {3, 4, 0});
  units::Unit* later = f.Place(f.plane, "b", nullptr, {30, 40, 0});
  f.Place(f.plane, "hidden", nullptr, {1, 0, 0});                   // no model, no surface
  away->sceneNumber = 5;
  for (units::Unit* u : {a, away, b, later}) u->surface = &holder;
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  const char* expected[] = {"f:5", "f:-1", "f:-1", "f:0", "f:-1"};
  for (size_t i = 0; i < sizeof expected / sizeof expected[0]; i++) EXPECT_EQ(f.R(i), expected[i]) << "r" << i;
  for (units::Unit* u : {a, away, b, later}) u->surface = nullptr;
}

// [SECTION] Texts longer than the scratch buffer

// A text is cut to the 65,535 bytes the buffer holds beside its zero, and
// never inside a two-byte character.
TEST(GetUnitTexts, CutToTheScratchBufferAtWholeCharacters) {
  GetterWorld f;
  f.StartExpressions({"get_label(1)", "get_team_name(1)", "get_printed_name(1)", "get_label(2)"});
  units::Unit* u = f.Place(f.plane);
  units::Unit* v = f.Place(f.plane);
  std::string single(70000, 'n');
  std::string wide;
  for (int i = 0; i < 40000; i++) wide += "\x82\xa0";
  units::SetUnitLabel(*u, single.c_str());
  units::SetUnitTeam(*u, wide.c_str());
  units::SetUnitPrintedTeam(*u, ("a" + wide).c_str());
  units::SetUnitLabel(*v, "");
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Text("r0"), single.substr(0, 65535));
  EXPECT_EQ(f.Text("r1"), wide.substr(0, 65534));  // the next character would not fit whole
  EXPECT_EQ(f.Text("r2"), ("a" + wide).substr(0, 65535));
  EXPECT_EQ(f.Text("r3"), "");
}

}  // namespace
