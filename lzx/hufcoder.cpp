#include "lzx/hufcoder.h"

#include "base/fatal.h"

int HufPack(int) { InternalError("LZX", __LINE__, -1); }
int HufUnpack(int) { InternalError("LZX", __LINE__, -1); }
