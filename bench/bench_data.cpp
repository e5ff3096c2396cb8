#include "bench/bench_data.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "lzx/bitio.h"
#include "lzx/hufcoder.h"
#include "lzx/lzcoder.h"
#include "lzx/rle.h"
#include "lzx/sor.h"

namespace {

const int Block = RleBlockSize;

[[noreturn]] void Mismatch(const BenchFile& file, const char* stage, int block) {
  fprintf(stderr, "lzx_bench: %s does not undo itself on block %d of %s\n", stage, block, file.name.c_str());
  exit(1);
}

bool HasEmptyRow(const unsigned char* block) {
  static const unsigned char empty[SorRowBytes] = {
#define X8 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF
      X8, X8, X8, X8, X8,
      X8, X8, X8
#undef X8
  };
  for (int r = 0; r < SorRowCount; r++)
    if (memcmp(block + r * SorRowBytes, empty, SorRowBytes) == 0) return true;
  return false;
}

// Codes RleBuf[0..size-1] with one coder and appends its bytes.
void Code(int (*pack)(int), int size, std::vector<CodedBlock>* blocks, Bytes* bytes) {
  int bits = pack(size);
  CodedBlock c = {(uint32_t)bytes->size(), bits};
  blocks->push_back(c);
  bytes->insert(bytes->end(), BitBuf, BitBuf + (bits + 7) / 8);
}

// Decodes one coded block back into RleBuf and checks it against the
// run-length form.
void Check(const BenchFile& file, const char* stage, int (*unpack)(int), const CodedBlock& c, const Bytes& bytes,
           int k) {
  memcpy(BitBuf, bytes.data() + c.offset, (c.bits + 7) / 8);
  int n = unpack(c.bits);
  if (n != file.rleLength[k] || memcmp(RleBuf, file.rle.data() + (size_t)k * Block, n) != 0) Mismatch(file, stage, k);
}

}  // namespace

bool LoadBenchFile(const std::string& path, BenchFile* file) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  file->path = path;
  size_t slash = path.find_last_of('/');
  file->name = slash == std::string::npos ? path : path.substr(slash + 1);
  file->data.clear();
  unsigned char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) file->data.insert(file->data.end(), buf, buf + n);
  fclose(f);
  file->size = file->data.size();
  file->blocks = (int)((file->data.size() + Block - 1) / Block);
  file->padded = file->data;
  file->padded.resize((size_t)file->blocks * Block, 0);
  file->sorable = file->blocks > 0;
  for (int k = 0; k < file->blocks && file->sorable; k++)
    file->sorable = HasEmptyRow(file->padded.data() + (size_t)k * Block);
  return true;
}

void PrepareBenchFile(BenchFile* file) {
  if (file->prepared) return;
  if (file->data.empty() && !LoadBenchFile(file->path, file)) {
    fprintf(stderr, "lzx_bench: cannot read %s\n", file->path.c_str());
    exit(1);
  }
  const int blocks = file->blocks;
  file->rle.assign((size_t)blocks * Block, 0);
  file->rleLength.assign(blocks, 0);
  static unsigned char out[RleBlockSize];
  for (int k = 0; k < blocks; k++) {
    const unsigned char* block = file->padded.data() + (size_t)k * Block;
    int n = RlePack(block);
    file->rleLength[k] = n;
    memcpy(file->rle.data() + (size_t)k * Block, RleBuf, n);
    RleUnpack(n, out);
    if (memcmp(out, block, Block) != 0) Mismatch(*file, "RlePack", k);
  }
  for (int k = 0; k < blocks; k++) {
    memcpy(RleBuf, file->rle.data() + (size_t)k * Block, file->rleLength[k]);
    Code(LzxPack, file->rleLength[k], &file->lzx, &file->lzxBytes);
    memcpy(RleBuf, file->rle.data() + (size_t)k * Block, file->rleLength[k]);
    Code(HufPack, file->rleLength[k], &file->huf, &file->hufBytes);
  }
  for (int k = 0; k < blocks; k++) {
    Check(*file, "LzxPack", LzxUnpack, file->lzx[k], file->lzxBytes, k);
    Check(*file, "HufPack", HufUnpack, file->huf[k], file->hufBytes, k);
  }
  if (file->sorable) {
    file->sorCount.assign(blocks, 0);
    file->sorTable.assign((size_t)blocks * SorTableSize, 0);
    file->sorOut.assign((size_t)blocks * Block, 0);
    for (int k = 0; k < blocks; k++) {
      const unsigned char* block = file->padded.data() + (size_t)k * Block;
      unsigned char* table = file->sorTable.data() + (size_t)k * SorTableSize;
      unsigned char* sor = file->sorOut.data() + (size_t)k * Block;
      file->sorCount[k] = SorPack(block, sor, table);
      SorUnpack(sor, out, table, file->sorCount[k]);
      if (memcmp(out, block, Block) != 0) Mismatch(*file, "SorPack", k);
    }
  }
  file->prepared = true;
}

void ReleaseBenchFile(BenchFile* file) {
  Bytes().swap(file->data);
  Bytes().swap(file->padded);
  Bytes().swap(file->rle);
  Bytes().swap(file->lzxBytes);
  Bytes().swap(file->hufBytes);
  Bytes().swap(file->sorTable);
  Bytes().swap(file->sorOut);
  std::vector<int>().swap(file->rleLength);
  std::vector<int>().swap(file->sorCount);
  std::vector<CodedBlock>().swap(file->lzx);
  std::vector<CodedBlock>().swap(file->huf);
  file->prepared = false;
}

double CpuNow(void) {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

double CpuPairCost(void) {
  static double cost = -1;
  if (cost < 0) {
    cost = 1;
    for (int i = 0; i < 2000; i++) {
      double a = CpuNow(), b = CpuNow();
      if (b - a < cost) cost = b - a;
    }
  }
  return cost;
}

size_t RleTotal(const BenchFile& file) {
  size_t total = 0;
  for (int n : file.rleLength) total += n;
  return total;
}

size_t CodedTotal(const std::vector<CodedBlock>& blocks) {
  size_t total = 0;
  for (const CodedBlock& c : blocks) total += 4 + (c.bits + 7) / 8;
  return total;
}
