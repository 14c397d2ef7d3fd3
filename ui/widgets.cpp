#include "ui/widgets.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <qdrawutil.h>

#include "ui/ui_text.h"

namespace vedo::ui {

Panel::Panel(QWidget* parent, const char* name, Bevel outer, Bevel inner)
    : QFrame(parent), outer_(outer), inner_(inner) {
  setObjectName(QString::fromLatin1(name));
  int width = (outer != Bevel::None) + (inner != Bevel::None);
  setContentsMargins(width, width, width, width);
}

void Panel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QRect r = rect();
  for (Bevel bevel : {outer_, inner_}) {
    if (bevel == Bevel::None) continue;
    if (bevel == Bevel::Single) {
      painter.setPen(palette().color(QPalette::Shadow));
      painter.drawRect(r.adjusted(0, 0, -1, -1));
      r.adjust(1, 1, -1, -1);
      continue;
    }
    qDrawShadeRect(&painter, r, palette(), bevel == Bevel::Lowered, 1);
    r.adjust(1, 1, -1, -1);
  }
}

BitBtn::BitBtn(QWidget* parent, const char* name, const QString& caption, const QIcon& glyph)
    : QPushButton(glyph, caption, parent) {
  setObjectName(QString::fromLatin1(name));
  setIconSize(QSize(16, 16));
  setAutoDefault(false);
  setAccessibleName(withoutMnemonics(caption));
}

void BitBtn::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

void BitBtn::focusInEvent(QFocusEvent* event) {
  QPushButton::focusInEvent(event);
  setDefault(true);
  window()->setAttribute(Qt::WA_KeyboardFocusChange);
}

void BitBtn::focusOutEvent(QFocusEvent* event) {
  setDefault(false);
  QPushButton::focusOutEvent(event);
}

SpeedButton::SpeedButton(QWidget* parent, const char* name, const QIcon& glyph) : QToolButton(parent) {
  setObjectName(QString::fromLatin1(name));
  setIcon(glyph);
  setIconSize(QSize(14, 14));
  setFocusPolicy(Qt::NoFocus);
  setAutoRaise(false);
}

DropEdit::DropEdit(QWidget* parent, const char* name) : QLineEdit(parent) {
  setObjectName(QString::fromLatin1(name));
  setAcceptDrops(true);
}

QString droppedLocalPath(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return {};
}

void DropEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (!droppedLocalPath(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    QLineEdit::dragEnterEvent(event);
}

void DropEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (!droppedLocalPath(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    QLineEdit::dragMoveEvent(event);
}

void DropEdit::dropEvent(QDropEvent* event) {
  QString path = droppedLocalPath(event->mimeData());
  if (path.isEmpty()) {
    QLineEdit::dropEvent(event);
    return;
  }
  setText(path);
  setFocus(Qt::OtherFocusReason);
  event->acceptProposedAction();
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->move(left, top);
  label->adjustSize();
  return label;
}

QLabel* makeFixedLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setGeometry(geometry);
  return label;
}

}  // namespace vedo::ui
