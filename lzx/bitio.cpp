#include "lzx/bitio.h"

LZX_PER_THREAD unsigned char BitBuf[BitBufSize + BitGuardBytes];
LZX_PER_THREAD int BitPos;

const uint32_t BitMask[BitFieldMax + 1] = {
    0x0,    0x1,    0x3,    0x7,    0xF,     0x1F,    0x3F,    0x7F,    0xFF,     0x1FF,    0x3FF,    0x7FF,    0xFFF,
    0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF, 0x1FFFF, 0x3FFFF, 0x7FFFF, 0xFFFFF, 0x1FFFFF, 0x3FFFFF, 0x7FFFFF, 0xFFFFFF,
};

LZX_PER_THREAD unsigned char BitLen[256];

namespace {
LZX_PER_THREAD int bitLenDone;
}

void BitLenInit(void) {
  if (bitLenDone) return;
  for (int i = 1; i < 256; i++) BitLen[i] = (unsigned char)(BitLen[i >> 1] + 1);
  bitLenDone = 1;
}
