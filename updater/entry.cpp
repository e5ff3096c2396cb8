// The program's entry and its life from start to exit.
// clang-format off
#include <windows.h>  // first: the other system headers build on it
// clang-format on
#include <commctrl.h>
#include <shlwapi.h>
#include <stdio.h>
#include <stdlib.h>

#include "base/fatal.h"
#include "base/trace.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "fileio/transaction.h"
#include "updater/app.h"
#include "updater/command_line.h"
#include "updater/install_safety.h"
#include "updater/messages.h"
#include "updater/variant.h"

HINSTANCE AppInstance = nullptr;

namespace {

const char FatalCaption[] = "Einde programma";

// The fatal path's presenter: an error box with no owner and only OK. By
// then an install transaction has been undone; the log says how the run
// ended.
int FatalBox(const char* text) {
  if (LogEnabled) LogPrintf("Ended: %s\n", text);
  return MessageBoxA(nullptr, text, FatalCaption, MB_OK | MB_ICONERROR);
}

#ifdef LZX_STEP_KILL
// Test builds only: LZX_KILL_AT_STEP=N ends the process abruptly at step N of
// the install transaction, as a crash or a power cut would.
int KillStep = 0;
void KillAtStep(int step) {
  if (step == KillStep) TerminateProcess(GetCurrentProcess(), 99);
}
void InstallStepKill(void) {
  char value[16];
  DWORD n = GetEnvironmentVariableA("LZX_KILL_AT_STEP", value, sizeof value);
  if (n == 0 || n >= sizeof value) return;
  KillStep = atoi(value);
  TxSetStepHook(KillAtStep);
}
#else
void InstallStepKill(void) {}
#endif

}  // namespace

int CheckWindowsVersion(void) {
  DWORD version = GetVersion();
  int major = (int)(version & 0xFF);
  int minor = (int)((version >> 8) & 0xFF);
  if (major >= 4) return 1;
  char text[100];
  snprintf(text, sizeof text, "Vexa werkt niet onder Windows 3.1 [%d, %d]", major, minor);
  MessageBoxA(nullptr, text, "Einde", MB_OK | MB_ICONINFORMATION);
  return 0;
}

int CheckInstanceMarker(const char* name) {
  SECURITY_ATTRIBUTES security = {};
  security.nLength = sizeof security;
  security.lpSecurityDescriptor = nullptr;
  security.bInheritHandle = TRUE;
  // The handle stays open for the life of the process: it is the marker.
  HANDLE marker = CreateFileMappingA(INVALID_HANDLE_VALUE, &security, PAGE_READONLY, 0, 32, name);
  if (!marker) return 1;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 1;
  return 0;
}

int CommonControlsVersion(DWORD* major, DWORD* minor) {
  HMODULE library = LoadLibraryA("comctl32.dll");
  if (!library) return 0;
  int result = 0;
  DLLGETVERSIONPROC getVersion = (DLLGETVERSIONPROC)(void*)GetProcAddress(library, "DllGetVersion");
  if (!getVersion) {
    *major = 4;
    *minor = 0;
    result = 1;
  } else {
    DLLVERSIONINFO info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    if (getVersion(&info) == 0) {
      *major = info.dwMajorVersion;
      *minor = info.dwMinorVersion;
      result = 1;
    }
  }
  FreeLibrary(library);
  return result;
}

int CommonControlsInit(void) {
  DWORD major = 0, minor = 0;
  if (!CommonControlsVersion(&major, &minor)) return 0;
  InitCommonControls();
  return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  AppInstance = instance;
  LangDutch = 1;
  FatalSetPresenter(FatalBox);

  if (!CheckWindowsVersion()) ExitProcess(0);
  if (!ParseCommandLine(arguments)) ExitProcess(0);
  FatalSetUndoText(RolledBackText(LangDutch));
  InstallStepKill();

  if (CheckInstanceMarker(VariantVexa ? "VexaWare" : "Marvik")) {
    MessageBoxA(nullptr, MessageText(VariantVexa ? 21 : 22), MessageText(19), MB_OK | MB_ICONINFORMATION);
    ExitProcess(1);
  }

  if (!CommonControlsInit()) InternalError("UPDATER", __LINE__, 5679);
  OpenFileReset();
  if (LogEnabled) TraceOpen(0);

  if (DdeStart() && ResolveInstallDir()) {
    // An interrupted run is finished before anything else looks at the
    // installation.
    RecoverInterruptedRun(nullptr, InstallDir);
    ShowVariantDialog(nullptr);
  } else {
    MessageBoxA(nullptr, MessageText(VariantVexa ? 18 : 20), MessageText(19), MB_OK | MB_ICONERROR);
  }

  if (LogEnabled) TraceClose();
  if (OpenFileAnyLeft()) InternalError("UPDATER", __LINE__, 4000);
  return 0;
}

const char* MessageText(int number) { return MessageTextFor(number, LangDutch, VariantVexa, VariantDemo); }
