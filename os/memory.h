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
// language, on Win32; strerror(errno) on POSIX), copied into text and cut to fit.
void OsLastErrorText(char* text, size_t size);
