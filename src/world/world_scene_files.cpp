// world_scene_files.cpp -- reading and writing a scene: stand-ins until the
// scene files are built.

#include "world/world_local.h"
#include "world/world_scene_files.h"

namespace world {

int LoadTerrainFile(GameWorld& world, const char* fileName, int unused, platform::Window* window) {
  (void)world, (void)fileName, (void)unused, (void)window;
  return -1;
}
int LoadUnitPlacementFile(GameWorld& world, const char* fileName, int reset, platform::Window* window) {
  (void)world, (void)fileName, (void)reset, (void)window;
  return -1;
}
int load_map_data(GameWorld& world, const script::CScriptArray* terrain, uint32_t flags, const char* fileName) {
  (void)fileName;
  return ReadMapPlacements(world, terrain, int(flags));
}
int load_unit_data(GameWorld& world, const script::CScriptArray* placements, uint32_t flags, const char* fileName) {
  return units::ReadUnitPlacements(*world.unitDatabase, placements, flags, fileName);
}
int load_map_master(GameWorld& world, const script::CScriptArray* master) { return LoadMapMaster(world, master); }
int load_unit_master(GameWorld& world, const script::CScriptArray* master) {
  return units::ReadUnitMaster(*world.unitDatabase, master);
}
int load_group(GameWorld& world, const char* group) {
  (void)world, (void)group;
  return 0;
}
int put_group(GameWorld& world, const char* group, uint32_t textureFlags, int normal) {
  (void)world, (void)group, (void)textureFlags, (void)normal;
  return 0;
}
int CreatePathsFromPoints(GameWorld& world, int compile, int list) {
  return units::CreatePathsFromRecords(world, *world.pathPoints, &world.pathIdCounter, world.scriptEngine, compile,
                                       list);
}
int SaveMapFile(GameWorld& world, const char* fileName) { return WriteMapFile(world, fileName); }
int SaveScene(GameWorld& world, const char* fileName) {
  (void)world, (void)fileName;
  return 0;
}

}  // namespace world
