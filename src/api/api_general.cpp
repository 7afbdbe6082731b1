// api_general.cpp -- the general handler: world, unit and effect calls,
// sound, screen and flow calls, and the data-loading calls.

#include <cmath>
#include <string>
#include <vector>

#include "api/api_args.h"
#include "api/api_local.h"
#include "units/units_public.h"
#include "world/world_public.h"

namespace api {

namespace {

// [SECTION] Flow

// 1 when the file opens through the file layer (packages, then the disk).
bool FileOpens(script::ScriptEngine& se, const std::string& path) {
  if (se.files) {
    core::FileHandle h = se.files->OpenReadFile(path.c_str());
    if (h == core::kNoFile) return false;
    se.files->CloseFileHandle(h);
    return true;
  }
  return platform::PathExists(path.c_str());
}

// A file named to `finish`, resolved against the calling script's folder
// and opened once to prove it is there.
std::string OpenableFinishPath(const Call& call, const char* name) {
  std::string path = script::ResolveScriptPath(name, call.context->folder ? call.context->folder : "");
  if (!FileOpens(*call.context->engine, path)) RaiseCannotOpen(path.c_str());
  return path;
}

// finish(next script, next unit-data file): both stored for the world,
// which takes them up at its next frame; the calling script runs on until
// then. The next script is stored before the second file is tried, so a
// failing second file leaves it stored.
void CallFinish(Call& call) {
  world::GameWorld* w = call.world;
  if (!w) return;
  const char* name = ArgText(call, 0);
  std::string next = name[0] ? OpenableFinishPath(call, name) : std::string();
  if (!w->SetNextScriptPath(next.c_str())) RaiseCannotOpen(next.c_str());

  const char* request = ArgText(call, 1);
  std::string data;
  if (request[0] == '*' && !request[1]) data = request;
  else if (request[0]) data = OpenableFinishPath(call, request);
  if (!w->SetNextUnitDataPath(data.c_str())) RaiseCannotOpen(data.c_str());
  w->RequestFinish();
}

// pause(flag): the world's pause flag; its result.
void CallPause(Call& call) {
  if (call.world) SetInt(call, world::pause(*call.world, ArgInt(call, 0)));
}

// pause_input(flag): while set, the step takes the live input only.
void CallPauseInput(Call& call) {
  if (call.world) call.world->inputPaused = ArgInt(call, 0) != 0 ? 1 : 0;
}

// stop_timer(value): while non-zero the game clocks stand still.
void CallStopTimer(Call& call) {
  if (call.world) call.world->timerStopped = ArgInt(call, 0);
}

// abort_replay(): a replay in playback no longer replaces the live input.
void CallAbortReplay(Call& call) {
  if (call.world) call.world->replayAborted = 1;
}

// [SECTION] Screen

// fade_screen(from, to, seconds): the world's fade runs from 1 - from to
// 1 - to in equal steps over the time; no time fades in one step.
void CallFadeScreen(Call& call) {
  if (!call.world) return;
  float from = ArgFloat(call, 0);
  float to = ArgFloat(call, 1);
  float steps = FadeSteps(ArgFloat(call, 2));
  float step = steps <= 0.0f ? 1.0f : std::fabs(to - from) / steps;
  world::fade_screen(*call.world, 1.0f - from, 1.0f - to, step);
}

// [SECTION] Units: weapons and firing

// is_weapon(unit): 1 when the unit's type is a weapon, else 0 (a bad handle
// too).
void CallIsWeapon(Call& call) {
  SetInt(call, 0);
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (unit && unit->type && (unit->type->attributes & units::kAttrWeapon)) SetInt(call, 1);
}

core::LogSystem* CallLog(const Call& call) {
  return call.world && call.world->log ? call.world->log : call.context->engine->log;
}

// Every weapon slot at once, where a call allows it.
constexpr int32_t kAllWeaponSlots = -1;

// True for a weapon slot 0..3 (and for kAllWeaponSlots when `allowAll`);
// another number is logged and the call does nothing: the slot arrays have
// four entries.
bool WeaponSlotUsable(const Call& call, int32_t slot, bool allowAll) {
  if ((slot >= 0 && slot < units::kUnitWeaponSlots) || (allowAll && slot == kAllWeaponSlots)) return true;
  core::Logf(CallLog(call), core::kLogError, "%s: weapon slot %d is not 0 to 3; nothing done\n", call.name,
             int(slot));
  return false;
}

// supply_weapon(unit, slot, percent): the slot's ammunition topped up by
// the percentage of its capacity, and missing children put on its hard
// points.
void CallSupplyWeapon(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  int32_t slot = ArgInt(call, 1);
  if (!unit || !WeaponSlotUsable(call, slot, false)) return;
  units::SupplyWeapon(*call.world, *unit, slot, ArgInt(call, 2));
}

// change_weapon(unit, slot or -1 for all four, weapon type name): the
// slot's children let go, the slot armed with the named type and its
// children put on the hard points at once. An empty name disarms the slot;
// so does a name no type carries, with a log line, since a script that
// misspells a weapon should be told why its unit has none.
void CallChangeWeapon(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  int32_t slot = ArgInt(call, 1);
  if (!unit || !WeaponSlotUsable(call, slot, true)) return;
  const char* name = ArgText(call, 2);
  units::UnitType* weapon = name[0] ? units::FindUnitTypeByName(world::GetUnitDatabase(*call.world), name) : nullptr;
  if (name[0] && !weapon)
    core::Logf(CallLog(call), core::kLogError, "%s: no unit type named \"%s\"; the slot is left empty\n", call.name,
               name);
  units::ReleaseWeaponChildren(*call.world, *unit, slot);
  units::SetWeapon(*call.world, *unit, slot, weapon);
  // Spawning takes one slot at a time.
  if (slot != kAllWeaponSlots) {
    units::SpawnWeaponSlot(*call.world, *unit, slot, 1);
    return;
  }
  for (int each = 0; each < units::kUnitWeaponSlots; each++) units::SpawnWeaponSlot(*call.world, *unit, each, 1);
}

// The target of shoot_gun and shoot_missile: a live unit locks the shooter
// onto it; anything else (0, a bad handle, a free slot) fires unlocked.
units::Unit* LockOnto(const Call& call, units::Unit& shooter, int32_t handle) {
  units::Unit* target = UnitFromHandle(call, handle);
  shooter.lockWord = target ? 1 : 0;
  shooter.target = target;
  return target;
}

// shoot_gun(unit, target): one gun shot toward the target's head, or
// straight ahead without a target. A target whose head sits at the gun's
// own origin gives no direction to aim along, so the gun fires ahead.
void CallShootGun(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  units::Unit* target = LockOnto(call, *unit, ArgInt(call, 1));
  if (target) {
    Vec3 aim = unit->TransformPointToLocal(units::GetUnitHeadPos(*target));
    float length = std::sqrt(aim.x * aim.x + aim.y * aim.y + aim.z * aim.z);
    if (length > 0.0f && std::isfinite(length)) {
      units::ShootGun(*call.world, *unit, Vec3{aim.x / length, aim.y / length, aim.z / length});
      return;
    }
  }
  units::ShootGunForward(*call.world, *unit);
}

// shoot_missile(unit, target): the current slot's first ready child fired,
// guided onto the target when there is one.
void CallShootMissile(Call& call) {
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit) return;
  LockOnto(call, *unit, ArgInt(call, 1));
  units::ShootMissile(*call.world, *unit);
}

// [SECTION] Units: destruction

// Kills the unit with the kill amount and no attacker or source; true when
// it is down afterwards. An INERT or invulnerable unit, one whose HP never
// falls, or one simulated on another machine (which is only told) is not.
bool DestroyUnit(world::GameWorld& world, units::Unit& unit) {
  return units::ApplyDamage(world, &unit, units::kKillDamage, 0, nullptr, nullptr) <= 0;
}

// destroy(unit): 1 when the unit was destroyed, else 0 (a bad handle, a
// unit already at HP 0, or one the damage could not kill).
void CallDestroy(Call& call) {
  SetInt(call, 0);
  units::Unit* unit = UnitFromHandle(call, ArgInt(call, 0));
  if (!unit || units::GetUnitHp(*unit) <= 0) return;
  SetInt(call, DestroyUnit(*call.world, *unit) ? 1 : 0);
}

// destroy_label(label): every unit of the current event mode that the label
// selects (an empty label: all) and that still has HP is destroyed; the
// number destroyed. The units are chosen before any is hit: destruction
// runs triggers that may place new units, and takes attached parts down
// with their carrier (those are then at HP 0 and not counted twice).
void CallDestroyLabel(Call& call) {
  SetInt(call, 0);
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  const char* label = ArgText(call, 0);
  int mode = world::GetEventMode(world);
  struct Chosen {
    int slot;
    units::Unit* unit;
  };
  std::vector<Chosen> chosen;
  for (int slot = 1; slot < world::CountUnitSlots(world); slot++) {
    units::Unit* unit = world::GetUnitAt(world, slot);
    if (!unit || unit->sceneNumber != mode) continue;
    if (label[0] && !units::MatchLabelPath(*unit, label, 0)) continue;
    chosen.push_back({slot, unit});
  }
  int destroyed = 0;
  for (const Chosen& c : chosen) {
    // Still the same live unit after the kills before it.
    if (world::GetUnitAt(world, c.slot) != c.unit) continue;
    if (units::GetUnitHp(*c.unit) > 0 && DestroyUnit(world, *c.unit)) destroyed++;
  }
  SetInt(call, destroyed);
}

// [SECTION] Other calls

// rand(n): 0 to max(n, 1) - 1 from the world's generator.
void CallRand(Call& call) {
  if (!call.world) return;
  int32_t n = ArgInt(call, 0);
  if (n < 1) n = 1;
  SetInt(call, world::Rand(*call.world) % n);
}

// print_log(text): one log line at the information level; what the log
// returns.
void CallPrintLog(Call& call) {
  core::LogSystem* log = call.world && call.world->log ? call.world->log : call.context->engine->log;
  SetInt(call, core::Log(log, core::kLogInfo, ArgText(call, 0)));
}

// out_area(position): -1 outside the flight area, 1 in its margin band, 0
// well inside.
void CallOutArea(Call& call) {
  Vec3 p = ArgVector(call, 0);
  if (call.world) SetInt(call, world::out_area(*call.world, p.x, p.y, p.z));
}

}  // namespace

// [SECTION] Names

const CallEntry kGeneralCalls[] = {
    {"abort_replay", CallAbortReplay},
    {"active_path", CallActivePath},
    {"active_path_label", CallActivePathLabel},
    {"add_damage", CallAddDamage},
    {"change_weapon", CallChangeWeapon},
    {"create_bomb", CallCreateBomb},
    {"create_cloud", CallCreateCloud},
    {"create_electric", CallCreateElectric},
    {"create_heat", CallCreateHeat},
    {"create_hit_effect", CallCreateHitEffect},
    {"create_lightning", CallCreateLightning},
    {"create_particle", CallCreateParticle},
    {"create_polygon_effect", CallCreatePolygonEffect},
    {"create_sonic", CallCreateSonic},
    {"create_splash", CallCreateSplash},
    {"create_spot_light", CallCreateSpotLight},
    {"create_sprite", CallCreateSprite},
    {"create_sprite_from_file", CallCreateSpriteFromFile},
    {"delete_unit", CallDeleteUnit},
    {"delete_unit_label", CallDeleteUnitLabel},
    {"destroy", CallDestroy},
    {"destroy_label", CallDestroyLabel},
    {"fade_bgm", CallFadeBgm},
    {"fade_screen", CallFadeScreen},
    {"fade_se", CallFadeSe},
    {"fade_voice", CallFadeVoice},
    {"finish", CallFinish},
    {"hud_system", CallHudSystem},
    {"inv_transform", CallInvTransform},
    {"is_ancestor", CallIsAncestor},
    {"is_weapon", CallIsWeapon},
    {"limit_engine", CallLimitEngine},
    {"load_se", CallLoadSe},
    {"move", CallMove},
    {"out_area", CallOutArea},
    {"pause", CallPause},
    {"pause_bgm", CallPauseBgm},
    {"pause_input", CallPauseInput},
    {"pause_se", CallPauseSe},
    {"pause_voice", CallPauseVoice},
    {"play_bgm", CallPlayBgm},
    {"play_se", CallPlaySe},
    {"play_se_3d", CallPlaySe3d},
    {"play_voice", CallPlayVoice},
    {"print_log", CallPrintLog},
    {"put_player_unit", CallPutPlayerUnit},
    {"put_spot_light", CallPutSpotLight},
    {"put_unit", CallPutUnit},
    {"rand", CallRand},
    {"release_all_object", CallReleaseAllObject},
    {"release_cloud", CallReleaseCloud},
    {"release_object", CallReleaseObject},
    {"release_object_label", CallReleaseObjectLabel},
    {"rel_rot", CallRelRot},
    {"shoot_gun", CallShootGun},
    {"shoot_missile", CallShootMissile},
    {"stop_bgm", CallStopBgm},
    {"stop_gun", CallStopGun},
    {"stop_se", CallStopSe},
    {"stop_timer", CallStopTimer},
    {"stop_weapon", CallStopWeapon},
    {"stop_voice", CallStopVoice},
    {"supply_hp", CallSupplyHp},
    {"supply_weapon", CallSupplyWeapon},
    {"transform", CallTransform},
    {"transform_animation", CallTransformAnimation},

    // The scene loaders: unit and map masters, placements and groups.
    {"load_unit_master", CallLoadUnitMaster},
    {"load_map_master", CallLoadMapMaster},
    {"load_map_data", CallLoadMapData},
    {"load_unit_data", CallLoadUnitData},
    {"load_group", CallLoadGroup},
    {"put_group", CallPutGroup},
};
const size_t kGeneralCallCount = sizeof kGeneralCalls / sizeof kGeneralCalls[0];

const script::SystemCallHandler HandleGeneralSystemCall = TableHandler<kGeneralCalls, kGeneralCallCount>;

}  // namespace api
