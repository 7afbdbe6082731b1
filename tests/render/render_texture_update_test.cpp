// render_texture_update_test.cpp -- a texture updated while another texture
// unit is the active one: the update reaches the texture it was made for.

#include <string>

#include "render_fixture.h"

#include "core/core_public.h"

namespace {

using rendertest::RenderFixture;

class TextureUpdate : public RenderFixture {
 protected:
  // Lit pixels of the target.
  int LitPixels() {
    int n = 0;
    for (int y = 0; y < target.height; y++)
      for (int x = 0; x < target.width; x++) {
        std::vector<int> p = Pixel(x, y);
        n += p[0] + p[1] + p[2] >= 60;
      }
    return n;
  }
};

// Each font keeps its glyphs in an atlas texture that grows as new
// characters are drawn. Drawing with a second font leaves its atlas bound
// and another unit active; the first font's atlas, updated again for new
// glyphs, must take them (before the fix they went to whatever texture the
// active unit held, and the new glyphs drew blank).
TEST_F(TextureUpdate, GlyphsAddedAfterAnotherFontWasUsedAreDrawn) {
  Start(1, 256, 192);
  gs.PresentFrame();  // fonts are made once the device has presented
  UseTarget(256, 192);
  const std::string gothic = core::Sjis("ＭＳゴシック"), mincho = core::Sjis("ＭＳ Ｐ明朝");
  const char* texts[] = {"AB", "CD", "EF"};
  for (const char* text : texts) {
    gs.SetRenderTarget(&target, 0, 1);
    ASSERT_NE(gs.SetFont(gothic.c_str(), 40, 0xFFFFFF, 0), 0);
    ASSERT_EQ(gs.DrawText(0, 0, "0", 0), 1);
    gs.SetRenderTarget(&target, 0, 1);
    ASSERT_NE(gs.SetFont(mincho.c_str(), 40, 0xFFFFFF, 0), 0);
    ASSERT_EQ(gs.DrawText(-300, -100, text, 0), 1);
    EXPECT_GE(LitPixels(), 40) << text;
  }
}

}  // namespace
