// The product data of this updater: the product it updates, the version it
// brings and the dialog's product lines. They live in the program's data
// section (lzx/updater_data.h), which lzx make-updater writes from a product
// file (payload/*/*.product); the message catalogue keeps only the fixed
// wording.
#pragma once

#include "lzx/updater_data.h"

// Read from the data section by LoadUpdaterData (updater/product.cpp).
extern const ProductData& Product;

// The registry key's name and the version written to its "Version" value
// after a complete update.
extern const char* const ProductName;
extern const char* const ProductNewVersion;

// Finds this program's data section in its own image, checks its header and
// makes Product and the archive images (updater/payload.h) its contents. A
// missing or damaged section, and a stub's empty one, end on the fatal path.
void LoadUpdaterData(void);
