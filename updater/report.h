// Counting and reporting what an update run did, from the status that the
// extraction left in each row of the version table.
#pragma once

#include <stddef.h>

#include "lzx/versionrec.h"

enum { ReportTextSize = 1024 };

struct UpdateCounts {
  int newFiles;   // status 1
  int updated;    // status 2
  int unchanged;  // status 3
};

// Counts the used rows (up to the first empty name, at most capacity) by
// status, clears each row's status and returns the number of rows visited.
// Other status values count nowhere.
int CountUpdate(VersionRecord* table, int capacity, UpdateCounts* counts);

// "<closing>\n<n> bestanden niet vervangen." (the second line is Dutch in both
// languages). The text is cut to fit buffer.
void FormatNotReplaced(char* buffer, size_t size, const char* closing, int unchanged);
// "New files: %d\nUpdated files: %d\nUnchanged files: %d".
void FormatUpdateCounts(char* buffer, size_t size, const UpdateCounts* counts);
