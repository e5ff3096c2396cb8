// The code-length section at the start of every coded block: the main
// table's lengths with zero runs folded, coded with LenCode, whose own 27
// lengths go in front in 3-bit fields.
#pragma once

#include "lzx/huffman.h"

enum {
  LenSymbols = 27,
  LenRunShort = 25,  // 3..18 zeros, 4 extra bits
  LenRunLong = 26,   // 20..83 zeros, 6 extra bits
  LenListSize = 512,
};

// Folds lens[0..n-1] into out (symbol bytes, each run symbol followed by its
// run length) and counts every symbol in LenCode. Returns the list's length.
int PackLens(const unsigned char* lens, int n, unsigned char* out);
void SendLenLens(const unsigned char* lens, int n);
void SendLens(HufTable& table);
void RecvLenLens(unsigned char* lens, int n);
// Reads the section into table.len[0..n-1] and makes the codes from them,
// as LenToVal does.
void RecvLens(HufTable& table, int n);
