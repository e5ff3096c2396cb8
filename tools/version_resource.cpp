#include "tools/version_resource.h"

#include <string.h>

#include "base/fatal.h"

namespace {

unsigned char* Out;
uint32_t At;

void Put16(uint32_t v) {
  if (At + 2 > VersionResourceMax) InternalError("VERSION", __LINE__, 1);
  Out[At++] = (unsigned char)v;
  Out[At++] = (unsigned char)(v >> 8);
}
void Put32(uint32_t v) {
  Put16(v & 0xFFFF);
  Put16(v >> 16);
}
void Align4(void) {
  while (At & 3) {
    if (At + 1 > VersionResourceMax) InternalError("VERSION", __LINE__, 2);
    Out[At++] = 0;
  }
}

// A UTF-8 text (checked by the product file's reader) as UTF-16 with its NUL;
// returns the count of 16-bit units written.
uint32_t PutWide(const char* text) {
  uint32_t units = 0;
  const unsigned char* p = (const unsigned char*)text;
  while (*p) {
    uint32_t c = *p++;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (more) c &= 0x3F >> more;
    for (; more > 0 && (*p & 0xC0) == 0x80; more--) c = c << 6 | (*p++ & 0x3F);
    if (c >= 0x10000) {
      c -= 0x10000;
      Put16(0xD800 | c >> 10);
      Put16(0xDC00 | (c & 0x3FF));
      units += 2;
    } else {
      Put16(c);
      units++;
    }
  }
  Put16(0);
  return units + 1;
}

uint32_t WideLength(const char* text) {
  uint32_t save = At;
  uint32_t n = PutWide(text);
  At = save;
  return n;
}

// A node: its length (set by End), its value's length, its type (1: text),
// its key; the value follows at a multiple of 4.
uint32_t Begin(const char* key, uint32_t valueLength, int text) {
  Align4();
  uint32_t start = At;
  Put16(0);
  Put16(valueLength);
  Put16(text ? 1 : 0);
  PutWide(key);
  Align4();
  return start;
}
void End(uint32_t start) {
  uint32_t length = At - start;
  Out[start] = (unsigned char)length;
  Out[start + 1] = (unsigned char)(length >> 8);
}

void String(const char* key, const char* value) {
  uint32_t node = Begin(key, WideLength(value), 1);
  PutWide(value);
  End(node);
}

}  // namespace

uint32_t VersionResourceBuild(const ProductFile* product, unsigned char* out) {
  Out = out;
  At = 0;
  const uint16_t* n = product->numbers;
  uint32_t root = Begin("VS_VERSION_INFO", 52, 0);
  Put32(0xFEEF04BDu);  // VS_FIXEDFILEINFO
  Put32(0x00010000u);
  for (int twice = 0; twice < 2; twice++) {  // file, then product version
    Put32((uint32_t)n[0] << 16 | n[1]);
    Put32((uint32_t)n[2] << 16 | n[3]);
  }
  Put32(0x3F);         // VS_FFI_FILEFLAGSMASK
  Put32(0);            // flags
  Put32(0x00040004u);  // VOS_NT_WINDOWS32
  Put32(1);            // VFT_APP
  Put32(0);            // VFT2_UNKNOWN
  Put32(0);            // date
  Put32(0);
  uint32_t info = Begin("StringFileInfo", 0, 1);
  uint32_t table = Begin("041304B0", 0, 1);
  // The copyright as the dialog shows it: "&&" is one ampersand.
  char copyright[ProductLineSize];
  int k = 0;
  for (const char* p = product->data.copyright; *p && k < ProductLineSize - 1; p++) {
    copyright[k++] = *p;
    if (p[0] == '&' && p[1] == '&') p++;
  }
  copyright[k] = 0;
  String("CompanyName", product->company);
  String("FileDescription", product->description);
  String("FileVersion", product->data.version);
  String("InternalName", product->file);
  String("LegalCopyright", copyright);
  String("OriginalFilename", product->file);
  String("ProductName", product->resourceProduct);
  String("ProductVersion", product->data.version);
  End(table);
  End(info);
  uint32_t var = Begin("VarFileInfo", 0, 1);
  uint32_t translation = Begin("Translation", 4, 0);
  Put16(0x0413);
  Put16(1200);
  End(translation);
  End(var);
  End(root);
  return At;
}
