#pragma once
// A scripted InteractionPort for engine tests. It records every call in order,
// answers each prompt dialog from a per-dialog script by writing the answer
// cell of AppState (or leaving it alone for a frame close), and answers each
// notice with a scripted button.
//
//   ScriptedPort port(state);
//   port.script(Prompt::Confirm, {AnswerGo});
//   port.script(Prompt::Delete, {ScriptedPort::FrameClose});
//   ... run the engine ...
//   EXPECT_THAT(port.log(), ElementsAre("sound asterisk", "show confirm -> 1", ...));

#include "engine/app_state.h"
#include "engine/interaction_port.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vedo::test {

enum class Prompt { Start, Confirm, SourceNotFound, Delete };

struct PortEvent {
  enum class Type {
    Sound,
    Notice,
    ConfirmLabels,
    SourceNotFoundLabel,
    DeleteLabel,
    ProgressLabels,
    ProgressRunningLabel,
    HideProgress,
    ShowPrompt,
  };
  explicit PortEvent(Type t) : type(t) {}

  Type type;
  Sound sound = Sound::Exclamation;           // Sound
  NoticeKind kind = NoticeKind::Information;  // Notice
  unsigned buttons = 0;                       // Notice: the buttons offered
  Prompt prompt = Prompt::Start;              // ShowPrompt
  int answer = 0;                             // ShowPrompt: written value, or FrameClose
  std::string text;    // CP932: notice text, or the (first) label
  std::string second;  // CP932: the archive label of a two-label call

  // One readable line (UTF-8), as log() lists it:
  //   sound exclamation | sound asterisk | sound question
  //   notice error [Abort] <text>        (buttons in the order Yes,No,OK,Cancel,Abort)
  //   confirm-labels <source> | <archive>     not-found-label <source>
  //   delete-label <source>                   progress-labels <source> | <archive>
  //   progress-running-label                  progress-hide
  //   show start|confirm|not-found|delete -> <answer>|frame-close
  std::string describe() const;
};

class ScriptedPort : public InteractionPort {
 public:
  static constexpr int FrameClose = -1;

  explicit ScriptedPort(AppState& state) : state_(state) {}

  // Answers for the next showings of a prompt, in order (FrameClose allowed).
  void script(Prompt prompt, std::initializer_list<int> answers);
  // The answer used once a prompt's script is used up. Without one, an
  // unscripted prompt is reported as a test failure and writes nothing.
  void setDefaultAnswer(Prompt prompt, int answer);
  // Buttons pressed at the next notices, in order. Once they are used up a
  // notice is answered as Enter would: OK, else Yes, else the first button.
  void scriptNotices(std::initializer_list<NoticeButton> buttons);
  void setProgressVisible(bool visible) { progressVisible_ = visible; }

  const std::vector<PortEvent>& events() const { return events_; }
  std::vector<std::string> log() const;
  std::vector<std::string> sounds() const;   // the sound lines only
  std::vector<PortEvent> notices() const;    // the notice events only
  std::vector<std::string> prompts() const;  // the "show ..." lines only
  void clearLog() { events_.clear(); }

  // InteractionPort
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
  bool progressWindowVisible() const override { return progressVisible_; }
  void hideProgressWindow() override;

 private:
  void showPrompt(Prompt prompt, int& cell);

  AppState& state_;
  std::vector<PortEvent> events_;
  std::map<Prompt, std::deque<int>> answers_;
  std::map<Prompt, int> defaults_;
  std::deque<NoticeButton> noticeButtons_;
  bool progressVisible_ = false;
};

}  // namespace vedo::test
