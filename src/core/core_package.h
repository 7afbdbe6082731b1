// core_package.h -- the file layer: loose files and ".pac" packages behind
// one handle space (included through core_public.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform_system.h"

namespace core {
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

// Longest name the file layer handles, its terminating zero included: a
// normalised name has at most 259 characters.
constexpr int kMaxPathLength = 260;
// Entry flag bit: the stored data is zero-run coded.
constexpr uint32_t kEntryZeroRunCoded = 1;
// The table's array grows by this many entries at a time.
constexpr int32_t kPackageGrowEntries = 256;
// The name a removed entry carries until the table is saved.
constexpr const char* kRemovedEntryName = ".";

// ----------------------------------------------------------------------------
// The ".pac" format (all integers 32-bit little-endian, no signature):
//
//   0       entry count N (signed; 0 or less: no entries)
//   4       N index records: name length L (zero byte counted), the L name
//           bytes, flags, key, data offset, size, stored size
//   then    the stored data of the entries, in index order, without gaps
//
// Names are normalised (see NormalizePath) and relative to the package's own
// folder. Stored data is the plain data, zero-run coded when flag bit 0 is
// set (a zero word followed by a count d stands for d zero words), then
// scrambled: word j of the stored bytes (the last one completed with zero
// bytes) XOR key x (j + 1), modulo 2^32. Key 0 stores the data unchanged.
// This engine writes entries uncoded and reads both forms.
// ----------------------------------------------------------------------------

// One entry of a table: a file inside a mounted package, or a loose disk
// file added to be written into the next saved package.
//
// Invariants: an entry of a mounted package has 0 <= dataOffset,
// dataOffset + storedSize within its package file, 0 <= size <= INT32_MAX - 3
// and, when uncoded, storedSize == size (checked when it is mounted). Its
// cache, once made, is size + 3 bytes; for an uncoded entry the first
// cachedBytes of it hold plain data, a coded entry is expanded whole at once.
struct PackageEntry {
  int packageFile;      // descriptor of the package holding the data; -1 for a loose file
  uint32_t flags;       // kEntryZeroRunCoded
  uint32_t key;         // scrambling key; 0 leaves the data unchanged
  int32_t dataOffset;   // of the stored data in the package file; -1 for a loose file
  int32_t size;         // plain bytes (a loose file: 0 until the table is saved)
  int32_t storedSize;   // stored bytes (equal to size when uncoded)
  uint8_t* cache;       // plain data as far as read; null until the first read
  int32_t cachedBytes;  // stored bytes read into the cache so far
  char* name;           // kMaxPathLength-byte heap text: the normalised name
                        // ("." once removed); null: no name
  int32_t position;     // read position of the entry as an open file
  char* sourcePath;     // a loose file: the disk path its data is read from
                        // when saved (so renaming the entry keeps its data)
};

// A table of package entries. The engine holds one, into which the system
// package, the chosen game's package and the packages scripts load are
// mounted; scripts and tools build their own to create, merge, save and
// unpack packages. Every data file of the engine is opened through it,
// package entries first, then the disk. Main thread only: it has no lock.
//
// - Entries are kept sorted by name (ASCII letters compared without case,
//   the second byte of a two-byte Shift-JIS character exactly), named ones
//   before any without a name, after every change; lookup is a binary search.
// - An entry handle is the entry's index: it stays valid until the next
//   mount, addition, renaming or removal re-sorts the table.
// - Package files stay open until CloseFilePackage (or the destructor).
class FilePackageTable {
 public:
  core::LogSystem* log = nullptr;  // where refusals are logged; may be null
  std::string lastError;          // why the last mount, save or extraction
                                  // failed (Shift-JIS, no line end)
  std::vector<std::string> errors;  // every failure of the last mount, save
                                    // or extraction, in order (lastError is
                                    // the last of them), at most
                                    // kMaxKeptErrors
  static constexpr size_t kMaxKeptErrors = 4096;

  FilePackageTable() = default;
  ~FilePackageTable();  // DestroyFilePackage
  FilePackageTable(const FilePackageTable&) = delete;
  FilePackageTable& operator=(const FilePackageTable&) = delete;

  // -- Mounting -------------------------------------------------------------

  // Reads a package's index into the table and keeps the file open. Every
  // entry is named by the package's own folder (relative to the working
  // folder) followed by its stored name; an entry of a name the table holds
  // already (compared without case) replaces that one and drops its cached
  // data. Returns the package's file descriptor, or -1 when the file cannot
  // be opened or is refused as damaged (a log line says why); then the table
  // is unchanged.
  int LoadFilePackage(const char* path);
  // Closes every package file, frees every entry; the count becomes 0.
  void CloseFilePackage();
  // The same as CloseFilePackage: a table made for one job is destroyed so.
  void DestroyFilePackage() { CloseFilePackage(); }

  int32_t Count() const { return int32_t(entries_.size()); }
  // The entry at `index` (0 .. Count() - 1).
  const PackageEntry& Entry(int32_t index) const { return entries_[size_t(index)]; }
  // The entry's name, or null outside 0 .. Count() - 1 or for none.
  const char* GetPackageEntryName(int32_t index) const;

  // -- Reading ------------------------------------------------------------
  // Every operation takes both kinds of handle; -1 and entry indexes at or
  // past the count do nothing.

  // Opens a name for reading: the package entry whose name equals the name's
  // normalised form (compared without case), else the name as given on disk
  // (found without regard to case). -1 when neither exists. Loose and
  // removed entries are never found.
  FileHandle OpenReadFile(const char* name);
  // Reads `count` bytes (negative: all that is left) from `position` into
  // `buffer` (null: only fill an entry's cache); the bytes delivered go to
  // `*read` when given. A package entry delivers at most up to its end
  // (nothing from a position past its end or below 0), then stands at
  // position + delivered, and the buffer is returned. A disk file follows
  // the read with its own position and null is returned, as for a bad handle.
  // Entry bytes are kept in the entry's cache once read (until
  // FreeFileCache), except that a whole uncached, uncoded entry read at once
  // into a buffer goes straight there: whole-file readers keep their bytes
  // themselves, and a second copy would halve the read speed.
  void* ReadFileData(FileHandle h, void* buffer, int32_t position, int32_t count, int32_t* read);
  // The disk file's or the entry's size; 0 for -1 or a bad index.
  int32_t GetFileSizeOf(FileHandle h);
  // The current position; -1 for -1 or a bad index.
  int32_t TellFile(FileHandle h);
  // Moves the position from kFileBegin, kFileCurrent or kFileEnd. An entry's
  // position is not clamped (reading from outside it delivers nothing).
  void SeekFile(FileHandle h, int32_t distance, int method);
  // Closes a disk file (1 when closed); an entry has nothing to close (1).
  int CloseFileHandle(FileHandle h);
  // Drops the cached bytes of a package entry (nothing for a disk file).
  // Readers of large files call it once they no longer need the bytes.
  void FreeFileCache(FileHandle h);

  // -- Building packages ---------------------------------------------------

  // Sorts the entries (the order described above). Stable: entries of equal
  // names keep the order in which they came.
  void SortPackageEntries();
  // Adds a disk file, or every file of a folder tree (names beginning with
  // "." skipped), as loose entries named by their normalised paths, when
  // the file was last written after `newerThan` (UTC). Returns -1 when the
  // path cannot be normalised and for a folder, else 1.
  int AddFilesToPackage(const char* path, uint32_t key, platform::FileTime newerThan);
  // Renames every entry named `oldName` (compared without case), or marks it
  // removed. Names that cannot be normalised change nothing. Return -1.
  int RenamePackageEntries(const char* oldName, const char* newName);
  int RemovePackageEntry(const char* name);
  // Writes every named, not removed entry into a new package, uncoded and
  // scrambled with its own key; of entries with equal names only the last
  // (the one added or mounted last) is written. Mounted entries keep their
  // data, loose ones take their disk file's (size 0 when it is gone). The
  // file is written under a temporary name and then renamed, so a failed
  // save leaves an existing package untouched. Returns 1 when written, 0
  // when refused: the output cannot be written, or it is one of the mounted
  // package files (that would replace data still being read).
  int SavePackage(const char* fileName);
  // Writes every named entry as a file under `folder` ("" the working
  // folder), making the folders along each path. Each entry streams to its
  // file through a bounded buffer (long zero runs become holes), so an entry
  // that declares gigabytes costs neither memory nor, when coded, time. The
  // folder given is taken as it is; below it nothing is written through a
  // symbolic link, and an existing file is replaced only once its new bytes
  // are whole. Every entry not written is a failure with a log line naming
  // it (in `errors`): a name that would leave the folder (a ".." segment, a
  // root), a name that does not open again by lookup, a link on the way, a
  // write that fails. Returns the number of entries read.
  int ExtractPackage(const char* folder);

 private:
  // The index of the findable entry of a normalised name, or -1.
  int32_t FindEntry(const char* normalisedName) const;
  // The entry of a package handle, or null.
  PackageEntry* EntryOf(FileHandle h);
  // Makes sure the entry's cache holds its plain bytes up to `end`; false
  // when they cannot be read (the log says why).
  bool FillCache(PackageEntry& e, int32_t end);
  // Adds one path (file or folder) below AddFilesToPackage.
  int AddPath(const std::string& name, const std::string& diskPath, uint32_t key,
              platform::FileTime newerThan, std::vector<std::pair<uint64_t, uint64_t>>* openFolders);
  // Appends an entry (growing the array by kPackageGrowEntries); null when
  // memory is exhausted.
  PackageEntry* AppendEntry(const char* name);
  // Sets lastError and logs it at the error level.
  void Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));

  std::vector<PackageEntry> entries_;  // sorted as described above
  std::vector<int> packageFiles_;      // every mounted package's descriptor
};

// The order of SortPackageEntries: entries without a name after all
// others, the rest by their names (ASCII letters without case, "/" as "\",
// the second byte of a two-byte Shift-JIS character exactly). <0, 0, >0.
int ComparePackageEntries(const PackageEntry& a, const PackageEntry& b);

// Writes the normalised form of `path` into `out` (kMaxPathLength bytes) and
// returns it, or returns null when the path has 260 characters or more or is
// rooted outside `baseFolder` (null: the working folder). The form: relative
// to the base, "\" between folders, ASCII letters in lower case (the second
// byte of a two-byte Shift-JIS character untouched), "." and ".." segments
// resolved after a leading run of "." and "\" characters, which is kept.
char* NormalizePath(char* out, const char* baseFolder, const char* path);

// Reads a whole file through the table into a new zero-filled heap block
// (free it with HeapFreeCached) and returns its size; 0 and a log line when
// the name cannot be opened or the memory for its size cannot be had.
int32_t ReadWholeFile(FilePackageTable& table, void** out, const char* name);

}  // namespace core
