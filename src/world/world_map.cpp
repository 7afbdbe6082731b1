// world_map.cpp -- map objects: stand-ins until the map objects are built.

#include "world/world_local.h"

namespace world {

struct MapObjectWorld {
  int placed = 0;
};

MapObjectWorld* NewMapObjectWorld() { return new MapObjectWorld(); }
void DeleteMapObjectWorld(MapObjectWorld* map) { delete map; }

int LoadMapMaster(GameWorld& world, const script::CScriptArray* master) {
  (void)world;
  return master ? 1 : 0;
}
int ReadMapPlacements(GameWorld& world, const script::CScriptArray* terrain, int qualityFlags) {
  (void)world, (void)qualityFlags;
  return terrain ? 1 : 0;
}
int WriteMapFile(GameWorld& world, const char* fileName) {
  (void)world, (void)fileName;
  return 0;
}
MapObject* RayCastMapObjects(GameWorld& world, Vec3 start, Vec3 end, int filter, Vec3* hit, Vec3* normal) {
  (void)world, (void)start, (void)end, (void)filter, (void)hit, (void)normal;
  return nullptr;
}
void SetMapView(GameWorld& world, Vec3 viewer, float drawRange) { (void)world, (void)viewer, (void)drawRange; }
void SetupSkyLayers(GameWorld& world) { (void)world; }
int CountMapObjects(GameWorld& world) { return world.map ? world.map->placed : 0; }
void DrawMapObjects(GameWorld& world, int frameCounter) { (void)world, (void)frameCounter; }
void DrawAeroLights(GameWorld& world) { (void)world; }
void DrawSkyLayers(GameWorld& world) { (void)world; }

int CastRayAgainstTerrain(GameWorld& world, Vec3* hit, Vec3* normal, Vec3 from, Vec3 to, int mode) {
  return RayCastMapObjects(world, from, to, mode, hit, normal) != nullptr;
}

int CastRayAgainstWorld(GameWorld& world, units::Unit* skip, Vec3* hit, Vec3 from, Vec3 to) {
  (void)skip;
  return CastRayAgainstTerrain(world, hit, nullptr, from, to, 19);
}

}  // namespace world
