// The run-length stage between a 16,384-byte block and the coders.
#pragma once

#include "base/perthread.h"

enum {
  RleBlockSize = 16384,
  RleBufSize = 32768,  // twice the block: the packer's output before its size test
};

// The run-length form of one block: output of RlePack and of the unpackers,
// input of the packers and of RleUnpack.
extern LZX_PER_THREAD unsigned char RleBuf[RleBufSize];

// Codes the 16,384 bytes of block into RleBuf. A result below 16,384 is
// run-length data; 16,384 means RleBuf holds the block itself.
int RlePack(const unsigned char* block);

// Expands length bytes of RleBuf into all 16,384 bytes of output.
void RleUnpack(int length, unsigned char* output);
