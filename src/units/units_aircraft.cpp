// units_aircraft.cpp -- the PLANE and VTOL behaviours.

#include "units/units_flight.h"
#include "units_local.h"

namespace units {

int UpdatePlaneUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateVtolUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

}  // namespace units
