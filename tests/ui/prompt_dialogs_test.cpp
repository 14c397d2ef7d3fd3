// The prompt dialogs run their real modal loops; a zero-delay timer acts as
// the user once the dialog is open.

#include <gmock/gmock.h>

#include <QPushButton>
#include <QTest>

#include "tests/ui/ui_fixture.h"

namespace vedo::test {
namespace {

class PromptDialogTest : public UiTest {
 public:
  PromptDialogTest() { create(); }

  // Opens `dialog` through the window port and clicks the named button.
  void clickIn(std::function<void()> open, const char* buttonName) {
    whenModal([buttonName](QWidget* dialog) {
      ASSERT_NE(dialog, nullptr);
      auto* b = dialog->findChild<QPushButton*>(QString::fromLatin1(buttonName));
      ASSERT_NE(b, nullptr) << buttonName;
      QTest::mouseClick(b, Qt::LeftButton);
    });
    open();
  }
  void openStart() { windows->port.showStartQuestion(); }
  void openConfirm() { windows->port.showConfirmCompress(); }
  void openNotFound() { windows->port.showSourceNotFound(); }
  void openDelete() { windows->port.showDeleteQuestion(); }
};

TEST_F(PromptDialogTest, ButtonsWriteTheirAnswers) {
  struct Case {
    void (PromptDialogTest::*open)();
    const char* button;
    int AppState::*cell;
    int value;
  };
  const Case cases[] = {
      {&PromptDialogTest::openStart, "BitBtn2", &AppState::StartAnswer, 1},
      {&PromptDialogTest::openStart, "BitBtn3", &AppState::StartAnswer, 0},
      {&PromptDialogTest::openStart, "BitBtn1", &AppState::StartAnswer, 2},
      {&PromptDialogTest::openConfirm, "BitBtn2", &AppState::EntryAnswer, 2},
      {&PromptDialogTest::openConfirm, "BitBtn3", &AppState::EntryAnswer, 1},
      {&PromptDialogTest::openNotFound, "BitBtn2", &AppState::EntryAnswer, 2},
      {&PromptDialogTest::openDelete, "BitBtn1", &AppState::DeleteAnswer, 1},
      {&PromptDialogTest::openDelete, "BitBtn2", &AppState::DeleteAnswer, 2},
  };
  for (const Case& c : cases) {
    state.*c.cell = -7;
    clickIn([&] { (this->*c.open)(); }, c.button);
    EXPECT_EQ(state.*c.cell, c.value) << c.button;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

TEST_F(PromptDialogTest, AbortButtonsWriteFirstAndCloseOnlyOnYes) {
  struct Case {
    void (PromptDialogTest::*open)();
    const char* button;
    int AppState::*cell;
    int value;
  };
  const Case cases[] = {
      {&PromptDialogTest::openStart, "BitBtn4", &AppState::StartAnswer, 4},
      {&PromptDialogTest::openConfirm, "BitBtn1", &AppState::EntryAnswer, 3},
      {&PromptDialogTest::openNotFound, "BitBtn1", &AppState::EntryAnswer, 3},
  };
  for (const Case& c : cases) {
    state.*c.cell = 1;
    notices.clear();
    ui::soundPlayer().clearHistory();
    answers = {ButtonNo};
    bool stayedOpen = false;
    int afterNo = 0;
    whenModal([&](QWidget* dialog) {
      QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(c.button)), Qt::LeftButton);
      stayedOpen = dialog->isVisible();
      afterNo = state.*c.cell;
      answers = {ButtonYes};
      QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(c.button)), Qt::LeftButton);
    });
    (this->*c.open)();
    EXPECT_TRUE(stayedOpen) << c.button;
    EXPECT_EQ(afterNo, c.value);
    EXPECT_EQ(state.*c.cell, c.value);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].title, QStringLiteral("確認"));
    EXPECT_EQ(notices[0].text, QStringLiteral("バッチ処理を中断しますか？"));
    EXPECT_THAT(notices[0].buttons, ::testing::ElementsAre(QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)")));
    EXPECT_THAT(ui::soundPlayer().history(), ::testing::ElementsAre(Sound::Question, Sound::Question));
  }
}

TEST_F(PromptDialogTest, EnterOnAFreshStartQuestionAsksToAbort) {
  answers = {ButtonNo};
  QString firstFocus;
  bool drawnAsDefault = false;
  bool stayedOpen = false;
  whenModal([&](QWidget* dialog) {
    firstFocus = dialog->focusWidget()->objectName();
    // Enter's target is drawn as such before any key was pressed.
    drawnAsDefault = windows->INFO1->BitBtn4->isDefault() && dialog->testAttribute(Qt::WA_KeyboardFocusChange);
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
    stayedOpen = dialog->isVisible();
    QTest::mouseClick(windows->INFO1->BitBtn3, Qt::LeftButton);
  });
  openStart();
  EXPECT_EQ(firstFocus, QStringLiteral("BitBtn4"));
  EXPECT_TRUE(drawnAsDefault);
  EXPECT_TRUE(stayedOpen);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].text, QStringLiteral("バッチ処理を中断しますか？"));
  EXPECT_EQ(state.StartAnswer, 0);  // the later button overwrote the abort value
}

TEST_F(PromptDialogTest, DeleteQuestionFocusesTheLastButtonUsed) {
  auto pressEnter = [](QWidget* dialog) { QTest::keyClick(dialog->focusWidget(), Qt::Key_Return); };
  whenModal(pressEnter);
  openDelete();
  EXPECT_EQ(state.DeleteAnswer, 2);  // first opening: いいえ has the focus

  clickIn([&] { openDelete(); }, "BitBtn1");
  EXPECT_EQ(state.DeleteAnswer, 1);

  state.DeleteAnswer = 0;
  bool yesDrawnAsDefault = false;
  whenModal([&](QWidget* dialog) {
    yesDrawnAsDefault = windows->INFO4->BitBtn1->isDefault() && !windows->INFO4->BitBtn2->isDefault();
    pressEnter(dialog);
  });
  openDelete();
  EXPECT_EQ(state.DeleteAnswer, 1);  // は い kept the focus
  EXPECT_TRUE(yesDrawnAsDefault);
}

TEST_F(PromptDialogTest, FrameCloseAndEscapeWriteNothing) {
  EXPECT_EQ(state.EntryAnswer, 1);
  whenModal([](QWidget* dialog) {
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
    ASSERT_TRUE(dialog->isVisible());  // Escape does nothing here
    dialog->close();
  });
  openConfirm();
  EXPECT_EQ(state.EntryAnswer, 1);

  // Abort, No, then the frame: the abort value stays.
  answers = {ButtonNo};
  whenModal([](QWidget* dialog) {
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("BitBtn1")), Qt::LeftButton);
    dialog->close();
  });
  openConfirm();
  EXPECT_EQ(state.EntryAnswer, 3);

  state.DeleteAnswer = 1;
  whenModal([](QWidget* dialog) { dialog->close(); });
  openDelete();
  EXPECT_EQ(state.DeleteAnswer, 1);
}

TEST_F(PromptDialogTest, EngineFillsTheLabels) {
  windows->port.setConfirmLabels("/a/b.txt", "/a/b.LZH");
  windows->port.setSourceNotFoundLabel("/a/none");
  windows->port.setDeleteLabel("/a/*.txt");
  EXPECT_EQ(windows->INFO2->Label2->text(), QStringLiteral("/a/b.txt"));
  EXPECT_EQ(windows->INFO2->Label3->text(), QStringLiteral("/a/b.LZH"));
  EXPECT_EQ(windows->INFO3->Label2->text(), QStringLiteral("/a/none"));
  EXPECT_EQ(windows->INFO4->Label2->text(), QStringLiteral("/a/*.txt"));
  // Path labels have a fixed size: a long path is cut, not widened.
  windows->port.setDeleteLabel(std::string(400, 'x'));
  EXPECT_EQ(windows->INFO4->Label2->width(), 315);
}

TEST_F(PromptDialogTest, ProgressWindowAsTheEngineDrivesIt) {
  EXPECT_FALSE(windows->port.progressWindowVisible());
  EXPECT_EQ(windows->EXEC_STATE->pos(), QPoint(792, 570));
  windows->EXEC_STATE->show();
  windows->EXEC_STATE->Label1->hide();
  windows->port.setProgressLabels("/src/*.txt", "/src/ALLFILE.LZH");
  windows->port.showProgressRunningLabel();
  EXPECT_TRUE(windows->port.progressWindowVisible());
  EXPECT_FALSE(windows->EXEC_STATE->Label1->isHidden());
  EXPECT_EQ(windows->EXEC_STATE->Label3->text(), QStringLiteral("/src/ALLFILE.LZH"));
  windows->port.hideProgressWindow();
  EXPECT_FALSE(windows->port.progressWindowVisible());
}

TEST_F(PromptDialogTest, CaptionsAndSizes) {
  EXPECT_EQ(windows->INFO1->windowTitle(), QStringLiteral("VEDO32.EXE "));
  EXPECT_EQ(windows->INFO2->windowTitle(), QStringLiteral("VEDO32.EXE"));
  EXPECT_EQ(windows->INFO4->size(), QSize(338, 87));
  EXPECT_EQ(windows->INFO2->Panel1->geometry(), QRect(2, 2, 334, 100));
  EXPECT_EQ(windows->INFO3->BitBtn1->parentWidget(), windows->INFO3->Panel3);
  EXPECT_EQ(windows->INFO1->BitBtn4->text(), QStringLiteral("中止 (&A)"));
}

}  // namespace
}  // namespace vedo::test
