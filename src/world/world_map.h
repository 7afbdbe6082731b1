// world_map.h -- map objects: the definitions of a map master, the placed
// objects of a terrain file, the spatial tree over them (culling, ray casts,
// overlap tests), the aero lights and the two sky layers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "render/render_public.h"

namespace script {
class CScriptArray;
}

namespace world {

class GameWorld;
struct EnvironmentRecord;
using core::Vec3;

// Attribute bits of a definition (copied to each placed object).
constexpr int32_t kMapGround = 0x1;
constexpr int32_t kMapUnlisted = 0x2;
constexpr int32_t kMapTunnel = 0x4;
constexpr int32_t kMapMirrorMap = 0x8;
constexpr int32_t kMapLanding = 0x10;
constexpr int32_t kMapWater = 0x20;
constexpr int32_t kMapMemory = 0x40;

// Filter bits of the ray casts and the overlap test.
constexpr int kMapFilterGround = 0x1;   // GROUND objects
constexpr int kMapFilterOthers = 0x2;   // every other object
constexpr int kMapFilterNodeBox = 0x4;  // a tree node's own box counts as a hit
constexpr int kMapFilterLanding = 0x10; // ray cast: LANDING objects only

struct MapObjectDefinition;
struct MapObject;
struct SpatialTreeNode;

// The map objects of the world (definitions, placed objects, tree, aero
// lights, sky layers). Filled in world_map*.cpp.
struct MapObjectWorld;

// [SECTION] Map master and terrain files

// Replaces the definitions from a compiled map master (an object whose
// members are the definitions). 1, or 0 for no object.
int LoadMapMaster(GameWorld& world, const script::CScriptArray* master);
// Replaces the placed objects from a terrain array and builds the tree. 1,
// or 0 for no array.
int ReadMapPlacements(GameWorld& world, const script::CScriptArray* terrain, int qualityFlags);
// Writes the placed top-level objects as a terrain file. 1, or 0 when the
// file can't be written (a message box says so).
int WriteMapFile(GameWorld& world, const char* fileName);

// [SECTION] Queries the camera, the weather, the units and the editor use

// The nearest placed object the segment meets (filter bits above), with the
// hit point and normal when asked; null when none.
MapObject* RayCastMapObjects(GameWorld& world, Vec3 start, Vec3 end, int filter, Vec3* hit, Vec3* normal);
// The viewer position and draw range for culling and the sky layers.
void SetMapView(GameWorld& world, Vec3 viewer, float drawRange);
// Loads the sky textures of both environment entries into the layers.
void SetupSkyLayers(GameWorld& world);
// Number of placed objects (live entries of the object table).
int CountMapObjects(GameWorld& world);

// [SECTION] Drawing (the render pass calls these)

void DrawMapObjects(GameWorld& world, int frameCounter);
void DrawAeroLights(GameWorld& world);
void DrawSkyLayers(GameWorld& world);

// [SECTION] Life cycle

// Made with the world, freed with it.
MapObjectWorld* NewMapObjectWorld();
void DeleteMapObjectWorld(MapObjectWorld* map);

}  // namespace world
