// The compressed file (LZX1): a byte stream cut into blocks of 16,384 bytes,
// each coded through the block stages, followed by an index of block offsets
// so that a reader can seek.
//
// Layout (32-bit little-endian integers):
//   0  "LZX1"   4 indexOffset   8 length   12 flags (1 Huffman-only, 2 Sor)
//   16 block 0, block 1, ... (no gaps)
//   indexOffset: one 4-byte file offset per block, to the end of the file
// A block: [Sor only: n, n table bytes] bit count b, (b + 7) / 8 coded bytes.
//
// Every failure is fatal; no operation returns an error.
#pragma once

#include <stdint.h>

#include "fileio/file.h"

enum {
  HileBlockSize = 16384,
  HileHeaderSize = 16,
  HileNameSize = FileNameSize,  // any path the file layer takes
  HileTempNameSize = FileNameSize,
  HileFlagHuffman = 1,
  HileFlagSor = 2,
  // The longest stream: positions up to one block beyond it still fit in 32
  // signed bits (the reader steps one block past the end).
  HileMaxLength = 0x7FFFFFFF - HileBlockSize + 1,
  HileIndexHeld = 64,     // index entries a reader reads at once
  HileAheadSize = 65536,  // file bytes a reader reads at once
};

struct HileHeader {
  int32_t magic;  // "LZX1" for the whole life of a valid HILE
  int32_t indexOffset;
  int32_t length;
  int32_t flags;
};

// Writing: the file is written as a scratch file beside name (for a device or
// pipe, in the system's temporary directory) and moved over name, or copied
// into it, only by Hclose, so a failed write leaves an existing file as it was.
// The block index is streamed to a second scratch file beside the first.
struct HILE {
  int writing;
  int toDevice;  // writing: name is a device or pipe, which gets a copy
  char name[HileNameSize];
  char tempName[HileTempNameSize];  // writing: the index's scratch file
  FileRec file;                     // reading: name; writing: its scratch file
  FileRec indexFile;                // writing only: the streamed block index
  HileHeader header;
  unsigned char block[HileBlockSize];
  int32_t blockStart;  // stream position of block[0]
  int32_t pos;         // position in block; HileBlockSize: used up
  int eof;
  int held;  // reading: block holds the block at blockStart (Hread may decode past it)
  // Where the file stands, kept here instead of asking the system for every
  // block (writing: counting the bytes still in ahead), and index entries
  // indexFirst.. held from the file (writing: indexCount entries not yet in
  // indexFile).
  int32_t filePos;
  int32_t indexFirst;
  int32_t indexCount;
  int32_t index[HileIndexHeld];
  // Reading: the file's bytes from aheadStart on, aheadLen of them, so that
  // most blocks take no system call. Writing: aheadLen coded bytes not yet
  // written.
  int32_t aheadStart;
  int32_t aheadLen;
  unsigned char ahead[HileAheadSize];
};

// mode: "rb", or "wb", "wbh" (Huffman-only), "wbs" (Sor stage).
HILE* Hopen(const char* name, const char* mode);
// Writing: the size of the finished file in bytes; reading: 0.
int Hclose(HILE* h);
int Hread(void* dest, int count, HILE* h);
void Hwrite(const void* src, int count, HILE* h);
void Hseek(HILE* h, int32_t position);
int32_t Htell(HILE* h);
int Hgetc(HILE* h);
int Hputc(int value, HILE* h);
int Heof(HILE* h);

// Internal steps, exposed for the archive check and the tests.
void HileCheck(HILE* h, const char* operation);
void Hflus(HILE* h);
void Hfill(HILE* h);
void BlockPack(const unsigned char* block, FileRec* file, int flags);
int BlockUnpack(FileRec* file, unsigned char* block, int flags);  // returns the bytes it read

// The same two steps in memory, as a worker thread codes a block (each
// thread has its own coder state). BlockCode writes the bytes BlockPack would
// write into coded (HileCodedMax bytes) and returns their number;
// BlockDecode decodes a block from its bytes as BlockUnpack does and returns
// how many it used (a block that needs more than bytes is fatal).
enum { HileCodedMax = 1 + 255 + 4 + 32764 };
int BlockCode(const unsigned char* block, int flags, unsigned char* coded);
int BlockDecode(const unsigned char* coded, int bytes, unsigned char* block, int flags);

// Workers for the blocks of a file, given by a program that has threads (the
// tool's pool; the updater has none). The file that Hopen opens while no
// other holds them has its full blocks coded on the workers and written in
// order (Hflus, Hclose), or its blocks decoded ahead of the reader through
// the index (Hfill, Hread, Hseek). The file, the bytes read and the fatal
// text of a damaged file are those of one thread: a block that fails on a
// worker, or whose place in the file is wrong, is read again on the calling
// thread, where the fatal path reports it. Memory: slots of a block and its
// coded bytes, four per thread, whatever the length of the stream.
struct HileWorkers {
  int threads;   // 2 or more; fewer is one thread
  int maxSlots;  // slot numbers the workers take: 0..maxSlots-1
  // Starts the workers with their work; called while no slot is out.
  void (*begin)(int threads, void (*work)(int slot, void* context), void* context);
  void (*submit)(int slot);
  int (*wait)(int slot);  // 1: the slot's work ended in a fatal error
};
// Kept by pointer; null: every file on the calling thread.
void HileSetWorkers(const HileWorkers* workers);

// The records of the open compressed files: how many there are, and a release
// of them all without closing their files (for a harness whose fatal path
// returns instead of ending the process, after the file table was closed).
int HileCount(void);
void HileReleaseAll(void);

// Number of blocks of a stream of the given length.
inline int32_t HileBlockCount(int32_t length) {
  return (int32_t)(((int64_t)length + HileBlockSize - 1) / HileBlockSize);
}
