// Paths longer than any buffer: past 255 bytes (where the delete pass once cut
// its path) and past the system's 4096-byte limit. A tripwire file sits where
// each cut would land, named as the cut path: the long path is handled whole
// or refused, and the tripwire is never touched.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/fault/fault_support.h"
#include "tests/support/temp_folder.h"

namespace vedo::fault {
namespace {

constexpr const char* kTripwire = "tripwire";

// Creates `relative` (folders separated by "/") under `base` one level at a
// time, relative to open folders, so no call sees the whole long path.
int openFolderChain(const stdfs::path& base, const std::vector<std::string>& folders) {
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
  for (const std::string& f : folders) {
    ::mkdirat(fd, f.c_str(), 0755);
    const int next = ::openat(fd, f.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    if (fd < 0) return -1;
  }
  return fd;
}

void writeAt(int folder, const std::string& name, const std::string& bytes) {
  const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << name;
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

std::optional<std::string> readAt(int folder, const std::string& name) {
  const int fd = ::openat(folder, name.c_str(), O_RDONLY);
  if (fd < 0) return std::nullopt;
  std::string out(1 << 16, '\0');
  const ssize_t n = ::read(fd, out.data(), out.size());
  ::close(fd);
  out.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  return out;
}

// Removes a tree deeper than the system's path limit, folder by folder.
void removeTree(int parent, const std::string& name) {
  const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    for (const auto& entry : stdfs::directory_iterator("/proc/self/fd/" + std::to_string(fd))) {
      const std::string child = entry.path().filename().string();
      if (::unlinkat(fd, child.c_str(), 0) != 0) removeTree(fd, child);
    }
    ::close(fd);
  }
  ::unlinkat(parent, name.c_str(), AT_REMOVEDIR);
}

class LongPath : public testing::Test {
 protected:
  void SetUp() override {
    if (!haveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
  }
  void TearDown() override {
    const int fd = ::open(tmp_.path().c_str(), O_RDONLY | O_DIRECTORY);
    removeTree(fd, "deep");
    ::close(fd);
  }

  // Runs the front end and a deleting compress job on `source`.
  void runBoth(const std::string& source) {
    frontEnd_ = run({unlhaProgram().string(), "a", "-n", tmp_.str("front.lzh"), source});
    job_ = run({probeProgram("fault_compress_probe").string(), libraryPath().string(), source, tmp_.str("job.lzh")});
  }
  // When `archive` exists it verifies and holds `member`.
  void expectHeldIfWritten(const std::string& archive, const std::string& member) {
    if (!stdfs::exists(tmp_.path() / archive)) return;
    EXPECT_TRUE(independentReaderAccepts(tmp_.path() / archive)) << archive;
    const auto members = memberNames(tmp_.path() / archive);
    ASSERT_TRUE(members);
    EXPECT_EQ(*members, std::vector<std::string>{member}) << archive;
  }

  test::TempFolder tmp_;
  RunResult frontEnd_, job_;
};

// A file whose full path passes 255 bytes inside its name; the tripwire is the
// file named by the first 255 bytes of that path.
TEST_F(LongPath, PastTwoHundredFiftyFiveBytes) {
  const std::string folder = tmp_.str() + "/deep/" + std::string(200 - tmp_.str().size(), 'f');
  const std::string name = std::string(120, 'n') + ".txt";
  const std::string full = folder + "/" + name;
  ASSERT_GT(full.size(), 255u);
  ASSERT_LT(folder.size() + 1, 255u);
  const std::string cutName = full.substr(folder.size() + 1, 255 - folder.size() - 1);

  stdfs::create_directories(folder);
  writeBytes(folder + "/" + name, "long named file\n");
  writeBytes(folder + "/" + cutName, kTripwire);

  runBoth(full);
  EXPECT_EQ(readBytes(folder + "/" + cutName), kTripwire);
  // Both runs can store the whole name; the job deletes it only once stored.
  EXPECT_EQ(frontEnd_.code, 0);
  EXPECT_EQ(job_.code, 0);
  expectHeldIfWritten("front.lzh", name);
  expectHeldIfWritten("job.lzh", name);
  EXPECT_FALSE(stdfs::exists(full));
  EXPECT_TRUE(stdfs::exists(tmp_.path() / "job.lzh"));
}

// Folders nested past 4096 bytes of path. The tripwire sits where the path's
// first 4095 bytes (the most a system path buffer holds) end.
TEST_F(LongPath, PastTheSystemPathLimit) {
  const std::string base = tmp_.str() + "/deep";
  std::vector<std::string> folders;
  std::string path = base;
  while (path.size() < 4300) {
    folders.push_back(std::string(200, static_cast<char>('a' + folders.size() % 26)));
    path += "/" + folders.back();
  }
  const std::string name = std::string(100, 'z') + ".txt";
  const std::string full = path + "/" + name;

  // Where the cut lands: which folder, and the partial name there.
  const std::size_t cut = 4095;
  std::vector<std::string> cutFolders;
  std::string walked = base;
  std::string cutName;
  for (const std::string& f : folders) {
    if (walked.size() + 1 + f.size() >= cut) {
      cutName = f.substr(0, cut - walked.size() - 1);
      break;
    }
    walked += "/" + f;
    cutFolders.push_back(f);
  }
  ASSERT_FALSE(cutName.empty());

  ::mkdir(base.c_str(), 0755);
  {
    const int deepest = openFolderChain(base, folders);
    ASSERT_GE(deepest, 0);
    writeAt(deepest, name, "deep file\n");
    ::close(deepest);
    const int cutFolder = openFolderChain(base, cutFolders);
    ASSERT_GE(cutFolder, 0);
    writeAt(cutFolder, cutName, kTripwire);
    ::close(cutFolder);
  }

  for (const std::string& source : {full, path + "/*.txt"}) {
    SCOPED_TRACE(source.substr(source.size() - 10));
    runBoth(source);
    EXPECT_TRUE(frontEnd_.exited && job_.exited);
    const int cutFolder = openFolderChain(base, cutFolders);
    EXPECT_EQ(readAt(cutFolder, cutName), std::optional<std::string>(kTripwire));
    ::close(cutFolder);
    // Refused, or stored whole: the deep file goes only when an archive holds it.
    const int deepest = openFolderChain(base, folders);
    const bool kept = readAt(deepest, name) == std::optional<std::string>("deep file\n");
    ::close(deepest);
    if (!kept) expectHeldIfWritten("job.lzh", name);
    if (job_.code != 0) {
      EXPECT_TRUE(kept);
    }
    expectHeldIfWritten("front.lzh", name);
    std::printf("path of %zu bytes: unlha exit %d, compress job exit %d, file %s\n", source.size(), frontEnd_.code,
                job_.code, kept ? "kept" : "stored and deleted");
  }
}

}  // namespace
}  // namespace vedo::fault
