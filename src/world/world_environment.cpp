// world_environment.cpp -- the environment record's operations (two entries
// and the blend between them) and the effect object's reset.

#include <cstring>

#include "world/world_local.h"

namespace world {

namespace {

bool IsEntry(int entry) { return entry == 0 || entry == 1; }

void Store(float* out, Vec3 v) {
  out[0] = v.x;
  out[1] = v.y;
  out[2] = v.z;
}

Vec3 Blend3(const float (*pair)[3], float t) {
  const float u = 1.0f - t;
  return Vec3{u * pair[0][0] + t * pair[1][0], u * pair[0][1] + t * pair[1][1], u * pair[0][2] + t * pair[1][2]};
}

// A name cut to fit its field with its terminator (a null name is empty).
void CopySkyName(char* field, const char* name) {
  size_t length = name ? strnlen(name, EnvironmentRecord::kSkyNameBytes - 1) : 0;
  if (length) std::memcpy(field, name, length);
  field[length] = 0;
}

}  // namespace

// [SECTION] Entries

int EnvironmentRecord::SetSkyEntry(int entry, const char* first, const char* second, int weatherKind) {
  if (!IsEntry(entry)) return 0;
  CopySkyName(skyFiles[entry * 2], first);
  CopySkyName(skyFiles[entry * 2 + 1], second);
  weather[entry] = weatherKind;
  return 1;
}

int EnvironmentRecord::GetSkyTextureNames(int entry, char* first, char* second) const {
  if (!IsEntry(entry)) return 0;
  if (first) std::memcpy(first, skyFiles[entry * 2], kSkyNameBytes);
  if (second) std::memcpy(second, skyFiles[entry * 2 + 1], kSkyNameBytes);
  return 1;
}

int EnvironmentRecord::SetFogEntry(int entry, float nearDistance, float farDistance, Vec3 colour) {
  if (!IsEntry(entry)) return 0;
  fogNear[entry] = nearDistance;
  fogFar[entry] = farDistance;
  Store(fogColour[entry], colour);
  return 1;
}

int EnvironmentRecord::SetLightEntry(int entry, Vec3 direction, Vec3 colourA, Vec3 colourB) {
  if (!IsEntry(entry)) return 0;
  Store(lightDirection[entry], platform::Vec3Normalize(direction));
  Store(lightColourA[entry], colourA);
  Store(lightColourB[entry], colourB);
  return 1;
}

int EnvironmentRecord::SetShadowEntry(int entry, int value) {
  if (!IsEntry(entry)) return 0;
  shadow[entry] = value;
  return 1;
}

// [SECTION] Blends

void EnvironmentRecord::GetBlendedFog(float* nearDistance, float* farDistance, Vec3* colour) const {
  const float t = blend;
  if (nearDistance) *nearDistance = (1.0f - t) * fogNear[0] + t * fogNear[1];
  if (farDistance) *farDistance = (1.0f - t) * fogFar[0] + t * fogFar[1];
  if (colour) *colour = Blend3(fogColour, t);
}

void EnvironmentRecord::GetBlendedLight(Vec3* direction, Vec3* colourA, Vec3* colourB) const {
  if (direction) *direction = platform::Vec3Normalize(Blend3(lightDirection, blend));
  if (colourA) *colourA = Blend3(lightColourA, blend);
  if (colourB) *colourB = Blend3(lightColourB, blend);
}

int EnvironmentRecord::ActiveEntry() const {
  // trunc(t + 0.5) for a blend in 0..1; a script may store any number, so
  // anything from 1 up is entry 1 and anything else (a negative blend, not
  // a number) entry 0: the index never leaves the two entries.
  return blend + 0.5f >= 1.0f ? 1 : 0;
}

int EnvironmentRecord::TickLightningCountdown() {
  // A negative count never comes down to 0: it is left alone rather than
  // counted toward the integer's end.
  if (lightningCount <= 0) return 0;
  lightningCount--;
  return lightningCount == 0 ? 1 : 0;
}

// [SECTION] Effect objects

void ResetEffectObject(EffectObject& effect) {
  effect.ReleaseObject();
  effect.spriteFlag = 0;
  effect.velocity = Vec3{};
  effect.type = 0;
  effect.alpha = 255;
  effect.alphaLimit = 0;
  effect.blendPercent = 0.0f;
  effect.size = 0.0f;
  effect.holdSteps = 0;
  effect.drift = Vec3{};
  effect.counter = 0;
}

bool EffectIsLive(const EffectObject& effect) {
  return effect.GetObjectModel() != nullptr || effect.GetObjectSurface() != nullptr;
}

}  // namespace world
