// The install location and the product's version in the current user's
// registry: HKEY_CURRENT_USER\Software\<product>, values "Location" and
// "Version".
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "updater/app.h"
#include "updater/command_line.h"
#include "updater/product.h"
#include "updater/variant.h"

char InstallDir[InstallDirSize];
char InstalledVersion[80];

namespace {

enum { KeyPathSize = 40 };

const char DemoDirectory[] = "C:\\Program Files\\Vexa Demo";
// The Marvik family keeps its install directory in a key of its own.
const char FamilyKeyName[] = "Marvik";

// Reads a string value into buffer; a value that is missing, larger than the
// buffer or without room for its terminating NUL fails.
int QueryString(HKEY key, const char* value, char* buffer, DWORD capacity) {
  DWORD size = capacity;
  if (RegQueryValueExA(key, value, nullptr, nullptr, (BYTE*)buffer, &size) != ERROR_SUCCESS) return 0;
  if (size > 0 && buffer[size - 1] == '\0') return 1;
  if (size >= capacity) return 0;
  buffer[size] = '\0';
  return 1;
}

}  // namespace

int OpenProductKey(const char* name, HKEY* key) {
  char path[KeyPathSize];
  int n = snprintf(path, sizeof path, "Software\\%s", name);
  if (n < 0 || n >= (int)sizeof path) return 0;
  DWORD disposition = 0;
  LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, (char*)name, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                nullptr, key, &disposition);
  if (status != ERROR_SUCCESS) SetLastError((DWORD)status);
  return status == ERROR_SUCCESS;
}

int ReadInstallInfo(const char* name) {
  HKEY key;
  if (!OpenProductKey(name, &key)) return 0;
  int ok = QueryString(key, "Location", InstallDir, sizeof InstallDir);
  if (!ok) InstallDir[0] = '\0';
  if (ok && VariantVexa == 1 && VariantDemo == 0)
    ok = QueryString(key, "Version", InstalledVersion, sizeof InstalledVersion);
  RegCloseKey(key);
  return ok;
}

int WriteProductVersion(const char* name, const char* version) {
#ifdef LZX_STEP_KILL
  // Test builds only: LZX_REGISTRY_DENIED=1 makes the write fail as a
  // registry that refuses it would.
  char denied[4];
  if (GetEnvironmentVariableA("LZX_REGISTRY_DENIED", denied, sizeof denied) == 1 && denied[0] == '1') {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
#endif
  HKEY key;
  if (!OpenProductKey(name, &key)) return 0;
  LONG status = RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE*)version, (DWORD)strlen(version) + 1);
  RegCloseKey(key);
  // The registry functions return their error instead of setting it.
  if (status != ERROR_SUCCESS) SetLastError((DWORD)status);
  return status == ERROR_SUCCESS;
}

int ResolveInstallDir(void) {
  if (VariantVexa == 1 && VariantDemo == 1) {
    // "-dir=PATH" names the directory, held to the rule of the dialog's field.
    if (OptionDir[0] != '\0') {
      char typed[InstallDirSize];
      snprintf(typed, sizeof typed, "%s", OptionDir);
      if (!TrimDemoDirectory(typed)) return 0;
      memcpy(InstallDir, typed, sizeof InstallDir);
      return 1;
    }
    char windows[MAX_PATH + 1] = {};
    snprintf(InstallDir, sizeof InstallDir, "%s", DemoDirectory);
    if (GetWindowsDirectoryA(windows, MAX_PATH) > 0) InstallDir[0] = windows[0];
    return 1;
  }
  const char* key = VariantVexa == 1 ? ProductName : FamilyKeyName;
  // An empty location would put the update in the root of the current drive.
  return ReadInstallInfo(key) && InstallDir[0] != '\0';
}
