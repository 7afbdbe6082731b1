// world_effects.cpp -- the effect objects' per-type step and draw, and the
// placement rules of the cloud, rain and snow sprites.

#include <algorithm>
#include <cmath>

#include "world/world_local.h"

namespace world {

using platform::Vec3Add;
using platform::Vec3Length;
using platform::Vec3Scale;
using platform::Vec3Subtract;

namespace {

void MoveBy(render::DisplayObject& object, Vec3 v) {
  Vec3 p = object.GetObjectPosition();
  object.SetObjectPosition(p.x + v.x, p.y + v.y, p.z + v.z);
}

void GrowBy(EffectObject& effect, float amount) {
  Vec3 s = effect.GetObjectScale();
  effect.SetObjectScale(s.x + amount, s.y + amount, s.z);
}

// Types 4 and 5: the velocity eases toward the drift, the sprite grows with
// the world's scale, and it moves.
void StepBurstMotion(GameWorld& world, EffectObject& effect) {
  const Vec3 v = effect.velocity, d = effect.drift;
  effect.velocity = Vec3{d.x + 0.9f * v.x, d.y + 0.9f * v.y, d.z + 0.9f * v.z};
  Vec3 s = effect.GetObjectScale();
  float grown = s.x + 0.002f * GetSystemScale(world);
  effect.SetObjectScale(grown, grown, s.z);
  MoveBy(effect, effect.velocity);
}

// The splash column: it widens, rises to its peak at T = K and falls back,
// sinking once past half its rise and fading once past the peak. True when
// the column has fallen through (scale y turned positive).
bool StepSplash(EffectObject& effect, int age) {
  const float size = effect.size;
  const float t = float(age + 1) / 60.0f;
  const float k = std::sqrt(2.0f * size / 5.0f);
  Vec3 s = effect.GetObjectScale();
  float widen = size / 6400.0f;
  float sx = s.x < 0.0f ? s.x - widen : s.x + widen;
  if (t > k / 2.0f) MoveBy(effect, Vec3{0.0f, -0.1f, 0.0f});
  float f = 5.0f * (t - k) * (t - k);
  float sy = -(2.0f * size - f) / 128.0f;
  effect.SetObjectScale(sx, sy, s.z);
  if (sy > 0.0f) return true;
  if (t > k) effect.alpha = int((1.0f - 2.0f * f / size) * 192.0f);
  return false;
}

// When an effect type's life has run out, by its alpha.
bool LifeRanOut(int type, int alpha) {
  switch (type) {
    case kEffectSpreadSprite:
    case kEffectPolygon:
    case kEffectHeat:
      return alpha <= 0;
    case kEffectBurstFire:
    case kEffectBurstSmoke:
    case kEffectParticle:
    case kEffectElectric:
    case kEffectSonic:
    case kEffectLightning:
      return alpha == 0;
    case kEffectAttached:
      return alpha < 0;
    default:
      return type >= kEffectHitFirst && type <= kEffectHitLast && alpha <= 0;
  }
}

void DrawEffect(GameWorld& world, EffectObject& effect) {
  if (world.graphics) effect.DrawObject(*world.graphics);
}

void TurnTo(render::DisplayObject& object, Vec3 angles) { object.SetObjectAngles(angles.x, angles.y, angles.z); }

// The sun shows in a clear sky (weather kinds 0, 1 and 5) while it is above
// the horizon; its direction through `sun`.
bool SunIsOut(GameWorld& world, Vec3* sun) {
  *sun = GetSunDirection(world);
  int kind = world.environment.GetActiveWeather();
  return sun->y >= 0.0f && (kind == 0 || kind == 1 || kind == 5);
}

// A glare piece: placed on the line from the sun toward the view axis by its
// blend percent, sized to the screen, turned with the camera, brighter the
// nearer the view is to the sun. False when it is not to be drawn.
bool PlaceSunGlare(GameWorld& world, EffectObject& glare) {
  Vec3 sun;
  if (!SunIsOut(world, &sun)) return false;
  SceneCamera camera = GetSceneCamera(world);
  const Vec3 view = camera.direction;
  if (platform::Vec3Dot(view, sun) <= 0.5f) return false;

  const float w = glare.blendPercent / 100.0f;
  Vec3 along = Vec3Add(Vec3Scale(sun, 1.0f - w), Vec3Scale(view, w));
  Vec3 at = Vec3Add(camera.eye, Vec3Scale(along, 100.0f));
  float z = SceneViewDepth(world, camera, at);
  float k = glare.size * std::tan(camera.fov / 2.0f) * z / 384.0f;
  glare.SetObjectPosition(at.x, at.y, at.z);
  glare.SetObjectScale(k, -k, 1.0f);
  Vec3 angles;
  core::AnglesFromDirection(&angles, view, &camera.up);
  TurnTo(glare, angles);

  // The headset's wide view spreads the glare over a wider angle.
  const bool headset = world.settings && world.settings->stereoType == core::kStereoOculusVr;
  const float m = headset ? 2.5f : 4.0f;
  const float d = Vec3Length(Vec3Subtract(sun, view));
  int b = int(255.0f * std::exp(m * (0.25f - d)));
  int a = std::clamp(b - 32, 0, 255);
  // The weather step's measure of how much of the sun is hidden caps the
  // glare as well as the piece's own limit.
  a = std::min({a, glare.alphaLimit, glare.alpha});
  glare.SetObjectColor(-1.0f, -1.0f, -1.0f, float(std::max(a, 0)) / 255.0f);
  return true;
}

// The sun billboard: at the eye, turned toward the sun; its pivot carries it
// out to the sky.
bool PlaceSkyBillboard(GameWorld& world, EffectObject& sky) {
  Vec3 sun;
  if (!SunIsOut(world, &sun)) return false;
  Vec3 angles;
  core::AnglesFromDirection(&angles, sun, nullptr);
  TurnTo(sky, angles);
  Vec3 eye = GetSceneCamera(world).eye;
  sky.SetObjectPosition(eye.x, eye.y, eye.z);
  return true;
}

// v moved into [-half, half) by whole steps (left as it is when inside).
float WrapInto(float v, float half, float step) {
  if (v >= -half && v < half) return v;
  return v - step * std::floor((v + half) / step);
}

// The centre of the weather volume: ahead of the eye by the distance at
// which the view is 20 wide. Without a usable field of view, the eye.
Vec3 WeatherCentre(Vec3 eye, Vec3 direction, float fov) {
  float t = std::tan(fov);
  if (!(t > 0.0f) || !std::isfinite(t)) return eye;
  return Vec3Add(eye, Vec3Scale(direction, 10.0f / t));
}

void KeepNearCentre(render::DisplayObject& particle, Vec3 eye, Vec3 direction, float fov) {
  Vec3 q = WeatherCentre(eye, direction, fov);
  Vec3 offset = Vec3Subtract(q, particle.GetObjectPosition());
  if (!(Vec3Length(offset) > 15.0f)) return;
  offset.x = WrapInto(WrapInto(offset.x, 500.0f, 1000.0f), 15.0f, 30.0f);
  offset.y = WrapInto(WrapInto(offset.y, 500.0f, 1000.0f), 15.0f, 30.0f);
  offset.z = WrapInto(WrapInto(offset.z, 500.0f, 1000.0f), 15.0f, 30.0f);
  Vec3 p = Vec3Subtract(q, offset);
  particle.SetObjectPosition(p.x, p.y, p.z);
}

}  // namespace

// [SECTION] Step

int UpdateEffectObject(GameWorld& world, EffectObject& effect) {
  if (!EffectIsLive(effect)) return -1;
  const int age = effect.counter;
  int& a = effect.alpha;
  const Vec3 v = effect.velocity;
  bool release = false;
  switch (effect.type) {
    case kEffectSpreadSprite:
      a -= 1;
      GrowBy(effect, 0.01f);
      break;
    case kEffectPolygon:
      a -= 2;
      break;
    case kEffectBurstFire:
      if (age >= effect.holdSteps) a = std::max(a - 1, 0);
      StepBurstMotion(world, effect);
      break;
    case kEffectBurstSmoke:
      a += age < effect.holdSteps + 192 ? 1 : -1;
      a = std::clamp(a, 0, 192);
      StepBurstMotion(world, effect);
      break;
    case kEffectParticle:
      a = std::max(a - 1, 0);
      effect.velocity = Vec3{0.99f * v.x, 0.99f * v.y - 0.015f, 0.99f * v.z};
      MoveBy(effect, effect.velocity);
      break;
    case kEffectElectric:
      a = std::max(a - 64, 0);
      break;
    case kEffectAttached:
      // It fades with its parent; without one it would never fade, so it
      // goes at once.
      if (effect.GetObjectParent()) a = 255 - 48 * age;
      else release = true;
      break;
    case kEffectSonic: {
      a = std::max(80 - 3 * age, 0);
      float spread = float(age) / 12.0f;
      effect.SetObjectScale(spread, spread, 1.0f);
      break;
    }
    case kEffectLightning:
      a = std::min(std::max(300 - 30 * age, 0), 255);
      break;
    case kEffectSplash:
      release = StepSplash(effect, age);
      break;
    case kEffectHeat:
      a -= 3;
      GrowBy(effect, 0.05f);
      break;
    case 24: {
      a -= 32;
      float n = float(age + 3);
      effect.SetObjectScale(0.025f * n, 0.025f * n, 0.1f * n);
      break;
    }
    case 25:
      a -= 64;
      break;
    case 26:
      a -= 16;
      break;
    case 27:
      a -= 32;
      break;
    case 28:
      a -= 12;
      MoveBy(effect, v);
      effect.velocity = Vec3{0.95f * v.x, 0.95f * v.y - 0.0027222224f, 0.95f * v.z};
      break;
    case 29:
      a -= 16;
      MoveBy(effect, v);
      effect.velocity = Vec3Scale(v, 0.98f);
      break;
    default:
      break;
  }
  effect.counter = age + 1;
  if (release || LifeRanOut(effect.type, a)) ResetEffectObject(effect);
  return 0;
}

void UpdateEffectObjects(GameWorld& world) {
  for (EffectObject* effect : world.effectPool)
    if (effect && EffectIsLive(*effect)) UpdateEffectObject(world, *effect);
}

void SetEffectVelocity(EffectObject& effect, float x, float y, float z) { effect.velocity = Vec3{x, y, z}; }

// [SECTION] Draw

int PrepareEffectDraw(GameWorld& world, EffectObject& effect, Vec3 cameraAngles) {
  if (!EffectIsLive(effect)) return -1;
  // A splash past its fall may hold a negative alpha: it draws clear.
  const float alpha = float(std::max(effect.alpha, 0)) / 255.0f;
  switch (effect.type) {
    case kEffectBurstFire:
    case kEffectParticle:
    case 25:
    case 28:
      effect.SetObjectColor(-1.0f, -1.0f, -1.0f, alpha);
      TurnTo(effect, cameraAngles);
      break;
    case kEffectBurstSmoke:
      effect.SetObjectColor(alpha, alpha, alpha, -1.0f);
      TurnTo(effect, cameraAngles);
      break;
    case kEffectSplash:
      effect.SetObjectAngles(0.0f, cameraAngles.y, 0.0f);
      effect.SetObjectColor(-1.0f, -1.0f, -1.0f, alpha);
      break;
    case kEffectSunGlare:
      if (!PlaceSunGlare(world, effect)) return 0;
      break;
    case kEffectSky:
      if (!PlaceSkyBillboard(world, effect)) return 0;
      break;
    default:
      effect.SetObjectColor(-1.0f, -1.0f, -1.0f, alpha);
      break;
  }
  DrawEffect(world, effect);
  return 0;
}

int SetHeightFadeAlpha(GameWorld& world, EffectObject& sprite, Vec3 cameraAngles) {
  SceneCamera camera = GetSceneCamera(world);
  Vec3 at = sprite.GetObjectWorldPosition();
  float z = SceneViewDepth(world, camera, at);
  float factor = 1.0f;
  if (sprite.spriteFlag) {
    // Standing clouds fade in near the eye and out at the far end of the
    // view.
    if (z < 40.0f) factor = z / 40.0f;
    else if (z > 9000.0f) factor = (10000.0f - z) / 1000.0f;
  } else {
    // Flat clouds fade as the eye comes level with them, and out at
    // distance.
    float h = std::fabs(at.y - camera.eye.y);
    if (h < 40.0f) factor = h / 40.0f;
    if (z > 6500.0f) factor *= (7700.0f - z) / 1200.0f;
  }
  if (factor < 0.0f) return 0;
  if (sprite.spriteFlag) TurnTo(sprite, cameraAngles);
  sprite.SetObjectVisible(1);
  sprite.SetObjectColor(-1.0f, -1.0f, -1.0f, std::min(factor, 1.0f));
  DrawEffect(world, sprite);
  return 0;
}

// [SECTION] Weather and sky sprites

void PlaceCloudObject(EffectObject& cloud, Vec3 centre, Vec3 offset, Vec3 sun, Vec3 colourA, Vec3 colourB) {
  const float cx = centre.x + offset.x * 7000.0f;
  const float cz = centre.z + offset.z * 7000.0f;
  Vec3 p = cloud.GetObjectPosition();
  p.x = cx + WrapInto(p.x - cx, 8000.0f, 16000.0f);
  p.z = cz + WrapInto(p.z - cz, 8000.0f, 16000.0f);
  cloud.SetObjectPosition(p.x, p.y, p.z);
  if (cloud.spriteFlag) {
    cloud.SetObjectColor(1.0f, 1.0f, 1.0f, -1.0f);
    return;
  }
  float g = std::max(0.0f, p.y < centre.y ? sun.y : -sun.y) + 0.5f;
  auto channel = [g](float a, float b) { return std::clamp(a * g + b, 0.0f, 1.0f); };
  cloud.SetObjectColor(channel(colourA.x, colourB.x), channel(colourA.y, colourB.y), channel(colourA.z, colourB.z),
                       -1.0f);
}

void WrapRainParticle(render::DisplayObject& particle, Vec3 eye, Vec3 direction, Vec3 wind, float fov) {
  MoveBy(particle, Vec3{0.0f, -0.3f, 0.0f});
  Vec3 along = Vec3Add(wind, Vec3{0.0f, 0.3f, 0.0f});
  particle.SetObjectLookAt(along, nullptr);
  KeepNearCentre(particle, eye, direction, fov);
}

void WrapSnowParticle(render::DisplayObject& particle, Vec3 eye, Vec3 direction, Vec3 wind, float fov) {
  MoveBy(particle, Vec3{0.0f, -0.045f, 0.0f});
  Vec3 along = Vec3Add(wind, Vec3{0.0f, -0.045f, 0.0f});
  particle.SetObjectLookAt(along, nullptr);
  particle.SetObjectScale(0.03f, 0.03f, 0.03f + Vec3Length(along) / 3.0f);
  KeepNearCentre(particle, eye, direction, fov);
}

}  // namespace world
