#include "lzx/updater_data.h"

#include <string.h>

#include "lzx/le32.h"

const unsigned char UpdaterMagic[UpdaterMagicSize] = {'L', 'Z', 'X', 'D', 'A', 'T', 'A', 0x1a};

namespace {

uint32_t Get(const unsigned char* p) { return (uint32_t)GetLe32(p); }

// A range of the section that holds length bytes from offset and does not
// overlap the header.
int RangeInside(uint32_t offset, uint32_t length, uint32_t size) {
  if (length == 0) return 1;
  return offset >= UpdaterHeaderSize && (uint64_t)offset + length <= size;
}

void Terminate(char* text, int size) { text[size - 1] = 0; }

}  // namespace

const char* UpdaterDataRead(const unsigned char* section, uint32_t size, UpdaterData* out) {
  if (size < UpdaterHeaderSize) return "the data section is too small for its header";
  if (memcmp(section, UpdaterMagic, UpdaterMagicSize) != 0) return "the data section has no updater header";
  if (Get(section + 8) != UpdaterDataVersion) return "the data section has a format version this program does not read";
  if (Get(section + 12) != UpdaterHeaderSize) return "the data section's header has a wrong size";
  UpdaterData d;
  d.dialog = (int)Get(section + 16);
  d.productOffset = Get(section + 20);
  d.productSize = Get(section + 24);
  d.archiveOffset = Get(section + 28);
  d.archiveLength = Get(section + 32);
  d.archiveDigest = Get(section + 36);
  d.secondOffset = Get(section + 40);
  d.secondLength = Get(section + 44);
  d.secondDigest = Get(section + 48);
  if (d.dialog < UpdaterDialogUpdate || d.dialog > UpdaterDialogDemo) return "the data section names no known dialog";
  if (d.productSize != 0 && d.productSize != sizeof(ProductData))
    return "the data section's product data has a wrong size";
  // The archive lengths are the program's int32_t: at most INT32_MAX.
  if (d.archiveLength > 0x7FFFFFFFu || d.secondLength > 0x7FFFFFFFu) return "the data section's archive is too long";
  if (!RangeInside(d.productOffset, d.productSize, size) || !RangeInside(d.archiveOffset, d.archiveLength, size) ||
      !RangeInside(d.secondOffset, d.secondLength, size))
    return "the data section's header points outside the section";
  if (d.productSize == 0 && (d.archiveLength != 0 || d.secondLength != 0))
    return "the data section holds an archive but no product data";
  *out = d;
  return nullptr;
}

void UpdaterDataWriteHeader(const UpdaterData* d, unsigned char* out) {
  memset(out, 0, UpdaterHeaderSize);
  memcpy(out, UpdaterMagic, UpdaterMagicSize);
  PutLe32(out + 8, UpdaterDataVersion);
  PutLe32(out + 12, UpdaterHeaderSize);
  PutLe32(out + 16, d->dialog);
  const uint32_t fields[] = {d->productOffset, d->productSize,  d->archiveOffset, d->archiveLength,
                             d->archiveDigest, d->secondOffset, d->secondLength,  d->secondDigest};
  for (int i = 0; i < 8; i++) PutLe32(out + 20 + 4 * i, (int32_t)fields[i]);
}

void ProductDataCopy(const unsigned char* bytes, ProductData* out) {
  memcpy(out, bytes, sizeof *out);
  Terminate(out->name, sizeof out->name);
  Terminate(out->version, sizeof out->version);
  Terminate(out->copyright, sizeof out->copyright);
  for (int i = 0; i < 2; i++) {
    Terminate(out->updateLine[i], ProductLineSize);
    Terminate(out->versionLine[i], ProductLineSize);
    Terminate(out->team[i], ProductShortSize);
    Terminate(out->mail[i], ProductLineSize);
    Terminate(out->web[i], ProductLineSize);
  }
  for (int i = 0; i < ProductMembersMax; i++) Terminate(out->members[i], ProductShortSize);
}

const char* UpdaterDialogName(int dialog) {
  switch (dialog) {
    case UpdaterDialogUpdate:
      return "update";
    case UpdaterDialogFamily:
      return "family";
    case UpdaterDialogDemo:
      return "demo";
  }
  return "?";
}
