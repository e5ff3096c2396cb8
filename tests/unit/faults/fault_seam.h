// Faults injected under the file layer: the test program is linked with the
// platform seam's write and move wrapped (--wrap), so a disk can fill up or a
// move fail at a chosen point while everything above runs unchanged.
#pragma once

#include <stdint.h>

// Bytes that writes may still store; a write beyond them stores what fits and
// fails as a full disk does. -1: no limit.
extern int64_t FaultWriteBudget;
// Bytes written through the seam so far (counted also without a limit).
extern int64_t FaultBytesWritten;
// Moves of a commit that may still succeed; -1: no limit.
extern int FaultMoveBudget;
