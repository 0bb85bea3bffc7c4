// Running the Qt event loop from a test: until a condition holds (with a
// generous bound: sanitizer builds on a loaded machine are slow), for a
// while, or just the events waiting now.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>

namespace testloop {

// Handles events until pred() holds or ms pass; eachRound runs before every
// round. Returns pred().
inline bool WaitUntil(const std::function<bool()>& pred, int ms = 5000,
                      const std::function<void()>& eachRound = nullptr) {
  QElapsedTimer clock;
  clock.start();
  QTimer tick;  // wakes the loop when nothing else arrives
  tick.start(5);
  while (!pred()) {
    if (clock.elapsed() > ms) return pred();
    if (eachRound) eachRound();
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
  }
  return true;
}

// Handles events for ms milliseconds.
inline void PumpFor(int ms) {
  WaitUntil([] { return false; }, ms);
}

// Handles the events and queued calls waiting now, without waiting for more.
inline void Drain() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

}  // namespace testloop
