// The version resource (VS_VERSIONINFO) of an updater, from its product file:
// the fixed part with the version numbers, and the strings of one Dutch
// Unicode table, as the stub's resource script lays them out.
#pragma once

#include <stdint.h>

#include "tools/product_file.h"

enum { VersionResourceMax = 4096 };

// Writes the resource into out (VersionResourceMax bytes); returns its size.
uint32_t VersionResourceBuild(const ProductFile* product, unsigned char* out);
