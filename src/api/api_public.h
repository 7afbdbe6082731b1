// api_public.h -- the engine's script system calls.
#pragma once

#include "platform/platform_public.h"

namespace world {
class GameWorld;
}

namespace ui {
class WindowManager;
}

namespace api {

// Empties and resets the world's script engine and registers the engine's
// system calls with it; `window` is the main window once it exists.
void RegisterSystemCalls(world::GameWorld& world, platform::Window* window);

// The message windows the window calls act on (null: none, and those calls
// open nothing). Forgets every script window handle.
void SetWindowManager(ui::WindowManager* windows);

}  // namespace api
