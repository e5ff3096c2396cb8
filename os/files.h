// Files, directories, attributes and temporary names: the calls the file layer
// makes, one for one, on the system.
//
// Win32: kernel32 exactly as the file layer asks (CreateFileA, ReadFile,
// WriteFile, SetFilePointer, GetFileSize, CloseHandle, GetFileAttributesA,
// DeleteFileA, MoveFileA, MoveFileExA, CreateDirectoryA, RemoveDirectoryA,
// FindFirstFileA/FindNextFileA/FindClose, GetFileTime/FileTimeToDosDateTime).
//
// POSIX: the same contract. Every path is taken with the backslash read as '/'
// so that the same names work on both sides. Share modes become advisory
// whole-file locks (flock) taken without waiting when the file is opened: a
// shared lock for OsOpenRead, an exclusive one for every other mode. So two
// opens through this seam conflict as they do on Win32 (also within one
// process), but a program that does not lock is not kept out, and a locked
// file can still be deleted or renamed.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uintptr_t OsFileHandle;  // 0 = closed / open failed
typedef uintptr_t OsFindHandle;  // 0 = no search

// Open modes: desired access, share mode and creation of CreateFileA.
enum OsOpenMode {
  OsOpenRead,           // GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING
  OsOpenCreate,         // GENERIC_WRITE, share 0, CREATE_ALWAYS (truncates)
  OsOpenAppend,         // GENERIC_WRITE, share 0, OPEN_ALWAYS (position at start)
  OsOpenReadWrite,      // GENERIC_READ | GENERIC_WRITE, share 0, OPEN_ALWAYS
  OsOpenExclusiveRead,  // GENERIC_READ, share 0, OPEN_EXISTING
  OsOpenProbeWrite,     // GENERIC_WRITE | DELETE, share 0, OPEN_EXISTING: changes nothing
};

// Classes of the last failure of a call of this seam (OsLastErrorKind).
enum { OsErrOther = 0, OsErrInUse = 1, OsErrAccess = 2, OsErrNoSpace = 3, OsErrNotFound = 4 };

// Seek origins (FILE_BEGIN, FILE_CURRENT, FILE_END).
enum { OsSeekBegin = 0, OsSeekCurrent = 1, OsSeekEnd = 2 };

// Results of OsFileAttributes.
enum : uint32_t {
  OsAttrReadOnly = 0x01,     // FILE_ATTRIBUTE_READONLY; POSIX: no write permission bit at all
  OsAttrDevice = 0x40,       // FILE_ATTRIBUTE_DEVICE; POSIX: not a regular file or directory
  OsAttrDirectory = 0x10,    // FILE_ATTRIBUTE_DIRECTORY
  OsAttrNone = 0xFFFFFFFFu,  // INVALID_FILE_ATTRIBUTES: the attributes could not be read
};

// The failure value of OsFileSeek and OsFileSize (INVALID_SET_FILE_POINTER,
// INVALID_FILE_SIZE).
enum : uint32_t { OsFileFailed = 0xFFFFFFFFu };

// Longest name a search reports, with its NUL (MAX_PATH).
enum { OsFindNameSize = 260 };

// How the system writes paths. Both sides take '\\' and '/' as separators.
// OsPathSize: the longest path the system opens, with its NUL (MAX_PATH on
// Win32, PATH_MAX on POSIX). OsPathDrives: a colon ends a drive ("C:"), and
// only "C:" and what follows it is a root (Win32); on POSIX a colon is an
// ordinary character and a leading '/' is the root. OsPathSeparator: the
// separator that joined paths are written with.
#ifdef _WIN32
enum { OsPathSize = 260, OsPathDrives = 1, OsPathSeparator = '\\' };
#else
enum { OsPathSize = 4096, OsPathDrives = 0, OsPathSeparator = '/' };
#endif

// Opens name in the given mode; 0 on failure.
OsFileHandle OsFileOpen(const char* name, int mode);
// Closes the handle; the result is not reported. 0 is ignored.
void OsFileClose(OsFileHandle handle);

// One ReadFile / WriteFile of size bytes; *done receives the bytes moved.
// Return 1 if the call succeeded (end of file is success with *done 0), else 0.
int OsFileRead(OsFileHandle handle, void* buffer, uint32_t size, uint32_t* done);
int OsFileWrite(OsFileHandle handle, const void* buffer, uint32_t size, uint32_t* done);

// SetFilePointer with a signed 32-bit distance; the new position, or
// OsFileFailed. Positions are 32-bit: one of 4 GiB - 1 or beyond fails rather
// than report its low part.
uint32_t OsFileSeek(OsFileHandle handle, int32_t distance, int origin);
// GetFileSize; OsFileFailed on failure and for a size of 4 GiB - 1 or more.
uint32_t OsFileSize(OsFileHandle handle);

// GetFileTime (last write) and FileTimeToDosDateTime, without conversion to
// local time: DOS date in the high 16 bits, DOS time in the low 16. The results
// of the system calls are not checked (0 when nothing could be read).
uint32_t OsFileDosDateTime(OsFileHandle handle);

// GetFileAttributesA; OsAttrNone if the path cannot be examined.
uint32_t OsFileAttributes(const char* path);

// When path is a symbolic link (POSIX), writes the file it finally names into
// out (size bytes) and returns 1; 0 when it is none, or names nothing that
// can be found, and always on Win32.
int OsLinkTarget(const char* path, char* out, size_t size);

// 1 when path names what the process's standard output is (POSIX: the same
// device and inode, as /dev/stdout does), so that a report printed there
// would be mixed into the data; 0 otherwise, and always on Win32, where no
// path names it.
int OsIsStandardOutput(const char* path);

// Sets or clears the read-only attribute (SetFileAttributesA; POSIX: clears
// every write permission bit, or gives the owner write permission); 1 on success.
int OsFileSetReadOnly(const char* path, int readOnly);

// DeleteFileA: 1 on success. A directory and a read-only file are not deleted.
int OsFileDelete(const char* path);
// MoveFileA: 1 on success; fails if to exists (atomically on both sides). On
// POSIX a move stays within one file system.
int OsFileMove(const char* from, const char* to);
// MoveFileExA with MOVEFILE_REPLACE_EXISTING: 1 on success; replaces a file at to.
int OsFileMoveReplace(const char* from, const char* to);

// MoveFileExA with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH: the
// move has reached the disk when it returns. POSIX: rename, then fsync of the
// target's directory. 1 on success.
int OsFileMoveDurable(const char* from, const char* to);

// 1 if a new file can be made in the directory dir: one is created and gone
// again even if the process is killed meanwhile (Win32: a file opened with
// FILE_FLAG_DELETE_ON_CLOSE; POSIX: an unnamed O_TMPFILE, or one unlinked at
// once where the system has none).
int OsDirWritable(const char* dir);

// FlushFileBuffers / fsync: what was written through handle reaches the disk.
// 1 on success.
int OsFileFlush(OsFileHandle handle);

// Starts writing what was written through handle to the disk and returns at
// once, so that a later OsFileFlush has less to wait for. A hint: Linux's
// sync_file_range; elsewhere nothing happens.
void OsFileStartFlush(OsFileHandle handle);

// Sets aside room on the disk for the file's bytes from offset to offset +
// bytes without changing its size, so that the writes there find their
// blocks ready instead of claiming them a page at a time. A hint: Linux's
// fallocate with FALLOC_FL_KEEP_SIZE; elsewhere nothing happens.
void OsFileReserve(OsFileHandle handle, int64_t offset, int64_t bytes);

// GetDiskFreeSpaceExA (bytes free to the caller) / statvfs of the volume that
// holds the directory dir; 1 on success.
int OsFreeSpace(const char* dir, uint64_t* bytes);

// The class of the last failure (its text: OsLastErrorText in os/memory.h).
int OsLastErrorKind(void);

// CreateDirectoryA (no security attributes) and RemoveDirectoryA: 1 on success.
int OsDirCreate(const char* path);
int OsDirRemove(const char* path);

// FindFirstFileA / FindNextFileA / FindClose. The pattern is a directory
// followed by a name with the wildcards * and ?, matched without regard to
// case; "*.*" matches every name. Every entry is reported, "." and ".." too.
// The entry's name is copied into name (OsFindNameSize bytes). OsFindFirst
// returns 0 if nothing matched or the search failed; OsFindNext returns 1 while
// it has stored another name.
OsFindHandle OsFindFirst(const char* pattern, char name[OsFindNameSize]);
int OsFindNext(OsFindHandle find, char name[OsFindNameSize]);
void OsFindClose(OsFindHandle find);

// A name for a temporary file in directory dir ("" for the current one, else
// ending in a separator): dir followed by at most 15 characters, naming no file
// that exists at the time of the call. Writes it with its NUL into name (size
// >= strlen(dir) + 16); 1 on success, 0 if it does not fit or no free name was
// found.
enum { OsTempNameSize = 16 };
int OsTempName(const char* dir, char* name, size_t size);

// The system's directory for temporary files, ending in a separator
// (GetTempPathA; POSIX: $TMPDIR or /tmp/). 1 if it fits into size bytes.
int OsTempDir(char* dir, size_t size);
