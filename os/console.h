// The terminal and the clock, as a front end's progress display needs them.
#pragma once

#include <stdint.h>

// 1 if standard error is a terminal (isatty; Win32: a character device).
int OsStderrIsTerminal(void);
// Milliseconds of a monotonic clock, from an arbitrary start.
uint64_t OsClockMs(void);
