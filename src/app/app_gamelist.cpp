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

// Lists the games of one package: every ".rsp" entry, in the order of the
// sorted table, that opens with at least one byte. The package is mounted
// into a table of its own, closed again afterwards.
void ListPackageGames(std::vector<GameListEntry>* list, const std::string& path,
                      const std::string& fileName) {
  core::FilePackageTable table;
  if (table.LoadFilePackage(path.c_str()) < 0) return;
  std::string folder = fileName.substr(0, fileName.rfind('.'));
  for (int32_t i = 0; i < table.Count(); i++) {
    if (list->size() >= size_t(kMaxGames)) break;
    const char* name = table.GetPackageEntryName(i);
    if (!name || !HasExtension(name, ".rsp")) continue;
    core::FileHandle h = table.OpenReadFile(name);
    if (h == core::kNoFile) continue;
    int32_t size = table.GetFileSizeOf(h);
    table.CloseFileHandle(h);
    if (size < 1) continue;
    // The start file is the entry's file name without its folder; a "\"
    // that is the second byte of a two-byte character is no separator.
    std::string entry = name;
    size_t cut = 0;
    for (size_t k = 0; k < entry.size(); k++) {
      if (core::IsSjisLeadByte(uint8_t(entry[k]))) {
        k++;
        continue;
      }
      if (entry[k] == '\\') cut = k + 1;
    }
    list->push_back({entry.substr(cut), folder, fileName});
  }
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
