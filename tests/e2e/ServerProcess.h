// The server program as a child process for end-to-end tests. Needs
// VELMORA_SERVER_PATH defined to the program's path.
#pragma once

#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora::test {

// A loopback port that was free a moment ago.
inline int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// `velmora_server --port N`, headless; env entries ("NAME=value") replace
// those of this process.
class TServerProcess {
 public:
  explicit TServerProcess(int port, std::vector<std::string> env = {}) {
    env.push_back("QT_QPA_PLATFORM=offscreen");
    const size_t own = env.size();
    for (char** e = environ; *e; ++e) {
      const std::string s = *e;
      bool replaced = false;
      for (size_t i = 0; i < own; ++i)
        replaced = replaced || s.rfind(env[i].substr(0, env[i].find('=') + 1), 0) == 0;
      if (!replaced) env.push_back(s);
    }
    std::vector<char*> envp;
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string path = VELMORA_SERVER_PATH, flag = "--port", portText = std::to_string(port);
    char* argv[] = {path.data(), flag.data(), portText.data(), nullptr};
    if (::posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) pid_ = -1;
  }
  ~TServerProcess() { Stop(); }

  // The exit status once the process ended within ms, else -1.
  int WaitExit(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (WaitExit(5000) < 0 && pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
  bool Running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

}  // namespace velmora::test
