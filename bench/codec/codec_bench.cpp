// Throughput of the codec core alone (no files, no archive): encoding and
// decoding per method on generated text-like, binary-like and random data,
// plus the cost of many small members and of the incompressibility guess.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "unlha32/codec/lzh_codec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Words drawn with a skewed distribution, so repeats come at all distances.
Bytes makeText(std::size_t n) {
  static const char* const kWords[] = {"int", "const", "return", "std::", "template", "typename", "void",
                                       "struct", "namespace", "if", "else", "for", "(", ")", "{", "}",
                                       ";", "size_t", "value", "static", "inline", "#include", "<vector>"};
  std::mt19937 rng(1);
  std::geometric_distribution<int> pick(0.15);
  Bytes b;
  while (b.size() < n) {
    const std::string w = kWords[pick(rng) % 23];
    b.insert(b.end(), w.begin(), w.end());
    b.push_back(rng() % 7 == 0 ? '\n' : ' ');
  }
  b.resize(n);
  return b;
}

// Instruction-like records with small varying fields.
Bytes makeBinary(std::size_t n) {
  std::mt19937 rng(2);
  Bytes b;
  std::uint32_t addr = 0x400000;
  while (b.size() < n) {
    addr += 4 + rng() % 64;
    const std::uint8_t ops[] = {0x48, 0x8B, 0x45, 0xE8, 0x89, 0xC7, 0xE8};
    b.insert(b.end(), ops, ops + 2 + rng() % 5);
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(addr >> (8 * k)));
  }
  b.resize(n);
  return b;
}

Bytes makeRandom(std::size_t n) {
  std::mt19937 rng(3);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

const Bytes& data(int kind) {
  static const Bytes sets[] = {makeText(8 << 20), makeBinary(8 << 20), makeRandom(8 << 20)};
  return sets[kind];
}

lzh::Method method(int m) {
  return m == 5 ? lzh::Method::Lh5 : m == 6 ? lzh::Method::Lh6 : lzh::Method::Lh7;
}

Bytes encode(lzh::Method m, std::span<const std::uint8_t> in) {
  Bytes out;
  lzh::Encoder enc(m, [&](std::span<const std::uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); });
  enc.write(in);
  enc.finish();
  return out;
}

void BM_Encode(benchmark::State& state) {
  const Bytes& in = data(static_cast<int>(state.range(1)));
  const lzh::Method m = method(static_cast<int>(state.range(0)));
  std::size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    lzh::Encoder enc(m, [&](std::span<const std::uint8_t> b) { packed += b.size(); });
    enc.write(in);
    enc.finish();
    benchmark::DoNotOptimize(packed);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
  state.counters["ratio%"] = 100.0 * static_cast<double>(packed) / static_cast<double>(in.size());
}

void BM_Decode(benchmark::State& state) {
  const Bytes& in = data(static_cast<int>(state.range(1)));
  const lzh::Method m = method(static_cast<int>(state.range(0)));
  const Bytes packed = encode(m, in);
  Bytes out(1 << 16);
  for (auto _ : state) {
    std::size_t pos = 0;
    lzh::Decoder dec(
        m,
        [&](std::span<std::uint8_t> buf) {
          const std::size_t n = std::min(buf.size(), packed.size() - pos);
          std::copy_n(packed.begin() + static_cast<std::ptrdiff_t>(pos), n, buf.begin());
          pos += n;
          return n;
        },
        packed.size(), in.size());
    while (dec.read(out) != 0) {
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

// Many short members: the fixed cost per member (tables, buffers).
void BM_EncodeSmallMembers(benchmark::State& state) {
  const Bytes& text = data(0);
  const std::size_t size = static_cast<std::size_t>(state.range(1));
  const lzh::Method m = method(static_cast<int>(state.range(0)));
  std::size_t offset = 0;
  for (auto _ : state) {
    offset = (offset + 4099) % (text.size() - size);
    std::size_t packed = 0;
    lzh::Encoder enc(m, [&](std::span<const std::uint8_t> b) { packed += b.size(); });
    enc.write(std::span(text).subspan(offset, size));
    enc.finish();
    benchmark::DoNotOptimize(packed);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_LooksIncompressible(benchmark::State& state) {
  const Bytes& in = data(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(lzh::looksIncompressible(std::span(in).first(1 << 16)));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (1 << 16)));
}

void BM_Crc16(benchmark::State& state) {
  const Bytes& in = data(2);
  for (auto _ : state) benchmark::DoNotOptimize(lzh::crc16(0, in));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

// Arguments: method (5, 6, 7), data (0 text, 1 binary, 2 random).
BENCHMARK(BM_Encode)->ArgsProduct({{5, 6, 7}, {0, 1, 2}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->ArgsProduct({{5, 7}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSmallMembers)->ArgsProduct({{5, 7}, {1000, 20000}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LooksIncompressible)->Arg(0)->Arg(2);
BENCHMARK(BM_Crc16);

}  // namespace

BENCHMARK_MAIN();
