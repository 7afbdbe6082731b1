// api_getters.cpp -- the getter handler: the get_ calls by which scripts
// read units, path points, statistics, pads, settings and the engine.

#include "api/api_args.h"
#include "api/api_get_units.h"
#include "api/api_get_world.h"
#include "api/api_local.h"
#include "api/api_set_options.h"
#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

namespace {

// [SECTION] Game and engine

// get_event_mode(): 0 off, non-zero in an event, -1 while one is skipped.
void CallGetEventMode(Call& call) {
  if (call.world) SetInt(call, world::GetEventMode(*call.world));
}

// get_game_level(): 0 to 2, as set_game_level left it.
void CallGetGameLevel(Call& call) {
  if (call.world) SetInt(call, world::GetGameLevel(*call.world));
}

}  // namespace

// [SECTION] Names

const CallEntry kGetterCalls[] = {
    {"get_ammo", CallGetAmmo},
    {"get_arrive_num", CallGetArriveNum},
    {"get_child_handle", CallGetChildHandle},
    {"get_child_handle_array", CallGetChildHandleArray},
    {"get_control", CallGetControl},
    {"get_damage", CallGetDamage},
    {"get_damage_state", CallGetDamageState},
    {"get_debug_mode", CallGetDebugMode},
    {"get_destroy_state", CallGetDestroyState},
    {"get_destroy_num", CallGetDestroyNum},
    {"get_dir", CallGetDir},
    {"get_engine_rpm", CallGetEngineRpm},
    {"get_event_mode", CallGetEventMode},
    {"get_fox_state", CallGetFoxState},
    {"get_game_level", CallGetGameLevel},
    {"get_gun_range_state", CallGetGunRangeState},
    {"get_handle", CallGetHandle},
    {"get_handle_array", CallGetHandleArray},
    {"get_head_pos", CallGetHeadPos},
    {"get_hit_state", CallGetHitState},
    {"get_hp", CallGetHp},
    {"get_hp_rate", CallGetHpRate},
    {"get_label", CallGetLabel},
    {"get_landing_rate", CallGetLandingRate},
    {"get_language", CallGetLanguage},
    {"get_length", CallGetLength},
    {"get_length_label", CallGetLengthLabel},
    {"get_local_pos", CallGetLocalPos},
    {"get_local_rot", CallGetLocalRot},
    {"get_lock_state", CallGetLockState},
    {"get_master", CallGetMaster},
    {"get_miss_state", CallGetMissState},
    {"get_mode", CallGetMode},
    {"get_moment", CallGetMoment},
    {"get_mov", CallGetMov},
    {"get_pad_analog", CallGetPadAnalog},
    {"get_pad_analog_raw", CallGetPadAnalogRaw},
    {"get_pad_map", CallGetPadMap},
    {"get_pad_map_str", CallGetPadMapStr},
    {"get_pad_name", CallGetPadName},
    {"get_pad_now", CallGetPadNow},
    {"get_pad_now_raw", CallGetPadNowRaw},
    {"get_pad_rep", CallGetPadRep},
    {"get_pad_rep_raw", CallGetPadRepRaw},
    {"get_pad_sensitivity", CallGetPadSensitivity},
    {"get_pad_trg", CallGetPadTrg},
    {"get_pad_trg_raw", CallGetPadTrgRaw},
    {"get_parent", CallGetParent},
    {"get_path_handle", CallGetPathHandle},
    {"get_past_time", CallGetPastTime},
    {"get_player_unit", CallGetPlayerUnit},
    {"get_player_weapon", CallGetPlayerWeapon},
    {"get_pos", CallGetPos},
    {"get_printed_name", CallGetPrintedName},
    {"get_pylon", CallGetPylon},
    {"get_replay_mode", CallGetReplayMode},
    {"get_rest_time", CallGetRestTime},
    {"get_root_script_name", CallGetRootScriptName},
    {"get_rot", CallGetRot},
    {"get_scale", CallGetScale},
    {"get_score", CallGetScore},
    {"get_screen_size", CallGetScreenSize},
    {"get_script_name", CallGetScriptName},
    {"get_speed", CallGetSpeed},
    {"get_system_option", CallGetSystemOption},
    {"get_team_name", CallGetTeamName},
    {"get_texture_size", CallGetTextureSize},
    {"get_tire_pos", CallGetTirePos},
    {"get_total_num", CallGetTotalNum},
    {"get_unit_handle", CallGetUnitHandle},
    {"get_unit_handle_array", CallGetUnitHandleArray},
    {"get_unit_id", CallGetUnitId},
    {"get_unit_master", CallGetUnitMaster},
    {"get_unit_num", CallGetUnitNum},
    {"get_up", CallGetUp},
};
const size_t kGetterCallCount = sizeof kGetterCalls / sizeof kGetterCalls[0];

const script::SystemCallHandler HandleGetterSystemCall = TableHandler<kGetterCalls, kGetterCallCount>;

}  // namespace api
