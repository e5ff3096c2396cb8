// The LZ block coder: a greedy parse over hash chains (1,024-byte window,
// matches of 4..256 bytes) with one Huffman code for literals and references.
#pragma once

#include <stdint.h>

#include "base/perthread.h"

enum {
  LzSymbols = 400,  // 256 literals, then 256 + 16 * lb + ds
  LzWindow = 1024,
  LzMinMatch = 4,
  LzMaxMatch = 256,
  ItemMax = 16384,
};

// One token per literal or reference: symbol in bits 0..8, for a reference
// L - 3 in bits 9..16 and D - 1 in bits 17..26.
extern LZX_PER_THREAD uint32_t ItemBuf[ItemMax];
extern LZX_PER_THREAD int ItemCount;

// Codes RleBuf[0..size-1] (size 0..16,384) into BitBuf; returns the number of
// bits before padding.
int LzxPack(int size);

// Decodes a block of bits bits in BitBuf into RleBuf; returns the bytes written.
int LzxUnpack(int bits);

// x86 processors with BMI2 run a form of LzxUnpack built for them (the same
// source, the same results). LzxUnpackAllowBmi2(0) makes the calls after it
// take the plain form, which the tests compare; returns 1 where the BMI2 form
// is taken from now on. Not to be called while blocks are decoded.
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define LZX_UNPACK_BMI2 1
#else
#define LZX_UNPACK_BMI2 0
#endif
int LzxUnpackAllowBmi2(int allow);

// Longest match for RleBuf[pos] with avail bytes left; a result below 4 means
// none. *dist receives the distance of a match.
int FindMatch(int pos, int avail, int* dist);

void HufOutLit(int byte);
void HufOutRef(int lengthMinus3, int distMinus1);
