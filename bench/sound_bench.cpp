// sound_bench.cpp -- the mixer's cost: 64 playing copies with volume,
// pan and resampling, mixed into 44100 Hz stereo on the null driver.
//
// Each iteration mixes one second of output, so the time per iteration is
// the share of one core the mixer takes (10 ms = 1%).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/platform_public.h"

namespace {

platform::PcmFormat Format(int channels, int rate, int bits) { return platform::PcmFormatOf(channels, rate, bits); }

// 16 sounds of four kinds, 4 copies each: 64 looping copies, every one with
// its own volume, pan and frequency, so every copy is resampled.
void MixSixtyFourCopies(benchmark::State& state) {
  platform::AudioDevice* device = platform::CreateAudioDevice(platform::AudioDriver::Null);
  platform::SetAudioOutputFormat(device, Format(2, 44100, 16));
  const platform::PcmFormat kinds[] = {Format(1, 22050, 16), Format(2, 44100, 16), Format(1, 11025, 8),
                                       Format(2, 32000, 16)};
  std::vector<platform::AudioBuffer*> buffers;
  uint32_t seed = 1;
  for (int sound = 0; sound < 16; sound++) {
    const platform::PcmFormat& f = kinds[sound % 4];
    uint32_t bytes = uint32_t(f.avgBytesPerSec) * 2 / 3;  // 0.67 s, looping
    platform::AudioBuffer* b = platform::CreateAudioBuffer(device, f, bytes);
    void *p1, *p2;
    uint32_t n1, n2;
    platform::LockAudioBuffer(b, 0, bytes, &p1, &n1, &p2, &n2);
    auto* data = static_cast<uint8_t*>(p1);
    for (uint32_t i = 0; i < n1; i++) {
      seed = seed * 1664525u + 1013904223u;
      data[i] = uint8_t(seed >> 24);
    }
    platform::UnlockAudioBuffer(b);
    for (int copy = 0; copy < 4; copy++) {
      platform::AudioBuffer* c = copy == 0 ? b : platform::DuplicateAudioBuffer(b);
      platform::SetAudioBufferVolume(c, -300 * copy - 100 * (sound % 5));
      platform::SetAudioBufferPan(c, (sound * 1300 + copy * 2100) % 20001 - 10000);
      platform::SetAudioBufferFrequency(c, uint32_t(f.sampleRate) * (97 + 2 * copy + sound % 3) / 100);
      platform::SetAudioBufferPosition(c, uint32_t(copy * 1000 * f.blockAlign));
      platform::PlayAudioBuffer(c, true);
      buffers.push_back(c);
    }
  }
  std::vector<int16_t> out(44100 * 2);
  for (auto _ : state) {
    // One second of output, in the blocks SDL asks for.
    for (int block = 0; block < 44100; block += 1024) {
      uint32_t n = uint32_t(std::min(1024, 44100 - block));
      platform::MixAudio(device, out.data() + 2 * block, n);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["copies"] = double(buffers.size());
  platform::DestroyAudioDevice(device);
}
BENCHMARK(MixSixtyFourCopies)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
