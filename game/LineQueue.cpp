#include "LineQueue.h"

#include "LoopGuard.h"

namespace client {

TLineQueue::TLineQueue(int capacity) : capacity_(capacity < 2 ? 2 : capacity), lines_(capacity_) {}

bool TLineQueue::Push(const std::string& line) {
  int next = (tail_ + 1) % capacity_;
  if (next == head_) return false;
  lines_[tail_] = line;
  tail_ = next;
  return true;
}

std::optional<std::string> TLineQueue::Pop() {
  if (Empty()) return std::nullopt;
  std::string line = lines_[head_];
  head_ = (head_ + 1) % capacity_;
  return line;
}

void TLineArrival::LineArrived(const std::string& line) {
  if (!queue_.Push(line) && hooks_.log) hooks_.log("line queue full, dropped: " + line);
  if (dispatching_ || draining_) return;  // the outer call takes it in order

  draining_ = true;
  while (hooks_.scriptRunning && hooks_.scriptRunning()) {
    if (hooks_.closing && hooks_.closing()) {
      draining_ = false;
      return;
    }
    if (hooks_.pump) hooks_.pump();
  }
  while (!(hooks_.closing && hooks_.closing())) {
    std::optional<std::string> next = queue_.Pop();
    if (!next) break;
    DispatchOne(*next);
  }
  draining_ = false;
}

void TLineArrival::DispatchOne(const std::string& line) {
  dispatching_ = true;
  plat::GuardedCall([&] { hooks_.dispatch(line); });
  dispatching_ = false;
}

}  // namespace client
