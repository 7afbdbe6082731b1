// world_render.cpp -- one displayed frame of the world (in progress).

#include "world/world_render.h"

#include "world/world_local.h"

namespace world {

int RebuildRenderTargets(GameWorld& world, int code) {
  (void)world;
  (void)code;
  return 1;
}

void ReleaseRenderTargets(GameWorld& world) { (void)world; }

std::string BuildEffectHeader(const core::SettingsBlock& settings, bool screenshot) {
  (void)settings;
  (void)screenshot;
  return {};
}

void RenderTargetSize(int clientWidth, int clientHeight, int code, bool headset, int* width, int* height) {
  (void)code;
  (void)headset;
  *width = clientWidth;
  *height = clientHeight;
}

int CountChainLevels(int width, int height) {
  (void)width;
  (void)height;
  return 0;
}

std::string FormatScreenshotStamp(const platform::LocalTime& time) {
  (void)time;
  return {};
}

std::string FormatTrafficLine(const int32_t counters[5]) {
  (void)counters;
  return {};
}

int RenderFrame(GameWorld& world) {
  (void)world;
  return 0;
}

}  // namespace world
