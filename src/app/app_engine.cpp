// app_engine.cpp -- the engine record: each owner is handed the owners it
// calls, once, before start-up.

#include "app/app_local.h"
#include "units/units_public.h"

namespace app {

namespace {

// Boxes that cannot be shown go to the log as well as to stderr.
void LogUnshownBox(void* user, const char* text) {
  static_cast<LogSystem*>(user)->WriteLog(text, kLogError);
}

// What the world asks of the owners above it.
void RegisterCallsForWorld(void* user) {
  Engine& e = *static_cast<Engine*>(user);
  api::RegisterSystemCalls(e.world, e.graphics.MainWindow());
}

void ShowWorldErrorWindow(void* user, const char* text) {
  ui::WindowManager::ShowErrorWindow(&static_cast<Engine*>(user)->windows, text);
}

void CloseWorldWindows(void* user) { static_cast<Engine*>(user)->windows.CloseWindows(-1); }

void ReleaseWorldWindows(void* user) { static_cast<Engine*>(user)->windows.ReleaseWindows(); }

void StepWorldWindows(void* user, const int32_t* held, const int32_t* trigger, const int32_t* repeat) {
  static_cast<Engine*>(user)->windows.StepWindows(held, trigger, repeat);
}

void DrawWorldWindows(void* user) { static_cast<Engine*>(user)->windows.DrawWindows(); }
void ForgetUnitInWindows(void* user, render::DisplayObject* object) {
  static_cast<Engine*>(user)->windows.ForgetWindowSprite(object);
}

// The world reset: every window hidden, and the HUD's images (and every
// unit type's HUD images) additive again, whatever `set_hud_light` left.
void ResetWorldWindows(void* user) {
  CloseWorldWindows(user);
  static_cast<Engine*>(user)->hud.ToggleHudSprites(1);
}

// The flight HUD's step, alarms and drawing.
void UpdateHudForWorld(void* user) { static_cast<Engine*>(user)->hud.UpdateFlightHud(); }
void UpdateHudAlarmsForWorld(void* user) { static_cast<Engine*>(user)->hud.UpdateHudAlarms(); }
void ToggleHudForWorld(void* user, int on) { static_cast<Engine*>(user)->hud.ToggleHudSprites(on); }
void DrawHudForWorld(void* user) { static_cast<Engine*>(user)->hud.DrawHud(); }

void SaveSettingsForWorld(void* user) { SaveSettings(*static_cast<Engine*>(user), nullptr); }

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
  world.settings = &settings;
  world.input = &input;
  world.sound = &sound;
  world.network = &network;
  world.recorder = &recorder;
  world.clock = &clock;
  world.editorMode = &app.EditorMode;
  world.frameRate = &app.pacer.frameRate;
  world.graphics = &graphics;
  world.unitDatabase->graphics = &graphics;
  world.host.user = this;
  world.host.registerSystemCalls = RegisterCallsForWorld;
  world.host.showErrorWindow = ShowWorldErrorWindow;
  world.host.closeAllWindows = ResetWorldWindows;
  world.host.releaseWindows = ReleaseWorldWindows;
  world.host.stepWindows = StepWorldWindows;
  world.host.drawWindows = DrawWorldWindows;
  world.host.unitReleased = ForgetUnitInWindows;
  windows.graphics = &graphics;
  windows.sound = &sound;
  world.windows = &windows;
  world.host.saveSettings = SaveSettingsForWorld;
  hud.world = &world;
  world.host.updateFlightHud = UpdateHudForWorld;
  world.host.updateHudAlarms = UpdateHudAlarmsForWorld;
  world.host.toggleHudSprites = ToggleHudForWorld;
  world.host.drawHud = DrawHudForWorld;
  world.scriptEngine.log = &log;
  world.scriptEngine.pools.log = &log;
  world.scriptEngine.files = &packages;
  world.scriptEngine.errorWindow = {ui::WindowManager::ShowErrorWindow, &windows};
  world.scriptEngine.editorMode = &app.EditorMode;
  platform::SetDiagnosticSink(LogUnshownBox, &log);
}

Engine::~Engine() { platform::SetDiagnosticSink(nullptr, nullptr); }

}  // namespace app
