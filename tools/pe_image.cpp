#include "tools/pe_image.h"

#include <string.h>

namespace {

uint32_t Get16(const unsigned char* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
uint32_t Get32(const unsigned char* p) { return Get16(p) | Get16(p + 2) << 16; }
void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (unsigned char)(v >> (8 * i));
}

int PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// The resource tree's walk: the data entries, and how far the tree reaches.
enum { LeavesMax = 512, DirectoriesMax = 1024 };
struct Leaf {
  uint32_t entry;  // offset of its IMAGE_RESOURCE_DATA_ENTRY
  uint32_t data;   // offset of its data in the section
  uint32_t size;
  int version;
};
struct Walk {
  const unsigned char* bytes;
  uint32_t size;
  uint32_t rva;
  uint32_t treeEnd;
  int leaves;
  int directories;
  Leaf leaf[LeavesMax];
};

const char* Reach(Walk* w, uint32_t offset, uint32_t length) {
  if ((uint64_t)offset + length > w->size) return "a resource directory points outside the section";
  if (offset + length > w->treeEnd) w->treeEnd = offset + length;
  return nullptr;
}

const char* WalkDirectory(Walk* w, uint32_t offset, int depth, int version) {
  if (depth > 3 || ++w->directories > DirectoriesMax) return "the resource tree is too deep";
  const char* fault = Reach(w, offset, 16);
  if (fault) return fault;
  uint32_t count = Get16(w->bytes + offset + 12) + Get16(w->bytes + offset + 14);
  if ((fault = Reach(w, offset + 16, 8 * count))) return fault;
  for (uint32_t i = 0; i < count; i++) {
    const unsigned char* e = w->bytes + offset + 16 + 8 * i;
    uint32_t name = Get32(e), target = Get32(e + 4);
    if (name & 0x80000000u) {
      uint32_t at = name & 0x7FFFFFFFu;
      if ((fault = Reach(w, at, 2)) || (fault = Reach(w, at + 2, 2 * Get16(w->bytes + at)))) return fault;
    }
    int isVersion = depth == 0 ? (name == PeRtVersion) : version;
    if (target & 0x80000000u) {
      if ((fault = WalkDirectory(w, target & 0x7FFFFFFFu, depth + 1, isVersion))) return fault;
      continue;
    }
    if ((fault = Reach(w, target, 16))) return fault;
    if (w->leaves == LeavesMax) return "too many resources";
    uint32_t rva = Get32(w->bytes + target), size = Get32(w->bytes + target + 4);
    if (rva < w->rva || (uint64_t)(rva - w->rva) + size > w->size) return "a resource lies outside the section";
    w->leaf[w->leaves++] = {target, rva - w->rva, size, isVersion};
  }
  return nullptr;
}

}  // namespace

const char* PeRead(const unsigned char* bytes, uint32_t size, PeImage* out) {
  memset(out, 0, sizeof *out);
  out->bytes = bytes;
  out->size = size;
  if (size < 64 || bytes[0] != 'M' || bytes[1] != 'Z') return "not a Windows program (no MZ header)";
  uint32_t pe = Get32(bytes + 0x3C);
  if ((uint64_t)pe + 24 > size || memcmp(bytes + pe, "PE\0\0", 4) != 0) return "not a Windows program (no PE header)";
  out->sectionCount = (int)Get16(bytes + pe + 6);
  uint32_t optionalSize = Get16(bytes + pe + 20);
  out->optional = pe + 24;
  out->table = out->optional + optionalSize;
  if ((uint64_t)out->table + 40ull * (uint32_t)out->sectionCount > size) return "its section table is cut off";
  if (out->sectionCount > PeSectionsMax) return "it has too many sections";
  uint32_t magic = optionalSize >= 2 ? Get16(bytes + out->optional) : 0;
  uint32_t dirs = magic == 0x20B ? 112 : magic == 0x10B ? 96 : 0;
  if (dirs == 0 || optionalSize < dirs) return "its optional header is neither PE32 nor PE32+";
  out->directoryCount = Get32(bytes + out->optional + dirs - 4);
  out->directories = out->optional + dirs;
  if (out->directoryCount < PeDirReloc + 1 || dirs + 8ull * out->directoryCount > optionalSize)
    return "its data directories are cut off";
  out->sectionAlignment = Get32(bytes + out->optional + 32);
  out->fileAlignment = Get32(bytes + out->optional + 36);
  if (!PowerOfTwo(out->sectionAlignment) || !PowerOfTwo(out->fileAlignment) ||
      out->fileAlignment > out->sectionAlignment)
    return "its section alignments are not powers of two";
  for (int i = 0; i < out->sectionCount; i++) {
    const unsigned char* s = bytes + out->table + 40 * i;
    PeSection* section = &out->sections[i];
    memcpy(section->name, s, 8);
    section->name[8] = 0;
    section->virtualSize = Get32(s + 8);
    section->rva = Get32(s + 12);
    section->rawSize = Get32(s + 16);
    section->rawOffset = Get32(s + 20);
    section->flags = Get32(s + 36);
    if (section->rawSize && (uint64_t)section->rawOffset + section->rawSize > size)
      return "a section lies outside the file";
  }
  return nullptr;
}

int PeFindSection(const PeImage* image, const char* name) {
  for (int i = 0; i < image->sectionCount; i++)
    if (strncmp(image->sections[i].name, name, 8) == 0) return i;
  return -1;
}

uint32_t PeSectionBytes(const PeImage* image, int i) {
  const PeSection* s = &image->sections[i];
  return s->virtualSize && s->virtualSize < s->rawSize ? s->virtualSize : s->rawSize;
}

const char* PeRebuildResources(const unsigned char* rsrc, uint32_t size, uint32_t oldRva, uint32_t newRva,
                               const unsigned char* version, uint32_t versionSize, unsigned char* out,
                               uint32_t capacity, uint32_t* outSize) {
  static Walk w;
  w.bytes = rsrc;
  w.size = size;
  w.rva = oldRva;
  w.treeEnd = 0;
  w.leaves = 0;
  w.directories = 0;
  const char* fault = WalkDirectory(&w, 0, 0, 0);
  if (fault) return fault;
  int versions = 0;
  uint32_t dataStart = size;
  for (int i = 0; i < w.leaves; i++) {
    versions += w.leaf[i].version;
    if (w.leaf[i].data < dataStart) dataStart = w.leaf[i].data;
  }
  if (versions == 0) return "it has no version resource";
  if (w.treeEnd > dataStart) return "its resource tree and data are interleaved";
  // The tree as it is; then the leaves in their old order, each at a multiple
  // of 8 as the linker places them.
  if (dataStart > capacity) return "its resources are too large";
  memcpy(out, rsrc, dataStart);
  uint32_t at = dataStart;
  for (int pass = 0; pass < w.leaves; pass++) {
    int next = -1;
    for (int i = 0; i < w.leaves; i++) {
      if (w.leaf[i].entry == 0xFFFFFFFFu) continue;
      if (next < 0 || w.leaf[i].data < w.leaf[next].data) next = i;
    }
    Leaf* leaf = &w.leaf[next];
    const unsigned char* data = leaf->version ? version : rsrc + leaf->data;
    uint32_t length = leaf->version ? versionSize : leaf->size;
    uint32_t aligned = (at + 7) & ~7u;
    if ((uint64_t)aligned + length > capacity) return "its resources are too large";
    memset(out + at, 0, aligned - at);
    at = aligned;
    memcpy(out + at, data, length);
    Put32(out + leaf->entry, newRva + at);
    Put32(out + leaf->entry + 4, length);
    at += length;
    leaf->entry = 0xFFFFFFFFu;
  }
  *outSize = at;
  return nullptr;
}

uint32_t PeChecksum(const unsigned char* bytes, uint32_t size, uint32_t checksumOffset) {
  uint64_t sum = 0;
  for (uint32_t i = 0; i < size; i += 2) {
    uint32_t word = bytes[i] | (i + 1 < size ? (uint32_t)bytes[i + 1] << 8 : 0);
    if (i >= checksumOffset && i < checksumOffset + 4) word = 0;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return (uint32_t)sum + size;
}
