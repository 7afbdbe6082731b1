// app_settings_test.cpp -- the settings file "tkw4.dat": the default file
// byte for byte, a round trip of every stored field, the reading rules
// (names without case, missing and holed pad entries, widths of the fields)
// and the failures: no file, a file that does not compile, a file without
// the settings object, a file that cannot be written.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/app_local.h"
#include "app_settings_dump.h"
#include "test_support.h"

namespace {

using apptest::DumpStoredFields;

// The defaults as "tkw4.dat" holds them: the indented object text, CR LF
// and tabs, no "PAD" (no entry has a name), ten network entries, and the
// terminating zero byte.
const std::string kDefaultFile =
    "{\r\n"
    "\tVER:20130331,\r\n"
    "\tRSP_FILE:\"\",\r\n"
    "\tSCREEN:{\r\n"
    "\t\tMODE:\"FULLSCREEN\",\r\n"
    "\t\tWIDTH:1024,\r\n"
    "\t\tHEIGHT:768,\r\n"
    "\t\tADAPTER:0,\r\n"
    "\t\tDISPLAY_INCH:0,\r\n"
    "\t\tSTEREO_TYPE:\"NONE\"\r\n"
    "\t},\r\n"
    "\tSHADER:{\r\n"
    "\t\tFLAG:1,\r\n"
    "\t\tSHADOW:2,\r\n"
    "\t\tHIGHDEF:0,\r\n"
    "\t\tMULTI_LIGHT:1,\r\n"
    "\t\tMIRROR:1,\r\n"
    "\t\tBUMP:1,\r\n"
    "\t\tGLARE:1,\r\n"
    "\t\tBLOOM:0,\r\n"
    "\t\tAERO_LIGHT:1\r\n"
    "\t},\r\n"
    "\tTEXTURE_MODE:0,\r\n"
    "\tVIEW_MODE:\"BEHIND\",\r\n"
    "\tFPS:0,\r\n"
    "\tDRAW_FPS:1,\r\n"
    "\tBGM_VOLUME:0,\r\n"
    "\tSE_VOLUME:0,\r\n"
    "\tVOICE_VOLUME:0,\r\n"
    "\tNETWORK:{\r\n"
    "\t\tFLAG:0,\r\n"
    "\t\tPORT:[17328,0,0,0,0,0,0,0,0,0],\r\n"
    "\t\tNAME:[\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"],\r\n"
    "\t\tURL:[\"127.0.0.1\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"],\r\n"
    "\t\tTEAM:[\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"]\r\n"
    "\t},\r\n"
    "\tEDITOR:{\r\n"
    "\t\tV_ROT_REV:0,\r\n"
    "\t\tH_ROT_REV:0\r\n"
    "\t}\r\n"
    "}" + std::string(1, '\0');

// An engine in a fresh working folder, with every box recorded.
class SettingsFile : public ::testing::Test {
 protected:
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;

  // Reads `text` as "tkw4.dat" into a fresh engine's block, which starts
  // filled with 0x5A bytes so that every field the reader leaves alone
  // shows. Returns LoadSettings' result.
  int Read(const std::string& text, app::SettingsBlock* out) {
    test::WriteFile("tkw4.dat", text);
    app::Engine engine;
    std::memset(&engine.settings, 0x5A, sizeof engine.settings);
    int result = app::LoadSettings(engine, nullptr);
    *out = engine.settings;
    return result;
  }

  // Saves `settings` through a fresh engine and returns the file's bytes.
  std::string Write(const app::SettingsBlock& settings, const char* path = nullptr) {
    app::Engine engine;
    engine.settings = settings;
    EXPECT_EQ(app::SaveSettings(engine, path), 0);
    return test::ReadFile(path ? path : "tkw4.dat");
  }

  static app::SettingsBlock Defaults() {
    app::SettingsBlock s;
    app::ResetSettings(&s);
    return s;
  }
};

// A block with a value in every stored field that differs from the
// defaults and from its neighbours: negative numbers in the narrow fields,
// texts with quotes, backslashes, tabs and two-byte characters whose second
// byte is a backslash, and texts that fill their fields exactly.
app::SettingsBlock EveryFieldSet() {
  app::SettingsBlock s;
  std::memset(&s, 0, sizeof s);
  s.version = 20130331;
  std::snprintf(s.startFile, sizeof s.startFile, "%s", test::Sjis("ゲーム \"表\"\\版.rsp").c_str());
  std::snprintf(s.StartFolder, sizeof s.StartFolder, "Folder");
  std::snprintf(s.StartPackage, sizeof s.StartPackage, "Package.pac");
  s.screenMode = 0;
  s.adapter = -2;
  s.width = 32767;
  s.height = -32768;
  s.displayInch = -7;
  s.stereoType = app::kStereoOstraSideBySide;
  s.shaderFlag = 3;
  s.shadow = 4;
  s.highDef = 5;
  s.multiLight = 6;
  s.mirror = 7;
  s.bump = 8;
  s.glare = 9;
  s.bloom = 10;
  s.aeroLight = 11;
  s.textureMode = 12;
  s.viewMode = 0;
  s.fps = 3;
  s.drawFps = 0;
  s.bgmVolume = -3000;
  s.seVolume = -1500;
  s.voiceVolume = 2147483647;
  for (int n = 0; n < app::kPadEntryCount; n++) {
    std::snprintf(s.padName[n], sizeof s.padName[n], "Pad\t%d '%c'", n, 'A' + n);
    for (int b = 0; b < app::kPadButtonCount; b++) s.padMap[n][b] = uint8_t(n * 37 + b * 3);
    for (int k = 0; k < app::kPadAxisCount; k++) s.padFree[n][k] = n * 10 + k - 20;
  }
  s.networkFlag = 2;
  for (int i = 0; i < app::kNetworkEntryCount; i++) {
    s.networkPort[i] = 1000 + i;
    std::snprintf(s.networkName[i], sizeof s.networkName[i], "%s%d", test::Sjis("名前").c_str(), i);
    std::snprintf(s.networkUrl[i], sizeof s.networkUrl[i], "host-%d.example", i);
    std::snprintf(s.networkTeam[i], sizeof s.networkTeam[i], "team %d", i);
  }
  // Texts that fill their fields to the last byte before the terminator.
  std::memset(s.networkUrl[9], 'u', sizeof s.networkUrl[9] - 1);
  std::snprintf(s.networkTeam[9], sizeof s.networkTeam[9], "x%s", test::Sjis("チーム名前は九文字").c_str());
  s.editorVRotRev = 1;
  s.editorHRotRev = -1;
  return s;
}

// ----------------------------------------------------------------------------
// Writing
// ----------------------------------------------------------------------------

TEST_F(SettingsFile, TheDefaultFileByteForByte) {
  EXPECT_EQ(Write(Defaults()), kDefaultFile);
  // The default path is "tkw4.dat"; another path is written the same way.
  EXPECT_EQ(Write(Defaults(), "other.dat"), kDefaultFile);
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(SettingsFile, NamedPadEntriesAndTheNarrowFieldsAsWritten) {
  app::SettingsBlock s = Defaults();
  std::snprintf(s.padName[1], sizeof s.padName[1], "Keyboard");
  s.padMap[1][0] = 200;
  s.padFree[1][5] = -3;
  s.displayInch = -1;  // sign-extended
  s.adapter = -32768;
  s.screenMode = 0;
  s.viewMode = 0;
  s.stereoType = app::kStereoOculusVr;
  std::string text = Write(s);

  std::string map = "[200";
  for (int b = 1; b < app::kPadButtonCount; b++) map += ",255";
  map += "]";
  EXPECT_NE(text.find("\tVOICE_VOLUME:0,\r\n"
                      "\tPAD:[\r\n"
                      "\t\t{\r\n"
                      "\t\t\tNAME:\"Keyboard\",\r\n"
                      "\t\t\tMAP:" +
                      map +
                      ",\r\n"
                      "\t\t\tFREE:[0,0,0,0,0,-3]\r\n"
                      "\t\t}\r\n"
                      "\t],\r\n"
                      "\tNETWORK:{\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\t\tMODE:\"WINDOW\",\r\n"), std::string::npos);
  EXPECT_NE(text.find("\t\tADAPTER:-32768,\r\n\t\tDISPLAY_INCH:-1,\r\n\t\tSTEREO_TYPE:\"OCULUS_VR\"\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("\tVIEW_MODE:\"COCKPIT\",\r\n"), std::string::npos);

  // A stereo type past the last name is left out of the file.
  s.stereoType = 5;
  text = Write(s);
  EXPECT_NE(text.find("\t\tDISPLAY_INCH:-1\r\n\t},\r\n\tSHADER:{"), std::string::npos);
  EXPECT_EQ(text.find("STEREO_TYPE"), std::string::npos);
}

TEST_F(SettingsFile, AFileThatCannotBeWrittenGetsABoxAndTheSettingsStay) {
  // A folder of that name can be neither truncated nor created.
  ASSERT_EQ(::mkdir("locked.dat", 0755), 0);
  app::Engine engine;
  app::ResetSettings(&engine.settings);
  engine.settings.width = 640;
  EXPECT_EQ(app::SaveSettings(engine, "locked.dat"), 0);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("オプション設定ファイルの書き込みオープンに失敗しました。"));
  EXPECT_EQ(boxes.Boxes()[0].caption, "");
  EXPECT_EQ(boxes.Boxes()[0].flags, platform::kMbOk);
  EXPECT_EQ(engine.settings.width, 640);
  EXPECT_TRUE(platform::IsDirectory("locked.dat"));

  // A file that exists is replaced whole, however long it was.
  test::WriteFile("tkw4.dat", std::string(100000, 'x'));
  EXPECT_EQ(Write(Defaults()), kDefaultFile);
}

// The number of entries of the working folder, hidden ones included: a
// failed write leaves no temporary file behind.
int FolderEntries() {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(".")) n += !e.path().empty();
  return n;
}

TEST_F(SettingsFile, AFullDiskKeepsTheOldFileWithABoxAndALogLine) {
  // The user's valid file, then writes that find the disk full after a few
  // bytes, one byte short of the whole file, and at once: each keeps the old file
  // byte for byte.
  app::SettingsBlock every = EveryFieldSet();
  std::string old = Write(every);
  ASSERT_GT(old.size(), kDefaultFile.size());
  for (int64_t space : {int64_t(0), int64_t(1), int64_t(100), int64_t(kDefaultFile.size()) - 1}) {
    SCOPED_TRACE(space);
    size_t shown = boxes.Boxes().size();
    int entries = FolderEntries();
    {
      app::Engine engine;
      app::ResetSettings(&engine.settings);
      platform::SetWholeFileSpaceForTesting(space);
      EXPECT_EQ(app::SaveSettings(engine, nullptr), 0);
      platform::SetWholeFileSpaceForTesting(-1);
      EXPECT_EQ(engine.settings.width, 1024) << "the settings in memory stay";
    }
    EXPECT_EQ(test::ReadFile("tkw4.dat"), old);
    ASSERT_EQ(boxes.Boxes().size(), shown + 1);
    EXPECT_EQ(boxes.Boxes().back().text, test::Sjis("オプション設定ファイルの書き込みオープンに失敗しました。"));
    std::string log = test::ReadFile("system.log");
    EXPECT_NE(log.find(test::Sjis("オプション設定ファイル\"tkw4.dat\"が書き込めません(") + std::strerror(ENOSPC) + ")"),
              std::string::npos)
        << log;
    EXPECT_EQ(FolderEntries(), entries) << "the temporary file is removed";
    // The next start reads every setting of the old file.
    app::SettingsBlock back;
    ASSERT_EQ(Read(old, &back), 1);
    EXPECT_EQ(DumpStoredFields(back), DumpStoredFields(every));
  }
  // With room again the new settings replace the old, keeping its mode.
  ASSERT_EQ(::chmod("tkw4.dat", 0640), 0);
  EXPECT_EQ(Write(Defaults()), kDefaultFile);
  struct stat st;
  ASSERT_EQ(::stat("tkw4.dat", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(SettingsFile, ASettingsFileThatIsNoRegularFileReadsAsMissing) {
  // A FIFO would block the reading start-up for ever, a device never end.
  ASSERT_EQ(::mkfifo("tkw4.dat", 0644), 0);
  app::Engine engine;
  std::memset(&engine.settings, 0x5A, sizeof engine.settings);
  app::SettingsBlock before = engine.settings;
  EXPECT_EQ(app::LoadSettings(engine, nullptr), 0);
  EXPECT_EQ(app::LoadSettings(engine, "/dev/zero"), 0);
  EXPECT_EQ(app::LoadSettings(engine, "."), 0);
  EXPECT_EQ(std::memcmp(&engine.settings, &before, sizeof before), 0);
  EXPECT_TRUE(boxes.Boxes().empty());
  // Writing neither blocks on the FIFO nor replaces it: the box says so.
  app::ResetSettings(&engine.settings);
  EXPECT_EQ(app::SaveSettings(engine, nullptr), 0);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  struct stat st;
  ASSERT_EQ(::lstat("tkw4.dat", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(SettingsFile, ALinkedSettingsFileIsReplacedWhereItLies) {
  // A settings file kept elsewhere and linked in: the file it names gets
  // the new settings, the link stays.
  test::WriteFile("kept/tkw4.dat", "old");
  ASSERT_EQ(::symlink("kept/tkw4.dat", "tkw4.dat"), 0);
  EXPECT_EQ(Write(Defaults()), kDefaultFile);
  EXPECT_EQ(test::ReadFile("kept/tkw4.dat"), kDefaultFile);
  struct stat st;
  ASSERT_EQ(::lstat("tkw4.dat", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(SettingsFile, RunningOutOfValuesWritesNothing) {
  // The object cannot be built: the file on disk keeps the last settings
  // rather than a part of the new ones.
  test::WriteFile("tkw4.dat", kDefaultFile);
  app::Engine engine;
  app::ResetSettings(&engine.settings);
  engine.settings.width = 640;
  engine.world.scriptEngine.pools.values.capacityLimit = 1;
  EXPECT_EQ(app::SaveSettings(engine, nullptr), 0);
  EXPECT_EQ(test::ReadFile("tkw4.dat"), kDefaultFile);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("割り当て可能なCScriptValueインスタンスがなくなりました。"));

  // With values to spare it is written, and every record it took goes back.
  script::ScriptPools& pools = engine.world.scriptEngine.pools;
  pools.values.capacityLimit = 1u << 30;
  uint32_t values = pools.values.Count();
  uint32_t arrays = pools.arrays.Count();
  app::SaveSettings(engine, nullptr);
  EXPECT_NE(test::ReadFile("tkw4.dat").find("\t\tWIDTH:640,\r\n"), std::string::npos);
  EXPECT_EQ(pools.values.Count(), values);
  EXPECT_EQ(pools.arrays.Count(), arrays);
}

// ----------------------------------------------------------------------------
// Reading
// ----------------------------------------------------------------------------

TEST_F(SettingsFile, EveryStoredFieldReadsBack) {
  const app::SettingsBlock original = EveryFieldSet();
  std::string text = Write(original);
  app::SettingsBlock read;
  ASSERT_EQ(Read(text, &read), 1);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(DumpStoredFields(read), DumpStoredFields(original));
  // Every byte of every stored field, the terminators' tails included.
  app::SettingsBlock expected = original;
  std::memset(expected.StartFolder, 0x5A, sizeof expected.StartFolder);
  std::memset(expected.StartPackage, 0x5A, sizeof expected.StartPackage);
  EXPECT_EQ(std::memcmp(&read, &expected, sizeof read), 0);
  // Writing what was read gives the same file again.
  EXPECT_EQ(Write(read), text);
}

TEST_F(SettingsFile, TheStartFolderAndPackageAreNotStored) {
  app::SettingsBlock s = Defaults();
  std::snprintf(s.StartFolder, sizeof s.StartFolder, "GameFolder");
  std::snprintf(s.StartPackage, sizeof s.StartPackage, "GamePackage.pac");
  std::string text = Write(s);
  EXPECT_EQ(text, kDefaultFile);

  test::WriteFile("tkw4.dat", text);
  app::Engine engine;
  std::snprintf(engine.settings.StartFolder, sizeof engine.settings.StartFolder, "Kept");
  ASSERT_EQ(app::LoadSettings(engine, nullptr), 1);
  EXPECT_STREQ(engine.settings.StartFolder, "Kept");
  EXPECT_STREQ(engine.settings.StartPackage, "");
}

TEST_F(SettingsFile, AFileWithoutPadEntriesReadsEveryMapAsZero) {
  app::SettingsBlock read;
  ASSERT_EQ(Read(kDefaultFile, &read), 1);
  for (int n = 0; n < app::kPadEntryCount; n++) {
    EXPECT_STREQ(read.padName[n], "");
    for (int b = 0; b < app::kPadButtonCount; b++) ASSERT_EQ(read.padMap[n][b], 0) << n << " " << b;
    for (int k = 0; k < app::kPadAxisCount; k++) ASSERT_EQ(read.padFree[n][k], 0);
  }
  // Everything else is the defaults.
  app::SettingsBlock defaults = Defaults();
  std::memset(defaults.padMap, 0, sizeof defaults.padMap);
  EXPECT_EQ(DumpStoredFields(read), DumpStoredFields(defaults));
}

TEST_F(SettingsFile, UnnamedPadEntriesLeaveHolesThatCloseOnReading) {
  app::SettingsBlock s = Defaults();
  std::snprintf(s.padName[0], sizeof s.padName[0], "Keyboard");
  std::snprintf(s.padName[2], sizeof s.padName[2], "Stick");
  s.padMap[0][8] = 44;
  s.padMap[2][8] = 0;
  s.padFree[2][0] = 2;
  s.padMap[1][8] = 99;  // unnamed: not written
  app::SettingsBlock read;
  ASSERT_EQ(Read(Write(s), &read), 1);
  EXPECT_STREQ(read.padName[0], "Keyboard");
  EXPECT_STREQ(read.padName[1], "Stick");  // entry 2 comes back as entry 1
  EXPECT_EQ(read.padMap[0][8], 44);
  EXPECT_EQ(read.padMap[1][8], 0);
  EXPECT_EQ(read.padMap[1][9], 255);
  EXPECT_EQ(read.padFree[1][0], 2);
  EXPECT_STREQ(read.padName[2], "");
  EXPECT_EQ(read.padMap[2][8], 0);
  EXPECT_EQ(read.padFree[2][0], 0);
}

TEST_F(SettingsFile, ModeNamesAreReadWithoutCase) {
  struct Case {
    const char* screen;  // the member texts as the file writes them
    const char* stereo;
    const char* view;
    int screenMode;
    int stereoType;
    int viewMode;
  };
  const Case cases[] = {
      {"\"FULLSCREEN\"", "\"NONE\"", "\"BEHIND\"", 1, 0, 1},
      {"\"fullscreen\"", "\"3d_vision\"", "\"behind\"", 1, 1, 1},
      {"\"FullScreen\"", "\"3D_Ostra_Col\"", "\"Behind\"", 1, 2, 1},
      {"\"WINDOW\"", "\"3d_ostra_lr\"", "\"COCKPIT\"", 0, 3, 0},
      {"\"window\"", "\"oculus_vr\"", "\"cockpit\"", 0, 4, 0},
      {"\"FULL\"", "\"ANAGLYPH\"", "\"BEHIND \"", 0, 0, 0},  // other names
      {"1", "4", "1", 0, 0, 0},                              // numbers are no names
      {"\"\"", "\"\"", "\"\"", 0, 0, 0},
  };
  for (const Case& c : cases) {
    app::SettingsBlock read;
    std::string file =
        std::string("{SCREEN:{MODE:") + c.screen + ",STEREO_TYPE:" + c.stereo + "},VIEW_MODE:" + c.view + "}";
    ASSERT_EQ(Read(file, &read), 1);
    EXPECT_EQ(read.screenMode, c.screenMode) << c.screen;
    EXPECT_EQ(read.stereoType, c.stereoType) << c.stereo;
    EXPECT_EQ(read.viewMode, c.viewMode) << c.view;
  }
}

TEST_F(SettingsFile, TheFileIsReadLikeAnyDataFile) {
  // Comments, definitions, hex numbers, constant arithmetic, quoted keys,
  // "=" for ":", members in any order and trailing commas.
  app::SettingsBlock read;
  ASSERT_EQ(Read("// settings\r\n"
                 "#define WIDE 0x500\r\n"
                 "{\r\n"
                 "\tSCREEN = { \"HEIGHT\": 360 * 2, WIDTH: WIDE, },\r\n"
                 "\tVER: 20130331, /* version */\r\n"
                 "\tNETWORK: { URL: [\"a\", \"b\"], PORT: [1 + 1], },\r\n"
                 "\tFPS: 2.9,\r\n"
                 "}\r\n",
                 &read),
            1);
  EXPECT_EQ(read.version, 20130331);
  EXPECT_EQ(read.width, 1280);
  EXPECT_EQ(read.height, 720);
  EXPECT_STREQ(read.networkUrl[0], "a");
  EXPECT_STREQ(read.networkUrl[1], "b");
  EXPECT_EQ(read.networkPort[0], 2);
  EXPECT_EQ(read.fps, 2);  // a float member truncates
  // Missing members read as 0 or empty; a text member read as a number and
  // a number read as a text give 0 and the empty text.
  EXPECT_EQ(read.drawFps, 0);
  EXPECT_STREQ(read.startFile, "");
  ASSERT_EQ(Read("{RSP_FILE:12,TEXTURE_MODE:\"3\"}", &read), 1);
  EXPECT_STREQ(read.startFile, "");
  EXPECT_EQ(read.textureMode, 0);
}

TEST_F(SettingsFile, NumbersAreCutToTheirFieldsWidth) {
  app::SettingsBlock read;
  ASSERT_EQ(Read("{SCREEN:{WIDTH:70000,HEIGHT:-1,ADAPTER:65535,DISPLAY_INCH:200},"
                 "PAD:[{NAME:\"k\",MAP:[263,-1,255,256]}]}",
                 &read),
            1);
  EXPECT_EQ(read.width, int16_t(70000 - 65536));
  EXPECT_EQ(read.height, -1);
  EXPECT_EQ(read.adapter, -1);
  EXPECT_EQ(read.displayInch, int8_t(200 - 256));
  EXPECT_EQ(read.padMap[0][0], 7);
  EXPECT_EQ(read.padMap[0][1], 255);
  EXPECT_EQ(read.padMap[0][2], 255);
  EXPECT_EQ(read.padMap[0][3], 0);
}

TEST_F(SettingsFile, LongTextsAreCutAtTheFieldOnACharacterBoundary) {
  const std::string a = test::Sjis("あ");  // two bytes
  std::string name21 = "n";                // 1 + 10 x 2 bytes: one too many
  for (int i = 0; i < 10; i++) name21 += a;
  std::string team19 = "t";  // 1 + 9 x 2 bytes: fills the field
  for (int i = 0; i < 9; i++) team19 += a;
  std::string url = std::string(98, 'u') + a;  // the character would end past the field
  std::string file = std::string("{RSP_FILE:\"") + std::string(300, 'r') + "\"," +
                     "PAD:[{NAME:\"" + std::string(200, 'p') + "\"}," + "{NAME:\"second\"}]," +
                     "NETWORK:{NAME:[\"" + name21 + "\",\"next\"],URL:[\"" + url + "\",\"next\"],TEAM:[\"" +
                     team19 + a + "\",\"next\"]}}";
  app::SettingsBlock read;
  ASSERT_EQ(Read(file, &read), 1);
  EXPECT_EQ(std::string(read.startFile), std::string(259, 'r'));
  EXPECT_EQ(std::string(read.padName[0]), std::string(127, 'p'));
  EXPECT_STREQ(read.padName[1], "second");
  EXPECT_EQ(std::string(read.networkName[0]), name21.substr(0, 19));  // "n" and nine characters
  EXPECT_EQ(std::string(read.networkName[0]).size(), 19u);
  EXPECT_EQ(std::string(read.networkUrl[0]), std::string(98, 'u'));  // not half a character
  EXPECT_EQ(std::string(read.networkTeam[0]), team19);
  // The fields that follow are untouched.
  EXPECT_STREQ(read.networkName[1], "next");
  EXPECT_STREQ(read.networkUrl[1], "next");
  EXPECT_STREQ(read.networkTeam[1], "next");
  EXPECT_TRUE(boxes.Boxes().empty());
}

// ----------------------------------------------------------------------------
// Failures
// ----------------------------------------------------------------------------

TEST_F(SettingsFile, AMissingFileReadsNothing) {
  app::Engine engine;
  std::memset(&engine.settings, 0x5A, sizeof engine.settings);
  app::SettingsBlock before = engine.settings;
  EXPECT_EQ(app::LoadSettings(engine, nullptr), 0);
  EXPECT_EQ(app::LoadSettings(engine, "elsewhere.dat"), 0);
  EXPECT_EQ(std::memcmp(&engine.settings, &before, sizeof before), 0);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_FALSE(platform::PathExists("CompileError.txt"));
}

TEST_F(SettingsFile, AFileThatDoesNotCompileGetsTheErrorBoxAndFiles) {
  test::WriteFile("tkw4.dat", "{\r\n\tVER:20130331,\r\n\tSCREEN:{WIDTH:}\r\n}");
  {
    app::Engine engine;
    EXPECT_EQ(app::LoadSettings(engine, nullptr), 0);
    std::string errors = engine.world.scriptEngine.GetErrorListText();
    EXPECT_NE(errors.find(work.Path() + "/tkw4.dat(3"), std::string::npos) << errors;
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, "CompileError");
    EXPECT_EQ(boxes.Boxes()[0].flags, platform::kMbOk);
    EXPECT_EQ(boxes.Boxes()[0].text, errors);
    EXPECT_EQ(test::ReadFile("CompileError.txt"), errors);
    EXPECT_TRUE(platform::PathExists("CompiledCode.txt"));
    EXPECT_TRUE(platform::PathExists("CompiledValue.txt"));
  }
  // The log shows the interpretation start and no taking-in.
  std::string log = test::ReadFile("system.log");
  EXPECT_NE(log.find(test::Sjis("オプション設定ファイル解釈処理開始")), std::string::npos);
  EXPECT_EQ(log.find(test::Sjis("オプション設定ファイル取込処理開始")), std::string::npos);
}

TEST_F(SettingsFile, EveryCutOfAFileIsReadOrRefused) {
  // A file cut short (a write that stopped when the disk was full) either
  // still reads or is refused with the compile-error box; texts always end
  // inside their fields.
  app::SettingsBlock s = EveryFieldSet();
  std::string whole = Write(s);
  app::Engine engine;
  script::ScriptEngine& se = engine.world.scriptEngine;
  int read = 0;
  for (size_t length = 0; length < whole.size(); length += 7) {
    test::WriteFile("tkw4.dat", whole.substr(0, length));
    se.ClearScriptEngine();
    se.ResetScriptEngine(nullptr, nullptr);
    size_t boxesBefore = boxes.Boxes().size();
    int result = app::LoadSettings(engine, nullptr);
    if (result == 1) {
      read++;
      EXPECT_EQ(boxes.Boxes().size(), boxesBefore) << length;
    } else {
      ASSERT_EQ(boxes.Boxes().size(), boxesBefore + 1) << length;
      EXPECT_EQ(boxes.Boxes().back().caption, "CompileError") << length;
    }
    ASSERT_NE(std::memchr(engine.settings.startFile, 0, sizeof engine.settings.startFile), nullptr);
    ASSERT_NE(std::memchr(engine.settings.networkTeam[9], 0, sizeof engine.settings.networkTeam[9]), nullptr);
  }
  // Only the whole file (less its zero byte at most) reads.
  EXPECT_LE(read, 1);
}

TEST_F(SettingsFile, AFileWithoutTheSettingsObjectGetsItsBox) {
  // The file compiles, but the global it was to fill is a function after it.
  test::WriteFile("tkw4.dat", "{VER:20130331}\r\n;\r\nfunction __system_option_data__() {}\r\n");
  app::Engine engine;
  std::memset(&engine.settings, 0x5A, sizeof engine.settings);
  EXPECT_EQ(app::LoadSettings(engine, nullptr), 0);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("オプション設定データ[__system_option_data__]が存在しません。"));
  EXPECT_EQ(boxes.Boxes()[0].caption, "Tarnwick4.22");
  EXPECT_EQ(boxes.Boxes()[0].flags, platform::kMbOk | platform::kMbIconWarning);
  EXPECT_EQ(engine.settings.version, 0x5A5A5A5A);
}

TEST_F(SettingsFile, ReadingLogsBothSteps) {
  test::WriteFile("tkw4.dat", kDefaultFile);
  {
    app::Engine engine;
    ASSERT_EQ(app::LoadSettings(engine, nullptr), 1);
  }
  std::string log = test::ReadFile("system.log");
  size_t interpret = log.find(test::Sjis("オプション設定ファイル解釈処理開始\r\n"));
  size_t take = log.find(test::Sjis("オプション設定ファイル取込処理開始\r\n"));
  ASSERT_NE(interpret, std::string::npos);
  ASSERT_NE(take, std::string::npos);
  EXPECT_LT(interpret, take);
  EXPECT_NE(log.find(test::Sjis("スクリプト読み込み開始@LoadScriptMemory")), std::string::npos);
}

TEST_F(SettingsFile, PathsInFoldersAndWithQuotes) {
  // The "#include" line carries the path escaped; the folder is kept.
  test::WriteFile("sub/it's \"here\".dat", "{VER:1,SCREEN:{WIDTH:99}}");
  app::Engine engine;
  ASSERT_EQ(app::LoadSettings(engine, "sub/it's \"here\".dat"), 1);
  EXPECT_EQ(engine.settings.version, 1);
  EXPECT_EQ(engine.settings.width, 99);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(Write(Defaults(), "sub/it's \"here\".dat"), kDefaultFile);
}

}  // namespace
