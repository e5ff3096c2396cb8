// The message catalogue: every text the program shows, apart from the few
// fixed ones its parts quote themselves, in Dutch and English.
#pragma once

enum { MessageFirst = 4, MessageLast = 23 };

// The text of message number for the given language (1 Dutch, 0 English) and
// build variant. Numbers outside MessageFirst..MessageLast give "Unknown".
// Rows that depend on a flag test only that flag. The text is constant and
// owned by the catalogue.
const char* MessageTextFor(int number, int dutch, int vexa, int demo);

// The text for the current language and this build's variant (defined with the
// variant flags, one per executable).
const char* MessageText(int number);
