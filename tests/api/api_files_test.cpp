// api_files_test.cpp -- the file and package calls run from game scripts:
// packages built, mounted, renamed into, pruned, saved, merged and unpacked
// and read back through the file layer; a hostile package unpacked without
// a byte landing outside the working folder; the threshold dates of the
// file list; every failure logged while the result stays 1; the errors of
// the list calls; and the head-tracking calls with and without a display.

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "api_fixture.h"
#include "platform/platform_public.h"
#include "render/render_public.h"

namespace {

namespace fs = std::filesystem;
using apitest::WorldFixture;

// A world whose script engine reads through a table of mounted packages,
// as the engine record wires it.
struct FilesWorld : WorldFixture {
  core::FilePackageTable mounted;

  FilesWorld() {
    mounted.log = &log;
    world.scriptEngine.files = &mounted;
  }
  ~FilesWorld() { world.scriptEngine.files = nullptr; }

  void RunMain(const std::string& globals, const std::string& body) {
    Run(globals + "function main() {\r\n" + body + "}\r\n");
  }
  std::string Log() { return test::ReadFile("system.log"); }
};

// Every entry of a package, by name, with its bytes as the file layer reads
// them; empty when it does not open.
std::map<std::string, std::string> PackageContents(const char* package) {
  core::FilePackageTable table;
  std::map<std::string, std::string> out;
  if (table.LoadFilePackage(package) < 0) return out;
  for (int32_t i = 0; i < table.Count(); i++) {
    const char* name = table.GetPackageEntryName(i);
    if (!name) continue;
    core::FileHandle h = table.OpenReadFile(name);
    int32_t size = table.GetFileSizeOf(h);
    std::string bytes(size_t(size), '\0');
    int32_t read = 0;
    table.ReadFileData(h, bytes.data(), 0, size, &read);
    bytes.resize(size_t(read));
    out[name] = bytes;
  }
  return out;
}

using Contents = std::map<std::string, std::string>;

// A package made through the file layer from loose files (names relative
// to the working folder).
void MakePackage(const char* package, const std::vector<std::pair<std::string, std::string>>& files) {
  core::FilePackageTable table;
  for (const auto& f : files) {
    test::WriteFile(f.first, f.second);
    ASSERT_EQ(table.AddFilesToPackage(f.first.c_str(), 0, 0), 1) << f.first;
  }
  ASSERT_EQ(table.SavePackage(package), 1);
}

// [SECTION] Building, mounting and unpacking

TEST(FileCalls, CreateMountRenameRemoveSaveAndCloseAgreeWithTheFileLayer) {
  FilesWorld f;
  std::string binary("\x00\x01\x02\xff zero\x00run", 13);
  test::WriteFile("data/a.txt", "alpha");
  test::WriteFile("data/sub/b.bin", binary);
  test::WriteFile("data/.hidden", "never packed");
  f.RunMain("int made; int mounted; int found; int gone; int after;\r\n",
            "  made = create_file_package(\"out.pac\", [{file:\"data\", key:305419896, date:\"\", time:\"\"}]);\r\n"
            "  mounted = load_file_package(\"out.pac\");\r\n"
            "  rename_file_package(\"DATA\\\\A.TXT\", \"data/renamed.txt\");\r\n"
            "  found = exist_file(\"data/renamed.txt\");\r\n"
            "  remove_file_package(\"data/sub/b.bin\");\r\n"
            "  save_file_package(\"saved.pac\");\r\n"
            "  close_file_package();\r\n"
            "  after = exist_file(\"data/renamed.txt\");\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("made"), 1);
  EXPECT_EQ(f.Number("mounted"), 1);
  // The renamed entry opens only through the package: no such disk file.
  EXPECT_EQ(f.Number("found"), 1);
  EXPECT_EQ(f.Number("after"), 0);
  EXPECT_EQ(f.mounted.Count(), 0);
  // The scrambled package reads back as the files; names beginning with
  // "." are left out.
  EXPECT_EQ(PackageContents("out.pac"), (Contents{{"data\\a.txt", "alpha"}, {"data\\sub\\b.bin", binary}}));
  EXPECT_EQ(PackageContents("saved.pac"), (Contents{{"data\\renamed.txt", "alpha"}}));
}

TEST(FileCalls, AddFilePackageJoinsTheMountedTableAndTheSaveWritesThem) {
  FilesWorld f;
  MakePackage("base.pac", {{"m/one.txt", "one"}});
  fs::remove_all("m");
  test::WriteFile("extra/two.txt", "two");
  f.RunMain("int r;\r\n",
            "  load_file_package(\"base.pac\");\r\n"
            "  r = add_file_package([{file:\"extra/two.txt\", key:9}, {file:\"\"}, {file:\"m/never.txt\"}]);\r\n"
            "  save_file_package(\"both.pac\");\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("r"), 1);
  // The list ends at the empty file name.
  EXPECT_EQ(PackageContents("both.pac"), (Contents{{"extra\\two.txt", "two"}, {"m\\one.txt", "one"}}));
  EXPECT_EQ(f.Log().find("m/never.txt"), std::string::npos);
}

TEST(FileCalls, MergeTakesTheSecondPackagesEntriesOverTheFirsts) {
  FilesWorld f;
  MakePackage("a.pac", {{"p/x.txt", "A-x"}, {"p/y.txt", "A-y"}});
  MakePackage("b.pac", {{"p/y.txt", "B-y"}, {"p/z.txt", "B-z"}});
  f.RunMain("int r;\r\n",
            "  r = merge_file_package(\"a.pac\", \"b.pac\", \"m.pac\");\r\n"
            "  merge_file_package(\"a.pac\", \"missing.pac\", \"only_a.pac\");\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("r"), 1);
  EXPECT_EQ(PackageContents("m.pac"), (Contents{{"p\\x.txt", "A-x"}, {"p\\y.txt", "B-y"}, {"p\\z.txt", "B-z"}}));
  // A package that does not open is left out, and said so.
  EXPECT_EQ(PackageContents("only_a.pac"), (Contents{{"p\\x.txt", "A-x"}, {"p\\y.txt", "A-y"}}));
  EXPECT_NE(f.Log().find("merge_file_package: \"missing.pac\" is left out of \"only_a.pac\""), std::string::npos)
      << f.Log();
}

TEST(FileCalls, DecodeWritesEveryEntryAndReplacesAnExistingFile) {
  FilesWorld f;
  MakePackage("d.pac", {{"pack/q/one.txt", "first"}, {"pack/two.txt", "second"}});
  fs::remove_all("pack/q");
  test::WriteFile("pack/two.txt", "old contents that are longer");
  f.RunMain("int r;\r\n", "  r = decode_file_package(\"d.pac\");\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("r"), 1);
  EXPECT_EQ(test::ReadFile("pack/q/one.txt"), "first");
  EXPECT_EQ(test::ReadFile("pack/two.txt"), "second");
}

// [SECTION] A hostile package

void Put32(std::string& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b += char((v >> (8 * i)) & 0xFF);
}

// A package file of the given entries, unscrambled and uncoded.
std::string RawPackage(const std::vector<std::pair<std::string, std::string>>& entries) {
  uint32_t offset = 4;
  for (const auto& e : entries) offset += uint32_t(e.first.size()) + 1 + 24;
  std::string b;
  Put32(b, uint32_t(entries.size()));
  for (const auto& e : entries) {
    Put32(b, uint32_t(e.first.size()) + 1);
    b += e.first;
    b += '\0';
    Put32(b, 0);  // flags
    Put32(b, 0);  // key
    Put32(b, offset);
    Put32(b, uint32_t(e.second.size()));
    Put32(b, uint32_t(e.second.size()));
    offset += uint32_t(e.second.size());
  }
  for (const auto& e : entries) b += e.second;
  return b;
}

TEST(FileCalls, AHostilePackageWritesNothingOutsideTheWorkingFolder) {
  FilesWorld f;
  // Above the working folder, names of this test's own (the folder's name
  // is unique), and a file that must stay as it is.
  fs::path work = fs::current_path();
  fs::path above = work.parent_path();
  std::string own = work.filename().string();
  fs::path victim = above / (own + "_victim.txt");
  test::WriteFile(victim.string(), "keep me");
  const std::string escapes[] = {"_up.txt", "_deep.txt", "_slash.txt", "_abs.txt", "_root.txt"};
  test::WriteFile("hostile.pac", RawPackage({{"..\\" + own + "_up.txt", "up"},
                                             {"..\\" + own + "_victim.txt", "overwritten"},
                                             {"sub\\..\\..\\" + own + "_deep.txt", "deep"},
                                             {"sub/../../" + own + "_slash.txt", "slash"},
                                             {(above / (own + "_abs.txt")).string(), "abs"},
                                             {"\\" + own + "_root.txt", "root"},
                                             {"C:\\" + own + "_drive.txt", "drive"},
                                             {"good.txt", "good"}}));
  f.RunMain("int r;\r\n", "  r = decode_file_package(\"hostile.pac\");\r\n");
  std::string victimAfter = test::ReadFile(victim.string());
  fs::remove(victim);
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("r"), 1);
  EXPECT_EQ(victimAfter, "keep me");
  for (const std::string& e : escapes) {
    EXPECT_FALSE(fs::exists(above / (own + e))) << e;
    EXPECT_FALSE(fs::exists(fs::path("/") / (own + e))) << e;
  }
  // Inside the folder only the harmless entry, and at most the drive-named
  // one below a folder of that name.
  for (const auto& e : fs::recursive_directory_iterator(work)) {
    if (!e.is_regular_file()) continue;
    std::string name = fs::relative(e.path(), work).generic_string();
    EXPECT_TRUE(name.find("_") == std::string::npos || name.rfind("C:/", 0) == 0) << name;
  }
  EXPECT_EQ(test::ReadFile("good.txt"), "good");
  // The refusals are logged under the call's name.
  std::string log = f.Log();
  EXPECT_NE(log.find("decode_file_package: \"hostile.pac\""), std::string::npos) << log;
  EXPECT_NE(log.find(own + "_up.txt"), std::string::npos) << log;
}

// [SECTION] Threshold dates

int64_t Utc(int y, int mo, int d, int h, int mi, int s) {
  std::tm t{};
  t.tm_year = y - 1900, t.tm_mon = mo - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi, t.tm_sec = s;
  return int64_t(timegm(&t));
}

void SetWriteTime(const std::string& path, int64_t seconds) {
  struct timespec times[2] = {{time_t(seconds), 0}, {time_t(seconds), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

TEST(FileCalls, TheThresholdDateAndTimeChooseTheFilesAdded) {
  FilesWorld f;
  const std::pair<const char*, int64_t> files[] = {
      {"dated/y1979.txt", Utc(1979, 6, 1, 12, 0, 0)},
      {"dated/y1985.txt", Utc(1985, 6, 1, 12, 0, 0)},
      {"dated/late_nov.txt", Utc(2014, 11, 30, 23, 59, 59)},
      {"dated/dec_first.txt", Utc(2014, 12, 1, 0, 0, 1)},
      {"dated/dec_noon.txt", Utc(2014, 12, 1, 12, 0, 0)},
      {"dated/recent.txt", Utc(2024, 3, 5, 8, 0, 0)},
  };
  for (const auto& file : files) {
    test::WriteFile(file.first, "x");
    SetWriteTime(file.first, file.second);
  }
  struct Case {
    const char* date;
    const char* time;
    std::vector<std::string> added;  // of the files above, by name
  };
  const Case cases[] = {
      // Midnight of the date: files of the first of December on.
      {"2014/12/01", "", {"dec_first", "dec_noon", "recent"}},
      // A file written at the very threshold is not newer.
      {"2014/12/01", "12:00:00", {"recent"}},
      {"2014/12/1", "11:59:59", {"dec_noon", "recent"}},
      // No date: now in the year 1980, whatever the time says.
      {"", "", {"dec_first", "dec_noon", "late_nov", "recent", "y1985"}},
      {"", "23:59:59", {"dec_first", "dec_noon", "late_nov", "recent", "y1985"}},
      {"2099/01/01", "", {}},
      // No such day: every file.
      {"2014/02/30", "", {"dec_first", "dec_noon", "late_nov", "recent", "y1979", "y1985"}},
  };
  std::string body;
  for (size_t i = 0; i < std::size(cases); i++)
    body += "  create_file_package(\"case" + std::to_string(i) + ".pac\", [{file:\"dated\", key:0, date:\"" +
            cases[i].date + "\", time:\"" + cases[i].time + "\"}]);\r\n";
  // A first entry with an empty file adds nothing, even with entries after.
  body += "  create_file_package(\"none.pac\", [{file:\"\"}, {file:\"dated\", date:\"\"}]);\r\n";
  f.RunMain("", body);
  ASSERT_EQ(f.RuntimeError(), "");
  for (size_t i = 0; i < std::size(cases); i++) {
    std::string package = "case" + std::to_string(i) + ".pac";
    std::vector<std::string> added;
    for (const auto& entry : PackageContents(package.c_str()))
      added.push_back(entry.first.substr(6, entry.first.size() - 6 - 4));  // "dated\" ... ".txt"
    EXPECT_EQ(added, cases[i].added) << cases[i].date << " " << cases[i].time;
  }
  EXPECT_NE(f.Log().find("\"2014/02/30\" \"\" is no valid date"), std::string::npos) << f.Log();
  EXPECT_TRUE(fs::exists("none.pac"));
  EXPECT_TRUE(PackageContents("none.pac").empty());
}

// [SECTION] Files and failures

TEST(FileCalls, CopyMoveAndDeleteDoTheirWorkAndNeverReplaceAFile) {
  FilesWorld f;
  test::WriteFile("a.txt", "source");
  test::WriteFile("keep.txt", "kept");
  test::WriteFile("moving.txt", "moved");
  test::WriteFile("doomed.txt", "x");
  f.RunMain("int c; int c2; int m; int m2; int d;\r\n",
            "  c = copy_file(\"a.txt\", \"copy.txt\");\r\n"
            "  c2 = copy_file(\"a.txt\", \"KEEP.TXT\");\r\n"
            "  m = move_file(\"moving.txt\", \"sub_moved.txt\");\r\n"
            "  m2 = move_file(\"a.txt\", \"keep.txt\");\r\n"
            "  d = delete_file(\"doomed.txt\");\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  for (const char* r : {"c", "c2", "m", "m2", "d"}) EXPECT_EQ(f.Number(r), 1) << r;
  EXPECT_EQ(test::ReadFile("copy.txt"), "source");
  EXPECT_EQ(test::ReadFile("sub_moved.txt"), "moved");
  EXPECT_FALSE(fs::exists("moving.txt"));
  EXPECT_FALSE(fs::exists("doomed.txt"));
  // Neither a copy nor a move replaced the existing file (its name in
  // another letter case is the same file), and the move kept its source.
  EXPECT_EQ(test::ReadFile("keep.txt"), "kept");
  EXPECT_EQ(test::ReadFile("a.txt"), "source");
  std::string log = f.Log();
  EXPECT_NE(log.find("copy_file: \"a.txt\" was not copied to \"KEEP.TXT\" (the destination exists"), std::string::npos)
      << log;
  EXPECT_NE(log.find("move_file: \"a.txt\" was not moved to \"keep.txt\" (the destination exists"), std::string::npos)
      << log;
}

TEST(FileCalls, EveryFailureIsLoggedWithTheCallTheFileAndTheReasonWhileTheResultStaysOne) {
  FilesWorld f;
  fs::create_directories("afolder");
  test::WriteFile("there.txt", "t");
  MakePackage("ok.pac", {{"k/x.txt", "x"}});
  struct Case {
    const char* call;
    const char* logged;  // the start of the call's log line
  };
  const Case cases[] = {
      {"copy_file(\"missing.txt\", \"c.txt\")", "copy_file: \"missing.txt\" was not copied to \"c.txt\" (No such file"},
      {"copy_file(\"afolder\", \"c2.txt\")", "copy_file: \"afolder\" was not copied to \"c2.txt\" (not a file)"},
      {"move_file(\"missing.txt\", \"m.txt\")", "move_file: \"missing.txt\" was not moved to \"m.txt\" (No such file"},
      {"move_file(\"there.txt\", \"nofolder/m.txt\")",
       "move_file: \"there.txt\" was not moved to \"nofolder/m.txt\" (No such file"},
      {"delete_file(\"missing.txt\")", "delete_file: \"missing.txt\" was not deleted (No such file"},
      {"delete_file(\"afolder\")", "delete_file: \"afolder\" was not deleted ("},
      {"save_file_package(\"afolder\")", "save_file_package: \"afolder\": "},
      {"create_file_package(\"afolder\", [{file:\"there.txt\"}])", "create_file_package: \"afolder\": "},
      {"create_file_package(\"c.pac\", [{file:\"nothing_here\"}])",
       "create_file_package: \"nothing_here\" does not exist"},
      {"merge_file_package(\"m1.pac\", \"m2.pac\", \"m.pac\")",
       "merge_file_package: \"m.pac\" was not written: neither package opens"},
      {"merge_file_package(\"ok.pac\", \"ok.pac\", \"afolder\")", "merge_file_package: \"afolder\": "},
      {"decode_file_package(\"missing.pac\")", "decode_file_package: \"missing.pac\" was not unpacked ("},
  };
  std::string globals, body;
  for (size_t i = 0; i < std::size(cases); i++) {
    globals += "int r" + std::to_string(i) + ";\r\n";
    body += "  r" + std::to_string(i) + " = " + cases[i].call + ";\r\n";
  }
  f.RunMain(globals, body);
  ASSERT_EQ(f.RuntimeError(), "");
  std::string log = f.Log();
  for (size_t i = 0; i < std::size(cases); i++) {
    EXPECT_EQ(f.Number(("r" + std::to_string(i)).c_str()), 1) << cases[i].call;
    EXPECT_NE(log.find(cases[i].logged), std::string::npos) << cases[i].call << "\n" << log;
  }
  EXPECT_TRUE(fs::is_directory("afolder"));
  EXPECT_EQ(test::ReadFile("there.txt"), "t");
  EXPECT_FALSE(fs::exists("m.pac"));
}

TEST(FileCalls, LoadFilePackageResolvesAgainstTheScriptAndTellsFailure) {
  FilesWorld f;
  // Its entries are named relative to its own folder.
  MakePackage("near.pac", {{"inside.txt", "in"}});
  fs::create_directories("sub");
  fs::rename("near.pac", "sub/near.pac");
  fs::remove("inside.txt");
  test::WriteFile("sub/broken.pac", "\x05\x00\x00\x00 not an index");
  f.Run("int near; int missing; int broken; int found;\r\n"
        "function main() {\r\n"
        "  near = load_file_package(\"near.pac\");\r\n"
        "  missing = load_file_package(\"gone.pac\");\r\n"
        "  broken = load_file_package(\"broken.pac\");\r\n"
        "  found = exist_file(\"inside.txt\");\r\n"
        "}\r\n",
        3, "sub/start.rsp");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("near"), 1);
  EXPECT_EQ(f.Number("missing"), 0);
  EXPECT_EQ(f.Number("broken"), 0);
  EXPECT_EQ(f.Number("found"), 1);
  std::string log = f.Log();
  EXPECT_NE(log.find(test::Sjis("[gone.pac]がオープンできません。")), std::string::npos) << log;
  EXPECT_NE(log.find(test::Sjis("[broken.pac]がオープンできません。")), std::string::npos) << log;
}

TEST(FileCalls, WithoutAMountedTableTheTableCallsDoNothing) {
  WorldFixture f;
  f.Run("int loaded; int saved; int closed;\r\n"
        "function main() {\r\n"
        "  loaded = load_file_package(\"x.pac\");\r\n"
        "  add_file_package([{file:\"start.rsp\"}]);\r\n"
        "  remove_file_package(\"a\"); rename_file_package(\"a\", \"b\");\r\n"
        "  saved = save_file_package(\"s.pac\");\r\n"
        "  closed = close_file_package();\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("loaded"), 0);
  EXPECT_EQ(f.Number("saved"), 1);
  EXPECT_EQ(f.Number("closed"), 1);
  EXPECT_FALSE(fs::exists("s.pac"));
}

TEST(FileCalls, TheListCallsRaiseTheirErrorsBeforeChangingAnything) {
  const std::pair<const char*, const char*> cases[] = {
      {"add_file_package(5)", "add_file_package関数の第1引数がオブジェクトではありません。"},
      {"create_file_package(\"made.pac\", 3)", "create_file_package関数の第2引数がオブジェクトではありません。"},
  };
  for (const auto& c : cases) {
    FilesWorld f;
    f.RunMain("", std::string("  ") + c.first + ";\r\n");
    EXPECT_NE(f.RuntimeError().find(test::Sjis(c.second)), std::string::npos) << c.first << "\n" << f.RuntimeError();
    EXPECT_FALSE(fs::exists("made.pac"));
    EXPECT_EQ(f.mounted.Count(), 0);
  }
}

// [SECTION] Head tracking

// A display whose tracking the test sets.
class FakeHeadset : public platform::HeadMountedDisplay {
 public:
  platform::HeadsetTracking tracking;
  int recentred = 0;

  platform::HeadsetFov DefaultEyeFov(int) override { return {}; }
  void FovTextureSize(int, const platform::HeadsetFov&, float, int* w, int* h) override { *w = *h = 16; }
  void Resolution(int* w, int* h) override { *w = *h = 16; }
  int ConfigureRendering(int, int, int, uint32_t, const platform::HeadsetFov[2], platform::HeadsetEyeDesc[2]) override {
    return 1;
  }
  int AttachToWindow(platform::Window*) override { return 1; }
  void BeginFrame(unsigned) override {}
  void DismissSafetyNotice() override {}
  void EndFrame(const platform::HeadsetPose[2], const platform::HeadsetEyeTexture[2]) override {}
  void EyePoses(unsigned, const float[2][3], platform::HeadsetPose out[2]) override { out[0] = out[1] = tracking.head; }
  double TimeInSeconds() override { return 1.0; }
  platform::HeadsetTracking TrackingState(double) override { return tracking; }
  int ConfigureTracking(uint32_t, uint32_t) override { return 1; }
  void RecenterPose() override { recentred++; }
  void Destroy() override {}
};

TEST(VrCalls, WithoutADisplayTheRotationIsZeroAndTheResetDoesNothing) {
  // No renderer at all, and a renderer on a machine without a display.
  for (bool renderer : {false, true}) {
    FilesWorld f;
    render::GraphicsSystem gs;
    gs.log = &f.log;
    if (renderer) {
      EXPECT_EQ(gs.StartVR(), 0);
      f.world.graphics = &gs;
    }
    f.RunMain("object rot; int reset;\r\n", "  rot = ovr_get_rot();\r\n  reset = ovr_reset();\r\n");
    f.world.graphics = nullptr;
    ASSERT_EQ(f.RuntimeError(), "");
    script::CScriptArray* rot = f.Object("rot");
    ASSERT_NE(rot, nullptr);
    EXPECT_EQ(WorldFixture::MemberCount(rot), 3);
    for (const char* m : {"pitch", "yaw", "roll"}) EXPECT_EQ(script::GetMemberFloat(rot, m), 0.0f) << m;
    EXPECT_EQ(f.Number("reset"), 0);  // the handler's preset
  }
}

TEST(VrCalls, TheHeadPoseIsTheAxisTimesTheAngleInRadiansAndTheResetRecentres) {
  FilesWorld f;
  FakeHeadset fake;
  render::GraphicsSystem gs;
  gs.headsetApi.user = &fake;
  gs.headsetApi.Create = [](void* user, int) -> platform::HeadMountedDisplay* {
    return static_cast<FakeHeadset*>(user);
  };
  ASSERT_EQ(gs.StartVR(), 1);
  f.world.graphics = &gs;
  // Half a right angle about y: (0, sin 22.5, 0, cos 22.5), tracked.
  float half = 0.39269908f;
  fake.tracking.head.orientation[1] = std::sin(half);
  fake.tracking.head.orientation[3] = std::cos(half);
  fake.tracking.status = platform::kHeadsetOrientationTracked;
  f.RunMain("object rot; int reset;\r\n", "  rot = ovr_get_rot();\r\n  reset = ovr_reset();\r\n");
  f.world.graphics = nullptr;
  ASSERT_EQ(f.RuntimeError(), "");
  script::CScriptArray* rot = f.Object("rot");
  ASSERT_NE(rot, nullptr);
  EXPECT_NEAR(script::GetMemberFloat(rot, "yaw"), 0.78539816f, 1e-5f);
  EXPECT_EQ(script::GetMemberFloat(rot, "pitch"), 0.0f);
  EXPECT_EQ(script::GetMemberFloat(rot, "roll"), 0.0f);
  EXPECT_EQ(f.Number("reset"), 0);
  EXPECT_EQ(fake.recentred, 1);
  gs.ReleaseDirect3D();
}

}  // namespace
