#include "updater/messages.h"

#include <gtest/gtest.h>
#include <string.h>

namespace {

// Rows that depend on a flag: both values of the flag, in both languages, and
// the other flag must not matter.
TEST(MessageText, RowsFollowOnlyTheirOwnFlag) {
  for (int other = 0; other <= 1; other++) {
    EXPECT_STREQ(MessageTextFor(4, 1, other, 0), "update informatie");
    EXPECT_STREQ(MessageTextFor(4, 1, other, 1), "demo informatie");
    EXPECT_STREQ(MessageTextFor(4, 0, other, 1), "demo information");
    EXPECT_STREQ(MessageTextFor(11, 1, other, 1), "Installeer demo");
    EXPECT_STREQ(MessageTextFor(11, 0, other, 0), "Install update");
    EXPECT_STREQ(MessageTextFor(13, 1, other, 0), "De update is aangebracht.");
    EXPECT_STREQ(MessageTextFor(13, 1, other, 1), "Installatie succesvol.\nVeel plezier.");
    EXPECT_STREQ(MessageTextFor(13, 0, other, 0), "The update has been applied.");
    EXPECT_STREQ(MessageTextFor(13, 0, other, 1), "Installation completed.");
    EXPECT_STREQ(MessageTextFor(14, 1, other, 1), "Einde installatie");
    EXPECT_STREQ(MessageTextFor(14, 0, other, 0), "Update report");
    EXPECT_STREQ(MessageTextFor(14, 0, other, 1), "Installation finished");

    EXPECT_STREQ(MessageTextFor(10, 1, 1, other), "het Vexa team");
    EXPECT_STREQ(MessageTextFor(10, 1, 0, other), "ontwikkelling");
    EXPECT_STREQ(MessageTextFor(10, 0, 1, other), "the Vexa team");
    EXPECT_STREQ(MessageTextFor(10, 0, 0, other), "development");
  }
}

TEST(MessageText, CopyrightLineDependsOnTheLineNotTheLanguage) {
  EXPECT_STREQ(MessageTextFor(9, 1, 1, 0), MessageTextFor(9, 0, 1, 1));
  EXPECT_STREQ(MessageTextFor(9, 1, 0, 0), MessageTextFor(9, 0, 0, 0));
  EXPECT_STRNE(MessageTextFor(9, 1, 1, 0), MessageTextFor(9, 1, 0, 0));
}

TEST(MessageText, NumbersOutsideTheCatalogueAreUnknown) {
  for (int dutch = 0; dutch <= 1; dutch++) {
    for (int n : {-1, 0, 3, 24, 1000, -2147483647 - 1}) EXPECT_STREQ(MessageTextFor(n, dutch, 1, 0), "Unknown") << n;
    for (int n = MessageFirst; n <= MessageLast; n++) EXPECT_STRNE(MessageTextFor(n, dutch, 1, 0), "Unknown") << n;
  }
}

TEST(MessageText, EmptyThirdLineAndFixedLineBreaks) {
  EXPECT_STREQ(MessageTextFor(8, 1, 1, 0), "");
  EXPECT_STREQ(MessageTextFor(8, 0, 0, 1), "");
  EXPECT_STREQ(MessageTextFor(22, 1, 0, 0), "Tijdens de installatie mag er geen\nandere Marvik Software draaien.");
  EXPECT_EQ(strchr(MessageTextFor(22, 0, 0, 0), '\n'), nullptr);
  // The product running: the product in Dutch, the product line in English.
  EXPECT_STREQ(MessageTextFor(21, 1, 1, 0), "Tijdens de installatie mag Doravo niet actief zijn.");
  EXPECT_STREQ(MessageTextFor(21, 0, 1, 0), "During updating Vexa should not be active.");
}

TEST(MessageText, ContactLinesHaveTheirForm) {
  for (int dutch = 0; dutch <= 1; dutch++) {
    EXPECT_EQ(strncmp(MessageTextFor(15, dutch, 1, 1), "E-mail: ", 8), 0);
    EXPECT_EQ(strncmp(MessageTextFor(16, dutch, 1, 0), "E-mail: ", 8), 0);
    EXPECT_EQ(strncmp(MessageTextFor(17, dutch, 1, 0), "Internet: ", 10), 0);
    // Static controls take a single '&' as a mnemonic.
    for (int n = MessageFirst; n <= MessageLast; n++) EXPECT_EQ(strchr(MessageTextFor(n, dutch, 1, 0), '&'), nullptr);
  }
  EXPECT_STRNE(MessageTextFor(17, 1, 1, 0), MessageTextFor(17, 0, 1, 0));
}

}  // namespace
