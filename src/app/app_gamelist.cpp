// app_gamelist.cpp -- the games found in the working folder at start-up.

#include <cstring>

#include "app/app_local.h"

namespace app {

namespace {

bool HasExtension(const std::string& name, const char* extension) {
  size_t n = std::strlen(extension);
  return name.size() >= n &&
         platform::CompareNamesNoCase(std::string_view(name).substr(name.size() - n), extension) == 0;
}

std::string JoinPath(const char* folder, const std::string& name) {
  std::string base = (folder && *folder) ? folder : ".";
  if (base.back() != '/') base += '/';
  return base + name;
}

// Lists the games of one package: its ".rsp" entries. Packages cannot be
// read yet, so they contribute nothing.
void ListPackageGames(std::vector<GameListEntry>* list, const std::string& path,
                      const std::string& fileName) {
  (void)list;
  (void)path;
  (void)fileName;
}

}  // namespace

void BuildGameList(std::vector<GameListEntry>* list, const char* folder) {
  list->clear();
  for (const platform::DirEntry& entry : platform::ListDirectory(folder)) {
    if (list->size() >= size_t(kMaxGames)) break;
    if (entry.isDirectory) {
      std::string sub = JoinPath(folder, entry.name);
      for (const platform::DirEntry& file : platform::ListDirectory(sub.c_str())) {
        if (list->size() >= size_t(kMaxGames)) break;
        if (file.isDirectory || !HasExtension(file.name, ".rsp")) continue;
        list->push_back({file.name, entry.name, ""});
      }
    } else if (HasExtension(entry.name, ".pac")) {
      ListPackageGames(list, JoinPath(folder, entry.name), entry.name);
    } else if (HasExtension(entry.name, ".rsp")) {
      list->push_back({entry.name, "", ""});
    }
  }
}

}  // namespace app
