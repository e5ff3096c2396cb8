#include "lzx/sor.h"

#include "base/fatal.h"

int SorPack(const unsigned char*, unsigned char*, unsigned char*) { InternalError("LZX", __LINE__, -1); }
void SorUnpack(const unsigned char*, unsigned char*, const unsigned char*, int) { InternalError("LZX", __LINE__, -1); }
int SorBestRow(const unsigned char*) { InternalError("LZX", __LINE__, -1); }
int SorMarkEmptyRows(void) { InternalError("LZX", __LINE__, -1); }
int SorRowDistance(const unsigned char*, const unsigned char*, int) { InternalError("LZX", __LINE__, -1); }
