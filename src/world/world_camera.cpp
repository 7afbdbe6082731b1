// world_camera.cpp -- the camera: its modes, motion and shake.

#include <cmath>

#include "world/world_local.h"

namespace world {

void AddCameraShake(GameWorld& world, Vec3 position, float power) {
  Vec3 d{position.x - world.camera.eye.x, position.y - world.camera.eye.y, position.z - world.camera.eye.z};
  float distance = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  float shake = power * (distance < 100.0f ? 1.0f : 100.0f / distance);
  if (shake > world.camera.shake) world.camera.shake = shake;
}

}  // namespace world

namespace world {

void UpdateCamera(GameWorld& world) { world.camera.shake = 0.0f; }

void SetCameraMode(GameWorld& world, int mode) { world.camera.mode = mode; }

}  // namespace world
