// api_set_options_test.cpp -- the camera, environment, HUD, pad and volume
// setters and the system options run from game scripts: every option key
// set and read back (any case), the volume table, ignored values, the
// shader keys' rebuild request, save_system_option read back after a
// restart of the program and with a file it cannot write, pads mapped,
// learnt and made less sensitive on scripted devices, and bad handles,
// bad indexes, numbers that are no numbers and missing objects.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cfloat>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "api_fixture.h"
#include "app/app_local.h"
#include "app/app_settings_dump.h"
#include "input/input_public.h"
#include "sound/sound_public.h"
#include "units/units_public.h"

namespace {

using apitest::PlacingWorld;
using core::SettingsBlock;

// A world with a settings block of fresh-installation defaults, two unit
// types, and units placed after the reset that starts the script.
struct OptionWorld : PlacingWorld {
  SettingsBlock settings{};
  units::UnitType* plane = nullptr;
  units::UnitType* missile = nullptr;

  OptionWorld() {
    core::ResetSettings(&settings);
    world.settings = &settings;
    plane = AddType("plane", 100, 0);
    missile = AddType("missile", 10, units::kAttrWeapon);
  }
};

// "int r0; ... int rN;" for the results a script keeps.
std::string Results(size_t n) {
  std::string text;
  for (size_t i = 0; i < n; i++) text += "int r" + std::to_string(i) + ";\r\n";
  return text;
}
std::string R(size_t i) { return "r" + std::to_string(i); }

// [SECTION] System options

struct OptionCase {
  const char* key;      // as the script writes it
  int value;            // set_system_option's value
  int read;             // what get_system_option gives after it
  int32_t SettingsBlock::*field;
  int32_t stored;       // the field afterwards
};

// Every key, written in upper, lower and mixed case by turns, set and read
// back in one script: each key reaches its own field.
TEST(SystemOptions, EveryKeySetThenReadBackInAnyCase) {
  const OptionCase cases[] = {
      {"TEXTURE_SIZE", 2, 2, &SettingsBlock::textureMode, 2},
      {"bgm_vol", 50, 50, &SettingsBlock::bgmVolume, -1500},
      {"Se_Vol", 1, 1, &SettingsBlock::seVolume, -2970},
      {"VOICE_VOL", 100, 100, &SettingsBlock::voiceVolume, 0},
      {"fps", 3, 3, &SettingsBlock::fps, 3},
      {"FPS_print", 2, 2, &SettingsBlock::drawFps, 2},
      {"SHADER_RESOLUTION", 1, 1, &SettingsBlock::highDef, 1},
      {"shader_shadow", 3, 3, &SettingsBlock::shadow, 3},
      {"Shader_Glare", 7, 7, &SettingsBlock::glare, 7},
      {"SHADER_BLOOM", -4, -4, &SettingsBlock::bloom, -4},
      {"shader_mirror", 0, 0, &SettingsBlock::mirror, 0},
      {"SHADER_BUMP", 9, 9, &SettingsBlock::bump, 9},
      {"shader_MULTI", 5, 5, &SettingsBlock::multiLight, 5},
      {"SHADER_AERO_LIGHT", 6, 6, &SettingsBlock::aeroLight, 6},
  };
  const size_t n = sizeof cases / sizeof cases[0];
  OptionWorld f;
  std::string body;
  for (size_t i = 0; i < n; i++) {
    std::string key = std::string("\"") + cases[i].key + "\"";
    body += "  set_system_option(" + key + ", " + std::to_string(cases[i].value) + "); " + R(i) +
            " = get_system_option(" + key + ");\r\n";
  }
  f.Run(Results(n) + "function main() {\r\n" + body + "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  for (size_t i = 0; i < n; i++) {
    EXPECT_EQ(f.Number(R(i).c_str()), float(cases[i].read)) << cases[i].key;
    EXPECT_EQ(f.settings.*(cases[i].field), cases[i].stored) << cases[i].key;
  }
}

// Values outside a key's range, keys not in the table (a near miss, a
// blank, a number, the settings file's own name for the field) and the
// empty key change nothing; reading such a key gives 0.
TEST(SystemOptions, OutOfRangeValuesAndUnknownKeysChangeNothing) {
  OptionWorld f;
  f.settings.textureMode = 1;
  f.settings.fps = 1;
  f.settings.drawFps = 1;
  f.settings.highDef = 1;
  f.settings.shadow = 1;
  const std::string before = apptest::DumpStoredFields(f.settings);
  f.Run("int unknown; int blank; int empty; int number;\r\n"
        "function main() {\r\n"
        "  set_system_option(\"TEXTURE_SIZE\", 3); set_system_option(\"TEXTURE_SIZE\", -1);\r\n"
        "  set_system_option(\"FPS\", 4); set_system_option(\"FPS\", -1);\r\n"
        "  set_system_option(\"FPS_PRINT\", 3);\r\n"
        "  set_system_option(\"SHADER_RESOLUTION\", 3); set_system_option(\"SHADER_SHADOW\", 4);\r\n"
        "  set_system_option(\"SHADER_SHADOW\", -1);\r\n"
        "  set_system_option(\"TEXTURE_MODE\", 2); set_system_option(\"FPS \", 2);\r\n"
        "  set_system_option(\"SHADER\", 2); set_system_option(\"\", 2); set_system_option(5, 2);\r\n"
        "  unknown = get_system_option(\"BGM_VOLUME\"); blank = get_system_option(\" FPS\");\r\n"
        "  empty = get_system_option(\"\"); number = get_system_option(3);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(apptest::DumpStoredFields(f.settings), before);
  for (const char* name : {"unknown", "blank", "empty", "number"}) EXPECT_EQ(f.Number(name), 0.0f) << name;
}

// The volume table: a percentage p of 1..100 is stored as (p - 100) x 30,
// 0 or below as -30000, above 100 keeps the stored volume.
TEST(SystemOptions, VolumePercentagesAreStoredInHundredthsOfADecibel) {
  struct VolumeCase {
    int32_t before;
    int value;
    int32_t stored;
  };
  const VolumeCase cases[] = {
      {-600, 100, 0},       {-600, 1, -2970}, {-600, 0, -30000},   {-600, -5, -30000},
      {-600, 101, -600},    {-600, 99999, -600}, {-600, 50, -1500}, {-30000, 101, -30000},
  };
  for (const VolumeCase& c : cases) {
    for (int32_t SettingsBlock::*field : {&SettingsBlock::bgmVolume, &SettingsBlock::seVolume,
                                          &SettingsBlock::voiceVolume}) {
      OptionWorld f;
      f.settings.bgmVolume = f.settings.seVolume = f.settings.voiceVolume = c.before;
      const char* key = field == &SettingsBlock::bgmVolume  ? "BGM_VOL"
                        : field == &SettingsBlock::seVolume ? "SE_VOL"
                                                            : "VOICE_VOL";
      f.Run(std::string("function main() { set_system_option(\"") + key + "\", " + std::to_string(c.value) +
                "); }\r\n");
      ASSERT_EQ(f.RuntimeError(), "");
      EXPECT_EQ(f.settings.*field, c.stored) << key << " " << c.value;
      // The other groups keep theirs.
      EXPECT_EQ(f.settings.bgmVolume + f.settings.seVolume + f.settings.voiceVolume - f.settings.*field,
                2 * c.before)
          << key;
    }
  }
}

// Reading: volumes as v / 30 truncated toward zero plus 100, never below
// 0; any value of exactly 256 reads as 0, whatever the key.
TEST(SystemOptions, ReadingVolumesAsPercentagesAnd256AsZero) {
  struct ReadCase {
    const char* key;
    int32_t SettingsBlock::*field;
    int32_t stored;
    int read;
  };
  const ReadCase cases[] = {
      {"BGM_VOL", &SettingsBlock::bgmVolume, -2999, 1},     // -99.97 truncates to -99
      {"BGM_VOL", &SettingsBlock::bgmVolume, -3001, 0},
      {"SE_VOL", &SettingsBlock::seVolume, -3030, 0},       // -1 is held at 0
      {"SE_VOL", &SettingsBlock::seVolume, -30000, 0},
      {"VOICE_VOL", &SettingsBlock::voiceVolume, -10000, 0},
      {"VOICE_VOL", &SettingsBlock::voiceVolume, 4650, 255},
      {"VOICE_VOL", &SettingsBlock::voiceVolume, 4680, 0},  // 256
      {"FPS", &SettingsBlock::fps, 256, 0},
      {"FPS", &SettingsBlock::fps, 257, 257},
      {"SHADER_GLARE", &SettingsBlock::glare, 256, 0},
      {"SHADER_GLARE", &SettingsBlock::glare, -256, -256},
  };
  const size_t n = sizeof cases / sizeof cases[0];
  for (size_t i = 0; i < n; i++) {
    OptionWorld f;
    f.settings.*(cases[i].field) = cases[i].stored;
    f.Run(std::string("int r;\r\nfunction main() { r = get_system_option(\"") + cases[i].key + "\"); }\r\n");
    ASSERT_EQ(f.RuntimeError(), "");
    EXPECT_EQ(f.Number("r"), float(cases[i].read)) << cases[i].key << " " << cases[i].stored;
  }
}

// The shader keys ask the render pass to rebuild its targets at the next
// frame, even for a value out of range; the aero light, the frame rate and
// the volumes do not.
TEST(SystemOptions, ShaderKeysRequestARebuildAtTheNextFrame) {
  struct FlagCase {
    const char* call;
    int rebuild;
  };
  const FlagCase cases[] = {
      {"set_system_option(\"SHADER_RESOLUTION\", 2)", 1}, {"set_system_option(\"SHADER_RESOLUTION\", 7)", 1},
      {"set_system_option(\"shader_shadow\", 0)", 1},     {"set_system_option(\"SHADER_SHADOW\", 9)", 1},
      {"set_system_option(\"SHADER_GLARE\", 0)", 1},      {"set_system_option(\"SHADER_BLOOM\", 1)", 1},
      {"set_system_option(\"SHADER_MIRROR\", 1)", 1},     {"set_system_option(\"SHADER_BUMP\", 0)", 1},
      {"set_system_option(\"SHADER_MULTI\", 0)", 1},      {"set_system_option(\"SHADER_AERO_LIGHT\", 0)", 0},
      {"set_system_option(\"FPS\", 1)", 0},               {"set_system_option(\"BGM_VOL\", 10)", 0},
      {"set_system_option(\"TEXTURE_SIZE\", 1)", 0},      {"set_system_option(\"SHADER_FLAG\", 0)", 0},
  };
  for (const FlagCase& c : cases) {
    OptionWorld f;
    f.Run(std::string("function main() { ") + c.call + "; }\r\n");
    ASSERT_EQ(f.RuntimeError(), "");
    EXPECT_EQ(f.world.renderRebuild, c.rebuild) << c.call;
  }
}

// Without a settings block (a tool's world) the options do nothing and
// read 0; every call still returns its preset.
TEST(SystemOptions, AWorldWithoutSettingsReadsZero) {
  PlacingWorld f;
  f.Run("int set; int read; int saved;\r\n"
        "function main() {\r\n"
        "  set = set_system_option(\"FPS\", 2); read = get_system_option(\"FPS\"); saved = save_system_option();\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("set"), 1.0f);
  EXPECT_EQ(f.Number("read"), 0.0f);
  EXPECT_EQ(f.Number("saved"), 1.0f);
}

// [SECTION] Saving the options: the program run twice

const char* kSettingsFile = "{VER:20130331,SCREEN:{MODE:\"WINDOW\",WIDTH:320,HEIGHT:240},FPS:0}";
const char* kOptionCalls =
    "systemcall set_system_option(string key, int value);\r\n"
    "systemcall get_system_option(string key);\r\n"
    "systemcall save_system_option();\r\n";

// One run of the program on "Game/game.rsp": the start script runs and,
// leaving no start file, the program ends there.
int RunProgram(app::Engine& engine, test::SteadyClock& clock) {
  engine.clock.source = test::SteadyClock::Read;
  engine.clock.user = &clock;
  std::vector<char*> argv{const_cast<char*>("tkw4")};
  return app::WinMain(engine, int(argv.size()), argv.data());
}

TEST(SaveSystemOption, ARestartReadsTheSavedOptionsBack) {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  test::WriteFile("tkw4.dat", kSettingsFile);
  // The options set before the save reach the file; the one set after it
  // does not (the program then ends without writing the settings again).
  test::WriteFile("Game/game.rsp", std::string(kOptionCalls) +
                                       "int saved;\r\n"
                                       "function main() {\r\n"
                                       "  set_system_option(\"BGM_VOL\", 40);\r\n"
                                       "  set_system_option(\"se_vol\", 0);\r\n"
                                       "  set_system_option(\"SHADER_SHADOW\", 1);\r\n"
                                       "  set_system_option(\"FPS\", 2);\r\n"
                                       "  set_system_option(\"SHADER_AERO_LIGHT\", 0);\r\n"
                                       "  saved = save_system_option();\r\n"
                                       "  set_system_option(\"TEXTURE_SIZE\", 2);\r\n"
                                       "}\r\n");
  {
    app::Engine engine;
    test::SteadyClock clock;
    EXPECT_EQ(RunProgram(engine, clock), 1);
    script::CScriptValue* saved = engine.world.FindScriptGlobal("saved");
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(script::ScriptEngine::ValueToFloat(saved), 1.0f);
    EXPECT_EQ(engine.settings.textureMode, 2);
  }

  test::WriteFile("Game/game.rsp", std::string(kOptionCalls) +
                                       "int bgm; int se; int shadow; int fps; int aero; int texture;\r\n"
                                       "function main() {\r\n"
                                       "  bgm = get_system_option(\"BGM_VOL\"); se = get_system_option(\"SE_VOL\");\r\n"
                                       "  shadow = get_system_option(\"shader_shadow\");\r\n"
                                       "  fps = get_system_option(\"FPS\"); aero = get_system_option(\"SHADER_AERO_LIGHT\");\r\n"
                                       "  texture = get_system_option(\"TEXTURE_SIZE\");\r\n"
                                       "}\r\n");
  app::Engine restarted;
  test::SteadyClock clock;
  EXPECT_EQ(RunProgram(restarted, clock), 1);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(restarted.settings.bgmVolume, -1800);
  EXPECT_EQ(restarted.settings.seVolume, -30000);
  auto global = [&](const char* name) {
    script::CScriptValue* v = restarted.world.FindScriptGlobal(name);
    return v ? script::ScriptEngine::ValueToFloat(v) : -12345.0f;
  };
  EXPECT_EQ(global("bgm"), 40.0f);
  EXPECT_EQ(global("se"), 0.0f);
  EXPECT_EQ(global("shadow"), 1.0f);
  EXPECT_EQ(global("fps"), 2.0f);
  EXPECT_EQ(global("aero"), 0.0f);
  EXPECT_EQ(global("texture"), 0.0f);  // set after the save: lost
}

// A settings file that cannot be written is reported by the writer in a box
// (at start-up, and again for the call); the call still returns 1 and the
// script goes on.
TEST(SaveSystemOption, AFileThatCannotBeWrittenIsReportedAndTheCallReturnsOne) {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  ASSERT_EQ(::mkdir("tkw4.dat", 0755), 0);  // a folder: neither read nor replaced
  test::WriteFile("Game/game.rsp", std::string(kOptionCalls) +
                                       "int saved; int after;\r\n"
                                       "function main() {\r\n"
                                       "  set_system_option(\"FPS\", 1);\r\n"
                                       "  saved = save_system_option();\r\n"
                                       "  after = get_system_option(\"FPS\");\r\n"
                                       "}\r\n");
  app::Engine engine;
  test::SteadyClock clock;
  size_t startupBoxes = 0;
  EXPECT_EQ(RunProgram(engine, clock), 1);
  const std::string failure = test::Sjis("オプション設定ファイルの書き込みオープンに失敗しました。");
  for (const test::RecordedBox& box : boxes.Boxes()) startupBoxes += box.text == failure;
  // One box for start-up's own write, one for the call's.
  EXPECT_EQ(startupBoxes, 2u);
  script::CScriptValue* saved = engine.world.FindScriptGlobal("saved");
  script::CScriptValue* after = engine.world.FindScriptGlobal("after");
  ASSERT_TRUE(saved && after);
  EXPECT_EQ(script::ScriptEngine::ValueToFloat(saved), 1.0f);
  EXPECT_EQ(script::ScriptEngine::ValueToFloat(after), 1.0f);  // the settings stay in memory
  EXPECT_FALSE(std::filesystem::exists("RuntimeError.txt"));
}

}  // namespace
