#include "lzx/archive.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/fatal.h"
#include "fileio/path.h"
#include "fileio/transaction.h"
#include "lzx/fileadapt.h"
#include "lzx/hile.h"
#include "os/memory.h"

namespace {

unsigned char PackBuf[PackCopySize];
unsigned char UnpackBuf[UnpackCopySize];
static_assert(UnpackCopySize % HileBlockSize == 0, "whole blocks");

// Generator of the scrambling masks.
const uint32_t ScrambleSeed = 0x7C3E15D9u;
const uint32_t ScrambleMultiplier = 0x2F6A91C5u;

int PlainNames = ArchivePlainAsStored;
ArchiveProgressFn Progress = nullptr;
void* ProgressContext = nullptr;

void Report(const VersionRecord* entry, const char* path, int written, HILE* h, int64_t total) {
  if (Progress) Progress(entry, path, written, Htell(h), total, ProgressContext);
}

// The number of dots of a path component of dots and blanks only, else 0:
// two or more are ".." and the forms that Windows shortens to it, one is ".".
int DotComponent(const char* start, const char* end) {
  int dots = 0;
  for (const char* p = start; p < end; p++) {
    if (*p == '.') {
      dots++;
    } else if (*p != ' ') {
      return 0;
    }
  }
  return dots;
}

// A name below a directory: something there, no leading separator, no drive
// or other colon, no ".." component, and a last component that is neither
// empty nor ".".
int RelativeNameSafe(const char* rest) {
  if (rest[0] == 0 || PathIsSeparator(rest[0]) || strchr(rest, ':') != nullptr) return 0;
  const char* start = rest;
  for (const char* p = rest;; p++) {
    if (*p == 0 || PathIsSeparator(*p)) {
      if (DotComponent(start, p) >= 2) return 0;
      // The last component names the file: not empty, not "." (the
      // directory itself).
      if (*p == 0) return p > start && DotComponent(start, p) == 0;
      start = p + 1;
    }
  }
}

// One entry's header, read and checked. The target paths are built only when
// targetDir is given or no '#' needs it; target and part receive the path of
// the file and of its part file beside it.
struct Entry {
  VersionRecord record;
  char target[FileNameSize];
  char part[FileNameSize];
};

// Reads the next record; 0 at the end of the archive. Everything an entry can
// do wrong is refused here, before any of its bytes is written.
int ReadEntry(HILE* h, const char* op, const char* targetDir, int needTarget, Entry* e) {
  unsigned char raw[VersionRecordSize];
  int n = Hread(raw, VersionRecordSize, h);
  if (n == 0) return 0;
  if (n != VersionRecordSize) FatalMessage("%s: target fail", op);
  if (!VersionRecordDecode(raw, &e->record)) FatalMessage("%s: name not terminated", op);
  const VersionRecord* r = &e->record;
  if (r->size < 0 || (int64_t)r->size > (int64_t)h->header.length - Htell(h)) FatalMessage("%s: unexpected eof", op);
  int inside = r->name[0] == '#' || PlainNames == ArchivePlainInside;
  const char* relative = r->name[0] == '#' ? r->name + 1 : r->name;
  if (inside && !RelativeNameSafe(relative)) FatalMessage("%s: unsafe name [%s]", op, r->name);
  e->target[0] = 0;
  e->part[0] = 0;
  if (!needTarget) return 1;
  if (r->name[0] == '#' && targetDir == nullptr) FatalMessage("%s no target", op);
  if (inside && targetDir != nullptr) {
    if (!PathJoin(e->target, sizeof e->target, targetDir, relative))
      FatalMessage("%s: target too long [%s]", op, r->name);
  } else {
    strcpy(e->target, r->name);
  }
  // A directory in the target's place would be found only by the move, after
  // the entries before it were written.
  uint32_t attributes = OsFileAttributes(e->target);
  if (attributes != OsAttrNone && (attributes & OsAttrDirectory))
    FatalMessage("%s: target is a directory [%s]", op, r->name);
  char dir[FileNameSize];
  SplitPath(e->target, dir, nullptr, nullptr);
  if (!PathJoin(e->part, sizeof e->part, dir, ArchivePartName)) FatalMessage("%s: target too long [%s]", op, r->name);
  return 1;
}

// A staged file's bytes are sent on to the disk every so many bytes and at
// its end, while the rest is decoded: the commit flushes every staged file
// and then has little left to wait for.
enum { StartFlushBytes = 4 << 20 };

// Reads and drops the entry's data (or copies it to out when given).
void CopyData(HILE* h, const char* op, int32_t size, FileRec* out) {
  const int32_t whole = size;
  int64_t reserved = 0, sent = 0;  // where the room set aside ends; the bytes sent on
  while (size > 0) {
    // Reads end on block boundaries, so that Hread decodes the whole blocks
    // between them straight into UnpackBuf.
    int n = UnpackCopySize - Htell(h) % HileBlockSize;
    if (size < n) n = (int)size;
    if (Hread(UnpackBuf, n, h) != n) FatalMessage("%s: unexpected eof", op);
    if (out) {
      int64_t written = whole - size;
      if (written + n > reserved) reserved = FileReserve(out, written, whole);
      FileWrite(out, n, UnpackBuf);
      written += n;
      if (written - sent >= StartFlushBytes) {
        FileStartFlush(out);
        sent = written;
      }
    }
    size -= n;
    Report(nullptr, nullptr, 0, h, h->header.length);
  }
}

// The slot of the version table for name: the first used slot with the same
// name, or the first empty one.
VersionRecord* FindSlot(VersionRecord* table, int capacity, const char* name) {
  for (int i = 0; i < capacity; i++) {
    if (table[i].name[0] == 0 || VersionNameEqual(table[i].name, name)) return &table[i];
  }
  FatalMessage("UnPackLZX too many files");
}

int ReadListLine(FileRec* list, char* buffer, int max) {
  // One byte more than the line may hold, so that a longer line is seen
  // rather than taken as two.
  if (!ReadLine(list, buffer, max + 1)) return 0;
  if ((int)strlen(buffer) > max) FatalMessage("PackLZX: Line too long [%s]", buffer);
  return 1;
}

}  // namespace

void ArchiveSetPlainNames(int policy) { PlainNames = policy; }

void ArchiveSetProgress(ArchiveProgressFn fn, void* context) {
  Progress = fn;
  ProgressContext = context;
}

int ArchiveNameSafe(const char* name) { return name[0] != '#' || RelativeNameSafe(name + 1); }

int32_t ListNumber(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
  int negative = 0;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    value = value * 10 + (*p - '0');
    if (value > (int64_t)INT32_MAX + 1) value = (int64_t)INT32_MAX + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return (int32_t)value;
}

int ListOption(const char* field, VersionRecord* record) {
  const char* p = field;
  while (*p == ' ' || *p == '\t') p++;
  if (p[0] == 0 || p[1] != '=') return 0;
  int32_t value = ListNumber(p + 2);
  switch (p[0]) {
    case 'V':
    case 'v':
      record->version = value;
      return 1;
    case 'E':
    case 'e':
      record->scrambled = value;
      return 1;
    case 'D':
    case 'd':
      record->deleteAfter = value;
      return 1;
    case 'R':
    case 'r':
      record->replaceOnly = value;
      return 1;
  }
  return 0;
}

int ListSplit(char* line, char** fields, int max) {
  int count = 0;
  char* p = line;
  for (;;) {
    while (*p == '|') p++;
    if (*p == 0) return count;
    if (count == max) return -1;
    fields[count++] = p;
    while (*p != 0 && *p != '|') p++;
    if (*p == '|') *p++ = 0;
  }
}

void ListArchiveName(const char* listFile, char* name) {
  FileRec list;
  FileInit(&list, 1, listFile);
  FileOpenRead(&list);
  if (!ReadListLine(&list, name, ListLineMax)) FatalMessage("PackLZX: No first line");
  FileClose(&list);
}

int PackLZX(const char* listFile, int32_t* total, int32_t* archiveSize, VersionRecord* table, int capacity) {
  char archiveName[ListLineMax + 2];
  char baseDir[ListLineMax + 2];
  char line[ListLineMax + 2];
  char target[ListTargetMax + 2];
  char source[ListLineMax];
  char* fields[ListFieldsMax];

  FileRec list;
  FileInit(&list, 1, listFile);
  FileOpenRead(&list);
  if (!ReadListLine(&list, archiveName, ListLineMax)) FatalMessage("PackLZX: No first line");
  if (!ReadListLine(&list, baseDir, ListLineMax)) FatalMessage("PackLZX: No base directory");

  HILE* h = Hopen(archiveName, "wb");
  if (h == nullptr) FatalMessage("PackFile: dest fail");

  int entries = 0;
  int64_t sum = 0;
  while (ReadListLine(&list, line, ListLineMax)) {
    int n = ListSplit(line, fields, ListFieldsMax);
    if (n == 0) FatalMessage("PackLZX: No filename found");
    if (n < 0) FatalMessage("PackLZX: Too many fields [%s]", fields[0]);
    const char* field = fields[0];
    int len = field[0] == '#' ? snprintf(source, sizeof source, "%s", field + 1)
                              : snprintf(source, sizeof source, "%s%s", baseDir, field);
    if (len < 0 || len >= (int)sizeof source) FatalMessage("PackLZX: Source name too long [%s]", field);

    VersionRecord record;
    memset(&record, 0, sizeof record);
    for (int i = 1; i < n; i++) {
      if (!ListOption(fields[i], &record)) FatalMessage("PackLZX: Unknown option [%s]", fields[i]);
    }
    if (record.version < VersionMinimum) FatalMessage("PackLZX: Version error [%s]", source);

    if (!ReadListLine(&list, target, ListTargetMax)) FatalMessage("PackLZX: No first line");
    if (strlen(target) >= VersionNameSize) FatalMessage("PackLZX: Filename");
    if (!ArchiveNameSafe(target)) FatalMessage("PackLZX: Unsafe name [%s]", target);
    strcpy(record.name, target);

    FileRec src;
    FileInit(&src, 1, source);
    record.size = FileSize(&src);
    FileOpenRead(&src);

    if (table != nullptr && entries < capacity) table[entries] = record;
    entries++;

    unsigned char raw[VersionRecordSize];
    VersionRecordEncode(&record, raw);
    Report(&record, source, 1, h, 0);
    Hwrite(raw, VersionRecordSize, h);
    sum += record.size;
    int64_t copied = 0;
    for (;;) {
      int got = FileRead(&src, PackCopySize, PackBuf);
      if (got <= 0) break;
      Hwrite(PackBuf, got, h);
      copied += got;
      Report(nullptr, nullptr, 0, h, 0);
    }
    FileClose(&src);
    // The record's size was taken before the copy; a file that changed in
    // between would make every later entry unreadable.
    if (copied != record.size) FatalMessage("PackLZX: Size changed [%s]", source);
  }

  int32_t size = Hclose(h);
  if (archiveSize) *archiveSize = size;
  if (total) *total = (int32_t)sum;
  FileClose(&list);
  return entries;
}

namespace {

// The walk that UnPackLZX and ArchivePlan share: every decision is made here,
// against the transaction's view of which targets exist, so that a plan is
// exactly what the extraction then does. A plan writes nothing.
int Extract(const char* archive, const char* targetDir, VersionRecord* table, int capacity, int rewriteEqual,
            ArchivePlanVisitor visit, void* context, int plan) {
  HILE* h = Hopen(archive, "rb");
  if (h == nullptr) FatalMessage("UnPackLZX: open fail");
  Entry e;
  while (ReadEntry(h, "UnPackLZX", targetDir, 1, &e)) {
    const VersionRecord* r = &e.record;
    char dir[FileNameSize];
    SplitPath(e.target, dir, nullptr, nullptr);
    if (dir[0] != 0 && !TxMakeDirs(dir)) {
      FileRec t;
      FileInit(&t, 1, e.target);
      FileError(&t, FileErrCreate);
    }

    int exists = TxExists(e.target);
    int write = 1, action = exists ? ArchiveUpdated : ArchiveNew;
    if (table != nullptr) {
      VersionRecord* slot = FindSlot(table, capacity, r->name);
      if (slot->name[0] == 0) {
        *slot = *r;
        slot->status = VersionStatusNew;
        action = ArchiveNew;
      } else if (slot->version < r->version || (rewriteEqual == 1 && slot->version == r->version)) {
        *slot = *r;
        slot->status = VersionStatusUpdated;
        action = ArchiveUpdated;
      } else {
        write = 0;
        slot->status = VersionStatusUnchanged;
        action = ArchiveUnchanged;
      }
    } else if (rewriteEqual == 0 && exists) {
      write = 0;
      action = ArchiveKept;
    }
    if (r->replaceOnly != 0 && !exists) {
      write = 0;
      action = ArchiveSkipped;
    }
    if (visit) visit(e.target, r, action, r->deleteAfter != 0, context);

    if (!plan) Report(r, e.target, write, h, h->header.length);
    FileRec out;
    if (write && !plan) {
      // A read-only target is refused as creating it in place would be, on
      // both sides of the platform seam (a POSIX rename would replace it).
      if (exists && IsReadOnly(e.target)) {
        FileRec t;
        FileInit(&t, 1, e.target);
        OsClearLastError();
        FileError(&t, FileErrNotWritable);
      }
      FileInit(&out, 1, TxStage(e.target));
      FileCreate(&out);
    } else if (write) {
      TxStage(e.target);
    }
    CopyData(h, "UnPackLZX", r->size, write && !plan ? &out : nullptr);
    if (write && !plan) {
      if (r->scrambled != 1) FileStartFlush(&out);
      FileClose(&out);
      if (r->scrambled == 1) ScrambleFile(&out);
    }
    if (r->deleteAfter != 0) TxDelete(e.target);
  }
  return Hclose(h);
}

}  // namespace

int UnPackLZX(const char* archive, const char* targetDir, VersionRecord* table, int capacity, int rewriteEqual) {
  // Without a transaction of the caller's, the extraction is one of its own.
  int own = !TxActive();
  if (own) TxBegin(targetDir ? targetDir : ".");
  int result = Extract(archive, targetDir, table, capacity, rewriteEqual, nullptr, nullptr, 0);
  if (own) {
    TxCommit();
    TxEnd();
  }
  return result;
}

int ArchivePlan(const char* archive, const char* targetDir, VersionRecord* table, int capacity, int rewriteEqual,
                ArchivePlanVisitor visit, void* context) {
  TxBeginPlan();
  int result = Extract(archive, targetDir, table, capacity, rewriteEqual, visit, context, 1);
  TxRollback();
  return result;
}

int ArchiveCheck(const char* archive, const char* targetDir, ArchiveVisitor visit, void* context) {
  HILE* h = Hopen(archive, "rb");
  Entry e;
  int entries = 0;
  while (ReadEntry(h, "ArchiveCheck", targetDir, targetDir != nullptr, &e)) {
    if (visit) visit(&e.record, context);
    Report(&e.record, nullptr, 0, h, h->header.length);
    CopyData(h, "ArchiveCheck", e.record.size, nullptr);
    entries++;
  }
  Hclose(h);
  return entries;
}

void ScrambleBytes(unsigned char* bytes, int32_t n) {
  uint32_t s = ScrambleSeed;
  for (int32_t p = 1; p <= n - 4; p++) {
    uint32_t w =
        (uint32_t)bytes[p] | (uint32_t)bytes[p + 1] << 8 | (uint32_t)bytes[p + 2] << 16 | (uint32_t)bytes[p + 3] << 24;
    w ^= s;
    bytes[p] = (unsigned char)w;
    bytes[p + 1] = (unsigned char)(w >> 8);
    bytes[p + 2] = (unsigned char)(w >> 16);
    bytes[p + 3] = (unsigned char)(w >> 24);
    s = s * ScrambleMultiplier + 1;
  }
}

void ScrambleFile(FileRec* file) {
  int32_t n = FileSize(file);
  unsigned char* buffer = (unsigned char*)calloc(n > 0 ? (size_t)n : 1, 1);
  if (buffer == nullptr) InternalError("LZX.C", 1396, -1);
  FileOpenRead(file);
  if (n > 0) DoFread(buffer, n, file);
  FileClose(file);
  ScrambleBytes(buffer, n);
  FileCreate(file);
  if (n > 0) FileWrite(file, n, buffer);
  FileClose(file);
  free(buffer);
}
