#include "lzx/huffman.h"

#include <string.h>

#include <algorithm>
#include <functional>

#include "base/fatal.h"

HufTable MainTable;
HufTable LenCode;
uint16_t DecodeTable[DecodeSize];
uint32_t DecodeEntry[DecodeSize];
uint32_t DecodeLongIndex[DecodeSize];
uint16_t DecodeLongTable[DecodeLongTableSize];

namespace {

enum { NoChild = 0xFFFF, NodeCount = 2 * HufMaxSymbols - 1 };

struct TreeNode {
  uint16_t freq;
  uint16_t id;
  uint16_t child0;
  uint16_t child1;
};

// Scratch of the one tree being built; the work list holds node indexes in
// descending order of weight.
TreeNode nodes[NodeCount];
uint16_t workList[HufMaxSymbols];

}  // namespace

void FresInit(HufTable& table, int n) {
  if (n < 0 || n > HufMaxSymbols) FatalMessage("FresInit: too many symbols");
  table.count = n;
  for (int s = 0; s < n; s++) table.key[s] = (uint32_t)s;
}

void FreqToLen(HufTable& table) {
  memset(table.len, 0, sizeof table.len);
  // Keys are unique (the symbol is in the low bits), so the order is total:
  // higher frequency first, and the higher symbol first among equals.
  std::sort(table.key, table.key + table.count, std::greater<uint32_t>());
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

int TreeBuild(HufTable& table) {
  int k = table.used;
  int next = table.used;
  while (k >= 2) {
    const TreeNode& a = nodes[workList[k - 2]];
    const TreeNode& b = nodes[workList[k - 1]];
    TreeNode& n = nodes[next];
    n.freq = (uint16_t)(a.freq + b.freq);
    n.id = (uint16_t)next;
    n.child0 = a.id;
    n.child1 = b.id;
    k -= 2;
    // Behind every entry of equal or greater weight, so that among equal
    // weights the newest node is taken first.
    int at = 0;
    while (at < k && nodes[workList[at]].freq >= n.freq) at++;
    memmove(workList + at + 1, workList + at, (size_t)(k - at) * sizeof workList[0]);
    workList[at] = (uint16_t)next;
    k++;
    next++;
  }
  if (next != 2 * table.used - 1) FatalMessage("TreeBuild: BUG");
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

// Canonical codes. The lengths may come from a damaged stream, so the code
// space is checked both ways: more codes than it holds ("overcounted"), or a
// code that leaves bit strings undecodable ("undercounted"). A single symbol
// of length 1 is the one incomplete code the packers write.
void LenToVal(HufTable& table) {
  int cnt[HufMaxLen + 1] = {0};
  int coded = 0;
  int maxLen = 0;
  for (int s = 0; s < table.count; s++) {
    int l = table.len[s];
    if (l > HufMaxLen) FatalMessage("LenToVal: overcounted");
    if (l == 0) continue;
    cnt[l]++;
    coded++;
    if (l > maxLen) maxLen = l;
  }
  // next[l] can pass 32 bits for overfull damaged lengths.
  int64_t next[HufMaxLen + 1] = {0};
  for (int l = 1; l < HufMaxLen; l++) next[l + 1] = (next[l] + cnt[l]) * 2;
  for (int s = 0; s < table.count; s++) {
    int l = table.len[s];
    if (l == 0) continue;
    int64_t code = next[l]++;
    if (code > (int64_t)BitMask[l]) FatalMessage("LenToVal: overcounted");
    uint32_t rev = (uint32_t)code;  // the l-bit code with its bits reversed
    rev = (rev & 0x55555555u) << 1 | (rev >> 1 & 0x55555555u);
    rev = (rev & 0x33333333u) << 2 | (rev >> 2 & 0x33333333u);
    rev = (rev & 0x0F0F0F0Fu) << 4 | (rev >> 4 & 0x0F0F0F0Fu);
    rev = (rev & 0x00FF00FFu) << 8 | (rev >> 8 & 0x00FF00FFu);
    rev = rev << 16 | rev >> 16;
    table.val[s] = rev >> (32 - l);
  }
  // After the walk next[maxLen] is the Kraft sum in units of 2^-maxLen.
  bool complete = maxLen > 0 && next[maxLen] == ((int64_t)1 << maxLen);
  if (!complete && !(coded == 1 && maxLen == 1)) FatalMessage("LenToVal: undercounted");
}

namespace {

enum { LinearWidth = 31 };  // DecodeLongIndex width: ask DecodeLong

// The sub-tables of the codes longer than 10 bits, one per first-level entry
// that they pass through, each as wide as its longest code. Two codes that
// cover one entry (the lengths are no prefix code) or a lack of room leave
// that entry to the linear search.
void TableBuildLong(const HufTable& table, const uint16_t* longSymbols, int longCount) {
  memset(DecodeLongIndex, 0, sizeof DecodeLongIndex);
  static uint16_t prefixes[HufMaxSymbols];  // first-level entries with long codes, in order of appearance
  int count = 0;
  for (int j = 0; j < longCount; j++) {
    int s = longSymbols[j];
    int l = table.len[s];
    uint32_t p = table.val[s] & (DecodeSize - 1);
    if (DecodeTable[p] != DecodeLongMark) continue;  // a shorter code is found first
    if (DecodeLongIndex[p] == 0) prefixes[count++] = (uint16_t)p;
    if ((uint32_t)(l - DecodeBits) > DecodeLongIndex[p]) DecodeLongIndex[p] = (uint32_t)(l - DecodeBits);
  }
  uint32_t used = 0;
  for (int k = 0; k < count; k++) {
    int p = prefixes[k];
    uint32_t width = DecodeLongIndex[p];
    uint32_t size = 1u << width;
    if (used + size > DecodeLongTableSize) {
      DecodeLongIndex[p] = LinearWidth;
      continue;
    }
    for (uint32_t i = 0; i < size; i++) DecodeLongTable[used + i] = DecodeLongNone;
    DecodeLongIndex[p] = used << 5 | width;
    used += size;
  }
  for (int j = 0; j < longCount; j++) {
    int s = longSymbols[j];
    int l = table.len[s];
    uint32_t p = table.val[s] & (DecodeSize - 1);
    uint32_t info = DecodeLongIndex[p];
    uint32_t width = info & 31;
    if (DecodeTable[p] != DecodeLongMark || width == LinearWidth) continue;
    uint16_t* sub = DecodeLongTable + (info >> 5);
    for (uint32_t i = table.val[s] >> DecodeBits; i < (1u << width); i += 1u << (l - DecodeBits)) {
      if (sub[i] != DecodeLongNone) {
        DecodeLongIndex[p] = LinearWidth;
        break;
      }
      sub[i] = (uint16_t)s;
    }
  }
}

}  // namespace

void TableBuild(HufTable& table) {
  for (int i = 0; i < DecodeSize; i++) DecodeTable[i] = DecodeLongMark;
  memset(DecodeEntry, 0xFF, sizeof DecodeEntry);  // DecodeEntryLong
  static uint16_t longSymbols[HufMaxSymbols];     // the symbols of codes longer than 10 bits, in order
  int longCount = 0;
  for (int s = 0; s < table.count; s++) {
    int l = table.len[s];
    if (l > DecodeBits) {
      longSymbols[longCount++] = (uint16_t)s;
      continue;
    }
    if (l < 1) continue;
    uint32_t entry = (uint32_t)s | (uint32_t)l << 16;
    for (uint32_t i = table.val[s]; i < DecodeSize; i += 1u << l) {
      DecodeTable[i] = (uint16_t)s;
      DecodeEntry[i] = entry;
    }
  }
  TableBuildLong(table, longSymbols, longCount);
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
