// world_camera.h -- the world's camera: the state it keeps from step to
// step and the setters the scripts, weapons and explosions reach.
#pragma once

#include <cfloat>
#include <cstdint>

#include "core/core_public.h"

namespace units {
struct Unit;
}

namespace world {

class GameWorld;
using core::Vec3;

// What the camera last handed to the renderer (also kept without one): the
// eye, the direction with the shake in it, the up vector, the field of
// view and the roll.
struct CameraView {
  Vec3 eye{0.0f, 40.0f, 0.0f};
  Vec3 direction{0.0f, 0.0f, 1.0f};
  Vec3 up{0.0f, 1.0f, 0.0f};
  float fov = 0.6109f;
  float roll = 0.0f;
};

// The camera's share of the world. Every random choice of the camera comes
// from its own ring of bytes (refilled at every reset), never from the
// game's generator, so a replay repeats the same shots.
struct CameraState {
  // Roll setting meaning "no roll of the script's own".
  static constexpr float kNoRoll = FLT_MAX;

  int32_t mode = 0;          // 0 cockpit, 1 behind, 2 fly-by, ...; negative: the director picks
  int32_t countdown = 0;     // set to 48 when an event begins; -1 per step
  // The last mode that ran a step: what the director draws against.
  int32_t previousMode = 0;

  Vec3 eye{0.0f, 40.0f, 0.0f};
  Vec3 focusOffset{};        // added to the focus position; the setters zero it
  Vec3 direction{0.0f, 0.0f, 1.0f};
  Vec3 drift{};              // the eye's motion per step (the rain and snow wrap read it)
  Vec3 up{0.0f, 1.0f, 0.0f};
  Vec3 directionGoal{};      // the focus unit's own direction and up
  Vec3 upGoal{};
  Vec3 shakeOffset{};
  Vec3 shakeGoal{};
  float fov = 0.6109f;       // radians
  float fovGoal = 0.6109f;   // held within 5 to 45 degrees every step
  float smoothedShake = 1.0f;
  float shakePower = 1.0f;   // the strongest shake of the step; 0.95 of it is left next step
  float worldScale = 1.0f;   // the render pass scales its shadow cascades by it
  float roll = 0.0f;
  float rollGoal = 0.0f;
  int32_t counter = 0;       // steps in the current mode (some modes preset it)
  int32_t shakePhase = 0;
  int32_t flyByShake = 0;    // 1 while a fly-by still owes its pass-by shake
  float rollSetting = kNoRoll;  // `set_camera_roll`
  float shakeRate = 1.0f;       // `set_camera_shake_rate`: multiplies the shake
  uint8_t ring[256] = {};    // random bytes, refilled at every reset
  uint8_t ringIndex = 0;
  units::Unit* shadowUnit = nullptr;  // the unit the near shadow cascade frames

  CameraView view;
};

// The world reset's camera defaults: every vector but the eye's height
// zeroed, the field of view and its goal 35 degrees, smoothed shake, shake
// power and world scale 1, shake rate 1, the shadow unit cleared.
void SetCameraDefaults(CameraState& camera);

// The focus and second (target) units, a null one standing for the player
// unit; the focus unit becomes the shadow unit too; the focus offset is
// zeroed.
void SetCameraFocus(GameWorld& world, units::Unit* focus, units::Unit* second);
void SetCameraShadowUnit(GameWorld& world, units::Unit* unit);
// Degrees; an angle of 0 or below leaves that one as it is (a: the field
// of view, b: its goal).
void SetCameraZoom(GameWorld& world, float a, float b);
// The script's roll (radians), CameraState::kNoRoll for none.
void SetCameraRoll(GameWorld& world, float roll);
void SetCameraShakeRate(GameWorld& world, float rate);
// A new camera mode (the reset, the view key, `set_camera_mode`): -2 the
// VIEW_MODE setting, -1 the fly-by in a replay else the setting; any other
// mode as given, the shake rate then 0 for modes 0 and 1, 1 for others.
void SetCameraMode(GameWorld& world, int mode);

}  // namespace world
