// Keeps the fuzzed archive functions inside the scratch directory. A name
// without '#' is used as it stands, so a fuzzed archive may name any path:
// the platform seam's calls are wrapped at link time (--wrap) and refuse a
// path that is absolute, has a drive or climbs with "..", as the system would
// refuse a file it may not touch. Linked into the fuzz targets only.
#include <string.h>

#include "os/files.h"

namespace {

int IsSep(char c) { return c == '/' || c == '\\'; }

int Confined(const char* path) {
  if (path == nullptr || IsSep(path[0]) || strchr(path, ':') != nullptr) return 0;
  const char* start = path;
  for (const char* p = path;; p++) {
    if (*p == 0 || IsSep(*p)) {
      // Any component of dots and blanks only with two dots or more.
      int dots = 0, other = 0;
      for (const char* q = start; q < p; q++) {
        if (*q == '.')
          dots++;
        else if (*q != ' ')
          other = 1;
      }
      if (!other && dots >= 2) return 0;
      if (*p == 0) return 1;
      start = p + 1;
    }
  }
}

}  // namespace

// The real functions, and their wrappers, under the linker's names.
#define LZX_WRAP(ret, mangled, params, args, ok) \
  extern "C" ret __real_##mangled params;        \
  extern "C" ret __wrap_##mangled params {       \
    if (!(ok)) return 0;                         \
    return __real_##mangled args;                \
  }

LZX_WRAP(OsFileHandle, _Z10OsFileOpenPKci, (const char* name, int mode), (name, mode), Confined(name))
LZX_WRAP(int, _Z12OsFileDeletePKc, (const char* path), (path), Confined(path))
LZX_WRAP(int, _Z10OsFileMovePKcS0_, (const char* from, const char* to), (from, to), Confined(from) && Confined(to))
LZX_WRAP(int, _Z17OsFileMoveReplacePKcS0_, (const char* from, const char* to), (from, to),
         Confined(from) && Confined(to))
LZX_WRAP(int, _Z17OsFileMoveDurablePKcS0_, (const char* from, const char* to), (from, to),
         Confined(from) && Confined(to))
LZX_WRAP(int, _Z11OsDirCreatePKc, (const char* path), (path), Confined(path))
LZX_WRAP(int, _Z11OsDirRemovePKc, (const char* path), (path), Confined(path))
