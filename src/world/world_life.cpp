// world_life.cpp -- the world's life cycle: defaults, load, reset with its
// start file, shutdown, the engine sounds of a frame, and the seams to the
// parts of the game the world drives (triggers, recorder, network, effects).

#include <cmath>
#include <cstring>
#include <strings.h>

#include "input/input_public.h"
#include "net/net_public.h"
#include "sound/sound_public.h"
#include "world/world_local.h"

namespace world {

using core::Sjis;

namespace {

constexpr int kRestSteps = 18000;  // five minutes
constexpr int kDefaultStallHeight = 3000;
// 1 when the name ends in ".plc", any case.
bool IsPlacementFile(const char* name) {
  size_t length = std::strlen(name);
  return length >= 4 && strcasecmp(name + length - 4, ".plc") == 0;
}

// A start file that is a placement file: read, its paths built with their
// scripts compiled and their active points listed, every group put. Too
// many path points end the load with a text shown at the first run step.
void LoadStartPlacement(GameWorld& world, const char* path) {
  if (LoadUnitPlacementFile(world, path, 0, nullptr) != 1) return;
  try {
    CreatePathsFromPoints(world, 1, 1);
    put_group(world, nullptr, kSceneTextureFlags, 1);
  } catch (const script::ScriptError& e) {
    core::Logf(world.log, core::kLogError, "%s\n", e.text.c_str());
    world.pendingRunError = e.text;
  }
}

}  // namespace

// [SECTION] Defaults, load, shutdown

void GameWorld::SetWorldDefaults() {
  stepCounter = 0;
  state = nextState = WorldState::Start;
  speed = 1;
  systemScale_ = 1.0f;
  camera.mode = 0;
  camera.countdown = 0;
  messages = {};
  FreePopulation(*this);
  noWeaponType = nullptr;
  ClearStartFiles();
  ResetEnvironment(*this);
  SetFlightArea(flightArea, -5000.0f, -5000.0f, -5000.0f, 5000.0f, 5000.0f, 5000.0f, 900.0f);
  gameEnded = false;
}

int GameWorld::LoadWorld() {
  core::Log(log, core::kLogInfo, Sjis("ワールドロード処理開始@Load\n"));
  // A relay peer of a network game draws and plays nothing of its own.
  reducedEffects = network && network->IsOpen() && settings &&
                   strcasecmp(settings->networkName[0], "PALE_RELAY") == 0;
  core::Logf(log, core::kLogInfo, "reduced effects mode %d\n", reducedEffects);
  // (A minimised window leaves the request standing for the first frame
  // with a size.)
  renderRebuild = 0;
  RebuildRenderTargets(*this, settings ? settings->highDef : 0);
  camera.eye.y = 40.0f;
  // The fade sprite: white, over the whole 2D layer, clear until a fade.
  if (graphics) {
    int width = 0, height = 0;
    graphics->GetScreenSize(&width, &height);
    const float aspect = height > 0 ? float(width) / float(height) : 4.0f / 3.0f;
    fadeSprite.SetObjectTexture(*graphics, graphics->GetWhiteTexture());
    fadeSprite.AlignObjectSurface(0);
    fadeSprite.SetObjectScale(aspect * 768.0f, 768.0f, 1.0f);
    fadeSprite.SetObjectPosition(0.0f, 0.0f, 0.0f);
  }
  fadeColour[0] = fadeColour[1] = fadeColour[2] = fadeColour[3] = 0.0f;
  fadeSprite.SetObjectColor(0.0f, 0.0f, 0.0f, 0.0f);
  if (CountUnitSlots(*this) == 0) GrowUnitPool(*this);
  if (effectPool.empty()) EnsureEffectPool(*this);
  LoadEffectTextures(*this);
  core::Log(log, core::kLogInfo, Sjis("ワールドロード処理終了@Load\n"));
  return 1;
}

void GameWorld::ShutdownWorld() {
  core::Log(log, core::kLogInfo, Sjis("\n--------- メインパート終了 ---------\n\n"));
  ReleaseRenderTargets(*this);
  if (graphics) graphics->SetShadowedPasses(0);
  ClearUnitSlots(*this);
  if (host.releaseWindows) host.releaseWindows(host.user);
  StopGameSounds(*this);
  playback = 0;
  stepCounter = 0;
  SetWorldDefaults();
}

// [SECTION] Reset

void GameWorld::ResetWorld() {
  // 1. The log line; every sound of the game stopped.
  core::Log(log, core::kLogInfo, Sjis("ワールド初期化処理開始@Reset\n"));
  StopGameSounds(*this);

  // 2-3. Every unit slot reset, the paths and trigger lists emptied, the
  // effect pool freed.
  ClearUnitSlots(*this);
  DetachPathPoints(*this);
  EmptyTriggerLists(*this);
  FreeEffectPool(*this);

  // 4. The words of a run.
  eventMode = 0;
  camera.countdown = 0;
  eventHud = 0;
  restCountdown = kRestSteps;
  finishRequested = 0;
  paused = 0;
  gameTime = 0;
  timerStopped = 0;
  speed = 1;
  fade = ScreenFade{};
  fadeColour[0] = fadeColour[1] = fadeColour[2] = fadeColour[3] = 0.0f;
  fadeSprite.SetObjectColor(0.0f, 0.0f, 0.0f, 0.0f);
  freezeCountdown = 0;
  heightOffset = 0;
  stallHeight = kDefaultStallHeight;
  hudFlags = 0;

  // 5. The population records.
  ResetPopulation(*this);

  // 6. A new start file drops the loaded unit types; the scene records go
  // either way.
  if (std::memcmp(startFileName_, lastStartFileName_, kPathBytes) != 0) ReleaseAllUnitTypeResources(*this);
  FreeSceneRecords(*this);

  // 7. Weather scattered, the first environment entry, the sky layers;
  // pending network messages dropped.
  ScatterWeatherParticles(*this);
  environment.blend = 0.0f;
  SetupSkyLayers(*this);
  DropNetworkMessages(*this);

  // 8. The seed of the network game's own chance; replaced below.
  random.Seed(networkGame && clock ? clock->NowMs() : 0);

  // 9. A replay when `finish` asked for one.
  playback = nextUnitDataPath_[0] ? 1 : 0;
  replayAborted = 0;
  inputPaused = 0;
  core::Log(log, core::kLogInfo, Sjis("プレイヤー情報初期化@Reset\n"));

  // 10. Camera defaults, the input's repeat state, the recorder.
  SetCameraDefaults(camera);
  playerUnit = focusUnit = targetUnit = nullptr;
  if (input) input->ClearInputState(-1);
  RewindRecorder(*this, playback != 0);

  // 11. The camera mode: fly-by for a replay, else the saved view.
  bool vr = settings && settings->stereoType == 4;
  if (playback) {
    SetCameraMode(*this, 2);
  } else if (vr) {
    SetCameraMode(*this, 0);
    settings->viewMode = 0;
  } else {
    SetCameraMode(*this, settings && settings->viewMode ? 1 : 0);
  }

  // 12. The camera's ring of random bytes from a time seed; then the game's
  // sequence starts from seed 0, in every game, so replays repeat it.
  random.Seed((clock ? clock->NowMs() : 0u) + camera.ring[0]);
  for (uint8_t& byte : camera.ring) byte = uint8_t(random.Next() & 0xFF);
  camera.ringIndex = 0;
  random.Seed(0);

  // 13. The camera's roll marker; the HUD map hidden.
  SetCameraRoll(*this, CameraState::kNoRoll);
  hudMapShown = 0;

  // 14. The start file: a placement file, or a script.
  if (!(InEditMode(*this) && !testRunRequested) && startFileName_[0]) {
    if (IsPlacementFile(startFileName_)) {
      LoadStartPlacement(*this, startFileName_);
    } else {
      scriptEngine.LoadScript(startFileName_);
    }
  }
  TakeStartFileAsLast();
  scriptEngine.WriteVariableTableFile("RuntimeValue.txt");
  scriptEngine.WriteCodeListingFile("CompiledCode.txt");
  if (scriptEngine.WriteCompileResults() != 0) {
    RegisterSystemCallsAgain(*this);
    EmptyTriggerLists(*this);
  }

  // 15. Every window hidden, the sounds stopped, the network table zeroed.
  if (host.closeAllWindows) host.closeAllWindows(host.user);
  StopGameSounds(*this);
  networkData = NetworkDataTable{};
  networkUnitCounter = 0;
  core::Log(log, core::kLogInfo, Sjis("ワールドリセット処理終了@Reset\n"));
}

// [SECTION] Engine sounds

int GameWorld::UpdateEngineSounds(float fade) {
  if (paused) return 1;
  if (reducedEffects || state == WorldState::Edit) return 0;
  UpdateUnitEngineSounds(*this, fade);
  if (host.updateHudAlarms) host.updateHudAlarms(host.user);
  return 0;
}

// [SECTION] Seams

void RegisterSystemCallsAgain(GameWorld& world) {
  if (world.host.registerSystemCalls) {
    world.host.registerSystemCalls(world.host.user);
    return;
  }
  world.scriptEngine.ClearScriptEngine();
  world.scriptEngine.ResetScriptEngine(nullptr, nullptr);
}

void StopGameSounds(GameWorld& world) {
  if (!world.sound) return;
  world.sound->StopSoundSlot(-1, -1);
  world.sound->StopSoundSlot(sound::kMusicSlot, -1);
  world.sound->StopSoundSlot(sound::kVoiceSlot, -1);
}


// The effect objects, the camera (whose shake dies away in its own step)
// and the weather step with the scene.
void StepEffects(GameWorld& world) {
  UpdateEffectObjects(world);
  UpdateCamera(world);
  StepWeatherEffects(world);
}

// [SECTION] The recorder's share of a step

void RecordStepInput(GameWorld& world, int step, const int32_t analog[4], Vec3 position) {
  (void)step;
  if (!world.recorder) return;
  const float where[3] = {position.x, position.y, position.z};
  world.recorder->RecordStep(world.held, world.trigger, world.repeat, analog, where);
}

void PlayStepInput(GameWorld& world, int step, int32_t analog[4]) {
  (void)step;
  if (!world.recorder) return;
  world.recorder->PlayStep(world.held, world.trigger, world.repeat, analog, nullptr);
}

void RecordFinishedRun(GameWorld& world) {
  if (!world.recorder) return;
  world.recorder->SetRecorderName("");
  world.recorder->SetRecorderLength(world.gameTime, 1);
}

void RewindRecorder(GameWorld& world, bool forPlayback) {
  if (world.recorder) world.recorder->RewindRecorder(forPlayback);
}

}  // namespace world
