// package_fixture.h -- an independent ".pac" writer for the file layer's
// tests: packages built byte by byte, without the code under test.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pactest {

struct Entry {
  std::string name;    // stored name, written as given
  std::string data;    // plain bytes
  uint32_t key = 0;    // scrambling key
  bool coded = false;  // store zero-run coded
  std::string stored;  // when not empty: the coded bytes as given, scrambled on writing

  Entry(std::string n, std::string d, uint32_t k = 0, bool c = false, std::string s = {})
      : name(std::move(n)), data(std::move(d)), key(k), coded(c), stored(std::move(s)) {}
};

inline void PutLe32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; i++) out->push_back(char((v >> (8 * i)) & 0xFF));
}

inline uint32_t GetLe32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= uint32_t(uint8_t(s[at + size_t(i)])) << (8 * i);
  return v;
}

// Word j XOR key x (j + 1), the last word completed with zero bytes.
inline std::string Scramble(std::string bytes, uint32_t key) {
  size_t n = bytes.size();
  bytes.resize((n + 3) / 4 * 4, '\0');
  for (size_t j = 0; j < bytes.size() / 4; j++) {
    uint32_t w = GetLe32(bytes, j * 4) ^ (key * uint32_t(j + 1));
    for (int b = 0; b < 4; b++) bytes[j * 4 + size_t(b)] = char((w >> (8 * b)) & 0xFF);
  }
  bytes.resize(n);
  return bytes;
}

// Zero-run coding of the data, padded to whole words.
inline std::string ZeroRunCode(std::string plain) {
  plain.resize((plain.size() + 3) / 4 * 4, '\0');
  std::string out;
  size_t words = plain.size() / 4;
  for (size_t j = 0; j < words;) {
    uint32_t w = GetLe32(plain, j * 4);
    if (w != 0) {
      PutLe32(&out, w);
      j++;
      continue;
    }
    uint32_t run = 0;
    while (j < words && GetLe32(plain, j * 4) == 0) {
      run++;
      j++;
    }
    PutLe32(&out, 0);
    PutLe32(&out, run);
  }
  return out;
}

inline std::string StoredBytes(const Entry& e) {
  if (!e.stored.empty()) return Scramble(e.stored, e.key);
  return Scramble(e.coded ? ZeroRunCode(e.data) : e.data, e.key);
}

// Where field `field` of record `index` lies: 0 name length, 1 flags,
// 2 key, 3 data offset, 4 size, 5 stored size.
inline size_t FieldOffset(const std::vector<Entry>& entries, size_t index, int field) {
  size_t at = 4;
  for (size_t i = 0; i < index; i++) at += entries[i].name.size() + 1 + 24;
  if (field == 0) return at;
  return at + 4 + entries[index].name.size() + 1 + size_t(field - 1) * 4;
}

inline std::string BuildPackage(const std::vector<Entry>& entries) {
  std::string out;
  PutLe32(&out, uint32_t(entries.size()));
  uint32_t offset = 4;
  for (const Entry& e : entries) offset += uint32_t(e.name.size() + 1 + 24);
  std::string data;
  for (const Entry& e : entries) {
    std::string stored = StoredBytes(e);
    PutLe32(&out, uint32_t(e.name.size() + 1));
    out += e.name;
    out.push_back('\0');
    PutLe32(&out, e.coded ? 1 : 0);
    PutLe32(&out, e.key);
    PutLe32(&out, offset);
    PutLe32(&out, uint32_t(e.data.size()));
    PutLe32(&out, uint32_t(stored.size()));
    offset += uint32_t(stored.size());
    data += stored;
  }
  return out + data;
}

inline void Patch(std::string* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; i++) (*bytes)[at + size_t(i)] = char((value >> (8 * i)) & 0xFF);
}

// Bytes that are not all alike, so that misplaced reads show.
inline std::string Pattern(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; i++) {
    x = x * 1103515245u + 12345u;
    s[i] = char(x >> 24);
  }
  return s;
}

}  // namespace pactest
