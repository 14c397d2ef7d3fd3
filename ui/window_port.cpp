#include "ui/window_port.h"

#include "ui/exec_state.h"
#include "ui/notice_box.h"
#include "ui/prompt_dialogs.h"
#include "ui/sound_player.h"
#include "ui/ui_text.h"

namespace vedo::ui {

void WindowPort::playSound(Sound sound) { soundPlayer().play(sound); }

NoticeButton WindowPort::ShowNotice(NoticeKind kind, unsigned buttons, const std::string& text) {
  return showNotice(kind, buttons, text);
}

void WindowPort::setConfirmLabels(const std::string& source, const std::string& archive) {
  forms_.INFO2->Label2->setText(fromCp932(source));
  forms_.INFO2->Label3->setText(fromCp932(archive));
}

void WindowPort::setSourceNotFoundLabel(const std::string& source) {
  forms_.INFO3->Label2->setText(fromCp932(source));
}

void WindowPort::setDeleteLabel(const std::string& source) { forms_.INFO4->Label2->setText(fromCp932(source)); }

void WindowPort::showStartQuestion() { forms_.INFO1->ask(); }
void WindowPort::showConfirmCompress() { forms_.INFO2->ask(); }
void WindowPort::showSourceNotFound() { forms_.INFO3->ask(); }
void WindowPort::showDeleteQuestion() { forms_.INFO4->ask(); }

void WindowPort::setProgressLabels(const std::string& source, const std::string& archive) {
  forms_.EXEC_STATE->Label2->setText(fromCp932(source));
  forms_.EXEC_STATE->Label3->setText(fromCp932(archive));
}

void WindowPort::showProgressRunningLabel() { forms_.EXEC_STATE->Label1->show(); }

bool WindowPort::progressWindowVisible() const { return forms_.EXEC_STATE->isVisible(); }

void WindowPort::hideProgressWindow() { forms_.EXEC_STATE->hide(); }

}  // namespace vedo::ui
