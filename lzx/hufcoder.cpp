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
  // RleBuf, BitBuf and the codes through plain pointers and a local table: a
  // load through the thread's segment register takes a cycle longer.
  const unsigned char* rle = RleBuf;
  // Four counts per byte value, so that a run of one value does not make each
  // increment wait on the one before.
  int counts[4][ByteSymbols];
  memset(counts, 0, sizeof counts);
  int i = 0;
  for (; i + 4 <= size; i += 4) {
    counts[0][rle[i]]++;
    counts[1][rle[i + 1]]++;
    counts[2][rle[i + 2]]++;
    counts[3][rle[i + 3]]++;
  }
  for (; i < size; i++) counts[0][rle[i]]++;
  BitPos = 0;
  BitLenInit();
  FresInit(MainTable, ByteSymbols);
  for (int b = 0; b < ByteSymbols; b++) {
    uint32_t n = (uint32_t)(counts[0][b] + counts[1][b] + counts[2][b] + counts[3][b]);
    MainTable.key[b] += n << 16;
  }
  FreqToLen(MainTable);
  SendLens(MainTable);
  LenToVal(MainTable);
  // A code of up to 24 bits with its length in the top byte.
  uint32_t code[ByteSymbols];
  for (int b = 0; b < ByteSymbols; b++) code[b] = MainTable.val[b] | (uint32_t)MainTable.len[b] << 24;
  BitWriter w;
  BitWriterStart(&w);
  const int limit = BitBlockMaxBits / 8;
  unsigned char* bits = BitBuf;
  uint64_t acc = w.acc;
  int count = w.count, byte = w.byte;
  for (i = 0; i < size; i++) {
    // As BitWriterPut: below 32 bits held between symbols.
    uint32_t c = code[rle[i]];
    acc |= (uint64_t)(c & 0xFFFFFFu) << count;
    count += (int)(c >> 24);
    if (count >= 32) {
      if (byte + 4 > limit) FatalMessage("HufPack: buffer full");
      uint32_t word = (uint32_t)acc;
      memcpy(bits + byte, &word, 4);
      byte += 4;
      acc >>= 32;
      count -= 32;
    }
  }
  w.acc = acc;
  w.count = count;
  w.byte = byte;
  int total = BitWriterFinish(&w);
  if (BitPos > BitBlockMaxBits) FatalMessage("HufPack: buffer full");
  return total;
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
