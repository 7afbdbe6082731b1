// tkw4_pac_test.cpp -- the tkw4-pac tool: pack, list and extract round
// trips, exit status and messages, and the system package the build makes.

#include <gtest/gtest.h>

#include <filesystem>

#include "core/package_fixture.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

// Runs the tool with its arguments; stdout and stderr captured.
ToolRun RunTool(const std::string& arguments) {
  test::CommandRun run = test::RunCommand(test::BuildFolder() + "/tkw4-pac " + arguments + " 2>tool-stderr.txt");
  return {run.status, run.out, test::ReadFile("tool-stderr.txt")};
}

TEST(PacTool, PackListExtractRoundTrip) {
  test::ScopedWorkFolder work;
  test::WriteFile("src/Top.txt", "top");
  test::WriteFile("src/Folder/Inner.BIN", std::string("\0\1\2\3", 4));
  test::WriteFile("src/Folder/Deeper/x.rsp", "start");
  test::WriteFile("src/\xE8\xA1\xA8.txt", "sjis name");  // a name stored as UTF-8 on this disk
  test::WriteFile("src/.hidden", "skipped");

  ToolRun pack = RunTool("pack src out/made.pac");
  ASSERT_EQ(pack.status, 1) << "the output folder does not exist";
  EXPECT_NE(pack.err.find("tkw4-pac:"), std::string::npos);
  fs::create_directory("out");
  pack = RunTool("pack src out/made.pac");
  ASSERT_EQ(pack.status, 0) << pack.err;

  ToolRun list = RunTool("list out/made.pac");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out,
            "folder\\deeper\\x.rsp\t5\n"
            "folder\\inner.bin\t4\n"
            "top.txt\t3\n"
            "\xE8\xA1\xA8.txt\t9\n");

  ToolRun extract = RunTool("extract out/made.pac unpacked");
  ASSERT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(test::ReadFile("unpacked/folder/deeper/x.rsp"), "start");
  EXPECT_EQ(test::ReadFile("unpacked/folder/inner.bin"), std::string("\0\1\2\3", 4));
  EXPECT_EQ(test::ReadFile("unpacked/top.txt"), "top");
  EXPECT_EQ(test::ReadFile("unpacked/\xE8\xA1\xA8.txt"), "sjis name");
  EXPECT_FALSE(fs::exists("unpacked/.hidden"));
}

TEST(PacTool, FailuresExitWithOneAndAMessage) {
  test::ScopedWorkFolder work;
  test::WriteFile("broken.pac", "\x05\x00\x00\x00garbage");
  test::WriteFile("escape.pac", pactest::BuildPackage({{"..\\up.txt", "no"}, {"fine.txt", "yes"}}));
  for (const char* args : {"", "pack", "list", "frobnicate a b", "list missing.pac", "list broken.pac",
                           "pack missing-folder x.pac", "extract broken.pac out"}) {
    ToolRun r = RunTool(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_FALSE(r.err.empty()) << args;
  }
  ToolRun r = RunTool("extract escape.pac out");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(test::ReadFile("out/fine.txt"), "yes");
  EXPECT_FALSE(fs::exists("up.txt"));
}

TEST(PacTool, ExtractionNamesEveryEntryItDidNotWrite) {
  test::ScopedWorkFolder work;
  // An entry that does not open again by its name, one behind a link
  // planted in the target folder, and one that is written.
  test::WriteFile("x.pac", pactest::BuildPackage({{"\x95\x5C..\\lost.txt", "lost"},
                                                  {"linked\\f.txt", "through a link"},
                                                  {"fine.txt", "fine"}}));
  fs::create_directories("out");
  fs::create_directories("elsewhere");
  fs::create_directory_symlink("../elsewhere", "out/LINKED");
  ToolRun r = RunTool("extract x.pac out");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\"\xE8\xA1\xA8..\\lost.txt\""), std::string::npos) << r.err;  // the name in UTF-8
  EXPECT_NE(r.err.find("\"linked\\f.txt\""), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("symbolic link"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("(2 failed)"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadFile("out/fine.txt"), "fine");
  EXPECT_TRUE(fs::is_empty("elsewhere"));
}

TEST(PacTool, TheBuildMadeTheSystemPackage) {
  fs::path package = fs::path(test::BuildFolder()) / "run" / "ZadAzorad.pac";
  ASSERT_TRUE(fs::exists(package));
  ToolRun list = RunTool(package.string());  // no command: usage
  EXPECT_EQ(list.status, 1);
  test::ScopedWorkFolder work;
  list = RunTool("list " + package.string());
  EXPECT_EQ(list.status, 0) << list.err;
  // Every entry lies in the system folder.
  size_t start = 0;
  while (start < list.out.size()) {
    size_t end = list.out.find('\n', start);
    EXPECT_EQ(list.out.compare(start, 10, "zadazorad\\"), 0) << list.out.substr(start, end - start);
    start = end + 1;
  }
}

}  // namespace
