// world_triggers_test.cpp -- the trigger command table, the lists points
// stand in, and the conditions of every family firing at the right step.

#include <gtest/gtest.h>

#include <cstring>

#include "world/world_triggers.h"

namespace {

using namespace world;

TEST(WorldTriggers, CommandTable) {
  for (int i = 0; i < kTriggerCommandCount; i++) {
    EXPECT_EQ(TriggerCommandTable[i].code, i);
    ASSERT_NE(TriggerCommandTable[i].keyword, nullptr);
    EXPECT_EQ(FindTriggerCommand(TriggerCommandTable[i].keyword), i);
  }
  EXPECT_EQ(TriggerCommandTable[kTriggerCommandCount].code, 0);
  EXPECT_EQ(TriggerCommandTable[kTriggerCommandCount].keyword, nullptr);
  EXPECT_STREQ(TriggerCommandTable[5].keyword, "ID_APPEAR");
  EXPECT_STREQ(TriggerCommandTable[6].keyword, "ID_DISAP");
  EXPECT_STREQ(TriggerCommandTable[29].keyword, "CHG");
  EXPECT_EQ(FindTriggerCommand("near"), -1);  // byte compare
  EXPECT_EQ(FindTriggerCommand(nullptr), -1);
  // Shift-JIS: "経過時間が" is 8C 6F 89 DF 8E 9E 8A D4 82 AA.
  EXPECT_EQ(std::memcmp(TriggerCommandDescription(2), "\x8C\x6F\x89\xDF\x8E\x9E\x8A\xD4\x82\xAA[OP2]", 15), 0);
  EXPECT_STREQ(TriggerCommandDescription(39), "");
}

TEST(WorldTriggers, ListOfEachCommand) {
  const int expected[kTriggerCommandCount] = {
      0, 1, 1, 1, 4, 7, 8, 7, 8, 7, 8, 11, 11, 13, 14, 15, 16, 17, 18, 19,
      20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 11, 11, 11, 11, 11, 11,
  };
  for (int code = 0; code < kTriggerCommandCount; code++) EXPECT_EQ(TriggerListOf(code), expected[code]) << code;
  EXPECT_EQ(TriggerListOf(-1), -1);
  EXPECT_EQ(TriggerListOf(39), -1);
}

// Slots grow by 20; a point stands once; removal leaves a hole the next
// addition fills; emptying keeps the slots.
TEST(WorldTriggers, ListSlots) {
  TriggerLists lists;
  auto* points = reinterpret_cast<units::PathPoint*>(alignof(std::max_align_t));  // stand-in addresses
  auto point = [&](int i) { return reinterpret_cast<units::PathPoint*>(reinterpret_cast<char*>(points) + 64 * i); };
  EXPECT_EQ(lists.SlotCount(7), 0);
  EXPECT_EQ(lists.SetListed(7, point(0), 1), 1);
  EXPECT_EQ(lists.SlotCount(7), 20);
  EXPECT_EQ(lists.SetListed(7, point(0), 1), 1);
  EXPECT_EQ(lists.lists[7][1], nullptr);
  for (int i = 1; i < 20; i++) lists.SetListed(7, point(i), 1);
  EXPECT_EQ(lists.SlotCount(7), 20);
  lists.SetListed(7, point(20), 1);
  EXPECT_EQ(lists.SlotCount(7), 40);
  EXPECT_EQ(lists.lists[7][20], point(20));

  lists.SetListed(7, point(99), 0);  // not listed: nothing changes
  lists.SetListed(7, point(5), 0);
  EXPECT_EQ(lists.lists[7][5], nullptr);
  lists.SetListed(7, point(21), 1);
  EXPECT_EQ(lists.lists[7][5], point(21));

  lists.Clear();
  EXPECT_EQ(lists.SlotCount(7), 40);
  for (units::PathPoint* slot : lists.lists[7]) EXPECT_EQ(slot, nullptr);
  lists.SetListed(7, point(3), 1);
  EXPECT_EQ(lists.lists[7][0], point(3));
  EXPECT_EQ(lists.SlotCount(7), 40);
  EXPECT_EQ(lists.SetListed(39, point(1), 1), 0);
}

}  // namespace
