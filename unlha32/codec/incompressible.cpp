// Early detection of data that will not shrink (compressed or encrypted
// files, random bytes). Two cheap measures over a sample: the order-0 entropy
// of the byte histogram (Huffman coding alone cannot go below it), and how
// often a four-byte sequence was seen recently (a small direct-mapped table of
// positions, the same idea as the match finder's hash without chains). Only
// when both say "no redundancy" is the data called incompressible.

#include <cmath>
#include <vector>

#include "unlha32/codec/lzh_codec.h"
#include "unlha32/codec/match_finder.h"

namespace lzh {
namespace {

// Bytes examined at most; the decision is about the start of the data.
constexpr std::size_t kSampleBytes = 1 << 16;
// Below this many bytes there is too little evidence; say "try it".
constexpr std::size_t kMinSample = 4096;
// Entropy in bits per byte above which Huffman coding gains under about 1%.
constexpr double kEntropyLimit = 7.92;
// Share of positions with a repeated four-byte sequence above which LZ77
// matches would pay for themselves.
constexpr double kRepeatLimit = 0.01;

// A first look at this many bytes settles most compressible data (text,
// code, tables) at a fraction of the cost: its entropy there is far below
// kEntropyLimit. Data at or near the limit gets the full sample.
constexpr std::size_t kFirstLook = 4096;
constexpr double kFirstLookLimit = 6.5;

double entropyOf(std::span<const std::uint8_t> data) {
  std::uint32_t histogram[256] = {};
  for (std::uint8_t b : data) ++histogram[b];
  double entropy = 0;
  for (std::uint32_t c : histogram) {
    if (c) {
      const double p = static_cast<double>(c) / static_cast<double>(data.size());
      entropy -= p * std::log2(p);
    }
  }
  return entropy;
}

}  // namespace

bool looksIncompressible(std::span<const std::uint8_t> sample) {
  if (sample.size() > kSampleBytes) sample = sample.first(kSampleBytes);
  const std::size_t n = sample.size();
  if (n < kMinSample) return false;

  if (n > 2 * kFirstLook && entropyOf(sample.first(kFirstLook)) < kFirstLookLimit) return false;
  if (entropyOf(sample) < kEntropyLimit) return false;

  // About one slot per position of the sample, so repeats at distances up to
  // the largest dictionary mostly survive in the table. Positions fit in 16
  // bits (the sample is at most 64 KiB); 0xFFFF marks an empty slot.
  int order = 8;
  while (order < 16 && (std::size_t{1} << order) < n) ++order;
  std::vector<std::uint16_t> seen(std::size_t{1} << order, 0xFFFF);
  std::size_t repeats = 0;
  const std::uint8_t* p = sample.data();
  for (std::size_t i = 0; i + 4 <= n; ++i) {
    const std::uint32_t seq = detail::load32(p + i);
    const std::uint32_t h = (seq * 0x1E35A7BDu) >> (32 - order);
    const std::uint16_t prev = seen[h];
    if (prev != 0xFFFF && detail::load32(p + prev) == seq) ++repeats;
    seen[h] = static_cast<std::uint16_t>(i);
  }
  return static_cast<double>(repeats) < kRepeatLimit * static_cast<double>(n);
}

}  // namespace lzh
