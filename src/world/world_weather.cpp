// world_weather.cpp -- the environment step: rain, snow, clouds, thunder
// and the sun's visibility; the effect textures, sun and flare.

#include "world/world_local.h"

namespace world {

void StepWeatherEffects(GameWorld& world) { (void)world; }
void LoadEffectTextures(GameWorld& world) { (void)world; }
void ScatterWeatherParticles(GameWorld& world) { (void)world; }
void ResetEnvironment(GameWorld& world) { world.environment = EnvironmentRecord{}; }

}  // namespace world
