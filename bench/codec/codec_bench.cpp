// Throughput of the codec core alone (no files, no archive): encoding and
// decoding per method on generated text-like, binary-like and random data,
// plus the cost of many small members and of the incompressibility guess.
//
// The older methods, which we only decode, against lhasa, a peer decoder run
// as a program: jlha (tests/unlha32/codec/JlhaWrite.java) packs 4 MiB of the
// text set into one archive per method, once per run; BM_DecodeOlder decodes
// its member and takes the CRC (what `lhasa t` does), BM_LhasaTest runs
// `lhasa t` on the same archive. Both are timed in CPU time (lhasa's as its
// process's, start-up included), which a busy shared machine disturbs less
// than wall time.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>
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

struct OlderArchive {
  const char* id = nullptr;
  lzh::Method method = lzh::Method::Lh0;
  std::string path;
  Bytes packed;
  std::uint64_t originalSize = 0;
  std::string error;  // why there is no archive
};

OlderArchive& olderArchive(int m) {
  static const std::pair<const char*, lzh::Method> kMethods[] = {{"-lh1-", lzh::Method::Lh1}, {"-lh2-", lzh::Method::Lh2},
                                                                 {"-lh3-", lzh::Method::Lh3}, {"-lzs-", lzh::Method::Lzs},
                                                                 {"-lz5-", lzh::Method::Lz5}};
  static OlderArchive archives[std::size(kMethods)];
  OlderArchive& a = archives[m];
  if (a.id) return a;
  std::tie(a.id, a.method) = kMethods[m];
  namespace fs = std::filesystem;
  // Made once per run, removed at exit.
  static const struct Folder {
    fs::path path = fs::temp_directory_path() / ("codec_bench_" + std::to_string(::getpid()));
    Folder() { fs::create_directories(path); }
    ~Folder() { fs::remove_all(path); }
  } folder;
  const fs::path& dir = folder.path;
  const fs::path input = dir / "text";
  if (!fs::exists(input)) {
    std::ofstream(input, std::ios::binary).write(reinterpret_cast<const char*>(data(0).data()), 4 << 20);
  }
  a.path = (dir / (std::string(a.id + 1, 3) + ".lzh")).string();
  const std::string command = std::string("java -cp /usr/share/java/jlha.jar '") + VEDO_JLHA_WRITER + "' '" + a.path +
                              "' " + a.id + " 0 '" + input.string() + "' >/dev/null 2>&1";
  std::ifstream in;
  if (std::system(command.c_str()) == 0) in.open(a.path, std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), {});
  // One member behind a level-0 header: size byte, checksum, method, packed size, original size...
  if (file.size() < 22 || std::string(file.begin() + 2, file.begin() + 7) != a.id) {
    a.error = std::string("jlha made no ") + a.id + " archive";
    return a;
  }
  const auto le32 = [&](std::size_t at) {
    return file[at] | file[at + 1] << 8 | file[at + 2] << 16 | static_cast<std::uint32_t>(file[at + 3]) << 24;
  };
  const std::size_t start = 2 + file[0];
  a.packed.assign(file.begin() + static_cast<std::ptrdiff_t>(start),
                  file.begin() + static_cast<std::ptrdiff_t>(start + le32(7)));
  a.originalSize = le32(11);
  return a;
}

void BM_DecodeOlder(benchmark::State& state) {
  const OlderArchive& a = olderArchive(static_cast<int>(state.range(0)));
  if (!a.error.empty()) {
    state.SkipWithError(a.error.c_str());
    return;
  }
  for (auto _ : state) {
    std::size_t pos = 0;
    lzh::Decoder dec(
        a.method,
        [&](std::span<std::uint8_t> buf) {
          const std::size_t n = std::min(buf.size(), a.packed.size() - pos);
          std::copy_n(a.packed.begin() + static_cast<std::ptrdiff_t>(pos), n, buf.begin());
          pos += n;
          return n;
        },
        a.packed.size(), a.originalSize);
    std::uint16_t crc = 0;
    for (auto view = dec.readView(); !view.empty(); view = dec.readView()) crc = lzh::crc16(crc, view);
    benchmark::DoNotOptimize(crc);
  }
  state.SetLabel(a.id);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * a.originalSize));
}

void BM_LhasaTest(benchmark::State& state) {
  const OlderArchive& a = olderArchive(static_cast<int>(state.range(0)));
  if (!a.error.empty()) {
    state.SkipWithError(a.error.c_str());
    return;
  }
  // lhasa exits 0 without a word for a method it does not know: its output must say the member passed.
  if (std::system(("lhasa t '" + a.path + "' 2>/dev/null | grep -q Tested").c_str()) != 0) {
    state.SkipWithError((std::string("lhasa does not read ") + a.id).c_str());
    return;
  }
  for (auto _ : state) {
    const pid_t pid = ::fork();
    if (pid < 0) {
      state.SkipWithError("fork failed");
      return;
    }
    if (pid == 0) {
      ::freopen("/dev/null", "w", stdout);
      ::execlp("lhasa", "lhasa", "t", a.path.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("lhasa failed");
    state.SetIterationTime(static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6);
  }
  state.SetLabel(a.id);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * a.originalSize));
}

// Arguments: method (5, 6, 7), data (0 text, 1 binary, 2 random).
BENCHMARK(BM_Encode)->ArgsProduct({{5, 6, 7}, {0, 1, 2}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode)->ArgsProduct({{5, 7}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeSmallMembers)->ArgsProduct({{5, 7}, {1000, 20000}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LooksIncompressible)->Arg(0)->Arg(2);
BENCHMARK(BM_Crc16);
// Argument: older method (0 -lh1-, 1 -lh2-, 2 -lh3-, 3 -lzs-, 4 -lz5-); each beside lhasa.
BENCHMARK(BM_DecodeOlder)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LhasaTest)->DenseRange(0, 4)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
