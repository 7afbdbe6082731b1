// units_services.h -- what the world sees of the units: the unit, unit-type
// and path-point records it pools and the operations it calls each step.
#pragma once

#include <cstdint>

#include "units/units_paths.h"

namespace world {
class GameWorld;
}

namespace units {

// [SECTION] The unit record

// [SECTION] Unit types and the unit database

// [SECTION] The unit step and unit operations

}  // namespace units
