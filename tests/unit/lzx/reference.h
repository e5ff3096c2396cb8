// The block codec as first written, one byte and one bit at a time, kept as
// the yardstick for the fast library code: for every input both must give the
// same coded bits, the same bytes and the same fatal text.
//
// The reference works in the library's shared buffers (RleBuf, BitBuf, BitPos,
// MainTable, LenCode) exactly as the library does, with tables, hash chains
// and work areas of its own; it shares only the code building that the fast
// code leaves unchanged (FresInit, FreqToLen, LenToVal, SendLens).
#pragma once

#include <stdint.h>

namespace Ref {

int RlePack(const unsigned char* block);
void RleUnpack(int length, unsigned char* output);

int FindMatch(int pos, int avail, int* dist);
int LzxPack(int size);
int LzxUnpack(int bits);

int HufPack(int size);
int HufUnpack(int bits);

int SorPack(const unsigned char* block, unsigned char* output, unsigned char* table);
void SorUnpack(const unsigned char* input, unsigned char* block, const unsigned char* table, int n);

}  // namespace Ref
