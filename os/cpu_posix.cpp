#ifndef _WIN32
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "os/cpu.h"

int OsCpuMaxCores(const char* text) {
  char* end;
  long long quota = strtoll(text, &end, 10);
  if (end == text || *end != ' ' || quota <= 0) return 0;
  const char* at = end + 1;
  long long period = strtoll(at, &end, 10);
  if (end == at || (*end != '\n' && *end != 0) || period <= 0) return 0;
  long long n = (quota + period - 1) / period;
  return n > 1 << 20 ? 1 << 20 : (int)n;
}

namespace {

#ifdef __linux__
// The least quota of the process's control group (cgroup v2) and the groups
// above it; 0 where none has one.
int QuotaCores(void) {
  char line[512] = {0};
  FILE* f = fopen("/proc/self/cgroup", "r");
  if (f == nullptr) return 0;
  int found = 0;
  while (fgets(line, sizeof line, f) != nullptr) {
    if (strncmp(line, "0::", 3) == 0) {
      found = 1;
      break;
    }
  }
  fclose(f);
  if (!found) return 0;
  line[strcspn(line, "\n")] = 0;
  const char root[] = "/sys/fs/cgroup";
  char dir[sizeof root + sizeof line];
  snprintf(dir, sizeof dir, "%s%s", root, strcmp(line + 3, "/") == 0 ? "" : line + 3);
  int least = 0;
  for (;;) {
    char name[sizeof dir + 16];
    snprintf(name, sizeof name, "%s/cpu.max", dir);
    FILE* m = fopen(name, "r");
    if (m != nullptr) {
      char text[64];
      int n = fgets(text, sizeof text, m) != nullptr ? OsCpuMaxCores(text) : 0;
      fclose(m);
      if (n > 0 && (least == 0 || n < least)) least = n;
    }
    if (strlen(dir) <= sizeof root - 1) break;
    *strrchr(dir, '/') = 0;
  }
  return least;
}
#endif

}  // namespace

int OsBindThread(int index, int threads) {
#ifdef __linux__
  // Linux wakes a thread on the processor of the thread that wakes it where
  // it judges that to pay; the woken thread then waits there, behind the
  // other, for milliseconds, while a processor stands idle.
  //
  // The process's set as it was before thread 0 held itself to one of it:
  // the threads it starts afterwards inherit the one processor.
  static cpu_set_t all;
  static int first = -1;
  if (index == 0) {
    CPU_ZERO(&all);
    first = sched_getaffinity(0, sizeof all, &all) == 0 ? sched_getcpu() : -1;
    if (first >= 0 && !CPU_ISSET(first, &all)) first = -1;
  }
  if (threads < 2 || first < 0 || index < 0 || index >= threads || CPU_COUNT(&all) != threads) return 0;
  // The index-th processor of the set after the first, in turn.
  int cpu = first;
  for (int k = 0; k < index;) {
    cpu = (cpu + 1) % CPU_SETSIZE;
    if (CPU_ISSET(cpu, &all)) k++;
  }
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  return sched_setaffinity(0, sizeof one, &one) == 0;
#else
  (void)index;
  (void)threads;
  return 0;
#endif
}

int OsCoreCount(void) {
  long n = 0;
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
  int quota = QuotaCores();
  if (quota > 0 && (n <= 0 || quota < n)) n = quota;
#endif
  if (n <= 0) n = sysconf(_SC_NPROCESSORS_ONLN);
  return n < 1 ? 1 : n > 1 << 20 ? 1 << 20 : (int)n;
}

#endif
