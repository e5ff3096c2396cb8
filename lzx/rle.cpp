#include "lzx/rle.h"

#include "base/fatal.h"

unsigned char RleBuf[RleBufSize];

int RlePack(const unsigned char*) { InternalError("LZX", __LINE__, -1); }
void RleUnpack(int, unsigned char*) { InternalError("LZX", __LINE__, -1); }
