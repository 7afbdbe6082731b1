// app_window_test.cpp -- the main window's procedure: Ctrl+P asks the world
// for a screenshot, Shift's held state is kept for it, and a resized or
// minimised window carries the renderer and the world along.

#include <gtest/gtest.h>

#include <iterator>
#include <utility>

#include "app/app_local.h"
#include "test_support.h"

namespace {

platform::Event Key(platform::EventKind kind, int key, bool ctrl, bool shift) {
  platform::Event ev;
  ev.kind = kind;
  ev.key = key;
  ev.ctrl = ctrl;
  ev.shift = shift;
  return ev;
}

platform::Event Resize(int width, int height) {
  platform::Event ev;
  ev.kind = platform::EventKind::Resize;
  ev.x = width;
  ev.y = height;
  return ev;
}

TEST(MainWindow, CtrlPAsksForAScreenshotAndShiftIsKeptHeld) {
  using platform::EventKind;
  constexpr int kShift = platform::kVkShift;
  struct Step {
    platform::Event event;
    int request;  // screenshotRequest after the event (cleared before it)
    int shift;    // shiftHeld after the event
  };
  const Step steps[] = {
      {Key(EventKind::KeyDown, 'P', false, false), 0, 0},       // P alone
      {Key(EventKind::KeyDown, 'O', true, false), 0, 0},        // Ctrl with another key
      {Key(EventKind::KeyUp, 'P', true, false), 0, 0},          // only the key going down
      {Key(EventKind::KeyDown, 'P', true, false), 1, 0},
      {Key(EventKind::KeyDown, kShift, false, true), 0, 1},     // Shift down
      {Key(EventKind::KeyDown, 'P', true, true), 1, 1},         // Ctrl+Shift+P: the request, Shift kept
      {Key(EventKind::KeyUp, 'P', true, true), 0, 1},
      {Key(EventKind::KeyUp, kShift, false, false), 0, 0},      // Shift up
      {Key(EventKind::KeyDown, 'A', false, true), 0, 1},        // Shift went down elsewhere
      {Key(EventKind::KeyUp, 'A', false, false), 0, 0},         // and came up elsewhere
  };
  app::Engine engine;
  for (size_t i = 0; i < std::size(steps); i++) {
    engine.world.screenshotRequest = 0;
    app::MainWndProc(engine, steps[i].event);
    EXPECT_EQ(engine.world.screenshotRequest, steps[i].request) << "step " << i;
    EXPECT_EQ(engine.world.shiftHeld, steps[i].shift) << "step " << i;
  }
}

// The key typed into the window comes through the event queue with the
// modifiers it was typed with, whatever the keyboard's state when the queue
// is read.
TEST(MainWindow, TypedKeysReachTheProcedureThroughTheQueue) {
  app::Engine engine;
  ASSERT_EQ(engine.graphics.CreateDirect3D(), 1);
  platform::Window* window = engine.graphics.CreateMainWindow("test", false, 0, 0, 64, 48);
  ASSERT_NE(window, nullptr);
  platform::Event ev;
  while (platform::PollEvent(&ev)) {
  }
  platform::PostKeyEvent(window, true, platform::kVkShift, false, true);
  platform::PostKeyEvent(window, true, 'P', true, true);
  while (platform::PollEvent(&ev)) app::MainWndProc(engine, ev);
  EXPECT_EQ(engine.world.screenshotRequest, 1);
  EXPECT_EQ(engine.world.shiftHeld, 1);
  platform::PostKeyEvent(window, false, platform::kVkShift, false, false);
  while (platform::PollEvent(&ev)) app::MainWndProc(engine, ev);
  EXPECT_EQ(engine.world.shiftHeld, 0);
  app::DestroyMainWindow(engine);
}

// A resize gives the renderer the new client size and a back buffer of that
// size with its full viewport, and asks the world for new targets; a
// minimised window reports no height, keeps its buffer, and frames still
// present; coming back at the same size asks for nothing.
TEST(MainWindow, AResizeAndAMinimiseCarryTheRendererAlong) {
  test::ScopedWorkFolder work;
  app::Engine engine;
  render::GraphicsSystem& gs = engine.graphics;
  ASSERT_EQ(gs.CreateDirect3D(), 1);
  platform::Window* window = gs.CreateMainWindow("test", false, 0, 0, 64, 48);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(gs.InitDevice(1), 1);
  // A registered target lives through the resize at its own size.
  render::TextureHolder target;
  ASSERT_EQ(target.CreateRenderTarget(gs, 32, 16, platform::kFmtA8R8G8B8), 0u);
  EXPECT_EQ(gs.PresentFrame(), 0);

  auto expectSize = [&](int w, int h, const char* what) {
    int cw = 0, ch = 0, sw = 0, sh = 0;
    gs.GetClientSize(&cw, &ch);
    gs.GetScreenSize(&sw, &sh);
    EXPECT_EQ(cw, w) << what;
    EXPECT_EQ(ch, h) << what;
    platform::GfxViewport v = gs.Gfx().GetViewport(gs.GetDevice());
    EXPECT_EQ(v.width, sw) << what;
    EXPECT_EQ(v.height, sh) << what;
    return std::pair{sw, sh};
  };

  // The window system's own resize, through the queue.
  platform::SetWindowClientSize(window, 96, 72);
  platform::Event ev;
  bool resized = false;
  while (platform::PollEvent(&ev)) {
    resized = resized || ev.kind == platform::EventKind::Resize;
    app::MainWndProc(engine, ev);
  }
  ASSERT_TRUE(resized);
  EXPECT_EQ(engine.world.renderRebuild, 1);
  EXPECT_EQ(expectSize(96, 72, "after the resize"), (std::pair{96, 72}));
  // A frame draws at the new size: the back buffer bound again after a
  // target has the new viewport, and the frame presents.
  ASSERT_NE(target.texture, nullptr);
  EXPECT_EQ(target.width, 32);
  gs.SetRenderTarget(&target, 0, 1);
  gs.SetRenderTarget(nullptr, 0, 1);
  EXPECT_EQ(expectSize(96, 72, "after a frame's targets"), (std::pair{96, 72}));
  EXPECT_EQ(gs.PresentFrame(), 0);

  // Minimised: no client height, the back buffer stays, frames present.
  engine.world.renderRebuild = 0;
  app::MainWndProc(engine, Resize(96, 0));
  EXPECT_EQ(engine.world.renderRebuild, 0);
  EXPECT_EQ(expectSize(96, 0, "minimised"), (std::pair{96, 72}));
  EXPECT_EQ(gs.PresentFrame(), 0);
  EXPECT_EQ(gs.PresentFrame(), 0);

  // Back at the same size: nothing to rebuild. At another: a rebuild.
  app::MainWndProc(engine, Resize(96, 72));
  EXPECT_EQ(engine.world.renderRebuild, 0);
  expectSize(96, 72, "restored");
  app::MainWndProc(engine, Resize(120, 90));
  EXPECT_EQ(engine.world.renderRebuild, 1);
  EXPECT_EQ(expectSize(120, 90, "restored larger"), (std::pair{120, 90}));
  EXPECT_EQ(gs.PresentFrame(), 0);

  target.ReleaseTexture(gs);
  app::DestroyMainWindow(engine);
}

}  // namespace
