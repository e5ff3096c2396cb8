#include "lzx/hufcoder.h"

#include <string.h>

#include "base/fatal.h"
#include "lzx/bitio.h"
#include "lzx/codelens.h"
#include "lzx/huffman.h"
#include "lzx/rle.h"

namespace {
enum { ByteSymbols = 256 };
}

int HufPack(int size) {
  if (size < 0 || size > RleBlockSize) FatalMessage("HufPack: bad size");
  int counts[ByteSymbols] = {0};
  for (int i = 0; i < size; i++) counts[RleBuf[i]]++;
  BitPos = 0;
  BitLenInit();
  FresInit(MainTable, ByteSymbols);
  for (int b = 0; b < ByteSymbols; b++) MainTable.key[b] += (uint32_t)counts[b] << 16;
  FreqToLen(MainTable);
  SendLens(MainTable);
  LenToVal(MainTable);
  BitWriter w;
  BitWriterStart(&w);
  const int limit = BitBlockMaxBits / 8;
  int ok = 1;
  for (int i = 0; i < size && ok; i++) {
    int b = RleBuf[i];
    ok = BitWriterPut(&w, MainTable.len[b], MainTable.val[b], limit);
  }
  if (!ok) FatalMessage("HufPack: buffer full");
  int bits = BitWriterFinish(&w);
  if (BitPos > BitBlockMaxBits) FatalMessage("HufPack: buffer full");
  return bits;
}

int HufUnpack(int bits) {
  if (bits < 0 || bits > BitBlockMaxBits) FatalMessage("HufUnpack: bad bit count");
  BitPos = 0;
  RecvLens(MainTable, ByteSymbols);
  TableBuild(MainTable);
  int out = 0;
  // The fast loop takes only symbols that start 64 bits or more before the
  // end of the block and have room in RleBuf; the checked loop after it takes
  // the rest. One 64-bit load (at least 57 bits) per turn yields symbols while
  // 24 bits of it, the longest code, are left: at most 57 bytes.
  int pos = BitPos;
  const int fastEnd = bits - 64;
  // The tables through plain pointers, as in LzxUnpack.
  const uint64_t* entries = DecodeEntry;
  unsigned char* rle = RleBuf;
  while (pos < fastEnd && out + 64 <= RleBufSize) {
    uint64_t v = BitsAt(pos);
    int used = 0;
    do {
      // One or two literals: both bytes are stored, the count tells which.
      uint32_t e = (uint32_t)(entries[v & (DecodeSize - 1)] >> 32);
      if (e == DecodeEntryLong) e = DecodeEntryOf(v);
      uint16_t two = (uint16_t)(e >> 8);
      memcpy(rle + out, &two, 2);
      out += e >> 29;
      used += e & 63;
      v >>= e & 63;
    } while (used <= 57 - HufMaxLen);
    pos += used;
  }
  BitPos = pos;
  while (BitPos < bits) {
    int s = DecodeSymbol();
    if (out >= RleBufSize) FatalMessage("HufUnpack: too many bytes written");
    RleBuf[out++] = (unsigned char)s;
  }
  if (BitPos != bits) FatalMessage("HufUnpack: too many bits read");
  return out;
}
