#pragma once
// What every window of the tool shares: the activation event as the windows
// expect it, and the behaviour common to the four prompt dialogs.

#include <QDialog>
#include <QPointer>

namespace vedo {
struct AppState;
}

namespace vedo::ui {

// A window's activation handler runs when the window becomes the active one of
// the tool's windows. Notices and message boxes opened on top of a window do
// not count as windows of the tool: when one closes and its window gets the
// focus back, the handler does not run again (it would otherwise open a new
// notice every time the old one closed).
class ActiveForm {
 public:
  // True when `form` just became the active window of the tool.
  static bool activated(QWidget* form);
  // Forgets `form` when it is hidden, so its next activation counts.
  static void hidden(QWidget* form);
  static QWidget* current();
};

// A modal question. The first time it opens, the first button in tab order has
// the focus; later openings give the focus back to the control that had it when
// the dialog last closed. Buttons write the answer cell and close; closing
// through the frame writes nothing. Escape does nothing; Enter presses the
// focused button.
class PromptDialog : public QDialog {
  Q_OBJECT
 public:
  PromptDialog(AppState& state, const char* name, const QString& caption, QSize clientSize, bool helpButton);

  QWidget* lastFocus() const { return lastFocus_; }

  // Shows the dialog modally. Where no one can answer (notice_box.h) it does
  // not wait: it takes the answer that stops the run and deletes nothing, and
  // says on standard error which question it was and for which entry.
  void ask();

 protected:
  // Writes the answer ask() takes when no one can answer.
  virtual void takeAbortAnswer() = 0;
  // The question and the entry it is about, for standard error.
  virtual QString questionAndEntry() const = 0;

  // Writes `value` into `cell` and closes the dialog.
  void answer(int& cell, int value);
  // Writes the abort value, then asks "バッチ処理を中断しますか？" and closes only on Yes.
  void abortSequence(int& cell, int value);
  void setFirstButton(QWidget* button) { firstButton_ = button; }

  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

  AppState& state_;

 private:
  QPointer<QWidget> firstButton_;
  QPointer<QWidget> lastFocus_;
};

}  // namespace vedo::ui
