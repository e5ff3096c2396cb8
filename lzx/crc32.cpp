#include "lzx/crc32.h"

#include "fileio/file.h"

namespace {

uint32_t Table[256];
int TableReady = 0;

void MakeTable() {
  for (uint32_t n = 0; n < 256; n++) {
    uint32_t c = n;
    for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    Table[n] = c;
  }
  TableReady = 1;
}

enum { ChunkSize = 16384 };
unsigned char Chunk[ChunkSize];

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t length) {
  if (!TableReady) MakeTable();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t c = crc ^ 0xFFFFFFFFu;
  for (size_t i = 0; i < length; i++) c = Table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

uint32_t FileCrc32(const char* path, int64_t* length) {
  FileRec file;
  FileInit(&file, 1, path);
  FileOpenRead(&file);
  uint32_t crc = 0;
  int64_t total = 0;
  for (int n; (n = FileRead(&file, ChunkSize, Chunk)) > 0; total += n) crc = Crc32(crc, Chunk, (size_t)n);
  FileClose(&file);
  if (length) *length = total;
  return crc;
}
