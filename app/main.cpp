// vedo32: start-up, the command-line run and shutdown.
//
// The archiver library is bound before any window exists; then the windows
// are created in their fixed order, each hidden, the main window is shown and
// the event loop runs until the main window closes. With exactly one argument
// left after the toolkit's own options, the main window's first activation
// runs that batch file and closes the window.
//
// Without a display (no DISPLAY, no WAYLAND_DISPLAY, no platform given, as
// under cron or ssh) the tool starts on the offscreen platform by itself. There,
// and on any other platform no one can see, nobody can answer: notices become
// lines on standard error and a question takes the answer that stops the run.
// The exit status is that of the command-line run: 0 every entry did its job,
// 1 an entry failed or was skipped or the run was aborted, 2 the batch file
// could not be read.

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "engine/run_report.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>

#include <clocale>
#include <cstring>

#include "platform/cp932.h"
#include "ui/glyphs.h"
#include "ui/notice_box.h"
#include "ui/ui_text.h"
#include "ui/vedo_windows.h"

namespace {

bool platformGiven(int argc, char** argv) {
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return true;
  return false;
}

// vedo32 is a Japanese program: the archiver library's messages (gettext)
// are asked for in Japanese whatever the user's language. gettext ignores the
// language list in the plain C locale, so that one becomes C.UTF-8 (text
// handling here never depends on the locale's encoding: conversions name
// their encodings).
void speakJapanese() {
  qputenv("LANGUAGE", "ja");
  const char* ctype = std::setlocale(LC_CTYPE, nullptr);
  if (ctype != nullptr && (std::strcmp(ctype, "C") == 0 || std::strcmp(ctype, "POSIX") == 0)) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    std::setlocale(LC_MESSAGES, "C.UTF-8");
  }
  vedo::ui::installQtTranslations();
}

bool displayPresent() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  const bool noDisplay = !platformGiven(argc, argv) && !displayPresent();
  if (noDisplay) qputenv("QT_QPA_PLATFORM", "offscreen");
  // QApplication takes its own options (such as -platform) out of argv.
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);  // only the main window's close ends the tool
  app.setWindowIcon(vedo::ui::applicationIcon());
  speakJapanese();
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  // Nobody can answer a question on these platforms: questions take their
  // abort answer and notices become lines on standard error.
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) vedo::ui::setUnattended(true);
  if (noDisplay && arguments.size() != 1) {
    vedo::ui::printDiagnostic(vedo::cp932::fixed(
        "画面がありません (DISPLAY も WAYLAND_DISPLAY もありません)。画面なしではバッチ処理ファイルを一つ指定してください"));
    return vedo::ExitUnreadable;
  }

  vedo::unlha32::setNoticeHook([](const std::string& text) { vedo::ui::showPanicNotice(text); });
  vedo::unlha32::LoadArchiver();

  int rc = 0;
  {
    vedo::AppState state;
    vedo::ui::VedoWindows windows(state, arguments);
    vedo::ui::TForm1* form = windows.Form1.get();
    QObject::connect(
        form, &vedo::ui::TForm1::applicationEnd, &app, [&app, form] { app.exit(form->exitStatus()); },
        Qt::QueuedConnection);
    windows.Form1->show();
    // The run normally starts on the first activation; a platform that never
    // activates the window still gets it, with the same placement first, once
    // the loop runs.
    if (arguments.size() == 1) {
      QTimer::singleShot(0, windows.Form1.get(), [&] {
        if (!windows.Form1->commandLineRunStarted()) windows.Form1->FormActivate();
      });
    }
    rc = app.exec();
  }
  vedo::unlha32::UnloadArchiver();
  return rc;
}
