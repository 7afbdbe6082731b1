// platform_audio_test.cpp -- the sound output device and its mixer: buffer
// formats, volume and pan, resampling, the lock across the wrap, duplicates,
// the play cursor, and the system driver run headless.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/platform_public.h"

namespace {

using namespace platform;

PcmFormat Format(int channels, int rate, int bits) { return PcmFormatOf(channels, rate, bits); }

// A null device with 44100 Hz stereo output.
class Mixer : public ::testing::Test {
 protected:
  void SetUp() override {
    device = CreateAudioDevice(AudioDriver::Null);
    ASSERT_NE(device, nullptr);
    ASSERT_TRUE(SetAudioOutputFormat(device, Format(2, 44100, 16)));
  }
  void TearDown() override { DestroyAudioDevice(device); }

  // A buffer holding `bytes` as its samples.
  AudioBuffer* Buffer(const PcmFormat& f, const std::vector<uint8_t>& bytes) {
    AudioBuffer* b = CreateAudioBuffer(device, f, uint32_t(bytes.size()));
    EXPECT_NE(b, nullptr);
    Write(b, 0, bytes);
    return b;
  }
  AudioBuffer* Mono16(const std::vector<int16_t>& samples, int rate = 44100) {
    std::vector<uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return Buffer(Format(1, rate, 16), bytes);
  }
  void Write(AudioBuffer* b, uint32_t offset, const std::vector<uint8_t>& bytes) {
    void *p1, *p2;
    uint32_t n1, n2;
    ASSERT_TRUE(LockAudioBuffer(b, offset, uint32_t(bytes.size()), &p1, &n1, &p2, &n2));
    std::memcpy(p1, bytes.data(), n1);
    if (n2) std::memcpy(p2, bytes.data() + n1, n2);
    UnlockAudioBuffer(b);
  }
  std::vector<int16_t> Mix(uint32_t frames) {
    AdvanceAudioClock(device, frames);
    return TakeCapturedAudio(device);
  }

  AudioDevice* device = nullptr;
};

TEST(AudioFormat, PlayableFormats) {
  EXPECT_TRUE(IsPlayablePcmFormat(Format(1, 22050, 16)));
  EXPECT_TRUE(IsPlayablePcmFormat(Format(2, 44100, 8)));
  EXPECT_TRUE(IsPlayablePcmFormat(Format(2, 48000, 24)));
  EXPECT_TRUE(IsPlayablePcmFormat(Format(6, 8000, 32)));
  EXPECT_FALSE(IsPlayablePcmFormat(Format(0, 22050, 16)));
  EXPECT_FALSE(IsPlayablePcmFormat(Format(1, 22050, 12)));
  EXPECT_FALSE(IsPlayablePcmFormat(Format(1, 99, 16)));
  EXPECT_FALSE(IsPlayablePcmFormat(Format(1, 200001, 16)));
  PcmFormat f = Format(2, 22050, 16);
  f.blockAlign = 2;  // smaller than a frame: would read past the samples
  f.avgBytesPerSec = 44100;
  EXPECT_FALSE(IsPlayablePcmFormat(f));
  f = Format(2, 22050, 16);
  f.avgBytesPerSec = 1;
  EXPECT_FALSE(IsPlayablePcmFormat(f));
}

TEST_F(Mixer, RefusesWhatItCannotPlay) {
  EXPECT_EQ(CreateAudioBuffer(device, Format(1, 22050, 12), 100), nullptr);
  EXPECT_EQ(CreateAudioBuffer(device, Format(2, 22050, 16), 3), nullptr);  // not one frame
  EXPECT_FALSE(SetAudioOutputFormat(device, Format(2, 44100, 8)));
  // No output yet: nothing can play.
  AudioDevice* silent = CreateAudioDevice(AudioDriver::Null);
  AudioBuffer* b = CreateAudioBuffer(silent, Format(1, 22050, 16), 100);
  EXPECT_FALSE(PlayAudioBuffer(b, false));
  AdvanceAudioClock(silent, 100);
  EXPECT_TRUE(TakeCapturedAudio(silent).empty());
  DestroyAudioDevice(silent);  // releases the buffer with it
}

TEST_F(Mixer, VolumeAndPanInHundredthsOfADecibel) {
  const struct {
    int volume, pan;
    int16_t left, right;
  } cases[] = {
      {0, 0, 10000, 10000},
      {-600, 0, 5012, 5012},      // -6 dB
      {-2000, 0, 1000, 1000},     // -20 dB
      {-10000, 0, 0, 0},          // silence
      {-20000, 0, 0, 0},          // clamped to silence
      {500, 0, 10000, 10000},     // clamped to 0
      {0, 10000, 0, 10000},       // right only
      {0, -10000, 10000, 0},      // left only
      {0, -2000, 10000, 1000},    // the other side loses 20 dB
      {-600, 600, 2512, 5012},
  };
  for (const auto& c : cases) {
    AudioBuffer* b = Mono16(std::vector<int16_t>(64, 10000));
    SetAudioBufferVolume(b, c.volume);
    SetAudioBufferPan(b, c.pan);
    EXPECT_EQ(GetAudioBufferVolume(b), std::clamp(c.volume, -10000, 0));
    ASSERT_TRUE(PlayAudioBuffer(b, false));
    std::vector<int16_t> out = Mix(4);
    EXPECT_NEAR(out[2], c.left, 1) << c.volume << " " << c.pan;
    EXPECT_NEAR(out[3], c.right, 1) << c.volume << " " << c.pan;
    ReleaseAudioBuffer(b);
  }
}

TEST_F(Mixer, SampleFormatsAndChannels) {
  // 8-bit is unsigned around 128.
  AudioBuffer* b8 = Buffer(Format(1, 44100, 8), {128, 255, 0, 192});
  PlayAudioBuffer(b8, false);
  std::vector<int16_t> out = Mix(5);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[2], 32512);
  EXPECT_EQ(out[4], -32768);
  EXPECT_EQ(out[6], 16384);
  EXPECT_EQ(out[8], 0);  // ended
  // Stereo keeps its sides; 24- and 32-bit are heard by their top 16 bits.
  AudioBuffer* s16 = Buffer(Format(2, 44100, 16), {0x10, 0x27, 0xF0, 0xD8});  // 10000, -10000
  PlayAudioBuffer(s16, false);
  out = Mix(1);
  EXPECT_EQ(out[0], 10000);
  EXPECT_EQ(out[1], -10000);
  AudioBuffer* s24 = Buffer(Format(1, 44100, 24), {0x00, 0x10, 0x27});
  PlayAudioBuffer(s24, false);
  EXPECT_EQ(Mix(1)[0], 10000);
  AudioBuffer* s32 = Buffer(Format(1, 44100, 32), {0x00, 0x00, 0xF0, 0xD8});
  PlayAudioBuffer(s32, false);
  EXPECT_EQ(Mix(1)[0], -10000);
  // A source of three channels is heard through its first two.
  AudioBuffer* s3 = Buffer(Format(3, 44100, 16), {0x10, 0x27, 0xE8, 0x03, 0x30, 0x75});  // 10000, 1000, 30000
  PlayAudioBuffer(s3, false);
  out = Mix(1);
  EXPECT_EQ(out[0], 10000);
  EXPECT_EQ(out[1], 1000);
  // Loud copies add up and clip instead of wrapping.
  AudioBuffer* a = Mono16({30000, -30000});
  AudioBuffer* c = DuplicateAudioBuffer(a);
  PlayAudioBuffer(a, false);
  PlayAudioBuffer(c, false);
  out = Mix(2);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[2], -32768);
}

TEST_F(Mixer, ResamplesToTheOutputRate) {
  std::vector<int16_t> ramp(400);
  for (int i = 0; i < 400; i++) ramp[size_t(i)] = int16_t(i * 40);
  // 22050 Hz: each source step spans two output frames, halfway between.
  AudioBuffer* b = Mono16(ramp, 22050);
  PlayAudioBuffer(b, false);
  std::vector<int16_t> out = Mix(8);
  for (int i = 0; i < 8; i++) EXPECT_EQ(out[size_t(2 * i)], i * 20) << i;
  // The cursor advances exactly: 44100 output frames are 22050 source ones.
  EXPECT_EQ(GetAudioBufferPosition(b), 8u / 2 * 2);
  StopAudioBuffer(b);

  const struct {
    uint32_t frequency;
    uint32_t outFrames;
    uint32_t sourceFrames;
  } cases[] = {{88200, 100, 200}, {11025, 100, 25}, {48000, 44100, 48000}, {44100, 1000, 1000}, {0, 1000, 500}};
  for (const auto& c : cases) {
    AudioBuffer* r = CreateAudioBuffer(device, Format(1, 22050, 16), 200000);
    SetAudioBufferFrequency(r, c.frequency);
    EXPECT_EQ(GetAudioBufferFrequency(r), c.frequency ? c.frequency : 22050u);
    PlayAudioBuffer(r, true);
    Mix(c.outFrames);
    EXPECT_EQ(GetAudioBufferPosition(r), c.sourceFrames * 2) << c.frequency;
    ReleaseAudioBuffer(r);
  }
  // Frequencies are held within 100..200000.
  AudioBuffer* r = CreateAudioBuffer(device, Format(1, 22050, 16), 100);
  SetAudioBufferFrequency(r, 5);
  EXPECT_EQ(GetAudioBufferFrequency(r), 100u);
  SetAudioBufferFrequency(r, 900000);
  EXPECT_EQ(GetAudioBufferFrequency(r), 200000u);
}

TEST_F(Mixer, LockSpansTheWrap) {
  AudioBuffer* b = CreateAudioBuffer(device, Format(1, 44100, 16), 100);
  void *p1, *p2;
  uint32_t n1, n2;
  ASSERT_TRUE(LockAudioBuffer(b, 80, 50, &p1, &n1, &p2, &n2));
  EXPECT_EQ(n1, 20u);
  EXPECT_EQ(n2, 30u);
  std::memset(p1, 0x11, n1);
  std::memset(p2, 0x22, n2);
  UnlockAudioBuffer(b);
  ASSERT_TRUE(LockAudioBuffer(b, 0, 100, &p1, &n1, &p2, &n2));
  auto* bytes = static_cast<uint8_t*>(p1);
  EXPECT_EQ(n1, 100u);
  EXPECT_EQ(n2, 0u);
  EXPECT_EQ(p2, nullptr);
  EXPECT_EQ(bytes[29], 0x22);
  EXPECT_EQ(bytes[30], 0);
  EXPECT_EQ(bytes[79], 0);
  EXPECT_EQ(bytes[80], 0x11);
  UnlockAudioBuffer(b);
  // More than the buffer is cut to its size; an offset outside it fails.
  ASSERT_TRUE(LockAudioBuffer(b, 40, 1000, &p1, &n1, &p2, &n2));
  EXPECT_EQ(n1 + n2, 100u);
  UnlockAudioBuffer(b);
  EXPECT_FALSE(LockAudioBuffer(b, 100, 4, &p1, &n1, &p2, &n2));
  // The lock was released each time: mixing goes on.
  PlayAudioBuffer(b, false);
  EXPECT_EQ(Mix(1).size(), 2u);
}

TEST_F(Mixer, DuplicatesShareSamplesButNotState) {
  AudioBuffer* a = Mono16(std::vector<int16_t>(100, 1000));
  AudioBuffer* d = DuplicateAudioBuffer(a);
  ASSERT_NE(d, nullptr);
  Write(a, 0, std::vector<uint8_t>(200, 0));  // through the original...
  Write(a, 0, {0xD0, 0x07, 0xD0, 0x07});      // 2000, 2000
  SetAudioBufferVolume(a, -10000);
  SetAudioBufferPan(d, 10000);
  PlayAudioBuffer(d, false);
  std::vector<int16_t> out = Mix(1);
  EXPECT_EQ(out[0], 0);     // ... heard through the duplicate, panned right
  EXPECT_EQ(out[1], 2000);
  EXPECT_EQ(GetAudioBufferPosition(a), 0u);
  EXPECT_EQ(GetAudioBufferPosition(d), 2u);
  EXPECT_EQ(GetAudioBufferStatus(a), 0u);
  EXPECT_EQ(GetAudioBufferVolume(d), 0);
  // The samples outlive the original.
  ReleaseAudioBuffer(a);
  EXPECT_EQ(Mix(1)[1], 2000);
  EXPECT_EQ(GetAudioBufferSize(d), 200u);
}

TEST_F(Mixer, PlayCursorStopLoopAndEnd) {
  AudioBuffer* b = Mono16({1, 2, 3, 4, 5, 6, 7, 8});
  PlayAudioBuffer(b, false);
  EXPECT_EQ(GetAudioBufferStatus(b), kAudioPlaying);
  Mix(3);
  StopAudioBuffer(b);
  EXPECT_EQ(GetAudioBufferPosition(b), 6u);  // stop keeps the position
  EXPECT_EQ(Mix(2)[0], 0);
  PlayAudioBuffer(b, false);                 // and play goes on from it
  std::vector<int16_t> out = Mix(6);
  EXPECT_EQ(out[0], 4);
  EXPECT_EQ(out[8], 8);
  EXPECT_EQ(out[10], 0);
  // A buffer that does not loop stops at its end, back at position 0.
  EXPECT_EQ(GetAudioBufferStatus(b), 0u);
  EXPECT_EQ(GetAudioBufferPosition(b), 0u);
  // Looping wraps to the start and keeps playing.
  SetAudioBufferPosition(b, 12);
  PlayAudioBuffer(b, true);
  EXPECT_EQ(GetAudioBufferStatus(b), kAudioPlaying | kAudioLooping);
  out = Mix(4);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[2], 8);
  EXPECT_EQ(out[4], 1);
  EXPECT_EQ(out[6], 2);
  EXPECT_EQ(GetAudioBufferPosition(b), 4u);
  // A position past the end is held at the last frame.
  SetAudioBufferPosition(b, 1000);
  EXPECT_EQ(GetAudioBufferPosition(b), 14u);
  // Releasing a playing buffer takes it out of the mix.
  ReleaseAudioBuffer(b);
  EXPECT_EQ(Mix(1)[0], 0);
}

TEST(AudioDevice, SystemDriverPlaysHeadless) {
  const char* error = nullptr;
  AudioDevice* d = CreateAudioDevice(AudioDriver::System, &error);
  ASSERT_NE(d, nullptr) << (error ? error : "");
  ASSERT_TRUE(SetAudioOutputFormat(d, Format(2, 44100, 16)));
  EXPECT_EQ(GetAudioOutputFormat(d).sampleRate, 44100);
  AudioBuffer* b = CreateAudioBuffer(d, Format(1, 22050, 16), 44100);
  ASSERT_TRUE(PlayAudioBuffer(b, true));
  // SDL's thread mixes on its own: the cursor moves within a few blocks.
  bool moved = false;
  for (int i = 0; i < 200 && !moved; i++) {
    SleepMs(10);
    moved = GetAudioBufferPosition(b) != 0;
  }
  EXPECT_TRUE(moved);
  // The null driver's clock does nothing here.
  AdvanceAudioClock(d, 100);
  EXPECT_TRUE(TakeCapturedAudio(d).empty());
  DestroyAudioDevice(d);
}

TEST(SharedLibrary, LoadsTheDecoderAndReportsMissingOnes) {
  const char* error = nullptr;
  EXPECT_EQ(LoadSharedLibrary("libtkw4-no-such-library.so", &error), nullptr);
  EXPECT_NE(error, nullptr);
  SharedLibrary* lib = LoadSharedLibrary("libvorbisfile.so.3");
  ASSERT_NE(lib, nullptr);
  EXPECT_NE(FindLibrarySymbol(lib, "ov_read"), nullptr);
  EXPECT_EQ(FindLibrarySymbol(lib, "tkw4_no_such_symbol"), nullptr);
  FreeSharedLibrary(lib);
  FreeSharedLibrary(nullptr);
}

}  // namespace
