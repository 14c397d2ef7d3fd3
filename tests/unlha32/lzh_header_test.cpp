// Member headers: what the writer builds reads back through the strict
// parser, and damaged or hand-made old-style headers are handled safely.

#include <gtest/gtest.h>

#include "tests/unlha32/unlha_test_support.h"

#include "tests/support/temp_folder.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/codec/lzh_codec.h"

namespace unlha {
namespace {

using vedo::test::sj;
using Bytes = std::vector<std::uint8_t>;

std::size_t readBytes(void* ctx, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  const Bytes& b = *static_cast<const Bytes*>(ctx);
  if (offset >= b.size()) return 0;
  const std::size_t n = std::min<std::size_t>(size, b.size() - offset);
  std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(offset), n, out);
  return n;
}

std::vector<MemberInfo> parse(Bytes archive) { return parseArchive(readBytes, &archive, archive.size()); }

// A member: header followed by `data` stored as it is.
Bytes member(const std::string& path, const std::string& data) {
  NewMemberHeader h;
  h.path = path;
  h.packedSize = h.originalSize = static_cast<std::uint32_t>(data.size());
  h.mtime = 1234567890;
  h.unixMode = 0100644;
  h.crc = lzh::crc16(0, std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
  Bytes b = buildLevel2Header(h);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

TEST(Level2Header, ReadsBackWithPathsSizesAndCrc) {
  Bytes archive = member("top.txt", "hello");
  const Bytes second = member(sj("表/ソ/ボ.txt"), "");
  archive.insert(archive.end(), second.begin(), second.end());
  archive.push_back(0);
  const std::vector<MemberInfo> m = parse(archive);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].path, "top.txt");
  EXPECT_EQ(m[0].level, 2);
  EXPECT_EQ(m[0].method, "-lh0-");
  EXPECT_EQ(m[0].originalSize, 5u);
  EXPECT_EQ(m[0].mtime, 1234567890u);
  EXPECT_EQ(m[1].path, sj("表/ソ/ボ.txt"));
  EXPECT_EQ(m[1].headerOffset, m[0].endOffset());
}

TEST(Level2Header, SizeNeverHasALowByteOfZero) {
  for (std::size_t len = 1; len < 700; ++len) {
    NewMemberHeader h;
    h.path = std::string(len / 2 + 1, 'd') + "/" + std::string(len - len / 2, 'n');
    const Bytes b = buildLevel2Header(h);
    ASSERT_NE(b.size() & 0xFF, 0u) << len;
    ASSERT_EQ(b[0] | (b[1] << 8), static_cast<int>(b.size()));
    Bytes archive = b;
    archive.push_back(0);
    ASSERT_EQ(parse(archive).at(0).path, h.path);
  }
}

TEST(Level2Header, DamageIsRefused) {
  Bytes good = member("file.txt", "data");
  good.push_back(0);
  // Every single flipped bit of the header is caught (CRC) or bounds-checked.
  const std::size_t headerSize = good[0] | (good[1] << 8);
  for (std::size_t i = 0; i < headerSize; ++i) {
    Bytes bad = good;
    bad[i] ^= 0x10;
    try {
      const std::vector<MemberInfo> m = parse(bad);
      // A flip in a field outside the header CRC's reach cannot be detected,
      // but it must not lead outside the archive.
      for (const MemberInfo& x : m) EXPECT_LE(x.endOffset(), bad.size()) << i;
    } catch (const ArchiveError&) {
    }
  }
  for (std::size_t cut = 1; cut < good.size() - 1; ++cut) {
    Bytes shortened(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_THROW(parse(shortened), ArchiveError) << cut;
  }
}

// Old-style headers, made by hand as described by the format.
Bytes oldHeader(int level, const std::string& name, const std::string& data) {
  Bytes h(22, 0);
  h[2] = '-'; h[3] = 'l'; h[4] = 'h'; h[5] = '0'; h[6] = '-';
  const std::uint32_t packed = static_cast<std::uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) h[7 + i] = static_cast<std::uint8_t>(packed >> (8 * i));
  for (int i = 0; i < 4; ++i) h[11 + i] = static_cast<std::uint8_t>(data.size() >> (8 * i));
  h[19] = 0x20;
  h[20] = static_cast<std::uint8_t>(level);
  h[21] = static_cast<std::uint8_t>(name.size());
  h.insert(h.end(), name.begin(), name.end());
  const std::uint16_t crc = lzh::crc16(0, std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
  h.push_back(static_cast<std::uint8_t>(crc));
  h.push_back(static_cast<std::uint8_t>(crc >> 8));
  if (level == 1) {
    h.push_back('U');
    h.push_back(0);  // no extension header
    h.push_back(0);
  }
  unlha::test::sealOldHeader(h);
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

TEST(OldHeaders, Level0And1AreReadWithBackslashFolders) {
  Bytes archive = oldHeader(0, sj("dir\\表.txt"), "zero");
  const Bytes one = oldHeader(1, "one.txt", "level one");
  archive.insert(archive.end(), one.begin(), one.end());
  archive.push_back(0);
  const std::vector<MemberInfo> m = parse(archive);
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].path, sj("dir/表.txt"));  // the 0x5C inside 表 is no separator
  EXPECT_EQ(m[0].packedSize, 4u);
  EXPECT_EQ(m[1].path, "one.txt");
  EXPECT_EQ(m[1].level, 1);
  EXPECT_EQ(m[1].packedSize, 9u);

  Bytes badSum = archive;
  badSum[1] ^= 1;
  EXPECT_THROW(parse(badSum), ArchiveError);
  Bytes level3 = archive;
  level3[20] = 3;
  EXPECT_THROW(parse(level3), ArchiveError);
}

TEST(Archives, EmptyFileAndTrailingEndMarkRules) {
  EXPECT_THROW(parse({}), ArchiveError);
  EXPECT_TRUE(parse({0}).empty());
  Bytes noEndMark = member("a", "b");
  EXPECT_EQ(parse(noEndMark).size(), 1u);
}

}  // namespace
}  // namespace unlha
