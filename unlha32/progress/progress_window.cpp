#include "unlha32/progress/progress.h"

// The library's own progress display, a plugin that the library loads only when
// the calling process already runs Qt (see progress.cpp), so that a program
// without windows never pays for loading Qt. When the calling process runs a Qt
// application on the calling thread, the work moves to a worker thread while a
// small window names the member being stored and shows how far the command
// has come. The calling thread meanwhile runs a local event loop, so its
// timers keep firing (a main window's status poll goes on) while the window,
// being application-modal, keeps input away from every other window. In any
// other case (no display asked for, no Qt application, a call from another
// thread) the work runs on the calling thread and the call simply blocks.
//
// The window's stop button (中止 in Japanese) and its close box ask the
// command to stop: the work stops at its next safe point (see
// ProgressReport::cancelled) and the window stays until it has.

#include "platform/cp932.h"
#include "unlha32/archive/messages.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace unlha {
namespace {

struct SilentReport final : ProgressReport {
  void member(std::string_view) override {}
  void fraction(double) override {}
};

// What the worker reports, picked up by the window's refresh timer. The worker
// only stores; all drawing happens on the calling thread.
class SharedReport final : public ProgressReport {
 public:
  void member(std::string_view name) override {
    std::lock_guard lock(mutex_);
    member_.assign(name);
    memberChanged_ = true;
  }
  void fraction(double done) override { permille_.store(static_cast<int>(done * 1000 + 0.5)); }

  // The member name when it changed since the last call.
  bool takeMember(std::string& name) {
    std::lock_guard lock(mutex_);
    if (!memberChanged_) return false;
    name = member_;
    memberChanged_ = false;
    return true;
  }
  int permille() const { return permille_.load(); }

  void cancel() { cancelled_.store(true); }
  bool cancelled() const override { return cancelled_.load(); }

 private:
  std::mutex mutex_;
  std::string member_;
  bool memberChanged_ = false;
  std::atomic<int> permille_{0};
  std::atomic<bool> cancelled_{false};
};

// How often the window takes up what the worker reported: often enough to look
// live, rarely enough to cost nothing next to the compression itself.
constexpr int kRefreshMs = 50;

// A message of the library (CP932), for the window.
QString message(const char* english) {
  const std::string text = tr(english);
  if (auto utf8 = vedo::cp932::toUtf8(text)) return QString::fromStdString(*utf8);
  return QString::fromLatin1(english);
}

QString displayName(const std::string& cp932Name) {
  if (auto utf8 = vedo::cp932::toUtf8(cp932Name)) return QString::fromStdString(*utf8);
  return QString::fromLatin1(cp932Name);  // never fails; only ever shown
}

// The small window: a caption line, the member, a bar and the stop button.
// Closing it asks the command to stop, as the button does; the window itself
// stays until the work has stopped.
class ProgressWindow final : public QWidget {
 public:
  explicit ProgressWindow(SharedReport& report)
      : QWidget(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                             Qt::MSWindowsFixedSizeDialogHint),
        report_(report) {
    setObjectName(QStringLiteral("UnlhaProgress"));
    setWindowTitle(QStringLiteral("unlha32"));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    caption_ = new QLabel(message("Working..."), this);
    caption_->setObjectName(QStringLiteral("Caption"));
    member_ = new QLabel(this);
    member_->setObjectName(QStringLiteral("Member"));
    member_->setTextFormat(Qt::PlainText);
    member_->setMinimumWidth(300);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("Bar"));
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    cancel_ = new QPushButton(message("&Stop"), this);
    cancel_->setObjectName(QStringLiteral("Cancel"));
    cancel_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, [this] { requestStop(); });
    layout->addWidget(caption_);
    layout->addWidget(member_);
    layout->addWidget(bar_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    setFixedSize(sizeHint());
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      const QRect s = screen->availableGeometry();
      move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
  }

  void refresh(SharedReport& report) {
    std::string name;
    if (report.takeMember(name)) {
      const QString text = displayName(shownName(name));
      member_->setText(member_->fontMetrics().elidedText(text, Qt::ElideMiddle, member_->width()));
    }
    bar_->setValue(report.permille());
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();  // the window goes when the work has stopped
    requestStop();
  }

 private:
  void requestStop() {
    report_.cancel();
    cancel_->setEnabled(false);
    caption_->setText(message("Stopping..."));
  }

  SharedReport& report_;
  QLabel* caption_;
  QLabel* member_;
  QProgressBar* bar_;
  QPushButton* cancel_;
};

bool canShowWindow() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace
}  // namespace unlha

// The plugin's one entry, looked up by name by progress.cpp.
extern "C" __attribute__((visibility("default"))) int unlha32_progress_run(
    const std::function<int(unlha::ProgressReport&)>& work) {
  using namespace unlha;
  if (!canShowWindow()) {
    SilentReport report;
    return work(report);
  }

  SharedReport report;
  ProgressWindow window(report);
  QEventLoop loop;
  QTimer refresh;
  refresh.setInterval(kRefreshMs);
  QObject::connect(&refresh, &QTimer::timeout, &window, [&] { window.refresh(report); });

  int result = 0;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    result = work(report);  // the work catches its own exceptions
    finished.store(true);
    // Wakes the loop; queued, so it also works when the loop has not started.
    QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
  });

  window.show();
  refresh.start();
  if (!finished.load()) loop.exec();
  worker.join();
  refresh.stop();
  window.hide();
  // Anything the worker queued for the loop is dropped with it.
  QCoreApplication::removePostedEvents(&loop);
  return result;
}
