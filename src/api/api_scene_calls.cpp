// api_scene_calls.cpp -- the system calls that load a scene from compound
// values: the unit and map masters, terrain and placement data, and the
// groups of placed units.

#include "api/api_local.h"
#include "core/core_public.h"
#include "world/world_public.h"

namespace api {

namespace {

using core::Sjis;

world::GameWorld& WorldOf(script::SystemCallContext context) {
  return *static_cast<world::GameWorld*>(context.engine->host);
}

// The compound of an argument declared object or array; raises `error`
// (UTF-8) when the script passed something else.
const script::CScriptArray* CompoundArgument(const script::SystemCallArgument& arg, const char* error) {
  if (arg.type != script::kCallArray && arg.type != script::kCallObject) script::RaiseScriptError("%s", Sjis(error));
  return arg.compound;
}

const char* TextArgument(const script::SystemCallArgument& arg) {
  return arg.type == script::kCallString && arg.text ? arg.text : "";
}

script::SystemCallResult* IntResult(script::SystemCallResult* result, int32_t value) {
  *result = script::SystemCallResult{};
  result->type = script::kCallInt;
  result->intValue = value;
  return result;
}

// The path points' scripts compiled with the placements: the error files
// written, and with errors no path event may run.
void CheckPathScripts(world::GameWorld& world) {
  if (world.scriptEngine.WriteCompileResults() != 0) world::SetPathPointListed(world, nullptr, 0);
}

// load_unit_master(object master)
script::SystemCallResult* HandleLoadUnitMaster(script::SystemCallResult* result, script::SystemCallContext context,
                                               script::SystemCallArgument* args, char* scratch) {
  (void)scratch;
  const script::CScriptArray* master =
      CompoundArgument(args[0], "load_unit_master関数の引数がオブジェクトではありません。");
  if (context.engine->host) world::load_unit_master(WorldOf(context), master);
  return IntResult(result, 1);
}

// load_map_master(object master)
script::SystemCallResult* HandleLoadMapMaster(script::SystemCallResult* result, script::SystemCallContext context,
                                              script::SystemCallArgument* args, char* scratch) {
  (void)scratch;
  const script::CScriptArray* master =
      CompoundArgument(args[0], "load_map_master関数の第1引数がオブジェクトではありません。");
  if (context.engine->host) world::load_map_master(WorldOf(context), master);
  return IntResult(result, 1);
}

// load_map_data(array terrain, int options, string source name)
script::SystemCallResult* HandleLoadMapData(script::SystemCallResult* result, script::SystemCallContext context,
                                            script::SystemCallArgument* args, char* scratch) {
  (void)scratch;
  const script::CScriptArray* terrain = CompoundArgument(args[0], "load_map_data関数の第1引数が配列ではありません。");
  if (context.engine->host)
    world::load_map_data(WorldOf(context), terrain, uint32_t(args[1].intValue), TextArgument(args[2]));
  return IntResult(result, 1);
}

// load_unit_data(array placements, int options, string source name, int
// path flag): the records read, their paths made (scripts compiled, active
// points listed by the flag) and every group put. The points made plus the
// units placed.
script::SystemCallResult* HandleLoadUnitData(script::SystemCallResult* result, script::SystemCallContext context,
                                             script::SystemCallArgument* args, char* scratch) {
  (void)scratch;
  const script::CScriptArray* placements =
      CompoundArgument(args[0], "load_unit_data関数の第1引数が配列ではありません。");
  if (!context.engine->host) return IntResult(result, 1);
  world::GameWorld& world = WorldOf(context);
  uint32_t options = uint32_t(args[1].intValue);
  int pathFlag = args[3].intValue;
  world::load_unit_data(world, placements, options, TextArgument(args[2]));
  int count = world::CreatePathsFromPoints(world, 1, pathFlag);
  count += world::put_group(world, "", options, pathFlag);
  CheckPathScripts(world);
  return IntResult(result, count);
}

// load_group(string group)
script::SystemCallResult* HandleLoadGroup(script::SystemCallResult* result, script::SystemCallContext context,
                                          script::SystemCallArgument* args, char* scratch) {
  (void)scratch;
  if (!context.engine->host) return IntResult(result, 1);
  return IntResult(result, world::load_group(WorldOf(context), TextArgument(args[0])));
}

// put_group(string group, int options, int path flag): the units placed.
script::SystemCallResult* HandlePutGroup(script::SystemCallResult* result, script::SystemCallContext context,
                                         script::SystemCallArgument* args, char* scratch) {
  (void)scratch;
  if (!context.engine->host) return IntResult(result, 1);
  world::GameWorld& world = WorldOf(context);
  int count = world::put_group(world, TextArgument(args[0]), uint32_t(args[1].intValue), args[2].intValue);
  CheckPathScripts(world);
  return IntResult(result, count);
}

}  // namespace

void RegisterSceneCalls(script::ScriptEngine& se) {
  se.RegisterSystemCall("load_unit_master", HandleLoadUnitMaster);
  se.RegisterSystemCall("load_map_master", HandleLoadMapMaster);
  se.RegisterSystemCall("load_map_data", HandleLoadMapData);
  se.RegisterSystemCall("load_unit_data", HandleLoadUnitData);
  se.RegisterSystemCall("load_group", HandleLoadGroup);
  se.RegisterSystemCall("put_group", HandlePutGroup);
}

}  // namespace api
