// The compressed-file reader of the tool on two threads against Hread on
// one, on arbitrary bytes: the same bytes, or the same fatal text.
#include <stdio.h>
#include <string.h>

#include <string>

#include "base/fatal.h"
#include "fileio/file.h"
#include "fuzz/harness.h"
#include "lzx/hile.h"
#include "tools/parfile.h"

namespace {

enum { ReadLimit = 64 * HileBlockSize, ChunkSize = 65536 };

unsigned char Chunk[ChunkSize];
const int Threads = 2;
std::string Outcome;

// Both bodies run inside FuzzRun, in the scratch directory.
void Serial(const uint8_t* data, size_t size) {
  FuzzClearScratch();
  FuzzWriteFile("in.lzx", data, size);
  HILE* h = Hopen("in.lzx", "rb");
  if (h->header.length <= ReadLimit) {
    for (int n; (n = Hread(Chunk, ChunkSize, h)) > 0;) Outcome.append((const char*)Chunk, (size_t)n);
  }
  Hclose(h);
}

void Parallel(const uint8_t*, size_t) {
  HILE* h = Hopen("in.lzx", "rb");
  if (h->header.length <= ReadLimit) {
    FileRec out;
    FileInit(&out, 1, "out.bin");
    FileCreate(&out);
    ParallelDecompress(h, &out, Threads);
    FileClose(&out);
  }
  Hclose(h);
}

std::string ReadBack(void) {
  std::string bytes;
  FILE* f = fopen("out.bin", "rb");
  if (f == nullptr) return bytes;
  for (size_t n; (n = fread(Chunk, 1, ChunkSize, f)) > 0;) bytes.append((const char*)Chunk, n);
  fclose(f);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Outcome.clear();
  int serialDone = FuzzRun(Serial, data, size);
  std::string serial = serialDone ? Outcome : std::string("fatal: ") + FatalLastText();
  int parallelDone = FuzzRun(Parallel, data, size);
  std::string parallel = parallelDone ? ReadBack() : std::string("fatal: ") + FatalLastText();
  if (serialDone != parallelDone || serial != parallel) {
    fprintf(stderr, "one thread: %.200s\ntwo threads: %.200s\n", serial.c_str(), parallel.c_str());
    __builtin_trap();
  }
  return 0;
}
