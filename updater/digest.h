// CRC-32 as zlib computes it (reflected polynomial 0xEDB88320, initial and
// final value inverted), used to check the embedded archive after it has been
// written out. crc starts at 0; pass the previous result to continue.
#pragma once

#include <stddef.h>
#include <stdint.h>

uint32_t Crc32(uint32_t crc, const void* data, size_t length);
