// File records and the open-file table.
//
// A FileRec wraps one system file handle; every count, position and size is in
// records of recSize bytes. No operation reports an error to its caller: it
// succeeds or ends the program through FileError ("\nFile Error : name = [%s]
// code = %d"). The one quiet failure is FileDelete with a negative recSize.
// Every open handle is recorded in the 30-slot open-file table from its open to
// its close, so that the fatal path can close them all.
#pragma once

#include "base/fatal.h"
#include "os/files.h"

enum {
  FileNameSize = OsPathSize,  // the system's longest path and its NUL (260 on Win32)
  OpenFileSlots = 30,
  FileScratchSlots = 16,
  FileReserveBytes = 8 << 20,  // the most that FileReserve sets aside at once
  FileCauseSize = 128,
  FilePrintfSize = 1024,  // FilePrintf's text: at most 1023 characters
};

// File error codes (the text's "code = %d").
enum {
  FileErrRead = 201,
  FileErrDelete = 203,
  FileErrRename = 204,
  FileErrWrite = 205,
  FileErrNotWritable = 206,
  FileErrSeek = 207,
  FileErrSize = 208,
  FileErrOpenRead = 209,
  FileErrOpenAppend = 210,
  FileErrCreate = 211,
  FileErrOpenReadWrite = 212,
  FileErrNameTooLong = 213,  // a name of FileNameSize characters or more
  FileErrOrigin = 432,
};

struct FileRec {
  OsFileHandle handle;  // 0 while closed
  int recSize;          // bytes per record; negative only to make FileDelete quiet
  char name[FileNameSize];
};

// Clears the record and stores recSize and, if given, the name. A name of more
// than 259 characters is refused (FileError 213) rather than cut, since a cut
// name would address another file.
void FileInit(FileRec* rec, int recSize, const char* name);

// Open modes. Each registers the handle in the open-file table; the writing
// modes then require the path to be writable (206, the printer is exempt).
void FileOpenRead(FileRec* rec);       // 209
void FileCreate(FileRec* rec);         // 211, 206; truncates
void FileAppend(FileRec* rec);         // 210, 207, 206; positioned at the end
void FileOpenReadWrite(FileRec* rec);  // 212, 206; created if missing

// Closes and unregisters an open record; a closed one is left alone.
void FileClose(FileRec* rec);
int FileIsClosed(const FileRec* rec);

// One read of n records; returns the whole records read (0 at end of file). A
// trailing partial record is stored in the buffer but not counted. 201.
int FileRead(FileRec* rec, int n, void* buffer);
// One write of n records; anything short of all of them is 205. Returns n.
int FileWrite(FileRec* rec, int n, const void* buffer);
// Moves by n records from origin 0 (start), 1 (current) or 2 (end); another
// origin is 432 before any system call; 207.
void FileSeek(FileRec* rec, int n, int origin);
// Position in records; 207.
int FileTell(FileRec* rec);
// Size in records, rounded down; 208. A closed record is opened and closed
// again (209); an open one keeps its position.
int FileSize(FileRec* rec);

// Makes what was written reach the disk (FlushFileBuffers / fsync). 205.
void FileFlush(FileRec* rec);
// Starts that without waiting for it, where the system can (a hint; never an
// error): a file to be flushed later is then mostly written by that time.
void FileStartFlush(FileRec* rec);
// Where the system can, sets aside room on the disk for the bytes that follow
// the first `written` of a file written from its start and meant to be size
// bytes long: up to FileReserveBytes of them, so that a size that proves
// wrong (a damaged length) holds no more than that. Returns where the room
// ends; call again once the writes reach it. A hint, never an error: a disk
// too full for the bytes fails their write as before.
int64_t FileReserve(FileRec* rec, int64_t written, int64_t size);

// Copies source to target (both initialised, not open) through buffer, in
// chunks of size / source recSize records (at least one).
void FileCopy(FileRec* source, FileRec* target, void* buffer, int size);
// Renames the (closed) file to newName, which must not exist (204), and stores
// the new name.
void FileRename(FileRec* rec, const char* newName);
// 1 if the file is gone or never existed; a failed delete of an existing file
// returns 0 when recSize is negative, else is 203.
int FileDelete(FileRec* rec);

// Writes text and CR LF; returns the records written (length + 2). 205.
int FileWriteLine(FileRec* rec, const char* text);
// Writes the formatted text (at most 1023 characters; a longer one is 205 and
// nothing is written); returns its length. 205.
int FilePrintf(FileRec* rec, const char* format, ...) LZX_PRINTF(2, 3);

// Traces and then shows the file error; never returns. The system's
// description of the cause is taken first (see FileLastError).
[[noreturn]] void FileError(const FileRec* rec, int code);

// The last file error, for a program that words file errors itself: the name
// of the file as its user knows it (a scratch file's stands-for name), the
// code, and the system's description of the cause, empty where the failure
// was found without a system call. code is 0 before the first file error.
struct FileErrorInfo {
  int code;
  char name[FileNameSize];
  char cause[FileCauseSize];
};
const FileErrorInfo* FileLastError(void);

// 1 if the path's last component (after the last backslash) begins with "prn"
// in any case.
int IsPrinterName(const char* path);

// The open-file table. OpenFileAdd: internal error 95 for a handle already in
// a slot before the first free one, 94 when all 30 are in use. OpenFileRemove:
// "Illegal unstack [%s]" for a handle in no slot.
void OpenFileAdd(const FileRec* rec);
void OpenFileRemove(const FileRec* rec);
// Marks an open file as a program's own scratch file: OpenFileCloseAll
// removes it after closing it, so that a run ending on the fatal path leaves
// none behind. A file closed in the normal way is its owner's to remove.
void OpenFileTemporary(const FileRec* rec);
// Closes every handle in the table (the fatal path's close hook) and removes
// the files marked temporary and the scratch files still registered.
void OpenFileCloseAll(void);

// Scratch files: files written on the way to another one (a part file moved
// over its target when complete, a block index, a new version file). From
// FileScratchAdd to FileScratchDone the fatal path removes the file whether it
// is open or not, and a file error on it names standsFor, the user's file.
// Internal error 98 when all FileScratchSlots are in use.
void FileScratchAdd(const char* path, const char* standsFor);
void FileScratchDone(const char* path);
// Moves the closed scratch file over target (over the file it names when it is
// a symbolic link), replacing it, and forgets it. A failed move removes the
// scratch file and is FileError 204 on target.
void FileScratchCommit(FileRec* scratch, const char* target);
// 1 when an output of this name is written in place, not through a scratch
// file: a device or pipe, and the process's standard output whatever it is
// (/dev/stdout may name a file that the shell opened for it).
int FileWrittenInPlace(const char* name);
// 1 if a slot is in use (its name is traced as "\nFile not closed [%s]").
int OpenFileAnyLeft(void);
// Empties the table and registers OpenFileCloseAll with the fatal path; 0.
int OpenFileReset(void);
