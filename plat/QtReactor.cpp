// The reactor on the Qt event loop: a QSocketNotifier for each of the first
// few watches, one notifier on an epoll set for the rest, queued calls for
// Post and single-shot timers for PostDelayed.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <sys/epoll.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "LoopGuard.h"
#include "Reactor.h"

namespace plat {
namespace {

// A notifier that calls its owner straight from its event, without the
// signal and slot machinery in between (it runs once for every readiness).
class WatchNotifier final : public QSocketNotifier {
 public:
  WatchNotifier(int fd, Type type, std::function<void()> onActivated)
      : QSocketNotifier(fd, type), onActivated_(std::move(onActivated)) {}

 protected:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::SockAct) return QSocketNotifier::event(e);
    if (isEnabled()) onActivated_();
    return true;
  }

 private:
  std::function<void()> onActivated_;
};

class QtIoWatch final : public IoWatch {
 public:
  QtIoWatch(int fd, IoKind kind, std::function<void()> onReady, int& count)
      : notifier_(new WatchNotifier(fd, kind == IoKind::Read ? QSocketNotifier::Read : QSocketNotifier::Write,
                                    [this] { Activated(); })),
        onReady_(std::move(onReady)),
        count_(count) {
    ++count_;
  }

  ~QtIoWatch() override {
    --count_;
    if (destroyed_) *destroyed_ = true;
    notifier_->setEnabled(false);
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
  void Activated() {
    // The callback may destroy this watch: the destructor then sets the
    // flag on this frame and leaves the notifier to the loop. A handler
    // that pumps the loop can make the notifier fire again inside this
    // call, hence a depth and a chain of flags.
    bool destroyed = false;
    bool* outer = std::exchange(destroyed_, &destroyed);
    ++inCallback_;
    GuardedCall(onReady_);
    if (destroyed) {
      if (outer) *outer = true;
      return;
    }
    --inCallback_;
    destroyed_ = outer;
  }

  WatchNotifier* notifier_;
  std::function<void()> onReady_;
  int& count_;
  bool* destroyed_ = nullptr;
  int inCallback_ = 0;
};

// All watches in one epoll set, which one notifier watches: a readiness of
// many descriptors costs the loop one activation, and each watch is called
// straight from the set.
class EpollWatches {
 public:
  struct Slot {
    int fd;
    bool write;
    bool enabled = true;
    bool dead = false;
    std::function<void()> onReady;
  };

  ~EpollWatches() {
    delete notifier_;
    if (ep_ >= 0) ::close(ep_);
  }

  Slot* Add(int fd, IoKind kind, std::function<void()> onReady) {
    Open();
    if (size_t(fd) >= fds_.size()) fds_.resize(size_t(fd) + 1);
    Entry& e = fds_[size_t(fd)];
    if (!e.read && !e.write) e.generation = ++generation_;  // a descriptor number taken anew
    auto* s = new Slot{fd, kind == IoKind::Write, true, false, std::move(onReady)};
    (s->write ? e.write : e.read) = s;
    Update(fd);
    return s;
  }

  void Release(Slot* s) {
    s->dead = true;
    Entry& e = fds_[size_t(s->fd)];
    (s->write ? e.write : e.read) = nullptr;
    Update(s->fd);
    if (depth_ > 0)
      graveyard_.push_back(s);  // its callback may be running
    else
      delete s;
  }

  void SetEnabled(Slot* s, bool on) {
    if (s->enabled == on) return;
    s->enabled = on;
    Update(s->fd);
  }

 private:
  struct Entry {
    Slot* read = nullptr;
    Slot* write = nullptr;
    uint32_t registered = 0;
    uint32_t generation = 0;
  };

  void Open() {
    if (ep_ < 0) ep_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (!notifier_) {  // freed with the application object
      notifier_ = new WatchNotifier(ep_, QSocketNotifier::Read, [this] { Dispatch(); });
      notifier_->setParent(QCoreApplication::instance());
    }
  }

  void Update(int fd) {
    Entry& e = fds_[size_t(fd)];
    const uint32_t wanted = (e.read && e.read->enabled ? uint32_t(EPOLLIN) : 0u) |
                            (e.write && e.write->enabled ? uint32_t(EPOLLOUT) : 0u);
    if (wanted != e.registered) {
      epoll_event ev{wanted, {.u64 = (uint64_t(e.generation) << 32) | uint32_t(fd)}};
      // Nothing wanted leaves the set: a hang-up would be reported anyway.
      ::epoll_ctl(ep_, wanted == 0 ? EPOLL_CTL_DEL : e.registered == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, fd, &ev);
      e.registered = wanted;
    }
  }

  // Runs the watches of every ready descriptor. A callback may add, change
  // or remove watches, pump the loop (and so dispatch again inside), or
  // close a descriptor whose number a new watch then takes: each event is
  // checked against the table as it stands.
  void Dispatch() {
    ++depth_;
    epoll_event ready[128];
    const int n = ::epoll_wait(ep_, ready, 128, 0);
    for (int i = 0; i < n; ++i) {
      const int fd = int(uint32_t(ready[i].data.u64));
      const uint32_t generation = uint32_t(ready[i].data.u64 >> 32);
      const uint32_t events = ready[i].events;
      for (bool write : {false, true}) {
        const Entry& e = fds_[size_t(fd)];
        if (e.generation != generation) break;
        Slot* s = write ? e.write : e.read;
        const uint32_t mask = write ? EPOLLOUT | EPOLLERR | EPOLLHUP : EPOLLIN | EPOLLERR | EPOLLHUP;
        if (s && s->enabled && !s->dead && (events & mask)) GuardedCall(s->onReady);
      }
    }
    if (--depth_ == 0) {
      for (Slot* s : graveyard_) delete s;
      graveyard_.clear();
    }
  }

  int ep_ = -1;
  QPointer<WatchNotifier> notifier_;
  std::vector<Entry> fds_;  // by descriptor number
  uint32_t generation_ = 0;
  int depth_ = 0;
  std::vector<Slot*> graveyard_;
};

class EpollIoWatch final : public IoWatch {
 public:
  EpollIoWatch(EpollWatches& set, EpollWatches::Slot* slot) : set_(set), slot_(slot) {}
  ~EpollIoWatch() override { set_.Release(slot_); }
  void SetEnabled(bool on) override { set_.SetEnabled(slot_, on); }
  bool Enabled() const override { return slot_->enabled; }

 private:
  EpollWatches& set_;
  EpollWatches::Slot* slot_;
};

// A few watches get a notifier each: with one busy descriptor that is the
// shortest way from readiness to its callback. Beyond them, a loop that
// polls and dispatches every notifier on each turn costs more than one
// epoll set, so further watches share that.
// VELMORA_READINESS=epoll puts every watch in the set and =notifier gives
// each a notifier of its own, so that tests run over either path on purpose.
class QtReactor final : public Reactor {
 public:
  static constexpr int kNotifierWatches = 8;

  QtReactor() {
    const char* path = std::getenv("VELMORA_READINESS");
    if (path && std::strcmp(path, "epoll") == 0) notifierLimit_ = 0;
    if (path && std::strcmp(path, "notifier") == 0) notifierLimit_ = INT_MAX;
  }

  std::unique_ptr<IoWatch> Watch(int fd, IoKind kind, std::function<void()> onReady) override {
    if (notifierWatches_ < notifierLimit_)
      return std::make_unique<QtIoWatch>(fd, kind, std::move(onReady), notifierWatches_);
    return std::make_unique<EpollIoWatch>(epoll_, epoll_.Add(fd, kind, std::move(onReady)));
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

 private:
  int notifierWatches_ = 0;
  int notifierLimit_ = kNotifierWatches;
  EpollWatches epoll_;
};

}  // namespace

Reactor& MainReactor() {
  static QtReactor reactor;
  return reactor;
}

}  // namespace plat
