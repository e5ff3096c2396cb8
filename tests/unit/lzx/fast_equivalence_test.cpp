// The fast codec against the reference of reference.cpp: the same coded bits,
// the same bytes back and, for damaged input, the same fatal text, on blocks of
// many kinds, on random blocks and on every block of the files in the folder
// named by LZX_BENCH_CORPUS, when it is set (for instance the benchmark corpus).
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "base/fatal.h"
#include "codec_test_util.h"
#include "fatal_catch.h"
#include "lzx/codelens.h"
#include "lzx/hufcoder.h"
#include "lzx/huffman.h"
#include "lzx/lzcoder.h"
#include "lzx/rle.h"
#include "lzx/sor.h"
#include "reference.h"

namespace {

typedef std::vector<unsigned char> Bytes;

// What one call left behind: its result, or the fatal text it ended with.
struct Outcome {
  bool fatal = false;
  std::string text;
  int result = 0;
  int bitPos = 0;
  Bytes rle;
};

bool operator==(const Outcome& a, const Outcome& b) {
  if (a.fatal || b.fatal) return a.fatal == b.fatal && a.text == b.text;
  return a.result == b.result && a.bitPos == b.bitPos && a.rle == b.rle;
}

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  if (o.fatal) return os << "fatal \"" << o.text << "\"";
  return os << "result " << o.result << ", BitPos " << o.bitPos;
}

unsigned char rleOut[RleBlockSize];

// LzxUnpack in the form built for processors with BMI2 (where this one has
// it) and in the plain form.
int UnpackBmi2Form(int bits) {
  LzxUnpackAllowBmi2(1);
  return LzxUnpack(bits);
}
int UnpackPlainForm(int bits) {
  LzxUnpackAllowBmi2(0);
  return LzxUnpack(bits);
}

// Runs an unpacker on coded bytes with a bit count.
Outcome Unpack(int (*unpack)(int), const Bytes& coded, int bits) {
  memset(BitBuf, 0, sizeof BitBuf);
  memcpy(BitBuf, coded.data(), coded.size() < (size_t)BitBufSize ? coded.size() : (size_t)BitBufSize);
  memset(RleBuf, 0x5A, sizeof RleBuf);
  Outcome o;
  int callResult = 0;
  if (!Survives(unpack, bits, &callResult)) {
    o.fatal = true;
    o.text = FatalLastText();
    return o;
  }
  o.result = callResult;
  o.bitPos = BitPos;
  o.rle.assign(RleBuf, RleBuf + callResult);
  return o;
}

struct Coded {
  int bits;
  Bytes bytes;
};

Coded Pack(int (*pack)(int), const Bytes& rle) {
  memcpy(RleBuf, rle.data(), rle.size());
  memset(BitBuf, 0xA5, sizeof BitBuf);  // packing must not depend on what is there
  Coded c;
  c.bits = pack((int)rle.size());
  EXPECT_EQ(BitPos, (c.bits + 7) & ~7);
  c.bytes.assign(BitBuf, BitBuf + (c.bits + 7) / 8);
  return c;
}

class FastCodec : public testing::Test {
 protected:
  CatchFatal catchFatal_;
  void TearDown() override { LzxUnpackAllowBmi2(1); }

  // Both coders, both directions, on run-length data of 1..16,384 bytes.
  void CheckCoders(const Bytes& rle) {
    Coded fast = Pack(LzxPack, rle), ref = Pack(Ref::LzxPack, rle);
    ASSERT_EQ(fast.bits, ref.bits);
    ASSERT_TRUE(fast.bytes == ref.bytes) << "LzxPack codes differently";
    Outcome a = Unpack(UnpackBmi2Form, fast.bytes, fast.bits), b = Unpack(Ref::LzxUnpack, fast.bytes, fast.bits);
    ASSERT_EQ(a, b);
    ASSERT_FALSE(a.fatal) << a;
    ASSERT_TRUE(a.rle == rle);
    ASSERT_EQ(Unpack(UnpackPlainForm, fast.bytes, fast.bits), b);
    lzx_.push_back(fast);

    fast = Pack(HufPack, rle);
    ref = Pack(Ref::HufPack, rle);
    ASSERT_EQ(fast.bits, ref.bits);
    ASSERT_TRUE(fast.bytes == ref.bytes) << "HufPack codes differently";
    a = Unpack(HufUnpack, fast.bytes, fast.bits);
    b = Unpack(Ref::HufUnpack, fast.bytes, fast.bits);
    ASSERT_EQ(a, b);
    ASSERT_TRUE(a.rle == rle);
    huf_.push_back(fast);
  }

  // A whole block through every stage.
  void CheckBlock(const unsigned char* block) {
    int n = RlePack(block);
    Bytes fast(RleBuf, RleBuf + n);
    ASSERT_EQ(Ref::RlePack(block), n);
    ASSERT_TRUE(Bytes(RleBuf, RleBuf + n) == fast) << "RlePack differs";
    static unsigned char out[RleBlockSize], refOut[RleBlockSize];
    RleUnpack(n, out);
    memcpy(RleBuf, fast.data(), fast.size());
    Ref::RleUnpack(n, refOut);
    ASSERT_EQ(memcmp(out, block, RleBlockSize), 0);
    ASSERT_EQ(memcmp(refOut, block, RleBlockSize), 0);
    CheckCoders(fast);

    bool sorable = false;
    for (int r = 0; r < SorRowCount && !sorable; r++) {
      sorable = true;
      for (int c = 0; c < SorRowBytes; c++) sorable = sorable && block[r * SorRowBytes + c] == 0xFF;
    }
    if (!sorable) return;
    static unsigned char sor[RleBlockSize], refSor[RleBlockSize], table[SorTableSize], refTable[SorTableSize];
    int rows = SorPack(block, sor, table);
    ASSERT_EQ(Ref::SorPack(block, refSor, refTable), rows);
    ASSERT_EQ(memcmp(table, refTable, (size_t)rows), 0) << "SorPack orders the rows differently";
    ASSERT_EQ(memcmp(sor, refSor, RleBlockSize), 0);
    SorUnpack(sor, out, table, rows);
    ASSERT_EQ(memcmp(out, block, RleBlockSize), 0);
  }

  std::vector<Coded> lzx_, huf_;
};

// Blocks of 16,384 bytes of the kinds the benchmarks meet, several of them
// with empty rows for the Sor stage.
Bytes MakeBlock(int kind, uint32_t seed) {
  TestRandom rnd(seed);
  Bytes b(RleBlockSize);
  switch (kind) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
      return SampleBlock(kind, RleBlockSize, seed);
    case 6:  // a page: white rows, text-like strokes, some grey
      for (int i = 0; i < RleBlockSize; i++) {
        int col = i % 1024, row = i / 1024;
        b[i] = col < 160 || col >= 864 || row % 4 == 0 ? 0xFF : rnd.Below(3) ? 0xFF : (unsigned char)(rnd.Below(64));
      }
      return b;
    case 7:  // skewed bytes: long codes beyond the first decoding level
      for (int i = 0; i < RleBlockSize; i++) {
        int v = 0;
        while (v < 255 && rnd.Below(3) == 0) v++;
        b[i] = (unsigned char)(v * 37);
      }
      return b;
    case 8:  // short periods with count bytes
      for (int i = 0; i < RleBlockSize; i++) b[i] = (unsigned char)(0x80 + i % (2 + (int)(seed % 15)));
      return b;
    case 9:  // two letters at random
      for (int i = 0; i < RleBlockSize; i++) b[i] = (unsigned char)('a' + rnd.Below(2));
      return b;
    case 10:  // runs of every length
      for (int i = 0; i < RleBlockSize;) {
        int n = 1 + rnd.Below(40);
        unsigned char v = (unsigned char)(rnd.Below(4) ? 0x41 + rnd.Below(3) : 0x80 + rnd.Below(16));
        for (; n > 0 && i < RleBlockSize; n--) b[i++] = v;
      }
      return b;
    case 11:  // noise rows and one empty row: the Sor stage's hardest case
      for (int i = 0; i < RleBlockSize; i++) b[i] = (unsigned char)rnd.Next();
      memset(b.data() + 64 * (seed % 256), 0xFF, 64);
      return b;
    default:  // repeated rows with small changes, some rows empty
      for (int r = 0; r < 256; r++) {
        int base = rnd.Below(5);
        for (int c = 0; c < 64; c++)
          b[r * 64 + c] = base == 0 ? 0xFF : (unsigned char)(base * 40 + (rnd.Below(8) == 0 ? rnd.Below(4) : 0));
      }
      return b;
  }
}
enum { BlockKinds = 13 };

TEST_F(FastCodec, EveryStageMatchesTheReferenceOnBlocksOfEveryKind) {
  for (int kind = 0; kind < BlockKinds; kind++) {
    for (uint32_t seed = 1; seed <= 3; seed++) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << " seed " << seed);
      Bytes block = MakeBlock(kind, seed * 7919 + (uint32_t)kind);
      CheckBlock(block.data());
      if (HasFatalFailure()) return;
    }
  }
}

TEST_F(FastCodec, CodersMatchTheReferenceOnRandomRunLengthData) {
  TestRandom rnd(4242);
  static const int sizes[] = {1, 2, 3, 4, 5, 9, 257, 1025, 4000, 16383, 16384};
  for (int round = 0; round < 60; round++) {
    int size = round < 11 ? sizes[round] : 1 + rnd.Below(RleBlockSize);
    SCOPED_TRACE(testing::Message() << "round " << round << " size " << size);
    Bytes rle = SampleBlock(rnd.Below(SampleKinds), size, rnd.Next());
    if (round % 2 == 0) {
      Bytes b = MakeBlock(rnd.Below(BlockKinds), rnd.Next());
      rle.assign(b.begin(), b.begin() + size);
    }
    CheckCoders(rle);
    if (HasFatalFailure()) return;
  }
}

// Damage reaches the decoders' checks; the fast one must stop where the
// reference stops, with the same text, or decode the same bytes.
TEST_F(FastCodec, DamagedBlocksEndAsWithTheReference) {
  TestRandom rnd(777);
  for (int kind = 0; kind < BlockKinds; kind++) CheckCoders(MakeBlock(kind, 100 + (uint32_t)kind));
  ASSERT_FALSE(HasFatalFailure());
  int fatal = 0;
  for (int round = 0; round < 1200; round++) {
    bool lz = round % 2 == 0;
    const Coded& c = (lz ? lzx_ : huf_)[(size_t)rnd.Below((int)lzx_.size())];
    Bytes bytes = c.bytes;
    int bits = c.bits;
    switch (rnd.Below(5)) {
      case 0:
        for (int k = 1 + rnd.Below(6); k > 0; k--) {
          int at = rnd.Below(bits);
          bytes[at / 8] ^= (unsigned char)(1 << (at % 8));
        }
        break;
      case 1:
        bits += rnd.Below(2) ? -1 - rnd.Below(60) : 1 + rnd.Below(60);
        if (bits < 0) bits = 0;
        break;
      case 2: {
        int at = rnd.Below((int)bytes.size());
        for (int k = rnd.Below(32); k > 0 && at < (int)bytes.size(); k--) bytes[at++] = (unsigned char)rnd.Next();
        break;
      }
      case 3:
        for (int k = 0; k < 3; k++) {
          int at = rnd.Below(bits < 300 ? bits : 300);
          bytes[at / 8] ^= (unsigned char)(1 << (at % 8));
        }
        break;
      default:
        bits = rnd.Below(BitBlockMaxBits + 1);
        bytes.resize((size_t)(bits + 7) / 8);
        for (unsigned char& b : bytes) b = (unsigned char)rnd.Next();
        break;
    }
    bytes.resize((size_t)(bits + 7) / 8);
    SCOPED_TRACE(testing::Message() << "round " << round << (lz ? " lz" : " huf") << " bits " << bits);
    // The two forms of LzxUnpack take turns.
    Outcome a = Unpack(lz ? (round % 4 ? UnpackBmi2Form : UnpackPlainForm) : HufUnpack, bytes, bits);
    Outcome b = Unpack(lz ? Ref::LzxUnpack : Ref::HufUnpack, bytes, bits);
    ASSERT_EQ(a, b);
    fatal += a.fatal;
  }
  LzxUnpackAllowBmi2(1);
  EXPECT_GT(fatal, 300);
}

// Blocks no packer writes: literals, references of the longest length (258
// bytes) up to and past the end of RleBuf, and literals after them, so that
// the fast loop, not the checked one, meets the end of its room (or of RleBuf)
// when they are many; and references after two literal entries each (four
// literals), so that a turn that starts where the room ends stores four bytes
// before its copy. Each count and distance (a fill, copies by 8 and by 16
// bytes) ends as with the reference: the bytes written or the same fatal text.
TEST_F(FastCodec, LongestReferencesUpToAndPastTheBufferEnd) {
  struct Dist {
    int ds, extra, value;  // distance 1, 9 + 3 = 12, 17 + 3 = 20
  } dists[] = {{0, 0, 0}, {4, 3, 3}, {5, 4, 3}};
  int fatal = 0, cases = 0;
  auto check = [&](const Dist& d, int lead, int before, int refs, int lastExtra, int tail) {
    FresInit(MainTable, LzSymbols);
    int lit = 'a', ref = RefSymbolFirst + 16 * 8 + d.ds;  // 8 length bits: 131 + 0..127
    MainTable.key[lit] += 65536;
    MainTable.key[ref] += 65536;
    BitPos = 0;
    memset(BitBuf, 0, sizeof BitBuf);
    FreqToLen(MainTable);
    SendLens(MainTable);
    LenToVal(MainTable);
    for (int k = 0; k < lead; k++) PutBits(MainTable.len[lit], MainTable.val[lit]);
    for (int k = 0; k < refs; k++) {
      for (int j = 0; j < before; j++) PutBits(MainTable.len[lit], MainTable.val[lit]);
      PutBits(MainTable.len[ref], MainTable.val[ref]);
      PutBits(7, k + 1 < refs ? 127 : (uint32_t)lastExtra);
      if (d.extra > 0) PutBits(d.extra, (uint32_t)d.value);
    }
    for (int k = 0; k < tail; k++) PutBits(MainTable.len[lit], MainTable.val[lit]);
    int bits = BitPos;
    Bytes coded(BitBuf, BitBuf + (bits + 7) / 8);
    SCOPED_TRACE(testing::Message() << "ds " << d.ds << " lead " << lead << " before " << before << " refs " << refs
                                    << " last " << lastExtra << " tail " << tail);
    Outcome b = Unpack(Ref::LzxUnpack, coded, bits);
    ASSERT_EQ(Unpack(UnpackBmi2Form, coded, bits), b);
    ASSERT_EQ(Unpack(UnpackPlainForm, coded, bits), b);
    fatal += b.fatal;
    cases++;
  };
  for (const Dist& d : dists) {
    for (int refs = 120; refs <= 130; refs++)
      for (int lastExtra : {0, 97, 127})
        for (int tail : {0, 70, 200}) check(d, 40, 0, refs, lastExtra, tail);
    // Turns of four literals and a reference (262 bytes) from 262 + 262 k on.
    for (int lead = 256; lead <= 276; lead += 2) check(d, lead, 4, 130, 127, 0);
  }
  EXPECT_GT(fatal, 0);
  EXPECT_LT(fatal, cases);
}

// Turns whose items take the most bits of the register: literals whose codes
// are as long as the index (one to an entry), literals and references whose
// codes are 23 and 24 bits long, and references with 17 extra bits, in random
// order after a lead that lets the references reach back 2,048 bytes.
TEST_F(FastCodec, ItemsOfTheLongestCodesInAnyOrder) {
  // A chain of code lengths 1 to 23 and 24 twice: literals 'a' to 'u' for 1
  // to 21 bits, then references, and 'z' and a reference for 24.
  int chain[25];
  for (int i = 0; i < 21; i++) chain[i] = 'a' + i;
  chain[21] = RefSymbolFirst + 16 * 3 + 2;
  chain[22] = RefSymbolFirst + 16 * 8 + 11;  // 7 + 10 extra bits
  chain[23] = 'z';
  chain[24] = RefSymbolFirst + 16 * 8 + 10;
  uint32_t seed = 5;
  auto next = [&seed]() { return (seed = seed * 1103515245u + 12345) >> 8; };
  for (int round = 0; round < 40; round++) {
    MainTable.count = LzSymbols;
    memset(MainTable.len, 0, sizeof MainTable.len);
    for (int i = 0; i < 25; i++) MainTable.len[chain[i]] = (uint8_t)(i < 23 ? i + 1 : 24);
    BitPos = 0;
    memset(BitBuf, 0, sizeof BitBuf);
    SendLens(MainTable);
    LenToVal(MainTable);
    auto put = [](int s) { PutBits(MainTable.len[s], MainTable.val[s]); };
    for (int k = 0; k < 2100; k++) put('a');
    int out = 2100;
    for (int k = 0; k < 1500; k++) {
      // Mostly the literal as long as the index, the longest codes and the
      // references with the most extra bits.
      uint32_t pick = next() % 20;
      int s = pick < 7    ? chain[DecodeBits - 1]
              : pick < 10 ? 'z'
              : pick < 12 ? chain[22]
              : pick < 14 ? chain[24]
                          : chain[next() % 25];
      if (s >= RefSymbolFirst && out > 30000) s = 'z';
      put(s);
      if (s < RefSymbolFirst) {
        out++;
        continue;
      }
      const RefCode& rc = RefCodes[(s - RefSymbolFirst) & 255];
      uint32_t len = next() & ((1u << rc.lenBits) - 1), dist = next() & ((1u << rc.distBits) - 1);
      PutBits(rc.lenBits, len);
      PutBits(rc.distBits, dist);
      out += rc.lenBase + (int)len;
    }
    int bits = BitPos;
    Bytes coded(BitBuf, BitBuf + (bits + 7) / 8);
    SCOPED_TRACE(round);
    Outcome b = Unpack(Ref::LzxUnpack, coded, bits);
    ASSERT_FALSE(b.fatal) << b.text;
    ASSERT_EQ(Unpack(UnpackBmi2Form, coded, bits), b);
    ASSERT_EQ(Unpack(UnpackPlainForm, coded, bits), b);
  }
}

TEST_F(FastCodec, RunLengthDecoderMatchesTheReferenceOnDamagedData) {
  TestRandom rnd(31);
  static unsigned char out[RleBlockSize], refOut[RleBlockSize];
  for (int round = 0; round < 400; round++) {
    Bytes block = MakeBlock(rnd.Below(BlockKinds), rnd.Next());
    int n = RlePack(block.data());
    Bytes rle(RleBuf, RleBuf + n);
    for (int k = rnd.Below(4); k > 0; k--) rle[(size_t)rnd.Below(n)] = (unsigned char)(0x80 + rnd.Below(20));
    int length = rnd.Below(3) ? n : n + rnd.Below(9) - 4;
    if (length < 0) length = 0;
    rle.resize(RleBufSize, 0);
    std::string texts[2];
    for (int which = 0; which < 2; which++) {
      memcpy(RleBuf, rle.data(), RleBufSize);
      memset(rleOut, 0, RleBlockSize);
      if (!RleSurvives(which ? Ref::RleUnpack : RleUnpack, length, rleOut)) texts[which] = FatalLastText();
      memcpy(which ? refOut : out, rleOut, RleBlockSize);
    }
    ASSERT_EQ(texts[0], texts[1]) << "round " << round;
    if (texts[0].empty()) {
      ASSERT_EQ(memcmp(out, refOut, RleBlockSize), 0) << "round " << round;
    }
  }
}

// Every block of every file in $LZX_BENCH_CORPUS (the benchmark corpus, for
// instance); nothing to do when it is not set.
TEST_F(FastCodec, EveryBlockOfTheCorpusMatchesTheReference) {
  const char* dir = getenv("LZX_BENCH_CORPUS");
  if (!dir || !*dir) GTEST_SKIP() << "LZX_BENCH_CORPUS not set";
  DIR* d = opendir(dir);
  ASSERT_NE(d, nullptr) << dir;
  std::vector<std::string> names;
  while (struct dirent* e = readdir(d))
    if (e->d_name[0] != '.' && std::string(e->d_name) != "corpus.bin") names.push_back(e->d_name);
  closedir(d);
  long blocks = 0;
  for (const std::string& name : names) {
    FILE* f = fopen((std::string(dir) + "/" + name).c_str(), "rb");
    if (!f) continue;
    static unsigned char block[RleBlockSize];
    size_t got;
    for (int k = 0; (got = fread(block, 1, RleBlockSize, f)) > 0; k++) {
      memset(block + got, 0, RleBlockSize - got);
      SCOPED_TRACE(testing::Message() << name << " block " << k);
      CheckBlock(block);
      lzx_.clear();
      huf_.clear();
      blocks++;
      if (HasFatalFailure()) break;
    }
    fclose(f);
    if (HasFatalFailure()) return;
  }
  printf("%ld blocks compared\n", blocks);
}

}  // namespace
