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

// The definition, one bit at a time.
uint32_t BitwiseCrc(const unsigned char* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; i++) {
    c ^= p[i];
    for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

// Eight bytes are taken at a time: every length and alignment around that
// step, and pieces that split it, agree with the definition.
TEST(Crc32, EveryLengthAndAlignment) {
  unsigned char data[80];
  for (int i = 0; i < 80; i++) data[i] = (unsigned char)(i * 37 + 11 + (i >> 3) * 101);
  for (int from = 0; from < 8; from++) {
    for (int n = 0; n + from <= 80; n++) {
      ASSERT_EQ(Crc32(0, data + from, (size_t)n), BitwiseCrc(data + from, (size_t)n)) << from << " " << n;
      int cut = n / 3;
      ASSERT_EQ(Crc32(Crc32(0, data + from, (size_t)cut), data + from + cut, (size_t)(n - cut)),
                BitwiseCrc(data + from, (size_t)n))
          << from << " " << n;
    }
  }
}

class FileCrc : public ScratchTest {};

TEST_F(FileCrc, WholeFileAcrossChunks) {
  Bytes data(150001);
  for (size_t i = 0; i < data.size(); i++) data[i] = (unsigned char)(i * 7 + (i >> 9));
  PutFile("crc.bin", data);
  int64_t length = -1;
  EXPECT_EQ(FileCrc32("crc.bin", &length), BitwiseCrc(data.data(), data.size()));
  EXPECT_EQ(length, 150001);
}

}  // namespace
