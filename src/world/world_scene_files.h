// world_scene_files.h -- reading a scene: terrain and placement files by a
// small wrapper compile, the bodies of the data-loading system calls, the
// units and paths made from placement records, and the scene written back.
#pragma once

#include <cstdint>

namespace platform {
class Window;
}
namespace script {
class CScriptArray;
}

namespace world {

class GameWorld;

// The texture layers a scene loads with.
constexpr uint32_t kSceneTextureFlags = 0x207800;

// 1 read; 0 compile error (a "CompileError" box when a window is given, the
// error files either way); -1 no data object.
int LoadTerrainFile(GameWorld& world, const char* fileName, int unused, platform::Window* window);
int LoadUnitPlacementFile(GameWorld& world, const char* fileName, int reset, platform::Window* window);

// The system-call bodies: an already compiled object handed to the readers.
int load_map_data(GameWorld& world, const script::CScriptArray* terrain, uint32_t flags, const char* fileName);
int load_unit_data(GameWorld& world, const script::CScriptArray* placements, uint32_t flags, const char* fileName);
int load_map_master(GameWorld& world, const script::CScriptArray* master);
int load_unit_master(GameWorld& world, const script::CScriptArray* master);
// Group null or "": every record.
int load_group(GameWorld& world, const char* group);
int put_group(GameWorld& world, const char* group, uint32_t textureFlags, int normal);

// Path points made from the database's path-point records.
int CreatePathsFromPoints(GameWorld& world, int compile, int list);
int SaveMapFile(GameWorld& world, const char* fileName);
int SaveScene(GameWorld& world, const char* fileName);

}  // namespace world
