// CP932 conversion and the character-wise byte helpers.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "platform/sjis_text.h"
#include "tests/support/case_name.h"
#include "tests/support/temp_folder.h"

using namespace vedo;
using vedo::test::sj;

TEST(Cp932, RoundTripsJapaneseIncludingHalfWidthKatakana) {
  const std::string utf8 = "表ソボｴﾗｰ情報.TXT";
  auto s = cp932::fromUtf8(utf8);
  ASSERT_TRUE(s);
  EXPECT_EQ(*s, "\x95\x5C\x83\x5C\x83\x7B\xB4\xD7\xB0\x8F\xEE\x95\xF1.TXT");
  EXPECT_EQ(cp932::toUtf8(*s), utf8);
  // Backslash and tilde beside a double-byte character (converted, not taken
  // as ASCII alone) are the same bytes in both encodings.
  EXPECT_EQ(cp932::toUtf8("\x95\x5C\\~"), "表\\~");
}

TEST(Cp932, RefusesWhatItCannotHoldInsteadOfSubstituting) {
  EXPECT_FALSE(cp932::fromUtf8("caf\xC3\xA9"));      // é has no CP932 code
  EXPECT_FALSE(cp932::fromUtf8("\xF0\x9F\x98\x80"));  // emoji
  EXPECT_FALSE(cp932::fromUtf8("\xE3\x80\x9C"));      // U+301C WAVE DASH maps to a code that reads back as U+FF5E
  EXPECT_FALSE(cp932::fromUtf8("\xFF\xFE"));          // not UTF-8 at all
  EXPECT_TRUE(cp932::fromUtf8("\xEF\xBD\x9E"));       // U+FF5E itself round-trips
}

TEST(Cp932, MalformedBytesAreAnErrorWhenConverted) {
  EXPECT_FALSE(cp932::toUtf8("abc\x95"));    // lone lead byte at the end
  EXPECT_FALSE(cp932::toUtf8("\x95\x20x"));  // lead byte followed by a non-trail byte
  EXPECT_TRUE(cp932::toUtf8(""));
}

// The string literals of a C++ source, escapes of one character decoded
// (enough to tell plain ASCII from the rest); comments and character
// literals skipped, raw strings read as they stand.
std::vector<std::string> stringLiterals(const std::string& src) {
  std::vector<std::string> out;
  std::size_t i = 0;
  auto at = [&](std::size_t k) { return k < src.size() ? src[k] : '\0'; };
  while (i < src.size()) {
    const char c = src[i];
    if (c == '/' && at(i + 1) == '/') {
      i = src.find('\n', i);
      if (i == std::string::npos) break;
    } else if (c == '/' && at(i + 1) == '*') {
      i = src.find("*/", i + 2);
      if (i == std::string::npos) break;
      i += 2;
    } else if (c == 'R' && at(i + 1) == '"') {
      const std::size_t open = src.find('(', i + 2);
      const std::string close = ")" + src.substr(i + 2, open - i - 2) + "\"";
      const std::size_t end = src.find(close, open);
      out.push_back(src.substr(open + 1, end - open - 1));
      i = end + close.size();
    } else if (c == '"' || (c == '\'' && !std::isxdigit(static_cast<unsigned char>(at(i - 1))))) {
      std::string text;
      for (++i; i < src.size() && src[i] != c; ++i) {
        if (src[i] != '\\') {
          text += src[i];
          continue;
        }
        const char e = at(++i);
        text += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
      }
      ++i;
      if (c == '"') out.push_back(text);
    } else {
      ++i;
    }
  }
  return out;
}

// Every text of the program that is not plain ASCII (the fixed texts handed
// to cp932::fixed among them) converts to CP932, so cp932::fixed never fails.
TEST(Cp932, EveryTextOfTheProgramConverts) {
  namespace stdfs = std::filesystem;
  std::size_t checked = 0;
  for (const char* folder : {"platform", "engine", "settings", "ui", "app", "archiver", "unlha32"}) {
    for (const auto& entry : stdfs::recursive_directory_iterator(stdfs::path(VEDO_SOURCE_DIR) / folder)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".cpp" && ext != ".h") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream src;
      src << in.rdbuf();
      for (const std::string& text : stringLiterals(src.str())) {
        bool ascii = true;
        for (unsigned char b : text) ascii = ascii && b < 0x80;
        if (ascii) continue;
        ++checked;
        EXPECT_TRUE(cp932::fromUtf8(text).has_value()) << entry.path() << ": \"" << text << "\"";
      }
    }
  }
  // The texts are there to be checked (the folders were found and read).
  EXPECT_GE(checked, 100u);
}

TEST(SjisText, TrailBytesNeverMatchAsCharacters) {
  const std::string hyo = sj("表");  // 0x95 0x5C
  const std::string bo = sj("ボ");   // 0x83 0x7B
  EXPECT_EQ(sjis::findChar(hyo + "\\x", '\\'), 2u);
  EXPECT_EQ(sjis::findChar(bo + "{c}", '{'), 2u);
  EXPECT_EQ(sjis::findChar(bo + bo, '{'), sjis::npos);
  EXPECT_EQ(sjis::folderPart(sj("C:\\DATA\\ソフト表")), "C:\\DATA\\");
  EXPECT_EQ(sjis::namePart(sj("C:\\DATA\\ソフト表")), sj("ソフト表"));
  EXPECT_EQ(sjis::toSystemSeparators(sj("a\\表\\b")), sj("a/表/b"));
}

TEST(SjisText, MalformedInputFollowsTheSingleByteRule) {
  // A lead byte at the end, or before a byte that cannot follow it, is a
  // character of its own: the byte after it is examined normally.
  EXPECT_EQ(sjis::charLength("\x95", 0), 1u);
  EXPECT_EQ(sjis::findChar("\x95\x1F\\", '\\'), 2u);  // lead before a control byte stands alone
  EXPECT_EQ(sjis::findChar("\x95;x", ';'), 1u);    // ";" is no trail byte
  EXPECT_EQ(sjis::lastSeparator("a/\x95"), 1u);
}

struct PathCase {
  const char* path;
  const char* folder;
  const char* name;
};

class PathParts : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathParts, SplitsAtTheLastSeparator) {
  EXPECT_EQ(sjis::folderPart(GetParam().path), GetParam().folder);
  EXPECT_EQ(sjis::namePart(GetParam().path), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Separators, PathParts,
                         ::testing::Values(PathCase{"/home/a/b.txt", "/home/a/", "b.txt"},
                                           PathCase{"C:\\DATA\\*.TXT", "C:\\DATA\\", "*.TXT"},
                                           PathCase{"dir\\sub/x", "dir\\sub/", "x"},
                                           PathCase{"plain.txt", "", "plain.txt"},
                                           PathCase{"dir/", "dir/", ""},
                                           PathCase{"", "", ""},
                                           // ":" is an ordinary character on this platform
                                           PathCase{"D:A.TXT", "", "D:A.TXT"}),
    vedo::test::NamedBy<&PathCase::path>());

TEST(SjisText, TrimAndCuts) {
  EXPECT_EQ(sjis::trim(" \t\x01 a b \r\n"), "a b");
  EXPECT_EQ(sjis::trim("   "), "");
  EXPECT_EQ(sjis::trimLeft("  a "), "a ");
  EXPECT_EQ(sjis::trimRight("  a "), "  a");

  std::string s = "abc;def";
  sjis::cutAtChar(s, ';', 255);
  EXPECT_EQ(s, "abc");

  // At most `count` bytes go; the rest after them stays.
  std::string longLine = "x;" + std::string(300, 'y');
  sjis::cutAtChar(longLine, ';', 255);
  EXPECT_EQ(longLine, "x" + std::string(46, 'y'));

  std::string e = "<DL>rest";
  sjis::removeBytes(e, 0, 4);
  EXPECT_EQ(e, "rest");
  sjis::removeBytes(e, 10, 4);  // past the end: nothing
  EXPECT_EQ(e, "rest");
}
