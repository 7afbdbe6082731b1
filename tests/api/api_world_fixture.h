// api_world_fixture.h -- a world built alone, as the engine record wires it
// minus the devices, with the engine's system calls registered.
#pragma once

#include "api/api_public.h"
#include "core/core_public.h"
#include "test_support.h"
#include "world/world_local.h"

namespace apitest {

struct RegisteredWorld {
  test::ScopedWorkFolder work;
  core::LogSystem log{"system.log", core::kLogInfo};
  world::GameWorld world;
  int frameRate = 60;
  int editorMode = 0;

  RegisteredWorld() {
    world.log = &log;
    world.scriptEngine.log = &log;
    world.scriptEngine.pools.log = &log;
    world.frameRate = &frameRate;
    world.editorMode = &editorMode;
    world.host.user = &world;
    world.host.registerSystemCalls = [](void* user) {
      api::RegisterSystemCalls(*static_cast<world::GameWorld*>(user), nullptr);
    };
    api::RegisterSystemCalls(world, nullptr);
    world.LoadWorld();
  }
};

}  // namespace apitest
