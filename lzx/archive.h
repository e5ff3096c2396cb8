// The archive: an LZX1 compressed file whose stream is a sequence of entries,
// each a 432-byte VersionRecord followed by its size bytes of data, up to the
// end of the stream.
#pragma once

#include <stdint.h>

#include "fileio/file.h"
#include "lzx/versionrec.h"

enum {
  PackCopySize = 8192,     // source file to archive
  UnpackCopySize = 65536,  // archive to target file: whole blocks, decoded straight into it
  ListLineMax = 256,       // archive name, base directory, entry line
  ListTargetMax = 128,     // target line
  ListFieldsMax = 48,      // fields of an entry line
};

// Name of the file that an entry is written to beside its target before it is
// moved over it; a leftover of an interrupted run is simply overwritten.
#define ArchivePartName "~lzxpart.tmp"

// Builds the archive named on the list file's first line. *total (if given)
// receives the sum of the entries' sizes, *archiveSize (if given) the size of
// the finished file. If table is given, the first capacity records are also
// copied into it. Returns the number of entries.
int PackLZX(const char* listFile, int32_t* total, int32_t* archiveSize, VersionRecord* table, int capacity);

// The archive name on the list file's first line, as PackLZX reads it, into
// name (ListLineMax + 2 bytes).
void ListArchiveName(const char* listFile, char* name);

// Extracts the archive. targetDir may be null if no name begins with '#'.
// With a table, a file is written only when its version is newer than its
// slot's (or equal, with rewriteEqual 1), and each slot touched gets its
// status; without one, rewriteEqual 0 keeps existing files. R writes only over
// an existing target, D deletes the target after its entry.
//
// Every file is staged through the install transaction (fileio/transaction.h)
// and nothing replaces a target before the whole archive is staged. Inside a
// transaction of the caller's, the caller commits (after it has staged its own
// files, such as the version file); without one, UnPackLZX begins its own in
// targetDir and commits it. A failure on the way is undone. Returns 0.
int UnPackLZX(const char* archive, const char* targetDir, VersionRecord* table, int capacity, int rewriteEqual);

// What UnPackLZX would do with each entry, without writing anything: the same
// decisions on table (which gets the same statuses, so pass a copy) and the
// same structure checks. visit sees every entry's target path, record, action
// and whether D deletes it afterwards. Returns 0.
enum {
  ArchiveNew = 1,        // written: new to the table (without one: no target yet)
  ArchiveUpdated = 2,    // written: a newer version (without a table: over the target)
  ArchiveUnchanged = 3,  // the version file's version is newer (or equal)
  ArchiveSkipped = 4,    // R: no target to write over
  ArchiveKept = 5,       // no version file, and an existing target is kept
};
typedef void (*ArchivePlanVisitor)(const char* target, const VersionRecord* record, int action, int deleted,
                                   void* context);
int ArchivePlan(const char* archive, const char* targetDir, VersionRecord* table, int capacity, int rewriteEqual,
                ArchivePlanVisitor visit, void* context);

// Decodes the whole archive and checks its structure, writing nothing: the
// header, every block against the index, every record (a terminated name, a
// '#' name that stays in the target directory, a size inside the stream) and
// the end of the stream at the end of the last entry. With targetDir, the
// target paths must also fit. visit (optional) sees every record in order.
// Returns the number of entries; every fault is fatal.
typedef void (*ArchiveVisitor)(const VersionRecord* record, void* context);
int ArchiveCheck(const char* archive, const char* targetDir, ArchiveVisitor visit, void* context);

// Rewrites a closed file (record size 1) with every 4-byte window from offset
// 1 on exclusive-ored with a position-dependent mask; applying it twice gives
// the file back.
void ScrambleFile(FileRec* file);
// The same transformation on bytes in memory.
void ScrambleBytes(unsigned char* bytes, int32_t n);

// What a name without '#' means when an archive is read: ArchivePlainAsStored
// (the default) uses it unchanged, as a path of its own; ArchivePlainInside
// holds it to the rules of '#' names ("unsafe name" otherwise) and places it in
// the target directory as they are placed. '#' names are the same under both.
enum { ArchivePlainAsStored = 0, ArchivePlainInside = 1 };
void ArchiveSetPlainNames(int policy);

// Progress of PackLZX, UnPackLZX and ArchiveCheck, for a front end that shows
// it. With entry set, an entry begins: path is its source (packing) or target
// (UnPackLZX; null for ArchiveCheck), written 0 for an entry that UnPackLZX
// reads past without writing. With entry null, a piece of data has been
// copied. done is the stream position, total the stream's length when reading
// and 0 when packing. A null fn stops the reports.
typedef void (*ArchiveProgressFn)(const VersionRecord* entry, const char* path, int written, int64_t done,
                                  int64_t total, void* context);
void ArchiveSetProgress(ArchiveProgressFn fn, void* context);

// 1 if a '#' name stays inside the target directory and names a file in it:
// something after the '#', no leading separator, no drive or other colon, no
// ".." component, and a last component that is neither empty nor ".".
// Names without '#' are always 1 (they are used unchanged).
int ArchiveNameSafe(const char* name);

// List-file pieces, exposed for the tests.
// Reads an integer as the standard text-to-integer conversion does (leading
// white space, a sign, digits up to the first non-digit), saturating at the
// 32-bit range.
int32_t ListNumber(const char* text);
// Applies one option field ("V=101", " e=1", ...) to the record; 0 if it is
// none of V=, E=, D=, R=.
int ListOption(const char* field, VersionRecord* record);
// Splits line in place at '|' (consecutive separators count as one) into at
// most max fields; returns their number, or -1 if there are more.
int ListSplit(char* line, char** fields, int max);
