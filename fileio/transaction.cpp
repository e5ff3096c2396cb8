// The install transaction: staging, commit, rollback, journal and recovery.
//
// Journal lines (CR LF), each written before what it records is done:
//   LZXTX1              header
//   D<dir>              a directory about to be created
//   P<hex4> <target>    a staged file for target (index hex4) about to be created
//   S<path>             a scratch file of the owner's
//   C                   the commit begins; then, all before the first move:
//   N<note>             the owner's note
//   R<hex4> <0|1> <target>  target replaced; 1: it existed and is kept as backup
//   X<hex4> <target>        target deleted, kept as backup
//   K                   every target is in place
// The staged file and the backup of index i are "~lzx<i>.new" and
// "~lzx<i>.old" beside the target. Only lines ended by LF are read back, so a
// line cut by a crash counts as never written.
#include "fileio/transaction.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/fatal.h"
#include "fileio/names.h"
#include "fileio/path.h"
#include "os/memory.h"

namespace {

enum Kind { Keep = 0, Replace = 1, Remove = 2 };

struct TxFile {
  char target[FileNameSize];  // empty: slot unused (a gap in a journal)
  int kind;
  int existed;    // the target existed when the transaction first touched it
  int hasStaged;  // a staged file was created for it
};

enum Phase { Staging = 0, Committing = 1, Committed = 2 };

enum { JournalReadSize = 4096, LevelsMax = 64 };

const char JournalHeader[] = "LZXTX1";

TxFile Files[TxFilesMax];
int FileCount;
char Dirs[TxDirsMax][FileNameSize];
int DirCount;
char Scratch[TxScratchMax][FileNameSize];
int ScratchCount;
char Note[TxNoteSize];
char JournalPath[FileNameSize];
FileRec Journal;
int Active;
int Planning;  // a plan: nothing is written
int CurrentPhase;

TxStepHook StepHook;
int StepCount;

char StagedPath[FileNameSize];  // TxStage's result
char ProbedDir[FileNameSize];   // the last directory found writable

int Join(char* out, const char* dir, const char* name) { return PathJoin(out, FileNameSize, dir, name); }

// The staged file (extension "new") or the backup ("old") of slot index.
int SidePath(char* out, const char* target, int index, const char* extension) {
  char dir[FileNameSize], name[32];
  SplitPath(target, dir, nullptr, nullptr);
  snprintf(name, sizeof name, "~lzx%04x.%.3s", index & 0xFFFF, extension);
  size_t d = strlen(dir), n = strlen(name);
  if (d + n >= FileNameSize) return 0;
  memcpy(out, dir, d);
  memcpy(out + d, name, n + 1);
  return 1;
}

int SameName(const char* a, const char* b) {
  for (;; a++, b++) {
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
    if (x == '/') x = '\\';
    if (y == '/') y = '\\';
    if (x != y) return 0;
    if (x == 0) return 1;
  }
}

TxFile* Find(const char* target) {
  for (int i = 0; i < FileCount; i++)
    if (SameName(Files[i].target, target)) return &Files[i];
  return nullptr;
}

// A name that this module cannot record or derive a side name from.
[[noreturn]] void Refuse(const char* path) {
  FileRec rec;
  FileInit(&rec, 1, nullptr);
  CopyName(rec.name, sizeof rec.name, path);
  FileError(&rec, FileErrNameTooLong);
}

TxFile* Touch(const char* target) {
  TxFile* f = Find(target);
  if (f) return f;
  if (FileCount == TxFilesMax) FatalMessage("Install: more than %d files", TxFilesMax);
  // A line break in a name would end its journal line early.
  if (strchr(target, '\r') || strchr(target, '\n')) Refuse(target);
  f = &Files[FileCount++];
  memset(f, 0, sizeof *f);
  if (!CopyName(f->target, sizeof f->target, target)) Refuse(target);
  f->existed = FileExists(target);
  return f;
}

void Record(const char* format, ...) LZX_PRINTF(1, 2);
void Record(const char* format, ...) {
  if (Planning) return;
  char text[FilePrintfSize];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0 || n >= (int)sizeof text) FileError(&Journal, FileErrWrite);
  FileWrite(&Journal, n, text);
  FileWrite(&Journal, 2, "\r\n");
}

int Exists(const char* path) { return OsFileAttributes(path) != OsAttrNone; }

// Deletes a file of ours, read-only or not; 1 if it is gone.
int Discard(const char* path) {
  if (!Exists(path)) return 1;
  if (OsFileDelete(path)) return 1;
  OsFileSetReadOnly(path, 0);
  return OsFileDelete(path);
}

int ByLengthDescending(const void* a, const void* b) {
  return (int)strlen((const char*)b) - (int)strlen((const char*)a);
}

// After the journal: a directory that holds it cannot go before it.
void RemoveDirs(void) {
  // Deeper directories first; one that is not empty (not ours alone) stays.
  qsort(Dirs, (size_t)DirCount, sizeof Dirs[0], ByLengthDescending);
  for (int i = 0; i < DirCount; i++) OsDirRemove(Dirs[i]);
}

// Backwards from whatever point was reached. Every step looks at what is on
// disk, so that undoing twice (a crash during a rollback) is harmless.
void Undo(void) {
  char staged[FileNameSize], backup[FileNameSize];
  if (CurrentPhase >= Committing) {
    for (int i = FileCount; i-- > 0;) {
      TxFile* f = &Files[i];
      if (!f->target[0] || f->kind == Keep) continue;
      SidePath(staged, f->target, i, "new");
      SidePath(backup, f->target, i, "old");
      if (f->existed) {
        // A volume that cannot write through still takes a plain move.
        if (Exists(backup) && !OsFileMoveDurable(backup, f->target)) OsFileMoveReplace(backup, f->target);
      } else if (f->kind == Replace && !Exists(staged)) {
        Discard(f->target);  // it was moved in: a file the update created
      }
    }
  }
  for (int i = 0; i < FileCount; i++) {
    if (Files[i].target[0] && Files[i].hasStaged && SidePath(staged, Files[i].target, i, "new")) Discard(staged);
  }
  for (int i = 0; i < ScratchCount; i++) Discard(Scratch[i]);
}

// Forwards after a complete commit: only the backups and scratch files go.
void Forward(void) {
  char backup[FileNameSize];
  for (int i = 0; i < FileCount; i++) {
    TxFile* f = &Files[i];
    if (!f->target[0] || f->kind == Keep || !f->existed) continue;
    TxStep();
    if (SidePath(backup, f->target, i, "old")) Discard(backup);
  }
  for (int i = 0; i < ScratchCount; i++) {
    TxStep();
    Discard(Scratch[i]);
  }
}

void Reset(void) {
  FileCount = DirCount = ScratchCount = 0;
  Note[0] = '\0';
  CurrentPhase = Staging;
  ProbedDir[0] = '\0';
}

void Close(void) {
  Active = 0;
  Planning = 0;
  FatalSetUndoHook(nullptr);
  Reset();
}

// The fatal path's undo: it has closed every file of the table already.
int UndoOnFatal(void) {
  if (!Active) return 0;
  Journal.handle = 0;
  Undo();
  Discard(JournalPath);
  RemoveDirs();
  Close();
  return 1;
}

// Reads the journal back into the module state; 0 if it is not one.
int Load(const char* path) {
  static char text[JournalReadSize + FileNameSize + 32];
  OsFileHandle h = OsFileOpen(path, OsOpenRead);
  if (!h) return 0;
  Reset();
  size_t used = 0;
  int header = 0, ok = 1;
  for (;;) {
    uint32_t got = 0;
    if (!OsFileRead(h, text + used, (uint32_t)(sizeof text - 1 - used), &got)) {
      ok = 0;
      break;
    }
    used += got;
    text[used] = '\0';
    char* line = text;
    char* end;
    while ((end = strchr(line, '\n')) != nullptr) {
      *end = '\0';
      if (end > line && end[-1] == '\r') end[-1] = '\0';
      if (!header) {
        header = strcmp(line, JournalHeader) == 0;
        if (!header) ok = 0;
      } else if (line[0] == 'D' && DirCount < TxDirsMax) {
        CopyName(Dirs[DirCount++], FileNameSize, line + 1);
      } else if (line[0] == 'S' && ScratchCount < TxScratchMax) {
        CopyName(Scratch[ScratchCount++], FileNameSize, line + 1);
      } else if (line[0] == 'C') {
        CurrentPhase = Committing;
      } else if (line[0] == 'K') {
        CurrentPhase = Committed;
      } else if (line[0] == 'N') {
        CopyName(Note, sizeof Note, line + 1);
      } else if (line[0] == 'P' || line[0] == 'R' || line[0] == 'X') {
        unsigned index = 0;
        int existed = 0, skip = 0;
        char kind = line[0];
        if (kind == 'R' ? sscanf(line + 1, "%4x %d %n", &index, &existed, &skip) < 2
                        : sscanf(line + 1, "%4x %n", &index, &skip) < 1) {
          ok = 0;
        } else if (index < TxFilesMax && skip > 0) {
          TxFile* f = &Files[index];
          for (int i = FileCount; i <= (int)index; i++) memset(&Files[i], 0, sizeof Files[i]);
          if ((int)index >= FileCount) FileCount = (int)index + 1;
          CopyName(f->target, sizeof f->target, line + 1 + skip);
          if (kind == 'P') f->hasStaged = 1;
          if (kind == 'R') f->kind = Replace, f->existed = existed != 0;
          if (kind == 'X') f->kind = Remove, f->existed = 1;
        }
      }
      line = end + 1;
    }
    size_t rest = used - (size_t)(line - text);
    memmove(text, line, rest);
    used = rest;
    if (got == 0 || !ok) break;
    if (used >= sizeof text - 1) {  // a line longer than any this module writes
      ok = 0;
      break;
    }
  }
  OsFileClose(h);
  return ok && header;
}

// The system's words for the last failure, without a closing line break.
void Why(char* why, size_t size) {
  if (size == 0) return;
  OsLastErrorText(why, size);
  size_t n = strlen(why);
  while (n > 0 && (why[n - 1] == '\n' || why[n - 1] == '\r' || why[n - 1] == ' ' || why[n - 1] == '.')) why[--n] = '\0';
}

void NearestExisting(const char* path, char* out) {
  CopyName(out, FileNameSize, path);
  for (int level = 0; level < LevelsMax && out[0] && !Exists(out); level++) {
    size_t n = strlen(out);
    while (n > 0 && (out[n - 1] == '\\' || out[n - 1] == '/')) out[--n] = '\0';
    char parent[FileNameSize];
    SplitPath(out, parent, nullptr, nullptr);
    size_t p = strlen(parent);
    // "C:\" and "/" are roots and keep their separator.
    while (p > 1 && (parent[p - 1] == '\\' || parent[p - 1] == '/') && parent[p - 2] != ':') parent[--p] = '\0';
    if (strcmp(parent, out) == 0) break;
    memcpy(out, parent, p + 1);
  }
  if (!out[0]) strcpy(out, ".");
}

// Records the levels of dir that do not exist, deepest first, each before it
// is made; with existing, every level below that one (made already).
void RecordMissing(const char* dir, const char* existing) {
  char level[FileNameSize];
  CopyName(level, sizeof level, dir);
  for (int n = 0; n < LevelsMax; n++) {
    size_t len = strlen(level);
    while (len > 1 && (level[len - 1] == '\\' || level[len - 1] == '/') && level[len - 2] != ':') level[--len] = '\0';
    if (!level[0] || (existing ? strcmp(level, existing) == 0 : Exists(level))) break;
    if (DirCount == TxDirsMax) FatalMessage("Install: more than %d new directories", TxDirsMax);
    if (strchr(level, '\r') || strchr(level, '\n')) Refuse(level);
    Record("D%s", level);
    memcpy(Dirs[DirCount++], level, sizeof level);
    char parent[FileNameSize];
    SplitPath(level, parent, nullptr, nullptr);
    if (strcmp(parent, level) == 0) break;
    memcpy(level, parent, sizeof level);
  }
}

}  // namespace

void TxSetStepHook(TxStepHook hook) { StepHook = hook; }

void TxStep(void) {
  StepCount++;
  if (StepHook) StepHook(StepCount);
}

int TxActive(void) { return Active; }

void TxBegin(const char* dir) {
  if (Active) InternalError("FILEIO", __LINE__, 98);
  char path[FileNameSize];
  if (!Join(path, dir, TxJournalName)) Refuse(dir);
  if (Exists(path)) TxRecover(dir, nullptr, 0);
  Reset();
  memcpy(JournalPath, path, sizeof JournalPath);
  // A directory that does not exist yet is made, and recorded as the
  // transaction's own as soon as its journal can say so.
  char missing[FileNameSize];
  NearestExisting(dir, missing);
  int made = strcmp(missing, dir) != 0;
  if (made && !MakeDirs(dir)) {
    // The directory is what the user named and what could not be made.
    FileRec rec;
    FileInit(&rec, 1, dir);
    FileError(&rec, FileErrCreate);
  }
  // A directory where nothing can be made is named as such, not by the
  // journal that is the first file made in it.
  if (!OsDirWritable(dir)) {
    FileRec rec;
    FileInit(&rec, 1, dir);
    FileError(&rec, FileErrNotWritable);
  }
  FileInit(&Journal, 1, JournalPath);
  FileCreate(&Journal);
  Active = 1;
  FatalSetUndoHook(UndoOnFatal);
  Record("%s", JournalHeader);
  if (made) RecordMissing(dir, missing);
}

void TxBeginPlan(void) {
  if (Active) InternalError("FILEIO", __LINE__, 98);
  Reset();
  Active = 1;
  Planning = 1;
}

void TxSetNote(const char* note) { CopyName(Note, sizeof Note, note ? note : ""); }

int TxMakeDirs(const char* dir) {
  if (!Planning) RecordMissing(dir, nullptr);
  return Planning ? 1 : MakeDirs(dir);
}

int TxExists(const char* target) {
  if (!Active) return FileExists(target);
  const TxFile* f = Find(target);
  if (!f) return FileExists(target);
  return f->kind == Replace || (f->kind == Keep && f->existed);
}

const char* TxStage(const char* target) {
  if (!Active) InternalError("FILEIO", __LINE__, 98);
  TxFile* f = Touch(target);
  int index = (int)(f - Files);
  if (!SidePath(StagedPath, target, index, "new")) Refuse(target);
  if (!f->hasStaged) {
    Record("P%04x %s", index, f->target);
    f->hasStaged = 1;
  }
  f->kind = Replace;
  return StagedPath;
}

const char* TxStandsFor(const char* path) {
  if (!Active) return nullptr;
  for (int i = 0; i < FileCount; i++) {
    char staged[FileNameSize], backup[FileNameSize];
    if (SidePath(staged, Files[i].target, i, "new") && strcmp(staged, path) == 0) return Files[i].target;
    if (SidePath(backup, Files[i].target, i, "old") && strcmp(backup, path) == 0) return Files[i].target;
  }
  return nullptr;
}

void TxDelete(const char* target) {
  if (!Active) InternalError("FILEIO", __LINE__, 98);
  TxFile* f = Touch(target);
  char staged[FileNameSize];
  if (f->kind == Replace && !Planning && SidePath(staged, target, (int)(f - Files), "new")) Discard(staged);
  f->kind = f->existed ? Remove : Keep;
}

void TxScratch(const char* path) {
  if (!Active || Planning) InternalError("FILEIO", __LINE__, 98);
  if (ScratchCount == TxScratchMax) InternalError("FILEIO", __LINE__, 99);
  if (!CopyName(Scratch[ScratchCount], FileNameSize, path)) Refuse(path);
  Record("S%s", Scratch[ScratchCount]);
  ScratchCount++;
}

void TxCommit(void) {
  if (!Active || Planning || CurrentPhase != Staging) InternalError("FILEIO", __LINE__, 98);
  char staged[FileNameSize], backup[FileNameSize];
  // Every byte is on the disk before the journal says the commit begins.
  for (int i = 0; i < FileCount; i++) {
    if (Files[i].kind != Replace) continue;
    FileRec rec;
    SidePath(staged, Files[i].target, i, "new");
    FileInit(&rec, 1, staged);
    if (!Exists(staged)) FileError(&rec, FileErrOpenReadWrite);
    FileOpenReadWrite(&rec);
    FileFlush(&rec);
    FileClose(&rec);
  }
  Record("C");
  Record("N%s", Note);
  for (int i = 0; i < FileCount; i++) {
    const TxFile* f = &Files[i];
    if (f->kind == Replace) Record("R%04x %d %s", i, f->existed, f->target);
    if (f->kind == Remove) Record("X%04x %s", i, f->target);
  }
  FileFlush(&Journal);
  CurrentPhase = Committing;
  for (int i = 0; i < FileCount; i++) {
    const TxFile* f = &Files[i];
    if (f->kind == Keep) continue;
    SidePath(staged, f->target, i, "new");
    SidePath(backup, f->target, i, "old");
    FileRec rec;
    FileInit(&rec, 1, f->target);
    if (f->existed) {
      TxStep();
      if (!OsFileMoveDurable(f->target, backup)) FileError(&rec, FileErrRename);
    }
    if (f->kind == Replace) {
      TxStep();
      if (!OsFileMoveDurable(staged, f->target)) FileError(&rec, FileErrRename);
    }
  }
  TxStep();
  Record("K");
  FileFlush(&Journal);
  CurrentPhase = Committed;
}

void TxEnd(void) {
  if (!Active || CurrentPhase != Committed) InternalError("FILEIO", __LINE__, 98);
  // From here a crash completes forwards: the journal says K.
  FatalSetUndoHook(nullptr);
  Forward();
  FileClose(&Journal);
  TxStep();
  Discard(JournalPath);
  Close();
}

void TxLeave(void) {
  if (!Active || CurrentPhase != Committed) InternalError("FILEIO", __LINE__, 98);
  FileClose(&Journal);
  Close();
}

int TxRollback(void) {
  if (!Active) return 0;
  if (Planning) {
    Close();
    return 1;
  }
  FileClose(&Journal);
  Undo();
  Discard(JournalPath);
  RemoveDirs();
  Close();
  return 1;
}

void TxForget(void) {
  Journal.handle = 0;
  Close();
}

int TxRecover(const char* dir, char* note, size_t noteSize) {
  if (Active) InternalError("FILEIO", __LINE__, 98);
  char path[FileNameSize];
  if (!Join(path, dir, TxJournalName) || !Exists(path)) return TxRecoverNone;
  int outcome = TxRecoverUndone;
  if (!Load(path)) {
    // A journal cut before its header was complete: nothing was done yet.
    Reset();
  } else if (CurrentPhase == Committed) {
    Forward();
    if (note && noteSize) snprintf(note, noteSize, "%s", Note);
    outcome = TxRecoverCompleted;
  } else {
    Undo();
  }
  if (!Discard(path)) FatalMessage("Install: cannot remove the journal [%s]", path);
  if (outcome == TxRecoverUndone) RemoveDirs();
  Reset();
  return outcome;
}

int TxCheckTarget(const char* target, char* why, size_t whySize) {
  if (whySize) why[0] = '\0';
  uint32_t attributes = OsFileAttributes(target);
  if (attributes != OsAttrNone) {
    if (attributes & OsAttrDirectory) return TxCheckDirectory;
    if (attributes & OsAttrReadOnly) return TxCheckReadOnly;
    OsFileHandle h = OsFileOpen(target, OsOpenProbeWrite);
    if (!h) {
      int kind = OsLastErrorKind();
      Why(why, whySize);
      return kind == OsErrInUse ? TxCheckInUse : TxCheckNotWritable;
    }
    OsFileClose(h);
  }
  char dir[FileNameSize];
  SplitPath(target, dir, nullptr, nullptr);
  NearestExisting(dir[0] ? dir : ".", dir);
  if (ProbedDir[0] && strcmp(ProbedDir, dir) == 0) return TxCheckOk;
  if (!(OsFileAttributes(dir) & OsAttrDirectory) || OsFileAttributes(dir) == OsAttrNone) {
    snprintf(why, whySize, "%s", "not a directory");
    return TxCheckNotWritable;
  }
  // A file made and gone again: the one sure test that a new file can be
  // made there (a read-only volume, a directory without permission).
  if (!OsDirWritable(dir)) {
    int kind = OsLastErrorKind();
    Why(why, whySize);
    return kind == OsErrNoSpace ? TxCheckNoSpace : TxCheckNotWritable;
  }
  CopyName(ProbedDir, sizeof ProbedDir, dir);
  return TxCheckOk;
}

int TxCheckSpace(const char* dir, int64_t bytes, char* why, size_t whySize) {
  if (whySize) why[0] = '\0';
  char existing[FileNameSize];
  NearestExisting(dir, existing);
  uint64_t free = 0;
  if (!OsFreeSpace(existing, &free)) return TxCheckOk;  // nothing known: the writes will tell
  if (bytes > 0 && free < (uint64_t)bytes) {
    snprintf(why, whySize, "%llu bytes free, %lld needed", (unsigned long long)free, (long long)bytes);
    return TxCheckNoSpace;
  }
  return TxCheckOk;
}
