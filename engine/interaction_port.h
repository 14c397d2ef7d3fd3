#pragma once
// How the engine asks and tells the user. The windows implement it with real
// dialogs and notices; tests implement it with a scripted double. Texts are
// CP932. The prompt operations return nothing: each dialog writes its answer
// into its cell of AppState (or leaves it unchanged when closed through its
// frame), and the caller reads the cell afterwards.

#include <string>

namespace vedo {

enum class Sound { Exclamation, Asterisk, Question };

enum class NoticeKind { Warning, Error, Information, Confirmation };

// Notice buttons; a set is a bitwise or. They stand in the order Yes, No, OK,
// Cancel, Abort.
enum NoticeButton : unsigned {
  ButtonYes = 0x01,
  ButtonNo = 0x02,
  ButtonOk = 0x04,
  ButtonCancel = 0x08,
  ButtonAbort = 0x10,
};

class InteractionPort {
 public:
  virtual ~InteractionPort() = default;

  virtual void playSound(Sound sound) = 0;

  // A modal message box; returns the button pressed (Cancel for a frame close).
  virtual NoticeButton ShowNotice(NoticeKind kind, unsigned buttons, const std::string& text) = 0;

  // Labels the engine fills before a dialog may show them (full paths).
  virtual void setConfirmLabels(const std::string& source, const std::string& archive) = 0;  // TINFO2
  virtual void setSourceNotFoundLabel(const std::string& source) = 0;                       // TINFO3
  virtual void setDeleteLabel(const std::string& source) = 0;                               // TINFO4

  // Prompt dialogs (modal).
  virtual void showStartQuestion() = 0;    // TINFO1: writes StartAnswer
  virtual void showConfirmCompress() = 0;  // TINFO2: writes EntryAnswer 1, 2 or 3
  virtual void showSourceNotFound() = 0;   // TINFO3: writes EntryAnswer 2 or 3
  virtual void showDeleteQuestion() = 0;   // TINFO4: writes DeleteAnswer 1 or 2

  // Progress window (TEXEC_STATE).
  virtual void setProgressLabels(const std::string& source, const std::string& archive) = 0;
  virtual void showProgressRunningLabel() = 0;  // makes "バッチ処理を実行中...." visible
  virtual bool progressWindowVisible() const = 0;
  virtual void hideProgressWindow() = 0;
};

}  // namespace vedo
