// render_texture_test.cpp -- texture holders: loading with keys, sizes,
// formats and normal maps, bounded header sniffing, render targets and the
// registry, read-back and the BMP, DDS and JPEG files.

#include <cstdlib>
#include <cstring>

#include "render_fixture.h"
#include "test_support.h"

#include "core/core_public.h"
#include "render/render_local.h"

namespace {

using namespace platform;
using render::TextureHolder;
using rendertest::MakeBmp;
using rendertest::Put16;
using rendertest::Put32;
using rendertest::RenderFixture;



class Textures : public RenderFixture {
 protected:
  // Loads `file` into a fresh holder kept by the fixture.
  int Load(const std::string& file, uint32_t flags) {
    holder.ReleaseTexture(gs);
    return holder.LoadTextureFromMemory(gs, file.data(), int(file.size()), flags);
  }
  // ARGB of a texel of the holder's level.
  uint32_t Texel(int x, int y, int level = 0) {
    GfxLockedRect locked;
    EXPECT_EQ(gs.Gfx().LockRect(holder.texture, level, &locked), 0u);
    uint32_t v = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(locked.bits) + y * locked.pitch)[x];
    gs.Gfx().UnlockRect(holder.texture, level);
    return v;
  }
  void TearDown() override { holder.ReleaseTexture(gs); }
  TextureHolder holder;
};

TEST_F(Textures, ColourKeysMakeTheirColourTransparent) {
  Start(1);
  std::string bmp = MakeBmp(4, 1, {0x000000, 0x00FF00, 0xFF0000, 0xFFFFFF});
  struct Case {
    uint32_t flags;
    uint32_t expect[4];
  } cases[] = {
      {0, {0x00000000u, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu}},           // default key: opaque black
      {0x2, {0xFF000000u, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu}},         // no key
      {0x4, {0xFF000000u, 0x00000000u, 0xFFFF0000u, 0xFFFFFFFFu}},         // green
      {0x8 | 0x10, {0xFF000000u, 0xFF00FF00u, 0x00000000u, 0xFFFFFFFFu}},  // red wins over blue
      {0x20, {0xFF000000u, 0xFF00FF00u, 0xFFFF0000u, 0x00000000u}},        // white
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Load(bmp, c.flags), 1);
    for (int x = 0; x < 4; x++) EXPECT_EQ(Texel(x, 0), c.expect[x]) << "flags " << c.flags << " x " << x;
    EXPECT_EQ(holder.GetTextureFlags(), c.flags);
  }
  // A loaded holder is not loaded again.
  EXPECT_EQ(holder.LoadTextureFromMemory(gs, bmp.data(), int(bmp.size()), 0x2), 1);
  EXPECT_EQ(Texel(0, 0), 0xFF000000u);
}

TEST_F(Textures, HeightsBecomeNormals) {
  Start(1);
  ASSERT_EQ(Load(MakeBmp(2, 2, {0x808080, 0x808080, 0x808080, 0x808080}), render::kTexNormalMap), 1);
  for (int i = 0; i < 4; i++) EXPECT_EQ(Texel(i % 2, i / 2), 0xFF808080u);
  // A step down to the right and below: dx and dy are half the drops; the
  // last column and row compare with themselves.
  ASSERT_EQ(Load(MakeBmp(2, 2, {0xC8C8C8, 0x646464, 0x141414, 0x141414}), render::kTexNormalMap | 0x2), 1);
  EXPECT_EQ(Texel(0, 0), 0xFF808080u + 90 * 65536 + 50 * 256);
  EXPECT_EQ(Texel(1, 0), uint32_t(0xFF808080u + 40 * 65536));
  EXPECT_EQ(Texel(0, 1), 0xFF808080u);
  uint16_t grey16[4] = {0x4210, 0x4210, 0x4210, 0x4210};  // 5-bit 16 each
  render::HeightsToNormals16(grey16, 2, 2);
  EXPECT_EQ(grey16[0], 0xBDF0);
}

TEST_F(Textures, SizeReductionMipsAndSixteenBits) {
  Start(1);
  std::vector<uint32_t> big(256 * 256, 0x336699);
  std::string bmp = MakeBmp(256, 256, big);
  ASSERT_EQ(Load(bmp, render::kTexHalfSize | render::kTexQuarterSize), 1);  // half wins
  EXPECT_EQ(holder.GetTextureWidth(), 128);
  EXPECT_EQ(holder.GetTextureHeight(), 128);
  EXPECT_EQ(gs.Gfx().GetLevelCount(holder.texture), 1);
  ASSERT_EQ(Load(bmp, render::kTexQuarterSize | render::kTexMipChain), 1);
  EXPECT_EQ(holder.width, 64);
  EXPECT_EQ(gs.Gfx().GetLevelCount(holder.texture), 7);
  EXPECT_EQ(Texel(0, 0, 6), 0xFF336699u);
  // 16-bit: asked for, or allowed without a colour key.
  ASSERT_EQ(Load(bmp, render::kTex16Bit), 1);
  EXPECT_EQ(holder.bytesPerPixel, 2);
  ASSERT_EQ(Load(bmp, render::kTexAllow16Bit), 1);
  EXPECT_EQ(holder.bytesPerPixel, 4);
  ASSERT_EQ(Load(bmp, render::kTexAllow16Bit | render::kTexNoColorKey), 1);
  EXPECT_EQ(holder.bytesPerPixel, 2);
  ASSERT_EQ(Load(bmp, render::kTex16Bit | render::kTexNormalMap), 1);
  EXPECT_EQ(holder.bytesPerPixel, 4);
}

TEST_F(Textures, BrokenHeadersAreRefusedWithinTheirBytes) {
  test::ScopedWorkFolder folder;
  core::LogSystem log("system.log", 0);
  gs.log = &log;
  Start(1);
  std::string jpegLoop = std::string("\xFF\xD8\xFF\xE0\x00\x00", 6) + std::string(64, '\0');
  std::string jpegRunsOff = std::string("\xFF\xD8\xFF\xE0\x10\x00", 6);
  std::string jpegNoMarker = std::string("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\x12\x34", 10);
  std::string jpegByte2 = std::string("\xFF\xD8\x00", 3);
  std::string shortBmp = std::string("BM", 2) + std::string(10, '\0');
  std::string shortPng = std::string("\x89PNG\r\n\x1a\n", 8);
  std::string shortDds = "DDS 1234";
  for (const std::string& bytes : {jpegLoop, jpegRunsOff, jpegNoMarker, jpegByte2, shortBmp, shortPng, shortDds}) {
    int w = 0, h = 0;
    EXPECT_EQ(render::SniffImageSize(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &w, &h),
              render::SniffResult::Bad);
    EXPECT_EQ(Load(bytes, 0), 0);
    EXPECT_EQ(holder.texture, nullptr);
  }
  // Data of no known kind is tried whole and refused by the decoder.
  EXPECT_EQ(Load("not an image at all", 0), 0);
  // A JPEG header that chains to its frame reads the size.
  std::string sof = std::string("\xFF\xD8\xFF\xE0\x00\x04\x00\x00\xFF\xC0\x00\x11\x08\x01\x20\x02\x40", 17);
  int w = 0, h = 0;
  EXPECT_EQ(render::SniffImageSize(reinterpret_cast<const uint8_t*>(sof.data()), sof.size(), &w, &h),
            render::SniffResult::Known);
  EXPECT_EQ(w, 0x240);
  EXPECT_EQ(h, 0x120);
  gs.ReleaseDirect3D();
  gs.log = nullptr;
  log.CloseLog();
  std::string text = test::ReadFile("system.log");
  EXPECT_NE(text.find(test::Sjis("未知フォーマットです。")), std::string::npos);
  EXPECT_NE(text.find(test::Sjis("テクスチャの作成失敗")), std::string::npos);
}

TEST_F(Textures, DdsBlocksAndUncompressedPixelsDecode) {
  Start(1);
  auto header = [](int w, int h, uint32_t pfFlags, uint32_t fourCC, uint32_t bits, uint32_t r, uint32_t g, uint32_t b,
                   uint32_t a) {
    std::string s = "DDS ";
    Put32(&s, 124);
    Put32(&s, 0x100F);
    Put32(&s, uint32_t(h));
    Put32(&s, uint32_t(w));
    for (int i = 0; i < 14; i++) Put32(&s, 0);
    Put32(&s, 32);
    Put32(&s, pfFlags);
    Put32(&s, fourCC);
    Put32(&s, bits);
    Put32(&s, r);
    Put32(&s, g);
    Put32(&s, b);
    Put32(&s, a);
    for (int i = 0; i < 5; i++) Put32(&s, 0);
    return s;
  };
  // DXT1: red and blue endpoints, the texel indices 0, 1, 2, 3 in the first row.
  std::string dxt1 = header(4, 4, 0x4, 0x31545844u, 0, 0, 0, 0, 0);
  Put16(&dxt1, 0xF800);
  Put16(&dxt1, 0x001F);
  Put32(&dxt1, 0xE4);
  ASSERT_EQ(dxt1.size(), 136u);
  ASSERT_EQ(Load(dxt1, 0x2), 1);
  EXPECT_EQ(Texel(0, 0), 0xFFFF0000u);
  EXPECT_EQ(Texel(1, 0), 0xFF0000FFu);
  EXPECT_EQ(Texel(2, 0), 0xFFAA0055u);
  EXPECT_EQ(Texel(3, 0), 0xFF5500AAu);
  EXPECT_EQ(Texel(3, 3), 0xFFFF0000u);
  // DXT5: alpha endpoints 255 and 0, texel 1 takes the second.
  std::string dxt5 = header(4, 4, 0x4, 0x35545844u, 0, 0, 0, 0, 0);
  dxt5 += std::string("\xFF\x00\x08\x00\x00\x00\x00\x00", 8);
  Put16(&dxt5, 0xFFFF);
  Put16(&dxt5, 0xFFFF);
  Put32(&dxt5, 0);
  ASSERT_EQ(Load(dxt5, 0x2), 1);
  EXPECT_EQ(Texel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(Texel(1, 0), 0x00FFFFFFu);
  // Uncompressed 32-bit with alpha; a short file is refused.
  std::string argb = header(2, 1, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
  Put32(&argb, 0x80112233u);
  Put32(&argb, 0xFF445566u);
  ASSERT_EQ(Load(argb, 0x2), 1);
  EXPECT_EQ(Texel(0, 0), 0x80112233u);
  EXPECT_EQ(Texel(1, 0), 0xFF445566u);
  EXPECT_EQ(Load(argb.substr(0, argb.size() - 4), 0x2), 0);
  EXPECT_EQ(Load(dxt1.substr(0, 130), 0x2), 0);
}

TEST_F(Textures, FilesComeThroughTheFileLayer) {
  test::ScopedWorkFolder folder;
  core::FilePackageTable table;
  gs.packages = &table;
  Start(1);
  test::WriteFile("pic.bmp", MakeBmp(3, 2, {1, 2, 3, 4, 5, 6}));
  holder.ReleaseTexture(gs);
  EXPECT_EQ(holder.LoadTextureFile(gs, "PIC.BMP", 0x2), 1);
  EXPECT_EQ(holder.width, 3);
  EXPECT_EQ(Texel(2, 1), 0xFF000006u);
  TextureHolder missing;
  EXPECT_EQ(missing.LoadTextureFile(gs, "none.png", 0), 0);
}

// ---------------------------------------------------------------------------
// Files written
// ---------------------------------------------------------------------------

// The bytes of a BMP file whose every pixel has one colour.
std::string ExpectedBmp(int w, int h, uint8_t b, uint8_t g, uint8_t r) {
  return MakeBmp(w, h, std::vector<uint32_t>(size_t(w * h), uint32_t(r) << 16 | uint32_t(g) << 8 | b));
}

TEST_F(Textures, BmpFilesHaveTheExactBytes) {
  test::ScopedWorkFolder folder;
  Start(1);
  for (int w : {300, 301}) {
    TextureHolder t;
    ASSERT_EQ(t.CreateFilledTexture(gs, w, 200, 0xFF102030u, 0), 0u);
    EXPECT_EQ(t.SaveTexture(gs, "shot.bmp"), w * 200 * 3);
    std::string file = test::ReadFile("shot.bmp");
    EXPECT_EQ(file.size(), size_t(54 + (w == 300 ? 900 : 904) * 200));
    EXPECT_TRUE(file == ExpectedBmp(w, 200, 0x30, 0x20, 0x10)) << "width " << w;
    t.ReleaseTexture(gs);
  }
  TextureHolder empty;
  EXPECT_EQ(empty.SaveTexture(gs, "empty.bmp"), 0);
}

TEST_F(Textures, SixteenBitHoldersReadThreeBytesAPixel) {
  test::ScopedWorkFolder folder;
  Start(1);
  ASSERT_EQ(Load(MakeBmp(5, 3, std::vector<uint32_t>(15, 0xF8F8F8)), render::kTex16Bit), 1);
  ASSERT_EQ(holder.bytesPerPixel, 2);
  EXPECT_EQ(holder.ReadTexturePixels(gs, nullptr, 0, 0, 5, 3), 45);
  EXPECT_EQ(holder.ReadTexturePixels(gs, nullptr, 2, 2, 2, 3), 0);   // empty
  EXPECT_EQ(holder.ReadTexturePixels(gs, nullptr, 4, 0, 1, 3), 0);   // inverted
  EXPECT_EQ(holder.ReadTexturePixels(gs, nullptr, -5, -5, 99, 1), 15);  // clamped
  EXPECT_EQ(holder.SaveTexture(gs, "small.bmp"), 45);
  EXPECT_TRUE(test::ReadFile("small.bmp") == ExpectedBmp(5, 3, 0xF8, 0xF8, 0xF8));
}

TEST_F(Textures, DdsAndJpegFilesLoadBack) {
  test::ScopedWorkFolder folder;
  Start(1);
  TextureHolder t;
  ASSERT_EQ(t.CreateFilledTexture(gs, 8, 6, 0xFF204060u, 0), 0u);
  EXPECT_NE(t.SaveTexture(gs, "out.DDS"), 0);
  EXPECT_EQ(t.SaveTexture(gs, "no-such-folder/out.jpg"), 0);
  EXPECT_NE(t.SaveTexture(gs, "out.jpg"), 0);
  t.ReleaseTexture(gs);
  ASSERT_EQ(Load(test::ReadFile("out.DDS"), 0x2), 1);
  EXPECT_EQ(holder.width, 8);
  EXPECT_EQ(Texel(7, 5), 0xFF204060u);
  ASSERT_EQ(Load(test::ReadFile("out.jpg"), 0x2), 1);
  EXPECT_EQ(holder.height, 6);
  uint32_t p = Texel(3, 3);
  EXPECT_NEAR(int(p >> 16 & 255), 0x20, 6);
  EXPECT_NEAR(int(p & 255), 0x60, 6);
}

// ---------------------------------------------------------------------------
// Render targets and the registry
// ---------------------------------------------------------------------------

TEST_F(Textures, TargetsThatFailStillLeaveTheRegistryWhenReleased) {
  Start(1);
  TextureHolder huge;
  EXPECT_NE(huge.CreateRenderTarget(gs, 100000, 100000, kFmtA8R8G8B8), 0u);
  EXPECT_EQ(huge.texture, nullptr);
  ASSERT_EQ(gs.GetRegisteredTarget(0), &huge);  // kept: a reset tries again
  huge.ReleaseTexture(gs);
  EXPECT_EQ(gs.GetRegisteredTarget(0), nullptr);

  std::vector<TextureHolder> targets(65);
  for (int i = 0; i < 64; i++) ASSERT_EQ(targets[size_t(i)].CreateRenderTarget(gs, 2, 2, kFmtA8R8G8B8), 0u);
  EXPECT_EQ(gs.RegisterRenderTarget(&targets[64], kFmtA8R8G8B8), render::kRenderTargetSlots);
  EXPECT_EQ(gs.UnregisterRenderTarget(&targets[64]), render::kRenderTargetSlots);
  for (TextureHolder& t : targets) t.ReleaseTexture(gs);
  for (int i = 0; i < render::kRenderTargetSlots; i++) EXPECT_EQ(gs.GetRegisteredTarget(i), nullptr);
}

TEST_F(Textures, MemoryCountFollowsTexturesAndTargets) {
  Start(1);
  render::TextureMemoryCount& count = gs.GetTextureMemoryCount();
  uint32_t start = count.current;
  TextureHolder a, b;
  ASSERT_EQ(a.CreateFilledTexture(gs, 4, 2, 0, render::kTexAdditive), 0u);
  EXPECT_EQ(count.current, start - 32);
  ASSERT_EQ(b.CreateRenderTarget(gs, 8, 8, kFmtA8R8G8B8), 0u);
  EXPECT_EQ(count.current, start - 32 - 256);
  EXPECT_TRUE(b.flags & render::kTexRenderTarget);
  EXPECT_EQ(a.HolderUsesEffect, 1u);
  a.ReleaseTexture(gs);
  b.ReleaseTexture(gs);
  EXPECT_EQ(count.current, start);
  EXPECT_EQ(count.lowest, start - 288);
}

TEST_F(Textures, MultipleTargetsTakeTheSceneOutputs) {
  Start(1);
  ASSERT_TRUE(gs.CreateEffect("#define GLARE\n"));
  UseTarget(64, 768);
  TextureHolder glare;
  ASSERT_EQ(glare.CreateRenderTarget(gs, 64, 768, kFmtA8R8G8B8), 0u);
  ASSERT_EQ(gs.SetRenderTarget(&glare, 1, 1), 0);
  gs.SetGlareRate(0.25f);
  DrawQuad2D(0, 0, 1, 1, gs.GetWhiteTexture()->texture);
  // Colour 0 gets 1 - rate, colour 1 (the glare light) the rate.
  EXPECT_EQ(Pixel(32, 384)[1], 191);
  uint8_t bgr[3];
  ASSERT_EQ(glare.ReadTexturePixels(gs, bgr, 32, 384, 33, 385), 3);
  EXPECT_EQ(bgr[1], 64);
  EXPECT_EQ(gs.SetRenderTarget(nullptr, 1, 0), 0);
  glare.ReleaseTexture(gs);
}

}  // namespace

namespace {

// Damaged image files: random bytes overwritten and random truncations of
// each kind the loader reads. Every one is decoded or refused, never read
// past its end (the sanitizer build watches).
TEST(ImageFiles, DamagedFilesAreDecodedOrRefused) {
  std::vector<std::string> seeds;
  seeds.push_back(MakeBmp(7, 5, std::vector<uint32_t>(35, 0x123456)));
  std::string dds = "DDS ";
  Put32(&dds, 124);
  Put32(&dds, 0x100F);
  Put32(&dds, 8);
  Put32(&dds, 8);
  for (int i = 0; i < 14; i++) Put32(&dds, 0);
  Put32(&dds, 32);
  Put32(&dds, 0x4);
  Put32(&dds, 0x35545844u);
  for (int i = 0; i < 10; i++) Put32(&dds, 0);
  dds += std::string(64, '\x5A');
  seeds.push_back(dds);
  seeds.push_back(render::EncodeJpeg(std::vector<uint8_t>(8 * 8 * 3, 0x80).data(), 8, 8));
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  int decoded = 0, refused = 0;
  // TKW4_FUZZ_ROUNDS runs longer by hand; CI takes 3,000 a kind.
  const char* env = std::getenv("TKW4_FUZZ_ROUNDS");
  int rounds = env ? std::atoi(env) : 3000;
  for (const std::string& seed : seeds) {
    ASSERT_FALSE(seed.empty());
    for (int round = 0; round < rounds; round++) {
      std::string bytes = seed;
      int edits = 1 + int(next() % 4);
      for (int e = 0; e < edits; e++) bytes[next() % bytes.size()] = char(next());
      if (next() % 3 == 0) bytes.resize(next() % bytes.size());
      int w, h;
      render::SniffImageSize(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &w, &h);
      render::Image image;
      std::string error;
      if (render::DecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image, &error)) {
        EXPECT_EQ(image.pixels.size(), size_t(image.width) * size_t(image.height));
        decoded++;
      } else {
        refused++;
      }
    }
  }
  EXPECT_GT(decoded, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace

namespace {

TEST(ImageFiles, OversizedHuffmanTablesAndShortBitmapsAreRefused) {
  // A Huffman table whose counts add up past 256 symbols would overrun the
  // decoder's table.
  std::string jpeg = std::string("\xFF\xD8\xFF\xC4", 4);
  std::string table = std::string(1, '\x00') + std::string(16, '\x20') + std::string(512, '\x01');
  jpeg += char((table.size() + 2) >> 8);
  jpeg += char((table.size() + 2) & 255);
  jpeg += table + std::string("\xFF\xD9", 2);
  render::Image image;
  std::string error;
  EXPECT_FALSE(render::DecodeImage(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(), &image, &error));
  EXPECT_EQ(error, "broken JPEG tables");
  // A bitmap announcing more rows than it holds.
  std::string bmp = MakeBmp(4, 4, std::vector<uint32_t>(16, 0));
  std::string tall = bmp;
  tall[22] = char(0x40);  // 64 rows
  EXPECT_FALSE(render::DecodeImage(reinterpret_cast<const uint8_t*>(tall.data()), tall.size(), &image, &error));
  EXPECT_TRUE(render::DecodeImage(reinterpret_cast<const uint8_t*>(bmp.data()), bmp.size(), &image, &error));
}

}  // namespace

namespace {

// Holders that outlive the device (the world's models and map textures are
// released after the window closed the device) let go of their textures
// without reaching back into the device.
TEST_F(Textures, TexturesReleasedAfterTheDeviceAreFreedSafely) {
  Start(1);
  render::TextureHolder plain, target;
  ASSERT_EQ(plain.CreateFilledTexture(gs, 4, 4, 0xFF336699u, 0), 0u);
  ASSERT_EQ(target.CreateRenderTarget(gs, 8, 8, platform::kFmtA8R8G8B8), 0u);
  gs.ReleaseDirect3D();
  plain.ReleaseTexture(gs);
  target.ReleaseTexture(gs);
  EXPECT_EQ(plain.texture, nullptr);
  EXPECT_EQ(target.texture, nullptr);
}

}  // namespace
