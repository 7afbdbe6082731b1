// test_support.cpp -- fixtures shared by the engine's tests.

#include "test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/platform_public.h"

namespace test {

ScopedWorkFolder::ScopedWorkFolder() {
  previous_ = std::filesystem::current_path().string();
  std::string pattern = (std::filesystem::temp_directory_path() / "tkw4-test-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  char* made = mkdtemp(buffer.data());
  path_ = made ? made : "";
  if (!path_.empty()) std::filesystem::current_path(path_);
}

ScopedWorkFolder::~ScopedWorkFolder() {
  std::filesystem::current_path(previous_);
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

MessageBoxRecorder::MessageBoxRecorder(int answer) : answer_(answer) {
  platform::SetMessageBoxHook(&MessageBoxRecorder::Hook, this);
}

MessageBoxRecorder::~MessageBoxRecorder() { platform::SetMessageBoxHook(nullptr, nullptr); }

int MessageBoxRecorder::Hook(void* user, const char* text, const char* caption, unsigned flags) {
  auto* self = static_cast<MessageBoxRecorder*>(user);
  self->boxes_.push_back({text, caption, flags});
  if (self->answer_) return self->answer_;
  switch (flags & platform::kMbButtonMask) {
    case platform::kMbYesNo:
    case platform::kMbYesNoCancel: return platform::kIdYes;
    default: return platform::kIdOk;
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string Sjis(const std::string& utf8) { return platform::Utf8ToCp932(utf8); }

}  // namespace test
