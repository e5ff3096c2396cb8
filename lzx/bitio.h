// The bit stream of one coded block: a fixed buffer written and read least
// significant bit first, one little-endian 32-bit word at a time.
#pragma once

#include <stdint.h>
#include <string.h>

#include "base/perthread.h"

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

extern LZX_PER_THREAD unsigned char BitBuf[BitBufSize + BitGuardBytes];
extern LZX_PER_THREAD int BitPos;                               // index of the next bit to write or read
extern const uint32_t BitMask[BitFieldMax + 1];  // BitMask[n] = 2^n - 1

// BitLen[i]: number of significant bits of i (0 for 0, 8 for 128..255).
extern LZX_PER_THREAD unsigned char BitLen[256];
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

// The coders' fast paths read and write 64 bits at a time; the stream's bytes
// are the same as with the calls above.
inline uint64_t BitLoad64(const unsigned char* p) {
  uint64_t w;
  memcpy(&w, p, 8);
  return w;
}

// The bits from bit position pos on, at least 57 of them; pos must leave the
// eight bytes read inside BitBuf (pos < BitFastReadEnd).
enum { BitFastReadEnd = (BitBufSize + BitGuardBytes - 8) * 8 };
inline uint64_t BitsAt(int pos) { return BitLoad64(BitBuf + (pos >> 3)) >> (pos & 7); }

// Reads the stream through a 64-bit register: buf holds the bits from the
// reading position on, left of them valid (at least 56 after a refill, which
// needs no branch); next is the byte where the bits after them begin. The
// caller keeps every refill's eight bytes inside BitBuf.
struct BitReader {
  uint64_t buf;
  int left;
  const unsigned char* next;
};

inline void BitReaderStart(BitReader* r, int pos) {
  r->next = BitBuf + (pos >> 3);
  r->buf = BitLoad64(r->next) >> (pos & 7);
  r->left = 56 - (pos & 7);
  r->next += 7;
}

// Whole bytes are added until at least 56 bits are valid; the bits of buf
// above them already hold the same stream bits, so they are or-ed in again.
inline void BitReaderRefill(BitReader* r) {
  r->buf |= BitLoad64(r->next) << r->left;
  r->next += (63 - r->left) >> 3;
  r->left |= 56;
}

inline void BitReaderSkip(BitReader* r, int n) {
  r->buf >>= n;
  r->left -= n;
}

// The bit position of the reading position in BitBuf.
inline int BitReaderPos(const BitReader* r) { return (int)(r->next - BitBuf) * 8 - r->left; }

// Writes fields from BitPos on through a 64-bit accumulator, one 32-bit word
// at a time, with the same bytes in BitBuf as PutBits. A word that would end
// past byte limit (the caller's largest padded block) is not stored: the block
// is then too long in any case, and the caller's fatal text is raised at once.
struct BitWriter {
  uint64_t acc;  // the bits not yet stored, first bit in bit 0
  int count;     // their number, below 32 between calls
  int byte;      // where acc's first bit goes (BitPos rounded down)
};

inline void BitWriterStart(BitWriter* w) {
  w->byte = BitPos >> 3;
  w->count = BitPos & 7;
  w->acc = BitBuf[w->byte] & BitMask[w->count];
}

// n (0..24) bits of v (< 2^n). Returns 0 when the block grew past limit bytes.
inline int BitWriterPut(BitWriter* w, int n, uint32_t v, int limit) {
  w->acc |= (uint64_t)v << w->count;
  w->count += n;
  if (w->count >= 32) {
    if (w->byte + 4 > limit) return 0;
    uint32_t word = (uint32_t)w->acc;
    memcpy(BitBuf + w->byte, &word, 4);
    w->byte += 4;
    w->acc >>= 32;
    w->count -= 32;
  }
  return 1;
}

// Stores what is left, pads with zero bits to a whole byte and sets BitPos to
// the padded end. Returns the bit count before padding.
inline int BitWriterFinish(BitWriter* w) {
  int bits = w->byte * 8 + w->count;
  uint32_t word = (uint32_t)w->acc;
  memcpy(BitBuf + w->byte, &word, 4);
  BitPos = (bits + 7) & ~7;
  return bits;
}
