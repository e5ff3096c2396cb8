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
#include "updater/outcome.h"
#include "updater/product.h"
#include "updater/variant.h"

HINSTANCE AppInstance = nullptr;

namespace {

const char FatalCaption[] = "Einde programma";

void LogExit(int outcome) { LogLine("Exit code %d: %s\n", ExitCodeFor(outcome), OutcomeText(outcome)); }

// The fatal path's presenter: an error box with no owner and only OK (in
// silent mode no box). The exit code is 2 even when no box could be shown:
// the fatal path's 1 for that case would read as "the product is running".
int FatalBox(const char* text) {
  ShowMessage(nullptr, text, FatalCaption, MB_OK | MB_ICONERROR);
  LogExit(OutcomeFatal);
  return IDOK;
}

// The end of a run that got past the start: the outcome becomes the exit
// code, and with "-log" a line in the log.
int Finish(void) {
  LogExit(RunResult);
  return ExitCodeFor(RunResult);
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
  ShowMessage(nullptr, text, "Einde", MB_OK | MB_ICONINFORMATION);
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

  // The options are read first, so that "-silent" also holds for the
  // Windows-version message (which stays fixed Dutch text). Too old a system
  // is a start-up failure, not a success.
  if (!ParseCommandLine(arguments)) ExitProcess(0);
  LoadUpdaterData();
  FatalSetUndoText(RolledBackText(LangDutch));
  InstallStepKill();
  if (!CheckWindowsVersion()) {
    NoteOutcome(OutcomeFatal);
    ExitProcess(Finish());
  }

  if (CheckInstanceMarker(VariantVexa ? "VexaWare" : "Marvik")) {
    ShowMessage(nullptr, MessageText(VariantVexa ? 21 : 22), MessageText(19), MB_OK | MB_ICONINFORMATION);
    NoteOutcome(OutcomeRunning);
    ExitProcess(Finish());
  }

  if (!CommonControlsInit()) InternalError("UPDATER", __LINE__, 5679);
  OpenFileReset();
  if (LogEnabled) TraceOpen(0);

  if (DdeStart() && ResolveInstallDir()) {
    // An interrupted run is finished before anything else looks at the
    // installation.
    RecoverInterruptedRun(nullptr, InstallDir);
    if (SilentMode) {
      InstallSequence(nullptr);
    } else {
      ShowVariantDialog(nullptr);
    }
  } else {
    ShowMessage(nullptr, MessageText(VariantVexa ? 18 : 20), MessageText(19), MB_OK | MB_ICONERROR);
    NoteOutcome(OutcomeNoInstallDir);
  }

  if (LogEnabled) TraceClose();
  if (OpenFileAnyLeft()) InternalError("UPDATER", __LINE__, 4000);
  return Finish();
}

const char* MessageText(int number) { return MessageTextFor(number, LangDutch, VariantVexa, VariantDemo); }
