// units_shots.h -- internals shared by the weapon slots and the shot and
// laser steps (units_weapons.cpp, units_shots.cpp).
#pragma once

#include <cstdint>

#include "units/units_combat.h"
#include "units_local.h"

namespace units {

// The per-class gravity of a gun shot: its velocity's y falls by this much
// every step.
constexpr float kShotDrop = 0.0027f;

// The slot labels of weapon children, as the models name their hard points
// ("WeaponExrtra" is the spelling the models carry).
extern const char* const kWeaponSlotLabels[kUnitWeaponSlots];

// The target class (0..3) of a unit type; 0 without a type.
int TargetClassOf(const UnitType* type);


// How many steps a projectile of `type` flying at `speed` may still hurt a
// unit of each class: RANGE[c] / speed truncated. A speed of 0 (or less)
// covers no range: 0 steps. Very slow shots are held to the largest int.
void RangeInSteps(const UnitType& type, float speed, int32_t steps[4]);

// The damage a shot (laser: `isLaser`) does to the victim: the weapon's
// DAMAGE for the victim's class; a shot with a negative one takes its
// owner's GUN_DAMAGE, then 4. While the event mode is 0 an AI owner's hit on
// anyone but the aimed-at target does nothing (the shot's own target; the
// owner's for a laser), unless a PLAYER unit is either side.
int32_t WeaponDamageAmount(world::GameWorld& world, Unit& weapon, Unit& victim, bool isLaser);

// The alpha (0..255) of a laser of `age` steps that had `alpha` before the
// step: fading in by 16 a step up to age 59, then out by 8 a step.
float LaserAlpha(int32_t age, float alpha);

}  // namespace units
