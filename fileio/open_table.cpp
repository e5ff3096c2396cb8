// The open-file table: every handle of the file layer from its open to its
// close, so that the fatal path can close them and the end of a run can check
// that none was left open.
#include <string.h>

#include "base/trace.h"
#include "fileio/file.h"
#include "fileio/names.h"

namespace {

OsFileHandle OpenHandles[OpenFileSlots];  // 0 = free
char OpenNames[OpenFileSlots][FileNameSize];
bool OpenTemporary[OpenFileSlots];  // removed when the fatal path closes it

// Registered scratch files and the files they stand for; an empty path is a
// free slot.
char ScratchPaths[FileScratchSlots][FileNameSize];
char ScratchFor[FileScratchSlots][FileNameSize];

}  // namespace

void FileScratchAdd(const char* path, const char* standsFor) {
  FatalSetCloseHook(OpenFileCloseAll);
  for (int i = 0; i < FileScratchSlots; i++) {
    if (ScratchPaths[i][0] == '\0') {
      CopyName(ScratchPaths[i], FileNameSize, path);
      CopyName(ScratchFor[i], FileNameSize, standsFor ? standsFor : path);
      return;
    }
  }
  InternalError("FILEIO", __LINE__, 98);
}

void FileScratchDone(const char* path) {
  for (int i = 0; i < FileScratchSlots; i++) {
    if (ScratchPaths[i][0] != '\0' && strcmp(ScratchPaths[i], path) == 0) {
      ScratchPaths[i][0] = '\0';
      ScratchFor[i][0] = '\0';
      return;
    }
  }
}

const char* FileScratchStandsFor(const char* path) {
  for (int i = 0; i < FileScratchSlots; i++)
    if (ScratchPaths[i][0] != '\0' && strcmp(ScratchPaths[i], path) == 0) return ScratchFor[i];
  const char* target = TxStandsFor(path);
  return target ? target : path;
}

void OpenFileAdd(const FileRec* rec) {
  // Registered here as well as in OpenFileReset, so that a program that never
  // resets the table still has its files closed on a fatal error.
  FatalSetCloseHook(OpenFileCloseAll);
  for (int i = 0; i < OpenFileSlots; i++) {
    if (OpenHandles[i] == 0) {
      OpenHandles[i] = rec->handle;
      memcpy(OpenNames[i], rec->name, FileNameSize);
      OpenTemporary[i] = false;
      return;
    }
    if (OpenHandles[i] == rec->handle) InternalError("FILEIO", __LINE__, 95);
  }
  InternalError("FILEIO", __LINE__, 94);
}

void OpenFileRemove(const FileRec* rec) {
  for (int i = 0; i < OpenFileSlots; i++) {
    if (OpenHandles[i] == rec->handle) {
      OpenHandles[i] = 0;
      OpenNames[i][0] = '\0';
      return;
    }
  }
  char shortName[FatalTextSize - 20];
  FatalMessage("Illegal unstack [%s]", ShortName(rec->name, shortName, sizeof shortName - 1));
}

void OpenFileTemporary(const FileRec* rec) {
  for (int i = 0; i < OpenFileSlots; i++) {
    if (OpenHandles[i] != 0 && OpenHandles[i] == rec->handle) {
      OpenTemporary[i] = true;
      return;
    }
  }
}

void OpenFileCloseAll(void) {
  for (int i = 0; i < OpenFileSlots; i++) {
    if (OpenHandles[i]) {
      OsFileClose(OpenHandles[i]);
      if (OpenTemporary[i]) OsFileDelete(OpenNames[i]);
    }
    OpenHandles[i] = 0;
    OpenTemporary[i] = false;
  }
  for (int i = 0; i < FileScratchSlots; i++) {
    if (ScratchPaths[i][0] != '\0') OsFileDelete(ScratchPaths[i]);
    ScratchPaths[i][0] = '\0';
  }
}

int OpenFileAnyLeft(void) {
  for (int i = 0; i < OpenFileSlots; i++) {
    if (OpenHandles[i]) {
      TraceLine("\nFile not closed [%s]", OpenNames[i]);
      return 1;
    }
  }
  return 0;
}

int OpenFileReset(void) {
  for (int i = 0; i < OpenFileSlots; i++) {
    OpenHandles[i] = 0;
    OpenTemporary[i] = false;
  }
  FatalSetCloseHook(OpenFileCloseAll);
  return 0;
}
