#pragma once
// Notices: modal message boxes centred on the screen, titled and decorated by
// their kind, with a fixed order of buttons and the keyboard rules of a system
// message box. Also the event loop's error box and the archiver binding's
// missing-library notice.

#include "engine/interaction_port.h"

#include <QDialog>

#include <functional>
#include <map>
#include <string>

class QLabel;
class QPushButton;

namespace vedo::ui {

class NoticeBox : public QDialog {
  Q_OBJECT
 public:
  NoticeBox(NoticeKind kind, unsigned buttons, const QString& text, QWidget* parent = nullptr);

  // The button pressed; Cancel when the box was closed through its frame.
  NoticeButton pressed() const { return pressed_; }
  QPushButton* button(NoticeButton which) const;
  // The button Enter presses while no button has the focus (null when none),
  // and the one Escape presses (null when Escape does nothing).
  QPushButton* defaultButton() const { return default_; }
  QPushButton* escapeButton() const { return escape_; }
  QLabel* textLabel() const { return text_; }
  // The text as given (with its "&" markers) and the kind.
  const QString& text() const { return source_; }
  NoticeKind kind() const { return kind_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void press(NoticeButton which);

  std::map<NoticeButton, QPushButton*> buttons_;
  QPushButton* default_ = nullptr;
  QPushButton* escape_ = nullptr;
  QLabel* text_ = nullptr;
  QString source_;
  NoticeKind kind_;
  NoticeButton pressed_ = ButtonCancel;
  bool answered_ = false;
};

QString noticeTitle(NoticeKind kind);
// Notice text as rich text: "&x" underlines x, "&&" is one "&", "\r" breaks
// the line, everything else is shown as it is.
QString noticeHtml(const QString& text);

// Runs where no one can answer (a command-line run without a display): every
// notice, the error box and the missing-library notice become lines on
// standard error instead of windows, and the prompt dialogs take their abort
// answer instead of waiting (window_port.h).
void setUnattended(bool on);
bool unattended();
// One line on standard error, "vedo32: " and the CP932 text (its line breaks
// become blanks), in the encoding of the user's locale.
void printDiagnostic(const std::string& cp932Text);

// Shows a notice and returns the button pressed. The text is CP932. Without
// anyone to answer, the notice is a line on standard error and the answer is
// its Abort, Cancel, OK, Yes or No button, the first of them it offers.
NoticeButton showNotice(NoticeKind kind, unsigned buttons, const std::string& cp932Text);

// Lets tests answer notices: while a responder is set, showNotice builds the box
// and hands it to the responder instead of running it; the responder presses a
// button or closes the box, or returns without doing so (counted as Cancel).
using NoticeResponder = std::function<void(NoticeBox& box)>;
void setNoticeResponder(NoticeResponder responder);

// The application's title ("Vedo32"), as the error box shows it.
QString applicationTitle();

// The event loop's error box: error icon, OK button, the application's title.
void showErrorBox(const std::string& cp932Text);

// The archiver binding's notice for a missing library entry: a box titled
// "PANIC!!" with the error icon and one OK button.
void showPanicNotice(const std::string& cp932Text);
// True while such a notice is open (the status poll waits until it closes).
bool panicNoticeOpen();

}  // namespace vedo::ui
