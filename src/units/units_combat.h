// units_combat.h -- combat: damage and targeting, the weapon slots, the
// shots, lasers, missiles, bombs and mounted weapons, the swept hit test,
// explosions and sub-munitions.
#pragma once

#include <cstdint>

#include "units/units_services.h"

namespace world {
class GameWorld;
}

namespace units {

// [SECTION] Damage and targeting (units_damage.cpp)

// Sets or clears the unit's target (once a second per unit).
void AutoSelectTarget(world::GameWorld& world, Unit& unit);
// The player's held next-target and previous-target buttons.
struct PlayerTargetInput {
  int32_t next = 0;
  int32_t previous = 0;
};
// Keeps, drops or cycles the player's target.
void SelectPlayerTarget(world::GameWorld& world, Unit& unit, const PlayerTargetInput& input);
// 1 when `other` is a live enemy of `unit` for hit tests, else 0.
int IsEnemyUnit(world::GameWorld& world, Unit& unit, Unit& other);
// GetLockOnRange (the lock-on range for another unit) is declared in
// units_services.h, which the HUD sees too.

// [SECTION] Weapon slots (units_weapons.cpp)

// SetWeapon, SpawnWeaponSlot and ReleaseWeaponChildren are unit operations
// the world uses too: units_services.h declares them.
// Resupplies a slot by a percentage of its capacity.
void SupplyWeapon(world::GameWorld& world, Unit& unit, int slot, int percent);
// Launches or fires the first ready child of the current slot; it, or null.
Unit* ShootMissile(world::GameWorld& world, Unit& unit);
// Fire the gun at an aim point in the unit's own frame, or straight ahead;
// the shot (or laser) unit, or null.
Unit* ShootGun(world::GameWorld& world, Unit& unit, const Vec3& aimPoint);
Unit* ShootGunForward(world::GameWorld& world, Unit& unit);

// [SECTION] Shots and lasers (units_weapons.cpp)

// The steps of a GUN, BEAM or GRENADE unit and of a LASER unit.
int UpdateGunShotUnit(world::GameWorld& world, Unit& unit);
int UpdateLaserUnit(world::GameWorld& world, Unit& unit);

// [SECTION] Missiles, bombs, mounted weapons (units_missiles.cpp)

int UpdateMissileUnit(world::GameWorld& world, Unit& unit);
int UpdateBombUnit(world::GameWorld& world, Unit& unit);
int UpdateMountedUnit(world::GameWorld& world, Unit& unit);
// PredictBombImpact is declared in units_services.h.
// Tests a projectile's step from `from` to `to`: 0 nothing, 1 terrain or
// proximity fuse, 3 a unit hit, one more when the fuse fires after a hit.
int SweepHitUnits(world::GameWorld& world, Unit& projectile, const Vec3& from, const Vec3& to, float radiusFactor);
// Explosion and area damage at `point`; 1 when a unit was in the blast.
int ExplodeProjectile(world::GameWorld& world, Unit& projectile, const Vec3& point, const Vec3& normal,
                      int withEffects, int onWater);
// Spawns the projectile's CHILD munition; 1 on a spawn.
int SpawnSubMunition(world::GameWorld& world, Unit& projectile, int childEntry);

}  // namespace units
