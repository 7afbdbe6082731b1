// api_public.h -- the engine's script system calls.
#pragma once

#include "platform/platform_public.h"

namespace world {
class GameWorld;
}

namespace api {

// Empties and resets the world's script engine and registers the engine's
// system calls with it; `window` is the main window once it exists.
void RegisterSystemCalls(world::GameWorld& world, platform::Window* window);

}  // namespace api
