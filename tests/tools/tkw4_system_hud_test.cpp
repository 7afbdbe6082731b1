// tkw4_system_hud_test.cpp -- the flight HUD's images and the window skins
// of the system package (made by tkw4-make-system-content): each opens from
// the package the build made by the name the engine asks for, decodes, has
// a size that holds every texel rectangle cut from it, and shows a picture
// in each of those rectangles.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/core_public.h"
#include "render/render_local.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

int Alpha(const render::Image& image, int x, int y) { return int(image.pixels[size_t(y) * size_t(image.width) + size_t(x)] >> 24); }

// The most opaque texel of a rectangle (left, top, right, bottom).
int MaxAlpha(const render::Image& image, int x0, int y0, int x1, int y1) {
  int best = 0;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) best = std::max(best, Alpha(image, x, y));
  return best;
}

// The texels of a rectangle, for telling pictures apart.
std::vector<uint32_t> Cut(const render::Image& image, int x0, int y0, int x1, int y1) {
  std::vector<uint32_t> out;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) out.push_back(image.pixels[size_t(y) * size_t(image.width) + size_t(x)]);
  return out;
}

bool IsPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

// Mounts the package the build made (build/run/ZadAzorad.pac) in a fresh
// work folder, so its entries are found by the engine's names.
class SystemHud : public ::testing::Test {
 protected:
  test::ScopedWorkFolder folder;
  core::FilePackageTable packages;

  void SetUp() override {
    fs::path package = fs::path(test::BuildFolder()) / "run" / "ZadAzorad.pac";
    ASSERT_TRUE(fs::exists(package)) << package;
    fs::create_symlink(package, "ZadAzorad.pac");
    ASSERT_GE(packages.LoadFilePackage("ZadAzorad.pac"), 0) << packages.lastError;
  }

  // Reads and decodes one entry; false (with a test failure) when it is
  // missing or does not decode.
  bool Load(const std::string& name, render::Image* image) {
    core::FileHandle h = packages.OpenReadFile(name.c_str());
    if (h == core::kNoFile || core::IsRealFileHandle(h)) {
      ADD_FAILURE() << name << " is not in the package";
      return false;
    }
    std::string bytes(size_t(packages.GetFileSizeOf(h)), '\0');
    int32_t read = 0;
    packages.ReadFileData(h, bytes.data(), 0, int32_t(bytes.size()), &read);
    std::string error;
    if (read != int32_t(bytes.size()) ||
        !render::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), image, &error)) {
      ADD_FAILURE() << name << " does not decode: " << error;
      return false;
    }
    return true;
  }
};

// Every image the HUD loads, by the name it loads it with (the folder's case
// varies among them; the package finds names without case).
struct HudFile {
  const char* name;
  int width, height;
};
const HudFile kHudFiles[] = {
    {"ZadAzorad\\Hud\\hud_level.png", 1024, 256},       {"ZadAzorad\\Hud\\arrow.png", 64, 64},
    {"ZadAzorad\\Hud\\hud_speedbar.png", 32, 1024},     {"ZadAzorad\\Hud\\hud_cnt.png", 256, 128},
    {"ZadAzorad\\Hud\\hud_gun.png", 256, 128},          {"ZadAzorad\\Hud\\hud_bomb.png", 128, 128},
    {"ZadAzorad\\hud\\hud_radar_plate.png", 512, 512},  {"ZadAzorad\\hud\\hud_compass_plate.png", 256, 256},
    {"ZadAzorad\\hud\\hud_compass.png", 256, 256},      {"ZadAzorad\\Hud\\hud_weapon_plate.png", 256, 128},
    {"ZadAzorad\\Hud\\hud_weapon_slot.png", 512, 128},  {"ZadAzorad\\hud\\hud_gunheat_plate.png", 256, 32},
    {"ZadAzorad\\hud\\hud_gunheat.png", 256, 32},       {"ZadAzorad\\hud\\hud_damage_plate.png", 256, 128},
    {"ZadAzorad\\Hud\\hud_damage.png", 256, 128},       {"ZadAzorad\\Hud\\hud_msg_plate.png", 256, 64},
    {"ZadAzorad\\Hud\\hud_msg.png", 256, 1024},         {"ZadAzorad\\Hud\\hud_map_plate.png", 512, 512},
    {"ZadAzorad\\Hud\\timer.png", 512, 64},
};

// The rectangles the HUD cuts (left, top, right, bottom), each of which
// must show something.
struct HudRect {
  const char* file;
  int x0, y0, x1, y1;
};
const HudRect kHudRects[] = {
    {"hud_level", 640, 0, 704, 64},     // boresight
    {"hud_level", 704, 0, 768, 64},     // flight-path mark
    {"hud_level", 832, 0, 1024, 64},    // speed box
    {"hud_level", 832, 64, 1024, 128},  // altitude box
    {"hud_level", 0, 64, 640, 128},     // horizon bar
    {"hud_level", 0, 128, 640, 192},    // climb bars
    {"hud_level", 0, 192, 640, 256},    // dive bars
    {"hud_level", 768, 128, 1024, 192}, // tape pointer
    {"hud_speedbar", 0, 400, 32, 880},  // the tape at speed 0
    {"hud_speedbar", 0, 1, 32, 481},    // the tape at its highest offset
    {"hud_cnt", 128, 64, 192, 128},     // pipper
    {"hud_cnt", 0, 64, 64, 128},        // marker box
    {"hud_cnt", 64, 64, 128, 128},      // locked box
    {"hud_cnt", 192, 64, 256, 96},      // foe tag
    {"hud_cnt", 192, 96, 256, 128},     // friend tag
    {"hud_gun", 0, 0, 128, 128},        // sight ring
    {"hud_gun", 192, 0, 224, 64},       // funnel tick
    {"hud_bomb", 0, 0, 128, 128},       // bomb sight
    {"hud_radar_plate", 0, 0, 256, 256},
    {"hud_radar_plate", 256, 0, 512, 256},
    {"hud_radar_plate", 0, 256, 256, 512},
    {"hud_radar_plate", 256, 256, 512, 512},
    {"hud_weapon_slot", 0, 64, 128, 96},    // slot 0 name
    {"hud_weapon_slot", 128, 64, 256, 96},  // slot 1
    {"hud_weapon_slot", 0, 96, 128, 128},   // slot 2
    {"hud_weapon_slot", 128, 96, 256, 128}, // slot 3
    {"hud_gunheat_plate", 0, 0, 256, 31},
    {"hud_gunheat", 0, 0, 256, 31},
    {"hud_gunheat", 240, 0, 256, 32},    // the first of the bar to show
    {"hud_damage", 0, 0, 192, 32},       // damage frame
    {"hud_damage", 0, 64, 256, 128},     // damage bar
    {"hud_damage", 250, 64, 256, 128},   // the last one per cent of it
    {"hud_msg_plate", 0, 0, 256, 64},
};

TEST_F(SystemHud, EveryHudImageDecodesAtItsSizeWithAlpha) {
  for (const HudFile& f : kHudFiles) {
    render::Image image;
    if (!Load(f.name, &image)) continue;
    EXPECT_EQ(image.width, f.width) << f.name;
    EXPECT_EQ(image.height, f.height) << f.name;
    EXPECT_TRUE(IsPowerOfTwo(image.width) && IsPowerOfTwo(image.height)) << f.name;
    // Art on a see-through ground: something opaque, something clear.
    EXPECT_GE(MaxAlpha(image, 0, 0, image.width, image.height), 200) << f.name;
    int clear = 0;
    for (uint32_t pixel : image.pixels) clear += (pixel >> 24) == 0;
    EXPECT_GT(clear, 0) << f.name;
  }
}

TEST_F(SystemHud, EveryRectangleTheHudCutsShowsAPicture) {
  for (const HudRect& r : kHudRects) {
    render::Image image;
    if (!Load(std::string("ZadAzorad\\Hud\\") + r.file + ".png", &image)) continue;
    ASSERT_LE(r.x1, image.width) << r.file;
    ASSERT_LE(r.y1, image.height) << r.file;
    EXPECT_GE(MaxAlpha(image, r.x0, r.y0, r.x1, r.y1), 200)
        << r.file << " (" << r.x0 << "," << r.y0 << ")-(" << r.x1 << "," << r.y1 << ")";
  }
}

// The number sprites step through "0123456789.:-/=" one cell width at a
// time from their first cell: fifteen distinct glyphs, each inside its own
// cell (the columns between cells are clear).
TEST_F(SystemHud, DigitStripsHoldFifteenGlyphsInTheirCells) {
  struct Strip {
    const char* name;
    int x0, y0, cw, ch;
  } strips[] = {
      {"ZadAzorad\\Hud\\hud_level.png", 0, 0, 32, 64},        // ladder labels, speed, altitude
      {"ZadAzorad\\Hud\\hud_cnt.png", 0, 0, 16, 32},          // marker distance
      {"ZadAzorad\\Hud\\hud_weapon_slot.png", 0, 0, 20, 40},  // ammunition
      {"ZadAzorad\\Hud\\hud_damage.png", 0, 32, 16, 32},      // damage per cent
      {"ZadAzorad\\Hud\\timer.png", 0, 0, 32, 64},            // mission clock
  };
  for (const Strip& s : strips) {
    render::Image image;
    if (!Load(s.name, &image)) continue;
    ASSERT_LE(s.x0 + 15 * s.cw, image.width) << s.name;
    std::set<std::vector<uint32_t>> glyphs;
    for (int k = 0; k < 15; k++) {
      int x = s.x0 + k * s.cw;
      EXPECT_GE(MaxAlpha(image, x, s.y0, x + s.cw, s.y0 + s.ch), 200) << s.name << " glyph " << k;
      EXPECT_EQ(MaxAlpha(image, x, s.y0, x + 1, s.y0 + s.ch), 0) << s.name << " glyph " << k << " left column";
      EXPECT_EQ(MaxAlpha(image, x + s.cw - 1, s.y0, x + s.cw, s.y0 + s.ch), 0) << s.name << " glyph " << k;
      glyphs.insert(Cut(image, x, s.y0, x + s.cw, s.y0 + s.ch));
    }
    EXPECT_EQ(glyphs.size(), 15u) << s.name;
  }
}

TEST_F(SystemHud, MessageRowsZeroToEightAreNineDifferentMessages) {
  render::Image image;
  ASSERT_TRUE(Load("ZadAzorad\\Hud\\hud_msg.png", &image));
  std::set<std::vector<uint32_t>> rows;
  for (int row = 0; row < 9; row++) {
    EXPECT_GE(MaxAlpha(image, 0, 64 * row, 256, 64 * row + 64), 200) << "row " << row;
    // Nothing runs into the neighbouring rows.
    EXPECT_EQ(MaxAlpha(image, 0, 64 * row, 256, 64 * row + 1), 0) << "row " << row;
    rows.insert(Cut(image, 0, 64 * row, 256, 64 * row + 64));
  }
  EXPECT_EQ(rows.size(), 9u);
}

// The HUD wraps the tape offset by 160 texels past 240, so the tape must
// repeat every 160 rows wherever a wrapped rectangle can reach (rows 0 to
// 640), and the jump from offset 399 to 240 must not show.
TEST_F(SystemHud, TheTapeRepeatsEveryHundredSixtyRows) {
  render::Image image;
  ASSERT_TRUE(Load("ZadAzorad\\Hud\\hud_speedbar.png", &image));
  for (int y = 0; y < 480; y++) ASSERT_EQ(Cut(image, 0, y, 32, y + 1), Cut(image, 0, y + 160, 32, y + 161)) << "row " << y;
  // Below the zero mark (row 640, the middle of the tape at speed 0) the
  // tape is empty.
  EXPECT_GE(MaxAlpha(image, 0, 638, 32, 642), 200);
  EXPECT_EQ(MaxAlpha(image, 0, 643, 32, 1024), 0);
}

// The lead line and the bomb fall line stretch one texel; it and its
// neighbours (which filtering reaches) are opaque white.
TEST_F(SystemHud, LineTexelsAreSolidWhite) {
  struct Texel {
    const char* name;
    int x, y;
  } texels[] = {{"ZadAzorad\\Hud\\hud_gun.png", 200, 17}, {"ZadAzorad\\Hud\\hud_bomb.png", 64, 3}};
  for (const Texel& t : texels) {
    render::Image image;
    if (!Load(t.name, &image)) continue;
    for (int dy = -1; dy <= 1; dy++)
      for (int dx = -1; dx <= 1; dx++)
        EXPECT_EQ(image.pixels[size_t(t.y + dy) * size_t(image.width) + size_t(t.x + dx)], 0xFFFFFFFFu)
            << t.name << " " << t.x + dx << "," << t.y + dy;
  }
}

// Skin n is drawn in style n: cut at texel column cx and row cy, that
// column and row stretched, the four blocks around them drawn whole.
TEST_F(SystemHud, SixteenSkinsHoldTheirCutsEachInItsOwnColours) {
  const int cuts[16][2] = {{16, 16}, {16, 16}, {16, 16}, {16, 16}, {34, 64}, {16, 16}, {96, 32}, {124, 112},
                           {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},   {0, 0},  {0, 0}};
  std::set<uint32_t> fills;
  for (int n = 0; n < 16; n++) {
    char name[64];
    std::snprintf(name, sizeof name, "ZadAzorad\\Window\\window%02d.png", n);
    render::Image image;
    if (!Load(name, &image)) continue;
    const int cx = cuts[n][0], cy = cuts[n][1];
    EXPECT_TRUE(IsPowerOfTwo(image.width) && IsPowerOfTwo(image.height)) << name;
    // The right and bottom blocks are no smaller than the left and top.
    EXPECT_GE(image.width, 2 * cx + 1) << name;
    EXPECT_GE(image.height, 2 * cy + 1) << name;
    // The stretched column and row carry the same picture as their
    // neighbours, so stretching them draws no seam.
    for (int y = 0; y < image.height; y++)
      ASSERT_EQ(image.pixels[size_t(y) * size_t(image.width) + size_t(cx)],
                image.pixels[size_t(y) * size_t(image.width) + size_t(cx + 1)])
          << name << " row " << y;
    EXPECT_EQ(Cut(image, 0, cy, image.width, cy + 1), Cut(image, 0, cy + 1, image.width, cy + 2)) << name;
    // The fill under the text is translucent, not clear.
    uint32_t fill = image.pixels[size_t(cy) * size_t(image.width) + size_t(cx)];
    EXPECT_GT(fill >> 24, 0x30u) << name;
    fills.insert(fill);
    if (cx == 0) {
      // Without a cut texel (0, 0) fills the window: the skin is flat.
      EXPECT_EQ(std::set<uint32_t>(image.pixels.begin(), image.pixels.end()).size(), 1u) << name;
    } else {
      // A frame: the border differs from the fill.
      EXPECT_NE(Cut(image, 0, 0, image.width, cy), std::vector<uint32_t>(size_t(image.width) * size_t(cy), fill)) << name;
    }
  }
  EXPECT_EQ(fills.size(), 16u);
}

}  // namespace
