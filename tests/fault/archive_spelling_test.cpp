// The archive named inside its own source pattern, in every spelling a user
// can reach it by: it is never stored in itself and never deleted, through the
// front end and through a compress job that deletes its sources.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fault/fault_support.h"
#include "tests/support/temp_folder.h"

namespace vedo::fault {
namespace {

struct Spelling {
  const char* name;
  const char* cwd;      // relative to the test folder
  std::string source;   // "@" stands for the test folder's absolute path
  std::string archive;
};

const Spelling kSpellings[] = {
    {"relative", "d", "arc.lzh", "arc.lzh"},
    {"absolute", "d", "@/d/arc.lzh", "arc.lzh"},
    {"dot_slash", "d", "./arc.lzh", "@/d/arc.lzh"},
    {"dot_dot", "d/sub", "../arc.lzh", "../arc.lzh"},
    {"dot_dot_absolute_target", "d/sub", "../*.lzh", "@/d/arc.lzh"},
    {"symbolic_link", "d", "link.lzh", "arc.lzh"},
    {"through_the_link", "d", "arc.lzh", "link.lzh"},
    {"hard_link", "d", "hard.lzh", "arc.lzh"},
    {"star", "d", "*", "arc.lzh"},
    {"star_absolute", "d/sub", "@/d/*", "./../arc.lzh"},
    {"star_dot_star_backslash", "d/sub", "..\\*.*", "..\\arc.lzh"},
};

std::string expand(const std::string& s, const stdfs::path& root) {
  std::string out = s;
  if (!out.empty() && out[0] == '@') out = root.string() + out.substr(1);
  return out;
}

class ArchiveSpelling : public testing::TestWithParam<Spelling> {
 protected:
  void SetUp() override {
    if (!haveProgram("lhasa")) GTEST_SKIP() << "lhasa is not installed";
    d_ = tmp_.path() / "d";
    stdfs::create_directories(d_ / "sub");
    writeBytes(d_ / "old.txt", "member of the old archive\n");
    ASSERT_TRUE(run({unlhaProgram().string(), "a", "-n", (d_ / "arc.lzh").string(), (d_ / "old.txt").string()})
                    .succeeded());
    stdfs::remove(d_ / "old.txt");
    oldBytes_ = readBytes(d_ / "arc.lzh");
  }

  void makeSourcesAndLinks() {
    writeBytes(d_ / "a.txt", std::string(5000, 'a'));
    writeBytes(d_ / "b.txt", "bee\n");
    stdfs::remove(d_ / "link.lzh");
    stdfs::remove(d_ / "hard.lzh");
    stdfs::create_symlink("arc.lzh", d_ / "link.lzh");
    stdfs::create_hard_link(d_ / "arc.lzh", d_ / "hard.lzh");
  }

  // The archive is there, verifies, keeps its old member and holds no copy of
  // itself under any name; both links still name it.
  void expectArchiveIntact(const std::string& how) {
    SCOPED_TRACE(how);
    ASSERT_TRUE(stdfs::is_regular_file(d_ / "arc.lzh"));
    EXPECT_TRUE(independentReaderAccepts(d_ / "arc.lzh"));
    const auto members = memberNames(d_ / "arc.lzh");
    ASSERT_TRUE(members);
    for (const char* self : {"arc.lzh", "link.lzh", "hard.lzh"})
      EXPECT_EQ(std::count(members->begin(), members->end(), self), 0) << self << " stored in itself";
    EXPECT_EQ(std::count(members->begin(), members->end(), "old.txt"), 1);
    EXPECT_TRUE(stdfs::is_symlink(d_ / "link.lzh"));
    // The archive is a new file after the call, so the hard link is another
    // file by then; it was never stored, so it stays.
    EXPECT_TRUE(stdfs::exists(d_ / "hard.lzh"));
    // A source may go only when the archive holds it.
    for (const char* src : {"a.txt", "b.txt"}) {
      if (!stdfs::exists(d_ / src)) {
        EXPECT_EQ(std::count(members->begin(), members->end(), src), 1) << src << " deleted but not stored";
      }
    }
  }

  test::TempFolder tmp_;
  stdfs::path d_;
  std::string oldBytes_;
};

void PrintTo(const Spelling& s, std::ostream* os) { *os << s.name << ": " << s.source << " into " << s.archive; }

TEST_P(ArchiveSpelling, NeverStoredInItselfNorDeleted) {
  const Spelling& s = GetParam();
  const std::string source = expand(s.source, tmp_.path());
  const std::string archive = expand(s.archive, tmp_.path());
  const RunOptions where = inFolder(tmp_.path() / s.cwd);

  makeSourcesAndLinks();
  run({unlhaProgram().string(), "a", "-n", archive, source}, where);
  expectArchiveIntact("unlha");

  writeBytes(d_ / "arc.lzh.fresh", oldBytes_);
  stdfs::remove(d_ / "arc.lzh");
  stdfs::rename(d_ / "arc.lzh.fresh", d_ / "arc.lzh");
  makeSourcesAndLinks();
  run({probeProgram("fault_compress_probe").string(), libraryPath().string(), source, archive}, where);
  expectArchiveIntact("compress job with delete");
}

INSTANTIATE_TEST_SUITE_P(Spellings, ArchiveSpelling, testing::ValuesIn(kSpellings),
                         [](const testing::TestParamInfo<Spelling>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vedo::fault
