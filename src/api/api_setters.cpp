// api_setters.cpp -- the setter handler: the set_ calls by which scripts
// change units, the camera, the HUD, the environment, pads, volumes and
// system options; and the handler that saves the settings.

#include <string>

#include "api/api_args.h"
#include "api/api_local.h"
#include "api/api_set_options.h"
#include "api/api_set_units.h"
#include "sound/sound_public.h"
#include "world/world_public.h"

namespace api {

namespace {

// [SECTION] Environment, world and HUD

// set_fade_color({r, g, b}): the screen-fade sprite's colour, each member
// / 255 (its opacity is the fade value's).
void CallSetFadeColor(Call& call) {
  Colour c = ArgColour(call, 0);
  if (call.world) world::set_fade_color(*call.world, c.r, c.g, c.b, c.a);
}

// set_flight_area(corner, corner, margin): the flight-area box, centred.
void CallSetFlightArea(Call& call) {
  Vec3 a = ArgVector(call, 0);
  Vec3 b = ArgVector(call, 1);
  if (call.world) world::set_flight_area(*call.world, a.x, a.y, a.z, b.x, b.y, b.z, ArgFloat(call, 2));
}

// set_flight_area_center(point): the flight area's centre alone.
void CallSetFlightAreaCenter(Call& call) {
  Vec3 p = ArgVector(call, 0);
  if (call.world) world::set_flight_area_center(*call.world, p.x, p.y, p.z);
}

// set_event_mode(flag): every effect sound stops, the world enters or
// leaves the event, and the game's chance starts again: from seed 0, so
// that a replay repeats it, or from the time in a network game.
void CallSetEventMode(Call& call) {
  world::GameWorld* w = call.world;
  if (!w) return;
  if (w->sound) w->sound->StopSoundSlot(-1, -1);
  world::set_event_mode(*w, ArgInt(call, 0) != 0 ? 1 : 0);
  w->random.Seed(world::IsNetworkGame(*w) && w->clock ? w->clock->NowMs() : 0u);
}

// The environment entry (0 or 1) of argument 1; any other is an error.
int ArgEntry(const Call& call) {
  int32_t entry = ArgInt(call, 0);
  if (entry != 0 && entry != 1) RaiseOutOfRange(call);
  return entry;
}

Vec3 ColourVector(const Colour& c) { return Vec3{c.r, c.g, c.b}; }

// set_fog_state(entry, near, far, {r, g, b}): the entry's fog.
void CallSetFogState(Call& call) {
  int entry = ArgEntry(call);
  float nearDistance = ArgFloat(call, 1), farDistance = ArgFloat(call, 2);
  Vec3 colour = ColourVector(ArgColour(call, 3));
  if (call.world) world::set_fog_state(*call.world, entry, nearDistance, farDistance, colour);
}

// set_light_state(entry, direction, colour, colour): the entry's light.
void CallSetLightState(Call& call) {
  int entry = ArgEntry(call);
  Vec3 direction = ArgVector(call, 1);
  Vec3 a = ColourVector(ArgColour(call, 2));
  Vec3 b = ColourVector(ArgColour(call, 3));
  if (call.world) world::set_light_state(*call.world, entry, direction, a, b);
}

// set_sky_state(entry, sky file, second sky file, value): both files found
// from the calling script's folder.
void CallSetSkyState(Call& call) {
  int entry = ArgEntry(call);
  const char* folder = call.context && call.context->folder ? call.context->folder : "";
  std::string first = script::ResolveScriptPath(ArgText(call, 1), folder);
  std::string second = script::ResolveScriptPath(ArgText(call, 2), folder);
  int value = ArgInt(call, 3);
  if (call.world) world::set_sky_state(*call.world, entry, first.c_str(), second.c_str(), value);
}

// set_shadow_state(entry, value): handed on unchanged.
void CallSetShadowState(Call& call) {
  if (call.world) world::set_shadow_state(*call.world, ArgInt(call, 0), ArgInt(call, 1));
}

// set_event_hud(value): the world's event-HUD link.
void CallSetEventHud(Call& call) {
  if (call.world) world::SetOwnerLink(*call.world, ArgInt(call, 0));
}

}  // namespace

// [SECTION] Names

const CallEntry kSetterCalls[] = {
    {"set_active_unit", CallSetActiveUnit},
    {"set_animation", CallSetAnimation},
    {"set_barrier", CallSetBarrier},
    {"set_camera_focus", CallSetCameraFocus},
    {"set_camera_mode", CallSetCameraMode},
    {"set_camera_roll", CallSetCameraRoll},
    {"set_camera_shadow", CallSetCameraShadow},
    {"set_camera_shake_power", CallSetCameraShakePower},
    {"set_camera_shake_rate", CallSetCameraShakeRate},
    {"set_camera_zoom", CallSetCameraZoom},
    {"set_color", CallSetColor},
    {"set_defensive", CallSetDefensive},
    {"set_draw_flag", CallSetDrawFlag},
    {"set_duck", CallSetDuck},
    {"set_engine_rpm", CallSetEngineRpm},
    {"set_event_hud", CallSetEventHud},
    {"set_event_mode", CallSetEventMode},
    {"set_exclusive_label", CallSetExclusiveLabel},
    {"set_fade_color", CallSetFadeColor},
    {"set_flight_area", CallSetFlightArea},
    {"set_flight_area_center", CallSetFlightAreaCenter},
    {"set_fog_state", CallSetFogState},
    {"set_game_level", CallSetGameLevel},
    {"set_height_offset", CallSetHeightOffset},
    {"set_height_stall", CallSetHeightStall},
    {"set_hp", CallSetHp},
    {"set_hud_light", CallSetHudLight},
    {"set_hud_name", CallSetHudName},
    {"set_ignore_label", CallSetIgnoreLabel},
    {"set_ignore_mode", CallSetIgnoreMode},
    {"set_ignored", CallSetIgnored},
    {"set_important", CallSetImportant},
    {"set_jamming", CallSetJamming},
    {"set_key_unit", CallSetKeyUnit},
    {"set_label", CallSetLabel},
    {"set_label_child", CallSetLabelChild},
    {"set_landing_rate", CallSetLandingRate},
    {"set_light_rate", CallSetLightRate},
    {"set_light_state", CallSetLightState},
    {"set_local_pos", CallSetLocalPos},
    {"set_local_rot", CallSetLocalRot},
    {"set_master", CallSetMaster},
    {"set_moment", CallSetMoment},
    {"set_mov", CallSetMov},
    {"set_offset", CallSetOffset},
    {"set_pad_map", CallSetPadMap},
    {"set_pad_sensitivity", CallSetPadSensitivity},
    {"set_parent", CallSetParent},
    {"set_path", CallSetPath},
    {"set_player_unit", CallSetPlayerUnit},
    {"set_player_weapon", CallSetPlayerWeapon},
    {"set_pos", CallSetPos},
    {"set_pov_emulation", CallSetPovEmulation},
    {"set_printed_name", CallSetPrintedName},
    {"set_priority_label", CallSetPriorityLabel},
    {"set_priority_mode", CallSetPriorityMode},
    {"set_priority_nontarget", CallSetPriorityNontarget},
    {"set_priority_target", CallSetPriorityTarget},
    {"set_pylon", CallSetPylon},
    {"set_rest_time", CallSetRestTime},
    {"set_rot", CallSetRot},
    {"set_scale", CallSetScale},
    {"set_score", CallSetScore},
    {"set_section", CallSetSection},
    {"set_shadow_state", CallSetShadowState},
    {"set_sky_rate", CallSetSkyRate},
    {"set_sky_state", CallSetSkyState},
    {"set_speed", CallSetSpeed},
    {"set_speed_target", CallSetSpeedTarget},
    {"set_sprite_rect", CallSetSpriteRect},
    {"set_system_option", CallSetSystemOption},
    {"set_system_volume_bgm", CallSetSystemVolumeBgm},
    {"set_system_volume_se", CallSetSystemVolumeSe},
    {"set_system_volume_voice", CallSetSystemVolumeVoice},
    {"set_target", CallSetTarget},
    {"set_target_flag", CallSetTargetFlag},
    {"set_team_name", CallSetTeamName},
    {"set_territory", CallSetTerritory},
    {"set_unit_id", CallSetUnitId},
};
const size_t kSetterCallCount = sizeof kSetterCalls / sizeof kSetterCalls[0];

const script::SystemCallHandler HandleSetterSystemCall = TableHandler<kSetterCalls, kSetterCallCount>;

// [SECTION] Saving the settings

const CallEntry kSaveOptionCalls[] = {
    {"save_system_option", CallSaveSystemOption},
};
const size_t kSaveOptionCallCount = sizeof kSaveOptionCalls / sizeof kSaveOptionCalls[0];

const script::SystemCallHandler HandleSaveSystemOption = TableHandler<kSaveOptionCalls, kSaveOptionCallCount>;

}  // namespace api
