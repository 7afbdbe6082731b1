// ui_windows_test.cpp -- the message windows: the pool of 256, texts with
// their line breaks and bounds, the opening and closing animation, the
// typing reveal, menus with cursor, status and flags, sprites, fonts and
// styles, the frame geometry, the drawing order, and skins that are missing
// or out of range.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"
#include "render/render_local.h"
#include "ui/ui_public.h"

namespace {

using ui::MessageWindow;
using ui::WindowManager;

// Steps a window `n` times without input.
void Step(MessageWindow* w, int n) {
  for (int i = 0; i < n; i++) w->StepWindow(nullptr, nullptr, nullptr);
}

// The 128 logical buttons of one step, with one button set.
struct Buttons {
  int32_t held[128] = {}, trigger[128] = {}, repeat[128] = {};
};
void Press(MessageWindow* w, int button, bool asRepeat) {
  Buttons b;
  (asRepeat ? b.repeat : b.trigger)[button] = 1;
  w->StepWindow(b.held, b.trigger, b.repeat);
}

TEST(Windows, PlaneWindowsOpenUntilNoneIsFreeAndTheLowestFreeIsTaken) {
  WindowManager windows;
  MessageWindow* first = windows.CreatePlaneWindow(3, -512.0f, -384.0f, 2.0f, 1024, 768, -1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, windows.Window(0));
  EXPECT_TRUE(first->IsObjectShown());
  EXPECT_EQ(first->style, 3);
  EXPECT_EQ(first->GetObjectPosition().z, 2.0f);
  EXPECT_EQ(first->displayTime, -1);
  EXPECT_EQ(first->text, "");
  EXPECT_STREQ(first->subText, "");
  EXPECT_EQ(first->drawOrder, 8);
  EXPECT_EQ(first->state, ui::kWindowWidening);
  EXPECT_EQ(first->SetWindowActive(1), 1);  // opened active
  EXPECT_EQ(first->anchorX, 0.0f);          // the position is the top-left corner
  EXPECT_EQ(first->anchorY, 0.0f);
  for (int i = 1; i < WindowManager::kWindowCount; i++)
    ASSERT_NE(windows.CreatePlaneWindow(0, 0, 0, 0, 1, 1, 60), nullptr) << i;
  EXPECT_EQ(windows.CreatePlaneWindow(0, 0, 0, 0, 1, 1, 60), nullptr);
  EXPECT_EQ(windows.CreateSelectWindow(0, 0, 0, 0, 100, "a", 0), nullptr);
  EXPECT_EQ(windows.CountOpen(), 256);
  EXPECT_EQ(windows.Window(256), nullptr);
  EXPECT_EQ(windows.Window(-1), nullptr);

  // Freed windows are taken again lowest first.
  windows.Window(200)->HideWindow();
  windows.Window(7)->HideWindow();
  EXPECT_EQ(windows.CreatePlaneWindow(0, 0, 0, 0, 1, 1, 60), windows.Window(7));
  EXPECT_EQ(windows.CreatePlaneWindow(0, 0, 0, 0, 1, 1, 60), windows.Window(200));

  // A world reset hides every window at once.
  windows.CloseWindows(-1);
  EXPECT_EQ(windows.CountOpen(), 0);
  EXPECT_EQ(windows.Window(7)->state, ui::kWindowHidden);
}

TEST(Windows, TextsTakeLineBreaksAndTheSubTextIsBounded) {
  WindowManager windows;
  MessageWindow* w = windows.CreatePlaneWindow(0, 0, 0, 0, 100, 100, -1);
  // "\\n" is a line break, but not when its backslash is the second byte of
  // a two-byte character (表 is 95 5C).
  w->SetWindowText(nullptr, test::Sjis("one\\ntwo 表n \\x").c_str());
  EXPECT_EQ(w->text, test::Sjis("one\ntwo 表n \\x"));
  EXPECT_EQ(w->lineCount, 2);
  EXPECT_STREQ(w->subText, "");

  struct Case {
    const char* text;
    const char* stored;
    int lines;
  } cases[] = {
      {"a\\nb", "a\nb", 2},
      {"a\\n", "a\n", 2},  // a last newline counts one more, empty, line
      {"", "", 1},
      {"\\n\\n", "\n\n", 3},
  };
  for (const Case& c : cases) {
    w->SetWindowText(nullptr, c.text);
    EXPECT_EQ(w->text, c.stored) << c.text;
    EXPECT_EQ(w->lineCount, c.lines) << c.text;
  }

  // A sub text alone keeps the text and shows the window.
  w->SetObjectVisible(0);
  w->SetWindowText("sub", nullptr);
  EXPECT_TRUE(w->IsObjectShown());
  EXPECT_STREQ(w->subText, "sub");
  EXPECT_EQ(w->text, "\n\n");

  // The sub text keeps 127 bytes, never half a character.
  std::string sub(126, 'a');
  w->SetWindowText((sub + test::Sjis("表")).c_str(), nullptr);
  EXPECT_EQ(std::string(w->subText), sub);
  w->SetWindowText(std::string(300, 'b').c_str(), nullptr);
  EXPECT_EQ(std::string(w->subText), std::string(127, 'b'));

  // Plain texts: no escapes, no line count.
  w->SetWindowTextsPlain(nullptr, "x\\ny");
  EXPECT_EQ(w->text, "x\\ny");
  EXPECT_EQ(w->lineCount, 3);

  windows.SetWindowColors(w, 0x123456, 0xABCDEF);
  EXPECT_EQ(w->textColor, 0x123456u);
  EXPECT_EQ(w->subTextColor, 0xABCDEFu);
  windows.SetWindowText(nullptr, "x", "y");  // no window: nothing happens
  windows.SetWindowColors(nullptr, 1, 2);

  // Both texts null hide the window, which is free again.
  w->SetWindowText(nullptr, nullptr);
  EXPECT_TRUE(w->IsFree());
  EXPECT_EQ(windows.CountOpen(), 0);
}

TEST(Windows, GetWindowTextIsBoundedByTheBuffersGiven) {
  MessageWindow w;
  w.SetWindowText("sub text", (std::string(40, 'x') + test::Sjis("表")).c_str());
  char sub[4], text[42];
  EXPECT_EQ(std::string(w.GetWindowText(sub, sizeof sub, text, sizeof text)), w.text);
  EXPECT_STREQ(sub, "sub");
  EXPECT_EQ(std::string(text), std::string(40, 'x'));  // never half of 表
  EXPECT_NE(w.GetWindowText(nullptr, 0, nullptr, 0), nullptr);
}

// Opening takes 7 steps (3 widening, 4 growing), closing 7 more.
TEST(Windows, OpeningAndClosingTakeSevenStepsEach) {
  WindowManager windows;
  MessageWindow* w = windows.CreatePlaneWindow(0, 0, 0, 0, 100, 50, -1);
  struct Expect {
    int state;
    float sx, sy;
  } opening[] = {{0, 1.0f / 3, 0.1f}, {0, 2.0f / 3, 0.1f}, {1, 1, 0.1f}, {1, 1, 0.25f},
                 {1, 1, 0.5f},        {1, 1, 0.75f},       {10, 1, 1},   {10, 1, 1}};
  for (const Expect& e : opening) {
    Step(w, 1);
    EXPECT_EQ(w->state, e.state);
    EXPECT_FLOAT_EQ(w->GetObjectScale().x, e.sx);
    EXPECT_FLOAT_EQ(w->GetObjectScale().y, e.sy);
  }
  Step(w, 1000);
  EXPECT_EQ(w->state, ui::kWindowShown);  // display time -1: stays

  windows.CloseWindows(windows.IndexOf(w));
  EXPECT_EQ(w->state, ui::kWindowShrinking);
  Step(w, 6);
  EXPECT_EQ(w->state, ui::kWindowNarrowing);
  EXPECT_FALSE(w->IsFree());
  Step(w, 1);
  EXPECT_TRUE(w->IsFree());
  EXPECT_EQ(w->state, ui::kWindowHidden);
  EXPECT_EQ(w->StepWindow(nullptr, nullptr, nullptr), -1);
}

TEST(Windows, DisplayTimeClosesOnTheStepAfterItsLastShownStep) {
  WindowManager windows;
  for (int time : {0, -1}) {
    MessageWindow* w = windows.CreatePlaneWindow(0, 0, 0, 0, 10, 10, time);
    Step(w, 500);
    EXPECT_EQ(w->state, ui::kWindowShown) << time;
  }
  MessageWindow* w = windows.CreatePlaneWindow(0, 0, 0, 0, 10, 10, 120);
  Step(w, 7 + 120);
  EXPECT_EQ(w->state, ui::kWindowShown);
  Step(w, 1);
  EXPECT_EQ(w->state, ui::kWindowShrinking);
}

TEST(Windows, PlaneTextIsTypedTwoCharactersAStepNeverSplittingOne) {
  MessageWindow w;
  w.SetWindowText("", "abcdefghij");
  w.SetWindowState(ui::kWindowShown);
  EXPECT_EQ(w.ShapeWindowText(), "_");
  Step(&w, 1);
  EXPECT_EQ(w.ShapeWindowText(), "ab_");
  Step(&w, 3);
  EXPECT_EQ(w.ShapeWindowText(), "abcdefgh_");
  Step(&w, 1);
  EXPECT_EQ(w.ShapeWindowText(), "abcdefghij");

  // Two characters of any width; a new text restarts the typing.
  w.SetWindowText(nullptr, test::Sjis("あいうえ").c_str());
  EXPECT_EQ(w.StepCount(), 0);
  Step(&w, 1);
  EXPECT_EQ(w.ShapeWindowText(), test::Sjis("あい") + "_");

  // A long text after 100 steps shows 200 characters; one too long for
  // the buffer is drawn whole.
  std::string longText(600, 'q');
  w.SetWindowText(nullptr, longText.c_str());
  Step(&w, 100);
  EXPECT_EQ(w.ShapeWindowText(), std::string(200, 'q') + "_");
  Step(&w, 500);
  EXPECT_EQ(w.ShapeWindowText(), longText);
  std::string huge(3000, 'z');
  w.SetWindowText(nullptr, huge.c_str());
  Step(&w, 600);
  EXPECT_EQ(w.ShapeWindowText(), huge);
}

TEST(Windows, SelectWindowsMoveWrapDecideAndCancel) {
  WindowManager windows;
  MessageWindow* w = windows.CreateSelectWindow(0, 0, 0, 0, 200, "zero\\none\\ntwo", 0);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->kind, ui::kSelectWindow);
  EXPECT_EQ(w->lineCount, 3);
  EXPECT_EQ(w->visibleLines, 3);
  EXPECT_EQ(w->height, 8 + 8 + 2 * 4 + 3 * 20);  // margins, spacing and lines
  EXPECT_EQ(w->IsWindowInputActive(), 1);

  Press(w, 0, true);  // up on line 0: the last line
  EXPECT_EQ(w->GetWindowStatus(1), 2);
  EXPECT_EQ(w->GetWindowStatus(8), 8);
  EXPECT_EQ(w->GetWindowStatus(8), 0);  // read once
  Press(w, 1, true);  // down on the last line: line 0
  EXPECT_EQ(w->cursor, 0);
  EXPECT_EQ(w->GetWindowStatus(8 | 2), 8);  // moved is served before decided
  Press(w, 1, false);  // a press is not a repeat: no move
  EXPECT_EQ(w->cursor, 0);

  for (int button : {8, 12}) {
    Press(w, button, false);
    EXPECT_EQ(w->GetWindowStatus(2), 2) << button;
    EXPECT_EQ(w->GetWindowStatus(2), 0) << button;
  }
  for (int button : {9, 13}) {
    Press(w, button, false);
    EXPECT_EQ(w->GetWindowStatus(4), 4) << button;
  }
  EXPECT_EQ(w->GetWindowStatus(16), 0);

  char line[16];
  w->SetWindowCursor(1);
  EXPECT_STREQ(w->GetWindowCursorString(line, sizeof line), "one");

  // Deactivated: no input, and the flags are dropped.
  Press(w, 8, false);
  EXPECT_EQ(w->SetWindowActive(0), 1);
  EXPECT_EQ(w->GetWindowStatus(2), 0);
  Press(w, 1, true);
  Press(w, 8, false);
  EXPECT_EQ(w->cursor, 1);
  EXPECT_EQ(w->GetWindowStatus(2), 0);

  // A plane window never takes pad input.
  MessageWindow* plane = windows.CreatePlaneWindow(0, 0, 0, 0, 10, 10, -1);
  plane->SetWindowText(nullptr, "a\\nb");
  Press(plane, 1, true);
  EXPECT_EQ(plane->cursor, 0);
  EXPECT_EQ(plane->IsWindowInputActive(), 0);
}

TEST(Windows, CursorScrollsIntoViewAndOnlyTheVisibleLinesAreShaped) {
  WindowManager windows;
  MessageWindow* w = windows.CreateSelectWindow(0, 0, 0, 0, 200, "l0\\nl1\\nl2\\nl3\\nl4\\nl5\\nl6\\nl7\\nl8\\nl9", 4);
  EXPECT_EQ(w->lineCount, 10);
  EXPECT_EQ(w->visibleLines, 4);
  EXPECT_EQ(w->SetWindowCursor(7), 0);
  EXPECT_EQ(w->firstLine, 4);
  w->SetWindowCursor(2);
  EXPECT_EQ(w->firstLine, 2);
  w->SetWindowCursor(9);
  Press(w, 1, true);  // wraps to 0 and scrolls back up
  EXPECT_EQ(w->cursor, 0);
  EXPECT_EQ(w->firstLine, 0);
  w->SetWindowCursor(3);

  // Lines are revealed one character a step each, the rest cut with "_".
  w->SetWindowText(nullptr, "abcdef\\nxy\\nlong line\\nq\\nhidden");
  w->SetWindowState(ui::kWindowShown);
  EXPECT_EQ(w->ShapeWindowText(), "ab_\nxy\nlo_\nq\n");
  Step(w, 2);
  EXPECT_EQ(w->ShapeWindowText(), "abcd_\nxy\nlong_\nq\n");
  w->SetWindowCursor(4);
  EXPECT_EQ(w->firstLine, 1);
  EXPECT_EQ(w->ShapeWindowText(), "xy\nlong_\nq\nhidd_\n");

  // The cursor's line: none past the end or on an empty last line.
  char out[8];
  w->SetWindowText(nullptr, "a\\nlonger line\\n");
  struct Case {
    int cursor;
    const char* expect;  // null: none
  } cases[] = {{0, "a"}, {1, "longer "}, {2, nullptr}, {3, nullptr}, {-1, nullptr}};
  for (const Case& c : cases) {
    w->cursor = c.cursor;
    const char* got = w->GetWindowCursorString(out, sizeof out);
    if (c.expect) EXPECT_STREQ(got, c.expect) << c.cursor;
    else EXPECT_EQ(got, nullptr) << c.cursor;
  }
  EXPECT_EQ(w->GetWindowCursorString(out, 0), nullptr);
}

TEST(Windows, FontsStylesAndAnchors) {
  MessageWindow w;
  EXPECT_STREQ(w.fontFace, ui::DefaultWindowFace());
  EXPECT_STREQ(w.subFontFace, ui::DefaultWindowFace());
  // The default face is drawn with the installed metric-compatible font.
#if defined(TKW4_EDITION_ENGLISH)
  EXPECT_NE(render::FontFileForFace(w.fontFace).find("LiberationSans"), std::string::npos);
#else
  EXPECT_NE(render::FontFileForFace(w.fontFace).find("ipam"), std::string::npos);
#endif
  EXPECT_EQ(w.SetWindowFont(30, -1, -1, 12, -1, -1), 20);
  EXPECT_EQ(w.fontSize, 30);
  EXPECT_EQ(w.lineSpacing, 4);
  EXPECT_EQ(w.marginTop, 12.0f);
  EXPECT_EQ(w.marginLeft, 8.0f);
  EXPECT_EQ(w.state, ui::kWindowWidening);  // the opening restarts
  EXPECT_EQ(w.SetWindowFont(0, 0, 0, 0, 0, 0), 30);
  EXPECT_EQ(w.fontSize, 30);
  EXPECT_EQ(w.SetWindowSubFont(-5), 16);
  EXPECT_EQ(w.SetWindowSubFont(12), 16);
  EXPECT_EQ(w.subFontSize, 12);
  w.SetWindowFontName(std::string(100, 'f').c_str());
  EXPECT_EQ(std::string(w.fontFace), std::string(63, 'f'));

  struct Case {
    int style;
    float left, top, right, bottom;
    int spacing, subFont;
  } cases[] = {{0, 8, 8, 8, 8, 4, 12},    {3, 8, 8, 8, 8, 4, 12},  {4, 36, 8, 8, 8, 4, 12},
               {5, 20, 8, 8, 8, 4, 12},   {6, 8, 36, 8, 8, 4, 16}, {7, 122, 8, 4, 8, 4, 24},
               {9, 0, 0, 0, 0, 0, 24},    {-3, 0, 0, 0, 0, 0, 24}};
  for (const Case& c : cases) {
    w.SetWindowSkinStyle(c.style);
    EXPECT_EQ(w.style, c.style);
    EXPECT_EQ(w.marginLeft, c.left) << c.style;
    EXPECT_EQ(w.marginTop, c.top) << c.style;
    EXPECT_EQ(w.marginRight, c.right) << c.style;
    EXPECT_EQ(w.marginBottom, c.bottom) << c.style;
    EXPECT_EQ(w.lineSpacing, c.spacing) << c.style;
    EXPECT_EQ(w.subFontSize, c.subFont) << c.style;
  }

  w.width = 100;
  w.height = 40;
  w.SetWindowAnchor(ui::kAnchorRight | ui::kAnchorBottom);
  EXPECT_EQ(w.anchorX, 100.0f);
  EXPECT_EQ(w.anchorY, 40.0f);
  w.SetWindowAnchor(0);
  EXPECT_EQ(w.anchorX, 50.0f);
  EXPECT_EQ(w.anchorY, 20.0f);
}

TEST(Windows, SpritesFillTheFirstFreeEntryAndTheListDoubles) {
  MessageWindow w;
  render::DisplayObject objects[6];
  for (render::DisplayObject& o : objects) {
    o.SetObjectVisible(1);
    EXPECT_EQ(w.AddWindowSprite(&o), 1);
    EXPECT_FALSE(o.IsObjectShown());  // the window draws it
  }
  EXPECT_EQ(w.sprites.size(), 8u);
  EXPECT_EQ(w.DeleteWindowSprite(&objects[1]), 1);
  EXPECT_EQ(w.DeleteWindowSprite(&objects[1]), 0);
  render::DisplayObject extra;
  w.AddWindowSprite(&extra);
  EXPECT_EQ(w.sprites[1], &extra);
  EXPECT_EQ(w.DeleteWindowSprite(nullptr), 1);
  EXPECT_TRUE(w.sprites.empty());
  EXPECT_EQ(w.DeleteWindowSprite(&extra), 0);
  EXPECT_EQ(w.AddWindowSprite(nullptr), 0);
}

TEST(Windows, FramePiecesFillTheWindowExactly) {
  MessageWindow w;
  w.style = 0;  // corners of 16
  w.SetObjectPosition(10, 20, 0);
  w.SetObjectScale(1, 1, 1);
  w.width = 100;
  w.height = 60;
  float ox = 0, oy = 0;
  auto pieces = ui::ComputeFramePieces(w, 48, 48, 5, -5, &ox, &oy);
  EXPECT_EQ(ox, 15.0f);
  EXPECT_EQ(oy, 15.0f);
  // Centre: one texel stretched over W - tw + 1 and H - th + 1.
  EXPECT_EQ(pieces[0].left, 15.5f);
  EXPECT_EQ(pieces[0].right, 16.5f);
  EXPECT_EQ(pieces[0].scaleX, 53.0f);
  EXPECT_EQ(pieces[0].scaleY, 13.0f);
  // Left corner, stretched middle and right corner add up to the width.
  EXPECT_EQ((pieces[1].right - pieces[1].left) + pieces[5].scaleX + (pieces[2].right - pieces[2].left), 100.0f);
  EXPECT_EQ(pieces[4].x, 115.0f);  // bottom-right placed at the far corner
  EXPECT_EQ(pieces[4].y, 75.0f);
  EXPECT_EQ(pieces[4].align, render::kAlignRight | render::kAlignBottom);

  // Exactly the skin's size: stretch 1, corners unshrunk.
  w.width = w.height = 48;
  pieces = ui::ComputeFramePieces(w, 48, 48, 0, 0);
  EXPECT_EQ(pieces[0].scaleX, 1.0f);
  EXPECT_EQ(pieces[1].scaleX, 1.0f);

  // Narrower than the skin: no stretch, corners shrunk by W / tw.
  w.width = 24;
  pieces = ui::ComputeFramePieces(w, 48, 48, 0, 0);
  EXPECT_EQ(pieces[0].scaleX, 0.0f);
  EXPECT_EQ(pieces[1].scaleX, 0.5f);

  // A skin of no size or a style without corners gives finite pieces.
  w.style = 200;
  for (const ui::FramePiece& p : ui::ComputeFramePieces(w, 0, 0, 0, 0)) {
    EXPECT_TRUE(std::isfinite(p.scaleX) && std::isfinite(p.scaleY));
  }
  EXPECT_EQ(ui::GetFrameStyle(7).subY, -25);
  EXPECT_EQ(ui::GetFrameStyle(16).cutX, 0);
  EXPECT_EQ(ui::GetFrameStyle(-1).cutX, 0);
}

TEST(Windows, DrawingOrderIsByKeyThenIndex) {
  WindowManager windows;
  MessageWindow* a = windows.CreatePlaneWindow(0, 0, 0, 0, 10, 10, -1);
  MessageWindow* b = windows.CreatePlaneWindow(0, 0, 0, 0, 10, 10, -1);
  MessageWindow* c = windows.CreatePlaneWindow(0, 0, 0, 0, 10, 10, -1);
  c->drawOrder = 3;
  std::vector<MessageWindow*> expect = {c, a, b};
  EXPECT_EQ(windows.DrawingOrder(), expect);
  // Without a renderer nothing is drawn, and nothing breaks.
  windows.DrawWindows();
  EXPECT_EQ(windows.DrawWindow(a, 0, 0), 0);
  a->SetObjectVisible(0);
  EXPECT_EQ(windows.DrawWindow(a, 0, 0), -1);
  EXPECT_EQ(windows.DrawWindow(nullptr, 0, 0), -1);
}

// Skin numbers outside the table of 16 never reach it: such a window has no
// frame, and loading such a skin is refused.
TEST(Windows, SkinNumbersOutsideTheTableDrawWithoutASkin) {
  WindowManager windows;
  for (int skin : {-1, 16, 1000, -2147483647 - 1}) {
    MessageWindow* w = windows.CreatePlaneWindow(skin, 0, 0, 0, 50, 50, -1);
    ASSERT_NE(w, nullptr) << skin;
    EXPECT_NE(w->surface, nullptr);
    Step(w, 10);
    EXPECT_EQ(windows.DrawWindow(w, 0, 0), 0);
    EXPECT_EQ(windows.Skin(skin), nullptr);
  }
  EXPECT_EQ(windows.LoadWindowSkins(16, "x.png"), -1);
  EXPECT_EQ(windows.LoadWindowSkins(3, "x.png"), 0);
  // Without a renderer the skins cannot load, and the manager keeps trying.
  EXPECT_EQ(windows.LoadWindowSkins(-1, nullptr), 0);
  EXPECT_EQ(windows.SkinsLoaded(), 0);
  windows.ReleaseWindows();
  EXPECT_EQ(windows.CountOpen(), 0);
}

// The run-time error window: the whole 2D layer, white text, sub-text
// colour 0xFF8080, stays until closed.
TEST(Windows, ErrorWindowCoversTheLayerAndStays) {
  WindowManager windows;
  WindowManager::ShowErrorWindow(&windows, "bad\\nthing");
  MessageWindow* w = windows.Window(0);
  ASSERT_FALSE(w->IsFree());
  EXPECT_EQ(w->width, 1024);
  EXPECT_EQ(w->height, 768);
  EXPECT_EQ(w->GetObjectPosition().x, -512.0f);
  EXPECT_EQ(w->GetObjectPosition().y, -384.0f);
  EXPECT_EQ(w->text, "bad\nthing");
  EXPECT_EQ(w->subTextColor, 0xFF8080u);
  windows.StepWindows(nullptr, nullptr, nullptr);
  Step(w, 5000);
  EXPECT_EQ(w->state, ui::kWindowShown);
}

}  // namespace
