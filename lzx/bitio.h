// The bit stream of one coded block: a fixed buffer written and read least
// significant bit first, one little-endian 32-bit word at a time.
#pragma once

#include <stdint.h>
#include <string.h>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the bit stream loads and stores little-endian words directly"
#endif

enum {
  BitBufSize = 32768,  // one block's coded bits
  // Word-wise reads and writes touch up to three bytes past the byte that
  // holds BitPos. An unpacker checks its position only between symbols, so a
  // damaged stream may take one symbol (at most 24 code bits and 21 extra bits)
  // past the block's last bit before it is stopped; the guard bytes keep those
  // reads inside the buffer.
  BitGuardBytes = 8,
  // The largest padded block the coders write or accept (32,764 bytes): the
  // writer's last word then still ends inside BitBuf.
  BitBlockMaxBits = 262112,
  BitFieldMax = 24,
};

extern unsigned char BitBuf[BitBufSize + BitGuardBytes];
extern int BitPos;                               // index of the next bit to write or read
extern const uint32_t BitMask[BitFieldMax + 1];  // BitMask[n] = 2^n - 1

// BitLen[i]: number of significant bits of i (0 for 0, 8 for 128..255).
extern unsigned char BitLen[256];
void BitLenInit(void);

inline uint32_t BitWordAt(int byte) {
  uint32_t w;
  memcpy(&w, BitBuf + byte, 4);
  return w;
}

// Stores the n (0..24) low bits of v at BitPos; every later bit of the same
// word becomes zero, so the buffer never needs clearing.
inline void PutBits(int n, uint32_t v) {
  int byte = BitPos >> 3;
  int shift = BitPos & 7;
  uint32_t w = BitWordAt(byte) & BitMask[shift];
  w |= v << shift;
  memcpy(BitBuf + byte, &w, 4);
  BitPos += n;
}

// The next 24 bits, first bit in bit 0; BitPos is not moved.
inline uint32_t PeekBits(void) { return (BitWordAt(BitPos >> 3) >> (BitPos & 7)) & 0xFFFFFFu; }

inline uint32_t GetBits(int n) {
  uint32_t v = (BitWordAt(BitPos >> 3) >> (BitPos & 7)) & BitMask[n];
  BitPos += n;
  return v;
}

inline void SkipBits(int n) { BitPos += n; }
