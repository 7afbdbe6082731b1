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

// Texture-quality bits given with a terrain: which layers load.
constexpr int kMapQualityLarge = 0x200000;
constexpr int kMapQualityBump = 0x800;
constexpr int kMapQualitySpecular = 0x1000;
constexpr int kMapQualityLight = 0x2000;

constexpr int kMapConnectionPoints = 32;
constexpr int kMapAeroLights = 32;
constexpr int kAeroLightQueueSize = 4096;
constexpr int kAeroLightSprites = 16;
// A connection-point entry that holds no point.
constexpr float kMapNoPoint = 3.4028235e38f;

struct MapObjectDefinition;
struct MapObject;
struct SpatialTreeNode;
struct MapObjectWorld;

// A map object placed together with its definition (rotation in radians).
struct MapChildEntry {
  std::string name;
  MapObjectDefinition* definition = nullptr;  // looked up by name after the master is read
  Vec3 position{};
  Vec3 rotation{};
};

// A unit that belongs with a definition (kept for the unit side).
struct MapChildUnit {
  std::string typeName;
  Vec3 position{};
  Vec3 rotation{};
};

// One entry of a map master. Owns its model and texture layers; placed
// objects and other definitions' models point at them.
struct MapObjectDefinition {
  std::string name;
  std::string alias;
  std::string modelFile;
  std::string largeTextureFile, bumpTextureFile, specularTextureFile, lightTextureFile;
  float glareRate = 0.1f;
  int32_t translucent = 0;   // 0x2: TEXTURE_TRANSLUCENT given
  int32_t textureStyle = 0;  // texture-holder flags: LIGHT, MIRROR, CLAMP, HIGHCOLOR
  int32_t attributes = 0;    // kMap* bits
  int32_t bumped = 0;        // the bump texture came from TEXTURE_BUMPED_FILE
  bool hasConnectionPoints = false;
  Vec3 connectionPoints[kMapConnectionPoints];  // kMapNoPoint in all three when empty
  Vec3 scale{1, 1, 1};
  float lightRate = -1.0f;   // -1: none
  Vec3 aeroLightPos[kMapAeroLights];
  int32_t aeroLightType[kMapAeroLights];        // kinds 0..11; -1 ends the list
  std::vector<MapChildEntry> children;
  std::vector<MapChildUnit> childUnits;

  // Loaded on first placement, released with a terrain (unless MEMORY).
  render::CMesh model;
  bool modelTried = false;
  bool modelLoaded = false;
  render::TextureHolder largeTexture, bumpTexture, specularTexture, lightTexture;
  bool textureTried[4] = {};  // large, bump, specular, light

  MapObjectDefinition();
};

// One placed map object.
struct MapObject : render::DisplayObject {
  int32_t attributes = 0;  // the definition's attribute bits, copied at placement
  MapObjectDefinition* definition = nullptr;
  Vec3 aeroLightWorld[kMapAeroLights];
  float lightRate = -1.0f;
  MapObject* parentObject = nullptr;  // the object it was placed with as a child
  // Engine bookkeeping: whether the entry holds a placed object (an object
  // whose model failed to load is still placed), and the fixed offset of
  // its aero lights' blink.
  bool placed = false;
  int32_t blinkPhase = 0;
};

// A node of the spatial tree: its display object shows its box (position the
// centre, scale the half size, at least 1 on each axis).
struct SpatialTreeNode : render::DisplayObject {
  int32_t itemCapacity = 0;
  std::vector<MapObject*> items;  // free entries are null
  std::unique_ptr<SpatialTreeNode> child[2];
  render::DisplayObject childBox[2];
  MapObjectWorld* world = nullptr;
  // The box that holds the node's objects (its subtree's), in world space.
  Vec3 extentMin{}, extentMax{};
  bool hasExtent = false;
};

// One queued aero light.
struct AeroLightEntry {
  Vec3 position;
  int32_t kind;
  float size;  // negative: the sprite's own size
};

// Everything the world keeps of its map objects.
struct MapObjectWorld {
  std::vector<std::unique_ptr<MapObjectDefinition>> definitions;  // starts at 256, doubles
  std::vector<std::unique_ptr<MapObject>> objects;                // starts at 256, doubles
  int32_t searchStart = 0;
  render::TextureHolder skyTextures[4];
  render::DisplayObject skyLayers[4];
  int32_t qualityFlags = 0;
  float drawRange = 3000.0f;
  Vec3 viewer{};
  render::CMesh boxModel;
  render::TextureHolder boxTexture;
  bool boxTried = false;
  SpatialTreeNode root;
  render::DisplayObject rootBox;
  render::CMesh lightMeshes[kAeroLightSprites];
  render::TextureHolder lightTextures[kAeroLightSprites];
  render::DisplayObject lightSprites[kAeroLightSprites];
  bool lightsTried = false;
  std::unique_ptr<AeroLightEntry[]> aeroQueue;  // kAeroLightQueueSize entries
  int32_t aeroCount = 0;
  EnvironmentRecord* environment = nullptr;
  // The renderer the models and textures were loaded through (released
  // through it when the world goes).
  render::GraphicsSystem* graphics = nullptr;

  MapObjectWorld();
  ~MapObjectWorld();
  MapObjectWorld(const MapObjectWorld&) = delete;
  MapObjectWorld& operator=(const MapObjectWorld&) = delete;
};

// [SECTION] Map master and terrain files

// Replaces the definitions from a compiled map master (an object whose
// members are the definitions): the sky textures are released and every
// placed object is removed first, so nothing points at a freed definition.
// 1, or 0 for no object.
int LoadMapMaster(GameWorld& world, const script::CScriptArray* master);
// Replaces the placed objects from a terrain array and builds the tree. 1,
// or 0 for no array.
int ReadMapPlacements(GameWorld& world, const script::CScriptArray* terrain, int qualityFlags);
// Writes the placed top-level objects as a terrain file. 1, or 0 when the
// file can't be written (a message box says so).
int WriteMapFile(GameWorld& world, const char* fileName);
// The terrain text WriteMapFile writes (object text notation).
std::string BuildMapFileText(GameWorld& world);

// [SECTION] Definitions and placed objects (the editor and the scene files)

// Places a definition with its children and aero lights (rotation in
// radians); the new object, or null.
MapObject* CreateMapObject(GameWorld& world, Vec3 position, Vec3 rotation, MapObjectDefinition* definition);
// As above, the definition found by name or alias; null when none matches.
MapObject* CreateMapObjectByName(GameWorld& world, Vec3 position, Vec3 rotation, const char* name);
// Removes an object with its child objects from the tree and the table.
void RemoveMapObject(GameWorld& world, MapObject* object);
// The definition with this name or alias, or null.
MapObjectDefinition* FindMapDefinition(GameWorld& world, const char* name);
// The names of all listed definitions, each followed by a zero byte, ended by
// an empty name; the size in bytes (null buffer: only measured).
int ListMapDefinitionNames(GameWorld& world, char* buffer);
// The object's definition name copied out (null buffer: only measured);
// the length plus one, or 0 without definition.
int GetMapObjectDefinitionName(MapObject* object, char* buffer);
// The object table's size, the placed object at an index (null for a free
// entry or an index outside the table), an object's definition.
int GetObjectCapacity(GameWorld& world);
MapObject* GetObjectAt(GameWorld& world, int index);
MapObjectDefinition* GetObjectDefinition(MapObject* object);
// Gives the object another definition and its light rate; the previous one.
MapObjectDefinition* SetMapObjectDefinition(MapObject* object, MapObjectDefinition* definition);
// Number of placed objects (live entries of the object table).
int CountMapObjects(GameWorld& world);

// [SECTION] The spatial tree

// Registers an object in the root; whether any node holds it.
void AddToSpatialTree(GameWorld& world, MapObject* object);
bool IsInSpatialTree(GameWorld& world, const MapObject* object);
// Redistributes the placed objects over the tree.
void BuildSpatialTree(GameWorld& world);

// [SECTION] Queries the camera, the weather, the units and the editor use

// The nearest placed object the segment meets (filter bits above), with the
// hit point and normal when asked; null when none.
MapObject* RayCastMapObjects(GameWorld& world, Vec3 start, Vec3 end, int filter, Vec3* hit, Vec3* normal);
// The first map object whose model overlaps the display object's (filter
// bits 1 and 2), or null.
MapObject* MapObjectOverlap(GameWorld& world, render::DisplayObject* object, int filter);
// Position of the nearest MIRROR_MAP object; (0, 0, 0) when none.
Vec3 FindNearestMirrorMapObject(GameWorld& world, Vec3 point);
// Editor: where the object must move so that one of its connection points
// meets the nearest connection point of another placed object closer than
// `largestDistance`; its own position when none.
Vec3 SnapToConnectionPoint(GameWorld& world, MapObject* object, float largestDistance);

// [SECTION] View, quality, models

// The viewer position and draw range for culling and the sky layers.
void SetMapView(GameWorld& world, Vec3 viewer, float drawRange);
// The texture-quality bits models are loaded with.
void SetMapQualityFlags(GameWorld& world, int flags);
// Loads a definition's model once and binds its texture layers by the
// quality flags; the model, or null without renderer or model.
render::CMesh* LoadMapDefinitionModel(GameWorld& world, MapObjectDefinition* definition);
// The tree's box model and texture ("ZadAzorad\systembox.x", ".jpg"); a file
// that does not load leaves no box. 1 when the model is loaded.
int LoadSystemBox(GameWorld& world);
// Loads the sky textures of both environment entries into the layers
// (`textureFlags`: the load's quality and colour-key bits).
void SetupSkyLayers(GameWorld& world, uint32_t textureFlags = 0x2);

// [SECTION] Drawing (the render pass calls these)

void DrawMapObjects(GameWorld& world, int frameCounter);
// Queues an aero light; its index, or -1 when 4,096 are queued. A negative
// kind empties the queue (returns 0).
int QueueAeroLight(GameWorld& world, Vec3 position, int kind, float size);
int CountAeroLights(GameWorld& world);
// The size a blinking aero light (kinds 0 and 4) is queued with at this
// frame, 0 while it is dark: a 120-frame cycle offset by the object's phase.
float AeroLightBlinkSize(int frameCounter, int phase);
// Queues a drawn object's aero lights: blinking kinds by the rule above,
// the others steadily at the sprite's own size.
void QueueObjectAeroLights(GameWorld& world, MapObject* object, int frameCounter);
void DrawAeroLights(GameWorld& world);
void DrawSkyLayers(GameWorld& world);

// [SECTION] Life cycle

// Made with the world, freed with it.
MapObjectWorld* NewMapObjectWorld();
void DeleteMapObjectWorld(MapObjectWorld* map);

}  // namespace world
