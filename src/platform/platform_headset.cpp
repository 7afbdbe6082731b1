// platform_headset.cpp -- the head-mounted display runtime of this platform:
// there is none, so the runtime never starts and no display opens.

#include "platform/platform_headset.h"

namespace platform {

namespace {

bool StartNoRuntime(void*) { return false; }
HeadMountedDisplay* CreateNoDisplay(void*, int) { return nullptr; }

}  // namespace

HeadsetApi PlatformHeadsetApi() {
  HeadsetApi api;
  api.StartRuntime = StartNoRuntime;
  api.Create = CreateNoDisplay;
  return api;
}

}  // namespace platform
