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
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "api_fixture.h"
#include "app/app_local.h"
#include "app/app_settings_dump.h"
#include "input/input_public.h"
#include "platform/platform_public.h"
#include "sound/sound_public.h"
#include "units/units_public.h"
#include "world/world_test_files.h"

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

// [SECTION] Camera

// A script's float that is no number: an overflow to infinity, and the NaN
// of infinity less itself.
const char* kNoNumbers =
    "float big = 1000000.0; float inf; float nan;\r\n"
    "function make() { inf = big * big * big * big * big * big * big; nan = inf - inf; }\r\n";

constexpr float kDegree = 0.017453292f;

TEST(CameraCalls, ModeZoomRollAndShakeAreSetAndNoNumberChangesThem) {
  OptionWorld f;
  f.Run(std::string(kNoNumbers) +
        "function main() {\r\n"
        "  make();\r\n"
        "  set_camera_mode(7); set_camera_zoom(20.0); set_camera_roll(0.5, 0);\r\n"
        "  set_camera_shake_rate(0.25); set_camera_shake_power({x:0, y:40, z:0}, 5.0);\r\n"
        "  set_camera_shake_power({x:0, y:40, z:0}, 2.0);\r\n"  // weaker: the stronger stays
        "  set_camera_zoom(0.0); set_camera_zoom(-5.0);\r\n"       // keep the field of view
        "  set_camera_zoom(inf); set_camera_zoom(nan); set_camera_roll(nan, 0); set_camera_roll(inf, 0);\r\n"
        "  set_camera_shake_rate(nan); set_camera_shake_rate(inf);\r\n"
        "  set_camera_shake_power({x:0, y:40, z:0}, inf); set_camera_shake_power({x:nan, y:40, z:0}, 9.0);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  const world::CameraState& c = f.world.camera;
  EXPECT_EQ(c.mode, 7);
  EXPECT_NEAR(c.fov, 20.0f * kDegree, 1e-6f);
  EXPECT_NEAR(c.fovGoal, 20.0f * kDegree, 1e-6f);
  EXPECT_EQ(c.rollSetting, 0.5f);
  EXPECT_EQ(c.shakeRate, 0.25f);
  EXPECT_EQ(c.shakePower, 5.0f);
}

TEST(CameraCalls, RollWithTheFlagPassesTheLargestFloat) {
  OptionWorld f;
  f.Run("function main() { set_camera_roll(0.5, 0); set_camera_roll(30.0, 1); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.world.camera.rollSetting, FLT_MAX);
  EXPECT_EQ(f.world.camera.rollSetting, world::CameraState::kNoRoll);
}

// Focus and shadow units take live units only: handle 0 (never a unit), -1,
// past the pool, and a slot without a unit change nothing.
TEST(CameraCalls, FocusAndShadowUnitsNeedLiveHandles) {
  OptionWorld f;
  f.Start("int r0; int r1;\r\n"
          "function main() {\r\n"
          "  r0 = set_camera_focus(0, 2); set_camera_focus(1, 0); set_camera_focus(-1, 2);\r\n"
          "  set_camera_focus(1, 99999); set_camera_focus(1, 50);\r\n"
          "  set_camera_shadow(0); set_camera_shadow(-1); set_camera_shadow(99999); r1 = set_camera_shadow(50);\r\n"
          "}\r\n");
  f.Place(f.plane);
  f.Place(f.plane);
  // Placing made the first unit the focus; the calls leave it so.
  units::Unit* focus = f.world.focusUnit;
  units::Unit* target = f.world.targetUnit;
  units::Unit* shadow = f.world.camera.shadowUnit;
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.world.focusUnit, focus);
  EXPECT_EQ(f.world.targetUnit, target);
  EXPECT_EQ(f.world.camera.shadowUnit, shadow);
  EXPECT_EQ(f.Number("r0"), 1.0f);
  EXPECT_EQ(f.Number("r1"), 1.0f);
}

TEST(CameraCalls, FocusOnTwoUnitsAndAShadowUnit) {
  OptionWorld f;
  f.Start("function main() { set_camera_mode(19); set_camera_focus(1, 2); set_camera_shadow(2); }\r\n");
  units::Unit* a = f.Place(f.plane);
  units::Unit* b = f.Place(f.plane);
  f.Finish();
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.world.focusUnit, a);
  EXPECT_EQ(f.world.targetUnit, b);
  EXPECT_EQ(f.world.camera.shadowUnit, b);
}

TEST(CameraCalls, ShakePowerWithoutAnObjectIsAnError) {
  for (const char* call : {"set_camera_shake_power(5, 1.0)", "set_camera_shake_power(\"x\", 1.0)"}) {
    OptionWorld f;
    f.Run(std::string("function main() {\r\n  ") + call + ";\r\n  set_camera_mode(9);\r\n}\r\n");
    std::string error = f.RuntimeError();
    EXPECT_NE(error.find(test::Sjis("set_camera_shake_power関数の第1引数がオブジェクトではありません。")),
              std::string::npos)
        << call << "\n"
        << error;
    EXPECT_NE(f.world.camera.mode, 9) << call;  // the script stopped at the error
    EXPECT_EQ(f.world.camera.shakePower, 1.0f) << call;
  }
}

// [SECTION] Environment, world and HUD

TEST(WorldCalls, EnvironmentLevelsHeightsAndRestTime) {
  OptionWorld f;
  const int shadow0 = f.world.environment.shadow[0];
  f.Run(std::string(kNoNumbers) +
        "int r0; int r1; int r2;\r\n"
        "function main() {\r\n"
        "  make(); stop_timer(1);\r\n"
        "  set_sky_rate(0.25); set_light_rate(0.75); set_sky_rate(nan); set_light_rate(inf);\r\n"
        "  set_shadow_state(1, 3); r0 = set_shadow_state(2, 9); r1 = set_shadow_state(-1, 9);\r\n"
        "  set_game_level(2); r2 = set_game_level(3); set_game_level(-1);\r\n"
        "  set_height_offset(-40); set_height_stall(5000);\r\n"
        "  set_rest_time(2.5); set_rest_time(nan);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  const world::EnvironmentRecord& e = f.world.environment;
  EXPECT_EQ(e.blend, 0.25f);
  EXPECT_EQ(e.lightRate, 0.75f);
  EXPECT_EQ(e.shadow[1], 3);
  EXPECT_EQ(e.shadow[0], shadow0);
  EXPECT_EQ(f.world.gameLevel, 2);
  EXPECT_EQ(f.world.heightOffset, -40);
  EXPECT_EQ(f.world.stallHeight, 5000);
  EXPECT_EQ(f.world.restCountdown, 150);
  for (const char* r : {"r0", "r1", "r2"}) EXPECT_EQ(f.Number(r), 1.0f) << r;
}

// Rest times the int cannot hold: held within it (a negative countdown is
// stepped further down by the world, so it stops at half the range).
TEST(WorldCalls, RestTimesPastTheIntRangeAreHeld) {
  struct RestCase {
    const char* seconds;
    int32_t count;
  };
  const RestCase cases[] = {
      {"inf", INT32_MAX}, {"big * big * big * big * big", INT32_MAX}, {"-inf", INT32_MIN / 2},
      {"-big * big", INT32_MIN / 2}, {"-1.5", -90}, {"0.0", 0},
  };
  for (const RestCase& c : cases) {
    OptionWorld f;
    f.Run(std::string(kNoNumbers) + "function main() { make(); stop_timer(1); set_rest_time(" + c.seconds +
          "); }\r\n");
    ASSERT_EQ(f.RuntimeError(), "");
    EXPECT_EQ(f.world.restCountdown, c.count) << c.seconds;
  }
}

TEST(WorldCalls, PlayerTypesByNameAndSlot) {
  OptionWorld f;
  f.plane->alias = "f15";
  f.Run("function main() {\r\n"
        "  set_player_unit(\"f15\");\r\n"
        "  set_player_weapon(1, \"missile\"); set_player_weapon(3, \"missile\"); set_player_weapon(3, \"\");\r\n"
        "  set_player_weapon(4, \"missile\"); set_player_weapon(-1, \"missile\");\r\n"
        "  set_player_weapon(2, \"no such type\");\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.world.playerType, f.plane);
  EXPECT_EQ(f.world.playerWeaponTypes[0], nullptr);
  EXPECT_EQ(f.world.playerWeaponTypes[1], f.missile);
  EXPECT_EQ(f.world.playerWeaponTypes[2], nullptr);
  EXPECT_EQ(f.world.playerWeaponTypes[3], nullptr);

  OptionWorld cleared;
  cleared.world.playerType = cleared.plane;
  cleared.Run("function main() { set_player_unit(\"\"); }\r\n");
  EXPECT_EQ(cleared.world.playerType, nullptr);
}

// What a script sets, its getters read back.
TEST(WorldCalls, AScriptReadsBackWhatItSet) {
  OptionWorld f;
  f.plane->alias = "f15";
  f.Run("int level; int rest; string unit; string weapon;\r\n"
        "function main() {\r\n"
        "  stop_timer(1);\r\n"
        "  set_game_level(0); set_game_level(7); level = get_game_level();\r\n"
        "  set_rest_time(2.5); rest = get_rest_time();\r\n"
        "  set_player_unit(\"f15\"); unit = get_player_unit();\r\n"
        "  set_player_weapon(1, \"missile\"); set_player_weapon(5, \"plane\"); weapon = get_player_weapon(1);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("level"), 0.0f);
  EXPECT_EQ(f.Number("rest"), 150.0f);
  EXPECT_EQ(f.Text("unit"), "plane");  // the type's key
  EXPECT_EQ(f.Text("weapon"), "missile");
}

// set_hud_name gives the unit the named type, or none; bad handles do
// nothing. A unit left without a type goes on being stepped.
TEST(WorldCalls, HudNameRetypesOneUnit) {
  OptionWorld f;
  f.Start("function main() {\r\n"
          "  set_hud_name(1, \"missile\"); set_hud_name(2, \"no such type\");\r\n"
          "  set_hud_name(0, \"missile\"); set_hud_name(-1, \"missile\"); set_hud_name(99999, \"missile\");\r\n"
          "}\r\n");
  units::Unit* a = f.Place(f.plane);
  units::Unit* b = f.Place(f.plane);
  units::Unit* child = f.Place(f.plane, "", a);
  f.Finish(4);
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(a->type, f.missile);
  EXPECT_EQ(b->type, nullptr);
  EXPECT_EQ(child->type, f.plane);  // the unit alone
}

// set_hud_light reaches the flight HUD through the world's host, with the
// flag as given; without a host entry it does nothing.
std::vector<int>& HudToggles() {
  static std::vector<int> toggles;
  return toggles;
}

TEST(WorldCalls, HudLightReachesTheFlightHud) {
  {
    OptionWorld f;
    f.Run("function main() { set_hud_light(0); }\r\n");
    ASSERT_EQ(f.RuntimeError(), "");
  }
  OptionWorld f;
  HudToggles().clear();
  f.world.host.toggleHudSprites = [](void*, int on) { HudToggles().push_back(on); };
  f.Run("function main() { set_hud_light(0); set_hud_light(1); set_hud_light(5); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(HudToggles(), (std::vector<int>{0, 1, 5}));
}

// The program's own wiring: the HUD turns every unit type's HUD images
// additive or plain.
TEST(WorldCalls, HudLightInTheProgramSwitchesTheTypesHudImages) {
  constexpr uint32_t kHudLoadFlags = 0x8002;  // the database's additive HUD image flags
  for (int on : {1, 0}) {
    test::ScopedWorkFolder work;
    test::WriteFile("tkw4.dat", kSettingsFile);
    test::WriteFile("Game/game.rsp", "systemcall set_hud_light(int flag);\r\n"
                                     "function main() { set_hud_light(" + std::to_string(on) + "); }\r\n");
    app::Engine engine;
    engine.world.unitDatabase->loadFlags = on ? 0u : kHudLoadFlags;
    test::SteadyClock clock;
    EXPECT_EQ(RunProgram(engine, clock), 1);
    EXPECT_EQ(engine.world.unitDatabase->loadFlags & kHudLoadFlags, on ? kHudLoadFlags : 0u);
  }
}

// [SECTION] Pads

// An option world with a keyboard in slot 0 and a pad in slot 1, both
// driven by an input script whose frames the test moves on. Slot 2 and up
// have no device; the settings' pad entry 2 holds marks that must stay.
struct PadWorld : OptionWorld {
  input::InputSystem input;

  explicit PadWorld(const std::string& events = "") {
    input.log = &log;
    test::WriteFile("input.txt", "keyboard\npad \"Stick\"\n" + events);
    test::ScopedEnv env("TKW4_INPUT_SCRIPT", "input.txt");
    EXPECT_EQ(input.InitDirectInput(nullptr), 0);
    world.input = &input;
    std::memset(settings.padMap[2], 7, sizeof settings.padMap[2]);
    for (int32_t& v : settings.padFree[2]) v = -7;
  }
  ~PadWorld() { world.input = nullptr; }

  void Frames(int n) {
    for (int i = 0; i < n; i++) input.UpdateInput(0);
  }
  // The settings' pad entries of the two devices hold their maps, and entry
  // 2 its marks.
  void ExpectMapsKept() {
    for (int slot = 0; slot < 2; slot++)
      for (int b = 0; b < input::kLogicalButtonCount; b++)
        ASSERT_EQ(settings.padMap[slot][b], input.GetButtonMap(slot, b)) << slot << " " << b;
    for (int b = 0; b < input::kLogicalButtonCount; b++) ASSERT_EQ(settings.padMap[2][b], 7) << b;
  }
};

TEST(PadCalls, MapsAButtonAndKeepsTheDevicesMapsInTheSettings) {
  PadWorld f;
  f.Run("int r;\r\n"
        "function main() { r = set_pad_map(1, 5, 33); set_pad_map(0, 6, 255); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("r"), 1.0f);
  EXPECT_EQ(f.input.GetButtonMap(1, 5), 33);
  EXPECT_EQ(f.input.GetButtonMap(0, 6), input::kUnmapped);
  f.ExpectMapsKept();
}

TEST(PadCalls, BadSlotsButtonsAndCodesChangeNothing) {
  PadWorld f;
  f.input.SetButtonMap(1, 5, 33);
  const SettingsBlock before = f.settings;
  uint8_t maps[input::kSlotCount][input::kLogicalButtonCount];
  for (int s = 0; s < input::kSlotCount; s++)
    for (int b = 0; b < input::kLogicalButtonCount; b++) maps[s][b] = uint8_t(f.input.GetButtonMap(s, b));
  f.Run("int r0; int r1; int r2;\r\n"
        "function main() {\r\n"
        "  r0 = set_pad_map(8, 5, 40); set_pad_map(-1, 5, 40); set_pad_map(-2, 5, 40); set_pad_map(-3, 5, 40);\r\n"
        "  r1 = set_pad_map(1, 128, 40); set_pad_map(1, -1, 40); r2 = set_pad_map(1, 5, 256);\r\n"
        "  set_pad_map(8, 5, -1); set_pad_map(1, 200, -1);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  for (const char* r : {"r0", "r1", "r2"}) EXPECT_EQ(f.Number(r), 1.0f) << r;
  for (int s = 0; s < input::kSlotCount; s++)
    for (int b = 0; b < input::kLogicalButtonCount; b++) ASSERT_EQ(f.input.GetButtonMap(s, b), maps[s][b]);
  EXPECT_EQ(std::memcmp(before.padMap, f.settings.padMap, sizeof before.padMap), 0);
}

TEST(PadCalls, AScriptReadsBackItsMapsAndSensitivity) {
  PadWorld f;
  f.Run("int code; int unmapped; int kept; int sensitivity; int clamped;\r\n"
        "function main() {\r\n"
        "  set_pad_map(1, 5, 33); code = get_pad_map(1, 5);\r\n"
        "  set_pad_map(1, 6, 255); unmapped = get_pad_map(1, 6);\r\n"
        "  set_pad_map(1, 5, 300); kept = get_pad_map(1, 5);\r\n"
        "  set_pad_sensitivity(1, 4); sensitivity = get_pad_sensitivity(1);\r\n"
        "  set_pad_sensitivity(2, 40); clamped = get_pad_sensitivity(2);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.Number("code"), 33.0f);
  EXPECT_EQ(f.Number("unmapped"), 255.0f);
  EXPECT_EQ(f.Number("kept"), 33.0f);
  EXPECT_EQ(f.Number("sensitivity"), 4.0f);
  EXPECT_EQ(f.Number("clamped"), 10.0f);
}

// A negative code learns the control pressed now on the device.
TEST(PadCalls, LearningTakesThePressedKey) {
  PadWorld f("at 2 0 key 44 down\n");
  f.Frames(2);  // the key seen up, then down
  f.Run("function main() { set_pad_map(0, 20, -1); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  EXPECT_EQ(f.input.GetButtonMap(0, 20), 44);
  f.ExpectMapsKept();
}

// Esc, Backspace or Delete held on the first device cancels the learning:
// logical button 68 of every slot loses its code, the button asked for
// keeps its own.
TEST(PadCalls, EscBackspaceOrDeleteCancelsTheLearning) {
  for (int key : {input::kRawEsc, input::kRawBackspace, input::kRawDelete}) {
    PadWorld f("at 2 0 key 44 down key " + std::to_string(key) + " down\n");
    f.input.SetButtonMap(-1, 68, 30);
    const int before = f.input.GetButtonMap(0, 20);
    f.Frames(2);
    f.Run("function main() { set_pad_map(0, 20, -1); }\r\n");
    ASSERT_EQ(f.RuntimeError(), "");
    EXPECT_EQ(f.input.GetButtonMap(0, 20), before) << key;
    for (int slot = 0; slot < input::kSlotCount; slot++)
      EXPECT_EQ(f.input.GetButtonMap(slot, 68), input::kUnmapped) << key << " " << slot;
    f.ExpectMapsKept();
  }
}

// The dead zone of every axis but the third, x 100 raw, kept in the
// settings; values held to 0..10; bad slots change nothing.
TEST(PadCalls, SensitivitySetsTheDeadZonesOfFiveAxes) {
  struct SensitivityCase {
    int value;
    int32_t stored;
    int deadZone;
  };
  const SensitivityCase cases[] = {{3, 3, 300}, {0, 0, 0}, {10, 10, 1000}, {50, 10, 1000}, {-2, 0, 0},
                                   {2147483647, 10, 1000}};
  for (const SensitivityCase& c : cases) {
    PadWorld f;
    f.settings.padFree[1][2] = -5;
    f.Run("function main() {\r\n"
          "  set_pad_sensitivity(1, " + std::to_string(c.value) + ");\r\n"
          "  set_pad_sensitivity(8, 4); set_pad_sensitivity(-1, 4); set_pad_sensitivity(-3, 4);\r\n"
          "}\r\n");
    ASSERT_EQ(f.RuntimeError(), "");
    for (int axis = 0; axis < input::kAxisCount; axis++) {
      bool set = axis != 2;
      EXPECT_EQ(f.settings.padFree[1][axis], set ? c.stored : -5) << c.value << " axis " << axis;
      EXPECT_EQ(f.input.GetDeadZone(1, axis), set ? c.deadZone : input::kDefaultDeadZone)
          << c.value << " axis " << axis;
      // The other slots and entries are left alone.
      EXPECT_EQ(f.input.GetDeadZone(0, axis), input::kDefaultDeadZone) << axis;
      EXPECT_EQ(f.settings.padFree[2][axis], -7) << axis;
      EXPECT_EQ(f.settings.padFree[0][axis], 0) << axis;
    }
  }
}

TEST(PadCalls, PovEmulationOfOneSlot) {
  PadWorld f;
  f.input.SetPadMode(-1, 0);
  f.Run("function main() { set_pov_emulation(1, 1); set_pov_emulation(-1, 1); set_pov_emulation(8, 1); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  for (int slot = 0; slot < input::kSlotCount; slot++) EXPECT_EQ(f.input.Slot(slot)->padMode, slot == 1) << slot;
}

// Without an input system the pad calls return their preset; the settings
// still take the sensitivity.
TEST(PadCalls, WithoutAnInputSystem) {
  OptionWorld f;
  f.Run("int r0; int r1; int r2;\r\n"
        "function main() { r0 = set_pad_map(0, 5, -1); r1 = set_pad_sensitivity(2, 4); r2 = set_pov_emulation(0, 1); }\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  for (const char* r : {"r0", "r1", "r2"}) EXPECT_EQ(f.Number(r), 1.0f) << r;
  EXPECT_EQ(f.settings.padFree[2][4], 4);
}

// [SECTION] Volumes


// An option world whose sound system runs on the null driver, with
// "beep.wav" and "music.wav" in its folder.
struct VolumeWorld {
  core::FilePackageTable files;
  sound::SoundSystem sound;
  std::unique_ptr<OptionWorld> f;

  VolumeWorld() {
    f = std::make_unique<OptionWorld>();  // makes and enters the work folder
    files.log = &f->log;
    sound.log = &f->log;
    sound.packages = &files;
    sound.driver = platform::AudioDriver::Null;
    EXPECT_EQ(sound.InitDirectSound(nullptr), 0);
    f->world.sound = &sound;
    test::WriteFile("beep.wav", worldtest::TinyWav(800));
    test::WriteFile("music.wav", worldtest::TinyWav(800));
  }
  ~VolumeWorld() { f.reset(); }

  const sound::SoundCopy& Copy(int slot, int copy) { return sound.Slot(slot).copies[size_t(copy)]; }
  int Volume(int slot) { return platform::GetAudioBufferVolume(Copy(slot, 0).buffer); }
};

// Each group's volume is its option volume (set_system_option) plus the
// scripts' (set_system_volume_*).
TEST(VolumeCalls, OptionAndScriptVolumesOfEachGroup) {
  VolumeWorld v;
  v.f->Run("function main() {\r\n"
           "  load_se(20, \"beep.wav\");\r\n"
           "  set_system_option(\"SE_VOL\", 90); set_system_volume_se(-700); fade_se(1.0, 1.0);\r\n"
           "  set_system_volume_bgm(-400); set_system_option(\"BGM_VOL\", 80); play_bgm(\"music.wav\", -1);\r\n"
           "  set_system_volume_voice(-250); play_voice(\"music.wav\");\r\n"
           "}\r\n");
  ASSERT_EQ(v.f->RuntimeError(), "");
  EXPECT_EQ(v.sound.GetSoundGroupVolume(0), -300);
  EXPECT_EQ(v.Copy(20, 0).fadeTarget, -1000);
  EXPECT_EQ(v.sound.GetSoundGroupVolume(sound::kMusicSlot), -600);
  EXPECT_EQ(v.Volume(sound::kMusicSlot), -1000);
  EXPECT_EQ(v.sound.GetSoundGroupVolume(sound::kVoiceSlot), 0);
  EXPECT_EQ(v.Volume(sound::kVoiceSlot), -250);
}

// A percentage above 100 keeps the stored volume but still applies it.
TEST(VolumeCalls, AboveAHundredAppliesTheStoredVolume) {
  VolumeWorld v;
  v.f->settings.bgmVolume = -900;
  v.f->Run("function main() { play_bgm(\"music.wav\", -1); set_system_option(\"BGM_VOL\", 101); }\r\n");
  ASSERT_EQ(v.f->RuntimeError(), "");
  EXPECT_EQ(v.f->settings.bgmVolume, -900);
  EXPECT_EQ(v.sound.GetSoundGroupVolume(sound::kMusicSlot), -900);
  EXPECT_EQ(v.Volume(sound::kMusicSlot), -900);
}

// Script volumes at the ends of the int: the lowest is silence and the
// highest full volume, never a sum that wraps round to the other end.
TEST(VolumeCalls, ScriptVolumesAtTheEndsOfTheIntDoNotWrap) {
  struct EndCase {
    const char* volume;
    const char* fade;  // the fade's volume fraction
    int target;
  };
  const EndCase cases[] = {
      {"-2147483647 - 1", "1.0", sound::kSilence},
      {"2147483647", "2.0", sound::kFullVolume},
  };
  for (const EndCase& c : cases) {
    VolumeWorld v;
    v.f->Run(std::string("function main() {\r\n"
                         "  load_se(20, \"beep.wav\"); set_system_option(\"SE_VOL\", 90);\r\n"
                         "  set_system_volume_se(") +
             c.volume + "); fade_se(" + c.fade + ", 1.0);\r\n}\r\n");
    ASSERT_EQ(v.f->RuntimeError(), "");
    EXPECT_EQ(v.Copy(20, 0).fadeTarget, c.target) << c.volume;
  }
}

}  // namespace
