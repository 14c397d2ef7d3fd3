// Failed system calls and a full disk, for the front end and for a compress
// job that deletes its sources. Each call of a clean run that touches files
// fails once, in its own run (strace -e inject): the run reports the failure
// (nonzero) and leaves the old archive byte for byte, no temporary file and
// every source; or it succeeds with a complete archive. A success that left
// the old archive, or a crash, is a fault.
#include <sys/mount.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "tests/fault/archive_scenario.h"
#include "tests/fault/fault_support.h"
#include "tests/support/temp_folder.h"

namespace vedo::fault {
namespace {

// The error each call fails with: what a full disk, a failing disk or a
// refused permission gives.
const std::map<std::string, std::string> kFailures = {
    {"openat", "EACCES"},   {"read", "EIO"},        {"pread64", "EIO"},     {"write", "ENOSPC"},
    {"pwrite64", "ENOSPC"}, {"ftruncate", "ENOSPC"}, {"fallocate", "ENOSPC"}, {"fsync", "EIO"},
    {"fdatasync", "EIO"},   {"close", "EIO"},       {"rename", "EACCES"},   {"renameat2", "EACCES"},
    {"newfstatat", "EIO"},  {"getdents64", "EIO"},  {"fchmod", "EPERM"},    {"unlink", "EBUSY"},
    {"getrandom", "EIO"},   {"mkdir", "ENOSPC"},
};

constexpr std::size_t kPerCall = 12;

class InjectedFailure : public testing::Test {
 protected:
  void SetUp() override {
    if (!haveProgram("strace")) GTEST_SKIP() << "strace is not installed";
    if (!haveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  }

  // Fails, one run at a time, every call of the clean run from the first one
  // that names `mention` (before it the program is only being loaded).
  std::size_t failEveryCall(ArchiveScenario& scenario, const std::vector<std::string>& argv, bool sourcesMayGo,
                            const std::string& mention) {
    const RunOptions options = inFolder(scenario.folder());
    std::size_t first = 0;
    const std::vector<std::string> trace = traceSyscalls(argv, options, mention, &first);
    EXPECT_NE(first, std::string::npos);
    if (first == std::string::npos) return 0;
    // Calls made many times (opening, reading, closing) are sampled evenly,
    // at most kPerCall of each; rare ones (fsync, rename) are all failed.
    std::map<std::string, std::size_t> total;
    for (std::size_t i = first; i < trace.size(); ++i) ++total[trace[i]];
    std::map<std::string, std::size_t> seen;
    std::map<std::string, int> perCall;
    std::size_t injected = 0;
    for (std::size_t i = first; i < trace.size(); ++i) {
      const auto failure = kFailures.find(trace[i]);
      if (failure == kFailures.end() || sanitizerOwnsCall(trace[i])) continue;
      const std::size_t nth = seen[trace[i]]++;
      const std::size_t stride = (total[trace[i]] + kPerCall - 1) / kPerCall;
      if (nth % stride != 0) continue;
      scenario.reset();
      const RunResult r = runInjected(injectionAt(trace, i, "error=" + failure->second), argv, options);
      ++injected;
      ++perCall[trace[i]];
      const std::string where = "call " + std::to_string(i) + " (" + trace[i] + " " + failure->second + ")";
      EXPECT_TRUE(r.exited) << where << ": ended by signal " << r.signal;
      const ArchiveScenario::Outcome o = scenario.check(sourcesMayGo, false);
      EXPECT_EQ(o.fault, "") << where << ", exit " << r.code;
      if (!sourcesMayGo) {
        if (r.code == 0) {
          EXPECT_TRUE(o.changed) << where << ": success without a new archive";
        } else {
          EXPECT_FALSE(o.changed) << where << ": failure reported, archive replaced";
        }
      }
      if (HasFailure()) break;
    }
    std::string summary;
    for (const auto& [call, n] : perCall) summary += " " + call + "=" + std::to_string(n);
    std::printf("%zu failures injected:%s\n", injected, summary.c_str());
    return injected;
  }
};

TEST_F(InjectedFailure, FrontEndAddingToAnExistingArchive) {
  test::TempFolder tmp;
  ArchiveScenario scenario(tmp.path(), {"src.txt"});
  EXPECT_GE(failEveryCall(scenario, {unlhaProgram().string(), "a", "-n", "old.lzh", "src.txt"}, false, "old.lzh"),
            30u);
}

TEST_F(InjectedFailure, CompressJobThatDeletesItsSources) {
  test::TempFolder tmp;
  ArchiveScenario scenario(tmp.path(), {"src1.txt", "src2.txt"});
  EXPECT_GE(failEveryCall(scenario,
                          {probeProgram("fault_compress_probe").string(), libraryPath().string(), "src*.txt", "old.lzh"},
                          true, "src"),
            30u);
}

// The library compresses and verifies on worker threads: fail the first few
// calls of each kind in every thread (strace -f counts per thread).
TEST_F(InjectedFailure, CallsOfTheLibrarysWorkerThreads) {
  test::TempFolder tmp;
  ArchiveScenario scenario(tmp.path(), {"src1.txt", "src2.txt", "src3.txt"});
  const std::vector<std::string> argv = {unlhaProgram().string(), "a", "-n", "old.lzh", "src*.txt"};
  std::size_t injected = 0, refused = 0, knownAborts = 0;
  for (const char* call : {"openat", "read", "pread64", "pwrite64", "write", "fsync", "close", "clone3"}) {
    if (sanitizerOwnsCall(call)) continue;
    for (int when : {1, 2, 3, 5, 8, 13, 21}) {
      scenario.reset();
      const std::string error = kFailures.count(call) ? kFailures.at(call) : "ENOMEM";
      const RunResult r = runInjected(std::string(call) + ":error=" + (std::string(call) == "clone3" ? "EAGAIN" : error) +
                                          ":when=" + std::to_string(when),
                                      argv, inFolder(scenario.folder()), true);
      ++injected;
      const std::string where = std::string(call) + " #" + std::to_string(when) + " in each thread";
      // Known fault R4 (briefs/findings.md): a refused thread aborts the
      // library (std::thread left joinable). Counted, reported as a skip.
      if (std::string(call) == "clone3" && r.signal == 6) {
        ++knownAborts;
        continue;
      }
      EXPECT_TRUE(r.exited) << where << ": ended by signal " << r.signal;
      const ArchiveScenario::Outcome o = scenario.check(false, false);
      EXPECT_EQ(o.fault, "") << where << ", exit " << r.code;
      EXPECT_EQ(o.changed, r.code == 0) << where << ", exit " << r.code;
      if (r.code != 0) ++refused;
      if (HasFailure()) return;
    }
  }
  std::printf("%zu failures injected in every thread, %zu runs refused\n", injected, refused);
  if (knownAborts > 0)
    GTEST_SKIP() << "known fault R4: a thread the system refuses aborts the library (" << knownAborts
                 << " runs); every other run holds";
}

// The archive's folder on a small tmpfs, filled to several levels, so the
// disk runs full at different points of the write; the sources lie elsewhere.
class FullDisk : public testing::Test {
 protected:
  void SetUp() override {
    if (!haveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
    stdfs::create_directory(mount_);
    if (::mount("tmpfs", mount_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=512k") != 0)
      GTEST_SKIP() << "cannot mount a tmpfs here (needs root and a mount namespace that allows it)";
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(mount_.c_str(), MNT_DETACH);
  }

  // Fills the tmpfs up to `free` bytes of room (in 4 KiB pages).
  void leaveRoom(std::size_t free) {
    const stdfs::space_info space = stdfs::space(mount_);
    if (space.available > free) writeBytes(mount_ / "filler", std::string(space.available - free, 'f'));
  }

  test::TempFolder tmp_;
  stdfs::path mount_ = tmp_.path() / "disk";
  bool mounted_ = false;
};

TEST_F(FullDisk, NeitherFrontEndNorCompressJobLosesAnything) {
  stdfs::create_directory(tmp_.path() / "src");
  ArchiveScenario scenario(tmp_.path() / "src", {"src1.txt", "src2.txt"}, mount_);
  const std::string archive = scenario.archive().string();
  const std::vector<std::string> frontEnd = {unlhaProgram().string(), "a", "-n", archive, "src*.txt"};
  const std::vector<std::string> job = {probeProgram("fault_compress_probe").string(), libraryPath().string(),
                                        "src*.txt", archive};

  // With room enough the job succeeds: the failures below are the disk's.
  ASSERT_TRUE(run(frontEnd, inFolder(scenario.folder())).succeeded());
  const std::uintmax_t needed = stdfs::file_size(scenario.archive());
  ASSERT_TRUE(scenario.check(false, false).changed);

  // The temporary file needs the whole new archive beside the old one; give
  // it from nothing up to one page short of that.
  int refused = 0;
  for (std::uintmax_t room = 0; room + 4096 < needed; room += needed / 6) {
    for (bool engine : {false, true}) {
      scenario.reset();
      leaveRoom(room);
      const RunResult r = run(engine ? job : frontEnd, inFolder(scenario.folder()));
      stdfs::remove(mount_ / "filler");
      const std::string where = (engine ? "compress job" : "unlha") + std::string(", room ") + std::to_string(room);
      ASSERT_TRUE(r.exited) << where;
      EXPECT_NE(r.code, 0) << where << ": the new archive cannot fit";
      const ArchiveScenario::Outcome o = scenario.check(engine, false);
      EXPECT_EQ(o.fault, "") << where;
      EXPECT_FALSE(o.changed) << where;
      if (r.code != 0) ++refused;
    }
  }
  EXPECT_GE(refused, 10);
  std::printf("full disk: %d runs refused, new archive %ju bytes\n", refused, needed);
}

}  // namespace
}  // namespace vedo::fault
