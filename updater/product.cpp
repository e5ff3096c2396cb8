// This executable's product data and archives: read at start from its data
// section, which the stub carries with an empty payload and lzx make-updater
// lays out anew. The code finds the section by name in its own image, never by
// a symbol, so the section may grow without moving anything the code refers
// to.
// clang-format off
#include <windows.h>  // first: the other system headers build on it
// clang-format on
#include "updater/product.h"

#include <string.h>

#include "base/fatal.h"
#include "updater/payload.h"
#include "updater/variant.h"

namespace {

constexpr int OwnDialog = VariantDemo ? UpdaterDialogDemo : VariantVexa ? UpdaterDialogUpdate : UpdaterDialogFamily;

// The stub's data section: the header alone. The linker script
// (updater/data_section.ld) places the section after every section of code and
// data, before the resources and the relocations, the two that make-updater
// may move.
__attribute__((section(UpdaterSectionName), used)) const unsigned char StubHeader[UpdaterHeaderSize] = {
    'L', 'Z', 'X', 'D',       'A', 'T', 'A', 0x1a, UpdaterDataVersion, 0, 0, 0, UpdaterHeaderSize,
    0,   0,   0,   OwnDialog, 0,   0,   0};

ProductData Store;
const unsigned char* ArchiveStore = nullptr;
int32_t ArchiveLengthStore = 0;
uint32_t ArchiveDigestStore = 0;
const unsigned char* SecondStore = nullptr;
int32_t SecondLengthStore = 0;
uint32_t SecondDigestStore = 0;

}  // namespace

const ProductData& Product = Store;
const char* const ProductName = Store.name;
const char* const ProductNewVersion = Store.version;
const unsigned char* const& ArchiveImage = ArchiveStore;
const int32_t& ArchiveImageLength = ArchiveLengthStore;
const uint32_t& ArchiveImageDigest = ArchiveDigestStore;
const unsigned char* const& SecondImage = SecondStore;
const int32_t& SecondImageLength = SecondLengthStore;
const uint32_t& SecondImageDigest = SecondDigestStore;

void LoadUpdaterData(void) {
  static_assert(sizeof StubHeader == UpdaterHeaderSize, "the stub's section is its header");
  // The loader has checked the headers of the image it mapped.
  const unsigned char* base = (const unsigned char*)GetModuleHandleA(nullptr);
  const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(base + ((const IMAGE_DOS_HEADER*)base)->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const IMAGE_SECTION_HEADER* own = nullptr;
  // The first of the name, as lzx make-updater takes it.
  for (int i = 0; i < nt->FileHeader.NumberOfSections && own == nullptr; i++) {
    if (strncmp((const char*)section[i].Name, UpdaterSectionName, IMAGE_SIZEOF_SHORT_NAME) == 0) own = &section[i];
  }
  if (own == nullptr) FatalMessage("Dit programma heeft geen datasectie.\nThis program has no data section.");
  const unsigned char* bytes = base + own->VirtualAddress;
  UpdaterData data;
  const char* fault = UpdaterDataRead(bytes, own->Misc.VirtualSize, &data);
  if (fault) FatalMessage("Dit programma is beschadigd (this program is damaged): %s.", fault);
  if (data.dialog != OwnDialog)
    FatalMessage("Dit programma is beschadigd (this program is damaged): its data is for another variant.");
  if (data.productSize == 0)
    FatalMessage(
        "Dit programma is een lege updater: maak er een update van met lzx make-updater.\n\n"
        "This program is an empty updater: make an update of it with lzx make-updater.");
  ProductDataCopy(bytes + data.productOffset, &Store);
  ArchiveStore = bytes + data.archiveOffset;
  ArchiveLengthStore = (int32_t)data.archiveLength;
  ArchiveDigestStore = data.archiveDigest;
  SecondStore = bytes + data.secondOffset;
  SecondLengthStore = (int32_t)data.secondLength;
  SecondDigestStore = data.secondDigest;
}
