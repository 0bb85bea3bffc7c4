// A plain TCP client of the game's line protocol over blocking POSIX
// sockets with timeouts, for developer tools and end-to-end tests. It is
// deliberately independent of the programs' socket library.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::tools {

// A received line split into word, arguments and the user number (-1 when
// the line has none).
struct TWireLine {
  std::string text;
  std::string word;
  std::vector<std::string> args;
  int user = -1;
};
TWireLine ParseWireLine(const std::string& text);

class TWireClient {
 public:
  TWireClient() = default;
  ~TWireClient();
  TWireClient(const TWireClient&) = delete;
  TWireClient& operator=(const TWireClient&) = delete;

  // Connects to host:port (IPv4), waiting at most timeoutMs.
  bool Connect(const std::string& host, int port, int timeoutMs, std::string* error = nullptr);
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Close();

  // Sends bytes as they stand.
  bool SendRaw(std::string_view bytes);
  // Sends a command the way the game's client does: text ":" user, CR, and
  // the socket layer's CR LF.
  bool SendCommand(std::string_view text, int user);

  // The next line (CR LF, CR, LF or NUL ends it; CR LF counts once), or
  // nothing when none arrived in time or the connection closed.
  std::optional<std::string> ReadLine(int timeoutMs);
  // Reads until a line satisfies pred; the lines read before it are kept in
  // skipped when given.
  std::optional<TWireLine> WaitFor(const std::function<bool(const TWireLine&)>& pred, int timeoutMs,
                                   std::vector<std::string>* skipped = nullptr);
  // The next non-empty line addressed to user whose word is word.
  std::optional<TWireLine> WaitWord(std::string_view word, int user, int timeoutMs);
  // True once the peer closed the connection.
  bool PeerClosed() const { return peerClosed_; }

 private:
  bool FillOnce(int timeoutMs);

  int fd_ = -1;
  std::string buf_;
  bool pendingCR_ = false;
  bool peerClosed_ = false;
};

}  // namespace velmora::tools
