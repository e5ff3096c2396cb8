// The compressed-file reader on arbitrary bytes: Hopen, a sequential read,
// then seeks to positions taken from the input and to both ends.
#include <string.h>

#include "fuzz/harness.h"
#include "lzx/hile.h"

namespace {

enum { ChunkSize = 7000, ReadLimit = 16 * HileBlockSize };

unsigned char Chunk[ChunkSize];

void Fail(const char* what) {
  (void)what;
  __builtin_trap();
}

void Body(const uint8_t* data, size_t size) {
  FuzzWriteFile("in.lzx", data, size);
  HILE* h = Hopen("in.lzx", "rb");
  int32_t length = h->header.length;

  // A reader gets exactly length bytes, then end of data.
  int32_t total = 0;
  for (int n; total < ReadLimit && (n = Hread(Chunk, ChunkSize, h)) > 0;) total += n;
  if (total < ReadLimit && (total != length || !Heof(h))) Fail("short or long stream");

  if (length > 0) {
    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size && i < 64; i++) seed = (seed ^ data[i]) * 16777619u;
    for (int i = 0; i < 4; i++) {
      int32_t t = (int32_t)(seed % (uint32_t)length);
      Hseek(h, t);
      if (Htell(h) != t || Heof(h)) Fail("seek");
      if (Hgetc(h) < 0) Fail("byte before the end");
      Hread(Chunk, 100, h);
      seed = seed * 1103515245u + 12345u;
    }
    Hseek(h, length - 1);
    if (Hgetc(h) < 0 || Hgetc(h) != -1 || !Heof(h)) Fail("last byte");
    Hseek(h, 0);
    Hread(Chunk, 16, h);
  }
  Hclose(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzRun(Body, data, size);
  return 0;
}
