// world_scene_files_test.cpp -- scene files: terrain and placement files read
// through the wrapper compile, groups put from the placement records, live
// paths from the path-point records, the system types of the unit master and
// the scene written back and read again.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/core_public.h"
#include "test_support.h"
#include "world/world_local.h"

namespace {

using units::PathPoint;

// Three types: a plane, a tank with a turret child, and a dust type under
// the fallback key only.
const char* kMaster =
    "{\r\n"
    " PLANE:{NAME:\"Plane\"},\r\n"
    " TURRET:{NAME:\"Turret\"},\r\n"
    " TANK:{NAME:\"Tank\",CHILD:[{ID:\"TURRET\",POS:{x:0,y:2,z:0},LABEL:\"Top\"}]},\r\n"
    " __SYSTEM__YOU:{NAME:\"You\"},\r\n"
    " __SYSTEM__DUST:{NAME:\"Dust\"},\r\n"
    " __SYSTEM__DUST_03:{NAME:\"Dust 3\"},\r\n"
    " __SYSTEM__NO_WEAPON:{NAME:\"None\"}\r\n"
    "}\r\n";

// Two grouped units, one without a group on a looping path, the path's
// last point LOOP and an ACTIVE point with a script.
const char* kPlacements =
    "[\r\n"
    " {ID:\"PLANE\",GROUP:\"AIR\",POS:{x:10,y:50,z:0},LABEL:\"P1\",TEAM:\"RED\",PATH:\"Ring\",LEVEL:3,"
    "OPTION:[\"TARGET\"]},\r\n"
    " {ID:\"TANK\",GROUP:\"LAND\",POS:{x:-5,y:0,z:7},ROT:{y:90},LABEL:\"T1\",TEAM:\"BLUE\"},\r\n"
    " {ID:\"PLANE\",POS:{x:0,y:80,z:0},LABEL:\"Free\",OPTION:[\"BARRIER\"]},\r\n"
    " {UNIT_PATH:[\r\n"
    "  {POS:{x:0,y:50,z:0},LABEL:\"Ring\",OPTION:[\"OFF_CURVE\"]},\r\n"
    "  {POS:{x:100,y:50,z:0},LABEL:\"Gate\",COMMAND:\"PASTTIME\",OPE:[\"\",\"5\"],SCRIPT:`\r\nint passed;`,"
    "OPTION:[\"ON_CURVE\",\"ACTIVE\"]},\r\n"
    "  {POS:{x:100,y:50,z:100},OPTION:[\"OFF_CURVE\"]},\r\n"
    "  {POS:{x:0,y:50,z:100},OPTION:[\"ON_CURVE\",\"LOOP\"]}\r\n"
    " ]}\r\n"
    "]\r\n";

class SceneFiles : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  std::unique_ptr<core::LogSystem> log = std::make_unique<core::LogSystem>("system.log", core::kLogInfo);
  render::CMesh placeholder;  // any model makes a unit one the scene shows
  world::GameWorld world;
  // The owner window of the boxes: the recorder answers before anything
  // would touch it.
  platform::Window* window = reinterpret_cast<platform::Window*>(&placeholder);

  void SetUp() override {
    world.log = log.get();
    // The path points' scripts include the system headers.
    test::WriteFile("zadazorad/script/system.inc", "// system\r\n");
    test::WriteFile("zadazorad/script/mission.inc", "// mission\r\n");
    ReadMaster(kMaster);
  }
  void TearDown() override {
    world.ResetWorld();  // the units let go of the placeholder
  }

  void ReadMaster(const char* text) {
    test::WriteFile("master.txt", text);
    script::ScriptEngine& se = world.scriptEngine;
    ASSERT_EQ(se.LoadScriptMemory("extern object __master=\r\n#include \"master.txt\"\r\n;\r\n", "master"), 1)
        << se.GetErrorListText();
    script::CScriptValue* master = se.FindGlobal("__master");
    ASSERT_EQ(world::load_unit_master(world, script::FollowRefer(master)->data.array), 1);
    se.ReleaseGlobal(master);  // the types keep no part of the object
  }
  units::UnitDatabase& Db() { return *world.unitDatabase; }
  int Records() {
    int n = 0;
    for (units::PlacementRecord* r : Db().placements) n += r != nullptr;
    return n;
  }
  int PathRecords() {
    int n = 0;
    for (units::PathPointRecord* r : Db().pathPoints) n += r != nullptr;
    return n;
  }
  units::Unit* UnitLabelled(const char* label) {
    for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
      units::Unit* u = world::GetUnitAt(world, slot);
      if (u && std::string(u->label.Get()) == label) return u;
    }
    return nullptr;
  }
  int Listed(int list) {
    int n = 0;
    for (PathPoint* p : world.triggerLists.lists[size_t(list)]) n += p != nullptr;
    return n;
  }
  PathPoint* Point(const char* label) { return units::FindPathPointByLabel(*world.pathPoints, label); }
  std::string Log() {
    log.reset();
    std::string text = test::ReadFile("system.log");
    log = std::make_unique<core::LogSystem>("system.log", core::kLogInfo);
    world.log = log.get();
    return text;
  }
};

// The include line escapes the name: backslashes (and a quote) in a name
// still reach the file. The log names both stages.
TEST_F(SceneFiles, APlacementFileNamedWithBackslashesIsRead) {
  test::WriteFile("Scene's/one.plc", kPlacements);
  EXPECT_EQ(world::LoadUnitPlacementFile(world, "Scene's\\one.plc", 0, window), 1);
  EXPECT_EQ(Records(), 3);
  EXPECT_EQ(PathRecords(), 4);
  EXPECT_TRUE(boxes.Boxes().empty());
  std::string log = Log();
  size_t interpret = log.find(test::Sjis("ユニット配置ファイル解釈処理開始"));
  ASSERT_NE(interpret, std::string::npos);
  EXPECT_NE(log.find(test::Sjis("ユニット配置ファイル取込処理開始"), interpret), std::string::npos);
  // The global was given back: the same kind of file reads again.
  EXPECT_EQ(world.FindScriptGlobal("__system_unitdata"), nullptr);
  EXPECT_EQ(world::LoadUnitPlacementFile(world, "Scene's/one.plc", 0, nullptr), 1);
  EXPECT_EQ(Records(), 6);
}

TEST_F(SceneFiles, ATerrainFileIsReadThroughItsOwnGlobal) {
  test::WriteFile("map_master.txt", "{GROUND:{ATTRIBUTE:[\"GROUND\"]},HUT:{ALIAS:\"Hut\"}}\r\n");
  script::ScriptEngine& se = world.scriptEngine;
  ASSERT_EQ(se.LoadScriptMemory("extern object __maps=\r\n#include \"map_master.txt\"\r\n;\r\n", "maps"), 1);
  ASSERT_EQ(world::load_map_master(world, script::FollowRefer(se.FindGlobal("__maps"))->data.array), 1);
  test::WriteFile("maps/a.map", "[{ID:\"GROUND\",POS:{x:0,y:0,z:0}},{ID:\"Hut\",POS:{x:5,y:0,z:5}}]\r\n");
  EXPECT_EQ(world::LoadTerrainFile(world, "maps\\a.map", 0, window), 1);
  EXPECT_EQ(world::CountMapObjects(world), 2);
  EXPECT_EQ(world::LoadTerrainFile(world, "maps/a.map", 0, window), 1);
  EXPECT_EQ(world::CountMapObjects(world), 2);  // replaced, not added to
  // Saved under a name without extension: ".map" is added.
  EXPECT_EQ(world::SaveMapFile(world, "maps/saved"), 1);
  EXPECT_NE(test::ReadFile("maps/saved.map").find("HUT"), std::string::npos) << test::ReadFile("maps/saved.map");
  EXPECT_TRUE(boxes.Boxes().empty());
  std::string log = Log();
  EXPECT_NE(log.find(test::Sjis("地形ファイル解釈処理開始")), std::string::npos);
  EXPECT_NE(log.find(test::Sjis("地形ファイル取込処理開始")), std::string::npos);
}

// A file that does not compile: 0, one "CompileError" box with every error
// (given a window), the error file, and the scene as it was. A good file
// read after it is read (the old errors do not count against it).
TEST_F(SceneFiles, ABrokenFileIsReportedAndTheWorldGoesOn) {
  test::WriteFile("good.plc", kPlacements);
  ASSERT_EQ(world::LoadUnitPlacementFile(world, "good.plc", 0, nullptr), 1);
  test::WriteFile("broken.map", "[\r\n{ID:\"A\",POS:{x:1,y:}}\r\n");
  EXPECT_EQ(world::LoadTerrainFile(world, "broken.map", 0, window), 0);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "CompileError");
  EXPECT_NE(boxes.Boxes()[0].text.find("broken.map("), std::string::npos) << boxes.Boxes()[0].text;
  EXPECT_EQ(boxes.Boxes()[0].text, world.scriptEngine.GetErrorListText());
  EXPECT_NE(test::ReadFile("CompileError.txt").find("broken.map("), std::string::npos);
  EXPECT_EQ(Records(), 3);

  // Without a window nothing is shown.
  test::WriteFile("broken.plc", "[{ID:\"PLANE\",POS:{x:1 y:2}}\r\n");
  EXPECT_EQ(world::LoadUnitPlacementFile(world, "broken.plc", 0, nullptr), 0);
  EXPECT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(Records(), 3);

  EXPECT_EQ(world::LoadUnitPlacementFile(world, "good.plc", 0, window), 1);
  EXPECT_EQ(Records(), 6);
  EXPECT_EQ(world::put_group(world, "AIR", world::kSceneTextureFlags, 1), 2);
}

// A file that compiles but leaves no data object in the global: -1, and a
// warning box captioned with the engine's name when a window is given.
TEST_F(SceneFiles, AFileWithoutItsDataObjectGivesMinusOne) {
  test::WriteFile("odd.map", "[1]; extern int __system_mapdata\r\n");
  EXPECT_EQ(world::LoadTerrainFile(world, "odd.map", 0, window), -1);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("マップ配置データ[__system_mapdata]が存在しません。"));
  EXPECT_EQ(boxes.Boxes()[0].caption, "Tarnwick4.22");
  EXPECT_EQ(boxes.Boxes()[0].flags, unsigned(platform::kMbOk | platform::kMbIconWarning));

  test::WriteFile("odd.plc", "[1]; extern int __system_unitdata\r\n");
  EXPECT_EQ(world::LoadUnitPlacementFile(world, "odd.plc", 0, window), -1);
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[1].text, test::Sjis("ユニット配置データ[__system_unitdata]が存在しません。"));
  EXPECT_EQ(world::LoadUnitPlacementFile(world, "odd.plc", 0, nullptr), -1);
  EXPECT_EQ(boxes.Boxes().size(), 2u);
}

// put_group with no group puts every record: a record without a group
// names its unit's group, children count, a path puts the unit on it.
TEST_F(SceneFiles, PutGroupPlacesRecordsWithTheirGroupsAndPaths) {
  test::WriteFile("one.plc", kPlacements);
  ASSERT_EQ(world::LoadUnitPlacementFile(world, "one.plc", 0, nullptr), 1);
  ASSERT_EQ(world::CreatePathsFromPoints(world, 1, 1), 4);
  EXPECT_EQ(world::put_group(world, "", 0x7800, 1), 4);  // plane, tank and turret, plane
  EXPECT_EQ(Db().loadFlags & 0x207800u, 0x7800u);

  units::Unit* p1 = UnitLabelled("P1");
  units::Unit* t1 = UnitLabelled("T1");
  units::Unit* loose = UnitLabelled("Free");
  ASSERT_TRUE(p1 && t1 && loose);
  EXPECT_STREQ(units::GetUnitGroup(*p1), "AIR");
  EXPECT_STREQ(units::GetUnitGroup(*t1), "LAND");
  EXPECT_STREQ(units::GetUnitGroup(*loose), "__SYSTEM_UNIT_PLACED__");
  EXPECT_STREQ(units::GetUnitPathLabel(*p1), "Ring");
  EXPECT_EQ(units::GetUnitPath(*p1), Point("Ring"));
  EXPECT_EQ(p1->state, units::kUnitStateFollowPath);
  EXPECT_EQ(units::GetUnitPath(*t1), nullptr);
  EXPECT_TRUE(p1->flags & units::kUnitTarget);
  EXPECT_TRUE(loose->flags & units::kUnitBarrier);
  EXPECT_FALSE(p1->flags & units::kUnitFrozen);
  EXPECT_NEAR(t1->GetObjectAngles().y, 1.5707963f, 1e-5f);

  // One group, frozen: only its units, the child frozen with its parent.
  world.ResetWorld();
  ASSERT_EQ(world::LoadUnitPlacementFile(world, "one.plc", 0, nullptr), 1);
  EXPECT_EQ(world::put_group(world, "LAND", world::kSceneTextureFlags, 0), 2);
  ASSERT_NE(UnitLabelled("T1"), nullptr);
  EXPECT_EQ(UnitLabelled("P1"), nullptr);
  units::Unit* top = UnitLabelled("Top");
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(UnitLabelled("T1")->flags & units::kUnitFrozen);
  EXPECT_TRUE(top->flags & units::kUnitFrozen);
  EXPECT_EQ(world::put_group(world, "NOBODY", world::kSceneTextureFlags, 1), 0);
  EXPECT_EQ(world::load_group(world, nullptr), 0);
}

// A LOOP closes the chain; a ring of next links without LOOP is still
// walked once. Active points are listed; the script of a point compiles.
TEST_F(SceneFiles, LoopPathsCloseAndRingsAreWalkedOnce) {
  test::WriteFile("one.plc", kPlacements);
  ASSERT_EQ(world::LoadUnitPlacementFile(world, "one.plc", 0, nullptr), 1);
  units::UnitDatabase& db = Db();
  // A ring of three records linked round without a LOOP.
  units::PathPointRecord* ring[3];
  for (int i = 0; i < 3; i++) {
    int k = units::SetPathPointRecord(db, -1, {float(i), 0, 500}, "", ("R" + std::to_string(i)).c_str(), "", 0,
                                      nullptr, 0, "", "");
    ring[i] = db.pathPoints[size_t(k)];
  }
  for (int i = 0; i < 3; i++) ring[i]->next = ring[(i + 1) % 3];

  EXPECT_EQ(world::CreatePathsFromPoints(world, 1, 1), 7);
  EXPECT_EQ(world.scriptEngine.errors.count, 0) << world.scriptEngine.GetErrorListText();
  PathPoint* first = Point("Ring");
  ASSERT_NE(first, nullptr);
  PathPoint* last = first->next->next->next;
  EXPECT_EQ(last->next, first);
  EXPECT_EQ(first->prev, last);
  EXPECT_EQ(Point("Gate")->active, 1);
  EXPECT_EQ(Listed(units::kTriggerAuto), 1);
  // Each ring record made one point.
  for (int i = 0; i < 3; i++) {
    ASSERT_NE(ring[i]->livePoint, nullptr);
    EXPECT_EQ(ring[i]->livePoint, Point(("R" + std::to_string(i)).c_str()));
  }
  EXPECT_EQ(Point("R0")->next, Point("R1"));
  EXPECT_EQ(Point("R1")->next, Point("R2"));
}

// An error in a point's script is shown at once in the error window, with
// the hint to report the error file (outside edit mode).
TEST_F(SceneFiles, ACompileErrorInAPathScriptIsShown) {
  std::string shown;
  world.host.user = &shown;
  world.host.showErrorWindow = [](void* user, const char* text) { *static_cast<std::string*>(user) = text; };
  units::SetPathPointRecord(Db(), -1, {0, 0, 0}, "bad.plc", "Bad", "\r\nint a = ;", units::kPathActive, nullptr, 0,
                            "", "");
  EXPECT_EQ(world::CreatePathsFromPoints(world, 1, 0), 1);
  EXPECT_NE(shown.find("Bad("), std::string::npos) << shown;
  EXPECT_NE(shown.find(test::Sjis("\n\n[CompileError.txt]の内容を製作者に報告してください。")), std::string::npos);
  // Without compiling there is nothing to show.
  shown.clear();
  world.ResetWorld();
  units::SetPathPointRecord(Db(), -1, {0, 0, 0}, "bad.plc", "Bad", "\r\nint a = ;", 0, nullptr, 0, "", "");
  EXPECT_EQ(world::CreatePathsFromPoints(world, 0, 0), 1);
  EXPECT_EQ(shown, "");
}

// The scene saved and read back gives the same records, the ACTIVE option
// of its path points included (else the reloaded triggers would be dead).
TEST_F(SceneFiles, ASavedSceneReadsBackTheSame) {
  world.gameLevel = 0;  // levels placed as recorded
  test::WriteFile("one.plc", kPlacements);
  ASSERT_EQ(world::LoadUnitPlacementFile(world, "one.plc", 0, nullptr), 1);
  ASSERT_EQ(world::CreatePathsFromPoints(world, 0, 0), 4);
  ASSERT_EQ(world::put_group(world, nullptr, world::kSceneTextureFlags, 1), 4);
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++)
    if (units::Unit* u = world::GetUnitAt(world, slot)) u->SetObjectModel(&placeholder);
  // Units that have moved away are saved where they stand.
  UnitLabelled("T1")->SetObjectPosition(-6, 0, 9);

  EXPECT_EQ(world::SaveScene(world, "saved"), 1);  // ".plc" added
  std::string saved = test::ReadFile("saved.plc");
  ASSERT_FALSE(saved.empty());

  world.ResetWorld();
  ASSERT_EQ(world::LoadUnitPlacementFile(world, "saved.plc", 0, nullptr), 1);
  ASSERT_EQ(Records(), 3);  // the child turret is its tank's, not a record
  ASSERT_EQ(PathRecords(), 4);
  const units::PlacementRecord* tank = nullptr;
  const units::PlacementRecord* loose = nullptr;
  for (const units::PlacementRecord* r : Db().placements) {
    if (r && r->label == "T1") tank = r;
    if (r && r->label == "Free") loose = r;
  }
  ASSERT_TRUE(tank && loose);
  EXPECT_EQ(tank->type->key, "TANK");
  EXPECT_EQ(tank->group, "LAND");
  EXPECT_EQ(tank->team, "BLUE");
  EXPECT_FLOAT_EQ(tank->position.x, -6.0f);
  EXPECT_FLOAT_EQ(tank->position.z, 9.0f);
  EXPECT_NEAR(tank->rotation.y, 1.5707963f, 1e-5f);
  EXPECT_EQ(loose->group, "__SYSTEM_UNIT_PLACED__");
  EXPECT_EQ(loose->options, uint32_t(units::kPlaceBarrier));

  // The path comes back whole: its order, curve flags, trigger, script,
  // its ACTIVE point and the loop.
  ASSERT_EQ(world::CreatePathsFromPoints(world, 1, 1), 4);
  PathPoint* ring = Point("Ring");
  ASSERT_NE(ring, nullptr);
  PathPoint* gate = ring->next;
  ASSERT_NE(gate, nullptr);
  EXPECT_EQ(gate->label, "Gate");
  EXPECT_EQ(gate->onCurve, 1);
  EXPECT_EQ(gate->active, 1);
  EXPECT_EQ(gate->triggerCommand, uint32_t(units::kTriggerPastTime));
  EXPECT_STREQ(units::GetPathPointOperand(*gate, 1), "5");
  EXPECT_EQ(gate->eventScript, "int passed;");
  EXPECT_EQ(ring->active, 0);
  EXPECT_EQ(ring->prev, gate->next->next);
  EXPECT_EQ(Listed(units::kTriggerAuto), 1);

  // Saved again unchanged, the file keeps its bytes.
  world::put_group(world, nullptr, world::kSceneTextureFlags, 1);
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++)
    if (units::Unit* u = world::GetUnitAt(world, slot)) u->SetObjectModel(&placeholder);
  EXPECT_EQ(world::SaveScene(world, "again.plc"), 1);
  EXPECT_EQ(test::ReadFile("again.plc"), saved);
}

// The system types: found by key, the first dust type falling back to
// the plain dust key, missing ones null; the dust unit uses the first.
TEST_F(SceneFiles, SystemTypesAreFoundInTheUnitMaster) {
  ASSERT_NE(world.systemYouType, nullptr);
  EXPECT_EQ(world.systemYouType->key, "__SYSTEM__YOU");
  ASSERT_NE(world.dustTypes[0], nullptr);
  EXPECT_EQ(world.dustTypes[0]->key, "__SYSTEM__DUST");
  EXPECT_EQ(world.dustTypes[1], nullptr);
  ASSERT_NE(world.dustTypes[3], nullptr);
  EXPECT_EQ(world.dustTypes[3]->key, "__SYSTEM__DUST_03");
  ASSERT_NE(world.noWeaponType, nullptr);
  units::Unit* dust = world::PutSystemDust(world, {1, 2, 3}, {0, 0, 1});
  ASSERT_NE(dust, nullptr);
  EXPECT_EQ(dust->type, world.dustTypes[0]);

  // A numbered first dust type wins over the plain one.
  ReadMaster("{__SYSTEM__DUST_00:{NAME:\"Dust 0\"}}\r\n");
  ASSERT_NE(world.dustTypes[0], nullptr);
  EXPECT_EQ(world.dustTypes[0]->key, "__SYSTEM__DUST_00");
  // The database keeps the types read before: still found.
  EXPECT_NE(world.noWeaponType, nullptr);
  world.SetWorldDefaults();
  EXPECT_EQ(world.noWeaponType, nullptr);
}

// The reset flag empties the world first; the records are read with the
// scene's texture layers and the TEXTURE_MODE quality bits.
TEST_F(SceneFiles, AResetLoadStartsFromAnEmptyWorldWithTheTextureBits) {
  test::WriteFile("one.plc", kPlacements);
  ASSERT_EQ(world::LoadUnitPlacementFile(world, "one.plc", 0, nullptr), 1);
  ASSERT_EQ(world::put_group(world, nullptr, world::kSceneTextureFlags, 1), 4);
  ASSERT_EQ(world::LoadUnitPlacementFile(world, "one.plc", 1, nullptr), 1);
  EXPECT_EQ(Records(), 3);  // the records of before went with the reset
  EXPECT_EQ(UnitLabelled("P1"), nullptr);

  core::SettingsBlock settings;
  core::ResetSettings(&settings);
  world.settings = &settings;
  const struct {
    int mode;
    uint32_t flags;
  } cases[] = {{0, 0x207802}, {1, 0x207882}, {2, 0x207902}, {3, 0x207802}};
  for (const auto& c : cases) {
    settings.textureMode = c.mode;
    ASSERT_EQ(world::LoadUnitPlacementFile(world, "one.plc", 0, nullptr), 1);
    EXPECT_EQ(Db().loadFlags, c.flags) << c.mode;
  }
  world.settings = nullptr;
}

TEST_F(SceneFiles, ExtensionsAreAddedOnlyWhenMissing) {
  EXPECT_EQ(world::SaveScene(world, "plain"), 1);
  EXPECT_TRUE(platform::PathExists("plain.plc"));
  EXPECT_EQ(world::SaveScene(world, "named.txt"), 1);
  EXPECT_TRUE(platform::PathExists("named.txt"));
  EXPECT_FALSE(platform::PathExists("named.txt.plc"));
  EXPECT_EQ(world::SaveScene(world, "dir.d/plain"), 0);  // no such folder: nothing written
  EXPECT_FALSE(platform::PathExists("dir.d/plain"));
}

}  // namespace
