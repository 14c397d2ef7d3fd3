#include "tests/support/scripted_port.h"

#include "platform/cp932.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace vedo::test {

namespace {

// CP932 text as UTF-8 for reading; bytes that do not convert are shown in hex.
std::string readable(const std::string& text) {
  if (auto converted = cp932::toUtf8(text)) return *converted;
  std::string out = "<cp932";
  char hex[4];
  for (unsigned char c : text) {
    std::snprintf(hex, sizeof hex, " %02X", c);
    out += hex;
  }
  return out + ">";
}

const char* soundName(Sound s) {
  switch (s) {
    case Sound::Exclamation: return "exclamation";
    case Sound::Asterisk: return "asterisk";
    case Sound::Question: return "question";
  }
  return "?";
}

const char* kindName(NoticeKind k) {
  switch (k) {
    case NoticeKind::Warning: return "warning";
    case NoticeKind::Error: return "error";
    case NoticeKind::Information: return "information";
    case NoticeKind::Confirmation: return "confirmation";
  }
  return "?";
}

const char* promptName(Prompt p) {
  switch (p) {
    case Prompt::Start: return "start";
    case Prompt::Confirm: return "confirm";
    case Prompt::SourceNotFound: return "not-found";
    case Prompt::Delete: return "delete";
  }
  return "?";
}

std::string buttonList(unsigned buttons) {
  static const std::pair<unsigned, const char*> order[] = {
      {ButtonYes, "Yes"}, {ButtonNo, "No"}, {ButtonOk, "OK"}, {ButtonCancel, "Cancel"},
      {ButtonAbort, "Abort"}};
  std::string out;
  for (const auto& [bit, name] : order) {
    if (buttons & bit) {
      if (!out.empty()) out += ",";
      out += name;
    }
  }
  return "[" + out + "]";
}

}  // namespace

std::string PortEvent::describe() const {
  switch (type) {
    case Type::Sound: return std::string("sound ") + soundName(sound);
    case Type::Notice:
      return std::string("notice ") + kindName(kind) + " " + buttonList(buttons) + " " +
             readable(text);
    case Type::ConfirmLabels: return "confirm-labels " + readable(text) + " | " + readable(second);
    case Type::SourceNotFoundLabel: return "not-found-label " + readable(text);
    case Type::DeleteLabel: return "delete-label " + readable(text);
    case Type::ProgressLabels:
      return "progress-labels " + readable(text) + " | " + readable(second);
    case Type::ProgressRunningLabel: return "progress-running-label";
    case Type::HideProgress: return "progress-hide";
    case Type::ShowPrompt:
      return std::string("show ") + promptName(prompt) + " -> " +
             (answer == ScriptedPort::FrameClose ? std::string("frame-close")
                                                 : std::to_string(answer));
  }
  return "?";
}

void ScriptedPort::script(Prompt prompt, std::initializer_list<int> answers) {
  auto& queue = answers_[prompt];
  queue.insert(queue.end(), answers.begin(), answers.end());
}

void ScriptedPort::setDefaultAnswer(Prompt prompt, int answer) { defaults_[prompt] = answer; }

void ScriptedPort::scriptNotices(std::initializer_list<NoticeButton> buttons) {
  noticeButtons_.insert(noticeButtons_.end(), buttons.begin(), buttons.end());
}

std::vector<std::string> ScriptedPort::log() const {
  std::vector<std::string> lines;
  for (const PortEvent& e : events_) lines.push_back(e.describe());
  return lines;
}

std::vector<std::string> ScriptedPort::sounds() const {
  std::vector<std::string> lines;
  for (const PortEvent& e : events_) {
    if (e.type == PortEvent::Type::Sound) lines.push_back(e.describe());
  }
  return lines;
}

std::vector<PortEvent> ScriptedPort::notices() const {
  std::vector<PortEvent> out;
  for (const PortEvent& e : events_) {
    if (e.type == PortEvent::Type::Notice) out.push_back(e);
  }
  return out;
}

std::vector<std::string> ScriptedPort::prompts() const {
  std::vector<std::string> lines;
  for (const PortEvent& e : events_) {
    if (e.type == PortEvent::Type::ShowPrompt) lines.push_back(e.describe());
  }
  return lines;
}

void ScriptedPort::playSound(Sound sound) {
  PortEvent e{PortEvent::Type::Sound};
  e.sound = sound;
  events_.push_back(e);
}

NoticeButton ScriptedPort::ShowNotice(NoticeKind kind, unsigned buttons, const std::string& text) {
  PortEvent e{PortEvent::Type::Notice};
  e.kind = kind;
  e.buttons = buttons;
  e.text = text;
  events_.push_back(e);

  if (!noticeButtons_.empty()) {
    const NoticeButton pressed = noticeButtons_.front();
    noticeButtons_.pop_front();
    EXPECT_TRUE(buttons & pressed) << "scripted button not offered by: " << e.describe();
    return pressed;
  }
  if (buttons & ButtonOk) return ButtonOk;
  if (buttons & ButtonYes) return ButtonYes;
  for (unsigned bit = 1; bit <= ButtonAbort; bit <<= 1) {
    if (buttons & bit) return static_cast<NoticeButton>(bit);
  }
  return ButtonCancel;
}

void ScriptedPort::setConfirmLabels(const std::string& source, const std::string& archive) {
  PortEvent e{PortEvent::Type::ConfirmLabels};
  e.text = source;
  e.second = archive;
  events_.push_back(e);
}

void ScriptedPort::setSourceNotFoundLabel(const std::string& source) {
  PortEvent e{PortEvent::Type::SourceNotFoundLabel};
  e.text = source;
  events_.push_back(e);
}

void ScriptedPort::setDeleteLabel(const std::string& source) {
  PortEvent e{PortEvent::Type::DeleteLabel};
  e.text = source;
  events_.push_back(e);
}

void ScriptedPort::showPrompt(Prompt prompt, int& cell) {
  PortEvent e{PortEvent::Type::ShowPrompt};
  e.prompt = prompt;
  auto& queue = answers_[prompt];
  if (!queue.empty()) {
    e.answer = queue.front();
    queue.pop_front();
  } else if (auto d = defaults_.find(prompt); d != defaults_.end()) {
    e.answer = d->second;
  } else {
    ADD_FAILURE() << "prompt shown without a scripted answer: " << promptName(prompt);
    e.answer = FrameClose;
  }
  if (e.answer != FrameClose) cell = e.answer;
  events_.push_back(e);
}

void ScriptedPort::showStartQuestion() { showPrompt(Prompt::Start, state_.StartAnswer); }
void ScriptedPort::showConfirmCompress() { showPrompt(Prompt::Confirm, state_.EntryAnswer); }
void ScriptedPort::showSourceNotFound() { showPrompt(Prompt::SourceNotFound, state_.EntryAnswer); }
void ScriptedPort::showDeleteQuestion() { showPrompt(Prompt::Delete, state_.DeleteAnswer); }

void ScriptedPort::setProgressLabels(const std::string& source, const std::string& archive) {
  PortEvent e{PortEvent::Type::ProgressLabels};
  e.text = source;
  e.second = archive;
  events_.push_back(e);
}

void ScriptedPort::showProgressRunningLabel() {
  events_.push_back(PortEvent{PortEvent::Type::ProgressRunningLabel});
}

void ScriptedPort::hideProgressWindow() {
  progressVisible_ = false;
  events_.push_back(PortEvent{PortEvent::Type::HideProgress});
}

}  // namespace vedo::test
