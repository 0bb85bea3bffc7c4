// The client's queue of received lines and the rules by which an arriving
// line is dispatched: at once when nothing is under way, after the running
// scripts have finished otherwise, always in arrival order.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace client {

// Received lines in arrival order, bounded by their bytes. Past the bound
// chat text (PRINT lines) goes, oldest first, the arriving line included; a
// game line is never dropped, even past the bound.
class TLineQueue {
 public:
  explicit TLineQueue(size_t capacityBytes) : capacity_(capacityBytes) {}

  // Queues line; returns the chat lines dropped to stay within the bound.
  std::vector<std::string> Push(const std::string& line);
  std::optional<std::string> Pop();
  bool Empty() const { return lines_.empty(); }
  int Count() const { return int(lines_.size()); }
  size_t Bytes() const { return bytes_; }

 private:
  size_t capacity_;
  size_t bytes_ = 0;
  std::deque<std::string> lines_;
};

// Arrival of lines from the socket. A line that arrives while another line
// is being dispatched, or while an outer arrival already waits for the
// scripts, is queued and the call returns: the outer call dispatches it next.
// Only the outermost arrival pumps the event loop while scripts run, so no
// nested call ever waits on an outer one. A handler's exception goes to the
// platform's one guard and the next line is dispatched.
class TLineArrival {
 public:
  struct Hooks {
    std::function<void(const std::string&)> dispatch;  // one line
    std::function<bool()> scriptRunning;                // a seat's script runs
    std::function<bool()> closing;                      // the window began closing
    std::function<void()> pump;                         // handle pending events once
    std::function<void(const std::string&)> log;        // dropped lines
  };

  // Lines waiting for the scripts: 64 lines of the longest a line may be.
  static constexpr size_t kCapacityBytes = 64 * 65536;

  explicit TLineArrival(Hooks hooks) : hooks_(std::move(hooks)), queue_(kCapacityBytes) {}

  void LineArrived(const std::string& line);
  // The connection the waiting lines came on is gone: they are dropped
  // undispatched, and an arrival that waits for the scripts stops waiting.
  void Discard();

  bool Dispatching() const { return dispatching_; }
  // A line is being dispatched, or an arrival waits for the scripts.
  bool Busy() const { return dispatching_ || draining_; }
  const TLineQueue& Queue() const { return queue_; }

 private:
  void DispatchOne(const std::string& line);

  Hooks hooks_;
  TLineQueue queue_;
  bool dispatching_ = false;  // a line's handler is running
  bool draining_ = false;     // an outer arrival waits for scripts or empties the queue
  bool discarded_ = false;    // Discard() during that wait
};

}  // namespace client
