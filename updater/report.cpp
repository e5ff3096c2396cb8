#include "updater/report.h"

#include <stdio.h>

int CountUpdate(VersionRecord* table, int capacity, UpdateCounts* counts) {
  counts->newFiles = counts->updated = counts->unchanged = 0;
  int n = 0;
  for (; n < capacity && table[n].name[0] != '\0'; n++) {
    switch (table[n].status) {
      case VersionStatusNew:
        counts->newFiles++;
        break;
      case VersionStatusUpdated:
        counts->updated++;
        break;
      case VersionStatusUnchanged:
        counts->unchanged++;
        break;
      default:
        break;
    }
    table[n].status = VersionStatusNone;
  }
  return n;
}

void FormatNotReplaced(char* buffer, size_t size, const char* closing, int unchanged) {
  snprintf(buffer, size, "%s\n%d bestanden niet vervangen.", closing, unchanged);
}

void FormatUpdateCounts(char* buffer, size_t size, const UpdateCounts* counts) {
  snprintf(buffer, size, "New files: %d\nUpdated files: %d\nUnchanged files: %d", counts->newFiles, counts->updated,
           counts->unchanged);
}
