// The client's queue of received lines and the rules by which an arriving
// line is dispatched: at once when nothing is under way, after the running
// scripts have finished otherwise, always in arrival order.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace client {

// Fixed-capacity ring: a queue of capacity N holds at most N - 1 lines.
class TLineQueue {
 public:
  explicit TLineQueue(int capacity);

  bool Push(const std::string& line);
  std::optional<std::string> Pop();
  bool Empty() const { return head_ == tail_; }
  int Count() const { return (tail_ - head_ + capacity_) % capacity_; }
  int Capacity() const { return capacity_; }

 private:
  int capacity_;
  int head_ = 0;
  int tail_ = 0;
  std::vector<std::string> lines_;
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

  static constexpr int kCapacity = 256;

  explicit TLineArrival(Hooks hooks) : hooks_(std::move(hooks)), queue_(kCapacity) {}

  void LineArrived(const std::string& line);

  bool Dispatching() const { return dispatching_; }
  const TLineQueue& Queue() const { return queue_; }

 private:
  void DispatchOne(const std::string& line);

  Hooks hooks_;
  TLineQueue queue_;
  bool dispatching_ = false;  // a line's handler is running
  bool draining_ = false;     // an outer arrival waits for scripts or empties the queue
};

}  // namespace client
