#include "lzx/codelens.h"

#include <string.h>

#include "base/fatal.h"

namespace {

enum { ShortRunMin = 3, ShortRunMax = 18, LongRunMin = 20, LongRunMax = 83, LenLenEscape = 7, LenLenMax = 14 };

LZX_PER_THREAD unsigned char lenList[LenListSize];

// LenCode's codes of up to 7 bits by lookup: symbol | length << 5, or
// LenLookupNone where the linear UnCode decides. LenToVal lets only prefix
// codes through, so the lookup grows as TableBuild's first level does, and
// UnCode's first match is the only match.
enum { LenLookupBits = 7, LenLookupSize = 1 << LenLookupBits, LenLookupNone = 0xFF };
LZX_PER_THREAD unsigned char lenLookup[LenLookupSize];

void LenLookupBuild(void) {
  lenLookup[0] = LenLookupNone;
  for (int l = 1; l <= LenLookupBits; l++) {
    int half = 1 << (l - 1);
    memcpy(lenLookup + half, lenLookup, (size_t)half);
    for (int k = LenCode.lenStart[l]; k < LenCode.lenStart[l + 1]; k++) {
      int s = LenCode.byLen[k];
      lenLookup[LenCode.val[s]] = (unsigned char)(s | l << 5);
    }
  }
}

void CountLenSymbol(unsigned char* out, int* at, int symbol) {
  out[(*at)++] = (unsigned char)symbol;
  LenCode.key[symbol] += 65536;
}

}  // namespace

int PackLens(const unsigned char* lens, int n, unsigned char* out) {
  int at = 0;
  int i = 0;
  while (i < n) {
    if (lens[i] != 0) {
      if (lens[i] > HufMaxLen) InternalError("LZX", __LINE__, lens[i]);
      CountLenSymbol(out, &at, lens[i]);
      i++;
      continue;
    }
    int r = 1;
    while (r < LongRunMax && i + r < n && lens[i + r] == 0) r++;
    if (r < ShortRunMin || r == ShortRunMax + 1) {
      CountLenSymbol(out, &at, 0);
      i++;
    } else {
      CountLenSymbol(out, &at, r <= ShortRunMax ? LenRunShort : LenRunLong);
      out[at++] = (unsigned char)r;
      i += r;
    }
  }
  return at;
}

void SendLenLens(const unsigned char* lens, int n) {
  for (int i = 0; i < n; i++) {
    int l = lens[i];
    if (l < LenLenEscape) {
      PutBits(3, (uint32_t)l);
    } else {
      if (l > LenLenMax) FatalMessage("SendLenLens: too big");
      PutBits(3, LenLenEscape);
      PutBits(3, (uint32_t)(l - LenLenEscape));
    }
  }
}

void SendLens(HufTable& table) {
  FresInit(LenCode, LenSymbols);
  int items = PackLens(table.len, table.count, lenList);
  FreqToLen(LenCode);
  SendLenLens(LenCode.len, LenSymbols);
  LenToVal(LenCode);
  for (int j = 0; j < items; j++) {
    int sym = lenList[j];
    PutBits(LenCode.len[sym], LenCode.val[sym]);
    if (sym == LenRunShort) PutBits(4, (uint32_t)(lenList[++j] - ShortRunMin));
    if (sym == LenRunLong) PutBits(6, (uint32_t)(lenList[++j] - LongRunMin));
  }
}

void RecvLenLens(unsigned char* lens, int n) {
  for (int i = 0; i < n; i++) {
    uint32_t v = GetBits(3);
    if (v == LenLenEscape) v += GetBits(3);
    lens[i] = (unsigned char)v;
  }
}

// Reads from the start of a block at most 27 * 6 + n * (14 + 6) bits, so a
// damaged section stays far inside BitBuf; the unpacker's bit count check
// catches a section that ran past its block.
void RecvLens(HufTable& table, int n) {
  if (n < 0 || n > HufMaxSymbols) InternalError("LZX", __LINE__, n);
  LenCode.count = LenSymbols;
  RecvLenLens(LenCode.len, LenSymbols);
  LenToVal(LenCode);
  LenLookupBuild();
  table.count = n;
  // The bits through a register: one item takes at most 14 + 6 bits, and
  // UnCode looks at no more than the 14 of the longest code.
  BitReader r;
  BitReaderStart(&r, BitPos);
  // The coded symbols and the codes of each length, for LenToValCounted.
  uint16_t listed[HufMaxSymbols];
  int coded = 0;
  int cnt[HufMaxLen + 1] = {0};
  unsigned char* lens = table.len;
  int i = 0;
  const unsigned char* lookup = lenLookup;  // a plain pointer, as in LzxUnpack
  while (i < n) {
    if (r.left < 20) BitReaderRefill(&r);
    int e = lookup[r.buf & (LenLookupSize - 1)];
    int sym = e & 31;
    int l = e >> 5;
    if (e == LenLookupNone) {
      sym = UnCode(LenCode, (uint32_t)r.buf & 0xFFFFFFu);
      l = LenCode.len[sym];
    }
    BitReaderSkip(&r, l);
    if (sym <= HufMaxLen) {
      lens[i] = (uint8_t)sym;
      listed[coded] = (uint16_t)i;
      coded += sym != 0;
      cnt[sym]++;
      i++;
      continue;
    }
    int k;
    if (sym == LenRunShort) {
      k = (int)(r.buf & 15) + ShortRunMin;
      BitReaderSkip(&r, 4);
    } else if (sym == LenRunLong) {
      k = (int)(r.buf & 63) + LongRunMin;
      BitReaderSkip(&r, 6);
    } else {
      FatalMessage("RecvLens: bad code %d", sym);
    }
    // The packer counts runs only up to the table's end.
    if (k > n - i) FatalMessage("RecvLens: zero run past the end");
    memset(lens + i, 0, (size_t)k);
    i += k;
  }
  BitPos = BitReaderPos(&r);
  LenToValCounted(table, listed, coded, cnt);
}
