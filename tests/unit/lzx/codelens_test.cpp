#include "lzx/codelens.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec_test_util.h"

namespace {

// PackLens output as text: symbols, with a run's length in brackets.
std::string Folded(const std::vector<int>& lens) {
  std::vector<unsigned char> in(lens.begin(), lens.end());
  unsigned char out[LenListSize];
  FresInit(LenCode, LenSymbols);
  int n = PackLens(in.data(), (int)in.size(), out);
  std::string text;
  for (int i = 0; i < n; i++) {
    if (!text.empty()) text += ' ';
    text += std::to_string(out[i]);
    if (out[i] >= LenRunShort) text += "(" + std::to_string(out[++i]) + ")";
  }
  return text;
}

std::vector<int> Zeros(int n) { return std::vector<int>((size_t)n, 0); }
std::vector<int> Cat(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(PackLens, FoldsZeroRunsAsTheFormatSays) {
  EXPECT_EQ(Folded(Cat(Cat({0, 0, 0, 0, 5}, Zeros(19)), {3, 0, 0, 7})), "25(4) 5 0 25(18) 3 0 0 7");
  EXPECT_EQ(Folded(Cat(Zeros(84), {1})), "26(83) 0 1");
  EXPECT_EQ(Folded(Cat(Zeros(20), {1})), "26(20) 1");
  EXPECT_EQ(Folded(Cat(Zeros(18), {1})), "25(18) 1");
  EXPECT_EQ(Folded(Cat(Zeros(3), {1})), "25(3) 1");
  EXPECT_EQ(Folded(Cat({2}, Zeros(144))), "2 26(83) 26(61)");  // runs stop at the end of the table
  EXPECT_EQ(Folded(Zeros(2)), "0 0");
  // Every symbol is counted in LenCode, the run bytes are not.
  Folded(Cat(Zeros(84), {1}));
  EXPECT_EQ(LenCode.key[LenRunLong] >> 16, 1u);
  EXPECT_EQ(LenCode.key[0] >> 16, 1u);
  EXPECT_EQ(LenCode.key[1] >> 16, 1u);
}

TEST(SendLenLens, EscapesSevenAndAbove) {
  unsigned char lens[3] = {6, 7, 14};
  BitPos = 0;
  SendLenLens(lens, 3);
  EXPECT_EQ(BitPos, 3 + 6 + 6);
  BitPos = 0;
  EXPECT_EQ(GetBits(3), 6u);
  EXPECT_EQ(GetBits(3), 7u);
  EXPECT_EQ(GetBits(3), 0u);
  EXPECT_EQ(GetBits(3), 7u);
  EXPECT_EQ(GetBits(3), 7u);
  unsigned char back[3];
  BitPos = 0;
  RecvLenLens(back, 3);
  EXPECT_EQ(std::vector<unsigned char>(back, back + 3), std::vector<unsigned char>(lens, lens + 3));
}

TEST(SendLens, EqualLengthsCostOneBitEach) {
  MainTable.count = 256;
  for (int s = 0; s < 256; s++) MainTable.len[s] = 8;
  BitPos = 0;
  SendLens(MainTable);
  EXPECT_EQ(BitPos, 81 + 256);
  EXPECT_EQ(LenCode.used, 1);
  for (int i = 0; i < 256; i++) ASSERT_EQ((BitBuf[(81 + i) / 8] >> ((81 + i) % 8)) & 1, 0) << i;
}

TEST(SendLens, SectionsComeBackUnchangedWithTheirCodes) {
  TestRandom rnd(3);
  for (int round = 0; round < 200; round++) {
    // Lengths of a real code: frequencies with many zeros and long gaps.
    int n = round % 2 ? 400 : 256;
    FresInit(MainTable, n);
    for (int s = 0; s < n; s++) {
      int pick = rnd.Below(10);
      if (pick < (round % 5) + 3) continue;
      MainTable.key[s] += (uint32_t)(1 + rnd.Below(pick == 9 ? 3000 : 20)) << 16;
    }
    FreqToLen(MainTable);
    std::vector<unsigned char> want(MainTable.len, MainTable.len + n);
    static HufTable coded;
    coded = MainTable;
    LenToVal(coded);
    BitPos = 0;
    SendLens(MainTable);
    int end = BitPos;
    memset(MainTable.len, 0xEE, sizeof MainTable.len);
    BitPos = 0;
    RecvLens(MainTable, n);
    ASSERT_EQ(BitPos, end);
    ASSERT_EQ(MainTable.count, n);
    ASSERT_EQ(std::vector<unsigned char>(MainTable.len, MainTable.len + n), want) << round;
    EXPECT_EQ(MainTable.len[n], 0xEE);  // nothing beyond the table is touched
    // With the codes LenToVal makes from the lengths.
    ASSERT_EQ(std::vector<uint32_t>(MainTable.val, MainTable.val + n), std::vector<uint32_t>(coded.val, coded.val + n));
    int all = coded.lenStart[HufMaxLen + 1];
    ASSERT_EQ(std::vector<int>(MainTable.lenStart + 1, MainTable.lenStart + HufMaxLen + 2),
              std::vector<int>(coded.lenStart + 1, coded.lenStart + HufMaxLen + 2));
    ASSERT_EQ(std::vector<uint16_t>(MainTable.byLen, MainTable.byLen + all),
              std::vector<uint16_t>(coded.byLen, coded.byLen + all));
  }
}

TEST(RecvLensDeathTest, ZeroRunPastTheEndIsFatal) {
  // LenCode: symbols 1 and 25 of one bit each; then 1, 1, 1 and a run of 3
  // for a table of 5.
  EXPECT_EXIT(
      {
        unsigned char lens[LenSymbols] = {0};
        lens[1] = 1;
        lens[LenRunShort] = 1;
        BitPos = 0;
        SendLenLens(lens, LenSymbols);
        PutBits(3, 0);
        PutBits(1, 1);
        PutBits(4, 0);
        BitPos = 0;
        RecvLens(MainTable, 5);
      },
      testing::ExitedWithCode(2), "RecvLens: zero run past the end");
}

TEST(SendLenLensDeathTest, AboveFourteenIsFatal) {
  unsigned char lens[1] = {15};
  EXPECT_EXIT(SendLenLens(lens, 1), testing::ExitedWithCode(2), "SendLenLens: too big");
}

}  // namespace
