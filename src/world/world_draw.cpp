// world_draw.cpp -- the scene's draw passes: which units, effects, clouds,
// particles and sprites each pass draws for the current camera, and in
// which order.
//
// Index
//  [SECTION] Frame set-up
//  [SECTION] Unit selection
//  [SECTION] Unit and effect passes
//  [SECTION] Sky effects and the scene's order
//  [SECTION] 2D sprites
//  [SECTION] Shadow casters

#include "world_draw.h"

#include <algorithm>
#include <memory>
#include <new>

#include "world_local.h"

namespace world {

namespace {

constexpr float kDefaultDrawRange = 3000.0f;
// 3D sprites of large types are culled nearer than the draw range.
constexpr float kLargeSpriteRange = 1500.0f;
// Camera modes: the cockpit and the second inside view.
constexpr int kCameraCockpit = 0;
constexpr int kCameraBehind = 1;
constexpr int kCameraInside = 22;

render::GraphicsSystem* DrawingDevice(GameWorld& world) {
  return world.graphics && world.graphics->GetDevice() ? world.graphics : nullptr;
}

// The drawable flags of the display object under the unit (the unit's own
// `flags` word hides them).
uint32_t ObjectFlags(const units::Unit& unit) { return unit.render::DisplayObject::flags; }
bool Placed3D(const units::Unit& unit) { return (ObjectFlags(unit) & render::kObjectSprite3D) != 0; }

bool ModelIsAdditive(const render::CMesh* model) {
  const render::TextureHolder* first = model ? model->diffuseTextures[0][0] : nullptr;
  return first && (first->flags & render::kTexAdditive);
}
bool SurfaceIsAdditive(const render::TextureHolder* surface) {
  return surface && (surface->flags & render::kTexAdditive);
}

// Cockpit-only and inside-view-only unit types.
bool PassesCameraFilters(const GameWorld& world, const units::Unit& unit) {
  const uint32_t attributes = unit.type->attributes;
  const int mode = world.camera.mode;
  if ((attributes & units::kAttrCockpit) && mode != kCameraCockpit) return false;
  if ((attributes & units::kAttrHud) && mode != kCameraCockpit && mode != kCameraBehind) return false;
  return true;
}

bool OnFocusChain(const GameWorld& world, const units::Unit& unit) {
  return world.focusUnit && render::DisplayObject::IsObjectDescendant(&unit, world.focusUnit);
}

// The camera sits in the focus unit: neither it nor what is fixed to it is
// drawn over the view.
bool HiddenFromCockpit(const GameWorld& world, const units::Unit& unit) {
  const int mode = world.camera.mode;
  if (mode == kCameraCockpit && OnFocusChain(world, unit)) return true;
  if ((mode == kCameraCockpit || mode == kCameraInside) && world.focusUnit &&
      (&unit == world.focusUnit || unit.parent == world.focusUnit))
    return true;
  return false;
}

bool EventMatches(const GameWorld& world, const units::Unit& unit) {
  return UnitEventFlag(&unit) == world.eventMode;
}

Vec3 CameraAngles(render::GraphicsSystem& gs) {
  Vec3 angles{};
  core::AnglesFromDirection(&angles, gs.GetCameraDirection(), nullptr);
  return angles;
}

bool OnScreen(render::GraphicsSystem& gs, render::DisplayObject& object, const platform::Matrix& view, float fov,
              float distance) {
  return render::DisplayObject::TestObjectOnScreen(&gs, &object, view, fov, distance) != 0;
}

// Effects drawn with the unit models: models whose first texture is not
// additive. Surfaces and additive models are drawn after the blended units.
bool IsOpaqueEffect(const EffectObject& effect) {
  return effect.model && !effect.surface && !ModelIsAdditive(effect.model);
}

}  // namespace

// [SECTION] Frame set-up

void PrepareFrameEnvironment(GameWorld& world) {
  Vec3 direction, colourA, colourB, fogColour;
  float fogNear = 0.0f, fogFar = 0.0f;
  world.environment.GetBlendedLight(&direction, &colourA, &colourB);
  world.environment.GetBlendedFog(&fogNear, &fogFar, &fogColour);
  if (world.map) world.map->drawRange = fogFar;
  if (!world.graphics) return;
  render::GraphicsSystem& gs = *world.graphics;
  gs.SetLight(direction, colourA, colourB);
  gs.SetFog(fogNear, fogFar, fogColour);
  gs.ClearRenderFlags(render::kRenderColorX2 | render::kRenderColorX4);
}

float GetDrawRange(const GameWorld& world) { return world.map ? world.map->drawRange : kDefaultDrawRange; }

// [SECTION] Unit selection

UnitDrawKind SelectUnitDrawKind(GameWorld& world, units::Unit& unit) {
  if (!unit.type) return UnitDrawKind::kNone;
  const bool blendFlag = (unit.flags & units::kUnitBlended) != 0;
  if (unit.model && !unit.surface) {
    if (HiddenFromCockpit(world, unit) || !PassesCameraFilters(world, unit) || !EventMatches(world, unit))
      return UnitDrawKind::kNone;
    return ModelIsAdditive(unit.model) || blendFlag ? UnitDrawKind::kBlended : UnitDrawKind::kOpaque;
  }
  if (!unit.surface) return UnitDrawKind::kNone;
  if (!PassesCameraFilters(world, unit)) return UnitDrawKind::kNone;
  if (!Placed3D(unit)) return EventMatches(world, unit) ? UnitDrawKind::kSprite2D : UnitDrawKind::kNone;
  if (world.camera.mode == kCameraCockpit && OnFocusChain(world, unit)) return UnitDrawKind::kNone;
  if (SurfaceIsAdditive(unit.surface) || blendFlag) {
    // Blended sprites go by whether an event runs at all, not by its mode.
    const bool eventUnit = UnitEventFlag(&unit) != 0;
    return eventUnit == (world.eventMode != 0) ? UnitDrawKind::kBlended : UnitDrawKind::kNone;
  }
  return EventMatches(world, unit) ? UnitDrawKind::kOpaque : UnitDrawKind::kNone;
}

// [SECTION] Unit and effect passes

namespace {

// Every unit of the kind that is on screen, models before 3D sprites.
void DrawUnitsOfKind(GameWorld& world, render::GraphicsSystem& gs, UnitDrawKind kind) {
  const platform::Matrix view = gs.GetViewMatrix();
  const float fov = gs.GetCameraFov();
  const float range = GetDrawRange(world);
  const int slots = CountUnitSlots(world);
  for (int pass = 0; pass < 2; pass++) {
    const bool models = pass == 0;
    for (int slot = 0; slot < slots; slot++) {
      units::Unit* unit = GetUnitSlot(world, slot);
      if (!unit || (unit->model && !unit->surface) != models) continue;
      if (SelectUnitDrawKind(world, *unit) != kind) continue;
      float distance = range;
      if (!models && (unit->type->attributes & units::kAttrLarge)) distance = kLargeSpriteRange;
      if (!OnScreen(gs, *unit, view, fov, distance)) continue;
      unit->DrawObject(gs);
    }
  }
}

}  // namespace

void DrawOpaqueUnits(GameWorld& world) {
  render::GraphicsSystem* gs = DrawingDevice(world);
  if (!gs) return;
  DrawUnitsOfKind(world, *gs, UnitDrawKind::kOpaque);
  const platform::Matrix view = gs->GetViewMatrix();
  const float fov = gs->GetCameraFov();
  const float range = GetDrawRange(world);
  const Vec3 angles = CameraAngles(*gs);
  for (EffectObject* effect : world.effectPool) {
    if (!effect || !IsOpaqueEffect(*effect)) continue;
    if (!OnScreen(*gs, *effect, view, fov, range)) continue;
    PrepareEffectDraw(world, *effect, angles);
  }
}

void DrawBlendedUnits(GameWorld& world) {
  render::GraphicsSystem* gs = DrawingDevice(world);
  if (!gs) return;
  DrawUnitsOfKind(world, *gs, UnitDrawKind::kBlended);
}

void DrawEffectSpritesAndFlames(GameWorld& world, std::span<EngineFlameBlock> flames) {
  render::GraphicsSystem* gs = DrawingDevice(world);
  if (!gs) return;
  const platform::Matrix view = gs->GetViewMatrix();
  const float fov = gs->GetCameraFov();
  const float range = GetDrawRange(world);
  const Vec3 angles = CameraAngles(*gs);
  for (size_t i = world.effectPool.size(); i-- > 0;) {
    EffectObject* effect = world.effectPool[i];
    if (!effect || !EffectIsLive(*effect) || IsOpaqueEffect(*effect)) continue;
    if (!OnScreen(*gs, *effect, view, fov, range)) continue;
    PrepareEffectDraw(world, *effect, angles);
  }

  const int mode = world.camera.mode;
  const bool inside = mode == kCameraCockpit || mode == kCameraInside;
  const int slots = std::min(CountUnitSlots(world), int(flames.size()));
  for (int slot = 0; slot < slots; slot++) {
    units::Unit* unit = GetUnitSlot(world, slot);
    if (inside && unit && world.focusUnit && (unit == world.focusUnit || unit->parent == world.focusUnit)) continue;
    EngineFlameBlock& block = flames[size_t(slot)];
    if (!block.sprite[0] || !block.sprite[0]->IsObjectShown()) continue;
    for (render::DisplayObject* sprite : block.sprite)
      if (sprite) sprite->DrawObject(*gs);
  }
}

// [SECTION] Sky effects and the scene's order

void DrawEffects(GameWorld& world, bool screenshotRequested) {
  render::GraphicsSystem* gs = DrawingDevice(world);
  if (!gs || !world.weather) return;
  WeatherObjects& weather = *world.weather;
  const platform::Matrix view = gs->GetViewMatrix();
  const float fov = gs->GetCameraFov();
  const float range = GetDrawRange(world);
  const Vec3 angles = CameraAngles(*gs);
  const Vec3 eye = gs->GetCameraEye();
  const Vec3 none{};

  // 1. The sun billboard.
  PrepareEffectDraw(world, weather.sun, none);

  // 2. Clouds, farthest first so the nearer ones blend over them. The sort is
  //    stable: clouds at the same distance keep their slot order.
  constexpr int kClouds = WeatherObjects::kClouds;
  int order[kClouds];
  float distance[kClouds];
  bool shown[kClouds];
  for (int i = 0; i < kClouds; i++) {
    EffectObject& cloud = weather.clouds[i];
    order[i] = i;
    shown[i] = EffectIsLive(cloud) && OnScreen(*gs, cloud, view, fov, range);
    distance[i] = shown[i] ? Vec3Length(Vec3Subtract(cloud.GetObjectWorldPosition(), eye)) : 0.0f;
  }
  for (int pass = 0; pass < kClouds - 1; pass++)
    for (int j = 0; j < kClouds - 1 - pass; j++)
      if (distance[order[j]] < distance[order[j + 1]]) std::swap(order[j], order[j + 1]);
  for (int i = 0; i < kClouds; i++)
    if (shown[order[i]]) SetHeightFadeAlpha(world, weather.clouds[order[i]], angles);

  // 3. Rain or snow round the viewer.
  const int kind = GetWeatherKind(world);
  auto drawParticles = [&](render::DisplayObject* particles, int count) {
    for (int i = 0; i < count; i++)
      if (OnScreen(*gs, particles[i], view, fov, range)) particles[i].DrawObject(*gs);
  };
  if (kind == 3) drawParticles(weather.rain, WeatherObjects::kRain);
  else if (kind == 4) drawParticles(weather.snow, WeatherObjects::kSnow);

  // 4. The sun glare over everything. Piece 0 stands in for the glare post
  //    pass, so it is left out while that pass (or a screenshot, which
  //    turns it on) does the work.
  const bool glarePass = world.settings && world.settings->glare;
  const int pieces = gs->IsMirrorMode() ? 1 : WeatherObjects::kGlare;
  gs->ClearRenderFlags(render::kRenderDepthTest);
  for (int i = 0; i < pieces; i++) {
    if (i == 0 && (screenshotRequested || glarePass)) continue;
    PrepareEffectDraw(world, weather.glare[i], none);
  }
  gs->SetRenderFlags(render::kRenderDepthTest);
}

void DrawScene3D(GameWorld& world, int frameCounter, bool screenshotRequested, std::span<EngineFlameBlock> flames,
                 const SceneDrawOptions& options) {
  render::GraphicsSystem* gs = DrawingDevice(world);
  if (!gs || !world.map) return;
  SetMapView(world, options.viewer ? *options.viewer : gs->GetCameraEye(), GetDrawRange(world));
  DrawSkyLayers(world);
  if (options.mirrorHeight) gs->SetMirrorHeight(*options.mirrorHeight);
  DrawMapObjects(world, frameCounter);
  DrawOpaqueUnits(world);
  DrawEffects(world, screenshotRequested);
  DrawBlendedUnits(world);
  DrawEffectSpritesAndFlames(world, flames);
  if (options.editorOverlays && !screenshotRequested) {
    if (InEditMode(world) && world.host.drawEditorPaths) world.host.drawEditorPaths(world.host.user);
    if (world.state == WorldState::Edit && world.host.drawEditorOverlay) world.host.drawEditorOverlay(world.host.user);
  }
  DrawAeroLights(world);
  QueueAeroLight(world, Vec3{}, -1, 0.0f);
}

// [SECTION] 2D sprites

void DrawSortedSprites(GameWorld& world, int layer) {
  render::GraphicsSystem* gs = DrawingDevice(world);
  if (!gs) return;
  const int slots = CountUnitSlots(world);
  if (slots <= 0) return;
  std::unique_ptr<units::Unit*[]> list(new (std::nothrow) units::Unit*[size_t(slots)]);
  std::unique_ptr<float[]> depth(new (std::nothrow) float[size_t(slots)]);
  if (!list || !depth) {
    core::Logf(world.log, core::kLogError, "2D sprites not drawn: no memory for a list of %d units\n", slots);
    return;
  }
  int count = 0;
  for (int slot = 0; slot < slots; slot++) {
    units::Unit* unit = GetUnitSlot(world, slot);
    if (!unit || SelectUnitDrawKind(world, *unit) != UnitDrawKind::kSprite2D) continue;
    const float z = unit->GetObjectWorldPosition().z;
    if ((layer == 0) != (z >= 0.0f)) continue;
    list[size_t(count)] = unit;
    depth[size_t(count)] = z;
    count++;
  }
  // Largest z first; equal values keep their slot order.
  for (int pass = 0; pass < count - 1; pass++)
    for (int j = 0; j < count - 1 - pass; j++)
      if (depth[size_t(j)] < depth[size_t(j + 1)]) {
        std::swap(depth[size_t(j)], depth[size_t(j + 1)]);
        std::swap(list[size_t(j)], list[size_t(j + 1)]);
      }
  for (int i = 0; i < count; i++) {
    units::Unit& unit = *list[size_t(i)];
    const Vec3 at = unit.position;
    unit.SetObjectPosition(at.x, at.y, 0.0f);
    unit.DrawObject(*gs);
    unit.SetObjectPosition(at.x, at.y, at.z);
  }
}

// [SECTION] Shadow casters

void DrawShadowCasters(GameWorld& world, int cascade, float distance) {
  render::GraphicsSystem* gs = DrawingDevice(world);
  if (!gs) return;
  const platform::Matrix view = gs->GetViewMatrix();
  const float fov = gs->GetCameraFov();
  const units::Unit* shadowUnit = world.camera.shadowUnit;
  const int slots = CountUnitSlots(world);
  for (int slot = 0; slot < slots; slot++) {
    units::Unit* unit = GetUnitSlot(world, slot);
    if (!unit || !unit->model || unit->surface || ModelIsAdditive(unit->model)) continue;
    const bool member = shadowUnit && (unit == shadowUnit ||
                                       render::DisplayObject::IsObjectDescendant(unit, shadowUnit) ||
                                       units::GetUnitMaster(*unit) == shadowUnit);
    if (member != (cascade == 0)) continue;
    if (!OnScreen(*gs, *unit, view, fov, distance) || !EventMatches(world, *unit)) continue;
    unit->DrawObject(*gs);
  }
}

}  // namespace world
