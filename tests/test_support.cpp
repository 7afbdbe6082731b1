// test_support.cpp -- fixtures shared by the engine's tests.

#include "test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
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

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  const char* old = std::getenv(name);
  had_ = old != nullptr;
  if (had_) old_ = old;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_.c_str(), old_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

CommandRun RunCommand(const std::string& command) {
  CommandRun r{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
  int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::string BuildFolder() { return std::filesystem::read_symlink("/proc/self/exe").parent_path().string(); }

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
