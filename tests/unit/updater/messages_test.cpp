#include "updater/messages.h"

#include <gtest/gtest.h>
#include <string.h>

#include "updater/product.h"

// The product data an executable gets from its data section; here one that
// differs in every field from the fixed wording.
const ProductData TestProduct = {
    "Testprodukt",
    "9.99",
    {"Update Testprodukt to", "Update Testprodukt naar"},
    {"version 9.99 (1-jan-2030)", "versie 9.99 (1-jan-2030)"},
    "Copyright 2030 Test && Zonen",
    {"the test team", "het testteam"},
    {"E-mail: en@test.test", "E-mail: nl@test.test"},
    {"Internet: en.test.test", "Internet: www.test.test"},
    {"A", "B"},
};
const ProductData& Product = TestProduct;

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
  }
}

// The product's rows come from the product data, in the language asked for,
// whatever the variant.
TEST(MessageText, ProductRowsComeFromTheProductData) {
  for (int vexa = 0; vexa <= 1; vexa++) {
    for (int demo = 0; demo <= 1; demo++) {
      for (int dutch = 0; dutch <= 1; dutch++) {
        EXPECT_EQ(MessageTextFor(5, dutch, vexa, demo), Product.name);
        EXPECT_EQ(MessageTextFor(6, dutch, vexa, demo), Product.updateLine[dutch]);
        EXPECT_EQ(MessageTextFor(7, dutch, vexa, demo), Product.versionLine[dutch]);
        EXPECT_EQ(MessageTextFor(9, dutch, vexa, demo), Product.copyright);
        EXPECT_EQ(MessageTextFor(10, dutch, vexa, demo), Product.team[dutch]);
        EXPECT_EQ(MessageTextFor(15, dutch, vexa, demo), Product.mail[dutch]);
        EXPECT_EQ(MessageTextFor(16, dutch, vexa, demo), Product.mail[dutch]);
        EXPECT_EQ(MessageTextFor(17, dutch, vexa, demo), Product.web[dutch]);
      }
    }
  }
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
  EXPECT_STREQ(MessageTextFor(21, 1, 1, 0), "Tijdens de installatie mag Testprodukt niet actief zijn.");
  EXPECT_STREQ(MessageTextFor(21, 0, 1, 0), "During updating Vexa should not be active.");
}

TEST(MessageText, FixedWordingHasNoAmpersand) {
  // Static controls take a single '&' as a mnemonic; the product file's texts
  // are checked for that by the build.
  for (int dutch = 0; dutch <= 1; dutch++) {
    for (int n = MessageFirst; n <= MessageLast; n++) {
      if (n != 9) {
        EXPECT_EQ(strchr(MessageTextFor(n, dutch, 1, 0), '&'), nullptr) << n;
      }
    }
  }
}

}  // namespace
