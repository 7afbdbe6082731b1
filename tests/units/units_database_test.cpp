// units_database_test.cpp -- the unit master reader, its defaults and
// conversions, the lookups and the name list.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "script/script_public.h"
#include "test_support.h"
#include "units/units_local.h"

namespace {

using units::UnitType;

class MasterFixture : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  script::ScriptEngine se;
  units::UnitDatabase db;

  // Compiles object text as a master is compiled and returns the object.
  const script::CScriptArray* Compile(const std::string& text) {
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    std::string source = "extern object __master__=\r\n" + text + "\r\n;\r\n";
    EXPECT_EQ(se.LoadScriptMemory(source.c_str(), "master.txt"), 1) << se.GetErrorListText();
    script::CScriptValue* v = se.FindGlobal("__master__");
    return v && v->type == script::kValueCompound ? v->data.array : nullptr;
  }
  UnitType* Read(const std::string& text) {
    const script::CScriptArray* master = Compile(text);
    EXPECT_NE(master, nullptr);
    EXPECT_EQ(units::ReadUnitMaster(db, master), 1);
    return nullptr;
  }
  UnitType& Type(const char* key) {
    UnitType* type = units::FindUnitTypeByKey(db, key);
    EXPECT_NE(type, nullptr) << key;
    static UnitType none;
    return type ? *type : none;
  }
};

const float kDeg = units::kDegreesToRadians;
const float kUndefined = units::kUndefinedPoint;

TEST_F(MasterFixture, MissingKeysTakeTheirDefaults) {
  Read("{BARE:{}}");
  UnitType& t = Type("BARE");
  EXPECT_EQ(t.slotIndex, 0);
  EXPECT_EQ(t.alias, "");
  EXPECT_EQ(t.typeValue, 0);
  EXPECT_FLOAT_EQ(t.weight, 1);
  EXPECT_EQ(t.reloadTime, 1);
  EXPECT_EQ(t.defense, 0);
  EXPECT_FLOAT_EQ(t.scale.y, 1);
  EXPECT_FLOAT_EQ(t.mobility.x, 100 * kDeg);
  EXPECT_FLOAT_EQ(t.mobility.y, 15 * kDeg);
  EXPECT_FLOAT_EQ(t.mobility.z, 5 * kDeg);
  EXPECT_FLOAT_EQ(t.lockedOn[3], 1.0f);
  EXPECT_EQ(t.weaponCycle[2], 300);
  EXPECT_FLOAT_EQ(t.weaponScope[0].left, 3.141592f);
  EXPECT_FLOAT_EQ(t.weaponScope[3].bottom, -1.570796f);
  EXPECT_EQ(t.enginePos[0].x, kUndefined);
  EXPECT_EQ(t.weaponPos[3][3].x, kUndefined);
  EXPECT_EQ(t.tirePos.z, kUndefined);
  EXPECT_EQ(t.attributes, 0u);
  EXPECT_TRUE(t.scatter.empty());
  EXPECT_TRUE(t.children.empty());
  EXPECT_EQ(t.gunType, nullptr);
}

TEST_F(MasterFixture, KeysAreReadWithTheirUnitsAndConversions) {
  Read(R"({F16:{ALIAS:"F-16",NAME:"Falcon",TYPE:"PLANE",MODE:2,DEFENSE:450,WEIGHT:12.5,SPEED:3,
        VECTOR_RATE:20,MOBILITY:{pitch:90,yaw:30,roll:180},STABILITY:0.5,POWER:2,
        MODEL_FILE:"models/f16.x",TEXTURE_LARGE_FILE:"f16.png",TEXTURE_BUMP_FILE:"f16h.png",
        ENGINE_POS:[{x:1,y:2,z:3}],ENGINE_ROT:[{x:90,y:0,z:0}],GUN_POS:[{x:0,y:0,z:5}],
        WEAPON_POS:[[{x:1,y:-1,z:0},{x:-1,y:-1,z:0}]],WEAPON_ROT:[[{x:0,y:45,z:0}]],
        HEAD_POS:{x:0,y:1,z:2},SCALE:{x:2,y:2,z:2},TIRE_POS:{x:0,y:-1,z:0},
        PAYLOAD:[2,4],LOCK_ON:[0.5],LOCKED_ON:[0.25],RANGE:[100,200,300,400],GUN_DAMAGE:[5,6,7,8],
        GUN_HEAT:3,GUN_CYCLE:4,GUN_PRECISION:0.1,WEAPON_CYCLE:[60],
        WEAPON_SCOPE:[{left:30,right:-30,top:10,bottom:-10}],DAMAGE:[9],PRECISION:[0.2],HUD_SIZE:16,
        RELOAD_TIME:0,BLAST:1.5,WEAPON_DELAY:[1,2],WING_NAME:["wl","wr"],GLARE_RATE:0.75,
        HUD_IMAGE_FILE:"hud.png",ENGINE_SOUND_FILE:"jet.wav",FIRE_MODEL_FILE:["fire.x"],
        TEXTURE_STYLE:["light","Sprite","wrap","nonsense"],ATTRIBUTE:["weapon","Branch","MEMORY","x"]}})");
  UnitType& t = Type("F16");
  EXPECT_EQ(t.alias, "F-16");
  EXPECT_EQ(t.name, "Falcon");
  EXPECT_EQ(t.typeName, "PLANE");
  EXPECT_EQ(t.typeValue, units::kTypePlane);
  EXPECT_EQ(t.mode, 2);
  EXPECT_EQ(t.defense, 450);
  EXPECT_FLOAT_EQ(t.weight, 12.5f);
  EXPECT_FLOAT_EQ(t.vectorRate, 0.2f);
  EXPECT_FLOAT_EQ(t.mobility.x, 90 * kDeg);
  EXPECT_FLOAT_EQ(t.mobility.z, 180 * kDeg);
  EXPECT_EQ(t.modelFile, "models/f16.x");
  EXPECT_EQ(t.textureBumpFile, "f16h.png");
  EXPECT_FALSE(t.bumpFromBumpedKey);
  EXPECT_FLOAT_EQ(t.enginePos[0].y, 2);
  EXPECT_EQ(t.enginePos[1].x, kUndefined);  // missing elements keep the default
  EXPECT_FLOAT_EQ(t.engineRot[0].x, 90 * kDeg);
  EXPECT_FLOAT_EQ(t.gunPos[0].z, 5);
  EXPECT_FLOAT_EQ(t.weaponPos[0][1].x, -1);
  EXPECT_EQ(t.weaponPos[0][2].x, kUndefined);
  EXPECT_EQ(t.weaponPos[1][0].x, kUndefined);
  EXPECT_FLOAT_EQ(t.weaponRot[0][0].y, 45 * kDeg);
  EXPECT_FLOAT_EQ(t.headPos.z, 2);
  EXPECT_FLOAT_EQ(t.scale.x, 2);
  EXPECT_FLOAT_EQ(t.tirePos.y, -1);
  EXPECT_EQ(t.payload[1], 4);
  EXPECT_EQ(t.payload[2], 0);
  EXPECT_FLOAT_EQ(t.lockedOn[0], 0.25f);
  EXPECT_FLOAT_EQ(t.lockedOn[1], 1.0f);
  EXPECT_EQ(t.range[3], 400);
  EXPECT_EQ(t.gunDamage[0], 5);
  EXPECT_EQ(t.weaponCycle[0], 60);
  EXPECT_EQ(t.weaponCycle[1], 300);
  EXPECT_FLOAT_EQ(t.weaponScope[0].left, 30 * kDeg);
  EXPECT_FLOAT_EQ(t.weaponScope[0].bottom, -10 * kDeg);
  EXPECT_FLOAT_EQ(t.weaponScope[1].left, 3.141592f);
  EXPECT_EQ(t.reloadTime, 1);
  EXPECT_FLOAT_EQ(t.blast, 1.5f);
  EXPECT_EQ(t.weaponDelay[1], 2);
  EXPECT_EQ(t.wingName[1], "wr");
  EXPECT_FLOAT_EQ(t.glareRate, 0.75f);
  EXPECT_EQ(t.fireModelFile[0], "fire.x");
  EXPECT_EQ(t.fireModelFile[1], "");
  // Style and attribute words compare without regard to case.
  EXPECT_EQ(t.textureStyle[0], 0x40u);
  EXPECT_EQ(t.textureStyle[1], 0x8000u);
  EXPECT_EQ(t.attributes, units::kAttrWeapon | units::kAttrBranch | units::kAttrMemory);
  // The definition is kept as the master wrote it.
  EXPECT_NE(t.definition.find("Falcon"), std::string::npos);
}

TEST_F(MasterFixture, TypeWordsAndNumbers) {
  struct Case {
    const char* type;
    int32_t value;
  };
  const Case cases[] = {
      {"\"MISSILE\"", 33}, {"33", 33},          {"\"missile\"", 0}, {"\"BALL_TARGET\"", 58},
      {"\"\"", 0},         {"\"NO_SUCH\"", 0},  {"70", 70},         {"\"MOUNTED_NONE\"", 49},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    Read(std::string("{T:{TYPE:") + c.type + "}}");
    EXPECT_EQ(Type("T").typeValue, c.value);
  }
}

TEST_F(MasterFixture, ClampedAndCorrectedNumbers) {
  struct Case {
    const char* body;
    int32_t mode;
    float weight;
    int32_t reload;
  };
  const Case cases[] = {
      {"MODE:4,WEIGHT:0,RELOAD_TIME:0", 0, 1, 1},
      {"MODE:-1,WEIGHT:-3,RELOAD_TIME:5", 0, 1, 5},
      {"MODE:3,WEIGHT:0.5,RELOAD_TIME:-2", 3, 0.5f, -2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    Read(std::string("{T:{") + c.body + "}}");
    UnitType& t = Type("T");
    EXPECT_EQ(t.mode, c.mode);
    EXPECT_FLOAT_EQ(t.weight, c.weight);
    EXPECT_EQ(t.reloadTime, c.reload);
  }
}

TEST_F(MasterFixture, WordListsEndAtTheFirstMissingIndexWhileScatterSkipsGaps) {
  // Arrays with an empty slot 0 (or 1), as a script may build them.
  script::CScriptArray* master = const_cast<script::CScriptArray*>(
      Compile(R"({T:{},U:{ATTRIBUTE:["UNLISTED","GHOST"],TEXTURE_BUMPED_FILE:"n.png",TEXTURE_BUMP_FILE:"h.png"},
                 A:{},B:{}})"));
  ASSERT_NE(master, nullptr);
  script::SetMemberString(se.pools, master, "T.ATTRIBUTE[1]", "WEAPON");
  script::SetMemberString(se.pools, master, "T.TEXTURE_STYLE[1]", "SPRITE");
  script::SetMemberString(se.pools, master, "T.CHILD[0].ID", "A");
  script::SetMemberString(se.pools, master, "T.CHILD[2].ID", "B");
  script::SetMemberString(se.pools, master, "T.SCATTER[1].ID", "A");
  script::SetMemberString(se.pools, master, "T.SCATTER[3].ID", "B");
  ASSERT_EQ(units::ReadUnitMaster(db, master), 1);
  EXPECT_EQ(Type("T").attributes, 0u);
  EXPECT_EQ(Type("T").textureStyle[0], 0u);
  EXPECT_EQ(Type("U").attributes, units::kAttrUnlisted | units::kAttrGhost);
  EXPECT_EQ(Type("U").textureBumpFile, "n.png");
  EXPECT_TRUE(Type("U").bumpFromBumpedKey);
  ASSERT_EQ(Type("T").children.size(), 1u);
  EXPECT_EQ(Type("T").children[0].type, &Type("A"));
  ASSERT_EQ(Type("T").scatter.size(), 2u);
  EXPECT_EQ(Type("T").scatter[1].type, &Type("B"));
}

TEST_F(MasterFixture, ReferencesResolveAfterTheWholeMaster) {
  // The carrier names types defined after it, and one that does not exist.
  Read(R"({CARRIER:{GUN_ID:["VULCAN"],WEAPON_ID:["AAM","","NOPE"],
              CHILD:[{ID:"TURRET",POS:{x:1,y:2,z:3},ROT:{x:0,y:90,z:0},LABEL:"t1"},{ID:"NOPE"}],
              SCATTER:[{ID:"AAM",DIR:{x:0,y:180,z:0},TIME:30}]},
           VULCAN:{TYPE:"GUN"},AAM:{TYPE:"MISSILE"},TURRET:{TYPE:"AAGUN_YAW"}})");
  UnitType& carrier = Type("CARRIER");
  EXPECT_EQ(carrier.gunType, &Type("VULCAN"));
  EXPECT_EQ(carrier.weaponTypes[0], &Type("AAM"));
  EXPECT_EQ(carrier.weaponTypes[1], nullptr);
  EXPECT_EQ(carrier.weaponTypes[2], nullptr);
  ASSERT_EQ(carrier.children.size(), 2u);
  EXPECT_EQ(carrier.children[0].type, &Type("TURRET"));
  EXPECT_FLOAT_EQ(carrier.children[0].position.z, 3);
  EXPECT_FLOAT_EQ(carrier.children[0].rotation.y, 90 * kDeg);
  EXPECT_EQ(carrier.children[0].label, "t1");
  EXPECT_EQ(carrier.children[1].type, nullptr);
  ASSERT_EQ(carrier.scatter.size(), 1u);
  EXPECT_EQ(carrier.scatter[0].type, &Type("AAM"));
  EXPECT_FLOAT_EQ(carrier.scatter[0].direction.y, 180 * kDeg);
  EXPECT_EQ(carrier.scatter[0].time, 30);
}

TEST_F(MasterFixture, ReadingAgainRefillsTheSameRecord) {
  Read(R"({A:{ALIAS:"a",DEFENSE:10,WEIGHT:5},B:{ALIAS:"b"}})");
  UnitType* a = &Type("A");
  Read(R"({C:{ALIAS:"c"},A:{ALIAS:"a2",DEFENSE:20}})");
  EXPECT_EQ(&Type("A"), a);
  EXPECT_EQ(a->slotIndex, 0);
  EXPECT_EQ(a->defense, 20);
  EXPECT_FLOAT_EQ(a->weight, 1);  // a key now missing takes its default again
  EXPECT_EQ(a->alias, "a2");
  EXPECT_EQ(Type("C").slotIndex, 2);
}

TEST_F(MasterFixture, TheTableDoublesAndSlotsOutsideItAreEmpty) {
  std::string master = "{";
  for (int i = 0; i < 300; i++) master += (i ? "," : "") + std::string("T") + std::to_string(i) + ":{}";
  Read(master + "}");
  EXPECT_EQ(units::GetUnitTypeCount(db), 512);
  EXPECT_EQ(units::GetUnitTypeByIndex(db, 299), &Type("T299"));
  EXPECT_EQ(units::GetUnitTypeByIndex(db, 300), nullptr);
  EXPECT_EQ(units::GetUnitTypeByIndex(db, 512), nullptr);
  EXPECT_EQ(units::GetUnitTypeByIndex(db, -1), nullptr);
  EXPECT_EQ(units::GetPlacementRecord(db, 0), nullptr);
  EXPECT_EQ(units::GetPathPointRecord(db, -1), nullptr);
  EXPECT_EQ(units::ReadUnitMaster(db, nullptr), 0);
}

TEST_F(MasterFixture, FindByAliasOrName) {
  Read(R"({K1:{ALIAS:"Eagle",NAME:"F-15"},K2:{ALIAS:"",NAME:"Tank"},K3:{ALIAS:"F-15",NAME:"Other"}})");
  EXPECT_EQ(units::FindUnitTypeByName(db, "Eagle"), &Type("K1"));
  EXPECT_EQ(units::FindUnitTypeByName(db, "Tank"), &Type("K2"));
  // An alias wins over an earlier type's name.
  EXPECT_EQ(units::FindUnitTypeByName(db, "F-15"), &Type("K3"));
  EXPECT_EQ(units::FindUnitTypeByName(db, "eagle"), nullptr);
  EXPECT_EQ(units::FindUnitTypeByName(db, ""), nullptr);
  EXPECT_EQ(units::FindUnitTypeByName(db, nullptr), nullptr);
  EXPECT_EQ(units::FindUnitTypeByAlias(db, nullptr), nullptr);
  EXPECT_EQ(units::FindUnitTypeByKey(db, "k1"), nullptr);
}

TEST_F(MasterFixture, NameListSkipsUnlistedTypesAndEmptyAliases) {
  char buffer[64];
  EXPECT_EQ(units::ListUnitTypeNames(db, buffer), 1);
  EXPECT_EQ(buffer[0], 0);
  // The empty alias sits between two listed ones: it must not end the list.
  Read(R"({A:{ALIAS:"one"},B:{ALIAS:""},C:{ALIAS:"hidden",ATTRIBUTE:["UNLISTED"]},D:{ALIAS:"two"}})");
  int size = units::ListUnitTypeNames(db, nullptr);
  ASSERT_EQ(size, 9);
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(units::ListUnitTypeNames(db, buffer), size);
  EXPECT_EQ(std::string(buffer, size_t(size)), std::string("one\0two\0\0", 9));
}

TEST_F(MasterFixture, TypesMadeFromOneFile) {
  UnitType* sprite = units::FindOrCreateUnitTypeByFile(db, "spark.png", 64);
  ASSERT_NE(sprite, nullptr);
  EXPECT_EQ(sprite->textureLargeFile, "spark.png");
  EXPECT_EQ(sprite->attributes, units::kAttrObject);
  EXPECT_EQ(sprite->textureStyle[0], 64u);
  EXPECT_EQ(units::FindOrCreateUnitTypeByFile(db, "spark.png", 64), sprite);
  EXPECT_NE(units::FindOrCreateUnitTypeByFile(db, "spark.png", 2), sprite);
}

TEST_F(MasterFixture, LoadFlagWords) {
  EXPECT_EQ(db.loadFlags, 0x207800u);
  units::SetTextureLoadFlags(db, 0xFFFFFFFF & ~0x1000u);
  EXPECT_EQ(db.loadFlags, 0x206800u);
  units::SetTextureLoadFlags(db, 0x80);
  EXPECT_EQ(db.loadFlags, 0u);
  units::SetHudTextureFlag(db, 1);
  EXPECT_EQ(db.loadFlags, 0x8002u);
  units::SetHudTextureFlag(db, 0);
  EXPECT_EQ(db.loadFlags, 0u);
}

TEST_F(MasterFixture, WithoutRendererNothingLoadsAndReleasingIsHarmless) {
  Read(R"({T:{MODEL_FILE:"none.x",TEXTURE_LARGE_FILE:"none.png",ATTRIBUTE:["MEMORY"]},E:{}})");
  EXPECT_EQ(units::PrepareUnitTypeModel(db, Type("T")), nullptr);
  EXPECT_EQ(units::PrepareUnitTypeModel(db, Type("E")), nullptr);
  EXPECT_EQ(units::FindUnitTypeTexture(db, Type("T")), nullptr);
  EXPECT_EQ(units::GetUnitTypeSubModel(db, Type("T"), 4), nullptr);
  EXPECT_EQ(units::ReleaseUnitTypeResources(db, nullptr), 1);
  EXPECT_EQ(units::ReleaseUnitTypeResources(db, &Type("T")), 1);
}

}  // namespace

namespace {

// A type's model loads once through the file layer, is shared by reference
// and comes back (emptied, never freed) after a release.
TEST_F(MasterFixture, ModelsLoadOnFirstUseAndReloadAfterARelease) {
  const char* root = std::getenv("TKW4_SOURCE_DIR");
  std::string box = test::ReadFile(std::string(root ? root : ".") + "/tests/render/data/box.x");
  ASSERT_FALSE(box.empty());
  test::WriteFile("box.x", box);
  core::LogSystem log{"system.log", 0};
  core::FilePackageTable packages;
  render::GraphicsSystem gs;
  gs.log = &log;
  gs.packages = &packages;
  db.graphics = &gs;
  Read(R"({BOX:{MODEL_FILE:"box.x",ATTRIBUTE:["MIRROR_MAP"]},KEEP:{MODEL_FILE:"box.x",ATTRIBUTE:["MEMORY"]},
           MISSING:{MODEL_FILE:"missing.x"}})");
  render::CMesh* mesh = units::PrepareUnitTypeModel(db, Type("BOX"));
  ASSERT_NE(mesh, nullptr);
  EXPECT_EQ(mesh->containerCount, 1);
  EXPECT_NE(mesh->loadFlags & render::kMeshMirror, 0u);
  EXPECT_EQ(units::PrepareUnitTypeModel(db, Type("BOX")), mesh);
  ASSERT_NE(units::PrepareUnitTypeModel(db, Type("KEEP")), nullptr);
  EXPECT_EQ(units::PrepareUnitTypeModel(db, Type("MISSING")), nullptr);

  // Releasing all keeps MEMORY types; the released model stays a valid,
  // empty object until it is asked for again.
  units::ReleaseUnitTypeResources(db, nullptr);
  EXPECT_EQ(mesh->containerCount, 0);
  EXPECT_EQ(Type("KEEP").model.holder->containerCount, 1);
  EXPECT_EQ(units::PrepareUnitTypeModel(db, Type("BOX")), mesh);
  EXPECT_EQ(mesh->containerCount, 1);
  db.graphics = nullptr;
  units::ReleaseUnitTypeResources(db, nullptr);
}

}  // namespace
