// The Huffman-only block coder: every byte of RleBuf with one code per block.
#pragma once

// Codes RleBuf[0..size-1] (size 0..16,384) into BitBuf; returns the number of
// bits before padding.
int HufPack(int size);

// Decodes a block of bits bits in BitBuf into RleBuf; returns the bytes written.
int HufUnpack(int bits);
