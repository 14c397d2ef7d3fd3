// The settings file under a killed or failing save: after a kill at any system
// call of the save the file is the old version or the new one, byte for byte;
// after any failed call the save is refused and the old file stays, or the
// save succeeds completely.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/fault/fault_support.h"
#include "tests/support/temp_folder.h"

namespace vedo::fault {
namespace {

class SettingsSave : public testing::Test {
 protected:
  void SetUp() override {
    if (!haveProgram("strace")) GTEST_SKIP() << "strace is not installed";
    options_.env["XDG_CONFIG_HOME"] = config_.string();
    options_.cwd = tmp_.path();
  }
  RunResult save(int mode) { return run({probeProgram("fault_settings_probe").string(), std::to_string(mode)}, options_); }
  std::vector<std::string> saveArgv(int mode) const {
    return {probeProgram("fault_settings_probe").string(), std::to_string(mode)};
  }
  // Puts `bytes` back as the file (none when empty) and removes anything else.
  void reset(const std::string& bytes) {
    stdfs::remove_all(config_);
    stdfs::create_directory(config_);
    if (!bytes.empty()) writeBytes(ini(), bytes);
  }
  stdfs::path ini() const { return config_ / "VEDO.INI"; }
  std::size_t strays() const {
    std::size_t n = 0;
    for (const std::string& name : folderEntries(config_))
      if (name != "VEDO.INI") ++n;
    return n;
  }

  test::TempFolder tmp_;
  stdfs::path config_ = tmp_.path() / "config";
  RunOptions options_;
};

TEST_F(SettingsSave, KilledAtEveryCallLeavesTheOldOrTheNewFile) {
  stdfs::create_directory(config_);
  ASSERT_TRUE(save(1).succeeded());
  const std::string v1 = readBytes(ini());
  ASSERT_TRUE(save(2).succeeded());
  const std::string v2 = readBytes(ini());
  ASSERT_NE(v1, v2);
  reset("");
  ASSERT_TRUE(save(2).succeeded());
  const std::string first = readBytes(ini());  // the first save ever, from no file

  std::size_t kills = 0, leftovers = 0;
  for (const bool firstSave : {false, true}) {
    reset(firstSave ? "" : v1);
    const std::vector<std::string> trace = traceSyscalls(saveArgv(2), options_);
    ASSERT_GT(trace.size(), 20u);
    for (std::size_t i = 0; i < trace.size(); ++i) {
      reset(firstSave ? "" : v1);
      runInjected(injectionAt(trace, i, "signal=KILL"), saveArgv(2), options_);
      ++kills;
      leftovers += strays();
      if (firstSave) {
        EXPECT_TRUE(!stdfs::exists(ini()) || readBytes(ini()) == first) << "first save killed at call " << i;
      } else {
        const std::string now = readBytes(ini());
        EXPECT_TRUE(now == v1 || now == v2) << "killed at call " << i << " (" << trace[i] << ")";
      }
      if (HasFailure()) return;
    }
  }
  std::printf("settings save: %zu kills, %zu temporary files left by them\n", kills, leftovers);
  EXPECT_GE(kills, 100u);
}

TEST_F(SettingsSave, AFailedCallRefusesTheSaveAndKeepsTheOldFile) {
  stdfs::create_directory(config_);
  ASSERT_TRUE(save(1).succeeded());
  const std::string v1 = readBytes(ini());
  ASSERT_TRUE(save(2).succeeded());
  const std::string v2 = readBytes(ini());
  reset(v1);
  std::size_t first = 0;
  const std::vector<std::string> trace = traceSyscalls(saveArgv(2), options_, "VEDO.INI", &first);
  ASSERT_NE(first, std::string::npos);
  const std::map<std::string, std::string> failures = {
      {"openat", "EACCES"}, {"read", "EIO"},    {"write", "ENOSPC"}, {"fsync", "EIO"}, {"close", "EIO"},
      {"rename", "EACCES"}, {"newfstatat", "EIO"}, {"fchmod", "EPERM"}, {"mkdir", "ENOSPC"}};
  std::size_t injected = 0;
  for (std::size_t i = first; i < trace.size(); ++i) {
    const auto f = failures.find(trace[i]);
    if (f == failures.end() || sanitizerOwnsCall(trace[i])) continue;
    reset(v1);
    const RunResult r = runInjected(injectionAt(trace, i, "error=" + f->second), saveArgv(2), options_);
    ++injected;
    const std::string where = "call " + std::to_string(i) + " (" + trace[i] + " " + f->second + ")";
    ASSERT_TRUE(r.exited) << where;
    const std::string now = readBytes(ini());
    if (r.code == 0) {
      EXPECT_EQ(now, v2) << where << ": success without the new file";
    } else {
      EXPECT_EQ(now, v1) << where << ": refused, but the file changed";
      EXPECT_EQ(strays(), 0u) << where << ": temporary file left behind";
    }
  }
  std::printf("settings save: %zu failures injected\n", injected);
  EXPECT_GE(injected, 5u);
}

}  // namespace
}  // namespace vedo::fault
