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
FatalUndoHook UndoHook = nullptr;
LZX_PER_THREAD FatalStopHook StopHook = nullptr;
const char* UndoText = "";

// The fatal text, a blank line and the undo text.
char ShownText[2 * FatalTextSize + 2];

}  // namespace

void FatalSetPresenter(FatalPresenter presenter) { Presenter = presenter ? presenter : StderrPresenter; }
void FatalSetCloseHook(FatalCloseHook hook) { CloseHook = hook; }
void FatalSetUndoHook(FatalUndoHook hook) { UndoHook = hook; }
void FatalSetStopHook(FatalStopHook hook) { StopHook = hook; }
void FatalSetUndoText(const char* text) { UndoText = text ? text : ""; }
void FatalSetTerminator(FatalTerminator terminator) { Terminator = terminator; }
void FatalSetThreadTrap(FatalTrap trap) { ThreadTrap = trap; }
const char* FatalLastText(void) { return FatalText; }

void FatalMessageV(const char* format, va_list args) {
  if (ThreadTrap) ThreadTrap();
  if (StopHook) {
    FatalStopHook stop = StopHook;
    StopHook = nullptr;
    stop();
  }
  // vsnprintf cuts a longer text at FatalTextSize - 1 characters and always
  // terminates it.
  int n = vsnprintf(FatalText, sizeof FatalText, format, args);
  if (n < 0) FatalText[0] = '\0';
  const char* shown = FatalText;
  if (UndoHook) {
    // Files are closed first: what the undo removes or moves back must not be
    // held open by this process.
    FatalUndoHook undo = UndoHook;
    UndoHook = nullptr;
    if (CloseHook) CloseHook();
    if (undo() && UndoText[0]) {
      snprintf(ShownText, sizeof ShownText, "%s\n\n%.*s", FatalText, FatalTextSize - 1, UndoText);
      shown = ShownText;
    }
  }
  int exitCode = Presenter(shown) + 1;
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
