// app_dialogs.cpp -- the start-up dialog and the server window. Until the
// dialogs have their windows, and always without a display, the start-up
// dialog confirms the current settings as if Start were pressed, with the
// game named on the command line or else the first game found.

#include <cstdio>
#include <cstring>

#include "app/app_local.h"

namespace app {

int RunStartupDialog(Engine& engine) {
  SettingsBlock& s = engine.settings;
  const std::vector<GameListEntry>& games = engine.app.GameList;
  if (!games.empty() && !s.startFile[0])
    std::snprintf(s.startFile, sizeof s.startFile, "%s", games.front().startFile.c_str());
  // The game whose start file is the chosen one gives its folder and package.
  for (const GameListEntry& g : games) {
    if (g.startFile != s.startFile) continue;
    std::snprintf(s.StartFolder, sizeof s.StartFolder, "%s", g.folder.c_str());
    std::snprintf(s.StartPackage, sizeof s.StartPackage, "%s", g.package.c_str());
    break;
  }
  return 1;
}

int OpenServerDialog(Engine& engine) {
  (void)engine;
  return 1;
}

void ServerStep(Engine& engine) { (void)engine; }

}  // namespace app
