// Syncs behind the writing: a step written starts one on the thread, and its
// failure is kept for the writer, who must report it; a file that cannot be
// synced is no failure.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "unlha32/archive/sync_behind.h"

namespace unlha {
namespace {

struct SyncCase {
  const char* name;
  int fd;  // -1: fdatasync fails (EBADF); a pipe's end: it cannot be synced (EINVAL)
  std::uint64_t written;
  int error;  // what finish() reports
};

class SyncBehindCases : public ::testing::TestWithParam<SyncCase> {};

TEST_P(SyncBehindCases, KeepsTheFailureOfASync) {
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const SyncCase& c = GetParam();
  {
    SyncBehind behind(c.fd == 0 ? pipeEnds[1] : c.fd);
    behind.written(c.written);
    EXPECT_EQ(behind.finish(), c.error);
    behind.written(2 * c.written);  // after finish(): nothing more
    EXPECT_EQ(behind.finish(), c.error);
  }
  ::close(pipeEnds[0]);
  ::close(pipeEnds[1]);
}

INSTANTIATE_TEST_SUITE_P(
    SyncBehind, SyncBehindCases,
    ::testing::Values(SyncCase{"AFailedSync", -1, SyncBehind::kStep, EBADF},
                      SyncCase{"LessThanAStepStartsNone", -1, SyncBehind::kStep - 1, 0},
                      SyncCase{"AFileThatCannotBeSynced", 0, SyncBehind::kStep, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace unlha
