#include "lzx/lzcoder.h"

#include "base/fatal.h"

uint32_t ItemBuf[ItemMax];
int ItemCount;

int LzxPack(int) { InternalError("LZX", __LINE__, -1); }
int LzxUnpack(int) { InternalError("LZX", __LINE__, -1); }
int FindMatch(int, int, int*) { InternalError("LZX", __LINE__, -1); }
void HufOutLit(int) { InternalError("LZX", __LINE__, -1); }
void HufOutRef(int, int) { InternalError("LZX", __LINE__, -1); }
