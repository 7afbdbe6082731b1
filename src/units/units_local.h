// units_local.h -- internals shared by the units sources.
#pragma once

#include "units/units_public.h"
#include "world/world_services.h"

namespace units {

// units_step.cpp
// The behaviour that UpdateUnit runs for a type value that is not a local
// player's: its step, or null for a unit that stays as it is.
using UnitBehaviour = void (*)(world::GameWorld& world, Unit& unit);
UnitBehaviour SelectUnitBehaviour(int32_t typeValue);
// The step of a local player unit of that type, or null.
UnitBehaviour SelectPlayerBehaviour(int32_t typeValue);

}  // namespace units
