// core_package.cpp -- the file layer's table: mounting packages, looking
// names up, and reading entries and disk files through one handle space.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <unordered_map>

#include "core/core_public.h"
#include "core/core_local.h"

namespace core {

namespace {

// Bytes of an index record besides its name: the length word and five
// words after the name.
constexpr int64_t kRecordFixedBytes = 24;
// Largest size an entry may have: its cache holds size + 3 bytes.
constexpr int64_t kMaxEntrySize = INT32_MAX - 3;

struct IndexRecord {
  std::string name;  // stored name, without the package's folder
  uint32_t flags;
  uint32_t key;
  int32_t dataOffset;
  int32_t size;
  int32_t storedSize;
};

// Sequential reads of a package's index through a window of the file, so an
// index of many small records costs few system calls. Never reads past the
// file's size as measured when it was opened.
class IndexReader {
 public:
  IndexReader(int fd, int64_t fileSize) : fd_(fd), fileSize_(fileSize), window_(64 * 1024) {}

  bool Read(void* out, size_t count) {
    if (int64_t(count) > fileSize_ - at_) return false;
    uint8_t* dst = static_cast<uint8_t*>(out);
    while (count > 0) {
      if (at_ < windowStart_ || at_ >= windowStart_ + windowBytes_) {
        size_t want = size_t(std::min<int64_t>(int64_t(window_.size()), fileSize_ - at_));
        int64_t got = ReadAt(fd_, window_.data(), want, at_);
        if (got <= 0) return false;
        windowStart_ = at_;
        windowBytes_ = got;
      }
      size_t n = size_t(std::min<int64_t>(int64_t(count), windowStart_ + windowBytes_ - at_));
      std::memcpy(dst, window_.data() + (at_ - windowStart_), n);
      dst += n;
      at_ += int64_t(n);
      count -= n;
    }
    return true;
  }

  bool ReadWord(uint32_t* value) {
    uint8_t bytes[4];
    if (!Read(bytes, 4)) return false;
    *value = LoadLe32(bytes);
    return true;
  }

  int64_t Remaining() const { return fileSize_ - at_; }

 private:
  int fd_;
  int64_t fileSize_;
  int64_t at_ = 0;
  std::vector<uint8_t> window_;
  int64_t windowStart_ = 0;
  int64_t windowBytes_ = 0;
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// Reads and checks a whole index. Returns "" when every record is sound,
// else why the package is refused (Shift-JIS). Nothing in the file is
// trusted: counts, lengths, sizes and offsets are checked against the file,
// and coded entries are expanded once (without keeping the result) so that
// no later read can overrun.
std::string ReadIndex(int fd, int64_t fileSize, const std::string& prefix, std::vector<IndexRecord>* records) {
  IndexReader in(fd, fileSize);
  uint32_t word;
  if (!in.ReadWord(&word)) return Sjis("エントリ数が読めません");
  int32_t count = int32_t(word);
  if (count <= 0) return "";
  // Each record takes at least 25 bytes (a name of one byte).
  if (int64_t(count) > in.Remaining() / (kRecordFixedBytes + 1))
    return Format(Sjis("エントリ数%dがファイルの大きさに合いません"), count);
  records->reserve(size_t(count));
  char name[kMaxPathLength + 1];
  for (int32_t i = 0; i < count; i++) {
    uint32_t length;
    if (!in.ReadWord(&length)) return Format(Sjis("エントリ%dの索引がファイルの終わりを越えています"), i);
    if (length < 2 || length > uint32_t(kMaxPathLength))
      return Format(Sjis("エントリ%dの名前の長さ%dが不正です"), i, int32_t(length));
    if (!in.Read(name, length)) return Format(Sjis("エントリ%dの索引がファイルの終わりを越えています"), i);
    if (name[length - 1] != '\0') return Format(Sjis("エントリ%dの名前が終端されていません"), i);
    IndexRecord r;
    r.name.assign(name);
    if (r.name.empty()) return Format(Sjis("エントリ%dの名前が空です"), i);
    if (prefix.size() + r.name.size() >= size_t(kMaxPathLength))
      return Format(Sjis("エントリ%dの名前がフォルダと合わせて259文字を超えます"), i);
    uint32_t fields[5];
    for (uint32_t& f : fields)
      if (!in.ReadWord(&f)) return Format(Sjis("エントリ%dの索引がファイルの終わりを越えています"), i);
    r.flags = fields[0];
    r.key = fields[1];
    r.dataOffset = int32_t(fields[2]);
    r.size = int32_t(fields[3]);
    r.storedSize = int32_t(fields[4]);
    if (r.size < 0 || r.size > kMaxEntrySize || r.storedSize < 0 || r.storedSize > kMaxEntrySize)
      return Format(Sjis("エントリ%d[%s]のサイズが不正です"), i, r.name.c_str());
    if (r.dataOffset < 0 || int64_t(r.dataOffset) + r.storedSize > fileSize)
      return Format(Sjis("エントリ%d[%s]のデータがファイルの外にあります"), i, r.name.c_str());
    if (!(r.flags & kEntryZeroRunCoded) && r.storedSize != r.size)
      return Format(Sjis("エントリ%d[%s]の格納サイズがサイズと異なります"), i, r.name.c_str());
    records->push_back(std::move(r));
  }
  for (size_t i = 0; i < records->size(); i++) {
    const IndexRecord& r = (*records)[i];
    if (!(r.flags & kEntryZeroRunCoded)) continue;
    ZeroRunExpander measure;
    measure.capacity = (uint64_t(r.size) + 3) & ~uint64_t(3);
    if (!ExpandStoredData(fd, r.dataOffset, r.storedSize, r.key, &measure))
      return Format(measure.overrun ? Sjis("エントリ%d[%s]の圧縮データがサイズを越えて展開されます")
                                    : Sjis("エントリ%d[%s]の圧縮データが途中で終わっています"),
                    int(i), r.name.c_str());
  }
  return "";
}

// Opens a disk file for reading: an existing regular file. A folder, a FIFO
// or a device is no data file: opened without waiting (a FIFO would block
// until a writer came) and refused as missing.
FileHandle OpenDiskFile(const char* name) {
  if (!name || !*name) return kNoFile;
  std::string path = platform::ResolvePath(name);
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fd > INT32_MAX) {
    ::close(fd);
    return kNoFile;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return FileHandle(fd);
}

}  // namespace

// ----------------------------------------------------------------------------
// Table life and entries
// ----------------------------------------------------------------------------

int ComparePackageEntries(const PackageEntry& a, const PackageEntry& b) {
  if (!a.name || !b.name) return (a.name ? -1 : 0) + (b.name ? 1 : 0);  // nameless entries last
  return ComparePackageNames(a.name, b.name);
}

FilePackageTable::~FilePackageTable() { CloseFilePackage(); }

void FilePackageTable::CloseFilePackage() {
  for (PackageEntry& e : entries_) {
    std::free(e.cache);
    std::free(e.name);
    std::free(e.sourcePath);
  }
  entries_.clear();
  entries_.shrink_to_fit();
  for (int fd : packageFiles_) ::close(fd);
  packageFiles_.clear();
}

const char* FilePackageTable::GetPackageEntryName(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return entries_[size_t(index)].name;
}

PackageEntry* FilePackageTable::AppendEntry(const char* name) {
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.size() + size_t(kPackageGrowEntries));
  PackageEntry e{};
  e.packageFile = -1;
  e.name = static_cast<char*>(std::calloc(1, kMaxPathLength));
  if (!e.name) throw std::bad_alloc();
  std::snprintf(e.name, kMaxPathLength, "%s", name);
  entries_.push_back(e);
  return &entries_.back();
}

void FilePackageTable::SortPackageEntries() {
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const PackageEntry& a, const PackageEntry& b) { return ComparePackageEntries(a, b) < 0; });
}

void FilePackageTable::Fail(const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  lastError = text;
  // Bounded: reads of the engine's own table fail into it for the whole run.
  if (errors.size() < kMaxKeptErrors) errors.push_back(lastError);
  core::Log(log, core::kLogError, text);
}

// ----------------------------------------------------------------------------
// Mounting
// ----------------------------------------------------------------------------

int FilePackageTable::LoadFilePackage(const char* path) {
  lastError.clear();
  errors.clear();
  if (!path || !*path) {
    lastError = Sjis("パッケージ名が空です");
    return -1;
  }
  std::string disk = platform::ResolvePath(path);
  int fd = ::open(disk.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    // Not an error here: a missing package leaves its names to the disk.
    lastError = Format(Sjis("パッケージ\"%s\"がオープンできません"), path);
    return -1;
  }

  char self[kMaxPathLength];
  if (!NormalizePath(self, nullptr, path)) {
    ::close(fd);
    Fail(Sjis("パッケージ\"%s\"は作業フォルダの外にあるか名前が長すぎるため読み込みません"), path);
    return -1;
  }
  std::string prefix = NameFolderPart(self);
  std::vector<IndexRecord> records;
  std::string why;
  try {
    why = ReadIndex(fd, int64_t(st.st_size), prefix, &records);
    // Room for every entry now, so that taking the index in cannot run out
    // of memory halfway.
    entries_.reserve(entries_.size() + records.size());
  } catch (const std::bad_alloc&) {
    why = Sjis("索引を読むメモリが確保できません");
  }
  if (!why.empty()) {
    ::close(fd);
    Fail(Sjis("パッケージ\"%s\"は壊れているため読み込みません(%s)"), path, why.c_str());
    return -1;
  }

  // The index is sound: now the table changes. Entries that were there
  // before are sorted and found by binary search; entries of this package
  // that are new are found by their folded names.
  size_t before = entries_.size();
  std::unordered_map<std::string, size_t> added;
  for (const IndexRecord& r : records) {
    std::string name = prefix + r.name;
    PackageEntry* e = nullptr;
    auto first = std::lower_bound(entries_.begin(), entries_.begin() + ptrdiff_t(before), name.c_str(),
                                  [](const PackageEntry& x, const char* n) {
                                    return x.name && ComparePackageNames(x.name, n) < 0;
                                  });
    if (first != entries_.begin() + ptrdiff_t(before) && first->name &&
        ComparePackageNames(first->name, name.c_str()) == 0) {
      e = &*first;
    } else {
      std::string folded = FoldPackageName(name.c_str());
      auto it = added.find(folded);
      if (it != added.end()) {
        e = &entries_[it->second];
      } else {
        added.emplace(std::move(folded), entries_.size());
        e = AppendEntry(name.c_str());
      }
    }
    // A later package replaces the entry of an earlier one, cached data
    // and all.
    std::free(e->cache);
    e->cache = nullptr;
    e->cachedBytes = 0;
    std::free(e->sourcePath);
    e->sourcePath = nullptr;
    e->packageFile = fd;
    e->flags = r.flags;
    e->key = r.key;
    e->dataOffset = r.dataOffset;
    e->size = r.size;
    e->storedSize = r.storedSize;
    e->position = 0;
  }
  packageFiles_.push_back(fd);
  SortPackageEntries();
  return fd;
}

// ----------------------------------------------------------------------------
// Lookup
// ----------------------------------------------------------------------------

int32_t FilePackageTable::FindEntry(const char* normalisedName) const {
  auto named = std::partition_point(entries_.begin(), entries_.end(), [](const PackageEntry& e) { return e.name; });
  auto it = std::lower_bound(entries_.begin(), named, normalisedName, [](const PackageEntry& e, const char* n) {
    return ComparePackageNames(e.name, n) < 0;
  });
  // Of the entries of this name, the first that holds data in a package:
  // loose and removed entries are passed over without ending the search.
  for (; it != named && ComparePackageNames(it->name, normalisedName) == 0; ++it) {
    if (it->dataOffset >= 1 && it->packageFile >= 0 && std::strcmp(it->name, kRemovedEntryName) != 0)
      return int32_t(it - entries_.begin());
  }
  return -1;
}

FileHandle FilePackageTable::OpenReadFile(const char* name) {
  if (!name) return kNoFile;
  char normalised[kMaxPathLength];
  if (NormalizePath(normalised, nullptr, name)) {
    int32_t index = FindEntry(normalised);
    if (index >= 0) return FileHandle(kPackageHandleBit | uint32_t(index));
  }
  return OpenDiskFile(name);
}

PackageEntry* FilePackageTable::EntryOf(FileHandle h) {
  if (h == kNoFile || !(uint32_t(h) & kPackageHandleBit)) return nullptr;
  uint32_t index = uint32_t(h) & ~kPackageHandleBit;
  if (index >= entries_.size()) return nullptr;
  return &entries_[index];
}

// ----------------------------------------------------------------------------
// Reading
// ----------------------------------------------------------------------------

bool FilePackageTable::FillCache(PackageEntry& e, int32_t end) {
  if (e.packageFile < 0) return false;  // a loose file has no data here
  if (e.flags & kEntryZeroRunCoded) {
    // Coded data is expanded whole, once.
    if (e.cache) return true;
    auto* cache = static_cast<uint8_t*>(std::calloc(size_t(e.size) + 3, 1));
    if (!cache) {
      Fail(Sjis("パッケージのエントリ[%s]を読むメモリ(%dバイト)が確保できません"), e.name ? e.name : "", e.size);
      return false;
    }
    ZeroRunExpander x;
    x.out = cache;
    x.capacity = (uint64_t(e.size) + 3) & ~uint64_t(3);
    if (!ExpandStoredData(e.packageFile, e.dataOffset, e.storedSize, e.key, &x)) {
      std::free(cache);
      Fail(Sjis("パッケージのエントリ[%s]が読めません"), e.name ? e.name : "");
      return false;
    }
    e.cache = cache;
    e.cachedBytes = e.storedSize;
    return true;
  }
  // Uncoded data is read as far as asked, so that streams do not load whole
  // files; the appended bytes take the key stream of their place.
  end = std::min(end, e.storedSize);
  if (end <= e.cachedBytes) return true;
  if (!e.cache) {
    e.cache = static_cast<uint8_t*>(std::malloc(size_t(e.size) + 3));
    if (!e.cache) {
      Fail(Sjis("パッケージのエントリ[%s]を読むメモリ(%dバイト)が確保できません"), e.name ? e.name : "", e.size);
      return false;
    }
    e.cachedBytes = 0;
  }
  size_t want = size_t(end - e.cachedBytes);
  int64_t got = ReadAt(e.packageFile, e.cache + e.cachedBytes, want, int64_t(e.dataOffset) + e.cachedBytes);
  if (got < 0) got = 0;
  ScrambleBytes(e.cache + e.cachedBytes, size_t(got), e.key, uint64_t(e.cachedBytes));
  e.cachedBytes += int32_t(got);
  if (size_t(got) < want) {
    Fail(Sjis("パッケージのエントリ[%s]が読めません"), e.name ? e.name : "");
    return false;
  }
  return true;
}

void* FilePackageTable::ReadFileData(FileHandle h, void* buffer, int32_t position, int32_t count, int32_t* read) {
  if (read) *read = 0;
  if (IsRealFileHandle(h)) {
    if (position < 0 || ::lseek(h, position, SEEK_SET) < 0) return nullptr;
    if (count < 0) count = std::max(0, GetFileSizeOf(h) - position);
    int32_t total = 0;
    while (buffer && total < count) {
      ssize_t n = ::read(h, static_cast<char*>(buffer) + total, size_t(count - total));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      total += int32_t(n);
    }
    if (read) *read = total;
    return nullptr;
  }
  PackageEntry* e = EntryOf(h);
  if (!e) return nullptr;
  // A position outside the entry delivers nothing (below 0 it would
  // address bytes before the cache).
  if (position < 0) return buffer;
  int32_t n = 0;
  if (position < e->size) {
    int32_t left = e->size - position;
    n = (count < 0 || count > left) ? left : count;
  }
  if (buffer && n > 0 && n == e->size && !e->cache && !(e->flags & kEntryZeroRunCoded) && e->packageFile >= 0) {
    // A whole uncoded entry read at once goes straight into the caller's
    // buffer, without a second copy in the cache: its reader (a script, an
    // image, a model, a sound effect) keeps the bytes itself, and the
    // system's file cache keeps the package's. Partial reads (streams) fill
    // the cache as far as they get.
    // In pieces that stay in the processor's cache while they are
    // unscrambled.
    constexpr int32_t kPiece = 256 * 1024;
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t done = 0;
    while (done < n) {
      int32_t want = std::min(kPiece, n - done);
      int64_t got = ReadAt(e->packageFile, out + done, size_t(want), int64_t(e->dataOffset) + done);
      got = std::max<int64_t>(got, 0);
      ScrambleBytes(out + done, size_t(got), e->key, uint64_t(done));
      done += int32_t(got);
      if (got < want) {
        Fail(Sjis("パッケージのエントリ[%s]が読めません"), e->name ? e->name : "");
        break;
      }
    }
    n = done;
    e->position = n;
    if (read) *read = n;
    return buffer;
  }
  if (buffer && n > 0 && n == e->size && !e->cache && (e->flags & kEntryZeroRunCoded) && e->packageFile >= 0) {
    // Likewise a whole coded entry: expanded straight into the buffer, so a
    // whole-file read of an entry costs its size once, not twice.
    BufferSink into(static_cast<uint8_t*>(buffer), uint64_t(n));
    if (!StreamEntryData(*e, &into)) {
      Fail(Sjis("パッケージのエントリ[%s]が読めません"), e->name ? e->name : "");
      n = 0;
    }
    e->position = n;
    if (read) *read = n;
    return buffer;
  }
  if (n > 0 && !FillCache(*e, position + n)) {
    // Deliver what could be read.
    int32_t have = (e->flags & kEntryZeroRunCoded) ? (e->cache ? e->size : 0) : e->cachedBytes;
    n = std::clamp(have - position, 0, n);
  }
  e->position = position + n;
  if (read) *read = n;
  if (buffer && n > 0) std::memcpy(buffer, e->cache + position, size_t(n));
  return buffer;
}

int32_t FilePackageTable::GetFileSizeOf(FileHandle h) {
  if (IsRealFileHandle(h)) {
    struct stat st;
    if (fstat(h, &st) != 0) return 0;
    return int32_t(std::min<int64_t>(st.st_size, INT32_MAX));
  }
  PackageEntry* e = EntryOf(h);
  return e ? e->size : 0;
}

int32_t FilePackageTable::TellFile(FileHandle h) {
  if (IsRealFileHandle(h)) return int32_t(::lseek(h, 0, SEEK_CUR));
  PackageEntry* e = EntryOf(h);
  return e ? e->position : -1;
}

void FilePackageTable::SeekFile(FileHandle h, int32_t distance, int method) {
  if (IsRealFileHandle(h)) {
    ::lseek(h, distance, method == kFileEnd ? SEEK_END : method == kFileCurrent ? SEEK_CUR : SEEK_SET);
    return;
  }
  PackageEntry* e = EntryOf(h);
  if (!e) return;
  // 32-bit arithmetic that wraps rather than overflows.
  if (method == kFileEnd) e->position = int32_t(uint32_t(e->size) + uint32_t(distance));
  else if (method == kFileCurrent) e->position = int32_t(uint32_t(e->position) + uint32_t(distance));
  else e->position = distance;
}

int FilePackageTable::CloseFileHandle(FileHandle h) {
  if (IsRealFileHandle(h)) return ::close(h) == 0 ? 1 : 0;
  return 1;
}

void FilePackageTable::FreeFileCache(FileHandle h) {
  PackageEntry* e = EntryOf(h);
  if (!e) return;
  std::free(e->cache);
  e->cache = nullptr;
  e->cachedBytes = 0;
}

int32_t ReadWholeFile(FilePackageTable& table, void** out, const char* name) {
  *out = nullptr;
  FileHandle h = table.OpenReadFile(name);
  if (h == kNoFile) {
    core::Logf(table.log, core::kLogInfo, Sjis("\"%s\"がオープンできません。\n"), name ? name : "");
    return 0;
  }
  int32_t size = table.GetFileSizeOf(h);
  void* block = HeapGrowZeroed(nullptr, size_t(size));
  int32_t read = 0;
  if (block) {
    try {
      table.ReadFileData(h, block, 0, size, &read);
    } catch (const std::bad_alloc&) {
      // The read's own buffers could not be had: the block is no file.
      HeapFreeCached(block);
      block = nullptr;
    }
  }
  table.CloseFileHandle(h);
  if (!block) {
    // A size that memory cannot hold (an entry may declare up to 2 GB): a
    // clean refusal, never the end of the process.
    core::Logf(table.log, core::kLogError, Sjis("\"%s\"を読み込むメモリ(%dバイト)が確保できません。\n"),
               name ? name : "", size);
    return 0;
  }
  *out = block;
  return read;
}

}  // namespace core
