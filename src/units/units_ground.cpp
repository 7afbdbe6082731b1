// units_ground.cpp -- the ground, sea and fixed behaviours.

#include "units/units_flight.h"
#include "units_local.h"

namespace units {

int UpdateDustUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateEffectUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateRunwayUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateAaGunUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateAaLaserUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateAaMissileUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateShipUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateVehicleUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateToyboxUnit(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
  return 0;
}

int UpdateStaticUnit(world::GameWorld& world, Unit& unit) {
  if (unit.type && (unit.type->attributes & kAttrBranch) && unit.parent && unit.parent->hp <= 0) return 0;
  if (unit.state == kUnitStateFollowPath && !unit.parent) FollowPath(world, unit);
  if (unit.state > 900) EmitRandomEffect(world, unit);
  return 0;
}

}  // namespace units
