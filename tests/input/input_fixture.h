// input_fixture.h -- an input system on scripted devices, with its log, for
// the input tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/app_public.h"
#include "input/input_public.h"
#include "test_support.h"

namespace inputtest {

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_.c_str(), old_.c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

// A fresh working folder, the log "system.log" in it, and an input system
// whose devices come from an input script.
class InputTest : public ::testing::Test {
 protected:
  InputTest() { input.log = &log; }

  // Opens the devices of `script`; the result of InitDirectInput.
  int Open(const std::string& script) {
    test::WriteFile("input.txt", script);
    ScopedEnv env("TKW4_INPUT_SCRIPT", "input.txt");
    return input.InitDirectInput(nullptr);
  }

  // Runs `n` displayed frames (each reads the devices once).
  void Frames(int n) {
    for (int i = 0; i < n; i++) input.UpdateInput(0);
  }

  std::string Log() { return test::ReadFile("system.log"); }

  int Raw(int slot, int code) const { return input.Slot(slot)->raw[code]; }

  test::ScopedWorkFolder work;
  app::LogSystem log{"system.log", 0};
  input::InputSystem input;
};

}  // namespace inputtest
