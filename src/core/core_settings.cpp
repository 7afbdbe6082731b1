// core_settings.cpp -- the settings of a fresh installation.

#include <cstdio>
#include <cstring>

#include "core/core_settings.h"

namespace core {

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

}  // namespace core
