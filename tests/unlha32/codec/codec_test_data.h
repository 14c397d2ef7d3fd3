#pragma once
// Test inputs for the codec tests, made by code from fixed seeds.

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <random>
#include <string>
#include <vector>

#include "unlha32/codec/lzh_codec.h"

namespace codec_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes randomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

// English-like text: words from a small vocabulary with varying punctuation,
// so it has both short and long repeats at all distances.
inline Bytes text(std::size_t n, std::uint32_t seed) {
  static const char* const kWords[] = {"the", "archive", "member", "window", "block", "code", "of",
                                       "length", "distance", "table", "Huffman", "and", "a", "is",
                                       "compressed", "data", "stream", "position", "literal", "to"};
  std::mt19937 rng(seed);
  Bytes b;
  b.reserve(n + 16);
  while (b.size() < n) {
    const std::string w = kWords[rng() % 20];
    b.insert(b.end(), w.begin(), w.end());
    const unsigned r = rng() % 16;
    b.push_back(r == 0 ? '\n' : r == 1 ? ',' : ' ');
  }
  b.resize(n);
  return b;
}

// Structured binary: little-endian records with slowly changing fields,
// some runs of zeros and a sprinkle of noise.
inline Bytes binary(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  b.reserve(n + 64);
  std::uint32_t counter = 0;
  while (b.size() < n) {
    const unsigned kind = rng() % 8;
    if (kind == 0) {
      b.insert(b.end(), rng() % 200, 0);
    } else if (kind == 1) {
      for (int i = 0; i < 16; ++i) b.push_back(static_cast<std::uint8_t>(rng()));
    } else {
      counter += rng() % 5;
      for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(counter >> (8 * k)));
      b.push_back(static_cast<std::uint8_t>(kind * 17));
      b.push_back(0x8B);
      b.push_back(0x45);
      b.push_back(static_cast<std::uint8_t>(rng() % 4));
    }
  }
  b.resize(n);
  return b;
}

// Compresses `data`, handing it to the encoder in pieces of `piece` bytes
// (0: all at once), in `workspace` when given. Throws when packedSize()
// differs from what the sink received.
inline Bytes encode(lzh::Method method, const Bytes& data, std::size_t piece = 0,
                    lzh::EncoderWorkspace* workspace = nullptr) {
  Bytes packed;
  lzh::Encoder enc(
      method, [&](std::span<const std::uint8_t> b) { packed.insert(packed.end(), b.begin(), b.end()); }, workspace);
  std::span<const std::uint8_t> rest(data);
  if (piece == 0) piece = rest.size() + 1;
  while (!rest.empty()) {
    const std::size_t n = std::min(piece, rest.size());
    enc.write(rest.first(n));
    rest = rest.subspan(n);
  }
  enc.finish();
  if (enc.packedSize() != packed.size()) throw std::logic_error("packedSize() differs from the bytes written");
  return packed;
}

// A decoder's source over `packed`, at most `piece` bytes per call; it must
// not outlive `packed`.
inline lzh::ByteSource sourceOf(const Bytes& packed, std::size_t piece = 1 << 20) {
  return [&packed, piece, pos = std::size_t{0}](std::span<std::uint8_t> buf) mutable {
    const std::size_t n = std::min({buf.size(), packed.size() - pos, piece});
    std::copy_n(packed.begin() + static_cast<std::ptrdiff_t>(pos), n, buf.begin());
    pos += n;
    return n;
  };
}

// Decodes with reads of at most `span` bytes; the source hands out at most
// `sourcePiece` bytes per call. In `workspace` when given.
inline Bytes decode(lzh::Method method, const Bytes& packed, std::uint64_t originalSize,
                    std::size_t span = 1 << 16, std::size_t sourcePiece = 1 << 20,
                    lzh::DecoderWorkspace* workspace = nullptr) {
  lzh::Decoder dec(method, sourceOf(packed, sourcePiece), packed.size(), originalSize, workspace);
  Bytes out;
  Bytes buf(span);
  for (;;) {
    const std::size_t n = dec.read(buf);
    if (n == 0) break;
    out.insert(out.end(), buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return out;
}

}  // namespace codec_test
