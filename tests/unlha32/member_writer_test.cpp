// One member at a time: the method actually used, the fallback to storing
// when compression does not pay, and verification catching damage.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <random>

#include "tests/support/temp_folder.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/lzh_header.h"
#include "unlha32/archive/member_writer.h"
#include "unlha32/archive/verify_member.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

using vedo::test::TempFolder;

struct Case {
  const char* label;
  std::string bytes;
  lzh::Method asked;
  lzh::Method expected;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.label; }

std::string noise(std::size_t n) {
  std::mt19937 rng(7);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::string prose(std::size_t n) {
  std::string s;
  while (s.size() < n) s += "the archive member is compressed when that pays, and stored otherwise. ";
  return s.substr(0, n);
}

class WriteMember : public ::testing::TestWithParam<Case> {};

TEST_P(WriteMember, IntoTheArchiveFileAndBackThroughVerification) {
  TempFolder dir;
  dir.write("source", GetParam().bytes);
  const int fd = ::open(dir.str("archive").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  OutputFile out(fd, "archive");
  out.write(std::vector<std::uint8_t>(5, 0xAA));  // members never start at offset 0 but the first
  std::uint64_t progress = 0;
  const WrittenMember m = writeMember(out, SourceFile{dir.sjis("source"), "dir/source", {}}, GetParam().asked,
                                      [&](std::uint64_t n) { progress += n; });
  out.flush();
  EXPECT_EQ(m.method, GetParam().expected);
  EXPECT_EQ(m.headerOffset, 5u);
  EXPECT_EQ(m.originalSize, GetParam().bytes.size());
  EXPECT_EQ(progress, GetParam().bytes.size());
  if (m.method == lzh::Method::Lh0) EXPECT_EQ(m.packedSize, m.originalSize);
  else EXPECT_LT(m.packedSize, m.originalSize);
  NewMemberHeader h;
  h.path = "dir/source";
  // Nothing is left of a try that was dropped for storing.
  EXPECT_EQ(out.position(), 5 + buildLevel2Header(h).size() + m.packedSize);
  EXPECT_NO_THROW(verifyMember(fd, out.position(), m));

  if (m.packedSize != 0) {
    // A damaged byte in the packed data is caught before any rename.
    std::uint8_t b = 0;
    const off_t at = static_cast<off_t>(out.position() - 1);
    ASSERT_EQ(::pread(fd, &b, 1, at), 1);
    b ^= 0x55;
    ASSERT_EQ(::pwrite(fd, &b, 1, at), 1);
    try {
      verifyMember(fd, out.position(), m);
      ADD_FAILURE() << "damage not noticed";
    } catch (const CommandError& e) {
      EXPECT_EQ(e.code(), UNLHA_ERROR_VERIFY);
    }
  }
  ::close(fd);
}

const Case cases[] = {
    {"EmptyIsStored", "", lzh::Method::Lh5, lzh::Method::Lh0},
    {"OneByteDoesNotShrink", "x", lzh::Method::Lh7, lzh::Method::Lh0},
    {"ShortNoiseTriedThenStored", noise(3000), lzh::Method::Lh5, lzh::Method::Lh0},
    {"LongNoiseStoredWithoutTrying", noise(300000), lzh::Method::Lh6, lzh::Method::Lh0},
    {"NoiseReadInOneGoStoredWithoutTrying", noise(100000), lzh::Method::Lh5, lzh::Method::Lh0},
    {"ProseLh5", prose(100000), lzh::Method::Lh5, lzh::Method::Lh5},
    {"ProseLh6", prose(100000), lzh::Method::Lh6, lzh::Method::Lh6},
    {"ProseLh7", prose(300000), lzh::Method::Lh7, lzh::Method::Lh7},
    {"StoredWhenAsked", prose(1000), lzh::Method::Lh0, lzh::Method::Lh0},
};

INSTANTIATE_TEST_SUITE_P(Data, WriteMember, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.label); });

// A thread keeps one scratch for all the members it writes, and the check
// afterwards reads them all through one window of the archive: neither may
// carry anything from one member into the next.
TEST(WriteMembers, OneScratchAndOneReaderForMany) {
  TempFolder dir;
  const std::string contents[] = {prose(400000), "short", noise(70000), prose(5000), "", noise(280000), prose(90000)};
  const int fd = ::open(dir.str("archive").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  OutputFile out(fd, "archive");
  MemberScratch scratch;
  std::vector<WrittenMember> written;
  for (std::size_t i = 0; i < std::size(contents); ++i) {
    const std::string name = "f" + std::to_string(i);
    dir.write(name, contents[i]);
    written.push_back(writeMember(out, SourceFile{dir.sjis(name), name, {}}, lzh::Method::Lh5, [](std::uint64_t) {},
                                  &scratch));
    EXPECT_EQ(written.back().originalSize, contents[i].size()) << name;
  }
  out.flush();
  ArchiveReader reader(fd, out.position());
  // Backwards too, so the window is refilled at every member.
  for (const WrittenMember& m : written) EXPECT_NO_THROW(verifyMember(reader, m)) << m.stored;
  for (auto m = written.rbegin(); m != written.rend(); ++m) EXPECT_NO_THROW(verifyMember(reader, *m)) << m->stored;
  // A member checked against another's record fails.
  WrittenMember swapped = written[3];
  swapped.crc = written[6].crc;
  EXPECT_THROW(verifyMember(reader, swapped), CommandError);
  ::close(fd);
}

}  // namespace
}  // namespace unlha
