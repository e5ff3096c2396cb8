// Sixteen-byte scans of the run-length form for RleUnpack: SSE2 compares
// where the target has them, and the same results from 64-bit words where it
// does not (the plain forms are always there, so that the tests compare both).
// RlePack's scan of a block is SSE2 only; without it, RlePack takes six bytes
// at a time from a word of its own.
#pragma once

#include <stdint.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The number of bytes at p (16 of them readable) before the first count byte
// (0x80..0x8F); 16 when there is none.
inline int RleLiteralsPlain(const unsigned char* p) {
  uint64_t w[2];
  memcpy(w, p, 16);
  for (int i = 0; i < 2; i++) {
    // Bit 7 of a byte set where it is a count byte, exact up to and including
    // the lowest flag (a borrow only sets false flags above a true one).
    uint64_t t = (w[i] & 0xF0F0F0F0F0F0F0F0ull) ^ 0x8080808080808080ull;
    uint64_t m = (t - 0x0101010101010101ull) & ~t & 0x8080808080808080ull;
    if (m != 0) return 8 * i + (__builtin_ctzll(m) >> 3);
  }
  return 16;
}

// The number of byte pairs at p (16 bytes readable) that equal its first
// pair, counted from the first: 1 to 8.
inline int RleSamePairsPlain(const unsigned char* p) {
  uint64_t w[2];
  memcpy(w, p, 16);
  uint64_t pattern = (w[0] & 0xFFFF) * 0x0001000100010001ull;
  for (int i = 0; i < 2; i++) {
    uint64_t x = w[i] ^ pattern;
    if (x != 0) return 4 * i + (__builtin_ctzll(x) >> 4);
  }
  return 8;
}

// Bit i set where p[i] (16 bytes readable) is a count byte.
inline unsigned RleCountMaskPlain(const unsigned char* p) {
  uint64_t w[2];
  memcpy(w, p, 16);
  unsigned m = 0;
  for (int i = 0; i < 2; i++) {
    // A zero byte of t is a count byte; bit 7 of each byte of z is set
    // exactly where t has a zero byte, and the multiplication gathers those
    // eight bits into the top byte.
    uint64_t t = (w[i] & 0xF0F0F0F0F0F0F0F0ull) ^ 0x8080808080808080ull;
    uint64_t z = ~(((t & 0x7F7F7F7F7F7F7F7Full) + 0x7F7F7F7F7F7F7F7Full) | t | 0x7F7F7F7F7F7F7F7Full);
    m |= (unsigned)(((z >> 7) * 0x0102040810204080ull) >> 56) << (8 * i);
  }
  return m;
}

#if defined(__SSE2__)
// For RlePack: bit i set where p[i] (18 bytes readable) starts a run of three
// equal bytes or is a count byte.
inline unsigned RleSpecialMask(const unsigned char* p) {
  __m128i v = _mm_loadu_si128((const __m128i*)p);
  __m128i runs = _mm_and_si128(_mm_cmpeq_epi8(v, _mm_loadu_si128((const __m128i*)(p + 1))),
                               _mm_cmpeq_epi8(v, _mm_loadu_si128((const __m128i*)(p + 2))));
  __m128i counts = _mm_cmpeq_epi8(_mm_and_si128(v, _mm_set1_epi8((char)0xF0)), _mm_set1_epi8((char)0x80));
  return (unsigned)_mm_movemask_epi8(_mm_or_si128(runs, counts));
}

inline unsigned RleCountMask(const unsigned char* p) {
  __m128i v = _mm_loadu_si128((const __m128i*)p);
  __m128i high = _mm_and_si128(v, _mm_set1_epi8((char)0xF0));
  return (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(high, _mm_set1_epi8((char)0x80)));
}

inline int RleLiterals(const unsigned char* p) {
  __m128i v = _mm_loadu_si128((const __m128i*)p);
  __m128i high = _mm_and_si128(v, _mm_set1_epi8((char)0xF0));
  int m = _mm_movemask_epi8(_mm_cmpeq_epi8(high, _mm_set1_epi8((char)0x80)));
  return __builtin_ctz((unsigned)m | 0x10000u);
}

inline int RleSamePairs(const unsigned char* p) {
  uint16_t pair;
  memcpy(&pair, p, 2);
  __m128i v = _mm_loadu_si128((const __m128i*)p);
  int m = _mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_set1_epi16((short)pair)));
  return __builtin_ctz(~(unsigned)m) >> 1;
}
#else
inline unsigned RleCountMask(const unsigned char* p) { return RleCountMaskPlain(p); }
inline int RleLiterals(const unsigned char* p) { return RleLiteralsPlain(p); }
inline int RleSamePairs(const unsigned char* p) { return RleSamePairsPlain(p); }
#endif
