#include "ui/about_box.h"

#include "archiver/archiver_binding.h"

#include <QKeyEvent>

#include "ui/form_base.h"
#include "ui/glyphs.h"
#include "ui/ui_text.h"

namespace vedo::ui {

TAboutBox::TAboutBox()
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("バージョン情報"));
  setModal(true);
  setFont(gothicFont(13, true));
  setFixedSize(257, 97);

  Panel1 = new Panel(this, "Panel1", Bevel::Lowered, Bevel::Raised);
  Panel1->setGeometry(2, 2, 253, 93);

  ProductName = makeFixedLabel(Panel1, "ProductName", QStringLiteral("VEDO32.EXE"), QRect(10, 6, 121, 21));
  ProductName->setFont(gothicFont(21, true));
  Version = makeFixedLabel(Panel1, "Version", QStringLiteral("Version 1.32"), QRect(136, 14, 97, 13));
  Comments = makeFixedLabel(Panel1, "Comments", QStringLiteral("LZH 圧縮ツール  (unlha32 を使用)"),
                            QRect(6, 30, 241, 13));
  GroupBox1 = new QGroupBox(QStringLiteral(" unlha32.DLL "), Panel1);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(6, 50, 149, 37);
  Label1 = makeLabel(GroupBox1, "Label1", QString(), 18, 16);
  Label1->setAccessibleName(QStringLiteral("unlha32.DLL"));
  OKButton = new BitBtn(Panel1, "OKButton", QStringLiteral("ＯＫ"), glyph(Glyph::Yes));
  OKButton->setGeometry(166, 68, 81, 22);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
}

void TAboutBox::FormActivate() {
  Label1->setText(QStringLiteral("Version : ") + formatLibraryVersion(unlha32::Archiver().UnlhaGetVersion()));
  Label1->adjustSize();
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
  OKButton->setFocus(Qt::OtherFocusReason);
}

void TAboutBox::hideEvent(QHideEvent* event) {
  ActiveForm::hidden(this);
  QDialog::hideEvent(event);
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
  // OK is the default button: Enter presses it. There is no cancel button.
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    OKButton->click();
    return;
  }
  if (key == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TAboutBox::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && ActiveForm::activated(this)) FormActivate();
  return QDialog::event(event);
}

}  // namespace vedo::ui
