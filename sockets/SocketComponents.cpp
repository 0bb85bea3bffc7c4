#include "SocketComponents.h"

#include <QMetaObject>
#include <QMetaProperty>
#include <QObject>
#include <QString>
#include <QVariant>
#include <typeinfo>
#include <utility>
#include <vector>

#include "TextCodec.h"

namespace kest {
namespace {

TFormFactory& FormFactory() {
  static TFormFactory factory;
  return factory;
}

// Reads a whole stream (count 0: its size) once, for sending to several
// connections.
std::string ReadOnce(TStream& stream, int32_t count) {
  if (count == 0) count = stream.Size();
  std::string bytes(static_cast<size_t>(count > 0 ? count : 0), '\0');
  if (count > 0) bytes.resize(static_cast<size_t>(std::max(stream.Read(bytes.data(), count), 0)));
  return bytes;
}

}  // namespace

void SetDefaultConnectionFormFactory(TFormFactory factory) { FormFactory() = std::move(factory); }

// --- Client components ------------------------------------------------------

TCustomPacketClientSocket::TCustomPacketClientSocket() : conn_(std::make_unique<TClientConnection>()) {
  conn_->OnSocketEvent = [this](TObject* Sender, TCustomWinSocket* Socket, plat::TSocketEvent e) {
    DoEvent(Sender, Socket, e);
  };
  conn_->OnErrorEvent = [this](TObject* Sender, TCustomWinSocket* Socket, TErrorEvent kind, int& code) {
    DoError(Sender, Socket, kind, code);
  };
}

TCustomPacketClientSocket::~TCustomPacketClientSocket() {
  engine_.reset();
  conn_.reset();
}

void TCustomPacketClientSocket::DoActivate(bool value) {
  if (value == conn_->IsOpen()) return;
  if (conn_->IsOpen()) {
    conn_->Close();
    return;
  }
  const bool needDialog = AlwaysShowDialog || (Host.empty() && Address.empty()) || (Port == 0 && Service.empty());
  if (needDialog && !GetHostInfo()) return;
  conn_->Open(Host, Address, Service, Port);
}

bool TCustomPacketClientSocket::GetHostInfo() {
  // The library's own form is freed after use; one that OnGetDialogForm
  // returns belongs to the caller.
  std::unique_ptr<QObject> own(FormFactory() ? FormFactory()() : nullptr);
  QObject* form = own.get();
  if (OnGetDialogForm) OnGetDialogForm(this, form);
  if (form != own.get()) own.reset();
  if (!form) return false;

  static const char* const kNames[] = {"Host", "Address", "Port", "Service"};
  auto get = [this](int i) -> QVariant {
    switch (i) {
      case 0: return QString::fromStdString(plat::SjisToUtf8(Host));
      case 1: return QString::fromStdString(plat::SjisToUtf8(Address));
      case 2: return Port;
      default: return QString::fromStdString(plat::SjisToUtf8(Service));
    }
  };
  auto set = [this](int i, const QVariant& v) {
    if (i == 2) {
      Port = v.toInt();
      return;
    }
    std::string text = plat::Utf8ToSjis(v.toString().toStdString());
    (i == 0 ? Host : i == 1 ? Address : Service) = std::move(text);
  };
  const QMetaObject* meta = form->metaObject();
  for (int i = 0; i < 4; ++i) {
    const int index = meta->indexOfProperty(kNames[i]);
    if (index >= 0 && meta->property(index).isWritable()) meta->property(index).write(form, get(i));
  }
  int result = 0;
  if (!QMetaObject::invokeMethod(form, "exec", Qt::DirectConnection, Q_RETURN_ARG(int, result))) return false;
  if (result != 1) return false;
  for (int i = 0; i < 4; ++i) {
    const int index = meta->indexOfProperty(kNames[i]);
    if (index >= 0 && meta->property(index).isReadable()) set(i, meta->property(index).read(form));
  }
  return true;
}

TLineClientSocket::TLineClientSocket() {
  auto rw = std::make_unique<TLineSocketRW>(conn_.get());
  rw_ = rw.get();
  rw_->OnLineArrived = [this](TObject*, TCustomWinSocket* Socket, const std::string& line) {
    if (OnLineArrived) OnLineArrived(this, Socket, line);
  };
  engine_ = std::move(rw);
}

TPacketClientSocket::TPacketClientSocket() {
  auto rw = std::make_unique<TPacketSocketRW>(conn_.get());
  rw_ = rw.get();
  rw_->OnPacketArrived = [this](TObject*, TCustomWinSocket* Socket, const void* data, int32_t size) {
    if (OnPacketArrived) OnPacketArrived(this, Socket, data, size);
  };
  engine_ = std::move(rw);
}

// --- Per-connection sockets -------------------------------------------------

void TCustomPacketServerClientWinSocket::Event(TCustomWinSocket* Socket, plat::TSocketEvent e) {
  if (engine_) engine_->SocketEvent(this, Socket, e);
  TServerClientWinSocket::Event(Socket, e);
}

TLineServerClientWinSocket::TLineServerClientWinSocket(int handle, TServerWinSocket* server)
    : TCustomPacketServerClientWinSocket(handle, server) {
  auto rw = std::make_unique<TLineSocketRW>(this, false);
  rw_ = rw.get();
  rw_->OnLineArrived = [this](TObject*, TCustomWinSocket* Socket, const std::string& line) {
    if (OnLineArrived) OnLineArrived(this, Socket, line);
  };
  engine_ = std::move(rw);
}

TPacketServerClientWinSocket::TPacketServerClientWinSocket(int handle, TServerWinSocket* server)
    : TCustomPacketServerClientWinSocket(handle, server) {
  auto rw = std::make_unique<TPacketSocketRW>(this, false);
  rw_ = rw.get();
  rw_->OnPacketArrived = [this](TObject*, TCustomWinSocket* Socket, const void* data, int32_t size) {
    if (OnPacketArrived) OnPacketArrived(this, Socket, data, size);
  };
  engine_ = std::move(rw);
}

// --- Server components ------------------------------------------------------

TCustomPacketServerSocket::TCustomPacketServerSocket() {
  server_->OnGetSocket = [this](TObject* Sender, int handle, TServerClientWinSocket*& socket) {
    GetSocketEvent(Sender, handle, socket);
  };
}

void TCustomPacketServerSocket::GetSocketEvent(TObject*, int handle, TServerClientWinSocket*& socket) {
  if (socket) return;
  TCustomPacketServerClientWinSocket* s = DoGetSocket(handle);
  if (s->MaxRecvSize() == 0) s->SetMaxRecvSize(maxRecvSize_);
  socket = s;
}

void TCustomPacketServerSocket::SetMaxRecvSize(int32_t n) {
  maxRecvSize_ = n;
  for (int i = 0; i < server_->ActiveConnections(); ++i)
    if (auto* c = dynamic_cast<TCustomPacketServerClientWinSocket*>(server_->Connections(i))) c->SetMaxRecvSize(n);
}

template <class F>
void TCustomPacketServerSocket::ForEachClient(F&& fn) {
  std::vector<TServerClientWinSocket*> list;
  for (int i = 0; i < server_->ActiveConnections(); ++i) list.push_back(server_->Connections(i));
  for (TServerClientWinSocket* c : list)
    if (c->Connected()) fn(c);
}

TLineServerSocket::~TLineServerSocket() {
  // Lines and events while the connections close are not the program's.
  OnLineArrived = nullptr;
  ClearHandlers();
  Close();
}

TCustomPacketServerClientWinSocket* TLineServerSocket::DoGetSocket(int handle) {
  auto* s = new TLineServerClientWinSocket(handle, server_.get());
  if (!s->OnLineArrived)
    s->OnLineArrived = [this](TObject*, TCustomWinSocket* Socket, const std::string& line) {
      if (OnLineArrived) OnLineArrived(this, Socket, line);
    };
  return s;
}

namespace {

template <class T>
T& Connection(TCustomWinSocket* socket) {
  auto* c = dynamic_cast<T*>(socket);
  if (!c) throw std::bad_cast();
  return *c;
}

}  // namespace

void TLineServerSocket::Send(TCustomWinSocket* socket, const std::string& line) {
  Connection<TLineServerClientWinSocket>(socket).Send(line);
}

void TLineServerSocket::SendToAll(const std::string& line) {
  ForEachClient([&](TServerClientWinSocket* c) { Send(c, line); });
}

void TLineServerSocket::SendToAllExcept(const std::string& line, TCustomWinSocket* socket) {
  ForEachClient([&](TServerClientWinSocket* c) {
    if (c != socket) Send(c, line);
  });
}

void TLineServerSocket::SendStream(TCustomWinSocket* socket, TStream& stream, int32_t count) {
  Connection<TLineServerClientWinSocket>(socket).SendStream(stream, count);
}

void TLineServerSocket::SendStreamToAll(TStream& stream, int32_t count) {
  SendToAll(ReadOnce(stream, count));
}

void TLineServerSocket::SendStreamToAllExcept(TStream& stream, int32_t count, TCustomWinSocket* socket) {
  SendToAllExcept(ReadOnce(stream, count), socket);
}

TPacketServerSocket::~TPacketServerSocket() {
  OnPacketArrived = nullptr;
  ClearHandlers();
  Close();
}

TCustomPacketServerClientWinSocket* TPacketServerSocket::DoGetSocket(int handle) {
  auto* s = new TPacketServerClientWinSocket(handle, server_.get());
  if (!s->OnPacketArrived)
    s->OnPacketArrived = [this](TObject*, TCustomWinSocket* Socket, const void* data, int32_t size) {
      if (OnPacketArrived) OnPacketArrived(this, Socket, data, size);
    };
  return s;
}

void TPacketServerSocket::Send(TCustomWinSocket* socket, const void* data, int32_t size) {
  Connection<TPacketServerClientWinSocket>(socket).Send(data, size);
}

void TPacketServerSocket::SendToAll(const void* data, int32_t size) {
  ForEachClient([&](TServerClientWinSocket* c) { Send(c, data, size); });
}

void TPacketServerSocket::SendToAllExcept(const void* data, int32_t size, TCustomWinSocket* socket) {
  ForEachClient([&](TServerClientWinSocket* c) {
    if (c != socket) Send(c, data, size);
  });
}

void TPacketServerSocket::SendStream(TCustomWinSocket* socket, TStream& stream, int32_t count) {
  Connection<TPacketServerClientWinSocket>(socket).SendStream(stream, count);
}

void TPacketServerSocket::SendStreamToAll(TStream& stream, int32_t count) {
  const std::string bytes = ReadOnce(stream, count);
  if (!bytes.empty()) SendToAll(bytes.data(), static_cast<int32_t>(bytes.size()));
}

void TPacketServerSocket::SendStreamToAllExcept(TStream& stream, int32_t count, TCustomWinSocket* socket) {
  const std::string bytes = ReadOnce(stream, count);
  if (!bytes.empty()) SendToAllExcept(bytes.data(), static_cast<int32_t>(bytes.size()), socket);
}

}  // namespace kest
