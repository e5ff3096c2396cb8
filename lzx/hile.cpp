#include "lzx/hile.h"

#include <stdlib.h>
#include <string.h>

#include "base/fatal.h"
#include "fileio/path.h"
#include "lzx/bitio.h"
#include "lzx/fileadapt.h"
#include "lzx/hufcoder.h"
#include "lzx/le32.h"
#include "lzx/lzcoder.h"
#include "lzx/rle.h"
#include "lzx/sor.h"

namespace {

const int32_t Magic = 0x31585A4C;  // "LZX1"

// The code-length section reads at most 27 * 6 + 400 * 20 bits of a block, and
// the bit reader eight bytes beyond the last of them.
enum { DecodeSlack = (27 * 6 + 400 * 20 + 7) / 8 + 8 };
static_assert(HileCodedMax == 1 + SorTableSize - 1 + 4 + BitBlockMaxBits / 8, "a Sor table, the count, the bits");

LZX_PER_THREAD unsigned char SorTable[SorTableSize];  // row table of the block being coded

// Every record from Hopen to Hclose. Each open HILE holds at least one file,
// so the open-file table's limit bounds them too.
enum { HileSlots = OpenFileSlots };
HILE* OpenHiles[HileSlots];

// A scratch name beside path, or in the system's temporary directory when
// path is null; a failure is the file error of creating the output.
void ScratchName(HILE* h, const char* path, char* out) {
  char dir[FileNameSize];
  int ok = path ? PathScratchBeside(path, out, FileNameSize)
                : OsTempDir(dir, sizeof dir) && OsTempName(dir, out, FileNameSize);
  if (!ok) {
    FileRec rec;
    FileInit(&rec, 1, h->name);
    FileError(&rec, FileErrCreate);
  }
}

HILE* Allocate(void) {
  for (int i = 0; i < HileSlots; i++) {
    if (OpenHiles[i] == nullptr) {
      OpenHiles[i] = (HILE*)calloc(1, sizeof(HILE));
      return OpenHiles[i];
    }
  }
  return nullptr;
}

void EncodeHeader(const HileHeader* header, unsigned char* bytes) {
  PutLe32(bytes, header->magic);
  PutLe32(bytes + 4, header->indexOffset);
  PutLe32(bytes + 8, header->length);
  PutLe32(bytes + 12, header->flags);
}

void ParDetach(HILE* h);

// Writing: the coded bytes and index entries go out through buffers, a full
// buffer per system call; filePos counts the bytes still held.
void WriteHeldBytes(HILE* h) {
  if (h->aheadLen > 0) DoFwrite(h->ahead, h->aheadLen, &h->file);
  h->aheadLen = 0;
}

void Emit(HILE* h, const unsigned char* bytes, int count) {
  h->filePos += count;
  while (count > 0) {
    if (h->aheadLen == HileAheadSize) WriteHeldBytes(h);
    int n = HileAheadSize - h->aheadLen < count ? HileAheadSize - h->aheadLen : count;
    memcpy(h->ahead + h->aheadLen, bytes, (size_t)n);
    h->aheadLen += n;
    bytes += n;
    count -= n;
  }
}

// The index entries held go to the index file, which indexFirst entries
// reached before them.
void WriteHeldEntries(HILE* h) {
  unsigned char bytes[4 * HileIndexHeld];
  for (int i = 0; i < h->indexCount; i++) PutLe32(bytes + 4 * i, h->index[i]);
  if (h->indexCount > 0) DoFwrite(bytes, 4 * h->indexCount, &h->indexFile);
  h->indexFirst += h->indexCount;
  h->indexCount = 0;
}

// The index entry of the block that starts where the file stands.
void EmitEntry(HILE* h) {
  if (h->indexCount == HileIndexHeld) WriteHeldEntries(h);
  h->index[h->indexCount++] = h->filePos;
}

void Release(HILE* h) {
  ParDetach(h);
  for (int i = 0; i < HileSlots; i++) {
    if (OpenHiles[i] == h) OpenHiles[i] = nullptr;
  }
  memset(h, 0, sizeof *h);
  free(h);
}

// The two index entries around block k: its own offset and where it must end
// (the next block's offset, or the index itself after the last block). The
// entries are read HileIndexHeld at a time.
void ReadIndexPair(HILE* h, int32_t k, int32_t* start, int32_t* end) {
  int32_t blocks = HileBlockCount(h->header.length);
  int32_t held = k - h->indexFirst;
  if (held < 0 || held >= h->indexCount || (k + 1 < blocks && held + 1 >= h->indexCount)) {
    unsigned char bytes[4 * HileIndexHeld];
    int n = blocks - k < HileIndexHeld ? blocks - k : HileIndexHeld;
    DoFseek(&h->file, h->header.indexOffset + 4 * k);
    DoFread(bytes, 4 * n, &h->file);
    for (int i = 0; i < n; i++) h->index[i] = GetLe32(bytes + 4 * i);
    h->indexFirst = k;
    h->indexCount = n;
    held = 0;
  }
  *start = h->index[held];
  *end = k + 1 < blocks ? h->index[held + 1] : h->header.indexOffset;
}

// Where a block's bytes come from: the file as it stands, or a reader's
// file bytes from at on through its read-ahead.
struct BlockSource {
  FileRec* file;
  HILE* h;  // null: the file, or the bytes below
  int32_t at;
  const unsigned char* bytes;  // a block's bytes in memory, size of them
  int32_t size;
};

// Reads count bytes on, as DoFread would, also failing as it does.
void SourceRead(BlockSource* s, void* dest, int count) {
  HILE* h = s->h;
  if (s->bytes != nullptr) {
    if (count > s->size - s->at) FatalMessage("BlockDecode: block runs past its end");
    memcpy(dest, s->bytes + s->at, (size_t)count);
    s->at += count;
    return;
  }
  if (h == nullptr) {
    DoFread(dest, count, s->file);
    return;
  }
  int64_t skip = (int64_t)s->at - h->aheadStart;
  if (skip < 0 || skip + count > h->aheadLen) {
    // The read-ahead starts again at the bytes wanted; a file shorter than
    // they need is left to DoFread, for its fatal text.
    DoFseek(&h->file, s->at);
    h->aheadStart = s->at;
    h->aheadLen = FileRead(&h->file, HileAheadSize, h->ahead);
    skip = 0;
    if (count > h->aheadLen) {
      h->aheadLen = 0;
      DoFseek(&h->file, s->at);
      DoFread(dest, count, &h->file);
      s->at += count;
      return;
    }
  }
  memcpy(dest, h->ahead + skip, (size_t)count);
  s->at += count;
}

int BlockUnpackFrom(BlockSource* source, unsigned char* block, int flags) {
  int rows = 0;
  if (flags & HileFlagSor) {
    unsigned char n;
    SourceRead(source, &n, 1);
    rows = n;
    if (rows > 0) SourceRead(source, SorTable, rows);
  }
  unsigned char count[4];
  SourceRead(source, count, 4);
  int32_t bits = GetLe32(count);
  if (bits < 0 || bits > BitBlockMaxBits) FatalMessage("BlockUnpack: bad bit count [%d]", bits);
  int bytes = (bits + 7) / 8;
  SourceRead(source, BitBuf, bytes);
  // A damaged block makes the decoders read on past its bytes (the code
  // lengths up to DecodeSlack bytes) before a check stops them: they read
  // zeros, so that what they report depends on this block alone, not on
  // what this thread decoded before.
  int slack = (int)sizeof BitBuf - bytes < DecodeSlack ? (int)sizeof BitBuf - bytes : DecodeSlack;
  memset(BitBuf + bytes, 0, (size_t)slack);
  int m = (flags & HileFlagHuffman) ? HufUnpack(bits) : LzxUnpack(bits);
  if (flags & HileFlagSor) {
    RleUnpack(m, BitBuf);
    SorUnpack(BitBuf, block, SorTable, rows);
  } else {
    RleUnpack(m, block);
  }
  return ((flags & HileFlagSor) ? 1 + rows : 0) + 4 + bytes;
}

// The workers' side of a file (HileSetWorkers). One file holds them at a
// time; blocks are numbered as in the stream and block b is in slot
// b % count. Only the calling thread touches this state; a worker touches
// the slot it was given, and flags and writing, which stay while slots are
// out.
struct ParSlot {
  unsigned char raw[HileBlockSize];
  unsigned char coded[HileCodedMax];
  int codedLen;
  int32_t end;  // reading: where the block ends in the file
  // Reading: where the block is decoded, raw or the reader's bytes (ParAim).
  unsigned char* into;
};

struct ParState {
  const HileWorkers* workers;
  HILE* h;  // the file that holds them, or null
  int writing;
  int flags;
  ParSlot* slots;  // allocated once, for the life of the process
  int held;
  int count;
  int begun;      // the workers were given this file's work
  int32_t first;  // the oldest block out with the workers
  int32_t next;   // the next block to hand out
  // Reading: where block next must start, where block first starts, and
  // whether a block was found that cannot be read apart from the others.
  int32_t at;
  int32_t takeAt;
  int stopped;
  // Reading: index entries entryFirst.. of the file.
  int32_t entryFirst;
  int32_t entryCount;
  int32_t entry[HileIndexHeld + 1];
  // Reading: the reader's bytes that blocks aimFirst..aimEnd-1 are decoded
  // straight into, while Hread takes them, or null.
  unsigned char* aim;
  int32_t aimFirst;
  int32_t aimEnd;
};
ParState Par;

void ParWork(int slot, void* context) {
  ParState* p = (ParState*)context;
  ParSlot* s = &p->slots[slot];
  if (p->writing) {
    s->codedLen = BlockCode(s->raw, p->flags, s->coded);
  } else if (BlockDecode(s->coded, s->codedLen, s->into, p->flags) != s->codedLen) {
    // A block that ends before its bytes do goes back to the calling thread.
    FatalMessage("BlockDecode: block shorter than its bytes");
  }
}

void ParAttach(HILE* h) {
  ParState* p = &Par;
  if (p->workers == nullptr || p->workers->threads < 2 || p->h != nullptr) return;
  int count = 4 * p->workers->threads;
  if (count > p->workers->maxSlots) count = p->workers->maxSlots;
  if (count > p->held) {
    free(p->slots);
    p->slots = (ParSlot*)malloc((size_t)count * sizeof(ParSlot));
    p->held = p->slots ? count : 0;
    if (p->slots == nullptr) return;  // one thread, then
  }
  p->h = h;
  p->writing = h->writing;
  p->flags = h->header.flags;
  p->count = count;
  p->first = p->next = 0;
  p->at = p->takeAt = HileHeaderSize;
  p->stopped = 0;
  p->entryFirst = p->entryCount = 0;
  p->begun = 0;
  p->aim = nullptr;
}

// The workers take this file's work from its first block out; a file of a
// single block never starts them: a thread costs a quarter of the time that
// such a file takes.
void ParBegin(ParState* p) {
  if (p->begun) return;
  p->workers->begin(p->workers->threads, ParWork, p);
  p->begun = 1;
}

// Takes back every block still out, dropping what the workers made of it.
void ParDrain(void) {
  ParState* p = &Par;
  for (; p->first < p->next; p->first++) p->workers->wait(p->first % p->count);
}

void ParDetach(HILE* h) {
  if (Par.h != h) return;
  ParDrain();
  Par.h = nullptr;
  Par.aim = nullptr;
}

// The fatal path's first step while blocks are decoded into the reader's
// bytes: the reader may give them up before the file is released.
void ParStop(void) {
  if (Par.h != nullptr) ParDrain();
}

// Reading: blocks k..k+m-1, which Hread takes whole, decoded straight into
// into when they are handed out from now on; the ones out already are
// copied from their slots.
void ParAim(unsigned char* into, int32_t k, int32_t m) {
  Par.aim = into;
  Par.aimFirst = k;
  Par.aimEnd = k + m;
  FatalSetStopHook(ParStop);
}

// Reading: the end of ParAim, when Hread returns. Every block aimed at its
// bytes was taken, unless a seek or a failure dropped it; none stays out.
void ParAimEnd(void) {
  if (Par.aim == nullptr) return;
  if (Par.first < Par.aimEnd) ParDrain();
  Par.aim = nullptr;
  FatalSetStopHook(nullptr);
}

// Writing: the oldest block out, coded, appended with its index entry as
// Hflus appends one. A block whose coding failed on a worker is coded here,
// where the fatal path takes the error.
void ParRetire(HILE* h) {
  ParState* p = &Par;
  ParSlot* s = &p->slots[p->first % p->count];
  if (p->workers->wait(p->first % p->count)) s->codedLen = BlockCode(s->raw, p->flags, s->coded);
  p->first++;
  EmitEntry(h);
  Emit(h, s->coded, s->codedLen);
}

// Writing: the full block of h to the workers.
void ParPut(HILE* h) {
  ParState* p = &Par;
  if (p->next - p->first == p->count) ParRetire(h);
  memcpy(p->slots[p->next % p->count].raw, h->block, HileBlockSize);
  ParBegin(p);
  p->workers->submit(p->next++ % p->count);
}

// Reading: where block k starts and where it must end (the next block, or
// the index), HileIndexHeld + 1 entries read at a time.
void ParIndexPair(HILE* h, int32_t k, int32_t* start, int32_t* end) {
  ParState* p = &Par;
  int32_t blocks = HileBlockCount(h->header.length);
  if (k < p->entryFirst || k + 1 >= p->entryFirst + p->entryCount) {
    int n = blocks - k < HileIndexHeld + 1 ? blocks - k : HileIndexHeld + 1;
    unsigned char bytes[4 * (HileIndexHeld + 1)];
    DoFseek(&h->file, h->header.indexOffset + 4 * k);
    DoFread(bytes, 4 * n, &h->file);
    for (int i = 0; i < n; i++) p->entry[i] = GetLe32(bytes + 4 * i);
    p->entryFirst = k;
    p->entryCount = n;
  }
  *start = p->entry[k - p->entryFirst];
  *end = k + 1 < blocks ? p->entry[k + 1 - p->entryFirst] : h->header.indexOffset;
}

// Reading: the blocks after the oldest one out handed to the workers, as
// long as slots are free and each block starts where the one before ends.
void ParTopUp(HILE* h) {
  ParState* p = &Par;
  int32_t blocks = HileBlockCount(h->header.length);
  if (!p->begun && blocks - p->next < 2) return;  // one block: read here
  while (!p->stopped && p->next < blocks && p->next - p->first < p->count) {
    int32_t start, end;
    ParIndexPair(h, p->next, &start, &end);
    if (start != p->at || end <= start || end - start > HileCodedMax || end > h->header.indexOffset) {
      p->stopped = 1;
      break;
    }
    ParSlot* s = &p->slots[p->next % p->count];
    s->into = s->raw;
    if (p->aim != nullptr && p->next >= p->aimFirst && p->next < p->aimEnd)
      s->into = p->aim + (size_t)(p->next - p->aimFirst) * HileBlockSize;
    BlockSource source = {&h->file, h, start, nullptr, 0};
    SourceRead(&source, s->coded, end - start);
    s->codedLen = end - start;
    s->end = end;
    p->at = end;
    ParBegin(p);
    p->workers->submit(p->next++ % p->count);
  }
}

// Reading: block k, which starts at h->filePos, decoded into into; 0 when
// the caller must decode it itself (it cannot be read apart from the others,
// or its decoding failed), which then reports what one thread reports.
int ParTake(HILE* h, int32_t k, unsigned char* into) {
  ParState* p = &Par;
  if (k != p->first || h->filePos != p->takeAt) {
    // A seek: the blocks read ahead are dropped, and reading ahead starts
    // again at k.
    ParDrain();
    p->first = p->next = k;
    p->at = p->takeAt = h->filePos;
    p->stopped = 0;
  }
  ParTopUp(h);
  if (p->first == p->next) return 0;
  ParSlot* s = &p->slots[k % p->count];
  int failed = p->workers->wait(k % p->count);
  p->first++;
  p->takeAt = s->end;
  if (failed) {
    // The caller's decoding takes the fatal path: nothing may still be
    // decoded into its bytes then.
    ParDrain();
    return 0;
  }
  if (s->into != into) memcpy(into, s->into, HileBlockSize);
  h->filePos = s->end;
  return 1;
}

}  // namespace

void HileSetWorkers(const HileWorkers* workers) {
  if (Par.h != nullptr) InternalError("LZX", __LINE__, 1);
  Par.workers = workers;
}

void HileCheck(HILE* h, const char* operation) {
  if (h == nullptr || h->header.magic != Magic) FatalMessage("%s: not a valid HILE *", operation);
}

int HileCount(void) {
  int n = 0;
  for (int i = 0; i < HileSlots; i++) n += OpenHiles[i] != nullptr;
  return n;
}

void HileReleaseAll(void) {
  for (int i = 0; i < HileSlots; i++) {
    if (OpenHiles[i] != nullptr) Release(OpenHiles[i]);
  }
}

HILE* Hopen(const char* name, const char* mode) {
  HILE* h = Allocate();
  if (h == nullptr) FatalMessage("Hopen: out of mem");

  int flags = 0;
  if (mode == nullptr || (mode[0] != 'r' && mode[0] != 'w') || mode[1] != 'b') {
    Release(h);
    FatalMessage("Hopen: bad mode");
  }
  h->writing = mode[0] == 'w';
  if (mode[2] == 'h') {
    flags = HileFlagHuffman;
  } else if (mode[2] == 's') {
    flags = HileFlagSor;
  } else if (mode[2] != 0) {
    Release(h);
    FatalMessage("Hopen: bad mode");
  }

  if (strlen(name) >= HileNameSize) {
    Release(h);
    FatalMessage("Hopen: filename too long");
  }
  strcpy(h->name, name);

  if (h->writing) {
    h->toDevice = FileWrittenInPlace(name);
    char part[FileNameSize];
    ScratchName(h, h->toDevice ? nullptr : name, part);
    FileScratchAdd(part, name);
    DoFopen(part, "wb", &h->file);
    ScratchName(h, part, h->tempName);
    FileScratchAdd(h->tempName, name);
    DoFopen(h->tempName, "w+b", &h->indexFile);
    h->header.magic = Magic;
    h->header.flags = flags;
    unsigned char bytes[HileHeaderSize];
    EncodeHeader(&h->header, bytes);  // placeholder until Hclose
    DoFwrite(bytes, HileHeaderSize, &h->file);
    h->blockStart = 0;
    h->pos = 0;
    h->filePos = HileHeaderSize;
    ParAttach(h);
    return h;
  }

  DoFopen(name, "rb", &h->file);
  unsigned char bytes[HileHeaderSize];
  DoFread(bytes, HileHeaderSize, &h->file);
  if (GetLe32(bytes) != Magic) FatalMessage("Hopen: not an LZX file");
  int32_t indexOffset = GetLe32(bytes + 4);
  int32_t length = GetLe32(bytes + 8);
  int32_t fileFlags = GetLe32(bytes + 12);
  // Refuse a header that does not describe this file before any block is
  // touched: the index must run exactly to the end of the file.
  if (length < 0 || length > HileMaxLength) FatalMessage("Hopen: bad length [%s, %d]", name, length);
  if (fileFlags & ~(HileFlagHuffman | HileFlagSor)) FatalMessage("Hopen: bad flags [%s, %d]", name, fileFlags);
  int64_t size = FileSize(&h->file);
  if (indexOffset < HileHeaderSize || (int64_t)indexOffset + 4 * (int64_t)HileBlockCount(length) != size)
    FatalMessage("Hopen: bad index offset [%s, %d]", name, indexOffset);
  h->header.magic = Magic;
  h->header.indexOffset = indexOffset;
  h->header.length = length;
  h->header.flags = fileFlags;
  h->blockStart = -HileBlockSize;
  h->pos = HileBlockSize;
  h->filePos = HileHeaderSize;
  ParAttach(h);
  return h;
}

void Hwrite(const void* src, int count, HILE* h) {
  HileCheck(h, "Hwrite");
  if (!h->writing) FatalMessage("Hwrite: not allowed on read-file");
  if (count <= 0) return;
  if ((int64_t)h->blockStart + h->pos + count > HileMaxLength) FatalMessage("Hwrite: file too long");
  const unsigned char* s = (const unsigned char*)src;
  while (count > 0) {
    if (h->pos >= HileBlockSize) Hflus(h);
    int n = HileBlockSize - h->pos;
    if (n > count) n = count;
    memcpy(h->block + h->pos, s, n);
    h->pos += n;
    s += n;
    count -= n;
  }
}

int Hputc(int value, HILE* h) {
  HileCheck(h, "Hputc");
  if (!h->writing) FatalMessage("Hputc: not allowed on read-file");
  if ((int64_t)h->blockStart + h->pos + 1 > HileMaxLength) FatalMessage("Hputc: file too long");
  if (h->pos >= HileBlockSize) Hflus(h);
  h->block[h->pos++] = (unsigned char)value;
  return value;
}

void Hflus(HILE* h) {
  if (h->pos < HileBlockSize) FatalMessage("Hflus: early");
  if (Par.h == h) {
    ParPut(h);
  } else {
    // Coded straight into the buffer, which keeps room for the longest block.
    EmitEntry(h);
    if (HileAheadSize - h->aheadLen < HileCodedMax) WriteHeldBytes(h);
    int n = BlockCode(h->block, h->header.flags, h->ahead + h->aheadLen);
    h->aheadLen += n;
    h->filePos += n;
  }
  h->blockStart += HileBlockSize;
  h->pos = 0;
}

int BlockCode(const unsigned char* block, int flags, unsigned char* coded) {
  const unsigned char* source = block;
  int rows = 0;
  if (flags & HileFlagSor) {
    rows = SorPack(block, BitBuf, SorTable);
    source = BitBuf;
  }
  int len = RlePack(source);
  int32_t bits = (flags & HileFlagHuffman) ? HufPack(len) : LzxPack(len);
  int at = 0;
  if (flags & HileFlagSor) {
    coded[at++] = (unsigned char)rows;
    memcpy(coded + at, SorTable, (size_t)rows);
    at += rows;
  }
  PutLe32(coded + at, bits);
  at += 4;
  memcpy(coded + at, BitBuf, (size_t)(bits + 7) / 8);
  return at + (bits + 7) / 8;
}

void BlockPack(const unsigned char* block, FileRec* file, int flags) {
  unsigned char coded[HileCodedMax];
  DoFwrite(coded, BlockCode(block, flags, coded), file);
}

namespace {

// Hfill's work with the block decoded into the given bytes.
void FillInto(HILE* h, unsigned char* into) {
  if (h->pos < HileBlockSize) FatalMessage("Hfill: early");
  if (h->writing) FatalMessage("Hfill: not allowed on write-file");
  int64_t next = (int64_t)h->blockStart + HileBlockSize;
  if (next < h->header.length) {
    // A block with data must be there, start where the index says and end
    // where the next one starts: a damaged file is refused before its bytes
    // reach the caller.
    int32_t k = (int32_t)(next / HileBlockSize);
    if (Par.h != h || !ParTake(h, k, into)) {
      int32_t at = h->filePos;
      int32_t start, end;
      ReadIndexPair(h, k, &start, &end);
      if (at >= h->header.indexOffset || start != at)
        FatalMessage("Hfill: block %d not at its index offset [%s]", k, h->name);
      // The read-ahead seeks where it reads, so the index read needs no seek back.
      BlockSource source = {&h->file, h, at, nullptr, 0};
      h->filePos = at + BlockUnpackFrom(&source, into, h->header.flags);
      if (h->filePos != end) FatalMessage("Hfill: block %d does not end at the next [%s]", k, h->name);
    }
  }
  // Past the last block nothing is decoded; the length bound keeps readers
  // from the stale contents.
  if (next <= HileMaxLength) h->blockStart = (int32_t)next;
  h->pos = 0;
}

}  // namespace

namespace {

// The finished file into the device or pipe it was meant for, through the
// write buffer, which the writer no longer needs.
void CopyToDevice(HILE* h) {
  FileRec out;
  FileInit(&out, 1, h->name);
  FileOpenRead(&h->file);
  FileCreate(&out);
  for (int n; (n = FileRead(&h->file, HileAheadSize, h->ahead)) > 0;) FileWrite(&out, n, h->ahead);
  FileClose(&out);
  FileClose(&h->file);
  DeleteFileByName(h->file.name);
  FileScratchDone(h->file.name);
}

}  // namespace

void Hfill(HILE* h) {
  FillInto(h, h->block);
  h->held = 1;
}

int BlockUnpack(FileRec* file, unsigned char* block, int flags) {
  BlockSource source = {file, nullptr, 0, nullptr, 0};
  return BlockUnpackFrom(&source, block, flags);
}

int BlockDecode(const unsigned char* coded, int bytes, unsigned char* block, int flags) {
  BlockSource source = {nullptr, nullptr, 0, coded, bytes};
  return BlockUnpackFrom(&source, block, flags);
}

int Hread(void* dest, int count, HILE* h) {
  HileCheck(h, "Hread");
  if (h->writing) FatalMessage("Hread: not allowed on write-file");
  unsigned char* d = (unsigned char*)dest;
  int done = 0;
  while (count > 0) {
    if (h->pos >= HileBlockSize) {
      // A whole block that the caller takes at once is decoded straight into
      // its bytes; block then no longer holds the current block.
      int64_t next = (int64_t)h->blockStart + HileBlockSize;
      if (count >= HileBlockSize && next + HileBlockSize <= h->header.length) {
        // The whole blocks from here on go straight into the caller's bytes
        // from the workers too.
        if (Par.h == h && Par.aim == nullptr) {
          int64_t whole = ((int64_t)h->header.length - next) / HileBlockSize;
          int32_t m = (int32_t)(count / HileBlockSize < whole ? count / HileBlockSize : whole);
          ParAim(d, (int32_t)(next / HileBlockSize), m);
        }
        FillInto(h, d);
        h->held = 0;
        h->pos = HileBlockSize;
        d += HileBlockSize;
        done += HileBlockSize;
        count -= HileBlockSize;
        if ((int64_t)h->blockStart + h->pos >= h->header.length) break;
        continue;
      }
      Hfill(h);
    }
    int64_t rest = (int64_t)h->header.length - h->blockStart;
    int32_t end = rest < HileBlockSize ? (int32_t)(rest > 0 ? rest : 0) : HileBlockSize;
    int avail = end - h->pos;
    if (avail <= 0) break;
    int n = count < avail ? count : avail;
    memcpy(d, h->block + h->pos, n);
    h->pos += n;
    d += n;
    done += n;
    count -= n;
    if ((int64_t)h->blockStart + h->pos >= h->header.length) break;
  }
  if (Par.h == h) ParAimEnd();
  if (count > 0) h->eof = 1;
  return done;
}

int Hgetc(HILE* h) {
  HileCheck(h, "Hgetc");
  if (h->writing) FatalMessage("Hgetc: not allowed on write-file");
  if (h->pos >= HileBlockSize) Hfill(h);
  if ((int64_t)h->blockStart + h->pos >= h->header.length) {
    h->eof = 1;
    return -1;
  }
  return h->block[h->pos++];
}

int Heof(HILE* h) {
  HileCheck(h, "Heof");
  return h->eof;
}

void Hseek(HILE* h, int32_t t) {
  HileCheck(h, "Hseek");
  if (h->writing) FatalMessage("Hseek: not allowed on write-file");
  if (t < 0) FatalMessage("Hseek: negative position [%d]", t);
  if (t >= h->header.length) FatalMessage("Hseek: >= EOF causes deep shit");
  if (!h->held || t < h->blockStart || (int64_t)t >= (int64_t)h->blockStart + HileBlockSize) {
    int32_t k = t / HileBlockSize;
    unsigned char entry[4];
    DoFseek(&h->file, h->header.indexOffset + 4 * k);
    DoFread(entry, 4, &h->file);
    int32_t offset = GetLe32(entry);
    if (offset < HileHeaderSize || offset >= h->header.indexOffset)
      FatalMessage("Hseek: bad index entry %d [%s]", k, h->name);
    DoFseek(&h->file, offset);
    h->filePos = offset;
    h->blockStart = k * HileBlockSize - HileBlockSize;
    h->pos = HileBlockSize;
    Hfill(h);
  }
  h->pos = t - h->blockStart;
  h->eof = 0;
}

int32_t Htell(HILE* h) {
  HileCheck(h, "Htell");
  return h->blockStart + h->pos;
}

int Hclose(HILE* h) {
  HileCheck(h, "Hclose");
  if (!h->writing) {
    DoFclose(&h->file);
    Release(h);
    return 0;
  }
  int32_t total = h->blockStart + h->pos;
  // A file whose one block is the last is coded here, without the workers.
  if (Par.h == h && !Par.begun) ParDetach(h);
  if (h->pos > 0) {
    memset(h->block + h->pos, 0, HileBlockSize - h->pos);
    h->pos = HileBlockSize;
    Hflus(h);
  }
  if (Par.h == h) {
    while (Par.first < Par.next) ParRetire(h);
  }
  // The index follows the blocks.
  int32_t indexOffset = h->filePos;
  WriteHeldBytes(h);
  WriteHeldEntries(h);
  int32_t indexSize = 4 * h->indexFirst;
  DoFseek(&h->indexFile, 0);
  for (int32_t left = indexSize; left > 0;) {
    int n = left < HileAheadSize ? (int)left : HileAheadSize;
    DoFread(h->ahead, n, &h->indexFile);
    DoFwrite(h->ahead, n, &h->file);
    left -= n;
  }
  DoFclose(&h->indexFile);
  FileRec temp;
  FileInit(&temp, -1, h->tempName);
  if (!FileDelete(&temp)) FatalMessage("Hclose: remove failed");
  FileScratchDone(h->tempName);

  int32_t result = DoFtell(&h->file);
  h->header.magic = Magic;
  h->header.indexOffset = indexOffset;
  h->header.length = total;
  unsigned char bytes[HileHeaderSize];
  EncodeHeader(&h->header, bytes);
  DoFseek(&h->file, 0);
  DoFwrite(bytes, HileHeaderSize, &h->file);
  DoFclose(&h->file);
  if (result != indexOffset + indexSize) FatalMessage("Hclose: BUG?");
  if (h->toDevice) {
    CopyToDevice(h);
  } else {
    FileScratchCommit(&h->file, h->name);
  }
  Release(h);
  return result;
}
