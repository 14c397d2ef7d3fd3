// The command-line run in-process: the windows of start-up with one argument,
// the start question answered by a script, the stand-in archiver library.

#include <gmock/gmock.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <fstream>

#include "tests/app/modal_script.h"
#include "tests/ui/ui_fixture.h"

namespace vedo::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class CommandLineRunTest : public UiTest {
 protected:
  CommandLineRunTest() {
    work.write("a.txt", "some text");
    work.write("run.vdb", "[VEDO BATFILE]\r\n" + work.str("a.txt") + ";" + work.str("a.lzh") + "\r\n");
  }
  void writeIni(const std::string& text) { std::ofstream(config.path() / "VEDO.INI") << text; }
  std::string ini() const { return config.read("VEDO.INI"); }
  bool sourceExists() const { return std::filesystem::exists(work.path() / "a.txt"); }

  // Starts as `vedo32 <batch>` would and runs the command-line run.
  void startWith(const QStringList& arguments) {
    create(arguments);
    ended = std::make_unique<QSignalSpy>(&form(), &ui::TForm1::applicationEnd);
    form().FormActivate();
  }

  TempFolder work;
  ModalScript modals;
  std::unique_ptr<QSignalSpy> ended;
};

QPoint centreOffset(int left, int top) {
  const QSize s = QGuiApplication::primaryScreen()->geometry().size();
  return QPoint(s.width() / 2 + left, s.height() / 2 + top);
}

TEST_F(CommandLineRunTest, AbortConfirmedEndsWithoutRunningAndStillSaves) {
  writeIni("[Options]\nDelete=1\n[Message]\nMode=0\n");
  const QString argument = QString::fromStdString(work.str("run.vdb"));
  QString caption;
  QPoint place;
  answers = {ButtonYes};
  modals.add(QStringLiteral("INFO1"), [&](QWidget* dialog) {
    caption = dialog->windowTitle();
    place = dialog->pos();
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("BitBtn4")), Qt::LeftButton);
  });
  startWith({argument});
  EXPECT_EQ(caption, argument + QStringLiteral(" - VEDO32.EXE"));
  EXPECT_EQ(place, centreOffset(-173, -52));
  EXPECT_EQ(fake->callCount(), 0);
  EXPECT_TRUE(sourceExists());
  EXPECT_EQ(ended->count(), 1);
  EXPECT_THAT(ini(), HasSubstr("Delete=0"));
  EXPECT_THAT(ui::soundPlayer().history(), ElementsAre(Sound::Asterisk, Sound::Question));
}

TEST_F(CommandLineRunTest, FrameCloseKeepsThePresetAnswerAndRuns) {
  const struct {
    int mode;
    bool deleted;
    const char* stored;
  } cases[] = {{1, true, "Delete=1"}, {2, false, "Delete=0"}, {3, false, "Delete=0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    work.write("a.txt", "some text");
    std::filesystem::remove(work.path() / "a.lzh");
    fake->reset();
    state = AppState{};
    writeIni("[Message]\nDialogs=1\nMode=" + std::to_string(c.mode) + "\n");
    modals.add(QStringLiteral("INFO1"), [](QWidget* dialog) { dialog->close(); });
    // Asked for each job (mode 3): go ahead, then keep the sources.
    modals.add(QStringLiteral("INFO2"), [](QWidget* dialog) {
      QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("BitBtn3")), Qt::LeftButton);
    });
    modals.add(QStringLiteral("INFO4"), [](QWidget* dialog) {
      QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("BitBtn2")), Qt::LeftButton);
    });
    startWith({QString::fromStdString(work.str("run.vdb"))});
    EXPECT_EQ(fake->callCount(), 1);
    EXPECT_EQ(sourceExists(), !c.deleted);
    EXPECT_EQ(ended->count(), 1);
    EXPECT_THAT(ini(), HasSubstr(c.stored));
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.back().text, QStringLiteral("バッチ処理が終了しました"));
    windows.reset();
  }
}

TEST_F(CommandLineRunTest, DeleteModeWithoutNoticesAsksNothing) {
  writeIni("[Message]\nDialogs=0\nMode=1\n");
  startWith({QString::fromStdString(work.str("run.vdb"))});
  EXPECT_TRUE(modals.shown().empty());
  EXPECT_TRUE(notices.empty());
  EXPECT_EQ(fake->callCount(), 1);
  EXPECT_FALSE(sourceExists());
  EXPECT_TRUE(form().isMinimized());
  EXPECT_EQ(windows->EXEC_STATE->pos(), QPoint(2, 2));
  EXPECT_EQ(windows->EXEC_STATE->windowTitle(), QStringLiteral("run.vdb - VEDO32.EXE"));
  EXPECT_FALSE(windows->EXEC_STATE->isVisible());  // hidden at the end of the file
  EXPECT_EQ(windows->INFO2->windowTitle(), QString::fromStdString(work.str("run.vdb")) + " - VEDO32.EXE");
  EXPECT_EQ(windows->INFO2->pos(), centreOffset(-173, -66));
  EXPECT_EQ(windows->INFO3->pos(), centreOffset(-173, -57));
  EXPECT_EQ(state.EntryCommand, 0);
  EXPECT_EQ(ended->count(), 1);

  // The run happens once per process, however often the window is activated.
  form().FormActivate();
  EXPECT_EQ(fake->callCount(), 1);
}

TEST_F(CommandLineRunTest, RelativeArgumentBecomesAFullPath) {
  writeIni("[Message]\nDialogs=0\nMode=2\n");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(work.path());
  startWith({QStringLiteral("run.vdb")});
  std::filesystem::current_path(previous);
  EXPECT_EQ(form().Edit3->text(), QString::fromStdString(work.str("run.vdb")));
  EXPECT_EQ(fake->callCount(), 1);
  EXPECT_TRUE(sourceExists());
}

TEST_F(CommandLineRunTest, MissingBatchFileIsReportedAndTheToolEnds) {
  writeIni("[Message]\nDialogs=0\nMode=1\n");
  startWith({QString::fromStdString(work.str("none.vdb"))});
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].text, QStringLiteral("バッチ処理ファイルがありません"));
  EXPECT_EQ(ended->count(), 1);
}

TEST_F(CommandLineRunTest, BatchFileErrorLeavesTheToolRunning) {
  writeIni("[Message]\nDialogs=0\nMode=1\n");
  startWith({QStringLiteral("/proc/self/mem")});
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].kind, NoticeKind::Error);
  EXPECT_EQ(ended->count(), 0);
  EXPECT_TRUE(form().isMinimized());
  EXPECT_TRUE(form().close());  // the user closes it later: settings are saved
  EXPECT_EQ(ended->count(), 1);
}

TEST_F(CommandLineRunTest, TwoArgumentsGiveInteractiveUseWithoutFolderSettings) {
  writeIni("[Options]\nBatName=/old/run.vdb\n[Files]\nT_Path=/old/src/\nL_Path=/old/lzh/\n");
  startWith({QStringLiteral("one"), QStringLiteral("two")});
  EXPECT_FALSE(form().commandLineRunStarted());
  EXPECT_FALSE(form().isMinimized());
  EXPECT_TRUE(form().Edit3->text().isEmpty());
  EXPECT_EQ(state.StartAnswer, 4);
  form().Edit1->setText(QStringLiteral("/new/src/a.txt"));
  form().Edit3->setText(QStringLiteral("/new/run.vdb"));
  EXPECT_TRUE(form().close());
  const std::string saved = ini();
  EXPECT_THAT(saved, HasSubstr("T_Path=/old/src/"));
  EXPECT_THAT(saved, HasSubstr("L_Path=/old/lzh/"));
  EXPECT_THAT(saved, HasSubstr("BatName=/old/run.vdb"));
  EXPECT_THAT(saved, Not(HasSubstr("/new/")));
}

}  // namespace
}  // namespace vedo::test
