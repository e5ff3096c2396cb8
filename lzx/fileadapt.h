// The library's thin layer over the file layer: every byte of a compressed
// file passes here. Records have size 1, so all counts are bytes.
#pragma once

#include <stdint.h>

#include "fileio/file.h"

// "rb" opens for reading, "wb" creates (emptying), "w+b" creates empty and
// reopens for reading and writing; compared without regard to case.
void DoFopen(const char* name, const char* mode, FileRec* file);
// Reads exactly count bytes; fewer is fatal.
void DoFread(void* dest, int count, FileRec* file);
void DoFwrite(const void* src, int count, FileRec* file);
void DoFseek(FileRec* file, int32_t position);
int32_t DoFtell(FileRec* file);
void DoFclose(FileRec* file);
