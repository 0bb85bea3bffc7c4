// Exceptions never cross the event loop: every entry from the loop runs its
// work through GuardedCall, which hands any exception to the reporter that
// the program installed (the client shows a message box, the server logs).
#pragma once

#include <functional>
#include <string>

namespace plat {

// The message is the exception's text as the program holds it (Shift-JIS
// bytes for the library's own messages).
using ErrorReporter = std::function<void(const std::string& message)>;

// Installs the reporter; an empty one restores the default, which writes to
// standard error.
void SetErrorReporter(ErrorReporter reporter);

// Reports the exception being handled; call only inside a catch block.
void ReportCurrentException() noexcept;

template <class F>
void GuardedCall(F&& f) noexcept {
  try {
    f();
  } catch (...) {
    ReportCurrentException();
  }
}

}  // namespace plat
