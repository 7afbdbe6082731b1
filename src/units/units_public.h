// units_public.h -- the units for the floors above the game floor: the unit
// database, placement files, the unit operations the system calls use, and
// the combat entry points the weapon calls reach.
#pragma once

#include "units/units_combat.h"
#include "units/units_services.h"

namespace units {}  // namespace units
