#ifndef _WIN32
#include "os/files.h"

// Not yet implemented: every call fails.
OsFileHandle OsFileOpen(const char*, int) { return 0; }
void OsFileClose(OsFileHandle) {}
int OsFileRead(OsFileHandle, void*, uint32_t, uint32_t* done) {
  *done = 0;
  return 0;
}
int OsFileWrite(OsFileHandle, const void*, uint32_t, uint32_t* done) {
  *done = 0;
  return 0;
}
uint32_t OsFileSeek(OsFileHandle, int32_t, int) { return OsFileFailed; }
uint32_t OsFileSize(OsFileHandle) { return OsFileFailed; }
uint32_t OsFileDosDateTime(OsFileHandle) { return 0; }
uint32_t OsFileAttributes(const char*) { return OsAttrNone; }
int OsFileDelete(const char*) { return 0; }
int OsFileMove(const char*, const char*) { return 0; }
int OsFileMoveReplace(const char*, const char*) { return 0; }
int OsDirCreate(const char*) { return 0; }
int OsDirRemove(const char*) { return 0; }
OsFindHandle OsFindFirst(const char*, char name[OsFindNameSize]) {
  name[0] = '\0';
  return 0;
}
int OsFindNext(OsFindHandle, char name[OsFindNameSize]) {
  name[0] = '\0';
  return 0;
}
void OsFindClose(OsFindHandle) {}
int OsTempName(char* name, size_t size) {
  if (size) name[0] = '\0';
  return 0;
}
#endif
