// world_effect_creators.cpp -- the effect creators: stand-ins that create
// nothing until the creators are built.

#include "world/world_local.h"

namespace world {

int CreateCloud(GameWorld& world, Vec3 position, int kind, float size) {
  (void)world, (void)position, (void)kind, (void)size;
  return 0;
}
EffectObject* CreateElectric(GameWorld& world, Vec3 position) {
  (void)world, (void)position;
  return nullptr;
}
EffectObject* CreateHeat(GameWorld& world, Vec3 position, Vec3 vector, Vec3 up, float size, render::CMesh* model) {
  (void)world, (void)position, (void)vector, (void)up, (void)size, (void)model;
  return nullptr;
}
EffectObject* CreateLightning(GameWorld& world, Vec3 position, Vec3 direction, float length) {
  (void)world, (void)position, (void)direction, (void)length;
  return nullptr;
}
EffectObject* CreatePolygonEffect(GameWorld& world, const Vec3* positions, const float* colours, int count,
                                  render::TextureHolder* texture) {
  (void)world, (void)positions, (void)colours, (void)count, (void)texture;
  return nullptr;
}
EffectObject* CreateSonic(GameWorld& world, Vec3 position, Vec3 vector, int flag) {
  (void)world, (void)position, (void)vector, (void)flag;
  return nullptr;
}
EffectObject* CreateSplash(GameWorld& world, Vec3 position, float size) {
  (void)world, (void)position, (void)size;
  return nullptr;
}
int CreateBomb(GameWorld& world, Vec3 position, Vec3 vector, int size, float rise) {
  (void)world, (void)position, (void)vector, (void)size, (void)rise;
  return 0;
}
int CreateHitEffect(GameWorld& world, Vec3 position, Vec3 direction) {
  (void)world, (void)position, (void)direction;
  return 0;
}
int CreateParticle(GameWorld& world, Vec3 position, Vec3 vector, int count) {
  (void)world, (void)position, (void)vector, (void)count;
  return 0;
}
int AddPointLight(GameWorld& world, Vec3 position, Vec3 direction, Vec3 colour, float range, float factor,
                  int lifetime) {
  (void)world, (void)position, (void)direction, (void)colour, (void)range, (void)factor, (void)lifetime;
  return -1;
}

}  // namespace world
