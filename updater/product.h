// Per-build product data: the product this update is for and the version it
// brings. A build for another product or version changes these and the
// product lines of the message catalogue (messages 6, 7, 9 and 10).
#pragma once

// Name of the registry key under HKEY_CURRENT_USER\Software and the dialog's
// title; with "Software\" it must fit the 40-character key path.
extern const char ProductName[];
// Written to the key's "Version" value after a complete update.
extern const char ProductNewVersion[];

enum { ProductNameMax = 30 };
