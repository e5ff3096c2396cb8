#ifdef _WIN32
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "os/files.h"

namespace {

HANDLE ToHandle(OsFileHandle handle) { return (HANDLE)handle; }

unsigned TempCounter;

void CopyFoundName(const WIN32_FIND_DATAA& data, char name[OsFindNameSize]) {
  strncpy(name, data.cFileName, OsFindNameSize - 1);
  name[OsFindNameSize - 1] = '\0';
}

}  // namespace

OsFileHandle OsFileOpen(const char* name, int mode) {
  DWORD access, share, creation;
  switch (mode) {
    case OsOpenRead:
      access = GENERIC_READ, share = FILE_SHARE_READ, creation = OPEN_EXISTING;
      break;
    case OsOpenCreate:
      access = GENERIC_WRITE, share = 0, creation = CREATE_ALWAYS;
      break;
    case OsOpenAppend:
      access = GENERIC_WRITE, share = 0, creation = OPEN_ALWAYS;
      break;
    case OsOpenReadWrite:
      access = GENERIC_READ | GENERIC_WRITE, share = 0, creation = OPEN_ALWAYS;
      break;
    case OsOpenExclusiveRead:
      access = GENERIC_READ, share = 0, creation = OPEN_EXISTING;
      break;
    case OsOpenProbeWrite:
      access = GENERIC_WRITE | DELETE, share = 0, creation = OPEN_EXISTING;
      break;
    default:
      return 0;
  }
  HANDLE handle = CreateFileA(name, access, share, nullptr, creation, 0, nullptr);
  // A valid handle is never null, so 0 can stand for "closed".
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return 0;
  return (OsFileHandle)handle;
}

void OsFileClose(OsFileHandle handle) {
  if (handle) CloseHandle(ToHandle(handle));
}

int OsFileRead(OsFileHandle handle, void* buffer, uint32_t size, uint32_t* done) {
  DWORD n = 0;
  BOOL ok = ReadFile(ToHandle(handle), buffer, size, &n, nullptr);
  *done = n;
  return ok ? 1 : 0;
}

int OsFileWrite(OsFileHandle handle, const void* buffer, uint32_t size, uint32_t* done) {
  DWORD n = 0;
  BOOL ok = WriteFile(ToHandle(handle), buffer, size, &n, nullptr);
  *done = n;
  return ok ? 1 : 0;
}

uint32_t OsFileSeek(OsFileHandle handle, int32_t distance, int origin) {
  // The high part is asked for only to refuse a position beyond 32 bits, which
  // would otherwise come back as its low part.
  LONG high = distance < 0 ? -1 : 0;
  DWORD low = SetFilePointer(ToHandle(handle), distance, &high, (DWORD)origin);
  if (low == INVALID_SET_FILE_POINTER || high != 0) return OsFileFailed;
  return low;
}

uint32_t OsFileSize(OsFileHandle handle) {
  DWORD high = 0;
  DWORD low = GetFileSize(ToHandle(handle), &high);
  if (low == INVALID_FILE_SIZE || high != 0) return OsFileFailed;
  return low;
}

uint32_t OsFileDosDateTime(OsFileHandle handle) {
  FILETIME written = {0, 0};
  WORD date = 0, time = 0;
  GetFileTime(ToHandle(handle), nullptr, nullptr, &written);
  FileTimeToDosDateTime(&written, &date, &time);
  return (uint32_t)date << 16 | time;
}

uint32_t OsFileAttributes(const char* path) { return GetFileAttributesA(path); }

int OsLinkTarget(const char*, char*, size_t) { return 0; }

int OsIsStandardOutput(const char*) { return 0; }

int OsFileSetReadOnly(const char* path, int readOnly) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  attributes = readOnly ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~(DWORD)FILE_ATTRIBUTE_READONLY;
  return SetFileAttributesA(path, attributes) ? 1 : 0;
}

int OsFileDelete(const char* path) { return DeleteFileA(path) ? 1 : 0; }

int OsFileMove(const char* from, const char* to) { return MoveFileA(from, to) ? 1 : 0; }

int OsFileMoveReplace(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? 1 : 0;
}

int OsFileMoveDurable(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}

int OsDirWritable(const char* dir) {
  char probe[MAX_PATH];
  size_t n = strlen(dir);
  const char* sep = n > 0 && (dir[n - 1] == '\\' || dir[n - 1] == '/' || dir[n - 1] == ':') ? "" : "\\";
  int len = snprintf(probe, sizeof probe, "%s%s~lzxprobe.tmp", dir, sep);
  if (len < 0 || len >= (int)sizeof probe) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return 0;
  }
  HANDLE h = CreateFileA(probe, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(h);
  return 1;
}

int OsFileFlush(OsFileHandle handle) { return FlushFileBuffers(ToHandle(handle)) ? 1 : 0; }

// FlushFileBuffers is the only way and waits; the lazy writer has begun anyway.
void OsFileStartFlush(OsFileHandle) {}

void OsFileReserve(OsFileHandle, int64_t, int64_t) {}

int OsFreeSpace(const char* dir, uint64_t* bytes) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(dir, &available, nullptr, nullptr)) return 0;
  *bytes = available.QuadPart;
  return 1;
}

int OsLastErrorKind(void) {
  switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return OsErrInUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return OsErrAccess;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return OsErrNoSpace;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return OsErrNotFound;
    default:
      return OsErrOther;
  }
}

int OsDirCreate(const char* path) { return CreateDirectoryA(path, nullptr) ? 1 : 0; }

int OsDirRemove(const char* path) { return RemoveDirectoryA(path) ? 1 : 0; }

OsFindHandle OsFindFirst(const char* pattern, char name[OsFindNameSize]) {
  WIN32_FIND_DATAA data;
  name[0] = '\0';
  HANDLE find = FindFirstFileA(pattern, &data);
  if (find == INVALID_HANDLE_VALUE || find == nullptr) return 0;
  CopyFoundName(data, name);
  return (OsFindHandle)find;
}

int OsFindNext(OsFindHandle find, char name[OsFindNameSize]) {
  WIN32_FIND_DATAA data;
  name[0] = '\0';
  if (!find || !FindNextFileA((HANDLE)find, &data)) return 0;
  CopyFoundName(data, name);
  return 1;
}

void OsFindClose(OsFindHandle find) {
  if (find) FindClose((HANDLE)find);
}

int OsTempName(const char* dir, char* name, size_t size) {
  if (size < strlen(dir) + OsTempNameSize) {
    if (size) name[0] = '\0';
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  // "lz" + 5 hex digits of the process id + 4 of a counter + ".tmp": 15.
  unsigned pid = (unsigned)GetCurrentProcessId() & 0xFFFFF;
  for (int tries = 0; tries < 0x10000; tries++) {
    snprintf(name, size, "%slz%05x%04x.tmp", dir, pid, TempCounter++ & 0xFFFF);
    if (GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES) continue;  // taken
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return 1;
    break;  // the directory cannot be examined: its error stays for the caller
  }
  name[0] = '\0';
  return 0;
}

int OsTempDir(char* dir, size_t size) {
  char path[MAX_PATH];
  DWORD n = GetTempPathA(sizeof path, path);
  if (n == 0 || n >= sizeof path || n + 1 > size) return 0;
  memcpy(dir, path, n + 1);
  return 1;
}
#endif
