// api_getters.cpp -- the getter handler: the get_ calls by which scripts
// read units, path points, statistics, pads, settings and the engine.

#include "api/api_args.h"
#include "api/api_get_units.h"
#include "api/api_local.h"
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
    {"get_arrive_num", nullptr},
    {"get_child_handle", CallGetChildHandle},
    {"get_child_handle_array", CallGetChildHandleArray},
    {"get_control", CallGetControl},
    {"get_damage", CallGetDamage},
    {"get_damage_state", nullptr},
    {"get_debug_mode", nullptr},
    {"get_destroy_state", nullptr},
    {"get_destroy_num", nullptr},
    {"get_dir", CallGetDir},
    {"get_engine_rpm", CallGetEngineRpm},
    {"get_event_mode", CallGetEventMode},
    {"get_fox_state", nullptr},
    {"get_game_level", CallGetGameLevel},
    {"get_gun_range_state", nullptr},
    {"get_handle", CallGetHandle},
    {"get_handle_array", CallGetHandleArray},
    {"get_head_pos", CallGetHeadPos},
    {"get_hit_state", nullptr},
    {"get_hp", CallGetHp},
    {"get_hp_rate", CallGetHpRate},
    {"get_label", CallGetLabel},
    {"get_landing_rate", CallGetLandingRate},
    {"get_language", nullptr},
    {"get_length", CallGetLength},
    {"get_length_label", CallGetLengthLabel},
    {"get_local_pos", CallGetLocalPos},
    {"get_local_rot", CallGetLocalRot},
    {"get_lock_state", nullptr},
    {"get_master", CallGetMaster},
    {"get_miss_state", nullptr},
    {"get_mode", CallGetMode},
    {"get_moment", CallGetMoment},
    {"get_mov", CallGetMov},
    {"get_pad_analog", nullptr},
    {"get_pad_analog_raw", nullptr},
    {"get_pad_map", nullptr},
    {"get_pad_map_str", nullptr},
    {"get_pad_name", nullptr},
    {"get_pad_now", nullptr},
    {"get_pad_now_raw", nullptr},
    {"get_pad_rep", nullptr},
    {"get_pad_rep_raw", nullptr},
    {"get_pad_sensitivity", nullptr},
    {"get_pad_trg", nullptr},
    {"get_pad_trg_raw", nullptr},
    {"get_parent", CallGetParent},
    {"get_path_handle", CallGetPathHandle},
    {"get_past_time", nullptr},
    {"get_player_unit", nullptr},
    {"get_player_weapon", nullptr},
    {"get_pos", CallGetPos},
    {"get_printed_name", CallGetPrintedName},
    {"get_pylon", CallGetPylon},
    {"get_replay_mode", nullptr},
    {"get_rest_time", nullptr},
    {"get_root_script_name", nullptr},
    {"get_rot", CallGetRot},
    {"get_scale", CallGetScale},
    {"get_score", CallGetScore},
    {"get_screen_size", CallGetScreenSize},
    {"get_script_name", nullptr},
    {"get_speed", CallGetSpeed},
    {"get_system_option", nullptr},
    {"get_team_name", CallGetTeamName},
    {"get_texture_size", CallGetTextureSize},
    {"get_tire_pos", CallGetTirePos},
    {"get_total_num", nullptr},
    {"get_unit_handle", CallGetUnitHandle},
    {"get_unit_handle_array", CallGetUnitHandleArray},
    {"get_unit_id", CallGetUnitId},
    {"get_unit_master", nullptr},
    {"get_unit_num", CallGetUnitNum},
    {"get_up", CallGetUp},
};
const size_t kGetterCallCount = sizeof kGetterCalls / sizeof kGetterCalls[0];

const script::SystemCallHandler HandleGetterSystemCall = TableHandler<kGetterCalls, kGetterCallCount>;

}  // namespace api
