// Tracked memory blocks: large working buffers taken from the system's global
// memory and recorded in a fixed table of 200 slots.
#pragma once

enum { BlockSlots = 200 };

// At least size bytes (0 becomes 2, odd sizes are rounded up by one); never
// returns on failure. Contents are not initialised.
void* BlockAlloc(int size);

// Returns a block; an address not in the table is ignored.
void BlockFree(void* address);

// Number of slots in use, and the rounded size of the block at address (0 when
// it is not in the table); for tests and leak checks.
int BlockCount(void);
int BlockSize(const void* address);
