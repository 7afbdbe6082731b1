// sound_public.h -- sound output: 256 slots of buffer copies, effects loaded
// whole, music and voice streamed, group volumes and fades stepped per frame.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "core/core_package.h"
#include "platform/platform_public.h"

namespace core {
class LogSystem;
}

namespace sound {

constexpr int kSlotCount = 256;
constexpr int kMaxCopies = 256;
constexpr int kMusicSlot = 254;
constexpr int kVoiceSlot = 255;
constexpr int kLastEffectSlot = 253;  // a negative slot means slots 0..253
constexpr int kSilence = -10000;      // volumes are 1/100 dB, -10000..0
constexpr int kFullVolume = 0;
// A copy's fade target when it is not fading. Any real target is -10000..0.
constexpr int32_t kNoFade = 1;

// What a slot holds, as its sound file was coded.
enum SoundKind : int32_t {
  kKindWav = 0,      // RIFF WAVE (and an empty slot)
  kKindDelta = 1000, // the delta-coded 8-bit "rad " format
  kKindOgg = 2000,   // Ogg Vorbis
};

// GetSoundStatus bits.
enum : int { kStatusExists = 1, kStatusPlaying = 2 };
// OpenSoundStream flags.
enum : int { kStreamLoop = 1 };

// What PlaySoundSlot returns besides a copy index (and the copy count when
// every copy is busy).
constexpr int kPlayEmptySlot = -1;
constexpr int kPlayRefused = 256;
// What StopSoundSlot returns once it has stopped.
constexpr int kStopped = 256;

struct StreamState;      // sound_local.h
struct OggVorbisLibrary; // sound_local.h

// One buffer copy of a slot.
struct SoundCopy {
  platform::AudioBuffer* buffer = nullptr;  // copy 0: made from the file;
                                            // others: its duplicates
  int32_t fadeTarget = kNoFade;  // volume being faded toward, or kNoFade
  int32_t loopFlag = 0;          // loop flag of its last play, for resuming
  int32_t paused = 0;            // stopped by a pause, waiting for a resume
};

// One numbered slot. Reset by FreeSoundSlot (`slot = {}` semantics).
struct SoundSlot {
  int32_t kind = kKindWav;
  int32_t loaded = 0;       // holds a sound
  int32_t isStream = 0;     // holds a stream (its copy 0 is the ring)
  int32_t copyCount = 0;    // 0 when empty, else 1..256
  int32_t playCursor = 0;   // the copy the next play starts looking at
  int32_t fadeStep = 0;     // 1/100 dB per fade step, 0 or more
  platform::PcmFormat format{};  // the PCM format of the slot's buffers
  uint32_t dataBytes = 0;        // PCM bytes of the sound (after decoding)
  std::vector<SoundCopy> copies; // copyCount entries
  std::unique_ptr<StreamState> stream;  // stream slots only
};

// The one sound system of the engine.
//
// Results follow the engine's convention: most operations return 0 on
// success and 1 when there is no device or the slot or copy is out of range;
// the exceptions are given per operation. A slot is 0..255 (254 music, 255
// voice, the rest effects); a copy is 0..count-1 or -1 for all copies; where
// an operation takes a slot and a copy, a negative slot means every copy of
// slots 0..253 (music and voice are left alone).
//
// Main thread only. Without a device (InitDirectSound failed or was not
// called) every operation returns at once with its refusal value, so a
// machine without sound runs silently.
class SoundSystem {
 public:
  // Wired by the engine record before start-up.
  core::LogSystem* log = nullptr;
  core::FilePackageTable* packages = nullptr;  // every sound file is read here
  // Which output InitDirectSound opens; tests choose the null driver.
  platform::AudioDriver driver = platform::AudioDriver::System;

  // Builds the delta table and binds the Ogg Vorbis decoder when the system
  // has it (Ogg files are refused otherwise).
  SoundSystem();
  ~SoundSystem();  // releases every buffer, the device and the decoder
  SoundSystem(const SoundSystem&) = delete;
  SoundSystem& operator=(const SoundSystem&) = delete;

  // --- Device -------------------------------------------------------------
  // Opens the output device at 44100 Hz, 16-bit stereo. 0 on success; on
  // failure 1, after a box (never blocking when headless) and a log line;
  // the main window stays as it was. `window` owns the boxes.
  int InitDirectSound(platform::Window* window);
  // Releases every slot and the device (as at shutdown); the system is then
  // without device until InitDirectSound succeeds again.
  void ShutdownSound();
  bool HasDevice() const { return device_ != nullptr; }

  // --- Loading ------------------------------------------------------------
  // Loads a whole sound file (WAV, "rad " or Ogg Vorbis) into a slot with
  // `copies` copies (clamped to 1..256). 0 on success; -1 when the file
  // can't be opened or is empty; 1 for a bad header, a buffer failure, no
  // device or a slot out of range; the decoder's negative answer for a
  // refused Ogg file. The slot is emptied first and stays empty on failure.
  int LoadSoundEffect(int slot, const char* fileName, int copies, int flags);
  // Opens a stream in the slot (stopping whatever it held) and starts it,
  // looping with kStreamLoop in flags. 0 on success; -1 when the file can't
  // be opened; 1 for a bad header, a refused Ogg file, a buffer failure, no
  // device or a slot out of range (the slot is then empty).
  int OpenSoundStream(int slot, const char* fileName, int flags);
  // Where a looping stream starts again, in samples (frames) of its data.
  int SetStreamLoopPoint(int slot, int sample);
  // Releases every copy of the slot (closing a stream's file). 0, -1 for an
  // empty slot.
  int FreeSoundSlot(int slot);

  // --- Playing ------------------------------------------------------------
  // Plays the next free copy from its current position at `volume` plus the
  // effect group's option volume, with `pan` and `frequency` (0: the
  // sound's own). Returns the copy index; the copy count when every copy is
  // busy; kPlayEmptySlot for an empty slot; kPlayRefused when the device
  // refuses; 1 without a device or for a slot out of range.
  int PlaySoundSlot(int slot, int loop, int volume, int pan, int frequency);
  // Stops, rewinds and un-pauses the copies and ends their fades; a stream
  // slot is then freed and its file closed. kStopped after stopping.
  int StopSoundSlot(int slot, int copy);
  // Stops the playing copies and marks them paused.
  int PauseSoundSlot(int slot, int copy);
  // Plays the paused copies again from where they stopped, with their loop
  // flag.
  int ResumeSoundSlot(int slot, int copy);

  // --- Queries ------------------------------------------------------------
  // kStatusExists for an existing copy, with kStatusPlaying while it plays;
  // copy -1 ORs all copies. 0 for an empty slot, a copy or slot out of range
  // and without a device.
  int GetSoundStatus(int slot, int copy) const;
  // The play position of a playing copy in 1/44100 s (samples x 44100 /
  // sample rate); 0 when not playing.
  int GetSoundPosition(int slot, int copy) const;
  // A sound file's length in milliseconds: -1 when it can't be opened, 0
  // when it is no readable sound. Needs no device.
  int GetSoundFileLength(const char* fileName);

  // --- Volumes, pan, frequency, fades -------------------------------------
  // Sets the copy's volume at once: `volume` plus the slot's group offset,
  // clamped to -10000..0.
  int ApplySoundVolume(int slot, int copy, int volume);
  // Starts a fade toward `target` plus the group offset (clamped), moving
  // `step` (at least 0) per fade step.
  int SetSoundFadeTarget(int slot, int copy, int target, int step);
  int SetSoundPan(int slot, int copy, int pan);              // -10000..10000
  int SetSoundFrequency(int slot, int copy, int frequency);  // Hz, 0 original
  // The option volume (the user's) of the group of `groupSlot`: 254 music,
  // 255 voice, any other effects. Music and voice apply it to copy 0 of
  // their slot at once.
  int SetSoundGroupVolume(int groupSlot, int volume);
  int GetSoundGroupVolume(int groupSlot) const;
  // The script volume of the group; applied when volumes are next set.
  int SetSoundSystemVolume(int groupSlot, int volume);
  // How many fade steps each frame tick applies (60 / frame rate).
  int SetFadeStepCount(int count);
  int FadeStepCount() const { return fadeStepsPerFrame_; }

  // --- Frame tick ---------------------------------------------------------
  // Once per displayed frame: refills the streams, then steps the fades.
  int UpdateSoundFades();

  // --- For tests and tools ------------------------------------------------
  // Rebinds the Ogg Vorbis decoder from another library (null: none).
  // Returns whether the decoder is usable.
  bool BindOggVorbis(const char* libraryName);
  platform::AudioDevice* Device() const { return device_; }
  const SoundSlot& Slot(int slot) const { return slots_[slot & 255]; }
  // The value of the delta-coded format's table for `code`.
  int32_t DeltaTableEntry(int code) const { return deltaTable_[code & 255]; }

 private:
  // sound_device.cpp
  int GroupOffset(int slot) const;
  bool ValidCopy(int slot, int copy) const;
  template <typename Fn>
  int ForCopies(int slot, int copy, Fn fn);
  void StopCopy(SoundCopy& c);
  void ReleaseSlot(int slot);
  void StepFades(SoundSlot& s);
  // sound_formats.cpp
  int CreateSoundBuffers(int slot, const uint8_t* bytes, uint32_t size, int copies, const char* name);
  int DecodeOggEffect(int slot, core::FileHandle file, std::vector<uint8_t>* pcm);
  // sound_stream.cpp
  void RefillStream(int half, int slot);
  void UpdateStreams();
  void CloseStreamFile(StreamState& st);

  platform::Window* window_ = nullptr;     // owns the boxes; not ours
  platform::AudioDevice* device_ = nullptr;
  SoundSlot slots_[kSlotCount];
  int32_t optionVolume_[3] = {};  // effects, music, voice: the settings'
  int32_t scriptVolume_[3] = {};  // effects, music, voice: the scripts'
  int32_t fadeStepsPerFrame_ = 1;
  int32_t deltaTable_[256] = {};  // built at construction
  // Taken by the stream pass while it walks the slots.
  std::mutex streamLock_;
  std::unique_ptr<OggVorbisLibrary> ogg_;  // never null after construction
};

}  // namespace sound
