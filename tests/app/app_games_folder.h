// app_games_folder.h -- where the app tests find the bundled games: the
// source tree's games/ folder (TKW4_SOURCE_DIR when set, else the tree the
// tests were built from).
#pragma once

#include <cstdlib>
#include <filesystem>

namespace apptest {

inline std::filesystem::path GamesFolder() {
  const char* source = std::getenv("TKW4_SOURCE_DIR");
  return std::filesystem::path(source ? source : TKW4_SOURCE_ROOT) / "games";
}

}  // namespace apptest
