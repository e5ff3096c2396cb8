// The product data of this updater: the product it updates, the version it
// brings and the dialog's product lines. Each executable's data comes from its
// product file (payload/*/*.product), which the build turns into the header
// that updater/product.cpp and the version resource read; the message
// catalogue keeps only the fixed wording.
#pragma once

enum {
  // Name of the registry key under HKEY_CURRENT_USER\Software and the
  // dialog's title; with "Software\" it must fit the 40-character key path.
  ProductNameMax = 30,
  ProductVersionSize = 16,
  ProductLineSize = 64,
  ProductShortSize = 32,
  ProductMembersMax = 6,
};

// Texts of both languages: [0] English, [1] Dutch (the catalogue's "dutch"
// flag as the index).
struct ProductData {
  char name[ProductNameMax + 1];
  char version[ProductVersionSize];
  char updateLine[2][ProductLineSize];
  char versionLine[2][ProductLineSize];
  char copyright[ProductLineSize];
  char team[2][ProductShortSize];
  char mail[2][ProductLineSize];
  char web[2][ProductLineSize];
  char members[ProductMembersMax][ProductShortSize];
};

// Defined once per executable (updater/product.cpp).
extern const ProductData Product;

// The registry key's name and the version written to its "Version" value
// after a complete update.
extern const char* const ProductName;
extern const char* const ProductNewVersion;
