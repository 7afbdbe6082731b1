// world_scene.cpp -- the scene services the units call (ray casts against
// the map objects, effect creators, camera shake, lights): stand-ins that
// answer "nothing there" until the map objects and effects exist.

#include <cmath>

#include "world/world_local.h"

namespace world {

int CastRayAgainstTerrain(GameWorld& world, Vec3* hit, Vec3* normal, Vec3 from, Vec3 to, int mode) {
  (void)world, (void)hit, (void)normal, (void)from, (void)to, (void)mode;
  return 0;
}

int CastRayAgainstWorld(GameWorld& world, units::Unit* skip, Vec3* hit, Vec3 from, Vec3 to) {
  (void)world, (void)skip, (void)hit, (void)from, (void)to;
  return 0;
}

void CreateBomb(GameWorld& world, Vec3 from, Vec3 to, int value, float scale) {
  (void)world, (void)from, (void)to, (void)value, (void)scale;
}

void CreateSplash(GameWorld& world, Vec3 position, float scale) { (void)world, (void)position, (void)scale; }

void CreateSonic(GameWorld& world, Vec3 position, Vec3 normal) { (void)world, (void)position, (void)normal; }

void AddCameraShake(GameWorld& world, Vec3 position, float power) {
  Vec3 d{position.x - world.camera.eye.x, position.y - world.camera.eye.y, position.z - world.camera.eye.z};
  float distance = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  float shake = power * (distance < 100.0f ? 1.0f : 100.0f / distance);
  if (shake > world.camera.shake) world.camera.shake = shake;
}

int AddPointLight(GameWorld& world, Vec3 position, Vec3 direction, Vec3 colour, float range, float factor,
                  int lifetime) {
  (void)world, (void)position, (void)direction, (void)colour, (void)range, (void)factor, (void)lifetime;
  return -1;
}

}  // namespace world
