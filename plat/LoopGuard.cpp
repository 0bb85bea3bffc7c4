#include "LoopGuard.h"

#include <cstdio>
#include <exception>
#include <utility>

namespace plat {
namespace {

ErrorReporter& Reporter() {
  static ErrorReporter reporter;
  return reporter;
}

void WriteToStderr(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
}

}  // namespace

void SetErrorReporter(ErrorReporter reporter) { Reporter() = std::move(reporter); }

void ReportCurrentException() noexcept {
  std::string message;
  try {
    throw;
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
    message = "unknown exception";
  }
  try {
    if (Reporter())
      Reporter()(message);
    else
      WriteToStderr(message);
  } catch (...) {
    // A reporter that fails must not take the loop down with it.
    WriteToStderr(message);
  }
}

}  // namespace plat
