// lzx make-updater STUB PRODUCTFILE LISTFILE [--second LISTFILE] -o OUT
//
// The stub is one variant of the updater as the Windows build makes it, with
// an empty data section (lzx/updater_data.h). The output is the stub with that
// section holding the product data and the archive packed from the list file,
// and the headers made to match: the sections behind it (the resources and the
// relocations, which hold no addresses of the code) moved up, the version
// resource written from the product file, the image size, the initialised
// data size, the data directories and the checksum recomputed, and a
// signature of the stub's dropped (it would no longer hold). The sections in
// front of it keep their addresses and bytes, so nothing the code refers to
// moves.
#include "tools/make_updater.h"

#include <stdio.h>
#include <string.h>

#include "base/block.h"
#include "base/fatal.h"
#include "fileio/file.h"
#include "fileio/path.h"
#include "lzx/archive.h"
#include "lzx/crc32.h"
#include "lzx/updater_data.h"
#include "tools/pe_image.h"
#include "tools/product_file.h"
#include "tools/version_resource.h"

namespace {

// A stub is a few hundred kilobytes; an archive holds at most 2 GB in the
// program's int32_t lengths, and the whole image must stay below 4 GB.
enum { StubMax = 64 << 20, ArchiveMax = 0x7FFFFFFF - (128 << 20), WriteChunk = 1 << 20 };

const char Usage[] = "usage: lzx make-updater STUB PRODUCTFILE LISTFILE [--second LISTFILE] -o OUT.exe\n";

uint32_t Align(uint32_t v, uint32_t a) { return (v + a - 1) & ~(a - 1); }
uint32_t Get32(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (unsigned char)(v >> (8 * i));
}

// The whole of a file in a block; its size to *size.
unsigned char* ReadWhole(const char* path, int max, uint32_t* size, const char* what) {
  FileRec rec;
  FileInit(&rec, 1, path);
  FileOpenRead(&rec);
  int n = FileSize(&rec);
  if (n > max) FatalMessage("make-updater: the %s %s is larger than %d bytes", what, path, max);
  unsigned char* bytes = (unsigned char*)BlockAlloc(n > 0 ? n : 1);
  if (n > 0 && FileRead(&rec, n, bytes) != n) FileError(&rec, FileErrRead);
  FileClose(&rec);
  *size = (uint32_t)n;
  return bytes;
}

// Packs a list file as lzx pack does (the archive named on its first line is
// written too) and returns the archive's bytes.
unsigned char* PackList(const char* list, uint32_t* size, uint32_t* digest, int* entries) {
  int32_t total = 0, archiveSize = 0;
  *entries = PackLZX(list, &total, &archiveSize, nullptr, 0);
  char archive[ListLineMax + 2];
  ListArchiveName(list, archive);
  unsigned char* bytes = ReadWhole(archive, ArchiveMax, size, "archive");
  *digest = Crc32(0, bytes, *size);
  return bytes;
}

void NotAStub(const char* stub, const char* why) {
  FatalMessage("make-updater: %s is not an updater stub: %s; no updater written", stub, why);
}

void WriteOutput(const char* out, const unsigned char* bytes, uint32_t size) {
  char part[FileNameSize];
  FileRec target;
  FileInit(&target, 1, out);
  if (!PathScratchBeside(out, part, sizeof part)) FileError(&target, FileErrCreate);
  FileScratchAdd(part, out);
  FileInit(&target, 1, part);
  FileCreate(&target);
  for (uint32_t at = 0; at < size; at += WriteChunk) {
    uint32_t n = size - at < (uint32_t)WriteChunk ? size - at : (uint32_t)WriteChunk;
    FileWrite(&target, (int)n, bytes + at);
  }
  FileClose(&target);
  FileScratchCommit(&target, out);
}

int MakeUpdater(const char* stubPath, const char* productPath, const char* list, const char* second,
                const char* outPath) {
  // The stub first: a wrong one is refused before anything is packed.
  uint32_t stubSize = 0;
  unsigned char* stub = ReadWhole(stubPath, StubMax, &stubSize, "stub");
  static PeImage image;
  const char* fault = PeRead(stub, stubSize, &image);
  if (fault) NotAStub(stubPath, fault);
  int p = PeFindSection(&image, UpdaterSectionName);
  if (p < 0) NotAStub(stubPath, "it has no " UpdaterSectionName " data section");
  UpdaterData stubData;
  const PeSection* own = &image.sections[p];
  if ((fault = UpdaterDataRead(stub + own->rawOffset, PeSectionBytes(&image, p), &stubData))) NotAStub(stubPath, fault);
  int rsrc = -1;
  for (int i = 0; i < image.sectionCount; i++) {
    const PeSection* s = &image.sections[i];
    if (i < p && s->rawSize && s->rawOffset + s->rawSize > own->rawOffset)
      NotAStub(stubPath, "a section before the data section lies behind it in the file");
    if (i > p && strcmp(s->name, ".rsrc") != 0 && strcmp(s->name, ".reloc") != 0)
      NotAStub(stubPath, "a section other than .rsrc and .reloc follows the data section");
    if (i > p && s->rva < own->rva) NotAStub(stubPath, "the sections are not in address order");
    if (strcmp(s->name, ".rsrc") == 0) rsrc = i;
  }
  if (rsrc < p) NotAStub(stubPath, "it has no resource section behind the data section");
  // Relocations of pages in the data section or behind it would move with it.
  int reloc = PeFindSection(&image, ".reloc");
  if (reloc > p) {
    const unsigned char* r = stub + image.sections[reloc].rawOffset;
    uint32_t n = PeSectionBytes(&image, reloc);
    for (uint32_t at = 0; at + 8 <= n;) {
      uint32_t page = Get32(r + at), length = Get32(r + at + 4);
      if (length < 8) break;
      if (page >= own->rva) NotAStub(stubPath, "it has relocations in or behind its data section");
      at += length;
    }
  }

  static ProductFile product;
  int faults = ProductFileRead(productPath, stubData.dialog, &product);
  if (faults)
    FatalMessage("make-updater: %d fault%s in the product file %s (for the %s dialog); no updater written", faults,
                 faults == 1 ? "" : "s", productPath, UpdaterDialogName(stubData.dialog));

  uint32_t archiveSize = 0, archiveDigest = 0, secondSize = 0, secondDigest = 0;
  int entries = 0, secondEntries = 0;
  unsigned char* archive = PackList(list, &archiveSize, &archiveDigest, &entries);
  unsigned char* secondArchive = second ? PackList(second, &secondSize, &secondDigest, &secondEntries) : nullptr;

  // The data section: header, product data, archives at multiples of 8.
  UpdaterData data = stubData;
  data.productOffset = UpdaterHeaderSize;
  data.productSize = sizeof(ProductData);
  data.archiveOffset = Align(data.productOffset + data.productSize, 8);
  data.archiveLength = archiveSize;
  data.archiveDigest = archiveDigest;
  data.secondOffset = secondSize ? Align(data.archiveOffset + archiveSize, 8) : 0;
  data.secondLength = secondSize;
  data.secondDigest = secondDigest;
  uint64_t dataSize =
      secondSize ? (uint64_t)data.secondOffset + secondSize : (uint64_t)data.archiveOffset + archiveSize;
  if (dataSize > ArchiveMax) FatalMessage("make-updater: the archives are too large for one program");

  static unsigned char version[VersionResourceMax];
  uint32_t versionSize = VersionResourceBuild(&product, version);

  // The new layout: the file up to the data section as it is, then the data
  // section, then the sections behind it in their order.
  const uint32_t fa = image.fileAlignment, sa = image.sectionAlignment;
  PeSection layout[PeSectionsMax];
  memcpy(layout, image.sections, sizeof layout);
  layout[p].virtualSize = (uint32_t)dataSize;
  layout[p].rawSize = Align((uint32_t)dataSize, fa);
  uint32_t rsrcCapacity = PeSectionBytes(&image, rsrc) + versionSize + 8 * 512;
  uint64_t total = (uint64_t)own->rawOffset + layout[p].rawSize;
  for (int i = p + 1; i < image.sectionCount; i++)
    total += Align(i == rsrc ? rsrcCapacity : image.sections[i].rawSize, fa);
  if (total > 0x7FFFFFFF) FatalMessage("make-updater: the updater would be larger than 2 GB");
  unsigned char* out = (unsigned char*)BlockAlloc((int)total);
  memset(out, 0, (size_t)total);
  memcpy(out, stub, own->rawOffset);
  unsigned char* section = out + own->rawOffset;
  UpdaterDataWriteHeader(&data, section);
  memcpy(section + data.productOffset, &product.data, sizeof(ProductData));
  memcpy(section + data.archiveOffset, archive, archiveSize);
  if (secondSize) memcpy(section + data.secondOffset, secondArchive, secondSize);
  for (int i = p + 1; i < image.sectionCount; i++) {
    const PeSection* old = &image.sections[i];
    PeSection* prev = &layout[i - 1];
    PeSection* s = &layout[i];
    s->rva = Align(prev->rva + (prev->virtualSize ? prev->virtualSize : prev->rawSize), sa);
    s->rawOffset = prev->rawOffset + prev->rawSize;
    uint32_t n = PeSectionBytes(&image, i);
    if (i == rsrc) {
      fault = PeRebuildResources(stub + old->rawOffset, n, old->rva, s->rva, version, versionSize, out + s->rawOffset,
                                 rsrcCapacity, &n);
      if (fault) NotAStub(stubPath, fault);
      s->virtualSize = n;
    } else {
      memcpy(out + s->rawOffset, stub + old->rawOffset, n);
    }
    s->rawSize = Align(n, fa);
  }
  const PeSection* last = &layout[image.sectionCount - 1];
  uint32_t size = last->rawOffset + last->rawSize;

  // The headers: section table, directories, sizes, checksum.
  int64_t initialised = 0;
  for (int i = p; i < image.sectionCount; i++) {
    unsigned char* t = out + image.table + 40 * i;
    Put32(t + 8, layout[i].virtualSize);
    Put32(t + 12, layout[i].rva);
    Put32(t + 16, layout[i].rawSize);
    Put32(t + 20, layout[i].rawOffset);
    if (layout[i].flags & 0x40) initialised += (int64_t)layout[i].rawSize - image.sections[i].rawSize;
  }
  for (uint32_t d = 0; d < image.directoryCount; d++) {
    unsigned char* entry = out + image.directories + 8 * d;
    uint32_t rva = Get32(entry);
    if (d == PeDirSecurity) {
      Put32(entry, 0);
      Put32(entry + 4, 0);
      continue;
    }
    if (d == PeDirResource) {
      Put32(entry, layout[rsrc].rva);
      Put32(entry + 4, layout[rsrc].virtualSize);
      continue;
    }
    if (rva == 0) continue;
    if (rva >= own->rva && rva < own->rva + Align(own->virtualSize, sa))
      NotAStub(stubPath, "a data directory points into its data section");
    for (int i = p + 1; i < image.sectionCount; i++) {
      const PeSection* old = &image.sections[i];
      if (rva >= old->rva && rva < old->rva + Align(old->virtualSize ? old->virtualSize : old->rawSize, sa))
        Put32(entry, rva - old->rva + layout[i].rva);
    }
  }
  unsigned char* optional = out + image.optional;
  Put32(optional + 8, (uint32_t)((int64_t)Get32(optional + 8) + initialised));
  Put32(optional + 56, Align(last->rva + (last->virtualSize ? last->virtualSize : last->rawSize), sa));
  Put32(optional + 64, PeChecksum(out, size, image.optional + 64));

  WriteOutput(outPath, out, size);
  printf("%s: %s %s, %d entries, archive of %u bytes (CRC-32 %08X)", outPath, product.data.name, product.data.version,
         entries, (unsigned)archiveSize, (unsigned)archiveDigest);
  if (second) printf(", second archive of %u bytes", (unsigned)secondSize);
  printf(", %u bytes\n", (unsigned)size);
  BlockFree(out);
  if (secondArchive) BlockFree(secondArchive);
  BlockFree(archive);
  BlockFree(stub);
  return 0;
}

}  // namespace

int MakeUpdaterCommand(int argc, char** argv) {
  const char* plain[3];
  int plainCount = 0;
  const char* out = nullptr;
  const char* second = nullptr;
  for (int i = 0; i < argc; i++) {
    const char* a = argv[i];
    if (strcmp(a, "-o") == 0 || strcmp(a, "--output") == 0) {
      if (++i == argc) break;
      out = argv[i];
    } else if (strcmp(a, "--second") == 0) {
      if (++i == argc) break;
      second = argv[i];
    } else if (strcmp(a, "-q") == 0 || strcmp(a, "--quiet") == 0) {
      // No progress display to silence.
    } else if (a[0] == '-' && a[1] != 0) {
      fprintf(stderr, "lzx: unknown option %s\n%s", a, Usage);
      return 1;
    } else if (plainCount == 3) {
      fprintf(stderr, "lzx: too many arguments\n%s", Usage);
      return 1;
    } else {
      plain[plainCount++] = a;
    }
  }
  if (plainCount != 3 || out == nullptr) {
    fputs(Usage, stderr);
    return 1;
  }
  return MakeUpdater(plain[0], plain[1], plain[2], second, out);
}
