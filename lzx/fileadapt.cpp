#include "lzx/fileadapt.h"

#include "base/fatal.h"

namespace {

int ModeIs(const char* mode, const char* want) {
  for (;; mode++, want++) {
    char c = *mode;
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (c != *want) return 0;
    if (c == 0) return 1;
  }
}

}  // namespace

void DoFopen(const char* name, const char* mode, FileRec* file) {
  FileInit(file, 1, name);
  if (ModeIs(mode, "rb")) {
    FileOpenRead(file);
  } else if (ModeIs(mode, "wb")) {
    FileCreate(file);
  } else if (ModeIs(mode, "w+b")) {
    FileCreate(file);
    FileClose(file);
    FileOpenReadWrite(file);
  } else {
    FatalMessage("LZX DoFopen [%s] [%s] failed", name, mode);
  }
}

void DoFread(void* dest, int count, FileRec* file) {
  if (FileRead(file, count, dest) != count) FatalMessage("LZX DoFread failed [%s, %d]", file->name, count);
}

void DoFwrite(const void* src, int count, FileRec* file) {
  if (FileWrite(file, count, src) != count) FatalMessage("LZX DoFwrite failed");
}

void DoFseek(FileRec* file, int32_t position) { FileSeek(file, position, 0); }

int32_t DoFtell(FileRec* file) {
  int32_t position = FileTell(file);
  if (position < 0) FatalMessage("LZX DoFtell failed");
  return position;
}

void DoFclose(FileRec* file) { FileClose(file); }
