#include <gtest/gtest.h>

#include <string_view>

#include "tests/unlha32/codec/codec_test_data.h"
#include "unlha32/codec/lzh_codec.h"

namespace {

std::span<const std::uint8_t> bytesOf(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Bit-at-a-time reference, written from the definition of the polynomial.
std::uint16_t referenceCrc(std::uint16_t crc, std::span<const std::uint8_t> data) {
  unsigned c = crc;
  for (std::uint8_t b : data) {
    c ^= b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
  }
  return static_cast<std::uint16_t>(c);
}

TEST(Crc16, KnownValues) {
  EXPECT_EQ(lzh::crc16(0, bytesOf("123456789")), 0xBB3D);
  EXPECT_EQ(lzh::crc16(0, {}), 0);
  EXPECT_EQ(lzh::crc16(0x1234, {}), 0x1234);
  EXPECT_EQ(lzh::crc16(0, bytesOf("A")), referenceCrc(0, bytesOf("A")));
}

TEST(Crc16, MatchesReferenceForEveryLengthAndSplit) {
  const codec_test::Bytes data = codec_test::randomBytes(300, 7);
  for (std::size_t n = 0; n <= data.size(); n += 1 + n / 16) {
    const std::span<const std::uint8_t> all(data.data(), n);
    const std::uint16_t expected = referenceCrc(0, all);
    ASSERT_EQ(lzh::crc16(0, all), expected) << "length " << n;
    for (std::size_t cut = 0; cut <= n; cut += 3) {
      const std::uint16_t first = lzh::crc16(0, all.first(cut));
      ASSERT_EQ(lzh::crc16(first, all.subspan(cut)), expected) << "length " << n << " cut " << cut;
    }
  }
}

// Long inputs take another path (folding by carry-less multiplication where
// the processor has it): every length around its block sizes, every start
// alignment, starting CRCs with high and low bits set.
TEST(Crc16, LongInputsMatchReference) {
  const codec_test::Bytes data = codec_test::randomBytes(4096 + 64, 11);
  for (std::size_t n : {127, 128, 129, 143, 144, 191, 192, 193, 255, 256, 257, 1000, 4095, 4096}) {
    for (std::size_t offset = 0; offset < 17; ++offset) {
      const std::span<const std::uint8_t> part(data.data() + offset, n);
      for (std::uint16_t start : {0x0000, 0xFFFF, 0x8001, 0x1234}) {
        ASSERT_EQ(lzh::crc16(start, part), referenceCrc(start, part))
            << "length " << n << " offset " << offset << " start " << start;
      }
    }
  }
  const codec_test::Bytes zeros(1000, 0);
  EXPECT_EQ(lzh::crc16(0x4321, zeros), referenceCrc(0x4321, zeros));
}

}  // namespace
