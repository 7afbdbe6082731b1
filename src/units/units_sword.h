// units_sword.h -- the sword-action games' units: the player's sword actor
// (SWORDER) and the ball enemies with their beams, lasers and target marks.
//
// Sources: units_sworder.cpp (the actor: movement relative to the camera,
// jumps, dodges, guard, stroke chains, knock-back, animation sets, terrain
// contact, the sword trail and the blade test), units_balls.cpp (the balls,
// BALL_BEAM shots, BALL_LASER beams and BALL_TARGET marks).
#pragma once

#include <cstdint>

#include "units/units_combat.h"

namespace world {
class GameWorld;
}

namespace units {

// [SECTION] Field views
//
// The actor: `actorWord` the jump hold count, `actorTime` the animation time
// (steps, a float). Behaviour words of any unit a blade may strike: [8] trail
// level 0..100, [9] hit cooldown (steps; while non-zero no blade strikes the
// unit), [10] the attacker state that last struck it (-1 after each state
// change of the actor itself), [11] times struck.
constexpr int kSwordTrailLevel = 8;
constexpr int kSwordHitCooldown = 9;
constexpr int kSwordLastStruckBy = 10;
constexpr int kSwordTimesStruck = 11;

// [SECTION] Behaviours (1: the unit lives on)

// The local player's sword actor, once per step.
int UpdateSworder(world::GameWorld& world, Unit& unit);

// BALL, BALL_SPEED, BALL_ELECTRIC, BALL_SILVER and BALL_EVIL.
int UpdateBallUnit(world::GameWorld& world, Unit& unit);
int UpdateBallBeamUnit(world::GameWorld& world, Unit& unit);
int UpdateBallLaserUnit(world::GameWorld& world, Unit& unit);
int UpdateBallTargetUnit(world::GameWorld& world, Unit& unit);

}  // namespace units
