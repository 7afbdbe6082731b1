// world_effects.cpp -- the effect objects' per-type step and draw.

#include "world/world_local.h"

namespace world {

void UpdateEffectObjects(GameWorld& world) { (void)world; }

}  // namespace world
