// render_text_test.cpp -- fonts, the font cache, DrawText and the line
// breaking rules.

#include <cstring>

#include "render_fixture.h"
#include "test_support.h"

#include "core/core_public.h"
#include "render/render_local.h"

namespace {

using rendertest::RenderFixture;

// Where `text` breaks at `limit` when every byte is one pixel wide.
int Break(const std::string& text, float limit) {
  bool quote = false;
  return render::FindLineBreak(text.data(), int(text.size()), limit, [](int bytes) { return float(bytes); },
                               &quote);
}

TEST(TextBreak, WordsKinsokuAndHardBreaks) {
  struct Case {
    std::string text;
    float limit;
    int expect;
  } cases[] = {
      {"hello world", 8, 6},            // back to the start of "world"
      {"abcdefghij", 5, 5},             // one word wider than the line: hard break
      {"abcdefghij", 0.5f, -1},         // not one character fits
      {"abc) def", 3, 4},               // a closing mark stays up
      {"end. Next", 3, 4},
      {"say \"hi\" now", 7, 8},         // the closing quote stays up
      {"say \"hi\" now", 4, 4},         // a break before an opening quote stays
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Break(c.text, c.limit), c.expect) << c.text << " @" << c.limit;
  }
  // "it's fine" at 3: the apostrophe belongs to the word, which starts the
  // line, so the hard break stays.
  EXPECT_EQ(Break("it's fine", 3), 3);
  EXPECT_EQ(Break("go it's", 5), 3);
}

TEST(TextBreak, ShiftJisIsNeverSplitAndClosingMarksStayUp) {
  std::string text = test::Sjis("あいう。えお");
  EXPECT_EQ(Break(text, 6), 8);  // "。" joins the upper line
  EXPECT_EQ(Break(text, 5), 4);  // never half a character
  std::string latinTrail = test::Sjis("ア") + "Abc";  // "ア" ends in the byte 'A'
  ASSERT_EQ(latinTrail[1], 'A');
  EXPECT_EQ(Break(latinTrail, 3), 2);
  std::string paren = test::Sjis("あい）う");
  EXPECT_EQ(Break(paren, 4), 6);
}

TEST(TextFaces, WindowsFacesMapToInstalledFonts) {
  EXPECT_NE(render::FontFileForFace(core::Sjis("ＭＳ 明朝")).find("ipam"), std::string::npos);
  EXPECT_NE(render::FontFileForFace(core::Sjis("ＭＳ ゴシック")).find("ipag"), std::string::npos);
  EXPECT_NE(render::FontFileForFace("Arial").find("LiberationSans"), std::string::npos);
  EXPECT_NE(render::FontFileForFace("Courier New").find("LiberationMono"), std::string::npos);
  EXPECT_NE(render::FontFileForFace("Unknown Face").find("ipag"), std::string::npos);
}

class Text : public RenderFixture {
 protected:
  // The target's pixels as one string of bytes.
  std::string Snapshot() {
    std::string bytes(size_t(target.width * target.height * 3), '\0');
    target.ReadAllTexturePixels(gs, reinterpret_cast<uint8_t*>(bytes.data()));
    return bytes;
  }
};

TEST_F(Text, NoFontNoDrawing) {
  Start(1);
  // Until the first present the device counts as lost: no font is made.
  EXPECT_EQ(gs.SetFont(core::Sjis("ＭＳ ゴシック"), 16, 0xFFFFFF, 1), 0);
  EXPECT_EQ(gs.DrawText(0, 0, "abc", 0), 0);
  gs.PresentFrame();
  EXPECT_NE(gs.SetFont(nullptr, -1, 0xFFFFFF, -1), 0);
  EXPECT_EQ(gs.DrawText(0, 0, "", 0), 0);
}

TEST_F(Text, DrawsOpaqueColourWithAShadowAndOneLinePerLineFeed) {
  Start(1);
  gs.PresentFrame();
  UseTarget(256, 192);
  ASSERT_NE(gs.SetFont(core::Sjis("ＭＳ ゴシック"), 24, 0x00FF0000u, 1), 0);  // made opaque
  ASSERT_EQ(gs.DrawText(-100, -50, "abc", 0), 1);
  std::string one = Snapshot();
  int red = 0, other = 0;
  for (size_t i = 0; i < one.size(); i += 3) {
    uint8_t b = uint8_t(one[i]), g = uint8_t(one[i + 1]), r = uint8_t(one[i + 2]);
    if (r > 200 && g < 40 && b < 40) red++;
    else if (r || g || b) other++;
  }
  EXPECT_GT(red, 20);
  // Everything drawn sits near the text's origin (px 103, py 83).
  for (int y = 0; y < 192; y++)
    for (int x = 0; x < 256; x++) {
      size_t i = size_t(y * 256 + x) * 3;
      if (one[i] || one[i + 1] || one[i + 2]) {
        EXPECT_GE(x, 100);
        EXPECT_LT(x, 160);
        EXPECT_GE(y, 80);
        EXPECT_LT(y, 115);
      }
    }
  gs.SetRenderTarget(&target, 0, 1);
  ASSERT_EQ(gs.DrawText(-100, -50, "abc\n", 0), 1);
  EXPECT_TRUE(Snapshot() == one);
  gs.SetRenderTarget(&target, 0, 1);
  ASSERT_EQ(gs.DrawText(-100, -50, "abc\nabc", 0), 1);
  EXPECT_FALSE(Snapshot() == one);
  // A wrap width too narrow for one character draws nothing and says so.
  EXPECT_EQ(gs.DrawText(-100, -50, "abc", 1), 0);
}

TEST_F(Text, TheCacheKeepsFacesAndHeightsAndRecyclesEntryZero) {
  Start(0);
  gs.PresentFrame();
  intptr_t first = gs.SetFont("Arial", 10, 0xFFFFFFFFu, 0);
  ASSERT_NE(first, 0);
  EXPECT_EQ(gs.SetFont("Arial", 12, 0xFFFFFFFFu, 0) != first, true);
  EXPECT_EQ(gs.SetFont("Arial", 10, 0xFFFFFFFFu, 0), first);
  for (int h = 13; h < 13 + render::kFontCacheSize - 2; h++) ASSERT_NE(gs.SetFont("Arial", h, 0xFFFFFFFFu, 0), 0);
  ASSERT_NE(gs.GetFontCache().fonts[render::kFontCacheSize - 1], nullptr);
  // Full: the next new font takes entry 0.
  ASSERT_NE(gs.SetFont("Arial", 500, 0xFFFFFFFFu, 0), 0);
  EXPECT_EQ(gs.GetFontCache().heights[0], 500);
  EXPECT_STREQ(gs.GetFontCache().faces[0], "Arial");
  EXPECT_EQ(gs.SetTextLineSpacing(4), 0.0f);
  EXPECT_EQ(gs.SetTextLineSpacing(-1), 4.0f);
}

}  // namespace
