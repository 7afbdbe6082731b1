// api_registry.cpp -- registration of the engine's system calls. None are
// registered yet.

#include "api/api_public.h"
#include "world/world_public.h"

namespace api {

void RegisterSystemCalls(world::GameWorld& world, platform::Window* window) {
  (void)world;
  (void)window;
}

}  // namespace api
