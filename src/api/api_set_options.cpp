// api_set_options.cpp -- the setters of the camera, the environment, the
// world's words, the HUD, the pads and the volumes; the system options of
// the settings block behind one key table for set_system_option and
// get_system_option; and save_system_option.

#include "api/api_set_options.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "api/api_args.h"
#include "core/core_public.h"
#include "input/input_public.h"
#include "sound/sound_public.h"
#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

namespace {

// A float argument a setter may take into the camera or the environment;
// false for a NaN or an infinity, which the call then ignores.
bool ArgFinite(const Call& call, int index, float* value) {
  float v = ArgFloat(call, index);
  if (!std::isfinite(v)) return false;
  *value = v;
  return true;
}

core::SettingsBlock* Settings(const Call& call) { return call.world ? call.world->settings : nullptr; }
input::InputSystem* Input(const Call& call) { return call.world ? call.world->input : nullptr; }
sound::SoundSystem* Sound(const Call& call) { return call.world ? call.world->sound : nullptr; }

// The named unit type (alias first, then name), or null for an empty text
// or a name no type carries.
units::UnitType* NamedType(world::GameWorld& world, const char* name) {
  return name[0] ? units::FindUnitTypeByName(world::GetUnitDatabase(world), name) : nullptr;
}

}  // namespace

// [SECTION] Camera

// set_camera_mode(mode): negative modes hand the choice to the director.
void CallSetCameraMode(Call& call) {
  if (call.world) world::SetCameraMode(*call.world, ArgInt(call, 0));
}

// set_camera_focus(unit, second): both must name live units, handle 0 (the
// pool's unused slot) included among the bad ones.
void CallSetCameraFocus(Call& call) {
  units::Unit* focus = UnitFromHandle(call, ArgInt(call, 0));
  units::Unit* second = UnitFromHandle(call, ArgInt(call, 1));
  if (focus && second) world::SetCameraFocus(*call.world, focus, second);
}

// set_camera_shadow(unit): the unit the near shadow cascade frames.
void CallSetCameraShadow(Call& call) {
  if (units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0))) world::SetCameraShadowUnit(*call.world, unit);
}

// set_camera_roll(roll, flag): a non-zero flag gives the roll back to the
// camera's modes (the largest float marks "no roll of the script's own");
// otherwise the roll is the script's.
void CallSetCameraRoll(Call& call) {
  if (!call.world) return;
  float roll = world::CameraState::kNoRoll;
  if (ArgInt(call, 1) == 0 && !ArgFinite(call, 0, &roll)) return;
  world::SetCameraRoll(*call.world, roll);
}

// set_camera_zoom(degrees): the field of view at once and as the goal the
// camera holds; 0 or below keeps both.
void CallSetCameraZoom(Call& call) {
  float degrees = 0.0f;
  if (call.world && ArgFinite(call, 0, &degrees)) world::SetCameraZoom(*call.world, degrees, degrees);
}

// set_camera_shake_power(point, power): a shake felt by how near the point
// is to where the camera looks.
void CallSetCameraShakePower(Call& call) {
  Vec3 point = ArgVector(call, 0);
  float power = 0.0f;
  if (!call.world || !ArgFinite(call, 1, &power)) return;
  if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z)) return;
  world::AddCameraShake(*call.world, point, power);
}

// set_camera_shake_rate(rate): multiplies every shake.
void CallSetCameraShakeRate(Call& call) {
  float rate = 0.0f;
  if (call.world && ArgFinite(call, 0, &rate)) world::SetCameraShakeRate(*call.world, rate);
}

// [SECTION] Environment, world and HUD

// set_sky_rate(t): the blend between the two environment entries.
void CallSetSkyRate(Call& call) {
  float t = 0.0f;
  if (call.world && ArgFinite(call, 0, &t)) world::GetEnvironment(*call.world).SetEnvironmentBlend(t);
}

// set_light_rate(rate)
void CallSetLightRate(Call& call) {
  float rate = 0.0f;
  if (call.world && ArgFinite(call, 0, &rate)) world::set_light_rate(*call.world, rate);
}

// set_game_level(level): 0 to 2; other levels do nothing.
void CallSetGameLevel(Call& call) {
  int32_t level = ArgInt(call, 0);
  if (call.world && level >= 0 && level <= 2) call.world->gameLevel = level;
}

// set_height_offset(value), set_height_stall(value): words the HUD and the
// flight model read, taken as given.
void CallSetHeightOffset(Call& call) {
  if (call.world) call.world->heightOffset = ArgInt(call, 0);
}

void CallSetHeightStall(Call& call) {
  if (call.world) call.world->stallHeight = ArgInt(call, 0);
}

// set_rest_time(seconds): the rest countdown in steps, truncated. Counts
// the int cannot hold are held within it rather than converted undefined:
// up to its end, and down to half its negative range, since the world goes
// on counting a negative countdown down and must never wrap it. A NaN
// changes nothing.
void CallSetRestTime(Call& call) {
  constexpr int32_t kLowestCount = INT32_MIN / 2;
  float seconds = ArgFloat(call, 0);
  if (!call.world || std::isnan(seconds)) return;
  float steps = seconds * kStepsPerSecond;
  int32_t count;
  if (steps >= 2147483520.0f) count = INT32_MAX;
  else if (steps <= float(kLowestCount)) count = kLowestCount;
  else count = int32_t(steps);
  call.world->restCountdown = count;
}

// set_hud_light(flag): the HUD's images drawn additively (non-zero) or
// plainly, through the engine's flight HUD.
void CallSetHudLight(Call& call) {
  if (call.world && call.world->host.toggleHudSprites)
    call.world->host.toggleHudSprites(call.world->host.user, ArgInt(call, 0));
}

// set_hud_name(unit, type name): the unit takes the named type (none when no
// type has the name); the flight HUD dresses the slot's name, radar and map
// sprites for the new type when it next sees the slot.
void CallSetHudName(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (unit) unit->type = NamedType(*call.world, ArgText(call, 1));
}

// set_player_unit(type name): the player's unit type; an empty text (or a
// name no type carries) clears it.
void CallSetPlayerUnit(Call& call) {
  if (call.world) call.world->playerType = NamedType(*call.world, ArgText(call, 0));
}

// set_player_weapon(slot 0..3, type name): the player's weapon type of the
// slot, cleared the same way; other slots do nothing.
void CallSetPlayerWeapon(Call& call) {
  int32_t slot = ArgInt(call, 0);
  if (!call.world || slot < 0 || slot >= int32_t(std::size(call.world->playerWeaponTypes))) return;
  call.world->playerWeaponTypes[slot] = NamedType(*call.world, ArgText(call, 1));
}

// [SECTION] Pads

namespace {

// The logical button that the key-assignment screens clear when learning is
// cancelled.
constexpr int kLearnCancelButton = 68;
// Axes whose dead zone set_pad_sensitivity sets: all but the third (the
// throttle's, which has none).
constexpr int kSensitivityAxes[] = {0, 1, 3, 4, 5};
// The sensitivity scale: a dead zone of value x 100 raw; 10 already covers
// the whole axis (the input system's raw scale ends at 1000).
constexpr int32_t kSensitivityMax = 10;

bool ValidPadSlot(int32_t slot) { return slot >= 0 && slot < input::kSlotCount; }

// Every slot with a device keeps its button map in its settings entry, so
// the next start finds it again.
void KeepButtonMaps(input::InputSystem& in, core::SettingsBlock* settings) {
  if (!settings) return;
  for (int slot = 0; slot < core::kPadEntryCount; slot++) {
    if (!in.GetDeviceName(slot)[0]) continue;
    for (int b = 0; b < core::kPadButtonCount; b++) settings->padMap[slot][b] = uint8_t(in.GetButtonMap(slot, b));
  }
}

}  // namespace

// set_pad_map(device slot, logical button, raw code): a code of 0 to 255
// maps the button; a negative code learns the control pressed now, unless
// Esc, Backspace or Delete is held on the first device, which cancels the
// learning. Either way the maps of the devices go into the settings. A
// slot outside 0..7, a button outside 0..127 or a code above 255 does
// nothing.
void CallSetPadMap(Call& call) {
  input::InputSystem* in = Input(call);
  int32_t slot = ArgInt(call, 0), button = ArgInt(call, 1), code = ArgInt(call, 2);
  if (!in || !ValidPadSlot(slot) || button < 0 || button >= input::kLogicalButtonCount ||
      code >= input::kRawCodeCount)
    return;
  if (code >= 0) {
    in->SetButtonMap(slot, button, code);
  } else {
    input::InputRawBuffer raw{};
    in->PollDevice(0, &raw);
    if (raw.raw[input::kRawEsc] == 0 && raw.raw[input::kRawBackspace] == 0 && raw.raw[input::kRawDelete] == 0)
      in->LearnButtonMap(slot, button);
    else
      in->SetButtonMap(input::kGroupAll, kLearnCancelButton, input::kRawNone);
  }
  KeepButtonMaps(*in, Settings(call));
}

// set_pad_sensitivity(slot 0..7, value): the dead zone of the slot's axes
// (not the third), kept in the settings and given to the input system as
// value x 100 raw. Values are held to 0..10: below 0 there is no dead zone
// and from 10 up the whole axis is one, so nothing is lost, and the stored
// value can never overflow when start-up scales it again.
void CallSetPadSensitivity(Call& call) {
  int32_t slot = ArgInt(call, 0);
  if (!call.world || !ValidPadSlot(slot)) return;
  int32_t value = ArgInt(call, 1);
  if (value < 0) value = 0;
  if (value > kSensitivityMax) value = kSensitivityMax;
  core::SettingsBlock* settings = Settings(call);
  input::InputSystem* in = Input(call);
  for (int axis : kSensitivityAxes) {
    if (settings) settings->padFree[slot][axis] = value;
    if (in) in->SetDeadZone(slot, axis, value * 100);
  }
}

// set_pov_emulation(slot 0..7, flag): the pad's hat also drives the four
// direction buttons.
void CallSetPovEmulation(Call& call) {
  int32_t slot = ArgInt(call, 0);
  if (input::InputSystem* in = Input(call); in && ValidPadSlot(slot)) in->SetPadMode(slot, ArgInt(call, 1));
}

// [SECTION] Sound volumes

namespace {

// The effect group: any slot but music's and voice's.
constexpr int kEffectGroupSlot = 0;
// The scripts' volume offsets, in 1/100 dB, are held far beyond anything
// audible but where the sound system's sums of option volume, script volume
// and play volume cannot overflow.
constexpr int32_t kScriptVolumeLimit = 1000000;

void SetSystemVolume(Call& call, int groupSlot) {
  sound::SoundSystem* sound = Sound(call);
  if (!sound) return;
  int32_t volume = ArgInt(call, 0);
  if (volume > kScriptVolumeLimit) volume = kScriptVolumeLimit;
  if (volume < -kScriptVolumeLimit) volume = -kScriptVolumeLimit;
  sound->SetSoundSystemVolume(groupSlot, volume);
}

}  // namespace

// set_system_volume_bgm/se/voice(volume): the scripts' offset of a group.
void CallSetSystemVolumeBgm(Call& call) { SetSystemVolume(call, sound::kMusicSlot); }
void CallSetSystemVolumeSe(Call& call) { SetSystemVolume(call, kEffectGroupSlot); }
void CallSetSystemVolumeVoice(Call& call) { SetSystemVolume(call, sound::kVoiceSlot); }

// [SECTION] System options

namespace {

// How an option's value is stored and read back.
enum class OptionKind {
  Choice,       // stored when within low..high, else ignored
  Volume,       // a percentage stored as 1/100 dB and applied to its group
  Shader,       // as Choice, and the render targets are rebuilt next frame
  ShaderQuiet,  // as Choice, read by the render pass as it goes: no rebuild
};

struct OptionKey {
  const char* key;
  int32_t core::SettingsBlock::*field;
  OptionKind kind;
  int32_t low, high;    // Choice and Shader kinds
  int soundGroup;       // Volume kind: the group slot it applies to
};

constexpr int32_t kAny = INT32_MIN, kAll = INT32_MAX;

// The keys scripts set and read, and the settings field behind each.
constexpr OptionKey kOptionKeys[] = {
    {"TEXTURE_SIZE", &core::SettingsBlock::textureMode, OptionKind::Choice, 0, 2, 0},
    {"BGM_VOL", &core::SettingsBlock::bgmVolume, OptionKind::Volume, 0, 0, sound::kMusicSlot},
    {"SE_VOL", &core::SettingsBlock::seVolume, OptionKind::Volume, 0, 0, kEffectGroupSlot},
    {"VOICE_VOL", &core::SettingsBlock::voiceVolume, OptionKind::Volume, 0, 0, sound::kVoiceSlot},
    {"FPS", &core::SettingsBlock::fps, OptionKind::Choice, 0, 3, 0},  // 60, 30, 20, 15 frames a second
    {"FPS_PRINT", &core::SettingsBlock::drawFps, OptionKind::Choice, 0, 2, 0},
    {"SHADER_RESOLUTION", &core::SettingsBlock::highDef, OptionKind::Shader, 0, 2, 0},
    {"SHADER_SHADOW", &core::SettingsBlock::shadow, OptionKind::Shader, 0, 3, 0},
    {"SHADER_GLARE", &core::SettingsBlock::glare, OptionKind::Shader, kAny, kAll, 0},
    {"SHADER_BLOOM", &core::SettingsBlock::bloom, OptionKind::Shader, kAny, kAll, 0},
    {"SHADER_MIRROR", &core::SettingsBlock::mirror, OptionKind::Shader, kAny, kAll, 0},
    {"SHADER_BUMP", &core::SettingsBlock::bump, OptionKind::Shader, kAny, kAll, 0},
    {"SHADER_MULTI", &core::SettingsBlock::multiLight, OptionKind::Shader, kAny, kAll, 0},
    {"SHADER_AERO_LIGHT", &core::SettingsBlock::aeroLight, OptionKind::ShaderQuiet, kAny, kAll, 0},
};

// Volumes: a percentage p of 1 to 100 is stored as (p - 100) x 30 (-2970 to
// 0); 0 or below is silence, stored as -30000; above 100 keeps the volume.
constexpr int32_t kSilentOption = -30000;
constexpr int32_t kOptionStep = 30;

// ASCII letters compared without case; other bytes as they are.
bool EqualsNoCase(const char* a, const char* b) {
  for (;; a++, b++) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 'a' + 'A');
    if (x != y) return false;
    if (!x) return true;
  }
}

const OptionKey* FindOption(const char* key) {
  for (const OptionKey& option : kOptionKeys)
    if (EqualsNoCase(option.key, key)) return &option;
  return nullptr;
}

// The value get_system_option reports for an option's stored value.
int32_t ReadOption(const OptionKey& option, int32_t stored) {
  if (option.kind != OptionKind::Volume) return stored;
  int32_t percent = stored / kOptionStep + 100;  // truncated toward zero
  return percent < 0 ? 0 : percent;
}

}  // namespace

// set_system_option(key, value): see kOptionKeys. Shader keys ask the render
// pass to rebuild its targets at the next frame, whether or not the value
// was taken; volumes go to their sound group at once. The settings file
// sees the values only when save_system_option writes it.
void CallSetSystemOption(Call& call) {
  core::SettingsBlock* settings = Settings(call);
  const OptionKey* option = FindOption(ArgText(call, 0));
  if (!settings || !option) return;
  int32_t value = ArgInt(call, 1);
  int32_t& stored = settings->*(option->field);
  switch (option->kind) {
    case OptionKind::Volume:
      if (value <= 0) stored = kSilentOption;
      else if (value <= 100) stored = (value - 100) * kOptionStep;
      if (sound::SoundSystem* sound = Sound(call)) sound->SetSoundGroupVolume(option->soundGroup, stored);
      break;
    case OptionKind::Choice:
    case OptionKind::Shader:
    case OptionKind::ShaderQuiet:
      if (value >= option->low && value <= option->high) stored = value;
      if (option->kind == OptionKind::Shader) call.world->renderRebuild = 1;
      break;
  }
}

// get_system_option(key): the option's value (volumes as percentages); 0
// for a key not in the table. A value of exactly 256 reads as 0.
void CallGetSystemOption(Call& call) {
  core::SettingsBlock* settings = Settings(call);
  const OptionKey* option = FindOption(ArgText(call, 0));
  int32_t value = settings && option ? ReadOption(*option, settings->*(option->field)) : 0;
  SetInt(call, value == 256 ? 0 : value);
}

// save_system_option(): the settings written to "tkw4.dat" by the engine's
// settings writer, which reports a file it cannot write itself; the call
// returns its preset either way.
void CallSaveSystemOption(Call& call) {
  if (call.world && call.world->host.saveSettings) call.world->host.saveSettings(call.world->host.user);
}

}  // namespace api
