#include "engine/compress_entry.h"

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/engine_context.h"
#include "engine/job_fields.h"
#include "tests/support/fake_unlha.h"
#include "tests/support/scripted_port.h"
#include "tests/support/temp_folder.h"

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vedo {
namespace {

namespace stdfs = std::filesystem;
using test::FakeUnlha;
using test::Prompt;
using test::ScriptedPort;
using test::sj;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int FrameClose = ScriptedPort::FrameClose;

// Makes a folder current for a test and restores the previous one after it.
class CurrentFolderGuard {
 public:
  explicit CurrentFolderGuard(const stdfs::path& folder) : previous_(stdfs::current_path()) {
    stdfs::current_path(folder);
  }
  ~CurrentFolderGuard() {
    std::error_code ec;
    stdfs::current_path(previous_, ec);
  }

 private:
  stdfs::path previous_;
};
constexpr int NotAsked = -2;  // a table cell for a prompt that must not open

// One job against the stand-in library: real files in a temporary folder, the
// scripted port, and the process-wide binding loaded with the recording
// library.
class CompressEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unlha32::setNoticeHook([this](const std::string& text) { stubNotices.push_back(text); });
    unlha32::LoadArchiver(test::fakeUnlhaPath().c_str());
    ASSERT_TRUE(unlha32::ArchiverLoaded());
    fake = std::make_unique<FakeUnlha>();
  }
  void TearDown() override {
    fake.reset();
    unlha32::UnloadArchiver();
    unlha32::setNoticeHook(nullptr);
  }

  // Source and target as CP932 paths inside the temporary folder.
  void job(const std::string& source, const std::string& target, bool deleteAfter = false) {
    fields.setSource(source);
    fields.setTarget(target);
    fields.setDeleteAfter(deleteAfter);
  }
  bool run() { return CompressEntry(ctx); }
  bool exists(const std::string& rel) const { return stdfs::exists(tmp.path() / rel); }

  test::TempFolder tmp;
  AppState state;
  PlainJobFields fields;
  ScriptedPort port{state};
  EngineContext ctx{state, fields, port, unlha32::Archiver()};
  std::unique_ptr<FakeUnlha> fake;
  std::vector<std::string> stubNotices;
};

// ---------------------------------------------------------------------------
// The command text.

struct CommandCase {
  const char* name;
  bool unlhaDialogs;
  bool jobDialogs;
  std::string option;
  const char* expected;  // with <T> and <S> for the archive and source texts
};

class CommandTextTest : public CompressEntryTest,
                        public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandTextTest, ArchiverReceivesExactBytes) {
  const CommandCase& c = GetParam();
  tmp.write("DATA/A.TXT", "a");
  tmp.write("DATA/B.TXT", "b");
  // Backslashes as a user types them; the command carries the texts verbatim.
  const std::string source = tmp.sjis() + "\\DATA\\*.TXT";
  const std::string archive = tmp.sjis() + "\\DATA\\ALLFILE.LZH";
  job(source, archive);
  state.UnlhaDialogs = c.unlhaDialogs;
  state.JobDialogs = c.jobDialogs;
  state.UnlhaOption = c.option;

  EXPECT_TRUE(run());

  std::string expected = c.expected;
  expected.replace(expected.find("<T>"), 3, archive);
  expected.replace(expected.find("<S>"), 3, source);
  ASSERT_EQ(fake->callCount(), 1);
  EXPECT_EQ(fake->lastCommand(), expected);
  EXPECT_EQ(fake->lastOwner(), nullptr);
  EXPECT_EQ(fake->lastSize(), 65534u);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandTextTest,
    ::testing::Values(
        CommandCase{"NoOptionDialogsOn", true, true, "", "a  \"<T>\"  \"<S>\""},
        CommandCase{"JobDialogsOffOneSwitch", true, false, "-x1", "a -n -x1 \"<T>\"  \"<S>\""},
        CommandCase{"StoredDialogsOffSeveralSwitches", false, true, "-m7 -r -x1",
                    "a -n -m7 -r -x1 \"<T>\"  \"<S>\""},
        CommandCase{"OptionKeptVerbatim", true, true, " -m6  ", "a  -m6   \"<T>\"  \"<S>\""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Which questions open, in which order with which sounds, and what is deleted.

struct QuestionCase {
  const char* name;
  int startAnswer;
  int entryCommand;
  bool deleteAfter;
  int confirmAnswer;  // NotAsked, FrameClose or an EntryAnswer value
  int deleteAnswer;   // NotAsked, FrameClose or a DeleteAnswer value
  int staleDeleteAnswer;  // DeleteAnswer left by an earlier entry
  bool archiverCalled;
  bool deleted;
  bool result;
};

class QuestionRulesTest : public CompressEntryTest,
                          public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(QuestionRulesTest, AsksDeletesAndAnswers) {
  const QuestionCase& c = GetParam();
  tmp.write("A.TXT", "a");
  tmp.write("B.TXT", "b");
  job(tmp.sjis("*.TXT"), tmp.sjis("ALLFILE.LZH"), c.deleteAfter);
  state.StartAnswer = c.startAnswer;
  state.EntryCommand = c.entryCommand;
  state.DeleteAnswer = c.staleDeleteAnswer;
  std::vector<std::string> expectedPrompts;
  std::vector<std::string> expectedSounds;
  auto expectPrompt = [&](Prompt p, int answer, const char* line, const char* sound) {
    if (answer == NotAsked) return;
    port.script(p, {answer});
    expectedPrompts.push_back(std::string("show ") + line + " -> " +
                              (answer == FrameClose ? "frame-close" : std::to_string(answer)));
    expectedSounds.push_back(std::string("sound ") + sound);
  };
  expectPrompt(Prompt::Confirm, c.confirmAnswer, "confirm", "asterisk");
  expectPrompt(Prompt::Delete, c.deleteAnswer, "delete", "question");

  EXPECT_EQ(run(), c.result);

  EXPECT_EQ(port.prompts(), expectedPrompts);
  EXPECT_EQ(port.sounds(), expectedSounds);
  EXPECT_THAT(port.notices(), IsEmpty());
  EXPECT_EQ(fake->callCount(), c.archiverCalled ? 1 : 0);
  EXPECT_EQ(exists("ALLFILE.LZH"), c.archiverCalled);
  EXPECT_EQ(exists("A.TXT"), !c.deleted);
  EXPECT_EQ(exists("B.TXT"), !c.deleted);
}

constexpr int Other = StartAbort;  // any start answer but "ask for each job"

INSTANTIATE_TEST_SUITE_P(
    Rules, QuestionRulesTest,
    ::testing::Values(
        // name, start, entry, deleteAfter, confirm, delete, stale, called, deleted, result
        QuestionCase{"PlainKeeps", Other, EntryPlain, false, NotAsked, NotAsked, 0, true, false, true},
        QuestionCase{"PlainStartKeep", StartKeep, EntryPlain, false, NotAsked, NotAsked, 0, true, false, true},
        QuestionCase{"PlainStartDeleteNeedsTheBox", StartDelete, EntryPlain, false, NotAsked, NotAsked, 0, true, false, true},
        QuestionCase{"PlainDeleteAfter", Other, EntryPlain, true, NotAsked, NotAsked, 0, true, true, true},
        QuestionCase{"PlainStaleYesDeletesNothing", Other, EntryPlain, false, NotAsked, NotAsked, DeleteYes, true, false, true},
        QuestionCase{"AskEachGoYes", StartAskEach, EntryPlain, false, AnswerGo, DeleteYes, 0, true, true, true},
        QuestionCase{"AskEachGoNo", StartAskEach, EntryPlain, false, AnswerGo, DeleteNo, 0, true, false, false},
        QuestionCase{"AskEachNoBeatsDeleteAfter", StartAskEach, EntryPlain, true, AnswerGo, DeleteNo, 0, true, false, false},
        QuestionCase{"AskEachDeleteClosed", StartAskEach, EntryPlain, false, AnswerGo, FrameClose, DeleteYes, true, false, true},
        QuestionCase{"AskEachDeleteClosedDeleteAfter", StartAskEach, EntryPlain, true, AnswerGo, FrameClose, 0, true, true, true},
        QuestionCase{"AskEachSkip", StartAskEach, EntryPlain, true, AnswerSkip, NotAsked, 0, false, false, false},
        QuestionCase{"AskEachAbort", StartAskEach, EntryPlain, true, AnswerAbort, NotAsked, 0, false, false, false},
        QuestionCase{"AskEachConfirmClosedGoesOn", StartAskEach, EntryPlain, false, FrameClose, DeleteYes, 0, true, true, true},
        QuestionCase{"AskEachDL", StartAskEach, EntryDL, false, NotAsked, NotAsked, 0, true, true, true},
        QuestionCase{"AskEachDCYes", StartAskEach, EntryDC, false, NotAsked, DeleteYes, 0, true, true, true},
        QuestionCase{"AskEachBC", StartAskEach, EntryBC, false, AnswerGo, NotAsked, 0, true, false, true},
        QuestionCase{"AskEachBDYes", StartAskEach, EntryBD, false, AnswerGo, DeleteYes, 0, true, true, true},
        QuestionCase{"AskEachND", StartAskEach, EntryND, true, NotAsked, NotAsked, 0, true, false, false},
        QuestionCase{"DL", Other, EntryDL, false, NotAsked, NotAsked, 0, true, true, true},
        QuestionCase{"DCYes", Other, EntryDC, false, NotAsked, DeleteYes, 0, true, true, true},
        QuestionCase{"DCNo", Other, EntryDC, true, NotAsked, DeleteNo, 0, true, false, false},
        QuestionCase{"DCClosedAfterStaleYes", Other, EntryDC, false, NotAsked, FrameClose, DeleteYes, true, false, true},
        QuestionCase{"BCGo", Other, EntryBC, false, AnswerGo, NotAsked, 0, true, false, true},
        QuestionCase{"BCGoDeleteAfter", Other, EntryBC, true, AnswerGo, NotAsked, 0, true, true, true},
        QuestionCase{"BCSkip", Other, EntryBC, false, AnswerSkip, NotAsked, 0, false, false, false},
        QuestionCase{"BDGoYes", Other, EntryBD, false, AnswerGo, DeleteYes, 0, true, true, true},
        QuestionCase{"BDGoNo", Other, EntryBD, false, AnswerGo, DeleteNo, 0, true, false, false},
        QuestionCase{"BDAbort", Other, EntryBD, false, AnswerAbort, NotAsked, 0, false, false, false},
        QuestionCase{"NDDeleteAfter", Other, EntryND, true, NotAsked, NotAsked, DeleteYes, true, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CompressEntryTest, DeleteQuestionClosedThroughItsFrameKeepsTheCell) {
  tmp.write("A.TXT", "a");
  job(tmp.sjis("A.TXT"), tmp.sjis("A.LZH"));
  state.EntryCommand = EntryDC;
  for (int stale : {0, int(DeleteYes), int(DeleteNo)}) {
    state.DeleteAnswer = stale;
    port.script(Prompt::Delete, {FrameClose});
    EXPECT_TRUE(run());
    EXPECT_EQ(state.DeleteAnswer, stale);
    EXPECT_TRUE(exists("A.TXT"));
  }
  port.script(Prompt::Delete, {DeleteNo});
  EXPECT_FALSE(run());
  EXPECT_EQ(state.DeleteAnswer, DeleteNo);
}

// ---------------------------------------------------------------------------
// Checks before the archiver runs.

TEST_F(CompressEntryTest, EmptySourceIsRefused) {
  job("", tmp.sjis("A.LZH"));
  EXPECT_FALSE(run());
  EXPECT_THAT(port.log(), ElementsAre("sound exclamation",
                                      "notice error [Abort] 対象ファイルを指定してください"));
  EXPECT_EQ(fake->callCount(), 0);
}

TEST_F(CompressEntryTest, WildcardInArchiveNameIsRefused) {
  tmp.write("A.TXT", "a");
  job(tmp.sjis("A.TXT"), tmp.sjis("A?.LZH"));
  EXPECT_FALSE(run());
  EXPECT_THAT(port.log(), ElementsAre("sound exclamation",
                                      "notice error [Cancel] 圧縮ファイル名に\rワイルドカードは使えません"));
  EXPECT_EQ(fake->callCount(), 0);
}

TEST_F(CompressEntryTest, MissingSourceComesBeforeTheWildcardCheck) {
  job(tmp.sjis("NONE.TXT"), tmp.sjis("*.LZH"));
  fields.setBatchFileName("");
  port.script(Prompt::SourceNotFound, {AnswerAbort});
  EXPECT_FALSE(run());
  EXPECT_THAT(port.log(), ElementsAre("progress-running-label",
                                      "not-found-label " + tmp.str("NONE.TXT"), "sound asterisk",
                                      "show not-found -> 3"));
  EXPECT_EQ(state.EntryAnswer, AnswerAbort);
  EXPECT_EQ(fake->callCount(), 0);
}

TEST_F(CompressEntryTest, MissingSourceInQuietBatchShowsNothing) {
  job(tmp.sjis("NONE.TXT"), tmp.sjis("NONE.LZH"));
  fields.setBatchFileName(tmp.sjis("RUN.VDB"));
  state.BatchConfirm = false;
  EXPECT_FALSE(run());
  EXPECT_THAT(port.log(), IsEmpty());
  EXPECT_EQ(fake->callCount(), 0);
}

// Text that is not CP932, or that would come back as other bytes, never
// reaches the file system or the archiver.
TEST_F(CompressEntryTest, TextThatDoesNotRoundTripIsRefused) {
  tmp.write("A.TXT", "a");
  struct Case {
    std::string source, target, notice;
  };
  const std::vector<Case> cases = {
      // 0xED40 (an NEC-selected IBM extension) converts back as 0xFA5C.
      {tmp.sjis() + "/\xED\x40.TXT", tmp.sjis("A.LZH"),
       "notice error [OK] 対象ファイル名に\r使用できない文字が含まれています"},
      {tmp.sjis("A.TXT"), tmp.sjis() + "/A\x81", "notice error [OK] 圧縮ファイル名に\r使用できない文字が含まれています"},
  };
  for (const Case& c : cases) {
    port.clearLog();
    job(c.source, c.target, true);
    EXPECT_FALSE(run());
    EXPECT_THAT(port.log(), ElementsAre("sound exclamation", c.notice));
  }
  EXPECT_EQ(fake->callCount(), 0);
  EXPECT_TRUE(exists("A.TXT"));
}

TEST_F(CompressEntryTest, LabelsCarryFullPathsInOrder) {
  tmp.write("A.TXT", "a");
  stdfs::create_directory(tmp.path() / "sub");
  CurrentFolderGuard here(tmp.path());
  job("./sub/../A.TXT", "A.LZH");
  EXPECT_TRUE(run());
  const std::string src = tmp.str("A.TXT"), arc = tmp.str("A.LZH");
  EXPECT_THAT(port.log(), ElementsAre("progress-labels " + src + " | " + arc,
                                      "confirm-labels " + src + " | " + arc, "delete-label " + src));
  EXPECT_EQ(fake->lastCommand(), "a  \"A.LZH\"  \"./sub/../A.TXT\"");
}

// ---------------------------------------------------------------------------
// The delete pass.

TEST_F(CompressEntryTest, DeletesEveryMatchButTheArchiveAndPlainFolders) {
  tmp.write("A.TXT", "a");
  tmp.write("B.DOC", "b");
  tmp.write(".hidden", "h");
  stdfs::create_directory(tmp.path() / "sub");
  job(tmp.sjis("*"), tmp.sjis("ALL.LZH"), true);
  EXPECT_TRUE(run());
  EXPECT_FALSE(exists("A.TXT"));
  EXPECT_FALSE(exists("B.DOC"));
  EXPECT_FALSE(exists(".hidden"));
  EXPECT_TRUE(exists("sub"));
  EXPECT_TRUE(exists("ALL.LZH"));
  EXPECT_THAT(port.notices(), IsEmpty());
}

// ソ and 表 end in the byte of "\": the folder part is found character-wise, so
// the delete pass names the files the archiver was given.
TEST_F(CompressEntryTest, DeletesInAFolderWhoseNameEndsInTheBackslashByte) {
  tmp.write("ソ表/A.TXT", "a");
  tmp.write("ソ表/B.TXT", "b");
  job(tmp.sjis() + "\\" + sj("ソ表") + "\\*.TXT", tmp.sjis("ALL.LZH"), true);
  EXPECT_TRUE(run());
  EXPECT_FALSE(exists("ソ表/A.TXT"));
  EXPECT_FALSE(exists("ソ表/B.TXT"));
  EXPECT_THAT(port.notices(), IsEmpty());
}

// The archive already existed and the archiver left it in place (same inode,
// size and time), spelled relative while the pattern is absolute: neither the
// spelling nor the before/after check protects it, only the same-file check.
TEST_F(CompressEntryTest, ArchiveSpelledDifferentlySurvives) {
  tmp.write("A.TXT", "a");
  tmp.write("ALL.LZH", "old archive");
  fake->setWriteArchive(false);
  CurrentFolderGuard here(tmp.path());
  job(tmp.sjis("*.*"), "./ALL.LZH", true);
  EXPECT_TRUE(run());
  EXPECT_FALSE(exists("A.TXT"));
  EXPECT_TRUE(exists("ALL.LZH"));
}

TEST_F(CompressEntryTest, ArchiveReachedThroughAHardLinkSurvives) {
  tmp.write("A.TXT", "a");
  tmp.write("ALL.LZH", "old archive");
  stdfs::create_hard_link(tmp.path() / "ALL.LZH", tmp.path() / "LINK.LZH");
  fake->setWriteArchive(false);
  job(tmp.sjis("*.LZH"), tmp.sjis("LINK.LZH"), true);
  EXPECT_TRUE(run());
  EXPECT_TRUE(exists("ALL.LZH"));
  EXPECT_TRUE(exists("LINK.LZH"));
}

TEST_F(CompressEntryTest, ReadOnlySourceIsReportedAndTheOthersStillGo) {
  tmp.write("A.TXT", "a");
  const auto ro = tmp.write("R.TXT", "r");
  tmp.write("Z.TXT", "z");
  stdfs::permissions(ro, stdfs::perms::owner_read);
  job(tmp.sjis("*.TXT"), tmp.sjis("ALL.LZH"), true);
  EXPECT_TRUE(run());
  EXPECT_FALSE(exists("A.TXT"));
  EXPECT_FALSE(exists("Z.TXT"));
  EXPECT_TRUE(exists("R.TXT"));
  EXPECT_THAT(port.log(),
              ElementsAre("progress-labels " + tmp.str("*.TXT") + " | " + tmp.str("ALL.LZH"),
                          "confirm-labels " + tmp.str("*.TXT") + " | " + tmp.str("ALL.LZH"),
                          "delete-label " + tmp.str("*.TXT"), "sound exclamation",
                          "notice warning [OK] 削除できません \"" + tmp.str("R.TXT") + "\""));
}

struct WarningCase {
  bool startedWithArguments;
  bool batchConfirm;
  bool shown;
};

class DeleteWarningTest : public CompressEntryTest,
                          public ::testing::WithParamInterface<WarningCase> {};

TEST_P(DeleteWarningTest, ShownOnlyWithoutArgumentsOrWithBatchNotices) {
  const auto ro = tmp.write("R.TXT", "r");
  stdfs::permissions(ro, stdfs::perms::owner_read);
  state.StartedWithArguments = GetParam().startedWithArguments;
  state.BatchConfirm = GetParam().batchConfirm;
  job(tmp.sjis("R.TXT"), tmp.sjis("R.LZH"), true);
  EXPECT_TRUE(run());
  EXPECT_TRUE(exists("R.TXT"));
  EXPECT_EQ(port.notices().size(), GetParam().shown ? 1u : 0u);
  EXPECT_EQ(port.sounds().size(), GetParam().shown ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Warnings, DeleteWarningTest,
                         ::testing::Values(WarningCase{false, false, true},
                                           WarningCase{false, true, true},
                                           WarningCase{true, true, true},
                                           WarningCase{true, false, false}),
                         [](const auto& info) {
                           return std::string(info.param.startedWithArguments ? "Arguments" : "NoArguments") +
                                  (info.param.batchConfirm ? "BatchConfirm" : "Quiet");
                         });

// A path longer than 255 bytes is deleted whole: its first 255 bytes name
// another file, which must survive.
TEST_F(CompressEntryTest, LongPathIsDeletedWholeNeverCut) {
  const std::string folder = tmp.sjis() + "/" + std::string(200, 'd') + "/";
  const std::size_t cut = 255 - folder.size();
  const std::string shortName(cut, 'k');
  const std::string longName = shortName + std::string(40, 'k') + ".TXT";
  tmp.write(std::string(200, 'd') + "/" + shortName, "must stay");
  tmp.write(std::string(200, 'd') + "/" + longName, "compressed");
  ASSERT_EQ((folder + longName).substr(0, 255), folder + shortName);
  job(folder + "*.TXT", tmp.sjis("ALL.LZH"), true);
  EXPECT_TRUE(run());
  EXPECT_FALSE(stdfs::exists(folder + longName));
  EXPECT_TRUE(stdfs::exists(folder + shortName));
}

// The warning text is cut to 255 bytes, but never inside a double-byte
// character: the notice stays valid text.
TEST_F(CompressEntryTest, LongWarningIsCutAtACharacterBoundary) {
  const std::string head = "削除できません \"";  // 16 bytes in CP932
  const std::size_t before = 16 + tmp.sjis().size() + 1;
  // Pad so that the 255th byte is the first byte of a 表.
  ASSERT_LT(before + 2 * 10 + 1 + 1, 254u) << "temporary folder path too long for this test";
  const std::size_t pad = 254 - before - 2 * 10 - 1;
  const std::string sub(pad, 'd');
  const std::string name = "表表表表表表表表表表表表表表表表表表表表.TXT";
  const auto ro = tmp.write(sub + "/" + name, "r");
  stdfs::permissions(ro, stdfs::perms::owner_read);
  job(tmp.sjis(sub + "/*.TXT"), tmp.sjis("ALL.LZH"), true);
  EXPECT_TRUE(run());
  ASSERT_EQ(port.notices().size(), 1u);
  const std::string text = port.notices()[0].text;
  const std::string full = sj(head) + tmp.sjis(sub + "/" + name) + "\"";
  EXPECT_EQ(text.size(), 254u);
  EXPECT_EQ(text, full.substr(0, 254));
  EXPECT_TRUE(cp932::toUtf8(text).has_value());
}

// Files that appear or change while the archiver runs are not what it stored.
TEST_F(CompressEntryTest, DeletesOnlyFilesUnchangedSinceTheArchiverStarted) {
  tmp.write("A.TXT", "a");
  tmp.write("B.TXT", "b");
  fake->setAction(
      [](const char*, void* context) {
        auto* dir = static_cast<test::TempFolder*>(context);
        dir->write("A.TXT", "changed while compressing");
        dir->write("C.TXT", "new while compressing");
      },
      &tmp);
  job(tmp.sjis("*.TXT"), tmp.sjis("ALL.LZH"), true);
  EXPECT_TRUE(run());
  EXPECT_TRUE(exists("A.TXT"));
  EXPECT_FALSE(exists("B.TXT"));
  EXPECT_TRUE(exists("C.TXT"));
}

TEST_F(CompressEntryTest, FailedArchiverDeletesNothingAndSaysSo) {
  tmp.write("A.TXT", "a");
  fake->setResult(UNLHA_ERROR_READ);
  job(tmp.sjis("*.TXT"), tmp.sjis("ALL.LZH"), true);
  state.EntryCommand = EntryDL;
  EXPECT_FALSE(run());
  EXPECT_TRUE(exists("A.TXT"));
  ASSERT_EQ(port.notices().size(), 1u);
  EXPECT_EQ(port.notices()[0].describe(),
            "notice error [OK] 圧縮処理に失敗しました\rfake archiver failure");
  EXPECT_EQ(port.sounds(), std::vector<std::string>{"sound exclamation"});
}

TEST_F(CompressEntryTest, FailedArchiverInQuietBatchIsSilent) {
  tmp.write("A.TXT", "a");
  fake->setResult(UNLHA_ERROR_READ);
  state.StartedWithArguments = true;
  state.BatchConfirm = false;
  job(tmp.sjis("*.TXT"), tmp.sjis("ALL.LZH"), true);
  EXPECT_FALSE(run());
  EXPECT_TRUE(exists("A.TXT"));
  EXPECT_THAT(port.notices(), IsEmpty());
}

TEST_F(CompressEntryTest, NoArchiveAfterASuccessDeletesNothing) {
  tmp.write("A.TXT", "a");
  fake->setWriteArchive(false);
  state.StartAnswer = StartAskEach;
  port.script(Prompt::Confirm, {AnswerGo});
  job(tmp.sjis("*.TXT"), tmp.sjis("ALL.LZH"), true);
  EXPECT_FALSE(run());
  EXPECT_TRUE(exists("A.TXT"));
  // No delete question after a run that wrote nothing.
  EXPECT_THAT(port.prompts(), ElementsAre("show confirm -> 1"));
  EXPECT_THAT(port.notices().size(), 1u);
}

TEST_F(CompressEntryTest, MissingLibraryShowsItsNoticeAndDeletesNothing) {
  unlha32::LoadArchiver(test::missingLibraryName().c_str());
  ASSERT_FALSE(unlha32::ArchiverLoaded());
  tmp.write("A.TXT", "a");
  state.EntryCommand = EntryDL;
  job(tmp.sjis("*.TXT"), tmp.sjis("ALL.LZH"), true);
  EXPECT_FALSE(run());
  EXPECT_THAT(stubNotices, ElementsAre("Unlha: LHA.DLL not loaded."));
  EXPECT_TRUE(exists("A.TXT"));
  EXPECT_THAT(port.notices(), IsEmpty());
  EXPECT_THAT(port.sounds(), IsEmpty());
}

// A library without UnlhaGetRunning still compresses; only the poll's entry
// shows its notice.
TEST_F(CompressEntryTest, LibraryWithoutRunningEntryStillCompresses) {
  fake.reset();
  unlha32::LoadArchiver(test::fakeUnlhaNoRunningPath().c_str());
  FakeUnlha partial(test::fakeUnlhaNoRunningPath());
  tmp.write("A.TXT", "a");
  job(tmp.sjis("A.TXT"), tmp.sjis("A.LZH"), true);
  EXPECT_TRUE(run());
  EXPECT_EQ(partial.callCount(), 1);
  EXPECT_TRUE(exists("A.LZH"));
  EXPECT_FALSE(exists("A.TXT"));
  EXPECT_THAT(stubNotices, IsEmpty());
  EXPECT_EQ(unlha32::Archiver().UnlhaGetRunning(), 0);
  EXPECT_THAT(stubNotices, ElementsAre("UnlhaGetRunning: LHA.DLL not loaded."));
}

}  // namespace
}  // namespace vedo
