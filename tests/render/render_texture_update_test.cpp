// render_texture_update_test.cpp -- a texture updated while another texture
// unit is the active one: the update reaches the texture it was made for.

#include <string>
#include <vector>

#include "render_fixture.h"

#include "core/core_public.h"

namespace {

using rendertest::RenderFixture;

class TextureUpdate : public RenderFixture {
 protected:
  // Lit pixels of the target, read back in one go.
  int LitPixels() {
    std::vector<uint8_t> bgr(size_t(target.width) * size_t(target.height) * 3);
    EXPECT_EQ(target.ReadAllTexturePixels(gs, bgr.data()), int(bgr.size()));
    int n = 0;
    for (size_t i = 0; i < bgr.size(); i += 3) n += bgr[i] + bgr[i + 1] + bgr[i + 2] >= 60;
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
