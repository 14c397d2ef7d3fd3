#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTextStream>

#include <cstdio>

#include "ui/notice_box.h"
#include "ui/vedo_windows.h"

namespace vedo::app {
namespace {

// Shows the window without a modal loop, lets it lay itself out and paint,
// and saves what it shows.
bool save(QWidget& window, const QString& path) {
  window.show();
  window.raise();
  for (int i = 0; i < 5; ++i) QApplication::processEvents();
  const bool ok = window.grab().save(path, "PNG");
  std::fprintf(stderr, "%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
  return ok;
}

}  // namespace

int takeScreenshots(ui::VedoWindows& windows, const QString& folder) {
  QDir().mkpath(folder);
  const QDir dir(folder);
  bool ok = true;

  // A main window as a user sees it during a job: a source typed, the batch
  // row shown, the status poll run once.
  windows.Form1->Edit1->setText(QStringLiteral("/home/user/文書/*.TXT"));
  windows.Form1->CheckBox2->setChecked(true);
  windows.Form1->Edit3->setText(QStringLiteral("/home/user/毎日.VDB"));
  windows.Form1->StatusPoll();
  ok &= save(*windows.Form1, dir.filePath(QStringLiteral("main-window.png")));

  windows.EXEC_STATE->setWindowTitle(QStringLiteral("毎日.VDB - VEDO32.EXE"));
  windows.EXEC_STATE->Label2->setText(QStringLiteral("/home/user/文書/*.TXT"));
  windows.EXEC_STATE->Label3->setText(QStringLiteral("/home/user/文書/ALLFILE.LZH"));
  ok &= save(*windows.EXEC_STATE, dir.filePath(QStringLiteral("progress-window.png")));
  windows.EXEC_STATE->hide();

  windows.INFO2->Label2->setText(QStringLiteral("/home/user/文書/*.TXT"));
  windows.INFO2->Label3->setText(QStringLiteral("/home/user/文書/ALLFILE.LZH"));
  windows.INFO3->Label2->setText(QStringLiteral("/home/user/文書/報告.DOC"));
  windows.INFO4->Label2->setText(QStringLiteral("/home/user/文書/*.TXT"));
  const struct {
    QWidget* window;
    const char* file;
  } dialogs[] = {
      {windows.INFO1.get(), "start-question.png"},     {windows.INFO2.get(), "confirm-compress.png"},
      {windows.INFO3.get(), "source-not-found.png"},   {windows.INFO4.get(), "delete-question.png"},
      {windows.OPT.get(), "options-dialog.png"},       {windows.AboutBox.get(), "version-box.png"},
  };
  for (const auto& d : dialogs) {
    ok &= save(*d.window, dir.filePath(QString::fromLatin1(d.file)));
    d.window->hide();
  }

  ui::NoticeBox notice(NoticeKind::Confirmation, ButtonYes | ButtonNo,
                       QStringLiteral("バッチ処理を中断しますか？"));
  ok &= save(notice, dir.filePath(QStringLiteral("notice.png")));
  notice.hide();
  return ok ? 0 : 1;
}

}  // namespace vedo::app
