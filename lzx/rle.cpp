#include "lzx/rle.h"

#include <stdint.h>
#include <string.h>

#include "base/fatal.h"
#include "lzx/rlescan.h"

LZX_PER_THREAD unsigned char RleBuf[RleBufSize];

namespace {

enum { CountFirst = 0x80, CountLast = 0x8F, RunMin = 3, RunMax = 16 };

inline bool IsCountByte(int b) { return b >= CountFirst && b <= CountLast; }

}  // namespace

int RlePack(const unsigned char* block) {
  // RleBuf through a plain pointer: a store through the thread's segment
  // register takes a cycle longer.
  unsigned char* rle = RleBuf;
  int i = 0;
  int out = 0;
  while (i < RleBlockSize) {
    // The result only grows, so once it reaches the block size the block is
    // stored as it is.
    if (out >= RleBlockSize) break;
#if defined(__SSE2__)
    // Sixteen positions at a time: the literals before the first that starts
    // a run (equals the next two) or is a count byte go as one 16-byte store,
    // of which the bytes past them are overwritten by the items after them.
    // The positions' run tests read two bytes past them, inside the block.
    if (i + 18 <= RleBlockSize) {
      unsigned m = RleSpecialMask(block + i);
      memcpy(rle + out, block + i, 16);
      if (m == 0) {
        out += 16;
        i += 16;
        continue;
      }
      int n = __builtin_ctz(m);
      out += n;
      i += n;
    }
#else
    // Six bytes at a time while none of them starts a run (equals the next
    // two) or is a count byte: they are six literals, written as one word.
    if (i + 8 <= RleBlockSize) {
      uint64_t w;
      memcpy(&w, block + i, 8);
      uint64_t runs = (w ^ (w >> 8)) | (w ^ (w >> 16));
      uint64_t counts = (w & 0xF0F0F0F0F0F0F0F0ull) ^ 0x8080808080808080ull;
      const uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull, six = 0x0000FFFFFFFFFFFFull;
      if ((((runs - ones) & ~runs & highs) & six) == 0 && (((counts - ones) & ~counts & highs) & six) == 0) {
        memcpy(rle + out, &w, 8);
        out += 6;
        i += 6;
        continue;
      }
    }
#endif
    int c = block[i];
    int k = 1;
    // Never reads past the block, whatever follows it in memory.
    if (i + 2 < RleBlockSize && block[i + 1] == c && block[i + 2] == c) {
      k = RunMin;
      while (k < RunMax && i + k < RleBlockSize && block[i + k] == c) k++;
    }
    if (k > 1 || IsCountByte(c)) rle[out++] = (unsigned char)(k + CountFirst - 1);
    rle[out++] = (unsigned char)c;
    i += k;
  }
  if (out < RleBlockSize && i != RleBlockSize) FatalMessage("RlePack: BUG");
  if (out < RleBlockSize) return out;
  memcpy(rle, block, RleBlockSize);
  return RleBlockSize;
}

namespace {

// Bit 7 of each byte of w set where that byte is a count byte (0x80..0x8F),
// exact up to and including the lowest flag.
inline uint64_t CountByteFlags(uint64_t w) {
  uint64_t t = (w & 0xF0F0F0F0F0F0F0F0ull) ^ 0x8080808080808080ull;
  return (t - 0x0101010101010101ull) & ~t & 0x8080808080808080ull;
}

// Sixteen copies of the byte that fill repeats.
inline void Fill16(unsigned char* to, uint64_t fill) {
  memcpy(to, &fill, 8);
  memcpy(to + 8, &fill, 8);
}

}  // namespace

void RleUnpack(int length, unsigned char* output) {
  if (length >= RleBlockSize) {
    if (length > RleBlockSize) FatalMessage("RleUnpack: input > output");
    memcpy(output, RleBuf, RleBlockSize);
    return;
  }
  // RleBuf through a plain pointer: a load through the thread's segment
  // register takes a cycle longer.
  const unsigned char* rle = RleBuf;
  // Reading stops at length: data that would need more bytes than given
  // fails the consumed-bytes check first in any case.
  int in = 0;
  int out = 0;
  bool overflow = false;
  // Sixteen input bytes at a time, with the mask of their count bytes: the
  // pairs and the literals between them are found from the mask alone, so
  // the next pair's place does not wait on a compare of the bytes after this
  // one. Literals are stored as 16 bytes and runs as 16 bytes, of which those
  // past the item are overwritten by the items after it. While 17 input bytes
  // remain (a pair may start at the 16th) and 145 output bytes are free (at
  // most one literal and eight runs of 16, and one 16-byte store past them)
  // no item can fail a check.
  while (in + 17 <= length && out + 145 <= RleBlockSize) {
    const unsigned char* at = rle + in;
    unsigned m = RleCountMask(at);
    if (m == 0) {
      // Thirty-two literals (most of text) go at once where the next sixteen
      // input bytes hold no count byte either; a pair cannot start among them.
      if (in + 32 <= length && RleCountMask(at + 16) == 0) {
        memcpy(output + out, at, 32);
        out += 32;
        in += 32;
        continue;
      }
      memcpy(output + out, at, 16);
      out += 16;
      in += 16;
      continue;
    }
    // Eight equal runs of sixteen (blank rows) go as eight stores.
    if (at[0] == CountLast && RleSamePairs(at) == 8) {
      uint64_t fill = at[1] * 0x0101010101010101ull;
      for (int j = 0; j < 128; j += 16) Fill16(output + out + j, fill);
      out += 128;
      in += 16;
      continue;
    }
    int q = 0;  // the first byte not taken yet
    do {
      int p = __builtin_ctz(m);
      memcpy(output + out, at + q, 16);  // the literals q..p-1
      out += p - q;
      Fill16(output + out, at[p + 1] * 0x0101010101010101ull);
      out += at[p] - CountFirst + 1;
      q = p + 2;
      m &= ~0u << q;  // also drops a value byte that looks like a count byte
    } while (m != 0);
    // The literals after the last pair; q is 17 when that pair ended on the
    // 17th byte.
    memcpy(output + out, at + q, 16);
    out += q < 16 ? 16 - q : 0;
    in += q > 16 ? q : 16;
  }
  // Closer to either end, each turn takes the literals before the next count
  // byte, sixteen input bytes at most, and then that count byte's run and the
  // runs right after it, so that there is no branch on which of the two comes
  // first. While 16 input bytes remain and 32 output bytes are free no item
  // can fail a check.
  while (in + 16 <= length && out + 32 <= RleBlockSize) {
    int k = RleLiterals(rle + in);
    memcpy(output + out, rle + in, 16);
    // Sixteen literals are the common case; a branch on it, rather than
    // adding k, lets the next turn start before this one's compare is done.
    if (k == 16) {
      out += 16;
      in += 16;
      continue;
    }
    out += k;
    in += k;
    // RleBuf[in] is a count byte, whose value byte must be there.
    if (in + 2 > length) break;
    do {
      int c = rle[in];
      uint64_t fill = rle[in + 1] * 0x0101010101010101ull;
      // A run of sixteen is mostly one of many of the same byte (blank rows):
      // up to eight equal pairs go at once, as eight stores of 16 bytes.
      if (c == CountLast && in + 16 <= length && out + 128 <= RleBlockSize) {
        int n = RleSamePairs(rle + in);
        for (int j = 0; j < 128; j += 16) Fill16(output + out + j, fill);
        out += 16 * n;
        in += 2 * n;
        continue;
      }
      Fill16(output + out, fill);
      out += c - CountFirst + 1;
      in += 2;
    } while (in + 2 <= length && out + 16 <= RleBlockSize && IsCountByte(rle[in]));
  }
  while (out < RleBlockSize) {
    // While two input bytes remain and 16 output bytes are free, no item can
    // fail a check: a literal is stored, a run written as 16 bytes, of which
    // those past it are overwritten by the items after it.
    if (in + 2 <= length && out + 16 <= RleBlockSize) {
      if (in + 8 <= length) {
        uint64_t w;
        memcpy(&w, rle + in, 8);
        uint64_t m = CountByteFlags(w);
        int k = m == 0 ? 8 : __builtin_ctzll(m) >> 3;
        if (k > 0) {
          memcpy(output + out, &w, 8);
          out += k;
          in += k;
          continue;
        }
      }
      int c = rle[in];
      if (!IsCountByte(c)) {
        output[out++] = (unsigned char)c;
        in++;
        continue;
      }
      Fill16(output + out, rle[in + 1] * 0x0101010101010101ull);
      out += c - CountFirst + 1;
      in += 2;
      continue;
    }
    if (in >= length) FatalMessage("RleUnpack: too many bytes read");
    int b = rle[in++];
    int n = 1;
    if (IsCountByte(b)) {
      if (in >= length) FatalMessage("RleUnpack: too many bytes read");
      n = b - CountFirst + 1;
      b = rle[in++];
    }
    if (n > RleBlockSize - out) {
      overflow = true;
      break;
    }
    memset(output + out, b, (size_t)n);
    out += n;
  }
  if (in != length) FatalMessage("RleUnpack: too many bytes read");
  if (overflow) FatalMessage("RleUnpack: too many bytes written");
}
