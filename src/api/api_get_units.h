// api_get_units.h -- the getter handler's unit calls: the values, vectors
// and rotations of one unit, distances, and the handles found by label or by
// parent (api_get_units.cpp).
#pragma once

#include "api/api_local.h"

namespace api {

// Unit values.
void CallGetHp(Call& call);
void CallGetHpRate(Call& call);
void CallGetDamage(Call& call);
void CallGetMaster(Call& call);
void CallGetParent(Call& call);
void CallGetMode(Call& call);
void CallGetPylon(Call& call);
void CallGetScore(Call& call);
void CallGetAmmo(Call& call);
void CallGetEngineRpm(Call& call);
void CallGetLandingRate(Call& call);
void CallGetSpeed(Call& call);
void CallGetLabel(Call& call);
void CallGetTeamName(Call& call);
void CallGetPrintedName(Call& call);
void CallGetUnitId(Call& call);

// Unit vectors and rotations.
void CallGetPos(Call& call);
void CallGetLocalPos(Call& call);
void CallGetHeadPos(Call& call);
void CallGetMov(Call& call);
void CallGetScale(Call& call);
void CallGetDir(Call& call);
void CallGetUp(Call& call);
void CallGetTirePos(Call& call);
void CallGetTextureSize(Call& call);
void CallGetRot(Call& call);
void CallGetLocalRot(Call& call);
void CallGetMoment(Call& call);
void CallGetControl(Call& call);
void CallGetScreenSize(Call& call);

// Distances.
void CallGetLength(Call& call);
void CallGetLengthLabel(Call& call);

// Handles by label and by relation.
void CallGetHandle(Call& call);
void CallGetHandleArray(Call& call);
void CallGetUnitHandle(Call& call);
void CallGetUnitHandleArray(Call& call);
void CallGetUnitNum(Call& call);
void CallGetChildHandle(Call& call);
void CallGetChildHandleArray(Call& call);
void CallGetPathHandle(Call& call);

}  // namespace api
