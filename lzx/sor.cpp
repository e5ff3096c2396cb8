#include "lzx/sor.h"

#include <string.h>

#include "base/fatal.h"

namespace {

enum { SorBlockSize = SorRowCount * SorRowBytes, EmptyByte = 0xFF, MaxTableRows = 255 };

unsigned char SorRows[SorBlockSize];
unsigned char SorRowUsed[SorRowCount];  // 1: empty or already placed

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

int SorBestRow(const unsigned char* reference) {
  int best = 999999;
  int choice = -1;
  // Only a strictly smaller distance replaces the choice: the lowest row
  // number wins among equals.
  for (int r = 0; r < SorRowCount; r++) {
    if (SorRowUsed[r]) continue;
    int d = SorRowDistance(SorRows + r * SorRowBytes, reference, best);
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
