#pragma once
// How the engine reaches the user through the real windows: the prompt
// dialogs, the progress window, notices and sounds.

#include "engine/interaction_port.h"

#include "ui/form1.h"

namespace vedo::ui {

class WindowPort : public InteractionPort {
 public:
  void attach(const FormSet& forms) { forms_ = forms; }

  void playSound(Sound sound) override;
  NoticeButton ShowNotice(NoticeKind kind, unsigned buttons, const std::string& text) override;

  void setConfirmLabels(const std::string& source, const std::string& archive) override;
  void setSourceNotFoundLabel(const std::string& source) override;
  void setDeleteLabel(const std::string& source) override;

  void showStartQuestion() override;
  void showConfirmCompress() override;
  void showSourceNotFound() override;
  void showDeleteQuestion() override;

  void setProgressLabels(const std::string& source, const std::string& archive) override;
  void showProgressRunningLabel() override;
  bool progressWindowVisible() const override;
  void hideProgressWindow() override;

 private:
  FormSet forms_;
};

}  // namespace vedo::ui
