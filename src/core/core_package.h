// core_package.h -- the file layer: loose files and ".pac" packages behind
// one handle space (included through core_public.h).
#pragma once

#include <cstdint>

namespace app {
class LogSystem;
}

namespace core {

// One 32-bit handle for both kinds of open file: -1 none; bit 31 clear: an
// operating-system file descriptor; bit 31 set: 0x80000000 plus the index of
// a package entry in the table it was opened from.
using FileHandle = int32_t;
constexpr FileHandle kNoFile = -1;
constexpr uint32_t kPackageHandleBit = 0x80000000u;

// True for an operating-system handle (not -1, bit 31 clear).
inline bool IsRealFileHandle(FileHandle h) { return h != kNoFile && (uint32_t(h) & kPackageHandleBit) == 0; }

// Seek origins.
enum : int { kFileBegin = 0, kFileCurrent = 1, kFileEnd = 2 };

// The mounted packages' entries. Every data file of the engine is opened
// through it, package entries first, then the disk. Main thread only.
class FilePackageTable {
 public:
  app::LogSystem* log = nullptr;

  FilePackageTable() = default;
  ~FilePackageTable();
  FilePackageTable(const FilePackageTable&) = delete;
  FilePackageTable& operator=(const FilePackageTable&) = delete;

  // Reads a package's index into the table and keeps the file open.
  // Returns the package's file handle, -1 when it cannot be opened.
  int LoadFilePackage(const char* path);
  // Closes every package file and empties the table.
  void CloseFilePackage();

  // Opens a name for reading: a package entry of that name, else the file
  // on disk (found without regard to case). -1 when neither exists.
  FileHandle OpenReadFile(const char* name);
  // Reads `count` bytes (negative: all that is left) from `position` into
  // `buffer`; the bytes delivered go to `*read` when given. Returns the
  // buffer for a package entry, null for a disk file or a bad handle.
  void* ReadFileData(FileHandle h, void* buffer, int32_t position, int32_t count, int32_t* read);
  int32_t GetFileSizeOf(FileHandle h);
  int32_t TellFile(FileHandle h);
  void SeekFile(FileHandle h, int32_t distance, int method);
  int CloseFileHandle(FileHandle h);
  // Drops the cached bytes of a package entry (nothing for a disk file).
  void FreeFileCache(FileHandle h);
};

// Reads a whole file through the table into a new zero-filled heap block
// (free it with HeapFreeCached) and returns its size; 0 and a log line when
// the name cannot be opened.
int32_t ReadWholeFile(FilePackageTable& table, void** out, const char* name);

}  // namespace core
