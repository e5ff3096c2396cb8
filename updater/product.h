// The product this update is for and the version it brings, as the program
// uses them; their values come from updater/product_data.h, which the
// catalogue's product lines and the version resource read as well.
#pragma once

// Name of the registry key under HKEY_CURRENT_USER\Software and the dialog's
// title; with "Software\" it must fit the 40-character key path.
extern const char ProductName[];
// Written to the key's "Version" value after a complete update.
extern const char ProductNewVersion[];

enum { ProductNameMax = 30 };
