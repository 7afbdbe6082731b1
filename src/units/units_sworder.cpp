// units_sworder.cpp -- the sword-action player's actor.

#include "units/units_sword.h"
#include "units_local.h"

namespace units {

// Stand-in until the actor's behaviour lands: it stands where it was put.
int UpdateSworder(world::GameWorld& world, Unit& unit) {
  (void)world;
  (void)unit;
  return 1;
}

}  // namespace units
