// The decoder reads packed data straight out of archives that anyone may have
// made; the encoder's output must always decode to what went in.
#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

#include "tests/fuzz/fuzz_targets.h"
#include "unlha32/codec/lzh_codec.h"

namespace vedo::fuzz {
namespace {

constexpr lzh::Method kMethods[] = {lzh::Method::Lh0, lzh::Method::Lh5, lzh::Method::Lh6, lzh::Method::Lh7};
// Also the methods that are only decoded.
constexpr lzh::Method kDecoderMethods[] = {lzh::Method::Lh0, lzh::Method::Lh5, lzh::Method::Lh6,
                                           lzh::Method::Lh7, lzh::Method::Lh1, lzh::Method::Lh2,
                                           lzh::Method::Lh3, lzh::Method::Lzs, lzh::Method::Lz5};

// Hands out `bytes` in pieces of `piece` bytes, so the decoder meets every
// way a stream can be split.
lzh::ByteSource sourceOf(std::span<const std::uint8_t> bytes, std::size_t piece) {
  return [bytes, piece, at = std::size_t{0}](std::span<std::uint8_t> buffer) mutable {
    const std::size_t n = std::min({buffer.size(), bytes.size() - at, piece});
    std::memcpy(buffer.data(), bytes.data() + at, n);
    at += n;
    return n;
  };
}

// Decodes everything; the number of bytes produced.
std::uint64_t drain(lzh::Decoder& decoder, std::size_t chunk, std::vector<std::uint8_t>* keep) {
  std::vector<std::uint8_t> out(chunk);
  std::uint64_t total = 0;
  for (;;) {
    const std::size_t n = decoder.read(out);
    if (n == 0) return total;
    check(n <= out.size(), "read stays inside the caller's buffer");
    total += n;
    if (keep) keep->insert(keep->end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
  }
}

}  // namespace

// Layout: [method] [original size, 3 bytes] [piece] [chunk] packed bytes...
int codecDecoder(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const lzh::Method method = kDecoderMethods[data[0] % std::size(kDecoderMethods)];
  const std::uint64_t original = data[1] | (data[2] << 8) | (data[3] << 16);  // at most 16 MiB
  const std::size_t piece = 1 + data[4] * 37;
  const std::size_t chunk = 1 + data[5] * 257;
  const std::span<const std::uint8_t> packed(data + 6, size - 6);
  try {
    lzh::Decoder decoder(method, sourceOf(packed, piece), packed.size(), original);
    check(drain(decoder, chunk, nullptr) == original, "a clean decode gives exactly the member's size");
  } catch (const lzh::FormatError&) {
    // Damaged data is reported, never decoded past.
  }
  return 0;
}

// Layout: [method] [piece] data... The data goes through one encoder in
// writes of `piece` bytes, and (compressed methods) as runs of `piece` bytes
// or more.
int codecRoundTrip(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const lzh::Method method = kMethods[data[0] % 4];
  const std::size_t piece = 1 + data[1] * 13;
  const std::span<const std::uint8_t> input(data + 2, size - 2);

  std::vector<std::uint8_t> packed;
  lzh::Encoder encoder(method, [&](std::span<const std::uint8_t> b) { packed.insert(packed.end(), b.begin(), b.end()); });
  for (std::size_t at = 0; at < input.size(); at += piece)
    encoder.write(input.subspan(at, std::min(piece, input.size() - at)));
  encoder.finish();
  check(encoder.packedSize() == packed.size(), "packedSize counts what the sink got");

  std::vector<std::uint8_t> back;
  try {
    lzh::Decoder decoder(method, sourceOf(packed, piece), packed.size(), input.size());
    drain(decoder, 1 + piece * 3, &back);
  } catch (const lzh::FormatError&) {
    fail("the decoder refuses what the encoder wrote");
  }
  check(back.size() == input.size() && std::equal(back.begin(), back.end(), input.begin()),
        "decoding gives back the input");

  // The same data as runs (of `piece` bytes, at most 16 of them), each with
  // all before it as history, joined bit by bit: one stream again.
  if (method == lzh::Method::Lh0) return 0;
  const std::size_t run = std::max(piece, input.size() / 16 + 1);
  static lzh::EncoderWorkspace workspace;
  std::vector<std::uint8_t> joined;
  lzh::RunJoiner joiner([&](std::span<const std::uint8_t> b) { joined.insert(joined.end(), b.begin(), b.end()); });
  for (std::size_t at = 0; at < input.size(); at += run)
    joiner.append(
        lzh::encodeRun(method, input.first(at), input.subspan(at, std::min(run, input.size() - at)), &workspace));
  joiner.finish();
  check(joiner.packedSize() == joined.size(), "packedSize counts what the sink got");
  back.clear();
  // Decoded in memory an earlier input's decoder left behind.
  static lzh::DecoderWorkspace decoders;
  try {
    lzh::Decoder decoder(method, sourceOf(joined, piece), joined.size(), input.size(), &decoders);
    drain(decoder, 1 + piece * 3, &back);
  } catch (const lzh::FormatError&) {
    fail("the decoder refuses joined runs");
  }
  check(back.size() == input.size() && std::equal(back.begin(), back.end(), input.begin()),
        "decoding joined runs gives back the input");
  return 0;
}

}  // namespace vedo::fuzz
