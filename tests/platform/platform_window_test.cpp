// platform_window_test.cpp -- the main window and posted events, headless.

#include <gtest/gtest.h>

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

}  // namespace
