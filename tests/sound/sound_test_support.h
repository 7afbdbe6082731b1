// sound_test_support.h -- sound files made in memory and a sound system on
// the null driver, for the sound tests.
#pragma once

#include <gtest/gtest.h>
#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "sound/sound_local.h"
#include "test_support.h"

namespace soundtest {

inline void Put32(std::string& b, uint32_t v) {
  for (int i = 0; i < 4; i++) b += char((v >> (8 * i)) & 0xFF);
}
inline void Put16(std::string& b, uint16_t v) {
  b += char(v & 0xFF);
  b += char(v >> 8);
}

// Little-endian 16-bit samples as bytes.
inline std::string Pcm16(const std::vector<int16_t>& samples) {
  std::string b;
  for (int16_t s : samples) Put16(b, uint16_t(s));
  return b;
}

struct WavSpec {
  int channels = 1;
  int rate = 44100;
  int bits = 16;
  int blockAlign = -1;  // -1: channels x bits / 8
  int avg = -1;         // -1: rate x block align
  std::string between;  // whole chunks between "fmt " and "data"
  int64_t dataSize = -1;  // -1: the payload's size
  uint16_t tag = 1;       // format tag; 0xFFFE writes the extensible chunk
  uint16_t subFormat = 1;  // extensible: the tag in the sub-format identifier
};

// The sub-format identifier of an extensible chunk: the tag, then the
// fixed tail every standard one shares.
inline std::string SubFormat(uint16_t tag) {
  std::string b;
  Put16(b, tag);
  return b + std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
}

inline WavSpec Format(int channels, int rate, int bits) {
  WavSpec w;
  w.channels = channels;
  w.rate = rate;
  w.bits = bits;
  return w;
}
inline WavSpec Between(const std::string& chunks) {
  WavSpec w;
  w.between = chunks;
  return w;
}

// A RIFF WAVE file around `payload`.
inline std::string Wav(const std::string& payload, const WavSpec& w = {}) {
  int block = w.blockAlign >= 0 ? w.blockAlign : w.channels * w.bits / 8;
  int avg = w.avg >= 0 ? w.avg : w.rate * block;
  bool extensible = w.tag == 0xFFFE;
  std::string b = "RIFF";
  Put32(b, uint32_t((extensible ? 60 : 36) + w.between.size() + payload.size()));
  b += "WAVEfmt ";
  Put32(b, extensible ? 40 : 16);
  Put16(b, w.tag);
  Put16(b, uint16_t(w.channels));
  Put32(b, uint32_t(w.rate));
  Put32(b, uint32_t(avg));
  Put16(b, uint16_t(block));
  Put16(b, uint16_t(w.bits));
  if (extensible) {
    Put16(b, 22);                                 // bytes that follow
    Put16(b, uint16_t(w.bits));                   // valid bits
    Put32(b, w.channels == 2 ? 3 : 4);            // speakers: front pair, or centre
    b += SubFormat(w.subFormat);
  }
  b += w.between;
  b += "data";
  Put32(b, uint32_t(w.dataSize >= 0 ? w.dataSize : int64_t(payload.size())));
  return b + payload;
}

inline std::string Chunk(const char* tag, const std::string& body) {
  std::string b = tag;
  Put32(b, uint32_t(body.size()));
  return b + body;
}

// A "rad " file: full header when `rate` is given, else the short one.
inline std::string Rad(const std::string& codes, uint32_t channelsWord, uint32_t rateWord, int64_t count = -1) {
  std::string b = "rad ";
  Put32(b, uint32_t(count >= 0 ? count : int64_t(codes.size())));
  Put32(b, channelsWord);
  Put32(b, rateWord);
  return b + codes;
}

// Mono 16-bit samples whose value tells their index: sample i = i mod 32749
// minus 16000, so any stretch of output names where in the data it came from.
inline int16_t Marker(uint32_t i) { return int16_t(int32_t(i % 32749u) - 16000); }
inline std::vector<int16_t> Markers(uint32_t count) {
  std::vector<int16_t> v(count);
  for (uint32_t i = 0; i < count; i++) v[i] = Marker(i);
  return v;
}

// A sine of `hz` at `amplitude`, interleaved over `channels`.
inline std::vector<int16_t> Sine(uint32_t frames, int channels, int rate, double hz, double amplitude = 12000) {
  std::vector<int16_t> v(size_t(frames) * channels);
  for (uint32_t i = 0; i < frames; i++)
    for (int c = 0; c < channels; c++)
      v[size_t(i) * channels + c] = int16_t(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
  return v;
}

// Ogg Vorbis bytes of interleaved 16-bit samples.
inline std::string EncodeOgg(const std::vector<int16_t>& samples, int channels, int rate) {
  std::string out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  EXPECT_EQ(vorbis_encode_init_vbr(&vi, channels, rate, 0.3f), 0);
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 7);
  ogg_packet h1, h2, h3;
  vorbis_analysis_headerout(&vd, &vc, &h1, &h2, &h3);
  ogg_stream_packetin(&os, &h1);
  ogg_stream_packetin(&os, &h2);
  ogg_stream_packetin(&os, &h3);
  ogg_page og;
  auto page = [&] {
    out.append(reinterpret_cast<const char*>(og.header), size_t(og.header_len));
    out.append(reinterpret_cast<const char*>(og.body), size_t(og.body_len));
  };
  while (ogg_stream_flush(&os, &og)) page();
  size_t frames = samples.size() / size_t(channels);
  size_t done = 0;
  auto drain = [&] {
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og)) page();
      }
    }
  };
  while (done < frames) {
    int n = int(std::min<size_t>(1024, frames - done));
    float** buffer = vorbis_analysis_buffer(&vd, n);
    for (int i = 0; i < n; i++)
      for (int c = 0; c < channels; c++) buffer[c][i] = samples[(done + i) * channels + c] / 32768.0f;
    vorbis_analysis_wrote(&vd, n);
    done += size_t(n);
    drain();
  }
  vorbis_analysis_wrote(&vd, 0);
  drain();
  while (ogg_stream_flush(&os, &og)) page();
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

// The texts of the log's lines (time stamps and line ends removed).
inline std::vector<std::string> LogLines(const std::string& path = "system.log") {
  std::string log = test::ReadFile(path);
  std::vector<std::string> lines;
  for (size_t pos = 0; pos < log.size();) {
    size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(pos, end - pos);
    if (line.size() >= 13 && line[12] == '|') line = line.substr(13);
    lines.push_back(line);
    pos = end + 2;
  }
  return lines;
}

inline bool LogHas(const std::string& utf8) {
  std::string want = test::Sjis(utf8);
  for (const std::string& line : LogLines())
    if (line.find(want) != std::string::npos) return true;
  return false;
}

// The open file descriptors of the process.
inline int OpenFileCount() {
  int n = 0;
  for (auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)e;
    n++;
  }
  return n;
}

// A sound system on the null driver in a fresh working folder, with its log
// and file layer. Frames() runs the audio clock and the frame tick together
// as the game would at 60 frames a second.
class SoundFixture : public ::testing::Test {
 protected:
  SoundFixture() {
    files.log = &log;
    sound.log = &log;
    sound.packages = &files;
    sound.driver = platform::AudioDriver::Null;
  }
  void SetUp() override { ASSERT_EQ(sound.InitDirectSound(nullptr), 0); }

  platform::AudioDevice* Device() { return sound.Device(); }

  // Mixes `count` frames of 735 output frames (1/60 s), each followed by
  // the frame tick, and returns the captured output (stereo).
  std::vector<int16_t> Frames(int count, uint32_t perFrame = 735) {
    for (int i = 0; i < count; i++) {
      platform::AdvanceAudioClock(Device(), perFrame);
      sound.UpdateSoundFades();
    }
    return platform::TakeCapturedAudio(Device());
  }

  // Volume of a copy's buffer as the device holds it.
  int Volume(int slot, int copy) { return platform::GetAudioBufferVolume(sound.Slot(slot).copies[size_t(copy)].buffer); }

  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  core::FilePackageTable files;
  sound::SoundSystem sound;
};

}  // namespace soundtest
