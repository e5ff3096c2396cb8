// Texts of the install step that need no system: the demo directory typed by
// the user and the shell commands that make the demo's program group.
#pragma once

#include <stddef.h>

enum {
  InstallDirSize = 260,  // InstallDir and every path buffer of the dialogs
  DemoDirMinimum = 4,    // shorter demo directories are refused
  ShellItemCommandSize = 256,
  ShellUninstallCommandSize = 320,
};

// Removes trailing backslashes while more than one character is left. Returns
// 1 if at least DemoDirMinimum characters remain, 0 if the text is refused.
int TrimDemoDirectory(char* text);

// The Program Manager commands, formatted into buffer of size bytes. Each
// returns 1 when the whole command fits, 0 when it would not (the buffer then
// holds an empty text and the command must not be sent).
int FormatCreateGroup(char* buffer, size_t size, const char* group);
int FormatReplaceItem(char* buffer, size_t size, const char* title);
int FormatAddItem(char* buffer, size_t size, const char* dir, const char* program, const char* arguments,
                  const char* title);
int FormatAddUninstall(char* buffer, size_t size, const char* dir);
