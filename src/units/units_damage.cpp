// units_damage.cpp -- damage, destruction and targeting (stand-ins until the
// combat work lands).

#include "units/units_combat.h"
#include "units_local.h"

namespace units {

int32_t ApplyDamage(world::GameWorld&, Unit* victim, int32_t, int32_t, Unit*, Unit*) {
  return victim ? victim->hp : 0;
}
void AutoSelectTarget(world::GameWorld&, Unit&) {}
void SelectPlayerTarget(world::GameWorld&, Unit&, const PlayerTargetInput&) {}
int IsEnemyUnit(world::GameWorld&, Unit&, Unit&) { return 0; }
float GetLockOnRange(world::GameWorld&, Unit&, Unit&) { return 0.0f; }

}  // namespace units
