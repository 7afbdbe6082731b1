// test_support.h -- fixtures shared by the engine's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test {

// A fresh empty folder that becomes the working folder for the test's life;
// the old working folder comes back and the folder is deleted afterwards.
class ScopedWorkFolder {
 public:
  ScopedWorkFolder();
  ~ScopedWorkFolder();
  ScopedWorkFolder(const ScopedWorkFolder&) = delete;
  ScopedWorkFolder& operator=(const ScopedWorkFolder&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// Records every message box while alive and answers each with `answer`
// (0: the box's first button).
struct RecordedBox {
  std::string text;     // Shift-JIS, as the engine passed it
  std::string caption;  // Shift-JIS
  unsigned flags;
};

class MessageBoxRecorder {
 public:
  explicit MessageBoxRecorder(int answer = 0);
  ~MessageBoxRecorder();
  const std::vector<RecordedBox>& Boxes() const { return boxes_; }

 private:
  static int Hook(void* user, const char* text, const char* caption, unsigned flags);
  std::vector<RecordedBox> boxes_;
  int answer_;
};

// Sets an environment variable (null: unsets it) for the life of the object
// and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

// A shell command's exit status (-1: it did not exit normally) and what it
// wrote to its standard output.
struct CommandRun {
  int status;
  std::string out;
};
CommandRun RunCommand(const std::string& command);

// The folder of the running test program: the engine, its tools and the
// test programs lie side by side there.
std::string BuildFolder();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
// UTF-8 to the engine's Shift-JIS, for expected texts.
std::string Sjis(const std::string& utf8);

// A clock that moves 4 ms a reading: every frame of the 60 Hz pacer is on
// time, so each displayed frame runs one world step.
struct SteadyClock {
  uint32_t now = 5000;
  static uint32_t Read(void* user) {
    auto* c = static_cast<SteadyClock*>(user);
    c->now += 4;
    return c->now;
  }
};

}  // namespace test
