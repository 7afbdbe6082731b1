// units_weapons.cpp -- weapon slots, guns, beams, grenades and lasers
// (stand-ins until the combat work lands).

#include "units/units_combat.h"
#include "units_local.h"

namespace units {

void SetWeapon(world::GameWorld&, Unit&, int, UnitType*) {}
int SpawnWeaponSlot(world::GameWorld&, Unit&, int, int) { return -1; }
void ReleaseWeaponChildren(world::GameWorld&, Unit&, int) {}
void SupplyWeapon(world::GameWorld&, Unit&, int, int) {}
Unit* ShootMissile(world::GameWorld&, Unit&) { return nullptr; }
Unit* ShootGun(world::GameWorld&, Unit&, const Vec3&) { return nullptr; }
Unit* ShootGunForward(world::GameWorld&, Unit&) { return nullptr; }
int UpdateGunShotUnit(world::GameWorld&, Unit&) { return 0; }
int UpdateLaserUnit(world::GameWorld&, Unit&) { return 0; }

}  // namespace units
