// app_log_test.cpp -- "system.log": line bytes, levels, the size limit and
// open failures.

#include <gtest/gtest.h>

#include <regex>

#include "core/core_public.h"
#include "platform/platform_public.h"
#include "test_support.h"

namespace {

// Splits a log into its lines (each ending CR LF) and checks every line's
// time stamp; returns the texts after the stamps.
std::vector<std::string> LogTexts(const std::string& log) {
  std::vector<std::string> texts;
  static const std::regex stamp("^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{3}\\|");
  size_t pos = 0;
  while (pos < log.size()) {
    size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(pos, end - pos);
    EXPECT_TRUE(std::regex_search(line, stamp)) << line;
    texts.push_back(line.size() >= 13 ? line.substr(13) : line);
    pos = end + 2;
  }
  return texts;
}

TEST(LogSystem, LineFormatAndLineEnds) {
  test::ScopedWorkFolder work;
  {
    core::LogSystem log("test.log", 0);
    EXPECT_FALSE(log.IsOpen());  // opened by the first line
    EXPECT_EQ(log.WriteLog("one\ntwo", 0), 13 + 10);
    log.WriteLog("ends in crlf\r\n", 0);
    log.WriteLog("ends in lf\n", 0);
    log.WriteLog("", 0);
    log.WriteLog("a\r\nb\n\nc", 0);
  }
  std::string bytes = test::ReadFile("test.log");
  // Every line feed in the file belongs to a CR LF pair.
  for (size_t i = 0; i < bytes.size(); i++) {
    if (bytes[i] != '\n') continue;
    ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << i;
  }
  std::vector<std::string> expected = {
      test::Sjis("test.log:ログの取得を開始します。"),
      "one", "two", "ends in crlf", "ends in lf", "", "a", "b", "", "c",
      test::Sjis("ログファイルをクローズします。"),
  };
  // A time stamp starts only the first line of each call.
  EXPECT_EQ(bytes.substr(12, 1), "|");
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find("\r\n", pos);
    lines.push_back(bytes.substr(pos, end - pos));
    pos = end + 2;
  }
  ASSERT_EQ(lines.size(), expected.size());
  const bool stamped[] = {true, true, false, true, true, true, true, false, false, false, true};
  for (size_t i = 0; i < lines.size(); i++) {
    std::string text = stamped[i] ? lines[i].substr(13) : lines[i];
    EXPECT_EQ(text, expected[i]) << i;
    if (stamped[i]) {
      EXPECT_EQ(lines[i][12], '|');
    }
  }
}

TEST(LogSystem, LevelsAndThreshold) {
  test::ScopedWorkFolder work;
  {
    core::LogSystem log("levels.log", 0);
    EXPECT_GT(log.WriteLog("zero", 0), 0);
    log.SetLogLevel(1);
    EXPECT_EQ(log.WriteLog("dropped", 0), 0);
    EXPECT_GT(log.WriteLog("milestone", core::kLogMilestone), 0);
    EXPECT_GT(log.WriteLogf(core::kLogError, "error %d", 42), 0);
  }
  auto texts = LogTexts(test::ReadFile("levels.log"));
  // The closing line is level 0: below the threshold, it is dropped too.
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1], "zero");
  EXPECT_EQ(texts[2], "milestone");
  EXPECT_EQ(texts[3], "error 42");
}

TEST(LogSystem, TruncatesTheOldLogAtTheFirstLine) {
  test::ScopedWorkFolder work;
  test::WriteFile("old.log", std::string(5000, 'x'));
  {
    core::LogSystem log("old.log", 0);
    EXPECT_EQ(test::ReadFile("old.log").size(), 5000u);  // untouched until a line
    log.WriteLog("new", 0);
  }
  auto texts = LogTexts(test::ReadFile("old.log"));
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[1], "new");
}

TEST(LogSystem, StopsJustUnderSixteenMegabytesWithOneMessage) {
  test::ScopedWorkFolder work;
  std::string chunk(65536 - 15, 'L');  // with stamp and CR LF: 65536 bytes a line
  uint64_t written = 0;
  int dropped = 0;
  {
    core::LogSystem log("big.log", 0);
    for (int i = 0; i < 300; i++) {
      int n = log.WriteLog(chunk.c_str(), 0);
      if (n == 0) dropped++;
      written += uint64_t(n);
    }
    EXPECT_EQ(log.WriteLog("small line after the limit", 0), 0);
  }
  EXPECT_GT(dropped, 0);
  std::string bytes = test::ReadFile("big.log");
  const std::string limit = test::Sjis("ログファイルの容量は16MBまでです。");
  ASSERT_EQ(limit.size(), 34u);
  EXPECT_LE(bytes.size(), core::LogSystem::kSizeLimit + limit.size());
  EXPECT_GT(bytes.size(), core::LogSystem::kSizeLimit - 65536);
  // The limit message stands once, at the very end, after the last whole line.
  EXPECT_EQ(bytes.substr(bytes.size() - 34), limit);
  EXPECT_EQ(bytes.find(limit), bytes.size() - 34);
  EXPECT_EQ(bytes.substr(bytes.size() - 36, 2), "\r\n");
}

TEST(LogSystem, OpenFailureShowsOneBoxAndStaysSilent) {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  {
    core::LogSystem log("no/such/folder/x.log", 0);
    EXPECT_EQ(log.WriteLog("a", 0), 0);
    EXPECT_EQ(log.WriteLog("b", 999), 0);
    EXPECT_EQ(log.OpenLog("other.log"), -1);  // failed once: never again
  }
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "LogSystem");
  EXPECT_EQ(boxes.Boxes()[0].text, test::Sjis("ログファイル[no/such/folder/x.log]のオープンに失敗しました。"));
  EXPECT_FALSE(platform::PathExists("other.log"));
}

TEST(LogSystem, ALogHeldByAnotherWriterIsNotWiped) {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  core::LogSystem first("shared.log", 0);
  first.WriteLog("first writer", 0);
  {
    core::LogSystem second("shared.log", 0);
    EXPECT_EQ(second.WriteLog("second writer", 0), 0);
  }
  EXPECT_EQ(boxes.Boxes().size(), 1u);
  auto texts = LogTexts(test::ReadFile("shared.log"));
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1], "first writer");
}

TEST(LogSystem, EmptyNameWritesNothing) {
  test::ScopedWorkFolder work;
  test::MessageBoxRecorder boxes;
  core::LogSystem log(nullptr, 0);
  EXPECT_EQ(log.WriteLog("x", 0), 0);
  EXPECT_EQ(log.OpenLog(""), 0);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(platform::ListDirectory(".").empty());
}

}  // namespace
