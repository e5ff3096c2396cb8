#include "faults/fault_seam.h"

#include "os/files.h"

int64_t FaultWriteBudget = -1;
int64_t FaultBytesWritten = 0;
int FaultMoveBudget = -1;

// The seam's functions under their linker names, given by the build
// (FAULT_WRITE, FAULT_MOVE_REPLACE); the real ones are __real_<name>.
#define FAULT_CAT(a, b) a##b
#define FAULT_REAL(name) FAULT_CAT(__real_, name)
#define FAULT_WRAP(name) FAULT_CAT(__wrap_, name)

extern "C" int FAULT_REAL(FAULT_WRITE)(OsFileHandle handle, const void* buffer, uint32_t size, uint32_t* done);
extern "C" int FAULT_REAL(FAULT_MOVE_REPLACE)(const char* from, const char* to);

extern "C" int FAULT_WRAP(FAULT_WRITE)(OsFileHandle handle, const void* buffer, uint32_t size, uint32_t* done) {
  if (FaultWriteBudget < 0 || (int64_t)size <= FaultWriteBudget) {
    int ok = FAULT_REAL(FAULT_WRITE)(handle, buffer, size, done);
    FaultBytesWritten += *done;
    if (FaultWriteBudget >= 0) FaultWriteBudget -= *done;
    return ok;
  }
  uint32_t fits = (uint32_t)FaultWriteBudget;
  FaultWriteBudget = 0;
  *done = 0;
  if (fits > 0) FAULT_REAL(FAULT_WRITE)(handle, buffer, fits, done);
  FaultBytesWritten += *done;
  return 0;
}

extern "C" int FAULT_WRAP(FAULT_MOVE_REPLACE)(const char* from, const char* to) {
  if (FaultMoveBudget == 0) return 0;
  if (FaultMoveBudget > 0) FaultMoveBudget--;
  return FAULT_REAL(FAULT_MOVE_REPLACE)(from, to);
}
