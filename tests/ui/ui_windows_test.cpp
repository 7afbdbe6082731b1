// ui_windows_test.cpp -- the message windows' table: opening plane windows
// until none is free, their texts with the "\n" line breaks and the bounded
// sub text, hiding, and colours.

#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/ui_public.h"

namespace {

TEST(Windows, PlaneWindowsOpenUntilNoneIsFree) {
  ui::WindowManager windows;
  ui::MessageWindow* first = windows.CreatePlaneWindow(3, -512.0f, -384.0f, 2.0f, 1024, 768, -1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, windows.Window(0));
  EXPECT_TRUE(first->shown);
  EXPECT_EQ(first->skin, 3);
  EXPECT_EQ(first->z, 2.0f);
  EXPECT_EQ(first->displayTime, -1);
  EXPECT_EQ(first->text, "");
  EXPECT_EQ(first->subText, "");
  for (int i = 1; i < ui::WindowManager::kWindowCount; i++)
    ASSERT_NE(windows.CreatePlaneWindow(0, 0, 0, 0, 1, 1, 60), nullptr) << i;
  EXPECT_EQ(windows.CreatePlaneWindow(0, 0, 0, 0, 1, 1, 60), nullptr);
  EXPECT_EQ(windows.CountOpen(), 256);
  EXPECT_EQ(windows.Window(256), nullptr);
  EXPECT_EQ(windows.Window(-1), nullptr);
}

TEST(Windows, TextsTakeLineBreaksAndTheSubTextIsBounded) {
  ui::WindowManager windows;
  ui::MessageWindow* w = windows.CreatePlaneWindow(0, 0, 0, 0, 100, 100, -1);
  // "\\n" is a line break, but not when its backslash is the second byte of
  // a two-byte character (表 is 95 5C).
  windows.SetWindowText(w, nullptr, test::Sjis("one\\ntwo 表n \\x").c_str());
  EXPECT_EQ(w->text, test::Sjis("one\ntwo 表n \\x"));
  EXPECT_EQ(w->subText, "");
  windows.SetWindowText(w, "sub", nullptr);  // a null text with a sub text hides
  EXPECT_FALSE(w->shown);
  EXPECT_EQ(w->subText, "sub");
  EXPECT_EQ(w->text, test::Sjis("one\ntwo 表n \\x"));
  windows.SetWindowText(w, nullptr, "back");
  EXPECT_TRUE(w->shown);
  EXPECT_EQ(w->subText, "sub");

  // The sub text keeps 127 bytes, never half a character.
  std::string sub(126, 'a');
  windows.SetWindowText(w, (sub + test::Sjis("表")).c_str(), nullptr);
  EXPECT_EQ(w->subText, sub);
  windows.SetWindowText(w, std::string(300, 'b').c_str(), nullptr);
  EXPECT_EQ(w->subText, std::string(127, 'b'));

  windows.SetWindowColors(w, 0x123456, 0xABCDEF);
  EXPECT_EQ(w->textColor, 0x123456u);
  EXPECT_EQ(w->subTextColor, 0xABCDEFu);
  windows.SetWindowText(nullptr, "x", "y");  // no window: nothing happens
  windows.SetWindowColors(nullptr, 1, 2);
}

}  // namespace
