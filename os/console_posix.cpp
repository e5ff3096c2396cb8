#ifndef _WIN32
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "os/console.h"

int OsStderrIsTerminal(void) { return isatty(2) ? 1 : 0; }

uint64_t OsClockMs(void) {
  struct timespec t;
  if (clock_gettime(CLOCK_MONOTONIC, &t) != 0) return 0;
  return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

namespace {

volatile sig_atomic_t Caught;

// SA_RESETHAND gives each signal back its default at once: a second one ends
// the process.
void OnSignal(int signal) { Caught = signal; }

}  // namespace

void OsCatchInterrupts(void) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigemptyset(&action.sa_mask);
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  for (int s : signals) {
    struct sigaction old;
    // A signal that the caller ignores (a job started with nohup) stays so.
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(s, &action, nullptr);
  }
}

int OsInterrupted(void) { return Caught; }
#endif
