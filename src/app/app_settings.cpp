// app_settings.cpp -- the settings block's defaults and the settings file.
// The file is object text read by the script compiler; until the compiler
// exists the file is neither read nor written and the defaults stand.

#include <cstdio>
#include <cstring>

#include "app/app_local.h"

namespace app {

void ResetSettings(SettingsBlock* s) {
  std::memset(s, 0, sizeof *s);
  s->version = kSettingsVersion;
  s->screenMode = 1;
  s->width = 1024;
  s->height = 768;
  s->shaderFlag = 1;
  s->shadow = 2;
  s->highDef = 0;
  s->multiLight = 1;
  s->mirror = 1;
  s->bump = 1;
  s->glare = 1;
  s->bloom = 0;
  s->aeroLight = 1;
  s->viewMode = 1;
  s->fps = 0;
  s->drawFps = 1;
  std::memset(s->padMap, 255, sizeof s->padMap);
  s->networkPort[0] = kDefaultNetworkPort;
  std::snprintf(s->networkUrl[0], sizeof s->networkUrl[0], "%s", kLoopbackHostName);
}

int LoadSettings(Engine& engine, const char* path) {
  (void)engine;
  (void)path;
  return 0;
}

int SaveSettings(Engine& engine, const char* path) {
  (void)engine;
  (void)path;
  return 0;
}

}  // namespace app
