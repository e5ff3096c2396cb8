#include "tools/pool.h"

#include <setjmp.h>
#include <stdlib.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/fatal.h"
#include "base/perthread.h"
#include "os/cpu.h"

namespace {

// Never destroyed: the workers wait on them until the process ends, and
// destroying a condition that a thread waits on would hang the exit.
std::mutex& Lock = *new std::mutex;
std::condition_variable& WorkReady = *new std::condition_variable;
std::condition_variable& WorkDone = *new std::condition_variable;

// Submitted slots, taken in order: QueueHead <= QueueTail, both counted on.
int Queue[PoolMaxSlots];
unsigned QueueHead, QueueTail;
unsigned char Done[PoolMaxSlots];
unsigned char Failed[PoolMaxSlots];
PoolWork Work;
void* Context;
// The slot that the calling thread sleeps on, or -1: a worker wakes it only
// for that one, not for every slot done.
int Awaited = -1;
int Workers;
int WorkersStarted;
// The thread count the threads were bound to processors for (OsBindThread),
// or 0 where they were not.
int BoundFor;
std::thread* WorkerThreads[PoolMaxThreads];

LZX_PER_THREAD jmp_buf* TrapTarget;

void Trap(void) { longjmp(*TrapTarget, 1); }

// The coders keep nothing from one block to the next, so a worker whose
// work was cut short by the trap is ready for the next slot.
int RunTrapped(PoolWork work, int slot, void* context) {
  jmp_buf target;
  TrapTarget = &target;
  if (setjmp(target)) {
    FatalSetThreadTrap(nullptr);
    return 1;
  }
  FatalSetThreadTrap(Trap);
  work(slot, context);
  FatalSetThreadTrap(nullptr);
  return 0;
}

void Worker(int index) {
  if (BoundFor > 0) OsBindThread(index, BoundFor);
  std::unique_lock<std::mutex> hold(Lock);
  WorkersStarted++;
  WorkDone.notify_all();
  for (;;) {
    WorkReady.wait(hold, [] { return QueueHead != QueueTail; });
    int slot = Queue[QueueHead++ % PoolMaxSlots];
    PoolWork work = Work;
    void* context = Context;
    hold.unlock();
    int failed = RunTrapped(work, slot, context);
    hold.lock();
    Failed[slot] = (unsigned char)failed;
    Done[slot] = 1;
    if (slot == Awaited) WorkDone.notify_all();
  }
}

}  // namespace

int PoolCores(void) {
  static int cores = 0;  // counted once: the count reads the system's files
  if (cores > 0) return cores;
  // LZX_CORES stands for the machine's count where that is wrong (a share of
  // a larger machine) or, in the tests, to run more threads than there are.
  const char* given = getenv("LZX_CORES");
  char* end = nullptr;
  long n = given != nullptr && *given != 0 ? strtol(given, &end, 10) : 0;
  if (end == nullptr || *end != 0 || n < 1) n = OsCoreCount();
  cores = n > PoolMaxThreads ? PoolMaxThreads : (int)n;
  return cores;
}

int PoolUsable(int threads) {
  if (!LzxPerThreadState) return 1;
  int cores = PoolCores();
  return threads < cores ? threads : cores;
}

int PoolDefaultThreads(void) { return LzxPerThreadState ? PoolCores() : 1; }

void PoolBegin(int threads, PoolWork work, void* context) {
  if (threads > PoolMaxThreads) threads = PoolMaxThreads;
  std::unique_lock<std::mutex> hold(Lock);
  if (QueueHead != QueueTail) {
    hold.unlock();  // the fatal path may wait for the slots out
    InternalError("LZX", __LINE__, 1);
  }
  Work = work;
  Context = context;
  // Workers wait for the rest of the process; a thread object that is never
  // destroyed lets the process end at any point, also on the fatal path.
  // A thread of its own for each processor, where there are as many: a
  // worker woken onto the calling thread's processor waits behind it.
  if (Workers == 0 && threads > 1) BoundFor = OsBindThread(0, threads) ? threads : 0;
  for (; Workers < threads - 1; Workers++) {
    WorkerThreads[Workers] = new std::thread(Worker, Workers + 1);
    WorkerThreads[Workers]->detach();
  }
  // A new thread starts on the processor of the thread that made it, and
  // waits there until that one stops: the calling thread waits for the
  // workers to start, once, instead of working ahead of them for
  // milliseconds.
  WorkDone.wait(hold, [] { return WorkersStarted == Workers; });
}

void PoolSubmit(int slot) {
  if (slot < 0 || slot >= PoolMaxSlots) InternalError("LZX", __LINE__, slot);
  {
    std::lock_guard<std::mutex> hold(Lock);
    Done[slot] = 0;
    Queue[QueueTail++ % PoolMaxSlots] = slot;
  }
  WorkReady.notify_one();
}

int PoolWait(int slot) {
  if (slot < 0 || slot >= PoolMaxSlots) InternalError("LZX", __LINE__, slot);
  std::unique_lock<std::mutex> hold(Lock);
  while (!Done[slot]) {
    if (QueueHead == QueueTail) {
      // Only the calling thread submits, so nothing new comes while it sleeps.
      Awaited = slot;
      WorkDone.wait(hold);
      Awaited = -1;
      continue;
    }
    // The calling thread is one of the threads: it takes the oldest slot no
    // worker has begun (often the one it waits for) instead of sleeping.
    int next = Queue[QueueHead++ % PoolMaxSlots];
    PoolWork work = Work;
    void* context = Context;
    hold.unlock();
    int failed = RunTrapped(work, next, context);
    hold.lock();
    Failed[next] = (unsigned char)failed;
    Done[next] = 1;
  }
  Done[slot] = 0;
  return Failed[slot];
}
