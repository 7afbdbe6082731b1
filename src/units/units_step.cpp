// units_step.cpp -- the per-step update of a unit and the behaviour dispatch.

#include "units/units_flight.h"
#include "units/units_sword.h"
#include "units_local.h"

namespace units {

namespace {

template <int (*Step)(world::GameWorld&, Unit&)>
void Run(world::GameWorld& world, Unit& unit) {
  Step(world, unit);
}

}  // namespace

UnitBehaviour SelectUnitBehaviour(int32_t typeValue) {
  if (typeValue >= kTypeAaGunFixed && typeValue <= kTypeAaGunFree) return Run<UpdateAaGunUnit>;
  if (typeValue >= kTypeAaMissileFixed && typeValue <= kTypeAaMissileFree) return Run<UpdateAaMissileUnit>;
  if (typeValue >= kTypeAaLaserFixed && typeValue <= kTypeAaLaserFree) return Run<UpdateAaLaserUnit>;
  if (typeValue >= kTypeMountedCannon && typeValue <= kTypeMountedItem) return Run<UpdateMountedUnit>;
  if (typeValue >= kTypeBall && typeValue <= kTypeBallEvil) return Run<UpdateBallUnit>;
  switch (typeValue) {
    case kTypeBallBeam:
      return Run<UpdateBallBeamUnit>;
    case kTypeBallLaser:
      return Run<UpdateBallLaserUnit>;
    case kTypeBallTarget:
      return Run<UpdateBallTargetUnit>;
    case kTypeDust:
      return Run<UpdateDustUnit>;
    case kTypePlane:
      return Run<UpdatePlaneUnit>;
    case kTypeVtol:
      return Run<UpdateVtolUnit>;
    case kTypeShip:
      return Run<UpdateShipUnit>;
    case kTypeVehicle:
      return Run<UpdateVehicleUnit>;
    case kTypeEffect:
      return Run<UpdateEffectUnit>;
    case kTypeToybox:
      return Run<UpdateToyboxUnit>;
    case kTypeRunway:
      return Run<UpdateRunwayUnit>;
    case kTypeMountedNone:
    case kTypeSworder:  // a sword actor steps only as the local player
      return nullptr;
    case kTypeGun:
    case kTypeBeam:
    case kTypeGrenade:
      return Run<UpdateGunShotUnit>;
    case kTypeLaser:
      return Run<UpdateLaserUnit>;
    case kTypeMissile:
    case kTypeMissilePrediction:
    case kTypeMissilePrediction + 1:  // MISSILE_TORNADO
    case kTypeMissilePrediction + 2:  // MISSILE_HEAD
    case kTypeMissileFoot:
      return Run<UpdateMissileUnit>;
    case kTypeBomb:
    case kTypeBombNapalm:
    case kTypeBombNapalm + 1:  // BOMB_ECM
    case kTypeBombNapalm + 2:  // BOMB_ECM_E
    case kTypeBombEcmF:
      return Run<UpdateBombUnit>;
    default:
      // Types 0 to 3, OBJECT, FACILITY and values without a behaviour.
      return Run<UpdateStaticUnit>;
  }
}

UnitBehaviour SelectPlayerBehaviour(int32_t typeValue) {
  if (typeValue == kTypePlane) return Run<UpdatePlayerPlane>;
  if (typeValue == kTypeSworder) return Run<UpdateSworder>;
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
