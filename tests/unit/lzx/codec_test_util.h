// Helpers shared by the block codec tests.
#pragma once

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "lzx/bitio.h"
#include "lzx/rle.h"

// Small deterministic generator, the same on every platform.
struct TestRandom {
  uint32_t state;
  explicit TestRandom(uint32_t seed) : state(seed * 2654435761u + 1) {}
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  int Below(int n) { return (int)(Next() % (uint32_t)n); }
};

inline void LoadRle(const std::string& bytes) { memcpy(RleBuf, bytes.data(), bytes.size()); }
inline void LoadRle(const std::vector<unsigned char>& bytes) { memcpy(RleBuf, bytes.data(), bytes.size()); }

inline std::vector<unsigned char> BitBytes(int bits) {
  return std::vector<unsigned char>(BitBuf, BitBuf + (bits + 7) / 8);
}

inline std::vector<unsigned char> Hex(const char* text) {
  std::vector<unsigned char> out;
  unsigned v;
  int used;
  while (sscanf(text, " %2x%n", &v, &used) == 1) {
    out.push_back((unsigned char)v);
    text += used;
  }
  return out;
}

// Blocks of run-length data (up to 16,384 bytes) of several kinds.
inline std::vector<unsigned char> SampleBlock(int kind, int size, uint32_t seed) {
  TestRandom rnd(seed);
  std::vector<unsigned char> b((size_t)size);
  static const char text[] =
      "Het programma wordt bijgewerkt naar de nieuwe versie. The update has been applied; "
      "files that were newer were left alone. ";
  for (int i = 0; i < size; i++) {
    switch (kind) {
      case 0:
        b[i] = 0x41;
        break;  // one byte value
      case 1:
        b[i] = (unsigned char)i;
        break;  // every value in turn
      case 2:
        b[i] = (unsigned char)rnd.Next();
        break;  // noise
      case 3:
        b[i] = (unsigned char)text[i % (sizeof text - 1)];
        break;
      case 4:
        b[i] = (unsigned char)(rnd.Below(8) == 0 ? rnd.Next() : (i / 37) & 3);
        break;  // binary-ish
      default:
        b[i] = (unsigned char)(rnd.Below(4) ? text[rnd.Below(sizeof text - 1)] : rnd.Below(3));
        break;
    }
  }
  return b;
}
enum { SampleKinds = 6 };
