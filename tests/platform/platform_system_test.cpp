// platform_system_test.cpp -- text conversion, clock and message boxes.

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/platform_public.h"
#include "test_support.h"

namespace {

TEST(TextConversion, Cp932RoundTripsAndKeepsBackslash) {
  std::string utf8 = "ファイル\\表示 ｱｲｳ ＭＳ ゴシック ①";
  std::string sjis = platform::Utf8ToCp932(utf8);
  // "表" is 95 5C: its second byte is a backslash that must survive.
  EXPECT_NE(sjis.find("\x95\x5C"), std::string::npos);
  EXPECT_EQ(sjis.substr(8, 1), "\\");
  EXPECT_EQ(platform::Cp932ToUtf8(sjis), utf8);
  // Half-width katakana are one byte each.
  EXPECT_NE(sjis.find("\xB1\xB2\xB3"), std::string::npos);
  EXPECT_EQ(platform::Cp932ToUtf8(""), "");
  // A lone lead byte at the end cannot convert: it becomes "?".
  EXPECT_EQ(platform::Cp932ToUtf8("ab\x83"), "ab?");
  EXPECT_EQ(platform::Utf8ToCp932("x\xFFy"), "x?y");
}

TEST(Clock, MonotonicAndInjectable) {
  uint32_t a = platform::MonotonicMs();
  platform::SleepMs(5);
  uint32_t b = platform::MonotonicMs();
  EXPECT_GE(b - a, 4u);
  EXPECT_LT(b - a, 1000u);

  uint32_t fake = 0xFFFFFFF0u;
  platform::Clock clock;
  clock.source = [](void* user) { return *static_cast<uint32_t*>(user); };
  clock.user = &fake;
  EXPECT_EQ(clock.NowMs(), 0xFFFFFFF0u);
  fake += 0x20;  // wraps
  EXPECT_EQ(clock.NowMs(), 0x10u);

  platform::LocalTime t = platform::GetLocalTime();
  EXPECT_GE(t.year, 2024);
  EXPECT_TRUE(t.month >= 1 && t.month <= 12);
  EXPECT_TRUE(t.milliseconds >= 0 && t.milliseconds <= 999);
}

TEST(MessageBox, HeadlessBoxesAreRecordedAndAnsweredInOrder) {
  test::ScopedWorkFolder work;
  ASSERT_TRUE(platform::IsHeadless());  // the tests run with offscreen video
  setenv("TKW4_MSGBOX", "boxes.txt", 1);
  setenv("TKW4_MSGBOX_ANSWERS", "no,cancel,7,ok", 1);

  std::vector<std::string> sunk;
  platform::SetDiagnosticSink([](void* user, const char* text) {
    static_cast<std::vector<std::string>*>(user)->push_back(text);
  }, &sunk);

  using namespace platform;
  EXPECT_EQ(ShowMessageBox(test::Sjis("保存しますか？\n二行目").c_str(), "Tarnwick4.22",
                           kMbYesNoCancel | kMbIconWarning), kIdNo);
  EXPECT_EQ(ShowMessageBox("a", "b", kMbOkCancel), kIdCancel);
  // "7" (No) is not a button of an OK box: the first button answers.
  EXPECT_EQ(ShowMessageBox("c", "d", kMbOk), kIdOk);
  EXPECT_EQ(ShowMessageBox("e", "f", kMbYesNo), kIdYes);  // "ok" likewise
  // The list is used up: first buttons from now on.
  EXPECT_EQ(ShowMessageBox("g", "h", kMbYesNo), kIdYes);
  platform::SetDiagnosticSink(nullptr, nullptr);
  unsetenv("TKW4_MSGBOX_ANSWERS");
  setenv("TKW4_MSGBOX", "1", 1);

  std::string record = test::ReadFile("boxes.txt");
  EXPECT_EQ(record.substr(0, record.find('\n') + 1), "Tarnwick4.22\t保存しますか？\\n二行目\t7\n");
  EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 5);
  ASSERT_EQ(sunk.size(), 5u);
  EXPECT_EQ(sunk[1], "MessageBox [b] a (answer 2)\n");
}

TEST(MessageBox, HookTakesPrecedence) {
  test::MessageBoxRecorder recorder(platform::kIdNo);
  EXPECT_EQ(platform::ShowMessageBox("t", "c", platform::kMbYesNo), platform::kIdNo);
  ASSERT_EQ(recorder.Boxes().size(), 1u);
  EXPECT_EQ(recorder.Boxes()[0].caption, "c");
}

}  // namespace
