// Every message the program shows goes through ShowMessage: in silent mode no
// box appears and the text goes to the log instead (with "-log").
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "updater/app.h"
#include "updater/command_line.h"

namespace {

// Appends one line to "LOG.LOG" in the current directory with the system's
// own calls: it also serves the fatal path, so it must never fail upward.
void AppendLog(const char* text) {
  HANDLE log =
      CreateFileA("LOG.LOG", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(log, text, (DWORD)strlen(text), &written, nullptr);
  CloseHandle(log);
}

}  // namespace

void LogLine(const char* format, ...) {
  if (!LogEnabled) return;
  char line[1024];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  AppendLog(line);  // a longer line is cut to the buffer
}

int ShowMessage(HWND owner, const char* text, const char* caption, UINT style) {
  if (!SilentMode) return MessageBoxA(owner, text, caption, style);
  LogLine("%s: %s\n", caption, text);
  // Nobody is there to answer: a question takes its cautious answer.
  UINT buttons = style & MB_TYPEMASK;
  if (buttons == MB_RETRYCANCEL || buttons == MB_OKCANCEL) return IDCANCEL;
  if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) return IDNO;
  return IDOK;
}
