// world_weather.cpp -- the environment step (thunder, rain and snow round the
// viewer, clouds, the sun's visibility), the effect textures with the sun
// and its flare, the weather reset and the world's environment operations.

#include <algorithm>
#include <array>
#include <cmath>

#include "sound/sound_public.h"
#include "world/world_local.h"

namespace world {

using core::Sjis;
using platform::Vec3Add;
using platform::Vec3Scale;

namespace {

constexpr int kThunderSoundSlot = 32;
// Map objects that hide the sun: the ground and every other object.
constexpr int kSunRayFilter = kMapFilterGround | kMapFilterOthers;

}  // namespace

// [SECTION] Camera and sun

SceneCamera GetSceneCamera(GameWorld& world) {
  SceneCamera camera;
  if (world.graphics) {
    const render::GraphicsSystem& gs = *world.graphics;
    camera.eye = gs.GetCameraEye();
    camera.direction = platform::Vec3Normalize(gs.GetCameraDirection());
    camera.up = gs.GetCameraUp();
    camera.fov = gs.GetCameraFov();
    return camera;
  }
  // What the camera last handed to the renderer, kept without one.
  const CameraView& view = world.camera.view;
  camera.eye = view.eye;
  camera.direction = platform::Vec3Normalize(view.direction);
  camera.up = view.up;
  camera.fov = view.fov;
  return camera;
}

float SceneViewDepth(GameWorld& world, const SceneCamera& camera, Vec3 point) {
  if (world.graphics) return world.graphics->TransformPointToView(point).z;
  return platform::Vec3Dot(platform::Vec3Subtract(point, camera.eye), camera.direction);
}

Vec3 GetSunDirection(GameWorld& world) {
  // The render pass lights the scene with this same blended light.
  Vec3 light;
  world.environment.GetBlendedLight(&light, nullptr, nullptr);
  return Vec3Scale(light, -1.0f);
}

int MeasureSunVisibility(Vec3 eye, Vec3 sun, Vec3 side, Vec3 up, const std::function<bool(Vec3, Vec3)>& blocked) {
  int b = 256;
  const Vec3 sunPoint = Vec3Add(eye, Vec3Scale(sun, 4500.0f));
  for (int i = 0; i < 8; i++) {
    float angle = float(i * 45) * platform::kPi / 180.0f;
    Vec3 ring = Vec3Add(Vec3Scale(side, std::cos(angle)), Vec3Scale(up, std::sin(angle)));
    if (blocked(eye, Vec3Add(sunPoint, Vec3Scale(ring, 114.0f)))) b -= 32;
  }
  if (blocked(eye, Vec3Add(eye, Vec3Scale(sun, 1500.0f)))) b -= 16;
  return b <= 0 ? 0 : std::min(b + 96, 255);
}

bool SunSegmentBlocked(GameWorld& world, Vec3 from, Vec3 to) {
  if (vector_unit_collision(world, nullptr, nullptr, nullptr, from, to)) return true;
  return RayCastMapObjects(world, from, to, kSunRayFilter, nullptr, nullptr) != nullptr;
}

int MeasureCloudCover(GameWorld& world, Vec3 eye, Vec3 sun) {
  int k = 256;
  if (!world.weather) return k;
  const Vec3 sunPoint = Vec3Add(eye, Vec3Scale(sun, 1500.0f));
  for (EffectObject& cloud : world.weather->clouds) {
    if (!cloud.GetObjectSurface()) continue;
    Vec3 e = cloud.TransformPointToLocal(eye);
    Vec3 s = cloud.TransformPointToLocal(sunPoint);
    // Both ends on one side of the cloud's plane, or the segment lying in
    // it: no crossing.
    if (e.z * s.z > 0.0f || s.z == e.z) continue;
    float t = -e.z / (s.z - e.z);
    float x = e.x + (s.x - e.x) * t, y = e.y + (s.y - e.y) * t;
    float r = std::sqrt(x * x + y * y);
    if (r < 1.0f) k -= int(std::min(2.0f - 2.0f * r, 1.0f) * 16.0f);
  }
  return k;
}

// [SECTION] Step

void StepWeatherEffects(GameWorld& world) {
  if (!world.weather) return;
  WeatherObjects& weather = *world.weather;
  EnvironmentRecord& environment = world.environment;

  // 1. The camera, the sun and the plane across the view.
  const SceneCamera camera = GetSceneCamera(world);
  const Vec3 sun = GetSunDirection(world);
  const Vec3 side = platform::Vec3Cross(camera.up, camera.direction);

  // 2. Thunder on the step the countdown runs out.
  if (environment.TickLightningCountdown() && world.sound) world.sound->PlaySoundSlot(kThunderSoundSlot, 0, 0, 0, 0);

  // 3. Rain or snow stays round the viewer.
  const int kind = GetWeatherKind(world);
  if (kind == 3) {
    for (render::DisplayObject& drop : weather.rain)
      WrapRainParticle(drop, camera.eye, camera.direction, world.camera.drift, camera.fov);
  } else if (kind == 4) {
    for (render::DisplayObject& flake : weather.snow)
      WrapSnowParticle(flake, camera.eye, camera.direction, world.camera.drift, camera.fov);
  }

  // 4. Clouds follow the view and take the light.
  Vec3 colourA, colourB;
  environment.GetBlendedLight(nullptr, &colourA, &colourB);
  // A cloud slot without a surface is free: CreateCloud places and colours
  // it afresh when it takes it.
  for (EffectObject& cloud : weather.clouds)
    if (cloud.GetObjectSurface()) PlaceCloudObject(cloud, camera.eye, camera.direction, sun, colourA, colourB);

  // 5-7. How much of the sun shows through units, map objects and clouds
  // sets the flare's brightness.
  int visibility = MeasureSunVisibility(camera.eye, sun, side, camera.up,
                                        [&world](Vec3 from, Vec3 to) { return SunSegmentBlocked(world, from, to); });
  int cover = MeasureCloudCover(world, camera.eye, sun);
  int alpha = (std::max(cover, 0) * visibility) / 256;
  for (EffectObject& glare : weather.glare) glare.alpha = alpha;
}

// [SECTION] Effect textures, sun and flare

namespace {

struct EffectTextureFile {
  const char* name;
  uint32_t flags;
  render::TextureHolder* holder;
};

// One flare piece: its place between sun and view axis, its size, its cell
// of "sunlight.jpg" (piece 0 shows all of "glare.jpg") and its tint.
struct FlarePiece {
  float blendPercent;
  float size;
  float cell[4];
  float colour[3];
};

constexpr FlarePiece kFlarePieces[WeatherObjects::kGlare] = {
    {0.0f, 1.0f, {0, 0, 0, 0}, {1.0f, 1.0f, 1.0f}},
    {65.0f, 0.4f, {0, 0, 128, 128}, {0.3f, 0.1f, 0.2f}},
    {-250.0f, 0.6f, {128, 0, 256, 128}, {0.25f, 0.15f, 0.3f}},
    {170.0f, 0.4f, {128, 0, 256, 128}, {0.5f, 0.3f, 0.5f}},
    {120.0f, 0.6f, {0, 128, 128, 256}, {0.25f, 0.5f, 0.6f}},
    {480.0f, 0.9f, {0, 128, 128, 256}, {0.1f, 0.25f, 0.15f}},
    {-170.0f, 1.2f, {128, 128, 256, 256}, {0.25f, 0.12f, 0.4f}},
    {270.0f, 1.0f, {128, 128, 256, 256}, {0.2f, 0.2f, 0.25f}},
};

bool HasImage(const render::TextureHolder& holder) { return holder.texture != nullptr; }

// Every image of the record with its file and load flags (the heat model
// loads apart).
std::array<EffectTextureFile, 22> TextureFiles(EffectTextures& t) {
  return {{
      {"ZadAzorad\\Effect\\smoke.jpg", 0x8002, &t.smoke},
      {"ZadAzorad\\Effect\\Fire1.png", 0x8002, &t.fire1},
      {"ZadAzorad\\Effect\\Fire2.png", 0x20002, &t.fire2},
      {"ZadAzorad\\Effect\\Fire3.bmp", 0x8002, &t.fire3},
      {"ZadAzorad\\Effect\\rain.bmp", 0, &t.rain},
      {"ZadAzorad\\Effect\\snow.bmp", 0x8002, &t.snow},
      {"ZadAzorad\\Effect\\cloud0.dds", 0, &t.cloud[0]},
      {"ZadAzorad\\Effect\\cloud1.dds", 0, &t.cloud[1]},
      {"ZadAzorad\\Effect\\electric.png", 0x8002, &t.electric},
      {"ZadAzorad\\Effect\\lightning.png", 0x8002, &t.lightning},
      {"ZadAzorad\\Effect\\splash.png", 0, &t.splash},
      {"ZadAzorad\\Effect\\Hit1.png", 0x8002, &t.hit[0]},
      {"ZadAzorad\\Effect\\Hit2.png", 0x8002, &t.hit[1]},
      {"ZadAzorad\\Effect\\Hit3.png", 0x8002, &t.hit[2]},
      {"ZadAzorad\\Effect\\Hit4.png", 0x8002, &t.hit[3]},
      {"ZadAzorad\\Effect\\Hit5.png", 0x8002, &t.hit[4]},
      {"ZadAzorad\\Effect\\sun.jpg", 0x8002, &t.sun},
      {"ZadAzorad\\Effect\\sunlight.jpg", 0x8002, &t.sunlight},
      {"ZadAzorad\\Effect\\glare.jpg", 0x8002, &t.glare},
      {"ZadAzorad\\Effect\\cloud0.png", 0, &t.cloudSheet},
      {"ZadAzorad\\Effect\\gunfire.png", 0x8202, &t.gunfire},
      {"ZadAzorad\\Effect\\sonic.png", 0x8202, &t.sonic},
  }};
}

void LoadTextureFiles(GameWorld& world, EffectTextures& t) {
  render::GraphicsSystem& gs = *world.graphics;
  for (const EffectTextureFile& file : TextureFiles(t)) {
    // A missing or broken image leaves its holder empty: what would show it
    // makes nothing.
    if (!file.holder->LoadTextureFile(gs, file.name, file.flags))
      core::Logf(world.log, core::kLogError, Sjis("エフェクト画像[%s]を読み込めません。\n"), file.name);
  }
  if (!t.heat.LoadXFile(gs, "ZadAzorad\\Effect\\Heat.x", 0))
    core::Logf(world.log, core::kLogError, Sjis("エフェクトモデル[%s]を読み込めません。\n"), "ZadAzorad\\Effect\\Heat.x");
}

// The sun: a sky billboard whose pivot puts it 9000 (world scale) out along
// its facing; drawn at the eye, turned toward the sun.
void SetUpSun(GameWorld& world, EffectObject& sun, render::TextureHolder& texture) {
  ResetEffectObject(sun);
  if (!HasImage(texture)) return;
  const float s = world.SystemScale();
  sun.SetObjectSurface(*world.graphics, &texture, render::kSurfaceSprite, -1);
  sun.type = kEffectSky;
  sun.SetObjectScale(7.65f * s, 7.65f * s, 1.0f);
  sun.SetObjectPivot(64.0f, 64.0f, -9000.0f * s);
  sun.SetObjectGlareRate(0.35f);
}

void SetUpFlare(GameWorld& world, EffectObject (&pieces)[WeatherObjects::kGlare], EffectTextures& t) {
  for (int i = 0; i < WeatherObjects::kGlare; i++) {
    EffectObject& piece = pieces[i];
    const FlarePiece& look = kFlarePieces[i];
    ResetEffectObject(piece);
    piece.type = kEffectSunGlare;
    piece.alphaLimit = 255;
    piece.blendPercent = look.blendPercent;
    piece.size = look.size;
    render::TextureHolder& texture = i == 0 ? t.glare : t.sunlight;
    if (!HasImage(texture)) continue;
    piece.SetObjectSurface(*world.graphics, &texture, render::kSurfaceSprite, -1);
    if (i > 0) piece.BuildSurfaceGeometry(*world.graphics, look.cell[0], look.cell[1], look.cell[2], look.cell[3]);
    piece.AlignObjectSurface(0);
    piece.SetObjectColor(look.colour[0], look.colour[1], look.colour[2], -1.0f);
  }
}

}  // namespace

EffectTextures::~EffectTextures() {
  if (!graphics) return;
  for (const EffectTextureFile& file : TextureFiles(*this))
    if (file.holder->texture) file.holder->ReleaseTexture(*graphics);
}

void LoadEffectTextures(GameWorld& world) {
  if (!world.graphics || !world.weather) return;
  WeatherObjects& weather = *world.weather;
  if (!weather.textures.loaded) {
    weather.textures.graphics = world.graphics;
    LoadTextureFiles(world, weather.textures);
    weather.textures.loaded = true;
  }
  SetUpSun(world, weather.sun, weather.textures.sun);
  SetUpFlare(world, weather.glare, weather.textures);
}

// [SECTION] Weather reset

void ScatterWeatherParticles(GameWorld& world) {
  if (!world.weather) return;
  WeatherObjects& weather = *world.weather;
  for (render::DisplayObject& drop : weather.rain) drop.ReleaseObject();
  for (render::DisplayObject& flake : weather.snow) flake.ReleaseObject();
  // Within 15 of the weather volume's centre, in hundredths.
  auto scatter = [&world](render::DisplayObject& particle) {
    float x = float(Rand(world) % 3000 - 1500) * 0.01f;
    float y = float(Rand(world) % 3000 - 1500) * 0.01f;
    float z = float(Rand(world) % 3000 - 1500) * 0.01f;
    particle.SetObjectPosition(x, y, z);
  };
  render::GraphicsSystem* gs = world.graphics;
  EffectTextures& t = weather.textures;
  for (render::DisplayObject& drop : weather.rain) {
    if (gs && HasImage(t.rain)) drop.SetObjectSurface(*gs, &t.rain, render::kSurfaceCross, -1);
    scatter(drop);
    drop.SetObjectColor(0.75f, 0.75f, 0.8f, 0.3f);
    drop.SetObjectScale(0.007f, 0.007f, 0.6f);
    drop.SetObjectPivot(0.0f, 0.0f, -1.0f);
  }
  for (render::DisplayObject& flake : weather.snow) {
    if (gs && HasImage(t.snow)) flake.SetObjectSurface(*gs, &t.snow, render::kSurfaceCross, -1);
    scatter(flake);
    flake.SetObjectColor(-1.0f, -1.0f, -1.0f, 0.75f);
    flake.SetObjectScale(0.01f, 0.01f, 0.01f);
    flake.SetObjectPivot(0.0f, 0.0f, -1.0f);
  }
  ReleaseAllClouds(world);
}

int ReleaseAllClouds(GameWorld& world) {
  if (!world.weather) return 1;
  for (EffectObject& cloud : world.weather->clouds)
    if (cloud.GetObjectSurface()) ResetEffectObject(cloud);
  return 1;
}

// [SECTION] Environment operations

void ResetEnvironment(GameWorld& world) {
  ScatterWeatherParticles(world);
  EnvironmentRecord& environment = world.environment;
  environment = EnvironmentRecord{};
  environment.SetFogEntry(0, 0.0f, world.SystemScale() * 3000.0f, Vec3{});
  environment.SetLightEntry(0, Vec3{-8.0f, -5.0f, 4.0f}, Vec3{0.25f, 0.25f, 0.25f}, Vec3{0.75f, 0.75f, 0.75f});
  environment.SetShadowEntry(0, 1);
  environment.SetLightRate(0.0f);
}

EnvironmentRecord& GetEnvironment(GameWorld& world) { return world.environment; }

int GetWeatherKind(GameWorld& world) { return world.environment.GetActiveWeather(); }

void SetLightningCount(GameWorld& world, int steps) { world.environment.SetLightningCount(steps); }

int set_fog_state(GameWorld& world, int entry, float nearDistance, float farDistance, Vec3 colour) {
  return world.environment.SetFogEntry(entry, nearDistance, farDistance, colour);
}

void set_light_rate(GameWorld& world, float rate) { world.environment.SetLightRate(rate); }

int set_light_state(GameWorld& world, int entry, Vec3 direction, Vec3 colourA, Vec3 colourB) {
  return world.environment.SetLightEntry(entry, direction, colourA, colourB);
}

int set_shadow_state(GameWorld& world, int entry, int value) { return world.environment.SetShadowEntry(entry, value); }

int set_sky_state(GameWorld& world, int entry, const char* first, const char* second, int weatherKind) {
  if (!world.environment.SetSkyEntry(entry, first, second, weatherKind)) return 0;
  SetupSkyLayers(world);
  return 1;
}

units::UnitType* create_sprite_from_file(GameWorld& world, const char* fileName, int key) {
  return units::FindOrCreateUnitTypeByFile(GetUnitDatabase(world), fileName, uint32_t(key));
}

}  // namespace world
