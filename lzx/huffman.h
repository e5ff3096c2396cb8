// Huffman code tables: lengths from frequencies, canonical codes from lengths,
// and symbol decoding through a 10-bit lookup table.
#pragma once

#include <stdint.h>

#include "lzx/bitio.h"

enum {
  HufMaxSymbols = 512,
  HufMaxLen = 24,
  DecodeBits = 10,
  DecodeSize = 1 << DecodeBits,
  DecodeLongMark = 512,  // DecodeTable entry of a code longer than 10 bits
};

struct HufTable {
  int32_t count;  // symbols 0..count-1
  // (frequency << 16) | symbol while counting; sorted by FreqToLen, after
  // which the symbol of an entry is its low 16 bits.
  uint32_t key[HufMaxSymbols];
  int32_t used;                 // symbols with a nonzero frequency
  uint8_t len[HufMaxSymbols];   // 0 = no code
  uint32_t val[HufMaxSymbols];  // code with its bits reversed, for PutBits
};

extern HufTable MainTable;  // the block coder's alphabet (400 or 256 symbols)
extern HufTable LenCode;    // the 27-symbol code-length code

// Symbol of the code that prefixes the 10-bit index; DecodeLongMark when the
// code is longer. Holds MainTable only.
extern uint16_t DecodeTable[DecodeSize];

void FresInit(HufTable& table, int n);
void FreqToLen(HufTable& table);
int TreeBuild(HufTable& table);
void TreeToLen(HufTable& table, int node, int depth);
void LenToVal(HufTable& table);
void TableBuild(HufTable& table);
int DecodeLong(const HufTable& table, uint32_t bits);
int UnCode(const HufTable& table, uint32_t bits);

// Second level for the codes longer than 10 bits, filled by TableBuild: for a
// DecodeTable entry of DecodeLongMark, DecodeLongIndex holds the offset of a
// sub-table in DecodeLongTable (above bit 5) and the number of further stream
// bits that index it (bits 0..4). Everything the sub-tables do not settle (no
// code there, a code set that is no prefix code, no room left) goes to the
// linear DecodeLong, so the symbol, or the fatal text, is always DecodeLong's.
enum {
  DecodeLongTableSize = 1 << 14,
  DecodeLongNone = 0xFFFF,  // sub-table entry that no code covers
  DecodeLongMaxWidth = HufMaxLen - DecodeBits,
};
extern uint32_t DecodeLongIndex[DecodeSize];
// DecodeTable with each symbol's code length in bits 16..23, for the
// unpackers' inner loops: symbol and length in one lookup. DecodeEntryLong
// where DecodeTable holds DecodeLongMark.
enum : uint32_t { DecodeEntryLong = 0xFFFFFFFFu };
extern uint32_t DecodeEntry[DecodeSize];

extern uint16_t DecodeLongTable[DecodeLongTableSize];

// The MainTable symbol whose code begins the bits v (first bit in bit 0, at
// least 24 bits valid). Does not move BitPos.
inline int DecodeFromBits(uint64_t v) {
  int s = DecodeTable[v & (DecodeSize - 1)];
  if (s < DecodeLongMark) return s;
  uint32_t info = DecodeLongIndex[v & (DecodeSize - 1)];
  uint32_t width = info & 31;
  if (width - 1 < (uint32_t)DecodeLongMaxWidth) {
    s = DecodeLongTable[(info >> 5) + ((uint32_t)(v >> DecodeBits) & ((1u << width) - 1))];
    if (s != DecodeLongNone) return s;
  }
  return DecodeLong(MainTable, (uint32_t)v & 0xFFFFFFu);
}

// DecodeEntry's value for the bits v, also for the codes longer than 10 bits.
inline uint32_t DecodeEntryOf(uint64_t v) {
  uint32_t e = DecodeEntry[v & (DecodeSize - 1)];
  if (e != DecodeEntryLong) return e;
  int s = DecodeFromBits(v);
  return (uint32_t)s | (uint32_t)MainTable.len[s] << 16;
}

// One symbol of MainTable at BitPos, which moves past its code.
inline int DecodeSymbol(void) {
  int s = DecodeFromBits(PeekBits());
  SkipBits(MainTable.len[s]);
  return s;
}
