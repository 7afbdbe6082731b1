// sound_local.h -- the sound system's internals: stream state, the sound
// file headers, the delta-coded format and the Ogg Vorbis decoder binding.
#pragma once

#include <cstdint>
#include <vector>

// The decoder's types only: its functions are reached through the pointers
// bound at run time, and its stdio callbacks are not wanted.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include "core/core_public.h"
#include "sound/sound_public.h"

namespace sound {

// The output format every buffer is mixed into.
constexpr int kOutputRate = 44100;
// Positions reported by GetSoundPosition are in 1/kPositionRate s.
constexpr int kPositionRate = 44100;
// A stream reads this much of its file to tell the format and the header.
constexpr uint32_t kStreamHeadBytes = 1024;
// GetSoundFileLength parses the header from this much of a WAV or "rad ".
constexpr uint32_t kLengthHeadBytes = 512;
// Ogg output is decoded in requests of this size; a stream's decode block
// keeps this much spare room beyond one second.
constexpr uint32_t kOggReadBytes = 65536;
constexpr uint32_t kOggSpareBytes = 262144;

// The group of a slot: 0 effects, 1 music (254), 2 voice (255).
inline int GroupOf(int slot) { return slot == kMusicSlot ? 1 : slot == kVoiceSlot ? 2 : 0; }

inline int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// ----------------------------------------------------------------------------
// sound_ogg.cpp
// ----------------------------------------------------------------------------

// The decoder's answers that the engine names in its log.
enum : int {
  kOggOk = 0,
  kOggFalse = -1,      // OV_FALSE
  kOggRead = -128,     // OV_EREAD
  kOggFault = -129,    // OV_EFAULT
  kOggNotVorbis = -132,// OV_ENOTVORBIS
  kOggBadHeader = -133,// OV_EBADHEADER
  kOggVersion = -134,  // OV_EVERSION
};

// The library the decoder is loaded from at run time.
constexpr const char* kVorbisFileLibrary = "libvorbisfile.so.3";

// libvorbisfile's entry points the engine uses. All null when the library
// is absent or lacks one of them: Ogg files are then refused.
struct OggVorbisLibrary {
  platform::SharedLibrary* library = nullptr;
  int (*openCallbacks)(void* source, OggVorbis_File* vf, const char* initial, long initialBytes,
                       ov_callbacks callbacks) = nullptr;
  long (*read)(OggVorbis_File* vf, char* buffer, int length, int bigEndian, int wordSize, int isSigned,
               int* bitstream) = nullptr;
  vorbis_info* (*info)(OggVorbis_File* vf, int link) = nullptr;
  ogg_int64_t (*pcmTotal)(OggVorbis_File* vf, int link) = nullptr;
  int (*clear)(OggVorbis_File* vf) = nullptr;

  bool missingLogged = false;  // the library's absence has been logged

  bool Bound() const { return library != nullptr; }
  // Loads the library and takes its entry points; false (and unbound) when
  // it or one of them is missing.
  bool Bind(const char* libraryName);
  void Unbind();
};

// A file of the file layer as the decoder's data source. Lives as long as
// the decoder that reads it.
struct OggSource {
  core::FilePackageTable* table = nullptr;
  core::FileHandle file = core::kNoFile;
};

// Reads, seeks, tells and closes through the file layer: closing frees the
// file's cached bytes and closes its handle.
ov_callbacks FileLayerCallbacks();

// The log text of a decoder's answer to an open (Shift-JIS), null for other
// answers.
const char* OggAnswerText(int answer);

// Opens the decoder on `source`, reading from the file's start. Returns the
// decoder's answer, 0 when it opened, kOggFalse without the library. With a
// log, the answer is logged (and, once per binding, the missing library).
// A file the decoder refused is closed here (the decoder leaves it open)
// and `source->file` becomes kNoFile; an opened one is closed by its clear.
int OpenOggDecoder(OggVorbisLibrary& lib, OggSource* source, OggVorbis_File* vf, core::LogSystem* log);

// The format an opened decoder gives: 16-bit PCM of its channels and rate.
platform::PcmFormat OggFormat(OggVorbisLibrary& lib, OggVorbis_File* vf);

// ----------------------------------------------------------------------------
// sound_formats.cpp
// ----------------------------------------------------------------------------

// Where a parsed sound's samples are.
struct SoundHeader {
  platform::PcmFormat format{};  // 16-bit for "rad " (the decoded output)
  uint32_t dataOffset = 0;       // first byte of the PCM or codes
  uint32_t dataSize = 0;         // PCM bytes, or the code count of "rad "
  bool delta = false;            // "rad ": the data are codes
};

// Reads a RIFF WAVE or "rad " header. The header must lie within the
// `available` bytes; the data size is cut to what a file of `fileSize`
// bytes holds past the header. False for anything else, for 0 channels or a
// block size of 0 and (WAV) for samples other than integer PCM (format tag
// 1, or the extensible tag with the PCM sub-format) and for chunks other
// than "fact" and "cue " between the format and the data.
bool ParseSoundHeader(SoundHeader* header, const uint8_t* bytes, uint32_t available, uint32_t fileSize);

// The decoding table of "rad ": entry 128 + i rises with i, entry 127 - i
// mirrors it below zero.
void BuildDeltaTable(int32_t table[256]);

// Decodes `count` codes of a "rad " stream of `channels` channels into
// 16-bit samples. `firstIndex` is the index of codes[0] in the whole stream
// (the first code of each channel sets its sum, later ones add to it);
// `sums` carries each channel's running sum from call to call.
void DecodeDelta(const int32_t table[256], const uint8_t* codes, uint32_t count, int channels, uint32_t firstIndex,
                 uint32_t sums[2], int16_t* out);

// ----------------------------------------------------------------------------
// sound_stream.cpp
// ----------------------------------------------------------------------------

// A streamed slot: its copy 0 is a ring of two seconds, refilled one second
// (half) at a time from the source while it plays.
struct StreamState {
  core::FileHandle file = core::kNoFile;  // the open file; kNoFile when closed
  uint32_t fileSize = 0;
  uint32_t bytesPerSecond = 0;  // of the output format: one half of the ring

  // WAV and "rad ": the file's bytes read so far.
  std::vector<uint8_t> fileData;
  uint32_t fileReadPos = 0;     // bytes of the file in fileData
  uint32_t dataOffset = 0;      // where the PCM or codes start in the file
  uint32_t codeCount = 0;       // "rad ": codes in the file

  // "rad " and Ogg: the decoded PCM so far.
  std::vector<uint8_t> pcm;
  uint32_t pcmBytes = 0;        // decoded bytes in pcm
  uint32_t codesDecoded = 0;    // "rad ": codes decoded so far
  uint32_t deltaSum[2] = {};    // "rad ": each channel's running sum
  bool sourceEnded = false;     // the source gave all it will give

  uint32_t playPos = 0;         // next PCM byte to write into the ring
  uint32_t lastPos = 0;         // play positions (GetSoundPosition units) of
  uint32_t curPos = 0;          // the previous and the current pass
  int32_t loopPoint = 0;        // sample a looping stream starts again at
  int32_t loops = 0;            // 1: loops; 0: silence after the end
  int32_t endCount = 0;         // times the end passed without looping

  OggSource oggSource;          // Ogg: the decoder's source...
  OggVorbis_File oggFile{};     // ... and state
  bool oggOpen = false;
};

}  // namespace sound
