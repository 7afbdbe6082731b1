// world_test_files.h -- small files made in memory for the world's tests.
#pragma once

#include <cstdint>
#include <string>

#include "core/core_public.h"
#include "sound/sound_public.h"
#include "world/world_environment.h"

namespace worldtest {

// A short 8-bit mono WAV file of silence at 8000 Hz (8 samples unless told).
inline std::string TinyWav(uint32_t samples = 8) {
  std::string b = "RIFF";
  auto put32 = [&b](uint32_t v) { for (int i = 0; i < 4; i++) b += char((v >> (8 * i)) & 0xFF); };
  auto put16 = [&b](uint16_t v) { b += char(v & 0xFF); b += char(v >> 8); };
  put32(36 + samples);
  b += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(1);
  put32(8000);
  put32(8000);
  put16(1);
  put16(8);
  b += "data";
  put32(samples);
  b += std::string(samples, char(0x80));
  return b;
}

// A started sound system on the dummy device, reading files through its own
// (empty) package table, logging to `log`.
struct TestSound {
  core::FilePackageTable packages;
  sound::SoundSystem sound;
  explicit TestSound(core::LogSystem* log) {
    packages.log = log;
    sound.log = log;
    sound.packages = &packages;
  }
  int Start() { return sound.InitDirectSound(nullptr); }
};

// Sizes for the effect textures, as loaded images would give them, so the
// effect creators take their surfaces without a started renderer.
inline void SizeEffectTextures(world::EffectTextures& t) {
  auto size = [](render::TextureHolder& h, int w, int hgt) { h.width = w, h.height = hgt; };
  for (render::TextureHolder* h : {&t.smoke, &t.fire1, &t.fire2, &t.fire3, &t.sonic, &t.cloudSheet}) size(*h, 64, 64);
  for (render::TextureHolder& h : t.hit) size(h, 64, 64);
  size(t.cloud[0], 256, 256);
  size(t.cloud[1], 128, 128);
  size(t.electric, 512, 128);
  size(t.lightning, 256, 64);
  size(t.splash, 256, 128);
}

}  // namespace worldtest
