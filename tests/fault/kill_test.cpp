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

#include "tests/fault/archive_scenario.h"
#include "tests/fault/fault_support.h"
#include "tests/support/temp_folder.h"

namespace vedo::fault {
namespace {

// More calls than this are sampled (fixed seed) rather than all tried: enough
// to land in every stage of a run (start, reading the old archive, writing,
// verifying, the rename, the delete pass) several times, within CI's time.
constexpr std::size_t kMaxKills = 150;

std::vector<std::size_t> killPoints(std::size_t calls, std::size_t limit) {
  std::vector<std::size_t> points(calls);
  for (std::size_t i = 0; i < calls; ++i) points[i] = i;
  if (calls > limit) {
    std::mt19937 random(20261207);
    std::shuffle(points.begin(), points.end(), random);
    points.resize(limit);
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

  // Traces one clean run, then kills a run at each of its calls (from the
  // first that names `mention`, when given; at most `limit`, sampled).
  Totals killEverywhere(ArchiveScenario& scenario, const std::vector<std::string>& argv, bool sourcesMayGo,
                        RunOptions options = {}, const std::string& mention = {}, std::size_t limit = kMaxKills) {
    Totals t;
    options.cwd = scenario.folder();
    std::size_t first = 0;
    const std::vector<std::string> trace = traceSyscalls(argv, options, mention, mention.empty() ? nullptr : &first);
    EXPECT_GT(trace.size(), 50u);
    EXPECT_NE(first, std::string::npos);
    if (first == std::string::npos) return t;
    const ArchiveScenario::Outcome clean = scenario.check(sourcesMayGo, false);
    EXPECT_TRUE(clean.changed && clean.fault.empty()) << clean.fault;

    for (std::size_t offset : killPoints(trace.size() - first, limit)) {
      const std::size_t point = first + offset;
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

// The tool itself running a batch file from the command line: one entry that
// compresses "src*.txt" into the existing archive, with the stored delete
// mode "delete" and no dialogs, so the whole move runs without a user.
TEST_F(KillAtEveryCall, BatchRunOfTheToolThatMovesSources) {
  const stdfs::path tool = buildBin() / "vedo32";
  if (!stdfs::exists(tool)) GTEST_SKIP() << "vedo32 is not built (VEDO_BUILD_UI off)";
  test::TempFolder tmp;
  stdfs::create_directory(tmp.path() / "work");
  stdfs::create_directory(tmp.path() / "config");
  writeBytes(tmp.path() / "config/VEDO.INI", "[Message]\nVisible=0\nDialogs=0\nMode=1\n[UNLHA]\nDialogs=0\n");
  writeBytes(tmp.path() / "job.vdb", "[VEDO BATFILE]\r\nsrc*.txt;old.lzh\r\n");
  ArchiveScenario scenario(tmp.path() / "work", {"src1.txt", "src2.txt"});
  RunOptions options;
  options.env["XDG_CONFIG_HOME"] = tmp.str("config");
  options.env["QT_QPA_PLATFORM"] = "offscreen";
  const std::vector<std::string> argv = {tool.string(), tmp.str("job.vdb")};
  // The start-up of the windows is not worth killing: from the batch file on.
  const Totals t = killEverywhere(scenario, argv, true, options, "job.vdb", 100);
  std::printf("vedo32 batch: %zu kills, %zu missed, %zu after the new archive was in place, %zu temporary files left\n",
              t.kills, t.missed, t.replaced, t.leftovers);
  EXPECT_GE(t.kills, 100u);
  EXPECT_LT(t.missed, t.kills / 4);
}

}  // namespace
}  // namespace vedo::fault
