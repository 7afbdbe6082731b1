// world_services.h -- what the units and the windows see of the world: the
// operations they call on it, the world itself kept opaque.
#pragma once

#include <cstdint>

namespace units {
struct Unit;
struct UnitType;
struct PathPoint;
}  // namespace units

namespace world {

class GameWorld;

// [SECTION] The world, its clocks and its random generator

// [SECTION] Unit and effect pools, placing, statistics

// [SECTION] Path-point triggers

// Evaluates the trigger list of `list` (a TriggerCommandTable code): each
// listed path point tests its command against `unit` (the unit acted with,
// such as a shot or a launched weapon) and `subject` (the unit whose label
// the command names) and, when it holds, starts its event function as a
// script thread with the unit's handle. Returns the number of listed points
// visited. Either unit may be null.
int RunPathTriggers(GameWorld& world, int list, units::Unit* unit, units::Unit* subject);
// The HP trigger list (16) for a unit whose HP has just changed by damage:
// the damage code calls it after the damage is applied, beside DAMAGED (13).
int RunHpTriggers(GameWorld& world, units::Unit* damaged);
// Adds the point to (add non-zero) or removes it from the trigger list of its
// command; a null point empties all 39 lists (their slots kept). 1.
int SetPathPointListed(GameWorld& world, units::PathPoint* point, int add);

// [SECTION] Replay recorder and world queries

// The first destruction the replay recorded in steps [from, to) after the
// playback index: its unit handle, and through `offset` (may be null) its
// distance in steps; -1 when none.
int FindRecorderMarker(GameWorld& world, int from, int to, int* offset);
// -1 outside the flight-area box, 1 inside its margin band, 0 well inside.
int out_area(GameWorld& world, float x, float y, float z);

// [SECTION] Scene services (map objects, effects, camera): stand-ins until
// the scene exists

}  // namespace world
