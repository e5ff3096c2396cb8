// The archives built into the program's initialised data by the build (a
// generated source), with their lengths and CRC-32 digests as build constants.
#pragma once

#include <stdint.h>

extern const unsigned char ArchiveImage[];
extern const int32_t ArchiveImageLength;
extern const uint32_t ArchiveImageDigest;

// A second archive for the demo install's second pass; length 0 when the
// build carries none.
extern const unsigned char SecondImage[];
extern const int32_t SecondImageLength;
extern const uint32_t SecondImageDigest;
