// app_local.h -- the engine record and the application shell's internals.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "api/api_public.h"
#include "app/app_public.h"
#include "core/core_public.h"
#include "editor/editor_public.h"
#include "input/input_public.h"
#include "net/net_public.h"
#include "platform/platform_public.h"
#include "render/render_public.h"
#include "sound/sound_public.h"
#include "ui/ui_public.h"
#include "world/world_public.h"

namespace app {

// ----------------------------------------------------------------------------
// Program state
// ----------------------------------------------------------------------------

constexpr int kMaxGames = 256;

// One game found at start-up. An empty folder or package means none.
struct GameListEntry {
  std::string startFile;  // the start script's file name
  std::string folder;     // the game's folder, or the package's base name
  std::string package;    // the package file's name
};

// The frame pacer's state.
struct FramePacer {
  int frameRate = 30;          // 60, 30, 20 or 15: the rate of the frame in
                               // progress (lowered for a late frame)
  uint32_t frameClock = 0;     // ms at the start of the last RunFrame call
  int frameLoadPercent = 0;    // share of the period the last frame used
};

// The server window's network side: the lines the network logs from its
// threads (time-stamped, waiting for the main thread), the window's log list
// (the last kServerLogLines) and its player rows, rebuilt once a second when
// the player table changed.
constexpr size_t kServerLogLines = 1000;
struct ServerConsole {
  std::mutex lock;
  std::vector<std::string> posted;
  std::deque<std::string> lines;
  std::vector<std::string> rows;
  std::vector<net::PlayerRecord> saved;
  uint32_t frame = 0;
};

// The shell's own program-wide state.
struct AppState {
  int EditorMode = 0;          // 1 when the start script asks for edit mode
  int QuitRequested = 0;       // set when the main window is destroyed
  bool editDialogOpen = false;
  bool serverDialogOpen = false;
  std::vector<GameListEntry> GameList;  // at most kMaxGames, built once
  FramePacer pacer;
  int lastMessageParam = 0;    // parameter of the last event the loop took
};

// ----------------------------------------------------------------------------
// The engine record
//
// Every subsystem's owner, in the order in which they are built. C++
// destroys members in the reverse order, which is the order the owners that
// hold resources must be released in: the world first, the package table
// last, and the log (which writes its closing line then) after every owner
// built after it.
// ----------------------------------------------------------------------------

struct Engine {
  SettingsBlock settings{};
  AppState app;
  platform::Clock clock;

  core::FilePackageTable packages;
  render::GraphicsSystem graphics;
  input::InputSystem input;
  LogSystem log{kLogFileName, kLogInfo};
  ServerConsole serverConsole;  // outlives the network, whose threads post to it
  net::NetworkSession network;
  sound::SoundSystem sound;
  ui::WindowManager windows;
  world::GameWorld world;
  // The flight HUD of that world (after it: it lets go of the world's slot
  // sprites before the world goes).
  ui::FlightHud hud;
  world::InputRecorder recorder;

  Engine();  // hands each owner the owners it calls
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
};

// ----------------------------------------------------------------------------
// app_startup.cpp
// ----------------------------------------------------------------------------

// The program: start-up, main loop and shutdown. Returns the exit code: -1
// when a device, window or dialog cannot be made, edit mode is asked for in
// full screen or the start-up dialog is cancelled; 0 after a failed compile
// or first run of the start script; 1 when the script neither asks for edit
// mode nor leaves a start file; else the last event's parameter.
int WinMain(Engine& engine, int argc, char** argv);

// The start file named by the arguments that follow the program's name
// (joined by blanks, as one command-line text): its folder dropped ("\" and
// "/" both separate) and one trailing double quote removed. "" when none.
std::string StartFileFromArguments(int argc, char** argv);

// ----------------------------------------------------------------------------
// app_loop.cpp
// ----------------------------------------------------------------------------

struct FrameDecision {
  bool run;           // a frame is due
  int fadeStepCount;  // 60 / the chosen rate, for the sound fades
};

// The pacer's decision for a call at `now` ms with the "FPS" setting: sets
// the rate from the setting, steps it down one rate for a late frame, and
// notes the call's time.
FrameDecision PaceFrame(FramePacer* pacer, uint32_t now, int fpsSetting);

// One call of the frame pacer: runs a frame of every subsystem when one is
// due. 0, or the game frame's non-zero result when the game has ended.
int RunFrame(Engine& engine);

// Takes window events and runs frames until the main window is gone.
// Returns the parameter of the last event taken.
int RunMainLoop(Engine& engine);

// The main window's event handling.
void MainWndProc(Engine& engine, const platform::Event& event);
// Destroys the main window after its destruction handling (sound stopped,
// quit requested).
void DestroyMainWindow(Engine& engine);

// ----------------------------------------------------------------------------
// app_gamelist.cpp
// ----------------------------------------------------------------------------

// Lists the games in `folder` (the working folder): sub-folders holding
// "*.rsp" files, ".pac" packages holding ".rsp" entries and loose ".rsp"
// files, in listing order, at most kMaxGames.
void BuildGameList(std::vector<GameListEntry>* list, const char* folder);

// ----------------------------------------------------------------------------
// app_pads.cpp
// ----------------------------------------------------------------------------

// Rearranges the saved pad entries so that entry s belongs to the device in
// input slot s (names of the eight slots given, "" for an empty slot).
void MatchPadEntries(SettingsBlock* settings, const char* const deviceNames[kPadEntryCount]);
// Gives every slot its own entry's button map (when the names agree) and
// every slot its position's dead zones.
void ApplyPadEntries(const SettingsBlock& settings, input::InputSystem& input);

// ----------------------------------------------------------------------------
// app_sounds.cpp
// ----------------------------------------------------------------------------

struct BuiltInSound {
  int slot;
  const char* file;
  int copies;
};
// The 63 built-in effects in their loading order.
extern const BuiltInSound kBuiltInSoundTable[63];
void LoadBuiltInSounds(sound::SoundSystem& sound);

// ----------------------------------------------------------------------------
// app_settings.cpp
// ----------------------------------------------------------------------------

// The settings file is object text: one object whose dotted members are
// the block's fields ("SCREEN.WIDTH", "PAD[%d].MAP[%d]"). Both run in the
// world's script engine. A null path means "tkw4.dat" in the working folder.
//
// Reads the file into the block by compiling it as the initial value of one
// extern object. 1 when read; 0 when the file does not exist, does not
// compile (a box with the errors, and the compile-error files written) or
// defines no settings object (a box). "VER" is not checked here: start-up
// does that. Texts longer than their fields are cut at the field.
int LoadSettings(Engine& engine, const char* path);
// Writes the block as object text in the indented form, CR LF and tabs,
// followed by one zero byte. A file that cannot be opened gets a box and the
// settings stay in memory. Always returns 0.
int SaveSettings(Engine& engine, const char* path);

// ----------------------------------------------------------------------------
// app_dialogs.cpp
// ----------------------------------------------------------------------------

// The start-up dialog: lets the user choose the game and settings. 1 to
// start, 0 when cancelled.
int RunStartupDialog(Engine& engine);
// The server's tool window and its per-frame step.
int OpenServerDialog(Engine& engine);
void ServerStep(Engine& engine);
// The network's log callback: the line time-stamped and posted to the
// server window (any thread).
void LogNetworkMessage(ServerConsole& console, const char* text);

}  // namespace app
