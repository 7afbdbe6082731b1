// core_package_names.cpp -- the file layer's names: normalisation, the one
// ordering of entry names, and the names' way to and from the disk.

#include <algorithm>
#include <vector>

#include "core/core_local.h"

namespace core {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

unsigned char FoldLower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

// A path rooted on this system: a drive ("C:") or a leading separator (a
// full path here begins with "/").
bool IsRooted(const std::string& path) {
  if (!path.empty() && IsSeparator(path[0])) return true;
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// Whether `path` lies under `base` (case and separator kind aside); then
// `*rest` gets what follows the base and its one separator.
bool CutBaseFolder(const std::string& path, std::string base, std::string* rest) {
  while (base.size() > 1 && IsSeparator(base.back())) base.pop_back();
  if (path.size() < base.size()) return false;
  for (size_t i = 0; i < base.size(); i++) {
    char a = path[i], b = base[i];
    if (IsSeparator(a) && IsSeparator(b)) continue;
    if (FoldLower(uint8_t(a)) != FoldLower(uint8_t(b))) return false;
  }
  size_t at = base.size();
  if (at == path.size()) {
    rest->clear();
    return true;
  }
  // The base must end at a folder boundary: "/a/bc" does not lie under "/a/b".
  if (!IsSeparator(path[at]) && !(base.size() == 1 && IsSeparator(base[0]))) return false;
  if (IsSeparator(path[at]) && !(base.size() == 1 && IsSeparator(base[0]))) at++;
  *rest = path.substr(at);
  return true;
}

// Positions where each character of `s` starts (a two-byte character is one).
std::vector<size_t> CharacterStarts(const std::string& s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < s.size(); i++) {
    starts.push_back(i);
    if (IsNameLeadByte(uint8_t(s[i])) && i + 1 < s.size()) i++;
  }
  return starts;
}

// Resolves "." and ".." segments after the leading run of "." and "\".
void ResolveSegments(std::string* name) {
  std::string& s = *name;
restart:
  std::vector<size_t> starts = CharacterStarts(s);
  size_t c = 0;  // index into starts
  while (c < starts.size() && (s[starts[c]] == '.' || s[starts[c]] == '\\')) c++;
  for (; c < starts.size(); c++) {
    size_t at = starts[c];
    if (s.compare(at, 2, ".\\") == 0) {
      s.erase(at, 2);
      goto restart;  // positions moved; the leading run cannot have grown
    }
    if (s.compare(at, 3, "..\\") == 0) {
      // Back to the "\" before the previous segment, never into a
      // two-byte character.
      size_t from = 0;
      for (size_t k = 0; k < c; k++) {
        size_t p = starts[k];
        if (s[p] == '\\' && p + 1 < at) from = p + 1;
      }
      s.erase(from, at + 3 - from);
      goto restart;
    }
  }
}

// A disk name's bytes are UTF-8 when they decode as such.
bool IsUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = uint8_t(s[i]);
    size_t extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : 9;
    if (extra == 9 || (extra && c < 0xC2) || (extra && i + extra >= s.size())) return false;
    for (size_t k = 1; k <= extra; k++)
      if ((uint8_t(s[i + k]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace

char* NormalizePath(char* out, const char* baseFolder, const char* path) {
  if (!out || !path) return nullptr;
  std::string text(path);
  if (text.size() >= size_t(kMaxPathLength)) return nullptr;
  if (IsRooted(text)) {
    std::string base = baseFolder ? std::string(baseFolder) : platform::WorkingFolder();
    std::string rest;
    if (!CutBaseFolder(text, base, &rest)) return nullptr;
    text = rest;
  }
  for (size_t i = 0; i < text.size(); i++) {
    unsigned char c = uint8_t(text[i]);
    if (IsNameLeadByte(c)) {
      i++;  // the second byte stays as it is
      continue;
    }
    if (c == '/') text[i] = '\\';
    else text[i] = char(FoldLower(c));
  }
  ResolveSegments(&text);
  std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

// How names compare: letters in lower case, and "/" as "\" (a package from
// another writer may separate its folders with "/"; normalised names never do).
namespace {
unsigned char FoldForCompare(unsigned char c) { return c == '/' ? '\\' : FoldLower(c); }
}  // namespace

int ComparePackageNames(const char* a, const char* b) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
  bool second = false;  // at the second byte of a two-byte character
  for (;; p++, q++) {
    unsigned char ca = second ? *p : FoldForCompare(*p);
    unsigned char cb = second ? *q : FoldForCompare(*q);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!ca) return 0;
    // Equal after folding and not a letter: the same byte in both names, so
    // both names are at the same place of the same character.
    second = !second && IsNameLeadByte(*p);
  }
}

std::string FoldPackageName(const char* name) {
  std::string s(name ? name : "");
  for (size_t i = 0; i < s.size(); i++) {
    if (IsNameLeadByte(uint8_t(s[i]))) {
      i++;
      continue;
    }
    s[i] = char(FoldForCompare(uint8_t(s[i])));
  }
  return s;
}

std::string NameFolderPart(const char* name) {
  std::string s(name ? name : "");
  size_t cut = 0;
  for (size_t i = 0; i < s.size(); i++) {
    if (IsNameLeadByte(uint8_t(s[i]))) {
      i++;
      continue;
    }
    if (s[i] == '\\') cut = i + 1;
  }
  return s.substr(0, cut);
}

std::string NameFilePart(const char* name) {
  std::string s(name ? name : "");
  return s.substr(NameFolderPart(name).size());
}

std::string SafeExtractPath(const char* name) {
  if (!name || !*name) return {};
  // Checked on the converted form: that is what the disk will see, and a
  // byte that is not a valid second byte becomes a separator there.
  std::string path = platform::Cp932ToUtf8(name);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty() || path[0] == '/') return {};
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0) return {};
    start = end + 1;
  }
  return path;
}

std::string DiskNameToEngine(const std::string& diskName) {
  bool high = std::any_of(diskName.begin(), diskName.end(), [](char c) { return uint8_t(c) >= 0x80; });
  if (!high || !IsUtf8(diskName)) return diskName;
  std::string sjis = platform::Utf8ToCp932(diskName);
  if (platform::Cp932ToUtf8(sjis) != diskName) return diskName;  // not representable
  return sjis;
}

}  // namespace core
