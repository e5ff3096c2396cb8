#include "reference.h"

#include <string.h>

#include "base/fatal.h"
#include "lzx/bitio.h"
#include "lzx/codelens.h"
#include "lzx/huffman.h"
#include "lzx/lzcoder.h"
#include "lzx/rle.h"
#include "lzx/sor.h"

namespace Ref {
namespace {

// ---- bit stream: one little-endian word per call

uint32_t Word(int byte) {
  uint32_t w;
  memcpy(&w, BitBuf + byte, 4);
  return w;
}

void Put(int n, uint32_t v) {
  int byte = BitPos >> 3, shift = BitPos & 7;
  uint32_t w = (Word(byte) & BitMask[shift]) | v << shift;
  memcpy(BitBuf + byte, &w, 4);
  BitPos += n;
}

uint32_t Peek(void) { return (Word(BitPos >> 3) >> (BitPos & 7)) & 0xFFFFFFu; }

uint32_t Get(int n) {
  uint32_t v = (Word(BitPos >> 3) >> (BitPos & 7)) & BitMask[n];
  BitPos += n;
  return v;
}

// ---- decoding by table and linear search

enum { LongMark = 512 };  // decodeTable entry of a code longer than the index
uint16_t decodeTable[DecodeSize];

void BuildTable(const HufTable& table) {
  for (int i = 0; i < DecodeSize; i++) decodeTable[i] = LongMark;
  for (int s = 0; s < table.count; s++) {
    int l = table.len[s];
    if (l < 1 || l > DecodeBits) continue;
    for (uint32_t i = table.val[s]; i < DecodeSize; i += 1u << l) decodeTable[i] = (uint16_t)s;
  }
}

int LongSearch(const HufTable& table, uint32_t bits) {
  for (int s = 0; s < table.count; s++) {
    int l = table.len[s];
    if (l > DecodeBits && ((bits ^ table.val[s]) & BitMask[l]) == 0) return s;
  }
  FatalMessage("DecodeLong: code not found");
}

int LenSearch(const HufTable& table, uint32_t bits) {
  for (int s = 0; s < table.count; s++) {
    int l = table.len[s];
    if (l > 0 && ((bits ^ table.val[s]) & BitMask[l]) == 0) return s;
  }
  FatalMessage("UnCode: code not found");
}

int NextSymbol(void) {
  uint32_t v = Peek();
  int s = decodeTable[v & (DecodeSize - 1)];
  if (s >= LongMark) s = LongSearch(MainTable, v);
  BitPos += MainTable.len[s];
  return s;
}

void ReadLens(HufTable& table, int n) {
  LenCode.count = LenSymbols;
  for (int i = 0; i < LenSymbols; i++) {
    uint32_t v = Get(3);
    if (v == 7) v += Get(3);
    LenCode.len[i] = (unsigned char)v;
  }
  LenToVal(LenCode);
  table.count = n;
  int i = 0;
  while (i < n) {
    int sym = LenSearch(LenCode, Peek());
    BitPos += LenCode.len[sym];
    if (sym <= HufMaxLen) {
      table.len[i++] = (uint8_t)sym;
      continue;
    }
    int k;
    if (sym == LenRunShort) {
      k = (int)Get(4) + 3;
    } else if (sym == LenRunLong) {
      k = (int)Get(6) + 20;
    } else {
      FatalMessage("RecvLens: bad code %d", sym);
    }
    if (k > n - i) FatalMessage("RecvLens: zero run past the end");
    memset(table.len + i, 0, (size_t)k);
    i += k;
  }
}

// Writes the length section with the library (unchanged by the fast code)
// and then the symbols with the word-wise writer.
void Emit(HufTable& table) {
  FreqToLen(table);
  SendLens(table);
  LenToVal(table);
}

// ---- LZ coder

int16_t hashHead[1024];
int16_t hashChain[RleBlockSize];
uint32_t items[ItemMax];
int itemCount;

int MatchLength(const unsigned char* a, const unsigned char* b, int limit) {
  int n = 0;
  while (n < limit && a[n] == b[n]) n++;
  return n;
}

// ---- Sor stage

unsigned char sorRows[RleBlockSize];
unsigned char sorRowUsed[256];

int RowDistance(const unsigned char* a, const unsigned char* b, int limit) {
  int d = 0;
  for (int c = 0; c < 64; c++)
    if (a[c] != b[c] && ++d >= limit) break;
  return d;
}

int BestRow(const unsigned char* reference) {
  int best = 999999, choice = -1;
  for (int r = 0; r < 256; r++) {
    if (sorRowUsed[r]) continue;
    int d = RowDistance(sorRows + r * 64, reference, best);
    if (d < best) {
      best = d;
      choice = r;
    }
  }
  if (choice < 0) FatalMessage("SorBestRow: BUG");
  return choice;
}

}  // namespace

int RlePack(const unsigned char* block) {
  int i = 0, out = 0;
  while (i < RleBlockSize) {
    int c = block[i], k = 1;
    if (i + 2 < RleBlockSize && block[i + 1] == c && block[i + 2] == c) {
      k = 3;
      while (k < 16 && i + k < RleBlockSize && block[i + k] == c) k++;
    }
    if (k > 1 || (c >= 0x80 && c <= 0x8F)) RleBuf[out++] = (unsigned char)(k + 0x7F);
    RleBuf[out++] = (unsigned char)c;
    i += k;
  }
  if (i != RleBlockSize) FatalMessage("RlePack: BUG");
  if (out < RleBlockSize) return out;
  memcpy(RleBuf, block, RleBlockSize);
  return RleBlockSize;
}

void RleUnpack(int length, unsigned char* output) {
  if (length >= RleBlockSize) {
    if (length > RleBlockSize) FatalMessage("RleUnpack: input > output");
    memcpy(output, RleBuf, RleBlockSize);
    return;
  }
  int in = 0, out = 0;
  bool overflow = false;
  while (out < RleBlockSize) {
    if (in >= length) FatalMessage("RleUnpack: too many bytes read");
    int b = RleBuf[in++], n = 1;
    if (b >= 0x80 && b <= 0x8F) {
      if (in >= length) FatalMessage("RleUnpack: too many bytes read");
      n = b - 0x7F;
      b = RleBuf[in++];
    }
    if (n > RleBlockSize - out) {
      overflow = true;
      break;
    }
    for (int k = 0; k < n; k++) output[out++] = (unsigned char)b;
  }
  if (in != length) FatalMessage("RleUnpack: too many bytes read");
  if (overflow) FatalMessage("RleUnpack: too many bytes written");
}

int FindMatch(int pos, int avail, int* dist) {
  if (avail < 4) return 0;
  int maxLen = avail < 256 ? avail : 256, best = 0;
  int low = pos - 1024 > 0 ? pos - 1024 : 0;
  for (int cand = hashChain[pos]; cand >= low; cand = hashChain[cand]) {
    if (RleBuf[cand + best] != RleBuf[pos + best]) continue;
    int len = MatchLength(RleBuf + cand, RleBuf + pos, maxLen);
    if (len > best) {
      best = len;
      *dist = pos - cand;
      if (best >= maxLen) break;
    }
  }
  return best;
}

int LzxPack(int size) {
  for (int h = 0; h < 1024; h++) hashHead[h] = -1;
  for (int i = 0; i < size; i++) {
    const unsigned char* p = RleBuf + i;
    uint32_t a = p[0] + 4u * p[1] + 32u * p[2] + 512u * p[3];
    int h = (int)((a ^ (a >> 10)) & 1023);
    hashChain[i] = hashHead[h];
    hashHead[h] = (int16_t)i;
  }
  BitPos = 0;
  BitLenInit();
  FresInit(MainTable, LzSymbols);
  itemCount = 0;
  for (int i = 0; i < size;) {
    int dist = 0, m = FindMatch(i, size - i, &dist);
    if (itemCount >= ItemMax) FatalMessage(m >= 4 ? "HufOutRef: buffer full" : "HufOutLit: buffer full");
    if (m >= 4) {
      int l = m - 3, d = dist - 1;
      int lb = BitLen[l], ds = d < 256 ? BitLen[d] : BitLen[d >> 8] + 8;
      int s = 256 + 16 * lb + ds;
      items[itemCount++] = (uint32_t)s | (uint32_t)l << 9 | (uint32_t)d << 17;
      MainTable.key[s] += 65536;
      i += m;
    } else {
      items[itemCount++] = RleBuf[i];
      MainTable.key[RleBuf[i]] += 65536;
      i++;
    }
  }
  Emit(MainTable);
  for (int t = 0; t < itemCount; t++) {
    uint32_t token = items[t];
    int s = (int)(token & 511);
    Put(MainTable.len[s], MainTable.val[s]);
    if (s < 256) continue;
    int lb = ((s - 256) >> 4) & 15, ds = (s - 256) & 15;
    if (lb > 1) Put(lb - 1, (token >> 9) & BitMask[lb - 1]);
    if (ds > 1) Put(ds - 1, (token >> 17) & BitMask[ds - 1]);
  }
  int bits = BitPos;
  while (BitPos & 7) Put(1, 0);
  if (BitPos > BitBlockMaxBits) FatalMessage("LzxPack: buffer full");
  return bits;
}

int LzxUnpack(int bits) {
  if (bits < 0 || bits > BitBlockMaxBits) FatalMessage("LzxUnpack: bad bit count");
  BitPos = 0;
  ReadLens(MainTable, LzSymbols);
  LenToVal(MainTable);
  BuildTable(MainTable);
  int out = 0;
  while (BitPos < bits) {
    int s = NextSymbol();
    if (s < 256) {
      if (out >= RleBufSize) FatalMessage("LzxUnpack: too many bytes written");
      RleBuf[out++] = (unsigned char)s;
      continue;
    }
    int lb = (s - 256) >> 4, ds = (s - 256) & 15;
    int len = (lb <= 1 ? lb : (1 << (lb - 1)) + (int)Get(lb - 1)) + 3;
    int dist = (ds <= 1 ? ds : (1 << (ds - 1)) + (int)Get(ds - 1)) + 1;
    if (dist > out) FatalMessage("LzxUnpack: bad distance");
    if (len > RleBufSize - out) FatalMessage("LzxUnpack: too many bytes written");
    for (int k = 0; k < len; k++, out++) RleBuf[out] = RleBuf[out - dist];
  }
  if (BitPos != bits) FatalMessage("LzxUnpack: too many bits read");
  return out;
}

int HufPack(int size) {
  int counts[256] = {0};
  for (int i = 0; i < size; i++) counts[RleBuf[i]]++;
  BitPos = 0;
  BitLenInit();
  FresInit(MainTable, 256);
  for (int b = 0; b < 256; b++) MainTable.key[b] += (uint32_t)counts[b] << 16;
  Emit(MainTable);
  for (int i = 0; i < size; i++) Put(MainTable.len[RleBuf[i]], MainTable.val[RleBuf[i]]);
  int bits = BitPos;
  while (BitPos & 7) Put(1, 0);
  if (BitPos > BitBlockMaxBits) FatalMessage("HufPack: buffer full");
  return bits;
}

int HufUnpack(int bits) {
  if (bits < 0 || bits > BitBlockMaxBits) FatalMessage("HufUnpack: bad bit count");
  BitPos = 0;
  ReadLens(MainTable, 256);
  LenToVal(MainTable);
  BuildTable(MainTable);
  int out = 0;
  while (BitPos < bits) {
    int s = NextSymbol();
    if (out >= RleBufSize) FatalMessage("HufUnpack: too many bytes written");
    RleBuf[out++] = (unsigned char)s;
  }
  if (BitPos != bits) FatalMessage("HufUnpack: too many bits read");
  return out;
}

int SorPack(const unsigned char* block, unsigned char* output, unsigned char* table) {
  memcpy(sorRows, block, sizeof sorRows);
  int n = 0;
  for (int r = 0; r < 256; r++) {
    int empty = 1;
    for (int c = 0; c < 64; c++)
      if (sorRows[r * 64 + c] != 0xFF) empty = 0;
    sorRowUsed[r] = (unsigned char)empty;
    n += !empty;
  }
  if (n == 256) FatalMessage("SorPack: no empty rows");
  int ref = 0;
  while (!sorRowUsed[ref]) ref++;
  const unsigned char* reference = sorRows + ref * 64;
  for (int k = 0; k < n; k++) {
    int r = BestRow(reference);
    sorRowUsed[r] = 1;
    table[k] = (unsigned char)r;
    reference = sorRows + r * 64;
  }
  memset(output, 0xFF, RleBlockSize);
  unsigned char* to = output;
  for (int c = 0; c < 64; c++)
    for (int k = 0; k < n; k++) *to++ = sorRows[table[k] * 64 + c];
  return n;
}

void SorUnpack(const unsigned char* input, unsigned char* block, const unsigned char* table, int n) {
  if (n < 0 || n > 255) FatalMessage("SorUnpack: bad row count");
  memset(sorRows, 0xFF, sizeof sorRows);
  for (int c = 0; c < 64; c++)
    for (int k = 0; k < n; k++) sorRows[table[k] * 64 + c] = *input++;
  memcpy(block, sorRows, sizeof sorRows);
}

}  // namespace Ref
