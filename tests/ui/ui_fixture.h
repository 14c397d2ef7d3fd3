#pragma once
// A fresh set of windows per test, over a stand-in archiver library and a
// settings folder of its own. Notices are answered by a script instead of a
// modal loop and recorded; prompt dialogs run their real modal loops and are
// answered from a zero-delay timer.

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "tests/support/fake_unlha.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "ui/notice_box.h"
#include "ui/sound_player.h"
#include "ui/vedo_windows.h"

namespace vedo::test {

struct SeenNotice {
  QString title;
  QString text;
  NoticeKind kind;
  std::vector<QString> buttons;  // captions, left to right
};

class UiTest : public ::testing::Test {
 protected:
  UiTest() {
    ::setenv("XDG_CONFIG_HOME", config.str().c_str(), 1);
    unlha32::LoadArchiver(fakeUnlhaPath().c_str());
    fake = std::make_unique<FakeUnlha>();
    fake->reset();
    ui::soundPlayer().clearHistory();
    ui::setNoticeResponder([this](ui::NoticeBox& box) { answer(box); });
  }
  ~UiTest() override {
    ui::setNoticeResponder({});
    windows.reset();
    fake.reset();
    unlha32::UnloadArchiver();
  }

  // Creates the windows as start-up does.
  void create(const QStringList& arguments = {}) {
    windows = std::make_unique<ui::VedoWindows>(state, arguments);
  }
  ui::TForm1& form() { return *windows->Form1; }

  // Runs `action` once the next modal loop has started, with the modal window.
  static void whenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] { action(QApplication::activeModalWidget()); });
  }
  // Types text into a widget key by key; characters without a key of their
  // own arrive as an input method would send them.
  static void type(QWidget* widget, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
      QString one(text[i]);
      if (text[i].isHighSurrogate() && i + 1 < text.size()) one += text[++i];
      if (one.size() == 1 && one[0].unicode() < 0x80)
        QTest::keyClick(widget, one[0].toLatin1());
      else
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, one, Qt::NoModifier);
    }
  }
  // Delivers one timeout of a timer, as its interval running out would.
  static void fire(QTimer* timer) { QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection); }

  // Notices are answered with the scripted buttons, then as Enter would.
  void answer(ui::NoticeBox& box) {
    SeenNotice seen{box.windowTitle(), box.text(), box.kind(), {}};
    for (NoticeButton b : {ButtonYes, ButtonNo, ButtonOk, ButtonCancel, ButtonAbort})
      if (box.button(b) != nullptr) seen.buttons.push_back(box.button(b)->text());
    notices.push_back(seen);
    if (onNotice) onNotice(box);
    NoticeButton press = ButtonOk;
    if (!answers.empty()) {
      press = answers.front();
      answers.pop_front();
    } else if (box.defaultButton() == nullptr) {
      press = box.button(ButtonAbort) ? ButtonAbort : ButtonCancel;
    } else {
      box.defaultButton()->click();
      return;
    }
    if (box.button(press) != nullptr) box.button(press)->click();
  }

  TempFolder config;
  AppState state;
  std::unique_ptr<FakeUnlha> fake;
  std::unique_ptr<ui::VedoWindows> windows;
  std::vector<SeenNotice> notices;
  std::deque<NoticeButton> answers;
  std::function<void(ui::NoticeBox&)> onNotice;
};

}  // namespace vedo::test
