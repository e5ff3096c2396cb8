// Compressed files coded on several threads: blocks are coded or decoded by
// the workers of the pool and written in order, so that the file, the
// expanded bytes and the fatal text of a damaged file are the same as those
// of Hwrite and Hread on one thread. Memory is a few blocks per thread,
// whatever the length of the stream.
#pragma once

#include "fileio/file.h"
#include "lzx/hile.h"

// Writes everything that source (record size 1) holds from its position on
// into h, just opened for writing; returns the number of bytes. h is then
// closed as usual (Hclose).
long long ParallelCompress(FileRec* source, HILE* h, int threads);

// Writes the whole stream of h, just opened for reading, into target (record
// size 1); returns the number of bytes.
long long ParallelDecompress(HILE* h, FileRec* target, int threads);
