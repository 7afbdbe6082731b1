// sound_device.cpp -- the output device, the slots and their copies:
// playing, stopping, pausing, volumes, pans, frequencies and fades.

#include <cstdlib>

#include "sound/sound_local.h"

namespace sound {

using core::Sjis;

// ----------------------------------------------------------------------------
// Life cycle
// ----------------------------------------------------------------------------

// Nothing here can fail: the device waits for InitDirectSound (the window
// must exist first), and a missing decoder library only refuses Ogg files.
SoundSystem::SoundSystem() : ogg_(std::make_unique<OggVorbisLibrary>()) {
  BuildDeltaTable(deltaTable_);
  ogg_->Bind(kVorbisFileLibrary);
}

SoundSystem::~SoundSystem() {
  ShutdownSound();
  ogg_->Unbind();
}

// The heading and the format line go to the log at the error level, so they
// are there whatever the log's threshold: they tell what the run sounded
// like. A second call starts afresh (every slot is released first).
int SoundSystem::InitDirectSound(platform::Window* window) {
  ShutdownSound();
  window_ = window;
  core::Log(log, core::kLogError, Sjis("\n----------- DirectSoundを初期化します -----------\n"));

  // A failure is told in a box (answered at once when headless) and the game
  // goes on silently. The main window is left as it is: hiding it would
  // leave a running game with no window at all. The log keeps the
  // platform's reason beside the text.
  auto fail = [this](const char* text, const char* reason) {
    if (reason && *reason) core::Logf(log, core::kLogError, "%s (%s)\n", text, reason);
    else core::Logf(log, core::kLogError, "%s\n", text);
    platform::ShowMessageBox(text, "", platform::kMbOk | platform::kMbIconError, window_);
    return 1;
  };

  const char* reason = nullptr;
  device_ = platform::CreateAudioDevice(driver, &reason);
  if (!device_) return fail(Sjis("DirectSound の初期化に失敗しました。"), reason);

  // The output: 44100 Hz, 16-bit stereo; one more try when it is refused.
  // (There is no cooperative level or primary buffer to set up here: the
  // mixer is ours, so the output format is all the device is told.)
  const platform::PcmFormat output = platform::PcmFormatOf(2, kOutputRate, 16);
  if (!platform::SetAudioOutputFormat(device_, output) && !platform::SetAudioOutputFormat(device_, output)) {
    platform::DestroyAudioDevice(device_);
    device_ = nullptr;
    return fail(Sjis("プライマリ・バッファのフォーマット設定に失敗"), "");
  }
  core::Logf(log, core::kLogError, Sjis("[PCM %dHz %dBit %dCh]でプライマリバッファを初期化しました。\n\n"),
             output.sampleRate, output.bitsPerSample, output.channels);
  return 0;
}

// Slots first: their buffers belong to the device.
void SoundSystem::ShutdownSound() {
  for (int slot = 0; slot < kSlotCount; slot++) ReleaseSlot(slot);
  platform::DestroyAudioDevice(device_);
  device_ = nullptr;
  window_ = nullptr;
}

// ----------------------------------------------------------------------------
// Slots and copies
// ----------------------------------------------------------------------------

// What every volume of a slot's group is moved by: the user's option volume
// plus the scripts' volume for effects, music or voice.
int SoundSystem::GroupOffset(int slot) const {
  int g = GroupOf(slot);
  return optionVolume_[g] + scriptVolume_[g];
}

bool SoundSystem::ValidCopy(int slot, int copy) const {
  return slot >= 0 && slot < kSlotCount && copy >= 0 && copy < slots_[slot].copyCount;
}

// Calls fn(slotIndex, copy) for the copies an operation addresses: every
// copy of slots 0..253 for a negative slot, all copies of the slot for copy
// -1, else the one copy. 0, or 1 when the slot or copy is out of range.
template <typename Fn>
int SoundSystem::ForCopies(int slot, int copy, Fn fn) {
  if (slot < 0) {
    for (int s = 0; s <= kLastEffectSlot; s++)
      for (int c = 0; c < slots_[s].copyCount; c++) fn(s, slots_[s].copies[c]);
    return 0;
  }
  if (slot >= kSlotCount) return 1;
  SoundSlot& s = slots_[slot];
  if (copy == -1) {
    for (int c = 0; c < s.copyCount; c++) fn(slot, s.copies[c]);
    return 0;
  }
  if (!ValidCopy(slot, copy)) return 1;
  fn(slot, s.copies[copy]);
  return 0;
}

void SoundSystem::StopCopy(SoundCopy& c) {
  platform::StopAudioBuffer(c.buffer);
  platform::SetAudioBufferPosition(c.buffer, 0);
  c.paused = 0;
  c.fadeTarget = kNoFade;
}

// Releases the copies from the last to the first, closes a stream's file
// and empties the slot.
void SoundSystem::ReleaseSlot(int slot) {
  SoundSlot& s = slots_[slot];
  for (int c = int(s.copies.size()) - 1; c >= 0; c--) platform::ReleaseAudioBuffer(s.copies[c].buffer);
  if (s.stream) CloseStreamFile(*s.stream);
  s = SoundSlot{};
}

// -1 for an empty slot lets a caller tell "nothing there" from a refusal.
int SoundSystem::FreeSoundSlot(int slot) {
  if (!device_ || slot < 0 || slot >= kSlotCount) return 1;
  if (!slots_[slot].loaded && slots_[slot].copyCount == 0) return -1;
  ReleaseSlot(slot);
  return 0;
}

// ----------------------------------------------------------------------------
// Playing
// ----------------------------------------------------------------------------

// The play cursor makes overlapping plays of one effect take the copies in
// turn, so a burst of shots restarts the oldest copy last. A copy that is
// still playing is never cut off: a full slot answers its copy count.
int SoundSystem::PlaySoundSlot(int slot, int loop, int volume, int pan, int frequency) {
  if (!device_ || slot < 0 || slot >= kSlotCount) return 1;
  SoundSlot& s = slots_[slot];
  if (!s.loaded || s.copyCount == 0) return kPlayEmptySlot;

  // The next copy, from the play cursor on, that neither plays nor was
  // ended by the device.
  int found = -1;
  for (int k = 0; k < s.copyCount; k++) {
    int i = (s.playCursor + k) % s.copyCount;
    unsigned status = platform::GetAudioBufferStatus(s.copies[i].buffer);
    if (!(status & (platform::kAudioPlaying | platform::kAudioTerminated))) {
      found = i;
      break;
    }
  }
  if (found < 0) return s.copyCount;

  // Every slot plays with the effect group's option volume here (scripts
  // rely on it: a slot played this way is an effect, whatever its number);
  // the group of music and voice is applied when their volume is set. Only
  // the bottom is clamped: the device holds a positive sum at full volume,
  // and such a copy has no fade target.
  SoundCopy& c = s.copies[found];
  int v = volume + optionVolume_[0];
  if (v < kSilence) v = kSilence;
  c.fadeTarget = v < 0 ? v : kNoFade;
  platform::SetAudioBufferVolume(c.buffer, v);
  platform::SetAudioBufferPan(c.buffer, pan);
  if (frequency > 0) platform::SetAudioBufferFrequency(c.buffer, uint32_t(frequency));
  if (!platform::PlayAudioBuffer(c.buffer, loop != 0)) return kPlayRefused;
  c.loopFlag = loop;
  c.paused = 0;  // played anew: no resume may restart it later
  s.playCursor = (found + 1) % s.copyCount;
  return found;
}

int SoundSystem::StopSoundSlot(int slot, int copy) {
  if (!device_) return 1;
  if (ForCopies(slot, copy, [this](int, SoundCopy& c) { StopCopy(c); }) != 0) return 1;
  // A stopped stream is over: its slot is freed and its file closed.
  if (slot < 0) {
    for (int s = 0; s <= kLastEffectSlot; s++)
      if (slots_[s].isStream) ReleaseSlot(s);
  } else if (slots_[slot].isStream) {
    ReleaseSlot(slot);
  }
  return kStopped;
}

// Only playing copies are marked, so a resume never starts a copy that had
// already ended or was never played.
int SoundSystem::PauseSoundSlot(int slot, int copy) {
  if (!device_) return 1;
  return ForCopies(slot, copy, [](int, SoundCopy& c) {
    if (platform::GetAudioBufferStatus(c.buffer) & platform::kAudioPlaying) {
      platform::StopAudioBuffer(c.buffer);
      c.paused = 1;
    }
  });
}

int SoundSystem::ResumeSoundSlot(int slot, int copy) {
  if (!device_) return 1;
  return ForCopies(slot, copy, [](int, SoundCopy& c) {
    if (c.paused) {
      platform::PlayAudioBuffer(c.buffer, c.loopFlag != 0);
      c.paused = 0;
    }
  });
}

// ----------------------------------------------------------------------------
// Queries
// ----------------------------------------------------------------------------

namespace {

int CopyStatus(const SoundCopy& c) {
  unsigned device = platform::GetAudioBufferStatus(c.buffer);
  return kStatusExists | ((device & (platform::kAudioPlaying | platform::kAudioTerminated)) ? kStatusPlaying : 0);
}

}  // namespace

// A query, not an operation: without a device nothing exists, so 0.
int SoundSystem::GetSoundStatus(int slot, int copy) const {
  if (!device_ || slot < 0 || slot >= kSlotCount) return 0;
  const SoundSlot& s = slots_[slot];
  if (!s.loaded) return 0;
  if (copy == -1) {
    int status = 0;
    for (int c = 0; c < s.copyCount; c++) status |= CopyStatus(s.copies[c]);
    return status;
  }
  return ValidCopy(slot, copy) ? CopyStatus(s.copies[copy]) : 0;
}

int SoundSystem::GetSoundPosition(int slot, int copy) const {
  if (!device_ || !ValidCopy(slot, copy)) return 0;
  const SoundSlot& s = slots_[slot];
  const SoundCopy& c = s.copies[copy];
  if (!(platform::GetAudioBufferStatus(c.buffer) & platform::kAudioPlaying)) return 0;
  if (s.format.blockAlign <= 0 || s.format.sampleRate <= 0) return 0;
  // Samples x 44100 / rate: 1/44100 s at every rate, so a stream of any
  // rate crosses its half-way mark at 44100.
  uint64_t samples = platform::GetAudioBufferPosition(c.buffer) / uint32_t(s.format.blockAlign);
  return int(samples * kPositionRate / uint64_t(s.format.sampleRate));
}

// ----------------------------------------------------------------------------
// Volumes, pans, frequencies and fades
// ----------------------------------------------------------------------------

// The copy's fade target becomes the volume set when the group moved it (so
// the next tick finds it done), and stays unset when the volume was taken
// as it was asked for.
int SoundSystem::ApplySoundVolume(int slot, int copy, int volume) {
  if (!device_) return 1;
  return ForCopies(slot, copy, [this, volume](int s, SoundCopy& c) {
    int total = Clamp(volume + GroupOffset(s), kSilence, kFullVolume);
    platform::SetAudioBufferVolume(c.buffer, total);
    c.fadeTarget = total == volume ? kNoFade : total;
  });
}

// The step belongs to the slot: the last fade started on any of its copies
// sets the speed of all of them. A negative slot fades every effect (the
// callers' "all sound effects"), leaving music and voice alone.
int SoundSystem::SetSoundFadeTarget(int slot, int copy, int target, int step) {
  if (!device_) return 1;
  return ForCopies(slot, copy, [this, target, step](int s, SoundCopy& c) {
    c.fadeTarget = Clamp(target + GroupOffset(s), kSilence, kFullVolume);
    slots_[s].fadeStep = step > 0 ? step : 0;
  });
}

int SoundSystem::SetSoundPan(int slot, int copy, int pan) {
  if (!device_) return 1;
  return ForCopies(slot, copy, [pan](int, SoundCopy& c) { platform::SetAudioBufferPan(c.buffer, pan); });
}

// 0 goes back to the sound's own rate; a negative frequency is refused.
int SoundSystem::SetSoundFrequency(int slot, int copy, int frequency) {
  if (!device_ || frequency < 0) return 1;
  return ForCopies(slot, copy,
                   [frequency](int, SoundCopy& c) { platform::SetAudioBufferFrequency(c.buffer, uint32_t(frequency)); });
}

int SoundSystem::SetSoundGroupVolume(int groupSlot, int volume) {
  if (!device_) return 1;
  int g = GroupOf(groupSlot);
  optionVolume_[g] = volume;
  // Music and voice play on: their copy 0 takes the new volume now.
  int slot = g == 1 ? kMusicSlot : g == 2 ? kVoiceSlot : -1;
  if (slot >= 0 && slots_[slot].loaded && slots_[slot].copyCount > 0) ApplySoundVolume(slot, 0, 0);
  return 0;
}

int SoundSystem::GetSoundGroupVolume(int groupSlot) const { return optionVolume_[GroupOf(groupSlot)]; }

int SoundSystem::SetSoundSystemVolume(int groupSlot, int volume) {
  if (!device_) return 1;
  scriptVolume_[GroupOf(groupSlot)] = volume;
  return 0;
}

// Kept even without a device: it is the frame pacer's setting, not a sound
// operation, and costs nothing.
int SoundSystem::SetFadeStepCount(int count) {
  fadeStepsPerFrame_ = count > 0 ? count : 0;
  return device_ ? 0 : 1;
}

// One frame's fade steps for every copy of a slot. A rise starts from -3000
// at the lowest and a fall cuts to silence below -3000, so no fade crawls
// through the range where nothing is heard.
void SoundSystem::StepFades(SoundSlot& s) {
  const int e = s.fadeStep;
  for (int c = 0; c < s.copyCount; c++) {
    SoundCopy& copy = s.copies[c];
    if (copy.paused || copy.fadeTarget == kNoFade) continue;
    int v = platform::GetAudioBufferVolume(copy.buffer);
    const int d = copy.fadeTarget;
    for (int k = 0; k < fadeStepsPerFrame_; k++) {
      if (std::abs(v - d) <= e) {
        v = d;
        copy.fadeTarget = kNoFade;
        break;
      }
      if (v < d) {
        v = (v > -3000 ? v : -3000) + e;
      } else {
        v -= e;
        if (v < -3000) {
          v = kSilence;
          copy.fadeTarget = kNoFade;
          break;
        }
      }
    }
    platform::SetAudioBufferVolume(copy.buffer, v < kSilence ? kSilence : v);
  }
}

// The stream pass runs first: a stream whose ring has stopped is freed there
// before the fades would step it.
int SoundSystem::UpdateSoundFades() {
  if (!device_) return 1;
  UpdateStreams();
  for (SoundSlot& s : slots_)
    if (s.loaded) StepFades(s);
  return 0;
}

}  // namespace sound
