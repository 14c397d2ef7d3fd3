// The batch runner and the copy, move and change-folder entries on real batch
// files (CP932 bytes) in a temporary folder made current, with the scripted
// port and the stand-in archiver library recording every command.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/batch_runner.h"
#include "engine/compress_entry.h"
#include "engine/engine_context.h"
#include "engine/file_entries.h"
#include "engine/handler_error.h"
#include "engine/job_fields.h"
#include "engine/run_report.h"
#include "platform/file_system.h"
#include "tests/support/fake_unlha.h"
#include "tests/support/other_program.h"
#include "tests/support/scripted_port.h"
#include "tests/support/temp_folder.h"

namespace vedo {
namespace {

namespace stdfs = std::filesystem;
using test::Prompt;
using test::sj;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kHeader = "[VEDO BATFILE]";

// The quoted pieces of an archiver command: the archive, then the source.
std::vector<std::string> quoted(const std::string& command) {
  std::vector<std::string> out;
  for (std::size_t open = command.find('"'); open != std::string::npos;) {
    const std::size_t close = command.find('"', open + 1);
    if (close == std::string::npos) break;
    out.push_back(command.substr(open + 1, close - open - 1));
    open = command.find('"', close + 1);
  }
  return out;
}

// Job fields that also log the order of the writes.
class LoggingFields : public PlainJobFields {
 public:
  void setSource(const std::string& text) override {
    writes.push_back("source " + text);
    PlainJobFields::setSource(text);
  }
  void setTarget(const std::string& text) override {
    writes.push_back("target " + text);
    PlainJobFields::setTarget(text);
  }
  std::vector<std::string> writes;
};

class BatchRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { unlha32::LoadArchiver(test::fakeUnlhaPath().c_str()); }

  void SetUp() override {
    fake.setAction(
        [](const char* command, void* log) { static_cast<std::vector<std::string>*>(log)->push_back(command); },
        &commands);
  }
  void TearDown() override { fake.reset(); }

  // Writes the batch file: the header line, then the lines (UTF-8 -> CP932),
  // each ending in CR LF.
  void writeBatch(const std::vector<std::string>& lines, const std::string& header = kHeader) {
    std::string bytes = sj(header) + "\r\n";
    for (const std::string& line : lines) bytes += sj(line) + "\r\n";
    writeBatchBytes(bytes);
  }
  void writeBatchBytes(const std::string& bytes) {
    batch.write("b.vdb", bytes);
    fields.setBatchFileName(batch.sjis("b.vdb"));
  }
  void run(const std::vector<std::string>& lines) {
    writeBatch(lines);
    RunBatchFile(ctx);
  }
  void file(const std::string& name, const std::string& content = "data") { dir.write(name, content); }
  bool exists(const std::string& name) const { return stdfs::exists(dir.path() / name); }

  // The archive and source of every archiver call, as "archive <- source" (CP932).
  std::vector<std::string> calls() const {
    std::vector<std::string> out;
    for (const std::string& c : commands) {
      const auto q = quoted(c);
      out.push_back(q.size() == 2 ? q[0] + " <- " + q[1] : c);
    }
    return out;
  }

  test::TempFolder batch;     // holds the batch file, away from the working folder
  test::TempFolder dir{true};  // current for the test; the previous folder comes back after it
  AppState state;
  LoggingFields fields;
  test::ScriptedPort port{state};
  test::FakeUnlha fake;
  std::vector<std::string> commands;
  EngineContext ctx{state, fields, port, unlha32::Archiver()};
};

// --- Start and end of a run ---------------------------------------------------

TEST_F(BatchRun, HeaderWithTrailingWordsIsAccepted) {
  file("A.TXT");
  writeBatch({"A.TXT;A.LZH"}, "[VEDO BATFILE] nightly run, version 2");
  RunBatchFile(ctx);
  EXPECT_THAT(calls(), ElementsAre("A.LZH <- A.TXT"));
  EXPECT_THAT(port.sounds(), ElementsAre("sound asterisk"));
  ASSERT_EQ(port.notices().size(), 1u);
  EXPECT_EQ(port.notices()[0].kind, NoticeKind::Information);
  EXPECT_EQ(port.notices()[0].buttons, unsigned{ButtonOk});
  EXPECT_EQ(port.notices()[0].text, sj("バッチ処理が終了しました"));
}

TEST_F(BatchRun, MissingOrForeignFileIsRefused) {
  fields.setBatchFileName(batch.sjis("none.vdb"));
  RunBatchFile(ctx);
  writeBatch({"A.TXT;A.LZH"}, "[VEDO BATFILE");
  RunBatchFile(ctx);
  stdfs::create_directory(batch.path() / "folder.vdb");
  fields.setBatchFileName(batch.sjis("folder.vdb"));
  RunBatchFile(ctx);
  EXPECT_THAT(port.log(), ElementsAre("sound exclamation", "notice error [Abort] バッチ処理ファイルがありません",
                                      "sound exclamation", "notice error [Abort] バッチ処理ファイルではありません",
                                      "sound exclamation", "notice error [Abort] バッチ処理ファイルがありません"));
  EXPECT_THAT(commands, IsEmpty());
}

struct EndCase {
  bool batchConfirm;
  int deleteMode;
  bool progressVisible;
  bool notice;
};

class BatchEnd : public BatchRun, public ::testing::WithParamInterface<EndCase> {};

TEST_P(BatchEnd, HidesProgressPlaysAsteriskAndNoticesWhenConfigured) {
  const EndCase& c = GetParam();
  state.BatchConfirm = c.batchConfirm;
  state.DeleteMode = c.deleteMode;
  port.setProgressVisible(c.progressVisible);
  run({});
  std::vector<std::string> expected;
  if (c.progressVisible) expected.push_back("progress-hide");
  expected.push_back("sound asterisk");
  if (c.notice) expected.push_back("notice information [OK] バッチ処理が終了しました");
  EXPECT_EQ(port.log(), expected);
}

INSTANTIATE_TEST_SUITE_P(Settings, BatchEnd,
                         ::testing::Values(EndCase{true, 0, true, true}, EndCase{false, 1, false, false},
                                           EndCase{false, 3, true, true}, EndCase{false, 2, true, false}));

// --- Reading the lines -------------------------------------------------------

TEST_F(BatchRun, DeleteEntryWithCommentCompressesIntoTrimmedTargetAndDeletes) {
  stdfs::create_directories(dir.path() / "DATA");
  stdfs::create_directories(dir.path() / "ARC");
  file("DATA/a.txt");
  file("DATA/b.txt");
  file("DATA/keep.doc");
  run({"<DL>DATA\\*.txt;ARC\\DATA.LZH {monthly}", "  {a comment line after blanks} X.TXT;X.LZH"});
  EXPECT_THAT(calls(), ElementsAre("ARC\\DATA.LZH <- DATA\\*.txt"));
  EXPECT_THAT(port.prompts(), IsEmpty());  // deleted without asking
  EXPECT_FALSE(exists("DATA/a.txt"));
  EXPECT_FALSE(exists("DATA/b.txt"));
  EXPECT_TRUE(exists("DATA/keep.doc"));
  EXPECT_TRUE(exists("ARC/DATA.LZH"));
  EXPECT_EQ(state.EntryCommand, EntryPlain);  // set by the comment line, the last one read
}

TEST_F(BatchRun, LinesWithoutSemicolonPrefixesAndComments) {
  file("A.TXT ");  // the source keeps its blank before the comment
  file("B.TXT");
  file("C.TXT");
  file("D.TXT");
  file("ボA.TXT");
  run({"A.TXT {note};A.LZH", "B.TXT", "<DL>C.TXT", "<XX>D.TXT;D.LZH", "ボA.TXT;ボA.LZH"});
  EXPECT_THAT(calls(), ElementsAre(sj("A.LZH <- A.TXT "), "B.TXT <- B.TXT", "<DL>C.TXT <- C.TXT",
                                   "D.LZH <- D.TXT", sj("ボA.LZH <- ボA.TXT")));
  EXPECT_FALSE(exists("C.TXT"));  // DL deleted the source of the archive named by the whole line
  EXPECT_TRUE(exists("D.TXT"));   // the unknown code deleted nothing
  EXPECT_EQ(state.EntryCommand, EntryPlain);
}

TEST_F(BatchRun, SourceIsWrittenBeforeTarget) {
  file("A.TXT");
  run({"A.TXT;ARC.LZH"});
  EXPECT_THAT(fields.writes, ElementsAre("source A.TXT", "target ARC.LZH"));
  EXPECT_EQ(fields.Target(), "ARC.LZH");
}

TEST_F(BatchRun, LineFeedFileRunsEveryLine) {
  file("A.TXT");
  writeBatchBytes(kHeader + "\nA.TXT;A.LZH\nA.TXT;B.LZH\n");
  RunBatchFile(ctx);
  EXPECT_THAT(calls(), ElementsAre("A.LZH <- A.TXT", "B.LZH <- A.TXT"));
}

// A UTF-8 file from a Linux editor: its entries reach the archiver in CP932;
// a line CP932 cannot hold fails its own entry, with a notice naming the line,
// and the run goes on.
TEST_F(BatchRun, Utf8LineCp932CannotHoldFailsOnlyItsEntry) {
  file("表.txt");
  std::vector<std::string> reported;
  RunReport report([&](const std::string& line) { reported.push_back(line); });
  ctx.report = &report;
  writeBatchBytes(kHeader + "\n\xF0\x9F\x98\x80.txt;x.lzh\n表.txt;表.lzh\n");
  RunBatchFile(ctx);
  EXPECT_THAT(calls(), ElementsAre(sj("表.lzh <- 表.txt")));
  // (The stand-in archiver writes no archive: the second entry reports that.)
  ASSERT_EQ(reported.size(), 2u);
  EXPECT_NE(reported[0].find(" 2 "), std::string::npos) << "names line 2";
  EXPECT_EQ(report.exitStatus(), ExitFailed);
  ASSERT_FALSE(port.notices().empty());
  EXPECT_EQ(port.notices().front().text, reported[0]);
}

TEST_F(BatchRun, EndOfFileByteEndsTheRun) {
  file("A.TXT");
  file("B.TXT");
  writeBatchBytes(kHeader + "\r\nA.TXT;A.LZH\r\n\x1A" "B.TXT;B.LZH\r\n");
  RunBatchFile(ctx);
  EXPECT_THAT(calls(), ElementsAre("A.LZH <- A.TXT"));
  EXPECT_EQ(port.notices().size(), 1u);  // finished normally
}

TEST_F(BatchRun, DialogCodesSwitchArchiverDisplayForLaterJobs) {
  file("A.TXT");
  run({"<UN>A.TXT;A.LZH"});
  EXPECT_FALSE(state.JobDialogs);
  EXPECT_EQ(commands.at(0).rfind("a -n ", 0), 0u);
  run({"<UD>A.TXT;A.LZH"});
  EXPECT_TRUE(state.JobDialogs);
  EXPECT_EQ(commands.at(1).rfind("a  ", 0), 0u);
}

TEST_F(BatchRun, EmptyPartsAreSkippedAndTheRunGoesOn) {
  file("A.TXT");
  run({"A.TXT;", "A.TXT; {none}", ";A.LZH", "   ", "<DL>", "<CD> {nowhere}", "A.TXT;A.LZH"});
  EXPECT_THAT(calls(), ElementsAre("A.LZH <- A.TXT"));
  EXPECT_THAT(port.prompts(), IsEmpty());
}

// --- Stopping early ----------------------------------------------------------

TEST_F(BatchRun, AbortAtConfirmStopsBeforeNextLine) {
  file("A.TXT");
  file("B.TXT");
  port.script(Prompt::Confirm, {AnswerAbort});
  run({"<BC>A.TXT;A.LZH", "B.TXT;B.LZH"});
  EXPECT_THAT(commands, IsEmpty());
  EXPECT_THAT(port.prompts(), ElementsAre("show confirm -> 3"));
  EXPECT_THAT(port.notices(), IsEmpty());  // no completion notice
}

TEST_F(BatchRun, SkipAtConfirmGoesOn) {
  file("A.TXT");
  file("B.TXT");
  port.script(Prompt::Confirm, {AnswerSkip});
  run({"<BC>A.TXT;A.LZH", "B.TXT;B.LZH"});
  EXPECT_THAT(calls(), ElementsAre("B.LZH <- B.TXT"));
}

TEST_F(BatchRun, AbortLeftByEarlierRunDoesNotStopTheNext) {
  file("A.TXT");
  file("B.TXT");
  state.EntryAnswer = AnswerAbort;
  run({"A.TXT;A.LZH", "B.TXT;B.LZH"});
  EXPECT_EQ(commands.size(), 2u);
}

TEST_F(BatchRun, MissingFolderStopsWithWarning) {
  file("A.TXT");
  port.setProgressVisible(true);
  run({"<CD>NOWHERE", "A.TXT;A.LZH"});
  EXPECT_THAT(commands, IsEmpty());
  EXPECT_THAT(port.log(), ElementsAre("sound asterisk",
                                      "notice warning [Abort] 指定のフォルダーが見つかりません\r"
                                      "バッチ処理の実行を中断します。\r"));
  EXPECT_TRUE(port.progressWindowVisible());
}

TEST_F(BatchRun, ChangedFolderResolvesLaterEntriesAndStaysCurrent) {
  stdfs::create_directories(dir.path() / "WORK" / "SUB");
  file("WORK/SUB/c.txt");
  run({"<CD> WORK\\SUB", "c.txt;c.lzh"});
  EXPECT_THAT(calls(), ElementsAre("c.lzh <- c.txt"));
  EXPECT_TRUE(exists("WORK/SUB/c.lzh"));
  EXPECT_EQ(stdfs::current_path(), dir.path() / "WORK" / "SUB");
  EXPECT_EQ(state.EntryCommand, EntryPlain);
}

// --- Copy and move entries ---------------------------------------------------

TEST_F(BatchRun, CopyIntoFolderCreatedFirst) {
  file("A.TXT", "alpha");
  run({"<CP>A.TXT;BACKUP"});
  EXPECT_EQ(dir.read("BACKUP/A.TXT"), "alpha");
  EXPECT_EQ(dir.read("A.TXT"), "alpha");
  EXPECT_EQ(fields.Target(), "BACKUP/A.TXT");
  EXPECT_THAT(commands, IsEmpty());
}

TEST_F(BatchRun, MoveOntoExistingFileReplacesItAndDeletesSource) {
  stdfs::create_directories(dir.path() / "BACKUP");
  file("DATA.TXT", "new");
  file("BACKUP/DATA.TXT", "old");
  run({"<MV>DATA.TXT;BACKUP\\"});
  EXPECT_EQ(dir.read("BACKUP/DATA.TXT"), "new");
  EXPECT_FALSE(exists("DATA.TXT"));
  EXPECT_EQ(fields.Target(), "BACKUP\\DATA.TXT");
}

TEST_F(BatchRun, CopyOrMoveOntoItselfChangesNothing) {
  file("A.TXT", "alpha");
  run({"<CP>A.TXT;.", "<MV>A.TXT;.\\", "<MV>A.TXT;./"});
  EXPECT_EQ(dir.read("A.TXT"), "alpha");
  EXPECT_EQ(std::distance(stdfs::directory_iterator(dir.path()), stdfs::directory_iterator()), 1);
}

TEST_F(BatchRun, MissingCopySourceAsksOrStaysSilent) {
  file("B.TXT");
  port.script(Prompt::SourceNotFound, {AnswerSkip, AnswerAbort});
  run({"<CP>NONE.TXT;BACKUP", "<MV>GONE.TXT;BACKUP", "<CP>B.TXT;BACKUP"});
  const std::string full = fs::currentFolder().value();
  EXPECT_THAT(port.log(),
              ElementsAre("progress-running-label", "not-found-label " + full + "/NONE.TXT", "sound asterisk",
                          "show not-found -> 2", "progress-running-label",
                          "not-found-label " + full + "/GONE.TXT", "sound asterisk", "show not-found -> 3"));
  EXPECT_FALSE(exists("BACKUP"));  // stopped before the third line

  port.clearLog();
  state.BatchConfirm = false;
  run({"<CP>NONE.TXT;BACKUP", "<CP>B.TXT;BACKUP"});
  EXPECT_THAT(port.log(), ElementsAre("sound asterisk"));
  EXPECT_TRUE(exists("BACKUP/B.TXT"));
}

TEST_F(BatchRun, CopyWithEmptyTargetCopiesNothing) {
  file("A.TXT");
  fields.setSource("A.TXT");
  fields.setTarget("");
  CopyOrMoveEntry(ctx, EntryMV);
  EXPECT_TRUE(exists("A.TXT"));
  EXPECT_EQ(fields.Target(), "");
}

// Another program writes the source of a move while it runs: the source goes
// only when it still holds exactly what the copy holds; otherwise both stay.
struct MoveRaceCase {
  const char* name;
  test::RemovalStep step;
  void (*act)(const stdfs::path& file);
  const char* keptAside;  // the source kept under another name, or nullptr
};
void PrintTo(const MoveRaceCase& c, std::ostream* os) { *os << c.name; }

class MoveRace : public BatchRun, public ::testing::WithParamInterface<MoveRaceCase> {};

TEST_P(MoveRace, KeepsBothFiles) {
  const MoveRaceCase& c = GetParam();
  file("A.TXT", "copied bytes");
  {
    test::OtherProgram other(c.step, "A.TXT", c.act);
    run({"<MV>A.TXT;BACKUP"});
  }
  EXPECT_EQ(dir.read("BACKUP/A.TXT"), "copied bytes");
  EXPECT_EQ(dir.read("A.TXT"), "COPIED BYTES, and more");
  const auto entries = std::distance(stdfs::directory_iterator(dir.path()), stdfs::directory_iterator());
  EXPECT_EQ(entries, c.keptAside ? 3 : 2);
  if (c.keptAside) {
    const std::string aside = test::movedAside(dir.path()).filename().string();
    EXPECT_EQ(dir.read(aside), c.keptAside);
    const auto notices = port.notices();
    EXPECT_EQ(std::count_if(notices.begin(), notices.end(),
                            [&](const test::PortEvent& n) { return n.text.find(aside) != std::string::npos; }),
              1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Races, MoveRace,
    ::testing::Values(
        MoveRaceCase{"WrittenAfterTheCopy", test::RemovalStep::BeforeCheck,
                     [](const stdfs::path& f) { std::ofstream(f, std::ios::binary) << "COPIED BYTES, and more"; },
                     nullptr},
        MoveRaceCase{"RewrittenWithItsTimePutBack", test::RemovalStep::BeforeCheck,
                     [](const stdfs::path& f) { test::rewriteKeepingTime(f, "COPIED BYTES, and more"); }, nullptr},
        // Bytes changed with size and times as they were (a shared mapping):
        // only the comparison with the copy sees it.
        MoveRaceCase{"ChangedUnseenByTimesWhileAside", test::RemovalStep::MovedAside,
                     [](const stdfs::path& f) {
                       test::rewriteKeepingTime(test::movedAside(f.parent_path()), "COPIED BYTES");
                       std::ofstream(f, std::ios::binary) << "COPIED BYTES, and more";
                     },
                     "COPIED BYTES"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BatchRun, CopyOrMoveOfAFifoFailsWithoutWaiting) {
  ASSERT_EQ(::mkfifo((dir.path() / "PIPE").c_str(), 0644), 0);
  run({"<CP>PIPE;BACKUP", "<MV>PIPE;BACKUP"});
  EXPECT_TRUE(stdfs::is_fifo(dir.path() / "PIPE"));
  EXPECT_FALSE(exists("BACKUP/PIPE"));
}

// A single job from the main window after a batch whose last line deleted
// its sources runs as a plain entry: it deletes nothing it was not told to.
TEST_F(BatchRun, SingleJobAfterADeletingBatchRunsPlain) {
  file("A.TXT");
  file("B.TXT");
  run({"<DL>A.TXT;A.LZH"});
  EXPECT_FALSE(exists("A.TXT"));
  fields.setSource("B.TXT");
  fields.setTarget("B.LZH");
  fields.setDeleteAfter(false);
  EXPECT_TRUE(RunSingleJob(ctx));
  EXPECT_TRUE(exists("B.TXT"));
  EXPECT_EQ(state.EntryCommand, EntryPlain);
}

// --- Errors of the system on the batch file ----------------------------------

// A read that fails as root too: /proc/self/mem is a regular file whose first
// page is never mapped, so reading it gives EIO.
TEST_F(BatchRun, ReadErrorEndsRunWithHandlerError) {
  if (!fs::fileExists("/proc/self/mem")) GTEST_SKIP() << "no /proc";
  fields.setBatchFileName("/proc/self/mem");
  port.setProgressVisible(true);
  try {
    RunBatchFile(ctx);
    ADD_FAILURE() << "no error";
  } catch (const HandlerError& e) {
    EXPECT_EQ(e.text(), sj("I/O ｴﾗｰ (5)"));
  }
  EXPECT_THAT(port.log(), IsEmpty());
  EXPECT_TRUE(port.progressWindowVisible());
}

}  // namespace
}  // namespace vedo
