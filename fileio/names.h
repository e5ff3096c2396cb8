// Helpers of the file layer's own sources; not part of its interface.
#pragma once

#include <stddef.h>

// Copies text into out (size bytes) when it fits with its NUL; returns 1, or
// 0 with out cut to size - 1 characters when it does not.
int CopyName(char* out, size_t size, const char* text);

// The name as shown in a fatal text that leaves room for room characters of
// it: the name itself when it fits, else "..." and its last characters, which
// say most about the file. out holds room + 1 bytes.
const char* ShortName(const char* name, char* out, size_t room);

// The file a registered scratch file, or a staged or backup file of the
// transaction, stands for; path itself otherwise.
const char* FileScratchStandsFor(const char* path);
// The target whose staged or backup file path is, while a transaction is
// active; null otherwise.
const char* TxStandsFor(const char* path);

// Internal error codes of the file layer beyond those of the open-file table.
enum {
  FileInternalBadRecSize = 96,  // a transfer on a record size that cannot carry it
  FileInternalBadCount = 97,    // a negative or oversized count, or a copy buffer of no record
};
