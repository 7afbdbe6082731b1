// platform_files_test.cpp -- name resolution, listings, path tests, whole
// files replaced only once complete, and folders opened without links.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

// ----------------------------------------------------------------------------
// Whole files
// ----------------------------------------------------------------------------

int EntriesOf(const char* folder) {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder)) n += !e.path().empty();
  return n;
}

TEST(WholeFileWriter, AFailureAtAnyByteKeepsTheOldFile) {
  test::ScopedWorkFolder work;
  const std::string old = "the user's old file";
  const std::string fresh(5000, 'n');
  for (int64_t space : {int64_t(0), int64_t(1), int64_t(4096), int64_t(fresh.size()) - 1}) {
    SCOPED_TRACE(space);
    test::WriteFile("f.dat", old);
    platform::SetWholeFileSpaceForTesting(space);
    std::string why;
    bool ok = platform::WriteWholeFile("f.dat", fresh.data(), fresh.size(), &why);
    platform::SetWholeFileSpaceForTesting(-1);
    EXPECT_FALSE(ok);
    EXPECT_EQ(why, std::strerror(ENOSPC));
    EXPECT_EQ(test::ReadFile("f.dat"), old);
    EXPECT_EQ(EntriesOf("."), 1) << "no temporary file stays";
  }
  // With room it is replaced whole, keeping the old file's permissions; a
  // new file is made.
  ASSERT_EQ(::chmod("f.dat", 0600), 0);
  EXPECT_TRUE(platform::WriteWholeFile("f.dat", fresh.data(), fresh.size()));
  EXPECT_EQ(test::ReadFile("f.dat"), fresh);
  struct stat st;
  ASSERT_EQ(::stat("f.dat", &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(platform::WriteWholeFile("new.dat", "", 0));
  EXPECT_EQ(test::ReadFile("new.dat"), "");
  EXPECT_EQ(EntriesOf("."), 2);
}

TEST(WholeFileWriter, RefusesWhatIsNoRegularFileAndFollowsALinkByName) {
  test::ScopedWorkFolder work;
  ASSERT_EQ(::mkdir("folder", 0755), 0);
  ASSERT_EQ(::mkfifo("fifo", 0644), 0);
  ASSERT_EQ(::symlink("nowhere", "dangling"), 0);
  for (const char* path : {"folder", "fifo", "dangling", "missing-folder/f", ""}) {
    SCOPED_TRACE(path);
    std::string why;
    EXPECT_FALSE(platform::WriteWholeFile(path, "x", 1, &why));  // never blocks on the FIFO
    EXPECT_FALSE(why.empty());
  }
  struct stat st;
  ASSERT_EQ(::lstat("fifo", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(EntriesOf("."), 3);

  // By path, a link is followed: the file it names is replaced.
  test::WriteFile("real/target.txt", "old");
  ASSERT_EQ(::symlink("real/target.txt", "link.txt"), 0);
  EXPECT_TRUE(platform::WriteWholeFile("link.txt", "new", 3));
  EXPECT_EQ(test::ReadFile("real/target.txt"), "new");
  ASSERT_EQ(::lstat("link.txt", &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));

  // In a folder held open, a link is refused and stays as it was.
  int folder = ::open(".", O_RDONLY | O_DIRECTORY);
  platform::WholeFileWriter out;
  EXPECT_FALSE(out.BeginAt(folder, "link.txt"));
  EXPECT_FALSE(out.Error().empty());
  EXPECT_FALSE(out.Write("x", 1));
  EXPECT_FALSE(out.Commit());
  EXPECT_EQ(test::ReadFile("real/target.txt"), "new");
  ::close(folder);
}

TEST(WholeFileWriter, SkippedZerosAreHolesAndAbandoningKeepsTheOldFile) {
  test::ScopedWorkFolder work;
  int folder = ::open(".", O_RDONLY | O_DIRECTORY);
  {
    // Zeros in the middle and at the end: the file has its whole length.
    platform::WholeFileWriter out;
    ASSERT_TRUE(out.BeginAt(folder, "holes.bin"));
    EXPECT_TRUE(out.Write("ab", 2));
    EXPECT_TRUE(out.Skip(3));
    EXPECT_TRUE(out.Write("c", 1));
    EXPECT_TRUE(out.Skip(uint64_t(1) << 30));
    EXPECT_EQ(EntriesOf("."), 1) << "only the temporary file so far";
    EXPECT_TRUE(out.Commit(false));
  }
  struct stat st;
  ASSERT_EQ(::stat("holes.bin", &st), 0);
  EXPECT_EQ(uint64_t(st.st_size), 6 + (uint64_t(1) << 30));
  EXPECT_LT(uint64_t(st.st_blocks) * 512, uint64_t(64) << 20) << "a gigabyte of zeros takes no disk";
  std::string head(6, '?');
  int fd = ::open("holes.bin", O_RDONLY);
  ASSERT_EQ(::read(fd, head.data(), 6), 6);
  ::close(fd);
  EXPECT_EQ(head, std::string("ab\0\0\0c", 6));

  test::WriteFile("kept.txt", "kept");
  {
    platform::WholeFileWriter out;
    ASSERT_TRUE(out.BeginAt(folder, "kept.txt"));
    EXPECT_TRUE(out.Write("lost", 4));
  }  // destroyed without Commit
  EXPECT_EQ(test::ReadFile("kept.txt"), "kept");
  EXPECT_EQ(EntriesOf("."), 2);
  ::close(folder);
}

TEST(OpenFolderBeneath, MatchesWithoutCaseMakesFoldersAndRefusesLinks) {
  test::ScopedWorkFolder work;
  test::WriteFile("base/Data/Inner/f.txt", "x");
  test::WriteFile("outside/g.txt", "x");
  ASSERT_EQ(::symlink("../outside", "base/Linked"), 0);
  ASSERT_EQ(::symlink("../outside", "base/Data/deep"), 0);
  int base = ::open("base", O_RDONLY | O_DIRECTORY);
  std::string why;
  int fd = platform::OpenFolderBeneath(base, "DATA/inner", false, &why);
  ASSERT_GE(fd, 0) << why;
  EXPECT_EQ(platform::MatchNameAt(fd, "F.TXT"), "f.txt");
  EXPECT_EQ(platform::MatchNameAt(fd, "none"), "");
  ::close(fd);
  EXPECT_EQ(platform::OpenFolderBeneath(base, "new/folder", false, &why), -1);
  fd = platform::OpenFolderBeneath(base, "new/folder", true, &why);
  EXPECT_GE(fd, 0) << why;
  ::close(fd);
  EXPECT_TRUE(platform::IsDirectory("base/new/folder"));
  for (const char* relative : {"linked", "Linked/x", "data/DEEP/more", "data/../.."}) {
    SCOPED_TRACE(relative);
    why.clear();
    EXPECT_EQ(platform::OpenFolderBeneath(base, relative, true, &why), -1);
    EXPECT_FALSE(why.empty());
  }
  EXPECT_FALSE(std::filesystem::exists("outside/x"));
  EXPECT_FALSE(std::filesystem::exists("outside/more"));
  ::close(base);
}

}  // namespace
