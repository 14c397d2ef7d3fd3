#pragma once
// Length-limited Huffman codes for the encoder.

#include <cstdint>

namespace lzh::detail {

// Computes code lengths (at most `maxLen` bits) for the `n` symbols of `freq`
// into `lens` (0 for unused symbols). Returns the number of used symbols; when
// it is 0 or 1 no lengths are set and `*single` receives the used symbol (or 0):
// the format sends such a table as a bare symbol with a zero-length code.
int buildLengths(const std::uint32_t* freq, int n, int maxLen, std::uint8_t* lens, int* single);

// Assigns canonical codes (shorter codes first, by symbol within a length)
// for the given lengths, as the decoder rebuilds them.
void canonicalCodes(const std::uint8_t* lens, int n, std::uint16_t* codes);

}  // namespace lzh::detail
