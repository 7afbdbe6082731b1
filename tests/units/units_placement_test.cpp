// units_placement_test.cpp -- placement files: reading a compiled file into
// the records, writing the records back (key order, paths from their heads,
// scripts that hold back quotes), the byte-for-byte round trip and saves
// that fail without losing the old file.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/core_public.h"
#include "script/script_public.h"
#include "test_support.h"
#include "units/units_services.h"
#include "world/world_public.h"
#include "world/world_services.h"

namespace {

using units::PathPointRecord;
using units::PlacementRecord;
using units::Vec3;

// A placement file compiled as the scene loader compiles it: its text the
// initial value of `__system_unitdata`. The object, or null on errors.
const script::CScriptArray* CompilePlacementFile(script::ScriptEngine& se, const char* path) {
  char escaped[260];
  script::EscapeStringBounded(escaped, path, int(sizeof escaped));
  std::string source = std::string("extern object __system_unitdata=\r\n#include\"") + escaped + "\"\r\n;\r\n";
  if (!se.LoadScriptMemory(source.c_str(), "__system_unitdata")) return nullptr;
  const script::CScriptValue* data = script::FollowRefer(se.FindGlobal("__system_unitdata"));
  return data && data->type == script::kValueCompound ? data->data.array : nullptr;
}

class PlacementFixture : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  units::UnitDatabase db;
  script::ScriptEngine se;

  void SetUp() override { AddTypes(db); }
  // The unit types every database of these tests knows.
  static void AddTypes(units::UnitDatabase& into) {
    for (const char* key : {"F16", "TANK", "SHIP"}) AddType(into, key);
  }
  void TearDown() override {
    units::FreePlacementRecords(db);
    units::FreePathPointRecords(db);
  }

  static units::UnitType* AddType(units::UnitDatabase& into, const char* key) {
    for (auto& slot : into.types) {
      if (slot) continue;
      slot = std::make_unique<units::UnitType>();
      slot->key = key;
      return slot.get();
    }
    return nullptr;
  }
  units::UnitType* Type(const char* key) {
    for (auto& slot : db.types)
      if (slot && slot->key == key) return slot.get();
    return nullptr;
  }

  // Compiles `file` as the scene loader does and reads it into `into`.
  bool Read(const std::string& file, units::UnitDatabase& into) {
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    const script::CScriptArray* object = CompilePlacementFile(se, file.c_str());
    if (!object) {
      ADD_FAILURE() << se.GetErrorListText();
      return false;
    }
    units::ReadUnitPlacements(into, object, 0x82, file.c_str());
    return true;
  }
  bool Read(const std::string& file) { return Read(file, db); }

  std::vector<PlacementRecord*> Placements() {
    std::vector<PlacementRecord*> out;
    for (PlacementRecord* r : db.placements)
      if (r) out.push_back(r);
    return out;
  }
  std::vector<PathPointRecord*> PathPoints() {
    std::vector<PathPointRecord*> out;
    for (PathPointRecord* r : db.pathPoints)
      if (r) out.push_back(r);
    return out;
  }
  std::string Text() {
    std::string text;
    EXPECT_TRUE(units::BuildUnitPlacementText(db, &text));
    return text;
  }
};

// ----------------------------------------------------------------------------
// Reading
// ----------------------------------------------------------------------------

TEST_F(PlacementFixture, ReadsPlacementsAndPaths) {
  test::WriteFile("scene.plc",
                  "[\r\n"
                  "{ID:\"F16\",GROUP:\"blue\",POS:{x:1.5,y:200,z:-3.25},ROT:{y:90.0},LABEL:\"Leader\",TEAM:\"A\","
                  "PATH:\"Route\",LEVEL:3,OPTION:[\"player\",\"BARRIER\",\"FAST\"]},\r\n"
                  "{ID:\"MIG\",POS:{x:9.0,y:9.0,z:9.0}},\r\n"
                  "{ID:\"f16\"},\r\n"
                  "{ID:\"TANK\"},\r\n"
                  "{UNIT_PATH:[\r\n"
                  " {POS:{x:0.0,y:0.0,z:0.0},OPTION:[\"OFF_CURVE\"]},\r\n"
                  " {POS:{x:10.0,y:0.0,z:0.0},LABEL:\"P1\",COMMAND:\"PASTTIME\",OPE:[\"\",\"10\"],"
                  "SCRIPT:`\r\nint a;\r\n`,OPTION:[\"on_curve\",\"ACTIVE\"]},\r\n"
                  " {POS:{x:20.0,y:0.0,z:0.0},COMMAND:\"reach\",SCRIPT:\"\\nb\",OPTION:[\"OFF_CURVE\",\"LOOP\"]}\r\n"
                  "]}\r\n"
                  "]\r\n");
  ASSERT_TRUE(Read("scene.plc"));
  EXPECT_EQ(db.loadFlags, 0x82u);

  std::vector<PlacementRecord*> placements = Placements();
  ASSERT_EQ(placements.size(), 2u);  // MIG and f16 name no type (keys compare exactly)
  const PlacementRecord& f = *placements[0];
  EXPECT_EQ(f.type, Type("F16"));
  EXPECT_EQ(f.group, "blue");
  EXPECT_EQ(f.position.x, 1.5f);
  EXPECT_EQ(f.position.y, 200.0f);
  EXPECT_EQ(f.position.z, -3.25f);
  EXPECT_EQ(f.rotation.x, 0.0f);
  EXPECT_FLOAT_EQ(f.rotation.y, 1.5707963f);
  EXPECT_EQ(f.label, "Leader");
  EXPECT_EQ(f.team, "A");
  EXPECT_EQ(f.path, "Route");
  EXPECT_EQ(f.level, 3);
  EXPECT_EQ(f.options, units::kPlacePlayer | units::kPlaceBarrier);
  const PlacementRecord& t = *placements[1];
  EXPECT_EQ(t.type, Type("TANK"));
  EXPECT_EQ(t.group, "");
  EXPECT_EQ(t.level, 0);
  EXPECT_EQ(t.options, 0u);

  std::vector<PathPointRecord*> points = PathPoints();
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(points[0]->next, points[1]);
  EXPECT_EQ(points[1]->next, points[2]);
  EXPECT_EQ(points[2]->next, nullptr);  // LOOP is an option here; the live path closes it
  EXPECT_EQ(points[0]->options, 0u);
  EXPECT_EQ(points[1]->options, units::kPathOnCurve | units::kPathActive);
  EXPECT_EQ(points[2]->options, units::kPathLoop);
  EXPECT_EQ(points[1]->label, "P1");
  EXPECT_EQ(points[1]->command, 2);
  EXPECT_EQ(points[2]->command, 0);  // keywords compare exactly
  EXPECT_EQ(points[1]->operand1, "");
  EXPECT_EQ(points[1]->operand2, "10");
  EXPECT_EQ(points[1]->script, "int a;\r\n");  // the leading CR LF goes
  EXPECT_EQ(points[2]->script, "b");           // so does a lone LF
  EXPECT_EQ(points[0]->source, "");            // no script, no source
  EXPECT_EQ(points[1]->source, "scene.plc");
  EXPECT_EQ(points[2]->position.x, 20.0f);
}

TEST_F(PlacementFixture, OptionsStopAtTheFirstMissingOne) {
  script::ScriptPools& pools = se.pools;
  script::CScriptArray* top = pools.AllocScriptArray(nullptr);
  script::SetMemberString(pools, top, "[0].ID", "F16");
  script::SetMemberString(pools, top, "[0].OPTION[1]", "TARGET");  // index 0 missing
  script::SetMemberString(pools, top, "[1].ID", "SHIP");
  script::SetMemberString(pools, top, "[1].OPTION[0]", "TARGET");
  script::SetMemberInt(pools, top, "[1].OPTION[1]", 5);  // not a word: passed over
  script::SetMemberString(pools, top, "[1].OPTION[2]", "IGNORED");
  EXPECT_EQ(units::ReadUnitPlacements(db, top, 2, "x"), 0);
  std::vector<PlacementRecord*> placements = Placements();
  ASSERT_EQ(placements.size(), 2u);
  EXPECT_EQ(placements[0]->options, 0u);
  EXPECT_EQ(placements[1]->options, units::kPlaceTarget | units::kPlaceIgnored);
  pools.ReleaseScriptArray(top);
  // A null object reads nothing but stores the flags.
  EXPECT_EQ(units::ReadUnitPlacements(db, nullptr, 0x102, "x"), 0);
  EXPECT_EQ(db.loadFlags, 0x102u);
}

TEST_F(PlacementFixture, RecordSlotsGrowAndAreReused) {
  EXPECT_EQ(units::SetPlacementRecord(db, -1, Type("F16"), "", {}, {}, "", "", "", 0, 0), 0);
  EXPECT_EQ(units::SetPlacementRecord(db, -1, Type("F16"), "", {}, {}, "", "", "", 0, 0), 1);
  EXPECT_EQ(db.placements.size(), 256u);
  EXPECT_EQ(units::SetPlacementRecord(db, 300, Type("TANK"), "g", {}, {}, "", "", "", 0, 0), 300);
  EXPECT_EQ(db.placements.size(), 301u);
  // Overwritten in place.
  PlacementRecord* first = db.placements[0];
  EXPECT_EQ(units::SetPlacementRecord(db, 0, Type("SHIP"), "new", {}, {}, "L", "", "", 2, 1), 0);
  EXPECT_EQ(db.placements[0], first);
  EXPECT_EQ(first->group, "new");
  EXPECT_EQ(units::SetPlacementRecord(db, -5, Type("SHIP"), "", {}, {}, "", "", "", 0, 0), -1);
  units::FreePlacementRecords(db);
  EXPECT_EQ(db.placements.size(), 301u);  // slots kept, empty
  EXPECT_EQ(units::SetPlacementRecord(db, -1, Type("F16"), "", {}, {}, "", "", "", 0, 0), 0);
}

// ----------------------------------------------------------------------------
// Writing
// ----------------------------------------------------------------------------

TEST_F(PlacementFixture, WritesKeysInTheirOrder) {
  units::SetPlacementRecord(db, -1, Type("F16"), "blue", {1, 2, 3}, {0, 1.5707963f, 0}, "Leader", "", "Route", 0,
                            units::kPlaceBarrier | units::kPlacePlayer);
  units::SetPlacementRecord(db, -1, Type("TANK"), "", {0, 0, 0}, {0, 0, 0}, "", "red", "", 4, 0);
  Vec3 zero{};
  int a = units::SetPathPointRecord(db, -1, zero, "", "", "", 0, nullptr, 0, "", "");
  int b = units::SetPathPointRecord(db, -1, {10, 0, 0}, "", "Gate", "x = 1;", units::kPathOnCurve | units::kPathActive,
                                    nullptr, 4, "", "L2");
  db.pathPoints[size_t(a)]->next = db.pathPoints[size_t(b)];
  EXPECT_EQ(Text(),
            "[\r\n"
            "\t{\r\n"
            "\t\tID:\"F16\",\r\n"
            "\t\tGROUP:\"blue\",\r\n"
            "\t\tPOS:{\r\n\t\t\tx:1.000000,\r\n\t\t\ty:2.000000,\r\n\t\t\tz:3.000000\r\n\t\t},\r\n"
            "\t\tROT:{\r\n\t\t\ty:90.000000\r\n\t\t},\r\n"
            "\t\tLABEL:\"Leader\",\r\n"
            "\t\tPATH:\"Route\",\r\n"
            "\t\tOPTION:[\"PLAYER\",\"BARRIER\"]\r\n"
            "\t},\r\n"
            "\t{\r\n"
            "\t\tID:\"TANK\",\r\n"
            "\t\tPOS:{\r\n\t\t\tx:0.000000,\r\n\t\t\ty:0.000000,\r\n\t\t\tz:0.000000\r\n\t\t},\r\n"
            "\t\tTEAM:\"red\",\r\n"
            "\t\tLEVEL:4\r\n"
            "\t},\r\n"
            "\t{\r\n"
            "\t\tUNIT_PATH:[\r\n"
            "\t\t\t{\r\n"
            "\t\t\t\tPOS:{\r\n\t\t\t\t\tx:0.000000,\r\n\t\t\t\t\ty:0.000000,\r\n\t\t\t\t\tz:0.000000\r\n\t\t\t\t},\r\n"
            "\t\t\t\tOPTION:[\"OFF_CURVE\"]\r\n"
            "\t\t\t},\r\n"
            "\t\t\t{\r\n"
            "\t\t\t\tPOS:{\r\n\t\t\t\t\tx:10.000000,\r\n\t\t\t\t\ty:0.000000,\r\n\t\t\t\t\tz:0.000000\r\n\t\t\t\t},\r\n"
            "\t\t\t\tLABEL:\"Gate\",\r\n"
            "\t\t\t\tCOMMAND:\"REACH\",\r\n"
            "\t\t\t\tOPE:[\"\",\"L2\"],\r\n"
            "\t\t\t\tSCRIPT:`\r\nx = 1;`,\r\n"
            "\t\t\t\tOPTION:[\"ON_CURVE\",\"ACTIVE\"]\r\n"
            "\t\t\t}\r\n"
            "\t\t]\r\n"
            "\t}\r\n"
            "]");
}

// A path whose first point does not hold the lowest slot (a point added in
// front of it in the editor) was written twice: once from the lowest slot
// and once more from the real first point. It is written once, from its
// head.
TEST_F(PlacementFixture, PathIsWrittenOnceFromItsHead) {
  int r0 = units::SetPathPointRecord(db, -1, {0, 0, 0}, "", "r0", "", 0, nullptr, 0, "", "");
  int r1 = units::SetPathPointRecord(db, -1, {1, 0, 0}, "", "r1", "", 0, nullptr, 0, "", "");
  int r2 = units::SetPathPointRecord(db, -1, {2, 0, 0}, "", "r2", "", 0, nullptr, 0, "", "");
  int head = units::SetPathPointRecord(db, -1, {-1, 0, 0}, "", "head", "", 0, nullptr, 0, "", "");
  auto& p = db.pathPoints;
  p[size_t(r0)]->next = p[size_t(r1)];
  p[size_t(r1)]->next = p[size_t(r2)];
  p[size_t(head)]->next = p[size_t(r0)];
  ASSERT_TRUE(units::WriteUnitPlacementFile(db, "scene.plc"));

  units::UnitDatabase back;
  ASSERT_TRUE(Read("scene.plc", back));
  std::vector<std::string> labels;
  int heads = 0;
  for (PathPointRecord* r : back.pathPoints) {
    if (!r) continue;
    labels.push_back(r->label);
    bool named = false;
    for (PathPointRecord* o : back.pathPoints) named = named || (o && o->next == r);
    if (!named) heads++;
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"head", "r0", "r1", "r2"}));
  EXPECT_EQ(heads, 1);
  units::FreePathPointRecords(back);
}

// Records made from live points follow their links: a closed path writes
// LOOP on its last point; a point linked to itself is left out.
TEST_F(PlacementFixture, LivePathsCloseTheirLoops) {
  units::PathPoint a, b, c, lone;
  a.next = &b;
  b.next = &c;
  c.next = &a;
  lone.next = &lone;
  // Records set in an order other than the path's: the links still chain.
  units::SetPathPointRecord(db, -1, {2, 0, 0}, "", "c", "", 0, &c, 0, "", "");
  units::SetPathPointRecord(db, -1, {0, 0, 0}, "", "a", "", units::kPathActive, &a, 0, "", "");
  units::SetPathPointRecord(db, -1, {9, 9, 9}, "", "lone", "", 0, &lone, 0, "", "");
  units::SetPathPointRecord(db, -1, {1, 0, 0}, "", "b", "", units::kPathOnCurve, &b, 0, "", "");
  std::string text = Text();
  EXPECT_EQ(text.find("lone"), std::string::npos);
  EXPECT_NE(text.find("LABEL:\"c\",\r\n\t\t\t\tOPTION:[\"OFF_CURVE\"]"), std::string::npos) << text;
  EXPECT_NE(text.find("LABEL:\"b\",\r\n\t\t\t\tOPTION:[\"ON_CURVE\",\"LOOP\"]"), std::string::npos) << text;
  a.next = b.next = c.next = lone.next = nullptr;
}

// A script holding a back quote cannot stand in a back-quoted text: it is
// written in double quotes with escapes, and reads back as it was.
TEST_F(PlacementFixture, ScriptsWithBackQuotesReadBack) {
  const std::string scripts[] = {
      "print_string(`raw`);\r\n",
      "a = \"q\\\"uote\" + '\\\\';\r\n\tb = `x`;",
      "`",
      "\r\nfirst line empty ` \\n \t",
      test::Sjis("表示(\"ソ\");`"),
  };
  for (const std::string& s : scripts) {
    int i = units::SetPathPointRecord(db, -1, {0, 0, 0}, "", "p", s.c_str(), 0, nullptr, 0, "", "");
    ASSERT_EQ(db.pathPoints[size_t(i)]->next, nullptr);
  }
  ASSERT_TRUE(units::WriteUnitPlacementFile(db, "scene.plc"));
  units::UnitDatabase back;
  ASSERT_TRUE(Read("scene.plc", back));
  std::vector<std::string> read;
  for (PathPointRecord* r : back.pathPoints)
    if (r) read.push_back(r->script);
  EXPECT_EQ(read, std::vector<std::string>(std::begin(scripts), std::end(scripts)));
  units::FreePathPointRecords(back);
}

// A file written, read and written again keeps its bytes, rotations,
// Shift-JIS texts, scripts and loops included.
TEST_F(PlacementFixture, RoundTripKeepsEveryByte) {
  // The last two, divided plainly into degrees, write a text that reads
  // back one rounding step away (-15.816998 then -15.816997).
  const float angles[] = {1.5707963f, 0.3f, -2.0f, 3.1415927f, 1e-4f, -0.7853982f, -0.276058704f, -0.275728852f};
  int n = 0;
  for (float x : angles)
    for (float y : angles) {
      units::SetPlacementRecord(db, -1, Type(n % 2 ? "F16" : "SHIP"), n % 3 ? "g" : "", {x * 1000, y, -x * y},
                                {x, y, n % 5 ? 0.0f : x - y}, test::Sjis("機" + std::to_string(n)).c_str(),
                                "team", "", n % 11, n % 4 == 0 ? uint32_t(units::kPlaceTarget) : 0u);
      n++;
    }
  PathPointRecord* previous = nullptr;
  for (int i = 0; i < 7; i++) {
    int k = units::SetPathPointRecord(db, -1, {i * 10.5f, 1.25f, -i * 3.3f}, "", i == 3 ? "P3" : "",
                                      i == 3 ? "print_string(\"`\");\r\n" : (i == 4 ? "x = 1;" : ""),
                                      ((i % 2) ? uint32_t(units::kPathOnCurve) : 0u) | (i == 1 ? uint32_t(units::kPathActive) : 0u),
                                      nullptr, i, i == 2 ? "L" : "", "");
    if (previous) previous->next = db.pathPoints[size_t(k)];
    previous = db.pathPoints[size_t(k)];
  }
  previous->options |= units::kPathLoop;

  ASSERT_TRUE(units::WriteUnitPlacementFile(db, "first.plc"));
  units::UnitDatabase back;
  AddTypes(back);
  ASSERT_TRUE(Read("first.plc", back));
  ASSERT_TRUE(units::WriteUnitPlacementFile(back, "second.plc"));
  std::string first = test::ReadFile("first.plc");
  ASSERT_TRUE(first == test::ReadFile("second.plc"));
  EXPECT_NE(first.find("LOOP"), std::string::npos);
  // Rotations come back within the text's six decimals of a degree.
  std::vector<PlacementRecord*> mine = Placements();
  size_t i = 0;
  for (PlacementRecord* r : back.placements) {
    if (!r) continue;
    ASSERT_LT(i, mine.size());
    EXPECT_NEAR(r->rotation.x, mine[i]->rotation.x, 1e-6f) << i;
    EXPECT_NEAR(r->rotation.y, mine[i]->rotation.y, 1e-6f) << i;
    i++;
  }
  EXPECT_EQ(i, mine.size());
  units::FreePlacementRecords(back);
  units::FreePathPointRecords(back);
}

// ----------------------------------------------------------------------------
// Failed saves
// ----------------------------------------------------------------------------

// The writer truncated the file and then wrote it: a write that failed part
// way (a full disk) left a cut file and the scene was lost. The new text goes
// to a temporary file that replaces the old one only when complete.
TEST_F(PlacementFixture, FailedSaveLeavesTheOldFileWhole) {
  units::SetPlacementRecord(db, -1, Type("F16"), "", {1, 2, 3}, {}, "old", "", "", 0, 0);
  ASSERT_TRUE(units::WriteUnitPlacementFile(db, "scene.plc"));
  std::string old = test::ReadFile("scene.plc");

  for (int i = 0; i < 200; i++)
    units::SetPlacementRecord(db, -1, Type("TANK"), "", {float(i), 0, 0}, {}, "new", "", "", 0, 0);
  test::MessageBoxRecorder boxes;
  int result;
  {
    // Writes past 512 bytes fail as on a full disk.
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 512;
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    result = units::WriteUnitPlacementFile(db, "scene.plc");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(test::ReadFile("scene.plc"), old);
  EXPECT_FALSE(platform::PathExists("scene.plc.tmp-save"));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("ユニット配置ファイルの書き込みオープンに失敗しました。"));
  EXPECT_EQ(boxes.Boxes()[0].caption, "");

  // A folder that does not exist: refused the same way.
  EXPECT_EQ(units::WriteUnitPlacementFile(db, "missing/scene.plc"), 0);
  EXPECT_EQ(boxes.Boxes().size(), 2u);

  // The next save that can be made replaces the file.
  EXPECT_EQ(units::WriteUnitPlacementFile(db, "scene.plc"), 1);
  EXPECT_NE(test::ReadFile("scene.plc"), old);
}

// ----------------------------------------------------------------------------
// The sample content (games/Demo/Unit)
// ----------------------------------------------------------------------------

// The sample master, placement file and models, copied with the system
// includes into a work folder laid out as the run folder is.
class SampleFixture : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  units::UnitDatabase db;
  script::ScriptEngine se;

  void SetUp() override {
    namespace fs = std::filesystem;
    const char* root = std::getenv("TKW4_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    fs::path games = fs::path(root) / "games";
    fs::create_directories("Demo/Unit");
    fs::create_directories("zadazorad/script");
    for (const auto& entry : fs::directory_iterator(games / "Demo" / "Unit"))
      fs::copy_file(entry.path(), fs::path("Demo/Unit") / entry.path().filename());
    for (const char* name : {"system.inc", "mission.inc"})
      fs::copy_file(games / "ZadAzorad" / "Script" / name, fs::path("zadazorad/script") / name);
    se.ResetScriptEngine(nullptr, nullptr);
  }
  void TearDown() override {
    units::FreePlacementRecords(db);
    units::FreePathPointRecords(db);
  }

  // The master compiled as a game compiles it and read into the database.
  const script::CScriptArray* LoadMaster() {
    const char* text = "extern object sample_master=\r\n#include \"Demo/Unit/unit_master.txt\"\r\n;\r\n";
    EXPECT_EQ(se.LoadScriptMemory(text, "master"), 1) << se.GetErrorListText();
    const script::CScriptValue* v = script::FollowRefer(se.FindGlobal("sample_master"));
    if (!v || v->type != script::kValueCompound) return nullptr;
    const script::CScriptArray* master = v->data.array;
    EXPECT_NE(units::ReadUnitMaster(db, master), 0);
    return master;
  }
};

TEST_F(SampleFixture, MasterHasItsKindsAndTheirModelsRead) {
  const script::CScriptArray* master = LoadMaster();
  ASSERT_NE(master, nullptr);
  struct Kind {
    const char* key;
    const char* type;
    const char* model;
  } kinds[] = {
      {"FALCON", "PLANE", "Demo/Unit/plane.x"},     {"TIRE", "OBJECT", "Demo/Unit/tire.x"},
      {"RAVEN", "PLANE", "Demo/Unit/plane.x"},      {"HORNET", "VTOL", "Demo/Unit/vtol.x"},
      {"TANK", "VEHICLE", "Demo/Unit/vehicle.x"},   {"CORVETTE", "SHIP", "Demo/Unit/ship.x"},
      {"AAGUN", "AAGUN_FREE", "Demo/Unit/aagun.x"}, {"SPARROW", "MISSILE", "Demo/Unit/missile.x"},
  };
  for (const Kind& k : kinds) {
    SCOPED_TRACE(k.key);
    std::string at = std::string(k.key) + ".";
    EXPECT_STREQ(script::GetMemberString(master, (at + "TYPE").c_str()), k.type);
    std::string model = script::GetMemberString(master, (at + "MODEL_FILE").c_str());
    for (char& c : model)
      if (c == '\\') c = '/';
    EXPECT_EQ(model, k.model);
    std::string bytes = test::ReadFile(model);
    platform::XScene scene;
    std::string error;
    ASSERT_TRUE(platform::ReadXFile(bytes.data(), bytes.size(), &scene, &error)) << error;
    ASSERT_EQ(scene.meshes.size(), 1u);
  }
  EXPECT_STREQ(script::GetMemberString(master, "FALCON.WEAPON_ID[0]"), "SPARROW");
}

TEST_F(SampleFixture, PlacementFileReadsAndRoundTrips) {
  ASSERT_NE(LoadMaster(), nullptr);
  const script::CScriptArray* object = CompilePlacementFile(se, "Demo/Unit/demo.plc");
  ASSERT_NE(object, nullptr) << se.GetErrorListText();
  units::ReadUnitPlacements(db, object, 0x82, "Demo/Unit/demo.plc");

  std::vector<std::string> labels, groups;
  for (PlacementRecord* r : db.placements)
    if (r) {
      labels.push_back(r->label);
      groups.push_back(r->group);
    }
  EXPECT_EQ(labels, (std::vector<std::string>{"Falcon1", "Raven1", "Kite1", "Hornet1", "Tank1", "Ship1", "Gun1"}));
  EXPECT_EQ(groups, (std::vector<std::string>{"AIR", "AIR", "AIR", "AIR", "GROUND", "SEA", "GROUND"}));
  // Three paths: a closed loop with a timed trigger, a road with a trigger
  // on the tank's appearance and a sea lane.
  int points = 0, loops = 0, heads = 0;
  const PathPointRecord* timer = nullptr;
  const PathPointRecord* seen = nullptr;
  for (PathPointRecord* r : db.pathPoints) {
    if (!r) continue;
    points++;
    if (r->options & units::kPathLoop) loops++;
    if (r->label == "AirLoop" || r->label == "Road" || r->label == "SeaLane") heads++;
    if (r->label == "AirTimer") timer = r;
    if (r->label == "TankSeen") seen = r;
  }
  EXPECT_EQ(points, 16);
  EXPECT_EQ(loops, 1);
  EXPECT_EQ(heads, 3);
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->command, 2);  // PASTTIME
  EXPECT_EQ(timer->operand2, "10");
  EXPECT_TRUE(timer->options & units::kPathActive);
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->command, 7);  // APPEAR
  EXPECT_EQ(seen->operand1, "Tank1");

  // The file is in the writer's own form: written back, it is the same.
  std::string text;
  ASSERT_TRUE(units::BuildUnitPlacementText(db, &text));
  EXPECT_TRUE(text == test::ReadFile("Demo/Unit/demo.plc"));
}

// The sample's units on their paths: the fighter flies its loop at its
// type's speed, each step that far along the curve (to the resolution of
// the distance search: the last halved step is a hundredth of a unit on
// links 2000 units long), and stays on the curve.
TEST_F(SampleFixture, UnitsMoveAlongTheSamplePaths) {
  units::UnitDatabase* shared = &db;
  world::GameWorld world;
  world.unitDatabase = shared;
  ASSERT_NE(LoadMaster(), nullptr);
  const script::CScriptArray* object = CompilePlacementFile(world.scriptEngine, "Demo/Unit/demo.plc");
  ASSERT_NE(object, nullptr);
  units::ReadUnitPlacements(db, object, 0x82, "Demo/Unit/demo.plc");
  units::PathPointPool pool;
  int32_t ids = 1;
  EXPECT_EQ(units::CreatePathsFromRecords(world, pool, &ids, world.scriptEngine), 16);
  EXPECT_EQ(world.scriptEngine.errors.count, 0) << world.scriptEngine.GetErrorListText();

  units::Unit falcon;
  falcon.path = units::FindPathPointByLabel(pool, "AirLoop");
  ASSERT_NE(falcon.path, nullptr);
  falcon.state = units::kUnitStateFollowPath;
  falcon.velocity = {0, 0, 4};
  Vec3 last = units::GetPathPosition(*falcon.path, 0);
  float travelled = 0;
  for (int step = 0; step < 600; step++) {
    units::FollowPath(world, falcon);
    units::UnitAge(falcon)++;
    Vec3 now = falcon.GetObjectPosition();
    float moved = platform::Vec3Length(platform::Vec3Subtract(now, last));
    ASSERT_NEAR(moved, 4, 0.03f) << step;
    Vec3 on = units::GetPathPosition(*falcon.path, units::GetUnitPathParameter(falcon));
    ASSERT_NEAR(platform::Vec3Length(platform::Vec3Subtract(now, on)), 0, 1e-3f) << step;
    travelled += moved;
    last = now;
  }
  EXPECT_NEAR(travelled, 2400, 10);
  EXPECT_NEAR(falcon.GetObjectPosition().y, 500, 1e-3f);
  units::DetachAllPathPoints(pool);
}

}  // namespace
