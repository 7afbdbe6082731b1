// api_getters.cpp -- the getter handler: the get_ calls by which scripts
// read units, path points, statistics, pads, settings and the engine.

#include "api/api_args.h"
#include "api/api_local.h"
#include "api/api_set_options.h"
#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

namespace {

// [SECTION] Unit values
//
// The value a row gives for a bad handle is written first; a handle names a
// unit only while its slot holds a live one.

// get_hp(unit): the HP; -1 for a bad handle.
void CallGetHp(Call& call) {
  SetInt(call, -1);
  if (units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0))) SetInt(call, units::GetUnitHp(*unit));
}

// get_damage(unit): the damage taken; 0 for a bad handle.
void CallGetDamage(Call& call) {
  SetInt(call, 0);
  if (units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0))) SetInt(call, units::GetUnitDamageTaken(*unit));
}

// get_ammo(unit, slot): the current ammunition of weapon slot 0..3; -1 for
// a bad handle or slot, a slot without a weapon type, or one with no child
// on its hard points.
void CallGetAmmo(Call& call) {
  SetInt(call, -1);
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  int32_t slot = ArgInt(call, 1);
  if (!unit || slot < 0 || slot >= units::kUnitWeaponSlots || !unit->weaponTypes[slot]) return;
  for (units::Unit* child : unit->weaponChildren[slot])
    if (child) {
      SetInt(call, unit->ammo[slot][0]);
      return;
    }
}

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
    {"get_child_handle", nullptr},
    {"get_child_handle_array", nullptr},
    {"get_control", nullptr},
    {"get_damage", CallGetDamage},
    {"get_damage_state", nullptr},
    {"get_debug_mode", nullptr},
    {"get_destroy_state", nullptr},
    {"get_destroy_num", nullptr},
    {"get_dir", nullptr},
    {"get_engine_rpm", nullptr},
    {"get_event_mode", CallGetEventMode},
    {"get_fox_state", nullptr},
    {"get_game_level", CallGetGameLevel},
    {"get_gun_range_state", nullptr},
    {"get_handle", nullptr},
    {"get_handle_array", nullptr},
    {"get_head_pos", nullptr},
    {"get_hit_state", nullptr},
    {"get_hp", CallGetHp},
    {"get_hp_rate", nullptr},
    {"get_label", nullptr},
    {"get_landing_rate", nullptr},
    {"get_language", nullptr},
    {"get_length", nullptr},
    {"get_length_label", nullptr},
    {"get_local_pos", nullptr},
    {"get_local_rot", nullptr},
    {"get_lock_state", nullptr},
    {"get_master", nullptr},
    {"get_miss_state", nullptr},
    {"get_mode", nullptr},
    {"get_moment", nullptr},
    {"get_mov", nullptr},
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
    {"get_parent", nullptr},
    {"get_path_handle", nullptr},
    {"get_past_time", nullptr},
    {"get_player_unit", nullptr},
    {"get_player_weapon", nullptr},
    {"get_pos", nullptr},
    {"get_printed_name", nullptr},
    {"get_pylon", nullptr},
    {"get_replay_mode", nullptr},
    {"get_rest_time", nullptr},
    {"get_root_script_name", nullptr},
    {"get_rot", nullptr},
    {"get_scale", nullptr},
    {"get_score", nullptr},
    {"get_screen_size", nullptr},
    {"get_script_name", nullptr},
    {"get_speed", nullptr},
    {"get_system_option", CallGetSystemOption},
    {"get_team_name", nullptr},
    {"get_texture_size", nullptr},
    {"get_tire_pos", nullptr},
    {"get_total_num", nullptr},
    {"get_unit_handle", nullptr},
    {"get_unit_handle_array", nullptr},
    {"get_unit_id", nullptr},
    {"get_unit_master", nullptr},
    {"get_unit_num", nullptr},
    {"get_up", nullptr},
};
const size_t kGetterCallCount = sizeof kGetterCalls / sizeof kGetterCalls[0];

const script::SystemCallHandler HandleGetterSystemCall = TableHandler<kGetterCalls, kGetterCallCount>;

}  // namespace api
