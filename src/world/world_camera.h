// world_camera.h -- the world's camera: the state it keeps from step to
// step and the setters the scripts, weapons and explosions reach.
#pragma once

#include <cstdint>

#include "core/core_public.h"

namespace units {
struct Unit;
}

namespace world {

using core::Vec3;

// The camera's share of the world. Every random choice of the camera comes
// from its own ring of bytes (refilled at every reset), never from the
// game's generator, so a replay repeats the same shots.
struct CameraState {
  int32_t mode = 0;         // 0 cockpit, 1 behind, 2 fly-by, ...; negative: the director picks
  int32_t countdown = 0;    // set to 48 when an event begins; -1 per step
  Vec3 eye{0.0f, 40.0f, 0.0f};
  Vec3 drift{};
  float factors[3] = {1.0f, 1.0f, 1.0f};
  float angles[2] = {0.6109f, 0.6109f};
  float shakeRate = 1.0f;
  float shake = 0.0f;       // the strongest shake of the step (shake power)
  float roll = 0.0f;        // the roll setting; FLT_MAX means none
  uint8_t ring[256] = {};   // random bytes, refilled at every reset
  uint8_t ringIndex = 0;
};

}  // namespace world
