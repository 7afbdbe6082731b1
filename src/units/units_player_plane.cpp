// units_player_plane.cpp -- the step of the aircraft the local player flies,
// and the engine sound of the units near the camera.

#include "units/units_flight.h"
#include "units_local.h"

namespace units {

int UpdatePlayerPlane(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

void UpdateEngineSound(world::GameWorld& world, Unit& unit, const Vec3& listener, const Vec3& listenerVelocity,
                       float rank) {
  (void)world, (void)unit, (void)listener, (void)listenerVelocity, (void)rank;
}

}  // namespace units
