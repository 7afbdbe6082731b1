// units_step.cpp -- the per-step update of a unit and the behaviour dispatch.
//
// The behaviours of the flying, ground, weapon, sword and ball kinds come
// with their own work; until then a unit of those kinds follows the path it
// is bound to (state 800) or stays where it was placed.

#include "units/units_combat.h"
#include "units_local.h"

namespace units {

namespace {

bool ParentHasNoHp(Unit& unit) { return unit.parent && unit.parent->hp <= 0; }

// Static things (types 0 to 3, OBJECT, FACILITY and values without a
// behaviour): a part of a parent without HP rests; a free unit bound to a
// path follows it; a destroyed one smokes.
void StaticStep(world::GameWorld& world, Unit& unit) {
  if (unit.type && (unit.type->attributes & kAttrBranch) && ParentHasNoHp(unit)) return;
  if (unit.state == kUnitStateFollowPath && !unit.parent) FollowPath(world, unit);
  if (unit.state > 900) EmitRandomEffect(world, unit);
}

// Stand-in of the behaviours still to come: path state follows the path.
void PathStandIn(world::GameWorld& world, Unit& unit) {
  if (unit.state == kUnitStateFollowPath && !unit.parent && unit.path) FollowPath(world, unit);
}

}  // namespace

UnitBehaviour SelectUnitBehaviour(int32_t typeValue) {
  if (typeValue < kTypeDust || typeValue > kTypeBallTarget) return StaticStep;
  switch (typeValue) {
    case kTypeObject:
    case kTypeFacility:
      return StaticStep;
    case kTypeMountedNone:
    case kTypeSworder:  // a sword actor steps only as the local player
      return nullptr;
    case kTypeGun:
    case kTypeBeam:
    case kTypeGrenade:
      return [](world::GameWorld& world, Unit& unit) { UpdateGunShotUnit(world, unit); };
    case kTypeLaser:
      return [](world::GameWorld& world, Unit& unit) { UpdateLaserUnit(world, unit); };
    case kTypeMissile:
    case kTypeMissilePrediction:
    case kTypeMissilePrediction + 1:  // MISSILE_TORNADO
    case kTypeMissilePrediction + 2:  // MISSILE_HEAD
    case kTypeMissileFoot:
      return [](world::GameWorld& world, Unit& unit) { UpdateMissileUnit(world, unit); };
    case kTypeBomb:
    case kTypeBombNapalm:
    case kTypeBombNapalm + 1:  // BOMB_ECM
    case kTypeBombNapalm + 2:  // BOMB_ECM_E
    case kTypeBombEcmF:
      return [](world::GameWorld& world, Unit& unit) { UpdateBombUnit(world, unit); };
    default:
      if (typeValue >= kTypeMountedCannon && typeValue <= kTypeMountedItem)
        return [](world::GameWorld& world, Unit& unit) { UpdateMountedUnit(world, unit); };
      // Dust, aircraft, ships, vehicles, ground guns and launchers, effects,
      // toy boxes, runways, balls.
      return PathStandIn;
  }
}

UnitBehaviour SelectPlayerBehaviour(int32_t typeValue) {
  // The player aircraft's own step is still to come; in path state it
  // follows its path as every aircraft does.
  if (typeValue == kTypePlane) return PathStandIn;
  return nullptr;
}

int UpdateUnit(world::GameWorld& world, Unit& unit) {
  // A unit with nothing to show has ended.
  if (!unit.model && !unit.surface) return 0;
  if (unit.invulnerableSteps != 0) unit.invulnerableSteps--;
  unit.CacheObjectWorld();
  if (unit.flags & kUnitFrozen) return 1;

  int32_t typeValue = unit.type ? unit.type->typeValue : 0;
  // A REMOTE unit is stepped as an ordinary unit even with PLAYER set: the
  // player step belongs to the peer that owns it.
  if ((unit.flags & (kUnitPlayer | kUnitRemote)) == kUnitPlayer) {
    if (UnitBehaviour behaviour = SelectPlayerBehaviour(typeValue)) behaviour(world, unit);
  } else {
    AutoSelectTarget(world, unit);
    if (UnitBehaviour behaviour = SelectUnitBehaviour(typeValue)) behaviour(world, unit);
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

int AttachToUnit(Unit& unit, Unit* attached) {
  for (int i = 0; i < kUnitAttachments; i++) {
    if (unit.attachments[i]) continue;
    unit.attachments[i] = attached;
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
