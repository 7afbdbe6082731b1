// sound_slots_test.cpp -- slots and copies: playing round the copies, group
// volumes, fades, stop, pause and resume, status and position, and the
// machine without a sound device.

#include <cstdlib>

#include "sound_test_support.h"

namespace {

using namespace soundtest;

class Slots : public SoundFixture {
 protected:
  // A one-second mono 44100 Hz effect of a constant level.
  void LoadEffect(int slot, int copies, const char* name = "fx.wav") {
    if (!platform::PathExists(name)) test::WriteFile(name, Wav(Pcm16(std::vector<int16_t>(44100, 1000))));
    ASSERT_EQ(sound.LoadSoundEffect(slot, name, copies, 0), 0);
  }
  void OpenStream(int slot) {
    if (!platform::PathExists("music.wav")) test::WriteFile("music.wav", Wav(Pcm16(Markers(44100 * 3))));
    ASSERT_EQ(sound.OpenSoundStream(slot, "music.wav", sound::kStreamLoop), 0);
  }
};

TEST_F(Slots, PlaysRoundTheCopies) {
  LoadEffect(7, 4);
  // Five plays in one frame: four copies start, the fifth finds none free.
  EXPECT_EQ(sound.PlaySoundSlot(7, 0, 0, 0, 0), 0);
  EXPECT_EQ(sound.PlaySoundSlot(7, 0, 0, 0, 0), 1);
  EXPECT_EQ(sound.PlaySoundSlot(7, 0, 0, 0, 0), 2);
  EXPECT_EQ(sound.PlaySoundSlot(7, 0, 0, 0, 0), 3);
  EXPECT_EQ(sound.PlaySoundSlot(7, 0, 0, 0, 0), 4);
  EXPECT_EQ(sound.GetSoundStatus(7, -1), sound::kStatusExists | sound::kStatusPlaying);
  // The search starts at the copy after the last one played.
  EXPECT_EQ(sound.StopSoundSlot(7, 2), sound::kStopped);
  EXPECT_EQ(sound.StopSoundSlot(7, 0), sound::kStopped);
  EXPECT_EQ(sound.PlaySoundSlot(7, 0, 0, 0, 0), 0);
  EXPECT_EQ(sound.PlaySoundSlot(7, 0, 0, 0, 0), 2);
  EXPECT_EQ(sound.PlaySoundSlot(7, 0, 0, 0, 0), 4);
  // A copy that ran to its end is free again.
  Frames(61);
  EXPECT_EQ(sound.GetSoundStatus(7, -1), sound::kStatusExists);
  EXPECT_EQ(sound.PlaySoundSlot(7, 0, 0, 0, 0), 3);

  EXPECT_EQ(sound.PlaySoundSlot(8, 0, 0, 0, 0), sound::kPlayEmptySlot);
  EXPECT_EQ(sound.PlaySoundSlot(256, 0, 0, 0, 0), 1);
  EXPECT_EQ(sound.PlaySoundSlot(-1, 0, 0, 0, 0), 1);
}

TEST_F(Slots, PlayVolumeAddsTheEffectOptionVolume) {
  LoadEffect(3, 8);
  ASSERT_EQ(sound.SetSoundGroupVolume(0, -1500), 0);
  const struct {
    int volume;
    int played;
  } cases[] = {{-500, -2000}, {-9000, -10000}, {-8500, -10000}, {0, -1500}, {1600, 0}, {3000, 0}};
  for (const auto& c : cases) {
    int copy = sound.PlaySoundSlot(3, 0, c.volume, 0, 0);
    ASSERT_GE(copy, 0);
    EXPECT_EQ(Volume(3, copy), c.played) << c.volume;
    // A negative sum is also the copy's fade target, so the next tick
    // leaves it where it is.
    EXPECT_EQ(sound.Slot(3).copies[size_t(copy)].fadeTarget, c.volume - 1500 < 0 ? std::max(c.played, -10000) : 1);
  }
  Frames(1);
  EXPECT_EQ(Volume(3, 0), -2000);
  EXPECT_EQ(Volume(3, 1), -10000);
  // Pan and frequency reach the copy; frequency 0 keeps the sound's own.
  int copy = sound.PlaySoundSlot(3, 0, 0, -3000, 22050);
  EXPECT_EQ(copy, 6);
  EXPECT_EQ(platform::GetAudioBufferPan(sound.Slot(3).copies[6].buffer), -3000);
  EXPECT_EQ(platform::GetAudioBufferFrequency(sound.Slot(3).copies[6].buffer), 22050u);
  EXPECT_EQ(sound.SetSoundFrequency(3, 6, 0), 0);
  EXPECT_EQ(platform::GetAudioBufferFrequency(sound.Slot(3).copies[6].buffer), 44100u);
  EXPECT_EQ(sound.SetSoundPan(3, -1, 2500), 0);
  EXPECT_EQ(platform::GetAudioBufferPan(sound.Slot(3).copies[0].buffer), 2500);
  EXPECT_EQ(sound.SetSoundPan(3, 8, 0), 1);  // no such copy
}

TEST_F(Slots, ApplyVolumeUsesTheGroupOfTheSlot) {
  LoadEffect(1, 2);
  OpenStream(sound::kMusicSlot);
  sound.SetSoundGroupVolume(0, -1000);
  sound.SetSoundSystemVolume(0, -300);
  // Setting the music group applies to its copy 0 at once.
  sound.SetSoundGroupVolume(sound::kMusicSlot, -700);
  EXPECT_EQ(Volume(sound::kMusicSlot, 0), -700);
  sound.SetSoundSystemVolume(sound::kMusicSlot, -200);
  EXPECT_EQ(Volume(sound::kMusicSlot, 0), -700);  // the script volume waits
  EXPECT_EQ(sound.ApplySoundVolume(sound::kMusicSlot, 0, -100), 0);
  EXPECT_EQ(Volume(sound::kMusicSlot, 0), -1000);
  EXPECT_EQ(sound.ApplySoundVolume(1, -1, -500), 0);
  EXPECT_EQ(Volume(1, 0), -1800);
  EXPECT_EQ(Volume(1, 1), -1800);
  EXPECT_EQ(sound.Slot(1).copies[0].fadeTarget, -1800);
  EXPECT_EQ(sound.ApplySoundVolume(1, 0, -9500), 0);
  EXPECT_EQ(Volume(1, 0), -10000);
  // With no group offset the copy is not fading at all.
  sound.SetSoundGroupVolume(0, 0);
  sound.SetSoundSystemVolume(0, 0);
  EXPECT_EQ(sound.ApplySoundVolume(1, 0, -400), 0);
  EXPECT_EQ(sound.Slot(1).copies[0].fadeTarget, sound::kNoFade);
  // A positive offset is held at full volume.
  sound.SetSoundGroupVolume(0, 500);
  EXPECT_EQ(sound.ApplySoundVolume(1, 0, -100), 0);
  EXPECT_EQ(Volume(1, 0), 0);
  EXPECT_EQ(sound.GetSoundGroupVolume(7), 500);
  EXPECT_EQ(sound.GetSoundGroupVolume(sound::kMusicSlot), -700);
  EXPECT_EQ(sound.ApplySoundVolume(1, 2, 0), 1);
  EXPECT_EQ(sound.ApplySoundVolume(300, 0, 0), 1);
}

TEST_F(Slots, FadeSequences) {
  LoadEffect(5, 1);
  const struct {
    const char* what;
    int start, target, step, stepsPerFrame;
    std::vector<int> frames;  // the volume after each frame tick
  } cases[] = {
      {"falling cuts below -3000", 0, -10000, 500, 2, {-1000, -2000, -3000, -10000, -10000}},
      {"rising starts at -3000", -10000, 0, 500, 1, {-2500, -2000, -1500}},
      {"rising reaches its target", -1200, 0, 500, 2, {-200, 0, 0}},
      {"four steps a frame", 0, -2000, 300, 4, {-1200, -2000, -2000}},
      {"a step of 0 never moves", 0, -5000, 0, 3, {0, 0, 0}},
      {"a negative step is 0", -2000, 0, -50, 1, {-2000, -2000}},
      {"already there", -4000, -4000, 700, 1, {-4000, -4000}},
  };
  for (const auto& c : cases) {
    sound.SetFadeStepCount(c.stepsPerFrame);
    ASSERT_EQ(sound.ApplySoundVolume(5, 0, c.start), 0);
    ASSERT_EQ(sound.SetSoundFadeTarget(5, 0, c.target, c.step), 0);
    for (size_t f = 0; f < c.frames.size(); f++) {
      Frames(1);
      EXPECT_EQ(Volume(5, 0), c.frames[f]) << c.what << ", frame " << f + 1;
    }
  }
  // A copy played at -4000 keeps it at the next tick, whatever the step.
  sound.SetFadeStepCount(1);
  sound.SetSoundFadeTarget(5, 0, 0, 9000);
  ASSERT_EQ(sound.PlaySoundSlot(5, 1, -4000, 0, 0), 0);
  Frames(1);
  EXPECT_EQ(Volume(5, 0), -4000);
  // The target counts the group offset.
  sound.SetSoundGroupVolume(0, -1500);
  ASSERT_EQ(sound.SetSoundFadeTarget(5, 0, 0, 10000), 0);
  Frames(1);
  EXPECT_EQ(Volume(5, 0), -1500);
  // A paused copy does not fade until it is resumed.
  sound.SetSoundFadeTarget(5, 0, 500, 100);  // toward -1000
  sound.PauseSoundSlot(5, 0);
  Frames(2);
  EXPECT_EQ(Volume(5, 0), -1500);
  sound.ResumeSoundSlot(5, 0);
  Frames(1);
  EXPECT_EQ(Volume(5, 0), -1400);
  EXPECT_EQ(sound.SetSoundFadeTarget(5, 1, 0, 10), 1);  // no such copy
}

TEST_F(Slots, FadeOfSlotMinusOneMeansEveryEffect) {
  LoadEffect(1, 2);
  LoadEffect(200, 1);
  OpenStream(sound::kMusicSlot);
  OpenStream(sound::kVoiceSlot);
  ASSERT_EQ(sound.SetSoundFadeTarget(-1, -1, -10000, 2000), 0);
  Frames(2);
  EXPECT_EQ(Volume(1, 0), -10000);
  EXPECT_EQ(Volume(1, 1), -10000);
  EXPECT_EQ(Volume(200, 0), -10000);
  EXPECT_EQ(Volume(sound::kMusicSlot, 0), 0);
  EXPECT_EQ(Volume(sound::kVoiceSlot, 0), 0);
}

TEST_F(Slots, StopOfSlotMinusOneLeavesMusicAndVoice) {
  LoadEffect(1, 2);
  LoadEffect(253, 1);
  OpenStream(sound::kMusicSlot);
  OpenStream(sound::kVoiceSlot);
  sound.PlaySoundSlot(1, 1, 0, 0, 0);
  sound.PlaySoundSlot(253, 1, 0, 0, 0);
  Frames(3);
  EXPECT_EQ(sound.StopSoundSlot(-1, -1), sound::kStopped);
  EXPECT_EQ(sound.GetSoundStatus(1, -1), sound::kStatusExists);
  EXPECT_EQ(sound.GetSoundStatus(253, 0), sound::kStatusExists);
  EXPECT_EQ(platform::GetAudioBufferPosition(sound.Slot(1).copies[0].buffer), 0u);  // rewound
  for (int slot : {sound::kMusicSlot, sound::kVoiceSlot})
    EXPECT_EQ(sound.GetSoundStatus(slot, 0), sound::kStatusExists | sound::kStatusPlaying) << slot;
  // Stopping a stream frees its slot.
  EXPECT_EQ(sound.StopSoundSlot(sound::kMusicSlot, -1), sound::kStopped);
  EXPECT_EQ(sound.Slot(sound::kMusicSlot).loaded, 0);
  EXPECT_EQ(sound.GetSoundStatus(sound::kMusicSlot, 0), 0);
  EXPECT_EQ(sound.StopSoundSlot(1, 5), 1);
  EXPECT_EQ(sound.StopSoundSlot(256, -1), 1);
}

TEST_F(Slots, PauseAndResumeKeepTheirPlace) {
  LoadEffect(9, 2);
  sound.PlaySoundSlot(9, 1, 0, 0, 0);  // copy 0 loops
  Frames(10);
  EXPECT_EQ(sound.PauseSoundSlot(9, -1), 0);
  EXPECT_EQ(sound.GetSoundStatus(9, 0), sound::kStatusExists);
  EXPECT_EQ(sound.Slot(9).copies[0].paused, 1);
  EXPECT_EQ(sound.Slot(9).copies[1].paused, 0);  // it was not playing
  uint32_t where = platform::GetAudioBufferPosition(sound.Slot(9).copies[0].buffer);
  EXPECT_EQ(where, 7350u * 2);
  Frames(5);
  EXPECT_EQ(platform::GetAudioBufferPosition(sound.Slot(9).copies[0].buffer), where);
  EXPECT_EQ(sound.ResumeSoundSlot(9, -1), 0);
  EXPECT_EQ(sound.GetSoundStatus(9, 0), sound::kStatusExists | sound::kStatusPlaying);
  EXPECT_EQ(sound.GetSoundStatus(9, 1), sound::kStatusExists);
  // It resumed looping: two seconds later it still plays.
  Frames(120);
  EXPECT_EQ(sound.GetSoundStatus(9, 0), sound::kStatusExists | sound::kStatusPlaying);
  // Slot -1 pauses and resumes every effect.
  sound.PauseSoundSlot(-1, 0);
  EXPECT_EQ(sound.GetSoundStatus(9, 0), sound::kStatusExists);
  sound.ResumeSoundSlot(-1, 0);
  EXPECT_EQ(sound.GetSoundStatus(9, 0), sound::kStatusExists | sound::kStatusPlaying);
  // Stop clears the pause.
  sound.PauseSoundSlot(9, 0);
  sound.StopSoundSlot(9, 0);
  EXPECT_EQ(sound.Slot(9).copies[0].paused, 0);
  sound.ResumeSoundSlot(9, 0);
  EXPECT_EQ(sound.GetSoundStatus(9, 0), sound::kStatusExists);
}

TEST_F(Slots, StatusAndPositionAtEveryRate) {
  for (int rate : {44100, 48000, 22050, 16000, 11025, 8000}) {
    std::string name = "r" + std::to_string(rate) + ".wav";
    test::WriteFile(name, Wav(std::string(size_t(rate) * 4, '\0'), Format(1, rate, 16)));  // 2 s
    ASSERT_EQ(sound.LoadSoundEffect(20, name.c_str(), 1, 0), 0);
    EXPECT_EQ(sound.GetSoundPosition(20, 0), 0);  // not playing
    sound.PlaySoundSlot(20, 0, 0, 0, 0);
    platform::AdvanceAudioClock(Device(), 44100);  // one second
    EXPECT_NEAR(sound.GetSoundPosition(20, 0), 44100, 6) << rate;
  }
  platform::TakeCapturedAudio(Device());
  EXPECT_EQ(sound.GetSoundStatus(20, 1), 0);
  EXPECT_EQ(sound.GetSoundStatus(21, -1), 0);
  EXPECT_EQ(sound.GetSoundStatus(-1, -1), 0);
  EXPECT_EQ(sound.GetSoundPosition(20, -1), 0);
  EXPECT_EQ(sound.FreeSoundSlot(20), 0);
  EXPECT_EQ(sound.FreeSoundSlot(20), -1);
  EXPECT_EQ(sound.GetSoundStatus(20, 0), 0);
}

TEST(NoDevice, EveryOperationAnswersAtOnce) {
  test::ScopedWorkFolder work;
  test::WriteFile("fx.wav", Wav(Pcm16(std::vector<int16_t>(4410, 1))));
  core::FilePackageTable files;
  sound::SoundSystem sound;
  sound.packages = &files;
  EXPECT_FALSE(sound.HasDevice());
  EXPECT_EQ(sound.LoadSoundEffect(1, "fx.wav", 4, 0), 1);
  EXPECT_EQ(sound.OpenSoundStream(254, "fx.wav", 1), 1);
  EXPECT_EQ(sound.PlaySoundSlot(1, 0, 0, 0, 0), 1);
  EXPECT_EQ(sound.StopSoundSlot(-1, -1), 1);
  EXPECT_EQ(sound.PauseSoundSlot(1, -1), 1);
  EXPECT_EQ(sound.ResumeSoundSlot(1, -1), 1);
  EXPECT_EQ(sound.FreeSoundSlot(1), 1);
  EXPECT_EQ(sound.ApplySoundVolume(1, 0, 0), 1);
  EXPECT_EQ(sound.SetSoundFadeTarget(1, 0, 0, 10), 1);
  EXPECT_EQ(sound.SetSoundPan(1, 0, 0), 1);
  EXPECT_EQ(sound.SetSoundFrequency(1, 0, 0), 1);
  EXPECT_EQ(sound.SetSoundGroupVolume(0, -100), 1);
  EXPECT_EQ(sound.SetSoundSystemVolume(0, -100), 1);
  EXPECT_EQ(sound.SetStreamLoopPoint(254, 0), 1);
  EXPECT_EQ(sound.SetFadeStepCount(2), 1);
  EXPECT_EQ(sound.UpdateSoundFades(), 1);
  EXPECT_EQ(sound.GetSoundStatus(1, -1), 0);
  EXPECT_EQ(sound.GetSoundPosition(1, 0), 0);
  // The file length needs no device.
  EXPECT_EQ(sound.GetSoundFileLength("fx.wav"), 100);
  EXPECT_EQ(sound.GetSoundFileLength("none.wav"), -1);
}

TEST(NoDevice, AFailedDeviceIsToldOnceAndTheGameGoesOnSilently) {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  // No audio driver of that name: SDL's audio cannot start.
  const char* old = std::getenv("SDL_AUDIODRIVER");
  std::string saved = old ? old : "";
  setenv("SDL_AUDIODRIVER", "tkw4-no-such-driver", 1);
  int result;
  {
    core::LogSystem log("system.log", core::kLogInfo);
    sound::SoundSystem sound;
    sound.log = &log;
    result = sound.InitDirectSound(nullptr);
    EXPECT_FALSE(sound.HasDevice());
    EXPECT_EQ(sound.PlaySoundSlot(1, 0, 0, 0, 0), 1);
    EXPECT_EQ(sound.UpdateSoundFades(), 1);
  }
  if (old) setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
  else unsetenv("SDL_AUDIODRIVER");
  EXPECT_EQ(result, 1);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("DirectSound の初期化に失敗しました。"));
  EXPECT_EQ(boxes.Boxes()[0].caption, "");
  EXPECT_EQ(boxes.Boxes()[0].flags & platform::kMbIconMask, unsigned(platform::kMbIconError));
  std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2], test::Sjis("----------- DirectSoundを初期化します -----------"));
  EXPECT_EQ(lines[3].rfind(test::Sjis("DirectSound の初期化に失敗しました。"), 0), 0u);
}

TEST_F(Slots, InitialisationIsLogged) {
  std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 5u);
  // The heading with a line feed before and after it, then the format.
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], test::Sjis("----------- DirectSoundを初期化します -----------"));
  EXPECT_EQ(lines[3], test::Sjis("[PCM 44100Hz 16Bit 2Ch]でプライマリバッファを初期化しました。"));
}

}  // namespace
