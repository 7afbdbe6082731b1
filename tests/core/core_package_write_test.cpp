// core_package_write_test.cpp -- building packages: adding loose files,
// renaming, removing, saving and extracting.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "core/core_local.h"
#include "core/core_public.h"
#include "package_fixture.h"
#include "test_support.h"

namespace {

using pactest::Entry;
using pactest::GetLe32;

std::string ReadAll(core::FilePackageTable& t, const std::string& name) {
  core::FileHandle h = t.OpenReadFile(name.c_str());
  if (h == core::kNoFile) return "<none>";
  std::string data(size_t(t.GetFileSizeOf(h)), '\0');
  int32_t read = 0;
  t.ReadFileData(h, data.data(), 0, -1, &read);
  t.CloseFileHandle(h);
  data.resize(size_t(read));
  return data;
}

bool IsEntry(core::FileHandle h) { return h != core::kNoFile && (uint32_t(h) & core::kPackageHandleBit); }

// The index of a package file as written: name, flags, key, offset, size,
// stored size per record.
struct Record {
  std::string name;
  uint32_t flags, key, offset, size, stored;
};
std::vector<Record> ParseIndex(const std::string& bytes) {
  std::vector<Record> records;
  uint32_t n = GetLe32(bytes, 0);
  size_t at = 4;
  for (uint32_t i = 0; i < n; i++) {
    uint32_t length = GetLe32(bytes, at);
    Record r;
    r.name = bytes.substr(at + 4, length - 1);
    at += 4 + length;
    r.flags = GetLe32(bytes, at);
    r.key = GetLe32(bytes, at + 4);
    r.offset = GetLe32(bytes, at + 8);
    r.size = GetLe32(bytes, at + 12);
    r.stored = GetLe32(bytes, at + 16);
    at += 20;
    records.push_back(r);
  }
  return records;
}

// A file time: seconds since 1970 in the engine's 100 ns units from 1601.
platform::FileTime FromUnix(int64_t seconds) { return platform::FileTime(seconds + 11644473600ll) * 10000000ull; }

void SetWriteTime(const std::string& path, int64_t seconds) {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// ----------------------------------------------------------------------------
// Saving
// ----------------------------------------------------------------------------

TEST(PackageSave, RoundTripMakesEveryEntryUncodedWithItsOwnKey) {
  test::ScopedWorkFolder work;
  std::vector<Entry> entries = {
      {"plain.txt", "plain data", 0},
      {"Scrambled.BIN", pactest::Pattern(333, 1), 0xDEADBEEFu},
      {"dir\\coded.bin", std::string(64, '\0') + "xyz" + std::string(9, '\0'), 31, true},
      {"empty", "", 9},
  };
  test::WriteFile("src.pac", pactest::BuildPackage(entries));
  {
    core::FilePackageTable t;
    ASSERT_GE(t.LoadFilePackage("src.pac"), 0);
    EXPECT_EQ(ReadAll(t, "plain.txt"), "plain data");  // one entry cached beforehand
    ASSERT_EQ(t.SavePackage("out.pac"), 1);
    // Saving does not disturb the table: caches it made are dropped again.
    core::FileHandle h = t.OpenReadFile("scrambled.bin");
    EXPECT_EQ(t.Entry(int32_t(uint32_t(h) & ~core::kPackageHandleBit)).cache, nullptr);
  }
  std::string bytes = test::ReadFile("out.pac");
  std::vector<Record> index = ParseIndex(bytes);
  ASSERT_EQ(index.size(), 4u);
  uint32_t expectOffset = 4;
  for (const Record& r : index) expectOffset += uint32_t(r.name.size()) + 1 + 24;
  for (const Record& r : index) {
    const Entry* e = nullptr;
    for (const Entry& x : entries)
      if (core::ComparePackageNames(x.name.c_str(), r.name.c_str()) == 0) e = &x;
    ASSERT_NE(e, nullptr) << r.name;
    EXPECT_EQ(r.flags, 0u) << r.name;
    EXPECT_EQ(r.key, e->key);
    EXPECT_EQ(r.size, e->data.size());
    EXPECT_EQ(r.stored, r.size);
    EXPECT_EQ(r.offset, expectOffset) << r.name;  // data follows the index without gaps
    EXPECT_EQ(bytes.substr(r.offset, r.size), pactest::Scramble(e->data, e->key)) << r.name;
    if (e->key == 0) {
      EXPECT_EQ(bytes.substr(r.offset, r.size), e->data);
    }
    expectOffset += r.size;
  }
  EXPECT_EQ(bytes.size(), expectOffset);

  core::FilePackageTable again;
  ASSERT_GE(again.LoadFilePackage("out.pac"), 0);
  ASSERT_EQ(again.Count(), 4);
  for (const Entry& e : entries) EXPECT_EQ(ReadAll(again, e.name), e.data) << e.name;
}

TEST(PackageSave, RemovedEntriesAreLeftOutAndRenamedOnesKeepTheirData) {
  test::ScopedWorkFolder work;
  std::vector<Entry> entries;
  for (int i = 0; i < 20; i++) entries.push_back({"e" + std::to_string(i), "data" + std::to_string(i), uint32_t(i)});
  test::WriteFile("src.pac", pactest::BuildPackage(entries));
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("src.pac"), 0);
  EXPECT_EQ(t.RemovePackageEntry("E3"), -1);
  EXPECT_EQ(t.RenamePackageEntries("e0", "zz/Renamed"), -1);
  EXPECT_EQ(t.RenamePackageEntries("e5", "\\\\outside"), -1);  // cannot be normalised: nothing
  // Every remaining entry is still found: the table was re-sorted.
  for (int i = 0; i < 20; i++) {
    std::string name = "e" + std::to_string(i);
    if (i == 3 || i == 0) {
      EXPECT_FALSE(IsEntry(t.OpenReadFile(name.c_str()))) << name;
    } else {
      EXPECT_EQ(ReadAll(t, name), "data" + std::to_string(i)) << name;
    }
  }
  EXPECT_EQ(ReadAll(t, "ZZ\\renamed"), "data0");
  EXPECT_EQ(t.OpenReadFile("."), core::kNoFile);  // removed entries are never found

  ASSERT_EQ(t.SavePackage("out.pac"), 1);
  std::vector<Record> index = ParseIndex(test::ReadFile("out.pac"));
  EXPECT_EQ(index.size(), 19u);
  for (const Record& r : index) EXPECT_NE(r.name, ".");
  core::FilePackageTable again;
  ASSERT_GE(again.LoadFilePackage("out.pac"), 0);
  EXPECT_EQ(ReadAll(again, "zz\\renamed"), "data0");
  EXPECT_EQ(ReadAll(again, "e19"), "data19");
}

TEST(PackageSave, RefusesToReplaceAMountedPackage) {
  test::ScopedWorkFolder work;
  std::string original = pactest::BuildPackage({{"a", "AAAA"}, {"b", "BB", 4}});
  test::WriteFile("Mounted.pac", original);
  std::filesystem::create_hard_link("Mounted.pac", "link.pac");
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("mounted.pac"), 0);
  for (const char* name : {"Mounted.pac", "MOUNTED.PAC", "link.pac", "./mounted.pac"}) {
    t.lastError.clear();
    EXPECT_EQ(t.SavePackage(name), 0) << name;
    EXPECT_FALSE(t.lastError.empty());
  }
  EXPECT_EQ(test::ReadFile("Mounted.pac"), original);
  EXPECT_EQ(ReadAll(t, "a"), "AAAA");
  EXPECT_EQ(t.SavePackage("."), 0);       // a folder
  EXPECT_EQ(t.SavePackage("no/such/dir/x.pac"), 0);
  // Another name is fine; no temporary file is left behind.
  EXPECT_EQ(t.SavePackage("copy.pac"), 1);
  int files = 0;
  for (auto& f : std::filesystem::directory_iterator(".")) files += f.is_regular_file();
  EXPECT_EQ(files, 3);
}

TEST(PackageSave, AFailedWriteLeavesTheOldPackage) {
  test::ScopedWorkFolder work;
  std::string old = pactest::BuildPackage({{"old", "old data"}});
  test::WriteFile("target.pac", old);
  test::WriteFile("big.pac", pactest::BuildPackage({{"big", pactest::Pattern(200000, 3), 11}}));
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("big.pac"), 0);
  // Files of this process may not grow past 64 KB: the write fails midway.
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  struct rlimit limit = saved;
  limit.rlim_cur = 65536;
  auto previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  int result = t.SavePackage("target.pac");
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(t.lastError.empty());
  EXPECT_EQ(test::ReadFile("target.pac"), old);
  int files = 0;
  for (auto& f : std::filesystem::directory_iterator(".")) files += f.is_regular_file();
  EXPECT_EQ(files, 2) << "the temporary file is removed";
  EXPECT_EQ(t.SavePackage("target.pac"), 1);
  EXPECT_EQ(ParseIndex(test::ReadFile("target.pac"))[0].name, "big");
}

// ----------------------------------------------------------------------------
// Adding loose files
// ----------------------------------------------------------------------------

TEST(PackageAdd, FilesAndFolderTreesNewerThanTheThreshold) {
  test::ScopedWorkFolder work;
  test::WriteFile("Tree/New.txt", "new");
  test::WriteFile("Tree/Sub/Deep.DAT", "deep");
  test::WriteFile("Tree/Old.txt", "old");
  test::WriteFile("Tree/.hidden", "hidden");
  test::WriteFile("Tree/.git/config", "hidden too");
  test::WriteFile("single.txt", "single");
  SetWriteTime("Tree/Old.txt", 1000000000);  // 2001
  core::FilePackageTable t;
  platform::FileTime threshold = FromUnix(1400000000);  // 2014
  EXPECT_EQ(t.AddFilesToPackage("tree", 0x55, threshold), -1);  // a folder
  EXPECT_NE(t.AddFilesToPackage("single.txt", 0, threshold), -1);
  EXPECT_EQ(t.AddFilesToPackage("missing", 0, threshold), -1);
  EXPECT_EQ(t.AddFilesToPackage(std::string(300, 'x').c_str(), 0, threshold), -1);
  ASSERT_EQ(t.Count(), 3);
  EXPECT_STREQ(t.GetPackageEntryName(0), "single.txt");
  EXPECT_STREQ(t.GetPackageEntryName(1), "tree\\new.txt");
  EXPECT_STREQ(t.GetPackageEntryName(2), "tree\\sub\\deep.dat");
  const core::PackageEntry& e = t.Entry(1);
  EXPECT_EQ(e.packageFile, -1);
  EXPECT_EQ(e.dataOffset, -1);
  EXPECT_EQ(e.key, 0x55u);
  EXPECT_EQ(e.size, 0);
  // Loose entries are never found: the disk file opens.
  EXPECT_TRUE(core::IsRealFileHandle(t.OpenReadFile("tree\\new.txt")));

  // A threshold after every file adds nothing; the old file counts with a
  // threshold before it.
  core::FilePackageTable u;
  u.AddFilesToPackage("Tree", 0, FromUnix(4000000000ll));
  EXPECT_EQ(u.Count(), 0);
  u.AddFilesToPackage("Tree/Old.txt", 0, FromUnix(999999999));
  EXPECT_EQ(u.Count(), 1);
}

TEST(PackageAdd, SavingWritesLooseDataAndMountedEntriesTogether) {
  test::ScopedWorkFolder work;
  test::WriteFile("base.pac", pactest::BuildPackage({{"keep.txt", "kept", 3}, {"replace.txt", "stale", 4}}));
  test::WriteFile("replace.txt", "fresh");
  test::WriteFile("added/one.txt", "one");
  test::WriteFile("gone.txt", "soon gone");
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("base.pac"), 0);
  t.AddFilesToPackage("replace.txt", 8, 0);
  t.AddFilesToPackage("added", 9, 0);
  t.AddFilesToPackage("gone.txt", 0, 0);
  t.RenamePackageEntries("added/one.txt", "moved/one.txt");  // keeps its file's data
  std::filesystem::remove("gone.txt");
  ASSERT_EQ(t.SavePackage("new.pac"), 1);

  std::vector<Record> index = ParseIndex(test::ReadFile("new.pac"));
  ASSERT_EQ(index.size(), 4u);  // one "replace.txt": the one added last
  EXPECT_EQ(index[0].name, "gone.txt");
  EXPECT_EQ(index[0].size, 0u);
  EXPECT_EQ(index[0].offset, 0u);  // a file that is gone: an empty record

  core::FilePackageTable again;
  ASSERT_GE(again.LoadFilePackage("new.pac"), 0);
  EXPECT_EQ(ReadAll(again, "keep.txt"), "kept");
  EXPECT_EQ(ReadAll(again, "replace.txt"), "fresh");
  EXPECT_EQ(ReadAll(again, "moved\\one.txt"), "one");
  EXPECT_FALSE(IsEntry(again.OpenReadFile("gone.txt")));  // offset 0: never found
}

// ----------------------------------------------------------------------------
// Extracting
// ----------------------------------------------------------------------------

TEST(PackageExtract, WritesEntriesUnderTheFolderAndRefusesEscapes) {
  test::ScopedWorkFolder work;
  std::string big = pactest::Pattern(100000, 9);  // beyond the first buffer
  test::WriteFile("x.pac", pactest::BuildPackage({
                               {"a\\b\\c.txt", "abc", 1},
                               {"big.bin", big, 2},
                               {"..\\escape.txt", "no"},
                               {"ok\\..\\..\\escape2.txt", "no"},
                               {"\\rooted.txt", "no"},
                               {"\x95\x5C.txt", "sjis"},
                               {"coded.bin", std::string(8, '\0'), 3, true},
                           }));
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("x.pac"), 0);
  EXPECT_EQ(t.ExtractPackage("out\\"), 4);
  EXPECT_FALSE(t.lastError.empty());
  EXPECT_EQ(test::ReadFile("out/a/b/c.txt"), "abc");
  EXPECT_EQ(test::ReadFile("out/big.bin"), big);
  EXPECT_EQ(test::ReadFile("out/coded.bin"), std::string(8, '\0'));
  EXPECT_EQ(test::ReadFile("out/\xE8\xA1\xA8.txt"), "sjis");  // the name in UTF-8 on disk
  EXPECT_FALSE(std::filesystem::exists("escape.txt"));
  EXPECT_FALSE(std::filesystem::exists("../escape.txt"));
  EXPECT_FALSE(std::filesystem::exists("escape2.txt"));
  EXPECT_FALSE(std::filesystem::exists("/rooted.txt"));

  // Without a folder, into the working folder; existing files are replaced.
  test::WriteFile("big.bin", "old and longer than nothing");
  core::FilePackageTable u;
  test::WriteFile("y.pac", pactest::BuildPackage({{"big.bin", "new"}}));
  ASSERT_GE(u.LoadFilePackage("y.pac"), 0);
  EXPECT_EQ(u.ExtractPackage(""), 1);
  EXPECT_EQ(test::ReadFile("big.bin"), "new");
}

TEST(PackageExtract, EveryEntryNotWrittenIsAFailureThatNamesIt) {
  test::ScopedWorkFolder work;
  // "表" ends in a backslash byte: its name normalises, beside "..", to
  // "b.txt", which the table does not hold. A disk file of that name must
  // not be taken for the entry either.
  const std::string lost = "\x95\x5C..\\b.txt";
  test::WriteFile("b.txt", "a disk file, not the entry");
  test::WriteFile("x.pac", pactest::BuildPackage({{lost, "entry"}, {"fine.txt", "fine"}}));
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("x.pac"), 0);
  EXPECT_EQ(t.ExtractPackage("out"), 1);
  ASSERT_EQ(t.errors.size(), 1u);
  EXPECT_NE(t.errors[0].find(lost), std::string::npos) << t.errors[0];
  EXPECT_EQ(t.lastError, t.errors[0]);
  EXPECT_EQ(test::ReadFile("out/fine.txt"), "fine");
  EXPECT_FALSE(std::filesystem::exists("out/b.txt"));
  EXPECT_FALSE(std::filesystem::exists("out/\xE8\xA1\xA8../b.txt"));
  // A clean extraction clears the list.
  core::FilePackageTable u;
  test::WriteFile("y.pac", pactest::BuildPackage({{"fine.txt", "again"}}));
  ASSERT_GE(u.LoadFilePackage("y.pac"), 0);
  EXPECT_EQ(u.ExtractPackage("out"), 1);
  EXPECT_TRUE(u.errors.empty());
  EXPECT_EQ(test::ReadFile("out/fine.txt"), "again");
}

TEST(PackageExtract, NeverWritesThroughALink) {
  test::ScopedWorkFolder work;
  test::WriteFile("outside.txt", "outside");
  std::filesystem::create_directories("elsewhere");
  std::filesystem::create_directories("out");
  // Planted in the target folder: a folder link and a file link, matched by
  // entries spelt in another case; a link to a folder inside the target.
  ASSERT_EQ(::symlink("../elsewhere", "out/Data"), 0);
  ASSERT_EQ(::symlink("../outside.txt", "out/FILE.TXT"), 0);
  std::filesystem::create_directories("out/Real");
  ASSERT_EQ(::symlink("Real", "out/alias"), 0);
  test::WriteFile("out/Keep.TXT", "old");
  test::WriteFile("x.pac", pactest::BuildPackage({
                               {"data\\x.txt", "through the folder link"},
                               {"file.txt", "through the file link"},
                               {"alias\\y.txt", "through an inner link"},
                               {"keep.txt", "new"},
                               {"real\\z.txt", "z"},
                           }));
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("x.pac"), 0);
  EXPECT_EQ(t.ExtractPackage("out"), 5);
  ASSERT_EQ(t.errors.size(), 3u);
  for (const char* name : {"data\\x.txt", "file.txt", "alias\\y.txt"}) {
    bool named = false;
    for (const std::string& e : t.errors) named |= e.find(std::string("\"") + name + "\"") != std::string::npos;
    EXPECT_TRUE(named) << name;
  }
  EXPECT_EQ(test::ReadFile("outside.txt"), "outside");
  EXPECT_TRUE(std::filesystem::is_empty("elsewhere"));
  EXPECT_TRUE(std::filesystem::is_symlink("out/Data"));
  EXPECT_TRUE(std::filesystem::is_symlink("out/FILE.TXT"));
  EXPECT_FALSE(std::filesystem::exists("out/Real/y.txt"));
  // Plain files and folders of another case are replaced and entered.
  EXPECT_EQ(test::ReadFile("out/Keep.TXT"), "new");
  EXPECT_EQ(test::ReadFile("out/Real/z.txt"), "z");
}

// A package of fewer than 69 bytes whose one coded entry declares almost 2 GB: one
// zero word and a count.
std::string PackageBomb() {
  std::vector<Entry> entries = {{"bomb.bin", std::string(4, '\0'), 0, true}};
  std::string stored;
  pactest::PutLe32(&stored, 0);
  pactest::PutLe32(&stored, 0x1FFFFFFF);
  entries[0].stored = stored;
  std::string bytes = pactest::BuildPackage(entries);
  pactest::Patch(&bytes, pactest::FieldOffset(entries, 0, 4), 0x7FFFFFFC);
  return bytes;
}

TEST(PackageExtract, APackageBombStreamsIntoAHoleInBoundedMemory) {
  test::ScopedWorkFolder work;
  std::string bomb = PackageBomb();
  ASSERT_LE(bomb.size(), 69u);
  test::WriteFile("bomb.pac", bomb);
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("bomb.pac"), 0);
  ASSERT_EQ(t.Entry(0).size, 0x7FFFFFFC);
  struct rusage before, after;
  getrusage(RUSAGE_SELF, &before);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(t.ExtractPackage("out"), 1);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  getrusage(RUSAGE_SELF, &after);
  EXPECT_TRUE(t.errors.empty()) << t.lastError;
  EXPECT_LT(seconds, 5.0);
  // The peak of the whole process grew by far less than the entry.
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "kilobytes";
  struct stat st;
  ASSERT_EQ(::stat("out/bomb.bin", &st), 0);
  EXPECT_EQ(st.st_size, 0x7FFFFFFC);
  EXPECT_LT(int64_t(st.st_blocks) * 512, int64_t(64) << 20);
  EXPECT_EQ(t.Entry(0).cache, nullptr) << "nothing was read into memory";
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// In a child with 512 MB of address space: the whole read cannot have its
// memory, and says so instead of ending the process. Exits 0 when both
// reads were refused cleanly.
[[noreturn]] void ReadTheBombWithLittleMemory() {
  core::LogSystem log("read.log", core::kLogInfo);
  core::FilePackageTable t;
  t.log = &log;
  if (t.LoadFilePackage("bomb.pac") < 0) std::exit(2);
  struct rlimit limit;
  limit.rlim_cur = limit.rlim_max = rlim_t(512) << 20;
  setrlimit(RLIMIT_AS, &limit);
  void* block = reinterpret_cast<void*>(1);
  int32_t size = core::ReadWholeFile(t, &block, "bomb.bin");
  char partial[16];
  int32_t read = -1;
  t.ReadFileData(core::FileHandle(core::kPackageHandleBit), partial, 0, 16, &read);
  std::exit(size == 0 && block == nullptr && read == 0 ? 0 : 3);
}

TEST(PackageMemory, AnEntryTooLargeForMemoryIsRefusedWithALogLine) {
  test::ScopedWorkFolder work;
  test::WriteFile("bomb.pac", PackageBomb());
  EXPECT_EXIT(ReadTheBombWithLittleMemory(), ::testing::ExitedWithCode(0), "");
  std::string log = test::ReadFile("read.log");
  EXPECT_NE(log.find(test::Sjis("\"bomb.bin\"を読み込むメモリ(2147483644バイト)が確保できません。")), std::string::npos)
      << log;
  EXPECT_NE(log.find(test::Sjis("パッケージのエントリ[bomb.bin]を読むメモリ(2147483644バイト)が確保できません")),
            std::string::npos)
      << log;
}
#endif

TEST(PackageMemory, AWholeCodedEntryReadsStraightIntoTheBuffer) {
  test::ScopedWorkFolder work;
  std::string plain = std::string(4000, '\0') + pactest::Pattern(1001, 4) + std::string(4097, '\0') + "end";
  test::WriteFile("c.pac", pactest::BuildPackage({{"c.bin", plain, 0x9E3779B9u, true}}));
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("c.pac"), 0);
  void* block = nullptr;
  ASSERT_EQ(core::ReadWholeFile(t, &block, "c.bin"), int32_t(plain.size()));
  EXPECT_EQ(std::string(static_cast<char*>(block), plain.size()), plain);
  core::HeapFreeCached(block);
  EXPECT_EQ(t.Entry(0).cache, nullptr);
  // Read in pieces it goes through the cache, with the same bytes.
  EXPECT_EQ(ReadAll(t, "c.bin"), plain);
  std::string tail(10, '?');
  int32_t read = 0;
  t.ReadFileData(core::FileHandle(core::kPackageHandleBit), tail.data(), int32_t(plain.size()) - 10, 10, &read);
  EXPECT_EQ(read, 10);
  EXPECT_EQ(tail, plain.substr(plain.size() - 10));
}

}  // namespace
