#pragma once
// The version box (instance AboutBox): the tool's name and version and the
// archiver library's version.

#include <QDialog>
#include <QGroupBox>
#include <QLabel>

#include "ui/widgets.h"

namespace vedo::ui {

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  TAboutBox();

  Panel* Panel1;
  QLabel* ProductName;
  QLabel* Version;
  QLabel* Comments;  // the one-line notice
  QGroupBox* GroupBox1;
  QLabel* Label1;  // "Version : x.xx" of the library
  BitBtn* OKButton;

  // Runs when the box is shown and again when it becomes the active window.
  void FormActivate();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
};

}  // namespace vedo::ui
