#include "WireClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Kestclasses.h"
#include "Protocol.h"

namespace velmora::tools {

using Clock = std::chrono::steady_clock;

namespace {

int Remaining(Clock::time_point deadline) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return ms < 0 ? 0 : int(ms);
}

}  // namespace

TWireLine ParseWireLine(const std::string& text) {
  TWireLine l;
  l.text = text;
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  char* tokens[kest::proto::kMaxTokens];
  const int count = kest::SplitLine(buf.data(), tokens, kest::proto::kMaxTokens, l.user);
  if (count < 0) return l;
  l.word = tokens[0];
  for (int i = 1; i <= count; ++i) l.args.emplace_back(tokens[i]);
  return l;
}

TWireClient::~TWireClient() { Close(); }

void TWireClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  buf_.clear();
  pendingCR_ = false;
}

bool TWireClient::Connect(const std::string& host, int port, int timeoutMs, std::string* error) {
  Close();
  peerClosed_ = false;
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    Close();
    return false;
  };
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* res = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res)
    return fail("cannot resolve " + host);
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) {
    ::freeaddrinfo(res);
    return fail(std::strerror(errno));
  }
  const int rc = ::connect(fd_, res->ai_addr, res->ai_addrlen);
  ::freeaddrinfo(res);
  if (rc != 0 && errno != EINPROGRESS) return fail(std::strerror(errno));
  if (rc != 0) {
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return fail("connect timed out");
    int err = 0;
    socklen_t len = sizeof(err);
    ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
    if (err != 0) return fail(std::strerror(err));
  }
  // Back to blocking for sends; reads wait with poll.
  ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  return true;
}

bool TWireClient::SendRaw(std::string_view bytes) {
  size_t done = 0;
  while (fd_ >= 0 && done < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return fd_ >= 0;
}

bool TWireClient::SendCommand(std::string_view text, int user) {
  return SendRaw(kest::proto::ClientLine(text, user) + "\r\n");
}

bool TWireClient::FillOnce(int timeoutMs) {
  if (fd_ < 0 || peerClosed_) return false;
  pollfd p{fd_, POLLIN, 0};
  const int rc = ::poll(&p, 1, timeoutMs);
  if (rc <= 0) return false;
  char chunk[16384];
  const ssize_t n = ::recv(fd_, chunk, sizeof(chunk), 0);
  if (n <= 0) {
    if (n < 0 && errno == EINTR) return true;
    peerClosed_ = true;
    return false;
  }
  buf_.append(chunk, size_t(n));
  return true;
}

std::optional<std::string> TWireClient::ReadLine(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (pendingCR_ && !buf_.empty()) {
      if (buf_[0] == '\n') buf_.erase(0, 1);
      pendingCR_ = false;
    }
    const size_t end = buf_.find_first_of(std::string_view("\r\n\0", 3));
    if (end != std::string::npos) {
      std::string line = buf_.substr(0, end);
      const char term = buf_[end];
      size_t drop = end + 1;
      if (term == '\r') {
        if (drop < buf_.size()) {
          if (buf_[drop] == '\n') ++drop;
        } else {
          pendingCR_ = true;
        }
      }
      buf_.erase(0, drop);
      return line;
    }
    if (!FillOnce(Remaining(deadline))) return std::nullopt;
  }
}

std::optional<TWireLine> TWireClient::WaitFor(const std::function<bool(const TWireLine&)>& pred, int timeoutMs,
                                              std::vector<std::string>* skipped) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto line = ReadLine(Remaining(deadline));
    if (!line) return std::nullopt;
    TWireLine parsed = ParseWireLine(*line);
    if (pred(parsed)) return parsed;
    if (skipped) skipped->push_back(*line);
  }
}

std::optional<TWireLine> TWireClient::WaitWord(std::string_view word, int user, int timeoutMs) {
  return WaitFor([&](const TWireLine& l) { return l.word == word && l.user == user; }, timeoutMs);
}

}  // namespace velmora::tools
