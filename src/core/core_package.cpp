// core_package.cpp -- the file layer. Packages cannot be mounted yet: every
// name is opened from the disk.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/app_public.h"
#include "core/core_public.h"

namespace core {

FilePackageTable::~FilePackageTable() { CloseFilePackage(); }

int FilePackageTable::LoadFilePackage(const char* path) {
  (void)path;
  return -1;
}

void FilePackageTable::CloseFilePackage() {}

FileHandle FilePackageTable::OpenReadFile(const char* name) {
  if (!name || !*name) return kNoFile;
  std::string path = platform::ResolvePath(name);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return kNoFile;
  }
  return FileHandle(fd);
}

void* FilePackageTable::ReadFileData(FileHandle h, void* buffer, int32_t position, int32_t count,
                                     int32_t* read) {
  if (read) *read = 0;
  if (!IsRealFileHandle(h)) return nullptr;
  if (::lseek(h, position, SEEK_SET) < 0) return nullptr;
  if (count < 0) count = GetFileSizeOf(h) - position;
  int32_t total = 0;
  while (buffer && total < count) {
    ssize_t n = ::read(h, static_cast<char*>(buffer) + total, size_t(count - total));
    if (n <= 0) break;
    total += int32_t(n);
  }
  if (read) *read = total;
  return nullptr;
}

int32_t FilePackageTable::GetFileSizeOf(FileHandle h) {
  struct stat st;
  if (!IsRealFileHandle(h) || fstat(h, &st) != 0) return 0;
  return int32_t(st.st_size);
}

int32_t FilePackageTable::TellFile(FileHandle h) {
  if (!IsRealFileHandle(h)) return -1;
  return int32_t(::lseek(h, 0, SEEK_CUR));
}

void FilePackageTable::SeekFile(FileHandle h, int32_t distance, int method) {
  if (!IsRealFileHandle(h)) return;
  ::lseek(h, distance, method == kFileEnd ? SEEK_END : method == kFileCurrent ? SEEK_CUR : SEEK_SET);
}

int FilePackageTable::CloseFileHandle(FileHandle h) {
  if (IsRealFileHandle(h)) return ::close(h) == 0 ? 1 : 0;
  return 1;
}

void FilePackageTable::FreeFileCache(FileHandle h) { (void)h; }

int32_t ReadWholeFile(FilePackageTable& table, void** out, const char* name) {
  *out = nullptr;
  FileHandle h = table.OpenReadFile(name);
  if (h == kNoFile) {
    if (table.log) table.log->WriteLogf(app::kLogInfo, Sjis("\"%s\"がオープンできません。\n"), name);
    return 0;
  }
  int32_t size = table.GetFileSizeOf(h);
  void* block = HeapGrowZeroed(nullptr, size_t(size));
  int32_t read = 0;
  if (block) table.ReadFileData(h, block, 0, size, &read);
  table.CloseFileHandle(h);
  *out = block;
  return block ? read : 0;
}

}  // namespace core
