// sound_device.cpp -- the output device and slot operations. A stand-in for
// now: no device is opened, so every operation answers as on a machine
// without sound.

#include "sound/sound_public.h"

namespace sound {

namespace {

int GroupOf(int slot) { return slot == kMusicSlot ? 1 : slot == kVoiceSlot ? 2 : 0; }

}  // namespace

int SoundSystem::InitDirectSound(platform::Window* window) {
  (void)window;
  device_ = false;
  return 1;
}

int SoundSystem::LoadSoundEffect(int slot, const char* fileName, int copies, int flags) {
  (void)slot;
  (void)fileName;
  (void)copies;
  (void)flags;
  return 1;
}

int SoundSystem::SetSoundGroupVolume(int groupSlot, int volume) {
  groupVolume_[GroupOf(groupSlot)] = volume;
  return 0;
}

int SoundSystem::GetSoundGroupVolume(int groupSlot) const { return groupVolume_[GroupOf(groupSlot)]; }

int SoundSystem::SetFadeStepCount(int count) {
  fadeSteps_ = count;
  return 0;
}

int SoundSystem::UpdateSoundFades() { return device_ ? 0 : 1; }

int SoundSystem::StopSoundSlot(int slot, int copy) {
  (void)slot;
  (void)copy;
  return 1;
}

}  // namespace sound
