// api_set_options.h -- the setter calls for the camera, the environment,
// the world's words, the HUD, the pads and the sound volumes; the system
// options that set_system_option writes and get_system_option reads through
// one key table; and save_system_option.
//
// Notes for callers:
//  - Every call follows the handlers' convention (api_local.h): a bad unit
//    handle, a device slot, button, weapon slot or level outside its range
//    and an option key not in the table do nothing and leave the preset.
//  - A float argument that is not a finite number (a script can make one
//    with an overflow or sqrt of a negative) changes nothing: the camera and
//    the environment never take a NaN or an infinity into their state.
//  - Option keys compare without regard to ASCII case.
#pragma once

#include "api/api_local.h"

namespace api {

// [SECTION] Camera
void CallSetCameraMode(Call& call);
void CallSetCameraFocus(Call& call);
void CallSetCameraShadow(Call& call);
void CallSetCameraRoll(Call& call);
void CallSetCameraZoom(Call& call);
void CallSetCameraShakePower(Call& call);
void CallSetCameraShakeRate(Call& call);

// [SECTION] Environment, world and HUD
void CallSetSkyRate(Call& call);
void CallSetLightRate(Call& call);
void CallSetGameLevel(Call& call);
void CallSetHeightOffset(Call& call);
void CallSetHeightStall(Call& call);
void CallSetRestTime(Call& call);
void CallSetHudLight(Call& call);
void CallSetHudName(Call& call);
void CallSetPlayerUnit(Call& call);
void CallSetPlayerWeapon(Call& call);

// [SECTION] Pads and sound
void CallSetPadMap(Call& call);
void CallSetPadSensitivity(Call& call);
void CallSetPovEmulation(Call& call);
void CallSetSystemVolumeBgm(Call& call);
void CallSetSystemVolumeSe(Call& call);
void CallSetSystemVolumeVoice(Call& call);

// [SECTION] System options
void CallSetSystemOption(Call& call);
void CallGetSystemOption(Call& call);
void CallSaveSystemOption(Call& call);

}  // namespace api
