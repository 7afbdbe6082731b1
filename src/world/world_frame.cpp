// world_frame.cpp -- the world's load and frame. A stand-in until the world
// exists: it loads nothing and its frame does nothing.

#include "world/world_public.h"

namespace world {

int GameWorld::LoadWorld() { return 1; }

int GameWorld::RunWorldFrame(platform::Window* window) {
  (void)window;
  return 0;
}

}  // namespace world
