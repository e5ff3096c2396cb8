#include "bench/bench_hile.h"

#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#if LZX_BENCH_HILE
#include "lzx/hile.h"
#endif

namespace {

char ScratchDir[256];
char HomeDir[4096];

#if LZX_BENCH_HILE
const size_t Piece = 65536;  // the write and read size of the lzx tool

int WriteStream(const Bytes& data, const char* name, const char* mode) {
  HILE* h = Hopen(name, mode);
  for (size_t at = 0; at < data.size(); at += Piece) {
    size_t n = data.size() - at < Piece ? data.size() - at : Piece;
    Hwrite(data.data() + at, (int)n, h);
  }
  return Hclose(h);
}

void BenchWrite(benchmark::State& state, BenchFile* file, BenchUse use, const char* mode) {
  BenchFile& f = use(file);
  std::string name = std::string("w-") + mode + ".lzx";
  int size = 0;
  for (auto _ : state) {
    double a = CpuNow();
    size = WriteStream(f.data, name.c_str(), mode);
    state.SetIterationTime(CpuNow() - a);
  }
  remove(name.c_str());
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.data.size());
  state.counters["csize"] = size;
}

void BenchRead(benchmark::State& state, BenchFile* file, BenchUse use, const char* mode) {
  BenchFile& f = use(file);
  std::string name = std::string("r-") + mode + ".lzx";
  int size = WriteStream(f.data, name.c_str(), mode);
  static unsigned char piece[Piece];
  bool checked = false;
  for (auto _ : state) {
    bool same = true;
    double a = CpuNow();
    HILE* h = Hopen(name.c_str(), "rb");
    size_t at = 0;
    for (;;) {
      int n = Hread(piece, (int)Piece, h);
      if (!checked) same = same && at + n <= f.data.size() && memcmp(piece, f.data.data() + at, n) == 0;
      at += n;
      if (n < (int)Piece) break;
    }
    Hclose(h);
    state.SetIterationTime(CpuNow() - a);
    if (!checked && (!same || at != f.data.size())) {
      state.SkipWithError("the stream reads back different bytes");
      break;
    }
    checked = true;
  }
  remove(name.c_str());
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.data.size());
  state.counters["csize"] = size;
}
#endif

}  // namespace

void RegisterHileBenchmarks(BenchFile* file, BenchUse use) {
#if LZX_BENCH_HILE
  static const char* modes[] = {"wb", "wbh", "wbs"};
  for (const char* mode : modes) {
    if (mode[2] == 's' && !file->sorable) continue;
    std::string base = file->name + "/";
    benchmark::RegisterBenchmark((base + "Hwrite/" + mode).c_str(), [=](benchmark::State& s) {
      BenchWrite(s, file, use, mode);
    })->UseManualTime();
    benchmark::RegisterBenchmark((base + "Hread/" + mode).c_str(), [=](benchmark::State& s) {
      BenchRead(s, file, use, mode);
    })->UseManualTime();
  }
#else
  (void)file;
  (void)use;
#endif
}

void HileScratchEnter(void) {
  const char* base = getenv("LZX_BENCH_TMP");
  snprintf(ScratchDir, sizeof ScratchDir, "%s/lzx-bench.%d", base && *base ? base : "/tmp", (int)getpid());
  if (!getcwd(HomeDir, sizeof HomeDir)) HomeDir[0] = 0;
  if (mkdir(ScratchDir, 0700) != 0 || chdir(ScratchDir) != 0) {
    fprintf(stderr, "lzx_bench: cannot use %s\n", ScratchDir);
    exit(1);
  }
}

void HileScratchLeave(void) {
  if (HomeDir[0] && chdir(HomeDir) == 0) rmdir(ScratchDir);
}
