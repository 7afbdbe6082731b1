// api_get_world.h -- the getter calls that read the world rather than one
// unit's values: the event states a unit reports, the population
// statistics, the pads and the game and engine words.
#pragma once

#include "api/api_local.h"

namespace api {

// [SECTION] Event states (each consumes the event it reports)
void CallGetDamageState(Call& call);
void CallGetHitState(Call& call);
void CallGetDestroyState(Call& call);
void CallGetFoxState(Call& call);
void CallGetGunRangeState(Call& call);
void CallGetLockState(Call& call);
void CallGetMissState(Call& call);

// [SECTION] Statistics
void CallGetTotalNum(Call& call);
void CallGetArriveNum(Call& call);
void CallGetDestroyNum(Call& call);

// [SECTION] Pads
void CallGetPadNow(Call& call);
void CallGetPadNowRaw(Call& call);
void CallGetPadTrg(Call& call);
void CallGetPadTrgRaw(Call& call);
void CallGetPadRep(Call& call);
void CallGetPadRepRaw(Call& call);
void CallGetPadAnalog(Call& call);
void CallGetPadAnalogRaw(Call& call);
void CallGetPadMap(Call& call);
void CallGetPadMapStr(Call& call);
void CallGetPadName(Call& call);
void CallGetPadSensitivity(Call& call);

// [SECTION] Game and engine
void CallGetDebugMode(Call& call);
void CallGetPastTime(Call& call);
void CallGetRestTime(Call& call);
void CallGetReplayMode(Call& call);
void CallGetPlayerUnit(Call& call);
void CallGetPlayerWeapon(Call& call);
void CallGetScriptName(Call& call);
void CallGetRootScriptName(Call& call);
void CallGetLanguage(Call& call);
void CallGetUnitMaster(Call& call);

}  // namespace api
