// The program's options and the flags they set.
#pragma once

// 1 = Dutch (the default, set at entry), 0 = English.
extern int LangDutch;
// 1 when "-log" was given.
extern int LogEnabled;
// 1 when "-silent" was given: no dialog and no message box; the outcome goes
// to the exit code (and with "-log" to the log).
extern int SilentMode;
// The directory of "-dir=PATH" (the demo install's directory), empty when
// the option was not given. A path with blanks is written -dir="PATH".
extern char OptionDir[];

enum {
  ArgumentCopySize = 260,  // the argument string is cut at 259 characters
  CommandWordSlots = 50,   // "dummy", at most 48 words, the closing empty entry
  CommandWordsMax = CommandWordSlots - 2,
  OptionDirSize = ArgumentCopySize,
};

// Reads "-log", "-dut", "-eng" and "-silent" (without regard to case; the
// last language option wins) from the argument string, split at blanks only,
// and "-dir=PATH" (the last one wins). Words beyond the 48 that fit the word
// list are ignored. Returns 1.
int ParseCommandLine(const char* arguments);
