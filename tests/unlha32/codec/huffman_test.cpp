#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "unlha32/codec/huffman.h"

namespace {

using lzh::detail::buildLengths;
using lzh::detail::canonicalCodes;

// Kraft sum scaled by 2^16: exactly 65536 for a complete prefix code.
std::uint64_t kraft(const std::vector<std::uint8_t>& lens) {
  std::uint64_t sum = 0;
  for (auto l : lens) {
    if (l) sum += std::uint64_t{1} << (16 - l);
  }
  return sum;
}

struct Case {
  const char* name;
  std::vector<std::uint32_t> freq;
};

std::vector<Case> cases() {
  std::vector<Case> out;
  // Fibonacci weights force a depth far beyond 16 without the limit.
  std::vector<std::uint32_t> fib{1, 1};
  while (fib.size() < 30) fib.push_back(fib[fib.size() - 1] + fib[fib.size() - 2]);
  out.push_back({"fibonacci", fib});
  std::vector<std::uint32_t> skewed(510, 0);
  for (int i = 0; i < 510; i += 3) skewed[static_cast<std::size_t>(i)] = 1;
  skewed[97] = 65000;
  out.push_back({"skewed 510", skewed});
  std::mt19937 rng(3);
  std::vector<std::uint32_t> random(510);
  for (auto& f : random) f = rng() % 1000;
  out.push_back({"random 510", random});
  out.push_back({"two symbols", {0, 5, 0, 0, 9}});
  out.push_back({"equal", std::vector<std::uint32_t>(19, 4)});
  return out;
}

TEST(Huffman, LengthsAreLimitedCompleteAndOrderedByFrequency) {
  for (const Case& c : cases()) {
    const int n = static_cast<int>(c.freq.size());
    std::vector<std::uint8_t> lens(c.freq.size());
    int single = -1;
    const int used = buildLengths(c.freq.data(), n, 16, lens.data(), &single);
    ASSERT_EQ(used, std::count_if(c.freq.begin(), c.freq.end(), [](auto f) { return f != 0; })) << c.name;
    EXPECT_EQ(kraft(lens), 65536u) << c.name;
    for (int i = 0; i < n; ++i) {
      EXPECT_LE(lens[static_cast<std::size_t>(i)], 16) << c.name;
      EXPECT_EQ(lens[static_cast<std::size_t>(i)] != 0, c.freq[static_cast<std::size_t>(i)] != 0) << c.name;
      for (int j = 0; j < n; ++j) {
        if (c.freq[static_cast<std::size_t>(i)] > c.freq[static_cast<std::size_t>(j)] && c.freq[static_cast<std::size_t>(j)] != 0) {
          EXPECT_LE(lens[static_cast<std::size_t>(i)], lens[static_cast<std::size_t>(j)]) << c.name << " " << i << " " << j;
        }
      }
    }
  }
}

TEST(Huffman, CanonicalCodesArePrefixFree) {
  const std::vector<std::uint8_t> lens{3, 0, 2, 3, 2, 4, 4, 2};
  std::vector<std::uint16_t> codes(lens.size());
  canonicalCodes(lens.data(), static_cast<int>(lens.size()), codes.data());
  for (std::size_t i = 0; i < lens.size(); ++i) {
    for (std::size_t j = 0; j < lens.size(); ++j) {
      if (i == j || !lens[i] || !lens[j] || lens[i] > lens[j]) continue;
      EXPECT_NE(codes[j] >> (lens[j] - lens[i]), codes[i]) << i << " is a prefix of " << j;
    }
  }
}

TEST(Huffman, NoneOrOneUsedSymbolIsReportedAsSingle) {
  std::vector<std::uint8_t> lens(19, 9);
  int single = -1;
  std::vector<std::uint32_t> freq(19, 0);
  EXPECT_EQ(buildLengths(freq.data(), 19, 16, lens.data(), &single), 0);
  EXPECT_EQ(single, 0);
  freq[11] = 40;
  EXPECT_EQ(buildLengths(freq.data(), 19, 16, lens.data(), &single), 1);
  EXPECT_EQ(single, 11);
}

}  // namespace
