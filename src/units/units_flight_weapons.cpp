// units_flight_weapons.cpp -- the end of the flight step: the counters, the
// weapon switch, lock-on, gun heat and vapour trails.

#include "units/units_flight.h"
#include "units_local.h"

namespace units {

void FinishFlightStep(world::GameWorld& world, Unit& unit, const FlightGunInput& gun,
                      const FlightWeaponInput& weapon) {
  (void)world, (void)unit, (void)gun, (void)weapon;
}

void UpdateGunHeat(world::GameWorld& world, Unit& unit, const FlightGunInput& gun, const FlightWeaponInput& weapon) {
  (void)world, (void)unit, (void)gun, (void)weapon;
}

void StepLockOn(world::GameWorld& world, Unit& unit) { (void)world, (void)unit; }

void EmitVapourTrails(world::GameWorld& world, Unit& unit) { (void)world, (void)unit; }

}  // namespace units
