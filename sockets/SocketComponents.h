// Line and packet socket components, client and server.
//
// How a program uses them (all calls and events on the main thread, from
// the Qt event loop; a QCoreApplication or QApplication must exist):
//
// Server:
//   kest::TLineServerSocket server;
//   server.Port = 3201;                       // 0: any free port, see LocalPort()
//   server.OnClientConnect = [](TObject*, TCustomWinSocket* s) { ... };
//   server.OnLineArrived = [](TObject*, TCustomWinSocket* s, const std::string& line) { ... };
//   server.OnClientDisconnect = [](TObject*, TCustomWinSocket* s) { ... };
//   server.OnClientError = [](TObject*, TCustomWinSocket* s, plat::TErrorEvent, int& code) { code = 0; };
//   server.SetActive(true);                   // raises plat::ESocketError if the port is taken
//   server.Send(s, "LINE");                   // CR LF is added; also SendToAll, SendToAllExcept
//   server.Close();                           // closes every connection, each with OnClientDisconnect
// Each connection is a TLineServerClientWinSocket, which is also a
// kest::TUserConnection: store dynamic_cast<TUserConnection*>(s) in a
// player record and dynamic_cast<TCustomWinSocket*>(record) to send. A
// connection's last unterminated line arrives before its
// OnClientDisconnect; the object is freed on a later loop turn after
// OnClientDisconnect, so forget it there. Closing a connection from its own
// line handler (s->Close()) delivers none of its remaining bytes.
// Destroying the server closes its connections without calling any of the
// program's handlers.
//
// Client:
//   kest::TLineClientSocket client;
//   client.Address = "127.0.0.1"; client.Port = 3201;  // or Host = "localhost"
//   client.SetMaxRecvSize(65536);             // 0: no limit
//   client.OnConnect = [&](TObject*, TCustomWinSocket*) { client.Send("LOGIN ..."); };
//   client.OnError = [](TObject*, TCustomWinSocket*, plat::TErrorEvent, int& code) { code = 0; };
//   client.OnLineArrived = [](TObject*, TCustomWinSocket*, const std::string& line) { ... };
//   client.SetActive(true);                   // connects in the background
// With the host or the port missing (or AlwaysShowDialog) activation first
// asks for them in a TFormDefaultConnection (DefaultConnectionForm.h) or the
// form that OnGetDialogForm supplies. The connect outcome arrives later as
// OnConnect, or OnDisconnect followed by OnError (the connection is closed
// by then, so OnError may activate again). SetActive(false) closes;
// SetActive(true) again, also from inside a handler, opens a new connection
// with empty buffers.
//
// Errors: an error code that the OnError/OnClientError handler leaves
// non-zero, the receive limit (MaxRecvSize) being passed and any exception
// a handler raises are caught at the event loop's edge and passed to the
// reporter set with plat::SetErrorReporter (LoopGuard.h); after a line
// handler fails, the next line still arrives. Never destroy a component
// inside one of its own events.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Kestclasses.h"
#include "SocketRW.h"
#include "WinSocket.h"

class QObject;

namespace kest {

using plat::TErrorEvent;
using plat::TServerClientWinSocket;
using plat::TServerWinSocket;

// The form is any QObject with the properties Host, Address, Port or
// Service and an invokable int exec() (a QDialog); 1 means OK.
using TGetFormEvent = std::function<void(TObject* Sender, QObject*& Form)>;
using TFormFactory = std::function<QObject*()>;

// Sets how the library's own host dialog is made (sockets_dialog does).
void SetDefaultConnectionFormFactory(TFormFactory factory);

// The connection of a client component.
class TClientConnection : public plat::TClientWinSocket, public TUserConnection {};

class TCustomPacketClientSocket : public plat::TCustomSocket {
 public:
  TCustomPacketClientSocket();
  ~TCustomPacketClientSocket() override;

  bool AlwaysShowDialog = false;
  TGetFormEvent OnGetDialogForm;

  int32_t MaxRecvSize() const { return engine_->MaxRecvSize; }
  void SetMaxRecvSize(int32_t n) { engine_->MaxRecvSize = n; }
  TClientConnection* Socket() const { return conn_.get(); }
  void SendStream(TStream& stream) { engine_->SendStream(stream); }
  void SendStream(TStream& stream, int32_t count) { engine_->SendStream(stream, count); }

  // Fills Host, Address, Port and Service from the host dialog; false when
  // there is no form or it was not confirmed.
  bool GetHostInfo();

 protected:
  void DoActivate(bool value) override;
  bool GetActive() const override { return conn_->IsOpen(); }

  std::unique_ptr<TClientConnection> conn_;
  std::unique_ptr<TCustomSocketRW> engine_;
};

class TLineClientSocket : public TCustomPacketClientSocket {
 public:
  TLineClientSocket();
  void Send(const std::string& line) { rw_->Send(line); }
  TLineArrivedEvent OnLineArrived;

 private:
  TLineSocketRW* rw_;
};

class TPacketClientSocket : public TCustomPacketClientSocket {
 public:
  TPacketClientSocket();
  void Send(const void* data, int32_t size) { rw_->Send(data, size); }
  TStream& PacketBegin() { return rw_->PacketBegin(); }
  void PacketEnd() { rw_->PacketEnd(); }
  void PacketDiscard() { rw_->PacketDiscard(); }
  TPacketArrivedEvent OnPacketArrived;

 private:
  TPacketSocketRW* rw_;
};

// One accepted connection of a server component; its engine acts on each
// notification before the server's handlers.
class TCustomPacketServerClientWinSocket : public TServerClientWinSocket, public TUserConnection {
 public:
  TCustomPacketServerClientWinSocket(int handle, TServerWinSocket* server) : TServerClientWinSocket(handle, server) {}
  void Event(TCustomWinSocket* Socket, plat::TSocketEvent e) override;
  int32_t MaxRecvSize() const { return engine_->MaxRecvSize; }
  void SetMaxRecvSize(int32_t n) { engine_->MaxRecvSize = n; }
  void SendStream(TStream& stream) { engine_->SendStream(stream); }
  void SendStream(TStream& stream, int32_t count) { engine_->SendStream(stream, count); }

 protected:
  std::unique_ptr<TCustomSocketRW> engine_;
};

class TLineServerClientWinSocket : public TCustomPacketServerClientWinSocket {
 public:
  TLineServerClientWinSocket(int handle, TServerWinSocket* server);
  void Send(const std::string& line) { rw_->Send(line); }
  TLineArrivedEvent OnLineArrived;  // set by the server

 private:
  TLineSocketRW* rw_;
};

class TPacketServerClientWinSocket : public TCustomPacketServerClientWinSocket {
 public:
  TPacketServerClientWinSocket(int handle, TServerWinSocket* server);
  void Send(const void* data, int32_t size) { rw_->Send(data, size); }
  TStream& PacketBegin() { return rw_->PacketBegin(); }
  void PacketEnd() { rw_->PacketEnd(); }
  void PacketDiscard() { rw_->PacketDiscard(); }
  TPacketArrivedEvent OnPacketArrived;  // set by the server

 private:
  TPacketSocketRW* rw_;
};

class TCustomPacketServerSocket : public plat::TCustomServerSocket {
 public:
  TCustomPacketServerSocket();

  int32_t MaxRecvSize() const { return maxRecvSize_; }
  // Also applies to every connection open now.
  void SetMaxRecvSize(int32_t n);
  int ClientCount() const { return server_->ActiveConnections(); }
  TCustomWinSocket* GetClientSocket(int i) const { return server_->Connections(i); }

 protected:
  virtual TCustomPacketServerClientWinSocket* DoGetSocket(int handle) = 0;
  void GetSocketEvent(TObject* Sender, int handle, TServerClientWinSocket*& socket);
  // Runs fn on each open connection in index order (a copy of the list, so
  // that fn may close connections).
  template <class F>
  void ForEachClient(F&& fn);

  int32_t maxRecvSize_ = 0;
};

class TLineServerSocket : public TCustomPacketServerSocket {
 public:
  ~TLineServerSocket() override;
  // The socket must be one of this server's connections, else std::bad_cast.
  void Send(TCustomWinSocket* socket, const std::string& line);
  void SendToAll(const std::string& line);
  void SendToAllExcept(const std::string& line, TCustomWinSocket* socket);
  void SendStream(TCustomWinSocket* socket, TStream& stream, int32_t count = 0);
  void SendStreamToAll(TStream& stream, int32_t count = 0);
  void SendStreamToAllExcept(TStream& stream, int32_t count, TCustomWinSocket* socket);

  TLineArrivedEvent OnLineArrived;

 protected:
  TCustomPacketServerClientWinSocket* DoGetSocket(int handle) override;
};

class TPacketServerSocket : public TCustomPacketServerSocket {
 public:
  ~TPacketServerSocket() override;
  void Send(TCustomWinSocket* socket, const void* data, int32_t size);
  void SendToAll(const void* data, int32_t size);
  void SendToAllExcept(const void* data, int32_t size, TCustomWinSocket* socket);
  void SendStream(TCustomWinSocket* socket, TStream& stream, int32_t count = 0);
  void SendStreamToAll(TStream& stream, int32_t count = 0);
  void SendStreamToAllExcept(TStream& stream, int32_t count, TCustomWinSocket* socket);

  TPacketArrivedEvent OnPacketArrived;

 protected:
  TCustomPacketServerClientWinSocket* DoGetSocket(int handle) override;
};

}  // namespace kest
