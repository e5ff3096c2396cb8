// What every fuzz target shares: the fatal path returns to the fuzzing loop
// instead of ending the process, every input runs in a scratch directory, and
// after each input nothing may be left open or allocated. The targets change
// into a directory of their own under /tmp on the first input: give them
// absolute paths for corpora and artefacts.
#pragma once

#include <stddef.h>
#include <stdint.h>

// One input. Called again for every input; a fatal error inside it returns to
// FuzzRun through the terminator, which longjmps back.
typedef void (*FuzzBody)(const uint8_t* data, size_t size);

// Runs body once under the fatal path and checks that afterwards no file is
// open, no memory block is taken and no compressed file is still allocated
// (after a fatal error the harness releases those, as the process would end).
// Returns 1 if body returned, 0 if it ended through the fatal path.
int FuzzRun(FuzzBody body, const uint8_t* data, size_t size);

// Writes size bytes to name in the scratch directory (the current directory).
void FuzzWriteFile(const char* name, const uint8_t* data, size_t size);
// Removes a file or a directory tree below the scratch directory.
void FuzzRemove(const char* path);
// Empties the scratch directory.
void FuzzClearScratch(void);
