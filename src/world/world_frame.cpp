// world_frame.cpp -- the world's construction, its fixed-step frame with the
// states and their steps, the step input, and the on-screen message lines.
//
// Index:
// [SECTION] Construction and the paths of the next reset
// [SECTION] The frame
// [SECTION] The run state's step and the world step
// [SECTION] The step input
// [SECTION] Screen messages
// [SECTION] Services: the world's words

#include <cstring>

#include "input/input_public.h"
#include "sound/sound_public.h"
#include "world/world_local.h"

namespace world {

using core::Sjis;

// [SECTION] Construction and the paths of the next reset

namespace {

// Copies a path into a field of kPathBytes, or refuses it (0) when it does
// not fit with its terminator.
int StorePath(core::LogSystem* log, char* field, const char* path) {
  if (!path) path = "";
  size_t length = std::strlen(path);
  if (length >= GameWorld::kPathBytes) {
    core::Logf(log, core::kLogError, Sjis("パスが長すぎます（%zuバイト）。\n"), length);
    return 0;
  }
  std::memcpy(field, path, length + 1);
  return 1;
}

}  // namespace

GameWorld::GameWorld() {
  scriptEngine.pathPoints.errorLabel = &errorLabel;
  scriptEngine.host = this;
  unitDatabase = ownDatabase_ = NewUnitDatabase();
  pathPoints = ownPathPoints_ = NewPathPointPool();
  // Errors in path points' event scripts name their point.
  scriptEngine.pathPoints.find = units::FindPathPointLabelForScript;
  scriptEngine.pathPoints.user = pathPoints;
  map = NewMapObjectWorld();
  weather = std::make_unique<WeatherObjects>();
  SetWorldDefaults();
}

GameWorld::~GameWorld() {
  // The targets are registered with the renderer, which outlives the world.
  ReleaseRenderTargets(*this);
  FreeEffectPool(*this);
  FreeUnitPool(*this);
  DeleteMapObjectWorld(map);
  FreePopulation(*this);
  DeletePathPointPool(ownPathPoints_);
  DeleteUnitDatabase(ownDatabase_);
}

int GameWorld::SetNextScriptPath(const char* path) { return StorePath(log, startFileName_, path); }

int GameWorld::SetNextUnitDataPath(const char* path) { return StorePath(log, nextUnitDataPath_, path); }

void GameWorld::ClearStartFiles() {
  lastStartFileName_[0] = 0;
  startFileName_[0] = 0;
  nextUnitDataPath_[0] = 0;
}

void GameWorld::TakeStartFileAsLast() { std::memcpy(lastStartFileName_, startFileName_, kPathBytes); }

// [SECTION] The frame

namespace {

// Moves the fade value toward its target by the step.
void StepFade(GameWorld& w) {
  float difference = w.fade.value - w.fade.target;
  float step = w.fade.step;
  if ((difference < 0 ? -difference : difference) <= (step < 0 ? -step : step)) {
    w.fade.value = w.fade.target;
    return;
  }
  if (w.fade.target > w.fade.value) w.fade.value += step;
  if (w.fade.value > w.fade.target) w.fade.value -= step;
}

// The start state's only step: the reset, then the run (or edit) state.
void StartStep(GameWorld& w) {
  if (w.stepCounter == 0) w.ResetWorld();
  if (InEditMode(w) && !w.testRunRequested) {
    // The editor takes its placement file up itself when it steps.
    w.nextState = WorldState::Edit;
    return;
  }
  w.nextState = WorldState::Run;
}

// The edit state's step: the scripts, the editor.
void EditStep(GameWorld& w) {
  if (w.scriptEngine.RunScriptFrame(w.paused) < 0) w.scriptEngine.WriteRuntimeError();
  StepWeatherEffects(w);
  if (w.host.editorStep) w.host.editorStep(w.host.user, w.stepCounter);
  if (w.host.ageEditorKeys) w.host.ageEditorKeys(w.host.user);
  // A test run restarts the scene: the engine is emptied and the system
  // calls registered again, as at every other start of a script.
  if (w.testRunRequested) {
    RegisterSystemCallsAgain(w);
    w.nextState = WorldState::Start;
  }
}

}  // namespace

int GameWorld::RunWorldFrame(platform::Window* frameWindow) {
  window = frameWindow;
  int slots = CountUnitSlots(*this);
  int rate = FrameRateOf(*this);
  bool firstStep = true;
  for (int d = 0; d < speed * 60; d += rate) {
    if (!firstStep && input) input->UpdateInput(1);
    firstStep = false;

    speed = 1;
    if (state == WorldState::Run) {
      if (playback && !replayAborted) {
        // The frame's own copy of the pad, for the replay keys; the first
        // steps of a state see none.
        int32_t frameHeld[kButtons] = {};
        if (input && stepCounter >= kQuietSteps) input->SnapshotInput(frameHeld, nullptr, nullptr, nullptr, nullptr);
        // Held still: the frame draws without stepping. The keys are read
        // again at the next frame, so letting go resumes the replay.
        ReplayKeys keys = ReadReplayKeys(frameHeld);
        speed = keys.speed;
        if (keys.hold) break;
      }
      if (eventMode == -1) {
        if (fade.value >= 1.0f) speed = 10000;
        fade.target = 1.0f;
        fade.step = 0.05f;
      }
    }

    switch (state) {
      case WorldState::Start: StartStep(*this); break;
      case WorldState::Run: RunStep(slots); break;
      case WorldState::Edit: EditStep(*this); break;
    }

    StepFade(*this);
    if (host.stepWindows) host.stepWindows(host.user, held, trigger, repeat);
    if (gameEnded) break;
    for (ScreenMessageLine& line : messages)
      if (line.timer) line.timer--;
    if (!paused) stepCounter++;
    if (nextState != state) {
      state = nextState;
      stepCounter = 0;
    }
  }

  UpdateEngineSounds(fade.value);
  RenderFrame(*this);
  if (!gameEnded) return 0;
  if (host.saveSettings) host.saveSettings(host.user);
  ShutdownWorld();
  return 1;
}

// [SECTION] The run state's step and the world step

void GameWorld::RunStep(int slots) {
  // The HUD map's keys.
  if ((trigger[66] || trigger[67]) && eventMode == 0 && !playback) hudMapShown = !hudMapShown;
  if (hudFlags & 2) hudMapShown = 0;

  if (!pendingRunError.empty()) {
    std::string text = pendingRunError + Sjis("\n\nF12キーで戻ります。");
    if (host.showErrorWindow) host.showErrorWindow(host.user, text.c_str());
    pendingRunError.clear();
  }

  StepInput(stepCounter);
  StepWorld();
  RunPathTriggers(*this, kTriggerAuto, nullptr, nullptr);

  // One slice of every script thread. A failure writes the error files and
  // empties the engine; units and effects go on.
  if (scriptEngine.RunScriptFrame(paused) < 0) {
    scriptEngine.WriteCompileResults();
    scriptEngine.WriteRuntimeError();
    scriptEngine.WriteVariableTableFile("RuntimeValue.txt");
    scriptEngine.WriteCodeListingFile("CompiledCode.txt");
    RegisterSystemCallsAgain(*this);
    EmptyTriggerLists(*this);
    fade = ScreenFade{};
  }

  // Units that a script or their own step marked deleted.
  for (int slot = 1; slot < slots && slot < CountUnitSlots(*this); slot++) {
    units::Unit* unit = GetUnitAt(*this, slot);
    if (unit && UnitMarkedDeleted(unit)) ResetUnitSlot(*this, slot);
  }

  if (host.updateFlightHud) host.updateFlightHud(host.user);
  if (host.ageEditorKeys) host.ageEditorKeys(host.user);

  // The camera key: the player's view, or the replay's three views.
  if (trigger[68] && playerUnit && playerUnit == focusUnit && !paused && eventMode == 0) {
    bool vr = settings && settings->stereoType == 4;
    if (vr && graphics) graphics->RecenterVR();
    if (playback) {
      SetCameraMode(*this, camera.mode == 0 ? 1 : camera.mode == 1 ? 2 : 0);
    } else if (!vr) {
      SetCameraMode(*this, camera.mode == 0 ? 1 : 0);
      if (settings) settings->viewMode = camera.mode;
    }
  }

  if (finishRequested) {
    RegisterSystemCallsAgain(*this);
    if (!playback && !networkGame) {
      RecordFinishedRun(*this);
      recordedGameTime = gameTime;
    }
    StopGameSounds(*this);
    if (!startFileName_[0] && !InEditMode(*this)) gameEnded = true;
    else nextState = WorldState::Start;
    testRunRequested = 0;
    finishRequested = 0;
  }
}

void GameWorld::StepWorld() {
  if (networkGame) ApplyNetworkMessages(*this);
  RenewUnitModelMarks(*this);
  if (!paused) {
    int slots = freezeCountdown ? 0 : CountUnitSlots(*this);
    int eventOn = eventMode != 0;
    for (int slot = 1; slot < slots; slot++) {
      units::Unit* unit = GetUnitAt(*this, slot);
      if (!unit || UnitEventFlag(unit) != eventOn) continue;
      if (!StepUnit(*this, unit)) {
        ReleaseMatchingUnits(*this, unit);
        continue;
      }
      if (UnitHasLabel(unit)) RunPathTriggers(*this, kTriggerNear, unit, unit);
    }
    if (!reducedEffects) StepEffects(*this);
    if (eventMode == 0 && !timerStopped) {
      if (restCountdown) restCountdown--;
      gameTime++;
    }
    if (freezeCountdown) freezeCountdown--;
  }
  if (networkGame) {
    SendUnitStates(*this, stepCounter);
    SendPlayerData(*this);
  }
  if (camera.countdown) camera.countdown--;
}

// [SECTION] The step input

int GameWorld::StepInput(int step) {
  std::memset(held, 0, sizeof held);
  std::memset(trigger, 0, sizeof trigger);
  std::memset(repeat, 0, sizeof repeat);
  std::memset(axes, 0, sizeof axes);
  if (step >= kQuietSteps && input) input->SnapshotInput(held, trigger, repeat, axes, axes + 3);

  // Four analogue values as whole hundredths, truncated toward zero: what
  // the recorder keeps, so live and replayed play see the same values.
  static constexpr int kQuantised[4] = {0, 1, 2, 5};
  int32_t analog[4];
  for (int i = 0; i < 4; i++) analog[i] = int32_t(axes[kQuantised[i]] * 100.0f);

  Vec3 position{};
  if (playerUnit && UnitEventFlag(playerUnit) == (eventMode != 0)) position = UnitPosition(playerUnit);

  if (inputPaused) {
    // live input only
  } else if (!playback) {
    RecordStepInput(*this, step, analog, position);
  } else if (!replayAborted) {
    PlayStepInput(*this, step, analog);
  }
  for (int i = 0; i < 4; i++) axes[kQuantised[i]] = float(analog[i]) / 100.0f;
  return 1;
}

// [SECTION] Screen messages

int PushScreenMessage(GameWorld& world, const char* text) {
  if (!text) text = "";
  auto& lines = world.messages;
  for (int i = GameWorld::kMessageLines - 1; i > 0; i--) lines[size_t(i)] = lines[size_t(i - 1)];
  ScreenMessageLine& line = lines[0];
  line.timer = GameWorld::kMessageSteps;
  // At most 127 bytes, and never half of a two-byte character.
  int n = 0;
  while (text[n] && text[n] != '\n') {
    int piece = core::IsSjisLeadByte(static_cast<unsigned char>(text[n])) && text[n + 1] ? 2 : 1;
    if (n + piece > int(sizeof line.text) - 1) break;
    n += piece;
  }
  std::memcpy(line.text, text, size_t(n));
  line.text[n] = 0;
  // A newline ends this line wherever it stands, even past the 127 bytes
  // kept; the rest becomes a further, newer line.
  const char* newline = std::strchr(text, '\n');
  if (newline) return PushScreenMessage(world, newline + 1);
  return n;
}

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
core::LogSystem* GetWorldLog(GameWorld& world) { return world.log; }
int PlayWorldSound(GameWorld& world, int slot, int volume, int pan, int frequency) {
  if (!world.sound || world.reducedEffects) return -1;
  return world.sound->PlaySoundSlot(slot, 0, volume, pan, frequency);
}
int StopWorldSound(GameWorld& world, int slot) {
  if (!world.sound || !(world.sound->GetSoundStatus(slot, -1) & sound::kStatusPlaying)) return 0;
  world.sound->StopSoundSlot(slot, -1);
  return 1;
}

int StopWorldSoundCopy(GameWorld& world, int slot, int copy) {
  if (!world.sound || copy < 0 || !(world.sound->GetSoundStatus(slot, copy) & sound::kStatusPlaying)) return 0;
  world.sound->StopSoundSlot(slot, copy);
  return 1;
}

int IsWorldSoundPlaying(GameWorld& world, int slot) {
  return world.sound && (world.sound->GetSoundStatus(slot, -1) & sound::kStatusPlaying) ? 1 : 0;
}
int PlayWorldSoundLooping(GameWorld& world, int slot, int volume, int pan, int frequency) {
  if (!world.sound || world.reducedEffects) return -1;
  return world.sound->PlaySoundSlot(slot, 1, volume, pan, frequency);
}
int UpdateWorldSoundCopy(GameWorld& world, int slot, int copy, int volume, int pan, int frequency) {
  if (!world.sound || copy < 0 || !(world.sound->GetSoundStatus(slot, copy) & sound::kStatusPlaying)) return 0;
  world.sound->ApplySoundVolume(slot, copy, volume);
  world.sound->SetSoundPan(slot, copy, pan);
  world.sound->SetSoundFrequency(slot, copy, frequency);
  return 1;
}

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

}  // namespace world
