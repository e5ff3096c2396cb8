#include "fileio/names.h"

#include <string.h>

int CopyName(char* out, size_t size, const char* text) {
  size_t n = strlen(text);
  int fits = n < size;
  if (!fits) n = size - 1;
  memcpy(out, text, n);
  out[n] = '\0';
  return fits;
}

const char* ShortName(const char* name, char* out, size_t room) {
  size_t n = strlen(name);
  if (n <= room) return name;
  memcpy(out, "...", 3);
  memcpy(out + 3, name + n - (room - 3), room - 3);
  out[room] = '\0';
  return out;
}
