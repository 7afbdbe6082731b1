// sound_stream_test.cpp -- streamed music and voice, heard through the null
// driver's capture: loop points, silence after the end, every rate, the
// three formats, and what refused streams leave behind.

#include "sound_test_support.h"

namespace {

using namespace soundtest;

class Streams : public SoundFixture {
 protected:
  // The left channel of stereo output.
  static std::vector<int16_t> Left(const std::vector<int16_t>& stereo) {
    std::vector<int16_t> left(stereo.size() / 2);
    for (size_t i = 0; i < left.size(); i++) left[i] = stereo[2 * i];
    return left;
  }
};

TEST_F(Streams, ALoopingStreamRestartsAtItsLoopPoint) {
  // Three seconds of marked samples at 44100 Hz, looping from one second in.
  test::WriteFile("bgm.wav", Wav(Pcm16(Markers(3 * 44100))));
  ASSERT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "bgm.wav", sound::kStreamLoop), 0);
  ASSERT_EQ(sound.SetStreamLoopPoint(sound::kMusicSlot, 44100), 0);
  std::vector<int16_t> out = Left(Frames(7 * 60));  // seven seconds
  ASSERT_EQ(out.size(), 7u * 44100);
  // Seconds 0-3 the data, then 1-3 again, twice.
  for (uint32_t k = 0; k < out.size(); k++) {
    uint32_t source = k < 3 * 44100 ? k : 44100 + (k - 3 * 44100) % (2 * 44100);
    ASSERT_EQ(out[k], Marker(source)) << "output frame " << k;
  }
  EXPECT_EQ(sound.GetSoundStatus(sound::kMusicSlot, 0), sound::kStatusExists | sound::kStatusPlaying);
}

TEST_F(Streams, WithoutLoopingSilenceFollowsTheEndAndTheSlotStays) {
  test::WriteFile("voice.wav", Wav(Pcm16(Markers(66150))));  // 1.5 s
  ASSERT_EQ(sound.OpenSoundStream(sound::kVoiceSlot, "voice.wav", 0), 0);
  std::vector<int16_t> out = Left(Frames(4 * 60));
  for (uint32_t k = 0; k < out.size(); k++) ASSERT_EQ(out[k], k < 66150 ? Marker(k) : 0) << k;
  EXPECT_EQ(sound.Slot(sound::kVoiceSlot).loaded, 1);
  EXPECT_GT(sound.Slot(sound::kVoiceSlot).stream->endCount, 0);
  EXPECT_EQ(sound.GetSoundStatus(sound::kVoiceSlot, 0), sound::kStatusExists | sound::kStatusPlaying);
  EXPECT_EQ(sound.StopSoundSlot(sound::kVoiceSlot, 0), sound::kStopped);
  EXPECT_EQ(sound.Slot(sound::kVoiceSlot).loaded, 0);
}

TEST_F(Streams, EveryRateRefillsOnTime) {
  // Each second of the file holds its own level; at every rate the output
  // must reach each second in turn (a ring that is not refilled repeats an
  // old second instead).
  const int levels[] = {1000, 2000, 3000, 4000, 5000};
  for (int rate : {44100, 48000, 22050, 16000, 11025, 8000}) {
    std::vector<int16_t> pcm;
    for (int level : levels) pcm.insert(pcm.end(), size_t(rate), int16_t(level));
    std::string name = "s" + std::to_string(rate) + ".wav";
    test::WriteFile(name, Wav(Pcm16(pcm), Format(1, rate, 16)));
    ASSERT_EQ(sound.OpenSoundStream(sound::kMusicSlot, name.c_str(), 0), 0);
    std::vector<int16_t> out = Left(Frames(6 * 60));
    for (int s = 0; s < 5; s++) EXPECT_EQ(out[size_t(s) * 44100 + 22050], levels[s]) << rate << " Hz, second " << s;
    EXPECT_EQ(out[5 * 44100 + 22050], 0) << rate;
  }
}

TEST_F(Streams, PauseHoldsTheStreamWhereItWas) {
  test::WriteFile("bgm.wav", Wav(Pcm16(Markers(4 * 44100))));
  ASSERT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "bgm.wav", 0), 0);
  std::vector<int16_t> before = Left(Frames(90));  // 1.5 s
  ASSERT_EQ(sound.PauseSoundSlot(sound::kMusicSlot, -1), 0);
  std::vector<int16_t> paused = Left(Frames(150));  // longer than a half
  ASSERT_EQ(sound.ResumeSoundSlot(sound::kMusicSlot, -1), 0);
  std::vector<int16_t> after = Left(Frames(120));
  for (int16_t v : paused) ASSERT_EQ(v, 0);
  before.insert(before.end(), after.begin(), after.end());
  for (uint32_t k = 0; k < before.size(); k++) ASSERT_EQ(before[k], Marker(k)) << k;
}

TEST_F(Streams, DeltaCodedStreamsDecodeAsWholeLoadsDo) {
  for (uint32_t channels : {1u, 2u}) {
    std::string codes;
    uint32_t seed = 99;
    for (int i = 0; i < 22050 * 5 / 2 * int(channels); i++) {
      seed = seed * 1103515245u + 12345u;
      codes += char(118 + (seed >> 16) % 21);  // small steps either way
    }
    // Stereo uses the short header: 44100 Hz, codes from offset 8.
    std::string file = channels == 1 ? Rad(codes, 1, 22050) : Rad(codes, 2, 7);
    test::WriteFile("v.rad", file);
    ASSERT_EQ(sound.LoadSoundEffect(10, "v.rad", 1, 0), 0);
    ASSERT_EQ(sound.PlaySoundSlot(10, 0, 0, 0, 0), 0);
    std::vector<int16_t> whole = Frames(150);
    sound.FreeSoundSlot(10);
    ASSERT_EQ(sound.OpenSoundStream(sound::kVoiceSlot, "v.rad", 0), 0);
    EXPECT_EQ(sound.Slot(sound::kVoiceSlot).kind, sound::kKindDelta);
    std::vector<int16_t> streamed = Frames(150);
    ASSERT_EQ(whole.size(), streamed.size());
    // Up to the last frame, where the stream goes on into silence and the
    // resampler steps toward it.
    for (size_t i = 0; i + 4 < whole.size(); i++)
      ASSERT_EQ(whole[i], streamed[i]) << channels << " channels, sample " << i;
    sound.StopSoundSlot(sound::kVoiceSlot, -1);
  }
}

TEST_F(Streams, OggStreamsPlayWhatTheWholeDecodeGives) {
  std::vector<int16_t> pcm = Sine(2 * 44100 + 1234, 2, 44100, 330.0);
  test::WriteFile("bgm.ogg", EncodeOgg(pcm, 2, 44100));
  ASSERT_EQ(sound.LoadSoundEffect(11, "bgm.ogg", 1, 0), 0);
  ASSERT_EQ(sound.PlaySoundSlot(11, 1, 0, 0, 0), 0);  // looping, like the stream
  std::vector<int16_t> whole = Frames(300);
  sound.FreeSoundSlot(11);
  ASSERT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "bgm.ogg", sound::kStreamLoop), 0);
  EXPECT_EQ(sound.Slot(sound::kMusicSlot).kind, sound::kKindOgg);
  std::vector<int16_t> streamed = Frames(300);
  ASSERT_EQ(whole.size(), streamed.size());
  for (size_t i = 0; i < whole.size(); i++) ASSERT_EQ(whole[i], streamed[i]) << i;
  EXPECT_EQ(sound.GetSoundFileLength("bgm.ogg"), (2 * 44100 + 1234) * 1000 / 44100);
}

TEST_F(Streams, AStreamCutShortLoopsAtItsRealEnd) {
  // The header claims ten seconds; the file holds one.
  WavSpec claim;
  claim.dataSize = 10 * 88200;
  std::string file = Wav(Pcm16(Markers(44100)), claim);
  test::WriteFile("cut.wav", file);
  ASSERT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "cut.wav", sound::kStreamLoop), 0);
  std::vector<int16_t> out = Left(Frames(3 * 60));
  for (uint32_t k = 0; k < out.size(); k++) ASSERT_EQ(out[k], Marker(k % 44100)) << k;
}

TEST_F(Streams, ALoopPointOutsideTheDataLoopsFromTheStart) {
  test::WriteFile("bgm.wav", Wav(Pcm16(Markers(44100))));
  for (int point : {44100, 1000000, -5}) {
    ASSERT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "bgm.wav", sound::kStreamLoop), 0);
    ASSERT_EQ(sound.SetStreamLoopPoint(sound::kMusicSlot, point), 0);
    std::vector<int16_t> out = Left(Frames(150));
    for (uint32_t k = 0; k < out.size(); k++) ASSERT_EQ(out[k], Marker(k % 44100)) << point << ", frame " << k;
  }
}

TEST_F(Streams, RefusedStreamsLeaveNothingBehind) {
  int files = OpenFileCount();
  std::string ogg = EncodeOgg(Sine(8000, 1, 8000, 300.0), 1, 8000);
  test::WriteFile("cut.ogg", ogg.substr(0, 100));
  test::WriteFile("list.wav", Wav(Pcm16({1, 2}), Between(Chunk("LIST", "abcd"))));
  // The data chunk must start within the first 1024 bytes.
  test::WriteFile("far.wav", Wav(Pcm16({1, 2}), Between(Chunk("fact", std::string(1100, 'x')))));
  test::WriteFile("bits12.wav", Wav(Pcm16({1, 2}), Format(1, 44100, 12)));
  test::WriteFile("ok.ogg", ogg);

  const struct {
    const char* file;
    int result;
    const char* logged;
  } cases[] = {
      {"missing.wav", -1, "\"missing.wav\"がオープンできません。"},
      {"cut.ogg", 1, "Oggファイル"},
      {"list.wav", 1, "[list.wav]は有効なPCMファイルではありません。"},
      {"far.wav", 1, "[far.wav]は有効なPCMファイルではありません。"},
      {"bits12.wav", 1, "ストリーミング再生バッファの作成に失敗"},
  };
  for (const auto& c : cases) {
    // Each refusal also ends what the slot played before.
    ASSERT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "ok.ogg", 1), 0);
    EXPECT_EQ(sound.OpenSoundStream(sound::kMusicSlot, c.file, 1), c.result) << c.file;
    EXPECT_TRUE(LogHas(c.logged)) << c.file;
    EXPECT_EQ(sound.Slot(sound::kMusicSlot).loaded, 0) << c.file;
    EXPECT_EQ(sound.GetSoundStatus(sound::kMusicSlot, -1), 0) << c.file;
    EXPECT_EQ(OpenFileCount(), files) << c.file;
  }
  // Without the decoder an Ogg stream is refused the same way.
  sound.BindOggVorbis(nullptr);
  EXPECT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "ok.ogg", 1), 1);
  EXPECT_EQ(sound.Slot(sound::kMusicSlot).loaded, 0);
  EXPECT_EQ(OpenFileCount(), files);
  EXPECT_EQ(sound.OpenSoundStream(-1, "ok.ogg", 1), 1);
  EXPECT_EQ(sound.SetStreamLoopPoint(sound::kMusicSlot, 0), 1);  // no stream there
}

TEST_F(Streams, ReplacingAStreamClosesItsFile) {
  test::WriteFile("a.wav", Wav(Pcm16(Markers(88200))));
  test::WriteFile("fx.wav", Wav(Pcm16({1, 2, 3, 4})));
  int files = OpenFileCount();
  ASSERT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "a.wav", 1), 0);
  EXPECT_EQ(OpenFileCount(), files + 1);
  ASSERT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "a.wav", 1), 0);
  EXPECT_EQ(OpenFileCount(), files + 1);
  // An effect loaded into a stream's slot ends the stream and its file.
  ASSERT_EQ(sound.LoadSoundEffect(sound::kMusicSlot, "fx.wav", 2, 0), 0);
  EXPECT_EQ(OpenFileCount(), files);
  EXPECT_EQ(sound.Slot(sound::kMusicSlot).isStream, 0);
  ASSERT_EQ(sound.OpenSoundStream(sound::kVoiceSlot, "a.wav", 1), 0);
  ASSERT_EQ(sound.FreeSoundSlot(sound::kVoiceSlot), 0);
  EXPECT_EQ(OpenFileCount(), files);
}

}  // namespace
