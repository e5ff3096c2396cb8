// UnPackLZX on arbitrary bytes, extracting into a fresh directory of the
// scratch directory; with FUZZ_TABLE set, against a small version table that
// already knows two of the names a fuzzed archive might carry.
#include <string.h>
#include <sys/stat.h>

#include "fuzz/harness.h"
#include "lzx/archive.h"

namespace {

#ifdef FUZZ_TABLE
enum { Capacity = 4 };
VersionRecord Table[Capacity];
#endif

void Body(const uint8_t* data, size_t size) {
  FuzzClearScratch();
  FuzzWriteFile("in.lzx", data, size);
  mkdir("t", 0777);
  int rewriteEqual = (int)(size & 1);
#ifdef FUZZ_TABLE
  memset(Table, 0, sizeof Table);
  strcpy(Table[0].name, "#a");
  Table[0].version = 101;
  strcpy(Table[1].name, "#d\\b");
  Table[1].version = 200;
  UnPackLZX("in.lzx", "t", Table, Capacity, rewriteEqual);
  for (int i = 0; i < Capacity; i++) {
    if (Table[i].name[sizeof Table[i].name - 1] != 0) __builtin_trap();
    if (Table[i].status < 0 || Table[i].status > 3) __builtin_trap();
  }
#else
  UnPackLZX("in.lzx", "t", nullptr, 0, rewriteEqual);
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzRun(Body, data, size);
  return 0;
}
