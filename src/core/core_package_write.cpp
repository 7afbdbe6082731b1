// core_package_write.cpp -- building packages: adding loose files,
// renaming and removing entries, saving a table as a package and
// extracting its entries as files.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "core/core_public.h"
#include "core/core_local.h"

namespace core {

namespace {

constexpr int64_t kMaxEntrySize = INT32_MAX - 3;

// Collects output in a buffer of its own and writes it in large pieces.
class BufferedWriter {
 public:
  explicit BufferedWriter(platform::WholeFileWriter& out) : out_(out) { buffer_.reserve(kFlushBytes); }

  // Room for `count` more bytes at the end of the buffer (flushing first
  // when needed); the caller fills them.
  uint8_t* Reserve(size_t count) {
    if (buffer_.size() + count > kFlushBytes) Flush();
    size_t at = buffer_.size();
    buffer_.resize(at + count);
    return buffer_.data() + at;
  }
  void Word(uint32_t value) { StoreLe32(Reserve(4), value); }
  void Bytes(const void* data, size_t count) { std::memcpy(Reserve(count), data, count); }
  bool Flush() {
    if (!buffer_.empty()) out_.Write(buffer_.data(), buffer_.size());
    buffer_.clear();
    return !out_.Failed();
  }
  bool Failed() const { return out_.Failed(); }

 private:
  static constexpr size_t kFlushBytes = 1 << 20;
  platform::WholeFileWriter& out_;
  std::vector<uint8_t> buffer_;
};

// An entry's plain bytes into a new package: scrambled with its key at
// their place in the entry.
class ScramblingSink : public PlainSink {
 public:
  ScramblingSink(BufferedWriter& out, uint32_t key) : out_(out), key_(key) {}
  bool Bytes(const uint8_t* data, size_t count) override { return Put(data, count); }
  bool Zeros(uint64_t count) override { return Put(nullptr, count); }
  uint64_t Done() const { return done_; }

 private:
  // Appends `count` bytes of `data` (zeros when null), scrambled in pieces.
  bool Put(const uint8_t* data, uint64_t count) {
    while (count > 0) {
      size_t n = size_t(std::min<uint64_t>(count, kPiece));
      uint8_t* at = out_.Reserve(n);
      if (data) {
        std::memcpy(at, data, n);
        data += n;
      } else {
        std::memset(at, 0, n);
      }
      ScrambleBytes(at, n, key_, done_);
      count -= n;
      done_ += n;
    }
    return !out_.Failed();
  }

  static constexpr size_t kPiece = 256 * 1024;
  BufferedWriter& out_;
  uint32_t key_;
  uint64_t done_ = 0;
};

// An entry's plain bytes into the file it is extracted as; long zero runs
// become holes.
class FileSink : public PlainSink {
 public:
  explicit FileSink(platform::WholeFileWriter& out) : out_(out) {}
  bool Bytes(const uint8_t* data, size_t count) override { return out_.Write(data, count); }
  bool Zeros(uint64_t count) override {
    static const uint8_t kZeros[4096] = {};
    if (count >= sizeof kZeros) return out_.Skip(count);
    return out_.Write(kZeros, size_t(count));
  }

 private:
  platform::WholeFileWriter& out_;
};

// One entry as it will be written.
struct PlannedEntry {
  size_t index;    // in the table
  int32_t size;    // bytes written; -1: a loose file that is gone (written empty)
  int32_t offset;  // data offset in the new file
};

}  // namespace

// ----------------------------------------------------------------------------
// Adding, renaming, removing
// ----------------------------------------------------------------------------

int FilePackageTable::AddFilesToPackage(const char* path, uint32_t key, platform::FileTime newerThan) {
  char name[kMaxPathLength];
  if (!path || !NormalizePath(name, nullptr, path) || !name[0]) return -1;
  std::vector<std::pair<uint64_t, uint64_t>> openFolders;
  int result = AddPath(name, platform::ResolvePath(path), key, newerThan, &openFolders);
  SortPackageEntries();
  return result;
}

int FilePackageTable::AddPath(const std::string& name, const std::string& diskPath, uint32_t key,
                              platform::FileTime newerThan,
                              std::vector<std::pair<uint64_t, uint64_t>>* openFolders) {
  struct stat st;
  if (::stat(diskPath.c_str(), &st) != 0) return -1;
  if (S_ISREG(st.st_mode)) {
    int fd = ::open(diskPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    ::close(fd);
    platform::FileTime written = 0;
    if (platform::GetFileWriteTime(diskPath.c_str(), &written) && written > newerThan) {
      PackageEntry* e = AppendEntry(name.c_str());
      e->key = key;
      e->dataOffset = -1;
      e->sourcePath = strdup(diskPath.c_str());
    }
    return 1;
  }
  if (!S_ISDIR(st.st_mode)) return -1;
  // A folder linked into itself is not entered again.
  std::pair<uint64_t, uint64_t> id(uint64_t(st.st_dev), uint64_t(st.st_ino));
  if (std::find(openFolders->begin(), openFolders->end(), id) != openFolders->end()) return -1;
  openFolders->push_back(id);
  for (const platform::DirEntry& d : platform::ListDirectory(diskPath.c_str())) {
    if (d.name.empty() || d.name[0] == '.') continue;
    std::string child = name + "\\" + DiskNameToEngine(d.name);
    char normalised[kMaxPathLength];
    if (!NormalizePath(normalised, nullptr, child.c_str())) {
      Fail(Sjis("\"%s\"は名前が長すぎるためパッケージに加えません"), child.c_str());
      continue;
    }
    AddPath(normalised, diskPath + "/" + d.name, key, newerThan, openFolders);
  }
  openFolders->pop_back();
  return -1;
}

int FilePackageTable::RenamePackageEntries(const char* oldName, const char* newName) {
  char from[kMaxPathLength], to[kMaxPathLength];
  if (!oldName || !newName || !NormalizePath(from, nullptr, oldName) || !NormalizePath(to, nullptr, newName))
    return -1;
  for (PackageEntry& e : entries_)
    if (e.name && ComparePackageNames(e.name, from) == 0) std::memcpy(e.name, to, std::strlen(to) + 1);
  SortPackageEntries();
  return -1;
}

int FilePackageTable::RemovePackageEntry(const char* name) {
  char target[kMaxPathLength];
  if (!name || !NormalizePath(target, nullptr, name)) return -1;
  for (PackageEntry& e : entries_)
    if (e.name && ComparePackageNames(e.name, target) == 0) std::strcpy(e.name, kRemovedEntryName);
  SortPackageEntries();
  return -1;
}

// ----------------------------------------------------------------------------
// Saving
// ----------------------------------------------------------------------------

int FilePackageTable::SavePackage(const char* fileName) {
  lastError.clear();
  errors.clear();
  if (!fileName || !*fileName) {
    Fail("%s", Sjis("保存するパッケージの名前が空です"));
    return 0;
  }
  SortPackageEntries();
  std::string target = platform::ResolvePath(fileName);

  // Replacing a package that is mounted would pull the data from under its
  // entries (Windows refused by its share mode; here we check ourselves).
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      Fail(Sjis("パッケージ\"%s\"はフォルダのため保存できません"), fileName);
      return 0;
    }
    for (int fd : packageFiles_) {
      struct stat mounted;
      if (fstat(fd, &mounted) == 0 && mounted.st_dev == st.st_dev && mounted.st_ino == st.st_ino) {
        Fail(Sjis("パッケージ\"%s\"は読み込み中のため上書きできません"), fileName);
        return 0;
      }
    }
  }

  // What is written: named entries that are not removed; of equal names the
  // last, which came last (the table's sort is stable).
  std::vector<PlannedEntry> plan;
  for (size_t i = 0; i < entries_.size(); i++) {
    const PackageEntry& e = entries_[i];
    if (!e.name || !e.name[0] || std::strcmp(e.name, kRemovedEntryName) == 0) continue;
    if (i + 1 < entries_.size() && entries_[i + 1].name && ComparePackageNames(entries_[i + 1].name, e.name) == 0)
      continue;
    int32_t size = e.size;
    if (e.packageFile < 0) {
      struct stat fs;
      size = (e.sourcePath && ::stat(e.sourcePath, &fs) == 0 && S_ISREG(fs.st_mode) && fs.st_size <= kMaxEntrySize)
                 ? int32_t(fs.st_size)
                 : -1;
    }
    plan.push_back({i, size, 0});
  }
  int64_t offset = 4;
  for (const PlannedEntry& p : plan) offset += int64_t(std::strlen(entries_[p.index].name)) + 1 + 24;
  for (PlannedEntry& p : plan) {
    if (p.size < 0) continue;
    p.offset = int32_t(std::min<int64_t>(offset, INT32_MAX));
    offset += p.size;
  }
  if (offset > INT32_MAX) {
    Fail(Sjis("パッケージ\"%s\"は2GBを超えるため保存できません"), fileName);
    return 0;
  }

  // Written under a temporary name beside the target and renamed over it
  // at the end, so a failure never leaves a damaged or truncated package.
  platform::WholeFileWriter file;
  if (!file.Begin(target.c_str())) {
    Fail(Sjis("パッケージ\"%s\"が作成できません(%s)"), fileName, file.Error().c_str());
    return 0;
  }
  BufferedWriter out(file);
  out.Word(uint32_t(plan.size()));
  for (const PlannedEntry& p : plan) {
    const PackageEntry& e = entries_[p.index];
    uint32_t length = uint32_t(std::strlen(e.name)) + 1;
    out.Word(length);
    out.Bytes(e.name, length);
    out.Word(e.flags & ~kEntryZeroRunCoded);
    out.Word(e.key);
    out.Word(uint32_t(p.size < 0 ? 0 : p.offset));
    out.Word(uint32_t(p.size < 0 ? 0 : p.size));
    out.Word(uint32_t(p.size < 0 ? 0 : p.size));
  }

  constexpr size_t kChunk = 256 * 1024;
  for (const PlannedEntry& p : plan) {
    if (p.size <= 0 || out.Failed()) continue;
    PackageEntry& e = entries_[p.index];
    int32_t done = 0;
    if (e.packageFile < 0) {
      int in = ::open(e.sourcePath, O_RDONLY | O_CLOEXEC);
      while (done < p.size) {
        size_t n = std::min(kChunk, size_t(p.size - done));
        uint8_t* at = out.Reserve(n);
        int64_t got = in >= 0 ? ReadAt(in, at, n, done) : -1;
        if (got < int64_t(n)) {
          // The file shrank or failed since it was measured: the index is
          // written already, so the rest stays zero.
          std::memset(at + std::max<int64_t>(got, 0), 0, n - size_t(std::max<int64_t>(got, 0)));
          if (got < int64_t(n)) Fail(Sjis("\"%s\"が最後まで読めません"), e.sourcePath);
        }
        ScrambleBytes(at, n, e.key, uint64_t(done));
        done += int32_t(n);
      }
      if (in >= 0) ::close(in);
    } else {
      // Streamed from its package, expanded and unscrambled however its
      // own package stores it, through a bounded buffer.
      ScramblingSink sink(out, e.key);
      if (!StreamEntryData(e, &sink) && !out.Failed()) {
        // Unreadable since it was mounted: the index is written already,
        // so the rest stays zero.
        Fail(Sjis("パッケージのエントリ[%s]が読めません"), e.name);
        sink.Zeros(uint64_t(p.size) - std::min<uint64_t>(sink.Done(), uint64_t(p.size)));
      }
    }
  }
  out.Flush();
  if (!file.Commit()) {
    Fail(Sjis("パッケージ\"%s\"が書き込めません(%s)"), fileName, file.Error().c_str());
    return 0;
  }
  return 1;
}

// ----------------------------------------------------------------------------
// Extracting
// ----------------------------------------------------------------------------

int FilePackageTable::ExtractPackage(const char* folder) {
  lastError.clear();
  errors.clear();
  // The folder is taken as given (links and all): the caller chose it.
  std::string base = platform::ResolvePath(platform::Cp932ToUtf8(folder && *folder ? folder : "."));
  if (!platform::IsDirectory(base.c_str())) platform::MakeDirectories(base.c_str());
  int baseFd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (baseFd < 0) {
    Fail(Sjis("展開先のフォルダ\"%s\"が開けません(%s)"), folder ? folder : "", std::strerror(errno));
    return 0;
  }
  int count = 0;
  for (size_t i = 0; i < entries_.size(); i++) {
    if (!entries_[i].name || !entries_[i].name[0] || std::strcmp(entries_[i].name, kRemovedEntryName) == 0)
      continue;
    std::string name = entries_[i].name;
    // A stored name is written below the folder only: a ".." segment or a
    // root would put the file anywhere on the disk.
    std::string relative = SafeExtractPath(name.c_str());
    if (relative.empty()) {
      Fail(Sjis("エントリ\"%s\"は展開先の外を指すため書き出しません"), name.c_str());
      continue;
    }
    FileHandle h = OpenReadFile(name.c_str());
    PackageEntry* e = EntryOf(h);
    if (!e) {
      // Listed, but its name finds no entry again (a name that normalises
      // to another): not a file of the disk either, which the lookup may
      // have opened instead.
      if (IsRealFileHandle(h)) CloseFileHandle(h);
      Fail(Sjis("エントリ\"%s\"は名前で開き直せないため書き出しません"), name.c_str());
      continue;
    }
    count++;

    size_t slash = relative.rfind('/');
    std::string folderPart = slash == std::string::npos ? "" : relative.substr(0, slash);
    std::string filePart = relative.substr(slash == std::string::npos ? 0 : slash + 1);
    std::string why;
    int dirFd = platform::OpenFolderBeneath(baseFd, folderPart, true, &why);
    if (dirFd < 0) {
      Fail(Sjis("\"%s\"が書き出せません(%s)"), name.c_str(), why.c_str());
      continue;
    }
    // An existing file of the name in another letter case is replaced, as
    // on the file system the data was made for.
    std::string existing = platform::MatchNameAt(dirFd, filePart);
    platform::WholeFileWriter out;
    bool ok = out.BeginAt(dirFd, existing.empty() ? filePart.c_str() : existing.c_str());
    if (ok) {
      FileSink sink(out);
      // Thousands of entries are not flushed to the disk one by one: an
      // extraction cut short is simply run again.
      ok = StreamEntryData(*e, &sink) && out.Commit(false);
      if (!ok && !out.Failed()) why = Sjis("パッケージが読めません");
    }
    if (!ok && why.empty()) why = out.Error();
    out.Abandon();
    ::close(dirFd);
    if (!ok) Fail(Sjis("\"%s\"が書き出せません(%s)"), name.c_str(), why.c_str());
  }
  ::close(baseFd);
  return count;
}

}  // namespace core
