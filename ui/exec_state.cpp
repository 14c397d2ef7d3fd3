#include "ui/exec_state.h"

#include "ui/ui_text.h"

namespace vedo::ui {

TEXEC_STATE::TEXEC_STATE()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                           Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("EXEC_STATE"));
  setWindowTitle(QString());
  setFixedSize(348, 72);
  move(kInitialLeft, kInitialTop);
  // The window's own background is the active-caption colour; the panel on top
  // keeps the button face, so only a thin coloured edge shows.
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Active, QPalette::Highlight));
  setPalette(pal);
  setAutoFillBackground(true);

  Panel1 = new Panel(this, "Panel1", Bevel::Single);
  Panel1->setGeometry(1, 2, 345, 68);
  QPalette face = Panel1->palette();
  face.setColor(QPalette::Window, QWidget().palette().color(QPalette::Button));
  face.setColor(QPalette::WindowText, Qt::black);
  Panel1->setPalette(face);
  Panel1->setAutoFillBackground(true);

  const QFont bold = gothicFont(13, true);
  Label1 = makeLabel(Panel1, "Label1", QStringLiteral("バッチ処理を実行中...."), 0, 0);
  Label1->setFont(bold);
  Label1->move(7, 6);
  Label1->adjustSize();
  Label4 = makeLabel(Panel1, "Label4", QStringLiteral("From:"), 0, 0);
  Label4->setFont(bold);
  Label4->move(6, 25);
  Label4->adjustSize();
  Label5 = makeLabel(Panel1, "Label5", QStringLiteral(" To :"), 0, 0);
  Label5->setFont(bold);
  Label5->move(6, 45);
  Label5->adjustSize();

  QPalette highlight = face;
  highlight.setColor(QPalette::Window, face.color(QPalette::Active, QPalette::Highlight));
  for (QLabel** label : {&Label2, &Label3}) {
    const bool source = label == &Label2;
    *label = makeFixedLabel(Panel1, source ? "Label2" : "Label3", QString(),
                            source ? QRect(50, 25, 287, 15) : QRect(50, 44, 287, 15));
    (*label)->setFont(bold);
    (*label)->setPalette(highlight);
    (*label)->setAutoFillBackground(true);
    (*label)->setAccessibleName(source ? QStringLiteral("From:") : QStringLiteral("To:"));
  }
}

}  // namespace vedo::ui
