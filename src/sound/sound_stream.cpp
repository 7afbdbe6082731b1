// sound_stream.cpp -- music and voice streamed from their files through a
// two-second ring refilled one second at a time, with loop points.

#include <algorithm>
#include <cstring>

#include "sound/sound_local.h"

namespace sound {

using core::Sjis;

namespace {

bool Is(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

// Appends up to `bytes` more of the stream's file to its file block; false
// at the end of the file.
bool ReadMore(core::FilePackageTable& files, StreamState& st, uint32_t bytes) {
  if (bytes == 0 || st.fileReadPos >= st.fileSize) return false;
  bytes = std::min(bytes, st.fileSize - st.fileReadPos);
  st.fileData.resize(size_t(st.fileReadPos) + bytes);
  int32_t got = 0;
  files.ReadFileData(st.file, st.fileData.data() + st.fileReadPos, int32_t(st.fileReadPos), int32_t(bytes), &got);
  if (got < 0) got = 0;
  st.fileData.resize(size_t(st.fileReadPos) + uint32_t(got));
  st.fileReadPos += uint32_t(got);
  return got > 0;
}

}  // namespace

// ----------------------------------------------------------------------------
// Opening
// ----------------------------------------------------------------------------

// An Ogg stream's file belongs to its decoder, which closes it; any other
// stream's file is closed through the file layer.
void SoundSystem::CloseStreamFile(StreamState& st) {
  if (st.oggOpen) {
    ogg_->clear(&st.oggFile);  // closes the file through the callbacks
    st.oggOpen = false;
  } else if (st.file != core::kNoFile && packages) {
    packages->FreeFileCache(st.file);
    packages->CloseFileHandle(st.file);
  }
  st.file = core::kNoFile;
  st.oggSource.file = core::kNoFile;
}

// Only the first 1024 bytes are read here; the rest of the file is read (or
// decoded) a second at a time by the refills, so a long piece of music
// starts at once. The ring starts with the first second in its first half;
// the first stream pass fills the second half.
int SoundSystem::OpenSoundStream(int slot, const char* fileName, int flags) {
  if (!device_ || slot < 0 || slot >= kSlotCount) return 1;
  if (!fileName) fileName = "";
  // Whatever the slot held stops; a stream's file is closed with it, and an
  // effect's buffers are released rather than left behind.
  StopSoundSlot(slot, -1);
  ReleaseSlot(slot);

  core::FileHandle file = packages ? packages->OpenReadFile(fileName) : core::kNoFile;
  if (file == core::kNoFile) {
    core::Logf(log, core::kLogMilestone, Sjis("\"%s\"がオープンできません。"), fileName);
    return -1;
  }
  auto st = std::make_unique<StreamState>();
  st->file = file;
  st->fileSize = uint32_t(std::max(packages->GetFileSizeOf(file), 0));
  st->fileData.resize(std::min(kStreamHeadBytes, st->fileSize));
  int32_t got = 0;
  if (!st->fileData.empty())
    packages->ReadFileData(file, st->fileData.data(), 0, int32_t(st->fileData.size()), &got);
  st->fileData.resize(size_t(std::max(got, 0)));
  st->fileReadPos = uint32_t(st->fileData.size());

  SoundSlot& s = slots_[slot];
  platform::PcmFormat format;
  uint32_t dataBytes = 0;
  if (st->fileData.size() >= 4 && Is(st->fileData.data(), "OggS")) {
    // Ogg: the decoder reads the file itself, from the start.
    st->oggSource = OggSource{packages, file};
    if (OpenOggDecoder(*ogg_, &st->oggSource, &st->oggFile, log) != 0)
      return 1;  // refused: its file is closed and the slot stays empty
    st->oggOpen = true;
    format = OggFormat(*ogg_, &st->oggFile);
    ogg_int64_t total = ogg_->pcmTotal(&st->oggFile, -1);
    uint64_t bytes = total >= 0 ? uint64_t(total) * uint64_t(format.blockAlign) : 0xFFFFFFFFu;
    dataBytes = uint32_t(std::min<uint64_t>(bytes, 0xFFFFFFFFu));
    s.kind = kKindOgg;
  } else {
    SoundHeader h;
    if (!ParseSoundHeader(&h, st->fileData.data(), uint32_t(st->fileData.size()), st->fileSize)) {
      core::Logf(log, core::kLogInfo, Sjis("[%s]は有効なPCMファイルではありません。\n"), fileName);
      CloseStreamFile(*st);
      return 1;
    }
    format = h.format;
    st->dataOffset = h.dataOffset;
    if (h.delta) {
      s.kind = kKindDelta;
      st->codeCount = h.dataSize;
      dataBytes = 2 * h.dataSize;
    } else {
      s.kind = kKindWav;
      dataBytes = h.dataSize;
    }
  }

  // Whole frames only, so a loop never lands between the samples of a frame.
  if (format.blockAlign > 0) dataBytes -= dataBytes % uint32_t(format.blockAlign);

  // The ring: two seconds of the output format.
  platform::AudioBuffer* ring = nullptr;
  if (platform::IsPlayablePcmFormat(format))
    ring = platform::CreateAudioBuffer(device_, format, 2 * uint32_t(format.avgBytesPerSec));
  if (!ring) {
    core::Log(log, core::kLogError, Sjis("ストリーミング再生バッファの作成に失敗"));
    CloseStreamFile(*st);
    s = SoundSlot{};
    return 1;
  }

  st->bytesPerSecond = uint32_t(format.avgBytesPerSec);
  // Above any position of the first pass, so that pass fills the second half.
  st->lastPos = st->bytesPerSecond;
  st->loops = (flags & kStreamLoop) ? 1 : 0;
  s.format = format;
  s.dataBytes = dataBytes;
  s.copies.assign(1, SoundCopy{});
  s.copies[0].buffer = ring;
  s.copyCount = 1;
  s.playCursor = 0;
  s.loaded = 1;
  s.isStream = 1;
  s.stream = std::move(st);
  RefillStream(0, slot);

  platform::SetAudioBufferVolume(ring, 0);
  platform::SetAudioBufferPan(ring, 0);
  platform::PlayAudioBuffer(ring, true);
  s.copies[0].loopFlag = 1;
  ApplySoundVolume(slot, 0, 0);
  return 0;
}

// Read at each wrap of the data, so it may be set right after the open. A
// point outside the data loops from the start.
int SoundSystem::SetStreamLoopPoint(int slot, int sample) {
  if (!device_ || slot < 0 || slot >= kSlotCount || !slots_[slot].stream) return 1;
  slots_[slot].stream->loopPoint = sample;
  return 0;
}

// ----------------------------------------------------------------------------
// Refilling
// ----------------------------------------------------------------------------

// Fills one half of the ring (one second) from the stream's data at its play
// position. The source is read or decoded first until it covers that second
// or ends; a source that ends short of its stated size is cut to what it
// gave. At the end of the data the stream goes on at its loop point, or,
// when it does not loop, with silence.
void SoundSystem::RefillStream(int half, int slot) {
  SoundSlot& s = slots_[slot];
  StreamState& st = *s.stream;
  const uint32_t second = st.bytesPerSecond;
  const uint64_t want = std::min<uint64_t>(uint64_t(st.playPos) + second, s.dataBytes);

  // 1. The source.
  const uint8_t* source = nullptr;
  uint32_t available = 0;
  if (s.kind == kKindOgg) {
    int bitstream = 0;
    while (st.pcmBytes < want && !st.sourceEnded) {
      if (st.pcm.size() - st.pcmBytes < second) st.pcm.resize(size_t(st.pcmBytes) + second + kOggSpareBytes);
      uint64_t room = std::min<uint64_t>(want - st.pcmBytes, st.pcm.size() - st.pcmBytes);
      long got = ogg_->read(&st.oggFile, reinterpret_cast<char*>(st.pcm.data() + st.pcmBytes),
                            int(std::min<uint64_t>(room, kOggReadBytes)), 0, 2, 1, &bitstream);
      if (got < 1) st.sourceEnded = true;
      else st.pcmBytes += uint32_t(got);
    }
    source = st.pcm.data();
    available = st.pcmBytes;
  } else if (s.kind == kKindDelta) {
    const int channels = s.format.channels;
    while (st.pcmBytes < want) {
      uint32_t codesRead = std::min(st.fileReadPos - st.dataOffset, st.codeCount);
      if (st.codesDecoded < codesRead) {
        uint32_t n = codesRead - st.codesDecoded;
        st.pcm.resize(size_t(codesRead) * 2);
        DecodeDelta(deltaTable_, st.fileData.data() + st.dataOffset + st.codesDecoded, n, channels, st.codesDecoded,
                    st.deltaSum, reinterpret_cast<int16_t*>(st.pcm.data()) + st.codesDecoded);
        st.codesDecoded = codesRead;
        st.pcmBytes = codesRead * 2;
        continue;
      }
      if (codesRead >= st.codeCount || !ReadMore(*packages, st, second / 2)) {
        st.sourceEnded = true;
        break;
      }
    }
    source = st.pcm.data();
    available = st.pcmBytes;
  } else {
    auto present = [&] { return std::min(st.fileReadPos - st.dataOffset, s.dataBytes); };
    while (present() < want && !st.sourceEnded)
      if (!ReadMore(*packages, st, second)) st.sourceEnded = true;
    source = st.fileData.data() + st.dataOffset;
    available = present();
  }
  if (st.sourceEnded && available < s.dataBytes) s.dataBytes = available;

  // 2-3. The half, filled from the play position on. The loop start is
  // checked here, at every refill, because scripts may move it at any time;
  // one outside the data would otherwise leave nothing to copy, forever.
  platform::AudioBuffer* ring = s.copies[0].buffer;
  void* region[2];
  uint32_t size[2];
  if (!platform::LockAudioBuffer(ring, uint32_t(half) * second, second, &region[0], &size[0], &region[1], &size[1]))
    return;
  const uint8_t silence = s.format.bitsPerSample == 8 ? 128 : 0;
  const uint32_t blockAlign = uint32_t(s.format.blockAlign);
  uint64_t loopStart = st.loopPoint > 0 ? uint64_t(st.loopPoint) * blockAlign : 0;
  if (loopStart >= s.dataBytes) loopStart = 0;
  for (int r = 0; r < 2; r++) {
    uint8_t* out = static_cast<uint8_t*>(region[r]);
    uint32_t left = size[r];
    while (left > 0) {
      if (st.endCount != 0 || s.dataBytes == 0) {
        std::memset(out, silence, left);
        break;
      }
      if (st.playPos >= s.dataBytes) {
        st.playPos = uint32_t(loopStart);
        if (!st.loops) st.endCount++;
        continue;
      }
      uint32_t n = std::min(left, s.dataBytes - st.playPos);
      n = std::min(n, available > st.playPos ? available - st.playPos : 0u);
      if (n == 0) {  // cannot happen with the source cut above; stay safe
        std::memset(out, silence, left);
        break;
      }
      std::memcpy(out, source + st.playPos, n);
      out += n;
      left -= n;
      st.playPos += n;
    }
  }
  platform::UnlockAudioBuffer(ring);
  s.copyCount = 1;
  s.playCursor = 0;
  s.loaded = 1;
}

// The stream pass of the frame tick: every playing stream whose ring has
// crossed into the other half since the last pass gets the half it left
// refilled. A stream whose ring stopped is freed.
void SoundSystem::UpdateStreams() {
  std::lock_guard<std::mutex> lock(streamLock_);
  for (int slot = 0; slot < kSlotCount; slot++) {
    SoundSlot& s = slots_[slot];
    if (!s.loaded || !s.isStream || !s.stream || s.copyCount < 1 || s.copies[0].paused) continue;
    if (!(platform::GetAudioBufferStatus(s.copies[0].buffer) & platform::kAudioPlaying)) {
      ReleaseSlot(slot);
      return;  // the rest waits for the next frame
    }
    StreamState& st = *s.stream;
    st.curPos = uint32_t(GetSoundPosition(slot, 0));
    if (st.curPos < st.lastPos) RefillStream(1, slot);
    else if (st.curPos / kPositionRate > st.lastPos / kPositionRate) RefillStream(0, slot);
    st.lastPos = st.curPos;
  }
}

}  // namespace sound
