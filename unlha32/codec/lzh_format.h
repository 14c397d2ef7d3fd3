#pragma once
// Constants of the -lh5-/-lh6-/-lh7- bit stream, shared by the encoder and the
// decoder. The three methods differ only in the dictionary size and in the
// size of the position table; everything else is one format.

#include <cstdint>

#include "unlha32/codec/lzh_codec.h"

namespace lzh::detail {

inline constexpr int kMinMatch = 3;
inline constexpr int kMaxMatch = 256;
// Literal/length alphabet: 256 literals, then one code per match length.
inline constexpr int kNC = 256 + kMaxMatch - kMinMatch + 1;  // 510
// The literal/length symbol of a match of `length` bytes.
inline constexpr std::uint32_t matchSymbol(std::uint32_t length) { return length - kMinMatch + 256; }
inline constexpr int kCBits = 9;   // bits of the C table's symbol count
inline constexpr int kNT = 19;     // temp table: 3 zero-run codes + lengths 0..16 shifted by 2
inline constexpr int kTBits = 5;   // bits of the temp table's symbol count
inline constexpr int kTSpecial = 3;  // after three temp lengths, 2 bits skip up to 3 zero lengths
inline constexpr int kMaxCodeLen = 16;
inline constexpr int kMaxNP = 17;  // largest position table (-lh7-)

struct Shape {
  int dictBits;  // dictionary = 1 << dictBits bytes
  int np;        // position codes: 0, 1, then one per bit length of (distance - 1)
  int pBits;     // bits of the position table's symbol count
};

constexpr Shape shapeOf(Method m) {
  switch (m) {
    case Method::Lh5: return {13, 14, 4};
    case Method::Lh6: return {15, 16, 5};
    case Method::Lh7: return {16, 17, 5};
    default: break;
  }
  return {0, 0, 0};
}

}  // namespace lzh::detail
