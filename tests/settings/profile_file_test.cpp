// The private-profile file on real files: matching, value clean-up, what a save
// keeps, and what a refused save leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>

#include "platform/profile_file.h"
#include "tests/support/temp_folder.h"

using namespace vedo;
using vedo::test::sj;
using vedo::test::TempFolder;

namespace {

namespace fs = std::filesystem;

std::optional<std::string> readBack(const std::string& path, const char* section, const char* key) {
  ProfileFile ini(path);
  EXPECT_TRUE(ini.load());
  return ini.readString(section, key);
}

int entriesIn(const fs::path& folder) {
  int n = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(folder)) ++n;
  return n;
}

struct ValueCase {
  const char* stored;  // the text after "Key=" in the file
  const char* read;
};

class ProfileValue : public testing::TestWithParam<ValueCase> {};

TEST_P(ProfileValue, LosesBlanksAndOnePairOfQuotes) {
  TempFolder dir;
  const auto path = dir.write("p.ini", std::string("[S]\nKey=") + GetParam().stored + "\n").string();
  EXPECT_EQ(readBack(path, "S", "Key"), GetParam().read) << '[' << GetParam().stored << ']';
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileValue,
    testing::Values(ValueCase{"plain", "plain"}, ValueCase{"  padded \t ", "padded"},
                    ValueCase{"\"  quoted keeps blanks  \"", "  quoted keeps blanks  "},
                    ValueCase{"  \" a \"  ", " a "}, ValueCase{"\"\"", ""},
                    ValueCase{"\"\"x\"\"", "\"x\""},  // only one pair goes
                    ValueCase{"\"open", "\"open"}, ValueCase{"close\"", "close\""},
                    ValueCase{"\"", "\""}, ValueCase{"'single'", "'single'"},
                    ValueCase{"a = b", "a = b"}, ValueCase{"", ""},
                    ValueCase{"; not a comment", "; not a comment"}));

TEST(ProfileFile, NamesMatchWithoutRegardToAsciiCase) {
  TempFolder dir;
  const auto path = dir.write("p.ini", "[oPTIONS]\npos(x)=5\n[unlha]\nOPTION=-m7\n").string();
  ProfileFile ini(path);
  ASSERT_TRUE(ini.load());
  EXPECT_EQ(ini.readString("Options", "Pos(X)"), "5");
  EXPECT_EQ(ini.readString("UNLHA", "Option"), "-m7");
  EXPECT_EQ(ini.readString("Options", "Pos(Y)"), std::nullopt);
  EXPECT_EQ(ini.readString("Missing", "Pos(X)"), std::nullopt);
}

TEST(ProfileFile, DoubleByteNamesAreNotFoldedInsideACharacter) {
  // 0x82 0x60 is "Ａ" and 0x82 0x81 is "ａ"; the trail bytes 0x60/0x81 are not
  // letters, but 0x83 0x41 ("ア") vs 0x83 0x61 ("ヂ") differ only by ASCII case
  // in their second byte and must stay two keys.
  TempFolder dir;
  const std::string a = sj("ア");
  const std::string b = sj("ヂ");
  ASSERT_EQ(a[1], 'A');
  ASSERT_EQ(b[1], 'a');
  const auto path = dir.write("p.ini", "[S]\n" + a + "=first\n" + b + "=second\n").string();
  EXPECT_EQ(readBack(path, "S", a.c_str()), "first");
  EXPECT_EQ(readBack(path, "s", b.c_str()), "second");
}

TEST(ProfileFile, FirstOfARepeatedKeyCountsAndIsTheOneWritten) {
  TempFolder dir;
  const auto path = dir.write("p.ini", "[S]\nKey=one\nkey=two\n").string();
  {
    ProfileFile ini(path);
    ASSERT_TRUE(ini.load());
    EXPECT_EQ(ini.readString("S", "KEY"), "one");
    ini.writeString("S", "KEY", "three");
    ASSERT_TRUE(ini.save());
  }
  EXPECT_EQ(readBack(path, "S", "Key"), "three");
  const std::string text = dir.read("p.ini");
  // The first entry keeps its spelling and place; the later one stays behind it
  // (written under the first one's spelling).
  EXPECT_NE(text.find("Key=three\n"), std::string::npos) << text;
  EXPECT_GT(text.find("=two\n"), text.find("Key=three")) << text;
  EXPECT_NE(text.find("=two\n"), std::string::npos) << text;
}

TEST(ProfileFile, LongValuesAreCutAt1023BytesNeverInsideACharacter) {
  TempFolder dir;
  const std::string ascii(2000, 'x');
  // 1022 single bytes then a double-byte character that would end at 1024.
  const std::string straddling = std::string(1022, 'y') + sj("表") + "z";
  const auto path = dir.write("p.ini", "[S]\nA=" + ascii + "\nB=" + straddling + "\n").string();
  EXPECT_EQ(readBack(path, "S", "A"), std::string(1023, 'x'));
  EXPECT_EQ(readBack(path, "S", "B"), std::string(1022, 'y'));
}

TEST(ProfileFile, SaveKeepsForeignSectionsKeysCommentsAndBytes) {
  TempFolder dir;
  const std::string foreignValue = sj("表示ｴﾗｰ");  // CP932, with a 0x5C trail byte
  const std::string original =
      "; file comment\n"
      "\n"
      "[Other]\n"
      "; about Foreign\n"
      "Foreign=" + foreignValue + "\n"
      "[S]\n"
      "# hash comment\n"
      "Key=old\n"
      "Kept=yes\n";
  const auto path = dir.write("p.ini", original).string();
  {
    ProfileFile ini(path);
    ASSERT_TRUE(ini.load());
    ini.writeString("S", "Key", "new");
    ini.writeString("S", "Added", sj("値"));
    ini.writeString("New", "K", "v");
    ASSERT_TRUE(ini.save());
  }
  const std::string text = dir.read("p.ini");
  for (const std::string& line : {std::string("; file comment"), std::string("; about Foreign"),
                                 "Foreign=" + foreignValue, std::string("# hash comment"),
                                 std::string("Kept=yes"), std::string("[Other]")}) {
    EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << " missing from:\n" << text;
  }
  EXPECT_EQ(text.find("old"), std::string::npos) << text;
  EXPECT_EQ(readBack(path, "S", "Key"), "new");
  EXPECT_EQ(readBack(path, "s", "added"), sj("値"));
  EXPECT_EQ(readBack(path, "New", "K"), "v");
  EXPECT_EQ(readBack(path, "Other", "Foreign"), foreignValue);
}

TEST(ProfileFile, CommentsAfterTheLastKeySurviveAndSavesSettle) {
  TempFolder dir;
  const auto path = dir.write("p.ini", "[S]\nK=1\n; about the end\n# and more\n").string();
  std::string first;
  for (int round = 0; round < 3; ++round) {
    ProfileFile ini(path);
    ASSERT_TRUE(ini.load());
    ini.writeString("S", "K", "2");
    ini.writeString("T", "New", "x");
    ASSERT_TRUE(ini.save());
    const std::string text = dir.read("p.ini");
    EXPECT_NE(text.find("; about the end\n# and more\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('\x01'), std::string::npos) << text;
    // The first save lays the file out in its own way; saving the same values
    // again changes nothing after that (no blank lines piling up).
    if (round == 1) first = text;
    if (round == 2) {
      EXPECT_EQ(text, first);
    }
  }
}

TEST(ProfileFile, AWrittenLineBreakCannotPlantKeys) {
  TempFolder dir;
  const std::string path = dir.str("p.ini");
  {
    ProfileFile ini(path);
    ASSERT_TRUE(ini.load());
    ini.writeString("S", "Key", "value\n[S]\nEvil=1");
    ini.writeString("S", "Cr", "a\rb");
    ASSERT_TRUE(ini.save());
  }
  EXPECT_EQ(readBack(path, "S", "Key"), "value");
  EXPECT_EQ(readBack(path, "S", "Evil"), std::nullopt);
  EXPECT_EQ(readBack(path, "S", "Cr"), "a");
}

TEST(ProfileFile, SaveCreatesMissingFoldersAndLeavesNoTemporaryFile) {
  TempFolder dir;
  const std::string path = dir.str("a/b/p.ini");
  ProfileFile ini(path);
  ASSERT_TRUE(ini.load());  // missing: empty, not an error
  ini.writeString("S", "K", "1");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(readBack(path, "S", "K"), "1");
  EXPECT_EQ(entriesIn(dir.path() / "a/b"), 1);
}

TEST(ProfileFile, SaveKeepsTheFilesPermissions) {
  TempFolder dir;
  const auto path = dir.write("p.ini", "[S]\nK=0\n");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  ProfileFile ini(path.string());
  ASSERT_TRUE(ini.load());
  ini.writeString("S", "K", "1");
  ASSERT_TRUE(ini.save());
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(ProfileFile, SaveThroughASymbolicLinkReplacesTheFileItNames) {
  TempFolder dir;
  const auto real = dir.write("real/p.ini", "[S]\nK=0\n");
  fs::create_symlink("real/p.ini", dir.path() / "link.ini");
  ProfileFile ini(dir.str("link.ini"));
  ASSERT_TRUE(ini.load());
  EXPECT_EQ(ini.readString("S", "K"), "0");
  ini.writeString("S", "K", "1");
  ASSERT_TRUE(ini.save());
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.ini"));
  EXPECT_EQ(readBack(real.string(), "S", "K"), "1");
}

TEST(ProfileFile, RefusedSavesChangeNothingOnDisk) {
  // A folder in the file's place.
  {
    TempFolder dir;
    dir.write("p.ini/inside.txt", "keep");
    ProfileFile ini(dir.str("p.ini"));
    EXPECT_FALSE(ini.load());
    ini.writeString("S", "K", "1");
    EXPECT_FALSE(ini.save());
    EXPECT_TRUE(fs::is_directory(dir.path() / "p.ini"));
    EXPECT_EQ(dir.read("p.ini/inside.txt"), "keep");
    EXPECT_EQ(entriesIn(dir.path()), 1);
  }
  // A file without write bits: read-only to the tool, for root too.
  {
    TempFolder dir;
    const auto path = dir.write("p.ini", "[S]\nK=0\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    ProfileFile ini(path.string());
    ASSERT_TRUE(ini.load());
    ini.writeString("S", "K", "1");
    EXPECT_FALSE(ini.save());
    EXPECT_EQ(dir.read("p.ini"), "[S]\nK=0\n");
    EXPECT_EQ(entriesIn(dir.path()), 1);
  }
  // A file where the folder should be.
  {
    TempFolder dir;
    dir.write("blocker", "x");
    ProfileFile ini(dir.str("blocker/sub/p.ini"));
    ini.writeString("S", "K", "1");
    EXPECT_FALSE(ini.save());
    EXPECT_EQ(dir.read("blocker"), "x");
  }
}

TEST(ProfileFile, MalformedFilesReadWithoutCrashing) {
  TempFolder dir;
  std::mt19937 random(1234);
  std::string junk(64 * 1024, '\0');
  for (char& c : junk) c = static_cast<char>(random());
  const std::string hugeLine(1024 * 1024, 'Q');

  struct Case {
    const char* name;
    std::string bytes;
    std::optional<std::string> expectedK;  // value of [S] K
  } cases[] = {
      {"binary junk", junk, std::nullopt},
      {"one 1 MB line", hugeLine, std::nullopt},
      {"1 MB line inside", "[S]\nX=" + hugeLine + "\nK=7\n", "7"},
      {"1 MB section name", "[" + hugeLine + "]\nK=1\n[S]\nK=7\n", "7"},
      {"no sections", "K=7\nfoo\n=bar\n", std::nullopt},
      {"BOM", "\xEF\xBB\xBF[S]\nK=7\n", "7"},
      {"CRLF", "[S]\r\nK=7\r\nL=8\r\n", "7"},
      {"CR only", "[S]\rK=7\r", std::nullopt},
      {"bad CP932", "[S]\nK=\x82\n[\x81]\n\x9f=\xfc\xfc\n", "\x82"},
      {"unclosed section", "[S\nK=7\n", std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir.write("p.ini", c.bytes).string();
    ProfileFile ini(path);
    ASSERT_TRUE(ini.load());
    const auto k = ini.readString("S", "K");
    if (c.expectedK) {
      EXPECT_EQ(k, c.expectedK);
    }
    if (k) {
      EXPECT_LE(k->size(), ProfileFile::kMaxValueBytes);
    }
    // And a save over it works and reads back.
    ini.writeString("S", "Written", "yes");
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(readBack(path, "S", "Written"), "yes");
  }
}

TEST(ProfileFilePath, FollowsXdgConfigHomeElseHomeConfig) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string savedXdg = xdg ? xdg : "";
  const std::string savedHome = home ? home : "";

  ::setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
  EXPECT_EQ(profileFilePath("VEDO.INI"), "/x/cfg/VEDO.INI");
  ::setenv("XDG_CONFIG_HOME", "/x/cfg/", 1);
  EXPECT_EQ(profileFilePath("VEDO.INI"), "/x/cfg/VEDO.INI");
  ::setenv("HOME", "/home/u", 1);
  ::setenv("XDG_CONFIG_HOME", "relative/cfg", 1);  // not absolute: ignored
  EXPECT_EQ(profileFilePath("VEDO.INI"), "/home/u/.config/VEDO.INI");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(profileFilePath("VEDO.INI"), "/home/u/.config/VEDO.INI");

  xdg ? ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
  home ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace
