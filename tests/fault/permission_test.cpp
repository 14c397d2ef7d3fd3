// Refused permissions, forced the ways that hold for root: a folder where the
// archive or the settings file should be, a run as another user (setpriv), a
// run without the capability to override file modes (capsh), and immutable
// files and folders (chattr +i). Each refusal is a nonzero result with the old
// archive (or settings file) byte for byte and no source deleted; an immutable
// source is kept with a warning while the others go.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/fault/archive_scenario.h"
#include "tests/fault/fault_support.h"
#include "tests/support/temp_folder.h"

namespace vedo::fault {
namespace {

// chattr +i for the life of the object (the flag also stops the temporary
// folder's own clean-up, so it is always taken off again).
class Immutable {
 public:
  explicit Immutable(const stdfs::path& p) : path_(p) { set_ = run({"chattr", "+i", p.string()}).succeeded(); }
  ~Immutable() {
    if (set_) run({"chattr", "-i", path_.string()});
  }
  bool set() const { return set_; }

 private:
  stdfs::path path_;
  bool set_ = false;
};

class Permission : public testing::Test {
 protected:
  void SetUp() override {
    if (!haveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
    if (::geteuid() != 0) GTEST_SKIP() << "these refusals are forced as root";
    // Another user must reach the folders (mkdtemp makes them private).
    stdfs::permissions(tmp_.path(), stdfs::perms(0755));
  }
  std::vector<std::string> frontEnd() const { return {unlhaProgram().string(), "a", "-n", "old.lzh", "src*.txt"}; }
  std::vector<std::string> job() const {
    return {probeProgram("fault_compress_probe").string(), libraryPath().string(), "src*.txt", "old.lzh"};
  }
  // Runs `prefix` + argv for the front end and the compress job; both must be
  // refused with everything left as it was.
  // With `lock`, that file or folder is immutable during each run.
  void expectBothRefused(ArchiveScenario& s, const std::vector<std::string>& prefix, const char* how,
                         const stdfs::path& lock = {}) {
    for (bool engine : {false, true}) {
      SCOPED_TRACE(std::string(how) + (engine ? ", compress job" : ", unlha"));
      s.reset();
      std::vector<std::string> argv = prefix;
      for (const std::string& a : engine ? job() : frontEnd()) argv.push_back(a);
      RunResult r;
      if (lock.empty()) {
        r = run(argv, inFolder(s.folder()));
      } else {
        Immutable immutable(lock);
        if (!immutable.set()) GTEST_SKIP() << "chattr +i does not work on this file system";
        r = run(argv, inFolder(s.folder()));
      }
      EXPECT_TRUE(r.exited);
      EXPECT_NE(r.code, 0);
      const ArchiveScenario::Outcome o = s.check(engine, false);
      EXPECT_EQ(o.fault, "");
      EXPECT_FALSE(o.changed);
    }
  }
  test::TempFolder tmp_;
};

TEST_F(Permission, AFolderWhereTheArchiveShouldBe) {
  writeBytes(tmp_.path() / "src1.txt", "one\n");
  stdfs::create_directory(tmp_.path() / "old.lzh");
  writeBytes(tmp_.path() / "old.lzh" / "inside", "keep");
  for (bool engine : {false, true}) {
    const RunResult r = run(engine ? job() : frontEnd(), inFolder(tmp_.path()));
    EXPECT_NE(r.code, 0);
    EXPECT_EQ(readBytes(tmp_.path() / "old.lzh" / "inside"), "keep");
    EXPECT_EQ(readBytes(tmp_.path() / "src1.txt"), "one\n");
    EXPECT_EQ(folderEntries(tmp_.path()), (std::vector<std::string>{"old.lzh", "src1.txt"}));
  }
}

TEST_F(Permission, AnotherUserCannotWriteTheArchivesFolder) {
  if (!haveProgram("setpriv")) GTEST_SKIP() << "setpriv is not installed";
  ArchiveScenario s(tmp_.path(), {"src1.txt", "src2.txt"});
  const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  expectBothRefused(s, asNobody, "as nobody");
  // The same run succeeds once the folder and the archive are nobody's: the
  // refusals above were the permissions.
  s.reset();
  ASSERT_EQ(::chown(tmp_.path().c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chown(s.archive().c_str(), 65534, 65534), 0);
  std::vector<std::string> argv = asNobody;
  for (const std::string& a : frontEnd()) argv.push_back(a);
  EXPECT_TRUE(run(argv, inFolder(s.folder())).succeeded());
  EXPECT_TRUE(s.check(false, false).changed);
}

TEST_F(Permission, RootWithoutTheOverrideCapabilityMeetsAReadOnlyFolder) {
  if (!haveProgram("capsh")) GTEST_SKIP() << "capsh is not installed";
  ArchiveScenario s(tmp_.path(), {"src1.txt", "src2.txt"});
  stdfs::permissions(tmp_.path(), stdfs::perms(0555));
  // capsh runs the program through a shell: "$0" and "$@" are the argv.
  expectBothRefused(s, {"capsh", "--drop=cap_dac_override,cap_dac_read_search", "--", "-c", "exec \"$0\" \"$@\""},
                    "without cap_dac_override");
  // With the folder writable the same run succeeds: the refusals above were
  // the missing capability.
  stdfs::permissions(tmp_.path(), stdfs::perms(0755));
  s.reset();
  std::vector<std::string> argv = {"capsh", "--drop=cap_dac_override,cap_dac_read_search", "--", "-c",
                                   "exec \"$0\" \"$@\""};
  for (const std::string& a : frontEnd()) argv.push_back(a);
  EXPECT_TRUE(run(argv, inFolder(s.folder())).succeeded());
  EXPECT_TRUE(s.check(false, false).changed);
}

TEST_F(Permission, AnImmutableArchiveOrFolder) {
  ArchiveScenario s(tmp_.path(), {"src1.txt", "src2.txt"});
  expectBothRefused(s, {}, "immutable archive", s.archive());
  expectBothRefused(s, {}, "immutable folder", tmp_.path());
}

TEST_F(Permission, AnImmutableSourceIsKeptWithAWarningAndTheOthersGo) {
  ArchiveScenario s(tmp_.path(), {"src1.txt", "src2.txt", "src3.txt"});
  Immutable lock(tmp_.path() / "src2.txt");
  if (!lock.set()) GTEST_SKIP() << "chattr +i does not work on this file system";
  const stdfs::path log = tmp_.path().parent_path() / (tmp_.path().filename().string() + ".log");
  RunOptions options = inFolder(tmp_.path());
  options.output = log;
  const RunResult r = run(job(), options);
  const std::string said = readBytes(log);
  stdfs::remove(log);
  EXPECT_EQ(r.code, 0);
  const ArchiveScenario::Outcome o = s.check(true, false);
  EXPECT_EQ(o.fault, "");
  EXPECT_TRUE(o.changed);
  EXPECT_TRUE(stdfs::exists(tmp_.path() / "src2.txt"));
  EXPECT_FALSE(stdfs::exists(tmp_.path() / "src1.txt"));
  EXPECT_FALSE(stdfs::exists(tmp_.path() / "src3.txt"));
  EXPECT_NE(said.find("src2.txt"), std::string::npos) << said;  // the warning names it
}

TEST_F(Permission, SettingsSaveRefusedAsAnotherUserOrOnAnImmutableFile) {
  const stdfs::path config = tmp_.path() / "config";
  stdfs::create_directory(config);
  stdfs::permissions(config, stdfs::perms(0755));
  RunOptions options = inFolder(tmp_.path());
  options.env["XDG_CONFIG_HOME"] = config.string();
  const std::string probe = probeProgram("fault_settings_probe").string();
  ASSERT_TRUE(run({probe, "1"}, options).succeeded());
  const std::string v1 = readBytes(config / "VEDO.INI");

  if (haveProgram("setpriv")) {
    EXPECT_EQ(run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", probe, "2"}, options).code, 1);
    EXPECT_EQ(readBytes(config / "VEDO.INI"), v1);
    EXPECT_EQ(folderEntries(config), std::vector<std::string>{"VEDO.INI"});
  }
  {
    Immutable lock(config / "VEDO.INI");
    if (lock.set()) {
      EXPECT_EQ(run({probe, "2"}, options).code, 1);
      EXPECT_EQ(readBytes(config / "VEDO.INI"), v1);
      EXPECT_EQ(folderEntries(config), std::vector<std::string>{"VEDO.INI"});
    }
  }
  {
    Immutable lock(config);
    if (lock.set()) {
      EXPECT_EQ(run({probe, "2"}, options).code, 1);
      EXPECT_EQ(readBytes(config / "VEDO.INI"), v1);
    }
  }
}

}  // namespace
}  // namespace vedo::fault
