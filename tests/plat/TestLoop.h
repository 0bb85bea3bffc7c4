// Helpers for the socket layer tests: pumping the Qt event loop with a bound, and
// capturing what reaches the loop's error reporter.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "LoopGuard.h"

namespace plat_test {

// Pumps the loop until pred() holds or ms pass; returns pred().
inline bool WaitUntil(const std::function<bool()>& pred, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  QTimer tick;
  tick.start(5);
  while (!pred()) {
    if (clock.elapsed() > ms) return pred();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  }
  return true;
}

// Pumps the loop for ms milliseconds.
inline void Pump(int ms) {
  WaitUntil([] { return false; }, ms);
}

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
