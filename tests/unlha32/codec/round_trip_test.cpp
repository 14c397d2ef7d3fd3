// Round trips through the encoder and decoder: every method over data sets
// chosen to hit the format's corners (empty, a single symbol, long runs,
// incompressible bytes, repeats at the edge of each dictionary) and the
// encoder's (inputs crossing its buffer slide and the block size).

#include <gtest/gtest.h>

#include <functional>

#include "tests/unlha32/codec/codec_test_data.h"
#include "unlha32/codec/lzh_codec.h"

namespace {

using codec_test::Bytes;
using lzh::Method;

struct DataSet {
  const char* name;
  std::function<Bytes()> make;
};

// A random block repeated at `period` bytes, with one byte changed per copy:
// matches sit exactly at the given distance.
Bytes periodic(std::size_t period, std::size_t total, std::uint32_t seed) {
  Bytes unit = codec_test::randomBytes(period, seed);
  Bytes out;
  while (out.size() < total) {
    out.insert(out.end(), unit.begin(), unit.end());
    unit[out.size() % period] ^= 0x5A;
  }
  out.resize(total);
  return out;
}

const std::vector<DataSet>& dataSets() {
  static const std::vector<DataSet> sets = {
      {"empty", [] { return Bytes{}; }},
      {"one byte", [] { return Bytes{0x41}; }},
      {"two bytes", [] { return Bytes{0x00, 0xFF}; }},
      {"three equal bytes", [] { return Bytes(3, 'z'); }},
      {"short text", [] { return codec_test::text(100, 1); }},
      {"run of one byte, 1 MiB", [] { return Bytes(1 << 20, 0x20); }},
      {"two-byte pattern", [] {
         Bytes b;
         for (int i = 0; i < 100000; ++i) b.push_back(i % 2 ? 'a' : 'b');
         return b;
       }},
      {"all 256 byte values", [] {
         Bytes b;
         for (int i = 0; i < 4096; ++i) b.push_back(static_cast<std::uint8_t>(i * 7));
         return b;
       }},
      {"random 300 KiB", [] { return codec_test::randomBytes(300 << 10, 2); }},
      {"text 1 MiB", [] { return codec_test::text(1 << 20, 3); }},
      {"binary 1 MiB", [] { return codec_test::binary(1 << 20, 4); }},
      {"period 8191", [] { return periodic(8191, 200000, 5); }},
      {"period 8193", [] { return periodic(8193, 200000, 6); }},
      {"period 32767", [] { return periodic(32767, 400000, 7); }},
      {"period 65535", [] { return periodic(65535, 600000, 8); }},
      {"period 65537", [] { return periodic(65537, 600000, 9); }},
      {"mixed 5 MiB", [] {
         Bytes b = codec_test::text(2 << 20, 10);
         const Bytes r = codec_test::randomBytes(1 << 20, 11);
         const Bytes bin = codec_test::binary(2 << 20, 12);
         b.insert(b.end(), r.begin(), r.end());
         b.insert(b.end(), bin.begin(), bin.end());
         return b;
       }},
  };
  return sets;
}

const Method kMethods[] = {Method::Lh0, Method::Lh5, Method::Lh6, Method::Lh7};

const char* nameOf(Method m) {
  switch (m) {
    case Method::Lh0: return "lh0";
    case Method::Lh5: return "lh5";
    case Method::Lh6: return "lh6";
    case Method::Lh7: return "lh7";
    default: break;
  }
  return "?";
}

TEST(RoundTrip, EveryMethodAndDataSet) {
  for (const DataSet& set : dataSets()) {
    const Bytes data = set.make();
    for (Method m : kMethods) {
      SCOPED_TRACE(std::string(nameOf(m)) + " / " + set.name);
      const Bytes packed = codec_test::encode(m, data);
      ASSERT_EQ(codec_test::decode(m, packed, data.size()), data);
      if (m == Method::Lh0) {
        EXPECT_EQ(packed.size(), data.size());
      } else if (data.empty()) {
        EXPECT_TRUE(packed.empty());
      }
    }
  }
}

TEST(RoundTrip, CompressesRedundantData) {
  const Bytes text = codec_test::text(1 << 20, 13);
  const Bytes run(1 << 20, 0);
  for (Method m : {Method::Lh5, Method::Lh6, Method::Lh7}) {
    SCOPED_TRACE(nameOf(m));
    EXPECT_LT(codec_test::encode(m, text).size(), text.size() / 3);
    EXPECT_LT(codec_test::encode(m, run).size(), 2000u);
    // Random data may grow, but only by the block overhead.
    const Bytes random = codec_test::randomBytes(1 << 20, 14);
    EXPECT_LT(codec_test::encode(m, random).size(), random.size() + random.size() / 100);
  }
}

// The stream must not depend on how the input was split into writes, and the
// decoder must give the same bytes whatever the size of its reads and of the
// chunks its source hands out.
TEST(RoundTrip, WriteAndReadSizesDoNotMatter) {
  Bytes data = codec_test::text(700000, 15);
  const Bytes bin = codec_test::binary(300000, 16);
  data.insert(data.end(), bin.begin(), bin.end());
  for (Method m : kMethods) {
    SCOPED_TRACE(nameOf(m));
    const Bytes whole = codec_test::encode(m, data);
    EXPECT_EQ(codec_test::encode(m, data, 1), whole);
    EXPECT_EQ(codec_test::encode(m, data, 4093), whole);
    EXPECT_EQ(codec_test::decode(m, whole, data.size(), 1), data);
    EXPECT_EQ(codec_test::decode(m, whole, data.size(), 7, 3), data);
    EXPECT_EQ(codec_test::decode(m, whole, data.size(), 1 << 22, 1), data);
  }
}

TEST(RoundTrip, LargeInputCrossesManyBlocksAndSlides) {
  Bytes data;
  for (std::uint32_t seed = 0; data.size() < (12u << 20); ++seed) {
    const Bytes part = seed % 3 == 0 ? codec_test::text(1 << 20, seed) : codec_test::binary(1 << 20, seed);
    data.insert(data.end(), part.begin(), part.end());
  }
  for (Method m : {Method::Lh5, Method::Lh7}) {
    SCOPED_TRACE(nameOf(m));
    const Bytes packed = codec_test::encode(m, data, 1 << 16);
    EXPECT_EQ(codec_test::decode(m, packed, data.size(), 100000), data);
  }
}

// A short input is known whole when it is parsed, and the encoder sizes its
// tables to it; sizes around powers of two check that sizing, and sizes
// around the buffer's capacity (dictionary + 256 KiB) the switch to streaming.
TEST(RoundTrip, SizesAroundTableAndBufferLimits) {
  const Bytes source = codec_test::text(340000, 22);
  std::vector<std::size_t> sizes;
  for (std::size_t p : {std::size_t{256}, std::size_t{4096}, std::size_t{8192}, std::size_t{65536}}) {
    for (std::size_t d : {p - 1, p, p + 1}) sizes.push_back(d);
  }
  for (std::size_t capacity : {(8u << 10) + (256u << 10), (64u << 10) + (256u << 10)}) {
    for (std::size_t d : {capacity - 300, capacity - 1, capacity, capacity + 1, capacity + 300}) sizes.push_back(d);
  }
  for (std::size_t n : sizes) {
    const Bytes data(source.begin(), source.begin() + static_cast<std::ptrdiff_t>(n));
    for (Method m : {Method::Lh5, Method::Lh6, Method::Lh7}) {
      SCOPED_TRACE(std::string(nameOf(m)) + " size " + std::to_string(n));
      ASSERT_EQ(codec_test::decode(m, codec_test::encode(m, data, 1000), n), data);
    }
  }
}

// A workspace passes from one encoder to the next with whatever the last one
// left in it: tables sized for a larger input or another method, a buffer
// holding other data, an encoder abandoned by its sink halfway. Every output
// must still decode to its own input.
TEST(RoundTrip, OneWorkspaceServesEncodersInTurn) {
  struct Step {
    Method method;
    std::size_t size;
    std::uint32_t seed;
  };
  const Step steps[] = {{Method::Lh7, 3u << 20, 1}, {Method::Lh5, 300, 2},     {Method::Lh5, 70000, 3},
                        {Method::Lh6, 5000, 4},     {Method::Lh5, 1u << 20, 5}, {Method::Lh7, 1, 6},
                        {Method::Lh5, 9000, 7}};
  lzh::EncoderWorkspace workspace;
  lzh::DecoderWorkspace decoders;  // decoders in turn too, over what the last one left
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(nameOf(s.method)) + " size " + std::to_string(s.size));
    const Bytes data = s.seed % 2 ? codec_test::text(s.size, s.seed) : codec_test::binary(s.size, s.seed);
    ASSERT_EQ(codec_test::decode(s.method, codec_test::encode(s.method, data, 70000, &workspace), s.size, 1 << 16,
                                 1 << 20, &decoders),
              data);
    // An encoder whose sink gives up (as a writer does once the output
    // outgrows the input) still hands the workspace back.
    struct GiveUp {};
    try {
      lzh::Encoder dropped(s.method, [](std::span<const std::uint8_t>) { throw GiveUp{}; }, &workspace);
      dropped.write(codec_test::randomBytes(s.size, s.seed));
      dropped.finish();
      ADD_FAILURE() << "the sink was never called";
    } catch (const GiveUp&) {
    }
  }
}

// readView() hands out the decoder's own buffer: the views, taken in turn,
// must add up to the data across the buffer's slides, and for stored data too.
TEST(RoundTrip, ViewsOfTheDecodersBufferAddUpToTheData) {
  Bytes data = codec_test::text(700000, 31);
  const Bytes noise = codec_test::binary(300000, 32);
  data.insert(data.end(), noise.begin(), noise.end());
  for (Method m : {Method::Lh0, Method::Lh5, Method::Lh7}) {
    SCOPED_TRACE(nameOf(m));
    const Bytes packed = m == Method::Lh0 ? data : codec_test::encode(m, data);
    std::size_t pos = 0;
    lzh::Decoder dec(
        m,
        [&](std::span<std::uint8_t> buf) {
          const std::size_t n = std::min(buf.size(), packed.size() - pos);
          std::copy_n(packed.begin() + static_cast<std::ptrdiff_t>(pos), n, buf.begin());
          pos += n;
          return n;
        },
        packed.size(), data.size());
    Bytes out;
    for (std::span<const std::uint8_t> v; !(v = dec.readView()).empty();) out.insert(out.end(), v.begin(), v.end());
    EXPECT_EQ(out, data);
  }
}

TEST(RoundTrip, EncoderRejectsWriteAfterFinish) {
  lzh::Encoder enc(Method::Lh5, [](std::span<const std::uint8_t>) {});
  enc.finish();
  const std::uint8_t b = 1;
  EXPECT_THROW(enc.write({&b, 1}), std::logic_error);
}

TEST(Incompressible, RecognisesRandomButNotRedundantData) {
  EXPECT_TRUE(lzh::looksIncompressible(codec_test::randomBytes(1 << 16, 17)));
  EXPECT_FALSE(lzh::looksIncompressible(codec_test::text(1 << 16, 18)));
  EXPECT_FALSE(lzh::looksIncompressible(codec_test::binary(1 << 16, 19)));
  // High byte entropy but repeated: a random block twice over.
  Bytes twice = codec_test::randomBytes(1 << 15, 20);
  twice.insert(twice.end(), twice.begin(), twice.end());
  EXPECT_FALSE(lzh::looksIncompressible(twice));
  // Too little to judge.
  EXPECT_FALSE(lzh::looksIncompressible(codec_test::randomBytes(100, 21)));
}

}  // namespace

namespace runs {

// Encodes `data` as runs cut at `cuts` (offsets), each with all the bytes
// before it as history, and joins them; with `workspace`, one for all runs.
Bytes encodeInRuns(Method m, const Bytes& data, const std::vector<std::size_t>& cuts,
                   lzh::EncoderWorkspace* workspace = nullptr) {
  Bytes packed;
  lzh::RunJoiner joiner([&](std::span<const std::uint8_t> b) { packed.insert(packed.end(), b.begin(), b.end()); });
  std::size_t from = 0;
  std::vector<std::size_t> ends = cuts;
  ends.push_back(data.size());
  for (std::size_t to : ends) {
    const std::span<const std::uint8_t> all(data);
    joiner.append(lzh::encodeRun(m, all.first(from), all.subspan(from, to - from), workspace));
    from = to;
  }
  joiner.finish();
  EXPECT_EQ(joiner.packedSize(), packed.size());
  return packed;
}

}  // namespace runs

// Runs made apart and joined bit by bit are one stream: cuts anywhere (runs
// of one or two bytes, runs across the encoder's buffer slide, a run right
// after a match-heavy one), for every method.
TEST(RoundTrip, RunsJoinedBitByBitDecodeAsOneStream) {
  Bytes data = codec_test::text(600000, 31);
  const Bytes bin = codec_test::binary(400000, 32);
  data.insert(data.end(), bin.begin(), bin.end());
  const std::vector<std::size_t> cuts = {1, 2, 4, 5000, 5001, 5003, 70000, 400000, 700001, 999999};
  lzh::EncoderWorkspace workspace;
  for (Method m : {Method::Lh5, Method::Lh6, Method::Lh7}) {
    SCOPED_TRACE(nameOf(m));
    const Bytes packed = runs::encodeInRuns(m, data, cuts, &workspace);
    ASSERT_EQ(codec_test::decode(m, packed, data.size(), 100000), data);
    // Each cut ends a block, no more: the runs cost little against one stream.
    EXPECT_LT(packed.size(), codec_test::encode(m, data).size() * 101 / 100);
  }
}

// A run's matches reach back into its history: a stretch that repeats the
// bytes just before it packs to almost nothing, and still decodes.
TEST(RoundTrip, RunsMatchIntoTheirHistory) {
  const Bytes unit = codec_test::randomBytes(6000, 33);
  Bytes data = unit;
  data.insert(data.end(), unit.begin(), unit.end());
  for (Method m : {Method::Lh5, Method::Lh7}) {
    SCOPED_TRACE(nameOf(m));
    const std::span<const std::uint8_t> all(data);
    const lzh::PackedRun second = lzh::encodeRun(m, all.first(6000), all.subspan(6000));
    EXPECT_LT(second.bytes.size(), 200u);
    EXPECT_EQ(codec_test::decode(m, runs::encodeInRuns(m, data, {6000}), data.size()), data);
  }
}
