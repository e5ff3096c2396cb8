// The terminal and the clock, as a front end's progress display needs them.
#pragma once

#include <stdint.h>

// 1 if standard error is a terminal (isatty; Win32: a character device).
int OsStderrIsTerminal(void);
// Milliseconds of a monotonic clock, from an arbitrary start.
uint64_t OsClockMs(void);

// Catches a request to end the program (POSIX: SIGINT, SIGTERM and SIGHUP;
// Win32: Ctrl+C, Ctrl+Break and the closing of the console) once: the first
// only sets what OsInterrupted returns, so that the program can stop at a
// point of its own, with its files in order; a second ends it at once. For a
// program that asks OsInterrupted as it goes.
void OsCatchInterrupts(void);
// The request caught (POSIX: its signal number; Win32: 1), or 0.
int OsInterrupted(void);
