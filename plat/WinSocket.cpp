#include "WinSocket.h"

#include "LoopGuard.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <utility>

namespace plat {
namespace {

const char* const kOperationNames[] = {"unknown", "send", "recv", "connect", "disconnect", "accept", "lookup"};

bool WouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

std::string AddressText(const sockaddr_in& a) {
  char buf[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
  return buf;
}

std::string OperationError(int code, const char* operation) {
  std::string text = code == kErrHostNotFound ? "host not found" : std::strerror(code);
  return "Socket error " + std::to_string(code) + " (" + text + "), on operation '" + operation + "'";
}

// Resolves host (or address) and service (or port) to one IPv4 address.
// Returns 0 or an error code.
int Resolve(const std::string& host, const std::string& service, int port, bool passive, sockaddr_in& out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  if (passive) hints.ai_flags = AI_PASSIVE;
  const std::string serv = service.empty() ? std::to_string(port) : service;
  addrinfo* res = nullptr;
  const int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), serv.c_str(), &hints, &res);
  if (rc != 0 || res == nullptr) {
    if (res) freeaddrinfo(res);
    return rc == EAI_SERVICE ? EINVAL : kErrHostNotFound;
  }
  std::memcpy(&out, res->ai_addr, sizeof out);
  freeaddrinfo(res);
  return 0;
}

// Counts how deep the loop is inside a socket's own callbacks, so that the
// socket is never freed while one of them runs.
struct BusyScope {
  explicit BusyScope(int& n) : n_(n) { ++n_; }
  ~BusyScope() { --n_; }
  int& n_;
};

}  // namespace

std::string SocketErrorMessage(int code, TErrorEvent kind) {
  const int k = static_cast<int>(kind);
  return OperationError(code, kOperationNames[k >= 0 && k < 7 ? k : 0]);
}

// --- TCustomWinSocket -------------------------------------------------------

TCustomWinSocket::TCustomWinSocket(int handle, bool nonBlocking) : nonBlocking_(nonBlocking) {
  if (handle >= 0) Attach(handle);
}

TCustomWinSocket::~TCustomWinSocket() {
  readWatch_.reset();
  writeWatch_.reset();
  if (fd_ >= 0) ::close(fd_);
}

void TCustomWinSocket::Attach(int fd) {
  fd_ = fd;
  ++openCount_;
  connected_ = true;
  connecting_ = false;
  CacheRemoteAddress();
  StartReadWatch();
}

void TCustomWinSocket::StartReadWatch() {
  if (!nonBlocking_ || fd_ < 0) return;
  readWatch_ = MainReactor().Watch(fd_, IoKind::Read, [this] {
    BusyScope busy(busy_);
    HandleReadable();
  });
}

void TCustomWinSocket::ArmWrite(bool on) {
  if (!nonBlocking_ || fd_ < 0) return;
  if (!writeWatch_) {
    if (!on) return;
    writeWatch_ = MainReactor().Watch(fd_, IoKind::Write, [this] {
      BusyScope busy(busy_);
      HandleWritable();
    });
    return;
  }
  writeWatch_->SetEnabled(on);
}

void TCustomWinSocket::CacheRemoteAddress() {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getpeername(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0 && a.sin_family == AF_INET) {
    remoteAddress_ = AddressText(a);
    remotePort_ = ntohs(a.sin_port);
  }
}

std::string TCustomWinSocket::RemoteHost() const {
  if (remoteAddress_.empty()) return {};
  sockaddr_in a{};
  a.sin_family = AF_INET;
  inet_pton(AF_INET, remoteAddress_.c_str(), &a.sin_addr);
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<sockaddr*>(&a), sizeof a, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0)
    return {};
  return host;
}

std::string TCustomWinSocket::LocalAddress() const {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return {};
  return AddressText(a);
}

int TCustomWinSocket::LocalPort() const {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

int TCustomWinSocket::ReceiveLength() const {
  int n = 0;
  if (fd_ < 0 || ioctl(fd_, FIONREAD, &n) != 0) return 0;
  return n;
}

int TCustomWinSocket::ReceiveBuf(void* buf, int count) {
  if (fd_ < 0 || !connected_ || count < 0) return -1;
  ++reads_;
  const ssize_t r = ::recv(fd_, buf, static_cast<size_t>(count), nonBlocking_ ? MSG_DONTWAIT : 0);
  if (r == 0 && count > 0) peerEnded_ = true;
  if (r >= 0) return static_cast<int>(r);
  lastError_ = errno;
  if (nonBlocking_ && !WouldBlock(lastError_)) FailLater(eeReceive, lastError_);
  return -1;
}

int TCustomWinSocket::SendBuf(const void* buf, int count) {
  if (fd_ < 0 || !connected_ || count < 0) return -1;
  const ssize_t r = ::send(fd_, buf, static_cast<size_t>(count), MSG_NOSIGNAL | (nonBlocking_ ? MSG_DONTWAIT : 0));
  if (r >= 0) {
    if (r < count) ArmWrite(true);
    return static_cast<int>(r);
  }
  lastError_ = errno;
  if (!nonBlocking_) return -1;
  if (WouldBlock(lastError_))
    ArmWrite(true);
  else
    FailLater(eeSend, lastError_);
  return -1;
}

void TCustomWinSocket::Close() { CloseSocket(true); }

void TCustomWinSocket::CloseSocket(bool byProgram) {
  if (fd_ < 0) return;
  readWatch_.reset();
  writeWatch_.reset();
  ::close(fd_);
  fd_ = -1;
  connected_ = connecting_ = false;
  failPending_ = false;
  closedByProgram_ = byProgram;
  struct Done {
    TCustomWinSocket* s;
    ~Done() {
      s->closedByProgram_ = false;
      s->AfterClose();
    }
  } done{this};
  Event(this, seDisconnect);
}

void TCustomWinSocket::Event(TCustomWinSocket* Socket, TSocketEvent e) {
  if (OnSocketEvent) OnSocketEvent(this, Socket, e);
}

void TCustomWinSocket::Error(TCustomWinSocket* Socket, TErrorEvent kind, int& code) {
  if (OnErrorEvent) OnErrorEvent(this, Socket, kind, code);
}

void TCustomWinSocket::HandleError(TErrorEvent kind, int code) {
  // Closed first, so that the error handler finds the socket closed and may
  // open it again at once.
  std::exception_ptr failed;
  try {
    CloseSocket(false);
  } catch (...) {
    failed = std::current_exception();
  }
  Error(this, kind, code);
  if (failed) std::rethrow_exception(failed);
  if (code != 0) throw ESocketError(SocketErrorMessage(code, kind));
}

void TCustomWinSocket::FailLater(TErrorEvent kind, int code) {
  if (failPending_) return;
  failPending_ = true;
  if (readWatch_) readWatch_->SetEnabled(false);
  if (writeWatch_) writeWatch_->SetEnabled(false);
  std::weak_ptr<int> alive = alive_;
  const uint32_t opened = openCount_;
  MainReactor().Post([this, alive, opened, kind, code] {
    if (alive.expired() || fd_ < 0 || openCount_ != opened || !failPending_) return;
    BusyScope busy(busy_);
    failPending_ = false;
    HandleError(kind, code);
  });
}

void TCustomWinSocket::HandleReadable() {
  if (fd_ < 0 || !connected_) return;
  // The handler reads what is there; a read that finds the stream ended
  // tells that the peer closed. Asking first what is waiting would cost a
  // call on every notification.
  const uint32_t opened = openCount_;
  reads_ = 0;
  peerEnded_ = false;
  Event(this, seRead);
  if (fd_ < 0 || openCount_ != opened || !connected_) return;
  if (peerEnded_) {
    CloseSocket(false);
    return;
  }
  if (reads_ > 0) return;
  // The handler read nothing: look for ourselves whether the peer closed.
  char c;
  const ssize_t r = ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  if (r == 0) {
    CloseSocket(false);
  } else if (r < 0 && !WouldBlock(errno)) {
    HandleError(eeReceive, errno);
  }
}

void TCustomWinSocket::HandleWritable() {
  ArmWrite(false);
  if (fd_ >= 0 && connected_) Event(this, seWrite);
}

// --- TClientWinSocket -------------------------------------------------------

TClientWinSocket::TClientWinSocket(TClientType type) : TCustomWinSocket(-1, type == ctNonBlocking) {}

void TClientWinSocket::SetClientType(TClientType type) {
  if (fd_ < 0) nonBlocking_ = type == ctNonBlocking;
}

void TClientWinSocket::Open(const std::string& Name, const std::string& Address, const std::string& Service,
                            int Port) {
  if (fd_ >= 0) throw ESocketError("Socket error: the socket is already open");
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw ESocketError(SocketErrorMessage(errno, eeGeneral));
  fd_ = fd;
  ++openCount_;
  connecting_ = true;
  remoteAddress_.clear();
  remotePort_ = 0;
  Event(this, seLookup);
  if (fd_ != fd) return;  // closed by the handler
  sockaddr_in addr{};
  const int rc = Resolve(Name.empty() ? Address : Name, Service, Port, false, addr);
  if (rc != 0) {
    if (nonBlocking_)
      FailLater(eeLookup, rc);
    else
      HandleError(eeLookup, rc);
    return;
  }
  Event(this, seConnecting);
  if (fd_ != fd) return;
  if (!nonBlocking_) {
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      HandleError(eeConnect, errno);
      return;
    }
    connecting_ = false;
    connected_ = true;
    CacheRemoteAddress();
    Event(this, seConnect);
    return;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  // Even an immediate success is reported from the loop, through the
  // write watch.
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 || errno == EINPROGRESS)
    ArmWrite(true);
  else
    FailLater(eeConnect, errno);
}

void TClientWinSocket::HandleWritable() {
  if (fd_ < 0) return;
  if (!connecting_) {
    TCustomWinSocket::HandleWritable();
    return;
  }
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  ArmWrite(false);
  if (err != 0) {
    HandleError(eeConnect, err);
    return;
  }
  connecting_ = false;
  connected_ = true;
  CacheRemoteAddress();
  StartReadWatch();
  Event(this, seConnect);
}

// --- TServerWinSocket -------------------------------------------------------

TServerWinSocket::TServerWinSocket() : TCustomWinSocket(-1, true) {}

TServerWinSocket::~TServerWinSocket() {
  for (TServerClientWinSocket* c : connections_) delete c;
  connections_.clear();
  closed_.clear();
}

void TServerWinSocket::Listen(const std::string& Address, const std::string& Service, int Port) {
  if (fd_ >= 0) return;
  sockaddr_in addr{};
  int rc = Resolve(Address, Service, Port, true, addr);
  if (rc != 0) throw ESocketError(OperationError(rc, "bind"));
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) throw ESocketError(OperationError(errno, "socket"));
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const char* op = nullptr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    op = "bind";
  else if (::listen(fd, SOMAXCONN) != 0)
    op = "listen";
  if (op) {
    const int err = errno;
    ::close(fd);
    throw ESocketError(OperationError(err, op));
  }
  fd_ = fd;
  ++openCount_;
  StartReadWatch();
  Event(this, seListen);
}

void TServerWinSocket::CloseServer() {
  // Copy: each close removes the connection from the list.
  const std::vector<TServerClientWinSocket*> open = connections_;
  for (TServerClientWinSocket* c : open) c->Close();
  if (fd_ >= 0) {
    readWatch_.reset();
    ::close(fd_);
    fd_ = -1;
  }
}

void TServerWinSocket::HandleReadable() {
  if (fd_ < 0) return;
  sockaddr_in a{};
  socklen_t len = sizeof a;
  const int c = accept4(fd_, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (c < 0) {
    const int err = errno;
    if (WouldBlock(err) || err == ECONNABORTED || err == EPROTO) return;
    // Out of descriptors or memory: the pending connection keeps the
    // listener readable, so stop watching it for a while instead of
    // spinning, then try again.
    readWatch_->SetEnabled(false);
    std::weak_ptr<int> alive = alive_;
    const uint32_t opened = openCount_;
    MainReactor().PostDelayed(1000, [this, alive, opened] {
      if (!alive.expired() && fd_ >= 0 && openCount_ == opened && readWatch_) readWatch_->SetEnabled(true);
    });
    int code = err;
    Error(this, eeAccept, code);
    if (code != 0) throw ESocketError(SocketErrorMessage(code, eeAccept));
    return;
  }
  TServerClientWinSocket* s = nullptr;
  try {
    if (OnGetSocket) OnGetSocket(this, c, s);
    if (!s) s = new TServerClientWinSocket(c, this);
  } catch (...) {
    if (!s) ::close(c);
    throw;
  }
  // A failing accept handler is reported; the connection still starts.
  GuardedCall([&] { Event(s, seAccept); });
  if (s->IsOpen()) s->Event(s, seConnect);
}

void TServerWinSocket::AddClient(TServerClientWinSocket* c) { connections_.push_back(c); }

void TServerWinSocket::ClientClosed(TServerClientWinSocket* c) {
  for (auto it = connections_.begin(); it != connections_.end(); ++it) {
    if (*it == c) {
      connections_.erase(it);
      closed_.emplace_back(c);
      break;
    }
  }
  if (!flushPosted_ && !closed_.empty()) {
    flushPosted_ = true;
    std::weak_ptr<int> alive = alive_;
    MainReactor().Post([this, alive] {
      if (!alive.expired()) FlushClosed();
    });
  }
}

void TServerWinSocket::FlushClosed() {
  flushPosted_ = false;
  // A connection whose callback is still running (a handler that pumps the
  // loop) waits for a later turn.
  std::vector<std::unique_ptr<TServerClientWinSocket>> keep;
  std::vector<std::unique_ptr<TServerClientWinSocket>> drop;
  for (auto& c : closed_) (c->Busy() ? keep : drop).push_back(std::move(c));
  closed_ = std::move(keep);
  drop.clear();
  if (!closed_.empty()) {
    flushPosted_ = true;
    std::weak_ptr<int> alive = alive_;
    MainReactor().PostDelayed(10, [this, alive] {
      if (!alive.expired()) FlushClosed();
    });
  }
}

// --- TServerClientWinSocket -------------------------------------------------

TServerClientWinSocket::TServerClientWinSocket(int handle, TServerWinSocket* server)
    : TCustomWinSocket(handle, true), server_(server) {
  OnSocketEvent = server->OnClientEvent;
  OnErrorEvent = server->OnClientError;
  server->AddClient(this);
}

void TServerClientWinSocket::AfterClose() {
  if (server_) server_->ClientClosed(this);
}

// --- TCustomSocket ----------------------------------------------------------

void TCustomSocket::DoEvent(TObject*, TCustomWinSocket* Socket, TSocketEvent e) {
  const TSocketNotifyEvent* handler = nullptr;
  switch (e) {
    case seLookup: handler = &OnLookup; break;
    case seConnecting: handler = &OnConnecting; break;
    case seConnect: handler = &OnConnect; break;
    case seDisconnect: handler = &OnDisconnect; break;
    case seRead: handler = &OnRead; break;
    case seWrite: handler = &OnWrite; break;
    default: break;
  }
  if (handler && *handler) (*handler)(this, Socket);
}

void TCustomSocket::DoError(TObject*, TCustomWinSocket* Socket, TErrorEvent kind, int& code) {
  if (OnError) OnError(this, Socket, kind, code);
}

// --- TCustomServerSocket ----------------------------------------------------

TCustomServerSocket::TCustomServerSocket() : server_(std::make_unique<TServerWinSocket>()) {
  server_->OnSocketEvent = [this](TObject*, TCustomWinSocket* Socket, TSocketEvent e) {
    if (e == seListen && OnListen) OnListen(this, Socket);
    if (e == seAccept && OnAccept) OnAccept(this, Socket);
  };
  server_->OnErrorEvent = [this](TObject*, TCustomWinSocket* Socket, TErrorEvent kind, int& code) {
    if (OnClientError) OnClientError(this, Socket, kind, code);
  };
  server_->OnClientEvent = [this](TObject*, TCustomWinSocket* Socket, TSocketEvent e) {
    const TSocketNotifyEvent* handler = nullptr;
    switch (e) {
      case seConnect: handler = &OnClientConnect; break;
      case seDisconnect: handler = &OnClientDisconnect; break;
      case seRead: handler = &OnClientRead; break;
      case seWrite: handler = &OnClientWrite; break;
      default: break;
    }
    if (handler && *handler) (*handler)(this, Socket);
  };
  server_->OnClientError = server_->OnErrorEvent;
}

TCustomServerSocket::~TCustomServerSocket() {
  ClearHandlers();
  server_->CloseServer();
}

void TCustomServerSocket::ClearHandlers() {
  OnListen = OnAccept = OnClientConnect = OnClientDisconnect = OnClientRead = OnClientWrite = nullptr;
  OnClientError = nullptr;
}

void TCustomServerSocket::DoActivate(bool value) {
  if (value == server_->Listening()) return;
  if (value)
    server_->Listen("", Service, Port);
  else
    server_->CloseServer();
}

}  // namespace plat
