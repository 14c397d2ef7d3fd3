// The decoder on damaged input: truncations, mutations and hand-made streams
// that break one rule each. It must raise FormatError or produce exactly the
// member's size, never crash, read out of bounds (run this under ASan) or hang.

#include <gtest/gtest.h>

#include <random>

#include "tests/unlha32/codec/codec_test_data.h"
#include "unlha32/codec/bit_writer.h"
#include "unlha32/codec/lzh_codec.h"

namespace {

using codec_test::Bytes;
using lzh::Method;

const Method kPacked[] = {Method::Lh5, Method::Lh6, Method::Lh7};
// Decoded only (no encoder to make their streams).
const Method kOlder[] = {Method::Lh1, Method::Lh2, Method::Lh3, Method::Lzs, Method::Lz5};

Bytes sample() {
  Bytes b = codec_test::text(6000, 30);
  const Bytes bin = codec_test::binary(3000, 31);
  b.insert(b.end(), bin.begin(), bin.end());
  return b;
}

TEST(HostileInput, EveryTruncationIsAFormatError) {
  const Bytes data = sample();
  for (Method m : {Method::Lh0, Method::Lh5, Method::Lh6, Method::Lh7}) {
    const Bytes packed = codec_test::encode(m, data);
    for (std::size_t n = 0; n < packed.size(); n += 1 + n / 50) {
      const Bytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(n));
      EXPECT_THROW(codec_test::decode(m, cut, data.size()), lzh::FormatError) << "packed bytes kept: " << n;
    }
  }
}

TEST(HostileInput, MutationsNeverCrash) {
  const Bytes data = sample();
  std::mt19937 rng(12345);
  for (Method m : kPacked) {
    const Bytes packed = codec_test::encode(m, data);
    int errors = 0;
    for (int round = 0; round < 1500; ++round) {
      Bytes bad = packed;
      const int edits = 1 + static_cast<int>(rng() % 4);
      for (int e = 0; e < edits; ++e) {
        const std::size_t at = rng() % bad.size();
        switch (rng() % 3) {
          case 0: bad[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8)); break;
          case 1: bad[at] = static_cast<std::uint8_t>(rng()); break;
          default: bad.resize(at + 1); break;
        }
      }
      // Sometimes claim a bigger member than the stream holds.
      const std::uint64_t size = round % 5 == 0 ? data.size() * 3 : data.size();
      try {
        const Bytes out = codec_test::decode(m, bad, size, 1 + rng() % 5000);
        EXPECT_EQ(out.size(), size);
      } catch (const lzh::FormatError&) {
        ++errors;
      }
    }
    EXPECT_GT(errors, 0);
  }
}

TEST(HostileInput, RandomBytesNeverCrash) {
  std::mt19937 rng(999);
  std::vector<Method> methods(std::begin(kPacked), std::end(kPacked));
  methods.insert(methods.end(), std::begin(kOlder), std::end(kOlder));
  for (Method m : methods) {
    for (int round = 0; round < 500; ++round) {
      const Bytes junk = codec_test::randomBytes(1 + rng() % 3000, static_cast<std::uint32_t>(rng()));
      // Now and then a member size no stream can fill.
      const std::uint64_t size = round % 50 == 0 ? UINT64_MAX : 1 + rng() % 100000;
      try {
        const Bytes out = codec_test::decode(m, junk, size);
        EXPECT_EQ(out.size(), size);
      } catch (const lzh::FormatError&) {
      }
    }
  }
}

// Hand-made -lh5- blocks: each breaks one rule of the format.
struct Crafted {
  const char* name;
  std::function<void(lzh::detail::BitWriter&)> write;
  std::uint64_t originalSize;
};

Bytes finishBits(const std::function<void(lzh::detail::BitWriter&)>& write) {
  lzh::detail::BitWriter w;
  w.reserve(256);
  write(w);
  w.flushPartial();
  return Bytes(w.data(), w.data() + w.size());
}

// A block whose tables are all single symbols: every item is `cSym`, every
// position code `pSym`.
void singleTables(lzh::detail::BitWriter& w, std::uint32_t count, std::uint32_t cSym, std::uint32_t pSym) {
  w.put(16, count);
  w.put(5, 0);
  w.put(5, 0);
  w.put(9, 0);
  w.put(9, cSym);
  w.put(4, 0);
  w.put(4, pSym);
}

// A block whose C table holds one code, "0" for 'x' (an incomplete code: "1"
// has no symbol), sent through a temp table of two one-bit codes; then `data`.
void incompleteCTable(lzh::detail::BitWriter& w, std::uint32_t count, std::uint32_t dataBits, std::uint32_t data) {
  w.put(16, count);
  w.put(5, 4);  // temp lengths 0, 0, 1, (no zeros skipped), 1
  w.put(3, 0);
  w.put(3, 0);
  w.put(3, 1);
  w.put(2, 0);
  w.put(3, 1);
  w.put(9, 'x' + 1);
  w.put(1, 0);  // temp symbol 2: a run of 100 + 20 zero lengths
  w.put(9, 100);
  w.put(1, 1);  // temp symbol 3: length 1, for 'x'
  w.put(4, 0);
  w.put(4, 0);
  w.put(dataBits, data);
}

TEST(HostileInput, CraftedStreamsBreakingOneRule) {
  const std::vector<Crafted> cases = {
      {"valid: three literals", [](auto& w) { singleTables(w, 3, 'x', 0); }, 3},
      {"valid: three literals through an incomplete table", [](auto& w) { incompleteCTable(w, 3, 3, 0); }, 3},
      {"a code with no symbol", [](auto& w) { incompleteCTable(w, 3, 3, 1); }, 3},
      {"block count of zero", [](auto& w) { singleTables(w, 0, 'x', 0); }, 3},
      {"distance before the start", [](auto& w) {
         singleTables(w, 1, 'x', 0);
         singleTables(w, 1, 256, 1);  // a 3-byte match at distance 2
       }, 4},
      {"match past the end", [](auto& w) {
         singleTables(w, 1, 'x', 0);
         singleTables(w, 1, 300, 0);
       }, 10},
      {"C symbol out of range", [](auto& w) { singleTables(w, 1, 510, 0); }, 1},
      {"position symbol out of range", [](auto& w) {
         singleTables(w, 1, 'x', 0);
         w.put(16, 1);
         w.put(5, 0);
         w.put(5, 0);
         w.put(9, 0);
         w.put(9, 256);
         w.put(4, 0);
         w.put(4, 14);
       }, 4},
      {"temp table larger than 19", [](auto& w) {
         w.put(16, 1);
         w.put(5, 20);
       }, 1},
      {"over-full temp table", [](auto& w) {
         w.put(16, 1);
         w.put(5, 4);
         for (int i = 0; i < 3; ++i) w.put(3, 1);
         w.put(2, 0);
         w.put(3, 1);
       }, 1},
      {"code length above 16", [](auto& w) {
         w.put(16, 1);
         w.put(5, 1);
         w.put(3, 7);
         w.put(11, 0x7FF);
       }, 1},
      {"zero run past the C table", [](auto& w) {
         w.put(16, 1);
         w.put(5, 0);
         w.put(5, 1);  // temp table: every symbol is "run of 3..18 zeros"
         w.put(9, 2);
         w.put(4, 0);
       }, 1},
  };
  for (const Crafted& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes packed = finishBits(c.write);
    if (std::string(c.name).starts_with("valid")) {
      EXPECT_EQ(codec_test::decode(Method::Lh5, packed, c.originalSize), Bytes(3, 'x')) << c.name;
    } else {
      EXPECT_THROW(codec_test::decode(Method::Lh5, packed, c.originalSize), lzh::FormatError) << c.name;
      // A caller that reads on after the error gets nothing more.
      lzh::Decoder dec(Method::Lh5, codec_test::sourceOf(packed), packed.size(), c.originalSize);
      Bytes out(64);
      EXPECT_THROW(while (dec.read(out) != 0) {}, lzh::FormatError);
      EXPECT_EQ(dec.read(out), 0u);
    }
  }
}

// An incomplete table right after a block with a complete one (the table
// the decoder fills is the one the complete code filled before): its own
// code decodes, the code it lacks is refused.
TEST(HostileInput, AnIncompleteTableAfterACompleteOne) {
  const Bytes text = codec_test::text(5000, 40);
  const lzh::PackedRun first = lzh::encodeRun(Method::Lh5, {}, text);
  for (std::uint32_t data : {0u, 1u}) {
    lzh::detail::BitWriter w;
    w.reserve(256);
    incompleteCTable(w, 3, 3, data);
    const std::uint64_t bits = w.size() * 8 + w.pendingBits();
    w.flushPartial();
    Bytes packed;
    lzh::RunJoiner joiner([&](std::span<const std::uint8_t> b) { packed.insert(packed.end(), b.begin(), b.end()); });
    joiner.append(first);
    joiner.append(lzh::PackedRun{lzh::LargeBytes(w.data(), w.data() + w.size()), bits});
    joiner.finish();
    if (data == 0) {
      Bytes expected = text;
      expected.insert(expected.end(), 3, 'x');
      EXPECT_EQ(codec_test::decode(Method::Lh5, packed, text.size() + 3), expected);
    } else {
      EXPECT_THROW(codec_test::decode(Method::Lh5, packed, text.size() + 3), lzh::FormatError);
    }
  }
}

}  // namespace
