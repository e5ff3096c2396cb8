// Module state and operations of the Windows program shared between its files.
#pragma once

#include <windows.h>

#include "base/fatal.h"
#include "updater/install_text.h"

// The entry: instance handle, stored first thing.
extern HINSTANCE AppInstance;

int CheckWindowsVersion(void);
int CheckInstanceMarker(const char* name);
int CommonControlsVersion(DWORD* major, DWORD* minor);
int CommonControlsInit(void);

// Install location and registry. InstallDir has no trailing backslash.
extern char InstallDir[InstallDirSize];
extern char InstalledVersion[80];
int OpenProductKey(const char* name, HKEY* key);
int ReadInstallInfo(const char* name);
int WriteProductVersion(const char* name, const char* version);
int ResolveInstallDir(void);

// Messages: MessageBoxA, or in silent mode a line in the log (with "-log")
// and the answer a question takes unattended (Cancel, No, else OK).
int ShowMessage(HWND owner, const char* text, const char* caption, UINT style);
// One line into the log when "-log" was given; written with the system's own
// calls, so that the fatal path can use it too.
void LogLine(const char* format, ...) LZX_PRINTF(1, 2);

// The update run. path receives "%sTEMP.LZX" in the temporary directory.
void WriteTempArchive(char* path, int createOnly);
// Writes the second built-in archive (the demo's second pass); 0 and nothing
// written when the build carries none.
int WriteSecondArchive(char* path);
// The temporary archive's path (InstallDirSize bytes); 0 without a usable
// temporary directory.
int TempArchivePath(char* path);
// Pre-flight, then one install transaction; boxes are owned by owner.
// Returns an UpdateOutcome (updater/install_safety.h): UpdateApplied,
// UpdateNotApplied when the installation has no version file (the Vexa-line
// update then changes nothing), UpdateCancelled when the pre-flight refused.
// A failure after the pre-flight is undone by the fatal path. Notes the
// outcome (updater/outcome.h) when it is not a plain success.
int RunUpdate(HWND owner, const char* archivePath, const char* installDir);
// At start: finishes a run that was interrupted in installDir (and removes a
// temporary archive left behind); tells the user once. UpdateRecovered, or 0
// when there was nothing to finish.
int RecoverInterruptedRun(HWND owner, const char* installDir);

// Dialogs.
int ShowVariantDialog(HWND owner);
// The install button's work without the dialog: the update passes, the demo's
// program group and the closing message (silent mode runs this alone).
void InstallSequence(HWND owner);
void CenterWindow(HWND window);
int DisplayCaps(int index);
INT_PTR CALLBACK ProductDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FamilyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DemoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Program group over DDE.
int DdeStart(void);
int SendShellCommand(DWORD instance, const char* command);
int AddShellItem(HWND owner, const char* program, const char* title, const char* arguments, const char* dir);
int CreateDemoGroup(HWND owner, const char* installDir);
