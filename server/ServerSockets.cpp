#include "ServerSockets.h"

#include <algorithm>

#include "Protocol.h"

namespace velmora {

TKestClientSocket::TKestClientSocket(int handle, plat::TServerWinSocket* server)
    : TLineServerClientWinSocket(handle, server) {
  auto& rw = static_cast<kest::TLineSocketRW&>(*engine_);
  rw.MaxLineLength = kest::proto::kMaxLineSize;
  rw.OnLineTooLong = [this](plat::TObject*, plat::TCustomWinSocket*) {
    if (OnOverflow) OnOverflow(this, "more than " + std::to_string(kest::proto::kMaxLineSize) + " bytes without a line end");
  };
}

bool TKestClientSocket::Queue(const std::string& bytes, bool line) {
  if (!IsOpen()) return false;
  kest::TPipedMemoryStream& out = engine_->SendBuffer();
  if (size_t(out.Count()) + bytes.size() + 2 > kMaxQueuedOutput) {
    if (OnOverflow) OnOverflow(this, "more than " + std::to_string(kMaxQueuedOutput) + " bytes waiting to be sent");
    Drop();
    return false;
  }
  try {
    if (line) {
      Send(bytes);
    } else {
      out.Write(bytes.data(), int32_t(bytes.size()));
      engine_->DoWrite();
    }
  } catch (const std::exception&) {  // no memory for the output
    Drop();
    return false;
  }
  return true;
}

size_t TKestClientSocket::Buffered() const {
  return size_t(engine_->RecvBuffer().Count()) + size_t(engine_->SendBuffer().Count());
}

void TKestClientSocket::Drop() {
  engine_->RecvBuffer().Clear();
  Close();
}

size_t TKestLineServer::LargestBuffers() const {
  size_t most = 0;
  for (int i = 0; i < ClientCount(); ++i)
    if (auto* c = dynamic_cast<TKestClientSocket*>(GetClientSocket(i))) most = std::max(most, c->Buffered());
  return most;
}

kest::TCustomPacketServerClientWinSocket* TKestLineServer::DoGetSocket(int handle) {
  auto* s = new TKestClientSocket(handle, Socket());
  s->OnLineArrived = [this](TObject*, plat::TCustomWinSocket* Socket, const std::string& line) {
    if (OnLineArrived) OnLineArrived(this, Socket, line);
  };
  s->OnOverflow = [this](TKestClientSocket* c, const std::string& why) {
    if (OnOverflow) OnOverflow(c, why);
  };
  return s;
}

}  // namespace velmora
