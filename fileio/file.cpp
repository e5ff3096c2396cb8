// File records: opening, transfers, positions, copy, rename, delete and the
// uniform file error.
#include "fileio/file.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "base/trace.h"
#include "fileio/names.h"
#include "fileio/path.h"
#include "os/memory.h"

namespace {

const char FileErrorFormat[] = "\nFile Error : name = [%s] code = %d";

// Room in the fatal text for the name: the format without its "%s", a code
// of up to 11 characters, and the NUL.
enum { FileErrorNameRoom = FatalTextSize - (sizeof FileErrorFormat - 1 - 4) - 11 - 1 };

// The byte count of n records; refuses what would not be one 32-bit request
// (a negative record size would also turn the count into a huge one).
uint32_t Bytes(const FileRec* rec, int n) {
  if (rec->recSize <= 0) InternalError("FILEIO", __LINE__, FileInternalBadRecSize);
  int64_t bytes = (int64_t)n * rec->recSize;
  if (n < 0 || bytes > INT32_MAX) InternalError("FILEIO", __LINE__, FileInternalBadCount);
  return (uint32_t)bytes;
}

FileErrorInfo LastError;

// A failure found by the file layer itself, with no system call to blame.
[[noreturn]] void FileCheckError(const FileRec* rec, int code) {
  OsClearLastError();
  FileError(rec, code);
}

void Open(FileRec* rec, int mode, int code) {
  rec->handle = OsFileOpen(rec->name, mode);
  if (!rec->handle) FileError(rec, code);
  if (mode == OsOpenAppend) FileSeek(rec, 0, OsSeekEnd);
  OpenFileAdd(rec);
  if (mode == OsOpenRead) return;
  uint32_t attributes = OsFileAttributes(rec->name);
  int writable = attributes != OsAttrNone && !(attributes & OsAttrReadOnly);
  if (!writable && !IsPrinterName(rec->name)) FileCheckError(rec, FileErrNotWritable);
}

}  // namespace

void FileError(const FileRec* rec, int code) {
  OsLastErrorText(LastError.cause, sizeof LastError.cause);
  const char* name = FileScratchStandsFor(rec->name);
  CopyName(LastError.name, sizeof LastError.name, name);
  LastError.code = code;
  char shortName[FileErrorNameRoom + 1];
  TraceLine(FileErrorFormat, name);
  FatalMessage(FileErrorFormat, ShortName(name, shortName, FileErrorNameRoom), code);
}

const FileErrorInfo* FileLastError(void) { return &LastError; }

void FileInit(FileRec* rec, int recSize, const char* name) {
  // Copied first, so that the record's own name survives the clearing (a
  // re-initialisation with another record size).
  char copy[FileNameSize];
  int fits = 1;
  copy[0] = '\0';
  if (name) fits = CopyName(copy, sizeof copy, name);
  memset(rec, 0, sizeof *rec);
  rec->recSize = recSize;
  strcpy(rec->name, copy);
  if (!fits) FileCheckError(rec, FileErrNameTooLong);
}

void FileOpenRead(FileRec* rec) { Open(rec, OsOpenRead, FileErrOpenRead); }
void FileCreate(FileRec* rec) { Open(rec, OsOpenCreate, FileErrCreate); }
void FileAppend(FileRec* rec) { Open(rec, OsOpenAppend, FileErrOpenAppend); }
void FileOpenReadWrite(FileRec* rec) { Open(rec, OsOpenReadWrite, FileErrOpenReadWrite); }

void FileClose(FileRec* rec) {
  if (!rec->handle) return;
  OsFileClose(rec->handle);
  OpenFileRemove(rec);
  rec->handle = 0;
}

int FileIsClosed(const FileRec* rec) { return rec->handle == 0; }

int FileRead(FileRec* rec, int n, void* buffer) {
  uint32_t done = 0;
  if (!OsFileRead(rec->handle, buffer, Bytes(rec, n), &done)) FileError(rec, FileErrRead);
  return (int)(done / (uint32_t)rec->recSize);
}

int FileWrite(FileRec* rec, int n, const void* buffer) {
  uint32_t size = Bytes(rec, n), done = 0;
  OsClearLastError();
  if (!OsFileWrite(rec->handle, buffer, size, &done) || done != size) FileError(rec, FileErrWrite);
  return n;
}

void FileFlush(FileRec* rec) {
  if (!OsFileFlush(rec->handle)) FileError(rec, FileErrWrite);
}

void FileStartFlush(FileRec* rec) { OsFileStartFlush(rec->handle); }

int64_t FileReserve(FileRec* rec, int64_t written, int64_t size) {
  int64_t end = size - written > FileReserveBytes ? written + FileReserveBytes : size;
  if (end > written) OsFileReserve(rec->handle, written, end - written);
  return end;
}

void FileSeek(FileRec* rec, int n, int origin) {
  if (origin < OsSeekBegin || origin > OsSeekEnd) FileCheckError(rec, FileErrOrigin);
  if (rec->recSize <= 0) InternalError("FILEIO", __LINE__, FileInternalBadRecSize);
  int64_t distance = (int64_t)n * rec->recSize;
  // A distance that does not fit the 32-bit request would land elsewhere.
  if (distance < INT32_MIN || distance > INT32_MAX) FileCheckError(rec, FileErrSeek);
  OsClearLastError();
  if (OsFileSeek(rec->handle, (int32_t)distance, origin) == OsFileFailed) FileError(rec, FileErrSeek);
}

int FileTell(FileRec* rec) {
  if (rec->recSize <= 0) InternalError("FILEIO", __LINE__, FileInternalBadRecSize);
  OsClearLastError();
  uint32_t position = OsFileSeek(rec->handle, 0, OsSeekCurrent);
  if (position == OsFileFailed) FileError(rec, FileErrSeek);
  return (int)(position / (uint32_t)rec->recSize);
}

int FileSize(FileRec* rec) {
  if (rec->recSize <= 0) InternalError("FILEIO", __LINE__, FileInternalBadRecSize);
  int opened = rec->handle == 0;
  if (opened) FileOpenRead(rec);
  OsClearLastError();
  uint32_t size = OsFileSize(rec->handle);
  if (size == OsFileFailed) FileError(rec, FileErrSize);
  if (opened) FileClose(rec);
  return (int)(size / (uint32_t)rec->recSize);
}

void FileCopy(FileRec* source, FileRec* target, void* buffer, int size) {
  if (source->recSize <= 0) InternalError("FILEIO", __LINE__, FileInternalBadRecSize);
  int k = size / source->recSize;
  // With no whole record per chunk the loop below would never end.
  if (k < 1) InternalError("FILEIO", __LINE__, FileInternalBadCount);
  FileOpenRead(source);
  FileCreate(target);
  int r;
  do {
    r = FileRead(source, k, buffer);
    FileWrite(target, r, buffer);
  } while (r == k);
  FileClose(target);
  FileClose(source);
}

void FileRename(FileRec* rec, const char* newName) {
  FileRec renamed;
  FileInit(&renamed, rec->recSize, newName);  // a name too long is refused before the move
  if (!OsFileMove(rec->name, renamed.name)) FileError(rec, FileErrRename);
  memcpy(rec->name, renamed.name, sizeof rec->name);
}

void FileScratchCommit(FileRec* scratch, const char* target) {
  // A symbolic link stays, and the file it names is replaced, as a program
  // that writes the file in place would leave them.
  char real[FileNameSize];
  const char* to = OsLinkTarget(target, real, sizeof real) ? real : target;
  if (!OsFileMoveReplace(scratch->name, to)) {
    FileRec t;
    FileInit(&t, scratch->recSize > 0 ? scratch->recSize : 1, target);
    FileError(&t, FileErrRename);  // the fatal path removes the scratch file
  }
  FileScratchDone(scratch->name);
}

int FileWrittenInPlace(const char* name) {
  uint32_t attributes = OsFileAttributes(name);
  return (attributes != OsAttrNone && (attributes & OsAttrDevice) != 0) || OsIsStandardOutput(name);
}

int FileDelete(FileRec* rec) {
  if (OsFileAttributes(rec->name) != OsAttrNone && !OsFileDelete(rec->name)) {
    if (rec->recSize < 0) return 0;
    FileError(rec, FileErrDelete);
  }
  return 1;
}

int FileWriteLine(FileRec* rec, const char* text) {
  // Counts are characters: a larger record would read past the text.
  if (rec->recSize != 1) InternalError("FILEIO", __LINE__, FileInternalBadRecSize);
  int n = FileWrite(rec, (int)strlen(text), text);
  return n + FileWrite(rec, 2, "\r\n");
}

int FilePrintf(FileRec* rec, const char* format, ...) {
  char text[FilePrintfSize];
  if (rec->recSize != 1) InternalError("FILEIO", __LINE__, FileInternalBadRecSize);
  va_list args;
  va_start(args, format);
  int n = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  // A text that does not fit is not written cut: nothing is written and the
  // write fails as a short one would.
  if (n < 0 || n >= (int)sizeof text) FileCheckError(rec, FileErrWrite);
  return FileWrite(rec, n, text);
}

int IsPrinterName(const char* path) {
  const char* last = path;
  for (const char* p = path; *p; p++)
    if (PathIsSeparator(*p)) last = p + 1;
  const char prn[] = "prn";
  for (int i = 0; i < 3; i++) {
    char c = last[i];
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (c != prn[i]) return 0;
  }
  return 1;
}
