// units_unit_test.cpp -- the unit record, its reset and the per-step update.

#include <gtest/gtest.h>

#include <vector>

#include <memory>

#include "units/units_local.h"
#include "world/world_public.h"

namespace {

using units::Unit;
using units::Vec3;

// A unit with something to show (a surface), as the world places it.
struct StepFixture : ::testing::Test {
  world::GameWorld world;
  render::TextureHolder surface;
  units::UnitType type;
  Unit unit;

  void SetUp() override {
    unit.surface = &surface;
    unit.type = &type;
    unit.unitId = 5;
  }
};

TEST(UnitRecord, ResetGivesTheIdleDefaultsAndKeepsWhatItKeeps) {
  Unit parent, unit;
  units::SetUnitLabel(unit, "gun");
  unit.priorityLabel.Set("ship");
  units::SetUnitParent(unit, &parent);
  units::SetUnitMaster(unit, &parent);
  units::RecordDamageBy(unit, nullptr, 10);
  unit.flags = units::kUnitTarget | units::kUnitFrozen;
  unit.networkId = 7;
  unit.lifeTimer = 3;
  unit.viewWord = 0;
  unit.soundCopy = 2;
  unit.launchTarget = 9;
  unit.pathIndex = 4;
  unit.sceneNumber = 2;
  unit.home = {1, 2, 3};
  unit.SetObjectPosition(5, 6, 7);
  unit.counter = 30;

  units::ResetUnit(unit);

  EXPECT_EQ(unit.parent, nullptr);
  EXPECT_EQ(unit.GetObjectParent(), nullptr);
  EXPECT_EQ(parent.GetObjectFirstChild(), nullptr);
  EXPECT_EQ(unit.master, nullptr);
  EXPECT_EQ(unit.flags, 0u);
  EXPECT_EQ(unit.networkId, -1);
  EXPECT_EQ(unit.lifeTimer, -1);
  EXPECT_EQ(unit.viewWord, 1);
  EXPECT_EQ(unit.soundCopy, -1);
  EXPECT_EQ(unit.launchTarget, -1);
  EXPECT_EQ(unit.aimingWords[0], -1);
  EXPECT_EQ(unit.aimingWords[1], -1);
  EXPECT_FLOAT_EQ(unit.engineLimitLow, -1.0f);
  EXPECT_FLOAT_EQ(unit.engineLimitHigh, 1.0f);
  EXPECT_EQ(unit.damageByQueue.capacity, 0);
  EXPECT_EQ(unit.damageByQueue.entries, nullptr);
  // Texts are emptied with their buffer kept; the targeting labels are unset.
  EXPECT_TRUE(unit.label.HasBuffer());
  EXPECT_STREQ(unit.label.Get(), "");
  EXPECT_FALSE(unit.priorityLabel.HasBuffer());
  // Kept across the reset.
  EXPECT_EQ(unit.pathIndex, 4);
  EXPECT_EQ(unit.sceneNumber, 2);
  EXPECT_FLOAT_EQ(unit.home.y, 2);
  // The display object is re-initialised.
  EXPECT_EQ(unit.counter, 0);
  EXPECT_FLOAT_EQ(unit.GetObjectPosition().x, 0);
}

TEST(UnitRecord, TypeNameTableEndsWithItsMarkerAndHoldsEveryValueInOrder) {
  int i = 0;
  for (; units::kUnitTypeNameTable[i].value != -1; i++) EXPECT_EQ(units::kUnitTypeNameTable[i].value, i);
  EXPECT_EQ(i, 59);
  EXPECT_STREQ(units::kUnitTypeNameTable[33].name, "MISSILE");
  EXPECT_STREQ(units::kUnitTypeNameTable[58].name, "BALL_TARGET");
}

TEST_F(StepFixture, NothingToShowEndsTheUnitBeforeAnythingRuns) {
  unit.surface = nullptr;
  unit.invulnerableSteps = 3;
  units::RequestUnitState(unit, 2);
  EXPECT_EQ(units::UpdateUnit(world, unit), 0);
  EXPECT_EQ(unit.invulnerableSteps, 3);
  EXPECT_EQ(unit.state, 0);
  EXPECT_EQ(unit.counter, 0);
}

TEST_F(StepFixture, FrozenUnitKeepsStateAgeAndTimerButItsInvulnerabilityRunsOut) {
  unit.flags = units::kUnitFrozen;
  unit.invulnerableSteps = 2;
  unit.lifeTimer = 1;
  unit.counter = 7;
  units::RequestUnitState(unit, 2);
  EXPECT_EQ(units::UpdateUnit(world, unit), 1);
  EXPECT_EQ(unit.invulnerableSteps, 1);
  EXPECT_EQ(unit.state, 0);
  EXPECT_EQ(unit.pendingFlag, 1);
  EXPECT_EQ(unit.counter, 7);
  EXPECT_EQ(unit.lifeTimer, 1);
}

TEST_F(StepFixture, LifeTimerReleasesOnlyWhenItRunsOutFromAPositiveCount) {
  struct Case {
    int32_t timer;
    int expected;
  };
  for (Case c : {Case{1, 0}, Case{2, 1}, Case{0, 1}, Case{-1, 1}}) {
    SCOPED_TRACE(c.timer);
    unit.surface = &surface;
    unit.unitId = 5;
    unit.lifeTimer = c.timer;
    EXPECT_EQ(units::UpdateUnit(world, unit), c.expected);
    if (c.expected == 0) {
      // Released: the record is reset for the pool.
      EXPECT_EQ(unit.unitId, 0);
      EXPECT_EQ(unit.surface, nullptr);
      EXPECT_EQ(unit.lifeTimer, -1);
    }
  }
}

TEST_F(StepFixture, PendingStateLandsAtTheEndOfTheStepWithTheLastRequest) {
  unit.counter = 12;
  EXPECT_EQ(units::RequestUnitState(unit, 1), 0);
  EXPECT_EQ(units::RequestUnitState(unit, 2), 0);
  EXPECT_EQ(unit.state, 0);
  units::UpdateUnit(world, unit);
  EXPECT_EQ(unit.state, 2);
  EXPECT_EQ(unit.pendingFlag, 0);
  EXPECT_EQ(unit.counter, 0);
  units::UpdateUnit(world, unit);
  EXPECT_EQ(unit.counter, 1);
  // SetUnitState changes at once and may set the age.
  EXPECT_EQ(units::SetUnitState(unit, 800, 5), 2);
  EXPECT_EQ(unit.state, 800);
  EXPECT_EQ(unit.pendingState, 800);
  EXPECT_EQ(unit.counter, 5);
  units::SetUnitState(unit, 1, -1);
  EXPECT_EQ(unit.counter, 5);
}

TEST(UnitStep, BehaviourDispatchByTypeValue) {
  units::UnitBehaviour staticStep = units::SelectUnitBehaviour(0);
  ASSERT_NE(staticStep, nullptr);
  // Values outside 4..58 step as static things, as do OBJECT and FACILITY.
  for (int32_t value : {-5, 0, 1, 2, 3, 5, 25, 59, 1000}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(units::SelectUnitBehaviour(value), staticStep);
  }
  // MOUNTED_NONE does nothing; a sword actor steps only as the local player.
  EXPECT_EQ(units::SelectUnitBehaviour(49), nullptr);
  EXPECT_EQ(units::SelectUnitBehaviour(50), nullptr);
  // One step per family, each its own: debris, plane, VTOL, ship, vehicle,
  // guns, launchers, lasers, effect, toy box, runway, the shots (GUN, BEAM,
  // GRENADE), the laser shot, missiles, bombs, mounted weapons, balls, and
  // the balls' beam shots, lasers and target marks.
  const std::vector<std::vector<int32_t>> families = {
      {4},  {6},  {7},  {8},  {9},  {10, 11, 12, 13, 14}, {15, 16, 17, 18, 19}, {20, 21, 22, 23, 24}, {26}, {27},
      {28}, {29, 30, 31}, {32}, {33, 35, 36, 37, 38}, {34, 39, 40, 41, 42}, {43, 44, 45, 46, 47, 48},
      {51, 52, 53, 54, 55}, {56}, {57}, {58}};
  std::vector<units::UnitBehaviour> firsts{staticStep};
  for (const std::vector<int32_t>& family : families) {
    units::UnitBehaviour first = units::SelectUnitBehaviour(family[0]);
    ASSERT_NE(first, nullptr) << family[0];
    for (units::UnitBehaviour other : firsts) EXPECT_NE(first, other) << family[0];
    firsts.push_back(first);
    for (int32_t value : family) EXPECT_EQ(units::SelectUnitBehaviour(value), first) << value;
  }
  // A local player has a step only as a plane or a sword actor.
  EXPECT_NE(units::SelectPlayerBehaviour(units::kTypePlane), nullptr);
  EXPECT_NE(units::SelectPlayerBehaviour(units::kTypeSworder), nullptr);
  EXPECT_NE(units::SelectPlayerBehaviour(units::kTypePlane), units::SelectUnitBehaviour(units::kTypePlane));
  EXPECT_EQ(units::SelectPlayerBehaviour(units::kTypeShip), nullptr);
  EXPECT_EQ(units::SelectPlayerBehaviour(0), nullptr);
}

TEST(UnitRecord, AttachmentsFillTheFirstFreeSlotUntilAllSixteenAreTaken) {
  Unit unit;
  Unit parts[17];
  for (int i = 0; i < 16; i++) EXPECT_EQ(units::AttachToUnit(unit, &parts[i]), i);
  EXPECT_FLOAT_EQ(unit.attachmentVectors[15].y, 0.01f);
  EXPECT_EQ(units::AttachToUnit(unit, &parts[16]), -1);
  for (int i = 0; i < 16; i++) EXPECT_EQ(unit.attachments[i], &parts[i]);
  EXPECT_EQ(units::GetUnitAttachment(unit, 16), nullptr);
  unit.attachments[0] = nullptr;
  EXPECT_EQ(units::GetUnitAttachment(unit, -1), &parts[1]);
  EXPECT_EQ(units::GetUnitAttachment(unit, 0), nullptr);
}

}  // namespace

namespace {

// A unit bound to a straight path in path state moves when its kind has a
// step; which kinds do is the dispatch's concern.
struct PathStepFixture : StepFixture {
  units::PathPointPool pool;
  units::PathPoint* head = nullptr;

  void SetUp() override {
    StepFixture::SetUp();
    units::PathPoint* prev = nullptr;
    for (int i = 0; i < 5; i++) {
      units::PathPoint* p = units::NewPathPoint(pool, i + 1, 1, 1, 1);
      units::SetPathPointPosition(*p, 0, 0, float(i) * 10);
      units::SetPathPointOnCurve(*p, i % 2);
      if (prev) {
        units::SetNextPathPoint(*prev, p);
        units::SetPrevPathPoint(*p, prev);
      } else {
        head = p;
      }
      prev = p;
    }
  }

  // The distance the unit covers in a few steps.
  float Moved(int32_t typeValue, uint32_t flags) {
    units::ResetUnit(unit);
    unit.surface = &surface;
    unit.unitId = 5;
    type.typeValue = typeValue;
    unit.type = &type;
    unit.flags = flags;
    units::SetUnitPath(unit, head->next, 0);
    units::SetUnitState(unit, units::kUnitStateFollowPath, 0);
    unit.velocity = {0, 0, 1};
    Vec3 before = unit.GetObjectPosition();
    for (int i = 0; i < 3; i++) units::UpdateUnit(world, unit);
    Vec3 after = unit.GetObjectPosition();
    return platform::Vec3Length(platform::Vec3Subtract(after, before));
  }
};

TEST_F(PathStepFixture, WhoFollowsThePathInPathState) {
  using units::kUnitPlayer;
  using units::kUnitRemote;
  EXPECT_GT(Moved(units::kTypeShip, 0), 0);
  EXPECT_GT(Moved(units::kTypeObject, 0), 0);           // the static step
  EXPECT_GT(Moved(1000, 0), 0);                         // unknown values step as static things
  EXPECT_EQ(Moved(units::kTypeMountedNone, 0), 0);      // 49 does nothing
  EXPECT_EQ(Moved(units::kTypeSworder, 0), 0);
  // A local player of a kind without a player step stays; a REMOTE one is
  // stepped as an ordinary unit of its kind.
  EXPECT_EQ(Moved(units::kTypeShip, kUnitPlayer), 0);
  EXPECT_GT(Moved(units::kTypeShip, kUnitPlayer | kUnitRemote), 0);
  EXPECT_GT(Moved(units::kTypePlane, kUnitPlayer), 0);
  EXPECT_EQ(Moved(units::kTypeShip, units::kUnitFrozen), 0);
}

}  // namespace

namespace {

TEST(UnitRecord, RecordsMayBeDestroyedParentFirst) {
  auto parent = std::make_unique<Unit>();
  auto child = std::make_unique<Unit>();
  units::SetUnitParent(*child, parent.get());
  ASSERT_EQ(parent->GetObjectFirstChild(), child.get());
  parent.reset();
  EXPECT_EQ(child->GetObjectParent(), nullptr);
  child.reset();  // must not touch the parent's freed record
}

}  // namespace
