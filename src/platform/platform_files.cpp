// platform_files.cpp -- path tests, folder listings, case-insensitive name
// resolution for game data written for Windows, and whole files written
// safely (replaced only once complete, never through a link).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/platform_local.h"

namespace platform {

namespace {

bool IsLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

bool HasHighBytes(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return true;
  return false;
}

// Reads the open folder `dir` for the entry that names `component`: the
// exact spelling first, then without regard to case. Empty when nothing
// matches. Closes `dir`.
std::string MatchInDir(DIR* dir, std::string_view component) {
  std::string found;
  while (dirent* e = readdir(dir)) {
    std::string_view name(e->d_name);
    if (name == component) {
      found.assign(name);
      break;
    }
    if (found.empty() && CompareNamesNoCase(name, component) == 0) found.assign(name);
  }
  closedir(dir);
  return found;
}

// Finds the entry of `folder` that names `component` (see MatchInDir).
std::string MatchInFolder(const std::string& folder, std::string_view component) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  return MatchInDir(dir, component);
}

std::string Join(const std::string& base, std::string_view component) {
  if (base.empty()) return std::string(component);
  if (base.back() == '/') return base + std::string(component);
  return base + "/" + std::string(component);
}

}  // namespace

bool PathExists(const char* path) {
  struct stat st;
  return path && *path && stat(path, &st) == 0;
}

bool IsDirectory(const char* path) {
  struct stat st;
  return path && *path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int CompareNamesNoCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t n = std::min(a.size(), b.size());
  while (i < n) {
    unsigned char ca = a[i], cb = b[i];
    if (IsLead(ca) && IsLead(cb) && ca == cb && i + 1 < n) {
      // A two-byte character compares whole and exactly.
      unsigned char ta = a[i + 1], tb = b[i + 1];
      if (ta != tb) return int(ta) - int(tb);
      i += 2;
      continue;
    }
    unsigned char fa = FoldAscii(ca), fb = FoldAscii(cb);
    if (fa != fb) return int(fa) - int(fb);
    i++;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

namespace {

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = s[i];
    size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 4;
    if (extra == 4 || (extra && (c < 0xC2 || i + extra >= s.size()))) return false;
    for (size_t k = 1; k <= extra; k++)
      if ((uint8_t(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

// A "\\" is a separator unless it is the second byte of a Shift-JIS
// character ("表" is 95 5C). Such a pair never occurs in valid UTF-8, so a
// name that is valid UTF-8 (a path of this disk) has every "\\" turned.
void SeparatorsToSlashes(std::string* path) {
  bool sjis = !IsValidUtf8(*path);
  for (size_t i = 0; i < path->size(); i++) {
    unsigned char c = (*path)[i];
    if (sjis && IsLead(c) && i + 1 < path->size()) {
      i++;
      continue;
    }
    if (c == '\\') (*path)[i] = '/';
  }
}

}  // namespace

std::string ResolvePath(std::string_view name) {
  std::string path(name);
  SeparatorsToSlashes(&path);
  if (path.empty() || PathExists(path.c_str())) return path;

  std::string resolved = path[0] == '/' ? "/" : "";
  size_t pos = 0;
  bool matching = true;  // once a component is missing, the rest is kept as given
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    std::string_view component(path.data() + pos, end - pos);
    pos = end + 1;
    if (component.empty()) continue;
    if (component == "." || component == ".." || !matching) {
      resolved = Join(resolved, component);
      continue;
    }
    std::string candidate = Join(resolved, component);
    struct stat st;
    if (lstat(candidate.c_str(), &st) == 0) {
      resolved = candidate;
      continue;
    }
    std::string found = MatchInFolder(resolved, component);
    if (found.empty() && HasHighBytes(component)) {
      // Shift-JIS names in game data may be stored as UTF-8 on this disk.
      found = MatchInFolder(resolved, Cp932ToUtf8(component));
    }
    if (found.empty()) {
      matching = false;
      resolved = Join(resolved, component);
    } else {
      resolved = Join(resolved, found);
    }
  }
  if (path.back() == '/' && (resolved.empty() || resolved.back() != '/')) resolved += '/';
  return resolved;
}

std::vector<DirEntry> ListDirectory(const char* folder) {
  std::vector<DirEntry> entries;
  std::string base = (folder && *folder) ? folder : ".";
  DIR* dir = opendir(base.c_str());
  if (!dir) return entries;
  while (dirent* e = readdir(dir)) {
    std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    struct stat st;
    std::string full = Join(base, name);
    if (stat(full.c_str(), &st) != 0) continue;  // a dangling link
    DirEntry entry;
    entry.name.assign(name);
    entry.isDirectory = S_ISDIR(st.st_mode);
    entry.size = entry.isDirectory ? 0 : uint64_t(st.st_size);
    entries.push_back(std::move(entry));
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) {
    int c = CompareNamesNoCase(a.name, b.name);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return entries;
}

bool MakeDirectories(const char* path) {
  if (!path || !*path) return false;
  std::string p(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  for (size_t i = 1; i <= p.size(); i++) {
    if (i == p.size() || p[i] == '/') {
      std::string prefix = p.substr(0, i);
      if (mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return IsDirectory(p.c_str());
}

bool GetFileWriteTime(const char* path, FileTime* time) {
  struct stat st;
  if (!path || stat(path, &st) != 0) return false;
  // Seconds between 1601-01-01 and 1970-01-01.
  constexpr uint64_t kEpochDelta = 11644473600ull;
  uint64_t ticks = (uint64_t(st.st_mtim.tv_sec) + kEpochDelta) * 10000000ull +
                   uint64_t(st.st_mtim.tv_nsec) / 100u;
  if (time) *time = ticks;
  return true;
}

std::string WorkingFolder() {
  char buffer[PATH_MAX];
  if (!getcwd(buffer, sizeof buffer)) return ".";
  std::string folder(buffer);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// ----------------------------------------------------------------------------
// Whole files
// ----------------------------------------------------------------------------

namespace {

// Bytes the tests let whole-file writes take before the "disk" is full;
// negative: no limit.
std::atomic<int64_t> gWholeFileSpace{-1};

std::string SystemReason(int error) { return std::strerror(error); }

// Takes up to `count` bytes of the test's space; fewer when it runs out.
size_t TakeSpace(size_t count) {
  int64_t space = gWholeFileSpace.load();
  while (space >= 0) {
    int64_t take = std::min<int64_t>(space, int64_t(count));
    if (gWholeFileSpace.compare_exchange_weak(space, space - take)) return size_t(take);
  }
  return count;
}

// The folder part and the last component of a path ("." for none).
void SplitPath(const std::string& path, std::string* folder, std::string* name) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    *folder = ".";
    *name = path;
  } else {
    *folder = slash == 0 ? "/" : path.substr(0, slash);
    *name = path.substr(slash + 1);
  }
}

}  // namespace

void SetWholeFileSpaceForTesting(int64_t bytes) { gWholeFileSpace.store(bytes < 0 ? -1 : bytes); }

WholeFileWriter::~WholeFileWriter() { Abandon(); }

bool WholeFileWriter::Fail(const std::string& what, int error) {
  if (error_.empty()) error_ = what.empty() ? SystemReason(error) : what + ": " + SystemReason(error);
  return false;
}

bool WholeFileWriter::Begin(const char* path) {
  Abandon();
  error_.clear();
  if (!path || !*path) return Fail("", ENOENT);
  std::string target(path);
  struct stat st;
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    // Written in place, a link's file was replaced; so it is here.
    char* real = realpath(target.c_str(), nullptr);
    if (!real) return Fail("", errno);
    target = real;
    std::free(real);
  }
  std::string folder, name;
  SplitPath(target, &folder, &name);
  if (name.empty()) return Fail("", EISDIR);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Fail("", errno);
  return Start(fd, true, name);
}

bool WholeFileWriter::BeginAt(int folderFd, const char* name) {
  Abandon();
  error_.clear();
  if (!name || !*name || std::strchr(name, '/')) return Fail("", EINVAL);
  return Start(folderFd, false, name);
}

bool WholeFileWriter::Start(int folderFd, bool ownsFolder, const std::string& name) {
  folderFd_ = folderFd;
  ownsFolder_ = ownsFolder;
  name_ = name;
  struct stat st;
  // Begin has resolved a link at its path already: a link found here is
  // refused, never written through.
  bool exists = fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    error_ = name + ": a symbolic link, not written through";
    return false;
  }
  if (exists && S_ISDIR(st.st_mode)) return Fail("", EISDIR);
  // A FIFO or a device is no file to replace: opening one to write could
  // block, and renaming over it would destroy it.
  if (exists && !S_ISREG(st.st_mode)) return Fail("not a regular file", EINVAL);
  // A hidden temporary name, so listings of game folders pass it by.
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 100 && fd_ < 0; attempt++) {
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".%d.%u.tmp", int(getpid()), unsigned(counter++));
    temp_ = "." + name.substr(0, 64) + suffix;
    fd_ = openat(folderFd, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    temp_.clear();
    return Fail("", errno);
  }
  // A replaced file keeps its permissions.
  if (exists) fchmod(fd_, st.st_mode & 07777);
  size_ = end_ = 0;
  return true;
}

bool WholeFileWriter::Write(const void* data, size_t count) {
  if (fd_ < 0 || Failed()) return false;
  if (size_ != end_) {
    if (::lseek(fd_, off_t(size_), SEEK_SET) < 0) return Fail("", errno);
    end_ = size_;
  }
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    size_t allowed = TakeSpace(count);
    if (allowed == 0) return Fail("", ENOSPC);
    ssize_t n = ::write(fd_, p, allowed);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Fail("", errno);
    }
    if (n == 0) return Fail("", ENOSPC);
    p += n;
    count -= size_t(n);
    size_ += uint64_t(n);
    end_ = size_;
  }
  return true;
}

bool WholeFileWriter::Skip(uint64_t count) {
  if (fd_ < 0 || Failed()) return false;
  if (count > uint64_t(INT64_MAX) - size_) return Fail("", EFBIG);
  size_ += count;
  return true;
}

bool WholeFileWriter::Commit(bool sync) {
  if (fd_ < 0) {
    if (!Failed()) Fail("", EBADF);
    Abandon();
    return false;
  }
  // A file that ends in a hole gets its length.
  if (!Failed() && end_ != size_ && ftruncate(fd_, off_t(size_)) != 0) Fail("", errno);
  if (!Failed() && sync && fsync(fd_) != 0) Fail("", errno);
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && !Failed()) Fail("", errno);
  if (!Failed() && renameat(folderFd_, temp_.c_str(), folderFd_, name_.c_str()) != 0) Fail("", errno);
  if (Failed()) {
    Abandon();
    return false;
  }
  temp_.clear();
  // The rename itself reaches the disk with the folder.
  if (sync) fsync(folderFd_);
  Abandon();  // closes an owned folder
  return true;
}

void WholeFileWriter::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty() && folderFd_ >= 0) unlinkat(folderFd_, temp_.c_str(), 0);
  temp_.clear();
  if (ownsFolder_ && folderFd_ >= 0) ::close(folderFd_);
  folderFd_ = -1;
  ownsFolder_ = false;
}

bool WriteWholeFile(const char* path, const void* data, size_t count, std::string* error) {
  WholeFileWriter out;
  bool ok = out.Begin(path) && out.Write(data, count) && out.Commit();
  if (error) *error = ok ? std::string() : out.Error();
  return ok;
}

std::string MatchNameAt(int folderFd, std::string_view component) {
  int fd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return {};
  DIR* dir = fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return {};
  }
  return MatchInDir(dir, component);
}

int OpenFolderBeneath(int baseFd, std::string_view relative, bool create, std::string* error) {
  auto fail = [&](const std::string& what, int code) {
    if (error) *error = what + ": " + SystemReason(code);
    return -1;
  };
  int folder = openat(baseFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return fail(".", errno);
  std::string walked;
  size_t pos = 0;
  while (pos < relative.size()) {
    size_t end = relative.find('/', pos);
    if (end == std::string_view::npos) end = relative.size();
    std::string component(relative.substr(pos, end - pos));
    pos = end + 1;
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      ::close(folder);
      return fail(walked + component, EACCES);
    }
    std::string name = MatchNameAt(folder, component);
    if (name.empty()) name = component;
    walked += name + "/";
    struct stat st;
    if (fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (!create || errno != ENOENT || (mkdirat(folder, name.c_str(), 0755) != 0 && errno != EEXIST)) {
        int code = errno;
        ::close(folder);
        return fail(walked, code);
      }
    } else if (S_ISLNK(st.st_mode)) {
      ::close(folder);
      if (error) *error = walked + ": a symbolic link, not entered";
      return -1;
    }
    // O_NOFOLLOW: a link put there since the test is refused, not entered.
    int next = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int code = errno;
    ::close(folder);
    if (next < 0) return fail(walked, code);
    folder = next;
  }
  return folder;
}

}  // namespace platform
