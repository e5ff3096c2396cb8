#include "lzx/crc32.h"

#include <gtest/gtest.h>

#include "scratch.h"

namespace {

TEST(Crc32, AgreesWithZlib) {
  EXPECT_EQ(Crc32(0, "", 0), 0u);
  EXPECT_EQ(Crc32(0, "123456789", 9), 0xCBF43926u);
  // In pieces, as a file is read back in chunks.
  EXPECT_EQ(Crc32(Crc32(0, "1234", 4), "56789", 5), 0xCBF43926u);
  EXPECT_EQ(Crc32(0, "The quick brown fox jumps over the lazy dog", 43), 0x414FA339u);
}

class FileCrc : public ScratchTest {};

TEST_F(FileCrc, WholeFileAcrossChunks) {
  Bytes data(40000);
  for (size_t i = 0; i < data.size(); i++) data[i] = (unsigned char)(i * 7 + (i >> 9));
  PutFile("crc.bin", data);
  int64_t length = -1;
  EXPECT_EQ(FileCrc32("crc.bin", &length), Crc32(0, data.data(), data.size()));
  EXPECT_EQ(length, 40000);
}

}  // namespace
