// The batch line parser on its own: prefix codes, the ";" and "{" cuts, trimming,
// comment lines and the entries that trimming leaves empty.

#include <gtest/gtest.h>

#include <string>

#include "engine/app_state.h"
#include "engine/batch_line.h"
#include "tests/support/temp_folder.h"

namespace vedo {
namespace {

using test::sj;

struct LineCase {
  const char* name;
  const char* line;  // UTF-8, converted to CP932
  BatchLineAction action;
  int command;
  const char* source;  // expected, UTF-8
  const char* target;
};

class BatchLineCases : public ::testing::TestWithParam<LineCase> {};

TEST_P(BatchLineCases, TakesLineApart) {
  const LineCase& c = GetParam();
  const BatchLine parsed = ParseBatchLine(sj(c.line));
  EXPECT_TRUE(parsed.setsCommand);
  EXPECT_EQ(parsed.action, c.action);
  EXPECT_EQ(parsed.command, c.command);
  if (c.action != BatchLineAction::Skip) {
    EXPECT_EQ(parsed.source, sj(c.source));
    if (c.action != BatchLineAction::ChangeFolder) {
      EXPECT_EQ(parsed.target, sj(c.target));
    }
  }
}

constexpr auto Entry = BatchLineAction::Entry;
constexpr auto Skip = BatchLineAction::Skip;
constexpr auto Incomplete = BatchLineAction::Incomplete;
constexpr auto Cd = BatchLineAction::ChangeFolder;

INSTANTIATE_TEST_SUITE_P(
    Lines, BatchLineCases,
    ::testing::Values(
        LineCase{"DeleteWithTrailingComment", R"(<DL>C:\DATA\*.TXT;C:\ARC\DATA.LZH {monthly})", Entry,
                 EntryDL, R"(C:\DATA\*.TXT)", R"(C:\ARC\DATA.LZH)"},
        LineCase{"SourceKeepsBlankBeforeComment", "A.TXT {note};A.LZH", Entry, EntryPlain, "A.TXT ",
                 "A.LZH"},
        LineCase{"NoSemicolonSourceIsArchive", "B.TXT", Entry, EntryPlain, "B.TXT", "B.TXT"},
        LineCase{"NoSemicolonArchiveKeepsPrefix", "<DL>B.TXT", Entry, EntryDL, "B.TXT", "<DL>B.TXT"},
        LineCase{"UnknownCodeDropped", "<XX>A.TXT;A.LZH", Entry, EntryPlain, "A.TXT", "A.LZH"},
        LineCase{"CodesAreCaseSensitive", "<dl>A.TXT;A.LZH", Entry, EntryPlain, "A.TXT", "A.LZH"},
        LineCase{"FourthPrefixByteNotTested", "<DCxA.TXT;A.LZH", Entry, EntryDC, "A.TXT", "A.LZH"},
        LineCase{"BlanksAndTabsTrimmed", "\t A.TXT \t; \tA.LZH\t ", Entry, EntryPlain, "A.TXT", "A.LZH"},
        LineCase{"TargetCutAtCommentThenTrimmed", "A.TXT; A.LZH  {a; b} ", Entry, EntryPlain, "A.TXT",
                 "A.LZH"},
        LineCase{"SecondByteOfBoIsNoComment", "ボ.TXT;ボ.LZH", Entry, EntryPlain, "ボ.TXT", "ボ.LZH"},
        LineCase{"SecondByteOfSoIsNoSeparatorIssue", "ソ表.TXT;ソ表\\", Entry, EntryPlain, "ソ表.TXT",
                 "ソ表\\"},
        LineCase{"CopyCode", "<CP>A.TXT;BACKUP", Entry, EntryCP, "A.TXT", "BACKUP"},
        LineCase{"MoveCode", "<MV>A.TXT;BACKUP\\", Entry, EntryMV, "A.TXT", "BACKUP\\"},
        LineCase{"AskCodes", "<BC>A;B", Entry, EntryBC, "A", "B"},
        LineCase{"AskBothCodes", "<BD>A;B", Entry, EntryBD, "A", "B"},
        LineCase{"NoDeleteCode", "<ND>A;B", Entry, EntryND, "A", "B"},
        LineCase{"ChangeFolder", "<CD>WORK", Cd, EntryCD, "WORK", ""},
        LineCase{"ChangeFolderIgnoresTarget", "<CD> WORK ;", Cd, EntryCD, "WORK", ""},
        LineCase{"CommentAfterBlanks", "  {a comment} A.TXT;A.LZH", Skip, EntryPlain, "", ""},
        LineCase{"CommentAfterPrefix", "<DL>{off for now}A.TXT;A.LZH", Skip, EntryDL, "", ""},
        LineCase{"OnlyBlanks", " \t \x01", Skip, EntryPlain, "", ""},
        LineCase{"PrefixOnly", "<DL>", Skip, EntryDL, "", ""},
        LineCase{"PrefixThenBlanks", "<DL>   ", Skip, EntryDL, "", ""},
        LineCase{"ShortPrefix", "<DL", Skip, EntryDL, "", ""},
        LineCase{"SemicolonFirst", ";A.LZH", Incomplete, EntryPlain, "", "A.LZH"},
        LineCase{"EmptyTarget", "A.TXT;", Incomplete, EntryPlain, "A.TXT", ""},
        LineCase{"TargetOnlyComment", "A.TXT; {none}", Incomplete, EntryPlain, "A.TXT", ""},
        LineCase{"ChangeFolderEmpty", "<CD> {nowhere}", Skip, EntryCD, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BatchLine, EmptyLineLeavesCommandAlone) {
  const BatchLine parsed = ParseBatchLine("");
  EXPECT_FALSE(parsed.setsCommand);
  EXPECT_EQ(parsed.action, BatchLineAction::Skip);
}

TEST(BatchLine, DialogCodesSwitchDisplayAndStayPlainCompress) {
  const BatchLine on = ParseBatchLine("<UD>A.TXT;A.LZH");
  EXPECT_EQ(on.command, EntryPlain);
  EXPECT_EQ(on.jobDialogs, true);
  EXPECT_EQ(on.action, BatchLineAction::Entry);
  const BatchLine off = ParseBatchLine("<UN>");  // switches even with nothing to run
  EXPECT_EQ(off.jobDialogs, false);
  EXPECT_EQ(off.action, BatchLineAction::Skip);
  EXPECT_FALSE(ParseBatchLine("<DL>A;B").jobDialogs.has_value());
}

// The ";" cut removes at most 255 bytes; whatever lies beyond stays in the
// source. The target is the 255 bytes after the ";".
TEST(BatchLine, CutsRemoveAtMost255Bytes) {
  const std::string tail(300, 'x');
  const BatchLine parsed = ParseBatchLine("A;" + tail);
  EXPECT_EQ(parsed.source, "A" + std::string(300 - 254, 'x'));
  EXPECT_EQ(parsed.target, std::string(255, 'x'));

  const BatchLine comment = ParseBatchLine("B{" + std::string(300, 'y') + ";T");
  EXPECT_EQ(comment.source, "B" + std::string(300 - 254, 'y'));
  EXPECT_EQ(comment.target, "T");
}

TEST(BatchLine, LongLineWithoutSemicolonTakesFirst255BytesAsTarget) {
  const std::string line = "<ND>" + std::string(1000, 'a');
  const BatchLine parsed = ParseBatchLine(line);
  EXPECT_EQ(parsed.source, std::string(1000, 'a'));
  EXPECT_EQ(parsed.target, line.substr(0, 255));
}

TEST(BatchHeader, FoundAnywhereAsWholeCharacters) {
  EXPECT_TRUE(IsBatchHeader("[VEDO BATFILE]"));
  EXPECT_TRUE(IsBatchHeader("[VEDO BATFILE] version 2, made by hand"));
  EXPECT_TRUE(IsBatchHeader(sj("ﾊﾞｯﾁ [VEDO BATFILE]")));
  EXPECT_FALSE(IsBatchHeader("[vedo batfile]"));
  EXPECT_FALSE(IsBatchHeader("[VEDO BATFILE"));
  EXPECT_FALSE(IsBatchHeader(""));
  // "[" (0x5B) as the second byte of a double-byte character starts no header.
  EXPECT_FALSE(IsBatchHeader("\x81[VEDO BATFILE]"));
}

}  // namespace
}  // namespace vedo
