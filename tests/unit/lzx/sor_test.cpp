#include "lzx/sor.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec_test_util.h"

namespace {

enum { Size = SorRowCount * SorRowBytes };
unsigned char block[Size];
unsigned char transformed[Size];
unsigned char back[Size];
unsigned char table[SorTableSize];

unsigned char* Row(int r) { return block + r * SorRowBytes; }

void ExpectRoundTrip(int n) {
  memset(back, 0, sizeof back);
  SorUnpack(transformed, back, table, n);
  ASSERT_EQ(memcmp(back, block, Size), 0);
}

TEST(SorPack, WorkedExample) {
  memset(block, 0xFF, sizeof block);
  memset(Row(5), 0x01, 64);
  memset(Row(9) + 60, 0x07, 4);
  memset(Row(200), 0x01, 63);
  Row(200)[63] = 0x02;
  int n = SorPack(block, transformed, table);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(std::vector<unsigned char>(table, table + 3), (std::vector<unsigned char>{9, 5, 200}));
  std::vector<unsigned char> want;
  for (int c = 0; c < 60; c++) want.insert(want.end(), {0xFF, 0x01, 0x01});
  for (int c = 60; c < 63; c++) want.insert(want.end(), {0x07, 0x01, 0x01});
  want.insert(want.end(), {0x07, 0x01, 0x02});
  want.resize(Size, 0xFF);
  EXPECT_EQ(std::vector<unsigned char>(transformed, transformed + Size), want);
  ExpectRoundTrip(n);
}

TEST(SorPack, AllEmptyAndOneEmptyRow) {
  memset(block, 0xFF, sizeof block);
  EXPECT_EQ(SorPack(block, transformed, table), 0);
  for (int i = 0; i < Size; i++) ASSERT_EQ(transformed[i], 0xFF);
  ExpectRoundTrip(0);

  TestRandom rnd(5);
  for (int i = 0; i < Size; i++) block[i] = (unsigned char)rnd.Next();
  memset(Row(77), 0xFF, 64);
  int n = SorPack(block, transformed, table);
  ASSERT_EQ(n, 255);
  std::vector<int> seen(256, 0);
  for (int k = 0; k < n; k++) seen[table[k]]++;
  for (int r = 0; r < 256; r++) ASSERT_EQ(seen[r], r == 77 ? 0 : 1) << r;
  ExpectRoundTrip(n);
}

TEST(SorPack, IdenticalRowsFollowEachOtherInRowOrder) {
  memset(block, 0xFF, sizeof block);
  for (int r : {3, 40, 90}) memset(Row(r), 0x20, 64);  // equal rows
  for (int r : {10, 60}) memset(Row(r), 0x30, 64);
  Row(60)[0] = 0xFF;  // nearer the empty row by one column: first
  int n = SorPack(block, transformed, table);
  ASSERT_EQ(n, 5);
  EXPECT_EQ(std::vector<unsigned char>(table, table + 5), (std::vector<unsigned char>{60, 10, 3, 40, 90}));
  ExpectRoundTrip(n);
}

TEST(SorPack, RoundTripsStructuredBlocks) {
  TestRandom rnd(9);
  for (int round = 0; round < 8; round++) {
    for (int r = 0; r < 256; r++) {
      int kind = rnd.Below(4);
      for (int c = 0; c < 64; c++) {
        Row(r)[c] = (unsigned char)(kind == 0 ? 0xFF : kind == 1 ? rnd.Next() : kind == 2 ? c : (c + round) & 0xF0);
      }
    }
    memset(Row(round * 31), 0xFF, 64);
    int n = SorPack(block, transformed, table);
    ExpectRoundTrip(n);
  }
}

TEST(SorParts, DistanceStopsAtTheLimit) {
  unsigned char a[64], b[64];
  memset(a, 1, 64);
  memset(b, 2, 64);
  EXPECT_EQ(SorRowDistance(a, b, 999999), 64);
  EXPECT_EQ(SorRowDistance(a, b, 5), 5);
  EXPECT_EQ(SorRowDistance(a, a, 0), 0);
}

TEST(SorDeathTest, NoEmptyRowIsFatal) {
  memset(block, 0, sizeof block);
  EXPECT_EXIT(SorPack(block, transformed, table), testing::ExitedWithCode(2), "SorPack: no empty rows");
  memset(block, 0xFF, sizeof block);
  SorPack(block, transformed, table);  // every row empty: none left to place
  EXPECT_EXIT(SorBestRow(block), testing::ExitedWithCode(2), "SorBestRow: BUG");
}

}  // namespace
