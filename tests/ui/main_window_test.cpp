// The main window driven through its real controls.

#include "engine/handler_error.h"
#include "platform/cp932.h"

#include <gmock/gmock.h>

#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <fstream>

#include "tests/ui/ui_fixture.h"

namespace vedo::test {
namespace {

using ::testing::ElementsAre;

class MainWindowTest : public UiTest {};

TEST_F(MainWindowTest, ControlsStandWhereTheyBelong) {
  create();
  ui::TForm1& f = form();
  EXPECT_EQ(f.windowTitle(), QStringLiteral("VEDO32.EXE"));
  EXPECT_EQ(f.size(), QSize(436, 131));
  EXPECT_EQ(f.Edit1->parentWidget(), f.Panel1);
  EXPECT_EQ(f.Edit1->geometry(), QRect(4, 20, 209, 21));
  EXPECT_EQ(f.Edit3->parentWidget(), f.GroupBox3);
  EXPECT_EQ(f.GroupBox3->parentWidget(), f.GroupBox2);
  EXPECT_EQ(f.BitBtn3->geometry(), QRect(206, 6, 27, 22));
  EXPECT_EQ(f.BitBtn3->toolTip(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
  EXPECT_EQ(f.Edit2->text(), QStringLiteral(".LZH"));
  EXPECT_TRUE(f.Edit3->isHidden());
  EXPECT_TRUE(f.SpeedButton3->isHidden());
  EXPECT_EQ(f.Button1->focusPolicy(), Qt::ClickFocus);
  EXPECT_EQ(f.findChild<QWidget*>(QStringLiteral("CheckBox2")), f.CheckBox2);
  EXPECT_EQ(f.Timer1->interval(), 300);
  EXPECT_TRUE(f.Timer1->isActive());

  // Edit1 has the focus when the window opens; Tab then runs Edit2, BitBtn1,
  // BitBtn2, BitBtn3, CheckBox1, CheckBox2.
  f.show();
  QApplication::setActiveWindow(&f);
  ASSERT_EQ(QApplication::focusWidget(), f.Edit1);
  std::vector<QString> order;
  for (int i = 0; i < 6; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    order.push_back(QApplication::focusWidget()->objectName());
  }
  EXPECT_THAT(order, ElementsAre("Edit2", "BitBtn1", "BitBtn2", "BitBtn3", "CheckBox1", "CheckBox2"));
}

TEST_F(MainWindowTest, VersionTextFollowsTheLibrary) {
  fake->setVersion(113);
  create();
  EXPECT_EQ(form().Label4->text(), QStringLiteral("Ver.1.13 :"));
}

TEST_F(MainWindowTest, ArchiveNameFollowsTheTypedSource) {
  create();
  const struct {
    const char* typed;
    const char* archive;
  } cases[] = {
      {"C:\\DATA\\REPORT.DOC", "C:\\DATA\\REPORT.LZH"},
      {"C:\\DATA\\*.TXT", "C:\\DATA\\ALLFILE.LZH"},
      {"C:\\DATA\\*", "C:\\DATA\\*.LZH"},
      {"C:\\MY.DIR\\A.TXT", "C:\\MY.DIR\\A.LZH"},
      {"/home/u/文書/*.txt", "/home/u/文書/ALLFILE.LZH"},
      {"/home/u/表\\報告.doc", "/home/u/表\\報告.LZH"},
  };
  for (const auto& c : cases) {
    form().Edit1->clear();
    type(form().Edit1, QString::fromUtf8(c.typed));
    EXPECT_EQ(form().Edit2->text(), QString::fromUtf8(c.archive)) << c.typed;
  }
  form().Edit1->clear();
  EXPECT_EQ(form().Edit2->text(), QStringLiteral(".LZH"));
}

TEST_F(MainWindowTest, SourceThatCp932CannotHoldIsRefusedAtExecute) {
  create();
  type(form().Edit1, QStringLiteral("/tmp/😀.txt"));
  EXPECT_EQ(form().Edit2->text(), QStringLiteral("/tmp/😀.LZH"));
  QTest::mouseClick(form().BitBtn1, Qt::LeftButton);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].kind, NoticeKind::Error);
  EXPECT_EQ(fake->callCount(), 0);
}

TEST_F(MainWindowTest, EngineBytesSurviveTheFieldsUnchanged) {
  create();
  // A byte string that is not valid CP932 (a lone lead byte) is shown as best
  // it can be, but read back exactly as written.
  const std::string odd = std::string("A\x81", 2);
  form().setSource(odd);
  EXPECT_EQ(form().Source(), odd);
  const std::string name = *cp932::fromUtf8("表.TXT");
  form().setSource(name);
  EXPECT_EQ(form().Target(), *cp932::fromUtf8("表.LZH"));
  EXPECT_EQ(form().Edit1->text(), QStringLiteral("表.TXT"));
  // Writing the same source again still makes the archive name follow it.
  form().setTarget("other.lzh");
  form().setSource(name);
  EXPECT_EQ(form().Target(), *cp932::fromUtf8("表.LZH"));
}

TEST_F(MainWindowTest, BatchRowAppearsAtTheNextPollAndHidesAgain) {
  create();
  QTest::mouseClick(form().CheckBox2, Qt::LeftButton, {}, QPoint(5, 8));
  ASSERT_TRUE(form().CheckBox2->isChecked());
  EXPECT_TRUE(form().Edit3->isHidden());
  fire(form().Timer1);
  EXPECT_FALSE(form().Edit3->isHidden());
  EXPECT_FALSE(form().SpeedButton3->isHidden());
  QTest::mouseClick(form().CheckBox2, Qt::LeftButton, {}, QPoint(5, 8));
  fire(form().Timer1);
  EXPECT_TRUE(form().Edit3->isHidden());
  EXPECT_TRUE(form().SpeedButton3->isHidden());
}

TEST_F(MainWindowTest, StatusTextIsSteadyWhenIdleAndBlinksWhenBusy) {
  create();
  EXPECT_TRUE(form().Label3->text().isEmpty());
  for (int i = 0; i < 3; ++i) {
    fire(form().Timer1);
    EXPECT_EQ(form().Label3->text(), QStringLiteral("待機中...."));
    EXPECT_FALSE(form().Label3->isHidden());
  }
  windows->EXEC_STATE->show();
  fake->setRunning(1);
  std::vector<bool> shown, running;
  for (int i = 0; i < 4; ++i) {
    fire(form().Timer1);
    EXPECT_EQ(form().Label3->text(), QStringLiteral("実行中..."));
    shown.push_back(!form().Label3->isHidden());
    running.push_back(!windows->EXEC_STATE->Label1->isHidden());
  }
  EXPECT_THAT(shown, ElementsAre(false, true, false, true));
  EXPECT_THAT(running, ElementsAre(false, true, false, true));
  // The busy period ends with the running label hidden: it stays hidden.
  fire(form().Timer1);
  fake->setRunning(0);
  fire(form().Timer1);
  EXPECT_EQ(form().Label3->text(), QStringLiteral("待機中...."));
  EXPECT_FALSE(form().Label3->isHidden());
  EXPECT_TRUE(windows->EXEC_STATE->Label1->isHidden());
}

TEST_F(MainWindowTest, ExecuteWithAnEmptySourceShowsOnlyTheEngineNotice) {
  create();
  QTest::mouseClick(form().BitBtn1, Qt::LeftButton);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].text, QStringLiteral("対象ファイルを指定してください"));
  EXPECT_EQ(fake->callCount(), 0);
}

TEST_F(MainWindowTest, ExecuteCompressesAndTellsWhenDone) {
  TempFolder work;
  work.write("a.txt", "hello");
  create();
  type(form().Edit1, QString::fromStdString(work.str("a.txt")));
  QTest::mouseClick(form().BitBtn1, Qt::LeftButton);
  EXPECT_EQ(fake->callCount(), 1);
  ASSERT_FALSE(notices.empty());
  EXPECT_EQ(notices.back().title, QStringLiteral("情報"));
  EXPECT_EQ(notices.back().text, QStringLiteral("圧縮処理が終了しました"));
  ASSERT_FALSE(ui::soundPlayer().history().empty());
  EXPECT_EQ(ui::soundPlayer().history().back(), Sound::Asterisk);
  // Without arguments the progress window stays closed.
  EXPECT_FALSE(windows->EXEC_STATE->isVisible());
}

TEST_F(MainWindowTest, PlacementOnActivation) {
  create();
  form().move(100, 80);
  form().FormActivate();
  const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
  const QPoint centre(screen.width() / 2 - 172, screen.height() / 2 - 51);
  EXPECT_EQ(windows->INFO1->pos(), centre);
  EXPECT_EQ(windows->INFO2->pos(), centre);
  EXPECT_EQ(windows->INFO3->pos(), centre);
  EXPECT_EQ(windows->INFO4->pos(), centre);
  EXPECT_EQ(windows->OPT->pos(), QPoint(150, 130));

  // Moved without a new activation: the options dialog keeps its place, the
  // version box follows the window.
  form().move(300, 200);
  whenModal([](QWidget* box) { box->close(); });
  form().BitBtn3Click();
  EXPECT_EQ(windows->AboutBox->pos(), QPoint(450, 250));
  EXPECT_EQ(windows->OPT->pos(), QPoint(150, 130));
}

TEST_F(MainWindowTest, MissingLibraryNoticeNeverStacksFromThePoll) {
  unlha32::LoadArchiver(missingLibraryName().c_str());
  unlha32::setNoticeHook([](const std::string& text) { ui::showPanicNotice(text); });
  create();
  ASSERT_EQ(notices.size(), 1u);  // the version query at creation
  EXPECT_EQ(notices[0].title, QStringLiteral("PANIC!!"));
  EXPECT_EQ(form().Label4->text(), QStringLiteral("Ver.0.00 :"));
  // While a notice raised by the poll is open, its event loop keeps firing the
  // timer: those polls must not open another notice.
  int nested = 0;
  onNotice = [&](ui::NoticeBox&) {
    if (nested++ == 0) {
      fire(form().Timer1);
      fire(form().Timer1);
    }
  };
  notices.clear();
  fire(form().Timer1);
  EXPECT_EQ(notices.size(), 1u);
  fire(form().Timer1);
  EXPECT_EQ(notices.size(), 2u);  // the next poll, once the first closed, may ask again
  unlha32::setNoticeHook({});
}

TEST_F(MainWindowTest, RefusedSettingsWriteKeepsTheWindowOpen) {
  TempFolder place;
  place.write("blocker", "");
  ::setenv("XDG_CONFIG_HOME", place.str("blocker").c_str(), 1);  // a file where a folder must be
  create();
  form().show();
  QSignalSpy ended(&form(), &ui::TForm1::applicationEnd);
  EXPECT_FALSE(form().close());
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].title, QStringLiteral("Ui_tests"));
  EXPECT_EQ(notices[0].kind, NoticeKind::Error);
  EXPECT_TRUE(notices[0].text.startsWith(QStringLiteral("VEDO.INI")));
  EXPECT_TRUE(form().isVisible());
  EXPECT_EQ(ended.count(), 0);

  ::setenv("XDG_CONFIG_HOME", config.str().c_str(), 1);
  EXPECT_TRUE(form().close());
  EXPECT_EQ(ended.count(), 1);
  EXPECT_TRUE(std::filesystem::exists(config.path() / "VEDO.INI"));
}

TEST_F(MainWindowTest, BatchFileErrorReachesTheErrorBox) {
  // A file that opens but cannot be read: reading it fails with an I/O error.
  ASSERT_TRUE(std::filesystem::is_regular_file("/proc/self/mem"));
  create();
  form().setUseBatch(true);
  form().setBatchFileName("/proc/self/mem");
  form().BitBtn1Click();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].title, QStringLiteral("Ui_tests"));
  EXPECT_EQ(notices[0].kind, NoticeKind::Error);
  EXPECT_THAT(notices[0].buttons, ElementsAre(QStringLiteral("OK")));
}

TEST_F(MainWindowTest, DroppedFileGivesItsLocalPath) {
  create();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/資料/報告.doc"))});
  for (QLineEdit* edit : {static_cast<QLineEdit*>(form().Edit3), static_cast<QLineEdit*>(form().Edit1)}) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &drop);
    EXPECT_EQ(edit->text(), QStringLiteral("/tmp/資料/報告.doc"));
  }
  EXPECT_EQ(form().Edit2->text(), QStringLiteral("/tmp/資料/報告.LZH"));
}

TEST_F(MainWindowTest, FileChoosersAndTheCurrentFolder) {
  TempFolder work, sources;
  {
    std::ofstream ini(config.path() / "VEDO.INI");
    ini << "[Files]\nT_Path=" << sources.str() << "/\n";
  }
  create();
  const QString previous = QDir::currentPath();
  struct Seen {
    QString title, directory, suffix;
    QStringList filters;
  };
  std::vector<Seen> seen;
  QString answer = QString::fromStdString(work.str("new.lzh"));
  ui::TForm1::fileDialogRunner = [&](QFileDialog& d) {
    seen.push_back({d.windowTitle(), d.directory().absolutePath(), d.defaultSuffix(), d.nameFilters()});
    return answer;
  };
  form().SpeedButton2Click();
  EXPECT_EQ(form().Edit2->text(), answer);
  EXPECT_EQ(QDir::currentPath(), QString::fromStdString(work.str()));
  form().SpeedButton1Click();
  answer.clear();  // cancelled
  form().SpeedButton3Click();
  ui::TForm1::fileDialogRunner = nullptr;
  QDir::setCurrent(previous);

  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].title, QStringLiteral("圧縮先の指定"));
  EXPECT_EQ(seen[0].suffix, QStringLiteral("LZH"));
  EXPECT_EQ(seen[1].title, QStringLiteral("対象ファイルの指定"));
  EXPECT_EQ(seen[1].directory, QString::fromStdString(sources.str()));
  EXPECT_EQ(seen[1].filters.size(), 3);
  EXPECT_TRUE(seen[1].suffix.isEmpty());
  EXPECT_EQ(seen[2].title, QStringLiteral("バッチ処理ファイル指定"));
  EXPECT_EQ(seen[2].suffix, QStringLiteral("VDB"));
  EXPECT_TRUE(form().Edit3->text().isEmpty());
}

}  // namespace
}  // namespace vedo::test
