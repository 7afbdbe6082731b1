// api_args_test.cpp -- the calling convention's pieces: unit and path-point
// handles, angles read back, the bounded scratch copy, fade units and sound
// handles.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "api/api_args.h"
#include "api_fixture.h"
#include "units/units_public.h"

namespace {

// A call of the fixture's world, as a handler builds it.
struct CallOf {
  script::SystemCallResult result;
  script::SystemCallContext context;
  script::SystemCallArgument args[script::kSystemCallArguments] = {};
  std::vector<char> scratch = std::vector<char>(script::kSystemCallScratchBytes);
  api::Call call;

  CallOf(world::GameWorld* w, const char* name) {
    context.callName = name;
    context.engine = w ? &w->scriptEngine : nullptr;
    call.result = &result;
    call.context = &context;
    call.args = args;
    call.scratch = scratch.data();
    call.world = w;
    call.name = name;
  }
};

TEST(Handles, OnlyASlotHoldingALiveUnitNamesAUnit) {
  apitest::WorldFixture f;
  units::Unit* first = world::AllocUnit(f.world);
  units::Unit* second = world::AllocUnit(f.world);
  units::Unit* third = world::AllocUnit(f.world);
  ASSERT_EQ(first->unitId, 1);
  ASSERT_EQ(third->unitId, 3);
  world::ResetUnitSlot(f.world, second->unitId);  // slot 2 is empty now
  CallOf c(&f.world, "test");
  int slots = world::CountUnitSlots(f.world);
  ASSERT_GT(slots, 3);

  EXPECT_EQ(api::UnitFromHandle(c.call, 1), first);
  EXPECT_EQ(api::UnitFromHandle(c.call, 3), third);
  for (int32_t bad : {-1, 0, 2, 4, slots, slots + 1, api::kPathPointHandleBase, INT_MIN, INT_MAX})
    EXPECT_EQ(api::UnitFromHandle(c.call, bad), nullptr) << bad;
  // Without a world no handle names anything.
  CallOf alone(nullptr, "test");
  EXPECT_EQ(api::UnitFromHandle(alone.call, 1), nullptr);
}

TEST(Handles, PathPointHandlesNameLivePointsOnly) {
  apitest::WorldFixture f;
  CallOf c(&f.world, "test");
  EXPECT_EQ(api::PathPointFromHandle(c.call, api::kPathPointHandleBase), nullptr);
  units::PathPoint* point = units::NewPathPoint(*f.world.pathPoints, 1, 1.0f, 1.0f, 1.0f);
  ASSERT_NE(point, nullptr);
  int32_t handle = units::GetPathPointHandle(point);
  EXPECT_EQ(api::PathPointFromHandle(c.call, handle), point);
  int points = units::CountPathPoints(*f.world.pathPoints);
  for (int32_t bad : {0, 1, -1, api::kPathPointHandleBase - 1, api::kPathPointHandleBase + points,
                      handle == api::kPathPointHandleBase ? api::kPathPointHandleBase + 1 : api::kPathPointHandleBase,
                      INT_MIN, INT_MAX})
    EXPECT_EQ(api::PathPointFromHandle(c.call, bad), nullptr) << bad;
}

TEST(Angles, ReadBackWrappedIntoHalfTurnsBeforeDegrees) {
  struct Case {
    float radians;
    float degrees;
  };
  const Case cases[] = {
      {0.0f, 0.0f},
      {200.0f * api::kRadiansPerDegree, -160.0f},
      {-90.0f * api::kRadiansPerDegree, -90.0f},
      {3.1415927f, -180.0f},  // the upper end wraps to the lower
      {-3.141592f, -180.0f},
      {7.0f * 3.1415927f, -180.0f},
      {-725.0f * api::kRadiansPerDegree, -5.0f},
  };
  for (const Case& c : cases) EXPECT_NEAR(api::DegreesFromRadians(c.radians), c.degrees, 2e-3f) << c.radians;
  // Far-off and broken angles come back at once rather than never.
  float far = api::DegreesFromRadians(1e30f);
  EXPECT_GE(far, -180.0f);
  EXPECT_LT(far, 180.0f);
  EXPECT_TRUE(std::isnan(api::DegreesFromRadians(NAN)));
}

TEST(Angles, RotationResultsAreFreshObjectsInDegrees) {
  apitest::WorldFixture f;
  CallOf c(&f.world, "test");
  api::SetRotationDegrees(c.call, core::Vec3{200.0f * api::kRadiansPerDegree, 0.5f, -1.0f});
  ASSERT_EQ(c.result.type, script::kCallObject);
  EXPECT_EQ(apitest::WorldFixture::MemberCount(c.result.compound), 3);
  EXPECT_NEAR(script::GetMemberFloat(c.result.compound, "pitch"), -160.0f, 1e-3f);
  EXPECT_NEAR(script::GetMemberFloat(c.result.compound, "yaw"), 0.5f / api::kRadiansPerDegree, 1e-3f);
  EXPECT_NEAR(script::GetMemberFloat(c.result.compound, "roll"), -1.0f / api::kRadiansPerDegree, 1e-3f);
}

TEST(Scratch, TextResultsAreBoundedByTheScratchBuffer) {
  apitest::WorldFixture f;
  CallOf c(&f.world, "test");
  std::string longText(70000, 'a');
  api::SetText(c.call, longText.c_str());
  ASSERT_EQ(c.result.type, script::kCallString);
  EXPECT_EQ(std::string(c.result.text).size(), script::kSystemCallScratchBytes - 1);

  // A two-byte character that would straddle the end is left out whole.
  std::string sjis(script::kSystemCallScratchBytes - 2, 'b');
  sjis += "\x82\xa0";  // one Shift-JIS character
  api::SetText(c.call, sjis.c_str());
  EXPECT_EQ(std::string(c.result.text).size(), script::kSystemCallScratchBytes - 2);

  char small[4];
  EXPECT_EQ(api::CopyTextBounded(small, sizeof small, "\x82\xa0\x82\xa2"), 2u);
  EXPECT_STREQ(small, "\x82\xa0");
  EXPECT_EQ(api::CopyTextBounded(small, sizeof small, nullptr), 0u);
  EXPECT_STREQ(small, "");
}

// A call written in the engine's handler form runs as a call function.
script::SystemCallResult* Seven(script::SystemCallResult* result, script::SystemCallContext context,
                                script::SystemCallArgument* args, char* scratch) {
  (void)scratch;
  result->type = script::kCallInt;
  result->intValue = 7 + args[0].intValue + (context.callName[0] == 's');
  return result;
}

TEST(Handlers, AHandlerFormCallRunsAsACallFunction) {
  CallOf c(nullptr, "seven");
  c.args[0].intValue = 2;
  api::CallFunction function = api::ViaHandler<Seven>;
  function(c.call);
  EXPECT_EQ(c.result.type, script::kCallInt);
  EXPECT_EQ(c.result.intValue, 10);
}

TEST(Units, FadesAndSoundHandles) {
  struct FadeCase {
    float volume;
    int32_t hundredths;
  };
  for (FadeCase c : {FadeCase{1.0f, 0}, FadeCase{0.0f, -10000}, FadeCase{0.5f, -5000}, FadeCase{0.25f, -7500}})
    EXPECT_EQ(api::FadeVolume(c.volume), c.hundredths) << c.volume;
  EXPECT_EQ(api::SoundFadeStep(0.0f), 1);
  EXPECT_EQ(api::SoundFadeStep(-2.0f), 1);
  EXPECT_EQ(api::SoundFadeStep(1.0f), 50);
  EXPECT_EQ(api::SoundFadeStep(0.5f), 100);
  EXPECT_EQ(api::SoundFadeStep(100.0f), 0);
  EXPECT_EQ(api::FadeSteps(1.5f), 90.0f);

  EXPECT_EQ(api::MakeSoundHandle(3, 5), 3 * 65536 + 5);
  struct SplitCase {
    int32_t handle, slot, copy;
  };
  for (SplitCase c : {SplitCase{3 * 65536 + 5, 3, 5}, SplitCase{-1, -1, -1}, SplitCase{254 * 65536, 254, 0},
                      SplitCase{0x7FFF8000, 0x7FFF, -32768}}) {
    int32_t slot = 0, copy = 0;
    api::SplitSoundHandle(c.handle, &slot, &copy);
    EXPECT_EQ(slot, c.slot) << c.handle;
    EXPECT_EQ(copy, c.copy) << c.handle;
  }
}

}  // namespace
