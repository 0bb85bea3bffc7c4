// The server's line socket: each accepted connection takes lines up to a
// limit, and a small adapter lets the server core send on it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "ServerCore.h"
#include "SocketComponents.h"

namespace velmora {

// The longest line taken is kest::proto::kMaxLineSize; a longer one,
// whether its end has arrived or not, closes the connection unread.
// What may wait to be sent to one connection (a client that does not read);
// past it the connection closes and its users are logged out.
inline constexpr size_t kMaxQueuedOutput = 4 * 1024 * 1024;

class TKestClientSocket : public kest::TLineServerClientWinSocket {
 public:
  TKestClientSocket(int handle, plat::TServerWinSocket* server);
  // Queues one line (the socket layer adds CR LF) or bytes as they stand,
  // behind the output already waiting. False, and the connection closes,
  // when the output waiting would pass kMaxQueuedOutput.
  bool Queue(const std::string& bytes, bool line);
  // Bytes received but not yet taken and bytes waiting to be sent.
  size_t Buffered() const;
  // Drops what was received, so that none of it is delivered any more, and
  // closes; the disconnect event runs before this returns.
  void Drop();
  // Told why, before the connection closes for a line too long or output
  // piling up.
  std::function<void(TKestClientSocket*, const std::string& why)> OnOverflow;
};

class TKestLineServer : public kest::TLineServerSocket {
 public:
  std::function<void(TKestClientSocket*, const std::string& why)> OnOverflow;
  // The most bytes one connection holds in its buffers now.
  size_t LargestBuffers() const;

 protected:
  kest::TCustomPacketServerClientWinSocket* DoGetSocket(int handle) override;
};

// The core's view of one accepted connection; lives in the socket's Data
// from connect to disconnect.
class TSocketConnection : public TServerConnection {
 public:
  explicit TSocketConnection(TKestClientSocket* s) : sock(s) {}
  bool SendLine(const std::string& text) override { return sock && sock->Queue(text, true); }
  bool SendRaw(const std::string& bytes) override { return sock && sock->Queue(bytes, false); }
  bool Connected() const override { return sock && sock->Connected(); }
  void Close() override {
    if (sock) sock->Drop();
  }

  TKestClientSocket* sock;  // null once disconnected
};

}  // namespace velmora
