// The product file: the data of one updater (its name, the version it brings,
// the dialog's product lines, the version resource's texts) in "field = text"
// lines a person edits. Its rules are those of the dialog template the stub
// was built for: each text must fit its array in the program and its control
// in that dialog.
#pragma once

#include <stdint.h>

#include "lzx/updater_data.h"

enum { ProductResourceSize = 64 };

struct ProductFile {
  ProductData data;
  uint16_t numbers[4];  // version-numbers, for the version resource's fixed part
  // The version resource's texts (plain ASCII), and its product name
  // (resource-product, or the product name).
  char company[ProductResourceSize];
  char description[ProductResourceSize];
  char file[ProductResourceSize];
  char resourceProduct[ProductResourceSize];
};

// Reads and checks path for the dialog template (UpdaterDialog*). Every fault
// is written to standard error as "lzx: PATH:LINE: what is wrong" (line 0 for
// a field that is missing); returns the number of faults, and with none out
// holds the product.
int ProductFileRead(const char* path, int dialog, ProductFile* out);

// The width of a UTF-8 text in dialog units in the dialogs' 8-point font,
// estimated from classes of characters (a little wide rather than narrow).
double ProductTextWidth(const char* text);
