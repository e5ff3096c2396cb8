#include "base/fatal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/perthread.h"

namespace {

char FatalText[FatalTextSize];

int StderrPresenter(const char* text) {
  fputs(text, stderr);
  fputc('\n', stderr);
  fflush(stderr);
  return 1;  // as if OK was pressed
}

FatalPresenter Presenter = StderrPresenter;
FatalCloseHook CloseHook = nullptr;
FatalTerminator Terminator = nullptr;
LZX_PER_THREAD FatalTrap ThreadTrap = nullptr;

}  // namespace

void FatalSetPresenter(FatalPresenter presenter) { Presenter = presenter ? presenter : StderrPresenter; }
void FatalSetCloseHook(FatalCloseHook hook) { CloseHook = hook; }
void FatalSetTerminator(FatalTerminator terminator) { Terminator = terminator; }
void FatalSetThreadTrap(FatalTrap trap) { ThreadTrap = trap; }
const char* FatalLastText(void) { return FatalText; }

void FatalMessageV(const char* format, va_list args) {
  if (ThreadTrap) ThreadTrap();
  // vsnprintf cuts a longer text at FatalTextSize - 1 characters and always
  // terminates it.
  int n = vsnprintf(FatalText, sizeof FatalText, format, args);
  if (n < 0) FatalText[0] = '\0';
  int exitCode = Presenter(FatalText) + 1;
  if (CloseHook) CloseHook();
  if (Terminator) Terminator(exitCode);
  exit(exitCode);
}

void FatalMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FatalMessageV(format, args);
}

void InternalError(const char* source, int line, int code) {
  if (code < 0) FatalMessage("Internal error\nFile: %s\nLine: %d", source, line);
  FatalMessage("Internal error [%d] in [%s,%d]", code, source, line);
}
