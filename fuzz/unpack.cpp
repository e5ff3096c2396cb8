// UnPackLZX on arbitrary bytes, extracting into a fresh directory of the
// scratch directory; with FUZZ_TABLE set, against a small version table that
// already knows two of the names a fuzzed archive might carry. With
// FUZZ_THREADS set, every input is unpacked on one thread and then with the
// tool's workers on two, which must give the same files or the same fatal
// text (the table is used for every other input).
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "fuzz/harness.h"
#include "lzx/archive.h"
#ifdef FUZZ_THREADS
#include "base/fatal.h"
#include "lzx/hile.h"
#include "tools/pool.h"
#endif

namespace {

enum { Capacity = 4 };
VersionRecord Table[Capacity];

void Unpack(const uint8_t* data, size_t size, int table) {
  mkdir("t", 0777);
  int rewriteEqual = (int)(size & 1);
  if (!table) {
    UnPackLZX("in.lzx", "t", nullptr, 0, rewriteEqual);
    return;
  }
  (void)data;
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
}

#ifndef FUZZ_THREADS

void Body(const uint8_t* data, size_t size) {
  FuzzClearScratch();
  FuzzWriteFile("in.lzx", data, size);
#ifdef FUZZ_TABLE
  Unpack(data, size, 1);
#else
  Unpack(data, size, 0);
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzRun(Body, data, size);
  return 0;
}

#else

const HileWorkers Workers = {2, PoolMaxSlots, PoolBegin, PoolSubmit, PoolWait};

void Serial(const uint8_t* data, size_t size) {
  FuzzClearScratch();
  FuzzWriteFile("in.lzx", data, size);
  Unpack(data, size, (size & 2) != 0);
}

void Parallel(const uint8_t* data, size_t size) {
  FuzzRemove("t");
  Unpack(data, size, (size & 2) != 0);
}

// Every file below dir with its bytes, and the table, as one string.
void Tree(const std::string& dir, std::string* out) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  std::string names[64];
  int n = 0;
  for (struct dirent* e; (e = readdir(d)) != nullptr && n < 64;) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names[n++] = e->d_name;
  }
  closedir(d);
  for (int i = 1; i < n; i++) {
    for (int j = i; j > 0 && names[j] < names[j - 1]; j--) names[j].swap(names[j - 1]);
  }
  for (int i = 0; i < n; i++) {
    std::string path = dir + "/" + names[i];
    *out += path + "\n";
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) continue;
    char buf[4096];
    size_t got = 0;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, got);
    fclose(f);
    if (got == 0) Tree(path, out);  // a directory reads as nothing
  }
}

std::string Outcome(int done) {
  std::string s = done ? "done\n" : std::string("fatal: ") + FatalLastText() + "\n";
  Tree("t", &s);
  s.append((const char*)Table, sizeof Table);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string serial = Outcome(FuzzRun(Serial, data, size));
  HileSetWorkers(&Workers);
  int parallelDone = FuzzRun(Parallel, data, size);
  HileSetWorkers(nullptr);
  std::string parallel = Outcome(parallelDone);
  if (serial != parallel) {
    fprintf(stderr, "one thread: %.300s\ntwo threads: %.300s\n", serial.c_str(), parallel.c_str());
    __builtin_trap();
  }
  return 0;
}

#endif
