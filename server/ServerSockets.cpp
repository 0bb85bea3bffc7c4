#include "ServerSockets.h"

namespace velmora {

TKestClientSocket::TKestClientSocket(int handle, plat::TServerWinSocket* server)
    : TLineServerClientWinSocket(handle, server) {
  auto& rw = static_cast<kest::TLineSocketRW&>(*engine_);
  rw.MaxLineLength = int32_t(kMaxLineLength);
  rw.OnLineTooLong = [this](plat::TObject*, plat::TCustomWinSocket*) {
    if (OnOverflow) OnOverflow(this);
  };
}

void TKestClientSocket::SendRaw(const std::string& bytes) {
  engine_->SendBuffer().Write(bytes.data(), int32_t(bytes.size()));
  engine_->DoWrite();
}

kest::TCustomPacketServerClientWinSocket* TKestLineServer::DoGetSocket(int handle) {
  auto* s = new TKestClientSocket(handle, Socket());
  s->OnLineArrived = [this](TObject*, plat::TCustomWinSocket* Socket, const std::string& line) {
    if (OnLineArrived) OnLineArrived(this, Socket, line);
  };
  s->OnOverflow = [this](TKestClientSocket* c) {
    if (OnOverflow) OnOverflow(c);
  };
  return s;
}

bool TSocketConnection::SendLine(const std::string& text) {
  if (!sock) return false;
  sock->Send(text);  // a failure arrives later as the error and disconnect events
  return true;
}

bool TSocketConnection::SendRaw(const std::string& bytes) {
  if (!sock) return false;
  // Our server makes every connection a TKestClientSocket; the raw bytes
  // then keep their place behind output still waiting.
  if (auto* own = dynamic_cast<TKestClientSocket*>(sock))
    own->SendRaw(bytes);
  else
    sock->SendText(bytes);
  return true;
}

}  // namespace velmora
