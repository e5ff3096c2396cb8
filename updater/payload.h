// The archives in the program's data section (lzx/updater_data.h), with their
// lengths and CRC-32 digests; set by LoadUpdaterData (updater/product.h).
#pragma once

#include <stdint.h>

extern const unsigned char* const& ArchiveImage;
extern const int32_t& ArchiveImageLength;
extern const uint32_t& ArchiveImageDigest;

// A second archive for the demo install's second pass; length 0 when the
// updater carries none.
extern const unsigned char* const& SecondImage;
extern const int32_t& SecondImageLength;
extern const uint32_t& SecondImageDigest;
