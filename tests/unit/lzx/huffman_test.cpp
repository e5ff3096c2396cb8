#include "lzx/huffman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "codec_test_util.h"

namespace {

void BuildFromFrequencies(HufTable& t, const std::vector<int>& freq) {
  FresInit(t, (int)freq.size());
  for (size_t s = 0; s < freq.size(); s++) t.key[s] += (uint32_t)freq[s] << 16;
  FreqToLen(t);
  LenToVal(t);
}

// Each code as the bits PutBits sends, first bit first ("-" for no code).
std::string SentCodes(const HufTable& t) {
  std::string out;
  for (int s = 0; s < t.count; s++) {
    if (s) out += ' ';
    if (t.len[s] == 0) out += '-';
    for (int b = 0; b < t.len[s]; b++) out += (char)('0' + ((t.val[s] >> b) & 1));
  }
  return out;
}

std::string Lengths(const HufTable& t) {
  std::string out;
  for (int s = 0; s < t.count; s++) out += (s ? "," : "") + std::to_string(t.len[s]);
  return out;
}

TEST(Huffman, WorkedExamplesIncludingTieRules) {
  struct Row {
    std::vector<int> freq;
    const char* lens;
    const char* codes;
  } rows[] = {
      // New nodes go behind equal weights; among equal frequencies the lower
      // symbol is merged first (rows 1 and 3).
      {{1, 1, 2, 2}, "3,3,2,1", "110 111 10 0"},
      {{1, 1, 1, 1}, "2,2,2,2", "00 01 10 11"},
      {{3, 3, 3, 3, 3}, "2,2,3,3,2", "00 01 110 111 10"},
      {{1, 2, 3, 4, 5, 6}, "4,4,3,2,2,2", "1110 1111 110 00 01 10"},
      {{5, 0, 0, 1}, "1,0,0,1", "0 - - 1"},
      {{0, 0, 7}, "0,0,1", "- - 0"},
      {{0, 0, 0}, "1,0,0", "0 - -"},  // nothing occurs: symbol 0 gets a code
  };
  for (const Row& r : rows) {
    BuildFromFrequencies(MainTable, r.freq);
    EXPECT_EQ(Lengths(MainTable), r.lens);
    EXPECT_EQ(SentCodes(MainTable), r.codes);
  }
  BuildFromFrequencies(MainTable, {0, 0, 7});
  EXPECT_EQ(MainTable.used, 1);
}

// The code lengths of the tree built on one work list, as the coder once
// did: entries in descending order of weight (among equal frequencies the
// higher symbol first), the two at the end merged into a new node that goes
// behind every entry of equal or greater weight.
std::vector<int> OneListLengths(const std::vector<int>& freq) {
  struct Entry {
    int weight, node;
  };
  std::vector<Entry> list;
  for (int s = (int)freq.size() - 1; s >= 0; s--) {
    if (freq[s] > 0) list.push_back({freq[s], s});
  }
  std::stable_sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.weight > b.weight; });
  std::vector<int> parent(freq.size(), -1);
  int next = (int)freq.size();
  while (list.size() >= 2) {
    Entry b = list.back();
    list.pop_back();
    Entry a = list.back();
    list.pop_back();
    parent.resize(next + 1, -1);
    parent[a.node] = parent[b.node] = next;
    Entry n = {a.weight + b.weight, next++};
    size_t at = 0;
    while (at < list.size() && list[at].weight >= n.weight) at++;
    list.insert(list.begin() + (long)at, n);
  }
  std::vector<int> lens(freq.size(), 0);
  for (size_t s = 0; s < freq.size(); s++) {
    if (freq[s] == 0) continue;
    for (int p = parent[s]; p >= 0; p = parent[p]) lens[s]++;
  }
  return lens;
}

TEST(Huffman, TreesAreThoseOfTheOneWorkList) {
  std::mt19937 random(7);
  // Few distinct weights make long runs of equal new nodes; wide ones and
  // many unused symbols are what blocks give.
  for (int maxFreq : {1, 2, 3, 5, 40, 300}) {
    for (int round = 0; round < 60; round++) {
      int n = 2 + (int)(random() % (round % 2 ? 40 : HufMaxSymbols - 1));
      std::vector<int> freq((size_t)n);
      for (int& f : freq) f = random() % 4 == 0 ? 0 : 1 + (int)(random() % (unsigned)maxFreq);
      freq[random() % (unsigned)n] = 1;
      freq[random() % (unsigned)n] = 1;
      std::vector<int> want = OneListLengths(freq);
      if (std::count_if(want.begin(), want.end(), [](int l) { return l > 0; }) < 2) continue;
      BuildFromFrequencies(MainTable, freq);
      std::vector<int> got(MainTable.len, MainTable.len + n);
      ASSERT_EQ(got, want) << "max " << maxFreq << ", round " << round;
    }
  }
}

TEST(Huffman, CodesOfTheIndexWidthUseTheTableAndLongerOnesTheSearch) {
  // Doubling frequencies give a chain: symbols 0 and 1 get the longest code,
  // two bits longer than the index.
  std::vector<int> freq;
  for (int i = 0; i < DecodeBits + 3; i++) freq.push_back(1 << (i == 0 ? 0 : i - 1));
  BuildFromFrequencies(MainTable, freq);
  TableBuild(MainTable);
  int seenWidth = 0, seenLonger = 0;
  for (int s = 0; s < (int)freq.size(); s++) {
    BitPos = 0;
    PutBits(MainTable.len[s], MainTable.val[s]);
    PutBits(24, 0xABCDEF);  // whatever follows
    BitPos = 0;
    uint32_t entry = DecodeEntryAt(PeekBits() & (DecodeSize - 1));
    if (MainTable.len[s] <= DecodeBits) {
      EXPECT_EQ(DecodeEntrySymbol(entry), s);
      EXPECT_EQ(DecodeEntryCodeLen(entry), MainTable.len[s]);
    } else {
      EXPECT_EQ(entry, DecodeEntryLong);
    }
    seenWidth += MainTable.len[s] == DecodeBits;
    seenLonger += MainTable.len[s] == DecodeBits + 1;
    EXPECT_EQ(DecodeSymbol(), s);
    EXPECT_EQ(BitPos, MainTable.len[s]);
    BitPos = 0;
    EXPECT_EQ(UnCode(MainTable, PeekBits()), s);
  }
  EXPECT_EQ(seenWidth, 1);
  EXPECT_EQ(seenLonger, 1);
}

// The symbol whose code of at most maxLen bits begins the bits, or -1.
int ShortCodeAt(const HufTable& t, uint32_t bits, int maxLen) {
  for (int s = 0; s < t.count; s++) {
    int l = t.len[s];
    if (l > 0 && l <= maxLen && ((bits ^ t.val[s]) & ((1u << l) - 1)) == 0) return s;
  }
  return -1;
}

// Every first-level entry against a search of the codes: its first symbol
// and length, a reference's extra bits, and a second literal exactly where
// one fits in the index (a missing pair costs speed, a wrong one bytes).
// Counts the pairs and the entries of long codes.
void CheckDecodeEntries(const HufTable& t, int* pairs, int* longs) {
  for (uint32_t i = 0; i < DecodeSize; i++) {
    uint32_t e = DecodeEntryAt(i);
    ASSERT_EQ(DecodeEntry[i], DecodeEntryWide(e)) << i;  // the extract control of the fast loop
    int first = ShortCodeAt(t, i, DecodeBits);
    if (first < 0) {
      ASSERT_EQ(e, DecodeEntryLong) << i;
      ++*longs;
      continue;
    }
    int l = t.len[first];
    ASSERT_EQ(DecodeEntrySymbol(e), first) << i;
    ASSERT_EQ(DecodeEntryCodeLen(e), l) << i;
    if (first >= RefSymbolFirst) {
      const RefCode& r = RefCodes[first - RefSymbolFirst];
      ASSERT_NE(e & DecodeEntryRef, 0u) << i;
      ASSERT_EQ((int)(e & 63), l + r.lenBits + r.distBits) << i;
      continue;
    }
    int second = ShortCodeAt(t, i >> l, DecodeBits - l);
    bool pair = second >= 0 && second < RefSymbolFirst;
    ASSERT_EQ(e >> 29, pair ? 2u : 1u) << i;
    ASSERT_EQ((int)(e & 63), l + (pair ? t.len[second] : 0)) << i;
    if (pair) {
      ASSERT_EQ((int)((e >> 16) & 0xFF), second) << i;
    }
    *pairs += pair;
  }
  // The codes longer than the index each in a sub-table of their own first
  // level entry (none of these tables fills the room), nothing of an earlier
  // table left in the others.
  for (int s = 0; s < t.count; s++) {
    int l = t.len[s];
    if (l <= DecodeBits) continue;
    uint32_t info = DecodeLongIndex[t.val[s] & (DecodeSize - 1)];
    uint32_t width = info & 31;
    ASSERT_TRUE(width >= (uint32_t)(l - DecodeBits) && width <= DecodeLongMaxWidth) << s;
    ASSERT_EQ(DecodeLongTable[(info >> 5) + ((t.val[s] >> DecodeBits) & ((1u << width) - 1))], s);
  }
  for (uint32_t i = 0; i < DecodeSize; i++) {
    if (DecodeEntryAt(i) != DecodeEntryLong) {
      ASSERT_EQ(DecodeLongIndex[i], 0u) << i;
    }
  }
}

TEST(Huffman, DecodeEntriesHoldWholeItemsAndPairTheLiteralsThatFit) {
  std::vector<int> freq(400, 0);
  for (int s = 0; s < 256; s++) freq[s] = s % 7 == 0 ? 0 : 1 + (3000 >> (s % 13));
  for (int r = 0; r < 144; r++) freq[256 + r] = r % 3 == 0 ? 1 + r * 5 : 0;
  // Tables built one after the other: nothing of the one before may remain.
  std::vector<std::vector<int>> shapes = {freq};
  // One literal of one bit, the others from 2 to over 11 bits; then a
  // reference of one bit in front of them.
  std::vector<int> chain(400, 0);
  for (int s = 0; s < 14; s++) chain[s * 3] = 1 << (s < 2 ? 0 : s - 1);
  shapes.push_back(chain);
  chain[300] = 1 << 16;
  shapes.push_back(chain);
  // The byte alphabet alone, with short codes everywhere.
  std::vector<int> bytes(256);
  for (int s = 0; s < 256; s++) bytes[s] = 1 + (s % 5 == 0 ? 400 : s % 3);
  shapes.push_back(bytes);
  shapes.push_back({0, 0, 5});  // a single code: half the indexes have none
  shapes.push_back(freq);
  for (size_t k = 0; k < shapes.size(); k++) {
    SCOPED_TRACE(k);
    BuildFromFrequencies(MainTable, shapes[k]);
    TableBuild(MainTable);
    int pairs = 0, longs = 0;
    CheckDecodeEntries(MainTable, &pairs, &longs);
    EXPECT_GT(pairs, 0);
    if (k != 3) {
      EXPECT_GT(longs, 0);
    }
  }
}

TEST(Huffman, FullAlphabetOfEqualFrequenciesGivesLengthNine) {
  std::vector<int> freq(512, 3);
  BuildFromFrequencies(MainTable, freq);
  for (int s = 0; s < 512; s++) ASSERT_EQ(MainTable.len[s], 9);
  EXPECT_EQ(MainTable.used, 512);
}

void LoadLengths(HufTable& t, const std::vector<int>& lens) {
  t.count = (int)lens.size();
  for (size_t s = 0; s < lens.size(); s++) t.len[s] = (uint8_t)lens[s];
}

// Two first-level entries under which the codes go down to 24 bits: the
// first sub-table takes all the room, the second entry goes to the linear
// search. Every code still decodes, and nothing of it stays for the next table.
TEST(Huffman, LongCodesDecodeAlsoWhereTheSubTablesRunOutOfRoom) {
  std::vector<int> lens;
  for (int l = 1; l <= 9; l++) lens.push_back(l);
  for (int chain = 0; chain < 2; chain++) {
    for (int l = 11; l <= 23; l++) lens.push_back(l);
    lens.push_back(24);
    lens.push_back(24);
  }
  LoadLengths(MainTable, lens);
  LenToVal(MainTable);
  TableBuild(MainTable);
  int linear = 0;
  for (uint32_t i = 0; i < DecodeSize; i++)
    linear += DecodeEntryAt(i) == DecodeEntryLong && (DecodeLongIndex[i] & 31) == 31;
  EXPECT_EQ(linear, 1);
  for (int s = 0; s < MainTable.count; s++) {
    BitPos = 0;
    PutBits(MainTable.len[s], MainTable.val[s]);
    PutBits(24, 0x5A5A5A);
    BitPos = 0;
    ASSERT_EQ(DecodeSymbol(), s);
    ASSERT_EQ(BitPos, MainTable.len[s]);
  }
  BuildFromFrequencies(MainTable, {1, 2, 3});
  TableBuild(MainTable);
  for (uint32_t i = 0; i < DecodeSize; i++) ASSERT_EQ(DecodeLongIndex[i], 0u) << i;
}

TEST(HuffmanDeathTest, FatalTexts) {
  EXPECT_EXIT(FresInit(MainTable, 513), testing::ExitedWithCode(2), "FresInit: too many symbols");
  EXPECT_EXIT(
      {
        LoadLengths(MainTable, {1, 1, 1});  // one length runs out of codes
        LenToVal(MainTable);
      },
      testing::ExitedWithCode(2), "LenToVal: overcounted");
  EXPECT_EXIT(
      {
        LoadLengths(MainTable, {1, 1, 2});  // over-full although no length is exhausted on its own
        LenToVal(MainTable);
      },
      testing::ExitedWithCode(2), "LenToVal: overcounted");
  EXPECT_EXIT(
      {
        LoadLengths(MainTable, {1, 2, 0, 0});  // leaves the code 11 unassigned
        LenToVal(MainTable);
      },
      testing::ExitedWithCode(2), "LenToVal: undercounted");
  EXPECT_EXIT(
      {
        LoadLengths(MainTable, {0, 0, 0});
        LenToVal(MainTable);
      },
      testing::ExitedWithCode(2), "LenToVal: undercounted");
  EXPECT_EXIT(
      {
        LoadLengths(MainTable, {0, 3, 0});  // a single code must be one bit
        LenToVal(MainTable);
      },
      testing::ExitedWithCode(2), "LenToVal: undercounted");
  EXPECT_EXIT(
      {
        LoadLengths(MainTable, {0, 1});  // the one-symbol code: the bit 1 is no code
        LenToVal(MainTable);
        TableBuild(MainTable);
        DecodeLong(MainTable, 1);
      },
      testing::ExitedWithCode(2), "DecodeLong: code not found");
  EXPECT_EXIT(
      {
        LoadLengths(LenCode, {1, 0});
        LenToVal(LenCode);
        UnCode(LenCode, 0xFFFFFF);
      },
      testing::ExitedWithCode(2), "UnCode: code not found");
}

TEST(Huffman, FresInitTakesFiveHundredTwelve) {
  FresInit(MainTable, 512);
  EXPECT_EQ(MainTable.count, 512);
  EXPECT_EQ(MainTable.key[511], 511u);
}

}  // namespace
