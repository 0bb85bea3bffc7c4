// Read/write engines: one per connection, between the socket and the
// program. An engine buffers what arrives and what waits to be sent,
// enforces the receive limit, cuts the received bytes into units (text
// lines or length-prefixed packets) and hands each to a callback.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "Streams.h"

namespace kest {

using plat::TObject;
using plat::TSocketEvent;

using TLineArrivedEvent = std::function<void(TObject* aSender, TCustomWinSocket* aSocket, const std::string& aLine)>;
// The payload points into the receive buffer and is valid only during the call.
using TPacketArrivedEvent =
    std::function<void(TObject* aSender, TCustomWinSocket* aSocket, const void* data, int32_t aSize)>;

class TCustomSocketRW : public TObject {
 public:
  // hookEvents: install SocketEvent as the socket's handler (keeping the
  // previous one to call first). Per-connection sockets of a server call
  // SocketEvent from their own event method instead.
  explicit TCustomSocketRW(TCustomWinSocket* socket, bool hookEvents = true);
  ~TCustomSocketRW() override;

  void SetSocket(TCustomWinSocket* socket);
  TCustomWinSocket* Socket() const { return socket_; }
  void SocketEvent(TObject* Sender, TCustomWinSocket* Socket, TSocketEvent event);
  void DoWrite();
  void SendStream(TStream& stream) { SendStream(stream, stream.Size()); }
  virtual void SendStream(TStream& stream, int32_t count) = 0;

  // The largest unit taken, 0 for no limit: a line (its end not counted)
  // or a packet (its length counted), whether all of it has arrived or not.
  // Complete units waiting to be handled do not add up. A larger one closes
  // the socket and raises ESocketError; nothing of it is delivered.
  int32_t MaxRecvSize = 0;
  // Bytes one read notification takes from the socket at most; the rest is
  // read on the next notification, so one busy peer cannot hold the loop.
  static constexpr int32_t kMaxReadPerEvent = 64 * 1024;
  TPipedMemoryStream& RecvBuffer() { return recv_; }
  TPipedMemoryStream& SendBuffer() { return send_; }

 protected:
  virtual void ConnectEvent(TObject* Sender, TCustomWinSocket* Socket);
  virtual void DisconnectEvent(TObject* Sender, TCustomWinSocket* Socket);
  virtual void ReadEvent(TObject* Sender, TCustomWinSocket* Socket) = 0;
  virtual void WriteEvent(TObject* Sender, TCustomWinSocket* Socket);
  // Forgets framing state when the buffers are emptied.
  virtual void ResetFraming() {}
  // Empties the receive buffer and closes; used for protocol errors.
  [[noreturn]] void CloseWithError(const std::string& message);
  // A unit of size past MaxRecvSize closes the socket and raises the
  // receive-limit error.
  void CloseIfPastRecvLimit(int64_t size);
  void ReadLoop(TObject* Sender, TCustomWinSocket* Socket);

  TCustomWinSocket* socket_ = nullptr;
  TNonBlockingSocketStream stream_;
  TPipedMemoryStream recv_{4096};
  TPipedMemoryStream send_{4096};
  plat::TSocketEventHandler saved_;
  bool hooked_;
  // Changes whenever the connection starts or ends, so that a scan whose
  // callback saw the connection end (or a new one begin) stops.
  uint32_t generation_ = 0;
};

// Text lines: CR LF, CR, LF and NUL each end a line; CR LF counts once.
class TLineSocketRW : public TCustomSocketRW {
 public:
  explicit TLineSocketRW(TCustomWinSocket* socket, bool hookEvents = true) : TCustomSocketRW(socket, hookEvents) {}
  // Sends the line followed by CR LF.
  void Send(const std::string& line);
  using TCustomSocketRW::SendStream;
  void SendStream(TStream& stream, int32_t count) override;

  TLineArrivedEvent OnLineArrived;
  // Longest line taken, 0 for no limit. A longer line, complete or not, is
  // dropped unread: OnLineTooLong is told, then the socket closes.
  int32_t MaxLineLength = 0;
  plat::TSocketNotifyEvent OnLineTooLong;

 protected:
  void ReadEvent(TObject* Sender, TCustomWinSocket* Socket) override;
  void DisconnectEvent(TObject* Sender, TCustomWinSocket* Socket) override;
  void ResetFraming() override {
    scanOffset_ = 0;
    pendingCR_ = 0;
  }

 private:
  void LineTooLong();

  // Invariant: the first scanOffset_ buffered bytes hold no line end, so
  // a nested scan (a handler that pumps the loop) and the outer one can
  // both go on from the buffer's current state.
  int32_t scanOffset_ = 0;
  uint8_t pendingCR_ = 0;
  int depth_ = 0;  // line callbacks running
};

// Packets: a 4-byte little-endian signed length, then the payload.
class TPacketSocketRW : public TCustomSocketRW {
 public:
  explicit TPacketSocketRW(TCustomWinSocket* socket, bool hookEvents = true) : TCustomSocketRW(socket, hookEvents) {}
  void Send(const void* data, int32_t size);
  using TCustomSocketRW::SendStream;
  void SendStream(TStream& stream, int32_t count) override;
  // The stream to write one packet's payload into; it is held apart from
  // the send buffer until PacketEnd, so sends and flushes in between cannot
  // corrupt it.
  TStream& PacketBegin();
  void PacketEnd();
  void PacketDiscard();
  bool PacketOpen() const { return packetOpen_; }

  TPacketArrivedEvent OnPacketArrived;

 protected:
  void ReadEvent(TObject* Sender, TCustomWinSocket* Socket) override;
  void ResetFraming() override { PacketDiscard(); }

 private:
  void AppendPacket(TStream& payload, int32_t count);

  TPipedMemoryStream packet_{4096};
  bool packetOpen_ = false;
};

}  // namespace kest
