#ifdef _WIN32
#include <windows.h>

#include "os/cpu.h"

int OsBindThread(int index, int threads) {
  (void)index;
  (void)threads;
  return 0;
}

int OsCoreCount(void) {
  DWORD_PTR process = 0, system = 0;
  int n = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    for (; process != 0; process &= process - 1) n++;
  }
  if (n < 1) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    n = (int)info.dwNumberOfProcessors;
  }
  return n < 1 ? 1 : n;
}

#endif
