// The built program, run as a user's file manager would run it on a batch
// file: offscreen, with its own settings folder and working folder, under a
// time limit. Archives are checked with an independent reader.

#include "tests/support/temp_folder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <filesystem>
#include <fstream>

namespace vedo::test {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

constexpr int kTimeLimitMs = 120000;

struct Outcome {
  bool finished = false;
  int exitCode = -1;
  std::string output;
};

// Runs offscreen and without sound, unless `asFromCron` asks for the
// environment of cron or ssh: no display, no platform given, sounds as the
// machine has them.
Outcome run(const QString& program, const QStringList& arguments, const TempFolder& config, const TempFolder& work,
            const QProcessEnvironment& extra = {}, bool asFromCron = false) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (asFromCron) {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "CANBERRA_DRIVER"})
      env.remove(QString::fromLatin1(name));
  } else {
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("CANBERRA_DRIVER"), QStringLiteral("null"));
  }
  env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(config.str()));
  for (const QString& key : extra.keys()) env.insert(key, extra.value(key));
  process.setProcessEnvironment(env);
  process.setWorkingDirectory(QString::fromStdString(work.str()));
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  Outcome outcome;
  outcome.finished = process.waitForFinished(kTimeLimitMs);
  if (!outcome.finished) {
    process.kill();
    process.waitForFinished();
  }
  outcome.exitCode = process.exitCode();
  outcome.output = process.readAll().toStdString();
  return outcome;
}

// Runs the independent reader; its listing, or empty when the test failed.
std::string lhasa(const std::string& command, const fs::path& archive) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QStringLiteral("lhasa"), {QString::fromStdString(command), QString::fromStdString(archive.string())});
  if (!process.waitForFinished(kTimeLimitMs) || process.exitCode() != 0) return {};
  return process.readAll().toStdString();
}

struct Tool {
  int exitCode = -1;
  std::string output;
};

// Runs a tool of the system with its output and errors merged.
Tool tool(const char* program, const std::vector<std::string>& arguments,
          const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(env);
  process.setProcessChannelMode(QProcess::MergedChannels);
  QStringList args;
  for (const std::string& a : arguments) args << QString::fromStdString(a);
  process.start(QString::fromLatin1(program), args);
  Tool result;
  if (!process.waitForFinished(kTimeLimitMs)) return result;
  result.exitCode = process.exitCode();
  result.output = process.readAll().toStdString();
  return result;
}

class EndToEndTest : public ::testing::Test {
 protected:
  EndToEndTest() {
    work.write("a.txt", std::string(20000, 'a') + "end");
    work.write("b.txt", "second file");
    work.write("x.log", "log one\n");
    work.write("y.log", "log two\n");
    work.write("run.vdb",
               "[VEDO BATFILE]\r\n"
               "{ compress one file and every log }\r\n"
               "a.txt;a.lzh\r\n"
               "*.log;logs.lzh   { both logs }\r\n"
               "<DL>b.txt;b.lzh\r\n");
  }
  void writeIni(const std::string& text) { std::ofstream(config.path() / "VEDO.INI") << text; }
  std::string ini() const { return config.read("VEDO.INI"); }
  bool exists(const char* name) const { return fs::exists(work.path() / name); }

  void SetUp() override {
    if (QStandardPaths::findExecutable(QStringLiteral("lhasa")).isEmpty()) GTEST_SKIP() << "lhasa missing";
  }

  TempFolder config;
  TempFolder work;
};

const QString kProgram = QStringLiteral(VEDO32_PATH);

TEST_F(EndToEndTest, DeleteModeRunsWithoutQuestionsAndDeletesTheSources) {
  writeIni("[Options]\nDelete=0\n[Message]\nMode=1\nDialogs=0\n");
  const Outcome outcome = run(kProgram, {QStringLiteral("run.vdb")}, config, work);
  ASSERT_TRUE(outcome.finished) << outcome.output;
  EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
  EXPECT_THAT(lhasa("t", work.path() / "a.lzh"), HasSubstr("a.txt"));
  const std::string logs = lhasa("l", work.path() / "logs.lzh");
  EXPECT_THAT(logs, HasSubstr("x.log"));
  EXPECT_THAT(logs, HasSubstr("y.log"));
  EXPECT_FALSE(lhasa("t", work.path() / "logs.lzh").empty());
  EXPECT_THAT(lhasa("t", work.path() / "b.lzh"), HasSubstr("b.txt"));
  for (const char* source : {"a.txt", "b.txt", "x.log", "y.log"}) EXPECT_FALSE(exists(source)) << source;
  EXPECT_THAT(ini(), HasSubstr("Delete=1"));
}

TEST_F(EndToEndTest, KeepModeLeavesTheSourcesAndTheFolderSettings) {
  writeIni(
      "[Options]\nDelete=1\nBatch=1\nBatName=/kept/run.vdb\n[Files]\nT_Path=/kept/src/\nL_Path=/kept/lzh/\n"
      "[Message]\nMode=2\nDialogs=0\n");
  const Outcome outcome = run(kProgram, {QStringLiteral("run.vdb")}, config, work);
  ASSERT_TRUE(outcome.finished) << outcome.output;
  EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
  EXPECT_THAT(lhasa("t", work.path() / "a.lzh"), HasSubstr("a.txt"));
  EXPECT_THAT(lhasa("t", work.path() / "b.lzh"), HasSubstr("b.txt"));
  for (const char* source : {"a.txt", "x.log", "y.log"}) EXPECT_TRUE(exists(source)) << source;
  EXPECT_FALSE(exists("b.txt"));  // its entry says DL
  const std::string saved = ini();
  EXPECT_THAT(saved, HasSubstr("Delete=0"));
  EXPECT_THAT(saved, HasSubstr("Batch=1"));
  EXPECT_THAT(saved, HasSubstr("BatName=/kept/run.vdb"));
  EXPECT_THAT(saved, HasSubstr("T_Path=/kept/src/"));
  EXPECT_THAT(saved, HasSubstr("L_Path=/kept/lzh/"));
}

// Runs from cron or ssh: the tool starts without a display, never waits for
// an answer, and tells its caller through the exit status and one line on
// standard error per failed entry; no sound library's text appears there.
struct CronCase {
  const char* name;
  const char* ini;
  const char* batch;     // lines after the header, each ending in LF
  const char* argument;  // the batch file named
  int exitCode;
  int entryLines;        // lines naming a failed entry ("vedo32: "source" -> ...)
  const char* mention;   // further text standard error must hold, or ""
  bool sourceStays;
};

class FromCronTest : public EndToEndTest, public ::testing::WithParamInterface<CronCase> {};

TEST_P(FromCronTest, ExitStatusAndStandardError) {
  const CronCase& c = GetParam();
  writeIni(c.ini);
  work.write("cron.vdb", std::string("[VEDO BATFILE]\n") + c.batch);
  const Outcome outcome = run(kProgram, {QString::fromLatin1(c.argument)}, config, work, {}, true);
  ASSERT_TRUE(outcome.finished) << outcome.output;
  EXPECT_EQ(outcome.exitCode, c.exitCode) << outcome.output;
  int entryLines = 0;
  for (std::size_t at = outcome.output.find("vedo32: \""); at != std::string::npos;
       at = outcome.output.find("vedo32: \"", at + 1))
    ++entryLines;
  EXPECT_EQ(entryLines, c.entryLines) << outcome.output;
  EXPECT_THAT(outcome.output, HasSubstr(c.mention));
  EXPECT_THAT(outcome.output, ::testing::Not(HasSubstr("ALSA")));
  EXPECT_EQ(exists("a.txt"), c.sourceStays);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FromCronTest,
    ::testing::Values(
        CronCase{"EveryEntryDone", "[Message]\nMode=1\nDialogs=0\n", "a.txt;a.lzh\n*.log;logs.lzh\n", "cron.vdb", 0, 0,
                 "", false},
        CronCase{"EntriesFail", "[Message]\nMode=2\nDialogs=0\n",
                 "a.txt;a.lzh\nnone.txt;none.lzh\n<CP>gone.txt;backup\nb.txt;\n", "cron.vdb", 1, 3, "none.txt", true},
        // The start question and a per-entry question: 中断, nothing deleted.
        CronCase{"StartQuestionAborts", "[Message]\nMode=0\nDialogs=1\n", "<DL>a.txt;a.lzh\n", "cron.vdb", 1, 0,
                 "圧縮後，対象ファイルを削除しますか？", true},
        CronCase{"EntryQuestionAborts", "[Message]\nMode=3\nDialogs=0\n", "<BD>a.txt;a.lzh\nb.txt;b.lzh\n",
                 "cron.vdb", 1, 1, "次の条件で，圧縮処理を実行します。", true},
        // The library's own message, in Japanese as every text of vedo32.
        CronCase{"LibraryMessageInJapanese", "[Message]\nMode=2\nDialogs=0\n[UNLHA]\nOption=-q\n", "a.txt;a.lzh\n",
                 "cron.vdb", 1, 1, "不明なスイッチです \"-q\"", true},
        CronCase{"MissingBatchFile", "[Message]\nMode=1\nDialogs=0\n", "", "none.vdb", 2, 0,
                 "バッチ処理ファイルがありません", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EndToEndTest, QtOptionsAreNotArguments) {
  writeIni("[Message]\nMode=2\nDialogs=0\n");
  const Outcome outcome =
      run(kProgram, {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("run.vdb")}, config, work);
  ASSERT_TRUE(outcome.finished) << outcome.output;
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_THAT(lhasa("t", work.path() / "a.lzh"), HasSubstr("a.txt"));
}

TEST_F(EndToEndTest, InstalledTreeStartsAndFindsItsLibrary) {
  TempFolder prefix;
  QProcess install;
  install.setProcessChannelMode(QProcess::MergedChannels);
  install.start(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(VEDO_BINARY_DIR),
                                          QStringLiteral("--prefix"), QString::fromStdString(prefix.str())});
  ASSERT_TRUE(install.waitForFinished(kTimeLimitMs));
  ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
  EXPECT_TRUE(fs::exists(prefix.path() / "share/applications/vedo32.desktop"));
  EXPECT_TRUE(fs::exists(prefix.path() / "share/icons/hicolor/scalable/apps/vedo32.svg"));
  EXPECT_TRUE(fs::exists(prefix.path() / "share/mime/packages/vedo32.xml"));
  EXPECT_TRUE(fs::exists(prefix.path() / "share/man/man1/vedo32.1"));
  EXPECT_TRUE(fs::exists(prefix.path() / "share/man/man1/unlha.1"));

  // The entry is valid, and the refreshed databases of the installed tree know
  // a *.vdb file as a batch file that vedo32 opens.
  const std::string entry = (prefix.path() / "share/applications/vedo32.desktop").string();
  const Tool validate = tool("desktop-file-validate", {entry});
  EXPECT_EQ(validate.exitCode, 0) << validate.output;
  EXPECT_EQ(validate.output, "");
  EXPECT_THAT(prefix.read("share/applications/mimeinfo.cache"),
              HasSubstr("application/x-vedo32-batch=vedo32.desktop;"));
  work.write("jobs.vdb", "[VEDO BATFILE]\r\n");
  QProcessEnvironment dataDirs = QProcessEnvironment::systemEnvironment();
  dataDirs.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(prefix.str("none")));
  dataDirs.insert(QStringLiteral("XDG_DATA_DIRS"), QString::fromStdString(prefix.str("share")) + ":/usr/share");
  const Tool type = tool("gio", {"info", "-a", "standard::content-type", work.str("jobs.vdb")}, dataDirs);
  EXPECT_THAT(type.output, HasSubstr("standard::content-type: application/x-vedo32-batch")) << type.output;

  // The archive appears only when the installed program found the installed
  // library: without it the missing-library notice would wait for an answer.
  writeIni("[Message]\nMode=2\nDialogs=0\n");
  const Outcome outcome =
      run(QString::fromStdString((prefix.path() / "bin/vedo32").string()), {QStringLiteral("run.vdb")}, config, work);
  ASSERT_TRUE(outcome.finished) << outcome.output;
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_THAT(lhasa("t", work.path() / "a.lzh"), HasSubstr("a.txt"));
}

TEST_F(EndToEndTest, ScreenshotScriptSavesEveryWindow) {
  if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()) GTEST_SKIP() << "xvfb-run missing";
  TempFolder shots;
  QProcessEnvironment extra;
  extra.insert(QStringLiteral("SCREENSHOTS_PROGRAM"), QStringLiteral(VEDO32_SCREENSHOTS_PATH));
  extra.remove(QStringLiteral("QT_QPA_PLATFORM"));
  const Outcome outcome = run(QStringLiteral(VEDO_SOURCE_DIR "/scripts/screenshots"),
                              {QString::fromStdString(shots.str())}, config, work, extra);
  ASSERT_TRUE(outcome.finished) << outcome.output;
  EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
  for (const char* name : {"main-window", "progress-window", "start-question", "confirm-compress", "source-not-found",
                           "delete-question", "options-dialog", "version-box", "notice"}) {
    QImage image(QString::fromStdString(shots.str(std::string(name) + ".png")));
    EXPECT_FALSE(image.isNull()) << name;
  }
  EXPECT_EQ(QImage(QString::fromStdString(shots.str("main-window.png"))).size(), QSize(436, 131));
}

}  // namespace
}  // namespace vedo::test
