// Throughput of every stage of the block codec on its own, of whole streams
// through the compressed file, and of zlib and memcpy on the same bytes in the
// same run. Every rate is in bytes of uncompressed data per second of this
// thread's CPU time.
//
//   lzx_bench [benchmark flags] [CORPUS_FOLDER | FILE...]
//
// The folder defaults to build/bench/corpus (bench/make-corpus.py makes it).
// After the runs a table lists each file and operation with its rate, its
// ratio to zlib (packing against deflate level 6, unpacking against inflate)
// and the compressed size, followed by the targets.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "bench/bench_hile.h"
#include "lzx/bitio.h"
#include "lzx/hufcoder.h"
#include "lzx/lzcoder.h"
#include "lzx/rle.h"
#include "lzx/sor.h"

namespace {

const int Block = RleBlockSize;

std::vector<BenchFile*> Files;
BenchFile* Current = nullptr;

// One file's prepared forms at a time: the benchmarks run file by file.
BenchFile& Use(BenchFile* file) {
  if (Current != file) {
    if (Current) ReleaseBenchFile(Current);
    Current = file;
  }
  PrepareBenchFile(file);
  return *file;
}

void Finish(benchmark::State& state, const BenchFile& f, double csize) {
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)f.data.size());
  state.counters["csize"] = csize;
}

// ---- the stages alone, block by block

void BenchRlePack(benchmark::State& state, BenchFile* file) {
  BenchFile& f = Use(file);
  for (auto _ : state) {
    double t = 0, pair = CpuPairCost();
    for (int k = 0; k < f.blocks; k++) {
      double a = CpuNow();
      int n = RlePack(f.padded.data() + (size_t)k * Block);
      double b = CpuNow();
      benchmark::DoNotOptimize(n);
      t += b - a - pair;
    }
    state.SetIterationTime(t);
  }
  Finish(state, f, (double)RleTotal(f));
}

void BenchRleUnpack(benchmark::State& state, BenchFile* file) {
  BenchFile& f = Use(file);
  static unsigned char out[RleBlockSize];
  for (auto _ : state) {
    double t = 0, pair = CpuPairCost();
    for (int k = 0; k < f.blocks; k++) {
      memcpy(RleBuf, f.rle.data() + (size_t)k * Block, f.rleLength[k]);
      double a = CpuNow();
      RleUnpack(f.rleLength[k], out);
      double b = CpuNow();
      benchmark::ClobberMemory();
      t += b - a - pair;
    }
    state.SetIterationTime(t);
  }
  Finish(state, f, (double)RleTotal(f));
}

void BenchPack(benchmark::State& state, BenchFile* file, int (*pack)(int), bool lzx) {
  BenchFile& f = Use(file);
  for (auto _ : state) {
    double t = 0, pair = CpuPairCost();
    for (int k = 0; k < f.blocks; k++) {
      memcpy(RleBuf, f.rle.data() + (size_t)k * Block, f.rleLength[k]);
      double a = CpuNow();
      int bits = pack(f.rleLength[k]);
      double b = CpuNow();
      benchmark::DoNotOptimize(bits);
      t += b - a - pair;
    }
    state.SetIterationTime(t);
  }
  Finish(state, f, (double)CodedTotal(lzx ? f.lzx : f.huf));
}

void BenchUnpack(benchmark::State& state, BenchFile* file, int (*unpack)(int), bool lzx) {
  BenchFile& f = Use(file);
  const std::vector<CodedBlock>& coded = lzx ? f.lzx : f.huf;
  const Bytes& bytes = lzx ? f.lzxBytes : f.hufBytes;
  for (auto _ : state) {
    double t = 0, pair = CpuPairCost();
    for (int k = 0; k < f.blocks; k++) {
      memcpy(BitBuf, bytes.data() + coded[k].offset, (coded[k].bits + 7) / 8);
      double a = CpuNow();
      int n = unpack(coded[k].bits);
      double b = CpuNow();
      benchmark::DoNotOptimize(n);
      t += b - a - pair;
    }
    state.SetIterationTime(t);
  }
  Finish(state, f, (double)CodedTotal(coded));
}

void BenchSorPack(benchmark::State& state, BenchFile* file) {
  BenchFile& f = Use(file);
  static unsigned char out[RleBlockSize], table[SorTableSize];
  for (auto _ : state) {
    double t = 0, pair = CpuPairCost();
    for (int k = 0; k < f.blocks; k++) {
      double a = CpuNow();
      int n = SorPack(f.padded.data() + (size_t)k * Block, out, table);
      double b = CpuNow();
      benchmark::DoNotOptimize(n);
      t += b - a - pair;
    }
    state.SetIterationTime(t);
  }
  Finish(state, f, 0);
}

void BenchSorUnpack(benchmark::State& state, BenchFile* file) {
  BenchFile& f = Use(file);
  static unsigned char out[RleBlockSize];
  for (auto _ : state) {
    double t = 0, pair = CpuPairCost();
    for (int k = 0; k < f.blocks; k++) {
      double a = CpuNow();
      SorUnpack(f.sorOut.data() + (size_t)k * Block, out, f.sorTable.data() + (size_t)k * SorTableSize, f.sorCount[k]);
      double b = CpuNow();
      benchmark::ClobberMemory();
      t += b - a - pair;
    }
    state.SetIterationTime(t);
  }
  Finish(state, f, 0);
}

// ---- the physical limit and zlib on the whole file

void BenchMemcpy(benchmark::State& state, BenchFile* file) {
  BenchFile& f = Use(file);
  Bytes out(f.data.size());
  for (auto _ : state) {
    double a = CpuNow();
    memcpy(out.data(), f.data.data(), f.data.size());
    benchmark::ClobberMemory();
    state.SetIterationTime(CpuNow() - a);
  }
  Finish(state, f, (double)f.data.size());
}

size_t Deflate(const Bytes& in, Bytes* out, int level) {
  z_stream z;
  memset(&z, 0, sizeof z);
  deflateInit(&z, level);
  out->resize(deflateBound(&z, in.size()));
  z.next_in = (Bytef*)in.data();
  z.avail_in = (uInt)in.size();
  z.next_out = out->data();
  z.avail_out = (uInt)out->size();
  int rc = deflate(&z, Z_FINISH);
  size_t n = z.total_out;
  deflateEnd(&z);
  if (rc != Z_STREAM_END) {
    fprintf(stderr, "lzx_bench: deflate failed\n");
    exit(1);
  }
  return n;
}

void BenchDeflate(benchmark::State& state, BenchFile* file, int level) {
  BenchFile& f = Use(file);
  Bytes out;
  size_t n = 0;
  for (auto _ : state) {
    double a = CpuNow();
    n = Deflate(f.data, &out, level);
    state.SetIterationTime(CpuNow() - a);
  }
  Finish(state, f, (double)n);
}

void BenchInflate(benchmark::State& state, BenchFile* file) {
  BenchFile& f = Use(file);
  Bytes packed, out(f.data.size());
  size_t n = Deflate(f.data, &packed, 6);
  for (auto _ : state) {
    double a = CpuNow();
    z_stream z;
    memset(&z, 0, sizeof z);
    inflateInit(&z);
    z.next_in = packed.data();
    z.avail_in = (uInt)n;
    z.next_out = out.data();
    z.avail_out = (uInt)out.size();
    int rc = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    state.SetIterationTime(CpuNow() - a);
    if (rc != Z_STREAM_END || out != f.data) {
      state.SkipWithError("inflate failed");
      break;
    }
  }
  Finish(state, f, (double)n);
}

// ---- the table after the runs

struct Result {
  std::string file, op;
  double rate;  // bytes per second
  double csize;
  double size;
};

class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      std::string name = run.run_name.function_name;
      size_t slash = name.find('/');
      if (slash == std::string::npos) continue;
      Result r;
      r.file = name.substr(0, slash);
      r.op = name.substr(slash + 1);
      auto rate = run.counters.find("bytes_per_second");
      auto csize = run.counters.find("csize");
      if (rate == run.counters.end()) continue;
      r.rate = rate->second;
      r.csize = csize == run.counters.end() ? 0 : (double)csize->second;
      r.size = 0;
      for (BenchFile* f : Files)
        if (f->name == r.file) r.size = (double)f->size;
      results_[r.file + "\n" + r.op] = r;
      order_.erase(std::remove(order_.begin(), order_.end(), r.file + "\n" + r.op), order_.end());
      order_.push_back(r.file + "\n" + r.op);
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    PrintTable();
    PrintTargets();
  }

 private:
  static bool IsUnpack(const std::string& op) {
    return op.find("Unpack") != std::string::npos || op.find("Hread") != std::string::npos || op == "zlib-inflate";
  }
  const Result* Find(const std::string& file, const std::string& op) const {
    auto it = results_.find(file + "\n" + op);
    return it == results_.end() ? nullptr : &it->second;
  }
  static bool IsWorst(const std::string& file) { return file.compare(0, 6, "worst-") == 0; }

  void PrintTable() const {
    printf("\n%-22s %-18s %10s %9s %12s %7s\n", "file", "operation", "MB/s", "vs zlib", "coded bytes", "ratio");
    std::string last;
    for (const std::string& key : order_) {
      const Result& r = results_.at(key);
      if (r.file != last) printf("\n");
      last = r.file;
      const Result* z = Find(r.file, IsUnpack(r.op) ? "zlib-inflate" : "zlib-deflate6");
      char vs[32] = "";
      if (z && z->rate > 0 && r.op != "memcpy") snprintf(vs, sizeof vs, "%.2fx", r.rate / z->rate);
      char cs[32] = "", ratio[32] = "";
      if (r.csize > 0 && r.op != "memcpy") {
        snprintf(cs, sizeof cs, "%.0f", r.csize);
        snprintf(ratio, sizeof ratio, "%.2f", r.size / r.csize);
      }
      printf("%-22s %-18s %10.1f %9s %12s %7s\n", r.file.c_str(), r.op.c_str(), r.rate / 1e6, vs, cs, ratio);
    }
  }

  // Seconds per byte of one operation over the corpus classes together.
  double CorpusCost(const std::string& op, double* bytes) const {
    double seconds = 0, total = 0;
    for (const auto& kv : results_) {
      const Result& r = kv.second;
      if (r.op != op || IsWorst(r.file) || r.rate <= 0) continue;
      seconds += r.size / r.rate;
      total += r.size;
    }
    *bytes = total;
    return total > 0 ? seconds / total : 0;
  }

  void Target(const char* what, double have, double want) const {
    if (have <= 0) {
      printf("  %-58s     n/a\n", what);
      return;
    }
    printf("  %-58s %6.2fx  (target %.1fx)  %s\n", what, have, want, have >= want ? "met" : "MISSED");
  }

  void PrintTargets() const {
    // The corpus size as zlib saw it: a run filtered to some operations still
    // has zlib's rows.
    double bytes, other;
    double inflate = CorpusCost("zlib-inflate", &bytes), deflate6 = CorpusCost("zlib-deflate6", &other);
    double readWb = CorpusCost("Hread/wb", &other);
    double writeWb = CorpusCost("Hwrite/wb", &other), writeWbh = CorpusCost("Hwrite/wbh", &other);
    printf("\ncorpus (every file but the worst cases, %.1f MB), rates relative to zlib:\n", bytes / 1e6);
    Target("unpacking \"wb\" (Hopen+Hread) / inflate", readWb > 0 ? inflate / readWb : 0, 1.5);
    Target("packing \"wb\" (Hwrite+Hclose) / deflate -6", writeWb > 0 ? deflate6 / writeWb : 0, 1.5);
    Target("packing \"wbh\" (Hwrite+Hclose) / deflate -6", writeWbh > 0 ? deflate6 / writeWbh : 0, 3.0);
    const Result* sor = Find("image.bmp", "Hwrite/wbs");
    const Result* z = Find("image.bmp", "zlib-deflate6");
    Target("packing \"wbs\" / deflate -6 on image.bmp", sor && z ? sor->rate / z->rate : 0, 1.0);

    printf("\nworst cases, cost per byte relative to the corpus average of the same operation (at most 5):\n");
    const char* ops[] = {"Hwrite/wb", "Hread/wb", "Hwrite/wbh", "Hread/wbh", "Hwrite/wbs", "Hread/wbs"};
    for (const char* op : ops) {
      double avg = CorpusCost(op, &bytes);
      if (strcmp(op, "Hwrite/wbs") == 0 || strcmp(op, "Hread/wbs") == 0) {
        const Result* img = Find("image.bmp", op);
        avg = img && img->rate > 0 ? 1 / img->rate : 0;  // only the image takes the Sor stage
      }
      for (const auto& kv : results_) {
        const Result& r = kv.second;
        if (r.op != op || !IsWorst(r.file) || r.rate <= 0 || avg <= 0) continue;
        double rel = (1 / r.rate) / avg;
        bool sorMode = strstr(op, "wbs") != nullptr;
        printf("  %-12s %-22s %6.2fx %s\n", op, r.file.c_str(), rel,
               sorMode    ? "(reported)"
               : rel <= 5 ? "met"
                          : "MISSED");
      }
    }
  }

  std::map<std::string, Result> results_;
  std::vector<std::string> order_;
};

void Register(BenchFile* f) {
  const char* n = f->name.c_str();
  auto reg = [](std::string name, auto fn) { benchmark::RegisterBenchmark(name.c_str(), fn)->UseManualTime(); };
  reg(std::string(n) + "/memcpy", [f](benchmark::State& s) { BenchMemcpy(s, f); });
  reg(std::string(n) + "/zlib-deflate1", [f](benchmark::State& s) { BenchDeflate(s, f, 1); });
  reg(std::string(n) + "/zlib-deflate6", [f](benchmark::State& s) { BenchDeflate(s, f, 6); });
  reg(std::string(n) + "/zlib-inflate", [f](benchmark::State& s) { BenchInflate(s, f); });
  reg(std::string(n) + "/RlePack", [f](benchmark::State& s) { BenchRlePack(s, f); });
  reg(std::string(n) + "/RleUnpack", [f](benchmark::State& s) { BenchRleUnpack(s, f); });
  reg(std::string(n) + "/LzxPack", [f](benchmark::State& s) { BenchPack(s, f, LzxPack, true); });
  reg(std::string(n) + "/LzxUnpack", [f](benchmark::State& s) { BenchUnpack(s, f, LzxUnpack, true); });
  reg(std::string(n) + "/HufPack", [f](benchmark::State& s) { BenchPack(s, f, HufPack, false); });
  reg(std::string(n) + "/HufUnpack", [f](benchmark::State& s) { BenchUnpack(s, f, HufUnpack, false); });
  if (f->sorable) {
    reg(std::string(n) + "/SorPack", [f](benchmark::State& s) { BenchSorPack(s, f); });
    reg(std::string(n) + "/SorUnpack", [f](benchmark::State& s) { BenchSorUnpack(s, f); });
  }
  RegisterHileBenchmarks(f, [](BenchFile* file) -> BenchFile& { return Use(file); });
}

void AddPath(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    fprintf(stderr, "lzx_bench: %s not found (make the corpus with bench/make-corpus.py)\n", path.c_str());
    exit(1);
  }
  if (S_ISDIR(st.st_mode)) {
    std::vector<std::string> names;
    DIR* d = opendir(path.c_str());
    while (struct dirent* e = d ? readdir(d) : nullptr) {
      std::string name = e->d_name;
      // corpus.bin is the classes end to end; the table sums them instead.
      if (name[0] == '.' || name == "MANIFEST" || name == "corpus.bin") continue;
      names.push_back(name);
    }
    if (d) closedir(d);
    // The corpus classes first, then the worst cases.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      bool wa = a.compare(0, 6, "worst-") == 0, wb = b.compare(0, 6, "worst-") == 0;
      return wa != wb ? wb : a < b;
    });
    for (const std::string& name : names) AddPath(path + "/" + name);
    return;
  }
  BenchFile* f = new BenchFile;
  if (!LoadBenchFile(path, f) || f->data.empty()) {
    delete f;
    return;
  }
  ReleaseBenchFile(f);  // loaded again when its turn comes
  Files.push_back(f);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::vector<std::string> paths;
  for (int i = 1; i < argc; i++) paths.push_back(argv[i]);
  if (paths.empty()) paths.push_back("build/bench/corpus");
  for (const std::string& p : paths) {
    char full[4096];
    AddPath(realpath(p.c_str(), full) ? full : p);
  }
  // The compressed file names its temporary index file in the current folder.
  HileScratchEnter();
  for (BenchFile* f : Files) Register(f);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  HileScratchLeave();
  return 0;
}
