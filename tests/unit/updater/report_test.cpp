#include "updater/report.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

void Row(VersionRecord* row, const char* name, int status) {
  memset(row, 0, sizeof *row);
  strcpy(row->name, name);
  row->version = 101;
  row->status = status;
}

TEST(CountUpdate, CountsUsedRowsByStatusAndClearsThem) {
  VersionRecord table[8];
  memset(table, 0, sizeof table);
  Row(&table[0], "#a", VersionStatusNew);
  Row(&table[1], "#b", VersionStatusUpdated);
  Row(&table[2], "#c", VersionStatusUnchanged);
  Row(&table[3], "#d", VersionStatusUpdated);
  Row(&table[4], "#e", 7);                  // counts nowhere
  Row(&table[5], "#f", VersionStatusNone);  // not touched by this archive
  Row(&table[7], "#h", VersionStatusNew);   // after the first empty row: not used
  UpdateCounts counts;
  EXPECT_EQ(CountUpdate(table, 8, &counts), 6);
  EXPECT_EQ(counts.newFiles, 1);
  EXPECT_EQ(counts.updated, 2);
  EXPECT_EQ(counts.unchanged, 1);
  for (int i = 0; i < 6; i++) EXPECT_EQ(table[i].status, 0) << i;
  EXPECT_EQ(table[7].status, VersionStatusNew);
}

TEST(CountUpdate, StopsAtCapacityAndAtAnEmptyTable) {
  VersionRecord table[3];
  for (int i = 0; i < 3; i++) Row(&table[i], "#x", VersionStatusUnchanged);
  UpdateCounts counts;
  EXPECT_EQ(CountUpdate(table, 2, &counts), 2);
  EXPECT_EQ(counts.unchanged, 2);
  EXPECT_EQ(table[2].status, VersionStatusUnchanged);
  memset(table, 0, sizeof table);
  EXPECT_EQ(CountUpdate(table, 3, &counts), 0);
  EXPECT_EQ(counts.newFiles + counts.updated + counts.unchanged, 0);
}

TEST(ReportTexts, NotReplacedAndCounts) {
  char text[ReportTextSize];
  FormatNotReplaced(text, sizeof text, "The update has been applied.", 1);
  EXPECT_STREQ(text, "The update has been applied.\n1 bestanden niet vervangen.");
  UpdateCounts counts = {3, 12, 0};
  FormatUpdateCounts(text, sizeof text, &counts);
  EXPECT_STREQ(text, "New files: 3\nUpdated files: 12\nUnchanged files: 0");
  char small[8];
  FormatNotReplaced(small, sizeof small, "De update is aangebracht.", 2);
  EXPECT_STREQ(small, "De upda");
}

}  // namespace
