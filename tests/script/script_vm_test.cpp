// script_vm_test.cpp -- the virtual machine run over whole scripts: every
// file of tests/script/scripts/ checks its own results through expect() and
// ends by printing "done".

#include <cstdlib>
#include <filesystem>

#include "script_test_util.h"

namespace {

using scripttest::RunFixture;

std::string ScriptsFolder() {
  const char* root = std::getenv("TKW4_SOURCE_DIR");
  return std::string(root ? root : ".") + "/tests/script/scripts";
}

class ScriptFiles : public RunFixture, public ::testing::WithParamInterface<std::string> {};

TEST_P(ScriptFiles, RunToTheirEnd) {
  std::string source = test::ReadFile(ScriptsFolder() + "/" + GetParam());
  ASSERT_FALSE(source.empty());
  ASSERT_EQ(LoadSource(source, GetParam()), "");
  EXPECT_EQ(RunToEnd(), 0) << CallList();  // every thread ended without error
  EXPECT_EQ(CallList(), "");
  for (const std::string& failure : failures) ADD_FAILURE() << GetParam() << " " << failure;
  EXPECT_NE(printed.find("done|"), std::string::npos) << printed;
}

std::vector<std::string> ScriptNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(ScriptsFolder()))
    if (entry.path().extension() == ".txt") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptFiles, ::testing::ValuesIn(ScriptNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param.substr(0, info.param.find('.'));
                         });

}  // namespace
