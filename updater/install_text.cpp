#include "updater/install_text.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace {

int FormatCommand(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vsnprintf(buffer, size, format, args);
  va_end(args);
  if (n < 0 || (size_t)n >= size) {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  return 1;
}

}  // namespace

int TrimDemoDirectory(char* text) {
  size_t n = strlen(text);
  while (n > 1 && text[n - 1] == '\\') text[--n] = '\0';
  return n >= DemoDirMinimum;
}

int FormatCreateGroup(char* buffer, size_t size, const char* group) {
  return FormatCommand(buffer, size, "[CreateGroup(%s)]", group);
}

int FormatReplaceItem(char* buffer, size_t size, const char* title) {
  return FormatCommand(buffer, size, "[ReplaceItem(%s)]", title);
}

int FormatAddItem(char* buffer, size_t size, const char* dir, const char* program, const char* arguments,
                  const char* title) {
  return FormatCommand(buffer, size, "[AddItem(\"%s\\%s\" %s, \"%s\",,,,,\"%s\")]", dir, program, arguments, title,
                       dir);
}

int FormatAddUninstall(char* buffer, size_t size, const char* dir) {
  return FormatCommand(buffer, size, "[AddItem(\"%s\\Uninstall.exe\", \"UnInstall\",,,,,\"%s\")]", dir, dir);
}
