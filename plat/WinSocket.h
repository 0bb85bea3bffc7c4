// Asynchronous IPv4 socket objects over POSIX non-blocking sockets: a
// client connection, a listening server socket and its per-connection
// sockets, plus the client and server component bases that programs use.
//
// Notifications (lookup, connecting, connect, disconnect, listen, accept,
// read, write, error) arrive on the main thread from the event loop through
// plat::Reactor. Rules every user may rely on:
// - A connect's outcome and every socket error are delivered later from the
//   loop, never inside the call that caused them.
// - A peer that closes, or an error on the connection, always ends in the
//   disconnect event; so does Close() on an open socket. On an error the
//   disconnect event comes first, then the error event (with a code the
//   handler may clear; a code left set is raised as ESocketError to the
//   loop's error reporter).
// - A per-connection socket of a server is freed only on a later loop turn
//   after its disconnect event has run.
// - send() never raises SIGPIPE; listening sockets use SO_REUSEADDR; host
//   names resolve to IPv4 addresses only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "Reactor.h"

namespace plat {

class TObject {
 public:
  virtual ~TObject() = default;
};

class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ESocketError : public Exception {
 public:
  using Exception::Exception;
};

enum TSocketEvent { seLookup, seConnecting, seConnect, seDisconnect, seListen, seAccept, seWrite, seRead };
enum TErrorEvent { eeGeneral, eeSend, eeReceive, eeConnect, eeDisconnect, eeAccept, eeLookup };

// The error code of a failed host-name lookup (not an errno value).
constexpr int kErrHostNotFound = 11001;

// The text of a socket error: the system's message for the code, the code
// and the failed operation.
std::string SocketErrorMessage(int code, TErrorEvent kind);

class TCustomWinSocket;
class TServerWinSocket;
class TServerClientWinSocket;

using TSocketEventHandler = std::function<void(TObject* Sender, TCustomWinSocket* Socket, TSocketEvent Event)>;
using TSocketErrorHandler =
    std::function<void(TObject* Sender, TCustomWinSocket* Socket, TErrorEvent Kind, int& ErrorCode)>;
using TSocketNotifyEvent = std::function<void(TObject* Sender, TCustomWinSocket* Socket)>;
using TSocketErrorEvent = TSocketErrorHandler;

class TCustomWinSocket : public TObject {
 public:
  explicit TCustomWinSocket(int handle = -1, bool nonBlocking = true);
  ~TCustomWinSocket() override;  // closes silently, without events
  TCustomWinSocket(const TCustomWinSocket&) = delete;
  TCustomWinSocket& operator=(const TCustomWinSocket&) = delete;

  int SocketHandle() const { return fd_; }
  bool Connected() const { return connected_; }
  // True from Open until the disconnect event (connecting or connected).
  bool IsOpen() const { return fd_ >= 0; }
  bool NonBlocking() const { return nonBlocking_; }
  // The errno of the last failed receive or send.
  int LastError() const { return lastError_; }
  // Whether the write watch is on (only while output waits or a connect
  // is under way).
  bool WriteWatchArmed() const { return writeWatch_ && writeWatch_->Enabled(); }
  // True while one of the socket's own callbacks runs.
  bool Busy() const { return busy_ > 0; }

  // Bytes waiting to be received.
  int ReceiveLength() const;
  // Both return -1 when nothing could be moved now (or the socket is not
  // connected); a real failure is reported later through the error event.
  int ReceiveBuf(void* buf, int count);
  int SendBuf(const void* buf, int count);
  int SendText(const std::string& text) { return SendBuf(text.data(), static_cast<int>(text.size())); }

  // Closes the socket; an open socket delivers its disconnect event before
  // this returns.
  void Close();
  // True during a disconnect event that Close() (the program) caused.
  bool ClosedByProgram() const { return closedByProgram_; }

  std::string RemoteAddress() const { return remoteAddress_; }
  int RemotePort() const { return remotePort_; }
  std::string RemoteHost() const;
  std::string LocalAddress() const;
  int LocalPort() const;

  // For blocking use from several threads.
  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }

  void* Data = nullptr;  // free for the program

  TSocketEventHandler OnSocketEvent;
  TSocketErrorHandler OnErrorEvent;

  // Dispatch of the notifications; subclasses may act before or after.
  virtual void Event(TCustomWinSocket* Socket, TSocketEvent e);
  virtual void Error(TCustomWinSocket* Socket, TErrorEvent kind, int& code);

 protected:
  // Takes a descriptor and starts watching it for reading.
  void Attach(int fd);
  void StartReadWatch();
  void ArmWrite(bool on);
  void CacheRemoteAddress();
  // Closes with the disconnect event, then the error event; raises
  // ESocketError when the handler left the code set.
  void HandleError(TErrorEvent kind, int code);
  // Reports a failure from the loop later (at most one pending).
  void FailLater(TErrorEvent kind, int code);
  void CloseSocket(bool byProgram);
  virtual void HandleReadable();
  virtual void HandleWritable();
  // Runs after the disconnect event (also when it raised).
  virtual void AfterClose() {}

  int fd_ = -1;
  uint32_t openCount_ = 0;  // tells a reused descriptor number apart
  bool nonBlocking_;
  bool connected_ = false;
  bool connecting_ = false;
  bool closedByProgram_ = false;
  bool failPending_ = false;
  int lastError_ = 0;
  int busy_ = 0;
  uint32_t reads_ = 0;      // receive calls during the current read notification
  bool peerEnded_ = false;  // a receive found the stream ended
  std::string remoteAddress_;
  int remotePort_ = 0;
  std::unique_ptr<IoWatch> readWatch_;
  std::unique_ptr<IoWatch> writeWatch_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  std::recursive_mutex lock_;
};

enum TClientType { ctNonBlocking, ctBlocking };

class TClientWinSocket : public TCustomWinSocket {
 public:
  explicit TClientWinSocket(TClientType type = ctNonBlocking);
  TClientType ClientType() const { return nonBlocking_ ? ctNonBlocking : ctBlocking; }
  // Only while closed.
  void SetClientType(TClientType type);

  // Connects to Name (a host name, before Address) or Address, at Service
  // (a name or number, before Port) or Port. The name lookup blocks; a
  // non-blocking socket connects in the background and reports the outcome
  // as the connect or the error event. A blocking socket connects before
  // returning and raises ESocketError on failure.
  void Open(const std::string& Name, const std::string& Address, const std::string& Service, int Port);

 protected:
  void HandleWritable() override;
};

using TGetSocketEvent = std::function<void(TObject* Sender, int Handle, TServerClientWinSocket*& Socket)>;

class TServerWinSocket : public TCustomWinSocket {
 public:
  TServerWinSocket();
  ~TServerWinSocket() override;

  // Listens on every interface (or Address) at Service or Port; Port 0
  // takes a free port (LocalPort() tells which). Raises ESocketError when
  // the port cannot be bound.
  void Listen(const std::string& Address, const std::string& Service, int Port);
  bool Listening() const { return fd_ >= 0; }
  // Closes every connection (each with its disconnect event), then stops
  // listening.
  void CloseServer();

  int ActiveConnections() const { return static_cast<int>(connections_.size()); }
  TServerClientWinSocket* Connections(int i) const { return connections_.at(i); }

  // Creates the socket object for an accepted descriptor.
  TGetSocketEvent OnGetSocket;
  // Installed on every new connection as its notification handlers.
  TSocketEventHandler OnClientEvent;
  TSocketErrorHandler OnClientError;

 protected:
  void HandleReadable() override;

 private:
  friend class TServerClientWinSocket;
  void AddClient(TServerClientWinSocket* c);
  void ClientClosed(TServerClientWinSocket* c);
  void FlushClosed();

  std::vector<TServerClientWinSocket*> connections_;
  std::vector<std::unique_ptr<TServerClientWinSocket>> closed_;
  bool flushPosted_ = false;
};

class TServerClientWinSocket : public TCustomWinSocket {
 public:
  // Registers with the server and takes its notification handlers.
  TServerClientWinSocket(int handle, TServerWinSocket* server);
  TServerWinSocket* ServerWinSocket() const { return server_; }

 protected:
  void AfterClose() override;

 private:
  friend class TServerWinSocket;
  TServerWinSocket* server_;
};

// Base of the client components: the address properties and events.
class TCustomSocket : public TObject {
 public:
  bool Active() const { return GetActive(); }
  void SetActive(bool value) { DoActivate(value); }
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  std::string Address;
  std::string Host;
  std::string Service;
  int Port = 0;

  TSocketNotifyEvent OnLookup;
  TSocketNotifyEvent OnConnecting;
  TSocketNotifyEvent OnConnect;
  TSocketNotifyEvent OnDisconnect;
  TSocketErrorEvent OnError;

 protected:
  virtual void DoActivate(bool value) = 0;
  virtual bool GetActive() const = 0;
  // Installed as the connection's handlers.
  void DoEvent(TObject* Sender, TCustomWinSocket* Socket, TSocketEvent e);
  void DoError(TObject* Sender, TCustomWinSocket* Socket, TErrorEvent kind, int& code);
  TSocketNotifyEvent OnRead;
  TSocketNotifyEvent OnWrite;
};

// Base of the server components.
class TCustomServerSocket : public TObject {
 public:
  TCustomServerSocket();
  ~TCustomServerSocket() override;

  bool Active() const { return server_->Listening(); }
  void SetActive(bool value) { DoActivate(value); }
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  // The port actually listened on (useful after Port 0).
  int LocalPort() const { return server_->LocalPort(); }
  TServerWinSocket* Socket() const { return server_.get(); }

  std::string Service;
  int Port = 0;

  TSocketNotifyEvent OnListen;
  TSocketNotifyEvent OnAccept;
  TSocketNotifyEvent OnClientConnect;
  TSocketNotifyEvent OnClientDisconnect;
  TSocketErrorEvent OnClientError;

 protected:
  virtual void DoActivate(bool value);
  // Drops every program handler; a component being destroyed calls none.
  void ClearHandlers();
  TSocketNotifyEvent OnClientRead;
  TSocketNotifyEvent OnClientWrite;

  std::unique_ptr<TServerWinSocket> server_;
};

}  // namespace plat
