// Checking members while the archive is still being written: members handed
// over one by one as the file grows are all checked, a damaged one fails the
// finish, a large member decoded while it is written is judged as a whole
// member would be, and a reader never keeps bytes from beyond what it was
// allowed.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "unlha32/archive/command_error.h"
#include "unlha32/archive/member_checker.h"
#include "unlha32/archive/member_writer.h"
#include "unlha32/archive/parallel_runs.h"
#include "unlha32/archive/verify_member.h"
#include "unlha32/include/unlha32.h"

namespace unlha {
namespace {

using vedo::test::TempFolder;

struct RecordingReport final : ProgressReport {
  void member(std::string_view name) override { names.emplace_back(name); }
  void fraction(double done) override {
    EXPECT_GE(done, last);
    last = done;
  }
  std::vector<std::string> names;
  double last = 0;
};

std::string content(std::size_t i) {
  std::mt19937 rng(static_cast<unsigned>(i));
  std::string s;
  while (s.size() < 20000 + 37000 * (i % 4)) s += "member " + std::to_string(rng() % 97) + " of the archive; ";
  return s;
}

// The finish fails the check, naming `member`.
void expectFailureNaming(MemberChecker& checker, const std::string& member) {
  RecordingReport report;
  try {
    checker.finish(report, 0.9);
    ADD_FAILURE() << "damage not noticed";
  } catch (const CommandError& e) {
    EXPECT_EQ(e.code(), UNLHA_ERROR_VERIFY);
    EXPECT_NE(std::string(e.what()).find(member), std::string::npos) << e.what();
  }
}

class Checker : public ::testing::Test {
 protected:
  void SetUp() override {
    fd = ::open(dir.str("archive").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
  }
  void TearDown() override { ::close(fd); }

  // Writes member `i` and flushes it into the file; returns it with its end.
  std::pair<WrittenMember, std::uint64_t> write(OutputFile& out, std::size_t i) {
    const std::string name = "m" + std::to_string(i);
    dir.write(name, content(i));
    WrittenMember m = writeMember(out, SourceFile{dir.sjis(name), name, {}}, lzh::Method::Lh5, [](std::uint64_t) {});
    out.flush();
    return {m, out.position()};
  }

  TempFolder dir;
  int fd = -1;
  WorkerPool pool{2};
};

TEST_F(Checker, MembersHandedOverWhileTheFileGrowsAreAllChecked) {
  OutputFile out(fd, "archive");
  RecordingReport report;
  {
    MemberChecker checker(fd, pool);
    for (std::size_t i = 0; i < 12; ++i) {
      const auto [m, end] = write(out, i);
      checker.add(m, end);
    }
    EXPECT_NO_THROW(checker.finish(report, 0.9));
  }
  EXPECT_DOUBLE_EQ(report.last, 1.0);
  // The calling thread names the members it checks itself (the checker's
  // thread checks the rest): each at most once.
  std::sort(report.names.begin(), report.names.end());
  EXPECT_EQ(std::adjacent_find(report.names.begin(), report.names.end()), report.names.end());
  for (const std::string& name : report.names) EXPECT_EQ(name[0], 'm') << name;
}

TEST_F(Checker, ADamagedMemberFailsTheFinish) {
  OutputFile out(fd, "archive");
  MemberChecker checker(fd, pool);
  for (std::size_t i = 0; i < 5; ++i) {
    const auto [m, end] = write(out, i);
    if (i == 2) {
      // A flipped byte in the packed data, before the member is handed over.
      std::uint8_t b = 0;
      ASSERT_EQ(::pread(fd, &b, 1, static_cast<off_t>(end - m.packedSize / 2)), 1);
      b ^= 0x10;
      ASSERT_EQ(::pwrite(fd, &b, 1, static_cast<off_t>(end - m.packedSize / 2)), 1);
    }
    checker.add(m, end);
  }
  expectFailureNaming(checker, "m2");
}

// Records what the writer tells about the packed data of a member in runs.
struct RecordingWatch final : PackedDataWatch {
  void started(std::uint64_t header, std::uint64_t data, lzh::Method m, std::uint64_t n) override {
    headerOffset = header;
    dataOffset = data;
    method = m;
    size = n;
  }
  void wrote() override {}
  void dropped() override {}
  std::uint64_t headerOffset = 0, dataOffset = 0, size = 0;
  lzh::Method method = lzh::Method::Lh0;
};

struct StreamCase {
  const char* name;
  bool damage;          // a byte of the packed data flipped before it reaches the file
  bool storedInstead;   // the packed data is dropped halfway; the member is stored there
  std::int64_t sizeOff; // the size the checker is told at the start, against the member's
  bool passes;
};

class StreamedMember : public Checker, public ::testing::WithParamInterface<StreamCase> {};

// The member's bytes (written in runs into memory) reach the file piece by
// piece, as the writer flushes them, and the checker decodes them on the way.
TEST_P(StreamedMember, IsJudgedAsAWholeMember) {
  const StreamCase& c = GetParam();
  std::string text;
  for (std::size_t i = 0; text.size() < 3 * ParallelRuns::kRunSize; ++i) text += content(i);
  dir.write("big", text);
  const SourceFile file{dir.sjis("big"), "big", {}};
  MemoryOutput packed;
  RecordingWatch seen;
  MemberScratch scratch;
  const WrittenMember m = writeMember(packed, file, lzh::Method::Lh5, [](std::uint64_t) {}, &scratch, &pool, &seen);
  ASSERT_EQ(m.method, lzh::Method::Lh5);
  ASSERT_EQ(seen.size, text.size());

  std::vector<std::uint8_t> bytes(packed.bytes().begin(), packed.bytes().end());
  if (c.damage) bytes[bytes.size() / 2] ^= 0x10;
  auto put = [&](std::span<const std::uint8_t> b, std::uint64_t at) {
    ASSERT_EQ(::pwrite(fd, b.data(), b.size(), static_cast<off_t>(at)), static_cast<ssize_t>(b.size()));
  };
  MemberChecker checker(fd, pool);
  checker.startStream(seen.headerOffset, seen.dataOffset, seen.method,
                      static_cast<std::uint64_t>(static_cast<std::int64_t>(seen.size) + c.sizeOff));
  const std::size_t stop = c.storedInstead ? bytes.size() / 2 : bytes.size();
  for (std::size_t at = 0; at < stop; at += 100000) {
    put(std::span(bytes).subspan(at, std::min<std::size_t>(100000, stop - at)), at);
    checker.streamWritten(std::min<std::size_t>(at + 100000, stop));
  }
  WrittenMember member = m;
  std::uint64_t end = bytes.size();
  if (c.storedInstead) {
    checker.dropStream();
    ASSERT_EQ(::ftruncate(fd, 0), 0);
    MemoryOutput stored;
    member = writeMember(stored, file, lzh::Method::Lh0, [](std::uint64_t) {});
    put(stored.bytes(), 0);
    end = stored.position();
  }
  checker.add(member, end);
  if (c.passes) {
    RecordingReport report;
    EXPECT_NO_THROW(checker.finish(report, 0));
  } else {
    expectFailureNaming(checker, "big");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Checker, StreamedMember,
    ::testing::Values(StreamCase{"Intact", false, false, 0, true}, StreamCase{"Damaged", true, false, 0, false},
                      StreamCase{"StoredInstead", false, true, 0, true},
                      StreamCase{"FileChangedSize", false, false, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A command that fails before finish() leaves members queued or in the
// middle of their check: the checker stops without them, and it only ever
// read the file.
TEST_F(Checker, ACheckerLeftUnfinishedStopsAndLeavesTheFileAsItWas) {
  OutputFile out(fd, "archive");
  std::vector<std::pair<WrittenMember, std::uint64_t>> members;
  for (std::size_t i = 0; i < 6; ++i) members.push_back(write(out, i));
  const std::string before = dir.read("archive");
  {
    MemberChecker checker(fd, pool);
    for (const auto& [m, end] : members) checker.add(m, end);
  }
  EXPECT_EQ(dir.read("archive"), before);
  MemberChecker again(fd, pool);
  for (const auto& [m, end] : members) again.add(m, end);
  RecordingReport report;
  EXPECT_NO_THROW(again.finish(report, 0));
}

// The reader of the checker's thread is extended member by member; bytes it
// read while they were beyond its end must not be served later.
TEST_F(Checker, AReaderNeverKeepsBytesFromBeyondItsEnd) {
  const std::string first(100, 'a');
  ASSERT_EQ(::pwrite(fd, first.data(), first.size(), 0), 100);
  const std::string stale(100, 'x');
  ASSERT_EQ(::pwrite(fd, stale.data(), stale.size(), 100), 100);  // not final yet
  ArchiveReader reader(fd, 100);
  std::uint8_t buf[200];
  EXPECT_EQ(reader.read(0, buf, sizeof buf), 100);
  EXPECT_EQ(reader.read(100, buf, 10), 0);

  const std::string final(100, 'b');
  ASSERT_EQ(::pwrite(fd, final.data(), final.size(), 100), 100);
  reader.extendTo(200);
  ASSERT_EQ(reader.read(50, buf, 100), 100);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf), 100), std::string(50, 'a') + std::string(50, 'b'));
}

}  // namespace
}  // namespace unlha
