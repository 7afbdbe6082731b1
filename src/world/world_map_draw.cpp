// world_map_draw.cpp -- what the map objects load and draw: definition
// models with their texture layers, the system box, the aero-light sprites
// and queue, the sky layers, and the culled draw of the placed objects.
//
// Index
//  [SECTION] Models and textures
//  [SECTION] Sky layers
//  [SECTION] Aero lights
//  [SECTION] Drawing the placed objects

#include <algorithm>
#include <cmath>

#include "world_map_internal.h"

namespace world {

namespace {

const char* const kSystemBoxModel = "ZadAzorad\\systembox.x";
const char* const kSystemBoxTexture = "ZadAzorad\\systembox.jpg";
const char* const kLightSpriteModel = "ZadAzorad\\Effect\\surface_xy.x";
const char* const kLightTextureFiles[3] = {"ZadAzorad\\Effect\\aero_light_red.png",
                                           "ZadAzorad\\Effect\\aero_light_blue.png",
                                           "ZadAzorad\\Effect\\aero_light_white.png"};
// Sprite sizes of the four kinds of each colour.
const float kLightSpriteScales[4] = {15.0f, 20.0f, 5.0f, 3.0f};
constexpr int kLightKinds = 12;
constexpr uint32_t kQualityLoadBits = 0x80 | 0x100;
constexpr float kSkyRadiusFactor = 4990.0f;

bool ShadersWanted(const GameWorld& world) { return world.settings && world.settings->shaderFlag; }

bool AeroLightsWanted(const GameWorld& world) {
  return world.settings && world.settings->shaderFlag && world.settings->aeroLight;
}

render::TextureHolder* LayerHolder(MapObjectDefinition& d, int layer) {
  render::TextureHolder* holders[4] = {&d.largeTexture, &d.bumpTexture, &d.specularTexture, &d.lightTexture};
  return holders[layer];
}

const std::string& LayerFile(const MapObjectDefinition& d, int layer) {
  const std::string* files[4] = {&d.largeTextureFile, &d.bumpTextureFile, &d.specularTextureFile,
                                 &d.lightTextureFile};
  return *files[layer];
}

// The texture of a file, shared by name among every layer of every
// definition (a light texture may be another definition's large texture),
// loaded with `flags` at its first use. Null for an empty name or a file
// that does not load.
render::TextureHolder* SharedMapTexture(MapObjectWorld& map, const std::string& name, uint32_t flags) {
  if (name.empty() || !map.graphics) return nullptr;
  for (auto& definition : map.definitions) {
    if (!definition) continue;
    for (int layer = 0; layer < 4; layer++) {
      if (!SameMapFileName(LayerFile(*definition, layer), name)) continue;
      render::TextureHolder* holder = LayerHolder(*definition, layer);
      if (!definition->textureTried[layer]) {
        definition->textureTried[layer] = true;
        holder->LoadTextureFile(*map.graphics, name.c_str(), flags);
      }
      return holder->texture ? holder : nullptr;
    }
  }
  return nullptr;
}

}  // namespace

// [SECTION] Models and textures

void ReleaseDefinitionResources(MapObjectWorld& map, MapObjectDefinition& d) {
  d.model.ReleaseMesh();
  d.modelTried = d.modelLoaded = false;
  for (int layer = 0; layer < 4; layer++) {
    if (map.graphics) LayerHolder(d, layer)->ReleaseTexture(*map.graphics);
    d.textureTried[layer] = false;
  }
}

render::CMesh* LoadMapDefinitionModel(GameWorld& world, MapObjectDefinition* definition) {
  MapObjectWorld& map = MapOf(world);
  if (!definition || !world.graphics) return nullptr;
  SetupAeroLightSprites(world);
  MapObjectDefinition& d = *definition;
  if (!d.modelTried) {
    d.modelTried = true;
    d.modelLoaded = !d.modelFile.empty() && d.model.LoadXFile(*world.graphics, d.modelFile.c_str(), 0) != 0;
    if (!d.modelLoaded)
      core::Logf(world.log, core::kLogError, "map object [%s]: model [%s] not loaded\n", d.name.c_str(),
                 d.modelFile.c_str());
  }
  if (!d.modelLoaded) return nullptr;
  render::CMesh& model = d.model;
  uint32_t q = uint32_t(map.qualityFlags);
  uint32_t base = uint32_t(d.textureStyle) | uint32_t(d.translucent) | (q & kQualityLoadBits);
  bool shaders = ShadersWanted(world);
  auto layer = [&](bool on, int index, uint32_t slotFlag, int (render::CMesh::*set)(int, int, render::TextureHolder*)) {
    render::TextureHolder* holder = on ? SharedMapTexture(map, LayerFile(d, index), base | slotFlag) : nullptr;
    (model.*set)(-1, -1, holder);
  };
  layer((q & kMapQualityLarge) != 0, 0, 0, &render::CMesh::SetMeshTexture);
  layer((q & kMapQualityBump) && shaders, 1, d.bumped ? 0u : uint32_t(render::kTexBumpSlot),
        &render::CMesh::SetMeshBumpTexture);
  layer((q & kMapQualitySpecular) && shaders, 2, render::kTexSpecularSlot, &render::CMesh::SetMeshSpecularTexture);
  layer((q & kMapQualityLight) != 0, 3, render::kTexLightSlot, &render::CMesh::SetMeshLightTexture);
  if (d.attributes & kMapMirrorMap)
    model.SetMeshFlags(render::kMeshMirror);
  else
    model.ClearMeshFlags(render::kMeshMirror);
  return &model;
}

int LoadSystemBox(GameWorld& world) {
  MapObjectWorld& map = MapOf(world);
  if (!world.graphics) return 0;
  map.boxTried = true;
  if (map.boxModel.containerCount > 0) return 1;
  if (!map.boxModel.LoadXFile(*world.graphics, kSystemBoxModel, 0)) {
    core::Logf(world.log, core::kLogError, "system box [%s] not loaded: the tree shows no boxes\n", kSystemBoxModel);
    return 0;
  }
  if (!map.boxTexture.texture) map.boxTexture.LoadTextureFile(*world.graphics, kSystemBoxTexture, 0x2);
  map.boxModel.SetMeshTexture(-1, -1, map.boxTexture.texture ? &map.boxTexture : nullptr);
  return 1;
}

// [SECTION] Sky layers

void ReleaseSkyLayers(MapObjectWorld& map) {
  for (int i = 0; i < 4; i++) {
    map.skyLayers[i].ReleaseObject();
    if (map.graphics) map.skyTextures[i].ReleaseTexture(*map.graphics);
  }
}

void SetupSkyLayers(GameWorld& world, uint32_t textureFlags) {
  MapObjectWorld& map = MapOf(world);
  ReleaseSkyLayers(map);
  if (!world.graphics) return;
  render::GraphicsSystem& gs = *world.graphics;
  float radius = world.SystemScale() * kSkyRadiusFactor;
  for (int i = 0; i < 4; i++) {
    const char* name = world.environment.skyFiles[i];
    render::TextureHolder* holder = gs.GetWhiteTexture();
    if (name[0] && map.skyTextures[i].LoadTextureFile(gs, name, textureFlags)) holder = &map.skyTextures[i];
    render::DisplayObject& layer = map.skyLayers[i];
    layer.SetObjectSurface(gs, holder, render::kSurfaceCentredXZ, 4);
    layer.SetObjectScale(radius, 1.0f, radius);
    // The layer hangs over the viewer; the second of a pair is turned
    // half round so the two sheets do not repeat each other.
    layer.SetObjectPivot(0, -radius * 0.125f, 0);
    layer.SetObjectAngles(0, (i % 2) ? platform::kPi : 0.0f, 0);
  }
}

void DrawSkyLayers(GameWorld& world) {
  MapObjectWorld& map = MapOf(world);
  if (!world.graphics || !world.graphics->GetDevice()) return;
  render::GraphicsSystem& gs = *world.graphics;
  float t = world.environment.blend;
  uint32_t saved = gs.GetRenderFlags();
  gs.ClearRenderFlags(render::kRenderCull | render::kRenderDepthWrite);
  auto drawEntry = [&](int entry, float alpha) {
    for (int k = 0; k < 2; k++) {
      render::DisplayObject& layer = map.skyLayers[entry * 2 + k];
      if (!layer.surface) continue;
      layer.SetObjectPosition(map.viewer.x, map.viewer.y + 10.0f * float(k), map.viewer.z);
      layer.SetObjectColor(1, 1, 1, alpha);
      layer.DrawObject(gs);
    }
  };
  if (t > 0) drawEntry(1, 1.0f);
  if (t < 1) drawEntry(0, 1.0f - t);
  gs.SetRenderFlags(saved & (render::kRenderCull | render::kRenderDepthWrite));
}

// [SECTION] Aero lights

void SetupAeroLightSprites(GameWorld& world) {
  MapObjectWorld& map = MapOf(world);
  if (map.lightsTried || !world.graphics) return;
  map.lightsTried = true;
  render::GraphicsSystem& gs = *world.graphics;
  // One model and texture per colour; the four kinds of a colour share them.
  for (int colour = 0; colour < 3; colour++) {
    map.lightTextures[colour].LoadTextureFile(gs, kLightTextureFiles[colour], render::kTexAdditive | 0x2);
    if (!map.lightMeshes[colour].LoadXFile(gs, kLightSpriteModel, 0)) continue;
    map.lightMeshes[colour].SetMeshTexture(-1, -1, &map.lightTextures[colour]);
  }
  for (int kind = 0; kind < kLightKinds; kind++) {
    render::CMesh& mesh = map.lightMeshes[kind / 4];
    if (mesh.containerCount <= 0) continue;
    render::DisplayObject& sprite = map.lightSprites[kind];
    sprite.SetObjectModel(&mesh);
    float s = kLightSpriteScales[kind % 4];
    sprite.SetObjectScale(s, s, s);
  }
}

int QueueAeroLight(GameWorld& world, Vec3 position, int kind, float size) {
  MapObjectWorld& map = MapOf(world);
  if (kind < 0) {
    map.aeroCount = 0;
    return 0;
  }
  if (map.aeroCount >= kAeroLightQueueSize) return -1;
  map.aeroQueue[size_t(map.aeroCount)] = {position, kind, size};
  return map.aeroCount++;
}

int CountAeroLights(GameWorld& world) { return MapOf(world).aeroCount; }

float AeroLightBlinkSize(int frameCounter, int phase) {
  int64_t sum = int64_t(frameCounter) + int64_t(phase);
  int o = int(((sum % 120) + 120) % 120);
  float w = float((o <= 60 ? o : 120 - o) - 20) * 0.5f;
  return w > 0 ? std::min(w, 10.0f) : 0.0f;
}

void QueueObjectAeroLights(GameWorld& world, MapObject* object, int frameCounter) {
  const MapObjectDefinition* d = object ? object->definition : nullptr;
  if (!d) return;
  for (int i = 0; i < kMapAeroLights && d->aeroLightType[i] != -1; i++) {
    int kind = d->aeroLightType[i];
    if (kind != 0 && kind != 4) {
      QueueAeroLight(world, object->aeroLightWorld[i], kind, -1.0f);
      continue;
    }
    float size = AeroLightBlinkSize(frameCounter, object->blinkPhase);
    if (size > 0) QueueAeroLight(world, object->aeroLightWorld[i], kind, size);
  }
}

void DrawAeroLights(GameWorld& world) {
  MapObjectWorld& map = MapOf(world);
  if (!world.settings || !world.settings->aeroLight) return;
  if (!world.graphics || !world.graphics->GetDevice()) return;
  render::GraphicsSystem& gs = *world.graphics;
  Vec3 eye = gs.GetCameraEye(), direction = gs.GetCameraDirection(), up = gs.GetCameraUp();
  Vec3 angles{};
  core::AnglesFromDirection(&angles, direction, &up);
  for (render::DisplayObject& sprite : map.lightSprites) sprite.SetObjectAngles(angles.x, angles.y, angles.z);
  for (int i = 0; i < map.aeroCount; i++) {
    const AeroLightEntry& light = map.aeroQueue[size_t(i)];
    if (light.kind < 0 || light.kind >= kLightKinds) continue;
    render::DisplayObject& sprite = map.lightSprites[light.kind];
    if (!sprite.model) continue;
    if (platform::Vec3Length(platform::Vec3Subtract(light.position, eye)) > map.drawRange) continue;
    Vec3 own = sprite.GetObjectScale();
    sprite.SetObjectPosition(light.position.x, light.position.y, light.position.z);
    if (light.size >= 0) sprite.SetObjectScale(light.size, light.size, 0);
    sprite.DrawObject(gs);
    sprite.SetObjectScale(own.x, own.y, own.z);
  }
}

// [SECTION] Drawing the placed objects

namespace {

struct DrawPass {
  GameWorld& world;
  MapObjectWorld& map;
  render::GraphicsSystem& gs;
  platform::Matrix view;
  float fov;
  int frameCounter;
  bool aeroLights;
};

// A node is drawn unless its box lies beyond the draw range or wholly
// behind the viewer.
bool NodeVisible(DrawPass& pass, const SpatialTreeNode& node) {
  if (!node.hasExtent) return false;
  Vec3 centre = platform::Vec3Scale(platform::Vec3Add(node.extentMin, node.extentMax), 0.5f);
  float radius = platform::Vec3Length(platform::Vec3Subtract(node.extentMax, centre));
  if (platform::Vec3Length(platform::Vec3Subtract(centre, pass.map.viewer)) - radius > pass.map.drawRange) return false;
  Vec3 v = platform::Vec3TransformCoord(centre, pass.view);
  float z = pass.gs.IsMirrorMode() ? -v.z : v.z;
  return z + radius >= 0;
}

void DrawObjectOf(DrawPass& pass, MapObject* object) {
  if (!object->model || !object->shown) return;
  float radius = object->GetObjectRadius();
  Vec3 at = object->GetObjectWorldPosition();
  if (platform::Vec3Length(platform::Vec3Subtract(at, pass.map.viewer)) - radius > pass.map.drawRange) return;
  if (!render::DisplayObject::TestObjectOnScreen(&pass.gs, object, pass.view, pass.fov, pass.map.drawRange)) return;
  float environmentRate = pass.map.environment ? pass.map.environment->lightRate : 0.0f;
  if (environmentRate < object->lightRate) {
    // Its lights are off: drawn without the light-map layer.
    render::CMesh* model = object->model;
    render::TextureHolder* light = model->lightTextures[0][0];
    model->lightTextures[0][0] = nullptr;
    object->DrawObject(pass.gs);
    model->lightTextures[0][0] = light;
    return;
  }
  object->DrawObject(pass.gs);
  if (pass.aeroLights) QueueObjectAeroLights(pass.world, object, pass.frameCounter);
}

void DrawNode(DrawPass& pass, SpatialTreeNode& node, bool isRoot) {
  if (!isRoot && !NodeVisible(pass, node)) return;
  for (auto& child : node.child)
    if (child) DrawNode(pass, *child, false);
  for (MapObject* item : node.items)
    if (item && item->placed) DrawObjectOf(pass, item);
}

}  // namespace

void DrawMapObjects(GameWorld& world, int frameCounter) {
  MapObjectWorld& map = MapOf(world);
  if (!world.graphics || !world.graphics->GetDevice()) return;
  render::GraphicsSystem& gs = *world.graphics;
  DrawPass pass{world, map, gs, gs.GetViewMatrix(), gs.GetCameraFov(), frameCounter, AeroLightsWanted(world)};
  DrawNode(pass, map.root, true);
}

}  // namespace world
