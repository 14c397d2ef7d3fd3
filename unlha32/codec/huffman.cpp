// Huffman code lengths with a length limit.
//
// The used symbols are sorted by frequency and their optimal (unlimited) code
// lengths computed in place with the Moffat-Katajainen method: one pass pairs
// the two smallest weights as a classic Huffman tree would (leaves and
// internal nodes both come out in increasing order, so no heap is needed), a
// second turns parent links into depths, a third turns internal depths into
// leaf depths. If a length exceeds the limit, the lengths are counted per
// length, the long ones clamped, and the code repaired until the Kraft sum is
// exact again: each step removes one leaf at the limit and splits the deepest
// shorter leaf, which lowers the sum by one unit. Finally the counts are handed
// out by frequency, so the rarest symbols get the longest codes.

#include "unlha32/codec/huffman.h"

#include <algorithm>

namespace lzh::detail {
namespace {

// In-place minimum-redundancy lengths for weights a[0..n) sorted ascending
// (n >= 2). On return a[i] is the code length of the i-th weight.
void minimumRedundancy(std::uint32_t* a, int n) {
  a[0] += a[1];
  int root = 0;
  int leaf = 2;
  for (int next = 1; next < n - 1; ++next) {
    if (leaf >= n || a[root] < a[leaf]) {
      a[next] = a[root];
      a[root++] = static_cast<std::uint32_t>(next);
    } else {
      a[next] = a[leaf++];
    }
    if (leaf >= n || (root < next && a[root] < a[leaf])) {
      a[next] += a[root];
      a[root++] = static_cast<std::uint32_t>(next);
    } else {
      a[next] += a[leaf++];
    }
  }
  a[n - 2] = 0;
  for (int next = n - 3; next >= 0; --next) a[next] = a[a[next]] + 1;
  int avail = 1;
  int used = 0;
  std::uint32_t depth = 0;
  root = n - 2;
  int next = n - 1;
  while (avail > 0) {
    while (root >= 0 && a[root] == depth) {
      ++used;
      --root;
    }
    while (avail > used) {
      a[next--] = depth;
      --avail;
    }
    avail = 2 * used;
    ++depth;
    used = 0;
  }
}

// Sorts keys[0..m) (a frequency above 16 bits of symbol) by frequency,
// keeping equal frequencies in the order given: a radix sort, one counting
// pass per byte of `maxFreq`. A comparison sort's branches go wrong at
// about every other comparison; these passes have none that depends on the
// data.
void sortByFrequency(std::uint64_t* keys, int m, std::uint32_t maxFreq) {
  std::uint64_t spare[1024];
  std::uint64_t* from = keys;
  std::uint64_t* to = spare;
  for (int shift = 16; (std::uint64_t{maxFreq} >> (shift - 16)) != 0; shift += 8) {
    int start[257] = {};
    for (int i = 0; i < m; ++i) ++start[((from[i] >> shift) & 255) + 1];
    for (int b = 1; b <= 256; ++b) start[b] += start[b - 1];
    for (int i = 0; i < m; ++i) to[start[(from[i] >> shift) & 255]++] = from[i];
    std::swap(from, to);
  }
  if (from != keys) std::copy(from, from + m, keys);
}

}  // namespace

int buildLengths(const std::uint32_t* freq, int n, int maxLen, std::uint8_t* lens, int* single) {
  std::uint64_t keys[1024];
  int m = 0;
  std::uint32_t maxFreq = 0;
  for (int i = 0; i < n; ++i) {
    lens[i] = 0;
    // Written either way and kept only for a used symbol: which symbols a
    // block uses is no pattern a branch predictor learns.
    keys[m] = (static_cast<std::uint64_t>(freq[i]) << 16) | static_cast<unsigned>(i);
    m += freq[i] != 0;
    maxFreq = std::max(maxFreq, freq[i]);
  }
  if (m <= 1) {
    *single = m ? static_cast<int>(keys[0] & 0xFFFF) : 0;
    return m;
  }
  sortByFrequency(keys, m, maxFreq);
  std::uint32_t a[1024];
  for (int i = 0; i < m; ++i) a[i] = static_cast<std::uint32_t>(keys[i] >> 16);
  minimumRedundancy(a, m);

  int count[64] = {};
  bool overflow = false;
  for (int i = 0; i < m; ++i) {
    if (static_cast<int>(a[i]) > maxLen) {
      overflow = true;
      ++count[maxLen];
    } else {
      ++count[a[i]];
    }
  }
  if (overflow) {
    std::uint64_t kraft = 0;
    for (int l = 1; l <= maxLen; ++l) kraft += static_cast<std::uint64_t>(count[l]) << (maxLen - l);
    while (kraft > (std::uint64_t{1} << maxLen)) {
      --count[maxLen];
      for (int l = maxLen - 1; l > 0; --l) {
        if (count[l]) {
          --count[l];
          count[l + 1] += 2;
          break;
        }
      }
      --kraft;
    }
  }
  int i = 0;
  for (int l = maxLen; l >= 1; --l) {
    for (int k = 0; k < count[l]; ++k) lens[keys[i++] & 0xFFFF] = static_cast<std::uint8_t>(l);
  }
  return m;
}

void canonicalCodes(const std::uint8_t* lens, int n, std::uint16_t* codes) {
  unsigned count[18] = {};
  for (int i = 0; i < n; ++i) ++count[lens[i]];
  count[0] = 0;
  unsigned next[18] = {};
  unsigned code = 0;
  for (int l = 1; l <= 16; ++l) {
    code = (code + count[l - 1]) << 1;
    next[l] = code;
  }
  // An unused symbol (length 0) takes next[0], which nothing reads, and gets
  // code 0: no branch on whether a symbol is used.
  for (int i = 0; i < n; ++i) {
    const unsigned length = lens[i];
    codes[i] = static_cast<std::uint16_t>(next[length]++ & (0u - static_cast<unsigned>(length != 0)));
  }
}

}  // namespace lzh::detail
