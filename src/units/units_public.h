// units_public.h -- the units for the floors above the game floor: the unit
// database, placement files and the unit operations the system calls use.
#pragma once

#include "units/units_services.h"

namespace units {}  // namespace units
