#include "base/block.h"

#include "base/fatal.h"
#include "os/memory.h"

namespace {

struct BlockSlot {
  OsMemHandle handle;  // 0 = free
  void* address;
  int size;
};

BlockSlot BlockTable[BlockSlots];

}  // namespace

void* BlockAlloc(int size) {
  if (size < 0) InternalError("UPDATER", __LINE__, 123);
  // Even and at least 2; a request of INT_MAX is refused rather than rounded
  // past the range of the recorded size.
  if (size == 0) size = 1;
  if (size & 1) size = size == 0x7FFFFFFF ? 0 : size + 1;
  OsMemHandle handle = size > 0 ? OsMemAlloc((size_t)size) : 0;
  if (!handle) {
    char text[128];
    OsLastErrorText(text, sizeof text);
    FatalMessage("\nError 123: %d, %s", size, text);
  }
  void* address = OsMemLock(handle);
  if (!address) InternalError("UPDATER", __LINE__, 124);
  for (BlockSlot& slot : BlockTable) {
    if (slot.handle == 0) {
      slot.handle = handle;
      slot.address = address;
      slot.size = size;
      return address;
    }
  }
  OsMemFree(handle);
  InternalError("UPDATER", __LINE__, 125);
}

void BlockFree(void* address) {
  for (BlockSlot& slot : BlockTable) {
    if (slot.handle != 0 && slot.address == address) {
      OsMemFree(slot.handle);
      slot = BlockSlot{0, nullptr, 0};
      return;
    }
  }
}

int BlockCount(void) {
  int n = 0;
  for (const BlockSlot& slot : BlockTable) n += slot.handle != 0;
  return n;
}

int BlockSize(const void* address) {
  for (const BlockSlot& slot : BlockTable)
    if (slot.handle != 0 && slot.address == address) return slot.size;
  return 0;
}
