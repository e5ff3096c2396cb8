// The program's options and the flags they set.
#pragma once

// 1 = Dutch (the default, set at entry), 0 = English.
extern int LangDutch;
// 1 when "-log" was given.
extern int LogEnabled;

enum {
  ArgumentCopySize = 260,  // the argument string is cut at 259 characters
  CommandWordSlots = 50,   // "dummy", at most 48 words, the closing empty entry
  CommandWordsMax = CommandWordSlots - 2,
};

// Reads "-log", "-dut" and "-eng" (without regard to case; the last language
// option wins) from the argument string, split at blanks only. Words beyond
// the 48 that fit the word list are ignored. Returns 1.
int ParseCommandLine(const char* arguments);
