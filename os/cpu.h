// The processors a process may use.
#pragma once

// The processors this process may run on, at least 1: those its affinity
// allows (GetProcessAffinityMask / sched_getaffinity) and, on Linux, no more
// than the CPU quota (cgroup v2) of its control group and the groups above
// it, rounded up (a container given 2 CPUs of a 64-processor machine has 2).
int OsCoreCount(void);

// POSIX only: the processors a control group's "cpu.max" text allows: its
// quota divided by its period, rounded up; 0 for "max" (no quota) or a text
// that says neither.
int OsCpuMaxCores(const char* text);
