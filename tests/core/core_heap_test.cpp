// core_heap_test.cpp -- growable heap blocks, heap tables and heap texts.

#include <gtest/gtest.h>

#include "core/core_public.h"

namespace {

TEST(HeapGrowZeroed, KeepsLargeEnoughBlocksAndGrowsBySixteenExtra) {
  void* block = core::HeapGrowZeroed(nullptr, 84);  // 84 + 16 = 100 bytes
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(core::HeapBlockSize(block), 100u);
  std::memset(block, 0xAB, 100);

  EXPECT_EQ(core::HeapGrowZeroed(block, 100), block);  // large enough: unchanged
  EXPECT_EQ(core::HeapBlockSize(block), 100u);

  void* grown = core::HeapGrowZeroed(block, 101);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(core::HeapBlockSize(grown), 117u);
  const unsigned char* bytes = static_cast<const unsigned char*>(grown);
  for (int i = 0; i < 100; i++) ASSERT_EQ(bytes[i], 0xAB) << i;  // contents kept
  for (int i = 100; i < 117; i++) ASSERT_EQ(bytes[i], 0) << i;    // new bytes zero

  EXPECT_EQ(core::HeapFreeCached(grown), nullptr);
  EXPECT_EQ(core::HeapFreeCached(nullptr), nullptr);
  EXPECT_EQ(core::HeapBlockSize(nullptr), 0u);
}

TEST(HeapTable, GrowthCountsFollowTheDesignedEntrySizes) {
  // A pool of pointers asked to grow by 1,024 bytes at a time gains 260
  // slots each time, on any pointer size.
  core::HeapTable<void*, 4> pool;
  EXPECT_EQ(pool.Count(), 0u);
  for (uint32_t round = 1; round <= 3; round++) {
    uint32_t before = pool.Count();
    ASSERT_TRUE(pool.GrowZeroed(pool.size + 1024));
    EXPECT_EQ(pool.Count(), 260u * round);
    if (before) {
      EXPECT_EQ(pool[before - 1], &pool);  // old entries kept
    }
    for (uint32_t i = before; i < pool.Count(); i++) ASSERT_EQ(pool[i], nullptr);
    pool[pool.Count() - 1] = &pool;  // the last slot is writable
  }
  pool.Free();

  // A trigger list grows to (count + 16) x 4 bytes: 20 slots, then 20 more.
  core::HeapTable<void*, 4> list;
  uint32_t expected[] = {20, 40, 60};
  for (uint32_t want : expected) {
    ASSERT_TRUE(list.GrowZeroed((list.Count() + 16) * 4));
    EXPECT_EQ(list.Count(), want);
  }
  // Asking for no more than it has leaves it alone.
  ASSERT_TRUE(list.GrowZeroed(list.size));
  EXPECT_EQ(list.Count(), 60u);
  list.Free();

  // Records of their own size count by that size.
  struct Record {
    int32_t a, b, c;
  };
  core::HeapTable<Record> records;
  ASSERT_TRUE(records.GrowZeroed(120));
  EXPECT_EQ(records.Count(), 136u / 12u);
  records.Free();
}

TEST(SetHeapString, GrowsAndCopies) {
  char* text = nullptr;
  EXPECT_STREQ(core::SetHeapString(&text, "abc"), "abc");
  char* first = text;
  EXPECT_STREQ(core::SetHeapString(&text, "x"), "x");
  EXPECT_EQ(text, first);  // shorter texts reuse the block
  EXPECT_STREQ(core::SetHeapString(&text, nullptr), "");
  std::string longText(200, 'q');
  EXPECT_EQ(core::SetHeapString(&text, longText.c_str()), longText);
  EXPECT_GE(core::HeapBlockSize(text), 201u);
  core::HeapFreeCached(text);
}

}  // namespace
