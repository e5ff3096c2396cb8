// The updater's data section header: what the updater and lzx make-updater
// accept, and every range checked against the section without overflow.
#include "lzx/updater_data.h"

#include <gtest/gtest.h>
#include <string.h>

#include "lzx/le32.h"

namespace {

enum { SectionSize = 4096 };

struct Section {
  unsigned char bytes[SectionSize];
  UpdaterData data;
  Section() {
    memset(bytes, 0, sizeof bytes);
    data = {UpdaterDialogFamily, 64, (uint32_t)sizeof(ProductData), 944, 1000, 0x12345678u, 2000, 100, 7};
    UpdaterDataWriteHeader(&data, bytes);
  }
  const char* Read(UpdaterData* out, uint32_t size = SectionSize) const { return UpdaterDataRead(bytes, size, out); }
  void Set(int offset, uint32_t value) { PutLe32(bytes + offset, (int32_t)value); }
};

TEST(UpdaterData, TheHeaderReadsBackAsWritten) {
  Section s;
  UpdaterData d;
  ASSERT_EQ(s.Read(&d), nullptr);
  EXPECT_EQ(d.dialog, UpdaterDialogFamily);
  EXPECT_EQ(d.archiveOffset, 944u);
  EXPECT_EQ(d.archiveLength, 1000u);
  EXPECT_EQ(d.archiveDigest, 0x12345678u);
  EXPECT_EQ(d.secondOffset, 2000u);
  EXPECT_EQ(memcmp(s.bytes, "LZXDATA\x1a", 8), 0);
  // A stub's header: no product data, no archive.
  Section stub;
  stub.data = {UpdaterDialogUpdate, 0, 0, 0, 0, 0, 0, 0, 0};
  UpdaterDataWriteHeader(&stub.data, stub.bytes);
  ASSERT_EQ(stub.Read(&d, 64), nullptr);
  EXPECT_EQ(d.productSize, 0u);
}

TEST(UpdaterData, EveryFaultOfTheHeaderIsRefused) {
  struct Case {
    int offset;
    uint32_t value;
    const char* says;
  };
  const Case cases[] = {
      {0, 0x4458415Au, "no updater header"},  // magic
      {8, 2, "format version"},
      {12, 32, "header has a wrong size"},
      {16, 0, "no known dialog"},
      {16, 4, "no known dialog"},
      {24, 100, "product data has a wrong size"},
      {32, 0x80000000u, "too long"},
      {28, 4000, "outside the section"},              // the archive runs past the end
      {28, 0xFFFFFF00u, "outside the section"},       // offset + length wraps in 32 bits
      {28, 16, "outside the section"},                // inside the header
      {40, 0xFFFFFFF0u, "outside the section"},       // the second archive
      {20, SectionSize - 10, "outside the section"},  // the product data
  };
  for (const Case& c : cases) {
    Section s;
    s.Set(c.offset, c.value);
    UpdaterData d;
    const char* fault = s.Read(&d);
    ASSERT_NE(fault, nullptr) << c.offset << " " << c.value;
    EXPECT_NE(strstr(fault, c.says), nullptr) << fault;
  }
  Section s;
  UpdaterData d;
  EXPECT_NE(s.Read(&d, 63), nullptr) << "a section smaller than its header";
  s.Set(24, 0);
  EXPECT_NE(strstr(s.Read(&d), "archive but no product data"), nullptr);
}

TEST(UpdaterData, TheProductDataIsEndedInsideEveryArray) {
  unsigned char bytes[sizeof(ProductData)];
  memset(bytes, 'x', sizeof bytes);
  ProductData p;
  ProductDataCopy(bytes, &p);
  EXPECT_EQ(strlen(p.name), (size_t)ProductNameMax);
  EXPECT_EQ(strlen(p.version), (size_t)ProductVersionSize - 1);
  EXPECT_EQ(strlen(p.web[1]), (size_t)ProductLineSize - 1);
  EXPECT_EQ(strlen(p.members[ProductMembersMax - 1]), (size_t)ProductShortSize - 1);
  EXPECT_EQ(strlen(p.team[0]), (size_t)ProductShortSize - 1);
}

}  // namespace
