// sound_formats.cpp -- the sound file formats (RIFF WAVE, the delta-coded
// "rad " and Ogg Vorbis) and the effects loaded whole into their buffers.

#include <cmath>
#include <cstring>

#include "sound/sound_local.h"

namespace sound {

using core::Sjis;

// ----------------------------------------------------------------------------
// Headers
// ----------------------------------------------------------------------------

namespace {

uint32_t U32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool Is(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

// Format tags of the WAVE format chunk, and the sub-format identifier of
// integer PCM in an extensible chunk (its first two bytes are the tag).
constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
constexpr uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// True when the format chunk at `b + 12` states integer PCM: tag 1, or the
// extensible tag with the PCM sub-format (the chunk then holds at least 40
// bytes, the identifier at 24 within it). Float and compressed samples
// would play as loud noise if copied as integers, so they are refused.
bool IsIntegerPcm(const uint8_t* b, uint32_t available) {
  uint16_t tag = uint16_t(b[20] | b[21] << 8);
  if (tag == kWaveFormatPcm) return true;
  if (tag != kWaveFormatExtensible) return false;
  return U32(b + 16) >= 40 && available >= 60 && std::memcmp(b + 44, kPcmSubFormat, 16) == 0;
}

// The rates a full "rad " header may name; any other word means the short
// header of 44100 Hz stereo.
bool IsDeltaRate(uint32_t rate) {
  return rate == 8000 || rate == 11025 || rate == 16000 || rate == 22050 || rate == 44100;
}

// The data size cut to what the file holds past `offset`.
uint32_t Present(uint32_t size, uint32_t offset, uint32_t fileSize) {
  uint32_t room = fileSize > offset ? fileSize - offset : 0;
  return size < room ? size : room;
}

bool ParseDelta(SoundHeader* h, const uint8_t* b, uint32_t available, uint32_t fileSize) {
  if (available < 8) return false;
  uint32_t count = U32(b + 4);
  uint32_t channels = 2, rate = kOutputRate, offset = 8;
  if (available >= 16 && IsDeltaRate(U32(b + 12))) {
    channels = U32(b + 8) & 0xFFFF;
    rate = U32(b + 12);
    offset = 16;
  }
  // One or two interleaved channels: the decoder keeps a sum for each, and a
  // channel count of 0 would leave no frame to play.
  if (channels != 1 && channels != 2) return false;
  h->delta = true;
  h->dataOffset = offset;
  h->dataSize = Present(count, offset, fileSize);
  h->format = platform::PcmFormatOf(int(channels), int(rate), 16);
  return true;
}

// The chunk rules are strict on purpose: the engine always read exactly this
// layout, and games were written against what it accepted. Only the sizes
// are made safe: every field read lies within `available`, and chunk
// offsets are summed in 64 bits so a huge size cannot wrap back into range.
bool ParseWave(SoundHeader* h, const uint8_t* b, uint32_t available, uint32_t fileSize) {
  // "RIFF" size "WAVE", then the format chunk (tag "fmt" and any fourth
  // byte) with the fields through the bits per sample.
  if (available < 36 || !Is(b, "RIFF") || !Is(b + 8, "WAVE") || std::memcmp(b + 12, "fmt", 3) != 0) return false;
  if (!IsIntegerPcm(b, available)) return false;
  platform::PcmFormat f;
  f.channels = b[22];  // low bytes only, as the engine always read them
  f.sampleRate = int(U32(b + 24) & 0x7FFFFFFF);
  f.avgBytesPerSec = int(U32(b + 28) & 0x7FFFFFFF);
  f.blockAlign = b[32];
  f.bitsPerSample = b[34];
  if (f.channels == 0 || f.blockAlign == 0) return false;

  // After the format chunk: an optional "fact", then an optional "cue ",
  // then "data". Any other chunk there is refused.
  uint64_t pos = 20 + uint64_t(U32(b + 16));
  auto chunkAt = [&](const char* tag) { return pos + 8 <= available && Is(b + pos, tag); };
  if (chunkAt("fact")) pos += 8 + uint64_t(U32(b + pos + 4));
  if (chunkAt("cue ")) pos += 8 + uint64_t(U32(b + pos + 4));
  if (!chunkAt("data")) return false;
  h->delta = false;
  h->format = f;
  h->dataOffset = uint32_t(pos + 8);
  h->dataSize = Present(U32(b + pos + 4), h->dataOffset, fileSize);
  return true;
}

}  // namespace

bool ParseSoundHeader(SoundHeader* header, const uint8_t* bytes, uint32_t available, uint32_t fileSize) {
  *header = SoundHeader{};
  if (!bytes || available < 4) return false;
  if (available > fileSize) available = fileSize;
  if (Is(bytes, "rad ")) return ParseDelta(header, bytes, available, fileSize);
  return ParseWave(header, bytes, available, fileSize);
}

// ----------------------------------------------------------------------------
// The delta-coded format
// ----------------------------------------------------------------------------

void BuildDeltaTable(int32_t table[256]) {
  for (int i = 0; i < 128; i++) {
    // The exponent and the sum in single precision, the power in double:
    // the table's values depend on it.
    float exponent = float(i) / 128.0f * 4.8f;
    float sum = float(std::pow(10.0, double(exponent))) - 1.0f + float(i);
    int32_t a = int32_t(sum < 65536.0f ? sum : 65536.0f);
    table[128 + i] = a;
    table[127 - i] = -1 - a;
  }
}

void DecodeDelta(const int32_t table[256], const uint8_t* codes, uint32_t count, int channels, uint32_t firstIndex,
                 uint32_t sums[2], int16_t* out) {
  for (uint32_t i = 0; i < count; i++) {
    uint32_t index = firstIndex + i;
    int ch = channels == 2 ? int(index & 1) : 0;
    uint8_t c = codes[i];
    // The first code of a channel is its first sample; every later one adds
    // its step. The sum runs unbounded; the sample is its low 16 bits.
    if (index < uint32_t(channels)) sums[ch] = uint32_t(int32_t(c) - 128) * 256u;
    else sums[ch] += uint32_t(table[c]);
    out[i] = int16_t(uint16_t(sums[ch] & 0xFFFF));
  }
}

// ----------------------------------------------------------------------------
// Effects
// ----------------------------------------------------------------------------

// Builds the slot's buffer from the file bytes (or, for an Ogg slot, the
// decoded PCM) and its duplicates. 0, 1 on failure, -1 for no bytes.
// `name` is the file's, for the log.
int SoundSystem::CreateSoundBuffers(int slot, const uint8_t* bytes, uint32_t size, int copies, const char* name) {
  if (!bytes || size == 0) return -1;
  SoundSlot& s = slots_[slot];
  platform::PcmFormat format;
  const uint8_t* data = bytes;
  uint32_t dataSize = size;
  bool delta = false;
  if (s.kind == kKindOgg) {
    format = s.format;
  } else {
    SoundHeader h;
    if (!ParseSoundHeader(&h, bytes, size, size)) {
      core::Logf(log, core::kLogInfo, Sjis("[%s]は有効なPCMファイルではありません。\n"), name);
      return 1;
    }
    if (h.delta) s.kind = kKindDelta;
    delta = h.delta;
    format = h.format;
    data = bytes + h.dataOffset;
    dataSize = h.dataSize;
  }
  uint32_t bufferBytes = delta ? dataSize * 2 : dataSize;

  platform::AudioBuffer* buffer = platform::CreateAudioBuffer(device_, format, bufferBytes);
  if (!buffer) {
    core::Log(log, core::kLogError, Sjis("DirectSoundBufferの作成に失敗\n"));
    return 1;
  }
  void *p1, *p2;
  uint32_t n1, n2;
  if (!platform::LockAudioBuffer(buffer, 0, bufferBytes, &p1, &n1, &p2, &n2)) {
    platform::ReleaseAudioBuffer(buffer);
    return 1;
  }
  // One lock of the whole buffer: the region never wraps.
  if (delta) {
    uint32_t sums[2] = {};
    DecodeDelta(deltaTable_, data, dataSize, format.channels, 0, sums, static_cast<int16_t*>(p1));
  } else {
    std::memcpy(p1, data, n1);
  }
  platform::UnlockAudioBuffer(buffer);

  int n = Clamp(copies, 1, kMaxCopies);
  s.copies.assign(size_t(n), SoundCopy{});
  s.copies[0].buffer = buffer;
  for (int c = 1; c < n; c++) {
    s.copies[c].buffer = platform::DuplicateAudioBuffer(buffer);
    if (!s.copies[c].buffer) {
      for (int k = c - 1; k >= 0; k--) platform::ReleaseAudioBuffer(s.copies[k].buffer);
      s.copies.clear();
      return 1;
    }
  }
  s.format = format;
  s.dataBytes = bufferBytes;
  s.copyCount = n;
  s.playCursor = 0;
  s.loaded = 1;
  return 0;
}

// Decodes a whole Ogg file into `pcm` and sets the slot's kind and format.
// 0, or the decoder's negative answer; the file is closed either way.
int SoundSystem::DecodeOggEffect(int slot, core::FileHandle file, std::vector<uint8_t>* pcm) {
  OggSource source{packages, file};
  OggVorbis_File vf;
  int answer = OpenOggDecoder(*ogg_, &source, &vf, log);
  if (answer != 0) return answer < 0 ? answer : kOggFalse;
  SoundSlot& s = slots_[slot];
  s.kind = kKindOgg;
  s.format = OggFormat(*ogg_, &vf);
  ogg_int64_t total = ogg_->pcmTotal(&vf, -1);

  size_t decoded = 0;
  int bitstream = 0;
  for (;;) {
    if (pcm->size() - decoded < kOggReadBytes) pcm->resize(pcm->size() + kOggReadBytes);
    long got = ogg_->read(&vf, reinterpret_cast<char*>(pcm->data() + decoded), int(kOggReadBytes), 0, 2, 1, &bitstream);
    if (got < 1) break;
    decoded += size_t(got);
    if (decoded > 0x7FFFFFFF) break;  // no buffer holds more
  }
  // The stream's stated length, cut to what really decoded.
  uint64_t stated = total >= 0 ? uint64_t(total) * uint64_t(s.format.blockAlign) : uint64_t(decoded);
  pcm->resize(size_t(stated < decoded ? stated : decoded));
  ogg_->clear(&vf);  // closes the file through the callbacks
  return 0;
}

// The first four bytes choose the decoder. An Ogg file is decoded through
// the file layer's callbacks (so it may lie in a package) and closed by the
// decoder; any other file is read whole and closed at once, its package
// cache dropped: the buffers hold the samples from then on.
int SoundSystem::LoadSoundEffect(int slot, const char* fileName, int copies, int flags) {
  (void)flags;
  if (!device_ || slot < 0 || slot >= kSlotCount) return 1;
  if (!fileName) fileName = "";
  ReleaseSlot(slot);
  core::Logf(log, core::kLogInfo, Sjis("音声ファイル\"%s\"を読み込みます。\n"), fileName);
  core::FileHandle file = packages ? packages->OpenReadFile(fileName) : core::kNoFile;
  if (file == core::kNoFile) {
    core::Logf(log, core::kLogInfo, Sjis("音声ファイル\"%s\"のオープンに失敗しました。\n"), fileName);
    return -1;
  }

  int32_t size = packages->GetFileSizeOf(file);
  if (size < 0) size = 0;
  uint8_t magic[4] = {};
  int32_t got = 0;
  packages->ReadFileData(file, magic, 0, size < 4 ? size : 4, &got);
  int result;
  if (got == 4 && Is(magic, "OggS")) {
    std::vector<uint8_t> pcm;
    int answer = DecodeOggEffect(slot, file, &pcm);
    if (answer != 0) {
      ReleaseSlot(slot);
      return answer;
    }
    result = CreateSoundBuffers(slot, pcm.data(), uint32_t(pcm.size()), copies, fileName);
  } else {
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    got = 0;
    if (size > 0) packages->ReadFileData(file, bytes.data(), 0, size, &got);
    packages->FreeFileCache(file);
    packages->CloseFileHandle(file);
    slots_[slot].kind = kKindWav;
    result = CreateSoundBuffers(slot, bytes.data(), uint32_t(got), copies, fileName);
  }
  if (result != 0) ReleaseSlot(slot);
  return result;
}

// ----------------------------------------------------------------------------
// File length
// ----------------------------------------------------------------------------

// Scripts time their scenes by this, so it reads no more than the header
// (the decoder reads the Ogg stream's last page for its length).
int SoundSystem::GetSoundFileLength(const char* fileName) {
  core::FileHandle file = packages && fileName ? packages->OpenReadFile(fileName) : core::kNoFile;
  if (file == core::kNoFile) return -1;
  int32_t size = packages->GetFileSizeOf(file);
  if (size < 0) size = 0;
  uint8_t head[kLengthHeadBytes];
  int32_t got = 0;
  packages->ReadFileData(file, head, 0, size < int32_t(kLengthHeadBytes) ? size : int32_t(kLengthHeadBytes), &got);

  if (got >= 4 && Is(head, "OggS")) {
    OggSource source{packages, file};
    OggVorbis_File vf;
    if (OpenOggDecoder(*ogg_, &source, &vf, nullptr) != 0) return 0;
    int rate = OggFormat(*ogg_, &vf).sampleRate;
    ogg_int64_t total = ogg_->pcmTotal(&vf, -1);
    int length = 0;
    if (rate > 0 && total > 0) length = int(total * 1000 / rate);
    ogg_->clear(&vf);
    return length;
  }

  SoundHeader h;
  int length = 0;
  if (ParseSoundHeader(&h, head, uint32_t(got), uint32_t(size)) && h.format.avgBytesPerSec > 0) {
    // A "rad " file's data are codes: its length is that of the 16-bit
    // samples they decode to.
    double bytes = h.delta ? 2.0 * h.dataSize : double(h.dataSize);
    length = int(bytes / (h.format.avgBytesPerSec / 1000.0));
  }
  packages->FreeFileCache(file);
  packages->CloseFileHandle(file);
  return length;
}

}  // namespace sound
