#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec_test_util.h"
#include "lzx/codelens.h"
#include "lzx/hufcoder.h"
#include "lzx/huffman.h"

namespace {

void ExpectRoundTrip(const std::vector<unsigned char>& block) {
  LoadRle(block);
  int bits = HufPack((int)block.size());
  memset(RleBuf, 0x5A, block.size() + 16);
  ASSERT_EQ(HufUnpack(bits), (int)block.size());
  ASSERT_EQ(BitPos, bits);
  ASSERT_EQ(memcmp(RleBuf, block.data(), block.size()), 0);
}

TEST(HufPack, AbracadabraIsBitExact) {
  LoadRle(std::string("abracadabra"));
  int bits = HufPack(11);
  EXPECT_EQ(bits, 155);
  EXPECT_EQ(BitBytes(bits), Hex("20 27 00 00 00 00 00 00 00 90 fa dd 1b a8 df 9f 69 39 6f 01"));
  memset(RleBuf, 0, 11);
  ASSERT_EQ(HufUnpack(155), 11);
  EXPECT_EQ(std::string((const char*)RleBuf, 11), "abracadabra");
}

TEST(HufPack, OneByteValueCostsOneZeroBitEach) {
  std::vector<unsigned char> b(1000, 0x33);
  LoadRle(b);
  int bits = HufPack(1000);
  EXPECT_EQ(MainTable.len[0x33], 1);
  int section = bits - 1000;
  for (int i = section; i < bits; i++) ASSERT_EQ((BitBuf[i / 8] >> (i % 8)) & 1, 0);
  ExpectRoundTrip(b);
}

TEST(HufPack, AllValuesEquallyOftenGiveTheByteItself) {
  std::vector<unsigned char> b(512);
  for (int i = 0; i < 512; i++) b[i] = (unsigned char)i;
  LoadRle(b);
  int bits = HufPack(512);
  EXPECT_EQ(bits, 81 + 256 + 512 * 8);
  BitPos = 81 + 256;
  for (int i = 0; i < 8; i++) {
    uint32_t sent = 0;
    for (int k = 0; k < 8; k++) sent = sent << 1 | GetBits(1);  // most significant bit first
    EXPECT_EQ(sent, (uint32_t)i);
  }
}

TEST(HufPack, RoundTripsEveryKindOfBlock) {
  for (int kind = 0; kind < SampleKinds; kind++) {
    for (int size : {1, 2, 7, 300, 5000, 16384}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << " size " << size);
      ExpectRoundTrip(SampleBlock(kind, size, (uint32_t)(kind * 31 + size)));
    }
  }
}

TEST(HufPack, DeepCodesRoundTrip) {
  // Fibonacci-like counts give codes far longer than 11 bits.
  std::vector<unsigned char> b;
  int a = 1, c = 1;
  for (int v = 0; v < 20 && b.size() < 16384; v++) {
    b.insert(b.end(), (size_t)a, (unsigned char)(v * 7));
    int t = a + c;
    a = c;
    c = t;
  }
  b.resize(b.size() > 16384 ? 16384 : b.size());
  LoadRle(b);
  HufPack((int)b.size());
  int longest = 0;
  for (int s = 0; s < 256; s++) longest = MainTable.len[s] > longest ? MainTable.len[s] : longest;
  EXPECT_GE(longest, 15);
  ExpectRoundTrip(b);
}

TEST(HufUnpack, StopsWhereTheCountEndsInsideAByte) {
  LoadRle(std::string("abracadabra"));
  ASSERT_EQ(HufPack(11), 155);
  BitBuf[19] |= 0xF8;  // the padding bits would decode as more symbols
  EXPECT_EQ(HufUnpack(155), 11);
}

TEST(HufUnpackDeathTest, DamagedBlocksEndOnTheFatalPath) {
  EXPECT_EXIT(
      {
        LoadRle(std::string("abracadabrac"));  // ends in a code of several bits
        HufUnpack(HufPack(12) - 1);
      },
      testing::ExitedWithCode(2), "HufUnpack: too many bits read");
  EXPECT_EXIT(HufUnpack(BitBlockMaxBits + 8), testing::ExitedWithCode(2), "HufUnpack: bad bit count");
  // A one-symbol code: every zero bit is a byte, 32,769 of them overflow.
  EXPECT_EXIT(
      {
        MainTable.count = 256;
        memset(MainTable.len, 0, sizeof MainTable.len);
        MainTable.len[0] = 1;
        BitPos = 0;
        SendLens(MainTable);
        int bits = BitPos + 32769;
        memset(BitBuf + (BitPos + 7) / 8, 0, 4200);
        HufUnpack(bits);
      },
      testing::ExitedWithCode(2), "HufUnpack: too many bytes written");
}

}  // namespace
