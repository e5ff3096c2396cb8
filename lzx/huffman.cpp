#include "lzx/huffman.h"

#include "base/fatal.h"

HufTable MainTable;
HufTable LenCode;
uint16_t DecodeTable[DecodeSize];

void FresInit(HufTable&, int) { InternalError("LZX", __LINE__, -1); }
void FreqToLen(HufTable&) { InternalError("LZX", __LINE__, -1); }
int TreeBuild(HufTable&) { InternalError("LZX", __LINE__, -1); }
void TreeToLen(HufTable&, int, int) { InternalError("LZX", __LINE__, -1); }
void LenToVal(HufTable&) { InternalError("LZX", __LINE__, -1); }
void TableBuild(HufTable&) { InternalError("LZX", __LINE__, -1); }
int DecodeLong(const HufTable&, uint32_t) { InternalError("LZX", __LINE__, -1); }
int UnCode(const HufTable&, uint32_t) { InternalError("LZX", __LINE__, -1); }
