// Splitting the command text the tool sends into command, switches, archive
// and sources.

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"
#include "unlha32/commands/command_line.h"

namespace unlha {
namespace {

using vedo::test::sj;

struct Parsed {
  const char* label;
  std::string text;
  bool ok;
  lzh::Method method;
  bool recurse;
  bool noProgress;
  std::string archive;
  std::vector<std::string> sources;
};

class ParseCommand : public ::testing::TestWithParam<Parsed> {};

TEST_P(ParseCommand, SplitsIntoItsParts) {
  const Parsed& p = GetParam();
  Command c;
  std::string error;
  ASSERT_EQ(parseCommand(p.text, c, error), p.ok) << error;
  if (!p.ok) {
    EXPECT_FALSE(error.empty());
    return;
  }
  EXPECT_EQ(c.kind, CommandKind::Add);
  EXPECT_EQ(c.method, p.method);
  EXPECT_EQ(c.recurse, p.recurse);
  EXPECT_EQ(c.noProgress, p.noProgress);
  EXPECT_EQ(c.archive, p.archive);
  EXPECT_EQ(c.sources, p.sources);
}

using M = lzh::Method;
const Parsed cases[] = {
    // What the tool sends with an empty option field: two blanks before the archive.
    {"ToolWithoutOptions", "a  \"C:/DATA/ALLFILE.LZH\"  \"C:/DATA/*.TXT\"", true, M::Lh5, false, false,
     "C:/DATA/ALLFILE.LZH", {"C:/DATA/*.TXT"}},
    {"ToolWithOptions", "a -n -m7 -r \"out dir/a.lzh\"  \"my files/*\"", true, M::Lh7, true, true,
     "out dir/a.lzh", {"my files/*"}},
    {"Unquoted", "a -m0 a.lzh x.txt y.txt", true, M::Lh0, false, false, "a.lzh", {"x.txt", "y.txt"}},
    {"SwitchesAfterNames", "a a.lzh x.txt -m6", true, M::Lh6, false, false, "a.lzh", {"x.txt"}},
    {"QuotedDashIsAName", "a a.lzh \"-x.txt\"", true, M::Lh5, false, false, "a.lzh", {"-x.txt"}},
    {"QuotePartOfAWord", "a dir/\"with blank\".lzh src", true, M::Lh5, false, false, "dir/with blank.lzh", {"src"}},
    {"SecondBytesOfDoubleByteNames", "a \"" + sj("表ソボ.lzh") + "\"  " + sj("表\\ソ.txt"), true, M::Lh5, false,
     false, sj("表ソボ.lzh"), {sj("表\\ソ.txt")}},
    {"UnknownSwitch", "a -x1 a.lzh x", false, M::Lh5, false, false, "", {}},
    {"CombinedSwitches", "a -rn a.lzh x", false, M::Lh5, false, false, "", {}},
    {"UnclosedQuote", "a \"a.lzh  x", false, M::Lh5, false, false, "", {}},
    {"NoSource", "a -n \"a.lzh\"", false, M::Lh5, false, false, "", {}},
    {"EmptySource", "a a.lzh \"\"", false, M::Lh5, false, false, "", {}},
    {"Empty", "   ", false, M::Lh5, false, false, "", {}},
    {"UnknownCommand", "u a.lzh x", false, M::Lh5, false, false, "", {}},
};

INSTANTIATE_TEST_SUITE_P(Texts, ParseCommand, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(ParseCommand, ReadingCommandsTakeAFolderAndPatterns) {
  struct Case {
    std::string text;
    bool ok;
    CommandKind kind;
    std::string destination;
    std::vector<std::string> patterns;
    bool overwrite;
  };
  const Case cases[] = {
      {"x a.lzh", true, CommandKind::Extract, "", {}, false},
      {"X -o a.lzh \"out dir/\" *.txt sub/*", true, CommandKind::Extract, "out dir/", {"*.txt", "sub/*"}, true},
      {"e a.lzh out\\ x", true, CommandKind::ExtractFlat, "out\\", {"x"}, false},
      // A name whose last byte is the 0x5C of a double-byte character is no folder.
      {"e a.lzh " + sj("表"), true, CommandKind::ExtractFlat, "", {sj("表")}, false},
      {"l a.lzh out/", true, CommandKind::List, "", {"out/"}, false},
      {"t a.lzh", true, CommandKind::Test, "", {}, false},
      {"d a.lzh x y", true, CommandKind::Delete, "", {"x", "y"}, false},
      {"d a.lzh", false, CommandKind::Delete, "", {}, false},
      {"x", false, CommandKind::Extract, "", {}, false},
  };
  for (const Case& c : cases) {
    Command cmd;
    std::string error;
    ASSERT_EQ(parseCommand(c.text, cmd, error), c.ok) << c.text << ": " << error;
    if (!c.ok) continue;
    EXPECT_EQ(cmd.kind, c.kind) << c.text;
    EXPECT_EQ(cmd.archive, "a.lzh") << c.text;
    EXPECT_EQ(cmd.destination, c.destination) << c.text;
    EXPECT_EQ(cmd.sources, c.patterns) << c.text;
    EXPECT_EQ(cmd.overwrite, c.overwrite) << c.text;
  }
}

}  // namespace
}  // namespace unlha
