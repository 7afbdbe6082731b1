// units_missiles.cpp -- missiles, bombs, mounted weapons, the swept hit
// test, explosions and sub-munitions (stand-ins until the combat work lands).

#include <cfloat>

#include "units/units_combat.h"
#include "units_local.h"

namespace units {

int UpdateMissileUnit(world::GameWorld&, Unit&) { return 0; }
int UpdateBombUnit(world::GameWorld&, Unit&) { return 0; }
int UpdateMountedUnit(world::GameWorld&, Unit&) { return 0; }
Vec3 PredictBombImpact(world::GameWorld&, Unit&) { return Vec3{FLT_MAX, FLT_MAX, FLT_MAX}; }
int SweepHitUnits(world::GameWorld&, Unit&, const Vec3&, const Vec3&, float) { return 0; }
int ExplodeProjectile(world::GameWorld&, Unit&, const Vec3&, const Vec3&, int, int) { return 0; }
int SpawnSubMunition(world::GameWorld&, Unit&, int) { return 0; }

}  // namespace units
