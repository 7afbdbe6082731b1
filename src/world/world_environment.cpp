// world_environment.cpp -- the environment record and the effect objects'
// per-type step.

#include "world/world_local.h"

namespace world {

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
