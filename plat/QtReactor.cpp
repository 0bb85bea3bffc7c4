// The reactor on the Qt event loop: one QSocketNotifier per watch, queued
// calls for Post and single-shot timers for PostDelayed.
#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include "LoopGuard.h"
#include "Reactor.h"

namespace plat {
namespace {

class QtIoWatch final : public IoWatch {
 public:
  QtIoWatch(int fd, IoKind kind, std::function<void()> onReady)
      : notifier_(new QSocketNotifier(fd, kind == IoKind::Read ? QSocketNotifier::Read
                                                                : QSocketNotifier::Write)),
        onReady_(std::move(onReady)) {
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] {
      // The callback may destroy this watch; the flag tells the destructor
      // to leave the notifier to the loop.
      // A handler that pumps the loop can make the notifier fire again
      // inside this call, hence a depth.
      auto alive = alive_;
      ++inCallback_;
      GuardedCall(onReady_);
      if (!*alive) return;
      --inCallback_;
    });
  }

  ~QtIoWatch() override {
    *alive_ = false;
    notifier_->setEnabled(false);
    QObject::disconnect(notifier_, nullptr, nullptr, nullptr);
    if (inCallback_ > 0)
      notifier_->deleteLater();
    else
      delete notifier_;
  }

  void SetEnabled(bool on) override {
    if (notifier_->isEnabled() != on) notifier_->setEnabled(on);
  }
  bool Enabled() const override { return notifier_->isEnabled(); }

 private:
  QSocketNotifier* notifier_;
  std::function<void()> onReady_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  int inCallback_ = 0;
};

class QtReactor final : public Reactor {
 public:
  std::unique_ptr<IoWatch> Watch(int fd, IoKind kind, std::function<void()> onReady) override {
    return std::make_unique<QtIoWatch>(fd, kind, std::move(onReady));
  }

  // Calls are queued on the application object, so that calls still pending
  // when it is destroyed are freed with it.
  void Post(std::function<void()> fn) override {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [fn = std::move(fn)] { GuardedCall(fn); },
        Qt::QueuedConnection);
  }

  void PostDelayed(int ms, std::function<void()> fn) override {
    QTimer::singleShot(ms, QCoreApplication::instance(),
                       [fn = std::move(fn)] { GuardedCall(fn); });
  }
};

}  // namespace

Reactor& MainReactor() {
  static QtReactor reactor;
  return reactor;
}

}  // namespace plat
