// world_map_test.cpp -- map objects: the master's keys, terrains placed with
// children, written back and read again, master reloads, MEMORY models, the
// spatial tree's splits, ray casts and their filters, overlap, connection
// points, the aero-light queue and blink, and one offscreen draw.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "render/model_fixture.h"
#include "render/render_fixture.h"
#include "script/script_public.h"
#include "test_support.h"
#include "world/world_local.h"

namespace {

using world::MapObject;
using world::MapObjectDefinition;
using world::Vec3;

// A box from (5, 5, 5) to (10, 10, 10): its bounds lie off its origin.
const char* kOffCentreBox =
    "xof 0303txt 0032\nMesh { 8; 5;5;5;, 10;5;5;, 10;10;5;, 5;10;5;, 5;5;10;, 10;5;10;, 10;10;10;, 5;10;10;;"
    " 12; 3;0,2,1;, 3;0,3,2;, 3;4,5,6;, 3;4,6,7;, 3;0,4,7;, 3;0,7,3;, 3;1,2,6;, 3;1,6,5;, 3;3,7,6;, 3;3,6,2;,"
    " 3;0,1,5;, 3;0,5,4;; }";

// The master every test reads: box.x is the project's box from -1 to 1.
const char* kMaster = R"({
  GROUND_A:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND"],SCALE:{x:100,y:1,z:100}},
  TOWER:{ALIAS:"tower",MODEL_FILE:"box.x",SCALE:{x:2,y:10,z:2},GLARE_RATE:0.5,LIGHT_RATE:0.25,
         TEXTURE_LARGE_FILE:"t.bmp",TEXTURE_BUMP_FILE:"b.bmp",TEXTURE_BUMPED_FILE:"bb.bmp",
         TEXTURE_SPECULAR_FILE:"s.bmp",TEXTURE_LIGHT_FILE:"t.bmp",
         TEXTURE_STYLE:["light","Texture_Translucent","WRAP","CLAMP"],ATTRIBUTE:["tunnel","MIRROR_MAP"],
         AERO_LIGHT:[{POS:{x:0,y:1,z:0},TYPE:0},{POS:{x:0,y:1,z:1},TYPE:9}],
         CONNECTION_POS:[{x:1,y:0,z:0},{x:-1,y:0,z:0}],
         CHILD:[{ID:"LAMP",POS:{x:5,y:0,z:0},ROT:{y:90}}],
         CHILD_UNIT:[{ID:"TANK",POS:{x:1,y:2,z:3},ROT:{z:45}}]},
  LAMP:{MODEL_FILE:"box.x",ATTRIBUTE:["UNLISTED"]},
  RUNWAY:{MODEL_FILE:"box.x",ATTRIBUTE:["GROUND","LANDING"],SCALE:{x:10,y:1,z:50}},
  SHED:{MODEL_FILE:"box.x",TEXTURE_STYLE:["MIRROR","HIGHCOLOR"],CONNECTION_POS:[{x:1,y:0,z:0}]},
  KEEP:{MODEL_FILE:"box.x",ATTRIBUTE:["MEMORY"]},
  OFF:{MODEL_FILE:"off.x"},
  MISSING:{MODEL_FILE:"missing.x"},
  LOOP:{MODEL_FILE:"box.x",CHILD:[{ID:"LOOP",POS:{x:1}}]}
})";

class MapFixture : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", 0};
  core::FilePackageTable packages;
  render::GraphicsSystem gs;  // no device: models load, textures do not
  script::ScriptEngine se;
  world::GameWorld world;

  MapFixture() {
    test::WriteFile("box.x", rendertest::Fixture("box.x"));
    test::WriteFile("off.x", kOffCentreBox);
    gs.log = &log;
    gs.packages = &packages;
    world.log = &log;
    world.graphics = &gs;
  }
  ~MapFixture() override { world.graphics = nullptr; }

  // Compiles object text as the scene files compile a data file.
  const script::CScriptArray* Compile(const std::string& text) {
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    std::string source = "extern object __data__=\r\n" + text + "\r\n;\r\n";
    EXPECT_EQ(se.LoadScriptMemory(source.c_str(), "data.txt"), 1) << se.GetErrorListText();
    script::CScriptValue* v = se.FindGlobal("__data__");
    return v && v->type == script::kValueCompound ? v->data.array : nullptr;
  }
  void LoadMaster(const char* text = kMaster) { ASSERT_EQ(world::LoadMapMaster(world, Compile(text)), 1); }
  void Place(const std::string& terrain) { ASSERT_EQ(world::ReadMapPlacements(world, Compile(terrain), 0), 1); }
  MapObjectDefinition& Def(const char* name) {
    MapObjectDefinition* d = world::FindMapDefinition(world, name);
    EXPECT_NE(d, nullptr) << name;
    static MapObjectDefinition none;
    return d ? *d : none;
  }
  // Placed objects in table order (top-level only when asked).
  std::vector<MapObject*> Objects(bool topLevelOnly = false) {
    std::vector<MapObject*> out;
    for (int i = 0; i < world::GetObjectCapacity(world); i++) {
      MapObject* o = world::GetObjectAt(world, i);
      if (o && (!topLevelOnly || !o->parentObject)) out.push_back(o);
    }
    return out;
  }
  MapObject* Put(const char* name, Vec3 at, Vec3 rotation = {}) {
    return world::CreateMapObjectByName(world, at, rotation, name);
  }
};

const float kDeg = 0.017453292f;

// [SECTION] The master

TEST_F(MapFixture, MasterKeysFillTheDefinition) {
  LoadMaster();
  MapObjectDefinition& t = Def("TOWER");
  EXPECT_EQ(&Def("tower"), &t);  // found by alias too
  EXPECT_EQ(t.modelFile, "box.x");
  EXPECT_EQ(t.largeTextureFile, "t.bmp");
  EXPECT_EQ(t.bumpTextureFile, "bb.bmp");  // the BUMPED key replaces the bump file
  EXPECT_EQ(t.bumped, 1);
  EXPECT_EQ(t.specularTextureFile, "s.bmp");
  EXPECT_EQ(t.lightTextureFile, "t.bmp");
  EXPECT_FLOAT_EQ(t.glareRate, 0.5f);
  EXPECT_FLOAT_EQ(t.lightRate, 0.25f);
  EXPECT_EQ(t.textureStyle, int32_t(render::kTexAdditive | render::kTexAddressClamp));
  EXPECT_EQ(t.translucent, 0x2);
  EXPECT_EQ(t.attributes, world::kMapTunnel | world::kMapMirrorMap);
  EXPECT_VEC3_NEAR(t.scale, 2, 10, 2, 0);
  EXPECT_EQ(t.aeroLightType[0], 0);
  EXPECT_EQ(t.aeroLightType[1], 9);
  EXPECT_EQ(t.aeroLightType[2], -1);
  EXPECT_VEC3_NEAR(t.aeroLightPos[1], 0, 1, 1, 0);
  ASSERT_TRUE(t.hasConnectionPoints);
  EXPECT_VEC3_NEAR(t.connectionPoints[1], -1, 0, 0, 0);
  EXPECT_EQ(t.connectionPoints[2].x, world::kMapNoPoint);
  ASSERT_EQ(t.children.size(), 1u);
  EXPECT_EQ(t.children[0].definition, &Def("LAMP"));
  EXPECT_NEAR(t.children[0].rotation.y, 90 * kDeg, 1e-6);
  ASSERT_EQ(t.childUnits.size(), 1u);
  EXPECT_EQ(t.childUnits[0].typeName, "TANK");
  EXPECT_VEC3_NEAR(t.childUnits[0].position, 1, 2, 3, 0);
  EXPECT_NEAR(t.childUnits[0].rotation.z, 45 * kDeg, 1e-6);

  // Defaults of missing keys.
  MapObjectDefinition& lamp = Def("LAMP");
  EXPECT_FLOAT_EQ(lamp.glareRate, 0.1f);
  EXPECT_FLOAT_EQ(lamp.lightRate, -1.0f);
  EXPECT_VEC3_NEAR(lamp.scale, 1, 1, 1, 0);
  EXPECT_FALSE(lamp.hasConnectionPoints);
  EXPECT_EQ(lamp.aeroLightType[0], -1);
  EXPECT_EQ(lamp.bumped, 0);
  EXPECT_EQ(Def("SHED").textureStyle, int32_t(render::kTexAddressMirror | render::kTexAllow16Bit));

  // The name list leaves UNLISTED definitions out and ends with an empty name.
  int size = world::ListMapDefinitionNames(world, nullptr);
  std::string names(size_t(size), '?');
  EXPECT_EQ(world::ListMapDefinitionNames(world, names.data()), size);
  const char kNames[] = "GROUND_A\0TOWER\0RUNWAY\0SHED\0KEEP\0OFF\0MISSING\0LOOP\0";
  EXPECT_EQ(names, std::string(kNames, sizeof kNames));

  EXPECT_EQ(world::LoadMapMaster(world, nullptr), 0);
  EXPECT_EQ(world::ReadMapPlacements(world, nullptr, 0), 0);
  EXPECT_EQ(world::FindMapDefinition(world, "NOPE"), nullptr);
}

TEST_F(MapFixture, BrokenMasterAndTerrainEntriesTakeDefaults) {
  LoadMaster(R"({BAD:3,
                 ODD:{MODEL_FILE:7,SCALE:"x",CHILD:5,AERO_LIGHT:[{TYPE:2}],CONNECTION_POS:[1,{x:2}],
                      ATTRIBUTE:[4,"GROUND"],TEXTURE_STYLE:"LIGHT"},
                 OK:{MODEL_FILE:"box.x"}})");
  MapObjectDefinition& bad = Def("BAD");
  EXPECT_EQ(bad.modelFile, "");
  EXPECT_FLOAT_EQ(bad.glareRate, 0.1f);
  MapObjectDefinition& odd = Def("ODD");
  EXPECT_EQ(odd.modelFile, "");
  EXPECT_VEC3_NEAR(odd.scale, 1, 1, 1, 0);
  EXPECT_TRUE(odd.children.empty());
  EXPECT_EQ(odd.aeroLightType[0], -1);
  EXPECT_EQ(odd.attributes, world::kMapGround);
  EXPECT_EQ(odd.textureStyle, 0);
  EXPECT_TRUE(odd.hasConnectionPoints);
  EXPECT_EQ(odd.connectionPoints[0].x, world::kMapNoPoint);
  EXPECT_VEC3_NEAR(odd.connectionPoints[1], 2, 0, 0, 0);
  Place(R"([{ID:5,POS:"a"},"OK",{ID:"OK",POS:{x:"q",y:2}},{ID:"BAD"}])");
  std::vector<MapObject*> placed = Objects();
  ASSERT_EQ(placed.size(), 2u);
  EXPECT_VEC3_NEAR(placed[0]->position, 0, 2, 0, 0);
  EXPECT_EQ(placed[1]->model, nullptr);  // BAD names no model: placed without one
}

// [SECTION] Terrains

TEST_F(MapFixture, TerrainPlacesObjectsWithTheirChildrenAndLights) {
  LoadMaster();
  Place(R"([{ID:"TOWER",POS:{x:10,y:0,z:20},ROT:{y:90}},
            {ID:"tower",POS:{x:-5,y:0,z:0}},
            {ID:"NOPE",POS:{x:1,y:1,z:1}},
            3,
            {ID:"SHED",POS:{x:0,y:0,z:-40},ROT:{x:30}}])");
  std::vector<MapObject*> all = Objects();
  ASSERT_EQ(all.size(), 5u);  // two towers with a lamp each and the shed; NOPE places nothing
  std::vector<MapObject*> top = Objects(true);
  ASSERT_EQ(top.size(), 3u);
  MapObject* tower = top[0];
  EXPECT_EQ(tower->definition, &Def("TOWER"));
  EXPECT_VEC3_NEAR(tower->position, 10, 0, 20, 0);
  EXPECT_NEAR(tower->angles.y, 90 * kDeg, 1e-6);
  EXPECT_EQ(tower->angles.x, 0.0f);
  EXPECT_EQ(tower->attributes, world::kMapTunnel | world::kMapMirrorMap);
  EXPECT_FLOAT_EQ(tower->glareRate, 0.5f);
  EXPECT_FLOAT_EQ(tower->lightRate, 0.25f);
  ASSERT_NE(tower->model, nullptr);
  EXPECT_NE(tower->model->loadFlags & render::kMeshMirror, 0u);

  // The second tower, unturned: its lamp sits 5 units along x in the
  // tower's frame (scale 2), i.e. 10 units away.
  MapObject* second = top[1];
  EXPECT_EQ(second->definition, &Def("TOWER"));
  MapObject* lamp = nullptr;
  for (MapObject* o : all)
    if (o->parentObject == second) lamp = o;
  ASSERT_NE(lamp, nullptr);
  EXPECT_EQ(lamp->definition, &Def("LAMP"));
  EXPECT_EQ(lamp->GetObjectParent(), second);
  EXPECT_VEC3_NEAR(lamp->GetObjectWorldPosition(), 5, 0, 0, 1e-4);
  // The turned tower's lamp follows the turn.
  Vec3 turned = tower->TransformPointToWorld({5, 0, 0});
  for (MapObject* o : all) {
    if (o->parentObject == tower) EXPECT_VEC3_NEAR(o->GetObjectWorldPosition(), turned.x, turned.y, turned.z, 1e-4);
  }
  // Aero lights in world space: (0, 1, 0) of a tower at (-5, 0, 0), scale y 10.
  EXPECT_VEC3_NEAR(second->aeroLightWorld[0], -5, 10, 0, 1e-4);
  for (MapObject* o : all) EXPECT_TRUE(world::IsInSpatialTree(world, o));

  char name[32];
  EXPECT_EQ(world::GetMapObjectDefinitionName(lamp, nullptr), 5);
  EXPECT_EQ(world::GetMapObjectDefinitionName(lamp, name), 5);
  EXPECT_STREQ(name, "LAMP");
  EXPECT_EQ(world::GetObjectDefinition(lamp), &Def("LAMP"));
  EXPECT_EQ(world::GetObjectAt(world, -1), nullptr);

  // Removing a tower takes its lamp along, out of the table and the tree.
  world::RemoveMapObject(world, second);
  EXPECT_EQ(world::CountMapObjects(world), 3);
  EXPECT_FALSE(world::IsInSpatialTree(world, lamp));
  EXPECT_FALSE(world::IsInSpatialTree(world, second));
}

TEST_F(MapFixture, WrittenTerrainReadsBackToTheSameObjects) {
  LoadMaster();
  Place(R"([{ID:"TOWER",POS:{x:10.5,y:0,z:20},ROT:{y:90}},
            {ID:"tower",POS:{x:-5,y:2,z:0}},
            {ID:"SHED",POS:{x:0,y:0,z:-40},ROT:{x:30,z:-12.5}}])");
  ASSERT_EQ(world::WriteMapFile(world, "out.map"), 1);
  std::string text = test::ReadFile(work.Path() + "/out.map");
  const script::CScriptArray* written = Compile(text);
  ASSERT_NE(written, nullptr);
  int elements = 0;
  for (int i = 0; i < script::GetElementCount(written); i++) elements += script::GetElement(written, i) != nullptr;
  ASSERT_EQ(elements, 3);  // children are not written
  // An angle that is 0 is not written: the unturned tower has no ROT at all,
  // the shed has no ROT.y.
  EXPECT_EQ(script::FindMemberPath(script::GetElementCompound(written, 1), "ROT.x"), nullptr);
  EXPECT_EQ(script::FindMemberPath(script::GetElementCompound(written, 1), "ROT"), nullptr);
  EXPECT_EQ(script::FindMemberPath(script::GetElementCompound(written, 2), "ROT.y"), nullptr);
  EXPECT_NE(script::FindMemberPath(script::GetElementCompound(written, 2), "ROT.z"), nullptr);
  // Each object names its own definition (the tower was placed by alias,
  // the shed shows the same model file as the tower).
  EXPECT_STREQ(script::GetMemberString(script::GetElementCompound(written, 1), "ID"), "TOWER");
  EXPECT_STREQ(script::GetMemberString(script::GetElementCompound(written, 2), "ID"), "SHED");

  struct Seen {
    MapObjectDefinition* definition;
    Vec3 position, angles;
    int children;
  };
  auto snapshot = [&] {
    std::vector<Seen> out;
    for (MapObject* o : Objects(true)) {
      int children = 0;
      for (MapObject* c : Objects())
        if (c->parentObject == o) children++;
      out.push_back({o->definition, o->position, o->angles, children});
    }
    return out;
  };
  std::vector<Seen> before = snapshot();
  ASSERT_EQ(world::ReadMapPlacements(world, Compile(text), 0), 1);
  std::vector<Seen> after = snapshot();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); i++) {
    EXPECT_EQ(after[i].definition, before[i].definition) << i;
    EXPECT_VEC3_NEAR(after[i].position, before[i].position.x, before[i].position.y, before[i].position.z, 0);
    EXPECT_VEC3_NEAR(after[i].angles, before[i].angles.x, before[i].angles.y, before[i].angles.z, 0);
    EXPECT_EQ(after[i].children, before[i].children);
  }
  // Written again, the file keeps its bytes.
  ASSERT_EQ(world::WriteMapFile(world, "again.map"), 1);
  EXPECT_EQ(test::ReadFile(work.Path() + "/again.map"), text);
}

TEST_F(MapFixture, AFileThatCannotBeWrittenShowsTheBoxAndReturns0) {
  LoadMaster();
  Place(R"([{ID:"SHED",POS:{x:1,y:2,z:3}}])");
  test::WriteFile("kept.map", "old");
  test::MessageBoxRecorder boxes;
  int result;
  {
    platform::SetWholeFileSpaceForTesting(4);  // the disk fills after 4 bytes
    result = world::WriteMapFile(world, "kept.map");
    platform::SetWholeFileSpaceForTesting(-1);
  }
  EXPECT_EQ(result, 0);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("マップファイルの書き込みオープンに失敗しました。"));
  EXPECT_EQ(boxes.Boxes()[0].caption, "");
  EXPECT_EQ(test::ReadFile(work.Path() + "/kept.map"), "old");
}

// Reloading a master while objects stand on its definitions: the objects go
// first, so nothing is left pointing at a freed definition.
TEST_F(MapFixture, ReloadingAMasterReleasesThePlacedObjectsFirst) {
  LoadMaster();
  Place(R"([{ID:"TOWER",POS:{x:0,y:0,z:0}},{ID:"SHED",POS:{x:0,y:0,z:50}}])");
  MapObject* shed = Objects(true)[1];
  ASSERT_EQ(world::CountMapObjects(world), 3);
  LoadMaster(R"({SHED:{MODEL_FILE:"box.x",ALIAS:"hut"}})");
  EXPECT_EQ(world::CountMapObjects(world), 0);
  EXPECT_FALSE(world::IsInSpatialTree(world, shed));
  EXPECT_EQ(shed->definition, nullptr);
  EXPECT_EQ(world::RayCastMapObjects(world, {0, 0, -100}, {0, 0, 100}, 0x3, nullptr, nullptr), nullptr);
  EXPECT_EQ(script::GetElementCount(Compile(world::BuildMapFileText(world))), 0);
  EXPECT_EQ(world::FindMapDefinition(world, "TOWER"), nullptr);
  // The new definitions place as usual.
  ASSERT_NE(Put("hut", {0, 0, 0}), nullptr);
  EXPECT_EQ(world::CountMapObjects(world), 1);
}

TEST_F(MapFixture, MemoryDefinitionsKeepTheirModelsAcrossATerrainRead) {
  LoadMaster();
  Place(R"([{ID:"KEEP",POS:{x:0,y:0,z:0}},{ID:"SHED",POS:{x:0,y:0,z:50}}])");
  ASSERT_TRUE(Def("KEEP").modelLoaded);
  ASSERT_TRUE(Def("SHED").modelLoaded);
  Place("[]");
  EXPECT_EQ(world::CountMapObjects(world), 0);
  EXPECT_TRUE(Def("KEEP").modelLoaded);
  EXPECT_EQ(Def("KEEP").model.containerCount, 1);
  EXPECT_FALSE(Def("SHED").modelLoaded);
  EXPECT_EQ(Def("SHED").model.containerCount, 0);
  // A released model loads again on the next placement.
  ASSERT_NE(Put("SHED", {0, 0, 0})->model, nullptr);
  EXPECT_EQ(Def("SHED").model.containerCount, 1);
}

// An object whose model did not load is still placed: the next placements
// never take its entry, and it is written back.
TEST_F(MapFixture, AnObjectWithoutModelKeepsItsEntry) {
  LoadMaster();
  Place(R"([{ID:"MISSING",POS:{x:7,y:0,z:0}}])");
  MapObject* missing = Objects()[0];
  EXPECT_EQ(missing->model, nullptr);
  for (int i = 0; i < 300; i++) ASSERT_NE(Put("SHED", {float(i), 0, 0}), nullptr);
  EXPECT_EQ(world::CountMapObjects(world), 301);
  EXPECT_EQ(missing->definition, &Def("MISSING"));
  EXPECT_EQ(world::GetObjectCapacity(world), 512);
  const script::CScriptArray* written = Compile(world::BuildMapFileText(world));
  EXPECT_STREQ(script::GetMemberString(script::GetElementCompound(written, 0), "ID"), "MISSING");
}

TEST_F(MapFixture, ADefinitionThatNamesItselfAsChildStops) {
  LoadMaster();
  ASSERT_NE(Put("LOOP", {0, 0, 0}), nullptr);
  EXPECT_EQ(world::CountMapObjects(world), 17);
}

// [SECTION] The spatial tree

TEST_F(MapFixture, TheTreeShowsTheSystemBoxWhenItLoads) {
  LoadMaster();
  // Without the system files the tree goes on without boxes.
  Place(R"([{ID:"SHED",POS:{x:0,y:0,z:0}}])");
  EXPECT_EQ(world.map->boxModel.containerCount, 0);
  EXPECT_EQ(world.map->root.model, nullptr);
  test::RunCommand("mkdir -p ZadAzorad");
  test::WriteFile("ZadAzorad/systembox.x", rendertest::Fixture("box.x"));
  EXPECT_EQ(world::LoadSystemBox(world), 1);
  Place(R"([{ID:"SHED",POS:{x:0,y:0,z:0}},{ID:"SHED",POS:{x:4,y:0,z:0}}])");
  EXPECT_EQ(world.map->root.model, &world.map->boxModel);
  EXPECT_VEC3_NEAR(world.map->root.position, 2, 0, 0, 1e-5);
  EXPECT_VEC3_NEAR(world.map->root.scale, 3, 1, 1, 1e-5);  // half size, at least 1
  EXPECT_VEC3_NEAR(world.map->rootBox.scale, 100000000.0f, 100000000.0f, 100000000.0f, 0);
}

TEST_F(MapFixture, TreeSplitsAboveFiveObjectsOnTheWidestAxis) {
  LoadMaster();
  struct Case {
    const char* what;
    std::vector<Vec3> at;
    const char* big;  // a large object at the origin, or null
    int rootKeeps;
    int axis;  // the axis the children split on (-1: no children)
  };
  const Case cases[] = {
      {"five never split", {{-100, 0, 0}, {-50, 0, 0}, {0, 0, 0}, {50, 0, 0}, {100, 0, 0}}, nullptr, 5, -1},
      {"six along x", {{-100, 1, 0}, {-90, -1, 2}, {-80, 0, 0}, {80, 0, -2}, {90, 2, 0}, {100, 0, 1}}, nullptr, 0, 0},
      {"six along z", {{0, 0, -100}, {1, 0, -90}, {0, 2, -80}, {0, 0, 80}, {-2, 0, 90}, {0, 1, 100}}, nullptr, 0, 2},
      {"a large object stays", {{-100, 0, 0}, {-90, 0, 0}, {90, 0, 0}, {100, 0, 0}, {95, 0, 0}}, "GROUND_A", 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Place("[]");
    std::vector<MapObject*> placed;
    for (const Vec3& p : c.at) placed.push_back(Put("SHED", p));
    if (c.big) placed.push_back(Put(c.big, {0, 0, 0}));
    world::BuildSpatialTree(world);
    world::SpatialTreeNode& root = world.map->root;
    int kept = 0;
    for (MapObject* item : root.items) kept += item != nullptr;
    EXPECT_EQ(kept, c.rootKeeps);
    EXPECT_EQ(root.itemCapacity, 16);
    if (c.axis < 0) {
      EXPECT_EQ(root.child[0], nullptr);
      EXPECT_EQ(root.child[1], nullptr);
      continue;
    }
    ASSERT_NE(root.child[0], nullptr);
    ASSERT_NE(root.child[1], nullptr);
    // Child 0 holds what lies below the mean on the axis, child 1 the rest.
    auto axisOf = [&](const Vec3& v) { return c.axis == 0 ? v.x : c.axis == 1 ? v.y : v.z; };
    for (int k = 0; k < 2; k++)
      for (MapObject* item : root.child[k]->items)
        if (item) {
          EXPECT_EQ(axisOf(item->position) < 0, k == 0);
        }
    for (MapObject* o : placed) EXPECT_TRUE(world::IsInSpatialTree(world, o));
    // The root's box holds every object.
    for (MapObject* o : placed) {
      EXPECT_LE(root.extentMin.x, o->position.x - 1);
      EXPECT_GE(root.extentMax.z, o->position.z + 1);
    }
  }
}

TEST_F(MapFixture, ObjectsWhoseBoxesLieOffTheirPositionsDoNotSplitForEver) {
  LoadMaster();
  for (int i = 0; i < 8; i++) Put("OFF", {0, 0, 0});
  world::BuildSpatialTree(world);
  int kept = 0;
  for (MapObject* item : world.map->root.items) kept += item != nullptr;
  EXPECT_EQ(kept, 8);
}

TEST_F(MapFixture, ObjectsWithoutLightRateGetOneFromTheirPosition) {
  LoadMaster();
  MapObject* shed = Put("SHED", {3, 4, 0});  // |p| = 5: 50000 mod 9973 = 135
  MapObject* tower = Put("TOWER", {3, 4, 0});
  world::BuildSpatialTree(world);
  EXPECT_FLOAT_EQ(shed->lightRate, 136.0f / 9973.0f);
  EXPECT_FLOAT_EQ(tower->lightRate, 0.25f);
  MapObjectDefinition* previous = world::SetMapObjectDefinition(shed, &Def("TOWER"));
  EXPECT_EQ(previous, &Def("SHED"));
  EXPECT_FLOAT_EQ(shed->lightRate, 0.25f);
}

// [SECTION] Ray casts and overlap

TEST_F(MapFixture, SegmentsHitTheNearestObjectThroughTheFilters) {
  LoadMaster();
  // A ground slab (y -1..1), a building of 4 x 20 x 4 at (10, 0, 20), a
  // runway (GROUND and LANDING) far off, and enough objects to split.
  Place(R"([{ID:"GROUND_A",POS:{x:0,y:0,z:0}},
            {ID:"TOWER",POS:{x:10,y:0,z:20}},
            {ID:"SHED",POS:{x:10,y:0,z:60}},
            {ID:"RUNWAY",POS:{x:500,y:0,z:0}},
            {ID:"SHED",POS:{x:-300,y:0,z:0}},
            {ID:"SHED",POS:{x:-320,y:0,z:0}},
            {ID:"SHED",POS:{x:-340,y:0,z:0}}])");
  MapObject* building = Objects(true)[1];

  // A known building: the segment along z meets its near face at z = 18.
  Vec3 hit{}, normal{};
  EXPECT_EQ(world::RayCastMapObjects(world, {10, 5, 0}, {10, 5, 100}, 0x2, &hit, &normal), building);
  EXPECT_VEC3_NEAR(hit, 10, 5, 18, 1e-4);
  EXPECT_VEC3_NEAR(normal, 0, 0, -1, 1e-5);
  // From the far side the shed at z = 60 is nearer.
  MapObject* farShed = world::RayCastMapObjects(world, {10, 0.5f, 100}, {10, 0.5f, 0}, 0x2, &hit, nullptr);
  ASSERT_NE(farShed, nullptr);
  EXPECT_VEC3_NEAR(hit, 10, 0.5f, 61, 1e-4);

  struct Case {
    Vec3 a, b;
    int filter;
    const char* expect;  // definition name of the hit, or null
  };
  const Case cases[] = {
      {{50, 10, 50}, {50, -10, 50}, 0x1, "GROUND_A"},
      {{50, 10, 50}, {50, -10, 50}, 0x2, nullptr},   // flags 2 ignore GROUND objects
      {{10, 5, 0}, {10, 5, 100}, 0x1, nullptr},      // flags 1 ignore the others
      {{10, 5, 0}, {10, 5, 100}, 0x13, nullptr},     // 0x13: LANDING objects only
      {{50, 10, 50}, {50, -10, 50}, 0x13, nullptr},
      {{500, 10, 0}, {500, -10, 0}, 0x13, "RUNWAY"},
      {{500, 10, 0}, {500, -10, 0}, 0x2, nullptr},
      {{0, 50, 0}, {0, 40, 0}, 0x3, nullptr},        // stops short of everything
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.filter) + (c.expect ? c.expect : " none"));
    MapObject* o = world::RayCastMapObjects(world, c.a, c.b, c.filter, nullptr, nullptr);
    if (!c.expect) {
      EXPECT_EQ(o, nullptr);
    } else {
      ASSERT_NE(o, nullptr);
      EXPECT_EQ(o->definition->name, c.expect);
    }
  }
  // Bit 4: a node's own box counts, its first object answering.
  EXPECT_EQ(world::RayCastMapObjects(world, {0, 50, 0}, {0, 40, 0}, 0x4, nullptr, nullptr), nullptr);
  // Between two sheds, through the box of the node that holds the three.
  EXPECT_EQ(world::RayCastMapObjects(world, {-310, 0.5f, 30}, {-310, 0.5f, -30}, 0x3, nullptr, nullptr), nullptr);
  MapObject* boxHit = world::RayCastMapObjects(world, {-310, 0.5f, 30}, {-310, 0.5f, -30}, 0x4, &hit, nullptr);
  ASSERT_NE(boxHit, nullptr);
  EXPECT_EQ(boxHit->definition, &Def("SHED"));
  EXPECT_VEC3_NEAR(hit, -310, 0.5f, 1, 1e-4);

  // The world's segment tests: the terrain by its mode, the world with 19.
  EXPECT_EQ(world::CastRayAgainstTerrain(world, &hit, nullptr, {10, 5, 0}, {10, 5, 100}, 2), 1);
  EXPECT_EQ(world::CastRayAgainstTerrain(world, &hit, nullptr, {10, 5, 0}, {10, 5, 100}, 0), 0);
  EXPECT_EQ(world::CastRayAgainstWorld(world, nullptr, &hit, {10, 5, 0}, {10, 5, 100}), 0);
  EXPECT_EQ(world::CastRayAgainstWorld(world, nullptr, &hit, {500, 10, 0}, {500, -10, 0}), 1);
  EXPECT_VEC3_NEAR(hit, 500, 1, 0, 1e-4);
}

TEST_F(MapFixture, WorldSegmentsTakeTheNearerOfMapObjectsAndUnits) {
  LoadMaster();
  Place(R"([{ID:"RUNWAY",POS:{x:0,y:0,z:0}}])");
  render::CMesh box;
  ASSERT_EQ(box.LoadXFile(gs, "box.x", 0), 1);
  auto type = std::make_unique<units::UnitType>();
  type->key = "HANGAR";
  units::UnitType* hangar = type.get();
  world.unitDatabase->types.push_back(std::move(type));
  auto landing = std::make_unique<units::UnitType>();
  landing->key = "PAD";
  landing->attributes = units::kAttrLanding;
  units::UnitType* pad = landing.get();
  world.unitDatabase->types.push_back(std::move(landing));
  units::Unit* above = world::PutUnit(world, "A", hangar, 1, "", 0, {0, 5, 0}, Vec3{}, nullptr);
  ASSERT_NE(above, nullptr);
  above->SetObjectModel(&box);
  above->SetObjectPosition(0, 5, 0);
  units::Unit* higher = world::PutUnit(world, "A", pad, 1, "", 0, {0, 8, 0}, Vec3{}, nullptr);
  ASSERT_NE(higher, nullptr);
  higher->SetObjectModel(&box);
  higher->SetObjectPosition(0, 8, 0);
  // Models given by hand, not by the units' types: the slots' marks are
  // renewed as a world step would.
  world::RenewUnitModelMarks(world);

  Vec3 hit{};
  // The unit at y 5 (top face 6) is nearer than the runway (top 1); the
  // unit of a LANDING type at y 8 is not tested.
  ASSERT_EQ(world::CastRayAgainstWorld(world, nullptr, &hit, {0.5f, 20, 0.5f}, {0.5f, -20, 0.5f}), 1);
  EXPECT_VEC3_NEAR(hit, 0.5f, 6, 0.5f, 1e-4);
  // Skipping that unit leaves the runway.
  ASSERT_EQ(world::CastRayAgainstWorld(world, above, &hit, {0.5f, 20, 0.5f}, {0.5f, -20, 0.5f}), 1);
  EXPECT_VEC3_NEAR(hit, 0.5f, 1, 0.5f, 1e-4);
  above->SetObjectModel(nullptr);
  higher->SetObjectModel(nullptr);
}

TEST_F(MapFixture, OverlapMirrorSearchAndConnectionPoints) {
  LoadMaster();
  Place(R"([{ID:"GROUND_A",POS:{x:0,y:0,z:0}},{ID:"SHED",POS:{x:30,y:5,z:0}},{ID:"TOWER",POS:{x:-30,y:0,z:0}}])");
  render::CMesh box;
  ASSERT_EQ(box.LoadXFile(gs, "box.x", 0), 1);
  render::DisplayObject probe;
  probe.SetObjectModel(&box);
  probe.SetObjectPosition(30.5f, 5.5f, 0);
  EXPECT_EQ(world::MapObjectOverlap(world, &probe, 0x2), Objects(true)[1]);
  EXPECT_EQ(world::MapObjectOverlap(world, &probe, 0x1), nullptr);
  probe.SetObjectPosition(20, 0.5f, 20);
  ASSERT_NE(world::MapObjectOverlap(world, &probe, 0x1), nullptr);
  EXPECT_EQ(world::MapObjectOverlap(world, &probe, 0x1)->definition, &Def("GROUND_A"));
  probe.SetObjectPosition(20, 50, 20);
  EXPECT_EQ(world::MapObjectOverlap(world, &probe, 0x3), nullptr);

  // The tower is MIRROR_MAP; none left gives the origin.
  EXPECT_VEC3_NEAR(world::FindNearestMirrorMapObject(world, {0, 100, 0}), -30, 0, 0, 0);

  // The shed's point (1, 0, 0), at (31, 5, 0), is nearest to the tower's
  // (1, 0, 0), at (-28, 0, 0) under its scale 2 (59.2 away).
  MapObject* shed = Objects(true)[1];
  Vec3 snapped = world::SnapToConnectionPoint(world, shed, 100);
  EXPECT_VEC3_NEAR(snapped, 30 - 59, 0, 0, 1e-4);
  EXPECT_VEC3_NEAR(world::SnapToConnectionPoint(world, shed, 10), 30, 5, 0, 0);
  EXPECT_VEC3_NEAR(world::SnapToConnectionPoint(world, Objects(true)[0], 1000), 0, 0, 0, 0);
  probe.SetObjectModel(nullptr);
}

// [SECTION] Aero lights

TEST_F(MapFixture, AeroLightQueueHolds4096AndBlinkingLightsFollowTheirCycle) {
  for (int i = 0; i < world::kAeroLightQueueSize; i++) ASSERT_EQ(world::QueueAeroLight(world, {}, 1, -1), i);
  EXPECT_EQ(world::QueueAeroLight(world, {}, 1, -1), -1);
  EXPECT_EQ(world::QueueAeroLight(world, {}, -1, 0), 0);
  EXPECT_EQ(world::CountAeroLights(world), 0);

  // A blinking light is lit on 79 steps of every 120; 41 of them show it at
  // the full size 10 (on 39 its width passes the cap).
  int lit = 0, full = 0, capped = 0;
  for (int frame = 0; frame < 120; frame++) {
    float size = world::AeroLightBlinkSize(frame, 7);
    lit += size > 0;
    full += size == 10.0f;
    int o = (frame + 7) % 120;
    capped += ((o <= 60 ? o : 120 - o) - 20) * 0.5f > 10.0f;
  }
  EXPECT_EQ(lit, 79);
  EXPECT_EQ(full, 41);
  EXPECT_EQ(capped, 39);
  EXPECT_EQ(world::AeroLightBlinkSize(-5, 0), world::AeroLightBlinkSize(115, 0));

  // A tower's lights: kind 0 blinks, kind 9 burns steadily at its own size.
  LoadMaster();
  MapObject* tower = Put("TOWER", {0, 0, 0});
  int queued = 0;
  for (int frame = 0; frame < 120; frame++) {
    world::QueueAeroLight(world, {}, -1, 0);
    world::QueueObjectAeroLights(world, tower, frame);
    queued += world::CountAeroLights(world);
  }
  EXPECT_EQ(queued, 79 + 120);
  world::QueueAeroLight(world, {}, -1, 0);
  world::QueueObjectAeroLights(world, tower, 40 - tower->blinkPhase);
  ASSERT_EQ(world::CountAeroLights(world), 2);
  EXPECT_EQ(world.map->aeroQueue[0].kind, 0);
  EXPECT_FLOAT_EQ(world.map->aeroQueue[0].size, 10.0f);
  EXPECT_FLOAT_EQ(world.map->aeroQueue[1].size, -1.0f);
  EXPECT_VEC3_NEAR(world.map->aeroQueue[1].position, 0, 10, 2, 1e-5);
}

// [SECTION] Drawing

class MapDrawTest : public rendertest::RenderFixture {};

TEST_F(MapDrawTest, AnOffscreenFrameDrawsSkyObjectsAndLights) {
  Start(1, 64, 48);
  test::ScopedWorkFolder work;
  test::WriteFile("box.x", rendertest::Fixture("box.x"));
  core::FilePackageTable packages;
  gs.packages = &packages;
  core::SettingsBlock settings;
  core::ResetSettings(&settings);
  world::GameWorld world;
  world.graphics = &gs;
  world.settings = &settings;
  script::ScriptEngine se;
  se.ClearScriptEngine();
  se.ResetScriptEngine(nullptr, nullptr);
  std::string source = std::string("extern object m=\r\n") + kMaster +
                       "\r\n;\r\nextern object t=\r\n[{ID:\"TOWER\",POS:{x:0,y:0,z:30}}]\r\n;\r\n";
  ASSERT_EQ(se.LoadScriptMemory(source.c_str(), "data.txt"), 1) << se.GetErrorListText();
  ASSERT_EQ(world::LoadMapMaster(world, se.FindGlobal("m")->data.array), 1);
  ASSERT_EQ(world::ReadMapPlacements(world, se.FindGlobal("t")->data.array, world::kMapQualityLarge), 1);
  world::SetupSkyLayers(world);
  UseTarget(64, 48);
  gs.SetCamera3D({0, 0, 0}, {0, 0, 1}, {0, 1, 0}, 1.0f);
  world::SetMapView(world, {0, 0, 0}, 3000);
  world.environment.blend = 0.5f;
  world.environment.lightRate = 1.0f;  // the lights are on
  world::DrawSkyLayers(world);
  world::DrawMapObjects(world, 50);
  EXPECT_GE(world::CountAeroLights(world), 1);  // the steady light at least
  world::DrawAeroLights(world);
  world::QueueAeroLight(world, {}, -1, 0);
  // Facing away, nothing of the tower is drawn or queued.
  gs.SetCamera3D({0, 0, 0}, {0, 0, -1}, {0, 1, 0}, 1.0f);
  world::DrawMapObjects(world, 50);
  EXPECT_EQ(world::CountAeroLights(world), 0);
}

}  // namespace
