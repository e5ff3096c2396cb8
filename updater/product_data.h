// Per-build product data: the one place that names the product, the version
// the update brings and its makers. The message catalogue builds its product
// lines from it and the version resource of each variant reads it, so both
// always agree. Plain macros of string literals and numbers: the resource
// compiler includes this file too.
#pragma once

// The product this update is for (registry key Software\<name>, the dialog's
// title) and the version it writes to the key's "Version" value.
#define PRODUCT_NAME "Doravo"
#define PRODUCT_VERSION "1.01"
// The same version as the four numbers of the version resource.
#define PRODUCT_VERSION_NUMBERS 1, 1, 0, 0
// The release date as the dialog shows it, in Dutch and in English.
#define PRODUCT_DATE_DUTCH "22-mei-2003"
#define PRODUCT_DATE_ENGLISH "22-may-2003"
#define PRODUCT_YEAR "2003"

// The makers: the Vexa line's and the Marvik family's.
#define VEXA_COMPANY "Vexa Software"
#define MARVIK_COMPANY "Marvik Software"

// What each variant's version resource says of itself.
#define DORAVO_UPDATE_DESCRIPTION "Doravo " PRODUCT_VERSION " update"
#define DORAVO_UPDATE_FILE "DoravoUpdate.exe"
#define DEMO_PRODUCT_NAME "Vexa Demo"
#define DEMO_SETUP_DESCRIPTION "Vexa Demo setup"
#define DEMO_SETUP_FILE "VexaDemoSetup.exe"
#define MARVIK_UPDATE_DESCRIPTION "Doravo " PRODUCT_VERSION " update for Marvik Software"
#define MARVIK_UPDATE_FILE "MarvikUpdate.exe"
