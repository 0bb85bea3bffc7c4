// The server's line socket: each accepted connection is watched for an
// unterminated remainder that grows past a limit, and a small adapter lets
// the server core send on it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "ServerCore.h"
#include "SocketComponents.h"

namespace velmora {

// What may stay buffered without a line end before the connection is closed.
inline constexpr size_t kMaxUnterminated = 64 * 1024;

class TKestClientSocket : public kest::TLineServerClientWinSocket {
 public:
  TKestClientSocket(int handle, plat::TServerWinSocket* server) : TLineServerClientWinSocket(handle, server) {}
  void Event(plat::TCustomWinSocket* Socket, plat::TSocketEvent e) override;
  // Drops the unterminated remainder, so that it is never delivered as a
  // line, and closes (the disconnect event runs before this returns).
  void DiscardAndClose();
  // Queues bytes as they stand behind the lines already waiting to go out.
  void SendRaw(const std::string& bytes);
  // Called once the framing has taken the complete lines out of a read and
  // more than kMaxUnterminated bytes are left.
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
