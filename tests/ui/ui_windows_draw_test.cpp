// ui_windows_draw_test.cpp -- windows drawn for real on a hidden window:
// a skinned frame read back pixel by pixel, a window whose skin is missing
// (text only), and the drawn look of every window kind saved for viewing
// when TKW4_WINDOW_SHOTS names a folder.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "render/render_fixture.h"
#include "test_support.h"

#include "core/core_public.h"
#include "ui/ui_public.h"

namespace {

class WindowDraw : public rendertest::RenderFixture {
 protected:
  ui::WindowManager windows;

  // A 256 x 192 target: one pixel is 4 units of the 2D layer.
  void Begin(int w = 256, int h = 192) {
    Start(1, w, h);
    gs.PresentFrame();  // fonts are made once the device has presented
    windows.graphics = &gs;
    UseTarget(w, h);
    gs.SetCamera2D(0.0f, 0.0f, 0.0f, 1.0f);
  }

  // A 48 x 48 skin: red corners, green edges and a blue middle where the
  // middle rows and columns (15 and 16, both sides of the cut at 16) cross;
  // the cut samples the two texels it lies between.
  void MakeSkin(int n) {
    std::vector<uint32_t> pixels(48 * 48);
    for (int y = 0; y < 48; y++)
      for (int x = 0; x < 48; x++) {
        bool edgeX = x < 15 || x > 16, edgeY = y < 15 || y > 16;
        pixels[size_t(y * 48 + x)] = edgeX && edgeY ? 0xFF0000 : edgeX || edgeY ? 0x00FF00 : 0x0000FF;
      }
    std::string bmp = rendertest::MakeBmp(48, 48, pixels);
    render::TextureHolder* skin = windows.Skin(n);
    ASSERT_NE(skin->LoadTextureFromMemory(gs, bmp.data(), int(bmp.size()), render::kTexNoColorKey), 0);
    skin->SetTextureFlags(render::kTexAddressMirror);
  }

  void Open(ui::MessageWindow* w) {
    for (int i = 0; i < 8; i++) w->StepWindow(nullptr, nullptr, nullptr);
  }

  void Shot(const char* name) {
    if (const char* folder = std::getenv("TKW4_WINDOW_SHOTS"))
      target.SaveTexture(gs, (std::string(folder) + "/" + name + ".bmp").c_str());
  }

  // Pixels of the target that are not black.
  int Lit(int x0, int y0, int x1, int y1) {
    int lit = 0;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) {
        std::vector<int> p = Pixel(x, y);
        lit += (p[0] | p[1] | p[2]) ? 1 : 0;
      }
    return lit;
  }
};

TEST_F(WindowDraw, ASkinnedFrameStretchesItsMiddleAndKeepsItsCorners) {
  Begin();
  MakeSkin(0);
  // 400 x 300 units from (-200, -160): pixels 78..178 by 56..131.
  ui::MessageWindow* w = windows.CreatePlaneWindow(0, -200.0f, -160.0f, 0.0f, 400, 300, -1);
  ASSERT_NE(w, nullptr);
  Open(w);
  windows.DrawWindows();
  Shot("skinned_plane");
  EXPECT_EQ(Pixel(80, 58), (std::vector<int>{255, 0, 0}));    // top-left corner
  EXPECT_EQ(Pixel(176, 129), (std::vector<int>{255, 0, 0}));  // bottom-right corner
  EXPECT_EQ(Pixel(128, 58), (std::vector<int>{0, 255, 0}));   // top edge
  EXPECT_EQ(Pixel(80, 96), (std::vector<int>{0, 255, 0}));    // left edge
  EXPECT_EQ(Pixel(128, 96), (std::vector<int>{0, 0, 255}));   // the stretched middle
  EXPECT_EQ(Pixel(60, 96), (std::vector<int>{0, 0, 0}));      // outside
  EXPECT_EQ(Pixel(128, 140), (std::vector<int>{0, 0, 0}));
}

TEST_F(WindowDraw, AWindowWithoutItsSkinShowsOnlyItsText) {
  Begin();
  // No skin files exist here: skin 5 did not load, skin 40 is not in the
  // table. Both windows draw their text and no frame.
  for (int skin : {5, 40}) {
    gs.SetRenderTarget(&target, 0, 1);
    windows.CloseWindows(-1);
    ui::MessageWindow* w = windows.CreatePlaneWindow(skin, -200.0f, -160.0f, 0.0f, 400, 300, -1);
    ASSERT_NE(w, nullptr);
    Open(w);
    windows.DrawWindows();
    EXPECT_EQ(Lit(0, 0, 256, 192), 0) << skin;  // empty text: nothing at all
    w->SetWindowText(nullptr, "Window text");
    Open(w);
    windows.DrawWindows();
    int inside = Lit(78, 56, 178, 131);
    EXPECT_GT(inside, 20) << skin;
    EXPECT_EQ(Lit(0, 0, 256, 192), inside) << skin;
  }
}

TEST_F(WindowDraw, EveryWindowKindDraws) {
  Begin(512, 384);  // one pixel is 2 units
  MakeSkin(0);
  MakeSkin(6);
  ui::MessageWindow* plane = windows.CreatePlaneWindow(0, -480.0f, -360.0f, 0.0f, 440, 200, -1);
  plane->SetWindowText(core::Sjis("下位"), core::Sjis("日本語のテキスト\\nand English"));
  ui::MessageWindow* menu = windows.CreateSelectWindow(0, 40.0f, -360.0f, 0.0f, 300, "one\\ntwo\\nthree\\nfour\\nfive", 3);
  menu->SetWindowCursor(1);
  ui::MessageWindow* styled = windows.CreatePlaneWindow(6, -480.0f, 0.0f, 0.0f, 600, 300, -1);
  styled->SetWindowSkinStyle(6);
  styled->SetWindowText("Title", "Style six");
  for (int i = 0; i < 40; i++) windows.StepWindows(nullptr, nullptr, nullptr);
  windows.DrawWindows();
  Shot("window_kinds");
  EXPECT_GT(Lit(16, 12, 236, 112), 800);   // the plane window
  EXPECT_GT(Lit(276, 12, 426, 96), 800);   // the menu with its scroll bar
  EXPECT_GT(Lit(16, 192, 316, 342), 800);  // the style-6 window
  EXPECT_EQ(Lit(460, 200, 512, 384), 0);   // nothing elsewhere
  ui::WindowManager::ShowErrorWindow(&windows, "Error text\\nF12");
  for (int i = 0; i < 40; i++) windows.StepWindows(nullptr, nullptr, nullptr);
  gs.SetRenderTarget(&target, 0, 1);
  windows.DrawWindows();
  Shot("error_window");
}

}  // namespace

namespace {

// The system package's sixteen skins, loaded by their file names from the
// content folder, frame a window of every style.
class SystemSkins : public WindowDraw {
 protected:
  test::ScopedWorkFolder folder;
  core::FilePackageTable packages;
};

TEST_F(SystemSkins, EverySkinLoadsAndFramesItsWindow) {
  const char* root = std::getenv("TKW4_SOURCE_DIR");
  std::filesystem::create_directory_symlink(std::filesystem::path(root ? root : ".") / "games" / "ZadAzorad",
                                            "ZadAzorad");
  gs.packages = &packages;
  Begin(1024, 768);  // one pixel a unit
  ASSERT_EQ(windows.LoadWindowSkins(-1, nullptr), 0);
  EXPECT_EQ(windows.LoadWindowSkins(-1, nullptr), -1);  // once only
  for (int n = 0; n < ui::WindowManager::kSkinCount; n++) {
    EXPECT_GT(windows.Skin(n)->width, 0) << n;
    EXPECT_TRUE(windows.Skin(n)->GetTextureFlags() & render::kTexAddressMirror) << n;
  }
  // Styles 0 to 7 in two rows of four; each window 240 x 300 at x0, y0.
  for (int n = 0; n < 8; n++) {
    float x0 = -500.0f + float(n % 4) * 250.0f, y0 = -370.0f + float(n / 4) * 370.0f;
    ui::MessageWindow* w = windows.CreatePlaneWindow(n, x0, y0, 0.0f, 240, 300, -1);
    ASSERT_NE(w, nullptr);
    w->SetWindowSkinStyle(n);
    w->SetWindowText(("Sub " + std::to_string(n)).c_str(), core::Sjis("スタイル\\nstyle text"));
  }
  ui::MessageWindow* menu = windows.CreateSelectWindow(8, 300.0f, 320.0f, 0.0f, 180, "one\\ntwo\\nthree\\nfour", 2);
  menu->SetWindowCursor(1);
  for (int i = 0; i < 40; i++) windows.StepWindows(nullptr, nullptr, nullptr);
  windows.DrawWindows();
  Shot("system_skins");
  // Every framed window shows something at its middle.
  for (int n = 0; n < 8; n++) {
    int px = 512 - 500 + (n % 4) * 250 + 120, py = 384 - 370 + (n / 4) * 370 + 150;
    EXPECT_GT(Lit(px - 5, py - 5, px + 5, py + 5), 0) << n;
  }
  windows.ReleaseWindows();
  EXPECT_EQ(windows.SkinsLoaded(), 0);
  EXPECT_EQ(windows.Skin(0)->width, 0);
}

}  // namespace
