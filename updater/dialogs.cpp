// The one modal dialog of each variant and the install sequence behind its
// install button.
#include <string.h>
#include <windows.h>

#include "fileio/path.h"
#include "updater/app.h"
#include "updater/command_line.h"
#include "updater/install_safety.h"
#include "updater/messages.h"
#include "updater/outcome.h"
#include "updater/product.h"
#include "updater/variant.h"

namespace {

enum {
  IconLeft = 2001,
  IconRight = 2013,
  TeamBox = 2012,
  InfoBox = 2017,
  InfoLine1 = 2014,
  InfoLine2 = 2015,
  InfoLine3 = 2016,
  Copyright = 2011,
  FamilyMail = 2018,
  FamilyWeb = 2019,
  LineMail = 2020,
  LineWeb = 2021,
  DemoDirEdit = 2022,
  // The team box's lines: 2007 to 2010, and the family's fifth and sixth.
  TeamMember1 = 2007,
  TeamMember5 = 2023,
};

// The team box's names from the product data (the family's dialog has six
// lines, the others four).
void SetTeamMembers(HWND dialog) {
  for (int i = 0; i < ProductMembersMax; i++) {
    int id = i < 4 ? TeamMember1 + i : TeamMember5 + i - 4;
    if (GetDlgItem(dialog, id)) SetDlgItemTextA(dialog, id, Product.members[i]);
  }
}

// The steps of WM_INITDIALOG that the three dialogs share.
void InitCommon(HWND dialog, int icon) {
  CenterWindow(dialog);
  SetDlgItemTextA(dialog, Copyright, MessageText(9));
  HICON image = LoadIconA(AppInstance, MAKEINTRESOURCEA(icon));
  if (image) {
    SendDlgItemMessageA(dialog, IconLeft, STM_SETICON, (WPARAM)image, 0);
    SendDlgItemMessageA(dialog, IconRight, STM_SETICON, (WPARAM)image, 0);
  }
  SetWindowTextA(dialog, MessageText(5));
  SetDlgItemTextA(dialog, TeamBox, MessageText(10));
  SetTeamMembers(dialog);
  SetDlgItemTextA(dialog, InfoBox, MessageText(4));
  SetDlgItemTextA(dialog, InfoLine1, MessageText(6));
  SetDlgItemTextA(dialog, InfoLine2, MessageText(7));
  SetDlgItemTextA(dialog, InfoLine3, MessageText(8));
  SetDlgItemTextA(dialog, IDOK, MessageText(11));
  SetDlgItemTextA(dialog, IDCANCEL, MessageText(12));
}

// Set when the install begins: from then on the dialog's buttons are off and
// a press that was queued before (a double-click, Enter twice, a click while
// a closing box is open) is ignored, so that there is exactly one run.
int Installing = 0;

int BeginInstall(HWND dialog) {
  if (Installing) return 0;
  Installing = 1;
  EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
  EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
  return 1;
}

// One pass of the update over the archive that write put in the temporary
// directory; 1 when it was applied.
int UpdatePass(HWND dialog, char* path) {
  int outcome = RunUpdate(dialog, path, InstallDir);
  DeleteFileByName(path);
  return outcome == UpdateApplied;
}

void Cancel(HWND dialog) {
  if (Installing) return;
  NoteOutcome(OutcomeCancelled);
  EndDialog(dialog, 0);
}

INT_PTR UpdateCommand(HWND dialog, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDCANCEL:
      Cancel(dialog);
      return TRUE;
    case IDOK:
      if (!BeginInstall(dialog)) return TRUE;
      InstallSequence(dialog);
      EndDialog(dialog, 0);
      return TRUE;
    default:
      return TRUE;
  }
}

}  // namespace

int DisplayCaps(int index) {
  HDC context = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
  int value = GetDeviceCaps(context, index);
  DeleteDC(context);
  return value;
}

void CenterWindow(HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int x = (DisplayCaps(HORZRES) - width) / 2;
  int y = (DisplayCaps(VERTRES) - height) / 2;
  MoveWindow(window, x, y, width, height, FALSE);
}

void InstallSequence(HWND owner) {
  char path[InstallDirSize];
  WriteTempArchive(path, 0);
  int applied = UpdatePass(owner, path);
  // The demo's second pass is a transaction of its own, made only after the
  // first was applied.
  if (VariantDemo == 1 && applied && WriteSecondArchive(path)) applied = UpdatePass(owner, path);
  if (VariantDemo == 1) CreateDemoGroup(owner, InstallDir);
  if (applied) ShowMessage(owner, MessageText(13), MessageText(14), MB_OK | MB_ICONINFORMATION);
}

int ShowVariantDialog(HWND owner) {
  if (VariantVexa == 1 && VariantDemo == 0) {
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(3001), owner, ProductDialogProc, 0);
  } else if (VariantVexa == 1 && VariantDemo == 1) {
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(3003), owner, DemoDialogProc, 0);
  } else {
    DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(3002), owner, FamilyDialogProc, 0);
  }
  return 1;
}

INT_PTR CALLBACK ProductDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitCommon(dialog, 1006);
      SetDlgItemTextA(dialog, LineMail, MessageText(16));
      SetDlgItemTextA(dialog, LineWeb, MessageText(17));
      return TRUE;
    case WM_COMMAND:
      return UpdateCommand(dialog, wParam);
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK FamilyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitCommon(dialog, 1004);
      // The family's own contact lines in Dutch, the Vexa line's in English:
      // the product file's lines of each language in their own controls.
      if (LangDutch) {
        ShowWindow(GetDlgItem(dialog, LineMail), SW_HIDE);
        ShowWindow(GetDlgItem(dialog, LineWeb), SW_HIDE);
        SetDlgItemTextA(dialog, FamilyMail, MessageText(16));
        SetDlgItemTextA(dialog, FamilyWeb, MessageText(17));
      } else {
        ShowWindow(GetDlgItem(dialog, FamilyMail), SW_HIDE);
        ShowWindow(GetDlgItem(dialog, FamilyWeb), SW_HIDE);
        SetDlgItemTextA(dialog, LineMail, MessageText(16));
        SetDlgItemTextA(dialog, LineWeb, MessageText(17));
      }
      return TRUE;
    case WM_COMMAND:
      return UpdateCommand(dialog, wParam);
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK DemoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitCommon(dialog, 1002);
      SetDlgItemTextA(dialog, LineMail, MessageText(15));
      SetDlgItemTextA(dialog, LineWeb, MessageText(17));
      if (VariantDemo == 1) SetDlgItemTextA(dialog, DemoDirEdit, InstallDir);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDCANCEL:
          Cancel(dialog);
          return TRUE;
        case IDOK: {
          if (Installing) return TRUE;
          if (VariantDemo == 1) {
            char typed[InstallDirSize];
            typed[0] = '\0';
            GetDlgItemTextA(dialog, DemoDirEdit, typed, sizeof typed);
            // Too short a directory is refused quietly: the user corrects it.
            if (!TrimDemoDirectory(typed)) return FALSE;
            memcpy(InstallDir, typed, sizeof InstallDir);
          }
          BeginInstall(dialog);
          InstallSequence(dialog);
          EndDialog(dialog, 0);
          return TRUE;
        }
        default:
          return TRUE;
      }
    default:
      return FALSE;
  }
}
