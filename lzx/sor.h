// The Sor stage: a block as 256 rows of 64 bytes; rows of all 0xFF are
// dropped, the others chained by similarity and written column by column.
#pragma once

enum {
  SorRowCount = 256,
  SorRowBytes = 64,
  SorTableSize = 256,  // room the caller gives for the row order
};

// Transforms the 16,384-byte block into output and writes the row order into
// table; returns its count n (0..255).
int SorPack(const unsigned char* block, unsigned char* output, unsigned char* table);

// Rebuilds the block from the transformed input and the row order.
void SorUnpack(const unsigned char* input, unsigned char* block, const unsigned char* table, int n);

// The unplaced row nearest to reference (lowest row number among equals).
int SorBestRow(const unsigned char* reference);

// Flags the empty rows of the work area as placed; returns the other rows' count.
int SorMarkEmptyRows(void);

// Differing columns of two rows, counted until limit is reached.
int SorRowDistance(const unsigned char* a, const unsigned char* b, int limit);
