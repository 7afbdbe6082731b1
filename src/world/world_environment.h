// world_environment.h -- the environment record (two weather entries and a
// blend between them), the effect object every visual effect is drawn with,
// and the world's fixed weather, cloud and sun objects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "core/core_public.h"
#include "render/render_public.h"

namespace units {
struct UnitType;
}

namespace world {

class GameWorld;
using core::Vec3;

// [SECTION] Environment record

// Two complete entries of sky, light, fog, weather and shadow, and the blend
// factor between them: a script cross-fades the weather by moving one number.
// The world's zero fill is its start (ResetEnvironment gives the defaults).
//
// Notes:
//  - Entry numbers are 0 and 1. Every setter refuses any other number (the
//    entry setters answer 0 and change nothing); readers of an entry answer
//    nothing for it.
//  - "The active entry" is the one nearest the blend, trunc(t + 0.5), held
//    to 0 or 1 whatever the blend a script stored.
struct EnvironmentRecord {
  static constexpr int kSkyNameBytes = 260;
  float blend = 0.0f;                       // 0 entry 0 .. 1 entry 1
  int32_t weather[2] = {};                  // 3 rain, 4 snow, ...
  char skyFiles[4][kSkyNameBytes] = {};     // entry 0 first, second; entry 1 first, second
  float lightDirection[2][3] = {};          // normalised when set
  float lightColourA[2][3] = {};
  float lightColourB[2][3] = {};
  float fogColour[2][3] = {};
  float fogNear[2] = {};
  float fogFar[2] = {};
  int32_t lightningCount = 0;               // steps to the next thunder, 0 none
  float lightRate = 0.0f;
  int32_t shadow[2] = {};

  void SetEnvironmentBlend(float t) { blend = t; }
  float GetEnvironmentBlend() const { return blend; }
  // The two sky texture names (each cut to 259 bytes and terminated) and the
  // weather kind of an entry. 1, or 0 for another entry number.
  int SetSkyEntry(int entry, const char* first, const char* second, int weatherKind);
  // Copies an entry's names into the outputs given (kSkyNameBytes each).
  // 1, or 0 for another entry number (outputs untouched).
  int GetSkyTextureNames(int entry, char* first, char* second) const;
  // An entry's fog, light (the direction normalised first) and shadow value.
  // 1, or 0 for another entry number (nothing changes).
  int SetFogEntry(int entry, float nearDistance, float farDistance, Vec3 colour);
  int SetLightEntry(int entry, Vec3 direction, Vec3 colourA, Vec3 colourB);
  int SetShadowEntry(int entry, int value);
  // (1 - t) x entry 0 + t x entry 1 into each output given; the blended
  // light direction normalised.
  void GetBlendedFog(float* nearDistance, float* farDistance, Vec3* colour) const;
  void GetBlendedLight(Vec3* direction, Vec3* colourA, Vec3* colourB) const;
  // The entry nearest the blend (0 or 1), its weather kind and shadow value.
  int ActiveEntry() const;
  int GetActiveWeather() const { return weather[ActiveEntry()]; }
  int GetActiveShadowState() const { return shadow[ActiveEntry()]; }
  float GetLightRate() const { return lightRate; }
  void SetLightRate(float rate) { lightRate = rate; }
  int GetLightningCount() const { return lightningCount; }
  void SetLightningCount(int steps) { lightningCount = steps; }
  // One step of the thunder countdown: 0 while none is due; else one step
  // less, and 1 on the step it reaches 0.
  int TickLightningCountdown();
};

// [SECTION] Effect objects

// Effect types (the per-type update and draw rules key on them).
enum EffectType : int32_t {
  kEffectSpreadSprite = 0,
  kEffectPolygon = 1,
  kEffectBurstFire = 4,
  kEffectBurstSmoke = 5,
  kEffectParticle = 6,
  kEffectSunGlare = 8,
  kEffectElectric = 11,
  kEffectAttached = 12,
  kEffectSonic = 13,
  kEffectLightning = 14,
  kEffectSplash = 15,
  kEffectHeat = 16,
  kEffectSky = 20,
  kEffectHitFirst = 24,
  kEffectHitLast = 29,
};

// The short-lived drawable of every visual effect. Its alpha is its life:
// the object goes back to the pool when the alpha runs out. The display
// object's `counter` is the object's age in steps.
struct EffectObject : render::DisplayObject {
  int32_t spriteFlag = 0;   // weather and cloud sprites: the fade rule, plain white clouds
  Vec3 velocity{};
  int32_t type = 0;
  int32_t alpha = 255;      // 0..255 (0..192 for type 5)
  int32_t alphaLimit = 0;   // type 8: the highest alpha the glare may take
  float blendPercent = 0.0f;
  float size = 0.0f;        // type 15 splash size, type 8 glare size
  int32_t holdSteps = 0;    // types 4 and 5: age at which it starts to fade
  Vec3 drift{};             // types 4 and 5: velocity added every step
};

// Back to the state the pool hands out: display object released, fields
// zeroed, alpha 255, age 0.
void ResetEffectObject(EffectObject& effect);
// True while the object holds a model or a surface (taken from the pool).
bool EffectIsLive(const EffectObject& effect);

// [SECTION] Fixed objects of the world: weather, clouds, sun, effect textures

// The textures and the model the effect creators and the weather use,
// loaded once by LoadEffectTextures from the system package. A file that
// does not load leaves its holder empty. The images go back to the renderer
// they were loaded with when the record goes (that renderer outlives it, as
// the engine builds the renderer before the world).
struct EffectTextures {
  render::TextureHolder smoke, fire1, fire2, fire3, rain, snow, cloud[2], electric, lightning, splash;
  render::TextureHolder hit[5];
  render::TextureHolder sun, sunlight, glare, cloudSheet, gunfire, sonic;
  render::CMesh heat;       // the heat-haze model
  bool loaded = false;
  render::GraphicsSystem* graphics = nullptr;  // what loaded them

  EffectTextures() = default;
  ~EffectTextures();
  EffectTextures(const EffectTextures&) = delete;
  EffectTextures& operator=(const EffectTextures&) = delete;
};

// Held on the heap (some 12 MB of display objects), made with the world.
struct WeatherObjects {
  static constexpr int kRain = 256;
  static constexpr int kSnow = 256;
  static constexpr int kClouds = 512;
  static constexpr int kGlare = 8;
  render::DisplayObject rain[kRain];
  render::DisplayObject snow[kSnow];
  EffectObject clouds[kClouds];   // spriteFlag holds the cloud's kind
  EffectObject glare[kGlare];     // type 8 sun-glare pieces
  EffectObject sun;               // type 20 sky billboard
  EffectTextures textures;
};

// [SECTION] Effect operations (world_effects.cpp)
//
// The render pass calls the draws with the camera-facing angles of the
// frame; without a renderer (tests, tools) they place and colour the object
// the same way and draw nothing.

// One step of one live effect object by the rule of its type, then its age
// + 1; an object whose life ran out goes back to the pool (released and
// reset). -1 for an object with neither model nor texture, else 0.
int UpdateEffectObject(GameWorld& world, EffectObject& effect);
// Colour, alpha, placement and angles of an effect object by its type, then
// its draw (the sun glare and the sky billboard only while the sun is up in
// a clear sky). -1 for an object with neither model nor texture, else 0.
int PrepareEffectDraw(GameWorld& world, EffectObject& effect, Vec3 cameraAngles);
void SetEffectVelocity(EffectObject& effect, float x, float y, float z);
// Fades a cloud sprite with its depth in the view (and, for flat clouds,
// its height from the eye) and draws it. 0.
int SetHeightFadeAlpha(GameWorld& world, EffectObject& sprite, Vec3 cameraAngles);
// Keeps a cloud within 8000 of the point 7000 along `offset` from `centre`
// (on x and z, by steps of 16000) and lights it from the sun direction: a
// cloud below the centre's height takes the sun from above, one above it
// from below; a cloud with its sprite flag set stays plain white.
void PlaceCloudObject(EffectObject& cloud, Vec3 centre, Vec3 offset, Vec3 sun, Vec3 colourA, Vec3 colourB);
// One step of a rain or snow particle: it falls, turns along the wind and is
// kept in a cube of 30 in front of the camera (eye P, view direction D,
// wind W, field of view A in radians).
void WrapRainParticle(render::DisplayObject& particle, Vec3 eye, Vec3 direction, Vec3 wind, float fov);
void WrapSnowParticle(render::DisplayObject& particle, Vec3 eye, Vec3 direction, Vec3 wind, float fov);

// [SECTION] The scene's camera and the sun (world_weather.cpp)

// The camera the scene is seen with: the renderer's when the world has one,
// else the world's own camera record (a world stepped without a renderer).
struct SceneCamera {
  Vec3 eye{};
  Vec3 direction{0.0f, 0.0f, 1.0f};   // normalised
  Vec3 up{0.0f, 1.0f, 0.0f};
  float fov = 0.0f;                   // radians
};
SceneCamera GetSceneCamera(GameWorld& world);
// The depth of a world point in the camera's view.
float SceneViewDepth(GameWorld& world, const SceneCamera& camera, Vec3 point);
// The direction toward the sun: the environment's blended light, negated.
Vec3 GetSunDirection(GameWorld& world);

// The sun's visibility, 0 to 255, from nine segments out of the eye: eight
// to a ring of radius 114 round the sun point 4500 away (32 each when
// blocked) and one to the point 1500 away (16). `blocked` answers for one
// segment.
int MeasureSunVisibility(Vec3 eye, Vec3 sun, Vec3 side, Vec3 up, const std::function<bool(Vec3, Vec3)>& blocked);
// The units and map objects (ground and others) block a sun segment.
bool SunSegmentBlocked(GameWorld& world, Vec3 from, Vec3 to);
// 256 less what the clouds crossing the segment from the eye to the sun
// point 1500 away take (up to 16 each, by how near their centre it passes).
int MeasureCloudCover(GameWorld& world, Vec3 eye, Vec3 sun);

// [SECTION] The world's environment operations (world_weather.cpp)
//
// What the system calls reach; the names in lower case are the calls they
// serve. The entry setters answer 0 for an entry other than 0 and 1 (the
// system call reports it) and change nothing.

EnvironmentRecord& GetEnvironment(GameWorld& world);
// The weather kind of the active entry (3 rain, 4 snow).
int GetWeatherKind(GameWorld& world);
void SetLightningCount(GameWorld& world, int steps);
int set_fog_state(GameWorld& world, int entry, float nearDistance, float farDistance, Vec3 colour);
void set_light_rate(GameWorld& world, float rate);
int set_light_state(GameWorld& world, int entry, Vec3 direction, Vec3 colourA, Vec3 colourB);
int set_shadow_state(GameWorld& world, int entry, int value);
// The entry's sky names and weather kind, then the sky layers loaded again.
int set_sky_state(GameWorld& world, int entry, const char* first, const char* second, int weatherKind);
// The unit type the unit database finds or makes for an image file and a
// style key (sprites made by scripts).
units::UnitType* create_sprite_from_file(GameWorld& world, const char* fileName, int key);

}  // namespace world
