// api_sounds.cpp -- the general handler's sound calls: effects loaded into
// slots and played, stopped, paused and faded by handle or group; music and
// voice streamed from files; and the HUD's map switch.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "api/api_args.h"
#include "api/api_local.h"
#include "render/render_public.h"
#include "sound/sound_public.h"
#include "world/world_public.h"

namespace api {

namespace {

using core::Sjis;

// Copies of an effect a slot gets when a script loads it.
constexpr int kEffectCopies = 6;
// `stop_se` leaves the slots up to this one alone: the engine's own sounds.
constexpr int kLastReservedSlot = 10;
// The HUD flags value that hides the 2D layer's map.
constexpr int32_t kHudMapHidden = 2;

// The sound system the calls act on, or null (no world or no sound: the
// calls return their preset).
sound::SoundSystem* Sound(const Call& call) { return call.world ? call.world->sound : nullptr; }

core::LogSystem* CallLog(const Call& call) {
  return call.world && call.world->log ? call.world->log : call.context->engine->log;
}

// A path of the call resolved against the calling script's folder.
std::string ResolvedPath(const Call& call, int index) {
  return script::ResolveScriptPath(ArgText(call, index), call.context->folder ? call.context->folder : "");
}

// A slot the sound table holds.
bool SlotInTable(int32_t slot) { return slot >= 0 && slot < sound::kSlotCount; }

// What play_se and play_se_3d return for the sound system's answer: the
// handle of the copy that plays, or -1. The sound system answers with a
// number that is no copy of the slot when nothing played (an empty or full
// slot, a refusing device, no device); such a number never becomes a handle.
void SetPlayResult(Call& call, int32_t slot, int copy) {
  sound::SoundSystem* s = Sound(call);
  bool played = SlotInTable(slot) && copy >= 0 && copy < s->Slot(slot).copyCount;
  SetInt(call, played ? MakeSoundHandle(slot, copy) : -1);
}

void Play(Call& call, int32_t slot, int32_t volume, int32_t pan, int32_t frequency, int32_t loop) {
  sound::SoundSystem* s = Sound(call);
  if (!SlotInTable(slot)) {
    SetInt(call, -1);
    return;
  }
  SetPlayResult(call, slot, s->PlaySoundSlot(slot, loop, volume, pan, frequency));
}

// A float in an int the way a cast truncates, without overflowing.
int32_t Truncate(float value) {
  if (!(value == value)) return 0;
  if (value >= 2147483520.0f) return INT32_MAX;
  if (value <= -2147483520.0f) return INT32_MIN;
  return int32_t(value);
}

void Fade(Call& call, int group) {
  SetInt(call, 1);
  sound::SoundSystem* s = Sound(call);
  if (s) s->SetSoundFadeTarget(group, 0, FadeVolume(ArgFloat(call, 0)), SoundFadeStep(ArgFloat(call, 1)));
}

// Pauses (flag non-zero) or resumes copy 0 of a stream slot; the result is
// the sound system's.
void PauseStream(Call& call, int slot) {
  sound::SoundSystem* s = Sound(call);
  if (!s) return;
  SetInt(call, ArgInt(call, 0) != 0 ? s->PauseSoundSlot(slot, 0) : s->ResumeSoundSlot(slot, 0));
}

// The length of a sound file in milliseconds (-1: no file, 0: no sound).
int StreamLength(const Call& call, const std::string& path) {
  return Sound(call)->GetSoundFileLength(path.c_str());
}

}  // namespace

// load_se(slot, path): the whole file into the slot with six copies.
void CallLoadSe(Call& call) {
  sound::SoundSystem* s = Sound(call);
  if (!s) return;
  std::string path = ResolvedPath(call, 1);
  s->LoadSoundEffect(ArgInt(call, 0), path.c_str(), kEffectCopies, 0);
}

// play_se(slot, volume, pan, frequency, loop): the handle, or -1.
void CallPlaySe(Call& call) {
  if (!Sound(call)) return;
  Play(call, ArgInt(call, 0), ArgInt(call, 1), ArgInt(call, 2), ArgInt(call, 3), ArgInt(call, 4));
}

// play_se_3d(slot, position, loop): as play_se, quieter with the distance
// from the camera's eye and panned by where the position stands in view.
void CallPlaySe3d(Call& call) {
  const script::CScriptArray* object = ArgCompound(call, 1);
  if (!object) script::RaiseScriptError("%s", Sjis("play_se_3d関数の第2引数がオブジェクトではありません"));
  Vec3 position = ReadVector(object);
  if (!Sound(call)) return;
  world::GameWorld& w = *call.world;
  float volume = 0.0f;
  float pan = 0.0f;
  if (w.graphics) {
    volume = w.graphics->GetCameraDistance(position);
    pan = w.graphics->GetSoundPan(position);
  } else {
    Vec3 d = platform::Vec3Subtract(position, w.camera.view.eye);
    volume = -2.0f * std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  }
  Play(call, ArgInt(call, 0), Truncate(volume), Truncate(pan), 0, ArgInt(call, 2));
}

// stop_se(slot): every copy of an effect slot; the engine's reserved slots
// 0 to 10 are never stopped by a script.
void CallStopSe(Call& call) {
  sound::SoundSystem* s = Sound(call);
  int32_t slot = ArgInt(call, 0);
  if (s && slot > kLastReservedSlot) s->StopSoundSlot(slot, -1);
}

void CallStopBgm(Call& call) {
  if (sound::SoundSystem* s = Sound(call)) s->StopSoundSlot(sound::kMusicSlot, -1);
}

void CallStopVoice(Call& call) {
  if (sound::SoundSystem* s = Sound(call)) s->StopSoundSlot(sound::kVoiceSlot, -1);
}

// pause_se(handle, mode): a negative mode addresses every effect slot,
// otherwise the copy the handle names; a non-zero first argument pauses,
// zero resumes. A handle whose slot is outside the table, or whose copy is
// negative, names no copy: it is refused (result 1) rather than reaching the
// sound system, where a negative slot would mean every slot.
void CallPauseSe(Call& call) {
  sound::SoundSystem* s = Sound(call);
  if (!s) return;
  int32_t handle = ArgInt(call, 0);
  int32_t slot = -1;
  int32_t copy = -1;
  if (ArgInt(call, 1) >= 0) {
    SplitSoundHandle(handle, &slot, &copy);
    if (!SlotInTable(slot) || copy < 0) {
      SetInt(call, 1);
      return;
    }
  }
  SetInt(call, handle != 0 ? s->PauseSoundSlot(slot, copy) : s->ResumeSoundSlot(slot, copy));
}

void CallPauseBgm(Call& call) { PauseStream(call, sound::kMusicSlot); }
void CallPauseVoice(Call& call) { PauseStream(call, sound::kVoiceSlot); }

// fade_se / fade_bgm / fade_voice(volume fraction, seconds): 1.
void CallFadeSe(Call& call) { Fade(call, -1); }
void CallFadeBgm(Call& call) { Fade(call, sound::kMusicSlot); }
void CallFadeVoice(Call& call) { Fade(call, sound::kVoiceSlot); }

// play_bgm(path, loop point): the music stream; a loop point of 0 or more
// loops back to that sample. The length in seconds; a file that does not
// play is logged and leaves the music that plays alone.
void CallPlayBgm(Call& call) {
  sound::SoundSystem* s = Sound(call);
  if (!s) return;
  std::string path = ResolvedPath(call, 0);
  int length = StreamLength(call, path);
  if (length < 0) {
    core::Logf(CallLog(call), core::kLogInfo, Sjis("[%s]がオープンできません"), path.c_str());
    return;
  }
  if (length == 0) {
    core::Logf(CallLog(call), core::kLogInfo, Sjis("[%s]は音声ファイルではありません"), path.c_str());
    return;
  }
  float seconds = float(length) / 1000.0f;
  SetFloat(call, seconds);
  int32_t loopPoint = ArgInt(call, 1);
  if (loopPoint < 0) {
    s->OpenSoundStream(sound::kMusicSlot, path.c_str(), 0);
  } else {
    s->OpenSoundStream(sound::kMusicSlot, path.c_str(), sound::kStreamLoop);
    s->SetStreamLoopPoint(sound::kMusicSlot, loopPoint);
  }
  core::Logf(CallLog(call), core::kLogInfo, Sjis("[%s](%.2f秒)を再生します\n"), path.c_str(), double(seconds));
}

// play_voice(path): the voice stream, once. The length in seconds; while
// events are skipped nothing plays. A file that does not play is an error.
void CallPlayVoice(Call& call) {
  sound::SoundSystem* s = Sound(call);
  if (!s) return;
  std::string path = ResolvedPath(call, 0);
  int length = StreamLength(call, path);
  if (length < 0) script::RaiseScriptError(Sjis("[%s]がオープンできません"), path.c_str());
  if (length == 0) script::RaiseScriptError(Sjis("[%s]は音声ファイルではありません"), path.c_str());
  if (call.world->eventMode == -1) return;
  float seconds = float(length) / 1000.0f;
  SetFloat(call, seconds);
  s->OpenSoundStream(sound::kVoiceSlot, path.c_str(), 0);
  core::Logf(CallLog(call), core::kLogInfo, Sjis("MSG-> [%s](%.2f秒)を再生します\n"), path.c_str(), double(seconds));
}

// hud_system(command): "NO_MAP" hides the 2D layer's map every frame until
// "OK_MAP"; other texts do nothing.
void CallHudSystem(Call& call) {
  if (!call.world) return;
  const char* command = ArgText(call, 0);
  if (std::strcmp(command, "NO_MAP") == 0) call.world->hudFlags |= kHudMapHidden;
  else if (std::strcmp(command, "OK_MAP") == 0) call.world->hudFlags &= ~kHudMapHidden;
}

}  // namespace api
