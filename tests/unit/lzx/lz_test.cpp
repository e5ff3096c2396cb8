#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec_test_util.h"
#include "lzx/codelens.h"
#include "lzx/huffman.h"
#include "lzx/lzcoder.h"

namespace {

// The parse of the last LzxPack: literals as the character, references as
// "L@D".
std::string Tokens() {
  std::string out;
  for (int i = 0; i < ItemCount; i++) {
    uint32_t t = ItemBuf[i];
    if (!out.empty()) out += ' ';
    if (t & 256) {
      out += std::to_string(((t >> 9) & 255) + 3) + "@" + std::to_string(((t >> 17) & 1023) + 1);
    } else {
      out += (char)t;
    }
  }
  return out;
}

std::string Parse(const std::string& s) {
  LoadRle(s);
  LzxPack((int)s.size());
  return Tokens();
}

void ExpectRoundTrip(const std::vector<unsigned char>& block) {
  LoadRle(block);
  int bits = LzxPack((int)block.size());
  memset(RleBuf, 0x5A, block.size() + 16);
  ASSERT_EQ(LzxUnpack(bits), (int)block.size());
  ASSERT_EQ(BitPos, bits);
  ASSERT_EQ(memcmp(RleBuf, block.data(), block.size()), 0);
}

TEST(LzxPack, AbracadabraIsBitExact) {
  LoadRle(std::string("abracadabra"));
  int bits = LzxPack(11);
  EXPECT_EQ(Tokens(), "a b r a c a d 4@7");
  EXPECT_EQ(ItemBuf[7] & 511, 275u);
  EXPECT_EQ(bits, 170);
  EXPECT_EQ(BitBytes(bits), Hex("20 44 00 00 00 00 00 00 00 58 fc db ab 9f be 5f 9e 5f 25 af 6e 02"));
  memset(RleBuf, 0, 11);
  ASSERT_EQ(LzxUnpack(170), 11);
  EXPECT_EQ(std::string((const char*)RleBuf, 11), "abracadabra");
}

TEST(LzxPack, ParsesGreedilyWithTheNearestLongestMatch) {
  EXPECT_EQ(Parse("abcabcabcabc"), "a b c 9@3");
  EXPECT_EQ(ItemBuf[3] & 511, 306u);
  EXPECT_EQ(Parse("aaaaaaaa"), "a 7@1");
  EXPECT_EQ(ItemBuf[1] & 511, 304u);
  EXPECT_EQ(Parse("aaa"), "a a a");
  EXPECT_EQ(Parse("abcXabc"), "a b c X a b c");                  // 3-byte repeats stay literals
  EXPECT_EQ(Parse("abcdXabcd"), "a b c d X 4@5");                // lb = 1: no length bits
  EXPECT_EQ(Parse("abcdQabcdRabcdS"), "a b c d Q 4@5 R 4@5 S");  // equal lengths: nearer wins
  EXPECT_EQ(Parse(std::string(300, 'z')), "z 256@1 43@1");       // cut at 256
  EXPECT_EQ(Parse("xyzwxyzw"), "x y z w 4@4");
}

TEST(LzxPack, WindowIsOneThousandTwentyFourBytes) {
  TestRandom rnd(11);
  std::string s;
  for (int i = 0; i < 1030; i++) s += (char)('A' + rnd.Below(26));
  std::string far = s.substr(0, 1025) + s.substr(0, 8);  // first copy 1,025 back
  LoadRle(far);
  LzxPack((int)far.size());
  for (int i = 0; i < ItemCount; i++) {
    uint32_t dist = ItemBuf[i] & 256 ? ((ItemBuf[i] >> 17) & 1023) + 1 : 0;
    EXPECT_LE(dist, 1024u);
  }
  std::string nearest = s.substr(0, 1024) + s.substr(0, 8);  // exactly 1,024 back: found
  EXPECT_NE(Parse(nearest).find("8@1024"), std::string::npos);
  // D = 1,024 sends nine distance bits: the block round-trips.
  ExpectRoundTrip(std::vector<unsigned char>(nearest.begin(), nearest.end()));
}

TEST(LzxPack, RoundTripsEveryKindOfBlock) {
  for (int kind = 0; kind < SampleKinds; kind++) {
    for (int size : {1, 2, 3, 4, 5, 100, 1023, 4096, 16383, 16384}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << " size " << size);
      ExpectRoundTrip(SampleBlock(kind, size, (uint32_t)(kind * 100 + size)));
    }
  }
}

TEST(LzxPack, RoundTripsRunsOfEveryLength) {
  // Runs of 1..40 equal bytes, around and inside the count byte values.
  std::vector<unsigned char> b;
  for (int v = 0x7E; v <= 0x91; v++) {
    for (int run = 1; run <= 40; run++) b.insert(b.end(), (size_t)run, (unsigned char)(v + run % 2));
  }
  b.resize(16384 < b.size() ? 16384 : b.size());
  ExpectRoundTrip(b);
}

TEST(LzxPack, EmptyBlockIsOnlyItsLengths) {
  int bits = LzxPack(0);
  EXPECT_EQ(LzxUnpack(bits), 0);
}

TEST(LzxPack, UnpackerStopsExactlyAtTheBitCount) {
  LoadRle(std::string("abcdefghabcdefgh"));
  int bits = LzxPack(16);
  BitBuf[(bits + 7) / 8 - 1] |= (unsigned char)(0xFF << (bits % 8 ? bits % 8 : 8));  // padding never read
  EXPECT_EQ(LzxUnpack(bits), 16);
}

void PackThen(const std::string& s, int cut) {
  LoadRle(s);
  int bits = LzxPack((int)s.size());
  LzxUnpack(bits - cut);
}

TEST(LzxUnpackDeathTest, DamagedBlocksEndOnTheFatalPath) {
  // The count ends inside the last reference's extra bits.
  EXPECT_EXIT(PackThen("abcdefghij-abcdefghij", 1), testing::ExitedWithCode(2), "LzxUnpack: too many bits read");
  EXPECT_EXIT(LzxUnpack(BitBlockMaxBits + 1), testing::ExitedWithCode(2), "LzxUnpack: bad bit count");
  EXPECT_EXIT(LzxUnpack(-1), testing::ExitedWithCode(2), "LzxUnpack: bad bit count");
  // A reference as the first item reaches before the block.
  EXPECT_EXIT(
      {
        LoadRle(std::string("aaaaaaaa"));
        int bits = LzxPack(8);
        // Replace the code of 'a' by that of the reference: both are one bit.
        int s = 304;
        ASSERT_EQ(MainTable.len[0x61], 1);
        ASSERT_EQ(MainTable.len[s], 1);
        int at = bits - 1 - 2;  // reference code, then its two length bits
        BitBuf[(at - 1) / 8] ^= (unsigned char)(1 << ((at - 1) % 8));
        BitBuf[at / 8] ^= (unsigned char)(1 << (at % 8));
        LzxUnpack(bits);
      },
      testing::ExitedWithCode(2), "LzxUnpack: bad distance");
}

TEST(LzxUnpackDeathTest, OutputBeyondRleBufIsFatal) {
  // A code of two symbols, 'a' and the reference (L = 259, D = 1): 'a', then
  // 130 references overflow the 32,768 bytes.
  EXPECT_EXIT(
      {
        MainTable.count = LzSymbols;
        memset(MainTable.len, 0, sizeof MainTable.len);
        MainTable.len[0x61] = 1;
        MainTable.len[256 + 16 * 8] = 1;
        BitPos = 0;
        SendLens(MainTable);
        LenToVal(MainTable);
        PutBits(1, MainTable.val[0x61]);
        for (int i = 0; i < 130; i++) {
          PutBits(1, MainTable.val[256 + 128]);
          PutBits(7, 127);
        }
        LzxUnpack(BitPos);
      },
      testing::ExitedWithCode(2), "LzxUnpack: too many bytes written");
}

}  // namespace

namespace {

TEST(LzxPack, RunLengthThenLzOfAPaddedBlockIsBitExact) {
  static unsigned char block[RleBlockSize];
  memset(block, 0, sizeof block);
  memcpy(block, "abracadabra", 11);
  int len = RlePack(block);
  int bits = LzxPack(len);
  EXPECT_EQ(bits, 292);
  EXPECT_EQ(BitBytes(bits),
            Hex("20 46 01 00 00 00 00 00 00 90 d6 af 0e 50 d1 f1 e8 8f fb fe 8c 73 bb 6e 77 cf f8 a3 af "
                "af af af af af 2f ff 02"));
  ASSERT_EQ(LzxUnpack(bits), len);
  static unsigned char back[RleBlockSize];
  RleUnpack(len, back);
  EXPECT_EQ(memcmp(back, block, sizeof block), 0);
}

}  // namespace
