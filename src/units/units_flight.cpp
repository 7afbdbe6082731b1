// units_flight.cpp -- the flight model and attitude step, crashes, falling
// wrecks and path flight.

#include "units/units_flight.h"
#include "units_local.h"

namespace units {

float FlightSkill(int32_t level) {
  if (level < 0) return 1.0f;
  float s = 0.7f + 0.03f * float(level);
  return s > 1.0f ? 1.0f : s;
}

float StallSpeed(world::GameWorld& world, const Unit& unit) {
  (void)world;
  (void)unit;
  return 0;
}

int StepFlightModel(world::GameWorld& world, Unit& unit, const FlightGunInput& gun, const FlightWeaponInput& weapon,
                    float roll, float pitch, float throttle, float yaw) {
  (void)world, (void)unit, (void)gun, (void)weapon, (void)roll, (void)pitch, (void)throttle, (void)yaw;
  return 0;
}

void StepAttitude(world::GameWorld& world, Unit& unit, float pitchTurn, float yawTurn, float rollTurn, float droop) {
  (void)world, (void)unit, (void)pitchTurn, (void)yawTurn, (void)rollTurn, (void)droop;
}

int StepBallisticFall(world::GameWorld& world, Unit& unit) {
  (void)world, (void)unit;
  return 0;
}

int StopLoopSounds(world::GameWorld& world, Unit& unit) {
  (void)world, (void)unit;
  return 0;
}

int StepPathFlight(world::GameWorld& world, Unit& unit) {
  if (unit.path) FollowPath(world, unit);
  return 0;
}

}  // namespace units
