// platform_window_test.cpp -- the main window and posted events, headless.

#include <gtest/gtest.h>

#include <vector>

#include "platform/platform_public.h"

namespace {

TEST(Window, PostedEventsComeBackInOrder) {
  ASSERT_TRUE(platform::InitVideo());
  EXPECT_GE(platform::DisplayCount(), 1);
  platform::WindowDesc desc;
  desc.title = "\x83\x65\x83\x58\x83\x67";  // "テスト" in Shift-JIS
  desc.width = 80;
  desc.height = 60;
  platform::Window* window = platform::CreateWindow(desc);
  ASSERT_NE(window, nullptr);
  int w = 0, h = 0;
  platform::GetWindowClientSize(window, &w, &h);
  EXPECT_EQ(w, 80);
  EXPECT_EQ(h, 60);

  platform::Event ev;
  while (platform::PollEvent(&ev)) {
  }  // whatever the window's creation queued

  int payload = 7;
  platform::PostCommandEvent(window, 32784);
  platform::PostAppEvent(window, 32769, &payload);
  platform::PostCloseEvent(window);

  std::vector<platform::Event> events;
  while (platform::PollEvent(&ev))
    if (ev.kind == platform::EventKind::Command || ev.kind == platform::EventKind::App ||
        ev.kind == platform::EventKind::Close)
      events.push_back(ev);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].kind, platform::EventKind::Command);
  EXPECT_EQ(events[0].code, 32784u);
  EXPECT_EQ(events[0].window, window);
  EXPECT_EQ(events[1].kind, platform::EventKind::App);
  EXPECT_EQ(events[1].code, 32769u);
  EXPECT_EQ(events[1].param, &payload);
  EXPECT_EQ(events[2].kind, platform::EventKind::Close);
  EXPECT_FALSE(platform::PollEvent(&ev));

  platform::DestroyWindow(window);
  platform::Shutdown();
}

// Keys typed into a window come back as key events with the modifiers they
// were typed with; a new client size comes back as a Resize event.
TEST(Window, TypedKeysAndResizesComeBackAsEvents) {
  ASSERT_TRUE(platform::InitVideo());
  platform::WindowDesc desc;
  desc.width = 80;
  desc.height = 60;
  platform::Window* window = platform::CreateWindow(desc);
  ASSERT_NE(window, nullptr);
  platform::Event ev;
  while (platform::PollEvent(&ev)) {
  }

  platform::PostKeyEvent(window, true, 'P', true, false);
  platform::PostKeyEvent(window, false, platform::kVkShift, false, true);
  platform::PostKeyEvent(window, true, platform::kVkF1, false, false);
  platform::PostKeyEvent(window, true, platform::kVkSnapshot, false, false);  // no SDL key: dropped
  std::vector<platform::Event> keys;
  while (platform::PollEvent(&ev))
    if (ev.kind == platform::EventKind::KeyDown || ev.kind == platform::EventKind::KeyUp) keys.push_back(ev);
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].kind, platform::EventKind::KeyDown);
  EXPECT_EQ(keys[0].key, 'P');
  EXPECT_TRUE(keys[0].ctrl);
  EXPECT_FALSE(keys[0].shift);
  EXPECT_EQ(keys[0].window, window);
  EXPECT_EQ(keys[1].kind, platform::EventKind::KeyUp);
  EXPECT_EQ(keys[1].key, platform::kVkShift);
  EXPECT_FALSE(keys[1].ctrl);
  EXPECT_TRUE(keys[1].shift);
  EXPECT_EQ(keys[2].key, platform::kVkF1);

  platform::SetWindowClientSize(window, 120, 90);
  bool resized = false;
  while (platform::PollEvent(&ev)) {
    if (ev.kind != platform::EventKind::Resize) continue;
    resized = true;
    EXPECT_EQ(ev.window, window);
    EXPECT_EQ(ev.x, 120);
    EXPECT_EQ(ev.y, 90);
  }
  EXPECT_TRUE(resized);
  int w = 0, h = 0;
  platform::GetWindowClientSize(window, &w, &h);
  EXPECT_EQ(w, 120);
  EXPECT_EQ(h, 90);

  platform::DestroyWindow(window);
  platform::Shutdown();
}

}  // namespace
