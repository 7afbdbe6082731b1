// sound_formats_test.cpp -- the WAV and "rad " headers, the delta table and
// decoder, effects loaded whole (Ogg Vorbis included) and file lengths.

#include "sound_test_support.h"

namespace {

using namespace soundtest;

sound::SoundHeader Parse(const std::string& bytes, uint32_t available = 0xFFFFFFFF) {
  sound::SoundHeader h;
  h.dataSize = 0xDEAD;
  uint32_t size = uint32_t(bytes.size());
  bool ok = sound::ParseSoundHeader(&h, reinterpret_cast<const uint8_t*>(bytes.data()), std::min(available, size), size);
  if (!ok) h.dataSize = 0xDEAD;  // marks a refusal
  return h;
}

TEST(DeltaTable, HasItsValues) {
  int32_t table[256];
  sound::BuildDeltaTable(table);
  const struct {
    int code;
    int32_t value;
  } cases[] = {{127, -1}, {128, 0}, {129, 1}, {130, 2}, {140, 13}, {160, 46},
               {192, 314}, {224, 4076}, {255, 58002}, {0, -58003}};
  for (auto c : cases) EXPECT_EQ(table[c.code], c.value) << "code " << c.code;
  // The table mirrors: code 127 - i steps down as far as 128 + i steps up.
  for (int i = 0; i < 128; i++) ASSERT_EQ(table[127 - i], -1 - table[128 + i]);
  for (int i = 129; i < 256; i++) ASSERT_GT(table[i], table[i - 1]);
}

TEST(DeltaDecoding, FirstCodeStartsEachChannelAndTheSumWrapsToSixteenBits) {
  int32_t table[256];
  sound::BuildDeltaTable(table);
  {
    const uint8_t codes[] = {200, 128, 128, 128};
    uint32_t sums[2] = {};
    int16_t out[4];
    sound::DecodeDelta(table, codes, 4, 1, 0, sums, out);
    for (int16_t s : out) EXPECT_EQ(s, 18432);
  }
  {
    // Stereo alternates: left starts at 0, right at -32768; then steps.
    const uint8_t codes[] = {128, 0, 160, 128, 127, 129};
    uint32_t sums[2] = {};
    int16_t out[6];
    sound::DecodeDelta(table, codes, 6, 2, 0, sums, out);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], -32768);
    EXPECT_EQ(out[2], 46);
    EXPECT_EQ(out[3], -32768);
    EXPECT_EQ(out[4], 45);
    EXPECT_EQ(out[5], -32767);
  }
  {
    // Two big steps up from 32512 run past 16 bits: the sample is the low
    // 16 bits of the running sum, whatever its size.
    const uint8_t codes[] = {255, 255, 255};
    uint32_t sums[2] = {};
    int16_t out[3];
    sound::DecodeDelta(table, codes, 3, 1, 0, sums, out);
    EXPECT_EQ(out[0], 32512);
    EXPECT_EQ(out[1], int16_t(uint16_t((32512 + 58002) & 0xFFFF)));
    EXPECT_EQ(out[2], int16_t(uint16_t((32512 + 2 * 58002) & 0xFFFF)));
  }
  {
    // The sum is never cut back: a long climb runs far past 32 bits of
    // steps' worth and still gives the low 16 bits.
    std::vector<uint8_t> codes(100000, 255);
    std::vector<int16_t> out(codes.size());
    uint32_t sums[2] = {};
    sound::DecodeDelta(table, codes.data(), uint32_t(codes.size()), 1, 0, sums, out.data());
    uint64_t sum = 32512 + uint64_t(99999) * 58002;
    EXPECT_EQ(out.back(), int16_t(uint16_t(sum & 0xFFFF)));
  }
  {
    // Decoding in pieces gives what decoding at once gives.
    std::string codes;
    for (int i = 0; i < 999; i++) codes += char((i * 37 + 11) & 0xFF);
    auto* c = reinterpret_cast<const uint8_t*>(codes.data());
    std::vector<int16_t> whole(999), pieces(999);
    uint32_t sums[2] = {};
    sound::DecodeDelta(table, c, 999, 2, 0, sums, whole.data());
    uint32_t sums2[2] = {};
    sound::DecodeDelta(table, c, 1, 2, 0, sums2, pieces.data());
    sound::DecodeDelta(table, c + 1, 500, 2, 1, sums2, pieces.data() + 1);
    sound::DecodeDelta(table, c + 501, 498, 2, 501, sums2, pieces.data() + 501);
    EXPECT_EQ(whole, pieces);
  }
}

TEST(SoundHeader, DeltaCodedHeaders) {
  std::string codes(100, char(128));
  {
    sound::SoundHeader h = Parse(Rad(codes, 1, 22050));
    EXPECT_TRUE(h.delta);
    EXPECT_EQ(h.format.sampleRate, 22050);
    EXPECT_EQ(h.format.channels, 1);
    EXPECT_EQ(h.format.bitsPerSample, 16);
    EXPECT_EQ(h.format.blockAlign, 2);
    EXPECT_EQ(h.format.avgBytesPerSec, 44100);
    EXPECT_EQ(h.dataOffset, 16u);
    EXPECT_EQ(h.dataSize, 100u);
  }
  {
    // Not one of the five rates: the short header, 44100 Hz stereo, codes
    // from offset 8 (the two words become codes).
    sound::SoundHeader h = Parse(Rad(codes, 1, 12345));
    EXPECT_EQ(h.format.sampleRate, 44100);
    EXPECT_EQ(h.format.channels, 2);
    EXPECT_EQ(h.dataOffset, 8u);
    EXPECT_EQ(h.dataSize, 100u);
  }
  // The channel word counts by its low 16 bits.
  EXPECT_EQ(Parse(Rad(codes, 0x00050002, 8000)).format.channels, 2);
  // A count past the end is cut to the codes present.
  EXPECT_EQ(Parse(Rad(codes, 1, 11025, 5000)).dataSize, 100u);
  EXPECT_EQ(Parse(Rad(codes, 2, 16000, 0xFFFFFFFF)).dataSize, 100u);
  // No channels, or more than the two the decoder keeps sums for: refused.
  EXPECT_EQ(Parse(Rad(codes, 0, 22050)).dataSize, 0xDEADu);
  EXPECT_EQ(Parse(Rad(codes, 3, 22050)).dataSize, 0xDEADu);
  EXPECT_EQ(Parse(std::string("rad \x04\0\0", 7)).dataSize, 0xDEADu);
}

TEST(SoundHeader, WaveChunkRules) {
  std::string pcm(400, '\x01');
  const struct {
    const char* what;
    std::string between;
    bool ok;
  } cases[] = {
      {"nothing", "", true},
      {"fact", Chunk("fact", "\x10\0\0\0"), true},
      {"cue", Chunk("cue ", std::string(28, '\0')), true},
      {"fact then cue", Chunk("fact", "abcd") + Chunk("cue ", "x"), true},
      {"cue then fact", Chunk("cue ", "x") + Chunk("fact", "abcd"), false},
      {"LIST", Chunk("LIST", "INFOISFT\x04\0\0\0abc\0"), false},
      {"fact then LIST", Chunk("fact", "abcd") + Chunk("LIST", "x"), false},
      {"junk", Chunk("JUNK", std::string(10, '\0')), false},
  };
  for (const auto& c : cases) {
    WavSpec spec;
    spec.between = c.between;
    sound::SoundHeader h = Parse(Wav(pcm, spec));
    if (c.ok) {
      EXPECT_EQ(h.dataSize, 400u) << c.what;
      EXPECT_EQ(h.dataOffset, 44u + c.between.size()) << c.what;
      EXPECT_FALSE(h.delta);
    } else {
      EXPECT_EQ(h.dataSize, 0xDEADu) << c.what;
    }
  }
}

TEST(SoundHeader, WaveFieldsAndBrokenHeaders) {
  std::string pcm(400, '\x01');
  {
    WavSpec s;
    s.channels = 2;
    s.rate = 22050;
    s.bits = 8;
    sound::SoundHeader h = Parse(Wav(pcm, s));
    EXPECT_EQ(h.format.channels, 2);
    EXPECT_EQ(h.format.sampleRate, 22050);
    EXPECT_EQ(h.format.bitsPerSample, 8);
    EXPECT_EQ(h.format.blockAlign, 2);
    EXPECT_EQ(h.format.avgBytesPerSec, 44100);
  }
  {
    // A data size beyond the file is cut to the bytes present.
    WavSpec s;
    s.dataSize = 1000000;
    EXPECT_EQ(Parse(Wav(pcm, s)).dataSize, 400u);
    s.dataSize = 0xFFFFFFF0;
    EXPECT_EQ(Parse(Wav(pcm, s)).dataSize, 400u);
  }
  {
    WavSpec s;
    s.channels = 0;
    EXPECT_EQ(Parse(Wav(pcm, s)).dataSize, 0xDEADu);
    s = WavSpec{};
    s.blockAlign = 0;
    EXPECT_EQ(Parse(Wav(pcm, s)).dataSize, 0xDEADu);
  }
  std::string good = Wav(pcm);
  // Every cut of the header itself is refused; the header only needs to lie
  // within the bytes given, the data may lie beyond.
  for (uint32_t n = 0; n < 44; n++) ASSERT_EQ(Parse(good, n).dataSize, 0xDEADu) << n;
  EXPECT_EQ(Parse(good, 44).dataSize, 400u);
  std::string notFmt = good;
  notFmt[12] = 'X';
  EXPECT_EQ(Parse(notFmt).dataSize, 0xDEADu);
  std::string noWave = good;
  noWave[8] = 'X';
  EXPECT_EQ(Parse(noWave).dataSize, 0xDEADu);
  // A format chunk whose size points far away finds no data chunk.
  std::string hugeFmt = good;
  hugeFmt[16] = '\xF0';
  hugeFmt[19] = '\x7F';
  EXPECT_EQ(Parse(hugeFmt).dataSize, 0xDEADu);
}

// Only integer samples are copied as they are: float, compressed and
// unknown formats (whose bits would play as noise) are refused, in the plain
// chunk and in the extensible one alike.
TEST(SoundHeader, OnlyIntegerPcmIsRead) {
  std::string pcm(400, '\x01');
  auto spec = [](uint16_t tag, uint16_t subFormat, int bits) {
    WavSpec w = Format(2, 44100, bits);
    w.tag = tag;
    w.subFormat = subFormat;
    return w;
  };
  const struct {
    const char* what;
    WavSpec spec;
    bool ok;
  } cases[] = {
      {"PCM", spec(1, 0, 16), true},
      {"extensible PCM", spec(0xFFFE, 1, 16), true},
      {"extensible PCM of 24 bits", spec(0xFFFE, 1, 24), true},
      {"float", spec(3, 0, 32), false},
      {"extensible float", spec(0xFFFE, 3, 32), false},
      {"ADPCM", spec(2, 0, 4), false},
      {"extensible ADPCM", spec(0xFFFE, 2, 4), false},
      {"A-law", spec(6, 0, 8), false},
      {"unknown tag 0", spec(0, 0, 16), false},
      {"the PCM tag in the high byte", spec(0x0100, 0, 16), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sound::SoundHeader h = Parse(Wav(pcm, c.spec));
    if (c.ok) {
      EXPECT_EQ(h.dataSize, 400u);
      EXPECT_EQ(h.dataOffset, c.spec.tag == 0xFFFE ? 68u : 44u);
      EXPECT_EQ(h.format.channels, 2);
      EXPECT_EQ(h.format.bitsPerSample, c.spec.bits);
    } else {
      EXPECT_EQ(h.dataSize, 0xDEADu);
    }
  }
  // An extensible tag whose chunk is too short to hold the sub-format, or
  // whose identifier differs from PCM's past the tag, is refused.
  std::string ext = Wav(pcm, spec(0xFFFE, 1, 16));
  std::string shortChunk = ext;
  shortChunk[16] = 16;
  EXPECT_EQ(Parse(shortChunk).dataSize, 0xDEADu);
  std::string otherGuid = ext;
  otherGuid[59] ^= 1;
  EXPECT_EQ(Parse(otherGuid).dataSize, 0xDEADu);
  for (uint32_t n = 0; n < 68; n++) ASSERT_EQ(Parse(ext, n).dataSize, 0xDEADu) << n;
}

// ----------------------------------------------------------------------------
// Effects loaded whole
// ----------------------------------------------------------------------------

using EffectLoad = SoundFixture;

TEST_F(EffectLoad, WaveAndDeltaFilesBecomeTheirSamples) {
  test::WriteFile("a.wav", Wav(Pcm16({100, -200, 300})));
  ASSERT_EQ(sound.LoadSoundEffect(3, "a.wav", 2, 0), 0);
  EXPECT_EQ(sound.Slot(3).kind, sound::kKindWav);
  EXPECT_EQ(sound.Slot(3).copyCount, 2);
  EXPECT_EQ(sound.Slot(3).dataBytes, 6u);

  test::WriteFile("b.rad", Rad(std::string("\xC8\x80\x80\x80", 4), 1, 22050));
  ASSERT_EQ(sound.LoadSoundEffect(4, "B.RAD", 1, 0), 0);  // names match without case
  EXPECT_EQ(sound.Slot(4).kind, sound::kKindDelta);
  EXPECT_EQ(sound.Slot(4).format.sampleRate, 22050);
  EXPECT_EQ(sound.Slot(4).dataBytes, 8u);

  // What plays is the decoded sample: 22050 Hz played at 44100 doubles each
  // sample (with the step between), at full volume.
  ASSERT_EQ(sound.PlaySoundSlot(4, 0, 0, 0, 0), 0);
  platform::AdvanceAudioClock(Device(), 10);
  std::vector<int16_t> out = platform::TakeCapturedAudio(Device());
  ASSERT_EQ(out.size(), 20u);
  for (int i = 0; i < 8; i++) EXPECT_EQ(out[size_t(2 * i)], 18432) << i;
  EXPECT_EQ(out[16], 0);  // ended after its 4 samples
  EXPECT_EQ(sound.GetSoundStatus(4, 0), sound::kStatusExists);
}

TEST_F(EffectLoad, RefusalsLeaveTheSlotEmptyAndSayWhy) {
  test::WriteFile("list.wav", Wav(Pcm16({1, 2}), Between(Chunk("LIST", "abcd"))));
  test::WriteFile("empty.wav", "");
  test::WriteFile("text.wav", "this is not a sound file at all, but long enough to be read");
  test::WriteFile("zero.wav", Wav("", WavSpec{}));
  test::WriteFile("bits12.wav", Wav(Pcm16({1, 2}), Format(1, 44100, 12)));

  ASSERT_EQ(sound.LoadSoundEffect(1, "list.wav", 1, 0), 1);
  EXPECT_TRUE(LogHas("[list.wav]は有効なPCMファイルではありません。"));
  EXPECT_EQ(sound.LoadSoundEffect(1, "missing.wav", 1, 0), -1);
  EXPECT_TRUE(LogHas("音声ファイル\"missing.wav\"のオープンに失敗しました。"));
  EXPECT_EQ(sound.LoadSoundEffect(1, "empty.wav", 1, 0), -1);
  EXPECT_EQ(sound.LoadSoundEffect(1, "text.wav", 1, 0), 1);
  EXPECT_EQ(sound.LoadSoundEffect(1, "zero.wav", 1, 0), 1);
  EXPECT_EQ(sound.LoadSoundEffect(1, "bits12.wav", 1, 0), 1);
  EXPECT_TRUE(LogHas("DirectSoundBufferの作成に失敗"));
  EXPECT_EQ(sound.GetSoundStatus(1, -1), 0);
  EXPECT_EQ(sound.PlaySoundSlot(1, 0, 0, 0, 0), sound::kPlayEmptySlot);
  EXPECT_EQ(sound.FreeSoundSlot(1), -1);

  // A failed load empties what the slot held before.
  test::WriteFile("ok.wav", Wav(Pcm16({1, 2})));
  ASSERT_EQ(sound.LoadSoundEffect(1, "ok.wav", 1, 0), 0);
  EXPECT_EQ(sound.LoadSoundEffect(1, "list.wav", 1, 0), 1);
  EXPECT_EQ(sound.Slot(1).loaded, 0);
  // Slots out of range.
  EXPECT_EQ(sound.LoadSoundEffect(256, "ok.wav", 1, 0), 1);
  EXPECT_EQ(sound.LoadSoundEffect(-1, "ok.wav", 1, 0), 1);
}

TEST_F(EffectLoad, FloatAndCompressedWavesAreRefusedEverywhere) {
  WavSpec floats = Format(1, 44100, 32), extFloat = floats, adpcm = Format(1, 44100, 4), extPcm = Format(2, 22050, 16);
  floats.tag = 3;
  extFloat.tag = 0xFFFE;
  extFloat.subFormat = 3;
  adpcm.tag = 2;
  adpcm.blockAlign = 36;
  extPcm.tag = 0xFFFE;
  // One second of each (the float one of 0.5, whose bits as integers would
  // be loud noise).
  std::string half;
  for (int i = 0; i < 44100; i++) Put32(half, 0x3F000000);
  test::WriteFile("float.wav", Wav(half, floats));
  test::WriteFile("extfloat.wav", Wav(half, extFloat));
  test::WriteFile("adpcm.wav", Wav(std::string(22050, '\x11'), adpcm));
  test::WriteFile("extpcm.wav", Wav(Pcm16(std::vector<int16_t>(44100, 1000)), extPcm));

  for (const char* name : {"float.wav", "extfloat.wav", "adpcm.wav"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(sound.LoadSoundEffect(2, name, 1, 0), 1);
    EXPECT_EQ(sound.Slot(2).loaded, 0);
    EXPECT_TRUE(LogHas(std::string("[") + name + "]は有効なPCMファイルではありません。"));
    EXPECT_EQ(sound.OpenSoundStream(sound::kMusicSlot, name, 0), 1);
    EXPECT_EQ(sound.Slot(sound::kMusicSlot).loaded, 0);
    EXPECT_EQ(sound.GetSoundFileLength(name), 0);
  }

  ASSERT_EQ(sound.LoadSoundEffect(2, "extpcm.wav", 1, 0), 0);
  EXPECT_EQ(sound.Slot(2).format.channels, 2);
  EXPECT_EQ(sound.Slot(2).format.sampleRate, 22050);
  EXPECT_EQ(sound.Slot(2).dataBytes, 88200u);
  EXPECT_EQ(sound.GetSoundFileLength("extpcm.wav"), 1000);
  EXPECT_EQ(sound.OpenSoundStream(sound::kMusicSlot, "extpcm.wav", 0), 0);
}

TEST_F(EffectLoad, CopiesAreClampedAndShareTheSamples) {
  test::WriteFile("a.wav", Wav(Pcm16({5000, 5000, 5000, 5000})));
  ASSERT_EQ(sound.LoadSoundEffect(2, "a.wav", 0, 0), 0);
  EXPECT_EQ(sound.Slot(2).copyCount, 1);
  ASSERT_EQ(sound.LoadSoundEffect(2, "a.wav", 1000, 0), 0);
  EXPECT_EQ(sound.Slot(2).copyCount, 256);
  // Two copies at once sum in the output.
  EXPECT_EQ(sound.PlaySoundSlot(2, 0, 0, 0, 0), 0);
  EXPECT_EQ(sound.PlaySoundSlot(2, 0, 0, 0, 0), 1);
  platform::AdvanceAudioClock(Device(), 2);
  std::vector<int16_t> out = platform::TakeCapturedAudio(Device());
  EXPECT_EQ(out[0], 10000);
  EXPECT_EQ(out[1], 10000);
}

TEST_F(EffectLoad, OggVorbisIsDecodedWhole) {
  std::vector<int16_t> pcm = Sine(22050, 2, 22050, 441.0);
  test::WriteFile("tone.ogg", EncodeOgg(pcm, 2, 22050));
  ASSERT_EQ(sound.LoadSoundEffect(9, "tone.ogg", 3, 0), 0);
  EXPECT_TRUE(LogHas("Oggファイル読み込み成功"));
  const sound::SoundSlot& s = sound.Slot(9);
  EXPECT_EQ(s.kind, sound::kKindOgg);
  EXPECT_EQ(s.format.channels, 2);
  EXPECT_EQ(s.format.sampleRate, 22050);
  EXPECT_EQ(s.format.bitsPerSample, 16);
  EXPECT_EQ(s.dataBytes, 22050u * 4);  // exactly the frames encoded
  EXPECT_EQ(s.copyCount, 3);
  EXPECT_EQ(sound.GetSoundFileLength("tone.ogg"), 1000);

  // It sounds like the sine: a lossy copy, but close.
  ASSERT_EQ(sound.PlaySoundSlot(9, 0, 0, 0, 0), 0);
  platform::AdvanceAudioClock(Device(), 44100);
  std::vector<int16_t> out = platform::TakeCapturedAudio(Device());
  double error = 0, energy = 0;
  for (size_t i = 2000; i < 40000; i++) {
    double want = 12000 * std::sin(2 * M_PI * 441.0 * double(i) / 44100.0);
    error += (out[2 * i] - want) * (out[2 * i] - want);
    energy += want * want;
  }
  EXPECT_LT(error / energy, 0.05);
}

// Sets the checksum of the first Ogg page after its bytes were changed.
void ResealFirstPage(std::string* bytes) {
  auto* p = reinterpret_cast<unsigned char*>(bytes->data());
  ogg_page page;
  page.header = p;
  page.header_len = 27 + p[26];
  long body = 0;
  for (int i = 0; i < p[26]; i++) body += p[27 + i];
  page.body = p + page.header_len;
  page.body_len = body;
  ogg_page_checksum_set(&page);
}

TEST_F(EffectLoad, RefusedOggFilesAreLoggedAndClosed) {
  std::string ogg = EncodeOgg(Sine(4000, 1, 8000, 300.0), 1, 8000);
  std::string broken = ogg.substr(0, 60);  // "OggS" and a cut first page
  test::WriteFile("broken.ogg", broken);
  std::string notVorbis = ogg;
  notVorbis[29] = 'X';  // the identification packet's "vorbis" tag...
  ResealFirstPage(&notVorbis);  // ... in a page that is still whole
  test::WriteFile("notvorbis.ogg", notVorbis);
  int files = OpenFileCount();

  int answer = sound.LoadSoundEffect(5, "broken.ogg", 1, 0);
  EXPECT_LT(answer, 0);
  EXPECT_EQ(sound.Slot(5).loaded, 0);
  EXPECT_EQ(sound.LoadSoundEffect(5, "notvorbis.ogg", 1, 0), sound::kOggNotVorbis);
  EXPECT_TRUE(LogHas("OggファイルにVorbisデータが含まれていない"));
  EXPECT_EQ(OpenFileCount(), files);  // the refused files were closed
  EXPECT_EQ(sound.GetSoundFileLength("broken.ogg"), 0);
  EXPECT_EQ(OpenFileCount(), files);

  // Without the decoder's library, Ogg files are refused with its answer.
  test::WriteFile("tone.ogg", ogg);
  EXPECT_FALSE(sound.BindOggVorbis("libtkw4-no-such-library.so"));
  EXPECT_EQ(sound.LoadSoundEffect(5, "tone.ogg", 1, 0), sound::kOggFalse);
  EXPECT_TRUE(LogHas("Oggファイル読み込み失敗"));
  EXPECT_EQ(sound.GetSoundFileLength("tone.ogg"), 0);
  EXPECT_EQ(OpenFileCount(), files);
  EXPECT_TRUE(sound.BindOggVorbis(sound::kVorbisFileLibrary));
  EXPECT_EQ(sound.LoadSoundEffect(5, "tone.ogg", 1, 0), 0);
}

TEST_F(EffectLoad, FileLengthInMilliseconds) {
  test::WriteFile("mono.wav", Wav(std::string(44100, '\0'), Format(1, 22050, 16)));  // 1 s
  test::WriteFile("stereo8.wav", Wav(std::string(11025, '\x80'), Format(2, 11025, 8)));
  test::WriteFile("fact.wav", Wav(std::string(8820, '\0'), Between(Chunk("fact", "abcd"))));
  // 22050 codes of mono 22050 Hz: one second once decoded.
  test::WriteFile("one.rad", Rad(std::string(22050, '\x80'), 1, 22050));
  test::WriteFile("list.wav", Wav(std::string(100, '\0'), Between(Chunk("LIST", "x"))));
  WavSpec noRate;
  noRate.avg = 0;
  test::WriteFile("norate.wav", Wav(std::string(100, '\0'), noRate));
  EXPECT_EQ(sound.GetSoundFileLength("mono.wav"), 1000);
  EXPECT_EQ(sound.GetSoundFileLength("stereo8.wav"), 500);
  EXPECT_EQ(sound.GetSoundFileLength("fact.wav"), 100);
  EXPECT_EQ(sound.GetSoundFileLength("one.rad"), 1000);
  EXPECT_EQ(sound.GetSoundFileLength("list.wav"), 0);
  EXPECT_EQ(sound.GetSoundFileLength("norate.wav"), 0);
  EXPECT_EQ(sound.GetSoundFileLength("missing.wav"), -1);
}

}  // namespace
