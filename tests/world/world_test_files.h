// world_test_files.h -- small files made in memory for the world's tests.
#pragma once

#include <cstdint>
#include <string>

namespace worldtest {

// A short 8-bit mono WAV file (8 samples of silence at 8000 Hz).
inline std::string TinyWav() {
  std::string b = "RIFF";
  auto put32 = [&b](uint32_t v) { for (int i = 0; i < 4; i++) b += char((v >> (8 * i)) & 0xFF); };
  auto put16 = [&b](uint16_t v) { b += char(v & 0xFF); b += char(v >> 8); };
  put32(36 + 8);
  b += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(1);
  put32(8000);
  put32(8000);
  put16(1);
  put16(8);
  b += "data";
  put32(8);
  b += std::string(8, char(0x80));
  return b;
}

}  // namespace worldtest
