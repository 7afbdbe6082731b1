// units_step.cpp -- the per-step update of a unit and the behaviour dispatch.

#include "units_local.h"

namespace units {

namespace {

// Stand-in for the target selection of the combat kinds: no target.
void AutoSelectTarget(world::GameWorld&, Unit&) {}

}  // namespace

UnitBehaviour SelectUnitBehaviour(int32_t) { return nullptr; }

int UpdateUnit(world::GameWorld& world, Unit& unit) {
  // A unit with nothing to show has ended.
  if (!unit.model && !unit.surface) return 0;
  if (unit.invulnerableSteps != 0) unit.invulnerableSteps--;
  unit.CacheObjectWorld();
  if (unit.flags & kUnitFrozen) return 1;

  if ((unit.flags & (kUnitPlayer | kUnitRemote)) == kUnitPlayer) {
    // Player steps come with the flight and sword kinds.
  } else {
    AutoSelectTarget(world, unit);
    if (UnitBehaviour behaviour = SelectUnitBehaviour(unit.type ? unit.type->typeValue : 0)) behaviour(world, unit);
  }

  UnitAge(unit)++;
  if (unit.pendingFlag) {
    unit.pendingFlag = 0;
    unit.state = unit.pendingState;
    UnitAge(unit) = 0;
  }
  if (unit.lifeTimer > 0 && --unit.lifeTimer == 0) {
    unit.ReleaseObject();
    ResetUnit(unit);
    return 0;
  }
  return 1;
}

int32_t RequestUnitState(Unit& unit, int32_t state) {
  unit.pendingState = state;
  unit.pendingFlag = 1;
  return unit.state;
}

int32_t SetUnitState(Unit& unit, int32_t state, int32_t steps) {
  int32_t old = unit.state;
  unit.state = unit.pendingState = state;
  if (steps >= 0) UnitAge(unit) = steps;
  return old;
}

int AttachToUnit(Unit& unit, render::DisplayObject* object) {
  for (int i = 0; i < kUnitAttachments; i++) {
    if (unit.attachments[i]) continue;
    unit.attachments[i] = object;
    unit.attachmentVectors[i] = {0, 0.01f, 0};
    return i;
  }
  return -1;
}

Unit* SetUnitParent(Unit& unit, Unit* parent) {
  Unit* old = unit.parent;
  unit.parent = parent;
  unit.SetObjectParent(parent);
  return old;
}

Unit* SetUnitMaster(Unit& unit, Unit* master) {
  Unit* old = unit.master;
  unit.master = master;
  return old;
}

}  // namespace units
