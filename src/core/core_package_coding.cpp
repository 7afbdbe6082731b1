// core_package_coding.cpp -- the byte coding of package entries: the key
// stream, zero-run expansion, entries streamed as plain bytes, and whole
// reads of descriptors.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "core/core_local.h"

namespace core {

void ScrambleBytes(uint8_t* data, size_t count, uint32_t key, uint64_t offset) {
  if (key == 0 || count == 0) return;
  size_t k = 0;
  uint64_t at = offset;
  // Bytes before the next word boundary take their part of that word's mask.
  while (k < count && (at & 3)) {
    uint32_t mask = key * uint32_t(at / 4 + 1);
    data[k++] ^= uint8_t(mask >> (8 * (at & 3)));
    at++;
  }
  uint32_t mask = key * uint32_t(at / 4 + 1);
  // Two words at a time: the masks of words j and j + 1 side by side in
  // little-endian order, as they lie in the data.
  if (k + 8 <= count) {
    uint32_t key2 = key * 2;
    uint32_t m0 = mask, m1 = mask + key;
    for (; k + 8 <= count; k += 8) {
      uint64_t w;
      std::memcpy(&w, data + k, 8);
      uint64_t pair;
      if constexpr (std::endian::native == std::endian::little) {
        pair = uint64_t(m0) | (uint64_t(m1) << 32);
      } else {
        pair = (uint64_t(__builtin_bswap32(m0)) << 32) | uint64_t(__builtin_bswap32(m1));
      }
      w ^= pair;
      std::memcpy(data + k, &w, 8);
      m0 += key2;
      m1 += key2;
    }
    mask = m0;
  }
  for (; k + 4 <= count; k += 4) {
    StoreLe32(data + k, LoadLe32(data + k) ^ mask);
    mask += key;
  }
  for (unsigned b = 0; k < count; k++, b++) data[k] ^= uint8_t(mask >> (8 * b));
}

bool ZeroRunExpander::Feed(uint32_t word) {
  if (overrun || sinkFailed) return false;
  if (countPending) {
    // The output is zero-filled already: a run only moves on.
    countPending = false;
    uint64_t bytes = uint64_t(word) * 4;
    if (bytes > capacity - written) {
      overrun = true;
      return false;
    }
    written += bytes;
    if (sink && bytes > 0 && !(Flush() && sink->Zeros(bytes))) {
      sinkFailed = true;
      return false;
    }
    return true;
  }
  if (word == 0) {
    countPending = true;
    return true;
  }
  if (capacity - written < 4) {
    overrun = true;
    return false;
  }
  if (sink) {
    if (pending_.empty()) pending_.resize(kPendingBytes);
    if (pendingBytes_ + 4 > pending_.size() && !Flush()) return false;
    StoreLe32(pending_.data() + pendingBytes_, word);
    pendingBytes_ += 4;
  } else if (out) {
    StoreLe32(out + written, word);
  }
  written += 4;
  return true;
}

bool ZeroRunExpander::Flush() {
  if (sinkFailed) return false;
  if (sink && pendingBytes_ > 0 && !sink->Bytes(pending_.data(), pendingBytes_)) sinkFailed = true;
  pendingBytes_ = 0;
  return !sinkFailed;
}

bool ExpandStoredData(int fd, int64_t offset, int64_t storedSize, uint32_t key, ZeroRunExpander* x) {
  constexpr size_t kChunk = 64 * 1024;  // a multiple of 4: words never straddle chunks
  std::vector<uint8_t> chunk(kChunk + 4);
  int64_t done = 0;
  while (done < storedSize) {
    size_t n = size_t(std::min<int64_t>(int64_t(kChunk), storedSize - done));
    if (ReadAt(fd, chunk.data(), n, offset + done) != int64_t(n)) return false;
    ScrambleBytes(chunk.data(), n, key, uint64_t(done));
    // Complete the last word with zero bytes, as the writer padded it
    // before scrambling (those bytes were never stored).
    size_t words = (n + 3) / 4;
    std::memset(chunk.data() + n, 0, words * 4 - n);
    for (size_t w = 0; w < words; w++)
      if (!x->Feed(LoadLe32(chunk.data() + w * 4))) return false;
    done += int64_t(n);
  }
  return x->Flush() && x->Complete();
}

namespace {

// Passes on exactly `limit` bytes: the words of a coded entry may reach up
// to 3 bytes past its size, and a stream that ends early is completed with
// zeros, as the zero-filled cache completed it.
class ClampedSink : public PlainSink {
 public:
  ClampedSink(PlainSink* to, uint64_t limit) : to_(to), left_(limit) {}
  bool Bytes(const uint8_t* data, size_t count) override {
    size_t n = size_t(std::min<uint64_t>(count, left_));
    left_ -= n;
    return n == 0 || to_->Bytes(data, n);
  }
  bool Zeros(uint64_t count) override {
    uint64_t n = std::min(count, left_);
    left_ -= n;
    return n == 0 || to_->Zeros(n);
  }
  bool Finish() { return Zeros(left_); }

 private:
  PlainSink* to_;
  uint64_t left_;
};

}  // namespace

bool StreamEntryData(const PackageEntry& e, PlainSink* sink) {
  if (e.packageFile < 0 || e.size < 0) return false;
  ClampedSink clamped(sink, uint64_t(e.size));
  if (e.flags & kEntryZeroRunCoded) {
    ZeroRunExpander x;
    x.sink = &clamped;
    x.capacity = (uint64_t(e.size) + 3) & ~uint64_t(3);
    return ExpandStoredData(e.packageFile, e.dataOffset, e.storedSize, e.key, &x) && clamped.Finish();
  }
  constexpr size_t kChunk = 256 * 1024;
  std::vector<uint8_t> chunk(kChunk);
  int64_t done = 0;
  while (done < e.size) {
    size_t n = size_t(std::min<int64_t>(int64_t(kChunk), e.size - done));
    if (ReadAt(e.packageFile, chunk.data(), n, int64_t(e.dataOffset) + done) != int64_t(n)) return false;
    ScrambleBytes(chunk.data(), n, e.key, uint64_t(done));
    if (!clamped.Bytes(chunk.data(), n)) return false;
    done += int64_t(n);
  }
  return true;
}

bool BufferSink::Bytes(const uint8_t* data, size_t count) {
  if (count > capacity_ - at_) return false;
  std::memcpy(out_ + at_, data, count);
  at_ += count;
  return true;
}

bool BufferSink::Zeros(uint64_t count) {
  if (count > capacity_ - at_) return false;
  std::memset(out_ + at_, 0, size_t(count));
  at_ += count;
  return true;
}

int64_t ReadAt(int fd, void* buffer, size_t count, int64_t offset) {
  size_t total = 0;
  while (total < count) {
    ssize_t n = ::pread(fd, static_cast<char*>(buffer) + total, count - total, off_t(offset + int64_t(total)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    total += size_t(n);
  }
  return int64_t(total);
}

}  // namespace core
