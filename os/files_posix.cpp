#ifndef _WIN32
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include "os/files.h"

namespace {

// Paths are copied into this many bytes with '\\' turned into '/'; a longer
// path fails with ENAMETOOLONG.
enum { PathSize = OsPathSize };

// Searches in progress (Win32 has no limit that the file layer comes near).
enum { FindSlots = 8 };

struct FindState {
  DIR* dir;  // null = slot free
  char mask[OsFindNameSize];
};

FindState FindTable[FindSlots];
unsigned TempCounter;

int MapPath(const char* path, char* out) {
  size_t i = 0;
  for (; path[i]; i++) {
    if (i + 1 >= PathSize) {
      errno = ENAMETOOLONG;
      return 0;
    }
    out[i] = path[i] == '\\' ? '/' : path[i];
  }
  out[i] = '\0';
  return 1;
}

int ToFd(OsFileHandle handle) { return (int)handle - 1; }

// A file handle is the descriptor plus one, so that descriptor 0 is not "closed".
OsFileHandle FromFd(int fd) { return (OsFileHandle)(fd + 1); }

uint32_t AttributesOf(const struct stat& st) {
  uint32_t attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= OsAttrDirectory;
  if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) attributes |= OsAttrDevice;
  if ((st.st_mode & 0222) == 0) attributes |= OsAttrReadOnly;
  return attributes ? attributes : 0x80;  // FILE_ATTRIBUTE_NORMAL
}

// Windows matching: * and ? without regard to case, and "*.*" for every name.
int MatchesMask(const char* mask, const char* name) {
  if (strcmp(mask, "*.*") == 0) return 1;
#ifdef FNM_CASEFOLD
  return fnmatch(mask, name, FNM_CASEFOLD) == 0;
#else
  return fnmatch(mask, name, 0) == 0;
#endif
}

int NextMatch(FindState* state, char name[OsFindNameSize]) {
  while (struct dirent* entry = readdir(state->dir)) {
    if (strlen(entry->d_name) >= OsFindNameSize) continue;
    if (MatchesMask(state->mask, entry->d_name)) {
      strcpy(name, entry->d_name);
      return 1;
    }
  }
  return 0;
}

}  // namespace

OsFileHandle OsFileOpen(const char* name, int mode) {
  char path[PathSize];
  if (!MapPath(name, path)) return 0;
  int flags, lock = LOCK_EX;
  switch (mode) {
    case OsOpenRead:
      flags = O_RDONLY, lock = LOCK_SH;
      break;
    case OsOpenCreate:  // truncated only once the lock is held
    case OsOpenAppend:
      flags = O_WRONLY | O_CREAT;
      break;
    case OsOpenReadWrite:
      flags = O_RDWR | O_CREAT;
      break;
    case OsOpenExclusiveRead:
      flags = O_RDONLY;
      break;
    case OsOpenProbeWrite:
      flags = O_WRONLY;
      break;
    default:
      errno = EINVAL;
      return 0;
  }
  int fd = open(path, flags | O_CLOEXEC, 0666);
  if (fd < 0) return 0;
  struct stat st;
  int ok = fstat(fd, &st) == 0;
  if (ok && S_ISDIR(st.st_mode)) {  // CreateFileA does not open a directory
    errno = EISDIR;
    ok = 0;
  }
  // Only a file is locked: a device such as /dev/null, or a pipe, is shared
  // by every program that writes to it.
  if (ok && S_ISREG(st.st_mode)) ok = flock(fd, lock | LOCK_NB) == 0;
  // A device or pipe has nothing to empty (and refuses ftruncate). An empty
  // file is left alone: on ext4, a truncation to nothing makes the close
  // write the file's new blocks out at once (its guard for files that are
  // rewritten in place), which cost a fifth of decompress's system time.
  if (ok && mode == OsOpenCreate && S_ISREG(st.st_mode) && st.st_size != 0) ok = ftruncate(fd, 0) == 0;
  if (!ok) {
    int saved = errno;
    close(fd);
    errno = saved;
    return 0;
  }
  return FromFd(fd);
}

void OsFileClose(OsFileHandle handle) {
  if (handle) close(ToFd(handle));
}

int OsFileRead(OsFileHandle handle, void* buffer, uint32_t size, uint32_t* done) {
  uint32_t total = 0;
  while (total < size) {
    ssize_t n = read(ToFd(handle), (char*)buffer + total, size - total);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *done = total;
      return 0;
    }
    if (n == 0) break;
    total += (uint32_t)n;
  }
  *done = total;
  return 1;
}

int OsFileWrite(OsFileHandle handle, const void* buffer, uint32_t size, uint32_t* done) {
  uint32_t total = 0;
  while (total < size) {
    ssize_t n = write(ToFd(handle), (const char*)buffer + total, size - total);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *done = total;
      return 0;
    }
    total += (uint32_t)n;
  }
  *done = total;
  return 1;
}

uint32_t OsFileSeek(OsFileHandle handle, int32_t distance, int origin) {
  int whence = origin == OsSeekBegin ? SEEK_SET : origin == OsSeekCurrent ? SEEK_CUR : SEEK_END;
  if (origin < OsSeekBegin || origin > OsSeekEnd) {
    errno = EINVAL;
    return OsFileFailed;
  }
  off_t position = lseek(ToFd(handle), (off_t)distance, whence);
  // Positions are 32-bit; one that does not fit is a failure, not its low part.
  if (position < 0 || position >= (off_t)OsFileFailed) return OsFileFailed;
  return (uint32_t)position;
}

uint32_t OsFileSize(OsFileHandle handle) {
  struct stat st;
  if (fstat(ToFd(handle), &st) != 0 || st.st_size >= (off_t)OsFileFailed) return OsFileFailed;
  return (uint32_t)st.st_size;
}

uint32_t OsFileDosDateTime(OsFileHandle handle) {
  struct stat st;
  struct tm t;
  if (fstat(ToFd(handle), &st) != 0 || !gmtime_r(&st.st_mtime, &t)) return 0;
  int year = t.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;  // outside the DOS range, as FileTimeToDosDateTime
  uint32_t date = (uint32_t)(year - 1980) << 9 | (uint32_t)(t.tm_mon + 1) << 5 | (uint32_t)t.tm_mday;
  uint32_t time = (uint32_t)t.tm_hour << 11 | (uint32_t)t.tm_min << 5 | (uint32_t)t.tm_sec / 2;
  return date << 16 | time;
}

uint32_t OsFileAttributes(const char* name) {
  char path[PathSize];
  struct stat st;
  if (!MapPath(name, path) || stat(path, &st) != 0) return OsAttrNone;
  return AttributesOf(st);
}

int OsLinkTarget(const char* name, char* out, size_t size) {
  char path[PathSize];
  struct stat st;
  if (!MapPath(name, path) || lstat(path, &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
  char* real = realpath(path, nullptr);
  if (real == nullptr) return 0;
  size_t n = strlen(real);
  int ok = n < size;
  if (ok) memcpy(out, real, n + 1);
  free(real);
  return ok;
}

int OsIsStandardOutput(const char* name) {
  char path[PathSize];
  struct stat st, out;
  if (!MapPath(name, path) || stat(path, &st) != 0 || fstat(1, &out) != 0) return 0;
  return st.st_dev == out.st_dev && st.st_ino == out.st_ino;
}

int OsFileSetReadOnly(const char* name, int readOnly) {
  char path[PathSize];
  struct stat st;
  if (!MapPath(name, path) || stat(path, &st) != 0) return 0;
  mode_t mode = readOnly ? st.st_mode & ~(mode_t)0222 : st.st_mode | S_IWUSR;
  return chmod(path, mode & 07777) == 0;
}

int OsFileDelete(const char* name) {
  char path[PathSize];
  struct stat st;
  if (!MapPath(name, path) || lstat(path, &st) != 0) return 0;
  // DeleteFileA refuses a directory and a read-only file; unlink would take the
  // latter (and root the former on some systems).
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return 0;
  }
  if (!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0) {
    errno = EACCES;
    return 0;
  }
  return unlink(path) == 0;
}

int OsFileMove(const char* fromName, const char* toName) {
  char from[PathSize], to[PathSize];
  if (!MapPath(fromName, from) || !MapPath(toName, to)) return 0;
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 1;
  if (errno != EINVAL && errno != ENOSYS) return 0;
#endif
  // Without an atomic no-replace rename: link fails if the target exists. This
  // moves files only, as a hard link cannot be made of a directory.
  if (link(from, to) != 0) return 0;
  if (unlink(from) != 0) {
    int saved = errno;
    unlink(to);
    errno = saved;
    return 0;
  }
  return 1;
}

int OsFileMoveReplace(const char* fromName, const char* toName) {
  char from[PathSize], to[PathSize];
  if (!MapPath(fromName, from) || !MapPath(toName, to)) return 0;
  return rename(from, to) == 0;
}

int OsFileMoveDurable(const char* fromName, const char* toName) {
  char from[PathSize], to[PathSize];
  if (!MapPath(fromName, from) || !MapPath(toName, to)) return 0;
  if (rename(from, to) != 0) return 0;
  // The rename is in the directory's entries: those reach the disk with it.
  char* slash = strrchr(to, '/');
  if (slash == to) {
    slash[1] = '\0';
  } else if (slash) {
    *slash = '\0';
  } else {
    strcpy(to, ".");
  }
  int fd = open(to, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  int ok = fsync(fd) == 0 || errno == EINVAL;  // a file system without fsync of directories
  int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

int OsDirWritable(const char* name) {
  char path[PathSize];
  if (!MapPath(name, path)) return 0;
#ifdef O_TMPFILE
  int fd = open(path, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    close(fd);
    return 1;
  }
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return 0;
#endif
  char probe[PathSize];
  int len = snprintf(probe, sizeof probe, "%s/~lzxprobe.tmp", path);
  if (len < 0 || len >= (int)sizeof probe) {
    errno = ENAMETOOLONG;
    return 0;
  }
  int made = open(probe, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (made < 0) return 0;
  unlink(probe);
  close(made);
  return 1;
}

int OsFileFlush(OsFileHandle handle) { return fsync(ToFd(handle)) == 0 || errno == EINVAL; }

void OsFileReserve(OsFileHandle handle, int64_t offset, int64_t bytes) {
#ifdef __linux__
  // A disk too full for it fails the writes themselves, with their message.
  int errnoBefore = errno;
  (void)fallocate(ToFd(handle), FALLOC_FL_KEEP_SIZE, (off_t)offset, (off_t)bytes);
  errno = errnoBefore;
#else
  (void)handle;
  (void)offset;
  (void)bytes;
#endif
}

void OsFileStartFlush(OsFileHandle handle) {
#ifdef __linux__
  // A failure here is found again by the flush that must succeed.
  int errnoBefore = errno;
  (void)sync_file_range(ToFd(handle), 0, 0, SYNC_FILE_RANGE_WRITE);
  errno = errnoBefore;
#else
  (void)handle;
#endif
}

int OsFreeSpace(const char* name, uint64_t* bytes) {
  char path[PathSize];
  struct statvfs st;
  if (!MapPath(name, path) || statvfs(path, &st) != 0) return 0;
  *bytes = (uint64_t)st.f_bavail * (uint64_t)st.f_frsize;
  return 1;
}

int OsLastErrorKind(void) {
  switch (errno) {
    case EWOULDBLOCK:
    case ETXTBSY:
    case EBUSY:
      return OsErrInUse;
    case EACCES:
    case EPERM:
    case EROFS:
      return OsErrAccess;
    case ENOSPC:
    case EDQUOT:
      return OsErrNoSpace;
    case ENOENT:
    case ENOTDIR:
      return OsErrNotFound;
    default:
      return OsErrOther;
  }
}

int OsDirCreate(const char* name) {
  char path[PathSize];
  return MapPath(name, path) && mkdir(path, 0777) == 0;
}

int OsDirRemove(const char* name) {
  char path[PathSize];
  return MapPath(name, path) && rmdir(path) == 0;
}

OsFindHandle OsFindFirst(const char* pattern, char name[OsFindNameSize]) {
  char path[PathSize];
  name[0] = '\0';
  if (!MapPath(pattern, path)) return 0;
  char* slash = strrchr(path, '/');
  const char* mask = slash ? slash + 1 : path;
  if (!*mask || strlen(mask) >= OsFindNameSize) return 0;
  FindState* state = nullptr;
  for (FindState& slot : FindTable)
    if (!slot.dir) {
      state = &slot;
      break;
    }
  if (!state) {
    errno = EMFILE;
    return 0;
  }
  strcpy(state->mask, mask);
  const char* dir = ".";
  if (slash == path) {
    dir = "/";
  } else if (slash) {
    *slash = '\0';
    dir = path;
  }
  state->dir = opendir(dir);
  if (!state->dir) return 0;
  if (!NextMatch(state, name)) {
    closedir(state->dir);
    state->dir = nullptr;
    errno = ENOENT;
    return 0;
  }
  return (OsFindHandle)state;
}

int OsFindNext(OsFindHandle find, char name[OsFindNameSize]) {
  name[0] = '\0';
  if (!find) return 0;
  return NextMatch((FindState*)find, name);
}

void OsFindClose(OsFindHandle find) {
  if (!find) return;
  FindState* state = (FindState*)find;
  closedir(state->dir);
  state->dir = nullptr;
}

int OsTempName(const char* dir, char* name, size_t size) {
  if (size < strlen(dir) + OsTempNameSize) {
    if (size) name[0] = '\0';
    errno = ENAMETOOLONG;
    return 0;
  }
  // "lz" + 5 hex digits of the process id + 4 of a counter + ".tmp": 15.
  unsigned pid = (unsigned)getpid() & 0xFFFFF;
  for (int tries = 0; tries < 0x10000; tries++) {
    snprintf(name, size, "%slz%05x%04x.tmp", dir, pid, TempCounter++ & 0xFFFF);
    char path[PathSize];
    struct stat st;
    if (!MapPath(name, path)) break;
    if (lstat(path, &st) == 0) continue;  // taken
    if (errno == ENOENT) return 1;
    break;  // the directory cannot be examined: its error stays for the caller
  }
  name[0] = '\0';
  return 0;
}

int OsTempDir(char* dir, size_t size) {
  const char* tmp = getenv("TMPDIR");
  if (tmp == nullptr || tmp[0] != '/') tmp = "/tmp";
  size_t n = strlen(tmp);
  int slash = tmp[n - 1] == '/';
  if (n + !slash + 1 > size) return 0;
  memcpy(dir, tmp, n);
  if (!slash) dir[n++] = '/';
  dir[n] = '\0';
  return 1;
}
#endif
