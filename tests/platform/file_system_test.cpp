// File services and full paths on real temporary folders.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/full_path.h"
#include "tests/support/temp_folder.h"

using namespace vedo;
using vedo::test::sj;
using vedo::test::TempFolder;
namespace stdfs = std::filesystem;

namespace {

std::vector<std::string> names(const std::vector<fs::FoundFile>& found) {
  std::vector<std::string> out;
  for (auto& f : found) out.push_back(f.name);
  std::sort(out.begin(), out.end());
  return out;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(FullPath, ResolvesAgainstTheCurrentFolderLexically) {
  TempFolder dir(true);
  const std::string base = dir.sjis();
  EXPECT_EQ(fullPath("a.txt"), base + "/a.txt");
  EXPECT_EQ(fullPath("./x/../b.txt"), base + "/b.txt");
  EXPECT_EQ(fullPath("sub\\\\c.txt"), base + "/sub/c.txt");
  EXPECT_EQ(fullPath("/usr/./lib/../bin//ls"), "/usr/bin/ls");
  EXPECT_EQ(fullPath("/../.."), "/");
  EXPECT_EQ(fullPath("dir/"), base + "/dir/");
  EXPECT_EQ(fullPath(sj("表\\ソ.txt")), base + "/" + sj("表/ソ.txt"));
  EXPECT_EQ(fullPath(""), base + "/");
}

TEST(FindFiles, WildcardsMatchCharacterWise) {
  TempFolder dir;
  for (const char* n : {"a.txt", "b.TXT", "ab.txt", "noext", ".hidden", "表.txt", "ソ.dat"}) dir.write(n, "x");
  const std::string f = dir.sjis() + "/";
  EXPECT_EQ(names(fs::findFiles(f + "*.txt")), (Names{"a.txt", "ab.txt", sj("表.txt")}));
  EXPECT_EQ(names(fs::findFiles(f + "?.txt")), (Names{"a.txt", sj("表.txt")}));  // 表 is one character
  EXPECT_EQ(names(fs::findFiles(f + "*.*")).size(), 7u);                         // every name, even without a dot
  EXPECT_EQ(names(fs::findFiles(f + "*")).size(), 7u);                           // dot files too
  EXPECT_EQ(names(fs::findFiles(f + "*.TXT")), (Names{"b.TXT"}));                // case-sensitive
  EXPECT_EQ(names(fs::findFiles(f + "a*t")), (Names{"a.txt", "ab.txt"}));
  EXPECT_EQ(names(fs::findFiles(f + "*" + sj("ソ") + "*")), (Names{sj("ソ.dat")}));
  EXPECT_EQ(names(fs::findFiles(f + "noext")), (Names{"noext"}));
  EXPECT_TRUE(fs::findFiles(f + "missing*").empty());
  EXPECT_TRUE(fs::findFiles(f + ".").empty());
  EXPECT_TRUE(fs::findFiles(f + "..").empty());
  EXPECT_TRUE(fs::findFiles(f).empty());
}

TEST(FindFiles, BackslashAndRelativePatterns) {
  TempFolder dir(true);
  dir.write("sub/x.txt", "1");
  EXPECT_EQ(names(fs::findFiles("sub\\*.txt")), (Names{"x.txt"}));
  EXPECT_EQ(names(fs::findFiles("./sub/x.txt")), (Names{"x.txt"}));
  EXPECT_TRUE(fs::fileExists("sub\\x.txt"));
  EXPECT_FALSE(fs::fileExists("sub"));  // a folder is not a file
}

TEST(FindFiles, AttributesAndMask) {
  TempFolder dir;
  dir.write("ro.txt", "x");
  dir.write(".dot", "x");
  stdfs::create_directory(dir.path() / "folder");
  ::chmod(dir.str("ro.txt").c_str(), 0444);
  const std::string f = dir.sjis() + "/";

  auto all = fs::findFiles(f + "*");
  ASSERT_EQ(all.size(), 3u);
  for (auto& m : all) {
    if (m.name == "ro.txt") {
      EXPECT_EQ(m.attributes, fs::ReadOnly | fs::Archive);  // by mode bits, also as root
    } else if (m.name == ".dot") {
      EXPECT_EQ(m.attributes, fs::Hidden | fs::Archive);
    } else {
      EXPECT_EQ(m.attributes, 0x10u);  // the folder: the directory attribute alone
    }
  }
  EXPECT_EQ(names(fs::findFiles(f + "*", fs::Archive)), (Names{"ro.txt"}));
  EXPECT_EQ(names(fs::findFiles(f + "*", fs::Archive | fs::Directory)), (Names{"folder", "ro.txt"}));
}

TEST(FindFiles, NamesCp932CannotHoldAreInvisible) {
  TempFolder dir;
  dir.write("caf\xC3\xA9.txt", "x");   // é
  dir.write("\xE3\x80\x9C.txt", "x");  // WAVE DASH: does not round-trip
  dir.write("ok.txt", "x");
  EXPECT_EQ(names(fs::findFiles(dir.sjis() + "/*")), (Names{"ok.txt"}));
  EXPECT_FALSE(fs::toSystemPath("bad\x95"));
}

TEST(DeleteFile, RemovesFilesOnlyAndRefusesReadOnly) {
  TempFolder dir;
  dir.write("a.txt", "x");
  dir.write("ro.txt", "x");
  stdfs::create_directory(dir.path() / "folder");
  ::chmod(dir.str("ro.txt").c_str(), 0444);

  EXPECT_EQ(fs::deleteFile(dir.sjis("a.txt")), 0);
  EXPECT_FALSE(stdfs::exists(dir.path() / "a.txt"));
  EXPECT_NE(fs::deleteFile(dir.sjis("ro.txt")), 0);
  EXPECT_TRUE(stdfs::exists(dir.path() / "ro.txt"));
  EXPECT_NE(fs::deleteFile(dir.sjis("folder")), 0);
  EXPECT_TRUE(stdfs::is_directory(dir.path() / "folder"));
  EXPECT_NE(fs::deleteFile(dir.sjis("missing")), 0);
}

TEST(CopyFile, ReplacesAndKeepsTheModificationTime) {
  TempFolder dir;
  dir.write("src.txt", "new contents");
  dir.write("dst.txt", "old");
  const auto when = stdfs::file_time_type::clock::now() - std::chrono::hours(48);
  stdfs::last_write_time(dir.path() / "src.txt", when);

  EXPECT_EQ(fs::copyFile(dir.sjis("src.txt"), dir.sjis("dst.txt")), 0);
  EXPECT_EQ(dir.read("dst.txt"), "new contents");
  EXPECT_EQ(stdfs::last_write_time(dir.path() / "dst.txt"), when);
  EXPECT_EQ(fs::copyFile(dir.sjis("src.txt"), dir.sjis("fresh.txt")), 0);
  EXPECT_EQ(dir.read("fresh.txt"), "new contents");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(stdfs::directory_iterator(dir.path()), stdfs::directory_iterator()), 3);
}

TEST(CopyFile, OntoItselfFailsAndChangesNothing) {
  TempFolder dir(true);
  dir.write("a.txt", "keep me");
  stdfs::create_hard_link(dir.path() / "a.txt", dir.path() / "hard.txt");
  EXPECT_NE(fs::copyFile("a.txt", dir.sjis("a.txt")), 0);
  EXPECT_NE(fs::copyFile("a.txt", "./hard.txt"), 0);
  EXPECT_EQ(dir.read("a.txt"), "keep me");
  EXPECT_NE(fs::copyFile("missing.txt", "b.txt"), 0);
  EXPECT_FALSE(stdfs::exists(dir.path() / "b.txt"));
}

TEST(Folders, CreateChangeAndRead) {
  TempFolder dir(true);
  EXPECT_EQ(fs::createFolder(sj("新しい")), 0);
  EXPECT_NE(fs::createFolder(sj("新しい")), 0);  // exists already
  EXPECT_NE(fs::createFolder("a/b/c"), 0);        // one level only
  EXPECT_EQ(fs::changeFolder(sj("新しい")), 0);
  EXPECT_EQ(fs::currentFolder(), dir.sjis() + "/" + sj("新しい"));
  EXPECT_NE(fs::changeFolder("does-not-exist"), 0);
  EXPECT_EQ(fs::currentFolder(), dir.sjis() + "/" + sj("新しい"));
}
