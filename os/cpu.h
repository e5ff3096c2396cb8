// The processors a process may use.
#pragma once

// The processors this process may run on, at least 1: those its affinity
// allows (GetProcessAffinityMask / sched_getaffinity) and, on Linux, no more
// than the CPU quota (cgroup v2) of its control group and the groups above
// it, rounded up (a container given 2 CPUs of a 64-processor machine has 2).
int OsCoreCount(void);

// Holds thread index of a group of threads (0: the one that starts the
// others, and calls first) to a processor of its own, where the group has a
// thread for each processor the process may use; returns 1 when it did.
// Thread 0 keeps the processor it is on, the others take those after it. A
// smaller or larger group is left to the scheduler. Windows: does nothing.
int OsBindThread(int index, int threads);

// POSIX only: the processors a control group's "cpu.max" text allows: its
// quota divided by its period, rounded up; 0 for "max" (no quota) or a text
// that says neither.
int OsCpuMaxCores(const char* text);
