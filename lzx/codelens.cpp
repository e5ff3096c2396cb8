#include "lzx/codelens.h"

#include "base/fatal.h"

int PackLens(const unsigned char*, int, unsigned char*) { InternalError("LZX", __LINE__, -1); }
void SendLenLens(const unsigned char*, int) { InternalError("LZX", __LINE__, -1); }
void SendLens(HufTable&) { InternalError("LZX", __LINE__, -1); }
void RecvLenLens(unsigned char*, int) { InternalError("LZX", __LINE__, -1); }
void RecvLens(HufTable&, int) { InternalError("LZX", __LINE__, -1); }
