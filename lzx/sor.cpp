#include "lzx/sor.h"

#include <stdint.h>
#include <string.h>

#include "base/fatal.h"
#include "base/perthread.h"

namespace {

enum { SorBlockSize = SorRowCount * SorRowBytes, EmptyByte = 0xFF, MaxTableRows = 255 };

LZX_PER_THREAD unsigned char SorRows[SorBlockSize];
LZX_PER_THREAD unsigned char SorRowUsed[SorRowCount];  // 1: empty or already placed

}  // namespace

int SorRowDistance(const unsigned char* a, const unsigned char* b, int limit) {
  int d = 0;
  for (int c = 0; c < SorRowBytes; c++) {
    if (a[c] != b[c] && ++d >= limit) break;
  }
  return d;
}

int SorMarkEmptyRows(void) {
  int n = 0;
  for (int r = 0; r < SorRowCount; r++) {
    const unsigned char* row = SorRows + r * SorRowBytes;
    int empty = 1;
    for (int c = 0; c < SorRowBytes; c++) {
      if (row[c] != EmptyByte) {
        empty = 0;
        break;
      }
    }
    SorRowUsed[r] = (unsigned char)empty;
    n += !empty;
  }
  return n;
}

namespace {

typedef unsigned char Bytes16 __attribute__((vector_size(16)));

inline Bytes16 Load16(const unsigned char* p) {
  Bytes16 v;
  memcpy(&v, p, 16);
  return v;
}

// Differing columns of two rows, all 64 of them counted: four 16-byte
// compares, whose lanes (0 or -1 each) are summed and then added up across.
inline int RowDistanceFull(const unsigned char* a, const unsigned char* b) {
  Bytes16 same = (Bytes16)(Load16(a) == Load16(b)) + (Bytes16)(Load16(a + 16) == Load16(b + 16)) +
                 (Bytes16)(Load16(a + 32) == Load16(b + 32)) + (Bytes16)(Load16(a + 48) == Load16(b + 48));
  same = -same;  // equal columns per lane, 0..4
  uint64_t half[2];
  memcpy(half, &same, 16);
  int equal = (int)(((half[0] + half[1]) * 0x0101010101010101ull) >> 56);
  return SorRowBytes - equal;
}

}  // namespace

int SorBestRow(const unsigned char* reference) {
  int best = 999999;
  int choice = -1;
  // Only a strictly smaller distance replaces the choice: the lowest row
  // number wins among equals. The full distance chooses as the one cut off
  // at best does (a row that reaches best cannot win), and after a row at
  // distance 0 no later row can.
  for (int r = 0; r < SorRowCount && best > 0; r++) {
    if (SorRowUsed[r]) continue;
    int d = RowDistanceFull(SorRows + r * SorRowBytes, reference);
    if (d < best) {
      best = d;
      choice = r;
    }
  }
  if (choice < 0) FatalMessage("SorBestRow: BUG");
  return choice;
}

int SorPack(const unsigned char* block, unsigned char* output, unsigned char* table) {
  memcpy(SorRows, block, SorBlockSize);
  int n = SorMarkEmptyRows();
  if (n == SorRowCount) FatalMessage("SorPack: no empty rows");
  int ref = 0;  // the lowest empty row: 64 bytes of 0xFF
  while (!SorRowUsed[ref]) ref++;
  const unsigned char* reference = SorRows + ref * SorRowBytes;
  for (int k = 0; k < n; k++) {
    int r = SorBestRow(reference);
    SorRowUsed[r] = 1;
    table[k] = (unsigned char)r;
    reference = SorRows + r * SorRowBytes;
  }
  memset(output, EmptyByte, SorBlockSize);
  unsigned char* to = output;
  for (int c = 0; c < SorRowBytes; c++) {
    for (int k = 0; k < n; k++) *to++ = SorRows[table[k] * SorRowBytes + c];
  }
  return n;
}

void SorUnpack(const unsigned char* input, unsigned char* block, const unsigned char* table, int n) {
  if (n < 0 || n > MaxTableRows) FatalMessage("SorUnpack: bad row count");
  memset(SorRows, EmptyByte, SorBlockSize);
  const unsigned char* from = input;
  for (int c = 0; c < SorRowBytes; c++) {
    for (int k = 0; k < n; k++) SorRows[table[k] * SorRowBytes + c] = *from++;
  }
  memcpy(block, SorRows, SorBlockSize);
}
