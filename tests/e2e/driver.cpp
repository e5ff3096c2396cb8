// Drives the updater's windows from outside, as a user would, for the
// end-to-end tests. Each argument is one step; fields are separated by '|':
//
//   env|NAME|VALUE          set a variable that started programs inherit
//   cwd|DIR                 current directory of started programs
//   start|COMMAND LINE      start a program (processes are numbered from 0)
//   dialog|N                wait for process N's dialog; print its title,
//                           rectangle and the screen size
//   controls                print every control of that dialog: id, visible, text
//   layout|DPI              for every visible control of the dialog with text:
//                           its class, size and the size its text needs in the
//                           dialog's font at that DPI (in pixels)
//   settext|ID|TEXT         set a control's text
//   click|ID                press a button of the dialog
//   key|enter  key|esc      press a key in the dialog
//   msgbox|N[|ID]           wait for a message box of process N, print its
//                           caption and text and press its OK button (or the
//                           button ID: 4 Retry, 2 Cancel)
//   shown|N                 wait for a message box of process N and leave it
//                           open (the program is then surely waiting)
//   boxes|N                 acknowledge process N's message boxes until its
//                           dialog shows (or it ends)
//   hold|PATH  release      open a file without sharing, as another program
//                           would; close every file held
//   kill|N|MS               end process N abruptly after MS milliseconds
//   quiet|N|MS              check that process N shows no message box and
//                           keeps its dialog for MS milliseconds
//   exit|N                  wait for process N to end and print its exit code
//   regset|KEY|VALUE|DATA   HKEY_CURRENT_USER string value
//   regget|KEY|VALUE        print the value, or "missing"
//   regkey|KEY              print whether the key exists
//   regdel|KEY              delete the key and everything in it
//
// Output lines go to standard output. A step that times out prints "timeout"
// and the driver ends with exit code 3 after ending the programs it started.
// clang-format off
#include <windows.h>  // first: the other system headers build on it
// clang-format on
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

enum { MaxProcesses = 8, MaxFields = 4, WaitMs = 20000, PollMs = 25 };

PROCESS_INFORMATION Processes[MaxProcesses];
int ProcessCount = 0;
HWND Dialog = nullptr;

// Prints text with line breaks and backslashes escaped, inside quotes.
void PrintQuoted(const char* text) {
  putchar('"');
  for (const char* p = text; *p; p++) {
    if (*p == '\n') {
      fputs("\\n", stdout);
    } else if (*p == '\r') {
      fputs("\\r", stdout);
    } else if (*p == '"') {
      fputs("\\\"", stdout);
    } else {
      putchar(*p);
    }
  }
  putchar('"');
}

void Line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  fflush(stdout);
}

[[noreturn]] void Fail(const char* what) {
  Line("timeout %s\n", what);
  for (int i = 0; i < ProcessCount; i++) TerminateProcess(Processes[i].hProcess, 99);
  exit(3);
}

void TextOf(HWND window, char* text, int size) {
  text[0] = '\0';
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, (WPARAM)size, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &result);
  text[size - 1] = '\0';
}

struct Search {
  DWORD pid;
  int wantBox;  // 1: a message box, 0: the dialog
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
  Search* search = (Search*)context;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid || !IsWindowVisible(window)) return TRUE;
  char name[64];
  GetClassNameA(window, name, sizeof name);
  if (strcmp(name, "#32770") != 0) return TRUE;
  int isBox = GetDlgItem(window, 0xFFFF) != nullptr;
  if (isBox != search->wantBox) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindWindowOf(int n, int wantBox) {
  Search search = {Processes[n].dwProcessId, wantBox, nullptr};
  EnumWindows(Visit, (LPARAM)&search);
  return search.found;
}

// Waits for process n's dialog or message box; 0 if the process ended first.
HWND WaitWindow(int n, int wantBox, int ms) {
  for (int waited = 0; waited < ms; waited += PollMs) {
    HWND window = FindWindowOf(n, wantBox);
    if (window) return window;
    if (WaitForSingleObject(Processes[n].hProcess, 0) == WAIT_OBJECT_0) {
      // A window may still be going away; look once more.
      return FindWindowOf(n, wantBox);
    }
    Sleep(PollMs);
  }
  return nullptr;
}

int Process(const char* field) {
  int n = atoi(field);
  if (n < 0 || n >= ProcessCount) {
    Line("error no process %s\n", field);
    exit(4);
  }
  return n;
}

void Start(const char* commandLine) {
  if (ProcessCount == MaxProcesses) exit(4);
  char line[2048];
  snprintf(line, sizeof line, "%s", commandLine);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION* info = &Processes[ProcessCount];
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, info)) {
    Line("error start %lu %s\n", GetLastError(), commandLine);
    exit(4);
  }
  Line("started %d\n", ProcessCount++);
}

void ShowDialog(int n) {
  Dialog = WaitWindow(n, 0, WaitMs);
  if (!Dialog) Fail("dialog");
  char title[256];
  TextOf(Dialog, title, sizeof title);
  RECT r;
  GetWindowRect(Dialog, &r);
  Line("dialog ");
  PrintQuoted(title);
  Line(" %ld %ld %ld %ld screen %d %d\n", r.left, r.top, r.right - r.left, r.bottom - r.top,
       GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
  char text[512];
  TextOf(control, text, sizeof text);
  Line("control %d %d ", (int)(short)GetDlgCtrlID(control), IsWindowVisible(control) ? 1 : 0);
  PrintQuoted(text);
  Line("\n");
  return TRUE;
}

// The dialog's font as its template names it (8 points) at the DPI the test
// set: the control's own font handle belongs to the other process, and Wine
// tells another process's window's DPI unreliably.

BOOL CALLBACK PrintLayout(HWND control, LPARAM context) {
  if (!IsWindowVisible(control)) return TRUE;
  char text[512], name[64];
  TextOf(control, text, sizeof text);
  if (!text[0]) return TRUE;
  GetClassNameA(control, name, sizeof name);
  RECT client, window;
  GetClientRect(control, &client);
  GetWindowRect(control, &window);
  HDC dc = (HDC)context;
  RECT need = {0, 0, 0, 0};
  DrawTextA(dc, text, -1, &need, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  RECT dialog;
  GetClientRect(Dialog, &dialog);
  MapWindowPoints(nullptr, Dialog, (POINT*)&window, 2);
  int inside = window.left >= 0 && window.top >= 0 && window.right <= dialog.right && window.bottom <= dialog.bottom;
  Line("layout %d %s %ld %ld need %ld %ld inside %d\n", (int)(short)GetDlgCtrlID(control), name, client.right,
       client.bottom, need.right, need.bottom, inside);
  return TRUE;
}

void Layout(int dpi) {
  if (!Dialog) return;
  HDC dc = GetDC(Dialog);
  HFONT font =
      CreateFontA(-MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  HGDIOBJ old = SelectObject(dc, font);
  EnumChildWindows(Dialog, PrintLayout, (LPARAM)dc);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(Dialog, dc);
}

void Acknowledge(int n, int button = IDOK) {
  HWND box = WaitWindow(n, 1, WaitMs);
  if (!box) Fail("msgbox");
  char caption[256], text[1024];
  TextOf(box, caption, sizeof caption);
  TextOf(GetDlgItem(box, 0xFFFF), text, sizeof text);
  Line("msgbox ");
  PrintQuoted(caption);
  Line(" ");
  PrintQuoted(text);
  Line("\n");
  HWND ok = GetDlgItem(box, button);
  if (ok) {
    PostMessageA(ok, BM_CLICK, 0, 0);
  } else {
    PostMessageA(box, WM_COMMAND, (WPARAM)button, 0);
  }
  // The box is gone before the next step looks for windows.
  for (int waited = 0; waited < WaitMs && IsWindow(box) && IsWindowVisible(box); waited += PollMs) Sleep(PollMs);
}

void BoxesUntilDialog(int n) {
  for (int waited = 0; waited < WaitMs; waited += PollMs) {
    if (FindWindowOf(n, 1)) {
      Acknowledge(n);
      continue;
    }
    if (FindWindowOf(n, 0)) {
      Dialog = FindWindowOf(n, 0);
      Line("dialog shown\n");
      return;
    }
    if (WaitForSingleObject(Processes[n].hProcess, 0) == WAIT_OBJECT_0) {
      Line("ended without a dialog\n");
      return;
    }
    Sleep(PollMs);
  }
  Fail("boxes");
}

enum { MaxHeld = 4 };
HANDLE Held[MaxHeld];
int HeldCount = 0;

void Hold(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE || HeldCount == MaxHeld) {
    Line("error hold %lu %s\n", GetLastError(), path);
    exit(4);
  }
  Held[HeldCount++] = h;
  Line("held\n");
}

void Kill(int n, int ms) {
  if (WaitForSingleObject(Processes[n].hProcess, (DWORD)ms) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(Processes[n].hProcess, &code);
    Line("ended before the kill %d %lu\n", n, code);
    return;
  }
  TerminateProcess(Processes[n].hProcess, 99);
  WaitForSingleObject(Processes[n].hProcess, WaitMs);
  Line("killed %d\n", n);
}

void Quiet(int n, int ms) {
  for (int waited = 0; waited < ms; waited += PollMs) {
    if (FindWindowOf(n, 1)) {
      Line("unexpected msgbox\n");
      return;
    }
    Sleep(PollMs);
  }
  Line(FindWindowOf(n, 0) ? "quiet, dialog open\n" : "quiet, no dialog\n");
}

void PressKey(const char* key) {
  WPARAM vk = strcmp(key, "enter") == 0 ? VK_RETURN : VK_ESCAPE;
  // The key goes to the control that has the focus, as typing does; the
  // dialog's message loop turns it into the default or cancel command.
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof gui;
  HWND target = Dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(Dialog, nullptr), &gui) && gui.hwndFocus) target = gui.hwndFocus;
  PostMessageA(target, WM_KEYDOWN, vk, 1);
  PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
}

void WaitExit(int n) {
  if (WaitForSingleObject(Processes[n].hProcess, WaitMs) != WAIT_OBJECT_0) Fail("exit");
  DWORD code = 0;
  GetExitCodeProcess(Processes[n].hProcess, &code);
  Line("exit %d %lu\n", n, code);
}

void RegSet(const char* key, const char* value, const char* data) {
  HKEY k;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS) {
    Line("error regset %s\n", key);
    exit(4);
  }
  RegSetValueExA(k, value, 0, REG_SZ, (const BYTE*)data, (DWORD)strlen(data) + 1);
  RegCloseKey(k);
}

void RegGet(const char* key, const char* value) {
  HKEY k;
  char data[1024];
  DWORD size = sizeof data - 1;
  Line("reg %s %s ", key, value);
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) {
    Line("missing\n");
    return;
  }
  LONG status = RegQueryValueExA(k, value, nullptr, nullptr, (BYTE*)data, &size);
  RegCloseKey(k);
  if (status != ERROR_SUCCESS) {
    Line("missing\n");
    return;
  }
  data[size] = '\0';
  PrintQuoted(data);
  Line("\n");
}

void RegKey(const char* key) {
  HKEY k;
  int exists = RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) == ERROR_SUCCESS;
  if (exists) {
    DWORD values = 0;
    RegQueryInfoKeyA(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(k);
    Line("regkey %s present %lu values\n", key, values);
  } else {
    Line("regkey %s absent\n", key);
  }
}

int Split(char* step, char** fields) {
  int n = 0;
  fields[n++] = step;
  for (char* p = step; *p && n < MaxFields; p++) {
    if (*p == '|') {
      *p = '\0';
      fields[n++] = p + 1;
    }
  }
  for (int i = n; i < MaxFields; i++) fields[i] = (char*)"";
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    char* f[MaxFields];
    Split(argv[i], f);
    const char* op = f[0];
    if (strcmp(op, "env") == 0) {
      SetEnvironmentVariableA(f[1], f[2]);
    } else if (strcmp(op, "cwd") == 0) {
      SetCurrentDirectoryA(f[1]);
    } else if (strcmp(op, "start") == 0) {
      Start(f[1]);
    } else if (strcmp(op, "dialog") == 0) {
      ShowDialog(Process(f[1]));
    } else if (strcmp(op, "controls") == 0) {
      if (Dialog) EnumChildWindows(Dialog, PrintControl, 0);
    } else if (strcmp(op, "layout") == 0) {
      Layout(atoi(f[1]));
    } else if (strcmp(op, "settext") == 0) {
      DWORD_PTR result;
      SendMessageTimeoutA(GetDlgItem(Dialog, atoi(f[1])), WM_SETTEXT, 0, (LPARAM)f[2], SMTO_ABORTIFHUNG, 2000, &result);
    } else if (strcmp(op, "click") == 0) {
      PostMessageA(GetDlgItem(Dialog, atoi(f[1])), BM_CLICK, 0, 0);
    } else if (strcmp(op, "key") == 0) {
      PressKey(f[1]);
    } else if (strcmp(op, "msgbox") == 0) {
      Acknowledge(Process(f[1]), f[2][0] ? atoi(f[2]) : IDOK);
    } else if (strcmp(op, "shown") == 0) {
      if (!WaitWindow(Process(f[1]), 1, WaitMs)) Fail("shown");
      Line("shown\n");
    } else if (strcmp(op, "boxes") == 0) {
      BoxesUntilDialog(Process(f[1]));
    } else if (strcmp(op, "hold") == 0) {
      Hold(f[1]);
    } else if (strcmp(op, "release") == 0) {
      while (HeldCount > 0) CloseHandle(Held[--HeldCount]);
    } else if (strcmp(op, "kill") == 0) {
      Kill(Process(f[1]), atoi(f[2]));
    } else if (strcmp(op, "quiet") == 0) {
      Quiet(Process(f[1]), atoi(f[2]));
    } else if (strcmp(op, "exit") == 0) {
      WaitExit(Process(f[1]));
    } else if (strcmp(op, "regset") == 0) {
      RegSet(f[1], f[2], f[3]);
    } else if (strcmp(op, "regget") == 0) {
      RegGet(f[1], f[2]);
    } else if (strcmp(op, "regkey") == 0) {
      RegKey(f[1]);
    } else if (strcmp(op, "regdel") == 0) {
      RegDeleteTreeA(HKEY_CURRENT_USER, f[1]);
    } else {
      Line("error unknown step %s\n", op);
      return 4;
    }
  }
  for (int i = 0; i < ProcessCount; i++) {
    if (WaitForSingleObject(Processes[i].hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(Processes[i].hProcess, 99);
      Line("ended %d\n", i);
    }
  }
  return 0;
}
