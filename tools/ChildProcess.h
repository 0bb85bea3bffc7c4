// Child processes, loopback ports and the client's test-control socket, for
// the tools and tests that run the programs whole.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora::proc {

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

// Whether something accepts connections on the loopback port.
inline bool PortOpen(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return up;
}

// A program started with arguments; env entries ("NAME=value") replace those
// of this process; errorFile, when given, takes its standard error. Stopped
// (SIGTERM, then SIGKILL after five seconds) when dropped.
class TChildProcess {
 public:
  TChildProcess(const std::string& path, std::vector<std::string> args, std::vector<std::string> env,
                const std::string& errorFile = "") {
    const size_t own = env.size();
    for (char** e = environ; *e; ++e) {
      const std::string s = *e;
      bool replaced = false;
      for (size_t i = 0; i < own; ++i)
        replaced = replaced || s.rfind(env[i].substr(0, env[i].find('=') + 1), 0) == 0;
      if (!replaced) env.push_back(s);
    }
    std::vector<char*> envp, argv;
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string p = path;
    argv.push_back(p.data());
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!errorFile.empty())
      posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~TChildProcess() { Stop(); }
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Running() const { return pid_ > 0; }
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
  void Signal(int sig) {
    if (pid_ > 0) ::kill(pid_, sig);
  }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (WaitExit(5000) < 0) Kill();
  }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// The client's test control: one command, one answer line.
class TControlClient {
 public:
  TControlClient() = default;
  TControlClient(const TControlClient&) = delete;
  TControlClient& operator=(const TControlClient&) = delete;
  ~TControlClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Tries to connect to the socket at path until it answers or seconds pass.
  bool Connect(const std::string& path, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_un a{};
      a.sun_family = AF_UNIX;
      std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
      if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        fd_ = fd;
        return true;
      }
      ::close(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // The answer, or "" when the client does not answer within timeoutMs or has
  // gone away (no SIGPIPE: the caller sees "" and goes on).
  std::string Ask(const std::string& command, int timeoutMs) {
    const std::string line = command + "\n";
    if (fd_ < 0 || ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != ssize_t(line.size())) return "";
    for (;;) {
      const size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        std::string answer = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return answer;
      }
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) return "";
      char buf[512];
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) return "";
      pending_.append(buf, size_t(n));
    }
  }

 private:
  int fd_ = -1;
  std::string pending_;  // bytes read past the last answer
};

}  // namespace velmora::proc
