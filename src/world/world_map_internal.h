// world_map_internal.h -- what the map objects' own files share: the map
// record of a world, resource release, the tree's upkeep and the object box.
#pragma once

#include "world/world_local.h"

namespace world {

// The world's map record, its environment and renderer wired.
MapObjectWorld& MapOf(GameWorld& world);

// Releases a definition's model and texture layers (the record stays).
void ReleaseDefinitionResources(MapObjectWorld& map, MapObjectDefinition& definition);
// Every placed object removed, the tree emptied.
void RemoveAllMapObjects(GameWorld& world);
// Frees the tree below the root and empties the root.
void ClearSpatialTree(MapObjectWorld& map);
// Takes an object out of whichever node holds it.
void RemoveFromSpatialTree(MapObjectWorld& map, const MapObject* object);
// The sky textures released and the layers emptied.
void ReleaseSkyLayers(MapObjectWorld& map);
// The aero-light sprites: models and textures loaded once.
void SetupAeroLightSprites(GameWorld& world);

// The world box of an object (its position alone without a model).
void GetMapObjectBox(render::DisplayObject* object, Vec3* lo, Vec3* hi);
// Whether the object passes the filter bits (1 GROUND, 2 others, 0x10
// LANDING only when `landingBit` is honoured).
bool PassesMapFilter(const MapObject* object, int filter, bool landingBit);

// Case-insensitive file-name comparison of texture and model names.
bool SameMapFileName(const std::string& a, const std::string& b);

constexpr float kMapDegreesToRadians = 0.017453292f;

}  // namespace world
