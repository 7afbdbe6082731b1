// world_public.h -- the one game world: its load, its frame and the script
// engine it holds.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform_public.h"
#include "script/script_public.h"

namespace app {
class LogSystem;
}

namespace world {

class GameWorld {
 public:
  app::LogSystem* log = nullptr;

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
  const char* GetStartFileName() const { return startFileName_.c_str(); }

 private:
  float systemScale_ = 1.0f;
  std::string startFileName_;
};

// The replay store (input of up to 400,000 steps, in memory).
class InputRecorder {};

}  // namespace world
