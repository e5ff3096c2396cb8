// Global memory blocks and the system's error text.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uintptr_t OsMemHandle;  // 0 = none

// A movable block of size bytes (GlobalAlloc GMEM_MOVEABLE on Win32); 0 on failure.
OsMemHandle OsMemAlloc(size_t size);
// Locks the block and returns its address (GlobalLock); 0 on failure.
void* OsMemLock(OsMemHandle handle);
// Unlocks and frees the block (GlobalUnlock, GlobalFree).
void OsMemFree(OsMemHandle handle);

// The system's text for the last error (FormatMessageA from the system, neutral
// language, on Win32; strerror(errno) on POSIX), copied into text and cut to
// fit, without a trailing line end; empty when no error is recorded.
void OsLastErrorText(char* text, size_t size);
// Forgets the last error (SetLastError(0); errno = 0), so that a failure found
// without a system call reports no stale cause.
void OsClearLastError(void);
