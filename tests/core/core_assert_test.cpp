// core_assert_test.cpp -- ENGINE_ASSERT stops on a broken invariant in
// every build, with the place, the condition and the detail on stderr.

#include <gtest/gtest.h>

#include "core/core_public.h"

namespace {

// The condition is evaluated once, and a holding check does nothing.
TEST(EngineAssert, AHoldingCheckEvaluatesOnceAndGoesOn) {
  int evaluated = 0;
  ENGINE_ASSERT(++evaluated == 1);
  ENGINE_ASSERT(++evaluated == 2, "detail %d", evaluated);
  EXPECT_EQ(evaluated, 2);
}

// Also under NDEBUG (release builds): the checks guard what a stale link
// would read, so none may vanish with the build type.
TEST(EngineAssertDeathTest, AFailingCheckAbortsWithItsConditionAndDetail) {
  const char* name = "counter";
  EXPECT_DEATH(ENGINE_ASSERT(name[0] == 'x'), "core_assert_test.cpp:[0-9]+: check failed: name\\[0\\] == 'x'");
  EXPECT_DEATH(ENGINE_ASSERT(name == nullptr, "stale link for [%s]", name),
               "check failed: name == nullptr: stale link for \\[counter\\]");
}

}  // namespace
