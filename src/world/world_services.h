// world_services.h -- what the units and the windows see of the world: the
// operations they call on it, the world itself kept opaque.
#pragma once

namespace world {

class GameWorld;

}  // namespace world
