// A PE image (32- or 64-bit) as lzx make-updater reads and rewrites it: the
// headers, the section table and the data directories, over the file's bytes
// in memory. Every offset read from the file is checked against its size.
#pragma once

#include <stdint.h>

enum {
  PeSectionsMax = 32,
  PeDirResource = 2,
  PeDirSecurity = 4,
  PeDirReloc = 5,
  PeRtVersion = 16,
};

struct PeSection {
  char name[9];
  uint32_t virtualSize, rva, rawSize, rawOffset, flags;
};

struct PeImage {
  const unsigned char* bytes;
  uint32_t size;
  uint32_t optional;     // offset of the optional header
  uint32_t table;        // offset of the section table
  uint32_t directories;  // offset of the data directories
  uint32_t directoryCount;
  uint32_t sectionAlignment, fileAlignment;
  int sectionCount;
  PeSection sections[PeSectionsMax];
};

// Reads the headers of bytes; null when they make a PE image whose sections
// all lie inside the file, else what is wrong.
const char* PeRead(const unsigned char* bytes, uint32_t size, PeImage* out);

// The index of the section called name, or -1.
int PeFindSection(const PeImage* image, const char* name);

// The bytes of section i that the file holds (its raw data, at most its
// virtual size).
uint32_t PeSectionBytes(const PeImage* image, int i);

// The resource section rsrc (size bytes, at RVA oldRva) laid out anew at
// newRva with every RT_VERSION resource's data replaced by version: the
// directory tree is kept as it is, the leaves follow it. Writes at most
// capacity bytes to out and sets *outSize; null, or what is wrong with the
// tree.
const char* PeRebuildResources(const unsigned char* rsrc, uint32_t size, uint32_t oldRva, uint32_t newRva,
                               const unsigned char* version, uint32_t versionSize, unsigned char* out,
                               uint32_t capacity, uint32_t* outSize);

// The PE checksum of a file: the 16-bit words summed with the carry folded
// back, the checksum field (at checksumOffset) taken as zero, plus the length.
uint32_t PeChecksum(const unsigned char* bytes, uint32_t size, uint32_t checksumOffset);
