// core_package.h -- the file layer: loose files and ".pac" packages behind
// one handle space (included through core_public.h).
#pragma once

#include <cstdint>

namespace app {
class LogSystem;
}

namespace core {

// The mounted packages' entries. Every data file of the engine is opened
// through it, package entries first, then the disk.
class FilePackageTable {
 public:
  app::LogSystem* log = nullptr;

  // Reads a package's index into the table. -1 when it cannot be opened.
  int LoadFilePackage(const char* path);
  // Closes every package file and empties the table.
  void CloseFilePackage();
};

}  // namespace core
