// Killing the front end, or a compress job with "delete after", at every
// system call it makes: whatever moment the kill comes, the archive is the old
// one byte for byte or a complete new one holding the sources, and no source
// is lost. strace delivers SIGKILL on entry to the chosen call, so the call
// itself never runs; between system calls nothing on disk changes, so a kill
// at every call covers every state a kill can leave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "archive_scenario.h"
#include "fault_support.h"
#include "temp_folder.h"

namespace vedo::fault {
namespace {

// More calls than this are sampled (fixed seed) rather than all tried: enough
// to land in every stage of a run (start, reading the old archive, writing,
// verifying, the rename, the delete pass) several times, within CI's time.
constexpr std::size_t kMaxKills = 150;

std::vector<std::size_t> killPoints(std::size_t calls) {
  std::vector<std::size_t> points(calls);
  for (std::size_t i = 0; i < calls; ++i) points[i] = i;
  if (calls > kMaxKills) {
    std::mt19937 random(20261207);
    std::shuffle(points.begin(), points.end(), random);
    points.resize(kMaxKills);
    std::sort(points.begin(), points.end());
  }
  return points;
}

class KillAtEveryCall : public testing::Test {
 protected:
  void SetUp() override {
    if (!haveProgram("strace")) GTEST_SKIP() << "strace is not installed";
    if (!haveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  }

  struct Totals {
    std::size_t kills = 0, missed = 0, replaced = 0, leftovers = 0;
  };

  // Traces one clean run, then kills a run at each of its calls.
  Totals killEverywhere(ArchiveScenario& scenario, const std::vector<std::string>& argv, bool sourcesMayGo) {
    Totals t;
    const RunOptions options = inFolder(scenario.folder());
    const std::vector<std::string> trace = traceSyscalls(argv, options);
    EXPECT_GT(trace.size(), 50u);
    const ArchiveScenario::Outcome clean = scenario.check(sourcesMayGo, false);
    EXPECT_TRUE(clean.changed && clean.fault.empty()) << clean.fault;

    for (std::size_t point : killPoints(trace.size())) {
      scenario.reset();
      const RunResult r = runInjected(injectionAt(trace, point, "signal=KILL"), argv, options);
      ++t.kills;
      if (!r.killed()) ++t.missed;  // the run took another path and ended before that call
      const ArchiveScenario::Outcome o = scenario.check(sourcesMayGo, true);
      EXPECT_EQ(o.fault, "") << "killed at call " << point << " (" << trace[point] << ")";
      if (o.changed) ++t.replaced;
      t.leftovers += o.leftovers;
      if (HasFailure()) break;
    }
    RecordProperty("calls", static_cast<int>(trace.size()));
    RecordProperty("kills", static_cast<int>(t.kills));
    return t;
  }
};

TEST_F(KillAtEveryCall, FrontEndAddingToAnExistingArchive) {
  test::TempFolder tmp;
  ArchiveScenario scenario(tmp.path(), {"src.txt"});
  const std::vector<std::string> argv = {unlhaProgram().string(), "a", "-n", "old.lzh", "src.txt"};
  const Totals t = killEverywhere(scenario, argv, false);
  std::printf("unlha: %zu kills, %zu missed, %zu after the new archive was in place, %zu temporary files left\n",
              t.kills, t.missed, t.replaced, t.leftovers);
  EXPECT_GE(t.kills, 100u);
  EXPECT_LT(t.missed, t.kills / 4);

  // A killed run leaves at most its own temporary file; a later run neither
  // trips over it nor stores it.
  scenario.reset();
  writeBytes(tmp.path() / ".old.lzh.0123456789abcdef.tmp", "left by a killed run");
  ASSERT_TRUE(run(argv, inFolder(tmp.path())).succeeded());
  const auto members = memberNames(scenario.archive());
  ASSERT_TRUE(members);
  EXPECT_EQ(members->size(), 3u);
  EXPECT_TRUE(independentReaderAccepts(scenario.archive()));
}

TEST_F(KillAtEveryCall, CompressJobThatDeletesItsSources) {
  test::TempFolder tmp;
  ArchiveScenario scenario(tmp.path(), {"src1.txt", "src2.txt", "src3.txt"});
  const std::vector<std::string> argv = {probeProgram("fault_compress_probe").string(), libraryPath().string(),
                                         "src*.txt", "old.lzh"};
  const Totals t = killEverywhere(scenario, argv, true);
  std::printf("compress job: %zu kills, %zu missed, %zu after the new archive was in place, %zu temporary files left\n",
              t.kills, t.missed, t.replaced, t.leftovers);
  EXPECT_GE(t.kills, 100u);
  EXPECT_LT(t.missed, t.kills / 4);
}

}  // namespace
}  // namespace vedo::fault
