// Worker threads of the tool. The calling thread fills numbered slots of
// its own, hands each to the workers (PoolSubmit), and takes them back in the
// order it wants (PoolWait); the workers run the work function on a slot,
// each with its own copy of the coders' state. The calling thread is the
// last of the threads: while it waits it runs the slots that no worker has
// begun.
//
// A work function that ends in a fatal error on a worker does not end the
// process: the slot comes back marked failed, and the caller redoes that
// work on its own thread, where the fatal path reports it as a single
// thread would have.
#pragma once

enum {
  PoolMaxThreads = 64,
  PoolMaxSlots = 256,
};

typedef void (*PoolWork)(int slot, void* context);

// The number of cores, 1 to PoolMaxThreads: those the process may use
// (OsCoreCount), or the environment variable LZX_CORES where it is set to a
// number.
int PoolCores(void);
// The cores; 1 where the coders' state is shared by all threads
// (LzxPerThreadState 0).
int PoolDefaultThreads(void);
// The thread count to use for the one asked for: at most the cores, since
// threads that wait for a core only add switches between them (on 2 cores,
// 4 threads took longer than 1); 1 where the state is shared.
int PoolUsable(int threads);

// Makes sure that threads - 1 workers run (they stay for the life of the
// process) and sets their work. Only while no slot is out with the workers.
void PoolBegin(int threads, PoolWork work, void* context);

// Slot numbers are 0..PoolMaxSlots-1; a slot is submitted again only after
// PoolWait has given it back.
void PoolSubmit(int slot);

// Waits until the slot's work is done, running waiting slots on the calling
// thread meanwhile; returns 0, or 1 when it ended in a fatal error.
int PoolWait(int slot);
