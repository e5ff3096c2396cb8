// Path and directory utilities, the text-line reader and the log.
//
// One rule for paths, used by every other place that takes a path apart: the
// backslash and the slash both separate, on both sides of the platform seam. A
// root is never cut: on Win32 a drive "C:" with the separator after it (a
// colon also ends the directory part there), on POSIX the leading slashes.
// Every path buffer holds FileNameSize bytes. Results that would not fit are
// cut (names that a caller may store) or refused (paths that would be created
// or deleted).
#pragma once

#include <stddef.h>

#include "fileio/file.h"

int PathIsSeparator(char c);  // '\\' or '/'
// Length of the root at the start of path ("C:\\" 3, "C:" 2; POSIX "/" 1), 0
// for a relative path.
size_t PathRootLength(const char* path);
// 1 if the path does not depend on the current directory alone: a root, a
// leading separator, or (Win32) a drive.
int PathIsAbsolute(const char* path);
// Writes dir, a separator unless dir is empty or ends in one, and name with its
// separators written as the system's own. 1 if it fits into size bytes.
int PathJoin(char* out, size_t size, const char* dir, const char* name);
// A name for a scratch file in the directory of path (a file that does not
// exist yet; of the file it names when path is a symbolic link), into out
// (size bytes); 1 on success, else 0 with the system's error.
int PathScratchBeside(const char* path, char* out, size_t size);

// Splits path into the directory (with its trailing separator, or colon on
// Win32), the base name without extension and the extension without its full
// stop. Each output may be null and holds FileNameSize bytes.
void SplitPath(const char* path, char* dir, char* base, char* ext);
// Cuts the extension in place; a separator ends the backward scan.
void StripExtension(char* path);

// Creates every directory level of path in turn below its root, as mkdir -p
// does; 1 if all exist afterwards, 0 at the first level that could not be
// created (the system's error stays for the caller), or for a path of
// FileNameSize characters or more. On Win32 a path that begins with a single
// separator has an empty first level and fails.
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
