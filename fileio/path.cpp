// Path names, directories and attribute tests.
#include "fileio/path.h"

#include <stdio.h>
#include <string.h>

#include "fileio/names.h"
#include "os/memory.h"

namespace {

// The directory listing of RemoveDirFiles: its size, and the size it gives
// ListDir so that a cleared last byte ends the list.
enum { DirListSize = 4192 };

// A character after which the directory part of a path ends.
int EndsDirectory(char c) { return PathIsSeparator(c) || (OsPathDrives && c == ':'); }

}  // namespace

int PathIsSeparator(char c) { return c == '\\' || c == '/'; }

size_t PathRootLength(const char* path) {
  if (OsPathDrives) {
    if (!path[0] || path[1] != ':') return 0;
    return PathIsSeparator(path[2]) ? 3 : 2;
  }
  size_t n = 0;
  while (PathIsSeparator(path[n])) n++;
  return n;
}

int PathIsAbsolute(const char* path) { return PathIsSeparator(path[0]) || PathRootLength(path) > 0; }

int PathJoin(char* out, size_t size, const char* dir, const char* name) {
  size_t n = strlen(dir);
  int separate = n > 0 && !EndsDirectory(dir[n - 1]);
  size_t need = n + separate + strlen(name) + 1;
  if (need > size) {
    if (size) out[0] = '\0';
    return 0;
  }
  memcpy(out, dir, n);
  if (separate) out[n++] = (char)OsPathSeparator;
  for (const char* p = name; *p; p++) out[n++] = PathIsSeparator(*p) ? (char)OsPathSeparator : *p;
  out[n] = '\0';
  return 1;
}

int PathScratchBeside(const char* path, char* out, size_t size) {
  // Beside the file that a symbolic link names: the scratch file replaces
  // that file (FileScratchCommit), not the link.
  char real[FileNameSize];
  if (OsLinkTarget(path, real, sizeof real)) path = real;
  char dir[FileNameSize];
  size_t p = 0;
  for (size_t i = 0; path[i]; i++)
    if (EndsDirectory(path[i])) p = i + 1;
  if (p >= sizeof dir) return 0;
  memcpy(dir, path, p);
  dir[p] = '\0';
  return OsTempName(dir, out, size);
}

void SplitPath(const char* path, char* dir, char* base, char* ext) {
  size_t p = 0;
  for (size_t i = 0; path[i]; i++)
    if (EndsDirectory(path[i])) p = i + 1;
  if (base) {
    CopyName(base, FileNameSize, path + p);
    StripExtension(base);
  }
  if (ext) {
    ext[0] = '\0';
    for (size_t i = strlen(path); i-- > 0;) {
      if (PathIsSeparator(path[i])) break;
      if (path[i] == '.') {
        CopyName(ext, FileNameSize, path + i + 1);
        break;
      }
    }
  }
  if (dir) {
    size_t n = p < FileNameSize ? p : FileNameSize - 1;
    memcpy(dir, path, n);
    dir[n] = '\0';
  }
}

void StripExtension(char* path) {
  for (size_t i = strlen(path); i-- > 0;) {
    if (PathIsSeparator(path[i])) return;
    if (path[i] == '.') {
      path[i] = '\0';
      return;
    }
  }
}

int MakeDirs(const char* path) {
  char prefix[FileNameSize];
  // A level cut short would be created in the wrong place: refuse instead.
  if (!CopyName(prefix, sizeof prefix, path)) {
    OsClearLastError();
    return 0;
  }
  // The root itself is never created; on Win32 a separator right after a
  // colon is no cut point either.
  size_t start = PathRootLength(path);
  for (;;) {
    size_t cut = start;
    while (path[cut] && !(PathIsSeparator(path[cut]) && !(OsPathDrives && cut > 0 && path[cut - 1] == ':'))) cut++;
    memcpy(prefix, path, cut);
    prefix[cut] = '\0';
    if (!FileExists(prefix) && !OsDirCreate(prefix)) return 0;
    if (!path[cut]) return 1;
    start = cut + 1;
  }
}

int RemoveDirFiles(const char* dir, int deleteFiles) {
  int r = 1;
  if (deleteFiles) {
    char names[DirListSize];
    char pattern[FileNameSize];
    memset(names, 0, sizeof names);
    if (snprintf(pattern, sizeof pattern, "%s\\*.*", dir) >= (int)sizeof pattern) return 0;
    int count = ListDir(names, DirListSize - 1, pattern);
    const char* name = names;
    for (int i = 0; i < count; name += strlen(name) + 1, i++) {
      if (name[0] == '.') continue;
      char path[FileNameSize];
      // A name that does not fit cannot be addressed: it stays, and so does the directory.
      if (snprintf(path, sizeof path, "%s\\%s", dir, name) >= (int)sizeof path) {
        r = 0;
        continue;
      }
      FileRec file;
      FileInit(&file, -1, path);
      r &= FileDelete(&file);
    }
  }
  if (r) r = OsDirRemove(dir);
  return r;
}

int ListDir(char* buffer, unsigned size, const char* pattern) {
  char name[OsFindNameSize];
  OsFindHandle find = OsFindFirst(pattern, name);
  if (!find) return 0;
  unsigned used = 0;
  int count = 0;
  do {
    unsigned n = (unsigned)strlen(name) + 1;
    if (used + n >= size) break;
    memcpy(buffer + used, name, n);
    used += n;
    count++;
  } while (OsFindNext(find, name));
  OsFindClose(find);
  return count;
}

int FileExists(const char* path) { return OsFileAttributes(path) != OsAttrNone; }

int IsReadOnly(const char* path) { return (OsFileAttributes(path) & OsAttrReadOnly) != 0; }

int FileInUse(const char* path) {
  OsFileHandle handle = OsFileOpen(path, OsOpenExclusiveRead);
  if (!handle) return 1;
  OsFileClose(handle);
  return 0;
}

int IsPlainName(const char* text) {
  if (!text) return 0;
  for (; *text; text++)
    if (strchr(".\"/\\[]:;=,", *text)) return 0;
  return 1;
}

int DeleteFileByName(const char* path) {
  FileRec file;
  FileInit(&file, 1, path);
  return FileDelete(&file);
}

int FileDateTime(FileRec* rec, unsigned* out) {
  int opened = rec->handle == 0;
  if (opened) FileOpenRead(rec);
  uint32_t value = OsFileDosDateTime(rec->handle);
  if (opened) FileClose(rec);
  if (out) *out = value;
  return 1;
}
