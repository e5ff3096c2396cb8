#include "lzx/rle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/fatal.h"
#include "codec_test_util.h"
#include "lzx/rlescan.h"

namespace {

unsigned char block[RleBlockSize];
unsigned char output[RleBlockSize + 16];

std::vector<unsigned char> Packed(int length) { return std::vector<unsigned char>(RleBuf, RleBuf + length); }

// Packs a block that starts with the given bytes, then a marker and zeros;
// returns the packed form of the start.
std::vector<unsigned char> PackStart(const std::vector<unsigned char>& start) {
  memset(block, 0, sizeof block);
  memcpy(block, start.data(), start.size());
  block[start.size()] = 'Z';
  int length = RlePack(block);
  std::vector<unsigned char> p = Packed(length);
  size_t end = 0;
  while (p[end] != 'Z') end++;
  return std::vector<unsigned char>(p.begin(), p.begin() + (long)end);
}

void ExpectRoundTrip() {
  int length = RlePack(block);
  memset(output, 0x11, sizeof output);
  RleUnpack(length, output);
  ASSERT_EQ(memcmp(output, block, RleBlockSize), 0);
  ASSERT_EQ(output[RleBlockSize], 0x11);
}

TEST(RlePack, OneValueGivesTwoThousandFortyEightBytes) {
  for (int v : {0x00, 0x85, 0xFF}) {
    memset(block, v, sizeof block);
    ASSERT_EQ(RlePack(block), 2048);
    for (int i = 0; i < 2048; i += 2) {
      ASSERT_EQ(RleBuf[i], 0x8F);
      ASSERT_EQ(RleBuf[i + 1], v);
    }
    ExpectRoundTrip();
  }
}

TEST(RlePack, DataThatGrowsIsStored) {
  for (int i = 0; i < RleBlockSize; i++) block[i] = (unsigned char)i;
  ASSERT_EQ(RlePack(block), RleBlockSize);
  EXPECT_EQ(memcmp(RleBuf, block, RleBlockSize), 0);
  ExpectRoundTrip();
}

TEST(RlePack, RunsAreCutIntoSixteens) {
  using V = std::vector<unsigned char>;
  const unsigned char A = 'q';
  EXPECT_EQ(PackStart(V(17, A)), (V{0x8F, A, A}));
  EXPECT_EQ(PackStart(V(18, A)), (V{0x8F, A, A, A}));
  EXPECT_EQ(PackStart(V(19, A)), (V{0x8F, A, 0x82, A}));
  EXPECT_EQ(PackStart(V(40, A)), (V{0x8F, A, 0x8F, A, 0x87, A}));
  EXPECT_EQ(PackStart(V(2, 0x85)), (V{0x80, 0x85, 0x80, 0x85}));
  EXPECT_EQ(PackStart(V(3, 0x85)), (V{0x82, 0x85}));
  EXPECT_EQ(PackStart(V{0x8F}), (V{0x80, 0x8F}));
  EXPECT_EQ(PackStart(V{0x7F, 0x90}), (V{0x7F, 0x90}));
}

TEST(RlePack, TheLastTwoBytesStartNoRun) {
  // The bytes after the block equal the last two: no run is counted into them.
  static unsigned char wide[RleBlockSize + 2];
  for (int i = 0; i < RleBlockSize; i++) wide[i] = (unsigned char)('A' + i % 7);
  wide[RleBlockSize - 2] = wide[RleBlockSize - 1] = wide[RleBlockSize] = wide[RleBlockSize + 1] = 'x';
  int length = RlePack(wide);
  EXPECT_EQ(RleBuf[length - 2], 'x');
  EXPECT_EQ(RleBuf[length - 1], 'x');
  EXPECT_NE(RleBuf[length - 3], 0x81);
}

TEST(RlePack, RoundTripsRunsOfEveryLengthAroundTheCountBytes) {
  int at = 0;
  for (int v = 0x7D; v <= 0x92 && at < RleBlockSize; v++) {
    for (int run = 1; run <= 40 && at < RleBlockSize; run++) {
      for (int k = 0; k < run && at < RleBlockSize; k++) block[at++] = (unsigned char)(run % 2 ? v : v ^ 1);
    }
  }
  ExpectRoundTrip();
  for (int kind = 0; kind < SampleKinds; kind++) {
    std::vector<unsigned char> b = SampleBlock(kind, RleBlockSize, (uint32_t)kind);
    memcpy(block, b.data(), RleBlockSize);
    ExpectRoundTrip();
  }
}

TEST(RleUnpack, AcceptsTheCountByteForTwo) {
  int n = 0;
  RleBuf[n++] = 0x81;
  RleBuf[n++] = 'v';
  for (int i = 0; i < 1023; i++) RleBuf[n++] = 0x8F, RleBuf[n++] = 'w';
  for (int i = 0; i < 14; i++) RleBuf[n++] = 'x';
  memset(output, 0x11, sizeof output);
  RleUnpack(n, output);
  EXPECT_EQ(output[0], 'v');
  EXPECT_EQ(output[1], 'v');
  EXPECT_EQ(output[2], 'w');
  EXPECT_EQ(output[RleBlockSize - 15], 'w');
  EXPECT_EQ(output[RleBlockSize - 1], 'x');
  EXPECT_EQ(output[RleBlockSize], 0x11);
}

TEST(RleUnpack, ExactlyTheBlockSizeIsCopied) {
  for (int i = 0; i < RleBlockSize; i++) RleBuf[i] = (unsigned char)(0x80 + i % 16);
  RleUnpack(RleBlockSize, output);
  EXPECT_EQ(memcmp(output, RleBuf, RleBlockSize), 0);
}

// The scans against a byte-by-byte count, in both forms: count bytes and
// pair changes at every position, and windows of random bytes near them.
TEST(RleScan, BothFormsFindTheCountBytesAndTheEqualPairs) {
  TestRandom random(7);
  unsigned char p[16];
  for (int round = 0; round < 20000; round++) {
    int kind = round % 4;
    for (int i = 0; i < 16; i++) {
      int b = (int)(random.Next() & 0xFF);
      if (kind == 0) b = 0x70 + b % 0x30;  // 0x70..0x9F: count bytes and their neighbours
      if (kind == 1) b = b % 2 ? 0x7F : 0x90;
      if (kind >= 2) b = i % 2 ? 0x31 : 0x8F;
      p[i] = (unsigned char)b;
    }
    if (kind == 1) p[random.Below(17) % 16] = (unsigned char)(0x80 + random.Below(16));
    if (kind == 2) p[random.Below(16)] ^= (unsigned char)(1 << random.Below(8));
    int literals = 0;
    while (literals < 16 && !(p[literals] >= 0x80 && p[literals] <= 0x8F)) literals++;
    unsigned mask = 0;
    for (int i = 0; i < 16; i++) mask |= (unsigned)(p[i] >= 0x80 && p[i] <= 0x8F) << i;
    ASSERT_EQ(RleCountMaskPlain(p), mask) << round;
    ASSERT_EQ(RleCountMask(p), mask) << round;
    int pairs = 1;
    while (pairs < 8 && p[2 * pairs] == p[0] && p[2 * pairs + 1] == p[1]) pairs++;
    ASSERT_EQ(RleLiteralsPlain(p), literals) << round;
    ASSERT_EQ(RleLiterals(p), literals) << round;
    ASSERT_EQ(RleSamePairsPlain(p), pairs) << round;
    ASSERT_EQ(RleSamePairs(p), pairs) << round;
  }
}

// Long runs of one byte go eight pairs at a time: every length of such a
// chain, its end at every place near the block's end and the input's end.
TEST(RleUnpack, ChainsOfRunsOfSixteen) {
  for (int chain = 1; chain <= 20; chain++) {
    for (int tail = 0; tail <= 200; tail += tail < 40 ? 1 : 9) {
      memset(block, 'a', sizeof block);
      int at = RleBlockSize - tail - 16 * chain - 48;
      for (int i = 0; i < at; i++) block[i] = (unsigned char)(i / 5 % 4 == 0 ? 'r' : i % 11 ? 'a' + i % 3 : 0x84);
      // A run of 16 * chain bytes, then another byte's run of 16 to 48.
      memset(block + at, 0x8F, 16 * chain);
      memset(block + at + 16 * chain, 0, 16 * (chain % 3 + 1));
      for (int i = at + 16 * (chain + chain % 3 + 1); i < RleBlockSize; i++) block[i] = (unsigned char)(0x8F - i % 2);
      ASSERT_LT(RlePack(block), RleBlockSize);
      ExpectRoundTrip();
    }
  }
}

// Eight runs after one literal in sixteen input bytes give 129 bytes, the
// most one window can: taken where the output has just room for them and the
// literals after them, nothing is written past its end.
TEST(RleUnpack, TheFullestWindowAtTheEnd) {
  int n = 0;
  for (int i = 0; i < RleBlockSize - 144; i++) RleBuf[n++] = 'a';
  RleBuf[n++] = 'x';
  for (int i = 0; i < 8; i++) RleBuf[n++] = 0x8F, RleBuf[n++] = 'y';
  for (int i = 0; i < 15; i++) RleBuf[n++] = 'z';
  memset(output, 0x11, sizeof output);
  RleUnpack(n, output);
  EXPECT_EQ(output[RleBlockSize - 145], 'a');
  EXPECT_EQ(output[RleBlockSize - 144], 'x');
  EXPECT_EQ(output[RleBlockSize - 16], 'y');
  EXPECT_EQ(output[RleBlockSize - 15], 'z');
  EXPECT_EQ(output[RleBlockSize - 1], 'z');
  EXPECT_EQ(output[RleBlockSize], 0x11);
}

// Stretches of literals go 32 at a time where no count byte is among them:
// a run at every place in and after such a stretch, and a stretch that ends
// with the input (too short for the block) at every length around 32.
TEST(RleUnpack, RunsAtEveryPlaceAfterLiterals) {
  for (int at = 0; at < 80; at++) {
    for (int i = 0; i < RleBlockSize; i++) block[i] = (unsigned char)('a' + i % 23);
    memset(block + 100 + at, 'q', 5);
    block[200 + at] = 0x85;  // a literal count byte
    ASSERT_LT(RlePack(block), RleBlockSize);
    ExpectRoundTrip();
  }
}

TEST(RleUnpackDeathTest, LiteralsThatEndBeforeTheBlock) {
  for (int length = 28; length <= 68; length += 4) {
    EXPECT_EXIT(
        {
          memset(RleBuf, 'a', RleBlockSize);
          RleUnpack(length, output);
        },
        testing::ExitedWithCode(2), "RleUnpack: too many bytes read")
        << length;
  }
}

TEST(RleUnpackDeathTest, DamagedLengthsAndCounts) {
  EXPECT_EXIT(RleUnpack(RleBlockSize + 1, output), testing::ExitedWithCode(2), "RleUnpack: input > output");
  // The output is full before the input is used up.
  EXPECT_EXIT(
      {
        memset(RleBuf, 0, 2048);
        for (int i = 0; i < 2048; i += 2) RleBuf[i] = 0x8F;
        RleUnpack(2049, output);
      },
      testing::ExitedWithCode(2), "RleUnpack: too many bytes read");
  // The input ends before the output is full, or inside a pair.
  EXPECT_EXIT(
      {
        memset(RleBuf, 0, 2048);
        for (int i = 0; i < 2048; i += 2) RleBuf[i] = 0x8F;
        RleUnpack(2047, output);
      },
      testing::ExitedWithCode(2), "RleUnpack: too many bytes read");
  EXPECT_EXIT(RleUnpack(0, output), testing::ExitedWithCode(2), "RleUnpack: too many bytes read");
  // The last run carries the output past its end; nothing is written there.
  EXPECT_EXIT(
      {
        for (int i = 0; i < 2046; i += 2) {
          RleBuf[i] = 0x8F;
          RleBuf[i + 1] = 7;
        }
        RleBuf[2046] = 0x8F;
        RleBuf[2047] = 7;
        RleBuf[2044] = 0x8E;  // one short: the last run of 16 needs one byte too many
        RleBuf[2048] = 0x81;
        RleBuf[2049] = 7;
        memset(output, 0x11, sizeof output);
        FatalSetCloseHook([] { fputs(output[RleBlockSize] == 0x11 ? "clean" : "past the end", stderr); });
        RleUnpack(2050, output);
      },
      testing::ExitedWithCode(2), "RleUnpack: too many bytes written\nclean");
}

}  // namespace
