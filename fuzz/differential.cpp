// The fast block codec against the reference kept with the unit tests, on
// arbitrary bytes: the same coded bits, the same decoded bytes and the same
// fatal text, or the target traps. The first byte picks what the rest is:
//   0: run-length data for both packers (then their output back through both
//      unpackers); 1, 2: a coded LZ or Huffman-only block with its bit count
//      (as block_decoders.cpp loads it); 3: run-length data for RleUnpack;
//   4: a block (zero-padded) for RlePack and, with an empty row, SorPack.
#include <string.h>

#include <string>
#include <vector>

#include "base/fatal.h"
#include "fuzz/harness.h"
#include "lzx/bitio.h"
#include "lzx/hufcoder.h"
#include "lzx/lzcoder.h"
#include "lzx/rle.h"
#include "lzx/sor.h"
#include "tests/unit/lzx/reference.h"

namespace {

typedef std::vector<unsigned char> Bytes;

struct Outcome {
  int survived;
  std::string text;
  int result;
  int bitPos;
  Bytes bytes;
};

const uint8_t* input;
size_t inputSize;
bool useReference;
int result;
Bytes coded;  // bits of a pack, for the unpack that follows
unsigned char block[RleBlockSize];

int LoadBits(const uint8_t* data, size_t size) {
  size_t bytes = size < 1 ? 0 : size - 1;
  if (bytes > BitBlockMaxBits / 8) bytes = BitBlockMaxBits / 8;
  memset(BitBuf, 0, sizeof BitBuf);
  if (bytes) memcpy(BitBuf, data + 1, bytes);
  int bits = (int)bytes * 8 - (size ? data[0] & 7 : 0);
  return bits < 0 ? 0 : bits;
}

int mode;
int packer;  // mode 0: 0 LZ, 1 Huffman-only

void Body(const uint8_t*, size_t) {
  const uint8_t* data = input + 1;
  size_t size = inputSize - 1;
  switch (mode) {
    case 0: {
      size_t n = size < RleBlockSize ? size : RleBlockSize;
      memcpy(RleBuf, data, n);
      int (*pack)(int) = packer ? (useReference ? Ref::HufPack : HufPack) : (useReference ? Ref::LzxPack : LzxPack);
      result = pack((int)n);
      coded.assign(BitBuf, BitBuf + (result + 7) / 8);
      break;
    }
    case 1:
    case 2: {
      int bits = LoadBits(data, size);
      int (*unpack)(int) =
          mode == 1 ? (useReference ? Ref::LzxUnpack : LzxUnpack) : (useReference ? Ref::HufUnpack : HufUnpack);
      memset(RleBuf, 0, sizeof RleBuf);
      result = unpack(bits);
      break;
    }
    case 3: {
      size_t n = size < RleBufSize ? size : RleBufSize;
      memset(RleBuf, 0, sizeof RleBuf);
      memcpy(RleBuf, data, n);
      memset(block, 0, sizeof block);
      (useReference ? Ref::RleUnpack : RleUnpack)((int)n, block);
      break;
    }
    default: {
      size_t n = size < RleBlockSize ? size : RleBlockSize;
      memset(block, 0xFF, sizeof block);
      memcpy(block, data, n);
      result = (useReference ? Ref::RlePack : RlePack)(block);
      break;
    }
  }
}

Outcome Run(bool reference) {
  useReference = reference;
  result = 0;
  Outcome o;
  o.survived = FuzzRun(Body, input, inputSize);
  o.text = o.survived ? "" : FatalLastText();
  o.result = result;
  o.bitPos = BitPos;
  switch (mode) {
    case 0:
      o.bytes = coded;
      break;
    case 1:
    case 2:
      if (o.survived) o.bytes.assign(RleBuf, RleBuf + (result >= 0 && result <= RleBufSize ? result : 0));
      break;
    case 3:
      o.bytes.assign(block, block + sizeof block);
      break;
    default:
      o.bytes.assign(RleBuf, RleBuf + (result >= 0 && result <= RleBufSize ? result : 0));
      break;
  }
  return o;
}

void Same(const Outcome& a, const Outcome& b) {
  if (a.survived != b.survived || a.text != b.text) __builtin_trap();
  if (a.survived && (a.result != b.result || a.bitPos != b.bitPos || a.bytes != b.bytes)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  input = data;
  inputSize = size;
  mode = data[0] % 5;
  if (mode == 0) {
    for (packer = 0; packer < 2; packer++) {
      Outcome ref = Run(true), fast = Run(false);
      Same(ref, fast);
      if (!fast.survived) continue;
      // The coded block back through both unpackers.
      std::vector<uint8_t> again(1 + 1 + fast.bytes.size());
      again[0] = (uint8_t)(packer ? 2 : 1);
      again[1] = (uint8_t)((8 - fast.result % 8) % 8);
      memcpy(again.data() + 2, fast.bytes.data(), fast.bytes.size());
      int saved = mode;
      input = again.data();
      inputSize = again.size();
      mode = again[0];
      Same(Run(true), Run(false));
      mode = saved;
      input = data;
      inputSize = size;
    }
    return 0;
  }
  if (mode == 4 && size > 1) {
    Same(Run(true), Run(false));
    // The Sor stage, when the block has an empty row.
    unsigned char b[RleBlockSize], out[2][RleBlockSize], table[2][SorTableSize];
    memset(b, 0xFF, sizeof b);
    memcpy(b, data + 1, size - 1 < sizeof b ? size - 1 : sizeof b);
    bool empty = false;
    for (int r = 0; r < SorRowCount && !empty; r++) {
      empty = true;
      for (int c = 0; c < SorRowBytes; c++) empty = empty && b[r * SorRowBytes + c] == 0xFF;
    }
    if (!empty) return 0;
    int n0 = Ref::SorPack(b, out[0], table[0]);
    int n1 = SorPack(b, out[1], table[1]);
    if (n0 != n1 || memcmp(out[0], out[1], sizeof out[0]) || memcmp(table[0], table[1], (size_t)n0)) __builtin_trap();
    return 0;
  }
  Same(Run(true), Run(false));
  return 0;
}
