// velmora_echo: a plain single-threaded epoll line echo server, the baseline
// that velmora_loadgen --pingpong measures the game server against. Each
// non-empty line (CR, LF or CR LF ends it) goes back as it came, with CR LF.
//
//   velmora_echo [--port N]      (default 3202)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

int main(int argc, char** argv) {
  const int port = argc == 3 && std::strcmp(argv[1], "--port") == 0 ? std::atoi(argv[2]) : 3202;
  const int ls = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(ls, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  if (::bind(ls, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(ls, SOMAXCONN) != 0) {
    std::perror("velmora_echo");
    return 1;
  }
  const int ep = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event ev{EPOLLIN, {.fd = ls}};
  ::epoll_ctl(ep, EPOLL_CTL_ADD, ls, &ev);
  std::unordered_map<int, std::string> pending;  // an unterminated line per connection
  epoll_event ready[64];
  char buf[65536];
  for (;;) {
    const int n = ::epoll_wait(ep, ready, 64, -1);
    for (int i = 0; i < n; ++i) {
      const int fd = ready[i].data.fd;
      if (fd == ls) {
        for (int c; (c = ::accept4(ls, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
          ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          epoll_event cev{EPOLLIN, {.fd = c}};
          ::epoll_ctl(ep, EPOLL_CTL_ADD, c, &cev);
        }
        continue;
      }
      const ssize_t got = ::recv(fd, buf, sizeof buf, 0);
      if (got <= 0) {
        ::close(fd);  // also leaves the epoll set
        pending.erase(fd);
        continue;
      }
      std::string& in = pending[fd];
      in.append(buf, size_t(got));
      std::string out;
      size_t start = 0;
      for (size_t k = 0; k < in.size(); ++k) {
        if (in[k] != '\r' && in[k] != '\n') continue;
        if (k > start) out.append(in, start, k - start).append("\r\n");
        start = k + 1;
      }
      in.erase(0, start);
      if (!out.empty()) ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);  // one request in flight: it fits
    }
  }
}
