// units_flight.h -- flight and the behaviours of the units that are not
// weapons: the flight model and attitude step, the player's aircraft, the
// aircraft and VTOL behaviours, and the ground, sea and fixed behaviours.
//
// Sources: units_flight.cpp (flight model, attitude, crashes, wrecks, path
// flight), units_flight_weapons.cpp (the end of the flight step: counters,
// weapon switch, lock-on, gun heat, vapour trails), units_player_plane.cpp
// (the player's aircraft and the engine sound), units_aircraft.cpp (PLANE
// and VTOL behaviours), units_ground.cpp (debris, effects, static things,
// runways, ground guns, lasers and launchers, ships, vehicles, toy boxes).
#pragma once

#include <cstdint>
#include <cstring>

#include "units/units_combat.h"

namespace world {
class GameWorld;
}

namespace units {

// [SECTION] Field views
//
// The seven flight words: [0] caution counter, [1] warning counter, [2]
// missile-warning counter, [3] jamming level, [4] jamming flags, [5] the
// flight-area word (out_area of the position), [6] the stall factor (a
// float, 0..1). `flightWord` (after the gear contact rate) is the range
// counter; `controlWord` the wing sweep (5..45); `aimPoint` the lock cursor
// in the unit's own frame and `lockWord` 1 while the target is locked; the
// aim word the AI lock timer of the flight model and the PLANE's missile
// reload count; behaviour words 9 to 11 ([8]..[10]) the tumble rates of a
// falling wreck.
enum : int {
  kFlightCaution = 0,
  kFlightWarning = 1,
  kFlightMissileWarning = 2,
  kFlightJamLevel = 3,
  kFlightJamFlags = 4,
  kFlightArea = 5,
  kFlightStall = 6,
};

inline float GetStallFactor(const Unit& unit) {
  float f;
  std::memcpy(&f, &unit.flightWords[kFlightStall], sizeof f);
  return f;
}
inline void SetStallFactor(Unit& unit, float f) { std::memcpy(&unit.flightWords[kFlightStall], &f, sizeof f); }


// Built-in sound slots of flight.
enum : int {
  kSoundCrash = 7,
  kSoundBounce = 8,
  kSoundLockTone = 14,
  kSoundLockedTone = 15,
  kSoundWarningLoopA = 16,
  kSoundWarningLoopB = 17,
  kSoundWeaponSwitch = 20,
  kSoundTireFront = 42,
  kSoundTireRight = 43,
  kSoundTireLeft = 44,
};

// [SECTION] The flight model (units_flight.cpp)

// What the flight step takes besides the stick: the gun trigger (fires while
// set), and the weapon-fire flag and weapon-switch word.
struct FlightGunInput {
  int32_t trigger = 0;
};
struct FlightWeaponInput {
  int32_t fire = 0;
  int32_t change = 0;
};

// Skill of a LEVEL: 0.7 + 0.03 x LEVEL, at most 1; 1 for a negative LEVEL.
float FlightSkill(int32_t level);
// The stall speed: 0.6 x POWER, raised by 0.005 per unit of height above
// the world's stall height, never below 0; 0 for a SIMPLE unit or one
// without a type.
float StallSpeed(world::GameWorld& world, const Unit& unit);

// One step of flight of an aircraft: controls toward the requests, turn
// rates, engine rpm, drag, thrust, lift and gravity, the velocity blend, the
// ground contact and landing gear of a player unit, the attitude step, then
// FinishFlightStep. The throttle request is negated (pushed forward, -1, is
// full throttle). Returns 0.
int StepFlightModel(world::GameWorld& world, Unit& unit, const FlightGunInput& gun, const FlightWeaponInput& weapon,
                    float roll, float pitch, float throttle, float yaw);
// Moves the unit by its velocity (and impulse) and turns it by the three
// turn rates; unless SIMPLE, banks make it yaw and the nose droops by
// `droop` (the stall) and in banks. Writes position and angles.
void StepAttitude(world::GameWorld& world, Unit& unit, float pitchTurn, float yawTurn, float rollTurn, float droop);
// One step of a destroyed aircraft's fall (state 999); ends in state 998 at
// the first thing it hits, or released after 1200 steps. 0.
int StepBallisticFall(world::GameWorld& world, Unit& unit);
// Stops the player's looping sounds (slots 14 to 17) and smokes. 0.
int StopLoopSounds(world::GameWorld& world, Unit& unit);
// Flies the unit along its bound path (state 800 without landing). 0.
int StepPathFlight(world::GameWorld& world, Unit& unit);

// [SECTION] The end of the flight step (units_flight_weapons.cpp)

// Steps 21 to 25 of the flight step: the flight-area word, the counters,
// the weapon switch, dropping a target that can no longer be locked, then
// StepLockOn, UpdateGunHeat and EmitVapourTrails.
void FinishFlightStep(world::GameWorld& world, Unit& unit, const FlightGunInput& gun,
                      const FlightWeaponInput& weapon);
// Gun heat and cycle, gun and weapon firing, refilling the slots.
void UpdateGunHeat(world::GameWorld& world, Unit& unit, const FlightGunInput& gun, const FlightWeaponInput& weapon);
// The lock-on step toward the current target (cursor, counters, triggers,
// tones).
void StepLockOn(world::GameWorld& world, Unit& unit);
// Wing-tip vapour trails while the unit pulls hard and fast.
void EmitVapourTrails(world::GameWorld& world, Unit& unit);

// [SECTION] The player's aircraft (units_player_plane.cpp)

// The step of a PLANE the local player flies. 0.
int UpdatePlayerPlane(world::GameWorld& world, Unit& unit);
// The player's throttle request held within the engine limits: at most
// -(engine limit low), at least -(engine limit high); the reset limits (-1,
// 1) pass every request from -1 to 1.
float ClampThrottleRequest(const Unit& unit, float request);
// UpdateEngineSound, the engine sound of the units near the camera, is one
// the world calls: units_services.h declares it.

// [SECTION] Aircraft and VTOL behaviours (units_aircraft.cpp)

int UpdatePlaneUnit(world::GameWorld& world, Unit& unit);
int UpdateVtolUnit(world::GameWorld& world, Unit& unit);

// What a computer-driven PLANE hands the flight step in its flying states:
// the roll, pitch and throttle requests, each within -1..1 (the flight step
// negates the throttle request: -1 asks for full power, 1 for none), and the
// gun and weapon inputs.
struct PlaneControls {
  float roll = 0;
  float pitch = 0;
  float throttle = 0;
  FlightGunInput gun;
  FlightWeaponInput weapon;
};
// Steering toward the unit's steering point and the weapon decision against
// its target, from the unit as it stands. `probeHit`: this step's obstacle
// probe found something ahead. Asking for a missile sets the missile reload
// count (the aim word) to 240.
PlaneControls PlanPlaneControls(world::GameWorld& world, Unit& unit, bool probeHit);

// [SECTION] Ground, sea and fixed behaviours (units_ground.cpp)

int UpdateDustUnit(world::GameWorld& world, Unit& unit);
int UpdateEffectUnit(world::GameWorld& world, Unit& unit);
int UpdateStaticUnit(world::GameWorld& world, Unit& unit);
int UpdateRunwayUnit(world::GameWorld& world, Unit& unit);
int UpdateAaGunUnit(world::GameWorld& world, Unit& unit);
int UpdateAaLaserUnit(world::GameWorld& world, Unit& unit);
int UpdateAaMissileUnit(world::GameWorld& world, Unit& unit);
int UpdateShipUnit(world::GameWorld& world, Unit& unit);
int UpdateVehicleUnit(world::GameWorld& world, Unit& unit);
int UpdateToyboxUnit(world::GameWorld& world, Unit& unit);

}  // namespace units
