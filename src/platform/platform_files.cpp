// platform_files.cpp -- path tests, folder listings and case-insensitive
// name resolution for game data written for Windows.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

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

// Finds the entry of `folder` that names `component`: the exact spelling
// first, then without regard to case. Empty when nothing matches.
std::string MatchInFolder(const std::string& folder, std::string_view component) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
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

}  // namespace platform
