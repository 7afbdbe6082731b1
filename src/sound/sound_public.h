// sound_public.h -- sound output: 256 slots of buffer copies, group
// volumes and fades stepped once per frame.
#pragma once

#include <cstdint>

#include "platform/platform_public.h"

namespace app {
class LogSystem;
}

namespace sound {

constexpr int kSlotCount = 256;
constexpr int kMusicSlot = 254;
constexpr int kVoiceSlot = 255;
constexpr int kSilence = -10000;  // volumes are 1/100 dB, -10000..0

// Sound operations return 1 when there is no device, so a machine without
// sound runs silently.
class SoundSystem {
 public:
  app::LogSystem* log = nullptr;

  // Opens the output device. 0 on success, 1 on failure.
  int InitDirectSound(platform::Window* window);

  // Loads a whole sound file into a slot with `copies` buffer copies.
  int LoadSoundEffect(int slot, const char* fileName, int copies, int flags);
  // Option volume of the group a slot belongs to (0 effects, 254, 255).
  int SetSoundGroupVolume(int groupSlot, int volume);
  int GetSoundGroupVolume(int groupSlot) const;
  // Fade steps run per frame tick (60 / frame rate).
  int SetFadeStepCount(int count);
  // The frame tick: streams, then fades.
  int UpdateSoundFades();
  // Stops one copy (or -1 all) of a slot (or -1 every effect slot).
  int StopSoundSlot(int slot, int copy);

  int FadeStepCount() const { return fadeSteps_; }

 private:
  bool device_ = false;
  int fadeSteps_ = 1;
  int groupVolume_[3] = {};  // effects, music, voice
};

}  // namespace sound
