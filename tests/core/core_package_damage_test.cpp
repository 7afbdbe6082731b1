// core_package_damage_test.cpp -- damaged packages are refused whole, with
// a log line, and leave the table as it was.

#include <gtest/gtest.h>
#include <dirent.h>

#include <climits>
#include <functional>

#include "core/core_public.h"
#include "package_fixture.h"
#include "test_support.h"

namespace {

using pactest::Entry;
using pactest::FieldOffset;
using pactest::Patch;

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) n++;
    closedir(d);
  }
  return n;
}

class PackageDamage : public ::testing::Test {
 protected:
  void SetUp() override {
    entries = {
        {"first.txt", "one"},
        {"second.bin", pactest::Pattern(40, 2), 77},
        {"coded.bin", std::string(16, '\0') + "abcd", 5, true},
        {"last.txt", "the end"},
    };
    good = pactest::BuildPackage(entries);
    test::WriteFile("base.pac", pactest::BuildPackage({{"kept.txt", "kept"}}));
    ASSERT_GE(table.LoadFilePackage("base.pac"), 0);
  }

  // Mounts the bytes and expects a refusal that changed nothing.
  void ExpectRefused(const std::string& bytes, const std::string& what) {
    test::WriteFile("bad.pac", bytes);
    int before = OpenDescriptors();
    int32_t count = table.Count();
    table.lastError.clear();
    EXPECT_EQ(table.LoadFilePackage("bad.pac"), -1) << what;
    EXPECT_FALSE(table.lastError.empty()) << what;
    EXPECT_EQ(OpenDescriptors(), before) << what << ": the refused file stays open";
    ASSERT_EQ(table.Count(), count) << what;
    core::FileHandle h = table.OpenReadFile("kept.txt");
    ASSERT_TRUE(h & core::kPackageHandleBit) << what;
    char kept[4];
    table.ReadFileData(h, kept, 0, 4, nullptr);
    EXPECT_EQ(std::string(kept, 4), "kept");
  }

  test::ScopedWorkFolder work;
  std::vector<Entry> entries;
  std::string good;
  core::FilePackageTable table;
};

TEST_F(PackageDamage, EveryTruncationIsRefused) {
  for (size_t n = 0; n < good.size(); n++) ExpectRefused(good.substr(0, n), "truncated to " + std::to_string(n));
  test::WriteFile("good.pac", good);
  EXPECT_GE(table.LoadFilePackage("good.pac"), 0);
  EXPECT_EQ(table.Count(), 5);
}

TEST_F(PackageDamage, IndexFieldsThatLie) {
  struct Case {
    const char* what;
    size_t entry;
    int field;
    uint32_t value;
  } cases[] = {
      {"name length 0", 1, 0, 0},
      {"name length 1 (an empty name)", 1, 0, 1},
      {"name length past the file", 1, 0, 100000},
      {"name length 0xFFFFFFFF", 0, 0, 0xFFFFFFFFu},
      {"name length 261", 0, 0, 261},
      {"negative size", 1, 4, 0xFFFFFFF0u},
      {"negative stored size", 1, 5, 0x80000000u},
      {"size + 3 overflowing", 0, 4, uint32_t(INT32_MAX)},
      {"stored size differs (uncoded)", 0, 5, 2},
      {"size differs (uncoded)", 0, 4, 2},
      {"data offset past the file", 3, 3, 5000},
      {"negative data offset", 0, 3, 0xFFFFFFFFu},
      {"data running past the file", 3, 5, 8},
      {"coded data expanding past its size", 2, 4, 12},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    Patch(&bytes, FieldOffset(entries, c.entry, c.field), c.value);
    if (c.field == 4 && c.entry == 1) Patch(&bytes, FieldOffset(entries, c.entry, 5), c.value);
    ExpectRefused(bytes, c.what);
  }
}

TEST_F(PackageDamage, CountsAndNames) {
  std::string bytes = good;
  Patch(&bytes, 0, 5);
  ExpectRefused(bytes, "one record more than there are");
  Patch(&bytes, 0, 0x7FFFFFFF);
  ExpectRefused(bytes, "a huge count");
  bytes = good;
  bytes[FieldOffset(entries, 0, 0) + 4 + 9] = 'x';  // "first.txt" loses its zero byte
  ExpectRefused(bytes, "an unterminated name");
  // 259 characters with the package's folder are the limit.
  test::WriteFile("sub/long.pac", pactest::BuildPackage({{std::string(256, 'n'), "x"}}));
  table.lastError.clear();
  EXPECT_EQ(table.LoadFilePackage("sub/long.pac"), -1);
  EXPECT_FALSE(table.lastError.empty());
  test::WriteFile("sub/ok.pac", pactest::BuildPackage({{std::string(255, 'o'), "x"}}));
  // "sub\" + 255 = 259 characters: accepted.
  EXPECT_GE(table.LoadFilePackage("sub/ok.pac"), 0);
}

TEST_F(PackageDamage, CodedStreams) {
  struct Case {
    const char* what;
    std::string stored;  // before scrambling
    uint32_t size;
    bool accepted;
  } cases[] = {
      {"exact", std::string("\0\0\0\0\3\0\0\0", 8), 12, true},
      {"short expansion (the rest is zero)", std::string("\0\0\0\0\1\0\0\0", 8), 12, true},
      {"a run past the size", std::string("\0\0\0\0\4\0\0\0", 8), 12, false},
      {"a run of 2^32 - 1 words", std::string("\0\0\0\0\xFF\xFF\xFF\xFF", 8), 12, false},
      {"a word past the size", std::string("abcdefgh", 8), 4, false},
      {"a run without its count", std::string("abcd\0\0\0\0", 8), 12, false},
      {"a padded last word within size + 3", std::string("abcde", 5), 5, true},
  };
  for (const Case& c : cases) {
    Entry e{"c.bin", std::string(c.size, '\0'), 0x01020304u, true, c.stored};
    std::string bytes = pactest::BuildPackage({e});
    if (c.accepted) {
      test::WriteFile("c.pac", bytes);
      ASSERT_GE(table.LoadFilePackage("c.pac"), 0) << c.what;
      core::FileHandle h = table.OpenReadFile("c.bin");
      std::string data(c.size, '\x55');
      int32_t read = 0;
      table.ReadFileData(h, data.data(), 0, -1, &read);
      EXPECT_EQ(read, int32_t(c.size)) << c.what;
      if (c.stored.size() == 8) {
        EXPECT_EQ(data, std::string(c.size, '\0')) << c.what;
      }
    } else {
      ExpectRefused(bytes, c.what);
    }
  }
  // Five stored bytes "abcde" expand to "abcd" and "e" completed with zeros.
  core::FileHandle h = table.OpenReadFile("c.bin");
  char five[5];
  table.ReadFileData(h, five, 0, 5, nullptr);
  EXPECT_EQ(std::string(five, 5), "abcde");
}

TEST_F(PackageDamage, RefusalIsLogged) {
  core::LogSystem log("damage.log", 0);
  log.WriteLog("start", 0);  // the log's own file is open before counting
  table.log = &log;
  std::string bytes = good;
  Patch(&bytes, 0, 0x7FFFFFFF);
  ExpectRefused(bytes, "a huge count");
  table.log = nullptr;
  log.CloseLog();
  std::string text = test::ReadFile("damage.log");
  EXPECT_NE(text.find("bad.pac"), std::string::npos) << text;
}

TEST_F(PackageDamage, AFileThatShrinksAfterMountingDeliversWhatIsThere) {
  test::WriteFile("shrink.pac", good);
  ASSERT_GE(table.LoadFilePackage("shrink.pac"), 0);
  test::WriteFile("shrink.pac", good.substr(0, good.size() - 3));  // truncated in place
  core::FileHandle h = table.OpenReadFile("last.txt");
  char buffer[16];
  int32_t read = -1;
  table.ReadFileData(h, buffer, 0, -1, &read);
  EXPECT_EQ(read, 4);
  EXPECT_EQ(std::string(buffer, 4), "the ");
}

}  // namespace
