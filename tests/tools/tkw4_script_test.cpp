// tkw4_script_test.cpp -- the script runner on the CR LF scripts of
// tests/script/run/: each runs in a fresh working folder, and its exit
// status, standard output and error files are compared with the expected
// ones byte for byte.
//
// A case NAME is NAME.rsp with, beside it: NAME.out (its standard output;
// none: nothing), NAME.in (its standard input; none: empty), NAME.<file>
// for each error or listing file it must leave (UTF-8, "{DIR}" standing for
// the working folder; compared in Shift-JIS) and NAME.file.<name>, copied to
// <name> before the run. A case that ends normally must leave an empty
// "CompileError.txt" and none of the other four files.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/platform_public.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

fs::path CaseFolder() {
  const char* source = std::getenv("TKW4_SOURCE_DIR");
  return fs::absolute(fs::path(source ? source : ".") / "tests" / "script" / "run");
}

// Runs the runner on `script` in the working folder, stdin from `input`.
test::CommandRun RunScript(const std::string& arguments, const std::string& input) {
  return test::RunCommand(test::BuildFolder() + "/tkw4-script " + arguments + " <" + input + " 2>runner-stderr.txt");
}

std::string ReadIfThere(const fs::path& path) { return fs::exists(path) ? test::ReadFile(path.string()) : ""; }

// An expected error file: UTF-8 with the working folder as "{DIR}".
std::string Expected(const fs::path& path, const std::string& folder) {
  std::string text = test::ReadFile(path.string());
  for (size_t at = text.find("{DIR}"); at != std::string::npos; at = text.find("{DIR}", at + folder.size()))
    text.replace(at, 5, folder);
  return test::Sjis(text);
}

struct Case {
  const char* name;
  int status;
};

class ScriptRunner : public ::testing::TestWithParam<Case> {};

TEST_P(ScriptRunner, MatchesItsExpectedOutputAndFiles) {
  const Case& c = GetParam();
  fs::path cases = CaseFolder();
  ASSERT_TRUE(fs::exists(cases / (std::string(c.name) + ".rsp"))) << cases;
  test::ScopedWorkFolder work;
  std::string prefix = std::string(c.name) + ".";
  for (const fs::directory_entry& e : fs::directory_iterator(cases)) {
    std::string file = e.path().filename().string();
    if (file.rfind(prefix + "file.", 0) == 0) fs::copy_file(e.path(), file.substr(prefix.size() + 5));
  }
  fs::copy_file(cases / (prefix + "rsp"), prefix + "rsp");
  fs::path input = cases / (prefix + "in");

  test::CommandRun run = RunScript(prefix + "rsp", fs::exists(input) ? input.string() : "/dev/null");
  EXPECT_EQ(run.status, c.status) << test::ReadFile("runner-stderr.txt");
  EXPECT_EQ(run.out, ReadIfThere(cases / (prefix + "out")));

  const char* files[] = {"CompileError.txt", "CompiledCode.txt", "CompiledValue.txt", "RuntimeError.txt",
                         "RuntimeValue.txt"};
  for (const char* file : files) {
    fs::path expected = cases / (prefix + file);
    if (fs::exists(expected)) {
      ASSERT_TRUE(fs::exists(file)) << file;
      EXPECT_EQ(test::ReadFile(file), Expected(expected, work.Path())) << file;
    } else if (c.status == 0) {
      if (std::string(file) == "CompileError.txt") {
        EXPECT_EQ(ReadIfThere(file), "") << file;
        EXPECT_TRUE(fs::exists(file)) << file;
      } else {
        EXPECT_FALSE(fs::exists(file)) << file;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptRunner,
                         ::testing::Values(Case{"hello", 0}, Case{"builtins", 0}, Case{"console", 0},
                                           Case{"objects", 0}, Case{"threads", 0}, Case{"shift_jis", 0},
                                           Case{"runtime_error", 2}, Case{"compile_error", 1},
                                           Case{"load_error", 2}, Case{"exit", 3}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(ScriptRunnerUsage, NeedsOneFile) {
  test::ScopedWorkFolder work;
  test::CommandRun run = RunScript("", "/dev/null");
  EXPECT_EQ(run.status, 64);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(test::ReadFile("runner-stderr.txt").find("usage: tkw4-script FILE"), std::string::npos);
}

// The bundled sample game's start script runs headless and says so.
TEST(ScriptRunnerUsage, TheDemoStartScriptRuns) {
  const char* source = std::getenv("TKW4_SOURCE_DIR");
  fs::path demo = fs::absolute(fs::path(source ? source : ".") / "games" / "Demo" / "demo.rsp");
  ASSERT_TRUE(fs::exists(demo)) << demo;
  test::ScopedWorkFolder work;
  fs::copy_file(demo, "demo.rsp");
  test::CommandRun run = RunScript("demo.rsp", "/dev/null");
  EXPECT_EQ(run.out.rfind("Demo: the start script is running.\n", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("sqrt( 4) = 2.000000"), std::string::npos) << run.out;
  EXPECT_EQ(test::ReadFile("CompileError.txt"), "");
  // It ends by handing the world its start file with `finish`, a call of
  // the engine that the runner does not have: a run-time error there.
  EXPECT_EQ(run.status, 2) << test::ReadFile("runner-stderr.txt");
  EXPECT_NE(test::ReadFile("RuntimeError.txt").find("finish"), std::string::npos);
}

}  // namespace
