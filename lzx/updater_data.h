// The data section of an updater: what turns the one program of a variant
// (its stub) into the updater of one product and one release. The stub
// carries the section with its header and nothing else; lzx make-updater
// writes it anew with the product data and the archive, and the updater finds
// it at run time in its own image by the section's name.
//
// Layout (numbers little-endian 32-bit, offsets from the section's start):
//    0  magic "LZXDATA\x1a"
//    8  format version (UpdaterDataVersion)
//   12  header size (UpdaterHeaderSize)
//   16  dialog template of the stub's variant (UpdaterDialog*)
//   20  product data: offset, size (sizeof(ProductData), or 0 in a stub)
//   28  archive: offset, length, CRC-32
//   40  second archive: offset, length, CRC-32 (length 0: none)
//   52  reserved, zero
// Every range lies inside the section.
#pragma once

#include <stdint.h>

#define UpdaterSectionName ".lzxpak"

enum {
  UpdaterDataVersion = 1,
  UpdaterHeaderSize = 64,
  UpdaterMagicSize = 8,
  // The dialog template decides which texts fit their controls.
  UpdaterDialogUpdate = 1,  // update of a Vexa-line product
  UpdaterDialogFamily = 2,  // update for the Marvik family
  UpdaterDialogDemo = 3,    // demo install
};

extern const unsigned char UpdaterMagic[UpdaterMagicSize];

enum {
  // Name of the registry key under HKEY_CURRENT_USER\Software and the
  // dialog's title; with "Software\" it must fit the 40-character key path.
  ProductNameMax = 30,
  ProductVersionSize = 16,
  ProductLineSize = 64,
  ProductShortSize = 32,
  ProductMembersMax = 6,
};

// The product data as the section holds it and the program uses it: texts of
// both languages ([0] English, [1] Dutch), each NUL-terminated in its array.
// Only char arrays, so the layout is the same for every compiler.
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

// The header's fields, and where its ranges lie in the section.
struct UpdaterData {
  int dialog;
  uint32_t productOffset, productSize;
  uint32_t archiveOffset, archiveLength, archiveDigest;
  uint32_t secondOffset, secondLength, secondDigest;
};

// Reads and checks the header of a section of size bytes: null when it is
// sound, else what is wrong with it. A stub's section (no product data) is
// sound.
const char* UpdaterDataRead(const unsigned char* section, uint32_t size, UpdaterData* out);

// Writes the header of data into out (UpdaterHeaderSize bytes).
void UpdaterDataWriteHeader(const UpdaterData* data, unsigned char* out);

// Copies the product data out of a section, with every text ended inside its
// array whatever the bytes held.
void ProductDataCopy(const unsigned char* bytes, ProductData* out);

// "update", "family" or "demo"; "?" for anything else.
const char* UpdaterDialogName(int dialog);
