// input_fixture.h -- an input system on scripted devices, with its log, for
// the input tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/core_public.h"
#include "input/input_public.h"
#include "test_support.h"

namespace inputtest {

using test::ScopedEnv;

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
  core::LogSystem log{"system.log", 0};
  input::InputSystem input;
};

}  // namespace inputtest
