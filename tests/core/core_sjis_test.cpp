// core_sjis_test.cpp -- Shift-JIS lead bytes and converted literals.

#include <gtest/gtest.h>

#include "core/core_public.h"

namespace {

TEST(IsSjisLeadByte, MatchesTheLeadRangesExactly) {
  for (int b = 0; b < 256; b++) {
    bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFF);
    EXPECT_EQ(core::IsSjisLeadByte(b), lead ? 1 : 0) << std::hex << b;
  }
  // The edges named by the engine's byte scans.
  EXPECT_EQ(core::IsSjisLeadByte(0x80), 0);
  EXPECT_EQ(core::IsSjisLeadByte(0xA0), 0);
  EXPECT_EQ(core::IsSjisLeadByte(0xDF), 0);
  EXPECT_EQ(core::IsSjisLeadByte(0x81), 1);
  EXPECT_EQ(core::IsSjisLeadByte(0x9F), 1);
  EXPECT_EQ(core::IsSjisLeadByte(0xE0), 1);
  EXPECT_EQ(core::IsSjisLeadByte(0xFF), 1);
}

TEST(Sjis, ConvertsLiteralsOnceAndKeepsBackslashes) {
  const char* literal = "ログ\\テスト";
  const char* a = core::Sjis(literal);
  // ロ 83 8D, グ 83 4F, backslash stays 5C, テ 83 65, ス 83 58, ト 83 67.
  EXPECT_EQ(std::string(a), std::string("\x83\x8D\x83\x4F\x5C\x83\x65\x83\x58\x83\x67"));
  EXPECT_EQ(core::Sjis(literal), a);  // same literal, same stored text
  EXPECT_STREQ(core::Sjis("plain ASCII"), "plain ASCII");
  // The log's size-limit message is 34 bytes in Shift-JIS.
  EXPECT_EQ(std::strlen(core::Sjis("ログファイルの容量は16MBまでです。")), 34u);
}

}  // namespace
