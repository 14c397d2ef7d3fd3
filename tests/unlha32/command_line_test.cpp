// Splitting the command text the tool sends into command, switches, archive
// and sources.

#include <gtest/gtest.h>

#include "command_line.h"
#include "temp_folder.h"

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

TEST(ParseCommand, ReadingCommandsAreRecognisedButNotYetBuilt) {
  Command c;
  std::string error;
  ASSERT_TRUE(parseCommand("x a.lzh", c, error));
  EXPECT_EQ(c.kind, CommandKind::NotYetSupported);
}

}  // namespace
}  // namespace unlha
