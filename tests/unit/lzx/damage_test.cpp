// Damaged coded blocks: whatever the bytes and the bit count, an unpacker
// ends with a result or on the fatal path, never outside its buffers.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "codec_test_util.h"
#include "fatal_catch.h"
#include "lzx/hufcoder.h"
#include "lzx/lzcoder.h"
#include "lzx/rle.h"

namespace {

unsigned char expanded[RleBlockSize + 16];

struct Coder {
  const char* name;
  int (*pack)(int);
  int (*unpack)(int);
};

const std::set<std::string> kExpected = {
    "LzxUnpack: too many bits read",
    "LzxUnpack: bad distance",
    "LzxUnpack: too many bytes written",
    "LzxUnpack: bad bit count",
    "HufUnpack: too many bits read",
    "HufUnpack: too many bytes written",
    "HufUnpack: bad bit count",
    "LenToVal: overcounted",
    "LenToVal: undercounted",
    "DecodeLong: code not found",
    "UnCode: code not found",
    "RecvLens: zero run past the end",
    "RleUnpack: too many bytes read",
    "RleUnpack: too many bytes written",
    "RleUnpack: input > output",
};

class DamagedBlocks : public testing::TestWithParam<int> {
  CatchFatal catchFatal_;
};

TEST_P(DamagedBlocks, EndWithAResultOrOnTheFatalPath) {
  const Coder coder = GetParam() == 0 ? Coder{"lz", LzxPack, LzxUnpack} : Coder{"huf", HufPack, HufUnpack};
  TestRandom rnd(1234 + (uint32_t)GetParam());
  std::map<std::string, int> texts;
  int decoded = 0;
  static const int sizes[] = {1, 5, 64, 700, 3000, 16384};
  for (int round = 0; round < 500; round++) {
    SCOPED_TRACE(testing::Message() << coder.name << " round " << round);
    int sampleKind = rnd.Below(SampleKinds);
    int size = sizes[rnd.Below(6)];
    std::vector<unsigned char> original = SampleBlock(sampleKind, size, rnd.Next());
    LoadRle(original);
    int bits = coder.pack((int)original.size());
    std::vector<unsigned char> coded = BitBytes(bits);

    int kind = rnd.Below(5);
    if (kind == 0) {  // a few flipped bits
      for (int k = 1 + rnd.Below(8); k > 0; k--) {
        int at = rnd.Below(bits);
        coded[at / 8] ^= (unsigned char)(1 << (at % 8));
      }
    } else if (kind == 1) {  // a wrong bit count
      bits += rnd.Below(2) ? -1 - rnd.Below(40) : 1 + rnd.Below(40);
      if (bits < 0) bits = 0;
    } else if (kind == 2) {  // a stretch of noise
      int from = rnd.Below((int)coded.size());
      for (int k = rnd.Below(64); k > 0 && from < (int)coded.size(); k--) coded[from++] = (unsigned char)rnd.Next();
    } else if (kind == 3) {  // noise in the length section
      for (int k = 0; k < 3; k++) {
        int at = rnd.Below(bits < 400 ? bits : 400);
        coded[at / 8] ^= (unsigned char)(1 << (at % 8));
      }
    } else {  // nothing but noise, of any length the buffer takes
      bits = rnd.Below(BitBlockMaxBits + 1);
      coded.resize((size_t)(bits + 7) / 8);
      for (unsigned char& c : coded) c = (unsigned char)rnd.Next();
    }
    coded.resize((size_t)(bits + 7) / 8);
    memcpy(BitBuf, coded.data(), coded.size());

    int unpackResult = 0;
    if (!Survives(coder.unpack, bits, &unpackResult)) {
      texts[FatalLastText()]++;
      continue;
    }
    ASSERT_GE(unpackResult, 0);
    ASSERT_LE(unpackResult, RleBufSize);
    ASSERT_EQ(BitPos, bits);
    decoded++;
    memset(expanded, 0x11, sizeof expanded);
    if (!RleSurvives(RleUnpack, unpackResult, expanded)) texts[FatalLastText()]++;
    ASSERT_EQ(expanded[RleBlockSize], 0x11);
  }
  for (const auto& t : texts) EXPECT_TRUE(kExpected.count(t.first)) << "unexpected fatal text: " << t.first;
  EXPECT_GT(texts.size(), 4u);  // the damage reaches several different checks
  std::string summary;
  for (const auto& t : texts) summary += "  " + t.first + ": " + std::to_string(t.second) + "\n";
  printf("%s: %d decoded, fatal texts:\n%s", coder.name, decoded, summary.c_str());
}

INSTANTIATE_TEST_SUITE_P(BothCoders, DamagedBlocks, testing::Values(0, 1));

TEST(DamagedBlocksUnchanged, StillDecodeExactly) {
  // The same generator without damage: every block comes back.
  TestRandom rnd(99);
  for (int round = 0; round < 40; round++) {
    int size = 1 + rnd.Below(16384);
    std::vector<unsigned char> original = SampleBlock(round % SampleKinds, size, rnd.Next());
    LoadRle(original);
    int bits = round % 2 ? HufPack((int)original.size()) : LzxPack((int)original.size());
    memset(RleBuf, 0, original.size());
    int n = round % 2 ? HufUnpack(bits) : LzxUnpack(bits);
    ASSERT_EQ(n, (int)original.size());
    ASSERT_EQ(memcmp(RleBuf, original.data(), original.size()), 0);
  }
}

}  // namespace
