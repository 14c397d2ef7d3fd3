// The library's progress display on its own: where the work runs and what the
// window shows, with the worker held until the test has seen the window.

#include "platform/cp932.h"
#include "unlha32/progress/progress.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <future>
#include <thread>

namespace vedo::test {
namespace {

TEST(ProgressWindowTest, WithoutDisplayTheWorkRunsOnTheCallingThread) {
  std::thread::id ran;
  EXPECT_EQ(unlha::runWithProgress(false, [&](unlha::ProgressReport& report) {
              ran = std::this_thread::get_id();
              report.member("a.txt");
              report.fraction(1.0);
              return 42;
            }),
            42);
  EXPECT_EQ(ran, std::this_thread::get_id());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(ProgressWindowTest, DisplayShowsMemberAndShareWhileTheWorkerRuns) {
  std::promise<void> seen;
  std::shared_future<void> release = seen.get_future().share();
  QString member;
  int value = -1;
  bool modal = false;
  QTimer probe;
  probe.setInterval(0);
  bool done = false;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    QWidget* window = QApplication::activeModalWidget();
    if (done || window == nullptr) return;
    auto* label = window->findChild<QLabel*>(QStringLiteral("Member"));
    auto* bar = window->findChild<QProgressBar*>(QStringLiteral("Bar"));
    if (label == nullptr || bar == nullptr || label->text().isEmpty() || bar->value() != 500) return;
    member = label->text();
    value = bar->value();
    modal = window->isModal();
    done = true;
    seen.set_value();
  });
  probe.start();
  std::thread::id ran;
  const int result = unlha::runWithProgress(true, [&](unlha::ProgressReport& report) {
    ran = std::this_thread::get_id();
    report.member(*cp932::fromUtf8("資料/表\x1b]2;t\x07.txt"));  // control characters shown, never sent
    report.fraction(0.5);
    release.wait();  // until the calling thread has drawn both
    return 7;
  });
  probe.stop();
  EXPECT_EQ(result, 7);
  EXPECT_NE(ran, std::this_thread::get_id());
  EXPECT_EQ(member, QStringLiteral("資料/表\\x1b]2;t\\x07.txt"));
  EXPECT_EQ(value, 500);
  EXPECT_TRUE(modal);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // gone once the call returns
}

TEST(ProgressWindowTest, CallFromAnotherThreadBlocksWithoutAWindow) {
  std::thread::id caller, ran;
  std::thread other([&] {
    caller = std::this_thread::get_id();
    unlha::runWithProgress(true, [&](unlha::ProgressReport&) {
      ran = std::this_thread::get_id();
      return 0;
    });
  });
  other.join();
  EXPECT_EQ(ran, caller);
}

// The 中止 button and the close box ask the work to stop; the window stays
// until the work has stopped. The work here runs until it sees the request.
TEST(ProgressWindowTest, CancelButtonAndCloseBoxAskTheWorkToStop) {
  for (const bool byButton : {true, false}) {
    QTimer probe;
    probe.setInterval(0);
    bool asked = false;
    bool stayedOpen = false;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      QWidget* window = QApplication::activeModalWidget();
      if (window == nullptr || window->objectName() != QStringLiteral("UnlhaProgress")) return;
      if (!asked) {
        asked = true;
        QPushButton* cancel = window->findChild<QPushButton*>(QStringLiteral("Cancel"));
        if (byButton && cancel != nullptr)
          cancel->click();
        else
          window->close();  // without its button the window is still closed, so the run ends
        EXPECT_NE(cancel, nullptr);
        stayedOpen = window->isVisible();
      }
    });
    probe.start();
    const int result = unlha::runWithProgress(true, [&](unlha::ProgressReport& report) {
      while (!report.cancelled()) std::this_thread::yield();
      return 7;
    });
    probe.stop();
    EXPECT_EQ(result, 7) << (byButton ? "button" : "close box");
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
}

}  // namespace
}  // namespace vedo::test
