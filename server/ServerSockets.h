// The server's line socket: each accepted connection takes lines up to a
// limit, and a small adapter lets the server core send on it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "ServerCore.h"
#include "SocketComponents.h"

namespace velmora {

// The longest line taken; a longer one, whether its end has arrived or not,
// closes the connection unread.
inline constexpr size_t kMaxLineLength = 64 * 1024;

class TKestClientSocket : public kest::TLineServerClientWinSocket {
 public:
  TKestClientSocket(int handle, plat::TServerWinSocket* server);
  // Queues bytes as they stand behind the lines already waiting to go out.
  void SendRaw(const std::string& bytes);
  // Told before a connection whose line passed kMaxLineLength closes.
  std::function<void(TKestClientSocket*)> OnOverflow;
};

class TKestLineServer : public kest::TLineServerSocket {
 public:
  std::function<void(TKestClientSocket*)> OnOverflow;

 protected:
  kest::TCustomPacketServerClientWinSocket* DoGetSocket(int handle) override;
};

// The core's view of one accepted connection; lives in the socket's Data
// from connect to disconnect.
class TSocketConnection : public TServerConnection {
 public:
  explicit TSocketConnection(kest::TLineServerClientWinSocket* s) : sock(s) {}
  bool SendLine(const std::string& text) override;
  bool SendRaw(const std::string& bytes) override;
  bool Connected() const override { return sock && sock->Connected(); }

  kest::TLineServerClientWinSocket* sock;  // null once disconnected
};

}  // namespace velmora
