// api_scene_calls.cpp -- the system calls that load a scene from compound
// values: the unit and map masters, terrain and placement data, and the
// groups of placed units.

#include "api/api_args.h"
#include "api/api_local.h"
#include "world/world_public.h"
#include "world/world_scene_files.h"

namespace api {

namespace {

// The path points' scripts compiled with the placements: the error files
// written, and with errors no path event may run.
void CheckPathScripts(world::GameWorld& world) {
  if (world.scriptEngine.WriteCompileResults() != 0) world::SetPathPointListed(world, nullptr, 0);
}

}  // namespace

// load_unit_master(object master)
void CallLoadUnitMaster(Call& call) {
  const script::CScriptArray* master = RequireObject(call, 0, ArgumentForm::Only);
  if (call.world) world::load_unit_master(*call.world, master);
}

// load_map_master(object master)
void CallLoadMapMaster(Call& call) {
  const script::CScriptArray* master = RequireObject(call, 0);
  if (call.world) world::load_map_master(*call.world, master);
}

// load_map_data(array terrain, int options, string source name)
void CallLoadMapData(Call& call) {
  const script::CScriptArray* terrain = RequireArray(call, 0);
  if (call.world) world::load_map_data(*call.world, terrain, uint32_t(ArgInt(call, 1)), ArgText(call, 2));
}

// load_unit_data(array placements, int options, string source name, int
// path flag): the records read, their paths made (scripts compiled, active
// points listed by the flag) and every group put. The points made plus the
// units placed.
void CallLoadUnitData(Call& call) {
  const script::CScriptArray* placements = RequireArray(call, 0);
  if (!call.world) return;
  world::GameWorld& world = *call.world;
  uint32_t options = uint32_t(ArgInt(call, 1));
  int pathFlag = ArgInt(call, 3);
  world::load_unit_data(world, placements, options, ArgText(call, 2));
  int count = world::CreatePathsFromPoints(world, 1, pathFlag);
  count += world::put_group(world, "", options, pathFlag);
  CheckPathScripts(world);
  SetInt(call, count);
}

// load_group(string group)
void CallLoadGroup(Call& call) {
  if (call.world) SetInt(call, world::load_group(*call.world, ArgText(call, 0)));
}

// put_group(string group, int options, int path flag): the units placed.
void CallPutGroup(Call& call) {
  if (!call.world) return;
  int count = world::put_group(*call.world, ArgText(call, 0), uint32_t(ArgInt(call, 1)), ArgInt(call, 2));
  CheckPathScripts(*call.world);
  SetInt(call, count);
}

}  // namespace api
