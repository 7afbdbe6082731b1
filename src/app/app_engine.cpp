// app_engine.cpp -- the engine record: each owner is handed the owners it
// calls, once, before start-up.

#include "app/app_local.h"

namespace app {

namespace {

// Boxes that cannot be shown go to the log as well as to stderr.
void LogUnshownBox(void* user, const char* text) {
  static_cast<LogSystem*>(user)->WriteLog(text, kLogError);
}

}  // namespace

Engine::Engine() {
  packages.log = &log;
  graphics.log = &log;
  graphics.clock = &clock;
  graphics.packages = &packages;
  input.log = &log;
  network.log = &log;
  sound.log = &log;
  sound.packages = &packages;
  world.log = &log;
  world.scriptEngine.log = &log;
  world.scriptEngine.pools.log = &log;
  world.scriptEngine.files = &packages;
  world.scriptEngine.errorWindow = {ui::WindowManager::ShowErrorWindow, &windows};
  world.scriptEngine.editorMode = &app.EditorMode;
  platform::SetDiagnosticSink(LogUnshownBox, &log);
}

Engine::~Engine() { platform::SetDiagnosticSink(nullptr, nullptr); }

}  // namespace app
