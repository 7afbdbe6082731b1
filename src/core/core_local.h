// core_local.h -- internals shared by the core's files (the file layer's
// name rules, byte coding and file access).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/core_public.h"

namespace core {

// ----------------------------------------------------------------------------
// core_package_names.cpp
// ----------------------------------------------------------------------------

// First byte of a two-byte Shift-JIS character as the file layer's name
// scans see it (0x80..0x9F, 0xE0..0xFE); the byte after it is left alone.
inline bool IsNameLeadByte(unsigned char c) { return (c >= 0x80 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFE); }

// The one ordering of entry names, used both to sort and to search: bytes
// compared unsigned with ASCII letters folded to lower case and "/" taken as
// "\", except the second byte of a two-byte character. <0, 0, >0.
int ComparePackageNames(const char* a, const char* b);
// The name with the letters folded as ComparePackageNames folds them: two
// names compare equal exactly when their folded forms are equal.
std::string FoldPackageName(const char* name);

// The part of a normalised name up to and including its last "\" (the
// folder), "" when it has none.
std::string NameFolderPart(const char* name);
// The part after the last "\".
std::string NameFilePart(const char* name);

// The disk path, relative to the folder it is extracted into, of an entry
// name: converted to UTF-8, "\" turned into "/". Empty when the name would
// leave that folder (rooted, or a ".." segment once converted).
std::string SafeExtractPath(const char* name);

// A disk file name as the engine names it: UTF-8 names (as this disk stores
// them) turned into Shift-JIS when that is lossless; others unchanged.
std::string DiskNameToEngine(const std::string& diskName);

// ----------------------------------------------------------------------------
// core_package_coding.cpp
// ----------------------------------------------------------------------------

inline uint32_t LoadLe32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline void StoreLe32(uint8_t* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

// XORs `count` bytes that lie at `offset` in an entry's stored data with
// the entry's key stream (word j with key x (j + 1)). Its own inverse.
void ScrambleBytes(uint8_t* data, size_t count, uint32_t key, uint64_t offset);

// Takes an entry's plain bytes in order, as a stream: pieces of bytes, and
// runs of zero bytes that the zero-run coding stored as counts. So an entry
// goes to a file or a buffer through a bounded piece of memory, however
// large it declares itself.
class PlainSink {
 public:
  virtual ~PlainSink() = default;
  // False stops the stream.
  virtual bool Bytes(const uint8_t* data, size_t count) = 0;
  virtual bool Zeros(uint64_t count) = 0;
};

// Expands zero-run coded words, fed one at a time in order, into a
// zero-filled output of `capacity` bytes (null output: only measure), or
// into a sink. A word that would write past the capacity stops it (overrun).
struct ZeroRunExpander {
  uint8_t* out = nullptr;     // zero-filled beforehand; null: count only
  PlainSink* sink = nullptr;  // when given: the bytes go here instead
  uint64_t capacity = 0;      // bytes the output may hold
  uint64_t written = 0;       // bytes produced so far
  bool countPending = false;  // a zero word was read; its count comes next
  bool overrun = false;
  bool sinkFailed = false;    // the sink refused a piece

  // False once the stream has overrun or the sink refused.
  bool Feed(uint32_t word);
  // Hands the sink what is still held back; false when it refuses.
  bool Flush();
  // True when the stream ended cleanly (no count missing, no overrun).
  bool Complete() const { return !countPending && !overrun && !sinkFailed; }

 private:
  static constexpr size_t kPendingBytes = 64 * 1024;
  std::vector<uint8_t> pending_;  // non-zero words on their way to the sink
  size_t pendingBytes_ = 0;
};

// Streams the plain data of a mounted package entry (unscrambled, expanded)
// to the sink, exactly `e.size` bytes, through a bounded buffer, without
// touching the entry's cache. False when the package cannot be read that
// far, the coded data is damaged, or the sink refuses.
bool StreamEntryData(const PackageEntry& e, PlainSink* sink);

// A sink that fills a caller's buffer of the entry's size.
class BufferSink : public PlainSink {
 public:
  explicit BufferSink(uint8_t* out, uint64_t capacity) : out_(out), capacity_(capacity) {}
  bool Bytes(const uint8_t* data, size_t count) override;
  bool Zeros(uint64_t count) override;
  uint64_t Filled() const { return at_; }

 private:
  uint8_t* out_;
  uint64_t capacity_;
  uint64_t at_ = 0;
};

// Reads an entry's stored data from a package file, unscrambles it and
// feeds it to the expander in 32-bit words, the last one completed with
// zero bytes. False when the file cannot be read that far or the stream
// overruns or ends inside a run.
bool ExpandStoredData(int fd, int64_t offset, int64_t storedSize, uint32_t key, ZeroRunExpander* x);

// pread that carries on after short reads and interruptions. Returns the
// bytes read (fewer at the end of the file), -1 on an error.
int64_t ReadAt(int fd, void* buffer, size_t count, int64_t offset);

}  // namespace core
