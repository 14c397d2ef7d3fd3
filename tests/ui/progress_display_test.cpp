// The archiver library's own progress display, with the real library: while a
// command without -n runs, the caller's events keep flowing; with -n the call
// blocks.

#include <gmock/gmock.h>

#include <random>

#include "tests/ui/ui_fixture.h"

namespace vedo::test {
namespace {

class ProgressDisplayTest : public UiTest {
 protected:
  ProgressDisplayTest() {
    unlha32::LoadArchiver(VEDO_UNLHA32_PATH);
    // Text that takes the encoder a noticeable while: several megabytes of
    // words drawn at random, so neither matching nor storing is trivial.
    std::mt19937 rng(7);
    const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "epsilon ", "zeta\n", "eta ", "theta "};
    std::string text;
    while (text.size() < 6u << 20) text += words[rng() % 8];
    work.write("big.txt", text);
  }

  int run(const std::string& switches) {
    const std::string command =
        "a " + switches + "\"" + work.sjis("big.lzh") + "\"  \"" + work.sjis("big.txt") + "\"";
    char output[512] = {};
    return unlha32::Archiver().Unlha(nullptr, command.c_str(), output, sizeof output);
  }

  TempFolder work;
};

TEST_F(ProgressDisplayTest, CallerEventsFlowOnlyWithoutTheNoDisplaySwitch) {
  ASSERT_TRUE(unlha32::ArchiverLoaded());
  create();
  int fired = 0;
  QString status;
  QString modal;
  QTimer probe;
  probe.setInterval(0);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    if (fired++ == 0) {
      fire(form().Timer1);  // the main window's poll, as its own timer would run it
      status = form().Label3->text();
      if (QWidget* w = QApplication::activeModalWidget()) modal = w->objectName();
    }
  });

  probe.start();
  EXPECT_EQ(run(""), 0);
  probe.stop();
  EXPECT_GT(fired, 0);
  EXPECT_EQ(status, QStringLiteral("実行中..."));
  EXPECT_EQ(modal, QStringLiteral("UnlhaProgress"));  // input to other windows is blocked
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  fired = 0;
  probe.start();
  EXPECT_EQ(run("-n "), 0);
  probe.stop();
  EXPECT_EQ(fired, 0);
}

}  // namespace
}  // namespace vedo::test
