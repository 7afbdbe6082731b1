// world_cloud_release.cpp -- letting every cloud of the world go at once.

#include "world/world_local.h"

namespace world {

int ReleaseAllClouds(GameWorld& world) {
  if (!world.weather) return 1;
  for (EffectObject& cloud : world.weather->clouds)
    if (cloud.GetObjectSurface()) ResetEffectObject(cloud);
  return 1;
}

}  // namespace world
