// app_pacer_test.cpp -- the frame pacer's decisions, driven by a clock.

#include <gtest/gtest.h>

#include "app/app_local.h"

namespace {

struct Step {
  int fps;          // the "FPS" setting at this call
  uint32_t now;     // ms
  bool run;         // a frame is due
  int rate;         // the rate the frame runs (or would run) at
  int fadeSteps;    // 60 / the chosen rate
  const char* why;
};

void RunSteps(app::FramePacer pacer, const std::vector<Step>& steps) {
  for (const Step& s : steps) {
    app::FrameDecision d = app::PaceFrame(&pacer, s.now, s.fps);
    EXPECT_EQ(d.run, s.run) << s.why;
    EXPECT_EQ(pacer.frameRate, s.rate) << s.why;
    EXPECT_EQ(d.fadeStepCount, s.fadeSteps) << s.why;
    EXPECT_EQ(pacer.frameClock, s.now) << s.why;  // noted whether or not it runs
  }
}

TEST(FramePacer, DecisionTable) {
  RunSteps(app::FramePacer{}, {
      {0, 1000, true, 30, 1, "first call: the clock was 0, so the frame is late"},
      {0, 1017, true, 60, 1, "next period at the chosen rate"},
      {0, 1020, false, 60, 1, "same period: nothing runs"},
      {0, 1033, false, 60, 1, "still the same period (k = 61)"},
      {0, 1034, true, 60, 1, "k = 62: one period on"},
      {0, 1074, true, 30, 1, "40 ms later: k moves by 2, late, runs at 30"},
      {0, 1090, true, 60, 1, "the rate is chosen again at the next call"},
      {1, 1099, false, 30, 2, "FPS 1: 30 frames a second, same period"},
      {1, 1120, true, 30, 2, "FPS 1: next period"},
      {1, 1300, true, 20, 2, "late at 30 steps down to 20"},
      {2, 1400, true, 15, 3, "late at 20 steps down to 15"},
      {3, 1600, true, 15, 4, "late at 15 stays 15"},
      {3, 1667, true, 15, 4, "one period at 15"},
      {9, 1700, false, 15, 4, "an unknown setting keeps the rate in use"},
  });
}

TEST(FramePacer, WrappingProductReadsAsLate) {
  // 60 x now wraps past 2^32 at about 71,582,788 ms: the period count jumps
  // back, and an unsigned difference of that is a late frame.
  app::FramePacer pacer;
  pacer.frameRate = 60;
  pacer.frameClock = 71582780u;
  app::FrameDecision d = app::PaceFrame(&pacer, 71582790u, 0);
  EXPECT_TRUE(d.run);
  EXPECT_EQ(pacer.frameRate, 30);
  // After the wrap the counting goes on normally.
  d = app::PaceFrame(&pacer, 71582790u + 5, 0);
  EXPECT_FALSE(d.run);
  d = app::PaceFrame(&pacer, 71582790u + 17, 0);
  EXPECT_TRUE(d.run);
  EXPECT_EQ(pacer.frameRate, 60);

  // The 32-bit millisecond clock itself wrapping is just as continuous.
  pacer.frameClock = 0xFFFFFFF0u;
  d = app::PaceFrame(&pacer, 0x00000002u, 0);
  EXPECT_TRUE(d.run);
}

}  // namespace
