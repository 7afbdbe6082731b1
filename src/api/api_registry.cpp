// api_registry.cpp -- registration of the engine's system calls. None are
// registered yet: the script engine is only emptied and reset for them.

#include "api/api_public.h"
#include "world/world_public.h"

namespace api {

void RegisterSystemCalls(world::GameWorld& world, platform::Window* window) {
  world.scriptEngine.ClearScriptEngine();
  world.scriptEngine.ResetScriptEngine(window, nullptr);
}

}  // namespace api
