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

// The file's text compiled as the initial value of `__system_mapdata` or
// `__system_unitdata` and handed to load_map_data or load_unit_data with
// kSceneTextureFlags; the global is given back afterwards, so the next file
// of its kind compiles too. 1 read; 0 when the file added compile errors (a
// "CompileError" box when a window is given, the error files either way);
// -1 when the global holds no object (a warning box with a window). A reset
// flag resets the world before the records are read.
int LoadTerrainFile(GameWorld& world, const char* fileName, int unused, platform::Window* window);
int LoadUnitPlacementFile(GameWorld& world, const char* fileName, int reset, platform::Window* window);

// The system-call bodies: an already compiled object handed to the readers.
// The data loads add the TEXTURE_MODE quality bits to the flags;
// load_unit_master also finds the world's system types.
int load_map_data(GameWorld& world, const script::CScriptArray* terrain, uint32_t flags, const char* fileName);
int load_unit_data(GameWorld& world, const script::CScriptArray* placements, uint32_t flags, const char* fileName);
int load_map_master(GameWorld& world, const script::CScriptArray* master);
int load_unit_master(GameWorld& world, const script::CScriptArray* master);
// Group null or "": every record. load_group loads the record types'
// graphics only (0); put_group places the records' units (frozen when
// `normal` is 0), names their group ("__SYSTEM_UNIT_PLACED__" for a record
// without one), starts them on their paths, and returns the units placed
// with their children.
int load_group(GameWorld& world, const char* group);
int put_group(GameWorld& world, const char* group, uint32_t textureFlags, int normal);

// Path points made from the database's path-point records (scripts compiled,
// active points listed, by the flags); errors in the scripts are shown in
// the error window. The number made; a full pool raises a script::ScriptError.
int CreatePathsFromPoints(GameWorld& world, int compile, int list);
// ".map" / ".plc" added to a name without extension. SaveScene makes the
// records again from the live units and path points (active points stay
// active) and writes the placement file.
int SaveMapFile(GameWorld& world, const char* fileName);
int SaveScene(GameWorld& world, const char* fileName);

}  // namespace world
