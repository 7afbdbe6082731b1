// core_package.cpp -- the file layer. A stand-in until packages can be read:
// mounting fails, and files are read from the disk only.

#include "core/core_public.h"

namespace core {

int FilePackageTable::LoadFilePackage(const char* path) {
  (void)path;
  return -1;
}

void FilePackageTable::CloseFilePackage() {}

}  // namespace core
