// world_public.h -- the one game world: its load, reset and fixed-step
// frame, the pools it holds and the script engine that runs inside it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "platform/platform_public.h"
#include "render/render_public.h"
#include "script/script_public.h"
#include "world/world_camera.h"
#include "world/world_environment.h"
#include "world/world_map.h"
#include "world/world_recorder.h"
#include "world/world_render.h"
#include "world/world_scene_files.h"
#include "world/world_services.h"
#include "world/world_triggers.h"

namespace input {
class InputSystem;
}
namespace sound {
class SoundSystem;
}
namespace net {
class NetworkSession;
}
namespace ui {
class WindowManager;
}

namespace world {

// States of the world frame.
enum class WorldState : int32_t { Start = 0, Run = 1, Edit = 2 };

// What the world asks of the subsystems above it (the HUD and message
// windows, the system calls, the editor, the settings file). The engine
// record fills these once; a null entry does nothing, so a world built
// alone (tests, tools) runs without them.
struct WorldHost {
  void* user = nullptr;
  // Empties the script engine and registers the engine's system calls
  // again. Null: the engine is emptied and reset with its built-ins only.
  void (*registerSystemCalls)(void* user) = nullptr;
  // Steps every message window with the step's input (once per step, in
  // every state).
  void (*stepWindows)(void* user, const int32_t* held, const int32_t* trigger, const int32_t* repeat) = nullptr;
  // Shows a run-time error text in a window over the whole 2D layer.
  void (*showErrorWindow)(void* user, const char* text) = nullptr;
  // Hides every message window at once (world reset).
  void (*closeAllWindows)(void* user) = nullptr;
  // Hides every window and releases the skins (world shutdown).
  void (*releaseWindows)(void* user) = nullptr;
  // A unit is being released: no window keeps drawing its object (the
  // record is reused for the next unit of its slot).
  void (*unitReleased)(void* user, render::DisplayObject* object) = nullptr;
  // The flight HUD's step (once per run step) and its alarms (once per
  // frame, after the engine sounds).
  void (*updateFlightHud)(void* user) = nullptr;
  void (*updateHudAlarms)(void* user) = nullptr;
  // Sets (non-zero) or clears the additive flag of the flight HUD's images
  // and of every unit type's HUD images (`set_hud_light`).
  void (*toggleHudSprites)(void* user, int on) = nullptr;
  // The editor: its step in the edit state, the ageing of its key states
  // at the end of every run and edit step, and its selections cleared
  // before a placement file is read in the edit state.
  void (*editorStep)(void* user, int step) = nullptr;
  void (*ageEditorKeys)(void* user) = nullptr;
  // Writes the settings file (when the game ends, and for
  // `save_system_option`).
  void (*saveSettings)(void* user) = nullptr;
  // The render pass: the flight HUD and the message windows, drawn into the
  // frame's 2D layer; the editor's path lines and its overlay (edit mode,
  // never in a screenshot).
  void (*drawHud)(void* user) = nullptr;
  void (*drawWindows)(void* user) = nullptr;
  void (*drawEditorPaths)(void* user) = nullptr;
  void (*drawEditorOverlay)(void* user) = nullptr;
};

// One line of the on-screen message list.
struct ScreenMessageLine {
  char text[128] = {};   // at most 127 bytes and a terminating zero
  int32_t timer = 0;     // steps left to show it
};

// A slot of the engine-sound cache: a file name and its age in requests.
struct SoundCacheSlot {
  char name[260] = {};
  int32_t age = 0;
};

class GameWorld {
 public:
  // Longest path the start file and the unit-data path hold, terminator
  // included.
  static constexpr size_t kPathBytes = 260;
  static constexpr int kMessageLines = 8;
  static constexpr int kMessageSteps = 420;
  // The step input's button arrays, as the recorder keeps them.
  static constexpr int kButtons = InputRecorder::kButtons;
  // Slots the unit pool grows by: 1,024 bytes of 4-byte references asked
  // for, and the 16 bytes every heap growth adds.
  static constexpr int kUnitPoolGrowth = 260;
  static constexpr int kEffectPoolGrowth = 256;
  static constexpr int kSoundCacheSlots = 16;
  static constexpr int kSoundCacheFirstSlot = 48;
  // Steps at the start of every state that see no pad input.
  static constexpr int kQuietSteps = 6;

  GameWorld();
  ~GameWorld();
  GameWorld(const GameWorld&) = delete;
  GameWorld& operator=(const GameWorld&) = delete;

  // --- Wired once by the engine record (null: the world goes without) ------
  core::LogSystem* log = nullptr;
  core::SettingsBlock* settings = nullptr;   // VIEW_MODE, stereo type
  input::InputSystem* input = nullptr;
  sound::SoundSystem* sound = nullptr;
  net::NetworkSession* network = nullptr;
  InputRecorder* recorder = nullptr;
  const platform::Clock* clock = nullptr;    // the seed of the camera's ring
  // The renderer: models, textures and the camera of the scene (null: the
  // world steps without loading or drawing anything).
  render::GraphicsSystem* graphics = nullptr;
  const int* editorMode = nullptr;           // the program's edit mode (null: 0)
  const int* frameRate = nullptr;            // the pacer's rate (null: 60)
  // The message windows, for the scripts' window calls only (the world
  // itself steps, draws and hides them through the host's hooks).
  ui::WindowManager* windows = nullptr;
  WorldHost host;

  // The scripts of the running game.
  script::ScriptEngine scriptEngine;

  // --- Life cycle ------------------------------------------------------------

  // Loads the world's resources after the devices exist: the first blocks of
  // the unit and effect pools, the reduced-effects mode. Returns 1.
  int LoadWorld();
  // One displayed frame: the fixed steps it covers, then the engine sounds.
  // 1 when the game has ended (the world is then shut down), else 0.
  int RunWorldFrame(platform::Window* window);
  // One step of the run state's world: units, effects, camera, clocks.
  void StepWorld();
  // Fills the step input (live, recorded or played back). Returns 1.
  int StepInput(int step);
  // The defaults of a new world (also the end of every shutdown).
  void SetWorldDefaults();
  // Empties the game and runs the start file: the reset at the first step
  // of every start.
  void ResetWorld();
  // Releases the game's units and windows at the end of the game.
  void ShutdownWorld();
  // Sets the engine sounds of the four units nearest the camera. 1 when
  // paused, else 0.
  int UpdateEngineSounds(float fadeValue);

  void SetSystemScale(float scale) { systemScale_ = scale; }
  float SystemScale() const { return systemScale_; }

  // A global of the running scripts, or null.
  script::CScriptValue* FindScriptGlobal(const char* name) { return scriptEngine.FindGlobal(name); }
  // The start file the scripts left for the world ("" when none).
  const char* GetStartFileName() const { return startFileName_; }
  // The unit-data file (replay request) the world takes at its next reset
  // ("" when none).
  const char* GetNextUnitDataPath() const { return nextUnitDataPath_; }
  // The start file of the last reset.
  const char* GetLastStartFileName() const { return lastStartFileName_; }

  // Store the script (the first argument of `finish`, or the editor's script
  // run) and the unit-data file (the second argument of `finish`) that the
  // world takes up at its next reset. 1; a path of 260 bytes or more does
  // not fit: it is refused with a log line, 0, and the stored path stays.
  int SetNextScriptPath(const char* path);
  int SetNextUnitDataPath(const char* path);
  // What `finish` does after storing the paths: the run state ends after
  // this step (the game ends when no start file is left outside edit mode).
  void RequestFinish() { finishRequested = 1; }
  // Empties the last start file, the start file and the replay request.
  void ClearStartFiles();
  // The start file becomes the last start file (the reset that runs it).
  void TakeStartFileAsLast();

  // The label of the path point the last script error was traced to (the
  // first labelled frame of its text); the editor reads it.
  std::string errorLabel;

  // --- The frame's state (SetWorldDefaults, ResetWorld) ----------------------
  platform::Window* window = nullptr;   // stored at every frame
  int32_t stepCounter = 0;              // steps since the state began
  WorldState state = WorldState::Start;
  WorldState nextState = WorldState::Start;
  int32_t eventMode = 0;                // 0 off, non-zero on, -1 skipping
  int32_t eventHud = 0;
  int32_t speed = 1;                    // game speed, 1 normal
  bool gameEnded = false;               // the frame leaves its loop
  CameraState camera;
  FlightArea flightArea;
  // Screen fade: 0 clear, 1 fully faded; moved toward the target by the step.
  ScreenFade fade;
  float fadeColour[4] = {};
  std::string pendingRunError;          // shown at the next run step
  units::Unit* playerUnit = nullptr;
  units::Unit* focusUnit = nullptr;     // the camera follows it
  units::Unit* targetUnit = nullptr;    // the camera looks at it
  std::array<ScreenMessageLine, kMessageLines> messages{};

  // Option words, by their system calls.
  int32_t paused = 0;                   // `pause`
  int32_t playback = 0;                 // a replay runs
  int32_t replayAborted = 0;            // `abort_replay`
  int32_t inputPaused = 0;              // `pause_input`
  int32_t networkGame = 0;              // `set_network_world`
  int32_t reducedEffects = 0;           // a relay peer: no effects, sounds
  int32_t renderRebuild = 0;            // `set_system_option`
  int32_t finishRequested = 0;          // `finish`
  int32_t restCountdown = 0;            // steps; 18000 after a reset
  int32_t gameTime = 0;                 // steps of play
  int32_t recordedGameTime = 0;
  int32_t timerStopped = 0;             // `stop_timer`
  int32_t testRunRequested = 0;         // the editor's test run
  int32_t freezeCountdown = 0;          // the hit pause: no unit updated
  int32_t heightOffset = 0;             // `set_height_offset`
  int32_t stallHeight = 3000;           // `set_height_stall`
  int32_t hudFlags = 0;                 // value 2 hides the HUD map
  int32_t hudMapShown = 0;
  int32_t gameLevel = 1;                // 0 to 2
  int32_t networkUnitCounter = 0;       // low 24 bits of new units' ids
  int32_t networkOwnId = 0;             // top byte of those ids
  NetworkDataTable networkData;         // `set_network_data`

  // The step input: filled by StepInput, read by units and windows.
  int32_t held[kButtons] = {};
  int32_t trigger[kButtons] = {};
  int32_t repeat[kButtons] = {};
  float axes[6] = {};

  // The one random generator of the game (reseeded with 0 at every reset).
  core::RandomGenerator random;

  // The 39 lists of armed path points; emptied at every reset and after
  // every script failure.
  TriggerLists triggerLists;

  // --- Pools (world_pools.cpp) -----------------------------------------------
  // The unit pool: one reference per slot in 4-byte measure (260 slots per
  // growth), a record constructed for every slot; slot 0 never handed out.
  core::HeapTable<units::Unit*, 4> unitPool;
  // One word per slot, -1 whenever the slot is filled or reset.
  std::vector<int32_t> unitSlotWord;
  // The slots whose unit may have a model, ascending. Units get their
  // models only from LoadMasterModels, which adds the slot; the world step
  // renews the list from the units. An entry may outlive its model (a
  // release clears the model, not the entry): readers still check the unit.
  // The unit ray cast walks it instead of every record.
  std::vector<uint32_t> unitModelSlots;
  // The effect pool and the ring index of the last object handed out.
  std::vector<EffectObject*> effectPool;
  int32_t effectRing = 0;
  // Population records, one per team name.
  std::vector<PopulationRecord> population;
  std::array<SoundCacheSlot, kSoundCacheSlots> soundCache{};
  // The unit database (unit types, placement and path-point records): the
  // world's own, unless a test or tool points it at another.
  units::UnitDatabase* unitDatabase = nullptr;
  // The live path points (handles 268435456 + slot) and the running id
  // counter new points take.
  units::PathPointPool* pathPoints = nullptr;
  int32_t pathIdCounter = 0;
  // The player's chosen unit type and weapon types ("__SYSTEM__YOU").
  units::UnitType* playerType = nullptr;
  units::UnitType* playerWeaponTypes[4] = {};
  // The system types of the unit master (`load_unit_master`): the player's
  // own placeholder ("__SYSTEM__YOU"), the dust types ("__SYSTEM__DUST_%02d",
  // the first falling back to "__SYSTEM__DUST") and the type a unit without
  // one shows ("__SYSTEM__NO_WEAPON"); null when the master has none.
  static constexpr int kDustTypes = 16;
  units::UnitType* systemYouType = nullptr;
  units::UnitType* dustTypes[kDustTypes] = {};
  units::UnitType* noWeaponType = nullptr;
  // --- The scene ---------------------------------------------------------------
  EnvironmentRecord environment;
  MapObjectWorld* map = nullptr;                 // made with the world
  std::unique_ptr<WeatherObjects> weather;       // made with the world
  // The 128 timed spot lights (`create_spot_light`, explosions).
  render::SpotLightPool spotLights;

  // --- The render pass (world_render.cpp) -----------------------------------
  WorldRenderTargets renderTargets;
  ShadowCascadeRecord cascades[kShadowCascades];
  int32_t soundPauseCountdown = 0;      // frames until music and voice resume
  // Ctrl+P in the main window asks for a screenshot (the frame that takes
  // it clears the request); Shift held then leaves the HUD and windows out.
  int32_t screenshotRequest = 0;
  int32_t shiftHeld = 0;
  // The screen fade: the white sprite over the whole 2D layer, its alpha
  // the fade value.
  render::DisplayObject fadeSprite;
  // The HUD map (the flight HUD fills it; the HUD map keys show it).
  render::DisplayObject hudMap;
  // Per unit slot, grown with the pool: the slot's flames and HUD sprites,
  // and the flame blocks the draw passes take.
  std::vector<std::unique_ptr<UnitSlotSprites>> slotSprites;
  std::vector<EngineFlameBlock> flameBlocks;

  // Deletions the network was asked to announce (the network's stand-in
  // counts them).
  int32_t announcedDeletions = 0;

 private:
  // One step of the run state; `slots` is the unit slot count the frame
  // took at its start.
  void RunStep(int slots);

  // What the world made and frees, whatever the pointers above are set to.
  units::UnitDatabase* ownDatabase_ = nullptr;
  units::PathPointPool* ownPathPoints_ = nullptr;
  float systemScale_ = 1.0f;
  char lastStartFileName_[kPathBytes] = {};
  char startFileName_[kPathBytes] = {};
  char nextUnitDataPath_[kPathBytes] = {};
};

}  // namespace world
