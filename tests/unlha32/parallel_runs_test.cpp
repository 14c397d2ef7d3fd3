// A large member compressed in runs on several threads: the joined runs decode
// to the member whatever the thread count (none at all: the calling thread
// does the work), a sink that gives up stops it cleanly, and the writer's
// member made this way passes its check.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/unlha32/codec/codec_test_data.h"
#include "unlha32/archive/member_writer.h"
#include "unlha32/archive/output_file.h"
#include "unlha32/archive/parallel_runs.h"
#include "unlha32/archive/verify_member.h"
#include "unlha32/codec/lzh_codec.h"

namespace unlha {
namespace {

using codec_test::Bytes;

// Text with repeats near and far, then bytes of a binary-like spread: several
// runs' worth, not a multiple of the run size.
Bytes mixed(std::size_t size) {
  std::mt19937 rng(41);
  Bytes b;
  while (b.size() < size) {
    if (b.size() % (300 << 10) < (200 << 10)) {
      const std::string line = "line " + std::to_string(rng() % 5000) + " of the member, repeated now and then\n";
      b.insert(b.end(), line.begin(), line.end());
    } else {
      for (int i = 0; i < 64; ++i) b.push_back(static_cast<std::uint8_t>(rng() % 7 == 0 ? rng() : i));
    }
  }
  b.resize(size);
  return b;
}

TEST(ParallelRuns, JoinedRunsDecodeToTheMemberForAnyThreadCount) {
  const Bytes data = mixed(3 * ParallelRuns::kRunSize + 12345);
  for (lzh::Method m : {lzh::Method::Lh5, lzh::Method::Lh7}) {
    for (unsigned threads : {0u, 1u, 2u, 4u}) {
      SCOPED_TRACE("threads " + std::to_string(threads));
      Bytes packed;
      WorkerPool pool(threads);
      ParallelRuns runs(m, pool, [&](std::span<const std::uint8_t> b) { packed.insert(packed.end(), b.begin(), b.end()); });
      for (std::size_t at = 0; at < data.size(); at += 99991)
        runs.write(std::span(data).subspan(at, std::min<std::size_t>(99991, data.size() - at)));
      runs.finish();
      EXPECT_EQ(runs.packedSize(), packed.size());
      ASSERT_EQ(codec_test::decode(m, packed, data.size()), data);
    }
  }
}

TEST(ParallelRuns, ASinkThatGivesUpStopsTheWork) {
  struct GiveUp {};
  const Bytes data = mixed(6 * ParallelRuns::kRunSize);
  std::size_t taken = 0;
  bool gaveUp = false;
  WorkerPool pool(2);
  // The memory the abandoned runs leave behind serves the next member whole.
  ParallelRuns::Memory memory;
  try {
    ParallelRuns runs(lzh::Method::Lh5, pool, [&](std::span<const std::uint8_t> b) {
      taken += b.size();
      if (taken > 1000) throw GiveUp{};
    }, &memory);
    runs.write(data);
    runs.finish();
  } catch (const GiveUp&) {
    gaveUp = true;
  }
  EXPECT_TRUE(gaveUp);
  Bytes packed;
  ParallelRuns next(lzh::Method::Lh5, pool, [&](std::span<const std::uint8_t> b) { packed.insert(packed.end(), b.begin(), b.end()); },
                    &memory);
  next.write(data);
  next.finish();
  ASSERT_EQ(codec_test::decode(lzh::Method::Lh5, packed, data.size()), data);
}

// A run that fails on a worker (here: a method that has no runs) fails the
// member on the calling thread.
TEST(ParallelRuns, AFailedRunReachesTheCaller) {
  const Bytes data = mixed(2 * ParallelRuns::kRunSize);
  for (unsigned threads : {0u, 2u}) {
    WorkerPool pool(threads);
    ParallelRuns runs(lzh::Method::Lh0, pool, [](std::span<const std::uint8_t>) {});
    EXPECT_THROW(
        {
          runs.write(data);
          runs.finish();
        },
        std::logic_error)
        << "threads " << threads;
  }
}

// The writer compresses a file larger than its read buffer in runs; the
// member passes the same check as one written by a single encoder, at about
// the same size.
TEST(ParallelRuns, AMemberWrittenInRunsPassesItsCheck) {
  vedo::test::TempFolder dir;
  const Bytes data = mixed(2 * ParallelRuns::kRunSize + 777);
  dir.write("big", std::string(data.begin(), data.end()));
  std::uint64_t sizes[2] = {};
  for (unsigned threads : {1u, 2u}) {
    const std::string archive = dir.str("archive" + std::to_string(threads));
    const int fd = ::open(archive.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    OutputFile out(fd, archive);
    WorkerPool pool(threads);
    const WrittenMember m = writeMember(out, SourceFile{dir.sjis("big"), "big", {}}, lzh::Method::Lh6,
                                        [](std::uint64_t) {}, nullptr, &pool);
    out.flush();
    EXPECT_EQ(m.method, lzh::Method::Lh6);
    EXPECT_EQ(m.originalSize, data.size());
    EXPECT_NO_THROW(verifyMember(fd, out.position(), m));
    sizes[threads - 1] = m.packedSize;
    ::close(fd);
  }
  EXPECT_LT(sizes[1], sizes[0] + sizes[0] / 100);
}

}  // namespace
}  // namespace unlha
