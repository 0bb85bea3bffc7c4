// Helpers for the socket layer tests: the event loop (EventLoop.h), and
// capturing what reaches the loop's error reporter.
#pragma once

#include <string>
#include <vector>

#include "EventLoop.h"
#include "LoopGuard.h"

namespace plat_test {

// Collects reported errors while alive.
class ReportedErrors {
 public:
  ReportedErrors() {
    plat::SetErrorReporter([this](const std::string& m) { messages.push_back(m); });
  }
  ~ReportedErrors() { plat::SetErrorReporter(nullptr); }
  std::vector<std::string> messages;
};

}  // namespace plat_test
