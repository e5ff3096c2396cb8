#include "lzx/versionrec.h"

#include <stdio.h>
#include <string.h>

#include "fileio/file.h"
#include "fileio/path.h"
#include "fileio/transaction.h"
#include "lzx/le32.h"

static_assert(VersionNameSize + 6 * 4 + VersionReservedSize == VersionRecordSize, "record fields add up to 432");

int VersionRecordDecode(const unsigned char* src, VersionRecord* dst) {
  unsigned char raw[VersionRecordSize];
  memcpy(raw, src, sizeof raw);
  memcpy(dst->name, raw, VersionNameSize);
  int terminated = memchr(dst->name, 0, VersionNameSize) != nullptr;
  dst->name[VersionNameSize - 1] = 0;
  dst->size = GetLe32(raw + 256);
  dst->version = GetLe32(raw + 260);
  dst->status = GetLe32(raw + 264);
  dst->scrambled = GetLe32(raw + 268);
  dst->deleteAfter = GetLe32(raw + 272);
  dst->replaceOnly = GetLe32(raw + 276);
  memcpy(dst->reserved, raw + 280, VersionReservedSize);
  return terminated;
}

void VersionRecordEncode(const VersionRecord* src, unsigned char* dst) {
  unsigned char raw[VersionRecordSize];
  memcpy(raw, src->name, VersionNameSize);
  PutLe32(raw + 256, src->size);
  PutLe32(raw + 260, src->version);
  PutLe32(raw + 264, src->status);
  PutLe32(raw + 268, src->scrambled);
  PutLe32(raw + 272, src->deleteAfter);
  PutLe32(raw + 276, src->replaceOnly);
  memcpy(raw + 280, src->reserved, VersionReservedSize);
  memcpy(dst, raw, sizeof raw);
}

int VersionNameEqual(const char* a, const char* b) {
  for (;; a++, b++) {
    unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
    if (x >= 'A' && x <= 'Z') x = (unsigned char)(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = (unsigned char)(y - 'A' + 'a');
    if (x != y) return 0;
    if (x == 0) return 1;
  }
}

static_assert(sizeof(VersionRecord) == VersionRecordSize, "a table read from disk is decoded in place");

int VersionFileCount(const char* path) {
  if (!FileExists(path)) return 0;
  FileRec rec;
  FileInit(&rec, VersionRecordSize, path);
  return FileSize(&rec);
}

int VersionFileRead(const char* path, VersionRecord* table, int capacity) {
  memset(table, 0, (size_t)capacity * sizeof *table);
  if (capacity <= 0 || !FileExists(path)) return 0;
  FileRec rec;
  FileInit(&rec, VersionRecordSize, path);
  FileOpenRead(&rec);
  int n = FileRead(&rec, capacity, table);
  FileClose(&rec);
  // A trailing partial record keeps its bytes in the table, the rest of its
  // slot zero: its name and version (as far as they reach) still count, so
  // the file it names is not taken for a new one.
  int rows = n;
  if (n < capacity) {
    const unsigned char* tail = (const unsigned char*)&table[n];
    for (int i = 0; i < VersionRecordSize; i++) {
      if (tail[i] != 0) {
        rows = n + 1;
        break;
      }
    }
  }
  for (int i = 0; i < rows; i++) VersionRecordDecode((const unsigned char*)&table[i], &table[i]);
  return rows;
}

int VersionFileWrite(const char* path, const VersionRecord* table, int capacity) {
  char part[FileNameSize];
  FileRec out;
  FileInit(&out, VersionRecordSize, path);
  // Inside a transaction the new file is staged and replaces the old one
  // with the transaction's commit.
  int staged = TxActive();
  if (staged) {
    memcpy(part, TxStage(path), sizeof part);  // a path of FileNameSize bytes
  } else {
    if (!PathScratchBeside(path, part, sizeof part)) FileError(&out, FileErrCreate);
    FileScratchAdd(part, path);
  }
  FileInit(&out, VersionRecordSize, part);
  FileCreate(&out);
  enum { Chunk = 16 };
  unsigned char bytes[Chunk * VersionRecordSize];
  int n = 0, k = 0;
  for (; n < capacity && table[n].name[0] != 0; n++) {
    VersionRecord r = table[n];
    r.status = VersionStatusNone;
    VersionRecordEncode(&r, bytes + k * VersionRecordSize);
    if (++k == Chunk) {
      FileWrite(&out, k, bytes);
      k = 0;
    }
  }
  if (k > 0) FileWrite(&out, k, bytes);
  FileClose(&out);
  if (!staged) FileScratchCommit(&out, path);
  return n;
}
