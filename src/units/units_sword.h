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

// Actor states others read and set: a ball's tackle meets a guard (7, 8),
// staggers the actor (19) or knocks it down (20).
enum : int32_t {
  kSworderStand = 0,
  kSworderGuard = 7,
  kSworderGuardHeld = 8,
  kSworderKnockedBack = 19,
  kSworderKnockedDown = 20,
};

// Turns direction c about the vertical axis toward w by at most 5 degrees:
// w flattened and normalised when it is already that close, else c's
// heading moved 5 degrees the short way round (c.y kept). A zero (or
// vertical) w leaves c as it is.
Vec3 TurnTowardTarget(const Vec3& c, const Vec3& w);
// Turns the actor (its model looks along its local -z) to face a world
// point, about the vertical axis; a point straight above or below changes
// nothing.
void FaceSworderToward(Unit& actor, const Vec3& point);

// [SECTION] Behaviours (1: the unit lives on)

// The local player's sword actor, once per step.
int UpdateSworder(world::GameWorld& world, Unit& unit);

// BALL, BALL_SPEED, BALL_ELECTRIC, BALL_SILVER and BALL_EVIL.
int UpdateBallUnit(world::GameWorld& world, Unit& unit);
int UpdateBallBeamUnit(world::GameWorld& world, Unit& unit);
int UpdateBallLaserUnit(world::GameWorld& world, Unit& unit);
int UpdateBallTargetUnit(world::GameWorld& world, Unit& unit);

}  // namespace units
