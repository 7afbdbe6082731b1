// api_vectors_test.cpp -- the vector calls' ray tests run from game
// scripts: the terrain test against placed map objects, the unit test
// against large units, the player unit, the units it leaves out and hits
// too far away; and every vector call given something that is not an
// object.

#include <gtest/gtest.h>

#include <string>

#include "api_fixture.h"
#include "render/model_fixture.h"
#include "units/units_public.h"
#include "world/world_local.h"

namespace {

using apitest::PlacingWorld;
using apitest::WorldFixture;

void ExpectPoint(script::CScriptArray* v, float x, float y, float z, const char* what) {
  ASSERT_NE(v, nullptr) << what;
  EXPECT_NEAR(script::GetMemberFloat(v, "x"), x, 1e-3f) << what;
  EXPECT_NEAR(script::GetMemberFloat(v, "y"), y, 1e-3f) << what;
  EXPECT_NEAR(script::GetMemberFloat(v, "z"), z, 1e-3f) << what;
  EXPECT_EQ(WorldFixture::MemberCount(v), 3) << what;
}

// A renderer without a device (models load, nothing is drawn), made before
// the world and gone after it, so the world's objects never outlive it.
struct Renderer {
  core::FilePackageTable packages;
  render::GraphicsSystem gs;
};

// A placing world with the renderer wired and the project's box model
// (-1 to 1 on every axis) in its folder.
struct RayWorld : Renderer, PlacingWorld {
  render::CMesh box;

  RayWorld() {
    test::WriteFile("box.x", rendertest::Fixture("box.x"));
    gs.packages = &packages;
    world.graphics = &gs;
    EXPECT_EQ(box.LoadXFile(gs, "box.x", 0), 1);
  }
  ~RayWorld() {
    for (int slot = 0; slot < world::CountUnitSlots(world); slot++)
      if (units::Unit* unit = world::GetUnitSlot(world, slot)) unit->SetObjectModel(nullptr);
    world.graphics = nullptr;
  }

  units::Unit* PlaceModel(units::UnitType* type, core::Vec3 at) {
    units::Unit* unit = Place(type, "", nullptr, at);
    if (!unit) return nullptr;
    unit->SetObjectModel(&box);
    unit->SetObjectPosition(at.x, at.y, at.z);
    return unit;
  }
};

// [SECTION] Terrain

TEST(VectorMapCollision, FirstMapObjectOnTheSegmentOrZero) {
  RayWorld f;
  f.Run("object down; object side; object shortOf; object past; object none;\r\n"
        "function main() {\r\n"
        "  none = vector_map_collision({x:10, y:50, z:20}, {x:10, y:-50, z:20});\r\n"
        "  load_map_master({GROUND_A:{MODEL_FILE:\"box.x\",ATTRIBUTE:[\"GROUND\"],SCALE:{x:100,y:1,z:100}},\r\n"
        "                   SHED:{MODEL_FILE:\"box.x\"}});\r\n"
        "  load_map_data([{ID:\"GROUND_A\",POS:{x:0,y:0,z:0}}, {ID:\"SHED\",POS:{x:500,y:10,z:0}}], 0, \"t\");\r\n"
        "  down = vector_map_collision({x:10, y:50, z:20}, {x:10, y:-50, z:20});\r\n"
        "  side = vector_map_collision({x:400, y:10.5, z:0}, {x:600, y:10.5, z:0});\r\n"
        "  shortOf = vector_map_collision({x:10, y:50, z:20}, {x:10, y:20, z:20});\r\n"
        "  past = vector_map_collision({x:5000, y:50, z:0}, {x:5000, y:-50, z:0});\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  ExpectPoint(f.Object("none"), 0, 0, 0, "an empty map");
  ExpectPoint(f.Object("down"), 10, 1, 20, "the ground's top face");
  ExpectPoint(f.Object("side"), 499, 10.5f, 0, "the shed's near face");
  ExpectPoint(f.Object("shortOf"), 0, 0, 0, "a segment that stops short");
  ExpectPoint(f.Object("past"), 0, 0, 0, "a segment beside the ground");
}

// [SECTION] Units

TEST(VectorUnitCollision, NearestLargeUnitOrThePlayerWithinReach) {
  RayWorld f;
  units::UnitType* large = f.AddType("large", 100, units::kAttrLarge);
  units::UnitType* small = f.AddType("small", 100, 0);
  units::UnitType* weapon = f.AddType("weapon", 100, units::kAttrLarge | units::kAttrWeapon);
  f.Start("object large; object player; object beside; object tooFar; object farFromNear;\r\n"
          "function main() {\r\n"
          "  large = vector_unit_collision({x:0.5, y:0.5, z:0}, {x:0.5, y:0.5, z:300});\r\n"
          "  player = vector_unit_collision({x:0.5, y:0.5, z:150}, {x:0.5, y:0.5, z:300});\r\n"
          "  beside = vector_unit_collision({x:50, y:0, z:0}, {x:50, y:0, z:300});\r\n"
          "  tooFar = vector_unit_collision({x:10.5, y:0.5, z:0}, {x:10.5, y:0.5, z:3000000});\r\n"
          "  farFromNear = vector_unit_collision({x:10.5, y:0.5, z:1500000}, {x:10.5, y:0.5, z:3000000});\r\n"
          "}\r\n");
  // Nearer than the large unit on the line: a weapon and a small unit, both
  // left out. The player unit counts whatever its type.
  ASSERT_NE(f.PlaceModel(weapon, {0, 0, 30}), nullptr);
  ASSERT_NE(f.PlaceModel(small, {0, 0, 60}), nullptr);
  ASSERT_NE(f.PlaceModel(large, {0, 0, 100}), nullptr);
  units::Unit* player = f.PlaceModel(small, {0, 0, 200});
  ASSERT_NE(player, nullptr);
  f.world.playerUnit = player;
  ASSERT_NE(f.PlaceModel(large, {10, 0, 2000000}), nullptr);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  ExpectPoint(f.Object("large"), 0.5f, 0.5f, 99, "the large unit's near face");
  ExpectPoint(f.Object("player"), 0.5f, 0.5f, 199, "the player unit's near face");
  ExpectPoint(f.Object("beside"), 0, 0, 0, "a segment that meets nothing");
  ExpectPoint(f.Object("tooFar"), 0, 0, 0, "a hit beyond 1,000,000 from the start");
  script::CScriptArray* near = f.Object("farFromNear");
  ASSERT_NE(near, nullptr);
  EXPECT_NEAR(script::GetMemberFloat(near, "z"), 1999999.0f, 1.0f) << "the same unit from nearer";
}

// [SECTION] Arguments that are not objects

TEST(VectorCalls, EveryCallRaisesItsNotAnObjectError) {
  struct Case {
    const char* call;
    const char* text;  // UTF-8
  } cases[] = {
      {"vector_cross(1, {})", "vector_cross関数の第1引数がオブジェクトではありません。"},
      {"vector_cross({}, \"x\")", "vector_cross関数の第2引数がオブジェクトではありません。"},
      {"vector_dir2rot({}, 0)", "vector_dir2rot関数の第2引数がオブジェクトではありません。"},
      {"vector_dot(2.5, {})", "vector_dot関数の第1引数がオブジェクトではありません。"},
      {"vector_dot({}, 1)", "vector_dot関数の第2引数がオブジェクトではありません。"},
      {"vector_length(\"v\")", "vector_length関数の第1引数がオブジェクトではありません。"},
      {"vector_map_collision(0, {})", "vector_map_collision関数の第1引数がオブジェクトではありません。"},
      {"vector_map_collision({}, 1)", "vector_map_collision関数の第2引数がオブジェクトではありません。"},
      {"vector_normalize(3)", "vector_normalize関数の第1引数がオブジェクトではありません。"},
      {"vector_rot2dir(0)", "vector_rot2dir関数の第1引数がオブジェクトではありません。"},
      {"vector_rot2up(\"r\")", "vector_rot2up関数の第1引数がオブジェクトではありません。"},
      {"vector_unit_collision(1, {})", "vector_unit_collision関数の第1引数がオブジェクトではありません。"},
      {"vector_unit_collision({}, 2)", "vector_unit_collision関数の第2引数がオブジェクトではありません。"},
  };
  for (const auto& c : cases) {
    WorldFixture f;
    f.Run(std::string("function main() {\r\n  print_log(\"before\");\r\n  ") + c.call + ";\r\n  print_log(\"after\");\r\n}\r\n");
    std::string error = f.RuntimeError();
    EXPECT_NE(error.find(test::Sjis(c.text)), std::string::npos) << c.call << "\n" << error;
    // The error ends the run at the call.
    std::string log = test::ReadFile("system.log");
    EXPECT_NE(log.find("before"), std::string::npos) << c.call;
    EXPECT_EQ(log.find("after"), std::string::npos) << c.call;
  }
}

}  // namespace
