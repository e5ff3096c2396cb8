#include "lzx/bitio.h"

#include <gtest/gtest.h>

#include "codec_test_util.h"

namespace {

TEST(BitIo, PutBitsClearsTheRestOfItsWord) {
  memset(BitBuf, 0xFF, 8);
  BitPos = 0;
  PutBits(6, 0x15);
  PutBits(3, 5);
  EXPECT_EQ(BitPos, 9);
  EXPECT_EQ(BitBuf[0], 0x15 | 0x40);  // stream order 1, 0, 1 from bit 6 on
  EXPECT_EQ(BitBuf[1], 0x01);
  EXPECT_EQ(BitBuf[2], 0x00);
  EXPECT_EQ(BitBuf[3], 0x00);
  EXPECT_EQ(BitBuf[4], 0xFF);  // beyond the word: untouched
}

TEST(BitIo, FieldsComeBackAtEveryOffsetAndWidth) {
  TestRandom rnd(7);
  int widths[600];
  uint32_t values[600];
  BitPos = 0;
  for (int i = 0; i < 600; i++) {
    widths[i] = i % 25;
    values[i] = rnd.Next() & BitMask[widths[i]];
    PutBits(widths[i], values[i]);
  }
  int end = BitPos;
  BitPos = 0;
  for (int i = 0; i < 600; i++) {
    uint32_t peek = PeekBits();
    ASSERT_EQ(peek & BitMask[widths[i]], values[i]) << i;
    ASSERT_EQ(GetBits(widths[i]), values[i]) << i;
  }
  EXPECT_EQ(BitPos, end);
  SkipBits(-end);
  EXPECT_EQ(BitPos, 0);
}

TEST(BitIo, BitLenCountsSignificantBits) {
  BitLenInit();
  BitLenInit();  // a second call changes nothing
  EXPECT_EQ(BitLen[0], 0);
  EXPECT_EQ(BitLen[1], 1);
  EXPECT_EQ(BitLen[3], 2);
  EXPECT_EQ(BitLen[4], 3);
  EXPECT_EQ(BitLen[127], 7);
  EXPECT_EQ(BitLen[128], 8);
  EXPECT_EQ(BitLen[255], 8);
}

}  // namespace
