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

// One symbol of MainTable at BitPos, which moves past its code.
inline int DecodeSymbol(void) {
  uint32_t v = PeekBits();
  int s = DecodeTable[v & (DecodeSize - 1)];
  if (s >= DecodeLongMark) s = DecodeLong(MainTable, v);
  SkipBits(MainTable.len[s]);
  return s;
}
