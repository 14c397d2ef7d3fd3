// vedo32_screenshots FOLDER: pictures of every window for the documentation
// (scripts/screenshots runs it under a virtual X server). The windows are the
// program's own, made as at start-up and filled with sample texts; the
// library is bound so that the version box shows its version.

#include <QApplication>
#include <QStringList>

#include <cstdio>

#include "app/screenshots.h"
#include "archiver/archiver_binding.h"
#include "engine/app_state.h"
#include "ui/glyphs.h"
#include "ui/vedo_windows.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: vedo32_screenshots FOLDER\n");
    return 2;
  }
  app.setWindowIcon(vedo::ui::applicationIcon());
  vedo::unlha32::LoadArchiver();
  int rc = 0;
  {
    vedo::AppState state;
    vedo::ui::VedoWindows windows(state, QStringList());
    windows.Form1->show();
    rc = vedo::app::takeScreenshots(windows, QString::fromLocal8Bit(argv[1]));
  }
  vedo::unlha32::UnloadArchiver();
  return rc;
}
