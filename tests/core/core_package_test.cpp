// core_package_test.cpp -- the file layer: names, mounting, lookup and
// reading entries and disk files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/core_local.h"
#include "core/core_public.h"
#include "package_fixture.h"
#include "test_support.h"

namespace {

using pactest::Entry;

std::string Normalize(const std::string& path, const char* base = nullptr) {
  char out[core::kMaxPathLength];
  const char* r = core::NormalizePath(out, base, path.c_str());
  return r ? std::string(r) : std::string("<fail>");
}

// Opens a name and reads it whole; "<none>" when it does not open.
std::string ReadAll(core::FilePackageTable& t, const std::string& name) {
  core::FileHandle h = t.OpenReadFile(name.c_str());
  if (h == core::kNoFile) return "<none>";
  std::string data(size_t(t.GetFileSizeOf(h)), '\0');
  int32_t read = -1;
  t.ReadFileData(h, data.data(), 0, -1, &read);
  t.CloseFileHandle(h);
  data.resize(size_t(std::max(read, 0)));
  return data;
}

bool IsEntry(core::FileHandle h) { return h != core::kNoFile && (uint32_t(h) & core::kPackageHandleBit); }

// ----------------------------------------------------------------------------
// Names
// ----------------------------------------------------------------------------

TEST(PackageNames, Normalisation) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"Data/File.TXT", "data\\file.txt"},
      {"X/../name", "name"},
      {"x\\..\\NAME", "name"},
      {"a/b/../../c", "c"},
      {"a\\..\\..\\c", "..\\c"},       // cannot climb past the start: kept
      {"a\\.\\b\\.\\c", "a\\b\\c"},
      {".\\name", ".\\name"},          // a leading run of "." and "\" stays
      {"..\\..\\x\\..\\y", "..\\..\\y"},
      {"\\\\server", "<fail>"},          // rooted outside the working folder
      {"C:\\Games\\x.pac", "<fail>"},     // a drive: never the working folder here
      {"", ""},
      {"a\\..", "a\\.."},              // ".." needs its separator
  };
  for (const Case& c : cases) EXPECT_EQ(Normalize(c.in), c.out) << c.in;

  // 259 characters are fine, 260 fail.
  EXPECT_EQ(Normalize(std::string(259, 'A')), std::string(259, 'a'));
  EXPECT_EQ(Normalize(std::string(260, 'a')), "<fail>");
}

TEST(PackageNames, ShiftJisSecondBytesAreLeftAlone) {
  // 0x83 0x41 is a two-byte character whose second byte is "A"; 0x95 0x5C
  // one whose second byte is "\".
  std::string katakana = "\x83\x41";
  std::string hyou = "\x95\x5C";
  EXPECT_EQ(Normalize("DIR/" + katakana + "B"), "dir\\" + katakana + "b");
  EXPECT_EQ(Normalize(hyou + "\\..\\X"), "x");
  EXPECT_EQ(Normalize("a\\" + hyou + "\\..\\b"), "a\\b");
  EXPECT_EQ(Normalize(hyou + "/" + hyou), hyou + "\\" + hyou);
}

TEST(PackageNames, FullPathsUnderTheBaseFolder) {
  test::ScopedWorkFolder work;
  std::string cwd = platform::WorkingFolder();
  EXPECT_EQ(Normalize(cwd + "/Sub/File.X"), "sub\\file.x");
  EXPECT_EQ(Normalize(cwd + "\\zadazorad\\script\\system.inc"), "zadazorad\\script\\system.inc");
  EXPECT_EQ(Normalize(cwd + "x/file"), "<fail>");  // not at a folder boundary
  EXPECT_EQ(Normalize("/elsewhere/file"), "<fail>");
  EXPECT_EQ(Normalize("/Base/Dir/f", "/base/dir"), "f");
  EXPECT_EQ(Normalize("/base/dir2/f", "/base/dir"), "<fail>");
}

TEST(PackageNames, OneOrderingForSortAndSearch) {
  // Letters fold to lower case; the second byte of a two-byte character
  // compares exactly, so "\x83\x41" and "\x83\x61" differ.
  EXPECT_EQ(core::ComparePackageNames("ABC", "abc"), 0);
  EXPECT_LT(core::ComparePackageNames("_a", "b"), 0);  // "_" (0x5F) before letters
  EXPECT_GT(core::ComparePackageNames("Za", "[a"), 0);  // "z" (0x7A) after "["
  EXPECT_NE(core::ComparePackageNames("\x83\x41", "\x83\x61"), 0);
  EXPECT_LT(core::ComparePackageNames("ab", "abc"), 0);
  EXPECT_EQ(core::FoldPackageName("\x83\x41Q"), std::string("\x83\x41q"));
  // Another writer's "/" finds a normalised "\"; a second byte 0x2F is no
  // character, so only single bytes fold.
  EXPECT_EQ(core::ComparePackageNames("Dir/File", "dir\\file"), 0);
  EXPECT_EQ(core::FoldPackageName("A/b"), "a\\b");
}

TEST(PackageNames, ExtractPathsStayInsideTheFolder) {
  EXPECT_EQ(core::SafeExtractPath("a\\b.txt"), "a/b.txt");
  EXPECT_EQ(core::SafeExtractPath("..\\evil"), "");
  EXPECT_EQ(core::SafeExtractPath("a\\..\\..\\evil"), "");
  EXPECT_EQ(core::SafeExtractPath("a/../b"), "");
  EXPECT_EQ(core::SafeExtractPath("\\root"), "");
  EXPECT_EQ(core::SafeExtractPath("/root"), "");
  EXPECT_EQ(core::SafeExtractPath("..."), "...");
  EXPECT_EQ(core::SafeExtractPath(".\\x"), "./x");
  // A lead byte before "/" is no character: the disk would see "?/..".
  EXPECT_EQ(core::SafeExtractPath("\x81/..\\x"), "");
  // A real two-byte character ending in 0x5C is no separator.
  EXPECT_EQ(core::SafeExtractPath("\x95\x5C.txt"), "\xE8\xA1\xA8.txt");
}

// ----------------------------------------------------------------------------
// Mounting and lookup
// ----------------------------------------------------------------------------

TEST(PackageLookup, SingleEntryByCaseAndParentSegments) {
  test::ScopedWorkFolder work;
  test::WriteFile("one.pac", pactest::BuildPackage({{"name", "DATA"}}));
  test::WriteFile("name", "disk");
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("one.pac"), 0);
  EXPECT_TRUE(IsEntry(t.OpenReadFile("NAME")));
  EXPECT_TRUE(IsEntry(t.OpenReadFile("X/../name")));
  EXPECT_EQ(ReadAll(t, "X/../NaMe"), "DATA");
  // ".\name" keeps its prefix, so it is no entry: the disk file opens.
  core::FileHandle disk = t.OpenReadFile(".\\name");
  EXPECT_TRUE(core::IsRealFileHandle(disk));
  t.CloseFileHandle(disk);
  EXPECT_EQ(ReadAll(t, ".\\name"), "disk");
  EXPECT_EQ(t.OpenReadFile("other"), core::kNoFile);
}

TEST(PackageLookup, EveryEntryOfEveryTableSizeIsFound) {
  test::ScopedWorkFolder work;
  for (int n = 1; n <= 257; n++) {
    std::vector<Entry> entries;
    for (int i = 0; i < n; i++) {
      char name[64];
      // Mixed case, and names that sort differently bytewise and folded.
      std::snprintf(name, sizeof name, i % 3 == 0 ? "Dir\\File%03d.DAT" : i % 3 == 1 ? "dir\\_f%03d" : "DIR\\[x%03d", i);
      entries.push_back({name, pactest::Pattern(size_t(i % 50), uint32_t(i)), uint32_t(i * 7), i % 5 == 0});
    }
    std::reverse(entries.begin(), entries.end());  // the index need not be sorted
    test::WriteFile("t.pac", pactest::BuildPackage(entries));
    core::FilePackageTable t;
    ASSERT_GE(t.LoadFilePackage("t.pac"), 0) << n;
    ASSERT_EQ(t.Count(), n);
    for (const Entry& e : entries) {
      core::FileHandle h = t.OpenReadFile(e.name.c_str());
      ASSERT_TRUE(IsEntry(h)) << n << " " << e.name;
      EXPECT_EQ(ReadAll(t, e.name), e.data) << e.name;
    }
    // The table is in the one order, the first entry included.
    for (int i = 1; i < t.Count(); i++)
      ASSERT_LT(core::ComparePackageNames(t.GetPackageEntryName(i - 1), t.GetPackageEntryName(i)), 0);
  }
}

TEST(PackageLookup, EntriesAreNamedByThePackagesFolder) {
  test::ScopedWorkFolder work;
  test::WriteFile("Games/Sub.pac", pactest::BuildPackage({{"sub\\start.rsp", "x"}}));
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("GAMES\\sub.PAC"), 0);  // found without case
  EXPECT_STREQ(t.GetPackageEntryName(0), "games\\sub\\start.rsp");
  EXPECT_EQ(ReadAll(t, "Games/Sub/Start.rsp"), "x");
  EXPECT_EQ(t.GetPackageEntryName(1), nullptr);
  EXPECT_EQ(t.GetPackageEntryName(-1), nullptr);
}

TEST(PackageLookup, LaterPackageReplacesEntriesAndTheirCache) {
  test::ScopedWorkFolder work;
  test::WriteFile("a.pac", pactest::BuildPackage({{"same.txt", "first"}, {"only-a.txt", "A"}}));
  test::WriteFile("b.pac", pactest::BuildPackage({{"SAME.TXT", "second!", 99}, {"only-b.txt", "B"}}));
  core::FilePackageTable t;
  int a = t.LoadFilePackage("a.pac");
  ASSERT_GE(a, 0);
  EXPECT_EQ(ReadAll(t, "same.txt"), "first");  // now cached
  int b = t.LoadFilePackage("b.pac");
  ASSERT_GE(b, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(t.Count(), 3);
  EXPECT_EQ(ReadAll(t, "same.txt"), "second!");
  EXPECT_EQ(ReadAll(t, "only-a.txt"), "A");
  EXPECT_EQ(ReadAll(t, "only-b.txt"), "B");
  EXPECT_STREQ(t.GetPackageEntryName(2), "same.txt");  // the first spelling stays
}

TEST(PackageLookup, AnotherWritersSlashesAndCapitals) {
  test::ScopedWorkFolder work;
  test::WriteFile("o.pac", pactest::BuildPackage({{"Data/Sub/File.TXT", "slashes"}, {"DATA\\Other.txt", "caps"}}));
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("o.pac"), 0);
  EXPECT_EQ(ReadAll(t, "data\\sub\\file.txt"), "slashes");
  EXPECT_EQ(ReadAll(t, "DATA/SUB/x/../FILE.txt"), "slashes");
  EXPECT_EQ(ReadAll(t, "data/other.TXT"), "caps");
}

TEST(PackageLookup, DuplicateNamesInOnePackageKeepTheLast) {
  test::ScopedWorkFolder work;
  test::WriteFile("d.pac", pactest::BuildPackage({{"x", "1"}, {"y", "2"}, {"X", "3"}}));
  core::FilePackageTable t;
  ASSERT_GE(t.LoadFilePackage("d.pac"), 0);
  EXPECT_EQ(t.Count(), 2);
  EXPECT_EQ(ReadAll(t, "x"), "3");
}

TEST(PackageLookup, MissingPackageAndClosedTable) {
  test::ScopedWorkFolder work;
  test::WriteFile("p.pac", pactest::BuildPackage({{"f", "packaged"}}));
  test::WriteFile("f", "on disk");
  core::FilePackageTable t;
  EXPECT_EQ(t.LoadFilePackage("missing.pac"), -1);
  EXPECT_EQ(t.LoadFilePackage(""), -1);
  EXPECT_EQ(t.LoadFilePackage("."), -1);  // a folder
  EXPECT_EQ(t.Count(), 0);
  ASSERT_GE(t.LoadFilePackage("p.pac"), 0);
  EXPECT_EQ(ReadAll(t, "f"), "packaged");
  t.CloseFilePackage();
  EXPECT_EQ(t.Count(), 0);
  EXPECT_EQ(ReadAll(t, "f"), "on disk");  // after closing, only the disk
}

TEST(PackageLookup, EmptyPackageMountsWithNoEntries) {
  test::ScopedWorkFolder work;
  std::string zero, negative;
  pactest::PutLe32(&zero, 0);
  pactest::PutLe32(&negative, 0xFFFFFFFF);
  test::WriteFile("zero.pac", zero);
  test::WriteFile("neg.pac", negative + "junk");
  core::FilePackageTable t;
  EXPECT_GE(t.LoadFilePackage("zero.pac"), 0);
  EXPECT_GE(t.LoadFilePackage("neg.pac"), 0);
  EXPECT_EQ(t.Count(), 0);
}

// ----------------------------------------------------------------------------
// Reading entries
// ----------------------------------------------------------------------------

class PackageRead : public ::testing::Test {
 protected:
  void SetUp() override {
    plain = pactest::Pattern(1001, 5);
    zeros = std::string(40, '\0') + "tail" + std::string(13, '\0') + "end";
    entries = {
        {"plain.bin", plain, 0},
        {"scrambled.bin", plain, 0x9E3779B9u},
        {"coded.bin", zeros, 0x12345u, true},
        {"coded5.bin", "abcde", 7, true},  // size not a multiple of 4
        {"empty.bin", "", 3},
        {"threezeros.bin", std::string(12, '\0'), 0, true, std::string("\0\0\0\0\3\0\0\0", 8)},
    };
    test::WriteFile("r.pac", pactest::BuildPackage(entries));
    ASSERT_GE(table.LoadFilePackage("r.pac"), 0);
  }

  test::ScopedWorkFolder work;
  std::string plain, zeros;
  std::vector<Entry> entries;
  core::FilePackageTable table;
};

TEST_F(PackageRead, WholeEntriesOfEveryStoredForm) {
  for (const Entry& e : entries) EXPECT_EQ(ReadAll(table, e.name), e.data) << e.name;
}

TEST_F(PackageRead, ChunkedReadsMatchWholeReads) {
  for (const char* name : {"plain.bin", "scrambled.bin", "coded.bin", "coded5.bin"}) {
    for (int32_t chunk : {1, 3, 4, 5, 7, 64, 4096}) {
      core::FileHandle h = table.OpenReadFile(name);
      ASSERT_TRUE(IsEntry(h));
      table.FreeFileCache(h);  // start each pass uncached
      std::string got;
      int32_t position = 0;
      for (;;) {
        std::string buffer(size_t(chunk), '\0');
        int32_t read = -1;
        EXPECT_EQ(table.ReadFileData(h, buffer.data(), position, chunk, &read), buffer.data());
        if (read <= 0) break;
        got.append(buffer.data(), size_t(read));
        position += read;
        EXPECT_EQ(table.TellFile(h), position);
      }
      EXPECT_EQ(got, ReadAll(table, name)) << name << " in chunks of " << chunk;
    }
  }
}

TEST_F(PackageRead, PositionsSeekAndTell) {
  core::FileHandle h = table.OpenReadFile("scrambled.bin");
  ASSERT_TRUE(IsEntry(h));
  EXPECT_EQ(table.GetFileSizeOf(h), 1001);
  table.SeekFile(h, -4, core::kFileEnd);
  EXPECT_EQ(table.TellFile(h), 997);
  char four[4];
  int32_t read = 0;
  table.ReadFileData(h, four, table.TellFile(h), 100, &read);
  EXPECT_EQ(read, 4);
  EXPECT_EQ(std::string(four, 4), plain.substr(997));
  EXPECT_EQ(table.TellFile(h), 1001);

  table.SeekFile(h, 10, core::kFileBegin);
  table.SeekFile(h, -3, core::kFileCurrent);
  EXPECT_EQ(table.TellFile(h), 7);

  // Past the end: nothing, and the position stays where it was put.
  table.SeekFile(h, 50, core::kFileEnd);
  EXPECT_EQ(table.TellFile(h), 1051);
  read = -1;
  table.ReadFileData(h, four, table.TellFile(h), 4, &read);
  EXPECT_EQ(read, 0);
  EXPECT_EQ(table.TellFile(h), 1051);

  // Before the start (seeks are not clamped): nothing is read from before
  // the entry's bytes.
  table.SeekFile(h, -20, core::kFileBegin);
  EXPECT_EQ(table.TellFile(h), -20);
  read = -1;
  std::string big(64, 'z');
  EXPECT_EQ(table.ReadFileData(h, big.data(), table.TellFile(h), 64, &read), big.data());
  EXPECT_EQ(read, 0);
  EXPECT_EQ(big, std::string(64, 'z'));

  // A count of -1 reads what is left; a null buffer only fills the cache.
  read = 0;
  EXPECT_EQ(table.ReadFileData(h, nullptr, 1000, -1, &read), nullptr);
  EXPECT_EQ(read, 1);
  EXPECT_EQ(table.Entry(int32_t(uint32_t(h) & ~core::kPackageHandleBit)).cachedBytes, 1001);
}

TEST_F(PackageRead, UncodedEntriesAreReadOnlyAsFarAsAsked) {
  core::FileHandle h = table.OpenReadFile("plain.bin");
  const core::PackageEntry& e = table.Entry(int32_t(uint32_t(h) & ~core::kPackageHandleBit));
  char ten[10];
  table.ReadFileData(h, ten, 0, 10, nullptr);
  EXPECT_EQ(e.cachedBytes, 10);
  table.ReadFileData(h, ten, 100, 10, nullptr);
  EXPECT_EQ(e.cachedBytes, 110);
  table.ReadFileData(h, ten, 5, 5, nullptr);
  EXPECT_EQ(e.cachedBytes, 110);
  table.FreeFileCache(h);
  EXPECT_EQ(e.cache, nullptr);
  EXPECT_EQ(e.cachedBytes, 0);
  EXPECT_EQ(ReadAll(table, "plain.bin"), plain);
}

TEST_F(PackageRead, WholeReadsLeaveNoCacheBehind) {
  for (const char* name : {"plain.bin", "scrambled.bin"}) {
    core::FileHandle h = table.OpenReadFile(name);
    const core::PackageEntry& e = table.Entry(int32_t(uint32_t(h) & ~core::kPackageHandleBit));
    std::string whole(1001, '\0');
    int32_t read = 0;
    table.ReadFileData(h, whole.data(), 0, -1, &read);
    EXPECT_EQ(read, 1001);
    EXPECT_EQ(whole, plain);
    EXPECT_EQ(e.cache, nullptr) << name;
    EXPECT_EQ(table.TellFile(h), 1001);
    // A partial read caches; a whole read then comes from the cache.
    table.ReadFileData(h, whole.data(), 0, 500, &read);
    EXPECT_EQ(e.cachedBytes, 500);
    whole.assign(1001, '\0');
    table.ReadFileData(h, whole.data(), 0, -1, &read);
    EXPECT_EQ(whole, plain);
    EXPECT_EQ(e.cachedBytes, 1001);
  }
}

TEST_F(PackageRead, BadHandlesDoNothing) {
  char b[4];
  int32_t read = 7;
  for (core::FileHandle h : {core::kNoFile, core::FileHandle(core::kPackageHandleBit | 999u)}) {
    EXPECT_EQ(table.ReadFileData(h, b, 0, 4, &read), nullptr);
    EXPECT_EQ(read, 0);
    EXPECT_EQ(table.GetFileSizeOf(h), 0);
    EXPECT_EQ(table.TellFile(h), -1);
    table.SeekFile(h, 1, core::kFileBegin);
    table.FreeFileCache(h);
  }
  EXPECT_EQ(table.CloseFileHandle(core::FileHandle(core::kPackageHandleBit)), 1);
}

TEST(PackageDiskFiles, ReadThroughTheSameInterface) {
  test::ScopedWorkFolder work;
  test::WriteFile("Data/Some File.TXT", "0123456789");
  core::FilePackageTable t;
  core::FileHandle h = t.OpenReadFile("data\\some file.txt");
  ASSERT_TRUE(core::IsRealFileHandle(h));
  EXPECT_EQ(t.GetFileSizeOf(h), 10);
  char buffer[16] = {};
  int32_t read = 0;
  EXPECT_EQ(t.ReadFileData(h, buffer, 3, 4, &read), nullptr);
  EXPECT_EQ(read, 4);
  EXPECT_EQ(std::string(buffer, 4), "3456");
  EXPECT_EQ(t.TellFile(h), 7);
  t.SeekFile(h, -2, core::kFileEnd);
  EXPECT_EQ(t.TellFile(h), 8);
  t.ReadFileData(h, buffer, 8, -1, &read);
  EXPECT_EQ(read, 2);
  EXPECT_EQ(t.CloseFileHandle(h), 1);
  EXPECT_EQ(t.OpenReadFile("Data"), core::kNoFile);  // folders do not open
}

TEST(PackageReadWhole, EntriesDiskFilesAndMissingNames) {
  test::ScopedWorkFolder work;
  {
    core::LogSystem log("test.log", 0);
    core::FilePackageTable t;
    t.log = &log;
    test::WriteFile("w.pac", pactest::BuildPackage({{"in\\pack.txt", "packed", 5}}));
    test::WriteFile("loose.txt", "loose");
    ASSERT_GE(t.LoadFilePackage("w.pac"), 0);
    void* block = nullptr;
    EXPECT_EQ(core::ReadWholeFile(t, &block, "IN/PACK.TXT"), 6);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(static_cast<char*>(block), 6), "packed");
    core::HeapFreeCached(block);
    EXPECT_EQ(core::ReadWholeFile(t, &block, "loose.txt"), 5);
    EXPECT_EQ(std::string(static_cast<char*>(block), 5), "loose");
    core::HeapFreeCached(block);
    EXPECT_EQ(core::ReadWholeFile(t, &block, "nothing.txt"), 0);
    EXPECT_EQ(block, nullptr);
  }
  std::string log = test::ReadFile("test.log");
  EXPECT_NE(log.find(test::Sjis("\"nothing.txt\"がオープンできません。")), std::string::npos) << log;
}

}  // namespace
