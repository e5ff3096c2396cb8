// Whole streams through the compressed file, in the three write modes.
#pragma once

#include "bench/bench_data.h"

typedef BenchFile& (*BenchUse)(BenchFile* file);

// Registers Hwrite+Hclose and Hopen+Hread for "wb", "wbh" and, when the file
// takes the Sor stage, "wbs". Nothing when the library has no compressed file.
void RegisterHileBenchmarks(BenchFile* file, BenchUse use);

// A scratch folder made the current one, for the streams and the compressed
// file's temporary index files; removed again on leaving.
void HileScratchEnter(void);
void HileScratchLeave(void);
