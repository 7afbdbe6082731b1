// app_dialogs.cpp -- the start-up dialog and the server window. Until the
// dialogs have their windows, and always without a display, the start-up
// dialog confirms the current settings as if Start were pressed, with the
// game named on the command line or else the first game found.

#include <cstdio>
#include <cstring>
#include <ctime>

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

// [SECTION] The server window's network side

void LogNetworkMessage(ServerConsole& console, const char* text) {
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  char line[1100];
  std::snprintf(line, sizeof line, "20%02d-%02d-%02dT%02d:%02d:%02d  %s", t.tm_year % 100, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, text ? text : "");
  std::lock_guard<std::mutex> g(console.lock);
  console.posted.push_back(line);
}

int OpenServerDialog(Engine& engine) {
  ServerConsole* console = &engine.serverConsole;
  engine.network.SetLogCallback([console](const char* text) { LogNetworkMessage(*console, text); });
  LogNetworkMessage(*console, core::Sjis("ここにメッセージが出力されます。"));
  engine.app.serverDialogOpen = true;
  return 1;
}

namespace {

// One row of the player list: "%02d:" and the player's name, team and
// address, or "---" for a free row.
std::string PlayerRow(Engine& engine, int index, const net::PlayerRecord& p) {
  char head[8];
  std::snprintf(head, sizeof head, "%02d:", index);
  std::string row = head;
  char address[256] = {};
  if (p.id < 0 || !p.name[0] || engine.network.GetPeerAddress(address, p.id) < 0) return row + "---";
  row += p.name;
  if (p.team[0]) row += std::string("@") + p.team;
  return row + "   (" + address + ")";
}

bool SameTable(const std::vector<net::PlayerRecord>& a, const std::vector<net::PlayerRecord>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (a[i].id != b[i].id || a[i].number != b[i].number || std::strcmp(a[i].name, b[i].name) != 0 ||
        std::strcmp(a[i].team, b[i].team) != 0)
      return false;
  return true;
}

}  // namespace

void ServerStep(Engine& engine) {
  ServerConsole& console = engine.serverConsole;
  // The lines the network posted, into the log and the window's list.
  std::vector<std::string> posted;
  {
    std::lock_guard<std::mutex> g(console.lock);
    posted.swap(console.posted);
  }
  for (const std::string& line : posted) {
    engine.log.WriteLog((line + "\n").c_str(), core::kLogInfo);
    console.lines.push_back(line);
    if (console.lines.size() > kServerLogLines) console.lines.pop_front();
  }
  // The table rounds of every sixth frame are the session's own (its
  // per-frame update); the window keeps its rows.
  if (console.frame == 0) console.saved.clear();
  if (console.frame % 60 == 0) {
    std::vector<net::PlayerRecord> table = engine.network.CopyPlayerTable();
    if (!SameTable(table, console.saved)) {
      console.saved = table;
      console.rows.clear();
      for (int i = 0; i < net::kMaxPlayers; i++) console.rows.push_back(PlayerRow(engine, i, table[size_t(i)]));
    }
  }
  console.frame++;
}

}  // namespace app
