#ifndef _WIN32
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "os/memory.h"

// POSIX has no movable memory: the handle is the address itself.
OsMemHandle OsMemAlloc(size_t size) { return (OsMemHandle)malloc(size); }

void* OsMemLock(OsMemHandle handle) { return (void*)handle; }

void OsMemFree(OsMemHandle handle) { free((void*)handle); }

void OsLastErrorText(char* text, size_t size) {
  if (size == 0) return;
  text[0] = '\0';
  if (errno == 0) return;
  strncpy(text, strerror(errno), size - 1);
  text[size - 1] = '\0';
}

void OsClearLastError(void) { errno = 0; }
#endif
