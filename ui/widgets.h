#pragma once
// The small control kinds the windows are built from: bevelled panels, bitmap
// buttons, speed buttons and edit fields that accept a dropped file.

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

class QLabel;
class QMimeData;

namespace vedo::ui {

enum class Bevel { None, Raised, Lowered, Single };

// A panel with an outer and an inner bevel, one pixel each (Single: a plain
// dark line).
class Panel : public QFrame {
  Q_OBJECT
 public:
  Panel(QWidget* parent, const char* name, Bevel outer = Bevel::Raised, Bevel inner = Bevel::None);
  Bevel outerBevel() const { return outer_; }
  Bevel innerBevel() const { return inner_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Bevel outer_;
  Bevel inner_;
};

// A push button with a picture beside its caption. Enter presses it while it
// has the focus, as Space does; so while it has the focus it is drawn as the
// default button, with its focus frame, from the window's first opening on
// (not only once the Tab key has been used).
class BitBtn : public QPushButton {
  Q_OBJECT
 public:
  BitBtn(QWidget* parent, const char* name, const QString& caption, const QIcon& glyph);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
};

// A flat picture button that never takes the focus.
class SpeedButton : public QToolButton {
  Q_OBJECT
 public:
  SpeedButton(QWidget* parent, const char* name, const QIcon& glyph);
};

// An edit field that takes the local path of a file dropped onto it from a file
// manager (never the URL), replacing its text.
class DropEdit : public QLineEdit {
  Q_OBJECT
 public:
  DropEdit(QWidget* parent, const char* name);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

// The dropped file's local path, or an empty string when the data holds none.
QString droppedLocalPath(const QMimeData* data);

// A label that sizes itself to its text at the given position.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top);
// A label of fixed size that cuts off what does not fit.
QLabel* makeFixedLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry);

}  // namespace vedo::ui
