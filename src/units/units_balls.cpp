// units_balls.cpp -- the ball enemies, their beam shots, lasers and target
// marks.

#include "units/units_sword.h"
#include "units_local.h"

namespace units {

// Stand-ins until the balls' behaviours land: a ball bound to a path follows
// it, any other stays where it was put.
int UpdateBallUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 1;
}

int UpdateBallBeamUnit(world::GameWorld& world, Unit& unit) { return UpdateBallUnit(world, unit); }
int UpdateBallLaserUnit(world::GameWorld& world, Unit& unit) { return UpdateBallUnit(world, unit); }
int UpdateBallTargetUnit(world::GameWorld& world, Unit& unit) { return UpdateBallUnit(world, unit); }

}  // namespace units
