// Reading a batch file: line ends, the end-of-file byte, long lines, the text
// encoding, and the errors of the system turned into the texts the error box
// shows.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/batch_file_reader.h"
#include "engine/batch_io_error.h"
#include "engine/handler_error.h"
#include "tests/support/temp_folder.h"

namespace vedo {
namespace {

using test::sj;

// The lines read; a line CP932 cannot hold is given as "!" and its bytes.
std::vector<std::string> readAll(const std::string& bytes) {
  test::TempFolder dir;
  dir.write("b.vdb", bytes);
  BatchFileReader reader(dir.sjis("b.vdb"));
  std::vector<std::string> lines;
  while (!reader.atEnd()) {
    const BatchFileLine line = reader.readLine();
    lines.push_back(line.fitsCp932 ? line.text : "!" + line.text);
  }
  reader.close();
  return lines;
}

using Lines = std::vector<std::string>;

struct ReadCase {
  const char* name;
  std::string bytes;
  Lines lines;
};

class BatchFileLines : public ::testing::TestWithParam<ReadCase> {};

TEST_P(BatchFileLines, SplitsIntoCp932Lines) { EXPECT_EQ(readAll(GetParam().bytes), GetParam().lines); }

const std::string kBlock(64 * 1024, 'b');

INSTANTIATE_TEST_SUITE_P(
    Files, BatchFileLines,
    ::testing::Values(
        ReadCase{"CrLf", "H\r\nA;B\r\n", Lines{"H", "A;B"}},
        ReadCase{"LoneCr", "H\rA;B\rC", Lines{"H", "A;B", "C"}},
        ReadCase{"LineFeed", "H\nA;B\nC\n", Lines{"H", "A;B", "C"}},
        ReadCase{"MixedLineEnds", "H\r\n\nA\r\r\nB\n\rC", Lines{"H", "", "A", "", "B", "", "C"}},
        ReadCase{"EmptyLinesKept", "H\r\n\r\n\r\nA", Lines{"H", "", "", "A"}},
        ReadCase{"EndOfFileByteInLine", std::string("H\r\nA;B\x1A" "C;D\r\n", 13), Lines{"H", "A;B"}},
        ReadCase{"EndOfFileByteAtLineStart", std::string("H\r\n\x1A" "C;D\r\n", 10), Lines{"H"}},
        ReadCase{"Empty", "", Lines{}},
        ReadCase{"LineLongerThanBlock", "H\r\n" + kBlock + kBlock + "x\r\nT", Lines{"H", kBlock + kBlock + "x", "T"}},
        // The CR is the last byte of the first block and its LF the first of the next.
        ReadCase{"CrLfAcrossBlocks", std::string(64 * 1024 - 1, 'c') + "\r\nT",
                 Lines{std::string(64 * 1024 - 1, 'c'), "T"}},
        // UTF-8 with a byte-order mark, or valid UTF-8 holding a non-ASCII
        // character, is converted line by line; a line CP932 cannot hold is
        // marked, the others still read.
        ReadCase{"Utf8WithMark", "\xEF\xBB\xBFH\nA;B\n", Lines{"H", "A;B"}},
        ReadCase{"Utf8", "H\n表.txt;表.lzh\n", Lines{"H", test::sj("表.txt;表.lzh")}},
        ReadCase{"Utf8LineCp932CannotHold", "H\n\xF0\x9F\x98\x80.txt\n表;b\n",
                 Lines{"H", "!\xF0\x9F\x98\x80.txt", test::sj("表;b")}},
        // CP932 bytes are not valid UTF-8: the file stays CP932, even when one
        // double-byte pair would be a valid UTF-8 sequence on its own.
        ReadCase{"Cp932", test::sj("H\r\n表.txt;ソフト.lzh\r\n"), Lines{"H", test::sj("表.txt;ソフト.lzh")}},
        ReadCase{"Cp932PairThatLooksLikeUtf8", test::sj("H\nﾃｽﾄ;表\n"), Lines{"H", test::sj("ﾃｽﾄ;表")}},
        // A stray byte breaks UTF-8: the whole file is CP932.
        ReadCase{"InvalidUtf8StaysCp932", "H\n\xC3\xA9;\xFF\n", Lines{"H", "\xC3\xA9;\xFF"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ErrnoCase {
  int err;
  const char* text;  // UTF-8
};

class BatchIoErrors : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(BatchIoErrors, TextForErrno) {
  EXPECT_EQ(BatchIoErrorText(GetParam().err), sj(GetParam().text));
  try {
    ThrowBatchIoError(GetParam().err);
    ADD_FAILURE() << "no exception";
  } catch (const HandlerError& e) {
    EXPECT_EQ(e.text(), sj(GetParam().text));
  }
}

INSTANTIATE_TEST_SUITE_P(Mapping, BatchIoErrors,
                         ::testing::Values(ErrnoCase{ENOENT, "ﾌｧｲﾙが見つかりません."},
                                           ErrnoCase{ENAMETOOLONG, "不正なﾌｧｲﾙ名です."},
                                           ErrnoCase{ENOTDIR, "不正なﾌｧｲﾙ名です."},
                                           ErrnoCase{EMFILE, "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます."},
                                           ErrnoCase{ENFILE, "ｵｰﾌﾟﾝしたﾌｧｲﾙが多すぎます."},
                                           ErrnoCase{EACCES, "ﾌｧｲﾙへのｱｸｾｽが拒否されました."},
                                           ErrnoCase{EISDIR, "ﾌｧｲﾙへのｱｸｾｽが拒否されました."},
                                           ErrnoCase{ENOSPC, "ﾃﾞｨｽｸがいっぱいです."},
                                           // EIO is 5 on Linux: shown as itself, not as code 5.
                                           ErrnoCase{EIO, "I/O ｴﾗｰ (5)"},
                                           ErrnoCase{EOVERFLOW, "I/O ｴﾗｰ (75)"}),
                         [](const auto& info) { return std::string(strerrorname_np(info.param.err)); });

TEST(BatchFileReader, OpenErrorsAreHandlerErrors) {
  test::TempFolder dir;
  std::filesystem::create_directory(dir.path() / "folder");
  // A folder opens but cannot be read.
  BatchFileReader folder(dir.sjis("folder"));
  try {
    folder.readLine();
    ADD_FAILURE() << "read a folder";
  } catch (const HandlerError& e) {
    EXPECT_EQ(e.text(), sj("ﾌｧｲﾙへのｱｸｾｽが拒否されました."));
  }
  try {
    BatchFileReader missing(dir.sjis("gone.vdb"));
    ADD_FAILURE() << "opened a missing file";
  } catch (const HandlerError& e) {
    EXPECT_EQ(e.text(), sj("ﾌｧｲﾙが見つかりません."));
  }
}

}  // namespace
}  // namespace vedo
