// api_sounds_test.cpp -- the sound calls run from game scripts against a
// sound system on the null driver: handles of played copies, stops, pauses
// by handle and for every slot, fades in seconds and fractions, music and
// voice streams with their log lines and errors, the HUD's map switch, and
// the calls' preset without a sound system.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api_fixture.h"
#include "platform/platform_public.h"
#include "render/render_public.h"
#include "sound/sound_public.h"

namespace {

using apitest::WorldFixture;

void Put32(std::string& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b += char((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& b, uint16_t v) {
  b += char(v & 0xFF);
  b += char(v >> 8);
}

// A mono 16-bit 44100 Hz WAV file of `samples` samples of a square wave.
std::string Wav(int samples) {
  std::string data;
  for (int i = 0; i < samples; i++) Put16(data, uint16_t((i / 50) % 2 ? 4000 : -4000));
  std::string b = "RIFF";
  Put32(b, uint32_t(36 + data.size()));
  b += "WAVEfmt ";
  Put32(b, 16);
  Put16(b, 1);
  Put16(b, 1);
  Put32(b, 44100);
  Put32(b, 88200);
  Put16(b, 2);
  Put16(b, 16);
  b += "data";
  Put32(b, uint32_t(data.size()));
  return b + data;
}

// A world whose sound system runs on the null driver, with one second of
// sound as "Se/beep.wav" and "music.wav" and a text as "notes.wav".
struct SoundWorld {
  core::FilePackageTable files;
  sound::SoundSystem sound;
  std::unique_ptr<WorldFixture> f;

  SoundWorld() {
    f = std::make_unique<WorldFixture>();  // makes and enters the work folder
    files.log = &f->log;
    sound.log = &f->log;
    sound.packages = &files;
    sound.driver = platform::AudioDriver::Null;
    EXPECT_EQ(sound.InitDirectSound(nullptr), 0);
    f->world.sound = &sound;
    test::WriteFile("Se/beep.wav", Wav(44100));
    test::WriteFile("music.wav", Wav(44100));
    test::WriteFile("notes.wav", "these are no samples");
  }
  ~SoundWorld() { f.reset(); }

  const sound::SoundCopy& Copy(int slot, int copy) { return sound.Slot(slot).copies[size_t(copy)]; }
  bool Playing(int slot, int copy) {
    return (platform::GetAudioBufferStatus(Copy(slot, copy).buffer) & platform::kAudioPlaying) != 0;
  }
  std::string Log() { return test::ReadFile("system.log"); }
};

// [SECTION] Effects and their handles

TEST(SoundCalls, PlaySeReturnsTheHandleOfTheCopyOrMinusOne) {
  SoundWorld s;
  s.f->Run("int h0; int h1; int empty; int past; int below; int h2; int h3; int h4; int h5; int full;\r\n"
           "function main() {\r\n"
           "  load_se(20, \"Se/beep.wav\");\r\n"
           "  h0 = play_se(20, -500, 300, 22050, 0);\r\n"
           "  h1 = play_se(20, 0, 0, 0, 1);\r\n"
           "  empty = play_se(21, 0, 0, 0, 0);\r\n"
           "  past = play_se(256, 0, 0, 0, 0);\r\n"
           "  below = play_se(-1, 0, 0, 0, 0);\r\n"
           "  h2 = play_se(20, 0, 0, 0, 0); h3 = play_se(20, 0, 0, 0, 0);\r\n"
           "  h4 = play_se(20, 0, 0, 0, 0); h5 = play_se(20, 0, 0, 0, 0);\r\n"
           "  full = play_se(20, 0, 0, 0, 0);\r\n"
           "}\r\n");
  ASSERT_EQ(s.f->RuntimeError(), "");
  ASSERT_EQ(s.sound.Slot(20).copyCount, 6);  // six copies of a loaded effect
  EXPECT_EQ(s.f->Number("h0"), 20 * 65536 + 0);
  EXPECT_EQ(s.f->Number("h1"), 20 * 65536 + 1);
  EXPECT_EQ(s.f->Number("h5"), 20 * 65536 + 5);
  // No copy played: an empty slot, slots outside the table, every copy busy.
  for (const char* none : {"empty", "past", "below", "full"}) EXPECT_EQ(s.f->Number(none), -1) << none;
  // The first copy got the call's volume, pan and frequency.
  EXPECT_EQ(platform::GetAudioBufferVolume(s.Copy(20, 0).buffer), -500);
  EXPECT_EQ(platform::GetAudioBufferPan(s.Copy(20, 0).buffer), 300);
  EXPECT_EQ(platform::GetAudioBufferFrequency(s.Copy(20, 0).buffer), 22050u);
  EXPECT_TRUE(s.Playing(20, 1));
}

TEST(SoundCalls, LoadSeResolvesAgainstTheScriptsFolder) {
  SoundWorld s;
  test::WriteFile("sub/Se/near.wav", Wav(4410));
  s.f->Run("int h; int missing; int bad;\r\n"
           "function main() {\r\n"
           "  load_se(30, \"Se/near.wav\"); h = play_se(30, 0, 0, 0, 0);\r\n"
           "  load_se(31, \"Se/beep.wav\"); missing = play_se(31, 0, 0, 0, 0);\r\n"
           "  load_se(32, \"../notes.wav\"); bad = play_se(32, 0, 0, 0, 0);\r\n"
           "  load_se(400, \"Se/near.wav\"); load_se(-3, \"Se/near.wav\");\r\n"
           "}\r\n",
           3, "sub/start.rsp");
  ASSERT_EQ(s.f->RuntimeError(), "");
  EXPECT_EQ(s.f->Number("h"), 30 * 65536);
  EXPECT_EQ(s.f->Number("missing"), -1);  // "Se/beep.wav" is not beside the script
  EXPECT_EQ(s.f->Number("bad"), -1);      // no sound in the file
  EXPECT_EQ(s.sound.Slot(32).loaded, 0);
}

TEST(SoundCalls, PlaySe3dIsQuieterWithDistanceFromTheEye) {
  SoundWorld s;
  s.f->Run("int h; object eye;\r\n"
           "function main() {\r\n"
           "  load_se(20, \"Se/beep.wav\");\r\n"
           "  h = play_se_3d(20, {x:30, y:40, z:40}, 0);\r\n"
           "}\r\n");
  ASSERT_EQ(s.f->RuntimeError(), "");
  EXPECT_EQ(s.f->Number("h"), 20 * 65536);
  // The eye stands at (0, 40, 0) until the camera moves: 50 away.
  ASSERT_EQ(s.f->world.camera.view.eye.y, 40.0f);
  EXPECT_EQ(platform::GetAudioBufferVolume(s.Copy(20, 0).buffer), -100);
  EXPECT_EQ(platform::GetAudioBufferPan(s.Copy(20, 0).buffer), 0);  // no renderer: centred

  // With a renderer its camera gives both: the distance from its eye and
  // the pan of where the position stands in its view.
  SoundWorld seen;
  render::GraphicsSystem gs;
  gs.log = &seen.f->log;
  seen.f->world.graphics = &gs;
  seen.f->Run("int h; int r; int l;\r\n"
              "function main() {\r\n"
              "  load_se(20, \"Se/beep.wav\");\r\n"
              "  h = play_se_3d(20, {x:30, y:40, z:40}, 0);\r\n"
              "  l = play_se_3d(20, {x:-30, y:40, z:40}, 1);\r\n"
              "}\r\n");
  EXPECT_EQ(seen.f->RuntimeError(), "");  // no early return: the renderer is unhooked below
  core::Vec3 eye = gs.GetCameraEye();
  float d = std::sqrt((30 - eye.x) * (30 - eye.x) + (40 - eye.y) * (40 - eye.y) + (40 - eye.z) * (40 - eye.z));
  EXPECT_EQ(platform::GetAudioBufferVolume(seen.Copy(20, 0).buffer), std::max(-10000, int(-2.0f * d)));
  int right = platform::GetAudioBufferPan(seen.Copy(20, 0).buffer);
  int left = platform::GetAudioBufferPan(seen.Copy(20, 1).buffer);
  EXPECT_EQ(right, int(gs.GetSoundPan({30, 40, 40})));
  EXPECT_EQ(left, int(gs.GetSoundPan({-30, 40, 40})));
  EXPECT_NE(right, 0);
  EXPECT_EQ(left, -right);  // mirrored about the line of sight
  seen.f->world.graphics = nullptr;

  SoundWorld bad;
  bad.f->Run("function main() { play_se_3d(20, 5, 0); }\r\n");
  EXPECT_NE(bad.f->RuntimeError().find(test::Sjis("play_se_3d関数の第2引数がオブジェクトではありません")),
            std::string::npos);
  EXPECT_EQ(bad.f->RuntimeError().find(test::Sjis("ありません。")), std::string::npos);  // no full stop
}

// [SECTION] Stops and pauses

TEST(SoundCalls, StopSeLeavesTheReservedSlotsAlone) {
  struct StopCase {
    int slot;
    bool stops;
  };
  for (StopCase c : {StopCase{0, false}, StopCase{5, false}, StopCase{10, false}, StopCase{11, true},
                     StopCase{253, true}}) {
    SoundWorld s;
    std::string slot = std::to_string(c.slot);
    s.f->Run("function main() { load_se(" + slot + ", \"Se/beep.wav\"); play_se(" + slot + ", 0, 0, 0, 1);\r\n" +
                 "  play_se(" + slot + ", 0, 0, 0, 1); stop_se(" + slot + "); stop_se(300); stop_se(-7); }\r\n");
    ASSERT_EQ(s.f->RuntimeError(), "") << c.slot;
    EXPECT_EQ(s.Playing(c.slot, 0), !c.stops) << c.slot;
    EXPECT_EQ(s.Playing(c.slot, 1), !c.stops) << c.slot;
  }
}

TEST(SoundCalls, StopBgmAndStopVoiceEndTheirStreams) {
  SoundWorld s;
  s.f->Run("function main() { play_bgm(\"music.wav\", 0); play_voice(\"music.wav\"); stop_bgm(); }\r\n");
  ASSERT_EQ(s.f->RuntimeError(), "");
  EXPECT_EQ(s.sound.Slot(254).loaded, 0);
  EXPECT_EQ(s.sound.Slot(255).loaded, 1);
  SoundWorld v;
  v.f->Run("function main() { play_bgm(\"music.wav\", 0); play_voice(\"music.wav\"); stop_voice(); }\r\n");
  EXPECT_EQ(v.sound.Slot(254).loaded, 1);
  EXPECT_EQ(v.sound.Slot(255).loaded, 0);
}

TEST(SoundCalls, PauseSeByHandleAndForEverySlot) {
  SoundWorld s;
  s.f->Run("int a; int b; int paused; int resumed; int all; int noCopy; int r = -1;\r\n"
           "function main() {\r\n"
           "  load_se(20, \"Se/beep.wav\"); load_se(40, \"Se/beep.wav\");\r\n"
           "  a = play_se(20, 0, 0, 0, 1); b = play_se(40, 0, 0, 0, 1);\r\n"
           "  paused = pause_se(a, 0);\r\n"
           "  resumed = pause_se(0, 0);\r\n"  // handle 0: resume slot 0, copy 0
           "  all = pause_se(1, -1);\r\n"
           "  noCopy = pause_se(20 * 65536 + 9, 0);\r\n"
           "  __system_interrupt__(10, \"wait\");\r\n"
           "  r = pause_se(0, -5);\r\n"  // a zero first argument resumes every slot
           "}\r\n");
  ASSERT_EQ(s.f->RuntimeError(), "");
  EXPECT_EQ(s.f->Number("paused"), 0);
  EXPECT_EQ(s.f->Number("resumed"), 1);  // slot 0 holds nothing
  EXPECT_EQ(s.f->Number("all"), 0);
  EXPECT_EQ(s.f->Number("noCopy"), 1);
  EXPECT_EQ(s.Copy(20, 0).paused, 1);
  EXPECT_EQ(s.Copy(40, 0).paused, 1);
  EXPECT_FALSE(s.Playing(40, 0));

  EXPECT_EQ(s.f->Number("r"), -1);
  for (int i = 0; i < 12; i++) s.f->world.RunWorldFrame(nullptr);
  EXPECT_EQ(s.f->Number("r"), 0);
  EXPECT_TRUE(s.Playing(20, 0));
  EXPECT_TRUE(s.Playing(40, 0));
}

// A handle names one copy of one slot. A handle whose slot lies outside the
// table (a negative slot would address every slot) or whose copy half is
// negative names nothing: refused with 1, nothing paused.
TEST(SoundCalls, PauseSeRefusesHandlesOfBadSlots) {
  for (const char* handle : {"-65536", "-1", "256 * 65536", "32767 * 65536", "20 * 65536 + 65535"}) {
    SoundWorld s;
    s.f->Run(std::string("int r;\r\nfunction main() {\r\n"
                         "  load_se(20, \"Se/beep.wav\"); load_se(40, \"Se/beep.wav\");\r\n"
                         "  play_se(20, 0, 0, 0, 1); play_se(40, 0, 0, 0, 1);\r\n"
                         "  r = pause_se(") +
                 handle + ", 0);\r\n}\r\n");
    ASSERT_EQ(s.f->RuntimeError(), "") << handle;
    EXPECT_EQ(s.f->Number("r"), 1) << handle;
    EXPECT_TRUE(s.Playing(20, 0)) << handle;
    EXPECT_TRUE(s.Playing(40, 0)) << handle;
  }
}

TEST(SoundCalls, PauseBgmAndPauseVoicePauseCopyZeroOfTheirStream) {
  SoundWorld s;
  s.f->Run("int pb; int pv; int rv;\r\n"
           "function main() {\r\n"
           "  play_bgm(\"music.wav\", -1); play_voice(\"music.wav\");\r\n"
           "  pb = pause_bgm(1); pv = pause_voice(7); rv = pause_voice(0);\r\n"
           "}\r\n");
  ASSERT_EQ(s.f->RuntimeError(), "");
  EXPECT_EQ(s.f->Number("pb"), 0);
  EXPECT_EQ(s.f->Number("pv"), 0);
  EXPECT_EQ(s.f->Number("rv"), 0);
  EXPECT_EQ(s.Copy(254, 0).paused, 1);
  EXPECT_EQ(s.Copy(255, 0).paused, 0);
  EXPECT_TRUE(s.Playing(255, 0));
}

// [SECTION] Fades

TEST(SoundCalls, FadesTakeSecondsAndFractions) {
  struct FadeCase {
    const char* volume;
    const char* seconds;
    int32_t target;  // (1 - volume) x -10000
    int32_t step;    // 3000 / (seconds x 60), 1 for no time
  };
  const FadeCase cases[] = {
      {"1.0", "0.0", 0, 1},      {"0.0", "0.0", -10000, 1}, {"0.5", "1.0", -5000, 50},
      {"0.25", "2.0", -7500, 25}, {"0.0", "-3.0", -10000, 1}, {"0.75", "0.01", -2500, 5000},
  };
  for (const FadeCase& c : cases) {
    SoundWorld s;
    std::string args = std::string(c.volume) + ", " + c.seconds;
    s.f->Run("int rs; int rb; int rv;\r\n"
             "function main() {\r\n"
             "  load_se(20, \"Se/beep.wav\"); load_se(40, \"Se/beep.wav\");\r\n"
             "  play_bgm(\"music.wav\", -1); play_voice(\"music.wav\");\r\n"
             "  rs = fade_se(" + args + "); rb = fade_bgm(" + args + "); rv = fade_voice(" + args + ");\r\n"
             "}\r\n");
    ASSERT_EQ(s.f->RuntimeError(), "") << c.volume << " " << c.seconds;
    for (const char* r : {"rs", "rb", "rv"}) EXPECT_EQ(s.f->Number(r), 1) << r;
    for (int slot : {20, 40, 254, 255}) {
      EXPECT_EQ(s.Copy(slot, 0).fadeTarget, c.target) << slot << " " << c.volume << " " << c.seconds;
      EXPECT_EQ(s.sound.Slot(slot).fadeStep, c.step) << slot << " " << c.volume << " " << c.seconds;
    }
  }
}

TEST(SoundCalls, FadeBgmLeavesTheEffectsAndTheVoiceAlone) {
  SoundWorld s;
  s.f->Run("function main() { load_se(20, \"Se/beep.wav\"); play_bgm(\"music.wav\", -1);\r\n"
           "  play_voice(\"music.wav\"); fade_bgm(0.0, 1.0); }\r\n");
  ASSERT_EQ(s.f->RuntimeError(), "");
  EXPECT_EQ(s.Copy(254, 0).fadeTarget, -10000);
  EXPECT_EQ(s.Copy(255, 0).fadeTarget, sound::kNoFade);
  EXPECT_EQ(s.Copy(20, 0).fadeTarget, sound::kNoFade);
}

// [SECTION] Music and voice

TEST(SoundCalls, PlayBgmReturnsTheLengthAndLogsTheFile) {
  SoundWorld s;
  s.f->Run("float len; int missing; int notSound; float looped;\r\n"
           "function main() {\r\n"
           "  len = play_bgm(\"music.wav\", -1);\r\n"
           "  missing = play_bgm(\"gone.wav\", -1);\r\n"
           "  notSound = play_bgm(\"notes.wav\", 0);\r\n"
           "}\r\n");
  ASSERT_EQ(s.f->RuntimeError(), "");
  EXPECT_FLOAT_EQ(s.f->Number("len"), 1.0f);
  EXPECT_EQ(s.f->Number("missing"), 1);
  EXPECT_EQ(s.f->Number("notSound"), 1);
  // The music that played keeps playing after the failures.
  EXPECT_EQ(s.sound.Slot(254).isStream, 1);
  EXPECT_TRUE(s.Playing(254, 0));
  std::string dir = s.f->work.Path();
  std::string log = s.Log();
  EXPECT_NE(log.find(test::Sjis("[" + dir + "/music.wav](1.00秒)を再生します")), std::string::npos) << log;
  EXPECT_NE(log.find(test::Sjis("[" + dir + "/gone.wav]がオープンできません")), std::string::npos);
  EXPECT_NE(log.find(test::Sjis("[" + dir + "/notes.wav]は音声ファイルではありません")), std::string::npos);
}

TEST(SoundCalls, PlayBgmWithALoopPointLoops) {
  SoundWorld s;
  s.f->Run("float len; function main() { len = play_bgm(\"music.wav\", 100); }\r\n");
  ASSERT_EQ(s.f->RuntimeError(), "");
  EXPECT_FLOAT_EQ(s.f->Number("len"), 1.0f);
  EXPECT_TRUE(s.Playing(254, 0));
}

TEST(SoundCalls, PlayVoiceErrorsAndTheEventSkip) {
  struct VoiceCase {
    const char* file;
    const char* error;  // "" for none
  };
  const VoiceCase cases[] = {
      {"gone.wav", "がオープンできません"},
      {"notes.wav", "は音声ファイルではありません"},
  };
  for (const VoiceCase& c : cases) {
    SoundWorld s;
    s.f->Run(std::string("function main() { play_voice(\"") + c.file + "\"); }\r\n");
    std::string expected = test::Sjis("[" + s.f->work.Path() + "/" + c.file + "]" + c.error);
    EXPECT_NE(s.f->RuntimeError().find(expected), std::string::npos) << s.f->RuntimeError();
  }

  SoundWorld s;
  s.f->Run("float len; function main() { len = play_voice(\"music.wav\"); }\r\n");
  ASSERT_EQ(s.f->RuntimeError(), "");
  EXPECT_FLOAT_EQ(s.f->Number("len"), 1.0f);
  EXPECT_TRUE(s.Playing(255, 0));
  EXPECT_NE(s.Log().find(test::Sjis("MSG-> [" + s.f->work.Path() + "/music.wav](1.00秒)を再生します")),
            std::string::npos);

  // While events are skipped the voice does not play and the preset is
  // returned (a missing file is still an error).
  SoundWorld skip;
  skip.f->Run("int len;\r\nfunction main() { __system_interrupt__(1, \"wait\");\r\n"
              "  len = play_voice(\"music.wav\"); }\r\n",
              0);
  skip.f->world.RunWorldFrame(nullptr);
  skip.f->world.eventMode = -1;
  for (int i = 0; i < 3; i++) skip.f->world.RunWorldFrame(nullptr);
  ASSERT_EQ(skip.f->RuntimeError(), "");
  EXPECT_EQ(skip.f->Number("len"), 1);
  EXPECT_EQ(skip.sound.Slot(255).loaded, 0);
}

// [SECTION] The HUD's map switch

TEST(ScreenCalls, HudSystemSetsAndClearsTheMapHiddenValue) {
  struct HudCase {
    const char* calls;
    int32_t flags;
  };
  const HudCase cases[] = {
      {"hud_system(\"NO_MAP\");", 2},
      {"hud_system(\"NO_MAP\"); hud_system(\"OK_MAP\");", 0},
      {"hud_system(\"NO_MAP\"); hud_system(\"no_map\"); hud_system(\"\"); hud_system(\"OK\");", 2},
      {"hud_system(\"NO_MAP \");", 0},
  };
  for (const HudCase& c : cases) {
    WorldFixture f;
    f.Run(std::string("function main() { ") + c.calls + " }\r\n");
    ASSERT_EQ(f.RuntimeError(), "") << c.calls;
    EXPECT_EQ(f.world.hudFlags, c.flags) << c.calls;
  }
}

// [SECTION] Without a sound system

TEST(SoundCalls, WithoutASoundSystemEveryCallReturnsItsPreset) {
  WorldFixture f;
  test::WriteFile("music.wav", Wav(4410));
  f.Run("int a; int b; int c; int d; int e; int g; int h; int i; int j; int k; int l; int m; int n;\r\n"
        "function main() {\r\n"
        "  load_se(20, \"music.wav\"); a = play_se(20, 0, 0, 0, 0); b = play_se_3d(20, {}, 0);\r\n"
        "  c = stop_se(20); d = stop_bgm(); e = stop_voice(); g = pause_se(5, 0); h = pause_bgm(1);\r\n"
        "  i = pause_voice(0); j = fade_se(0.5, 1.0); k = fade_bgm(0.5, 1.0); l = play_bgm(\"music.wav\", 0);\r\n"
        "  m = play_voice(\"gone.wav\"); n = fade_voice(0.0, 0.0);\r\n"
        "}\r\n");
  ASSERT_EQ(f.RuntimeError(), "");
  for (const char* v : {"a", "b", "c", "d", "e", "g", "h", "i", "j", "k", "l", "m", "n"})
    EXPECT_EQ(f.Number(v), 1) << v;
}

// [SECTION] The scratch buffer

// The sound calls take paths of any length without writing past the
// scratch buffer the handler is given.
TEST(SoundCalls, LongPathsStayOutOfTheScratchBuffer) {
  SoundWorld s;
  std::string path(70000, 'p');
  constexpr size_t kGuard = 4096;
  std::vector<char> scratch(script::kSystemCallScratchBytes + kGuard, '\x5A');
  for (const char* name : {"load_se", "play_bgm", "play_voice"}) {
    script::SystemCallArgument args[script::kSystemCallArguments] = {};
    int pathIndex = std::string(name) == "load_se" ? 1 : 0;
    args[pathIndex].type = script::kCallString;
    args[pathIndex].text = path.data();
    script::SystemCallContext context;
    context.callName = name;
    context.engine = &s.f->world.scriptEngine;
    context.folder = "";
    script::SystemCallResult result;
    try {
      api::HandleGeneralSystemCall(&result, context, args, scratch.data());
    } catch (const script::ScriptError&) {
      // play_voice raises that the file cannot be opened.
    }
    for (size_t i = script::kSystemCallScratchBytes; i < scratch.size(); i++)
      ASSERT_EQ(scratch[i], '\x5A') << name << " wrote past the scratch buffer at " << i;
  }
}

}  // namespace
