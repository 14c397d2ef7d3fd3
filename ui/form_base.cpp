#include "ui/form_base.h"

#include "engine/app_state.h"
#include "platform/cp932.h"

#include <QEvent>
#include <QKeyEvent>

#include "ui/notice_box.h"
#include "ui/sound_player.h"
#include "ui/ui_text.h"

namespace vedo::ui {
namespace {
QPointer<QWidget>& activeForm() {
  static QPointer<QWidget> form;
  return form;
}
}  // namespace

bool ActiveForm::activated(QWidget* form) {
  if (activeForm() == form) return false;
  activeForm() = form;
  return true;
}

void ActiveForm::hidden(QWidget* form) {
  if (activeForm() == form) activeForm() = nullptr;
}

QWidget* ActiveForm::current() { return activeForm(); }

PromptDialog::PromptDialog(AppState& state, const char* name, const QString& caption, QSize clientSize,
                           bool helpButton)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           (helpButton ? Qt::WindowContextHelpButtonHint : Qt::Widget)),
      state_(state) {
  setObjectName(QString::fromLatin1(name));
  setWindowTitle(caption);
  setModal(true);
  setFont(pGothicFont(12, false));
  resize(clientSize);
}

void PromptDialog::ask() {
  if (!unattended()) {
    exec();
    return;
  }
  takeAbortAnswer();
  printDiagnostic(cp932::fixed("応答できない確認のため中断します: ") +
                  toCp932(questionAndEntry()).value_or(std::string()));
}

void PromptDialog::answer(int& cell, int value) {
  cell = value;
  done(QDialog::Accepted);
}

void PromptDialog::abortSequence(int& cell, int value) {
  cell = value;  // written first: a No below leaves the abort value in place
  soundPlayer().play(Sound::Question);
  if (showNotice(NoticeKind::Confirmation, ButtonYes | ButtonNo, cp932::fixed("バッチ処理を中断しますか？")) ==
      ButtonYes)
    done(QDialog::Accepted);
}

void PromptDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QWidget* target = lastFocus_ ? lastFocus_.data() : firstButton_.data();
  if (target != nullptr) target->setFocus(Qt::OtherFocusReason);
}

void PromptDialog::hideEvent(QHideEvent* event) {
  if (QWidget* f = focusWidget(); f != nullptr && isAncestorOf(f)) lastFocus_ = f;
  ActiveForm::hidden(this);
  QDialog::hideEvent(event);
}

void PromptDialog::keyPressEvent(QKeyEvent* event) {
  // No default and no cancel button: Enter acts only through the focused
  // button itself, and Escape does nothing.
  const int key = event->key();
  if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool PromptDialog::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) ActiveForm::activated(this);
  return QDialog::event(event);
}

}  // namespace vedo::ui
