// 32-bit little-endian integers of the file formats, independent of the host.
#pragma once

#include <stdint.h>

inline int32_t GetLe32(const unsigned char* p) {
  return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

inline void PutLe32(unsigned char* p, int32_t value) {
  uint32_t v = (uint32_t)value;
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
  p[2] = (unsigned char)(v >> 16);
  p[3] = (unsigned char)(v >> 24);
}
