#ifndef _WIN32
#include <time.h>
#include <unistd.h>

#include "os/console.h"

int OsStderrIsTerminal(void) { return isatty(2) ? 1 : 0; }

uint64_t OsClockMs(void) {
  struct timespec t;
  if (clock_gettime(CLOCK_MONOTONIC, &t) != 0) return 0;
  return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}
#endif
