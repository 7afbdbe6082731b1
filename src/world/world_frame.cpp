// world_frame.cpp -- the world's construction, its frame and the paths its
// next reset takes up. The frame is a stand-in: it runs no steps yet.

#include <cstring>

#include "world/world_local.h"

namespace world {

namespace {

// Copies a path into a field of kPathBytes, or refuses it (0) when it does
// not fit with its terminator.
int StorePath(core::LogSystem* log, char* field, const char* path) {
  if (!path) path = "";
  size_t length = std::strlen(path);
  if (length >= GameWorld::kPathBytes) {
    core::Logf(log, core::kLogError, core::Sjis("パスが長すぎます（%zuバイト）。\n"), length);
    return 0;
  }
  std::memcpy(field, path, length + 1);
  return 1;
}

}  // namespace

GameWorld::GameWorld() { scriptEngine.pathPoints.errorLabel = &errorLabel; }

GameWorld::~GameWorld() {
  FreeEffectPool(*this);
  FreeUnitPool(*this);
  FreePopulation(*this);
}

int GameWorld::SetNextScriptPath(const char* path) { return StorePath(log, startFileName_, path); }

int GameWorld::SetNextUnitDataPath(const char* path) { return StorePath(log, nextUnitDataPath_, path); }

int GameWorld::LoadWorld() { return 1; }

int GameWorld::RunWorldFrame(platform::Window* frameWindow) {
  window = frameWindow;
  return 0;
}

void GameWorld::StepWorld() {}
int GameWorld::StepInput(int step) { (void)step; return 1; }
void GameWorld::SetWorldDefaults() {}
void GameWorld::ResetWorld() {}
void GameWorld::ShutdownWorld() {}
int GameWorld::UpdateEngineSounds(float fade) { (void)fade; return paused ? 1 : 0; }

// [SECTION] Services: the world's words

int Rand(GameWorld& world) { return world.random.Next(); }
int GetStepCounter(GameWorld& world) { return world.stepCounter; }
int GetEventMode(GameWorld& world) { return world.eventMode; }
int GetGameLevel(GameWorld& world) { return world.gameLevel; }
int IsNetworkGame(GameWorld& world) { return world.networkGame; }
int IsWorldPaused(GameWorld& world) { return world.paused; }
int IsEditingWorld(GameWorld& world) { return InEditMode(world) && !world.testRunRequested; }
int GetStallHeight(GameWorld& world) { return world.stallHeight; }
float GetSystemScale(GameWorld& world) { return world.SystemScale(); }
units::UnitDatabase& GetUnitDatabase(GameWorld& world) { return *world.unitDatabase; }

void GetStepInput(GameWorld& world, int32_t* held, int32_t* trigger, int32_t* repeat, float* axesA,
                  float* axesB) {
  if (held) std::memcpy(held, world.held, sizeof world.held);
  if (trigger) std::memcpy(trigger, world.trigger, sizeof world.trigger);
  if (repeat) std::memcpy(repeat, world.repeat, sizeof world.repeat);
  if (axesA) std::memcpy(axesA, world.axes, 3 * sizeof(float));
  if (axesB) std::memcpy(axesB, world.axes + 3, 3 * sizeof(float));
}

int RaiseStoredMax(GameWorld& world, int n) {
  if (n < 0) world.freezeCountdown = 0;
  else if (n > world.freezeCountdown) world.freezeCountdown = n;
  return 1;
}

int PushScreenMessage(GameWorld& world, const char* text) { (void)world, (void)text; return 0; }

}  // namespace world
