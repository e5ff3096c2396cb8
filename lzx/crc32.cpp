#include "lzx/crc32.h"

#include "fileio/file.h"

namespace {

// Table[0] is the byte-at-a-time table; Table[k][n] is the CRC of byte n
// followed by k zero bytes, so that eight bytes are folded in at once.
uint32_t Table[8][256];
int TableReady = 0;

void MakeTable() {
  for (uint32_t n = 0; n < 256; n++) {
    uint32_t c = n;
    for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    Table[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; n++) {
    for (int k = 1; k < 8; k++) Table[k][n] = Table[0][Table[k - 1][n] & 0xFF] ^ (Table[k - 1][n] >> 8);
  }
  TableReady = 1;
}

uint32_t Le32At(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

enum { ChunkSize = 65536 };
unsigned char Chunk[ChunkSize];

}  // namespace

uint32_t Crc32(uint32_t crc, const void* data, size_t length) {
  if (!TableReady) MakeTable();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint32_t c = crc ^ 0xFFFFFFFFu;
  for (; length >= 8; p += 8, length -= 8) {
    uint32_t a = c ^ Le32At(p);
    uint32_t b = Le32At(p + 4);
    c = Table[7][a & 0xFF] ^ Table[6][(a >> 8) & 0xFF] ^ Table[5][(a >> 16) & 0xFF] ^ Table[4][a >> 24] ^
        Table[3][b & 0xFF] ^ Table[2][(b >> 8) & 0xFF] ^ Table[1][(b >> 16) & 0xFF] ^ Table[0][b >> 24];
  }
  for (; length > 0; p++, length--) c = Table[0][(c ^ *p) & 0xFF] ^ (c >> 8);
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
