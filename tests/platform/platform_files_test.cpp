// platform_files_test.cpp -- name resolution, listings and path tests.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform_public.h"
#include "test_support.h"

namespace {

TEST(ResolvePath, MatchesGameDataNamesWithoutCase) {
  test::ScopedWorkFolder work;
  test::WriteFile("ZadAzorad/Se/01_Enter1.wav", "x");
  test::WriteFile("Game/script/Main.rsp", "x");

  struct Case {
    const char* name;
    const char* resolved;
  };
  const Case cases[] = {
      {"ZadAzorad\\Se\\01_Enter1.wav", "ZadAzorad/Se/01_Enter1.wav"},
      {"zadazorad\\SE\\01_enter1.WAV", "ZadAzorad/Se/01_Enter1.wav"},
      {"GAME/Script\\main.RSP", "Game/script/Main.rsp"},
      {"./game/script/main.rsp", "./Game/script/Main.rsp"},
      // What does not exist keeps its spelling from the first missing part.
      {"game\\Missing\\File.txt", "Game/Missing/File.txt"},
      {"ZadAzorad\\Se\\NoSuch.wav", "ZadAzorad/Se/NoSuch.wav"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::ResolvePath(c.name), c.resolved) << c.name;

  // Absolute paths resolve too.
  std::string absolute = work.Path() + "/zadazorad/se/01_ENTER1.wav";
  EXPECT_EQ(platform::ResolvePath(absolute), work.Path() + "/ZadAzorad/Se/01_Enter1.wav");
}

TEST(ResolvePath, FindsShiftJisNamesStoredAsUtf8) {
  test::ScopedWorkFolder work;
  test::WriteFile("データ/設定.txt", "x");  // stored in UTF-8 on this disk
  std::string sjis = test::Sjis("データ\\設定.txt");
  EXPECT_EQ(platform::ResolvePath(sjis), "データ/設定.txt");
  EXPECT_TRUE(platform::PathExists(platform::ResolvePath(sjis).c_str()));
  // "表" ends in the byte of "\\": it stays part of the name.
  test::WriteFile("表/能.txt", "x");
  EXPECT_EQ(platform::ResolvePath(test::Sjis("表\\能.txt")), "表/能.txt");
  EXPECT_EQ(platform::ResolvePath("表\\x"), "表/x");  // UTF-8 as given: every "\\" separates
}

TEST(CompareNamesNoCase, FoldsAsciiButNotSecondBytes) {
  EXPECT_EQ(platform::CompareNamesNoCase("Abc.RSP", "aBC.rsp"), 0);
  EXPECT_LT(platform::CompareNamesNoCase("a", "B"), 0);
  EXPECT_LT(platform::CompareNamesNoCase("ab", "abc"), 0);
  // "ア" is 83 41 and "ャ" is 83 61: the second bytes look like "A" and "a"
  // but name different characters.
  EXPECT_NE(platform::CompareNamesNoCase("\x83\x41", "\x83\x61"), 0);
  EXPECT_EQ(platform::CompareNamesNoCase("\x83\x41x", "\x83\x41X"), 0);
}

TEST(ListDirectory, SortsWithoutCaseAndSkipsDots) {
  test::ScopedWorkFolder work;
  for (const char* name : {"b.rsp", "A.rsp", "c", "B.txt", "a.pac"}) test::WriteFile(name, "12345");
  std::filesystem::create_directory("Folder");
  auto entries = platform::ListDirectory(".");
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.pac", "A.rsp", "b.rsp", "B.txt", "c", "Folder"}));
  EXPECT_EQ(entries[0].size, 5u);
  EXPECT_FALSE(entries[0].isDirectory);
  EXPECT_TRUE(entries[5].isDirectory);
  EXPECT_TRUE(platform::ListDirectory("no-such-folder").empty());
}

TEST(FileHelpers, PathTestsFoldersAndWriteTimes) {
  test::ScopedWorkFolder work;
  EXPECT_TRUE(platform::MakeDirectories("a\\b/c"));
  EXPECT_TRUE(platform::IsDirectory("a/b/c"));
  EXPECT_TRUE(platform::MakeDirectories("a/b/c"));  // existing: fine
  test::WriteFile("a/f.txt", "x");
  EXPECT_TRUE(platform::PathExists("a/f.txt"));
  EXPECT_FALSE(platform::IsDirectory("a/f.txt"));
  EXPECT_FALSE(platform::PathExists("a/g.txt"));
  EXPECT_FALSE(platform::PathExists(""));

  platform::FileTime t1 = 0, t2 = 0;
  ASSERT_TRUE(platform::GetFileWriteTime("a/f.txt", &t1));
  // 100 ns ticks since 1601: a file written now is past 2020 (0x01D5C0...).
  EXPECT_GT(t1, 132223104000000000ull);
  std::filesystem::last_write_time("a/f.txt", std::filesystem::last_write_time("a/f.txt") +
                                                  std::chrono::seconds(2));
  ASSERT_TRUE(platform::GetFileWriteTime("a/f.txt", &t2));
  EXPECT_EQ(t2 - t1, 20000000ull);
  EXPECT_FALSE(platform::GetFileWriteTime("a/none", &t2));
  EXPECT_EQ(platform::WorkingFolder(), work.Path());
}

}  // namespace
