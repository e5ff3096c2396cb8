// The demo's program group, made by Program Manager shell commands over DDE.
// clang-format off
#include <windows.h>  // first: the other system headers build on it
// clang-format on
#include <ddeml.h>
#include <string.h>

#include "updater/app.h"
#include "updater/variant.h"

namespace {

DWORD DdeInstance = 0;  // never released; the process exit does it

const char ProgramManager[] = "PROGMAN";
const char GroupName[] = "Vexa Demo";

HDDEDATA CALLBACK AcceptAll(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return 0; }

}  // namespace

int DdeStart(void) { return DdeInitializeA(&DdeInstance, AcceptAll, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR; }

int SendShellCommand(DWORD instance, const char* command) {
  HSZ name = DdeCreateStringHandleA(instance, ProgramManager, CP_WINANSI);
  int done = 0;
  HCONV conversation = DdeConnect(instance, name, name, nullptr);
  if (conversation) {
    HDDEDATA result = DdeClientTransaction((BYTE*)command, (DWORD)strlen(command) + 1, conversation, nullptr, CF_TEXT,
                                           XTYP_EXECUTE, 1000, nullptr);
    done = result != nullptr;
    DdeDisconnect(conversation);
  }
  if (name) DdeFreeStringHandle(instance, name);
  return done;
}

int AddShellItem(HWND owner, const char* program, const char* title, const char* arguments, const char* dir) {
  char command[ShellItemCommandSize];
  if (FormatReplaceItem(command, sizeof command, title)) SendShellCommand(DdeInstance, command);
  // A command that does not fit its buffer is not sent: it counts as failed.
  int done =
      FormatAddItem(command, sizeof command, dir, program, arguments, title) && SendShellCommand(DdeInstance, command);
  if (!done) {
    ShowMessage(owner, "SendShellCommand(AddItem) failed", "Error", MB_OK);
    return 0;
  }
  return 1;
}

int CreateDemoGroup(HWND owner, const char* installDir) {
  if (VariantVexa && VariantDemo) {
    char command[ShellItemCommandSize];
    if (!FormatCreateGroup(command, sizeof command, GroupName) || !SendShellCommand(DdeInstance, command)) {
      ShowMessage(owner, "SendShellCommand(CreateGroup) failed!", "Error", MB_OK);
      return 0;
    }
    if (!AddShellItem(owner, "VexaDemo.exe", "Vexa Demo", "", installDir)) return 0;
  }
  char uninstall[ShellUninstallCommandSize];
  if (!FormatAddUninstall(uninstall, sizeof uninstall, installDir) || !SendShellCommand(DdeInstance, uninstall)) {
    ShowMessage(owner, "Creating UnInstall failed", "Error", MB_OK);
    return 0;
  }
  return 1;
}
