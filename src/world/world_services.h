// world_services.h -- what the units and the windows see of the world: the
// operations they call on it, the world itself kept opaque.
#pragma once

#include <cstdint>

namespace units {
struct Unit;
struct UnitType;
struct PathPoint;
}  // namespace units

namespace world {

class GameWorld;

// [SECTION] The world, its clocks and its random generator

// [SECTION] Unit and effect pools, placing, statistics

// [SECTION] Path-point triggers

// [SECTION] Replay recorder and world queries

// [SECTION] Scene services (map objects, effects, camera): stand-ins until
// the scene exists

}  // namespace world
