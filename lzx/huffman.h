// Huffman code tables: lengths from frequencies, canonical codes from lengths,
// and symbol decoding through an 11-bit lookup table.
#pragma once

#include <stdint.h>

#include <array>

#include "lzx/bitio.h"

enum {
  HufMaxSymbols = 512,
  HufMaxLen = 24,
  DecodeBits = 11,
  DecodeSize = 1 << DecodeBits,
  RefSymbolFirst = 256,  // the block coder's references: 256 + 16 * lb + ds
};

struct HufTable {
  int32_t count;  // symbols 0..count-1
  // (frequency << 16) | symbol while counting; sorted by FreqToLen, after
  // which the symbol of an entry is its low 16 bits.
  uint32_t key[HufMaxSymbols];
  int32_t used;                 // symbols with a nonzero frequency
  uint8_t len[HufMaxSymbols];   // 0 = no code
  uint32_t val[HufMaxSymbols];  // code with its bits reversed, for PutBits
  // Set by LenToVal: the coded symbols in the order of their codes (by
  // length, then symbol), those of length l from byLen[lenStart[l]] on,
  // lenStart[HufMaxLen + 1] of them in all.
  uint16_t byLen[HufMaxSymbols];
  int32_t lenStart[HufMaxLen + 2];
};

extern LZX_PER_THREAD HufTable MainTable;  // the block coder's alphabet (400 or 256 symbols)
extern LZX_PER_THREAD HufTable LenCode;    // the 27-symbol code-length code

void FresInit(HufTable& table, int n);
void FreqToLen(HufTable& table);
int TreeBuild(HufTable& table);
void TreeToLen(HufTable& table, int node, int depth);
void LenToVal(HufTable& table);
// LenToVal where the reader of the lengths has listed the symbols with a
// code (coded of them, in increasing order) and counted the codes of each
// length (cnt[1..HufMaxLen]; cnt[0] is not read). The same codes, the same
// fatal texts.
void LenToValCounted(HufTable& table, const uint16_t* listed, int coded, const int* cnt);
void TableBuild(const HufTable& table);  // after LenToVal
int DecodeLong(const HufTable& table, uint32_t bits);
int UnCode(const HufTable& table, uint32_t bits);

// The first level of decoding: one entry per 11-bit index, for the code
// that prefixes it. A literal entry (bit 31 clear) holds one literal, or two
// when both codes fit in the index; a reference entry holds the reference's
// code and the number of its extra bits, so that the unpacker takes the whole
// item with one shift:
//   bits 0..5    bits the entry takes: the one or two literal codes, or the
//                reference's code and its extra bits
//   bits 8..15   the first literal, or the reference's symbol - 256
//   bits 16..23  the second literal
//   bits 24..28  the length of the first code alone
//   bits 29..30  literals in the entry (1 or 2; 0 for a reference), so that
//                a literal entry shifted by 29 is its count
//   bit 31       a reference
// DecodeEntryLong where the code is longer than 11 bits. Holds MainTable only.
//
// DecodeEntry holds each entry in its high 32 bits and, in its low 16, the
// bits the entry takes (bits 0..5) and DecodeBits (bits 8..15): the control
// of a bit-field extract that gives, from the bits of the entry's item on,
// the index of the next item's entry. The long entry is all ones.
enum : uint32_t { DecodeEntryLong = 0xFFFFFFFFu, DecodeEntryRef = 0x80000000u };
enum : uint64_t { DecodeWideLong = ~0ull, DecodeWideRef = 1ull << 63 };
extern LZX_PER_THREAD uint64_t DecodeEntry[DecodeSize];

// An entry with its extract control, and the entry of a wide one.
inline uint64_t DecodeEntryWide(uint32_t e) {
  if (e == DecodeEntryLong) return DecodeWideLong;
  return (uint64_t)e << 32 | (e & 63) | (uint64_t)DecodeBits << 8;
}
inline uint32_t DecodeEntryAt(uint32_t index) { return (uint32_t)(DecodeEntry[index] >> 32); }

// A reference symbol's length and distance: base and number of extra bits.
// The length extra bits come first in the stream, then the distance's.
struct RefCode {
  uint16_t lenBase;  // L when the extra bits are zero
  uint16_t distBase;
  uint8_t lenBits;
  uint8_t distBits;
};
extern const std::array<RefCode, 256> RefCodes;  // by symbol - 256

// Second level for the codes longer than 11 bits, filled by TableBuild: for a
// DecodeEntry of DecodeEntryLong, DecodeLongIndex holds the offset of a
// sub-table in DecodeLongTable (above bit 5) and the number of further stream
// bits that index it (bits 0..4). The codes cover their sub-tables exactly
// (LenToVal lets only complete codes through); an entry without room for its
// sub-table (width 31) and a sub-table entry of DecodeLongNone go to the
// linear DecodeLong, so the symbol, or the fatal text, is always DecodeLong's.
enum {
  DecodeLongMaxWidth = HufMaxLen - DecodeBits,
  DecodeLongTableSize = 1 << DecodeLongMaxWidth,  // room for one sub-table of the longest codes
  DecodeLongNone = 0xFFFF,                        // a sub-table entry of no code: TableBuild writes none
};
extern LZX_PER_THREAD uint32_t DecodeLongIndex[DecodeSize];
extern LZX_PER_THREAD uint16_t DecodeLongTable[DecodeLongTableSize];

// The entry of one symbol s of code length l alone (also a code longer than
// 11 bits).
inline uint32_t DecodeEntryFor(int s, int l) {
  if (s < RefSymbolFirst) return (uint32_t)l | (uint32_t)s << 8 | (uint32_t)l << 24 | 1u << 29;
  const RefCode& r = RefCodes[(s - RefSymbolFirst) & 255];
  return (uint32_t)(l + r.lenBits + r.distBits) | (uint32_t)(s - RefSymbolFirst) << 8 | (uint32_t)l << 24 |
         DecodeEntryRef;
}

// The symbol of an entry's first code, and that code's length.
inline int DecodeEntrySymbol(uint32_t e) { return (int)((e >> 8) & 0xFF) + (e & DecodeEntryRef ? RefSymbolFirst : 0); }
inline int DecodeEntryCodeLen(uint32_t e) { return (int)((e >> 24) & 31); }

// The MainTable symbol whose code begins the bits v (first bit in bit 0, at
// least 24 bits valid). Does not move BitPos.
inline int DecodeFromBits(uint64_t v) {
  uint32_t e = DecodeEntryAt(v & (DecodeSize - 1));
  if (e != DecodeEntryLong) return DecodeEntrySymbol(e);
  uint32_t info = DecodeLongIndex[v & (DecodeSize - 1)];
  uint32_t width = info & 31;
  if (width - 1 < (uint32_t)DecodeLongMaxWidth) {
    int s = DecodeLongTable[(info >> 5) + ((uint32_t)(v >> DecodeBits) & ((1u << width) - 1))];
    if (s != DecodeLongNone) return s;
  }
  return DecodeLong(MainTable, (uint32_t)v & 0xFFFFFFu);
}

// The entry for the bits v, also for the codes longer than 11 bits, which
// come back as an entry of their symbol alone.
inline uint32_t DecodeEntryOf(uint64_t v) {
  uint32_t e = DecodeEntryAt(v & (DecodeSize - 1));
  if (e != DecodeEntryLong) return e;
  int s = DecodeFromBits(v);
  return DecodeEntryFor(s, MainTable.len[s]);
}

// One symbol of MainTable at BitPos, which moves past its code.
inline int DecodeSymbol(void) {
  int s = DecodeFromBits(PeekBits());
  SkipBits(MainTable.len[s]);
  return s;
}
