// The compressed-file reader with the tool's workers on two threads against
// Hread on one, on arbitrary bytes: a sequential read, then seeks to
// positions taken from the input (which start the reading ahead again) give
// the same bytes, or the same fatal text.
#include <stdio.h>
#include <string.h>

#include <string>

#include "base/fatal.h"
#include "fuzz/harness.h"
#include "lzx/hile.h"
#include "tools/pool.h"

namespace {

enum { ReadLimit = 64 * HileBlockSize, ChunkSize = 65536 };

unsigned char Chunk[ChunkSize];
const HileWorkers Workers = {2, PoolMaxSlots, PoolBegin, PoolSubmit, PoolWait};
std::string Outcome;

void Read(const uint8_t* data, size_t size) {
  HILE* h = Hopen("in.lzx", "rb");
  int32_t length = h->header.length;
  if (length <= ReadLimit) {
    for (int n; (n = Hread(Chunk, ChunkSize, h)) > 0;) Outcome.append((const char*)Chunk, (size_t)n);
    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size && i < 64; i++) seed = (seed ^ data[i]) * 16777619u;
    for (int i = 0; i < 4 && length > 0; i++) {
      Hseek(h, (int32_t)(seed % (uint32_t)length));
      int n = Hread(Chunk, 3 * HileBlockSize, h);
      Outcome.append((const char*)Chunk, (size_t)n);
      seed = seed * 1103515245u + 12345u;
    }
  }
  Hclose(h);
}

// Both bodies run inside FuzzRun, in the scratch directory.
void Serial(const uint8_t* data, size_t size) {
  FuzzClearScratch();
  FuzzWriteFile("in.lzx", data, size);
  Read(data, size);
}

std::string Result(int done) { return done ? Outcome : std::string("fatal: ") + FatalLastText(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Outcome.clear();
  std::string serial = Result(FuzzRun(Serial, data, size));
  Outcome.clear();
  HileSetWorkers(&Workers);
  int parallelDone = FuzzRun(Read, data, size);
  HileSetWorkers(nullptr);
  std::string parallel = Result(parallelDone);
  if (serial != parallel) {
    fprintf(stderr, "one thread: %.200s\ntwo threads: %.200s\n", serial.c_str(), parallel.c_str());
    __builtin_trap();
  }
  return 0;
}
