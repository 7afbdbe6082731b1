// api_set_units.h -- the setter handler's unit calls: flags and targeting
// rules (on a unit and its descendants, or the unit alone), the state of
// one unit, and its transform.
#pragma once

#include "api/api_local.h"

namespace api {

// [SECTION] Flags and targeting rules

void CallSetTargetFlag(Call& call);
void CallSetIgnored(Call& call);
void CallSetBarrier(Call& call);
void CallSetPriorityTarget(Call& call);
void CallSetPriorityNontarget(Call& call);
void CallSetKeyUnit(Call& call);
void CallSetActiveUnit(Call& call);
void CallSetDuck(Call& call);
void CallSetDefensive(Call& call);
void CallSetImportant(Call& call);
void CallSetTarget(Call& call);
void CallSetPriorityMode(Call& call);
void CallSetIgnoreMode(Call& call);
void CallSetPriorityLabel(Call& call);
void CallSetIgnoreLabel(Call& call);
void CallSetExclusiveLabel(Call& call);
void CallSetJamming(Call& call);
void CallSetDrawFlag(Call& call);
void CallSetColor(Call& call);
void CallSetTeamName(Call& call);
void CallSetPrintedName(Call& call);
void CallSetLabelChild(Call& call);

// [SECTION] State of one unit

void CallSetHp(Call& call);
void CallSetLabel(Call& call);
void CallSetMaster(Call& call);
void CallSetPylon(Call& call);
void CallSetScore(Call& call);
void CallSetSection(Call& call);
void CallSetUnitId(Call& call);
void CallSetEngineRpm(Call& call);
void CallSetLandingRate(Call& call);
void CallSetSpeed(Call& call);
void CallSetSpeedTarget(Call& call);
void CallSetMov(Call& call);
void CallSetMoment(Call& call);
void CallSetTerritory(Call& call);
void CallSetPath(Call& call);
void CallSetParent(Call& call);
void CallSetAnimation(Call& call);

// [SECTION] Transforms

void CallSetLocalPos(Call& call);
void CallSetPos(Call& call);
void CallSetLocalRot(Call& call);
void CallSetRot(Call& call);
void CallSetScale(Call& call);
void CallSetOffset(Call& call);
void CallSetSpriteRect(Call& call);

}  // namespace api
