#include "LineQueue.h"

#include "LoopGuard.h"

namespace client {

namespace {

// A PRINT line: chat text relayed by the server.
bool IsChat(const std::string& line) {
  static const char kWord[] = "PRINT";
  constexpr size_t n = sizeof kWord - 1;
  return line.compare(0, n, kWord) == 0 && (line.size() == n || line[n] == ' ' || line[n] == ':' || line[n] == '\r');
}

}  // namespace

std::vector<std::string> TLineQueue::Push(const std::string& line) {
  lines_.push_back(line);
  bytes_ += line.size();
  std::vector<std::string> dropped;
  for (auto it = lines_.begin(); bytes_ > capacity_ && it != lines_.end();) {
    if (!IsChat(*it)) {
      ++it;
      continue;
    }
    bytes_ -= it->size();
    dropped.push_back(std::move(*it));
    it = lines_.erase(it);
  }
  return dropped;
}

std::optional<std::string> TLineQueue::Pop() {
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  bytes_ -= line.size();
  return line;
}

void TLineArrival::LineArrived(const std::string& line) {
  for (const std::string& chat : queue_.Push(line))
    if (hooks_.log) hooks_.log("line queue full, chat dropped: " + chat.substr(0, 80));
  if (dispatching_ || draining_) return;  // the outer call takes it in order

  draining_ = true;
  discarded_ = false;
  while (!discarded_ && hooks_.scriptRunning && hooks_.scriptRunning()) {
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

void TLineArrival::Discard() {
  while (queue_.Pop()) {
  }
  discarded_ = true;
}

void TLineArrival::DispatchOne(const std::string& line) {
  dispatching_ = true;
  plat::GuardedCall([&] { hooks_.dispatch(line); });
  dispatching_ = false;
}

}  // namespace client
