#ifdef _WIN32
#include <windows.h>

#include "os/console.h"

int OsStderrIsTerminal(void) { return GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR ? 1 : 0; }

uint64_t OsClockMs(void) { return GetTickCount64(); }

namespace {

volatile LONG Caught;

// The first request is taken; for a second one the handler declines, and the
// system's default ends the process.
BOOL WINAPI OnControl(DWORD) { return InterlockedExchange(&Caught, 1) == 0 ? TRUE : FALSE; }

}  // namespace

void OsCatchInterrupts(void) { SetConsoleCtrlHandler(OnControl, TRUE); }

int OsInterrupted(void) { return Caught ? 1 : 0; }
#endif
