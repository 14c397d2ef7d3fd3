#pragma once
// Answers prompt dialogs by name as they open: each time a window with a
// scripted name is shown, its next action runs once its modal loop has
// started. A window shown with no action left is closed through its frame,
// so a test never hangs.

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <deque>
#include <functional>
#include <map>
#include <vector>

namespace vedo::test {

class ModalScript : public QObject {
 public:
  using Action = std::function<void(QWidget*)>;

  ModalScript() { qApp->installEventFilter(this); }
  ~ModalScript() override { qApp->removeEventFilter(this); }

  void add(const QString& window, Action action) { actions_[window].push_back(std::move(action)); }
  // Names of the windows shown, in order.
  const std::vector<QString>& shown() const { return shown_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::Show && widget != nullptr && widget->isWindow() && widget->isModal() &&
        watched->objectName().startsWith(QStringLiteral("INFO"))) {
      shown_.push_back(watched->objectName());
      Action action = [](QWidget* w) { w->close(); };
      auto& queue = actions_[watched->objectName()];
      if (!queue.empty()) {
        action = queue.front();
        queue.pop_front();
      }
      QTimer::singleShot(0, widget, [widget, action] { action(widget); });
    }
    return false;
  }

 private:
  std::map<QString, std::deque<Action>> actions_;
  std::vector<QString> shown_;
};

}  // namespace vedo::test
