#include "tools/parfile.h"

#include <stdlib.h>
#include <string.h>

#include "base/fatal.h"
#include "lzx/fileadapt.h"
#include "lzx/le32.h"
#include "tools/pool.h"
#include "tools/progress.h"

namespace {

// One block on its way: the uncompressed bytes and the coded ones.
struct Slot {
  unsigned char raw[HileBlockSize];
  unsigned char coded[HileCodedMax];
  int codedLen;
  int32_t start;  // reading: the block's file offset
};

struct Job {
  Slot* slots;
  int count;
  int flags;
};

// Slots enough that the workers never wait for the calling thread's reads
// and writes, which are short beside a block's coding.
int SlotCount(int threads) {
  int n = 4 * threads;
  return n > PoolMaxSlots ? PoolMaxSlots : n;
}

// The slots stay, as the workers do, for the life of the process: a fatal
// error needs nothing given back, and a later file reuses them.
Slot* Slots;
int SlotsHeld;

Slot* SlotsAlloc(int count) {
  if (count > SlotsHeld) {
    free(Slots);
    Slots = (Slot*)malloc((size_t)count * sizeof(Slot));
    if (Slots == nullptr) FatalMessage("lzx: out of memory for %d blocks", count);
    SlotsHeld = count;
  }
  return Slots;
}

void CodeSlot(int slot, void* context) {
  Job* job = (Job*)context;
  Slot* s = &job->slots[slot];
  s->codedLen = BlockCode(s->raw, job->flags, s->coded);
}

void DecodeSlot(int slot, void* context) {
  Job* job = (Job*)context;
  Slot* s = &job->slots[slot];
  // Any shortfall or excess sends the block back to the calling thread.
  if (BlockDecode(s->coded, s->codedLen, s->raw, job->flags) != s->codedLen) FatalMessage("DecodeSlot: block length");
}

// Up to a block of source's bytes; fewer only at its end.
int ReadBlock(FileRec* source, unsigned char* into) {
  int got = 0;
  for (int n; got < HileBlockSize && (n = FileRead(source, HileBlockSize - got, into + got)) > 0;) got += n;
  return got;
}

// The block index of a reader, HileIndexHeld entries at a time through a
// file of its own.
struct IndexReader {
  FileRec file;
  int32_t indexOffset;
  int32_t blocks;
  int32_t first;
  int32_t count;
  int32_t entry[HileIndexHeld + 1];
};

// Where block k starts and where it must end (the next block, or the index).
void IndexPair(IndexReader* x, int32_t k, int32_t* start, int32_t* end) {
  if (k < x->first || k + 1 >= x->first + x->count) {
    int n = x->blocks - k < HileIndexHeld + 1 ? x->blocks - k : HileIndexHeld + 1;
    unsigned char bytes[4 * (HileIndexHeld + 1)];
    DoFseek(&x->file, x->indexOffset + 4 * k);
    DoFread(bytes, 4 * n, &x->file);
    for (int i = 0; i < n; i++) x->entry[i] = GetLe32(bytes + 4 * i);
    x->first = k;
    x->count = n;
  }
  *start = x->entry[k - x->first];
  *end = k + 1 < x->blocks ? x->entry[k + 1 - x->first] : x->indexOffset;
}

// Block k could not be decoded apart from the others: the reader is put where
// a reader on one thread stands after the blocks before it (every one of
// them ended where the next began) and reads on, so that the fatal path
// reports what that reader would.
[[noreturn]] void ReadAlone(HILE* h, int32_t k, int32_t at) {
  h->blockStart = (k - 1) * HileBlockSize;
  h->pos = HileBlockSize;
  h->held = 0;
  h->filePos = at;
  h->indexCount = 0;
  h->aheadLen = 0;
  unsigned char one;
  Hread(&one, 1, h);
  InternalError("LZX", __LINE__, k);
}

}  // namespace

long long ParallelCompress(FileRec* source, HILE* h, int threads) {
  HileCheck(h, "Hwrite");
  int count = SlotCount(threads);
  Job job = {SlotsAlloc(count), count, h->header.flags};
  PoolBegin(threads, CodeSlot, &job);
  long long total = 0;
  int last = 0;  // bytes of the last, partial block
  int atEnd = 0;
  long long submitted = 0, written = 0;
  for (;;) {
    while (!atEnd && submitted - written < count) {
      Slot* s = &job.slots[submitted % count];
      int n = ReadBlock(source, s->raw);
      if (n < HileBlockSize) {
        atEnd = 1;
        last = n;
        break;
      }
      if (total + n > HileMaxLength) FatalMessage("Hwrite: file too long");
      total += n;
      PoolSubmit((int)(submitted++ % count));
    }
    if (written == submitted) break;
    int slot = (int)(written % count);
    Slot* s = &job.slots[slot];
    // A block whose coding failed on a worker is coded here, where the fatal
    // path takes its error.
    if (PoolWait(slot)) {
      for (long long k = written + 1; k < submitted; k++) PoolWait((int)(k % count));
      s->codedLen = BlockCode(s->raw, job.flags, s->coded);
    }
    HwriteCoded(s->coded, s->codedLen, h);
    written++;
    ProgressSet(written * HileBlockSize);
  }
  // The last block is padded and coded by Hclose, as on one thread.
  if (last > 0) Hwrite(job.slots[submitted % count].raw, last, h);
  total += last;
  return total;
}

long long ParallelDecompress(HILE* h, FileRec* target, int threads) {
  HileCheck(h, "Hread");
  int count = SlotCount(threads);
  Job job = {SlotsAlloc(count), count, h->header.flags};
  IndexReader index;
  memset(&index, 0, sizeof index);
  index.indexOffset = h->header.indexOffset;
  index.blocks = HileBlockCount(h->header.length);
  DoFopen(h->name, "rb", &index.file);
  PoolBegin(threads, DecodeSlot, &job);
  DoFseek(&h->file, HileHeaderSize);
  int32_t at = HileHeaderSize;  // where the next block must start
  int32_t unreadable = -1;      // a block whose bytes cannot be where the index says
  long long total = 0;
  int32_t submitted = 0, written = 0;
  for (;;) {
    while (unreadable < 0 && submitted < index.blocks && submitted - written < count) {
      int32_t start, end;
      IndexPair(&index, submitted, &start, &end);
      if (start != at || end <= start || end - start > HileCodedMax || end > index.indexOffset) {
        unreadable = submitted;
        break;
      }
      Slot* s = &job.slots[submitted % count];
      DoFread(s->coded, end - start, &h->file);
      s->codedLen = end - start;
      s->start = start;
      at = end;
      PoolSubmit(submitted++ % count);
    }
    if (written == submitted) {
      if (unreadable >= 0) ReadAlone(h, unreadable, at);
      break;
    }
    int slot = written % count;
    Slot* s = &job.slots[slot];
    if (PoolWait(slot)) {
      // The workers finish the blocks they hold before the fatal path runs.
      for (int32_t k = written + 1; k < submitted; k++) PoolWait(k % count);
      ReadAlone(h, written, s->start);
    }
    int64_t rest = (int64_t)h->header.length - (int64_t)written * HileBlockSize;
    int n = rest < HileBlockSize ? (int)rest : HileBlockSize;
    FileWrite(target, n, s->raw);
    total += n;
    written++;
    ProgressSet(total);
  }
  DoFclose(&index.file);
  return total;
}
