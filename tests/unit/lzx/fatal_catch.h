// The fatal path caught in the test process: the presenter shows nothing and
// the terminator jumps back into the call that ended there, so that hundreds
// of damaged blocks run in one process (and under the sanitizers in that
// build). What the codec left behind is then only its module state, which the
// next call sets up afresh.
#pragma once

#include <setjmp.h>

#include "base/fatal.h"
#include "lzx/rle.h"

namespace fatal_catch {

inline jmp_buf& Escape() {
  static jmp_buf escape;
  return escape;
}
inline void JumpBack(int) { longjmp(Escape(), 1); }
inline int Silent(const char*) { return 1; }

}  // namespace fatal_catch

// Held by a fixture: the fatal path is caught while the test runs.
struct CatchFatal {
  CatchFatal() {
    FatalSetPresenter(fatal_catch::Silent);
    FatalSetTerminator(fatal_catch::JumpBack);
  }
  ~CatchFatal() {
    FatalSetTerminator(nullptr);
    FatalSetPresenter(nullptr);
  }
};

// A block unpacker run on BitBuf: false when it ended on the fatal path
// (FatalLastText() says how), otherwise *result is what it returned.
inline bool Survives(int (*unpack)(int), int bits, int* result) {
  if (setjmp(fatal_catch::Escape())) return false;
  *result = unpack(bits);
  return true;
}

// The run-length stage's unpacker run on RleBuf, into output.
inline bool RleSurvives(void (*unpack)(int, unsigned char*), int length, unsigned char* output) {
  if (setjmp(fatal_catch::Escape())) return false;
  unpack(length, output);
  return true;
}
