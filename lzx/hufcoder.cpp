#include "lzx/hufcoder.h"

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
  LenToVal(MainTable);
  TableBuild(MainTable);
  int out = 0;
  // While their eight bytes lie inside BitBuf, one 64-bit load (at least 57
  // bits) decodes symbols as long as 24 bits, the longest code, remain.
  int pos = BitPos;
  int fastEnd = bits < BitFastReadEnd ? bits : BitFastReadEnd;
  while (pos < fastEnd) {
    uint64_t v = BitsAt(pos);
    int used = 0;
    // Another symbol from v while 24 bits of it are left and the block goes on.
    int more = fastEnd - pos - 1 < 57 - HufMaxLen ? fastEnd - pos - 1 : 57 - HufMaxLen;
    do {
      uint32_t e = DecodeEntryOf(v);
      int l = (int)(e >> 16);
      used += l;
      v >>= l;
      if (out >= RleBufSize) {
        BitPos = pos + used;
        FatalMessage("HufUnpack: too many bytes written");
      }
      RleBuf[out++] = (unsigned char)e;
    } while (used <= more);
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
