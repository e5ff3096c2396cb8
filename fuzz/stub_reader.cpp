// lzx make-updater's reader of a stub on arbitrary bytes: the PE headers and
// section table, the data section's header, the resource tree laid out anew
// and the checksum. Nothing may be read outside the input or written outside
// the output buffer.
#include <string.h>

#include "fuzz/harness.h"
#include "lzx/updater_data.h"
#include "tools/pe_image.h"

namespace {

enum { InputMax = 1 << 20, Extra = 4096 };

unsigned char Out[InputMax + Extra];
const unsigned char Version[] = {0x5C, 0, 0x34, 0, 0, 0, 'V', 0, 'S', 0, 0, 0};

void Body(const uint8_t* data, size_t size) {
  if (size > InputMax) return;
  static PeImage image;
  if (PeRead(data, (uint32_t)size, &image)) return;
  int own = PeFindSection(&image, UpdaterSectionName);
  if (own >= 0) {
    UpdaterData header;
    UpdaterDataRead(data + image.sections[own].rawOffset, PeSectionBytes(&image, own), &header);
  }
  int rsrc = PeFindSection(&image, ".rsrc");
  if (rsrc >= 0) {
    const PeSection* s = &image.sections[rsrc];
    uint32_t n = 0;
    PeRebuildResources(data + s->rawOffset, PeSectionBytes(&image, rsrc), s->rva, s->rva + 0x1000, Version,
                       sizeof Version, Out, sizeof Out, &n);
    if (n > sizeof Out) __builtin_trap();
  }
  PeChecksum(data, (uint32_t)size, image.optional + 64);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzRun(Body, data, size);
  return 0;
}
