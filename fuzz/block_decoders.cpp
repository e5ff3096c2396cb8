// The block decoders on arbitrary bytes, each as its caller feeds it: the
// coded bits in BitBuf with a bit count (as the compressed file reads them),
// run-length data in RleBuf, a transformed block with a row table.
//
// Built once per decoder with FUZZ_DECODER set to one of the values below.
#include <string.h>

#include "fuzz/harness.h"
#include "lzx/bitio.h"
#include "lzx/codelens.h"
#include "lzx/hufcoder.h"
#include "lzx/huffman.h"
#include "lzx/lzcoder.h"
#include "lzx/rle.h"
#include "lzx/sor.h"

#define FUZZ_LZX 1
#define FUZZ_HUF 2
#define FUZZ_RLE 3
#define FUZZ_SOR 4
#define FUZZ_LENS 5

namespace {

[[maybe_unused]] unsigned char Block[RleBlockSize];

// Bits: the first byte's low 3 bits say how many bits of the last data byte
// are padding, so every bit count up to the largest block is reachable; the
// rest of BitBuf is zero, as after a short block.
[[maybe_unused]] int LoadBits(const uint8_t* data, size_t size) {
  if (size < 1) return -1;
  size_t bytes = size - 1;
  if (bytes > BitBlockMaxBits / 8) bytes = BitBlockMaxBits / 8;
  memset(BitBuf, 0, sizeof BitBuf);
  memcpy(BitBuf, data + 1, bytes);
  int bits = (int)bytes * 8 - (data[0] & 7);
  return bits < 0 ? 0 : bits;
}

[[maybe_unused]] void Check(int produced) {
  // An unpacker's output must fit RleBuf, as RleUnpack reads it from there.
  if (produced < 0 || produced > RleBufSize) __builtin_trap();
}

void Body(const uint8_t* data, size_t size) {
#if FUZZ_DECODER == FUZZ_LZX
  int bits = LoadBits(data, size);
  if (bits < 0) return;
  int n = LzxUnpack(bits);
  Check(n);
  RleUnpack(n, Block);
#elif FUZZ_DECODER == FUZZ_HUF
  int bits = LoadBits(data, size);
  if (bits < 0) return;
  int n = HufUnpack(bits);
  Check(n);
  RleUnpack(n, Block);
#elif FUZZ_DECODER == FUZZ_RLE
  // The length is the input's size: above 16,384 it tests the stored-form
  // bound, below it the run-length items.
  size_t n = size < RleBufSize ? size : RleBufSize;
  memcpy(RleBuf, data, n);
  RleUnpack((int)n, Block);
#elif FUZZ_DECODER == FUZZ_SOR
  // Row count, row table, then the transformed block (0xFF past the input).
  if (size < 1) return;
  int n = data[0];
  unsigned char table[SorTableSize];
  memset(table, 0, sizeof table);
  size_t t = size - 1 < (size_t)n ? size - 1 : (size_t)n;
  memcpy(table, data + 1, t);
  memset(BitBuf, 0xFF, RleBlockSize);
  size_t rest = size - 1 - t;
  memcpy(BitBuf, data + 1 + t, rest < RleBlockSize ? rest : RleBlockSize);
  SorUnpack(BitBuf, Block, table, n);
#elif FUZZ_DECODER == FUZZ_LENS
  // First byte: which alphabet (LZ or Huffman-only); then the section.
  if (size < 1) return;
  int symbols = data[0] & 1 ? 256 : LzSymbols;
  LoadBits(data, size);
  BitPos = 0;  // as the unpackers start a block
  RecvLens(MainTable, symbols);
  TableBuild(MainTable);
  if (BitPos < 0 || BitPos > (int)sizeof BitBuf * 8) __builtin_trap();
#else
#error "FUZZ_DECODER not set"
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzRun(Body, data, size);
  return 0;
}
