// api_registry.cpp -- registration of the engine's system calls: `finish`,
// which hands the world its next start file, and the data-loading calls
// (api_scene_calls.cpp); the rest come with the system-call handlers.

#include <string>

#include "api/api_local.h"
#include "api/api_public.h"
#include "core/core_public.h"
#include "world/world_public.h"

namespace api {

namespace {

using core::Sjis;

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

// finish(next script, replay request): the next start file (resolved
// against the calling script's folder and opened first) and the replay
// request ("*" as it is, another name opened first), taken up by the world
// at its next reset; the run state ends after this step.
script::SystemCallResult* HandleFinish(script::SystemCallResult* result, script::SystemCallContext context,
                                       script::SystemCallArgument* args, char* scratch) {
  (void)scratch;
  result->type = script::kCallInt;
  result->intValue = 1;
  script::ScriptEngine& se = *context.engine;
  auto* world = static_cast<world::GameWorld*>(se.host);
  if (!world) return result;

  std::string next;
  const char* name = args[0].type == script::kCallString && args[0].text ? args[0].text : "";
  if (name[0]) {
    next = script::ResolveScriptPath(name, context.folder ? context.folder : "");
    if (!FileOpens(se, next))
      script::RaiseScriptError(Sjis("finish関数で指定された\"%s\"がオープンできません。"), name);
  }
  std::string replay;
  const char* request = args[1].type == script::kCallString && args[1].text ? args[1].text : "";
  if (request[0] == '*' && !request[1]) {
    replay = request;
  } else if (request[0]) {
    replay = script::ResolveScriptPath(request, context.folder ? context.folder : "");
    if (!FileOpens(se, replay))
      script::RaiseScriptError(Sjis("finish関数で指定された\"%s\"がオープンできません。"), request);
  }
  if (!world->SetNextScriptPath(next.c_str()) || !world->SetNextUnitDataPath(replay.c_str()))
    script::RaiseScriptError(Sjis("finish関数で指定された\"%s\"がオープンできません。"), name);
  world->RequestFinish();
  return result;
}

}  // namespace

void RegisterSystemCalls(world::GameWorld& world, platform::Window* window) {
  world.scriptEngine.ClearScriptEngine();
  world.scriptEngine.ResetScriptEngine(window, nullptr);
  world.scriptEngine.RegisterSystemCall("finish", HandleFinish);
  RegisterSceneCalls(world.scriptEngine);
}

}  // namespace api
