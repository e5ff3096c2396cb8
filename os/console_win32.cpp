#ifdef _WIN32
#include <windows.h>

#include "os/console.h"

int OsStderrIsTerminal(void) { return GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR ? 1 : 0; }

uint64_t OsClockMs(void) { return GetTickCount64(); }
#endif
