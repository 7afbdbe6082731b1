// render_local.h -- internals shared by the renderer's files.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/app_public.h"
#include "core/core_public.h"
#include "render/render_public.h"

namespace render {

// Writes one log line when a log is wired (tests may run without one).
void Logf(app::LogSystem* log, int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

// ----------------------------------------------------------------------------
// render_image.cpp
// ----------------------------------------------------------------------------

// A decoded image: 0xAARRGGBB pixels, top row first.
struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

enum class SniffResult { Known, Unknown, Bad };

// The size an image file's header announces: BMP, JPEG (walking its
// segments to the first baseline or progressive frame), DDS and PNG. Every
// read is bounded by `size`. Unknown data gives -1 x -1 with Unknown; a
// JPEG whose segments break off or do not chain gives Bad.
SniffResult SniffImageSize(const uint8_t* bytes, size_t size, int* width, int* height);

// Decodes PNG, JPEG, BMP, TGA (stb_image) and DDS (uncompressed 32/24/16-bit
// and DXT1/3/5, top level). False with a reason for anything else.
bool DecodeImage(const uint8_t* bytes, size_t size, Image* out, std::string* error);

// Pixels equal to `key` (all four channels) become transparent black.
void ApplyColourKey(Image* image, uint32_t key);
// Box-filtered resize to exactly w x h (w, h >= 1).
Image ResizeImage(const Image& image, int w, int h);
// The next smaller level of a mip chain (box filter, sizes halve down to 1).
Image HalveImage(const Image& image);

// Converts a level of heights into a normal map in place: 32-bit pixels
// (`pixels32`) or A1R5G5B5 pixels (`pixels16`), whichever is not null.
void HeightsToNormals32(uint32_t* pixels, int w, int h);
void HeightsToNormals16(uint16_t* pixels, int w, int h);

// 0xAARRGGBB to A1R5G5B5.
uint16_t ToA1R5G5B5(uint32_t argb);

// The 24-bit BMP file of `bgr` rows (top row first, width x 3 bytes each).
std::string EncodeBmp24(const uint8_t* bgr, int width, int height);
// An uncompressed 32-bit DDS of 0xAARRGGBB pixels.
std::string EncodeDds32(const uint32_t* pixels, int width, int height);
// A JPEG of `bgr` rows; empty on failure.
std::string EncodeJpeg(const uint8_t* bgr, int width, int height);

// ----------------------------------------------------------------------------
// render_text.cpp
// ----------------------------------------------------------------------------

// Where a line of `text` that is too wide for `limit` pixels breaks, with
// the kinsoku and word rules applied; -1 when not even one character fits.
// `measure(n)` gives the advance of the first n bytes. `quoteOpen` carries
// the alternation of double quotes from line to line.
int FindLineBreak(const char* text, int length, float limit, const std::function<float(int)>& measure,
                  bool* quoteOpen);

// The file that serves a Windows face name ("ＭＳ ゴシック", "Arial", ...):
// Japanese faces map to the installed CJK fonts, Latin faces to Liberation,
// anything else to the Gothic face.
std::string FontFileForFace(const char* face);

}  // namespace render
