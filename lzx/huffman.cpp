#include "lzx/huffman.h"

#include <string.h>

#include <array>

#include "base/fatal.h"

LZX_PER_THREAD HufTable MainTable;
LZX_PER_THREAD HufTable LenCode;
LZX_PER_THREAD uint64_t DecodeEntry[DecodeSize];
LZX_PER_THREAD uint32_t DecodeLongIndex[DecodeSize];
LZX_PER_THREAD uint16_t DecodeLongTable[DecodeLongTableSize];

namespace {

enum { NoChild = 0xFFFF, NodeCount = 2 * HufMaxSymbols - 1 };

struct TreeNode {
  uint16_t freq;
  uint16_t id;
  uint16_t child0;
  uint16_t child1;
};

// Scratch of the one tree being built; the work list holds the leaves'
// node indexes in descending order of weight (TreeBuild).
LZX_PER_THREAD TreeNode nodes[NodeCount];
LZX_PER_THREAD uint16_t workList[HufMaxSymbols];

// Puts the keys in descending order: higher frequency first, and the higher
// symbol first among equals. A key's low 16 bits are its symbol, each of
// 0..count-1 once (FresInit), so the keys are first set out by symbol,
// highest first. The unused symbols (frequency 0) are then the last keys,
// in that order; the others are ordered by the two bytes of their frequency,
// the lower byte first, each pass keeping the order of equals, or, when they
// are few (the code-length code), one by one. A comparison sort of a few
// hundred keys took five times as long, and every block sorts its tables.
void SortKeys(HufTable& table) {
  int n = table.count;
  uint32_t bySymbol[HufMaxSymbols];
  for (int i = 0; i < n; i++) {
    uint32_t s = table.key[i] & 0xFFFF;
    if (s >= (uint32_t)n) FatalMessage("FreqToLen: BUG");
    bySymbol[n - 1 - (int)s] = table.key[i];
  }
  uint32_t used[HufMaxSymbols];
  int count = 0;
  for (int i = 0; i < n; i++) {
    if (bySymbol[i] >= 65536) used[count++] = bySymbol[i];
  }
  uint32_t* key = table.key;
  for (int i = 0, z = count; i < n; i++) {
    if (bySymbol[i] < 65536) key[z++] = bySymbol[i];
  }
  if (count <= 32) {
    for (int i = 0; i < count; i++) {
      uint32_t k = used[i];
      int j = i;
      for (; j > 0 && key[j - 1] < k; j--) key[j] = key[j - 1];
      key[j] = k;
    }
    return;
  }
  // Where each byte value's keys begin, the heaviest first.
  int lowStart[256] = {0}, highStart[256] = {0};
  for (int i = 0; i < count; i++) {
    lowStart[255 - ((used[i] >> 16) & 255)]++;
    highStart[255 - (used[i] >> 24)]++;
  }
  for (int d = 0, low = 0, high = 0; d < 256; d++) {
    int l = lowStart[d], h = highStart[d];
    lowStart[d] = low;
    highStart[d] = high;
    low += l;
    high += h;
  }
  for (int i = 0; i < count; i++) bySymbol[lowStart[255 - ((used[i] >> 16) & 255)]++] = used[i];
  for (int i = 0; i < count; i++) key[highStart[255 - (bySymbol[i] >> 24)]++] = bySymbol[i];
}

}  // namespace

void FresInit(HufTable& table, int n) {
  if (n < 0 || n > HufMaxSymbols) FatalMessage("FresInit: too many symbols");
  table.count = n;
  for (int s = 0; s < n; s++) table.key[s] = (uint32_t)s;
}

void FreqToLen(HufTable& table) {
  memset(table.len, 0, sizeof table.len);
  SortKeys(table);
  int used = 0;
  while (used < table.count && table.key[used] >= 65536) {
    TreeNode& leaf = nodes[used];
    leaf.freq = (uint16_t)(table.key[used] >> 16);
    leaf.id = (uint16_t)used;
    leaf.child0 = NoChild;
    leaf.child1 = NoChild;
    workList[used] = (uint16_t)used;
    used++;
  }
  table.used = used;
  if (used == 0) {
    table.len[0] = 1;
  } else if (used == 1) {
    table.len[table.key[0] & 0xFFFF] = 1;
  } else {
    TreeBuild(table);
    TreeToLen(table, 2 * used - 2, 0);
  }
}

// The tree is built on one work list in descending order of weight: the
// two lightest entries (at its end) are merged into a new node, which goes
// behind every entry of equal or greater weight. The list is kept as two:
// the leaves, still in their order, taken from the end; and the new nodes,
// whose weights never fall, taken from the front. Among equal weights a new
// node is behind the leaves, so it is taken before them, and behind the older
// new nodes, so the newest of them is taken first: a run of new nodes of one
// weight is taken in reverse. Once a run is being taken no node of its weight
// is made any more (a new node weighs at least twice the lightest entry), so
// the run is reversed when its first node is taken.
int TreeBuild(HufTable& table) {
  int used = table.used;
  uint16_t made[HufMaxSymbols];        // the new nodes not taken: made[head..tail)
  int head = 0, tail = 0, runEnd = 0;  // made[head..runEnd): the reversed run
  int leaves = used;                   // the leaves not taken: workList[0..leaves)
  int next = used;
  while (next < 2 * used - 1) {
    uint16_t taken[2];  // the lightest, then the next
    for (int t = 0; t < 2; t++) {
      if (head < tail && (leaves == 0 || nodes[made[head]].freq <= nodes[workList[leaves - 1]].freq)) {
        if (head == runEnd) {
          runEnd = head + 1;
          while (runEnd < tail && nodes[made[runEnd]].freq == nodes[made[head]].freq) runEnd++;
          for (int i = head, j = runEnd - 1; i < j; i++, j--) {
            uint16_t swap = made[i];
            made[i] = made[j];
            made[j] = swap;
          }
        }
        taken[t] = made[head++];
      } else {
        if (leaves == 0) FatalMessage("TreeBuild: BUG");
        taken[t] = workList[--leaves];
      }
    }
    TreeNode& n = nodes[next];
    n.freq = (uint16_t)(nodes[taken[1]].freq + nodes[taken[0]].freq);
    n.id = (uint16_t)next;
    n.child0 = taken[1];
    n.child1 = taken[0];
    made[tail++] = (uint16_t)next;
    next++;
  }
  if (next != 2 * used - 1) FatalMessage("TreeBuild: BUG");
  return next;
}

void TreeToLen(HufTable& table, int node, int depth) {
  if (depth > HufMaxLen) FatalMessage("TreeToLen: too deep");
  const TreeNode& n = nodes[node];
  if (node < table.used) {
    if (depth == 0) FatalMessage("TreeToLen: root is used");
    table.len[table.key[node] & 0xFFFF] = (uint8_t)depth;
  }
  if ((n.child0 == NoChild) != (n.child1 == NoChild)) FatalMessage("TreeToLen: child missing");
  if (n.child0 != NoChild) {
    TreeToLen(table, n.child0, depth + 1);
    TreeToLen(table, n.child1, depth + 1);
  }
}

namespace {

constexpr std::array<RefCode, 256> MakeRefCodes(void) {
  std::array<RefCode, 256> t{};
  for (int r = 0; r < 256; r++) {
    int lb = r >> 4, ds = r & 15;
    t[r].lenBase = (uint16_t)(lb <= 1 ? lb + 3 : (1 << (lb - 1)) + 3);
    t[r].lenBits = (uint8_t)(lb <= 1 ? 0 : lb - 1);
    t[r].distBase = (uint16_t)(ds <= 1 ? ds + 1 : (1 << (ds - 1)) + 1);
    t[r].distBits = (uint8_t)(ds <= 1 ? 0 : ds - 1);
  }
  return t;
}

// The 12-bit values with their bits reversed: a code of up to 24 bits is
// reversed in two halves.
enum { RevBits = 12 };
constexpr std::array<uint16_t, 1 << RevBits> MakeReversal(void) {
  std::array<uint16_t, 1 << RevBits> t{};
  for (int i = 0; i < 1 << RevBits; i++) {
    int r = 0;
    for (int b = 0; b < RevBits; b++) r |= ((i >> b) & 1) << (RevBits - 1 - b);
    t[i] = (uint16_t)r;
  }
  return t;
}

constexpr std::array<uint16_t, 1 << RevBits> Reversal = MakeReversal();

// A symbol's wide first-level entry without its code length, which adds
// EntryPerLen times the length (see DecodeEntryFor and DecodeEntryWide): to
// the bits the entry takes in both halves, and to the code length.
enum : uint64_t { EntryPerLen = (uint64_t)(1u | 1u << 24) << 32 | 1u };
constexpr std::array<uint64_t, HufMaxSymbols> MakeEntryBase(void) {
  std::array<RefCode, 256> refs = MakeRefCodes();
  std::array<uint64_t, HufMaxSymbols> t{};
  for (int s = 0; s < HufMaxSymbols; s++) {
    uint32_t e = 0;
    if (s < RefSymbolFirst) {
      e = (uint32_t)s << 8 | 1u << 29;
    } else {
      const RefCode& r = refs[(s - RefSymbolFirst) & 255];
      e = (uint32_t)(r.lenBits + r.distBits) | (uint32_t)((s - RefSymbolFirst) & 255) << 8 | DecodeEntryRef;
    }
    t[s] = (uint64_t)e << 32 | (e & 63) | (uint64_t)DecodeBits << 8;
  }
  return t;
}

constexpr std::array<uint64_t, HufMaxSymbols> EntryBase = MakeEntryBase();

}  // namespace

const std::array<RefCode, 256> RefCodes = MakeRefCodes();

// Canonical codes. The lengths may come from a damaged stream, so the code
// space is checked both ways: more codes than it holds ("overcounted"), or a
// code that leaves bit strings undecodable ("undercounted"). A single symbol
// of length 1 is the one incomplete code the packers write.
void LenToVal(HufTable& table) {
  // The symbols with a code are listed first, without a branch, and only
  // they are counted: the long runs of unused symbols then do not wait on
  // one counter in memory.
  uint16_t listed[HufMaxSymbols];
  int coded = 0;
  int longest = 0;
  for (int s = 0; s < table.count; s++) {
    int l = table.len[s];
    listed[coded] = (uint16_t)s;
    coded += l != 0;
    longest = l > longest ? l : longest;
  }
  if (longest > HufMaxLen) FatalMessage("LenToVal: overcounted");
  int cnt[HufMaxLen + 1] = {0};
  for (int k = 0; k < coded; k++) cnt[table.len[listed[k]]]++;
  LenToValCounted(table, listed, coded, cnt);
}

void LenToValCounted(HufTable& table, const uint16_t* listed, int coded, const int* cnt) {
  int longest = HufMaxLen;
  while (longest > 0 && cnt[longest] == 0) longest--;
  // The first code of each length. The first length whose codes do not fit
  // is one that has codes (the space left only shrinks by their use), so
  // the test per length is the test per code; past the longest nothing
  // changes.
  int next[HufMaxLen + 2];
  next[1] = 0;
  for (int l = 1; l <= longest; l++) {
    if (next[l] + cnt[l] > 1 << l) FatalMessage("LenToVal: overcounted");
    next[l + 1] = (next[l] + cnt[l]) * 2;
  }
  // After the walk, the first free code of the longest length is the Kraft
  // sum in units of 2^-longest.
  bool complete = longest > 0 && next[longest] + cnt[longest] == 1 << longest;
  if (!complete && !(coded == 1 && longest == 1)) FatalMessage("LenToVal: undercounted");
  // The symbols in code order, then the codes of each length one after the
  // other; up to 12 bits a code is reversed with one lookup.
  int place[HufMaxLen + 1];
  int at = 0;
  for (int l = 1; l <= longest; l++) {
    table.lenStart[l] = at;
    place[l] = at;
    at += cnt[l];
  }
  for (int l = longest + 1; l <= HufMaxLen + 1; l++) table.lenStart[l] = at;
  for (int k = 0; k < coded; k++) {
    int s = listed[k];
    table.byLen[place[table.len[s]]++] = (uint16_t)s;
  }
  memset(table.val, 0, (size_t)table.count * sizeof table.val[0]);
  for (int l = 1; l <= longest; l++) {
    uint32_t code = (uint32_t)next[l];
    const uint16_t* sym = table.byLen + table.lenStart[l];
    const uint16_t* end = table.byLen + table.lenStart[l + 1];
    if (l <= RevBits) {
      for (; sym < end; sym++) table.val[*sym] = (uint32_t)Reversal[code++] >> (RevBits - l);
    } else {
      for (; sym < end; sym++, code++) {
        uint32_t rev = (uint32_t)Reversal[code & ((1u << RevBits) - 1)] << RevBits | Reversal[code >> RevBits];
        table.val[*sym] = rev >> (HufMaxLen - l);  // the l-bit code with its bits reversed
      }
    }
  }
}

namespace {

enum { LinearWidth = 31 };  // DecodeLongIndex width: ask DecodeLong

// The first-level entries that the last TableBuildLong gave a sub-table or
// sent to the linear search; all other entries of DecodeLongIndex are zero.
LZX_PER_THREAD uint16_t longPrefixes[DecodeSize];
LZX_PER_THREAD int longPrefixCount;

// The sub-tables of the codes longer than 11 bits, one per first-level entry
// that they pass through, each as wide as its longest code; where the room
// runs out, the entry is left to the linear search. In code order the codes
// that share their first 11 bits follow each other, the longest last, and as
// LenToVal lets only complete codes through (the one code of one bit has no
// long codes), they cover their sub-table exactly.
void TableBuildLong(const HufTable& table, const uint16_t* longSymbols, int longCount) {
  for (int k = 0; k < longPrefixCount; k++) DecodeLongIndex[longPrefixes[k]] = 0;
  int count = 0;
  uint32_t used = 0;
  int j = 0;
  while (j < longCount) {
    uint32_t p = table.val[longSymbols[j]] & (DecodeSize - 1);
    int end = j + 1;
    while (end < longCount && (table.val[longSymbols[end]] & (DecodeSize - 1)) == p) end++;
    uint32_t width = (uint32_t)(table.len[longSymbols[end - 1]] - DecodeBits);
    uint32_t size = 1u << width;
    longPrefixes[count++] = (uint16_t)p;
    if (used + size > DecodeLongTableSize) {
      DecodeLongIndex[p] = LinearWidth;
      j = end;
      continue;
    }
    DecodeLongIndex[p] = used << 5 | width;
    uint16_t* sub = DecodeLongTable + used;
    for (; j < end; j++) {
      int s = longSymbols[j];
      uint32_t step = 1u << (table.len[s] - DecodeBits);
      for (uint32_t i = table.val[s] >> DecodeBits; i < size; i += step) sub[i] = (uint16_t)s;
    }
    used += size;
  }
  longPrefixCount = count;
}

}  // namespace

void TableBuild(const HufTable& table) {
  // The table grows one length at a time: the entries so far are repeated
  // above them (a code of length l covers every index that ends in its l
  // bits), then the codes of the new length are put in, and with them the
  // pairs of literals whose two codes together are that long. A pair's entry
  // replaces the first literal's own at the pair's bits and is repeated from
  // there on like a single code. LenToVal lets only prefix codes through, so
  // no two codes and pairs of one length share an index.
  int shortest = 1;
  while (shortest <= DecodeBits && table.lenStart[shortest + 1] == table.lenStart[shortest]) shortest++;
  // The literals that can be one half of a pair, in code order: their index,
  // their entry, and what they add to the first literal's entry as the
  // second one (their bits, their byte, one more literal).
  uint32_t litIndex[RefSymbolFirst];
  uint64_t litEntry[RefSymbolFirst];
  uint64_t litAdd[RefSymbolFirst];
  int litStart[DecodeBits + 1];
  int lits = 0;
  uint64_t* entries = DecodeEntry;  // a plain pointer, as in LzxUnpack
  entries[0] = DecodeWideLong;
  for (int l = 1; l <= DecodeBits; l++) {
    int half = 1 << (l - 1);
    memcpy(entries + half, entries, (size_t)half * sizeof entries[0]);
    litStart[l] = lits;
    uint64_t forLen = (uint64_t)l * EntryPerLen;
    if (l <= DecodeBits - shortest) {
      for (int k = table.lenStart[l]; k < table.lenStart[l + 1]; k++) {
        int s = table.byLen[k];
        uint64_t e = EntryBase[s] + forLen;
        entries[table.val[s]] = e;
        if (s < RefSymbolFirst) {
          litIndex[lits] = table.val[s];
          litEntry[lits] = e;
          litAdd[lits] = ((uint64_t)((uint32_t)l + (1u << 29) + ((uint32_t)s << 16)) << 32) + (uint32_t)l;
          lits++;
        }
      }
    } else {
      for (int k = table.lenStart[l]; k < table.lenStart[l + 1]; k++) {
        int s = table.byLen[k];
        entries[table.val[s]] = EntryBase[s] + forLen;
      }
    }
    // The halves of these pairs are shorter than l, so both lists are done.
    for (int a = shortest; l - a >= shortest; a++) {
      int b = l - a;
      for (int i = litStart[a]; i < litStart[a + 1]; i++) {
        uint64_t* to = entries + litIndex[i];
        uint64_t e = litEntry[i];
        for (int j = litStart[b]; j < litStart[b + 1]; j++) to[litIndex[j] << a] = e + litAdd[j];
      }
    }
  }
  int longFirst = table.lenStart[DecodeBits + 1];
  TableBuildLong(table, table.byLen + longFirst, table.lenStart[HufMaxLen + 1] - longFirst);
}

int DecodeLong(const HufTable& table, uint32_t bits) {
  for (int s = 0; s < table.count; s++) {
    int l = table.len[s];
    if (l > DecodeBits && ((bits ^ table.val[s]) & BitMask[l]) == 0) return s;
  }
  FatalMessage("DecodeLong: code not found");
}

int UnCode(const HufTable& table, uint32_t bits) {
  for (int s = 0; s < table.count; s++) {
    int l = table.len[s];
    if (l > 0 && ((bits ^ table.val[s]) & BitMask[l]) == 0) return s;
  }
  FatalMessage("UnCode: code not found");
}
