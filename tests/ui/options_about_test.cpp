// The options dialog and the version box.

#include <gmock/gmock.h>

#include <QTest>

#include "tests/ui/ui_fixture.h"

namespace vedo::test {
namespace {

class OptionsTest : public UiTest {
 protected:
  // Opens the options dialog from the main window and lets `act` use it.
  void withOptions(std::function<void(ui::TOPT&)> act) {
    whenModal([this, act](QWidget*) { act(*windows->OPT); });
    form().Button1Click();
  }
};

TEST_F(OptionsTest, ConfirmStoresEveryField) {
  create();
  withOptions([](ui::TOPT& opt) {
    EXPECT_EQ(opt.focusWidget(), opt.BitBtn2);
    EXPECT_TRUE(opt.BitBtn2->isDefault());
    EXPECT_EQ(opt.Group1->ItemIndex(), 0);
    opt.CheckBox1->setChecked(false);
    opt.CheckBox2->setChecked(false);
    opt.CheckBox3->setChecked(false);
    QTest::mouseClick(opt.Group1->items()[3], Qt::LeftButton, {}, QPoint(5, 8));
    opt.Edit1->setText(QStringLiteral("-m7"));
    QTest::mouseClick(opt.BitBtn2, Qt::LeftButton);
  });
  EXPECT_FALSE(state.ShowBatchProgress);
  EXPECT_FALSE(state.BatchConfirm);
  EXPECT_FALSE(state.UnlhaDialogs);
  EXPECT_FALSE(state.JobDialogs);
  EXPECT_EQ(state.DeleteMode, 3);
  EXPECT_EQ(state.UnlhaOption, "-m7");
}

TEST_F(OptionsTest, CancelStoresNothingAndTheNextOpeningShowsTheStoredValues) {
  create();
  state.UnlhaOption = "-m6";
  withOptions([](ui::TOPT& opt) {
    EXPECT_EQ(opt.Edit1->text(), QStringLiteral("-m6"));
    opt.Edit1->setText(QStringLiteral("-r"));
    opt.CheckBox3->setChecked(false);
    QTest::keyClick(opt.Edit1, Qt::Key_Escape);  // neither key acts away from the buttons
    QTest::keyClick(opt.Edit1, Qt::Key_Return);
    ASSERT_TRUE(opt.isVisible());
    QTest::mouseClick(opt.BitBtn3, Qt::LeftButton);
  });
  EXPECT_EQ(state.UnlhaOption, "-m6");
  EXPECT_TRUE(state.UnlhaDialogs);
  // The archiver-display box is set only at creation: it keeps what the user
  // left, and a later confirm stores that.
  withOptions([](ui::TOPT& opt) {
    EXPECT_EQ(opt.Edit1->text(), QStringLiteral("-m6"));
    EXPECT_FALSE(opt.CheckBox3->isChecked());
    QTest::keyClick(opt.BitBtn2, Qt::Key_Return);
  });
  EXPECT_FALSE(state.UnlhaDialogs);
}

TEST_F(OptionsTest, StoredModeOutsideTheItemsIsClamped) {
  const struct {
    int stored;
    int shown;
    int confirmed;
  } cases[] = {{-1, -1, -1}, {-5, -1, -1}, {0, 0, 0}, {3, 3, 3}, {4, 3, 3}, {99, 3, 3}};
  create();
  for (const auto& c : cases) {
    state.DeleteMode = c.stored;
    withOptions([&](ui::TOPT& opt) {
      EXPECT_EQ(opt.Group1->ItemIndex(), c.shown) << c.stored;
      opt.BitBtn2Click();
    });
    EXPECT_EQ(state.DeleteMode, c.confirmed) << c.stored;
  }
}

TEST_F(OptionsTest, SwitchesCp932CannotHoldAreRefused) {
  create();
  state.UnlhaOption = "-m5";
  withOptions([this](ui::TOPT& opt) {
    opt.Edit1->setText(QStringLiteral("-m7 😀"));
    opt.BitBtn2Click();
    EXPECT_TRUE(opt.isVisible());
    EXPECT_EQ(notices.size(), 1u);
    opt.BitBtn3Click();
  });
  EXPECT_EQ(state.UnlhaOption, "-m5");
}

class AboutBoxTest : public UiTest {};

TEST_F(AboutBoxTest, ShowsTheLibraryVersion) {
  fake->setVersion(113);
  create();
  QString shown;
  whenModal([&](QWidget* box) {
    shown = windows->AboutBox->Label1->text();
    QTest::keyClick(box, Qt::Key_Return);  // OK is the default button
  });
  form().BitBtn3Click();
  EXPECT_EQ(shown, QStringLiteral("Version : 1.13"));
  EXPECT_FALSE(windows->AboutBox->isVisible());
  EXPECT_EQ(windows->AboutBox->Version->text(), QStringLiteral("Version 1.32"));
}

TEST_F(AboutBoxTest, MissingLibraryGivesTwoNoticesPerOpening) {
  unlha32::LoadArchiver(missingLibraryName().c_str());
  int calls = 0;
  unlha32::setNoticeHook([&](const std::string&) { ++calls; });
  create();
  calls = 0;
  QString shown;
  for (int opening = 1; opening <= 2; ++opening) {
    whenModal([&](QWidget* box) {
      // Let the window system deliver the activation before closing.
      QApplication::processEvents();
      shown = windows->AboutBox->Label1->text();
      box->close();
    });
    form().BitBtn3Click();
    EXPECT_EQ(calls, 2 * opening);
  }
  EXPECT_EQ(shown, QStringLiteral("Version : 0.00"));
  unlha32::setNoticeHook({});
}

}  // namespace
}  // namespace vedo::test
