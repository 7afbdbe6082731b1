// world_environment.h -- the environment record (two weather entries and a
// blend between them), the effect object every visual effect is drawn with,
// and the world's fixed weather, cloud and sun objects.
#pragma once

#include <cstdint>
#include <memory>

#include "core/core_public.h"
#include "render/render_public.h"

namespace world {

class GameWorld;
using core::Vec3;

// [SECTION] Environment record

// Two complete entries of sky, light, fog, weather and shadow, and the blend
// factor between them: a script cross-fades the weather by moving one number.
// The world's zero fill is its start (ResetEnvironment gives the defaults).
struct EnvironmentRecord {
  static constexpr int kSkyNameBytes = 260;
  float blend = 0.0f;                       // 0 entry 0 .. 1 entry 1
  int32_t weather[2] = {};                  // 3 rain, 4 snow, ...
  char skyFiles[4][kSkyNameBytes] = {};     // entry 0 first, second; entry 1 first, second
  float lightDirection[2][3] = {};
  float lightColourA[2][3] = {};
  float lightColourB[2][3] = {};
  float fogColour[2][3] = {};
  float fogNear[2] = {};
  float fogFar[2] = {};
  int32_t lightningCount = 0;               // steps to the next thunder, 0 none
  float lightRate = 0.0f;
  int32_t shadow[2] = {};
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
// loaded once by LoadEffectTextures from the system package.
struct EffectTextures {
  render::TextureHolder smoke, fire1, fire2, fire3, rain, snow, cloud[2], electric, lightning, splash;
  render::TextureHolder hit[5];
  render::TextureHolder sun, sunlight, glare, cloudSheet, gunfire, sonic;
  render::CMesh heat;       // the heat-haze model
  bool loaded = false;
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

}  // namespace world
