// The text-line reader and the append-only log.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "fileio/names.h"
#include "fileio/path.h"

namespace {

enum { LogTextSize = 200 };  // a log text of at most 199 characters

FileRec LogFile;
int LogKeepOpen;

// Opens the log for appending; 0 (and the text is dropped) when it cannot be.
int LogOpen(void) {
  OsFileHandle handle = OsFileOpen("LOG.LOG", OsOpenAppend);
  if (!handle) return 0;
  if (OsFileSeek(handle, 0, OsSeekEnd) == OsFileFailed) {
    OsFileClose(handle);
    return 0;
  }
  FileInit(&LogFile, 1, "LOG.LOG");
  LogFile.handle = handle;
  OpenFileAdd(&LogFile);
  return 1;
}

}  // namespace

int ReadLine(FileRec* rec, char* buffer, int max) {
  // One byte per read: a larger record would be read into the one byte.
  if (rec->recSize != 1) InternalError("FILEIO", __LINE__, FileInternalBadRecSize);
  if (max <= 0) {  // no room for a character: nothing is read
    if (buffer) buffer[0] = '\0';
    return 0;
  }
  if (buffer) memset(buffer, 0, (size_t)max);
  int i = 0;
  char c;
  while (FileRead(rec, 1, &c) == 1) {
    int end = c == '\r' || c == '\n';
    if (!end) {
      if (buffer) buffer[i] = c;
      i++;
    }
    if (i >= max || (end && i > 0)) break;
  }
  if (buffer) buffer[i] = '\0';
  return i > 0;
}

int LogPrintf(const char* format, ...) {
  if (!format && LogKeepOpen) {
    FileClose(&LogFile);
    LogKeepOpen = 0;
    return 0;
  }
  // The log never ends a run: a log that cannot be opened or written is
  // skipped without a word.
  int open = LogKeepOpen ? !FileIsClosed(&LogFile) : LogOpen();
  if (!format) {
    LogKeepOpen = 1;
    return 0;
  }
  char text[LogTextSize];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(text, sizeof text, format, args);
  va_end(args);
  // A longer text is cut to the buffer: the log keeps its first 199 characters.
  if (n < 0) n = 0;
  if (n >= (int)sizeof text) n = (int)sizeof text - 1;
  if (open) {
    uint32_t done = 0;
    OsFileWrite(LogFile.handle, text, (uint32_t)n, &done);
    if (!LogKeepOpen) FileClose(&LogFile);
  }
  return n;
}
