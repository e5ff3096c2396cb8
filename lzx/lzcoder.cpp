#include "lzx/lzcoder.h"

#include <stddef.h>
#include <string.h>

#include "base/fatal.h"
#include "lzx/bitio.h"
#include "lzx/codelens.h"
#include "lzx/huffman.h"
#include "lzx/rle.h"

LZX_PER_THREAD uint32_t ItemBuf[ItemMax];
LZX_PER_THREAD int ItemCount;

namespace {

// The chains are of the first four bytes of a position: every match of four
// or more bytes is on the chain, whatever the hash, and a larger table keeps
// the chains to fewer candidates that cannot match. 32,768 heads (64 KB per
// thread, set afresh for every block): LzxPack a fifth faster than with
// 4,096 on text and programs, half again on bytes that do not shrink.
enum { HashBits = 15, HashSize = 1 << HashBits, RefBase = 256 };

// Positions fit in 16 bits: a block has at most 16,384 bytes.
LZX_PER_THREAD int16_t hashHead[HashSize];
LZX_PER_THREAD int16_t hashChain[RleBlockSize];

inline uint32_t LoadWord(const unsigned char* p) {
  uint32_t w;
  memcpy(&w, p, 4);
  return w;
}

inline uint64_t LoadWord64(const unsigned char* p) {
  uint64_t w;
  memcpy(&w, p, 8);
  return w;
}

// Common prefix of the bytes at a and b, at most limit; the ranges may
// overlap and are read as they stand. Eight bytes at a time, the first
// difference found from the lowest differing bit.
inline int MatchLength(const unsigned char* a, const unsigned char* b, int limit) {
  int n = 0;
  while (n + 8 <= limit) {
    uint64_t x = LoadWord64(a + n) ^ LoadWord64(b + n);
    if (x != 0) return n + (__builtin_ctzll(x) >> 3);
    n += 8;
  }
  while (n < limit && a[n] == b[n]) n++;
  return n;
}

// A reference symbol's length and distance with the masks of their extra
// bits at hand, so that the unpacker takes both from one entry. Filled from
// RefCodes on the first use.
struct RefStep {
  uint32_t lenMask;
  uint32_t distMask;
  uint16_t lenBase;
  uint16_t distBase;
  uint32_t lenBits;
};
LZX_PER_THREAD RefStep refSteps[256];
LZX_PER_THREAD bool refStepsFilled;

void FillRefSteps(void) {
  for (int r = 0; r < 256; r++) {
    const RefCode& rc = RefCodes[r];
    refSteps[r].lenMask = BitMask[rc.lenBits];
    refSteps[r].distMask = BitMask[rc.distBits];
    refSteps[r].lenBase = rc.lenBase;
    refSteps[r].distBase = rc.distBase;
    refSteps[r].lenBits = rc.lenBits;
  }
  refStepsFilled = true;
}

// The longest reference of the alphabet (its last symbol: 8 length bits),
// and the bytes that one turn of the unpacker's fast loop may store from
// where it starts: two literal entries (four bytes) before a reference, and
// that reference's copy in 16-byte pieces (three literal entries store six).
enum {
  LongestLenBits = ((LzSymbols - 1 - RefBase) >> 4) - 1,
  LongestRef = (1 << LongestLenBits) + 3 + (1 << LongestLenBits) - 1,
  FastRoom = 4 + (LongestRef + 15) / 16 * 16,
};
static_assert(LongestRef == 258 && FastRoom == 276, "the 400-symbol alphabet");

// The smallest multiple of a distance of 2 to 7 that is eight or more.
const unsigned char RepeatStep[8] = {0, 8, 8, 9, 8, 10, 12, 14};

// FindMatch, inlined into the parse, which calls it for every literal and
// every match (a few per cent of LzxPack).
inline __attribute__((always_inline)) int Longest(int pos, int avail, int* dist) {
  if (avail < LzMinMatch) return 0;
  int maxLen = avail < LzMaxMatch ? avail : LzMaxMatch;
  int best = 0;
  int low = pos - LzWindow > 0 ? pos - LzWindow : 0;
  const unsigned char* here = RleBuf + pos;
  // The chain runs from the nearest position backwards, and only a longer
  // match replaces the best: among equal lengths the nearest wins.
  // A candidate can only win if it matches the bytes up to best: with best at
  // 4 or more, the four bytes ending there are compared first.
  for (int cand = hashChain[pos]; cand >= low; cand = hashChain[cand]) {
    const unsigned char* there = RleBuf + cand;
    if (best >= 4 ? LoadWord(there + best - 3) != LoadWord(here + best - 3) : there[best] != here[best]) continue;
    int len = MatchLength(there, here, maxLen);
    if (len > best) {
      best = len;
      *dist = pos - cand;
      if (best >= maxLen) break;
    }
  }
  return best;
}

}  // namespace

int FindMatch(int pos, int avail, int* dist) { return Longest(pos, avail, dist); }

void HufOutLit(int byte) {
  if (ItemCount >= ItemMax) FatalMessage("HufOutLit: buffer full");
  ItemBuf[ItemCount++] = (uint32_t)byte;
  MainTable.key[byte] += 65536;
}

void HufOutRef(int lengthMinus3, int distMinus1) {
  if (ItemCount >= ItemMax) FatalMessage("HufOutRef: buffer full");
  int lb = BitLen[lengthMinus3];
  int ds = distMinus1 < 256 ? BitLen[distMinus1] : BitLen[distMinus1 >> 8] + 8;
  int s = RefBase + 16 * lb + ds;
  ItemBuf[ItemCount++] = (uint32_t)s | (uint32_t)lengthMinus3 << 9 | (uint32_t)distMinus1 << 17;
  MainTable.key[s] += 65536;
}

int LzxPack(int size) {
  if (size < 0 || size > RleBlockSize) FatalMessage("LzxPack: bad size");
  for (int h = 0; h < HashSize; h++) hashHead[h] = -1;
  // The last three positions hash bytes past the block (still inside RleBuf);
  // they are never searched and never found.
  for (int i = 0; i < size; i++) {
    int h = (int)((LoadWord(RleBuf + i) * 2654435761u) >> (32 - HashBits));
    hashChain[i] = hashHead[h];
    hashHead[h] = (int16_t)i;
  }

  BitPos = 0;
  BitLenInit();
  FresInit(MainTable, LzSymbols);
  ItemCount = 0;
  for (int i = 0; i < size;) {
    int dist = 0;
    int m = Longest(i, size - i, &dist);
    if (m >= LzMinMatch) {
      HufOutRef(m - 3, dist - 1);
      i += m;
    } else {
      HufOutLit(RleBuf[i]);
      i++;
    }
  }

  FreqToLen(MainTable);
  SendLens(MainTable);
  LenToVal(MainTable);
  BitWriter w;
  BitWriterStart(&w);
  const int limit = BitBlockMaxBits / 8;
  int ok = 1;
  for (int t = 0; t < ItemCount && ok; t++) {
    uint32_t token = ItemBuf[t];
    int s = (int)(token & 511);
    ok = BitWriterPut(&w, MainTable.len[s], MainTable.val[s], limit);
    if (s < RefBase) continue;
    int lb = ((s - RefBase) >> 4) & 15;
    int ds = (s - RefBase) & 15;
    if (lb > 1) ok &= BitWriterPut(&w, lb - 1, (token >> 9) & BitMask[lb - 1], limit);
    if (ds > 1) ok &= BitWriterPut(&w, ds - 1, (token >> 17) & BitMask[ds - 1], limit);
  }
  if (!ok) FatalMessage("LzxPack: buffer full");
  int bits = BitWriterFinish(&w);
  if (BitPos > BitBlockMaxBits) FatalMessage("LzxPack: buffer full");
  return bits;
}

namespace {

// The index of the entry after the item of the wide entry e, from the bits
// buf that begin with that item. With BMI (x86-64) one bit-field extract,
// whose control is e's low half: the chain from one table load to the next
// is the load and one instruction instead of a shift and a mask.
template <bool Bextr>
inline uint64_t IndexAfter(uint64_t buf, uint64_t e) {
#if defined(__x86_64__)
  if constexpr (Bextr) {
    uint64_t i;
    __asm__("bextr %2, %1, %0" : "=r"(i) : "r"(buf), "r"(e) : "cc");
    return i;
  }
#endif
  return (buf >> (e & 63)) & (DecodeSize - 1);
}

// Stores the one or two literals of a literal entry at RleBuf[out] (both
// bytes in any case, with room for them) and returns the bits it takes.
inline int PutLiterals(uint64_t e, ptrdiff_t& out) {
  uint16_t two = (uint16_t)(e >> 40);
  memcpy(RleBuf + out, &two, 2);
  out += e >> 61;
  return (int)(e & 63);
}

// The unpacker's whole loop, built twice: once for any processor and once for
// those with BMI2, whose shifts by a register neither read nor write the flags
// (the item loop is one shift by the entry's bit count after another), and
// with BMI's bit-field extract for the next index.
template <bool Bextr>
inline __attribute__((always_inline)) int UnpackBlock(int bits) {
  if (bits < 0 || bits > BitBlockMaxBits) FatalMessage("LzxUnpack: bad bit count");
  BitPos = 0;
  RecvLens(MainTable, LzSymbols);
  TableBuild(MainTable);
  if (!refStepsFilled) FillRefSteps();
  ptrdiff_t out = 0;  // as wide as a pointer: the stores need no widening of it
  // The fast loop takes only items that start 64 bits or more before the end
  // of the block and have room in RleBuf; the checked loop after it takes the
  // rest, and any item whose checks fail, from where the fast loop left off.
  // Its bits are in a register (BitReader); each turn starts with a refill,
  // after which all 64 bits of the register are the stream's (at least 56 of
  // them counted), and with the entry of the next item, looked up while at
  // least 11 were left. Up to three literal entries take at most 33 bits and
  // 6 bytes; a reference with a code of up to 11 bits takes at most 32.
  BitReader r;
  BitReaderStart(&r, BitPos);
  // The byte where the register's bits end lies beyond the reading position,
  // so the test on it is the stricter one.
  const unsigned char* fastEnd = BitBuf + (bits - 64) / 8;
  BitReaderRefill(&r);
  // The table through a plain pointer: a load through the thread's segment
  // register takes a cycle longer, and the loop is one load after another.
  // The compiler would fold the table's offset in the thread's block into
  // every load (base, index and displacement); one register is quicker.
  const uint64_t* entries = DecodeEntry;
  __asm__("" : "+r"(entries));
  uint64_t e = entries[r.buf & (DecodeSize - 1)];
  // With FastRoom bytes free, every store of the turn stays inside RleBuf.
  // The entry after each item is looked up before the test of the item's
  // kind: a literal entry and a reference take the same bits from the front
  // (e's low six), so the lookup is the same for both, and where the branch
  // was guessed wrong the next entry is already on its way. A reference
  // without eleven bits after it looks up again after a refill.
  while (r.next < fastEnd && out + FastRoom <= RleBufSize) {
    BitReaderRefill(&r);
    uint64_t n = entries[IndexAfter<Bextr>(r.buf, e)];
    if (!(e & DecodeWideRef)) {
      BitReaderSkip(&r, PutLiterals(e, out));
      e = n;
      n = entries[IndexAfter<Bextr>(r.buf, e)];
      if (!(e & DecodeWideRef)) {
        BitReaderSkip(&r, PutLiterals(e, out));
        e = n;
        n = entries[IndexAfter<Bextr>(r.buf, e)];
        if (!(e & DecodeWideRef)) {
          BitReaderSkip(&r, PutLiterals(e, out));
          e = n;
          continue;
        }
      }
    }
    // At least 34 bits counted and 42 in the register: enough for a short
    // reference, or for a long code's 24 bits and, after a literal of that
    // code, the 11 of the next lookup.
    if (e == DecodeWideLong) {
      e = DecodeEntryWide(DecodeEntryOf(r.buf));
      if (!(e & DecodeWideRef)) {
        RleBuf[out++] = (unsigned char)(e >> 40);
        BitReaderSkip(&r, (int)(e & 63));
        e = entries[r.buf & (DecodeSize - 1)];
        continue;
      }
      BitReaderRefill(&r);  // a long code with its extra bits takes up to 45
      n = entries[IndexAfter<Bextr>(r.buf, e)];
    }
    uint32_t h = (uint32_t)(e >> 32);
    const RefStep& rs = refSteps[(h >> 8) & 0xFF];
    uint64_t x = r.buf >> DecodeEntryCodeLen(h);
    int len = rs.lenBase + (int)(x & rs.lenMask);
    int dist = rs.distBase + (int)((x >> rs.lenBits) & rs.distMask);
    if (dist > out) break;
    if (r.left - (int)(e & 63) < DecodeBits) {
      BitReaderRefill(&r);
      n = entries[IndexAfter<Bextr>(r.buf, e)];
    }
    BitReaderSkip(&r, (int)(e & 63));
    e = n;
    unsigned char* to = RleBuf + out;
    const unsigned char* from = to - dist;
    out += len;
    // What the copies store past the match is overwritten by the next items.
    if (dist >= 16) {
      // Sixteen bytes at a time never read bytes of this copy not yet written;
      // the first 48 go without a test, as most matches are shorter.
      memcpy(to, from, 16);
      memcpy(to + 16, from + 16, 16);
      memcpy(to + 32, from + 32, 16);
      for (int k = 48; k < len; k += 16) memcpy(to + k, from + k, 16);
    } else if (dist >= 8) {
      memcpy(to, from, 8);
      memcpy(to + 8, from + 8, 8);
      for (int k = 16; k < len; k += 8) memcpy(to + k, from + k, 8);
    } else if (dist == 1) {
      memset(to, to[-1], (size_t)len);
    } else {
      // The first eight bytes one by one, then words from as far back as the
      // smallest multiple of the distance that is eight or more: the bytes
      // repeat with the distance, and a word then never reads bytes not yet
      // written.
      for (int k = 0; k < 8; k++) to[k] = from[k];
      int step = RepeatStep[dist];
      for (int k = 8; k < len; k += 8) memcpy(to + k, to + k - step, 8);
    }
  }
  int pos = BitReaderPos(&r);
  BitPos = pos;
  while (BitPos < bits) {
    int s = DecodeSymbol();
    if (s < RefBase) {
      if (out >= RleBufSize) FatalMessage("LzxUnpack: too many bytes written");
      RleBuf[out++] = (unsigned char)s;
      continue;
    }
    int lb = (s - RefBase) >> 4;
    int ds = (s - RefBase) & 15;
    int len = (lb <= 1 ? lb : (1 << (lb - 1)) + (int)GetBits(lb - 1)) + 3;
    int dist = (ds <= 1 ? ds : (1 << (ds - 1)) + (int)GetBits(ds - 1)) + 1;
    if (dist > out) FatalMessage("LzxUnpack: bad distance");
    if (len > RleBufSize - out) FatalMessage("LzxUnpack: too many bytes written");
    unsigned char* to = RleBuf + out;
    const unsigned char* from = to - dist;
    for (int k = 0; k < len; k++) to[k] = from[k];
    out += len;
  }
  if (BitPos != bits) FatalMessage("LzxUnpack: too many bits read");
  return (int)out;
}

int UnpackPlain(int bits) { return UnpackBlock<false>(bits); }

#if LZX_UNPACK_BMI2
__attribute__((target("bmi,bmi2"))) int UnpackBmi2(int bits) { return UnpackBlock<true>(bits); }
#endif

int unpackFormAllowed = 1;

}  // namespace

int LzxUnpackAllowBmi2(int allow) {
  unpackFormAllowed = allow;
#if LZX_UNPACK_BMI2
  return allow && __builtin_cpu_supports("bmi2");
#else
  return 0;
#endif
}

int LzxUnpack(int bits) {
#if LZX_UNPACK_BMI2
  if (unpackFormAllowed && __builtin_cpu_supports("bmi2")) return UnpackBmi2(bits);
#endif
  return UnpackPlain(bits);
}
