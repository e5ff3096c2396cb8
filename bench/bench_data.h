// The benchmark's view of one corpus file: its bytes, and each block's form
// after every stage, prepared once so that a stage can be timed alone.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

struct CodedBlock {
  uint32_t offset;  // into the file's coded bytes
  int bits;         // the coder's bit count (the block stores (bits + 7) / 8 bytes)
};

struct BenchFile {
  std::string name;  // file name without its folder
  std::string path;
  size_t size = 0;  // bytes in the file (kept when the data is released)
  Bytes data;       // the file as it is
  Bytes padded;     // the file cut into blocks, the last one filled with zero bytes
  int blocks = 0;
  bool sorable = false;  // every block holds an empty row, so the Sor stage accepts it

  // Filled by Prepare: per block, the run-length form, then both coders' output.
  bool prepared = false;
  std::vector<int> rleLength;  // RlePack's result per block
  Bytes rle;                   // 16,384 bytes per block, of which rleLength[k] are used
  std::vector<CodedBlock> lzx, huf;
  Bytes lzxBytes, hufBytes;
  // Sor stage: per block the row table (n, then n rows) and the transformed block.
  std::vector<int> sorCount;
  Bytes sorTable;  // 256 bytes per block
  Bytes sorOut;    // 16,384 bytes per block
};

// Reads the file and cuts it into blocks.
bool LoadBenchFile(const std::string& path, BenchFile* file);
// Runs every stage over every block once, checks that each one is undone
// exactly, and keeps the intermediate forms. Ends the process on a mismatch.
void PrepareBenchFile(BenchFile* file);
// Drops the prepared forms and the data.
void ReleaseBenchFile(BenchFile* file);

// The thread's CPU time in seconds. The machine is shared, so the benchmarks
// count the time this thread ran rather than the time that passed.
double CpuNow(void);
// What one CpuNow pair costs by itself; the block-by-block timings subtract it.
double CpuPairCost(void);

// Sums of the coded sizes, in bytes as a compressed file stores them.
size_t RleTotal(const BenchFile& file);
size_t CodedTotal(const std::vector<CodedBlock>& blocks);
