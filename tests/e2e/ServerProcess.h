// The server program as a child process for end-to-end tests. Needs
// VELMORA_SERVER_PATH defined to the program's path.
#pragma once

#include <string>
#include <vector>

#include "ChildProcess.h"

namespace velmora::test {

using velmora::proc::FreePort;

// `velmora_server --port N`, headless; env entries ("NAME=value") replace
// those of this process.
class TServerProcess : public velmora::proc::TChildProcess {
 public:
  explicit TServerProcess(int port, std::vector<std::string> env = {})
      : TChildProcess(VELMORA_SERVER_PATH, {"--port", std::to_string(port)}, WithOffscreen(std::move(env))) {}

 private:
  static std::vector<std::string> WithOffscreen(std::vector<std::string> env) {
    env.push_back("QT_QPA_PLATFORM=offscreen");
    return env;
  }
};

}  // namespace velmora::test
