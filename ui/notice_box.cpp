#include "ui/notice_box.h"

#include "platform/cp932.h"
#include "settings/application_title.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "ui/ui_text.h"

namespace vedo::ui {
namespace {

NoticeResponder& responder() {
  static NoticeResponder r;
  return r;
}

int panicDepth = 0;
bool unattendedRun = false;

QStyle::StandardPixmap iconOf(NoticeKind kind) {
  switch (kind) {
    case NoticeKind::Warning:
      return QStyle::SP_MessageBoxWarning;
    case NoticeKind::Error:
      return QStyle::SP_MessageBoxCritical;
    case NoticeKind::Information:
      return QStyle::SP_MessageBoxInformation;
    case NoticeKind::Confirmation:
      return QStyle::SP_MessageBoxQuestion;
  }
  return QStyle::SP_MessageBoxInformation;
}

struct ButtonSpec {
  NoticeButton which;
  const char* caption;
  const char* name;
};

// The order in which buttons stand in the row.
constexpr ButtonSpec kButtons[] = {
    {ButtonYes, "はい(&Y)", "Yes"},
    {ButtonNo, "いいえ(&N)", "No"},
    {ButtonOk, "OK", "OK"},
    {ButtonCancel, "ｷｬﾝｾﾙ", "Cancel"},
    {ButtonAbort, "中止(&A)", "Abort"},
};

QSize screenSize() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry().size() : QSize(1024, 768);
}

}  // namespace

QString noticeTitle(NoticeKind kind) {
  switch (kind) {
    case NoticeKind::Warning:
      return QStringLiteral("警告");
    case NoticeKind::Error:
      return QStringLiteral("ｴﾗｰ");
    case NoticeKind::Information:
      return QStringLiteral("情報");
    case NoticeKind::Confirmation:
      return QStringLiteral("確認");
  }
  return {};
}

QString noticeHtml(const QString& text) {
  QString html;
  for (qsizetype i = 0; i < text.size(); ++i) {
    QChar c = text[i];
    if (c == u'&') {
      if (i + 1 >= text.size()) break;  // a trailing "&" marks nothing
      QChar next = text[++i];
      if (next == u'&') {
        html += QStringLiteral("&amp;");
      } else if (next == u'\r' || next == u'\n') {
        --i;  // nothing to underline: let the break be handled below
      } else {
        html += QStringLiteral("<u>") + QString(next).toHtmlEscaped() + QStringLiteral("</u>");
      }
    } else if (c == u'\r') {
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      html += QStringLiteral("<br>");
    } else if (c == u'\n') {
      html += QStringLiteral("<br>");
    } else {
      html += QString(c).toHtmlEscaped();
    }
  }
  return QStringLiteral("<p style=\"white-space:pre-wrap\">") + html + QStringLiteral("</p>");
}

NoticeBox::NoticeBox(NoticeKind kind, unsigned buttons, const QString& text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      source_(text),
      kind_(kind) {
  setObjectName(QStringLiteral("NoticeBox"));
  setWindowTitle(noticeTitle(kind));
  setModal(true);
  if ((buttons & (ButtonYes | ButtonNo | ButtonOk | ButtonCancel | ButtonAbort)) == 0) buttons = ButtonOk;

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("Icon"));
  icon->setPixmap(style()->standardIcon(iconOf(kind), nullptr, this).pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);

  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("Text"));
  text_->setTextFormat(Qt::RichText);
  text_->setTextInteractionFlags(Qt::NoTextInteraction);
  text_->setText(noticeHtml(text));
  text_->setAccessibleName(withoutMnemonics(text));
  // Lay the text out on one line when it fits into half the screen width,
  // otherwise wrap it at word breaks at that width.
  // The label breaks lines at word breaks only (after a "/" in a path, between
  // Japanese characters); lay the text out the same way to size it.
  QTextDocument doc;
  doc.setDefaultFont(text_->font());
  doc.setDocumentMargin(0);
  QTextOption option = doc.defaultTextOption();
  option.setWrapMode(QTextOption::WordWrap);
  doc.setDefaultTextOption(option);
  doc.setHtml(text_->text());
  const int maxWidth = screenSize().width() / 2;
  if (doc.idealWidth() > maxWidth) {
    doc.setTextWidth(maxWidth);
    text_->setWordWrap(true);
  }
  text_->setFixedSize(std::min(int(doc.idealWidth()) + 2, maxWidth), int(doc.size().height()) + 1);

  auto* top = new QHBoxLayout;
  top->setSpacing(12);
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addWidget(text_, 0, Qt::AlignVCenter);
  top->addStretch(1);

  auto* row = new QHBoxLayout;
  row->setSpacing(6);
  row->addStretch(1);
  for (const ButtonSpec& entry : kButtons) {
    if ((buttons & entry.which) == 0) continue;
    auto* b = new QPushButton(QString::fromUtf8(entry.caption), this);
    b->setObjectName(QString::fromLatin1(entry.name));
    b->setAccessibleName(withoutMnemonics(b->text()));
    b->setAutoDefault(false);
    b->setMinimumWidth(75);
    const NoticeButton which = entry.which;
    connect(b, &QPushButton::clicked, this, [this, which] { press(which); });
    buttons_[which] = b;
    row->addWidget(b);
  }
  row->addStretch(1);

  // Enter presses OK, or Yes when there is no OK; Escape presses Cancel, else
  // No, else OK. A box without any of those has neither key.
  default_ = button(ButtonOk) ? button(ButtonOk) : button(ButtonYes);
  for (NoticeButton b : {ButtonCancel, ButtonNo, ButtonOk}) {
    if (button(b) != nullptr) {
      escape_ = button(b);
      break;
    }
  }
  if (default_ != nullptr) default_->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 14, 14, 10);
  layout->setSpacing(14);
  layout->addLayout(top);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QPushButton* NoticeBox::button(NoticeButton which) const {
  auto it = buttons_.find(which);
  return it == buttons_.end() ? nullptr : it->second;
}

void NoticeBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
  QSize size = frameGeometry().size();
  move(screen.x() + (screen.width() - size.width()) / 2, screen.y() + (screen.height() - size.height()) / 2);
  // The focus starts on the default button; a box without one focuses its
  // first button, so Enter presses it.
  QPushButton* first = default_;
  if (first == nullptr && !buttons_.empty()) {
    for (const ButtonSpec& entry : kButtons)
      if ((first = button(entry.which)) != nullptr) break;
  }
  if (first != nullptr) first->setFocus(Qt::ActiveWindowFocusReason);
}

void NoticeBox::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter)) {
    // Enter presses the button with the focus (the default one at first).
    for (auto& [which, b] : buttons_) {
      if (b == focusWidget()) {
        b->click();
        return;
      }
    }
    if (default_ != nullptr) default_->click();
    return;
  }
  if (key == Qt::Key_Escape) {
    if (escape_ != nullptr) escape_->click();
    return;
  }
  // As in a system message box, the underlined letter alone presses its button.
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::ShiftModifier) {
    const struct {
      int key;
      NoticeButton which;
    } letters[] = {{Qt::Key_Y, ButtonYes}, {Qt::Key_N, ButtonNo}, {Qt::Key_A, ButtonAbort}};
    for (const auto& l : letters) {
      if (key == l.key && button(l.which) != nullptr) {
        button(l.which)->click();
        return;
      }
    }
  }
  QWidget::keyPressEvent(event);  // not QDialog's: it has its own Enter/Escape rules
}

void NoticeBox::closeEvent(QCloseEvent* event) {
  if (!answered_) pressed_ = ButtonCancel;  // a frame close counts as Cancel
  QDialog::closeEvent(event);
}

void NoticeBox::press(NoticeButton which) {
  pressed_ = which;
  answered_ = true;
  done(QDialog::Accepted);
}

void setNoticeResponder(NoticeResponder r) { responder() = std::move(r); }

void setUnattended(bool on) { unattendedRun = on; }
bool unattended() { return unattendedRun; }

void printDiagnostic(const std::string& cp932Text) {
  std::string line = cp932Text;
  std::replace(line.begin(), line.end(), '\r', ' ');
  while (!line.empty() && line.back() == ' ') line.pop_back();
  const std::string shown = "vedo32: " + cp932::toLocaleText(line) + "\n";
  std::fwrite(shown.data(), 1, shown.size(), stderr);
  std::fflush(stderr);
}

namespace {

void printNotice(const QString& title, const std::string& cp932Text) {
  printDiagnostic(toCp932(title).value_or(std::string()) + ": " + cp932Text);
}

}  // namespace

NoticeButton showNotice(NoticeKind kind, unsigned buttons, const std::string& cp932Text) {
  if (unattendedRun) {
    printNotice(noticeTitle(kind), cp932Text);
    for (NoticeButton which : {ButtonAbort, ButtonCancel, ButtonOk, ButtonYes, ButtonNo})
      if ((buttons & which) != 0) return which;
    return ButtonCancel;
  }
  NoticeBox box(kind, buttons, fromCp932(cp932Text));
  if (responder()) {
    NoticeResponder r = responder();  // a copy: the responder may replace itself
    r(box);
    return box.pressed();
  }
  box.exec();
  return box.pressed();
}

QString applicationTitle() { return QString::fromStdString(vedo::applicationTitle()); }

void showErrorBox(const std::string& cp932Text) {
  if (unattendedRun) {
    printNotice(applicationTitle(), cp932Text);
    return;
  }
  QMessageBox box(QMessageBox::Critical, applicationTitle(), fromCp932(cp932Text), QMessageBox::Ok);
  box.setObjectName(QStringLiteral("ErrorBox"));
  box.setTextFormat(Qt::PlainText);
  if (responder()) {
    // Tests see the error box as an error notice with an OK button.
    NoticeBox stand(NoticeKind::Error, ButtonOk, fromCp932(cp932Text));
    stand.setObjectName(QStringLiteral("ErrorBox"));
    stand.setWindowTitle(applicationTitle());
    NoticeResponder r = responder();
    r(stand);
    return;
  }
  box.exec();
}

void showPanicNotice(const std::string& cp932Text) {
  if (unattendedRun) {
    printNotice(QStringLiteral("PANIC!!"), cp932Text);
    return;
  }
  ++panicDepth;
  if (responder()) {
    NoticeBox stand(NoticeKind::Error, ButtonOk, fromCp932(cp932Text));
    stand.setObjectName(QStringLiteral("PanicNotice"));
    stand.setWindowTitle(QStringLiteral("PANIC!!"));
    NoticeResponder r = responder();
    r(stand);
  } else {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("PANIC!!"), fromCp932(cp932Text), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("PanicNotice"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }
  --panicDepth;
}

bool panicNoticeOpen() { return panicDepth > 0; }

}  // namespace vedo::ui
