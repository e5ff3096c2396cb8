// CRC-32 as zlib computes it (reflected polynomial 0xEDB88320, initial and
// final value inverted). The archive format carries no checksum of its own:
// this digest travels beside an archive (a build constant of the updater, the
// line that `lzx pack` prints) so that damage that still decodes is caught.
#pragma once

#include <stddef.h>
#include <stdint.h>

// crc starts at 0; pass the previous result to continue.
uint32_t Crc32(uint32_t crc, const void* data, size_t length);

// The digest of a whole file, read through the file layer; its length in bytes
// goes to *length when given. Failures are the file layer's fatal errors.
uint32_t FileCrc32(const char* path, int64_t* length);
