// velmora_linecli: a line client for trying the server by hand.
//
//   velmora_linecli [--host H] [--port N] [--wait MS]
//
// Each line typed (or piped) on standard input goes to the server the way
// the game's client sends it: the text, CR, then CR LF. Type the whole
// command with its user number, e.g.  LOGIN \bAlice\b,\bface\b:0
// "\b" stands for the BS byte (0x08) that encloses names and chat text.
// Typed text is converted from UTF-8 to Shift-JIS; every received line is
// printed converted back, with BS shown as "\b". After the end of input the
// client keeps printing for --wait milliseconds (default 1000), then exits.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "TextCodec.h"
#include "WireClient.h"

using velmora::tools::TWireClient;

namespace {

std::string FromTyped(const std::string& typed) {
  std::string s;
  for (size_t i = 0; i < typed.size(); ++i) {
    if (typed[i] == '\\' && i + 1 < typed.size() && typed[i + 1] == 'b') {
      s += '\x08';
      ++i;
    } else {
      s += typed[i];
    }
  }
  return plat::Utf8ToSjis(s);
}

std::string ForDisplay(const std::string& sjis) {
  std::string s;
  for (char c : plat::SjisToUtf8(sjis)) s += c == '\x08' ? std::string("\\b") : std::string(1, c);
  return s;
}

int Usage() {
  std::fprintf(stderr, "usage: velmora_linecli [--host H] [--port N] [--wait MS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  int port = 3201, waitMs = 1000;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return Usage();
    if (a == "--host") host = argv[++i];
    else if (a == "--port") port = std::atoi(argv[++i]);
    else if (a == "--wait") waitMs = std::atoi(argv[++i]);
    else return Usage();
  }
  TWireClient client;
  std::string error;
  if (!client.Connect(host, port, 5000, &error)) {
    std::fprintf(stderr, "velmora_linecli: cannot connect to %s:%d: %s\n", host.c_str(), port, error.c_str());
    return 1;
  }
  std::printf("connected to %s:%d\n", host.c_str(), port);
  std::fflush(stdout);

  bool inputOpen = true;
  auto lingerEnd = std::chrono::steady_clock::time_point::max();
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{client.Fd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const int timeout = inputOpen ? -1 : 50;
    ::poll(fds, inputOpen ? 2 : 1, timeout);
    if (fds[0].revents) {
      while (auto line = client.ReadLine(0)) std::printf("%s\n", ForDisplay(*line).c_str());
      std::fflush(stdout);
      if (client.PeerClosed()) {
        std::printf("connection closed by the server\n");
        return 0;
      }
    }
    if (inputOpen && fds[1].revents) {
      char chunk[4096];
      const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof(chunk));
      if (n <= 0) {
        inputOpen = false;
        lingerEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
      } else {
        pending.append(chunk, size_t(n));
      }
      for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
        std::string typed = pending.substr(0, nl);
        pending.erase(0, nl + 1);
        if (!typed.empty() && typed.back() == '\r') typed.pop_back();
        if (!client.SendRaw(FromTyped(typed) + "\r\r\n")) {
          std::fprintf(stderr, "velmora_linecli: send failed\n");
          return 1;
        }
      }
    }
    if (!inputOpen && std::chrono::steady_clock::now() >= lingerEnd) return 0;
  }
}
