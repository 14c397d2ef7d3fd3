// vedo32: start-up, the command-line run and shutdown.
//
// The archiver library is bound before any window exists; then the windows
// are created in their fixed order, each hidden, the main window is shown and
// the event loop runs until the main window closes. With exactly one argument
// left after the toolkit's own options, the main window's first activation
// runs that batch file and closes the window.

#include "archiver/archiver_binding.h"
#include "engine/app_state.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "app/screenshots.h"
#include "ui/glyphs.h"
#include "ui/notice_box.h"
#include "ui/vedo_windows.h"

int main(int argc, char** argv) {
  // QApplication takes its own options (such as -platform) out of argv.
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);  // only the main window's close ends the tool
  app.setWindowIcon(vedo::ui::applicationIcon());
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

  vedo::unlha32::setNoticeHook([](const std::string& text) { vedo::ui::showPanicNotice(text); });
  vedo::unlha32::LoadArchiver();

  int rc = 0;
  {
    vedo::AppState state;
    const QString screenshotFolder = qEnvironmentVariable("VEDO32_SCREENSHOTS");
    vedo::ui::VedoWindows windows(state, screenshotFolder.isEmpty() ? arguments : QStringList());
    QObject::connect(windows.Form1.get(), &vedo::ui::TForm1::applicationEnd, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    windows.Form1->show();
    if (!screenshotFolder.isEmpty()) return vedo::app::takeScreenshots(windows, screenshotFolder);
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
