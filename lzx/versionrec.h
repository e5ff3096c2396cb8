// The 432-byte entry header of an archive, which is also the record of the
// version file "lzx.ver". On disk every integer is 32-bit little-endian; the
// in-memory form is converted field by field, never copied as a struct.
#pragma once

#include <stdint.h>

enum {
  VersionRecordSize = 432,
  VersionNameSize = 256,
  VersionReservedSize = 152,
  VersionMinimum = 100,  // lowest version an archive entry may carry
};

// status values in a version table
enum { VersionStatusNone = 0, VersionStatusNew = 1, VersionStatusUpdated = 2, VersionStatusUnchanged = 3 };

struct VersionRecord {
  char name[VersionNameSize];  // NUL-terminated; '#' prefix: relative to the target directory
  int32_t size;                // data bytes that follow the record in an archive
  int32_t version;
  int32_t status;
  int32_t scrambled;    // E=: 1 passes the written file through ScrambleFile
  int32_t deleteAfter;  // D=: delete the target after the entry
  int32_t replaceOnly;  // R=: write only over an existing target
  unsigned char reserved[VersionReservedSize];
};

// Decodes 432 bytes into a record. src and dst may overlap (a table read from
// disk can be decoded in place). Returns 1, or 0 if the name has no NUL in its
// 256 bytes; the name is then cut at its last byte so it is always terminated.
int VersionRecordDecode(const unsigned char* src, VersionRecord* dst);
// Encodes a record into 432 bytes; src and dst may overlap.
void VersionRecordEncode(const VersionRecord* src, unsigned char* dst);

// Case-insensitive (ASCII) equality of two names, as the version table matches them.
int VersionNameEqual(const char* a, const char* b);

// A version file: capacity slots of table are zeroed and filled with the
// records of the file (at most capacity). A trailing partial record fills the
// next slot as far as its bytes go and counts as a record (the rest of its
// slot is zero). Returns the number of records read; 0 if the file does not
// exist. File errors are fatal.
int VersionFileRead(const char* path, VersionRecord* table, int capacity);
// Number of whole records in a version file (0 if it does not exist).
int VersionFileCount(const char* path);
// Writes the used slots (up to the first empty name, at most capacity) with
// their status cleared. The new file is written beside the old one (a scratch
// file, removed by the fatal path) and moved over it only when complete, so a
// failure never leaves a damaged file or a scratch file behind; inside an
// install transaction it is staged and replaces the old one at the commit.
// Returns the number of records written.
int VersionFileWrite(const char* path, const VersionRecord* table, int capacity);
