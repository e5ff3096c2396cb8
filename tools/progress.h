// The one-line progress display of the tool's long commands: bytes done of
// the total, percent and MB/s on standard error, redrawn at most ten times a
// second and erased at the end. Off unless enabled (standard error a terminal
// and no -q); then every call is a no-op.
#pragma once

#include <stdint.h>

// Begins a display labelled what (a command word) over total bytes (0:
// unknown, shown without total and percent).
void ProgressStart(const char* what, int64_t total, int enabled);
void ProgressSet(int64_t done);
// Erases the line, for other output; the next ProgressSet draws it again.
void ProgressClear(void);
// Erases the line and ends the display.
void ProgressEnd(void);
