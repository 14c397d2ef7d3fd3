// The notice box itself: its keyboard rules, buttons, text and placement.

#include <gmock/gmock.h>

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTest>

#include "ui/notice_box.h"
#include "ui/ui_text.h"

namespace vedo::test {
namespace {

using ui::NoticeBox;

// What a key does to a freshly opened box: the button pressed, or nothing.
struct KeyCase {
  unsigned buttons;
  int key;
  std::optional<NoticeButton> pressed;
};

class NoticeKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(NoticeKeyTest, KeyPressesTheRightButton) {
  const KeyCase& c = GetParam();
  NoticeBox box(NoticeKind::Confirmation, c.buttons, QStringLiteral("text"));
  box.show();
  QTest::keyClick(box.focusWidget() ? box.focusWidget() : &box, static_cast<Qt::Key>(c.key));
  if (c.pressed) {
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.pressed(), *c.pressed);
  } else {
    EXPECT_TRUE(box.isVisible());
    box.close();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sets, NoticeKeyTest,
    ::testing::Values(KeyCase{ButtonOk, Qt::Key_Return, ButtonOk}, KeyCase{ButtonOk, Qt::Key_Escape, ButtonOk},
                      KeyCase{ButtonYes | ButtonNo, Qt::Key_Return, ButtonYes},
                      KeyCase{ButtonYes | ButtonNo, Qt::Key_Escape, ButtonNo},
                      KeyCase{ButtonYes | ButtonNo, Qt::Key_N, ButtonNo},
                      KeyCase{ButtonOk | ButtonCancel, Qt::Key_Return, ButtonOk},
                      KeyCase{ButtonOk | ButtonCancel, Qt::Key_Escape, ButtonCancel},
                      KeyCase{ButtonYes | ButtonNo | ButtonCancel, Qt::Key_Escape, ButtonCancel},
                      KeyCase{ButtonAbort, Qt::Key_Return, ButtonAbort},
                      KeyCase{ButtonAbort, Qt::Key_Escape, std::nullopt}));

TEST(NoticeBoxTest, AbortOnlyHasNoDefaultButFocusesItsButton) {
  NoticeBox box(NoticeKind::Error, ButtonAbort, QStringLiteral("x"));
  box.show();
  EXPECT_EQ(box.defaultButton(), nullptr);
  EXPECT_EQ(box.escapeButton(), nullptr);
  EXPECT_EQ(box.focusWidget(), box.button(ButtonAbort));
  EXPECT_EQ(box.button(ButtonAbort)->text(), QStringLiteral("中止(&A)"));
  box.close();
  EXPECT_EQ(box.pressed(), ButtonCancel);  // a frame close counts as Cancel
}

TEST(NoticeBoxTest, ButtonsStandInTheFixedOrder) {
  NoticeBox box(NoticeKind::Warning, ButtonAbort | ButtonCancel | ButtonOk | ButtonNo | ButtonYes,
                QStringLiteral("x"));
  box.show();
  std::vector<QPushButton*> row;
  for (NoticeButton b : {ButtonYes, ButtonNo, ButtonOk, ButtonCancel, ButtonAbort}) row.push_back(box.button(b));
  for (std::size_t i = 0; i + 1 < row.size(); ++i) EXPECT_LT(row[i]->x(), row[i + 1]->x());
  EXPECT_THAT(std::vector<QString>({row[0]->text(), row[1]->text(), row[2]->text(), row[3]->text()}),
              ::testing::ElementsAre(QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)"), QStringLiteral("OK"),
                                     QStringLiteral("ｷｬﾝｾﾙ")));
  box.close();
}

TEST(NoticeBoxTest, TitlesPerKind) {
  EXPECT_EQ(ui::noticeTitle(NoticeKind::Warning), QStringLiteral("警告"));
  EXPECT_EQ(ui::noticeTitle(NoticeKind::Error), QStringLiteral("ｴﾗｰ"));
  EXPECT_EQ(ui::noticeTitle(NoticeKind::Information), QStringLiteral("情報"));
  EXPECT_EQ(ui::noticeTitle(NoticeKind::Confirmation), QStringLiteral("確認"));
}

TEST(NoticeBoxTest, TextMarkersAndBreaks) {
  // "&&" is one "&", "&x" underlines x, "\r" breaks the line, markup is text.
  EXPECT_EQ(ui::noticeHtml(QStringLiteral("a&&b&c\r<d>")),
            QStringLiteral("<p style=\"white-space:pre-wrap\">a&amp;b<u>c</u><br>&lt;d&gt;</p>"));
  EXPECT_EQ(ui::noticeHtml(QStringLiteral("x\r\ny&")), QStringLiteral("<p style=\"white-space:pre-wrap\">x<br>y</p>"));
}

TEST(NoticeBoxTest, CentredAndWrappedAtHalfTheScreen) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  QString longText;
  for (int i = 0; i < 60; ++i) longText += QStringLiteral("word ");
  NoticeBox box(NoticeKind::Information, ButtonOk, longText);
  box.show();
  EXPECT_LE(box.textLabel()->width(), screen.width() / 2 + 2);
  EXPECT_GT(box.textLabel()->height(), box.textLabel()->fontMetrics().height());
  const QPoint centre = box.frameGeometry().center();
  EXPECT_LE(std::abs(centre.x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(centre.y() - screen.center().y()), 1);
  box.close();

  NoticeBox shortBox(NoticeKind::Information, ButtonOk, QStringLiteral("短い"));
  EXPECT_LT(shortBox.textLabel()->width(), screen.width() / 4);
  EXPECT_LT(shortBox.textLabel()->height(), 2 * shortBox.textLabel()->fontMetrics().height());

  // A long path breaks after its separators and stays within the width.
  QString path = QStringLiteral("削除できません \"");
  for (int i = 0; i < 40; ++i) path += QStringLiteral("/フォルダ%1").arg(i);
  NoticeBox pathBox(NoticeKind::Warning, ButtonOk, path + u'"');
  EXPECT_LE(pathBox.textLabel()->width(), screen.width() / 2);
  EXPECT_GT(pathBox.textLabel()->height(), 2 * pathBox.textLabel()->fontMetrics().height());
}

TEST(NoticeBoxTest, TextForTheUserDropsMnemonicMarkers) {
  EXPECT_EQ(ui::withoutMnemonics(QStringLiteral("実行(&G)")), QStringLiteral("実行(G)"));
  EXPECT_EQ(ui::withoutMnemonics(QStringLiteral("A&&B")), QStringLiteral("A&B"));
}

// Qt's own dialogs and buttons speak Japanese, as the tool's own windows do.
TEST(QtTranslationsTest, QtOwnButtonsSpeakJapanese) {
  ASSERT_TRUE(ui::installQtTranslations()) << "Qt's Japanese translations are not installed";
  QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Cancel | QMessageBox::Open);
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
  EXPECT_EQ(box.button(QMessageBox::Open)->text(), QStringLiteral("開く"));
}

TEST(FontsTest, JapaneseTextHasGlyphsInBothFamilies) {
  // Without "ＭＳ ゴシック" on the system the fallback must be a font that
  // holds kanji and half-width katakana, or the windows show empty boxes.
  for (const QFont& font : {ui::gothicFont(13, true), ui::pGothicFont(12, false)}) {
    const QFontInfo info(font);
    EXPECT_TRUE(font.families().contains(info.family())) << info.family().toStdString();
    EXPECT_EQ(info.pixelSize(), font.pixelSize());
    const QFontMetrics metrics(font);
    for (QChar c : QStringLiteral("圧縮中止ｷｬﾝｾﾙ")) EXPECT_TRUE(metrics.inFont(c)) << int(c.unicode());
  }
}

}  // namespace
}  // namespace vedo::test
