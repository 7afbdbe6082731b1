// world_public.h -- the one game world: its load, its frame and the script
// engine it holds.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_public.h"
#include "script/script_public.h"

namespace core {
class LogSystem;
}

namespace world {

class GameWorld {
 public:
  // Longest path the start file and the unit-data path hold, terminator
  // included.
  static constexpr size_t kPathBytes = 260;

  GameWorld();

  core::LogSystem* log = nullptr;

  // The scripts of the running game.
  script::ScriptEngine scriptEngine;

  // Loads the world's resources after the device exists. 1 or 0.
  int LoadWorld();
  // One displayed frame: the fixed steps it covers, then the drawing.
  // 1 when the game has ended, else 0.
  int RunWorldFrame(platform::Window* window);

  void SetSystemScale(float scale) { systemScale_ = scale; }
  float SystemScale() const { return systemScale_; }

  // A global of the running scripts, or null.
  script::CScriptValue* FindScriptGlobal(const char* name) { return scriptEngine.FindGlobal(name); }
  // The start file the scripts left for the world ("" when none).
  const char* GetStartFileName() const { return startFileName_; }
  // The unit-data file the world loads at its next frame ("" when none).
  const char* GetNextUnitDataPath() const { return nextUnitDataPath_; }

  // Store the script (the first argument of `finish`, or the editor's script
  // run) and the unit-data file (the second argument of `finish`) that the
  // world takes up at its next frame. 1; a path of 260 bytes or more does
  // not fit: it is refused with a log line, 0, and the stored path stays.
  int SetNextScriptPath(const char* path);
  int SetNextUnitDataPath(const char* path);

  // The label of the path point the last script error was traced to (the
  // first labelled frame of its text); the editor reads it.
  std::string errorLabel;

 private:
  float systemScale_ = 1.0f;
  char startFileName_[kPathBytes] = {};
  char nextUnitDataPath_[kPathBytes] = {};
};

// The replay store (input of up to 400,000 steps, in memory).
class InputRecorder {};

}  // namespace world
