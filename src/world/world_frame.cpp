// world_frame.cpp -- the world's load and frame, and the paths its next
// frame takes up. A stand-in until the world exists: it loads nothing and its
// frame does nothing.

#include "world/world_public.h"

#include <cstring>

#include "core/core_public.h"

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

int GameWorld::SetNextScriptPath(const char* path) { return StorePath(log, startFileName_, path); }

int GameWorld::SetNextUnitDataPath(const char* path) { return StorePath(log, nextUnitDataPath_, path); }

int GameWorld::LoadWorld() { return 1; }

int GameWorld::RunWorldFrame(platform::Window* window) {
  (void)window;
  return 0;
}

}  // namespace world
