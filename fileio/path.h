// Path and directory utilities, the text-line reader and the log.
//
// Paths use the backslash as separator; every path buffer holds FileNameSize
// (260) bytes. Results that would not fit are cut at 259 characters (names that
// a caller may store) or refused (paths that would be created or deleted).
#pragma once

#include "fileio/file.h"

// Splits path into the directory (with its trailing backslash or colon), the
// base name without extension and the extension without its full stop. Each
// output may be null and holds FileNameSize bytes.
void SplitPath(const char* path, char* dir, char* base, char* ext);
// Cuts the extension in place; only a backslash ends the backward scan.
void StripExtension(char* path);

// Creates every directory level of path in turn; 1 if all exist afterwards, 0
// at the first level that could not be created (or a path of 260+ characters).
int MakeDirs(const char* path);
// Removes directory, first deleting its plain files if deleteFiles is set; 1 if
// the directory was removed. A subdirectory makes it 0 and keeps the directory.
int RemoveDirFiles(const char* dir, int deleteFiles);
// Stores the names matching pattern back to back, each with its NUL, while
// each fits with one byte of size to spare; returns the number stored.
int ListDir(char* buffer, unsigned size, const char* pattern);

int FileExists(const char* path);   // 1 for a file or directory
int IsReadOnly(const char* path);   // 1 also for a path that does not exist
int FileInUse(const char* path);    // 1 if it cannot be opened exclusively for reading
int IsPlainName(const char* text);  // 0 for null or any of . " / \ [ ] : ; = ,
// Deletes the file; 1 (a failure on an existing file is 203).
int DeleteFileByName(const char* path);
// Stores the last-write time as DOS date (high 16 bits) and time (low 16) in
// *out if given; a closed record is opened and closed again. Returns 1.
int FileDateTime(FileRec* rec, unsigned* out);

// Reads one line (recSize 1, open for reading) into buffer (max + 1 bytes, may
// be null) a byte at a time; CR and LF end a line, empty lines are skipped, a
// longer line comes in pieces of max. 1 if at least one character was read.
int ReadLine(FileRec* rec, char* buffer, int max);

// Appends the formatted text (cut at 199 characters) to "LOG.LOG" in the
// current directory and returns its length. A log that cannot be opened or
// written is skipped: the log never ends a run. A null format opens the log for a
// series of calls, the next null format closes it; both return 0.
int LogPrintf(const char* format, ...) LZX_PRINTF(1, 2);
