// units_paths.h -- path points and paths, placement files and path following.
#pragma once

#include <cstdint>

namespace world {
class GameWorld;
}

namespace units {

// [SECTION] Path points and paths

// [SECTION] Placement files

// [SECTION] Path following, obstacle probes and aiming

}  // namespace units
