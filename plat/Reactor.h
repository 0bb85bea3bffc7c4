// The narrow interface through which the socket layer waits for readiness
// and defers work. The only implementation runs on the Qt event loop of the
// main thread; nothing else in the socket layer touches Qt.
#pragma once

#include <functional>
#include <memory>

namespace plat {

// One readiness watch on a descriptor; destroying it stops the watch (also
// from inside its own callback).
class IoWatch {
 public:
  virtual ~IoWatch() = default;
  virtual void SetEnabled(bool on) = 0;
  virtual bool Enabled() const = 0;
};

enum class IoKind { Read, Write };

class Reactor {
 public:
  virtual ~Reactor() = default;
  // Calls onReady from the loop while fd is ready and the watch is enabled.
  // The watch starts enabled.
  virtual std::unique_ptr<IoWatch> Watch(int fd, IoKind kind, std::function<void()> onReady) = 0;
  // Runs fn later from the loop, never inside the caller.
  virtual void Post(std::function<void()> fn) = 0;
  virtual void PostDelayed(int ms, std::function<void()> fn) = 0;
};

// The reactor of the main thread's Qt event loop. Every callback it runs is
// guarded: exceptions go to the error reporter (LoopGuard.h).
Reactor& MainReactor();

}  // namespace plat
