#ifdef _WIN32
#include <string.h>
#include <windows.h>

#include "os/memory.h"

OsMemHandle OsMemAlloc(size_t size) { return (OsMemHandle)GlobalAlloc(GMEM_MOVEABLE, size); }

void* OsMemLock(OsMemHandle handle) { return GlobalLock((HGLOBAL)handle); }

void OsMemFree(OsMemHandle handle) {
  GlobalUnlock((HGLOBAL)handle);
  GlobalFree((HGLOBAL)handle);
}

void OsLastErrorText(char* text, size_t size) {
  if (size == 0) return;
  text[0] = '\0';
  DWORD error = GetLastError();
  if (error == 0) return;
  char* message = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, error,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&message, 0, nullptr);
  if (n && message) {
    strncpy(text, message, size - 1);
    text[size - 1] = '\0';
  }
  if (message) LocalFree(message);
  for (size_t k = strlen(text); k > 0 && (text[k - 1] == '\n' || text[k - 1] == '\r' || text[k - 1] == ' '); k--)
    text[k - 1] = '\0';
}

void OsClearLastError(void) { SetLastError(0); }
#endif
